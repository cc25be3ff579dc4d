// The Sim Editor dialog on an in-memory schematic: the entry that opens it, the template lines, the path ellipsis and the length checks on OK.
#include "editor/Form_ImplementationEditor.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "editor/EditorKinds.h"
#include "host/HostInterfaces.h"
#include "server/Main.h"
#include "support/FakeHost.h"
#include "support/FakeSchServer.h"
#include "support/FormInput.h"
#include "ui/FontMetrics.h"
#include "ui/UiBackend.h"

namespace tolvex {
namespace {

using test::FakeSchServer;
using test::Input;

// A resistor R1 with a component-level value of 1k on an in-memory schematic, the registered kinds,
// and a headless user.
class SimEditorDialog : public ::testing::Test {
 protected:
  SimEditorDialog() {
    RegisterEditorKinds();
    Component = Sch.AddComponent("R1");
    Sch.AddPin(Component, {"1", "1"});
    Sch.AddPin(Component, {"2", "2"});
    Sch.AddParameter(Component, {"Value", "1k"});
    Implementation = Sch.AddImplementation(Component, "RESISTOR", "(1:1),(2:2)");
    Sch.AddImplementationParameter(Implementation, {"Kind", "General"});
    Sch.AddImplementationParameter(Implementation, {"SubKind", "Resistor"});
  }
  ~SimEditorDialog() override { ReleaseEditorKinds(); }

  std::string Value() const {
    const test::FakeSchParameter* value = Sch.FindParameter(Sch.ContainerOf(Component), "Value");
    return value ? value->Value : "(none)";
  }
  // The frame sits on the Parameters tab: a user brings it forward before typing into it.
  void TypeValue(ui::TForm& form, const std::string& value) {
    Input(form, ui::uiChooseTab, "TabControl_Main", "Parameters");
    Input(form, ui::uiTypeText, "ResistorImplEditorFrame.ResistanceEdit", value);
  }

  FakeSchServer Sch;
  THandle Component = 0;
  THandle Implementation = 0;
  ui::THeadlessUiBackend User;
  ui::TScopedUiBackend Scope{User};
};

TEST_F(SimEditorDialog, EditImplementationWritesOnOkOnlyAndTurnsEveryFailureIntoTheStatus) {
  test::FakeClient client;
  IServerModule* module = nullptr;
  ServerFactory(&module, &client);
  ASSERT_NE(module, nullptr);
  void* raw = nullptr;
  ASSERT_EQ(module->QueryInterface(IID_ISimEditor, &raw), S_OK32);
  auto* editor = static_cast<ISimEditor*>(raw);

  // Cancel after an edit: status 0, not accepted, nothing written.
  User.QueueFormPlayer([&](ui::TForm& form) {
    TypeValue(form, "2k2");
    Input(form, ui::uiClick, "Button_Cancel");
  });
  std::uint8_t accepted = 0x5A;
  EXPECT_EQ(editor->EditImplementation(Implementation, Component, FALSE32, &accepted), S_OK32);
  EXPECT_EQ(accepted, 0);
  EXPECT_EQ(Value(), "1k");

  // OK: accepted, and the value is where its level puts it.
  User.QueueFormPlayer([&](ui::TForm& form) {
    TypeValue(form, "2k2");
    Input(form, ui::uiClick, "Button_OK");
  });
  EXPECT_EQ(editor->EditImplementation(Implementation, Component, FALSE32, &accepted), S_OK32);
  EXPECT_EQ(accepted, 1);
  EXPECT_EQ(Value(), "2k2");

  // An exception while the dialog runs: the failure status, Accepted untouched, nothing written.
  User.QueueFormPlayer([&](ui::TForm& form) {
    TypeValue(form, "4k7");
    throw std::runtime_error("the toolkit failed");
  });
  accepted = 0x5A;
  EXPECT_EQ(editor->EditImplementation(Implementation, Component, FALSE32, &accepted), E_UNEXPECTED32);
  EXPECT_EQ(accepted, 0x5A);
  EXPECT_EQ(Value(), "2k2");

  // Handles the schematic does not know: refused before anything is shown.
  const std::size_t formsRun = User.FormRecords().size();
  EXPECT_EQ(editor->EditImplementation(0, Component, FALSE32, &accepted), E_UNEXPECTED32);
  EXPECT_EQ(editor->EditImplementation(Implementation, 0x7777, FALSE32, &accepted), E_UNEXPECTED32);
  EXPECT_EQ(User.FormRecords().size(), formsRun);
  EXPECT_EQ(accepted, 0x5A);

  editor->Release();
  module->Release();
  SetModuleClient(nullptr);
}

TEST_F(SimEditorDialog, OkRefusesATextTheSchematicWouldCutAndNamesTheField) {
  struct TCase {
    const char* Name;
    std::string Target;
    std::size_t Length;
    bool Refused;
    const char* Field;
  };
  const TCase cases[] = {
      {"description at the limit", "Edit_Description", 1023, false, ""},
      {"description one beyond", "Edit_Description", 1024, true, "The description is 1,024 characters long"},
      {"model name", "Edit_ModelName", 5000, true, "The model name is 5,000 characters long"},
      {"parameter value", "ResistorImplEditorFrame.ResistanceEdit", 1500, true,
       "The value of the parameter \"Value\" is 1,500 characters long"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TImplementationEditorDialog dialog(Implementation, Component);
    dialog.LoadFromImplementation();
    User.Clear();
    if (c.Target.find('.') != std::string::npos) Input(dialog, ui::uiChooseTab, "TabControl_Main", "Parameters");
    Input(dialog, ui::uiTypeText, c.Target, std::string(c.Length, '1'));
    Input(dialog, ui::uiClick, "Button_OK");
    EXPECT_EQ(dialog.Closed(), !c.Refused);
    if (c.Refused) {
      ASSERT_EQ(User.Records().size(), 1u);
      EXPECT_EQ(User.Records()[0].Box.Text.rfind(c.Field, 0), 0u) << User.Records()[0].Box.Text;
    }
  }
}

TEST(SimEditorTemplateLines, SplitAndJoinKeepTheBackslashNSeparators) {
  struct TCase {
    const char* Template;
    std::vector<std::string> Lines;
    const char* Joined;  // what the lines give back
  };
  const TCase cases[] = {
      {"", {}, ""},
      {"@DESIGNATOR %1 %2", {"@DESIGNATOR %1 %2"}, "@DESIGNATOR %1 %2"},
      {"a\\nb\\nc", {"a", "b", "c"}, "a\\nb\\nc"},
      {"a\\n", {"a"}, "a"},
      {"\\nb", {"", "b"}, "\\nb"},
      {"a\\n\\nb", {"a", "", "b"}, "a\\n\\nb"},
      {"back\\slash", {"back\\slash"}, "back\\slash"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Template);
    std::vector<std::string> lines{"left over"};
    SplitTemplateLines(c.Template, lines);
    EXPECT_EQ(lines, c.Lines);
    EXPECT_EQ(JoinTemplateLines(lines), c.Joined);
  }
}

TEST(SimEditorPathEllipsis, TheMiddleGivesWayAndTheFileNameStaysWhereItFits) {
  const std::string path = "/home/user/projects/simulation/models/diodes.mdl";
  EXPECT_EQ(EllipsizePath(path, ui::TextWidth(path)), path);
  const std::string shortened = EllipsizePath(path, ui::TextWidth(path) - 1);
  EXPECT_LE(ui::TextWidth(shortened), ui::TextWidth(path) - 1);
  EXPECT_EQ(shortened.rfind("/home/user/projects/simulation/", 0), 0u) << shortened;
  EXPECT_NE(shortened.find(".../diodes.mdl"), std::string::npos) << shortened;
  // Narrower than the name: the name's end after the ellipsis, never wider than asked.
  const int narrow = ui::TextWidth(".../dio");
  const std::string tail = EllipsizePath(path, narrow);
  EXPECT_LE(ui::TextWidth(tail), narrow);
  EXPECT_EQ(tail.rfind("...", 0), 0u) << tail;
  EXPECT_EQ(EllipsizePath(path, 0), "");
}

TEST(SimEditorPrefixes, TheListHasTwentyFiveEntriesWithoutNAndP) {
  const std::vector<std::string>& prefixes = TImplementationEditorDialog::SpicePrefixes();
  ASSERT_EQ(prefixes.size(), 25u);
  EXPECT_EQ(prefixes.front(), "");
  std::string letters;
  for (std::size_t i = 1; i < prefixes.size(); ++i) letters += prefixes[i];
  EXPECT_EQ(letters, "ABCDEFGHIJKLMOQRSTUVWXYZ");
}

}  // namespace
}  // namespace tolvex
