// The private export of the waveform viewer stand-in Ondulix.dll, for the stand-in host and tests.
#pragma once

#include "os/Platform.h"

extern "C" {
// From this call on, every call the viewer receives is written as one line to the file at Path,
// which is created or emptied first; nullptr or an empty path ends the log.
using TOndulix_SetLog = void(TOLVEX_STDCALL*)(const char* path);
}
