// The line rules of SPICE model text.
#include "model_data/ModelFileLines.h"

#include <climits>
#include <initializer_list>
#include <utility>

#include "support/TextUtils.h"

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

namespace {

// FNV-1a over the upper-case name with the depth mixed in last (the same name at top level and inside a body are
// two keys), then stirred so that the low bits, which pick the slot, differ for names that differ in one digit.
std::uint64_t DefinitionHash(std::string_view upperName, bool nested) {
  std::uint64_t hash = 14695981039346656037ull;
  for (char c : upperName) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  hash = (hash ^ (nested ? 1u : 2u)) * 1099511628211ull;
  hash ^= hash >> 33;
  hash *= 0xFF51AFD7ED558CCDull;
  return hash ^ (hash >> 33);
}

}  // namespace

std::size_t TModelDefinitionIndex::Lookup(std::string_view upperName, bool nested, std::uint64_t hash) const {
  if (FSlots.empty()) return 0;
  const std::size_t mask = FSlots.size() - 1;
  for (std::size_t i = static_cast<std::size_t>(hash) & mask;; i = (i + 1) & mask) {
    const TSlot& slot = FSlots[i];
    if (slot.Definition == 0) return 0;
    if (slot.Hash != hash) continue;
    const std::size_t at = slot.Definition - 1;
    const TDefinition& d = FDefinitions[at];
    if (d.Nested == nested && std::string_view(FNames).substr(d.Offset, d.Length) == upperName)
      return slot.Definition;
  }
}

void TModelDefinitionIndex::Grow() {
  // A power of two at most half full, so that a probe ends soon at an empty slot.
  std::vector<TSlot> slots(FSlots.empty() ? 64 : FSlots.size() * 2, TSlot{0, 0});
  const std::size_t mask = slots.size() - 1;
  for (const TSlot& slot : FSlots) {
    if (slot.Definition == 0) continue;
    std::size_t i = static_cast<std::size_t>(slot.Hash) & mask;
    while (slots[i].Definition != 0) i = (i + 1) & mask;
    slots[i] = slot;
  }
  FSlots = std::move(slots);
}

void TModelDefinitionIndex::Feed(std::string_view line) {
  const std::ptrdiff_t index = FNextIndex++;
  if (line.empty() || line[0] != '.') return;
  std::size_t pos;
  const bool subcircuit = StartsWithKeyword(line, kSubcircuitKeyword);
  if (subcircuit) {
    pos = kSubcircuitKeyword.size();
  } else if (StartsWithKeyword(line, kModelKeyword)) {
    pos = kModelKeyword.size();
  } else {
    if (FDepth > 0 && StartsWithKeyword(line, kEndsKeyword)) --FDepth;
    return;
  }
  // The name is the item after the keyword's blanks: a name without blanks matches the line exactly when it is
  // that item (IsModelLine).
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  std::size_t end = pos;
  while (end < line.size() && !IsBlank(line[end])) ++end;
  if (end > pos) {
    const bool nested = FDepth > 0;
    const std::size_t offset = FNames.size();
    for (std::size_t i = pos; i < end; ++i) FNames += UpCaseAscii(line[i]);
    const std::string_view name = std::string_view(FNames).substr(offset);
    const std::uint64_t hash = DefinitionHash(name, nested);
    if (Lookup(name, nested, hash) != 0) {
      FNames.resize(offset);  // a later definition of a name changes nothing
    } else {
      if ((FDefinitions.size() + 1) * 2 > FSlots.size()) Grow();
      FDefinitions.push_back({offset, end - pos, index, nested});
      const std::size_t mask = FSlots.size() - 1;
      std::size_t i = static_cast<std::size_t>(hash) & mask;
      while (FSlots[i].Definition != 0) i = (i + 1) & mask;
      FSlots[i] = {hash, FDefinitions.size()};
    }
  }
  if (subcircuit) ++FDepth;
}

bool TModelDefinitionIndex::CanFind(std::string_view modelName) {
  for (char c : modelName)
    if (IsBlank(c)) return false;
  return true;
}

std::ptrdiff_t TModelDefinitionIndex::Find(std::string_view modelName) const {
  if (modelName.empty() || !CanFind(modelName)) return -1;
  const std::string name = UpperCaseAscii(modelName);
  if (const std::size_t top = Lookup(name, false, DefinitionHash(name, false)); top != 0)
    return FDefinitions[top - 1].Line;
  // A text that ends inside a body cannot be trusted with its nesting: a definition at any depth counts then.
  if (FDepth == 0) return -1;
  const std::size_t nested = Lookup(name, true, DefinitionHash(name, true));
  return nested != 0 ? FDefinitions[nested - 1].Line : -1;
}

std::size_t TModelDefinitionIndex::Bytes() const {
  return sizeof(*this) + FNames.capacity() + FDefinitions.capacity() * sizeof(TDefinition) +
         FSlots.capacity() * sizeof(TSlot);
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
      } else if (c == '{') {
        // An expression: blanks inside it separate nothing, and braces nest ({A*{B}}). Unterminated, it runs to
        // the end of the text.
        std::size_t depth = 0;
        for (; i < n; ++i) {
          if (text[i] == '{') ++depth;
          if (text[i] == '}' && --depth == 0) break;
        }
        if (i < n) ++i;
      } else {
        ++i;
      }
    }
    items.emplace_back(text.substr(start, i - start));
  }
  return items;
}

namespace {

// The keywords that divide a subcircuit's definition after its ports: "OPTIONAL:" (ports that may be left out,
// each with its default net), "PARAMS:" (parameters) and "TEXT:" (text parameters).
enum TSectionKeyword { skNone, skOptional, skParams, skText };

// The keyword an item begins with (any letter case), and the length of that keyword.
TSectionKeyword SectionKeyword(std::string_view item, std::size_t& length) {
  constexpr std::string_view kOptionalKeyword = "OPTIONAL:", kTextKeyword = "TEXT:";
  for (const auto& [keyword, section] :
       {std::pair{kOptionalKeyword, skOptional}, std::pair{kParamsKeyword, skParams}, std::pair{kTextKeyword, skText}})
    if (StartsWithText(item, keyword)) {
      length = keyword.size();
      return section;
    }
  length = 0;
  return skNone;
}

// Joins the items of one run of assignments into parameters: a name, "=" and a value that blanks separate
// ("WW = 10U", "WW= 10U", "WW =10U") are one parameter, written without the blanks (WW=10U).
std::vector<std::string> JoinAssignments(std::vector<std::string> items) {
  std::vector<std::string> parameters;
  for (std::string& item : items) {
    if (!parameters.empty()) {
      std::string& last = parameters.back();
      const bool lastIsName = last.find('=') == std::string::npos;
      // "WW" then "=..." ; or "WW=" (or "WW" "=") then the value.
      if ((lastIsName && item.front() == '=') || last.back() == '=') {
        last += item;
        continue;
      }
    }
    parameters.push_back(std::move(item));
  }
  return parameters;
}

}  // namespace

TSubcircuitHeader ReadSubcircuitHeader(std::string_view definition) {
  std::vector<std::string> items = SplitModelItems(definition);
  TSubcircuitHeader header;
  constexpr std::size_t kFirstPort = 2;  // after the keyword and the subcircuit's name
  bool inPorts = true;
  TSectionKeyword section = skNone;
  std::vector<std::string> assignments;  // the items of the current "PARAMS:" section
  auto endSection = [&] {
    if (section != skParams) return;
    if (!header.Parameters) header.Parameters.emplace();
    for (std::string& parameter : JoinAssignments(std::move(assignments))) header.Parameters->push_back(std::move(parameter));
    assignments.clear();
  };
  for (std::size_t i = kFirstPort; i < items.size(); ++i) {
    std::string& item = items[i];
    std::size_t keywordLength = 0;
    const TSectionKeyword keyword = SectionKeyword(item, keywordLength);
    if (keyword != skNone) {
      endSection();
      inPorts = false;
      section = keyword;
      // "PARAMS:GAIN=1E5" names its first parameter without a blank.
      if (item.size() == keywordLength) continue;
      item.erase(0, keywordLength);
    } else if (inPorts) {
      // No port name holds "=", and a name followed by "=" is an assignment: either ends the ports. Assignments
      // before any keyword are neither ports nor parameters.
      const bool assignment =
          item.find('=') != std::string::npos || (i + 1 < items.size() && items[i + 1].front() == '=');
      if (!assignment) {
        header.Ports.push_back(std::move(item));
        continue;
      }
      inPorts = false;
    }
    if (section == skParams) assignments.push_back(std::move(item));
  }
  endSection();
  return header;
}

}  // namespace tolvex
