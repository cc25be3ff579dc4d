// The viewer's output files: choosing the waveform file's path, naming plots and x axes, writing safely.
#include "WaveformOutput.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <locale>

#include "host/TextUtils.h"

namespace tolvex::ondulix {

namespace {

constexpr std::size_t kMaxFileNamePart = 64;
constexpr std::string_view kWaveformExtension = ".sdf";

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The name a window's document goes by: its file part, without an ".sdf" it may carry.
std::string_view DocumentKey(std::string_view documentName) {
  std::string_view key = TrimView(FileNamePart(documentName));
  if (key.size() > kWaveformExtension.size() &&
      SameText(key.substr(key.size() - kWaveformExtension.size()), kWaveformExtension))
    key.remove_suffix(kWaveformExtension.size());
  return key;
}

}  // namespace

void TOpenedDocuments::Opened(std::string_view path) {
  if (path.empty()) return;
  FPaths.erase(std::remove(FPaths.begin(), FPaths.end(), path), FPaths.end());
  if (FPaths.size() >= kMaxRemembered) FPaths.erase(FPaths.begin());
  FPaths.emplace_back(path);
}

std::string TOpenedDocuments::PathFor(std::string_view documentName) const {
  const std::string_view key = DocumentKey(documentName);
  if (!key.empty())
    for (auto it = FPaths.rbegin(); it != FPaths.rend(); ++it)
      if (SameText(FileStem(*it), key)) return *it;
  if (!FPaths.empty()) return FPaths.back();
  const std::string safe = FileNameSafe(key);
  return (safe.empty() ? std::string("untitled") : safe) + std::string(kWaveformExtension);
}

std::string_view FileNamePart(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string FileStem(std::string_view path) {
  const std::string_view name = FileNamePart(path);
  const std::size_t dot = name.rfind('.');
  return std::string(dot == std::string_view::npos ? name : name.substr(0, dot));
}

std::string FolderPart(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string FileNameSafe(std::string_view text) {
  std::string out;
  for (const char c : text.substr(0, kMaxFileNamePart))
    out += IsLetter(c) || IsDigit(c) || c == '-' || c == '_' || c == '.' || c == '+' ? c : '_';
  return out;
}

std::vector<std::string> PlotPathsFor(std::string_view waveformPath, const std::vector<std::string>& chartNames) {
  const std::string prefix = FolderPart(waveformPath) + FileStem(waveformPath) + "_";
  std::vector<std::string> used;  // the chart parts given out, to tell repeated names apart
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < chartNames.size(); ++i) {
    std::string base = FileNameSafe(chartNames[i]);
    if (base.empty()) base = "chart" + std::to_string(i + 1);
    std::string part = base;
    for (int n = 2; std::any_of(used.begin(), used.end(), [&](const std::string& u) { return SameText(u, part); }); ++n)
      part = base + "_" + std::to_string(n);
    used.push_back(part);
    paths.push_back(prefix + part + ".svg");
  }
  return paths;
}

TXAxisName NameXAxis(std::string_view chartName, bool complex) {
  // Words of letters only, so that "tran1" and "ac_2" name their analysis too.
  std::vector<std::string> words;
  std::string word;
  for (const char c : chartName) {
    if (IsLetter(c)) {
      word += static_cast<char>(c | 0x20);
    } else if (!word.empty()) {
      words.push_back(std::move(word));
      word.clear();
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  auto has = [&](std::initializer_list<std::string_view> wanted) {
    for (const std::string& w : words)
      for (const std::string_view name : wanted)
        if (w == name) return true;
    return false;
  };
  if (has({"tran", "transient", "time"})) return {"time", "s"};
  if (has({"ac", "noise", "frequency", "freq"})) return {"frequency", "Hz"};
  if (has({"dc", "sweep"})) return {"sweep", ""};
  if (complex) return {"frequency", "Hz"};
  return {"x", ""};
}

bool WriteFileReplacing(const std::string& path, const std::function<bool(std::ostream&)>& write) {
  if (path.empty()) return false;
  const std::string temporary = path + ".part";
  bool written = false;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    // Numbers in the files never follow a locale the process may have set.
    out.imbue(std::locale::classic());
    try {
      written = write(out) && out.good();
    } catch (...) {
      // Memory running out while composing: the half-written temporary file goes below.
      written = false;
    }
    out.close();
    written = written && !out.fail();
  }
  if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace tolvex::ondulix
