// The resistor and capacitor frames built from their row tables: registration, defaults, controls and grid, template, both copy directions, exit tests and validation.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "editor/EditorKinds.h"
#include "editor/SimImplementationEditorManager.h"
#include "editor/frames/Frame_CapacitorImplEditor.h"
#include "editor/frames/Frame_ResistorImplEditor.h"
#include "model_data/ImplementationData.h"
#include "support/FakeHost.h"
#include "support/FakeSchServer.h"
#include "support/ParameterRows.h"

namespace tolvex {
namespace {

using test::FakeSchServer;
using test::TScopedMessageBoxes;

using test::ExpectRows;
using test::Rows;
using test::TParameterRow;

struct TControlExpectation {
  std::string Name;
  ui::TControlKind Kind;
  std::string Caption;  // after ArrangeControls
  ui::TRect Bounds;     // after ArrangeControls
};

// One frame's literal expected values, from a fresh implementation.
struct TFrameExpectation {
  const char* SubKind;
  std::string_view ClassName;
  TEditorClass EditorClass;
  std::vector<TParameterRow> Defaults;
  std::string Prefix;
  std::vector<std::string> Ports;
  std::string Template;
  std::vector<TControlExpectation> Controls;
  // The row edits in table order, with their check boxes.
  std::vector<std::pair<std::string, std::string>> Rows;
  // Whether Validate refuses an empty first row.
  bool ValueRequired;
};

const std::vector<TFrameExpectation>& Expectations() {
  static const std::vector<TFrameExpectation> frames = {
      {"Resistor", "TResistorImplEditorFrame", EditorClassOf<TResistorImplEditorFrame>(),
       {{"Value", "", true}},
       "R", {"1", "2"}, "@DESIGNATOR %1 %2 @VALUE",
       {
           {"ResistanceLabel", ui::ckLabel, "Value", {20, 24, 0, 13}},
           {"ResistanceEdit", ui::ckEdit, "", {120, 20, 130, 21}},
           {"CheckBox_ResistanceIsComponentLevel", ui::ckCheckBox, "Component parameter", {260, 20, 128, 21}},
       },
       {{"ResistanceEdit", "CheckBox_ResistanceIsComponentLevel"}},
       false},
      {"Capacitor", "TCapacitorImplEditorFrame", EditorClassOf<TCapacitorImplEditorFrame>(),
       {{"Value", "", true}, {"Initial Voltage", "", false}},
       "C", {"POS", "NEG"}, "@DESIGNATOR %1 %2 @VALUE ?\"INITIAL VOLTAGE\"|IC=@\"INITIAL VOLTAGE\"|",
       {
           {"Label_ComponentParameter", ui::ckLabel, "Component parameter", {260, 3, 97, 13}},
           {"Label_Capacitance", ui::ckLabel, "Value", {20, 24, 0, 13}},
           {"Edit_Capacitance", ui::ckEdit, "", {120, 20, 130, 21}},
           {"CheckBox_Capacitance", ui::ckCheckBox, "", {298, 20, 128, 21}},
           {"Label_InitialVoltage", ui::ckLabel, "Initial Voltage", {20, 49, 0, 13}},
           {"Edit_InitialVoltage", ui::ckEdit, "", {120, 45, 130, 21}},
           {"CheckBox_InitialVoltage", ui::ckCheckBox, "", {298, 45, 128, 21}},
       },
       {{"Edit_Capacitance", "CheckBox_Capacitance"}, {"Edit_InitialVoltage", "CheckBox_InitialVoltage"}},
       true},
  };
  return frames;
}

template <class T>
T* Find(TSimImplEditor& frame, const std::string& name) {
  return dynamic_cast<T*>(frame.Frame().FindComponent(name));
}

ui::TUserInput UserInput(ui::TUserInputKind kind, ui::TControl* control, std::string value = {}) {
  ui::TUserInput input;
  input.Kind = kind;
  input.Control = control;
  input.Value = std::move(value);
  return input;
}

// A form hosting the frame for the test's scope; the frame is taken off it before either goes.
class THostingForm {
 public:
  explicit THostingForm(TSimImplEditor& frame) : FFrame(frame) {
    Form.SetClientSize(600, 400);
    FFrame.Frame().SetParent(&Form);
  }
  ~THostingForm() { FFrame.Frame().SetParent(nullptr); }
  THostingForm(const THostingForm&) = delete;
  THostingForm& operator=(const THostingForm&) = delete;
  ui::TForm Form;

 private:
  TSimImplEditor& FFrame;
};

class PassiveFramesTest : public ::testing::Test {
 protected:
  std::unique_ptr<TSimImplEditor> Create(const TFrameExpectation& expected, TImplementationData* data) {
    return expected.EditorClass.Create(Dialog, data, "");
  }

  TImplementationData Fresh{0, 0};
  TImplementationEditorDialog* Dialog = reinterpret_cast<TImplementationEditorDialog*>(&Fresh);
};

TEST_F(PassiveFramesTest, RegisteredUnderGeneralWithEmptyQualifiers) {
  ASSERT_TRUE(EditorKindRegistry().empty()) << "an earlier test left registrations behind";
  RegisterEditorKinds();
  for (const TFrameExpectation& expected : Expectations()) {
    SCOPED_TRACE(expected.SubKind);
    int found = 0;
    for (const auto& entry : EditorKindRegistry()) {
      if (entry->Kind != "General" || entry->SubKind != expected.SubKind) continue;
      ++found;
      EXPECT_EQ(entry->EditorClass.ClassName, expected.ClassName);
      EXPECT_EQ(entry->EditorClass.Create, expected.EditorClass.Create);
      EXPECT_EQ(entry->Qualifier, "");
    }
    EXPECT_EQ(found, 1);
  }
  ReleaseEditorKinds();
}

TEST_F(PassiveFramesTest, FreshFrameHasTheTableDefaultsPrefixPortsAndTemplate) {
  for (const TFrameExpectation& expected : Expectations()) {
    SCOPED_TRACE(expected.SubKind);
    const auto frame = Create(expected, &Fresh);
    ExpectRows(frame->Parameters(), expected.Defaults);
    EXPECT_TRUE(frame->ParametersChanged());
    EXPECT_EQ(frame->GetSpicePrefix(), expected.Prefix);
    std::vector<std::string> ports{"stale"};
    frame->GetPorts(ports);
    EXPECT_EQ(ports, expected.Ports);
    EXPECT_EQ(frame->GetNetlistTemplate(), expected.Template);
    EXPECT_FALSE(frame->RequiresModel());
    EXPECT_FALSE(frame->CanEditSpicePrefix());
    EXPECT_FALSE(frame->CanEditNetlistTemplate());
  }
}

TEST_F(PassiveFramesTest, InitParametersKeepsStoredValuesAndFlagsAndDropsForeignModelParameters) {
  for (const TFrameExpectation& expected : Expectations()) {
    SCOPED_TRACE(expected.SubKind);
    FakeSchServer server;
    const THandle component = server.AddComponent("X1");
    server.AddParameter(component, {"Tolerance", "5%"});
    const THandle implementation = server.AddImplementation(component, "", "");
    server.AddImplementationParameter(implementation, {"value", "47"});  // other letter case
    server.AddImplementationParameter(implementation, {"TC1", "0.1"});
    TImplementationData data(implementation, component);
    data.Load();
    const auto frame = Create(expected, &data);
    // The stored "value" keeps its spelling, value and (model-level) flag; TC1 goes; the
    // component's own parameter stays; the missing rows come with their defaults.
    bool sawValue = false, sawTolerance = false;
    for (const TParameterRow& row : Rows(frame->Parameters())) {
      EXPECT_NE(row.Name, "TC1");
      if (row.Name == "value") {
        sawValue = true;
        EXPECT_EQ(row.Value, "47");
        EXPECT_FALSE(row.ComponentLevel);
      }
      if (row.Name == "Tolerance") sawTolerance = true;
    }
    EXPECT_TRUE(sawValue);
    EXPECT_TRUE(sawTolerance);
    EXPECT_EQ(frame->Parameters().Count(), expected.Defaults.size() + 1);
    EXPECT_TRUE(frame->ParametersChanged());
  }
}

TEST_F(PassiveFramesTest, InitParametersOnAFittingListChangesNothing) {
  for (const TFrameExpectation& expected : Expectations()) {
    SCOPED_TRACE(expected.SubKind);
    FakeSchServer server;
    const THandle component = server.AddComponent("X1");
    const THandle implementation = server.AddImplementation(component, "", "");
    for (const TParameterRow& row : expected.Defaults)
      server.AddImplementationParameter(implementation, {row.Name, "1"});
    TImplementationData data(implementation, component);
    data.Load();
    const auto frame = Create(expected, &data);
    EXPECT_FALSE(frame->ParametersChanged());
    EXPECT_EQ(frame->Parameters().Count(), expected.Defaults.size());
  }
}

TEST_F(PassiveFramesTest, ControlsCarryTheirPublishedNamesAndTakeTheirGridPlaces) {
  for (const TFrameExpectation& expected : Expectations()) {
    SCOPED_TRACE(expected.SubKind);
    const auto frame = Create(expected, &Fresh);
    // The frame owns exactly the table's controls, no more.
    EXPECT_EQ(frame->Frame().Components().size(), expected.Controls.size());
    frame->ArrangeControls();
    for (const TControlExpectation& control : expected.Controls) {
      SCOPED_TRACE(control.Name);
      ui::TControl* found = frame->Frame().FindComponent(control.Name);
      ASSERT_NE(found, nullptr);
      EXPECT_EQ(found->Name(), control.Name);
      EXPECT_EQ(found->Kind(), control.Kind);
      EXPECT_EQ(found->Caption(), control.Caption);
      EXPECT_EQ(found->Bounds(), control.Bounds);
    }
  }
}

TEST_F(PassiveFramesTest, CopiesValuesAndComponentLevelBothWays) {
  for (const TFrameExpectation& expected : Expectations()) {
    SCOPED_TRACE(expected.SubKind);
    const auto frame = Create(expected, &Fresh);
    frame->ParametersToControls();
    for (std::size_t i = 0; i < expected.Rows.size(); ++i) {
      SCOPED_TRACE(expected.Rows[i].first);
      EXPECT_EQ(Find<ui::TEdit>(*frame, expected.Rows[i].first)->Text(), expected.Defaults[i].Value);
      EXPECT_EQ(Find<ui::TCheckBox>(*frame, expected.Rows[i].second)->Checked(), expected.Defaults[i].ComponentLevel);
    }

    // The user types a value into every row and flips every check box; all of it comes back.
    THostingForm host(*frame);
    std::vector<TParameterRow> typed = expected.Defaults;
    for (std::size_t i = 0; i < expected.Rows.size(); ++i) {
      typed[i].Value = std::to_string(i + 1) + "u";
      typed[i].ComponentLevel = !typed[i].ComponentLevel;
      ui::TEdit* edit = Find<ui::TEdit>(*frame, expected.Rows[i].first);
      ui::TCheckBox* checkBox = Find<ui::TCheckBox>(*frame, expected.Rows[i].second);
      ASSERT_EQ(host.Form.Input(UserInput(ui::uiFocus, edit)), ui::irApplied);
      ASSERT_EQ(host.Form.Input(UserInput(ui::uiTypeText, edit, typed[i].Value)), ui::irApplied);
      ASSERT_EQ(host.Form.Input(UserInput(ui::uiClick, checkBox)), ui::irApplied);
    }
    frame->ControlsToParameters();
    ExpectRows(frame->Parameters(), typed);

    // And back into fresh controls: what the parameters hold is what the rows show.
    for (std::size_t i = 0; i < expected.Rows.size(); ++i) {
      Find<ui::TEdit>(*frame, expected.Rows[i].first)->SetText("");
      Find<ui::TCheckBox>(*frame, expected.Rows[i].second)->SetChecked(false);
    }
    frame->ParametersToControls();
    for (std::size_t i = 0; i < expected.Rows.size(); ++i) {
      EXPECT_EQ(Find<ui::TEdit>(*frame, expected.Rows[i].first)->Text(), typed[i].Value);
      EXPECT_EQ(Find<ui::TCheckBox>(*frame, expected.Rows[i].second)->Checked(), typed[i].ComponentLevel);
    }
  }
}

TEST_F(PassiveFramesTest, LeavingARowEditWithABadValueReportsItAndKeepsTheFocus) {
  for (const TFrameExpectation& expected : Expectations()) {
    for (const auto& [editName, checkBoxName] : expected.Rows) {
      SCOPED_TRACE(std::string(expected.SubKind) + " " + editName);
      TScopedMessageBoxes boxes;
      const auto frame = Create(expected, &Fresh);
      THostingForm host(*frame);
      int notified = 0;
      frame->SetOnInvalidValue([&] { ++notified; });
      ui::TEdit* edit = Find<ui::TEdit>(*frame, editName);
      ui::TCheckBox* next = Find<ui::TCheckBox>(*frame, checkBoxName);
      ASSERT_EQ(host.Form.Input(UserInput(ui::uiFocus, edit)), ui::irApplied);
      ASSERT_EQ(host.Form.Input(UserInput(ui::uiTypeText, edit, "1,5")), ui::irApplied);
      EXPECT_EQ(host.Form.Input(UserInput(ui::uiFocus, next)), ui::irFocusKept);
      EXPECT_TRUE(edit->Focused());
      ASSERT_EQ(boxes.Records().size(), 1u);
      EXPECT_EQ(boxes.Records()[0].Box.Text, "1,5 is not a valid value!");
      EXPECT_EQ(notified, 1);

      ASSERT_EQ(host.Form.Input(UserInput(ui::uiTypeText, edit, "4.7u")), ui::irApplied);
      EXPECT_EQ(host.Form.Input(UserInput(ui::uiFocus, next)), ui::irApplied);
      EXPECT_TRUE(next->Focused());
      EXPECT_EQ(boxes.Records().size(), 1u);
    }
  }
}

TEST_F(PassiveFramesTest, ValidateRefusesAnEmptyCapacitanceOnly) {
  for (const TFrameExpectation& expected : Expectations()) {
    SCOPED_TRACE(expected.SubKind);
    TScopedMessageBoxes boxes;
    const auto frame = Create(expected, &Fresh);
    ui::TEdit* first = Find<ui::TEdit>(*frame, expected.Rows[0].first);
    first->SetText("");
    EXPECT_EQ(frame->Validate(), !expected.ValueRequired);
    if (expected.ValueRequired) {
      ASSERT_EQ(boxes.Records().size(), 1u);
      EXPECT_EQ(boxes.Records()[0].Box.Text, "You must specify a value for \"Value\".");
      EXPECT_EQ(boxes.Records()[0].Box.Icon, ui::mbiError);
    } else {
      EXPECT_TRUE(boxes.Records().empty());
    }
    first->SetText("10n");
    EXPECT_TRUE(frame->Validate());
    EXPECT_EQ(boxes.Records().size(), expected.ValueRequired ? 1u : 0u);
  }
}

}  // namespace
}  // namespace tolvex
