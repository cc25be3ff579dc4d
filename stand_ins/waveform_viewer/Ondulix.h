// The private exports of the waveform viewer stand-in Ondulix.dll, for the stand-in host and tests.
#pragma once

#include <cstdint>

#include "os/Platform.h"

extern "C" {
// From this call on, every call the viewer receives is written as one line to the file at Path,
// which is created or emptied first; nullptr or an empty path ends the log.
using TOndulix_SetLog = void(TOLVEX_STDCALL*)(const char* path);

// The host has opened (or handed out again) the waveform document at Path, a path on disk. The
// viewer writes a window's waveforms to the most recent such document whose file stem is the
// window's document name.
using TOndulix_OpenDocument = void(TOLVEX_STDCALL*)(const char* path);

// The plots last written beside the waveform file WaveformPath, full paths separated by "\n",
// into Buffer (cut to BufferSize - 1 characters and ended by a NUL; nothing when Buffer is null
// or BufferSize below 1). Returns the length of the whole text, so that a caller whose buffer
// was short can ask again.
using TOndulix_GetPlotFiles = std::int32_t(TOLVEX_STDCALL*)(const char* waveformPath, char* buffer,
                                                             std::int32_t bufferSize);

// Reads the waveform file at Path and writes its plots beside it, as after a run. Returns the
// number of plots written, or -1 when the file cannot be read; the reason then goes into Error
// (cut to ErrorSize - 1 characters, like GetPlotFiles).
using TOndulix_PlotFile = std::int32_t(TOLVEX_STDCALL*)(const char* path, char* error, std::int32_t errorSize);
}
