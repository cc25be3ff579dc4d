// libFuzzer target for the model-file reader: arbitrary bytes as a model library, read by TModelFile through a
// minimal host binding, with the line rules checked against each other on every input.
//
// Input: the first line names the model, the remaining lines are the file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "host/HostApi.h"
#include "host/HostExports.h"
#include "host/LibraryManagerApi.h"
#include "model_data/ModelFile.h"
#include "model_data/ModelFileLines.h"

using namespace tolvex;

namespace {

constexpr const char* kFuzzPath = "fuzz:input.lib";

const std::vector<std::string>* CurrentLines = nullptr;

// A violated rule is a finding: abort so that libFuzzer keeps the input.
void Check(bool condition, const char* rule) {
  if (!condition) {
    std::fprintf(stderr, "ModelFileFuzz: broken rule: %s\n", rule);
    std::abort();
  }
}

struct TOpenFile {
  std::size_t Next = 0;
};

const char* TOLVEX_STDCALL ReadLine(TVfsTextFile* file, std::int32_t* length) {
  auto* open = static_cast<TOpenFile*>(file->HostData);
  if (!open || !CurrentLines || open->Next >= CurrentLines->size()) return nullptr;
  const std::string& line = (*CurrentLines)[open->Next++];
  *length = static_cast<std::int32_t>(line.size());
  return line.c_str();
}

void TOLVEX_STDCALL Close(TVfsTextFile* file) {
  delete static_cast<TOpenFile*>(file->HostData);
  file->HostData = nullptr;
}

TBool32 TOLVEX_STDCALL FileExists(const char* path, std::int32_t) {
  return std::strcmp(path, kFuzzPath) == 0 ? TRUE32 : FALSE32;
}

TBool32 TOLVEX_STDCALL Assign(TVfsTextFile* file, const char* path) {
  if (std::strcmp(path, kFuzzPath) != 0) return FALSE32;
  file->HostData = new TOpenFile;
  file->ReadLine = &ReadLine;
  file->Close = &Close;
  return TRUE32;
}

void* Resolve(const char* name) {
  if (std::strcmp(name, "VFSAPI_VFS_FileExists") == 0) return reinterpret_cast<void*>(&FileExists);
  if (std::strcmp(name, "VFSAPI_VFSAssign") == 0) return reinterpret_cast<void*>(&Assign);
  return nullptr;
}

// Answers the one file for every search.
class TFuzzManager final : public IIntegratedLibraryManager {
 public:
  HRESULT32 TOLVEX_STDCALL QueryInterface(const TGUID&, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE32;
  }
  std::uint32_t TOLVEX_STDCALL AddRef() override { return 2; }
  std::uint32_t TOLVEX_STDCALL Release() override { return 1; }
  HRESULT32 TOLVEX_STDCALL SearchLibraryModel(std::int32_t, const char*, const char*, const char*, const char*,
                                              char* path, std::int32_t pathSize, char* foundIn,
                                              std::int32_t foundInSize) override {
    return Answer(path, pathSize, foundIn, foundInSize);
  }
  HRESULT32 TOLVEX_STDCALL SearchModelFile(const char*, const char*, const char*, char* path, std::int32_t pathSize,
                                           char* foundIn, std::int32_t foundInSize) override {
    return Answer(path, pathSize, foundIn, foundInSize);
  }

 private:
  static HRESULT32 Answer(char* path, std::int32_t pathSize, char* foundIn, std::int32_t foundInSize) {
    CopyLibraryText(kFuzzPath, path, pathSize);
    CopyLibraryText(kFuzzPath, foundIn, foundInSize);
    return S_OK32;
  }
};

TFuzzManager Manager;

IIntegratedLibraryManager* TOLVEX_STDCALL ProvideManager() { return &Manager; }

// Every input is read afresh: the cache is exercised by the unit tests, and a stamp would cost a file-system call.
bool NoStamp(const std::string&, TModelFileStamp&) { return false; }

bool Bind() {
  BindHostExports(&Resolve);
  SetLibraryManagerProvider(&ProvideManager);
  SetModelFileStampProvider(&NoStamp);
  return true;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool bound = Bind();
  (void)bound;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::size_t firstEnd = text.find('\n');
  const std::string name(text.substr(0, firstEnd));
  const std::vector<std::string> lines =
      SplitLines(firstEnd == std::string_view::npos ? std::string_view() : text.substr(firstEnd + 1));

  const int index = FindModelLine(lines, name);
  Check(index >= -1 && index < static_cast<int>(lines.size()), "the index is a line or -1");
  if (index >= 0) Check(IsModelLine(lines[static_cast<std::size_t>(index)], name), "the found line defines the model");
  if (name.empty()) Check(index == -1, "an empty name is never found");

  // The index of every definition finds the same line, also when lines that cannot define anything are handed over
  // as their first byte alone (as the library manager reads them).
  TModelDefinitionIndex definitions, cut;
  for (const std::string& line : lines) {
    definitions.Feed(line);
    cut.Feed(line.empty() || line[0] == '.' ? std::string_view(line) : std::string_view(line).substr(0, 1));
  }
  if (TModelDefinitionIndex::CanFind(name)) {
    Check(definitions.Find(name) == index, "the index finds the line the full read finds");
    Check(cut.Find(name) == index, "the index of cut lines finds the line the full read finds");
  } else {
    Check(definitions.Find(name) == -1, "a name the index cannot answer is not found in it");
  }
  // Every name a line defines, at whatever depth, is answered as the full read answers it.
  for (const std::string& line : lines) {
    const std::vector<std::string> items = SplitModelItems(line);
    if (items.size() >= 2 && TModelDefinitionIndex::CanFind(items[1]))
      Check(definitions.Find(items[1]) == FindModelLine(lines, items[1]), "the index answers every defined name");
  }

  // The join from every dot line, and from the found one, begins with that line.
  const std::size_t from = lines.empty() ? 0 : size % lines.size();
  for (const int start : {index, static_cast<int>(from)}) {
    const std::string joined = JoinContinuationLines(lines, start);
    if (start < 0 || static_cast<std::size_t>(start) >= lines.size()) {
      Check(joined.empty(), "a join out of range is empty");
      continue;
    }
    const std::string& line = lines[static_cast<std::size_t>(start)];
    Check(joined.compare(0, line.size(), line) == 0, "a join begins with its line");
    const std::vector<std::string> items = SplitModelItems(joined);
    for (const std::string& item : items) Check(!item.empty(), "no item is empty");
    const TSubcircuitHeader header = ReadSubcircuitHeader(joined);
    const std::size_t parameters = header.Parameters ? header.Parameters->size() : 0;
    Check(header.Ports.size() + parameters <= items.size(), "ports and parameters come from the items");
    for (const std::string& port : header.Ports) Check(port.find('=') == std::string::npos, "no port holds =");
  }

  CurrentLines = &lines;
  const TModelFile file("", "CKT", "", "", false, name);
  CurrentLines = nullptr;
  Check(file.Lines() != nullptr && *file.Lines() == lines, "the file's lines are read as given");
  const bool subcircuit = index >= 0 && IsSubcircuitLine(lines[static_cast<std::size_t>(index)]);
  Check(file.IsSubcircuit() == subcircuit, "a subcircuit is what its defining line says");
  if (!subcircuit) Check(file.PortCount() == 0 && file.ParameterCount() == 0, "a plain model has no ports");
  for (int i = -1; i <= file.PortCount(); ++i) (void)file.Port(i);
  for (int i = -1; i <= file.ParameterCount(); ++i) {
    const std::string parameter = file.ParameterName(i);
    if (!parameter.empty()) Check(file.HasParameter(parameter), "a parameter's name is one it has");
  }
  return 0;
}
