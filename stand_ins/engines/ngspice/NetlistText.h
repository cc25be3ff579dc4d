// The ngspice engine's reading of a netlist: the lines handed to ngspice, the x range of each
// analysis card, SPICE numbers, and the names under which ngspice's vectors reach the viewer.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tolvex::ngspice {

// The x range an analysis card asks for: time for .tran, frequency for .ac, the first swept
// value for .dc, nothing (0 to 0) for .op.
struct TAxisRange {
  double From = 0;
  double To = 0;
};

struct TPreparedNetlist {
  // The lines for ngSpice_Circ: title first, ".end" last, no line ends.
  std::vector<std::string> Lines;
  // Nothing but the title, blank lines, comments and ".end".
  bool Empty = true;
  // Line numbers (1-based, in the file) of .control sections that were left out.
  std::vector<int> ControlSections;
  // By analysis ("tran", "ac", "dc", "op"): the range of the first card of that kind whose
  // values are plain numbers. A card with expressions or parameters has no entry.
  std::map<std::string, TAxisRange> Ranges;
};

// Prepares the netlist Text read from a file in Folder (no trailing separator):
// - line ends LF or CR LF; everything after the first ".end" is left out, a missing one added;
// - .control ... .endc sections are left out, since their commands would run outside the
//   engine's control ("quit" would end ngspice, "run" would run without a way to stop it);
// - a relative path in .include, .inc or .lib that names a file in Folder is made absolute,
//   because ngspice looks for a circuit's includes in the process's working folder.
TPreparedNetlist PrepareNetlist(std::string_view text, const std::string& folder);

// A SPICE number: a decimal number in the C locale, an optional scale suffix (T, G, MEG, K, MIL,
// M, U, N, P, F, any letter case) and then any letters (units such as "s" or "Hz"). "1.5k" is
// 1500, "2ms" 0.002, "10MEG" 1e7. Anything else, such as "{tstop}" or "1,5", is refused.
std::optional<double> ParseSpiceNumber(std::string_view word);

// ngspice's vector types, as its vectors carry them.
enum TVectorType : int { vtNone = 0, vtTime = 1, vtFrequency = 2, vtVoltage = 3, vtCurrent = 4 };

// The name a vector gets in the viewer: a node voltage "out" becomes "v(out)", a branch current
// "v1#branch" becomes "i(v1)" (the names ngspice writes into its raw files), and a current of
// another kind "x" becomes "i(x)"; every other vector keeps ngspice's name.
std::string ViewerWaveName(std::string_view vectorName, int vectorType);

// The analysis kind of a plot type: "tran1" gives "tran", "ac12" gives "ac".
std::string AnalysisOfPlotType(std::string_view plotType);

}  // namespace tolvex::ngspice
