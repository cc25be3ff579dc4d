// The status bar shown as one line with a progress bar on a terminal.
#pragma once

#include "HostClient.h"

namespace tolvex::host {

class TTerminalStatusLine final : public TStatusDisplay {
 public:
  void Changed(const std::string& text, bool progressActive, const std::string& caption, int percent) override;
  void Finish() override;

 private:
  bool FShown = false;
  std::string FLast;
};

}  // namespace tolvex::host
