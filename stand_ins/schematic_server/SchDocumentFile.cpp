// Schematic document files: JSON to the server's objects and back, and the atomic save.
#include "SchDocumentFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/JsonParseError.h"
#include "host/TextUtils.h"

namespace pravik {

namespace {

namespace fs = std::filesystem;

// A fault in a file's content; the text starts with the member's place.
class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where a value is in its file, such as components[3].pins[1].length: a chain of frames on the reader's stack,
// put into words only for a message.
struct TPlace {
  const TPlace* Parent = nullptr;
  std::string_view Key;  // a member's name; empty for an array element and for the root
  std::size_t Index = 0;
  bool IsElement = false;

  TPlace Member(std::string_view key) const { return TPlace{this, key, 0, false}; }
  TPlace Element(std::size_t index) const { return TPlace{this, {}, index, true}; }
  std::string Text() const {
    std::string parent = Parent ? Parent->Text() : std::string();
    if (IsElement) return parent + "[" + std::to_string(Index) + "]";
    if (Key.empty()) return parent;
    return parent.empty() ? std::string(Key) : parent + "." + std::string(Key);
  }
};

[[noreturn]] void Fail(const std::string& where, const std::string& message) {
  throw EFileError(where.empty() ? message : where + ": " + message);
}
[[noreturn]] void Fail(const TPlace& where, const std::string& message) { Fail(where.Text(), message); }

std::string TypeName(const TJson& j) { return j.type_name(); }

void ReadValue(const TJson& j, std::string& value, const TPlace& where) {
  if (!j.is_string()) Fail(where, "expected a text, found " + TypeName(j));
  const auto& text = j.get_ref<const std::string&>();
  // The texts cross to the plug-in NUL-terminated; a NUL inside one would cut it there on every read.
  if (text.find('\0') != std::string::npos) Fail(where, "the text holds a NUL character");
  value = text;
}

template <class T>
void ReadInteger(const TJson& j, T& value, const TPlace& where) {
  if (!j.is_number_integer()) Fail(where, "expected an integer, found " + TypeName(j));
  const bool fits = j.is_number_unsigned()
                        ? j.get<std::uint64_t>() <= static_cast<std::uint64_t>(std::numeric_limits<T>::max())
                        : j.get<std::int64_t>() >= std::numeric_limits<T>::min() &&
                              j.get<std::int64_t>() <= std::numeric_limits<T>::max();
  if (!fits)
    Fail(where, "the integer " + j.dump() + " is out of range (" + std::to_string(+std::numeric_limits<T>::min()) +
                    " to " + std::to_string(+std::numeric_limits<T>::max()) + ")");
  value = static_cast<T>(j.get<std::int64_t>());
}

void ReadValue(const TJson& j, std::int32_t& value, const TPlace& where) { ReadInteger(j, value, where); }
void ReadValue(const TJson& j, std::uint8_t& value, const TPlace& where) { ReadInteger(j, value, where); }

template <class T, std::size_t N>
void ReadValue(const TJson& j, std::array<T, N>& value, const TPlace& where) {
  if (!j.is_array() || j.size() != N)
    Fail(where, "expected an array of " + std::to_string(N) + " integers, found " +
                    (j.is_array() ? "one of " + std::to_string(j.size()) : TypeName(j)));
  for (std::size_t i = 0; i < N; ++i) ReadValue(j[i], value[i], where.Element(i));
}

TJson ToJson(const std::string& v) { return v; }
TJson ToJson(std::int32_t v) { return v; }
TJson ToJson(std::uint8_t v) { return static_cast<int>(v); }
template <class T, std::size_t N>
TJson ToJson(const std::array<T, N>& v) {
  TJson out = TJson::array();
  for (const T& x : v) out.push_back(ToJson(x));
  return out;
}

template <class A>
struct TField {
  const char* Name;
  void (*Read)(const TJson& j, A& a, const TPlace& where);
  TJson (*Write)(const A& a);
  bool (*Same)(const A& a, const A& b);
};

template <class A, class T, T A::*M>
TField<A> MakeField(const char* name) {
  return {name, [](const TJson& j, A& a, const TPlace& where) { ReadValue(j, a.*M, where); },
          [](const A& a) { return ToJson(a.*M); }, [](const A& a, const A& b) { return a.*M == b.*M; }};
}

#define PRAVIK_FIELD(A, member, name) MakeField<A, decltype(A::member), &A::member>(name)

template <class A>
using TFields = std::vector<TField<A>>;

const TFields<TGrafAttributes>& GrafFields() {
  using A = TGrafAttributes;
  static const TFields<A> fields = {
      PRAVIK_FIELD(A, Location, "location"),     PRAVIK_FIELD(A, AttributeA, "attributeA"),
      PRAVIK_FIELD(A, AttributeB, "attributeB"), PRAVIK_FIELD(A, AttributeC, "attributeC"),
      PRAVIK_FIELD(A, OwnerPart, "ownerPart"),   PRAVIK_FIELD(A, Workspace, "workspace"),
  };
  return fields;
}

const TFields<TComponentAttributes>& ComponentFields() {
  using A = TComponentAttributes;
  static const TFields<A> fields = {
      PRAVIK_FIELD(A, LibraryReference, "libraryReference"),
      PRAVIK_FIELD(A, SourceLibrary, "sourceLibrary"),
      PRAVIK_FIELD(A, PartCount, "partCount"),
      PRAVIK_FIELD(A, Locks, "locks"),
      PRAVIK_FIELD(A, S1, "s1"),
      PRAVIK_FIELD(A, S2, "s2"),
      PRAVIK_FIELD(A, S5, "s5"),
      PRAVIK_FIELD(A, S6, "s6"),
      PRAVIK_FIELD(A, E1, "e1"),
      PRAVIK_FIELD(A, E2, "e2"),
      PRAVIK_FIELD(A, E3, "e3"),
      PRAVIK_FIELD(A, E4, "e4"),
      PRAVIK_FIELD(A, E5, "e5"),
      PRAVIK_FIELD(A, E6, "e6"),
      PRAVIK_FIELD(A, E7, "e7"),
      PRAVIK_FIELD(A, I1, "i1"),
      PRAVIK_FIELD(A, I2, "i2"),
      PRAVIK_FIELD(A, I3, "i3"),
      PRAVIK_FIELD(A, I4, "i4"),
  };
  return fields;
}

const TFields<TPinAttributes>& PinFields() {
  using A = TPinAttributes;
  static const TFields<A> fields = {
      PRAVIK_FIELD(A, Designator, "designator"),   PRAVIK_FIELD(A, Name, "name"),
      PRAVIK_FIELD(A, Length, "length"),           PRAVIK_FIELD(A, Orientation, "orientation"),
      PRAVIK_FIELD(A, PinInteger1, "pinInteger1"), PRAVIK_FIELD(A, PinInteger2, "pinInteger2"),
      PRAVIK_FIELD(A, PinByte, "pinByte"),         PRAVIK_FIELD(A, PinString1, "pinString1"),
      PRAVIK_FIELD(A, PinString2, "pinString2"),   PRAVIK_FIELD(A, PinString3, "pinString3"),
      PRAVIK_FIELD(A, PinString4, "pinString4"),   PRAVIK_FIELD(A, AttributeBytes, "attributeBytes"),
  };
  return fields;
}

const TFields<TParameterAttributes>& ParameterFields() {
  using A = TParameterAttributes;
  static const TFields<A> fields = {
      PRAVIK_FIELD(A, Name, "name"),
      PRAVIK_FIELD(A, Value, "value"),
      PRAVIK_FIELD(A, ValueType, "valueType"),
      PRAVIK_FIELD(A, ReadOnly, "readOnly"),
      PRAVIK_FIELD(A, ParameterInteger, "parameterInteger"),
      PRAVIK_FIELD(A, ParameterBytes, "parameterBytes"),
      PRAVIK_FIELD(A, ParameterString, "parameterString"),
      PRAVIK_FIELD(A, T1, "t1"),
      PRAVIK_FIELD(A, T2, "t2"),
      PRAVIK_FIELD(A, UniqueId, "uniqueId"),
  };
  return fields;
}

const TFields<TImplementationAttributes>& ImplementationFields() {
  using A = TImplementationAttributes;
  static const TFields<A> fields = {
      PRAVIK_FIELD(A, ModelName, "modelName"),
      PRAVIK_FIELD(A, Description, "description"),
      PRAVIK_FIELD(A, PortMap, "portMap"),
      PRAVIK_FIELD(A, UseLibraryModel, "useLibraryModel"),
      PRAVIK_FIELD(A, LibraryModelAvailable, "libraryModelAvailable"),
      PRAVIK_FIELD(A, K1, "k1"),
      PRAVIK_FIELD(A, K2, "k2"),
  };
  return fields;
}

const TFields<TDatafileLink>& DatafileFields() {
  using A = TDatafileLink;
  static const TFields<A> fields = {
      PRAVIK_FIELD(A, Location, "location"),
      PRAVIK_FIELD(A, EntityName, "entityName"),
      PRAVIK_FIELD(A, Kind, "kind"),
  };
  return fields;
}

#undef PRAVIK_FIELD

TParameterAttributes DesignatorDefaults() {
  TParameterAttributes defaults;
  defaults.Name = "Designator";
  return defaults;
}

// Reads the fields of the table that Object holds, in the table's order (an edit's members).
template <class A>
void ReadFields(const TFields<A>& fields, A& a, const TJson& object, const TPlace& where) {
  for (const TField<A>& field : fields)
    if (auto it = object.find(field.Name); it != object.end()) field.Read(*it, a, where.Member(field.Name));
}

// Reads Key's value when the table has a field of that name; false when it has none.
template <class A>
bool ReadField(const TFields<A>& fields, A& a, const std::string& key, const TJson& value, const TPlace& where) {
  for (const TField<A>& field : fields)
    if (key == field.Name) {
      field.Read(value, a, where.Member(field.Name));
      return true;
    }
  return false;
}

// A member is written when the file had it or when it no longer holds its default, so a document saved without
// changes gives back the JSON value it was read from.
template <class A>
void WriteFields(const TFields<A>& fields, const A& a, const A& defaults, TJson& out) {
  for (const TField<A>& field : fields)
    if (out.contains(field.Name) || !field.Same(a, defaults)) out[field.Name] = field.Write(a);
}

template <class A>
bool HasField(const TFields<A>& fields, const std::string& name) {
  for (const TField<A>& field : fields)
    if (name == field.Name) return true;
  return false;
}

const TJson& RequireObject(const TJson& j, const TPlace& where) {
  if (!j.is_object()) Fail(where, "expected an object, found " + TypeName(j));
  return j;
}

// What a document keeps of its file: every member but the list of components, which stays in its place as an empty
// list (a save writes it afresh).
TJson Shell(const TJson& j, const char* list) {
  TJson out = TJson::object();
  for (auto it = j.begin(); it != j.end(); ++it) out[it.key()] = it.key() == list && it->is_array() ? TJson::array() : *it;
  return out;
}

// The state of one load: the member orders met so far, so that the objects with the same members share one list.
class TLoad {
 public:
  std::shared_ptr<const std::vector<std::string>> Order(const std::string& key, const TJson& object) {
    auto& order = FOrders[key];
    if (!order) {
      auto names = std::make_shared<std::vector<std::string>>();
      names->reserve(object.size());
      for (auto it = object.begin(); it != object.end(); ++it) names->push_back(it.key());
      order = std::move(names);
    }
    return order;
  }

 private:
  std::unordered_map<std::string, std::shared_ptr<const std::vector<std::string>>> FOrders;
};

// Reads Object's members: those Known takes (it reads them into the object or leaves them to the caller), and the
// rest, kept as they are in Members. The values are moved out of Object.
template <class F>
void ReadMembers(TJson& object, const TPlace& where, TLoad& load, TFileMembers& members, F&& known) {
  RequireObject(object, where);
  std::string key;  // the names, each ended by a NUL
  for (auto it = object.begin(); it != object.end(); ++it) {
    key += it.key();
    key += '\0';
    if (known(it.key(), *it, where)) continue;
    if (members.Unknown.is_null()) members.Unknown = TJson::object();
    members.Unknown[it.key()] = std::move(*it);
  }
  members.Order = load.Order(key, object);
}

// The members an object was read with, in their order, as a JSON object: the unknown ones with their values, the
// others as null for the writer to fill in (or take out).
TJson FileShape(const TFileMembers& members) {
  TJson out = TJson::object();
  if (!members.Order) return out;
  for (const std::string& name : *members.Order) {
    const auto kept = members.Unknown.find(name);  // end() when Unknown is null
    out[name] = kept != members.Unknown.end() ? *kept : TJson();
  }
  return out;
}

bool IsOneOf(const std::string& key, std::initializer_list<const char*> names) {
  for (const char* name : names)
    if (key == name) return true;
  return false;
}

TJson* OptionalArray(TJson& object, const char* name, const TPlace& where) {
  auto it = object.find(name);
  if (it == object.end()) return nullptr;
  if (!it->is_array()) Fail(where.Member(name), "expected an array, found " + TypeName(*it));
  return &*it;
}

std::unique_ptr<TParameter> ReadParameter(TJson& j, const TPlace& where, TLoad& load,
                                          const TParameterAttributes& defaults) {
  auto parameter = std::make_unique<TParameter>();
  parameter->R = defaults;
  ReadMembers(j, where, load, parameter->Source, [&](const std::string& key, const TJson& value, const TPlace& at) {
    return ReadField(GrafFields(), parameter->G, key, value, at) ||
           ReadField(ParameterFields(), parameter->R, key, value, at);
  });
  return parameter;
}

std::unique_ptr<TPin> ReadPin(TJson& j, const TPlace& where, TLoad& load) {
  auto pin = std::make_unique<TPin>();
  ReadMembers(j, where, load, pin->Source, [&](const std::string& key, const TJson& value, const TPlace& at) {
    return ReadField(GrafFields(), pin->G, key, value, at) || ReadField(PinFields(), pin->P, key, value, at);
  });
  return pin;
}

void CheckPartCount(std::int32_t partCount, const TPlace& where) {
  if (partCount < 1)
    Fail(where.Member("partCount"), "a component has at least 1 part, not " + std::to_string(partCount));
}

void ReadImplementation(TComponent& component, TJson& j, const TPlace& where, TLoad& load) {
  auto implementation = std::make_unique<TImplementation>(&component);
  ReadMembers(j, where, load, implementation->Source, [&](const std::string& key, const TJson& value, const TPlace& at) {
    return IsOneOf(key, {"parameters", "datafiles"}) ||
           ReadField(ImplementationFields(), implementation->I, key, value, at);
  });
  if (TJson* parameters = OptionalArray(j, "parameters", where)) {
    const TPlace list = where.Member("parameters");
    for (std::size_t i = 0; i < parameters->size(); ++i)
      implementation->Parameters.Put(ReadParameter((*parameters)[i], list.Element(i), load, {}));
  }
  if (TJson* links = OptionalArray(j, "datafiles", where)) {
    const TPlace list = where.Member("datafiles");
    for (std::size_t i = 0; i < links->size(); ++i) {
      TDatafileLink link;
      ReadMembers((*links)[i], list.Element(i), load, link.Source,
                  [&](const std::string& key, const TJson& value, const TPlace& at) {
                    return ReadField(DatafileFields(), link, key, value, at);
                  });
      implementation->Links.push_back(std::move(link));
    }
  }
  component.Implementations.push_back(std::move(implementation));
}

void ReadComponent(TDocument& document, TJson& j, const TPlace& where, TLoad& load) {
  auto component = std::make_unique<TComponent>(&document);
  ReadMembers(j, where, load, component->Source, [&](const std::string& key, const TJson& value, const TPlace& at) {
    return IsOneOf(key, {"designator", "pins", "parameters", "implementations"}) ||
           ReadField(GrafFields(), component->G, key, value, at) ||
           ReadField(ComponentFields(), component->C, key, value, at);
  });
  CheckPartCount(component->C.PartCount, where);
  if (auto it = j.find("designator"); it != j.end()) {
    const TPlace at = where.Member("designator");
    if (it->is_string()) {
      component->Designator = std::make_unique<TParameter>();
      component->Designator->R = DesignatorDefaults();
      ReadValue(*it, component->Designator->R.Value, at);
      component->Designator->Shorthand = true;
    } else if (it->is_object()) {
      component->Designator = ReadParameter(*it, at, load, DesignatorDefaults());
    } else {
      Fail(at, "expected a text or an object, found " + TypeName(*it));
    }
    component->Designator->DesignatorOf = component.get();
  }
  if (TJson* pins = OptionalArray(j, "pins", where)) {
    const TPlace list = where.Member("pins");
    component->Container.Pins.reserve(pins->size());
    for (std::size_t i = 0; i < pins->size(); ++i) component->Container.Put(ReadPin((*pins)[i], list.Element(i), load));
  }
  if (TJson* parameters = OptionalArray(j, "parameters", where)) {
    const TPlace list = where.Member("parameters");
    for (std::size_t i = 0; i < parameters->size(); ++i)
      component->Container.Put(ReadParameter((*parameters)[i], list.Element(i), load, {}));
  }
  if (TJson* implementations = OptionalArray(j, "implementations", where)) {
    const TPlace list = where.Member("implementations");
    for (std::size_t i = 0; i < implementations->size(); ++i)
      ReadImplementation(*component, (*implementations)[i], list.Element(i), load);
  }
  document.Components.push_back(std::move(component));
}

constexpr const char* kFormatName = "tolvex-schematic";
constexpr std::int64_t kFormatVersion = 1;

// Reads the document from Root, moving values out of it.
void ReadDocument(TDocument& document, TJson& root) {
  if (!root.is_object()) Fail("", "the file holds " + TypeName(root) + ", not a JSON object");
  document.Source = Shell(root, "components");
  if (auto it = root.find("format"); it != root.end() && *it != kFormatName)
    Fail("format", "expected \"" + std::string(kFormatName) + "\", found " + it->dump());
  if (auto it = root.find("version"); it != root.end()) {
    if (!it->is_number_integer()) Fail("version", "expected an integer, found " + TypeName(*it));
    if (it->get<std::int64_t>() != kFormatVersion)
      Fail("version",
           "version " + it->dump() + " is not the version this server reads (" + std::to_string(kFormatVersion) + ")");
  }
  const TPlace top;
  TLoad load;
  if (TJson* components = OptionalArray(root, "components", top)) {
    const TPlace list = top.Member("components");
    document.Components.reserve(components->size());
    for (std::size_t i = 0; i < components->size(); ++i)
      ReadComponent(document, (*components)[i], list.Element(i), load);
  }
  if (!document.Library) return;
  // A library shows one component at a time; without a choice in the file it is the first.
  if (auto it = root.find("currentComponent"); it != root.end()) {
    std::string reference;
    ReadValue(*it, reference, top.Member("currentComponent"));
    for (const auto& component : document.Components)
      if (tolvex::SameText(component->C.LibraryReference, reference)) {
        document.Current = component.get();
        break;
      }
    if (!document.Current) Fail("currentComponent", "no component has the library reference \"" + reference + "\"");
  } else if (!document.Components.empty()) {
    document.Current = document.Components.front().get();
  }
}

TJson ParameterToJson(const TParameter& parameter, const TParameterAttributes& defaults) {
  TJson out = FileShape(parameter.Source);
  WriteFields(GrafFields(), parameter.G, TGrafAttributes{}, out);
  WriteFields(ParameterFields(), parameter.R, defaults, out);
  return out;
}

TJson DesignatorToJson(const TParameter& designator) {
  const TParameterAttributes defaults = DesignatorDefaults();
  TParameterAttributes plain = defaults;
  plain.Value = designator.R.Value;
  // Written back as a bare text while it still is nothing but a text.
  if (designator.Shorthand && designator.Source.Empty() && designator.G == TGrafAttributes{} && designator.R == plain)
    return designator.R.Value;
  return ParameterToJson(designator, defaults);
}

TJson PinToJson(const TPin& pin) {
  TJson out = FileShape(pin.Source);
  WriteFields(GrafFields(), pin.G, TGrafAttributes{}, out);
  WriteFields(PinFields(), pin.P, TPinAttributes{}, out);
  return out;
}

template <class T, class F>
void WriteList(TJson& out, const char* name, const std::vector<T>& list, F toJson) {
  if (!out.contains(name) && list.empty()) return;
  TJson array = TJson::array();
  for (const auto& item : list) array.push_back(toJson(item));
  out[name] = std::move(array);
}

TJson ImplementationToJson(const TImplementation& implementation) {
  TJson out = FileShape(implementation.Source);
  WriteFields(ImplementationFields(), implementation.I, TImplementationAttributes{}, out);
  WriteList(out, "parameters", implementation.Parameters.Parameters,
            [](const auto& p) { return ParameterToJson(*p, {}); });
  WriteList(out, "datafiles", implementation.Links, [](const TDatafileLink& link) {
    TJson o = FileShape(link.Source);
    WriteFields(DatafileFields(), link, TDatafileLink{}, o);
    return o;
  });
  return out;
}

TJson ComponentToJson(const TComponent& component) {
  TJson out = FileShape(component.Source);
  WriteFields(GrafFields(), component.G, TGrafAttributes{}, out);
  WriteFields(ComponentFields(), component.C, TComponentAttributes{}, out);
  if (component.Designator)
    out["designator"] = DesignatorToJson(*component.Designator);
  else
    out.erase("designator");
  WriteList(out, "pins", component.Container.Pins, [](const auto& p) { return PinToJson(*p); });
  WriteList(out, "parameters", component.Container.Parameters, [](const auto& p) { return ParameterToJson(*p, {}); });
  WriteList(out, "implementations", component.Implementations, [](const auto& i) { return ImplementationToJson(*i); });
  return out;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(const std::string& text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char c = s[i];
    std::size_t length;
    std::uint32_t code;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      length = 2;
      code = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      length = 3;
      code = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      length = 4;
      code = c & 0x07;
    } else {
      return false;
    }
    if (i + length > n) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) return false;
      code = (code << 6) | (s[i + k] & 0x3F);
    }
    static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

std::string Join(const std::string& where, const std::string& name) {
  return where.empty() ? name : where + "." + name;
}
std::string Index(const std::string& where, std::size_t i) { return where + "[" + std::to_string(i) + "]"; }

// The place of the first text that is not UTF-8, for the save's message; empty when all are.
std::string FindInvalidText(const TJson& j, const std::string& where) {
  if (j.is_string())
    return IsValidUtf8(j.get_ref<const std::string&>()) ? std::string() : (where.empty() ? "(document)" : where);
  if (j.is_array()) {
    for (std::size_t i = 0; i < j.size(); ++i)
      if (std::string found = FindInvalidText(j[i], Index(where, i)); !found.empty()) return found;
  } else if (j.is_object()) {
    for (auto it = j.begin(); it != j.end(); ++it) {
      if (!IsValidUtf8(it.key())) return Join(where, "(a member name)");
      if (std::string found = FindInvalidText(it.value(), Join(where, it.key())); !found.empty()) return found;
    }
  }
  return {};
}

// The file is meant to be read and edited by people: short arrays and flat objects (a location, a parameter) stay
// on one line, everything else is spread over lines indented by two.
bool Flat(const TJson& j, bool inArray) {
  if (!j.is_structured()) return true;
  if (j.is_object() && inArray) return false;
  for (const auto& member : j)
    if (member.is_object() || (member.is_array() && !Flat(member, true))) return false;
  return true;
}

void OneLine(const TJson& j, std::string& out) {
  if (!j.is_structured()) {
    out += j.dump();
    return;
  }
  out += j.is_array() ? "[" : "{";
  bool first = true;
  for (auto it = j.begin(); it != j.end(); ++it) {
    if (!first) out += ", ";
    first = false;
    if (j.is_object()) out += TJson(it.key()).dump() + ": ";
    OneLine(it.value(), out);
  }
  out += j.is_array() ? "]" : "}";
}

constexpr std::size_t kLineWidth = 110;

void Format(const TJson& j, std::size_t indent, std::string& out) {
  const std::size_t lineStart = out.rfind('\n') == std::string::npos ? 0 : out.rfind('\n') + 1;
  if (!j.is_structured() || j.empty() || Flat(j, false)) {
    std::string line;
    OneLine(j, line);
    if (out.size() - lineStart + line.size() <= kLineWidth || !j.is_structured() || j.empty()) {
      out += line;
      return;
    }
  }
  const std::string inner(indent + 2, ' ');
  out += j.is_array() ? "[\n" : "{\n";
  bool first = true;
  for (auto it = j.begin(); it != j.end(); ++it) {
    if (!first) out += ",\n";
    first = false;
    out += inner;
    if (j.is_object()) out += TJson(it.key()).dump() + ": ";
    Format(it.value(), indent + 2, out);
  }
  out += "\n" + std::string(indent, ' ') + (j.is_array() ? "]" : "}");
}

std::string Format(const TJson& j) {
  std::string out;
  Format(j, 0, out);
  return out;
}

std::string SaveFailureStage;

std::string ErrnoText(int error) { return std::strerror(error); }

// True when the save is to fail at Stage, with errno set as a failing device would.
bool Injected(const char* stage) {
  if (SaveFailureStage != stage) return false;
  errno = EIO;
  return true;
}

bool WriteAll(int fd, const std::string& text) {
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

bool AtomicWrite(const std::string& path, const std::string& text, std::string& error) {
  fs::path target(path);
  std::error_code ec;
  // A link is followed, so the file it names gets the new content and the link stays.
  if (fs::is_symlink(target, ec)) {
    fs::path resolved = fs::canonical(target, ec);
    if (!ec) target = resolved;
  }
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  static unsigned counter = 0;
  const fs::path temporary = folder / ("." + target.filename().string() + ".saving-" + std::to_string(getpid()) + "-" +
                                       std::to_string(++counter));
  const std::string failed = "cannot save " + path + ": ";

  const int fd = Injected("create") ? -1 : ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = failed + "cannot create the temporary file " + temporary.string() + ": " + ErrnoText(errno);
    return false;
  }
  const auto abandon = [&](const std::string& what) {
    const int saved = errno;
    ::close(fd);
    ::unlink(temporary.c_str());
    error = failed + what + ": " + ErrnoText(saved);
    return false;
  };
  // The new file keeps the permissions of the one it replaces.
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::fchmod(fd, st.st_mode & 07777);
  if (Injected("write") || !WriteAll(fd, text)) return abandon("cannot write " + temporary.string());
  if (Injected("sync") || ::fsync(fd) != 0) return abandon("cannot flush " + temporary.string() + " to disk");
  if (::close(fd) != 0) {
    const int saved = errno;
    ::unlink(temporary.c_str());
    error = failed + "cannot close " + temporary.string() + ": " + ErrnoText(saved);
    return false;
  }
  if (Injected("rename") || ::rename(temporary.c_str(), target.c_str()) != 0) {
    const int saved = errno;
    ::unlink(temporary.c_str());
    error = failed + "cannot replace it with " + temporary.string() + ": " + ErrnoText(saved);
    return false;
  }
  // The rename itself reaches the disk with the folder.
  const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    ::fsync(folderFd);
    ::close(folderFd);
  }
  return true;
}

template <class A>
void ApplyFields(const TFields<A>& fields, A& a, const TJson& edit) {
  ReadFields(fields, a, edit, TPlace{});
}

}  // namespace

std::string NormalisePath(const std::string& path) {
  std::error_code ec;
  fs::path absolute = fs::absolute(fs::path(path), ec);
  if (ec) return path;
  return absolute.lexically_normal().string();
}

std::unique_ptr<TDocument> LoadDocument(const std::string& path, std::string& error) {
  // A folder opens as a stream too and then reads as nothing, which would pass for an empty file.
  std::error_code ec;
  if (fs::exists(path, ec) && !fs::is_regular_file(path, ec)) {
    error = "cannot open " + path + ": it is not a file";
    return nullptr;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open " + path + ": " + ErrnoText(errno);
    return nullptr;
  }
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) {
    error = "cannot read " + path + ": " + ErrnoText(errno);
    return nullptr;
  }
  const std::string text = buffer.str();
  TJson root;
  try {
    root = TJson::parse(text);
  } catch (const TJson::parse_error& e) {
    error = tolvex::standins::ParseErrorPlace<TJson>(path, text) + ": malformed JSON: " +
            tolvex::standins::ParseErrorDetail(e.what());
    return nullptr;
  }
  auto document = std::make_unique<TDocument>();
  document->FileName = path;
  document->NormalisedName = NormalisePath(path);
  document->Library = tolvex::SameText(fs::path(path).extension().string(), ".SchLib");
  try {
    ReadDocument(*document, root);
  } catch (const EFileError& e) {
    error = path + ": " + e.what();
    return nullptr;
  }
  return document;
}

TJson DocumentToJson(const TDocument& document) {
  TJson out = document.Source;
  WriteList(out, "components", document.Components, [](const auto& c) { return ComponentToJson(*c); });
  if (document.Library) {
    const TComponent* first = document.Components.empty() ? nullptr : document.Components.front().get();
    if (!document.Current)
      out.erase("currentComponent");
    else if (out.contains("currentComponent") || document.Current != first)
      out["currentComponent"] = document.Current->C.LibraryReference;
  }
  return out;
}

bool SaveDocument(const TDocument& document, const std::string& path, std::string& error) {
  std::string text;
  try {
    const TJson json = DocumentToJson(document);
    // Texts cross from the plug-in as bytes; the file holds UTF-8, so a text that is not UTF-8 stops the save
    // before anything is written rather than reaching the file altered.
    if (const std::string where = FindInvalidText(json, ""); !where.empty()) {
      error = "cannot save " + path + ": " + where + ": the text is not valid UTF-8";
      return false;
    }
    text = Format(json) + "\n";
  } catch (const std::exception& e) {
    error = "cannot save " + path + ": " + e.what();
    return false;
  }
  return AtomicWrite(path, text, error);
}

void SetSaveFailure(const std::string& stage) { SaveFailureStage = stage; }

bool ApplyEdit(THandle handle, const TJson& edit, std::string& error) {
  if (!edit.is_object()) {
    error = "an edit is a JSON object";
    return false;
  }
  const auto unknown = [&](auto&&... tables) -> std::string {
    for (auto it = edit.begin(); it != edit.end(); ++it)
      if (!(HasField(tables, it.key()) || ...)) return it.key();
    return {};
  };
  try {
    std::string bad;
    if (TComponent* component = Find<TComponent>(handle)) {
      if (bad = unknown(GrafFields(), ComponentFields()); bad.empty()) {
        TGrafAttributes g = component->G;
        TComponentAttributes c = component->C;
        ApplyFields(GrafFields(), g, edit);
        ApplyFields(ComponentFields(), c, edit);
        CheckPartCount(c.PartCount, TPlace{});
        component->G = g;
        component->C = c;
      }
    } else if (TPin* pin = Find<TPin>(handle)) {
      if (bad = unknown(GrafFields(), PinFields()); bad.empty()) {
        TGrafAttributes g = pin->G;
        TPinAttributes p = pin->P;
        ApplyFields(GrafFields(), g, edit);
        ApplyFields(PinFields(), p, edit);
        pin->G = g;
        pin->P = p;
      }
    } else if (TParameter* parameter = Find<TParameter>(handle)) {
      if (bad = unknown(GrafFields(), ParameterFields()); bad.empty()) {
        TGrafAttributes g = parameter->G;
        TParameterAttributes r = parameter->R;
        ApplyFields(GrafFields(), g, edit);
        ApplyFields(ParameterFields(), r, edit);
        parameter->G = g;
        parameter->R = r;
      }
    } else if (TImplementation* implementation = Find<TImplementation>(handle)) {
      if (bad = unknown(ImplementationFields()); bad.empty()) {
        TImplementationAttributes i = implementation->I;
        ApplyFields(ImplementationFields(), i, edit);
        implementation->I = i;
      }
    } else {
      error = "the object cannot be edited";
      return false;
    }
    if (!bad.empty()) {
      error = "the object has no member " + bad;
      return false;
    }
  } catch (const EFileError& e) {
    error = e.what();
    return false;
  }
  return true;
}

}  // namespace pravik
