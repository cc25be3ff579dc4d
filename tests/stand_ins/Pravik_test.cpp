// Tests of the schematic server stand-in Pravik.dll through the exports the plug-in and the stand-in host bind.
#include "schematic_server/Pravik.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "HostileFiles.h"
#include "common/JsonParseError.h"
#include "common/RegularFile.h"
#include "host/ExternalForm.h"
#include "host/SchServerApi.h"
#include "ui/Drawing.h"

namespace {

using namespace tolvex;
namespace fs = std::filesystem;
using nlohmann::json;

const std::string kData = std::string(TOLVEX_TEST_DATA_DIR) + "/schematics/";

// Every export, bound by name from the module as the plug-in and the host bind them.
struct TPravik {
  void* Module = nullptr;
  TSchAPIQuery_GrafObject GrafObject;
  TSchAPIQuery_WorkspaceObject WorkspaceObject;
  TSchApiQuery_SchComponent SchComponent;
  TSchAPIQuery_ComponentDesignatorLocks DesignatorLocks;
  TSchAPIQuery_Pin Pin;
  TSchApiQuery_SchParameter SchParameter;
  TSchApiQuery_UniqueId UniqueId;
  TSchApiQuery_SchParameterCalculatedValue CalculatedValue;
  TSchApiQuery_Implementation Implementation;
  TSchApiQuery_ImplementationDatafileCount DatafileCount;
  TSchApiQuery_ImplementationDatafile Datafile;
  TSchAPI_GetObjectIdFromObjectHandle GetObjectId;
  TSchAPI_CreateSimpleGroupIterator CreateSimpleGroupIterator;
  TSchAPI_CreateGroupIterator CreateGroupIterator;
  TSchAPI_GetFirstGroupObject GetFirstGroupObject;
  TSchAPI_GetNextGroupObject GetNextGroupObject;
  TSchAPI_DestroyGroupIterator DestroyGroupIterator;
  TSchAPI_CreateIterator CreateIterator;
  TSchAPI_GetFirstObject GetFirstObject;
  TSchAPI_GetNextObject GetNextObject;
  TSchAPI_DestroyIterator DestroyIterator;
  TSchAPI_IsCurrentLibraryComponent IsCurrentLibraryComponent;
  TSchAPI_GetDocumentHandleFromFileName GetDocumentHandleFromFileName;
  TSchAPI_GetCurrentLibraryComponent GetCurrentLibraryComponent;
  TSchAPI_CreateObjectEx CreateObjectEx;
  TSchAPI_DestroyObject DestroyObject;
  TSchApiQuery_AddObjectToContainer AddObjectToContainer;
  TSchApiQuery_DeleteObjectFromContainer DeleteObjectFromContainer;
  TSchAPI_ImportFromUser ImportFromUser;
  TSchAPI_RedrawObject RedrawObject;
  TSchAPI_GetObjectBoundingRectangle GetObjectBoundingRectangle;
  TSchAPI_CreatePainter CreatePainter;
  TSchAPI_DrawComponentByHandle DrawComponentByHandle;
  TPravik_OpenDocument OpenDocument;
  TPravik_SaveDocument SaveDocument;
  TPravik_FindComponent FindComponent;
  TPravik_GetImplementation GetImplementation;
  TPravik_GetDocumentCount GetDocumentCount;
  TPravik_GetDocument GetDocument;
  TPravik_SetCurrentLibraryComponent SetCurrentLibraryComponent;
  TPravik_CloseAll CloseAll;
  TPravik_QueueUserEdit QueueUserEdit;
  TPravik_GetRedrawCount GetRedrawCount;
  TPravik_SetObserver SetObserver;
  TPravik_SetSaveFailure SetSaveFailure;
};

TPravik& Api() {
  static TPravik api = [] {
    TPravik a;
    a.Module = dlopen(PRAVIK_DLL_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!a.Module) {
      ADD_FAILURE() << "cannot load " << PRAVIK_DLL_PATH << ": " << dlerror();
      std::abort();
    }
    const auto bind = [&](auto& target, const char* name) {
      void* address = dlsym(a.Module, name);
      if (!address) {
        ADD_FAILURE() << "Pravik.dll does not export " << name;
        std::abort();
      }
      target = reinterpret_cast<std::remove_reference_t<decltype(target)>>(address);
    };
    bind(a.GrafObject, "SchAPIQuery_GrafObject");
    bind(a.WorkspaceObject, "SchAPIQuery_WorkspaceObject");
    bind(a.SchComponent, "SchApiQuery_SchComponent");
    bind(a.DesignatorLocks, "SchAPIQuery_ComponentDesignatorLocks");
    bind(a.Pin, "SchAPIQuery_Pin");
    bind(a.SchParameter, "SchApiQuery_SchParameter");
    bind(a.UniqueId, "SchApiQuery_UniqueId");
    bind(a.CalculatedValue, "SchApiQuery_SchParameterCalculatedValue");
    bind(a.Implementation, "SchApiQuery_Implementation");
    bind(a.DatafileCount, "SchApiQuery_ImplementationDatafileCount");
    bind(a.Datafile, "SchApiQuery_ImplementationDatafile");
    bind(a.GetObjectId, "SchAPI_GetObjectIdFromObjectHandle");
    bind(a.CreateSimpleGroupIterator, "SchAPI_CreateSimpleGroupIterator");
    bind(a.CreateGroupIterator, "SchAPI_CreateGroupIterator");
    bind(a.GetFirstGroupObject, "SchAPI_GetFirstGroupObject");
    bind(a.GetNextGroupObject, "SchAPI_GetNextGroupObject");
    bind(a.DestroyGroupIterator, "SchAPI_DestroyGroupIterator");
    bind(a.CreateIterator, "SchAPI_CreateIterator");
    bind(a.GetFirstObject, "SchAPI_GetFirstObject");
    bind(a.GetNextObject, "SchAPI_GetNextObject");
    bind(a.DestroyIterator, "SchAPI_DestroyIterator");
    bind(a.IsCurrentLibraryComponent, "SchAPI_IsCurrentLibraryComponent");
    bind(a.GetDocumentHandleFromFileName, "SchAPI_GetDocumentHandleFromFileName");
    bind(a.GetCurrentLibraryComponent, "SchAPI_GetCurrentLibraryComponent");
    bind(a.CreateObjectEx, "SchAPI_CreateObjectEx");
    bind(a.DestroyObject, "SchAPI_DestroyObject");
    bind(a.AddObjectToContainer, "SchApiQuery_AddObjectToContainer");
    bind(a.DeleteObjectFromContainer, "SchApiQuery_DeleteObjectFromContainer");
    bind(a.ImportFromUser, "SchAPI_ImportFromUser");
    bind(a.RedrawObject, "SchAPI_RedrawObject");
    bind(a.GetObjectBoundingRectangle, "SchAPI_GetObjectBoundingRectangle");
    bind(a.CreatePainter, "SchAPI_CreatePainter");
    bind(a.DrawComponentByHandle, "SchAPI_DrawComponentByHandle");
    bind(a.OpenDocument, "Pravik_OpenDocument");
    bind(a.SaveDocument, "Pravik_SaveDocument");
    bind(a.FindComponent, "Pravik_FindComponent");
    bind(a.GetImplementation, "Pravik_GetImplementation");
    bind(a.GetDocumentCount, "Pravik_GetDocumentCount");
    bind(a.GetDocument, "Pravik_GetDocument");
    bind(a.SetCurrentLibraryComponent, "Pravik_SetCurrentLibraryComponent");
    bind(a.CloseAll, "Pravik_CloseAll");
    bind(a.QueueUserEdit, "Pravik_QueueUserEdit");
    bind(a.GetRedrawCount, "Pravik_GetRedrawCount");
    bind(a.SetObserver, "Pravik_SetObserver");
    bind(a.SetSaveFailure, "Pravik_SetSaveFailure");
    return a;
  }();
  return api;
}

// Text buffers of the exchange sizes for one record, filled with a marker so that an untouched buffer shows.
struct TBuffers {
  std::array<std::array<char, kSchTextBufferSize>, 6> Text;
  std::vector<char> Long = std::vector<char>(kSchLongBufferSize);
  TBuffers() {
    for (auto& t : Text) std::strcpy(t.data(), "untouched");
    std::strcpy(Long.data(), "untouched");
  }
  char* operator[](std::size_t i) { return Text[i].data(); }
};

// A record with its own buffers. Copies point to their own buffers, never to those of the record they came from.
template <class Record>
struct TRead {
  Record R;
  TBuffers B;
  TRead() = default;
  TRead(const TRead& other) : R(other.R), B(other.B) {}
  TRead& operator=(const TRead& other) {
    R = other.R;
    B = other.B;
    return *this;
  }
};

struct TComponentRead : TRead<TSchComponentRecord> {
  void Point() {
    R.S1 = B[0], R.S2 = B[1], R.FSourceLibraryName = B[2], R.FLibraryReference = B[3], R.S5 = B[4], R.S6 = B[5];
  }
  TComponentRead() { Point(); }
  TComponentRead(const TComponentRead& other) : TRead(other) { Point(); }
  TComponentRead& operator=(const TComponentRead& other) {
    TRead::operator=(other);
    Point();
    return *this;
  }
};
struct TPinRead : TRead<TSchPinRecord> {
  void Point() {
    R.PinString1 = B[0], R.PinString2 = B[1], R.FDesignator = B[2], R.FName = B[3], R.PinString3 = B[4],
    R.PinString4 = B[5];
  }
  TPinRead() { Point(); }
  TPinRead(const TPinRead& other) : TRead(other) { Point(); }
  TPinRead& operator=(const TPinRead& other) {
    TRead::operator=(other);
    Point();
    return *this;
  }
};
struct TParameterRead : TRead<TSchParameterRecord> {
  void Point() { R.FName = B[0], R.FValue = B[1], R.ParameterString = B[2], R.T1 = B[3], R.T2 = B[4]; }
  TParameterRead() { Point(); }
  TParameterRead(const TParameterRead& other) : TRead(other) { Point(); }
  TParameterRead& operator=(const TParameterRead& other) {
    TRead::operator=(other);
    Point();
    return *this;
  }
};
struct TImplementationRead : TRead<TSchImplementationRecord> {
  void Point() { R.FModelName = B[0], R.K1 = B[1], R.FDescription = B[2], R.FPortMap = B.Long.data(); }
  TImplementationRead() { Point(); }
  TImplementationRead(const TImplementationRead& other) : TRead(other) { Point(); }
  TImplementationRead& operator=(const TImplementationRead& other) {
    TRead::operator=(other);
    Point();
    return *this;
  }
};
struct TDatafileRead {
  TSchDatafileRecord R;
  TBuffers B;
  explicit TDatafileRead(std::int32_t index) {
    R.Index = index, R.FLocation = B.Long.data(), R.FEntityName = B[0], R.FKind = B[1];
  }
  TDatafileRead(const TDatafileRead&) = delete;
};

TComponentRead ReadComponent(THandle h, std::int32_t expected = kSchQuerySuccess) {
  TComponentRead c;
  EXPECT_EQ(Api().SchComponent(kSchQueryModeRead, h, &c.R), expected);
  return c;
}
TPinRead ReadPin(THandle h) {
  TPinRead p;
  EXPECT_EQ(Api().Pin(kSchQueryModeRead, h, &p.R), kSchQuerySuccess);
  return p;
}
TParameterRead ReadParameter(THandle h) {
  TParameterRead p;
  EXPECT_EQ(Api().SchParameter(kSchQueryModeRead, h, &p.R), kSchQuerySuccess);
  return p;
}
TImplementationRead ReadImplementation(THandle h) {
  TImplementationRead i;
  EXPECT_EQ(Api().Implementation(kSchQueryModeRead, h, &i.R), kSchQuerySuccess);
  return i;
}
std::string ReadText(TSchApiQuery_UniqueId query, THandle h) {
  std::array<char, kSchTextBufferSize> buffer{};
  EXPECT_EQ(query(kSchQueryModeRead, h, buffer.data()), kSchQuerySuccess);
  return buffer.data();
}

std::vector<THandle> GroupMembers(THandle container, bool simple = true) {
  const THandle it = simple ? Api().CreateSimpleGroupIterator(container) : Api().CreateGroupIterator(container);
  std::vector<THandle> members;
  for (THandle h = Api().GetFirstGroupObject(it); h; h = Api().GetNextGroupObject(it)) members.push_back(h);
  Api().DestroyGroupIterator(it);
  return members;
}

std::vector<THandle> DocumentMembers(THandle document, std::uint8_t kind) {
  const THandle it = Api().CreateIterator(document, kind);
  std::vector<THandle> members;
  for (THandle h = Api().GetFirstObject(it); h; h = Api().GetNextObject(it)) members.push_back(h);
  Api().DestroyIterator(it);
  return members;
}

// The members of a container that are parameters, by name.
std::vector<std::string> ParameterNames(THandle container) {
  std::vector<std::string> names;
  for (THandle h : GroupMembers(container))
    if (Api().GetObjectId(h) == kSchObjectIdParameter) names.push_back(ReadParameter(h).R.FName);
  return names;
}

std::vector<std::string> PinDesignators(const std::vector<THandle>& handles) {
  std::vector<std::string> designators;
  for (THandle h : handles)
    if (Api().GetObjectId(h) == kSchObjectIdPin) designators.push_back(ReadPin(h).R.FDesignator);
  return designators;
}

THandle ParameterNamed(THandle container, const std::string& name) {
  for (THandle h : GroupMembers(container))
    if (Api().GetObjectId(h) == kSchObjectIdParameter && ReadParameter(h).R.FName == name) return h;
  return 0;
}

json ParseFile(const std::string& path) {
  std::ifstream in(path);
  return json::parse(in);
}

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

class PravikTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Api().CloseAll();
    Api().SetSaveFailure(nullptr);
    Api().SetObserver(nullptr, nullptr);
    std::string pattern = (fs::path(::testing::TempDir()) / "pravik-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    FFolder = pattern;
  }
  void TearDown() override {
    Api().CloseAll();
    Api().SetSaveFailure(nullptr);
    Api().SetObserver(nullptr, nullptr);
    std::error_code ec;
    fs::permissions(FFolder, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(FFolder, ec);
  }

  // A copy of a fixture in the test's own folder, so that saves never touch tests/data.
  std::string Copy(const std::string& fixture, const std::string& as = "") {
    const std::string target = FFolder + "/" + (as.empty() ? fixture : as);
    fs::copy_file(kData + fixture, target, fs::copy_options::overwrite_existing);
    return target;
  }
  std::string Write(const std::string& name, const std::string& content) {
    const std::string target = FFolder + "/" + name;
    std::ofstream(target, std::ios::binary) << content;
    return target;
  }
  THandle Open(const std::string& path) {
    char error[1024] = "untouched";
    const THandle document = Api().OpenDocument(path.c_str(), error, sizeof error);
    EXPECT_NE(document, 0) << error;
    EXPECT_STREQ(error, "");
    return document;
  }
  std::string OpenError(const std::string& path) {
    char error[1024] = "";
    EXPECT_EQ(Api().OpenDocument(path.c_str(), error, sizeof error), 0);
    return error;
  }
  bool Save(THandle document, const std::string& path, std::string* error = nullptr) {
    char text[1024] = "";
    const bool saved = Api().SaveDocument(document, path.empty() ? nullptr : path.c_str(), text, sizeof text) != 0;
    if (error) *error = text;
    return saved;
  }
  THandle Component(THandle document, const char* designator, THandle* implementation = nullptr) {
    THandle component = 0, impl = 0;
    EXPECT_NE(Api().FindComponent(document, designator, &component, &impl), 0) << designator;
    if (implementation) *implementation = impl;
    return component;
  }
  std::vector<std::string> FolderEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(FFolder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string FFolder;
};

// ---- Reading every record ----------------------------------------------------------------------------------------

TEST_F(PravikTest, ReadsEveryFieldOfEveryRecordAsTheFileHasIt) {
  const THandle document = Open(Copy("every_attribute.SchDoc"));
  THandle implementation = 0;
  const THandle u7 = Component(document, "u7", &implementation);  // designators are found in any letter case

  const TComponentRead c = ReadComponent(u7);
  EXPECT_STREQ(c.R.S1, "first text");
  EXPECT_EQ(c.R.FLocationX, 500);
  EXPECT_EQ(c.R.FLocationY, 600);
  EXPECT_EQ(c.R.E1, 1);
  EXPECT_EQ(c.R.E2, 2);
  EXPECT_EQ(c.R.AttributeB, 7);
  EXPECT_EQ(c.R.I1, -1);
  EXPECT_EQ(c.R.I2, 2147483647);
  EXPECT_EQ(c.R.E3, 3);
  EXPECT_EQ(c.R.AttributeA, 6);
  EXPECT_EQ(c.R.E4, 0);
  EXPECT_EQ(c.R.E5, 5);
  EXPECT_EQ(c.R.E6, 6);
  EXPECT_EQ(c.R.E7, 255);
  EXPECT_STREQ(c.R.S2, "second text");
  EXPECT_STREQ(c.R.FSourceLibraryName, "Amplifiers.IntLib");
  EXPECT_STREQ(c.R.FLibraryReference, "OPAMP_DUAL");
  EXPECT_STREQ(c.R.S5, "fifth text");
  EXPECT_STREQ(c.R.S6, "sixth text");
  EXPECT_EQ(c.R.I3, -2147483647 - 1);
  EXPECT_EQ(c.R.FPartCount, 2);
  EXPECT_EQ(c.R.I4, 44);
  EXPECT_NE(c.R.FDesignatorParameter, 0);
  EXPECT_NE(c.R.FContainer, 0);

  TSchDesignatorLocksRecord locks{};
  EXPECT_EQ(Api().DesignatorLocks(kSchQueryModeRead, u7, &locks), kSchQuerySuccess);
  EXPECT_EQ(locks.LockFlag1, 1);
  EXPECT_EQ(locks.LockFlag2, 1);

  TSchGrafObjectRecord g{};
  EXPECT_EQ(Api().GrafObject(kSchQueryModeRead, u7, &g), kSchQuerySuccess);
  EXPECT_EQ(g.FObjectId, pravik::kObjectIdComponent);
  EXPECT_EQ(g.AttributeC, 8);
  EXPECT_EQ(g.FOwnerPartId, 9);
  TSchWorkspaceObjectRecord w{};
  EXPECT_EQ(Api().WorkspaceObject(kSchQueryModeRead, u7, &w), kSchQuerySuccess);
  EXPECT_EQ(std::vector<int>(w.AttributeD, w.AttributeD + 5), (std::vector<int>{10, 20, 30, 40, 50}));

  // The designator parameter, written as an object in the file.
  const TParameterRead d = ReadParameter(c.R.FDesignatorParameter);
  EXPECT_STREQ(d.R.FName, "Designator");
  EXPECT_STREQ(d.R.FValue, "U7");
  EXPECT_EQ(d.R.FReadOnlyFlags, 1);
  EXPECT_EQ(d.R.FLocationX, 501);
  EXPECT_EQ(d.R.AttributeB, -4);
  EXPECT_EQ(d.R.ParameterInteger, 17);
  EXPECT_EQ(d.R.ParameterByte1, 11);
  EXPECT_EQ(d.R.ParameterByte2, 12);
  EXPECT_EQ(d.R.ParameterByte3, 13);
  EXPECT_EQ(d.R.ParameterByte4, 14);
  EXPECT_STREQ(d.R.ParameterString, "ps-designator");
  EXPECT_STREQ(d.R.T1, "t1-designator");
  EXPECT_STREQ(d.R.T2, "t2-designator");
  EXPECT_EQ(ReadText(Api().UniqueId, c.R.FDesignatorParameter), "DESIGNAT");

  // Pins come first in the container, in file order, then the parameters.
  const std::vector<THandle> members = GroupMembers(c.R.FContainer);
  ASSERT_EQ(members.size(), 5u);
  EXPECT_EQ(PinDesignators(members), (std::vector<std::string>{"1", "4", "7"}));
  const TPinRead p = ReadPin(members[0]);
  EXPECT_EQ(p.R.FLocationX, 460);
  EXPECT_EQ(p.R.FLocationY, 600);
  EXPECT_EQ(p.R.AttributeB, 22);
  EXPECT_EQ(p.R.AttributeA, 21);
  EXPECT_EQ(p.R.FOwnerPartId, 1);
  EXPECT_EQ(p.R.AttributeC, 23);
  EXPECT_EQ(p.R.PinInteger1, 31);
  EXPECT_EQ(p.R.PinByte, 33);
  EXPECT_STREQ(p.R.PinString1, "p1");
  EXPECT_STREQ(p.R.PinString2, "p2");
  EXPECT_STREQ(p.R.FDesignator, "1");
  EXPECT_STREQ(p.R.FName, "OUT_A");
  EXPECT_EQ(p.R.PinAttributeByte2, 42);
  EXPECT_EQ(p.R.PinAttributeByte3, 43);
  EXPECT_EQ(p.R.PinAttributeByte4, 44);
  EXPECT_EQ(p.R.FPinLength, 30);
  EXPECT_EQ(p.R.FOrientation, 2);
  EXPECT_EQ(p.R.PinAttributeByte1, 41);
  EXPECT_EQ(p.R.PinAttributeByte5, 45);
  EXPECT_EQ(p.R.PinAttributeByte6, 46);
  EXPECT_EQ(p.R.PinAttributeByte7, 47);
  EXPECT_EQ(p.R.PinAttributeByte8, 48);
  EXPECT_STREQ(p.R.PinString3, "p3");
  EXPECT_STREQ(p.R.PinString4, "p4");
  EXPECT_EQ(p.R.PinInteger2, -32);
  EXPECT_EQ(Api().WorkspaceObject(kSchQueryModeRead, members[0], &w), kSchQuerySuccess);
  EXPECT_EQ(std::vector<int>(w.AttributeD, w.AttributeD + 5), (std::vector<int>{24, 25, 26, 27, 28}));
  EXPECT_EQ(Api().GrafObject(kSchQueryModeRead, members[0], &g), kSchQuerySuccess);
  EXPECT_EQ(g.FObjectId, kSchObjectIdPin);
  EXPECT_EQ(g.FOwnerPartId, 1);

  const TParameterRead v = ReadParameter(members[3]);
  EXPECT_EQ(v.R.FLocationX, 520);
  EXPECT_EQ(v.R.FLocationY, 640);
  EXPECT_EQ(v.R.AttributeB, 52);
  EXPECT_EQ(v.R.AttributeA, 51);
  EXPECT_EQ(v.R.ParameterInteger, -59);
  EXPECT_EQ(v.R.ParameterByte1, 61);
  EXPECT_EQ(v.R.FValueType, 0);
  EXPECT_STREQ(v.R.FName, "Value");
  EXPECT_STREQ(v.R.FValue, "TL072");
  EXPECT_EQ(v.R.ParameterByte2, 62);
  EXPECT_EQ(v.R.FReadOnlyFlags, 2);
  EXPECT_STREQ(v.R.ParameterString, "ps-value");
  EXPECT_STREQ(v.R.T1, "t1-value");
  EXPECT_STREQ(v.R.T2, "t2-value");
  EXPECT_EQ(v.R.ParameterByte3, 63);
  EXPECT_EQ(v.R.ParameterByte4, 64);
  EXPECT_EQ(Api().GrafObject(kSchQueryModeRead, members[3], &g), kSchQuerySuccess);
  EXPECT_EQ(g.FObjectId, kSchObjectIdParameter);
  EXPECT_EQ(g.AttributeC, 53);
  EXPECT_EQ(g.FOwnerPartId, 1);
  EXPECT_EQ(ReadText(Api().UniqueId, members[3]), "VALUEUID");
  // "=Value" is calculated from the parameter beside it.
  EXPECT_EQ(ReadText(Api().CalculatedValue, members[4]), "TL072");
  EXPECT_EQ(ReadText(Api().CalculatedValue, members[3]), "TL072");

  const TImplementationRead i = ReadImplementation(implementation);
  EXPECT_STREQ(i.R.FModelName, "TL072");
  EXPECT_STREQ(i.R.K1, "k1 text");
  EXPECT_EQ(i.R.FLibraryModelAvailable, 1);
  EXPECT_EQ(i.R.FUseLibraryModel, 1);
  EXPECT_STREQ(i.R.FDescription, "Dual operational amplifier");
  EXPECT_NE(i.R.FParameterContainer, 0);
  EXPECT_STREQ(i.R.FPortMap, "(1:7),(4:4),(7:1)");
  EXPECT_EQ(i.R.K2, 9);
  EXPECT_EQ(ParameterNames(i.R.FParameterContainer),
            (std::vector<std::string>{"Kind", "SubKind", "Spice Prefix", "Netlist", "Temperature"}));

  TSchDatafileCountRecord count{};
  EXPECT_EQ(Api().DatafileCount(kSchQueryModeRead, implementation, &count), kSchQuerySuccess);
  EXPECT_EQ(count.Count, 2);
  TDatafileRead first(0), second(1), third(2);
  EXPECT_EQ(Api().Datafile(kSchQueryModeRead, implementation, &first.R), kSchQuerySuccess);
  EXPECT_STREQ(first.R.FLocation, "models/tl072.ckt");
  EXPECT_STREQ(first.R.FEntityName, "TL072");
  EXPECT_STREQ(first.R.FKind, "CKT");
  EXPECT_EQ(Api().Datafile(kSchQueryModeRead, implementation, &second.R), kSchQuerySuccess);
  EXPECT_STREQ(second.R.FEntityName, "TL072_ALT");
  EXPECT_STREQ(second.R.FLocation, "");
  EXPECT_EQ(Api().Datafile(kSchQueryModeRead, implementation, &third.R), kSchQueryFailure);

  // A component without a designator has no designator parameter and keeps the defaults.
  const THandle it = Api().CreateIterator(document, pravik::kObjectIdComponent);
  Api().GetFirstObject(it);
  const THandle bare = Api().GetNextObject(it);
  Api().DestroyIterator(it);
  const TComponentRead b = ReadComponent(bare);
  EXPECT_EQ(b.R.FDesignatorParameter, 0);
  EXPECT_EQ(b.R.E4, 1);
  EXPECT_EQ(b.R.I3, 1);
  EXPECT_EQ(b.R.FPartCount, 1);
  EXPECT_STREQ(b.R.S1, "");
  EXPECT_EQ(GroupMembers(b.R.FContainer), std::vector<THandle>{});
}

// ---- Round trips -------------------------------------------------------------------------------------------------

TEST_F(PravikTest, SavingWithoutChangesGivesBackTheSameJsonValue) {
  for (const char* fixture : {"every_attribute.SchDoc", "rc_filter.SchDoc", "rc.SchLib"}) {
    SCOPED_TRACE(fixture);
    const std::string path = Copy(fixture);
    const THandle document = Open(path);
    ASSERT_TRUE(Save(document, ""));
    const json before = ParseFile(kData + fixture), after = ParseFile(path);
    EXPECT_EQ(before, after) << json::diff(before, after).dump(1);
  }
}

TEST_F(PravikTest, SavingKeepsEveryMemberInItsPlaceAndARepeatedMemberOnce) {
  // Members in an unusual order at every level, unknown ones holding nested values, and members given twice, which
  // keep their first place and their last value as in any JSON reader.
  const std::string file = R"({
    "x-before": {"list": [1, {"deep": [true, null]}], "text": "kept"},
    "components": [{"x-first": [], "pins": [{"x-pin": {"a": 1}, "name": "ONE", "designator": "1"}],
      "designator": {"x-designator": 2, "value": "Q1"}, "location": [5, 6],
      "implementations": [{"datafiles": [{"x-link": "l", "location": "q.mdl", "location": "q2.mdl"}],
        "modelName": "QM", "parameters": [{"value": "v", "name": "Kind", "x-param": [3]}]}],
      "pins": [{"designator": "2", "x-pin": "second"}, {"designator": "3"}],
      "x-last": {"x": 1}, "x-last": {"y": 2}}],
    "x-after": 1.5,
    "format": "tolvex-schematic"
  })";
  const std::string path = Write("order.SchDoc", file);
  const THandle document = Open(path);
  ASSERT_TRUE(Save(document, ""));
  const auto saved = nlohmann::ordered_json::parse(FileText(path));
  const auto expected = nlohmann::ordered_json::parse(R"({
    "x-before": {"list": [1, {"deep": [true, null]}], "text": "kept"},
    "components": [{"x-first": [], "pins": [{"designator": "2", "x-pin": "second"}, {"designator": "3"}],
      "designator": {"x-designator": 2, "value": "Q1"}, "location": [5, 6],
      "implementations": [{"datafiles": [{"x-link": "l", "location": "q2.mdl"}],
        "modelName": "QM", "parameters": [{"value": "v", "name": "Kind", "x-param": [3]}]}],
      "x-last": {"y": 2}}],
    "x-after": 1.5,
    "format": "tolvex-schematic"
  })");
  EXPECT_EQ(saved, expected) << saved.dump(1);
  THandle implementation = 0;
  const THandle q1 = Component(document, "Q1", &implementation);
  EXPECT_EQ(PinDesignators(GroupMembers(ReadComponent(q1).R.FContainer)), (std::vector<std::string>{"2", "3"}));
}

// The plug-in reads a record and writes every field back; values that went into the wrong field would show here.
TEST_F(PravikTest, WritingBackWhatWasReadChangesNothing) {
  const std::string path = Copy("every_attribute.SchDoc");
  const THandle document = Open(path);
  THandle implementation = 0;
  const THandle u7 = Component(document, "U7", &implementation);

  TComponentRead c = ReadComponent(u7);
  EXPECT_EQ(Api().SchComponent(kSchQueryModeWrite, u7, &c.R), kSchQuerySuccess);
  TSchDesignatorLocksRecord locks{};
  Api().DesignatorLocks(kSchQueryModeRead, u7, &locks);
  EXPECT_EQ(Api().DesignatorLocks(kSchQueryModeWrite, u7, &locks), kSchQuerySuccess);
  std::vector<THandle> objects = GroupMembers(c.R.FContainer);
  objects.push_back(u7);
  objects.push_back(c.R.FDesignatorParameter);
  for (THandle h : GroupMembers(ReadImplementation(implementation).R.FParameterContainer)) objects.push_back(h);
  for (THandle h : objects) {
    TSchGrafObjectRecord g{};
    TSchWorkspaceObjectRecord w{};
    ASSERT_EQ(Api().GrafObject(kSchQueryModeRead, h, &g), kSchQuerySuccess);
    EXPECT_EQ(Api().GrafObject(kSchQueryModeWrite, h, &g), kSchQuerySuccess);
    ASSERT_EQ(Api().WorkspaceObject(kSchQueryModeRead, h, &w), kSchQuerySuccess);
    EXPECT_EQ(Api().WorkspaceObject(kSchQueryModeWrite, h, &w), kSchQuerySuccess);
    if (Api().GetObjectId(h) == kSchObjectIdPin) {
      TPinRead p = ReadPin(h);
      EXPECT_EQ(Api().Pin(kSchQueryModeWrite, h, &p.R), kSchQuerySuccess);
    } else if (Api().GetObjectId(h) == kSchObjectIdParameter) {
      TParameterRead p = ReadParameter(h);
      EXPECT_EQ(Api().SchParameter(kSchQueryModeWrite, h, &p.R), kSchQuerySuccess);
    }
  }
  TImplementationRead i = ReadImplementation(implementation);
  EXPECT_EQ(Api().Implementation(kSchQueryModeWrite, implementation, &i.R), kSchQuerySuccess);
  TSchDatafileCountRecord count{};
  Api().DatafileCount(kSchQueryModeRead, implementation, &count);
  EXPECT_EQ(Api().DatafileCount(kSchQueryModeWrite, implementation, &count), kSchQuerySuccess);
  for (std::int32_t k = 0; k < count.Count; ++k) {
    TDatafileRead link(k);
    ASSERT_EQ(Api().Datafile(kSchQueryModeRead, implementation, &link.R), kSchQuerySuccess);
    EXPECT_EQ(Api().Datafile(kSchQueryModeWrite, implementation, &link.R), kSchQuerySuccess);
  }

  ASSERT_TRUE(Save(document, ""));
  const json before = ParseFile(kData + "every_attribute.SchDoc"), after = ParseFile(path);
  EXPECT_EQ(before, after) << json::diff(before, after).dump(1);
}

TEST_F(PravikTest, WrittenFieldsAreReadBackAndSurviveASave) {
  const std::string path = Copy("rc_filter.SchDoc");
  THandle document = Open(path);
  THandle implementation = 0;
  THandle r1 = Component(document, "R1", &implementation);

  TComponentRead c = ReadComponent(r1);
  std::strcpy(c.R.S1, "new s1");
  std::strcpy(c.R.FLibraryReference, "RES_NEW");
  c.R.FLocationX = -5;
  c.R.E7 = 77;
  c.R.I4 = -44;
  c.R.FPartCount = 3;
  c.R.FContainer = 12345;  // the server's own handles are not taken from a write
  c.R.FDesignatorParameter = 0;
  ASSERT_EQ(Api().SchComponent(kSchQueryModeWrite, r1, &c.R), kSchQuerySuccess);

  const THandle value = ParameterNamed(ReadComponent(r1).R.FContainer, "Value");
  TParameterRead v = ReadParameter(value);
  std::strcpy(v.R.FValue, "4k7");
  v.R.FValueType = 3;
  v.R.FReadOnlyFlags = 2;
  // The single blanks a client sends for the attribute strings keep them; another text replaces them.
  const std::string readT1 = v.R.T1;
  std::strcpy(v.R.T1, " ");
  std::strcpy(v.R.T2, "t2-new");
  ASSERT_EQ(Api().SchParameter(kSchQueryModeWrite, value, &v.R), kSchQuerySuccess);

  TImplementationRead i = ReadImplementation(implementation);
  std::strcpy(i.R.FDescription, "Changed");
  std::strcpy(i.R.FPortMap, "(1:2),(2:1)");
  i.R.FUseLibraryModel = 1;
  i.R.FLibraryModelAvailable = 1;  // the server's to say; ignored
  i.R.FParameterContainer = 0;
  ASSERT_EQ(Api().Implementation(kSchQueryModeWrite, implementation, &i.R), kSchQuerySuccess);

  // Links are replaced in order: the count first, then each link.
  TSchDatafileCountRecord count{1};
  ASSERT_EQ(Api().DatafileCount(kSchQueryModeWrite, implementation, &count), kSchQuerySuccess);
  TDatafileRead link(0);
  std::strcpy(link.R.FLocation, "models/res.mdl");
  std::strcpy(link.R.FEntityName, "RESISTOR");
  std::strcpy(link.R.FKind, "MDL");
  ASSERT_EQ(Api().Datafile(kSchQueryModeWrite, implementation, &link.R), kSchQuerySuccess);
  link.R.Index = 1;
  EXPECT_EQ(Api().Datafile(kSchQueryModeWrite, implementation, &link.R), kSchQueryFailure);

  ASSERT_TRUE(Save(document, ""));
  Api().CloseAll();
  document = Open(path);
  r1 = Component(document, "R1", &implementation);

  c = ReadComponent(r1);
  EXPECT_STREQ(c.R.S1, "new s1");
  EXPECT_STREQ(c.R.FLibraryReference, "RES_NEW");
  EXPECT_EQ(c.R.FLocationX, -5);
  EXPECT_EQ(c.R.E7, 77);
  EXPECT_EQ(c.R.I4, -44);
  EXPECT_EQ(c.R.FPartCount, 3);
  EXPECT_NE(c.R.FDesignatorParameter, 0);
  EXPECT_EQ(ReadParameter(c.R.FDesignatorParameter).R.FValue, std::string("R1"));
  v = ReadParameter(ParameterNamed(c.R.FContainer, "Value"));
  EXPECT_STREQ(v.R.FValue, "4k7");
  EXPECT_EQ(v.R.FValueType, 3);
  EXPECT_EQ(v.R.FReadOnlyFlags, 2);
  EXPECT_EQ(std::string(v.R.T1), readT1);
  EXPECT_STREQ(v.R.T2, "t2-new");
  i = ReadImplementation(implementation);
  EXPECT_STREQ(i.R.FDescription, "Changed");
  EXPECT_STREQ(i.R.FPortMap, "(1:2),(2:1)");
  EXPECT_EQ(i.R.FUseLibraryModel, 1);
  EXPECT_EQ(i.R.FLibraryModelAvailable, 0);
  EXPECT_NE(i.R.FParameterContainer, 0);
  Api().DatafileCount(kSchQueryModeRead, implementation, &count);
  ASSERT_EQ(count.Count, 1);
  TDatafileRead back(0);
  ASSERT_EQ(Api().Datafile(kSchQueryModeRead, implementation, &back.R), kSchQuerySuccess);
  EXPECT_STREQ(back.R.FLocation, "models/res.mdl");
  EXPECT_STREQ(back.R.FKind, "MDL");

  // The rest of the file, the wires and labels too, is as it was.
  json expected = ParseFile(kData + "rc_filter.SchDoc"), saved = ParseFile(path);
  EXPECT_EQ(saved["objects"], expected["objects"]);
  EXPECT_EQ(saved["components"][0], expected["components"][0]);
}

// ---- Buffers -----------------------------------------------------------------------------------------------------

TEST_F(PravikTest, LongTextsAreCutToTheirBufferWithoutSplittingACharacter) {
  const std::string e = "\xC3\xA9";  // é
  const std::string description = std::string(kSchTextBufferSize - 2, 'd') + e + "tail";
  const std::string portMap = std::string(70000, 'p');
  const std::string exact = std::string(kSchTextBufferSize - 1, 'm');
  json file = {{"components",
                {{{"designator", "X1"},
                  {"implementations", {{{"modelName", exact}, {"description", description}, {"portMap", portMap}}}}}}}};
  const THandle document = Open(Write("long.SchDoc", file.dump()));
  THandle implementation = 0;
  Component(document, "X1", &implementation);

  // Canaries right behind each buffer would be overwritten by a server that wrote too much.
  struct TGuarded {
    std::array<char, kSchTextBufferSize> Text;
    std::array<char, 16> Canary;
  };
  TGuarded model{}, k1{}, desc{};
  std::vector<char> longBuffer(kSchLongBufferSize + 16, '#');
  model.Canary.fill('#'), k1.Canary.fill('#'), desc.Canary.fill('#');
  TSchImplementationRecord r;
  r.FModelName = model.Text.data(), r.K1 = k1.Text.data(), r.FDescription = desc.Text.data();
  r.FPortMap = longBuffer.data();
  ASSERT_EQ(Api().Implementation(kSchQueryModeRead, implementation, &r), kSchQuerySuccess);
  EXPECT_EQ(std::string(r.FModelName), exact);
  EXPECT_EQ(std::string(r.FDescription), std::string(kSchTextBufferSize - 2, 'd'));
  EXPECT_EQ(std::strlen(r.FPortMap), kSchLongBufferSize - 1);
  for (const auto* canary : {&model.Canary, &k1.Canary, &desc.Canary})
    EXPECT_EQ(std::string(canary->begin(), canary->end()), std::string(16, '#'));
  EXPECT_EQ(std::string(longBuffer.end() - 16, longBuffer.end()), std::string(16, '#'));

  // A client text without a NUL is read no further than its buffer.
  std::memset(desc.Text.data(), 'z', desc.Text.size());
  ASSERT_EQ(Api().Implementation(kSchQueryModeWrite, implementation, &r), kSchQuerySuccess);
  TImplementationRead back = ReadImplementation(implementation);
  EXPECT_EQ(std::string(back.R.FDescription), std::string(kSchTextBufferSize - 1, 'z'));
}

TEST_F(PravikTest, ARecordWithoutAllItsBuffersIsRefusedUntouched) {
  const THandle document = Open(Copy("rc_filter.SchDoc"));
  THandle implementation = 0;
  const THandle r1 = Component(document, "R1", &implementation);
  TComponentRead c;
  c.R.S6 = nullptr;
  EXPECT_EQ(Api().SchComponent(kSchQueryModeRead, r1, &c.R), kSchQueryFailure);
  EXPECT_STREQ(c.R.FLibraryReference, "untouched");
  EXPECT_EQ(c.R.FPartCount, 0);
  TImplementationRead i;
  i.R.FPortMap = nullptr;
  EXPECT_EQ(Api().Implementation(kSchQueryModeRead, implementation, &i.R), kSchQueryFailure);
  EXPECT_STREQ(i.R.FModelName, "untouched");
  EXPECT_EQ(Api().UniqueId(kSchQueryModeRead, ReadComponent(r1).R.FDesignatorParameter, nullptr), kSchQueryFailure);
  EXPECT_EQ(Api().SchComponent(kSchQueryModeRead, r1, nullptr), kSchQueryFailure);
  // Neither mode 2 nor a write of the server's own texts is taken.
  TComponentRead again;
  EXPECT_EQ(Api().SchComponent(2, r1, &again.R), kSchQueryFailure);
  char text[kSchTextBufferSize] = "X";
  EXPECT_EQ(Api().UniqueId(kSchQueryModeWrite, ReadComponent(r1).R.FDesignatorParameter, text), kSchQueryFailure);
  EXPECT_EQ(Api().CalculatedValue(kSchQueryModeWrite, ReadComponent(r1).R.FDesignatorParameter, text),
            kSchQueryFailure);
  // A component has at least one part.
  TComponentRead zero = ReadComponent(r1);
  zero.R.FPartCount = 0;
  std::strcpy(zero.R.S1, "not taken");
  EXPECT_EQ(Api().SchComponent(kSchQueryModeWrite, r1, &zero.R), kSchQueryFailure);
  EXPECT_STREQ(ReadComponent(r1).R.S1, "");
}

// ---- Malformed files ---------------------------------------------------------------------------------------------

TEST_F(PravikTest, MalformedFilesAreRefusedWithTheirPlaceAndNothingIsLoaded) {
  struct TCase {
    const char* Name;
    std::string Content;  // empty: use the fixture of that name
    std::string Expected;
  };
  const std::vector<TCase> cases = {
      {"malformed_syntax.SchDoc", "", "malformed_syntax.SchDoc:6:7: malformed JSON: "},
      {"malformed_member.SchDoc", "",
       "malformed_member.SchDoc: components[0].pins[1].length: expected an integer, found string"},
      {"empty.SchDoc", "", "empty.SchDoc:1:1: malformed JSON: "},
      {"trailing.SchDoc", "{}\n\n  x", "trailing.SchDoc:3:3: malformed JSON: "},
      {"unterminated.SchDoc", "{\n \"components\": [\n  {\"designator\": \"R1\n", "unterminated.SchDoc:3:"},
      {"array.SchDoc", "[]", "array.SchDoc: the file holds array, not a JSON object"},
      {"byte.SchDoc", R"({"components": [{"e1": 256}]})",
       "byte.SchDoc: components[0].e1: the integer 256 is out of range (0 to 255)"},
      {"negative.SchDoc", R"({"components": [{"pins": [{"orientation": -1}]}]})",
       "components[0].pins[0].orientation: the integer -1 is out of range"},
      {"wide.SchDoc", R"({"components": [{"i1": 2147483648}]})", "components[0].i1: the integer 2147483648"},
      {"float.SchDoc", R"({"components": [{"location": [1.5, 2]}]})",
       "components[0].location[0]: expected an integer, found number"},
      {"short.SchDoc", R"({"components": [{"workspace": [1, 2]}]})",
       "components[0].workspace: expected an array of 5 integers, found one of 2"},
      {"nul.SchDoc", R"({"components": [{"designator": "R\u00001"}]})",
       "components[0].designator: the text holds a NUL character"},
      {"designator.SchDoc", R"({"components": [{"designator": 7}]})",
       "components[0].designator: expected a text or an object, found number"},
      {"parts.SchDoc", R"({"components": [{"partCount": 0}]})",
       "components[0].partCount: a component has at least 1 part, not 0"},
      {"pins.SchDoc", R"({"components": [{"pins": {}}]})", "components[0].pins: expected an array, found object"},
      {"link.SchDoc", R"({"components": [{"implementations": [{"datafiles": ["x.mdl"]}]}]})",
       "components[0].implementations[0].datafiles[0]: expected an object, found string"},
      {"format.SchDoc", R"({"format": "something else"})", "format: expected \"tolvex-schematic\""},
      {"version.SchDoc", R"({"version": 2})", "version: version 2 is not the version this server reads (1)"},
      {"current.SchLib", R"({"currentComponent": "NONE", "components": [{"libraryReference": "RES"}]})",
       "current.SchLib: currentComponent: no component has the library reference \"NONE\""},
      // A file is judged whole: its JSON first, then its format and version, then its first wrong member.
      {"syntax after a member.SchDoc", R"({"components": [{"e1": 256}], "x": tru})",
       "syntax after a member.SchDoc:1:36: malformed JSON: "},
      {"format after a member.SchDoc", R"({"components": [{"e1": 256}], "format": "other"})",
       "format after a member.SchDoc: format: expected \"tolvex-schematic\""},
      {"two wrong members.SchDoc", R"({"components": [{"pins": [{"length": "x"}]}, {"e1": 256}]})",
       "two wrong members.SchDoc: components[0].pins[0].length: expected an integer, found string"},
      {"number.SchDoc", "3", "number.SchDoc: the file holds number, not a JSON object"},
      {"overflow.SchDoc", R"({"components": [{"i1": 1e999}]})", "overflow.SchDoc:1:24: malformed JSON: number overflow parsing '1e999'"},
      {"component.SchDoc", R"({"components": [[1]]})", "components[0]: expected an object, found array"},
      {"components.SchDoc", R"({"components": 5})", "components: expected an array, found number"},
      {"designator object.SchDoc", R"({"components": [{"designator": {"value": 5}}]})",
       "components[0].designator.value: expected a text, found number"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string path =
        c.Content.empty() && std::string(c.Name) != "empty.SchDoc" ? Copy(c.Name) : Write(c.Name, c.Content);
    const std::string error = OpenError(path);
    EXPECT_NE(error.find(c.Expected), std::string::npos) << error;
    EXPECT_EQ(error.rfind(path, 0), 0u) << "the message starts with the file: " << error;
    EXPECT_EQ(Api().GetDocumentCount(), 0);
    EXPECT_EQ(Api().GetDocumentHandleFromFileName(path.c_str()), 0);
  }
  const std::string missing = OpenError(FFolder + "/missing.SchDoc");
  EXPECT_NE(missing.find("cannot open " + FFolder + "/missing.SchDoc"), std::string::npos) << missing;
  EXPECT_EQ(OpenError(FFolder), "cannot open " + FFolder + ": it is not a file");
  EXPECT_EQ(OpenError(""), "no file name given");
}

TEST_F(PravikTest, AFailedLoadLeavesNoHandleBehind) {
  // The second component is broken; the first was already built when the fault was found.
  const std::string path = Write("half.SchDoc", R"({"components": [{"designator": "R1"}, {"e2": "x"}]})");
  OpenError(path);
  const THandle document = Open(Copy("rc_filter.SchDoc"));
  THandle component = 0, implementation = 0;
  EXPECT_EQ(Api().FindComponent(document, "R1", &component, &implementation), TRUE32);
  // Every handle below the new document's belongs to the failed load and is dead.
  for (THandle h = 0x10000; h < document; ++h) EXPECT_EQ(Api().GetObjectId(h), kSchObjectIdNone) << h;
}

// Where a document nested too deep is refused: FILE:LINE:COLUMN of the array or object that would lie one level
// below the limit, Opening being how many brackets and braces of Text open before and at it.
std::string TooDeepAt(const std::string& path, const std::string& text, std::size_t opening) {
  std::size_t seen = 0, line = 1, column = 1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((text[i] == '[' || text[i] == '{') && ++seen == opening) break;
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return path + ":" + std::to_string(line) + ":" + std::to_string(column) + ": nested deeper than " +
         std::to_string(standins::kJsonNestingLimit) + " levels of arrays and objects";
}

TEST_F(PravikTest, NestingDeeperThanAnyDocumentIsRefusedWhereItGoesTooDeep) {
  using hostile::NestedArrays;
  using hostile::NestedObjects;
  const std::size_t limit = standins::kJsonNestingLimit;
  struct TCase {
    const char* Name;
    std::string Text;
    std::size_t TooDeep;  // the count of openings up to the refused one; 0: the file loads
  };
  const std::vector<TCase> cases = {
      // The document's object is the first level.
      {"free objects at the limit", "{\"objects\": " + NestedArrays(limit - 1) + "}", 0},
      {"a component's unknown member at the limit",
       "{\"components\": [{\"designator\": \"R1\", \"wires\": " + NestedObjects(limit - 3) + "}]}", 0},
      {"free objects one level too deep", "{\"objects\": " + NestedArrays(limit) + "}", limit + 1},
      {"an unknown member of a pin ten thousand deep",
       "{\"components\": [{\"pins\": [{\"designator\": \"1\", \"extra\": " + NestedArrays(10000) + "}]}]}", limit + 1},
      {"objects in objects ten thousand deep", "{\"sheet\": " + NestedObjects(10000) + "}", limit + 1},
      {"a format that is no text", "{\"format\": " + NestedArrays(100000) + "}", limit + 1},
      {"on a later line", "{\n  \"objects\": [\n    " + NestedArrays(limit) + "\n  ]\n}", limit + 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Api().CloseAll();
    const std::string path = Write("deep.SchDoc", c.Text);
    if (c.TooDeep) {
      EXPECT_EQ(OpenError(path), TooDeepAt(path, c.Text, c.TooDeep));
      EXPECT_EQ(Api().GetDocumentCount(), 0);
      continue;
    }
    // What loads at the limit saves, and what is saved loads again as the same value.
    const THandle document = Open(path);
    ASSERT_TRUE(Save(document, ""));
    Api().CloseAll();
    Open(path);
    EXPECT_EQ(ParseFile(path), json::parse(c.Text));
  }
  // The first fault in the file is the one told, whether it is the nesting or the JSON.
  const std::string before = "{\"x\": tru, \"y\": " + NestedArrays(100) + "}";
  EXPECT_EQ(OpenError(Write("syntax.SchDoc", before)).rfind(FFolder + "/syntax.SchDoc:1:7: malformed JSON", 0), 0u);
  const std::string after = "{\"y\": " + NestedArrays(100) + ", \"x\": tru}";
  const std::string deep = Write("deep.SchDoc", after);
  EXPECT_EQ(OpenError(deep), TooDeepAt(deep, after, limit + 1));
}

TEST_F(PravikTest, OnlyARegularFileIsLoaded) {
  hostile::TFifo fifo(FFolder + "/fifo.SchDoc");
  ASSERT_TRUE(fifo.Made());
  fs::create_symlink("/dev/zero", FFolder + "/zero.SchDoc");
  fs::create_symlink("/dev/null", FFolder + "/null.SchDoc");
  const std::string large = FFolder + "/large.SchDoc";
  ASSERT_TRUE(hostile::MakeSparseFile(large, standins::kSchematicFileSizeLimit + 1));
  struct TCase {
    std::string Path;
    std::string Expected;
  };
  const std::vector<TCase> cases = {
      {fifo.Path(), "it is a FIFO, not a regular file"},
      {FFolder + "/zero.SchDoc", "it is a device, not a regular file"},
      {FFolder + "/null.SchDoc", "it is a device, not a regular file"},
      {large, "it is larger than 256 MiB"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Path);
    EXPECT_EQ(OpenError(c.Path), "cannot open " + c.Path + ": " + c.Expected);
    EXPECT_EQ(Api().GetDocumentCount(), 0);
  }
  EXPECT_FALSE(fifo.Released()) << "the server waited for a writer on the FIFO";
}

// ---- Handles -----------------------------------------------------------------------------------------------------

TEST_F(PravikTest, DeadUnknownAndWrongKindHandlesAreAnsweredWithoutHarm) {
  THandle document = Open(Copy("rc_filter.SchDoc"));
  THandle implementation = 0;
  const THandle r1 = Component(document, "R1", &implementation);
  const TComponentRead c = ReadComponent(r1);
  const THandle container = c.R.FContainer, designator = c.R.FDesignatorParameter;
  const THandle pin = GroupMembers(container)[0];
  const THandle parameterContainer = ReadImplementation(implementation).R.FParameterContainer;
  const THandle groupIterator = Api().CreateSimpleGroupIterator(container);
  const THandle documentIterator = Api().CreateIterator(document, kSchObjectIdPin);
  Api().CloseAll();
  // The same file again: its objects get new handles, and none of the old ones comes back.
  const THandle reopened = Open(Copy("rc_filter.SchDoc"));
  EXPECT_GT(reopened, documentIterator);

  const std::vector<std::pair<const char*, THandle>> bad = {
      {"zero", 0},
      {"minus one", -1},
      {"unknown", 0x7FFFFFF0},
      {"dead component", r1},
      {"dead pin", pin},
      {"dead parameter", designator},
      {"dead document", document},
      {"dead container", container},
      {"dead implementation", implementation},
      {"dead parameter container", parameterContainer},
      {"dead iterator", groupIterator},
      {"dead document iterator", documentIterator},
      {"live document", reopened},
  };
  for (const auto& [name, h] : bad) {
    SCOPED_TRACE(name);
    TComponentRead cr;
    TPinRead pr;
    TParameterRead par;
    TImplementationRead ir;
    TSchGrafObjectRecord g{};
    TSchWorkspaceObjectRecord w{};
    TSchDesignatorLocksRecord l{};
    TSchDatafileCountRecord dc{};
    TDatafileRead df(0);
    char text[kSchTextBufferSize] = "untouched";
    for (std::uint8_t mode : {kSchQueryModeRead, kSchQueryModeWrite}) {
      EXPECT_EQ(Api().SchComponent(mode, h, &cr.R), kSchQueryFailure);
      EXPECT_EQ(Api().Pin(mode, h, &pr.R), kSchQueryFailure);
      EXPECT_EQ(Api().SchParameter(mode, h, &par.R), kSchQueryFailure);
      EXPECT_EQ(Api().Implementation(mode, h, &ir.R), kSchQueryFailure);
      EXPECT_EQ(Api().GrafObject(mode, h, &g), kSchQueryFailure);
      EXPECT_EQ(Api().WorkspaceObject(mode, h, &w), kSchQueryFailure);
      EXPECT_EQ(Api().DesignatorLocks(mode, h, &l), kSchQueryFailure);
      EXPECT_EQ(Api().DatafileCount(mode, h, &dc), kSchQueryFailure);
      EXPECT_EQ(Api().Datafile(mode, h, &df.R), kSchQueryFailure);
      EXPECT_EQ(Api().UniqueId(mode, h, text), kSchQueryFailure);
      EXPECT_EQ(Api().CalculatedValue(mode, h, text), kSchQueryFailure);
    }
    EXPECT_STREQ(text, "untouched");
    EXPECT_STREQ(cr.R.S1, "untouched");
    EXPECT_EQ(Api().GetObjectId(h), kSchObjectIdNone);
    EXPECT_EQ(Api().CreateSimpleGroupIterator(h), 0);
    EXPECT_EQ(Api().CreateGroupIterator(h), 0);
    EXPECT_EQ(Api().GetFirstGroupObject(h), 0);
    EXPECT_EQ(Api().GetNextGroupObject(h), 0);
    EXPECT_EQ(Api().GetFirstObject(h), 0);
    EXPECT_EQ(Api().GetNextObject(h), 0);
    Api().DestroyGroupIterator(h);
    Api().DestroyIterator(h);
    THandle of = 99;
    EXPECT_EQ(Api().IsCurrentLibraryComponent(h, &of), FALSE32);
    EXPECT_EQ(of, 0);
    EXPECT_EQ(Api().GetCurrentLibraryComponent(h), 0);
    EXPECT_EQ(Api().AddObjectToContainer(h, h), kSchQueryFailure);
    EXPECT_EQ(Api().DeleteObjectFromContainer(h, h), kSchQueryFailure);
    Api().DestroyObject(h);
    EXPECT_EQ(Api().ImportFromUser(h), FALSE32);
    Api().RedrawObject(h);
    std::int32_t a = -1, b = -1, cc = -1, d = -1;
    Api().GetObjectBoundingRectangle(h, &a, &b, &cc, &d);
    EXPECT_EQ(std::vector<int>({a, b, cc, d}), std::vector<int>({-1, -1, -1, -1}));
    EXPECT_EQ(Api().GetImplementation(h, 0), 0);
    if (h != reopened) {
      THandle component = 1, impl = 1;
      EXPECT_EQ(Api().FindComponent(h, "R1", &component, &impl), FALSE32);
      EXPECT_EQ(component, 0);
      EXPECT_EQ(impl, 0);
    }
  }
  EXPECT_EQ(Api().GetRedrawCount(0), 0);
  EXPECT_EQ(Api().GetDocumentCount(), 1);
}

TEST_F(PravikTest, HandlesOfTheWrongKindAreRefused) {
  const THandle document = Open(Copy("rc_filter.SchDoc"));
  THandle implementation = 0;
  const THandle r1 = Component(document, "R1", &implementation);
  const THandle container = ReadComponent(r1).R.FContainer;
  const THandle pin = GroupMembers(container)[0];
  const THandle parameter = GroupMembers(container)[2];
  const THandle groupIterator = Api().CreateSimpleGroupIterator(container);
  const THandle documentIterator = Api().CreateIterator(document, kSchObjectIdPin);

  EXPECT_EQ(Api().GetObjectId(pin), kSchObjectIdPin);
  EXPECT_EQ(Api().GetObjectId(parameter), kSchObjectIdParameter);
  EXPECT_EQ(Api().GetObjectId(r1), pravik::kObjectIdComponent);
  EXPECT_EQ(Api().GetObjectId(implementation), pravik::kObjectIdImplementation);
  for (THandle h : {container, document, groupIterator, documentIterator})
    EXPECT_EQ(Api().GetObjectId(h), kSchObjectIdNone);

  TComponentRead c;
  TPinRead p;
  TParameterRead r;
  TImplementationRead i;
  TSchGrafObjectRecord g{};
  EXPECT_EQ(Api().SchComponent(kSchQueryModeRead, pin, &c.R), kSchQueryFailure);
  EXPECT_EQ(Api().Pin(kSchQueryModeRead, parameter, &p.R), kSchQueryFailure);
  EXPECT_EQ(Api().SchParameter(kSchQueryModeRead, pin, &r.R), kSchQueryFailure);
  EXPECT_EQ(Api().Implementation(kSchQueryModeRead, r1, &i.R), kSchQueryFailure);
  EXPECT_EQ(Api().GrafObject(kSchQueryModeRead, implementation, &g), kSchQueryFailure);
  EXPECT_EQ(Api().CreateSimpleGroupIterator(r1), 0);  // a component is not its container
  EXPECT_EQ(Api().CreateIterator(container, kSchObjectIdPin), 0);
  // Each kind of iterator answers only its own calls.
  EXPECT_EQ(Api().GetFirstObject(groupIterator), 0);
  EXPECT_EQ(Api().GetFirstGroupObject(documentIterator), 0);
  Api().DestroyIterator(groupIterator);
  EXPECT_NE(Api().GetFirstGroupObject(groupIterator), 0);
  // Containers take only their kind of member.
  EXPECT_EQ(Api().AddObjectToContainer(ReadImplementation(implementation).R.FParameterContainer, pin),
            kSchQueryFailure);
  EXPECT_EQ(Api().AddObjectToContainer(container, r1), kSchQueryFailure);
  EXPECT_EQ(Api().AddObjectToContainer(r1, parameter), kSchQueryFailure);
  EXPECT_EQ(Api().CreateObjectEx(kSchObjectIdPin), 0);
  EXPECT_EQ(Api().CreateObjectEx(kSchObjectIdNone), 0);
  EXPECT_EQ(GroupMembers(container).size(), 3u);
}

// ---- Containers --------------------------------------------------------------------------------------------------

TEST_F(PravikTest, AParameterMovesBetweenContainersAndIsNeverCopied) {
  struct TCase {
    const char* Name;
    bool DeleteFirst;  // the plug-in may take it out first or add it straight to the other container
  };
  for (const TCase& move : {TCase{"delete, then add", true}, TCase{"add only", false}}) {
    SCOPED_TRACE(move.Name);
    const std::string path = Copy("every_attribute.SchDoc");
    const THandle document = Open(path);
    THandle implementation = 0;
    const THandle u7 = Component(document, "U7", &implementation);
    const THandle componentContainer = ReadComponent(u7).R.FContainer;
    const THandle implementationContainer = ReadImplementation(implementation).R.FParameterContainer;
    const THandle value = ParameterNamed(componentContainer, "Value");
    ASSERT_NE(value, 0);

    if (move.DeleteFirst) {
      ASSERT_EQ(Api().DeleteObjectFromContainer(componentContainer, value), kSchQuerySuccess);
      EXPECT_EQ(Api().DeleteObjectFromContainer(componentContainer, value), kSchQueryFailure);
      EXPECT_EQ(Api().GetObjectId(value), kSchObjectIdParameter);  // free, but alive
    }
    ASSERT_EQ(Api().AddObjectToContainer(implementationContainer, value), kSchQuerySuccess);
    EXPECT_EQ(Api().AddObjectToContainer(implementationContainer, value), kSchQuerySuccess);  // already there

    EXPECT_EQ(ParameterNames(componentContainer), std::vector<std::string>{"Gain"});
    EXPECT_EQ(ParameterNames(implementationContainer),
              (std::vector<std::string>{"Kind", "SubKind", "Spice Prefix", "Netlist", "Temperature", "Value"}));
    EXPECT_EQ(ParameterNamed(implementationContainer, "Value"), value);

    ASSERT_TRUE(Save(document, ""));
    const json saved = ParseFile(path);
    const json& component = saved["components"][0];
    ASSERT_EQ(component["parameters"].size(), 1u);
    const json& moved = component["implementations"][0]["parameters"].back();
    EXPECT_EQ(moved, ParseFile(kData + "every_attribute.SchDoc")["components"][0]["parameters"][0])
        << "the parameter keeps every member, the unknown one too";
    Api().CloseAll();
  }
}

TEST_F(PravikTest, CreatedParametersAreFreeUntilPlacedAndDestroyedOnesAreGone) {
  const std::string path = Copy("rc_filter.SchDoc");
  const THandle document = Open(path);
  THandle implementation = 0;
  const THandle r1 = Component(document, "R1", &implementation);
  const THandle parameters = ReadImplementation(implementation).R.FParameterContainer;

  const THandle created = Api().CreateObjectEx(kSchObjectIdParameter);
  ASSERT_NE(created, 0);
  EXPECT_EQ(Api().GetObjectId(created), kSchObjectIdParameter);
  TParameterRead fresh = ReadParameter(created);
  EXPECT_STREQ(fresh.R.FName, "");
  const std::string uniqueId = ReadText(Api().UniqueId, created);
  EXPECT_EQ(uniqueId.size(), 8u);
  EXPECT_NE(uniqueId, ReadText(Api().UniqueId, Api().CreateObjectEx(kSchObjectIdParameter)));
  std::strcpy(fresh.R.FName, "Tolerance");
  std::strcpy(fresh.R.FValue, "5%");
  ASSERT_EQ(Api().SchParameter(kSchQueryModeWrite, created, &fresh.R), kSchQuerySuccess);
  EXPECT_EQ(ParameterNamed(parameters, "Tolerance"), 0) << "not in any container yet";
  ASSERT_EQ(Api().AddObjectToContainer(parameters, created), kSchQuerySuccess);

  // The designator belongs to its component: it can be neither destroyed nor moved.
  const THandle designator = ReadComponent(r1).R.FDesignatorParameter;
  Api().DestroyObject(designator);
  EXPECT_EQ(Api().GetObjectId(designator), kSchObjectIdParameter);
  EXPECT_EQ(Api().AddObjectToContainer(parameters, designator), kSchQueryFailure);

  const THandle netlist = ParameterNamed(parameters, "Netlist");
  Api().DestroyObject(netlist);
  EXPECT_EQ(Api().GetObjectId(netlist), kSchObjectIdNone);
  TParameterRead gone;
  EXPECT_EQ(Api().SchParameter(kSchQueryModeRead, netlist, &gone.R), kSchQueryFailure);
  EXPECT_EQ(ParameterNames(parameters), (std::vector<std::string>{"Kind", "SubKind", "Spice Prefix", "Tolerance"}));

  ASSERT_TRUE(Save(document, ""));
  const json saved = ParseFile(path)["components"][1]["implementations"][0]["parameters"];
  ASSERT_EQ(saved.size(), 4u);
  EXPECT_EQ(saved[3], (json{{"name", "Tolerance"}, {"value", "5%"}, {"uniqueId", uniqueId}}));
}

// ---- Iterators ---------------------------------------------------------------------------------------------------

TEST_F(PravikTest, IteratorsYieldEachMemberOnceThenZero) {
  const THandle document = Open(Copy("rc_filter.SchDoc"));
  THandle implementation = 0;
  const THandle r1 = Component(document, "R1", &implementation);
  const THandle container = ReadComponent(r1).R.FContainer;

  for (bool simple : {true, false}) {
    SCOPED_TRACE(simple ? "simple group iterator" : "group iterator");
    const THandle it = simple ? Api().CreateSimpleGroupIterator(container) : Api().CreateGroupIterator(container);
    std::vector<THandle> seen;
    for (THandle h = Api().GetFirstGroupObject(it); h; h = Api().GetNextGroupObject(it)) seen.push_back(h);
    EXPECT_EQ(std::set<THandle>(seen.begin(), seen.end()).size(), 3u);
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_EQ(Api().GetNextGroupObject(it), 0);
    EXPECT_EQ(Api().GetNextGroupObject(it), 0);
    EXPECT_EQ(Api().GetFirstGroupObject(it), seen[0]) << "first starts over";
    Api().DestroyGroupIterator(it);
    EXPECT_EQ(Api().GetFirstGroupObject(it), 0);
  }

  // A member destroyed or moved away while an iterator walks is skipped; one added waits for the next iterator.
  const THandle it = Api().CreateSimpleGroupIterator(container);
  const THandle first = Api().GetFirstGroupObject(it);
  const std::vector<THandle> all = GroupMembers(container);
  Api().DestroyObject(all[1]);
  const THandle added = Api().CreateObjectEx(kSchObjectIdParameter);
  Api().AddObjectToContainer(container, added);
  EXPECT_EQ(first, all[0]);
  EXPECT_EQ(Api().GetNextGroupObject(it), all[2]);
  EXPECT_EQ(Api().GetNextGroupObject(it), 0);
  Api().DestroyGroupIterator(it);
  EXPECT_EQ(GroupMembers(container), (std::vector<THandle>{all[0], all[2], added}));

  // The document iterator of a schematic: every component's objects of one kind.
  EXPECT_EQ(PinDesignators(DocumentMembers(document, kSchObjectIdPin)),
            (std::vector<std::string>{"1", "2", "1", "1", "2"}));
  EXPECT_EQ(DocumentMembers(document, pravik::kObjectIdComponent).size(), 3u);
  EXPECT_EQ(DocumentMembers(document, kSchObjectIdParameter).size(), 3u + 3u + 1u);  // designators and values
  EXPECT_EQ(DocumentMembers(document, kSchObjectIdNone), std::vector<THandle>{});
}

TEST_F(PravikTest, ObjectsOutliveManyShortLivedHandlesMadeAfterThem) {
  // Tens of thousands of iterators made and dropped: the handles that died are dead for good, while the document's
  // objects, made before them, and one iterator kept throughout still answer.
  const THandle document = Open(Copy("rc_filter.SchDoc"));
  THandle implementation = 0;
  const THandle r1 = Component(document, "R1", &implementation);
  const THandle container = ReadComponent(r1).R.FContainer;
  const std::vector<THandle> members = GroupMembers(container);
  const THandle kept = Api().CreateSimpleGroupIterator(container);
  std::vector<THandle> dropped;
  for (int i = 0; i < 20000; ++i) {
    const THandle it = Api().CreateIterator(document, kSchObjectIdPin);
    if (i % 1000 == 0) dropped.push_back(it);
    ASSERT_NE(Api().GetFirstObject(it), 0);
    Api().DestroyIterator(it);
  }
  for (const THandle it : dropped) EXPECT_EQ(Api().GetFirstObject(it), 0);
  EXPECT_EQ(Component(document, "R1", &implementation), r1);
  EXPECT_EQ(Api().GetImplementation(r1, 0), implementation);
  EXPECT_EQ(Api().GetImplementation(r1, 1), 0);
  EXPECT_EQ(Api().GetImplementation(r1, -1), 0);
  EXPECT_EQ(ReadComponent(r1).R.FContainer, container);
  EXPECT_EQ(GroupMembers(container), members);
  EXPECT_EQ(Api().GetFirstGroupObject(kept), members[0]);
  Api().DestroyGroupIterator(kept);
  EXPECT_EQ(Api().GetFirstGroupObject(kept), 0);
  const THandle fresh = Api().CreateSimpleGroupIterator(container);
  EXPECT_GT(fresh, dropped.back()) << "handles are never given out twice";
  EXPECT_EQ(Api().GetFirstGroupObject(fresh), members[0]);
  Api().DestroyGroupIterator(fresh);
}

// ---- Libraries ---------------------------------------------------------------------------------------------------

TEST_F(PravikTest, ALibraryShowsItsCurrentComponentsPinsOnTheDocument) {
  const std::string path = Copy("rc.SchLib");
  const THandle library = Open(path);
  const THandle schematic = Open(Copy("rc_filter.SchDoc"));
  THandle res = 0, cap = 0;
  const THandle components = Api().CreateIterator(library, pravik::kObjectIdComponent);
  cap = Api().GetFirstObject(components);
  EXPECT_EQ(Api().GetNextObject(components), 0) << "a library's sheet shows only its current component";
  Api().DestroyIterator(components);
  res = Component(library, "R?");

  EXPECT_EQ(Api().GetCurrentLibraryComponent(library), cap);
  EXPECT_STREQ(ReadComponent(cap).R.FLibraryReference, "CAP");
  THandle of = 0;
  EXPECT_EQ(Api().IsCurrentLibraryComponent(cap, &of), TRUE32);
  EXPECT_EQ(of, library);
  EXPECT_EQ(Api().IsCurrentLibraryComponent(cap, nullptr), TRUE32);
  EXPECT_EQ(Api().IsCurrentLibraryComponent(res, &of), FALSE32);
  EXPECT_EQ(of, 0);
  EXPECT_EQ(Api().IsCurrentLibraryComponent(Component(schematic, "R1"), &of), FALSE32);
  EXPECT_EQ(Api().GetCurrentLibraryComponent(schematic), 0);

  // The current component's pins come from the document iterator, not from its container, so that a reader who
  // takes both sees each pin once; any other component's pins are in its container.
  const THandle capContainer = ReadComponent(cap).R.FContainer;
  EXPECT_EQ(PinDesignators(DocumentMembers(library, kSchObjectIdPin)), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(PinDesignators(GroupMembers(capContainer)), std::vector<std::string>{});
  EXPECT_EQ(ParameterNames(capContainer), std::vector<std::string>{"Value"});
  EXPECT_EQ(PinDesignators(GroupMembers(ReadComponent(res).R.FContainer)), (std::vector<std::string>{"1", "2"}));

  // Another current component turns the two around, and is what a save records.
  ASSERT_EQ(Api().SetCurrentLibraryComponent(res), TRUE32);
  EXPECT_EQ(Api().SetCurrentLibraryComponent(Component(schematic, "R1")), FALSE32);
  EXPECT_EQ(Api().GetCurrentLibraryComponent(library), res);
  EXPECT_EQ(PinDesignators(GroupMembers(capContainer)), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(PinDesignators(GroupMembers(ReadComponent(res).R.FContainer)), std::vector<std::string>{});
  const std::vector<THandle> pins = DocumentMembers(library, kSchObjectIdPin);
  ASSERT_EQ(pins.size(), 2u);
  EXPECT_EQ(ReadPin(pins[0]).R.FLocationX, -30);
  ASSERT_TRUE(Save(library, ""));
  EXPECT_EQ(ParseFile(path)["currentComponent"], "RES");
}

TEST_F(PravikTest, DocumentsAreFoundByTheirFileNameAndListedInLoadOrder) {
  const std::string schematic = Copy("rc_filter.SchDoc");
  const std::string library = Copy("rc.SchLib", "RC.SCHLIB");
  const THandle first = Open(schematic), second = Open(library);
  EXPECT_EQ(Open(schematic), first) << "a loaded file is not read twice";

  struct TCase {
    const char* Name;
    std::string FileName;
    THandle Expected;
  };
  const std::string relative = fs::relative(schematic, fs::current_path()).string();
  for (const TCase& c : std::vector<TCase>{
           {"as opened", schematic, first},
           {"not normalised", FFolder + "/./sub/../rc_filter.SchDoc", first},
           {"relative", relative, first},
           {"other letter case", FFolder + "/rc.schlib", second},
           {"unknown", FFolder + "/other.SchDoc", 0},
           {"empty", "", 0},
       }) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(Api().GetDocumentHandleFromFileName(c.FileName.c_str()), c.Expected);
  }
  EXPECT_EQ(Api().GetDocumentHandleFromFileName(nullptr), 0);
  EXPECT_NE(Api().GetCurrentLibraryComponent(second), 0) << "the extension in capitals is still a library";

  EXPECT_EQ(Api().GetDocumentCount(), 2);
  char name[16];
  EXPECT_EQ(Api().GetDocument(0, nullptr, 0), first);
  EXPECT_EQ(Api().GetDocument(1, name, sizeof name), second);
  EXPECT_EQ(std::string(name), library.substr(0, sizeof name - 1));
  EXPECT_EQ(Api().GetDocument(2, name, sizeof name), 0);
  EXPECT_STREQ(name, "");
}

// ---- Saving ------------------------------------------------------------------------------------------------------

TEST_F(PravikTest, AFailedSaveLeavesTheOldFileAndNoTemporaryFile) {
  const std::string path = Copy("rc_filter.SchDoc");
  const THandle document = Open(path);
  // A change, so that a save that got through would show.
  const THandle value = ParameterNamed(ReadComponent(Component(document, "R1")).R.FContainer, "Value");
  TParameterRead v = ReadParameter(value);
  std::strcpy(v.R.FValue, "2k2");
  ASSERT_EQ(Api().SchParameter(kSchQueryModeWrite, value, &v.R), kSchQuerySuccess);
  const std::string original = FileText(path);

  struct TCase {
    const char* Stage;
    std::string Expected;
  };
  for (const TCase& c : std::vector<TCase>{{"create", "cannot create the temporary file"},
                                           {"write", "cannot write"},
                                           {"sync", "cannot flush"},
                                           {"rename", "cannot replace it with"}}) {
    SCOPED_TRACE(c.Stage);
    Api().SetSaveFailure(c.Stage);
    std::string error;
    EXPECT_FALSE(Save(document, "", &error));
    EXPECT_EQ(error.rfind("cannot save " + path + ": ", 0), 0u) << error;
    EXPECT_NE(error.find(c.Expected), std::string::npos) << error;
    EXPECT_NE(error.find("Input/output error"), std::string::npos) << error;
    EXPECT_EQ(FileText(path), original);
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"rc_filter.SchDoc"});
  }
  Api().SetSaveFailure(nullptr);

  // Real failures: a folder that is gone, and a target that is a folder.
  std::string error;
  EXPECT_FALSE(Save(document, FFolder + "/gone/rc_filter.SchDoc", &error));
  EXPECT_NE(error.find("cannot save " + FFolder + "/gone/rc_filter.SchDoc"), std::string::npos) << error;
  EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
  fs::create_directory(FFolder + "/taken.SchDoc");
  std::ofstream(FFolder + "/taken.SchDoc/inside") << "kept";
  EXPECT_FALSE(Save(document, FFolder + "/taken.SchDoc", &error));
  EXPECT_NE(error.find("cannot replace it with"), std::string::npos) << error;
  EXPECT_EQ(FileText(FFolder + "/taken.SchDoc/inside"), "kept");
  EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"rc_filter.SchDoc", "taken.SchDoc"}));
  EXPECT_EQ(FileText(path), original);

  // And a save that works after all of it.
  ASSERT_TRUE(Save(document, "", &error)) << error;
  EXPECT_EQ(ParseFile(path)["components"][1]["parameters"][0]["value"], "2k2");
  EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"rc_filter.SchDoc", "taken.SchDoc"}));
}

TEST_F(PravikTest, SavingKeepsTheFilesPermissionsAndFollowsALink) {
  const std::string path = Copy("rc_filter.SchDoc");
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink(path, FFolder + "/link.SchDoc");
  const THandle document = Open(FFolder + "/link.SchDoc");
  ASSERT_TRUE(Save(document, ""));
  EXPECT_TRUE(fs::is_symlink(FFolder + "/link.SchDoc"));
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(ParseFile(path), ParseFile(kData + "rc_filter.SchDoc"));
}

TEST_F(PravikTest, TextThatIsNotUtf8StopsTheSaveWithItsPlace) {
  const std::string path = Copy("rc_filter.SchDoc");
  const THandle document = Open(path);
  const THandle value = ParameterNamed(ReadComponent(Component(document, "C1")).R.FContainer, "Value");
  TParameterRead v = ReadParameter(value);
  std::strcpy(v.R.FValue, "4.7\xB5");  // a µ in an 8-bit code page
  ASSERT_EQ(Api().SchParameter(kSchQueryModeWrite, value, &v.R), kSchQuerySuccess);
  EXPECT_STREQ(ReadParameter(value).R.FValue, "4.7\xB5") << "the server keeps the bytes it was given";
  const std::string original = FileText(path);
  std::string error;
  EXPECT_FALSE(Save(document, "", &error));
  EXPECT_EQ(error, "cannot save " + path + ": components[2].parameters[0].value: the text is not valid UTF-8");
  EXPECT_EQ(FileText(path), original);
}

// ---- Interactive edits, redraws, rectangles and drawings ---------------------------------------------------------

struct TObserved {
  std::vector<std::string> Events;
  static void Observe(void* context, const char* event, THandle handle, const char* detail) {
    static_cast<TObserved*>(context)->Events.push_back(std::string(event) + " " + std::to_string(handle) + " " +
                                                       detail);
  }
};

TEST_F(PravikTest, ImportFromUserPlaysTheQueuedEdits) {
  TObserved observed;
  Api().SetObserver(&TObserved::Observe, &observed);
  const THandle document = Open(Copy("rc_filter.SchDoc"));
  const THandle value = ParameterNamed(ReadComponent(Component(document, "R1")).R.FContainer, "Value");
  const std::string h = std::to_string(value);

  EXPECT_EQ(Api().QueueUserEdit(R"({"value": "2k2", "readOnly": 2})"), TRUE32);
  EXPECT_EQ(Api().QueueUserEdit("false"), TRUE32);
  EXPECT_EQ(Api().QueueUserEdit(R"({"colour": "red"})"), TRUE32);
  EXPECT_EQ(Api().QueueUserEdit(R"({"value": 7})"), TRUE32);
  EXPECT_EQ(Api().QueueUserEdit("[1]"), FALSE32);
  EXPECT_EQ(Api().QueueUserEdit("{"), FALSE32);
  EXPECT_EQ(Api().QueueUserEdit(nullptr), FALSE32);

  EXPECT_EQ(Api().ImportFromUser(value), TRUE32);
  EXPECT_STREQ(ReadParameter(value).R.FValue, "2k2");
  EXPECT_EQ(ReadParameter(value).R.FReadOnlyFlags, 2);
  EXPECT_EQ(Api().ImportFromUser(value), FALSE32);
  EXPECT_EQ(Api().ImportFromUser(value), FALSE32);
  EXPECT_EQ(Api().ImportFromUser(value), FALSE32);
  EXPECT_EQ(Api().ImportFromUser(value), FALSE32) << "an empty queue is a cancelled edit";
  EXPECT_STREQ(ReadParameter(value).R.FValue, "2k2");
  EXPECT_EQ(observed.Events, (std::vector<std::string>{
                                 "import " + h + " accepted",
                                 "import " + h + " cancelled",
                                 "import " + h + " refused: the object has no member colour",
                                 "import " + h + " refused: value: expected a text, found number",
                                 "import " + h + " cancelled",
                             }));
}

TEST_F(PravikTest, RedrawsAreCountedAndTold) {
  TObserved observed;
  Api().SetObserver(&TObserved::Observe, &observed);
  const THandle document = Open(Copy("rc_filter.SchDoc"));
  const THandle r1 = Component(document, "R1"), c1 = Component(document, "C1");
  Api().RedrawObject(r1);
  Api().RedrawObject(r1);
  Api().RedrawObject(c1);
  Api().RedrawObject(document);
  EXPECT_EQ(Api().GetRedrawCount(r1), 2);
  EXPECT_EQ(Api().GetRedrawCount(c1), 1);
  EXPECT_EQ(Api().GetRedrawCount(document), 0);
  EXPECT_EQ(Api().GetRedrawCount(0), 3);
  EXPECT_EQ(observed.Events.size(), 4u);
  EXPECT_EQ(observed.Events.back(), "redraw " + std::to_string(document) + " unknown");
}

TEST_F(PravikTest, BoundingRectanglesSpanTheLocationAndBothEndsOfEveryPin) {
  const THandle document = Open(Copy("every_attribute.SchDoc"));
  const THandle u7 = Component(document, "U7");
  const std::vector<THandle> members = GroupMembers(ReadComponent(u7).R.FContainer);
  struct TCase {
    const char* Name;
    THandle Handle;
    std::array<int, 4> Expected;  // left, bottom, right, top
  };
  for (const TCase& c : std::vector<TCase>{
           // Pins at (460,600) length 30 to the left, (500,560) 20 down, (540,600) 30 to the right.
           {"component", u7, {430, 540, 570, 600}},
           {"pin pointing left", members[0], {430, 600, 460, 600}},
           {"pin pointing down", members[1], {500, 540, 500, 560}},
           {"parameter", members[3], {520, 640, 520, 640}},
       }) {
    SCOPED_TRACE(c.Name);
    std::int32_t a = -1, b = -1, cc = -1, d = -1;
    Api().GetObjectBoundingRectangle(c.Handle, &a, &b, &cc, &d);
    EXPECT_EQ((std::array<int, 4>{a, b, cc, d}), c.Expected);
  }
  Api().GetObjectBoundingRectangle(u7, nullptr, nullptr, nullptr, nullptr);  // nowhere to write: nothing happens
}

TEST_F(PravikTest, APainterRecordsEveryPartDrawnIntoIt) {
  TObserved observed;
  Api().SetObserver(&TObserved::Observe, &observed);
  const THandle document = Open(Copy("every_attribute.SchDoc"));
  const THandle u7 = Component(document, "U7");
  IInterface* raw = Api().CreatePainter();
  ASSERT_NE(raw, nullptr);
  void* object = nullptr;
  ASSERT_EQ(raw->QueryInterface(pravik::IID_IPravikPainter, &object), S_OK32);
  auto* painter = static_cast<pravik::IPravikPainter*>(object);

  Api().DrawComponentByHandle(raw, u7, 1);
  Api().DrawComponentByHandle(raw, u7, 2);
  Api().DrawComponentByHandle(raw, u7, 3);  // U7 has two parts
  Api().DrawComponentByHandle(raw, u7, 0);
  Api().DrawComponentByHandle(raw, document, 1);  // not a component
  struct TStranger : IInterface {
    HRESULT32 TOLVEX_STDCALL QueryInterface(const TGUID&, void**) override { return E_NOINTERFACE32; }
    std::uint32_t TOLVEX_STDCALL AddRef() override { return 1; }
    std::uint32_t TOLVEX_STDCALL Release() override { return 1; }
  } stranger;
  Api().DrawComponentByHandle(&stranger, u7, 1);  // another server's painter is not drawn into
  Api().DrawComponentByHandle(nullptr, u7, 1);

  ASSERT_EQ(painter->GetDrawingCount(), 2);
  char text[256];
  const std::int32_t length = painter->GetDrawing(0, text, sizeof text);
  EXPECT_EQ(length, static_cast<std::int32_t>(std::strlen(text)));
  EXPECT_STREQ(text, "component=\"U7\" part=1 pins=\"1,4\" rect=430,540,570,600");
  painter->GetDrawing(1, text, sizeof text);
  EXPECT_STREQ(text, "component=\"U7\" part=2 pins=\"4,7\" rect=430,540,570,600");
  char small[8];
  EXPECT_GT(painter->GetDrawing(0, small, sizeof small), 7);
  EXPECT_STREQ(small, "compone");
  EXPECT_EQ(painter->GetDrawing(2, text, sizeof text), -1);
  EXPECT_EQ(observed.Events, (std::vector<std::string>{"draw " + std::to_string(u7) + " part=1",
                                                       "draw " + std::to_string(u7) + " part=2"}));
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(raw->QueryInterface(IID_IClient, &none), E_NOINTERFACE32);
  EXPECT_EQ(none, nullptr);
  painter->Release();
  EXPECT_EQ(raw->Release(), 0u);
}

// ---- Part graphics and the part drawing ------------------------------------------------------------------------

// Part Part of Component drawn into a new painter and painted, through the host's interfaces, at Width by Height.
ui::TDrawing PaintedPart(THandle component, std::int32_t part, int width = 313, int height = 222) {
  IInterface* raw = Api().CreatePainter();
  void* object = nullptr;
  EXPECT_EQ(raw->QueryInterface(IID_IExternalForm, &object), S_OK32);
  auto form = TInterfacePtr<IExternalForm>::Attach(static_cast<IExternalForm*>(object));
  raw->Release();
  // Drawn into through its IExternalForm, as the plug-in does.
  Api().DrawComponentByHandle(form.Get(), component, part);
  TExternalFormContent content(form);
  ui::TDrawing drawing;
  drawing.Width = width;
  drawing.Height = height;
  drawing.Title = content.Name();
  EXPECT_TRUE(content.Paint(drawing));
  return drawing;
}

std::vector<std::string> TextsOf(const ui::TDrawing& drawing) {
  std::vector<std::string> texts;
  for (const ui::TShape& shape : drawing.Shapes)
    if (shape.Kind == ui::shText) texts.push_back(shape.Text);
  std::sort(texts.begin(), texts.end());
  return texts;
}

std::size_t CountOf(const ui::TDrawing& drawing, ui::TShapeKind kind, ui::TRgb pen = 0xFFFFFFFFu) {
  return static_cast<std::size_t>(std::count_if(drawing.Shapes.begin(), drawing.Shapes.end(), [&](const ui::TShape& s) {
    return s.Kind == kind && (pen == 0xFFFFFFFFu || s.Pen == pen);
  }));
}

TEST_F(PravikTest, PartGraphicsAndPinFlagsAreReadAndSavedBack) {
  const std::string path = Copy("every_attribute.SchDoc");
  const THandle document = Open(path);
  // Saved through an edit of the component, so the graphics are written afresh and not copied.
  ASSERT_TRUE(Api().QueueUserEdit(R"({"s1": "changed"})"));
  ASSERT_NE(Api().ImportFromUser(Component(document, "U7")), 0);
  ASSERT_TRUE(Save(document, ""));
  json before = ParseFile(kData + "every_attribute.SchDoc");
  before["components"][0]["s1"] = "changed";
  const json after = ParseFile(path);
  EXPECT_EQ(before, after) << json::diff(before, after).dump(1);
  EXPECT_EQ(after["components"][0]["graphics"][0]["style"], "an unknown member of a shape");
}

TEST_F(PravikTest, WrongGraphicsAreRefusedWithTheirPlace) {
  struct TCase {
    const char* Name;
    std::string Graphics;  // the component's graphics member
    std::string Expected;
  };
  const std::vector<TCase> cases = {
      {"not a list", R"({})", "components[0].graphics: expected an array, found object"},
      {"not a shape", R"([7])", "components[0].graphics[0]: expected an object, found number"},
      {"no type", R"([{"points": [[0, 0], [1, 1]]}])", "components[0].graphics[0].type: a shape needs a type"},
      {"an unknown type", R"([{"type": "blob"}])",
       "components[0].graphics[0].type: \"blob\" is none of line, rectangle, polyline, polygon, arc, ellipse, text"},
      {"a line of three points", R"([{"type": "line", "points": [[0, 0], [1, 1], [2, 2]]}])",
       "components[0].graphics[0].points: a line needs 2 points, not 3"},
      {"a rectangle of one point", R"([{"type": "rectangle", "points": [[0, 0]]}])",
       "components[0].graphics[0].points: a rectangle needs 2 points, not 1"},
      {"a polyline of one point", R"([{"type": "polyline", "points": [[0, 0]]}])",
       "components[0].graphics[0].points: a polyline needs at least 2 points, not 1"},
      {"a polygon of two points", R"([{"type": "polygon", "points": [[0, 0], [1, 1]]}])",
       "components[0].graphics[0].points: a polygon needs at least 3 points, not 2"},
      {"the first wrong shape is told", R"([{"type": "line"}, {"type": "blob"}])",
       "components[0].graphics[0].points: a line needs 2 points, not 0"},
      {"a point of three numbers", R"([{"type": "line", "points": [[0, 0, 0], [1, 1]]}])",
       "components[0].graphics[0].points[0]: expected an array of 2 integers, found one of 3"},
      {"points not a list", R"([{"type": "line", "points": 4}])",
       "components[0].graphics[0].points: expected an array of points [x, y], found number"},
      {"a negative radius", R"([{"type": "ellipse", "radius": -1}])",
       "components[0].graphics[0].radius: expected 0 to 2147483647, found -1"},
      {"a font of no size", R"([{"type": "text", "fontSize": 0}])",
       "components[0].graphics[0].fontSize: expected 1 to 2147483647, found 0"},
      {"a line too wide", R"([{"type": "ellipse", "lineWidth": 101}])",
       "components[0].graphics[0].lineWidth: expected 0 to 100, found 101"},
      {"an unknown alignment", R"([{"type": "text", "alignment": "middle"}])",
       "components[0].graphics[0].alignment: expected left, center or right, found \"middle\""},
      {"a colour by name", R"([{"type": "ellipse", "color": "navy"}])",
       "components[0].graphics[0].color: expected a colour such as \"#000080\""},
      {"a fill too short", R"([{"type": "ellipse", "fill": "#fff"}])",
       "components[0].graphics[0].fill: expected a colour such as \"#FFFFC0\", or no fill member"},
      {"a text that is a number", R"([{"type": "text", "text": 5}])",
       "components[0].graphics[0].text: expected a text, found number"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string path = Write("graphics.SchDoc", R"({"components": [{"graphics": )" + c.Graphics + "}]}");
    const std::string error = OpenError(path);
    EXPECT_NE(error.find(c.Expected), std::string::npos) << error;
    EXPECT_EQ(Api().GetDocumentCount(), 0);
  }
}

TEST_F(PravikTest, APartIsDrawnWithItsOwnAndTheCommonShapesAndPins) {
  const THandle document = Open(std::string(TOLVEX_TEST_DATA_DIR) + "/editor/parts.SchDoc");
  const THandle u1 = Component(document, "U1");
  const ui::TDrawing part1 = PaintedPart(u1, 1), part2 = PaintedPart(u1, 2);
  EXPECT_EQ(part1.Title, "part-U1-1");
  EXPECT_EQ(part2.Title, "part-U1-2");
  // The part's own triangle and letter, then the pins of the part and the supply pins of both; OUT hides its name.
  EXPECT_EQ(TextsOf(part1), (std::vector<std::string>{"1", "2", "3", "4", "8", "A", "IN+", "IN-", "V+", "V-"}));
  EXPECT_EQ(TextsOf(part2), (std::vector<std::string>{"4", "5", "6", "7", "8", "B", "IN+", "IN-", "V+", "V-"}));
  for (const ui::TDrawing* drawing : {&part1, &part2}) {
    EXPECT_EQ(CountOf(*drawing, ui::shPolygon), 1u);
    EXPECT_EQ(CountOf(*drawing, ui::shLine, 0x000000), 5u) << "a line per pin";
    ASSERT_FALSE(drawing->Shapes.empty());
    // The white background first, then everything within the area.
    EXPECT_EQ(drawing->Shapes[0].Kind, ui::shRectangle);
    EXPECT_EQ(drawing->Shapes[0].Fill, 0xFFFFFFu);
    for (const ui::TShape& shape : drawing->Shapes)
      for (const ui::TDrawingPoint& p : shape.Points) {
        EXPECT_TRUE(p.X >= 0 && p.X <= 313 && p.Y >= 0 && p.Y <= 222) << p.X << "," << p.Y;
      }
  }
  const ui::TShape& triangle = *std::find_if(part1.Shapes.begin(), part1.Shapes.end(),
                                             [](const ui::TShape& s) { return s.Kind == ui::shPolygon; });
  EXPECT_EQ(triangle.Pen, 0x000080u);
  EXPECT_EQ(triangle.PenWidth, 2);
  EXPECT_EQ(triangle.Fill, 0xFFFFC0u);
  // The sheet's y axis points up: the inverting input (y 120) is drawn above the other (y 80).
  const auto textY = [&](const std::string& text) {
    for (const ui::TShape& s : part1.Shapes)
      if (s.Kind == ui::shText && s.Text == text) return s.Points[0].Y;
    return -1;
  };
  EXPECT_LT(textY("IN-"), textY("IN+"));

  // Arcs and ellipses come out as their kinds: the inductor's four turns, the transistor's circle.
  EXPECT_EQ(CountOf(PaintedPart(Component(document, "L1"), 1), ui::shArc), 4u);
  const ui::TDrawing q1 = PaintedPart(Component(document, "Q1"), 1);
  EXPECT_EQ(CountOf(q1, ui::shEllipse), 1u);
  EXPECT_EQ(TextsOf(q1), (std::vector<std::string>{"1", "2", "3"})) << "the pins hide their names";
}

TEST_F(PravikTest, APartWithoutGraphicsShowsItsPinsAndALibrarysCurrentComponentDrawsTheSame) {
  const std::string library = R"({"components": [
    {"libraryReference": "RES", "pins": [{"designator": "1", "name": "A", "location": [0, 0], "length": 10}]},
    {"libraryReference": "BOX", "designator": "U?",
     "pins": [{"designator": "1", "name": "IN", "location": [-20, 0], "length": 10},
              {"designator": "2", "name": "OUT", "location": [20, 0], "length": 10, "orientation": 2}],
     "graphics": [{"type": "rectangle", "points": [[-10, -10], [10, 10]]}]}]})";
  const THandle document = Open(Write("parts.SchLib", library));
  // The library shows its first component: the document's component iterator yields it.
  const THandle iterator = Api().CreateIterator(document, pravik::kObjectIdComponent);
  const THandle res = Api().GetFirstObject(iterator);
  Api().DestroyIterator(iterator);
  ASSERT_EQ(Api().GetCurrentLibraryComponent(document), res);
  // Without graphics: the pin's line, its designator and its name.
  const ui::TDrawing bare = PaintedPart(res, 1);
  EXPECT_EQ(CountOf(bare, ui::shLine), 1u);
  EXPECT_EQ(TextsOf(bare), (std::vector<std::string>{"1", "A"}));
  EXPECT_EQ(bare.Title, "part-RES-1") << "a component without a designator is named by its library reference";

  // Made the library's current component, whose pins the document shows rather than its container, it is drawn
  // as before.
  const THandle box = Component(document, "U?");
  const ui::TDrawing before = PaintedPart(box, 1);
  ASSERT_NE(Api().SetCurrentLibraryComponent(box), 0);
  ASSERT_NE(Api().IsCurrentLibraryComponent(box, nullptr), 0);
  const ui::TDrawing current = PaintedPart(box, 1);
  EXPECT_EQ(current, before);
  EXPECT_EQ(CountOf(current, ui::shRectangle), 2u) << "the background and the body";
  EXPECT_EQ(TextsOf(current), (std::vector<std::string>{"1", "2", "IN", "OUT"}));
}

TEST_F(PravikTest, APainterPaintsWhatItsPartIsNowAndNothingForAGoneOne) {
  const THandle document = Open(Copy("every_attribute.SchDoc"));
  const THandle u7 = Component(document, "U7");
  IInterface* raw = Api().CreatePainter();
  void* object = nullptr;
  ASSERT_EQ(raw->QueryInterface(IID_IExternalForm, &object), S_OK32);
  auto form = TInterfacePtr<IExternalForm>::Attach(static_cast<IExternalForm*>(object));
  // Its identity is one object whichever interface it is asked through.
  void* identity = nullptr;
  ASSERT_EQ(form->QueryInterface(IID_IInterface, &identity), S_OK32);
  EXPECT_EQ(identity, static_cast<void*>(raw));
  static_cast<IInterface*>(identity)->Release();
  char name[16] = "untouched";
  EXPECT_EQ(form->GetName(name, sizeof name), 0) << "nothing drawn into it yet";
  EXPECT_STREQ(name, "");

  Api().DrawComponentByHandle(form.Get(), u7, 2);
  EXPECT_EQ(form->GetName(name, 8), 9);
  EXPECT_STREQ(name, "part-U7");
  TExternalFormContent content(form);
  ui::TDrawing drawing;
  drawing.Width = 200;
  drawing.Height = 100;
  ASSERT_TRUE(content.Paint(drawing));
  // Part 2: its polygon and the common text; pin 4 hides its name and designator, pin 7 shows both.
  EXPECT_EQ(CountOf(drawing, ui::shPolygon), 1u);
  EXPECT_EQ(CountOf(drawing, ui::shArc), 0u);
  EXPECT_EQ(TextsOf(drawing), (std::vector<std::string>{"7", "OUT_B", "TL072"}));
  EXPECT_EQ(form->Paint(nullptr, 10, 10), E_FAIL32);
  EXPECT_EQ(form->Paint(nullptr, -1, 10), E_FAIL32);

  Api().CloseAll();
  ui::TDrawing gone;
  gone.Width = 200;
  gone.Height = 100;
  EXPECT_TRUE(content.Paint(gone));
  EXPECT_TRUE(gone.Shapes.empty());
  pravik::IPravikPainter* recorder = nullptr;
  ASSERT_EQ(raw->QueryInterface(pravik::IID_IPravikPainter, reinterpret_cast<void**>(&recorder)), S_OK32);
  EXPECT_EQ(recorder->GetDrawingCount(), 1) << "drawn into through IExternalForm, it records as before";
  recorder->Release();
  raw->Release();
}

// ---- The stand-in host with the server -------------------------------------------------------------------------

// Runs tolvex-host in Folder with Arguments and returns its exit status; the journal's lines go to Journal.
int RunHost(const std::string& folder, const std::string& arguments, std::vector<std::string>& journal) {
  const std::string journalPath = folder + "/journal.txt";
  const std::string command = "cd '" + folder + "' && '" + TOLVEX_BIN_DIR + "/tolvex-host' --quiet --journal '" +
                              journalPath + "' " + arguments + " >'" + folder + "/output.txt' 2>&1";
  const int status = std::system(command.c_str());
  std::ifstream in(journalPath);
  journal.clear();
  for (std::string line; std::getline(in, line);) journal.push_back(line);
  fs::remove(journalPath);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> Lines(const std::vector<std::string>& journal, const std::string& event) {
  std::vector<std::string> lines;
  for (const std::string& line : journal)
    if (line.rfind(event + " ", 0) == 0) lines.push_back(line);
  return lines;
}

TEST_F(PravikTest, TheHostLoadsAddressesAndSavesSchematics) {
  Copy("rc_filter.SchDoc");
  Copy("rc.SchLib");
  Copy("malformed_member.SchDoc");
  std::vector<std::string> journal;
  auto text = [&] {
    std::string all;
    for (const auto& line : journal) all += line + "\n";
    return all;
  };

  ASSERT_EQ(RunHost(FFolder,
                    "--schematic rc_filter.SchDoc --schematic ./rc.SchLib open rc.SchLib component 'c?' "
                    "open rc_filter.SchDoc component R1 component R9 save rc.SchLib save other.SchDoc",
                    journal),
            0)
      << text();
  const std::vector<std::string> opened = Lines(journal, "schematic-open");
  ASSERT_EQ(opened.size(), 2u) << text();
  EXPECT_EQ(opened[0], "schematic-open path=\"rc_filter.SchDoc\" result=\"loaded\" handle=\"65536\" error=\"\"");
  const std::vector<std::string> components = Lines(journal, "component");
  ASSERT_EQ(components.size(), 3u) << text();
  EXPECT_NE(components[0].find("designator=\"c?\" handle=\"6"), std::string::npos) << components[0];
  // The same files in the same order give the same handles in every run.
  EXPECT_EQ(components[1], "component designator=\"R1\" handle=\"65550\" implementation=\"65556\"");
  EXPECT_EQ(components[2], "component designator=\"R9\" handle=\"0\" implementation=\"0\"");
  const std::vector<std::string> saves = Lines(journal, "schematic-save");
  ASSERT_EQ(saves.size(), 2u) << text();
  EXPECT_EQ(saves[0], "schematic-save path=\"rc.SchLib\" result=\"saved\" error=\"\"");
  EXPECT_EQ(saves[1],
            "schematic-save path=\"other.SchDoc\" result=\"failed\" error=\"cannot save other.SchDoc: it "
            "is not loaded into Pravik.dll\"");
  EXPECT_EQ(ParseFile(FFolder + "/rc.SchLib"), ParseFile(kData + "rc.SchLib"));

  // A file that cannot be loaded ends the host before the plug-in is loaded.
  EXPECT_EQ(RunHost(FFolder, "--schematic rc_filter.SchDoc --schematic malformed_member.SchDoc module-name", journal),
            2);
  const std::vector<std::string> failed = Lines(journal, "schematic-open");
  ASSERT_EQ(failed.size(), 2u) << text();
  EXPECT_EQ(failed[1],
            "schematic-open path=\"malformed_member.SchDoc\" result=\"failed\" handle=\"0\" "
            "error=\"malformed_member.SchDoc: components[0].pins[1].length: expected an integer, found string\"");
  EXPECT_EQ(Lines(journal, "plugin"), std::vector<std::string>{});
  EXPECT_NE(FileText(FFolder + "/output.txt").find("tolvex-host: malformed_member.SchDoc: components[0]"),
            std::string::npos);
}

}  // namespace
