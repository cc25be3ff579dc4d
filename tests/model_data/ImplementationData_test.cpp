// Loading an implementation and its component in one step and saving them back, against an
// in-memory schematic server.
#include "model_data/ImplementationData.h"

#include <gtest/gtest.h>

#include "host/SchServerApi.h"
#include "support/FakeSchServer.h"

namespace tolvex {
namespace {

using test::FakeSchParameter;
using test::FakeSchServer;

class ImplementationDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    R1 = Server.AddComponent("R1", 2);
    Server.AddPin(R1, {"A", "1", 1});
    Server.AddPin(R1, {"B", "2", 2});
    Server.AddPin(R1, {"G", "3", 0});
    Implementation = Server.AddImplementation(R1, "RMOD", "(1:1),(2:2)");
    Server.AddImplementationParameter(Implementation, {"Kind", "General"});
    Server.AddImplementationParameter(Implementation, {"SubKind", "Resistor"});
    Server.AddImplementationParameter(Implementation, {"Spice Prefix", "R"});
    Server.AddImplementationParameter(Implementation, {"Netlist", "@DESIGNATOR %1 %2 @VALUE"});
  }

  std::vector<std::string> Names(const std::vector<FakeSchParameter>& parameters) const {
    std::vector<std::string> out;
    for (const auto& p : parameters) out.push_back(p.Name);
    return out;
  }

  FakeSchServer Server;
  THandle R1 = 0;
  THandle Implementation = 0;
};

TEST_F(ImplementationDataTest, LoadReadsEverythingAndKeepsReservedNamesOutOfTheList) {
  Server.AddParameter(R1, {"Value", "4k7", 3, 2});
  Server.AddImplementationParameter(Implementation, {"Value", "1k"});
  Server.AddImplementationParameter(Implementation, {"Tolerance", "5%"});
  Server.AddDatafileLink(Implementation, {"RMOD", "passives.mdl", "MDL"});
  TImplementationData data(Implementation, R1);
  data.Load();
  EXPECT_EQ(data.FDesignator, "R1");
  EXPECT_EQ(data.FPartCount, 2);
  EXPECT_EQ(data.FModelName, "RMOD");
  EXPECT_EQ(data.FModelLocation, "passives.mdl");
  EXPECT_EQ(data.FPortMap, "(1:1),(2:2)");
  EXPECT_EQ(data.FKind, "General");
  EXPECT_EQ(data.FSubKind, "Resistor");
  EXPECT_EQ(data.FSpicePrefix, "R");
  EXPECT_EQ(data.FNetlist, "@DESIGNATOR %1 %2 @VALUE");
  EXPECT_EQ(data.GetPins().Count(), 3u);
  EXPECT_EQ(data.GetPins().GetDesignators(2), (std::vector<std::string>{"2", "3"}));
  // A component parameter and an implementation parameter of one name: the component's wins.
  const TParameterDataList& loaded = data.LoadedParameters();
  ASSERT_EQ(loaded.Count(), 2u);
  EXPECT_EQ(loaded.FindData("value")->FValue, "4k7");
  EXPECT_TRUE(loaded.FindData("Value")->FComponentLevel);
  EXPECT_EQ(loaded.FindData("Value")->FValueType, 3);
  EXPECT_EQ(loaded.FindData("Value")->FReadOnlyFlags, 2);
  EXPECT_FALSE(loaded.FindData("Tolerance")->FComponentLevel);
  EXPECT_FALSE(loaded.FindData("Kind"));
}

TEST_F(ImplementationDataTest, SaveMovesParametersBetweenContainersByTheirLevel) {
  Server.AddParameter(R1, {"Value", "4k7"});
  Server.AddParameter(R1, {"Power", "0.25"});
  Server.AddParameter(R1, {"Obsolete", "x"});
  Server.AddImplementationParameter(Implementation, {"Tolerance", "5%"});
  Server.AddImplementationParameter(Implementation, {"Dropped", "y"});
  const std::size_t before = Server.LiveParameterCount();
  TImplementationData data(Implementation, R1);
  data.Load();
  auto edited = data.CopyParameters();
  edited->FindData("Power")->FComponentLevel = false;     // component -> implementation
  edited->FindData("Tolerance")->FComponentLevel = true;  // implementation -> component
  edited->FindData("Tolerance")->FValue = "1%";
  // "Obsolete" and "Dropped" are left out of the edited list: they go.
  TParameterDataList kept;
  for (const char* name : {"Value", "Power", "Tolerance"}) {
    auto copy = std::make_unique<TParameterData>(edited->FindData(name));
    kept.AddData(copy);
  }
  data.SetEditedParameters(kept);
  data.Save();

  EXPECT_EQ(Names(Server.ComponentParameters(R1)), (std::vector<std::string>{"Value", "Tolerance"}));
  EXPECT_EQ(Names(Server.ImplementationParameters(Implementation)),
            (std::vector<std::string>{"Kind", "SubKind", "Spice Prefix", "Netlist", "Power"}));
  EXPECT_EQ(Server.FindParameter(Server.ContainerOf(R1), "Tolerance")->Value, "1%");
  // Moved, not copied: two objects went, none was created.
  EXPECT_EQ(Server.LiveParameterCount(), before - 2);
  EXPECT_EQ(Server.CreatedParameters(), 0);
  EXPECT_EQ(Server.OpenIterators(), 0);
}

TEST_F(ImplementationDataTest, AReservedNameInOtherLetterCaseStaysBesideTheNewOne) {
  FakeSchServer::TObject& kind = Server.FObjects[Server.FContainers[Server.ContainerOf(Implementation)][0]];
  kind.Parameter.Name = "kind";
  TImplementationData data(Implementation, R1);
  data.Load();
  EXPECT_EQ(data.FKind, "General");
  data.SetKind("Resistor");
  data.SetEditedParameters(*data.CopyParameters());
  data.Save();
  const THandle container = Server.ContainerOf(Implementation);
  ASSERT_TRUE(Server.FindParameter(container, "kind"));
  EXPECT_EQ(Server.FindParameter(container, "kind")->Value, "General");
  ASSERT_TRUE(Server.FindParameter(container, "Kind"));
  EXPECT_EQ(Server.FindParameter(container, "Kind")->Value, "Resistor");
}

TEST_F(ImplementationDataTest, SaveWritesTheImplementationsOwnFieldsAndNoLinkWithoutAModelFile) {
  Server.AddDatafileLink(Implementation, {"RMOD", "a.mdl", "MDL"});
  Server.AddDatafileLink(Implementation, {"RMOD", "b.mdl", "MDL"});
  TImplementationData data(Implementation, R1);
  data.Load();
  data.SetDescription("Thin film");
  data.SetModelName("RTHIN");
  data.SetPortMap("(1:2),(2:1)");
  data.SetSpicePrefix("X");
  data.FUseLibraryModel = true;
  data.SetEditedParameters(*data.CopyParameters());
  data.Save();
  EXPECT_TRUE(Server.DatafileLinks(Implementation).empty());
  EXPECT_EQ(Server.Description(Implementation), "Thin film");
  EXPECT_EQ(Server.ModelName(Implementation), "RTHIN");
  EXPECT_EQ(Server.PortMap(Implementation), "(1:2),(2:1)");
  EXPECT_TRUE(Server.UseLibraryModel(Implementation));
  EXPECT_EQ(Server.FindParameter(Server.ContainerOf(Implementation), "Spice Prefix")->Value, "X");
}

TEST_F(ImplementationDataTest, SaveWithoutAnEditedListLosesNoParameter) {
  Server.AddParameter(R1, {"Value", "4k7"});
  Server.AddImplementationParameter(Implementation, {"Tolerance", "5%"});
  TImplementationData data(Implementation, R1);
  data.Load();
  data.SetNetlist("@DESIGNATOR %1 %2 10k");
  data.Save();
  EXPECT_EQ(Names(Server.ComponentParameters(R1)), std::vector<std::string>{"Value"});
  EXPECT_EQ(Names(Server.ImplementationParameters(Implementation)),
            (std::vector<std::string>{"Kind", "SubKind", "Spice Prefix", "Netlist", "Tolerance"}));
  EXPECT_EQ(Server.FindParameter(Server.ContainerOf(Implementation), "Netlist")->Value, "@DESIGNATOR %1 %2 10k");
}

TEST_F(ImplementationDataTest, NewParametersAreCreatedAndARefusedCreationWritesNothing) {
  TImplementationData data(Implementation, R1);
  data.Load();
  TParameterDataList edited;
  edited.AddParameter("Temperature", "27");
  auto onComponent = std::make_unique<TParameterData>();
  onComponent->FName = "Value";
  onComponent->FValue = "10k";
  onComponent->FComponentLevel = true;
  edited.AddData(onComponent);
  data.SetEditedParameters(edited);
  data.Save();
  EXPECT_EQ(Server.FindParameter(Server.ContainerOf(Implementation), "Temperature")->Value, "27");
  EXPECT_EQ(Server.FindParameter(Server.ContainerOf(R1), "Value")->Value, "10k");

  Server.RefuseCreate = true;
  TParameterDataList more;
  more.AddParameter("Noise", "1");
  data.SetEditedParameters(more);
  data.Save();
  EXPECT_FALSE(Server.FindParameter(Server.ContainerOf(Implementation), "Noise"));
}

TEST(ParameterDataList, NamesAreUniqueAndTheFirstWins) {
  TParameterDataList list;
  EXPECT_EQ(list.AddParameter("Value", "1"), 0);
  EXPECT_EQ(list.AddParameterEx("VALUE", "2", 3, 1), -1);
  auto record = std::make_unique<TParameterData>();
  record->FName = "value";
  EXPECT_EQ(list.AddData(record), -1);
  EXPECT_TRUE(record);  // refused, so still the caller's
  EXPECT_EQ(list.FindData("vAlUe")->FValue, "1");
  EXPECT_EQ(list.GetData(5), nullptr);
  TParameterDataList copies;
  copies.AddCopiesOf(&list);
  copies.AddCopiesOf(nullptr);
  ASSERT_EQ(copies.Count(), 1u);
  EXPECT_NE(copies.GetData(0), list.GetData(0));
  EXPECT_EQ(TParameterData(nullptr).FName, "");
}

}  // namespace
}  // namespace tolvex
