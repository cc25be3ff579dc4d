// The dialog font's character widths, from one fixed table, so that measured texts are the same on every machine.
#pragma once

#include <string_view>

namespace tolvex::ui {

// Pixel width of one character in the dialog's 8-point sans font; every byte outside printable ASCII
// that starts a character gets one default width, the continuation bytes of UTF-8 none.
int CharWidth(unsigned char c);
int TextWidth(std::string_view text);

}  // namespace tolvex::ui
