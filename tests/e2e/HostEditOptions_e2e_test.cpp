// tolvex-host's edit by designator, its UI scripts and transcripts, and the common dialog it answers from --choose.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HostRunner.h"

namespace tolvex::e2e {
namespace {

const std::string kSchematic = std::string(TOLVEX_TEST_DATA_DIR) + "/schematics/rc_filter.SchDoc";

std::vector<std::string> UiLines(const THostRun& run) {
  std::vector<std::string> lines;
  for (const TJournalLine& line : run.Events("ui")) lines.push_back(line.Get("line"));
  return lines;
}

class HostEditOptions : public ::testing::Test {
 protected:
  // A script that only closes the form: whatever the dialog shows, a form that ran leaves its lines.
  std::string CloseScript() const { return Work.File("close.script", "close\n"); }
  std::vector<std::string> OnSchematic(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--schematic", kSchematic, "open", kSchematic});
    return args;
  }
  TScratchFolder Work;
};

TEST_F(HostEditOptions, EditByDesignatorCallsWithTheComponentsHandlesOrJournalsWhyNot) {
  // The handles the server gives R1, as `component` journals them.
  const THostRun lookup = RunHost(OnSchematic({"component", "R1"}));
  ASSERT_EQ(lookup.Events("component").size(), 1u) << lookup.JournalText();
  const std::string handle = lookup.Events("component")[0].Get("handle");
  const std::string implementation = lookup.Events("component")[0].Get("implementation");
  ASSERT_NE(handle, "0") << lookup.JournalText();

  struct TCase {
    const char* Name;
    std::vector<std::string> Actions;
    const char* Designator;  // the edit event's
    bool Called;
    const char* Error;  // part of the error field; "" for none
  };
  const TCase cases[] = {
      {"the designator", {"edit", "R1"}, "R1", true, ""},
      {"letter case ignored", {"edit", "r1"}, "r1", true, ""},
      {"two handles", {"edit", implementation, handle}, "", true, ""},
      {"no such component", {"edit", "NOPE"}, "NOPE", false, "no component NOPE"},
      {"no view", {"no-view", "edit", "R1"}, "R1", false, "no current view"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<std::string> args = OnSchematic(c.Actions);
    args.insert(args.begin(), {"--ui-script", CloseScript()});
    const THostRun run = RunHost(args);
    ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
    const auto edits = run.Events("edit");
    ASSERT_EQ(edits.size(), 1u) << run.JournalText();
    EXPECT_EQ(edits[0].Get("designator"), c.Designator);
    EXPECT_EQ(edits[0].Get("implementation"), c.Called ? implementation : "0") << run.JournalText();
    EXPECT_EQ(edits[0].Get("component"), c.Called ? handle : "0") << run.JournalText();
    EXPECT_NE(edits[0].Get("status"), "");
    if (*c.Error == '\0')
      EXPECT_EQ(edits[0].Get("error"), "") << run.JournalText();
    else
      EXPECT_NE(edits[0].Get("error").find(c.Error), std::string::npos) << run.JournalText();
    // A call shows the dialog, which takes the script; without one the script is left over.
    const auto scripts = run.Events("ui-script");
    ASSERT_FALSE(scripts.empty()) << run.JournalText();
    EXPECT_EQ(scripts.back().Get("result"), c.Called ? "queued" : "unplayed") << run.JournalText();
    EXPECT_EQ(UiLines(run).empty(), !c.Called) << run.JournalText();
  }
}

TEST_F(HostEditOptions, AUiScriptThatCannotBeReadEndsTheHostBeforeThePlugIn) {
  const std::string fifo = Work.Path() + "/script.fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct TCase {
    const char* Name;
    std::string Path;
  };
  const TCase cases[] = {
      {"missing", Work.Path() + "/none.script"},
      {"a folder", Work.Path()},
      {"a FIFO no one writes to", fifo},  // must not wait for a writer
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    THostGuard guard;
    guard.TimeLimitSeconds = 60;
    const THostRun run = RunHostGuarded({"--ui-script", CloseScript(), "--ui-script", c.Path, "module-name"}, guard);
    EXPECT_FALSE(run.TimedOut);
    EXPECT_EQ(run.ExitCode, 2) << run.JournalText();
    EXPECT_NE(run.Output.find("cannot read the UI script " + c.Path), std::string::npos) << run.Output;
    EXPECT_TRUE(run.Events("plugin").empty()) << run.JournalText();
    ASSERT_EQ(run.Events("ui-script").size(), 1u) << run.JournalText();
    EXPECT_EQ(run.Events("ui-script")[0].Get("result"), "failed");
  }
}

TEST_F(HostEditOptions, TheTranscriptGoesToItsFileInsteadOfTheJournal) {
  const THostRun journaled = RunHost(OnSchematic({"--ui-script", CloseScript(), "edit", "R1"}));
  const std::vector<std::string> lines = UiLines(journaled);
  ASSERT_GE(lines.size(), 2u) << journaled.JournalText();
  EXPECT_EQ(lines.front().rfind("form ", 0), 0u) << journaled.JournalText();
  EXPECT_EQ(lines.back(), "result Cancel") << journaled.JournalText();

  // The file is made afresh: what was there before is gone, and nothing goes to the journal.
  const std::string file = Work.File("edit.transcript", "an old line\n");
  const THostRun run = RunHost(OnSchematic({"--ui-script", CloseScript(), "--ui-transcript", file, "edit", "R1"}));
  ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
  EXPECT_TRUE(UiLines(run).empty()) << run.JournalText();
  std::string expected;
  for (const std::string& line : lines) expected += line + "\n";
  EXPECT_EQ(ReadFile(file), expected);

  // Made even when no form runs, so that a caller always finds it.
  const std::string empty = Work.Path() + "/empty.transcript";
  const THostRun none = RunHost({"--ui-transcript", empty, "module-name"});
  ASSERT_EQ(none.ExitCode, 0) << none.JournalText();
  EXPECT_TRUE(FileExists(empty));
  EXPECT_EQ(ReadFile(empty), "");
}

TEST_F(HostEditOptions, AHostEventFallingDueDuringTheScriptArrivesBetweenItsSteps) {
  // The first look at the queue is before step 1, the second before step 2.
  const std::string script = Work.File("two.script", "resize 700 600\nescape\n");
  const THostRun run = RunHost(OnSchematic({"--ui-script", script, "--on-pump", "2", "StopSimulator", "", "edit", "R1"}));
  ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
  std::vector<std::string> order;
  for (const TJournalLine& line : run.Journal) {
    if (line.Event == "host-event" || line.Event == "launch-done") order.push_back(line.Event);
    if (line.Event == "ui" && line.Get("line").rfind("step ", 0) == 0) order.push_back(line.Get("line"));
    if (line.Event == "ui" && line.Get("line").rfind("  state ", 0) == 0 && order.size() == 1) order.push_back("state");
  }
  const std::vector<std::string> expected = {"step 1: resize 700 600", "state", "host-event", "launch-done",
                                             "step 2: escape"};
  EXPECT_EQ(order, expected) << run.JournalText();
}

TEST_F(HostEditOptions, InTheQtWindowAHostEventPostedDuringTheDialogArrivesBeforeItCloses) {
  // The window's modal loop and the script's steps both keep the queue moving: the event that falls due at
  // the first look is delivered while the dialog is still open.
  const std::string script = Work.File("three.script", "resize 700 600\nresize 720 600\nescape\n");
  const THostRun run = RunHost(
      OnSchematic({"--gui", "--ui-script", script, "--on-pump", "1", "StopSimulator", "", "edit", "R1"}),
      {"QT_QPA_PLATFORM=offscreen"});
  ASSERT_EQ(run.ExitCode, 0) << run.Output << run.JournalText();
  std::vector<std::string> order;
  for (const TJournalLine& line : run.Journal) {
    if (line.Event == "gui" || line.Event == "host-event" || line.Event == "edit") order.push_back(line.Event);
    if (line.Event == "ui" && line.Get("line").rfind("result ", 0) == 0) order.push_back(line.Get("line"));
  }
  const std::vector<std::string> expected = {"gui", "host-event", "result Cancel", "edit"};
  EXPECT_EQ(order, expected) << run.JournalText();
}

TEST_F(HostEditOptions, GuiWithoutADisplayEndsTheHostWithItsReasonBeforeThePlugIn) {
  for (const std::vector<std::string>& environment :
       {std::vector<std::string>{"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="},
        std::vector<std::string>{"DISPLAY=:97", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="}}) {
    SCOPED_TRACE(environment[0]);
    THostGuard guard;
    guard.TimeLimitSeconds = 60;
    const THostRun run = RunHostGuarded({"--gui", "module-name"}, guard, environment);
    EXPECT_EQ(run.ExitCode, 2) << run.Output;
    EXPECT_NE(run.Output.find("tolvex-host: --gui:"), std::string::npos) << run.Output;
    ASSERT_EQ(run.Events("gui").size(), 1u) << run.JournalText();
    EXPECT_EQ(run.Events("gui")[0].Get("result"), "failed");
    EXPECT_TRUE(run.Events("plugin").empty()) << run.JournalText();
  }
}

TEST_F(HostEditOptions, TheHostAnswersItsCommonDialogFromTheQueuedChoices) {
  const std::string request = "|Dialog=DDBBrowser|Caption=Choose Model Location|DocumentKind1=SIM";
  const std::string asked = "Dialog=DDBBrowser|Caption=Choose Model Location|DocumentKind1=SIM";
  const std::string longPath = "/" + std::string(1100, 'm') + ".lib";  // the plug-in's buffer holds 1,024 bytes
  struct TCase {
    const char* Name;
    std::vector<std::string> Choices;
    const char* Process;
    const char* Answer;
    std::string Reply;  // what the host wrote into the plug-in's buffer
    const char* Error;  // part of the error field; "" for none
  };
  const TCase cases[] = {
      {"a choice queued", {"/lib/d.mdl"}, "Client:RunCommonDialog", "/lib/d.mdl",
       asked + "|Result=True|Path=/lib/d.mdl", ""},
      {"the process name in other letters", {"/lib/d.mdl"}, "client:runcommondialog", "/lib/d.mdl",
       asked + "|Result=True|Path=/lib/d.mdl", ""},
      {"nothing queued", {}, "Client:RunCommonDialog", "cancelled", asked + "|Result=False", ""},
      {"a path too long for the buffer", {longPath}, "Client:RunCommonDialog", "cancelled", "Result=False",
       "does not fit"},
      {"a path a parameter text cannot carry", {"/a|b.lib"}, "Client:RunCommonDialog", "cancelled", "Result=False",
       "cannot be carried"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<std::string> args;
    for (const std::string& choice : c.Choices) args.insert(args.end(), {"--choose", choice});
    args.insert(args.end(), {"launch", "ViewError", std::string("DoCommand=") + c.Process + request});
    const THostRun run = RunHost(args);
    ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
    EXPECT_TRUE(run.Events("process").empty()) << run.JournalText();
    const auto dialogs = run.Events("common-dialog");
    ASSERT_EQ(dialogs.size(), 1u) << run.JournalText();
    EXPECT_EQ(dialogs[0].Get("dialog"), "DDBBrowser");
    EXPECT_EQ(dialogs[0].Get("caption"), "Choose Model Location");
    EXPECT_EQ(dialogs[0].Get("answer"), c.Answer);
    EXPECT_EQ(dialogs[0].Get("reply"), c.Reply);
    EXPECT_LT(dialogs[0].Get("reply").size(), 1024u);
    if (*c.Error == '\0')
      EXPECT_EQ(dialogs[0].Get("error"), "");
    else
      EXPECT_NE(dialogs[0].Get("error").find(c.Error), std::string::npos) << run.JournalText();
  }

  // Choices are taken in order, one a dialog; other processes are only journaled.
  const std::string ask = "DoCommand=Client:RunCommonDialog" + request;
  const THostRun run = RunHost({"--choose", "/first.lib", "--choose", "/second.lib", "launch", "ViewError", ask,
                                "launch", "ViewError", "DoCommand=Sch:Refresh", "launch", "ViewError", ask});
  const auto dialogs = run.Events("common-dialog");
  ASSERT_EQ(dialogs.size(), 2u) << run.JournalText();
  EXPECT_EQ(dialogs[0].Get("answer"), "/first.lib");
  EXPECT_EQ(dialogs[1].Get("answer"), "/second.lib");
  ASSERT_EQ(run.Events("process").size(), 1u) << run.JournalText();
  EXPECT_EQ(run.Events("process")[0].Get("name"), "Sch:Refresh");
}

}  // namespace
}  // namespace tolvex::e2e
