// The toolkit's backends: the platform's, the headless one, and the scope that picks one.
#include "ui/UiBackend.h"

#include <algorithm>

#include "os/Os.h"
#include "ui/Controls.h"
#include "ui/UiScript.h"
#include "ui/UiTranscript.h"
#include "ui/WindowBackend.h"

namespace tolvex::ui {

namespace {
// The innermost scope; each one links to the scope it began in.
TScopedUiBackend* Innermost = nullptr;

TPlatformUiBackend& PlatformBackend() {
  static TPlatformUiBackend backend;
  return backend;
}

// Dispatches the messages waiting in the calling thread's queue, as a modal loop does between inputs.
// Bounded, so a handler that posts again on every message cannot hold the script up for ever; what is
// left waits for the next step.
void DispatchWaitingMessages() {
  constexpr int MaxMessages = 10000;
  os::TMessage message;
  for (int i = 0; i < MaxMessages && os::PeekThreadMessage(message, true); ++i) os::DispatchThreadMessage(message);
}
}  // namespace

// A form played from a host's script: the user standing in for the person, and the transcript that
// streams to the host.
struct TPlatformUiBackend::TScriptedSession {
  THeadlessUiBackend Backend;
  TUiTranscript Transcript;
  std::string ScriptName;
};

TPlatformUiBackend::TPlatformUiBackend() = default;
TPlatformUiBackend::~TPlatformUiBackend() = default;

TModalResult TPlatformUiBackend::PresentMessageBox(const TMessageBoxContent& box) {
  os::TPlatformMessageBox shown;
  shown.Owner = box.Owner;
  shown.Caption = box.Caption;
  shown.Text = box.Text;
  shown.Icon = box.Icon;
  shown.Buttons = box.Buttons;
  shown.DefaultAnswer = box.DefaultButton;
  shown.EscapeAnswer = box.EscapeButton;
  return static_cast<TModalResult>(os::ShowPlatformMessageBox(shown));
}

TWindowBackend* CurrentWindowBackend() {
  auto* backend = static_cast<TWindowBackend*>(os::RegisteredWindowBackend());
  // A window system of another build would read the form with another layout.
  if (backend == nullptr || UiAbiTag() != backend->AbiTag()) return nullptr;
  return backend;
}

TModalResult TPlatformUiBackend::RunModal(TForm& form) {
  // The session of the form before ends here: its write-backs have been reported by now.
  FSession.reset();
  TWindowBackend* window = CurrentWindowBackend();
  std::optional<os::TFormScript> script = os::TakeFormScript();
  if (!script) return window != nullptr ? window->RunModal(form, form.OwnerWindow(), {}) : mrCancel;
  FSession = std::make_unique<TScriptedSession>();
  TScriptedSession& session = *FSession;
  session.ScriptName = std::move(script->Name);
  session.Transcript.SetLineSink([](const std::string& line) { os::WriteFormTranscriptLine(line); });
  session.Transcript.SetDrawingSink(
      [](const std::string& file, const std::string& svg) { os::WriteFormDrawing(file, svg); });
  session.Backend.SetDeferUnansweredCommonDialogs(true);
  session.Backend.QueueScript(ParseUiScript(script->Text), session.Transcript);
  TScopedUiBackend scope(session.Backend);
  if (window == nullptr) {
    session.Backend.SetBetweenSteps(DispatchWaitingMessages);
    return session.Backend.RunModal(form);
  }
  // On a screen: the script plays into the shown window through the same input door, and the window
  // system draws and takes its own events between the steps. Boxes are answered from the script.
  session.Backend.SetBetweenSteps([window] {
    DispatchWaitingMessages();
    window->ProcessEvents();
  });
  TModalResult answer = mrCancel;
  window->RunModal(form, form.OwnerWindow(), [&] { answer = session.Backend.RunModal(form); });
  return answer;
}

void TPlatformUiBackend::WroteBack(const TForm& form, std::string_view name, std::string_view value) {
  if (FSession) FSession->Backend.WroteBack(form, name, value);
}

TModalResult THeadlessUiBackend::PresentMessageBox(const TMessageBoxContent& box) {
  std::optional<TModalResult> scripted;
  if (!FAnswers.empty()) {
    scripted = FAnswers.front();
    FAnswers.pop_front();
  }
  const TModalResult answer = ScriptedAnswer(box, scripted);
  FRecords.push_back({box, answer});
  if (FTranscript != nullptr) FTranscript->Box(box, answer);
  return answer;
}

std::optional<TCommonDialogAnswer> THeadlessUiBackend::PresentCommonDialog(const TCommonDialogRequest& request) {
  TCommonDialogAnswer answer;
  if (!FDialogAnswers.empty()) {
    answer = std::move(FDialogAnswers.front());
    FDialogAnswers.pop_front();
  } else if (FDeferUnansweredDialogs) {
    return std::nullopt;
  }
  FDialogRecords.push_back({request, answer});
  if (FTranscript != nullptr) FTranscript->CommonDialog(request, answer);
  return answer;
}

void THeadlessUiBackend::QueueFormPlayer(TFormPlayer player) {
  FPlayers.push_back([player = std::move(player)](TForm& form) {
    if (player) player(form);
    return true;
  });
}

void THeadlessUiBackend::QueueScript(TUiScript script, TUiTranscript& transcript) {
  FPlayers.push_back([this, script = std::move(script), &transcript](TForm& form) {
    FPlayedForm = &form;
    FPlayedTranscript = &transcript;
    return !PlayUiScript(script, form, *this, transcript).Error;
  });
}

void THeadlessUiBackend::WroteBack(const TForm& form, std::string_view name, std::string_view value) {
  FWriteBackRecords.push_back({&form, std::string(name), std::string(value)});
  if (&form == FPlayedForm && FPlayedTranscript != nullptr) FPlayedTranscript->WriteBack(name, value);
}

void THeadlessUiBackend::ForgetTranscript(const TUiTranscript& transcript) {
  if (FPlayedTranscript == &transcript) {
    FPlayedForm = nullptr;
    FPlayedTranscript = nullptr;
  }
  if (FTranscript == &transcript) FTranscript = nullptr;
}

void THeadlessUiBackend::DropLastQueued(std::size_t answers, std::size_t dialogs) {
  FAnswers.resize(FAnswers.size() - std::min(answers, FAnswers.size()));
  FDialogAnswers.resize(FDialogAnswers.size() - std::min(dialogs, FDialogAnswers.size()));
}

TModalResult THeadlessUiBackend::RunModal(TForm& form) {
  bool played = true;
  // A run without a script of its own must not send its write-backs to an earlier run's transcript.
  if (&form == FPlayedForm) {
    FPlayedForm = nullptr;
    FPlayedTranscript = nullptr;
  }
  if (!FPlayers.empty()) {
    // Taken off the queue first: a player may run a nested modal form with players of its own.
    TFormDriver driver = std::move(FPlayers.front());
    FPlayers.pop_front();
    played = !driver || driver(form);
  }
  if (!form.Closed()) {
    TUserInput closeBox;
    closeBox.Kind = uiCloseBox;
    form.Input(closeBox);
  }
  const TModalResult answer = played && form.Closed() ? form.ModalResult() : mrCancel;
  FFormRecords.push_back({&form, answer});
  return answer;
}

void THeadlessUiBackend::Clear() {
  FAnswers.clear();
  FDialogAnswers.clear();
  FPlayers.clear();
  FRecords.clear();
  FFormRecords.clear();
  FDialogRecords.clear();
  FWriteBackRecords.clear();
  FPlayedForm = nullptr;
  FPlayedTranscript = nullptr;
}

TUiBackend& CurrentUiBackend() {
  return Innermost != nullptr ? Innermost->FBackend : static_cast<TUiBackend&>(PlatformBackend());
}

TScopedUiBackend::TScopedUiBackend(TUiBackend& backend) : FBackend(backend), FOuter(Innermost) { Innermost = this; }

TScopedUiBackend::~TScopedUiBackend() {
  if (Innermost == this) {
    Innermost = FOuter;
    return;
  }
  // Ended before a scope that began inside it: unlink it, so the inner one later restores past it
  // and nothing is left pointing at a backend that may be gone.
  for (TScopedUiBackend* scope = Innermost; scope != nullptr; scope = scope->FOuter) {
    if (scope->FOuter == this) {
      scope->FOuter = FOuter;
      return;
    }
  }
}

TModalResult RunModal(TForm& form) { return CurrentUiBackend().RunModal(form); }

std::optional<TCommonDialogAnswer> PresentCommonDialog(const TCommonDialogRequest& request) {
  return CurrentUiBackend().PresentCommonDialog(request);
}

void ReportWriteBack(const TForm& form, std::string_view name, std::string_view value) {
  CurrentUiBackend().WroteBack(form, name, value);
}

}  // namespace tolvex::ui
