// The scripted test engine, ScriptedEngine.dll: instead of simulating, it plays a script written in
// its netlist's comment lines, so that a test decides exactly which callbacks the plug-in receives.
#include "ScriptedEngine.h"
#include "ModuleBinding.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "engine_api/EngineCallbacks.h"
#include "os/Os.h"
#include "os/Platform.h"

using namespace tolvex;
using namespace tolvex::scripted;

namespace {

// Set by XSpice_Stop, which arrives from inside the engine's own callbacks while XSpice_Start is
// below it on the stack; atomic all the same, since a test harness may call it from elsewhere.
std::atomic<bool> StopRequested{false};

constexpr std::int32_t kResultTolvexMissing = 1;
constexpr std::int32_t kResultScriptError = 3;
constexpr std::int32_t kResultNoMemory = 5;
constexpr std::int32_t kResultNetlistMissing = 8;
constexpr std::int32_t kResultNetlistUnreadable = 9;
constexpr std::int32_t kResultSimFileFailed = 10;
constexpr std::int32_t kResultErrFileFailed = 11;
constexpr std::int32_t kResultStopped = 14;
constexpr std::int32_t kResultViewerMissing = 16;

enum TCommand : int {
  cmStatus,
  cmPush,
  cmPop,
  cmPercentInit,
  cmPercentUpdate,
  cmPercentFinish,
  cmGaugeInit,
  cmGaugeUpdate,
  cmMessage,
  cmStopCheck,
  cmOnStop,
  cmRunUntilStopped,
  cmErr,
  cmSim,
  cmEchoStart,
  cmResult,
  cmGetCurrentWindow,
  cmSetDocumentName,
  cmSetActiveChart,
  cmFlushWindow,
  cmChart_Create,
  cmChart_FormatXAxis,
  cmNewChart,
  cmInitializeXAxis,
  cmGetWaveformIndex,
  cmNewWaveform,
  cmUpdateChart,
  cmNewDataPoint,
  cmWave_SetHint,
  cmDataComplete,
  cmCount
};

// Which module a command calls, and so which result ends the run when it cannot be reached.
enum TCommandTarget { ctNone, ctTolvex, ctViewer };

struct TCommandInfo {
  const char* Name;
  TCommand Command;
  TCommandTarget Target;
  const char* ExportName;
  // One letter per argument: I 32-bit integer ($w, $c, $v allowed), B 8-bit boolean (an integer's
  // low 8 bits), F floating point, S one word of text, T the rest of the line as text.
  const char* Arguments;
};

constexpr TCommandInfo kCommands[] = {
    {"status", cmStatus, ctTolvex, "SimAPI_StatusBar_SetState", "T"},
    {"push", cmPush, ctTolvex, "SimAPI_StatusBar_PushStatus", ""},
    {"pop", cmPop, ctTolvex, "SimAPI_StatusBar_PopStatus", ""},
    {"percent-init", cmPercentInit, ctTolvex, "SimAPI_PercentInit", "I"},
    {"percent-update", cmPercentUpdate, ctTolvex, "SimAPI_PercentUpdate", "I"},
    {"percent-finish", cmPercentFinish, ctTolvex, "SimAPI_PercentFinish", ""},
    {"gauge-init", cmGaugeInit, ctTolvex, "PascalEnd_InitializeGauge", ""},
    {"gauge-update", cmGaugeUpdate, ctTolvex, "PascalEnd_UpdateGauge", ""},
    {"message", cmMessage, ctTolvex, "PascalEnd_WriteInMessagesListBox", "T"},
    {"stop-check", cmStopCheck, ctNone, nullptr, ""},
    {"on-stop", cmOnStop, ctNone, nullptr, "I"},
    {"run-until-stopped", cmRunUntilStopped, ctTolvex, "SimAPI_PercentUpdate", "I"},
    {"err", cmErr, ctNone, nullptr, "T"},
    {"sim", cmSim, ctNone, nullptr, "T"},
    {"echo-start", cmEchoStart, ctNone, nullptr, ""},
    {"result", cmResult, ctNone, nullptr, "I"},
    {"GetCurrentWindow", cmGetCurrentWindow, ctViewer, "OndulixAPI_GetCurrentWindow", ""},
    {"SetDocumentName", cmSetDocumentName, ctViewer, "OndulixAPI_SetDocumentName", "S"},
    {"SetActiveChart", cmSetActiveChart, ctViewer, "OndulixAPI_SetActiveChart", "I"},
    {"FlushWindow", cmFlushWindow, ctViewer, "OndulixAPI_FlushWindow", "B"},
    {"Chart_Create", cmChart_Create, ctViewer, "OndulixAPI_Chart_Create", "SBIB"},
    {"Chart_FormatXAxis", cmChart_FormatXAxis, ctViewer, "OndulixAPI_Chart_FormatXAxis", "IIIIFF"},
    {"NewChart", cmNewChart, ctViewer, "OndulixAPI_NewChart", "SIBI"},
    {"InitializeXAxis", cmInitializeXAxis, ctViewer, "OndulixAPI_InitializeXAxis", "IFF"},
    {"GetWaveformIndex", cmGetWaveformIndex, ctViewer, "OndulixAPI_GetWaveformIndex", "II"},
    {"NewWaveform", cmNewWaveform, ctViewer, "OndulixAPI_NewWaveform", "ISIBBBI"},
    {"UpdateChart", cmUpdateChart, ctViewer, "OndulixAPI_UpdateChart", "I"},
    {"NewDataPoint", cmNewDataPoint, ctViewer, "OndulixAPI_NewDataPoint", "IIFFFF"},
    {"Wave_SetHint", cmWave_SetHint, ctViewer, "OndulixAPI_Wave_SetHint", "III"},
    {"DataComplete", cmDataComplete, ctViewer, "OndulixAPI_DataComplete", "BI"},
};
static_assert(std::size(kCommands) == cmCount, "every command has one row");

const TCommandInfo* FindCommand(std::string_view name) {
  for (const TCommandInfo& info : kCommands)
    if (SameText(info.Name, name)) return &info;
  return nullptr;
}

struct TArgument {
  std::int32_t Integer = 0;
  double Real = 0;
  std::string Text;
  // 'w', 'c' or 'v': the value is read when the command runs, so that a repeated command sees
  // the chart or wave that the previous repetition created.
  char Reference = 0;
};

struct TPrepared {
  const TCommandInfo* Info = nullptr;
  std::vector<TArgument> Arguments;
};

// An output file beside the netlist. It is emptied on its first use in a run, as an engine
// writes its outputs afresh, and every line is flushed so that it survives a crash of the host.
class TOutputFile {
 public:
  TOutputFile() = default;
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;
  ~TOutputFile() {
    if (FFile) std::fclose(FFile);
  }
  void SetPath(std::string path) { FPath = std::move(path); }

  bool WriteLine(std::string_view line) {
    if (!FFile && !FFailed) {
      FFile = std::fopen(FPath.c_str(), "wb");
      FFailed = FFile == nullptr;
    }
    if (!FFile) return false;
    return std::fwrite(line.data(), 1, line.size(), FFile) == line.size() && std::fputc('\n', FFile) != EOF &&
           std::fflush(FFile) == 0;
  }

 private:
  std::string FPath;
  std::FILE* FFile = nullptr;
  bool FFailed = false;
};

using engines::TModuleBinding;

class TScriptRun {
 public:
  explicit TScriptRun(TStartText start) : FStart(std::move(start)) {}

  std::int32_t Play() {
    if (FStart.NetlistPath.empty()) return kResultNetlistMissing;
    std::error_code error;
    const auto status = std::filesystem::status(FStart.NetlistPath, error);
    if (status.type() == std::filesystem::file_type::not_found) return kResultNetlistMissing;
    if (status.type() == std::filesystem::file_type::directory) return kResultNetlistUnreadable;
    std::ifstream netlist(FStart.NetlistPath, std::ios::binary);
    if (!netlist) return kResultNetlistUnreadable;
    FErr.SetPath(ReplaceExtension(FStart.NetlistPath, "err"));
    FSim.SetPath(ReplaceExtension(FStart.NetlistPath, "sim"));

    std::string line;
    while (!FEnded && std::getline(netlist, line)) {
      ++FLineNumber;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      std::string_view body;
      if (IsScriptLine(line, body)) PlayLine(body);
    }
    return FEnded.value_or(FResult);
  }

 private:
  void End(std::int32_t result) {
    if (!FEnded) FEnded = result;
  }

  // A remark on the script itself; it goes to the .err file, and is lost when that cannot be written.
  void Note(std::string_view command, const std::string& text) {
    std::string line = "line " + std::to_string(FLineNumber) + ": ";
    if (!command.empty()) {
      line += command;
      line += ": ";
    }
    line += text;
    FErr.WriteLine(line);
  }

  void PlayLine(std::string_view body) {
    bool unterminated = false;
    const std::vector<std::string> words = SplitWords(body, unterminated);
    if (unterminated) Note({}, "unterminated quote, taken to the end of the line");
    if (words.empty()) return;

    // Nested repeats multiply instead of recursing, so a long line cannot exhaust the stack.
    std::int64_t count = 1;
    std::size_t first = 0;
    while (first < words.size() && SameText(words[first], "repeat")) {
      std::int32_t n = 0;
      if (first + 1 >= words.size()) {
        Note("repeat", "missing count and command");
        return;
      }
      if (!ParseInt32(words[first + 1], n)) {
        Note("repeat", "not an integer: " + words[first + 1] + ", taken as 0");
        n = 0;
      }
      if (n <= 0)
        count = 0;
      else if (count > std::numeric_limits<std::int64_t>::max() / n)
        count = std::numeric_limits<std::int64_t>::max();
      else
        count *= n;
      first += 2;
    }
    if (first >= words.size()) {
      Note("repeat", "missing command");
      return;
    }
    const TCommandInfo* info = FindCommand(words[first]);
    if (!info) {
      FErr.WriteLine("unknown script command: " + words[first]);
      End(kResultScriptError);
      return;
    }
    const TPrepared prepared = Prepare(*info, words, first + 1);
    for (std::int64_t k = 0; k < count && !FEnded; ++k) Execute(prepared);
  }

  TPrepared Prepare(const TCommandInfo& info, const std::vector<std::string>& words, std::size_t from) {
    TPrepared prepared;
    prepared.Info = &info;
    const std::string_view kinds = info.Arguments;
    const std::size_t given = words.size() - from;
    for (std::size_t index = 0; index < kinds.size(); ++index) {
      TArgument argument;
      const char kind = kinds[index];
      const std::string position = "argument " + std::to_string(index + 1);
      if (kind == 'T') {
        if (index >= given) Note(info.Name, "missing " + position + ", taken as empty");
        for (std::size_t w = from + index; w < words.size(); ++w) {
          if (w > from + index) argument.Text += ' ';
          argument.Text += words[w];
        }
      } else if (index >= given) {
        Note(info.Name, "missing " + position + (kind == 'S' ? ", taken as empty" : ", taken as 0"));
      } else {
        const std::string& word = words[from + index];
        if (kind == 'S') {
          argument.Text = word;
        } else if (kind == 'F') {
          if (!ParseDouble(word, argument.Real)) Note(info.Name, position + " is not a number: " + word + ", taken as 0");
        } else if (word == "$w" || word == "$c" || word == "$v") {
          argument.Reference = word[1];
        } else if (!ParseInt32(word, argument.Integer)) {
          Note(info.Name, position + " is not an integer: " + word + ", taken as 0");
        }
      }
      prepared.Arguments.push_back(std::move(argument));
    }
    if (kinds.find('T') == std::string_view::npos && given > kinds.size())
      Note(info.Name, "extra arguments ignored from " + words[from + kinds.size()]);
    return prepared;
  }

  std::int32_t Int(const TArgument& argument) const {
    switch (argument.Reference) {
      case 'w': return FWindow;
      case 'c': return FChart;
      case 'v': return FWave;
    }
    return argument.Integer;
  }
  std::uint8_t Byte(const TArgument& argument) const { return static_cast<std::uint8_t>(Int(argument)); }

  // The export a command calls, bound on its first use; a module or an export that cannot be
  // found ends the run with the result that tells the plug-in which module was missing.
  template <class TFunction>
  TFunction Bind(const TCommandInfo& info) {
    void*& slot = FBound[info.Command];
    if (slot) return reinterpret_cast<TFunction>(slot);
    const bool tolvex = info.Target == ctTolvex;
    const os::TModuleHandle module = tolvex ? FTolvex.Resolve(FStart.LibraryPath, "Tolvex.dll")
                                            : FViewer.Resolve(FStart.ViewerPath, "Ondulix.dll");
    const std::string moduleName =
        tolvex ? (FStart.LibraryPath.empty() ? "Tolvex.dll" : FStart.LibraryPath)
               : (FStart.ViewerPath.empty() ? "Ondulix.dll" : FStart.ViewerPath);
    if (!module) {
      Note(info.Name, "cannot find " + moduleName);
    } else if (!(slot = os::FindExport(module, info.ExportName))) {
      Note(info.Name, moduleName + " has no " + info.ExportName);
    }
    if (!slot) End(tolvex ? kResultTolvexMissing : kResultViewerMissing);
    return reinterpret_cast<TFunction>(slot);
  }

  void Execute(const TPrepared& prepared) {
    const TCommandInfo& info = *prepared.Info;
    const std::vector<TArgument>& a = prepared.Arguments;
    switch (info.Command) {
      case cmStatus:
        if (auto f = Bind<TSimAPI_StatusBar_SetState>(info)) f(a[0].Text.c_str());
        break;
      case cmPush:
        if (auto f = Bind<TSimAPI_StatusBar_PushStatus>(info)) f();
        break;
      case cmPop:
        if (auto f = Bind<TSimAPI_StatusBar_PopStatus>(info)) f();
        break;
      case cmPercentInit:
        if (auto f = Bind<TSimAPI_PercentInit>(info)) f(Int(a[0]));
        break;
      case cmPercentUpdate:
        if (auto f = Bind<TSimAPI_PercentUpdate>(info)) f(Int(a[0]));
        break;
      case cmPercentFinish:
        if (auto f = Bind<TSimAPI_PercentFinish>(info)) f();
        break;
      case cmGaugeInit:
        if (auto f = Bind<TPascalEnd_InitializeGauge>(info)) f(0, 0);
        break;
      case cmGaugeUpdate:
        if (auto f = Bind<TPascalEnd_UpdateGauge>(info)) f(0);
        break;
      case cmMessage:
        if (auto f = Bind<TPascalEnd_WriteInMessagesListBox>(info)) f(a[0].Text.c_str());
        break;
      case cmStopCheck:
        if (StopRequested) End(FStopResult);
        break;
      case cmOnStop:
        FStopResult = Int(a[0]);
        break;
      case cmRunUntilStopped:
        if (auto f = Bind<TSimAPI_PercentUpdate>(info)) {
          const std::int32_t limit = Int(a[0]);
          for (std::int32_t k = 1; k <= limit; ++k) {
            f(1);
            if (StopRequested) {
              FErr.WriteLine("stopped after " + std::to_string(k) + " updates");
              End(FStopResult);
              break;
            }
          }
        }
        break;
      case cmErr:
        if (!FErr.WriteLine(a[0].Text)) End(kResultErrFileFailed);
        break;
      case cmSim:
        if (!FSim.WriteLine(a[0].Text)) {
          Note(info.Name, "cannot write the .sim file");
          End(kResultSimFileFailed);
        }
        break;
      case cmEchoStart:
        if (!FSim.WriteLine(FStart.Raw)) {
          Note(info.Name, "cannot write the .sim file");
          End(kResultSimFileFailed);
        }
        break;
      case cmResult:
        FResult = Int(a[0]);
        break;
      case cmGetCurrentWindow:
        if (auto f = Bind<TOndulixAPI_GetCurrentWindow>(info)) FWindow = f();
        break;
      case cmSetDocumentName:
        if (auto f = Bind<TOndulixAPI_SetDocumentName>(info)) f(FWindow, a[0].Text.c_str());
        break;
      case cmSetActiveChart:
        if (auto f = Bind<TOndulixAPI_SetActiveChart>(info)) f(FWindow, Int(a[0]));
        break;
      case cmFlushWindow:
        if (auto f = Bind<TOndulixAPI_FlushWindow>(info)) f(FWindow, Byte(a[0]));
        break;
      case cmChart_Create:
        if (auto f = Bind<TOndulixAPI_Chart_Create>(info))
          FChart = f(FWindow, a[0].Text.c_str(), Byte(a[1]), Int(a[2]), Byte(a[3]));
        break;
      case cmChart_FormatXAxis:
        if (auto f = Bind<TOndulixAPI_Chart_FormatXAxis>(info))
          f(FWindow, Int(a[0]), Int(a[1]), Int(a[2]), Int(a[3]), a[4].Real, a[5].Real);
        break;
      case cmNewChart:
        if (auto f = Bind<TOndulixAPI_NewChart>(info))
          FChart = f(FWindow, a[0].Text.c_str(), Int(a[1]), Byte(a[2]), Int(a[3]));
        break;
      case cmInitializeXAxis:
        if (auto f = Bind<TOndulixAPI_InitializeXAxis>(info)) f(FWindow, Int(a[0]), a[1].Real, a[2].Real);
        break;
      case cmGetWaveformIndex:
        if (auto f = Bind<TOndulixAPI_GetWaveformIndex>(info)) f(FWindow, Int(a[0]), Int(a[1]));
        break;
      case cmNewWaveform:
        if (auto f = Bind<TOndulixAPI_NewWaveform>(info))
          FWave = f(FWindow, Int(a[0]), a[1].Text.c_str(), Int(a[2]), Byte(a[3]), Byte(a[4]), Byte(a[5]), Int(a[6]));
        break;
      case cmUpdateChart:
        if (auto f = Bind<TOndulixAPI_UpdateChart>(info)) f(FWindow, Int(a[0]));
        break;
      case cmNewDataPoint:
        if (auto f = Bind<TOndulixAPI_NewDataPoint>(info))
          f(FWindow, Int(a[0]), Int(a[1]), a[2].Real, a[3].Real, a[4].Real, a[5].Real);
        break;
      case cmWave_SetHint:
        if (auto f = Bind<TOndulixAPI_Wave_SetHint>(info)) f(FWindow, Int(a[0]), Int(a[1]), Int(a[2]));
        break;
      case cmDataComplete:
        if (auto f = Bind<TOndulixAPI_DataComplete>(info)) f(FWindow, Byte(a[0]), Int(a[1]));
        break;
      case cmCount:
        break;
    }
  }

  const TStartText FStart;
  TOutputFile FErr;
  TOutputFile FSim;
  TModuleBinding FTolvex;
  TModuleBinding FViewer;
  std::array<void*, cmCount> FBound{};
  std::size_t FLineNumber = 0;
  std::optional<std::int32_t> FEnded;
  std::int32_t FResult = 0;
  std::int32_t FStopResult = kResultStopped;
  std::int32_t FWindow = 0;
  std::int32_t FChart = 0;
  std::int32_t FWave = 0;
};

}  // namespace

// On this platform the built-in (standard) and external (C) start conventions are one ABI, so one
// function serves both forms of the start call.
TOLVEX_EXTERN_C TOLVEX_EXPORT std::int32_t TOLVEX_STDCALL XSpice_Start(const char* text) {
  try {
    // All run state lives in the run, so a second start in the same process begins afresh; only
    // the stop request is module-wide, and a stop that arrived between runs is forgotten here.
    StopRequested = false;
    TScriptRun run(ParseStartText(text ? std::string_view(text) : std::string_view()));
    return run.Play();
  } catch (const std::bad_alloc&) {
    return kResultNoMemory;
  } catch (...) {
    return kResultScriptError;
  }
}

TOLVEX_EXTERN_C TOLVEX_EXPORT void TOLVEX_STDCALL XSpice_Stop() { StopRequested = true; }

static_assert(std::is_same_v<decltype(&XSpice_Start), TXSpice_StartBuiltIn>);
static_assert(std::is_same_v<decltype(&XSpice_Stop), TXSpice_Stop>);
