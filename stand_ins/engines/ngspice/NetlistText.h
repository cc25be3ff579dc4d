// The ngspice engine's reading of a netlist: the lines handed to ngspice (with every include and
// library section resolved here), the x range of each analysis card, SPICE numbers, and the names
// under which ngspice's vectors reach the viewer.
#pragma once

#include <cstddef>
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

// Why a netlist cannot be simulated.
enum TNetlistFault {
  nfNone,
  nfNetlistMissing,     // no file at the netlist's path
  nfNetlistUnreadable,  // the netlist is not a regular file (a folder, a FIFO, a device) or cannot be read
  nfIncludeUnreadable,  // a file it includes is not a regular file or cannot be read
  nfRefused,            // includes in a circle, nested too deep or too large; a missing include or section
};

// What the engine reads and writes at most: one file, and the netlist with all it includes.
constexpr std::size_t kMaxFileBytes = std::size_t{64} << 20;
constexpr std::size_t kMaxNetlistBytes = std::size_t{256} << 20;
// How deep includes and library sections may nest, and how many a netlist may expand in all.
constexpr int kMaxIncludeDepth = 32;
constexpr int kMaxIncludes = 100000;

struct TPreparedNetlist {
  // The lines for ngSpice_Circ: title first, ".end" last, no line ends, and no line that would
  // make ngspice read a file or run a command of its own accord.
  std::vector<std::string> Lines;
  // Nothing but the title, blank lines, comments and ".end".
  bool Empty = true;
  // Warnings for the error file: what was left out, each naming its file and line.
  std::vector<std::string> Notes;
  // By analysis ("tran", "ac", "dc", "op"): the range of the first card of that kind whose
  // values are plain numbers. A card with expressions or parameters has no entry.
  std::map<std::string, TAxisRange> Ranges;
  TNetlistFault Fault = nfNone;
  // For a fault: one sentence for the error file, naming the file.
  std::string Reason;
};

// Reads the netlist file at Path and prepares it for ngspice:
// - only regular files are read (a FIFO or a device is refused without blocking), each at most
//   kMaxFileBytes; line ends LF or CR LF, a line ends at a NUL as it would for ngspice;
// - the first line is the title, whatever it holds; one that ngspice would take for something
//   else (a control line, a command script's mark, or nothing, which would make the next line
//   the title) is passed on as a plain comment;
// - everything after the first ".end" is left out, a missing one added;
// - .include, .inc and .lib FILE SECTION are resolved here, at any depth, so that ngspice never
//   opens a file itself: a relative path is looked for beside the file that names it, then beside
//   the netlist, then in the working folder; a file that includes itself, directly or through
//   others, is refused, and so are nesting beyond kMaxIncludeDepth and a netlist that grows
//   beyond kMaxNetlistBytes;
// - whatever ngspice's front end would run as a command is left out with a note: .control ...
//   .endc sections ("quit" would end ngspice, "run" would run without a way to stop it, "shell"
//   would run a program), "*#" lines, and a .title that would make the netlist a command script.
TPreparedNetlist ReadNetlist(const std::string& path);

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
