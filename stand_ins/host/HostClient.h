// The stand-in host's client: documents and views, status bar, process launcher.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "RefCounted.h"
#include "host/HostInterfaces.h"
#include "host/InterfacePtr.h"

namespace tolvex::host {

class THostDocument;

// A server of the host's documents, known only by its name (such as "EditSim").
class TDocumentServer final : public TRefCounted, public IServerModule {
 public:
  explicit TDocumentServer(std::string name) : FName(std::move(name)) {}
  TOLVEX_HOST_REFCOUNT
  HRESULT32 TOLVEX_STDCALL QueryInterface(const TGUID& iid, void** object) override;
  void TOLVEX_STDCALL Idle() override {}
  void TOLVEX_STDCALL ReceiveNotification(IInterface*) override {}
  IServerDocument* TOLVEX_STDCALL CreateDocument(std::int32_t, std::int32_t) override { return nullptr; }
  void TOLVEX_STDCALL DestroyDocument(IServerDocument*) override {}
  IClient* TOLVEX_STDCALL GetClient() override { return nullptr; }
  ICommandLauncher* TOLVEX_STDCALL GetCommandLauncher() override { return nullptr; }
  std::int32_t TOLVEX_STDCALL GetDocumentCount() override { return 0; }
  IServerDocument* TOLVEX_STDCALL GetDocument(std::int32_t) override { return nullptr; }
  THandle TOLVEX_STDCALL GetInstanceHandle() override { return 0; }
  const char* TOLVEX_STDCALL GetModuleName() override { return FName.c_str(); }
  IProcessControl* TOLVEX_STDCALL GetProcessControl() override { return nullptr; }
  std::int32_t TOLVEX_STDCALL GetSecondaryCount() override { return 0; }
  IInterface* TOLVEX_STDCALL GetSecondary(std::int32_t) override { return nullptr; }
  std::int32_t TOLVEX_STDCALL GetExtendedInfo() override { return 0; }

 private:
  std::string FName;
};

class THostView final : public TRefCounted, public IServerDocumentView {
 public:
  explicit THostView(THostDocument* document) : FDocument(document) {}
  TOLVEX_HOST_REFCOUNT
  HRESULT32 TOLVEX_STDCALL QueryInterface(const TGUID& iid, void** object) override;
  IServerDocument* TOLVEX_STDCALL GetOwnerDocument() override;
  // The document ends before its view may be released by a late holder.
  void Detach() { FDocument = nullptr; }

 private:
  THostDocument* FDocument;
};

class THostDocument final : public TRefCounted, public IServerDocument {
 public:
  THostDocument(std::string path, std::string kind, TInterfacePtr<IServerModule> server);
  ~THostDocument() override;
  TOLVEX_HOST_REFCOUNT
  HRESULT32 TOLVEX_STDCALL QueryInterface(const TGUID& iid, void** object) override;
  const char* TOLVEX_STDCALL GetFileName() override { return FPath.c_str(); }
  const char* TOLVEX_STDCALL GetKind() override { return FKind.c_str(); }
  IServerModule* TOLVEX_STDCALL GetServerModule() override;
  std::int32_t TOLVEX_STDCALL GetViewCount() override { return 1; }
  IServerDocumentView* TOLVEX_STDCALL GetView(std::int32_t index) override;
  void TOLVEX_STDCALL SetFileKind(const char* kind) override;
  void TOLVEX_STDCALL Refresh() override;

  const std::string& Path() const { return FPath; }
  THostView* View() { return FView.Get(); }
  // Whether the plug-in asked for this document as a waveform document ("SimData"); a later
  // SetFileKind does not change that.
  bool IsWaveform() const { return FWaveform; }
  void MarkWaveform() { FWaveform = true; }

 private:
  std::string FPath;
  std::string FKind;
  bool FWaveform = false;
  TInterfacePtr<IServerModule> FServer;
  TInterfacePtr<THostView> FView;
};

class THostClient;

class THostProcessLauncher final : public IProcessLauncher {
 public:
  explicit THostProcessLauncher(THostClient& client) : FClient(client) {}
  HRESULT32 TOLVEX_STDCALL QueryInterface(const TGUID& iid, void** object) override;
  std::uint32_t TOLVEX_STDCALL AddRef() override;
  std::uint32_t TOLVEX_STDCALL Release() override;
  // "Client:RunCommonDialog" (letter case ignored) is answered from the queued choices; any other
  // process is only journaled.
  std::int32_t TOLVEX_STDCALL RunProcess(const char* process, char* parameters, std::int32_t bufferSize,
                                         IServerDocumentView* view) override;
  // The path the host's next common dialog answers with, as if the user had picked it.
  void QueueChoice(std::string path) { FChoices.push_back(std::move(path)); }

 private:
  void RunCommonDialog(char* parameters, std::int32_t bufferSize, const std::string& text);

  THostClient& FClient;
  std::deque<std::string> FChoices;
};

// How the status bar is shown on a terminal; the client reports each change.
class TStatusDisplay {
 public:
  virtual ~TStatusDisplay() = default;
  virtual void Changed(const std::string& text, bool progressActive, const std::string& caption, int percent) = 0;
  virtual void Finish() = 0;
};

class THostClient final : public TRefCounted, public IClient {
 public:
  THostClient();
  ~THostClient() override;
  TOLVEX_HOST_REFCOUNT
  HRESULT32 TOLVEX_STDCALL QueryInterface(const TGUID& iid, void** object) override;
  IServerDocumentView* TOLVEX_STDCALL GetCurrentView() override;
  IServerDocument* TOLVEX_STDCALL OpenDocument(const char* kind, const char* path) override;
  IServerDocument* TOLVEX_STDCALL GetDocumentByPath(const char* path) override;
  void TOLVEX_STDCALL ShowDocument(IServerDocument* document) override;
  THandle TOLVEX_STDCALL GetMainWindowHandle() override { return FMainWindow; }
  void TOLVEX_STDCALL SetStatusBarState(std::int32_t index, const char* text) override;
  std::int32_t TOLVEX_STDCALL GetStatusBarState(std::int32_t index, char* buffer, std::int32_t bufferSize) override;

  // Opens Path as the current view, served by Server (by default from the file's extension).
  bool OpenAsCurrentView(const std::string& path, const std::string& server);
  void ClearCurrentView() { FCurrentView.Reset(); }
  THostView* CurrentView() const { return FCurrentView.Get(); }
  THostProcessLauncher& ProcessLauncher() { return FProcessLauncher; }
  void SetStatusDisplay(std::unique_ptr<TStatusDisplay> display) {
    if (FDisplay) FDisplay->Finish();
    FDisplay = std::move(display);
  }
  // Every open document is closed and the views given back (before the host unloads its modules).
  void CloseAll();

  // Called with the path on disk each time the plug-in opens a waveform document or is handed
  // one again, so that the viewer learns where a run's waveforms belong.
  void SetWaveformOpenedHandler(std::function<void(const std::string& diskPath)> handler) {
    FWaveformOpened = std::move(handler);
  }
  // The paths on disk of the waveform documents, in the order they were first opened.
  std::vector<std::string> WaveformFiles() const;
  // Ends the status line shown on the terminal, so that a line printed now stands on its own.
  void BreakStatusLine() {
    if (FDisplay) FDisplay->Finish();
  }

  // The server that serves a file, from its extension ("EditSim" for .nsx).
  static std::string DefaultServerFor(const std::string& path);
  // The kind of a document that an open action makes: "SCH" for .SchDoc, "SchLib" for .SchLib, else "Text".
  static std::string DefaultKindFor(const std::string& path);

 private:
  THostDocument* Find(const std::string& path) const;
  THostDocument* Open(const std::string& kind, const std::string& path, const std::string& server);
  void WaveformOpened(THostDocument* document);
  TInterfacePtr<IServerModule> Server(const std::string& name);
  void ShowStatus();

  THandle FMainWindow = 0;
  std::vector<TInterfacePtr<THostDocument>> FDocuments;
  std::vector<TInterfacePtr<TDocumentServer>> FServers;
  TInterfacePtr<THostView> FCurrentView;
  THostProcessLauncher FProcessLauncher{*this};
  std::unique_ptr<TStatusDisplay> FDisplay;
  std::function<void(const std::string&)> FWaveformOpened;
  // Status panels; panel 2 is the one the plug-in writes and reads.
  std::vector<std::string> FStatusStack;
  std::string FStatusText;
  bool FProgressActive = false;
  std::string FProgressCaption;
  int FProgressPercent = 0;
};

}  // namespace tolvex::host
