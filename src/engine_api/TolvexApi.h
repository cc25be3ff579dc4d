// The progress and status exports the engine calls while it runs.
#pragma once

#include <cstdint>
#include <string>

#include "os/Platform.h"

namespace tolvex {

// A display is never advanced more than this many steps, whatever the engine passes.
constexpr std::int32_t kMaxProgressSteps = 100;

// Module-wide progress state.
struct TProgressState {
  bool Active = false;
  std::int32_t Total = 0;
  // Wide, so that no run of 32-bit counts can overflow it.
  std::int64_t Position = 0;
  std::int32_t Shown = 0;
  // Steps given to the current display; at most kMaxProgressSteps.
  std::int32_t Advanced = 0;
};
const TProgressState& ProgressState();
void ResetProgressState();

// Everything a run's engine does to the host's status bar is undone when the run ends, however
// it ends (stopped, failed, an error raised): a progress display it left open is ended, every
// push it did not pop is popped, and the status text is given back as it was before the run.
// One lives around each engine start call.
class TRunStatusScope {
 public:
  TRunStatusScope();
  ~TRunStatusScope();
  TRunStatusScope(const TRunStatusScope&) = delete;
  TRunStatusScope& operator=(const TRunStatusScope&) = delete;

 private:
  std::string FStatusText;
};

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
