// Drawing a chart as SVG text by hand: ranges and ticks, decimated traces, panels and a legend.
#include "SvgPlot.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

namespace tolvex::ondulix {

namespace {

constexpr double kLargest = std::numeric_limits<double>::max();
constexpr double kPi = 3.14159265358979323846;

struct TSuffix {
  int Exponent;
  const char* Text;
};
constexpr TSuffix kSuffixes[] = {{-15, "f"}, {-12, "p"}, {-9, "n"},  {-6, "u"}, {-3, "m"},
                                 {0, ""},    {3, "k"},   {6, "meg"}, {9, "g"},  {12, "t"}};

const char* SuffixFor(int exponent) {
  for (const TSuffix& suffix : kSuffixes)
    if (suffix.Exponent == exponent) return suffix.Text;
  return "";
}

int FloorDiv3(int value) { return value >= 0 ? value / 3 : -((-value + 2) / 3); }

// Fixed notation in the C locale without trailing zeros; "-0" reads "0".
std::string Fixed(double value, int decimals) {
  char buffer[400];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  std::string text(buffer, result.ptr);
  if (text.find('.') != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  if (text == "-0") text = "0";
  return text;
}

std::string Scientific(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 2);
  std::string text(buffer, result.ptr);
  // 1.50e-18 reads better as 1.5e-18.
  const std::size_t e = text.find('e');
  std::string mantissa = text.substr(0, e);
  if (mantissa.find('.') != std::string::npos) {
    while (mantissa.back() == '0') mantissa.pop_back();
    if (mantissa.back() == '.') mantissa.pop_back();
  }
  return mantissa + text.substr(e);
}

std::string NonFinite(double value) {
  if (std::isnan(value)) return "nan";
  return value > 0 ? "inf" : "-inf";
}

// Pixel coordinates with one decimal, kept to a sane range whatever the data did.
void AppendPixel(std::string& out, double value) {
  if (!std::isfinite(value)) value = 0;
  value = std::clamp(value, -100000.0, 100000.0);
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
  out.append(buffer, result.ptr);
}

std::string Pixel(double value) {
  std::string out;
  AppendPixel(out, value);
  return out;
}

// Distinct on white and for most colour-blind readers; past ten waves the colours come round
// again with a dash pattern.
constexpr const char* kColours[] = {"#1f77b4", "#d62728", "#2ca02c", "#ff7f0e", "#9467bd",
                                    "#8c564b", "#e377c2", "#17becf", "#7f7f7f", "#bcbd22"};
constexpr const char* kDashes[] = {"", "7 4", "2 3", "9 3 2 3"};
constexpr std::size_t kColourCount = sizeof kColours / sizeof kColours[0];
constexpr std::size_t kDashCount = sizeof kDashes / sizeof kDashes[0];

std::string StrokeOf(std::size_t wave) {
  std::string text = std::string("stroke=\"") + kColours[wave % kColourCount] + "\"";
  const char* dash = kDashes[(wave / kColourCount) % kDashCount];
  if (*dash) text += std::string(" stroke-dasharray=\"") + dash + "\"";
  return text;
}

enum TValueKind { vkReal, vkMagnitudeDb, vkPhaseDegrees };

// Calls Visit(x, y) for every point of Wave in Kind's terms, with NaN for a value that cannot
// be drawn. Phase is unwrapped along the wave, so that a filter's roll-off reads as one curve
// instead of jumping between +180 and -180 degrees.
template <class TVisit>
void ForEachValue(const TWaveData& wave, TValueKind kind, TVisit visit) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  double previous = nan;
  double offset = 0;
  for (std::size_t i = 0; i < wave.Size(); ++i) {
    const double re = wave.Y[i];
    const double im = wave.YImag(i);
    double y = re;
    if (kind != vkReal) {
      if (!std::isfinite(re) || !std::isfinite(im)) {
        y = nan;
      } else if (kind == vkMagnitudeDb) {
        y = 20.0 * std::log10(std::hypot(re, im));  // 0 gives -inf, which is left out
      } else {
        y = std::atan2(im, re) * 180.0 / kPi + offset;
        if (std::isfinite(previous)) {
          while (y - previous > 180.0) {
            y -= 360.0;
            offset -= 360.0;
          }
          while (y - previous < -180.0) {
            y += 360.0;
            offset += 360.0;
          }
        }
        previous = y;
      }
    }
    visit(wave.X[i], y);
  }
}

struct TRange {
  double Low = 0, High = 1;
};

// A range around the finite values seen, padded so that traces do not run along the frame; a
// flat one is opened up around its value.
struct TRangeFinder {
  double Low = kLargest, High = -kLargest;
  bool Any = false;
  void Add(double value) {
    if (!std::isfinite(value)) return;
    Low = std::min(Low, value);
    High = std::max(High, value);
    Any = true;
  }
  TRange Padded(double fraction) const {
    if (!Any) return {};
    return Open(Low, High, fraction);
  }
  static TRange Open(double low, double high, double fraction) {
    const double size = std::max(std::fabs(low), std::fabs(high));
    // Halves keep the span finite for values near the largest double.
    const double half = high / 2 - low / 2;
    if (half <= size * 1e-10 || half == 0) {
      const double pad = size > 0 ? size * 0.05 : 1.0;
      return {std::max(-kLargest, low - pad), std::min(kLargest, high + pad)};
    }
    const double pad = half * 2 * fraction;
    return {std::max(-kLargest, low - pad), std::min(kLargest, high + pad)};
  }
};

struct TAxis {
  TRange Range;
  bool Log = false;
  // Where Value lies between P0 (at Low) and P1 (at High).
  double Map(double value, double p0, double p1) const {
    double t = 0;
    if (Log) {
      t = (std::log10(value) - std::log10(Range.Low)) / (std::log10(Range.High) - std::log10(Range.Low));
    } else {
      t = (value / 2 - Range.Low / 2) / (Range.High / 2 - Range.Low / 2);
    }
    return p0 + t * (p1 - p0);
  }
};

struct TTicks {
  std::vector<double> Major, Minor;
  double Step = 0;  // for the labels of a linear axis
};

TTicks LinearAxisTicks(const TRange& range, bool phase, int target) {
  TTicks ticks;
  ticks.Major = phase ? PhaseTicks(range.Low, range.High) : LinearTicks(range.Low, range.High, target);
  if (ticks.Major.size() >= 2) ticks.Step = ticks.Major[1] - ticks.Major[0];
  return ticks;
}

std::string TickText(double value, const TTicks& ticks, bool log) {
  return log ? FormatEngineering(value) : FormatTickLabel(value, ticks.Step);
}

std::string Thousands(std::uint64_t value) {
  std::string digits = std::to_string(value);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

struct TPanel {
  TValueKind Kind;
  double Top, Bottom;
  std::string Title;
  std::vector<std::size_t> Waves;  // indexes into the chart's waves
  TAxis Y;
  TTicks YTicks;
};

// The y axis's title for waves of one unit.
std::string QuantityOf(const std::string& unit) {
  if (unit == "V") return "voltage (V)";
  if (unit == "A") return "current (A)";
  return unit.empty() ? std::string("value") : unit;
}

// Waves of different units do not share an axis: a current of milliamperes would lie flat on a
// scale of volts. A real chart gets one panel per unit, stacked, the units in order of their first
// wave; past kMaxUnitPanels units the rest share the last panel.
constexpr std::size_t kMaxUnitPanels = 4;
constexpr double kPanelsTop = 64;
constexpr double kPanelGap = 34;

std::vector<TPanel> PanelsFor(const TChartData& chart, std::size_t drawn, bool complex) {
  std::vector<TPanel> panels;
  if (complex) {
    std::vector<std::size_t> all;
    for (std::size_t w = 0; w < drawn; ++w) all.push_back(w);
    panels.push_back({vkMagnitudeDb, 0, 300, "magnitude (dB)", all, {}, {}});
    panels.push_back({vkPhaseDegrees, 0, 300, "phase (deg)", all, {}, {}});
  } else {
    std::vector<std::string> units;
    for (std::size_t w = 0; w < drawn; ++w) {
      const std::string& unit = chart.Waves[w].YUnit;
      auto found = std::find(units.begin(), units.end(), unit);
      if (found == units.end() && units.size() < kMaxUnitPanels) found = units.insert(units.end(), unit);
      const std::size_t index =
          found == units.end() ? units.size() - 1 : static_cast<std::size_t>(found - units.begin());
      if (index >= panels.size()) panels.push_back({vkReal, 0, 0, QuantityOf(unit), {}, {}, {}});
      panels[index].Waves.push_back(w);
    }
    if (units.size() == kMaxUnitPanels && panels.back().Waves.size() > 1) {
      bool mixed = false;
      for (const std::size_t w : panels.back().Waves) mixed = mixed || chart.Waves[w].YUnit != units.back();
      if (mixed) panels.back().Title = "other units";
    }
    if (panels.empty()) panels.push_back({vkReal, 0, 0, "value", {}, {}, {}});
    const double height = panels.size() == 1 ? 414 : panels.size() == 2 ? 270 : 210;
    for (TPanel& panel : panels) panel.Bottom = height;
  }
  double top = kPanelsTop;
  for (TPanel& panel : panels) {
    const double height = panel.Bottom - panel.Top;
    panel.Top = top;
    panel.Bottom = top + height;
    top = panel.Bottom + kPanelGap;
  }
  return panels;
}

}  // namespace

std::string FormatTickLabel(double value, double step) {
  if (!std::isfinite(value)) return NonFinite(value);
  const bool stepped = step > 0 && std::isfinite(step);
  if (value == 0 || (stepped && std::fabs(value) < step * 1e-6)) return "0";
  const double size = std::fabs(value);
  int digitExponent = static_cast<int>(std::floor(std::log10(size)));
  // log10 of an exact power of ten may land a hair below it.
  if (std::pow(10.0, digitExponent + 1) <= size) ++digitExponent;
  if (std::pow(10.0, digitExponent) > size) --digitExponent;
  int exponent = FloorDiv3(digitExponent) * 3;
  if (exponent < -15 || exponent > 12) return Scientific(value);
  for (int pass = 0; pass < 2; ++pass) {
    const double scale = std::pow(10.0, exponent);
    const double mantissa = value / scale;
    int decimals = 0;
    if (stepped) {
      const double scaledStep = step / scale;
      if (scaledStep < 1) decimals = std::min(6, static_cast<int>(std::ceil(-std::log10(scaledStep) - 1e-9)));
    } else {
      decimals = std::max(0, 2 - (digitExponent - exponent));
    }
    const double factor = std::pow(10.0, decimals);
    const double rounded = std::round(mantissa * factor) / factor;
    // 999.96 rounds to 1000: that is 1k, not 1000.
    if (std::fabs(rounded) >= 1000 && exponent < 12 && pass == 0) {
      exponent += 3;
      continue;
    }
    return Fixed(rounded, decimals) + SuffixFor(exponent);
  }
  return Scientific(value);
}

std::string FormatEngineering(double value) { return FormatTickLabel(value, 0); }

std::vector<double> LinearTicks(double low, double high, int target) {
  std::vector<double> ticks;
  if (!std::isfinite(low) || !std::isfinite(high) || !(high > low) || target < 1) return ticks;
  const double raw = (high / 2 - low / 2) / target * 2;
  if (!std::isfinite(raw) || raw <= 0) return ticks;
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  const double normal = raw / magnitude;
  const double step = (normal < 1.5 ? 1 : normal < 3 ? 2 : normal < 7 ? 5 : 10) * magnitude;
  if (!std::isfinite(step) || step <= 0) return ticks;
  const double first = std::ceil(low / step - 1e-9) * step;
  for (int k = 0; k < 100; ++k) {
    double value = first + k * step;
    // Near the largest doubles the next tick is infinite.
    if (!std::isfinite(value) || value - step * 1e-9 > high) break;
    if (std::fabs(value) < step * 1e-9) value = 0;
    // A step below the resolution of the values would repeat one tick forever.
    if (!ticks.empty() && value <= ticks.back()) break;
    ticks.push_back(value);
  }
  return ticks;
}

std::vector<double> PhaseTicks(double low, double high) {
  if (!std::isfinite(low) || !std::isfinite(high) || !(high > low)) return {};
  if (high - low >= 30) {
    for (const double step : {15.0, 30.0, 45.0, 90.0, 180.0, 360.0}) {
      const double first = std::ceil(low / step);
      const double last = std::floor(high / step);
      if (last - first + 1 <= 8 && last - first >= 1) {
        std::vector<double> ticks;
        for (double k = first; k <= last; ++k) ticks.push_back(k * step == 0 ? 0.0 : k * step);
        return ticks;
      }
    }
  }
  return LinearTicks(low, high, 6);
}

TLogTicks LogTicks(double low, double high) {
  TLogTicks ticks;
  if (!(low > 0) || !(high > low) || !std::isfinite(high)) return ticks;
  const int first = static_cast<int>(std::floor(std::log10(low)));
  const int last = static_cast<int>(std::ceil(std::log10(high)));
  const int decades = last - first;
  const int every = decades > 10 ? (decades + 7) / 8 : 1;
  auto inside = [&](double value) { return value >= low * (1 - 1e-9) && value <= high * (1 + 1e-9); };
  for (int d = first; d <= last; ++d) {
    const double decade = std::pow(10.0, d);
    if (inside(decade) && ((d % every) + every) % every == 0) ticks.Major.push_back(decade);
    for (int m = 2; m <= 9; ++m) {
      const double value = m * decade;
      if (!inside(value)) continue;
      if (decades <= 2 && (m == 2 || m == 5))
        ticks.Major.push_back(value);
      else if (decades <= 8)
        ticks.Minor.push_back(value);
    }
  }
  std::sort(ticks.Major.begin(), ticks.Major.end());
  return ticks;
}

bool UsesLogXAxis(const TChartData& chart) {
  if (!chart.IsComplex()) return false;
  double low = kLargest, high = 0;
  for (const TWaveData& wave : chart.Waves)
    for (const double x : wave.X) {
      if (!std::isfinite(x)) continue;
      if (x <= 0) return false;
      low = std::min(low, x);
      high = std::max(high, x);
    }
  return high > 0 && high / low >= 10;
}

TTraceDecimator::TTraceDecimator(double left, int columns) : FLeft(left), FColumns(std::max(1, columns)) {}

void TTraceDecimator::Add(double x, double y) {
  const double offset = std::floor(x - FLeft);
  const int column = offset < 0 ? 0 : offset >= FColumns ? FColumns - 1 : static_cast<int>(offset);
  const TPoint point{x, y, FCount++};
  if (column != FColumn) {
    Flush();
    FColumn = column;
    FFirst = FLast = FLow = FHigh = point;
    return;
  }
  FLast = point;
  if (y < FLow.Y) FLow = point;
  if (y > FHigh.Y) FHigh = point;
}

void TTraceDecimator::Flush() {
  if (FColumn < 0) return;
  TPoint kept[4] = {FFirst, FLow, FHigh, FLast};
  std::sort(kept, kept + 4, [](const TPoint& a, const TPoint& b) { return a.Index < b.Index; });
  for (int i = 0; i < 4; ++i)
    if (i == 0 || kept[i].Index != kept[i - 1].Index) FOut.emplace_back(kept[i].X, kept[i].Y);
  FColumn = -1;
}

std::vector<std::pair<double, double>> TTraceDecimator::Finish() {
  Flush();
  if (FOut.size() > kMaxTracePoints) {
    // Only a trace whose x goes back and forth gets here; every Nth point still shows its shape.
    const std::size_t stride = (FOut.size() + kMaxTracePoints - 2) / (kMaxTracePoints - 1);
    std::vector<std::pair<double, double>> thinned;
    for (std::size_t i = 0; i < FOut.size(); i += stride) thinned.push_back(FOut[i]);
    if (thinned.back() != FOut.back()) thinned.push_back(FOut.back());
    FOut.swap(thinned);
  }
  FCount = 0;
  return std::move(FOut);
}

std::string XmlText(std::string_view text, std::size_t maxCharacters) {
  // First the characters as whole UTF-8 sequences, anything else one "?" per byte.
  std::vector<std::string_view> characters;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    if (c < 0x80)
      length = 1;
    else if (c >= 0xC2 && c <= 0xDF)
      length = 2;
    else if (c >= 0xE0 && c <= 0xEF)
      length = 3;
    else if (c >= 0xF0 && c <= 0xF4)
      length = 4;
    bool valid = length > 0 && i + length <= text.size();
    for (std::size_t k = 1; valid && k < length; ++k) valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
    if (valid && length >= 3) {
      const auto c1 = static_cast<unsigned char>(text[i + 1]);
      if (c == 0xE0 && c1 < 0xA0) valid = false;   // overlong
      if (c == 0xED && c1 >= 0xA0) valid = false;  // surrogate
      if (c == 0xF0 && c1 < 0x90) valid = false;   // overlong
      if (c == 0xF4 && c1 >= 0x90) valid = false;  // past U+10FFFF
    }
    if (!valid || (length == 1 && (c < 32 || c == 127))) {
      characters.emplace_back("?");
      ++i;
      continue;
    }
    characters.push_back(text.substr(i, length));
    i += length;
  }
  // A long name is cut in the middle: names of one circuit tend to differ at their ends.
  if (maxCharacters && characters.size() > maxCharacters) {
    const std::size_t kept = maxCharacters > 3 ? maxCharacters - 3 : 1;
    const std::size_t head = (kept + 1) / 2;
    const std::size_t tail = kept - head;
    std::vector<std::string_view> shortened(characters.begin(), characters.begin() + head);
    shortened.emplace_back("...");
    shortened.insert(shortened.end(), characters.end() - tail, characters.end());
    characters.swap(shortened);
  }
  std::string out;
  for (const std::string_view character : characters) {
    if (character.size() != 1) {
      out.append(character);
      continue;
    }
    switch (character[0]) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += character[0];
    }
  }
  return out;
}

bool WriteSvgPlot(std::ostream& out, const TChartData& chart, const std::string& documentName) {
  const bool complex = chart.IsComplex();
  const std::size_t drawn = std::min(chart.Waves.size(), kMaxDrawnWaves);
  const double left = kPlotLeft, right = kPlotRight;

  // The x axis: from the data; from the engine's x-axis range only when there is no data.
  TAxis x;
  x.Log = UsesLogXAxis(chart);
  {
    TRangeFinder finder;
    for (std::size_t w = 0; w < drawn; ++w)
      for (const double value : chart.Waves[w].X) finder.Add(value);
    if (!finder.Any && chart.XAxis.Formatted) {
      finder.Add(chart.XAxis.From);
      finder.Add(chart.XAxis.To);
    }
    if (!finder.Any) {
      x.Range = {0, 1};
    } else if (x.Log || finder.High > finder.Low) {
      x.Range = {finder.Low, finder.High};
    } else {
      x.Range = TRangeFinder::Open(finder.Low, finder.High, 0);
    }
  }

  std::vector<TPanel> panels = PanelsFor(chart, drawn, complex);
  const double height = panels.back().Bottom + 62;

  // Values that cannot be drawn (NaN, infinities, a magnitude of 0 in dB) are left out of the
  // trace and counted, so that the legend can say so.
  std::vector<std::size_t> undrawn(drawn, 0);
  for (TPanel& panel : panels) {
    TRangeFinder finder;
    for (const std::size_t w : panel.Waves) {
      std::size_t skipped = 0;
      ForEachValue(chart.Waves[w], panel.Kind, [&](double px, double py) {
        if (!std::isfinite(px) || !std::isfinite(py) || (x.Log && px <= 0)) {
          ++skipped;
          return;
        }
        finder.Add(py);
      });
      undrawn[w] = std::max(undrawn[w], skipped);
    }
    panel.Y.Range = finder.Padded(0.05);
    panel.YTicks = LinearAxisTicks(panel.Y.Range, panel.Kind == vkPhaseDegrees, 6);
  }
  TTicks xTicks;
  if (x.Log) {
    TLogTicks log = LogTicks(x.Range.Low, x.Range.High);
    xTicks.Major = std::move(log.Major);
    xTicks.Minor = std::move(log.Minor);
  } else {
    xTicks = LinearAxisTicks(x.Range, false, 8);
  }

  std::string svg;
  svg.reserve(64 * 1024);
  const std::string width = std::to_string(kSvgWidth), tall = Pixel(height);
  svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + width + "\" height=\"" + tall + "\" viewBox=\"0 0 " +
         width + " " + tall + "\" font-family=\"DejaVu Sans, Arial, Helvetica, sans-serif\" font-size=\"12\">\n";
  svg += "<title>" + XmlText(chart.Name) + "</title>\n";
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  svg += "<text class=\"title\" x=\"" + Pixel(left) + "\" y=\"26\" font-size=\"16\" font-weight=\"bold\">" +
         XmlText(chart.Name.empty() ? std::string("(unnamed chart)") : chart.Name, 80) + "</text>\n";
  // SVG folds runs of blanks into one, so the parts are set apart by bars.
  std::string subtitle = "document " + (documentName.empty() ? std::string("(none)") : documentName) + "  |  " +
                         std::to_string(chart.Waves.size()) + (chart.Waves.size() == 1 ? " wave" : " waves") + "  |  " +
                         Thousands(chart.PointCount()) + (chart.PointCount() == 1 ? " point" : " points");
  if (complex) subtitle += "  |  magnitude in dB (20 log10 |y|), phase in degrees";
  svg += "<text class=\"subtitle\" x=\"" + Pixel(left) + "\" y=\"46\" fill=\"#555555\">" + XmlText(subtitle, 140) +
         "</text>\n";

  svg += "<defs>\n";
  for (std::size_t p = 0; p < panels.size(); ++p)
    svg += "<clipPath id=\"plot" + std::to_string(p) + "\"><rect x=\"" + Pixel(left) + "\" y=\"" +
           Pixel(panels[p].Top) + "\" width=\"" + Pixel(right - left) + "\" height=\"" +
           Pixel(panels[p].Bottom - panels[p].Top) + "\"/></clipPath>\n";
  svg += "</defs>\n";

  bool anyPoint = false;
  for (std::size_t p = 0; p < panels.size(); ++p) {
    const TPanel& panel = panels[p];
    const bool lastPanel = p + 1 == panels.size();
    svg += std::string("<g class=\"panel ") +
           (panel.Kind == vkMagnitudeDb    ? "magnitude"
            : panel.Kind == vkPhaseDegrees ? "phase"
                                           : "values") +
           "\">\n";
    // Grid first, so that traces are drawn over it.
    svg += "<g class=\"grid\" stroke=\"#e4e4e4\" stroke-width=\"1\">\n";
    for (const double tick : xTicks.Minor) {
      const std::string px = Pixel(x.Map(tick, left, right));
      svg += "<line x1=\"" + px + "\" y1=\"" + Pixel(panel.Top) + "\" x2=\"" + px + "\" y2=\"" + Pixel(panel.Bottom) +
             "\" stroke=\"#f0f0f0\"/>\n";
    }
    for (const double tick : xTicks.Major) {
      const std::string px = Pixel(x.Map(tick, left, right));
      svg += "<line x1=\"" + px + "\" y1=\"" + Pixel(panel.Top) + "\" x2=\"" + px + "\" y2=\"" + Pixel(panel.Bottom) +
             "\"/>\n";
    }
    for (const double tick : panel.YTicks.Major) {
      const std::string py = Pixel(panel.Y.Map(tick, panel.Bottom, panel.Top));
      svg += "<line x1=\"" + Pixel(left) + "\" y1=\"" + py + "\" x2=\"" + Pixel(right) + "\" y2=\"" + py + "\"" +
             (tick == 0 ? " stroke=\"#b0b0b0\"" : "") + "/>\n";
    }
    svg += "</g>\n";
    svg += "<rect class=\"frame\" x=\"" + Pixel(left) + "\" y=\"" + Pixel(panel.Top) + "\" width=\"" +
           Pixel(right - left) + "\" height=\"" + Pixel(panel.Bottom - panel.Top) +
           "\" fill=\"none\" stroke=\"#444444\"/>\n";

    svg += "<g class=\"y-axis linear\" font-size=\"11\" text-anchor=\"end\" fill=\"#222222\">\n";
    for (const double tick : panel.YTicks.Major) {
      const std::string py = Pixel(panel.Y.Map(tick, panel.Bottom, panel.Top));
      svg += "<line x1=\"" + Pixel(left - 5) + "\" y1=\"" + py + "\" x2=\"" + Pixel(left) + "\" y2=\"" + py +
             "\" stroke=\"#444444\"/>\n";
      svg += "<text x=\"" + Pixel(left - 8) + "\" y=\"" + Pixel(panel.Y.Map(tick, panel.Bottom, panel.Top) + 4) +
             "\">" + XmlText(FormatTickLabel(tick, panel.YTicks.Step)) + "</text>\n";
    }
    const std::string middle = Pixel((panel.Top + panel.Bottom) / 2);
    svg += "<text class=\"axis-title\" x=\"20\" y=\"" + middle + "\" text-anchor=\"middle\" font-size=\"12\" " +
           "transform=\"rotate(-90 20 " + middle + ")\">" + XmlText(panel.Title, 60) + "</text>\n";
    svg += "</g>\n";

    // x tick marks on every panel, labels under the last one only: the panels share the axis.
    svg += std::string("<g class=\"x-axis ") + (x.Log ? "log" : "linear") +
           "\" font-size=\"11\" text-anchor=\"middle\" fill=\"#222222\">\n";
    for (const double tick : xTicks.Major) {
      const std::string px = Pixel(x.Map(tick, left, right));
      svg += "<line x1=\"" + px + "\" y1=\"" + Pixel(panel.Bottom) + "\" x2=\"" + px + "\" y2=\"" +
             Pixel(panel.Bottom + 5) + "\" stroke=\"#444444\"/>\n";
      if (lastPanel)
        svg += "<text x=\"" + px + "\" y=\"" + Pixel(panel.Bottom + 19) + "\">" +
               XmlText(TickText(tick, xTicks, x.Log)) + "</text>\n";
    }
    if (lastPanel) {
      std::string title = chart.XAxis.Name.empty() ? std::string("x") : chart.XAxis.Name;
      if (!chart.XAxis.Unit.empty()) title += " (" + chart.XAxis.Unit + ")";
      if (x.Log) title += ", logarithmic";
      svg += "<text class=\"axis-title\" x=\"" + Pixel((left + right) / 2) + "\" y=\"" + Pixel(panel.Bottom + 42) +
             "\" font-size=\"12\">" + XmlText(title, 80) + "</text>\n";
    }
    svg += "</g>\n";

    svg += "<g class=\"traces\" clip-path=\"url(#plot" + std::to_string(p) +
           ")\" fill=\"none\" stroke-width=\"1.5\" stroke-linejoin=\"round\" stroke-linecap=\"round\">\n";
    for (const std::size_t w : panel.Waves) {
      TTraceDecimator decimator(left, kPlotColumns);
      ForEachValue(chart.Waves[w], panel.Kind, [&](double px, double py) {
        if (!std::isfinite(px) || !std::isfinite(py) || (x.Log && px <= 0)) return;
        decimator.Add(x.Map(px, left, right), panel.Y.Map(py, panel.Bottom, panel.Top));
      });
      std::vector<std::pair<double, double>> trace = decimator.Finish();
      // One point is drawn as a dot: a zero-length segment with round caps.
      if (trace.size() == 1) trace.push_back(trace.front());
      anyPoint = anyPoint || !trace.empty();
      svg +=
          "<polyline class=\"trace\" data-wave=\"" + XmlText(chart.Waves[w].Name) + "\" " + StrokeOf(w) + " points=\"";
      for (std::size_t i = 0; i < trace.size(); ++i) {
        if (i) svg += ' ';
        AppendPixel(svg, trace[i].first);
        svg += ',';
        AppendPixel(svg, trace[i].second);
      }
      svg += "\"/>\n";
    }
    svg += "</g>\n";
    svg += "</g>\n";
  }
  if (!anyPoint) {
    const TPanel& first = panels.front();
    svg += "<text class=\"no-data\" x=\"" + Pixel((left + right) / 2) + "\" y=\"" +
           Pixel((first.Top + first.Bottom) / 2) + "\" text-anchor=\"middle\" font-size=\"14\" fill=\"#888888\">" +
           (chart.Waves.empty() ? "no waves" : "no data points to draw") + "</text>\n";
  }

  // The legend beside the plot: a sample of each trace's line and its name.
  std::vector<std::string> units;
  for (std::size_t w = 0; w < drawn; ++w)
    if (std::find(units.begin(), units.end(), chart.Waves[w].YUnit) == units.end())
      units.push_back(chart.Waves[w].YUnit);
  const bool showUnits = units.size() > 1;
  const double legendLeft = right + 18;
  double y = panels.front().Top + 10;
  const double legendBottom = panels.back().Bottom;
  svg += "<g class=\"legend\" font-size=\"12\" fill=\"#222222\">\n";
  for (std::size_t w = 0; w < drawn; ++w) {
    const double entryHeight = undrawn[w] ? 32 : 20;
    if (y + entryHeight > legendBottom - 20 && w + 1 < drawn) {
      svg += "<text x=\"" + Pixel(legendLeft) + "\" y=\"" + Pixel(y + 4) + "\" fill=\"#555555\">and " +
             std::to_string(drawn - w) + " more</text>\n";
      y += 20;
      break;
    }
    const TWaveData& wave = chart.Waves[w];
    svg += "<line x1=\"" + Pixel(legendLeft) + "\" y1=\"" + Pixel(y) + "\" x2=\"" + Pixel(legendLeft + 26) +
           "\" y2=\"" + Pixel(y) + "\" " + StrokeOf(w) + " stroke-width=\"2.5\"/>\n";
    std::string label = wave.Name.empty() ? std::string("(unnamed)") : wave.Name;
    std::string text = XmlText(label, showUnits && !wave.YUnit.empty() ? 21 : 26);
    if (showUnits && !wave.YUnit.empty()) text += " (" + XmlText(wave.YUnit, 6) + ")";
    svg += "<text x=\"" + Pixel(legendLeft + 34) + "\" y=\"" + Pixel(y + 4) + "\">" + text + "</text>\n";
    if (undrawn[w])
      svg += "<text x=\"" + Pixel(legendLeft + 34) + "\" y=\"" + Pixel(y + 17) +
             "\" font-size=\"10\" fill=\"#b00000\">" + Thousands(undrawn[w]) +
             (undrawn[w] == 1 ? " value" : " values") + " not drawn (NaN/inf)</text>\n";
    y += entryHeight;
  }
  if (chart.Waves.size() > drawn)
    svg += "<text x=\"" + Pixel(legendLeft) + "\" y=\"" + Pixel(y + 4) + "\" fill=\"#555555\">" +
           std::to_string(chart.Waves.size() - drawn) + " further waves not drawn</text>\n";
  svg += "</g>\n";
  svg += "</svg>\n";

  out.write(svg.data(), static_cast<std::streamsize>(svg.size()));
  out.flush();
  return static_cast<bool>(out);
}

}  // namespace tolvex::ondulix
