// The script language of the headless backend: the reader and the player.
#include "ui/UiScript.h"

#include <charconv>
#include <deque>

#include "support/TextUtils.h"
#include "ui/UiTranscript.h"

namespace tolvex::ui {

namespace {

// Splits a line into words; a word in double quotes may hold blanks and the escapes \" \\ \n \t.
// An unquoted "#" ends the line's words. Gives false with Error set for a quote left open.
bool SplitWords(std::string_view line, std::vector<std::string>& words, std::size_t& end, std::string& error) {
  std::size_t i = 0;
  end = line.size();
  while (true) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) return true;
    if (line[i] == '#') {
      end = i;
      return true;
    }
    std::string word;
    if (line[i] == '"') {
      ++i;
      bool closed = false;
      while (i < line.size()) {
        const char c = line[i++];
        if (c == '"') {
          closed = true;
          break;
        }
        if (c != '\\') {
          word += c;
          continue;
        }
        if (i >= line.size()) break;
        const char escaped = line[i++];
        switch (escaped) {
          case 'n': word += '\n'; break;
          case 'r': word += '\r'; break;
          case 't': word += '\t'; break;
          case '"':
          case '\\': word += escaped; break;
          default:
            error = std::string("unknown escape \\") + escaped;
            return false;
        }
      }
      if (!closed) {
        error = "a quoted text is not closed";
        return false;
      }
      if (i < line.size() && line[i] != ' ' && line[i] != '\t') {
        error = "a blank must follow a quoted text";
        return false;
      }
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t') word += line[i++];
    }
    words.push_back(std::move(word));
  }
}

bool ReadCount(const std::string& word, int& value) {
  if (word.empty() || word.size() > 9) return false;
  const auto [ptr, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
  return ec == std::errc() && ptr == word.data() + word.size() && value >= 0;
}

std::optional<TModalResult> ReadAnswer(const std::string& word) {
  for (TModalResult r : {mrOk, mrCancel, mrYes, mrNo}) {
    if (SameText(word, ModalResultName(r))) return r;
  }
  return std::nullopt;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

struct TCommand {
  const char* Verb;
  int Arguments;  // after the verb
  TScriptStepKind Kind;
  TUserInputKind Input;
  const char* Usage;
};

constexpr TCommand Commands[] = {
    {"type", 2, skInput, uiTypeText, "type <control> <text>"},
    {"focus", 1, skInput, uiFocus, "focus <control>"},
    {"leave", 1, skInput, uiLeave, "leave <control>"},
    {"click", 1, skInput, uiClick, "click <control>"},
    {"check", 2, skInput, uiCheck, "check <control> True|False"},
    {"select", 2, skInput, uiSelectItem, "select <control> <item>"},
    {"tab", 2, skInput, uiChooseTab, "tab <control> <tab>"},
    {"cell", 4, skInput, uiEditCell, "cell <control> <row> <column> <text>"},
    {"row", 2, skInput, uiFocusRow, "row <control> <row>"},
    {"popup", 1, skInput, uiPopup, "popup <control>"},
    {"pick", 1, skInput, uiPickMenuItem, "pick <menu item>"},
    {"resize", 2, skInput, uiResize, "resize <width> <height>"},
    {"answer", 1, skAnswer, uiClick, "answer OK|Cancel|Yes|No"},
    {"dialog", -1, skDialog, uiClick, "dialog choose <path> | dialog cancel"},
    {"ok", 0, skOk, uiClick, "ok"},
    {"cancel", 0, skCancel, uiClick, "cancel"},
    {"escape", 0, skEscape, uiEscape, "escape"},
    {"close", 0, skClose, uiCloseBox, "close"},
    {"show", -1, skShow, uiClick, "show [<control>]"},
};

// One step from the words of a line; an empty text on success, else the reason.
std::string ReadStep(const std::vector<std::string>& words, TScriptStep& step) {
  const TCommand* command = nullptr;
  for (const TCommand& c : Commands) {
    if (SameText(words[0], c.Verb)) command = &c;
  }
  if (command == nullptr) return "unknown command " + QuoteText(words[0]);
  const int given = static_cast<int>(words.size()) - 1;
  const std::string usage = std::string("expected: ") + command->Usage;
  step.Kind = command->Kind;
  step.Input.Kind = command->Input;

  if (command->Kind == skDialog) {
    if (given == 1 && SameText(words[1], "cancel")) return {};
    if (given == 2 && SameText(words[1], "choose")) {
      step.Dialog = {true, words[2]};
      return {};
    }
    return usage;
  }
  if (command->Kind == skShow) {
    if (given > 1) return usage;
    if (given == 1) step.Input.Target = words[1];
    return {};
  }
  if (given != command->Arguments) return usage;
  switch (command->Kind) {
    case skAnswer:
      if (auto answer = ReadAnswer(words[1])) {
        step.Answer = *answer;
        return {};
      }
      return usage;
    case skInput: break;
    default: return {};
  }
  if (step.Input.Kind == uiResize) {
    if (!ReadCount(words[1], step.Input.Width) || !ReadCount(words[2], step.Input.Height))
      return "a size is a whole number of pixels";
    return {};
  }
  step.Input.Target = words[1];
  switch (step.Input.Kind) {
    case uiTypeText:
    case uiSelectItem:
    case uiChooseTab: step.Input.Value = words[2]; break;
    case uiCheck:
      if (words[2] != "True" && words[2] != "False") return usage;
      step.Input.Value = words[2];
      break;
    case uiFocusRow:
      if (!ReadCount(words[2], step.Input.Row)) return "a row is a whole number from 0";
      break;
    case uiEditCell:
      if (!ReadCount(words[2], step.Input.Row)) return "a row is a whole number from 0";
      step.Input.Column = words[3];
      step.Input.Value = words[4];
      break;
    default: break;
  }
  return {};
}

// The first showing, enabled button of Owner's components (depth-first) that Wanted accepts.
template <class TWanted>
TButton* FindButton(const TControl& owner, TWanted wanted) {
  for (const auto& component : owner.Components()) {
    if (component->Kind() == ckButton) {
      auto* button = static_cast<TButton*>(component.get());
      if (wanted(*button) && button->Showing() && button->EffectivelyEnabled()) return button;
    }
    if (TButton* inner = FindButton(*component, wanted)) return inner;
  }
  return nullptr;
}

// Line numbers of the script's answers still waiting, told how many the backend has taken.
class TPendingAnswers {
 public:
  explicit TPendingAnswers(std::size_t foreign) : FForeign(foreign) {}
  void Queued(int line) { FLines.push_back(line); }
  void Taken(std::size_t count) {
    const std::size_t foreign = std::min(count, FForeign);  // those queued before the script go first
    FForeign -= foreign;
    for (count -= foreign; count > 0 && !FLines.empty(); --count) FLines.pop_front();
  }
  std::size_t Left() const { return FLines.size(); }
  std::optional<int> FirstLeft() const {
    return FLines.empty() ? std::nullopt : std::optional<int>(FLines.front());
  }

 private:
  std::size_t FForeign;
  std::deque<int> FLines;
};

}  // namespace

TUiScript ParseUiScript(std::string_view text) {
  TUiScript script;
  int line = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t stop = text.find('\n', start);
    if (stop == std::string_view::npos) stop = text.size();
    std::string_view raw = text.substr(start, stop - start);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    start = stop + 1;
    ++line;
    if (script.ParseError) continue;  // keep counting lines
    std::vector<std::string> words;
    std::size_t end = 0;
    std::string error;
    if (!SplitWords(raw, words, end, error)) {
      script.ParseError = TScriptError{line, error};
      continue;
    }
    if (words.empty()) continue;
    TScriptStep step;
    step.Line = line;
    step.Text = Trim(raw.substr(0, end));
    if (std::string reason = ReadStep(words, step); !reason.empty()) {
      script.ParseError = TScriptError{line, reason};
      continue;
    }
    script.Steps.push_back(std::move(step));
  }
  script.LastLine = line;
  if (script.ParseError) script.Steps.clear();
  return script;
}

TScriptRun PlayUiScript(const TUiScript& script, TForm& form, THeadlessUiBackend& backend, TUiTranscript& transcript) {
  TUiTranscript* outerTranscript = backend.Transcript();
  backend.SetTranscript(&transcript);
  transcript.Begin(form);
  std::optional<TScriptError> error = script.ParseError;
  TPendingAnswers answers(backend.PendingAnswers());
  TPendingAnswers dialogs(backend.PendingCommonDialogAnswers());

  for (const TScriptStep& step : script.Steps) {
    if (error) break;
    if (!form.Closed()) {
      transcript.FlushState();  // the step before is written whole before anything dispatched meanwhile
      backend.BetweenSteps();
    }
    transcript.BeginStep(step.Line, step.Text);
    if (form.Closed()) {
      error = TScriptError{step.Line, std::string(InputResultName(irClosed)) + ": " + step.Text};
      break;
    }
    const std::size_t answersBefore = backend.PendingAnswers();
    const std::size_t dialogsBefore = backend.PendingCommonDialogAnswers();
    TInputResult result = irApplied;
    std::string reason;
    TUserInput input = step.Input;
    switch (step.Kind) {
      case skAnswer:
        backend.QueueAnswer(step.Answer);
        answers.Queued(step.Line);
        continue;
      case skDialog:
        backend.QueueCommonDialogAnswer(step.Dialog);
        dialogs.Queued(step.Line);
        continue;
      case skShow: {
        TControl* control = step.Input.Target.empty() ? &form : form.FindComponent(step.Input.Target);
        if (control == nullptr || control->GetForm() != &form) {
          reason = InputResultName(irUnknownControl);
          break;
        }
        transcript.Show(*control);
        break;
      }
      case skOk:
      case skCancel: {
        const bool ok = step.Kind == skOk;
        TButton* button =
            FindButton(form, [ok](const TButton& b) { return ok ? b.Default() : b.Cancel(); });
        if (button == nullptr) {
          reason = ok ? "no default button" : InputResultName(irNoButton);
          break;
        }
        input.Kind = uiClick;
        input.Control = button;
        result = form.Input(input);
        break;
      }
      default: result = form.Input(input); break;
    }
    answers.Taken(answersBefore - std::min(answersBefore, backend.PendingAnswers()));
    dialogs.Taken(dialogsBefore - std::min(dialogsBefore, backend.PendingCommonDialogAnswers()));
    if (result != irApplied) reason = InputResultName(result);
    if (!reason.empty()) error = TScriptError{step.Line, reason + ": " + step.Text};
  }

  if (!error && !form.Closed())
    error = TScriptError{script.LastLine, "the script ends with the form still open"};
  if (!error) {
    if (auto line = answers.FirstLeft()) error = TScriptError{*line, "no message box took this answer"};
  }
  if (!error) {
    if (auto line = dialogs.FirstLeft()) error = TScriptError{*line, "no common dialog took this answer"};
  }
  // What the script queued and nothing took must not answer a box or dialog of a later form.
  backend.DropLastQueued(answers.Left(), dialogs.Left());
  TModalResult answer = mrCancel;
  if (error) {
    transcript.Error(error->Line, error->Reason);
    if (!form.Closed()) {
      TUserInput closeBox;
      closeBox.Kind = uiCloseBox;
      form.Input(closeBox);
    }
  } else {
    answer = form.ModalResult();
  }
  transcript.End(answer);
  backend.SetTranscript(outerTranscript);
  return {answer, error};
}

}  // namespace tolvex::ui
