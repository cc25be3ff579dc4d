// xspice.dll on ngspice: runs a netlist's analyses in ngspice's shared library and relays the
// results to the waveform viewer and the progress to Tolvex.dll, on the thread that started it.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "ModuleBinding.h"
#include "NetlistText.h"
#include "NgspiceLibrary.h"
#include "RelayQueue.h"
#include "StartText.h"
#include "engine_api/EngineCallbacks.h"
#include "os/Os.h"
#include "os/Platform.h"
#include "support/TextUtils.h"

using namespace tolvex;
using namespace tolvex::ngspice;

namespace {

using Clock = std::chrono::steady_clock;

// The result codes of XSpice_Start; docs/ngspice-engine.md says when each is returned.
constexpr std::int32_t kResultSuccess = 0;
constexpr std::int32_t kResultTolvexMissing = 1;
constexpr std::int32_t kResultNetlistRefused = 2;
constexpr std::int32_t kResultEngineFailed = 3;
constexpr std::int32_t kResultAnalysisFailed = 4;
constexpr std::int32_t kResultNoMemory = 5;
constexpr std::int32_t kResultNetlistMissing = 8;
constexpr std::int32_t kResultNetlistUnreadable = 9;
constexpr std::int32_t kResultSimFileFailed = 10;
constexpr std::int32_t kResultErrFileFailed = 11;
constexpr std::int32_t kResultStoppedBeforeResults = 13;
constexpr std::int32_t kResultStopped = 14;
constexpr std::int32_t kResultTextOutput = 15;
constexpr std::int32_t kResultViewerMissing = 16;

// How often the starting thread takes the batch, and how long it may go without letting the host
// dispatch its messages, which is how a stop request arrives.
constexpr std::chrono::milliseconds kBatchPeriod{15};
constexpr std::chrono::milliseconds kPumpPeriod{40};
// Points relayed between two looks at the clock.
constexpr std::int64_t kPointsPerClockCheck = 512;
// ngspice's progress comes in tenths of a percent.
constexpr std::int32_t kProgressTotal = 1000;
// How long ngspice's thread may take to appear after "bg_run".
constexpr std::chrono::seconds kThreadStartLimit{10};

// Set by XSpice_Stop, which the plug-in calls from inside our progress calls while XSpice_Start
// is below it on the stack; atomic all the same, since nothing stops a caller on another thread.
std::atomic<bool> StopRequested{false};
// A start from inside a run (through a callback) is refused: ngspice runs one circuit at a time.
std::atomic<bool> Running{false};

std::string FormatNumber(double value) {
  char buffer[48];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 7);
  return std::string(buffer, result.ptr);
}

bool ContainsNoCase(std::string_view text, std::string_view part) {
  if (part.size() > text.size()) return false;
  for (std::size_t i = 0; i + part.size() <= text.size(); ++i)
    if (SameText(text.substr(i, part.size()), part)) return true;
  return false;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

// A text output file beside the netlist, created afresh by every run: whatever has the file's name
// (an old output, a link planted there, a hard link to another file) is removed and a new file
// made in its place, so nothing is ever written through a link. Every line is written at once,
// so that it survives a crash of the host, and every write is checked: a full disk must not pass
// for a finished run. The file is removed at the end when nothing was written.
class TOutputFile {
 public:
  TOutputFile() = default;
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;
  ~TOutputFile() { Close(); }

  bool Open(const std::string& path) {
    FPath = path;
    // Another process may put something back between the removal and the creation: O_EXCL then
    // fails rather than follow it, and the removal is tried again.
    for (int attempt = 0; attempt < 3; ++attempt) {
      if (unlink(path.c_str()) != 0 && errno != ENOENT) {
        FError = errno;
        return false;
      }
      FFile = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
      if (FFile >= 0) return true;
      FError = errno;
      if (FError != EEXIST) return false;
    }
    return false;
  }
  void WriteLine(std::string_view line) {
    if (FFile < 0 || FError != 0) return;
    FWritten = true;
    std::string text(line);
    text += '\n';
    std::size_t done = 0;
    while (done < text.size()) {
      const ssize_t wrote = write(FFile, text.data() + done, text.size() - done);
      if (wrote < 0 && errno == EINTR) continue;
      if (wrote <= 0) {
        FError = wrote < 0 ? errno : EIO;
        return;
      }
      done += static_cast<std::size_t>(wrote);
    }
  }
  bool Written() const { return FWritten; }
  // Why the file could not be opened or written; 0 while all is well.
  int Error() const { return FError; }
  std::string ErrorText() const { return std::strerror(FError); }
  const std::string& Path() const { return FPath; }
  void Close() {
    if (FFile < 0) return;
    if (close(FFile) != 0 && FError == 0) FError = errno;
    FFile = -1;
    if (!FWritten) unlink(FPath.c_str());
  }

 private:
  std::string FPath;
  int FFile = -1;
  int FError = 0;
  bool FWritten = false;
};

using engines::TModuleBinding;

template <class F>
bool BindExport(F& target, os::TModuleHandle module, const char* name, std::string& missing) {
  target = reinterpret_cast<F>(os::FindExport(module, name));
  if (!target && missing.empty()) missing = name;
  return target != nullptr;
}

struct TPluginFunctions {
  TSimAPI_PercentInit PercentInit = nullptr;
  TSimAPI_PercentUpdate PercentUpdate = nullptr;
  TSimAPI_PercentFinish PercentFinish = nullptr;
  TSimAPI_StatusBar_SetState SetState = nullptr;
  bool Bind(os::TModuleHandle module, std::string& missing) {
    bool all = BindExport(PercentInit, module, "SimAPI_PercentInit", missing);
    all = BindExport(PercentUpdate, module, "SimAPI_PercentUpdate", missing) && all;
    all = BindExport(PercentFinish, module, "SimAPI_PercentFinish", missing) && all;
    return BindExport(SetState, module, "SimAPI_StatusBar_SetState", missing) && all;
  }
};

struct TViewerFunctions {
  TOndulixAPI_GetCurrentWindow GetCurrentWindow = nullptr;
  TOndulixAPI_SetDocumentName SetDocumentName = nullptr;
  TOndulixAPI_NewChart NewChart = nullptr;
  TOndulixAPI_InitializeXAxis InitializeXAxis = nullptr;
  TOndulixAPI_NewWaveform NewWaveform = nullptr;
  TOndulixAPI_UpdateChart UpdateChart = nullptr;
  TOndulixAPI_NewDataPoint NewDataPoint = nullptr;
  TOndulixAPI_DataComplete DataComplete = nullptr;
  bool Bind(os::TModuleHandle module, std::string& missing) {
    bool all = BindExport(GetCurrentWindow, module, "OndulixAPI_GetCurrentWindow", missing);
    all = BindExport(SetDocumentName, module, "OndulixAPI_SetDocumentName", missing) && all;
    all = BindExport(NewChart, module, "OndulixAPI_NewChart", missing) && all;
    all = BindExport(InitializeXAxis, module, "OndulixAPI_InitializeXAxis", missing) && all;
    all = BindExport(NewWaveform, module, "OndulixAPI_NewWaveform", missing) && all;
    all = BindExport(UpdateChart, module, "OndulixAPI_UpdateChart", missing) && all;
    all = BindExport(NewDataPoint, module, "OndulixAPI_NewDataPoint", missing) && all;
    return BindExport(DataComplete, module, "OndulixAPI_DataComplete", missing) && all;
  }
};

// The viewer's report of a file it could not write (its waveform file, a plot) since it was last
// asked; nothing when it wrote everything, or when it is an older viewer without the question. It
// is asked directly, also in regression runs, where the waveform calls go to Tolvex.dll first.
using TOndulix_TakeWriteFailure = std::int32_t(TOLVEX_STDCALL*)(char* buffer, std::int32_t bufferSize);

std::optional<std::string> TakeViewerWriteFailure() {
  const os::TModuleHandle viewer = os::FindLoadedModule("Ondulix.dll");
  const auto take = reinterpret_cast<TOndulix_TakeWriteFailure>(os::FindExport(viewer, "Ondulix_TakeWriteFailure"));
  if (!take) return std::nullopt;
  std::array<char, 1024> buffer{};
  if (take(buffer.data(), static_cast<std::int32_t>(buffer.size())) != 1) return std::nullopt;
  buffer.back() = '\0';
  std::string message(buffer.data());
  if (message.empty()) message = "a file could not be written";
  return message;
}

// One analysis as the viewer sees it.
struct TChart {
  TPlotInfo Plot;
  std::string Analysis;  // "tran", "ac", "dc", "op", ...
  std::int32_t Id = 0;
  // Vector indexes in ngspice's order, and the viewer's wave for each (-1 for none).
  std::vector<std::int32_t> Waves;
  std::vector<std::size_t> Order;  // the waves in the order they were created
  std::ptrdiff_t Scale = -1;       // the x vector; none for an operating point
  bool AxisSent = false;
  double MinX = 0;
  double MaxX = 0;
  std::int64_t Points = 0;
  std::int32_t Shown = 0;  // progress in tenths of a percent
  std::vector<double> LastValues;
};

// Which part of the run the lines ngspice writes belong to: an error while the circuit is read
// means the netlist was refused, one while it runs that an analysis failed.
enum TPhase { phLoading, phRunning };

class TNgspiceRun {
 public:
  explicit TNgspiceRun(engines::TStartText start) : FStart(std::move(start)) {}
  TNgspiceRun(const TNgspiceRun&) = delete;
  TNgspiceRun& operator=(const TNgspiceRun&) = delete;
  ~TNgspiceRun() { EndNgspiceThread(); }

  std::int32_t Execute() {
    std::int32_t result = Run();
    // A failure to write the waveform file or the text output must not pass for a finished run.
    if (FDataCompleted) {
      if (const std::optional<std::string> failure = TakeViewerWriteFailure()) {
        Error("The waveform viewer could not write its files: " + *failure + (failure->ends_with('.') ? "" : "."));
        FViewerFailed = true;
        if (result == kResultSuccess || result == kResultTextOutput || result == kResultStopped ||
            result == kResultStoppedBeforeResults)
          result = kResultEngineFailed;
      }
    }
    FSim.Close();
    if (FSim.Error() != 0) {
      Error("The text output " + FSim.Path() + " cannot be written: " + FSim.ErrorText() + ".");
      result = kResultSimFileFailed;
    }
    Summarise(result);
    FErr.Close();
    if (FErr.Error() != 0) result = kResultErrFileFailed;
    // The status bar tells the end once every file is known to be written.
    if (FDataCompleted) {
      const bool written = !FViewerFailed && result != kResultSimFileFailed && result != kResultErrFileFailed;
      SetState(result == kResultSuccess || result == kResultTextOutput ? "Simulation finished"
               : FStopSeen && written                                  ? "Simulation stopped"
                                                                       : "Simulation failed");
    }
    return result;
  }

  // After an exception in the middle of a run: ngspice's thread must not outlive the run.
  void Abandon(std::int32_t result) {
    EndNgspiceThread();
    Summarise(result);
  }

  // Called once the run is over, whatever its end.
  void Finish() {
    if (FDocumentNamed) {
      FViewer.DataComplete(FWindow, 1, 0);
      FDocumentNamed = false;
    }
    EndNgspiceThread();
    CleanUp();
  }

 private:
  std::int32_t Run() {
    if (const std::int32_t result = Prepare(); result != kResultSuccess) return result;
    if (const std::int32_t result = LoadCircuit(); result != kResultSuccess) return result;
    return Simulate();
  }

  // The output files, the netlist and the modules to call.
  std::int32_t Prepare() {
    if (FStart.NetlistPath.empty()) return kResultNetlistMissing;
    const std::string& netlistPath = FStart.NetlistPath;
    // The error file comes first, so that every later failure can be explained in it; it is
    // written beside a netlist that is missing too, when its folder allows.
    const bool errorFileOpen = FErr.Open(engines::ReplaceExtension(netlistPath, "err"));
    FNetlist = ReadNetlist(netlistPath);
    if (FNetlist.Fault == nfNetlistMissing || FNetlist.Fault == nfNetlistUnreadable) {
      Error(FNetlist.Reason);
      return FNetlist.Fault == nfNetlistMissing ? kResultNetlistMissing : kResultNetlistUnreadable;
    }
    if (!errorFileOpen) return kResultErrFileFailed;
    if (!FSim.Open(engines::ReplaceExtension(netlistPath, "sim"))) {
      Error("The text output " + FSim.Path() + " cannot be written: " + FSim.ErrorText() + ".");
      return kResultSimFileFailed;
    }
    if (const std::int32_t result = BindModules(); result != kResultSuccess) return result;
    // What the viewer reports from now on is this run's.
    TakeViewerWriteFailure();

    for (const std::string& note : FNetlist.Notes) Error(note);
    if (FNetlist.Fault != nfNone) {
      Error(FNetlist.Reason);
      return FNetlist.Fault == nfIncludeUnreadable ? kResultNetlistUnreadable : kResultNetlistRefused;
    }
    if (FNetlist.Empty) {
      Error("The netlist holds no circuit: nothing but its title, comments and .end.");
      return kResultNetlistRefused;
    }
    return kResultSuccess;
  }

  // ngspice, ready, with the circuit read.
  std::int32_t LoadCircuit() {
    TNgspiceLibrary& library = TNgspiceLibrary::Instance();
    std::string reason;
    if (!library.EnsureReady(reason)) {
      Error("ngspice cannot be started: " + reason + ".");
      return kResultEngineFailed;
    }
    TRelayQueue& queue = library.Queue();
    const TRunState before = queue.State();
    if (before.ThreadStarted && !before.ThreadEnded) {
      Error("ngspice is still running an earlier simulation that could not be stopped.");
      return kResultEngineFailed;
    }
    queue.Reset();
    queue.SetCapture(true);
    FQueue = &queue;

    SetState("Loading " + std::string(engines::FileNameOf(FStart.NetlistPath)));
    FPhase = phLoading;
    const int circuitResult = library.Circuit(FNetlist.Lines);
    TakeAndRelay();
    if (FExitRequested) return kResultNetlistRefused;
    if (circuitResult != 0 || FNetlistErrors > 0) {
      Error("ngspice refused the netlist.");
      return kResultNetlistRefused;
    }
    return kResultSuccess;
  }

  // The analyses, relayed as they run.
  std::int32_t Simulate() {
    // The host gets its first chance to stop the run before anything reaches the viewer.
    Pump();
    if (FStopSeen) {
      Error("The simulation was stopped by the user before it began.");
      return kResultStoppedBeforeResults;
    }
    FWindow = FViewer.GetCurrentWindow();
    FViewer.SetDocumentName(FWindow, DocumentName().c_str());
    FDocumentNamed = true;

    FPhase = phRunning;
    FThreadLaunched = true;
    TNgspiceLibrary::Instance().Command("bg_run");
    std::int32_t result = RelayUntilEnd();
    FinishChart(!FStopSeen);
    // The last chart may be the one that wrote results into the text output.
    if (result == kResultSuccess && FTextResults) result = kResultTextOutput;
    FViewer.DataComplete(FWindow, 1, 0);
    FDocumentNamed = false;
    FDataCompleted = true;
    return result;
  }

  std::int32_t BindModules() {
    const bool external = FStart.Form == engines::sfExternal;
    const std::string tolvexName = external && !FStart.LibraryPath.empty() ? FStart.LibraryPath : "Tolvex.dll";
    const os::TModuleHandle tolvex = FTolvexModule.Resolve(external ? FStart.LibraryPath : std::string(), "Tolvex.dll");
    std::string missing;
    if (!tolvex) {
      Error("Tolvex.dll is not loaded: cannot find " + tolvexName + ".");
      return kResultTolvexMissing;
    }
    if (!FPlugin.Bind(tolvex, missing)) {
      Error(tolvexName + " has no " + missing + ".");
      return kResultTolvexMissing;
    }
    const std::string viewerName = FStart.ViewerPath.empty() ? "Ondulix.dll" : FStart.ViewerPath;
    const os::TModuleHandle viewer = FViewerModule.Resolve(FStart.ViewerPath, "Ondulix.dll");
    if (!viewer) {
      Error("The waveform viewer is not loaded: cannot find " + viewerName + ".");
      return kResultViewerMissing;
    }
    if (!FViewer.Bind(viewer, missing)) {
      Error(viewerName + " has no " + missing + ".");
      return kResultViewerMissing;
    }
    return kResultSuccess;
  }

  // The netlist's file name without its folder and extension: "amp" for /work/amp.nsx.
  std::string DocumentName() const {
    std::string name(engines::FileNameOf(FStart.NetlistPath));
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
  }

  std::int32_t RelayUntilEnd() {
    const Clock::time_point launched = Clock::now();
    TBatch batch;
    for (;;) {
      FQueue->Wait(kBatchPeriod);
      const TRunState state = FQueue->Take(batch);
      Relay(batch);
      batch.Clear();
      if (!FStopSeen && Clock::now() - FLastPump >= kPumpPeriod) Pump();
      if (FStopSeen && !FHaltSent) Halt();
      if (state.ThreadEnded) break;
      if (FEngineStuck) return kResultEngineFailed;
      if (!state.ThreadStarted && Clock::now() - launched > kThreadStartLimit) {
        Error("ngspice did not start the simulation.");
        FThreadLaunched = false;
        return kResultEngineFailed;
      }
    }
    FThreadLaunched = false;
    if (FExitRequested) {
      Error("ngspice could not go on with the simulation.");
      return FStopSeen ? StopResult() : kResultAnalysisFailed;
    }
    if (FStopSeen) return StopResult();
    if (FNoAnalysis) Error("The netlist names no analysis: it needs one of .op, .dc, .ac or .tran.");
    if (FNetlistErrors > 0) return kResultNetlistRefused;
    if (FAnalysisErrors > 0) return kResultAnalysisFailed;
    if (FChartCount == 0) {
      Error("ngspice ran no analysis: the netlist needs one of .op, .dc, .ac or .tran.");
      return kResultNetlistRefused;
    }
    return kResultSuccess;
  }

  std::int32_t StopResult() {
    if (FChart)
      Error("The simulation was stopped by the user during the " + FChart->Plot.Name + ", at " +
            FormatNumber(FChart->MaxX) + ".");
    else if (FChartCount > 0)
      Error("The simulation was stopped by the user between two analyses.");
    else
      Error("The simulation was stopped by the user before its first result.");
    return FChartCount > 0 ? kResultStopped : kResultStoppedBeforeResults;
  }

  // Asks ngspice's thread to stop at its next step. ngspice waits for it up to about a second;
  // a thread that takes longer is asked again, and given up after that.
  void Halt() {
    FHaltSent = true;
    TNgspiceLibrary& library = TNgspiceLibrary::Instance();
    for (int attempt = 0; attempt < 3; ++attempt) {
      library.Command("bg_halt");
      if (FQueue->State().ThreadEnded) return;
    }
    Error("ngspice does not stop.");
    FEngineStuck = true;
  }

  void EndNgspiceThread() {
    if (!FThreadLaunched || !FQueue) return;
    FThreadLaunched = false;
    if (!FQueue->State().ThreadEnded) TNgspiceLibrary::Instance().Command("bg_halt");
    CleanUp();
  }

  void TakeAndRelay() {
    TBatch batch;
    FQueue->Take(batch);
    Relay(batch);
  }

  void Relay(const TBatch& batch) {
    for (const TEvent& event : batch.Events) {
      switch (event.Kind) {
        case ekStdout: Output(batch.Texts[event.Index]); break;
        case ekStderr: Message(batch.Texts[event.Index]); break;
        case ekStatus:
          if (!FStopSeen) Status(batch.Texts[event.Index]);
          break;
        case ekPlot:
          if (!FStopSeen) OpenChart(batch.Plots[event.Index]);
          break;
        case ekData:
          // After a stop the points not yet relayed are dropped: the start call is to return
          // soon, and the viewer keeps what it has, in order.
          if (!FStopSeen && FChart) RelayPoints(batch.Values.data() + event.Index, event.Count);
          break;
      }
    }
    const TRunState state = FQueue->State();
    if (state.ExitRequested && !FExitRequested) {
      FExitRequested = true;
      TNgspiceLibrary::Instance().MarkForReload();
    }
  }

  void Output(const std::string& line) {
    // ngspice's notes on its own thread handling mean nothing to the user.
    if (StartsWithNoCase(line, "Background thread stopped")) return;
    if (StartsWithNoCase(line, "Measurements for")) FTextResults = true;
    FSim.WriteLine(line);
  }

  void Message(const std::string& line) {
    if (FStopSeen && (ContainsNoCase(line, "pause requested") || ContainsNoCase(line, "simulation interrupted")))
      return;
    Classify(line);
    FErr.WriteLine(line);
  }

  // ngspice reports almost every failure only in its text: which lines mean that the netlist was
  // refused, and which that an analysis failed.
  void Classify(std::string_view line) {
    static constexpr std::string_view kRefusals[] = {
        "error on line",         "circuit not parsed",       "there aren't any circuits loaded",
        "no job (tran, ac, op",  "please check your input",  "could not find a valid modelname",
        "netlist line no.",      "unknown subckt",           "cannot recover and awaits",
    };
    static constexpr std::string_view kFailures[] = {
        "simulation(s) aborted", "interrupted due to error", "doanalyses:", "timestep too small",
        "simulation interrupted",
    };
    if (ContainsNoCase(line, "no job (tran, ac, op")) FNoAnalysis = true;
    for (const std::string_view refusal : kRefusals)
      if (ContainsNoCase(line, refusal)) {
        ++(FPhase == phRunning && refusal == "cannot recover and awaits" ? FAnalysisErrors : FNetlistErrors);
        return;
      }
    for (const std::string_view failure : kFailures)
      if (ContainsNoCase(line, failure)) {
        ++FAnalysisErrors;
        return;
      }
    if (StartsWithNoCase(TrimView(line), "error")) ++(FPhase == phLoading ? FNetlistErrors : FAnalysisErrors);
  }

  // "tran: 45.3%": the progress of the current analysis; "--ready--" and texts of other
  // analyses (ngspice names the next one before its plot begins) are left to the chart.
  void Status(std::string_view text) {
    if (!FChart) return;
    const std::size_t colon = text.find(':');
    const std::size_t percent = text.find('%');
    if (colon == std::string_view::npos || percent == std::string_view::npos || percent < colon) return;
    if (!SameText(TrimView(text.substr(0, colon)), FChart->Analysis)) return;
    const auto value = ParseSpiceNumber(TrimView(text.substr(colon + 1, percent - colon - 1)));
    if (!value) return;
    Advance(static_cast<std::int32_t>(std::lround(std::clamp(*value, 0.0, 100.0) * 10.0)));
  }

  void OpenChart(const TPlotInfo& plot) {
    FinishChart(true);
    auto chart = std::make_unique<TChart>();
    chart->Plot = plot;
    chart->Analysis = AnalysisOfPlotType(plot.Type);
    // A second analysis of a kind gets its number: "tran", then "tran2".
    const int count = ++FAnalysisCounts[chart->Analysis];
    const std::string chartName = count == 1 ? chart->Analysis : chart->Analysis + std::to_string(count);
    const bool operatingPoint = chart->Analysis == "op";

    SetState(plot.Name.empty() ? chartName : plot.Name);
    FPlugin.PercentInit(kProgressTotal);
    chart->Id = FViewer.NewChart(FWindow, chartName.c_str(), 0, 1, 0);
    ++FChartCount;
    const auto range = FNetlist.Ranges.find(chart->Analysis);
    if (range != FNetlist.Ranges.end() && count == 1) {
      FViewer.InitializeXAxis(FWindow, chart->Id, range->second.From, range->second.To);
      chart->AxisSent = true;
    }
    // ngspice lists a plot's vectors newest first; the viewer gets them in the order they were
    // made (the order of ngspice's raw files): the sweep or time first, then nodes, then currents.
    chart->Waves.assign(plot.Vectors.size(), -1);
    for (std::size_t k = plot.Vectors.size(); k-- > 0;) {
      const TVectorInfo& vector = plot.Vectors[k];
      // An operating point has no x: its "scale" is merely its first vector.
      if (vector.IsScale && !operatingPoint) {
        if (chart->Scale < 0) chart->Scale = static_cast<std::ptrdiff_t>(k);
        continue;
      }
      chart->Waves[k] =
          FViewer.NewWaveform(FWindow, chart->Id, ViewerWaveName(vector.Name, vector.Type).c_str(), 0, 1, 0, 0, 0);
      chart->Order.push_back(k);
    }
    FChart = std::move(chart);
  }

  void RelayPoints(const double* values, std::uint32_t count) {
    TChart& chart = *FChart;
    const bool complex = chart.Plot.Complex;
    const std::size_t stride = chart.Plot.Stride();
    const std::size_t width = complex ? 2 : 1;
    for (std::uint32_t p = 0; p < count; ++p) {
      const double* point = values + static_cast<std::size_t>(p) * stride;
      const double x = chart.Scale >= 0 ? point[static_cast<std::size_t>(chart.Scale) * width] : 0.0;
      for (const std::size_t k : chart.Order) {
        const double re = point[k * width];
        const double im = complex ? point[k * width + 1] : 0.0;
        FViewer.NewDataPoint(FWindow, chart.Id, chart.Waves[k], x, 0.0, re, im);
      }
      if (chart.Points == 0) chart.MinX = chart.MaxX = x;
      chart.MinX = std::min(chart.MinX, x);
      chart.MaxX = std::max(chart.MaxX, x);
      ++chart.Points;
      if (chart.Analysis == "op") chart.LastValues.assign(point, point + stride);
      if (chart.Points % kPointsPerClockCheck == 0 && Clock::now() - FLastPump >= kPumpPeriod) {
        Pump();
        if (FStopSeen) return;
      }
    }
  }

  // Ends the chart in the viewer and its progress display. Complete is false after a stop,
  // when the progress is not taken to its end.
  void FinishChart(bool complete) {
    if (!FChart) return;
    TChart& chart = *FChart;
    if (!chart.AxisSent) FViewer.InitializeXAxis(FWindow, chart.Id, chart.MinX, chart.MaxX);
    FViewer.UpdateChart(FWindow, chart.Id);
    if (complete) Advance(kProgressTotal);
    FPlugin.PercentFinish();
    if (chart.Analysis == "op" && !chart.LastValues.empty()) WriteOperatingPoint(chart);
    FChart.reset();
  }

  void WriteOperatingPoint(const TChart& chart) {
    const std::size_t width = chart.Plot.Complex ? 2 : 1;
    FSim.WriteLine("");
    FSim.WriteLine("Operating point (" + chart.Plot.Name + "):");
    for (const std::size_t k : chart.Order) {
      const TVectorInfo& vector = chart.Plot.Vectors[k];
      FSim.WriteLine("  " + ViewerWaveName(vector.Name, vector.Type) + " = " +
                     FormatNumber(chart.LastValues[k * width]));
    }
    FTextResults = true;
  }

  void Advance(std::int32_t perMille) {
    if (!FChart || perMille <= FChart->Shown) return;
    FPlugin.PercentUpdate(perMille - FChart->Shown);
    FChart->Shown = perMille;
    FLastPump = Clock::now();
    CheckStop();
  }

  // Lets the host dispatch its messages without moving the progress display.
  void Pump() {
    FPlugin.PercentUpdate(0);
    FLastPump = Clock::now();
    CheckStop();
  }

  void CheckStop() {
    if (StopRequested) FStopSeen = true;
  }

  void SetState(const std::string& text) {
    if (FPlugin.SetState) FPlugin.SetState(text.c_str());
  }

  void Error(const std::string& line) { FErr.WriteLine(line); }

  // The last line of the error file after a run that did not succeed names its result.
  void Summarise(std::int32_t result) {
    const char* meaning = nullptr;
    switch (result) {
      case kResultTolvexMissing: meaning = "Tolvex.dll not found"; break;
      case kResultNetlistRefused: meaning = "the netlist was refused"; break;
      case kResultEngineFailed:
        meaning = FViewerFailed ? "the waveform viewer could not write its files" : "the engine could not run ngspice";
        break;
      case kResultAnalysisFailed: meaning = "an analysis failed"; break;
      case kResultNoMemory: meaning = "out of memory"; break;
      case kResultNetlistMissing: meaning = "netlist not found"; break;
      case kResultNetlistUnreadable: meaning = "netlist cannot be read"; break;
      case kResultSimFileFailed: meaning = "the text output cannot be written"; break;
      case kResultStoppedBeforeResults: meaning = "stopped by the user before the first result"; break;
      case kResultStopped: meaning = "stopped by the user"; break;
      case kResultViewerMissing: meaning = "waveform viewer not found"; break;
      default: return;
    }
    Error("Result " + std::to_string(result) + ": " + meaning + ".");
  }

  // What the run left in ngspice goes, so that memory stays flat over many runs; after ngspice
  // asked to exit, the reload does this instead.
  void CleanUp() {
    if (!FQueue || FCleanedUp) return;
    FCleanedUp = true;
    FQueue->SetCapture(false);
    if (FExitRequested || FEngineStuck) return;
    TNgspiceLibrary& library = TNgspiceLibrary::Instance();
    library.Command("remcirc");
    library.Command("destroy all");
  }

  const engines::TStartText FStart;
  TOutputFile FErr;
  TOutputFile FSim;
  TModuleBinding FTolvexModule;
  TModuleBinding FViewerModule;
  TPluginFunctions FPlugin;
  TViewerFunctions FViewer;
  TPreparedNetlist FNetlist;
  TRelayQueue* FQueue = nullptr;
  TPhase FPhase = phLoading;
  std::int32_t FWindow = 0;
  bool FDocumentNamed = false;
  bool FDataCompleted = false;
  bool FViewerFailed = false;
  std::unique_ptr<TChart> FChart;
  std::map<std::string, int> FAnalysisCounts;
  int FChartCount = 0;
  int FNetlistErrors = 0;
  int FAnalysisErrors = 0;
  bool FTextResults = false;
  bool FNoAnalysis = false;
  bool FExitRequested = false;
  bool FStopSeen = false;
  bool FHaltSent = false;
  bool FEngineStuck = false;
  bool FThreadLaunched = false;
  bool FCleanedUp = false;
  Clock::time_point FLastPump = Clock::now();
};

class TRunningFlag {
 public:
  TRunningFlag() : FOwner(!Running.exchange(true)) {}
  ~TRunningFlag() {
    if (FOwner) Running = false;
  }
  bool Owner() const { return FOwner; }

 private:
  bool FOwner;
};

}  // namespace

// On this platform the built-in (standard) and external (C) start conventions are one ABI, so one
// function serves both forms of the start call.
TOLVEX_EXTERN_C TOLVEX_EXPORT std::int32_t TOLVEX_STDCALL XSpice_Start(const char* text) {
  const TRunningFlag running;
  if (!running.Owner()) return kResultEngineFailed;
  // A stop that arrived between runs is forgotten: it was meant for a run that has ended.
  StopRequested = false;
  try {
    TNgspiceRun run(engines::ParseStartText(text ? std::string_view(text) : std::string_view()));
    std::int32_t result;
    try {
      result = run.Execute();
    } catch (const std::bad_alloc&) {
      run.Abandon(kResultNoMemory);
      result = kResultNoMemory;
    } catch (...) {
      run.Abandon(kResultEngineFailed);
      result = kResultEngineFailed;
    }
    run.Finish();
    return result;
  } catch (const std::bad_alloc&) {
    return kResultNoMemory;
  } catch (...) {
    return kResultEngineFailed;
  }
}

TOLVEX_EXTERN_C TOLVEX_EXPORT void TOLVEX_STDCALL XSpice_Stop() { StopRequested = true; }

static_assert(std::is_same_v<decltype(&XSpice_Start), TXSpice_StartBuiltIn>);
static_assert(std::is_same_v<decltype(&XSpice_Stop), TXSpice_Stop>);
