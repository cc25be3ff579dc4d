// The process handlers of the "SIM" commands.
#include "simulation/Commands.h"

#include "host/HostApi.h"
#include "host/MessageBoxes.h"
#include "os/Os.h"
#include "server/Rt_Param.h"
#include "simulation/SimInterface.h"
#include "simulation/XSpiceAPI.h"
#include "support/TextUtils.h"

namespace tolvex {

namespace {

// Clears the busy flag however the command ends.
struct TBusyScope {
  TBusyScope() { SimulationBusy = true; }
  ~TBusyScope() { SimulationBusy = false; }
};

// Numbers are written with "." during a run; the separator is given back however the run ends.
struct TDecimalSeparatorScope {
  char Previous = os::GetDecimalSeparator();
  TDecimalSeparatorScope() { os::SetDecimalSeparator('.'); }
  ~TDecimalSeparatorScope() { os::SetDecimalSeparator(Previous); }
};

constexpr std::size_t kProcessParameterBufferSize = 1024;

}  // namespace

void RunSimulatorCommand(IServerDocumentView* context, const char* parameters) {
  if (SimulationBusy) {
    ShowInformation("A simulation is currently in progress.\nStop the simulation and try again.");
    return;
  }
  TParameterList list;
  list.Parse(parameters);
  TBusyScope busy;
  TSimulator* simulator = Simulator();
  if (!simulator) return;

  EngineLibraryName = "xspice.dll";
  RegressionMode = false;
  std::string value;
  // Paths are taken whole: read through a 255-character field they would be cut into other
  // paths, and the run refuses one that is too long instead.
  if (const TParameter* engine = list.Find("XSpiceDllName")) EngineLibraryName = Trim(engine->Value());
  if (list.GetValue("RegressionTest", value) && SameText(value, "True")) RegressionMode = true;
  if (list.GetValue("ProjectFullPath", value) && !simulator->FindProject(value)) return;
  if (const TParameter* netlist = list.Find("File1")) {
    simulator->SetNetlistPath(Trim(netlist->Value()));
  } else if (!simulator->PrepareFromView(context)) {
    return;
  }
  {
    TDecimalSeparatorScope separator;
    struct TEndRegression {
      ~TEndRegression() { RegressionMode = false; }
    } endRegression;
    simulator->Run();
  }
}

void StopSimulatorCommand(IServerDocumentView*, const char*) {
  if (TSimulator* simulator = Simulator()) simulator->Stop();
}

void ViewErrorCommand(IServerDocumentView* context, const char* parameters) {
  TParameterList list;
  list.Parse(parameters);
  auto client = ModuleClient();
  TInterfacePtr<IServerDocumentView> view;
  std::string value;
  if (list.GetValue("FullDocumentPath", value)) {
    list.RemoveParameter("FullDocumentPath");
    if (client) {
      auto document = TInterfacePtr<IServerDocument>::Attach(client->OpenDocument("SCH", value.c_str()));
      if (document) {
        client->ShowDocument(document.Get());
        view = TInterfacePtr<IServerDocumentView>::Attach(document->GetView(0));
      }
    }
  }
  if (!view && client) view = TInterfacePtr<IServerDocumentView>::Attach(client->GetCurrentView());
  if (list.GetValue("DoCommand", value)) {
    list.RemoveParameter("DoCommand");
    // The remaining parameters must fit the process buffer; a longer remainder is cut at a whole entry.
    char buffer[kProcessParameterBufferSize] = {};
    list.FormatTo(buffer, sizeof buffer);
    if (client) {
      void* raw = nullptr;
      if (client->QueryInterface(IID_IProcessLauncher, &raw) == S_OK32 && raw) {
        auto launcher = TInterfacePtr<IProcessLauncher>::Attach(static_cast<IProcessLauncher*>(raw));
        launcher->RunProcess(value.c_str(), buffer, static_cast<std::int32_t>(sizeof buffer), view.Get());
      }
    }
  }
}

void InitializeSimulation() {
  CreateSimulator();
  LoadEngineLibrary();
}

void FinalizeSimulation() {
  DestroySimulator();
  UnloadEngineLibrary();
}

}  // namespace tolvex
