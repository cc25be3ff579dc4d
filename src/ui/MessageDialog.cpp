// Message boxes of the toolkit.
#include "ui/MessageDialog.h"

#include <algorithm>

#include "ui/UiBackend.h"

namespace tolvex::ui {

std::vector<TModalResult> ButtonResults(TMessageBoxButtons buttons) {
  switch (buttons) {
    case mbbOkCancel: return {mrOk, mrCancel};
    case mbbYesNo: return {mrYes, mrNo};
    case mbbOk: break;
  }
  return {mrOk};
}

std::vector<std::string> ButtonCaptions(TMessageBoxButtons buttons) {
  std::vector<std::string> captions;
  for (TModalResult r : ButtonResults(buttons)) captions.push_back(ModalResultName(r));
  return captions;
}

std::string ModalResultName(TModalResult result) {
  switch (result) {
    case mrOk: return "OK";
    case mrCancel: return "Cancel";
    case mrYes: return "Yes";
    case mrNo: return "No";
    case mrNone: break;
  }
  return "None";
}

TModalResult ScriptedAnswer(const TMessageBoxContent& box, std::optional<TModalResult> scripted) {
  if (!scripted) return box.DefaultButton;
  const auto valid = ButtonResults(box.Buttons);
  return std::find(valid.begin(), valid.end(), *scripted) != valid.end() ? *scripted : box.EscapeButton;
}

TModalResult ShowModalMessageBox(const TMessageBoxContent& box) { return CurrentUiBackend().PresentMessageBox(box); }

}  // namespace tolvex::ui
