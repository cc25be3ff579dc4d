// Message boxes of the toolkit.
#include "ui/MessageDialog.h"

#include <algorithm>

namespace tolvex::ui {

namespace {
TPlatformMessageBoxPresenter PlatformPresenter;
TMessageBoxPresenter* Presenter = nullptr;

std::vector<TModalResult> ButtonResults(TMessageBoxButtons buttons) {
  switch (buttons) {
    case os::mbbOkCancel: return {os::mrOk, os::mrCancel};
    case os::mbbYesNo: return {os::mrYes, os::mrNo};
    case os::mbbOk: break;
  }
  return {os::mrOk};
}
}  // namespace

std::vector<std::string> ButtonCaptions(TMessageBoxButtons buttons) {
  std::vector<std::string> captions;
  for (TModalResult r : ButtonResults(buttons)) captions.push_back(ModalResultName(r));
  return captions;
}

std::string ModalResultName(TModalResult result) {
  switch (result) {
    case os::mrOk: return "OK";
    case os::mrCancel: return "Cancel";
    case os::mrYes: return "Yes";
    case os::mrNo: return "No";
    case os::mrNone: break;
  }
  return "None";
}

TModalResult TPlatformMessageBoxPresenter::Present(const TMessageBoxContent& box) {
  return os::ShowPlatformMessageBox(box.Owner, box.Caption, box.Text, box.Icon, box.Buttons, box.DefaultButton,
                                    box.EscapeButton);
}

TModalResult THeadlessMessageBoxPresenter::Present(const TMessageBoxContent& box) {
  TModalResult answer = box.DefaultButton;
  if (!FAnswers.empty()) {
    answer = FAnswers.front();
    FAnswers.pop_front();
    const auto valid = ButtonResults(box.Buttons);
    if (std::find(valid.begin(), valid.end(), answer) == valid.end()) answer = box.EscapeButton;
  }
  FRecords.push_back({box, answer});
  return answer;
}

TMessageBoxPresenter& CurrentMessageBoxPresenter() { return Presenter ? *Presenter : PlatformPresenter; }

void SetMessageBoxPresenter(TMessageBoxPresenter* presenter) { Presenter = presenter; }

TModalResult ShowModalMessageBox(const TMessageBoxContent& box) { return CurrentMessageBoxPresenter().Present(box); }

}  // namespace tolvex::ui
