// What ngspice's callbacks hand to the thread that started the engine. ngspice calls back from its
// own simulation thread; the plug-in and the viewer must be called on the starting thread. So the
// callbacks only append to a batch under a lock and never wait, and the starting thread swaps
// the batch out every few milliseconds and relays it. A callback that waited would also keep
// ngspice from stopping: "bg_halt" gives up on a thread that does not reach its next step.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

struct vecvaluesall;
struct vecinfoall;

namespace tolvex::ngspice {

struct TVectorInfo {
  std::string Name;  // as ngspice names it: "out", "v1#branch", "time"
  int Type = 0;      // TVectorType
  bool IsScale = false;
};

// One plot: the vectors of one analysis as ngspice announces them before its first point.
struct TPlotInfo {
  std::string Type;  // "tran1", "ac1", ...
  std::string Name;  // "Transient Analysis", ...
  std::vector<TVectorInfo> Vectors;
  // Complex plots keep two values (real, imaginary) per vector and point, real ones one.
  bool Complex = false;
  std::size_t Stride() const { return Vectors.size() * (Complex ? 2 : 1); }
};

enum TEventKind : std::uint8_t {
  ekStdout,  // Texts[Index]: a line ngspice wrote to its standard output
  ekStderr,  // Texts[Index]: a line ngspice wrote to its standard error
  ekStatus,  // Texts[Index]: a progress text such as "tran: 45.3%" or "--ready--"
  ekPlot,    // Plots[Index]: a new plot begins
  ekData     // Count points of the latest plot, their values from Values[Index]
};

struct TEvent {
  TEventKind Kind;
  std::uint32_t Count;
  std::size_t Index;
};

struct TBatch {
  std::vector<TEvent> Events;
  std::vector<std::string> Texts;
  std::vector<TPlotInfo> Plots;
  std::vector<double> Values;
  // Empties the batch but keeps its memory, so that the two batches that take turns stop
  // allocating after the first few swaps.
  void Clear();
};

// What the starting thread learns with each batch.
struct TRunState {
  bool ThreadStarted = false;  // ngspice's simulation thread has begun
  bool ThreadEnded = false;    // ... and has ended; nothing more will come from it
  bool ExitRequested = false;  // ngspice asked to be unloaded (it cannot go on)
  int ExitStatus = 0;
};

class TRelayQueue {
 public:
  // The callbacks, called by ngspice from either thread.
  void OnText(const char* text);
  void OnStatus(const char* text);
  void OnInitData(const vecinfoall* info);
  void OnData(const vecvaluesall* values, int count);
  void OnThreadRunning(bool exited);
  void OnControlledExit(int status);

  // On the starting thread. Capture says whether ngspice's text output belongs to a run (its
  // banner at start-up and what clean-up commands print do not).
  void SetCapture(bool capture);
  // Forgets everything of an earlier run: before a run starts.
  void Reset();
  // Waits until a plot begins, the thread ends, ngspice asks to exit, or Timeout has passed.
  void Wait(std::chrono::milliseconds timeout);
  // Hands the collected batch over in exchange for Spare (which should be empty) and tells the
  // state at that moment: once ThreadEnded is reported, the batch holds everything.
  TRunState Take(TBatch& spare);
  TRunState State();

 private:
  std::mutex FLock;
  std::condition_variable FWake;
  bool FSignalled = false;
  bool FCapture = false;
  TBatch FBatch;
  TRunState FState;
  // The latest plot's layout, for the data that follows it; it stays when its batch is taken.
  std::size_t FStride = 0;
  bool FComplex = false;
  std::size_t FPlotVectors = 0;
  bool FLastIsData = false;
};

}  // namespace tolvex::ngspice
