// How our engines reach the modules they call back: Tolvex.dll and the waveform viewer.
#pragma once

#include <string>
#include <string_view>

#include "StartText.h"
#include "os/Os.h"

namespace tolvex::engines {

// A module a run calls: found among the loaded modules by its file name (letter case
// ignored), else loaded by its path for this run only; the reference a load took is given
// back when the binding goes. The first answer is kept for the rest of the run.
class TModuleBinding {
 public:
  TModuleBinding() = default;
  TModuleBinding(const TModuleBinding&) = delete;
  TModuleBinding& operator=(const TModuleBinding&) = delete;
  ~TModuleBinding() {
    if (FLoaded) os::ReleaseModule(FLoaded);
  }

  // Path may be empty: the module is then looked for by DefaultName among the loaded ones.
  os::TModuleHandle Resolve(const std::string& path, std::string_view defaultName) {
    if (FResolved) return FHandle;
    FResolved = true;
    const std::string_view name = path.empty() ? defaultName : FileNameOf(path);
    if (!name.empty()) FHandle = os::FindLoadedModule(name);
    if (!FHandle && !path.empty()) FHandle = FLoaded = os::LoadModule(path);
    return FHandle;
  }

 private:
  bool FResolved = false;
  os::TModuleHandle FHandle = nullptr;
  os::TModuleHandle FLoaded = nullptr;
};

}  // namespace tolvex::engines
