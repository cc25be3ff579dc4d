// Simulation runs through the stand-in host, the plug-in and the scripted engine:
// result codes, the busy guard, stopping from the host's queue, the option file,
// "ViewError", progress and the regression dump.
#include <gtest/gtest.h>

#include <filesystem>

#include "HostRunner.h"

namespace tolvex::e2e {
namespace {

// A netlist whose comment lines script the engine.
std::string Script(std::initializer_list<std::string> commands) {
  std::string text = "* scripted test circuit\n";
  for (const auto& c : commands) text += "*@ " + c + "\n";
  text += "R1 1 0 1k\n.end\n";
  return text;
}

std::vector<std::string> Texts(const std::vector<TJournalLine>& lines, const std::string& key) {
  std::vector<std::string> out;
  for (const auto& l : lines) out.push_back(l.Get(key));
  return out;
}

class SimulationRun : public ::testing::Test {
 protected:
  // Runs the netlist through "RunSimulator" with File1, plus Extra parameters and host options.
  THostRun RunNetlist(const std::string& netlist, const std::string& extra = "",
                      std::vector<std::string> hostOptions = {}, const std::vector<std::string>& env = {}) {
    hostOptions.insert(hostOptions.begin(), {"--plugin", Plugin.Plugin()});
    std::string params = "File1=" + netlist;
    if (!extra.empty()) params += "|" + extra;
    hostOptions.insert(hostOptions.end(), {"launch", "RunSimulator", params});
    return RunHost(hostOptions, env);
  }

  TPluginFolder Plugin;
  TScratchFolder Work;
};

TEST_F(SimulationRun, BuiltInEngineResultsAreAnsweredAsTheTableSays) {
  struct TCase {
    int Result;
    std::string Message;  // error text, or empty for none
  } cases[] = {
      {1, "XSpice could not locate Tolvex.dll"},
      {5, "XSpice could not allocate required memory"},
      {8, "XSpice could not locate the netlist file"},
      {9, "XSpice could not open the netlist file"},
      // The file that could not be opened is named on a second line.
      {10, "XSpice could not open the sim output file\n" + Work.Path() + "/r.sim"},
      {11, "XSpice could not open the error output file\n" + Work.Path() + "/r.err"},
      {16, "XSpice could not locate Ondulix server"},
      {13, ""},
      {14, ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Result);
    const std::string netlist = Work.File("r.nsx", Script({"err written", "result " + std::to_string(c.Result)}));
    const THostRun run = RunNetlist(netlist);
    ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
    const auto boxes = run.Events("msgbox");
    if (!c.Message.empty()) {
      ASSERT_EQ(boxes.size(), 1u) << run.JournalText();
      EXPECT_EQ(boxes[0].Get("caption"), "Halvenmoor Error");
      EXPECT_EQ(boxes[0].Get("icon"), "error");
      EXPECT_EQ(boxes[0].Get("text"), c.Message);
    } else {
      EXPECT_TRUE(boxes.empty()) << run.JournalText();
    }
    // Only the waveform document is opened: no error file, no text output.
    EXPECT_EQ(Texts(run.Events("document-open"), "kind"), std::vector<std::string>{"SimData"}) << run.JournalText();
  }
}

TEST_F(SimulationRun, StaleOutputsAreDeletedAndTheWaveformDocumentOpenedFirst) {
  const std::string netlist = Work.File("amp.nsx", Script({"result 13"}));
  Work.File("amp.err", "old errors\n");
  Work.File("amp.sim", "old output\n");
  const THostRun run = RunNetlist(netlist);
  const auto deletes = run.Events("vfs-delete");
  ASSERT_EQ(deletes.size(), 2u) << run.JournalText();
  EXPECT_EQ(deletes[0].Get("path"), Work.Path() + "/amp.err");
  EXPECT_EQ(deletes[1].Get("path"), Work.Path() + "/amp.sim");
  EXPECT_FALSE(FileExists(Work.Path() + "/amp.err"));
  const auto opens = run.Events("document-open");
  ASSERT_EQ(opens.size(), 1u) << run.JournalText();
  EXPECT_EQ(opens[0].Get("path"), Work.Path() + "/amp.sdf");
  EXPECT_EQ(run.Events("document-show").at(0).Get("path"), Work.Path() + "/amp.sdf");
}

TEST_F(SimulationRun, TextOutputIsShownForResult15) {
  const std::string netlist = Work.File("amp.nsx", Script({"sim output line", "result 15"}));
  const THostRun run = RunNetlist(netlist);
  const auto opens = run.Events("document-open");
  ASSERT_EQ(opens.size(), 2u) << run.JournalText();
  EXPECT_EQ(opens[1].Get("kind"), "Text");
  EXPECT_EQ(opens[1].Get("path"), Work.Path() + "/amp.sim");
  EXPECT_EQ(run.Events("document-show").back().Get("path"), Work.Path() + "/amp.sim");

  // Without the file the host opens nothing and the user is told which file is missing.
  const std::string bare = Work.File("bare.nsx", Script({"result 15"}));
  const THostRun missing = RunNetlist(bare);
  ASSERT_EQ(missing.Events("msgbox").size(), 1u) << missing.JournalText();
  EXPECT_EQ(missing.Events("msgbox")[0].Get("text"), "Cannot locate file : bare.sim");
}

TEST_F(SimulationRun, OtherResultsOfferTheErrorFile) {
  struct TCase {
    const char* Name;
    int Result;
    bool WriteErrors;
    std::vector<std::string> Answers;
    bool Asked;
    bool Opened;
  } cases[] = {
      {"result 0 with errors, Yes", 0, true, {"Yes"}, true, true},
      {"result 0 with errors, No", 0, true, {"No"}, true, false},
      {"result 0 without an error file", 0, false, {}, false, false},
      {"result 2", 2, true, {}, true, true},
      {"result 17", 17, true, {}, true, true},
      {"negative result", -4, true, {"No"}, true, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::initializer_list<std::string> withErrors = {"err failed to converge", "result " + std::to_string(c.Result)};
    std::initializer_list<std::string> without = {"result " + std::to_string(c.Result)};
    const std::string netlist = Work.File("amp.nsx", Script(c.WriteErrors ? withErrors : without));
    std::vector<std::string> options;
    for (const auto& a : c.Answers) options.insert(options.end(), {"--answer", a});
    const THostRun run = RunNetlist(netlist, "", options);
    const auto boxes = run.Events("msgbox");
    ASSERT_EQ(boxes.size(), c.Asked ? 1u : 0u) << run.JournalText();
    if (c.Asked) {
      EXPECT_EQ(boxes[0].Get("caption"), "Confirm");
      EXPECT_EQ(boxes[0].Get("icon"), "question");
      EXPECT_EQ(boxes[0].Get("buttons"), "Yes,No");
      EXPECT_EQ(boxes[0].Get("text"), "Errors occured during simulation. Do you want to view the errors now?");
    }
    const auto opens = run.Events("document-open");
    EXPECT_EQ(opens.size(), c.Opened ? 2u : 1u) << run.JournalText();
    if (c.Opened) {
      EXPECT_EQ(opens[1].Get("kind"), "TEXT");
      EXPECT_EQ(opens[1].Get("path"), Work.Path() + "/amp.err");
    }
  }
}

TEST_F(SimulationRun, OptionFileOpensTheErrorFileWithoutAQuestion) {
  struct TCase {
    const char* Ini;
    bool Asked;
  } cases[] = {{"[Durnix]\nAlwaysLoadErrorFile=1\n", false},
               {"[Durnix]\nAlwaysLoadErrorFile=0\n", true},
               {"[Durnix]\nAlwaysLoadErrorFile=yes\n", true},
               {"[Other]\nAlwaysLoadErrorFile=1\n", true}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Ini);
    TScratchFolder config;
    config.File("Zentor/Tolvex.ini", c.Ini);
    const std::string netlist = Work.File("amp.nsx", Script({"err bad node", "result 0"}));
    const THostRun run = RunNetlist(netlist, "", {}, {"XDG_CONFIG_HOME=" + config.Path()});
    EXPECT_EQ(run.Events("msgbox").size(), c.Asked ? 1u : 0u) << run.JournalText();
    // Asked or not, the default answer (Yes) opens the file.
    EXPECT_EQ(run.Events("document-open").size(), 2u) << run.JournalText();
  }
}

TEST_F(SimulationRun, TheOptionFolderIsCreatedWhenMissing) {
  TScratchFolder config;
  const std::string netlist = Work.File("amp.nsx", Script({"err x", "result 0"}));
  RunNetlist(netlist, "", {}, {"XDG_CONFIG_HOME=" + config.Path()});
  EXPECT_TRUE(std::filesystem::is_directory(config.Path() + "/Zentor"));
  EXPECT_FALSE(FileExists(config.Path() + "/Zentor/Tolvex.ini"));
}

TEST_F(SimulationRun, AnErrorFileAlreadyOpenIsRefreshed) {
  const std::string netlist = Work.File("amp.nsx", Script({"err again", "result 0"}));
  Work.File("amp.err", "from before\n");
  // Opening the old error file first makes it a document the host already has.
  const THostRun run = RunHost({"--plugin", Plugin.Plugin(), "open", Work.Path() + "/amp.err", "launch",
                                "RunSimulator", "File1=" + netlist});
  EXPECT_EQ(run.Events("document-refresh").size(), 1u) << run.JournalText();
  EXPECT_EQ(run.Events("document-open").size(), 1u) << run.JournalText();  // only the waveform document
}

TEST_F(SimulationRun, ASecondRunDuringARunIsTurnedAwayAndTheFirstGoesOn) {
  const std::string netlist =
      Work.File("amp.nsx", Script({"percent-init 4", "repeat 4 percent-update 1", "percent-finish", "result 13"}));
  const THostRun run = RunNetlist(netlist, "", {"--on-pump", "2", "RunSimulator", "File1=" + netlist});
  const auto boxes = run.Events("msgbox");
  ASSERT_EQ(boxes.size(), 1u) << run.JournalText();
  EXPECT_EQ(boxes[0].Get("caption"), "Halvenmoor Information");
  EXPECT_EQ(boxes[0].Get("text"), "A simulation is currently in progress.\nStop the simulation and try again.");
  // The first run finished its progress: all four updates reached the host.
  EXPECT_EQ(run.Events("status").back().Get("op"), "pop") << run.JournalText();
  EXPECT_EQ(run.Events("vfs-delete").size(), 2u) << run.JournalText();
}

TEST_F(SimulationRun, StopSimulatorFromTheHostsQueueStopsTheEngine) {
  const std::string netlist = Work.File("long.nsx", Script({"percent-init 100000", "run-until-stopped 100000",
                                                             "err not stopped", "result 0"}));
  const THostRun run = RunNetlist(netlist, "", {"--on-pump", "5", "StopSimulator", ""});
  ASSERT_EQ(run.Events("host-event").size(), 1u) << run.JournalText();
  EXPECT_TRUE(run.Events("msgbox").empty()) << run.JournalText();
  EXPECT_EQ(ReadFile(Work.Path() + "/long.err").find("not stopped"), std::string::npos);
  EXPECT_NE(ReadFile(Work.Path() + "/long.err").find("stopped after 5 updates"), std::string::npos)
      << ReadFile(Work.Path() + "/long.err");
}

TEST_F(SimulationRun, StopSimulatorBetweenRunsIsHarmless) {
  const THostRun run = RunHost({"--plugin", Plugin.Plugin(), "launch", "StopSimulator", "", "launch", "StopSimulator",
                                ""});
  EXPECT_EQ(run.ExitCode, 0) << run.JournalText();
  EXPECT_TRUE(run.DuringLaunch("StopSimulator").empty()) << run.JournalText();
}

TEST_F(SimulationRun, ProgressStepsFollowTheRoundedPercent) {
  struct TCase {
    const char* Name;
    std::initializer_list<std::string> Commands;
    std::vector<std::string> Positions;  // the position after each step, as the host counts
  };
  auto upTo = [](int first, int last) {
    std::vector<std::string> v;
    for (int i = first; i <= last; ++i) v.push_back(std::to_string(i));
    return v;
  };
  const TCase cases[] = {
      {"total 8, three updates", {"percent-init 8", "repeat 3 percent-update 1", "percent-finish"}, upTo(1, 38)},
      {"total 0", {"percent-init 0", "percent-update 1", "percent-update 1", "percent-finish"}, upTo(1, 100)},
      {"beyond the total", {"percent-init 4", "percent-update 3", "percent-update 9", "percent-update 9"},
       upTo(1, 100)},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string text = "* progress\n";
    for (const auto& command : c.Commands) text += "*@ " + command + "\n";
    text += "*@ result 13\n";
    const THostRun run = RunNetlist(Work.File("p.nsx", text));
    std::vector<std::string> positions;
    for (const auto& s : run.Events("status"))
      if (s.Get("op") == "progress-step") positions.push_back(s.Get("position"));
    EXPECT_EQ(positions, c.Positions) << run.JournalText();
  }
}

TEST_F(SimulationRun, ProgressCaptionIsTheStatusTextShownWhenItStarted) {
  const THostRun run =
      RunNetlist(Work.File("p.nsx", Script({"status Transient analysis", "percent-init 2", "percent-update 1",
                                            "percent-finish", "result 13"})));
  std::vector<std::string> ops;
  for (const auto& s : run.Events("status")) ops.push_back(s.Get("op"));
  EXPECT_EQ(ops.front(), "set");
  EXPECT_EQ(ops[1], "push");
  ASSERT_EQ(ops[2], "progress-start") << run.JournalText();
  EXPECT_EQ(run.Events("status")[2].Get("caption"), "Transient analysis");
  // The progress is taken down, and then the text the run set is given back.
  ASSERT_GE(ops.size(), 2u);
  EXPECT_EQ(ops[ops.size() - 2], "pop");
  EXPECT_EQ(ops.back(), "set");
  EXPECT_EQ(run.Events("status").back().Get("text"), "");
}

TEST_F(SimulationRun, RegressionRunWritesTheDumpByteForByteAndOpensNoOutputs) {
  const std::string netlist = Work.File(
      "amp.nsx", Script({"GetCurrentWindow", "SetDocumentName amp", "NewChart Transient 0 0 0",
                         "InitializeXAxis $c 0 0.001", "NewWaveform $c V(out) 0 0 0 0 0",
                         "NewDataPoint $c $v 0.001 0 2.5 0", "NewDataPoint $c $v -0.0025 0 1.5 -0",
                         "Chart_Create AC 0 0 0", "Chart_FormatXAxis $c 0 0 0 10 1e6", "UpdateChart $c",
                         "DataComplete 1 0", "NewChart Late 0 0 0", "err a warning", "sim some output",
                         "result 15"}));
  const THostRun run = RunNetlist(netlist, "RegressionTest=true", {"--decimal-separator", ","});
  ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
  EXPECT_TRUE(run.Events("msgbox").empty()) << run.JournalText();
  EXPECT_EQ(run.Events("document-open").size(), 1u) << run.JournalText();
  const std::string dump = ReadFile(Work.Path() + "/amp.txt");
  EXPECT_EQ(dump,
            "Dump For: AMP\r\n"
            "OndulixAPI_NewChart -> Chart:Transient\r\n"
            "OndulixAPI_InitializeXAxis -> Chart:Transient\r\n"
            "OndulixAPI_NewWaveform -> WaveName:V(out) Chart:Transient\r\n"
            "OndulixAPI_NewDataPoint (V) -> RX:1.0000000E-03 IX:0.0000000E+00 RY:2.5000000E+00 "
            "IY:0.0000000E+00 WaveIndex:0 WaveName:V(out) Chart:Transient\r\n"
            "OndulixAPI_NewDataPoint (V) -> RX:-2.5000000E-03 IX:0.0000000E+00 RY:1.5000000E+00 "
            "IY:0.0000000E+00 WaveIndex:0 WaveName:V(out) Chart:Transient\r\n"
            "OndulixAPI_NewChart -> Chart:AC\r\n"
            "OndulixAPI_InitializeXAxis -> Chart:AC\r\n"
            "OndulixAPI_UpdateChart -> Chart:AC\r\n"
            "OndulixAPI_DataComplete\r\n");
}

TEST_F(SimulationRun, RegressionModeStillShowsTheMessagesOfTheTable) {
  const THostRun run = RunNetlist(Work.File("r.nsx", Script({"err x", "result 9"})), "RegressionTest=TRUE");
  ASSERT_EQ(run.Events("msgbox").size(), 1u) << run.JournalText();
  EXPECT_EQ(run.Events("msgbox")[0].Get("text"), "XSpice could not open the netlist file");
  const THostRun quiet = RunNetlist(Work.File("q.nsx", Script({"err x", "result 0"})), "RegressionTest=True");
  EXPECT_TRUE(quiet.Events("msgbox").empty()) << quiet.JournalText();
  EXPECT_EQ(quiet.Events("document-open").size(), 1u) << quiet.JournalText();
}

TEST_F(SimulationRun, EngineNotInstalledEndsTheRunSilently) {
  TPluginFolder bare("");
  const std::string netlist = Work.File("amp.nsx", Script({"err x"}));
  const THostRun run = RunHost({"--plugin", bare.Plugin(), "launch", "RunSimulator", "File1=" + netlist,
                                "launch", "StopSimulator", ""});
  EXPECT_EQ(run.ExitCode, 0) << run.JournalText();
  EXPECT_TRUE(run.Events("msgbox").empty()) << run.JournalText();
  EXPECT_EQ(run.Events("vfs-delete").size(), 2u);
}

TEST_F(SimulationRun, SeparatorIsGivenBackAfterARunAndAfterAnError) {
  const std::string netlist = Work.File("amp.nsx", Script({"result 13"}));
  const std::string project = Work.Path() + "/amp.PrjPcb";
  // Handing the waveform file to the project fails inside the run, after the separator was set.
  const THostRun run = RunHost({"--plugin", Plugin.Plugin(), "--decimal-separator", ",", "--project", project,
                                "--workspace-fail", "AddGeneratedFile", "separator", "launch", "RunSimulator",
                                "File1=" + netlist, "separator", "launch", "RunSimulator",
                                "ProjectFullPath=" + project + "|File1=" + netlist, "separator", "launch",
                                "RunSimulator", "ProjectFullPath=" + project + "|File1=" + netlist, "separator"});
  EXPECT_EQ(Texts(run.Events("separator"), "value"), (std::vector<std::string>{",", ",", ",", ","}))
      << run.JournalText();
  // Each error ended its command with a message and did not leave the server busy.
  const auto boxes = run.Events("msgbox");
  ASSERT_EQ(boxes.size(), 2u) << run.JournalText();
  EXPECT_EQ(boxes[0].Get("caption"), "Halvenmoor Error");
  EXPECT_EQ(boxes[1].Get("caption"), "Halvenmoor Error");
}

TEST_F(SimulationRun, WorkspaceErrorWhilePreparingTheViewEndsTheCommand) {
  const std::string netlist = Work.File("amp.nsx", Script({"result 13"}));
  const THostRun run = RunHost({"--plugin", Plugin.Plugin(), "--workspace-fail", "PrepareForSimulation", "open",
                                netlist, "launch", "RunSimulator", "", "launch", "RunSimulator", ""});
  const auto boxes = run.Events("msgbox");
  ASSERT_EQ(boxes.size(), 2u) << run.JournalText();
  EXPECT_EQ(boxes[1].Get("caption"), "Halvenmoor Error");  // not the busy message
  EXPECT_TRUE(run.Events("vfs-delete").empty()) << run.JournalText();
}

}  // namespace
}  // namespace tolvex::e2e
