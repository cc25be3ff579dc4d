// End-to-end runs of the ngspice engine on hostile and careless input: netlists and model files
// that would make ngspice run a command, includes that go round in a circle, netlists that are no
// regular files, links planted where the engine writes, and a disk that is full.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "HostRunner.h"

namespace tolvex::e2e {
namespace {

namespace fs = std::filesystem;

std::string Fixture(const std::string& name) {
  return ReadFile(std::string(TOLVEX_TEST_DATA_DIR) + "/hostile/netlists/" + name);
}

// The circuit of every netlist here: its .op makes the run's result 15, and the text output then
// holds the operating point.
constexpr const char* kCircuit = "V1 in 0 DC 1\nR1 in out 1k\nR2 out 0 1k\n.op\n";
constexpr const char* kSimulated = "v(out) = 5.0000000e-01";
// To ngspice's circuit reader a switch; to its interpreter, should it take the netlist for a
// script, a command that creates "mark" (and "0" and "swmod") in the host's working folder.
constexpr const char* kSwitchOrCommand = ".model swmod sw\nRt touch 0 1k\nRm mark 0 1k\nshell touch mark 0 0 swmod\n";
constexpr const char* kConfirm = "Errors occured during simulation. Do you want to view the errors now?";

// "@" in a netlist or an expected text stands for the folder of the netlist.
std::string InFolder(std::string text, const std::string& folder) {
  for (std::size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + folder.size()))
    text.replace(at, 1, folder);
  return text;
}

std::string Box(const THostRun& run) {
  const auto boxes = run.Events("msgbox");
  return boxes.empty() ? std::string() : boxes[0].Get("text");
}

// What explains a failed row: the journal, the host's output, the error file.
std::string Explain(const THostRun& run, const std::string& errorFile) {
  return run.JournalText() + "--- " + errorFile + " ---\n" + ReadFile(errorFile);
}

class HostileNetlist : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string program = TOLVEX_NGSPICE_EXECUTABLE;
    if (program.empty() || access(program.c_str(), X_OK) != 0) GTEST_SKIP() << "no ngspice installed";
  }
  // One "RunSimulator" of Netlist through tolvex-host, message boxes answered No.
  static THostRun Simulate(const std::string& netlist, THostGuard guard = {}) {
    return RunHostGuarded({"--answer", "No", "launch", "RunSimulator", "File1=" + netlist}, guard);
  }
};

struct TCommandRoute {
  const char* Name;
  std::string Netlist;
  // Files beside the netlist, by their paths relative to its folder.
  std::vector<std::pair<std::string, std::string>> Files;
  // What the error file says was left out.
  std::vector<std::string> Notes;
};

// No text of a netlist or of a file it includes, at any depth, reaches ngspice's interpreter:
// each netlist here would have ngspice run "shell touch mark"; the command never runs, the error
// file says what was left out and where, and the circuit is simulated all the same.
TEST_F(HostileNetlist, NoCommandRunsFromTheNetlistOrAnyFileItIncludes) {
  const std::string circuit = kCircuit;
  const TCommandRoute routes[] = {
      {"a title that makes the netlist a script", "*ng_script\n" + circuit + kSwitchOrCommand + ".end\n", {},
       {"@/amp.nsx: the title (line 1) would make ngspice read the netlist as a script of commands"}},
      {"the same title after blanks, in capitals", "  *NG_Script amplifier\n" + circuit + kSwitchOrCommand + ".end\n",
       {}, {"@/amp.nsx: the title (line 1) would make ngspice read the netlist as a script of commands"}},
      // ngspice skips a blank first line and takes the next for the title.
      {"a blank title over a script's title", "  \n*ng_script\n" + circuit + kSwitchOrCommand + ".end\n", {}, {}},
      {"a .title that makes the netlist a script",
       "amplifier\n" + circuit + ".title *ng_script\n" + kSwitchOrCommand + ".end\n", {},
       {"@/amp.nsx: the .title at line 6 is left out"}},
      {"a *# line", "amplifier\n" + circuit + "*#shell touch mark\n.end\n", {},
       {"@/amp.nsx: line 6 is left out: ngspice would run a \"*#\" line as a command."}},
      {"an indented *# line", "amplifier\n" + circuit + "   *#shell touch mark\n.end\n", {},
       {"@/amp.nsx: line 6 is left out"}},
      {"a .control section under another name", "amplifier\n" + circuit + ".CONTROLS\nshell touch mark\n.endc\n.end\n",
       {}, {"@/amp.nsx: the .control section at line 6 is not run"}},
      {"a .control section in an included model file",
       "amplifier\n" + circuit + ".include models/control_section.inc\n.end\n",
       {{"models/control_section.inc", Fixture("control_section.inc")}},
       {"@/models/control_section.inc: the .control section at line 4 is not run"}},
      {"a .control section in a library section", "amplifier\n" + circuit + ".lib 'control_in_section.lib' tt\n.end\n",
       {{"control_in_section.lib", Fixture("control_in_section.lib")}},
       {"@/control_in_section.lib: the .control section at line 7 is not run"}},
      {"a *# line two includes deep, found beside the file that names it",
       "amplifier\n" + circuit + ".include \"models/outer.inc\"\n.end\n",
       {{"models/outer.inc", "* includes a file beside itself\n.include sub/hash_line.inc\n"},
        {"models/sub/hash_line.inc", Fixture("hash_line.inc")}},
       {"@/models/sub/hash_line.inc: line 3 is left out"}},
      {"an include in a library section", "amplifier\n" + circuit + ".LIB lib/parts.lib TT\n.end\n",
       {{"lib/parts.lib", "* a library\n.lib tt\n.include hash_line.inc\n.endl\n"},
        {"lib/hash_line.inc", Fixture("hash_line.inc")}},
       {"@/lib/hash_line.inc: line 3 is left out"}},
      // ngspice reads the first line like any other: an .include there includes the file unseen.
      {"a title that includes a model file", ".include @/control_section.inc\n" + circuit + ".end\n",
       {{"control_section.inc", Fixture("control_section.inc")}},
       {"@/amp.nsx: the title (line 1) would be read as a control line; it is passed on as a comment."}},
  };
  for (const TCommandRoute& route : routes) {
    SCOPED_TRACE(route.Name);
    const TScratchFolder work;
    const TScratchFolder here;  // the host's working folder, where the command would create "mark"
    for (const auto& [name, content] : route.Files) work.File(name, content);
    const std::string netlist = work.File("amp.nsx", InFolder(route.Netlist, work.Path()));
    THostGuard guard;
    guard.WorkingFolder = here.Path();
    const THostRun run = Simulate(netlist, guard);
    const std::string errorFile = work.Path() + "/amp.err";
    ASSERT_EQ(run.ExitCode, 0) << Explain(run, errorFile);
    ASSERT_EQ(run.Events("launch-done").size(), 1u) << Explain(run, errorFile);
    EXPECT_FALSE(FileExists(here.Path() + "/mark")) << "the command ran\n" << Explain(run, errorFile);
    const std::string err = ReadFile(errorFile);
    for (const std::string& note : route.Notes)
      EXPECT_NE(err.find(InFolder(note, work.Path())), std::string::npos) << note << "\n" << err;
    EXPECT_NE(ReadFile(work.Path() + "/amp.sim").find(kSimulated), std::string::npos) << Explain(run, errorFile);
    EXPECT_EQ(Box(run), "") << Explain(run, errorFile);
  }
}

// Libraries as model folders hold them: a section that takes another section of its own file and
// includes a model file that the netlist includes too. None of it is a circle; the run is clean.
TEST_F(HostileNetlist, LibrarySectionsAndFilesIncludedTwiceStillSimulate) {
  const TScratchFolder work;
  work.File("lib/sections.lib", Fixture("sections.lib"));
  work.File("lib/diode.mod", Fixture("diode.mod"));
  const std::string netlist = work.File(
      "amp.nsx", "amplifier\nV1 in 0 DC 1\nR1 in out 1k\n.lib \"lib/sections.lib\" tt\n.include lib/diode.mod\n"
                 "D1 out 0 dsmall\n.op\n.end\n");
  const THostRun run = Simulate(netlist);
  const std::string errorFile = work.Path() + "/amp.err";
  ASSERT_EQ(run.ExitCode, 0) << Explain(run, errorFile);
  EXPECT_EQ(Box(run), "") << Explain(run, errorFile);
  EXPECT_FALSE(FileExists(errorFile)) << Explain(run, errorFile);
  // R2 of section "common" is in the circuit: without it the diode would take more of the volt.
  const std::string sim = ReadFile(work.Path() + "/amp.sim");
  EXPECT_NE(sim.find("v(out) = 4.9"), std::string::npos) << sim;
}

struct TRefusedInclude {
  const char* Name;
  std::vector<std::pair<std::string, std::string>> Files;  // amp.nsx among them
  std::vector<std::string> Reasons;
};

// Includes that go round in a circle crashed the host; now the netlist is refused (result 2) and
// the error file names the files of the circle. Nesting and size are bounded too.
TEST_F(HostileNetlist, IncludesInACircleOrTooDeepAreRefusedNamingTheFiles) {
  const std::string circuit = kCircuit;
  std::vector<std::pair<std::string, std::string>> deep = {
      {"amp.nsx", "amplifier\n" + circuit + ".include nest0.inc\n.end\n"}};
  for (int k = 0; k < 40; ++k)
    deep.emplace_back("nest" + std::to_string(k) + ".inc", ".include nest" + std::to_string(k + 1) + ".inc\n");
  deep.emplace_back("nest40.inc", "R3 in 0 1meg\n");
  const TRefusedInclude rows[] = {
      {"a netlist that includes itself", {{"amp.nsx", "amplifier\n" + circuit + ".include amp.nsx\n.end\n"}},
       {"@/amp.nsx includes itself: @/amp.nsx (line 6) -> @/amp.nsx."}},
      {"two model files that include each other",
       {{"amp.nsx", "amplifier\n" + circuit + ".include a.inc\n.end\n"},
        {"a.inc", "* a\n.include b.inc\n"},
        {"b.inc", "* b\n.include \"a.inc\"\n"}},
       {"@/a.inc includes itself: @/a.inc (line 2) -> @/b.inc (line 2) -> @/a.inc."}},
      {"a library section that takes itself",
       {{"amp.nsx", "amplifier\n" + circuit + ".lib self.lib tt\n.end\n"},
        {"self.lib", "* self\n.lib tt\n.lib self.lib tt\n.endl\n"}},
       {"the section tt of @/self.lib includes itself"}},
      {"includes nested 41 deep", deep, {"its includes nest deeper than 32 files"}},
      {"a library section that is not there",
       {{"amp.nsx", "amplifier\n" + circuit + ".lib sections.lib ss\n.end\n"},
        {"sections.lib", Fixture("sections.lib")}},
       {"The library @/sections.lib named by the .lib at line 6 of @/amp.nsx has no section ss."}},
      {"a model file that is not there", {{"amp.nsx", "amplifier\n" + circuit + ".include missing.mod\n.end\n"}},
       {"The file missing.mod named by the .include at line 6 of @/amp.nsx cannot be found: looked for "
        "@/missing.mod"}},
  };
  for (const TRefusedInclude& row : rows) {
    SCOPED_TRACE(row.Name);
    const TScratchFolder work;
    for (const auto& [name, content] : row.Files) work.File(name, content);
    const THostRun run = Simulate(work.Path() + "/amp.nsx");
    const std::string errorFile = work.Path() + "/amp.err";
    ASSERT_FALSE(run.TimedOut) << Explain(run, errorFile);
    ASSERT_EQ(run.ExitCode, 0) << Explain(run, errorFile);
    ASSERT_EQ(run.Events("launch-done").size(), 1u) << Explain(run, errorFile);
    EXPECT_EQ(Box(run), kConfirm) << Explain(run, errorFile);
    const std::string err = ReadFile(errorFile);
    for (const std::string& reason : row.Reasons)
      EXPECT_NE(err.find(InFolder(reason, work.Path())), std::string::npos) << reason << "\n" << err;
    EXPECT_TRUE(err.ends_with("Result 2: the netlist was refused.\n")) << err;
  }
}

struct TNotAFile {
  const char* Name;
  const char* Kind;          // what stands at the file's place: "fifo", "zero", "folder", "huge"
  bool Included;             // at the place of a model file the netlist includes, else of the netlist
  const char* Box;           // what the plug-in shows
  const char* Reason;        // in the error file
  const char* ResultLine;    // its last line
};

// A FIFO as the netlist hung every run, /dev/zero grew the host to gigabytes: the netlist and
// every file it includes must be regular files of a sensible size, or the run ends at once with a
// message naming the file. A regression fails through the time limit instead of hanging.
TEST_F(HostileNetlist, NetlistsAndModelFilesThatAreNoRegularFilesAreRefusedWithoutBlocking) {
  constexpr const char* kUnreadable = "XSpice could not open the netlist file";
  const TNotAFile rows[] = {
      {"a FIFO as the netlist", "fifo", false, kUnreadable, "The netlist @/amp.nsx is a FIFO, not a regular file.",
       "Result 9: netlist cannot be read."},
      {"/dev/zero as the netlist", "zero", false, kUnreadable,
       "The netlist @/amp.nsx is a character device, not a regular file.", "Result 9: netlist cannot be read."},
      {"a netlist of 65 MiB", "huge", false, kConfirm, "The netlist is refused: @/amp.nsx is larger than 64 MiB.",
       "Result 2: the netlist was refused."},
      {"a FIFO as a model file", "fifo", true, kUnreadable,
       "The file @/part.mod named by the .include at line 6 of @/amp.nsx is a FIFO, not a regular file.",
       "Result 9: netlist cannot be read."},
      {"/dev/zero as a model file", "zero", true, kUnreadable, "@/part.mod named by the .include at line 6 of "
       "@/amp.nsx is a character device, not a regular file.", "Result 9: netlist cannot be read."},
      {"a folder as a model file", "folder", true, kUnreadable, "@/part.mod named by the .include at line 6 of "
       "@/amp.nsx is a folder, not a file.", "Result 9: netlist cannot be read."},
  };
  for (const TNotAFile& row : rows) {
    SCOPED_TRACE(row.Name);
    const TScratchFolder work;
    const std::string netlist = work.Path() + "/amp.nsx";
    const std::string place = row.Included ? work.Path() + "/part.mod" : netlist;
    if (row.Included) work.File("amp.nsx", "amplifier\n" + std::string(kCircuit) + ".include part.mod\n.end\n");
    const std::string kind = row.Kind;
    if (kind == "fifo") {
      ASSERT_EQ(mkfifo(place.c_str(), 0644), 0);
    }
    if (kind == "zero") fs::create_symlink("/dev/zero", place);
    if (kind == "folder") fs::create_directories(place);
    if (kind == "huge") fs::resize_file(work.File("amp.nsx", ""), (std::uintmax_t{65} << 20));
    THostGuard guard;
    guard.TimeLimitSeconds = 30;
    const THostRun run = Simulate(netlist, guard);
    const std::string errorFile = work.Path() + "/amp.err";
    if (run.TimedOut) {
      ADD_FAILURE() << "the run blocked\n" << Explain(run, errorFile);
      continue;
    }
    ASSERT_EQ(run.ExitCode, 0) << Explain(run, errorFile);
    EXPECT_EQ(Box(run), row.Box) << Explain(run, errorFile);
    const std::string err = ReadFile(errorFile);
    EXPECT_NE(err.find(InFolder(row.Reason, work.Path())), std::string::npos) << err;
    EXPECT_TRUE(err.ends_with(std::string(row.ResultLine) + "\n")) << err;
  }
}

// ---- the engine in a process of its own -------------------------------------------------------

// Runs xspice.dll's start with the external form in a child process, as the plug-in does, but
// without the plug-in's deletion of the old outputs: what the engine does with what it finds at
// their names is what is tested. The child's working folder is Folder. Returns the result code,
// or -1 when the child failed otherwise.
int StartEngineInChild(const std::string& netlist, const std::string& folder) {
  const std::string bin = BinFolder();
  const std::string text = "1" + bin + "/Ondulix.dll|" + bin + "/Tolvex.dll|" + netlist;
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    alarm(120);  // a hang ends the child, not the test
    if (chdir(folder.c_str()) != 0) _exit(200);
    void* viewer = dlopen((bin + "/Ondulix.dll").c_str(), RTLD_NOW | RTLD_LOCAL);
    void* tolvex = dlopen((bin + "/Tolvex.dll").c_str(), RTLD_NOW | RTLD_LOCAL);
    void* engine = dlopen((bin + "/xspice.dll").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!viewer || !tolvex || !engine) _exit(201);
    using TStart = std::int32_t (*)(const char*);
    const auto start = reinterpret_cast<TStart>(dlsym(engine, "XSpice_Start"));
    if (!start) _exit(202);
    _exit(start(text.c_str()) & 0x7f);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) >= 200) return -1;
  return WEXITSTATUS(status);
}

bool IsRegularFileNotLink(const std::string& path) {
  struct stat status {};
  return lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// A link planted at the name of the error file or the text output was written through, to
// whatever it pointed at. Each output is now a new regular file; what the links pointed at is as
// it was, and a dangling link creates nothing.
TEST_F(HostileNetlist, LinksPlantedAtTheOutputsAreReplacedNotWrittenThrough) {
  struct TPlanted {
    const char* Name;
    const char* Kind;  // "symlink", "dangling", "hardlink"
  };
  const TPlanted rows[] = {{"links to other files", "symlink"},
                           {"links to files that do not exist", "dangling"},
                           {"hard links to other files", "hardlink"}};
  for (const TPlanted& row : rows) {
    SCOPED_TRACE(row.Name);
    const TScratchFolder work;
    const TScratchFolder elsewhere;
    // The .control section puts a warning into the error file, the .op a table into the text output.
    const std::string netlist =
        work.File("amp.nsx", "amplifier\n" + std::string(kCircuit) + ".control\nquit\n.endc\n.end\n");
    const std::string kind = row.Kind;
    for (const char* extension : {"err", "sim"}) {
      const std::string output = work.Path() + "/amp." + extension;
      const std::string target = elsewhere.Path() + "/victim." + extension;
      if (kind != "dangling") elsewhere.File(fs::path(target).filename().string(), "KEEP\n");
      if (kind == "hardlink")
        fs::create_hard_link(target, output);
      else
        fs::create_symlink(target, output);
    }
    ASSERT_EQ(StartEngineInChild(netlist, work.Path()), 15);
    for (const char* extension : {"err", "sim"}) {
      const std::string output = work.Path() + "/amp." + extension;
      const std::string target = elsewhere.Path() + "/victim." + extension;
      EXPECT_TRUE(IsRegularFileNotLink(output)) << output;
      if (kind == "dangling")
        EXPECT_FALSE(FileExists(target)) << target << " was created through the link";
      else
        EXPECT_EQ(ReadFile(target), "KEEP\n") << target << " was written through the link";
    }
    EXPECT_NE(ReadFile(work.Path() + "/amp.err").find("the .control section at line 6 is not run"), std::string::npos);
    EXPECT_NE(ReadFile(work.Path() + "/amp.sim").find(kSimulated), std::string::npos);
  }
}

// ---- a full disk ---------------------------------------------------------------------------------

// Whether the viewer built here can report a file it could not write.
bool ViewerReportsWriteFailures() {
  const pid_t child = fork();
  if (child == 0) {
    void* viewer = dlopen((BinFolder() + "/Ondulix.dll").c_str(), RTLD_NOW | RTLD_LOCAL);
    _exit(viewer && dlsym(viewer, "Ondulix_TakeWriteFailure") ? 0 : 1);
  }
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct TFullDisk {
  const char* Name;
  std::string Netlist;
  std::uint64_t Limit;    // the size the host's files may grow to
  bool NeedsViewer;       // needs the viewer's report of its failures
  const char* Box;        // what the plug-in shows
  const char* Reason;     // in the error file ("" when it cannot be written)
  const char* ResultLine; // its last line
};

// With no space left a run ended with result 0 and "Simulation finished", an empty text output
// and no waveform file. Every write of the engine is checked, and the viewer is asked for its own:
// a text output that cannot be written is result 10, an error file 11, a waveform file 3. The disk
// is full for a file when it reaches the file-size limit of the host's process.
TEST_F(HostileNetlist, AFullDiskIsNeverReportedAsSuccess) {
  const std::string transient = "rc\nV1 in 0 PULSE(0 1 0 1u 1u 1 2)\nR1 in out 1k\nC1 out 0 1u\n.tran 20u 5m\n.end\n";
  const TFullDisk rows[] = {
      // The text output of the transient is about 500 bytes, its error file empty.
      {"the text output", transient, 400, false, "XSpice could not open the sim output file\n@/amp.sim",
       "The text output @/amp.sim cannot be written: File too large.", "Result 10: the text output cannot be written."},
      {"the error file", "amplifier\n" + std::string(kCircuit) + ".control\nquit\n.endc\n.end\n", 40, false,
       "XSpice could not open the error output file\n@/amp.err", "", ""},
      // The waveform file is about 60 kB.
      {"the waveform file", transient, 8192, true, kConfirm,
       "The waveform viewer could not write its files: ", "Result 3: the waveform viewer could not write its files."},
  };
  const bool viewerReports = ViewerReportsWriteFailures();
  for (const TFullDisk& row : rows) {
    SCOPED_TRACE(row.Name);
    if (row.NeedsViewer && !viewerReports) {
      std::cout << "[  SKIPPED ] " << row.Name << ": Ondulix.dll has no Ondulix_TakeWriteFailure\n";
      continue;
    }
    const TScratchFolder work;
    const std::string netlist = work.File("amp.nsx", row.Netlist);
    THostGuard guard;
    guard.FileSizeLimit = row.Limit;
    const THostRun run = Simulate(netlist, guard);
    const std::string errorFile = work.Path() + "/amp.err";
    ASSERT_FALSE(run.TimedOut) << Explain(run, errorFile);
    ASSERT_EQ(run.ExitCode, 0) << Explain(run, errorFile);
    EXPECT_EQ(Box(run), InFolder(row.Box, work.Path())) << Explain(run, errorFile);
    std::string lastStatus;
    for (const auto& line : run.Events("status"))
      if (line.Get("op") == "set") lastStatus = line.Get("text");
    EXPECT_NE(lastStatus, "Simulation finished") << Explain(run, errorFile);
    if (*row.Reason) {
      const std::string err = ReadFile(errorFile);
      EXPECT_NE(err.find(InFolder(row.Reason, work.Path())), std::string::npos) << err;
      EXPECT_TRUE(err.ends_with(std::string(row.ResultLine) + "\n")) << err;
    }
  }
}

}  // namespace
}  // namespace tolvex::e2e
