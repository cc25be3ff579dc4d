// The waveform viewer through a whole run: the chart calls of the scripted engine end up in a
// waveform file beside the netlist that reads back to the same values, with a plot per chart, and
// the host says where they are.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "../../stand_ins/waveform_viewer/SdfFile.h"
#include "HostRunner.h"

namespace tolvex::e2e {
namespace {

namespace fs = std::filesystem;
using ondulix::ReadSdfFile;
using ondulix::TChartData;
using ondulix::TSdfReadResult;
using ondulix::TWaveData;

std::string Script(std::initializer_list<std::string> commands) {
  std::string text = "* scripted test circuit\n";
  for (const auto& c : commands) text += "*@ " + c + "\n";
  text += "R1 1 0 1k\n.end\n";
  return text;
}

// A transient of two waves (one with values that are no numbers) and an AC chart of complex points.
const std::initializer_list<std::string> kTwoCharts = {
    "GetCurrentWindow",
    "SetDocumentName amp",
    "NewChart tran 0 1 0",
    "InitializeXAxis $c 0 2e-3",
    "NewWaveform $c v(out) 0 1 0 0 0",
    "NewDataPoint $c $v 0 0 0 0",
    "NewDataPoint $c $v 1e-3 0 0.632 0",
    "NewDataPoint $c $v 2e-3 0 0.8646647167633873 0",
    "NewWaveform $c i(v1) 0 1 0 0 0",
    "NewDataPoint $c $v 0 0 1e-3 0",
    "NewDataPoint $c $v 1e-3 0 nan 0",
    "NewDataPoint $c $v 2e-3 0 -inf 0",
    "UpdateChart $c",
    "Chart_Create ac 0 0 0",
    "Chart_FormatXAxis $c 0 0 0 1 1e6",
    "NewWaveform $c v(out) 0 1 0 0 0",
    "NewDataPoint $c $v 1 0 1 -0.001",
    "NewDataPoint $c $v 1e3 0 0.5 -0.5",
    "NewDataPoint $c $v 1e6 0 1e-6 -0.001",
    "DataComplete 1 0",
    "result 13",
};

class WaveformViewer : public ::testing::Test {
 protected:
  THostRun Run(const std::vector<std::string>& actions, std::vector<std::string> options = {}) {
    options.insert(options.begin(), {"--plugin", Plugin.Plugin()});
    options.insert(options.end(), actions.begin(), actions.end());
    return RunHost(options);
  }
  static std::vector<std::string> Launch(const std::string& netlist, const std::string& extra = "") {
    return {"launch", "RunSimulator", "File1=" + netlist + (extra.empty() ? "" : "|" + extra)};
  }
  static std::vector<std::string> Twice(const std::vector<std::string>& actions) {
    std::vector<std::string> both = actions;
    both.insert(both.end(), actions.begin(), actions.end());
    return both;
  }
  // The waveform events of a run, as path and plots.
  static std::vector<std::pair<std::string, std::string>> Waveforms(const THostRun& run) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& line : run.Events("waveform")) out.emplace_back(line.Get("path"), line.Get("plots"));
    return out;
  }

  TPluginFolder Plugin;
  TScratchFolder Work;
};

void ExpectValues(const TWaveData& wave, const std::vector<double>& x, const std::vector<double>& y) {
  ASSERT_EQ(wave.X, x);
  ASSERT_EQ(wave.Y.size(), y.size());
  for (std::size_t i = 0; i < y.size(); ++i) {
    if (std::isnan(y[i]))
      EXPECT_TRUE(std::isnan(wave.Y[i])) << i;
    else
      EXPECT_EQ(wave.Y[i], y[i]) << i;
  }
}

TEST_F(WaveformViewer, ARunsChartsReadBackFromTheWaveformFileBesideTheNetlist) {
  const std::string netlist = Work.File("amp.nsx", Script(kTwoCharts));
  const THostRun run = Run(Launch(netlist));
  ASSERT_EQ(run.ExitCode, 0) << run.JournalText();

  const TSdfReadResult read = ReadSdfFile(Work.Path() + "/amp.sdf");
  ASSERT_TRUE(read.Ok) << read.Error << "\n" << run.JournalText();
  EXPECT_EQ(read.Document.DocumentName, "amp");
  ASSERT_EQ(read.Document.Charts.size(), 2u);

  const TChartData& tran = read.Document.Charts[0];
  EXPECT_EQ(tran.Name, "tran");
  EXPECT_EQ(tran.XAxis.Name, "time");
  EXPECT_EQ(tran.XAxis.Unit, "s");
  EXPECT_EQ(tran.XAxis.To, 2e-3);
  EXPECT_EQ(tran.UpdateCount, 1u);
  ASSERT_EQ(tran.Waves.size(), 2u);
  EXPECT_EQ(tran.Waves[0].Name, "v(out)");
  EXPECT_EQ(tran.Waves[0].YUnit, "V");
  EXPECT_FALSE(tran.Waves[0].IsComplex());
  ExpectValues(tran.Waves[0], {0, 1e-3, 2e-3}, {0, 0.632, 0.8646647167633873});
  EXPECT_EQ(tran.Waves[1].YUnit, "A");
  ExpectValues(tran.Waves[1], {0, 1e-3, 2e-3}, {1e-3, std::nan(""), -INFINITY});

  const TChartData& ac = read.Document.Charts[1];
  EXPECT_EQ(ac.Name, "ac");
  EXPECT_EQ(ac.XAxis.Name, "frequency");
  EXPECT_EQ(ac.XAxis.Unit, "Hz");
  ASSERT_EQ(ac.Waves.size(), 1u);
  ASSERT_TRUE(ac.Waves[0].IsComplex());
  ExpectValues(ac.Waves[0], {1, 1e3, 1e6}, {1, 0.5, 1e-6});
  EXPECT_EQ(ac.Waves[0].YI, (std::vector<double>{-0.001, -0.5, -0.001}));

  // A plot per chart beside it, each with a trace per wave (AC: magnitude and phase).
  for (const auto& [file, traces] :
       std::vector<std::pair<std::string, std::size_t>>{{"amp_tran.svg", 2}, {"amp_ac.svg", 2}}) {
    SCOPED_TRACE(file);
    const std::string svg = ReadFile(Work.Path() + "/" + file);
    EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
    std::size_t count = 0;
    for (std::size_t at = svg.find("<polyline"); at != std::string::npos; at = svg.find("<polyline", at + 1)) ++count;
    EXPECT_EQ(count, traces);
  }

  // The host says where they are, once the command is done.
  const auto& journal = run.Journal;
  const auto done =
      std::find_if(journal.begin(), journal.end(), [](const TJournalLine& l) { return l.Event == "launch-done"; });
  ASSERT_NE(done, journal.end()) << run.JournalText();
  ASSERT_NE(done + 1, journal.end());
  EXPECT_EQ((done + 1)->Raw, "waveform path=\"" + Work.Path() + "/amp.sdf\" plots=\"amp_tran.svg,amp_ac.svg\"");
  EXPECT_NE(run.Output.find("waveforms: " + Work.Path() + "/amp.sdf, plots: " + Work.Path() + "/amp_tran.svg " +
                            Work.Path() + "/amp_ac.svg\n"),
            std::string::npos)
      << run.Output;
}

TEST_F(WaveformViewer, EveryRunInOneHostStartsAfreshAndOnlyRewrittenFilesAreReported) {
  const std::string amp = Work.File("amp.nsx", Script(kTwoCharts));
  const std::string rc = Work.File("rc.nsx", Script({"GetCurrentWindow", "SetDocumentName rc", "NewChart tran 0 1 0",
                                                     "NewWaveform $c v(out) 0 1 0 0 0", "NewDataPoint $c $v 0 0 1 0",
                                                     "DataComplete 1 0", "result 13"}));
  std::vector<std::string> actions = Launch(amp);
  for (const auto& more : {Launch(rc), Launch(amp)}) actions.insert(actions.end(), more.begin(), more.end());
  const THostRun run = Run(actions);
  ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
  // The charts of the first run of amp are not in the file of its second run, nor in rc's.
  const TSdfReadResult ampRead = ReadSdfFile(Work.Path() + "/amp.sdf");
  ASSERT_TRUE(ampRead.Ok) << ampRead.Error;
  EXPECT_EQ(ampRead.Document.Charts.size(), 2u);
  const TSdfReadResult rcRead = ReadSdfFile(Work.Path() + "/rc.sdf");
  ASSERT_TRUE(rcRead.Ok) << rcRead.Error;
  ASSERT_EQ(rcRead.Document.Charts.size(), 1u);
  EXPECT_EQ(rcRead.Document.Charts[0].Waves[0].Y, std::vector<double>{1});
  // One report per launch: each run rewrites only its own file.
  EXPECT_EQ(Waveforms(run),
            (std::vector<std::pair<std::string, std::string>>{{Work.Path() + "/amp.sdf", "amp_tran.svg,amp_ac.svg"},
                                                              {Work.Path() + "/rc.sdf", "rc_tran.svg"},
                                                              {Work.Path() + "/amp.sdf", "amp_tran.svg,amp_ac.svg"}}))
      << run.JournalText();
}

TEST_F(WaveformViewer, ADocumentNameOfNoOpenedDocumentWritesBesideTheNetlistRun) {
  const std::string netlist = Work.File(
      "amp.nsx",
      Script({"GetCurrentWindow", "SetDocumentName filter", "NewChart dc1 0 0 0", "NewWaveform $c v(out) 0 0 0 0 0",
              "NewDataPoint $c $v 0 0 1 0", "DataComplete 1 0", "result 13"}));
  const THostRun run = Run(Launch(netlist));
  const TSdfReadResult read = ReadSdfFile(Work.Path() + "/amp.sdf");
  ASSERT_TRUE(read.Ok) << read.Error << "\n" << run.JournalText();
  EXPECT_EQ(read.Document.DocumentName, "filter");
  EXPECT_EQ(read.Document.Charts.at(0).XAxis.Name, "sweep");
  EXPECT_TRUE(FileExists(Work.Path() + "/amp_dc1.svg"));
  EXPECT_FALSE(FileExists(Work.Path() + "/filter.sdf"));
}

TEST_F(WaveformViewer, ARegressionRunRelaysToTheViewerWhichStillWritesItsFiles) {
  const std::string netlist = Work.File("amp.nsx", Script(kTwoCharts));
  const THostRun run = Run(Launch(netlist, "RegressionTest=True"));
  const TSdfReadResult read = ReadSdfFile(Work.Path() + "/amp.sdf");
  ASSERT_TRUE(read.Ok) << read.Error << "\n" << run.JournalText();
  EXPECT_EQ(read.Document.Charts.size(), 2u);
  EXPECT_NE(ReadFile(Work.Path() + "/amp.txt").find("OndulixAPI_DataComplete"), std::string::npos);
  EXPECT_EQ(Waveforms(run).size(), 1u) << run.JournalText();
}

TEST_F(WaveformViewer, FilesThatCannotBeWrittenLeaveTheRunAlone) {
  const std::string netlist = Work.File("amp.nsx", Script(kTwoCharts));
  fs::create_directories(Work.Path() + "/amp.sdf");       // where the waveform file would go
  fs::create_directories(Work.Path() + "/amp_tran.svg");  // and one of the plots
  const THostRun run = Run(Launch(netlist));
  EXPECT_EQ(run.ExitCode, 0) << run.JournalText();
  EXPECT_TRUE(run.Events("msgbox").empty()) << run.JournalText();
  EXPECT_TRUE(fs::is_directory(Work.Path() + "/amp.sdf"));
  EXPECT_TRUE(Waveforms(run).empty()) << "no waveform file, nothing to report\n" << run.JournalText();
  // The plot that could be written is.
  EXPECT_TRUE(fs::is_regular_file(Work.Path() + "/amp_ac.svg"));
  for (const auto& entry : fs::directory_iterator(Work.Path()))
    EXPECT_NE(entry.path().extension(), ".part") << "no temporary file is left behind";
}

TEST_F(WaveformViewer, ARunThatNeverCompletesItsDataWritesNothing) {
  const std::string netlist =
      Work.File("amp.nsx", Script({"GetCurrentWindow", "SetDocumentName amp", "NewChart tran 0 1 0",
                                   "NewWaveform $c v(out) 0 1 0 0 0", "NewDataPoint $c $v 0 0 1 0", "result 13"}));
  const THostRun run = Run(Launch(netlist));
  EXPECT_FALSE(FileExists(Work.Path() + "/amp.sdf"));
  EXPECT_TRUE(Waveforms(run).empty()) << run.JournalText();
}

TEST_F(WaveformViewer, WithTheJournalOnStandardOutputOnlyTheJournalSaysWhereTheFilesAre) {
  const std::string netlist = Work.File("amp.nsx", Script(kTwoCharts));
  // A later --journal wins over the one the runner gives.
  const THostRun run = Run(Launch(netlist), {"--journal", "-"});
  EXPECT_NE(run.Output.find("waveform path=\"" + Work.Path() + "/amp.sdf\""), std::string::npos) << run.Output;
  EXPECT_EQ(run.Output.find("waveforms: "), std::string::npos) << run.Output;
}

TEST_F(WaveformViewer, ShowPlotsAWaveformFileAndRefusesADamagedOne) {
  const std::string good = Work.File("bode.sdf",
                                     "SimData 1\n"
                                     "document name=\"bode\"\n"
                                     "chart name=\"AC Analysis\"\n"
                                     "x-axis name=\"frequency\" unit=\"Hz\"\n"
                                     "wave name=\"v(out)\" unit=\"V\" values=complex points=3\n"
                                     "1 0 1 0\n"
                                     "1000 0 0.5 -0.5\n"
                                     "1e6 0 0.001 -0.03\n"
                                     "end\n");
  const std::string bad = Work.File("cut.sdf", "SimData 1\nchart name=\"tran\"\n");
  const THostRun run = Run({"show", good, "show", bad});
  EXPECT_EQ(run.ExitCode, 0) << run.JournalText();
  const auto events = run.Events("waveform");
  ASSERT_EQ(events.size(), 2u) << run.JournalText();
  EXPECT_EQ(events[0].Raw, "waveform path=\"" + good + "\" plots=\"bode_AC_Analysis.svg\"");
  const std::string svg = ReadFile(Work.Path() + "/bode_AC_Analysis.svg");
  EXPECT_NE(svg.find("class=\"x-axis log\""), std::string::npos);
  EXPECT_EQ(events[1].Get("path"), bad);
  EXPECT_EQ(events[1].Get("plots"), "");
  EXPECT_EQ(events[1].Get("error"), "line 2: the file ends without its end line (cut short?)");
  EXPECT_NE(run.Output.find("tolvex-host: " + bad + ": line 2:"), std::string::npos) << run.Output;
}

}  // namespace
}  // namespace tolvex::e2e
