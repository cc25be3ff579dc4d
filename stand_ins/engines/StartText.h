// The two forms of an engine's start call, and the output file names beside the netlist, for
// every engine of ours: the scripted test engine and the ngspice engine.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "support/TextUtils.h"

namespace tolvex::engines {

enum TStartForm { sfBuiltIn, sfExternal };

struct TStartText {
  TStartForm Form = sfBuiltIn;
  std::string NetlistPath;
  // Empty when the start text names none: the engine then looks for the module by its usual file name.
  std::string ViewerPath;
  std::string LibraryPath;
  // The start text as received (the scripted engine echoes it).
  std::string Raw;
};

// The text of one start call, in either form. The built-in form is a parameter text
// Name=Value|Name=Value (names ignore case, the first of a name wins, values trimmed, segments
// without "=" dropped); the external form is "1" + viewer path + "|" + library path + "|" +
// netlist path, told apart by a leading "1" and a first segment without "=". Any other text is
// read as a parameter text, so that one without "NetlistFilename" means no netlist. Paths cannot
// hold "|" on the host's platform, but a netlist path keeps everything after the second "|".
inline TStartText ParseStartText(std::string_view text) {
  TStartText start;
  start.Raw = std::string(text);
  const std::string_view first = text.substr(0, text.find('|'));
  if (text.empty() || text[0] != '1' || first.find('=') != std::string_view::npos) {
    bool haveNetlist = false, haveViewer = false;
    std::size_t pos = 0;
    while (pos <= text.size()) {
      std::size_t bar = text.find('|', pos);
      if (bar == std::string_view::npos) bar = text.size();
      const std::string_view segment = text.substr(pos, bar - pos);
      pos = bar + 1;
      const std::size_t equals = segment.find('=');
      if (equals == std::string_view::npos) continue;
      const std::string_view name = TrimView(segment.substr(0, equals));
      const std::string_view value = TrimView(segment.substr(equals + 1));
      if (!haveNetlist && SameText(name, "NetlistFilename")) {
        start.NetlistPath = value;
        haveNetlist = true;
      } else if (!haveViewer && SameText(name, "OndulixPath")) {
        start.ViewerPath = value;
        haveViewer = true;
      }
    }
  } else {
    start.Form = sfExternal;
    const std::string_view rest = text.substr(1);
    const std::size_t bar1 = rest.find('|');
    start.ViewerPath = TrimView(rest.substr(0, bar1));
    if (bar1 != std::string_view::npos) {
      const std::size_t bar2 = rest.find('|', bar1 + 1);
      start.LibraryPath = TrimView(rest.substr(bar1 + 1, bar2 == std::string_view::npos ? bar2 : bar2 - bar1 - 1));
      // Without a second "|" there is no netlist at all: a path in the library's place is not guessed at.
      if (bar2 != std::string_view::npos) start.NetlistPath = TrimView(rest.substr(bar2 + 1));
    }
  }
  return start;
}

// Path with its extension replaced by Extension (without the dot). The extension is the text
// from the last "." of the file name part; a name without one gets the extension appended.
// Both separators count, so that a Windows path handed over on any platform splits right.
inline std::string ReplaceExtension(std::string_view path, std::string_view extension) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
  const std::size_t dot = path.rfind('.');
  std::string result(dot != std::string_view::npos && dot >= nameStart ? path.substr(0, dot) : path);
  result += '.';
  result += extension;
  return result;
}

// The file name part of Path, after the last "/" or "\".
inline std::string_view FileNameOf(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace tolvex::engines
