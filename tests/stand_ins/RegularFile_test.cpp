// How the stand-ins read a file given by name: only a regular file, opened without waiting, within its size, and
// a text file's lines each within a bound.
#include "common/RegularFile.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "HostileFiles.h"

namespace tolvex::standins {
namespace {

namespace fs = std::filesystem;

class RegularFile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tolvex-regular-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    FFolder = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(FFolder, ignored);
  }
  std::string Write(const std::string& name, const std::string& text) const {
    const std::string path = FFolder + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  std::vector<std::string> Lines(const std::string& path) const {
    TTextLineReader reader;
    std::string error;
    std::vector<std::string> lines;
    if (!reader.Open(path, error)) return {"refused: " + error};
    while (reader.Next()) lines.push_back(reader.Line());
    return lines;
  }
  std::string FFolder;
};

TEST_F(RegularFile, WhatIsNoRegularFileIsRefusedAtOnceWithItsName) {
  hostile::TFifo fifo(FFolder + "/fifo.SchDoc");
  ASSERT_TRUE(fifo.Made());
  fs::create_directory(FFolder + "/folder.SchDoc");
  fs::create_symlink("/dev/null", FFolder + "/null.SchDoc");
  // A socket in the file system cannot even be opened.
  const std::string socketPath = FFolder + "/socket.SchDoc";
  const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, socketPath.c_str());
  ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const std::string large = FFolder + "/large.SchDoc";
  ASSERT_TRUE(hostile::MakeSparseFile(large, 1001));

  struct TCase {
    const char* Name;
    std::string Path;
    std::string Expected;  // the message after "cannot open PATH: "
  };
  const std::vector<TCase> cases = {
      {"a FIFO", fifo.Path(), "it is a FIFO, not a regular file"},
      {"a folder", FFolder + "/folder.SchDoc", "it is not a file"},
      {"a device", "/dev/zero", "it is a device, not a regular file"},
      {"a link to a device", FFolder + "/null.SchDoc", "it is a device, not a regular file"},
      {"a socket", socketPath, "No such device or address"},
      {"a missing file", FFolder + "/missing.SchDoc", "No such file or directory"},
      {"a file over the limit", large, "it is larger than 1000 bytes"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string text = "untouched", error;
    EXPECT_FALSE(ReadRegularFile(c.Path, c.Path, 1000, text, error));
    EXPECT_EQ(error, "cannot open " + c.Path + ": " + c.Expected);
    // The line reader hands out no line of any of them but the large file, which is within its own limit.
    if (c.Expected.rfind("it is larger", 0) != 0) {
      TTextLineReader reader;
      EXPECT_FALSE(reader.Open(c.Path, error));
      EXPECT_EQ(error, "cannot open " + c.Path + ": " + c.Expected);
    }
  }
  EXPECT_FALSE(fifo.Released()) << "a reader waited for a writer on the FIFO";
  ::close(server);
}

TEST_F(RegularFile, ARegularFileIsReadWholeUpToItsLimit) {
  const std::string path = Write("sheet.SchDoc", std::string(1000, 'x'));
  std::string text, error;
  ASSERT_TRUE(ReadRegularFile(path, "the sheet", 1000, text, error)) << error;
  EXPECT_EQ(text, std::string(1000, 'x'));
  EXPECT_FALSE(ReadRegularFile(path, "the sheet", 999, text, error));
  EXPECT_EQ(error, "cannot open the sheet: it is larger than 999 bytes");
  const std::string empty = Write("empty.SchDoc", "");
  ASSERT_TRUE(ReadRegularFile(empty, empty, 1000, text, error)) << error;
  EXPECT_EQ(text, "");
  EXPECT_EQ(Lines(empty), std::vector<std::string>{});
  // A text file handed out by lines has its own limit, checked before anything is read.
  const std::string library = FFolder + "/huge.lib";
  ASSERT_TRUE(hostile::MakeSparseFile(library, kTextFileSizeLimit + 1));
  EXPECT_EQ(Lines(library), std::vector<std::string>{"refused: cannot open " + library + ": it is larger than 256 MiB"});
}

TEST_F(RegularFile, LinesEndAtLfOrCrLfAndALongOneIsCutAtItsBound) {
  const std::size_t limit = TTextLineReader::kLineLimit;
  const std::string longLine = std::string(limit, 'a') + std::string(70000, 'b');
  struct TCase {
    const char* Name;
    std::string Text;
    std::vector<std::string> Expected;
  };
  const std::vector<TCase> cases = {
      {"one line without an end", "R1 1 2 1k", {"R1 1 2 1k"}},
      {"LF ends", "a\nb\n", {"a", "b"}},
      {"CR LF ends", "a\r\nb\r\n\r\n", {"a", "b", ""}},
      {"a lone CR stays inside a line", "a\rb\n", {"a\rb"}},
      {"a CR at the very end", "a\r", {"a"}},
      {"only a line end", "\n", {""}},
      {"NUL bytes are kept", std::string("a\0b\n", 4), {std::string("a\0b", 3)}},
      {"a line longer than the bound", longLine + "\r\nnext\n", {std::string(limit, 'a'), "next"}},
      {"a line of exactly the bound", std::string(limit, 'c') + "\n", {std::string(limit, 'c')}},
      {"a file of zeros without a line end", std::string(3 * limit, '\0'), {std::string(limit, '\0')}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::vector<std::string> lines = Lines(Write("model.mdl", c.Text));
    ASSERT_EQ(lines.size(), c.Expected.size());
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_TRUE(lines[i] == c.Expected[i]) << "line " << i;
  }
}

}  // namespace
}  // namespace tolvex::standins
