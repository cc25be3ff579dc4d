// An engine library that exports "XSpice_Start" but no "XSpice_Stop", which the plug-in must refuse.
#include <cstdint>

#include "os/Platform.h"

TOLVEX_EXTERN_C TOLVEX_EXPORT std::int32_t TOLVEX_STDCALL XSpice_Start(const char*) { return 0; }
