// Windows implementation of the operating-system services: kernel32, user32, shell32.
#include "os/Os.h"

#include <windows.h>
#include <shlobj.h>
#include <fcntl.h>
#include <io.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>

namespace tolvex::os {

TModuleHandle LoadModule(const std::string& path) {
  if (path.empty()) return nullptr;
  return reinterpret_cast<TModuleHandle>(LoadLibraryA(path.c_str()));
}

void ReleaseModule(TModuleHandle module) {
  if (module) FreeLibrary(static_cast<HMODULE>(module));
}

TModuleHandle FindLoadedModule(std::string_view fileName) {
  // GetModuleHandle compares module names without regard to case.
  return reinterpret_cast<TModuleHandle>(GetModuleHandleA(std::string(fileName).c_str()));
}

void* FindExport(TModuleHandle module, const char* name) {
  if (!module || !name) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void* FindExecutableExport(const char* name) {
  if (!name) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(nullptr), name));
}

namespace {
HMODULE ModuleOf(const void* address) {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     static_cast<LPCSTR>(address), &module);
  return module;
}
}  // namespace

std::string ModulePathOf(const void* address) {
  HMODULE module = ModuleOf(address);
  if (!module) return {};
  // A long-path installation has names beyond MAX_PATH; a name that still does not fit is not
  // handed out cut, since a cut path names another file.
  std::string buffer(32768, '\0');
  const DWORD length = GetModuleFileNameA(module, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return {};
  buffer.resize(length);
  return buffer;
}

std::intptr_t ModuleInstanceOf(const void* address) { return reinterpret_cast<std::intptr_t>(ModuleOf(address)); }

char PathSeparator() { return '\\'; }

std::string LocalAppDataFolder() {
  char buffer[MAX_PATH + 1] = {};
  if (SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer))) return buffer;
  return {};
}

bool EnsureFolder(const std::string& folder) {
  if (folder.empty()) return false;
  for (size_t pos = 0; pos <= folder.size(); ++pos) {
    if (pos == folder.size() || folder[pos] == '\\' || folder[pos] == '/') {
      const std::string partial = folder.substr(0, pos);
      if (!partial.empty() && partial.back() != ':') CreateDirectoryA(partial.c_str(), nullptr);
    }
  }
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int ReadProfileInt(const std::string& file, const std::string& section, const std::string& key, int defaultValue) {
  char buffer[64] = {};
  GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer, sizeof buffer, file.c_str());
  if (!buffer[0]) return defaultValue;
  char* end = nullptr;
  const long value = std::strtol(buffer, &end, 10);
  return (end == buffer || *end != '\0') ? defaultValue : static_cast<int>(value);
}

namespace {

std::string SystemErrorText(DWORD code) {
  char buffer[512] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                      buffer, sizeof buffer, nullptr);
  std::string text(buffer, length);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' || text.back() == '.'))
    text.pop_back();
  return text.empty() ? "error " + std::to_string(code) : text;
}

char FoldName(char c) {
  if (c == '/') return '\\';
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// The volume and index that identify a file whatever name it is reached by.
bool FileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
  HANDLE handle = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool known = GetFileInformationByHandle(handle, &info) != 0;
  CloseHandle(handle);
  return known;
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  // Windows ignores letter case in file names and takes either separator.
  if (a.size() == b.size()) {
    bool same = true;
    for (size_t i = 0; same && i < a.size(); ++i) same = FoldName(a[i]) == FoldName(b[i]);
    if (same) return true;
  }
  BY_HANDLE_FILE_INFORMATION first{}, second{};
  if (!FileIdentity(a, first) || !FileIdentity(b, second)) return false;
  return first.dwVolumeSerialNumber == second.dwVolumeSerialNumber && first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

std::FILE* CreateFileAfresh(const std::string& path, std::string& error) {
  error.clear();
  // Deleting a link deletes the link, not its target; CREATE_NEW then refuses anything that
  // appeared at the place in between.
  if (!DeleteFileA(path.c_str())) {
    const DWORD code = GetLastError();
    if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND) {
      error = SystemErrorText(code);
      return nullptr;
    }
  }
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = SystemErrorText(GetLastError());
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    error = "cannot open the file for writing";
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, "wb");
  if (!file) {
    error = "cannot open the file for writing";
    _close(fd);
  }
  return file;
}

bool PeekThreadMessage(TMessage& message, bool remove) {
  MSG msg{};
  if (!PeekMessageA(&msg, nullptr, 0, 0, remove ? PM_REMOVE : PM_NOREMOVE)) return false;
  message = TMessage{reinterpret_cast<std::intptr_t>(msg.hwnd), msg.message, msg.wParam, msg.lParam};
  return true;
}

bool PostWindowMessage(std::intptr_t window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
  return PostMessageA(reinterpret_cast<HWND>(window), message, wParam, lParam) != 0;
}

void DispatchThreadMessage(const TMessage& message) {
  MSG msg{};
  msg.hwnd = reinterpret_cast<HWND>(message.Window);
  msg.message = message.Message;
  msg.wParam = message.WParam;
  msg.lParam = message.LParam;
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
}

namespace {
struct TWindowBinding {
  TWindowProc Proc;
  void* Context;
};
LRESULT CALLBACK MessageWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* binding = reinterpret_cast<TWindowBinding*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (binding && binding->Proc && message >= WM_USER) {
    binding->Proc(binding->Context, TMessage{reinterpret_cast<std::intptr_t>(window), message, wParam, lParam});
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}
const char* MessageWindowClass() {
  static const char* name = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = MessageWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "TolvexMessageWindow";
    RegisterClassA(&wc);
    return "TolvexMessageWindow";
  }();
  return name;
}
}  // namespace

std::intptr_t CreateMessageWindow(TWindowProc proc, void* context) {
  HWND window = CreateWindowExA(0, MessageWindowClass(), "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  if (!window) return 0;
  SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(new TWindowBinding{proc, context}));
  return reinterpret_cast<std::intptr_t>(window);
}

void DestroyMessageWindow(std::intptr_t window) {
  HWND hwnd = reinterpret_cast<HWND>(window);
  delete reinterpret_cast<TWindowBinding*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  DestroyWindow(hwnd);
}

int ShowPlatformMessageBox(const TPlatformMessageBox& box) {
  UINT flags = MB_TASKMODAL;
  switch (box.Icon) {
    case 1: flags |= MB_ICONERROR; break;
    case 2: flags |= MB_ICONINFORMATION; break;
    case 3: flags |= MB_ICONQUESTION; break;
    case 4: flags |= MB_ICONWARNING; break;
  }
  switch (box.Buttons) {
    case 0: flags |= MB_OK; break;
    case 1: flags |= MB_OKCANCEL; break;
    case 2: flags |= MB_YESNO; break;
  }
  // The first button is the default of every box the system shows; MessageBox's own keys stand for
  // DefaultAnswer and EscapeAnswer.
  return MessageBoxA(reinterpret_cast<HWND>(box.Owner), box.Text.c_str(), box.Caption.c_str(), flags);
}

namespace {
char& DecimalSeparatorValue() {
  static char value = [] {
    char buffer[8] = {};
    return GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, sizeof buffer) > 0 ? buffer[0] : '.';
  }();
  return value;
}
}  // namespace

// The Windows host has no channel for form scripts yet: forms are never automated there.
std::optional<TFormScript> TakeFormScript() { return std::nullopt; }
void WriteFormTranscriptLine(std::string_view) {}
void WriteFormDrawing(std::string_view, std::string_view) {}

// The Windows forms are drawn by this library itself (a later backend), not by a loaded window system.
void* RegisteredWindowBackend() { return nullptr; }

char GetDecimalSeparator() { return DecimalSeparatorValue(); }
void SetDecimalSeparator(char separator) { DecimalSeparatorValue() = separator; }

}  // namespace tolvex::os
