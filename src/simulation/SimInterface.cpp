// The simulation object and the reactions to the engine's result codes.
#include "simulation/SimInterface.h"

#include <memory>

#include "engine_api/WaveformRelay.h"
#include "host/HostApi.h"
#include "host/MessageBoxes.h"
#include "host/TextUtils.h"
#include "os/Os.h"
#include "server/Rt_Param.h"
#include "simulation/XSpiceAPI.h"

namespace tolvex {

bool SimulationBusy = false;
bool RegressionMode = false;
std::string EngineLibraryName = "xspice.dll";

namespace {

std::unique_ptr<TSimulator> TheSimulator;

// The engine's parameter block.
constexpr std::size_t kEngineParameterBlockSize = 2048;

}  // namespace

TSimulator* Simulator() { return TheSimulator.get(); }

void CreateSimulator() {
  TheSimulator = std::make_unique<TSimulator>();
  SetRelayNetlistSource([]() -> std::string { return TheSimulator ? TheSimulator->NetlistPath() : std::string(); });
}

void DestroySimulator() {
  SetRelayNetlistSource(nullptr);
  TheSimulator.reset();
}

std::string OptionFilePath() {
  const char separator = os::PathSeparator();
  return os::LocalAppDataFolder() + separator + "Zentor" + separator + "Tolvex.ini";
}

bool TSimulator::PrepareFromView(IServerDocumentView* view) {
  FNetlistPath.clear();
  FProject.Reset();
  if (!view) return false;
  auto document = TInterfacePtr<IServerDocument>::Attach(view->GetOwnerDocument());
  if (!document) return false;
  auto module = TInterfacePtr<IServerModule>::Attach(document->GetServerModule());
  if (!module) return false;
  const char* moduleName = module->GetModuleName();
  const std::string name = moduleName ? moduleName : "";
  if (!SameText(name, "EditSim")) {
    ShowError("Cannot run simulation\rWrong editor: " + CutText(name, kShortStringLength));
    return false;
  }
  const char* fileName = document->GetFileName();
  const std::string path = fileName ? fileName : "";
  if (!SameText(VfsExtractFileExt(path), ".nsx")) {
    ShowError("Simulations can only be run on SPICE netlists\nwith the .nsx file extension.");
    return false;
  }
  if (GetWorkspace()) {
    auto workspace = GetWorkspace();
    if (workspace) CheckHostStatus(workspace->PrepareForSimulation(), "PrepareForSimulation");
  }
  FNetlistPath = path;
  document->SetFileKind("NSX");
  return true;
}

bool TSimulator::FindProject(const std::string& fullPath) {
  FProject.Reset();
  auto workspace = GetWorkspace();
  if (!workspace) return false;
  std::int32_t count = 0;
  CheckHostStatus(workspace->GetProjectCount(&count), "GetProjectCount");
  for (std::int32_t i = 0; i < count; ++i) {
    IProject* raw = nullptr;
    CheckHostStatus(workspace->GetProject(i, &raw), "GetProject");
    auto project = TInterfacePtr<IProject>::Attach(raw);
    if (!project) continue;
    char16_t path[4096] = {};
    CheckHostStatus(project->GetFullPath(path, 4096), "GetFullPath");
    if (SameText(WideToNarrow(path), fullPath)) {
      FProject = project;
      return true;
    }
  }
  return false;
}

void TSimulator::Run() {
  VfsDeleteFile(ForceFileNameExtension(FNetlistPath, "err"));
  VfsDeleteFile(ForceFileNameExtension(FNetlistPath, "sim"));
  // The project is dropped however the run ends.
  struct TDropProject {
    TInterfacePtr<IProject>& Project;
    ~TDropProject() { Project.Reset(); }
  } dropProject{FProject};
  if (SameText(EngineLibraryName, "XSpice.dll"))
    RunBuiltInEngine();
  else
    RunExternalEngine();
}

void TSimulator::RunBuiltInEngine() {
  char block[kEngineParameterBlockSize] = {};
  if (RegressionMode) SetParameterInBuffer(block, sizeof block, "OndulixPath", PathInModuleFolder("Tolvex.dll"));
  SetParameterInBuffer(block, sizeof block, "NetlistFilename", FNetlistPath);

  const std::string waveformPath = ForceFileNameExtension(FNetlistPath, "sdf");
  if (FProject) {
    const std::u16string wide = NarrowToWide(waveformPath);
    CheckHostStatus(FProject->AddGeneratedFile(wide.c_str()), "AddGeneratedFile");
  }
  if (auto client = ModuleClient()) {
    auto document = TInterfacePtr<IServerDocument>::Attach(client->OpenDocument("SimData", waveformPath.c_str()));
    if (document) client->ShowDocument(document.Get());
  }
  if (RegressionMode) BindViewerFunctions();
  ReactToBuiltInResult(StartBuiltInEngine(block));
}

void TSimulator::ReactToBuiltInResult(std::int32_t result) {
  switch (result) {
    case 1: ShowError("XSpice could not locate Tolvex.dll"); return;
    case 5: ShowError("XSpice could not allocate required memory"); return;
    case 8: ShowError("XSpice could not locate the netlist file"); return;
    case 9: ShowError("XSpice could not open the netlist file"); return;
    case 10: ShowError("XSpice could not open the sim output file"); return;
    case 11: ShowError("XSpice could not open the error output file"); return;
    case 13:
    case 14: return;
    case 15:
      if (!RegressionMode) OpenOutputFile("sim");
      return;
    case 16: ShowError("XSpice could not locate Ondulix server"); return;
    default: break;
  }
  if (RegressionMode) return;
  if (ReadAlwaysLoadErrorFile()) {
    OpenErrorFile();
  } else if (ErrorFileExists() &&
             ConfirmYesNo("Errors occured during simulation. Do you want to view the errors now?")) {
    OpenErrorFile();
  }
}

void TSimulator::RunExternalEngine() {
  const std::string viewer = RegressionMode ? PathInModuleFolder("Tolvex.dll") : PathInModuleFolder("Ondulix.dll");
  const std::string commandText = "1" + viewer + "|" + PathInModuleFolder("Tolvex.dll") + "|" + FNetlistPath;
  const std::string libraryPath = PathInModuleFolder(CutText(EngineLibraryName, kShortStringLength));

  TExternalEngine engine;
  switch (engine.Load(libraryPath)) {
    case TExternalEngine::lrCannotLoad:
      ShowError("Could not load " + libraryPath + ". Simulation cannot proceed.");
      return;
    case TExternalEngine::lrMissingExports:
      ShowError("Could not obtain the necessary addresses from " + libraryPath + ". Simulation cannot proceed.");
      return;
    case TExternalEngine::lrLoaded: break;
  }
  const std::string waveformName = ExtractWholeFileNameFromPath(ForceFileNameExtension(FNetlistPath, "sdf"));
  if (auto client = ModuleClient()) {
    auto document = TInterfacePtr<IServerDocument>::Attach(client->OpenDocument("SimData", waveformName.c_str()));
    if (document) client->ShowDocument(document.Get());
  }
  if (RegressionMode) BindViewerFunctions();
  const std::int32_t result = engine.Start(commandText);
  switch (result) {
    case 8: ShowError("XSpice could not locate the netlist file"); return;
    case 13:
    case 14: return;
    case 15:
      if (!RegressionMode) OpenOutputFile("sim");
      return;
    default:
      if (!RegressionMode) OpenErrorFile();
      return;
  }
}

void TSimulator::Stop() {
  if (SameText(EngineLibraryName, "xspice.dll"))
    StopBuiltInEngine();
  else
    StopExternalEngine();
}

bool TSimulator::OpenOutputFile(const std::string& extension) {
  const std::string path = ForceFileNameExtension(FNetlistPath, extension);
  auto client = ModuleClient();
  auto document = client ? TInterfacePtr<IServerDocument>::Attach(client->OpenDocument("Text", path.c_str()))
                         : TInterfacePtr<IServerDocument>();
  if (document) {
    client->ShowDocument(document.Get());
    return true;
  }
  ShowError("Cannot locate file : " + VfsExtractFileName(path));
  return false;
}

void TSimulator::OpenErrorFile() {
  const std::string path = ForceFileNameExtension(FNetlistPath, "err");
  if (!VfsFileExists(path)) return;
  auto client = ModuleClient();
  if (!client) return;
  auto document = TInterfacePtr<IServerDocument>::Attach(client->GetDocumentByPath(path.c_str()));
  if (document)
    document->Refresh();
  else
    document = TInterfacePtr<IServerDocument>::Attach(client->OpenDocument("TEXT", path.c_str()));
  if (document) client->ShowDocument(document.Get());
}

bool TSimulator::ErrorFileExists() { return VfsFileExists(ForceFileNameExtension(FNetlistPath, "err")); }

bool TSimulator::ReadAlwaysLoadErrorFile() {
  const std::string file = OptionFilePath();
  os::EnsureFolder(file.substr(0, file.find_last_of(os::PathSeparator())));
  return os::ReadProfileInt(file, "Durnix", "AlwaysLoadErrorFile", 0) != 0;
}

}  // namespace tolvex
