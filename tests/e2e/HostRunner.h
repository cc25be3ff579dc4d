// Runs tolvex-host with a journal and reads what it observed, for end-to-end tests.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tolvex::e2e {

struct TJournalLine {
  std::string Event;
  std::map<std::string, std::string> Fields;
  std::string Raw;
  std::string Get(const std::string& key) const {
    auto it = Fields.find(key);
    return it == Fields.end() ? std::string() : it->second;
  }
};

struct THostRun {
  int ExitCode = -1;
  // RunHostGuarded only: the host was killed when its time was up.
  bool TimedOut = false;
  std::string Output;  // standard output and error of the host
  std::vector<TJournalLine> Journal;

  // The lines of one event, in order.
  std::vector<TJournalLine> Events(const std::string& event) const;
  // The lines between the "launch" of Command and its "launch-done" (first launch).
  std::vector<TJournalLine> DuringLaunch(const std::string& command) const;
  // The whole journal as text, for failure messages.
  std::string JournalText() const;
};

// Runs build/bin/tolvex-host with Arguments (a journal option is added). The
// host gets a fresh, empty XDG_CONFIG_HOME unless Environment sets one, so that
// no option file of the user's changes a test; Environment entries are NAME=VALUE.
THostRun RunHost(const std::vector<std::string>& arguments, const std::vector<std::string>& environment = {});

// Limits for a host run that is expected to meet hostile input.
struct THostGuard {
  // Every file the host writes may grow to at most this many bytes (RLIMIT_FSIZE), with SIGXFSZ
  // ignored, so that a write past it fails with EFBIG the way a write to a full disk fails with
  // ENOSPC; 0 for no limit. The journal and the host's output come through pipes, which the
  // limit does not touch.
  std::uint64_t FileSizeLimit = 0;
  // The host is killed after this long, so that a regression that blocks (a FIFO opened for
  // reading, a device read to its end) fails the test instead of hanging it. No test measures
  // time with it.
  int TimeLimitSeconds = 120;
  // The host's working folder; a fresh empty one when empty.
  std::string WorkingFolder;
};

// RunHost under Guard. Output holds the host's standard error only: its standard output is the journal.
THostRun RunHostGuarded(const std::vector<std::string>& arguments, const THostGuard& guard,
                        const std::vector<std::string>& environment = {});

// Parses one journal line: Event key="value" ... with the journal's escapes.
TJournalLine ParseJournalLine(const std::string& line);

// A fresh folder below the test's temporary folder, removed at destruction.
class TScratchFolder {
 public:
  TScratchFolder();
  ~TScratchFolder();
  const std::string& Path() const { return FPath; }
  std::string File(const std::string& name, const std::string& content) const;

 private:
  std::string FPath;
};

// A plug-in folder as an installation has it: Tolvex.dll with the engine of
// the test as its built-in "xspice.dll" (none when EngineFile is empty), and
// further engines beside it, all links to build/bin.
class TPluginFolder {
 public:
  explicit TPluginFolder(const std::string& engineFile = "ScriptedEngine.dll");
  const std::string& Path() const { return FFolder.Path(); }
  std::string Plugin() const { return Path() + "/Tolvex.dll"; }

 private:
  TScratchFolder FFolder;
};

std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);

std::string HostExecutable();
std::string BinFolder();

}  // namespace tolvex::e2e
