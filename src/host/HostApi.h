// The binding to the host: its exported helper functions, the module-wide
// client and the workspace of Fenwarden.dll. Nothing else sees the host's
// function pointers.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "host/HostExports.h"
#include "host/HostInterfaces.h"
#include "host/InterfacePtr.h"

namespace tolvex {

// A failure status of a host workspace or project operation, raised in the caller.
class EHostError : public std::runtime_error {
 public:
  EHostError(const std::string& operation, HRESULT32 status);
  HRESULT32 Status() const { return FStatus; }

 private:
  HRESULT32 FStatus;
};

// Raises EHostError for a negative status.
void CheckHostStatus(HRESULT32 status, const char* operation);

// Finds an export by name; the default looks in the host executable.
using TExportResolver = void* (*)(const char* name);

// Binds every helper the system uses by name; a missing one answers with empty
// text, false or 0. Called when the library loads (and by tests with their own resolver).
void BindHostExports(TExportResolver resolver = nullptr);
// Forgets every binding (at unload).
void ClearHostExports();

// The host's initial client (ClientAPI_GetClientInterface); none when missing.
TInterfacePtr<IClient> HostClientInterface();

// The module-wide client: set at load from the host, replaced by every new server module.
TInterfacePtr<IClient> ModuleClient();
void SetModuleClient(IClient* client);

std::string ForceFileNameExtension(const std::string& path, const std::string& extensionWithoutDot);
std::string ExtractWholeFileNameFromPath(const std::string& path);
bool VfsDeleteFile(const std::string& path);
bool VfsFileExists(const std::string& path);
// Reads Path's lines as 8-bit text; false when the host cannot open it.
bool VfsReadLines(const std::string& path, std::vector<std::string>& lines);
std::string VfsExtractFileExt(const std::string& path);
std::string VfsExtractFileName(const std::string& path);
std::string VfsExtractFileDir(const std::string& path);
bool VfsIsVFSFileName(const std::string& path);
std::string VfsGetExternalPathForFile(const std::string& path);

// The workspace, reached through Fenwarden.dll only if that module is already
// loaded; none otherwise. A failure status is raised as EHostError.
TInterfacePtr<IWorkspace> GetWorkspace();
// Overrides how the workspace is found (tests); nullptr restores the default.
void SetWorkspaceProvider(TGetWorkspaceFunc provider);

}  // namespace tolvex
