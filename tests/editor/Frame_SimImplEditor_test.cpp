// The editor frame base: construction, the template and parameter helpers, the value check, the
// parameter grid and the three small bases, through a small frame of the test's own.
#include "editor/Frame_SimImplEditor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor/SimImplementationEditorManager.h"
#include "model_data/ImplementationData.h"
#include "support/FakeHost.h"
#include "support/FakeSchServer.h"
#include "support/ParameterRows.h"

namespace tolvex {
namespace {

using test::FakeSchServer;
using test::TScopedMessageBoxes;

// The smallest frame of the pattern, with a capacitor's two rows and the helpers opened up.
class TTestFrame : public TSimImplEditor {
 public:
  static constexpr std::string_view ClassName = "TTestFrame";
  TTestFrame(TImplementationEditorDialog* owner, TImplementationData* data, const std::string& qualifier)
      : TSimImplEditor(owner, data, qualifier) {
    Edit_Value = FFrame.Add<ui::TEdit>("Edit_Value", &FFrame);
    CheckBox_Value = FFrame.Add<ui::TCheckBox>("CheckBox_Value", &FFrame);
    Edit_Other = FFrame.Add<ui::TEdit>("Edit_Other", &FFrame);
    Edit_Value->OnExit = [this](ui::TControl&) { CheckValueEdit(*Edit_Value); };
  }

  void InitParameters() override {
    BeforeInitParameters();
    RemoveParametersExcept("Value\rInitial Voltage");
    EnsureParameter("Value", "", true);
    EnsureParameter("Initial Voltage", "0", false);
  }
  bool Validate() override { return RequireValue("Value", Edit_Value->Text()); }
  std::string GetNetlistTemplate() override {
    return DesignatorAndPins() + " " + ParameterReference("Value") + " " +
           OptionalParameterAssignment("Initial Voltage", "IC");
  }
  void GetPorts(std::vector<std::string>& ports) override { ports = Ports; }

  using TSimImplEditor::CheckValueEdit;
  using TSimImplEditor::DesignatorAndPins;
  using TSimImplEditor::EnsureParameter;
  using TSimImplEditor::FParameters;
  using TSimImplEditor::FParametersChanged;
  using TSimImplEditor::GetParameterValue;
  using TSimImplEditor::LoadComboBox;
  using TSimImplEditor::LoadEdit;
  using TSimImplEditor::NotifyInvalidValue;
  using TSimImplEditor::PlaceControls;
  using TSimImplEditor::RebuildPortMapping;
  using TSimImplEditor::RemoveParametersExcept;
  using TSimImplEditor::RequireValue;
  using TSimImplEditor::SetParameter;
  using TSimImplEditor::SetParameterValue;

  std::vector<std::string> Ports{"1", "2"};
  ui::TEdit* Edit_Value;
  ui::TCheckBox* CheckBox_Value;
  ui::TEdit* Edit_Other;
};

// The small bases with a template each, so that they can be built.
class TTestDiodeFrame : public TBaseDiodeImplEditorFrame {
 public:
  using TBaseDiodeImplEditorFrame::TBaseDiodeImplEditorFrame;
  bool Validate() override { return true; }
  std::string GetNetlistTemplate() override { return DesignatorPinsAndModel(); }
};
template <class TBase>
class TTestBaseFrame : public TBase {
 public:
  using TBase::TBase;
  bool Validate() override { return true; }
  std::string GetNetlistTemplate() override { return {}; }
};

using test::ExpectRows;
using test::Rows;
using test::TParameterRow;

// A frame built on an empty implementation; the parameter tests seed FParameters themselves.
class FrameTest : public ::testing::Test {
 protected:
  void Seed(const std::vector<TParameterRow>& rows) {
    Frame.FParameters.Clear();
    for (const TParameterRow& row : rows) {
      auto data = std::make_unique<TParameterData>();
      data->FName = row.Name;
      data->FValue = row.Value;
      data->FComponentLevel = row.ComponentLevel;
      Frame.FParameters.AddData(data);
    }
    Frame.FParametersChanged = false;
  }

  TImplementationData Data{0, 0};
  TImplementationEditorDialog* Dialog = reinterpret_cast<TImplementationEditorDialog*>(&Data);
  TTestFrame Frame{Dialog, &Data, ""};
};

// ------------------------------------------------------------------ construction

TEST(FrameConstructionTest, CopiesTheParametersParsesThePortMapAndLeavesTheImplementationAlone) {
  FakeSchServer server;
  const THandle component = server.AddComponent("C1");
  server.AddParameter(component, {"Tolerance", "5%"});
  const THandle implementation = server.AddImplementation(component, "", "(1:2),(2:1)");
  server.AddImplementationParameter(implementation, {"Value", "10n"});
  server.AddImplementationParameter(implementation, {"TC1", "0.1"});
  TImplementationData data(implementation, component);
  data.Load();
  const std::vector<TParameterRow> loaded = Rows(data.LoadedParameters());
  auto* dialog = reinterpret_cast<TImplementationEditorDialog*>(&data);

  const auto frame = CreateEditorFrame<TTestFrame>(dialog, &data, "Voltage");
  EXPECT_EQ(frame->Owner(), dialog);
  EXPECT_EQ(frame->ImplementationData(), &data);
  EXPECT_EQ(frame->Qualifier(), "Voltage");
  EXPECT_EQ(frame->PortMapping().GetPortOfPin("1"), "2");
  EXPECT_EQ(frame->PortMapping().GetPortOfPin("2"), "1");
  // The factory's InitParameters ran on the copy: TC1 went, Initial Voltage came, the
  // component-level entries stayed.
  std::vector<std::string> names;
  for (const TParameterRow& row : Rows(frame->Parameters())) names.push_back(row.Name);
  EXPECT_EQ(std::count(names.begin(), names.end(), "TC1"), 0);
  EXPECT_EQ(std::count(names.begin(), names.end(), "Tolerance"), 1);
  EXPECT_EQ(std::count(names.begin(), names.end(), "Value"), 1);
  EXPECT_EQ(std::count(names.begin(), names.end(), "Initial Voltage"), 1);
  EXPECT_TRUE(frame->ParametersChanged());
  // The implementation's own list is untouched.
  const std::vector<TParameterRow> after = Rows(data.LoadedParameters());
  ASSERT_EQ(after.size(), loaded.size());
  for (std::size_t i = 0; i < after.size(); ++i) EXPECT_EQ(after[i].Name, loaded[i].Name);
}

TEST_F(FrameTest, BaseOperationsAnswerTheirDefaults) {
  struct TPlainFrame : TSimImplEditor {
    using TSimImplEditor::TSimImplEditor;
    bool Validate() override { return true; }
    std::string GetNetlistTemplate() override { return {}; }
  } plain{Dialog, &Data, ""};
  plain.SetSpicePrefix("X");
  plain.SetNetlistTemplate("@X");
  EXPECT_EQ(plain.GetSpicePrefix(), "");
  EXPECT_FALSE(plain.CanEditSpicePrefix());
  EXPECT_FALSE(plain.CanEditNetlistTemplate());
  EXPECT_FALSE(plain.AllowsCustomParameters());
  EXPECT_FALSE(plain.RequiresModel());
  EXPECT_FALSE(plain.ModelDefinesParameters());
  EXPECT_FALSE(plain.ParametersChanged());
  std::vector<std::string> ports{"left over"};
  plain.GetPorts(ports);
  EXPECT_TRUE(ports.empty());
}

TEST_F(FrameTest, RebuildPortMappingDiscardsEditsAndReadsTheCurrentText) {
  Data.FPortMap = "(1:1),(2:2)";
  Frame.RebuildPortMapping();
  Frame.PortMapping().SetPortOfPin("1", "NC");
  ASSERT_EQ(Frame.PortMapping().GetPortOfPin("1"), "NC");
  Frame.RebuildPortMapping();
  EXPECT_EQ(Frame.PortMapping().GetText(), "(1:1),(2:2)");
  Data.FPortMap = "(A:2)";
  Frame.RebuildPortMapping();
  EXPECT_EQ(Frame.PortMapping().GetText(), "(A:2)");
  EXPECT_EQ(Frame.PortMapping().GetPortOfPin("1"), "");
}

// ------------------------------------------------------------------ template helpers

TEST_F(FrameTest, TemplateHelpers) {
  struct TCase {
    const char* Name;
    std::string Actual;
    std::string Expected;
  };
  TTestFrame noPorts{Dialog, &Data, ""};
  noPorts.Ports.clear();
  TTestDiodeFrame diode{Dialog, &Data, ""};
  const std::vector<TCase> cases = {
      {"plain name", TSimImplEditor::TemplateName("Value"), "VALUE"},
      {"blank quotes", TSimImplEditor::TemplateName("Initial Voltage"), "\"INITIAL VOLTAGE\""},
      {"hyphen quotes", TSimImplEditor::TemplateName("AC-Mag"), "\"AC-MAG\""},
      {"underscore does not quote", TSimImplEditor::TemplateName("R_1"), "R_1"},
      {"reference", TSimImplEditor::ParameterReference("Value"), "@VALUE"},
      {"reference with ampersand", TSimImplEditor::ParameterReference("Initial Voltage", true),
       "&\"INITIAL VOLTAGE\""},
      {"assignment", TSimImplEditor::ParameterAssignment("Initial Voltage", "ic"), "IC=@\"INITIAL VOLTAGE\""},
      {"optional assignment with key", TSimImplEditor::OptionalParameterAssignment("Initial Voltage", "IC"),
       "?\"INITIAL VOLTAGE\"|IC=@\"INITIAL VOLTAGE\"|"},
      {"optional assignment without key", TSimImplEditor::OptionalParameterAssignment("Temp", ""),
       "?TEMP|TEMP=@TEMP|"},
      {"designator and two pins", Frame.DesignatorAndPins(), "@DESIGNATOR %1 %2"},
      {"designator without ports", noPorts.DesignatorAndPins(), "@DESIGNATOR"},
      {"frame template", Frame.GetNetlistTemplate(),
       "@DESIGNATOR %1 %2 @VALUE ?\"INITIAL VOLTAGE\"|IC=@\"INITIAL VOLTAGE\"|"},
      {"diode designator, pins and model", diode.GetNetlistTemplate(), "@DESIGNATOR %1 %2 @MODEL"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(c.Actual, c.Expected);
  }
}

TEST_F(FrameTest, SmallBasesFixPrefixPortsAndModel) {
  struct TCase {
    const char* Name;
    TSimImplEditor* Frame;
    std::string Prefix;
    std::vector<std::string> Ports;
    bool RequiresModel;
  };
  TTestBaseFrame<TBaseResistorImplEditorFrame> resistor{Dialog, &Data, ""};
  TTestBaseFrame<TBaseCapacitorImplEditor> capacitor{Dialog, &Data, ""};
  TTestDiodeFrame diode{Dialog, &Data, ""};
  const std::vector<TCase> cases = {
      {"resistor", &resistor, "R", {"1", "2"}, false},
      {"capacitor", &capacitor, "C", {"POS", "NEG"}, false},
      {"diode", &diode, "D", {"A", "K"}, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(c.Frame->GetSpicePrefix(), c.Prefix);
    std::vector<std::string> ports{"left over"};
    c.Frame->GetPorts(ports);
    EXPECT_EQ(ports, c.Ports);
    EXPECT_EQ(c.Frame->RequiresModel(), c.RequiresModel);
  }
}

// ------------------------------------------------------------------ the parameter list

TEST_F(FrameTest, RemoveParametersExceptKeepsComponentLevelEntriesAndNamedOnes) {
  Seed({{"Value", "1k", false}, {"TC1", "0.1", false}, {"Tolerance", "5%", true}});
  Frame.RemoveParametersExcept("Value");
  ExpectRows(Frame.Parameters(), {{"Value", "1k", false}, {"Tolerance", "5%", true}});
  EXPECT_TRUE(Frame.ParametersChanged());

  // Nothing to remove leaves the flag as it was, whichever way it was.
  Seed({{"Value", "1k", false}});
  Frame.RemoveParametersExcept("Value");
  ExpectRows(Frame.Parameters(), {{"Value", "1k", false}});
  EXPECT_FALSE(Frame.ParametersChanged());
  Frame.FParametersChanged = true;
  Frame.RemoveParametersExcept("VALUE");
  EXPECT_TRUE(Frame.ParametersChanged());

  // Names one a line, whatever ends the line; letter case ignored.
  Seed({{"Value", "1", false}, {"IC", "2", false}, {"Temp", "3", false}, {"Area", "4", false}});
  Frame.RemoveParametersExcept("value\r\nic\nTEMP\r");
  ExpectRows(Frame.Parameters(), {{"Value", "1", false}, {"IC", "2", false}, {"Temp", "3", false}});
}

TEST_F(FrameTest, EnsureParameterAddsOnlyWhatIsMissing) {
  Seed({{"value", "1k", false}});
  Frame.EnsureParameter("Value", "2k", true);
  ExpectRows(Frame.Parameters(), {{"value", "1k", false}});
  EXPECT_FALSE(Frame.ParametersChanged());

  Frame.EnsureParameter("Initial Voltage", "0", true);
  ExpectRows(Frame.Parameters(), {{"value", "1k", false}, {"Initial Voltage", "0", true}});
  EXPECT_TRUE(Frame.ParametersChanged());
  const TParameterData* added = Frame.Parameters().FindData("Initial Voltage");
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->FValueType, 0);
  EXPECT_EQ(added->FReadOnlyFlags, 0);
}

TEST_F(FrameTest, InitParametersMakesTheListFitTheKindAndTheSetterAndGetterIgnoreMissingNames) {
  Seed({{"Value", "1k", false}, {"TC1", "0.1", false}, {"Tolerance", "5%", true}});
  Frame.InitParameters();
  ExpectRows(Frame.Parameters(),
             {{"Value", "1k", false}, {"Tolerance", "5%", true}, {"Initial Voltage", "0", false}});
  EXPECT_TRUE(Frame.ParametersChanged());

  Frame.SetParameter("VALUE", "2k", true);
  Frame.SetParameterValue("Initial Voltage", "1");
  Frame.SetParameter("Missing", "x", true);
  Frame.SetParameterValue("Missing", "x");
  ExpectRows(Frame.Parameters(),
             {{"Value", "2k", true}, {"Tolerance", "5%", true}, {"Initial Voltage", "1", false}});
  EXPECT_EQ(Frame.GetParameterValue("initial voltage"), "1");
  EXPECT_EQ(Frame.GetParameterValue("Missing"), "");
}

TEST_F(FrameTest, LoadEditAndComboBoxShowValueAndLevel) {
  Seed({{"Value", "10k", true}, {"Type", "NPN", false}, {"Odd", "XYZ", true}});
  Frame.CheckBox_Value->SetChecked(false);
  Frame.LoadEdit("Value", Frame.Edit_Value, Frame.CheckBox_Value);
  EXPECT_EQ(Frame.Edit_Value->Text(), "10k");
  EXPECT_TRUE(Frame.CheckBox_Value->Checked());
  // An absent entry gives an empty text and an unchecked box.
  Frame.LoadEdit("Missing", Frame.Edit_Value, Frame.CheckBox_Value);
  EXPECT_EQ(Frame.Edit_Value->Text(), "");
  EXPECT_FALSE(Frame.CheckBox_Value->Checked());

  struct TCase {
    const char* Name;
    std::string Parameter;
    ui::TComboBoxStyle Style;
    int ItemIndex;
    std::string Text;
    bool Checked;
  };
  const std::vector<TCase> cases = {
      {"matching item", "Type", ui::csDropDownList, 1, "NPN", false},
      {"no matching item in a list", "Odd", ui::csDropDownList, -1, "", true},
      {"no matching item, editable box keeps the value", "Odd", ui::csDropDown, -1, "XYZ", true},
      {"absent entry", "Missing", ui::csDropDownList, -1, "", false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    ui::TComboBox combo;
    combo.SetStyle(c.Style);
    combo.SetItems({"PNP", "NPN"});
    combo.SetItemIndex(0);
    ui::TCheckBox check;
    check.SetChecked(!c.Checked);
    Frame.LoadComboBox(c.Parameter, &combo, &check);
    EXPECT_EQ(combo.ItemIndex(), c.ItemIndex);
    EXPECT_EQ(combo.Text(), c.Text);
    EXPECT_EQ(check.Checked(), c.Checked);
  }
}

// ------------------------------------------------------------------ messages and the value check

TEST_F(FrameTest, RequireValueShowsTheMessageOnlyForAnEmptyValue) {
  TScopedMessageBoxes boxes;
  EXPECT_TRUE(Frame.RequireValue("Value", "1u"));
  EXPECT_TRUE(boxes.Records().empty());
  EXPECT_FALSE(Frame.RequireValue("Initial Voltage", ""));
  ASSERT_EQ(boxes.Records().size(), 1u);
  EXPECT_EQ(boxes.Records()[0].Box.Text, "You must specify a value for \"Initial Voltage\".");
  EXPECT_EQ(boxes.Records()[0].Box.Icon, ui::mbiError);
  // Validate of a frame with a mandatory value goes the same way.
  Frame.Edit_Value->SetText("");
  EXPECT_FALSE(Frame.Validate());
  ASSERT_EQ(boxes.Records().size(), 2u);
  EXPECT_EQ(boxes.Records()[1].Box.Text, "You must specify a value for \"Value\".");
}

TEST_F(FrameTest, CheckValueEditAcceptsSpiceValueCharactersOnly) {
  struct TCase {
    const char* Name;
    std::string Text;
    bool Valid;
  };
  const std::vector<TCase> cases = {
      {"empty", "", true},
      {"suffix", "10k", true},
      {"exponent", "-1.5e-3", true},
      {"plus", "+5", true},
      {"leading point", ".5", true},
      {"meg", "1MEG", true},
      {"letters after a digit", "1abc", true},
      {"leading letter", "k10", false},
      {"decimal comma", "1,5", false},
      {"blank", "1 k", false},
      {"parentheses", "(1)", false},
      {"non-ASCII letter", "1\xC2\xB5", false},
      {"long valid text", "1" + std::string(400, 'k'), true},
      // A bad character is caught however far into the text it stands.
      {"bad character past 255", "1" + std::string(300, 'k') + ",", false},
  };
  TScopedMessageBoxes boxes;
  int notified = 0;
  Frame.SetOnInvalidValue([&] { ++notified; });
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::size_t boxesBefore = boxes.Records().size();
    const int notifiedBefore = notified;
    Frame.Edit_Value->SetText(c.Text);
    EXPECT_EQ(Frame.CheckValueEdit(*Frame.Edit_Value), c.Valid);
    EXPECT_EQ(Frame.Edit_Value->Text(), c.Text);  // the edit keeps what was typed
    if (c.Valid) {
      EXPECT_EQ(boxes.Records().size(), boxesBefore);
      EXPECT_EQ(notified, notifiedBefore);
    } else {
      ASSERT_EQ(boxes.Records().size(), boxesBefore + 1);
      EXPECT_EQ(boxes.Records().back().Box.Text, c.Text + " is not a valid value!");
      EXPECT_EQ(notified, notifiedBefore + 1);
    }
  }
}

ui::TUserInput UserInput(ui::TUserInputKind kind, ui::TControl* control, std::string value = {}) {
  ui::TUserInput input;
  input.Kind = kind;
  input.Control = control;
  input.Value = std::move(value);
  return input;
}

TEST_F(FrameTest, LeavingAnEditWithABadValueKeepsTheFocusThere) {
  TScopedMessageBoxes boxes;
  ui::TForm form;
  form.SetClientSize(600, 400);
  Frame.Frame().SetParent(&form);
  int notified = 0;
  Frame.SetOnInvalidValue([&] { ++notified; });
  ASSERT_EQ(form.Input(UserInput(ui::uiFocus, Frame.Edit_Value)), ui::irApplied);
  ASSERT_EQ(form.Input(UserInput(ui::uiTypeText, Frame.Edit_Value, "1 k")), ui::irApplied);
  form.Input(UserInput(ui::uiFocus, Frame.Edit_Other));
  EXPECT_TRUE(Frame.Edit_Value->Focused());
  ASSERT_EQ(boxes.Records().size(), 1u);
  EXPECT_EQ(boxes.Records()[0].Box.Text, "1 k is not a valid value!");
  EXPECT_EQ(notified, 1);

  // A good value lets the focus go; without a bound handler nothing is notified.
  Frame.SetOnInvalidValue(nullptr);
  ASSERT_EQ(form.Input(UserInput(ui::uiTypeText, Frame.Edit_Value, "1k")), ui::irApplied);
  EXPECT_EQ(form.Input(UserInput(ui::uiFocus, Frame.Edit_Other)), ui::irApplied);
  EXPECT_TRUE(Frame.Edit_Other->Focused());
  EXPECT_EQ(boxes.Records().size(), 1u);
  Frame.NotifyInvalidValue();
  EXPECT_EQ(notified, 1);
  Frame.Frame().SetParent(nullptr);
}

// ------------------------------------------------------------------ the parameter grid

TEST_F(FrameTest, PlaceControlsLaysOutTheGrid) {
  struct TCase {
    const char* Name;
    int Row, Column;
    bool WithLabel, WithCheckBox, WithComponentLabel;
    int ComponentLabelHeight;
    ui::TRect Edit, Label, CheckBox, ComponentLabel;
    std::string CheckBoxCaption, ComponentLabelCaption;
  };
  const ui::TRect untouched{1, 2, 3, 4};
  const std::vector<TCase> cases = {
      {"row 1 column 1, captioned check box", 1, 1, true, true, false, 13,
       {120, 20, 130, 21}, {20, 24, 3, 4}, {260, 20, 128, 21}, untouched, "Component parameter", ""},
      {"column 2 leaves room for a check box", 1, 2, true, true, false, 13,
       {508, 20, 130, 21}, {408, 24, 3, 4}, {648, 20, 128, 21}, untouched, "Component parameter", ""},
      {"column 2 without a check box", 3, 2, true, false, false, 13,
       {380, 70, 130, 21}, {280, 74, 3, 4}, untouched, untouched, "", ""},
      {"shared heading in row 1", 1, 1, false, true, true, 13,
       {120, 20, 130, 21}, untouched, {280, 20, 128, 21}, {260, 3, 60, 13}, "", "Component parameter"},
      {"shared heading in a later row is only moved sideways", 4, 2, true, true, true, 13,
       {508, 95, 130, 21}, {408, 99, 3, 4}, {668, 95, 128, 21}, {648, 2, 60, 13}, "", ""},
      {"a heading taller than the strip is raised, rounded toward zero", 1, 1, false, true, true, 25,
       {120, 20, 130, 21}, untouched, {280, 20, 128, 21}, {260, -2, 60, 25}, "", "Component parameter"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    ui::TLabel label, componentLabel;
    ui::TEdit edit;
    ui::TCheckBox checkBox;
    label.SetBounds(untouched);
    checkBox.SetBounds(untouched);
    componentLabel.SetBounds(c.WithComponentLabel ? ui::TRect{1, 2, 60, c.ComponentLabelHeight} : untouched);
    edit.SetBounds({0, 0, 50, 21});
    Frame.PlaceControls("Value", c.WithLabel ? &label : nullptr, &edit, c.WithCheckBox ? &checkBox : nullptr,
                        c.WithComponentLabel ? &componentLabel : nullptr, c.Row, c.Column);
    EXPECT_EQ(edit.Bounds(), c.Edit);
    EXPECT_EQ(label.Bounds(), c.Label);
    EXPECT_EQ(label.Caption(), c.WithLabel ? "Value" : "");
    EXPECT_EQ(checkBox.Bounds(), c.CheckBox);
    EXPECT_EQ(checkBox.Caption(), c.CheckBoxCaption);
    EXPECT_EQ(componentLabel.Bounds(), c.ComponentLabel);
    EXPECT_EQ(componentLabel.Caption(), c.ComponentLabelCaption);
  }

  // Without an edit nothing moves.
  ui::TLabel label;
  label.SetBounds(untouched);
  Frame.PlaceControls("Value", &label, nullptr, nullptr, nullptr, 2, 2);
  EXPECT_EQ(label.Bounds(), untouched);
  EXPECT_EQ(label.Caption(), "");
}

}  // namespace
}  // namespace tolvex
