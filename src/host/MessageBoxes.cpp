// The system's message boxes, drawn through the toolkit.
#include "host/MessageBoxes.h"

#include "host/HostApi.h"
#include "ui/MessageDialog.h"

namespace tolvex {

namespace {

ui::TModalResult Show(const char* caption, const std::string& text, ui::TMessageBoxIcon icon,
                      ui::TMessageBoxButtons buttons, ui::TModalResult defaultButton, ui::TModalResult escapeButton) {
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
  Show("Halvenmoor Error", text, ui::mbiError, ui::mbbOk, ui::mrOk, ui::mrOk);
}

void ShowInformation(const std::string& text) {
  Show("Halvenmoor Information", text, ui::mbiInformation, ui::mbbOk, ui::mrOk, ui::mrOk);
}

bool ConfirmYesNo(const std::string& text) {
  return Show("Confirm", text, ui::mbiQuestion, ui::mbbYesNo, ui::mrYes, ui::mrNo) == ui::mrYes;
}

bool ConfirmOkCancel(const std::string& text) {
  return Show("Confirm", text, ui::mbiQuestion, ui::mbbOkCancel, ui::mrOk, ui::mrCancel) == ui::mrOk;
}

}  // namespace tolvex
