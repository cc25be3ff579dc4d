// The simulation object: what one "RunSimulator" needs, from the view's netlist to the reaction to the engine's result.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/HostInterfaces.h"
#include "host/InterfacePtr.h"

namespace tolvex {

class TSimulator {
 public:
  // True when View's document is a netlist that can be simulated; sets the netlist path.
  bool PrepareFromView(IServerDocumentView* view);
  // Looks the workspace's projects up by full path; sets the project that gets the waveform file.
  bool FindProject(const std::string& fullPath);
  // Deletes stale outputs, runs the engine and reacts to its result.
  void Run();
  void Stop();
  bool OpenOutputFile(const std::string& extension);
  void OpenErrorFile();
  bool ErrorFileExists();
  bool ReadAlwaysLoadErrorFile();

  const std::string& NetlistPath() const { return FNetlistPath; }
  void SetNetlistPath(const std::string& path) { FNetlistPath = path; }
  bool HasProject() const { return static_cast<bool>(FProject); }

 private:
  // Each check and builder below tells the user why it refuses a run.
  bool CheckRunPaths();
  std::optional<std::string> ModuleFolderPath(const std::string& name);
  bool BuildBuiltInStartText(std::string& text);
  bool BuildExternalStartText(std::string& text);
  void RunBuiltInEngine(const std::string& parameterText);
  void RunExternalEngine(const std::string& commandText);
  void ReactToBuiltInResult(std::int32_t result);
  void ReactToExternalResult(std::int32_t result);
  void ReportDumpFailure();

  std::string FNetlistPath;
  TInterfacePtr<IProject> FProject;
  // The external engine of the current run, in this library's folder.
  std::string FExternalLibraryPath;
};

// The one simulation object of the module; exists from module creation to destruction.
TSimulator* Simulator();
void CreateSimulator();
void DestroySimulator();

// Module-wide run state.
extern bool SimulationBusy;
extern bool RegressionMode;
// "xspice.dll" unless the command names another engine; a run refuses a name longer than 255 characters.
extern std::string EngineLibraryName;

// The option file: "Tolvex.ini" in the folder "Zentor" of the user's local application-data folder.
std::string OptionFilePath();

}  // namespace tolvex
