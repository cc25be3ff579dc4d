// "RunSimulator" from a view and with a project, external engines, and "ViewError".
#include <gtest/gtest.h>

#include <filesystem>

#include "HostRunner.h"

namespace tolvex::e2e {
namespace {

std::string Script(std::initializer_list<std::string> commands) {
  std::string text = "* scripted test circuit\n";
  for (const auto& c : commands) text += "*@ " + c + "\n";
  return text + ".end\n";
}

class Commands : public ::testing::Test {
 protected:
  THostRun Host(std::vector<std::string> args) {
    args.insert(args.begin(), {"--plugin", Plugin.Plugin()});
    return RunHost(args);
  }
  TPluginFolder Plugin;
  TScratchFolder Work;
};

TEST_F(Commands, TheViewDecidesWhetherARunStarts) {
  const std::string nsx = Work.File("amp.nsx", Script({"result 13"}));
  const std::string txt = Work.File("amp.txt", "text\n");
  struct TCase {
    const char* Name;
    std::vector<std::string> View;
    const char* Message;  // nullptr: no message
    bool Runs;
  } cases[] = {
      {"no view", {"no-view"}, nullptr, false},
      {"another server's document", {"open-as", "TextEdit", nsx}, "Cannot run simulation\rWrong editor: TextEdit",
       false},
      {"a text file of EditSim", {"open-as", "EditSim", txt},
       "Simulations can only be run on SPICE netlists\nwith the .nsx file extension.", false},
      {"a netlist of editsim", {"open-as", "editsim", nsx}, nullptr, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<std::string> args = c.View;
    args.insert(args.end(), {"launch", "RunSimulator", ""});
    const THostRun run = Host(args);
    const auto boxes = run.Events("msgbox");
    if (c.Message) {
      ASSERT_EQ(boxes.size(), 1u) << run.JournalText();
      EXPECT_EQ(boxes[0].Get("text"), c.Message);
    } else {
      EXPECT_TRUE(boxes.empty()) << run.JournalText();
    }
    EXPECT_EQ(run.Events("vfs-delete").size(), c.Runs ? 2u : 0u) << run.JournalText();
    if (c.Runs) {
      // The netlist is declared to the host, and the workspace is asked to get ready first.
      ASSERT_EQ(run.Events("document-kind").size(), 1u) << run.JournalText();
      EXPECT_EQ(run.Events("document-kind")[0].Get("kind"), "NSX");
      bool prepared = false;
      for (const auto& w : run.Events("workspace")) prepared = prepared || w.Get("op") == "PrepareForSimulation";
      EXPECT_TRUE(prepared) << run.JournalText();
    }
  }
}

TEST_F(Commands, FileOneRunsAnyFileWithoutEditorOrExtensionChecks) {
  const std::string odd = Work.File("circuit.cir", Script({"result 13"}));
  const THostRun run = Host({"open-as", "TextEdit", Work.File("x.txt", ""), "launch", "RunSimulator", "File1=" + odd});
  EXPECT_TRUE(run.Events("msgbox").empty()) << run.JournalText();
  EXPECT_EQ(run.Events("vfs-delete").at(0).Get("path"), Work.Path() + "/circuit.err");
}

TEST_F(Commands, TheWaveformFileGoesToTheProjectOnlyWhenTheNetlistIsNamed) {
  const std::string nsx = Work.File("amp.nsx", Script({"result 13"}));
  const std::string project = Work.Path() + "/Amp.PrjPcb";
  auto added = [](const THostRun& run) {
    std::vector<std::string> files;
    for (const auto& w : run.Events("workspace"))
      if (w.Get("op") == "AddGeneratedFile") files.push_back(w.Get("detail"));
    return files;
  };
  // The project is found in any letter case, and the waveform file handed to it.
  const THostRun named = Host({"--project", "/elsewhere/Other.PrjPcb", "--project", project, "launch",
                               "RunSimulator", "ProjectFullPath=" + Work.Path() + "/AMP.PRJPCB|File1=" + nsx});
  EXPECT_EQ(added(named), std::vector<std::string>{Work.Path() + "/amp.sdf"}) << named.JournalText();
  // From a view, the project is dropped again before the run.
  const THostRun fromView =
      Host({"--project", project, "open", nsx, "launch", "RunSimulator", "ProjectFullPath=" + project});
  EXPECT_TRUE(added(fromView).empty()) << fromView.JournalText();
  EXPECT_EQ(fromView.Events("vfs-delete").size(), 2u);
  // A project the workspace does not have ends the run silently.
  const THostRun unknown = Host({"launch", "RunSimulator", "ProjectFullPath=/no/such.PrjPcb|File1=" + nsx});
  EXPECT_TRUE(unknown.Events("msgbox").empty()) << unknown.JournalText();
  EXPECT_TRUE(unknown.Events("vfs-delete").empty()) << unknown.JournalText();
}

TEST_F(Commands, ExternalEngineResults) {
  struct TCase {
    int Result;
    const char* Message;
    const char* Opened;  // kind of the second document opened, or nullptr
  } cases[] = {
      {8, "XSpice could not locate the netlist file", nullptr},
      {13, nullptr, nullptr},
      {14, nullptr, nullptr},
      {15, nullptr, "Text"},
      {0, nullptr, "TEXT"},
      {1, nullptr, "TEXT"},
      {16, nullptr, "TEXT"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Result);
    const std::string nsx =
        Work.File("amp.nsx", Script({"err engine said no", "sim output", "result " + std::to_string(c.Result)}));
    const THostRun run = Host({"launch", "RunSimulator", "XSpiceDllName=ScriptedEngine.dll|File1=" + nsx});
    const auto boxes = run.Events("msgbox");
    ASSERT_EQ(boxes.size(), c.Message ? 1u : 0u) << run.JournalText();
    if (c.Message) {
      EXPECT_EQ(boxes[0].Get("text"), c.Message);
    }
    const auto opens = run.Events("document-open");
    ASSERT_EQ(opens.size(), c.Opened ? 2u : 1u) << run.JournalText();
    // The waveform document is asked for beside the netlist, never in the host's working folder.
    EXPECT_EQ(opens[0].Get("path"), Work.Path() + "/amp.sdf");
    if (c.Opened) {
      EXPECT_EQ(opens[1].Get("kind"), c.Opened);
    }
  }
}

TEST_F(Commands, ExternalEngineInRegressionModeOpensNothing) {
  const std::string nsx = Work.File("amp.nsx", Script({"err x", "result 0"}));
  const THostRun run =
      Host({"launch", "RunSimulator", "XSpiceDllName=ScriptedEngine.dll|RegressionTest=True|File1=" + nsx});
  EXPECT_TRUE(run.Events("msgbox").empty()) << run.JournalText();
  EXPECT_EQ(run.Events("document-open").size(), 1u) << run.JournalText();
}

TEST_F(Commands, ExternalEnginesThatCannotBeUsedAreRefused) {
  const std::string nsx = Work.File("amp.nsx", Script({"result 13"}));
  struct TCase {
    const char* Library;
    std::string Message;
  } cases[] = {
      {"NoSuchEngine.dll", "Could not load " + Plugin.Path() + "/NoSuchEngine.dll. Simulation cannot proceed."},
      {"StartOnlyEngine.dll", "Could not obtain the necessary addresses from " + Plugin.Path() +
                                  "/StartOnlyEngine.dll. Simulation cannot proceed."},
      // A full path is still taken inside the plug-in's folder.
      {"/usr/lib/NoSuchEngine.dll",
       "Could not load " + Plugin.Path() + "//usr/lib/NoSuchEngine.dll. Simulation cannot proceed."},
      {"C:\\Engines\\x.dll", "Could not load " + Plugin.Path() + "/C:\\Engines\\x.dll. Simulation cannot proceed."},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Library);
    const THostRun run = Host({"launch", "RunSimulator", std::string("XSpiceDllName=") + c.Library + "|File1=" + nsx,
                               "launch", "StopSimulator", ""});
    ASSERT_EQ(run.Events("msgbox").size(), 1u) << run.JournalText();
    EXPECT_EQ(run.Events("msgbox")[0].Get("text"), c.Message);
    EXPECT_TRUE(run.Events("document-open").empty()) << run.JournalText();
  }
}

TEST_F(Commands, EngineNameInCapitalsMeansTheBuiltInEngine) {
  const std::string nsx = Work.File("amp.nsx", Script({"result 9"}));
  const THostRun run = Host({"launch", "RunSimulator", "XSpiceDllName=XSPICE.DLL|File1=" + nsx});
  ASSERT_EQ(run.Events("msgbox").size(), 1u) << run.JournalText();
  // Only the built-in table names result 9.
  EXPECT_EQ(run.Events("msgbox")[0].Get("text"), "XSpice could not open the netlist file");
  EXPECT_EQ(run.Events("document-open").at(0).Get("path"), Work.Path() + "/amp.sdf");
}

TEST_F(Commands, ViewErrorOpensTheDocumentAndRunsTheProcessOnItsView) {
  const std::string sch = Work.File("amp.SchDoc", "schematic\n");
  const THostRun run = Host({"launch", "ViewError",
                             "FullDocumentPath=" + sch + "|DoCommand=Sch:ZoomToError|Object=R1|Line=12"});
  const auto opens = run.Events("document-open");
  ASSERT_EQ(opens.size(), 1u) << run.JournalText();
  EXPECT_EQ(opens[0].Get("kind"), "SCH");
  EXPECT_EQ(run.Events("document-show").at(0).Get("path"), sch);
  const auto processes = run.Events("process");
  ASSERT_EQ(processes.size(), 1u) << run.JournalText();
  EXPECT_EQ(processes[0].Get("name"), "Sch:ZoomToError");
  EXPECT_EQ(processes[0].Get("params"), "Object=R1|Line=12");
  EXPECT_EQ(processes[0].Get("size"), "1024");
  EXPECT_EQ(processes[0].Get("view"), sch);
}

TEST_F(Commands, ViewErrorWithoutADocumentUsesTheCurrentView) {
  const std::string nsx = Work.File("amp.nsx", "* amp\n");
  const THostRun run = Host({"open", nsx, "launch", "ViewError", "DoCommand=Sch:Refresh"});
  const auto processes = run.Events("process");
  ASSERT_EQ(processes.size(), 1u) << run.JournalText();
  EXPECT_EQ(processes[0].Get("params"), "");
  EXPECT_EQ(processes[0].Get("view"), nsx);
  // Without "DoCommand" nothing is run.
  const THostRun none = Host({"launch", "ViewError", "FullDocumentPath=/no/such.SchDoc"});
  EXPECT_TRUE(none.Events("process").empty()) << none.JournalText();
}

TEST_F(Commands, ViewErrorCutsARemainderThatDoesNotFitTheProcessBuffer) {
  const std::string big(600, 'x');
  const THostRun run = Host({"launch", "ViewError", "DoCommand=P|A=" + big + "|B=" + big});
  const auto processes = run.Events("process");
  ASSERT_EQ(processes.size(), 1u) << run.JournalText();
  EXPECT_EQ(processes[0].Get("params"), "A=" + big);
}

TEST_F(Commands, LongNetlistPathsAreRefusedWholeAndNeverCrash) {
  const std::string nsx = Work.File(std::string(120, 'd') + "/" + std::string(120, 'e') + "/amp.nsx",
                                    Script({"result 13"}));
  ASSERT_GT(nsx.size(), 255u);
  const THostRun run = Host({"launch", "RunSimulator", "File1=" + nsx});
  EXPECT_EQ(run.ExitCode, 0) << run.JournalText();
  // The engine is not handed the first 255 characters, another path: the run is refused, naming the whole one.
  ASSERT_EQ(run.Events("msgbox").size(), 1u) << run.JournalText();
  EXPECT_EQ(run.Events("msgbox")[0].Get("text"),
            "Cannot run simulation\nThis path is longer than 255 characters:\n" + nsx);
  EXPECT_TRUE(run.Events("vfs-delete").empty()) << run.JournalText();
  EXPECT_TRUE(run.Events("document-open").empty()) << run.JournalText();
}

TEST_F(Commands, TheEngineIsToldWhereToCallBack) {
  const std::string nsx = Work.File("amp.nsx", Script({"echo-start", "result 13"}));
  const std::string self = Plugin.Path() + "/Tolvex.dll";
  struct TCase {
    const char* Name;
    std::string Parameters;
    std::string StartText;
  } cases[] = {
      {"built-in", "File1=" + nsx, "NetlistFilename=" + nsx},
      {"built-in regression", "RegressionTest=True|File1=" + nsx, "OndulixPath=" + self + "|NetlistFilename=" + nsx},
      {"external", "XSpiceDllName=ScriptedEngine.dll|File1=" + nsx,
       "1" + Plugin.Path() + "/Ondulix.dll|" + self + "|" + nsx},
      {"external regression", "XSpiceDllName=ScriptedEngine.dll|RegressionTest=True|File1=" + nsx,
       "1" + self + "|" + self + "|" + nsx},
      {"external in a sub-folder", "XSpiceDllName=engines/ScriptedEngine.dll|File1=" + nsx,
       "1" + Plugin.Path() + "/Ondulix.dll|" + self + "|" + nsx},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const THostRun run = Host({"launch", "RunSimulator", c.Parameters});
    EXPECT_TRUE(run.Events("msgbox").empty()) << run.JournalText();
    EXPECT_EQ(ReadFile(Work.Path() + "/amp.sim"), c.StartText + "\n");
  }
}

TEST_F(Commands, RegressionRunsRelayEveryCallToTheViewer) {
  const std::string nsx = Work.File(
      "amp.nsx", Script({"GetCurrentWindow", "SetDocumentName amp", "NewChart tran 0 0 0",
                         "NewWaveform $c v(out) 0 0 0 0 0", "NewDataPoint $c $v 1e-3 0 0.5 0", "Wave_SetHint 1 2 3",
                         "FlushWindow 1", "DataComplete 1 0", "result 13"}));
  const std::string log = Work.Path() + "/viewer.log";
  const THostRun run = Host({"--viewer-log", log, "launch", "RunSimulator", "RegressionTest=True|File1=" + nsx});
  const std::string received = ReadFile(log);
  for (const char* call : {"GetCurrentWindow", "SetDocumentName window=1", "NewChart window=1",
                           "NewWaveform window=1 chart=", "NewDataPoint window=1 chart=", "Wave_SetHint window=1 a=1",
                           "FlushWindow window=1", "DataComplete window=1", "GetChartName chart="}) {
    SCOPED_TRACE(call);
    EXPECT_NE(received.find(call), std::string::npos) << received;
  }
  EXPECT_NE(ReadFile(Work.Path() + "/amp.txt").find("WaveName:v(out) Chart:tran"), std::string::npos);
}

TEST_F(Commands, ADumpThatCannotBeWrittenIsReportedAfterTheRunGoesOn) {
  const std::string nsx = Work.File("amp.nsx", Script({"SetDocumentName amp", "NewChart tran 0 0 0",
                                                       "DataComplete 1 0", "result 9"}));
  std::filesystem::create_directories(Work.Path() + "/amp.txt");  // where the dump would go
  const THostRun run = Host({"launch", "RunSimulator", "RegressionTest=True|File1=" + nsx});
  EXPECT_EQ(run.ExitCode, 0) << run.JournalText();
  // The engine's own result is answered first; then the user learns that there is no dump, and why.
  ASSERT_EQ(run.Events("msgbox").size(), 2u) << run.JournalText();
  EXPECT_EQ(run.Events("msgbox")[0].Get("text"), "XSpice could not open the netlist file");
  EXPECT_EQ(run.Events("msgbox")[1].Get("text"),
            "Could not create the dump file " + Work.Path() + "/amp.txt: Is a directory");
  EXPECT_TRUE(std::filesystem::is_directory(Work.Path() + "/amp.txt"));
}

}  // namespace
}  // namespace tolvex::e2e
