// The waveform viewer through a whole run: the chart calls of the scripted engine end up in a
// waveform file beside the netlist that reads back to the same values, with a plot per chart, and
// the host says where they are.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>

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

// The viewer only keeps the failure for the engine to ask for (Ondulix_TakeWriteFailure); the scripted
// engine does not ask, so here the run goes on as the engine reports it. The ngspice engine's runs turn
// such a failure into result 3 (HostileNetlist_e2e_test.cpp).
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

TEST_F(WaveformViewer, LinksAndFilesPlantedAtTheViewersFileNamesAreNeverWrittenThrough) {
  enum TPlant { pLink, pHardLink, pPipe };
  struct TCase {
    const char* Name;
    const char* At;
    TPlant Plant;
    const char* Target;  // in the victim's folder
  } cases[] = {
      {"a link at the waveform file's temporary name", "amp.sdf.part", pLink, "precious.txt"},
      {"a link at a plot's temporary name", "amp_tran.svg.part", pLink, "precious.txt"},
      {"a dangling link at a temporary name", "amp_ac.svg.part", pLink, "created.txt"},
      {"a hard link at a temporary name", "amp.sdf.part", pHardLink, "precious.txt"},
      {"a pipe at a temporary name", "amp.sdf.part", pPipe, ""},
      {"a link at the waveform file", "amp.sdf", pLink, "precious.txt"},
      {"a link at a plot", "amp_ac.svg", pLink, "precious.txt"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TScratchFolder work;
    const TScratchFolder victim;
    const std::string precious = victim.File("precious.txt", "precious\n");
    const std::string netlist = work.File("amp.nsx", Script(kTwoCharts));
    const std::string at = work.Path() + "/" + c.At;
    int pipeReader = -1;
    if (c.Plant == pLink) fs::create_symlink(victim.Path() + "/" + c.Target, at);
    if (c.Plant == pHardLink) fs::create_hard_link(victim.Path() + "/" + c.Target, at);
    if (c.Plant == pPipe) {
      ASSERT_EQ(mkfifo(at.c_str(), 0666), 0);
      // A reader keeps a writer that opens the pipe from blocking, so that a regression fails
      // instead of hanging.
      pipeReader = open(at.c_str(), O_RDONLY | O_NONBLOCK);
      ASSERT_GE(pipeReader, 0);
    }

    const THostRun run = Run(Launch(netlist), {});
    if (pipeReader >= 0) close(pipeReader);
    EXPECT_EQ(run.ExitCode, 0) << run.JournalText();
    for (const char* file : {"amp.sdf", "amp_tran.svg", "amp_ac.svg"})
      EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(work.Path() + "/" + file))) << file;
    const TSdfReadResult read = ReadSdfFile(work.Path() + "/amp.sdf");
    EXPECT_TRUE(read.Ok) << read.Error << "\n" << run.JournalText();
    EXPECT_EQ(ReadFile(precious), "precious\n");
    EXPECT_FALSE(fs::exists(fs::symlink_status(victim.Path() + "/created.txt")));
    const std::string name = c.At;
    if (name.size() > 5 && name.substr(name.size() - 5) == ".part") {
      // Not the viewer's to remove: it is left as planted.
      const fs::file_status planted = fs::symlink_status(at);
      EXPECT_EQ(planted.type(), c.Plant == pLink       ? fs::file_type::symlink
                                : c.Plant == pHardLink ? fs::file_type::regular
                                                       : fs::file_type::fifo);
    }
  }
}

// The viewer's exports as an engine calls them (no calling convention to name on this platform).
struct TViewerExports {
  std::int32_t (*GetCurrentWindow)() = nullptr;
  void (*SetDocumentName)(std::int32_t, const char*) = nullptr;
  std::int32_t (*NewChart)(std::int32_t, const char*, std::int32_t, std::uint8_t, std::int32_t) = nullptr;
  std::int32_t (*NewWaveform)(std::int32_t, std::int32_t, const char*, std::int32_t, std::uint8_t, std::uint8_t,
                              std::uint8_t, std::int32_t) = nullptr;
  void (*NewDataPoint)(std::int32_t, std::int32_t, std::int32_t, double, double, double, double) = nullptr;
  void (*DataComplete)(std::int32_t, std::uint8_t, std::int32_t) = nullptr;
  void (*OpenDocument)(const char*) = nullptr;
  std::int32_t (*TakeWriteFailure)(char*, std::int32_t) = nullptr;

  bool Bind(void* module) {
    auto bind = [&](auto& function, const char* name) {
      function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(module, name));
      return function != nullptr;
    };
    return bind(GetCurrentWindow, "OndulixAPI_GetCurrentWindow") && bind(SetDocumentName, "OndulixAPI_SetDocumentName") &&
           bind(NewChart, "OndulixAPI_NewChart") && bind(NewWaveform, "OndulixAPI_NewWaveform") &&
           bind(NewDataPoint, "OndulixAPI_NewDataPoint") && bind(DataComplete, "OndulixAPI_DataComplete") &&
           bind(OpenDocument, "Ondulix_OpenDocument") && bind(TakeWriteFailure, "Ondulix_TakeWriteFailure");
  }
  // One run of a transient of Points points, its files written at DataComplete.
  void RunTransient(int points) const {
    const std::int32_t window = GetCurrentWindow();
    SetDocumentName(window, "amp");
    const std::int32_t chart = NewChart(window, "tran", 0, 1, 0);
    const std::int32_t wave = NewWaveform(window, chart, "v(out)", 0, 1, 0, 0, 0);
    for (int i = 0; i < points; ++i) NewDataPoint(window, chart, wave, i * 1e-6, 0, std::sin(i * 0.01), 0);
    DataComplete(window, 0, 0);
  }
};

// What stands at Path: "none", "link", or by its first bytes "old", "sdf", "svg", else "other".
std::string KindOfFile(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return "none";
  if (S_ISLNK(st.st_mode)) return "link";
  std::ifstream in(path, std::ios::binary);
  std::string head(9, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(in.gcount()));
  if (head.rfind("old", 0) == 0) return "old";
  if (head == "SimData 1") return "sdf";
  if (head.rfind("<?xml", 0) == 0) return "svg";
  return "other";
}

TEST_F(WaveformViewer, AWriteThatFailsForWantOfRoomIsKeptForTheEngineAndLeavesTheOldFiles) {
  const std::string sdf = Work.File("amp.sdf", "old waveforms\n");
  const std::string svg = Work.File("amp_tran.svg", "old plot\n");
  int channel[2];
  ASSERT_EQ(pipe(channel), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // A child of its own: a file size limit stands for a disk with that much room left (a write
    // beyond it fails with EFBIG), and the viewer's state starts empty.
    close(channel[0]);
    alarm(60);
    std::signal(SIGXFSZ, SIG_IGN);
    void* module = dlopen((BinFolder() + "/Ondulix.dll").c_str(), RTLD_NOW | RTLD_LOCAL);
    TViewerExports viewer;
    std::string transcript;
    if (!module || !viewer.Bind(module)) {
      transcript = std::string("the viewer or one of its exports is missing: ") + (module ? "" : dlerror());
    } else {
      viewer.OpenDocument(sdf.c_str());
      const auto room = [](rlim_t bytes) {
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
      };
      const auto take = [&](const std::string& step, std::int32_t size) {
        char buffer[512];
        std::memset(buffer, '#', sizeof buffer);
        const std::int32_t failed = viewer.TakeWriteFailure(size > 0 ? buffer : nullptr, size);
        transcript += step + ": " + std::to_string(failed) + " \"" + (size > 0 ? std::string(buffer) : "-") + "\"";
        if (size > 0 && size < static_cast<std::int32_t>(sizeof buffer)) transcript += " after=" + std::string(1, buffer[size]);
        transcript += " sdf=" + KindOfFile(sdf) + " svg=" + KindOfFile(svg) + "\n";
      };
      room(0);
      viewer.RunTransient(3);
      room(RLIM_INFINITY);
      take("no room", 512);
      take("asked again", 512);
      room(256 * 1024);  // the plot fits, the waveform file of 50,000 points does not
      viewer.RunTransient(50000);
      room(RLIM_INFINITY);
      take("room for the plot only", 512);
      room(0);
      viewer.RunTransient(3);
      viewer.RunTransient(3);
      room(RLIM_INFINITY);
      take("no room twice, a plot written before", 512);
      viewer.RunTransient(3);
      take("room enough", 512);
      room(0);
      viewer.RunTransient(3);
      room(RLIM_INFINITY);
      take("a short buffer", 10);
      room(0);
      viewer.RunTransient(3);
      room(RLIM_INFINITY);
      take("no buffer", 0);
      take("then", 512);
    }
    const bool sent = write(channel[1], transcript.data(), transcript.size()) == static_cast<ssize_t>(transcript.size());
    _exit(sent ? 0 : 3);
  }
  close(channel[1]);
  std::string transcript;
  char block[4096];
  for (ssize_t n; (n = read(channel[0], block, sizeof block)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    transcript.append(block, static_cast<std::size_t>(n));
  }
  close(channel[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status << "\n" << transcript;

  const std::string failure = "Cannot write " + sdf + ": " + std::strerror(EFBIG);
  EXPECT_EQ(transcript, "no room: 1 \"" + failure + "\" sdf=old svg=old\n"
                        "asked again: 0 \"\" sdf=old svg=old\n"
                        "room for the plot only: 1 \"" + failure + "\" sdf=old svg=svg\n"
                        "no room twice, a plot written before: 1 \"" + failure + "\" sdf=old svg=svg\n"
                        "room enough: 0 \"\" sdf=sdf svg=svg\n"
                        "a short buffer: 1 \"Cannot wr\" after=# sdf=sdf svg=svg\n"
                        "no buffer: 1 \"-\" sdf=sdf svg=svg\n"
                        "then: 0 \"\" sdf=sdf svg=svg\n");
  for (const auto& entry : fs::directory_iterator(Work.Path()))
    EXPECT_NE(entry.path().extension(), ".part") << "no temporary file is left behind: " << entry.path();
}

}  // namespace
}  // namespace tolvex::e2e
