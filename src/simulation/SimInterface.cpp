// The simulation object and the reactions to the engine's result codes.
#include "simulation/SimInterface.h"

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "engine_api/TolvexApi.h"
#include "engine_api/WaveformRelay.h"
#include "host/HostApi.h"
#include "host/MessageBoxes.h"
#include "os/Os.h"
#include "server/Rt_Param.h"
#include "simulation/XSpiceAPI.h"
#include "support/TextConversion.h"
#include "support/TextUtils.h"

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

namespace {

std::string CannotRun(const std::string& reason) { return "Cannot run simulation\n" + reason; }

std::string TooLongMessage(const std::string& path) {
  return CannotRun("This path is longer than 255 characters:\n" + path);
}

// Start texts separate their parts with "|" and have no escape for it.
std::string BarMessage(const std::string& path) {
  return CannotRun("The engine cannot be given a path that contains \"|\":\n" + path);
}

std::string OverwriteMessage(const std::string& output) {
  return CannotRun("An output of the run would overwrite its netlist:\n" + output);
}

// The message for a path the engine cannot be given: too long for its field, or holding a "|".
std::string RefusedPathMessage(const std::string& path) {
  return path.size() > kShortStringLength ? TooLongMessage(path) : BarMessage(path);
}

// The dump is closed as soon as the engine returns, however it returns, so that it is whole on
// disk before any message is shown and a failure of its last writes is known.
struct TDumpScope {
  TDumpScope() = default;
  TDumpScope(const TDumpScope&) = delete;
  TDumpScope& operator=(const TDumpScope&) = delete;
  ~TDumpScope() { CloseDump(); }
};

// Where a path is on disk: a virtual name through the host's mapping.
std::string DiskPath(const std::string& path) {
  return VfsIsVFSFileName(path) ? VfsGetExternalPathForFile(path) : path;
}

}  // namespace

void TSimulator::Run() {
  // The project is dropped however the run ends.
  struct TDropProject {
    TInterfacePtr<IProject>& Project;
    ~TDropProject() { Project.Reset(); }
  } dropProject{FProject};
  const bool builtIn = SameText(EngineLibraryName, "XSpice.dll");
  // Everything is checked before anything is deleted: a refused run leaves every file as it was.
  std::string startText;
  if (!CheckRunPaths() || !(builtIn ? BuildBuiltInStartText(startText) : BuildExternalStartText(startText))) return;
  VfsDeleteFile(ForceFileNameExtension(FNetlistPath, "err"));
  VfsDeleteFile(ForceFileNameExtension(FNetlistPath, "sim"));
  // A dump failure left from calls outside a run is not this run's.
  TakeDumpFailure();
  if (builtIn)
    RunBuiltInEngine(startText);
  else
    RunExternalEngine(startText);
}

bool TSimulator::CheckRunPaths() {
  // Without a netlist every output would be a bare extension in the host's working folder.
  if (FNetlistPath.empty()) {
    ShowError(CannotRun("No netlist file is named."));
    return false;
  }
  // A path longer than the engine's 255-character fields would reach it cut, naming another file.
  if (FNetlistPath.size() > kShortStringLength) {
    ShowError(TooLongMessage(FNetlistPath));
    return false;
  }
  std::vector<std::string> outputs;
  for (const char* extension : {"err", "sim", "sdf"}) outputs.push_back(ForceFileNameExtension(FNetlistPath, extension));
  if (RegressionMode) outputs.push_back(WholeDumpPathFor(FNetlistPath));
  for (const std::string& output : outputs) {
    if (output.size() > kShortStringLength) {
      ShowError(TooLongMessage(output));
      return false;
    }
  }
  // The outputs are deleted or written over: none of them may be the netlist, by name or as a link to it.
  const std::string netlist = DiskPath(FNetlistPath);
  for (const std::string& output : outputs) {
    if (os::SameFile(DiskPath(output), netlist)) {
      ShowError(OverwriteMessage(output));
      return false;
    }
  }
  return true;
}

// The path of a module beside this library; a refusal names the path that does not fit.
std::optional<std::string> TSimulator::ModuleFolderPath(const std::string& name) {
  std::optional<std::string> path = PathInModuleFolder(name);
  if (!path) {
    const std::string own = OwnModulePath();
    const std::size_t separator = own.find_last_of(os::PathSeparator());
    const std::string whole =
        own.size() > kShortStringLength || separator == std::string::npos
            ? own
            : own.substr(0, separator) + os::PathSeparator() + name;
    ShowError(whole.empty() ? CannotRun("The folder of this library cannot be told.") : TooLongMessage(whole));
  }
  return path;
}

bool TSimulator::BuildBuiltInStartText(std::string& text) {
  // An engine that was never loaded because its path does not fit is named, not met with silence.
  if (!BuiltInEngineStartBound() && !ModuleFolderPath("xspice.dll")) return false;
  char block[kEngineParameterBlockSize] = {};
  std::vector<std::pair<const char*, std::string>> parameters;
  if (RegressionMode) {
    const std::optional<std::string> self = ModuleFolderPath("Tolvex.dll");
    if (!self) return false;
    parameters.emplace_back("OndulixPath", *self);
  }
  parameters.emplace_back("NetlistFilename", FNetlistPath);
  for (const auto& [name, value] : parameters) {
    // The builder refuses what the text cannot carry as it is; the engine then gets nothing.
    if (!SetParameterInBuffer(block, sizeof block, name, value)) {
      ShowError(RefusedPathMessage(Trim(value)));
      return false;
    }
  }
  text = block;
  return true;
}

bool TSimulator::BuildExternalStartText(std::string& text) {
  if (EngineLibraryName.size() > kShortStringLength) {
    ShowError(TooLongMessage(EngineLibraryName));
    return false;
  }
  const std::optional<std::string> viewer = ModuleFolderPath(RegressionMode ? "Tolvex.dll" : "Ondulix.dll");
  if (!viewer) return false;
  const std::optional<std::string> self = ModuleFolderPath("Tolvex.dll");
  if (!self) return false;
  const std::optional<std::string> library = ModuleFolderPath(EngineLibraryName);
  if (!library) return false;
  for (const std::string& part : {*viewer, *self, FNetlistPath}) {
    if (part.find('|') != std::string::npos) {
      ShowError(BarMessage(part));
      return false;
    }
  }
  FExternalLibraryPath = *library;
  text = "1" + *viewer + "|" + *self + "|" + FNetlistPath;
  return true;
}

void TSimulator::RunBuiltInEngine(const std::string& parameterText) {
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
  std::int32_t result = 0;
  {
    TRunStatusScope status;
    TDumpScope dump;
    result = StartBuiltInEngine(parameterText.c_str());
  }
  ReactToBuiltInResult(result);
  ReportDumpFailure();
}

void TSimulator::ReactToBuiltInResult(std::int32_t result) {
  switch (result) {
    case 1: ShowError("XSpice could not locate Tolvex.dll"); return;
    case 5: ShowError("XSpice could not allocate required memory"); return;
    case 8: ShowError("XSpice could not locate the netlist file"); return;
    case 9: ShowError("XSpice could not open the netlist file"); return;
    // The file is named on a second line: the user can see which file and where.
    case 10:
      ShowError("XSpice could not open the sim output file\n" + ForceFileNameExtension(FNetlistPath, "sim"));
      return;
    case 11:
      ShowError("XSpice could not open the error output file\n" + ForceFileNameExtension(FNetlistPath, "err"));
      return;
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

void TSimulator::ReportDumpFailure() {
  const std::string failure = TakeDumpFailure();
  if (!failure.empty()) ShowError(failure);
}

void TSimulator::RunExternalEngine(const std::string& commandText) {
  const std::string libraryPath = FExternalLibraryPath;
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
  // The waveform data belongs beside the netlist: by its file name alone the host would place it
  // in its own working folder, over whatever file of that name is there.
  const std::string waveformPath = ForceFileNameExtension(FNetlistPath, "sdf");
  if (auto client = ModuleClient()) {
    auto document = TInterfacePtr<IServerDocument>::Attach(client->OpenDocument("SimData", waveformPath.c_str()));
    if (document) client->ShowDocument(document.Get());
  }
  if (RegressionMode) BindViewerFunctions();
  std::int32_t result = 0;
  {
    TRunStatusScope status;
    TDumpScope dump;
    result = engine.Start(commandText);
  }
  ReactToExternalResult(result);
  ReportDumpFailure();
}

void TSimulator::ReactToExternalResult(std::int32_t result) {
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
