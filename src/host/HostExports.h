// Signatures of the helper functions that the host executable exports by name.
// Text results go into a caller's buffer of ResultSize bytes (4,096 at every
// call of this system); a longer result is cut and stays NUL-terminated.
#pragma once

#include <cstdint>

#include "host/HostInterfaces.h"

namespace tolvex {

constexpr int kHostTextBufferSize = 4096;

// A text file opened through the host's virtual file system; filled by VFSAPI_VFSAssign.
struct TVfsTextFile {
  void* HostData;
  // The next line without its line end, and its length; nullptr at the end of the file.
  // The text stays valid until the next call.
  const char*(TOLVEX_STDCALL* ReadLine)(TVfsTextFile* file, std::int32_t* length);
  void(TOLVEX_STDCALL* Close)(TVfsTextFile* file);
};

using TClientAPI_GetClientInterface = IClient*(TOLVEX_STDCALL*)();
using TClientAPI_ForceFileNameExtension = void(TOLVEX_STDCALL*)(const char* path, const char* extension, char* result,
                                                                 std::int32_t resultSize);
using TClientAPI_ExtractWholeFileNameFromPath = void(TOLVEX_STDCALL*)(const char* path, char* result,
                                                                       std::int32_t resultSize);
using TVFSAPI_VFS_DeleteFile = TBool32(TOLVEX_STDCALL*)(const char* path, std::int32_t flag);
using TVFSAPI_VFS_FileExists = TBool32(TOLVEX_STDCALL*)(const char* path, std::int32_t flag);
// Opens Path for reading line by line; non-zero on success.
using TVFSAPI_VFSAssign = TBool32(TOLVEX_STDCALL*)(TVfsTextFile* file, const char* path);
using TVFSAPI_PathFunction = void(TOLVEX_STDCALL*)(const char* path, char* result, std::int32_t resultSize);
using TVFSAPI_VFS_IsVFSFileName = TBool32(TOLVEX_STDCALL*)(const char* path);

}  // namespace tolvex
