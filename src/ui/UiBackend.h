// The one seam between the toolkit and whatever shows it: message boxes and modal forms go through
// the backend installed for the current scope, the platform's when none is.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ui/MessageDialog.h"

namespace tolvex::ui {

class TForm;

class TUiBackend {
 public:
  virtual ~TUiBackend() = default;
  // Shows Box modally; the answer is the button that closed it.
  virtual TModalResult PresentMessageBox(const TMessageBoxContent& box) = 0;
  // Shows Form modally until it closes; the answer is its modal result.
  virtual TModalResult RunModal(TForm& form) = 0;
};

// Message boxes drawn by the platform.
class TPlatformUiBackend final : public TUiBackend {
 public:
  TModalResult PresentMessageBox(const TMessageBoxContent& box) override;
  // No window backend draws forms yet: the form is not shown, stays as it was, and the answer is Cancel.
  TModalResult RunModal(TForm& form) override;
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
  using TFormPlayer = std::function<void(TForm& form)>;

  TModalResult PresentMessageBox(const TMessageBoxContent& box) override;
  // Plays the next queued player on Form. A form the player leaves open (or that has none) is
  // closed with its close box, as by a user who walks away; if its OnCloseQuery keeps it open
  // even then, the answer is Cancel.
  TModalResult RunModal(TForm& form) override;

  void QueueAnswer(TModalResult answer) { FAnswers.push_back(answer); }
  void QueueFormPlayer(TFormPlayer player) { FPlayers.push_back(std::move(player)); }
  const std::vector<TRecord>& Records() const { return FRecords; }
  const std::vector<TFormRecord>& FormRecords() const { return FFormRecords; }
  void Clear();

 private:
  std::deque<TModalResult> FAnswers;
  std::deque<TFormPlayer> FPlayers;
  std::vector<TRecord> FRecords;
  std::vector<TFormRecord> FFormRecords;
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

}  // namespace tolvex::ui
