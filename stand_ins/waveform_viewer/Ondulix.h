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
// (cut to ErrorSize - 1 characters, like GetPlotFiles). When a plot cannot be written, Error says
// which and why ("Cannot write /w/amp_tran.svg: No space left on device") and the others are
// still written; it is the empty text when all were.
using TOndulix_PlotFile = std::int32_t(TOLVEX_STDCALL*)(const char* path, char* error, std::int32_t errorSize);

// Whether a write of the viewer's files (a waveform file or a plot of a run) failed since the last
// call: 1 with the first failure's message in Buffer ("Cannot write /w/amp.sdf: No space left on
// device"), else 0 with the empty text. The record is cleared by the call. The message is cut to
// BufferSize - 1 bytes, never inside a UTF-8 character, and ended by a NUL; nothing is written
// when Buffer is null or BufferSize below 1. The engine calls it when a run ends.
using TOndulix_TakeWriteFailure = std::int32_t(TOLVEX_STDCALL*)(char* buffer, std::int32_t bufferSize);
}
