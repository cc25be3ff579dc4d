// Forms played from scripts the host queued in libtolvex_user.so: order, the streamed transcript, write-backs, common dialogs left to the host and the queue pumped between steps.
#include "ui/UiBackend.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "os/Os.h"
#include "os/posix/user/TolvexUser.h"
#include "ui/Controls.h"
#include "ui/UiScript.h"
#include "ui/UiTranscript.h"

namespace tolvex::ui {
namespace {

// An edit, a button that asks Yes or No, one that asks the host's common dialog, one that posts a
// message to PostTo, and OK and Cancel.
struct TAutomatedForm {
  TForm Form;
  TEdit* Edit_Value = Form.Add<TEdit>("Edit_Value", &Form);
  TEdit* Edit_Path = Form.Add<TEdit>("Edit_Path", &Form);
  TButton* Button_Ask = Form.Add<TButton>("Button_Ask", &Form);
  TButton* Button_Browse = Form.Add<TButton>("Button_Browse", &Form);
  TButton* Button_Post = Form.Add<TButton>("Button_Post", &Form);
  TButton* Button_OK = Form.Add<TButton>("Button_OK", &Form);
  TButton* Button_Cancel = Form.Add<TButton>("Button_Cancel", &Form);
  std::intptr_t PostTo = 0;

  TAutomatedForm() {
    Button_Ask->OnClick = [this](TControl&) {
      TMessageBoxContent box;
      box.Caption = "Confirm";
      box.Text = "Keep it?";
      box.Buttons = mbbYesNo;
      box.DefaultButton = mrYes;
      box.EscapeButton = mrNo;
      Edit_Value->SetText(ModalResultName(ShowModalMessageBox(box)));
    };
    Button_Browse->OnClick = [this](TControl&) {
      const std::optional<TCommonDialogAnswer> answer = PresentCommonDialog({"DDBBrowser", "Choose"});
      Edit_Path->SetText(!answer ? "host" : answer->Chosen ? answer->Path : "cancelled");
    };
    Button_Post->OnClick = [this](TControl&) { os::PostWindowMessage(PostTo, os::WM_USER_MESSAGE, 7, 0); };
    Button_OK->SetModalResult(mrOk);
    Button_OK->SetDefault(true);
    Button_Cancel->SetModalResult(mrCancel);
    Button_Cancel->SetCancel(true);
  }
};

// The host's side of the channel: the lines the sink got, and the boxes that reached the platform.
class PlatformUiBackendScripts : public ::testing::Test {
 protected:
  void SetUp() override {
    TvxClearFormScripts();
    TvxSetFormTranscriptSink(
        [](void* context, const char* line, size_t length) {
          static_cast<PlatformUiBackendScripts*>(context)->Lines.emplace_back(line, length);
        },
        this);
    TvxSetMessageBoxPresenter(
        [](void* context, const TvxMessageBox* box) {
          ++static_cast<PlatformUiBackendScripts*>(context)->PlatformBoxes;
          return box->defaultResult;
        },
        this);
  }
  void TearDown() override {
    TvxClearFormScripts();
    TvxSetFormTranscriptSink(nullptr, nullptr);
    TvxSetMessageBoxPresenter(nullptr, nullptr);
  }
  static void Queue(const std::string& name, const std::string& text) {
    TvxQueueFormScript(name.c_str(), text.data(), text.size());
  }

  std::vector<std::string> Lines;
  int PlatformBoxes = 0;
};

TEST_F(PlatformUiBackendScripts, PlaysTheHostsScriptsInOrderAndStreamsTheirTranscripts) {
  ASSERT_TRUE(dynamic_cast<TPlatformUiBackend*>(&CurrentUiBackend()) != nullptr);
  Queue("first.script", "type Edit_Value abc\nanswer No\nclick Button_Ask\nok\n");
  Queue("second.script", "bogus step\n");

  TAutomatedForm first;
  EXPECT_EQ(RunModal(first.Form), mrOk);
  // The dialog writes back after RunModal returned: the lines still reach the host, after the result.
  ReportWriteBack(first.Form, "Value", first.Edit_Value->Text());
  const std::vector<std::string> firstLines = {
      "form Form",
      "step 1: type Edit_Value abc",
      "  state Edit_Value Text=\"abc\" Focused=True",
      "step 2: answer No",
      "step 3: click Button_Ask",
      "  event Button_Ask.OnClick",
      "  box \"Confirm\" \"Keep it?\" [Yes,No] -> No",
      "  state Edit_Value Text=\"No\" Focused=False",
      "  state Button_Ask Focused=True",
      "step 4: ok",
      "  state Form ModalResult=OK Closed=True",
      "  state Button_Ask Focused=False",
      "  state Button_OK Focused=True",
      "result OK",
      "write Value=\"No\"",
  };
  EXPECT_EQ(Lines, firstLines);
  EXPECT_EQ(PlatformBoxes, 0) << "a box inside a played form must be answered from the script";

  Lines.clear();
  TAutomatedForm second;
  EXPECT_EQ(RunModal(second.Form), mrCancel);
  // The first form's session ended with this run: a late write-back of it goes nowhere.
  ReportWriteBack(first.Form, "Value", "late");
  const std::vector<std::string> secondLines = {
      "form Form",
      "error 1: unknown command \"bogus\"",
      "  state Form ModalResult=Cancel Closed=True",
      "result Cancel",
  };
  EXPECT_EQ(Lines, secondLines);

  // No script left: the form is not shown, stays as it was, and nothing reaches the host.
  Lines.clear();
  TAutomatedForm third;
  EXPECT_EQ(RunModal(third.Form), mrCancel);
  EXPECT_FALSE(third.Form.Closed());
  EXPECT_TRUE(Lines.empty());
}

TEST_F(PlatformUiBackendScripts, ACommonDialogTheScriptLeavesUnansweredGoesToTheHost) {
  struct TCase {
    const char* Name;
    const char* Script;
    const char* Path;        // what the form's handler was given
    const char* DialogLine;  // the transcript's line for it; none when the host answered
  };
  const TCase cases[] = {
      {"chosen by the script", "dialog choose /lib/x.mdl\nclick Button_Browse\nok\n", "/lib/x.mdl",
       "  dialog \"DDBBrowser\" \"Choose\" -> \"/lib/x.mdl\""},
      {"cancelled by the script", "dialog cancel\nclick Button_Browse\nok\n", "cancelled",
       "  dialog \"DDBBrowser\" \"Choose\" -> cancelled"},
      {"none queued: the host answers", "click Button_Browse\nok\n", "host", nullptr},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Lines.clear();
    Queue("browse.script", c.Script);
    TAutomatedForm f;
    EXPECT_EQ(RunModal(f.Form), mrOk);
    EXPECT_EQ(f.Edit_Path->Text(), c.Path);
    std::vector<std::string> dialogLines;
    for (const std::string& line : Lines) {
      if (line.find("dialog \"") != std::string::npos) dialogLines.push_back(line);
    }
    EXPECT_EQ(dialogLines, c.DialogLine ? std::vector<std::string>{c.DialogLine} : std::vector<std::string>{});
    EXPECT_EQ(Lines.back(), "result OK");
  }
}

TEST_F(PlatformUiBackendScripts, AMessagePostedDuringTheScriptIsDispatchedBeforeTheNextStep) {
  TAutomatedForm f;
  struct TSeen {
    TAutomatedForm* Form;
    std::vector<std::string> ValueWhenDispatched;
    bool ClosedWhenDispatched = false;
  } seen{&f, {}};
  const std::intptr_t window = os::CreateMessageWindow(
      [](void* context, const os::TMessage& message) {
        auto* s = static_cast<TSeen*>(context);
        if (message.WParam != 7) return;
        s->ValueWhenDispatched.push_back(s->Form->Edit_Value->Text());
        s->ClosedWhenDispatched = s->Form->Form.Closed();
      },
      &seen);
  f.PostTo = window;
  Queue("pump.script", "click Button_Post\ntype Edit_Value later\nok\n");
  EXPECT_EQ(RunModal(f.Form), mrOk);
  os::DestroyMessageWindow(window);
  // Dispatched once, after the click that posted it and before the step that types.
  EXPECT_EQ(seen.ValueWhenDispatched, std::vector<std::string>{""});
  EXPECT_FALSE(seen.ClosedWhenDispatched);
}

TEST(HeadlessUiBackend, UnansweredCommonDialogsAreCancelledUnlessDeferredToTheHost) {
  THeadlessUiBackend backend;
  const std::optional<TCommonDialogAnswer> cancelled = backend.PresentCommonDialog({"DDBBrowser", "Choose"});
  ASSERT_TRUE(cancelled.has_value());
  EXPECT_FALSE(cancelled->Chosen);
  backend.SetDeferUnansweredCommonDialogs(true);
  EXPECT_FALSE(backend.PresentCommonDialog({"DDBBrowser", "Choose"}).has_value());
  backend.QueueCommonDialogAnswer({true, "/m.lib"});
  const std::optional<TCommonDialogAnswer> chosen = backend.PresentCommonDialog({"DDBBrowser", "Choose"});
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(chosen->Path, "/m.lib");
  EXPECT_EQ(backend.DialogRecords().size(), 2u) << "a deferred dialog is the host's to record";
}

TEST(HeadlessUiBackend, WriteBacksGoToTheTranscriptOfTheScriptLastPlayedOnThatForm) {
  TAutomatedForm played, other;
  THeadlessUiBackend backend;
  TScopedUiBackend scope(backend);
  TUiTranscript transcript;
  backend.QueueScript(ParseUiScript("type Edit_Value 5k\nok\n"), transcript);
  ASSERT_EQ(RunModal(played.Form), mrOk);
  ReportWriteBack(played.Form, "Value", played.Edit_Value->Text());
  ReportWriteBack(other.Form, "Value", "from another form");
  ASSERT_GE(transcript.Lines().size(), 2u);
  EXPECT_EQ(transcript.Lines()[transcript.Lines().size() - 2], "result OK");
  EXPECT_EQ(transcript.Lines().back(), "write Value=\"5k\"");
  ASSERT_EQ(backend.WriteBackRecords().size(), 2u);
  EXPECT_EQ(backend.WriteBackRecords()[1].Form, &other.Form);
  EXPECT_EQ(backend.WriteBackRecords()[1].Value, "from another form");

  // Run again without a script: what it writes back is no part of the first run's transcript.
  const std::size_t before = transcript.Lines().size();
  backend.QueueFormPlayer([](TForm&) {});
  RunModal(played.Form);
  ReportWriteBack(played.Form, "Value", "second run");
  EXPECT_EQ(transcript.Lines().size(), before);
}

}  // namespace
}  // namespace tolvex::ui
