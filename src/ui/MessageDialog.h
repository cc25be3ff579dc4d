// The toolkit's modal message box: what is shown, who presents it, and a
// headless presenter that records each box and answers from a script.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "os/Os.h"

namespace tolvex::ui {

using os::TModalResult;
using os::TMessageBoxButtons;
using os::TMessageBoxIcon;

struct TMessageBoxContent {
  std::intptr_t Owner = 0;
  std::string Caption;
  std::string Text;  // as displayed: "&" already doubled
  TMessageBoxIcon Icon = os::mbiInformation;
  TMessageBoxButtons Buttons = os::mbbOk;
  TModalResult DefaultButton = os::mrOk;
  TModalResult EscapeButton = os::mrOk;
};

// The captions of a box's buttons, in display order ("OK", "Cancel", "Yes", "No").
std::vector<std::string> ButtonCaptions(TMessageBoxButtons buttons);
std::string ModalResultName(TModalResult result);

class TMessageBoxPresenter {
 public:
  virtual ~TMessageBoxPresenter() = default;
  virtual TModalResult Present(const TMessageBoxContent& box) = 0;
};

// Presents through the platform's message box.
class TPlatformMessageBoxPresenter final : public TMessageBoxPresenter {
 public:
  TModalResult Present(const TMessageBoxContent& box) override;
};

// Records every box and answers with the next scripted result, or with the
// box's default button when the script is empty. An answer that is not one of
// the box's buttons counts as Escape.
class THeadlessMessageBoxPresenter final : public TMessageBoxPresenter {
 public:
  struct TRecord {
    TMessageBoxContent Box;
    TModalResult Answer;
  };
  TModalResult Present(const TMessageBoxContent& box) override;
  void QueueAnswer(TModalResult answer) { FAnswers.push_back(answer); }
  const std::vector<TRecord>& Records() const { return FRecords; }
  void Clear() {
    FRecords.clear();
    FAnswers.clear();
  }

 private:
  std::deque<TModalResult> FAnswers;
  std::vector<TRecord> FRecords;
};

// The presenter every message box goes through; the platform one by default.
TMessageBoxPresenter& CurrentMessageBoxPresenter();
// Installs Presenter (not owned) until it is replaced; nullptr restores the platform one.
void SetMessageBoxPresenter(TMessageBoxPresenter* presenter);

// Runs a box modally through the current presenter.
TModalResult ShowModalMessageBox(const TMessageBoxContent& box);

}  // namespace tolvex::ui
