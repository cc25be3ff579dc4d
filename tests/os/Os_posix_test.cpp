// The Linux file services the runs rely on: telling two names of one file apart, creating a file
// afresh without writing through a planted link, and reading an option file that may not be a file.
#include "os/Os.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>

namespace tolvex {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class OsFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    Folder = fs::temp_directory_path() / ("tolvex-os-test-" + std::to_string(getpid()));
    fs::remove_all(Folder);
    fs::create_directories(Folder);
  }
  void TearDown() override { fs::remove_all(Folder); }
  std::string Make(const std::string& name, const std::string& content) const {
    const fs::path path = Folder / name;
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }
  std::string At(const std::string& name) const { return (Folder / name).string(); }

  fs::path Folder;
};

TEST_F(OsFiles, SameFileByNameOrByIdentity) {
  const std::string netlist = Make("amp.nsx", "netlist\n");
  const std::string other = Make("other.nsx", "other\n");
  fs::create_symlink(netlist, At("link.sdf"));
  fs::create_hard_link(netlist, At("second.err"));
  fs::create_directories(At("sub"));
  struct TCase {
    const char* Name;
    std::string A, B;
    bool Same;
  } cases[] = {
      {"the same name", netlist, netlist, true},
      {"the same name of a file that does not exist", At("none.sim"), At("none.sim"), true},
      {"a link to it", At("link.sdf"), netlist, true},
      {"a second name of it", At("second.err"), netlist, true},
      {"another way to write its path", At("sub") + "/../amp.nsx", netlist, true},
      {"another file", other, netlist, false},
      {"a name that differs in letter case only", At("AMP.NSX"), netlist, false},
      {"a file that does not exist", At("amp.sim"), netlist, false},
      {"an empty name", "", netlist, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(os::SameFile(c.A, c.B), c.Same);
    EXPECT_EQ(os::SameFile(c.B, c.A), c.Same);
  }
}

TEST_F(OsFiles, CreateFileAfreshNeverWritesThroughWhatWasThere) {
  const std::string victimFolder = (Folder / "elsewhere").string();
  struct TCase {
    const char* Name;
    std::function<void(const std::string& place, const std::string& victim)> Plant;
    const char* Error;  // nullptr: created
  } cases[] = {
      {"nothing", [](const std::string&, const std::string&) {}, nullptr},
      {"an old file", [](const std::string& place, const std::string&) { std::ofstream(place) << "old dump\n"; },
       nullptr},
      {"a link to another file", [](const std::string& place, const std::string& victim) { fs::create_symlink(victim, place); },
       nullptr},
      {"a second name of another file",
       [](const std::string& place, const std::string& victim) { fs::create_hard_link(victim, place); }, nullptr},
      {"a link that leads nowhere yet",
       [](const std::string& place, const std::string& victim) { fs::create_symlink(victim + ".new", place); },
       nullptr},
      {"a FIFO", [](const std::string& place, const std::string&) { ASSERT_EQ(mkfifo(place.c_str(), 0600), 0); },
       nullptr},
      {"a folder", [](const std::string& place, const std::string&) { fs::create_directories(place); },
       "Is a directory"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    fs::remove_all(Folder / "elsewhere");
    fs::create_directories(Folder / "elsewhere");
    const std::string victim = victimFolder + "/victim.txt";
    std::ofstream(victim) << "precious\n";
    const std::string place = At("amp.txt");
    fs::remove_all(place);
    c.Plant(place, victim);

    std::string error = "stale";
    std::FILE* file = os::CreateFileAfresh(place, error);
    if (c.Error) {
      EXPECT_EQ(file, nullptr);
      EXPECT_EQ(error, c.Error);
    } else {
      ASSERT_NE(file, nullptr) << error;
      EXPECT_EQ(error, "");
      EXPECT_GE(std::fputs("new dump\n", file), 0);
      EXPECT_EQ(std::fclose(file), 0);
      EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(place)));
      EXPECT_EQ(ReadAll(place), "new dump\n");
    }
    EXPECT_EQ(ReadAll(victim), "precious\n");
    EXPECT_FALSE(fs::exists(victim + ".new"));
  }

  std::string error;
  EXPECT_EQ(os::CreateFileAfresh(At("no-such-folder/amp.txt"), error), nullptr);
  EXPECT_EQ(error, "No such file or directory");
}

TEST_F(OsFiles, AnOptionFileThatIsNotARegularFileCountsAsMissing) {
  struct TCase {
    const char* Name;
    std::function<void(const std::string&)> Make;
    int Expected;
  } cases[] = {
      {"a regular file", [](const std::string& p) { std::ofstream(p) << "[Durnix]\nAlwaysLoadErrorFile=7\n"; }, 7},
      {"a link to a regular file",
       [this](const std::string& p) {
         std::ofstream(At("real.ini")) << "[Durnix]\nAlwaysLoadErrorFile=3\n";
         fs::create_symlink(At("real.ini"), p);
       },
       3},
      {"a FIFO", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }, -1},
      {"a folder", [](const std::string& p) { fs::create_directories(p); }, -1},
      {"a link to a device", [](const std::string& p) { fs::create_symlink("/dev/null", p); }, -1},
      {"nothing", [](const std::string&) {}, -1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string file = At("Tolvex.ini");
    fs::remove_all(file);
    fs::remove_all(At("real.ini"));
    c.Make(file);
    // Read on a thread of its own: should it block, the FIFO is opened for writing to release it.
    auto reading = std::async(std::launch::async, [&] { return os::ReadProfileInt(file, "Durnix", "AlwaysLoadErrorFile", -1); });
    if (reading.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
      const int writer = open(file.c_str(), O_WRONLY | O_NONBLOCK);
      if (writer >= 0) close(writer);
      ADD_FAILURE() << "reading the option file blocked";
    }
    EXPECT_EQ(reading.get(), c.Expected);
  }
}

}  // namespace
}  // namespace tolvex
