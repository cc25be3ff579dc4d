// Loading, initialising and calling ngspice's shared library.
#include "NgspiceLibrary.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <locale.h>
#include <ngspice/sharedspice.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace tolvex::ngspice {

namespace {

constexpr const char* kLibraryName = "libngspice.so.0";

using TInit = decltype(&ngSpice_Init);
using TCommand = decltype(&ngSpice_Command);
using TCirc = decltype(&ngSpice_Circ);

locale_t CLocale() {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return c;
}

// ngspice sets its own SIGINT handler while it starts and while it runs a command; the host's
// is put back afterwards, so that an interrupt means to the host what it meant before.
class TInterruptHandlerScope {
 public:
  TInterruptHandlerScope() : FSaved(sigaction(SIGINT, nullptr, &FHandler) == 0) {}
  ~TInterruptHandlerScope() {
    if (FSaved) sigaction(SIGINT, &FHandler, nullptr);
  }
  TInterruptHandlerScope(const TInterruptHandlerScope&) = delete;
  TInterruptHandlerScope& operator=(const TInterruptHandlerScope&) = delete;

 private:
  struct sigaction FHandler {};
  bool FSaved;
};

// ngspice reads a ".spiceinit" when it starts: the one in the working folder, or else the one in
// the home folder of the user's account (from the password database, so $HOME does not matter).
// Whatever a user keeps there (options, a different solver, code models) would change our runs
// behind the user's back. Starting ngspice in a folder of ours that holds an empty .spiceinit
// keeps every other one unread; the working folder is the host's again right after.
class TStartupFolder {
 public:
  TStartupFolder() {
    std::error_code error;
    std::string pattern = (std::filesystem::temp_directory_path(error) / "tolvex-ngspice-XXXXXX").string();
    if (error) pattern = "/tmp/tolvex-ngspice-XXXXXX";
    if (!mkdtemp(pattern.data())) return;
    FFolder = pattern;
    if (std::FILE* file = std::fopen((FFolder + "/.spiceinit").c_str(), "wb")) {
      std::fputs("* Tolvex: no start-up commands\n", file);
      std::fclose(file);
    }
    FPrevious = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (FPrevious >= 0 && chdir(FFolder.c_str()) != 0) {
      close(FPrevious);
      FPrevious = -1;
    }
  }
  ~TStartupFolder() {
    if (FPrevious >= 0) {
      if (fchdir(FPrevious) != 0) {
        // The host's folder is gone; nothing better can be done than to stay where we are.
      }
      close(FPrevious);
    }
    if (!FFolder.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(FFolder, ignored);
    }
  }
  TStartupFolder(const TStartupFolder&) = delete;
  TStartupFolder& operator=(const TStartupFolder&) = delete;

 private:
  std::string FFolder;
  int FPrevious = -1;
};

TRelayQueue& QueueOf(void* user) { return *static_cast<TRelayQueue*>(user); }

int SendCharCallback(char* text, int, void* user) {
  UseCLocaleOnThisThread();
  QueueOf(user).OnText(text);
  return 0;
}

int SendStatCallback(char* text, int, void* user) {
  UseCLocaleOnThisThread();
  QueueOf(user).OnStatus(text);
  return 0;
}

int ControlledExitCallback(int status, NG_BOOL, NG_BOOL, int, void* user) {
  QueueOf(user).OnControlledExit(status);
  return 0;
}

int SendDataCallback(pvecvaluesall values, int count, int, void* user) {
  QueueOf(user).OnData(values, count);
  return 0;
}

int SendInitDataCallback(pvecinfoall info, int, void* user) {
  UseCLocaleOnThisThread();
  QueueOf(user).OnInitData(info);
  return 0;
}

// ngspice passes whether its thread has exited (false when it starts, true when it ends),
// although its header calls the flag "running".
int BackgroundThreadCallback(NG_BOOL exited, int, void* user) {
  UseCLocaleOnThisThread();
  QueueOf(user).OnThreadRunning(exited);
  return 0;
}

// Once ngspice knows our callbacks, this module must stay loaded: ngspice does not wait for its
// thread after the callback that says the thread has ended, so the thread may still be returning
// through our code when the host unloads the engine (it does so at exit). Held by the system's
// loader, the module is never unmapped and ngspice's thread can finish at any time.
void PinThisModule() {
  static bool pinned = false;
  if (pinned) return;
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&SendCharCallback), &info) && info.dli_fname)
    pinned = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE) != nullptr;
}

}  // namespace

TCLocaleScope::TCLocaleScope() : FPrevious(CLocale() ? uselocale(CLocale()) : nullptr) {}

TCLocaleScope::~TCLocaleScope() {
  if (FPrevious) uselocale(static_cast<locale_t>(FPrevious));
}

void UseCLocaleOnThisThread() {
  const locale_t c = CLocale();
  if (c && uselocale(static_cast<locale_t>(nullptr)) != c) uselocale(c);
}

TNgspiceLibrary& TNgspiceLibrary::Instance() {
  // Never destroyed: ngspice's thread may still be on its way out through a callback when the
  // process ends, and must find the queue where it was.
  static TNgspiceLibrary* const library = new TNgspiceLibrary;
  return *library;
}

bool TNgspiceLibrary::EnsureReady(std::string& error) {
  if (FReady && !FNeedsReload) return true;
  if (FNeedsReload) {
    Unload();
    FNeedsReload = false;
    // ngspice keeps its state in the library's own data, so a fresh start needs a fresh load.
    if (void* still = dlopen(kLibraryName, RTLD_NOW | RTLD_NOLOAD)) {
      dlclose(still);
      error = std::string(kLibraryName) + " stays loaded after it asked to exit, so ngspice cannot start again in "
                                          "this process; restart the host";
      return false;
    }
  }
  return Load(error) && Initialise(error);
}

bool TNgspiceLibrary::Load(std::string& error) {
  if (FHandle) return true;
  PinThisModule();
  dlerror();
  FHandle = dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
  if (!FHandle) {
    const char* reason = dlerror();
    error = std::string("cannot load ") + kLibraryName + (reason ? std::string(": ") + reason : std::string());
    return false;
  }
  FInit = dlsym(FHandle, "ngSpice_Init");
  FCommand = dlsym(FHandle, "ngSpice_Command");
  FCirc = dlsym(FHandle, "ngSpice_Circ");
  if (!FInit || !FCommand || !FCirc) {
    error = std::string(kLibraryName) + " lacks ngSpice_Init, ngSpice_Command or ngSpice_Circ";
    Unload();
    return false;
  }
  return true;
}

bool TNgspiceLibrary::Initialise(std::string& error) {
  FQueue.SetCapture(false);  // the start-up banner is nobody's output
  int result = 0;
  {
    TStartupFolder folder;
    TInterruptHandlerScope interrupt;
    TCLocaleScope locale;
    result = reinterpret_cast<TInit>(FInit)(SendCharCallback, SendStatCallback, ControlledExitCallback,
                                            SendDataCallback, SendInitDataCallback, BackgroundThreadCallback,
                                            &FQueue);
  }
  if (result != 0) {
    error = "ngSpice_Init failed with " + std::to_string(result);
    Unload();
    return false;
  }
  FReady = true;
  // Without this ngspice looks at the process's CPU clock after every point, to print a progress
  // line nobody reads here; that system call costs more than a third of a long transient.
  Command("set norefvalue");
  return true;
}

void TNgspiceLibrary::Unload() {
  if (!FHandle) return;
  if (FReady) {
    // "quit" frees what ngspice holds; "noask" keeps it from asking on standard input.
    FQueue.SetCapture(false);
    Command("quit noask");
  }
  dlclose(FHandle);
  FHandle = nullptr;
  FInit = FCommand = FCirc = nullptr;
  FReady = false;
  FQueue.Reset();
}

int TNgspiceLibrary::Command(const char* command) {
  if (!FCommand || !command) return 1;
  std::string text(command);  // ngspice's prototype wants a writable text
  TInterruptHandlerScope interrupt;
  TCLocaleScope locale;
  return reinterpret_cast<TCommand>(FCommand)(text.data());
}

int TNgspiceLibrary::Circuit(const std::vector<std::string>& lines) {
  if (!FCirc) return 1;
  // ngspice copies every line; the array only has to live through the call.
  std::vector<std::string> copies(lines);
  std::vector<char*> pointers;
  pointers.reserve(copies.size() + 1);
  for (std::string& line : copies) pointers.push_back(line.data());
  pointers.push_back(nullptr);
  TInterruptHandlerScope interrupt;
  TCLocaleScope locale;
  return reinterpret_cast<TCirc>(FCirc)(pointers.data());
}

}  // namespace tolvex::ngspice
