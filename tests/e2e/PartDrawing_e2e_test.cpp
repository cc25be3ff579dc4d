// The part drawing of the Sim Editor's Pin Mapping tab through tolvex-host: the transcript names each drawing, the host writes it as SVG beside the transcript (or the journal), and the SVG holds the part's pins and shapes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "HostRunner.h"

namespace tolvex::e2e {
namespace {

namespace fs = std::filesystem;

std::string EditorData(const std::string& name) { return std::string(TOLVEX_TEST_DATA_DIR) + "/editor/" + name; }

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

std::vector<std::string> DrawingLines(const std::string& transcript) {
  std::vector<std::string> lines;
  std::istringstream in(transcript);
  for (std::string line; std::getline(in, line);)
    if (line.find("drawing ") != std::string::npos) lines.push_back(line);
  return lines;
}

std::string Failure(const THostRun& run, const std::string& transcript) {
  return "transcript:\n" + transcript + "journal:\n" + run.JournalText() + "output:\n" + run.Output;
}

struct TDrawingCase {
  const char* Designator;
  const char* Script;  // tests/data/editor/<Script>.script
  std::vector<std::string> Lines;  // the transcript's drawing lines
  // Each drawing named by the lines: texts it shows as text elements, and elements it holds so many times.
  struct TFile {
    std::string Name;
    std::vector<std::string> Texts;
    std::vector<std::pair<std::string, std::size_t>> Elements;
  };
  std::vector<TFile> Files;
};

TEST(PartDrawings, EachDrawingIsNamedInTheTranscriptAndWrittenBesideItWithThePartsPinsAndShapes) {
  // clang-format off
  const std::vector<TDrawingCase> cases = {
      // Two parts: each with its own pins and the common supply pins 4 and 8; OUT hides its name.
      {"U1", "parts-next-part",
       {"drawing ExternalForm_PartImage \"part-U1-1.svg\"", "  drawing ExternalForm_PartImage \"part-U1-2.svg\""},
       {{"part-U1-1.svg", {"1", "2", "3", "4", "8", "IN-", "IN+", "V-", "V+", "A"}, {{"<polygon ", 1}, {"<line ", 5}}},
        {"part-U1-2.svg", {"5", "6", "7", "4", "8", "IN-", "IN+", "V-", "V+", "B"}, {{"<polygon ", 1}, {"<line ", 5}}}}},
      {"D1", "parts-cancel", {"drawing ExternalForm_PartImage \"part-D1-1.svg\""},
       {{"part-D1-1.svg", {"1", "2"}, {{"<polygon ", 1}, {"<line ", 3}, {"<text ", 2}}}}},
      {"Q1", "parts-cancel", {"drawing ExternalForm_PartImage \"part-Q1-1.svg\""},
       {{"part-Q1-1.svg", {"1", "2", "3"}, {{"<ellipse ", 1}, {"<polygon ", 1}, {"<line ", 6}, {"<text ", 3}}}}},
      {"L1", "parts-cancel", {"drawing ExternalForm_PartImage \"part-L1-1.svg\""},
       {{"part-L1-1.svg", {"1", "2"}, {{"<path ", 4}, {"<line ", 2}}}}},
  };
  // clang-format on
  for (const TDrawingCase& c : cases) {
    SCOPED_TRACE(c.Designator);
    const TScratchFolder work;
    const std::string transcriptPath = work.Path() + "/out/transcript.txt";
    fs::create_directories(work.Path() + "/out");
    THostGuard guard;
    guard.WorkingFolder = work.Path();
    const THostRun run = RunHostGuarded({"--schematic", EditorData("parts.SchDoc"), "--ui-script",
                                         EditorData(std::string(c.Script) + ".script"), "--ui-transcript",
                                         transcriptPath, "open", EditorData("parts.SchDoc"), "edit", c.Designator},
                                        guard);
    const std::string transcript = Slurp(transcriptPath);
    ASSERT_EQ(run.ExitCode, 0) << Failure(run, transcript);
    EXPECT_EQ(DrawingLines(transcript), c.Lines) << Failure(run, transcript);
    const std::vector<TJournalLine> drawings = run.Events("drawing");
    ASSERT_EQ(drawings.size(), c.Files.size()) << Failure(run, transcript);
    for (std::size_t i = 0; i < c.Files.size(); ++i) {
      const auto& file = c.Files[i];
      SCOPED_TRACE(file.Name);
      const std::string path = work.Path() + "/out/" + file.Name;
      EXPECT_EQ(drawings[i].Get("path"), path);
      EXPECT_EQ(drawings[i].Get("result"), "written");
      const std::string svg = Slurp(path);
      ASSERT_EQ(svg.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg ", 0), 0u) << svg;
      EXPECT_NE(svg.find("<title>" + file.Name.substr(0, file.Name.size() - 4) + "</title>"), std::string::npos) << svg;
      for (const std::string& text : file.Texts)
        EXPECT_EQ(Count(svg, ">" + text + "</text>"), 1u) << text << " in\n" << svg;
      for (const auto& [element, count] : file.Elements) EXPECT_EQ(Count(svg, element), count) << element << " in\n" << svg;
    }
    // Nothing is written anywhere else: the working folder holds only what the test made.
    EXPECT_EQ(std::distance(fs::directory_iterator(work.Path()), fs::directory_iterator()), 1);
  }
}

TEST(PartDrawings, WithTheTranscriptInTheJournalTheDrawingGoesBesideTheJournalOrIntoTheWorkingFolder) {
  const TScratchFolder work;
  fs::create_directories(work.Path() + "/logs");
  THostGuard guard;
  guard.WorkingFolder = work.Path();
  const std::vector<std::string> edit{"--schematic", EditorData("parts.SchDoc"), "--ui-script",
                                      EditorData("parts-cancel.script"), "open", EditorData("parts.SchDoc"),
                                      "edit", "D1"};
  // The journal on standard output: the working folder.
  const THostRun onOutput = RunHostGuarded(edit, guard);
  ASSERT_EQ(onOutput.ExitCode, 0) << onOutput.JournalText() << onOutput.Output;
  std::vector<std::string> lines;
  for (const TJournalLine& line : onOutput.Events("ui")) lines.push_back(line.Get("line"));
  EXPECT_NE(std::find(lines.begin(), lines.end(), "drawing ExternalForm_PartImage \"part-D1-1.svg\""), lines.end())
      << onOutput.JournalText();
  ASSERT_EQ(onOutput.Events("drawing").size(), 1u) << onOutput.JournalText();
  EXPECT_EQ(onOutput.Events("drawing")[0].Get("path"), "part-D1-1.svg");
  EXPECT_TRUE(FileExists(work.Path() + "/part-D1-1.svg"));

  // A journal file: beside it.
  std::vector<std::string> withJournal{"--journal", work.Path() + "/logs/journal.txt"};
  withJournal.insert(withJournal.end(), edit.begin(), edit.end());
  const THostRun inFile = RunHostGuarded(withJournal, guard);
  const std::string journal = Slurp(work.Path() + "/logs/journal.txt");
  ASSERT_EQ(inFile.ExitCode, 0) << journal << inFile.Output;
  EXPECT_NE(journal.find("drawing path=\"" + work.Path() + "/logs/part-D1-1.svg\" result=\"written\""),
            std::string::npos)
      << journal;
  EXPECT_TRUE(FileExists(work.Path() + "/logs/part-D1-1.svg"));
}

TEST(PartDrawings, AHostileDesignatorNamesAPlainFileInTheTranscriptsFolder) {
  struct TCase {
    const char* Name;
    std::string Designator;  // as JSON text
    std::string File;        // the drawing's file
    std::string Title;       // the SVG's title, escaped
  };
  const std::vector<TCase> cases = {
      {"a path leading out", "../../escape", "part-.._.._escape-1.svg", "part-../../escape-1"},
      {"markup and blanks", "<R 1>&", "part-_R_1__-1.svg", "part-&lt;R 1&gt;&amp;-1"},
      {"a designator too long for a file name", std::string(300, 'R'), "part-" + std::string(115, 'R') + ".svg",
       "part-" + std::string(250, 'R')},  // the name the plug-in takes is cut at 255 bytes
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TScratchFolder work;
    fs::create_directories(work.Path() + "/out/inner");
    const std::string sheet = work.File("hostile.SchDoc", R"({"components": [{"designator": )" +
                                                              std::string("\"") + c.Designator + "\"" + R"json(,
      "pins": [{"designator": "1", "name": "A", "location": [0, 0], "length": 10}],
      "graphics": [{"type": "rectangle", "points": [[10, -5], [30, 5]]}],
      "implementations": [{"portMap": "(1:1)"}]}]})json");
    const std::string transcriptPath = work.Path() + "/out/inner/transcript.txt";
    THostGuard guard;
    guard.WorkingFolder = work.Path();
    const THostRun run = RunHostGuarded({"--schematic", sheet, "--ui-script", EditorData("parts-cancel.script"),
                                         "--ui-transcript", transcriptPath, "open", sheet, "edit", c.Designator},
                                        guard);
    const std::string transcript = Slurp(transcriptPath);
    ASSERT_EQ(run.ExitCode, 0) << Failure(run, transcript);
    EXPECT_EQ(DrawingLines(transcript),
              (std::vector<std::string>{"drawing ExternalForm_PartImage \"" + c.File + "\""}))
        << Failure(run, transcript);
    const std::string svg = Slurp(work.Path() + "/out/inner/" + c.File);
    EXPECT_NE(svg.find("<title>" + c.Title + "</title>"), std::string::npos) << svg;
    // Only the transcript and the drawing, in the transcript's folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(work.Path() + "/out/inner"), fs::directory_iterator()), 2);
    EXPECT_EQ(std::distance(fs::directory_iterator(work.Path() + "/out"), fs::directory_iterator()), 1);
  }
}

}  // namespace
}  // namespace tolvex::e2e
