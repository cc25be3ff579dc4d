// The waveform relay and its dump.
#include "engine_api/WaveformRelay.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "host/HostApi.h"
#include "os/Os.h"
#include "support/BoundaryGuard.h"
#include "support/TextUtils.h"

namespace tolvex {

namespace {

struct TViewerFunctions {
  TOndulixAPI_GetCurrentWindow GetCurrentWindow = nullptr;
  TOndulixAPI_SetDocumentName SetDocumentName = nullptr;
  TOndulixAPI_SetActiveChart SetActiveChart = nullptr;
  TOndulixAPI_FlushWindow FlushWindow = nullptr;
  TOndulixAPI_Chart_Create Chart_Create = nullptr;
  TOndulixAPI_Chart_FormatXAxis Chart_FormatXAxis = nullptr;
  TOndulixAPI_NewChart NewChart = nullptr;
  TOndulixAPI_InitializeXAxis InitializeXAxis = nullptr;
  TOndulixAPI_GetWaveformIndex GetWaveformIndex = nullptr;
  TOndulixAPI_NewWaveform NewWaveform = nullptr;
  TOndulixAPI_UpdateChart UpdateChart = nullptr;
  TOndulixAPI_NewDataPoint NewDataPoint = nullptr;
  TOndulixAPI_Wave_SetHint Wave_SetHint = nullptr;
  TOndulixAPI_DataComplete DataComplete = nullptr;
  TOndulixAPI_GetWaveYUnitStr GetWaveYUnitStr = nullptr;
  TOndulixAPI_GetWaveName GetWaveName = nullptr;
  TOndulixAPI_GetChartName GetChartName = nullptr;
};

TViewerFunctions Viewer;
TNetlistPathSource NetlistSource = nullptr;
std::FILE* DumpFile = nullptr;
std::string DumpPath;
std::string DumpFailure;

// Only the first failure is kept: it is the cause, what follows are its consequences.
void DumpFailed(const std::string& what, const std::string& path, const std::string& reason) {
  if (DumpFailure.empty()) DumpFailure = "Could not " + what + " the dump file " + path + ": " + reason;
}

// Whatever is left is dropped once a write failed: a dump with a gap in it would pass for whole.
void AbandonDump() {
  if (DumpFile) std::fclose(DumpFile);
  DumpFile = nullptr;
}

template <class F>
void Bind(F& target, os::TModuleHandle module, const char* name) {
  target = reinterpret_cast<F>(os::FindExport(module, name));
}

// The viewer writes into a 256-byte area whose address the relay hands over by reference.
template <class F, class... Args>
std::string AskName(F function, Args... args) {
  if (!function) return {};
  char area[kViewerNameAreaSize] = {};
  char* address = area;
  function(args..., &address);
  area[kViewerNameAreaSize - 1] = '\0';
  return area;
}

std::string ChartName(std::int32_t chart) { return AskName(Viewer.GetChartName, chart); }

void WriteLine(const std::string& line) {
  if (!DumpFile) return;
  // The run goes on when a line cannot be written; the failure is told once the engine returns.
  errno = 0;
  if (std::fwrite(line.data(), 1, line.size(), DumpFile) != line.size() || std::fwrite("\r\n", 1, 2, DumpFile) != 2) {
    DumpFailed("write", DumpPath, errno ? std::strerror(errno) : "the write failed");
    AbandonDump();
  }
}

void OpenDump() {
  CloseDump();
  const std::string netlist = NetlistSource ? NetlistSource() : std::string();
  if (netlist.empty()) return;
  const std::optional<std::string> path = DumpPathFor(netlist);
  if (!path) {
    DumpFailed("create", WholeDumpPathFor(netlist), "the path is longer than 255 characters");
    return;
  }
  // Made afresh, so that a link planted under the dump's name is replaced, never written through.
  std::string error;
  DumpFile = os::CreateFileAfresh(*path, error);
  if (!DumpFile) {
    DumpFailed("create", *path, error);
    return;
  }
  DumpPath = *path;
  // The dump of a long run is large: a generous buffer keeps the relay cheap.
  std::setvbuf(DumpFile, nullptr, _IOFBF, 1 << 16);
}

}  // namespace

void BindViewerFunctions() {
  os::TModuleHandle module = os::FindLoadedModule("Ondulix.dll");
  Bind(Viewer.GetCurrentWindow, module, "OndulixAPI_GetCurrentWindow");
  Bind(Viewer.SetDocumentName, module, "OndulixAPI_SetDocumentName");
  Bind(Viewer.SetActiveChart, module, "OndulixAPI_SetActiveChart");
  Bind(Viewer.FlushWindow, module, "OndulixAPI_FlushWindow");
  Bind(Viewer.Chart_Create, module, "OndulixAPI_Chart_Create");
  Bind(Viewer.Chart_FormatXAxis, module, "OndulixAPI_Chart_FormatXAxis");
  Bind(Viewer.NewChart, module, "OndulixAPI_NewChart");
  Bind(Viewer.InitializeXAxis, module, "OndulixAPI_InitializeXAxis");
  Bind(Viewer.GetWaveformIndex, module, "OndulixAPI_GetWaveformIndex");
  Bind(Viewer.NewWaveform, module, "OndulixAPI_NewWaveform");
  Bind(Viewer.UpdateChart, module, "OndulixAPI_UpdateChart");
  Bind(Viewer.NewDataPoint, module, "OndulixAPI_NewDataPoint");
  Bind(Viewer.Wave_SetHint, module, "OndulixAPI_Wave_SetHint");
  Bind(Viewer.DataComplete, module, "OndulixAPI_DataComplete");
  Bind(Viewer.GetWaveYUnitStr, module, "OndulixAPI_GetWaveYUnitStr");
  Bind(Viewer.GetWaveName, module, "OndulixAPI_GetWaveName");
  Bind(Viewer.GetChartName, module, "OndulixAPI_GetChartName");
}

int BoundViewerFunctionCount() {
  const void* all[] = {
      reinterpret_cast<const void*>(Viewer.GetCurrentWindow), reinterpret_cast<const void*>(Viewer.SetDocumentName),
      reinterpret_cast<const void*>(Viewer.SetActiveChart),   reinterpret_cast<const void*>(Viewer.FlushWindow),
      reinterpret_cast<const void*>(Viewer.Chart_Create),     reinterpret_cast<const void*>(Viewer.Chart_FormatXAxis),
      reinterpret_cast<const void*>(Viewer.NewChart),         reinterpret_cast<const void*>(Viewer.InitializeXAxis),
      reinterpret_cast<const void*>(Viewer.GetWaveformIndex), reinterpret_cast<const void*>(Viewer.NewWaveform),
      reinterpret_cast<const void*>(Viewer.UpdateChart),      reinterpret_cast<const void*>(Viewer.NewDataPoint),
      reinterpret_cast<const void*>(Viewer.Wave_SetHint),     reinterpret_cast<const void*>(Viewer.DataComplete),
      reinterpret_cast<const void*>(Viewer.GetWaveYUnitStr),  reinterpret_cast<const void*>(Viewer.GetWaveName),
      reinterpret_cast<const void*>(Viewer.GetChartName)};
  int count = 0;
  for (const void* f : all) count += f != nullptr;
  return count;
}

void ClearViewerFunctions() { Viewer = TViewerFunctions{}; }

void SetRelayNetlistSource(TNetlistPathSource source) { NetlistSource = source; }

std::optional<std::string> DumpPathFor(const std::string& netlistPath) {
  std::string path = WholeDumpPathFor(netlistPath);
  if (path.size() > kShortStringLength) return std::nullopt;
  return path;
}

std::string WholeDumpPathFor(const std::string& netlistPath) {
  std::string path;
  if (VfsIsVFSFileName(netlistPath)) {
    std::string folder = VfsExtractFileDir(VfsGetExternalPathForFile(netlistPath));
    if (folder.empty() || folder.back() != os::PathSeparator()) folder += os::PathSeparator();
    path = folder + ForceFileNameExtension(VfsExtractFileName(netlistPath), "txt");
  } else {
    // The extension runs from the last "." of the name part; a name without one gets ".txt" appended.
    const std::size_t nameStart = netlistPath.find_last_of(os::PathSeparator());
    const std::size_t dot = netlistPath.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && (nameStart == std::string::npos || dot > nameStart);
    path = (hasExtension ? netlistPath.substr(0, dot) : netlistPath) + ".txt";
  }
  return path;
}

std::string FormatDumpNumber(double value, char separator) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) value = 0;  // a negative zero is written as zero
  char buffer[48];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 7);
  std::string text(buffer, result.ptr);
  for (char& c : text) {
    if (c == 'e') c = 'E';
    else if (c == '.') c = separator;
  }
  return text;
}

void CloseDump() {
  if (!DumpFile) return;
  std::FILE* file = DumpFile;
  DumpFile = nullptr;
  errno = 0;
  // The buffered rest reaches the disk here, so the flush and the close are where a full disk shows.
  const bool flushed = std::fflush(file) == 0;
  const int flushError = errno;
  const bool closed = std::fclose(file) == 0;
  if (!flushed || !closed)
    DumpFailed("write", DumpPath, std::strerror(!flushed && flushError ? flushError : errno ? errno : EIO));
}

std::string TakeDumpFailure() {
  std::string failure;
  failure.swap(DumpFailure);
  return failure;
}

}  // namespace tolvex

using namespace tolvex;

std::int32_t TOLVEX_STDCALL OndulixAPI_GetCurrentWindow() {
  return Viewer.GetCurrentWindow ? Viewer.GetCurrentWindow() : 0;
}

void TOLVEX_STDCALL OndulixAPI_SetDocumentName(std::int32_t window, const char* documentName) {
  if (Viewer.SetDocumentName) Viewer.SetDocumentName(window, documentName);
  Guard([&] {
    OpenDump();
    WriteLine("Dump For: " + UpperCaseAscii(documentName ? documentName : ""));
  });
}

void TOLVEX_STDCALL OndulixAPI_SetActiveChart(std::int32_t window, std::int32_t chart) {
  if (Viewer.SetActiveChart) Viewer.SetActiveChart(window, chart);
}

void TOLVEX_STDCALL OndulixAPI_FlushWindow(std::int32_t window, std::uint8_t flag) {
  if (Viewer.FlushWindow) Viewer.FlushWindow(window, flag);
}

std::int32_t TOLVEX_STDCALL OndulixAPI_Chart_Create(std::int32_t window, const char* chartName, std::uint8_t a,
                                                    std::int32_t b, std::uint8_t c) {
  const std::int32_t result = Viewer.Chart_Create ? Viewer.Chart_Create(window, chartName, a, b, c) : 0;
  Guard([&] { WriteLine(std::string("OndulixAPI_NewChart -> Chart:") + (chartName ? chartName : "")); });
  return result;
}

void TOLVEX_STDCALL OndulixAPI_Chart_FormatXAxis(std::int32_t window, std::int32_t chart, std::int32_t a,
                                                 std::int32_t b, std::int32_t c, double d, double e) {
  if (Viewer.Chart_FormatXAxis) Viewer.Chart_FormatXAxis(window, chart, a, b, c, d, e);
  Guard([&] { WriteLine("OndulixAPI_InitializeXAxis -> Chart:" + ChartName(chart)); });
}

std::int32_t TOLVEX_STDCALL OndulixAPI_NewChart(std::int32_t window, const char* chartName, std::int32_t a,
                                                std::uint8_t b, std::int32_t c) {
  const std::int32_t result = Viewer.NewChart ? Viewer.NewChart(window, chartName, a, b, c) : 0;
  Guard([&] { WriteLine(std::string("OndulixAPI_NewChart -> Chart:") + (chartName ? chartName : "")); });
  return result;
}

void TOLVEX_STDCALL OndulixAPI_InitializeXAxis(std::int32_t window, std::int32_t chart, double d, double e) {
  if (Viewer.InitializeXAxis) Viewer.InitializeXAxis(window, chart, d, e);
  Guard([&] { WriteLine("OndulixAPI_InitializeXAxis -> Chart:" + ChartName(chart)); });
}

std::int32_t TOLVEX_STDCALL OndulixAPI_GetWaveformIndex(std::int32_t window, std::int32_t chart, std::int32_t a) {
  return Viewer.GetWaveformIndex ? Viewer.GetWaveformIndex(window, chart, a) : 0;
}

std::int32_t TOLVEX_STDCALL OndulixAPI_NewWaveform(std::int32_t window, std::int32_t chart, const char* waveName,
                                                   std::int32_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d,
                                                   std::int32_t e) {
  const std::int32_t result = Viewer.NewWaveform ? Viewer.NewWaveform(window, chart, waveName, a, b, c, d, e) : 0;
  Guard([&] {
    WriteLine(std::string("OndulixAPI_NewWaveform -> WaveName:") + (waveName ? waveName : "") +
              " Chart:" + ChartName(chart));
  });
  return result;
}

void TOLVEX_STDCALL OndulixAPI_UpdateChart(std::int32_t window, std::int32_t chart) {
  if (Viewer.UpdateChart) Viewer.UpdateChart(window, chart);
  Guard([&] { WriteLine("OndulixAPI_UpdateChart -> Chart:" + ChartName(chart)); });
}

void TOLVEX_STDCALL OndulixAPI_NewDataPoint(std::int32_t window, std::int32_t chart, std::int32_t wave, double rx,
                                            double ix, double ry, double iy) {
  if (Viewer.NewDataPoint) Viewer.NewDataPoint(window, chart, wave, rx, ix, ry, iy);
  Guard([&] {
    if (!DumpFile) return;
    const char separator = os::GetDecimalSeparator();
    const std::string unit = AskName(Viewer.GetWaveYUnitStr, chart, wave);
    const std::string waveName = AskName(Viewer.GetWaveName, chart, wave);
    const std::string chartName = ChartName(chart);
    WriteLine("OndulixAPI_NewDataPoint (" + unit + ") ->" + " RX:" + FormatDumpNumber(rx, separator) +
              " IX:" + FormatDumpNumber(ix, separator) + " RY:" + FormatDumpNumber(ry, separator) +
              " IY:" + FormatDumpNumber(iy, separator) + " WaveIndex:" + std::to_string(wave) +
              " WaveName:" + waveName + " Chart:" + chartName);
  });
}

void TOLVEX_STDCALL OndulixAPI_Wave_SetHint(std::int32_t window, std::int32_t a, std::int32_t b, std::int32_t c) {
  if (Viewer.Wave_SetHint) Viewer.Wave_SetHint(window, a, b, c);
}

void TOLVEX_STDCALL OndulixAPI_DataComplete(std::int32_t window, std::uint8_t flag, std::int32_t a) {
  if (Viewer.DataComplete) Viewer.DataComplete(window, flag, a);
  Guard([] {
    WriteLine("OndulixAPI_DataComplete");
    CloseDump();
  });
}
