// Calling convention and export markers for everything that crosses a module boundary.
#pragma once

#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define TOLVEX_STDCALL __stdcall
#else
#define TOLVEX_STDCALL
#endif

// The C convention, used only by an external engine's start function.
#if defined(_WIN32) && !defined(_WIN64)
#define TOLVEX_CDECL __cdecl
#else
#define TOLVEX_CDECL
#endif

#if defined(_WIN32)
#define TOLVEX_EXPORT __declspec(dllexport)
#else
#define TOLVEX_EXPORT __attribute__((visibility("default")))
#endif

#define TOLVEX_EXTERN_C extern "C"
