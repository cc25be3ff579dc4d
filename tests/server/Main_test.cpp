// The "SIM" module: its entry export, interfaces, command table and when "RunSimulator" is available.
#include "server/Main.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "host/HostApi.h"
#include "support/FakeHost.h"

namespace tolvex {
namespace {

using test::FakeClient;
using test::FakeDocument;
using test::FakeServerModule;
using test::FakeView;

class SimModule : public ::testing::Test {
 protected:
  ~SimModule() override {
    if (Module) Module->Release();
    EXPECT_EQ(GetServerModule(), nullptr);
    // Gives back the module-wide client's reference before the fake checks its count.
    SetModuleClient(nullptr);
  }
  IServerModule* Create() {
    ServerFactory(&Module, &Client);
    return Module;
  }
  TTolvexServerModule& Sim() { return *static_cast<TTolvexServerModule*>(Module); }

  FakeClient Client;
  // Whatever the module shows while it starts or stops (an engine that cannot be found) stays headless.
  test::TScopedMessageBoxes Boxes;
  IServerModule* Module = nullptr;
};

TEST_F(SimModule, ServerFactoryStoresAModuleThatItsLastReleaseDestroys) {
  ASSERT_NE(Create(), nullptr);
  EXPECT_STREQ(Module->GetModuleName(), "SIM");
  EXPECT_EQ(GetServerModule(), Module);
  EXPECT_EQ(Client.References(), 2) << "the module's and the module-wide reference";

  Module->AddRef();
  EXPECT_EQ(Module->Release(), 1u);
  EXPECT_EQ(GetServerModule(), Module);
  EXPECT_EQ(std::exchange(Module, nullptr)->Release(), 0u);
  EXPECT_EQ(GetServerModule(), nullptr);
  EXPECT_EQ(Client.References(), 1) << "the module did not give back its client";
}

TEST_F(SimModule, ServerFactoryWithoutAPlaceToStoreDoesNothing) {
  EXPECT_NO_THROW(ServerFactory(nullptr, &Client));
  EXPECT_EQ(GetServerModule(), nullptr);
  EXPECT_EQ(Client.References(), 0);
}

TEST_F(SimModule, OffersIServerModuleAndISimEditorOfOneObject) {
  Create();
  struct TCase {
    const char* Name;
    const TGUID& Iid;
    bool Offered;
  };
  const TCase cases[] = {
      {"IServerModule", IID_IServerModule, true},       {"IInterface", IID_IInterface, true},
      {"ISimEditor", IID_ISimEditor, true},             {"ICommandLauncher", IID_ICommandLauncher, false},
      {"IProcessControl", IID_IProcessControl, false},  {"IClient", IID_IClient, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    void* found = &found;
    EXPECT_EQ(Module->QueryInterface(c.Iid, &found), c.Offered ? S_OK32 : E_NOINTERFACE32);
    if (!c.Offered) {
      EXPECT_EQ(found, nullptr);
      continue;
    }
    ASSERT_NE(found, nullptr);
    // Whatever was found leads back to the same module.
    auto* asInterface = static_cast<IInterface*>(found);
    void* back = nullptr;
    EXPECT_EQ(asInterface->QueryInterface(IID_IServerModule, &back), S_OK32);
    EXPECT_EQ(back, static_cast<void*>(Module));
    static_cast<IServerModule*>(back)->Release();
    asInterface->Release();
  }
  EXPECT_EQ(Module->QueryInterface(IID_ISimEditor, nullptr), E_NOINTERFACE32);

  // A reference taken through ISimEditor keeps the module alive on its own.
  void* editor = nullptr;
  ASSERT_EQ(Module->QueryInterface(IID_ISimEditor, &editor), S_OK32);
  std::exchange(Module, nullptr)->Release();
  EXPECT_NE(GetServerModule(), nullptr);
  EXPECT_EQ(static_cast<ISimEditor*>(editor)->Release(), 0u);
  EXPECT_EQ(GetServerModule(), nullptr);
}

TEST_F(SimModule, OwnsNoDocuments) {
  Create();
  const std::pair<std::int32_t, std::int32_t> arguments[] = {{0, 0}, {1, 2}, {-1, -1}};
  for (auto [a, b] : arguments) {
    SCOPED_TRACE(testing::Message() << a << ", " << b);
    EXPECT_EQ(Module->CreateDocument(a, b), nullptr);
    EXPECT_EQ(Module->GetDocumentCount(), 0);
  }
}

TEST_F(SimModule, TheClientGivenReplacesTheModuleWideClient) {
  FakeClient initial;
  SetModuleClient(&initial);
  Create();
  EXPECT_EQ(GetClient().Get(), &Client);
  EXPECT_EQ(initial.References(), 0) << "the initial client was not given back";

  IClient* client = Module->GetClient();
  EXPECT_EQ(client, &Client);
  EXPECT_EQ(Client.References(), 3) << "GetClient hands out a reference of its own";
  client->Release();
}

TEST_F(SimModule, CommandLauncherAndProcessControlDoNotKeepTheModuleAlive) {
  Create();
  ICommandLauncher* launcher = Module->GetCommandLauncher();
  IProcessControl* control = Module->GetProcessControl();
  ASSERT_NE(launcher, nullptr);
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(launcher->AddRef(), 0u);
  EXPECT_EQ(control->AddRef(), 0u);
  EXPECT_EQ(launcher->Release(), 0u);
  EXPECT_EQ(control->Release(), 0u);
  // The module's own count did not move: one more release ends it.
  Module->AddRef();
  EXPECT_EQ(Module->Release(), 1u);

  control->PreProcess(nullptr, nullptr);
  control->PreProcess(nullptr, nullptr);
  control->PostProcess(nullptr, nullptr);
  EXPECT_EQ(Module->GetProcessControl()->GetProcessDepth(), 1);
  control->SetProcessDepth(0);
  EXPECT_EQ(control->GetProcessDepth(), 0);
}

TEST_F(SimModule, RegistersItsThreeCommands) {
  Create();
  TCommandLauncher& launcher = Sim().CommandLauncher();
  EXPECT_EQ(launcher.CommandCount(), 3u);
  struct TCase {
    const char* Name;
    bool HasState;
  };
  for (const TCase& c : {TCase{"RunSimulator", true}, TCase{"StopSimulator", false}, TCase{"ViewError", false},
                         TCase{"runsimulator", true}}) {
    SCOPED_TRACE(c.Name);
    EXPECT_NE(launcher.FindProcessHandler(c.Name), nullptr);
    EXPECT_EQ(launcher.FindStateHandler(c.Name) != nullptr, c.HasState);
  }
  // An unknown command neither runs nor changes the defaults.
  EXPECT_EQ(Module->GetCommandLauncher()->LaunchCommand("NoSuchCommand", "", 0, nullptr), 0);
}

TEST_F(SimModule, EditImplementationOnHandlesTheSchematicDoesNotKnowFailsAndLeavesAcceptedAlone) {
  // No schematic server is bound: no handle can be read, so the dialog is never shown.
  Create();
  void* editor = nullptr;
  ASSERT_EQ(Module->QueryInterface(IID_ISimEditor, &editor), S_OK32);
  auto* simEditor = static_cast<ISimEditor*>(editor);
  std::uint8_t accepted = 0x5A;
  EXPECT_EQ(simEditor->EditImplementation(11, 22, TRUE32, &accepted), E_UNEXPECTED32);
  EXPECT_EQ(accepted, 0x5A);
  EXPECT_EQ(simEditor->EditImplementation(0, 0, FALSE32, nullptr), E_UNEXPECTED32);
  simEditor->Release();
}

// --- when "RunSimulator" is available ----------------------------------------------------------------

struct TState {
  TBool32 Enabled, Checked, Visible;
  std::uint8_t Extra1, Extra2;
};

TState QueryState(IServerModule& module, const char* name, IServerDocumentView* context) {
  TState s{42, 42, 42, 42, 42};
  module.GetCommandLauncher()->GetCommandState(name, "", context, &s.Enabled, &s.Checked, &s.Visible, &s.Extra1,
                                               &s.Extra2);
  return s;
}

// What the view in which the host asks looks like.
struct TContext {
  bool View = true;
  bool Document = true;
  std::optional<std::string> Server = "EditSim";  // none: the document has no server module
  std::string FileName = "C:\\Designs\\amp.nsx";
};

// Builds the view of Context from fakes and runs Query on it; the fakes then check that every reference came back.
template <class F>
void WithContext(const TContext& context, F query) {
  FakeServerModule server(context.Server.value_or(""));
  FakeDocument document(context.FileName, context.Server ? &server : nullptr);
  FakeView view(context.Document ? &document : nullptr);
  query(context.View ? &view : nullptr);
  EXPECT_EQ(view.References() + document.References() + server.References(), 0) << "a reference was not released";
}

TEST_F(SimModule, RunSimulatorIsAvailableOnlyForANetlistOfTheSimulationEditor) {
  Create();
  struct TCase {
    const char* Name;
    TContext Context;
    bool Enabled;
  };
  const TCase cases[] = {
      {"no view", {.View = false}, false},
      {"view without document", {.Document = false}, false},
      {"document without server module", {.Server = std::nullopt}, false},
      {"schematic server", {.Server = "SCH"}, false},
      {"server whose name only starts with EditSim", {.Server = "EditSimX"}, false},
      {"EditSim, .nsx", {.Server = "EditSim", .FileName = "C:\\Designs\\amp.nsx"}, true},
      {"editsim, .NSX", {.Server = "editsim", .FileName = "C:\\Designs\\AMP.NSX"}, true},
      {"EDITSIM, .Nsx", {.Server = "EDITSIM", .FileName = "/home/u/designs/amp.Nsx"}, true},
      {"name with several dots", {.FileName = "C:\\Designs\\amp.v2.nsx"}, true},
      {".nsx.bak", {.FileName = "C:\\Designs\\amp.nsx.bak"}, false},
      {".txt", {.FileName = "C:\\Designs\\amp.txt"}, false},
      {"extension without dot", {.FileName = "C:\\Designs\\ampnsx"}, false},
      {"folder x.nsx, file without extension", {.FileName = "C:\\x.nsx\\netlist"}, false},
      {"folder x.nsx, file without extension (slash)", {.FileName = "/work/x.nsx/netlist"}, false},
      {"no file name", {.FileName = ""}, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    WithContext(c.Context, [&](IServerDocumentView* view) {
      const TState s = QueryState(*Module, "RunSimulator", view);
      EXPECT_EQ(s.Enabled, c.Enabled ? TRUE32 : FALSE32);
      // The other four results keep their defaults.
      EXPECT_EQ(s.Checked, FALSE32);
      EXPECT_EQ(s.Visible, TRUE32);
      EXPECT_EQ(s.Extra1, 0);
      EXPECT_EQ(s.Extra2, 0);
    });
  }
}

TEST_F(SimModule, StopSimulatorAndViewErrorAreAlwaysAvailable) {
  Create();
  const std::pair<const char*, TContext> contexts[] = {
      {"no view", {.View = false}},
      {"netlist of EditSim", {}},
      {"other server", {.Server = "SCH", .FileName = "C:\\Designs\\amp.SchDoc"}},
  };
  for (const char* command : {"StopSimulator", "ViewError", "viewerror"}) {
    for (const auto& [name, context] : contexts) {
      SCOPED_TRACE(testing::Message() << command << ", " << name);
      WithContext(context, [&](IServerDocumentView* view) {
        EXPECT_EQ(QueryState(*Module, command, view).Enabled, TRUE32);
      });
    }
  }
}

TEST(ExtractFileExtension, TakesTheExtensionFromTheNamePartOnly) {
  struct TCase {
    const char* Path;
    const char* Expected;
  };
  const TCase cases[] = {
      {"amp.nsx", ".nsx"},
      {"C:\\Designs\\amp.tar.gz", ".gz"},
      {"C:\\x.nsx\\netlist", ""},
      {"/work/x.nsx/netlist", ""},
      {"C:amp.nsx", ".nsx"},
      {"C:\\Designs\\amp.", "."},
      {"C:\\Designs\\", ""},
      {"netlist", ""},
      {"", ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Path);
    EXPECT_EQ(ExtractFileExtension(c.Path), c.Expected);
  }
}

}  // namespace
}  // namespace tolvex
