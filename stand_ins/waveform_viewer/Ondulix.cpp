// The waveform viewer stand-in, Ondulix.dll. It holds nothing yet but its identity; the host loads it as it would the real one.
#include "os/Platform.h"

TOLVEX_EXTERN_C TOLVEX_EXPORT const char* TOLVEX_STDCALL Ondulix_ModuleName() { return "Ondulix.dll"; }
