// End-to-end runs of the ngspice engine: tolvex-host with the real Tolvex.dll, xspice.dll and
// Ondulix.dll, the waveforms the viewer received compared with batch ngspice on the same netlist.
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <clocale>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "HostRunner.h"

namespace tolvex::e2e {
namespace {

namespace fs = std::filesystem;

// The viewer's log keeps 8 significant digits, so a value agrees with batch ngspice when it is
// within 1e-6 of it relatively; the absolute part lets values that are zero but for rounding
// (a current of 1e-20 A beside one of 0) agree too. Both runs are the same ngspice on the same
// netlist, so the time steps and the number of points must be identical.
constexpr double kRelativeTolerance = 1e-6;
constexpr double kAbsoluteTolerance = 1e-12;

bool Close(double a, double b) {
  return std::fabs(a - b) <= kRelativeTolerance * std::max(std::fabs(a), std::fabs(b)) + kAbsoluteTolerance;
}

std::string DataFile(const std::string& name) { return std::string(TOLVEX_TEST_DATA_DIR) + "/ngspice/" + name; }

bool HaveBatchNgspice() {
  const std::string program = TOLVEX_NGSPICE_EXECUTABLE;
  return !program.empty() && access(program.c_str(), X_OK) == 0;
}

// A fixture netlist (and the files it includes) copied into a scratch folder, so that the
// outputs beside it land there.
std::string CopyFixture(const TScratchFolder& folder, const std::string& name,
                        const std::vector<std::string>& companions = {}) {
  for (const std::string& companion : companions) folder.File(companion, ReadFile(DataFile(companion)));
  return folder.File(name, ReadFile(DataFile(name)));
}

// ---- batch ngspice ---------------------------------------------------------------------------

struct TRawPlot {
  std::string Name;
  bool Complex = false;
  std::vector<std::string> Variables;
  std::vector<std::vector<std::complex<double>>> Points;  // per point, one value per variable
};

// Reads ngspice's ASCII raw file: one block per analysis.
std::vector<TRawPlot> ReadAsciiRaw(const std::string& path) {
  std::vector<TRawPlot> plots;
  std::ifstream in(path);
  std::string line;
  std::size_t variables = 0, points = 0;
  auto value = [](const std::string& text) {
    const std::size_t comma = text.find(',');
    if (comma == std::string::npos) return std::complex<double>(std::stod(text), 0.0);
    return std::complex<double>(std::stod(text.substr(0, comma)), std::stod(text.substr(comma + 1)));
  };
  while (std::getline(in, line)) {
    if (line.rfind("Plotname:", 0) == 0) {
      plots.emplace_back();
      plots.back().Name = line.substr(10);
    } else if (line.rfind("Flags:", 0) == 0 && !plots.empty()) {
      plots.back().Complex = line.find("complex") != std::string::npos;
    } else if (line.rfind("No. Variables:", 0) == 0) {
      variables = std::stoul(line.substr(14));
    } else if (line.rfind("No. Points:", 0) == 0) {
      points = std::stoul(line.substr(11));
    } else if (line == "Variables:" && !plots.empty()) {
      for (std::size_t k = 0; k < variables && std::getline(in, line); ++k) {
        std::istringstream fields(line);
        std::string index, name;
        fields >> index >> name;
        plots.back().Variables.push_back(name);
      }
    } else if (line == "Values:" && !plots.empty()) {
      for (std::size_t p = 0; p < points; ++p) {
        std::vector<std::complex<double>> row;
        for (std::size_t k = 0; k < variables && in >> line; ++k) {
          if (k == 0) in >> line;  // the point's index comes first
          row.push_back(value(line));
        }
        plots.back().Points.push_back(std::move(row));
      }
    }
  }
  return plots;
}

// Runs "ngspice -b" in the netlist's folder on a copy that asks for an ASCII raw file.
std::vector<TRawPlot> RunBatchNgspice(const std::string& netlist) {
  const std::string copy = netlist + ".batch.cir";
  const std::string raw = netlist + ".batch.raw";
  std::string text = ReadFile(netlist);
  const std::size_t end = text.rfind(".end");
  text.insert(end == std::string::npos ? text.size() : end, ".options filetype=ascii\n");
  std::ofstream(copy, std::ios::binary) << text;
  const std::string command = "cd '" + fs::path(netlist).parent_path().string() + "' && '" +
                              std::string(TOLVEX_NGSPICE_EXECUTABLE) + "' -b -n -r '" + raw + "' '" + copy +
                              "' > '" + netlist + ".batch.log' 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << ReadFile(netlist + ".batch.log");
  return ReadAsciiRaw(raw);
}

// ---- the viewer's log ------------------------------------------------------------------------

struct TLogCall {
  std::string Function;
  std::vector<std::pair<std::string, std::string>> Arguments;
  std::string Answer;
  std::string Get(const std::string& key) const {
    for (const auto& [name, value] : Arguments)
      if (name == key) return value;
    return {};
  }
};

TLogCall ParseLogLine(const std::string& line) {
  TLogCall call;
  std::size_t i = line.find(' ');
  call.Function = line.substr(0, i);
  while (i != std::string::npos && i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    if (line.compare(i, 3, "-> ") == 0) {
      call.Answer = line.substr(i + 3);
      if (call.Answer.size() >= 2 && call.Answer.front() == '"')
        call.Answer = call.Answer.substr(1, call.Answer.size() - 2);
      break;
    }
    const std::size_t equals = line.find('=', i);
    if (equals == std::string::npos) break;
    const std::string key = line.substr(i, equals - i);
    std::string value;
    std::size_t k = equals + 1;
    if (k < line.size() && line[k] == '"') {
      for (++k; k < line.size() && line[k] != '"'; ++k) {
        if (line[k] == '\\' && k + 1 < line.size()) ++k;
        value += line[k];
      }
      ++k;
    } else {
      while (k < line.size() && line[k] != ' ') value += line[k++];
    }
    call.Arguments.emplace_back(key, value);
    i = k;
  }
  return call;
}

struct TViewerWave {
  explicit TViewerWave(std::string name) : Name(std::move(name)) {}
  std::string Name;
  std::vector<std::array<double, 4>> Points;  // RX, IX, RY, IY
};

struct TViewerChart {
  TViewerChart(std::string id, std::string name) : Id(std::move(id)), Name(std::move(name)) {}
  std::string Id;
  std::string Name;
  bool HasAxis = false;
  double From = 0, To = 0;
  int Updates = 0;
  std::vector<TViewerWave> Waves;
};

struct TViewerLog {
  std::vector<TLogCall> Calls;
  std::string DocumentName;
  std::vector<TViewerChart> Charts;
  int DataCompletes = 0;
  std::size_t Points = 0;
  const TViewerChart* Chart(const std::string& name) const {
    for (const auto& chart : Charts)
      if (chart.Name == name) return &chart;
    return nullptr;
  }
  TViewerChart* ById(const std::string& id) {
    for (auto& chart : Charts)
      if (chart.Id == id) return &chart;
    return nullptr;
  }
};

TViewerLog ReadViewerLog(const std::string& path) {
  TViewerLog log;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    TLogCall call = ParseLogLine(line);
    if (call.Function == "SetDocumentName") {
      log.DocumentName = call.Get("name");
    } else if (call.Function == "NewChart") {
      log.Charts.push_back(TViewerChart(call.Answer, call.Get("name")));
    } else if (call.Function == "InitializeXAxis") {
      if (TViewerChart* chart = log.ById(call.Get("chart"))) {
        chart->HasAxis = true;
        chart->From = std::stod(call.Get("d"));
        chart->To = std::stod(call.Get("e"));
      }
    } else if (call.Function == "NewWaveform") {
      if (TViewerChart* chart = log.ById(call.Get("chart"))) {
        EXPECT_EQ(call.Answer, std::to_string(chart->Waves.size())) << line;
        chart->Waves.push_back(TViewerWave(call.Get("name")));
      }
    } else if (call.Function == "NewDataPoint") {
      ++log.Points;
      TViewerChart* chart = log.ById(call.Get("chart"));
      const std::size_t wave = std::stoul(call.Get("wave"));
      if (chart && wave < chart->Waves.size())
        chart->Waves[wave].Points.push_back({std::stod(call.Get("rx")), std::stod(call.Get("ix")),
                                             std::stod(call.Get("ry")), std::stod(call.Get("iy"))});
    } else if (call.Function == "UpdateChart") {
      if (TViewerChart* chart = log.ById(call.Get("chart"))) ++chart->Updates;
    } else if (call.Function == "DataComplete") {
      ++log.DataCompletes;
    }
    log.Calls.push_back(std::move(call));
  }
  return log;
}

// Every vector of the batch run but its scale is a wave of the chart, with the same points.
void ExpectSameAsBatch(const TViewerChart& chart, const TRawPlot& raw) {
  ASSERT_FALSE(raw.Variables.empty());
  EXPECT_EQ(chart.Waves.size(), raw.Variables.size() - 1) << "waves of chart " << chart.Name;
  for (std::size_t v = 1; v < raw.Variables.size(); ++v) {
    SCOPED_TRACE("wave " + raw.Variables[v]);
    const auto wave = std::find_if(chart.Waves.begin(), chart.Waves.end(),
                                   [&](const TViewerWave& w) { return w.Name == raw.Variables[v]; });
    ASSERT_NE(wave, chart.Waves.end());
    ASSERT_EQ(wave->Points.size(), raw.Points.size());
    for (std::size_t p = 0; p < raw.Points.size(); ++p) {
      const auto& [rx, ix, ry, iy] = wave->Points[p];
      const std::complex<double> expected = raw.Points[p][v];
      const bool same = Close(rx, raw.Points[p][0].real()) && ix == 0 && Close(ry, expected.real()) &&
                        Close(iy, raw.Complex ? expected.imag() : 0.0);
      ASSERT_TRUE(same) << "point " << p << ": viewer (" << rx << ", " << ry << ", " << iy << "), batch ("
                        << raw.Points[p][0].real() << ", " << expected.real() << ", " << expected.imag() << ")";
    }
  }
}

// Runs the rest of a test in Folder: a waveform document the host knows only by its file name
// (the external start form opens it so) is written in the working folder.
class TWorkingFolder {
 public:
  explicit TWorkingFolder(const std::string& folder) : FPrevious(fs::current_path()) { fs::current_path(folder); }
  ~TWorkingFolder() {
    std::error_code ignored;
    fs::current_path(FPrevious, ignored);
  }
  TWorkingFolder(const TWorkingFolder&) = delete;
  TWorkingFolder& operator=(const TWorkingFolder&) = delete;

 private:
  fs::path FPrevious;
};

bool HasMessageBox(const THostRun& run) { return !run.Events("msgbox").empty(); }

bool OpenedAsText(const THostRun& run, const std::string& path) {
  for (const auto& line : run.Events("document-open"))
    if (line.Get("path") == path && (line.Get("kind") == "Text" || line.Get("kind") == "TEXT")) return true;
  return false;
}

// ngspice writes nothing to the host's standard streams: its output goes to the .sim and .err files.
void ExpectNothingFromNgspice(const THostRun& run) {
  for (const char* word : {"ngspice", "Circuit:", "Note:", "Warning", "Error", "Doing analysis"})
    EXPECT_EQ(run.Output.find(word), std::string::npos) << "host output holds \"" << word << "\":\n" << run.Output;
}

class NgspiceEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveBatchNgspice()) GTEST_SKIP() << "no ngspice program to compare with";
  }
  // A normal run of the built-in engine from build/bin, the viewer's calls logged.
  THostRun Run(const std::string& netlist, std::vector<std::string> options = {},
               const std::string& extraParameters = "") {
    std::vector<std::string> args = {"--viewer-log", ViewerLog()};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), {"launch", "RunSimulator", "File1=" + netlist + extraParameters});
    return RunHost(args);
  }
  std::string ViewerLog() const { return Work.Path() + "/viewer.log"; }
  TScratchFolder Work;
};

TEST_F(NgspiceEngine, RcTransientMatchesBatchNgspice) {
  const std::string netlist = CopyFixture(Work, "rc_transient.nsx");
  const THostRun run = Run(netlist);
  ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
  // A clean run returns 0: no message, no error file, no text output opened.
  EXPECT_FALSE(HasMessageBox(run)) << run.JournalText() << ReadFile(Work.Path() + "/rc_transient.err");
  EXPECT_FALSE(FileExists(Work.Path() + "/rc_transient.err"));
  EXPECT_FALSE(OpenedAsText(run, Work.Path() + "/rc_transient.sim"));
  EXPECT_NE(ReadFile(Work.Path() + "/rc_transient.sim").find("Initial Transient Solution"), std::string::npos);
  ExpectNothingFromNgspice(run);

  const TViewerLog log = ReadViewerLog(ViewerLog());
  EXPECT_EQ(log.DocumentName, "rc_transient");
  ASSERT_EQ(log.Charts.size(), 1u);
  const TViewerChart& chart = log.Charts[0];
  EXPECT_EQ(chart.Name, "tran");
  EXPECT_TRUE(chart.HasAxis);
  EXPECT_EQ(chart.From, 0.0);
  EXPECT_DOUBLE_EQ(chart.To, 5e-3);
  EXPECT_EQ(chart.Updates, 1);
  EXPECT_EQ(log.DataCompletes, 1);
  EXPECT_EQ(log.Calls.back().Function, "DataComplete");
  const std::vector<TRawPlot> batch = RunBatchNgspice(netlist);
  ASSERT_EQ(batch.size(), 1u);
  ExpectSameAsBatch(chart, batch[0]);

  // The host saw the analysis in its status bar and a progress display taken to its end.
  const auto status = run.DuringLaunch("RunSimulator");
  bool named = false, started = false, ended = false;
  std::string lastStep;
  for (const auto& line : status) {
    if (line.Event != "status") continue;
    named = named || (line.Get("op") == "set" && line.Get("text") == "Transient Analysis");
    started = started || line.Get("op") == "progress-start";
    ended = ended || line.Get("op") == "progress-end";
    if (line.Get("op") == "progress-step") lastStep = line.Get("position");
  }
  EXPECT_TRUE(named && started && ended) << run.JournalText();
  EXPECT_EQ(lastStep, "100");
}

TEST_F(NgspiceEngine, FilterAcSweepMatchesBatchNgspiceInRealAndImaginaryParts) {
  const std::string netlist = CopyFixture(Work, "filter_ac.nsx");
  const THostRun run = Run(netlist);
  ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
  EXPECT_FALSE(HasMessageBox(run)) << run.JournalText() << ReadFile(Work.Path() + "/filter_ac.err");
  const TViewerLog log = ReadViewerLog(ViewerLog());
  const TViewerChart* chart = log.Chart("ac");
  ASSERT_NE(chart, nullptr);
  EXPECT_DOUBLE_EQ(chart->From, 10.0);
  EXPECT_DOUBLE_EQ(chart->To, 1e6);
  const std::vector<TRawPlot> batch = RunBatchNgspice(netlist);
  ASSERT_EQ(batch.size(), 1u);
  ASSERT_TRUE(batch[0].Complex);
  ExpectSameAsBatch(*chart, batch[0]);
  // The filter does what it is for: 1 at 10 Hz, a hundredth of it or less at 160 kHz.
  const auto& out = std::find_if(chart->Waves.begin(), chart->Waves.end(), [](auto& w) { return w.Name == "v(out)"; });
  ASSERT_NE(out, chart->Waves.end());
  EXPECT_NEAR(std::hypot(out->Points.front()[2], out->Points.front()[3]), 1.0, 1e-3);
  EXPECT_LT(std::hypot(out->Points[40][2], out->Points[40][3]), 1e-2);
}

TEST_F(NgspiceEngine, DiodeDcSweepWithRelativeIncludeMatchesBatchNgspice) {
  const std::string netlist = CopyFixture(Work, "diode_dc.nsx", {"diode.mod"});
  const THostRun run = Run(netlist);
  ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
  EXPECT_FALSE(HasMessageBox(run)) << run.JournalText() << ReadFile(Work.Path() + "/diode_dc.err");
  const TViewerLog log = ReadViewerLog(ViewerLog());
  const TViewerChart* chart = log.Chart("dc");
  ASSERT_NE(chart, nullptr);
  EXPECT_DOUBLE_EQ(chart->From, -1.0);
  EXPECT_DOUBLE_EQ(chart->To, 2.0);
  const std::vector<TRawPlot> batch = RunBatchNgspice(netlist);
  ASSERT_EQ(batch.size(), 1u);
  ExpectSameAsBatch(*chart, batch[0]);
}

TEST_F(NgspiceEngine, OperatingPointIsTextOutputThatTheHostOpens) {
  const std::string netlist = CopyFixture(Work, "divider_op.nsx");
  const THostRun run = Run(netlist);
  ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
  // Result 15: the plug-in opens the text output.
  EXPECT_TRUE(OpenedAsText(run, Work.Path() + "/divider_op.sim")) << run.JournalText();
  EXPECT_FALSE(HasMessageBox(run)) << run.JournalText();
  const std::vector<TRawPlot> batch = RunBatchNgspice(netlist);
  ASSERT_EQ(batch.size(), 1u);
  ASSERT_EQ(batch[0].Points.size(), 1u);
  const std::string sim = ReadFile(Work.Path() + "/divider_op.sim");
  for (std::size_t v = 0; v < batch[0].Variables.size(); ++v) {
    const std::string label = "  " + batch[0].Variables[v] + " = ";
    const std::size_t at = sim.find(label);
    ASSERT_NE(at, std::string::npos) << label << " in\n" << sim;
    EXPECT_TRUE(Close(std::stod(sim.substr(at + label.size())), batch[0].Points[0][v].real())) << label;
  }
  // 3 V over 1k and 2k || 6k = 1.5k: 1.8 V.
  EXPECT_NE(sim.find("v(out) = 1.8000000e+00"), std::string::npos) << sim;
  // In the viewer every vector of an operating point is a wave with one point at x = 0.
  const TViewerLog log = ReadViewerLog(ViewerLog());
  const TViewerChart* chart = log.Chart("op");
  ASSERT_NE(chart, nullptr);
  EXPECT_EQ(chart->Waves.size(), batch[0].Variables.size());
  for (const auto& wave : chart->Waves) EXPECT_EQ(wave.Points.size(), 1u) << wave.Name;
}

// The dump the plug-in's relay writes in a regression run, against batch ngspice.
TEST_F(NgspiceEngine, RegressionDumpMatchesBatchNgspice) {
  const std::string netlist = CopyFixture(Work, "rc_transient.nsx");
  const THostRun run = Run(netlist, {}, "|RegressionTest=True");
  ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
  EXPECT_FALSE(HasMessageBox(run)) << run.JournalText();
  const std::string dump = ReadFile(Work.Path() + "/rc_transient.txt");
  ASSERT_EQ(dump.rfind("Dump For: RC_TRANSIENT\r\n", 0), 0u) << dump.substr(0, 200);
  EXPECT_NE(dump.find("OndulixAPI_NewChart -> Chart:tran\r\n"), std::string::npos);
  EXPECT_NE(dump.find("OndulixAPI_InitializeXAxis -> Chart:tran\r\n"), std::string::npos);
  EXPECT_NE(dump.find("OndulixAPI_NewWaveform -> WaveName:v(out) Chart:tran\r\n"), std::string::npos);
  EXPECT_TRUE(dump.ends_with("OndulixAPI_UpdateChart -> Chart:tran\r\nOndulixAPI_DataComplete\r\n"));

  // "OndulixAPI_NewDataPoint (V) -> RX:... IX:... RY:... IY:... WaveIndex:1 WaveName:v(out) Chart:tran"
  TViewerChart chart("1", "tran");
  std::istringstream lines(dump);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("OndulixAPI_NewDataPoint (", 0) != 0) continue;
    auto field = [&](const std::string& key) {
      const std::size_t at = line.find(" " + key + ":");
      const std::size_t end = line.find(' ', at + 1);
      return line.substr(at + key.size() + 2, end == std::string::npos ? std::string::npos : end - at - key.size() - 2);
    };
    const std::string name = field("WaveName");
    const std::string unit = line.substr(25, line.find(')') - 25);
    EXPECT_EQ(unit, name[0] == 'v' ? "V" : "A") << line;
    auto wave = std::find_if(chart.Waves.begin(), chart.Waves.end(), [&](auto& w) { return w.Name == name; });
    if (wave == chart.Waves.end()) wave = chart.Waves.insert(chart.Waves.end(), TViewerWave(name));
    wave->Points.push_back(
        {std::stod(field("RX")), std::stod(field("IX")), std::stod(field("RY")), std::stod(field("IY"))});
  }
  const std::vector<TRawPlot> batch = RunBatchNgspice(netlist);
  ASSERT_EQ(batch.size(), 1u);
  ExpectSameAsBatch(chart, batch[0]);
  // A regression run opens neither the text output nor the error file.
  EXPECT_FALSE(OpenedAsText(run, Work.Path() + "/rc_transient.sim"));
}

struct TBadInput {
  const char* Name;
  const char* Fixture;     // a file of tests/data/ngspice, or "" for none
  const char* Netlist;     // the netlist's name in the work folder
  const char* Prepare;     // "folder-netlist", "folder-sim", "folder-err" or ""
  const char* MessageBox;  // the text the plug-in shows for the result
  const char* ErrText;     // what the error file says ("" when it cannot be written)
  const char* ResultLine;  // its last line
};

// Every bad input ends the run with its result and a readable error file, never a crash or a
// hang, and leaves no output of an earlier run behind.
TEST_F(NgspiceEngine, BadInputGivesItsResultAndAReadableErrorFile) {
  constexpr const char* kConfirm = "Errors occured during simulation. Do you want to view the errors now?";
  const TBadInput rows[] = {
      {"missing netlist", "", "missing.nsx", "", "XSpice could not locate the netlist file", "does not exist",
       "Result 8: netlist not found."},
      {"netlist is a folder", "", "folder.nsx", "folder-netlist", "XSpice could not open the netlist file",
       "is a folder, not a file", "Result 9: netlist cannot be read."},
      {"text output cannot be written", "rc_transient.nsx", "rc_transient.nsx", "folder-sim",
       "XSpice could not open the sim output file", "cannot be written",
       "Result 10: the text output cannot be written."},
      {"error file cannot be written", "rc_transient.nsx", "rc_transient.nsx", "folder-err",
       "XSpice could not open the error output file", "", ""},
      {"syntax error", "syntax_error.nsx", "syntax_error.nsx", "", kConfirm, "Error on line 4",
       "Result 2: the netlist was refused."},
      {"unknown model", "unknown_model.nsx", "unknown_model.nsx", "", kConfirm, "could not find a valid modelname",
       "Result 2: the netlist was refused."},
      {"formula ngspice cannot recover from", "formula_error.nsx", "formula_error.nsx", "", kConfirm,
       "cannot recover", "Result 2: the netlist was refused."},
      {"no convergence", "no_convergence.nsx", "no_convergence.nsx", "", kConfirm, "Timestep too small",
       "Result 4: an analysis failed."},
      {"empty netlist", "empty.nsx", "empty.nsx", "", kConfirm, "holds no circuit",
       "Result 2: the netlist was refused."},
      {"no analysis", "no_analysis.nsx", "no_analysis.nsx", "", kConfirm, "names no analysis",
       "Result 2: the netlist was refused."},
  };
  for (const TBadInput& row : rows) {
    SCOPED_TRACE(row.Name);
    const TScratchFolder folder;
    const std::string netlist = folder.Path() + "/" + row.Netlist;
    const std::string stem = folder.Path() + "/" + fs::path(row.Netlist).stem().string();
    if (*row.Fixture) folder.File(row.Netlist, ReadFile(DataFile(row.Fixture)));
    const std::string prepare = row.Prepare;
    if (prepare == "folder-netlist") fs::create_directories(netlist);
    // A folder in an output file's place, with a file in it so that the plug-in cannot delete it.
    if (prepare == "folder-sim") folder.File(fs::path(stem).filename().string() + ".sim/keep", "");
    if (prepare == "folder-err") folder.File(fs::path(stem).filename().string() + ".err/keep", "");
    // Outputs of an earlier run that must not survive this one.
    if (prepare != "folder-sim") folder.File(fs::path(stem + ".sim").filename().string(), "STALE");
    if (prepare != "folder-err") folder.File(fs::path(stem + ".err").filename().string(), "STALE");

    const THostRun run = RunHost({"--answer", "No", "launch", "RunSimulator", "File1=" + netlist});
    ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
    ASSERT_EQ(run.Events("launch-done").size(), 1u) << run.JournalText();
    const auto boxes = run.Events("msgbox");
    ASSERT_EQ(boxes.size(), 1u) << run.JournalText();
    // The plug-in names the output file that cannot be written on a line of its own.
    const std::string named = prepare == "folder-sim"   ? "\n" + stem + ".sim"
                              : prepare == "folder-err" ? "\n" + stem + ".err"
                                                        : "";
    EXPECT_EQ(boxes[0].Get("text"), row.MessageBox + named);
    ExpectNothingFromNgspice(run);
    if (prepare != "folder-err") {
      const std::string err = ReadFile(stem + ".err");
      EXPECT_NE(err.find(row.ErrText), std::string::npos) << err;
      EXPECT_EQ(err.find("STALE"), std::string::npos) << err;
      EXPECT_TRUE(err.ends_with(std::string(row.ResultLine) + "\n")) << err;
    }
    if (prepare != "folder-sim") {
      EXPECT_NE(ReadFile(stem + ".sim"), "STALE");
    }
  }
}

// After ngspice asked to be unloaded, and after a stopped run, the next run in the same host
// process is as good as the first.
TEST_F(NgspiceEngine, RunsAgainInTheSameProcessAfterAnUnrecoverableNetlist) {
  const std::string broken = CopyFixture(Work, "formula_error.nsx");
  const std::string netlist = CopyFixture(Work, "rc_transient.nsx");
  // The first ngspice is unloaded when it asks to be, with memory it never freed. Under the
  // sanitizers LeakSanitizer then reports that memory from a module it can no longer name, so
  // no suppression can single it out: this one host process runs without leak detection.
  const char* sanitizerOptions = std::getenv("ASAN_OPTIONS");
  const std::string withoutLeakDetection =
      "ASAN_OPTIONS=" + std::string(sanitizerOptions ? sanitizerOptions : "") + ":detect_leaks=0";
  const THostRun run = RunHost({"--viewer-log", ViewerLog(), "--answer", "No", "launch", "RunSimulator",
                                "File1=" + broken, "launch", "RunSimulator", "File1=" + netlist},
                               {withoutLeakDetection});
  ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
  ASSERT_EQ(run.Events("launch-done").size(), 2u) << run.JournalText();
  EXPECT_EQ(run.Events("msgbox").size(), 1u) << run.JournalText();
  EXPECT_FALSE(FileExists(Work.Path() + "/rc_transient.err")) << ReadFile(Work.Path() + "/rc_transient.err");
  const TViewerLog log = ReadViewerLog(ViewerLog());
  ASSERT_EQ(log.Charts.size(), 1u);
  ExpectSameAsBatch(log.Charts[0], RunBatchNgspice(netlist).at(0));
}

TEST_F(NgspiceEngine, ControlSectionIsLeftOutAndSaidSo) {
  const std::string netlist = CopyFixture(Work, "control_section.nsx");
  const THostRun run = Run(netlist, {"--answer", "No"});
  ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
  const std::string err = ReadFile(Work.Path() + "/control_section.err");
  EXPECT_NE(err.find("the .control section at line 6 is not run"), std::string::npos) << err;
  // Its "quit" did not end ngspice: the transient ran, once.
  const TViewerLog log = ReadViewerLog(ViewerLog());
  ASSERT_EQ(log.Charts.size(), 1u);
  EXPECT_EQ(log.Charts[0].Name, "tran");
  EXPECT_EQ(log.DataCompletes, 1);
}

// A "StopSimulator" from the host's queue, dispatched while the engine's progress call pumps it,
// ends a transient of a million steps early; the next run in the process is complete.
TEST_F(NgspiceEngine, StopFromTheHostQueueEndsALongTransientEarly) {
  const std::string longNetlist = CopyFixture(Work, "long_transient.nsx");
  const std::string netlist = CopyFixture(Work, "rc_transient.nsx");
  const THostRun run = RunHost({"--viewer-log", ViewerLog(), "--on-pump", "4", "StopSimulator", "", "launch",
                                "RunSimulator", "File1=" + longNetlist, "launch", "RunSimulator", "File1=" + netlist});
  ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
  const auto events = run.Events("host-event");
  ASSERT_EQ(events.size(), 1u) << run.JournalText();
  EXPECT_EQ(events[0].Get("command"), "StopSimulator");
  // Results 13 and 14 show nothing and open nothing; the second run returns 0.
  EXPECT_FALSE(HasMessageBox(run)) << run.JournalText();
  EXPECT_FALSE(OpenedAsText(run, Work.Path() + "/long_transient.sim"));
  EXPECT_FALSE(OpenedAsText(run, Work.Path() + "/long_transient.err"));

  const TViewerLog log = ReadViewerLog(ViewerLog());
  const std::string err = ReadFile(Work.Path() + "/long_transient.err");
  EXPECT_EQ(log.DataCompletes, 2) << err;
  ASSERT_FALSE(log.Charts.empty());
  if (log.Charts.size() == 1) {
    // The stop came before ngspice had its first result of the long run.
    EXPECT_TRUE(err.ends_with("Result 13: stopped by the user before the first result.\n")) << err;
  } else {
    EXPECT_NE(err.find("stopped by the user during the Transient Analysis"), std::string::npos) << err;
    EXPECT_TRUE(err.ends_with("Result 14: stopped by the user.\n")) << err;
    ASSERT_EQ(log.Charts.size(), 2u);
    const TViewerChart& stopped = log.Charts[0];
    EXPECT_EQ(stopped.Updates, 1);
    ASSERT_EQ(stopped.Waves.size(), 3u);
    // A full run has a million points per wave, up to 1 s; what arrived is a prefix, in order.
    for (const auto& wave : stopped.Waves) {
      EXPECT_EQ(wave.Points.size(), stopped.Waves[0].Points.size()) << wave.Name;
      EXPECT_LT(wave.Points.size(), 500000u) << wave.Name;
      EXPECT_TRUE(std::is_sorted(wave.Points.begin(), wave.Points.end(),
                                 [](const auto& a, const auto& b) { return a[0] < b[0]; }));
    }
    if (!stopped.Waves[0].Points.empty()) {
      EXPECT_LT(stopped.Waves[0].Points.back()[0], 0.5);
    }
  }
  // ngspice's own remarks about the pause are not passed off as errors.
  EXPECT_EQ(err.find("pause requested"), std::string::npos) << err;
  EXPECT_FALSE(FileExists(Work.Path() + "/rc_transient.err")) << ReadFile(Work.Path() + "/rc_transient.err");
  ExpectSameAsBatch(log.Charts.back(), RunBatchNgspice(netlist).at(0));
}

TEST_F(NgspiceEngine, StopAtTheFirstPumpEndsTheRunBeforeAnythingReachesTheViewer) {
  const std::string netlist = CopyFixture(Work, "long_transient.nsx");
  const THostRun run = Run(netlist, {"--on-pump", "1", "StopSimulator", ""});
  ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
  EXPECT_EQ(run.Events("host-event").size(), 1u) << run.JournalText();
  EXPECT_FALSE(HasMessageBox(run)) << run.JournalText();
  const std::string err = ReadFile(Work.Path() + "/long_transient.err");
  EXPECT_NE(err.find("stopped by the user before it began"), std::string::npos) << err;
  EXPECT_TRUE(err.ends_with("Result 13: stopped by the user before the first result.\n")) << err;
  EXPECT_TRUE(ReadViewerLog(ViewerLog()).Calls.empty());
}

// The plug-in's external start form: "1" + viewer + "|" + library + "|" + netlist. A second name
// for the engine in a plug-in folder makes the plug-in take that form; in a regression run the
// plug-in names itself as the viewer and the dump is written.
TEST_F(NgspiceEngine, ExternalStartFormRunsWithTheViewerAndLibraryItNames) {
  const TScratchFolder plugin;
  for (const char* file : {"Tolvex.dll", "libtolvex_user.so", "xspice.dll"})
    fs::create_symlink(BinFolder() + "/" + file, plugin.Path() + "/" + file);
  fs::create_symlink(BinFolder() + "/xspice.dll", plugin.Path() + "/ngspice-engine.dll");
  const std::string netlist = CopyFixture(Work, "rc_transient.nsx");
  const TWorkingFolder here(Work.Path());
  const THostRun run = RunHost({"--plugin", plugin.Path() + "/Tolvex.dll", "--viewer-log", ViewerLog(), "launch",
                                "RunSimulator", "File1=" + netlist + "|XSpiceDllName=ngspice-engine.dll", "launch",
                                "RunSimulator",
                                "File1=" + netlist + "|XSpiceDllName=ngspice-engine.dll|RegressionTest=True"});
  ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
  EXPECT_FALSE(HasMessageBox(run)) << run.JournalText();
  const TViewerLog log = ReadViewerLog(ViewerLog());
  ASSERT_EQ(log.Charts.size(), 2u);
  const std::vector<TRawPlot> batch = RunBatchNgspice(netlist);
  ExpectSameAsBatch(log.Charts[0], batch.at(0));
  ExpectSameAsBatch(log.Charts[1], batch.at(0));
  const std::string dump = ReadFile(Work.Path() + "/rc_transient.txt");
  EXPECT_EQ(dump.rfind("Dump For: RC_TRANSIENT\r\n", 0), 0u);
  EXPECT_TRUE(dump.ends_with("OndulixAPI_DataComplete\r\n"));
}

// ngspice reads a .spiceinit from the working folder when it starts; the engine starts it where
// only an empty one is found, so a user's file cannot change a run.
TEST_F(NgspiceEngine, SpiceinitInTheHostsWorkingFolderIsNotRead) {
  const std::string netlist = CopyFixture(Work, "rc_transient.nsx");
  // Read, this file would make every analysis run at 100 degrees.
  Work.File(".spiceinit", "* a user's start-up file\noption temp=100\n");
  const std::string journal = Work.Path() + "/journal.txt";
  const std::string command = "cd '" + Work.Path() + "' && XDG_CONFIG_HOME='" + Work.Path() + "' '" +
                              HostExecutable() + "' --quiet --journal '" + journal +
                              "' launch RunSimulator 'File1=" + netlist + "' > '" + Work.Path() +
                              "/output.txt' 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << ReadFile(Work.Path() + "/output.txt");
  const std::string sim = ReadFile(Work.Path() + "/rc_transient.sim");
  EXPECT_NE(sim.find("Doing analysis at TEMP = 27.000000"), std::string::npos) << sim;
  EXPECT_FALSE(FileExists(Work.Path() + "/rc_transient.err")) << ReadFile(Work.Path() + "/rc_transient.err");
}

// ---- in process ------------------------------------------------------------------------------

// The stand-in host never sets a locale, so this runs the modules in a child process of the
// test that does: under a German locale (decimal comma) ".param rtop=1.5k" must still be 1.5k,
// and the process's locale must be German again afterwards.
TEST(NgspiceEngineInProcess, GermanLocaleChangesNoNumberAndSurvivesTheRun) {
  const TScratchFolder work;
  const std::string locales = work.Path() + "/locales";
  fs::create_directories(locales);
  const std::string build = "localedef -i de_DE -f UTF-8 '" + locales + "/de_DE.UTF-8' > /dev/null 2>&1";
  if (std::system(build.c_str()) != 0) GTEST_SKIP() << "cannot build a German locale with localedef";
  const std::string netlist = work.File("locale_param.nsx", ReadFile(DataFile("locale_param.nsx")));
  const std::string viewerLog = work.Path() + "/viewer.log";

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Exit codes: 0 right; 10+ a failed step, so that the parent can tell which.
    setenv("LOCPATH", locales.c_str(), 1);
    // Without a host the viewer writes its waveform file in the working folder.
    if (chdir(work.Path().c_str()) != 0) _exit(16);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) _exit(10);
    if (std::localeconv()->decimal_point[0] != ',') _exit(11);
    const std::string bin = BinFolder();
    void* viewer = dlopen((bin + "/Ondulix.dll").c_str(), RTLD_NOW | RTLD_LOCAL);
    void* tolvex = dlopen((bin + "/Tolvex.dll").c_str(), RTLD_NOW | RTLD_LOCAL);
    void* engine = dlopen((bin + "/xspice.dll").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!viewer || !tolvex || !engine) _exit(12);
    using TSetLog = void (*)(const char*);
    using TStart = std::int32_t (*)(const char*);
    auto setLog = reinterpret_cast<TSetLog>(dlsym(viewer, "Ondulix_SetLog"));
    auto start = reinterpret_cast<TStart>(dlsym(engine, "XSpice_Start"));
    if (!setLog || !start) _exit(13);
    setLog(viewerLog.c_str());
    const std::string text = "1" + bin + "/Ondulix.dll|" + bin + "/Tolvex.dll|" + netlist;
    const std::int32_t result = start(text.c_str());
    if (result != 15) _exit(20 + (result & 0x3f));
    if (std::string(std::setlocale(LC_NUMERIC, nullptr)) != "de_DE.UTF-8") _exit(14);
    if (std::localeconv()->decimal_point[0] != ',') _exit(15);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  const int code = WEXITSTATUS(status);
  if (code == 10) GTEST_SKIP() << "the German locale built does not load";
  ASSERT_EQ(code, 0) << (code >= 20 ? "result " + std::to_string(code - 20) : "step " + std::to_string(code))
                     << "\n" << ReadFile(work.Path() + "/locale_param.err");
  const std::string sim = ReadFile(work.Path() + "/locale_param.sim");
  EXPECT_NE(sim.find("v(out) = 1.5000000e+00"), std::string::npos) << sim;
  // The viewer got the same number with a decimal point, as its log writes it in any locale.
  EXPECT_NE(ReadFile(viewerLog).find("ry=1.5000000E+00"), std::string::npos);
}

}  // namespace
}  // namespace tolvex::e2e
