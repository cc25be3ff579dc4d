// tolvex-probe's stand-in for a design host: the modules from its own folder, the file helpers the core binds
// by name, and a client with one view.
#include "ProbeHost.h"

#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "common/RegularFile.h"
#include "host/HostApi.h"
#include "host/HostExports.h"
#include "host/SchServerApi.h"
#include "os/Os.h"
#include "schematic_server/Pravik.h"
#include "support/TextUtils.h"
#include "workspace/Fenwarden.h"

namespace tolvex::probe {

namespace fs = std::filesystem;

namespace {

// The module the schematic-server binding resolves its exports in (a resolver is a plain function).
void* SchematicServerModule = nullptr;

void* ResolveSchematicServerExport(const char* name) { return os::FindExport(SchematicServerModule, name); }

void CopyOut(const std::string& text, char* result, std::int32_t resultSize) {
  if (!result || resultSize <= 0) return;
  const std::size_t n = std::min(text.size(), static_cast<std::size_t>(resultSize - 1));
  std::memcpy(result, text.data(), n);
  result[n] = '\0';
}

std::string In(const char* text) { return text ? text : ""; }

std::size_t NameStart(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

// The host helpers the model-data and template code call, over plain file-system paths. There is no virtual file
// system here: VFSAPI_VFS_IsVFSFileName stays unbound and so answers false for every path.

TBool32 TOLVEX_STDCALL FileExists(const char* path, std::int32_t) {
  std::error_code error;
  return fs::is_regular_file(fs::path(In(path)), error) ? TRUE32 : FALSE32;
}

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

// Only a regular file is read, as in the host: a FIFO would wait for a writer, a device might never end.
TBool32 TOLVEX_STDCALL Assign(TVfsTextFile* file, const char* path) {
  if (!file) return FALSE32;
  auto reader = std::make_unique<standins::TTextLineReader>();
  std::string error;
  if (!reader->Open(In(path), error)) return FALSE32;
  file->HostData = reader.release();
  file->ReadLine = &ReadLine;
  file->Close = &CloseFile;
  return TRUE32;
}

void TOLVEX_STDCALL ExtractFileExt(const char* path, char* result, std::int32_t resultSize) {
  const std::string p = In(path);
  const std::size_t dot = p.find_last_of('.');
  CopyOut(dot == std::string::npos || dot < NameStart(p) ? std::string() : p.substr(dot), result, resultSize);
}

void TOLVEX_STDCALL ExtractFileName(const char* path, char* result, std::int32_t resultSize) {
  const std::string p = In(path);
  CopyOut(p.substr(NameStart(p)), result, resultSize);
}

void TOLVEX_STDCALL ExtractFileDir(const char* path, char* result, std::int32_t resultSize) {
  const std::string p = In(path);
  const std::size_t start = NameStart(p);
  CopyOut(start == 0 ? std::string() : start == 1 ? std::string("/") : p.substr(0, start - 1), result, resultSize);
}

void* ResolveHostExport(const char* name) {
  static const struct {
    const char* Name;
    void* Function;
  } kExports[] = {
      {"VFSAPI_VFS_FileExists", reinterpret_cast<void*>(&FileExists)},
      {"VFSAPI_VFSAssign", reinterpret_cast<void*>(&Assign)},
      {"VFSAPI_VFS_ExtractFileExt", reinterpret_cast<void*>(&ExtractFileExt)},
      {"VFSAPI_VFS_ExtractFileName", reinterpret_cast<void*>(&ExtractFileName)},
      {"VFSAPI_VFS_ExtractFileDir", reinterpret_cast<void*>(&ExtractFileDir)},
  };
  for (const auto& entry : kExports)
    if (std::strcmp(entry.Name, name) == 0) return entry.Function;
  return nullptr;
}

std::string ExecutableFolder() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? std::string(".") : self.parent_path().string();
}

bool IsLibraryFile(const std::string& path) {
  const std::string extension = fs::path(path).extension().string();
  return SameText(extension, ".SchLib");
}

}  // namespace

// The host's client as far as the core asks it during a look-up or an expansion: the current view, whose
// document tells a schematic library ("SchLib") from a schematic ("SCH"). The objects live as long as the tool's
// host; references are only counted.
class TProbeClient final : public IClient {
 public:
  TProbeClient() { FDocument.FView = &FView; }

  void SetDocument(const std::string& path, const std::string& kind) {
    FDocument.FPath = path;
    FDocument.FKind = kind;
    FHasView = true;
  }

  HRESULT32 TOLVEX_STDCALL QueryInterface(const TGUID& iid, void** object) override {
    if (!object) return E_NOINTERFACE32;
    *object = nullptr;
    if (!(iid == IID_IClient || iid == IID_IInterface)) return E_NOINTERFACE32;
    *object = static_cast<IClient*>(this);
    AddRef();
    return S_OK32;
  }
  std::uint32_t TOLVEX_STDCALL AddRef() override { return ++FRefs; }
  std::uint32_t TOLVEX_STDCALL Release() override { return --FRefs; }

  IServerDocumentView* TOLVEX_STDCALL GetCurrentView() override {
    if (!FHasView) return nullptr;
    FView.AddRef();
    return &FView;
  }
  IServerDocument* TOLVEX_STDCALL OpenDocument(const char*, const char*) override { return nullptr; }
  IServerDocument* TOLVEX_STDCALL GetDocumentByPath(const char* path) override {
    if (!FHasView || In(path) != FDocument.FPath) return nullptr;
    FDocument.AddRef();
    return &FDocument;
  }
  void TOLVEX_STDCALL ShowDocument(IServerDocument*) override {}
  THandle TOLVEX_STDCALL GetMainWindowHandle() override { return 0; }
  void TOLVEX_STDCALL SetStatusBarState(std::int32_t, const char*) override {}
  std::int32_t TOLVEX_STDCALL GetStatusBarState(std::int32_t, char* buffer, std::int32_t bufferSize) override {
    CopyOut("", buffer, bufferSize);
    return 0;
  }

 private:
  class TDocument final : public IServerDocument {
   public:
    HRESULT32 TOLVEX_STDCALL QueryInterface(const TGUID& iid, void** object) override {
      if (!object) return E_NOINTERFACE32;
      *object = nullptr;
      if (!(iid == IID_IServerDocument || iid == IID_IInterface)) return E_NOINTERFACE32;
      *object = static_cast<IServerDocument*>(this);
      AddRef();
      return S_OK32;
    }
    std::uint32_t TOLVEX_STDCALL AddRef() override { return ++FRefs; }
    std::uint32_t TOLVEX_STDCALL Release() override { return --FRefs; }
    const char* TOLVEX_STDCALL GetFileName() override { return FPath.c_str(); }
    const char* TOLVEX_STDCALL GetKind() override { return FKind.c_str(); }
    IServerModule* TOLVEX_STDCALL GetServerModule() override { return nullptr; }
    std::int32_t TOLVEX_STDCALL GetViewCount() override { return 1; }
    IServerDocumentView* TOLVEX_STDCALL GetView(std::int32_t index) override {
      if (index != 0 || !FView) return nullptr;
      FView->AddRef();
      return FView;
    }
    void TOLVEX_STDCALL SetFileKind(const char*) override {}
    void TOLVEX_STDCALL Refresh() override {}

    std::string FPath;
    std::string FKind;
    IServerDocumentView* FView = nullptr;

   private:
    std::uint32_t FRefs = 1;
  };

  class TView final : public IServerDocumentView {
   public:
    explicit TView(TDocument& document) : FDocument(document) {}
    HRESULT32 TOLVEX_STDCALL QueryInterface(const TGUID& iid, void** object) override {
      if (!object) return E_NOINTERFACE32;
      *object = nullptr;
      if (!(iid == IID_IServerDocumentView || iid == IID_IInterface)) return E_NOINTERFACE32;
      *object = static_cast<IServerDocumentView*>(this);
      AddRef();
      return S_OK32;
    }
    std::uint32_t TOLVEX_STDCALL AddRef() override { return ++FRefs; }
    std::uint32_t TOLVEX_STDCALL Release() override { return --FRefs; }
    IServerDocument* TOLVEX_STDCALL GetOwnerDocument() override {
      FDocument.AddRef();
      return &FDocument;
    }

   private:
    TDocument& FDocument;
    std::uint32_t FRefs = 1;
  };

  TDocument FDocument;
  TView FView{FDocument};
  bool FHasView = false;
  std::uint32_t FRefs = 1;
};

TProbeHost::TProbeHost() : FFolder(ExecutableFolder()), FClient(std::make_unique<TProbeClient>()) {
  BindHostExports(&ResolveHostExport);
  SetModuleClient(FClient.get());
}

TProbeHost::~TProbeHost() {
  ClearHostExports();
  SchServer().Clear();
  SchematicServerModule = nullptr;
  // The plug-in goes before the modules it uses; here nothing of the core holds on to them any more.
  for (auto it = FModules.rbegin(); it != FModules.rend(); ++it) os::ReleaseModule(*it);
}

void* TProbeHost::Load(const char* fileName) {
  const std::string path = FFolder + "/" + fileName;
  std::error_code error;
  if (!fs::exists(path, error))
    throw EProbeError("cannot find " + path + " (tolvex-probe loads it from its own folder)");
  void* module = os::LoadModule(path);
  if (!module) throw EProbeError("cannot load " + path);
  FModules.push_back(module);
  return module;
}

void* TProbeHost::Export(void* module, const char* name) const {
  void* function = os::FindExport(module, name);
  if (!function) throw EProbeError(std::string("the module has no export ") + name);
  return function;
}

void TProbeHost::LoadWorkspace(const std::string& projectPath) {
  std::error_code error;
  if (!fs::exists(projectPath, error)) throw EProbeError("the project " + projectPath + " does not exist");
  const std::string full = fs::absolute(projectPath, error).lexically_normal().string();
  void* module = Load("Fenwarden.dll");
  auto open = reinterpret_cast<TFenwarden_OpenProject>(os::FindExport(module, "Fenwarden_OpenProject"));
  if (!open) {
    // A workspace that reads no project files: a project of that path with no design.
    reinterpret_cast<TFenwarden_AddProject>(Export(module, "Fenwarden_AddProject"))(full.c_str());
    return;
  }
  char message[2048] = {};
  const std::int32_t index = open(full.c_str(), message, sizeof message);
  if (index < 0) throw EProbeError(message[0] ? message : "cannot open the project " + full);
  auto focus = reinterpret_cast<TFenwarden_SetFocusedProject>(os::FindExport(module, "Fenwarden_SetFocusedProject"));
  if (focus) focus(index);
}

void TProbeHost::LoadSchematicServer() {
  FSchematicServer = Load("Pravik.dll");
  // Checked here, so that an incomplete server is named rather than failing later for want of an export.
  Export(FSchematicServer, "Pravik_OpenDocument");
  Export(FSchematicServer, "Pravik_FindComponent");
  SchematicServerModule = FSchematicServer;
  SchServer().Bind(&ResolveSchematicServerExport);
}

void TProbeHost::LoadLibraryManager(const std::vector<std::string>& modelFolders) {
  for (const std::string& folder : modelFolders) {
    std::error_code error;
    if (!fs::is_directory(folder, error)) throw EProbeError("--model-path " + folder + ": not a folder");
  }
  void* module = Load("Quillfold.dll");
  if (modelFolders.empty()) return;
  using TAddModelFolder = void(TOLVEX_STDCALL*)(const char*);
  auto add = reinterpret_cast<TAddModelFolder>(Export(module, "Quillfold_AddModelFolder"));
  for (const std::string& folder : modelFolders) add(folder.c_str());
}

THandle TProbeHost::OpenSchematic(const std::string& path) {
  auto open = reinterpret_cast<TPravik_OpenDocument>(Export(FSchematicServer, "Pravik_OpenDocument"));
  char error[2048] = {};
  const THandle document = open(path.c_str(), error, sizeof error);
  if (!document) throw EProbeError(error[0] ? error : "cannot load " + path);
  FClient->SetDocument(path, IsLibraryFile(path) ? "SchLib" : "SCH");
  return document;
}

void TProbeHost::FindComponent(THandle document, const std::string& path, const std::string& designator,
                                 THandle& component, THandle& implementation) const {
  auto find = reinterpret_cast<TPravik_FindComponent>(Export(FSchematicServer, "Pravik_FindComponent"));
  component = implementation = 0;
  if (!find(document, designator.c_str(), &component, &implementation) || !component)
    throw EProbeError(path + ": no component with the designator \"" + designator + "\"");
}

}  // namespace tolvex::probe
