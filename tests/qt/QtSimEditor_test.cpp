// The Sim Editor dialog drawn by the Qt window system on an in-memory schematic: every widget shows its control's state on each tab, with the generic editor and the capacitor frame; native input reaches the model once; screenshots of each state.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTest>
#include <QTreeWidget>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "editor/EditorKinds.h"
#include "editor/Form_ImplementationEditor.h"
#include "os/posix/qt/TolvexQt.h"
#include "qt/QtTestSupport.h"
#include "support/FakeSchServer.h"
#include "ui/TreeList.h"
#include "ui/UiBackend.h"

namespace tolvex::test {
namespace {

using namespace ui;

QString Q(const std::string& text) { return QString::fromStdString(text); }

QStringList ToList(const std::vector<std::string>& items) {
  QStringList list;
  for (const std::string& item : items) list.push_back(Q(item));
  return list;
}

// Every property a person sees of every control on the form, compared with its widget.
void ExpectWidgetsShowTheModel(const TForm& form) {
  const std::map<const TControl*, QWidget*> widgets = WidgetsOfShownForm();
  std::vector<const TControl*> controls{&form};
  for (std::size_t next = 0; next < controls.size(); ++next) {
    for (const TControl* child : controls[next]->Children()) {
      if (child->Kind() != ckPopupMenu && child->Kind() != ckMenuItem) controls.push_back(child);
    }
  }
  for (const TControl* control : controls) {
    SCOPED_TRACE(std::string(ControlKindName(control->Kind())) + " " + control->Name());
    const auto found = widgets.find(control);
    if (found == widgets.end()) {
      ADD_FAILURE() << "no widget";
      continue;
    }
    QWidget* widget = found->second;
    const TRect& b = control->Bounds();
    if (control == &form) {
      EXPECT_EQ(widget->size(), QSize(b.Width, b.Height));
      EXPECT_EQ(widget->windowTitle(), Q(form.Caption()));
      continue;
    }
    // A label is at least as wide as its text.
    const int width = control->Kind() == ckLabel ? std::max(b.Width, widget->sizeHint().width()) : b.Width;
    EXPECT_EQ(widget->geometry(), QRect(b.Left, b.Top, width, b.Height));
    EXPECT_EQ(widget->isVisible(), control->Showing());
    EXPECT_EQ(widget->isEnabled(), control->EffectivelyEnabled());
    switch (control->Kind()) {
      case ckLabel: EXPECT_EQ(static_cast<QLabel*>(widget)->text(), Q(control->Caption())); break;
      case ckPanel:
        EXPECT_EQ(static_cast<QLabel*>(widget)->text(), control->Children().empty() ? Q(control->Caption()) : "");
        break;
      case ckButton: EXPECT_EQ(static_cast<QAbstractButton*>(widget)->text(), Q(control->Caption())); break;
      case ckCheckBox:
        EXPECT_EQ(static_cast<QAbstractButton*>(widget)->text(), Q(control->Caption()));
        EXPECT_EQ(static_cast<QAbstractButton*>(widget)->isChecked(), static_cast<const TCheckBox*>(control)->Checked());
        break;
      case ckRadioButton:
        EXPECT_EQ(static_cast<QAbstractButton*>(widget)->text(), Q(control->Caption()));
        EXPECT_EQ(static_cast<QAbstractButton*>(widget)->isChecked(),
                  static_cast<const TRadioButton*>(control)->Checked());
        break;
      case ckGroupBox: EXPECT_EQ(static_cast<QGroupBox*>(widget)->title(), Q(control->Caption())); break;
      case ckEdit:
        EXPECT_EQ(static_cast<QLineEdit*>(widget)->text(), Q(control->Caption()));
        EXPECT_EQ(static_cast<QLineEdit*>(widget)->isReadOnly(), static_cast<const TEdit*>(control)->ReadOnly());
        break;
      case ckComboBox: {
        const auto* combo = static_cast<const TComboBox*>(control);
        auto* box = static_cast<QComboBox*>(widget);
        QStringList items;
        for (int i = 0; i < box->count(); ++i) items.push_back(box->itemText(i));
        EXPECT_EQ(items, ToList(combo->Items()));
        EXPECT_EQ(box->currentIndex(), combo->ItemIndex());
        EXPECT_EQ(box->currentText(), Q(combo->Text()));
        break;
      }
      case ckListBox: {
        const auto* list = static_cast<const TListBox*>(control);
        auto* box = static_cast<QListWidget*>(widget);
        QStringList items;
        for (int i = 0; i < box->count(); ++i) items.push_back(box->item(i)->text());
        EXPECT_EQ(items, ToList(list->Items()));
        EXPECT_EQ(box->currentRow(), list->ItemIndex());
        break;
      }
      case ckTabSet: {
        const auto* tabs = static_cast<const TTabSet*>(control);
        auto* bar = static_cast<QTabBar*>(widget);
        QStringList items;
        for (int i = 0; i < bar->count(); ++i) items.push_back(bar->tabText(i));
        EXPECT_EQ(items, ToList(tabs->Tabs()));
        EXPECT_EQ(bar->currentIndex(), tabs->TabIndex());
        break;
      }
      case ckPageControl: {
        const auto* pages = static_cast<const TPageControl*>(control);
        QTabBar* bar = widget->findChild<QTabBar*>(QString(), Qt::FindDirectChildrenOnly);
        EXPECT_NE(bar, nullptr);
        if (bar == nullptr) break;
        EXPECT_EQ(bar->isVisible(), control->Showing() && !pages->Pages().empty());
        if (pages->Pages().empty()) break;
        QStringList captions;
        std::vector<std::string> expected;
        for (int i = 0; i < bar->count(); ++i) captions.push_back(bar->tabText(i));
        for (const TTabSheet* page : pages->Pages()) expected.push_back(page->Caption());
        EXPECT_EQ(captions, ToList(expected));
        EXPECT_EQ(bar->currentIndex(), pages->ActivePageIndex());
        break;
      }
      case ckRichEdit: {
        const auto* editor = static_cast<const TRichEdit*>(control);
        auto* text = static_cast<QPlainTextEdit*>(widget);
        std::string joined;
        for (std::size_t i = 0; i < editor->Lines().size(); ++i) joined += (i > 0 ? "\n" : "") + editor->Lines()[i];
        EXPECT_EQ(text->toPlainText(), Q(joined));
        EXPECT_EQ(text->isReadOnly(), editor->ReadOnly());
        EXPECT_EQ(text->lineWrapMode(), QPlainTextEdit::NoWrap);
        break;
      }
      case ckTreeList: {
        const auto* list = static_cast<const TTreeList*>(control);
        auto* tree = static_cast<QTreeWidget*>(widget);
        EXPECT_EQ(tree->columnCount(), static_cast<int>(list->Columns().size()));
        EXPECT_EQ(tree->topLevelItemCount(), list->RowCount());
        if (tree->columnCount() != static_cast<int>(list->Columns().size()) || tree->topLevelItemCount() != list->RowCount())
          break;
        for (int c = 0; c < tree->columnCount(); ++c) {
          const TTreeListColumn& column = *list->Columns()[static_cast<std::size_t>(c)];
          SCOPED_TRACE("column " + column.Name());
          EXPECT_EQ(tree->headerItem()->text(c), Q(column.Caption()));
          EXPECT_EQ(tree->isColumnHidden(c), !column.Visible());
          if (column.Visible()) {
            EXPECT_EQ(tree->columnWidth(c), column.Width());
          }
          for (int row = 0; row < list->RowCount(); ++row) {
            const QTreeWidgetItem* item = tree->topLevelItem(row);
            if (column.Kind() == tcCheck)
              EXPECT_EQ(item->checkState(c) == Qt::Checked, list->CellChecked(row, column)) << "row " << row;
            else
              EXPECT_EQ(item->text(c), Q(list->Cell(row, column))) << "row " << row;
          }
        }
        EXPECT_EQ(tree->currentItem() != nullptr ? tree->indexOfTopLevelItem(tree->currentItem()) : -1,
                  list->FocusedRow());
        break;
      }
      default: break;
    }
  }
}

// Counts the handlers that ran and the form's closing: the reports an input gives the model's observer.
class TCountingObserver final : public TControlObserver {
 public:
  void PropertyChanged(TControl& control, TProperty property) override {
    if (property == prClosed) ++Closed;
  }
  void HandlerRuns(TControl& control, TEvent event) override { ++Runs[control.Name() + "." + EventName(event)]; }
  std::map<std::string, int> Runs;
  int Closed = 0;
};

// U1 with three pins and no stored kind (the generic editor opens), the registered kinds, and a
// headless user that answers the boxes the dialog shows.
class QtSimEditor : public ::testing::Test {
 protected:
  QtSimEditor() {
    QtBackend();
    RegisterEditorKinds();
    Component = Sch.AddComponent("U1");
    Sch.AddPin(Component, {"IN", "1"});
    Sch.AddPin(Component, {"OUT", "2"});
    Sch.AddPin(Component, {"GND", "3"});
    Sch.AddParameter(Component, {"Value", "10"});
    Implementation = Sch.AddImplementation(Component, "", "(1:1),(2:2),(3:3)");
  }
  ~QtSimEditor() override { ReleaseEditorKinds(); }

  // Opens the dialog as EditImplementation does and runs it in the Qt window system with Player.
  TModalResult Edit(const std::function<void(TImplementationEditorDialog&)>& player, TControlObserver* observer = nullptr) {
    TImplementationEditorDialog dialog(Implementation, Component);
    dialog.LoadFromImplementation();
    dialog.SetOwnerWindow(MainWindowHandle);
    if (observer != nullptr) dialog.SetObserver(observer);
    return QtBackend().RunModal(dialog, dialog.OwnerWindow(), [&] {
      WaitUntilActive();
      player(dialog);
    });
  }

  template <class T>
  static T* WidgetOf(const TControl* control) {
    const auto widgets = WidgetsOfShownForm();
    const auto found = widgets.find(control);
    return found == widgets.end() ? nullptr : qobject_cast<T*>(found->second);
  }
  static void ClickTab(const TPageControl* pages, const std::string& caption) {
    QTabBar* bar = WidgetOf<QWidget>(pages)->findChild<QTabBar*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_NE(bar, nullptr);
    for (int i = 0; i < bar->count(); ++i) {
      if (bar->tabText(i) == Q(caption)) QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(i).center());
    }
  }
  static void ClickItem(const TListBox* list, const std::string& text) {
    auto* box = WidgetOf<QListWidget>(list);
    ASSERT_NE(box, nullptr);
    const auto items = box->findItems(Q(text), Qt::MatchExactly);
    ASSERT_EQ(items.size(), 1);
    QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, box->visualItemRect(items.front()).center());
  }

  FakeSchServer Sch;
  THandle Component = 0;
  THandle Implementation = 0;
  THeadlessUiBackend User;
  TScopedUiBackend Scope{User};
};

TEST_F(QtSimEditor, EveryWidgetShowsItsControlOnEachTabWithTheGenericEditorAndTheCapacitorFrame) {
  struct TState {
    const char* Name;
    std::function<void(TImplementationEditorDialog&)> Reach;  // what the person does to get there
    const char* Frame;                                         // the frame shown on the Parameters tab
  };
  const std::vector<TState> states = {
      {"generic-general", [](auto&) {}, "GeneralImplEditorFrame"},
      {"generic-parameters", [](auto& d) { ClickTab(d.TabControl_Main, "Parameters"); }, "GeneralImplEditorFrame"},
      {"generic-pin-mapping", [](auto& d) { ClickTab(d.TabControl_Main, "Pin Mapping"); }, "GeneralImplEditorFrame"},
      // The sub-kind through the list on the screen: the capacitor frame is made while the window shows.
      {"capacitor-general",
       [](auto& d) {
         ClickTab(d.TabControl_Main, "General");
         ClickItem(d.ListBox_SubKinds, "Capacitor");
       },
       "CapacitorImplEditorFrame"},
      {"capacitor-parameters", [](auto& d) { ClickTab(d.TabControl_Main, "Parameters"); }, "CapacitorImplEditorFrame"},
      {"capacitor-pin-mapping", [](auto& d) { ClickTab(d.TabControl_Main, "Pin Mapping"); }, "CapacitorImplEditorFrame"},
      {"capacitor-netlist-preview",
       [](auto& d) {
         ClickTab(d.TabControl_Main, "General");
         auto* tabs = WidgetOf<QTabBar>(d.TabSet_CommonInfo);
         ASSERT_NE(tabs, nullptr);
         QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
       },
       "CapacitorImplEditorFrame"},
  };
  const TModalResult answer = Edit([&](TImplementationEditorDialog& dialog) {
    for (const TState& state : states) {
      SCOPED_TRACE(state.Name);
      state.Reach(dialog);
      QApplication::processEvents();
      ASSERT_NE(dialog.Editor(), nullptr);
      EXPECT_EQ(dialog.Editor()->Frame().Name(), state.Frame);
      ExpectWidgetsShowTheModel(dialog);
      EXPECT_EQ(TolvexQt_GrabForm(ScreenshotPath("sim-editor-" + std::string(state.Name)).c_str()), 0);
    }
    QTest::keyClick(ShownDialog(), Qt::Key_Escape);
  });
  EXPECT_EQ(answer, mrCancel);
  EXPECT_EQ(User.Records().size(), 0u) << "a box was shown: " << User.Records().front().Box.Text;
}


// Each native action reaches the model exactly once: the handlers it runs, each once, and nothing
// from the pushes that show the model's answer (no echo) nor a second input for the same action.
TEST_F(QtSimEditor, NativeInputReachesTheModelOnceWithoutEcho) {
  using TDialog = TImplementationEditorDialog;
  struct TAction {
    const char* Name;
    std::function<void(TDialog&)> Do;
    std::map<std::string, int> Runs;  // handlers run by the action
    std::function<void(TDialog&)> Check;
  };
  const auto resistanceEdit = [](TDialog& d) {
    return static_cast<TEdit*>(d.FindComponent("ResistorImplEditorFrame.ResistanceEdit"));
  };
  const std::vector<TAction> actions = {
      {"typing two characters into an edit",
       [](TDialog& d) { QTest::keyClicks(WidgetOf<QLineEdit>(d.Edit_ModelName), "QN"); },
       {{"Edit_ModelName.OnChange", 2}},
       [](TDialog& d) { EXPECT_EQ(d.Edit_ModelName->Text(), "QN"); }},
      {"clicking a radio button",
       [](TDialog& d) { QTest::mouseClick(WidgetOf<QAbstractButton>(d.RadioButton_InFile), Qt::LeftButton); },
       {{"RadioButton_InFile.OnClick", 1}},
       [](TDialog& d) {
         EXPECT_TRUE(d.RadioButton_InFile->Checked());
         EXPECT_FALSE(WidgetOf<QAbstractButton>(d.RadioButton_Any)->isChecked());
       }},
      {"choosing a list item", [](TDialog& d) { ClickItem(d.ListBox_SubKinds, "Resistor"); },
       // The new frame's template is set from code, which fires the template editor's OnChange once.
       {{"ListBox_SubKinds.OnClick", 1}, {"Editor_Netlist.OnChange", 1}},
       [](TDialog& d) { EXPECT_EQ(d.Editor()->Frame().Name(), "ResistorImplEditorFrame"); }},
      {"typing into the frame's value edit",
       [=](TDialog& d) {
         ClickTab(d.TabControl_Main, "Parameters");
         auto* edit = WidgetOf<QLineEdit>(resistanceEdit(d));
         edit->selectAll();
         QTest::keyClicks(edit, "2k2");
       },
       {},
       [=](TDialog& d) { EXPECT_EQ(resistanceEdit(d)->Text(), "2k2"); }},
      {"leaving it with Tab runs its exit test once",
       [=](TDialog& d) { QTest::keyClick(WidgetOf<QLineEdit>(resistanceEdit(d)), Qt::Key_Tab); },
       {{"ResistanceEdit.OnExit", 1}},
       [=](TDialog& d) { EXPECT_FALSE(resistanceEdit(d)->Focused()); }},
      {"a bad value keeps the focus: one exit test, one box, the focus back in the edit",
       [=](TDialog& d) {
         auto* edit = WidgetOf<QLineEdit>(resistanceEdit(d));
         edit->setFocus(Qt::MouseFocusReason);
         QTest::keyClick(edit, Qt::Key_End);
         QTest::keyClicks(edit, "!");
         QTest::keyClick(edit, Qt::Key_Tab);
         QApplication::processEvents();
       },
       {{"ResistanceEdit.OnExit", 1}},
       [=](TDialog& d) {
         EXPECT_TRUE(resistanceEdit(d)->Focused());
         EXPECT_EQ(QApplication::focusWidget(), WidgetOf<QLineEdit>(resistanceEdit(d)));
       }},
      {"editing a pin-mapping cell in place",
       [=](TDialog& d) {
         resistanceEdit(d)->SetText("2k2");
         ClickTab(d.TabControl_Main, "Pin Mapping");
         auto* tree = WidgetOf<QTreeWidget>(d.TreeList_PinMapping);
         ASSERT_NE(tree, nullptr);
         const QRect cell = tree->visualRect(tree->model()->index(1, d.Column_PartPin->Index()));
         QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, cell.center());
         QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, cell.center());
         auto* editor = tree->viewport()->findChild<QComboBox*>();
         ASSERT_NE(editor, nullptr) << "no in-place editor";
         editor->setCurrentIndex(editor->findText("Not Connected"));
         QTest::keyClick(editor, Qt::Key_Return);
         QApplication::processEvents();
       },
       // Clicking into the list leaves the value edit: its exit test runs, once.
       {{"ResistanceEdit.OnExit", 1}, {"TreeList_PinMapping.OnEdited", 1}},
       [](TDialog& d) {
         EXPECT_EQ(d.TreeList_PinMapping->Cell(1, *d.Column_PartPin), "Not Connected");
         EXPECT_EQ(WidgetOf<QTreeWidget>(d.TreeList_PinMapping)->topLevelItem(1)->text(d.Column_PartPin->Index()),
                   "Not Connected");
       }},
  };
  TCountingObserver counter;
  const TModalResult answer = Edit(
      [&](TDialog& dialog) {
        for (const TAction& action : actions) {
          SCOPED_TRACE(action.Name);
          const std::map<std::string, int> before = counter.Runs;
          const std::size_t boxes = User.Records().size();
          action.Do(dialog);
          QApplication::processEvents();
          std::map<std::string, int> ran;
          for (const auto& [name, count] : counter.Runs) {
            const auto found = before.find(name);
            const int earlier = found == before.end() ? 0 : found->second;
            if (count != earlier) ran[name] = count - earlier;
          }
          EXPECT_EQ(ran, action.Runs);
          if (action.Check) action.Check(dialog);
          if (std::string(action.Name).find("one box") != std::string::npos)
            EXPECT_EQ(User.Records().size(), boxes + 1);
          else
            EXPECT_EQ(User.Records().size(), boxes);
          ExpectWidgetsShowTheModel(dialog);
        }
        EXPECT_EQ(counter.Closed, 0);
        QTest::keyClick(ShownDialog(), Qt::Key_Escape);
        EXPECT_EQ(counter.Closed, 1);
      },
      &counter);
  EXPECT_EQ(answer, mrCancel);
  EXPECT_EQ(counter.Closed, 1);
}

}  // namespace
}  // namespace tolvex::test
