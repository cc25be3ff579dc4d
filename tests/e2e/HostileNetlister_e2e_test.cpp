// The stand-in host's netlister meeting hostile or careless schematics through tolvex-host: model file names and
// values that would slip lines into the netlist, part counts no symbol has, and net names longer than a 255-character
// field. Every run is guarded, so that a regression that blocks or runs for hours fails instead of hanging.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "../stand_ins/HostileFiles.h"
#include "HostRunner.h"

namespace tolvex::e2e {
namespace {

namespace fs = std::filesystem;

const std::string kFixtures = std::string(TOLVEX_TEST_DATA_DIR) + "/hostile/netlister/";

using TMessages = std::vector<std::pair<std::string, std::string>>;

TMessages Messages(const THostRun& run) {
  TMessages messages;
  for (const auto& line : run.Events("netlist-message")) messages.emplace_back(line.Get("designator"), line.Get("text"));
  return messages;
}

// Netlists Project into Out; the host is killed should it still run after a minute. Nothing is timed by it.
THostRun Netlist(const std::string& project, const std::string& out) {
  THostGuard guard;
  guard.TimeLimitSeconds = 60;
  return RunHostGuarded({"netlist", project, out}, guard);
}

// The lines of a netlist between its title and its ".end".
std::vector<std::string> Body(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  if (!lines.empty()) lines.erase(lines.begin());
  if (!lines.empty() && lines.back() == ".end") lines.pop_back();
  return lines;
}

struct TComponentCase {
  const char* Name;
  std::string Designator;
  std::vector<std::string> Lines;  // what the netlist holds for the component, in order
  TMessages Messages;              // the component's messages, in order
};

// Each component's lines and messages where the netlist and the journal put them: the lines in the order of the
// components, the messages in the order they were reported.
void ExpectComponents(const THostRun& run, const std::string& netlist, const std::vector<TComponentCase>& cases,
                      const std::vector<std::string>& tail) {
  std::vector<std::string> lines;
  TMessages messages;
  for (const TComponentCase& c : cases) {
    lines.insert(lines.end(), c.Lines.begin(), c.Lines.end());
    messages.insert(messages.end(), c.Messages.begin(), c.Messages.end());
  }
  lines.insert(lines.end(), tail.begin(), tail.end());
  const std::vector<std::string> body = Body(netlist);
  const TMessages got = Messages(run);
  for (const TComponentCase& c : cases) {
    SCOPED_TRACE(c.Name);
    for (const std::string& line : c.Lines)
      EXPECT_NE(std::find(body.begin(), body.end(), line), body.end()) << line << "\n" << netlist;
    for (const auto& message : c.Messages)
      EXPECT_NE(std::find(got.begin(), got.end(), message), got.end()) << message.second << "\n" << run.JournalText();
  }
  EXPECT_EQ(body, lines) << netlist;
  EXPECT_EQ(got, messages) << run.JournalText();
}

class HostileNetlister : public ::testing::Test {
 protected:
  TScratchFolder Work;
};

TEST_F(HostileNetlister, ModelFileNamesWithControlCharactersAreNeverIncluded) {
  // The files the schematic's data-file links name, each defining the model, in a model folder of the test's own.
  const std::string models = Work.Path() + "/models";
  fs::create_directory(models);
  const std::string lineBreak = "dx\n.control\nshell touch pwned\n.endc\n.mdl";
  for (const std::string& name : {lineBreak, std::string("dx\r.mdl"), std::string("dx\t.mdl"),
                                 std::string("dx\x7f.mdl"), std::string("dx.mdl")})
    std::ofstream(models + "/" + name) << ".MODEL DX D(IS=1E-14)\n";
  hostile::TFifo fifo(models + "/fifo.mdl");
  ASSERT_TRUE(fifo.Made());
  const std::string project = Work.File(
      "model_names.PrjPcb", "{\"format\": \"tolvex-project\", \"documents\": [\"" + kFixtures +
                                "model_names.SchDoc\"], \"modelFolders\": [\"models\"], \"analyses\": [\".op\"]}");
  const std::string out = Work.Path() + "/model_names.nsx";
  const THostRun run = Netlist(project, out);
  ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
  EXPECT_FALSE(fifo.Released()) << "the netlister waited on a FIFO";

  auto refused = [&](const std::string& designator, const std::string& visibleName) {
    return TMessages{{designator, "The model file " + models + "/" + visibleName +
                                      " has a control character in its path and cannot be included"}};
  };
  const std::vector<TComponentCase> cases = {
      {"a line break and a .control block", "D1", {"D1 A 0 DX"},
       refused("D1", "dx\\n.control\\nshell touch pwned\\n.endc\\n.mdl")},
      {"a carriage return", "D2", {"D2 A 0 DX"}, refused("D2", "dx\\r.mdl")},
      {"a tab", "D3", {"D3 A 0 DX"}, refused("D3", "dx\\t.mdl")},
      {"the DEL character", "D4", {"D4 A 0 DX"}, refused("D4", "dx\\x7F.mdl")},
      {"a FIFO of a model file's name", "D5", {"D5 A 0 DX"}, {{"D5", "Model DX not found in fifo.mdl"}}},
      {"an ordinary file", "D6", {"D6 A 0 DX"}, {}},
  };
  ExpectComponents(run, ReadFile(out), cases, {".include \"" + models + "/dx.mdl\"", ".op"});
}

TEST_F(HostileNetlister, PartCountsBeyondWhatPartLettersNameAreRefused) {
  const std::string out = Work.Path() + "/part_counts.nsx";
  const THostRun run = Netlist(kFixtures + "part_counts.PrjPcb", out);
  ASSERT_FALSE(run.TimedOut) << "the netlister expanded every part of a huge count\n" << run.JournalText();
  ASSERT_EQ(run.ExitCode, 0) << run.JournalText();

  auto tooMany = [](const std::string& designator, const std::string& count) {
    return TMessages{{designator, "The component has " + count +
                                      " parts, more than the 702 that part letters (A to ZZ) name; the component is "
                                      "left out"}};
  };
  // 702 parts, from A to ZZ.
  std::vector<std::string> u3;
  for (char first = 0; first <= 26; ++first)
    for (char second = 'A'; second <= 'Z'; ++second)
      u3.push_back("XU3" + (first ? std::string(1, static_cast<char>('A' + first - 1)) : std::string()) + second +
                   " A 0 AMP");
  ASSERT_EQ(u3.size(), 702u);
  const std::vector<TComponentCase> cases = {
      {"the largest 32-bit count", "U1", {}, tooMany("U1", "2147483647")},
      {"one more than two letters name", "U2", {}, tooMany("U2", "703")},
      {"as many as two letters name", "U3", u3, {}},
      {"an ordinary dual part", "U4", {"XU4A A 0 AMP", "XU4B A 0 AMP"}, {}},
  };
  ExpectComponents(run, ReadFile(out), cases, {".op"});
  EXPECT_EQ(run.Events("netlist")[0].Get("components"), "2");
}

TEST_F(HostileNetlister, LongNetNamesThatDifferOnlyAtTheEndStayTwoNets) {
  const std::string out = Work.Path() + "/long_nets.nsx";
  const THostRun run = Netlist(kFixtures + "long_nets.PrjPcb", out);
  ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
  const std::string l300(300, 'L'), m1100(1100, 'M');
  const std::vector<TComponentCase> cases = {
      {"301 characters, ending in A", "R1", {"R1 " + l300 + "A 0 1k"}, {}},
      {"301 characters, ending in B", "R2", {"R2 " + l300 + "B 0 1k"}, {}},
      {"1,101 characters, ending in A", "R3", {"R3 " + m1100 + "A 0 1k"}, {}},
      {"1,101 characters, ending in B", "R4", {"R4 " + m1100 + "B 0 1k"}, {}},
  };
  ExpectComponents(run, ReadFile(out), cases, {".op"});
}

TEST_F(HostileNetlister, ValuesThatWouldAddLinesLeaveTheirComponentOut) {
  const std::string out = Work.Path() + "/values.nsx";
  const THostRun run = Netlist(kFixtures + "values.PrjPcb", out);
  ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
  auto refused = [](const std::string& designator, const std::string& visibleLine) {
    return TMessages{{designator, "The netlist line \"" + visibleLine +
                                      "\" holds a control character; the component is left out"}};
  };
  const std::vector<TComponentCase> cases = {
      {"a line break and a .control block", "R1", {},
       refused("R1", "R1 A 0 1k\\n.control\\nshell touch pwned\\n.endc")},
      {"the DEL character", "R2", {}, refused("R2", "R2 A 0 1\\x7Fk")},
      {"the escape character", "R3", {}, refused("R3", "R3 A 0 1\\x1Bk")},
      {"a carriage return at the end goes with the trailing blanks", "R4", {"R4 A 0 2k"}, {}},
      {"an ordinary value", "R5", {"R5 A 0 3k"}, {}},
      {"a tab in the template", "R6", {"R6\tA 0 4k"}, {}},
  };
  const std::string netlist = ReadFile(out);
  ExpectComponents(run, netlist, cases, {".op"});
  EXPECT_EQ(netlist.find(".control"), std::string::npos) << netlist;
  EXPECT_EQ(run.Events("netlist")[0].Get("components"), "3");
}

}  // namespace
}  // namespace tolvex::e2e
