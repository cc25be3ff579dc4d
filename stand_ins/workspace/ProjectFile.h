// Project files of the workspace stand-in and the compiled design: a project and its schematic documents are
// read, and the nets the documents declare are joined into one design of pin items and named nets.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace fenwarden {

// A project or schematic document that cannot be read. The message names the file and the place in it
// (FILE:LINE:COLUMN for malformed JSON, FILE: nets[0].pins[2] for a wrong member).
class EProjectError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TProjectFile {
  std::string Path;  // absolute and normalised
  std::string Title;
  // The first and the second document list, absolute and normalised, in the project's order.
  std::array<std::vector<std::string>, 2> Documents;
  bool Compiled = true;
  bool Flattened = false;
  std::vector<std::string> ModelFolders;
  std::vector<std::string> Analyses;
  // In the file's order; an empty value is an option without one.
  std::vector<std::pair<std::string, std::string>> Options;
};

// Reads the project file at Path (relative paths in it are taken from its folder). Raises EProjectError.
TProjectFile ReadProjectFile(const std::string& path);

// Naming groups of a net, in the order its name is chosen from them.
enum TNamingGroup : int { ngPowerPort = 0, ngNetLabel = 1, ngPort = 2, ngSheetEntry = 3 };
constexpr int kNamingGroupCount = 4;

constexpr std::size_t kNoNet = static_cast<std::size_t>(-1);

struct TDesignPinData {
  std::int32_t X = 0, Y = 0;  // where the design keeps the pin: its location moved along its length
  std::string PinName;
  std::string PinNumber;
  std::string Name;  // the item's own name: designator, "-", pin number
  std::string ComponentDesignator;
  std::optional<std::string> LinkedNetName;
  std::size_t Net = kNoNet;
};

struct TDesignNetData {
  std::string Number;
  std::vector<std::size_t> Pins;
  std::array<std::vector<std::string>, kNamingGroupCount> Groups;
};

struct TDesignComponentData {
  std::string Designator;
  std::vector<std::size_t> Pins;
};

struct TDesignDocumentData {
  std::string Path;
  std::vector<std::size_t> Components;
};

struct TDesignData {
  std::vector<TDesignPinData> Pins;
  std::vector<TDesignNetData> Nets;
  std::vector<TDesignComponentData> Components;
  std::array<std::vector<TDesignDocumentData>, 2> Lists;
  // Every component of both lists in one document, when the project asks for a flattened design.
  std::optional<TDesignDocumentData> Flattened;
};

// Reads every document of Project and compiles the design. Raises EProjectError; nothing is kept then.
TDesignData CompileDesign(const TProjectFile& project);

// Where the design keeps the item of a schematic pin at (X, Y) with Length and Orientation: at the pin's other end,
// its length away in the direction of its orientation, (x + length, y) for 0, (x, y + length) for 1,
// (x - length, y) for 2, (x, y - length) for 3 and as for 0 for any other value. From that place the plug-in
// computes the pin's own location back. False when the place is outside 32 bits.
bool PinItemLocation(std::int32_t x, std::int32_t y, std::int32_t length, std::uint8_t orientation,
                     std::int32_t& itemX, std::int32_t& itemY);

// The absolute, normalised form of Path.
std::string NormalisePath(const std::string& path);

}  // namespace fenwarden
