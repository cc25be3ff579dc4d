// Tests of the workspace stand-in Fenwarden.dll: project files, how nets are joined and named, where pin items
// sit, and the workspace's projects and designs as the plug-in's own design index sees them.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "HostileFiles.h"
#include "common/JsonParseError.h"
#include "common/RegularFile.h"
#include "workspace/DesignObjects.h"
#include "workspace/Fenwarden.h"
#include "workspace/ProjectFile.h"
#include "host/InterfacePtr.h"
#include "model_data/SchObjects.h"
#include "templates/Rt_Tolvex.h"

namespace {

using namespace tolvex;
namespace fs = std::filesystem;

class TScratch {
 public:
  TScratch() {
    std::string pattern = (fs::temp_directory_path() / "tolvex-fenwarden-XXXXXX").string();
    FPath = mkdtemp(pattern.data()) ? pattern : std::string();
  }
  // A folder below Parent that stays with it.
  TScratch(const TScratch& parent, const std::string& name) : FPath(parent.Path() + "/" + name), FOwned(false) {
    fs::create_directories(FPath);
  }
  ~TScratch() {
    std::error_code ec;
    if (FOwned) fs::remove_all(FPath, ec);
  }
  std::string Write(const std::string& name, const std::string& text) const {
    const std::string path = FPath + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
  bool FOwned = true;
};

// A schematic document with these components (JSON texts) and nets.
std::string Sheet(const std::string& components, const std::string& nets) {
  return "{\"format\": \"tolvex-schematic\", \"components\": [" + components + "], \"nets\": [" + nets + "]}";
}

// A two-pin component; its pins at (X, Y) and (X + 40, Y), length 10, pointing into the body.
std::string TwoPin(const std::string& designator, int x, int y, const std::string& extraPin1 = "") {
  return "{\"designator\": \"" + designator + "\", \"implementations\": [{\"modelName\": \"R\"}], \"pins\": [" +
         "{\"designator\": \"1\", \"name\": \"1\", \"location\": [" + std::to_string(x) + ", " + std::to_string(y) +
         "], \"length\": 10, \"orientation\": 0" + extraPin1 + "}, " +
         "{\"designator\": \"2\", \"name\": \"2\", \"location\": [" + std::to_string(x + 40) + ", " +
         std::to_string(y) + "], \"length\": 10, \"orientation\": 2}]}";
}

std::string Project(const std::string& members) {
  return "{\"format\": \"tolvex-project\", \"version\": 1" + (members.empty() ? "" : ", " + members) + "}";
}

// ---- the module, loaded as the host loads it ------------------------------------------------------------------

struct TFenwarden {
  void* Module = nullptr;
  TGetWorkspaceFunc GetWorkspace = nullptr;
  TFenwarden_OpenProject OpenProject = nullptr;
  TFenwarden_SetFocusedProject SetFocusedProject = nullptr;
  TFenwarden_GetProjectText GetProjectText = nullptr;
  TFenwarden_GetLiveDesignCount LiveDesigns = nullptr;

  TInterfacePtr<IWorkspace> Workspace() const {
    IWorkspace* raw = nullptr;
    EXPECT_EQ(GetWorkspace(&raw), S_OK32);
    return TInterfacePtr<IWorkspace>::Attach(raw);
  }
  TInterfacePtr<IProject> Project(std::int32_t index) const {
    IProject* raw = nullptr;
    EXPECT_EQ(Workspace()->GetProject(index, &raw), S_OK32);
    return TInterfacePtr<IProject>::Attach(raw);
  }
  std::int32_t ProjectCount() const {
    std::int32_t count = -1;
    Workspace()->GetProjectCount(&count);
    return count;
  }
  std::string Text(std::int32_t index, const char* item) const {
    char buffer[4096] = {};
    GetProjectText(index, item, buffer, sizeof buffer);
    return buffer;
  }
  // Opens a project file that must open.
  std::int32_t Open(const std::string& path) const {
    char error[2048] = {};
    const std::int32_t index = OpenProject(path.c_str(), error, sizeof error);
    EXPECT_GE(index, 0) << error;
    return index;
  }
};

const TFenwarden& Fenwarden() {
  static TFenwarden f = [] {
    TFenwarden m;
    m.Module = dlopen(FENWARDEN_DLL_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!m.Module) return m;
    m.GetWorkspace = reinterpret_cast<TGetWorkspaceFunc>(dlsym(m.Module, "GetWorkspace"));
    m.OpenProject = reinterpret_cast<TFenwarden_OpenProject>(dlsym(m.Module, "Fenwarden_OpenProject"));
    m.SetFocusedProject = reinterpret_cast<TFenwarden_SetFocusedProject>(dlsym(m.Module, "Fenwarden_SetFocusedProject"));
    m.GetProjectText = reinterpret_cast<TFenwarden_GetProjectText>(dlsym(m.Module, "Fenwarden_GetProjectText"));
    m.LiveDesigns = reinterpret_cast<TFenwarden_GetLiveDesignCount>(dlsym(m.Module, "Fenwarden_GetLiveDesignCount"));
    return m;
  }();
  return f;
}

// The module's workspace keeps every project opened in this process, and a compile at the host's request compiles
// them all again, so their files stay until the process ends: each test has a folder of its own below one root.
const TScratch& ModuleRoot() {
  static const TScratch root;
  return root;
}

class FenwardenModule : public ::testing::Test {
 protected:
  void SetUp() override {
    const TFenwarden& f = Fenwarden();
    ASSERT_TRUE(f.Module && f.GetWorkspace && f.OpenProject && f.SetFocusedProject && f.GetProjectText &&
                f.LiveDesigns)
        << "cannot load " << FENWARDEN_DLL_PATH << ": " << dlerror();
  }
  TScratch Scratch{ModuleRoot(), ::testing::UnitTest::GetInstance()->current_test_info()->name()};
};

// The net name the plug-in gives the schematic pin with these attributes in the project's design: it looks the
// pin up by its own location rule and names the item by its own naming rules. Empty when it finds no item.
std::string PluginNetName(IProject* project, const std::string& name, const std::string& number, int x, int y,
                          int length = 10, int orientation = 0) {
  TSchPin pin;
  pin.FName = name;
  pin.FDesignator = number;
  pin.FLocationX = x;
  pin.FLocationY = y;
  pin.FPinLength = length;
  pin.FOrientation = static_cast<std::uint8_t>(orientation);
  std::int32_t ix = 0, iy = 0;
  if (!DesignPinLocation(pin, ix, iy)) return {};
  const TDesignPinIndex index(project);
  IDesignPin* item = index.Find(pin.FName, pin.FDesignator, ix, iy);
  return item ? DesignNetName(item) : std::string();
}

// ---- naming groups ---------------------------------------------------------------------------------------------

TEST_F(FenwardenModule, NetNamesComeFromTheGroupsInTheirOrder) {
  struct TCase {
    const char* Name;
    std::string Nets;
    std::string PinExtra;  // members of R1's pin 1
    std::string Expected;
  };
  const std::vector<TCase> cases = {
      {"a power port beats every other name",
       R"({"pins": ["R1.1", "C1.1"], "entries": ["E"], "ports": ["P"], "labels": ["L"], "power": ["VCC"]})", "",
       "VCC"},
      {"a net label beats ports and sheet entries", R"({"pins": ["R1.1", "C1.1"], "entries": ["E"], "ports": ["P"], "labels": ["L"]})",
       "", "L"},
      {"a port beats a sheet entry", R"({"pins": ["R1.1", "C1.1"], "entries": ["E"], "ports": ["P"]})", "", "P"},
      {"the first pin beats a sheet entry", R"({"pins": ["C1.1", "R1.1"], "entries": ["E"]})", "", "NetC1_1"},
      {"a net without names is named by its first pin", R"({"pins": ["R1.1", "C1.1"]})", "", "NetR1_1"},
      {"the first name of a group", R"({"pins": ["R1.1"], "labels": ["FIRST", "SECOND"]})", "", "FIRST"},
      {"joined declarations keep the earlier one's names first",
       R"({"pins": ["R1.1"], "labels": ["EARLIER"]}, {"pins": ["R1.1", "C1.1"], "labels": ["LATER"]})", "", "EARLIER"},
      {"a power port of a later declaration still wins",
       R"({"pins": ["R1.1"], "labels": ["L"]}, {"pins": ["C1.1", "R1.1"], "power": ["GND"]})", "", "GND"},
      {"the pin's own net link beats the net's names", R"({"pins": ["R1.1"], "power": ["GND"]})",
       R"(, "netLink": "VDD")", "VDD"},
      {"an unconnected pin has its own name", R"({"pins": ["C1.1"]})", "", "R1-1"},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const TCase& c = cases[i];
    SCOPED_TRACE(c.Name);
    const std::string stem = "naming" + std::to_string(i);
    Scratch.Write(stem + ".SchDoc", Sheet(TwoPin("R1", 100, 100, c.PinExtra) + ", " + TwoPin("C1", 300, 100), c.Nets));
    const std::int32_t index =
        Fenwarden().Open(Scratch.Write(stem + ".PrjPcb", Project("\"documents\": [\"" + stem + ".SchDoc\"]")));
    EXPECT_EQ(PluginNetName(Fenwarden().Project(index).Get(), "1", "1", 100, 100), c.Expected);
  }
}

// ---- where pin items sit ---------------------------------------------------------------------------------------

TEST(FenwardenLocation, PinItemsSitWhereThePluginLooksForThem) {
  struct TCase {
    int Orientation;
    int X, Y;  // where the design keeps the item of a pin at (100, 200) of length 10
  };
  for (const TCase& c : std::vector<TCase>{{0, 110, 200}, {1, 100, 210}, {2, 90, 200}, {3, 100, 190}, {7, 110, 200}}) {
    SCOPED_TRACE("orientation " + std::to_string(c.Orientation));
    std::int32_t x = 0, y = 0;
    ASSERT_TRUE(fenwarden::PinItemLocation(100, 200, 10, static_cast<std::uint8_t>(c.Orientation), x, y));
    EXPECT_EQ(x, c.X);
    EXPECT_EQ(y, c.Y);
    // The plug-in's rule for a schematic pin with the same attributes looks there.
    TSchPin pin;
    pin.FLocationX = 100;
    pin.FLocationY = 200;
    pin.FPinLength = 10;
    pin.FOrientation = static_cast<std::uint8_t>(c.Orientation);
    std::int32_t px = 0, py = 0;
    ASSERT_TRUE(DesignPinLocation(pin, px, py));
    EXPECT_EQ(px, x);
    EXPECT_EQ(py, y);
  }
  std::int32_t x = 0, y = 0;
  EXPECT_FALSE(fenwarden::PinItemLocation(2147483647, 0, 1, 0, x, y)) << "past the largest 32-bit coordinate";
  EXPECT_FALSE(fenwarden::PinItemLocation(0, -2147483647 - 1, 1, 3, x, y)) << "below the smallest";
}

TEST_F(FenwardenModule, ThePluginFindsEveryPinOfADesignAndNoneOffItsPlace) {
  std::string components;
  for (int orientation = 0; orientation < 5; ++orientation)
    components += std::string(orientation ? ", " : "") + "{\"designator\": \"U" + std::to_string(orientation) +
                  "\", \"pins\": [{\"designator\": \"7\", \"name\": \"OUT\", \"location\": [500, -300], \"length\": 30, "
                  "\"orientation\": " +
                  std::to_string(orientation) + "}]}";
  Scratch.Write("places.SchDoc", Sheet(components, R"({"pins": ["U0.7", "U1.7", "U2.7", "U3.7", "U4.7"], "labels": ["OUT"]})"));
  const auto project = Fenwarden().Project(
      Fenwarden().Open(Scratch.Write("places.PrjPcb", Project(R"("documents": ["places.SchDoc"])"))));
  for (int orientation = 0; orientation < 5; ++orientation) {
    SCOPED_TRACE("orientation " + std::to_string(orientation));
    EXPECT_EQ(PluginNetName(project.Get(), "out", "7", 500, -300, 30, orientation), "OUT") << "letter case ignored";
    EXPECT_EQ(PluginNetName(project.Get(), "OUT", "7", 501, -300, 30, orientation), "");
    EXPECT_EQ(PluginNetName(project.Get(), "OUT", "7", 500, -300, 29, orientation), "");
  }
}

// ---- documents and lists ---------------------------------------------------------------------------------------

TEST_F(FenwardenModule, APinOnTwoDocumentsIsFoundOnTheFirstDocumentSearched) {
  // The same pin at the same place on two documents, on nets named differently.
  Scratch.Write("a.SchDoc", Sheet(TwoPin("R1", 0, 0), R"({"pins": ["R1.1"], "labels": ["ON_A"]})"));
  Scratch.Write("b.SchDoc", Sheet(TwoPin("R1", 0, 0), R"({"pins": ["R1.1"], "labels": ["ON_B"]})"));
  struct TCase {
    const char* Name;
    std::string Members;
    std::string Expected;
  };
  const std::vector<TCase> cases = {
      {"first list in order", R"("documents": ["a.SchDoc", "b.SchDoc"])", "ON_A"},
      {"first list the other way round", R"("documents": ["b.SchDoc", "a.SchDoc"])", "ON_B"},
      {"the first list before the second", R"("documents": ["b.SchDoc"], "secondDocuments": ["a.SchDoc"])", "ON_B"},
      {"the second list when the first has none", R"("secondDocuments": ["a.SchDoc", "b.SchDoc"])", "ON_A"},
      {"the flattened document keeps the lists' order",
       R"("documents": ["b.SchDoc"], "secondDocuments": ["a.SchDoc"], "flattened": true)", "ON_B"},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].Name);
    const auto project = Fenwarden().Project(
        Fenwarden().Open(Scratch.Write("lists" + std::to_string(i) + ".PrjPcb", Project(cases[i].Members))));
    EXPECT_EQ(PluginNetName(project.Get(), "1", "1", 0, 0), cases[i].Expected);
  }
}

TEST_F(FenwardenModule, AFlattenedProjectHasOneCompiledDocumentWithEveryComponent) {
  Scratch.Write("a.SchDoc", Sheet(TwoPin("R1", 0, 0) + ", " + TwoPin("R2", 0, 100), ""));
  Scratch.Write("b.SchDoc", Sheet(TwoPin("C1", 0, 200), ""));
  const auto flat = Fenwarden().Project(Fenwarden().Open(Scratch.Write(
      "flat.PrjPcb", Project(R"("documents": ["a.SchDoc"], "secondDocuments": ["b.SchDoc"], "flattened": true)"))));
  IDesignDocument* raw = nullptr;
  ASSERT_EQ(flat->GetCompiledDocument(&raw), S_OK32);
  auto document = TInterfacePtr<IDesignDocument>::Attach(raw);
  ASSERT_TRUE(document);
  std::int32_t count = 0;
  document->GetComponentCount(&count);
  std::vector<std::string> designators;
  for (std::int32_t i = 0; i < count; ++i) {
    IDesignComponent* component = nullptr;
    ASSERT_EQ(document->GetComponent(i, &component), S_OK32);
    char text[64] = {};
    component->GetDesignator(text, sizeof text);
    designators.push_back(text);
    component->Release();
  }
  EXPECT_EQ(designators, (std::vector<std::string>{"R1", "R2", "C1"}));

  const auto lists = Fenwarden().Project(Fenwarden().Open(
      Scratch.Write("lists.PrjPcb", Project(R"("documents": ["a.SchDoc"], "secondDocuments": ["b.SchDoc"])"))));
  ASSERT_EQ(lists->GetCompiledDocument(&raw), S_OK32);
  EXPECT_EQ(raw, nullptr);
  std::int32_t first = 0, second = 0;
  lists->GetDocumentCount(0, &first);
  lists->GetDocumentCount(1, &second);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 1);
  EXPECT_EQ(lists->GetDocumentCount(2, &first), E_FAIL32);
  EXPECT_EQ(lists->GetDocument(1, 1, &raw), E_FAIL32);
  EXPECT_EQ(raw, nullptr);
}

// ---- how declarations join -------------------------------------------------------------------------------------

TEST(FenwardenNets, DeclarationsJoinByPinsLabelsPowerPortsAndSheetConnections) {
  TScratch scratch;
  struct TCase {
    const char* Name;
    std::string A, B;          // the nets of documents a and b
    std::size_t Nets;          // nets in the design
    std::string NamesOfFirst;  // every name of net 1: power ports|net labels|ports|sheet entries
  };
  const std::vector<TCase> cases = {
      {"a shared pin joins", R"({"pins": ["R1.1"], "labels": ["X"]}, {"pins": ["R1.1", "R1.2"], "labels": ["Y"]})", "",
       1, "|X,Y||"},
      {"a label is local to its document", R"({"pins": ["R1.1"], "labels": ["X"]})",
       R"({"pins": ["C1.1"], "labels": ["X"]})", 2, "|X||"},
      {"the same label twice on one document joins", R"({"pins": ["R1.1"], "labels": ["X"]}, {"pins": ["R1.2"], "labels": ["x"]})",
       "", 1, "|X||"},
      {"a power port is global", R"({"pins": ["R1.1"], "power": ["GND"]})", R"({"pins": ["C1.1"], "power": ["gnd"]})",
       1, "GND|||"},
      {"a port meets the sheet entry of its name", R"({"pins": ["R1.1"], "ports": ["LINK"]})",
       R"({"pins": ["C1.1"], "entries": ["LINK"]})", 1, "||LINK|LINK"},
      {"nets are numbered in the order of their first declaration",
       R"({"pins": ["R1.2"]}, {"pins": ["R1.1"], "power": ["VCC"]})", R"({"pins": ["C1.1"], "power": ["VCC"]})", 2, "|||"},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const TCase& c = cases[i];
    SCOPED_TRACE(c.Name);
    const std::string a = "a" + std::to_string(i) + ".SchDoc", b = "b" + std::to_string(i) + ".SchDoc";
    scratch.Write(a, Sheet(TwoPin("R1", 0, 0), c.A));
    scratch.Write(b, Sheet(TwoPin("C1", 0, 100), c.B));
    const fenwarden::TProjectFile project = fenwarden::ReadProjectFile(
        scratch.Write("p" + std::to_string(i) + ".PrjPcb", Project("\"documents\": [\"" + a + "\", \"" + b + "\"]")));
    const fenwarden::TDesignData design = fenwarden::CompileDesign(project);
    ASSERT_EQ(design.Nets.size(), c.Nets);
    std::string names;
    for (int group = 0; group < fenwarden::kNamingGroupCount; ++group) {
      if (group) names += "|";
      for (std::size_t k = 0; k < design.Nets[0].Groups[group].size(); ++k)
        names += (k ? "," : "") + design.Nets[0].Groups[group][k];
    }
    EXPECT_EQ(names, c.NamesOfFirst);
    for (std::size_t n = 0; n < design.Nets.size(); ++n) {
      EXPECT_EQ(design.Nets[n].Number, std::to_string(n + 1));
      for (std::size_t pin : design.Nets[n].Pins) EXPECT_EQ(design.Pins[pin].Net, n) << "each pin on its net once";
    }
  }
}

TEST(FenwardenNets, EveryPinOfADesignatorJoinsAndEveryPinIsOnItsNetOnce) {
  TScratch scratch;
  // A dual part whose supply pin 8 is drawn on both parts, and a net that names a pin twice.
  scratch.Write("dual.SchDoc",
                Sheet(R"({"designator": "U1", "partCount": 2, "pins": [
                        {"designator": "1", "ownerPart": 1, "location": [0, 0]},
                        {"designator": "8", "ownerPart": 1, "location": [0, 10]},
                        {"designator": "7", "ownerPart": 2, "location": [100, 0]},
                        {"designator": "8", "ownerPart": 2, "location": [100, 10]}]})",
                      R"({"pins": ["U1.8", "u1.8"], "power": ["VCC"]}, {"pins": ["U1.1", "U1.7"]})"));
  const fenwarden::TDesignData design =
      fenwarden::CompileDesign(fenwarden::ReadProjectFile(scratch.Write("dual.PrjPcb", Project(R"("documents": ["dual.SchDoc"])"))));
  ASSERT_EQ(design.Nets.size(), 2u);
  EXPECT_EQ(design.Nets[0].Pins, (std::vector<std::size_t>{1, 3}));
  EXPECT_EQ(design.Nets[1].Pins, (std::vector<std::size_t>{0, 2}));
  EXPECT_EQ(design.Pins[3].Name, "U1-8");
  EXPECT_EQ(design.Pins[3].ComponentDesignator, "U1");
}

// ---- bad input -------------------------------------------------------------------------------------------------

TEST(FenwardenErrors, BadProjectsAndDocumentsNameTheFileAndThePlace) {
  struct TCase {
    const char* Name;
    std::string Project;
    std::string Document;  // sheet.SchDoc
    std::string Expected;  // after the scratch folder's path
  };
  const std::string good = Sheet(TwoPin("R1", 0, 0), R"({"pins": ["R1.1"]})");
  const std::vector<TCase> cases = {
      {"malformed project", "{\n  \"documents\": [\"sheet.SchDoc\"]\n  \"compiled\": true\n}", good,
       "/bad.PrjPcb:3:3: malformed JSON: syntax error while parsing object - unexpected string literal; expected '}'"},
      {"project not an object", "[1]", good, "/bad.PrjPcb: expected a project object, found array"},
      {"number too large", "{\"options\": {\"a\": 1e999}}", good,
       "/bad.PrjPcb:1:19: malformed JSON: number overflow parsing '1e999'"},
      {"unknown project member", Project(R"("documents": ["sheet.SchDoc"], "analysis": [".op"])"), good,
       "/bad.PrjPcb: analysis: unknown member"},
      {"wrong format", R"({"format": "other"})", good, "/bad.PrjPcb: format: expected \"tolvex-project\", found \"other\""},
      {"wrong version", R"({"version": 2})", good, "/bad.PrjPcb: version: this workspace reads version 1, found 2"},
      {"document of another kind", Project(R"("documents": ["notes.txt"])"), good,
       "/bad.PrjPcb: documents[0]: notes.txt is not a schematic document (.SchDoc)"},
      {"document twice", Project(R"("documents": ["sheet.SchDoc"], "secondDocuments": ["./sheet.SchDoc"])"), good,
       "/bad.PrjPcb: secondDocuments[0]: " + std::string("SCRATCH") + "/sheet.SchDoc is in the project already, as documents[0]"},
      {"missing document", Project(R"("documents": ["absent.SchDoc"])"), good,
       "/bad.PrjPcb: documents[0]: cannot open SCRATCH/absent.SchDoc: No such file or directory"},
      {"analysis without its dot", Project(R"("analyses": ["tran 1u 1m"])"), good,
       "/bad.PrjPcb: analyses[0]: expected an analysis card such as \".tran 1u 1m\", found \"tran 1u 1m\""},
      {"analysis that would end the netlist", Project(R"("analyses": [".END"])"), good,
       "/bad.PrjPcb: analyses[0]: .END is no analysis: the netlister writes the netlist's frame itself"},
      {"analysis with a line break", Project(R"("analyses": [".op\nR9 1 0 1"])"), good,
       "/bad.PrjPcb: analyses[0]: the text holds a line break or another control character"},
      {"option value with a blank", Project(R"("options": {"reltol": "1e-4 gmin=1"})"), good,
       "/bad.PrjPcb: options.reltol: an option value holds no blanks and no \"=\""},
      {"model folder that is no folder", Project(R"("modelFolders": ["sheet.SchDoc"])"), good,
       "/bad.PrjPcb: modelFolders[0]: SCRATCH/sheet.SchDoc is not a folder"},
      {"malformed document", Project(R"("documents": ["sheet.SchDoc"])"), "{\n \"components\": [,]\n}",
       "/sheet.SchDoc:2:17: malformed JSON: syntax error while parsing value - unexpected ','; expected '[', '{', or a literal"},
      {"document not an object", Project(R"("documents": ["sheet.SchDoc"])"), "[]",
       "/sheet.SchDoc: expected a schematic document object, found array"},
      {"wrong member type", Project(R"("documents": ["sheet.SchDoc"])"),
       R"({"components": [{"designator": "R1", "pins": [{}, {"length": "10"}]}]})",
       "/sheet.SchDoc: components[0].pins[1].length: expected an integer, found string"},
      {"orientation out of range", Project(R"("documents": ["sheet.SchDoc"])"),
       R"({"components": [{"designator": "R1", "pins": [{"orientation": 256}]}]})",
       "/sheet.SchDoc: components[0].pins[0].orientation: expected an integer from 0 to 255, found 256"},
      {"location of three numbers", Project(R"("documents": ["sheet.SchDoc"])"),
       R"({"components": [{"pins": [{"location": [1, 2, 3]}]}]})",
       "/sheet.SchDoc: components[0].pins[0].location[2]: expected [x, y]"},
      {"pin end outside 32 bits", Project(R"("documents": ["sheet.SchDoc"])"),
       R"({"components": [{"pins": [{}, {"location": [2147483647, 0], "length": 5, "orientation": 0}]}]})",
       "/sheet.SchDoc: components[0].pins[1]: the pin's end, its length away from its location, lies outside 32 bits"},
      {"reference to a missing component", Project(R"("documents": ["sheet.SchDoc"])"),
       Sheet(TwoPin("R1", 0, 0), R"({"pins": ["R1.1", "R1.2"]}, {"pins": ["R1.2", "R9.1"]})"),
       "/sheet.SchDoc: nets[1].pins[1]: no component R9 on this document"},
      {"reference to a missing pin", Project(R"("documents": ["sheet.SchDoc"])"),
       Sheet(TwoPin("R1", 0, 0), R"({"pins": [{"component": "R1", "pin": "3"}]})"),
       "/sheet.SchDoc: nets[0].pins[0]: R1 has no pin 3"},
      {"reference without a pin", Project(R"("documents": ["sheet.SchDoc"])"),
       Sheet(TwoPin("R1", 0, 0), R"({"pins": ["R1"]})"),
       "/sheet.SchDoc: nets[0].pins[0]: expected COMPONENT.PIN such as \"R1.2\", found \"R1\""},
      {"reference object without its pin", Project(R"("documents": ["sheet.SchDoc"])"),
       Sheet(TwoPin("R1", 0, 0), R"({"pins": ["R1.1", {"component": "R1"}]})"),
       "/sheet.SchDoc: nets[0].pins[1]: expected {\"component\": ..., \"pin\": ...}"},
      {"misspelt net member", Project(R"("documents": ["sheet.SchDoc"])"),
       Sheet(TwoPin("R1", 0, 0), R"({"pins": ["R1.1"], "label": ["IN"]})"), "/sheet.SchDoc: nets[0].label: unknown member"},
      {"empty net name", Project(R"("documents": ["sheet.SchDoc"])"),
       Sheet(TwoPin("R1", 0, 0), R"({"pins": ["R1.1"], "power": ["GND", ""]})"),
       "/sheet.SchDoc: nets[0].power[1]: expected a name, found an empty text"},
      {"net name with a line break", Project(R"("documents": ["sheet.SchDoc"])"),
       Sheet(TwoPin("R1", 0, 0), R"({"pins": ["R1.1"], "labels": ["IN\nR9 1 0 1"]})"),
       "/sheet.SchDoc: nets[0].labels[0]: the text holds a line break or another control character"},
      {"empty net link", Project(R"("documents": ["sheet.SchDoc"])"), Sheet(TwoPin("R1", 0, 0, R"(, "netLink": "")"), ""),
       "/sheet.SchDoc: components[0].pins[0].netLink: expected a net name, found an empty text"},
      // Nesting is refused at the 65th array or object from the outside, as the schematic server refuses it.
      {"project nested too deep", "{\"title\": " + hostile::NestedArrays(10000) + "}", good,
       "/bad.PrjPcb:1:74: nested deeper than 64 levels of arrays and objects"},
      {"document nested too deep", Project(R"("documents": ["sheet.SchDoc"])"),
       "{\"objects\": " + hostile::NestedObjects(10000) + "}",
       "/sheet.SchDoc:1:391: nested deeper than 64 levels of arrays and objects"},
      {"nesting in a pin", Project(R"("documents": ["sheet.SchDoc"])"),
       "{\"components\": [{\"pins\": [{\"extra\":\n" + hostile::NestedArrays(60) + "}]}]}",
       "/sheet.SchDoc:2:60: nested deeper than 64 levels of arrays and objects"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TScratch scratch;
    scratch.Write("sheet.SchDoc", c.Document);
    const std::string path = scratch.Write("bad.PrjPcb", c.Project);
    std::string expected = c.Expected;
    for (std::size_t at; (at = expected.find("SCRATCH")) != std::string::npos;) expected.replace(at, 7, scratch.Path());
    try {
      fenwarden::CompileDesign(fenwarden::ReadProjectFile(path));
      ADD_FAILURE() << "no error; expected " << expected;
    } catch (const fenwarden::EProjectError& e) {
      EXPECT_EQ(e.what(), scratch.Path() + expected);
    }
  }
}

TEST(FenwardenErrors, ADocumentAtTheNestingLimitCompiles) {
  TScratch scratch;
  // The document's object is the first level; its free objects fill the rest.
  scratch.Write("sheet.SchDoc", "{\"components\": [" + TwoPin("R1", 0, 0) + "], \"objects\": " +
                                    hostile::NestedArrays(standins::kJsonNestingLimit - 1) + "}");
  const std::string path = scratch.Write("good.PrjPcb", Project(R"("documents": ["sheet.SchDoc"])"));
  const fenwarden::TDesignData design = fenwarden::CompileDesign(fenwarden::ReadProjectFile(path));
  EXPECT_EQ(design.Pins.size(), 2u);
}

TEST(FenwardenErrors, OnlyRegularFilesAreRead) {
  TScratch scratch;
  hostile::TFifo fifoProject(scratch.Path() + "/fifo.PrjPcb");
  hostile::TFifo fifoDocument(scratch.Path() + "/fifo.SchDoc");
  ASSERT_TRUE(fifoProject.Made() && fifoDocument.Made());
  fs::create_symlink("/dev/zero", scratch.Path() + "/zero.PrjPcb");
  fs::create_symlink("/dev/zero", scratch.Path() + "/zero.SchDoc");
  ASSERT_TRUE(hostile::MakeSparseFile(scratch.Path() + "/large.PrjPcb", standins::kProjectFileSizeLimit + 1));
  ASSERT_TRUE(hostile::MakeSparseFile(scratch.Path() + "/large.SchDoc", standins::kSchematicFileSizeLimit + 1));
  const std::string fifo = "it is a FIFO, not a regular file", device = "it is a device, not a regular file";
  struct TCase {
    const char* Project;    // a file of the scratch folder, or a project naming Document
    const char* Document;   // nullptr: the project itself is the case
    std::string Expected;   // after the scratch folder's path
  };
  const std::vector<TCase> cases = {
      {"fifo.PrjPcb", nullptr, "/fifo.PrjPcb: " + fifo},
      {"zero.PrjPcb", nullptr, "/zero.PrjPcb: " + device},
      {"large.PrjPcb", nullptr, "/large.PrjPcb: it is larger than 16 MiB"},
      {"bad.PrjPcb", "fifo.SchDoc", "/bad.PrjPcb: documents[0]: cannot open SCRATCH/fifo.SchDoc: " + fifo},
      {"bad.PrjPcb", "zero.SchDoc", "/bad.PrjPcb: documents[0]: cannot open SCRATCH/zero.SchDoc: " + device},
      {"bad.PrjPcb", "large.SchDoc",
       "/bad.PrjPcb: documents[0]: cannot open SCRATCH/large.SchDoc: it is larger than 256 MiB"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Project) + " " + (c.Document ? c.Document : ""));
    std::string path = scratch.Path() + "/" + c.Project;
    if (c.Document) path = scratch.Write(c.Project, Project("\"documents\": [\"" + std::string(c.Document) + "\"]"));
    std::string expected = (c.Document ? "" : "cannot open ") + scratch.Path() + c.Expected;
    for (std::size_t at; (at = expected.find("SCRATCH")) != std::string::npos;) expected.replace(at, 7, scratch.Path());
    try {
      fenwarden::CompileDesign(fenwarden::ReadProjectFile(path));
      ADD_FAILURE() << "no error; expected " << expected;
    } catch (const fenwarden::EProjectError& e) {
      EXPECT_EQ(e.what(), expected);
    }
  }
  EXPECT_FALSE(fifoProject.Released() || fifoDocument.Released()) << "the workspace waited for a writer on a FIFO";
}

TEST_F(FenwardenModule, AProjectThatCannotBeOpenedLeavesTheWorkspaceAsItWas) {
  Scratch.Write("sheet.SchDoc", Sheet(TwoPin("R1", 0, 0), R"({"pins": ["R1.1", "R7.2"]})"));
  const std::string path = Scratch.Write("bad.PrjPcb", Project(R"("documents": ["sheet.SchDoc"])"));
  const std::int32_t before = Fenwarden().ProjectCount();
  const std::int32_t designs = Fenwarden().LiveDesigns();
  char error[2048] = {};
  EXPECT_EQ(Fenwarden().OpenProject(path.c_str(), error, sizeof error), -1);
  EXPECT_EQ(std::string(error), Scratch.Path() + "/sheet.SchDoc: nets[0].pins[1]: no component R7 on this document");
  char cut[16] = {};
  EXPECT_EQ(Fenwarden().OpenProject(path.c_str(), cut, sizeof cut), -1);
  EXPECT_EQ(std::string(cut), std::string(error).substr(0, sizeof cut - 1)) << "the message is cut to the buffer";
  EXPECT_EQ(Fenwarden().ProjectCount(), before);
  EXPECT_EQ(Fenwarden().LiveDesigns(), designs);
  EXPECT_EQ(Fenwarden().OpenProject(nullptr, error, sizeof error), -1);
  EXPECT_STREQ(error, "no project file named");
}

// ---- the workspace's projects ----------------------------------------------------------------------------------

TEST_F(FenwardenModule, AProjectOpenedTwiceIsOneProject) {
  Scratch.Write("sheet.SchDoc", Sheet(TwoPin("R1", 0, 0), ""));
  const std::string path = Scratch.Write("twice.PrjPcb", Project(R"("documents": ["sheet.SchDoc"], "title": "Twice")"));
  const std::int32_t index = Fenwarden().Open(path);
  const std::int32_t count = Fenwarden().ProjectCount();
  EXPECT_EQ(Fenwarden().Open(Scratch.Path() + "/./twice.PrjPcb"), index);
  EXPECT_EQ(Fenwarden().ProjectCount(), count);
  EXPECT_EQ(Fenwarden().Text(index, "title"), "Twice");
  EXPECT_EQ(Fenwarden().Text(index, "path"), path);
  EXPECT_EQ(Fenwarden().Text(index, "documents"), Scratch.Path() + "/sheet.SchDoc");
  EXPECT_EQ(Fenwarden().GetProjectText(index, "unknown", nullptr, 0), -1);
  EXPECT_EQ(Fenwarden().GetProjectText(count + 5, "title", nullptr, 0), -1);
}

TEST_F(FenwardenModule, ProjectTextsAreWhatTheProjectAsksFor) {
  fs::create_directory(Scratch.Path() + "/models");
  Scratch.Write("sheet.SchDoc", Sheet("", ""));
  const std::int32_t index = Fenwarden().Open(Scratch.Write(
      "texts.PrjPcb",
      Project(R"("documents": ["sheet.SchDoc"], "modelFolders": ["models"], "analyses": [" .tran 1u 1m ", ".op"],
                 "options": {"reltol": "1e-4", "noacct": "", "itl1": 500})")));
  EXPECT_EQ(Fenwarden().Text(index, "title"), "texts") << "the file's name without its extension";
  EXPECT_EQ(Fenwarden().Text(index, "modelFolders"), Scratch.Path() + "/models");
  EXPECT_EQ(Fenwarden().Text(index, "analyses"), ".tran 1u 1m\n.op");
  EXPECT_EQ(Fenwarden().Text(index, "options"), "reltol=1e-4\nnoacct\nitl1=500") << "in the file's order";
  EXPECT_EQ(Fenwarden().Text(index, "compiled"), "true");
}

TEST_F(FenwardenModule, AnUncompiledProjectHasNoDesignUntilTheHostAsksForACompile) {
  Scratch.Write("sheet.SchDoc", Sheet(TwoPin("R1", 0, 0), R"({"pins": ["R1.1"], "labels": ["IN"]})"));
  const std::int32_t index =
      Fenwarden().Open(Scratch.Write("raw.PrjPcb", Project(R"("documents": ["sheet.SchDoc"], "compiled": false)")));
  const auto project = Fenwarden().Project(index);
  std::int32_t count = -1;
  EXPECT_EQ(project->GetDocumentCount(0, &count), S_OK32);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(PluginNetName(project.Get(), "1", "1", 0, 0), "");
  EXPECT_EQ(Fenwarden().Text(index, "compiled"), "false");

  EXPECT_EQ(Fenwarden().Workspace()->PrepareForSimulation(), S_OK32);
  EXPECT_EQ(Fenwarden().Text(index, "compiled"), "true");
  EXPECT_EQ(PluginNetName(project.Get(), "1", "1", 0, 0), "IN");
}

TEST_F(FenwardenModule, ACompileAtTheHostsRequestTakesTheDocumentsAsTheyAreNowOrKeepsTheOldDesign) {
  const std::string sheet = Scratch.Write("sheet.SchDoc", Sheet(TwoPin("R1", 0, 0), R"({"pins": ["R1.1"], "labels": ["OLD"]})"));
  const auto project = Fenwarden().Project(
      Fenwarden().Open(Scratch.Write("again.PrjPcb", Project(R"("documents": ["sheet.SchDoc"])"))));
  Scratch.Write("sheet.SchDoc", Sheet(TwoPin("R1", 0, 0), R"({"pins": ["R1.1"], "labels": ["NEW"]})"));
  EXPECT_EQ(PluginNetName(project.Get(), "1", "1", 0, 0), "OLD") << "until the host asks";
  EXPECT_EQ(Fenwarden().Workspace()->PrepareForSimulation(), S_OK32);
  EXPECT_EQ(PluginNetName(project.Get(), "1", "1", 0, 0), "NEW");

  Scratch.Write("sheet.SchDoc", "{ broken");
  EXPECT_EQ(Fenwarden().Workspace()->PrepareForSimulation(), E_FAIL32);
  EXPECT_EQ(PluginNetName(project.Get(), "1", "1", 0, 0), "NEW") << "the design it had";
  Scratch.Write("sheet.SchDoc", Sheet(TwoPin("R1", 0, 0), ""));  // the other tests' projects compile again
  EXPECT_EQ(Fenwarden().Workspace()->PrepareForSimulation(), S_OK32);
}

TEST_F(FenwardenModule, TheFocusedProjectIsTheFirstUntilTheHostChoosesAnother) {
  Scratch.Write("sheet.SchDoc", Sheet("", ""));
  const std::int32_t index = Fenwarden().Open(Scratch.Write("focus.PrjPcb", Project(R"("documents": ["sheet.SchDoc"])")));
  auto focused = [] {
    IProject* raw = nullptr;
    EXPECT_EQ(Fenwarden().Workspace()->GetFocusedProject(&raw), S_OK32);
    return TInterfacePtr<IProject>::Attach(raw);
  };
  EXPECT_EQ(focused().Get(), Fenwarden().Project(0).Get());
  EXPECT_EQ(Fenwarden().SetFocusedProject(index), TRUE32);
  EXPECT_EQ(focused().Get(), Fenwarden().Project(index).Get());
  EXPECT_EQ(Fenwarden().SetFocusedProject(Fenwarden().ProjectCount()), FALSE32);
  EXPECT_EQ(focused().Get(), Fenwarden().Project(index).Get()) << "a refused index changes nothing";
  EXPECT_EQ(Fenwarden().SetFocusedProject(-1), TRUE32);
  EXPECT_EQ(focused().Get(), nullptr);
  Fenwarden().SetFocusedProject(0);
}

// ---- references ------------------------------------------------------------------------------------------------

TEST_F(FenwardenModule, APinStillHeldKeepsItsDesignAliveAfterACompileAndNoLonger) {
  Scratch.Write("sheet.SchDoc", Sheet(TwoPin("R1", 0, 0), R"({"pins": ["R1.1", "R1.2"], "labels": ["HELD"]})"));
  const auto project =
      Fenwarden().Project(Fenwarden().Open(Scratch.Write("held.PrjPcb", Project(R"("documents": ["sheet.SchDoc"])"))));
  const std::int32_t designs = Fenwarden().LiveDesigns();
  {
    // The plug-in's index takes and gives back references to every document, component and pin.
    const TDesignPinIndex index(project.Get());
    EXPECT_EQ(index.Size(), 2u);
  }
  EXPECT_EQ(Fenwarden().LiveDesigns(), designs);

  IDesignDocument* document = nullptr;
  ASSERT_EQ(project->GetDocument(0, 0, &document), S_OK32);
  IDesignComponent* component = nullptr;
  ASSERT_EQ(document->GetComponent(0, &component), S_OK32);
  document->Release();
  IDesignPin* pin = nullptr;
  ASSERT_EQ(component->GetPin(1, &pin), S_OK32);
  component->Release();
  ASSERT_EQ(Fenwarden().Workspace()->PrepareForSimulation(), S_OK32);
  EXPECT_EQ(Fenwarden().LiveDesigns(), designs + 1) << "the old design lives on in the pin";
  EXPECT_EQ(DesignNetName(pin), "HELD");
  IDesignNet* net = nullptr;
  ASSERT_EQ(pin->GetNet(&net), S_OK32);
  pin->Release();
  EXPECT_EQ(Fenwarden().LiveDesigns(), designs + 1) << "and then in its net";
  char number[8] = {};
  net->GetNumberText(number, sizeof number);
  EXPECT_STREQ(number, "1");
  void* again = nullptr;
  EXPECT_EQ(net->QueryInterface(IID_IDesignPin, &again), E_NOINTERFACE32);
  EXPECT_EQ(again, nullptr);
  ASSERT_EQ(net->QueryInterface(IID_IDesignNet, &again), S_OK32);
  net->Release();
  static_cast<IDesignNet*>(again)->Release();
  EXPECT_EQ(Fenwarden().LiveDesigns(), designs);
}

TEST(FenwardenDesign, TextsAreCutAtTheBufferButNeverInsideACharacter) {
  fenwarden::TDesignData data;
  data.Pins.push_back({});
  data.Pins[0].PinName = "A\xCE\xA9" "B";  // A, omega, B
  data.Components.push_back({"U1", {0}});
  fenwarden::TDesign* design = fenwarden::TDesign::Create(std::move(data));
  IDesignPin* pin = nullptr;
  ASSERT_EQ(design->Component(0).GetPin(0, &pin), S_OK32);
  struct TCase {
    std::int32_t Size;
    std::string Expected;
  };
  for (const TCase& c : std::vector<TCase>{{5, "A\xCE\xA9" "B"}, {4, "A\xCE\xA9"}, {3, "A"}, {2, "A"}, {1, ""}}) {
    SCOPED_TRACE("buffer of " + std::to_string(c.Size));
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(pin->GetPinName(buffer, c.Size), S_OK32);
    EXPECT_EQ(std::string(buffer), c.Expected);
  }
  pin->Release();
  EXPECT_EQ(pin->GetPinName(nullptr, 8), E_FAIL32);
  char buffer[8];
  EXPECT_EQ(pin->GetPinName(buffer, 0), E_FAIL32);
  EXPECT_EQ(design->Component(0).GetPin(1, &pin), E_FAIL32) << "past the component's pins";
  EXPECT_EQ(pin, nullptr);
  design->Release();
}

}  // namespace
