// Linux implementation of the operating-system services: dlopen, the shared
// window-system facility, XDG folders and a small INI reader.
#include "os/Os.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>

#include "os/posix/user/TolvexUser.h"

namespace tolvex::os {

namespace {

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

std::string_view FileNamePart(std::string_view path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
  return s.substr(b, e - b);
}

}  // namespace

TModuleHandle LoadModule(const std::string& path) {
  if (path.empty()) return nullptr;
  // RTLD_GLOBAL is deliberately not used: modules find each other by name, not by symbol.
  return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void ReleaseModule(TModuleHandle module) {
  if (module) dlclose(module);
}

TModuleHandle FindLoadedModule(std::string_view fileName) {
  struct TSearch {
    std::string_view Wanted;
    std::string Found;
  } search{fileName, {}};
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) -> int {
        auto* s = static_cast<TSearch*>(data);
        if (info->dlpi_name && info->dlpi_name[0] && SameTextAscii(FileNamePart(info->dlpi_name), s->Wanted)) {
          s->Found = info->dlpi_name;
          return 1;
        }
        return 0;
      },
      &search);
  if (search.Found.empty()) return nullptr;
  // RTLD_NOLOAD hands out the loaded module without loading anything; the
  // reference it takes is given back at once so that the caller holds none.
  void* handle = dlopen(search.Found.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle) dlclose(handle);
  return handle;
}

void* FindExport(TModuleHandle module, const char* name) {
  if (!module || !name) return nullptr;
  return dlsym(module, name);
}

void* FindExecutableExport(const char* name) {
  if (!name) return nullptr;
  static void* self = dlopen(nullptr, RTLD_NOW);
  return self ? dlsym(self, name) : nullptr;
}

std::string ModulePathOf(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || !info.dli_fname) return {};
  std::string path = info.dli_fname;
  if (!path.empty() && path[0] != '/') {
    if (char* real = realpath(path.c_str(), nullptr)) {
      path = real;
      std::free(real);
    }
  }
  return path;
}

std::intptr_t ModuleInstanceOf(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0) return 0;
  return reinterpret_cast<std::intptr_t>(info.dli_fbase);
}

char PathSeparator() { return '/'; }

std::string LocalAppDataFolder() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') return xdg;
  if (const char* home = std::getenv("HOME"); home && home[0]) return std::string(home) + "/.config";
  return "/tmp";
}

bool EnsureFolder(const std::string& folder) {
  if (folder.empty()) return false;
  std::string partial;
  size_t pos = 0;
  while (pos <= folder.size()) {
    size_t next = folder.find('/', pos);
    if (next == std::string::npos) next = folder.size();
    partial = folder.substr(0, next);
    if (!partial.empty()) {
      if (mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    pos = next + 1;
  }
  struct stat st{};
  return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

// An option file is a few lines; reading stops here so that a huge file cannot hold the host up.
constexpr std::size_t kMaxOptionFileSize = 1 << 20;

// The text of a regular file, at most kMaxOptionFileSize bytes of it. Opening without blocking
// and then asking the open file what it is means a FIFO or a device at that place is never waited
// on, and nothing can be swapped in between the look and the read.
std::optional<std::string> ReadRegularFile(const std::string& file) {
  const int fd = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  struct stat st{};
  std::optional<std::string> text;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    text.emplace();
    char buffer[4096];
    while (text->size() < kMaxOptionFileSize) {
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      text->append(buffer, static_cast<std::size_t>(n));
    }
    if (text->size() > kMaxOptionFileSize) text->resize(kMaxOptionFileSize);
  }
  close(fd);
  return text;
}

}  // namespace

int ReadProfileInt(const std::string& file, const std::string& section, const std::string& key, int defaultValue) {
  const std::optional<std::string> text = ReadRegularFile(file);
  if (!text) return defaultValue;
  std::istringstream in(*text);
  std::string line;
  bool inSection = false;
  while (std::getline(in, line)) {
    const std::string t = Trim(line);
    if (t.empty() || t[0] == ';' || t[0] == '#') continue;
    if (t.front() == '[') {
      const size_t close = t.find(']');
      inSection = close != std::string::npos && SameTextAscii(Trim(t.substr(1, close - 1)), section);
      continue;
    }
    if (!inSection) continue;
    const size_t eq = t.find('=');
    if (eq == std::string::npos || !SameTextAscii(Trim(t.substr(0, eq)), key)) continue;
    const std::string value = Trim(t.substr(eq + 1));
    // Windows reads the leading digits of the value; a value that is not an
    // integer at all counts as the default.
    errno = 0;
    char* end = nullptr;
    const long parsed = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || end == value.c_str() || *end != '\0' || errno == ERANGE || parsed < INT32_MIN ||
        parsed > INT32_MAX)
      return defaultValue;
    return static_cast<int>(parsed);
  }
  return defaultValue;
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  // Linux file names are case-sensitive: only the same bytes are the same name.
  if (a == b) return true;
  struct stat first{}, second{};
  if (stat(a.c_str(), &first) != 0 || stat(b.c_str(), &second) != 0) return false;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::FILE* CreateFileAfresh(const std::string& path, std::string& error) {
  error.clear();
  if (path.empty()) {
    error = std::strerror(ENOENT);
    return nullptr;
  }
  // Unlinking removes a planted link itself, never its target; O_EXCL then refuses anything
  // that appeared at the place in between, a dangling link included.
  if (unlink(path.c_str()) != 0 && errno != ENOENT) {
    error = std::strerror(errno);
    return nullptr;
  }
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) {
    error = std::strerror(errno);
    return nullptr;
  }
  std::FILE* file = fdopen(fd, "wb");
  if (!file) {
    error = std::strerror(errno);
    close(fd);
  }
  return file;
}

bool PeekThreadMessage(TMessage& message, bool remove) {
  TvxMessage m{};
  if (!TvxPeekMessage(&m, remove ? 1 : 0)) return false;
  message = TMessage{m.window, m.message, m.wParam, m.lParam};
  return true;
}

bool PostWindowMessage(std::intptr_t window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
  return TvxPostMessage(window, message, wParam, lParam) != 0;
}

void DispatchThreadMessage(const TMessage& message) {
  const TvxMessage m{message.Window, message.Message, message.WParam, message.LParam};
  TvxDispatchMessage(&m);
}

namespace {
struct TWindowBinding {
  TWindowProc Proc;
  void* Context;
};
// The facility hands a window's context only to its procedure, so the bindings
// are kept here to be freed with their windows.
std::mutex BindingsLock;
std::map<std::intptr_t, std::unique_ptr<TWindowBinding>> Bindings;
}  // namespace

std::intptr_t CreateMessageWindow(TWindowProc proc, void* context) {
  auto binding = std::make_unique<TWindowBinding>(TWindowBinding{proc, context});
  const std::intptr_t window = TvxCreateWindow(
      [](void* ctx, const TvxMessage* m) {
        auto* b = static_cast<TWindowBinding*>(ctx);
        if (b->Proc) b->Proc(b->Context, TMessage{m->window, m->message, m->wParam, m->lParam});
      },
      binding.get());
  std::lock_guard<std::mutex> guard(BindingsLock);
  Bindings[window] = std::move(binding);
  return window;
}

void DestroyMessageWindow(std::intptr_t window) {
  TvxDestroyWindow(window);
  std::lock_guard<std::mutex> guard(BindingsLock);
  Bindings.erase(window);
}

int ShowPlatformMessageBox(const TPlatformMessageBox& box) {
  const TvxMessageBox shown{box.Owner,   box.Caption.c_str(), box.Text.c_str(), box.Icon,
                            box.Buttons, box.DefaultAnswer,   box.EscapeAnswer};
  return TvxMessageBoxShow(&shown);
}

std::optional<TFormScript> TakeFormScript() {
  std::optional<TFormScript> taken;
  TvxTakeFormScript(
      [](void* context, const char* name, const char* text, size_t length) {
        *static_cast<std::optional<TFormScript>*>(context) = TFormScript{name ? name : "", std::string(text, length)};
      },
      &taken);
  return taken;
}

void WriteFormTranscriptLine(std::string_view line) { TvxWriteFormTranscript(line.data(), line.size()); }

void WriteFormDrawing(std::string_view fileName, std::string_view content) {
  const std::string name(fileName);
  TvxWriteFormDrawing(name.c_str(), content.data(), content.size());
}

void* RegisteredWindowBackend() { return TvxGetWindowBackend(); }

char GetDecimalSeparator() { return TvxGetDecimalSeparator(); }
void SetDecimalSeparator(char separator) { TvxSetDecimalSeparator(separator); }

}  // namespace tolvex::os
