// The progress and status exports the engine calls while it runs.
#pragma once

#include <cstdint>

#include "os/Platform.h"

namespace tolvex {

// Module-wide progress state.
struct TProgressState {
  bool Active = false;
  std::int32_t Total = 0;
  std::int32_t Position = 0;
  std::int32_t Shown = 0;
};
const TProgressState& ProgressState();
void ResetProgressState();

// The percent a position stands for: rounded half to even, capped at 100, 100 for a total of 0.
std::int32_t ProgressPercent(std::int64_t position, std::int32_t total);

// Dispatches every message waiting in the calling thread's queue.
void ProcessPendingHostMessages();

}  // namespace tolvex

TOLVEX_EXTERN_C {
TOLVEX_EXPORT void TOLVEX_STDCALL SimAPI_PercentInit(std::int32_t total);
TOLVEX_EXPORT void TOLVEX_STDCALL SimAPI_PercentUpdate(std::int32_t count);
TOLVEX_EXPORT void TOLVEX_STDCALL SimAPI_PercentFinish();
TOLVEX_EXPORT void TOLVEX_STDCALL SimAPI_StatusBar_PushStatus();
TOLVEX_EXPORT void TOLVEX_STDCALL SimAPI_StatusBar_SetState(const char* text);
TOLVEX_EXPORT void TOLVEX_STDCALL SimAPI_StatusBar_PopStatus();
TOLVEX_EXPORT std::int32_t TOLVEX_STDCALL PascalEnd_InitializeGauge(std::int32_t a, std::int32_t b);
TOLVEX_EXPORT std::int32_t TOLVEX_STDCALL PascalEnd_UpdateGauge(std::int32_t a);
TOLVEX_EXPORT std::int32_t TOLVEX_STDCALL PascalEnd_WriteInMessagesListBox(const char* text);
}
