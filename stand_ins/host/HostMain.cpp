// tolvex-host: a stand-in for the design host. It loads the stand-in modules and
// Tolvex.dll the way a real host does, runs the actions of its command line
// against the plug-in and journals everything the plug-in does to it.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "HostClient.h"
#include "HostPaths.h"
#include "HostState.h"
#include "Journal.h"
#include "Netlister.h"
#include "StatusLine.h"
#include "host/HostApi.h"
#include "host/HostInterfaces.h"
#include "host/InterfacePtr.h"
#include "host/SchServerApi.h"
#include "os/Os.h"
#include "os/posix/user/TolvexUser.h"
#include "schematic_server/Pravik.h"
#include "support/TextUtils.h"
#include "ui/MessageDialog.h"
#include "waveform_viewer/Ondulix.h"
#include "workspace/Fenwarden.h"

using namespace tolvex;
using namespace tolvex::host;

namespace tolvex::host {
THostState& State() {
  static THostState state;
  return state;
}
}  // namespace tolvex::host

namespace {

constexpr std::uint32_t kHostCommandMessage = 0x8001;  // a host event: launch a scripted command

const char* kUsage =
    "usage: tolvex-host [options] [action ...]\n"
    "options:\n"
    "  --journal FILE            write the journal to FILE (- for standard output)\n"
    "  --answer BUTTON           queue an answer for the next message box (OK, Cancel, Yes, No)\n"
    "  --on-pump N COMMAND PARAMS  launch COMMAND with PARAMS when the plug-in looks at the queue the Nth time\n"
    "  --project PATH            add a project with this full path to the workspace\n"
    "  --workspace-fail OP       make the workspace operation OP answer a failure status\n"
    "  --plugin PATH             the plug-in to load (default: Tolvex.dll beside tolvex-host)\n"
    "  --vfs-root FOLDER         where names starting with vfs:// live on disk (default /tmp)\n"
    "  --decimal-separator C     the process-wide decimal separator before the first action\n"
    "  --viewer-log FILE         make Ondulix.dll write every call it receives to FILE\n"
    "  --model-path FOLDER       a folder in which Quillfold.dll finds model files (repeatable)\n"
    "  --schematic FILE          load a schematic document or library into Pravik.dll (repeatable)\n"
    "  --open-project FILE       open a project file in the workspace and its documents in Pravik.dll (repeatable)\n"
    "  --ui-script FILE          play FILE into the next modal form the plug-in shows (repeatable, in order)\n"
    "  --ui-transcript FILE      write the forms' transcripts to FILE instead of the journal\n"
    "  --choose PATH             answer the next common dialog of the host with PATH (repeatable)\n"
    "  --quiet                   no status line on the terminal\n"
    "  --gui                     show the plug-in's forms and message boxes in windows (Qt; needs a display)\n"
    "actions:\n"
    "  open PATH                 open PATH as the current view (.nsx files are served by EditSim)\n"
    "  open-as SERVER PATH       open PATH as the current view, served by SERVER\n"
    "  no-view                   leave no current view\n"
    "  launch COMMAND PARAMS     launch a command of the plug-in's server with a parameter text\n"
    "  state COMMAND PARAMS      ask a command's state\n"
    "  module-name               journal the server module's name\n"
    "  edit DESIGNATOR           open the Sim Editor on a component of the current schematic view\n"
    "  edit IMPLEMENTATION COMPONENT  open the Sim Editor on two schematic handles\n"
    "  separator                 journal the process-wide decimal separator\n"
    "  pump                      dispatch every message waiting in the host's queue\n"
    "  component DESIGNATOR      journal the handles of a component of the current schematic view\n"
    "  save FILE                 save a schematic document loaded into Pravik.dll to its file\n"
    "  show PATH                 have the viewer plot the waveform file PATH and say where the plots are\n"
    "  netlist PROJECT [OUT.nsx] write the project's netlist (default: the project's path with .nsx)\n";

struct TScriptedLaunch {
  std::uint64_t AtPump;
  std::string Command;
  std::string Parameters;
};

struct TAction {
  std::string Name;
  std::vector<std::string> Arguments;
};

struct TOptions {
  std::string JournalPath;
  std::deque<int> Answers;
  std::vector<TScriptedLaunch> Launches;
  std::vector<std::string> Projects;
  std::vector<std::string> WorkspaceFailures;
  std::string PluginPath;
  std::string VfsRoot;
  char DecimalSeparator = 0;
  std::string ViewerLogPath;
  std::vector<std::string> ModelFolders;
  bool Quiet = false;
  bool Gui = false;
  std::vector<std::string> Schematics;
  std::vector<std::string> OpenProjects;
  std::vector<std::string> UiScripts;
  std::string UiTranscriptPath;
  std::vector<std::string> Choices;
  std::vector<TAction> Actions;
};

// What a file on disk looked like, to tell whether a command rewrote it. The viewer replaces its
// files by renaming, so the inode changes even when the time stamp's resolution is coarse.
struct TFileStamp {
  bool Exists = false;
  dev_t Device = 0;
  ino_t Inode = 0;
  off_t Size = 0;
  time_t Seconds = 0;
  long Nanoseconds = 0;
  bool operator==(const TFileStamp&) const = default;
};

TFileStamp StampOf(const std::string& path) {
  struct stat st{};
  TFileStamp stamp;
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return stamp;
  stamp = {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
  return stamp;
}

struct THost {
  TOptions Options;
  TInterfacePtr<THostClient> Client;
  void* Plugin = nullptr;
  TInterfacePtr<IServerModule> Module;
  std::vector<std::pair<std::string, void*>> StandIns;
  // The schematic server's exports the host uses; each absent when Pravik.dll is missing or lacks it.
  TPravik_OpenDocument SchematicOpen = nullptr;
  TPravik_SaveDocument SchematicSave = nullptr;
  TPravik_FindComponent SchematicFindComponent = nullptr;
  TSchAPI_GetDocumentHandleFromFileName SchematicDocumentOf = nullptr;
  // The viewer's private exports; each absent when Ondulix.dll is missing or lacks it.
  TOndulix_OpenDocument ViewerOpenDocument = nullptr;
  TOndulix_GetPlotFiles ViewerGetPlotFiles = nullptr;
  TOndulix_PlotFile ViewerPlotFile = nullptr;
  // Each waveform file as it was when its document was last opened: a file first opened during
  // a command is compared with this, not with what it was when the command began.
  std::map<std::string, TFileStamp> StampsAtOpen;
  // Projects and their netlists, through the workspace, the schematic server and the library manager.
  std::unique_ptr<TNetlister> Netlister;
  // Where the forms' transcript lines go when not to the journal.
  std::FILE* UiTranscript = nullptr;
  // The window system of --gui (libtolvex_qt.so): it shows the plug-in's forms and the boxes nobody scripted.
  void* WindowSystem = nullptr;
  int (*WindowSystemMessageBox)(const TvxMessageBox* box) = nullptr;
  void (*WindowSystemStop)() = nullptr;
};

THost* TheHost = nullptr;

std::string ExecutableFolder() {
  char buffer[4096] = {};
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return ".";
  return PathFolder(std::string(buffer, static_cast<std::size_t>(n)));
}

int ParseAnswer(const std::string& text) {
  if (SameText(text, "OK")) return 1;
  if (SameText(text, "Cancel")) return 2;
  if (SameText(text, "Yes")) return 6;
  if (SameText(text, "No")) return 7;
  return -1;
}

const char* IconName(int icon) {
  switch (icon) {
    case 1: return "error";
    case 2: return "information";
    case 3: return "question";
    case 4: return "warning";
  }
  return "none";
}

const char* ButtonsName(int buttons) {
  switch (buttons) {
    case 1: return "OK,Cancel";
    case 2: return "Yes,No";
  }
  return "OK";
}

const char* ResultName(int result) {
  switch (result) {
    case 1: return "OK";
    case 2: return "Cancel";
    case 6: return "Yes";
    case 7: return "No";
  }
  return "None";
}

// Answers as a scripted user of the plug-in's own toolkit does: the next --answer, else the default.
int PresentMessageBox(void* context, const TvxMessageBox* box) {
  auto* host = static_cast<THost*>(context);
  ui::TMessageBoxContent content;
  content.Buttons = static_cast<ui::TMessageBoxButtons>(box->buttons);
  content.DefaultButton = static_cast<ui::TModalResult>(box->defaultResult);
  content.EscapeButton = static_cast<ui::TModalResult>(box->escapeResult);
  std::optional<ui::TModalResult> scripted;
  if (!host->Options.Answers.empty()) {
    scripted = static_cast<ui::TModalResult>(host->Options.Answers.front());
    host->Options.Answers.pop_front();
  }
  // With a screen, a box nobody scripted is answered by the person in front of it.
  const int answer = !scripted && host->WindowSystemMessageBox ? host->WindowSystemMessageBox(box)
                                                               : ui::ScriptedAnswer(content, scripted);
  Journal().Write("msgbox", {{"caption", box->caption ? box->caption : ""},
                             {"icon", IconName(box->icon)},
                             {"text", box->text ? box->text : ""},
                             {"buttons", ButtonsName(box->buttons)},
                             {"answer", ResultName(answer)}});
  return answer;
}

// The plots the viewer last wrote beside a waveform file, full paths.
std::vector<std::string> PlotFilesOf(const THost& host, const std::string& waveformPath) {
  std::vector<std::string> plots;
  if (!host.ViewerGetPlotFiles) return plots;
  const std::int32_t length = host.ViewerGetPlotFiles(waveformPath.c_str(), nullptr, 0);
  if (length <= 0) return plots;
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
  host.ViewerGetPlotFiles(waveformPath.c_str(), buffer.data(), static_cast<std::int32_t>(buffer.size()));
  std::string text(buffer.data());
  for (std::size_t start = 0; start <= text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    if (end > start) plots.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return plots;
}

// Says where a waveform file and its plots are: in the journal, and to the person at the
// terminal unless the journal itself goes to standard output.
void ReportWaveform(THost& host, const std::string& path, const std::vector<std::string>& plots) {
  std::string names, paths;
  for (const std::string& plot : plots) {
    names += (names.empty() ? "" : ",") + PathFileName(plot);
    paths += " " + plot;
  }
  Journal().Write("waveform", {{"path", path}, {"plots", names}});
  if (host.Options.JournalPath == "-") return;
  host.Client->BreakStatusLine();
  std::printf("waveforms: %s, plots:%s\n", path.c_str(), paths.empty() ? " none" : paths.c_str());
  std::fflush(stdout);
}

std::map<std::string, TFileStamp> StampWaveforms(const THost& host) {
  std::map<std::string, TFileStamp> stamps;
  for (const std::string& path : host.Client->WaveformFiles()) stamps[path] = StampOf(path);
  return stamps;
}

// After a command: every waveform file that exists and changed while it ran.
void ReportChangedWaveforms(THost& host, const std::map<std::string, TFileStamp>& before) {
  for (const std::string& path : host.Client->WaveformFiles()) {
    const TFileStamp now = StampOf(path);
    if (!now.Exists) continue;
    const auto earlier = before.find(path);
    const auto opened = host.StampsAtOpen.find(path);
    const TFileStamp* previous = earlier != before.end() ? &earlier->second
                                 : opened != host.StampsAtOpen.end() ? &opened->second
                                                                     : nullptr;
    if (previous && *previous == now) continue;
    ReportWaveform(host, path, PlotFilesOf(host, path));
  }
}

void WaveformDocumentOpened(THost& host, const std::string& path) {
  host.StampsAtOpen[path] = StampOf(path);
  if (host.ViewerOpenDocument) host.ViewerOpenDocument(path.c_str());
}

void ShowWaveformFile(THost& host, const std::string& file) {
  const std::optional<std::string> disk = DiskPath(file);
  const std::string path = disk.value_or(file);
  char error[1024] = {};
  const std::int32_t plotted =
      disk && host.ViewerPlotFile ? host.ViewerPlotFile(path.c_str(), error, sizeof error) : -1;
  if (!disk)
    std::snprintf(error, sizeof error, "the name leads out of the VFS root");
  else if (!host.ViewerPlotFile)
    std::snprintf(error, sizeof error, "the viewer cannot plot waveform files");
  if (plotted < 0) {
    Journal().Write("waveform", {{"path", path}, {"plots", ""}, {"error", error}});
    std::fprintf(stderr, "tolvex-host: %s: %s\n", path.c_str(), error);
    return;
  }
  ReportWaveform(host, path, PlotFilesOf(host, path));
}

void LaunchInModule(THost& host, const std::string& command, const std::string& parameters) {
  Journal().Write("launch", {{"command", command}, {"params", parameters}});
  if (!host.Module) return;
  ICommandLauncher* launcher = host.Module->GetCommandLauncher();
  if (!launcher) return;
  const std::map<std::string, TFileStamp> before = StampWaveforms(host);
  // The host passes its parameter buffer: a copy with room to spare, as a real host's is.
  std::vector<char> buffer(parameters.begin(), parameters.end());
  buffer.resize(std::max<std::size_t>(buffer.size() + 1, 1024), '\0');
  launcher->LaunchCommand(command.c_str(), buffer.data(), static_cast<std::int32_t>(buffer.size()),
                          host.Client->CurrentView());
  Journal().Write("launch-done", {{"command", command}});
  ReportChangedWaveforms(host, before);
}

void DispatchHostEvent(void* context, const TvxMessage* message) {
  auto* host = static_cast<THost*>(context);
  if (message->message != kHostCommandMessage) return;
  const auto index = static_cast<std::size_t>(message->lParam);
  if (index >= host->Options.Launches.size()) return;
  const TScriptedLaunch& launch = host->Options.Launches[index];
  Journal().Write("host-event", {{"pump", std::to_string(launch.AtPump)}, {"command", launch.Command}});
  LaunchInModule(*host, launch.Command, launch.Parameters);
}

void OnPeek(void* context, std::uint64_t count) {
  auto* host = static_cast<THost*>(context);
  for (std::size_t i = 0; i < host->Options.Launches.size(); ++i)
    if (host->Options.Launches[i].AtPump == count)
      TvxPostMessage(0, kHostCommandMessage, 0, static_cast<std::intptr_t>(i));
}

// A script longer than this is no hand-written script; it is refused rather than read without end.
constexpr off_t kMaxUiScriptSize = 16 * 1024 * 1024;

// Reads a --ui-script file whole. Only a regular file is read: opening a FIFO or a device must not
// wait for a writer or read without end.
bool ReadUiScript(const std::string& path, std::string& text, std::string& error) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  struct stat st{};
  bool ok = fstat(fd, &st) == 0;
  if (!ok)
    error = std::strerror(errno);
  else if (!S_ISREG(st.st_mode))
    error = "not a regular file", ok = false;
  else if (st.st_size > kMaxUiScriptSize)
    error = "larger than 16 MiB", ok = false;
  char buffer[65536];
  while (ok) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = std::strerror(errno);
      ok = false;
    } else if (n == 0) {
      break;
    } else if (text.size() + static_cast<std::size_t>(n) > static_cast<std::size_t>(kMaxUiScriptSize)) {
      error = "larger than 16 MiB";  // it grew while being read
      ok = false;
    } else {
      text.append(buffer, static_cast<std::size_t>(n));
    }
  }
  close(fd);
  return ok;
}

// Every line of a form's transcript: a `ui` event, or a line of the --ui-transcript file.
void WriteUiTranscriptLine(void* context, const char* line, size_t length) {
  auto* host = static_cast<THost*>(context);
  if (host->UiTranscript) {
    std::fwrite(line, 1, length, host->UiTranscript);
    std::fputc('\n', host->UiTranscript);
    std::fflush(host->UiTranscript);  // like the journal: whole up to a crash
    return;
  }
  Journal().Write("ui", {{"line", std::string(line, length)}});
}

// Where the drawings of a form go: beside the --ui-transcript file, else beside the journal's file, else (a journal
// on standard output, or none) in the working folder; empty for a file named without a folder.
std::string DrawingFolder(const THost& host) {
  std::string beside = host.Options.UiTranscriptPath;
  if (beside.empty() && host.Options.JournalPath != "-") beside = host.Options.JournalPath;
  return PathFolder(beside);
}

// A drawing a form showed, under the name its transcript's `drawing` line gives: written and journaled.
void WriteUiDrawing(void* context, const char* name, const char* data, size_t length) {
  auto* host = static_cast<THost*>(context);
  const std::string file = name ? name : "";
  const std::string folder = DrawingFolder(*host);
  const std::string path = folder.empty() ? file : folder == "/" ? "/" + file : folder + "/" + file;
  std::string error;
  // The name comes from the plug-in: only a plain file name is written, never a place elsewhere.
  if (file.empty() || file.size() > 255 || file.find('/') != std::string::npos || file[0] == '.') {
    error = "not a plain file name";
  } else if (std::FILE* out = os::CreateFileAfresh(path, error)) {
    if (length > 0 && std::fwrite(data, 1, length, out) != length) error = std::strerror(errno);
    if (std::fclose(out) != 0 && error.empty()) error = std::strerror(errno);
  }
  Journal().Write("drawing", {{"path", path}, {"result", error.empty() ? "written" : "failed"}, {"error", error}});
  if (!error.empty()) std::fprintf(stderr, "tolvex-host: cannot write the drawing %s: %s\n", path.c_str(), error.c_str());
}

void OnWorkspaceEvent(void*, const char* operation, const char* project, const char* detail) {
  Journal().Write("workspace", {{"op", operation ? operation : ""},
                                {"project", project ? project : ""},
                                {"detail", detail ? detail : ""}});
}

// A schematic handle as the edit action takes it: a whole number, decimal or 0x hexadecimal.
bool IsHandle(const std::string& text) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  std::strtoll(text.c_str(), &end, 0);
  return errno == 0 && end && *end == '\0';
}

bool ParseCommandLine(int argc, char** argv, TOptions& options, std::string& error) {
  static const std::map<std::string, std::size_t> kActionArity = {
      {"open", 1}, {"open-as", 2}, {"no-view", 0}, {"launch", 2}, {"state", 2}, {"module-name", 0},
      {"edit", 1}, {"separator", 0}, {"pump", 0}, {"save", 1}, {"component", 1}, {"show", 1}, {"netlist", 1}};
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto need = [&](int count) -> bool {
      if (i + count >= argc) {
        error = arg + " needs " + std::to_string(count) + " argument(s)";
        return false;
      }
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      error.clear();
      return false;
    } else if (arg == "--journal") {
      if (!need(1)) return false;
      options.JournalPath = argv[++i];
    } else if (arg == "--answer") {
      if (!need(1)) return false;
      const int answer = ParseAnswer(argv[++i]);
      if (answer < 0) {
        error = std::string("unknown answer ") + argv[i];
        return false;
      }
      options.Answers.push_back(answer);
    } else if (arg == "--on-pump") {
      if (!need(3)) return false;
      char* end = nullptr;
      const unsigned long long at = std::strtoull(argv[i + 1], &end, 10);
      if (!end || *end || at == 0) {
        error = std::string("--on-pump needs a count from 1: ") + argv[i + 1];
        return false;
      }
      options.Launches.push_back({at, argv[i + 2], argv[i + 3]});
      i += 3;
    } else if (arg == "--project") {
      if (!need(1)) return false;
      options.Projects.push_back(argv[++i]);
    } else if (arg == "--workspace-fail") {
      if (!need(1)) return false;
      options.WorkspaceFailures.push_back(argv[++i]);
    } else if (arg == "--plugin") {
      if (!need(1)) return false;
      options.PluginPath = argv[++i];
    } else if (arg == "--vfs-root") {
      if (!need(1)) return false;
      options.VfsRoot = argv[++i];
    } else if (arg == "--decimal-separator") {
      if (!need(1)) return false;
      const std::string value = argv[++i];
      if (value.size() != 1) {
        error = "--decimal-separator takes one character";
        return false;
      }
      options.DecimalSeparator = value[0];
    } else if (arg == "--viewer-log") {
      if (!need(1)) return false;
      options.ViewerLogPath = argv[++i];
    } else if (arg == "--model-path") {
      if (!need(1)) return false;
      options.ModelFolders.push_back(argv[++i]);
    } else if (arg == "--schematic") {
      if (!need(1)) return false;
      options.Schematics.push_back(argv[++i]);
    } else if (arg == "--open-project") {
      if (!need(1)) return false;
      options.OpenProjects.push_back(argv[++i]);
    } else if (arg == "--ui-script") {
      if (!need(1)) return false;
      options.UiScripts.push_back(argv[++i]);
    } else if (arg == "--ui-transcript") {
      if (!need(1)) return false;
      options.UiTranscriptPath = argv[++i];
      if (options.UiTranscriptPath.empty()) {
        error = "--ui-transcript needs a file name";
        return false;
      }
    } else if (arg == "--choose") {
      if (!need(1)) return false;
      options.Choices.push_back(argv[++i]);
    } else if (arg == "--quiet") {
      options.Quiet = true;
    } else if (arg == "--gui") {
      options.Gui = true;
    } else if (auto it = kActionArity.find(arg); it != kActionArity.end()) {
      if (!need(static_cast<int>(it->second))) return false;
      TAction action{arg, {}};
      for (std::size_t k = 0; k < it->second; ++k) action.Arguments.push_back(argv[++i]);
      // A netlist's output file is optional; it is told by its extension.
      if (arg == "netlist" && i + 1 < argc && SameText(PathExtension(argv[i + 1]), ".nsx"))
        action.Arguments.push_back(argv[++i]);
      // Two handles, or one designator: a number followed by a number is the handle form.
      if (arg == "edit" && i + 1 < argc && IsHandle(action.Arguments[0]) && IsHandle(argv[i + 1]))
        action.Arguments.push_back(argv[++i]);
      options.Actions.push_back(std::move(action));
    } else {
      error = "unknown argument " + arg;
      return false;
    }
  }
  return true;
}

void* LoadStandIn(THost& host, const std::string& folder, const char* name) {
  const std::string path = folder + "/" + name;
  if (access(path.c_str(), F_OK) != 0) {
    Journal().Write("module", {{"name", name}, {"result", "missing"}});
    return nullptr;
  }
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  Journal().Write("module", {{"name", name}, {"result", module ? "loaded" : "failed"}});
  if (!module) std::fprintf(stderr, "tolvex-host: %s: %s\n", path.c_str(), dlerror());
  if (module) host.StandIns.emplace_back(name, module);
  return module;
}

void SetUpWorkspace(THost& host, void* fenwarden) {
  if (!fenwarden) return;
  if (auto observe = reinterpret_cast<TFenwarden_SetObserver>(dlsym(fenwarden, "Fenwarden_SetObserver")))
    observe(&OnWorkspaceEvent, nullptr);
  if (auto add = reinterpret_cast<TFenwarden_AddProject>(dlsym(fenwarden, "Fenwarden_AddProject")))
    for (const auto& project : host.Options.Projects) add(project.c_str());
  if (auto fail = reinterpret_cast<TFenwarden_SetFailure>(dlsym(fenwarden, "Fenwarden_SetFailure")))
    for (const auto& op : host.Options.WorkspaceFailures) fail(op.c_str());
}

void OnSchematicEvent(void*, const char* event, THandle handle, const char* detail) {
  const std::string what = event ? event : "", more = detail ? detail : "";
  const std::string h = std::to_string(handle);
  if (what == "redraw")
    Journal().Write("schematic-redraw", {{"handle", h}});
  else if (what == "import")
    Journal().Write("schematic-import", {{"handle", h}, {"result", more}});
  else if (what == "draw")
    Journal().Write("schematic-draw",
                    {{"component", h}, {"part", more.rfind("part=", 0) == 0 ? more.substr(5) : more}});
}

// Binds the schematic server and loads the --schematic files into it; false (after saying why) when one cannot be
// loaded, since every later action would then work on a document that is not there.
bool SetUpSchematics(THost& host, void* pravik) {
  if (pravik) {
    host.SchematicOpen = reinterpret_cast<TPravik_OpenDocument>(dlsym(pravik, "Pravik_OpenDocument"));
    host.SchematicSave = reinterpret_cast<TPravik_SaveDocument>(dlsym(pravik, "Pravik_SaveDocument"));
    host.SchematicFindComponent = reinterpret_cast<TPravik_FindComponent>(dlsym(pravik, "Pravik_FindComponent"));
    host.SchematicDocumentOf = reinterpret_cast<TSchAPI_GetDocumentHandleFromFileName>(
        dlsym(pravik, "SchAPI_GetDocumentHandleFromFileName"));
    if (auto observe = reinterpret_cast<TPravik_SetObserver>(dlsym(pravik, "Pravik_SetObserver")))
      observe(&OnSchematicEvent, nullptr);
  }
  for (const std::string& file : host.Options.Schematics) {
    char error[2048] = {};
    const THandle document = host.SchematicOpen ? host.SchematicOpen(file.c_str(), error, sizeof error) : 0;
    if (!host.SchematicOpen)
      std::snprintf(error, sizeof error, "cannot load %s: Pravik.dll is not loaded", file.c_str());
    if (!document) {
      Journal().Write("schematic-open", {{"path", file}, {"result", "failed"}, {"handle", "0"}, {"error", error}});
      std::fprintf(stderr, "tolvex-host: %s\n", error);
      return false;
    }
    Journal().Write("schematic-open",
                    {{"path", file}, {"result", "loaded"}, {"handle", std::to_string(document)}, {"error", ""}});
  }
  return true;
}

void SaveSchematic(THost& host, const std::string& file) {
  char error[2048] = {};
  const THandle document = host.SchematicDocumentOf ? host.SchematicDocumentOf(file.c_str()) : 0;
  bool saved = false;
  if (!document || !host.SchematicSave)
    std::snprintf(error, sizeof error, "cannot save %s: it is not loaded into Pravik.dll", file.c_str());
  else
    saved = host.SchematicSave(document, nullptr, error, sizeof error) != FALSE32;
  Journal().Write("schematic-save", {{"path", file}, {"result", saved ? "saved" : "failed"}, {"error", error}});
  if (!saved) std::fprintf(stderr, "tolvex-host: %s\n", error);
}

// Finds the component Designator (letter case ignored) of the current view's schematic document and its
// first implementation; false, with both 0 and the reason in Error, when there is no such view,
// document or component.
bool FindComponent(THost& host, const std::string& designator, THandle& component, THandle& implementation,
                   std::string& error) {
  component = implementation = 0;
  THostView* view = host.Client->CurrentView();
  if (!view) {
    error = "there is no current view";
    return false;
  }
  auto document = TInterfacePtr<IServerDocument>::Attach(view->GetOwnerDocument());
  const char* path = document ? document->GetFileName() : nullptr;
  const THandle schematic = path && host.SchematicDocumentOf ? host.SchematicDocumentOf(path) : 0;
  if (!schematic || !host.SchematicFindComponent) {
    error = std::string("the current view's document ") + (path ? path : "") + " is not loaded into Pravik.dll";
    return false;
  }
  host.SchematicFindComponent(schematic, designator.c_str(), &component, &implementation);
  if (!component) {
    error = "no component " + designator + " in " + path;
    return false;
  }
  return true;
}

// The handles of a component of the current view's schematic, for a later edit action (which takes the
// implementation first). Both 0 when there is no such view, document or component.
void JournalComponent(THost& host, const std::string& designator) {
  THandle component = 0, implementation = 0;
  std::string error;
  FindComponent(host, designator, component, implementation, error);
  Journal().Write("component", {{"designator", designator},
                                {"handle", std::to_string(component)},
                                {"implementation", std::to_string(implementation)}});
}

void JournalDocumentLoad(const std::string& path, THandle handle, const std::string& error) {
  Journal().Write("schematic-open", {{"path", path},
                                     {"result", handle ? "loaded" : "failed"},
                                     {"handle", std::to_string(handle)},
                                     {"error", error}});
}

bool OpenProjectFile(THost& host, const std::string& file, TOpenedProject& project, std::string& error) {
  const bool opened = host.Netlister->OpenProject(file, project, error, &JournalDocumentLoad);
  Journal().Write("project-open", {{"path", file},
                                   {"result", opened ? "opened" : "failed"},
                                   {"index", std::to_string(opened ? project.Index : -1)},
                                   {"error", opened ? std::string() : error}});
  return opened;
}

// The --open-project files, before the plug-in is loaded; false (after saying why) when one cannot be opened.
bool OpenProjectFiles(THost& host) {
  for (const std::string& file : host.Options.OpenProjects) {
    TOpenedProject project;
    std::string error;
    if (!OpenProjectFile(host, file, project, error)) {
      std::fprintf(stderr, "tolvex-host: %s\n", error.c_str());
      return false;
    }
  }
  return true;
}

// The netlist action; false when the netlist could not be written.
bool WriteProjectNetlist(THost& host, const std::string& projectFile, const std::string& out) {
  const std::string path = out.empty() ? ForceExtension(projectFile, "nsx") : out;
  std::size_t components = 0, messages = 0;
  std::string error;
  TOpenedProject project;
  bool written = OpenProjectFile(host, projectFile, project, error);
  if (written) {
    auto onMessage = [&host](const std::string& designator, const std::string& text) {
      Journal().Write("netlist-message", {{"designator", designator}, {"text", text}});
      host.Client->BreakStatusLine();
      std::fprintf(stderr, "tolvex-host: netlist: %s: %s\n", designator.empty() ? "-" : designator.c_str(),
                   text.c_str());
    };
    written = host.Netlister->WriteNetlist(project, path, onMessage, components, messages, error);
  }
  Journal().Write("netlist", {{"project", projectFile},
                              {"path", path},
                              {"result", written ? "written" : "failed"},
                              {"components", std::to_string(components)},
                              {"messages", std::to_string(messages)},
                              {"error", error}});
  host.Client->BreakStatusLine();
  if (!written) {
    std::fprintf(stderr, "tolvex-host: netlist: %s\n", error.c_str());
  } else if (host.Options.JournalPath != "-") {
    std::printf("netlist: %s, %zu components, %zu messages\n", path.c_str(), components, messages);
    std::fflush(stdout);
  }
  return written;
}

// The edit action: ISimEditor.EditImplementation on two handles, or on a component found by its designator.
void EditComponent(THost& host, const std::vector<std::string>& a) {
  const bool byDesignator = a.size() == 1;
  THandle implementation = 0, component = 0;
  std::string error;
  HRESULT32 status = E_FAIL32;
  std::uint8_t accepted = 0;
  bool found = true;
  if (byDesignator) {
    found = FindComponent(host, a[0], component, implementation, error);
  } else {
    implementation = std::strtoll(a[0].c_str(), nullptr, 0);
    component = std::strtoll(a[1].c_str(), nullptr, 0);
  }
  void* editor = nullptr;
  if (found) {
    status = E_NOINTERFACE32;
    if (host.Module && host.Module->QueryInterface(IID_ISimEditor, &editor) == S_OK32 && editor) {
      auto sim = TInterfacePtr<ISimEditor>::Attach(static_cast<ISimEditor*>(editor));
      status = sim->EditImplementation(implementation, component, FALSE32, &accepted);
    }
  } else {
    host.Client->BreakStatusLine();
    std::fprintf(stderr, "tolvex-host: edit %s: %s\n", a[0].c_str(), error.c_str());
  }
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(status));
  Journal().Write("edit", {{"status", hex},
                           {"accepted", std::to_string(accepted)},
                           {"designator", byDesignator ? a[0] : std::string()},
                           {"implementation", std::to_string(implementation)},
                           {"component", std::to_string(component)},
                           {"error", error}});
}

// Runs one action; false when it failed so that the actions after it would work on what is not there.
bool RunAction(THost& host, const TAction& action) {
  const auto& a = action.Arguments;
  if (action.Name == "open") {
    host.Client->OpenAsCurrentView(a[0], "");
  } else if (action.Name == "open-as") {
    host.Client->OpenAsCurrentView(a[1], a[0]);
  } else if (action.Name == "no-view") {
    host.Client->ClearCurrentView();
    Journal().Write("view", {{"path", ""}, {"server", ""}});
  } else if (action.Name == "launch") {
    LaunchInModule(host, a[0], a[1]);
  } else if (action.Name == "state") {
    TBool32 enabled = 0, checked = 0, visible = 0;
    std::uint8_t extra1 = 0, extra2 = 0;
    if (ICommandLauncher* launcher = host.Module ? host.Module->GetCommandLauncher() : nullptr)
      launcher->GetCommandState(a[0].c_str(), a[1].c_str(), host.Client->CurrentView(), &enabled, &checked,
                                &visible, &extra1, &extra2);
    Journal().Write("state", {{"command", a[0]},
                              {"enabled", std::to_string(enabled)},
                              {"checked", std::to_string(checked)},
                              {"visible", std::to_string(visible)},
                              {"extra1", std::to_string(extra1)},
                              {"extra2", std::to_string(extra2)}});
  } else if (action.Name == "module-name") {
    const char* name = host.Module ? host.Module->GetModuleName() : nullptr;
    Journal().Write("module-name", {{"name", name ? name : ""}});
  } else if (action.Name == "edit") {
    EditComponent(host, a);
  } else if (action.Name == "separator") {
    Journal().Write("separator", {{"value", std::string(1, TvxGetDecimalSeparator())}});
  } else if (action.Name == "save") {
    SaveSchematic(host, a[0]);
  } else if (action.Name == "component") {
    JournalComponent(host, a[0]);
  } else if (action.Name == "pump") {
    TvxMessage message{};
    while (TvxPeekMessage(&message, 1)) TvxDispatchMessage(&message);
  } else if (action.Name == "show") {
    ShowWaveformFile(host, a[0]);
  } else if (action.Name == "netlist") {
    return WriteProjectNetlist(host, a[0], a.size() > 1 ? a[1] : std::string());
  }
  return true;
}

}  // namespace

// Loads the Qt window system beside the host and starts it with the host's main window, as a real
// host's display is there before any plug-in. False (after saying why) when it cannot be opened.
static bool StartWindowSystem(THost& host) {
  const std::string path = ExecutableFolder() + "/libtolvex_qt.so";
  std::string reason;
  host.WindowSystem = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!host.WindowSystem) {
    reason = dlerror();
  } else {
    using TStart = int (*)(std::intptr_t mainWindow, const char* title, char* error, int errorSize);
    auto start = reinterpret_cast<TStart>(dlsym(host.WindowSystem, "TolvexQt_Start"));
    host.WindowSystemMessageBox =
        reinterpret_cast<int (*)(const TvxMessageBox*)>(dlsym(host.WindowSystem, "TolvexQt_MessageBox"));
    host.WindowSystemStop = reinterpret_cast<void (*)()>(dlsym(host.WindowSystem, "TolvexQt_Stop"));
    char error[512] = {};
    if (!start || !host.WindowSystemMessageBox || !host.WindowSystemStop) {
      reason = path + " lacks its exports";
    } else if (start(host.Client->GetMainWindowHandle(), "tolvex-host", error, sizeof error) != 0) {
      reason = error[0] ? error : "the window system did not start";
    }
  }
  if (!reason.empty()) {
    host.WindowSystemMessageBox = nullptr;
    host.WindowSystemStop = nullptr;
    Journal().Write("gui", {{"result", "failed"}, {"error", reason}});
    std::fprintf(stderr, "tolvex-host: --gui: %s\n", reason.c_str());
    return false;
  }
  Journal().Write("gui", {{"result", "started"}, {"error", ""}});
  return true;
}

int main(int argc, char** argv) {
  THost host;
  std::string error;
  if (!ParseCommandLine(argc, argv, host.Options, error)) {
    if (!error.empty()) std::fprintf(stderr, "tolvex-host: %s\n", error.c_str());
    std::fputs(kUsage, error.empty() ? stdout : stderr);
    return error.empty() ? 0 : 2;
  }
  if (!Journal().Open(host.Options.JournalPath)) {
    std::fprintf(stderr, "tolvex-host: cannot write the journal %s\n", host.Options.JournalPath.c_str());
    return 2;
  }
  TheHost = &host;
  // The scripts are read before anything is loaded: a run with one missing would test something else.
  std::vector<std::pair<std::string, std::string>> uiScripts;
  for (const std::string& file : host.Options.UiScripts) {
    std::string text, reason;
    if (!ReadUiScript(file, text, reason)) {
      Journal().Write("ui-script", {{"path", file}, {"result", "failed"}, {"error", reason}});
      std::fprintf(stderr, "tolvex-host: cannot read the UI script %s: %s\n", file.c_str(), reason.c_str());
      return 2;
    }
    uiScripts.emplace_back(file, std::move(text));
  }
  if (!host.Options.UiTranscriptPath.empty()) {
    std::string reason;
    host.UiTranscript = os::CreateFileAfresh(host.Options.UiTranscriptPath, reason);
    if (!host.UiTranscript) {
      std::fprintf(stderr, "tolvex-host: cannot write the UI transcript %s: %s\n",
                   host.Options.UiTranscriptPath.c_str(), reason.c_str());
      return 2;
    }
  }
  if (!host.Options.VfsRoot.empty()) SetVfsRoot(host.Options.VfsRoot);
  if (host.Options.DecimalSeparator) TvxSetDecimalSeparator(host.Options.DecimalSeparator);

  host.Client = TInterfacePtr<THostClient>::Share(new THostClient());
  State().Client = host.Client.Get();
  if (!host.Options.Quiet && isatty(STDERR_FILENO) && host.Options.JournalPath != "-")
    host.Client->SetStatusDisplay(std::make_unique<TTerminalStatusLine>());
  if (host.Options.Gui && !StartWindowSystem(host)) return 2;
  TvxSetMessageBoxPresenter(&PresentMessageBox, &host);
  TvxSetThreadDispatcher(&DispatchHostEvent, &host);
  TvxSetPeekHook(&OnPeek, &host);
  TvxSetFormTranscriptSink(&WriteUiTranscriptLine, &host);
  TvxSetFormDrawingSink(&WriteUiDrawing, &host);
  for (const std::string& path : host.Options.Choices) host.Client->ProcessLauncher().QueueChoice(path);

  // The host's own modules come first, as in a real installation; the plug-in finds them loaded.
  const std::string folder = ExecutableFolder();
  void* fenwarden = LoadStandIn(host, folder, "Fenwarden.dll");
  SetUpWorkspace(host, fenwarden);
  void* pravik = LoadStandIn(host, folder, "Pravik.dll");
  if (!SetUpSchematics(host, pravik)) return 2;
  void* quillfold = LoadStandIn(host, folder, "Quillfold.dll");
  if (quillfold && !host.Options.ModelFolders.empty()) {
    using TAddModelFolder = void(TOLVEX_STDCALL*)(const char*);
    if (auto add = reinterpret_cast<TAddModelFolder>(dlsym(quillfold, "Quillfold_AddModelFolder")))
      for (const auto& modelFolder : host.Options.ModelFolders) add(modelFolder.c_str());
    else
      std::fprintf(stderr, "tolvex-host: Quillfold.dll has no Quillfold_AddModelFolder; --model-path ignored\n");
  }
  void* ondulix = LoadStandIn(host, folder, "Ondulix.dll");
  if (ondulix) {
    host.ViewerOpenDocument = reinterpret_cast<TOndulix_OpenDocument>(dlsym(ondulix, "Ondulix_OpenDocument"));
    host.ViewerGetPlotFiles = reinterpret_cast<TOndulix_GetPlotFiles>(dlsym(ondulix, "Ondulix_GetPlotFiles"));
    host.ViewerPlotFile = reinterpret_cast<TOndulix_PlotFile>(dlsym(ondulix, "Ondulix_PlotFile"));
  }
  host.Client->SetWaveformOpenedHandler([&host](const std::string& path) { WaveformDocumentOpened(host, path); });

  // The netlister uses the plug-in's own core, linked into the host: its host binding finds the host's exports in
  // the executable, and its schematic-server binding finds Pravik.dll among the loaded modules.
  BindHostExports();
  SchServer().Bind();
  TNetlisterExports netlisterExports;
  if (fenwarden) {
    netlisterExports.OpenProject = reinterpret_cast<TFenwarden_OpenProject>(dlsym(fenwarden, "Fenwarden_OpenProject"));
    netlisterExports.SetFocusedProject =
        reinterpret_cast<TFenwarden_SetFocusedProject>(dlsym(fenwarden, "Fenwarden_SetFocusedProject"));
    netlisterExports.GetProjectText =
        reinterpret_cast<TFenwarden_GetProjectText>(dlsym(fenwarden, "Fenwarden_GetProjectText"));
    netlisterExports.GetWorkspace = reinterpret_cast<TGetWorkspaceFunc>(dlsym(fenwarden, "GetWorkspace"));
  }
  netlisterExports.OpenDocument = host.SchematicOpen;
  if (pravik)
    netlisterExports.GetImplementation =
        reinterpret_cast<TPravik_GetImplementation>(dlsym(pravik, "Pravik_GetImplementation"));
  if (quillfold)
    netlisterExports.AddModelFolder =
        reinterpret_cast<TNetlisterExports::TAddModelFolder>(dlsym(quillfold, "Quillfold_AddModelFolder"));
  host.Netlister = std::make_unique<TNetlister>(netlisterExports);
  if (!OpenProjectFiles(host)) return 2;
  if (ondulix && !host.Options.ViewerLogPath.empty()) {
    if (auto setLog = reinterpret_cast<TOndulix_SetLog>(dlsym(ondulix, "Ondulix_SetLog")))
      setLog(host.Options.ViewerLogPath.c_str());
    else
      std::fprintf(stderr, "tolvex-host: Ondulix.dll has no Ondulix_SetLog; --viewer-log ignored\n");
  }

  const std::string pluginPath = host.Options.PluginPath.empty() ? folder + "/Tolvex.dll" : host.Options.PluginPath;
  host.Plugin = dlopen(pluginPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!host.Plugin) {
    std::fprintf(stderr, "tolvex-host: cannot load %s: %s\n", pluginPath.c_str(), dlerror());
    Journal().Write("plugin", {{"path", pluginPath}, {"result", "failed"}});
    return 2;
  }
  auto factory = reinterpret_cast<TServerFactoryFunc>(dlsym(host.Plugin, "ServerFactory"));
  if (!factory) {
    std::fprintf(stderr, "tolvex-host: %s has no ServerFactory\n", pluginPath.c_str());
    Journal().Write("plugin", {{"path", pluginPath}, {"result", "no-factory"}});
    dlclose(host.Plugin);
    return 2;
  }
  IServerModule* module = nullptr;
  factory(&module, host.Client.Get());
  host.Module = TInterfacePtr<IServerModule>::Attach(module);
  Journal().Write("plugin", {{"path", pluginPath}, {"result", module ? "loaded" : "no-module"}});

  TvxClearFormScripts();
  for (const auto& [file, text] : uiScripts) {
    TvxQueueFormScript(file.c_str(), text.data(), text.size());
    Journal().Write("ui-script", {{"path", file}, {"result", "queued"}, {"error", ""}});
  }

  int exitCode = 0;
  for (const TAction& action : host.Options.Actions)
    if (!RunAction(host, action)) {
      exitCode = 1;
      break;
    }

  host.Client->SetStatusDisplay(nullptr);
  // A script that no form took would otherwise pass unnoticed.
  while (TvxTakeFormScript(
      [](void*, const char* name, const char*, size_t) {
        Journal().Write("ui-script", {{"path", name}, {"result", "unplayed"}, {"error", "no form took it"}});
        std::fprintf(stderr, "tolvex-host: the UI script %s was not played: no form took it\n", name);
      },
      nullptr)) {
  }
  // The module goes before the library that holds its code, and the plug-in before the host's modules.
  host.Module.Reset();
  TvxSetPeekHook(nullptr, nullptr);
  dlclose(host.Plugin);
  // The window system is stopped, not unloaded: Qt's libraries stay until the process ends.
  if (host.WindowSystemStop) host.WindowSystemStop();
  host.WindowSystemMessageBox = nullptr;
  host.Client->CloseAll();
  State().Client = nullptr;
  // The viewer's code goes with its library.
  host.Client->SetWaveformOpenedHandler(nullptr);
  host.ViewerOpenDocument = nullptr;
  host.ViewerGetPlotFiles = nullptr;
  host.ViewerPlotFile = nullptr;
  // The host's own bindings point into its modules; they go before the modules do.
  host.Netlister.reset();
  SchServer().Clear();
  ClearHostExports();
  for (auto it = host.StandIns.rbegin(); it != host.StandIns.rend(); ++it) dlclose(it->second);
  TvxSetFormTranscriptSink(nullptr, nullptr);
  TvxSetFormDrawingSink(nullptr, nullptr);
  if (host.UiTranscript) std::fclose(host.UiTranscript);
  Journal().Write("exit", {});
  return exitCode;
}
