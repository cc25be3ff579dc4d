// The helper functions the host executable exports by name for its plug-ins.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "HostClient.h"
#include "HostPaths.h"
#include "HostState.h"
#include "Journal.h"
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

struct TLineReader {
  std::ifstream Stream;
  std::string Line;
};

const char* TOLVEX_STDCALL ReadLine(TVfsTextFile* file, std::int32_t* length) {
  auto* reader = static_cast<TLineReader*>(file->HostData);
  if (!reader || !std::getline(reader->Stream, reader->Line)) return nullptr;
  // Both line ends count: a CR before the LF is not part of the line.
  if (!reader->Line.empty() && reader->Line.back() == '\r') reader->Line.pop_back();
  if (length) *length = static_cast<std::int32_t>(reader->Line.size());
  return reader->Line.c_str();
}

void TOLVEX_STDCALL CloseFile(TVfsTextFile* file) {
  delete static_cast<TLineReader*>(file->HostData);
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
  const bool done = std::remove(ExternalPath(In(path)).c_str()) == 0;
  Journal().Write("vfs-delete", {{"path", In(path)}, {"result", done ? "deleted" : "absent"}});
  return done ? TRUE32 : FALSE32;
}

TOLVEX_EXPORT TBool32 TOLVEX_STDCALL VFSAPI_VFS_FileExists(const char* path, std::int32_t flag) {
  struct stat st{};
  const bool exists = stat(ExternalPath(In(path)).c_str(), &st) == 0 && S_ISREG(st.st_mode);
  Journal().Write("vfs-exists", {{"path", In(path)}, {"result", exists ? "yes" : "no"}});
  return exists ? TRUE32 : FALSE32;
}

TOLVEX_EXPORT TBool32 TOLVEX_STDCALL VFSAPI_VFSAssign(TVfsTextFile* file, const char* path) {
  if (!file) return FALSE32;
  auto reader = std::make_unique<TLineReader>();
  reader->Stream.open(ExternalPath(In(path)), std::ios::binary);
  if (!reader->Stream) return FALSE32;
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
