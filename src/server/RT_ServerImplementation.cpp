// The generic server module, its command launcher and process control.
#include "server/RT_ServerImplementation.h"

#include <exception>

#include "host/HostApi.h"
#include "host/MessageBoxes.h"
#include "os/Os.h"
#include "support/BoundaryGuard.h"
#include "support/TextUtils.h"
#include "ui/Application.h"

namespace tolvex {

namespace {
IServerModule* LiveServerModule = nullptr;

// Something any caller can hand to ModuleInstanceOf to name this library.
void InstanceAnchor() {}
}  // namespace

bool TCaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const char x = UpCaseAscii(a[i]), y = UpCaseAscii(b[i]);
    if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  }
  return a.size() < b.size();
}

void TCommandLauncher::RegisterCommand(const std::string& name, TProcessHandler process, TStateHandler state) {
  // emplace leaves the table as it was for a name already there; the new handler pair is freed here.
  FCommands.emplace(name, std::make_unique<TCommandHandler>(std::move(process), std::move(state)));
}

const TCommandHandler* TCommandLauncher::FindProcessHandler(const std::string& name) const {
  auto it = FCommands.find(name);
  return it == FCommands.end() ? nullptr : it->second.get();
}

const TCommandHandler* TCommandLauncher::FindStateHandler(const std::string& name) const {
  auto it = FCommands.find(name);
  return (it == FCommands.end() || !it->second->StateHandler()) ? nullptr : it->second.get();
}

std::int32_t TOLVEX_STDCALL TCommandLauncher::LaunchCommand(const char* name, const char* parameters,
                                                           std::int32_t /*bufferSize*/,
                                                           IServerDocumentView* context) {
  // Nothing may escape into the host: an error that ends a command is shown, as the host would show it.
  Guard([&] {
    try {
      const TCommandHandler* handler = FindProcessHandler(name ? name : "");
      if (!handler || !handler->ProcessHandler()) return;
      handler->ProcessHandler()(context, parameters ? parameters : "");
    } catch (const std::exception& e) {
      ShowError(e.what());
    }
  });
  return 0;
}

void TOLVEX_STDCALL TCommandLauncher::GetCommandState(const char* name, const char* parameters,
                                                     IServerDocumentView* context, TBool32* enabled, TBool32* checked,
                                                     TBool32* visible, std::uint8_t* extra1, std::uint8_t* extra2) {
  TBool32 e = TRUE32, c = FALSE32, v = TRUE32;
  std::uint8_t x1 = 0, x2 = 0;
  Guard([&] {
    if (const TCommandHandler* handler = FindStateHandler(name ? name : ""))
      handler->StateHandler()(context, parameters ? parameters : "", e, c, v, x1, x2);
  });
  if (enabled) *enabled = e;
  if (checked) *checked = c;
  if (visible) *visible = v;
  if (extra1) *extra1 = x1;
  if (extra2) *extra2 = x2;
}

TServerModule::TServerModule(IClient* client, const std::string& name) {
  SetModuleClient(client);
  LiveServerModule = this;
  FClient = TInterfacePtr<IClient>::Share(client);
  FModuleName = name;
}

void TServerModule::Initialize() {
  CreateCommandLauncher();
  FProcessControl = std::make_unique<TProcessControl>();
  InitializeModule();
}

TServerModule::~TServerModule() {
  FSecondary.clear();
  FCommandLauncher.reset();
  FDocuments.clear();
  FProcessControl.reset();
  if (LiveServerModule == this) LiveServerModule = nullptr;
}

HRESULT32 TOLVEX_STDCALL TServerModule::QueryInterface(const TGUID& iid, void** object) {
  if (!object) return E_NOINTERFACE32;
  if (iid == IID_IServerModule || iid == IID_IInterface) {
    *object = static_cast<IServerModule*>(this);
    AddRef();
    return S_OK32;
  }
  *object = nullptr;
  return E_NOINTERFACE32;
}

std::uint32_t TOLVEX_STDCALL TServerModule::AddRef() { return ++FRefCount; }

std::uint32_t TOLVEX_STDCALL TServerModule::Release() {
  const std::uint32_t count = --FRefCount;
  if (count == 0) delete this;
  return count;
}

void TOLVEX_STDCALL TServerModule::Idle() {
  Guard([&] { DoIdle(); });
}

void TOLVEX_STDCALL TServerModule::ReceiveNotification(IInterface* notification) {
  Guard([&] { DoReceiveNotification(notification); });
}

IServerDocument* TOLVEX_STDCALL TServerModule::CreateDocument(std::int32_t a, std::int32_t b) {
  return GuardResult<IServerDocument*>(nullptr, [&] { return DoCreateDocument(a, b); });
}

void TOLVEX_STDCALL TServerModule::DestroyDocument(IServerDocument* document) {
  Guard([&] { DoDestroyDocument(document); });
}

IClient* TOLVEX_STDCALL TServerModule::GetClient() { return TInterfacePtr<IClient>(FClient).Detach(); }

ICommandLauncher* TOLVEX_STDCALL TServerModule::GetCommandLauncher() { return FCommandLauncher.get(); }

std::int32_t TOLVEX_STDCALL TServerModule::GetDocumentCount() { return static_cast<std::int32_t>(FDocuments.size()); }

IServerDocument* TOLVEX_STDCALL TServerModule::GetDocument(std::int32_t index) {
  if (index < 0 || index >= GetDocumentCount()) return nullptr;
  return TInterfacePtr<IServerDocument>(FDocuments[index]).Detach();
}

THandle TOLVEX_STDCALL TServerModule::GetInstanceHandle() {
  return os::ModuleInstanceOf(reinterpret_cast<const void*>(&InstanceAnchor));
}

const char* TOLVEX_STDCALL TServerModule::GetModuleName() { return FModuleName.c_str(); }

IProcessControl* TOLVEX_STDCALL TServerModule::GetProcessControl() { return FProcessControl.get(); }

std::int32_t TOLVEX_STDCALL TServerModule::GetSecondaryCount() { return static_cast<std::int32_t>(FSecondary.size()); }

IInterface* TOLVEX_STDCALL TServerModule::GetSecondary(std::int32_t index) {
  if (index < 0 || index >= GetSecondaryCount()) return nullptr;
  return TInterfacePtr<IInterface>(FSecondary[index]).Detach();
}

std::int32_t TOLVEX_STDCALL TServerModule::GetExtendedInfo() {
  return GuardResult<std::int32_t>(0, [&] { return DoGetExtendedInfo(); });
}

void TServerModule::DoIdle() {
  os::TMessage waiting;
  ui::TApplication& application = ui::Application();
  if (os::PeekThreadMessage(waiting, false)) os::PostWindowMessage(application.Handle(), os::WM_USER_MESSAGE, 0, 0);
  application.ProcessIdle();
}

IServerDocument* TServerModule::DoCreateDocument(std::int32_t a, std::int32_t b) {
  IServerDocument* document = NewDocument(a, b);
  if (!document) return nullptr;
  FDocuments.push_back(TInterfacePtr<IServerDocument>::Share(document));
  return TInterfacePtr<IServerDocument>::Share(document).Detach();
}

void TServerModule::DoDestroyDocument(IServerDocument* document) {
  std::erase_if(FDocuments, [document](const auto& d) { return d.Get() == document; });
}

void TServerModule::DoReceiveNotification(IInterface*) {}

void TServerModule::InitializeModule() {}

void TServerModule::CreateCommandLauncher() { FCommandLauncher = std::make_unique<TCommandLauncher>(); }

std::int32_t TServerModule::DoGetExtendedInfo() { return 0; }

TInterfacePtr<IClient> GetClient() { return ModuleClient(); }

IServerModule* GetServerModule() { return LiveServerModule; }

}  // namespace tolvex
