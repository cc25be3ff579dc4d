// The workspace stand-in: projects with their paths, the files generated for them, and failure injection.
#include "Fenwarden.h"

#include <atomic>
#include <set>
#include <string>
#include <vector>

#include "host/HostApi.h"
#include "host/InterfacePtr.h"

using namespace tolvex;

namespace {

TFenwardenObserver Observer = nullptr;
void* ObserverContext = nullptr;
std::set<std::string> Failing;

void Tell(const char* operation, const std::string& project, const std::string& detail) {
  if (Observer) Observer(ObserverContext, operation, project.c_str(), detail.c_str());
}

bool Fails(const char* operation) { return Failing.count(operation) != 0; }

class TProject final : public IProject {
 public:
  explicit TProject(std::string path) : FPath(std::move(path)) {}
  HRESULT32 TOLVEX_STDCALL QueryInterface(const TGUID& iid, void** object) override {
    if (!object) return E_NOINTERFACE32;
    if (iid == IID_IProject || iid == IID_IInterface) {
      *object = static_cast<IProject*>(this);
      AddRef();
      return S_OK32;
    }
    *object = nullptr;
    return E_NOINTERFACE32;
  }
  // Projects live as long as the workspace module.
  std::uint32_t TOLVEX_STDCALL AddRef() override { return ++FRefs; }
  std::uint32_t TOLVEX_STDCALL Release() override { return --FRefs; }

  HRESULT32 TOLVEX_STDCALL GetFullPath(char16_t* buffer, std::int32_t bufferChars) override {
    Tell("GetFullPath", FPath, "");
    if (Fails("GetFullPath")) return E_FAIL32;
    if (!buffer || bufferChars <= 0) return E_FAIL32;
    const std::u16string wide = NarrowToWide(FPath);
    const std::size_t n = std::min(wide.size(), static_cast<std::size_t>(bufferChars - 1));
    wide.copy(buffer, n);
    buffer[n] = u'\0';
    return S_OK32;
  }
  HRESULT32 TOLVEX_STDCALL AddGeneratedFile(const char16_t* path) override {
    const std::string file = WideToNarrow(path);
    Tell("AddGeneratedFile", FPath, file);
    if (Fails("AddGeneratedFile")) return E_FAIL32;
    FGenerated.push_back(file);
    return S_OK32;
  }
  // This workspace keeps no compiled design yet: a project that has not been compiled.
  HRESULT32 TOLVEX_STDCALL GetCompiledDocument(IDesignDocument** document) override {
    if (!document) return E_FAIL32;
    *document = nullptr;
    return S_OK32;
  }
  HRESULT32 TOLVEX_STDCALL GetDocumentCount(std::int32_t, std::int32_t* count) override {
    if (!count) return E_FAIL32;
    *count = 0;
    return S_OK32;
  }
  HRESULT32 TOLVEX_STDCALL GetDocument(std::int32_t, std::int32_t, IDesignDocument** document) override {
    if (document) *document = nullptr;
    return E_FAIL32;
  }

 private:
  std::string FPath;
  std::vector<std::string> FGenerated;
  std::atomic<std::uint32_t> FRefs{1};
};

class TWorkspace final : public IWorkspace {
 public:
  HRESULT32 TOLVEX_STDCALL QueryInterface(const TGUID& iid, void** object) override {
    if (!object) return E_NOINTERFACE32;
    if (iid == IID_IWorkspace || iid == IID_IInterface) {
      *object = static_cast<IWorkspace*>(this);
      AddRef();
      return S_OK32;
    }
    *object = nullptr;
    return E_NOINTERFACE32;
  }
  std::uint32_t TOLVEX_STDCALL AddRef() override { return ++FRefs; }
  std::uint32_t TOLVEX_STDCALL Release() override { return --FRefs; }

  HRESULT32 TOLVEX_STDCALL GetProjectCount(std::int32_t* count) override {
    Tell("GetProjectCount", "", std::to_string(FProjects.size()));
    if (Fails("GetProjectCount") || !count) return E_FAIL32;
    *count = static_cast<std::int32_t>(FProjects.size());
    return S_OK32;
  }
  HRESULT32 TOLVEX_STDCALL GetProject(std::int32_t index, IProject** project) override {
    Tell("GetProject", "", std::to_string(index));
    if (Fails("GetProject") || !project) return E_FAIL32;
    *project = nullptr;
    if (index < 0 || index >= static_cast<std::int32_t>(FProjects.size())) return E_FAIL32;
    *project = FProjects[index];
    (*project)->AddRef();
    return S_OK32;
  }
  HRESULT32 TOLVEX_STDCALL GetFocusedProject(IProject** project) override {
    Tell("GetFocusedProject", "", "");
    if (Fails("GetFocusedProject") || !project) return E_FAIL32;
    *project = FProjects.empty() ? nullptr : FProjects.front();
    if (*project) (*project)->AddRef();
    return S_OK32;
  }
  HRESULT32 TOLVEX_STDCALL PrepareForSimulation() override {
    Tell("PrepareForSimulation", "", "");
    return Fails("PrepareForSimulation") ? E_FAIL32 : S_OK32;
  }

  std::int32_t Add(const std::string& path) {
    FProjects.push_back(new TProject(path));
    return static_cast<std::int32_t>(FProjects.size() - 1);
  }
  ~TWorkspace() {
    for (TProject* p : FProjects) delete p;
  }

 private:
  std::vector<TProject*> FProjects;
  std::atomic<std::uint32_t> FRefs{1};
};

TWorkspace& Workspace() {
  static TWorkspace workspace;
  return workspace;
}

}  // namespace

extern "C" {

TOLVEX_EXPORT HRESULT32 TOLVEX_STDCALL GetWorkspace(IWorkspace** workspace) {
  Tell("GetWorkspace", "", "");
  if (!workspace) return E_FAIL32;
  *workspace = nullptr;
  if (Fails("GetWorkspace")) return E_FAIL32;
  *workspace = &Workspace();
  Workspace().AddRef();
  return S_OK32;
}

TOLVEX_EXPORT std::int32_t TOLVEX_STDCALL Fenwarden_AddProject(const char* path) {
  return Workspace().Add(path ? path : "");
}

TOLVEX_EXPORT void TOLVEX_STDCALL Fenwarden_SetObserver(TFenwardenObserver observer, void* context) {
  Observer = observer;
  ObserverContext = context;
}

TOLVEX_EXPORT void TOLVEX_STDCALL Fenwarden_SetFailure(const char* operation) {
  if (operation) Failing.insert(operation);
}

}  // extern "C"
