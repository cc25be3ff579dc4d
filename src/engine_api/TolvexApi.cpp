// Progress and status exports: they drive the host's status bar and, from the
// two update calls, let the host process its messages while the engine runs.
#include "engine_api/TolvexApi.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "host/HostApi.h"
#include "os/Os.h"
#include "support/BoundaryGuard.h"

namespace tolvex {

namespace {

TProgressState Progress;

// Pushes onto the host's status stack not yet popped, counted from the start of the current run.
std::int64_t OpenPushes = 0;

void StatusBar(std::int32_t index, const char* text) {
  if (index == sbiPush) ++OpenPushes;
  if (index == sbiPop && OpenPushes > 0) --OpenPushes;
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
  Progress.Advanced = 0;
  Progress.Active = true;
}

void AdvanceProgress(std::int32_t count) {
  if (!Progress.Active) return;
  // 64 bits hold the sum of 2^32 updates of the largest count; saturating keeps even more harmless.
  constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 2;
  Progress.Position = std::clamp(Progress.Position + count, -kLimit, kLimit);
  const std::int32_t percent = ProgressPercent(Progress.Position, Progress.Total);
  if (percent > Progress.Shown) {
    // A percent that fell (a negative count or total) and rose again would advance the display
    // once more; the display is bounded all the same, so no input can flood the host with steps.
    const std::int64_t wanted = static_cast<std::int64_t>(percent) - Progress.Shown;
    const std::int64_t steps = std::min<std::int64_t>(wanted, kMaxProgressSteps - Progress.Advanced);
    for (std::int64_t step = 0; step < steps; ++step) StatusBar(sbiProgressStep, "");
    if (steps > 0) Progress.Advanced += static_cast<std::int32_t>(steps);
  }
  Progress.Shown = percent;
}

void EndProgress() {
  if (!Progress.Active) return;
  StatusBar(sbiProgressEnd, "");
  StatusBar(sbiPop, "");
  Progress.Active = false;
}

}  // namespace

const TProgressState& ProgressState() { return Progress; }
void ResetProgressState() {
  Progress = TProgressState{};
  OpenPushes = 0;
}

TRunStatusScope::TRunStatusScope() {
  OpenPushes = 0;
  Guard([&] { FStatusText = StatusText(); });
}

TRunStatusScope::~TRunStatusScope() {
  Guard([&] {
    EndProgress();
    while (OpenPushes > 0) StatusBar(sbiPop, "");
    // Given back only when it differs, so a run that left the bar as it found it adds nothing.
    if (StatusText() != FStatusText) StatusBar(sbiText, FStatusText.c_str());
  });
  OpenPushes = 0;
}

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

// Nothing may escape into the engine: an error inside a callback is swallowed there.
void TOLVEX_STDCALL SimAPI_PercentInit(std::int32_t total) {
  Guard([&] { StartProgress(StatusText(), total); });
}

void TOLVEX_STDCALL SimAPI_PercentUpdate(std::int32_t count) {
  Guard([&] { AdvanceProgress(count); });
  Guard([] { ProcessPendingHostMessages(); });
}

void TOLVEX_STDCALL SimAPI_PercentFinish() {
  Guard([] { EndProgress(); });
}

void TOLVEX_STDCALL SimAPI_StatusBar_PushStatus() {
  Guard([] { StatusBar(sbiPush, ""); });
}

void TOLVEX_STDCALL SimAPI_StatusBar_SetState(const char* text) {
  Guard([&] { StatusBar(sbiText, text); });
}

void TOLVEX_STDCALL SimAPI_StatusBar_PopStatus() {
  Guard([] { StatusBar(sbiPop, ""); });
}

std::int32_t TOLVEX_STDCALL PascalEnd_InitializeGauge(std::int32_t, std::int32_t) {
  Guard([] { StartProgress(StatusText(), 100); });
  return 1;
}

std::int32_t TOLVEX_STDCALL PascalEnd_UpdateGauge(std::int32_t) {
  Guard([] { AdvanceProgress(1); });
  Guard([] { ProcessPendingHostMessages(); });
  return 1;
}

std::int32_t TOLVEX_STDCALL PascalEnd_WriteInMessagesListBox(const char* text) {
  Guard([&] { StatusBar(sbiText, text); });
  return 1;
}
