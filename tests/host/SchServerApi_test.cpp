// Tests of the schematic server binding against a table of hand-written fake exports.
#include "host/SchServerApi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "os/Os.h"

namespace tolvex {
namespace {

// Every fake call appends "Name(arguments)" here.
std::string Log;

template <class... A>
void Called(const char* name, A... args) {
  std::string call = std::string(name) + "(";
  ((call += std::to_string(+args) + ","), ...);
  if constexpr (sizeof...(A) > 0) call.pop_back();
  Log += call + ")";
}

struct TFakePainter : IInterface {
  int Refs = 0;
  HRESULT32 TOLVEX_STDCALL QueryInterface(const TGUID&, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE32;
  }
  std::uint32_t TOLVEX_STDCALL AddRef() override { return ++Refs; }
  std::uint32_t TOLVEX_STDCALL Release() override { return --Refs; }
};
TFakePainter Painter;

std::int32_t TOLVEX_STDCALL FakeGrafObject(std::uint8_t mode, THandle handle, TSchGrafObjectRecord* record) {
  Called("GrafObject", mode, handle);
  record->FOwnerPartId = 2;
  return 40;
}
std::int32_t TOLVEX_STDCALL FakeWorkspaceObject(std::uint8_t mode, THandle handle, TSchWorkspaceObjectRecord* record) {
  Called("WorkspaceObject", mode, handle);
  record->AttributeD[4] = 9;
  return 41;
}
std::int32_t TOLVEX_STDCALL FakeSchComponent(std::uint8_t mode, THandle handle, TSchComponentRecord* record) {
  Called("SchComponent", mode, handle);
  std::strcpy(record->FLibraryReference, "RES");
  return 42;
}
std::int32_t TOLVEX_STDCALL FakeDesignatorLocks(std::uint8_t mode, THandle handle, TSchDesignatorLocksRecord* record) {
  Called("DesignatorLocks", mode, handle);
  record->LockFlag2 = 1;
  return 43;
}
std::int32_t TOLVEX_STDCALL FakePin(std::uint8_t mode, THandle handle, TSchPinRecord* record) {
  Called("Pin", mode, handle);
  std::strcpy(record->FDesignator, "A1");
  return 44;
}
std::int32_t TOLVEX_STDCALL FakeSchParameter(std::uint8_t mode, THandle handle, TSchParameterRecord* record) {
  Called("SchParameter", mode, handle);
  std::strcpy(record->FValue, "4.7u");
  return 45;
}
std::int32_t TOLVEX_STDCALL FakeUniqueId(std::uint8_t mode, THandle handle, char* text) {
  Called("UniqueId", mode, handle);
  std::strcpy(text, "UID");
  return 46;
}
std::int32_t TOLVEX_STDCALL FakeCalculatedValue(std::uint8_t mode, THandle handle, char* text) {
  Called("CalculatedValue", mode, handle);
  std::strcpy(text, "4.7E-6");
  return 47;
}
std::int32_t TOLVEX_STDCALL FakeImplementation(std::uint8_t mode, THandle handle, TSchImplementationRecord* record) {
  Called("Implementation", mode, handle);
  std::strcpy(record->FPortMap, "(1:2)");
  return 48;
}
std::int32_t TOLVEX_STDCALL FakeDatafileCount(std::uint8_t mode, THandle handle, TSchDatafileCountRecord* record) {
  Called("DatafileCount", mode, handle);
  record->Count = 2;
  return 49;
}
std::int32_t TOLVEX_STDCALL FakeDatafile(std::uint8_t mode, THandle handle, TSchDatafileRecord* record) {
  Called("Datafile", mode, handle, record->Index);
  std::strcpy(record->FKind, "MDL");
  return 50;
}
std::uint8_t TOLVEX_STDCALL FakeGetObjectId(THandle handle) {
  Called("GetObjectId", handle);
  return kSchObjectIdPin;
}
THandle TOLVEX_STDCALL FakeCreateSimpleGroupIterator(THandle container) {
  Called("CreateSimpleGroupIterator", container);
  return 501;
}
THandle TOLVEX_STDCALL FakeCreateGroupIterator(THandle container) {
  Called("CreateGroupIterator", container);
  return 502;
}
THandle TOLVEX_STDCALL FakeGetFirstGroupObject(THandle iterator) {
  Called("GetFirstGroupObject", iterator);
  return 503;
}
THandle TOLVEX_STDCALL FakeGetNextGroupObject(THandle iterator) {
  Called("GetNextGroupObject", iterator);
  return 504;
}
void TOLVEX_STDCALL FakeDestroyGroupIterator(THandle iterator) { Called("DestroyGroupIterator", iterator); }
THandle TOLVEX_STDCALL FakeCreateIterator(THandle document, std::uint8_t kind) {
  Called("CreateIterator", document, kind);
  return 505;
}
THandle TOLVEX_STDCALL FakeGetFirstObject(THandle iterator) {
  Called("GetFirstObject", iterator);
  return 506;
}
THandle TOLVEX_STDCALL FakeGetNextObject(THandle iterator) {
  Called("GetNextObject", iterator);
  return 507;
}
void TOLVEX_STDCALL FakeDestroyIterator(THandle iterator) { Called("DestroyIterator", iterator); }
TBool32 TOLVEX_STDCALL FakeIsCurrentLibraryComponent(THandle component, THandle* document) {
  Called("IsCurrentLibraryComponent", component);
  *document = 77;
  return TRUE32;
}
THandle TOLVEX_STDCALL FakeGetDocumentHandleFromFileName(const char* fileName) {
  Log += std::string("GetDocumentHandleFromFileName(") + fileName + ")";
  return 508;
}
THandle TOLVEX_STDCALL FakeGetCurrentLibraryComponent(THandle document) {
  Called("GetCurrentLibraryComponent", document);
  return 509;
}
THandle TOLVEX_STDCALL FakeCreateObjectEx(std::uint8_t kind) {
  Called("CreateObjectEx", kind);
  return 510;
}
void TOLVEX_STDCALL FakeDestroyObject(THandle handle) { Called("DestroyObject", handle); }
std::int32_t TOLVEX_STDCALL FakeAddObjectToContainer(THandle container, THandle object) {
  Called("AddObjectToContainer", container, object);
  return 51;
}
std::int32_t TOLVEX_STDCALL FakeDeleteObjectFromContainer(THandle container, THandle object) {
  Called("DeleteObjectFromContainer", container, object);
  return 52;
}
// A server's true need not be -1.
TBool32 TOLVEX_STDCALL FakeImportFromUser(THandle handle) {
  Called("ImportFromUser", handle);
  return 1;
}
void TOLVEX_STDCALL FakeRedrawObject(THandle handle) { Called("RedrawObject", handle); }
void TOLVEX_STDCALL FakeGetObjectBoundingRectangle(THandle handle, std::int32_t* a, std::int32_t* b, std::int32_t* c,
                                                   std::int32_t* d) {
  Called("GetObjectBoundingRectangle", handle);
  *a = 1, *b = 2, *c = 3, *d = 4;
}
IInterface* TOLVEX_STDCALL FakeCreatePainter() {
  Called("CreatePainter");
  Painter.AddRef();
  return &Painter;
}
void TOLVEX_STDCALL FakeDrawComponentByHandle(IInterface* painter, THandle component, std::int32_t partNumber) {
  Called("DrawComponentByHandle", component, partNumber);
  Log += painter == &Painter ? " into the painter" : " elsewhere";
}

// Caller buffers, wired into records the way the system's wrappers do it.
struct TBuffers {
  char Text[6][kSchTextBufferSize] = {};
  char Long[kSchLongBufferSize] = {};
};

TSchComponentRecord ComponentRecord(TBuffers& b) {
  TSchComponentRecord r;
  r.S1 = b.Text[0], r.S2 = b.Text[1], r.FSourceLibraryName = b.Text[2], r.FLibraryReference = b.Text[3];
  r.S5 = b.Text[4], r.S6 = b.Text[5];
  return r;
}
TSchPinRecord PinRecord(TBuffers& b) {
  TSchPinRecord r;
  r.PinString1 = b.Text[0], r.PinString2 = b.Text[1], r.FDesignator = b.Text[2], r.FName = b.Text[3];
  r.PinString3 = b.Text[4], r.PinString4 = b.Text[5];
  return r;
}
TSchParameterRecord ParameterRecord(TBuffers& b) {
  TSchParameterRecord r;
  r.FName = b.Text[0], r.FValue = b.Text[1], r.ParameterString = b.Text[2], r.T1 = b.Text[3], r.T2 = b.Text[4];
  return r;
}
TSchImplementationRecord ImplementationRecord(TBuffers& b) {
  TSchImplementationRecord r;
  r.FModelName = b.Text[0], r.K1 = b.Text[1], r.FDescription = b.Text[2], r.FPortMap = b.Long;
  return r;
}
TSchDatafileRecord DatafileRecord(TBuffers& b) {
  TSchDatafileRecord r;
  r.FLocation = b.Long, r.FEntityName = b.Text[0], r.FKind = b.Text[1];
  return r;
}

std::string Answer(std::int32_t result, const std::string& detail = {}) {
  return "=>" + std::to_string(result) + (detail.empty() ? "" : " " + detail);
}

// One row per export: the call through the binding gives the log of fake calls followed by what the caller saw.
struct TExportCase {
  const char* Export;
  void* Fake;
  std::function<std::string(const TSchServerApi&)> Call;
  std::string Unbound;
  std::string Bound;
};

const std::vector<TExportCase>& ExportCases() {
  static const std::vector<TExportCase> cases = {
      {"SchAPIQuery_GrafObject", reinterpret_cast<void*>(&FakeGrafObject),
       [](const TSchServerApi& api) {
         TSchGrafObjectRecord r;
         const std::int32_t result = api.QueryGrafObject(kSchQueryModeRead, 11, r);
         return Answer(result, "owner " + std::to_string(r.FOwnerPartId));
       },
       "=>1 owner 0", "GrafObject(1,11)=>40 owner 2"},
      {"SchAPIQuery_WorkspaceObject", reinterpret_cast<void*>(&FakeWorkspaceObject),
       [](const TSchServerApi& api) {
         TSchWorkspaceObjectRecord r;
         const std::int32_t result = api.QueryWorkspaceObject(kSchQueryModeWrite, 12, r);
         return Answer(result, "d4 " + std::to_string(r.AttributeD[4]));
       },
       "=>1 d4 0", "WorkspaceObject(0,12)=>41 d4 9"},
      {"SchApiQuery_SchComponent", reinterpret_cast<void*>(&FakeSchComponent),
       [](const TSchServerApi& api) {
         auto b = std::make_unique<TBuffers>();
         TSchComponentRecord r = ComponentRecord(*b);
         const std::int32_t result = api.QuerySchComponent(kSchQueryModeRead, 13, r);
         return Answer(result, std::string("ref '") + r.FLibraryReference + "'");
       },
       "=>1 ref ''", "SchComponent(1,13)=>42 ref 'RES'"},
      {"SchAPIQuery_ComponentDesignatorLocks", reinterpret_cast<void*>(&FakeDesignatorLocks),
       [](const TSchServerApi& api) {
         TSchDesignatorLocksRecord r;
         const std::int32_t result = api.QueryComponentDesignatorLocks(kSchQueryModeRead, 14, r);
         return Answer(result, "lock2 " + std::to_string(r.LockFlag2));
       },
       "=>1 lock2 0", "DesignatorLocks(1,14)=>43 lock2 1"},
      {"SchAPIQuery_Pin", reinterpret_cast<void*>(&FakePin),
       [](const TSchServerApi& api) {
         auto b = std::make_unique<TBuffers>();
         TSchPinRecord r = PinRecord(*b);
         const std::int32_t result = api.QueryPin(kSchQueryModeRead, 15, r);
         return Answer(result, std::string("designator '") + r.FDesignator + "'");
       },
       "=>1 designator ''", "Pin(1,15)=>44 designator 'A1'"},
      {"SchApiQuery_SchParameter", reinterpret_cast<void*>(&FakeSchParameter),
       [](const TSchServerApi& api) {
         auto b = std::make_unique<TBuffers>();
         TSchParameterRecord r = ParameterRecord(*b);
         const std::int32_t result = api.QuerySchParameter(kSchQueryModeRead, 16, r);
         return Answer(result, std::string("value '") + r.FValue + "'");
       },
       "=>1 value ''", "SchParameter(1,16)=>45 value '4.7u'"},
      {"SchApiQuery_UniqueId", reinterpret_cast<void*>(&FakeUniqueId),
       [](const TSchServerApi& api) {
         char text[kSchTextBufferSize] = {};
         const std::int32_t result = api.QueryUniqueId(kSchQueryModeRead, 17, text);
         return Answer(result, std::string("'") + text + "'");
       },
       "=>1 ''", "UniqueId(1,17)=>46 'UID'"},
      {"SchApiQuery_SchParameterCalculatedValue", reinterpret_cast<void*>(&FakeCalculatedValue),
       [](const TSchServerApi& api) {
         char text[kSchTextBufferSize] = {};
         const std::int32_t result = api.QuerySchParameterCalculatedValue(kSchQueryModeRead, 18, text);
         return Answer(result, std::string("'") + text + "'");
       },
       "=>1 ''", "CalculatedValue(1,18)=>47 '4.7E-6'"},
      {"SchApiQuery_Implementation", reinterpret_cast<void*>(&FakeImplementation),
       [](const TSchServerApi& api) {
         auto b = std::make_unique<TBuffers>();
         TSchImplementationRecord r = ImplementationRecord(*b);
         const std::int32_t result = api.QueryImplementation(kSchQueryModeRead, 19, r);
         return Answer(result, std::string("map '") + r.FPortMap + "'");
       },
       "=>1 map ''", "Implementation(1,19)=>48 map '(1:2)'"},
      {"SchApiQuery_ImplementationDatafileCount", reinterpret_cast<void*>(&FakeDatafileCount),
       [](const TSchServerApi& api) {
         TSchDatafileCountRecord r;
         const std::int32_t result = api.QueryImplementationDatafileCount(kSchQueryModeRead, 20, r);
         return Answer(result, "count " + std::to_string(r.Count));
       },
       "=>1 count 0", "DatafileCount(1,20)=>49 count 2"},
      {"SchApiQuery_ImplementationDatafile", reinterpret_cast<void*>(&FakeDatafile),
       [](const TSchServerApi& api) {
         auto b = std::make_unique<TBuffers>();
         TSchDatafileRecord r = DatafileRecord(*b);
         r.Index = 3;
         const std::int32_t result = api.QueryImplementationDatafile(kSchQueryModeRead, 21, r);
         return Answer(result, std::string("kind '") + r.FKind + "'");
       },
       "=>1 kind ''", "Datafile(1,21,3)=>50 kind 'MDL'"},
      {"SchAPI_GetObjectIdFromObjectHandle", reinterpret_cast<void*>(&FakeGetObjectId),
       [](const TSchServerApi& api) { return Answer(api.GetObjectIdFromObjectHandle(22)); }, "=>61",
       "GetObjectId(22)=>37"},
      {"SchAPI_CreateSimpleGroupIterator", reinterpret_cast<void*>(&FakeCreateSimpleGroupIterator),
       [](const TSchServerApi& api) { return Answer(api.CreateSimpleGroupIterator(23)); }, "=>0",
       "CreateSimpleGroupIterator(23)=>501"},
      {"SchAPI_CreateGroupIterator", reinterpret_cast<void*>(&FakeCreateGroupIterator),
       [](const TSchServerApi& api) { return Answer(api.CreateGroupIterator(24)); }, "=>0",
       "CreateGroupIterator(24)=>502"},
      {"SchAPI_GetFirstGroupObject", reinterpret_cast<void*>(&FakeGetFirstGroupObject),
       [](const TSchServerApi& api) { return Answer(api.GetFirstGroupObject(25)); }, "=>0",
       "GetFirstGroupObject(25)=>503"},
      {"SchAPI_GetNextGroupObject", reinterpret_cast<void*>(&FakeGetNextGroupObject),
       [](const TSchServerApi& api) { return Answer(api.GetNextGroupObject(26)); }, "=>0",
       "GetNextGroupObject(26)=>504"},
      {"SchAPI_DestroyGroupIterator", reinterpret_cast<void*>(&FakeDestroyGroupIterator),
       [](const TSchServerApi& api) {
         api.DestroyGroupIterator(27);
         return std::string();
       },
       "", "DestroyGroupIterator(27)"},
      {"SchAPI_CreateIterator", reinterpret_cast<void*>(&FakeCreateIterator),
       [](const TSchServerApi& api) { return Answer(api.CreateIterator(28, kSchObjectIdPin)); }, "=>0",
       "CreateIterator(28,37)=>505"},
      {"SchAPI_GetFirstObject", reinterpret_cast<void*>(&FakeGetFirstObject),
       [](const TSchServerApi& api) { return Answer(api.GetFirstObject(29)); }, "=>0", "GetFirstObject(29)=>506"},
      {"SchAPI_GetNextObject", reinterpret_cast<void*>(&FakeGetNextObject),
       [](const TSchServerApi& api) { return Answer(api.GetNextObject(30)); }, "=>0", "GetNextObject(30)=>507"},
      {"SchAPI_DestroyIterator", reinterpret_cast<void*>(&FakeDestroyIterator),
       [](const TSchServerApi& api) {
         api.DestroyIterator(31);
         return std::string();
       },
       "", "DestroyIterator(31)"},
      {"SchAPI_IsCurrentLibraryComponent", reinterpret_cast<void*>(&FakeIsCurrentLibraryComponent),
       [](const TSchServerApi& api) {
         THandle document = 5;  // stale: must not survive the call
         const bool current = api.IsCurrentLibraryComponent(32, document);
         return Answer(current, "document " + std::to_string(document));
       },
       "=>0 document 0", "IsCurrentLibraryComponent(32)=>1 document 77"},
      {"SchAPI_GetDocumentHandleFromFileName", reinterpret_cast<void*>(&FakeGetDocumentHandleFromFileName),
       [](const TSchServerApi& api) { return Answer(api.GetDocumentHandleFromFileName("C:\\lib\\Parts.SchLib")); },
       "=>0", "GetDocumentHandleFromFileName(C:\\lib\\Parts.SchLib)=>508"},
      {"SchAPI_GetCurrentLibraryComponent", reinterpret_cast<void*>(&FakeGetCurrentLibraryComponent),
       [](const TSchServerApi& api) { return Answer(api.GetCurrentLibraryComponent(33)); }, "=>0",
       "GetCurrentLibraryComponent(33)=>509"},
      {"SchAPI_CreateObjectEx", reinterpret_cast<void*>(&FakeCreateObjectEx),
       [](const TSchServerApi& api) { return Answer(api.CreateObjectEx(kSchObjectIdParameter)); }, "=>0",
       "CreateObjectEx(57)=>510"},
      {"SchAPI_DestroyObject", reinterpret_cast<void*>(&FakeDestroyObject),
       [](const TSchServerApi& api) {
         api.DestroyObject(34);
         return std::string();
       },
       "", "DestroyObject(34)"},
      {"SchApiQuery_AddObjectToContainer", reinterpret_cast<void*>(&FakeAddObjectToContainer),
       [](const TSchServerApi& api) { return Answer(api.AddObjectToContainer(35, 36)); }, "=>1",
       "AddObjectToContainer(35,36)=>51"},
      {"SchApiQuery_DeleteObjectFromContainer", reinterpret_cast<void*>(&FakeDeleteObjectFromContainer),
       [](const TSchServerApi& api) { return Answer(api.DeleteObjectFromContainer(37, 38)); }, "=>1",
       "DeleteObjectFromContainer(37,38)=>52"},
      {"SchAPI_ImportFromUser", reinterpret_cast<void*>(&FakeImportFromUser),
       [](const TSchServerApi& api) { return Answer(api.ImportFromUser(39)); }, "=>0", "ImportFromUser(39)=>1"},
      {"SchAPI_RedrawObject", reinterpret_cast<void*>(&FakeRedrawObject),
       [](const TSchServerApi& api) {
         api.RedrawObject(40);
         return std::string();
       },
       "", "RedrawObject(40)"},
      {"SchAPI_GetObjectBoundingRectangle", reinterpret_cast<void*>(&FakeGetObjectBoundingRectangle),
       [](const TSchServerApi& api) {
         std::int32_t a = -1, b = -1, c = -1, d = -1;
         api.GetObjectBoundingRectangle(41, a, b, c, d);
         return std::to_string(a) + "," + std::to_string(b) + "," + std::to_string(c) + "," + std::to_string(d);
       },
       "-1,-1,-1,-1", "GetObjectBoundingRectangle(41)1,2,3,4"},
      {"SchAPI_CreatePainter", reinterpret_cast<void*>(&FakeCreatePainter),
       [](const TSchServerApi& api) {
         std::string seen;
         {
           TInterfacePtr<IInterface> painter = api.CreatePainter();
           seen = painter.Get() == &Painter ? "painter" : painter ? "other" : "none";
         }
         // The server's reference goes to the caller, who gives it back.
         return seen + " refs " + std::to_string(Painter.Refs);
       },
       "none refs 0", "CreatePainter()painter refs 0"},
      {"SchAPI_DrawComponentByHandle", reinterpret_cast<void*>(&FakeDrawComponentByHandle),
       [](const TSchServerApi& api) {
         api.DrawComponentByHandle(&Painter, 42, 2);
         api.DrawComponentByHandle(nullptr, 42, 3);
         return std::string();
       },
       "", "DrawComponentByHandle(42,2) into the painter"},
  };
  return cases;
}

// Resolves from the table, withholding the names listed here.
std::set<std::string> Withheld;
std::vector<std::string> Asked;

void* ResolveFake(const char* name) {
  Asked.emplace_back(name);
  if (Withheld.count(name)) return nullptr;
  for (const TExportCase& c : ExportCases())
    if (std::strcmp(c.Export, name) == 0) return c.Fake;
  return nullptr;
}

class SchServerApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Log.clear();
    Withheld.clear();
    Asked.clear();
  }

  // Runs every row; a row whose export IsBound says is bound must reach its fake.
  static void ExpectOutcomes(const TSchServerApi& api, const std::function<bool(std::size_t)>& isBound) {
    const auto& cases = ExportCases();
    for (std::size_t i = 0; i < cases.size(); ++i) {
      SCOPED_TRACE(cases[i].Export);
      Log.clear();
      const std::string answer = cases[i].Call(api);
      EXPECT_EQ(Log + answer, isBound(i) ? cases[i].Bound : cases[i].Unbound);
    }
  }
};

TEST_F(SchServerApiTest, EveryWrapperAnswersItsDefaultWhenNothingIsBound) {
  TSchServerApi fresh;
  ExpectOutcomes(fresh, [](std::size_t) { return false; });

  TSchServerApi cleared;
  cleared.Bind(&ResolveFake);
  cleared.Clear();
  ExpectOutcomes(cleared, [](std::size_t) { return false; });
}

TEST_F(SchServerApiTest, BoundExportsGetTheArgumentsAndTheirAnswersPassThrough) {
  TSchServerApi api;
  api.Bind(&ResolveFake);
  ExpectOutcomes(api, [](std::size_t) { return true; });
  // Each export is looked up once, by its own name.
  std::vector<std::string> names;
  for (const TExportCase& c : ExportCases()) names.emplace_back(c.Export);
  std::sort(names.begin(), names.end());
  std::sort(Asked.begin(), Asked.end());
  EXPECT_EQ(Asked, names);
}

TEST_F(SchServerApiTest, APartialServerAnswersDefaultsOnlyForItsMissingExports) {
  const auto& cases = ExportCases();
  for (std::size_t i = 1; i < cases.size(); i += 2) Withheld.insert(cases[i].Export);
  TSchServerApi api;
  api.Bind(&ResolveFake);
  ExpectOutcomes(api, [](std::size_t i) { return i % 2 == 0; });
}

TEST_F(SchServerApiTest, DefaultBindingWithoutALoadedServerBindsNothing) {
  ASSERT_EQ(os::FindLoadedModule(kSchServerModuleName), nullptr);
  TSchServerApi api;
  api.Bind(&ResolveFake);
  api.Bind();  // also forgets the earlier binding
  ExpectOutcomes(api, [](std::size_t) { return false; });
  EXPECT_EQ(os::FindLoadedModule(kSchServerModuleName), nullptr) << "binding must never load the server";
}

// A careless server fills buffers to the last byte on read and checks for a terminating NUL on write.
bool AllTerminated = true;
void CheckTerminated(const char* text, std::size_t size) {
  AllTerminated = AllTerminated && std::memchr(text, '\0', size) != nullptr;
}

std::int32_t TOLVEX_STDCALL FloodPin(std::uint8_t mode, THandle, TSchPinRecord* r) {
  for (char* text : {r->PinString1, r->PinString2, r->FDesignator, r->FName, r->PinString3, r->PinString4}) {
    if (mode == kSchQueryModeRead)
      std::memset(text, 'x', kSchTextBufferSize);
    else
      CheckTerminated(text, kSchTextBufferSize);
  }
  return 0;
}
std::int32_t TOLVEX_STDCALL FloodImplementation(std::uint8_t mode, THandle, TSchImplementationRecord* r) {
  if (mode == kSchQueryModeRead)
    std::memset(r->FPortMap, 'x', kSchLongBufferSize);
  else
    CheckTerminated(r->FPortMap, kSchLongBufferSize);
  return 0;
}
std::int32_t TOLVEX_STDCALL FloodUniqueId(std::uint8_t mode, THandle, char* text) {
  if (mode == kSchQueryModeRead)
    std::memset(text, 'x', kSchTextBufferSize);
  else
    CheckTerminated(text, kSchTextBufferSize);
  return 0;
}

void* ResolveFlooding(const char* name) {
  if (std::strcmp(name, "SchAPIQuery_Pin") == 0) return reinterpret_cast<void*>(&FloodPin);
  if (std::strcmp(name, "SchApiQuery_Implementation") == 0) return reinterpret_cast<void*>(&FloodImplementation);
  if (std::strcmp(name, "SchApiQuery_UniqueId") == 0) return reinterpret_cast<void*>(&FloodUniqueId);
  return nullptr;
}

TEST_F(SchServerApiTest, TextsAreCutAtTheirBufferEndInBothDirections) {
  TSchServerApi api;
  api.Bind(&ResolveFlooding);
  auto b = std::make_unique<TBuffers>();
  TSchPinRecord pin = PinRecord(*b);
  TSchImplementationRecord implementation = ImplementationRecord(*b);

  ASSERT_EQ(api.QueryPin(kSchQueryModeRead, 1, pin), 0);
  for (const char* text : {pin.PinString1, pin.PinString2, pin.FDesignator, pin.FName, pin.PinString3, pin.PinString4})
    EXPECT_EQ(std::strlen(text), kSchTextBufferSize - 1);
  ASSERT_EQ(api.QueryImplementation(kSchQueryModeRead, 1, implementation), 0);
  EXPECT_EQ(std::strlen(implementation.FPortMap), kSchLongBufferSize - 1);
  ASSERT_EQ(api.QueryUniqueId(kSchQueryModeRead, 1, b->Text[0]), 0);
  EXPECT_EQ(std::strlen(b->Text[0]), kSchTextBufferSize - 1);

  // A client that did not cut its texts: every buffer full, no NUL anywhere.
  for (char* text : b->Text) std::memset(text, 'y', kSchTextBufferSize);
  std::memset(b->Long, 'y', kSchLongBufferSize);
  AllTerminated = true;
  EXPECT_EQ(api.QueryPin(kSchQueryModeWrite, 1, pin), 0);
  EXPECT_EQ(api.QueryImplementation(kSchQueryModeWrite, 1, implementation), 0);
  EXPECT_EQ(api.QueryUniqueId(kSchQueryModeWrite, 1, b->Text[0]), 0);
  EXPECT_TRUE(AllTerminated);
}

TEST_F(SchServerApiTest, ARecordWithoutAllItsBuffersNeverReachesTheServer) {
  TSchServerApi api;
  api.Bind(&ResolveFake);
  auto b = std::make_unique<TBuffers>();

  TSchComponentRecord component = ComponentRecord(*b);
  component.FLibraryReference = nullptr;
  TSchImplementationRecord implementation = ImplementationRecord(*b);
  implementation.FPortMap = nullptr;
  TSchDatafileRecord datafile = DatafileRecord(*b);
  datafile.FKind = nullptr;

  EXPECT_EQ(api.QuerySchComponent(kSchQueryModeRead, 1, component), kSchQueryFailure);
  EXPECT_EQ(api.QueryImplementation(kSchQueryModeWrite, 1, implementation), kSchQueryFailure);
  EXPECT_EQ(api.QueryImplementationDatafile(kSchQueryModeRead, 1, datafile), kSchQueryFailure);
  EXPECT_EQ(api.QueryUniqueId(kSchQueryModeRead, 1, nullptr), kSchQueryFailure);
  EXPECT_EQ(Log, "");
}

}  // namespace
}  // namespace tolvex
