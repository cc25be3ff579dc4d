// What the stand-ins that read JSON files need to say where a malformed file goes wrong.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tolvex::standins {

// The detail of one of nlohmann's parse errors without its own place or number: the text is
// "[json.exception.parse_error.101] parse error at line L, column C: detail" (or, for a number
// too large, "[json.exception.out_of_range.406] detail"), and the place is given in the file's
// own terms instead.
inline std::string ParseErrorDetail(const std::string& what) {
  std::string detail = what;
  if (detail.rfind("[json.exception.", 0) == 0)
    if (const std::size_t close = detail.find("] "); close != std::string::npos) detail.erase(0, close + 2);
  if (detail.rfind("parse error", 0) != 0) return detail;
  const std::size_t colon = detail.find(": ");
  return colon == std::string::npos ? detail : detail.substr(colon + 2);
}

// Only the parse error matters here: how many characters the parser had read when it stopped,
// which is just past the character that showed the fault.
template <class TJson>
class TJsonErrorPlace final : public nlohmann::json_sax<TJson> {
 public:
  using typename nlohmann::json_sax<TJson>::number_integer_t;
  using typename nlohmann::json_sax<TJson>::number_unsigned_t;
  using typename nlohmann::json_sax<TJson>::number_float_t;
  using typename nlohmann::json_sax<TJson>::string_t;
  using typename nlohmann::json_sax<TJson>::binary_t;

  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t) override { return true; }
  bool number_unsigned(number_unsigned_t) override { return true; }
  bool number_float(number_float_t, const string_t&) override { return true; }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override { return true; }
  bool key(string_t&) override { return true; }
  bool end_object() override { return true; }
  bool start_array(std::size_t) override { return true; }
  bool end_array() override { return true; }
  bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception&) override {
    Position = position;
    return false;
  }

  std::size_t Position = 0;
};

namespace detail {

inline bool IsJsonWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '+' ||
         c == '-';
}

inline bool IsJsonSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// A whole literal or number, as JSON writes them.
inline bool IsCompleteJsonWord(std::string_view word) {
  if (word == "true" || word == "false" || word == "null") return true;
  std::size_t i = 0;
  const auto digits = [&] {
    const std::size_t from = i;
    while (i < word.size() && word[i] >= '0' && word[i] <= '9') ++i;
    return i > from;
  };
  if (i < word.size() && word[i] == '-') ++i;
  if (i < word.size() && word[i] == '0')
    ++i;
  else if (!digits())
    return false;
  if (i < word.size() && word[i] == '.' && (++i, !digits())) return false;
  if (i < word.size() && (word[i] == 'e' || word[i] == 'E')) {
    ++i;
    if (i < word.size() && (word[i] == '+' || word[i] == '-')) ++i;
    if (!digits()) return false;
  }
  return i == word.size();
}

}  // namespace detail

// The offset in Text of the token that the parser could not take, from Position, the count of characters it had
// read when it stopped. The parser reads one character past a literal or a number before it can tell that it is
// wrong, and a string to its closing quote before it can tell that it is unexpected; so the place is the start of
// the token that holds the last character read, or of the literal or number just before a character that ended
// it wrongly. Where the text ended too early the place is its end, unless it ended inside a string, a literal or a
// number.
inline std::size_t ParseErrorOffset(const std::string& text, std::size_t position) {
  const std::size_t size = text.size();
  if (size == 0 || position == 0) return 0;
  const bool atEnd = position > size;
  const std::size_t last = std::min(position, size) - 1;
  enum { kString, kWord, kSpace, kOther } kind = kOther, previousKind = kOther;
  // The token that holds Last is [Start, End); the one before it [PreviousStart, Start).
  std::size_t start = 0, end = 0, previousStart = 0;
  bool terminated = false;
  while (end <= last) {
    previousKind = kind;
    previousStart = start;
    start = end;
    std::size_t i = start;
    const char c = text[i];
    if (c == '"') {
      kind = kString;
      for (++i; i < size && text[i] != '"';) i += text[i] == '\\' ? 2 : 1;
      terminated = i < size;
      i = terminated ? i + 1 : size;
    } else if (detail::IsJsonWordChar(c)) {
      kind = kWord;
      while (i < size && detail::IsJsonWordChar(text[i])) ++i;
    } else if (detail::IsJsonSpace(c)) {
      kind = kSpace;
      while (i < size && detail::IsJsonSpace(text[i])) ++i;
    } else {
      kind = kOther;
      ++i;
    }
    end = i;
  }
  const auto word = [&](std::size_t from, std::size_t to) { return std::string_view(text).substr(from, to - from); };
  switch (kind) {
    case kString:
      // Read whole and then refused, or cut off by the end: the string itself; otherwise the fault inside it.
      return (terminated && last == end - 1) || (!terminated && atEnd) ? start : last;
    case kWord:
      return atEnd && detail::IsCompleteJsonWord(word(start, end)) ? size : start;
    case kSpace:
      return atEnd ? size : last;
    case kOther:
      if (previousKind == kWord && !detail::IsCompleteJsonWord(word(previousStart, start))) return previousStart;
      return start;
  }
  return last;
}

// NAME:LINE:COLUMN of the byte at Offset of Text, both counted from 1.
inline std::string ParsePlace(const std::string& name, const std::string& text, std::size_t offset) {
  std::size_t line = 1, lineStart = 0;
  for (std::size_t i = 0; i < offset && i < text.size(); ++i)
    if (text[i] == '\n') {
      ++line;
      lineStart = i + 1;
    }
  return name + ":" + std::to_string(line) + ":" + std::to_string(offset - lineStart + 1);
}

// Where a text that does not parse goes wrong, as NAME:LINE:COLUMN.
template <class TJson>
std::string ParseErrorPlace(const std::string& name, const std::string& text) {
  TJsonErrorPlace<TJson> place;
  TJson::sax_parse(text, &place);
  return ParsePlace(name, text, ParseErrorOffset(text, place.Position));
}

}  // namespace tolvex::standins
