// The binding to the host: its helper exports, the module-wide client, the workspace and text conversion.
#include "host/HostApi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "os/Os.h"
#include "support/TextConversion.h"
#include "support/FakeHost.h"

namespace tolvex {
namespace {

using test::FakeClient;
using test::FakeWorkspace;
using test::TFakeHostExports;
using test::TScopedWorkspace;

class HostApi : public ::testing::Test {
 protected:
  ~HostApi() override {
    ClearHostExports();
    SetWorkspaceProvider(nullptr);
  }
};

const std::vector<std::string> kExportNames = {
    "ClientAPI_GetClientInterface",      "ClientAPI_ForceFileNameExtension", "ClientAPI_ExtractWholeFileNameFromPath",
    "VFSAPI_VFS_DeleteFile",             "VFSAPI_VFS_FileExists",            "VFSAPI_VFSAssign",
    "VFSAPI_VFS_ExtractFileExt",         "VFSAPI_VFS_ExtractFileName",       "VFSAPI_VFS_ExtractFileDir",
    "VFSAPI_VFS_IsVFSFileName",          "VFSAPI_VFS_GetExternalPathForFile",
};

std::vector<std::string> AskedFor;
void* RecordAndFindNothing(const char* name) {
  AskedFor.emplace_back(name);
  return nullptr;
}

TEST_F(HostApi, AsksTheHostForEveryExportByItsName) {
  AskedFor.clear();
  BindHostExports(&RecordAndFindNothing);
  std::vector<std::string> asked = AskedFor, expected = kExportNames;
  std::sort(asked.begin(), asked.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(asked, expected);
}

// One helper called with a typical argument, its result written as text.
struct TCallCase {
  const char* Name;
  std::function<std::string()> Call;
};

std::string Text(bool b) { return b ? "true" : "false"; }

const std::vector<TCallCase>& EveryHelper() {
  static const std::vector<TCallCase> helpers = {
      {"ClientAPI_GetClientInterface", [] { return Text(HostClientInterface().Get() != nullptr); }},
      {"ClientAPI_ForceFileNameExtension", [] { return ForceFileNameExtension("C:\\d\\amp.sch", "nsx"); }},
      {"ClientAPI_ExtractWholeFileNameFromPath", [] { return ExtractWholeFileNameFromPath("C:\\d\\amp.nsx"); }},
      {"VFSAPI_VFS_DeleteFile", [] { return Text(VfsDeleteFile("C:\\d\\amp.err")); }},
      {"VFSAPI_VFS_FileExists", [] { return Text(VfsFileExists("C:\\d\\amp.err")); }},
      {"VFSAPI_VFSAssign",
       [] {
         std::vector<std::string> lines = {"left over"};
         const bool read = VfsReadLines("C:\\d\\amp.err", lines);
         return Text(read) + ":" + std::to_string(lines.size());
       }},
      {"VFSAPI_VFS_ExtractFileExt", [] { return VfsExtractFileExt("C:\\d\\amp.nsx"); }},
      {"VFSAPI_VFS_ExtractFileName", [] { return VfsExtractFileName("C:\\d\\amp.nsx"); }},
      {"VFSAPI_VFS_ExtractFileDir", [] { return VfsExtractFileDir("C:\\d\\amp.nsx"); }},
      {"VFSAPI_VFS_IsVFSFileName", [] { return Text(VfsIsVFSFileName("C:\\d\\amp.nsx")); }},
      {"VFSAPI_VFS_GetExternalPathForFile", [] { return VfsGetExternalPathForFile("C:\\d\\amp.nsx"); }},
  };
  return helpers;
}

// What each helper answers when the host lacks its export.
std::string MissingResult(const std::string& name) {
  if (name == "VFSAPI_VFSAssign") return "false:0";
  if (name == "ClientAPI_GetClientInterface" || name == "VFSAPI_VFS_DeleteFile" || name == "VFSAPI_VFS_FileExists" ||
      name == "VFSAPI_VFS_IsVFSFileName")
    return "false";
  return "";
}

TEST_F(HostApi, AMissingExportAnswersWithEmptyTextFalseOrZero) {
  ASSERT_EQ(EveryHelper().size(), kExportNames.size());
  // Never bound, bound to a host that has none, and a host that lacks just that one.
  for (const char* variation : {"never bound", "host without exports", "only this one missing"}) {
    for (const TCallCase& h : EveryHelper()) {
      SCOPED_TRACE(testing::Message() << variation << ": " << h.Name);
      if (std::string(variation) == "never bound") {
        ClearHostExports();
        EXPECT_EQ(h.Call(), MissingResult(h.Name));
      } else if (std::string(variation) == "host without exports") {
        BindHostExports([](const char*) -> void* { return nullptr; });
        EXPECT_EQ(h.Call(), MissingResult(h.Name));
      } else {
        TFakeHostExports host;
        host.Files["C:\\d\\amp.err"] = {"a line"};
        host.Missing = {h.Name};
        host.Rebind();
        EXPECT_EQ(h.Call(), MissingResult(h.Name));
        EXPECT_TRUE(host.CallsTo(h.Name).empty());
      }
    }
  }
}

TEST_F(HostApi, BoundExportsGetTheArgumentsAndGiveTheirResult) {
  TFakeHostExports host;
  host.Files["C:\\d\\amp.err"] = {};
  host.IsVirtual = [](const std::string& path) { return path.ends_with(".nsx"); };
  struct TCase {
    const char* Export;
    std::function<std::string()> Call;
    std::string Result;
    std::vector<std::string> Arguments;
  };
  const TCase cases[] = {
      {"ClientAPI_ForceFileNameExtension", [] { return ForceFileNameExtension("C:\\d\\amp.sch", "nsx"); },
       "C:\\d\\amp.nsx", {"C:\\d\\amp.sch", "nsx"}},
      {"ClientAPI_ExtractWholeFileNameFromPath", [] { return ExtractWholeFileNameFromPath("C:\\d\\amp.nsx"); },
       "amp.nsx", {"C:\\d\\amp.nsx"}},
      {"VFSAPI_VFS_FileExists", [] { return Text(VfsFileExists("C:\\d\\amp.err")); }, "true", {"C:\\d\\amp.err", "0"}},
      {"VFSAPI_VFS_DeleteFile", [] { return Text(VfsDeleteFile("C:\\d\\amp.err")); }, "true", {"C:\\d\\amp.err", "0"}},
      {"VFSAPI_VFS_ExtractFileExt", [] { return VfsExtractFileExt("C:\\d\\amp.nsx"); }, ".nsx", {"C:\\d\\amp.nsx"}},
      {"VFSAPI_VFS_ExtractFileName", [] { return VfsExtractFileName("C:\\d\\amp.nsx"); }, "amp.nsx",
       {"C:\\d\\amp.nsx"}},
      {"VFSAPI_VFS_ExtractFileDir", [] { return VfsExtractFileDir("C:\\d\\amp.nsx"); }, "C:\\d", {"C:\\d\\amp.nsx"}},
      {"VFSAPI_VFS_IsVFSFileName", [] { return Text(VfsIsVFSFileName("C:\\d\\amp.nsx")); }, "true",
       {"C:\\d\\amp.nsx"}},
      {"VFSAPI_VFS_GetExternalPathForFile", [] { return VfsGetExternalPathForFile("C:\\d\\amp.nsx"); },
       "C:\\d\\amp.nsx", {"C:\\d\\amp.nsx"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Export);
    host.Calls.clear();
    EXPECT_EQ(c.Call(), c.Result);
    const auto calls = host.CallsTo(c.Export);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Arguments, c.Arguments);
    EXPECT_EQ(host.Calls.size(), 1u) << "another export was called as well";
  }
  // The delete above really went to the host.
  EXPECT_EQ(Text(VfsFileExists("C:\\d\\amp.err")), "false");
}

TEST_F(HostApi, TheInitialClientComesWithTheReferenceTheHostGave) {
  FakeClient client;
  TFakeHostExports host;
  host.ClientInterface = &client;
  {
    TInterfacePtr<IClient> initial = HostClientInterface();
    EXPECT_EQ(initial.Get(), &client);
    EXPECT_EQ(client.References(), 1);
  }
  EXPECT_EQ(client.References(), 0);
}

// A host that fills every byte of the result buffer and writes no terminator.
std::vector<std::int32_t> ResultSizes;
void TOLVEX_STDCALL FillPath(const char*, char* result, std::int32_t resultSize) {
  ResultSizes.push_back(resultSize);
  std::memset(result, 'x', static_cast<std::size_t>(resultSize));
}
void TOLVEX_STDCALL FillForce(const char*, const char*, char* result, std::int32_t resultSize) {
  FillPath(nullptr, result, resultSize);
}
void* ResolveFilling(const char* name) {
  if (std::strcmp(name, "ClientAPI_ForceFileNameExtension") == 0) return reinterpret_cast<void*>(&FillForce);
  if (std::strcmp(name, "ClientAPI_ExtractWholeFileNameFromPath") == 0 ||
      std::strcmp(name, "VFSAPI_VFS_ExtractFileExt") == 0 || std::strcmp(name, "VFSAPI_VFS_ExtractFileName") == 0 ||
      std::strcmp(name, "VFSAPI_VFS_ExtractFileDir") == 0 ||
      std::strcmp(name, "VFSAPI_VFS_GetExternalPathForFile") == 0)
    return reinterpret_cast<void*>(&FillPath);
  return nullptr;
}

TEST_F(HostApi, AResultLongerThanTheBufferIsCutInsideIt) {
  BindHostExports(&ResolveFilling);
  const std::string longPath(6000, 'p');
  const std::pair<const char*, std::function<std::string()>> cases[] = {
      {"ForceFileNameExtension", [&] { return ForceFileNameExtension(longPath, "nsx"); }},
      {"ExtractWholeFileNameFromPath", [&] { return ExtractWholeFileNameFromPath(longPath); }},
      {"VfsExtractFileExt", [&] { return VfsExtractFileExt(longPath); }},
      {"VfsExtractFileName", [&] { return VfsExtractFileName(longPath); }},
      {"VfsExtractFileDir", [&] { return VfsExtractFileDir(longPath); }},
      {"VfsGetExternalPathForFile", [&] { return VfsGetExternalPathForFile(longPath); }},
  };
  for (const auto& [name, call] : cases) {
    SCOPED_TRACE(name);
    ResultSizes.clear();
    EXPECT_EQ(call(), std::string(kHostTextBufferSize - 1, 'x'));
    EXPECT_EQ(ResultSizes, std::vector<std::int32_t>{kHostTextBufferSize});
  }
}

TEST_F(HostApi, ReadsTheLinesOfAHostTextFileAndClosesIt) {
  TFakeHostExports host;
  const std::vector<std::string> lines = {"* amp", "", "  R1 1 2 1k  ", std::string("nul\0inside", 10), "\t.end"};
  host.Files["C:\\d\\amp.err"] = lines;
  host.Files["C:\\d\\empty.err"] = {};

  std::vector<std::string> read = {"left over"};
  EXPECT_TRUE(VfsReadLines("C:\\d\\amp.err", read));
  EXPECT_EQ(read, lines);
  EXPECT_EQ(host.OpenTextFiles, 0) << "the file was not closed";

  EXPECT_TRUE(VfsReadLines("C:\\d\\empty.err", read));
  EXPECT_TRUE(read.empty());
  EXPECT_EQ(host.OpenTextFiles, 0);

  read = {"left over"};
  EXPECT_FALSE(VfsReadLines("C:\\d\\missing.err", read));
  EXPECT_TRUE(read.empty());
}

// --- the module-wide client ---------------------------------------------------------------------------

TEST_F(HostApi, TheModuleWideClientHoldsOneReferenceToTheLatestClient) {
  FakeClient first, second;
  SetModuleClient(&first);
  EXPECT_EQ(first.References(), 1);
  SetModuleClient(&second);
  EXPECT_EQ(first.References(), 0);
  EXPECT_EQ(second.References(), 1);
  SetModuleClient(&second);
  EXPECT_EQ(second.References(), 1);
  {
    auto client = ModuleClient();
    EXPECT_EQ(client.Get(), &second);
    EXPECT_EQ(second.References(), 2);
  }
  ClearHostExports();
  EXPECT_EQ(ModuleClient().Get(), nullptr);
  EXPECT_EQ(second.References(), 0);
}

// --- the workspace ------------------------------------------------------------------------------------

TEST_F(HostApi, WithoutTheWorkspaceModuleThereIsNoWorkspace) {
  ASSERT_EQ(os::FindLoadedModule("Fenwarden.dll"), nullptr) << "this test needs a process without the workspace";
  SetWorkspaceProvider(nullptr);
  TInterfacePtr<IWorkspace> workspace;
  EXPECT_NO_THROW(workspace = GetWorkspace());
  EXPECT_FALSE(workspace);
}

TEST_F(HostApi, TheWorkspaceComesWithOneReferenceAndAFailureIsRaised) {
  struct TCase {
    const char* Name;
    HRESULT32 Status;
    bool HasWorkspace;
    bool Raises;
  };
  const TCase cases[] = {
      {"success", S_OK32, true, false},
      {"success without a workspace", S_OK32, false, false},
      {"positive status", 1, true, false},
      {"E_FAIL", E_FAIL32, true, true},
      {"E_UNEXPECTED", E_UNEXPECTED32, true, true},
      {"-1", -1, false, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    FakeWorkspace workspace;
    TScopedWorkspace provider(c.HasWorkspace ? &workspace : nullptr, c.Status);
    if (c.Raises) {
      try {
        GetWorkspace();
        ADD_FAILURE() << "no EHostError";
      } catch (const EHostError& e) {
        EXPECT_EQ(e.Status(), c.Status);
        EXPECT_NE(std::string(e.what()).find("GetWorkspace"), std::string::npos) << e.what();
      }
    } else {
      auto found = GetWorkspace();
      EXPECT_EQ(found.Get(), c.HasWorkspace ? &workspace : nullptr);
      EXPECT_EQ(workspace.References(), c.HasWorkspace ? 1 : 0);
    }
    EXPECT_EQ(provider.Calls(), 1);
  }
}

TEST_F(HostApi, CheckHostStatusRaisesExactlyForNegativeStatuses) {
  const std::pair<HRESULT32, bool> cases[] = {{0, false}, {1, false}, {INT32_MAX, false},
                                              {-1, true}, {E_FAIL32, true}, {INT32_MIN, true}};
  for (auto [status, raises] : cases) {
    SCOPED_TRACE(status);
    if (raises)
      EXPECT_THROW(CheckHostStatus(status, "GetProjectCount"), EHostError);
    else
      EXPECT_NO_THROW(CheckHostStatus(status, "GetProjectCount"));
  }
}

// --- text conversion -------------------------------------------------------------------------------------

TEST(TextConversion, RoundTripsEveryCharacter) {
  struct TCase {
    const char* Name;
    std::u16string Wide;
    std::string Narrow;
  };
  const TCase cases[] = {
      {"empty", u"", ""},
      {"ASCII path", u"C:\\Designs\\amp.nsx", "C:\\Designs\\amp.nsx"},
      {"two-byte", u"\u00D6lm\u00FChle", "\xC3\x96lm\xC3\xBC" "hle"},
      {"three-byte", u"\u65E5\u672C \u20AC", "\xE6\x97\xA5\xE6\x9C\xAC \xE2\x82\xAC"},
      {"surrogate pair", u"\U0001D11E", "\xF0\x9D\x84\x9E"},
      {"last code point", u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
      {"mixed path", u"/home/M\u00FCller/\U0001F50C.nsx", "/home/M\xC3\xBCller/\xF0\x9F\x94\x8C.nsx"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(WideToNarrow(c.Wide.c_str()), c.Narrow);
    EXPECT_EQ(NarrowToWide(c.Narrow), c.Wide);
  }
  EXPECT_EQ(WideToNarrow(nullptr), "");
}

TEST(TextConversion, AnUnpairedSurrogateBecomesAReplacementCharacter) {
  const std::string kReplacement = "\xEF\xBF\xBD";
  struct TCase {
    const char* Name;
    std::u16string Wide;
    std::string Narrow;
  };
  const TCase cases[] = {
      {"high alone", u"a\xD800" u"b", "a" + kReplacement + "b"},
      {"high at the end", u"a\xD83D", "a" + kReplacement},
      {"low alone", u"\xDC00" u"b", kReplacement + "b"},
      {"pair in the wrong order", u"\xDD1E\xD834", kReplacement + kReplacement},
      {"two highs then a low", u"\xD834\xD834\xDD1E", kReplacement + "\xF0\x9D\x84\x9E"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(WideToNarrow(c.Wide.c_str()), c.Narrow);
  }
}

// True when Text holds no surrogate without its partner.
bool WellFormed(const std::u16string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

TEST(TextConversion, MalformedUtf8BecomesReplacementCharactersOnly) {
  // A path byte sequence that is not UTF-8 must never turn into another real
  // character (an overlong "/" would smuggle in a folder separator) nor into
  // UTF-16 that the workspace cannot take.
  struct TCase {
    const char* Name;
    std::string Bad;
  };
  const TCase cases[] = {
      {"stray continuation byte", "\x80"},
      {"lead byte alone", "\xC3"},
      {"three-byte sequence cut short", "\xE2\x82"},
      {"overlong slash", "\xC0\xAF"},
      {"overlong NUL", "\xE0\x80\x80"},
      {"overlong four-byte", "\xF0\x82\x82\xAC"},
      {"encoded surrogate", "\xED\xA0\x80"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80"},
      {"five-byte form", "\xF8\x88\x80\x80\x80"},
      {"byte FF", "\xFF"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::u16string wide = NarrowToWide("a" + c.Bad + "z");
    ASSERT_GE(wide.size(), 3u);
    EXPECT_EQ(wide.front(), u'a');
    EXPECT_EQ(wide.back(), u'z');
    const std::u16string middle = wide.substr(1, wide.size() - 2);
    EXPECT_TRUE(std::all_of(middle.begin(), middle.end(), [](char16_t u) { return u == 0xFFFD; }))
        << "decoded to something other than U+FFFD";
    EXPECT_TRUE(WellFormed(wide));
  }
}

}  // namespace
}  // namespace tolvex
