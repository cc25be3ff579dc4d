// What the model-file benchmarks share: the generated 50,000-model library, grep as the anchor, and a minimal host
// file system that hands out the lines of one read of a file and counts how often each file was read.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/HostApi.h"
#include "host/HostExports.h"

extern char** environ;

namespace tolvex::bench {

// --- The library ----------------------------------------------------------------------------------------------

// Every fifth model is an op-amp subcircuit, the others are diodes.
inline bool IsSubcircuitModel(int i) { return i % 5 == 4; }

// The names of model_lookup_bench: DMOD0, ..., XAMP4, ...
inline std::string ShortModelName(int i) { return (IsSubcircuitModel(i) ? "XAMP" : "DMOD") + std::to_string(i); }

// Four plain models with "+" lines, then one subcircuit with a body and a local model, over and over: about
// 500 bytes a model. NameOf gives model I's name.
inline void WriteModelLibrary(const std::string& path, int models,
                              const std::function<std::string(int)>& nameOf = ShortModelName) {
  std::ofstream out(path, std::ios::binary);
  std::vector<char> buffer(1 << 20);
  out.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
  out << "* A generated model library of " << models << " models for the look-up benchmark.\n";
  for (int i = 0; i < models; ++i) {
    const std::string name = nameOf(i);
    if (IsSubcircuitModel(i)) {
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

// --- The anchor -----------------------------------------------------------------------------------------------

// Runs grep -n -m1 -F for Text in Path; its first line's number, or 0.
inline long GrepLine(const std::string& text, const std::string& path) {
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

// --- A minimal host file system -------------------------------------------------------------------------------

// How often the host was asked to read each file.
inline std::map<std::string, int>& HostReads() {
  static std::map<std::string, int> reads;
  return reads;
}

struct TOpenFile {
  std::vector<char> Text;  // the file and one byte more, for the NUL after an unterminated last line
  std::size_t Length = 0;
  std::size_t Next = 0;
};

inline const char* TOLVEX_STDCALL ReadLine(TVfsTextFile* file, std::int32_t* length) {
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

inline void TOLVEX_STDCALL Close(TVfsTextFile* file) {
  delete static_cast<TOpenFile*>(file->HostData);
  file->HostData = nullptr;
}

inline TBool32 TOLVEX_STDCALL FileExists(const char* path, std::int32_t) {
  struct stat st{};
  return stat(path, &st) == 0 && S_ISREG(st.st_mode) ? TRUE32 : FALSE32;
}

// The whole file is read at once, as a host's file system would hand it out.
inline TBool32 TOLVEX_STDCALL Assign(TVfsTextFile* file, const char* path) {
  const int fd = open(path, O_RDONLY);
  if (fd < 0) return FALSE32;
  ++HostReads()[path];
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

inline void TOLVEX_STDCALL ExtractFileName(const char* path, char* result, std::int32_t resultSize) {
  const char* slash = std::strrchr(path, '/');
  std::snprintf(result, static_cast<std::size_t>(resultSize), "%s", slash ? slash + 1 : path);
}

inline TBool32 TOLVEX_STDCALL IsVFSFileName(const char* path) {
  return std::strstr(path, "://") != nullptr ? TRUE32 : FALSE32;
}

inline void* ResolveHostExport(const char* name) {
  if (std::strcmp(name, "VFSAPI_VFS_FileExists") == 0) return reinterpret_cast<void*>(&FileExists);
  if (std::strcmp(name, "VFSAPI_VFSAssign") == 0) return reinterpret_cast<void*>(&Assign);
  if (std::strcmp(name, "VFSAPI_VFS_ExtractFileName") == 0) return reinterpret_cast<void*>(&ExtractFileName);
  if (std::strcmp(name, "VFSAPI_VFS_IsVFSFileName") == 0) return reinterpret_cast<void*>(&IsVFSFileName);
  return nullptr;
}

// Binds the plug-in's host functions to this file system.
inline void BindBenchHost() { BindHostExports(&ResolveHostExport); }

}  // namespace tolvex::bench
