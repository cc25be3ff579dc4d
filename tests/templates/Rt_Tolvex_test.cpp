// Component expansion: pins through the port map into the compiled design, values from the schematic.
#include "templates/Rt_Tolvex.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <limits>

#include "host/HostApi.h"
#include "model_data/ImplementationData.h"
#include "support/FakeDesign.h"
#include "support/FakeHost.h"
#include "support/FakeSchServer.h"

namespace tolvex {
namespace {

using test::FakeDesign;
using test::FakeSchParameter;
using test::FakeSchServer;

// A schematic with R5 (pins 1 and 2 of part 1, a common pin 3) and C1, and a compiled design
// in which R5.1 is on a net labelled IN and R5.2 on a net whose first pin is C1.2.
class ComponentExpansion : public ::testing::Test {
 protected:
  void SetUp() override {
    R5 = Schematic.AddComponent("R5");
    Schematic.AddPin(R5, {"A", "1", 1, 10, 0, 100, 200});
    Schematic.AddPin(R5, {"B", "2", 1, 10, 2, 300, 200});
    Schematic.AddPin(R5, {"G", "3", 0, 10, 3, 500, 200});
    Implementation = Schematic.AddImplementation(R5, "RMOD", "(1:1),(2:2),(3:3)");
    Schematic.AddImplementationParameter(Implementation, {"Spice Prefix", "R"});
    Schematic.AddParameter(R5, {"Value", "4k7"});

    auto& document = Design.Document();
    auto& c1 = Design.Component(document, "C1");
    auto& r5 = Design.Component(document, "R5");
    auto& in = Design.Net("1");
    in.Groups[0] = {"IN"};
    auto& mid = Design.Net("2");
    auto& ground = Design.Net("7");
    Design.Pin(c1, "X", "2", 0, 0, &mid);
    // Each item lies where its pin's stored location is computed from: (x - L, y) for orientation 0,
    // (x + L, y) for 2, (x, y + L) for 3.
    Design.Pin(r5, "A", "1", 110, 200, &in);
    Design.Pin(r5, "B", "2", 290, 200, &mid);
    Design.Pin(r5, "G", "3", 500, 190, &ground);
    Project.Documents[0] = {&document};
    Workspace.Projects = {&Project};
    Workspace.FocusedProject = 0;
  }

  std::vector<std::string> Expand(const std::string& text, const TParameterDataList* list, std::int32_t part = 1) {
    TNetlistTemplateParser_Sch parser(text, Implementation, part, R5, false, {}, &Messages);
    parser.Parse();
    std::vector<std::string> lines;
    parser.Expand(lines, list);
    NetNamesAvailable = parser.NetNamesAvailable();
    return lines;
  }

  TParameterDataList PreviewList(const std::string& portMap = "(1:1),(2:2)") {
    TParameterDataList list;
    list.AddParameter("Value", "4k7");
    list.AddParameter("Spice Prefix", "R");
    list.AddParameter("Designator", "R5");
    list.AddParameter("Port Map", portMap);
    return list;
  }

  FakeSchServer Schematic;
  FakeDesign Design;
  test::FakeProject Project{u"/p/amp.PrjPcb"};
  test::FakeWorkspace Workspace;
  test::TScopedWorkspace Scope{&Workspace};
  THandle R5 = 0, Implementation = 0;
  std::vector<std::string> Messages;
  bool NetNamesAvailable = true;
};

TEST_F(ComponentExpansion, TheResistorPreview) {
  const TParameterDataList list = PreviewList();
  EXPECT_EQ(Expand("@DESIGNATOR %1 %2 @VALUE", &list), std::vector<std::string>{"R5 IN NetC1_2 4k7"});
  EXPECT_TRUE(Messages.empty());
  EXPECT_TRUE(NetNamesAvailable);
}

TEST_F(ComponentExpansion, AnUncompiledProjectGivesPinDesignators) {
  Project.Documents[0].clear();
  const TParameterDataList list = PreviewList();
  EXPECT_EQ(Expand("@DESIGNATOR %1 %2 @VALUE", &list), std::vector<std::string>{"R5 <1> <2> 4k7"});
  EXPECT_FALSE(NetNamesAvailable);
}

TEST_F(ComponentExpansion, NoWorkspaceMeansNoNetNames) {
  test::TScopedWorkspace none(nullptr);
  const TParameterDataList list = PreviewList();
  EXPECT_EQ(Expand("%1 [%2]", &list), std::vector<std::string>{"<1> [<2>]"});
  EXPECT_FALSE(NetNamesAvailable);  // set in the group's sub-parser, seen at the top
}

TEST_F(ComponentExpansion, AMissingPortIsReported) {
  const TParameterDataList list = PreviewList("(1:1)");
  EXPECT_EQ(Expand("@DESIGNATOR %1 %2 @VALUE", &list), std::vector<std::string>{"R5 IN  4k7"});
  EXPECT_EQ(Messages, std::vector<std::string>{"Could not map Pin (2)"});
}

TEST_F(ComponentExpansion, PinsOfAllPartsAndKindLetters) {
  const TParameterDataList list = PreviewList("(1:1),(2:2),(3:3)");
  // Pin 3 is common to all parts; pin 1 belongs to part 1 only, so in part 2 port 1 maps to no pin.
  EXPECT_EQ(Expand("%3 %1A %3V", &list, 2), std::vector<std::string>{"NetR5_3  NetR5_3"});
  EXPECT_EQ(Messages, std::vector<std::string>{"Could not map Pin (1A)"});
  Messages.clear();
  const TParameterDataList noThree = PreviewList("(1:1)");
  EXPECT_EQ(Expand("%9A", &noThree), std::vector<std::string>{""});
  EXPECT_EQ(Messages, std::vector<std::string>{"Could not map Pin (9A)"});
}

TEST_F(ComponentExpansion, WithoutAListValuesComeFromTheImplementationAndComponent) {
  Schematic.AddDatafileLink(Implementation, {"RMOD", "passives.mdl", "MDL"});
  EXPECT_EQ(Expand("@DESIGNATOR %1 @VALUE @MODEL @MODELLOCATION", nullptr),
            std::vector<std::string>{"R5 IN 4k7 RMOD passives.mdl"});
  // An implementation parameter named MODEL wins over the model name.
  Schematic.AddImplementationParameter(Implementation, {"Model", "OTHER"});
  EXPECT_EQ(Expand("@MODEL", nullptr), std::vector<std::string>{"OTHER"});
  EXPECT_TRUE(Messages.empty());
}

TEST_F(ComponentExpansion, DesignatorWithoutPrefixFromTheSchematic) {
  Schematic.FObjects[Schematic.FContainers[Schematic.ContainerOf(Implementation)][0]].Parameter.Value = "";
  EXPECT_EQ(Expand("X @DESIGNATOR", nullptr), std::vector<std::string>{"X"});
  EXPECT_EQ(Messages, (std::vector<std::string>{"No Spice Prefix specified in SIM implementation",
                                                "Parameter Undefined (DESIGNATOR)"}));
}

TEST_F(ComponentExpansion, TheFirstDocumentSearchedWins) {
  auto& second = Design.Document();
  auto& r5again = Design.Component(second, "R5");
  auto& other = Design.Net("3");
  other.Groups[0] = {"OTHER"};
  Design.Pin(r5again, "A", "1", 110, 200, &other);
  Project.Documents[0].insert(Project.Documents[0].begin(), &second);
  const TParameterDataList list = PreviewList();
  EXPECT_EQ(Expand("%1", &list), std::vector<std::string>{"OTHER"});
  // A compiled document replaces both lists.
  auto& compiled = Design.Document();
  auto& r5compiled = Design.Component(compiled, "R5");
  auto& flat = Design.Net("4");
  flat.Groups[1] = {"FLAT"};
  Design.Pin(r5compiled, "a", "1", 110, 200, &flat);
  Project.CompiledDocument = &compiled;
  EXPECT_EQ(Expand("%1", &list), std::vector<std::string>{"FLAT"});
}

TEST_F(ComponentExpansion, AnItemIsTakenWhenTheLocationComputedFromItIsThePins) {
  // A schematic pin at (100, 200) of length 10. From an item at (x, y) the stored location is computed as
  // (x, y - L) for orientation 1, (x + L, y) for 2, (x, y + L) for 3 and (x - L, y) for any other; only the item
  // that gives the pin's location back is its item. Decoys sit on the pin's location itself and a length the
  // other way.
  struct TCase {
    int Orientation;
    std::int32_t ItemX, ItemY, DecoyX, DecoyY;
  };
  const TCase cases[] = {
      {0, 110, 200, 90, 200}, {1, 100, 210, 100, 190}, {2, 90, 200, 110, 200},
      {3, 100, 190, 100, 210}, {9, 110, 200, 90, 200},
  };
  const TParameterDataList list = PreviewList("(1:1)");
  for (const TCase& c : cases) {
    SCOPED_TRACE("orientation " + std::to_string(c.Orientation));
    const THandle u1 = Schematic.AddComponent("U" + std::to_string(c.Orientation));
    Schematic.AddPin(u1, {"OUT", "1", 1, 10, static_cast<std::uint8_t>(c.Orientation), 100, 200});
    const THandle implementation = Schematic.AddImplementation(u1, "M", "(1:1)");
    FakeDesign design;
    auto& document = design.Document();
    auto& component = design.Component(document, "U" + std::to_string(c.Orientation));
    auto& decoy = design.Net("1");
    decoy.Groups[0] = {"DECOY"};
    auto& right = design.Net("2");
    right.Groups[0] = {"RIGHT"};
    design.Pin(component, "OUT", "1", 100, 200, &decoy);
    design.Pin(component, "OUT", "1", c.DecoyX, c.DecoyY, &decoy);
    design.Pin(component, "out", "1", c.ItemX, c.ItemY, &right);
    test::FakeProject project{u"/p/u.PrjPcb"};
    project.Documents[0] = {&document};
    test::FakeWorkspace workspace;
    workspace.Projects = {&project};
    workspace.FocusedProject = 0;
    test::TScopedWorkspace scope{&workspace};
    TNetlistTemplateParser_Sch parser("%1", implementation, 1, u1, false, {}, &Messages);
    parser.Parse();
    std::vector<std::string> lines;
    parser.Expand(lines, &list);
    EXPECT_EQ(lines, std::vector<std::string>{"RIGHT"});
    EXPECT_TRUE(parser.NetNamesAvailable());
  }
  EXPECT_TRUE(Messages.empty());
}

TEST_F(ComponentExpansion, NoItemIsTakenAcrossTheEdgeOfThe32BitPlane) {
  // The item of a pin at the largest x, pointing right, would lie past it: there is none, and an item at the
  // wrapped-around place is no match.
  const std::int32_t largest = std::numeric_limits<std::int32_t>::max();
  const THandle u2 = Schematic.AddComponent("U2");
  Schematic.AddPin(u2, {"P", "1", 1, 10, 0, largest, 0});
  const THandle implementation = Schematic.AddImplementation(u2, "M", "(1:1)");
  auto& wrapped = Design.Net("9");
  wrapped.Groups[0] = {"WRAPPED"};
  Design.Pin(Design.Component(Design.Documents.front(), "U2"), "P", "1", std::numeric_limits<std::int32_t>::min() + 9,
             0, &wrapped);
  TNetlistTemplateParser_Sch parser("%1", implementation, 1, u2, false, {}, &Messages);
  parser.Parse();
  std::vector<std::string> lines;
  const TParameterDataList list = PreviewList("(1:1)");
  parser.Expand(lines, &list);
  EXPECT_EQ(lines, std::vector<std::string>{"<1>"});
  EXPECT_FALSE(parser.NetNamesAvailable());
}

TEST_F(ComponentExpansion, AFailedDesignRequestEndsTheExpansion) {
  Project.DesignStatus = E_FAIL32;
  const TParameterDataList list = PreviewList();
  EXPECT_THROW(Expand("%1", &list), EHostError);
}

TEST(DesignNetNames, RulesInTheirOrder) {
  FakeDesign design;
  auto& doc = design.Document();
  auto& c = design.Component(doc, "R3");
  auto& q = design.Component(doc, "Q1");
  struct TCase {
    const char* Name;
    std::function<test::FakeDesignPin&()> Make;
    std::string Expected;
  };
  auto netWith = [&](std::string number, int group, std::string member) -> test::FakeDesignNet& {
    auto& n = design.Net(number);
    if (group >= 0) n.Groups[static_cast<std::size_t>(group)] = {member, "second"};
    return n;
  };
  const TCase cases[] = {
      {"linked net name", [&]() -> test::FakeDesignPin& {
         auto& p = design.Pin(c, "A", "1", 0, 0, &netWith("1", 0, "LABEL"));
         p.HasLinkedNet = true;
         p.LinkedNetName = "LINKED";
         return p;
       }, "LINKED"},
      {"no net: the item's name", [&]() -> test::FakeDesignPin& { return design.Pin(c, "A", "1", 0, 0, nullptr); },
       "R3-1"},
      {"first group", [&]() -> test::FakeDesignPin& { return design.Pin(c, "A", "1", 0, 0, &netWith("1", 0, "G1")); },
       "G1"},
      {"second group", [&]() -> test::FakeDesignPin& { return design.Pin(c, "A", "1", 0, 0, &netWith("1", 1, "G2")); },
       "G2"},
      {"third group", [&]() -> test::FakeDesignPin& { return design.Pin(c, "A", "1", 0, 0, &netWith("1", 2, "G3")); },
       "G3"},
      {"first pin of the net", [&]() -> test::FakeDesignPin& {
         auto& n = netWith("1", 3, "G4");
         design.Pin(c, "X", "2", 0, 0, &n);
         return design.Pin(q, "B", "1", 0, 0, &n);
       }, "NetR3_2"},
      {"first pin without a number", [&]() -> test::FakeDesignPin& {
         auto& n = netWith("1", -1, "");
         design.Pin(q, "X", "", 0, 0, &n);
         return design.Pin(c, "B", "1", 0, 0, &n);
       }, "NetQ1"},
  };
  for (const TCase& tc : cases) {
    SCOPED_TRACE(tc.Name);
    EXPECT_EQ(DesignNetName(&tc.Make()), tc.Expected);
  }
  // Without pins the fourth group, then the number padded to four digits.
  struct TBare {
    int Group;
    std::string Number, Expected;
  } bare[] = {{3, "7", "G4"}, {-1, "7", "N0007"}, {-1, "12345", "N12345"}, {-1, "", "N0000"}};
  for (const TBare& b : bare) {
    SCOPED_TRACE(b.Expected);
    auto& net = netWith(b.Number, b.Group, "G4");
    test::FakeDesignPin item;
    item.Net = &net;
    EXPECT_EQ(DesignNetName(&item), b.Expected);
  }
}

// The design's texts come back cut to the caller's buffer; long names are asked for again until they are whole, so
// that two nets whose names differ only near their end stay apart.
TEST(DesignNetNames, LongNamesComeThroughWhole) {
  FakeDesign design;
  auto& doc = design.Document();
  const std::string tail = std::string(3000, 'N');
  auto& c = design.Component(doc, "U" + std::string(2000, '9'));
  struct TCase {
    const char* Name;
    std::function<test::FakeDesignPin&()> Make;
    std::string Expected;
  };
  const TCase cases[] = {
      {"label of 1,023 bytes", [&]() -> test::FakeDesignPin& {
         auto& n = design.Net("1");
         n.Groups[0] = {std::string(1023, 'A')};
         return design.Pin(c, "A", "1", 0, 0, &n);
       }, std::string(1023, 'A')},
      {"label longer than the first buffer", [&]() -> test::FakeDesignPin& {
         auto& n = design.Net("1");
         n.Groups[0] = {tail + "A"};
         return design.Pin(c, "A", "1", 0, 0, &n);
       }, tail + "A"},
      {"linked net name", [&]() -> test::FakeDesignPin& {
         auto& p = design.Pin(c, "A", "1", 0, 0, nullptr);
         p.HasLinkedNet = true;
         p.LinkedNetName = tail + "L";
         return p;
       }, tail + "L"},
      {"the item's own name", [&]() -> test::FakeDesignPin& {
         auto& p = design.Pin(c, "A", "1", 0, 0, nullptr);
         p.Name = tail + "I";
         return p;
       }, tail + "I"},
      {"a long designator of the net's first pin", [&]() -> test::FakeDesignPin& {
         auto& n = design.Net("1");
         return design.Pin(c, "A", "7", 0, 0, &n);
       }, "NetU" + std::string(2000, '9') + "_7"},
  };
  for (const TCase& tc : cases) {
    SCOPED_TRACE(tc.Name);
    EXPECT_EQ(DesignNetName(&tc.Make()), tc.Expected);
  }

  SCOPED_TRACE("a text that never fits is refused, not cut");
  auto& huge = design.Net("2");
  huge.Groups[0] = {std::string(std::size_t{3} << 20, 'H')};
  EXPECT_THROW(DesignNetName(&design.Pin(c, "A", "1", 0, 0, &huge)), std::length_error);
}

TEST_F(ComponentExpansion, PinsWithLongNamesFindTheirItemsAndNets) {
  // Pin names longer than a 255-character field find their item, and two labels longer than the design's first
  // text buffer that differ only at the end are two nets.
  const std::string name = std::string(600, 'P');
  const THandle u3 = Schematic.AddComponent("U3");
  Schematic.AddPin(u3, {name + "1", "1", 1, 10, 0, 1000, 0});
  Schematic.AddPin(u3, {name + "2", "2", 1, 10, 0, 2000, 0});
  const THandle implementation = Schematic.AddImplementation(u3, "M", "(1:1),(2:2)");
  auto& a = Design.Net("21");
  a.Groups[0] = {std::string(1200, 'L') + "A"};
  auto& b = Design.Net("22");
  b.Groups[0] = {std::string(1200, 'L') + "B"};
  auto& component = Design.Component(Design.Documents.front(), "U3");
  Design.Pin(component, name + "1", "1", 1010, 0, &a);
  Design.Pin(component, name + "2", "2", 2010, 0, &b);
  TNetlistTemplateParser_Sch parser("%1 %2", implementation, 1, u3, false, {}, &Messages);
  parser.Parse();
  std::vector<std::string> lines;
  const TParameterDataList list = PreviewList("(1:1),(2:2)");
  parser.Expand(lines, &list);
  EXPECT_EQ(lines, std::vector<std::string>{std::string(1200, 'L') + "A " + std::string(1200, 'L') + "B"});
  EXPECT_TRUE(parser.NetNamesAvailable());
  EXPECT_TRUE(Messages.empty());
}

}  // namespace
}  // namespace tolvex
