// Progress and status exports: they drive the host's status bar and, from the
// two update calls, let the host process its messages while the engine runs.
#include "engine_api/TolvexApi.h"

#include <cmath>
#include <string>

#include "host/HostApi.h"
#include "os/Os.h"

namespace tolvex {

namespace {

TProgressState Progress;

void StatusBar(std::int32_t index, const char* text) {
  if (auto client = ModuleClient()) client->SetStatusBarState(index, text ? text : "");
}

std::string StatusText() {
  auto client = ModuleClient();
  if (!client) return {};
  char buffer[kHostTextBufferSize] = {};
  client->GetStatusBarState(sbiText, buffer, kHostTextBufferSize);
  buffer[kHostTextBufferSize - 1] = '\0';
  return buffer;
}

void StartProgress(const std::string& caption, std::int32_t total) {
  StatusBar(sbiPush, "");
  StatusBar(sbiProgressStart, caption.c_str());
  Progress.Total = total;
  Progress.Position = 0;
  Progress.Shown = 0;
  Progress.Active = true;
}

void AdvanceProgress(std::int32_t count) {
  if (!Progress.Active) return;
  // The position wraps like the 32-bit counter it is, rather than overflowing.
  Progress.Position = static_cast<std::int32_t>(static_cast<std::uint32_t>(Progress.Position) +
                                                static_cast<std::uint32_t>(count));
  const std::int32_t percent = ProgressPercent(Progress.Position, Progress.Total);
  for (std::int32_t step = Progress.Shown; step < percent; ++step) StatusBar(sbiProgressStep, "");
  Progress.Shown = percent;
}

void EndProgress() {
  if (!Progress.Active) return;
  StatusBar(sbiProgressEnd, "");
  StatusBar(sbiPop, "");
  Progress.Active = false;
}

// Nothing may escape into the engine: an error inside a callback is swallowed there.
template <class F>
void Guarded(F&& f) {
  try {
    f();
  } catch (...) {
  }
}

}  // namespace

const TProgressState& ProgressState() { return Progress; }
void ResetProgressState() { Progress = TProgressState{}; }

std::int32_t ProgressPercent(std::int64_t position, std::int32_t total) {
  if (total == 0) return 100;
  // nearbyint rounds half to even in the default rounding mode.
  const double percent = std::nearbyint(static_cast<double>(position) * 100.0 / static_cast<double>(total));
  if (percent >= 100.0) return 100;
  if (percent <= -2147483648.0) return INT32_MIN;
  return static_cast<std::int32_t>(percent);
}

void ProcessPendingHostMessages() {
  os::TMessage message;
  while (os::PeekThreadMessage(message, true)) os::DispatchThreadMessage(message);
}

}  // namespace tolvex

using namespace tolvex;

void TOLVEX_STDCALL SimAPI_PercentInit(std::int32_t total) {
  Guarded([&] { StartProgress(StatusText(), total); });
}

void TOLVEX_STDCALL SimAPI_PercentUpdate(std::int32_t count) {
  Guarded([&] { AdvanceProgress(count); });
  Guarded([] { ProcessPendingHostMessages(); });
}

void TOLVEX_STDCALL SimAPI_PercentFinish() {
  Guarded([] { EndProgress(); });
}

void TOLVEX_STDCALL SimAPI_StatusBar_PushStatus() {
  Guarded([] { StatusBar(sbiPush, ""); });
}

void TOLVEX_STDCALL SimAPI_StatusBar_SetState(const char* text) {
  Guarded([&] { StatusBar(sbiText, text); });
}

void TOLVEX_STDCALL SimAPI_StatusBar_PopStatus() {
  Guarded([] { StatusBar(sbiPop, ""); });
}

std::int32_t TOLVEX_STDCALL PascalEnd_InitializeGauge(std::int32_t, std::int32_t) {
  Guarded([] { StartProgress(StatusText(), 100); });
  return 1;
}

std::int32_t TOLVEX_STDCALL PascalEnd_UpdateGauge(std::int32_t) {
  Guarded([] { AdvanceProgress(1); });
  Guarded([] { ProcessPendingHostMessages(); });
  return 1;
}

std::int32_t TOLVEX_STDCALL PascalEnd_WriteInMessagesListBox(const char* text) {
  Guarded([&] { StatusBar(sbiText, text); });
  return 1;
}
