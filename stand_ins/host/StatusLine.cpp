// Terminal status line: drawn on standard error so that the journal on standard output stays clean.
#include "StatusLine.h"

#include <algorithm>
#include <cstdio>

namespace tolvex::host {

void TTerminalStatusLine::Changed(const std::string& text, bool progressActive, const std::string& caption,
                                  int percent) {
  std::string line;
  if (progressActive) {
    const int shown = std::clamp(percent, 0, 100);
    const int filled = shown * 30 / 100;
    line = (caption.empty() ? text : caption) + " [" + std::string(filled, '#') + std::string(30 - filled, '.') +
           "] " + std::to_string(shown) + "%";
  } else {
    line = text;
  }
  if (line.size() > 100) line.resize(100);
  if (line == FLast) return;
  FLast = line;
  // \033[K clears what a longer previous line left behind.
  std::fprintf(stderr, "\r%s\033[K", line.c_str());
  std::fflush(stderr);
  FShown = true;
}

void TTerminalStatusLine::Finish() {
  if (FShown) std::fprintf(stderr, "\n");
  FShown = false;
}

}  // namespace tolvex::host
