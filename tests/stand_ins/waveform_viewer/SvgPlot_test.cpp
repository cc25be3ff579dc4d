// The plots: well-formed SVG with one trace per wave, engineering-notation ticks, a log frequency
// axis for AC, traces decimated to a bound, and values that cannot be drawn left out safely.
#include "SvgPlot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <sstream>

#include "waveform_viewer/SvgChecker.h"

namespace tolvex::ondulix {
namespace {

using test::ParseSvg;
using test::PolylinePoints;
using test::TSvgDocument;
using test::TSvgElement;

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::string Plot(const TChartData& chart, const std::string& document = "amp") {
  std::ostringstream out;
  EXPECT_TRUE(WriteSvgPlot(out, chart, document));
  return out.str();
}

TSvgDocument Parsed(const std::string& svg) {
  TSvgDocument doc = ParseSvg(svg);
  EXPECT_TRUE(doc.Ok) << doc.Error;
  return doc;
}

std::vector<const TSvgElement*> Traces(const TSvgDocument& doc) {
  std::vector<const TSvgElement*> traces;
  for (const TSvgElement* e : doc.Named("polyline"))
    if (e->HasClass("trace")) traces.push_back(e);
  return traces;
}

std::vector<std::pair<double, double>> PointsOf(const TSvgElement& polyline) {
  std::vector<std::pair<double, double>> points;
  EXPECT_TRUE(PolylinePoints(polyline.Get("points"), points)) << polyline.Get("points").substr(0, 200);
  for (const auto& [x, y] : points) EXPECT_TRUE(std::isfinite(x) && std::isfinite(y));
  return points;
}

std::vector<std::string> TextsIn(const TSvgDocument& doc) {
  std::vector<std::string> texts;
  for (const TSvgElement* e : doc.Named("text")) texts.push_back(e->Text);
  return texts;
}

bool HasText(const TSvgDocument& doc, const std::string& text) {
  const std::vector<std::string> texts = TextsIn(doc);
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

const TSvgElement* GroupWithClass(const TSvgDocument& doc, const std::string& name) {
  for (const TSvgElement* e : doc.Named("g"))
    if (e->HasClass(name)) return e;
  return nullptr;
}

TWaveData Wave(const std::string& name, const std::string& unit) {
  TWaveData wave;
  wave.Name = name;
  wave.YUnit = unit;
  return wave;
}

TChartData Transient() {
  TChartData chart;
  chart.Name = "tran";
  chart.XAxis.Name = "time";
  chart.XAxis.Unit = "s";
  TWaveData out = Wave("v(out)", "V"), in = Wave("v(in)", "V"), current = Wave("i(v1)", "A");
  for (int i = 0; i <= 200; ++i) {
    const double t = i * 1e-5;
    out.Add(t, 0, 1 - std::exp(-t / 5e-4), 0);
    in.Add(t, 0, 1, 0);
    current.Add(t, 0, 1e-3 * std::exp(-t / 5e-4), 0);
  }
  chart.Waves = {out, in, current};
  return chart;
}

// A first-order low pass from 1 Hz to 1 MHz, 20 points a decade.
TChartData Ac(double from = 1, double decades = 6) {
  TChartData chart;
  chart.Name = "ac";
  chart.XAxis.Name = "frequency";
  chart.XAxis.Unit = "Hz";
  TWaveData out = Wave("v(out)", "V"), mid = Wave("v(mid)", "V");
  for (int i = 0; i <= decades * 20; ++i) {
    const double f = from * std::pow(10.0, i / 20.0);
    const double w = f / 1e3;
    out.Add(f, 0, 1 / (1 + w * w), -w / (1 + w * w));
    mid.Add(f, 0, 0.5 / (1 + w * w), -0.5 * w / (1 + w * w));
  }
  chart.Waves = {out, mid};
  return chart;
}

TEST(SvgPlot, ARealChartIsWellFormedWithOneTracePerWaveInItsOwnColour) {
  const TSvgDocument doc = Parsed(Plot(Transient()));
  const auto traces = Traces(doc);
  ASSERT_EQ(traces.size(), 3u);
  std::set<std::string> names, colours;
  for (const TSvgElement* trace : traces) {
    names.insert(trace->Get("data-wave"));
    colours.insert(trace->Get("stroke"));
    EXPECT_GE(PointsOf(*trace).size(), 2u);
  }
  EXPECT_EQ(names, (std::set<std::string>{"v(out)", "v(in)", "i(v1)"}));
  EXPECT_EQ(colours.size(), 3u);
  // Volts and amperes get a panel each, under one time axis with its unit.
  EXPECT_TRUE(HasText(doc, "voltage (V)"));
  EXPECT_TRUE(HasText(doc, "current (A)"));
  EXPECT_TRUE(HasText(doc, "time (s)"));
  const TSvgElement* xAxis = GroupWithClass(doc, "x-axis");
  ASSERT_NE(xAxis, nullptr);
  EXPECT_TRUE(xAxis->HasClass("linear"));
  // Tick labels in engineering notation, the legend with every wave's name.
  for (const char* label : {"0", "200u", "1m", "1.2m", "2m"}) EXPECT_TRUE(HasText(doc, label)) << label;
  const TSvgElement* legend = GroupWithClass(doc, "legend");
  ASSERT_NE(legend, nullptr);
  for (const char* name : {"v(out) (V)", "v(in) (V)", "i(v1) (A)"}) EXPECT_TRUE(HasText(doc, name)) << name;
}

TEST(SvgPlot, AnAcChartDrawsMagnitudeInDbAndPhaseOnALogFrequencyAxis) {
  const TSvgDocument doc = Parsed(Plot(Ac()));
  // Each wave has a trace in each panel.
  EXPECT_EQ(Traces(doc).size(), 4u);
  EXPECT_NE(GroupWithClass(doc, "magnitude"), nullptr);
  EXPECT_NE(GroupWithClass(doc, "phase"), nullptr);
  EXPECT_TRUE(HasText(doc, "magnitude (dB)"));
  EXPECT_TRUE(HasText(doc, "phase (deg)"));
  EXPECT_TRUE(HasText(doc, "frequency (Hz), logarithmic"));
  const TSvgElement* xAxis = GroupWithClass(doc, "x-axis");
  ASSERT_NE(xAxis, nullptr);
  EXPECT_TRUE(xAxis->HasClass("log"));
  for (const char* label : {"1", "10", "100", "1k", "10k", "100k", "1meg"}) EXPECT_TRUE(HasText(doc, label)) << label;
  // Phase ticks fall on multiples of 15 degrees, down to the -90 of a first-order pole.
  EXPECT_TRUE(HasText(doc, "-90"));
  EXPECT_TRUE(HasText(doc, "-45"));
}

TEST(SvgPlot, TheLogAxisIsChosenOnlyForPositiveComplexDataSpanningADecade) {
  struct TCase {
    const char* Name;
    TChartData Chart;
    bool Log;
  };
  TChartData realWide = Transient();
  for (TWaveData& w : realWide.Waves)
    for (double& x : w.X) x = x * 1e6 + 1;
  TChartData withZero = Ac();
  withZero.Waves[0].X[0] = 0;
  TChartData withNegative = Ac();
  withNegative.Waves[1].X[3] = -5;
  TChartData withNan = Ac();
  withNan.Waves[0].X[2] = kNan;
  const TCase cases[] = {
      {"six decades", Ac(), true},
      {"exactly one decade", Ac(100, 1), true},
      {"half a decade", Ac(100, 0.5), false},
      {"a real chart over six decades", realWide, false},
      {"a zero frequency", withZero, false},
      {"a negative x", withNegative, false},
      {"a NaN x is left out", withNan, true},
      {"no points", TChartData{}, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(UsesLogXAxis(c.Chart), c.Log);
    const TSvgDocument doc = Parsed(Plot(c.Chart));
    const TSvgElement* xAxis = GroupWithClass(doc, "x-axis");
    ASSERT_NE(xAxis, nullptr);
    EXPECT_EQ(xAxis->HasClass("log"), c.Log);
  }
}

TEST(SvgPlot, AMillionPointTransientIsDecimatedToTheBoundAndKeepsItsSpike) {
  TChartData chart;
  chart.Name = "tran";
  TWaveData wave = Wave("v(out)", "V");
  const int count = 1000000;
  for (int i = 0; i < count; ++i) wave.Add(i * 1e-9, 0, i == count / 2 ? 5.0 : std::sin(i * 1e-4), 0);
  chart.Waves.push_back(std::move(wave));
  const std::string svg = Plot(chart);
  EXPECT_LT(svg.size(), 150u * 1024) << "the picture stays small whatever the number of points";
  const TSvgDocument doc = Parsed(svg);
  const auto traces = Traces(doc);
  ASSERT_EQ(traces.size(), 1u);
  const auto points = PointsOf(*traces[0]);
  EXPECT_LE(points.size(), kMaxTracePoints);
  EXPECT_GT(points.size(), static_cast<std::size_t>(kPlotColumns)) << "every column is drawn";
  // The one-sample spike to 5 V is the highest point of the picture (the lowest y).
  const double top =
      std::min_element(points.begin(), points.end(), [](auto& a, auto& b) { return a.second < b.second; })->second;
  std::size_t atTop = 0;
  for (const auto& p : points) atTop += p.second == top;
  EXPECT_EQ(atTop, 1u);
  EXPECT_LT(top, 100.0) << "near the top of the panel";
}

TEST(TraceDecimator, KeepsFirstLowestHighestAndLastOfEachColumnInOrder) {
  TTraceDecimator decimator(0, 10);
  // Column 0: five points; column 1: one point; column 3: two points.
  for (const auto& [x, y] : std::vector<std::pair<double, double>>{
           {0.1, 5}, {0.2, 9}, {0.3, 1}, {0.4, 4}, {0.5, 6}, {1.5, 2}, {3.2, 7}, {3.3, 7}})
    decimator.Add(x, y);
  EXPECT_EQ(decimator.Finish(), (std::vector<std::pair<double, double>>{
                                    {0.1, 5}, {0.2, 9}, {0.3, 1}, {0.5, 6}, {1.5, 2}, {3.2, 7}, {3.3, 7}}));
}

TEST(TraceDecimator, ATraceThatGoesBackAndForthStaysWithinTheBound) {
  TTraceDecimator decimator(kPlotLeft, kPlotColumns);
  // Every point in another column than the one before: nothing merges into runs.
  for (int i = 0; i < 100000; ++i) decimator.Add(kPlotLeft + (i % 2 ? 10.5 : 500.5), i % 7);
  const auto points = decimator.Finish();
  EXPECT_LE(points.size(), kMaxTracePoints);
  EXPECT_GT(points.size(), kMaxTracePoints / 2);
  EXPECT_EQ(points.back(), (std::pair<double, double>{kPlotLeft + 10.5, 99999 % 7})) << "the last point stays";
}

TEST(SvgPlot, ValuesThatCannotBeDrawnAreLeftOutAndCounted) {
  TChartData chart;
  chart.Name = "tran";
  TWaveData wave = Wave("v(out)", "V");
  const double ys[] = {0, kNan, 1, kInf, 2, -kInf, 3};
  for (int i = 0; i < 7; ++i) wave.Add(i, 0, ys[i], 0);
  wave.Add(kNan, 0, 4, 0);
  chart.Waves.push_back(wave);
  TChartData ac = Ac();
  ac.Waves[0].Y[5] = 0;  // a magnitude of 0 is -inf dB
  ac.Waves[0].YI[5] = 0;
  for (const TChartData* c : {&chart, &ac}) {
    const std::string svg = Plot(*c);
    EXPECT_EQ(svg.find("nan"), std::string::npos);
    EXPECT_EQ(svg.find("inf\""), std::string::npos);
    const TSvgDocument doc = Parsed(svg);
    for (const TSvgElement* trace : Traces(doc)) PointsOf(*trace);
  }
  const TSvgDocument doc = Parsed(Plot(chart));
  EXPECT_EQ(PointsOf(*Traces(doc)[0]).size(), 4u);
  EXPECT_TRUE(HasText(doc, "4 values not drawn (NaN/inf)"));
  EXPECT_TRUE(HasText(Parsed(Plot(ac)), "1 value not drawn (NaN/inf)"));
}

TEST(SvgPlot, EmptyChartsAndExtremeValuesStillMakeAValidPicture) {
  struct TCase {
    const char* Name;
    TChartData Chart;
    std::size_t Traces;
  };
  TChartData noWaves;
  noWaves.Name = "op";
  TChartData noPoints;
  noPoints.Waves.push_back(Wave("v(a)", "V"));
  TChartData onePoint;
  onePoint.Waves.push_back(Wave("v(a)", "V"));
  onePoint.Waves[0].Add(1, 0, 2.5, 0);
  TChartData huge;
  huge.Waves.push_back(Wave("v(a)", "V"));
  huge.Waves[0].Add(-std::numeric_limits<double>::max(), 0, -std::numeric_limits<double>::max(), 0);
  huge.Waves[0].Add(std::numeric_limits<double>::max(), 0, std::numeric_limits<double>::max(), 0);
  TChartData flat;
  flat.Waves.push_back(Wave("v(a)", "V"));
  for (int i = 0; i < 10; ++i) flat.Waves[0].Add(1e20, 0, 1e-20, 0);
  TChartData onlyNan;
  onlyNan.Waves.push_back(Wave("v(a)", "V"));
  onlyNan.Waves[0].Add(kNan, 0, kNan, 0);
  const TCase cases[] = {{"no waves", noWaves, 0},     {"no points", noPoints, 1}, {"one point", onePoint, 1},
                         {"largest doubles", huge, 1}, {"flat", flat, 1},          {"only NaN", onlyNan, 1}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TSvgDocument doc = Parsed(Plot(c.Chart, ""));
    EXPECT_EQ(Traces(doc).size(), c.Traces);
    for (const TSvgElement* trace : Traces(doc)) PointsOf(*trace);
    // No tick runs off to infinity.
    for (const std::string& text : TextsIn(doc)) {
      EXPECT_NE(text, "nan");
      EXPECT_NE(text, "inf");
      EXPECT_NE(text, "-inf");
    }
  }
  // A single point is drawn as a dot.
  EXPECT_EQ(PointsOf(*Traces(Parsed(Plot(onePoint)))[0]).size(), 2u);
  EXPECT_TRUE(HasText(Parsed(Plot(noWaves)), "no waves"));
}

TEST(SvgPlot, NamesAreEscapedAndTextThatIsNotUtf8IsReplaced) {
  TChartData chart;
  chart.Name = "<tran> & \"more\"";
  TWaveData wave = Wave("v(a<b)&\x01\xff\xc3\xa9", "V");
  wave.Add(0, 0, 0, 0);
  wave.Add(1, 0, 1, 0);
  chart.Waves.push_back(wave);
  const std::string svg = Plot(chart, "doc & <co>");
  const TSvgDocument doc = Parsed(svg);
  EXPECT_TRUE(HasText(doc, "<tran> & \"more\""));
  ASSERT_EQ(Traces(doc).size(), 1u);
  EXPECT_EQ(Traces(doc)[0]->Get("data-wave"), "v(a<b)&??\xc3\xa9");
}

TEST(SvgPlot, ManyWavesAreDrawnUpToTheBoundAndTheRestCounted) {
  TChartData chart;
  for (std::size_t w = 0; w < kMaxDrawnWaves + 5; ++w) {
    chart.Waves.push_back(Wave("v(n" + std::to_string(w) + ")", "V"));
    chart.Waves.back().Add(0, 0, static_cast<double>(w), 0);
    chart.Waves.back().Add(1, 0, static_cast<double>(w), 0);
  }
  const TSvgDocument doc = Parsed(Plot(chart));
  EXPECT_EQ(Traces(doc).size(), kMaxDrawnWaves);
  EXPECT_TRUE(HasText(doc, "5 further waves not drawn"));
  // Waves past the palette still differ from the first ones: the colours come back dashed.
  const auto traces = Traces(doc);
  EXPECT_EQ(traces[0]->Get("stroke"), traces[10]->Get("stroke"));
  EXPECT_NE(traces[0]->Get("stroke-dasharray"), traces[10]->Get("stroke-dasharray"));
}

TEST(XmlText, CutsLongTextInTheMiddle) {
  EXPECT_EQ(XmlText("v(node_with_a_long_name_13)", 16), "v(node_...me_13)");
  EXPECT_EQ(XmlText("short", 16), "short");
  // Characters, not bytes: a UTF-8 sequence is never split.
  EXPECT_EQ(XmlText("\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9", 5), "\xc3\xa9...\xc3\xa9");
  EXPECT_EQ(XmlText("\xed\xa0\x80 \xe0\x80\xaf", 0), "??? ???") << "surrogates and overlong forms are no UTF-8";
}

TEST(EngineeringNotation, UsesSpiceScaleSuffixes) {
  struct TCase {
    double Value;
    const char* Text;
  } cases[] = {
      {0, "0"},        {1e-3, "1m"},      {1e4, "10k"},   {1e6, "1meg"},    {2.5e-6, "2.5u"},    {-0.0025, "-2.5m"},
      {1e-15, "1f"},   {4.7e-12, "4.7p"}, {33e-9, "33n"}, {1e9, "1g"},      {1e12, "1t"},        {1, "1"},
      {999.96, "1k"},  {123456, "123k"},  {0.5, "500m"},  {1e-18, "1e-18"}, {2.5e16, "2.5e+16"}, {kNan, "nan"},
      {-kInf, "-inf"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(FormatEngineering(c.Value), c.Text);
  }
}

TEST(TickLabels, ShowAsManyDigitsAsTheStepNeeds) {
  struct TCase {
    double Value, Step;
    const char* Text;
  } cases[] = {
      {1.2e-3, 2e-4, "1.2m"},   {4e-4, 2e-4, "400u"}, {0.30000000000000004, 0.1, "300m"},
      {1e-17, 0.1, "0"},        {2.5, 0.5, "2.5"},    {-45, 15, "-45"},
      {1.05e3, 50, "1.05k"},    {20, 10, "20"},       {0.999999999, 0.1, "1"},
      {1.0000001e6, 1, "1meg"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(FormatTickLabel(c.Value, c.Step), c.Text);
  }
}

TEST(Ticks, AreRoundNumbersInsideTheRange) {
  struct TCase {
    const char* Name;
    std::vector<double> Ticks;
    std::vector<double> Expected;
  } cases[] = {
      {"0 to 1m", LinearTicks(0, 1e-3, 6), {0, 2e-4, 4e-4, 6e-4, 8e-4, 1e-3}},
      {"-2.6 to 2.6", LinearTicks(-2.6, 2.6, 6), {-2, -1, 0, 1, 2}},
      {"flat", LinearTicks(1, 1, 6), {}},
      {"infinite", LinearTicks(0, kInf, 6), {}},
      {"reversed", LinearTicks(2, 1, 6), {}},
      {"phase -270 to 0", PhaseTicks(-270, 0), {-270, -225, -180, -135, -90, -45, 0}},
      {"phase -95 to 5", PhaseTicks(-95, 5), {-90, -75, -60, -45, -30, -15, 0}},
      {"phase of a few degrees", PhaseTicks(-3, 3), {-3, -2, -1, 0, 1, 2, 3}},
      {"decades", LogTicks(1, 1e6).Major, {1, 10, 100, 1e3, 1e4, 1e5, 1e6}},
      {"within two decades", LogTicks(2, 20).Major, {2, 5, 10, 20}},
      {"many decades", LogTicks(1e-3, 1e12).Major, {1e-2, 1, 1e2, 1e4, 1e6, 1e8, 1e10, 1e12}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    ASSERT_EQ(c.Ticks.size(), c.Expected.size());
    for (std::size_t i = 0; i < c.Ticks.size(); ++i)
      EXPECT_NEAR(c.Ticks[i], c.Expected[i], 1e-9 * (1 + std::fabs(c.Expected[i])));
  }
  // Minor ticks mark 2 to 9 times each decade where there are not too many decades.
  EXPECT_EQ(LogTicks(1, 100).Minor.size(), 2u * 6u);  // 3, 4, 6, 7, 8, 9 of two decades (2 and 5 are labelled)
  EXPECT_EQ(LogTicks(1, 1e3).Minor.size(), 3u * 8u);
  EXPECT_TRUE(LogTicks(1, 1e9).Minor.empty());
}

}  // namespace
}  // namespace tolvex::ondulix
