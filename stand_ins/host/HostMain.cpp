// tolvex-host: a stand-in for the design host. It loads the stand-in modules and
// Tolvex.dll the way a real host does, runs the actions of its command line
// against the plug-in and journals everything the plug-in does to it.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "HostClient.h"
#include "HostPaths.h"
#include "HostState.h"
#include "Journal.h"
#include "StatusLine.h"
#include "host/HostInterfaces.h"
#include "host/InterfacePtr.h"
#include "host/TextUtils.h"
#include "os/posix/user/TolvexUser.h"
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
    "  --quiet                   no status line on the terminal\n"
    "actions:\n"
    "  open PATH                 open PATH as the current view (.nsx files are served by EditSim)\n"
    "  open-as SERVER PATH       open PATH as the current view, served by SERVER\n"
    "  no-view                   leave no current view\n"
    "  launch COMMAND PARAMS     launch a command of the plug-in's server with a parameter text\n"
    "  state COMMAND PARAMS      ask a command's state\n"
    "  module-name               journal the server module's name\n"
    "  edit IMPLEMENTATION COMPONENT  open the Sim Editor on two schematic handles\n"
    "  separator                 journal the process-wide decimal separator\n"
    "  pump                      dispatch every message waiting in the host's queue\n";

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
  bool Quiet = false;
  std::vector<TAction> Actions;
};

struct THost {
  TOptions Options;
  TInterfacePtr<THostClient> Client;
  void* Plugin = nullptr;
  TInterfacePtr<IServerModule> Module;
  std::vector<std::pair<std::string, void*>> StandIns;
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

bool IsButtonOf(int buttons, int result) {
  switch (buttons) {
    case 1: return result == 1 || result == 2;
    case 2: return result == 6 || result == 7;
  }
  return result == 1;
}

int PresentMessageBox(void* context, const TvxMessageBox* box) {
  auto* host = static_cast<THost*>(context);
  int answer = box->defaultResult;
  if (!host->Options.Answers.empty()) {
    answer = host->Options.Answers.front();
    host->Options.Answers.pop_front();
    // An answer that is none of the box's buttons is what pressing Escape gives.
    if (!IsButtonOf(box->buttons, answer)) answer = box->escapeResult;
  }
  Journal().Write("msgbox", {{"caption", box->caption ? box->caption : ""},
                             {"icon", IconName(box->icon)},
                             {"text", box->text ? box->text : ""},
                             {"buttons", ButtonsName(box->buttons)},
                             {"answer", ResultName(answer)}});
  return answer;
}

void LaunchInModule(THost& host, const std::string& command, const std::string& parameters) {
  Journal().Write("launch", {{"command", command}, {"params", parameters}});
  if (!host.Module) return;
  ICommandLauncher* launcher = host.Module->GetCommandLauncher();
  if (!launcher) return;
  // The host passes its parameter buffer: a copy with room to spare, as a real host's is.
  std::vector<char> buffer(parameters.begin(), parameters.end());
  buffer.resize(std::max<std::size_t>(buffer.size() + 1, 1024), '\0');
  launcher->LaunchCommand(command.c_str(), buffer.data(), static_cast<std::int32_t>(buffer.size()),
                          host.Client->CurrentView());
  Journal().Write("launch-done", {{"command", command}});
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

void OnWorkspaceEvent(void*, const char* operation, const char* project, const char* detail) {
  Journal().Write("workspace", {{"op", operation ? operation : ""},
                                {"project", project ? project : ""},
                                {"detail", detail ? detail : ""}});
}

bool ParseCommandLine(int argc, char** argv, TOptions& options, std::string& error) {
  static const std::map<std::string, std::size_t> kActionArity = {
      {"open", 1}, {"open-as", 2}, {"no-view", 0}, {"launch", 2}, {"state", 2}, {"module-name", 0},
      {"edit", 2}, {"separator", 0}, {"pump", 0}};
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
    } else if (arg == "--quiet") {
      options.Quiet = true;
    } else if (auto it = kActionArity.find(arg); it != kActionArity.end()) {
      if (!need(static_cast<int>(it->second))) return false;
      TAction action{arg, {}};
      for (std::size_t k = 0; k < it->second; ++k) action.Arguments.push_back(argv[++i]);
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

void RunAction(THost& host, const TAction& action) {
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
    void* editor = nullptr;
    HRESULT32 status = E_NOINTERFACE32;
    std::uint8_t accepted = 0;
    if (host.Module && host.Module->QueryInterface(IID_ISimEditor, &editor) == S_OK32 && editor) {
      auto sim = TInterfacePtr<ISimEditor>::Attach(static_cast<ISimEditor*>(editor));
      status = sim->EditImplementation(std::strtoll(a[0].c_str(), nullptr, 0), std::strtoll(a[1].c_str(), nullptr, 0),
                                       FALSE32, &accepted);
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(status));
    Journal().Write("edit", {{"status", hex}, {"accepted", std::to_string(accepted)}});
  } else if (action.Name == "separator") {
    Journal().Write("separator", {{"value", std::string(1, TvxGetDecimalSeparator())}});
  } else if (action.Name == "pump") {
    TvxMessage message{};
    while (TvxPeekMessage(&message, 1)) TvxDispatchMessage(&message);
  }
}

}  // namespace

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
  if (!host.Options.VfsRoot.empty()) SetVfsRoot(host.Options.VfsRoot);
  if (host.Options.DecimalSeparator) TvxSetDecimalSeparator(host.Options.DecimalSeparator);

  host.Client = TInterfacePtr<THostClient>::Share(new THostClient());
  State().Client = host.Client.Get();
  if (!host.Options.Quiet && isatty(STDERR_FILENO) && host.Options.JournalPath != "-")
    host.Client->SetStatusDisplay(std::make_unique<TTerminalStatusLine>());
  TvxSetMessageBoxPresenter(&PresentMessageBox, &host);
  TvxSetThreadDispatcher(&DispatchHostEvent, &host);
  TvxSetPeekHook(&OnPeek, &host);

  // The host's own modules come first, as in a real installation; the plug-in finds them loaded.
  const std::string folder = ExecutableFolder();
  void* fenwarden = LoadStandIn(host, folder, "Fenwarden.dll");
  SetUpWorkspace(host, fenwarden);
  LoadStandIn(host, folder, "Pravik.dll");
  LoadStandIn(host, folder, "Quillfold.dll");
  void* ondulix = LoadStandIn(host, folder, "Ondulix.dll");
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

  for (const TAction& action : host.Options.Actions) RunAction(host, action);

  host.Client->SetStatusDisplay(nullptr);
  // The module goes before the library that holds its code, and the plug-in before the host's modules.
  host.Module.Reset();
  TvxSetPeekHook(nullptr, nullptr);
  dlclose(host.Plugin);
  host.Client->CloseAll();
  State().Client = nullptr;
  for (auto it = host.StandIns.rbegin(); it != host.StandIns.rend(); ++it) dlclose(it->second);
  Journal().Write("exit", {});
  return 0;
}
