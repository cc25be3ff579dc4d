// The binding to ngspice's shared library, libngspice.so.0: loaded with dlopen at the first run
// (never when the engine module is loaded) and loaded afresh after ngspice has asked to exit,
// since it cannot be initialised twice in one load. Every call into it runs in the C locale and
// leaves the host's interrupt handler as it was.
#pragma once

#include <string>
#include <vector>

#include "RelayQueue.h"

namespace tolvex::ngspice {

class TNgspiceLibrary {
 public:
  // The one binding of the process; its callbacks feed Queue().
  static TNgspiceLibrary& Instance();

  // Loads and initialises ngspice unless it is ready; on failure Error says why.
  bool EnsureReady(std::string& error);
  // ngspice asked to exit (it cannot go on): the next EnsureReady loads it afresh.
  void MarkForReload() { FNeedsReload = true; }

  // A command, as typed at ngspice's prompt. ngspice's result says little: errors show in its
  // text output.
  int Command(const char* command);
  // Hands ngspice a circuit, one netlist line per entry, ".end" last.
  int Circuit(const std::vector<std::string>& lines);

  TRelayQueue& Queue() { return FQueue; }

 private:
  TNgspiceLibrary() = default;
  bool Load(std::string& error);
  void Unload();
  bool Initialise(std::string& error);

  void* FHandle = nullptr;
  void* FInit = nullptr;
  void* FCommand = nullptr;
  void* FCirc = nullptr;
  bool FReady = false;
  bool FNeedsReload = false;
  TRelayQueue FQueue;
};

// Runs the calling thread in the C locale for its lifetime: ngspice reads and writes numbers
// with the C library, so under a locale with a decimal comma ".param r=1.5k" would quietly mean
// something else. The thread's own locale is back afterwards.
class TCLocaleScope {
 public:
  TCLocaleScope();
  ~TCLocaleScope();
  TCLocaleScope(const TCLocaleScope&) = delete;
  TCLocaleScope& operator=(const TCLocaleScope&) = delete;

 private:
  void* FPrevious;
};

// For ngspice's own thread, from its first callback on.
void UseCLocaleOnThisThread();

}  // namespace tolvex::ngspice
