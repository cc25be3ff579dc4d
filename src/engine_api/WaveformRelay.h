// The waveform relay of regression runs: every viewer call is passed on to the
// already-loaded Ondulix.dll and written as a readable line to a dump beside the netlist.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine_api/EngineCallbacks.h"
#include "os/Platform.h"

namespace tolvex {

// Binds the viewer's seventeen functions from the loaded "Ondulix.dll" (never loading it);
// a function that is not found stays absent, and all stay absent without the library.
void BindViewerFunctions();
// How many of the seventeen are bound (for diagnostics and tests).
int BoundViewerFunctionCount();
void ClearViewerFunctions();

// Where the relay learns the current run's netlist path.
using TNetlistPathSource = std::string (*)();
void SetRelayNetlistSource(TNetlistPathSource source);

// The dump's path for a netlist: its extension changed to ".txt" (through the
// host's disk path for a virtual name). None when that path is longer than the
// 255-character field that holds it: a cut path would name another file.
std::optional<std::string> DumpPathFor(const std::string& netlistPath);
// The same path whatever its length (for messages that name it).
std::string WholeDumpPathFor(const std::string& netlistPath);
// 8 significant digits, at least two exponent digits, Separator as the decimal point: 1.5000000E+00.
std::string FormatDumpNumber(double value, char separator);
// Closes the dump if it is open (end of a run, library unload); a close that fails
// is remembered as the dump's failure.
void CloseDump();
// The first failure of the dump since the last call, as a message that names the
// file and the reason (empty when there was none); the failure is then forgotten.
// The dump is created afresh, and every write, the flush and the close are checked:
// after a failure the rest of the dump is dropped.
std::string TakeDumpFailure();

}  // namespace tolvex

TOLVEX_EXTERN_C {
TOLVEX_EXPORT std::int32_t TOLVEX_STDCALL OndulixAPI_GetCurrentWindow();
TOLVEX_EXPORT void TOLVEX_STDCALL OndulixAPI_SetDocumentName(std::int32_t window, const char* documentName);
TOLVEX_EXPORT void TOLVEX_STDCALL OndulixAPI_SetActiveChart(std::int32_t window, std::int32_t chart);
TOLVEX_EXPORT void TOLVEX_STDCALL OndulixAPI_FlushWindow(std::int32_t window, std::uint8_t flag);
TOLVEX_EXPORT std::int32_t TOLVEX_STDCALL OndulixAPI_Chart_Create(std::int32_t window, const char* chartName,
                                                                  std::uint8_t a, std::int32_t b, std::uint8_t c);
TOLVEX_EXPORT void TOLVEX_STDCALL OndulixAPI_Chart_FormatXAxis(std::int32_t window, std::int32_t chart,
                                                               std::int32_t a, std::int32_t b, std::int32_t c,
                                                               double d, double e);
TOLVEX_EXPORT std::int32_t TOLVEX_STDCALL OndulixAPI_NewChart(std::int32_t window, const char* chartName,
                                                              std::int32_t a, std::uint8_t b, std::int32_t c);
TOLVEX_EXPORT void TOLVEX_STDCALL OndulixAPI_InitializeXAxis(std::int32_t window, std::int32_t chart, double d,
                                                             double e);
TOLVEX_EXPORT std::int32_t TOLVEX_STDCALL OndulixAPI_GetWaveformIndex(std::int32_t window, std::int32_t chart,
                                                                      std::int32_t a);
TOLVEX_EXPORT std::int32_t TOLVEX_STDCALL OndulixAPI_NewWaveform(std::int32_t window, std::int32_t chart,
                                                                 const char* waveName, std::int32_t a,
                                                                 std::uint8_t b, std::uint8_t c, std::uint8_t d,
                                                                 std::int32_t e);
TOLVEX_EXPORT void TOLVEX_STDCALL OndulixAPI_UpdateChart(std::int32_t window, std::int32_t chart);
TOLVEX_EXPORT void TOLVEX_STDCALL OndulixAPI_NewDataPoint(std::int32_t window, std::int32_t chart,
                                                          std::int32_t wave, double rx, double ix, double ry,
                                                          double iy);
TOLVEX_EXPORT void TOLVEX_STDCALL OndulixAPI_Wave_SetHint(std::int32_t window, std::int32_t a, std::int32_t b,
                                                          std::int32_t c);
TOLVEX_EXPORT void TOLVEX_STDCALL OndulixAPI_DataComplete(std::int32_t window, std::uint8_t flag, std::int32_t a);
}
