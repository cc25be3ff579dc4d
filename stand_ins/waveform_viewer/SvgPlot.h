// A chart drawn as a hand-written SVG picture: axes with engineering-notation ticks, a legend and
// one decimated trace per wave; AC charts (complex points) as magnitude and phase panels.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "WaveformData.h"

namespace tolvex::ondulix {

// The picture's fixed geometry, in pixels. The plot area's width is also the number of columns
// a trace is decimated to.
inline constexpr int kSvgWidth = 1000;
inline constexpr int kPlotLeft = 84;
inline constexpr int kPlotRight = 750;
inline constexpr int kPlotColumns = kPlotRight - kPlotLeft;
// At most first, lowest, highest and last point of each column.
inline constexpr std::size_t kMaxTracePoints = 4 * static_cast<std::size_t>(kPlotColumns);
// More waves than this are listed as a count in the legend and not drawn: nobody can tell them
// apart, and the file would grow with every one.
inline constexpr std::size_t kMaxDrawnWaves = 100;

// Scale suffixes as SPICE writes them, in lower case: f p n u m, k meg g t. Values outside
// 1f to 1000t are written in scientific notation.
std::string FormatEngineering(double value);             // three significant digits: 1m, 10k, 1meg, 2.5u
std::string FormatTickLabel(double value, double step);  // as many digits as ticks Step apart need

// About Target ticks at multiples of 1, 2 or 5 times a power of ten, from Low to High.
std::vector<double> LinearTicks(double low, double high, int target);
// Ticks for degrees: multiples of 15, 30, 45, 90, 180 or 360 where they give at most 8.
std::vector<double> PhaseTicks(double low, double high);

struct TLogTicks {
  std::vector<double> Major;  // labelled
  std::vector<double> Minor;  // grid lines only
};
// Decades from Low to High (both > 0); with two decades or less 2 and 5 times a decade are
// labelled too, and with many decades only every few are.
TLogTicks LogTicks(double low, double high);

// An AC chart whose finite x values are all positive and span at least a decade.
bool UsesLogXAxis(const TChartData& chart);

// Reduces a trace in pixel space to what can be seen: of each run of consecutive points that
// fall into one pixel column it keeps the first, the lowest, the highest and the last, in their
// order. For x values that only grow that draws the same picture as every point; a trace that
// goes back and forth is thinned further so that it never exceeds kMaxTracePoints.
class TTraceDecimator {
 public:
  TTraceDecimator(double left, int columns);
  void Add(double x, double y);
  std::vector<std::pair<double, double>> Finish();

 private:
  struct TPoint {
    double X, Y;
    std::size_t Index;
  };
  void Flush();

  double FLeft;
  int FColumns;
  std::size_t FCount = 0;
  int FColumn = -1;
  TPoint FFirst{}, FLast{}, FLow{}, FHigh{};
  std::vector<std::pair<double, double>> FOut;
};

// Writes the chart's picture; DocumentName goes into its subtitle. False when the stream failed.
bool WriteSvgPlot(std::ostream& out, const TChartData& chart, const std::string& documentName);

// Text made safe for XML: markup characters escaped, control characters and bytes that are not
// UTF-8 turned into "?", cut in the middle to MaxCharacters characters with "..." (0: no limit).
std::string XmlText(std::string_view text, std::size_t maxCharacters = 0);

}  // namespace tolvex::ondulix
