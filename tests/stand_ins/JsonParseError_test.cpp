// Where the stand-ins say a malformed JSON file goes wrong: at the start of the token the parser could not take.
#include "common/JsonParseError.h"

#include <gtest/gtest.h>

#include <vector>

namespace tolvex::standins {
namespace {

using TJson = nlohmann::ordered_json;

TEST(JsonParseErrorPlace, TheTokenTheParserCouldNotTake) {
  struct TCase {
    const char* Name;
    std::string Text;
    std::string Place;  // LINE:COLUMN
  };
  const std::vector<TCase> cases = {
      {"a literal cut short before a brace", R"({"a": tru})", "1:7"},
      {"a literal with a wrong letter", R"({"a": trxe})", "1:7"},
      {"a word that is no literal", R"({"a": yes})", "1:7"},
      {"a brace after a comma", R"({"a": 1,})", "1:9"},
      {"a bracket after a complete number", R"({"a": [1, 2})", "1:12"},
      {"a number without digits", R"({"a": -})", "1:7"},
      {"an exponent without digits", "[1.5e]", "1:2"},
      {"a second value without a comma", "[1 2]", "1:4"},
      {"a key without a colon", R"({"a" 1})", "1:6"},
      {"a string where a comma belongs", R"({"k": "v" "k2": 1})", "1:11"},
      {"a string that holds escaped quotes", R"(["\"x" 1])", "1:8"},
      {"a control character inside a string", "{\"a\": \"x\x01y\"}", "1:9"},
      {"a line break inside a string", "{\"a\": \"x\n\", \"b\": 1}", "1:9"},
      {"an unknown escape", R"({"a": "x\qy"})", "1:10"},
      {"a string cut off by the end", "{\n  \"a\": \"abc", "2:8"},
      {"a literal cut off by the end", "[tru", "1:2"},
      {"the end after a complete number", "{\"a\": 1", "1:8"},
      {"the end after a blank", "[1, ", "1:5"},
      {"nothing at all", "", "1:1"},
      {"only blanks", "  \n ", "2:2"},
      {"text after the value", "{}\n\n  x", "3:3"},
      {"a comma on a later line", "{\n \"components\": [,]\n}", "2:17"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    ASSERT_FALSE(TJson::accept(c.Text));
    EXPECT_EQ(ParseErrorPlace<TJson>("f", c.Text), "f:" + c.Place);
  }
}

TEST(JsonParseErrorPlace, WholeLiteralsAndNumbers) {
  for (const char* word : {"true", "false", "null", "0", "-0", "12", "-3.25", "1e9", "2.5E-3", "7e+1"})
    EXPECT_TRUE(detail::IsCompleteJsonWord(word)) << word;
  for (const char* word : {"tru", "nul", "-", "01", "1.", ".5", "1e", "1e+", "+1", "0x1", "TRUE"})
    EXPECT_FALSE(detail::IsCompleteJsonWord(word)) << word;
}

TEST(JsonParseErrorPlace, EveryShortTextGetsAPlaceWithinIt) {
  // Every text of up to five characters from the ones that make JSON tokens.
  const std::string alphabet = "\"\\{}[]:, 1e-t";
  std::string text;
  std::size_t failures = 0;
  const auto visit = [&](auto&& self, std::size_t length) -> void {
    if (!TJson::accept(text)) {
      TJsonErrorPlace<TJson> place;
      TJson::sax_parse(text, &place);
      if (ParseErrorOffset(text, place.Position) > text.size()) ++failures;
    }
    if (length == 5) return;
    for (const char c : alphabet) {
      text.push_back(c);
      self(self, length + 1);
      text.pop_back();
    }
  };
  visit(visit, 0);
  EXPECT_EQ(failures, 0u);
}

TEST(JsonNesting, TheFirstArrayOrObjectBelowTheLimitIsTheFaultsPlace) {
  const std::size_t limit = kJsonNestingLimit;
  const std::string tooDeep = ": nested deeper than " + std::to_string(limit) + " levels of arrays and objects";
  const auto arrays = [](std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  const std::string quoted = R"({"[{": "\"[[", "a": )";
  struct TCase {
    const char* Name;
    std::string Text;
    std::string Message;  // empty: the text passes
  };
  const std::vector<TCase> cases = {
      {"at the limit", arrays(limit), ""},
      {"one level more", arrays(limit + 1), "f:1:" + std::to_string(limit + 1) + tooDeep},
      {"many at the limit side by side", "[" + arrays(limit - 1) + "," + arrays(limit - 1) + "]", ""},
      // Brackets and quotes inside strings open nothing.
      {"brackets in strings", quoted + arrays(limit) + "}", "f:1:" + std::to_string(quoted.size() + limit) + tooDeep},
      {"on a later line", "{\n\"a\":\n" + arrays(limit), "f:3:" + std::to_string(limit) + tooDeep},
      {"a syntax error first", "[tru, " + arrays(limit) + "]", "f:1:2: malformed JSON: syntax error"},
      {"the nesting first", "[" + arrays(limit) + ", tru]", "f:1:" + std::to_string(limit + 1) + tooDeep},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TJsonCheck<TJson> check;
    TJson::sax_parse(c.Text, &check);
    std::string message;
    EXPECT_EQ(check.Passed("f", c.Text, message), c.Message.empty());
    EXPECT_EQ(message.substr(0, c.Message.size()), c.Message);
  }
}

}  // namespace
}  // namespace tolvex::standins
