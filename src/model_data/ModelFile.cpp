// A located and read SPICE model file, and the cache that keeps a file from being read twice.
#include "model_data/ModelFile.h"

#include <climits>
#include <filesystem>
#include <list>
#include <system_error>

#include "host/HostApi.h"
#include "host/LibraryManagerApi.h"
#include "support/TextUtils.h"

namespace tolvex {

namespace {

using TLines = std::vector<std::string>;

// A few model libraries are open in one editing session; these bounds keep a session that browses many large
// libraries from holding them all.
constexpr std::size_t kCachedFilesLimit = 8;
constexpr std::size_t kCachedBytesLimit = 64u << 20;

struct TCachedFile {
  std::string Path;
  TModelFileStamp Stamp;
  std::shared_ptr<const TLines> Lines;
  // The definitions of Lines, gathered at the file's second look-up: a file looked up once (the first look-up stops
  // at its definition) never pays for it, and one looked up at every keystroke finds each name at once.
  std::shared_ptr<const TModelDefinitionIndex> Index;
  std::size_t Bytes = 0;
};

// A file's lines, and their index once the file was looked up more than once.
struct TModelText {
  std::shared_ptr<const TLines> Lines;
  std::shared_ptr<const TModelDefinitionIndex> Index;
};

// Most recently used first.
std::list<TCachedFile> Cache;
std::size_t CachedBytes = 0;
TModelFileStampFunc StampProvider = nullptr;

bool DiskStamp(const std::string& path, TModelFileStamp& stamp) {
  const std::string disk = VfsIsVFSFileName(path) ? VfsGetExternalPathForFile(path) : path;
  if (disk.empty()) return false;
  // Paths are UTF-8; a char8_t path keeps non-ASCII names intact where the system's narrow code page differs.
  const std::filesystem::path file(std::u8string(disk.begin(), disk.end()));
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error) || error) return false;
  const std::uintmax_t size = std::filesystem::file_size(file, error);
  if (error) return false;
  const auto time = std::filesystem::last_write_time(file, error);
  if (error) return false;
  stamp.Size = static_cast<std::uint64_t>(size);
  stamp.Time = static_cast<std::int64_t>(time.time_since_epoch().count());
  return true;
}

std::size_t BytesOf(const TLines& lines) {
  std::size_t bytes = sizeof(TLines);
  for (const std::string& line : lines) bytes += sizeof(std::string) + line.size();
  return bytes;
}

void Forget(std::list<TCachedFile>::iterator it) {
  CachedBytes -= it->Bytes;
  Cache.erase(it);
}

std::shared_ptr<const TModelDefinitionIndex> IndexOf(const TLines& lines) {
  auto index = std::make_shared<TModelDefinitionIndex>();
  for (const std::string& line : lines) index->Feed(line);
  return index;
}

// Path's lines through the host's file system, from the cache when the file is unchanged; no lines when the host
// cannot read it.
TModelText ReadModelText(const std::string& path) {
  TModelFileStamp stamp;
  const bool stamped = StampProvider ? StampProvider(path, stamp) : DiskStamp(path, stamp);
  for (auto it = Cache.begin(); it != Cache.end(); ++it) {
    if (it->Path != path) continue;
    if (stamped && it->Stamp == stamp) {
      Cache.splice(Cache.begin(), Cache, it);
      TCachedFile& cached = Cache.front();
      if (!cached.Index) {
        cached.Index = IndexOf(*cached.Lines);
        cached.Bytes += cached.Index->Bytes();
        CachedBytes += cached.Index->Bytes();
      }
      return {cached.Lines, cached.Index};
    }
    Forget(it);
    break;
  }
  auto lines = std::make_shared<TLines>();
  if (!VfsReadLines(path, *lines)) return {};
  std::shared_ptr<const TLines> shared = std::move(lines);
  if (stamped) {
    const std::size_t bytes = BytesOf(*shared);
    if (bytes <= kCachedBytesLimit) {
      while (!Cache.empty() && (Cache.size() >= kCachedFilesLimit || CachedBytes + bytes > kCachedBytesLimit))
        Forget(std::prev(Cache.end()));
      Cache.push_front({path, stamp, shared, nullptr, bytes});
      CachedBytes += bytes;
    }
  }
  return {shared, nullptr};
}

// The line that defines ModelName (FindModelLine), through the index where there is one that can answer.
int DefiningLine(const TModelText& text, const std::string& modelName) {
  const TLines& lines = *text.Lines;
  if (text.Index && TModelDefinitionIndex::CanFind(modelName) && lines.size() < static_cast<std::size_t>(INT_MAX) &&
      text.Index->LineCount() == static_cast<std::ptrdiff_t>(lines.size()))
    return static_cast<int>(text.Index->Find(modelName));
  return FindModelLine(lines, modelName);
}

// The name part of a parameter item; empty without an "=".
std::string_view NamePart(std::string_view item) {
  const std::size_t equals = item.find('=');
  return equals == std::string_view::npos ? std::string_view() : item.substr(0, equals);
}

}  // namespace

TModelFile::TModelFile(const std::string& location, const std::string& kind, const std::string& sourceLibraryName,
                       const std::string& libraryReference, bool useLibraryModel, const std::string& modelName) {
  if (TInterfacePtr<IIntegratedLibraryManager> manager = GetLibraryManager()) {
    const TModelSearchResult found =
        useLibraryModel ? SearchLibraryModel(*manager.Get(), modelName, "SIM", libraryReference, sourceLibraryName)
                        : SearchModelFile(*manager.Get(), modelName, kind, location);
    FModelPath = found.Path;
    FFoundFile = found.FoundIn;
    if (!FFoundFile.empty()) FFoundFileName = VfsExtractFileName(FFoundFile);
  }
  if (FModelPath.empty() || !VfsFileExists(FModelPath)) return;
  // A file the host reports but cannot open is treated like a missing one: the editor then says so.
  const TModelText text = ReadModelText(FModelPath);
  FLines = text.Lines;
  if (!FLines) return;
  FModelName = modelName;

  const int line = DefiningLine(text, modelName);
  if (line < 0 || !IsSubcircuitLine((*FLines)[static_cast<std::size_t>(line)])) return;
  FIsSubcircuit = true;
  // Ports and parameters both come from the definition with its "+" lines: SPICE continues a port list there
  // as readily as a parameter list.
  TSubcircuitHeader header = ReadSubcircuitHeader(JoinContinuationLines(*FLines, line));
  FPorts = std::move(header.Ports);
  FModelParameters = std::move(header.Parameters);
}

int TModelFile::ParameterCount() const { return FModelParameters ? static_cast<int>(FModelParameters->size()) : 0; }

std::string TModelFile::ParameterName(int index) const {
  if (index < 0 || index >= ParameterCount()) return {};
  return std::string(NamePart((*FModelParameters)[static_cast<std::size_t>(index)]));
}

bool TModelFile::HasParameter(std::string_view name) const {
  if (name.empty() || !FModelParameters) return false;
  for (const std::string& item : *FModelParameters)
    if (SameText(NamePart(item), name)) return true;
  return false;
}

int TModelFile::PortCount() const { return FPorts ? static_cast<int>(FPorts->size()) : 0; }

std::string TModelFile::Port(int index) const {
  if (index < 0 || index >= PortCount()) return {};
  return (*FPorts)[static_cast<std::size_t>(index)];
}

void SetModelFileStampProvider(TModelFileStampFunc provider) { StampProvider = provider; }

void ClearModelFileCache() {
  Cache.clear();
  CachedBytes = 0;
}

}  // namespace tolvex
