// The stand-in host's netlister: a project of the workspace, its schematic documents in the schematic server, and
// the .nsx netlist made from every component's stored template by the plug-in's own template expansion.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "schematic_server/Pravik.h"
#include "workspace/Fenwarden.h"

namespace tolvex::host {

// The exports of the host's modules that the netlister uses; each null when its module is missing or lacks it.
struct TNetlisterExports {
  TFenwarden_OpenProject OpenProject = nullptr;
  TFenwarden_SetFocusedProject SetFocusedProject = nullptr;
  TFenwarden_GetProjectText GetProjectText = nullptr;
  tolvex::TGetWorkspaceFunc GetWorkspace = nullptr;
  TPravik_OpenDocument OpenDocument = nullptr;
  TPravik_GetImplementation GetImplementation = nullptr;
  using TAddModelFolder = void(TOLVEX_STDCALL*)(const char*);
  TAddModelFolder AddModelFolder = nullptr;
};

// Told of every message of a netlist, as it arises: the component's designator (with its part letter for a
// part of a multi-part component; empty for none) and the text.
using TNetlistMessageHandler = std::function<void(const std::string& designator, const std::string& text)>;
// Told of every schematic document loaded for a project: its path, its handle (0 when it failed) and the error.
using TDocumentLoadHandler = std::function<void(const std::string& path, THandle handle, const std::string& error)>;

struct TOpenedProject {
  std::int32_t Index = -1;
  std::string Title;
  std::vector<std::string> Documents;  // both lists, in order
  std::vector<THandle> DocumentHandles;
  std::vector<std::string> Analyses;
  std::vector<std::string> Options;
};

class TNetlister {
 public:
  explicit TNetlister(TNetlisterExports exports) : FExports(exports) {}

  // Opens the project file in the workspace and makes it the focused project, adds its model folders to the
  // library manager and loads its schematic documents into the schematic server. False with a message when any
  // of that fails.
  bool OpenProject(const std::string& path, TOpenedProject& project, std::string& error,
                   const TDocumentLoadHandler& onDocument);

  // Writes the netlist of an opened project to OutPath. False with a message when a design request fails or the
  // file cannot be written; the file is then left as it was. Template messages do not make it fail.
  bool WriteNetlist(const TOpenedProject& project, const std::string& outPath, const TNetlistMessageHandler& onMessage,
                    std::size_t& components, std::size_t& messages, std::string& error);

 private:
  TNetlisterExports FExports;
  std::vector<std::string> FModelFoldersAdded;
};

// The net name a netlist writes for a net: "0" for the ground names "0", "GND", "AGND" and "DGND" (letter case
// ignored); otherwise the name with every blank, tab, "=", "(", ")" and "," (which SPICE reads as separators)
// made "_". Changed is set when the name had to be changed other than for ground.
std::string NetlistNetName(const std::string& name, bool& changed);

// The letters of part Part (1-based) of a multi-part component: A to Z, then AA, AB, ...
std::string PartLetters(std::int32_t part);

// The most parts a component may have in a netlist: those that one or two part letters name (A to ZZ). Real
// multi-part symbols have tens of parts; a count beyond this is a damaged or hostile file, whose every part would
// otherwise be expanded (2,147,483,647 of them take hours).
constexpr std::int32_t kMaxPartCount = 26 + 26 * 26;

// Whether Text holds a byte that a netlist line cannot: a line break or another control character (codes below 32
// and 127). A tab is allowed where AllowTab is set, as SPICE reads it as a blank.
bool HasControlCharacter(const std::string& text, bool allowTab);

// Text with its control characters written as \n, \r, \t or \xHH, for a message that shows it on one line.
std::string VisibleText(const std::string& text);

}  // namespace tolvex::host
