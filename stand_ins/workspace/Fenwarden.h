// The workspace stand-in, Fenwarden.dll: its exports beside GetWorkspace, used by the stand-in host.
#pragma once

#include <cstdint>

#include "host/HostInterfaces.h"

extern "C" {
// Told of every workspace and project request: operation, project path (or empty) and a detail.
using TFenwardenObserver = void (*)(void* context, const char* operation, const char* project, const char* detail);

// Adds a project with the full path Path; returns its index.
using TFenwarden_AddProject = std::int32_t(TOLVEX_STDCALL*)(const char* path);
using TFenwarden_SetObserver = void(TOLVEX_STDCALL*)(TFenwardenObserver observer, void* context);
// Makes the named operation ("GetWorkspace", "GetProjectCount", "GetProject", "GetFocusedProject",
// "PrepareForSimulation", "GetFullPath", "AddGeneratedFile") answer a failure status from now on.
using TFenwarden_SetFailure = void(TOLVEX_STDCALL*)(const char* operation);
}
