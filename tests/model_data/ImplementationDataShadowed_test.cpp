// Saving an implementation whose parameter is hidden behind a component parameter of the same name.
#include <gtest/gtest.h>

#include "model_data/ImplementationData.h"
#include "support/FakeSchServer.h"

namespace tolvex {
namespace {

using test::FakeSchParameter;
using test::FakeSchServer;

std::vector<std::string> Names(const std::vector<FakeSchParameter>& parameters) {
  std::vector<std::string> out;
  for (const auto& p : parameters) out.push_back(p.Name + "=" + p.Value);
  return out;
}

// Load keeps the component's "Value" and never shows the implementation's, so the user cannot have meant to
// change the hidden one: pressing OK without a change must leave both containers as they were. Today the
// hidden parameter matches the component-level record by name and is moved onto the component, which then holds
// "Value" twice, while the implementation, whose own "Value" the expansion without a list prefers, loses it.
TEST(ImplementationDataShadowed, SavingWithoutChangesKeepsAHiddenImplementationParameterWhereItIs) {
  FakeSchServer server;
  const THandle r2 = server.AddComponent("R2");
  server.AddParameter(r2, {"Value", "4k7"});
  const THandle implementation = server.AddImplementation(r2, "RESISTOR", "(1:1),(2:2)");
  server.AddImplementationParameter(implementation, {"Kind", "General"});
  server.AddImplementationParameter(implementation, {"SubKind", "Resistor"});
  server.AddImplementationParameter(implementation, {"Spice Prefix", "R"});
  server.AddImplementationParameter(implementation, {"Netlist", "@DESIGNATOR %1 %2 @VALUE"});
  server.AddImplementationParameter(implementation, {"Value", "10k"});

  TImplementationData data(implementation, r2);
  data.Load();
  ASSERT_EQ(data.LoadedParameters().Count(), 1u);
  data.SetEditedParameters(*data.CopyParameters());
  data.Save();

  EXPECT_EQ(Names(server.ComponentParameters(r2)), std::vector<std::string>{"Value=4k7"});
  EXPECT_EQ(Names(server.ImplementationParameters(implementation)),
            (std::vector<std::string>{"Kind=General", "SubKind=Resistor", "Spice Prefix=R",
                                      "Netlist=@DESIGNATOR %1 %2 @VALUE", "Value=10k"}));
}

// The user moves the component's "Value" to the implementation, which holds a hidden "Value" of its own: the
// implementation must end with one "Value", the one the user edited. Today the component's is moved in beside the
// hidden one and both get the edited value, so the implementation holds "Value" twice.
TEST(ImplementationDataShadowed, MovingAParameterOntoAHiddenOneLeavesOneOfThatName) {
  FakeSchServer server;
  const THandle r2 = server.AddComponent("R2");
  server.AddParameter(r2, {"Value", "4k7"});
  const THandle implementation = server.AddImplementation(r2, "RESISTOR", "(1:1),(2:2)");
  server.AddImplementationParameter(implementation, {"Kind", "General"});
  server.AddImplementationParameter(implementation, {"Value", "10k"});

  TImplementationData data(implementation, r2);
  data.Load();
  auto edited = data.CopyParameters();
  edited->FindData("Value")->FComponentLevel = false;
  edited->FindData("Value")->FValue = "2k2";
  data.SetEditedParameters(*edited);
  data.Save();

  EXPECT_TRUE(server.ComponentParameters(r2).empty())
      << ::testing::PrintToString(Names(server.ComponentParameters(r2)));
  std::vector<std::string> values;
  for (const FakeSchParameter& p : server.ImplementationParameters(implementation))
    if (p.Name == "Value") values.push_back(p.Value);
  EXPECT_EQ(values, std::vector<std::string>{"2k2"})
      << ::testing::PrintToString(Names(server.ImplementationParameters(implementation)));
}

}  // namespace
}  // namespace tolvex
