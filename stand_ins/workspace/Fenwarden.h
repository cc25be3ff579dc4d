// The workspace stand-in, Fenwarden.dll: its exports beside GetWorkspace, used by the stand-in host.
#pragma once

#include <cstdint>

#include "host/HostInterfaces.h"

extern "C" {
// Told of every workspace and project request: operation, project path (or empty) and a detail.
using TFenwardenObserver = void (*)(void* context, const char* operation, const char* project, const char* detail);

// Adds a project with the full path Path and no file behind it (no documents, no design); returns its index.
using TFenwarden_AddProject = std::int32_t(TOLVEX_STDCALL*)(const char* path);
using TFenwarden_SetObserver = void(TOLVEX_STDCALL*)(TFenwardenObserver observer, void* context);
// Makes the named operation ("GetWorkspace", "GetProjectCount", "GetProject", "GetFocusedProject",
// "PrepareForSimulation", "GetFullPath", "AddGeneratedFile", "GetCompiledDocument", "GetDocumentCount",
// "GetDocument") answer a failure status from now on.
using TFenwarden_SetFailure = void(TOLVEX_STDCALL*)(const char* operation);

// Opens the project file at Path (docs/project-format.md), reads its schematic documents and, unless the project
// says it is not compiled, compiles its design. Returns the project's index; a file already open gives its index
// again without being read. On failure returns -1, adds nothing and writes a message naming the file and the
// place in it into Error, cut to ErrorSize - 1 bytes.
using TFenwarden_OpenProject = std::int32_t(TOLVEX_STDCALL*)(const char* path, char* error, std::int32_t errorSize);
// Makes project Index the focused one (GetFocusedProject); -1 leaves no project focused. False for an index
// that names no project. Without a call the first project is focused.
using TFenwarden_SetFocusedProject = tolvex::TBool32(TOLVEX_STDCALL*)(std::int32_t index);
// What project Index asks for, one item a line: "title", "path", "documents", "secondDocuments" (full paths),
// "modelFolders" (full paths), "analyses", "options" (NAME=VALUE, or NAME alone), "compiled" ("true" when it
// has a compiled design now, else "false"). Copies the text into Buffer (cut to BufferSize - 1 bytes; Buffer
// may be null) and returns its full length; -1 for an unknown project or item.
using TFenwarden_GetProjectText = std::int32_t(TOLVEX_STDCALL*)(std::int32_t index, const char* item, char* buffer,
                                                                std::int32_t bufferSize);
// How many compiled designs are alive: each lives while its project or anyone holding one of its objects does.
using TFenwarden_GetLiveDesignCount = std::int32_t(TOLVEX_STDCALL*)();
}
