// Message boxes of the toolkit: how a scripted user answers, what the headless backend records, the buttons' captions.
#include "ui/MessageDialog.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ui/UiBackend.h"

namespace tolvex::ui {
namespace {

TMessageBoxContent Box(TMessageBoxButtons buttons, TModalResult defaultButton, TModalResult escapeButton) {
  TMessageBoxContent box;
  box.Caption = "Confirm";
  box.Text = "Go?";
  box.Icon = mbiQuestion;
  box.Buttons = buttons;
  box.DefaultButton = defaultButton;
  box.EscapeButton = escapeButton;
  return box;
}

TEST(ScriptedAnswer, DefaultWithoutAnswerTheAnswerWhenItIsAButtonElseEscape) {
  const TMessageBoxContent ok = Box(mbbOk, mrOk, mrOk);
  const TMessageBoxContent okCancel = Box(mbbOkCancel, mrOk, mrCancel);
  const TMessageBoxContent yesNo = Box(mbbYesNo, mrYes, mrNo);
  // Boxes whose default is not their first button, so the default does not pass for "the first".
  const TMessageBoxContent okCancelDefaultCancel = Box(mbbOkCancel, mrCancel, mrCancel);
  const TMessageBoxContent yesNoDefaultNo = Box(mbbYesNo, mrNo, mrNo);
  struct TCase {
    const char* Name;
    const TMessageBoxContent& Box;
    std::optional<TModalResult> Scripted;
    TModalResult Expected;
  };
  const TCase cases[] = {
      {"OK: no answer", ok, std::nullopt, mrOk},
      {"OK: OK", ok, mrOk, mrOk},
      {"OK: Cancel is no button", ok, mrCancel, mrOk},
      {"OK: Yes is no button", ok, mrYes, mrOk},
      {"OK: None", ok, mrNone, mrOk},
      {"OK/Cancel: no answer", okCancel, std::nullopt, mrOk},
      {"OK/Cancel: OK", okCancel, mrOk, mrOk},
      {"OK/Cancel: Cancel", okCancel, mrCancel, mrCancel},
      {"OK/Cancel: Yes is no button", okCancel, mrYes, mrCancel},
      {"OK/Cancel: None", okCancel, mrNone, mrCancel},
      {"OK/Cancel, default Cancel: no answer", okCancelDefaultCancel, std::nullopt, mrCancel},
      {"Yes/No: no answer", yesNo, std::nullopt, mrYes},
      {"Yes/No: Yes", yesNo, mrYes, mrYes},
      {"Yes/No: No", yesNo, mrNo, mrNo},
      {"Yes/No: OK is no button", yesNo, mrOk, mrNo},
      {"Yes/No: Cancel is no button", yesNo, mrCancel, mrNo},
      {"Yes/No: a code of no button at all", yesNo, static_cast<TModalResult>(5), mrNo},
      {"Yes/No, default No: no answer", yesNoDefaultNo, std::nullopt, mrNo},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(ScriptedAnswer(c.Box, c.Scripted), c.Expected);
  }
}

TEST(HeadlessUiBackend, AnswersBoxesFromTheQueueThenWithTheDefaultAndRecordsEach) {
  THeadlessUiBackend backend;
  backend.QueueAnswer(mrNo);
  backend.QueueAnswer(mrOk);  // no button of a Yes/No box: Escape
  EXPECT_EQ(backend.PresentMessageBox(Box(mbbYesNo, mrYes, mrNo)), mrNo);
  EXPECT_EQ(backend.PresentMessageBox(Box(mbbYesNo, mrYes, mrNo)), mrNo);
  EXPECT_EQ(backend.PresentMessageBox(Box(mbbYesNo, mrYes, mrNo)), mrYes);
  ASSERT_EQ(backend.Records().size(), 3u);
  EXPECT_EQ(backend.Records()[0].Box.Caption, "Confirm");
  EXPECT_EQ(backend.Records()[1].Answer, mrNo);
  EXPECT_EQ(backend.Records()[2].Answer, mrYes);
}

TEST(HeadlessUiBackend, ShowModalMessageBoxGoesThroughTheInstalledBackend) {
  THeadlessUiBackend backend;
  TScopedUiBackend scope(backend);
  backend.QueueAnswer(mrCancel);
  EXPECT_EQ(ShowModalMessageBox(Box(mbbOkCancel, mrOk, mrCancel)), mrCancel);
  ASSERT_EQ(backend.Records().size(), 1u);
  EXPECT_EQ(backend.Records()[0].Box.Buttons, mbbOkCancel);
}

TEST(MessageBoxButtons, CaptionsInDisplayOrder) {
  EXPECT_EQ(ButtonCaptions(mbbOk), (std::vector<std::string>{"OK"}));
  EXPECT_EQ(ButtonCaptions(mbbOkCancel), (std::vector<std::string>{"OK", "Cancel"}));
  EXPECT_EQ(ButtonCaptions(mbbYesNo), (std::vector<std::string>{"Yes", "No"}));
}

}  // namespace
}  // namespace tolvex::ui
