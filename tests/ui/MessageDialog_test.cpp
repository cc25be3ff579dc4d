// The headless message-box presenter: what it records and how it answers.
#include "ui/MessageDialog.h"

#include <gtest/gtest.h>

namespace tolvex::ui {
namespace {

TMessageBoxContent YesNoBox() {
  TMessageBoxContent box;
  box.Caption = "Confirm";
  box.Text = "Go?";
  box.Icon = os::mbiQuestion;
  box.Buttons = os::mbbYesNo;
  box.DefaultButton = os::mrYes;
  box.EscapeButton = os::mrNo;
  return box;
}

TEST(HeadlessMessageBoxPresenter, AnswersFromTheScriptThenWithTheDefault) {
  THeadlessMessageBoxPresenter presenter;
  presenter.QueueAnswer(os::mrNo);
  EXPECT_EQ(presenter.Present(YesNoBox()), os::mrNo);
  EXPECT_EQ(presenter.Present(YesNoBox()), os::mrYes);
  ASSERT_EQ(presenter.Records().size(), 2u);
  EXPECT_EQ(presenter.Records()[0].Box.Caption, "Confirm");
  EXPECT_EQ(presenter.Records()[1].Answer, os::mrYes);
}

TEST(HeadlessMessageBoxPresenter, AnAnswerThatIsNoButtonOfTheBoxCountsAsEscape) {
  THeadlessMessageBoxPresenter presenter;
  presenter.QueueAnswer(os::mrOk);
  EXPECT_EQ(presenter.Present(YesNoBox()), os::mrNo);
}

TEST(MessageBoxButtons, CaptionsInDisplayOrder) {
  EXPECT_EQ(ButtonCaptions(os::mbbOk), (std::vector<std::string>{"OK"}));
  EXPECT_EQ(ButtonCaptions(os::mbbOkCancel), (std::vector<std::string>{"OK", "Cancel"}));
  EXPECT_EQ(ButtonCaptions(os::mbbYesNo), (std::vector<std::string>{"Yes", "No"}));
}

}  // namespace
}  // namespace tolvex::ui
