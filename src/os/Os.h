// The few operating-system services the system uses, behind one portable interface.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace tolvex::os {

// A loaded module (shared library); nullptr means none.
using TModuleHandle = void*;

// Loads the module at Path and takes a reference to it; nullptr when it cannot be loaded.
TModuleHandle LoadModule(const std::string& path);
// Gives back a reference that LoadModule took.
void ReleaseModule(TModuleHandle module);
// The module the process has loaded under FileName (no folder; letter case ignored),
// without taking a reference; nullptr when none is loaded.
TModuleHandle FindLoadedModule(std::string_view fileName);
// An export of Module by its undecorated name; nullptr when it has none.
void* FindExport(TModuleHandle module, const char* name);
// An export of the host executable itself by name; nullptr when it has none.
void* FindExecutableExport(const char* name);
// The full path of the module that contains Address (this library's file when
// Address is one of its functions); empty when it cannot be told.
std::string ModulePathOf(const void* address);
// The handle that identifies the module that contains Address.
std::intptr_t ModuleInstanceOf(const void* address);

// The platform's folder separator in paths.
char PathSeparator();
// The user's folder for per-user, per-machine application data.
std::string LocalAppDataFolder();
// Creates Folder and its missing parents; true when it exists afterwards.
bool EnsureFolder(const std::string& folder);
// Reads an integer key from an INI-style option file; Default when the file,
// the section or the key is missing or the value is not an integer. Only a
// regular file is read: anything else at that place (a folder, a FIFO, a
// device) counts as a missing file, and looking at it never blocks.
int ReadProfileInt(const std::string& file, const std::string& section, const std::string& key, int defaultValue);

// Whether A and B name one file: the same name (letter case ignored where the
// platform ignores it), or two names of one file on disk (a link, a second
// name). False when neither can be told, for example when B does not exist.
bool SameFile(const std::string& a, const std::string& b);
// Creates Path as a new, empty file open for binary writing, never writing
// through what was at its place: an existing file or link of that name is
// removed first, and the new file is created exclusively, without following a
// link. Nullptr, with the reason in Error, when that cannot be done.
std::FILE* CreateFileAfresh(const std::string& path, std::string& error);

// The calling thread's message queue.
struct TMessage {
  std::intptr_t Window = 0;  // 0: a message for the thread itself
  std::uint32_t Message = 0;
  std::uintptr_t WParam = 0;
  std::intptr_t LParam = 0;
};
constexpr std::uint32_t WM_USER_MESSAGE = 0x400;

// Looks for a waiting message of the calling thread; removes it when Remove is set.
bool PeekThreadMessage(TMessage& message, bool remove);
// Posts a message to a window's thread.
bool PostWindowMessage(std::intptr_t window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
// Hands a message to its window procedure or, for thread messages, to the host's dispatcher.
void DispatchThreadMessage(const TMessage& message);
// A window that only receives posted messages; its procedure is called on dispatch.
using TWindowProc = void (*)(void* context, const TMessage& message);
std::intptr_t CreateMessageWindow(TWindowProc proc, void* context);
void DestroyMessageWindow(std::intptr_t window);

// A modal message box as the platform draws it, in the platform's codes (the Windows ones, which
// libtolvex_user.so uses as well). Icon: 1 error, 2 information, 3 question, 4 warning. Buttons:
// 0 OK, 1 OK and Cancel, 2 Yes and No. Answers: 1 OK, 2 Cancel, 6 Yes, 7 No.
struct TPlatformMessageBox {
  std::intptr_t Owner = 0;  // the window the box is modal to; 0 for none
  std::string Caption;
  std::string Text;
  int Icon = 2;
  int Buttons = 0;
  int DefaultAnswer = 1;
  int EscapeAnswer = 1;
};
// Shows Box modally and gives the code of the button that closed it; 0 when it could not be shown.
int ShowPlatformMessageBox(const TPlatformMessageBox& box);

// A script the host queued for the next modal form (see src/ui/UiScript.h for its language).
struct TFormScript {
  std::string Name;  // the script's file name, for messages
  std::string Text;
};
// Takes the next script the host queued for a modal form, first in first out; none when the host
// queued none (and always on a platform without form automation).
std::optional<TFormScript> TakeFormScript();
// Hands one line of an automated form's transcript to the host (without its line feed).
void WriteFormTranscriptLine(std::string_view line);
// Hands a drawing an automated form showed to the host, which writes it as FileName beside the transcript.
void WriteFormDrawing(std::string_view fileName, std::string_view content);

// The window system the host registered to show modal forms on a screen (a ui::TWindowBackend of this
// build), or null: none registered, or a platform whose forms are not drawn by a loaded window system.
void* RegisteredWindowBackend();

// The process-wide decimal separator that number formatting uses.
char GetDecimalSeparator();
void SetDecimalSeparator(char separator);

}  // namespace tolvex::os
