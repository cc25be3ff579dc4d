// The generic server module: command table, process counter, no-ref objects and the module-wide references.
#include "server/RT_ServerImplementation.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/HostApi.h"
#include "support/FakeHost.h"

namespace tolvex {
namespace {

using test::FakeClient;
using test::FakeDocument;
using test::FakeView;
using test::TScopedMessageBoxes;

struct TLaunch {
  IServerDocumentView* Context;
  std::string Parameters;
};

// --- command table ---------------------------------------------------------------------------------

TEST(CommandLauncher, FindsACommandWhateverItsLetterCaseAndNothingElse) {
  struct TCase {
    const char* Name;
    bool Found;
  };
  const TCase cases[] = {
      {"RunSimulator", true},  {"runsimulator", true},  {"RUNSIMULATOR", true}, {"rUnSiMuLaToR", true},
      {"RunSimulato", false},  {"RunSimulatorX", false}, {"Run Simulator", false}, {"", false},
  };
  FakeView view;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TCommandLauncher launcher;
    std::vector<TLaunch> launches;
    launcher.RegisterCommand("RunSimulator", [&](IServerDocumentView* context, const char* parameters) {
      launches.push_back({context, parameters});
    });
    EXPECT_EQ(launcher.LaunchCommand(c.Name, "Netlist=a.nsx", 1024, &view), 0);
    ASSERT_EQ(launches.size(), c.Found ? 1u : 0u);
    if (c.Found) {
      EXPECT_EQ(launches[0].Context, &view);
      EXPECT_EQ(launches[0].Parameters, "Netlist=a.nsx");
    }
    EXPECT_EQ(launcher.FindProcessHandler(c.Name) != nullptr, c.Found);
  }
  EXPECT_EQ(view.References(), 0);
}

TEST(CommandLauncher, AbsentNameOrParametersReachNoHandlerOrAnEmptyText) {
  TCommandLauncher launcher;
  std::vector<TLaunch> launches;
  launcher.RegisterCommand("ViewError", [&](IServerDocumentView* context, const char* parameters) {
    ASSERT_NE(parameters, nullptr);
    launches.push_back({context, parameters});
  });
  EXPECT_EQ(launcher.LaunchCommand(nullptr, "x", 0, nullptr), 0);
  EXPECT_TRUE(launches.empty());
  launcher.LaunchCommand("ViewError", nullptr, 0, nullptr);
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].Parameters, "");
  EXPECT_EQ(launches[0].Context, nullptr);
}

struct TState {
  TBool32 Enabled, Checked, Visible;
  std::uint8_t Extra1, Extra2;
  friend bool operator==(const TState&, const TState&) = default;
};

std::ostream& operator<<(std::ostream& out, const TState& s) {
  return out << "{" << s.Enabled << ", " << s.Checked << ", " << s.Visible << ", " << int(s.Extra1) << ", "
             << int(s.Extra2) << "}";
}

// Starts from values that no default has, so a result left unset shows.
TState QueryState(ICommandLauncher& launcher, const char* name, IServerDocumentView* context = nullptr) {
  TState s{42, 42, 42, 42, 42};
  launcher.GetCommandState(name, "", context, &s.Enabled, &s.Checked, &s.Visible, &s.Extra1, &s.Extra2);
  return s;
}

constexpr TState kDefaultState{TRUE32, FALSE32, TRUE32, 0, 0};

TEST(CommandLauncher, ReportsTheDefaultsUnlessAStateHandlerSaysOtherwise) {
  TCommandLauncher launcher;
  launcher.RegisterCommand("Plain", [](IServerDocumentView*, const char*) {});
  launcher.RegisterCommand(
      "Stated", [](IServerDocumentView*, const char*) {},
      [](IServerDocumentView*, const char*, TBool32& enabled, TBool32& checked, TBool32& visible, std::uint8_t& x1,
         std::uint8_t& x2) {
        // Sees the defaults first, then changes each of them.
        EXPECT_EQ((TState{enabled, checked, visible, x1, x2}), kDefaultState);
        enabled = FALSE32;
        checked = TRUE32;
        visible = FALSE32;
        x1 = 1;
        x2 = 1;
      });
  struct TCase {
    const char* Name;
    TState Expected;
  };
  const TCase cases[] = {
      {"NoSuchCommand", kDefaultState},
      {"", kDefaultState},
      {"Plain", kDefaultState},
      {"stated", {FALSE32, TRUE32, FALSE32, 1, 1}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(QueryState(launcher, c.Name), c.Expected);
  }
  EXPECT_EQ(launcher.FindStateHandler("Plain"), nullptr);
  EXPECT_NE(launcher.FindStateHandler("STATED"), nullptr);
  // A host that asks only for Enabled passes no storage for the rest.
  TBool32 enabled = 42;
  launcher.GetCommandState(nullptr, nullptr, nullptr, &enabled, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(enabled, TRUE32);
}

TEST(CommandLauncher, AnUnknownCommandDoesNothing) {
  TCommandLauncher launcher;
  int runs = 0;
  launcher.RegisterCommand("StopSimulator", [&](IServerDocumentView*, const char*) { ++runs; });
  TScopedMessageBoxes boxes;
  EXPECT_EQ(launcher.LaunchCommand("NoSuchCommand", "", 0, nullptr), 0);
  EXPECT_EQ(runs, 0);
  EXPECT_TRUE(boxes.Records().empty());
}

TEST(CommandLauncher, ASecondRegistrationOfANameKeepsTheFirstAndFreesTheSecond) {
  auto firstToken = std::make_shared<int>(1);
  auto secondToken = std::make_shared<int>(2);
  std::vector<int> ran;
  {
    TCommandLauncher launcher;
    launcher.RegisterCommand(
        "RunSimulator", [&, firstToken](IServerDocumentView*, const char*) { ran.push_back(*firstToken); },
        [firstToken](IServerDocumentView*, const char*, TBool32& enabled, TBool32&, TBool32&, std::uint8_t&,
                     std::uint8_t&) { enabled = FALSE32; });
    launcher.RegisterCommand(
        "RUNsimulator", [&, secondToken](IServerDocumentView*, const char*) { ran.push_back(*secondToken); },
        [secondToken](IServerDocumentView*, const char*, TBool32& enabled, TBool32&, TBool32&, std::uint8_t&,
                      std::uint8_t&) { enabled = TRUE32; });
    EXPECT_EQ(secondToken.use_count(), 1) << "the discarded handler pair is still held";
    EXPECT_EQ(launcher.CommandCount(), 1u);

    launcher.LaunchCommand("runsimulator", "", 0, nullptr);
    EXPECT_EQ(ran, std::vector<int>{1});
    EXPECT_EQ(QueryState(launcher, "RunSimulator").Enabled, FALSE32);
    EXPECT_GT(firstToken.use_count(), 1);
  }
  EXPECT_EQ(firstToken.use_count(), 1) << "the launcher did not free its handlers";
}

TEST(CommandLauncher, AHandlerThatThrowsShowsTheErrorAndTheExceptionStaysInside) {
  TCommandLauncher launcher;
  launcher.RegisterCommand("Fails", [](IServerDocumentView*, const char*) {
    throw std::runtime_error("Netlist R&D.nsx cannot be read");
  });
  launcher.RegisterCommand("ThrowsAnInt", [](IServerDocumentView*, const char*) { throw 7; });
  launcher.RegisterCommand(
      "StateFails", [](IServerDocumentView*, const char*) {},
      [](IServerDocumentView*, const char*, TBool32&, TBool32&, TBool32&, std::uint8_t&, std::uint8_t&) {
        throw std::runtime_error("state");
      });
  TScopedMessageBoxes boxes;

  EXPECT_NO_THROW(EXPECT_EQ(launcher.LaunchCommand("Fails", "", 0, nullptr), 0));
  ASSERT_EQ(boxes.Records().size(), 1u);
  EXPECT_EQ(boxes.Records()[0].Box.Caption, "Halvenmoor Error");
  EXPECT_EQ(boxes.Records()[0].Box.Text, "Netlist R&&D.nsx cannot be read");

  EXPECT_NO_THROW(launcher.LaunchCommand("ThrowsAnInt", "", 0, nullptr));
  TState state{};
  EXPECT_NO_THROW(state = QueryState(launcher, "StateFails"));
  EXPECT_EQ(state.Enabled, TRUE32);
}

// --- objects without reference counting ------------------------------------------------------------

template <class I>
void ExpectNoRefObject(I* object, const TGUID& own, const TGUID& other) {
  EXPECT_EQ(object->AddRef(), 0u);
  EXPECT_EQ(object->AddRef(), 0u);
  EXPECT_EQ(object->Release(), 0u);
  void* found = nullptr;
  EXPECT_EQ(object->QueryInterface(own, &found), S_OK32);
  EXPECT_EQ(found, static_cast<void*>(object));
  found = nullptr;
  EXPECT_EQ(object->QueryInterface(IID_IInterface, &found), S_OK32);
  EXPECT_EQ(found, static_cast<void*>(object));
  found = &found;
  EXPECT_EQ(object->QueryInterface(other, &found), E_NOINTERFACE32);
  EXPECT_EQ(found, nullptr);
  EXPECT_EQ(object->QueryInterface(own, nullptr), E_NOINTERFACE32);
}

TEST(NoRefObjects, CommandLauncherAndProcessControlCountNoReferences) {
  {
    SCOPED_TRACE("TCommandLauncher");
    TCommandLauncher launcher;
    ExpectNoRefObject<ICommandLauncher>(&launcher, IID_ICommandLauncher, IID_IProcessControl);
  }
  {
    SCOPED_TRACE("TProcessControl");
    TProcessControl control;
    ExpectNoRefObject<IProcessControl>(&control, IID_IProcessControl, IID_ICommandLauncher);
  }
}

TEST(ProcessControl, CountsNestedProcesses) {
  TProcessControl control;
  EXPECT_EQ(control.GetProcessDepth(), 0);
  control.PreProcess(nullptr, nullptr);
  control.PreProcess(nullptr, "");
  EXPECT_EQ(control.GetProcessDepth(), 2);
  control.PostProcess(nullptr, nullptr);
  EXPECT_EQ(control.GetProcessDepth(), 1);
  control.SetProcessDepth(-5);
  control.PostProcess(nullptr, nullptr);
  EXPECT_EQ(control.GetProcessDepth(), -6);
}

// --- the server-module base ---------------------------------------------------------------------------

// A descendant that produces a document, so the base's document list can be watched.
class TDocumentServer final : public TServerModule {
 public:
  TDocumentServer(IClient* client, IServerDocument* next) : TServerModule(client, "DOC"), FNext(next) {}
  static TDocumentServer* Create(IClient* client, IServerDocument* next) {
    auto* module = new TDocumentServer(client, next);
    module->AddRef();
    module->Initialize();
    return module;
  }
  std::vector<std::pair<std::int32_t, std::int32_t>> NewDocumentCalls;

 protected:
  IServerDocument* NewDocument(std::int32_t a, std::int32_t b) override {
    NewDocumentCalls.emplace_back(a, b);
    return FNext;
  }

 private:
  IServerDocument* FNext;
};

class ServerModuleBase : public ::testing::Test {
 protected:
  ~ServerModuleBase() override {
    // Gives back the module-wide client's reference before the fakes check theirs.
    SetModuleClient(nullptr);
  }
  FakeClient Client;
  FakeDocument Document{"C:\\p\\a.nsx"};
};

TEST_F(ServerModuleBase, KeepsTheDocumentsItCreatedUntilTheyAreDestroyed) {
  TDocumentServer* module = TDocumentServer::Create(&Client, &Document);
  IServerDocument* created = module->CreateDocument(3, 4);
  EXPECT_EQ(created, &Document);
  EXPECT_EQ(module->NewDocumentCalls, (std::vector<std::pair<std::int32_t, std::int32_t>>{{3, 4}}));
  EXPECT_EQ(module->GetDocumentCount(), 1);
  EXPECT_EQ(Document.References(), 2) << "one for the list, one for the caller";
  created->Release();

  IServerDocument* listed = module->GetDocument(0);
  EXPECT_EQ(listed, &Document);
  listed->Release();
  EXPECT_EQ(module->GetDocument(1), nullptr);
  EXPECT_EQ(module->GetDocument(-1), nullptr);

  module->DestroyDocument(&Document);
  EXPECT_EQ(module->GetDocumentCount(), 0);
  EXPECT_EQ(Document.References(), 0);
  module->Release();
}

TEST_F(ServerModuleBase, ReleasingTheModuleGivesBackItsDocuments) {
  TDocumentServer* module = TDocumentServer::Create(&Client, &Document);
  module->CreateDocument(0, 0)->Release();
  EXPECT_EQ(Document.References(), 1);
  module->Release();
  EXPECT_EQ(Document.References(), 0);
}

TEST_F(ServerModuleBase, AnswersTheFixedOperations) {
  TDocumentServer* module = TDocumentServer::Create(&Client, nullptr);
  EXPECT_STREQ(module->GetModuleName(), "DOC");
  EXPECT_EQ(module->GetSecondaryCount(), 0);
  EXPECT_EQ(module->GetSecondary(0), nullptr);
  EXPECT_EQ(module->GetExtendedInfo(), 0);
  EXPECT_NE(module->GetInstanceHandle(), 0);
  EXPECT_EQ(module->CreateDocument(0, 0), nullptr);
  EXPECT_EQ(module->GetDocumentCount(), 0);
  EXPECT_NO_THROW(module->ReceiveNotification(nullptr));
  EXPECT_NO_THROW(module->DestroyDocument(nullptr));
  module->Release();
}

TEST_F(ServerModuleBase, TheNewestModuleOwnsTheModuleWideReferences) {
  FakeClient other;
  TDocumentServer* first = TDocumentServer::Create(&Client, nullptr);
  EXPECT_EQ(GetServerModule(), first);
  EXPECT_EQ(GetClient().Get(), &Client);

  TDocumentServer* second = TDocumentServer::Create(&other, nullptr);
  EXPECT_EQ(GetServerModule(), second);
  EXPECT_EQ(GetClient().Get(), &other);

  // Destroying an older module must not clear the live one.
  first->Release();
  EXPECT_EQ(GetServerModule(), second);
  EXPECT_EQ(Client.References(), 0) << "the first module kept its client";

  IClient* client = second->GetClient();
  EXPECT_EQ(client, &other);
  EXPECT_EQ(other.References(), 3) << "module, module-wide reference and the caller";
  client->Release();

  second->AddRef();
  second->Release();
  EXPECT_EQ(GetServerModule(), second) << "destroyed before its last reference was released";
  second->Release();
  EXPECT_EQ(GetServerModule(), nullptr);
  EXPECT_EQ(other.References(), 1) << "only the module-wide reference is left";
  SetModuleClient(nullptr);
}

}  // namespace
}  // namespace tolvex
