// The system's four message boxes, owned by the host's main window.
#pragma once

#include <string>

namespace tolvex {

void ShowError(const std::string& text);
void ShowInformation(const std::string& text);
// True for Yes; Yes is the default, Escape means No.
bool ConfirmYesNo(const std::string& text);
// True for OK; OK is the default, Escape means Cancel.
bool ConfirmOkCancel(const std::string& text);

// Every "&" doubled, so that the text shows as written and no letter becomes an accelerator.
std::string DoubleAmpersands(const std::string& text);

}  // namespace tolvex
