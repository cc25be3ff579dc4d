// The answer of a modal message box or form. The values are the platform's own codes (the Windows
// ones, which libtolvex_user.so uses as well), so they pass to the platform layer unchanged.
#pragma once

namespace tolvex::ui {

enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrYes = 6, mrNo = 7 };

}  // namespace tolvex::ui
