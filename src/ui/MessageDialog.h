// The toolkit's modal message box: its buttons, icons and answers, what is shown, and the rule a
// scripted user answers by.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "os/Os.h"
#include "ui/ModalResult.h"

namespace tolvex::ui {

// The icon and the buttons of a box, in the platform's codes as well.
enum TMessageBoxIcon : int { mbiError = 1, mbiInformation = 2, mbiQuestion = 3, mbiWarning = 4 };
enum TMessageBoxButtons : int { mbbOk = 0, mbbOkCancel = 1, mbbYesNo = 2 };

struct TMessageBoxContent {
  std::intptr_t Owner = 0;
  std::string Caption;
  std::string Text;  // as displayed: "&" already doubled
  TMessageBoxIcon Icon = mbiInformation;
  TMessageBoxButtons Buttons = mbbOk;
  TModalResult DefaultButton = mrOk;
  TModalResult EscapeButton = mrOk;
};

// The results of a box's buttons, in display order; a code that is no button set counts as OK alone.
std::vector<TModalResult> ButtonResults(TMessageBoxButtons buttons);
// The captions of a box's buttons, in display order ("OK", "Cancel", "Yes", "No").
std::vector<std::string> ButtonCaptions(TMessageBoxButtons buttons);
std::string ModalResultName(TModalResult result);

// How a scripted user answers Box: with the default button when the script has no answer for it;
// an answer that is none of the box's buttons is what pressing Escape gives.
TModalResult ScriptedAnswer(const TMessageBoxContent& box, std::optional<TModalResult> scripted);

// Runs a box modally through the current backend (ui/UiBackend.h).
TModalResult ShowModalMessageBox(const TMessageBoxContent& box);

}  // namespace tolvex::ui
