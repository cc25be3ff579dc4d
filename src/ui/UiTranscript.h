// What a scripted run of a modal form did, as lines of text in a stable order: the steps, the handlers that ran, the boxes, the changed state, the answer.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ui/Controls.h"
#include "ui/MessageDialog.h"
#include "ui/UiBackend.h"

namespace tolvex::ui {

// Records only what the model knows, so every backend that replays a script writes the same lines.
// While attached it is the form's observer (and passes every report on to the observer it replaced).
class TUiTranscript final : public TControlObserver {
 public:
  ~TUiTranscript() override;
  void Begin(TForm& form);
  void BeginStep(int line, std::string_view text);
  // The state of every control that changed since the last flush, one line each, in the form's order.
  void FlushState();
  // Every property of Control that the transcript knows, changed or not, as one line.
  void Show(const TControl& control);
  void Box(const TMessageBoxContent& box, TModalResult answer);
  void CommonDialog(const TCommonDialogRequest& request, const TCommonDialogAnswer& answer);
  void Error(int line, std::string_view reason);
  // Writes the answer and lets go of the form.
  void End(TModalResult answer);
  // What the caller wrote back from the form after it closed.
  void WriteBack(std::string_view name, std::string_view value);

  // Sink is called with every line as it is added (the lines are kept as well); empty for none.
  void SetLineSink(std::function<void(const std::string&)> sink) { FLineSink = std::move(sink); }
  // Each time an external-form panel shows a new drawing (when the run begins, and after a step that changed its
  // content, its size or made it draw again) a `drawing` line names the file the drawing goes to, and Sink gets
  // that file name and the drawing as SVG; empty for none (the line is written all the same).
  void SetDrawingSink(std::function<void(const std::string& file, const std::string& svg)> sink) {
    FDrawingSink = std::move(sink);
  }

  const std::vector<std::string>& Lines() const { return FLines; }
  std::string Text() const;  // the lines, each ending in a line feed

  void PropertyChanged(TControl& control, TProperty property) override;
  void ControlDestroyed(TControl& control) override;
  void HandlerRuns(TControl& control, TEvent event) override;

 private:
  void Detach();
  void Add(std::string line);
  // A `drawing` line and the drawing for the sink, unless the panel shows what it showed last.
  void WriteDrawing(const TExternalFormPanel& panel);
  std::string NameOf(const TControl& control) const;
  std::string Indent() const { return FInStep ? "  " : ""; }

  std::vector<std::string> FLines;
  std::function<void(const std::string&)> FLineSink;
  std::function<void(const std::string&, const std::string&)> FDrawingSink;
  // The SVG last written for each panel.
  std::map<const TControl*, std::string> FDrawn;
  TForm* FForm = nullptr;
  TControlObserver* FOuter = nullptr;
  bool FInStep = false;
  // Changed controls in the order first seen, each with the properties that changed.
  std::vector<std::pair<TControl*, std::vector<TProperty>>> FChanged;
};

// A text in double quotes with backslash escapes, as the script and the transcript write texts.
std::string QuoteText(std::string_view text);

}  // namespace tolvex::ui
