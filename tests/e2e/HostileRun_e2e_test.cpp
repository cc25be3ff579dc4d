// Simulation runs met with hostile or careless input through the stand-in host and the scripted
// engine: paths the engine cannot be given, outputs that would destroy the input, planted links,
// a full disk, progress values out of all range, runs that end halfway, and an option file that is
// not a file. Every run here is guarded, so that a regression that blocks fails instead of hanging.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "HostRunner.h"

namespace tolvex::e2e {
namespace {

namespace fs = std::filesystem;

std::string Script(std::initializer_list<std::string> commands) {
  std::string text = "* scripted test circuit\n";
  for (const auto& c : commands) text += "*@ " + c + "\n";
  return text + "R1 1 0 1k\n.end\n";
}

std::string CannotRun(const std::string& reason) { return "Cannot run simulation\n" + reason; }
std::string TooLong(const std::string& path) {
  return CannotRun("This path is longer than 255 characters:\n" + path);
}
std::string WithBar(const std::string& path) {
  return CannotRun("The engine cannot be given a path that contains \"|\":\n" + path);
}
std::string Overwrites(const std::string& output) {
  return CannotRun("An output of the run would overwrite its netlist:\n" + output);
}

// Removes what a folder holds, keeping the folder.
void EmptyFolder(const std::string& folder) {
  std::vector<fs::path> entries;
  for (const auto& entry : fs::directory_iterator(folder)) entries.push_back(entry.path());
  for (const fs::path& entry : entries) fs::remove_all(entry);
}

// Every regular file below Folder (links followed) with its content.
std::map<std::string, std::string> FilesBelow(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file()) files[entry.path().string()] = ReadFile(entry.path().string());
  return files;
}

std::vector<std::string> MessageTexts(const THostRun& run) {
  std::vector<std::string> texts;
  for (const auto& box : run.Events("msgbox")) texts.push_back(box.Get("text"));
  return texts;
}

// A plug-in folder named Name, or one deeper than the 255-character field that holds the plug-in's
// own path when Name is empty.
class TOddPluginFolder {
 public:
  explicit TOddPluginFolder(const std::string& name = std::string()) {
    FPath = FRoot.Path();
    if (!name.empty()) FPath += "/" + name;
    while (name.empty() && FPath.size() <= 260) FPath += "/" + std::string(60, 'p');
    fs::create_directories(FPath);
    for (const char* file : {"Tolvex.dll", "libtolvex_user.so", "ScriptedEngine.dll"})
      fs::create_symlink(BinFolder() + "/" + file, FPath + "/" + file);
    fs::create_symlink(BinFolder() + "/ScriptedEngine.dll", FPath + "/xspice.dll");
  }
  const std::string& Path() const { return FPath; }

 private:
  TScratchFolder FRoot;
  std::string FPath;
};

class HostileRun : public ::testing::Test {
 protected:
  THostRun Host(std::vector<std::string> args, const THostGuard& guard = Guard(),
                const std::string& plugin = std::string()) {
    args.insert(args.begin(), {"--plugin", plugin.empty() ? Plugin.Plugin() : plugin});
    return RunHostGuarded(args, guard);
  }
  static THostGuard Guard() {
    THostGuard guard;
    guard.TimeLimitSeconds = 60;
    return guard;
  }

  TPluginFolder Plugin;
  TScratchFolder Work;
};

TEST_F(HostileRun, PathsThatCannotBeHandedOverOrWouldDestroyTheNetlistAreRefusedBeforeAnythingIsTouched) {
  const std::string w = Work.Path();
  const std::string script = Script({"echo-start", "sim engine ran", "SetDocumentName amp", "DataComplete 1 0",
                                     "result 15"});
  // The first 255 characters of a longer path name a file too: a cut would simulate that one.
  const std::string longFolder = w + "/" + std::string(150, 'd');
  const std::string longNetlist = longFolder + "/" + std::string(120, 'e') + ".nsx";
  const std::string cutNetlist = longNetlist.substr(0, 255);
  // A name of exactly 255 characters without an extension: its outputs append to it.
  const std::string bareName = w + "/" + std::string(255 - w.size() - 1, 'b');
  const TOddPluginFolder deep;
  const TOddPluginFolder barred("plug|in");

  struct TCase {
    std::string Name;
    std::vector<std::string> Files;      // netlists to create with the script
    std::function<void()> Setup;         // links and the like
    std::vector<std::string> Arguments;  // host actions
    std::string Message;                 // the one message expected
    std::string Plugin = {};             // empty: the ordinary plug-in folder
  };
  const TCase cases[] = {
      {"a \"|\" that would name another viewer",
       {w + "/a|OndulixPath=/x/evil.so|x.nsx"}, nullptr,
       {"open", w + "/a|OndulixPath=/x/evil.so|x.nsx", "launch", "RunSimulator", "RegressionTest=True"},
       WithBar(w + "/a|OndulixPath=/x/evil.so|x.nsx")},
      {"a \"|\" that would name a sibling netlist",
       {w + "/amp|v2.nsx", w + "/amp"}, nullptr,
       {"open", w + "/amp|v2.nsx", "launch", "RunSimulator", ""}, WithBar(w + "/amp|v2.nsx")},
      {"a \"|\" given to the external engine",
       {w + "/amp|v2.nsx", w + "/amp"}, nullptr,
       {"open", w + "/amp|v2.nsx", "launch", "RunSimulator", "XSpiceDllName=ScriptedEngine.dll"},
       WithBar(w + "/amp|v2.nsx")},
      {"a netlist named like its text output", {w + "/data.sim"}, nullptr,
       {"launch", "RunSimulator", "File1=" + w + "/data.sim"}, Overwrites(w + "/data.sim")},
      {"a netlist named like its error file", {w + "/notes.err"}, nullptr,
       {"launch", "RunSimulator", "File1=" + w + "/notes.err"}, Overwrites(w + "/notes.err")},
      {"a netlist named like its waveform file", {w + "/circuit.sdf"}, nullptr,
       {"launch", "RunSimulator", "File1=" + w + "/circuit.sdf"}, Overwrites(w + "/circuit.sdf")},
      {"a netlist named like the dump of a regression run", {w + "/circuit.txt"}, nullptr,
       {"launch", "RunSimulator", "RegressionTest=True|File1=" + w + "/circuit.txt"}, Overwrites(w + "/circuit.txt")},
      {"the external engine and a netlist named like its text output", {w + "/data.sim"}, nullptr,
       {"launch", "RunSimulator", "XSpiceDllName=ScriptedEngine.dll|File1=" + w + "/data.sim"},
       Overwrites(w + "/data.sim")},
      {"a link named like the waveform file that leads to the netlist", {w + "/amp.nsx"},
       [&] { fs::create_symlink(w + "/amp.nsx", w + "/amp.sdf"); },
       {"launch", "RunSimulator", "File1=" + w + "/amp.nsx"}, Overwrites(w + "/amp.sdf")},
      {"a second name of the netlist as its error file", {w + "/amp.nsx"},
       [&] { fs::create_hard_link(w + "/amp.nsx", w + "/amp.err"); },
       {"launch", "RunSimulator", "File1=" + w + "/amp.nsx"}, Overwrites(w + "/amp.err")},
      {"a link named like the dump that leads to the netlist", {w + "/amp.nsx"},
       [&] { fs::create_symlink("amp.nsx", w + "/amp.txt"); },
       {"launch", "RunSimulator", "RegressionTest=True|File1=" + w + "/amp.nsx"}, Overwrites(w + "/amp.txt")},
      {"no netlist at all", {}, nullptr, {"launch", "RunSimulator", "File1= "}, CannotRun("No netlist file is named.")},
      {"a netlist path longer than 255 characters", {longNetlist, cutNetlist}, nullptr,
       {"launch", "RunSimulator", "File1=" + longNetlist}, TooLong(longNetlist)},
      {"a long netlist opened as the view", {longNetlist, cutNetlist}, nullptr,
       {"open", longNetlist, "launch", "RunSimulator", ""}, TooLong(longNetlist)},
      {"a long netlist for the external engine", {longNetlist, cutNetlist}, nullptr,
       {"launch", "RunSimulator", "XSpiceDllName=ScriptedEngine.dll|File1=" + longNetlist}, TooLong(longNetlist)},
      {"a netlist of 255 characters without an extension", {bareName}, nullptr,
       {"launch", "RunSimulator", "RegressionTest=True|File1=" + bareName}, TooLong(bareName + ".err")},
      {"an engine library name longer than 255 characters", {w + "/amp.nsx"}, nullptr,
       {"launch", "RunSimulator", "XSpiceDllName=" + std::string(300, 'x') + "|File1=" + w + "/amp.nsx"},
       TooLong(std::string(300, 'x'))},
      {"an engine library path that does not fit beside the plug-in", {w + "/amp.nsx"}, nullptr,
       {"launch", "RunSimulator", "XSpiceDllName=engines/" + std::string(240, 'y') + "|File1=" + w + "/amp.nsx"},
       TooLong(Plugin.Path() + "/engines/" + std::string(240, 'y'))},
      {"a plug-in folder longer than 255 characters", {w + "/amp.nsx"}, nullptr,
       {"launch", "RunSimulator", "File1=" + w + "/amp.nsx"}, TooLong(deep.Path() + "/Tolvex.dll"),
       deep.Path() + "/Tolvex.dll"},
      {"a plug-in folder longer than 255 characters, external engine", {w + "/amp.nsx"}, nullptr,
       {"launch", "RunSimulator", "XSpiceDllName=ScriptedEngine.dll|File1=" + w + "/amp.nsx"},
       TooLong(deep.Path() + "/Tolvex.dll"), deep.Path() + "/Tolvex.dll"},
      {"a plug-in folder with a \"|\" named to the engine", {w + "/amp.nsx"}, nullptr,
       {"launch", "RunSimulator", "RegressionTest=True|File1=" + w + "/amp.nsx"}, WithBar(barred.Path() + "/Tolvex.dll"),
       barred.Path() + "/Tolvex.dll"},
      {"a plug-in folder with a \"|\" and the external engine", {w + "/amp.nsx"}, nullptr,
       {"launch", "RunSimulator", "XSpiceDllName=ScriptedEngine.dll|File1=" + w + "/amp.nsx"},
       WithBar(barred.Path() + "/Ondulix.dll"), barred.Path() + "/Tolvex.dll"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EmptyFolder(w);
    for (const std::string& file : c.Files) {
      fs::create_directories(fs::path(file).parent_path());
      std::ofstream(file, std::ios::binary) << script;
    }
    if (c.Setup) c.Setup();
    const std::map<std::string, std::string> before = FilesBelow(w);

    const THostRun run = Host(c.Arguments, Guard(), c.Plugin);
    ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
    EXPECT_EQ(MessageTexts(run), std::vector<std::string>{c.Message}) << run.JournalText();
    // Refused before anything happened: nothing deleted, no document opened, the engine never started.
    EXPECT_TRUE(run.Events("vfs-delete").empty()) << run.JournalText();
    EXPECT_TRUE(run.Events("document-open").empty()) << run.JournalText();
    EXPECT_EQ(FilesBelow(w), before) << "files were changed, created or removed";
  }
}

TEST_F(HostileRun, OrdinaryNamesNearTheRefusedOnesStillRun) {
  const std::string w = Work.Path();
  struct TCase {
    std::string Name;
    std::string Netlist;
    std::string Parameters;
  } cases[] = {
      // Linux tells file names apart by letter case: amp.sim is not AMP.SIM.
      {"an extension that differs from an output's only in letter case", w + "/amp.SIM", ""},
      // The dump is only written in regression runs.
      {"a netlist named like the dump, outside a regression run", w + "/circuit.txt", ""},
      {"a netlist path of exactly 255 characters", w + "/" + std::string(255 - w.size() - 5, 'n') + ".nsx", ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string text = Script({"sim engine ran", "result 15"});
    std::ofstream(c.Netlist, std::ios::binary) << text;
    const THostRun run = Host({"launch", "RunSimulator", "File1=" + c.Netlist});
    EXPECT_TRUE(MessageTexts(run).empty()) << run.JournalText();
    EXPECT_EQ(ReadFile(c.Netlist), text);
    const std::string sim = c.Netlist.substr(0, c.Netlist.rfind('.')) + ".sim";
    EXPECT_EQ(ReadFile(sim), "engine ran\n");
  }
}

TEST_F(HostileRun, ALinkPlantedUnderTheDumpsNameIsReplacedNotWrittenThrough) {
  const std::string w = Work.Path();
  const TScratchFolder elsewhere;
  const std::string victim = elsewhere.File("victim.txt", "precious\n");
  struct TCase {
    std::string Name;
    std::function<void()> Plant;
    std::string VictimAfter;  // empty: the victim file must not exist afterwards
  } cases[] = {
      {"a link to a file elsewhere", [&] { fs::create_symlink(victim, w + "/amp.txt"); }, "precious\n"},
      {"a second name of a file elsewhere", [&] { fs::create_hard_link(victim, w + "/amp.txt"); }, "precious\n"},
      {"a link that leads nowhere yet",
       [&] { fs::create_symlink(elsewhere.Path() + "/planted.txt", w + "/amp.txt"); }, ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EmptyFolder(w);
    const std::string netlist =
        Work.File("amp.nsx", Script({"SetDocumentName amp", "NewChart tran 0 0 0", "DataComplete 1 0", "result 13"}));
    c.Plant();
    const THostRun run = Host({"launch", "RunSimulator", "RegressionTest=True|File1=" + netlist});
    EXPECT_TRUE(MessageTexts(run).empty()) << run.JournalText();
    EXPECT_EQ(ReadFile(victim), "precious\n");
    EXPECT_FALSE(FileExists(elsewhere.Path() + "/planted.txt"));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(w + "/amp.txt")));
    EXPECT_EQ(ReadFile(w + "/amp.txt"),
              "Dump For: AMP\r\nOndulixAPI_NewChart -> Chart:tran\r\nOndulixAPI_DataComplete\r\n");
  }
}

TEST_F(HostileRun, ADumpThatDoesNotFitOnTheDiskEndsTheRunWithAMessageNamingIt) {
  const std::string w = Work.Path();
  // About 200 bytes a line: 40 lines stay in the dump's buffer until it is closed, 600 do not.
  const std::string point = "NewDataPoint $c $v 1e-3 0 2.5 0";
  struct TCase {
    std::string Name;
    std::vector<std::string> Commands;
    std::vector<std::string> Messages;
  } cases[] = {
      {"writes that fail while the engine runs",
       {"SetDocumentName amp", "NewChart tran 0 0 0", "NewWaveform $c v(out) 0 0 0 0 0", "repeat 600 " + point,
        "DataComplete 1 0", "result 13"},
       {"Could not write the dump file " + w + "/amp.txt: File too large"}},
      {"the rest that fails when the dump is closed",
       {"SetDocumentName amp", "NewChart tran 0 0 0", "NewWaveform $c v(out) 0 0 0 0 0", "repeat 40 " + point,
        "DataComplete 1 0", "result 13"},
       {"Could not write the dump file " + w + "/amp.txt: File too large"}},
      {"a dump the engine never completes",
       {"SetDocumentName amp", "NewChart tran 0 0 0", "NewWaveform $c v(out) 0 0 0 0 0", "repeat 40 " + point,
        "result 13"},
       {"Could not write the dump file " + w + "/amp.txt: File too large"}},
      {"after the engine's own message",
       {"SetDocumentName amp", "NewChart tran 0 0 0", "NewWaveform $c v(out) 0 0 0 0 0", "repeat 40 " + point,
        "DataComplete 1 0", "result 9"},
       {"XSpice could not open the netlist file", "Could not write the dump file " + w + "/amp.txt: File too large"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EmptyFolder(w);
    std::string text = "* dump\n";
    for (const auto& command : c.Commands) text += "*@ " + command + "\n";
    const std::string netlist = Work.File("amp.nsx", text);
    THostGuard guard = Guard();
    guard.FileSizeLimit = 4096;
    const THostRun run = Host({"launch", "RunSimulator", "RegressionTest=True|File1=" + netlist}, guard);
    ASSERT_FALSE(run.TimedOut) << run.JournalText();
    EXPECT_EQ(MessageTexts(run), c.Messages) << run.JournalText();
  }
}

// The status bar as the host shows it after a run, replayed from the journal.
struct TStatusBar {
  std::string Text;
  std::vector<std::string> Stack;
  bool Progress = false;
};

TStatusBar StatusAfter(const THostRun& run) {
  TStatusBar bar;
  for (const auto& line : run.Events("status")) {
    const std::string op = line.Get("op");
    if (op == "set" && line.Get("index") == "2") bar.Text = line.Get("text");
    if (op == "push") bar.Stack.push_back(bar.Text);
    if (op == "pop" && !bar.Stack.empty()) {
      bar.Text = bar.Stack.back();
      bar.Stack.pop_back();
    }
    if (op == "progress-start") bar.Progress = true;
    if (op == "progress-end") bar.Progress = false;
  }
  return bar;
}

TEST_F(HostileRun, WhateverARunDidToTheStatusBarIsUndoneWhenItEnds) {
  struct TCase {
    std::string Name;
    std::vector<std::string> Commands;
    std::string Parameters;
    std::vector<std::string> HostOptions;
    std::string Message;  // the message expected after the bar is restored, or empty
  } cases[] = {
      {"stopped at the first progress call",
       {"status Loading amp.nsx", "percent-init 100", "run-until-stopped 1000", "percent-finish", "result 13"}, "",
       {"--on-pump", "1", "StopSimulator", ""}, ""},
      {"the external engine stopped at the first progress call",
       {"status Loading amp.nsx", "percent-init 100", "run-until-stopped 1000", "percent-finish", "result 13"},
       "XSpiceDllName=ScriptedEngine.dll|", {"--on-pump", "1", "StopSimulator", ""}, ""},
      {"pushes never popped", {"push", "status first", "push", "status second", "result 13"}, "", {}, ""},
      {"a display started twice and never finished",
       {"status Transient", "percent-init 4", "percent-init 4", "percent-update 1", "result 13"}, "", {}, ""},
      {"more pops than pushes", {"status left", "pop", "pop", "result 13"}, "", {}, ""},
      {"a run that fails", {"status Analysing", "percent-init 2", "push", "result 8"}, "", {},
       "XSpice could not locate the netlist file"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string text = "* status\n";
    for (const auto& command : c.Commands) text += "*@ " + command + "\n";
    const std::string netlist = Work.File("amp.nsx", text);
    std::vector<std::string> args = c.HostOptions;
    args.insert(args.end(), {"launch", "RunSimulator", c.Parameters + "File1=" + netlist});
    const THostRun run = Host(args);
    const TStatusBar bar = StatusAfter(run);
    EXPECT_EQ(bar.Text, "") << run.JournalText();
    EXPECT_TRUE(bar.Stack.empty()) << run.JournalText();
    EXPECT_FALSE(bar.Progress) << run.JournalText();
    EXPECT_EQ(MessageTexts(run), c.Message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.Message})
        << run.JournalText();
    // The bar is whole again before the user is told anything.
    bool afterBox = false;
    for (const auto& line : run.Journal) {
      afterBox = afterBox || line.Event == "msgbox";
      if (afterBox) {
        EXPECT_NE(line.Event, "status") << line.Raw;
      }
    }
  }

  // A run that leaves the bar as it found it gets nothing added.
  const std::string balanced = Work.File("amp.nsx", Script({"push", "status x", "pop", "result 13"}));
  const THostRun run = Host({"launch", "RunSimulator", "File1=" + balanced});
  std::vector<std::string> ops;
  for (const auto& line : run.Events("status")) ops.push_back(line.Get("op"));
  EXPECT_EQ(ops, (std::vector<std::string>{"push", "set", "pop"})) << run.JournalText();
}

TEST_F(HostileRun, NoEngineInputGivesADisplayMoreThanAHundredSteps) {
  struct TCase {
    std::string Name;
    std::vector<std::string> Commands;
    int Steps;
  };
  std::vector<std::string> seesaw = {"percent-init 8"};
  for (int i = 0; i < 12; ++i) seesaw.insert(seesaw.end(), {"percent-update 1", "percent-update -1"});
  const TCase cases[] = {
      {"a percent that falls and rises again", seesaw, 100},
      {"a negative total", {"percent-init -1", "percent-update -5", "percent-update 10", "percent-update -10"}, 100},
      {"a position far below zero, then the total",
       {"percent-init 1", "percent-update -200", "percent-update 201"}, 100},
      {"counts whose sum does not fit 32 bits",
       {"percent-init 2147483647", "repeat 3 percent-update 2147483647"}, 100},
      {"each new display has its own hundred", {"percent-init 0", "percent-update 1", "percent-init 0",
                                                "percent-update 1", "percent-finish", "percent-finish"}, 200},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string text = "* progress\n";
    for (const auto& command : c.Commands) text += "*@ " + command + "\n";
    text += "*@ result 13\n";
    const THostRun run = Host({"launch", "RunSimulator", "File1=" + Work.File("p.nsx", text)});
    ASSERT_FALSE(run.TimedOut);
    int steps = 0, highest = 0;
    for (const auto& line : run.Events("status")) {
      if (line.Get("op") != "progress-step") continue;
      ++steps;
      highest = std::max(highest, std::stoi(line.Get("position")));
    }
    EXPECT_EQ(steps, c.Steps);
    EXPECT_LE(highest, 100);
  }
}

TEST_F(HostileRun, AnOptionFileThatIsNotAFileCountsAsAbsentAndNeverBlocks) {
  struct TCase {
    std::string Name;
    std::function<void(const std::string&)> Make;
  } cases[] = {
      {"a FIFO", [](const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }},
      {"a folder", [](const std::string& path) { fs::create_directories(path); }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TScratchFolder config;
    fs::create_directories(config.Path() + "/Zentor");
    c.Make(config.Path() + "/Zentor/Tolvex.ini");
    const std::string netlist = Work.File("amp.nsx", Script({"err bad node", "result 0"}));
    THostGuard guard = Guard();
    guard.TimeLimitSeconds = 30;
    const THostRun run = RunHostGuarded({"--plugin", Plugin.Plugin(), "launch", "RunSimulator", "File1=" + netlist},
                                        guard, {"XDG_CONFIG_HOME=" + config.Path()});
    ASSERT_FALSE(run.TimedOut) << run.JournalText();
    // Without the option the user is asked, as with no option file at all.
    EXPECT_EQ(MessageTexts(run),
              std::vector<std::string>{"Errors occured during simulation. Do you want to view the errors now?"})
        << run.JournalText();
  }
}

TEST_F(HostileRun, TheExternalEnginesWaveformDataStaysBesideTheNetlist) {
  const TScratchFolder hostFolder;
  const std::string unrelated = hostFolder.File("amp.sdf", "an unrelated file of the host's working folder\n");
  const std::string netlist =
      Work.File("amp.nsx", Script({"GetCurrentWindow", "SetDocumentName amp", "NewChart tran 0 0 0",
                                   "InitializeXAxis $c 0 1e-3", "NewWaveform $c v(out) 0 0 0 0 0",
                                   "NewDataPoint $c $v 0 0 1 0", "NewDataPoint $c $v 1e-3 0 2 0", "UpdateChart $c",
                                   "DataComplete 1 0", "result 13"}));
  THostGuard guard = Guard();
  guard.WorkingFolder = hostFolder.Path();
  const THostRun run = Host({"launch", "RunSimulator", "XSpiceDllName=ScriptedEngine.dll|File1=" + netlist}, guard);
  EXPECT_TRUE(MessageTexts(run).empty()) << run.JournalText();
  ASSERT_FALSE(run.Events("document-open").empty()) << run.JournalText();
  EXPECT_EQ(run.Events("document-open")[0].Get("path"), Work.Path() + "/amp.sdf");
  EXPECT_EQ(ReadFile(unrelated), "an unrelated file of the host's working folder\n");
  EXPECT_TRUE(FileExists(Work.Path() + "/amp.sdf")) << run.JournalText();
}

}  // namespace
}  // namespace tolvex::e2e
