// The waveform file: what is written reads back bit for bit, and damaged files are refused with
// the line that is wrong.
#include "SdfFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <locale>
#include <sstream>

namespace tolvex::ondulix {
namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Bit for bit, except that every NaN is one NaN (the file keeps no NaN payloads).
bool SameDouble(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return std::memcmp(&a, &b, sizeof a) == 0;
}

void ExpectSameValues(const std::vector<double>& expected, const std::vector<double>& actual, const char* what) {
  ASSERT_EQ(expected.size(), actual.size()) << what;
  for (std::size_t i = 0; i < expected.size(); ++i)
    EXPECT_TRUE(SameDouble(expected[i], actual[i]))
        << what << "[" << i << "]: " << expected[i] << " read as " << actual[i];
}

void ExpectSameDocument(const TWaveformDocument& expected, const TWaveformDocument& actual) {
  EXPECT_EQ(expected.DocumentName, actual.DocumentName);
  ASSERT_EQ(expected.Charts.size(), actual.Charts.size());
  for (std::size_t c = 0; c < expected.Charts.size(); ++c) {
    SCOPED_TRACE("chart " + std::to_string(c));
    const TChartData& e = expected.Charts[c];
    const TChartData& a = actual.Charts[c];
    EXPECT_EQ(e.Name, a.Name);
    EXPECT_EQ(std::tie(e.A, e.B, e.C, e.UpdateCount), std::tie(a.A, a.B, a.C, a.UpdateCount));
    EXPECT_EQ(e.XAxis.Name, a.XAxis.Name);
    EXPECT_EQ(e.XAxis.Unit, a.XAxis.Unit);
    EXPECT_EQ(std::tie(e.XAxis.Formatted, e.XAxis.A, e.XAxis.B, e.XAxis.C),
              std::tie(a.XAxis.Formatted, a.XAxis.A, a.XAxis.B, a.XAxis.C));
    EXPECT_TRUE(SameDouble(e.XAxis.From, a.XAxis.From));
    EXPECT_TRUE(SameDouble(e.XAxis.To, a.XAxis.To));
    ASSERT_EQ(e.Waves.size(), a.Waves.size());
    for (std::size_t w = 0; w < e.Waves.size(); ++w) {
      SCOPED_TRACE("wave " + std::to_string(w));
      const TWaveData& ew = e.Waves[w];
      const TWaveData& aw = a.Waves[w];
      EXPECT_EQ(ew.Name, aw.Name);
      EXPECT_EQ(ew.YUnit, aw.YUnit);
      EXPECT_EQ(std::tie(ew.A, ew.B, ew.C, ew.D, ew.E), std::tie(aw.A, aw.B, aw.C, aw.D, aw.E));
      EXPECT_EQ(ew.IsComplex(), aw.IsComplex());
      ExpectSameValues(ew.X, aw.X, "X");
      ExpectSameValues(ew.Y, aw.Y, "Y");
      for (std::size_t i = 0; i < ew.Size() && i < aw.Size(); ++i) {
        EXPECT_TRUE(SameDouble(ew.XImag(i), aw.XImag(i))) << "XI[" << i << "]";
        EXPECT_TRUE(SameDouble(ew.YImag(i), aw.YImag(i))) << "YI[" << i << "]";
      }
    }
  }
}

// A document with what a run can send: a transient with awkward values, an AC chart, a chart
// without waves, a wave without points, and names that need escapes.
TWaveformDocument AwkwardDocument() {
  TWaveformDocument document;
  document.DocumentName = "amp \"v2\"";

  TChartData& tran = document.Charts.emplace_back();
  tran.Name = "tran";
  tran.A = -1;
  tran.B = 1;
  tran.C = 2147483647;
  tran.UpdateCount = 12;
  tran.XAxis = {true, 3, -4, 5, 0, 1e-3, "time", "s"};
  TWaveData& out = tran.Waves.emplace_back();
  out.Name = "v(out)";
  out.YUnit = "V";
  out.A = 7;
  out.B = 255;
  out.C = 0;
  out.D = 1;
  out.E = -2147483647 - 1;
  const double values[] = {0.0,
                           -0.0,
                           0.1 + 0.2,
                           -2.5e-3,
                           1.0 / 3.0,
                           std::numeric_limits<double>::denorm_min(),
                           std::numeric_limits<double>::max(),
                           -std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::min(),
                           kNan,
                           kInf,
                           -kInf,
                           123456789012345678.0};
  double t = 0;
  for (const double v : values) out.Add(t += 1e-9, 0, v, 0);
  TWaveData& current = tran.Waves.emplace_back();
  current.Name = std::string("i(\\\"odd\"\tname\n\x01\x7f caf\xc3\xa9)");
  current.YUnit = "A";
  current.Add(0, 0, 1e-3, 0);

  TChartData& ac = document.Charts.emplace_back();
  ac.Name = "ac";
  ac.XAxis = {false, 0, 0, 0, 1, 1e9, "frequency", "Hz"};
  TWaveData& gain = ac.Waves.emplace_back();
  gain.Name = "v(out)";
  gain.YUnit = "V";
  gain.Add(1, 0, 1, 0);  // a first point without imaginary parts
  gain.Add(1e3, 0, 0.5, -0.5);
  gain.Add(1e6, 2.5, kNan, -kInf);

  document.Charts.emplace_back().Name = "";  // no waves at all
  TChartData& noPoints = document.Charts.emplace_back();
  noPoints.Name = std::string(255, 'n');
  noPoints.Waves.emplace_back().Name = "v(never)";
  return document;
}

std::string Written(const TWaveformDocument& document) {
  std::ostringstream out;
  EXPECT_TRUE(WriteSdf(out, document));
  return out.str();
}

TEST(SdfRoundTrip, EveryValueNameAndFieldReadsBackTheSame) {
  const TWaveformDocument document = AwkwardDocument();
  const std::string text = Written(document);
  std::istringstream in(text);
  const TSdfReadResult read = ReadSdf(in);
  ASSERT_TRUE(read.Ok) << read.Error << "\n" << text;
  ExpectSameDocument(document, read.Document);
  // The complex wave keeps its imaginary parts; the real ones have none to keep.
  EXPECT_EQ(read.Document.Charts[1].Waves[0].YI.size(), 3u);
  EXPECT_TRUE(read.Document.Charts[0].Waves[0].YI.empty());
  // Written again, the file is the same text: nothing drifts from one round trip to the next.
  EXPECT_EQ(Written(read.Document), text);
}

TEST(SdfRoundTrip, TheLinesAreTheDocumentedOnes) {
  TWaveformDocument document;
  document.DocumentName = "amp";
  TChartData& tran = document.Charts.emplace_back();
  tran.Name = "tran";
  tran.XAxis = {true, 0, 0, 0, 0, 2e-3, "time", "s"};
  tran.Waves.emplace_back().Name = "v(out)";
  tran.Waves[0].YUnit = "V";
  tran.Waves[0].Add(0, 0, 0, 0);
  tran.Waves[0].Add(1e-3, 0, 0.632, 0);
  TChartData& ac = document.Charts.emplace_back();
  ac.Name = "ac";
  ac.XAxis = {false, 0, 0, 0, 0, 0, "frequency", "Hz"};
  ac.Waves.emplace_back().Name = "v(out)";
  ac.Waves[0].YUnit = "V";
  ac.Waves[0].Add(1e6, 0, 0.001, -0.03);
  EXPECT_EQ(Written(document),
            "SimData 1\n"
            "# Waveforms written by the viewer; format in docs/waveform-viewer.md\n"
            "document name=\"amp\"\n"
            "chart name=\"tran\" a=0 b=0 c=0 updates=0\n"
            "x-axis name=\"time\" unit=\"s\" formatted=1 from=0 to=0.002 a=0 b=0 c=0\n"
            "wave name=\"v(out)\" unit=\"V\" values=real points=2 a=0 b=0 c=0 d=0 e=0\n"
            "0 0\n"
            "0.001 0.632\n"
            "chart name=\"ac\" a=0 b=0 c=0 updates=0\n"
            "x-axis name=\"frequency\" unit=\"Hz\" formatted=0 from=0 to=0 a=0 b=0 c=0\n"
            "wave name=\"v(out)\" unit=\"V\" values=complex points=1 a=0 b=0 c=0 d=0 e=0\n"
            "1e+06 0 0.001 -0.03\n"
            "end\n");
}

// A stream whose locale groups digits by threes and writes a decimal comma, as some users' do.
struct TGroupingPunctuation : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};

TEST(SdfRoundTrip, AStreamsLocaleNeverReachesTheFile) {
  TWaveformDocument document;
  TChartData& chart = document.Charts.emplace_back();
  chart.UpdateCount = 1234567;
  TWaveData& wave = chart.Waves.emplace_back();
  for (int i = 0; i < 1500; ++i) wave.Add(i * 0.5, 0, -1.25 * i, 0);
  std::ostringstream out;
  out.imbue(std::locale(std::locale::classic(), new TGroupingPunctuation));
  ASSERT_TRUE(WriteSdf(out, document));
  EXPECT_NE(out.str().find("points=1500 "), std::string::npos);
  std::istringstream in(out.str());
  const TSdfReadResult read = ReadSdf(in);
  ASSERT_TRUE(read.Ok) << read.Error;
  ExpectSameDocument(document, read.Document);
}

TEST(SdfReader, AcceptsCommentsBlankLinesCrLfIndentationAndFieldsItDoesNotKnow) {
  const std::string text =
      "# a hand-written file\r\n"
      "SimData 1\r\n"
      "\r\n"
      "document name=\"rc\" written-by=\"someone else\"\r\n"
      "chart name=\"tran\" colour=red\r\n"
      "  x-axis unit=\"s\" name=\"time\"\r\n"
      "  wave points=2 name=\"v(out)\" values=real\r\n"
      "    0   0\r\n"
      "    # a comment among the points\r\n"
      "    1e-3\t0.632\r\n"
      "end\r\n"
      "\r\n";
  std::istringstream in(text);
  const TSdfReadResult read = ReadSdf(in);
  ASSERT_TRUE(read.Ok) << read.Error;
  EXPECT_EQ(read.Document.DocumentName, "rc");
  ASSERT_EQ(read.Document.Charts.size(), 1u);
  const TChartData& chart = read.Document.Charts[0];
  EXPECT_EQ(chart.XAxis.Name, "time");
  EXPECT_EQ(chart.XAxis.Unit, "s");
  ASSERT_EQ(chart.Waves.size(), 1u);
  EXPECT_EQ(chart.Waves[0].YUnit, "");
  EXPECT_EQ(chart.Waves[0].X, (std::vector<double>{0, 1e-3}));
  EXPECT_EQ(chart.Waves[0].Y, (std::vector<double>{0, 0.632}));
}

TEST(SdfReader, RefusesADamagedFileAndSaysWhichLine) {
  struct TCase {
    const char* Name;
    std::string Text;
    const char* Expected;  // the start of the error
  } cases[] = {
      {"empty", "", "line 0: empty file"},
      {"other magic", "SimDat 1\nend\n", "line 1: not a SimData file"},
      {"no version", "SimData\nend\n", "line 1: not a SimData file"},
      {"newer version", "SimData 2\nend\n", "line 1: version 2 is newer than this reader (1)"},
      {"cut short", "SimData 1\nchart name=\"a\"\n", "line 2: the file ends without its end line"},
      {"fewer points", "SimData 1\nchart\nwave values=real points=3\n0 0\n1 1\n",
       "line 5: wave \"\" has 2 of its 3 points"},
      {"points run into the next line", "SimData 1\nchart\nwave values=real points=2\n0 0\nend\n",
       "line 5: not a number: end"},
      {"bad number", "SimData 1\nchart\nwave values=real points=1\n0 1,5\nend\n", "line 4: not a number: 1,5"},
      {"three numbers for a real point", "SimData 1\nchart\nwave values=real points=1\n0 1 2\nend\n",
       "line 4: a point of a real wave has more than 2 numbers"},
      {"two numbers for a complex point", "SimData 1\nchart\nwave values=complex points=1\n0 1\nend\n",
       "line 4: a point of a complex wave needs 4 numbers"},
      {"unknown line", "SimData 1\nplot name=\"a\"\nend\n", "line 2: unknown line \"plot\""},
      {"wave before chart", "SimData 1\nwave values=real points=0\nend\n", "line 2: wave before any chart"},
      {"x-axis before chart", "SimData 1\nx-axis name=\"t\"\nend\n", "line 2: x-axis before any chart"},
      {"document after a chart", "SimData 1\nchart\ndocument name=\"a\"\nend\n", "line 3: document must come once"},
      {"unterminated text", "SimData 1\nchart name=\"a\nend\n", "line 2: the text of name has no closing quote"},
      {"unknown escape", "SimData 1\nchart name=\"a\\q\"\nend\n", "line 2: unknown escape \\q"},
      {"bad hex escape", "SimData 1\nchart name=\"\\x4\"\nend\n", "line 2: bad \\x escape"},
      {"no blank after a text", "SimData 1\nchart name=\"a\"b=1\nend\n", "line 2: a blank must follow the text"},
      {"no key", "SimData 1\nchart =1\nend\n", "line 2: expected key=value"},
      {"word without value", "SimData 1\nchart tran\nend\n", "line 2: expected key=value"},
      {"negative count", "SimData 1\nchart\nwave values=real points=-1\nend\n", "line 3: wave needs points=N"},
      {"no values kind", "SimData 1\nchart\nwave points=0\nend\n", "line 3: wave needs values=real"},
      {"8-bit field out of range", "SimData 1\nchart\nwave values=real points=0 b=256\nend\n",
       "line 3: b is not an integer in range: 256"},
      {"32-bit field out of range", "SimData 1\nchart a=2147483648\nend\n", "line 2: a is not an integer in range"},
      {"formatted not a flag", "SimData 1\nchart\nx-axis formatted=2\nend\n", "line 3: formatted is 0 or 1"},
      {"bad axis number", "SimData 1\nchart\nx-axis from=abc\nend\n", "line 3: from is not a number: abc"},
      {"text after end", "SimData 1\nend\nchart\n", "line 3: text after the end line"},
      {"fields after end", "SimData 1\nend x=1\n", "line 2: end takes no fields"},
  };
  for (const TCase& c : cases) {
    for (const bool crlf : {false, true}) {
      SCOPED_TRACE(std::string(c.Name) + (crlf ? " (CR LF)" : ""));
      std::string text = c.Text;
      if (crlf)
        for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2))
          text.replace(at, 1, "\r\n");
      std::istringstream in(text);
      const TSdfReadResult read = ReadSdf(in);
      EXPECT_FALSE(read.Ok);
      EXPECT_EQ(read.Error.rfind(c.Expected, 0), 0u) << read.Error;
      EXPECT_TRUE(read.Document.Charts.empty()) << "a refused file gives no half document";
    }
  }
}

TEST(SdfReader, AHugeDeclaredCountIsNotAllocatedUpFront) {
  std::istringstream in("SimData 1\nchart\nwave values=complex points=9223372036854775807\n1 0 2 0\n");
  const TSdfReadResult read = ReadSdf(in);
  EXPECT_FALSE(read.Ok);
  EXPECT_EQ(read.Error.rfind("line 4: wave \"\" has 1 of its 9223372036854775807 points", 0), 0u) << read.Error;
}

TEST(SdfReader, AMissingFileIsAnErrorNotACrash) {
  const TSdfReadResult read = ReadSdfFile("/nonexistent/folder/amp.sdf");
  EXPECT_FALSE(read.Ok);
  EXPECT_EQ(read.Error, "cannot open /nonexistent/folder/amp.sdf");
}

TEST(SdfNumbers, AreShortestRoundTripInTheCLocale) {
  struct TCase {
    double Value;
    const char* Text;
  } cases[] = {
      {0, "0"},           {-0.0, "-0"},
      {1.5, "1.5"},       {-2.5e-3, "-0.0025"},
      {1e6, "1e+06"},     {0.1 + 0.2, "0.30000000000000004"},
      {kNan, "nan"},      {-kNan, "nan"},
      {kInf, "inf"},      {-kInf, "-inf"},
      {5e-324, "5e-324"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(FormatSdfNumber(c.Value), c.Text);
  }
}

TEST(WaveData, ImaginaryPartsAreKeptFromTheFirstPointThatHasOne) {
  TWaveData wave;
  wave.Add(1, 0, 1, 0);
  wave.Add(2, 0, 2, 0);
  EXPECT_FALSE(wave.IsComplex());
  EXPECT_TRUE(wave.XI.empty());
  EXPECT_TRUE(wave.YI.empty());
  wave.Add(3, 0, 3, -0.5);
  EXPECT_TRUE(wave.IsComplex());
  EXPECT_TRUE(wave.XI.empty()) << "the x values have no imaginary parts";
  EXPECT_EQ(wave.YI, (std::vector<double>{0, 0, -0.5}));
  // A very first point with an imaginary part, and a NaN one, count too.
  TWaveData first;
  first.Add(1, kNan, 1, -0.001);
  EXPECT_EQ(first.YI, (std::vector<double>{-0.001}));
  ASSERT_EQ(first.XI.size(), 1u);
  EXPECT_TRUE(std::isnan(first.XI[0]));
}

}  // namespace
}  // namespace tolvex::ondulix
