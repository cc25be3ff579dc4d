// The workspace stand-in: projects with their paths, project files with their compiled designs, the files
// generated for them, and failure injection.
#include "Fenwarden.h"

#include <atomic>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "DesignObjects.h"
#include "ProjectFile.h"
#include "host/HostApi.h"
#include "host/InterfacePtr.h"
#include "support/TextConversion.h"

using namespace tolvex;
using namespace fenwarden;

namespace {

TFenwardenObserver Observer = nullptr;
void* ObserverContext = nullptr;
std::set<std::string> Failing;

void Tell(const char* operation, const std::string& project, const std::string& detail) {
  if (Observer) Observer(ObserverContext, operation, project.c_str(), detail.c_str());
}

bool Fails(const char* operation) { return Failing.count(operation) != 0; }

std::string JoinLines(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : "\n") + item;
  return text;
}

class TProject final : public IProject {
 public:
  explicit TProject(std::string path) : FPath(std::move(path)) {}
  TProject(TProjectFile file, TInterfacePtr<TDesign> design)
      : FPath(file.Path), FFile(std::move(file)), FDesign(std::move(design)) {}

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
  // The flattened document of a compiled project that asks for one; none otherwise.
  HRESULT32 TOLVEX_STDCALL GetCompiledDocument(IDesignDocument** document) override {
    if (!document) return E_FAIL32;
    *document = nullptr;
    if (Fails("GetCompiledDocument")) return E_FAIL32;
    if (TDesignDocument* flattened = FDesign ? FDesign->Flattened() : nullptr) {
      flattened->AddRef();
      *document = flattened;
    }
    return S_OK32;
  }
  // A project without a compiled design has empty lists.
  HRESULT32 TOLVEX_STDCALL GetDocumentCount(std::int32_t list, std::int32_t* count) override {
    if (!count) return E_FAIL32;
    *count = 0;
    if (Fails("GetDocumentCount") || (list != 0 && list != 1)) return E_FAIL32;
    if (FDesign) *count = FDesign->DocumentCount(list);
    return S_OK32;
  }
  HRESULT32 TOLVEX_STDCALL GetDocument(std::int32_t list, std::int32_t index, IDesignDocument** document) override {
    if (!document) return E_FAIL32;
    *document = nullptr;
    if (Fails("GetDocument") || !FDesign || (list != 0 && list != 1)) return E_FAIL32;
    if (index < 0 || index >= FDesign->DocumentCount(list)) return E_FAIL32;
    TDesignDocument& result = FDesign->Document(list, static_cast<std::size_t>(index));
    result.AddRef();
    *document = &result;
    return S_OK32;
  }

  const std::string& Path() const { return FPath; }
  const std::optional<TProjectFile>& File() const { return FFile; }
  bool HasDesign() const { return static_cast<bool>(FDesign); }

  // Compiles the design again from the project's documents. A failure keeps the design there was.
  bool Compile(std::string& error) {
    if (!FFile) return true;
    try {
      auto design = TInterfacePtr<TDesign>::Attach(TDesign::Create(CompileDesign(*FFile)));
      FDesign = std::move(design);
      return true;
    } catch (const std::exception& e) {
      error = e.what();
      return false;
    }
  }

  std::optional<std::string> Text(const std::string& item) const {
    if (item == "path") return FPath;
    if (item == "compiled") return std::string(FDesign ? "true" : "false");
    if (!FFile) return item == "title" || item == "documents" || item == "secondDocuments" ||
                               item == "modelFolders" || item == "analyses" || item == "options"
                           ? std::optional<std::string>(std::string())
                           : std::nullopt;
    if (item == "title") return FFile->Title;
    if (item == "documents") return JoinLines(FFile->Documents[0]);
    if (item == "secondDocuments") return JoinLines(FFile->Documents[1]);
    if (item == "modelFolders") return JoinLines(FFile->ModelFolders);
    if (item == "analyses") return JoinLines(FFile->Analyses);
    if (item == "options") {
      std::vector<std::string> options;
      for (const auto& [name, value] : FFile->Options) options.push_back(value.empty() ? name : name + "=" + value);
      return JoinLines(options);
    }
    return std::nullopt;
  }

 private:
  std::string FPath;
  std::optional<TProjectFile> FFile;
  TInterfacePtr<TDesign> FDesign;
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
    *project = Focused();
    if (*project) (*project)->AddRef();
    return S_OK32;
  }
  // Compiles every compiled project again from its files, and those opened uncompiled for the first time. A
  // project that fails keeps the design it had; the request then fails.
  HRESULT32 TOLVEX_STDCALL PrepareForSimulation() override {
    Tell("PrepareForSimulation", "", "");
    if (Fails("PrepareForSimulation")) return E_FAIL32;
    bool failed = false;
    for (TProject* project : FProjects) {
      if (!project->File()) continue;
      std::string error;
      const bool compiled = project->Compile(error);
      Tell("Compile", project->Path(), compiled ? "compiled" : error);
      failed = failed || !compiled;
    }
    return failed ? E_FAIL32 : S_OK32;
  }

  std::int32_t Add(const std::string& path) {
    FProjects.push_back(new TProject(path));
    return static_cast<std::int32_t>(FProjects.size() - 1);
  }

  std::int32_t Open(const std::string& path, std::string& error) {
    const std::string normalised = NormalisePath(path);
    for (std::size_t i = 0; i < FProjects.size(); ++i)
      if (FProjects[i]->File() && FProjects[i]->Path() == normalised) {
        Tell("OpenProject", normalised, "open already");
        return static_cast<std::int32_t>(i);
      }
    try {
      TProjectFile file = ReadProjectFile(path);
      // The documents are read and checked even for a project left uncompiled, so that a bad one is refused now.
      TInterfacePtr<TDesign> design = TInterfacePtr<TDesign>::Attach(TDesign::Create(CompileDesign(file)));
      if (!file.Compiled) design.Reset();
      const bool compiled = static_cast<bool>(design);
      FProjects.push_back(new TProject(std::move(file), std::move(design)));
      Tell("OpenProject", normalised, compiled ? "compiled" : "not compiled");
      return static_cast<std::int32_t>(FProjects.size() - 1);
    } catch (const std::exception& e) {
      error = e.what();
      Tell("OpenProject", normalised, error);
      return -1;
    }
  }

  bool SetFocused(std::int32_t index) {
    if (index < -1 || index >= static_cast<std::int32_t>(FProjects.size())) return false;
    FFocused = index;
    FFocusChosen = true;
    return true;
  }

  TProject* Project(std::int32_t index) const {
    return index >= 0 && index < static_cast<std::int32_t>(FProjects.size()) ? FProjects[index] : nullptr;
  }

  ~TWorkspace() {
    for (TProject* p : FProjects) delete p;
  }

 private:
  TProject* Focused() const {
    if (!FFocusChosen) return FProjects.empty() ? nullptr : FProjects.front();
    return Project(FFocused);
  }

  std::vector<TProject*> FProjects;
  std::int32_t FFocused = -1;
  bool FFocusChosen = false;
  std::atomic<std::uint32_t> FRefs{1};
};

TWorkspace& Workspace() {
  static TWorkspace workspace;
  return workspace;
}

void PutText(const std::string& text, char* buffer, std::int32_t size) {
  if (!buffer || size <= 0) return;
  const std::size_t n = std::min(text.size(), static_cast<std::size_t>(size - 1));
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
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

TOLVEX_EXPORT std::int32_t TOLVEX_STDCALL Fenwarden_OpenProject(const char* path, char* error,
                                                                std::int32_t errorSize) {
  std::string message;
  std::int32_t index = -1;
  if (!path || !*path) {
    message = "no project file named";
  } else {
    try {
      index = Workspace().Open(path, message);
    } catch (const std::exception& e) {
      message = std::string("cannot open ") + path + ": " + e.what();
    }
  }
  PutText(index < 0 ? message : std::string(), error, errorSize);
  return index;
}

TOLVEX_EXPORT TBool32 TOLVEX_STDCALL Fenwarden_SetFocusedProject(std::int32_t index) {
  return Workspace().SetFocused(index) ? TRUE32 : FALSE32;
}

TOLVEX_EXPORT std::int32_t TOLVEX_STDCALL Fenwarden_GetProjectText(std::int32_t index, const char* item, char* buffer,
                                                                   std::int32_t bufferSize) {
  const TProject* project = Workspace().Project(index);
  const std::optional<std::string> text = project && item ? project->Text(item) : std::nullopt;
  if (!text) {
    PutText("", buffer, bufferSize);
    return -1;
  }
  PutText(*text, buffer, bufferSize);
  return static_cast<std::int32_t>(text->size());
}

TOLVEX_EXPORT std::int32_t TOLVEX_STDCALL Fenwarden_GetLiveDesignCount() { return TDesign::LiveCount(); }

}  // extern "C"
