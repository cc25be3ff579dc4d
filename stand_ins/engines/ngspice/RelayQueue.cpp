// The batch between ngspice's callbacks and the starting thread.
#include "RelayQueue.h"

#include <ngspice/sharedspice.h>

#include <algorithm>
#include <cstring>

namespace tolvex::ngspice {

void TBatch::Clear() {
  Events.clear();
  Texts.clear();
  Plots.clear();
  Values.clear();
}

void TRelayQueue::OnText(const char* text) {
  if (!text) return;
  // ngspice marks each line with the stream it was written to. A text without the mark is a
  // progress line ended by a carriage return, meant to be overwritten on a terminal: dropped.
  TEventKind kind;
  const char* body;
  if (std::strncmp(text, "stdout ", 7) == 0) {
    kind = ekStdout;
    body = text + 7;
  } else if (std::strncmp(text, "stderr ", 7) == 0) {
    kind = ekStderr;
    body = text + 7;
  } else {
    return;
  }
  std::lock_guard<std::mutex> guard(FLock);
  if (!FCapture) return;
  FBatch.Events.push_back(TEvent{kind, 0, FBatch.Texts.size()});
  FBatch.Texts.emplace_back(body);
  FLastIsData = false;
}

void TRelayQueue::OnStatus(const char* text) {
  if (!text) return;
  std::lock_guard<std::mutex> guard(FLock);
  if (!FCapture) return;
  FBatch.Events.push_back(TEvent{ekStatus, 0, FBatch.Texts.size()});
  FBatch.Texts.emplace_back(text);
  FLastIsData = false;
}

void TRelayQueue::OnInitData(const vecinfoall* info) {
  if (!info) return;
  TPlotInfo plot;
  plot.Type = info->type ? info->type : "";
  plot.Name = info->name ? info->name : "";
  for (int i = 0; i < info->veccount; ++i) {
    const vecinfo* vector = info->vecs[i];
    if (!vector) continue;
    TVectorInfo entry;
    entry.Name = vector->vecname ? vector->vecname : "";
    // The vector itself is ngspice's own record, which vector_info mirrors field by field;
    // its type tells a node voltage from a branch current or a sweep.
    if (vector->pdvec) entry.Type = static_cast<const vector_info*>(vector->pdvec)->v_type;
    entry.IsScale = vector->pdvec != nullptr && vector->pdvec == vector->pdvecscale;
    plot.Complex = plot.Complex || !vector->is_real;
    plot.Vectors.push_back(std::move(entry));
  }
  {
    std::lock_guard<std::mutex> guard(FLock);
    FStride = plot.Stride();
    FComplex = plot.Complex;
    FPlotVectors = plot.Vectors.size();
    FBatch.Events.push_back(TEvent{ekPlot, 0, FBatch.Plots.size()});
    FBatch.Plots.push_back(std::move(plot));
    FLastIsData = false;
    FSignalled = true;
  }
  FWake.notify_one();
}

void TRelayQueue::OnData(const vecvaluesall* values, int count) {
  if (!values || !values->vecsa) return;
  std::lock_guard<std::mutex> guard(FLock);
  if (FStride == 0) return;
  // Points of one plot that follow each other share one event, so that a point costs a few
  // stores and no allocation once the batch has grown.
  if (!FLastIsData) {
    FBatch.Events.push_back(TEvent{ekData, 0, FBatch.Values.size()});
    FLastIsData = true;
  }
  const std::size_t n = std::min<std::size_t>(FPlotVectors, count < 0 ? 0 : static_cast<std::size_t>(count));
  for (std::size_t i = 0; i < FPlotVectors; ++i) {
    const vecvalues* v = i < n ? values->vecsa[i] : nullptr;
    FBatch.Values.push_back(v ? v->creal : 0.0);
    if (FComplex) FBatch.Values.push_back(v ? v->cimag : 0.0);
  }
  ++FBatch.Events.back().Count;
}

void TRelayQueue::OnThreadRunning(bool exited) {
  {
    std::lock_guard<std::mutex> guard(FLock);
    if (exited)
      FState.ThreadEnded = true;
    else
      FState.ThreadStarted = true;
    FSignalled = true;
  }
  FWake.notify_one();
}

void TRelayQueue::OnControlledExit(int status) {
  {
    std::lock_guard<std::mutex> guard(FLock);
    FState.ExitRequested = true;
    FState.ExitStatus = status;
    FSignalled = true;
  }
  FWake.notify_one();
}

void TRelayQueue::SetCapture(bool capture) {
  std::lock_guard<std::mutex> guard(FLock);
  FCapture = capture;
}

void TRelayQueue::Reset() {
  std::lock_guard<std::mutex> guard(FLock);
  FBatch.Clear();
  FState = TRunState{};
  FStride = 0;
  FComplex = false;
  FPlotVectors = 0;
  FLastIsData = false;
  FSignalled = false;
}

void TRelayQueue::Wait(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(FLock);
  FWake.wait_for(lock, timeout, [this] { return FSignalled; });
  FSignalled = false;
}

TRunState TRelayQueue::Take(TBatch& spare) {
  std::lock_guard<std::mutex> guard(FLock);
  std::swap(FBatch, spare);
  FLastIsData = false;
  return FState;
}

TRunState TRelayQueue::State() {
  std::lock_guard<std::mutex> guard(FLock);
  return FState;
}

}  // namespace tolvex::ngspice
