// The ngspice engine in process, the way the host drives it: how long a stop takes, from the moment
// the host dispatches its "StopSimulator" event inside the engine's progress call to the return of
// XSpice_Start, beside the engine's own pump period; and the process's memory over many runs.
//
//   engine_stop_bench BIN_FOLDER LONG_NETLIST SHORT_NETLIST [STOPS [RUNS]]
//
// BIN_FOLDER holds Tolvex.dll, Ondulix.dll and xspice.dll. Each stop run starts the long transient,
// and a second thread posts a message to this thread's queue after a random delay; the engine's
// next progress call dispatches it, and the dispatch calls XSpice_Stop, as the host's
// "StopSimulator" does.
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "os/posix/user/TolvexUser.h"

namespace {

using Clock = std::chrono::steady_clock;
using TStart = std::int32_t (*)(const char*);
using TStop = void (*)();

TStop Stop = nullptr;
Clock::time_point Posted, Dispatched;
std::atomic<bool> DispatchSeen{false};

void StopWindowProc(void*, const TvxMessage*) {
  Dispatched = Clock::now();
  DispatchSeen = true;
  Stop();
}

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

std::string StatusField(const char* name) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind(name, 0) == 0) {
      const std::size_t start = line.find_first_not_of(" \t", std::strlen(name) + 1);
      return start == std::string::npos ? std::string() : line.substr(start);
    }
  return {};
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s BIN_FOLDER LONG_NETLIST SHORT_NETLIST [STOPS [RUNS]]\n", argv[0]);
    return 2;
  }
  // Full paths, since the working folder changes below.
  const std::string bin = std::filesystem::absolute(argv[1]).string();
  const std::string longNetlist = std::filesystem::absolute(argv[2]).string();
  const std::string shortNetlist = std::filesystem::absolute(argv[3]).string();
  const int stops = argc > 4 ? std::atoi(argv[4]) : 10;
  const int runs = argc > 5 ? std::atoi(argv[5]) : 200;

  // Without a host the viewer writes its waveform files in the working folder: the netlist's.
  const std::size_t slash = longNetlist.find_last_of('/');
  if (slash != std::string::npos && chdir(longNetlist.substr(0, slash).c_str()) != 0) return 1;
  void* viewer = dlopen((bin + "/Ondulix.dll").c_str(), RTLD_NOW | RTLD_LOCAL);
  void* tolvex = dlopen((bin + "/Tolvex.dll").c_str(), RTLD_NOW | RTLD_LOCAL);
  void* engine = dlopen((bin + "/xspice.dll").c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!viewer || !tolvex || !engine) {
    std::fprintf(stderr, "cannot load the modules from %s: %s\n", bin.c_str(), dlerror());
    return 1;
  }
  const auto start = reinterpret_cast<TStart>(dlsym(engine, "XSpice_Start"));
  Stop = reinterpret_cast<TStop>(dlsym(engine, "XSpice_Stop"));
  if (!start || !Stop) return 1;
  const std::string longText = "1" + bin + "/Ondulix.dll|" + bin + "/Tolvex.dll|" + longNetlist;
  const std::string shortText = "1" + bin + "/Ondulix.dll|" + bin + "/Tolvex.dll|" + shortNetlist;

  const std::intptr_t window = TvxCreateWindow(StopWindowProc, nullptr);
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> delay(100, 600);
  std::vector<double> dispatchToReturn, postToReturn;
  for (int k = 0; k < stops; ++k) {
    DispatchSeen = false;
    const int wait = delay(random);
    std::thread poster([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(wait));
      Posted = Clock::now();
      TvxPostMessage(window, 0x400, 0, 0);
    });
    const std::int32_t result = start(longText.c_str());
    const Clock::time_point returned = Clock::now();
    poster.join();
    // A message that came after the run ended waits in the queue: take it out for the next run.
    TvxMessage message;
    while (TvxPeekMessage(&message, 1)) {
    }
    if (!DispatchSeen || (result != 13 && result != 14)) {
      std::printf("stop %d: result %d without a stop\n", k, result);
      continue;
    }
    dispatchToReturn.push_back(Milliseconds(returned - Dispatched));
    postToReturn.push_back(Milliseconds(returned - Posted));
  }
  if (!dispatchToReturn.empty()) {
    std::printf("stop latency, StopSimulator dispatched to XSpice_Start's return: median %.1f ms, max %.1f ms"
                " (%zu stops)\n",
                Median(dispatchToReturn), *std::max_element(dispatchToReturn.begin(), dispatchToReturn.end()),
                dispatchToReturn.size());
    std::printf("stop latency, event posted to XSpice_Start's return (the engine pumps every 40 ms): median %.1f ms,"
                " max %.1f ms\n",
                Median(postToReturn), *std::max_element(postToReturn.begin(), postToReturn.end()));
  }

  const std::string rssBefore = StatusField("VmRSS:"), sizeBefore = StatusField("VmSize:");
  int failures = 0;
  for (int k = 0; k < runs; ++k) failures += start(shortText.c_str()) != 0;
  std::printf("memory over %d runs of %s: VmRSS %s -> %s, VmSize %s -> %s, threads %s, %d runs not 0\n", runs,
              shortNetlist.c_str(), rssBefore.c_str(), StatusField("VmRSS:").c_str(), sizeBefore.c_str(),
              StatusField("VmSize:").c_str(), StatusField("Threads:").c_str(), failures);
  TvxDestroyWindow(window);
  return 0;
}
