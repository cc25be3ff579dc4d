// Binding of the host executable's helper exports and of the workspace module.
#include "host/HostApi.h"

#include <cstring>

#include "os/Os.h"

namespace tolvex {

namespace {

struct THostExports {
  TClientAPI_GetClientInterface GetClientInterface = nullptr;
  TClientAPI_ForceFileNameExtension ForceFileNameExtension = nullptr;
  TClientAPI_ExtractWholeFileNameFromPath ExtractWholeFileNameFromPath = nullptr;
  TVFSAPI_VFS_DeleteFile DeleteFile = nullptr;
  TVFSAPI_VFS_FileExists FileExists = nullptr;
  TVFSAPI_VFSAssign Assign = nullptr;
  TVFSAPI_PathFunction ExtractFileExt = nullptr;
  TVFSAPI_PathFunction ExtractFileName = nullptr;
  TVFSAPI_PathFunction ExtractFileDir = nullptr;
  TVFSAPI_VFS_IsVFSFileName IsVFSFileName = nullptr;
  TVFSAPI_PathFunction GetExternalPathForFile = nullptr;
};

THostExports Exports;
IClient* Client = nullptr;
TGetWorkspaceFunc WorkspaceProvider = nullptr;

template <class F>
void Bind(F& target, TExportResolver resolver, const char* name) {
  target = reinterpret_cast<F>(resolver(name));
}

std::string CallPathFunction(TVFSAPI_PathFunction f, const std::string& path) {
  if (!f) return {};
  char buffer[kHostTextBufferSize] = {};
  f(path.c_str(), buffer, kHostTextBufferSize);
  buffer[kHostTextBufferSize - 1] = '\0';
  return buffer;
}

}  // namespace

EHostError::EHostError(const std::string& operation, HRESULT32 status)
    : std::runtime_error(operation + " failed with status " + std::to_string(status)), FStatus(status) {}

void CheckHostStatus(HRESULT32 status, const char* operation) {
  if (status < 0) throw EHostError(operation, status);
}

void BindHostExports(TExportResolver resolver) {
  if (!resolver) resolver = &os::FindExecutableExport;
  Bind(Exports.GetClientInterface, resolver, "ClientAPI_GetClientInterface");
  Bind(Exports.ForceFileNameExtension, resolver, "ClientAPI_ForceFileNameExtension");
  Bind(Exports.ExtractWholeFileNameFromPath, resolver, "ClientAPI_ExtractWholeFileNameFromPath");
  Bind(Exports.DeleteFile, resolver, "VFSAPI_VFS_DeleteFile");
  Bind(Exports.FileExists, resolver, "VFSAPI_VFS_FileExists");
  Bind(Exports.Assign, resolver, "VFSAPI_VFSAssign");
  Bind(Exports.ExtractFileExt, resolver, "VFSAPI_VFS_ExtractFileExt");
  Bind(Exports.ExtractFileName, resolver, "VFSAPI_VFS_ExtractFileName");
  Bind(Exports.ExtractFileDir, resolver, "VFSAPI_VFS_ExtractFileDir");
  Bind(Exports.IsVFSFileName, resolver, "VFSAPI_VFS_IsVFSFileName");
  Bind(Exports.GetExternalPathForFile, resolver, "VFSAPI_VFS_GetExternalPathForFile");
}

void ClearHostExports() {
  Exports = THostExports{};
  SetModuleClient(nullptr);
}

TInterfacePtr<IClient> HostClientInterface() {
  if (!Exports.GetClientInterface) return {};
  return TInterfacePtr<IClient>::Attach(Exports.GetClientInterface());
}

TInterfacePtr<IClient> ModuleClient() { return TInterfacePtr<IClient>::Share(Client); }

void SetModuleClient(IClient* client) {
  if (client) client->AddRef();
  if (Client) Client->Release();
  Client = client;
}

std::string ForceFileNameExtension(const std::string& path, const std::string& extensionWithoutDot) {
  if (!Exports.ForceFileNameExtension) return {};
  char buffer[kHostTextBufferSize] = {};
  Exports.ForceFileNameExtension(path.c_str(), extensionWithoutDot.c_str(), buffer, kHostTextBufferSize);
  buffer[kHostTextBufferSize - 1] = '\0';
  return buffer;
}

std::string ExtractWholeFileNameFromPath(const std::string& path) {
  if (!Exports.ExtractWholeFileNameFromPath) return {};
  char buffer[kHostTextBufferSize] = {};
  Exports.ExtractWholeFileNameFromPath(path.c_str(), buffer, kHostTextBufferSize);
  buffer[kHostTextBufferSize - 1] = '\0';
  return buffer;
}

bool VfsDeleteFile(const std::string& path) { return Exports.DeleteFile && Exports.DeleteFile(path.c_str(), 0) != 0; }

bool VfsFileExists(const std::string& path) { return Exports.FileExists && Exports.FileExists(path.c_str(), 0) != 0; }

bool VfsReadLines(const std::string& path, std::vector<std::string>& lines) {
  lines.clear();
  if (!Exports.Assign) return false;
  TVfsTextFile file{};
  if (!Exports.Assign(&file, path.c_str())) return false;
  // A file the host opened is closed again, even when it cannot be read.
  const bool readable = file.ReadLine != nullptr;
  std::int32_t length = 0;
  while (readable) {
    const char* line = file.ReadLine(&file, &length);
    if (!line) break;
    lines.emplace_back(line, length < 0 ? 0 : length);
  }
  if (file.Close) file.Close(&file);
  return readable;
}

std::string VfsExtractFileExt(const std::string& path) { return CallPathFunction(Exports.ExtractFileExt, path); }
std::string VfsExtractFileName(const std::string& path) { return CallPathFunction(Exports.ExtractFileName, path); }
std::string VfsExtractFileDir(const std::string& path) { return CallPathFunction(Exports.ExtractFileDir, path); }

bool VfsIsVFSFileName(const std::string& path) {
  return Exports.IsVFSFileName && Exports.IsVFSFileName(path.c_str()) != 0;
}

std::string VfsGetExternalPathForFile(const std::string& path) {
  return CallPathFunction(Exports.GetExternalPathForFile, path);
}

TInterfacePtr<IWorkspace> GetWorkspace() {
  TGetWorkspaceFunc provider = WorkspaceProvider;
  if (!provider) {
    // Only a workspace module the host has already loaded is used; it is never loaded here.
    os::TModuleHandle module = os::FindLoadedModule("Fenwarden.dll");
    provider = reinterpret_cast<TGetWorkspaceFunc>(os::FindExport(module, "GetWorkspace"));
  }
  if (!provider) return {};
  IWorkspace* workspace = nullptr;
  const HRESULT32 status = provider(&workspace);
  // A reference handed out with a failure status is still given back.
  auto owned = TInterfacePtr<IWorkspace>::Attach(workspace);
  CheckHostStatus(status, "GetWorkspace");
  return owned;
}

void SetWorkspaceProvider(TGetWorkspaceFunc provider) { WorkspaceProvider = provider; }

}  // namespace tolvex
