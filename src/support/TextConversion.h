// Wide (UTF-16) text to the 8-bit text of paths (UTF-8) and back.
#pragma once

#include <string>

namespace tolvex {

// Unpaired surrogates become U+FFFD; a null text is empty.
std::string WideToNarrow(const char16_t* text);
// Bytes that are not well-formed UTF-8 (stray, cut short, overlong, encoded surrogates) become U+FFFD.
std::u16string NarrowToWide(const std::string& text);

}  // namespace tolvex
