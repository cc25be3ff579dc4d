// Where the viewer's files go and what they are called: the document a window's name picks,
// plot names that are safe and never collide, x-axis names, and writes that fail cleanly: never
// through a planted link, never hiding a full disk.
#include "WaveformOutput.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <new>
#include <sstream>

namespace tolvex::ondulix {
namespace {

namespace fs = std::filesystem;

TEST(OpenedDocuments, ADocumentNamePicksTheNewestDocumentOfThatStem) {
  struct TCase {
    const char* Name;
    std::vector<std::string> Opened;  // oldest first
    const char* DocumentName;
    std::string Expected;
  } cases[] = {
      {"the stem", {"/w/amp.sdf", "/w/rc.sdf"}, "amp", "/w/amp.sdf"},
      {"letter case ignored", {"/w/Amp.SDF", "/w/rc.sdf"}, "AMP", "/w/Amp.SDF"},
      {"the newest of two", {"/a/amp.sdf", "/b/amp.sdf", "/w/rc.sdf"}, "amp", "/b/amp.sdf"},
      {"opened again, newest again", {"/a/amp.sdf", "/b/amp.sdf", "/a/amp.sdf"}, "amp", "/a/amp.sdf"},
      {"a folder and .sdf in the name", {"/w/amp.sdf", "/w/rc.sdf"}, "c:\\work\\amp.sdf", "/w/amp.sdf"},
      {"blanks around the name", {"/w/amp.sdf", "/w/rc.sdf"}, " amp ", "/w/amp.sdf"},
      {"a Windows path opened", {"C:\\work\\amp.sdf", "/w/rc.sdf"}, "amp", "C:\\work\\amp.sdf"},
      {"no match: the last opened", {"/w/amp.sdf", "/w/rc.sdf"}, "filter", "/w/rc.sdf"},
      {"no name: the last opened", {"/w/amp.sdf", "/w/rc.sdf"}, "", "/w/rc.sdf"},
      {"nothing opened: the current folder", {}, "amp", "amp.sdf"},
      {"nothing opened, a name that is a path", {}, "../../etc/passwd", "passwd.sdf"},
      {"nothing opened, unsafe characters", {}, "my amp: v2?", "my_amp__v2_.sdf"},
      {"nothing opened, no name", {}, "", "untitled.sdf"},
      {"nothing opened, only a folder", {}, "/tmp/", "untitled.sdf"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TOpenedDocuments documents;
    for (const std::string& path : c.Opened) documents.Opened(path);
    EXPECT_EQ(documents.PathFor(c.DocumentName), c.Expected);
  }
}

TEST(OpenedDocuments, RemembersABoundedNumberAndForgetsTheOldestFirst) {
  TOpenedDocuments documents;
  for (int i = 0; i < 100; ++i) documents.Opened("/w/d" + std::to_string(i) + ".sdf");
  documents.Opened("");
  ASSERT_EQ(documents.Paths().size(), TOpenedDocuments::kMaxRemembered);
  EXPECT_EQ(documents.Paths().back(), "/w/d99.sdf");
  EXPECT_EQ(documents.PathFor("d0"), "/w/d99.sdf") << "forgotten";
  EXPECT_EQ(documents.PathFor("d40"), "/w/d40.sdf");
}

TEST(PlotPaths, AreBesideTheWaveformFileWithSafeNamesThatNeverCollide) {
  struct TCase {
    const char* Name;
    std::string Waveform;
    std::vector<std::string> Charts;
    std::vector<std::string> Expected;
  } cases[] = {
      {"one per chart", "/w/amp.sdf", {"tran", "ac"}, {"/w/amp_tran.svg", "/w/amp_ac.svg"}},
      {"repeated names",
       "/w/amp.sdf",
       {"tran", "TRAN", "tran", "tran_2"},
       {"/w/amp_tran.svg", "/w/amp_TRAN_2.svg", "/w/amp_tran_3.svg", "/w/amp_tran_2_2.svg"}},
      {"unsafe names",
       "/w/amp.sdf",
       {"", "a/b", "..", "x:y*z", "AC Analysis", "caf\xc3\xa9"},
       {"/w/amp_chart1.svg", "/w/amp_a_b.svg", "/w/amp_...svg", "/w/amp_x_y_z.svg", "/w/amp_AC_Analysis.svg",
        "/w/amp_caf__.svg"}},
      {"a long name is cut", "/w/amp.sdf", {std::string(300, 'x')}, {"/w/amp_" + std::string(64, 'x') + ".svg"}},
      {"a Windows path", "C:\\work\\amp.sdf", {"tran"}, {"C:\\work\\amp_tran.svg"}},
      {"a bare name", "amp.sdf", {"tran"}, {"amp_tran.svg"}},
      {"no extension", "/w/amp", {"tran"}, {"/w/amp_tran.svg"}},
      {"no charts", "/w/amp.sdf", {}, {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(PlotPathsFor(c.Waveform, c.Charts), c.Expected);
  }
}

TEST(XAxisNames, ComeFromTheWordsOfTheChartsName) {
  struct TCase {
    const char* Chart;
    bool Complex;
    const char* Name;
    const char* Unit;
  } cases[] = {
      {"tran", false, "time", "s"},
      {"tran1", false, "time", "s"},
      {"Transient Analysis", false, "time", "s"},
      {"ac", true, "frequency", "Hz"},
      {"AC Analysis", true, "frequency", "Hz"},
      {"ac2", false, "frequency", "Hz"},
      {"noise1", false, "frequency", "Hz"},
      {"dc1", false, "sweep", ""},
      {"DC transfer characteristic", false, "sweep", ""},
      {"trace", false, "x", ""},
      {"acme", true, "frequency", "Hz"},
      {"acme", false, "x", ""},
      {"", false, "x", ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Chart);
    const TXAxisName axis = NameXAxis(c.Chart, c.Complex);
    EXPECT_EQ(axis.Name, c.Name);
    EXPECT_EQ(axis.Unit, c.Unit);
  }
}

class WriteFileReplacingTest : public ::testing::Test {
 protected:
  WriteFileReplacingTest() {
    FFolder = fs::temp_directory_path() / ("tolvex-viewer-test-" + std::to_string(getpid()));
    fs::remove_all(FFolder);
    fs::create_directories(FFolder);
  }
  ~WriteFileReplacingTest() override { fs::remove_all(FFolder); }
  std::string Path(const std::string& name) const { return (FFolder / name).string(); }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(FFolder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  static bool Writes(std::ostream& out, const std::string& text) {
    out << text;
    return true;
  }

  fs::path FFolder;
};

TEST_F(WriteFileReplacingTest, ReplacesAFileWhole) {
  const std::string path = Path("amp.sdf");
  ASSERT_TRUE(WriteFileReplacing(path, [](std::ostream& out) { return Writes(out, "first\n"); }));
  ASSERT_TRUE(WriteFileReplacing(path, [](std::ostream& out) { return Writes(out, "second\n"); }));
  EXPECT_EQ(Read(path), "second\n");
  EXPECT_EQ(Files(), std::vector<std::string>{"amp.sdf"});
}

TEST_F(WriteFileReplacingTest, AFailedWriteLeavesWhatWasThereAndNothingElse) {
  const std::string path = Path("amp.sdf");
  ASSERT_TRUE(WriteFileReplacing(path, [](std::ostream& out) { return Writes(out, "kept\n"); }));
  EXPECT_FALSE(WriteFileReplacing(path, [](std::ostream& out) {
    out << "half";
    return false;
  }));
  EXPECT_FALSE(WriteFileReplacing(path, [](std::ostream& out) -> bool {
    out << "half";
    throw std::bad_alloc();
  }));
  EXPECT_EQ(Read(path), "kept\n");
  EXPECT_EQ(Files(), std::vector<std::string>{"amp.sdf"});
}

TEST_F(WriteFileReplacingTest, APathThatCannotBeAFileIsRefused) {
  fs::create_directories(Path("taken.sdf"));
  EXPECT_FALSE(WriteFileReplacing(Path("taken.sdf"), [](std::ostream& out) { return Writes(out, "x"); }));
  EXPECT_TRUE(fs::is_directory(Path("taken.sdf"))) << "a folder in the way is left alone";
  EXPECT_FALSE(WriteFileReplacing(Path("missing/amp.sdf"), [](std::ostream& out) { return Writes(out, "x"); }));
  EXPECT_FALSE(WriteFileReplacing("", [](std::ostream& out) { return Writes(out, "x"); }));
  EXPECT_EQ(Files(), std::vector<std::string>{"taken.sdf"});
}

TEST_F(WriteFileReplacingTest, ALinkOrAFileAtTheTemporaryOrTheFinalNameIsNeverWrittenThrough) {
  enum TPlant { pSymbolicLink, pHardLink };
  struct TCase {
    const char* Name;
    const char* At;      // in the folder written to
    TPlant Plant;
    const char* Target;  // in the victim's folder
  } cases[] = {
      {"a link at the old temporary name", "amp.sdf.part", pSymbolicLink, "precious.txt"},
      {"a dangling link at the old temporary name", "amp.sdf.part", pSymbolicLink, "created.txt"},
      {"a hard link at the old temporary name", "amp.sdf.part", pHardLink, "precious.txt"},
      {"a link at the final name", "amp.sdf", pSymbolicLink, "precious.txt"},
      {"a dangling link at the final name", "amp.sdf", pSymbolicLink, "created.txt"},
      {"a link to a folder at the final name", "amp.sdf", pSymbolicLink, "."},
  };
  const fs::path victim = FFolder / "victim";
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const fs::path folder = FFolder / "out";
    fs::remove_all(folder);
    fs::remove_all(victim);
    fs::create_directories(folder);
    fs::create_directories(victim);
    std::ofstream(victim / "precious.txt") << "precious\n";
    if (c.Plant == pSymbolicLink)
      fs::create_symlink(victim / c.Target, folder / c.At);
    else
      fs::create_hard_link(victim / c.Target, folder / c.At);
    const std::string path = (folder / "amp.sdf").string();
    std::string error;

    ASSERT_TRUE(WriteFileReplacing(path, [](std::ostream& out) { return Writes(out, "new\n"); }, &error)) << error;
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path))) << "the file stands at its name, not a link";
    EXPECT_EQ(Read(path), "new\n");
    EXPECT_EQ(Read((victim / "precious.txt").string()), "precious\n");
    EXPECT_FALSE(fs::exists(fs::symlink_status(victim / "created.txt")));
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(folder)) left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    const std::string at = c.At;
    const std::vector<std::string> expected =
        at == "amp.sdf" ? std::vector<std::string>{"amp.sdf"} : std::vector<std::string>{"amp.sdf", at};
    EXPECT_EQ(left, expected) << "nothing of the write is left; what was planted elsewhere is left alone";
  }
}

// Runs Body in a child process whose files can grow to Limit bytes at most, as on a disk with that
// much room left: a write beyond it fails with EFBIG (SIGXFSZ ignored). Returns what Body returns.
// An alarm ends the child should a regression make it block.
std::string WithFileSizeLimit(rlim_t limit, const std::function<std::string()>& body) {
  int channel[2];
  if (pipe(channel) != 0) return "no pipe";
  const pid_t child = fork();
  if (child < 0) return "no child";
  if (child == 0) {
    close(channel[0]);
    alarm(30);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit room{};
    getrlimit(RLIMIT_FSIZE, &room);
    room.rlim_cur = limit;
    if (setrlimit(RLIMIT_FSIZE, &room) != 0) _exit(2);
    const std::string result = body();
    const bool sent = write(channel[1], result.data(), result.size()) == static_cast<ssize_t>(result.size());
    _exit(sent ? 0 : 3);
  }
  close(channel[1]);
  std::string result;
  char block[4096];
  for (ssize_t n; (n = read(channel[0], block, sizeof block)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    result.append(block, static_cast<std::size_t>(n));
  }
  close(channel[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "the child failed with status " + std::to_string(status);
  return result;
}

TEST_F(WriteFileReplacingTest, ADiskWithoutRoomFailsTheWriteWithItsReasonAndLeavesTheOldFile) {
  struct TCase {
    const char* Name;
    rlim_t Room;
    std::size_t Size;
    bool Written;
  } cases[] = {
      {"no room at all", 0, 10, false},
      {"room for part of the first block", 100, 200000, false},
      {"room for a block and a half", 100000, 300000, false},
      {"one byte short", 150000, 150001, false},
      {"just enough room", 150000, 150000, true},
  };
  const std::string path = Path("amp.sdf");
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    ASSERT_TRUE(WriteFileReplacing(path, [](std::ostream& out) { return Writes(out, "kept\n"); }));
    const std::string result = WithFileSizeLimit(c.Room, [&] {
      std::string error;
      const bool written = WriteFileReplacing(
          path, [&](std::ostream& out) { return Writes(out, std::string(c.Size, 'x')); }, &error);
      return written ? std::string("written") : error;
    });
    if (c.Written) {
      EXPECT_EQ(result, "written");
      EXPECT_EQ(fs::file_size(path), c.Size);
    } else {
      EXPECT_EQ(result, "Cannot write " + path + ": " + std::strerror(EFBIG));
      EXPECT_EQ(Read(path), "kept\n");
    }
    EXPECT_EQ(Files(), std::vector<std::string>{"amp.sdf"}) << "no temporary file is left";
  }
}

TEST_F(WriteFileReplacingTest, EveryFailureNamesTheFileAndWhy) {
  fs::create_directories(Path("taken.sdf"));
  struct TCase {
    const char* Name;
    std::string Path;
    bool Composed;
    std::string Expected;
  } cases[] = {
      {"a folder in the way", Path("taken.sdf"), true, "Cannot write " + Path("taken.sdf") + ": Is a directory"},
      {"no such folder", Path("missing/amp.sdf"), true,
       "Cannot write " + Path("missing/amp.sdf") + ": No such file or directory"},
      {"no name", "", true, "Cannot write : no file name"},
      {"the contents failed", Path("amp.sdf"), false,
       "Cannot write " + Path("amp.sdf") + ": the contents could not be composed"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string error;
    EXPECT_FALSE(WriteFileReplacing(c.Path, [&](std::ostream& out) { return Writes(out, "x") && c.Composed; }, &error));
    EXPECT_EQ(error, c.Expected);
  }
  EXPECT_EQ(Files(), std::vector<std::string>{"taken.sdf"});
}

TEST_F(WriteFileReplacingTest, ANameTooLongForATemporaryFileBesideItStillWrites) {
  const std::string name = std::string(250, 'a') + ".sdf";  // 254: room for no longer name
  const std::string path = Path(name);
  std::string error;
  ASSERT_TRUE(WriteFileReplacing(path, [](std::ostream& out) { return Writes(out, "long\n"); }, &error)) << error;
  EXPECT_EQ(Read(path), "long\n");
  EXPECT_EQ(Files(), std::vector<std::string>{name});
}

}  // namespace
}  // namespace tolvex::ondulix
