// The waveform viewer stand-in, Ondulix.dll: keeps the windows, charts, waves and points it is sent,
// answers the name queries, writes each window's waveform file and plots when its data is complete,
// and on request logs every call so that tests can see what reached it.
#include "Ondulix.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "SdfFile.h"
#include "SvgPlot.h"
#include "WaveformData.h"
#include "WaveformOutput.h"
#include "engine_api/EngineCallbacks.h"
#include "support/TextUtils.h"

using namespace tolvex;
using namespace tolvex::ondulix;

namespace {

// Names are given back through 256-byte areas, so nothing longer is worth keeping.
constexpr std::size_t kMaxNameLength = kViewerNameAreaSize - 1;
// Bounds that keep a runaway engine from exhausting the host's memory: 4,000,000 points take
// 64 MB (128 MB when complex). Calls beyond a bound are still logged; they are only not stored.
constexpr std::size_t kMaxWindows = 16;
constexpr std::size_t kMaxCharts = 65536;
constexpr std::size_t kMaxWavesPerChart = 65536;
constexpr std::size_t kMaxStoredPoints = 4000000;
// Waveform files whose plot lists are remembered for the host.
constexpr std::size_t kMaxPlotLists = 256;
constexpr std::int32_t kCurrentWindow = 1;
constexpr std::int32_t kNoWave = -1;

struct TChart {
  std::int32_t Window = 0;
  TChartData Data;
};

struct TWindow {
  std::int32_t Id = 0;
  std::string DocumentName;
  // Chosen when the document is named, from the documents the host had opened by then.
  bool Named = false;
  std::string WaveformPath;
  std::int32_t ActiveChart = 0;
  std::uint8_t FlushFlag = 0;
  std::int32_t HintA = 0, HintB = 0, HintC = 0;
  bool Complete = false;
  std::uint8_t CompleteFlag = 0;
  std::int32_t CompleteA = 0;
};

// What the plots are drawn from: windows by the id their calls name, charts with ids from 1 in
// creation order across the process (the name queries name a chart without its window), waves
// numbered from 0 within their chart.
struct TViewerModel {
  std::vector<TWindow> Windows;
  std::map<std::int32_t, TChart> Charts;
  std::int32_t LastChartId = 0;
  std::size_t StoredPoints = 0;
  std::uint64_t DroppedPoints = 0;
  TOpenedDocuments Documents;
  // By waveform file: the plots last written beside it.
  std::map<std::string, std::vector<std::string>> Plots;

  TWindow* FindWindow(std::int32_t id) {
    for (TWindow& window : Windows)
      if (window.Id == id) return &window;
    return nullptr;
  }
  TWindow* Window(std::int32_t id) {
    if (TWindow* found = FindWindow(id)) return found;
    if (Windows.size() >= kMaxWindows) return nullptr;
    Windows.push_back(TWindow{});
    Windows.back().Id = id;
    return &Windows.back();
  }
  TChart* Chart(std::int32_t id) {
    const auto it = Charts.find(id);
    return it == Charts.end() ? nullptr : &it->second;
  }
  TWaveData* Wave(std::int32_t chartId, std::int32_t waveId) {
    TChart* chart = Chart(chartId);
    if (!chart || waveId < 0 || static_cast<std::size_t>(waveId) >= chart->Data.Waves.size()) return nullptr;
    return &chart->Data.Waves[static_cast<std::size_t>(waveId)];
  }
  std::int32_t AddChart(std::int32_t window, const char* name, std::int32_t a, std::int32_t b, std::int32_t c) {
    if (Charts.size() >= kMaxCharts || LastChartId == std::numeric_limits<std::int32_t>::max()) return 0;
    TChart chart;
    chart.Window = window;
    chart.Data.Name = CutText(name ? name : "", kMaxNameLength);
    chart.Data.A = a;
    chart.Data.B = b;
    chart.Data.C = c;
    Charts.emplace(LastChartId + 1, std::move(chart));
    return ++LastChartId;
  }
  // A new run in a window starts afresh: its charts are forgotten, their ids are not reused.
  void ForgetCharts(std::int32_t window) {
    for (auto it = Charts.begin(); it != Charts.end();) {
      if (it->second.Window != window) {
        ++it;
        continue;
      }
      StoredPoints -= std::min(StoredPoints, it->second.Data.PointCount());
      it = Charts.erase(it);
    }
  }
  std::vector<TChartData*> ChartsOf(std::int32_t window) {
    std::vector<TChartData*> charts;
    for (auto& [id, chart] : Charts)
      if (chart.Window == window) charts.push_back(&chart.Data);
    return charts;
  }
};

TViewerModel Model;

// The first write of the viewer's files that failed since the engine last asked: a run whose
// waveforms never reached the disk must not end as if it had succeeded. Guarded, since an engine
// may ask from its own thread.
class TWriteFailureRecord {
 public:
  void Failed(const std::string& message) {
    const std::lock_guard<std::mutex> lock(FMutex);
    if (!FFailed) FMessage = message;
    FFailed = true;
  }
  bool Take(std::string& message) {
    const std::lock_guard<std::mutex> lock(FMutex);
    const bool failed = FFailed;
    message.swap(FMessage);
    FMessage.clear();
    FFailed = false;
    return failed;
  }

 private:
  std::mutex FMutex;
  bool FFailed = false;
  std::string FMessage;
};

TWriteFailureRecord WriteFailures;

// The unit of a wave's y values, from the usual SPICE vector names: v(...) is a voltage, i(...)
// and a source's branch current (name#branch) a current; anything else has no known unit.
std::string YUnitOf(std::string_view name) {
  if (name.size() >= 2 && name[1] == '(') {
    if (name[0] == 'v' || name[0] == 'V') return "V";
    if (name[0] == 'i' || name[0] == 'I') return "A";
  }
  constexpr std::string_view kBranch = "#branch";
  if (name.size() > kBranch.size() && SameText(name.substr(name.size() - kBranch.size()), kBranch)) return "A";
  return "";
}

void WriteName(std::string_view text, char** nameBuffer) {
  if (!nameBuffer || !*nameBuffer) return;
  const std::size_t length = std::min(text.size(), kMaxNameLength);
  text.copy(*nameBuffer, length);
  (*nameBuffer)[length] = '\0';
}

// Text into a caller's buffer of Size bytes, cut to fit; the whole text's length is the answer.
std::int32_t CopyOut(std::string_view text, char* buffer, std::int32_t size) {
  if (buffer && size > 0) {
    const std::size_t length = std::min(text.size(), static_cast<std::size_t>(size) - 1);
    text.copy(buffer, length);
    buffer[length] = '\0';
  }
  return static_cast<std::int32_t>(std::min<std::size_t>(text.size(), std::numeric_limits<std::int32_t>::max()));
}

// Text into a caller's buffer of Size bytes, cut where it fits without splitting a UTF-8
// character (a path may hold any).
void CopyOutWhole(std::string_view text, char* buffer, std::int32_t size) {
  if (!buffer || size <= 0) return;
  std::size_t length = std::min(text.size(), static_cast<std::size_t>(size) - 1);
  if (length < text.size())
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  text.copy(buffer, length);
  buffer[length] = '\0';
}

bool IsRegularFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(std::filesystem::symlink_status(path, error));
}

// Writes a plot per chart beside the waveform file and remembers them for the host. Plots this
// viewer wrote earlier for the same file that are not written now are removed: they would show
// a run that is gone. Only regular files are removed, never what someone put there since; nor a
// plot whose new version failed, which stays as it was. The first failure goes to FirstFailure.
std::size_t WritePlots(const std::string& waveformPath, const std::string& documentName,
                       const std::vector<const TChartData*>& charts, std::string& firstFailure) {
  std::vector<std::string> names;
  for (const TChartData* chart : charts) names.push_back(chart->Name);
  const std::vector<std::string> paths = PlotPathsFor(waveformPath, names);
  std::vector<std::string> written;
  for (std::size_t i = 0; i < charts.size(); ++i) {
    std::string failure;
    if (WriteFileReplacing(
            paths[i], [&](std::ostream& out) { return WriteSvgPlot(out, *charts[i], documentName); }, &failure))
      written.push_back(paths[i]);
    else if (firstFailure.empty())
      firstFailure = failure;
  }
  const auto earlier = Model.Plots.find(waveformPath);
  if (earlier != Model.Plots.end()) {
    for (const std::string& old : earlier->second)
      if (std::find(paths.begin(), paths.end(), old) == paths.end() && IsRegularFile(old))
        std::remove(old.c_str());
  } else if (Model.Plots.size() >= kMaxPlotLists) {
    Model.Plots.erase(Model.Plots.begin());
  }
  const std::size_t count = written.size();
  Model.Plots[waveformPath] = std::move(written);
  return count;
}

// The window's data is complete: its waveform file goes where its document was found, and a plot
// per chart beside it. A file that cannot be written does not stop the others; the first failure
// is kept for the engine, which reports it when the run ends.
void WriteWindow(std::int32_t window) {
  const TWindow* w = Model.FindWindow(window);
  const std::string documentName = w ? w->DocumentName : std::string();
  const std::string path = w && w->Named ? w->WaveformPath : Model.Documents.PathFor(documentName);
  std::vector<const TChartData*> charts;
  for (TChartData* chart : Model.ChartsOf(window)) {
    const TXAxisName axis = NameXAxis(chart->Name, chart->IsComplex());
    chart->XAxis.Name = axis.Name;
    chart->XAxis.Unit = axis.Unit;
    charts.push_back(chart);
  }
  std::string failure;
  WriteFileReplacing(path, [&](std::ostream& out) { return WriteSdf(out, documentName, charts); }, &failure);
  WritePlots(path, documentName, charts, failure);
  if (!failure.empty()) WriteFailures.Failed(failure);
}

// One line of the call log: the function's name without its prefix, then key=value fields in
// argument order, then " -> " and the result for functions that give one.
class TLogLine {
 public:
  explicit TLogLine(const char* name) : FText(name) {}
  TLogLine& Int(const char* key, std::int64_t value) {
    Key(key);
    FText += std::to_string(value);
    return *this;
  }
  // Scientific notation with 8 significant digits in the C locale: the process's decimal
  // separator never reaches the log.
  TLogLine& Real(const char* key, double value) {
    Key(key);
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 7);
    for (char* p = buffer; p != result.ptr; ++p) FText += *p == 'e' ? 'E' : *p;
    return *this;
  }
  TLogLine& Text(const char* key, std::string_view value) {
    Key(key);
    Quote(value);
    return *this;
  }
  TLogLine& Result(std::int64_t value) {
    FText += " -> ";
    FText += std::to_string(value);
    return *this;
  }
  TLogLine& ResultText(std::string_view value) {
    FText += " -> ";
    Quote(value);
    return *this;
  }
  const std::string& Str() const { return FText; }

 private:
  void Key(const char* key) {
    FText += ' ';
    FText += key;
    FText += '=';
  }
  // The escapes of the host's journal, so that one reader serves both.
  void Quote(std::string_view value) {
    FText += '"';
    for (const char c : value) {
      switch (c) {
        case '\\': FText += "\\\\"; break;
        case '"': FText += "\\\""; break;
        case '\r': FText += "\\r"; break;
        case '\n': FText += "\\n"; break;
        case '\t': FText += "\\t"; break;
        default:
          if (static_cast<unsigned char>(c) < 32 || c == 127) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
            FText += hex;
          } else {
            FText += c;
          }
      }
    }
    FText += '"';
  }

  std::string FText;
};

class TCallLog {
 public:
  ~TCallLog() { Close(); }
  void Open(const char* path) {
    Close();
    if (path && *path) FFile = std::fopen(path, "wb");
  }
  bool IsOpen() const { return FFile != nullptr; }
  // Flushed line by line: the host may be killed by a failing test, and the log is what explains it.
  void Write(const TLogLine& line) {
    if (!FFile) return;
    const std::string& text = line.Str();
    std::fwrite(text.data(), 1, text.size(), FFile);
    std::fputc('\n', FFile);
    std::fflush(FFile);
  }

 private:
  void Close() {
    if (FFile) std::fclose(FFile);
    FFile = nullptr;
  }
  std::FILE* FFile = nullptr;
};

TCallLog Log;

std::string_view TextOf(const char* text) { return text ? std::string_view(text) : std::string_view(); }

// Runs Body, turning any exception (memory running out while storing) into Fallback, since
// nothing may be thrown across the module's boundary.
template <class TResult, class TBody>
TResult Guarded(TResult fallback, TBody body) {
  try {
    return body();
  } catch (...) {
    return fallback;
  }
}

template <class TBody>
void Guarded(TBody body) {
  try {
    body();
  } catch (...) {
  }
}

}  // namespace

TOLVEX_EXTERN_C TOLVEX_EXPORT void TOLVEX_STDCALL Ondulix_SetLog(const char* path) {
  Guarded([&] { Log.Open(path); });
}

TOLVEX_EXTERN_C TOLVEX_EXPORT void TOLVEX_STDCALL Ondulix_OpenDocument(const char* path) {
  Guarded([&] { Model.Documents.Opened(TextOf(path)); });
}

TOLVEX_EXTERN_C TOLVEX_EXPORT std::int32_t TOLVEX_STDCALL Ondulix_GetPlotFiles(const char* waveformPath, char* buffer,
                                                                              std::int32_t bufferSize) {
  return Guarded<std::int32_t>(0, [&] {
    std::string text;
    const auto it = Model.Plots.find(std::string(TextOf(waveformPath)));
    if (it != Model.Plots.end())
      for (const std::string& plot : it->second) text += (text.empty() ? "" : "\n") + plot;
    return CopyOut(text, buffer, bufferSize);
  });
}

TOLVEX_EXTERN_C TOLVEX_EXPORT std::int32_t TOLVEX_STDCALL Ondulix_PlotFile(const char* path, char* error,
                                                                          std::int32_t errorSize) {
  return Guarded<std::int32_t>(-1, [&]() -> std::int32_t {
    const std::string waveformPath(TextOf(path));
    TSdfReadResult read = ReadSdfFile(waveformPath);
    if (!read.Ok) {
      CopyOut(read.Error, error, errorSize);
      return -1;
    }
    std::vector<const TChartData*> charts;
    for (const TChartData& chart : read.Document.Charts) charts.push_back(&chart);
    // Its caller hears of a plot that failed at once, through Error; the engine's record is for runs.
    std::string failure;
    const std::size_t written = WritePlots(waveformPath, read.Document.DocumentName, charts, failure);
    CopyOutWhole(failure, error, errorSize);
    return static_cast<std::int32_t>(written);
  });
}

TOLVEX_EXTERN_C TOLVEX_EXPORT std::int32_t TOLVEX_STDCALL Ondulix_TakeWriteFailure(char* buffer,
                                                                                  std::int32_t bufferSize) {
  CopyOutWhole("", buffer, bufferSize);
  return Guarded<std::int32_t>(0, [&] {
    std::string message;
    if (!WriteFailures.Take(message)) return 0;
    CopyOutWhole(message, buffer, bufferSize);
    return 1;
  });
}

TOLVEX_EXTERN_C TOLVEX_EXPORT std::int32_t TOLVEX_STDCALL OndulixAPI_GetCurrentWindow() {
  Guarded([&] { Model.Window(kCurrentWindow); });
  Guarded([&] {
    if (Log.IsOpen()) Log.Write(TLogLine("GetCurrentWindow").Result(kCurrentWindow));
  });
  return kCurrentWindow;
}

TOLVEX_EXTERN_C TOLVEX_EXPORT void TOLVEX_STDCALL OndulixAPI_SetDocumentName(std::int32_t window,
                                                                             const char* documentName) {
  // Naming the document starts a new run in the window: what an earlier run left is forgotten,
  // and the waveform file's place is chosen from the documents the host opened for this run.
  Guarded([&] {
    Model.ForgetCharts(window);
    if (TWindow* w = Model.Window(window)) {
      *w = TWindow{};
      w->Id = window;
      w->DocumentName = CutText(TextOf(documentName), kMaxNameLength);
      w->Named = true;
      w->WaveformPath = Model.Documents.PathFor(w->DocumentName);
    }
  });
  Guarded([&] {
    if (Log.IsOpen())
      Log.Write(TLogLine("SetDocumentName").Int("window", window).Text("name", TextOf(documentName)));
  });
}

TOLVEX_EXTERN_C TOLVEX_EXPORT void TOLVEX_STDCALL OndulixAPI_SetActiveChart(std::int32_t window, std::int32_t chart) {
  Guarded([&] {
    if (TWindow* w = Model.Window(window)) w->ActiveChart = chart;
  });
  Guarded([&] {
    if (Log.IsOpen()) Log.Write(TLogLine("SetActiveChart").Int("window", window).Int("chart", chart));
  });
}

TOLVEX_EXTERN_C TOLVEX_EXPORT void TOLVEX_STDCALL OndulixAPI_FlushWindow(std::int32_t window, std::uint8_t flag) {
  Guarded([&] {
    if (TWindow* w = Model.Window(window)) w->FlushFlag = flag;
  });
  Guarded([&] {
    if (Log.IsOpen()) Log.Write(TLogLine("FlushWindow").Int("window", window).Int("flag", flag));
  });
}

TOLVEX_EXTERN_C TOLVEX_EXPORT std::int32_t TOLVEX_STDCALL OndulixAPI_Chart_Create(std::int32_t window,
                                                                                 const char* chartName,
                                                                                 std::uint8_t a, std::int32_t b,
                                                                                 std::uint8_t c) {
  const std::int32_t chart = Guarded<std::int32_t>(0, [&] { return Model.AddChart(window, chartName, a, b, c); });
  Guarded([&] {
    if (Log.IsOpen())
      Log.Write(TLogLine("Chart_Create")
                    .Int("window", window)
                    .Text("name", TextOf(chartName))
                    .Int("a", a)
                    .Int("b", b)
                    .Int("c", c)
                    .Result(chart));
  });
  return chart;
}

TOLVEX_EXTERN_C TOLVEX_EXPORT void TOLVEX_STDCALL OndulixAPI_Chart_FormatXAxis(std::int32_t window,
                                                                              std::int32_t chart, std::int32_t a,
                                                                              std::int32_t b, std::int32_t c,
                                                                              double d, double e) {
  if (TChart* target = Model.Chart(chart)) {
    TXAxisData& axis = target->Data.XAxis;
    axis.Formatted = true;
    axis.A = a;
    axis.B = b;
    axis.C = c;
    axis.From = d;
    axis.To = e;
  }
  Guarded([&] {
    if (Log.IsOpen())
      Log.Write(TLogLine("Chart_FormatXAxis")
                    .Int("window", window)
                    .Int("chart", chart)
                    .Int("a", a)
                    .Int("b", b)
                    .Int("c", c)
                    .Real("d", d)
                    .Real("e", e));
  });
}

TOLVEX_EXTERN_C TOLVEX_EXPORT std::int32_t TOLVEX_STDCALL OndulixAPI_NewChart(std::int32_t window,
                                                                             const char* chartName, std::int32_t a,
                                                                             std::uint8_t b, std::int32_t c) {
  const std::int32_t chart = Guarded<std::int32_t>(0, [&] { return Model.AddChart(window, chartName, a, b, c); });
  Guarded([&] {
    if (Log.IsOpen())
      Log.Write(TLogLine("NewChart")
                    .Int("window", window)
                    .Text("name", TextOf(chartName))
                    .Int("a", a)
                    .Int("b", b)
                    .Int("c", c)
                    .Result(chart));
  });
  return chart;
}

TOLVEX_EXTERN_C TOLVEX_EXPORT void TOLVEX_STDCALL OndulixAPI_InitializeXAxis(std::int32_t window, std::int32_t chart,
                                                                            double d, double e) {
  // The short form sets only the range; whatever Chart_FormatXAxis said of A to C stays.
  if (TChart* target = Model.Chart(chart)) {
    target->Data.XAxis.Formatted = true;
    target->Data.XAxis.From = d;
    target->Data.XAxis.To = e;
  }
  Guarded([&] {
    if (Log.IsOpen())
      Log.Write(TLogLine("InitializeXAxis").Int("window", window).Int("chart", chart).Real("d", d).Real("e", e));
  });
}

TOLVEX_EXTERN_C TOLVEX_EXPORT std::int32_t TOLVEX_STDCALL OndulixAPI_GetWaveformIndex(std::int32_t window,
                                                                                     std::int32_t chart,
                                                                                     std::int32_t a) {
  // Wave ids are their indexes, so the index of wave A is A itself when the chart has it.
  const std::int32_t index = Model.Wave(chart, a) ? a : kNoWave;
  Guarded([&] {
    if (Log.IsOpen())
      Log.Write(TLogLine("GetWaveformIndex").Int("window", window).Int("chart", chart).Int("a", a).Result(index));
  });
  return index;
}

TOLVEX_EXTERN_C TOLVEX_EXPORT std::int32_t TOLVEX_STDCALL OndulixAPI_NewWaveform(std::int32_t window,
                                                                                std::int32_t chart,
                                                                                const char* waveName, std::int32_t a,
                                                                                std::uint8_t b, std::uint8_t c,
                                                                                std::uint8_t d, std::int32_t e) {
  const std::int32_t wave = Guarded<std::int32_t>(kNoWave, [&]() -> std::int32_t {
    TChart* target = Model.Chart(chart);
    if (!target || target->Data.Waves.size() >= kMaxWavesPerChart) return kNoWave;
    TWaveData added;
    added.Name = CutText(TextOf(waveName), kMaxNameLength);
    added.YUnit = YUnitOf(added.Name);
    added.A = a;
    added.B = b;
    added.C = c;
    added.D = d;
    added.E = e;
    target->Data.Waves.push_back(std::move(added));
    return static_cast<std::int32_t>(target->Data.Waves.size() - 1);
  });
  Guarded([&] {
    if (Log.IsOpen())
      Log.Write(TLogLine("NewWaveform")
                    .Int("window", window)
                    .Int("chart", chart)
                    .Text("name", TextOf(waveName))
                    .Int("a", a)
                    .Int("b", b)
                    .Int("c", c)
                    .Int("d", d)
                    .Int("e", e)
                    .Result(wave));
  });
  return wave;
}

TOLVEX_EXTERN_C TOLVEX_EXPORT void TOLVEX_STDCALL OndulixAPI_UpdateChart(std::int32_t window, std::int32_t chart) {
  if (TChart* target = Model.Chart(chart)) ++target->Data.UpdateCount;
  Guarded([&] {
    if (Log.IsOpen()) Log.Write(TLogLine("UpdateChart").Int("window", window).Int("chart", chart));
  });
}

TOLVEX_EXTERN_C TOLVEX_EXPORT void TOLVEX_STDCALL OndulixAPI_NewDataPoint(std::int32_t window, std::int32_t chart,
                                                                         std::int32_t wave, double rx, double ix,
                                                                         double ry, double iy) {
  Guarded([&] {
    TWaveData* target = Model.Wave(chart, wave);
    if (!target) return;
    if (Model.StoredPoints >= kMaxStoredPoints) {
      ++Model.DroppedPoints;
      return;
    }
    target->Add(rx, ix, ry, iy);
    ++Model.StoredPoints;
  });
  Guarded([&] {
    if (Log.IsOpen())
      Log.Write(TLogLine("NewDataPoint")
                    .Int("window", window)
                    .Int("chart", chart)
                    .Int("wave", wave)
                    .Real("rx", rx)
                    .Real("ix", ix)
                    .Real("ry", ry)
                    .Real("iy", iy));
  });
}

TOLVEX_EXTERN_C TOLVEX_EXPORT void TOLVEX_STDCALL OndulixAPI_Wave_SetHint(std::int32_t window, std::int32_t a,
                                                                         std::int32_t b, std::int32_t c) {
  Guarded([&] {
    if (TWindow* w = Model.Window(window)) {
      w->HintA = a;
      w->HintB = b;
      w->HintC = c;
    }
  });
  Guarded([&] {
    if (Log.IsOpen()) Log.Write(TLogLine("Wave_SetHint").Int("window", window).Int("a", a).Int("b", b).Int("c", c));
  });
}

TOLVEX_EXTERN_C TOLVEX_EXPORT void TOLVEX_STDCALL OndulixAPI_DataComplete(std::int32_t window, std::uint8_t flag,
                                                                         std::int32_t a) {
  Guarded([&] {
    if (TWindow* w = Model.Window(window)) {
      w->Complete = true;
      w->CompleteFlag = flag;
      w->CompleteA = a;
    }
  });
  Guarded([&] {
    if (Log.IsOpen()) Log.Write(TLogLine("DataComplete").Int("window", window).Int("flag", flag).Int("a", a));
  });
  Guarded([&] { WriteWindow(window); });
}

TOLVEX_EXTERN_C TOLVEX_EXPORT void TOLVEX_STDCALL OndulixAPI_GetWaveYUnitStr(std::int32_t chart, std::int32_t wave,
                                                                            char** nameBuffer) {
  const TWaveData* target = Model.Wave(chart, wave);
  const std::string_view unit = target ? std::string_view(target->YUnit) : std::string_view();
  WriteName(unit, nameBuffer);
  Guarded([&] {
    if (Log.IsOpen()) Log.Write(TLogLine("GetWaveYUnitStr").Int("chart", chart).Int("wave", wave).ResultText(unit));
  });
}

TOLVEX_EXTERN_C TOLVEX_EXPORT void TOLVEX_STDCALL OndulixAPI_GetWaveName(std::int32_t chart, std::int32_t wave,
                                                                        char** nameBuffer) {
  const TWaveData* target = Model.Wave(chart, wave);
  const std::string_view name = target ? std::string_view(target->Name) : std::string_view();
  WriteName(name, nameBuffer);
  Guarded([&] {
    if (Log.IsOpen()) Log.Write(TLogLine("GetWaveName").Int("chart", chart).Int("wave", wave).ResultText(name));
  });
}

TOLVEX_EXTERN_C TOLVEX_EXPORT void TOLVEX_STDCALL OndulixAPI_GetChartName(std::int32_t chart, char** nameBuffer) {
  const TChart* target = Model.Chart(chart);
  const std::string_view name = target ? std::string_view(target->Data.Name) : std::string_view();
  WriteName(name, nameBuffer);
  Guarded([&] {
    if (Log.IsOpen()) Log.Write(TLogLine("GetChartName").Int("chart", chart).ResultText(name));
  });
}

// The exports must keep the forms every engine and the relay were built against.
static_assert(std::is_same_v<decltype(&Ondulix_SetLog), TOndulix_SetLog>);
static_assert(std::is_same_v<decltype(&Ondulix_OpenDocument), TOndulix_OpenDocument>);
static_assert(std::is_same_v<decltype(&Ondulix_GetPlotFiles), TOndulix_GetPlotFiles>);
static_assert(std::is_same_v<decltype(&Ondulix_PlotFile), TOndulix_PlotFile>);
static_assert(std::is_same_v<decltype(&Ondulix_TakeWriteFailure), TOndulix_TakeWriteFailure>);
static_assert(std::is_same_v<decltype(&OndulixAPI_GetCurrentWindow), TOndulixAPI_GetCurrentWindow>);
static_assert(std::is_same_v<decltype(&OndulixAPI_SetDocumentName), TOndulixAPI_SetDocumentName>);
static_assert(std::is_same_v<decltype(&OndulixAPI_SetActiveChart), TOndulixAPI_SetActiveChart>);
static_assert(std::is_same_v<decltype(&OndulixAPI_FlushWindow), TOndulixAPI_FlushWindow>);
static_assert(std::is_same_v<decltype(&OndulixAPI_Chart_Create), TOndulixAPI_Chart_Create>);
static_assert(std::is_same_v<decltype(&OndulixAPI_Chart_FormatXAxis), TOndulixAPI_Chart_FormatXAxis>);
static_assert(std::is_same_v<decltype(&OndulixAPI_NewChart), TOndulixAPI_NewChart>);
static_assert(std::is_same_v<decltype(&OndulixAPI_InitializeXAxis), TOndulixAPI_InitializeXAxis>);
static_assert(std::is_same_v<decltype(&OndulixAPI_GetWaveformIndex), TOndulixAPI_GetWaveformIndex>);
static_assert(std::is_same_v<decltype(&OndulixAPI_NewWaveform), TOndulixAPI_NewWaveform>);
static_assert(std::is_same_v<decltype(&OndulixAPI_UpdateChart), TOndulixAPI_UpdateChart>);
static_assert(std::is_same_v<decltype(&OndulixAPI_NewDataPoint), TOndulixAPI_NewDataPoint>);
static_assert(std::is_same_v<decltype(&OndulixAPI_Wave_SetHint), TOndulixAPI_Wave_SetHint>);
static_assert(std::is_same_v<decltype(&OndulixAPI_DataComplete), TOndulixAPI_DataComplete>);
static_assert(std::is_same_v<decltype(&OndulixAPI_GetWaveYUnitStr), TOndulixAPI_GetWaveYUnitStr>);
static_assert(std::is_same_v<decltype(&OndulixAPI_GetWaveName), TOndulixAPI_GetWaveName>);
static_assert(std::is_same_v<decltype(&OndulixAPI_GetChartName), TOndulixAPI_GetChartName>);
