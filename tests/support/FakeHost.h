// Hand-written fakes of the host, its documents and its workspace, shared by the unit tests.
//
// Every fake is owned by the test (on the stack or in a fixture) and counts the
// references others take: References() is what is still held, and a fake that
// is destroyed while someone still holds it, or is released more often than it
// was referenced, fails the test. Returned interface pointers carry a reference,
// as the host's do, so code that forgets a Release shows up as a leak.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/HostApi.h"
#include "host/HostExports.h"
#include "host/HostInterfaces.h"
#include "ui/UiBackend.h"

namespace tolvex::test {

// The reference-counting part of every fake: answers QueryInterface for its own
// identity (and IInterface) and never deletes itself.
template <class I, const TGUID& Iid>
class TFakeInterface : public I {
 public:
  explicit TFakeInterface(std::string fakeName) : FFakeName(std::move(fakeName)) {}
  TFakeInterface(const TFakeInterface&) = delete;
  TFakeInterface& operator=(const TFakeInterface&) = delete;
  virtual ~TFakeInterface() {
    if (FReferences != 0)
      ADD_FAILURE() << FFakeName << " destroyed while " << FReferences << " reference(s) are still held";
  }

  HRESULT32 TOLVEX_STDCALL QueryInterface(const TGUID& iid, void** object) override {
    if (!object) return E_NOINTERFACE32;
    if (iid == Iid || iid == IID_IInterface) {
      *object = static_cast<I*>(this);
      AddRef();
      return S_OK32;
    }
    return QueryOtherInterface(iid, object);
  }
  std::uint32_t TOLVEX_STDCALL AddRef() override {
    ++FAddRefCalls;
    return static_cast<std::uint32_t>(++FReferences + 1);
  }
  std::uint32_t TOLVEX_STDCALL Release() override {
    ++FReleaseCalls;
    if (FReferences == 0) {
      ADD_FAILURE() << FFakeName << " released more often than it was referenced";
      return 1;
    }
    return static_cast<std::uint32_t>(--FReferences + 1);
  }

  // References taken by others and not yet given back (the test's own is not counted).
  int References() const { return FReferences; }
  int AddRefCalls() const { return FAddRefCalls; }
  int ReleaseCalls() const { return FReleaseCalls; }
  const std::string& FakeName() const { return FFakeName; }

 protected:
  // Further interfaces a fake offers; the default offers none.
  virtual HRESULT32 QueryOtherInterface(const TGUID&, void** object) {
    *object = nullptr;
    return E_NOINTERFACE32;
  }
  // Hands Raw out as a method result: with a reference for the caller.
  template <class T>
  static T* Handout(T* raw) {
    if (raw) raw->AddRef();
    return raw;
  }

 private:
  std::string FFakeName;
  int FReferences = 0;
  int FAddRefCalls = 0;
  int FReleaseCalls = 0;
};

// A server module that is nothing but a name: the owner of other servers' documents.
// Any operation other than GetModuleName fails the test.
class FakeServerModule final : public TFakeInterface<IServerModule, IID_IServerModule> {
 public:
  explicit FakeServerModule(std::string name);

  std::string Name;

  void TOLVEX_STDCALL Idle() override;
  void TOLVEX_STDCALL ReceiveNotification(IInterface*) override;
  IServerDocument* TOLVEX_STDCALL CreateDocument(std::int32_t, std::int32_t) override;
  void TOLVEX_STDCALL DestroyDocument(IServerDocument*) override;
  IClient* TOLVEX_STDCALL GetClient() override;
  ICommandLauncher* TOLVEX_STDCALL GetCommandLauncher() override;
  std::int32_t TOLVEX_STDCALL GetDocumentCount() override;
  IServerDocument* TOLVEX_STDCALL GetDocument(std::int32_t) override;
  THandle TOLVEX_STDCALL GetInstanceHandle() override;
  const char* TOLVEX_STDCALL GetModuleName() override { return Name.c_str(); }
  IProcessControl* TOLVEX_STDCALL GetProcessControl() override;
  std::int32_t TOLVEX_STDCALL GetSecondaryCount() override;
  IInterface* TOLVEX_STDCALL GetSecondary(std::int32_t) override;
  std::int32_t TOLVEX_STDCALL GetExtendedInfo() override;

 private:
  void Unexpected(const char* operation);
};

// A view; its document is not owned (the test owns both).
class FakeView final : public TFakeInterface<IServerDocumentView, IID_IServerDocumentView> {
 public:
  explicit FakeView(IServerDocument* document = nullptr);

  IServerDocument* Document;

  IServerDocument* TOLVEX_STDCALL GetOwnerDocument() override { return Handout(Document); }
};

// A document: a file name, a kind, the server that serves it (not owned) and its views (not owned).
// GetView of an index it does not have answers none, and in Strict mode fails the test.
class FakeDocument final : public TFakeInterface<IServerDocument, IID_IServerDocument> {
 public:
  explicit FakeDocument(std::string fileName = {}, IServerModule* serverModule = nullptr, std::string kind = "Text");

  std::string FileName;
  std::string Kind;
  IServerModule* ServerModule;
  std::vector<IServerDocumentView*> Views;
  bool Strict = false;

  std::vector<std::string> SetFileKindCalls;
  int RefreshCalls = 0;

  const char* TOLVEX_STDCALL GetFileName() override { return FileName.c_str(); }
  const char* TOLVEX_STDCALL GetKind() override { return Kind.c_str(); }
  IServerModule* TOLVEX_STDCALL GetServerModule() override { return Handout(ServerModule); }
  std::int32_t TOLVEX_STDCALL GetViewCount() override { return static_cast<std::int32_t>(Views.size()); }
  IServerDocumentView* TOLVEX_STDCALL GetView(std::int32_t index) override;
  void TOLVEX_STDCALL SetFileKind(const char* kind) override;
  void TOLVEX_STDCALL Refresh() override { ++RefreshCalls; }
};

// The host's process launcher, reached through FakeClient::QueryInterface.
class FakeProcessLauncher final : public TFakeInterface<IProcessLauncher, IID_IProcessLauncher> {
 public:
  FakeProcessLauncher();

  struct TRun {
    std::string Process;
    std::string Parameters;  // as passed in, before the result was written back
    std::int32_t BufferSize;
    IServerDocumentView* View;
  };
  std::vector<TRun> Runs;
  // Written back into the caller's parameter buffer (cut to its size) when not empty.
  std::string ResultParameters;
  std::int32_t Result = 0;

  std::int32_t TOLVEX_STDCALL RunProcess(const char* process, char* parameters, std::int32_t bufferSize,
                                         IServerDocumentView* view) override;
};

// The host client. Documents it opens or knows by path are registered by the
// test (not owned); in Strict mode opening or looking up a path that was not
// registered fails the test.
class FakeClient final : public TFakeInterface<IClient, IID_IClient> {
 public:
  FakeClient();

  struct TOpen {
    std::string Kind;
    std::string Path;
  };
  struct TStatusCall {
    std::int32_t Index;
    std::string Text;
  };

  bool Strict = false;
  // When false the client offers no process launcher.
  bool OffersProcessLauncher = true;
  IServerDocumentView* CurrentView = nullptr;
  THandle MainWindow = 0x7A11;
  // What OpenDocument returns for a path (letter case as given).
  std::map<std::string, IServerDocument*> Openable;
  // What GetDocumentByPath returns for a path: the documents already open.
  std::map<std::string, IServerDocument*> OpenDocuments;
  FakeProcessLauncher ProcessLauncher;

  std::vector<TOpen> OpenDocumentCalls;
  std::vector<std::string> GetDocumentByPathCalls;
  std::vector<IServerDocument*> ShowDocumentCalls;
  std::vector<TStatusCall> StatusBarCalls;
  // The text panels as the status bar would show them (index 2 and any other non-negative one).
  std::map<std::int32_t, std::string> StatusPanels;

  IServerDocumentView* TOLVEX_STDCALL GetCurrentView() override { return Handout(CurrentView); }
  IServerDocument* TOLVEX_STDCALL OpenDocument(const char* kind, const char* path) override;
  IServerDocument* TOLVEX_STDCALL GetDocumentByPath(const char* path) override;
  void TOLVEX_STDCALL ShowDocument(IServerDocument* document) override { ShowDocumentCalls.push_back(document); }
  THandle TOLVEX_STDCALL GetMainWindowHandle() override { return MainWindow; }
  void TOLVEX_STDCALL SetStatusBarState(std::int32_t index, const char* text) override;
  std::int32_t TOLVEX_STDCALL GetStatusBarState(std::int32_t index, char* buffer, std::int32_t bufferSize) override;

 protected:
  HRESULT32 QueryOtherInterface(const TGUID& iid, void** object) override;
};

// A project with a wide full path; each operation's status can be made to fail.
class FakeProject final : public TFakeInterface<IProject, IID_IProject> {
 public:
  explicit FakeProject(std::u16string fullPath = {});

  std::u16string FullPath;
  HRESULT32 FullPathStatus = S_OK32;
  HRESULT32 AddGeneratedFileStatus = S_OK32;
  std::vector<std::u16string> AddedFiles;

  // The compiled design (not owned): the flattened document, or the two document lists.
  IDesignDocument* CompiledDocument = nullptr;
  std::vector<IDesignDocument*> Documents[2];
  HRESULT32 DesignStatus = S_OK32;

  HRESULT32 TOLVEX_STDCALL GetFullPath(char16_t* buffer, std::int32_t bufferChars) override;
  HRESULT32 TOLVEX_STDCALL AddGeneratedFile(const char16_t* path) override;
  HRESULT32 TOLVEX_STDCALL GetCompiledDocument(IDesignDocument** document) override;
  HRESULT32 TOLVEX_STDCALL GetDocumentCount(std::int32_t list, std::int32_t* count) override;
  HRESULT32 TOLVEX_STDCALL GetDocument(std::int32_t list, std::int32_t index, IDesignDocument** document) override;
};

// A workspace over projects the test owns; each operation's status can be made to fail.
class FakeWorkspace final : public TFakeInterface<IWorkspace, IID_IWorkspace> {
 public:
  FakeWorkspace();

  std::vector<IProject*> Projects;
  // Index into Projects of the focused project; -1 for none.
  int FocusedProject = -1;
  HRESULT32 ProjectCountStatus = S_OK32;
  HRESULT32 ProjectStatus = S_OK32;
  HRESULT32 FocusedProjectStatus = S_OK32;
  HRESULT32 PrepareStatus = S_OK32;
  int PrepareCalls = 0;

  HRESULT32 TOLVEX_STDCALL GetProjectCount(std::int32_t* count) override;
  HRESULT32 TOLVEX_STDCALL GetProject(std::int32_t index, IProject** project) override;
  HRESULT32 TOLVEX_STDCALL GetFocusedProject(IProject** project) override;
  HRESULT32 TOLVEX_STDCALL PrepareForSimulation() override;
};

// Makes GetWorkspace hand out Workspace (none when nullptr) with Status, for
// the scope; the default lookup comes back afterwards.
class TScopedWorkspace {
 public:
  explicit TScopedWorkspace(IWorkspace* workspace, HRESULT32 status = S_OK32);
  ~TScopedWorkspace();
  TScopedWorkspace(const TScopedWorkspace&) = delete;
  TScopedWorkspace& operator=(const TScopedWorkspace&) = delete;
  int Calls() const;
};

// Records every message box of the scope and answers from a script (the
// default button when the script is empty); the backend that was current
// comes back afterwards.
class TScopedMessageBoxes {
 public:
  TScopedMessageBoxes() = default;
  TScopedMessageBoxes(const TScopedMessageBoxes&) = delete;
  TScopedMessageBoxes& operator=(const TScopedMessageBoxes&) = delete;

  void QueueAnswer(ui::TModalResult answer) { FBackend.QueueAnswer(answer); }
  const std::vector<ui::THeadlessUiBackend::TRecord>& Records() const { return FBackend.Records(); }
  ui::THeadlessUiBackend& Backend() { return FBackend; }

 private:
  ui::THeadlessUiBackend FBackend;
  ui::TScopedUiBackend FScope{FBackend};  // declared after the backend: ends before it
};

// Sets the module-wide client for the scope and clears it afterwards, so the
// client's reference is given back before the fake is destroyed.
class TScopedModuleClient {
 public:
  explicit TScopedModuleClient(IClient* client) { SetModuleClient(client); }
  ~TScopedModuleClient() { SetModuleClient(nullptr); }
  TScopedModuleClient(const TScopedModuleClient&) = delete;
  TScopedModuleClient& operator=(const TScopedModuleClient&) = delete;
};

// The host executable's helper exports over an in-memory file system, bound for
// the scope (ClearHostExports afterwards, which also clears the module-wide
// client). One instance at a time: the exports are plain functions.
class TFakeHostExports {
 public:
  TFakeHostExports();
  ~TFakeHostExports();
  TFakeHostExports(const TFakeHostExports&) = delete;
  TFakeHostExports& operator=(const TFakeHostExports&) = delete;

  // Binds again, so that a change to Missing or ClientInterface takes effect.
  void Rebind();

  struct TCall {
    std::string Export;
    std::vector<std::string> Arguments;
  };

  // Files by path (letter case as given), as lines without line ends.
  std::map<std::string, std::vector<std::string>> Files;
  // Names of exports the host does not offer.
  std::vector<std::string> Missing;
  // What ClientAPI_GetClientInterface returns (with a reference for the caller).
  IClient* ClientInterface = nullptr;
  // Whether a path counts as virtual; by default none does.
  std::function<bool(const std::string&)> IsVirtual;
  // The path on disk of a virtual path; by default the path itself.
  std::function<std::string(const std::string&)> ExternalPath;
  std::vector<TCall> Calls;
  // Files opened through VFSAPI_VFSAssign and not yet closed.
  int OpenTextFiles = 0;

  // The calls made to one export, in order.
  std::vector<TCall> CallsTo(const std::string& exportName) const;
  static TFakeHostExports* Current();
};

}  // namespace tolvex::test
