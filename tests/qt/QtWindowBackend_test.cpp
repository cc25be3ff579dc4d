// The Qt window system on a small hand-built form: starting (and refusing to start without a display), the modal loop and its queue, native input through the one door, message boxes, screenshots.
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "os/posix/qt/TolvexQt.h"
#include "os/posix/user/TolvexUser.h"
#include "qt/QtTestSupport.h"
#include "ui/UiBackend.h"
#include "ui/UiTranscript.h"

extern char** environ;

namespace tolvex::test {
namespace {

using namespace ui;

// A value, a check box, two radio buttons, OK (default) and Cancel (Escape); an exit check on the
// value refuses "bad" by taking the focus back.
class TSmallForm final : public TForm {
 public:
  TSmallForm() {
    SetName("SmallForm");
    SetCaption("Small & plain");
    SetBounds({0, 0, 320, 160});
    Label_Value = Add<TLabel>("Label_Value", this);
    Label_Value->SetCaption("Value");
    Label_Value->SetBounds({8, 12, 0, 13});
    Edit_Value = Add<TEdit>("Edit_Value", this);
    Edit_Value->SetBounds({80, 8, 120, 21});
    Edit_Other = Add<TEdit>("Edit_Other", this);
    Edit_Other->SetBounds({80, 36, 120, 21});
    CheckBox_Keep = Add<TCheckBox>("CheckBox_Keep", this);
    CheckBox_Keep->SetCaption("Keep");
    CheckBox_Keep->SetBounds({8, 64, 100, 17});
    Radio_A = Add<TRadioButton>("Radio_A", this);
    Radio_A->SetCaption("A");
    Radio_A->SetBounds({8, 88, 60, 17});
    Radio_B = Add<TRadioButton>("Radio_B", this);
    Radio_B->SetCaption("B");
    Radio_B->SetBounds({80, 88, 60, 17});
    Radio_A->SetChecked(true);
    Button_OK = Add<TButton>("Button_OK", this);
    Button_OK->SetCaption("OK");
    Button_OK->SetBounds({150, 124, 75, 25});
    Button_OK->SetModalResult(mrOk);
    Button_OK->SetDefault(true);
    Button_Cancel = Add<TButton>("Button_Cancel", this);
    Button_Cancel->SetCaption("Cancel");
    Button_Cancel->SetBounds({234, 124, 75, 25});
    Button_Cancel->SetModalResult(mrCancel);
    Button_Cancel->SetCancel(true);
    Edit_Value->OnChange = [this](TControl&) { ++Changes; };
    Edit_Value->OnExit = [this](TControl&) {
      ++Exits;
      if (Edit_Value->Text() == "bad") Edit_Value->SetFocus();
    };
  }
  TLabel* Label_Value;
  TEdit* Edit_Value;
  TEdit* Edit_Other;
  TCheckBox* CheckBox_Keep;
  TRadioButton* Radio_A;
  TRadioButton* Radio_B;
  TButton* Button_OK;
  TButton* Button_Cancel;
  int Changes = 0;
  int Exits = 0;
};

template <class T>
T* WidgetOf(const TControl& control) {
  const auto widgets = WidgetsOfShownForm();
  const auto found = widgets.find(&control);
  return found == widgets.end() ? nullptr : qobject_cast<T*>(found->second);
}

// Runs Form in the Qt window system with Player standing in for the person.
TModalResult RunInQt(TForm& form, const std::function<void()>& player) {
  return QtBackend().RunModal(form, form.OwnerWindow(), player);
}

TEST(QtWindowSystem, RegistersABackendOfThisBuildThatThePlugInAccepts) {
  TWindowBackend& backend = QtBackend();
  EXPECT_EQ(std::string(backend.AbiTag()), UiAbiTag());
  // The plug-in's side of the seam: the registered window system is taken.
  EXPECT_EQ(CurrentWindowBackend(), &backend);
}

TEST(QtWindowSystem, APlainFormTakesTypingClicksAndEnterThroughTheOneDoor) {
  QtBackend();
  TSmallForm form;
  form.SetOwnerWindow(MainWindowHandle);
  const TModalResult answer = RunInQt(form, [&] {
    QWidget* dialog = ShownDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Small & plain");
    EXPECT_EQ(dialog->size(), QSize(320, 160));
    EXPECT_TRUE(dialog->isModal());
    auto* edit = WidgetOf<QLineEdit>(*form.Edit_Value);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->geometry(), QRect(80, 8, 120, 21));
    QTest::keyClicks(edit, "4k7");
    EXPECT_EQ(form.Edit_Value->Text(), "4k7");
    EXPECT_EQ(form.Changes, 3);  // one OnChange a keystroke: no echo of the pushed text
    QTest::mouseClick(WidgetOf<QCheckBox>(*form.CheckBox_Keep), Qt::LeftButton);
    EXPECT_TRUE(form.CheckBox_Keep->Checked());
    QTest::mouseClick(WidgetOf<QRadioButton>(*form.Radio_B), Qt::LeftButton);
    EXPECT_TRUE(form.Radio_B->Checked());
    EXPECT_FALSE(form.Radio_A->Checked());
    EXPECT_FALSE(WidgetOf<QRadioButton>(*form.Radio_A)->isChecked());
    // Clicking the checked radio button again changes nothing, in the model or on the screen.
    QTest::mouseClick(WidgetOf<QRadioButton>(*form.Radio_B), Qt::LeftButton);
    EXPECT_TRUE(WidgetOf<QRadioButton>(*form.Radio_B)->isChecked());
    EXPECT_EQ(form.Exits, 1);  // the first click left the edit
    QTest::keyClick(WidgetOf<QRadioButton>(*form.Radio_B), Qt::Key_Return);
  });
  EXPECT_EQ(answer, mrOk);
  EXPECT_TRUE(form.Closed());
  EXPECT_EQ(ShownDialog(), nullptr);  // the dialog is gone
  EXPECT_EQ(form.Observer(), nullptr);
}

}  // namespace
}  // namespace tolvex::test
