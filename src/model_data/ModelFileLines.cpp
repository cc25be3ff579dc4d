// The line rules of SPICE model text.
#include "model_data/ModelFileLines.h"

#include <climits>

#include "host/TextUtils.h"

namespace tolvex {

namespace {

// Blanks are control characters and the space; the byte is taken unsigned so that 8-bit text is never a blank.
constexpr bool IsBlank(char c) { return static_cast<unsigned char>(c) < 33; }

// Whether Line begins with Keyword (upper case, compared without regard to case) followed by a blank or its end.
bool StartsWithKeyword(std::string_view line, std::string_view keyword) {
  if (line.size() < keyword.size()) return false;
  for (std::size_t i = 0; i < keyword.size(); ++i)
    if (UpCaseAscii(line[i]) != keyword[i]) return false;
  return line.size() == keyword.size() || IsBlank(line[keyword.size()]);
}

bool StartsWithText(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

constexpr std::string_view kModelKeyword = ".MODEL";
constexpr std::string_view kSubcircuitKeyword = ".SUBCKT";
constexpr std::string_view kEndsKeyword = ".ENDS";
constexpr std::string_view kParamsKeyword = "PARAMS:";

}  // namespace

bool IsModelLine(std::string_view line, std::string_view name) {
  if (name.empty() || line.empty() || line[0] != '.') return false;
  std::size_t pos;
  if (StartsWithKeyword(line, kModelKeyword))
    pos = kModelKeyword.size();
  else if (StartsWithKeyword(line, kSubcircuitKeyword))
    pos = kSubcircuitKeyword.size();
  else
    return false;
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  if (line.size() - pos < name.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i)
    if (UpCaseAscii(line[pos + i]) != UpCaseAscii(name[i])) return false;
  const std::size_t after = pos + name.size();
  return after == line.size() || IsBlank(line[after]);
}

bool IsSubcircuitLine(std::string_view line) { return StartsWithKeyword(line, kSubcircuitKeyword); }

TModelLineFinder::TModelLineFinder(std::string_view modelName) : FName(UpperCaseAscii(modelName)) {}

bool TModelLineFinder::Feed(std::string_view line) {
  const std::ptrdiff_t index = FNextIndex++;
  // Only dot lines matter; everything else is passed over at the cost of one comparison.
  if (FFound >= 0 || line.empty() || line[0] != '.') return FFound >= 0;
  if (IsModelLine(line, FName)) {
    if (FDepth == 0) {
      FFound = index;
      return true;
    }
    if (FFirstNested < 0) FFirstNested = index;
  }
  if (StartsWithKeyword(line, kSubcircuitKeyword))
    ++FDepth;
  else if (FDepth > 0 && StartsWithKeyword(line, kEndsKeyword))
    --FDepth;
  return false;
}

std::ptrdiff_t TModelLineFinder::Result() const {
  if (FFound >= 0) return FFound;
  return FDepth > 0 ? FFirstNested : -1;
}

int FindModelLine(const std::vector<std::string>& lines, std::string_view modelName) {
  if (modelName.empty()) return -1;
  TModelLineFinder finder(modelName);
  // An index must fit the result; a text of more lines than that is searched as far as it can be told.
  const std::size_t count = lines.size() < static_cast<std::size_t>(INT_MAX) ? lines.size() : INT_MAX;
  for (std::size_t i = 0; i < count; ++i)
    if (finder.Feed(lines[i])) break;
  return static_cast<int>(finder.Result());
}

std::string JoinContinuationLines(const std::vector<std::string>& lines, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= lines.size()) return {};
  std::string text = lines[static_cast<std::size_t>(index)];
  for (std::size_t i = static_cast<std::size_t>(index) + 1; i < lines.size(); ++i) {
    const std::string_view trimmed = TrimView(lines[i]);
    if (!trimmed.empty() && trimmed[0] != '+') break;
    text += ' ';
    if (!trimmed.empty()) text.append(trimmed.substr(1));
  }
  return text;
}

std::vector<std::string> SplitModelItems(std::string_view text) {
  std::vector<std::string> items;
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    while (i < n && IsBlank(text[i])) ++i;
    if (i >= n) break;
    const std::size_t start = i;
    while (i < n && !IsBlank(text[i])) {
      const char c = text[i];
      if (c == '"' || c == '\'') {
        // An unterminated quote runs to the end of the text.
        const std::size_t close = text.find(c, i + 1);
        i = close == std::string_view::npos ? n : close + 1;
      } else {
        ++i;
      }
    }
    items.emplace_back(text.substr(start, i - start));
  }
  return items;
}

TSubcircuitHeader ReadSubcircuitHeader(std::string_view definition) {
  std::vector<std::string> items = SplitModelItems(definition);
  TSubcircuitHeader header;
  constexpr std::size_t kFirstPort = 2;  // after the keyword and the subcircuit's name
  std::size_t params = kFirstPort;
  while (params < items.size() && !StartsWithText(items[params], kParamsKeyword)) ++params;
  for (std::size_t i = kFirstPort; i < params && items[i].find('=') == std::string::npos; ++i)
    header.Ports.push_back(items[i]);
  if (params < items.size()) {
    std::vector<std::string> parameters;
    // "PARAMS:GAIN=1E5" names its first parameter without a blank.
    if (items[params].size() > kParamsKeyword.size())
      parameters.push_back(items[params].substr(kParamsKeyword.size()));
    for (std::size_t i = params + 1; i < items.size(); ++i) parameters.push_back(std::move(items[i]));
    header.Parameters = std::move(parameters);
  }
  return header;
}

}  // namespace tolvex
