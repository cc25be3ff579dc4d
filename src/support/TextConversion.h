// Wide (UTF-16) text to the 8-bit text of paths (UTF-8) and back.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tolvex {

// Unpaired surrogates become U+FFFD; a null text is empty.
std::string WideToNarrow(const char16_t* text);
// Bytes that are not well-formed UTF-8 (stray, cut short, overlong, encoded surrogates) become U+FFFD.
std::u16string NarrowToWide(const std::string& text);

// The length (1 to 4) of the well-formed UTF-8 sequence that starts Text at I, or 0 when none does:
// strict, so no overlong form, no encoded surrogate and nothing above U+10FFFF. Code, when given,
// receives the character.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i, char32_t* code = nullptr);

}  // namespace tolvex
