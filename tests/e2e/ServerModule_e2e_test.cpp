// The "SIM" server as the host sees it: its name, its commands and when "RunSimulator" is offered.
#include <gtest/gtest.h>

#include "HostRunner.h"

namespace tolvex::e2e {
namespace {

TEST(ServerModuleEndToEnd, LoadsAsSimAfterTheHostsOwnModules) {
  const THostRun run = RunHost({"module-name"});
  ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
  const auto names = run.Events("module-name");
  ASSERT_EQ(names.size(), 1u) << run.JournalText();
  EXPECT_EQ(names[0].Get("name"), "SIM");
  // The workspace module is loaded before the plug-in, so the plug-in can find it.
  ASSERT_FALSE(run.Events("module").empty());
  EXPECT_EQ(run.Events("module")[0].Get("name"), "Fenwarden.dll");
  EXPECT_EQ(run.Events("plugin").at(0).Get("result"), "loaded") << run.JournalText();
}

TEST(ServerModuleEndToEnd, RunSimulatorIsOfferedOnlyForNetlistsOfTheSimulationEditor) {
  TScratchFolder folder;
  struct TCase {
    const char* Name;
    std::vector<std::string> View;  // actions that set up the current view
    const char* Command;
    const char* Enabled;
  };
  const std::string nsx = folder.File("amp.nsx", "* amp\n");
  const std::string upper = folder.File("AMP.NSX", "* amp\n");
  const std::string txt = folder.File("amp.txt", "text\n");
  const std::string bak = folder.File("amp.nsx.bak", "* old\n");
  const std::string dotted = folder.File("run.nsx/netlist", "* no extension\n");
  const TCase cases[] = {
      {"no view", {"no-view"}, "RunSimulator", "0"},
      {"netlist of EditSim", {"open", nsx}, "RunSimulator", "-1"},
      {"capital extension", {"open", upper}, "RunSimulator", "-1"},
      {"server name in lower case", {"open-as", "editsim", nsx}, "RunSimulator", "-1"},
      {"another server", {"open-as", "TextEdit", nsx}, "RunSimulator", "0"},
      {"text file of EditSim", {"open-as", "EditSim", txt}, "RunSimulator", "0"},
      {"backup of a netlist", {"open-as", "EditSim", bak}, "RunSimulator", "0"},
      {"folder named like a netlist", {"open-as", "EditSim", dotted}, "RunSimulator", "0"},
      {"command name in lower case", {"no-view"}, "runsimulator", "0"},
      {"StopSimulator without a view", {"no-view"}, "StopSimulator", "-1"},
      {"ViewError without a view", {"no-view"}, "ViewError", "-1"},
      {"StopSimulator with a text view", {"open", txt}, "StopSimulator", "-1"},
      {"ViewError with a netlist view", {"open", nsx}, "ViewError", "-1"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<std::string> args = c.View;
    args.insert(args.end(), {"state", c.Command, ""});
    const THostRun run = RunHost(args);
    ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
    const auto states = run.Events("state");
    ASSERT_EQ(states.size(), 1u) << run.JournalText();
    EXPECT_EQ(states[0].Get("enabled"), c.Enabled) << run.JournalText();
    // The four other results keep their defaults whatever the view.
    EXPECT_EQ(states[0].Get("checked"), "0");
    EXPECT_EQ(states[0].Get("visible"), "-1");
    EXPECT_EQ(states[0].Get("extra1"), "0");
    EXPECT_EQ(states[0].Get("extra2"), "0");
  }
}

TEST(ServerModuleEndToEnd, UnknownCommandsDoNothing) {
  TScratchFolder folder;
  const std::string nsx = folder.File("amp.nsx", "* amp\n");
  const THostRun run = RunHost({"open", nsx, "launch", "NoSuchCommand", "A=1", "state", "NoSuchCommand", ""});
  ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
  EXPECT_TRUE(run.DuringLaunch("NoSuchCommand").empty()) << run.JournalText();
  // An unknown command reports the defaults: enabled.
  EXPECT_EQ(run.Events("state").at(0).Get("enabled"), "-1");
}

TEST(ServerModuleEndToEnd, SimEditorOnHandlesTheSchematicDoesNotKnowReportsFailure) {
  // No schematic is loaded: no handle names an implementation, and nothing is shown.
  const THostRun run = RunHost({"edit", "0", "0", "edit", "999999", "0"});
  ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
  const auto edits = run.Events("edit");
  ASSERT_EQ(edits.size(), 2u) << run.JournalText();
  for (const TJournalLine& edit : edits) {
    EXPECT_EQ(edit.Get("status"), "0x8000FFFF");
    EXPECT_EQ(edit.Get("accepted"), "0");
  }
}

TEST(ServerModuleEndToEnd, MissingPluginIsAClearError) {
  const THostRun run = RunHost({"--plugin", "/nonexistent/Tolvex.dll", "module-name"});
  EXPECT_EQ(run.ExitCode, 2);
  EXPECT_NE(run.Output.find("cannot load"), std::string::npos) << run.Output;
}

}  // namespace
}  // namespace tolvex::e2e
