// What the waveform viewer keeps of a run and what a waveform file holds: charts, x axes, waves and points.
// Header-only and free of the rest of the tree, so that tests and tools can read a file on their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tolvex::ondulix {

// One wave's points as parallel arrays of doubles: a million points of a transient cost 16 MB
// and no allocation each. Imaginary parts are kept only once a point has one; until then XI and
// YI stay empty and every imaginary part reads as 0, so real waves never pay for them.
struct TWaveData {
  std::string Name;
  std::string YUnit;
  // The values A to E of the creating call; what they mean is the engine's business.
  std::int32_t A = 0;
  std::uint8_t B = 0, C = 0, D = 0;
  std::int32_t E = 0;
  std::vector<double> X, Y;
  std::vector<double> XI, YI;

  std::size_t Size() const { return X.size(); }
  bool IsComplex() const { return !XI.empty() || !YI.empty(); }
  double XImag(std::size_t i) const { return XI.empty() ? 0.0 : XI[i]; }
  double YImag(std::size_t i) const { return YI.empty() ? 0.0 : YI[i]; }

  // All four arrays stay the same length even when memory runs out half-way: the point is then
  // not added and the exception goes on to the caller. A NaN imaginary part counts as one.
  void Add(double rx, double ix, double ry, double iy) {
    const std::size_t n = X.size();
    const bool keepXI = !XI.empty() || ix != 0;
    const bool keepYI = !YI.empty() || iy != 0;
    try {
      if (keepXI) XI.resize(n, 0.0);
      if (keepYI) YI.resize(n, 0.0);
      X.push_back(rx);
      Y.push_back(ry);
      if (keepXI) XI.push_back(ix);
      if (keepYI) YI.push_back(iy);
    } catch (...) {
      X.resize(n);
      Y.resize(n);
      if (XI.size() > n) XI.resize(n);
      if (YI.size() > n) YI.resize(n);
      throw;
    }
  }
};

// From and To are the values D and E of the x-axis calls, taken as the axis's range. Name and
// Unit are what the axis shows ("time", "s"); the engine does not send them, the viewer names the
// axis from the chart when it writes.
struct TXAxisData {
  bool Formatted = false;
  std::int32_t A = 0, B = 0, C = 0;
  double From = 0, To = 0;
  std::string Name;
  std::string Unit;
};

struct TChartData {
  std::string Name;
  // The values A to C of the creating call (Chart_Create or NewChart).
  std::int32_t A = 0, B = 0, C = 0;
  TXAxisData XAxis;
  std::vector<TWaveData> Waves;
  std::uint64_t UpdateCount = 0;

  bool IsComplex() const {
    for (const TWaveData& wave : Waves)
      if (wave.IsComplex()) return true;
    return false;
  }
  std::size_t PointCount() const {
    std::size_t count = 0;
    for (const TWaveData& wave : Waves) count += wave.Size();
    return count;
  }
};

struct TWaveformDocument {
  std::string DocumentName;
  std::vector<TChartData> Charts;
};

}  // namespace tolvex::ondulix
