// The integrated-library manager stand-in, Quillfold.dll: finds simulation models in the model folders it is
// told about, by the rules in docs/library-manager.md.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "host/LibraryManagerApi.h"
#include "model_data/ModelFileLines.h"
#include "os/Platform.h"
#include "support/TextUtils.h"

using namespace tolvex;
namespace fs = std::filesystem;

namespace {

// The extensions of model files, in no order of preference (letter case ignored).
constexpr std::string_view kModelExtensions[] = {".mdl", ".ckt", ".lib", ".sub", ".cir"};
constexpr const char* kModelPathVariable = "TOLVEX_MODEL_PATH";

std::vector<std::string>& AddedFolders() {
  static std::vector<std::string> folders;
  return folders;
}

// The folders searched, in order: those the host added, then those of TOLVEX_MODEL_PATH (colon-separated), read
// at every search so that a changed environment applies at once.
std::vector<fs::path> ModelFolders() {
  std::vector<fs::path> folders;
  for (const std::string& folder : AddedFolders()) folders.emplace_back(folder);
  if (const char* variable = std::getenv(kModelPathVariable)) {
    std::string_view rest = variable;
    while (!rest.empty()) {
      const std::size_t colon = rest.find(':');
      const std::string_view entry = rest.substr(0, colon);
      if (!entry.empty()) folders.emplace_back(std::string(entry));
      rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    }
  }
  return folders;
}

bool IsModelFileName(const std::string& name) {
  const std::size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return false;
  const std::string_view extension = std::string_view(name).substr(dot);
  for (std::string_view known : kModelExtensions)
    if (SameText(extension, known)) return true;
  return false;
}

// File-name order: without regard to case, ties broken byte by byte, so that the order is the same everywhere.
bool NameBefore(const std::string& a, const std::string& b) {
  const std::string ua = UpperCaseAscii(a), ub = UpperCaseAscii(b);
  return ua != ub ? ua < ub : a < b;
}

struct TEntry {
  std::string Name;
  fs::path Path;
  bool Folder;
};

// Folder's entries in file-name order; none when it cannot be listed.
std::vector<TEntry> ListFolder(const fs::path& folder) {
  std::vector<TEntry> entries;
  std::error_code error;
  fs::directory_iterator it(folder, error), end;
  for (; !error && it != end; it.increment(error)) {
    std::error_code kindError;
    const bool isFolder = it->is_directory(kindError);
    const bool isFile = !isFolder && it->is_regular_file(kindError);
    if (isFolder || isFile) entries.push_back({it->path().filename().string(), it->path(), isFolder});
  }
  std::sort(entries.begin(), entries.end(), [](const TEntry& a, const TEntry& b) { return NameBefore(a.Name, b.Name); });
  return entries;
}

// Lines are looked at up to this length: a definition's keyword and name come first, and a file without line ends
// cannot make one line of all of it.
constexpr std::size_t kLineLimit = std::size_t{1} << 16;

// How many times a model file was opened and read, for the benchmark that counts them.
std::atomic<std::int32_t> ModelFileReads{0};

// An open file descriptor, closed when it goes.
struct TOpenFile {
  int Descriptor = -1;
  ~TOpenFile() {
    if (Descriptor >= 0) ::close(Descriptor);
  }
};

// Opens Path for reading only when it is a regular file, and tells its status. The file is opened without waiting
// and then asked what it is, so that a FIFO (whose open waits for a writer) or a device (which may never end) is
// never read, not even one put in the place of a model file after its folder was listed.
bool OpenRegularFile(const fs::path& path, TOpenFile& file, struct stat& status) {
  file.Descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  return file.Descriptor >= 0 && ::fstat(file.Descriptor, &status) == 0 && S_ISREG(status.st_mode);
}

// Reads the file open at Fd line by line, by the rules the plug-in reads it with, and hands each line to Feed,
// which answers true to stop. A line ends at LF and loses a CR before it; it is looked at up to kLineLimit bytes.
// Only a line that begins with "." can define a model or open or close a body, so any other line is handed over as
// its first byte alone: a large library is then looked through without copying most of its text.
template <class TFeed>
void ReadModelLines(int fd, TFeed&& feed) {
  ++ModelFileReads;
  std::string line;
  bool started = false;  // whether the line's first byte was seen
  std::size_t limit = 0;  // how much of the line is kept
  auto finish = [&] {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const bool stop = feed(std::string_view(line));
    line.clear();
    started = false;
    return stop;
  };
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (std::size_t at = 0, end = static_cast<std::size_t>(n); at < end;) {
      const char* start = buffer + at;
      const void* lineEnd = std::memchr(start, '\n', end - at);
      const std::size_t length =
          lineEnd ? static_cast<std::size_t>(static_cast<const char*>(lineEnd) - start) : end - at;
      if (!started && length > 0) {
        started = true;
        limit = start[0] == '.' ? kLineLimit : 1;
      }
      if (line.size() < limit) line.append(start, std::min(length, limit - line.size()));
      at += length;
      if (lineEnd) {
        ++at;
        if (finish()) return;
      }
    }
  }
  if (!line.empty()) finish();
}

// Whether the file at Path defines ModelName, read until the definition (for a name the index cannot answer).
bool ScanFileDefinesModel(const fs::path& path, const std::string& modelName) {
  TOpenFile file;
  struct stat status {};
  if (!OpenRegularFile(path, file, status)) return false;
  TModelLineFinder finder(modelName);
  bool found = false;
  ReadModelLines(file.Descriptor, [&](std::string_view line) { return found = finder.Feed(line); });
  return found || finder.Result() >= 0;
}

// --- The index of each model file's definitions ------------------------------------------------------------------

// What tells one version of a file from another. A change that keeps the file (device and inode), its size and
// both its modification and status-change times (to the file system's resolution) goes unnoticed; a file written
// anew under the same name, or touched, is a new version.
struct TFileVersion {
  dev_t Device = 0;
  ino_t Inode = 0;
  off_t Size = 0;
  std::int64_t Modified[2] = {};
  std::int64_t Changed[2] = {};
  friend bool operator==(const TFileVersion&, const TFileVersion&) = default;
};

TFileVersion VersionOf(const struct stat& status) {
  return {status.st_dev,
          status.st_ino,
          status.st_size,
          {static_cast<std::int64_t>(status.st_mtim.tv_sec), static_cast<std::int64_t>(status.st_mtim.tv_nsec)},
          {static_cast<std::int64_t>(status.st_ctim.tv_sec), static_cast<std::int64_t>(status.st_ctim.tv_nsec)}};
}

struct TIndexedFile {
  std::string Path;
  TFileVersion Version;
  std::shared_ptr<const TModelDefinitionIndex> Index;
  std::size_t Bytes = 0;
};

// A session that searches many large libraries keeps the indexes it used last, up to this much memory (an index
// takes a fraction of its file's size: about 5 MB for a library of 50,000 models in 25 MB).
constexpr std::size_t kIndexBytesLimit = std::size_t{128} << 20;

struct TIndexCache {
  std::mutex Lock;
  std::list<TIndexedFile> Files;  // most recently used first
  std::size_t Bytes = 0;

  void Forget(std::list<TIndexedFile>::iterator it) {
    Bytes -= it->Bytes;
    Files.erase(it);
  }
};

TIndexCache& IndexCache() {
  static TIndexCache cache;
  return cache;
}

// The index of the file at Path: the one built before while the file's version is unchanged, else built now by
// reading the file once. None when Path is not a regular file (then nothing is read).
std::shared_ptr<const TModelDefinitionIndex> IndexOf(const fs::path& path) {
  TIndexCache& cache = IndexCache();
  const std::lock_guard<std::mutex> guard(cache.Lock);
  const std::string key = path.string();
  auto it = std::find_if(cache.Files.begin(), cache.Files.end(), [&](const TIndexedFile& f) { return f.Path == key; });
  struct stat status {};
  const bool regular = ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
  if (it != cache.Files.end()) {
    if (regular && it->Version == VersionOf(status)) {
      cache.Files.splice(cache.Files.begin(), cache.Files, it);
      return cache.Files.front().Index;
    }
    cache.Forget(it);
  }
  if (!regular) return nullptr;
  TOpenFile file;
  if (!OpenRegularFile(path, file, status)) return nullptr;
  // The version is taken before the text: a file written while it is read has a newer one at the next search.
  const TFileVersion version = VersionOf(status);
  auto index = std::make_shared<TModelDefinitionIndex>();
  ReadModelLines(file.Descriptor, [&](std::string_view line) {
    index->Feed(line);
    return false;
  });
  const std::size_t bytes = index->Bytes() + key.size();
  if (bytes <= kIndexBytesLimit) {
    while (!cache.Files.empty() && cache.Bytes + bytes > kIndexBytesLimit) cache.Forget(std::prev(cache.Files.end()));
    cache.Files.push_front({key, version, index, bytes});
    cache.Bytes += bytes;
  }
  return index;
}

// Whether the file at Path defines ModelName at top level, by the rules the plug-in reads it with. The answer comes
// from the file's index, which is built once per version of the file; a name the index cannot answer (one holding
// a blank) is looked for by reading the file to its definition.
bool FileDefinesModel(const fs::path& path, const std::string& modelName) {
  if (modelName.empty()) return false;
  if (!TModelDefinitionIndex::CanFind(modelName)) return ScanFileDefinesModel(path, modelName);
  const std::shared_ptr<const TModelDefinitionIndex> index = IndexOf(path);
  return index && index->Find(modelName) >= 0;
}

// The first model file of Folder, in file-name order, that defines ModelName.
std::string FirstDefiningFile(const fs::path& folder, const std::string& modelName) {
  for (const TEntry& entry : ListFolder(folder))
    if (!entry.Folder && IsModelFileName(entry.Name) && FileDefinesModel(entry.Path, modelName))
      return entry.Path.string();
  return {};
}

// The entry of Folder named Name: exactly, else the first without regard to case (schematics made on Windows name
// files in any case).
std::string EntryNamed(const fs::path& folder, const std::string& name, bool wantFolder) {
  std::error_code error;
  const fs::path exact = folder / name;
  if (wantFolder ? fs::is_directory(exact, error) : fs::is_regular_file(exact, error)) return exact.string();
  for (const TEntry& entry : ListFolder(folder))
    if (entry.Folder == wantFolder && SameText(entry.Name, name)) return entry.Path.string();
  return {};
}

bool IsFullPath(const std::string& location) {
  if (location.empty()) return false;
  if (location[0] == '/' || location[0] == '\\') return true;
  // A drive path of a schematic made on Windows: a full path, though no such file exists here.
  return location.size() >= 2 && location[1] == ':' &&
         ((location[0] >= 'A' && location[0] <= 'Z') || (location[0] >= 'a' && location[0] <= 'z'));
}

bool IsVirtualPath(const std::string& location) { return location.find("://") != std::string::npos; }

std::string StemOf(const std::string& name) {
  const std::size_t dot = name.find_last_of('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

struct TFound {
  std::string Path;
  std::string FoundIn;
};

TFound FindModelFile(const std::string& modelName, const std::string& kind, const std::string& location) {
  if (IsVirtualPath(location)) return {location, location};  // the host's file system decides
  if (IsFullPath(location)) {
    std::error_code error;
    if (fs::is_regular_file(fs::path(location), error)) return {location, location};
    return {};
  }
  const std::vector<fs::path> folders = ModelFolders();
  if (location.empty()) {
    for (const fs::path& folder : folders) {
      const std::string file = FirstDefiningFile(folder, modelName);
      if (!file.empty()) return {file, file};
    }
    return {};
  }
  // A file name (or a path below the model folders). Without an extension the kind's own is tried too.
  std::vector<std::string> names = {location};
  if (StemOf(fs::path(location).filename().string()) == fs::path(location).filename().string()) {
    if (SameText(kind, "CKT")) names.push_back(location + ".ckt");
    if (SameText(kind, "MDL")) names.push_back(location + ".mdl");
  }
  std::string firstExisting;
  for (const fs::path& folder : folders) {
    for (const std::string& name : names) {
      const fs::path relative(name);
      const std::string file = EntryNamed(folder / relative.parent_path(), relative.filename().string(), false);
      if (file.empty()) continue;
      if (FileDefinesModel(file, modelName)) return {file, file};
      if (firstExisting.empty()) firstExisting = file;
    }
  }
  // The named file exists but defines no such model: answering it lets the editor show what the file holds.
  return {firstExisting, firstExisting};
}

TFound FindLibraryModel(const std::string& modelName, const std::string& libraryReference,
                        const std::string& sourceLibraryName) {
  if (sourceLibraryName.empty() || modelName.empty()) return {};
  const std::string stem = StemOf(sourceLibraryName);
  for (const fs::path& folder : ModelFolders()) {
    for (const std::string& libraryName : {sourceLibraryName, stem + ".IntLib"}) {
      const std::string library = EntryNamed(folder, libraryName, true);
      if (library.empty()) continue;
      // The component's own models first, then those the whole library shares.
      if (!libraryReference.empty()) {
        const std::string own = EntryNamed(library, libraryReference, true);
        if (!own.empty()) {
          const std::string file = FirstDefiningFile(own, modelName);
          if (!file.empty()) return {file, library};
        }
      }
      const std::string file = FirstDefiningFile(library, modelName);
      if (!file.empty()) return {file, library};
    }
  }
  return {};
}

HRESULT32 Answer(const TFound& found, char* path, std::int32_t pathSize, char* foundIn, std::int32_t foundInSize) {
  if (CopyLibraryText(found.Path, path, pathSize) && CopyLibraryText(found.FoundIn, foundIn, foundInSize))
    return S_OK32;
  CopyLibraryText({}, path, pathSize);
  CopyLibraryText({}, foundIn, foundInSize);
  return kLibraryTextTooLong;
}

std::string In(const char* text) { return text ? text : ""; }

class TLibraryManager final : public IIntegratedLibraryManager {
 public:
  HRESULT32 TOLVEX_STDCALL QueryInterface(const TGUID& iid, void** object) override {
    if (!object) return E_NOINTERFACE32;
    if (iid == IID_IIntegratedLibraryManager || iid == IID_IInterface) {
      *object = static_cast<IIntegratedLibraryManager*>(this);
      AddRef();
      return S_OK32;
    }
    *object = nullptr;
    return E_NOINTERFACE32;
  }
  // One manager lives as long as the module; references are counted only for the rules' sake.
  std::uint32_t TOLVEX_STDCALL AddRef() override { return ++FReferences; }
  std::uint32_t TOLVEX_STDCALL Release() override {
    if (FReferences > 1) --FReferences;
    return FReferences;
  }

  HRESULT32 TOLVEX_STDCALL SearchLibraryModel(std::int32_t, const char* modelName, const char*,
                                              const char* libraryReference, const char* sourceLibraryName, char* path,
                                              std::int32_t pathSize, char* foundIn,
                                              std::int32_t foundInSize) override {
    try {
      return Answer(FindLibraryModel(In(modelName), In(libraryReference), In(sourceLibraryName)), path, pathSize,
                    foundIn, foundInSize);
    } catch (...) {
      Answer({}, path, pathSize, foundIn, foundInSize);
      return E_UNEXPECTED32;
    }
  }

  HRESULT32 TOLVEX_STDCALL SearchModelFile(const char* modelName, const char* kind, const char* location, char* path,
                                           std::int32_t pathSize, char* foundIn, std::int32_t foundInSize) override {
    try {
      return Answer(FindModelFile(In(modelName), In(kind), In(location)), path, pathSize, foundIn, foundInSize);
    } catch (...) {
      Answer({}, path, pathSize, foundIn, foundInSize);
      return E_UNEXPECTED32;
    }
  }

 private:
  std::uint32_t FReferences = 1;
};

TLibraryManager& Manager() {
  static TLibraryManager manager;
  return manager;
}

}  // namespace

TOLVEX_EXTERN_C TOLVEX_EXPORT const char* TOLVEX_STDCALL Quillfold_ModuleName() { return "Quillfold.dll"; }

TOLVEX_EXTERN_C TOLVEX_EXPORT IIntegratedLibraryManager* TOLVEX_STDCALL LibApi_GetLibraryManager() {
  Manager().AddRef();
  return &Manager();
}

// Private to the stand-in host: adds a model folder after those already added (tolvex-host --model-path).
TOLVEX_EXTERN_C TOLVEX_EXPORT void TOLVEX_STDCALL Quillfold_AddModelFolder(const char* folder) {
  if (folder && *folder) AddedFolders().emplace_back(folder);
}

// Private (tests): whether the file at Path defines the model, by the reading every search makes of a model file.
TOLVEX_EXTERN_C TOLVEX_EXPORT TBool32 TOLVEX_STDCALL Quillfold_FileDefinesModel(const char* path, const char* modelName) {
  try {
    return path && FileDefinesModel(fs::path(path), In(modelName)) ? TRUE32 : FALSE32;
  } catch (...) {
    return FALSE32;
  }
}

// Private (benchmarks): how many times a model file was opened and read since the module was loaded.
TOLVEX_EXTERN_C TOLVEX_EXPORT std::int32_t TOLVEX_STDCALL Quillfold_ModelFileReads() { return ModelFileReads.load(); }

// Private: forgets the folders added so far (tests that load the module once for several cases).
TOLVEX_EXTERN_C TOLVEX_EXPORT void TOLVEX_STDCALL Quillfold_ClearModelFolders() { AddedFolders().clear(); }
