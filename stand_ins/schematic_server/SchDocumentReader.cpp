// Reading a schematic document file as it streams by: each component, pin, parameter and implementation is made as
// its members arrive, and only the values the server does not know are kept as JSON, so that a large document is
// never first built as a whole JSON tree.
#include "SchDocumentReader.h"

#include <cstring>
#include <deque>
#include <memory>
#include <unordered_map>

#include "SchDocumentFields.h"
#include "common/JsonParseError.h"
#include "support/TextUtils.h"

namespace pravik {

namespace {

using namespace file;

constexpr const char* kFormatName = "tolvex-schematic";
constexpr std::int64_t kFormatVersion = 1;

// What a structured value at some place of the file is.
enum TRole : std::uint8_t {
  roRoot,
  roComponents,
  roComponent,
  roDesignator,
  roPins,
  roPin,
  roParameters,
  roParameter,
  roImplementations,
  roImplementation,
  roDatafiles,
  roDatafile,
  roGraphics,
  roShape,
  roSkip,     // passed over: it follows a fault, or the file is not an object
  roCapture,  // kept whole as JSON (never a frame of its own)
};

// An object's member names in order, each written as its length and its bytes, so that any name (one holding a NUL
// too) reads back unchanged and two different lists never look alike.
class TNames {
 public:
  // Adds Name unless it is there already; false when it was.
  bool Add(const std::string& name) {
    for (std::size_t at = 0; at < FText.size();) {
      const std::uint32_t length = LengthAt(at);
      at += sizeof length;
      if (length == name.size() && FText.compare(at, length, name) == 0) return false;
      at += length;
    }
    const auto length = static_cast<std::uint32_t>(name.size());
    FText.append(reinterpret_cast<const char*>(&length), sizeof length);
    FText += name;
    return true;
  }
  const std::string& Key() const { return FText; }
  std::vector<std::string> List() const {
    std::vector<std::string> names;
    for (std::size_t at = 0; at < FText.size();) {
      const std::uint32_t length = LengthAt(at);
      at += sizeof length;
      names.push_back(FText.substr(at, length));
      at += length;
    }
    return names;
  }

 private:
  std::uint32_t LengthAt(std::size_t at) const {
    std::uint32_t length = 0;
    std::memcpy(&length, FText.data() + at, sizeof length);
    return length;
  }
  std::string FText;
};

// A component's designator parameter, made afresh: a designator given again replaces the earlier one.
TParameter& NewDesignator(TComponent& component) {
  component.Designator = std::make_unique<TParameter>();
  component.Designator->R = DesignatorDefaults();
  component.Designator->DesignatorOf = &component;
  return *component.Designator;
}

struct TFrame {
  TRole Role = roSkip;
  bool IsArray = false;
  TPlace Self;            // where this frame's value is; its parent is the frame below
  std::string Key;        // objects: the member now arriving
  bool Repeated = false;  // objects: Key came before in this object (the later value wins, as in any JSON reader)
  std::size_t Index = 0;  // arrays: the element now arriving
  TNames Names;           // objects: the members so far
  TFileMembers* Members = nullptr;
  TComponent* Component = nullptr;
  TParameter* Parameter = nullptr;
  TPin* Pin = nullptr;
  TImplementation* Implementation = nullptr;
  std::size_t Link = 0;             // roDatafile: its index in Implementation->Links; roShape: in Component->Graphics
  TContainer* Container = nullptr;  // roPins, roParameters: where the items go
};

class TDocumentReader final : public nlohmann::json_sax<TJson> {
 public:
  explicit TDocumentReader(TDocument& document) : FDocument(document) {}

  bool null() override { return Value(TJson()); }
  bool boolean(bool value) override { return Value(TJson(value)); }
  bool number_integer(number_integer_t value) override { return Value(TJson(value)); }
  bool number_unsigned(number_unsigned_t value) override { return Value(TJson(value)); }
  bool number_float(number_float_t value, const string_t&) override { return Value(TJson(value)); }
  bool string(string_t& value) override { return Value(TJson(std::move(value))); }
  bool binary(binary_t& value) override { return Value(TJson(value)); }
  bool start_object(std::size_t) override { return Open(false); }
  bool key(string_t& key) override { return Key(key); }
  bool end_object() override { return Close(); }
  bool start_array(std::size_t) override { return Open(true); }
  bool end_array() override { return Close(); }
  bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& e) override {
    SyntaxPosition = position;
    SyntaxError = e.what();
    return false;
  }

  // The faults that the whole file shows, in the order they are told: a file that is no object, a wrong format
  // or version, then the first wrong member; then the library's current component.
  void Finish() {
    if (!FRootIsObject) Fail("", "the file holds " + FRootType + ", not a JSON object");
    const TJson& root = FDocument.Source;
    if (auto it = root.find("format"); it != root.end() && *it != kFormatName)
      Fail("format", "expected \"" + std::string(kFormatName) + "\", found " + it->dump());
    if (auto it = root.find("version"); it != root.end()) {
      if (!it->is_number_integer()) Fail("version", "expected an integer, found " + TypeName(*it));
      if (it->get<std::int64_t>() != kFormatVersion)
        Fail("version", "version " + it->dump() + " is not the version this server reads (" +
                            std::to_string(kFormatVersion) + ")");
    }
    if (!FMemberError.empty()) throw EFileError(FMemberError);
    if (!FDocument.Library) return;
    // A library shows one component at a time; without a choice in the file it is the first.
    if (auto it = root.find("currentComponent"); it != root.end()) {
      std::string reference;
      ReadValue(*it, reference, TPlace{}.Member("currentComponent"));
      for (const auto& component : FDocument.Components)
        if (tolvex::SameText(component->C.LibraryReference, reference)) {
          FDocument.Current = component.get();
          break;
        }
      if (!FDocument.Current)
        Fail("currentComponent", "no component has the library reference \"" + reference + "\"");
    } else if (!FDocument.Components.empty()) {
      FDocument.Current = FDocument.Components.front().get();
    }
  }

  std::size_t SyntaxPosition = 0;
  std::string SyntaxError;  // empty when the text is JSON
  // A file nested deeper than any document is refused where it goes too deep: everything that later walks what
  // was kept (copying it, writing it back) would otherwise recurse as deep as the file does.
  tolvex::standins::TJsonNesting Nesting;

 private:
  // Runs Step; a wrong member ends the building, and the parse goes on only to find faults of the JSON itself,
  // which are told first, and the document's format and version.
  template <class F>
  void Attempt(F&& step) {
    try {
      step();
    } catch (const EFileError& e) {
      if (FMemberError.empty()) FMemberError = e.what();
      FFailed = true;
    }
  }

  bool Value(TJson value) {
    if (!FCapture.empty()) {
      Put(std::move(value));
    } else if (FFrames.empty()) {
      FRootType = value.type_name();
    } else {
      Attempt([&] { Deliver(std::move(value)); });
    }
    return true;
  }

  bool Key(const std::string& key) {
    if (!FCapture.empty()) {
      FCaptureKey = key;
      return true;
    }
    TFrame& top = FFrames.back();
    top.Key = key;
    top.Repeated = !top.Names.Add(key);
    return true;
  }

  bool Open(bool isArray) {
    if (!Nesting.Open()) return false;
    if (!FCapture.empty()) {
      FCapture.push_back(&Put(isArray ? TJson::array() : TJson::object()));
      return true;
    }
    if (FFrames.empty()) {
      FRootIsObject = !isArray;
      FRootType = isArray ? "array" : "object";
      Push(isArray ? roSkip : roRoot, isArray, TPlace{});
      return true;
    }
    TFrame& parent = FFrames.back();
    const TRole role = ChildRole(parent, isArray);
    if (role == roCapture) {
      FCaptured = isArray ? TJson::array() : TJson::object();
      FCapture = {&FCaptured};
      return true;
    }
    TFrame& frame = Push(role, isArray, parent.IsArray ? parent.Self.Element(parent.Index) : parent.Self.Member(parent.Key));
    switch (role) {
      case roComponents:
        if (parent.Repeated) FDocument.Components.clear();
        // The list keeps its place among the document's members; a save writes it afresh.
        FDocument.Source[parent.Key] = TJson::array();
        break;
      case roComponent:
        frame.Component = FDocument.Components.emplace_back(std::make_unique<TComponent>(&FDocument)).get();
        frame.Members = &frame.Component->Source;
        break;
      case roDesignator:
        frame.Parameter = &NewDesignator(*parent.Component);
        frame.Members = &frame.Parameter->Source;
        break;
      case roPins:
        frame.Container = &parent.Component->Container;
        if (parent.Repeated) frame.Container->Pins.clear();
        break;
      case roPin: {
        auto pin = std::make_unique<TPin>();
        frame.Pin = pin.get();
        frame.Members = &pin->Source;
        parent.Container->Put(std::move(pin));
        break;
      }
      case roParameters:
        frame.Container = parent.Component ? &parent.Component->Container : &parent.Implementation->Parameters;
        if (parent.Repeated) frame.Container->Parameters.clear();
        break;
      case roParameter: {
        auto parameter = std::make_unique<TParameter>();
        frame.Parameter = parameter.get();
        frame.Members = &parameter->Source;
        parent.Container->Put(std::move(parameter));
        break;
      }
      case roImplementations:
        frame.Component = parent.Component;
        if (parent.Repeated) frame.Component->Implementations.clear();
        break;
      case roImplementation:
        frame.Implementation =
            parent.Component->Implementations.emplace_back(std::make_unique<TImplementation>(parent.Component)).get();
        frame.Members = &frame.Implementation->Source;
        break;
      case roDatafiles:
        frame.Implementation = parent.Implementation;
        if (parent.Repeated) frame.Implementation->Links.clear();
        break;
      case roDatafile:
        frame.Implementation = parent.Implementation;
        frame.Link = frame.Implementation->Links.size();
        frame.Members = &frame.Implementation->Links.emplace_back().Source;
        break;
      case roGraphics:
        frame.Component = parent.Component;
        if (parent.Repeated) frame.Component->Graphics.clear();
        break;
      case roShape:
        // Shapes do not nest, so no other shape is added while this one is open and its place stays.
        frame.Component = parent.Component;
        frame.Link = frame.Component->Graphics.size();
        frame.Members = &frame.Component->Graphics.emplace_back().Source;
        break;
      default:
        break;
    }
    return true;
  }

  bool Close() {
    Nesting.Close();
    if (!FCapture.empty()) {
      FCapture.pop_back();
      if (FCapture.empty()) Attempt([&] { Deliver(std::move(FCaptured)); });
      return true;
    }
    TFrame& frame = FFrames.back();
    if (!FFailed) Attempt([&] { Finish(frame); });
    FFrames.pop_back();
    if (!FFrames.empty() && FFrames.back().IsArray) ++FFrames.back().Index;
    return true;
  }

  TFrame& Push(TRole role, bool isArray, const TPlace& place) {
    TFrame& frame = FFrames.emplace_back();
    frame.Role = role;
    frame.IsArray = isArray;
    frame.Self = place;
    return frame;
  }

  // What a structured value arriving in Parent is: a list or an object the server reads, or a value kept whole.
  TRole ChildRole(const TFrame& parent, bool isArray) const {
    if (parent.Role == roRoot) {
      if (parent.Key != "components") return roCapture;
      return FFailed ? roSkip : isArray ? roComponents : roCapture;
    }
    if (FFailed || parent.Role == roSkip) return roSkip;
    // A value of the wrong kind is kept whole, to be refused with its kind named.
    if (parent.IsArray) {
      if (isArray) return roCapture;
      switch (parent.Role) {
        case roComponents: return roComponent;
        case roPins: return roPin;
        case roParameters: return roParameter;
        case roImplementations: return roImplementation;
        case roDatafiles: return roDatafile;
        case roGraphics: return roShape;
        default: return roCapture;
      }
    }
    const std::string& key = parent.Key;
    if (parent.Role == roComponent) {
      if (key == "designator" && !isArray) return roDesignator;
      if (key == "pins" && isArray) return roPins;
      if (key == "parameters" && isArray) return roParameters;
      if (key == "implementations" && isArray) return roImplementations;
      if (key == "graphics" && isArray) return roGraphics;
    } else if (parent.Role == roImplementation) {
      if (key == "parameters" && isArray) return roParameters;
      if (key == "datafiles" && isArray) return roDatafiles;
    }
    return roCapture;
  }

  // Adds a value to the one being kept whole and returns it where it now is.
  TJson& Put(TJson value) {
    TJson& top = *FCapture.back();
    if (top.is_array()) {
      top.push_back(std::move(value));
      return top.back();
    }
    TJson& slot = top[FCaptureKey];
    slot = std::move(value);
    return slot;
  }

  // A complete value (a scalar, or one kept whole) for the member or element now arriving in the top frame.
  void Deliver(TJson value) {
    TFrame& frame = FFrames.back();
    if (frame.IsArray) {
      const std::size_t index = frame.Index++;
      // Every list of the file holds objects.
      if (!FFailed && frame.Role != roSkip)
        Fail(frame.Self.Element(index), "expected an object, found " + TypeName(value));
      return;
    }
    const std::string& key = frame.Key;
    if (frame.Role == roRoot) {
      if (key != "components")
        FDocument.Source[key] = std::move(value);
      else if (!FFailed)
        Fail(frame.Self.Member(key), "expected an array, found " + TypeName(value));
      return;
    }
    if (FFailed || frame.Role == roSkip) return;
    const auto refuseNonArray = [&] { Fail(frame.Self.Member(key), "expected an array, found " + TypeName(value)); };
    bool known = false;
    switch (frame.Role) {
      case roComponent:
        if (key == "designator") {
          if (!value.is_string()) Fail(frame.Self.Member(key), "expected a text or an object, found " + TypeName(value));
          TParameter& designator = NewDesignator(*frame.Component);
          ReadValue(value, designator.R.Value, frame.Self.Member(key));
          designator.Shorthand = true;
          return;
        }
        if (key == "pins" || key == "parameters" || key == "implementations" || key == "graphics") refuseNonArray();
        known = ReadField(GrafFields(), frame.Component->G, key, value, frame.Self) ||
                ReadField(ComponentFields(), frame.Component->C, key, value, frame.Self);
        break;
      case roPin:
        known = ReadField(GrafFields(), frame.Pin->G, key, value, frame.Self) ||
                ReadField(PinFields(), frame.Pin->P, key, value, frame.Self);
        break;
      case roParameter:
      case roDesignator:
        known = ReadField(GrafFields(), frame.Parameter->G, key, value, frame.Self) ||
                ReadField(ParameterFields(), frame.Parameter->R, key, value, frame.Self);
        break;
      case roImplementation:
        if (key == "parameters" || key == "datafiles") refuseNonArray();
        known = ReadField(ImplementationFields(), frame.Implementation->I, key, value, frame.Self);
        break;
      case roDatafile:
        known = ReadField(DatafileFields(), frame.Implementation->Links[frame.Link], key, value, frame.Self);
        break;
      case roShape:
        known = ReadField(ShapeFields(), frame.Component->Graphics[frame.Link].S, key, value, frame.Self);
        break;
      default:
        return;
    }
    if (known || !frame.Members) return;
    TJson& unknown = frame.Members->Unknown;
    if (unknown.is_null()) unknown = TJson::object();
    unknown[key] = std::move(value);
  }

  // An object or list of the server is complete.
  void Finish(TFrame& frame) {
    if (frame.Members) {
      // Objects with the same members share one list of their names.
      auto& order = FOrders[frame.Names.Key()];
      if (!order) order = std::make_shared<const std::vector<std::string>>(frame.Names.List());
      frame.Members->Order = order;
    }
    if (frame.Role == roComponent) CheckPartCount(frame.Component->C.PartCount, frame.Self);
    if (frame.Role == roShape) CheckShape(frame.Component->Graphics[frame.Link].S, frame.Self);
  }

  TDocument& FDocument;
  // Frames are referred to by their children's places, so they must not move while the children live.
  std::deque<TFrame> FFrames;
  TJson FCaptured;
  std::vector<TJson*> FCapture;  // the value kept whole and its open parts, innermost last
  std::string FCaptureKey;
  std::unordered_map<std::string, std::shared_ptr<const std::vector<std::string>>> FOrders;
  bool FRootIsObject = false;
  std::string FRootType = "nothing";
  bool FFailed = false;
  std::string FMemberError;
};

}  // namespace

bool ReadDocumentText(const std::string& path, const std::string& text, TDocument& document, std::string& error) {
  TDocumentReader reader(document);
  TJson::sax_parse(text, &reader);
  if (!reader.SyntaxError.empty()) {
    error = tolvex::standins::MalformedJsonMessage(path, text, reader.SyntaxPosition, reader.SyntaxError);
    return false;
  }
  if (reader.Nesting.TooDeep()) {
    error = reader.Nesting.Message(path, text);
    return false;
  }
  try {
    reader.Finish();
  } catch (const EFileError& e) {
    error = path + ": " + e.what();
    return false;
  }
  return true;
}

}  // namespace pravik
