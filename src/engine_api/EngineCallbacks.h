// Signatures of the functions an engine calls back while it runs: this library's
// progress and status exports, and the waveform viewer's functions (which this
// library also exports, as a relay, for regression runs). Engines and the
// viewer include this header so that every side agrees on the forms.
#pragma once

#include <cstdint>

#include "os/Platform.h"

namespace tolvex {

// The engine's entry points.
using TXSpice_StartBuiltIn = std::int32_t(TOLVEX_STDCALL*)(const char* parameterText);
using TXSpice_StartExternal = std::int32_t(TOLVEX_CDECL*)(const char* commandText);
using TXSpice_Stop = void(TOLVEX_STDCALL*)();

// Progress and status exports of Tolvex.dll.
using TSimAPI_PercentInit = void(TOLVEX_STDCALL*)(std::int32_t total);
using TSimAPI_PercentUpdate = void(TOLVEX_STDCALL*)(std::int32_t count);
using TSimAPI_PercentFinish = void(TOLVEX_STDCALL*)();
using TSimAPI_StatusBar_PushStatus = void(TOLVEX_STDCALL*)();
using TSimAPI_StatusBar_SetState = void(TOLVEX_STDCALL*)(const char* text);
using TSimAPI_StatusBar_PopStatus = void(TOLVEX_STDCALL*)();
using TPascalEnd_InitializeGauge = std::int32_t(TOLVEX_STDCALL*)(std::int32_t a, std::int32_t b);
using TPascalEnd_UpdateGauge = std::int32_t(TOLVEX_STDCALL*)(std::int32_t a);
using TPascalEnd_WriteInMessagesListBox = std::int32_t(TOLVEX_STDCALL*)(const char* text);

// The waveform viewer's functions. Booleans marked 8-bit are one byte; the
// name queries write at most 255 characters and a NUL into the 256-byte area
// whose address *NameBuffer holds.
constexpr int kViewerNameAreaSize = 256;
using TOndulixAPI_GetCurrentWindow = std::int32_t(TOLVEX_STDCALL*)();
using TOndulixAPI_SetDocumentName = void(TOLVEX_STDCALL*)(std::int32_t window, const char* documentName);
using TOndulixAPI_SetActiveChart = void(TOLVEX_STDCALL*)(std::int32_t window, std::int32_t chart);
using TOndulixAPI_FlushWindow = void(TOLVEX_STDCALL*)(std::int32_t window, std::uint8_t flag);
using TOndulixAPI_Chart_Create = std::int32_t(TOLVEX_STDCALL*)(std::int32_t window, const char* chartName,
                                                                std::uint8_t a, std::int32_t b, std::uint8_t c);
using TOndulixAPI_Chart_FormatXAxis = void(TOLVEX_STDCALL*)(std::int32_t window, std::int32_t chart, std::int32_t a,
                                                             std::int32_t b, std::int32_t c, double d, double e);
using TOndulixAPI_NewChart = std::int32_t(TOLVEX_STDCALL*)(std::int32_t window, const char* chartName, std::int32_t a,
                                                            std::uint8_t b, std::int32_t c);
using TOndulixAPI_InitializeXAxis = void(TOLVEX_STDCALL*)(std::int32_t window, std::int32_t chart, double d,
                                                           double e);
using TOndulixAPI_GetWaveformIndex = std::int32_t(TOLVEX_STDCALL*)(std::int32_t window, std::int32_t chart,
                                                                    std::int32_t a);
using TOndulixAPI_NewWaveform = std::int32_t(TOLVEX_STDCALL*)(std::int32_t window, std::int32_t chart,
                                                               const char* waveName, std::int32_t a, std::uint8_t b,
                                                               std::uint8_t c, std::uint8_t d, std::int32_t e);
using TOndulixAPI_UpdateChart = void(TOLVEX_STDCALL*)(std::int32_t window, std::int32_t chart);
using TOndulixAPI_NewDataPoint = void(TOLVEX_STDCALL*)(std::int32_t window, std::int32_t chart, std::int32_t wave,
                                                        double rx, double ix, double ry, double iy);
using TOndulixAPI_Wave_SetHint = void(TOLVEX_STDCALL*)(std::int32_t window, std::int32_t a, std::int32_t b,
                                                        std::int32_t c);
using TOndulixAPI_DataComplete = void(TOLVEX_STDCALL*)(std::int32_t window, std::uint8_t flag, std::int32_t a);
using TOndulixAPI_GetWaveYUnitStr = void(TOLVEX_STDCALL*)(std::int32_t chart, std::int32_t wave, char** nameBuffer);
using TOndulixAPI_GetWaveName = void(TOLVEX_STDCALL*)(std::int32_t chart, std::int32_t wave, char** nameBuffer);
using TOndulixAPI_GetChartName = void(TOLVEX_STDCALL*)(std::int32_t chart, char** nameBuffer);

}  // namespace tolvex
