// The helper functions the host executable exports by name for its plug-ins.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "HostClient.h"
#include "HostPaths.h"
#include "HostState.h"
#include "Journal.h"
#include "common/RegularFile.h"
#include "host/HostExports.h"

using namespace tolvex;
using namespace tolvex::host;

namespace {

void CopyOut(const std::string& text, char* result, std::int32_t resultSize) {
  if (!result || resultSize <= 0) return;
  const std::size_t n = std::min(text.size(), static_cast<std::size_t>(resultSize - 1));
  std::memcpy(result, text.data(), n);
  result[n] = '\0';
}

std::string In(const char* text) { return text ? text : ""; }

const char* TOLVEX_STDCALL ReadLine(TVfsTextFile* file, std::int32_t* length) {
  auto* reader = static_cast<standins::TTextLineReader*>(file ? file->HostData : nullptr);
  if (!reader || !reader->Next()) return nullptr;
  if (length) *length = static_cast<std::int32_t>(reader->Line().size());
  return reader->Line().c_str();
}

void TOLVEX_STDCALL CloseFile(TVfsTextFile* file) {
  if (!file) return;
  delete static_cast<standins::TTextLineReader*>(file->HostData);
  file->HostData = nullptr;
}

}  // namespace

extern "C" {

TOLVEX_EXPORT IClient* TOLVEX_STDCALL ClientAPI_GetClientInterface() {
  return TInterfacePtr<IClient>::Share(State().Client).Detach();
}

TOLVEX_EXPORT void TOLVEX_STDCALL ClientAPI_ForceFileNameExtension(const char* path, const char* extension,
                                                                   char* result, std::int32_t resultSize) {
  CopyOut(ForceExtension(In(path), In(extension)), result, resultSize);
}

TOLVEX_EXPORT void TOLVEX_STDCALL ClientAPI_ExtractWholeFileNameFromPath(const char* path, char* result,
                                                                         std::int32_t resultSize) {
  CopyOut(PathFileName(In(path)), result, resultSize);
}

TOLVEX_EXPORT TBool32 TOLVEX_STDCALL VFSAPI_VFS_DeleteFile(const char* path, std::int32_t flag) {
  const std::optional<std::string> disk = DiskPath(In(path));
  // Only a file is deleted (unlink never takes a folder), and only one the name reaches inside the VFS root.
  const bool done = disk && ::unlink(disk->c_str()) == 0;
  Journal().Write("vfs-delete", {{"path", In(path)}, {"result", !disk ? "refused" : done ? "deleted" : "absent"}});
  return done ? TRUE32 : FALSE32;
}

TOLVEX_EXPORT TBool32 TOLVEX_STDCALL VFSAPI_VFS_FileExists(const char* path, std::int32_t flag) {
  const std::optional<std::string> disk = DiskPath(In(path));
  struct stat st{};
  const bool exists = disk && stat(disk->c_str(), &st) == 0 && S_ISREG(st.st_mode);
  Journal().Write("vfs-exists", {{"path", In(path)}, {"result", exists ? "yes" : "no"}});
  return exists ? TRUE32 : FALSE32;
}

TOLVEX_EXPORT TBool32 TOLVEX_STDCALL VFSAPI_VFSAssign(TVfsTextFile* file, const char* path) {
  if (!file) return FALSE32;
  const std::optional<std::string> disk = DiskPath(In(path));
  auto reader = std::make_unique<standins::TTextLineReader>();
  // Only a regular file is handed out: a FIFO would hold the plug-in until someone writes to it, a device such as
  // /dev/zero would never end.
  std::string error;
  const bool opened = disk && reader->Open(*disk, error);
  Journal().Write("vfs-open", {{"path", In(path)},
                               {"result", !disk ? "refused" : opened ? "opened" : "failed"},
                               {"error", !disk ? "the name leads out of the VFS root" : error}});
  if (!opened) return FALSE32;
  file->HostData = reader.release();
  file->ReadLine = &ReadLine;
  file->Close = &CloseFile;
  return TRUE32;
}

TOLVEX_EXPORT void TOLVEX_STDCALL VFSAPI_VFS_ExtractFileExt(const char* path, char* result, std::int32_t resultSize) {
  CopyOut(PathExtension(In(path)), result, resultSize);
}

TOLVEX_EXPORT void TOLVEX_STDCALL VFSAPI_VFS_ExtractFileName(const char* path, char* result,
                                                             std::int32_t resultSize) {
  CopyOut(PathFileName(In(path)), result, resultSize);
}

TOLVEX_EXPORT void TOLVEX_STDCALL VFSAPI_VFS_ExtractFileDir(const char* path, char* result, std::int32_t resultSize) {
  CopyOut(PathFolder(In(path)), result, resultSize);
}

TOLVEX_EXPORT TBool32 TOLVEX_STDCALL VFSAPI_VFS_IsVFSFileName(const char* path) {
  return IsVirtualPath(In(path)) ? TRUE32 : FALSE32;
}

TOLVEX_EXPORT void TOLVEX_STDCALL VFSAPI_VFS_GetExternalPathForFile(const char* path, char* result,
                                                                    std::int32_t resultSize) {
  CopyOut(ExternalPath(In(path)), result, resultSize);
}

}  // extern "C"
