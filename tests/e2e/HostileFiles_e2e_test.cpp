// tolvex-host and its modules meeting files that are not what they should be: FIFOs, devices, huge and deeply
// nested files, and virtual names that try to leave the VFS root.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../stand_ins/HostileFiles.h"
#include "HostRunner.h"

namespace tolvex::e2e {
namespace {

namespace fs = std::filesystem;

const std::string kFiles = std::string(TOLVEX_TEST_DATA_DIR) + "/hostile/files/";

// A run of the host that is killed should it still run after a minute: a regression that waits on a FIFO or reads
// a device without end then fails the test instead of hanging it. Nothing is timed by it.
THostRun RunGuarded(const std::vector<std::string>& arguments) {
  THostGuard guard;
  guard.TimeLimitSeconds = 60;
  return RunHostGuarded(arguments, guard);
}

std::string Journaled(const THostRun& run, const std::string& event, const std::string& field) {
  const auto lines = run.Events(event);
  return lines.empty() ? "(no " + event + " line)" : lines.back().Get(field);
}

class HostileFiles : public ::testing::Test {
 protected:
  // A copy of a fixture in the test's folder.
  std::string Copy(const std::string& fixture) const {
    const std::string target = Work.Path() + "/" + fixture;
    fs::copy_file(kFiles + fixture, target, fs::copy_options::overwrite_existing);
    return target;
  }
  TScratchFolder Work;
};

TEST_F(HostileFiles, SchematicFilesThatAreNoDocumentAreRefusedBeforeAnythingRuns) {
  const std::string folder = Work.Path();
  hostile::TFifo fifo(folder + "/fifo.SchDoc");
  ASSERT_TRUE(fifo.Made());
  fs::create_symlink("/dev/zero", folder + "/zero.SchDoc");
  fs::create_directory(folder + "/folder.SchDoc");
  ASSERT_TRUE(hostile::MakeSparseFile(folder + "/large.SchDoc", (std::size_t{256} << 20) + 1));
  const std::string deep = Copy("deep_member.SchDoc");
  const std::string deepText = ReadFile(deep);
  const std::string shallow = folder + "/just_too_deep.SchDoc";
  std::ofstream(shallow) << "{\"objects\": " << hostile::NestedArrays(64) << "}";
  struct TCase {
    const char* Name;
    std::string Path;
    std::string Error;  // the whole message
  };
  const std::vector<TCase> cases = {
      {"a FIFO", fifo.Path(), "cannot open " + fifo.Path() + ": it is a FIFO, not a regular file"},
      {"a link to /dev/zero", folder + "/zero.SchDoc",
       "cannot open " + folder + "/zero.SchDoc: it is a device, not a regular file"},
      {"a folder", folder + "/folder.SchDoc", "cannot open " + folder + "/folder.SchDoc: it is not a file"},
      {"a file over 256 MiB", folder + "/large.SchDoc",
       "cannot open " + folder + "/large.SchDoc: it is larger than 256 MiB"},
      // Ten thousand levels: saving it once overflowed the stack, or wrote hundreds of megabytes.
      {"a member nested ten thousand deep", deep,
       deep + ":11:80: nested deeper than 64 levels of arrays and objects"},
      {"one level too deep", shallow, shallow + ":1:76: nested deeper than 64 levels of arrays and objects"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const THostRun run = RunGuarded({"--schematic", c.Path, "open", c.Path, "save", c.Path});
    EXPECT_EQ(run.ExitCode, 2) << run.JournalText();
    EXPECT_EQ(Journaled(run, "schematic-open", "result"), "failed") << run.JournalText();
    EXPECT_EQ(Journaled(run, "schematic-open", "error"), c.Error) << run.JournalText();
    EXPECT_NE(run.Output.find("tolvex-host: " + c.Error), std::string::npos) << run.JournalText();
    EXPECT_TRUE(run.Events("schematic-save").empty()) << run.JournalText();
  }
  // Compared as a whole, not shown: a regression once rewrote this file as a hundred megabytes of indentation.
  EXPECT_TRUE(ReadFile(deep) == deepText) << "the refused file was rewritten";
  EXPECT_FALSE(fifo.Released()) << "the host waited for a writer on the FIFO";
}

TEST_F(HostileFiles, ADocumentAtTheNestingLimitLoadsSavesAndLoadsAgain) {
  const std::string path = Copy("at_the_limit.SchDoc");
  const THostRun saved = RunGuarded({"--schematic", path, "save", path});
  ASSERT_EQ(saved.ExitCode, 0) << saved.JournalText();
  EXPECT_EQ(Journaled(saved, "schematic-save", "result"), "saved") << saved.JournalText();
  const THostRun again = RunGuarded({"--schematic", path, "module-name"});
  EXPECT_EQ(again.ExitCode, 0) << again.JournalText();
  EXPECT_EQ(Journaled(again, "schematic-open", "result"), "loaded") << again.JournalText();
}

TEST_F(HostileFiles, ProjectFilesAndTheirDocumentsThatAreNoFilesAreRefused) {
  const std::string folder = Work.Path();
  hostile::TFifo fifoProject(folder + "/fifo.PrjPcb");
  hostile::TFifo fifoDocument(folder + "/fifo.SchDoc");
  ASSERT_TRUE(fifoProject.Made() && fifoDocument.Made());
  fs::create_symlink("/dev/zero", folder + "/zero.PrjPcb");
  const auto project = [&](const std::string& name, const std::string& document) {
    const std::string path = folder + "/" + name;
    std::ofstream(path) << "{\"documents\": [\"" << document << "\"], \"analyses\": [\".op\"]}";
    return path;
  };
  Copy("deep_member.SchDoc");
  const std::string deepProject = folder + "/deep.PrjPcb";
  std::ofstream(deepProject) << "{\"options\": " << hostile::NestedObjects(10000) << "}";
  struct TCase {
    const char* Name;
    std::string Project;
    std::string Error;
  };
  const std::vector<TCase> cases = {
      {"a FIFO", fifoProject.Path(), "cannot open " + fifoProject.Path() + ": it is a FIFO, not a regular file"},
      {"a link to /dev/zero", folder + "/zero.PrjPcb",
       "cannot open " + folder + "/zero.PrjPcb: it is a device, not a regular file"},
      {"a project nested ten thousand deep", deepProject,
       deepProject + ":1:391: nested deeper than 64 levels of arrays and objects"},
      {"a document that is a FIFO", project("fifo_document.PrjPcb", "fifo.SchDoc"),
       folder + "/fifo_document.PrjPcb: documents[0]: cannot open " + fifoDocument.Path() +
           ": it is a FIFO, not a regular file"},
      {"a document nested ten thousand deep", project("deep_document.PrjPcb", "deep_member.SchDoc"),
       folder + "/deep_member.SchDoc:11:80: nested deeper than 64 levels of arrays and objects"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const THostRun run = RunGuarded({"--open-project", c.Project, "module-name"});
    EXPECT_EQ(run.ExitCode, 2) << run.JournalText();
    EXPECT_EQ(Journaled(run, "project-open", "error"), c.Error) << run.JournalText();
    EXPECT_TRUE(run.Events("plugin").empty()) << run.JournalText();
  }
  EXPECT_FALSE(fifoProject.Released() || fifoDocument.Released()) << "the host waited for a writer on a FIFO";
}

// The plug-in deletes a run's old error and waveform-data files beside its netlist through the host's VFS. A
// virtual name that climbs out of the VFS root, or leaves it through a link, reaches no file outside.
TEST_F(HostileFiles, VirtualNamesNeverReachOutsideTheVfsRoot) {
  const std::string root = Work.Path() + "/root";
  fs::create_directories(root + "/sub");
  fs::create_directory_symlink(Work.Path(), root + "/out");
  const TPluginFolder plugin;
  const std::vector<std::string> names = {"vfs://../victim.nsx", "vfs://sub/../../victim.nsx",
                                          "vfs://./../victim.nsx", "vfs://out/victim.nsx", "vfs:///../victim.nsx"};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    for (const char* extension : {"err", "sim"}) std::ofstream(Work.Path() + "/victim." + extension) << "keep\n";
    const THostRun run = RunGuarded({"--plugin", plugin.Plugin(), "--vfs-root", root, "launch", "RunSimulator",
                                     "File1=" + name});
    EXPECT_EQ(run.ExitCode, 0) << run.JournalText();
    const auto deletes = run.Events("vfs-delete");
    ASSERT_EQ(deletes.size(), 2u) << run.JournalText();
    for (const auto& line : deletes) EXPECT_EQ(line.Get("result"), "refused") << line.Raw;
    EXPECT_EQ(ReadFile(Work.Path() + "/victim.err"), "keep\n");
    EXPECT_EQ(ReadFile(Work.Path() + "/victim.sim"), "keep\n");
  }
  // A name inside the root still reaches its file.
  std::ofstream(root + "/sub/inside.err") << "old\n";
  const THostRun inside = RunGuarded({"--plugin", plugin.Plugin(), "--vfs-root", root, "launch", "RunSimulator",
                                      "File1=vfs://sub/inside.nsx"});
  EXPECT_EQ(inside.Events("vfs-delete").at(0).Get("result"), "deleted") << inside.JournalText();
  EXPECT_FALSE(FileExists(root + "/sub/inside.err"));
}

// A model file behind a virtual name: the netlister finds it through the library manager, and the plug-in reads
// it through the host's VFS. Only a regular file of reasonable size inside the root is read.
TEST_F(HostileFiles, ModelFilesBehindVirtualNamesAreReadOnlyInsideTheRootAndOnlyWhenRegular) {
  const std::string root = Work.Path() + "/root";
  fs::create_directories(root + "/models");
  const std::string model = "* a diode\n.model DHOSTILE D(IS=1e-14)\n";
  std::ofstream(Work.Path() + "/outside.mdl") << model;
  std::ofstream(root + "/models/inside.mdl") << model;
  fs::create_symlink(Work.Path() + "/outside.mdl", root + "/models/link.mdl");
  hostile::TFifo fifo(root + "/models/fifo.mdl");
  ASSERT_TRUE(fifo.Made());
  fs::create_symlink("/dev/zero", root + "/models/zero.mdl");
  ASSERT_TRUE(hostile::MakeSparseFile(root + "/models/huge.mdl", (std::size_t{256} << 20) + 1));
  const std::string sheet = ReadFile(kFiles + "model_link.SchDoc");
  const std::string linked = "vfs://models/hostile.mdl";
  ASSERT_NE(sheet.find(linked), std::string::npos);
  struct TCase {
    const char* Name;
    std::string Location;
    bool Included;
  };
  const std::vector<TCase> cases = {
      {"inside the root", "vfs://models/inside.mdl", true},
      {"a name that climbs out", "vfs://../outside.mdl", false},
      {"a name that climbs out and back", "vfs://models/../../root/models/inside.mdl", false},
      {"a link out of the root", "vfs://models/link.mdl", false},
      {"a FIFO", "vfs://models/fifo.mdl", false},
      {"a link to /dev/zero", "vfs://models/zero.mdl", false},
      {"a file over 256 MiB", "vfs://models/huge.mdl", false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string text = sheet;
    text.replace(text.find(linked), linked.size(), c.Location);
    std::ofstream(Work.Path() + "/model_link.SchDoc") << text;
    const std::string project = Copy("model_link.PrjPcb");
    const std::string out = Work.Path() + "/model_link.nsx";
    const THostRun run = RunGuarded({"--vfs-root", root, "netlist", project, out});
    ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
    const std::string netlist = ReadFile(out);
    EXPECT_EQ(netlist.find(".include") != std::string::npos, c.Included) << netlist << run.JournalText();
    if (c.Included) {
      EXPECT_NE(netlist.find(".include \"" + root + "/models/inside.mdl\""), std::string::npos) << netlist;
    } else {
      EXPECT_EQ(Journaled(run, "netlist-message", "text"), "Model DHOSTILE not found in " + c.Location)
          << run.JournalText();
    }
    // Whatever the plug-in asks the VFS to open, only a regular file inside the root is handed out.
    for (const auto& open : run.Events("vfs-open"))
      EXPECT_EQ(open.Get("result") == "opened", c.Included) << open.Raw;
  }
  EXPECT_FALSE(fifo.Released()) << "the host waited for a writer on the FIFO";
}

}  // namespace
}  // namespace tolvex::e2e
