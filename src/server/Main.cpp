// The "SIM" server module: its command table, the run-availability check and the Sim Editor entry.
#include "server/Main.h"

#include <exception>

#include "editor/Form_ImplementationEditor.h"
#include "host/HostApi.h"
#include "host/InterfacePtr.h"
#include "simulation/Commands.h"
#include "support/BoundaryGuard.h"
#include "support/TextUtils.h"
#include "ui/UiBackend.h"

namespace tolvex {

TTolvexServerModule::TTolvexServerModule(IClient* client) : TServerModule(client, "SIM") {}

TTolvexServerModule::~TTolvexServerModule() { FinalizeSimulation(); }

IServerModule* TTolvexServerModule::Create(IClient* client) {
  auto* module = new TTolvexServerModule(client);
  module->AddRef();
  try {
    module->Initialize();
  } catch (...) {
    module->Release();
    throw;
  }
  return static_cast<IServerModule*>(module);
}

void TTolvexServerModule::InitializeModule() {
  CommandLauncher().RegisterCommand("RunSimulator", &RunSimulatorCommand, &RunSimulatorState);
  CommandLauncher().RegisterCommand("StopSimulator", &StopSimulatorCommand);
  CommandLauncher().RegisterCommand("ViewError", &ViewErrorCommand);
  InitializeSimulation();
}

HRESULT32 TOLVEX_STDCALL TTolvexServerModule::QueryInterface(const TGUID& iid, void** object) {
  if (object && iid == IID_ISimEditor) {
    *object = static_cast<ISimEditor*>(this);
    AddRef();
    return S_OK32;
  }
  return TServerModule::QueryInterface(iid, object);
}

HRESULT32 TOLVEX_STDCALL TTolvexServerModule::EditImplementation(THandle implementation, THandle component, TBool32,
                                                                  std::uint8_t* accepted) {
  // Whatever goes wrong while the dialog is made, shown or stored ends here as the failure status,
  // with Accepted untouched; the dialog is freed in every case.
  return GuardStatus([&] {
    TImplementationEditorDialog dialog(implementation, component);
    // Modal to the host's main window, as every window of the plug-in is.
    if (TInterfacePtr<IClient> client = ModuleClient()) dialog.SetOwnerWindow(client->GetMainWindowHandle());
    dialog.LoadFromImplementation();
    const bool ok = ui::RunModal(dialog) == ui::mrOk;
    if (ok) dialog.SaveToImplementation();
    if (accepted) *accepted = ok ? 1 : 0;
    return S_OK32;
  });
}

IServerDocument* TTolvexServerModule::NewDocument(std::int32_t, std::int32_t) { return nullptr; }

std::string ExtractFileExtension(const std::string& path) {
  const std::size_t nameStart = path.find_last_of("/\\:");
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (nameStart != std::string::npos && dot < nameStart)) return {};
  return path.substr(dot);
}

void RunSimulatorState(IServerDocumentView* context, const char*, TBool32& enabled, TBool32&, TBool32&,
                       std::uint8_t&, std::uint8_t&) {
  enabled = FALSE32;
  if (!context) return;
  auto document = TInterfacePtr<IServerDocument>::Attach(context->GetOwnerDocument());
  if (!document) return;
  auto module = TInterfacePtr<IServerModule>::Attach(document->GetServerModule());
  if (!module) return;
  const char* moduleName = module->GetModuleName();
  if (!SameText(moduleName ? moduleName : "", "EditSim")) return;
  const char* fileName = document->GetFileName();
  if (SameText(ExtractFileExtension(fileName ? fileName : ""), ".nsx")) enabled = TRUE32;
}

}  // namespace tolvex

void TOLVEX_STDCALL ServerFactory(tolvex::IServerModule** module, tolvex::IClient* client) {
  if (!module) return;
  *module = nullptr;
  // A module that could not be built is reported to the host as none.
  tolvex::Guard([&] { *module = tolvex::TTolvexServerModule::Create(client); });
}
