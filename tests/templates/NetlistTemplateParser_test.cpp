// The template language through a parser whose nets and schematic values come from tables.
#include "templates/NetlistTemplateParser.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "model_data/ImplementationData.h"
#include "support/FakeHost.h"

namespace tolvex {
namespace {

struct TWorld {
  std::map<std::string, std::string> Nets;    // pin id -> net
  std::map<std::string, std::string> Values;  // schematic values without a list
};

class TTableParser final : public TAbstractNetlistTemplateParser {
 public:
  TTableParser(const std::string& text, const TWorld& world, std::vector<std::string>* errors, bool quiet = false,
               TMapNetNameEvent hook = {})
      : TAbstractNetlistTemplateParser(text, quiet, std::move(hook), errors), FWorld(world) {}

 protected:
  std::unique_ptr<TAbstractNetlistTemplateToken> CreateToken() override {
    return std::make_unique<TAbstractNetlistTemplateToken>(this);
  }
  std::unique_ptr<TAbstractNetlistTemplateParser> CreateSubParser(const std::string& text) override {
    return std::make_unique<TTableParser>(text, FWorld, FErrors, FQuiet, FOnMapNetName);
  }
  std::string GetPinNet(const std::string& pinId, const TParameterDataList*) override {
    auto it = FWorld.Nets.find(pinId);
    return it == FWorld.Nets.end() ? std::string() : it->second;
  }
  std::string GetParameterValue(const std::string& name) override {
    auto it = FWorld.Values.find(name);
    return it == FWorld.Values.end() ? std::string() : it->second;
  }

 private:
  const TWorld& FWorld;
};

struct TCase {
  const char* Name;
  std::string Template;
  std::vector<std::pair<std::string, std::string>> Parameters;
  std::vector<std::string> Lines;
  std::vector<std::string> Messages;
};

struct TResult {
  std::vector<std::string> Lines;
  std::vector<std::string> Messages;
};

TResult Expanded(const std::string& text, const std::vector<std::pair<std::string, std::string>>& parameters,
            const TWorld& world = {}, bool withList = true) {
  TResult result;
  TTableParser parser(text, world, &result.Messages);
  parser.Parse();
  TParameterDataList list;
  for (const auto& [name, value] : parameters) list.AddParameter(name, value);
  parser.Expand(result.Lines, withList ? &list : nullptr);
  return result;
}

const TWorld kNets{{{"1", "A"}, {"2", "B"}, {"3", "C"}, {"4", "D"}}, {}};

void RunTable(const std::vector<TCase>& cases, const TWorld& world = kNets) {
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Name) + ": " + c.Template);
    const TResult r = Expanded(c.Template, c.Parameters, world);
    EXPECT_EQ(r.Lines, c.Lines);
    EXPECT_EQ(r.Messages, c.Messages);
  }
}

TEST(NetlistTemplate, ResistorAndSourceLines) {
  RunTable({
      {"prefix added", "@DESIGNATOR %1 %2 %3 %3 ", {{"Designator", "1"}, {"Spice Prefix", "R"}}, {"R1 A B C C "}, {}},
      {"no second R", "@DESIGNATOR %1 %2 %3 %3 ", {{"Designator", "R1"}, {"Spice Prefix", "R"}}, {"R1 A B C C "},
       {}},
      {"prefix compared without case", "@DESIGNATOR", {{"Designator", "r1"}, {"Spice Prefix", "R"}}, {"r1"}, {}},
      {"no prefix", "@DESIGNATOR %1", {{"Designator", "Q1"}}, {"Q1 A"}, {"No Spice Prefix specified"}},
      {"empty designator stays undefined", "X @DESIGNATOR", {{"Designator", ""}, {"Spice Prefix", "R"}}, {"X"},
       {"Parameter Undefined (DESIGNATOR)"}},
      {"two-line controlled source", "V@DESIGNATOR %1 %2 0V\\n@DESIGNATOR %3 %4 V@DESIGNATOR ",
       {{"Designator", "1"}, {"Spice Prefix", "H"}}, {"VH1 A B 0V", "H1 C D VH1 "}, {}},
  });
}

TEST(NetlistTemplate, ParametersAndConditions) {
  RunTable({
      {"undefined parameter eats the blank", "@X @Y", {{"X", "a"}}, {"a"}, {"Parameter Undefined (Y)"}},
      {"optional parameter", "@X &Y", {{"X", "a"}}, {"a"}, {}},
      {"names ignore case", "@value", {{"Value", "4k7"}}, {"4k7"}, {}},
      {"quoted name", "@\"Initial Voltage\"V", {{"Initial Voltage", "5"}}, {"5V"}, {}},
      {"quoted name followed by letters", "@\"DESIGNATOR\"A", {{"Designator", "R1"}, {"Spice Prefix", "R"}},
       {"R1A"}, {}},
      {"optional assignment unset", "?IC|IC=@IC|", {}, {""}, {}},
      {"optional assignment set", "?IC|IC=@IC|", {{"IC", "5"}}, {"IC=5"}, {}},
      {"else text", "?X|a||b|", {}, {"b"}, {}},
      {"then text when set", "?X|a||b|", {{"X", "1"}}, {"a"}, {}},
      {"blank ends the else", "?X|a| |b|", {}, {" |b|"}, {}},
      {"full stop opens an else", "?X|a|.b.", {}, {"b"}, {}},
      {"bar holds commas", "?X|a,b|", {{"X", "1"}}, {"a,b"}, {}},
      {"not set", "~X|none|", {}, {"none"}, {}},
      {"not set with else", "~X|none||some|", {{"X", "1"}}, {"some"}, {}},
  });
}

TEST(NetlistTemplate, Sections) {
  RunTable({
      {"anonymous section with a value", " #|PARAMS:| ?A|A=@A|", {{"A", "1"}}, {" PARAMS: A=1"}, {}},
      {"anonymous section without", " #|PARAMS:| ?A|A=@A|", {}, {" "}, {}},
      {"rest expanded before the test", " #|PARAMS:| @A", {}, {" "}, {"Parameter Undefined (A)"}},
      {"named section set", "X #M|.model |@M D", {{"M", "D1"}}, {"X .model D1 D"}, {}},
      {"named section unset", "X #M|.model |@M D", {}, {"X "}, {}},
      {"section over lines", "A#|\\nB|C\\nD", {}, {"A", "BC", "D"}, {}},
  });
}

TEST(NetlistTemplate, PinsGroupsAndLiterals) {
  RunTable({
      {"two percent signs", "100%%", {}, {"100%"}, {}},
      {"percent and blank drops the rest", "%1 % 2 tail", {}, {"A "}, {"Expected Alphanumeric Pin ID after % character"}},
      {"unmapped pin", "%9 x", {}, {" x"}, {"Could not map Pin (9)"}},
      {"kind letter looked up without it", "%1A %1I", {}, {"A A"}, {}},
      {"kind letter that maps nowhere", "%9A", {}, {""}, {"Could not map Pin (9A)"}},
      {"three groups", "[%1][%2][%3]", {}, {"[A][B]"}, {}},
      {"closing bracket outside a group", "a]b", {}, {"a]b"}, {}},
      {"unclosed group is empty", "x[%1", {}, {"x[]"}, {"Expected closing brace ]"}},
      {"backslash before other text", "a\\tb", {}, {"a\\tb"}, {}},
      {"capital N", "a\\Nb", {}, {"a", "b"}, {}},
  });
}

TEST(NetlistTemplate, SyntaxErrorsEndTheTemplateWithTheirMessages) {
  RunTable({
      {"at sign alone", "a @ b", {}, {"a "}, {"Expected parameter name"}},
      {"unclosed quote", "a @\"X b", {}, {"a "}, {"Expected closing delimiter", "Expected parameter name"}},
      {"question mark, name and blank", "a ?X b|c|", {}, {"a "},
       {"Expected Separator Character", "Expected separator character after parameter name"}},
      {"unclosed separator", "a ?X|b", {}, {"a "},
       {"Expected closing Separator", "Expected separator character after parameter name"}},
      {"hash and blank", "a # b", {}, {"a "},
       {"Expected Separator Character", "Expected separator character after # character"}},
      {"named hash without prefix", "a #M b", {}, {"a "},
       {"Expected Separator Character", "Expected separator character after parameter name"}},
      {"error inside a group leaves the parent going", "[@ ] x", {}, {"[] x"}, {"Expected parameter name"}},
      {"third group still reports", "[%1][%2][@ ]", {}, {"[A][B]"}, {"Expected parameter name"}},
  });
  // A special character at the very end is dropped without a message.
  for (const char* end : {"@", "%", "?", "~", "#", "[", "\\", "&"}) {
    SCOPED_TRACE(end);
    const TResult r = Expanded(std::string("R1 ") + end, {});
    EXPECT_EQ(r.Lines, std::vector<std::string>{"R1 "});
    EXPECT_TRUE(r.Messages.empty());
  }
}

TEST(NetlistTemplate, NestingDeeperThanTheLimitEndsTheTemplateThere) {
  std::string deep;
  for (std::size_t i = 0; i < kMaxTemplateNesting + 10; ++i) deep += "#|x|";
  const TResult r = Expanded(deep + "tail", {});
  EXPECT_EQ(r.Messages, std::vector<std::string>{"Template nested too deeply"});
  // Within the limit every level still works.
  std::string shallow;
  for (int i = 0; i < 20; ++i) shallow += "#|x|";
  EXPECT_EQ(Expanded(shallow + "tail", {}).Lines, std::vector<std::string>{std::string(20, 'x') + "tail"});
}

TEST(NetlistTemplate, TokensOfEveryKind) {
  struct TKindCase {
    std::string Template;
    std::vector<std::uint8_t> Kinds;
  } cases[] = {
      {"a\\n[x][y]%1@P&Q?A|t|?A|t||e|~A|t|~A|t||e|#N|p|r", {tkText, tkNewLine, tkFirstGroup, tkSecondGroup, tkPin,
                                                           tkParameter, tkOptionalParameter, tkIfSet, tkIfSetElse,
                                                           tkIfNotSet, tkIfNotSetElse, tkSection}},
      {"#|p|rest", {tkAnonymousSection}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Template);
    std::vector<std::string> errors;
    TWorld world;
    TTableParser parser(c.Template, world, &errors);
    parser.Parse();
    std::vector<std::uint8_t> kinds;
    for (std::size_t i = 0; i < parser.TokenCount(); ++i) kinds.push_back(parser.Token(i)->FKind);
    EXPECT_EQ(kinds, c.Kinds);
    EXPECT_TRUE(errors.empty());
  }
}

TEST(NetlistTemplate, WithoutAListValuesComeFromTheSchematic) {
  const TWorld world{{{"1", "IN"}}, {{"DESIGNATOR", "R5"}, {"VALUE", "4k7"}}};
  const TResult r = Expanded("@DESIGNATOR %1 @VALUE", {}, world, false);
  EXPECT_EQ(r.Lines, std::vector<std::string>{"R5 IN 4k7"});
}

TEST(NetlistTemplate, NetNamesPassThroughTheHookWithTheirPinKind) {
  std::vector<std::pair<std::string, int>> seen;
  TMapNetNameEvent hook = [&](const std::string& net, int kind, std::string& result) {
    seen.emplace_back(net, kind);
    result = "n_" + net;
  };
  std::vector<std::string> errors;
  TTableParser parser("%1 %2V [%3][%4] %1O", kNets, &errors, false, hook);
  parser.Parse();
  std::vector<std::string> lines;
  parser.Expand(lines, nullptr);
  EXPECT_EQ(lines, std::vector<std::string>{"n_A n_B [n_C][n_D] n_A"});
  EXPECT_EQ(seen, (std::vector<std::pair<std::string, int>>{
                      {"A", pkAnalog}, {"B", pkVoltage}, {"C", pkInput}, {"D", pkOutput}, {"A", pkOutput}}));
}

TEST(NetlistTemplate, LongNetNamesPassThroughTheHookWhole) {
  // Two nets whose names differ only after 255 characters, and a hook that lengthens a name.
  const std::string a = std::string(300, 'L') + "A", b = std::string(300, 'L') + "B";
  const TWorld world{{{"1", a}, {"2", b}}, {}};
  struct TRow {
    const char* Name;
    std::function<std::string(const std::string&)> Map;
    std::string Expected;
  };
  const std::vector<TRow> rows = {
      {"the hook keeps the name", [](const std::string& net) { return net; }, a + " " + b},
      {"the hook's longer result", [](const std::string& net) { return net + std::string(300, 'x'); },
       a + std::string(300, 'x') + " " + b + std::string(300, 'x')},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Name);
    std::vector<std::string> seen;
    TMapNetNameEvent hook = [&](const std::string& net, int, std::string& result) {
      seen.push_back(net);
      EXPECT_EQ(result, net) << "the result comes preset to the whole name";
      result = row.Map(net);
    };
    std::vector<std::string> errors;
    TTableParser parser("%1 %2", world, &errors, false, hook);
    parser.Parse();
    std::vector<std::string> lines;
    parser.Expand(lines, nullptr);
    EXPECT_EQ(seen, (std::vector<std::string>{a, b}));
    EXPECT_EQ(lines, std::vector<std::string>{row.Expected});
    EXPECT_TRUE(errors.empty());
  }
}

TEST(NetlistTemplate, QuietParsersReportNothingAndMessagesWithoutAListAreShown) {
  std::vector<std::string> errors;
  TTableParser quiet("@ x", kNets, &errors, true);
  quiet.Parse();
  EXPECT_TRUE(errors.empty());

  test::TScopedMessageBoxes boxes;
  TTableParser loud("@X @Y", kNets, nullptr);
  loud.Parse();
  std::vector<std::string> lines;
  loud.Expand(lines, nullptr);
  ASSERT_EQ(boxes.Records().size(), 2u);
  EXPECT_EQ(boxes.Records()[0].Box.Caption, "Halvenmoor Error");
  EXPECT_EQ(boxes.Records()[1].Box.Text, "Parameter Undefined (Y)");
}

}  // namespace
}  // namespace tolvex
