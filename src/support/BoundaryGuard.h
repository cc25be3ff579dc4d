// Where an exception stops on its way out of the system: every export and interface method runs its body here.
#pragma once

#include <cstdint>
#include <type_traits>
#include <utility>

namespace tolvex {

// The status an HRESULT-style method answers when its body failed in any way (E_UNEXPECTED).
constexpr std::int32_t kGuardFailureStatus = static_cast<std::int32_t>(0x8000FFFFu);

// Runs F for a caller that expects nothing back; whatever F throws ends here.
template <class F>
void Guard(F&& f) noexcept {
  try {
    std::forward<F>(f)();
  } catch (...) {
  }
}

// F's result, or OnFailure when F throws: the documented default of an export
// without a status (0, false, none).
template <class R, class F>
R GuardResult(R onFailure, F&& f) noexcept {
  // Handing back the default must not throw in its turn.
  static_assert(std::is_nothrow_move_constructible_v<R>);
  try {
    return std::forward<F>(f)();
  } catch (...) {
    return onFailure;
  }
}

// F's status, or kGuardFailureStatus when F throws.
template <class F>
std::int32_t GuardStatus(F&& f) noexcept {
  return GuardResult<std::int32_t>(kGuardFailureStatus, std::forward<F>(f));
}

}  // namespace tolvex
