// The schematic editor server stand-in, Pravik.dll. It holds nothing yet but its identity; the host loads it as it would the real one.
#include "os/Platform.h"

TOLVEX_EXTERN_C TOLVEX_EXPORT const char* TOLVEX_STDCALL Pravik_ModuleName() { return "Pravik.dll"; }
