// The integrated-library manager stand-in, Quillfold.dll: finds simulation models in the model folders it is
// told about, by the rules in docs/library-manager.md.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
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
std::int32_t ModelFileReads = 0;

// Whether the file at Path defines ModelName at top level, read line by line by the rules the plug-in reads it
// with; the search stops at the definition. The file is opened without waiting and then asked what it is, so that
// a FIFO (whose open waits for a writer) or a device (which may never end) never is read, not even one put in the
// place of a model file after its folder was listed.
bool FileDefinesModel(const fs::path& path, const std::string& modelName) {
  if (modelName.empty()) return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  struct TCloser {
    int Descriptor;
    ~TCloser() { ::close(Descriptor); }
  } closer{fd};
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return false;
  ++ModelFileReads;
  TModelLineFinder finder(modelName);
  std::string line;
  auto feed = [&] {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const bool found = finder.Feed(line);
    line.clear();
    return found;
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
      if (line.size() < kLineLimit) line.append(start, std::min(length, kLineLimit - line.size()));
      at += length;
      if (lineEnd) {
        ++at;
        if (feed()) return true;
      }
    }
  }
  if (!line.empty() && feed()) return true;
  return finder.Result() >= 0;
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
TOLVEX_EXTERN_C TOLVEX_EXPORT std::int32_t TOLVEX_STDCALL Quillfold_ModelFileReads() { return ModelFileReads; }

// Private: forgets the folders added so far (tests that load the module once for several cases).
TOLVEX_EXTERN_C TOLVEX_EXPORT void TOLVEX_STDCALL Quillfold_ClearModelFolders() { AddedFolders().clear(); }
