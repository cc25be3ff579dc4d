// The headless user's script: one step a line, parsed with its line numbers, and the player that works a modal form through it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/Controls.h"
#include "ui/UiBackend.h"

namespace tolvex::ui {

class TUiTranscript;

enum TScriptStepKind : std::uint8_t {
  skInput,   // one TUserInput through the form's input door
  skAnswer,  // queued for the next message box
  skDialog,  // queued for the next common dialog of the host
  skOk,      // clicks the default button
  skCancel,  // clicks the Cancel button
  skEscape,  // presses Escape
  skClose,   // the close box
  skShow,    // writes every property of a control (or the form) to the transcript; the user does nothing
};

struct TScriptStep {
  int Line = 0;
  std::string Text;  // the line as written, without its comment
  TScriptStepKind Kind = skInput;
  TUserInput Input;
  TModalResult Answer = mrNone;
  TCommonDialogAnswer Dialog;
};

struct TScriptError {
  int Line = 0;
  std::string Reason;
};

struct TUiScript {
  std::vector<TScriptStep> Steps;
  int LastLine = 0;                       // the number of the script's last line
  std::optional<TScriptError> ParseError;  // the first line that could not be read; nothing is played then
};

// Reads Text: one step a line, "#" starts a comment, texts with blanks in double quotes.
TUiScript ParseUiScript(std::string_view text);

struct TScriptRun {
  TModalResult Answer = mrCancel;
  std::optional<TScriptError> Error;
};

// Plays Script on Form (which the backend runs modally), answering the boxes and common dialogs
// shown meanwhile from the script in order and writing everything to Transcript. Before each step,
// while the form is open, the backend's between-steps hook runs. On a script error
// (a parse error, an input the form refused, an answer nothing asked for, a script that ends with
// the form open) the error is written with its line, the form is closed with its close box, and the
// answer is Cancel.
TScriptRun PlayUiScript(const TUiScript& script, TForm& form, THeadlessUiBackend& backend, TUiTranscript& transcript);

}  // namespace tolvex::ui
