// The Qt window system on a small hand-built form: starting (and refusing to start without a display), the modal loop and its queue, native input through the one door, message boxes, screenshots.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "os/posix/qt/TolvexQt.h"
#include "os/posix/user/TolvexUser.h"
#include "qt/QtTestSupport.h"
#include "ui/Drawing.h"
#include "ui/UiBackend.h"
#include "ui/UiTranscript.h"

extern char** environ;

namespace tolvex::test {
namespace {

using namespace ui;

// What an outside form paints into an external-form panel: a filled box and a caption; it may ask
// for a redraw from inside its own painting, as a careless painter does.
class TBoxContent final : public TPanelContent {
 public:
  std::string Name() const override { return "box"; }
  bool Paint(TDrawing& drawing) const override {
    ++Paints;
    TShape box;
    box.Kind = shRectangle;
    box.Points = {{4, 4}, {40, 30}};
    box.Fill = Fill;
    drawing.Shapes.push_back(box);
    TShape text;
    text.Kind = shText;
    text.Points = {{50, 20}};
    text.Text = "Q1";
    text.FontHeight = 11;
    drawing.Shapes.push_back(text);
    if (RedrawWhilePainting && Panel != nullptr) Panel->Redraw();
    return true;
  }
  TRgb Fill = 0xFF0000;
  bool RedrawWhilePainting = false;
  TExternalFormPanel* Panel = nullptr;
  mutable int Paints = 0;
};

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
    Button_Cancel->SetAnchors(akRight | akBottom);
    OnResize = [this](TControl&) { ++Resizes; };
    Button_Add = Add<TButton>("Button_Add", this);
    Button_Add->SetCaption("&Add");
    Button_Add->SetBounds({8, 124, 60, 25});
    Button_Add->OnClick = [this](TControl&) {
      if (TLabel* added = Add<TLabel>("Label_New", this)) {
        added->SetCaption("made while shown");
        added->SetBounds({210, 12, 0, 13});
      }
    };
    Menu_Other = Add<TPopupMenu>("Menu_Other", this);
    Item_Strict = Menu_Other->AddItem("Item_Strict", "Strict");
    Item_Strict->SetAutoCheck(true);
    Item_Strict->OnClick = [this](TControl&) { ++Picks; };
    Menu_Other->OnPopup = [this](TControl&) { ++Popups; };
    Edit_Other->SetPopupMenu(Menu_Other);
    Panel_Drawing = Add<TExternalFormPanel>("Panel_Drawing", this);
    Panel_Drawing->SetBounds({210, 36, 100, 80});
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
  TButton* Button_Add;
  TPopupMenu* Menu_Other;
  TMenuItem* Item_Strict;
  TExternalFormPanel* Panel_Drawing;
  int Changes = 0;
  int Picks = 0;
  int Resizes = 0;
  int Popups = 0;
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
  return QtBackend().RunModal(form, form.OwnerWindow(), [&] {
    WaitUntilActive();
    player();
  });
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


// A child process that has no window system yet tries to start one where none can open: the call
// fails with the reason instead of Qt ending the process, and nothing is registered.
TEST(QtWindowSystemStart, RefusesWhereNoDisplayOpensAndTheProcessLivesOn) {
  if (std::getenv("TOLVEX_QT_START_CHILD") == nullptr) {
    // The child's output, for the failure message.
    std::string output = ScreenshotPath("start-child");
    output.replace(output.size() - 4, 4, ".log");
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::string filter = "--gtest_filter=QtWindowSystemStart.*";
    char* arguments[] = {self.data(), filter.data(), nullptr};
    std::vector<std::string> variables{"TOLVEX_QT_START_CHILD=1"};
    for (char** e = environ; *e != nullptr; ++e) variables.emplace_back(*e);
    std::vector<char*> environment;
    for (std::string& v : variables) environment.push_back(v.data());
    environment.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, self.c_str(), &actions, nullptr, arguments, environment.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    std::ifstream log(output);
    const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child's run:\n" << text;
    return;
  }
  struct TCase {
    const char* Name;
    std::vector<std::pair<const char*, const char*>> Environment;  // a null value unsets
    int ErrorSize;
    const char* Reason;
  };
  const std::vector<TCase> cases = {
      {"no display at all", {{"QT_QPA_PLATFORM", nullptr}, {"DISPLAY", nullptr}, {"WAYLAND_DISPLAY", nullptr}}, 512,
       "no display to open windows on"},
      {"a display nobody serves", {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ":97"}, {"WAYLAND_DISPLAY", nullptr}}, 512,
       "cannot open a display"},
      {"a platform that is not installed", {{"QT_QPA_PLATFORM", "nosuchplatform"}}, 512, "cannot open a display"},
      {"an error buffer of 8 bytes", {{"QT_QPA_PLATFORM", nullptr}, {"DISPLAY", nullptr}, {"WAYLAND_DISPLAY", nullptr}},
       8, "no disp"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    for (const auto& [name, value] : c.Environment) {
      if (value != nullptr) setenv(name, value, 1);
      else unsetenv(name);
    }
    std::vector<char> error(static_cast<std::size_t>(c.ErrorSize) + 8, 'X');
    EXPECT_NE(TolvexQt_Start(MainWindowHandle, "refused", error.data(), c.ErrorSize), 0);
    const std::string message(error.data());
    EXPECT_NE(message.find(c.Reason), std::string::npos) << message;
    EXPECT_LT(message.size(), static_cast<std::size_t>(c.ErrorSize));
    EXPECT_EQ(error[static_cast<std::size_t>(c.ErrorSize)], 'X');  // nothing written past the buffer
    EXPECT_EQ(TvxGetWindowBackend(), nullptr);
    EXPECT_EQ(QCoreApplication::instance(), nullptr);
  }
}

TEST(QtWindowSystem, MessageBoxesAnswerWithTheButtonTheUserPressesAndKeepTheQueueMoving) {
  QtBackend();
  struct TCase {
    const char* Name;
    int Icon, Buttons, Default, Escape;
    Qt::Key Key;  // pressed in the box; Qt::Key_unknown closes it with its close box
    QStringList Captions;
    int Expected;
  };
  const std::vector<TCase> cases = {
      {"error-ok", 1, 0, 1, 1, Qt::Key_Return, {"OK"}, 1},
      {"warning-ok-cancel-enter-default-cancel", 4, 1, 2, 2, Qt::Key_Return, {"OK", "Cancel"}, 2},
      {"question-yes-no-enter", 3, 2, 6, 7, Qt::Key_Return, {"Yes", "No"}, 6},
      {"question-yes-no-escape", 3, 2, 6, 7, Qt::Key_Escape, {"Yes", "No"}, 7},
      {"information-ok-close-box", 2, 0, 1, 1, Qt::Key_unknown, {"OK"}, 1},
      // An Escape answer that no button carries is still what Escape gives.
      {"yes-no-escape-cancel", 3, 2, 7, 2, Qt::Key_Escape, {"Yes", "No"}, 2},
  };
  struct TDispatched {
    int Count = 0;
  } dispatched;
  TvxSetThreadDispatcher([](void* context, const TvxMessage*) { ++static_cast<TDispatched*>(context)->Count; },
                         &dispatched);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string text = std::string("Save & close \"") + c.Name + "\"?\rThe text is plain: <b>not bold</b>.";
    const TvxMessageBox box{MainWindowHandle, "Tolvex & friends", text.c_str(), c.Icon, c.Buttons, c.Default, c.Escape};
    const int before = dispatched.Count;
    TvxPostMessage(0, 0x8001, 0, 0);
    bool looked = false;
    QTimer::singleShot(0, [&] {
      auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (shown == nullptr) return;  // no box: the answer check below fails
      looked = true;
      QTest::qWait(30);  // the host's message waiting in the queue is dispatched meanwhile
      EXPECT_EQ(dispatched.Count, before + 1);
      EXPECT_EQ(shown->windowTitle(), "Tolvex & friends");
      EXPECT_EQ(shown->text(), QString::fromStdString(text).replace('\r', '\n'));
      EXPECT_EQ(shown->textFormat(), Qt::PlainText);
      QStringList captions;
      for (QAbstractButton* button : shown->buttons()) captions.push_back(button->text());
      captions.sort();
      QStringList expected = c.Captions;
      expected.sort();
      EXPECT_EQ(captions, expected);
      EXPECT_EQ(TolvexQt_GrabForm(ScreenshotPath(std::string("box-") + c.Name).c_str()), 0);
      if (c.Key == Qt::Key_unknown) shown->close();
      else QTest::keyClick(QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : shown, c.Key);
    });
    EXPECT_EQ(TolvexQt_MessageBox(&box), c.Expected);
    EXPECT_TRUE(looked);
  }
  TvxSetThreadDispatcher(nullptr, nullptr);
  EXPECT_EQ(TolvexQt_MessageBox(nullptr), 0);
}

// Without a player the window waits for the person and the host: a message posted meanwhile is
// dispatched, and only the model closes the form (the close box and Escape are input like any other).
TEST(QtWindowSystem, TheModalLoopEndsWhenTheModelClosesTheForm) {
  QtBackend();
  struct TCase {
    const char* Name;
    std::function<void(TSmallForm&)> Act;  // from a host message dispatched while the window shows
    bool RefuseClose;
    TModalResult Expected;
  };
  const std::vector<TCase> cases = {
      {"close box", [](TSmallForm&) { ShownDialog()->close(); }, false, mrCancel},
      {"escape", [](TSmallForm&) { QTest::keyClick(ShownDialog(), Qt::Key_Escape); }, false, mrCancel},
      {"a host command clicks OK from code", [](TSmallForm& f) { f.Button_OK->Click(); }, false, mrOk},
      {"a refused close box leaves the window open until OK",
       [](TSmallForm& f) {
         ShownDialog()->close();
         QTest::qWait(20);
         EXPECT_NE(ShownDialog(), nullptr);
         EXPECT_FALSE(f.Closed());
         f.OnCloseQuery = nullptr;
         QTest::mouseClick(WidgetOf<QPushButton>(*f.Button_OK), Qt::LeftButton);
       },
       true, mrOk},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TSmallForm form;
    if (c.RefuseClose) form.OnCloseQuery = [](TForm& f, bool& canClose) { canClose = f.ModalResult() != mrCancel; };
    struct TContext {
      const TCase* Case;
      TSmallForm* Form;
    } context{&c, &form};
    TvxSetThreadDispatcher(
        [](void* raw, const TvxMessage*) {
          auto* context = static_cast<TContext*>(raw);
          context->Case->Act(*context->Form);
        },
        &context);
    TvxPostMessage(0, 0x8002, 0, 0);
    EXPECT_EQ(QtBackend().RunModal(form, 0, {}), c.Expected);
    TvxSetThreadDispatcher(nullptr, nullptr);
    EXPECT_TRUE(form.Closed());
    EXPECT_EQ(ShownDialog(), nullptr);
  }
}

TEST(QtWindowSystem, AHandlersExceptionEndsTheLoopAndIsHandedBackAfterTheWidgetsAreGone) {
  QtBackend();
  TSmallForm form;
  form.Button_Add->OnClick = [](TControl&) { throw std::runtime_error("the handler failed"); };
  EXPECT_THROW(RunInQt(form, [&] { QTest::mouseClick(WidgetOf<QPushButton>(*form.Button_Add), Qt::LeftButton); }),
               std::runtime_error);
  EXPECT_EQ(ShownDialog(), nullptr);
  EXPECT_EQ(form.Observer(), nullptr);
  // A player's own exception likewise.
  TSmallForm other;
  EXPECT_THROW(RunInQt(other, [] { throw std::logic_error("the player failed"); }), std::logic_error);
  EXPECT_EQ(ShownDialog(), nullptr);
}

TEST(QtWindowSystem, WidgetsFollowTheModelWhateverTheUserDid) {
  QtBackend();
  TSmallForm form;
  const std::string longText(40000, 'a');
  form.Edit_Other->SetText(longText);
  const TModalResult answer = RunInQt(form, [&] {
    // A long text is shown whole, and a keystroke at its end loses nothing of it.
    auto* other = WidgetOf<QLineEdit>(*form.Edit_Other);
    EXPECT_EQ(other->text().size(), 40000);
    other->end(false);
    QTest::keyClicks(other, "b");
    EXPECT_EQ(form.Edit_Other->Text().size(), longText.size() + 1);
    EXPECT_TRUE(form.Edit_Other->Text() == longText + "b");

    // A refused focus move: the exit test runs once, the click on OK that caused it does not
    // happen, and the focus goes back to the edit.
    auto* value = WidgetOf<QLineEdit>(*form.Edit_Value);
    value->setFocus(Qt::MouseFocusReason);
    QTest::keyClicks(value, "bad");
    const int exits = form.Exits;
    QTest::mouseClick(WidgetOf<QPushButton>(*form.Button_OK), Qt::LeftButton);

    QApplication::processEvents();
    EXPECT_EQ(form.Exits, exits + 1);
    EXPECT_FALSE(form.Closed());
    EXPECT_TRUE(form.Edit_Value->Focused());
    EXPECT_EQ(QApplication::focusWidget(), value);
    QTest::keyClick(value, Qt::Key_Backspace);
    EXPECT_EQ(form.Edit_Value->Text(), "ba");

    // A control made while the window shows gets its widget; one freed loses it.
    QTest::mouseClick(WidgetOf<QPushButton>(*form.Button_Add), Qt::LeftButton);
    const TControl* added = form.FindComponent("Label_New");
    ASSERT_NE(added, nullptr);
    auto* label = WidgetOf<QLabel>(*added);
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(label->isVisible());
    EXPECT_EQ(label->text(), "made while shown");
    QPointer<QWidget> goneWidget = WidgetOf<QLabel>(*form.Label_Value);
    ASSERT_FALSE(goneWidget.isNull());
    form.RemoveComponent(*form.Label_Value).reset();
    EXPECT_TRUE(goneWidget.isNull() || goneWidget->isHidden());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(goneWidget.isNull());

    // The popup menu on a right click: OnPopup, then the item picked checks itself and runs once.
    QTimer::singleShot(0, [] {
      QWidget* menu = QApplication::activePopupWidget();
      if (menu == nullptr) return;
      QTest::keyClick(menu, Qt::Key_Down);
      QTest::keyClick(menu, Qt::Key_Return);
    });
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(5, 5), other->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(other, &rightClick);
    EXPECT_EQ(form.Popups, 1);
    EXPECT_EQ(form.Picks, 1);
    EXPECT_TRUE(form.Item_Strict->Checked());
    EXPECT_EQ(TolvexQt_GrabForm(ScreenshotPath("small-form").c_str()), 0);

    // The user resizes the window: the model takes the new size and its anchored buttons move.
    ShownDialog()->resize(400, 200);
    QApplication::processEvents();
    EXPECT_EQ(form.ClientWidth(), 400);
    EXPECT_EQ(form.ClientHeight(), 200);
    EXPECT_EQ(form.Resizes, 1);
    EXPECT_EQ(form.Button_Cancel->Bounds(), (TRect{314, 164, 75, 25}));
    EXPECT_EQ(WidgetOf<QPushButton>(*form.Button_Cancel)->geometry(), QRect(314, 164, 75, 25));
    QTest::keyClick(ShownDialog(), Qt::Key_Escape);
  });
  EXPECT_EQ(answer, mrCancel);
}


// An external form's drawing is shown in its panel, drawn again when the content changes or asks,
// and a painter that asks for a redraw while it paints is not painted again and again.
TEST(QtWindowSystem, AnExternalFormPanelShowsWhatItsContentDraws) {
  QtBackend();
  TSmallForm form;
  auto content = std::make_shared<TBoxContent>();
  content->Panel = form.Panel_Drawing;
  const TModalResult answer = RunInQt(form, [&] {
    QWidget* panel = WidgetOf<QWidget>(*form.Panel_Drawing);
    ASSERT_NE(panel, nullptr);
    const auto colourAt = [&](int x, int y) {
      QApplication::processEvents();
      return panel->grab().toImage().pixelColor(x, y);
    };
    const QColor empty = colourAt(20, 16);
    form.Panel_Drawing->SetContent(content);
    EXPECT_EQ(colourAt(20, 16), QColor(255, 0, 0));
    content->Fill = 0x0000FF;
    form.Panel_Drawing->Redraw();
    EXPECT_EQ(colourAt(20, 16), QColor(0, 0, 255));
    content->RedrawWhilePainting = true;
    const int paints = content->Paints;
    content->Fill = 0x00FF00;
    form.Panel_Drawing->Redraw();
    EXPECT_EQ(colourAt(20, 16), QColor(0, 255, 0));
    EXPECT_EQ(content->Paints, paints + 1);
    content->RedrawWhilePainting = false;
    form.Panel_Drawing->SetContent(nullptr);
    EXPECT_EQ(colourAt(20, 16), empty);
    form.Panel_Drawing->SetContent(content);
    EXPECT_EQ(TolvexQt_GrabForm(ScreenshotPath("small-form-drawing").c_str()), 0);
    QTest::keyClick(ShownDialog(), Qt::Key_Escape);
  });
  EXPECT_EQ(answer, mrCancel);
}

}  // namespace
}  // namespace tolvex::test
