// Scripts played on a small modal form by the headless backend, checked against their expected transcripts, and the script errors.
#include "ui/UiScript.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ui/TreeList.h"
#include "ui/UiBackend.h"
#include "ui/UiTranscript.h"

namespace tolvex::ui {
namespace {

const std::string kData = std::string(TOLVEX_TEST_DATA_DIR) + "/ui/";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// A small form: an edit whose exit check asks about a value out of range, a check box that enables
// the combo box, a parameter table with a popup menu, a browse button for the host's common dialog,
// and OK and Cancel.
struct TTestForm {
  TForm Form;
  TEdit* Edit_Value = Form.Add<TEdit>("Edit_Value", &Form);
  TCheckBox* CheckBox_UseKind = Form.Add<TCheckBox>("CheckBox_UseKind", &Form);
  TComboBox* ComboBox_Kind = Form.Add<TComboBox>("ComboBox_Kind", &Form);
  TTreeList* TreeList_Params = Form.Add<TTreeList>("TreeList_Params", &Form);
  TPopupMenu* PopupMenu_Params = Form.Add<TPopupMenu>("PopupMenu_Params", &Form);
  TMenuItem* MenuItem_Clear = nullptr;
  TEdit* Edit_Path = Form.Add<TEdit>("Edit_Path", &Form);
  TButton* Button_Browse = Form.Add<TButton>("Button_Browse", &Form);
  TButton* Button_OK = Form.Add<TButton>("Button_OK", &Form);
  TButton* Button_Cancel = Form.Add<TButton>("Button_Cancel", &Form);
  TTreeListColumn* Column_Name = nullptr;
  TTreeListColumn* Column_Value = nullptr;

  TTestForm() {
    Form.SetClientSize(300, 200);
    Edit_Value->SetText("10");
    Edit_Value->OnExit = [this](TControl&) {
      if (Edit_Value->Text().size() <= 4) return;
      TMessageBoxContent box;
      box.Caption = "Confirm";
      box.Text = "The value \"" + Edit_Value->Text() + "\" is long.\nKeep it?";
      box.Icon = mbiQuestion;
      box.Buttons = mbbYesNo;
      box.DefaultButton = mrYes;
      box.EscapeButton = mrNo;
      if (ShowModalMessageBox(box) == mrNo) Edit_Value->SetText("10");
    };
    CheckBox_UseKind->SetChecked(true);
    CheckBox_UseKind->OnClick = [this](TControl&) { ComboBox_Kind->SetEnabled(CheckBox_UseKind->Checked()); };
    ComboBox_Kind->SetItems({"Resistor", "Capacitor"});
    ComboBox_Kind->SetItemIndex(0);
    ComboBox_Kind->OnChange = [this](TControl&) {
      Edit_Value->SetText(ComboBox_Kind->Text() == "Capacitor" ? "1n" : "1k");
    };
    Column_Name = TreeList_Params->AddColumn("Name", tcText, "Name", 80);
    Column_Name->SetReadOnly(true);
    Column_Value = TreeList_Params->AddColumn("Value", tcText, "Value", 80);
    for (const char* name : {"TC1", "TC2"}) {
      const int row = TreeList_Params->AddRow();
      TreeList_Params->SetCell(row, *Column_Name, name);
    }
    TreeList_Params->OnEdited = [](TTreeList&, int, TTreeListColumn&) {};
    MenuItem_Clear = PopupMenu_Params->AddItem("MenuItem_Clear", "Clear");
    MenuItem_Clear->OnClick = [this](TControl&) {
      for (int row = 0; row < TreeList_Params->RowCount(); ++row) TreeList_Params->SetCell(row, *Column_Value, "");
    };
    TreeList_Params->SetPopupMenu(PopupMenu_Params);
    Edit_Path->SetReadOnly(true);
    Button_Browse->OnClick = [this](TControl&) {
      const auto answer = PresentCommonDialog({"DDBBrowser", "Choose Model Location"});
      if (answer && answer->Chosen) Edit_Path->SetText(answer->Path);
    };
    Button_OK->SetModalResult(mrOk);
    Button_OK->SetDefault(true);
    Button_Cancel->SetModalResult(mrCancel);
    Button_Cancel->SetCancel(true);
  }

  // What the caller keeps from a form that closed with OK.
  void WriteBack(TUiTranscript& transcript) const {
    transcript.WriteBack("Value", Edit_Value->Text());
    transcript.WriteBack("Kind", CheckBox_UseKind->Checked() ? ComboBox_Kind->Text() : "");
    transcript.WriteBack("Path", Edit_Path->Text());
    for (int row = 0; row < TreeList_Params->RowCount(); ++row)
      transcript.WriteBack(TreeList_Params->Cell(row, *Column_Name), TreeList_Params->Cell(row, *Column_Value));
  }
};

struct TPlayed {
  TModalResult Answer;
  TUiTranscript Transcript;
  bool FormClosed;
};

// Runs the form modally with Script queued, as the dialog's caller would, writing back on OK.
void Play(std::string_view script, TPlayed& played) {
  TTestForm f;
  THeadlessUiBackend backend;
  TScopedUiBackend scope(backend);
  backend.QueueScript(ParseUiScript(script), played.Transcript);
  played.Answer = RunModal(f.Form);
  played.FormClosed = f.Form.Closed();
  if (played.Answer == mrOk) f.WriteBack(played.Transcript);
  EXPECT_EQ(backend.PendingAnswers(), 0u) << "an answer the script queued was left for a later form";
}

std::string Numbered(const std::vector<std::string>& lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) text += std::to_string(i + 1) + "\t" + lines[i] + "\n";
  return text;
}

TEST(UiScript, ScriptsGiveTheirExpectedTranscripts) {
  for (const char* name : {"edit-and-ok", "escape-cancels", "resize-and-default-answer", "error-not-in-list"}) {
    SCOPED_TRACE(name);
    const std::string script = ReadFile(kData + name + ".script");
    const std::vector<std::string> expected = SplitLines(ReadFile(kData + name + ".transcript"));
    ASSERT_FALSE(script.empty());
    ASSERT_FALSE(expected.empty());
    TPlayed played;
    Play(script, played);
    const std::vector<std::string>& actual = played.Transcript.Lines();
    bool same = actual.size() == expected.size();
    for (std::size_t i = 0; same && i < actual.size(); ++i) same = actual[i] == expected[i];
    EXPECT_TRUE(same) << "expected:\n" << Numbered(expected) << "actual:\n" << Numbered(actual);
  }
}

TEST(UiScript, AScriptErrorNamesItsLineAndEndsTheFormCancelledWithNothingWritten) {
  struct TCase {
    const char* Name;
    const char* Script;
    const char* Error;  // the transcript's error line
  };
  const TCase cases[] = {
      {"unknown control", "type Edit_Value 12\nclick Button_Nope\nok\n",
       "error 2: unknown control: click Button_Nope"},
      {"disabled control", "check CheckBox_UseKind False\nselect ComboBox_Kind Capacitor\nok\n",
       "error 2: disabled: select ComboBox_Kind Capacitor"},
      {"item not in the list", "# a kind the box does not offer\nselect ComboBox_Kind Inductor\nok\n",
       "error 2: not in the list: select ComboBox_Kind Inductor"},
      {"no such row", "cell TreeList_Params 5 Value 1\nok\n", "error 1: no such row: cell TreeList_Params 5 Value 1"},
      {"read-only cell", "cell TreeList_Params 0 Name X\nok\n", "error 1: read-only: cell TreeList_Params 0 Name X"},
      {"menu not shown", "pick MenuItem_Clear\nok\n", "error 1: menu not shown: pick MenuItem_Clear"},
      {"ends with the form open", "type Edit_Value 12\n\n# no end\n",
       "error 3: the script ends with the form still open"},
      {"empty script", "", "error 0: the script ends with the form still open"},
      {"steps after the form closed", "ok\ntype Edit_Value 12\n", "error 2: form closed: type Edit_Value 12"},
      {"an answer no box took", "answer No\ntype Edit_Value 12\nok\n", "error 1: no message box took this answer"},
      {"a dialog answer nothing asked for", "dialog choose \"C:\\\\m.sim\"\nok\n",
       "error 1: no common dialog took this answer"},
      {"parse error: unknown command", "type Edit_Value 12\nfrobnicate Edit_Value\nok\n",
       "error 2: unknown command \"frobnicate\""},
      {"parse error: open quote", "type Edit_Value \"12\nok\n", "error 1: a quoted text is not closed"},
      {"parse error: arguments", "click\nok\n", "error 1: expected: click <control>"},
      {"parse error: check value", "check CheckBox_UseKind yes\n",
       "error 1: expected: check <control> True|False"},
      {"parse error: row", "row TreeList_Params -1\n", "error 1: a row is a whole number from 0"},
      {"parse error: answer", "answer Maybe\n", "error 1: expected: answer OK|Cancel|Yes|No"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TPlayed played;
    Play(c.Script, played);
    const std::vector<std::string>& lines = played.Transcript.Lines();
    EXPECT_EQ(played.Answer, mrCancel);
    EXPECT_TRUE(played.FormClosed);
    int errors = 0;
    for (const std::string& line : lines) {
      if (line.rfind("error ", 0) == 0) {
        ++errors;
        EXPECT_EQ(line, c.Error);
      }
      EXPECT_NE(line.rfind("write ", 0), 0u) << "written after an error: " << line;
    }
    EXPECT_EQ(errors, 1) << Numbered(lines);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "result Cancel") << Numbered(lines);
  }
}

TEST(UiScript, AFormRunFromAHandlerPlaysTheNextScriptIntoItsOwnTranscript) {
  TTestForm outer;
  TTestForm inner;
  outer.Button_Browse->OnClick = [&](TControl&) {
    if (RunModal(inner.Form) == mrOk) outer.Edit_Path->SetText(inner.Edit_Value->Text());
  };
  THeadlessUiBackend backend;
  TScopedUiBackend scope(backend);
  TUiTranscript outerTranscript, innerTranscript;
  backend.QueueScript(ParseUiScript("click Button_Browse\nok\n"), outerTranscript);
  backend.QueueScript(ParseUiScript("type Edit_Value 123456\nanswer No\nok\n"), innerTranscript);
  EXPECT_EQ(RunModal(outer.Form), mrOk);
  EXPECT_EQ(outer.Edit_Path->Text(), "10");  // the inner exit check's box was answered No
  const std::vector<std::string> innerExpected = {
      "form Form",
      "step 1: type Edit_Value 123456",
      "  state Edit_Value Text=\"123456\" Focused=True",
      "step 2: answer No",
      "step 3: ok",
      "  event Edit_Value.OnExit",
      "  box \"Confirm\" \"The value \\\"123456\\\" is long.\\nKeep it?\" [Yes,No] -> No",
      "  state Form ModalResult=OK Closed=True",
      "  state Edit_Value Text=\"10\" Focused=False",
      "  state Button_OK Focused=True",
      "result OK",
  };
  EXPECT_EQ(innerTranscript.Lines(), innerExpected) << Numbered(innerTranscript.Lines());
  // The outer transcript holds its own form only, and takes boxes again once the inner run is over.
  const std::vector<std::string> outerExpected = {
      "form Form",
      "step 1: click Button_Browse",
      "  event Button_Browse.OnClick",
      "  state Edit_Path Text=\"10\"",
      "  state Button_Browse Focused=True",
      "step 2: ok",
      "  state Form ModalResult=OK Closed=True",
      "  state Button_Browse Focused=False",
      "  state Button_OK Focused=True",
      "result OK",
  };
  EXPECT_EQ(outerTranscript.Lines(), outerExpected) << Numbered(outerTranscript.Lines());
  EXPECT_EQ(backend.Transcript(), nullptr);
}

TEST(UiScript, WordsQuotesAndComments) {
  struct TCase {
    const char* Name;
    const char* Line;
    std::string Target;
    std::string Value;
    std::string Text;
  };
  const TCase cases[] = {
      {"plain", "type Edit_Value 12k", "Edit_Value", "12k", "type Edit_Value 12k"},
      {"quoted blanks", "type  Edit_Value  \"1 k Ohm\"  ", "Edit_Value", "1 k Ohm", "type  Edit_Value  \"1 k Ohm\""},
      {"escapes", R"(type Edit_Value "a\"b\\c\nd")", "Edit_Value", "a\"b\\c\nd", R"(type Edit_Value "a\"b\\c\nd")"},
      {"empty text", "type Edit_Value \"\"", "Edit_Value", "", "type Edit_Value \"\""},
      {"comment after", "type Edit_Value 5 # five", "Edit_Value", "5", "type Edit_Value 5"},
      {"hash inside quotes", "type Edit_Value \"#5\"", "Edit_Value", "#5", "type Edit_Value \"#5\""},
      {"frame control, verb case", "TYPE Frame_X.Edit_Value 1", "Frame_X.Edit_Value", "1", "TYPE Frame_X.Edit_Value 1"},
      {"CR LF line end", "type Edit_Value 7\r", "Edit_Value", "7", "type Edit_Value 7"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TUiScript script = ParseUiScript(std::string("# header\n\n") + c.Line + "\n");
    ASSERT_FALSE(script.ParseError) << script.ParseError->Reason;
    ASSERT_EQ(script.Steps.size(), 1u);
    EXPECT_EQ(script.Steps[0].Line, 3);
    EXPECT_EQ(script.Steps[0].Input.Kind, uiTypeText);
    EXPECT_EQ(script.Steps[0].Input.Target, c.Target);
    EXPECT_EQ(script.Steps[0].Input.Value, c.Value);
    EXPECT_EQ(script.Steps[0].Text, c.Text);
  }
}

TEST(UiScript, TheObserverIsToldOnlyOfHandlersThatRun) {
  struct TLog final : TControlObserver {
    std::vector<std::string> Lines;
    void PropertyChanged(TControl&, TProperty) override {}
    void HandlerRuns(TControl& control, TEvent event) override { Lines.push_back(control.Name() + "." + EventName(event)); }
  } log;
  TForm form;
  auto* edit = form.Add<TEdit>("Edit_A", &form);
  auto* other = form.Add<TEdit>("Edit_B", &form);
  edit->OnExit = [](TControl&) {};
  form.SetObserver(&log);
  TUserInput input;
  input.Kind = uiTypeText;
  input.Target = "Edit_A";
  input.Value = "x";
  ASSERT_EQ(form.Input(input), irApplied);  // OnEnter and OnChange fire, but have no handler
  input.Target = "Edit_B";
  ASSERT_EQ(form.Input(input), irApplied);
  EXPECT_EQ(log.Lines, std::vector<std::string>{"Edit_A.OnExit"});
  form.SetObserver(nullptr);
  (void)other;
}

}  // namespace
}  // namespace tolvex::ui
