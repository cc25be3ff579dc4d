// The generic editor frame driven as a user drives it: the grid through TForm::Input, the buttons, the
// read-only popup menu, the duplicate-name check, the prefix and template, and the pin scan.
#include "editor/frames/Frame_GeneralImplEditor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor/SimImplementationEditorManager.h"
#include "model_data/ImplementationData.h"
#include "support/FakeHost.h"

namespace tolvex {
namespace {

using test::TScopedMessageBoxes;

// Opens the parameter list so that a test can seed it and read it back.
class TTestGeneralFrame : public TGeneralImplEditorFrame {
 public:
  using TGeneralImplEditorFrame::TGeneralImplEditorFrame;
  using TGeneralImplEditorFrame::FParameters;
};

struct TEntry {
  std::string Name;
  std::string Value;
  int Type;
  int ReadOnly;
  bool ComponentLevel;
};

std::vector<TEntry> Entries(const TParameterDataList& list) {
  std::vector<TEntry> entries;
  for (std::size_t i = 0; i < list.Count(); ++i) {
    const TParameterData* data = list.GetData(i);
    entries.push_back({data->FName, data->FValue, data->FValueType, data->FReadOnlyFlags, data->FComponentLevel});
  }
  return entries;
}

void ExpectEntries(const TParameterDataList& list, const std::vector<TEntry>& expected) {
  const std::vector<TEntry> actual = Entries(list);
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("entry " + std::to_string(i) + " " + expected[i].Name);
    EXPECT_EQ(actual[i].Name, expected[i].Name);
    EXPECT_EQ(actual[i].Value, expected[i].Value);
    EXPECT_EQ(actual[i].Type, expected[i].Type);
    EXPECT_EQ(actual[i].ReadOnly, expected[i].ReadOnly);
    EXPECT_EQ(actual[i].ComponentLevel, expected[i].ComponentLevel);
  }
}

// The frame's controls on a form of their own, as the dialog's Parameters tab hosts them.
class GeneralFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Frame.InitParameters();
    Form.SetClientSize(506, 389);
    Frame.Frame().SetParent(&Form);
  }
  void TearDown() override { Frame.Frame().SetParent(nullptr); }

  void Seed(const std::vector<TEntry>& entries) {
    Frame.FParameters.Clear();
    for (const TEntry& e : entries) {
      auto data = std::make_unique<TParameterData>();
      data->FName = e.Name;
      data->FValue = e.Value;
      data->FValueType = static_cast<std::uint8_t>(e.Type);
      data->FReadOnlyFlags = static_cast<std::uint8_t>(e.ReadOnly);
      data->FComponentLevel = e.ComponentLevel;
      Frame.FParameters.AddData(data);
    }
    Frame.ParametersToControls();
  }

  ui::TInputResult Click(ui::TControl* control) {
    ui::TUserInput input;
    input.Kind = ui::uiClick;
    input.Control = control;
    return Form.Input(input);
  }
  ui::TInputResult Input(ui::TUserInputKind kind, ui::TControl* control, int row = -1, std::string column = {},
                         std::string value = {}) {
    ui::TUserInput input;
    input.Kind = kind;
    input.Control = control;
    input.Row = row;
    input.Column = std::move(column);
    input.Value = std::move(value);
    return Form.Input(input);
  }
  ui::TInputResult EditCell(int row, const char* column, std::string value) {
    return Input(ui::uiEditCell, Frame.ParametersTreeList, row, column, std::move(value));
  }
  ui::TInputResult FocusRow(int row) { return Input(ui::uiFocusRow, Frame.ParametersTreeList, row); }
  const std::string& Cell(int row, const ui::TTreeListColumn* column) {
    return Frame.ParametersTreeList->Cell(row, *column);
  }

  TImplementationData Data{0, 0};
  TImplementationEditorDialog* Dialog = reinterpret_cast<TImplementationEditorDialog*>(&Data);
  TTestGeneralFrame Frame{Dialog, &Data, ""};
  ui::TForm Form;
};

// ------------------------------------------------------------------ the published controls

TEST_F(GeneralFrameTest, PublishesItsControlsWithTheirCaptions) {
  struct TCase {
    const char* Name;
    ui::TControlKind Kind;
    const char* Caption;
  };
  const std::vector<TCase> controls = {
      {"GroupBox_Model", ui::ckGroupBox, " Model Parameters "},
      {"ParametersTreeList", ui::ckTreeList, ""},
      {"AddParameterButton", ui::ckButton, "Add"},
      {"DeleteParameterButton", ui::ckButton, "Delete"},
      {"ParametersTreelistPopupMenu", ui::ckPopupMenu, ""},
      {"ReadOnlyNameMenuItem", ui::ckMenuItem, "Name Read-Only"},
      {"ReadOnlyValueMenuItem", ui::ckMenuItem, "Value Read-Only"},
  };
  for (const TCase& c : controls) {
    SCOPED_TRACE(c.Name);
    const ui::TControl* control = Frame.Frame().FindComponent(c.Name);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->Kind(), c.Kind);
    EXPECT_EQ(control->Caption(), c.Caption);
  }
  EXPECT_EQ(Frame.ParametersTreeList->PopupMenu(), Frame.ParametersTreelistPopupMenu);

  struct TColumnCase {
    const char* Name;
    ui::TColumnKind Kind;
    const char* Caption;
    int Width;
    bool Visible;
  };
  const std::vector<TColumnCase> columns = {
      {"NameColumn", ui::tcText, "Name", 98, true},
      {"ReadOnlyNameColumn", ui::tcCheck, "RO", 40, false},
      {"ValueColumn", ui::tcText, "Value", 146, true},
      {"ReadOnlyValueColumn", ui::tcCheck, "RO", 40, false},
      {"TypeColumn", ui::tcPickList, "Type", 78, true},
      {"ComponentParameterColumn", ui::tcCheck, "Component Parameter", 112, true},
  };
  ASSERT_EQ(Frame.ParametersTreeList->Columns().size(), columns.size());
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const TColumnCase& c = columns[i];
    SCOPED_TRACE(c.Name);
    const ui::TTreeListColumn& column = *Frame.ParametersTreeList->Columns()[i];
    EXPECT_EQ(column.Name(), c.Name);
    EXPECT_EQ(column.Kind(), c.Kind);
    EXPECT_EQ(column.Caption(), c.Caption);
    EXPECT_EQ(column.Width(), c.Width);
    EXPECT_EQ(column.Visible(), c.Visible);
  }
  EXPECT_EQ(Frame.TypeColumn->Items(), (std::vector<std::string>{"String", "Boolean", "Integer", "Float"}));
}

// ------------------------------------------------------------------ the grid both ways

TEST_F(GeneralFrameTest, ShowsAndReadsBackTheFourTypesAndTheFlags) {
  Seed({{"S", "text", 0, 0, false},
        {"B", "1", 1, 1, true},
        {"I", "3", 2, 2, false},
        {"F", "1.5", 3, 3, true},
        {"", "nameless", 0, 0, false}});
  // The nameless entry gets no row.
  ASSERT_EQ(Frame.ParametersTreeList->RowCount(), 4);
  struct TRowCase {
    const char* Name;
    const char* Type;
    const char* RoName;
    const char* RoValue;
    const char* Component;
  };
  const std::vector<TRowCase> rows = {{"S", "String", "False", "False", "False"},
                                      {"B", "Boolean", "True", "False", "True"},
                                      {"I", "Integer", "False", "True", "False"},
                                      {"F", "Float", "True", "True", "True"}};
  for (int row = 0; row < 4; ++row) {
    SCOPED_TRACE(rows[row].Name);
    EXPECT_EQ(Cell(row, Frame.NameColumn), rows[row].Name);
    EXPECT_EQ(Cell(row, Frame.TypeColumn), rows[row].Type);
    EXPECT_EQ(Cell(row, Frame.ReadOnlyNameColumn), rows[row].RoName);
    EXPECT_EQ(Cell(row, Frame.ReadOnlyValueColumn), rows[row].RoValue);
    EXPECT_EQ(Cell(row, Frame.ComponentParameterColumn), rows[row].Component);
  }

  // The user retypes and renames through the grid; the entries follow on the way back.
  ASSERT_EQ(EditCell(0, "TypeColumn", "Boolean"), ui::irApplied);
  ASSERT_EQ(EditCell(0, "ValueColumn", "True"), ui::irApplied);
  ASSERT_EQ(EditCell(2, "NameColumn", "Count"), ui::irApplied);
  ASSERT_EQ(EditCell(3, "TypeColumn", "String"), ui::irApplied);
  ASSERT_EQ(EditCell(1, "ComponentParameterColumn", "False"), ui::irApplied);
  // A type that is not one of the four, and a check cell that is neither value, are refused.
  EXPECT_EQ(EditCell(0, "TypeColumn", "Double"), ui::irNotInList);
  EXPECT_EQ(EditCell(0, "ComponentParameterColumn", "yes"), ui::irInvalidValue);
  Frame.ControlsToParameters();
  ExpectEntries(Frame.Parameters(), {{"S", "True", 1, 0, false},
                                     {"B", "1", 1, 1, false},
                                     {"Count", "3", 2, 2, false},
                                     {"F", "1.5", 0, 3, true},
                                     {"", "nameless", 0, 0, false}});

  // Shown again (after another kind had the dialog) the Type column offers exactly the four.
  Frame.TypeColumn->SetItems({"Other"});
  Frame.ParametersToControls();
  EXPECT_EQ(Frame.TypeColumn->Items(), (std::vector<std::string>{"String", "Boolean", "Integer", "Float"}));
  EXPECT_EQ(Cell(2, Frame.NameColumn), "Count");
}

TEST_F(GeneralFrameTest, TypeCellsAreReadWithoutRegardToCaseAndUnknownOnesAreStrings) {
  Seed({{"P", "", 3, 0, false}});
  struct TCase {
    const char* Cell;
    int Type;
  };
  const std::vector<TCase> cases = {{"Float", 3}, {"integer", 2}, {"BOOLEAN", 1}, {"String", 0}, {"Double", 0}, {"", 0}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Cell);
    ASSERT_TRUE(Frame.ParametersTreeList->SetCell(0, *Frame.TypeColumn, c.Cell));
    Frame.ControlsToParameters();
    EXPECT_EQ(Frame.Parameters().GetData(0)->FValueType, c.Type);
  }
}

// ------------------------------------------------------------------ Add and Delete

TEST_F(GeneralFrameTest, AddAndDeleteNumberTheNewRowsAndMarkTheParametersChanged) {
  EXPECT_FALSE(Frame.ParametersChanged());
  for (int i = 0; i < 3; ++i) ASSERT_EQ(Click(Frame.AddParameterButton), ui::irApplied);
  EXPECT_TRUE(Frame.ParametersChanged());
  ASSERT_EQ(Frame.ParametersTreeList->RowCount(), 3);
  EXPECT_EQ(Cell(1, Frame.NameColumn), "New Parameter 2");
  EXPECT_EQ(Cell(1, Frame.TypeColumn), "String");
  EXPECT_EQ(Cell(1, Frame.ComponentParameterColumn), "False");

  // The user renames the third row, then deletes the second: its entry goes with it.
  ASSERT_EQ(EditCell(2, "NameColumn", "Gain"), ui::irApplied);
  ASSERT_EQ(EditCell(2, "ValueColumn", "10"), ui::irApplied);
  Frame.InitParameters();  // clears the changed mark
  ASSERT_EQ(FocusRow(1), ui::irApplied);
  ASSERT_EQ(Click(Frame.DeleteParameterButton), ui::irApplied);
  EXPECT_TRUE(Frame.ParametersChanged());
  ASSERT_EQ(Click(Frame.AddParameterButton), ui::irApplied);
  Frame.ControlsToParameters();
  ExpectEntries(Frame.Parameters(), {{"New Parameter 1", "", 0, 0, false},
                                     {"Gain", "10", 0, 0, false},
                                     {"New Parameter 4", "", 0, 0, false}});
  ASSERT_EQ(Frame.ParametersTreeList->RowCount(), 3);
  EXPECT_EQ(Cell(2, Frame.NameColumn), "New Parameter 4");

  // Without a focused row Delete removes nothing, though it still marks the parameters changed.
  Frame.InitParameters();
  Frame.ParametersTreeList->SetFocusedRow(-1);
  ASSERT_EQ(Click(Frame.DeleteParameterButton), ui::irApplied);
  EXPECT_EQ(Frame.ParametersTreeList->RowCount(), 3);
  EXPECT_EQ(Frame.Parameters().Count(), 3u);
  EXPECT_TRUE(Frame.ParametersChanged());
}

TEST_F(GeneralFrameTest, AddPassesOverANumberAStoredParameterAlreadyHas) {
  Seed({{"New Parameter 1", "keep", 0, 0, false}});
  ASSERT_EQ(Click(Frame.AddParameterButton), ui::irApplied);
  ASSERT_EQ(Frame.ParametersTreeList->RowCount(), 2);
  EXPECT_EQ(Cell(1, Frame.NameColumn), "New Parameter 2");
  // The new row has an entry of its own: what is typed into it is kept.
  ASSERT_EQ(EditCell(1, "ValueColumn", "5"), ui::irApplied);
  Frame.ControlsToParameters();
  ExpectEntries(Frame.Parameters(), {{"New Parameter 1", "keep", 0, 0, false}, {"New Parameter 2", "5", 0, 0, false}});
}

// ------------------------------------------------------------------ the read-only columns and their menu

TEST_F(GeneralFrameTest, TheReadOnlyFlagsChangeOnlyThroughThePopupMenu) {
  Seed({{"A", "1", 0, 0, false}, {"B", "2", 0, 2, false}});
  // The hidden columns have no cell to click into.
  EXPECT_EQ(EditCell(0, "ReadOnlyNameColumn", "True"), ui::irInvisible);
  EXPECT_EQ(EditCell(0, "ReadOnlyValueColumn", "True"), ui::irInvisible);

  // The menu shows the focused row's flags.
  ASSERT_EQ(FocusRow(1), ui::irApplied);
  ASSERT_EQ(Input(ui::uiPopup, Frame.ParametersTreeList), ui::irApplied);
  EXPECT_FALSE(Frame.ReadOnlyNameMenuItem->Checked());
  EXPECT_TRUE(Frame.ReadOnlyValueMenuItem->Checked());
  ASSERT_EQ(Input(ui::uiPickMenuItem, Frame.ReadOnlyNameMenuItem), ui::irApplied);
  EXPECT_EQ(Cell(1, Frame.ReadOnlyNameColumn), "True");

  ASSERT_EQ(Input(ui::uiPopup, Frame.ParametersTreeList), ui::irApplied);
  EXPECT_TRUE(Frame.ReadOnlyNameMenuItem->Checked());
  ASSERT_EQ(Input(ui::uiPickMenuItem, Frame.ReadOnlyValueMenuItem), ui::irApplied);
  EXPECT_EQ(Cell(1, Frame.ReadOnlyValueColumn), "False");

  // On the first row the menu follows that row, not the last one shown.
  ASSERT_EQ(FocusRow(0), ui::irApplied);
  ASSERT_EQ(Input(ui::uiPopup, Frame.ParametersTreeList), ui::irApplied);
  EXPECT_FALSE(Frame.ReadOnlyNameMenuItem->Checked());
  EXPECT_FALSE(Frame.ReadOnlyValueMenuItem->Checked());
  ASSERT_EQ(Input(ui::uiPickMenuItem, Frame.ReadOnlyValueMenuItem), ui::irApplied);

  Frame.ControlsToParameters();
  ExpectEntries(Frame.Parameters(), {{"A", "1", 0, 2, false}, {"B", "2", 0, 1, false}});

  // Shown, the columns take edits like any other.
  Frame.ReadOnlyNameColumn->SetVisible(true);
  EXPECT_EQ(EditCell(0, "ReadOnlyNameColumn", "True"), ui::irApplied);
}

// ------------------------------------------------------------------ Validate

TEST_F(GeneralFrameTest, ValidateRefusesANameDefinedTwiceLetterCaseIgnored) {
  TScopedMessageBoxes boxes;
  Seed({{"R", "1k", 0, 0, false}, {"C", "", 0, 0, false}});
  for (int i = 0; i < 2; ++i) ASSERT_EQ(Click(Frame.AddParameterButton), ui::irApplied);
  // Two empty names are not a clash.
  ASSERT_EQ(EditCell(2, "NameColumn", ""), ui::irApplied);
  ASSERT_EQ(EditCell(3, "NameColumn", ""), ui::irApplied);
  EXPECT_TRUE(Frame.Validate());
  EXPECT_TRUE(boxes.Records().empty());

  ASSERT_EQ(EditCell(3, "NameColumn", "r"), ui::irApplied);
  EXPECT_FALSE(Frame.Validate());
  ASSERT_EQ(boxes.Records().size(), 1u);
  EXPECT_EQ(boxes.Records()[0].Box.Text, "Parameter name \"r\" has been defined more than once.");
  EXPECT_EQ(boxes.Records()[0].Box.Icon, ui::mbiError);
}

// ------------------------------------------------------------------ prefix, template and ports

TEST(GeneralFrameTemplateTest, TakesThePrefixAndTemplateFromTheImplementationAndKeepsWhatItIsGiven) {
  TImplementationData data{0, 0};
  data.SetNetlist("@DESIGNATOR %1 %2 @MODEL");
  data.SetSpicePrefix("Q");
  auto* dialog = reinterpret_cast<TImplementationEditorDialog*>(&data);
  const auto frame = CreateEditorFrame<TGeneralImplEditorFrame>(dialog, &data, "");
  EXPECT_FALSE(frame->ParametersChanged());
  EXPECT_EQ(frame->GetSpicePrefix(), "Q");
  EXPECT_EQ(frame->GetNetlistTemplate(), "@DESIGNATOR %1 %2 @MODEL");
  EXPECT_TRUE(frame->CanEditSpicePrefix());
  EXPECT_TRUE(frame->CanEditNetlistTemplate());
  EXPECT_TRUE(frame->AllowsCustomParameters());
  EXPECT_FALSE(frame->ModelDefinesParameters());
  EXPECT_TRUE(frame->Validate());

  frame->SetSpicePrefix("X");
  frame->SetNetlistTemplate("@DESIGNATOR %a %b");
  EXPECT_EQ(frame->GetSpicePrefix(), "X");
  EXPECT_EQ(frame->GetNetlistTemplate(), "@DESIGNATOR %a %b");
  // The implementation keeps its own until the dialog saves.
  EXPECT_EQ(data.FNetlist, "@DESIGNATOR %1 %2 @MODEL");
  EXPECT_EQ(data.FSpicePrefix, "Q");
}

TEST(GeneralFrameTemplateTest, ScansThePinsAndTheModelReferenceOfTheTemplate) {
  struct TCase {
    const char* Name;
    std::string Template;
    std::vector<std::string> Ports;
    bool RequiresModel;
  };
  const std::vector<TCase> cases = {
      {"empty", "", {}, false},
      {"numbered pins used twice", "@DESIGNATOR %1 %2 %1 %2 @MODEL", {"1", "2"}, true},
      {"sorted as text", "%1 %2 %3 %4 %5 %6 %7 %8 %9 %10", {"1", "10", "2", "3", "4", "5", "6", "7", "8", "9"}, false},
      {"letters as pin names", "@DESIGNATOR %A %K @MODEL", {"A", "K"}, true},
      {"lower-case model reference", "@designator %a %k @model", {"a", "k"}, true},
      {"ampersand model reference", "X%1 %2 &Model", {"1", "2"}, true},
      {"doubled percent is a literal", "@DESIGNATOR %%1 %2", {"2"}, false},
      {"percent at the end", "@DESIGNATOR %1 %", {"1"}, false},
      {"percent before a blank", "@DESIGNATOR % 1 %2", {"2"}, false},
      {"underscores and digits", "%IN_1 %OUT_2", {"IN_1", "OUT_2"}, false},
      {"direction suffix with brackets", "[%1i %1o] %2I", {"1", "2"}, false},
      {"no suffix without brackets", "%1i %1o", {"1i", "1o"}, false},
      {"a suffix alone names nothing", "[%o] %1", {"1"}, false},
      {"adjacent references both count", "%1%2", {"1", "2"}, false},
      {"case-only duplicates listed once", "%a %A %b", {"a", "b"}, false},
      {"mixed case sorted without regard to case", "%b %A %c", {"A", "b", "c"}, false},
  };
  TImplementationData data{0, 0};
  auto* dialog = reinterpret_cast<TImplementationEditorDialog*>(&data);
  const auto frame = CreateEditorFrame<TGeneralImplEditorFrame>(dialog, &data, "");
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    frame->SetNetlistTemplate(c.Template);
    std::vector<std::string> ports{"stale"};
    frame->GetPorts(ports);
    EXPECT_EQ(ports, c.Ports);
    EXPECT_EQ(frame->RequiresModel(), c.RequiresModel);
  }
}

}  // namespace
}  // namespace tolvex
