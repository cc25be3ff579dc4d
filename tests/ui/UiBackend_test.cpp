// The backend seam: which backend the scope has, and how the headless one runs a modal form.
#include "ui/UiBackend.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "ui/Controls.h"

namespace tolvex::ui {
namespace {

bool PlatformIsCurrent() { return dynamic_cast<TPlatformUiBackend*>(&CurrentUiBackend()) != nullptr; }

TEST(ScopedUiBackend, NestedScopesRestoreInOrder) {
  THeadlessUiBackend outer, inner;
  ASSERT_TRUE(PlatformIsCurrent());
  {
    TScopedUiBackend outerScope(outer);
    EXPECT_EQ(&CurrentUiBackend(), &outer);
    {
      TScopedUiBackend innerScope(inner);
      EXPECT_EQ(&CurrentUiBackend(), &inner);
      ShowModalMessageBox({});
    }
    EXPECT_EQ(&CurrentUiBackend(), &outer);
    ShowModalMessageBox({});
  }
  EXPECT_TRUE(PlatformIsCurrent());
  // Each box went to the backend of its own scope only.
  EXPECT_EQ(inner.Records().size(), 1u);
  EXPECT_EQ(outer.Records().size(), 1u);
}

TEST(ScopedUiBackend, AnExceptionUnwindingTheScopeRestoresThePrevious) {
  THeadlessUiBackend outer, inner;
  TScopedUiBackend outerScope(outer);
  EXPECT_THROW(
      {
        TScopedUiBackend innerScope(inner);
        throw std::runtime_error("a handler failed");
      },
      std::runtime_error);
  EXPECT_EQ(&CurrentUiBackend(), &outer);
}

TEST(ScopedUiBackend, AScopeEndingOutOfOrderOnlyTakesItselfOut) {
  THeadlessUiBackend inner;
  auto outer = std::make_unique<THeadlessUiBackend>();
  auto outerScope = std::make_unique<TScopedUiBackend>(*outer);
  auto innerScope = std::make_unique<TScopedUiBackend>(inner);
  outerScope.reset();
  outer.reset();
  EXPECT_EQ(&CurrentUiBackend(), &inner);
  // Ending the inner scope must not bring back the backend that is gone.
  innerScope.reset();
  EXPECT_TRUE(PlatformIsCurrent());
}

// A form with OK and Cancel buttons whose OnCloseQuery may ask first.
struct TSmallForm {
  TForm Form;
  TButton* Button_OK = Form.Add<TButton>("Button_OK", &Form);
  TButton* Button_Cancel = Form.Add<TButton>("Button_Cancel", &Form);
  TSmallForm() {
    Button_OK->SetModalResult(mrOk);
    Button_Cancel->SetModalResult(mrCancel);
  }
};

TUserInput Click(const char* target) {
  TUserInput input;
  input.Kind = uiClick;
  input.Target = target;
  return input;
}

TEST(PlatformUiBackend, RunModalWithoutAWindowBackendCancelsAndLeavesTheFormAsItWas) {
  TSmallForm f;
  TPlatformUiBackend platform;
  EXPECT_EQ(platform.RunModal(f.Form), mrCancel);
  EXPECT_FALSE(f.Form.Closed());
  EXPECT_EQ(f.Form.ModalResult(), mrNone);
}

TEST(HeadlessUiBackend, RunModalPlaysTheQueuedInputAndGivesTheFormsModalResult) {
  struct TCase {
    const char* Name;
    THeadlessUiBackend::TFormPlayer Player;  // none: nothing queued
    bool RefuseToClose;
    TModalResult Expected;
    bool ClosedAfter;
  };
  const TCase cases[] = {
      {"OK clicked", [](TForm& form) { form.Input(Click("Button_OK")); }, false, mrOk, true},
      {"Cancel clicked", [](TForm& form) { form.Input(Click("Button_Cancel")); }, false, mrCancel, true},
      {"nothing queued: the close box", nullptr, false, mrCancel, true},
      {"the player leaves the form open: the close box", [](TForm&) {}, false, mrCancel, true},
      {"OnCloseQuery keeps it open", [](TForm& form) { form.Input(Click("Button_OK")); }, true, mrCancel, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TSmallForm f;
    if (c.RefuseToClose) f.Form.OnCloseQuery = [](TForm&, bool& canClose) { canClose = false; };
    THeadlessUiBackend backend;
    TScopedUiBackend scope(backend);
    if (c.Player) backend.QueueFormPlayer(c.Player);
    EXPECT_EQ(RunModal(f.Form), c.Expected);
    EXPECT_EQ(f.Form.Closed(), c.ClosedAfter);
    ASSERT_EQ(backend.FormRecords().size(), 1u);
    EXPECT_EQ(backend.FormRecords()[0].Form, &f.Form);
    EXPECT_EQ(backend.FormRecords()[0].Answer, c.Expected);
  }
}

TEST(HeadlessUiBackend, BoxesAskedWhileAFormRunsAreAnsweredFromTheSameScript) {
  TSmallForm f;
  f.Form.OnCloseQuery = [](TForm&, bool& canClose) {
    TMessageBoxContent box;
    box.Caption = "Confirm";
    box.Text = "Discard the changes?";
    box.Buttons = mbbYesNo;
    box.DefaultButton = mrYes;
    box.EscapeButton = mrNo;
    canClose = ShowModalMessageBox(box) == mrYes;
  };
  THeadlessUiBackend backend;
  TScopedUiBackend scope(backend);
  backend.QueueAnswer(mrNo);  // first close refused: the form stays open for more input
  backend.QueueFormPlayer([](TForm& form) {
    form.Input(Click("Button_OK"));
    EXPECT_FALSE(form.Closed());
    form.Input(Click("Button_OK"));  // the queue is empty now: the box's default, Yes
  });
  EXPECT_EQ(RunModal(f.Form), mrOk);
  EXPECT_TRUE(f.Form.Closed());
  ASSERT_EQ(backend.Records().size(), 2u);
  EXPECT_EQ(backend.Records()[0].Answer, mrNo);
  EXPECT_EQ(backend.Records()[1].Answer, mrYes);
}

}  // namespace
}  // namespace tolvex::ui
