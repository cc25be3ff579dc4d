// Benchmark of a model look-up in a large library: TModelFile finding the last of 50,000 models in a generated
// file of about 25 MB, beside `grep -n -m1` finding the same line in the same run, as a ratio.
//
//   model_lookup_bench [--models N] [--repeat R] [--keep]
//
// The file is read through a minimal host binding that hands out the lines of one read of the file, so what is
// measured is TModelFile's own work (taking the lines, finding the definition, reading ports and parameters),
// not a particular host's file system. Each figure is the best of R runs; the page cache is warm for both sides.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "ModelLibraryBench.h"
#include "host/HostApi.h"
#include "host/LibraryManagerApi.h"
#include "model_data/ModelFile.h"

using namespace tolvex;
namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

namespace {

std::string LibraryPath;

// The manager answers the generated library for every search.
class TBenchManager final : public IIntegratedLibraryManager {
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
    return SearchModelFile(nullptr, nullptr, nullptr, path, pathSize, foundIn, foundInSize);
  }
  HRESULT32 TOLVEX_STDCALL SearchModelFile(const char*, const char*, const char*, char* path, std::int32_t pathSize,
                                           char* foundIn, std::int32_t foundInSize) override {
    CopyLibraryText(LibraryPath, path, pathSize);
    CopyLibraryText(LibraryPath, foundIn, foundInSize);
    return S_OK32;
  }
};

TBenchManager Manager;
IIntegratedLibraryManager* TOLVEX_STDCALL ProvideManager() { return &Manager; }

// --- The look-ups ---------------------------------------------------------------------------------------------

double Milliseconds(TClock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  int models = 50000;
  int repeat = 5;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--models" && i + 1 < argc) {
      models = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--repeat" && i + 1 < argc) {
      repeat = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--keep") {
      keep = true;
    } else {
      std::fprintf(stderr, "usage: model_lookup_bench [--models N] [--repeat R] [--keep]\n");
      return 2;
    }
  }

  char folderTemplate[] = "/tmp/tolvex-model-bench-XXXXXX";
  const char* folder = mkdtemp(folderTemplate);
  if (!folder) {
    std::perror("model_lookup_bench: mkdtemp");
    return 1;
  }
  LibraryPath = std::string(folder) + "/library.lib";
  bench::WriteModelLibrary(LibraryPath, models);
  const auto bytes = fs::file_size(LibraryPath);

  bench::BindBenchHost();
  SetLibraryManagerProvider(&ProvideManager);

  const std::string last = bench::ShortModelName(models - 1);
  const bool lastIsSubcircuit = bench::IsSubcircuitModel(models - 1);
  const std::string grepText = (lastIsSubcircuit ? ".SUBCKT " : ".MODEL ") + last + " ";

  // Warm the page cache for both sides.
  bench::GrepLine(grepText, LibraryPath);

  TClock::duration first = TClock::duration::max(), second = TClock::duration::max(), third = TClock::duration::max(),
                   grep = TClock::duration::max();
  int foundLine = -1, ports = 0;
  long grepLine = 0;
  std::size_t lineCount = 0;
  for (int r = 0; r < repeat; ++r) {
    ClearModelFileCache();
    auto start = TClock::now();
    {
      const TModelFile file("", "CKT", "", "", false, last);
      first = std::min(first, TClock::now() - start);
      if (file.Lines()) {
        lineCount = file.Lines()->size();
        foundLine = FindModelLine(*file.Lines(), last);
      }
      ports = file.PortCount();
    }
    start = TClock::now();
    {
      const TModelFile again("", "CKT", "", "", false, last);
      second = std::min(second, TClock::now() - start);
    }
    start = TClock::now();
    {
      const TModelFile indexed("", "CKT", "", "", false, last);
      third = std::min(third, TClock::now() - start);
    }
    start = TClock::now();
    grepLine = bench::GrepLine(grepText, LibraryPath);
    grep = std::min(grep, TClock::now() - start);
  }

  std::printf("library: %d models, %zu lines, %.1f MB in %s\n", models, lineCount, bytes / 1e6,
              LibraryPath.c_str());
  std::printf("looking up %s (%s, %d ports), best of %d runs\n", last.c_str(),
              lastIsSubcircuit ? "subcircuit" : "model", ports, repeat);
  std::printf("  TModelFile, first look-up (reads the file): %8.2f ms  line %d\n", Milliseconds(first),
              foundLine + 1);
  std::printf("  TModelFile, second look-up (file unchanged):  %7.2f ms  (gathers the file's index)\n",
              Milliseconds(second));
  std::printf("  TModelFile, third look-up (through the index): %6.3f ms\n", Milliseconds(third));
  std::printf("  grep -n -m1 -F (process included):          %8.2f ms  line %ld\n", Milliseconds(grep), grepLine);
  const double ratio = Milliseconds(first) / Milliseconds(grep);
  std::printf("ratio first look-up / grep: %.2f (target: within 3.00) %s\n", ratio, ratio <= 3.0 ? "met" : "NOT MET");
  std::printf("ratio second look-up / grep: %.2f, third: %.3f\n", Milliseconds(second) / Milliseconds(grep),
              Milliseconds(third) / Milliseconds(grep));

  ClearModelFileCache();
  ClearHostExports();
  SetLibraryManagerProvider(nullptr);
  if (!keep) fs::remove_all(folder);
  const bool sameLine = grepLine == foundLine + 1;
  if (!sameLine) std::printf("model_lookup_bench: grep and TModelFile disagree on the line\n");
  return sameLine ? 0 : 1;
}
