// The "SimData" waveform file (.sdf): its writer (SdfFile.cpp) and a header-only reader, so that
// tests and tools read a file without linking the viewer. The format is in docs/waveform-viewer.md.
#pragma once

#include <charconv>
#include <cstdint>
#include <fstream>
#include <istream>
#include <limits>
#include <ostream>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "WaveformData.h"

namespace tolvex::ondulix {

inline constexpr std::string_view kSdfMagic = "SimData";
inline constexpr int kSdfVersion = 1;

// Writes the file's text for Charts under DocumentName; false when the stream failed.
bool WriteSdf(std::ostream& out, const std::string& documentName, const std::vector<const TChartData*>& charts);
bool WriteSdf(std::ostream& out, const TWaveformDocument& document);

// Texts are quoted with the escapes of the host's journal: \\ \" \r \n \t and \xHH for every
// other control character; other bytes stand as they are.
std::string QuoteSdfText(std::string_view text);

// Numbers in the shortest form that reads back to the same double, in the C locale, and "nan",
// "inf", "-inf" for the values that are no numbers.
std::string FormatSdfNumber(double value);

struct TSdfReadResult {
  bool Ok = false;
  std::string Error;  // "line N: what is wrong" when not Ok
  TWaveformDocument Document;
};

namespace sdf_detail {

// A point count from a damaged header must not make the reader reserve gigabytes up front.
inline constexpr std::size_t kMaxReserve = std::size_t{1} << 20;

class TLineReader {
 public:
  explicit TLineReader(std::istream& in) : FIn(in) {}
  // The next line that is neither blank nor a comment, without its CR; false at the end.
  bool Next(std::string& line) {
    while (std::getline(FIn, line)) {
      ++FNumber;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      std::size_t i = 0;
      while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
      if (i == line.size() || line[i] == '#') continue;
      return true;
    }
    return false;
  }
  std::size_t Number() const { return FNumber; }

 private:
  std::istream& FIn;
  std::size_t FNumber = 0;
};

inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }

inline bool ParseNumber(std::string_view word, double& value) {
  if (word.empty()) return false;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value, std::chars_format::general);
  return error == std::errc() && end == word.data() + word.size();
}

inline bool ParseInteger(std::string_view word, std::int64_t low, std::int64_t high, std::int64_t& value) {
  if (word.empty()) return false;
  std::int64_t parsed = 0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), parsed, 10);
  if (error != std::errc() || end != word.data() + word.size() || parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

inline int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The words of a line: a keyword, then key=value fields whose value is a bare word or a quoted
// text. Unknown keys are kept and ignored by the caller, so a later writer may add fields.
struct TFields {
  std::string Keyword;
  std::vector<std::pair<std::string, std::string>> Values;
  const std::string* Find(std::string_view key) const {
    const std::string* found = nullptr;
    for (const auto& [k, v] : Values)
      if (k == key) found = &v;  // the last of a key wins
    return found;
  }
};

inline bool SplitFields(std::string_view line, TFields& fields, std::string& error) {
  std::size_t i = 0;
  auto skipBlanks = [&] {
    while (i < line.size() && IsBlank(line[i])) ++i;
  };
  skipBlanks();
  const std::size_t start = i;
  while (i < line.size() && !IsBlank(line[i])) ++i;
  fields.Keyword = std::string(line.substr(start, i - start));
  for (;;) {
    skipBlanks();
    if (i == line.size()) return true;
    const std::size_t keyStart = i;
    while (i < line.size() && line[i] != '=' && !IsBlank(line[i])) ++i;
    if (i == line.size() || line[i] != '=' || i == keyStart) {
      error = "expected key=value, found \"" + std::string(line.substr(keyStart, i - keyStart)) + "\"";
      return false;
    }
    std::string key(line.substr(keyStart, i - keyStart));
    ++i;
    std::string value;
    if (i < line.size() && line[i] == '"') {
      ++i;
      bool closed = false;
      while (i < line.size()) {
        const char c = line[i++];
        if (c == '"') {
          closed = true;
          break;
        }
        if (c != '\\') {
          value += c;
          continue;
        }
        if (i == line.size()) break;
        const char e = line[i++];
        switch (e) {
          case '\\': value += '\\'; break;
          case '"': value += '"'; break;
          case 'r': value += '\r'; break;
          case 'n': value += '\n'; break;
          case 't': value += '\t'; break;
          case 'x': {
            const int high = i < line.size() ? HexDigit(line[i]) : -1;
            const int low = i + 1 < line.size() ? HexDigit(line[i + 1]) : -1;
            if (high < 0 || low < 0) {
              error = "bad \\x escape in the text of " + key;
              return false;
            }
            value += static_cast<char>(high * 16 + low);
            i += 2;
            break;
          }
          default: error = std::string("unknown escape \\") + e + " in the text of " + key; return false;
        }
      }
      if (!closed) {
        error = "the text of " + key + " has no closing quote";
        return false;
      }
      if (i < line.size() && !IsBlank(line[i])) {
        error = "a blank must follow the text of " + key;
        return false;
      }
    } else {
      const std::size_t valueStart = i;
      while (i < line.size() && !IsBlank(line[i])) ++i;
      value = std::string(line.substr(valueStart, i - valueStart));
    }
    fields.Values.emplace_back(std::move(key), std::move(value));
  }
}

class TReader {
 public:
  explicit TReader(std::istream& in) : FLines(in) {}

  TSdfReadResult Read() {
    TSdfReadResult result;
    if (!ReadAll(result.Document)) {
      result.Error = "line " + std::to_string(FLines.Number()) + ": " + FError;
      result.Document = TWaveformDocument{};
      return result;
    }
    result.Ok = true;
    return result;
  }

 private:
  bool Fail(std::string message) {
    FError = std::move(message);
    return false;
  }

  static void Text(const TFields& fields, const char* key, std::string& target) {
    if (const std::string* value = fields.Find(key)) target = *value;
  }
  template <class TInt>
  bool Integer(const TFields& fields, const char* key, TInt& target) {
    const std::string* value = fields.Find(key);
    if (!value) return true;
    // Counts wider than 63 bits are read as far as 63 bits go.
    constexpr std::int64_t low = static_cast<std::int64_t>(std::numeric_limits<TInt>::min());
    constexpr std::int64_t high = sizeof(TInt) < sizeof(std::int64_t)
                                      ? static_cast<std::int64_t>(std::numeric_limits<TInt>::max())
                                      : std::numeric_limits<std::int64_t>::max();
    std::int64_t parsed = 0;
    if (!ParseInteger(*value, low, high, parsed))
      return Fail(std::string(key) + " is not an integer in range: " + *value);
    target = static_cast<TInt>(parsed);
    return true;
  }
  bool Number(const TFields& fields, const char* key, double& target) {
    const std::string* value = fields.Find(key);
    if (!value) return true;
    if (!ParseNumber(*value, target)) return Fail(std::string(key) + " is not a number: " + *value);
    return true;
  }

  bool ReadAll(TWaveformDocument& document) {
    std::string line;
    if (!FLines.Next(line)) return Fail("empty file, expected \"SimData 1\"");
    TFields header;
    if (!SplitWords(line, header) || header.Keyword != kSdfMagic || header.Values.size() != 1)
      return Fail("not a SimData file: expected \"SimData 1\"");
    std::int64_t version = 0;
    if (!ParseInteger(header.Values[0].first, 1, std::numeric_limits<std::int32_t>::max(), version))
      return Fail("bad version: " + header.Values[0].first);
    if (version > kSdfVersion)
      return Fail("version " + std::to_string(version) + " is newer than this reader (" + std::to_string(kSdfVersion) +
                  ")");

    bool seenDocument = false;
    while (FLines.Next(line)) {
      TFields fields;
      std::string error;
      if (!SplitFields(line, fields, error)) return Fail(error);
      if (fields.Keyword == "end") {
        if (!fields.Values.empty()) return Fail("end takes no fields");
        if (FLines.Next(line)) return Fail("text after the end line");
        return true;
      }
      if (fields.Keyword == "document") {
        if (seenDocument || !document.Charts.empty()) return Fail("document must come once, before the charts");
        seenDocument = true;
        Text(fields, "name", document.DocumentName);
      } else if (fields.Keyword == "chart") {
        TChartData& chart = document.Charts.emplace_back();
        Text(fields, "name", chart.Name);
        if (!Integer(fields, "a", chart.A) || !Integer(fields, "b", chart.B) || !Integer(fields, "c", chart.C) ||
            !Integer(fields, "updates", chart.UpdateCount))
          return false;
      } else if (fields.Keyword == "x-axis") {
        if (document.Charts.empty()) return Fail("x-axis before any chart");
        TXAxisData& axis = document.Charts.back().XAxis;
        std::uint8_t formatted = 0;
        Text(fields, "name", axis.Name);
        Text(fields, "unit", axis.Unit);
        if (!Integer(fields, "formatted", formatted) || !Integer(fields, "a", axis.A) ||
            !Integer(fields, "b", axis.B) || !Integer(fields, "c", axis.C) || !Number(fields, "from", axis.From) ||
            !Number(fields, "to", axis.To))
          return false;
        if (formatted > 1) return Fail("formatted is 0 or 1");
        axis.Formatted = formatted == 1;
      } else if (fields.Keyword == "wave") {
        if (document.Charts.empty()) return Fail("wave before any chart");
        if (!ReadWave(fields, document.Charts.back().Waves.emplace_back())) return false;
      } else {
        return Fail("unknown line \"" + fields.Keyword + "\"");
      }
    }
    return Fail("the file ends without its end line (cut short?)");
  }

  // The first line's words are not key=value pairs.
  static bool SplitWords(std::string_view line, TFields& fields) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
      while (i < line.size() && IsBlank(line[i])) ++i;
      const std::size_t start = i;
      while (i < line.size() && !IsBlank(line[i])) ++i;
      if (i > start) words.emplace_back(line.substr(start, i - start));
    }
    if (words.empty()) return false;
    fields.Keyword = words[0];
    for (std::size_t k = 1; k < words.size(); ++k) fields.Values.emplace_back(words[k], std::string());
    return true;
  }

  bool ReadWave(const TFields& fields, TWaveData& wave) {
    Text(fields, "name", wave.Name);
    Text(fields, "unit", wave.YUnit);
    if (!Integer(fields, "a", wave.A) || !Integer(fields, "b", wave.B) || !Integer(fields, "c", wave.C) ||
        !Integer(fields, "d", wave.D) || !Integer(fields, "e", wave.E))
      return false;
    const std::string* values = fields.Find("values");
    if (!values || (*values != "real" && *values != "complex")) return Fail("wave needs values=real or values=complex");
    const bool complex = *values == "complex";
    const std::string* pointsText = fields.Find("points");
    std::int64_t points = 0;
    if (!pointsText || !ParseInteger(*pointsText, 0, std::numeric_limits<std::int64_t>::max(), points))
      return Fail("wave needs points=N with N from 0");
    const std::size_t count = static_cast<std::size_t>(points);
    const std::size_t reserve = count < kMaxReserve ? count : kMaxReserve;
    wave.X.reserve(reserve);
    wave.Y.reserve(reserve);
    if (complex) {
      // A complex wave keeps its imaginary parts even when they are all zero.
      wave.XI.reserve(reserve);
      wave.YI.reserve(reserve);
    }
    std::string line;
    const std::size_t expected = complex ? 4 : 2;
    for (std::size_t p = 0; p < count; ++p) {
      if (!FLines.Next(line))
        return Fail("wave \"" + wave.Name + "\" has " + std::to_string(p) + " of its " + std::to_string(count) +
                    " points");
      double value[4] = {0, 0, 0, 0};
      std::size_t found = 0, i = 0;
      while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        if (i == line.size()) break;
        const std::size_t start = i;
        while (i < line.size() && !IsBlank(line[i])) ++i;
        if (found == expected)
          return Fail("a point of a " + *values + " wave has more than " + std::to_string(expected) + " numbers");
        const std::string_view word(line.data() + start, i - start);
        if (!ParseNumber(word, value[found]))
          return Fail("not a number: " + std::string(word) + " (or fewer points than the wave says)");
        ++found;
      }
      if (found != expected)
        return Fail("a point of a " + *values + " wave needs " + std::to_string(expected) + " numbers");
      if (complex) {
        wave.X.push_back(value[0]);
        wave.XI.push_back(value[1]);
        wave.Y.push_back(value[2]);
        wave.YI.push_back(value[3]);
      } else {
        wave.X.push_back(value[0]);
        wave.Y.push_back(value[1]);
      }
    }
    return true;
  }

  TLineReader FLines;
  std::string FError;
};

}  // namespace sdf_detail

inline TSdfReadResult ReadSdf(std::istream& in) { return sdf_detail::TReader(in).Read(); }

inline TSdfReadResult ReadSdfFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    TSdfReadResult result;
    result.Error = "cannot open " + path;
    return result;
  }
  return ReadSdf(in);
}

}  // namespace tolvex::ondulix
