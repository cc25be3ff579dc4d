// Schematic wrappers and look-ups against an in-memory schematic server.
#include "model_data/SchObjects.h"

#include <gtest/gtest.h>

#include "host/SchServerApi.h"
#include "model_data/ImplementationData.h"
#include "support/FakeHost.h"
#include "support/FakeSchServer.h"

namespace tolvex {
namespace {

using test::FakeSchParameter;
using test::FakeSchPin;
using test::FakeSchServer;

std::unique_ptr<TSchComponent> ReadComponent(THandle h) {
  auto component = std::make_unique<TSchComponent>(h);
  component->Query(kSchQueryModeRead);
  return component;
}

TEST(SchObjects, WithoutAServerEverythingHasItsDefault) {
  SchServer().Clear();
  TSchComponent component(0x1234);
  EXPECT_EQ(component.Query(kSchQueryModeRead), kSchQueryFailure);
  EXPECT_EQ(component.FPartCount, 1);
  EXPECT_EQ(component.GetObjectId(), 61);
  EXPECT_EQ(component.GetDesignatorText(), "");
  std::vector<THandle> pins;
  component.GetPinHandles(pins);
  EXPECT_TRUE(pins.empty());
  std::int32_t a, b, c, d;
  component.GetBoundingRectangle(a, b, c, d);
  EXPECT_EQ(std::vector<std::int32_t>({a, b, c, d}), std::vector<std::int32_t>({-1, -1, -1, -1}));
  EXPECT_FALSE(component.EditFromUser());
  EXPECT_EQ(ReadSpicePrefix(nullptr), "");
}

TEST(SchObjects, ComponentReadsDesignatorParametersAndPins) {
  FakeSchServer server;
  const THandle r1 = server.AddComponent("R1", 2);
  server.AddPin(r1, {"IN", "1", 1});
  server.AddPin(r1, {"OUT", "2", 0});
  server.AddParameter(r1, {"Value", "4k7"});
  const auto component = ReadComponent(r1);
  EXPECT_EQ(component->GetDesignatorText(), "R1");
  EXPECT_EQ(component->FPartCount, 2);
  TSchParameterList parameters;
  component->GetParameters(parameters);
  ASSERT_EQ(parameters.Count(), 1u);
  EXPECT_EQ(parameters.Get(0)->FValue, "4k7");
  EXPECT_FALSE(parameters.Get(0)->FUniqueId.empty());
  std::vector<THandle> pins;
  component->GetPinHandles(pins);
  EXPECT_EQ(pins.size(), 2u);
  EXPECT_EQ(server.OpenIterators(), 0);

  const THandle empty = server.AddComponentWithoutContainer();
  TSchParameterList none;
  ReadComponent(empty)->GetParameters(none);
  EXPECT_EQ(none.Count(), 0u);
}

TEST(SchObjects, FindPinByDesignatorTakesThePartAndAllParts) {
  FakeSchServer server;
  const THandle u1 = server.AddComponent("U1", 2);
  server.AddPin(u1, {"A", "1", 1});
  server.AddPin(u1, {"B", "1", 2});
  server.AddPin(u1, {"VCC", "8", 0});
  server.AddPin(u1, {"Y", "A1", 2});
  const auto component = ReadComponent(u1);
  struct TCase {
    std::int32_t Part;
    const char* Designator;
    const char* Name;  // nullptr: no pin
  } cases[] = {{1, "1", "A"}, {2, "1", "B"}, {2, "8", "VCC"}, {1, "8", "VCC"},
               {2, "a1", "Y"}, {1, "A1", nullptr}, {0, "1", nullptr}, {2, "9", nullptr}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.Part) + ":" + c.Designator);
    const auto pin = FindPinByDesignator(*component, c.Part, c.Designator);
    if (c.Name) {
      ASSERT_TRUE(pin);
      EXPECT_EQ(pin->FName, c.Name);
    } else {
      EXPECT_FALSE(pin);
    }
  }
  EXPECT_EQ(server.OpenIterators(), 0);
}

TEST(SchObjects, InALibraryDocumentTheCurrentComponentsPinsComeFromTheDocument) {
  FakeSchServer server;
  const THandle u1 = server.AddComponent("U1");
  server.AddPin(u1, {"CONTAINER", "1", 0});
  const THandle other = server.AddComponent("U2");
  server.AddPin(other, {"OTHER", "1", 0});
  const THandle document = server.AddLibraryDocument("/lib/parts.SchLib", u1);
  server.AddDocumentPin(document, {"DOC", "1", 0});

  test::FakeClient client;
  test::FakeServerModule editor("SCH");
  test::FakeDocument libraryDocument;
  libraryDocument.FileName = "/lib/parts.SchLib";
  libraryDocument.Kind = "SchLib";
  libraryDocument.ServerModule = &editor;
  test::FakeView view;
  view.Document = &libraryDocument;
  client.CurrentView = &view;
  test::TScopedModuleClient scope(&client);

  EXPECT_EQ(FindPinByDesignator(*ReadComponent(u1), 1, "1")->FName, "DOC");
  EXPECT_EQ(FindPinByDesignator(*ReadComponent(other), 1, "1")->FName, "OTHER");
  std::vector<THandle> pins;
  ReadComponent(u1)->GetPinHandles(pins);
  EXPECT_EQ(pins.size(), 2u);  // its container's pin, then the document's
}

TEST(SchObjects, FindPinForPortFollowsThePortMap) {
  FakeSchServer server;
  const THandle q1 = server.AddComponent("Q1");
  server.AddPin(q1, {"C", "1", 0});
  server.AddPin(q1, {"B", "2", 0});
  server.AddPin(q1, {"E", "3", 0});
  const THandle impl = server.AddImplementation(q1, "NPN", "(1:2),(3:1)");
  const auto component = ReadComponent(q1);
  TComponentImplementation implementation(impl);
  implementation.Query(kSchQueryModeRead);
  struct TCase {
    const char* Port;
    const char* Pin;
  } cases[] = {{"1", "E"}, {"2", "C"}, {"3", nullptr}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Port);
    const auto pin = implementation.FindPinForPort(component.get(), 1, nullptr, c.Port);
    if (c.Pin) {
      ASSERT_TRUE(pin);
      EXPECT_EQ(pin->FName, c.Pin);
    } else {
      EXPECT_FALSE(pin);
    }
  }
  // An edited port map in a parameter list wins over the stored one; blanks are trimmed here.
  TParameterDataList edited;
  edited.AddParameter("port map", "( 2 : 1 )");
  EXPECT_EQ(implementation.FindPinForPort(component.get(), 1, &edited, "1")->FName, "B");
  TParameterDataList without;
  EXPECT_FALSE(implementation.FindPinForPort(component.get(), 1, &without, "1"));
  EXPECT_FALSE(implementation.FindPinForPort(nullptr, 1, nullptr, "1"));
}

TEST(SchObjects, ParameterWriteSendsBlankAttributeStrings) {
  FakeSchServer server;
  const THandle r1 = server.AddComponent("R1");
  const THandle value = server.AddParameter(r1, {"Value", "1k"});
  TSchParameter parameter(value);
  parameter.Query(kSchQueryModeRead);
  EXPECT_EQ(parameter.FT1, "t1");
  parameter.FValue = "2k";
  parameter.Query(kSchQueryModeWrite);
  const FakeSchParameter* stored = server.FindParameter(server.ContainerOf(r1), "Value");
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->Value, "2k");
  EXPECT_EQ(stored->T1, " ");
  EXPECT_EQ(stored->T2, " ");
}

TEST(SchObjects, ReadsThatFailLeaveTheFieldsAndLongTextsAreCut) {
  FakeSchServer server;
  const THandle r1 = server.AddComponent("R1");
  const THandle value = server.AddParameter(r1, {"Value", std::string(3000, 'v')});
  TSchParameter parameter(value);
  parameter.Query(kSchQueryModeRead);
  EXPECT_EQ(parameter.FValue.size(), kSchTextBufferSize - 1);
  server.RefusedQueries.insert("Parameter");
  parameter.FValue = "kept";
  EXPECT_EQ(parameter.Query(kSchQueryModeRead), kSchQueryFailure);
  EXPECT_EQ(parameter.FValue, "kept");
}

TEST(SchObjects, ImplementationReadsAndReplacesItsDataFileLinks) {
  FakeSchServer server;
  const THandle d1 = server.AddComponent("D1");
  const THandle impl = server.AddImplementation(d1, "1N4148", "(1:1),(2:2)");
  server.AddDatafileLink(impl, {"1N4148", "diodes.mdl", "MDL"});
  server.AddDatafileLink(impl, {"X", "other.ckt", "CKT"});
  server.AddImplementationParameter(impl, {"spice prefix", "D"});
  TComponentImplementation implementation(impl);
  ASSERT_NE(implementation.Query(kSchQueryModeRead), kSchQueryFailure);
  ASSERT_EQ(implementation.DatafileLinkCount(), 2u);
  EXPECT_EQ(implementation.GetDatafileLink(1)->FLocation, "other.ckt");
  EXPECT_EQ(ReadSpicePrefix(&implementation), "D");
  EXPECT_FALSE(implementation.FindImplementationParameter("Kind"));

  implementation.ClearDatafileLinks();
  implementation.AddDatafileLink("1N4148", "/models/d.mdl", "MDL");
  implementation.Query(kSchQueryModeWrite);
  ASSERT_EQ(server.DatafileLinks(impl).size(), 1u);
  EXPECT_EQ(server.DatafileLinks(impl)[0].Location, "/models/d.mdl");
}

}  // namespace
}  // namespace tolvex
