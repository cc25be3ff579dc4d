// Tests of parameter texts: parsing, look-up, formatting into bounded buffers and the cached look-up.
#include "server/Rt_Param.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace tolvex {
namespace {

using TEntries = std::vector<std::pair<std::string, std::string>>;

TEntries EntriesOf(const TParameterList& list) {
  TEntries entries;
  for (std::size_t i = 0; i < list.Count(); ++i) entries.emplace_back(list[i].Name(), list[i].Value());
  return entries;
}

struct TParseCase {
  const char* name;
  std::string input;
  TEntries expected;
  std::string formatted;
};

const std::vector<TParseCase> kParseCases = {
    {"two entries round trip", "A=1|B=2", {{"A", "1"}, {"B", "2"}}, "A=1|B=2"},
    {"segment without = dropped", "A|B=2", {{"B", "2"}}, "B=2"},
    {"empty name dropped", "=5|B=2", {{"B", "2"}}, "B=2"},
    {"blank name dropped", " \t =5", {}, ""},
    {"= inside value kept", "A=x=y", {{"A", "x=y"}}, "A=x=y"},
    {"empty segment between", "A=1||B=2", {{"A", "1"}, {"B", "2"}}, "A=1|B=2"},
    {"trailing bar", "A=1|", {{"A", "1"}}, "A=1"},
    {"only bars", "||", {}, ""},
    {"empty text", "", {}, ""},
    {"empty value", "A=", {{"A", ""}}, "A="},
    {"blanks around name and value", "  Alpha \t= 1 |B=2", {{"Alpha", " 1 "}, {"B", "2"}}, "Alpha= 1 |B=2"},
    {"duplicate names kept in order", "A=1|a=2", {{"A", "1"}, {"a", "2"}}, "A=1|a=2"},
    {"name cut to 255", std::string(300, 'N') + "=v", {{std::string(255, 'N'), "v"}}, std::string(255, 'N') + "=v"},
};

// Each row is also parsed into a list that already holds entries, and with a trailing "|":
// neither may change the outcome.
TEST(ParameterListParse, Table) {
  for (const TParseCase& row : kParseCases) {
    SCOPED_TRACE(row.name);
    for (const std::string& text : {row.input, row.input + "|"}) {
      SCOPED_TRACE("text: " + text.substr(0, 40));
      TParameterList list;
      list.Parse("Stale=1|Other=2");
      list.Parse(text.c_str());
      EXPECT_EQ(EntriesOf(list), row.expected);
      EXPECT_EQ(list.Format(), row.formatted);
    }
  }
}

TEST(ParameterListParse, OverlongValueIsCutAndTheRestStillParsed) {
  TParameterList list;
  list.Parse(("A=" + std::string(kMaxParameterValueLength + 5000, 'x') + "|B=2").c_str());
  ASSERT_EQ(list.Count(), 2u);
  EXPECT_EQ(list[0].Value(), std::string(kMaxParameterValueLength, 'x'));
  EXPECT_EQ(list[1].Name(), "B");
  EXPECT_EQ(list[1].Value(), "2");
}

TEST(ParameterListParse, AbsentTextClearsTheList) {
  TParameterList list;
  list.Parse("A=1");
  list.Parse(static_cast<const char*>(nullptr));
  EXPECT_EQ(list.Count(), 0u);
}

TEST(ParameterNames, SameNameFoldsAsciiLettersOnly) {
  struct TRow {
    const char* name;
    const char* a;
    const char* b;
    bool same;
  } rows[] = {
      {"letter case", "NetlistFilename", "NETLISTFILENAME", true},
      {"blanks and controls trimmed", " \tA\r\n", "a", true},
      {"inner blank counts", "a b", "ab", false},
      {"both blank", "", "   ", true},
      {"bracket is not a letter", "[", "{", false},
      {"at sign is not a letter", "@", "`", false},
      {"accented bytes compare exactly", "\xE9", "\xC9", false},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(SameName(row.a, row.b), row.same);
    EXPECT_EQ(SameName(row.b, row.a), row.same);
  }
}

TEST(ParameterListLookup, GetValue) {
  // The long value begins with a blank and has one at position 254, so only cutting
  // before trimming gives 253 x's.
  const std::string longValue = " " + std::string(253, 'x') + " " + std::string(45, 'y');
  TParameterList list;
  list.Parse((" Alpha = 1 |Empty=|alpha=2|Long=" + longValue).c_str());

  struct TRow {
    const char* name;
    std::string query;
    bool found;
    std::string value;
  } rows[] = {
      {"other case finds first entry, trimmed", "ALPHA", true, "1"},
      {"blanks around query", "  alpha\t", true, "1"},
      {"empty value is found", "empty", true, ""},
      {"300 characters cut to 255 then trimmed", "Long", true, std::string(253, 'x')},
      {"missing", "Beta", false, ""},
      {"blank query", " ", false, ""},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.name);
    std::string value = "stale";
    EXPECT_EQ(list.GetValue(row.query, value), row.found);
    EXPECT_EQ(value, row.value);
  }
}

TEST(ParameterListLookup, DuplicatesAffectOnlyTheFirst) {
  TParameterList list;
  list.Parse("A=1|B=3|a=2");
  std::string value;
  EXPECT_TRUE(list.GetValue("A", value));
  EXPECT_EQ(value, "1");

  list.RemoveParameter("Nope");
  EXPECT_EQ(list.Format(), "A=1|B=3|a=2");
  list.RemoveParameter(" a ");
  EXPECT_EQ(list.Format(), "B=3|a=2");
  EXPECT_TRUE(list.GetValue("A", value));
  EXPECT_EQ(value, "2");
}

TEST(ParameterListLookup, AddParameterTrimsNameOnly) {
  TParameterList list;
  list.AddParameter("  ", "lost");
  list.AddParameter(" Name ", " v ");
  list.AddParameter("name", "second");
  EXPECT_EQ(EntriesOf(list), (TEntries{{"Name", " v "}, {"name", "second"}}));
}

// "A=1|BB=22|C=3" is 13 characters; a buffer gets the longest run of whole entries that fits with its NUL.
TEST(ParameterListFormat, FormatToCutsAtAWholeEntry) {
  TParameterList list;
  list.Parse("A=1|BB=22|C=3");
  struct TRow {
    std::size_t size;
    const char* text;
    bool fits;
  } rows[] = {
      {14, "A=1|BB=22|C=3", true}, {13, "A=1|BB=22", false}, {10, "A=1|BB=22", false},
      {9, "A=1", false},           {4, "A=1", false},        {3, "", false},
      {1, "", false},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE("buffer size " + std::to_string(row.size));
    char buffer[32];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(list.FormatTo(buffer, row.size), row.fits);
    EXPECT_STREQ(buffer, row.text);
    for (std::size_t i = row.size; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], '#') << "written past the end at " << i;
  }

  char untouched = '#';
  EXPECT_FALSE(list.FormatTo(&untouched, 0));
  EXPECT_EQ(untouched, '#');

  TParameterList empty;
  char one[1] = {'#'};
  EXPECT_TRUE(empty.FormatTo(one, 1));
  EXPECT_EQ(one[0], '\0');
}

TEST(ParameterBuffer, SetParameterInBufferSequence) {
  char buffer[1024] = "";
  struct TStep {
    const char* name;
    const char* value;
    const char* expected;
  } steps[] = {
      {"NetlistFilename", "c:\\x.nsx", "NetlistFilename=c:\\x.nsx"},
      {"OndulixPath", "  p \t", "NetlistFilename=c:\\x.nsx|OndulixPath=p"},
      {"netlistfilename", "d", "NetlistFilename=d|OndulixPath=p"},
  };
  for (const TStep& step : steps) {
    SCOPED_TRACE(step.name);
    EXPECT_TRUE(SetParameterInBuffer(buffer, sizeof buffer, step.name, step.value));
    EXPECT_STREQ(buffer, step.expected);
  }
}

TEST(ParameterBuffer, SetParameterInBufferStaysInsideTheBuffer) {
  char buffer[16] = "A=1|B=2";
  EXPECT_FALSE(SetParameterInBuffer(buffer, sizeof buffer, "Long", "0123456789"));
  EXPECT_STREQ(buffer, "A=1|B=2");

  // A value replaced in place that no longer fits must not cost the entries after it.
  char full[12] = "A=1|B=2|C=3";
  EXPECT_FALSE(SetParameterInBuffer(full, sizeof full, "A", "12345"));
  EXPECT_STREQ(full, "A=1|B=2|C=3");

  // Text without a NUL is read only to the end of the buffer and comes back terminated.
  char unterminated[8];
  std::memcpy(unterminated, "A=1|B=22", 8);
  EXPECT_FALSE(SetParameterInBuffer(unterminated, sizeof unterminated, "A", "9"));
  EXPECT_STREQ(unterminated, "A=1|B=2");

}

TEST(ParameterBuffer, SetParameterInBufferRefusesWhatTheTextCannotCarry) {
  using namespace std::string_literals;
  struct TRow {
    const char* name;
    std::string parameter;
    std::string value;
    bool accepted;
    const char* text;  // the buffer afterwards
  } rows[] = {
      {"a value with a bar", "NetlistFilename", "/w/amp|v2.nsx", false, "A=1"},
      {"a value that would add a parameter", "NetlistFilename", "/w/a|OndulixPath=/x/evil.so|x.nsx", false, "A=1"},
      {"a name with an equals sign", "Net=list", "v", false, "A=1"},
      {"a name with a bar", "N|B", "v", false, "A=1"},
      {"a blank name", "  ", "v", false, "A=1"},
      {"a value with a NUL", "P", "ab\0cd"s, false, "A=1"},
      {"a value longer than its field", "P", std::string(256, 'v'), false, "A=1"},
      {"a name longer than its field", std::string(256, 'n'), "v", false, "A=1"},
      {"a value that fills its field", "P", std::string(255, 'v'), true, nullptr},
      {"blanks around a value that then fits", "P", "  " + std::string(255, 'v') + "\t", true, nullptr},
      {"an equals sign in a value", "P", "x=y", true, "A=1|P=x=y"},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.name);
    char buffer[1024] = "A=1";
    EXPECT_EQ(SetParameterInBuffer(buffer, sizeof buffer, row.parameter, row.value), row.accepted);
    EXPECT_EQ(std::string(buffer), row.text ? std::string(row.text) : "A=1|P=" + std::string(255, 'v'));
  }
}

// Entries added by hand can hold what no parameter text can carry: the text stops before them.
TEST(ParameterListFormat, FormatStopsBeforeAnEntryTheTextCannotCarry) {
  struct TRow {
    const char* name;
    const char* parameter;
    const char* value;
  } rows[] = {{"a bar in a value", "B", "x|C=evil"}, {"an equals sign in a name", "B=C", "v"},
              {"a bar in a name", "B|C", "v"}};
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.name);
    TParameterList list;
    list.AddParameter("A", "1");
    list.AddParameter(row.parameter, row.value);
    list.AddParameter("D", "2");
    EXPECT_FALSE(list.CanFormat());
    EXPECT_EQ(list.Format(), "A=1");
    char buffer[64];
    EXPECT_FALSE(list.FormatTo(buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "A=1");
  }
  TParameterList plain;
  plain.Parse("A=x=y|B= blanks ");
  EXPECT_TRUE(plain.CanFormat());
  EXPECT_EQ(plain.Format(), "A=x=y|B= blanks ");
}

class ParameterCache : public ::testing::Test {
 protected:
  void SetUp() override { InitializeParameterCache(); }
  void TearDown() override { FinalizeParameterCache(); }

  static std::string Lookup(const char* text, std::string_view name) {
    std::string value;
    return GetParameterFromText(text, name, value) ? value : "<missing>";
  }
};

TEST_F(ParameterCache, SameTextIsParsedOnce) {
  // One array with changing contents: the cache must compare the text, not its address.
  char text[64] = "Result=True|Path= c:\\m.lib ";
  EXPECT_EQ(Lookup(text, "result"), "True");
  EXPECT_EQ(Lookup(text, "Path"), "c:\\m.lib");
  EXPECT_EQ(Lookup(text, "Missing"), "<missing>");
  EXPECT_EQ(ParameterCacheParseCount(), 1u);

  std::strcpy(text, "Result=False");
  EXPECT_EQ(Lookup(text, "Result"), "False");
  EXPECT_EQ(Lookup(text, "Path"), "<missing>");
  EXPECT_EQ(ParameterCacheParseCount(), 2u);

  for (const char* absent : {static_cast<const char*>(nullptr), ""}) {
    std::string value = "stale";
    EXPECT_FALSE(GetParameterFromText(absent, "Result", value));
    EXPECT_EQ(value, "");
  }
  EXPECT_EQ(Lookup(text, "Result"), "False");
  EXPECT_EQ(ParameterCacheParseCount(), 2u);
}

TEST_F(ParameterCache, LongTextsThatShareTheirStartGetTheirOwnAnswers) {
  const std::string padding = "Pad=" + std::string(kParameterTextBufferSize, 'x');
  const std::string first = "A=1|" + padding + "|Z=first";
  const std::string second = "A=1|" + padding + "|Z=second";
  EXPECT_EQ(Lookup(first.c_str(), "Z"), "first");
  EXPECT_EQ(Lookup(second.c_str(), "Z"), "second");
  EXPECT_EQ(Lookup(second.c_str(), "A"), "1");
}

TEST_F(ParameterCache, BufferFormCutsTheValueToFit) {
  char value[4] = "###";
  EXPECT_TRUE(GetParameterFromText("Caption=Choose", "CAPTION", value, sizeof value));
  EXPECT_STREQ(value, "Cho");
  EXPECT_FALSE(GetParameterFromText("Caption=Choose", "Dialog", value, sizeof value));
  EXPECT_STREQ(value, "");
}

TEST(ParameterCacheLifetime, LookupWorksWithoutAndAfterTheCache) {
  FinalizeParameterCache();
  std::string value;
  EXPECT_TRUE(GetParameterFromText("A=1", "A", value));
  EXPECT_EQ(value, "1");
  FinalizeParameterCache();
  EXPECT_TRUE(GetParameterFromText("A=1", "A", value));
  EXPECT_EQ(ParameterCacheParseCount(), 1u) << "a fresh cache must not remember the freed one's text";
  FinalizeParameterCache();
}

}  // namespace
}  // namespace tolvex
