// Model files: the line rules, TModelFile over the fake host and a fake manager, the cache of read files, and
// the searches of the library manager stand-in.
#include "model_data/ModelFile.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/LibraryManagerApi.h"
#include "model_data/ImplementationData.h"
#include "os/Os.h"
#include "support/FakeHost.h"
#include "support/TextUtils.h"

namespace tolvex {
namespace {

namespace fs = std::filesystem;
using test::TFakeHostExports;

const std::string kDataDir = TOLVEX_TEST_DATA_DIR;
const std::string kModelsDir = kDataDir + "/models";

std::vector<std::string> ReadFixture(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << "fixture missing: " << path;
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string Joined(const std::vector<std::string>& items) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) text += (i == 0 ? "" : "|") + items[i];
  return text;
}

// --- The line rules -------------------------------------------------------------------------------------------

struct TLineCase {
  const char* Name;
  std::string Line;
  const char* Model;
  bool Expected;
};

TEST(ModelFileLines, IsModelLineAcceptsTheKeywordBlanksAndTheNameInAnyCase) {
  const std::vector<TLineCase> cases = {
      {"plain model", ".MODEL D D(IS=1E-14)", "D", true},
      {"lower-case line", ".model d d(is=1e-14)", "D", true},
      {"lower-case name asked for", ".MODEL D D(IS=1E-14)", "d", true},
      {"name at the line's end", ".MODEL D", "D", true},
      {"tabs and blanks before the name", ".MODEL \t  D D", "D", true},
      {"carriage return after the name", ".MODEL D\r", "D", true},
      {"subcircuit", ".SUBCKT OPAMP 1 2 3", "OPAMP", true},
      {"name equal to a keyword's letters", ".SUBCKT CKT A B", "CKT", true},
      {"name S", ".subckt s 1 2", "S", true},
      {"name M", ".MODEL M NMOS(VTO=1)", "M", true},
      {"longer name is another model", ".MODEL DX D", "D", false},
      {"shorter name is another model", ".MODEL D D", "DD", false},
      {"name glued to the keyword", ".MODELD D", "D", false},
      {"keyword of another command", ".SUBCKTX X", "X", false},
      {"other dot command", ".INCLUDE D", "D", false},
      {"the keyword alone", ".MODEL", "MODEL", false},
      {"keyword and blanks only", ".MODEL   ", "D", false},
      {"leading blank", " .MODEL D D", "D", false},
      {"comment", "*.MODEL D D", "D", false},
      {"empty line", "", "D", false},
      {"empty name", ".MODEL D", "", false},
      {"8-bit byte is no blank", ".MODEL\xA0" "D D", "D", false},
      {"8-bit byte after the name", ".MODEL D\xA0", "D", false},
  };
  for (const TLineCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(IsModelLine(c.Line, c.Model), c.Expected) << c.Line;
  }
}

struct TFindCase {
  const char* Name;
  std::vector<std::string> Lines;
  const char* Model;
  int Expected;
};

const std::vector<TFindCase>& FindCases() {
  static const std::vector<TFindCase> cases = {
      {"two definitions: the first wins", {"* lib", ".MODEL D D(IS=1)", ".MODEL D D(IS=2)"}, "d", 1},
      {"model and subcircuit of one name", {".SUBCKT X A B", ".ENDS", ".MODEL X D"}, "X", 0},
      {"not defined", {".MODEL D D", ".SUBCKT E A B", ".ENDS"}, "F", -1},
      {"empty name", {".MODEL D D"}, "", -1},
      {"no lines", {}, "D", -1},
      {"definitions inside a body are local",
       {".SUBCKT OUTER A B", ".MODEL DL D", ".ENDS OUTER", ".MODEL DL D(IS=2)"}, "DL", 3},
      {"nested bodies count their depth",
       {".SUBCKT O A", ".SUBCKT I B", ".ENDS I", ".MODEL DL D", ".ENDS O", ".model dl d"}, "DL", 5},
      {"lower-case .ends closes a body", {".subckt o a", ".model dl d", ".ends", ".MODEL DL D"}, "DL", 3},
      {"only a local definition", {".SUBCKT O A", ".MODEL DL D", ".ENDS"}, "DL", -1},
      {"a stray .ENDS at top level changes nothing", {".ENDS", ".MODEL D D"}, "D", 1},
      {"the subcircuit line itself is top level", {".SUBCKT O A", ".ENDS"}, "O", 0},
      {"a missing .ENDS: a definition anywhere counts", {".SUBCKT O A", "R1 A 0 1", ".MODEL DA D"}, "DA", 2},
      {".ENDSX is no .ENDS", {".SUBCKT O A", ".ENDSX", ".ENDS", ".MODEL D D"}, "D", 3},
      {"a missing .ENDS later: the top-level definition still wins",
       {".SUBCKT O A", ".MODEL DA D", ".ENDS", ".MODEL DA D", ".SUBCKT P B"}, "DA", 3},
      {"a missing .ENDS: the first local definition counts",
       {".SUBCKT O A", ".MODEL DA D", ".SUBCKT P B", ".MODEL DA D"}, "DA", 1},
      {"8-bit letters are not folded", {".MODEL \xE4X D"}, "\xC4x", -1},
      {"8-bit letters as written", {".MODEL \xE4X D"}, "\xE4x", 0},
      {"a name holding a blank", {".MODEL TWO WORDS D", ".MODEL TWO D"}, "two words", 0},
  };
  return cases;
}

TEST(ModelFileLines, FindModelLineTakesTheFirstTopLevelDefinition) {
  for (const TFindCase& c : FindCases()) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(FindModelLine(c.Lines, c.Model), c.Expected);
    // Line ends of a file written on Windows change nothing.
    std::vector<std::string> crlf = c.Lines;
    for (std::string& line : crlf) line += '\r';
    EXPECT_EQ(FindModelLine(crlf, c.Model), c.Expected) << "with CR line ends";
  }
}

std::string LowerCase(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

TEST(ModelFileLines, DefinitionIndexFindsWhatFindModelLineFinds) {
  for (const TFindCase& c : FindCases()) {
    SCOPED_TRACE(c.Name);
    TModelDefinitionIndex index, cut;
    for (const std::string& line : c.Lines) {
      index.Feed(line);
      // A reader may hand over a line that cannot define anything as its first character alone.
      const std::string_view whole = line;
      cut.Feed(whole.empty() || whole[0] == '.' ? whole : whole.substr(0, 1));
    }
    ASSERT_EQ(index.LineCount(), static_cast<std::ptrdiff_t>(c.Lines.size()));
    if (!TModelDefinitionIndex::CanFind(c.Model)) {
      // A name holding a blank is left to the full read, which can match it across a line's items.
      EXPECT_EQ(index.Find(c.Model), -1);
      continue;
    }
    EXPECT_EQ(index.Find(c.Model), c.Expected);
    EXPECT_EQ(cut.Find(c.Model), c.Expected);
  }

  // Every fixture, for every name its definition lines hold at any depth, in lower case, one letter longer and one
  // shorter, and names it does not define.
  for (const std::string& folder : {kModelsDir, kDataDir + "/model-folders"}) {
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
      if (!entry.is_regular_file()) continue;
      SCOPED_TRACE(entry.path().string());
      const std::vector<std::string> lines = ReadFixture(entry.path());
      TModelDefinitionIndex index;
      std::vector<std::string> names = {"NOSUCH", "", "*", ".MODEL"};
      for (const std::string& line : lines) {
        index.Feed(line);
        const std::vector<std::string> items = SplitModelItems(line);
        if (items.size() < 2 || !(SameText(items[0], ".MODEL") || SameText(items[0], ".SUBCKT"))) continue;
        for (const std::string& name : {items[1], LowerCase(items[1]), items[1] + "X", items[1].substr(1)})
          names.push_back(name);
      }
      for (const std::string& name : names) {
        if (!TModelDefinitionIndex::CanFind(name)) continue;
        EXPECT_EQ(index.Find(name), FindModelLine(lines, name)) << name;
      }
    }
  }
}

struct TJoinCase {
  const char* Name;
  std::vector<std::string> Lines;
  int Index;
  std::string Expected;
};

TEST(ModelFileLines, JoinContinuationLinesSwallowsPlusAndEmptyLines) {
  const std::vector<TJoinCase> cases = {
      {"no continuation", {".SUBCKT X A", "R1 A 0 1"}, 0, ".SUBCKT X A"},
      {"one plus line", {".SUBCKT X A", "+ B C"}, 0, ".SUBCKT X A  B C"},
      {"plus glued to the text", {".SUBCKT X A", "+B"}, 0, ".SUBCKT X A B"},
      {"indented plus line", {".SUBCKT X A", "   +B  "}, 0, ".SUBCKT X A B"},
      {"empty lines are passed over", {".SUBCKT X A", "", "  ", "+B"}, 0, ".SUBCKT X A   B"},
      {"a comment ends the join", {".SUBCKT X A", "* note", "+B"}, 0, ".SUBCKT X A"},
      {"plus alone at the end of the file", {".SUBCKT X A", "+"}, 0, ".SUBCKT X A "},
      {"from the middle", {"* c", ".MODEL Q NPN", "+ BF=100", ".END"}, 1, ".MODEL Q NPN  BF=100"},
      {"index past the end", {".MODEL D D"}, 1, ""},
      {"negative index", {".MODEL D D"}, -1, ""},
  };
  for (const TJoinCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(JoinContinuationLines(c.Lines, c.Index), c.Expected);
  }
}

struct TSplitCase {
  const char* Name;
  std::string Text;
  std::string Expected;  // items joined with "|"
};

TEST(ModelFileLines, SplitModelItemsKeepsQuotedStretchesTogether) {
  const std::vector<TSplitCase> cases = {
      {"blanks and runs of blanks", "  A  B C ", "A|B|C"},
      {"tabs and other control characters", "A\tB\r\nC", "A|B|C"},
      {"double quotes", "S=\"a b\" T", "S=\"a b\"|T"},
      {"single quotes", "G='1 + 2'", "G='1 + 2'"},
      {"quote inside an item", "X=a'b c'd e", "X=a'b c'd|e"},
      {"other quote inside a quote", "\"it's\" x", "\"it's\"|x"},
      {"unterminated quote runs to the end", "A \"b c d", "A|\"b c d"},
      {"braces", "R={1K * 2} T", "R={1K * 2}|T"},
      {"nested braces", "R={A * {B + C}} D", "R={A * {B + C}}|D"},
      {"brace alone after a blank", "R = { 1 + 2 } X", "R|=|{ 1 + 2 }|X"},
      {"unterminated brace runs to the end", "A {b c d", "A|{b c d"},
      {"closing brace alone is text", "A } B", "A|}|B"},
      {"8-bit bytes are text", "\xE4 \xFF\xFE", "\xE4|\xFF\xFE"},
      {"empty", "", ""},
      {"blanks only", " \t ", ""},
  };
  for (const TSplitCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(Joined(SplitModelItems(c.Text)), c.Expected);
  }
}

struct THeaderCase {
  const char* Name;
  std::string Definition;
  std::string Ports;
  bool HasParameters;
  std::string Parameters;
};

TEST(ModelFileLines, ReadSubcircuitHeaderEndsThePortsAtPARAMS) {
  const std::vector<THeaderCase> cases = {
      {"five ports and a parameter", ".SUBCKT OPAMP 1 2 3 4 5 PARAMS: GAIN=1E5", "1|2|3|4|5", true, "GAIN=1E5"},
      {"no parameters", ".SUBCKT X A B", "A|B", false, ""},
      {"no ports", ".SUBCKT X PARAMS: G=1", "", true, "G=1"},
      {"lower-case params:", ".subckt x a b params: g=1 h=2", "a|b", true, "g=1|h=2"},
      {"name glued to PARAMS:", ".SUBCKT X A PARAMS:GAIN=1E5 R=2", "A", true, "GAIN=1E5|R=2"},
      {"PARAMS: with nothing after it", ".SUBCKT X A PARAMS:", "A", true, ""},
      {"assignments without PARAMS: are no ports", ".SUBCKT X A B R=1", "A|B", false, ""},
      {"PARAMS: after a bare assignment", ".SUBCKT X A R=1 PARAMS: G=2", "A", true, "G=2"},
      {"quoted parameter", ".SUBCKT X A PARAMS: S=\"a b\" T=1", "A", true, "S=\"a b\"|T=1"},
      {"quoted PARAMS: text is no keyword", ".SUBCKT X A \"PARAMS: no\" PARAMS: G=1", "A|\"PARAMS: no\"", true,
       "G=1"},
      {"the keyword alone", ".SUBCKT", "", false, ""},
  };
  for (const THeaderCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TSubcircuitHeader header = ReadSubcircuitHeader(c.Definition);
    EXPECT_EQ(Joined(header.Ports), c.Ports);
    ASSERT_EQ(header.Parameters.has_value(), c.HasParameters);
    if (c.HasParameters) {
      EXPECT_EQ(Joined(*header.Parameters), c.Parameters);
    }
  }
}

struct TVendorCase {
  const char* Name;
  std::vector<std::string> Lines;  // the definition and its continuation lines
  std::string Ports;
  bool HasParameters;
  std::string Parameters;
};

// Definitions as vendors' model libraries write them, read from the joined definition as TModelFile reads them.
TEST(ModelFileLines, ReadSubcircuitHeaderReadsVendorDefinitions) {
  const std::vector<TVendorCase> cases = {
      {"optional power pins end the ports",
       {".SUBCKT 74HC00 A B Y", "+ OPTIONAL: DPWR=$G_DPWR DGND=$G_DGND", "+ PARAMS: MNTYMXDLY=0 IO_LEVEL=0"}, "A|B|Y",
       true, "MNTYMXDLY=0|IO_LEVEL=0"},
      {"optional: in lower case", {".subckt 74hc04 a y", "+ optional: dpwr=$g_dpwr dgnd=$g_dgnd"}, "a|y", false, ""},
      {"OPTIONAL: glued to its first pin", {".SUBCKT G A Y OPTIONAL:DPWR=$G_DPWR DGND=$G_DGND"}, "A|Y", false, ""},
      {"optional pins after the parameters", {".SUBCKT G A PARAMS: D=1 OPTIONAL: DPWR=$G_DPWR"}, "A", true, "D=1"},
      {"blanks around =", {".SUBCKT NCH D G S B PARAMS: WW = 10U LW = 100U"}, "D|G|S|B", true, "WW=10U|LW=100U"},
      {"a blank on one side of =", {".SUBCKT NCH D G PARAMS: NF= 1 MULT =1", "+ AD =2P"}, "D|G", true,
       "NF=1|MULT=1|AD=2P"},
      {"an expression in braces", {".SUBCKT R2 A B PARAMS: R = {1K * (1 + TC * (TEMP - 27))} TC=0.01"}, "A|B", true,
       "R={1K * (1 + TC * (TEMP - 27))}|TC=0.01"},
      {"a quoted value after a blank", {".SUBCKT F O PARAMS: FILE = \"a b.txt\""}, "O", true, "FILE=\"a b.txt\""},
      {"text parameters are no parameters", {".SUBCKT F O PARAMS: G=1 TEXT: FILE=\"in.txt\""}, "O", true, "G=1"},
      {"an assignment with blanks ends the ports", {".subckt res a b r = 1k"}, "a|b", false, ""},
      {"a name without a value stays as it is", {".SUBCKT X A PARAMS: GAIN G2 = 1"}, "A", true, "GAIN|G2=1"},
      {"= at the end", {".SUBCKT X A PARAMS: G ="}, "A", true, "G="},
      {"two PARAMS: sections", {".SUBCKT X A PARAMS: G=1", "+ PARAMS: H = 2"}, "A", true, "G=1|H=2"},
  };
  for (const TVendorCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TSubcircuitHeader header = ReadSubcircuitHeader(JoinContinuationLines(c.Lines, 0));
    EXPECT_EQ(Joined(header.Ports), c.Ports);
    ASSERT_EQ(header.Parameters.has_value(), c.HasParameters);
    if (c.HasParameters) {
      EXPECT_EQ(Joined(*header.Parameters), c.Parameters);
    }
  }
}

// --- A fake manager ---------------------------------------------------------------------------------------------

// Answers every search with Path and FoundIn (or Status) and records the arguments it was given.
class FakeLibraryManager final
    : public test::TFakeInterface<IIntegratedLibraryManager, IID_IIntegratedLibraryManager> {
 public:
  FakeLibraryManager() : TFakeInterface("FakeLibraryManager") {}

  struct TCall {
    std::string Operation;
    std::vector<std::string> Arguments;
  };
  std::vector<TCall> Calls;
  std::string Path;
  std::string FoundIn;
  HRESULT32 Status = S_OK32;
  // Cuts an answer that does not fit at the buffer's end without saying so, as a careless manager would.
  bool CutSilently = false;

  HRESULT32 TOLVEX_STDCALL SearchLibraryModel(std::int32_t reserved, const char* modelName, const char* modelType,
                                              const char* libraryReference, const char* sourceLibraryName,
                                              char* path, std::int32_t pathSize, char* foundIn,
                                              std::int32_t foundInSize) override {
    Calls.push_back({"SearchLibraryModel",
                     {std::to_string(reserved), modelName, modelType, libraryReference, sourceLibraryName,
                      std::to_string(pathSize), std::to_string(foundInSize)}});
    return Answer(path, pathSize, foundIn, foundInSize);
  }
  HRESULT32 TOLVEX_STDCALL SearchModelFile(const char* modelName, const char* kind, const char* location, char* path,
                                           std::int32_t pathSize, char* foundIn, std::int32_t foundInSize) override {
    Calls.push_back(
        {"SearchModelFile", {modelName, kind, location, std::to_string(pathSize), std::to_string(foundInSize)}});
    return Answer(path, pathSize, foundIn, foundInSize);
  }

 private:
  static void Cut(const std::string& text, char* buffer, std::int32_t size) {
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
  }
  HRESULT32 Answer(char* path, std::int32_t pathSize, char* foundIn, std::int32_t foundInSize) {
    if (CutSilently) {
      Cut(Path, path, pathSize);
      Cut(FoundIn, foundIn, foundInSize);
      return S_OK32;
    }
    if (!CopyLibraryText(Path, path, pathSize) || !CopyLibraryText(FoundIn, foundIn, foundInSize)) {
      CopyLibraryText({}, path, pathSize);
      CopyLibraryText({}, foundIn, foundInSize);
      return kLibraryTextTooLong;
    }
    return Status;
  }
};

FakeLibraryManager* CurrentManager = nullptr;

IIntegratedLibraryManager* TOLVEX_STDCALL ProvideFakeManager() {
  if (CurrentManager) CurrentManager->AddRef();
  return CurrentManager;
}

std::vector<std::string> Ports(const TModelFile& file) {
  std::vector<std::string> ports;
  for (int i = 0; i < file.PortCount(); ++i) ports.push_back(file.Port(i));
  return ports;
}

std::vector<std::string> ParameterNames(const TModelFile& file) {
  std::vector<std::string> names;
  for (int i = 0; i < file.ParameterCount(); ++i) names.push_back(file.ParameterName(i));
  return names;
}

int CallsTo(const TFakeHostExports& host, const char* exportName) {
  return static_cast<int>(host.CallsTo(exportName).size());
}

// The fake host with in-memory files at Windows-style paths (which no disk stamp reaches, so nothing is cached)
// and the fake manager through the seam.
class ModelFile : public ::testing::Test {
 protected:
  ModelFile() {
    ClearModelFileCache();
    CurrentManager = &Manager;
    SetLibraryManagerProvider(&ProvideFakeManager);
  }
  ~ModelFile() override {
    SetLibraryManagerProvider(nullptr);
    SetModelFileStampProvider(nullptr);
    CurrentManager = nullptr;
    ClearModelFileCache();
  }

  // Puts a fixture of tests/data/models into the host at C:\Models\<name> and lets the manager answer it.
  std::string Offer(const std::string& fixture) {
    const std::string path = "C:\\Models\\" + fixture;
    Host.Files[path] = ReadFixture(kModelsDir + "/" + fixture);
    Manager.Path = Manager.FoundIn = path;
    return path;
  }
  std::string Offer(const std::string& name, std::vector<std::string> lines) {
    const std::string path = "C:\\Models\\" + name;
    Host.Files[path] = std::move(lines);
    Manager.Path = Manager.FoundIn = path;
    return path;
  }

  // Declared first: the manager outlives the host binding, and both outlive every model file of a test.
  FakeLibraryManager Manager;
  TFakeHostExports Host;
};

struct TFixtureCase {
  const char* Name;
  const char* Fixture;
  const char* Model;
  bool Subcircuit;
  std::string Ports;       // joined with "|"
  std::string Parameters;  // parameter names joined with "|"
};

TEST_F(ModelFile, ReadsModelsAndSubcircuitsFromFixtures) {
  const std::vector<TFixtureCase> cases = {
      {"plain model named like its keyword", "plain.mdl", "d", false, "", ""},
      {"five ports and PARAMS:", "opamp.ckt", "OPAMP", true, "INP|INN|VCC|VEE|OUT", "GAIN"},
      {"ports and parameters on + lines", "continued.ckt", "amp2", true, "IN|OUT|VCC|VEE", "GAIN|RIN|ROUT"},
      {"top-level model after a local one", "nested.lib", "DLOCAL", false, "", ""},
      {"top-level subcircuit after a local one", "nested.lib", "INNER", true, "P|Q|R", "TOP"},
      {"definition after a missing .ENDS", "unclosed.lib", "DAFTER", false, "", ""},
      {"binary bytes", "binary.mdl", "BIN", true, "A\x80|B", "G"},
      {"very long lines", "long-line.ckt", "LONG", true, "", "G"},
      {"unterminated quote", "unterminated-quote.ckt", "QUOTED", true, "A|B", "LABEL"},
      {"+ as the file's last line", "continuation-at-end.ckt", "ATEND", true, "A|B|C", "X"},
      {"vendor gate with optional power pins", "vendor-digital.lib", "74HC00", true, "A|B|Y", "MNTYMXDLY|IO_LEVEL"},
      {"vendor gate in lower case", "vendor-digital.lib", "74HC04", true, "a|y", "mntymxdly|io_level"},
      {"vendor MOS macro with blanks around =", "vendor-mos.lib", "NCH_MAC", true, "D|G|S|B", "WW|LW|NF|MULT|RDS"},
  };
  for (const TFixtureCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string path = Offer(c.Fixture);
    const TModelFile file("", c.Subcircuit ? "CKT" : "MDL", "", "", false, c.Model);
    ASSERT_NE(file.Lines(), nullptr);
    EXPECT_EQ(*file.Lines(), Host.Files[path]);
    EXPECT_EQ(file.ModelName(), c.Model);
    EXPECT_EQ(file.IsSubcircuit(), c.Subcircuit);
    if (std::string(c.Fixture) == "long-line.ckt") {
      EXPECT_EQ(file.PortCount(), 5000);
      EXPECT_EQ(file.Port(4999), "P4999");
    } else {
      EXPECT_EQ(Joined(Ports(file)), c.Ports);
    }
    EXPECT_EQ(Joined(ParameterNames(file)), c.Parameters);
  }
}

TEST_F(ModelFile, BinaryFixtureNamesItsParameterWithoutTheBytesAfterIt) {
  Offer("binary.mdl");
  const TModelFile file("", "CKT", "", "", false, "BIN");
  // "G=\x01\xFF": the control byte separates like a blank, so the byte 0xFF is the value of G, as in "G= 1".
  EXPECT_EQ(file.ParameterCount(), 1);
  EXPECT_EQ(file.ParameterName(0), "G");
  EXPECT_EQ(file.ParameterName(1), "");
  EXPECT_TRUE(file.HasParameter("g"));
}

TEST_F(ModelFile, QuotedParameterItemRunsToTheDefinitionsEnd) {
  Offer("unterminated-quote.ckt");
  const TModelFile file("", "CKT", "", "", false, "QUOTED");
  ASSERT_EQ(file.ParameterCount(), 1);
  EXPECT_FALSE(file.HasParameter("GAIN"));
  EXPECT_FALSE(file.HasParameter("TAIL"));
}

struct TInlineCase {
  const char* Name;
  std::vector<std::string> Lines;
  const char* Model;
  bool Subcircuit;
  std::string Ports;
  std::string Parameters;
};

TEST_F(ModelFile, SubcircuitLinesAsWritten) {
  const std::vector<TInlineCase> cases = {
      {"lower-case params: ends the ports too", {".subckt amp a b c params: gain=2"}, "AMP", true, "a|b|c", "gain"},
      {"PARAMS: glued to the first name", {".SUBCKT AMP A B PARAMS:GAIN=1E5 RIN=1K"}, "AMP", true, "A|B",
       "GAIN|RIN"},
      {"PARAMS: only on a + line", {".SUBCKT AMP A B", "+ PARAMS: GAIN=3"}, "AMP", true, "A|B", "GAIN"},
      {"two definitions: the first wins", {".SUBCKT AMP A PARAMS: FIRST=1", ".ENDS", ".SUBCKT AMP B C", ".ENDS"},
       "AMP", true, "A", "FIRST"},
      {"a model line that mentions .SUBCKT", {".MODEL Q1 NPN(BF=100) ; not a .SUBCKT"}, "Q1", false, "", ""},
      {"parameter without a default", {".SUBCKT AMP A PARAMS: GAIN G2=1"}, "AMP", true, "A", "|G2"},
      {"subcircuit without ports or parameters", {".SUBCKT EMPTY", ".ENDS"}, "EMPTY", true, "", ""},
  };
  for (const TInlineCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Offer("inline.lib", c.Lines);
    const TModelFile file("", "CKT", "", "", false, c.Model);
    EXPECT_EQ(file.IsSubcircuit(), c.Subcircuit);
    EXPECT_EQ(Joined(Ports(file)), c.Ports);
    EXPECT_EQ(Joined(ParameterNames(file)), c.Parameters);
  }
}

TEST_F(ModelFile, FileWithoutTheModelKeepsItsLinesAndNothingElse) {
  Offer("opamp.ckt");
  const TModelFile file("", "CKT", "", "", false, "MISSING");
  ASSERT_NE(file.Lines(), nullptr);
  EXPECT_FALSE(file.Lines()->empty());
  EXPECT_EQ(file.ModelName(), "MISSING");
  EXPECT_FALSE(file.IsSubcircuit());
  EXPECT_EQ(file.PortCount(), 0);
  EXPECT_EQ(file.ParameterCount(), 0);
}

TEST_F(ModelFile, IndexedAccessOutOfRangeIsEmpty) {
  Offer("opamp.ckt");
  const TModelFile file("", "CKT", "", "", false, "OPAMP");
  EXPECT_EQ(file.Port(-1), "");
  EXPECT_EQ(file.Port(5), "");
  EXPECT_EQ(file.ParameterName(-1), "");
  EXPECT_EQ(file.ParameterName(1), "");
  EXPECT_TRUE(file.HasParameter("gain"));
  EXPECT_FALSE(file.HasParameter("GAI"));
  EXPECT_FALSE(file.HasParameter(""));
}

TEST_F(ModelFile, ModelFileSearchPassesNameKindAndLocation) {
  Offer("opamp.ckt");
  Manager.FoundIn = "C:\\Libraries\\Amplifiers.IntLib";
  const TModelFile file("amps.ckt", "CKT", "Amplifiers.SchLib", "LM-X", false, "OPAMP");
  ASSERT_EQ(Manager.Calls.size(), 1u);
  EXPECT_EQ(Manager.Calls[0].Operation, "SearchModelFile");
  EXPECT_EQ(Manager.Calls[0].Arguments, (std::vector<std::string>{"OPAMP", "CKT", "amps.ckt", "4096", "4096"}));
  EXPECT_EQ(file.ModelPath(), "C:\\Models\\opamp.ckt");
  EXPECT_EQ(file.FoundFile(), "C:\\Libraries\\Amplifiers.IntLib");
  EXPECT_EQ(file.FoundFileName(), "Amplifiers.IntLib");
  EXPECT_EQ(Manager.References(), 0) << "the manager's reference is given back";
}

TEST_F(ModelFile, LibraryModelSearchPassesTheComponentsLibrary) {
  Offer("opamp.ckt");
  const TModelFile file("ignored.ckt", "CKT", "Amplifiers.SchLib", "LM-X", true, "OPAMP");
  ASSERT_EQ(Manager.Calls.size(), 1u);
  EXPECT_EQ(Manager.Calls[0].Operation, "SearchLibraryModel");
  EXPECT_EQ(Manager.Calls[0].Arguments,
            (std::vector<std::string>{"0", "OPAMP", "SIM", "LM-X", "Amplifiers.SchLib", "4096", "4096"}));
  EXPECT_TRUE(file.IsSubcircuit());
  EXPECT_EQ(Manager.References(), 0);
}

struct TNotFoundCase {
  const char* Name;
  std::function<void(FakeLibraryManager&, TFakeHostExports&)> Arrange;
  bool AsksTheHost;  // whether the host is asked whether the answered path exists
};

TEST_F(ModelFile, WhatCannotBeFoundOrReadLeavesNoLines) {
  const std::vector<TNotFoundCase> cases = {
      {"no manager", [](FakeLibraryManager&, TFakeHostExports&) { CurrentManager = nullptr; }, false},
      {"manager finds nothing", [](FakeLibraryManager& m, TFakeHostExports&) { m.Path = m.FoundIn = ""; }, false},
      {"manager fails", [](FakeLibraryManager& m, TFakeHostExports&) { m.Status = E_UNEXPECTED32; }, false},
      {"answer too long for the buffer",
       [](FakeLibraryManager& m, TFakeHostExports&) { m.Path = "C:\\" + std::string(5000, 'x'); }, false},
      {"answer cut silently at the buffer's end",
       [](FakeLibraryManager& m, TFakeHostExports&) {
         m.Path = "C:\\" + std::string(5000, 'x');
         m.CutSilently = true;
       },
       false},
      {"answered path does not exist",
       [](FakeLibraryManager& m, TFakeHostExports&) { m.Path = "C:\\Models\\gone.ckt"; }, true},
      {"host cannot open the file",
       [](FakeLibraryManager&, TFakeHostExports& h) {
         h.Missing.push_back("VFSAPI_VFSAssign");
         h.Rebind();
       },
       true},
  };
  for (const TNotFoundCase& c : cases) {
    SCOPED_TRACE(c.Name);
    FakeLibraryManager manager;
    CurrentManager = &manager;
    {
      TFakeHostExports& host = Host;
      host.Files.clear();
      host.Calls.clear();
      host.Files["C:\\Models\\opamp.ckt"] = ReadFixture(kModelsDir + "/opamp.ckt");
      manager.Path = manager.FoundIn = "C:\\Models\\opamp.ckt";
      c.Arrange(manager, host);
      const TModelFile file("", "CKT", "", "", false, "OPAMP");
      EXPECT_EQ(file.Lines(), nullptr);
      EXPECT_EQ(file.ModelName(), "");
      EXPECT_FALSE(file.IsSubcircuit());
      EXPECT_EQ(file.PortCount(), 0);
      EXPECT_EQ(CallsTo(host, "VFSAPI_VFS_FileExists") > 0, c.AsksTheHost);
      EXPECT_EQ(host.OpenTextFiles, 0);
      host.Missing.clear();
      host.Rebind();
    }
    CurrentManager = &Manager;
    EXPECT_EQ(manager.References(), 0);
  }
}

// --- The cache of read files ------------------------------------------------------------------------------------

std::map<std::string, TModelFileStamp> Stamps;

bool FakeStamp(const std::string& path, TModelFileStamp& stamp) {
  auto it = Stamps.find(path);
  if (it == Stamps.end()) return false;
  stamp = it->second;
  return true;
}

TEST_F(ModelFile, SecondLookUpOfAnUnchangedFileDoesNotReadItAgain) {
  SetModelFileStampProvider(&FakeStamp);
  const std::string path = Offer("opamp.ckt");
  Stamps = {{path, {151, 1000}}};

  const TModelFile first("", "CKT", "", "", false, "OPAMP");
  const TModelFile second("", "CKT", "", "", false, "OPAMP");
  EXPECT_EQ(CallsTo(Host, "VFSAPI_VFSAssign"), 1);
  // The host is still asked whether the file exists: a deleted file is not served from memory.
  EXPECT_EQ(CallsTo(Host, "VFSAPI_VFS_FileExists"), 2);
  ASSERT_NE(second.Lines(), nullptr);
  EXPECT_EQ(*second.Lines(), *first.Lines());
  EXPECT_EQ(Joined(Ports(second)), "INP|INN|VCC|VEE|OUT");

  SCOPED_TRACE("a changed modification time reads the file again");
  Stamps[path].Time = 2000;
  Host.Files[path][1] = ".SUBCKT OPAMP A B PARAMS: GAIN=1";
  const TModelFile changed("", "CKT", "", "", false, "OPAMP");
  EXPECT_EQ(CallsTo(Host, "VFSAPI_VFSAssign"), 2);
  EXPECT_EQ(Joined(Ports(changed)), "A|B");
  EXPECT_EQ(Joined(Ports(first)), "INP|INN|VCC|VEE|OUT") << "a file read before keeps its lines";

  SCOPED_TRACE("a changed size reads it again");
  Stamps[path].Size = 999;
  const TModelFile resized("", "CKT", "", "", false, "OPAMP");
  EXPECT_EQ(CallsTo(Host, "VFSAPI_VFSAssign"), 3);
}

TEST_F(ModelFile, FileWithoutAStampIsReadEveryTime) {
  SetModelFileStampProvider(&FakeStamp);
  Stamps.clear();
  Offer("opamp.ckt");
  const TModelFile first("", "CKT", "", "", false, "OPAMP");
  const TModelFile second("", "CKT", "", "", false, "OPAMP");
  EXPECT_EQ(CallsTo(Host, "VFSAPI_VFSAssign"), 2);
}

TEST_F(ModelFile, DeletedFileIsNotServedFromTheCache) {
  SetModelFileStampProvider(&FakeStamp);
  const std::string path = Offer("opamp.ckt");
  Stamps = {{path, {151, 1000}}};
  { const TModelFile first("", "CKT", "", "", false, "OPAMP"); }
  Host.Files.erase(path);
  const TModelFile gone("", "CKT", "", "", false, "OPAMP");
  EXPECT_EQ(gone.Lines(), nullptr);
}

TEST_F(ModelFile, StampOfTheFileOnDiskDecidesWhetherToReadAgain) {
  // The host reads the in-memory copy; the stamp comes from the real file at the same path.
  const fs::path disk = fs::temp_directory_path() / ("tolvex-modelfile-" + std::to_string(::getpid()) + ".ckt");
  {
    std::ofstream out(disk);
    out << ".SUBCKT OPAMP A B\n";
  }
  const std::string path = disk.string();
  Host.Files[path] = {".SUBCKT OPAMP A B"};
  Manager.Path = Manager.FoundIn = path;

  { const TModelFile first("", "CKT", "", "", false, "OPAMP"); }
  { const TModelFile second("", "CKT", "", "", false, "OPAMP"); }
  EXPECT_EQ(CallsTo(Host, "VFSAPI_VFSAssign"), 1);

  {
    std::ofstream out(disk, std::ios::app);
    out << "+ C D\n";
  }
  Host.Files[path].push_back("+ C D");
  const TModelFile grown("", "CKT", "", "", false, "OPAMP");
  EXPECT_EQ(CallsTo(Host, "VFSAPI_VFSAssign"), 2);
  EXPECT_EQ(Joined(Ports(grown)), "A|B|C|D");
  fs::remove(disk);
}

struct TRepeatCase {
  const char* Fixture;
  const char* Model;
};

TEST_F(ModelFile, LookUpsInAFileReadBeforeFindWhatTheFirstReadFound) {
  SetModelFileStampProvider(&FakeStamp);
  const std::vector<TRepeatCase> cases = {
      {"nested.lib", "DLOCAL"},     {"nested.lib", "inner"},       {"nested.lib", "DINSIDE"},
      {"nested.lib", "OUTER"},      {"unclosed.lib", "DAFTER"},    {"unclosed.lib", "BROKEN"},
      {"opamp.ckt", "opamp"},       {"opamp.ckt", "MISSING"},      {"vendor-digital.lib", "74HC04"},
      {"binary.mdl", "BIN"},        {"continued.ckt", "AMP2"},     {"long-line.ckt", "LONG"},
  };
  for (const TRepeatCase& c : cases) {
    SCOPED_TRACE(std::string(c.Fixture) + " " + c.Model);
    ClearModelFileCache();
    Host.Calls.clear();
    const std::string path = Offer(c.Fixture);
    Stamps = {{path, {1, 1000}}};
    const TModelFile first("", "CKT", "", "", false, c.Model);
    // The second look-up gathers the file's definitions, the third finds the name among them.
    for (int again = 0; again < 2; ++again) {
      const TModelFile later("", "CKT", "", "", false, c.Model);
      EXPECT_EQ(later.IsSubcircuit(), first.IsSubcircuit());
      EXPECT_EQ(Ports(later), Ports(first));
      EXPECT_EQ(ParameterNames(later), ParameterNames(first));
    }
    EXPECT_EQ(CallsTo(Host, "VFSAPI_VFSAssign"), 1);
  }
}

// --- The implementation's model file ------------------------------------------------------------------------------

struct TModelRequest {
  std::string Model;
  std::string Location;
  bool UseLibraryModel;
  bool IsSubcircuit;
};

struct TRequestCase {
  const char* Name;
  TModelRequest First;
  TModelRequest Second;
  bool Found;         // whether the manager finds the file
  bool LooksUpAgain;  // whether the second request asks the manager again
};

TEST_F(ModelFile, ImplementationKeepsTheFileFoundForTheSameRequest) {
  const std::string fullPath = "C:\\Models\\opamp.ckt";
  const std::vector<TRequestCase> cases = {
      {"the location Any, asked again", {"OPAMP", "", false, true}, {"OPAMP", "", false, true}, true, false},
      {"a full path, asked again", {"OPAMP", fullPath, false, true}, {"OPAMP", fullPath, false, true}, true, false},
      {"the component's library, asked again", {"OPAMP", "", true, true}, {"OPAMP", "", true, true}, true, false},
      {"a file name, asked again", {"OPAMP", "opamp.ckt", false, true}, {"OPAMP", "opamp.ckt", false, true}, true,
       false},
      {"another model name", {"OPAMP", "", false, true}, {"OPAMP2", "", false, true}, true, true},
      {"the name in another letter case", {"OPAMP", "", false, true}, {"opamp", "", false, true}, true, true},
      {"another location", {"OPAMP", "opamp.ckt", false, true}, {"OPAMP", "", false, true}, true, true},
      {"the library flag", {"OPAMP", "", false, true}, {"OPAMP", "", true, true}, true, true},
      {"the kind", {"OPAMP", "opamp.ckt", false, true}, {"OPAMP", "opamp.ckt", false, false}, true, true},
      {"nothing found, asked again", {"OPAMP", "", false, true}, {"OPAMP", "", false, true}, false, true},
  };
  for (const TRequestCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Offer("opamp.ckt");
    if (!c.Found) Manager.Path = Manager.FoundIn = "";
    TImplementationData data(0, 0);
    data.LoadModelFile(c.First.Model, c.First.Location, c.First.UseLibraryModel, c.First.IsSubcircuit);
    const TModelFile* first = data.ModelFile();
    Manager.Calls.clear();
    data.LoadModelFile(c.Second.Model, c.Second.Location, c.Second.UseLibraryModel, c.Second.IsSubcircuit);
    EXPECT_EQ(Manager.Calls.size(), c.LooksUpAgain ? 1u : 0u);
    if (!c.LooksUpAgain) {
      EXPECT_EQ(data.ModelFile(), first);
    } else if (!Manager.Calls.empty()) {
      const std::vector<std::string>& asked = Manager.Calls[0].Arguments;
      const std::string& model = Manager.Calls[0].Operation == "SearchLibraryModel" ? asked[1] : asked[0];
      EXPECT_EQ(model, c.Second.Model) << "the second request is the one asked";
    }
  }
}

// --- The library manager stand-in -------------------------------------------------------------------------------

// The module is built with the stand-ins only; a build of the core and its unit tests alone has none of these.
#ifdef TOLVEX_QUILLFOLD_PATH

using TFolderFunc = void(TOLVEX_STDCALL*)(const char*);
using TClearFunc = void(TOLVEX_STDCALL*)();

// The real Quillfold.dll, loaded as a host would load it, so that the binding finds it among the loaded modules;
// its searches run over tests/data/models.
class LibraryManagerStandIn : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearModelFileCache();
    unsetenv("TOLVEX_MODEL_PATH");
    FModule = os::LoadModule(TOLVEX_QUILLFOLD_PATH);
    ASSERT_NE(FModule, nullptr);
    FAddFolder = reinterpret_cast<TFolderFunc>(os::FindExport(FModule, "Quillfold_AddModelFolder"));
    auto clear = reinterpret_cast<TClearFunc>(os::FindExport(FModule, "Quillfold_ClearModelFolders"));
    ASSERT_NE(FAddFolder, nullptr);
    ASSERT_NE(clear, nullptr);
    clear();
    FAddFolder(kModelsDir.c_str());
  }
  void TearDown() override {
    unsetenv("TOLVEX_MODEL_PATH");
    ClearModelFileCache();
    if (FModule) {
      reinterpret_cast<TClearFunc>(os::FindExport(FModule, "Quillfold_ClearModelFolders"))();
      os::ReleaseModule(FModule);
    }
  }

  static std::string Relative(const std::string& path) {
    const std::string prefix = kModelsDir + "/";
    return path.rfind(prefix, 0) == 0 ? path.substr(prefix.size()) : path;
  }

  os::TModuleHandle FModule = nullptr;
  TFolderFunc FAddFolder = nullptr;
};

struct TSearchCase {
  const char* Name;
  std::string Location;
  const char* Kind;
  const char* Model;
  std::string Expected;  // below tests/data/models; empty for not found
};

TEST_F(LibraryManagerStandIn, ModelFileSearchFollowsTheDocumentedRules) {
  const std::vector<TSearchCase> cases = {
      {"anywhere: first file in name order", "", "MDL", "DUP", "a_first.mdl"},
      {"anywhere: lower-case definition", "", "MDL", "ONLYB", "b_second.mdl"},
      {"anywhere: subcircuit in a .lib", "", "CKT", "inner", "nested.lib"},
      {"anywhere: a local definition is not enough", "", "MDL", "DINSIDE", ""},
      {"anywhere: defined nowhere", "", "MDL", "NOSUCH", ""},
      {"anywhere: not a model file by its extension", "", "MDL", "NOTAMODELFILE", ""},
      {"anywhere: libraries' folders are not searched", "", "MDL", "DSHARED", ""},
      {"file name", "b_second.mdl", "MDL", "DUP", "b_second.mdl"},
      {"file name in another letter case", "B_SECOND.MDL", "MDL", "DUP", "b_second.mdl"},
      {"file name without the kind's extension", "opamp", "CKT", "OPAMP", "opamp.ckt"},
      {"file name that does not define the model", "plain.mdl", "MDL", "OPAMP", "plain.mdl"},
      {"file name that no folder holds", "absent.mdl", "MDL", "D", ""},
      {"relative path below a model folder", "Parts.IntLib/shared.mdl", "MDL", "DSHARED", "Parts.IntLib/shared.mdl"},
      {"full path", kModelsDir + "/opamp.ckt", "CKT", "OPAMP", "opamp.ckt"},
      {"full path that does not exist", kModelsDir + "/absent.ckt", "CKT", "OPAMP", ""},
      {"drive path of another machine", "C:\\Models\\opamp.ckt", "CKT", "OPAMP", ""},
      {"path of the host's virtual file system", "vfs://models/opamp.ckt", "CKT", "OPAMP", "vfs://models/opamp.ckt"},
  };
  auto manager = GetLibraryManager();
  ASSERT_TRUE(manager) << "the binding finds the loaded module";
  for (const TSearchCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TModelSearchResult found = SearchModelFile(*manager.Get(), c.Model, c.Kind, c.Location);
    EXPECT_EQ(Relative(found.Path), c.Expected);
    EXPECT_EQ(found.FoundIn, found.Path);
  }
}

struct TLibraryCase {
  const char* Name;
  const char* Model;
  const char* LibraryReference;
  const char* SourceLibrary;
  std::string Expected;
};

TEST_F(LibraryManagerStandIn, LibraryModelSearchLooksInTheComponentsOwnFolderFirst) {
  const std::vector<TLibraryCase> cases = {
      {"component's own model", "QPART", "QPART", "Parts.SchLib", "Parts.IntLib/QPART/QPART.mdl"},
      {"library folder named by the source library", "QPART", "QPART", "parts.intlib", "Parts.IntLib/QPART/QPART.mdl"},
      {"shared model of the library", "DSHARED", "QPART", "Parts.SchLib", "Parts.IntLib/shared.mdl"},
      {"no library reference: the shared files only", "QPART", "", "Parts.SchLib", "Parts.IntLib/shared.mdl"},
      {"model of another library", "OPAMP", "QPART", "Parts.SchLib", ""},
      {"library that does not exist", "QPART", "QPART", "Other.SchLib", ""},
      {"no source library", "QPART", "QPART", "", ""},
  };
  auto manager = GetLibraryManager();
  ASSERT_TRUE(manager);
  for (const TLibraryCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TModelSearchResult found = SearchLibraryModel(*manager.Get(), c.Model, "SIM", c.LibraryReference,
                                                        c.SourceLibrary);
    EXPECT_EQ(Relative(found.Path), c.Expected);
    EXPECT_EQ(Relative(found.FoundIn), c.Expected.empty() ? "" : "Parts.IntLib");
  }
}

TEST_F(LibraryManagerStandIn, FoldersAreSearchedInOrderAddedFoldersBeforeTheEnvironment) {
  const fs::path early = fs::temp_directory_path() / ("tolvex-models-" + std::to_string(::getpid()));
  fs::create_directories(early);
  {
    std::ofstream(early / "zz.mdl") << ".MODEL DUP D(IS=7E-15)\n";
  }
  auto manager = GetLibraryManager();
  ASSERT_TRUE(manager);

  setenv("TOLVEX_MODEL_PATH", (":" + early.string() + ":").c_str(), 1);
  EXPECT_EQ(Relative(SearchModelFile(*manager.Get(), "DUP", "MDL", "").Path), "a_first.mdl")
      << "the added folder comes before the environment's";

  unsetenv("TOLVEX_MODEL_PATH");
  reinterpret_cast<TClearFunc>(os::FindExport(FModule, "Quillfold_ClearModelFolders"))();
  FAddFolder(early.string().c_str());
  FAddFolder(kModelsDir.c_str());
  EXPECT_EQ(SearchModelFile(*manager.Get(), "DUP", "MDL", "").Path, (early / "zz.mdl").string())
      << "an earlier folder wins over a file earlier in name order";
  fs::remove_all(early);
}

TEST_F(LibraryManagerStandIn, ModelFileReadsWhatTheStandInFinds) {
  TFakeHostExports host;
  host.Files[kModelsDir + "/continued.ckt"] = ReadFixture(kModelsDir + "/continued.ckt");
  const TModelFile file("", "CKT", "", "", false, "AMP2");
  EXPECT_EQ(file.FoundFileName(), "continued.ckt");
  EXPECT_TRUE(file.IsSubcircuit());
  EXPECT_EQ(file.PortCount(), 4);
  EXPECT_TRUE(file.HasParameter("ROUT"));
}

// A FIFO with a writer held open and a line already in it: a reader that opened it the way a regular file is opened
// would neither wait nor block, and would find the definition. The first read takes the line, so each look is at a
// FIFO of its own; then nothing here can hang a test.
class TFifoWithWriter {
 public:
  TFifoWithWriter(const fs::path& path, const std::string& text) : FPath(path) {
    if (::mkfifo(path.c_str(), 0600) != 0) return;
    FWriter = ::open(path.c_str(), O_RDWR | O_NONBLOCK);
    if (FWriter >= 0) FReady = ::write(FWriter, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  }
  ~TFifoWithWriter() {
    if (FWriter >= 0) ::close(FWriter);
    fs::remove(FPath);
  }
  TFifoWithWriter(const TFifoWithWriter&) = delete;
  TFifoWithWriter& operator=(const TFifoWithWriter&) = delete;
  bool Ready() const { return FReady; }

 private:
  fs::path FPath;
  int FWriter = -1;
  bool FReady = false;
};

using TFileDefinesModelFunc = TBool32(TOLVEX_STDCALL*)(const char*, const char*);

struct TReadCase {
  const char* Name;
  std::string Path;
  bool Fifo;  // Path is made a FIFO that holds a definition of DX for this case
  bool Expected;
};

TEST_F(LibraryManagerStandIn, OnlyRegularFilesAreReadForTheirDefinitions) {
  const fs::path work = fs::temp_directory_path() / ("tolvex-fifo-models-" + std::to_string(::getpid()));
  const std::string definition = ".MODEL DX D(IS=1E-14)\n";
  fs::remove_all(work);
  fs::create_directories(work);
  {
    std::ofstream(work / "real.mdl") << definition;
    std::ofstream out(work / "long-line.mdl", std::ios::binary);
    out << std::string(std::size_t{1} << 20, 'x') << "\n" << definition;
  }
  fs::create_symlink(work / "fifo.mdl", work / "link-to-fifo.mdl");
  fs::create_symlink(work / "real.mdl", work / "link-to-real.mdl");
  fs::create_directory(work / "folder.mdl");

  auto defines = reinterpret_cast<TFileDefinesModelFunc>(os::FindExport(FModule, "Quillfold_FileDefinesModel"));
  ASSERT_NE(defines, nullptr);
  const std::vector<TReadCase> cases = {
      {"regular file", (work / "real.mdl").string(), false, true},
      {"link to a regular file", (work / "link-to-real.mdl").string(), false, true},
      {"a line longer than is looked at", (work / "long-line.mdl").string(), false, true},
      {"FIFO", (work / "fifo.mdl").string(), true, false},
      {"link to a FIFO", (work / "link-to-fifo.mdl").string(), true, false},
      {"folder", (work / "folder.mdl").string(), false, false},
      {"device", "/dev/null", false, false},
      {"missing", (work / "absent.mdl").string(), false, false},
  };
  for (const TReadCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::optional<TFifoWithWriter> fifo;
    if (c.Fifo) {
      fifo.emplace(work / "fifo.mdl", definition);
      ASSERT_TRUE(fifo->Ready());
    }
    EXPECT_EQ(defines(c.Path.c_str(), "DX") != FALSE32, c.Expected);
  }

  SCOPED_TRACE("searches pass over what is not a regular file");
  reinterpret_cast<TClearFunc>(os::FindExport(FModule, "Quillfold_ClearModelFolders"))();
  FAddFolder(work.string().c_str());
  auto manager = GetLibraryManager();
  ASSERT_TRUE(manager);
  fs::remove(work / "real.mdl");
  fs::remove(work / "link-to-real.mdl");
  fs::remove(work / "long-line.mdl");
  const std::string fullPath = (work / "fifo.mdl").string();
  for (const std::string& location : {std::string(), std::string("fifo.mdl"), std::string("fifo"),
                                      std::string("link-to-fifo.mdl"), std::string("folder.mdl"), fullPath}) {
    SCOPED_TRACE(location);
    const TFifoWithWriter fifo(work / "fifo.mdl", definition);
    ASSERT_TRUE(fifo.Ready());
    EXPECT_EQ(SearchModelFile(*manager.Get(), "DX", "MDL", location).Path, "");
  }
  fs::remove_all(work);
}

struct TExampleCase {
  const char* Name;
  bool UseLibraryModel;
  const char* Model;
  std::string Expected;  // below examples/models; empty for not found
  std::string Ports;
  std::string Parameters;
};

TEST_F(LibraryManagerStandIn, BundledExampleModelsAreFoundAndRead) {
  const fs::path examples = fs::path(kDataDir) / ".." / ".." / "examples" / "models";
  reinterpret_cast<TClearFunc>(os::FindExport(FModule, "Quillfold_ClearModelFolders"))();
  FAddFolder(examples.string().c_str());
  TFakeHostExports host;
  for (const auto& entry : fs::recursive_directory_iterator(examples))
    if (entry.is_regular_file()) host.Files[entry.path().string()] = ReadFixture(entry.path());

  const std::vector<TExampleCase> cases = {
      {"op-amp with PARAMS:", false, "OPAMP1", "opamps.ckt", "INP|INN|VCC|VEE|OUT", "GAIN|GBW|ROUT|RIN"},
      {"ports continued on + lines", false, "COMP1", "opamps.ckt", "INP|INN|VCC|VEE|OUT", "GAIN|VOFF"},
      {"a model local to a subcircuit", false, "DLIM", "", "", ""},
      {"Zener diode", false, "DZ5V1", "diodes.mdl", "", ""},
      {"MOSFET", false, "mnlogic", "transistors.mdl", "", ""},
      {"component's own library model", true, "Q2N3904", "Discrete.IntLib/Q2N3904/Q2N3904.mdl", "", ""},
      {"library's shared model", true, "D1N4148X", "Discrete.IntLib/shared.mdl", "", ""},
  };
  for (const TExampleCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TModelFile file("", "CKT", "Discrete.SchLib", "Q2N3904", c.UseLibraryModel, c.Model);
    const std::string expected = c.Expected.empty() ? "" : (examples / c.Expected).string();
    EXPECT_EQ(file.ModelPath(), expected);
    EXPECT_EQ(file.Lines() != nullptr, !c.Expected.empty());
    EXPECT_EQ(Joined(Ports(file)), c.Ports);
    EXPECT_EQ(Joined(ParameterNames(file)), c.Parameters);
  }
}

using TReadCountFunc = std::int32_t(TOLVEX_STDCALL*)();

// What the index stands for: the folders in order, in each its model files in file-name order, each read whole and
// asked by FindModelLine.
std::string FirstDefinitionByFullRead(const std::vector<fs::path>& folders, const std::string& model) {
  for (const fs::path& folder : folders) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
      const std::string extension = UpperCaseAscii(entry.path().extension().string());
      if (entry.is_regular_file() && (extension == ".MDL" || extension == ".LIB" || extension == ".CKT"))
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
      return UpperCaseAscii(a) != UpperCaseAscii(b) ? UpperCaseAscii(a) < UpperCaseAscii(b) : a < b;
    });
    for (const std::string& name : names)
      if (FindModelLine(ReadFixture(folder / name), model) >= 0) return (folder / name).string();
  }
  return {};
}

struct TIndexedSearchCase {
  const char* Name;
  const char* Model;
  const char* Kind;
  std::string Location;
  std::string Expected;  // below tests/data/model-folders; empty for not found
};

TEST_F(LibraryManagerStandIn, SearchesThroughTheIndexAnswerWhatAFullReadAnswers) {
  const fs::path root = fs::path(kDataDir) / "model-folders";
  const std::vector<fs::path> folders = {root / "first", root / "second"};
  reinterpret_cast<TClearFunc>(os::FindExport(FModule, "Quillfold_ClearModelFolders"))();
  for (const fs::path& folder : folders) FAddFolder(folder.string().c_str());
  auto reads = reinterpret_cast<TReadCountFunc>(os::FindExport(FModule, "Quillfold_ModelFileReads"));
  ASSERT_NE(reads, nullptr);
  const std::vector<TIndexedSearchCase> cases = {
      {"the first folder before the second", "AMP1", "CKT", "", "first/amps.lib"},
      {"defined in two files: the first in file-name order", "DTWICE", "MDL", "", "first/amps.lib"},
      {"defined in lower case, asked in upper case", "DLOWER", "MDL", "", "first/Diodes.MDL"},
      {"a lower-case subcircuit", "AMP2", "CKT", "", "first/amps.lib"},
      {"in the second folder only", "DSECOND", "MDL", "", "second/aaa.mdl"},
      {"a model asked as a subcircuit", "dsecond", "CKT", "", "second/aaa.mdl"},
      {"a subcircuit asked as a model", "XSECOND", "MDL", "", "second/aaa.mdl"},
      {"defined only inside bodies", "DLOCALONLY", "MDL", "", ""},
      {"in a file that is no model file", "NOTAMODELFILE", "MDL", "", ""},
      {"the beginning of a name", "DTWIC", "MDL", "", ""},
      {"defined nowhere", "NOSUCH", "MDL", "", ""},
      {"a name holding a blank", "TWO WORDS", "MDL", "", "first/Diodes.MDL"},
      {"a file name: the copy that defines the model", "DTWICE", "MDL", "aaa.mdl", "second/aaa.mdl"},
      {"a file name without the kind's extension", "DSECOND", "MDL", "aaa", "second/aaa.mdl"},
      {"a file name in another case that lacks the model", "DSECOND", "MDL", "diodes.mdl", "first/Diodes.MDL"},
  };
  auto manager = GetLibraryManager();
  ASSERT_TRUE(manager);
  // The first pass may build the indexes; the second must answer the same without reading a file again.
  for (int pass = 0; pass < 2; ++pass) {
    for (const TIndexedSearchCase& c : cases) {
      SCOPED_TRACE(std::string(c.Name) + (pass == 0 ? "" : ", asked again"));
      const std::int32_t before = reads();
      const std::string path = SearchModelFile(*manager.Get(), c.Model, c.Kind, c.Location).Path;
      EXPECT_EQ(path, c.Expected.empty() ? "" : (root / c.Expected).string());
      if (c.Location.empty()) {
        EXPECT_EQ(path, FirstDefinitionByFullRead(folders, c.Model));
      }
      if (pass == 1 && TModelDefinitionIndex::CanFind(c.Model)) {
        EXPECT_EQ(reads(), before) << "no file is read for a name the index answers";
      }
    }
  }
}

struct TChangeCase {
  const char* Name;
  std::function<void(const fs::path&)> Change;
  std::vector<std::string> Defined;  // of DA, DB, DC
  bool Reads;                        // whether the file is read for the first search after the change
};

TEST_F(LibraryManagerStandIn, AFileChangedOnDiskIsIndexedAgain) {
  const fs::path work = fs::temp_directory_path() / ("tolvex-indexed-models-" + std::to_string(::getpid()));
  fs::remove_all(work);
  fs::create_directories(work);
  const fs::path file = work / "lib.mdl";
  auto write = [](const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  };
  write(file, ".MODEL DA D\n");
  reinterpret_cast<TClearFunc>(os::FindExport(FModule, "Quillfold_ClearModelFolders"))();
  FAddFolder(work.string().c_str());
  auto reads = reinterpret_cast<TReadCountFunc>(os::FindExport(FModule, "Quillfold_ModelFileReads"));
  ASSERT_NE(reads, nullptr);
  auto manager = GetLibraryManager();
  ASSERT_TRUE(manager);
  std::optional<TFifoWithWriter> fifo;

  const std::vector<TChangeCase> cases = {
      {"as written", [](const fs::path&) {}, {"DA"}, true},
      {"unchanged", [](const fs::path&) {}, {"DA"}, false},
      {"a definition added", [&](const fs::path& f) { write(f, ".MODEL DA D\n.MODEL DB D\n"); }, {"DA", "DB"}, true},
      {"saved anew through another file: same size and modification time",
       [&](const fs::path& f) {
         const auto time = fs::last_write_time(f);
         write(work / "new.tmp", ".MODEL DA D\n.MODEL DC D\n");
         fs::last_write_time(work / "new.tmp", time);
         fs::rename(work / "new.tmp", f);
       },
       {"DA", "DC"}, true},
      {"rewritten in place at the same size, a later modification time",
       [&](const fs::path& f) {
         const auto time = fs::last_write_time(f);
         write(f, ".MODEL DB D\n.MODEL DC D\n");
         fs::last_write_time(f, time + std::chrono::seconds(10));
       },
       {"DB", "DC"}, true},
      {"a FIFO in its place",
       [&](const fs::path& f) {
         fs::remove(f);
         fifo.emplace(f, ".MODEL DA D\n.MODEL DB D\n.MODEL DC D\n");
         ASSERT_TRUE(fifo->Ready());
       },
       {}, false},
      {"deleted", [&](const fs::path&) { fifo.reset(); }, {}, false},
  };
  for (const TChangeCase& c : cases) {
    SCOPED_TRACE(c.Name);
    c.Change(file);
    const std::int32_t before = reads();
    for (const char* model : {"DA", "DB", "DC"}) {
      const bool defined = std::find(c.Defined.begin(), c.Defined.end(), model) != c.Defined.end();
      EXPECT_EQ(SearchModelFile(*manager.Get(), model, "MDL", "").Path, defined ? file.string() : "") << model;
    }
    EXPECT_EQ(reads() - before, c.Reads ? 1 : 0) << "the file is read once for all three names";
  }
  fs::remove_all(work);
}

#endif  // TOLVEX_QUILLFOLD_PATH

TEST(LibraryManagerBinding, WithoutTheModuleLoadedThereIsNoManager) {
  SetLibraryManagerProvider(nullptr);
  if (os::FindLoadedModule(kLibraryManagerModuleName)) GTEST_SKIP() << "the host's manager is loaded here";
  EXPECT_FALSE(GetLibraryManager());
  TFakeHostExports host;
  const TModelFile file("", "MDL", "", "", false, "D");
  EXPECT_EQ(file.Lines(), nullptr);
  EXPECT_TRUE(host.Calls.empty()) << "nothing is asked of the host without a manager";
}

}  // namespace
}  // namespace tolvex
