// The control model: the event table row by row, the input door's refusals, groups, ownership, tree lists, the observer.
#include "ui/Controls.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ui/FontMetrics.h"
#include "ui/TreeList.h"

namespace tolvex::ui {
namespace {

// Every event a control fires, as "Name.OnEvent", in order.
struct TEventLog {
  std::vector<std::string> Lines;
  void Watch(TControl& control) {
    const std::string name = control.Name();
    control.OnChange = [this, name](TControl&) { Lines.push_back(name + ".OnChange"); };
    control.OnClick = [this, name](TControl&) { Lines.push_back(name + ".OnClick"); };
    control.OnEnter = [this, name](TControl&) { Lines.push_back(name + ".OnEnter"); };
    control.OnExit = [this, name](TControl&) { Lines.push_back(name + ".OnExit"); };
    if (control.Kind() == ckTreeList) {
      auto& list = static_cast<TTreeList&>(control);
      list.OnEdited = [this, name](TTreeList&, int, TTreeListColumn&) { Lines.push_back(name + ".OnEdited"); };
      list.OnFocusedNodeChanged = [this, name](TControl&) { Lines.push_back(name + ".OnFocusedNodeChanged"); };
    }
    if (control.Kind() == ckPopupMenu) {
      static_cast<TPopupMenu&>(control).OnPopup = [this, name](TControl&) { Lines.push_back(name + ".OnPopup"); };
    }
    if (control.Kind() == ckForm) {
      auto& form = static_cast<TForm&>(control);
      form.OnResize = [this, name](TControl&) { Lines.push_back(name + ".OnResize"); };
      form.OnCloseQuery = [this, name](TForm&, bool&) { Lines.push_back(name + ".OnCloseQuery"); };
    }
  }
};

struct TChangeLog final : TControlObserver {
  std::vector<std::string> Lines;
  void PropertyChanged(TControl& control, TProperty property) override {
    Lines.push_back(control.Name() + "." + PropertyName(property));
  }
};

TUserInput In(TUserInputKind kind, std::string target, std::string value = {}) {
  TUserInput input;
  input.Kind = kind;
  input.Target = std::move(target);
  input.Value = std::move(value);
  return input;
}

TUserInput Cell(std::string target, int row, std::string column, std::string value) {
  TUserInput input = In(uiEditCell, std::move(target), std::move(value));
  input.Row = row;
  input.Column = std::move(column);
  return input;
}

// ------------------------------------------------------------ the event table

// Makes the control a row is about, changes it from code or by the user, and gives what it fired.
std::vector<std::string> DriveRule(const TEventRule& rule) {
  TForm form;
  form.SetClientSize(200, 100);
  auto* other = form.Add<TEdit>("Other", &form);
  TControl* subject = nullptr;
  std::function<void()> code;
  std::function<TInputResult()> user;
  const bool viaCode = rule.Source == srCode;
  const TControlKind kind = rule.Kind == ckAny ? ckEdit : rule.Kind;

  switch (kind) {
    case ckEdit: {
      auto* edit = form.Add<TEdit>("Subject", &form);
      subject = edit;
      if (rule.Change == chText) {
        code = [=] { edit->SetText("x"); };
        user = [&] { return form.Input(In(uiTypeText, "Subject", "x")); };
      } else if (rule.Change == chFocusLost) {
        edit->SetFocus();
        code = [=] { other->SetFocus(); };
        user = [&] { return form.Input(In(uiLeave, "Subject")); };
      } else if (rule.Change == chFocusGained) {
        code = [=] { edit->SetFocus(); };
        user = [&] { return form.Input(In(uiFocus, "Subject")); };
      }
      break;
    }
    case ckComboBox: {
      auto* combo = form.Add<TComboBox>("Subject", &form);
      combo->SetItems({"a", "b"});
      subject = combo;
      if (rule.Change == chText) {
        combo->SetStyle(csDropDown);
        code = [=] { combo->SetText("x"); };
        user = [&] { return form.Input(In(uiTypeText, "Subject", "x")); };
      } else if (rule.Change == chItemIndex) {
        code = [=] { combo->SetItemIndex(1); };
        user = [&] { return form.Input(In(uiSelectItem, "Subject", "b")); };
      }
      break;
    }
    case ckListBox: {
      auto* list = form.Add<TListBox>("Subject", &form);
      list->SetItems({"a", "b"});
      subject = list;
      code = [=] { list->SetItemIndex(1); };
      user = [&] { return form.Input(In(uiSelectItem, "Subject", "b")); };
      break;
    }
    case ckCheckBox: {
      auto* box = form.Add<TCheckBox>("Subject", &form);
      subject = box;
      code = [=] { box->SetChecked(true); };
      user = [&] { return form.Input(In(uiClick, "Subject")); };
      break;
    }
    case ckRadioButton: {
      auto* radio = form.Add<TRadioButton>("Subject", &form);
      subject = radio;
      code = [=] { radio->SetChecked(true); };
      user = [&] { return form.Input(In(uiClick, "Subject")); };
      break;
    }
    case ckButton: {
      auto* button = form.Add<TButton>("Subject", &form);
      subject = button;
      code = [=] { button->Click(); };
      user = [&] { return form.Input(In(uiClick, "Subject")); };
      break;
    }
    case ckPageControl: {
      auto* pages = form.Add<TPageControl>("Subject", &form);
      form.Add<TTabSheet>("One", pages)->SetCaption("One");
      auto* two = form.Add<TTabSheet>("Two", pages);
      two->SetCaption("Two");
      subject = pages;
      code = [=] { pages->SetActivePage(two); };
      user = [&] { return form.Input(In(uiChooseTab, "Subject", "Two")); };
      break;
    }
    case ckTabSet: {
      auto* tabs = form.Add<TTabSet>("Subject", &form);
      tabs->SetTabs({"A", "B"});
      subject = tabs;
      code = [=] { tabs->SetTabIndex(1); };
      user = [&] { return form.Input(In(uiChooseTab, "Subject", "B")); };
      break;
    }
    case ckRichEdit: {
      auto* editor = form.Add<TRichEdit>("Subject", &form);
      subject = editor;
      code = [=] { editor->SetText("a\rb"); };
      user = [&] { return form.Input(In(uiTypeText, "Subject", "a\rb")); };
      break;
    }
    case ckTreeList: {
      auto* list = form.Add<TTreeList>("Subject", &form);
      TTreeListColumn* column = list->AddColumn("Value", tcText, "Value", 50);
      list->AddRow();
      list->AddRow();
      subject = list;
      if (rule.Change == chCell) {
        list->SetFocusedRow(0);
        code = [=] { list->SetCell(0, *column, "x"); };
        user = [&] { return form.Input(Cell("Subject", 0, "Value", "x")); };
      } else {
        code = [=] { list->SetFocusedRow(1); };
        user = [&] {
          TUserInput input = In(uiFocusRow, "Subject");
          input.Row = 1;
          return form.Input(input);
        };
      }
      break;
    }
    case ckPopupMenu: {
      auto* menu = form.Add<TPopupMenu>("Subject", nullptr);
      subject = menu;
      code = [=] { menu->Popup(); };
      user = [&] { return form.Input(In(uiPopup, "Subject")); };
      break;
    }
    case ckMenuItem: {
      auto* menu = form.Add<TPopupMenu>("Menu", nullptr);
      TMenuItem* item = menu->AddItem("Subject", "Item");
      subject = item;
      if (rule.Change == chChecked) {
        code = [=] { item->SetChecked(true); };
      } else {
        code = [=] { item->Click(); };
        user = [&, menu] {
          menu->Popup();
          return form.Input(In(uiPickMenuItem, "Subject"));
        };
      }
      break;
    }
    case ckForm: {
      subject = &form;
      if (rule.Change == chClientSize) {
        code = [&] { form.SetClientSize(300, 200); };
        user = [&] {
          TUserInput input = In(uiResize, "");
          input.Width = 300;
          input.Height = 200;
          return form.Input(input);
        };
      } else {
        code = [&] { form.SetModalResult(ui::mrOk); };
        user = [&] { return form.Input(In(uiCloseBox, "")); };
      }
      break;
    }
    default: break;
  }
  if (subject == nullptr || (viaCode ? !code : !user)) {
    ADD_FAILURE() << "no way to drive this row";
    return {};
  }
  // The user reaches a control by focusing it first; that is not the change under test.
  if (!viaCode && subject->CanFocus() && rule.Change != chFocusGained && rule.Change != chFocusLost)
    subject->SetFocus();
  TEventLog log;
  log.Watch(*subject);
  if (viaCode) {
    code();
  } else {
    EXPECT_EQ(user(), irApplied);
  }
  for (std::string& line : log.Lines) line.erase(0, line.find('.') + 1);  // the form has no name
  return log.Lines;
}

TEST(EventTable, EveryRowFiresWhatItSaysInOrder) {
  for (const TEventRule& rule : EventRules) {
    SCOPED_TRACE(std::string(ControlKindName(rule.Kind)) + " change " + std::to_string(rule.Change) +
                 (rule.Source == srCode ? " from code" : " by the user"));
    std::vector<std::string> expected;
    for (TEvent event : FiredEvents(rule.Kind, rule.Change, rule.Source))
      expected.push_back(EventName(event));
    EXPECT_EQ(DriveRule(rule), expected);
  }
}

TEST(EventTable, OneRowPerKindChangeAndSourceAndNoneForWhatItLeavesOut) {
  for (std::size_t i = 0; i < std::size(EventRules); ++i) {
    for (std::size_t j = i + 1; j < std::size(EventRules); ++j) {
      const TEventRule& a = EventRules[i];
      const TEventRule& b = EventRules[j];
      EXPECT_FALSE(a.Kind == b.Kind && a.Change == b.Change && a.Source == b.Source) << "rows " << i << ", " << j;
    }
  }
  EXPECT_TRUE(FiredEvents(ckLabel, chText, srCode).empty());
  // A kind without its own row takes the rule for every kind.
  ASSERT_EQ(FiredEvents(ckTreeList, chFocusLost, srUser).size(), 1u);
  EXPECT_EQ(FiredEvents(ckTreeList, chFocusLost, srUser)[0], evExit);
}

// ------------------------------------------------------------ a small dialog for the rest

struct TDialog {
  TForm Form;
  TPageControl* Pages = Form.Add<TPageControl>("Pages", &Form);
  TTabSheet* General = Form.Add<TTabSheet>("General", Pages);
  TTabSheet* Parameters = Form.Add<TTabSheet>("Parameters", Pages);
  TEdit* Edit_ModelName = Form.Add<TEdit>("Edit_ModelName", General);
  TEdit* Edit_Description = Form.Add<TEdit>("Edit_Description", General);
  TComboBox* ComboBox_Kind = Form.Add<TComboBox>("ComboBox_Kind", General);
  TListBox* ListBox_SubKinds = Form.Add<TListBox>("ListBox_SubKinds", General);
  TGroupBox* GroupBox_Location = Form.Add<TGroupBox>("GroupBox_Location", General);
  TRadioButton* RadioButton_Any = Form.Add<TRadioButton>("RadioButton_Any", GroupBox_Location);
  TRadioButton* RadioButton_InFile = Form.Add<TRadioButton>("RadioButton_InFile", GroupBox_Location);
  TEdit* Edit_Filename = Form.Add<TEdit>("Edit_Filename", GroupBox_Location);
  TLabel* Label_FoundIn = Form.Add<TLabel>("Label_FoundIn", General);
  TEdit* Edit_Value = Form.Add<TEdit>("Edit_Value", Parameters);
  TTabSet* TabSet_CommonInfo = Form.Add<TTabSet>("TabSet_CommonInfo", &Form);
  TRichEdit* Editor_Model = Form.Add<TRichEdit>("Editor_Model", &Form);
  TTreeList* TreeList = Form.Add<TTreeList>("TreeList", &Form);
  TTreeListColumn* NameColumn = TreeList->AddColumn("NameColumn", tcText, "Name", 98);
  TTreeListColumn* ReadOnlyNameColumn = TreeList->AddColumn("ReadOnlyNameColumn", tcCheck, "RO", 40);
  TTreeListColumn* TypeColumn = TreeList->AddColumn("TypeColumn", tcPickList, "Type", 78);
  TTreeListColumn* ComponentColumn = TreeList->AddColumn("ComponentColumn", tcCheck, "Component Parameter", 112);
  TTreeListColumn* IdColumn = TreeList->AddColumn("IdColumn", tcText, "", 10);
  TPopupMenu* Menu = Form.Add<TPopupMenu>("Menu", nullptr);
  TMenuItem* ReadOnlyNameMenuItem = Menu->AddItem("ReadOnlyNameMenuItem", "Name Read-Only");
  TButton* Button_OK = Form.Add<TButton>("Button_OK", &Form);
  TButton* Button_Cancel = Form.Add<TButton>("Button_Cancel", &Form);

  TDialog() {
    Form.SetClientSize(653, 525);
    General->SetCaption("General");
    Parameters->SetCaption("Parameters");
    ComboBox_Kind->SetItems({"General", "Voltage Source"});
    ListBox_SubKinds->SetItems({"Generic Editor", "Resistor"});
    RadioButton_Any->SetChecked(true);
    TabSet_CommonInfo->SetTabs({"Netlist Template", "Netlist Preview", "Model File"});
    ReadOnlyNameColumn->SetVisible(false);
    IdColumn->SetReadOnly(true);
    TypeColumn->SetItems({"String", "Boolean", "Integer", "Float"});
    TreeList->SetPopupMenu(Menu);
    TreeList->AddRow();
    Button_OK->SetModalResult(ui::mrOk);
    Button_Cancel->SetModalResult(ui::mrCancel);
  }
};

TEST(InputDoor, RefusesWhatAUserCouldNotDoAndChangesNothing) {
  struct TCase {
    const char* Name;
    std::function<void(TDialog&)> Setup;
    TUserInput Input;
    TInputResult Expected;
  };
  const std::vector<TCase> cases = {
      {"unknown control", {}, In(uiTypeText, "Edit_Nothing", "x"), irUnknownControl},
      {"disabled edit", [](TDialog& d) { d.Edit_ModelName->SetEnabled(false); },
       In(uiTypeText, "Edit_ModelName", "x"), irDisabled},
      {"edit in a disabled group box", [](TDialog& d) { d.GroupBox_Location->SetEnabled(false); },
       In(uiTypeText, "Edit_Filename", "x"), irDisabled},
      {"hidden edit", [](TDialog& d) { d.Edit_ModelName->SetVisible(false); },
       In(uiTypeText, "Edit_ModelName", "x"), irInvisible},
      {"edit on a page that is not shown", {}, In(uiTypeText, "Edit_Value", "x"), irInvisible},
      {"read-only edit", [](TDialog& d) { d.Edit_ModelName->SetReadOnly(true); },
       In(uiTypeText, "Edit_ModelName", "x"), irReadOnly},
      {"typing into a drop-down list", {}, In(uiTypeText, "ComboBox_Kind", "General"), irReadOnly},
      {"combo item not in the list", {}, In(uiSelectItem, "ComboBox_Kind", "general"), irNotInList},
      {"list line not in the list", {}, In(uiSelectItem, "ListBox_SubKinds", "Capacitor"), irNotInList},
      {"tab not in the list", {}, In(uiChooseTab, "TabSet_CommonInfo", "Preview"), irNotInList},
      {"page not in the list", {}, In(uiChooseTab, "Pages", "Pin Mapping"), irNotInList},
      {"read-only rich editor", [](TDialog& d) { d.Editor_Model->SetReadOnly(true); },
       In(uiTypeText, "Editor_Model", "x"), irReadOnly},
      {"read-only column", {}, Cell("TreeList", 0, "IdColumn", "x"), irReadOnly},
      {"read-only tree list", [](TDialog& d) { d.TreeList->SetReadOnly(true); },
       Cell("TreeList", 0, "NameColumn", "x"), irReadOnly},
      {"hidden column", {}, Cell("TreeList", 0, "ReadOnlyNameColumn", "True"), irInvisible},
      {"check cell neither True nor False", {}, Cell("TreeList", 0, "ComponentColumn", "true"), irInvalidValue},
      {"pick-list value not among its items", {}, Cell("TreeList", 0, "TypeColumn", "Double"), irNotInList},
      {"row that is not there", {}, Cell("TreeList", 1, "NameColumn", "x"), irNoSuchRow},
      {"column that is not there", {}, Cell("TreeList", 0, "ValueColumn", "x"), irNoSuchColumn},
      {"menu item of a menu not shown", {}, In(uiPickMenuItem, "ReadOnlyNameMenuItem"), irMenuNotShown},
      {"leaving a control without the focus", {}, In(uiLeave, "Edit_ModelName"), irNotFocused},
      {"Escape without a Cancel button", {}, In(uiEscape, ""), irNoButton},
      {"clicking a label", {}, In(uiClick, "Label_FoundIn"), irWrongKind},
      {"checking a radio button", {}, In(uiCheck, "RadioButton_Any", "True"), irWrongKind},
      {"popup on a control without a menu", {}, In(uiPopup, "Edit_ModelName"), irWrongKind},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TChangeLog changes;  // outlives the form, which reports its controls' end to it
    TDialog d;
    if (c.Setup) c.Setup(d);
    TEventLog events;
    for (TControl* control : std::vector<TControl*>{&d.Form, d.Edit_ModelName, d.ComboBox_Kind, d.ListBox_SubKinds,
                                                    d.TabSet_CommonInfo, d.Editor_Model, d.TreeList, d.Menu,
                                                    d.ReadOnlyNameMenuItem, d.Edit_Filename, d.Edit_Value})
      events.Watch(*control);
    d.Form.SetObserver(&changes);
    EXPECT_EQ(d.Form.Input(c.Input), c.Expected) << InputResultName(d.Form.Input(c.Input));
    EXPECT_EQ(events.Lines, std::vector<std::string>{});
    EXPECT_EQ(changes.Lines, std::vector<std::string>{});
    EXPECT_FALSE(d.Form.Closed());
  }
}

TEST(InputDoor, ABackendsControlPointerMustBelongToTheForm) {
  TDialog d;
  TForm stranger;
  auto* edit = stranger.Add<TEdit>("Edit_ModelName", &stranger);
  TUserInput input = In(uiTypeText, "", "x");
  input.Control = edit;
  EXPECT_EQ(d.Form.Input(input), irUnknownControl);
  EXPECT_EQ(edit->Text(), "");
  input.Control = d.Edit_ModelName;
  EXPECT_EQ(d.Form.Input(input), irApplied);
  EXPECT_EQ(d.Edit_ModelName->Text(), "x");
}

TEST(InputDoor, TypingMovesTheFocusFirstAndAnExitThatKeepsItStopsTheInput) {
  TDialog d;
  TEventLog log;
  log.Watch(*d.Edit_ModelName);
  log.Watch(*d.Edit_Description);
  ASSERT_EQ(d.Form.Input(In(uiTypeText, "Edit_ModelName", "1,5")), irApplied);
  EXPECT_EQ(log.Lines, (std::vector<std::string>{"Edit_ModelName.OnEnter", "Edit_ModelName.OnChange"}));
  // An exit check that refuses the value and takes the focus back, as a value check does.
  d.Edit_ModelName->OnExit = [&](TControl& sender) {
    log.Lines.push_back("Edit_ModelName.OnExit");
    sender.SetFocus();
  };
  log.Lines.clear();
  EXPECT_EQ(d.Form.Input(In(uiTypeText, "Edit_Description", "x")), irFocusKept);
  EXPECT_EQ(log.Lines, std::vector<std::string>{"Edit_ModelName.OnExit"});
  EXPECT_EQ(d.Form.ActiveControl(), d.Edit_ModelName);
  EXPECT_EQ(d.Edit_Description->Text(), "");
  // The same press of OK never reaches the button either.
  EXPECT_EQ(d.Form.Input(In(uiClick, "Button_OK")), irFocusKept);
  EXPECT_FALSE(d.Form.Closed());
}

TEST(InputDoor, ExitHandlerMaySendTheFocusElsewhere) {
  TDialog d;
  d.Edit_ModelName->SetFocus();
  d.Edit_ModelName->OnExit = [&](TControl&) { d.ComboBox_Kind->SetFocus(); };
  EXPECT_EQ(d.Form.Input(In(uiFocus, "Edit_Description")), irFocusKept);
  EXPECT_EQ(d.Form.ActiveControl(), d.ComboBox_Kind);
}

TEST(InputDoor, ButtonWithModalResultThenCloseQueryDecides) {
  TDialog d;
  std::vector<std::string> log;
  bool allow = false;
  d.Button_OK->OnClick = [&](TControl&) {
    log.push_back("OnClick, modal result " + std::to_string(d.Form.ModalResult()));
  };
  d.Form.OnCloseQuery = [&](TForm& form, bool& canClose) {
    log.push_back("OnCloseQuery, modal result " + std::to_string(form.ModalResult()));
    canClose = allow;
  };
  EXPECT_EQ(d.Form.Input(In(uiClick, "Button_OK")), irApplied);
  EXPECT_EQ(log, (std::vector<std::string>{"OnClick, modal result 1", "OnCloseQuery, modal result 1"}));
  EXPECT_FALSE(d.Form.Closed());
  EXPECT_EQ(d.Form.ModalResult(), ui::mrNone);  // refused: the dialog stays open for more input
  EXPECT_EQ(d.Form.Input(In(uiTypeText, "Edit_ModelName", "D1N4148")), irApplied);

  allow = true;
  log.clear();
  EXPECT_EQ(d.Form.Input(In(uiClick, "Button_OK")), irApplied);
  EXPECT_TRUE(d.Form.Closed());
  EXPECT_EQ(d.Form.ModalResult(), ui::mrOk);
  EXPECT_EQ(d.Form.Input(In(uiTypeText, "Edit_ModelName", "x")), irClosed);
}

TEST(InputDoor, EscapePressesTheCancelButtonAndTheCloseBoxCancels) {
  {
    TDialog d;
    d.Button_Cancel->SetCancel(true);
    int clicks = 0;
    d.Button_Cancel->OnClick = [&](TControl&) { ++clicks; };
    d.Edit_ModelName->SetFocus();
    EXPECT_EQ(d.Form.Input(In(uiEscape, "")), irApplied);
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(d.Form.Closed());
    EXPECT_EQ(d.Form.ModalResult(), ui::mrCancel);
    EXPECT_EQ(d.Form.ActiveControl(), d.Edit_ModelName);  // Escape takes no focus
  }
  {
    TDialog d;
    EXPECT_EQ(d.Form.Input(In(uiCloseBox, "")), irApplied);
    EXPECT_TRUE(d.Form.Closed());
    EXPECT_EQ(d.Form.ModalResult(), ui::mrCancel);
  }
}

TEST(InputDoor, ModalResultSetByAHandlerClosesOnlyWhenTheInputIsDone) {
  TDialog d;
  std::vector<std::string> log;
  d.ListBox_SubKinds->OnClick = [&](TControl&) {
    d.Form.SetModalResult(ui::mrOk);
    log.push_back(d.Form.Closed() ? "closed inside the handler" : "open inside the handler");
  };
  EXPECT_EQ(d.Form.Input(In(uiSelectItem, "ListBox_SubKinds", "Resistor")), irApplied);
  EXPECT_EQ(log, std::vector<std::string>{"open inside the handler"});
  EXPECT_TRUE(d.Form.Closed());
}

TEST(InputDoor, PopupMenuShowsThenAnItemIsPickedOnce) {
  TDialog d;
  std::vector<std::string> log;
  d.Menu->OnPopup = [&](TControl&) { log.push_back("OnPopup"); };
  d.ReadOnlyNameMenuItem->SetAutoCheck(true);
  d.ReadOnlyNameMenuItem->OnClick = [&](TControl& item) {
    log.push_back(std::string("OnClick checked ") + (static_cast<TMenuItem&>(item).Checked() ? "yes" : "no"));
  };
  EXPECT_EQ(d.Form.Input(In(uiPopup, "TreeList")), irApplied);
  EXPECT_TRUE(d.Menu->Shown());
  EXPECT_EQ(d.Form.Input(In(uiPickMenuItem, "ReadOnlyNameMenuItem")), irApplied);
  EXPECT_FALSE(d.Menu->Shown());
  EXPECT_EQ(d.Form.Input(In(uiPickMenuItem, "ReadOnlyNameMenuItem")), irMenuNotShown);
  EXPECT_EQ(log, (std::vector<std::string>{"OnPopup", "OnClick checked yes"}));
  // Any other input closes the menu.
  d.Form.Input(In(uiPopup, "TreeList"));
  d.Form.Input(In(uiTypeText, "Edit_ModelName", "x"));
  EXPECT_FALSE(d.Menu->Shown());
}

TEST(InputDoor, TabChoicesChangeThePageBeforeOnChange) {
  TDialog d;
  std::vector<std::string> seen;
  d.Pages->OnChange = [&](TControl&) { seen.push_back(d.Pages->ActivePage()->Caption()); };
  d.TabSet_CommonInfo->OnChange = [&](TControl&) { seen.push_back(d.TabSet_CommonInfo->SelectedTab()); };
  EXPECT_EQ(d.Form.Input(In(uiChooseTab, "Pages", "Parameters")), irApplied);
  EXPECT_EQ(d.Form.Input(In(uiChooseTab, "TabSet_CommonInfo", "Model File")), irApplied);
  EXPECT_EQ(seen, (std::vector<std::string>{"Parameters", "Model File"}));
  EXPECT_EQ(d.Form.Input(In(uiTypeText, "Edit_Value", "10k")), irApplied);  // now on the shown page
  EXPECT_EQ(d.Form.Input(In(uiTypeText, "Edit_ModelName", "x")), irInvisible);
}

// ------------------------------------------------------------ radio groups

TEST(RadioButtons, SiblingsByParentFormOneGroup) {
  TForm form;
  auto* left = form.Add<TGroupBox>("Left", &form);
  auto* right = form.Add<TGroupBox>("Right", &form);
  auto* a = form.Add<TRadioButton>("A", left);
  auto* b = form.Add<TRadioButton>("B", left);
  auto* c = form.Add<TRadioButton>("C", right);
  TEventLog log;
  for (TControl* radio : {static_cast<TControl*>(a), static_cast<TControl*>(b), static_cast<TControl*>(c)})
    log.Watch(*radio);
  a->SetChecked(true);
  c->SetChecked(true);
  EXPECT_EQ(form.Input(In(uiClick, "B")), irApplied);
  EXPECT_FALSE(a->Checked());
  EXPECT_TRUE(b->Checked());
  EXPECT_TRUE(c->Checked());  // another parent, another group
  EXPECT_EQ(log.Lines, (std::vector<std::string>{"A.OnClick", "C.OnClick", "B.OnEnter", "B.OnClick"}));
  log.Lines.clear();
  EXPECT_EQ(form.Input(In(uiClick, "B")), irApplied);  // already checked: nothing
  b->SetChecked(false);                                   // unchecking from code: nothing either
  EXPECT_EQ(log.Lines, std::vector<std::string>{});
}

// ------------------------------------------------------------ owner and parent

TEST(Ownership, NamesAreUniquePerOwnerAndFoundWithoutRegardToCase) {
  TForm form;
  auto* frame = form.Add<TFrame>("ResistorFrame", &form);
  EXPECT_NE(frame->Add<TEdit>("Edit_Value", frame), nullptr);
  EXPECT_EQ(frame->Add<TEdit>("edit_value", frame), nullptr);
  auto* other = form.Add<TFrame>("CapacitorFrame", &form);
  EXPECT_NE(other->Add<TEdit>("Edit_Value", other), nullptr);  // another owner, another name space
  EXPECT_EQ(form.Add<TEdit>("A.B", &form), nullptr);
  EXPECT_NE(form.Add<TLabel>("", &form), nullptr);
  EXPECT_NE(form.Add<TLabel>("", &form), nullptr);
  EXPECT_EQ(form.FindComponent("resistorframe.EDIT_VALUE"), frame->FindComponent("Edit_Value"));
  EXPECT_EQ(form.FindComponent("Edit_Value"), nullptr);
  EXPECT_EQ(form.FindComponent(""), nullptr);
  EXPECT_EQ(form.FindComponent("ResistorFrame."), nullptr);
}

TEST(Ownership, ADetachedFrameStillExistsOnItsPanelButIsNoLongerFoundByItsOldOwner) {
  std::unique_ptr<TControl> kept;
  TChangeLog changes;
  TEdit* edit = nullptr;
  {
    TForm form;
    form.SetObserver(&changes);
    auto* holder = form.Add<TPanel>("Panel_EditorHolder", &form);
    auto* frame = form.Add<TFrame>("ResistorFrame", holder);
    edit = frame->Add<TEdit>("Edit_Value", frame);
    frame->SetVisible(false);
    kept = form.RemoveComponent(*frame);
    ASSERT_EQ(kept.get(), frame);
    EXPECT_EQ(frame->Owner(), nullptr);
    EXPECT_EQ(frame->Parent(), holder);
    EXPECT_EQ(form.FindComponent("ResistorFrame"), nullptr);
    EXPECT_EQ(form.RemoveComponent(*frame), nullptr);
    // A second frame of the same designed name can now be owned by the form.
    EXPECT_NE(form.Add<TFrame>("ResistorFrame", holder), nullptr);
    edit->SetText("10k");  // still drawn on the form's panel: still reported
    EXPECT_EQ(changes.Lines.back(), "Edit_Value.Caption");
    edit->SetFocus();
    EXPECT_FALSE(edit->Focused());  // hidden with its frame
  }
  // The form is gone; the frame lives on with whoever kept it.
  EXPECT_EQ(kept->Parent(), nullptr);
  EXPECT_EQ(edit->Text(), "10k");
  kept.reset();
}

TEST(Ownership, AFocusedControlThatLeavesTheFormTakesTheFocusWithIt) {
  TForm form;
  auto* holder = form.Add<TPanel>("Holder", &form);
  auto* frame = form.Add<TFrame>("Frame", holder);
  auto* edit = frame->Add<TEdit>("Edit", frame);
  edit->SetFocus();
  std::unique_ptr<TControl> kept = form.RemoveComponent(*frame);
  EXPECT_EQ(form.ActiveControl(), edit);  // still drawn on the form
  frame->SetParent(nullptr);
  EXPECT_EQ(form.ActiveControl(), nullptr);
  kept.reset();
  EXPECT_EQ(form.Input(In(uiFocus, "Holder")), irWrongKind);
}

TEST(Ownership, DestroyingTheFocusedControlLeavesTheFormWithoutFocus) {
  TForm form;
  auto* frame = form.Add<TFrame>("Frame", &form);
  auto* edit = frame->Add<TEdit>("Edit", frame);
  edit->SetFocus();
  ASSERT_EQ(form.ActiveControl(), edit);
  form.RemoveComponent(*frame).reset();
  EXPECT_EQ(form.ActiveControl(), nullptr);
  EXPECT_TRUE(form.Children().empty());
}

// ------------------------------------------------------------ tree list

TEST(TreeList, TypedCellsUserDataAndFocusedRow) {
  TDialog d;
  TTreeList& list = *d.TreeList;
  int entry = 42;
  const int row = list.AddRow(&entry);
  EXPECT_EQ(list.Cell(row, *d.ComponentColumn), "False");  // check cells start unchecked
  EXPECT_FALSE(list.SetCell(row, *d.ComponentColumn, "Yes"));
  EXPECT_EQ(list.Cell(row, *d.ComponentColumn), "False");
  EXPECT_TRUE(list.SetCellChecked(row, *d.ComponentColumn, true));
  EXPECT_EQ(list.Cell(row, *d.ComponentColumn), "True");
  EXPECT_TRUE(list.CellChecked(row, *d.ComponentColumn));
  EXPECT_FALSE(list.CellChecked(row, *d.NameColumn));
  // Hidden and read-only columns are the code's to set.
  EXPECT_TRUE(list.SetCell(row, *d.ReadOnlyNameColumn, "True"));
  EXPECT_TRUE(list.SetCell(row, *d.IdColumn, "3"));
  EXPECT_FALSE(list.SetCell(5, *d.NameColumn, "x"));
  EXPECT_EQ(list.Cell(5, *d.NameColumn), "");
  EXPECT_EQ(std::any_cast<int*>(list.RowData(row)), &entry);
  EXPECT_FALSE(list.RowData(7).has_value());
  EXPECT_EQ(list.AddColumn("namecolumn", tcText, "", 1), nullptr);

  list.SetFocusedRow(row);
  list.DeleteRow(0);
  EXPECT_EQ(list.FocusedRow(), 0);  // follows its row
  list.DeleteRow(0);
  EXPECT_EQ(list.FocusedRow(), -1);
  EXPECT_EQ(list.RowCount(), 0);
}

TEST(TreeList, AnInPlaceEditFocusesTheRowStoresTheCellThenFiresOnEdited) {
  TDialog d;
  d.TreeList->AddRow();
  std::vector<std::string> log;
  d.TreeList->OnFocusedNodeChanged = [&](TControl&) {
    log.push_back("focused " + std::to_string(d.TreeList->FocusedRow()));
  };
  d.TreeList->OnEdited = [&](TTreeList& list, int row, TTreeListColumn& column) {
    log.push_back("edited " + std::to_string(row) + " " + column.Name() + " = " + list.Cell(row, column));
  };
  EXPECT_EQ(d.Form.Input(Cell("treelist", 1, "typecolumn", "Float")), irApplied);
  EXPECT_EQ(d.Form.Input(Cell("TreeList", 1, "ComponentColumn", "True")), irApplied);
  EXPECT_EQ(d.Form.Input(Cell("TreeList", 1, "ComponentColumn", "True")), irApplied);  // no change: no event
  EXPECT_EQ(log, (std::vector<std::string>{"focused 1", "edited 1 TypeColumn = Float",
                                           "edited 1 ComponentColumn = True"}));
  EXPECT_EQ(d.Form.ActiveControl(), d.TreeList);
}

// ------------------------------------------------------------ observer and echo

TEST(Observer, SeesEachRealChangeOnce) {
  TChangeLog changes;
  TDialog d;
  d.Form.SetObserver(&changes);
  d.Edit_ModelName->SetText("D1");
  d.Edit_ModelName->SetText("D1");
  d.Edit_ModelName->SetTextColor(clGrayText);
  d.Edit_ModelName->SetTextColor(clGrayText);
  d.ComboBox_Kind->SetItemIndex(1);
  d.ComboBox_Kind->SetItemIndex(1);
  d.Form.Input(In(uiClick, "RadioButton_InFile"));
  d.Form.Input(In(uiChooseTab, "Pages", "General"));  // already shown
  d.TypeColumn->SetItems({"String", "Boolean", "Integer", "Float"});
  d.Editor_Model->SetSelStart(99);  // no text: stays at 0
  EXPECT_EQ(changes.Lines, (std::vector<std::string>{
                               "Edit_ModelName.Caption", "Edit_ModelName.TextColor", "ComboBox_Kind.ItemIndex",
                               "ComboBox_Kind.Caption", "RadioButton_InFile.Focus", "RadioButton_InFile.Checked",
                               "RadioButton_Any.Checked"}));
}

// A backend that copies each change into its native widget, whose own notification comes back
// as input, as a native check box reports a programmatic check as a click.
struct TEchoingBackend final : TControlObserver {
  TForm* Form = nullptr;
  std::vector<TInputResult> Echoes;
  int Pushes = 0;
  void PropertyChanged(TControl& control, TProperty property) override {
    if (property != prChecked || ++Pushes > 4) return;  // bounded, so that a regression fails, not overflows
    TForm::TBackendPush push(*Form);  // while it sets the native state
    TUserInput echo = In(uiClick, "");
    echo.Control = &control;
    Echoes.push_back(Form->Input(echo));
  }
};

TEST(Observer, ABackendsOwnPushIsNotTakenAsInput) {
  TForm form;
  auto* box = form.Add<TCheckBox>("CheckBox", &form);
  int clicks = 0;
  box->OnClick = [&](TControl&) { ++clicks; };
  TEchoingBackend backend;
  backend.Form = &form;
  form.SetObserver(&backend);
  box->SetChecked(true);
  // Taken as input, the echo would have unchecked the box again and fired a second OnClick.
  EXPECT_TRUE(box->Checked());
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(backend.Echoes, std::vector<TInputResult>{irEcho});
  form.SetObserver(nullptr);
  EXPECT_EQ(form.Input(In(uiClick, "CheckBox")), irApplied);  // real input after the push
  EXPECT_FALSE(box->Checked());
  EXPECT_EQ(clicks, 2);
}

// ------------------------------------------------------------ the other kinds

TEST(RichEdit, LinesTextAndCaret) {
  TForm form;
  auto* editor = form.Add<TRichEdit>("Editor_Model", &form);
  int changes = 0;
  editor->OnChange = [&](TControl&) { ++changes; };
  editor->SetText("* diode\r.subckt D1 A K\r.ends\r");
  EXPECT_EQ(editor->Lines(), (std::vector<std::string>{"* diode", ".subckt D1 A K", ".ends"}));
  EXPECT_EQ(changes, 1);
  const std::string text = editor->Text();
  EXPECT_EQ(text, "* diode\r.subckt D1 A K\r.ends");
  editor->SetSelStart(static_cast<int>(text.find(".subckt")));
  EXPECT_EQ(editor->CaretPos(), (TRichEdit::TCaret{1, 0}));
  editor->SetSelStart(1000);
  EXPECT_EQ(editor->CaretPos(), (TRichEdit::TCaret{2, 5}));
  editor->SetText("a\r\nb\nc");
  EXPECT_EQ(editor->Lines(), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(editor->SelStart(), 5);  // kept within the shorter text
  editor->AddLine("");
  EXPECT_EQ(editor->Lines().size(), 4u);
  editor->ClearLines();
  editor->ClearLines();
  EXPECT_EQ(changes, 4);
  EXPECT_EQ(editor->SelStart(), 0);
}

TEST(ComboBox, ItemsSelectionAndText) {
  TForm form;
  auto* combo = form.Add<TComboBox>("ComboBox_SpicePrefix", &form);
  combo->SetItems({"", "A", "B"});
  combo->SetText("B");
  EXPECT_EQ(combo->ItemIndex(), 2);
  combo->SetItems({"B", "C"});  // the selected text survives a refill
  EXPECT_EQ(combo->ItemIndex(), 0);
  combo->SetText("N");  // not an item of a drop-down list: nothing selected
  EXPECT_EQ(combo->ItemIndex(), -1);
  EXPECT_EQ(combo->Text(), "");
  combo->SetItemIndex(9);
  EXPECT_EQ(combo->ItemIndex(), -1);
}

TEST(Layout, AlignedChildrenAndAnchorsFollowAResize) {
  TForm form;
  form.SetClientSize(653, 525);
  auto* panel = form.Add<TPanel>("Panel_Preview", &form);
  panel->SetBounds({0, 0, 400, 200});
  auto* errors = form.Add<TRichEdit>("Editor_PreviewErrors", panel);
  errors->SetHeight(65);
  errors->SetAlign(alBottom);
  auto* preview = form.Add<TRichEdit>("Editor_Preview", panel);
  preview->SetAlign(alClient);
  EXPECT_EQ(errors->Bounds(), (TRect{0, 135, 400, 65}));
  EXPECT_EQ(preview->Bounds(), (TRect{0, 0, 400, 135}));
  errors->SetVisible(false);
  EXPECT_EQ(preview->Bounds(), (TRect{0, 0, 400, 200}));

  panel->SetAnchors(akLeft | akTop | akRight | akBottom);
  auto* ok = form.Add<TButton>("Button_OK", &form);
  ok->SetBounds({490, 490, 75, 25});
  ok->SetAnchors(akRight | akBottom);
  int resizes = 0;
  form.OnResize = [&](TControl&) { ++resizes; };
  TUserInput resize = In(uiResize, "");
  resize.Width = 753;
  resize.Height = 545;
  EXPECT_EQ(form.Input(resize), irApplied);
  EXPECT_EQ(resizes, 1);
  EXPECT_EQ(ok->Bounds(), (TRect{590, 510, 75, 25}));
  EXPECT_EQ(panel->Bounds(), (TRect{0, 0, 500, 220}));
  EXPECT_EQ(preview->Bounds(), (TRect{0, 0, 500, 220}));
  resize.Width = -1;
  EXPECT_EQ(form.Input(resize), irInvalidValue);
}

TEST(FontMetrics, WidthsComeFromOneTable) {
  struct TCase {
    const char* Text;
    int Expected;
  };
  const TCase cases[] = {
      {"", 0}, {"i", 2}, {"W", 11}, {"C:\\", 13}, {"10k", 17}, {"\xC3\xA9", 6}, {"\t", 6},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(TextWidth(c.Text), c.Expected);
  }
  EXPECT_EQ(TextWidth("ab"), CharWidth('a') + CharWidth('b'));
}

}  // namespace
}  // namespace tolvex::ui
