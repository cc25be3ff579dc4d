// Benchmark of a model look-up in a large library: TModelFile finding the last of 50,000 models in a generated
// file of about 25 MB, beside `grep -n -m1` finding the same line in the same run, as a ratio.
//
//   model_lookup_bench [--models N] [--repeat R] [--keep]
//
// The file is read through a minimal host binding that hands out the lines of one read of the file, so what is
// measured is TModelFile's own work (taking the lines, finding the definition, reading ports and parameters),
// not a particular host's file system. Each figure is the best of R runs; the page cache is warm for both sides.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/HostApi.h"
#include "host/HostExports.h"
#include "host/LibraryManagerApi.h"
#include "model_data/ModelFile.h"

extern char** environ;

using namespace tolvex;
namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

namespace {

std::string LibraryPath;

// --- A minimal host binding: the file read at once, its lines handed out in place. -----------------------------

struct TOpenFile {
  std::vector<char> Text;  // the file and one byte more, for the NUL after an unterminated last line
  std::size_t Length = 0;
  std::size_t Next = 0;
};

const char* TOLVEX_STDCALL ReadLine(TVfsTextFile* file, std::int32_t* length) {
  auto* open = static_cast<TOpenFile*>(file->HostData);
  if (open->Next >= open->Length) return nullptr;
  char* start = open->Text.data() + open->Next;
  const std::size_t rest = open->Length - open->Next;
  char* end = static_cast<char*>(std::memchr(start, '\n', rest));
  std::size_t n = end ? static_cast<std::size_t>(end - start) : rest;
  open->Next += end ? n + 1 : n;
  if (n > 0 && start[n - 1] == '\r') --n;
  start[n] = '\0';  // over the line end, or the extra byte after the text
  *length = static_cast<std::int32_t>(n);
  return start;
}

void TOLVEX_STDCALL Close(TVfsTextFile* file) {
  delete static_cast<TOpenFile*>(file->HostData);
  file->HostData = nullptr;
}

TBool32 TOLVEX_STDCALL FileExists(const char* path, std::int32_t) {
  struct stat st{};
  return stat(path, &st) == 0 && S_ISREG(st.st_mode) ? TRUE32 : FALSE32;
}

TBool32 TOLVEX_STDCALL Assign(TVfsTextFile* file, const char* path) {
  const int fd = open(path, O_RDONLY);
  if (fd < 0) return FALSE32;
  struct stat st{};
  fstat(fd, &st);
  auto* open = new TOpenFile;
  open->Text.resize(static_cast<std::size_t>(st.st_size) + 1);
  std::size_t done = 0;
  while (done < static_cast<std::size_t>(st.st_size)) {
    const ssize_t n = read(fd, open->Text.data() + done, static_cast<std::size_t>(st.st_size) - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  close(fd);
  open->Length = done;
  file->HostData = open;
  file->ReadLine = &ReadLine;
  file->Close = &Close;
  return TRUE32;
}

void* Resolve(const char* name) {
  if (std::strcmp(name, "VFSAPI_VFS_FileExists") == 0) return reinterpret_cast<void*>(&FileExists);
  if (std::strcmp(name, "VFSAPI_VFSAssign") == 0) return reinterpret_cast<void*>(&Assign);
  return nullptr;
}

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

// --- The library ----------------------------------------------------------------------------------------------

std::string ModelName(int i) { return (i % 5 == 4 ? "XAMP" : "DMOD") + std::to_string(i); }

// Four plain models with "+" lines, then one subcircuit with a body, over and over: about 500 bytes a model.
void WriteLibrary(const std::string& path, int models) {
  std::ofstream out(path, std::ios::binary);
  std::vector<char> buffer(1 << 20);
  out.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
  out << "* A generated model library of " << models << " models for the look-up benchmark.\n";
  for (int i = 0; i < models; ++i) {
    const std::string name = ModelName(i);
    if (i % 5 == 4) {
      out << "* Op-amp macro-model " << i << ": inputs, supplies, output.\n"
          << ".SUBCKT " << name << " INP INN VCC VEE OUT PARAMS: GAIN=" << 100000 + i << " GBW=1MEG ROUT=75\n"
          << "+ RIN=2MEG VOS=0.5M IB=10N\n"
          << "RIN INP INN {RIN}\n"
          << "GM 0 N1 INP INN {GAIN/1MEG}\n"
          << "R1 N1 0 1MEG\n"
          << "C1 N1 0 {GAIN/(6.2832*GBW*1MEG)}\n"
          << "EBUF N2 0 N1 0 1\n"
          << "RO N2 OUT {ROUT}\n"
          << ".MODEL DLIM" << i << " D(IS=1E-14 N=0.01)\n"
          << ".ENDS " << name << "\n";
    } else {
      out << "* Diode model " << i << ": a 1 A general-purpose rectifier, fitted to the forward curve at 25 and 125 C\n"
          << ".MODEL " << name << " D(IS=" << (i % 97) + 1 << "N RS=0.0" << (i % 7) + 1 << " N=1.7"
          << " TT=4.5U CJO=28P M=0.35 VJ=0.35\n"
          << "+ BV=1000 IBV=5U EG=1.11 XTI=3 KF=0 AF=1 FC=0.5 TNOM=27 XTI=3 ISR=0 NR=2\n"
          << "+ IKF=0 IKR=0 TBV1=0 TBV2=0 TRS1=0 TRS2=0 TTT1=0 TTT2=0 TM1=0 TM2=0\n"
          << "+ FFE=1 CJP=0 PHP=1 MJSW=0.33 CTA=0 CTP=0 TCV=0 LM=0 LP=0 WM=0 WP=0\n"
          << "+ JSW=0 NS=1 RSW=0 XCJC=1 XCJE=1 TLEV=0 TLEVC=0 TTT1=0 GAP1=7.02E-4 GAP2=1108\n"
          << "+ TPB=0 TPHP=0 TCJ=0 TCJSW=0 TRS=0 TRS2=0 TIKF=0 KEG=1 XP=0 DSKIP=0 AREA=1\n";
    }
  }
}

// --- The look-ups ---------------------------------------------------------------------------------------------

double Milliseconds(TClock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Runs grep -n -m1 -F for Text in Path; its first line's number, or 0.
long GrepLine(const std::string& text, const std::string& path) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return 0;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  std::vector<std::string> args = {"grep", "-n", "-m1", "-F", "-e", text, path};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, "grep", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  std::string output;
  char chunk[4096];
  ssize_t n;
  while ((n = read(pipeFds[0], chunk, sizeof chunk)) > 0) output.append(chunk, static_cast<std::size_t>(n));
  close(pipeFds[0]);
  if (spawned != 0) return 0;
  int status = 0;
  waitpid(pid, &status, 0);
  return std::strtol(output.c_str(), nullptr, 10);
}

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
  WriteLibrary(LibraryPath, models);
  const auto bytes = fs::file_size(LibraryPath);

  BindHostExports(&Resolve);
  SetLibraryManagerProvider(&ProvideManager);

  const std::string last = ModelName(models - 1);
  const bool lastIsSubcircuit = (models - 1) % 5 == 4;
  const std::string grepText = (lastIsSubcircuit ? ".SUBCKT " : ".MODEL ") + last + " ";

  // Warm the page cache for both sides.
  GrepLine(grepText, LibraryPath);

  TClock::duration first = TClock::duration::max(), second = TClock::duration::max(),
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
    grepLine = GrepLine(grepText, LibraryPath);
    grep = std::min(grep, TClock::now() - start);
  }

  std::printf("library: %d models, %zu lines, %.1f MB in %s\n", models, lineCount, bytes / 1e6,
              LibraryPath.c_str());
  std::printf("looking up %s (%s, %d ports), best of %d runs\n", last.c_str(),
              lastIsSubcircuit ? "subcircuit" : "model", ports, repeat);
  std::printf("  TModelFile, first look-up (reads the file): %8.2f ms  line %d\n", Milliseconds(first),
              foundLine + 1);
  std::printf("  TModelFile, second look-up (file unchanged): %7.2f ms\n", Milliseconds(second));
  std::printf("  grep -n -m1 -F (process included):          %8.2f ms  line %ld\n", Milliseconds(grep), grepLine);
  const double ratio = Milliseconds(first) / Milliseconds(grep);
  std::printf("ratio first look-up / grep: %.2f (target: within 3.00) %s\n", ratio, ratio <= 3.0 ? "met" : "NOT MET");
  std::printf("ratio second look-up / grep: %.2f\n", Milliseconds(second) / Milliseconds(grep));

  ClearModelFileCache();
  ClearHostExports();
  SetLibraryManagerProvider(nullptr);
  if (!keep) fs::remove_all(folder);
  const bool sameLine = grepLine == foundLine + 1;
  if (!sameLine) std::printf("model_lookup_bench: grep and TModelFile disagree on the line\n");
  return sameLine ? 0 : 1;
}
