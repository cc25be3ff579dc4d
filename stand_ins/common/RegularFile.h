// Reading the files the stand-ins are given by name: only regular files, opened without waiting, within a size.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

namespace tolvex::standins {

// The largest schematic document the stand-ins read: a sheet of a quarter of a million components is about this
// size, and the file is read whole and then held as objects several times larger.
inline constexpr std::size_t kSchematicFileSizeLimit = std::size_t{256} << 20;
// A project file names a few documents and analyses.
inline constexpr std::size_t kProjectFileSizeLimit = std::size_t{16} << 20;
// A text file handed out line by line, such as a model library: the plug-in keeps every line of one it reads, and
// the largest libraries in use are a tenth of this.
inline constexpr std::size_t kTextFileSizeLimit = std::size_t{256} << 20;

namespace detail {

inline std::string SizeText(std::uint64_t bytes) {
  if (bytes % (std::uint64_t{1} << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
  return std::to_string(bytes) + " bytes";
}

// What a file that is not a regular file is, for the message that refuses it.
inline std::string NotRegular(mode_t mode) {
  if (S_ISDIR(mode)) return "it is not a file";
  if (S_ISFIFO(mode)) return "it is a FIFO, not a regular file";
  if (S_ISSOCK(mode)) return "it is a socket, not a regular file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device, not a regular file";
  return "it is not a regular file";
}

}  // namespace detail

// A regular file open for reading, closed with the object.
//
// It is opened without blocking and then asked what it is, so that neither a FIFO (whose open waits for a writer)
// nor a device such as /dev/zero (which never ends) is read, and no one can swap the file between a check and the
// open: the check is of the descriptor itself.
class TRegularFile {
 public:
  TRegularFile() = default;
  TRegularFile(const TRegularFile&) = delete;
  TRegularFile& operator=(const TRegularFile&) = delete;
  TRegularFile(TRegularFile&& other) noexcept
      : FDescriptor(std::exchange(other.FDescriptor, -1)), FSize(other.FSize) {}
  TRegularFile& operator=(TRegularFile&& other) noexcept {
    if (this != &other) {
      Close();
      FDescriptor = std::exchange(other.FDescriptor, -1);
      FSize = other.FSize;
    }
    return *this;
  }
  ~TRegularFile() { Close(); }

  // Opens Path; false with "cannot open NAME: ..." when it cannot be opened, is no regular file or holds more than
  // Limit bytes.
  bool Open(const std::string& path, const std::string& name, std::uint64_t limit, std::string& error) {
    Close();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
      error = "cannot open " + name + ": " + std::strerror(errno);
      return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
      error = "cannot open " + name + ": " + std::strerror(errno);
      ::close(fd);
      return false;
    }
    if (!S_ISREG(st.st_mode)) {
      error = "cannot open " + name + ": " + detail::NotRegular(st.st_mode);
      ::close(fd);
      return false;
    }
    if (static_cast<std::uint64_t>(st.st_size) > limit) {
      error = "cannot open " + name + ": it is larger than " + detail::SizeText(limit);
      ::close(fd);
      return false;
    }
    FDescriptor = fd;
    FSize = static_cast<std::uint64_t>(st.st_size);
    return true;
  }

  // Reads up to Size bytes; the count read (0 at the end of the file), or -1 with errno.
  long Read(char* buffer, std::size_t size) const {
    for (;;) {
      const ssize_t n = ::read(FDescriptor, buffer, size);
      if (n >= 0 || errno != EINTR) return static_cast<long>(n);
    }
  }

  bool IsOpen() const { return FDescriptor >= 0; }
  // The size when it was opened.
  std::uint64_t Size() const { return FSize; }

  void Close() {
    if (FDescriptor >= 0) ::close(FDescriptor);
    FDescriptor = -1;
    FSize = 0;
  }

 private:
  int FDescriptor = -1;
  std::uint64_t FSize = 0;
};

// The whole regular file at Path, at most Limit bytes; Name is how messages call it. False with a message that
// names the file ("cannot open NAME: it is a FIFO, not a regular file", "cannot read NAME: ...").
inline bool ReadRegularFile(const std::string& path, const std::string& name, std::size_t limit, std::string& text,
                            std::string& error) {
  TRegularFile file;
  if (!file.Open(path, name, limit, error)) return false;
  text.clear();
  text.reserve(static_cast<std::size_t>(file.Size()));
  char chunk[65536];
  for (;;) {
    const long n = file.Read(chunk, sizeof chunk);
    if (n < 0) {
      error = "cannot read " + name + ": " + std::strerror(errno);
      return false;
    }
    if (n == 0) return true;
    // A file that grows while it is read is still held to the limit.
    if (text.size() + static_cast<std::size_t>(n) > limit) {
      error = "cannot read " + name + ": it is larger than " + detail::SizeText(limit);
      return false;
    }
    text.append(chunk, static_cast<std::size_t>(n));
  }
}

// A regular file's lines, one at a time, as the hosts hand a text file to the plug-in.
class TTextLineReader {
 public:
  // A line is handed out whole up to this length; a longer one is cut there and the rest of it skipped, so that a
  // file without line ends cannot make one line of all of it.
  static constexpr std::size_t kLineLimit = std::size_t{1} << 20;

  // Opens the regular file at Path of at most kTextFileSizeLimit bytes; false with a message that names it.
  bool Open(const std::string& path, std::string& error) { return FFile.Open(path, path, kTextFileSizeLimit, error); }

  // Reads the next line into Line, without its line end (LF, and a CR before it); false at the end of the file or
  // on a read error.
  bool Next() {
    std::string& line = FLine;
    line.clear();
    bool any = false, cut = false;
    for (;;) {
      if (FAt == FEnd) {
        const long n = FFile.IsOpen() ? FFile.Read(FBuffer, sizeof FBuffer) : 0;
        if (n <= 0) {
          FFile.Close();
          break;
        }
        FAt = 0;
        FEnd = static_cast<std::size_t>(n);
      }
      any = true;
      const char* start = FBuffer + FAt;
      const void* found = std::memchr(start, '\n', FEnd - FAt);
      const std::size_t length = found ? static_cast<std::size_t>(static_cast<const char*>(found) - start) : FEnd - FAt;
      if (!cut) {
        const std::size_t take = std::min(length, kLineLimit - line.size());
        line.append(start, take);
        cut = take < length;
      }
      FAt += length;
      if (found) {
        ++FAt;
        break;
      }
    }
    // Both line ends count: a CR before the LF is not part of the line.
    if (!cut && !line.empty() && line.back() == '\r') line.pop_back();
    return any;
  }

  // The line Next read; it stays as it is until the next call.
  const std::string& Line() const { return FLine; }

 private:
  TRegularFile FFile;
  std::string FLine;
  char FBuffer[65536];
  std::size_t FAt = 0, FEnd = 0;
};

}  // namespace tolvex::standins
