// The system's message boxes, drawn through the toolkit.
#include "host/MessageBoxes.h"

#include "host/HostApi.h"
#include "ui/MessageDialog.h"

namespace tolvex {

namespace {

os::TModalResult Show(const char* caption, const std::string& text, os::TMessageBoxIcon icon,
                      os::TMessageBoxButtons buttons, os::TModalResult defaultButton, os::TModalResult escapeButton) {
  ui::TMessageBoxContent box;
  if (auto client = ModuleClient()) box.Owner = client->GetMainWindowHandle();
  box.Caption = caption;
  box.Text = DoubleAmpersands(text);
  box.Icon = icon;
  box.Buttons = buttons;
  box.DefaultButton = defaultButton;
  box.EscapeButton = escapeButton;
  return ui::ShowModalMessageBox(box);
}

}  // namespace

std::string DoubleAmpersands(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    out += c;
    if (c == '&') out += '&';
  }
  return out;
}

void ShowError(const std::string& text) {
  Show("Halvenmoor Error", text, os::mbiError, os::mbbOk, os::mrOk, os::mrOk);
}

void ShowInformation(const std::string& text) {
  Show("Halvenmoor Information", text, os::mbiInformation, os::mbbOk, os::mrOk, os::mrOk);
}

bool ConfirmYesNo(const std::string& text) {
  return Show("Confirm", text, os::mbiQuestion, os::mbbYesNo, os::mrYes, os::mrNo) == os::mrYes;
}

bool ConfirmOkCancel(const std::string& text) {
  return Show("Confirm", text, os::mbiQuestion, os::mbbOkCancel, os::mrOk, os::mrCancel) == os::mrOk;
}

}  // namespace tolvex
