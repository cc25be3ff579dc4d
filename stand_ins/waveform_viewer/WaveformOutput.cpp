// The viewer's output files: choosing the waveform file's path, naming plots and x axes, writing safely.
#include "WaveformOutput.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <locale>
#include <memory>
#include <new>
#include <streambuf>

#include "support/TextUtils.h"

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

namespace {

// A stream's buffer over a file descriptor that keeps the first failing write's errno, which the
// standard file streams forget: a full disk must be told apart from anything else.
class TDescriptorBuffer final : public std::streambuf {
 public:
  explicit TDescriptorBuffer(int fd) : FFd(fd), FBuffer(new char[kSize]) { setp(FBuffer.get(), FBuffer.get() + kSize); }
  int Error() const { return FError; }

 protected:
  int_type overflow(int_type c) override {
    if (!Drain()) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }
  int sync() override { return Drain() ? 0 : -1; }

 private:
  static constexpr std::size_t kSize = 64 * 1024;

  bool Drain() {
    if (FError != 0) return false;
    const char* p = pbase();
    std::size_t left = static_cast<std::size_t>(pptr() - pbase());
    // A nearly full disk takes part of a write and refuses the rest on the next one.
    while (left > 0) {
      const ssize_t n = ::write(FFd, p, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        FError = n < 0 ? errno : EIO;
        return false;
      }
      p += n;
      left -= static_cast<std::size_t>(n);
    }
    setp(FBuffer.get(), FBuffer.get() + kSize);
    return true;
  }

  int FFd;
  int FError = 0;
  std::unique_ptr<char[]> FBuffer;
};

// Six characters that differ from call to call and from process to process.
std::string UniqueTag() {
  static std::atomic<std::uint64_t> counter{0};
  std::uint64_t value = static_cast<std::uint64_t>(::getpid()) * 0x9E3779B97F4A7C15ull ^
                        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                        (++counter * 0xBF58476D1CE4E5B9ull);
  value ^= value >> 31;
  constexpr std::string_view kDigits = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string tag;
  for (int i = 0; i < 6; ++i, value /= kDigits.size()) tag += kDigits[value % kDigits.size()];
  return tag;
}

// Creates a new, empty temporary file beside Path, open for writing. O_EXCL with O_NOFOLLOW
// refuses whatever already has the name, a planted link above all, so only a file this call made
// is ever written. A name too long for the folder falls back to a short one there.
int CreateTemporary(const std::string& path, std::string& temporary) {
  const std::string folder = FolderPart(path);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string tag = UniqueTag();
    temporary = path + "." + tag + ".part";
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0 && errno == ENAMETOOLONG) {
      temporary = folder + ".ondulix-" + tag + ".part";
      fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    }
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

bool WriteFileReplacing(const std::string& path, const std::function<bool(std::ostream&)>& write,
                        std::string* error) {
  const auto fail = [&](const std::string& reason) {
    if (error) *error = "Cannot write " + path + ": " + reason;
    return false;
  };
  if (path.empty()) return fail("no file name");
  std::string temporary;
  const int fd = CreateTemporary(path, temporary);
  if (fd < 0) return fail(std::strerror(errno));

  std::string reason;
  {
    TDescriptorBuffer buffer(fd);
    std::ostream out(&buffer);
    // Numbers in the files never follow a locale the process may have set.
    out.imbue(std::locale::classic());
    bool composed = false;
    try {
      composed = write(out);
      if (composed) out.flush();
    } catch (const std::bad_alloc&) {
      reason = std::strerror(ENOMEM);
    } catch (...) {
      reason = "the contents could not be composed";
    }
    if (buffer.Error() != 0)
      reason = std::strerror(buffer.Error());
    else if (reason.empty() && (!composed || !out.good()))
      reason = "the contents could not be composed";
  }
  // Only what reached the disk may replace the file: a full disk or a failing device may show
  // itself only when the data is synced, or on some file systems only at the close.
  if (reason.empty() && ::fsync(fd) != 0) reason = std::strerror(errno);
  if (::close(fd) != 0 && reason.empty()) reason = std::strerror(errno);
  // Renaming over Path replaces a link there rather than writing through it.
  if (reason.empty() && std::rename(temporary.c_str(), path.c_str()) != 0) reason = std::strerror(errno);
  if (!reason.empty()) {
    ::unlink(temporary.c_str());
    return fail(reason);
  }
  return true;
}

}  // namespace tolvex::ondulix
