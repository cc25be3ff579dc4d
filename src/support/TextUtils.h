// Text helpers shared by every layer: ASCII-only case folding, trimming, cutting.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tolvex {

constexpr char UpCaseAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Equal without regard to case; only a-z and A-Z fold, other bytes compare exactly.
inline bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (UpCaseAscii(a[i]) != UpCaseAscii(b[i])) return false;
  return true;
}

inline std::string UpperCaseAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = UpCaseAscii(c);
  return out;
}

// Removes every leading and trailing character with a code of 32 or less.
inline std::string_view TrimView(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
  return s.substr(b, e - b);
}
inline std::string Trim(std::string_view s) { return std::string(TrimView(s)); }

// The first MaxLength characters of S (the fixed 255-character fields).
inline std::string CutText(std::string_view s, std::size_t maxLength) { return std::string(s.substr(0, maxLength)); }

constexpr std::size_t kShortStringLength = 255;

}  // namespace tolvex
