// The one seam between the toolkit and whatever shows it: message boxes and modal forms go through
// the backend installed for the current scope, the platform's when none is.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/MessageDialog.h"

namespace tolvex::ui {

class TForm;
class TUiTranscript;
struct TUiScript;

// The host's common dialog (a file or library browser) as the toolkit sees it.
struct TCommonDialogRequest {
  std::string Dialog;   // which of the host's dialogs, e.g. "DDBBrowser"
  std::string Caption;
};
struct TCommonDialogAnswer {
  bool Chosen = false;  // false: cancelled
  std::string Path;
};

class TUiBackend {
 public:
  virtual ~TUiBackend() = default;
  // Shows Box modally; the answer is the button that closed it.
  virtual TModalResult PresentMessageBox(const TMessageBoxContent& box) = 0;
  // Shows Form modally until it closes; the answer is its modal result.
  virtual TModalResult RunModal(TForm& form) = 0;
  // A backend that stands in for the user answers the host's common dialog itself; none means the
  // host shows its own, which is what a backend with a screen wants.
  virtual std::optional<TCommonDialogAnswer> PresentCommonDialog(const TCommonDialogRequest&) { return std::nullopt; }
  // What the caller wrote back from Form after it closed with OK, one field at a time. A backend
  // that records a scripted run adds it to that run's transcript; one with a screen ignores it.
  virtual void WroteBack(const TForm&, std::string_view /*name*/, std::string_view /*value*/) {}
};


// A user without a screen: records every box and form and answers from a script. A box takes the
// next queued answer (see ScriptedAnswer); a form is driven by the next queued player, which works
// it through TForm::Input as a user would.
class THeadlessUiBackend final : public TUiBackend {
 public:
  struct TRecord {
    TMessageBoxContent Box;
    TModalResult Answer;
  };
  struct TFormRecord {
    const TForm* Form;  // which form ran; it may be gone since
    TModalResult Answer;
  };
  struct TDialogRecord {
    TCommonDialogRequest Request;
    TCommonDialogAnswer Answer;
  };
  struct TWriteBackRecord {
    const TForm* Form;  // which form it came from; it may be gone since
    std::string Name;
    std::string Value;
  };
  using TFormPlayer = std::function<void(TForm& form)>;
  // A player that can fail (a script with an error): false makes the form's answer Cancel.
  using TFormDriver = std::function<bool(TForm& form)>;

  TModalResult PresentMessageBox(const TMessageBoxContent& box) override;
  // Plays the next queued player on Form. A form the player leaves open (or that has none) is
  // closed with its close box, as by a user who walks away; if its OnCloseQuery keeps it open
  // even then, the answer is Cancel.
  TModalResult RunModal(TForm& form) override;
  // Takes the next queued answer; with none the user cancels (there is no screen to pick a file on),
  // or, when unanswered dialogs are deferred, the answer is none so that the host shows its own.
  std::optional<TCommonDialogAnswer> PresentCommonDialog(const TCommonDialogRequest& request) override;
  // Recorded, and written to the transcript of the script last played on Form (if any).
  void WroteBack(const TForm& form, std::string_view name, std::string_view value) override;

  void QueueAnswer(TModalResult answer) { FAnswers.push_back(answer); }
  void QueueCommonDialogAnswer(TCommonDialogAnswer answer) { FDialogAnswers.push_back(std::move(answer)); }
  void QueueFormPlayer(TFormPlayer player);
  void QueueFormDriver(TFormDriver driver) { FPlayers.push_back(std::move(driver)); }
  // Plays Script on the next form run modally, writing its transcript to Transcript (not owned; it
  // must outlive that run and the write-backs reported for that form after it, or be handed to
  // ForgetTranscript first). A script with an error ends the form as cancelled.
  void QueueScript(TUiScript script, TUiTranscript& transcript);
  // Takes back the last Answers box answers and Dialogs common dialog answers still queued.
  void DropLastQueued(std::size_t answers, std::size_t dialogs);
  std::size_t PendingAnswers() const { return FAnswers.size(); }
  std::size_t PendingCommonDialogAnswers() const { return FDialogAnswers.size(); }
  const std::vector<TRecord>& Records() const { return FRecords; }
  const std::vector<TFormRecord>& FormRecords() const { return FFormRecords; }
  const std::vector<TDialogRecord>& DialogRecords() const { return FDialogRecords; }
  const std::vector<TWriteBackRecord>& WriteBackRecords() const { return FWriteBackRecords; }
  // Write-backs reported from now on no longer go to Transcript (one about to be destroyed).
  void ForgetTranscript(const TUiTranscript& transcript);
  // Where boxes and common dialogs are written as well while a script plays; null for none.
  TUiTranscript* Transcript() const { return FTranscript; }
  void SetTranscript(TUiTranscript* transcript) { FTranscript = transcript; }
  // On: a common dialog with no answer queued is left to the host (a deferred one is neither
  // recorded nor written to the transcript: the host reports its own answer). Off by default.
  void SetDeferUnansweredCommonDialogs(bool defer) { FDeferUnansweredDialogs = defer; }
  // Called while a script plays, before each of its steps: where a modal loop that keeps the host
  // alive dispatches the messages waiting meanwhile. Empty for none.
  void SetBetweenSteps(std::function<void()> hook) { FBetweenSteps = std::move(hook); }
  void BetweenSteps() const {
    if (FBetweenSteps) FBetweenSteps();
  }
  void Clear();

 private:
  std::deque<TModalResult> FAnswers;
  std::deque<TCommonDialogAnswer> FDialogAnswers;
  std::deque<TFormDriver> FPlayers;
  std::vector<TRecord> FRecords;
  std::vector<TFormRecord> FFormRecords;
  std::vector<TDialogRecord> FDialogRecords;
  std::vector<TWriteBackRecord> FWriteBackRecords;
  TUiTranscript* FTranscript = nullptr;
  // The form a script last played on and that script's transcript: where its write-backs go.
  const TForm* FPlayedForm = nullptr;
  TUiTranscript* FPlayedTranscript = nullptr;
  bool FDeferUnansweredDialogs = false;
  std::function<void()> FBetweenSteps;
};

// Message boxes drawn by the platform. A form runs headless when the host queued a script for it
// (os::TakeFormScript): the script plays as by THeadlessUiBackend, the boxes the form shows meanwhile
// are answered from it, a common dialog it leaves unanswered goes to the host, the messages waiting in
// the thread's queue are dispatched before each step, and each transcript line goes to the host as it
// is written. That session lasts until the next RunModal, so the write-backs after OK reach it.
class TPlatformUiBackend final : public TUiBackend {
 public:
  TPlatformUiBackend();
  ~TPlatformUiBackend() override;
  TModalResult PresentMessageBox(const TMessageBoxContent& box) override;
  // The window system the host registered shows the form, and a script the host queued plays into
  // it; without a window system a script plays headless, and without either the form is not shown,
  // stays as it was, and the answer is Cancel.
  TModalResult RunModal(TForm& form) override;
  void WroteBack(const TForm& form, std::string_view name, std::string_view value) override;

 private:
  struct TScriptedSession;
  std::unique_ptr<TScriptedSession> FSession;
};

// The backend of the current scope: the innermost TScopedUiBackend's, else the platform's.
TUiBackend& CurrentUiBackend();

// Installs Backend (not owned) for its own lifetime. Scopes nest: ending one gives back the backend
// that was current when it began, and a scope that ends out of order only takes itself out.
class TScopedUiBackend {
 public:
  explicit TScopedUiBackend(TUiBackend& backend);
  ~TScopedUiBackend();
  TScopedUiBackend(const TScopedUiBackend&) = delete;
  TScopedUiBackend& operator=(const TScopedUiBackend&) = delete;

 private:
  friend TUiBackend& CurrentUiBackend();
  TUiBackend& FBackend;
  TScopedUiBackend* FOuter;
};

// Runs Form modally through the current backend.
TModalResult RunModal(TForm& form);
// Asks the current backend to answer the host's common dialog; none: the host is to show its own.
std::optional<TCommonDialogAnswer> PresentCommonDialog(const TCommonDialogRequest& request);
// Tells the current backend that the caller wrote Value back to its field Name from Form, which
// closed with OK; a dialog calls it once per field it writes, after RunModal returned.
void ReportWriteBack(const TForm& form, std::string_view name, std::string_view value);

}  // namespace tolvex::ui
