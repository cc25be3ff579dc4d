// Project files and the compiled design of the workspace stand-in (format: docs/project-format.md).
#include "ProjectFile.h"

#include <cctype>
#include <cstring>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>
#include <numeric>
#include <unordered_map>

#include "common/JsonParseError.h"
#include "common/RegularFile.h"
#include "support/TextUtils.h"

namespace fenwarden {

namespace {

namespace fs = std::filesystem;
// Ordered, so that options are written in the file's order and the first unknown member is the one reported.
using TJson = nlohmann::ordered_json;

// A wrong member: where it is in its file and what is wrong with it.
class EMemberError : public std::runtime_error {
 public:
  EMemberError(const std::string& place, const std::string& what)
      : std::runtime_error(place.empty() ? what : place + ": " + what) {}
};

std::string Found(const TJson& j) { return std::string("found ") + j.type_name(); }

std::string Place(const std::string& parent, const std::string& name) {
  return parent.empty() ? name : parent + "." + name;
}
std::string Place(const std::string& parent, std::size_t index) {
  return parent + "[" + std::to_string(index) + "]";
}

const TJson* Member(const TJson& object, const char* name) {
  const auto it = object.find(name);
  return it == object.end() ? nullptr : &*it;
}

void ExpectObject(const TJson& j, const std::string& place) {
  if (!j.is_object()) throw EMemberError(place, "expected an object, " + Found(j));
}

void ExpectArray(const TJson& j, const std::string& place) {
  if (!j.is_array()) throw EMemberError(place, "expected an array, " + Found(j));
}

std::string Text(const TJson& j, const std::string& place) {
  if (!j.is_string()) throw EMemberError(place, "expected a string, " + Found(j));
  std::string text = j.get<std::string>();
  if (text.find('\0') != std::string::npos) throw EMemberError(place, "the text holds a NUL character");
  return text;
}

// A text that becomes part of a netlist line or a name: no line breaks or other control characters.
std::string LineText(const TJson& j, const std::string& place) {
  std::string text = Text(j, place);
  for (const char c : text)
    if (static_cast<unsigned char>(c) < 32 && c != '\t')
      throw EMemberError(place, "the text holds a line break or another control character");
  return text;
}

std::int64_t Integer(const TJson& j, const std::string& place, std::int64_t lowest, std::int64_t highest) {
  if (!j.is_number_integer()) throw EMemberError(place, "expected an integer, " + Found(j));
  const bool tooLarge = j.is_number_unsigned() && j.get<std::uint64_t>() > static_cast<std::uint64_t>(highest);
  const std::int64_t value = tooLarge ? highest : j.get<std::int64_t>();
  if (tooLarge || value < lowest || value > highest)
    throw EMemberError(place, "expected an integer from " + std::to_string(lowest) + " to " +
                                  std::to_string(highest) + ", found " + j.dump());
  return value;
}

bool Boolean(const TJson& j, const std::string& place) {
  if (!j.is_boolean()) throw EMemberError(place, "expected true or false, " + Found(j));
  return j.get<bool>();
}

void RefuseUnknownMembers(const TJson& object, const std::string& place, std::initializer_list<const char*> known) {
  for (auto it = object.begin(); it != object.end(); ++it) {
    bool isKnown = false;
    for (const char* name : known) isKnown = isKnown || it.key() == name;
    if (!isKnown) throw EMemberError(Place(place, it.key()), "unknown member");
  }
}

// The whole file, which must be a regular file of at most Limit bytes; Name is how messages call it.
std::string ReadFileText(const std::string& path, const std::string& name, std::size_t limit) {
  std::string text, error;
  if (!tolvex::standins::ReadRegularFile(path, name, limit, text, error)) throw EProjectError(error);
  return text;
}

// Reads and parses a JSON file. It is checked as it streams by before a tree is made of it, so that a file nested
// deeper than the limit is refused where it goes too deep.
TJson ReadJsonFile(const std::string& path, const std::string& name) {
  const std::string text = ReadFileText(path, name, tolvex::standins::kProjectFileSizeLimit);
  tolvex::standins::TJsonCheck<TJson> check;
  TJson::sax_parse(text, &check);
  if (std::string message; !check.Passed(name, text, message)) throw EProjectError(message);
  return TJson::parse(text);
}

// ---- the project file ----------------------------------------------------------------------------------------

bool IsOptionName(const std::string& name) {
  if (name.empty()) return false;
  for (const char c : name)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return false;
  return true;
}

std::string ResolvePath(const fs::path& folder, const std::string& path) {
  return NormalisePath(fs::path(path).is_absolute() ? path : (folder / path).string());
}

void ReadProject(const TJson& root, const fs::path& folder, TProjectFile& project) {
  if (!root.is_object()) throw EMemberError("", "expected a project object, " + Found(root));
  RefuseUnknownMembers(root, "",
                       {"format", "version", "title", "documents", "secondDocuments", "compiled", "flattened",
                        "modelFolders", "analyses", "options"});
  if (const TJson* format = Member(root, "format"))
    if (Text(*format, "format") != "tolvex-project")
      throw EMemberError("format", "expected \"tolvex-project\", found " + format->dump());
  if (const TJson* version = Member(root, "version"))
    if (Integer(*version, "version", std::numeric_limits<std::int64_t>::min(),
                std::numeric_limits<std::int64_t>::max()) != 1)
      throw EMemberError("version", "this workspace reads version 1, found " + version->dump());
  if (const TJson* title = Member(root, "title")) project.Title = LineText(*title, "title");

  std::unordered_map<std::string, std::string> seen;  // document path to its place
  const char* lists[2] = {"documents", "secondDocuments"};
  for (int list = 0; list < 2; ++list) {
    const TJson* documents = Member(root, lists[list]);
    if (!documents) continue;
    ExpectArray(*documents, lists[list]);
    for (std::size_t i = 0; i < documents->size(); ++i) {
      const std::string place = Place(lists[list], i);
      const std::string name = Text((*documents)[i], place);
      if (name.empty()) throw EMemberError(place, "expected a document path, found an empty text");
      if (!tolvex::SameText(fs::path(name).extension().string(), ".SchDoc"))
        throw EMemberError(place, name + " is not a schematic document (.SchDoc)");
      const std::string path = ResolvePath(folder, name);
      if (auto [it, added] = seen.emplace(path, place); !added)
        throw EMemberError(place, path + " is in the project already, as " + it->second);
      project.Documents[list].push_back(path);
    }
  }
  if (const TJson* compiled = Member(root, "compiled")) project.Compiled = Boolean(*compiled, "compiled");
  if (const TJson* flattened = Member(root, "flattened")) project.Flattened = Boolean(*flattened, "flattened");
  if (const TJson* folders = Member(root, "modelFolders")) {
    ExpectArray(*folders, "modelFolders");
    for (std::size_t i = 0; i < folders->size(); ++i) {
      const std::string place = Place("modelFolders", i);
      const std::string name = Text((*folders)[i], place);
      if (name.empty()) throw EMemberError(place, "expected a folder, found an empty text");
      const std::string path = ResolvePath(folder, name);
      std::error_code ec;
      if (!fs::is_directory(path, ec)) throw EMemberError(place, path + " is not a folder");
      project.ModelFolders.push_back(path);
    }
  }
  if (const TJson* analyses = Member(root, "analyses")) {
    ExpectArray(*analyses, "analyses");
    for (std::size_t i = 0; i < analyses->size(); ++i) {
      const std::string place = Place("analyses", i);
      const std::string line = tolvex::Trim(LineText((*analyses)[i], place));
      if (line.size() < 2 || line[0] != '.')
        throw EMemberError(place, "expected an analysis card such as \".tran 1u 1m\", found " +
                                      (*analyses)[i].dump());
      const std::string keyword = tolvex::UpperCaseAscii(line.substr(0, line.find_first_of(" \t")));
      if (keyword == ".END" || keyword == ".ENDS" || keyword == ".CONTROL" || keyword == ".ENDC")
        throw EMemberError(place, line + " is no analysis: the netlister writes the netlist's frame itself");
      project.Analyses.push_back(line);
    }
  }
  if (const TJson* options = Member(root, "options")) {
    ExpectObject(*options, "options");
    for (auto it = options->begin(); it != options->end(); ++it) {
      const std::string place = Place("options", it.key());
      if (!IsOptionName(it.key())) throw EMemberError(place, "an option name is letters, digits and underscores");
      std::string value;
      if (it->is_string()) {
        value = LineText(*it, place);
        if (value.find_first_of(" \t=") != std::string::npos)
          throw EMemberError(place, "an option value holds no blanks and no \"=\"");
      } else if (it->is_number()) {
        value = it->dump();
      } else {
        throw EMemberError(place, "expected a string or a number, " + Found(*it));
      }
      project.Options.emplace_back(it.key(), value);
    }
  }
}

// ---- schematic documents -------------------------------------------------------------------------------------

struct TSheetPin {
  std::string Designator;
  std::string Name;
  std::int32_t X = 0, Y = 0, Length = 0;
  std::uint8_t Orientation = 0;
  std::optional<std::string> NetLink;
};

struct TSheetComponent {
  std::string Designator;
  std::vector<TSheetPin> Pins;
};

struct TNetDeclaration {
  std::size_t Document = 0;
  std::vector<std::size_t> Pins;  // pin items of the design
  std::array<std::vector<std::string>, kNamingGroupCount> Groups;
};

// A net as its document declares it, before its pin references are resolved.
struct TSheetNet {
  std::vector<std::pair<std::string, std::string>> Pins;  // component designator, pin designator
  std::array<std::vector<std::string>, kNamingGroupCount> Groups;
};

struct TSheet {
  std::vector<TSheetComponent> Components;
  std::vector<TSheetNet> Nets;
};

const char* const kGroupMembers[kNamingGroupCount] = {"power", "labels", "ports", "entries"};

// Reads a schematic document as it streams by, keeping only what the design is made of: each component's
// designator and pins, and the nets. Everything else (implementations, parameters, free objects) is checked to
// be JSON and passed over, which makes a large document several times faster to read than a whole JSON tree.
class TSheetReader final : public nlohmann::json_sax<TJson> {
 public:
  explicit TSheetReader(TSheet& sheet) : FSheet(sheet) {}

  bool null() override { return Scalar("null", [&](TSlot) {}); }
  bool boolean(bool) override { return Scalar("boolean", [&](TSlot) {}); }
  bool number_integer(number_integer_t value) override { return Integer(value, false); }
  bool number_unsigned(number_unsigned_t value) override {
    const bool tooLarge = value > static_cast<number_unsigned_t>(std::numeric_limits<std::int64_t>::max());
    return Integer(tooLarge ? std::numeric_limits<std::int64_t>::max() : static_cast<std::int64_t>(value), tooLarge);
  }
  bool number_float(number_float_t, const string_t&) override { return Scalar("number", [&](TSlot) {}); }
  bool binary(binary_t&) override { return Scalar("binary", [&](TSlot) {}); }
  bool string(string_t& text) override;
  bool start_object(std::size_t) override { return Open(false); }
  bool key(string_t& key) override {
    FFrames.back().Key = key;
    return true;
  }
  bool end_object() override { return Close(); }
  bool start_array(std::size_t) override { return Open(true); }
  bool end_array() override { return Close(); }
  bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& e) override {
    ErrorPosition = position;
    ErrorText = e.what();
    return false;
  }

  std::size_t ErrorPosition = 0;
  std::string ErrorText;
  // Documents nest no deeper here than the schematic server reads them.
  tolvex::standins::TJsonNesting Nesting;

 private:
  // What a value at some place means.
  enum TSlot {
    slSkip, slRoot, slFormat, slComponents, slComponent, slDesignator, slDesignatorValue, slPins, slPin,
    slPinDesignator, slPinName, slLocation, slCoordinate, slLength, slOrientation, slNetLink, slNets, slNet,
    slNetPins, slPinReference, slReferenceComponent, slReferencePin, slNames, slName,
  };
  struct TFrame {
    TSlot Slot = slSkip;
    bool IsArray = false;
    std::string Key;
    std::size_t Index = 0;
    int Group = 0;
    // A pin reference given as an object.
    std::string Component, Pin;
    bool HasComponent = false, HasPin = false;
  };

  // The place of the value now arriving, such as components[3].pins[1].length.
  std::string Place() const {
    std::string place;
    for (std::size_t i = 0; i < FFrames.size(); ++i) {
      const TFrame& frame = FFrames[i];
      if (frame.IsArray)
        place += "[" + std::to_string(frame.Index) + "]";
      else
        place += (place.empty() ? "" : ".") + frame.Key;
    }
    return place;
  }

  // The meaning of the value now arriving, from where it is.
  TSlot Next() const {
    if (FFrames.empty()) return slRoot;
    const TFrame& top = FFrames.back();
    const std::string& key = top.Key;
    switch (top.Slot) {
      case slRoot:
        if (key == "components") return slComponents;
        if (key == "nets") return slNets;
        if (key == "format") return slFormat;
        return slSkip;
      case slComponents: return slComponent;
      case slComponent:
        if (key == "designator") return slDesignator;
        if (key == "pins") return slPins;
        return slSkip;
      case slDesignator: return key == "value" ? slDesignatorValue : slSkip;
      case slPins: return slPin;
      case slPin:
        if (key == "designator") return slPinDesignator;
        if (key == "name") return slPinName;
        if (key == "location") return slLocation;
        if (key == "length") return slLength;
        if (key == "orientation") return slOrientation;
        if (key == "netLink") return slNetLink;
        return slSkip;
      case slLocation:
        if (top.Index >= 2) throw EMemberError(Place(), "expected [x, y]");
        return slCoordinate;
      case slNets: return slNet;
      case slNet:
        if (key == "pins") return slNetPins;
        for (const char* group : kGroupMembers)
          if (key == group) return slNames;
        throw EMemberError(Place(), "unknown member");
      case slNetPins: return slPinReference;
      case slPinReference:
        if (key == "component") return slReferenceComponent;
        if (key == "pin") return slReferencePin;
        throw EMemberError(Place(), "unknown member");
      case slNames: return slName;
      default: return slSkip;
    }
  }

  static const char* Expected(TSlot slot) {
    switch (slot) {
      case slRoot: return "a schematic document object";
      case slComponents: case slPins: case slLocation: case slNets: case slNetPins: case slNames: return "an array";
      case slComponent: case slPin: case slNet: return "an object";
      case slDesignator: return "a string or an object";
      case slPinReference: return "a pin reference such as \"R1.2\"";
      case slCoordinate: case slLength: case slOrientation: return "an integer";
      default: return "a string";
    }
  }

  [[noreturn]] void Wrong(TSlot slot, const char* found) const {
    throw EMemberError(Place(), std::string("expected ") + Expected(slot) + ", found " + found);
  }

  // The value just read is complete: an array above it moves on.
  void Done() {
    if (!FFrames.empty() && FFrames.back().IsArray) ++FFrames.back().Index;
  }

  template <class F>
  bool Scalar(const char* type, F&& take) {
    const TSlot slot = Next();
    if (slot != slSkip) Wrong(slot, type);
    take(slot);
    Done();
    return true;
  }

  bool Integer(std::int64_t value, bool tooLarge) {
    const TSlot slot = Next();
    if (slot == slSkip) {
      Done();
      return true;
    }
    if (slot != slCoordinate && slot != slLength && slot != slOrientation) Wrong(slot, "number");
    const std::int64_t lowest = slot == slOrientation ? 0 : std::numeric_limits<std::int32_t>::min();
    const std::int64_t highest = slot == slOrientation ? 255 : std::numeric_limits<std::int32_t>::max();
    if (tooLarge || value < lowest || value > highest)
      throw EMemberError(Place(), "expected an integer from " + std::to_string(lowest) + " to " +
                                      std::to_string(highest) + ", found " +
                                      (tooLarge ? std::string("a larger one") : std::to_string(value)));
    TSheetPin& pin = FSheet.Components.back().Pins.back();
    const auto v = static_cast<std::int32_t>(value);
    if (slot == slCoordinate) (FFrames.back().Index == 0 ? pin.X : pin.Y) = v;
    if (slot == slLength) pin.Length = v;
    if (slot == slOrientation) pin.Orientation = static_cast<std::uint8_t>(v);
    Done();
    return true;
  }

  bool Open(bool isArray) {
    if (!Nesting.Open()) return false;
    const TSlot slot = Next();
    const bool wantsArray = slot == slComponents || slot == slPins || slot == slLocation || slot == slNets ||
                            slot == slNetPins || slot == slNames;
    const bool wantsObject = slot == slRoot || slot == slComponent || slot == slDesignator || slot == slPin ||
                             slot == slNet || slot == slPinReference;
    if (slot != slSkip && (isArray ? !wantsArray : !wantsObject)) Wrong(slot, isArray ? "array" : "object");
    TFrame frame;
    frame.Slot = slot;
    frame.IsArray = isArray;
    if (slot == slNames)
      for (int group = 0; group < kNamingGroupCount; ++group)
        if (FFrames.back().Key == kGroupMembers[group]) frame.Group = group;
    if (slot == slComponent) FSheet.Components.emplace_back();
    if (slot == slPin) FSheet.Components.back().Pins.emplace_back();
    if (slot == slNet) FSheet.Nets.emplace_back();
    if (slot == slDesignator) FSheet.Components.back().Designator.clear();
    FFrames.push_back(std::move(frame));
    // Everything inside a passed-over value is passed over too.
    if (slot == slSkip) FFrames.back().Slot = slSkip;
    return true;
  }

  bool Close() {
    Nesting.Close();
    TFrame& frame = FFrames.back();
    if (frame.Slot == slLocation && frame.Index != 2) throw EMemberError(Place(), "expected [x, y]");
    if (frame.Slot == slPinReference) {
      if (!frame.HasComponent || !frame.HasPin) {
        FFrames.pop_back();  // the place is the reference itself
        throw EMemberError(Place(), "expected {\"component\": ..., \"pin\": ...}");
      }
      FSheet.Nets.back().Pins.emplace_back(frame.Component, frame.Pin);
    }
    FFrames.pop_back();
    Done();
    return true;
  }

  TSheet& FSheet;
  std::vector<TFrame> FFrames;
};

// A text that becomes part of a netlist line or a name: no line breaks or other control characters.
void CheckLineText(const std::string& text, const std::string& place) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) < 32 && c != '\t')
      throw EMemberError(place, "the text holds a line break or another control character");
}

bool TSheetReader::string(string_t& text) {
  const TSlot slot = Next();
  if (slot == slSkip) {
    Done();
    return true;
  }
  const bool wantsString = slot == slFormat || slot == slDesignator || slot == slDesignatorValue ||
                           slot == slPinDesignator || slot == slPinName || slot == slNetLink ||
                           slot == slPinReference || slot == slReferenceComponent || slot == slReferencePin ||
                           slot == slName;
  if (!wantsString) Wrong(slot, "string");
  if (text.find('\0') != std::string::npos) throw EMemberError(Place(), "the text holds a NUL character");
  switch (slot) {
    case slFormat:
      if (text != "tolvex-schematic") throw EMemberError(Place(), "expected \"tolvex-schematic\", found \"" + text + "\"");
      break;
    case slDesignator:
    case slDesignatorValue: FSheet.Components.back().Designator = text; break;
    case slPinDesignator: FSheet.Components.back().Pins.back().Designator = text; break;
    case slPinName: FSheet.Components.back().Pins.back().Name = text; break;
    case slNetLink:
      CheckLineText(text, Place());
      if (text.empty()) throw EMemberError(Place(), "expected a net name, found an empty text");
      FSheet.Components.back().Pins.back().NetLink = text;
      break;
    case slPinReference: {
      const std::size_t dot = text.rfind('.');
      if (dot == std::string::npos || dot == 0 || dot + 1 == text.size())
        throw EMemberError(Place(), "expected COMPONENT.PIN such as \"R1.2\", found \"" + text + "\"");
      FSheet.Nets.back().Pins.emplace_back(text.substr(0, dot), text.substr(dot + 1));
      break;
    }
    case slReferenceComponent:
      FFrames.back().Component = text;
      FFrames.back().HasComponent = true;
      break;
    case slReferencePin:
      FFrames.back().Pin = text;
      FFrames.back().HasPin = true;
      break;
    case slName:
      CheckLineText(text, Place());
      if (text.empty()) throw EMemberError(Place(), "expected a name, found an empty text");
      FSheet.Nets.back().Groups[FFrames.back().Group].push_back(text);
      break;
    default: break;
  }
  Done();
  return true;
}

// Reads the schematic document at Path for the design; a file that cannot be read is told as the place that
// names it (ReferencedBy).
TSheet ReadSheet(const std::string& path, const std::string& referencedBy) {
  std::string text;
  try {
    text = ReadFileText(path, path, tolvex::standins::kSchematicFileSizeLimit);
  } catch (const EProjectError& e) {
    throw EProjectError(referencedBy + ": " + e.what());
  }
  TSheet sheet;
  TSheetReader reader(sheet);
  bool parsed = false;
  try {
    parsed = TJson::sax_parse(text, &reader);
  } catch (const EMemberError& e) {
    throw EProjectError(path + ": " + e.what());
  }
  if (!parsed) {
    if (reader.Nesting.TooDeep()) throw EProjectError(reader.Nesting.Message(path, text));
    throw EProjectError(tolvex::standins::MalformedJsonMessage(path, text, reader.ErrorPosition, reader.ErrorText));
  }
  return sheet;
}

// The design's declarations of a document's nets, each pin reference resolved among the document's own
// components (FirstPin is the index of each component's first pin item in the design).
void ResolveNets(const TSheet& sheet, const std::vector<std::size_t>& firstPin, std::size_t document,
                 std::vector<TNetDeclaration>& declarations) {
  // A reference names the first component of its designator.
  std::unordered_map<std::string, std::size_t> byDesignator;
  for (std::size_t c = 0; c < sheet.Components.size(); ++c)
    byDesignator.emplace(tolvex::UpperCaseAscii(sheet.Components[c].Designator), c);
  for (std::size_t n = 0; n < sheet.Nets.size(); ++n) {
    const TSheetNet& net = sheet.Nets[n];
    TNetDeclaration declaration;
    declaration.Document = document;
    declaration.Groups = net.Groups;
    for (std::size_t p = 0; p < net.Pins.size(); ++p) {
      const auto& [designator, pinDesignator] = net.Pins[p];
      const std::string at = Place(Place(Place("nets", n), "pins"), p);
      const auto named = byDesignator.find(tolvex::UpperCaseAscii(designator));
      if (named == byDesignator.end()) throw EMemberError(at, "no component " + designator + " on this document");
      // Every pin of that designator joins: a pin that several parts share is one pin for each part.
      bool found = false;
      const auto& pins = sheet.Components[named->second].Pins;
      for (std::size_t k = 0; k < pins.size(); ++k)
        if (tolvex::SameText(pins[k].Designator, pinDesignator)) {
          declaration.Pins.push_back(firstPin[named->second] + k);
          found = true;
        }
      if (!found) throw EMemberError(at, designator + " has no pin " + pinDesignator);
    }
    declarations.push_back(std::move(declaration));
  }
}

class TDisjointSets {
 public:
  explicit TDisjointSets(std::size_t count) : FParent(count) { std::iota(FParent.begin(), FParent.end(), 0); }
  std::size_t Find(std::size_t x) {
    while (FParent[x] != x) x = FParent[x] = FParent[FParent[x]];
    return x;
  }
  // The set of the earlier element absorbs the later one.
  void Join(std::size_t a, std::size_t b) {
    a = Find(a);
    b = Find(b);
    if (a != b) FParent[std::max(a, b)] = std::min(a, b);
  }

 private:
  std::vector<std::size_t> FParent;
};

// Joins declarations that are one net: those sharing a pin; on one document those sharing a net label; in the
// whole project those sharing a power port, and those sharing a port or sheet entry name.
std::vector<TDesignNetData> JoinNets(const std::vector<TNetDeclaration>& declarations, TDesignData& design) {
  TDisjointSets sets(declarations.size());
  std::unordered_map<std::size_t, std::size_t> pinOwner;
  std::unordered_map<std::string, std::size_t> globalNames;
  for (std::size_t d = 0; d < declarations.size(); ++d) {
    const TNetDeclaration& declaration = declarations[d];
    for (const std::size_t pin : declaration.Pins)
      if (auto [it, added] = pinOwner.emplace(pin, d); !added) sets.Join(it->second, d);
    auto joinByName = [&](const std::string& key) {
      if (auto [it, added] = globalNames.emplace(key, d); !added) sets.Join(it->second, d);
    };
    for (const std::string& name : declaration.Groups[ngPowerPort]) joinByName("P:" + tolvex::UpperCaseAscii(name));
    for (const std::string& name : declaration.Groups[ngNetLabel])
      joinByName("L" + std::to_string(declaration.Document) + ":" + tolvex::UpperCaseAscii(name));
    for (const int group : {ngPort, ngSheetEntry})
      for (const std::string& name : declaration.Groups[group]) joinByName("E:" + tolvex::UpperCaseAscii(name));
  }
  std::vector<TDesignNetData> nets;
  std::unordered_map<std::size_t, std::size_t> netOfSet;
  for (std::size_t d = 0; d < declarations.size(); ++d) {
    const auto [it, added] = netOfSet.emplace(sets.Find(d), nets.size());
    if (added) {
      // Nets are numbered from 1 in the order of their first declaration.
      nets.emplace_back();
      nets.back().Number = std::to_string(nets.size());
    }
    const std::size_t index = it->second;
    TDesignNetData& net = nets[index];
    for (const std::size_t pin : declarations[d].Pins)
      if (design.Pins[pin].Net != index) {
        design.Pins[pin].Net = index;
        net.Pins.push_back(pin);
      }
    for (int group = 0; group < kNamingGroupCount; ++group)
      for (const std::string& name : declarations[d].Groups[group]) {
        bool present = false;
        for (const std::string& other : net.Groups[group]) present = present || tolvex::SameText(other, name);
        if (!present) net.Groups[group].push_back(name);
      }
  }
  return nets;
}

}  // namespace

std::string NormalisePath(const std::string& path) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(fs::path(path), ec);
  if (ec) return path;
  return absolute.lexically_normal().string();
}

bool PinItemLocation(std::int32_t x, std::int32_t y, std::int32_t length, std::uint8_t orientation,
                     std::int32_t& itemX, std::int32_t& itemY) {
  std::int64_t ix = x, iy = y;
  switch (orientation) {
    case 1: iy += length; break;
    case 2: ix -= length; break;
    case 3: iy -= length; break;
    default: ix += length; break;
  }
  constexpr std::int64_t lowest = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t highest = std::numeric_limits<std::int32_t>::max();
  if (ix < lowest || ix > highest || iy < lowest || iy > highest) return false;
  itemX = static_cast<std::int32_t>(ix);
  itemY = static_cast<std::int32_t>(iy);
  return true;
}

TProjectFile ReadProjectFile(const std::string& path) {
  TProjectFile project;
  project.Path = NormalisePath(path);
  const TJson root = ReadJsonFile(path, path);
  try {
    ReadProject(root, fs::path(project.Path).parent_path(), project);
  } catch (const EMemberError& e) {
    throw EProjectError(path + ": " + e.what());
  }
  if (project.Title.empty()) project.Title = fs::path(project.Path).stem().string();
  return project;
}

TDesignData CompileDesign(const TProjectFile& project) {
  TDesignData design;
  std::vector<TNetDeclaration> declarations;
  // Every document is read before the design is made, so that its lists are made at their size at once.
  std::array<std::vector<TSheet>, 2> sheets;
  std::size_t pinCount = 0, componentCount = 0;
  for (int list = 0; list < 2; ++list)
    for (std::size_t d = 0; d < project.Documents[list].size(); ++d) {
      const std::string place = project.Path + ": " + Place(list == 0 ? "documents" : "secondDocuments", d);
      TSheet& sheet = sheets[list].emplace_back(ReadSheet(project.Documents[list][d], place));
      componentCount += sheet.Components.size();
      for (const TSheetComponent& component : sheet.Components) pinCount += component.Pins.size();
    }
  design.Pins.reserve(pinCount);
  design.Components.reserve(componentCount);
  std::size_t documentIndex = 0;
  for (int list = 0; list < 2; ++list) {
    for (std::size_t s = 0; s < sheets[list].size(); ++s) {
      const std::string& path = project.Documents[list][s];
      const TSheet& sheet = sheets[list][s];
      try {
        TDesignDocumentData& document = design.Lists[list].emplace_back();
        document.Path = path;
        std::vector<std::size_t> firstPin;
        for (std::size_t c = 0; c < sheet.Components.size(); ++c) {
          const TSheetComponent& component = sheet.Components[c];
          firstPin.push_back(design.Pins.size());
          TDesignComponentData& item = design.Components.emplace_back();
          item.Designator = component.Designator;
          for (std::size_t p = 0; p < component.Pins.size(); ++p) {
            const TSheetPin& pin = component.Pins[p];
            TDesignPinData data;
            if (!PinItemLocation(pin.X, pin.Y, pin.Length, pin.Orientation, data.X, data.Y))
              throw EMemberError(Place(Place(Place("components", c), "pins"), p),
                                 "the pin's end, its length away from its location, lies outside 32 bits");
            data.PinName = pin.Name;
            data.PinNumber = pin.Designator;
            data.Name = component.Designator + "-" + pin.Designator;
            data.ComponentDesignator = component.Designator;
            data.LinkedNetName = pin.NetLink;
            item.Pins.push_back(design.Pins.size());
            design.Pins.push_back(std::move(data));
          }
          document.Components.push_back(design.Components.size() - 1);
        }
        ResolveNets(sheet, firstPin, documentIndex, declarations);
      } catch (const EMemberError& e) {
        throw EProjectError(path + ": " + e.what());
      }
      ++documentIndex;
    }
  }
  design.Nets = JoinNets(declarations, design);
  if (project.Flattened) {
    TDesignDocumentData flattened;
    flattened.Path = project.Path;
    for (const auto& list : design.Lists)
      for (const TDesignDocumentData& document : list)
        flattened.Components.insert(flattened.Components.end(), document.Components.begin(),
                                    document.Components.end());
    design.Flattened = std::move(flattened);
  }
  return design;
}

}  // namespace fenwarden
