// The scripted test engine's texts: script lines and numbers (start texts and output file names: StartText.h).
// Kept apart from the engine's run so that the parsing can be checked on its own.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "StartText.h"
#include "support/TextUtils.h"

namespace tolvex::scripted {

// The start texts and output file names are shared with the ngspice engine.
using engines::FileNameOf;
using engines::ParseStartText;
using engines::ReplaceExtension;
using engines::sfBuiltIn;
using engines::sfExternal;
using engines::TStartForm;
using engines::TStartText;

// A script line is a netlist comment line that starts with exactly "*@"; Body is what follows.
inline bool IsScriptLine(std::string_view line, std::string_view& body) {
  if (line.size() < 2 || line[0] != '*' || line[1] != '@') return false;
  body = line.substr(2);
  return true;
}

inline bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

// Splits on blanks (every character of code 32 or less). A double quote opens a part that runs
// to the next unescaped double quote and may hold blanks; inside it \" is a quote and \\ a
// backslash, every other backslash stays as it is (Windows paths read as written). Quotes may
// join unquoted text ("a b"c is one word, a bc), and "" is an empty word. An unterminated
// quote runs to the end of the line and sets UnterminatedQuote.
inline std::vector<std::string> SplitWords(std::string_view text, bool& unterminatedQuote) {
  std::vector<std::string> words;
  unterminatedQuote = false;
  std::size_t i = 0;
  while (i < text.size()) {
    if (IsBlank(text[i])) {
      ++i;
      continue;
    }
    std::string word;
    while (i < text.size() && !IsBlank(text[i])) {
      if (text[i] != '"') {
        word += text[i++];
        continue;
      }
      ++i;
      bool closed = false;
      while (i < text.size()) {
        const char c = text[i];
        if (c == '"') {
          closed = true;
          ++i;
          break;
        }
        if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '"' || text[i + 1] == '\\')) {
          word += text[i + 1];
          i += 2;
          continue;
        }
        word += c;
        ++i;
      }
      if (!closed) unterminatedQuote = true;
    }
    words.push_back(std::move(word));
  }
  return words;
}

// Whole-word numbers in the C locale, whatever the process's decimal separator: an optional
// sign ("+" too), no blanks, nothing after the number. Out-of-range values are refused.
inline bool ParseInt32(std::string_view word, std::int32_t& value) {
  if (word.size() > 1 && word[0] == '+' && word[1] != '-') word.remove_prefix(1);
  if (word.empty()) return false;
  std::int32_t parsed = 0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), parsed, 10);
  if (error != std::errc() || end != word.data() + word.size()) return false;
  value = parsed;
  return true;
}

inline bool ParseDouble(std::string_view word, double& value) {
  if (word.size() > 1 && word[0] == '+' && word[1] != '-') word.remove_prefix(1);
  if (word.empty()) return false;
  double parsed = 0;
  const auto [end, error] =
      std::from_chars(word.data(), word.data() + word.size(), parsed, std::chars_format::general);
  if (error != std::errc() || end != word.data() + word.size()) return false;
  value = parsed;
  return true;
}

}  // namespace tolvex::scripted
