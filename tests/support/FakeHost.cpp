// The shared fakes of the host, its documents and its workspace.
#include "support/FakeHost.h"

#include <algorithm>
#include <cstring>

namespace tolvex::test {

namespace {

// Copies Text into a caller's buffer of Size units, cut so that it stays terminated.
template <class C>
void CopyCut(const std::basic_string<C>& text, C* buffer, std::int32_t size) {
  if (!buffer || size <= 0) return;
  const std::size_t n = std::min(text.size(), static_cast<std::size_t>(size - 1));
  std::copy_n(text.data(), n, buffer);
  buffer[n] = C{};
}

std::string Text(const char* text) { return text ? text : ""; }

}  // namespace

// --- FakeServerModule -----------------------------------------------------------------------------

FakeServerModule::FakeServerModule(std::string name) : TFakeInterface("FakeServerModule"), Name(std::move(name)) {}

void FakeServerModule::Unexpected(const char* operation) {
  ADD_FAILURE() << "FakeServerModule \"" << Name << "\": unexpected call of " << operation;
}

void TOLVEX_STDCALL FakeServerModule::Idle() { Unexpected("Idle"); }
void TOLVEX_STDCALL FakeServerModule::ReceiveNotification(IInterface*) { Unexpected("ReceiveNotification"); }
IServerDocument* TOLVEX_STDCALL FakeServerModule::CreateDocument(std::int32_t, std::int32_t) {
  Unexpected("CreateDocument");
  return nullptr;
}
void TOLVEX_STDCALL FakeServerModule::DestroyDocument(IServerDocument*) { Unexpected("DestroyDocument"); }
IClient* TOLVEX_STDCALL FakeServerModule::GetClient() {
  Unexpected("GetClient");
  return nullptr;
}
ICommandLauncher* TOLVEX_STDCALL FakeServerModule::GetCommandLauncher() {
  Unexpected("GetCommandLauncher");
  return nullptr;
}
std::int32_t TOLVEX_STDCALL FakeServerModule::GetDocumentCount() {
  Unexpected("GetDocumentCount");
  return 0;
}
IServerDocument* TOLVEX_STDCALL FakeServerModule::GetDocument(std::int32_t) {
  Unexpected("GetDocument");
  return nullptr;
}
THandle TOLVEX_STDCALL FakeServerModule::GetInstanceHandle() {
  Unexpected("GetInstanceHandle");
  return 0;
}
IProcessControl* TOLVEX_STDCALL FakeServerModule::GetProcessControl() {
  Unexpected("GetProcessControl");
  return nullptr;
}
std::int32_t TOLVEX_STDCALL FakeServerModule::GetSecondaryCount() {
  Unexpected("GetSecondaryCount");
  return 0;
}
IInterface* TOLVEX_STDCALL FakeServerModule::GetSecondary(std::int32_t) {
  Unexpected("GetSecondary");
  return nullptr;
}
std::int32_t TOLVEX_STDCALL FakeServerModule::GetExtendedInfo() {
  Unexpected("GetExtendedInfo");
  return 0;
}

// --- FakeView, FakeDocument ----------------------------------------------------------------------

FakeView::FakeView(IServerDocument* document) : TFakeInterface("FakeView"), Document(document) {}

FakeDocument::FakeDocument(std::string fileName, IServerModule* serverModule, std::string kind)
    : TFakeInterface("FakeDocument"), FileName(std::move(fileName)), Kind(std::move(kind)), ServerModule(serverModule) {}

IServerDocumentView* TOLVEX_STDCALL FakeDocument::GetView(std::int32_t index) {
  if (index < 0 || index >= GetViewCount()) {
    if (Strict)
      ADD_FAILURE() << "FakeDocument \"" << FileName << "\": view " << index << " of " << Views.size() << " asked for";
    return nullptr;
  }
  return Handout(Views[index]);
}

void TOLVEX_STDCALL FakeDocument::SetFileKind(const char* kind) { SetFileKindCalls.push_back(Text(kind)); }

// --- FakeProcessLauncher, FakeClient ---------------------------------------------------------------

FakeProcessLauncher::FakeProcessLauncher() : TFakeInterface("FakeProcessLauncher") {}

std::int32_t TOLVEX_STDCALL FakeProcessLauncher::RunProcess(const char* process, char* parameters,
                                                            std::int32_t bufferSize, IServerDocumentView* view) {
  Runs.push_back({Text(process), Text(parameters), bufferSize, view});
  if (!ResultParameters.empty()) CopyCut(ResultParameters, parameters, bufferSize);
  return Result;
}

FakeClient::FakeClient() : TFakeInterface("FakeClient") {}

HRESULT32 FakeClient::QueryOtherInterface(const TGUID& iid, void** object) {
  if (iid == IID_IProcessLauncher && OffersProcessLauncher) {
    *object = Handout(static_cast<IProcessLauncher*>(&ProcessLauncher));
    return S_OK32;
  }
  *object = nullptr;
  return E_NOINTERFACE32;
}

IServerDocument* TOLVEX_STDCALL FakeClient::OpenDocument(const char* kind, const char* path) {
  OpenDocumentCalls.push_back({Text(kind), Text(path)});
  auto it = Openable.find(Text(path));
  if (it == Openable.end()) {
    if (Strict) ADD_FAILURE() << "FakeClient: unexpected OpenDocument(\"" << Text(kind) << "\", \"" << Text(path) << "\")";
    return nullptr;
  }
  return Handout(it->second);
}

IServerDocument* TOLVEX_STDCALL FakeClient::GetDocumentByPath(const char* path) {
  GetDocumentByPathCalls.push_back(Text(path));
  auto it = OpenDocuments.find(Text(path));
  if (it == OpenDocuments.end()) {
    if (Strict) ADD_FAILURE() << "FakeClient: unexpected GetDocumentByPath(\"" << Text(path) << "\")";
    return nullptr;
  }
  return Handout(it->second);
}

void TOLVEX_STDCALL FakeClient::SetStatusBarState(std::int32_t index, const char* text) {
  StatusBarCalls.push_back({index, Text(text)});
  if (index >= 0) StatusPanels[index] = Text(text);
}

std::int32_t TOLVEX_STDCALL FakeClient::GetStatusBarState(std::int32_t index, char* buffer, std::int32_t bufferSize) {
  const std::string text = StatusPanels.count(index) ? StatusPanels[index] : std::string();
  CopyCut(text, buffer, bufferSize);
  return static_cast<std::int32_t>(text.size());
}

// --- FakeProject, FakeWorkspace --------------------------------------------------------------------

FakeProject::FakeProject(std::u16string fullPath) : TFakeInterface("FakeProject"), FullPath(std::move(fullPath)) {}

HRESULT32 TOLVEX_STDCALL FakeProject::GetFullPath(char16_t* buffer, std::int32_t bufferChars) {
  if (FullPathStatus < 0) return FullPathStatus;
  CopyCut(FullPath, buffer, bufferChars);
  return FullPathStatus;
}

HRESULT32 TOLVEX_STDCALL FakeProject::GetCompiledDocument(IDesignDocument** document) {
  if (!document) return E_FAIL32;
  *document = nullptr;
  if (DesignStatus < 0) return DesignStatus;
  if (CompiledDocument) CompiledDocument->AddRef();
  *document = CompiledDocument;
  return S_OK32;
}

HRESULT32 TOLVEX_STDCALL FakeProject::GetDocumentCount(std::int32_t list, std::int32_t* count) {
  if (!count || list < 0 || list > 1) return E_FAIL32;
  if (DesignStatus < 0) return DesignStatus;
  *count = static_cast<std::int32_t>(Documents[list].size());
  return S_OK32;
}

HRESULT32 TOLVEX_STDCALL FakeProject::GetDocument(std::int32_t list, std::int32_t index, IDesignDocument** document) {
  if (!document || list < 0 || list > 1) return E_FAIL32;
  *document = nullptr;
  if (index < 0 || index >= static_cast<std::int32_t>(Documents[list].size())) return E_FAIL32;
  *document = Documents[list][static_cast<std::size_t>(index)];
  (*document)->AddRef();
  return S_OK32;
}

HRESULT32 TOLVEX_STDCALL FakeProject::AddGeneratedFile(const char16_t* path) {
  AddedFiles.push_back(path ? std::u16string(path) : std::u16string());
  return AddGeneratedFileStatus;
}

FakeWorkspace::FakeWorkspace() : TFakeInterface("FakeWorkspace") {}

HRESULT32 TOLVEX_STDCALL FakeWorkspace::GetProjectCount(std::int32_t* count) {
  if (ProjectCountStatus < 0) return ProjectCountStatus;
  if (count) *count = static_cast<std::int32_t>(Projects.size());
  return ProjectCountStatus;
}

HRESULT32 TOLVEX_STDCALL FakeWorkspace::GetProject(std::int32_t index, IProject** project) {
  if (project) *project = nullptr;
  if (ProjectStatus < 0) return ProjectStatus;
  if (index < 0 || index >= static_cast<std::int32_t>(Projects.size())) return E_FAIL32;
  if (project) *project = Handout(Projects[index]);
  return ProjectStatus;
}

HRESULT32 TOLVEX_STDCALL FakeWorkspace::GetFocusedProject(IProject** project) {
  if (project) *project = nullptr;
  if (FocusedProjectStatus < 0) return FocusedProjectStatus;
  if (FocusedProject < 0 || FocusedProject >= static_cast<int>(Projects.size())) return E_FAIL32;
  if (project) *project = Handout(Projects[FocusedProject]);
  return FocusedProjectStatus;
}

HRESULT32 TOLVEX_STDCALL FakeWorkspace::PrepareForSimulation() {
  ++PrepareCalls;
  return PrepareStatus;
}

// --- TScopedWorkspace ----------------------------------------------------------------------------

namespace {
IWorkspace* ScopedWorkspace = nullptr;
HRESULT32 ScopedWorkspaceStatus = S_OK32;
int ScopedWorkspaceCalls = 0;

HRESULT32 TOLVEX_STDCALL ProvideScopedWorkspace(IWorkspace** workspace) {
  ++ScopedWorkspaceCalls;
  if (!workspace) return E_FAIL32;
  // A failed call hands out nothing, as the host's does.
  *workspace = ScopedWorkspaceStatus < 0 ? nullptr : ScopedWorkspace;
  if (*workspace) (*workspace)->AddRef();
  return ScopedWorkspaceStatus;
}
}  // namespace

TScopedWorkspace::TScopedWorkspace(IWorkspace* workspace, HRESULT32 status) {
  ScopedWorkspace = workspace;
  ScopedWorkspaceStatus = status;
  ScopedWorkspaceCalls = 0;
  SetWorkspaceProvider(&ProvideScopedWorkspace);
}

TScopedWorkspace::~TScopedWorkspace() {
  SetWorkspaceProvider(nullptr);
  ScopedWorkspace = nullptr;
}

int TScopedWorkspace::Calls() const { return ScopedWorkspaceCalls; }

// --- TFakeHostExports ----------------------------------------------------------------------------

namespace {

TFakeHostExports* Fake = nullptr;

TFakeHostExports& Host() {
  // Only reachable through a binding that the live instance made.
  return *Fake;
}

void Record(const char* exportName, std::vector<std::string> arguments) {
  Host().Calls.push_back({exportName, std::move(arguments)});
}

std::size_t NameStart(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? 0 : slash + 1;
}

std::string ExtensionOf(const std::string& path) {
  const std::size_t dot = path.find_last_of('.');
  return (dot == std::string::npos || dot < NameStart(path)) ? std::string() : path.substr(dot);
}

IClient* TOLVEX_STDCALL FakeGetClientInterface() {
  Record("ClientAPI_GetClientInterface", {});
  IClient* client = Host().ClientInterface;
  if (client) client->AddRef();
  return client;
}

void TOLVEX_STDCALL FakeForceFileNameExtension(const char* path, const char* extension, char* result,
                                               std::int32_t resultSize) {
  Record("ClientAPI_ForceFileNameExtension", {Text(path), Text(extension)});
  std::string p = Text(path);
  p.resize(p.size() - ExtensionOf(p).size());
  CopyCut(p + "." + Text(extension), result, resultSize);
}

void TOLVEX_STDCALL FakeExtractWholeFileNameFromPath(const char* path, char* result, std::int32_t resultSize) {
  Record("ClientAPI_ExtractWholeFileNameFromPath", {Text(path)});
  const std::string p = Text(path);
  CopyCut(p.substr(NameStart(p)), result, resultSize);
}

TBool32 TOLVEX_STDCALL FakeDeleteFile(const char* path, std::int32_t flag) {
  Record("VFSAPI_VFS_DeleteFile", {Text(path), std::to_string(flag)});
  return Host().Files.erase(Text(path)) ? TRUE32 : FALSE32;
}

TBool32 TOLVEX_STDCALL FakeFileExists(const char* path, std::int32_t flag) {
  Record("VFSAPI_VFS_FileExists", {Text(path), std::to_string(flag)});
  return Host().Files.count(Text(path)) ? TRUE32 : FALSE32;
}

// The host's state of one open text file.
struct TOpenTextFile {
  std::vector<std::string> Lines;
  std::size_t Next = 0;
};

const char* TOLVEX_STDCALL FakeReadLine(TVfsTextFile* file, std::int32_t* length) {
  auto* open = static_cast<TOpenTextFile*>(file->HostData);
  if (!open || open->Next >= open->Lines.size()) return nullptr;
  const std::string& line = open->Lines[open->Next++];
  if (length) *length = static_cast<std::int32_t>(line.size());
  return line.c_str();
}

void TOLVEX_STDCALL FakeClose(TVfsTextFile* file) {
  delete static_cast<TOpenTextFile*>(file->HostData);
  file->HostData = nullptr;
  if (Fake) --Fake->OpenTextFiles;
}

TBool32 TOLVEX_STDCALL FakeAssign(TVfsTextFile* file, const char* path) {
  Record("VFSAPI_VFSAssign", {Text(path)});
  auto it = Host().Files.find(Text(path));
  if (!file || it == Host().Files.end()) return FALSE32;
  file->HostData = new TOpenTextFile{it->second, 0};
  file->ReadLine = &FakeReadLine;
  file->Close = &FakeClose;
  ++Host().OpenTextFiles;
  return TRUE32;
}

void TOLVEX_STDCALL FakeExtractFileExt(const char* path, char* result, std::int32_t resultSize) {
  Record("VFSAPI_VFS_ExtractFileExt", {Text(path)});
  CopyCut(ExtensionOf(Text(path)), result, resultSize);
}

void TOLVEX_STDCALL FakeExtractFileName(const char* path, char* result, std::int32_t resultSize) {
  Record("VFSAPI_VFS_ExtractFileName", {Text(path)});
  const std::string p = Text(path);
  CopyCut(p.substr(NameStart(p)), result, resultSize);
}

void TOLVEX_STDCALL FakeExtractFileDir(const char* path, char* result, std::int32_t resultSize) {
  Record("VFSAPI_VFS_ExtractFileDir", {Text(path)});
  const std::string p = Text(path);
  const std::size_t start = NameStart(p);
  CopyCut(start == 0 ? std::string() : p.substr(0, start - 1), result, resultSize);
}

TBool32 TOLVEX_STDCALL FakeIsVFSFileName(const char* path) {
  Record("VFSAPI_VFS_IsVFSFileName", {Text(path)});
  return Host().IsVirtual && Host().IsVirtual(Text(path)) ? TRUE32 : FALSE32;
}

void TOLVEX_STDCALL FakeGetExternalPathForFile(const char* path, char* result, std::int32_t resultSize) {
  Record("VFSAPI_VFS_GetExternalPathForFile", {Text(path)});
  CopyCut(Host().ExternalPath ? Host().ExternalPath(Text(path)) : Text(path), result, resultSize);
}

void* ResolveFake(const char* name) {
  static const std::map<std::string, void*> exports = {
      {"ClientAPI_GetClientInterface", reinterpret_cast<void*>(&FakeGetClientInterface)},
      {"ClientAPI_ForceFileNameExtension", reinterpret_cast<void*>(&FakeForceFileNameExtension)},
      {"ClientAPI_ExtractWholeFileNameFromPath", reinterpret_cast<void*>(&FakeExtractWholeFileNameFromPath)},
      {"VFSAPI_VFS_DeleteFile", reinterpret_cast<void*>(&FakeDeleteFile)},
      {"VFSAPI_VFS_FileExists", reinterpret_cast<void*>(&FakeFileExists)},
      {"VFSAPI_VFSAssign", reinterpret_cast<void*>(&FakeAssign)},
      {"VFSAPI_VFS_ExtractFileExt", reinterpret_cast<void*>(&FakeExtractFileExt)},
      {"VFSAPI_VFS_ExtractFileName", reinterpret_cast<void*>(&FakeExtractFileName)},
      {"VFSAPI_VFS_ExtractFileDir", reinterpret_cast<void*>(&FakeExtractFileDir)},
      {"VFSAPI_VFS_IsVFSFileName", reinterpret_cast<void*>(&FakeIsVFSFileName)},
      {"VFSAPI_VFS_GetExternalPathForFile", reinterpret_cast<void*>(&FakeGetExternalPathForFile)},
  };
  const std::string wanted = Text(name);
  if (std::find(Host().Missing.begin(), Host().Missing.end(), wanted) != Host().Missing.end()) return nullptr;
  auto it = exports.find(wanted);
  if (it == exports.end()) {
    ADD_FAILURE() << "TFakeHostExports: export \"" << wanted << "\" asked for, which this fake does not offer yet";
    return nullptr;
  }
  return it->second;
}

}  // namespace

TFakeHostExports::TFakeHostExports() {
  if (Fake) ADD_FAILURE() << "TFakeHostExports: a second instance while one is live";
  Fake = this;
  Rebind();
}

TFakeHostExports::~TFakeHostExports() {
  ClearHostExports();
  if (OpenTextFiles != 0) ADD_FAILURE() << "TFakeHostExports: " << OpenTextFiles << " text file(s) left open";
  if (Fake == this) Fake = nullptr;
}

void TFakeHostExports::Rebind() { BindHostExports(&ResolveFake); }

std::vector<TFakeHostExports::TCall> TFakeHostExports::CallsTo(const std::string& exportName) const {
  std::vector<TCall> calls;
  for (const TCall& call : Calls)
    if (call.Export == exportName) calls.push_back(call);
  return calls;
}

TFakeHostExports* TFakeHostExports::Current() { return Fake; }

}  // namespace tolvex::test
