// Reading a netlist for ngspice, and the names and numbers the engine derives from it.
#include "NetlistText.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <system_error>

#include "host/TextUtils.h"

namespace tolvex::ngspice {

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Card words: SPICE separates them by blanks, and ngspice accepts commas as well.
std::vector<std::string_view> CardWords(std::string_view card) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < card.size()) {
    while (i < card.size() && (static_cast<unsigned char>(card[i]) <= 32 || card[i] == ',')) ++i;
    const std::size_t start = i;
    while (i < card.size() && static_cast<unsigned char>(card[i]) > 32 && card[i] != ',') ++i;
    if (i > start) words.push_back(card.substr(start, i - start));
  }
  return words;
}

std::string_view FirstWord(std::string_view trimmed) {
  std::size_t end = 0;
  while (end < trimmed.size() && static_cast<unsigned char>(trimmed[end]) > 32) ++end;
  return trimmed.substr(0, end);
}

// The range of an analysis card, when its values are plain numbers.
std::optional<TAxisRange> CardRange(const std::string& analysis, const std::vector<std::string_view>& words) {
  std::vector<std::string_view> args(words.begin() + 1, words.end());
  if (analysis == "op") return TAxisRange{};
  if (analysis == "tran") {
    // .tran tstep tstop [tstart [tmax]] [uic]
    std::erase_if(args, [](std::string_view w) { return SameText(w, "uic"); });
    if (args.size() < 2) return std::nullopt;
    const auto stop = ParseSpiceNumber(args[1]);
    const auto start = args.size() >= 3 ? ParseSpiceNumber(args[2]) : std::optional<double>(0.0);
    if (!stop || !start) return std::nullopt;
    return TAxisRange{*start, *stop};
  }
  if (analysis == "ac") {
    // .ac dec|oct|lin points fstart fstop
    if (args.size() < 4) return std::nullopt;
    const auto from = ParseSpiceNumber(args[2]);
    const auto to = ParseSpiceNumber(args[3]);
    if (!from || !to) return std::nullopt;
    return TAxisRange{*from, *to};
  }
  if (analysis == "dc") {
    // .dc source start stop step [source2 start2 stop2 step2]: the x axis is the first sweep.
    if (args.size() < 3) return std::nullopt;
    const auto start = ParseSpiceNumber(args[1]);
    const auto stop = ParseSpiceNumber(args[2]);
    if (!start || !stop) return std::nullopt;
    return TAxisRange{std::min(*start, *stop), std::max(*start, *stop)};
  }
  return std::nullopt;
}

// .include, .inc and .lib name a file and ngspice looks for a relative one in the working folder
// of the process, which is the host's, not the netlist's; so a relative path that names a file
// beside the netlist is written out in full. Anything else is left for ngspice to report.
std::string ResolveIncludeLine(const std::string& line, std::string_view keyword, const std::string& folder) {
  if (folder.empty()) return line;
  const std::string_view trimmed = TrimView(line);
  std::string_view rest = TrimView(trimmed.substr(keyword.size()));
  if (rest.empty()) return line;
  std::string_view path;
  std::string_view remainder;
  if (rest[0] == '"' || rest[0] == '\'') {
    const std::size_t close = rest.find(rest[0], 1);
    if (close == std::string_view::npos) return line;
    path = rest.substr(1, close - 1);
    remainder = rest.substr(close + 1);
  } else {
    path = FirstWord(rest);
    remainder = rest.substr(path.size());
  }
  if (path.empty() || path[0] == '/' || path[0] == '~' || path.find('"') != std::string_view::npos) return line;
  const std::string candidate = folder + "/" + std::string(path);
  std::error_code error;
  if (!std::filesystem::is_regular_file(candidate, error)) return line;
  return std::string(keyword) + " \"" + candidate + "\"" + std::string(remainder);
}

}  // namespace

std::optional<double> ParseSpiceNumber(std::string_view word) {
  word = TrimView(word);
  bool negative = false;
  if (!word.empty() && (word[0] == '+' || word[0] == '-')) {
    negative = word[0] == '-';
    word.remove_prefix(1);
  }
  // A letter first would let from_chars read "inf" or "nan", which are no SPICE numbers.
  if (word.empty() || !((word[0] >= '0' && word[0] <= '9') || word[0] == '.')) return std::nullopt;
  double value = 0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value, std::chars_format::general);
  if (error != std::errc()) return std::nullopt;
  std::string_view suffix = word.substr(static_cast<std::size_t>(end - word.data()));
  if (!std::all_of(suffix.begin(), suffix.end(), IsLetter)) return std::nullopt;
  const std::string lower = LowerCase(suffix);
  double scale = 1;
  if (lower.starts_with("meg")) {
    scale = 1e6;
  } else if (lower.starts_with("mil")) {
    scale = 25.4e-6;
  } else if (!lower.empty()) {
    switch (lower[0]) {
      case 't': scale = 1e12; break;
      case 'g': scale = 1e9; break;
      case 'k': scale = 1e3; break;
      case 'm': scale = 1e-3; break;
      case 'u': scale = 1e-6; break;
      case 'n': scale = 1e-9; break;
      case 'p': scale = 1e-12; break;
      case 'f': scale = 1e-15; break;
      default: break;  // a unit, such as "s" or "V"
    }
  }
  value *= scale;
  return negative ? -value : value;
}

TPreparedNetlist PrepareNetlist(std::string_view text, const std::string& folder) {
  TPreparedNetlist netlist;
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    pos = end + 1;
  }
  // The first line is the title, whatever it holds.
  netlist.Lines.push_back(lines.empty() ? std::string() : lines[0]);
  bool inControl = false;
  for (std::size_t index = 1; index < lines.size(); ++index) {
    const std::string& line = lines[index];
    const std::string_view trimmed = TrimView(line);
    const std::string keyword = LowerCase(FirstWord(trimmed));
    if (inControl) {
      if (keyword == ".endc") inControl = false;
      continue;
    }
    if (keyword == ".control") {
      inControl = true;
      netlist.ControlSections.push_back(static_cast<int>(index + 1));
      continue;
    }
    if (keyword == ".end") break;
    if (keyword == ".include" || keyword == ".inc" || keyword == ".lib") {
      netlist.Lines.push_back(ResolveIncludeLine(line, FirstWord(trimmed), folder));
      netlist.Empty = false;
      continue;
    }
    if (keyword == ".tran" || keyword == ".ac" || keyword == ".dc" || keyword == ".op") {
      const std::string analysis = keyword.substr(1);
      if (!netlist.Ranges.count(analysis)) {
        // A card may go on in continuation lines.
        std::string card(trimmed);
        for (std::size_t next = index + 1; next < lines.size(); ++next) {
          const std::string_view more = TrimView(lines[next]);
          if (more.empty() || more[0] != '+') break;
          card += ' ';
          card += more.substr(1);
        }
        if (const auto range = CardRange(analysis, CardWords(card))) netlist.Ranges[analysis] = *range;
      }
    }
    if (!trimmed.empty() && trimmed[0] != '*' && trimmed[0] != ';') netlist.Empty = false;
    netlist.Lines.push_back(line);
  }
  netlist.Lines.emplace_back(".end");
  return netlist;
}

std::string ViewerWaveName(std::string_view vectorName, int vectorType) {
  constexpr std::string_view branch = "#branch";
  const bool isBranch =
      vectorName.size() > branch.size() && SameText(vectorName.substr(vectorName.size() - branch.size()), branch);
  if (isBranch) return "i(" + std::string(vectorName.substr(0, vectorName.size() - branch.size())) + ")";
  // A device quantity such as "@r1[i]" or a name already written as v(...) keeps its form.
  const bool plain = !vectorName.empty() && vectorName[0] != '@' &&
                     vectorName.find_first_of("([") == std::string_view::npos;
  if (plain && vectorType == vtVoltage) return "v(" + std::string(vectorName) + ")";
  if (plain && vectorType == vtCurrent) return "i(" + std::string(vectorName) + ")";
  return std::string(vectorName);
}

std::string AnalysisOfPlotType(std::string_view plotType) {
  std::size_t end = plotType.size();
  while (end > 0 && plotType[end - 1] >= '0' && plotType[end - 1] <= '9') --end;
  return LowerCase(plotType.substr(0, end));
}

}  // namespace tolvex::ngspice
