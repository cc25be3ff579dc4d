// The "Port Map" text: parse, look-ups, edits and the text written back.
#include "model_data/PortMapping.h"

#include <gtest/gtest.h>

namespace tolvex {
namespace {

TEST(PortMapping, ParsesGroupsAndWritesThemBack) {
  struct TCase {
    const char* Name;
    std::string Text;
    std::vector<std::string> Pins, Ports;
    std::string Written;
  } cases[] = {
      {"two groups", "(1:1),(2:2)", {"1", "2"}, {"1", "2"}, "(1:1),(2:2)"},
      {"empty", "", {}, {}, ""},
      {"not connected", "(A1:NC),(K:2)", {"A1", "K"}, {"NC", "2"}, "(A1:NC),(K:2)"},
      {"blanks stay", "( 1 : 2 )", {" 1 "}, {" 2 "}, "( 1 : 2 )"},
      {"comma and blank between groups", "(1:1), (2:2)", {"1", "2"}, {"1", "2"}, "(1:1),(2:2)"},
      {"colon without a group ends the parse", "(1:1),2:3", {"1"}, {"1"}, "(1:1)"},
      {"unclosed group ends the parse", "(1:1),(2:2", {"1"}, {"1"}, "(1:1)"},
      {"closing before the colon ends the parse", ")1:1(", {}, {}, ""},
      {"no colon at all", "(1),(2)", {}, {}, ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TPortMapping mapping(c.Text);
    EXPECT_EQ(mapping.Pins(), c.Pins);
    EXPECT_EQ(mapping.Ports(), c.Ports);
    EXPECT_EQ(mapping.GetText(), c.Written);
    // The same text with a trailing blank parses to the same groups.
    EXPECT_EQ(TPortMapping(c.Text + " ").Pins(), c.Pins);
  }
}

TEST(PortMapping, PortNumbersArePositiveWholeNumbersOnly) {
  const TPortMapping mapping("(1:NC),(2:0),(3:-3),(4:2),(5:),(6:2x),(7: 2),(a1:12)");
  struct TCase {
    const char* Pin;
    int Number;
  } cases[] = {{"1", -1}, {"2", -1}, {"3", -1}, {"4", 2}, {"5", -1}, {"6", -1}, {"7", -1}, {"A1", 12}, {"9", -1}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Pin);
    EXPECT_EQ(mapping.GetPortNumberOfPin(c.Pin), c.Number);
  }
}

TEST(PortMapping, SetPortOfPinChangesOnlyKnownPins) {
  TPortMapping mapping("(1:1),(a1:2)");
  mapping.SetPortOfPin("A1", "NC");
  mapping.SetPortOfPin("3", "3");
  EXPECT_EQ(mapping.GetText(), "(1:1),(a1:NC)");
  EXPECT_EQ(mapping.GetPortOfPin("a1"), "NC");
  EXPECT_EQ(mapping.GetPortOfPin(" 1"), "");

  TPortMapping empty("");
  empty.SetPortOfPin("1", "1");
  EXPECT_EQ(empty.GetText(), "");
  EXPECT_EQ(empty.GetPortOfPin("1"), "");
}

}  // namespace
}  // namespace tolvex
