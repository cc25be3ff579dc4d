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

// A listener to the parser that takes every value and goes on; those below keep only what they need.
template <class TJson>
class TJsonSaxIgnoringValues : public nlohmann::json_sax<TJson> {
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
};

// Only the parse error matters here: how many characters the parser had read when it stopped,
// which is just past the character that showed the fault.
template <class TJson>
class TJsonErrorPlace final : public TJsonSaxIgnoringValues<TJson> {
 public:
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

// The message for a text that does not parse: NAME:LINE:COLUMN: malformed JSON: DETAIL, from the count of
// characters the parser had read and its error's text.
inline std::string MalformedJsonMessage(const std::string& name, const std::string& text, std::size_t position,
                                        const std::string& what) {
  return ParsePlace(name, text, ParseErrorOffset(text, position)) + ": malformed JSON: " + ParseErrorDetail(what);
}

// How deep the stand-ins' JSON files may nest arrays and objects, the outermost counting as the first level. A real
// document goes seven levels deep (a parameter of an implementation of a component); this is far beyond that, and
// shallow enough that whatever walks a value recursively (copying, comparing, writing it) cannot run out of stack.
// A file is refused at the first array or object below this level, so what is read is always as shallow, and so
// is what is written back from it.
inline constexpr std::size_t kJsonNestingLimit = 64;

namespace detail {

// The offset of the Ordinal-th (from 1) bracket or brace that opens an array or object in Text, which the parser
// took to there, so that every quote outside a string opens one; Text's size when there are fewer.
inline std::size_t OpeningOffset(const std::string& text, std::size_t ordinal) {
  std::size_t seen = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      for (++i; i < text.size() && text[i] != '"';) i += text[i] == '\\' ? 2 : 1;
    } else if ((c == '[' || c == '{') && ++seen == ordinal) {
      return i;
    }
  }
  return text.size();
}

}  // namespace detail

// Counts the arrays and objects of a SAX parse as they open and close, for a reader to stop at the first one that
// lies too deep: a reader answers false from start_object or start_array when Open does.
class TJsonNesting {
 public:
  bool Open() {
    ++FOpened;
    if (++FDepth <= kJsonNestingLimit) return true;
    FTooDeep = true;
    return false;
  }
  void Close() {
    if (FDepth > 0) --FDepth;
  }
  bool TooDeep() const { return FTooDeep; }
  // NAME:LINE:COLUMN of the array or object that lies too deep, and why it is refused; Text is what was parsed.
  std::string Message(const std::string& name, const std::string& text) const {
    return ParsePlace(name, text, detail::OpeningOffset(text, FOpened)) + ": nested deeper than " +
           std::to_string(kJsonNestingLimit) + " levels of arrays and objects";
  }

 private:
  std::size_t FDepth = 0;
  std::size_t FOpened = 0;
  bool FTooDeep = false;
};

// Checks that a text is JSON and nests no deeper than the limit, before a tree is built of it; Message tells the
// first fault in the text's order.
template <class TJson>
class TJsonCheck final : public TJsonSaxIgnoringValues<TJson> {
 public:
  bool start_object(std::size_t) override { return Nesting.Open(); }
  bool end_object() override { return Close(); }
  bool start_array(std::size_t) override { return Nesting.Open(); }
  bool end_array() override { return Close(); }
  bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& e) override {
    Position = position;
    What = e.what();
    return false;
  }

  // True when Text (parsed into this) is JSON no deeper than the limit; else the message that names the place.
  bool Passed(const std::string& name, const std::string& text, std::string& message) const {
    if (Nesting.TooDeep()) {
      message = Nesting.Message(name, text);
      return false;
    }
    if (!What.empty()) {
      message = MalformedJsonMessage(name, text, Position, What);
      return false;
    }
    return true;
  }

  TJsonNesting Nesting;
  std::size_t Position = 0;
  std::string What;

 private:
  bool Close() {
    Nesting.Close();
    return true;
  }
};

}  // namespace tolvex::standins
