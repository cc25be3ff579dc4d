// The members of the schematic server's document files: their places, types and defaults, and how each is read
// from and written to JSON. Shared by the reader and the writer of document files.
#pragma once

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "SchModel.h"

namespace pravik::file {

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

[[noreturn]] inline void Fail(const std::string& where, const std::string& message) {
  throw EFileError(where.empty() ? message : where + ": " + message);
}
[[noreturn]] inline void Fail(const TPlace& where, const std::string& message) { Fail(where.Text(), message); }

inline std::string TypeName(const TJson& j) { return j.type_name(); }

inline void ReadValue(const TJson& j, std::string& value, const TPlace& where) {
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

inline void ReadValue(const TJson& j, std::int32_t& value, const TPlace& where) { ReadInteger(j, value, where); }
inline void ReadValue(const TJson& j, std::uint8_t& value, const TPlace& where) { ReadInteger(j, value, where); }

template <class T, std::size_t N>
void ReadValue(const TJson& j, std::array<T, N>& value, const TPlace& where) {
  if (!j.is_array() || j.size() != N)
    Fail(where, "expected an array of " + std::to_string(N) + " integers, found " +
                    (j.is_array() ? "one of " + std::to_string(j.size()) : TypeName(j)));
  for (std::size_t i = 0; i < N; ++i) ReadValue(j[i], value[i], where.Element(i));
}

// A list of points [[x, y], ...].
inline void ReadValue(const TJson& j, std::vector<std::array<std::int32_t, 2>>& value, const TPlace& where) {
  if (!j.is_array()) Fail(where, "expected an array of points [x, y], found " + TypeName(j));
  std::vector<std::array<std::int32_t, 2>> points(j.size());
  for (std::size_t i = 0; i < j.size(); ++i) ReadValue(j[i], points[i], where.Element(i));
  value = std::move(points);
}

inline TJson ToJson(const std::string& v) { return v; }
inline TJson ToJson(std::int32_t v) { return v; }
inline TJson ToJson(std::uint8_t v) { return static_cast<int>(v); }
template <class T, std::size_t N>
TJson ToJson(const std::array<T, N>& v) {
  TJson out = TJson::array();
  for (const T& x : v) out.push_back(ToJson(x));
  return out;
}
inline TJson ToJson(const std::vector<std::array<std::int32_t, 2>>& v) {
  TJson out = TJson::array();
  for (const auto& point : v) out.push_back(ToJson(point));
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

inline const TFields<TGrafAttributes>& GrafFields() {
  using A = TGrafAttributes;
  static const TFields<A> fields = {
      PRAVIK_FIELD(A, Location, "location"),     PRAVIK_FIELD(A, AttributeA, "attributeA"),
      PRAVIK_FIELD(A, AttributeB, "attributeB"), PRAVIK_FIELD(A, AttributeC, "attributeC"),
      PRAVIK_FIELD(A, OwnerPart, "ownerPart"),   PRAVIK_FIELD(A, Workspace, "workspace"),
  };
  return fields;
}

inline const TFields<TComponentAttributes>& ComponentFields() {
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

inline const TFields<TPinAttributes>& PinFields() {
  using A = TPinAttributes;
  static const TFields<A> fields = {
      PRAVIK_FIELD(A, Designator, "designator"),   PRAVIK_FIELD(A, Name, "name"),
      PRAVIK_FIELD(A, Length, "length"),           PRAVIK_FIELD(A, Orientation, "orientation"),
      PRAVIK_FIELD(A, PinInteger1, "pinInteger1"), PRAVIK_FIELD(A, PinInteger2, "pinInteger2"),
      PRAVIK_FIELD(A, PinByte, "pinByte"),         PRAVIK_FIELD(A, PinString1, "pinString1"),
      PRAVIK_FIELD(A, PinString2, "pinString2"),   PRAVIK_FIELD(A, PinString3, "pinString3"),
      PRAVIK_FIELD(A, PinString4, "pinString4"),   PRAVIK_FIELD(A, AttributeBytes, "attributeBytes"),
      PRAVIK_FIELD(A, ShowName, "showName"),       PRAVIK_FIELD(A, ShowDesignator, "showDesignator"),
  };
  return fields;
}

inline const TFields<TParameterAttributes>& ParameterFields() {
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

inline const TFields<TImplementationAttributes>& ImplementationFields() {
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

inline const TFields<TDatafileLink>& DatafileFields() {
  using A = TDatafileLink;
  static const TFields<A> fields = {
      PRAVIK_FIELD(A, Location, "location"),
      PRAVIK_FIELD(A, EntityName, "entityName"),
      PRAVIK_FIELD(A, Kind, "kind"),
  };
  return fields;
}

inline const TFields<TShapeAttributes>& ShapeFields() {
  using A = TShapeAttributes;
  static const TFields<A> fields = {
      PRAVIK_FIELD(A, Type, "type"),
      PRAVIK_FIELD(A, OwnerPart, "ownerPart"),
      PRAVIK_FIELD(A, Points, "points"),
      PRAVIK_FIELD(A, Center, "center"),
      PRAVIK_FIELD(A, Radius, "radius"),
      PRAVIK_FIELD(A, RadiusY, "radiusY"),
      PRAVIK_FIELD(A, StartAngle, "startAngle"),
      PRAVIK_FIELD(A, EndAngle, "endAngle"),
      PRAVIK_FIELD(A, Location, "location"),
      PRAVIK_FIELD(A, Text, "text"),
      PRAVIK_FIELD(A, FontSize, "fontSize"),
      PRAVIK_FIELD(A, Alignment, "alignment"),
      PRAVIK_FIELD(A, LineWidth, "lineWidth"),
      PRAVIK_FIELD(A, Color, "color"),
      PRAVIK_FIELD(A, Fill, "fill"),
  };
  return fields;
}

#undef PRAVIK_FIELD

inline TParameterAttributes DesignatorDefaults() {
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


// True for "#RRGGBB" (hexadecimal digits in either case).
inline bool IsColourText(const std::string& text) {
  if (text.size() != 7 || text[0] != '#') return false;
  for (std::size_t i = 1; i < 7; ++i)
    if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  return true;
}

// The rules a complete shape keeps beyond each member's type.
inline void CheckShape(const TShapeAttributes& shape, const TPlace& where) {
  static const char* const kTypes[] = {"line", "rectangle", "polyline", "polygon", "arc", "ellipse", "text"};
  if (shape.Type.empty()) Fail(where.Member("type"), "a shape needs a type: line, rectangle, polyline, polygon, arc, ellipse or text");
  if (std::find(std::begin(kTypes), std::end(kTypes), shape.Type) == std::end(kTypes))
    Fail(where.Member("type"), "\"" + shape.Type + "\" is none of line, rectangle, polyline, polygon, arc, ellipse, text");
  const std::size_t points = shape.Points.size();
  const auto needPoints = [&](std::size_t least, bool exactly) {
    if (points < least || (exactly && points != least))
      Fail(where.Member("points"), "a " + shape.Type + " needs " + (exactly ? "" : "at least ") +
                                       std::to_string(least) + " points, not " + std::to_string(points));
  };
  if (shape.Type == "line" || shape.Type == "rectangle") needPoints(2, true);
  if (shape.Type == "polyline") needPoints(2, false);
  if (shape.Type == "polygon") needPoints(3, false);
  const auto range = [&](const char* name, std::int32_t value, std::int32_t least, std::int32_t most) {
    if (value < least || value > most)
      Fail(where.Member(name), "expected " + std::to_string(least) + " to " + std::to_string(most) + ", found " +
                                   std::to_string(value));
  };
  constexpr std::int32_t kLargest = std::numeric_limits<std::int32_t>::max();
  range("radius", shape.Radius, 0, kLargest);
  range("radiusY", shape.RadiusY, 0, kLargest);
  range("fontSize", shape.FontSize, 1, kLargest);
  range("lineWidth", shape.LineWidth, 0, 100);
  if (shape.Alignment != "left" && shape.Alignment != "center" && shape.Alignment != "right")
    Fail(where.Member("alignment"), "expected left, center or right, found \"" + shape.Alignment + "\"");
  if (!IsColourText(shape.Color)) Fail(where.Member("color"), "expected a colour such as \"#000080\"");
  if (!shape.Fill.empty() && !IsColourText(shape.Fill))
    Fail(where.Member("fill"), "expected a colour such as \"#FFFFC0\", or no fill member");
}

inline void CheckPartCount(std::int32_t partCount, const TPlace& where) {
  if (partCount < 1)
    Fail(where.Member("partCount"), "a component has at least 1 part, not " + std::to_string(partCount));
}

}  // namespace pravik::file
