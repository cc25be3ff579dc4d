// Files that are not what a reader of files by name expects (FIFOs, devices, huge files, deep nesting), for the
// tests of the stand-ins and of the host.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace tolvex::hostile {

// A FIFO at Path that no one writes to, removed with the object. A reader that waits in its open all the same (it
// should refuse it at once) is released after a while by a writer that opens and closes it, so that the regression
// fails with Released() instead of hanging the test run.
class TFifo {
 public:
  explicit TFifo(std::string path) : FPath(std::move(path)) {
    FMade = ::mkfifo(FPath.c_str(), 0600) == 0;
    FWatch = std::thread([this] {
      std::unique_lock<std::mutex> lock(FMutex);
      while (!FWake.wait_for(lock, std::chrono::seconds(15), [this] { return FDone; })) {
        // Opening for writing without blocking succeeds only while a reader has the FIFO open.
        const int fd = ::open(FPath.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
          FReleased = true;
          ::close(fd);
        }
      }
    });
  }
  TFifo(const TFifo&) = delete;
  TFifo& operator=(const TFifo&) = delete;
  ~TFifo() {
    {
      std::lock_guard<std::mutex> lock(FMutex);
      FDone = true;
    }
    FWake.notify_all();
    FWatch.join();
    ::unlink(FPath.c_str());
  }

  bool Made() const { return FMade; }
  const std::string& Path() const { return FPath; }
  // True when a reader waited on the FIFO and had to be let go.
  bool Released() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FReleased;
  }

 private:
  std::string FPath;
  bool FMade = false;
  mutable std::mutex FMutex;
  std::condition_variable FWake;
  bool FDone = false;
  bool FReleased = false;
  std::thread FWatch;
};

// A file of Size bytes that takes no room on disk (all of it a hole, read as zeros); false when it cannot be made.
inline bool MakeSparseFile(const std::string& path, std::size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool made = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
  ::close(fd);
  return made;
}

// Depth arrays, one inside the other, around a zero: "[[[0]]]" for 3.
inline std::string NestedArrays(std::size_t depth) {
  return std::string(depth, '[') + "0" + std::string(depth, ']');
}

// Depth objects, one inside the other, each with the one member "a": {"a": {"a": 0}} for 2.
inline std::string NestedObjects(std::size_t depth) {
  std::string text;
  for (std::size_t i = 0; i < depth; ++i) text += "{\"a\": ";
  text += "0";
  text += std::string(depth, '}');
  return text;
}

}  // namespace tolvex::hostile
