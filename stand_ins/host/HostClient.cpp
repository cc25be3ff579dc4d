// The stand-in host's client, documents, views and process launcher.
#include "HostClient.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "HostPaths.h"
#include "Journal.h"
#include "os/posix/user/TolvexUser.h"
#include "server/Rt_Param.h"
#include "support/TextUtils.h"

namespace tolvex::host {

namespace {

template <class I>
HRESULT32 Answer(I* self, const TGUID& wanted, const TGUID& iid, void** object) {
  if (!object) return E_NOINTERFACE32;
  if (iid == wanted || iid == IID_IInterface) {
    *object = self;
    self->AddRef();
    return S_OK32;
  }
  *object = nullptr;
  return E_NOINTERFACE32;
}

bool FileExistsOnDisk(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

HRESULT32 TOLVEX_STDCALL TDocumentServer::QueryInterface(const TGUID& iid, void** object) {
  return Answer<IServerModule>(this, IID_IServerModule, iid, object);
}

HRESULT32 TOLVEX_STDCALL THostView::QueryInterface(const TGUID& iid, void** object) {
  return Answer<IServerDocumentView>(this, IID_IServerDocumentView, iid, object);
}

IServerDocument* TOLVEX_STDCALL THostView::GetOwnerDocument() {
  return TInterfacePtr<IServerDocument>::Share(FDocument).Detach();
}

THostDocument::THostDocument(std::string path, std::string kind, TInterfacePtr<IServerModule> server)
    : FPath(std::move(path)), FKind(std::move(kind)), FServer(std::move(server)) {
  FView = TInterfacePtr<THostView>::Share(new THostView(this));
}

THostDocument::~THostDocument() {
  if (FView) FView->Detach();
}

HRESULT32 TOLVEX_STDCALL THostDocument::QueryInterface(const TGUID& iid, void** object) {
  return Answer<IServerDocument>(this, IID_IServerDocument, iid, object);
}

IServerModule* TOLVEX_STDCALL THostDocument::GetServerModule() { return TInterfacePtr<IServerModule>(FServer).Detach(); }

IServerDocumentView* TOLVEX_STDCALL THostDocument::GetView(std::int32_t index) {
  if (index != 0) return nullptr;
  return TInterfacePtr<IServerDocumentView>::Share(FView.Get()).Detach();
}

void TOLVEX_STDCALL THostDocument::SetFileKind(const char* kind) {
  FKind = kind ? kind : "";
  Journal().Write("document-kind", {{"path", FPath}, {"kind", FKind}});
}

void TOLVEX_STDCALL THostDocument::Refresh() { Journal().Write("document-refresh", {{"path", FPath}}); }

HRESULT32 TOLVEX_STDCALL THostProcessLauncher::QueryInterface(const TGUID& iid, void** object) {
  return Answer<IProcessLauncher>(this, IID_IProcessLauncher, iid, object);
}

// The launcher lives inside the client and shares its lifetime.
std::uint32_t TOLVEX_STDCALL THostProcessLauncher::AddRef() { return FClient.AddRef(); }
std::uint32_t TOLVEX_STDCALL THostProcessLauncher::Release() { return FClient.Release(); }

std::int32_t TOLVEX_STDCALL THostProcessLauncher::RunProcess(const char* process, char* parameters,
                                                             std::int32_t bufferSize, IServerDocumentView* view) {
  std::string viewPath;
  if (view) {
    auto document = TInterfacePtr<IServerDocument>::Attach(view->GetOwnerDocument());
    if (document && document->GetFileName()) viewPath = document->GetFileName();
  }
  std::string params;
  if (parameters && bufferSize > 0) params.assign(parameters, strnlen(parameters, static_cast<size_t>(bufferSize)));
  if (process && SameText(process, "Client:RunCommonDialog")) {
    RunCommonDialog(parameters, bufferSize, params);
    return 0;
  }
  Journal().Write("process", {{"name", process ? process : ""},
                              {"params", params},
                              {"size", std::to_string(bufferSize)},
                              {"view", viewPath}});
  return 0;
}

// Answers as the user of the host's browser would: the next queued choice, else cancelled. The
// answer is the caller's parameters with Result (and Path) set, written back into its buffer.
void THostProcessLauncher::RunCommonDialog(char* parameters, std::int32_t bufferSize, const std::string& text) {
  TParameterList list;
  list.Parse(text);
  const TParameter* dialog = list.Find("Dialog");
  const TParameter* caption = list.Find("Caption");
  const std::string dialogName = dialog ? dialog->Value() : "", captionText = caption ? caption->Value() : "";
  std::optional<std::string> chosen;
  if (!FChoices.empty()) {
    chosen = std::move(FChoices.front());
    FChoices.pop_front();
  }
  const auto set = [&list](std::string_view name, std::string_view value) {
    if (TParameter* found = list.Find(name))
      found->SetValue(value);
    else
      list.AddParameter(name, value);
  };
  set("Result", chosen ? "True" : "False");
  if (chosen) set("Path", *chosen);

  std::string error;
  if (!parameters || bufferSize <= 0) {
    error = "no buffer for the answer";
  } else if (!list.FormatTo(parameters, static_cast<std::size_t>(bufferSize))) {
    // Half an answer could read as a choice without its path: the caller is told it was cancelled.
    error = chosen && !CanRepresentParameter("Path", *chosen) ? "the path cannot be carried in a parameter text"
                                                                : "the answer does not fit the buffer";
    TParameterList cancelled;
    cancelled.AddParameter("Result", "False");
    if (!cancelled.FormatTo(parameters, static_cast<std::size_t>(bufferSize))) parameters[0] = '\0';
    chosen.reset();
  }
  std::string reply;
  if (parameters && bufferSize > 0) reply.assign(parameters, strnlen(parameters, static_cast<size_t>(bufferSize)));
  Journal().Write("common-dialog", {{"dialog", dialogName},
                                    {"caption", captionText},
                                    {"answer", chosen ? *chosen : std::string("cancelled")},
                                    {"reply", reply},
                                    {"error", error}});
}

THostClient::THostClient() { FMainWindow = TvxCreateWindow(nullptr, nullptr); }

THostClient::~THostClient() {
  CloseAll();
  TvxDestroyWindow(FMainWindow);
}

void THostClient::CloseAll() {
  FCurrentView.Reset();
  FDocuments.clear();
  FServers.clear();
}

HRESULT32 TOLVEX_STDCALL THostClient::QueryInterface(const TGUID& iid, void** object) {
  if (object && iid == IID_IProcessLauncher) {
    *object = static_cast<IProcessLauncher*>(&FProcessLauncher);
    AddRef();
    return S_OK32;
  }
  return Answer<IClient>(this, IID_IClient, iid, object);
}

IServerDocumentView* TOLVEX_STDCALL THostClient::GetCurrentView() {
  return TInterfacePtr<IServerDocumentView>::Share(FCurrentView.Get()).Detach();
}

std::string THostClient::DefaultServerFor(const std::string& path) {
  const std::string ext = PathExtension(path);
  if (SameText(ext, ".nsx")) return "EditSim";
  if (SameText(ext, ".sdf")) return "WaveView";
  if (SameText(ext, ".schdoc") || SameText(ext, ".schlib")) return "SCH";
  return "TextEdit";
}

std::string THostClient::DefaultKindFor(const std::string& path) {
  const std::string ext = PathExtension(path);
  // The plug-in tells a schematic library by its document's kind.
  if (SameText(ext, ".schlib")) return "SchLib";
  if (SameText(ext, ".schdoc")) return "SCH";
  return "Text";
}

TInterfacePtr<IServerModule> THostClient::Server(const std::string& name) {
  for (const auto& server : FServers)
    if (server->GetModuleName() == name) return TInterfacePtr<IServerModule>::Share(server.Get());
  FServers.push_back(TInterfacePtr<TDocumentServer>::Share(new TDocumentServer(name)));
  return TInterfacePtr<IServerModule>::Share(FServers.back().Get());
}

THostDocument* THostClient::Find(const std::string& path) const {
  for (const auto& document : FDocuments)
    if (document->Path() == path) return document.Get();
  return nullptr;
}

THostDocument* THostClient::Open(const std::string& kind, const std::string& path, const std::string& server) {
  FDocuments.push_back(TInterfacePtr<THostDocument>::Share(
      new THostDocument(path, kind, Server(server.empty() ? DefaultServerFor(path) : server))));
  return FDocuments.back().Get();
}

IServerDocument* TOLVEX_STDCALL THostClient::OpenDocument(const char* kind, const char* path) {
  const std::string k = kind ? kind : "";
  const std::string p = path ? path : "";
  const bool waveform = SameText(k, "SimData");
  if (THostDocument* existing = Find(p)) {
    Journal().Write("document-open", {{"kind", k}, {"path", p}, {"result", "existing"}});
    if (waveform) WaveformOpened(existing);
    return TInterfacePtr<IServerDocument>::Share(existing).Detach();
  }
  // A waveform document is created empty and filled by the run; any other kind needs its file. Either needs a
  // place on disk: a virtual name that leads out of the VFS root has none.
  const std::optional<std::string> disk = p.empty() ? std::nullopt : DiskPath(p);
  const bool canOpen = disk && (waveform || FileExistsOnDisk(*disk));
  if (!canOpen) {
    Journal().Write("document-open", {{"kind", k}, {"path", p}, {"result", "none"}});
    return nullptr;
  }
  THostDocument* document = Open(k, p, "");
  Journal().Write("document-open", {{"kind", k}, {"path", p}, {"result", "opened"}});
  if (waveform) WaveformOpened(document);
  return TInterfacePtr<IServerDocument>::Share(document).Detach();
}

void THostClient::WaveformOpened(THostDocument* document) {
  document->MarkWaveform();
  const std::string path = ExternalPath(document->Path());
  if (FWaveformOpened && !path.empty()) FWaveformOpened(path);
}

std::vector<std::string> THostClient::WaveformFiles() const {
  std::vector<std::string> files;
  for (const auto& document : FDocuments) {
    if (!document->IsWaveform()) continue;
    const std::string path = ExternalPath(document->Path());
    if (!path.empty() && std::find(files.begin(), files.end(), path) == files.end()) files.push_back(path);
  }
  return files;
}

IServerDocument* TOLVEX_STDCALL THostClient::GetDocumentByPath(const char* path) {
  const std::string p = path ? path : "";
  THostDocument* document = Find(p);
  Journal().Write("document-find", {{"path", p}, {"result", document ? "found" : "none"}});
  return TInterfacePtr<IServerDocument>::Share(document).Detach();
}

void TOLVEX_STDCALL THostClient::ShowDocument(IServerDocument* document) {
  const char* name = document ? document->GetFileName() : nullptr;
  Journal().Write("document-show", {{"path", name ? name : ""}});
}

bool THostClient::OpenAsCurrentView(const std::string& path, const std::string& server) {
  THostDocument* document = Find(path);
  if (!document) document = Open(DefaultKindFor(path), path, server);
  FCurrentView = TInterfacePtr<THostView>::Share(document->View());
  Journal().Write("view", {{"path", path}, {"server", server.empty() ? DefaultServerFor(path) : server}});
  return true;
}

void TOLVEX_STDCALL THostClient::SetStatusBarState(std::int32_t index, const char* text) {
  const std::string t = text ? text : "";
  switch (index) {
    case sbiPush:
      FStatusStack.push_back(FStatusText);
      Journal().Write("status", {{"op", "push"}});
      break;
    case sbiPop:
      if (!FStatusStack.empty()) {
        FStatusText = FStatusStack.back();
        FStatusStack.pop_back();
      }
      Journal().Write("status", {{"op", "pop"}});
      break;
    case sbiProgressStart:
      FProgressActive = true;
      FProgressCaption = t;
      FProgressPercent = 0;
      Journal().Write("status", {{"op", "progress-start"}, {"caption", t}});
      break;
    case sbiProgressEnd:
      FProgressActive = false;
      Journal().Write("status", {{"op", "progress-end"}});
      break;
    case sbiProgressStep:
      ++FProgressPercent;
      Journal().Write("status", {{"op", "progress-step"}, {"position", std::to_string(FProgressPercent)}});
      break;
    default:
      if (index == sbiText) FStatusText = t;
      Journal().Write("status", {{"op", "set"}, {"index", std::to_string(index)}, {"text", t}});
      break;
  }
  ShowStatus();
}

std::int32_t TOLVEX_STDCALL THostClient::GetStatusBarState(std::int32_t index, char* buffer, std::int32_t bufferSize) {
  const std::string text = index == sbiText ? FStatusText : std::string();
  if (buffer && bufferSize > 0) {
    const size_t n = std::min(text.size(), static_cast<size_t>(bufferSize - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
  }
  return static_cast<std::int32_t>(text.size());
}

void THostClient::ShowStatus() {
  if (FDisplay) FDisplay->Changed(FStatusText, FProgressActive, FProgressCaption, FProgressPercent);
}

}  // namespace tolvex::host
