// The integrated-library manager stand-in, Quillfold.dll. It holds nothing yet but its identity; the host loads it as it would the real one.
#include "os/Platform.h"

TOLVEX_EXTERN_C TOLVEX_EXPORT const char* TOLVEX_STDCALL Quillfold_ModuleName() { return "Quillfold.dll"; }
