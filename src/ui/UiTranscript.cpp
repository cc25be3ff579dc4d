// The transcript writer: steps, handlers, boxes and changed state as stable text lines.
#include "ui/UiTranscript.h"

#include <algorithm>

#include "ui/Drawing.h"
#include "ui/TreeList.h"

namespace tolvex::ui {

namespace {

const char* Bool(bool value) { return value ? "True" : "False"; }

std::string List(const std::vector<std::string>& items) {
  std::string text = "[";
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += ',';
    text += QuoteText(items[i]);
  }
  return text + "]";
}

const char* ColorName(TColor color) {
  switch (color) {
    case clWindowText: return "clWindowText";
    case clGrayText: return "clGrayText";
    case clWindow: return "clWindow";
    case clBtnFace: return "clBtnFace";
  }
  return "?";
}

const char* AlignName(TAlign align) {
  static constexpr const char* names[] = {"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient"};
  return align < std::size(names) ? names[align] : "?";
}

bool IsTextKind(TControlKind kind) { return kind == ckEdit || kind == ckComboBox; }

// The controls of Owner depth-first in creation order: the order the state lines follow.
void Walk(const TControl& owner, std::vector<const TControl*>& order) {
  for (const auto& component : owner.Components()) {
    order.push_back(component.get());
    Walk(*component, order);
  }
}

// "Name=value" for one changed property; empty for what a transcript does not show.
std::string Value(const TControl& control, TProperty property, const std::string& controlName) {
  const TControlKind kind = control.Kind();
  switch (property) {
    case prName: return "Name=" + QuoteText(control.Name());
    case prParent: return "Parent=" + controlName;
    case prBounds: {
      const TRect& b = control.Bounds();
      return "Bounds=" + std::to_string(b.Left) + "," + std::to_string(b.Top) + "," + std::to_string(b.Width) + "," +
             std::to_string(b.Height);
    }
    case prAlign: return std::string("Align=") + AlignName(control.Align());
    case prCaption: return std::string(IsTextKind(kind) ? "Text=" : "Caption=") + QuoteText(control.Caption());
    case prLines:
      return kind == ckRichEdit ? "Lines=" + List(static_cast<const TRichEdit&>(control).Lines()) : std::string();
    case prCaret:
      return kind == ckRichEdit ? "SelStart=" + std::to_string(static_cast<const TRichEdit&>(control).SelStart())
                                : std::string();
    case prItems:
      if (kind == ckComboBox) return "Items=" + List(static_cast<const TComboBox&>(control).Items());
      if (kind == ckListBox) return "Items=" + List(static_cast<const TListBox&>(control).Items());
      if (kind == ckTabSet) return "Tabs=" + List(static_cast<const TTabSet&>(control).Tabs());
      return {};
    case prItemIndex:
      if (kind == ckComboBox) return "ItemIndex=" + std::to_string(static_cast<const TComboBox&>(control).ItemIndex());
      if (kind == ckListBox) return "ItemIndex=" + std::to_string(static_cast<const TListBox&>(control).ItemIndex());
      if (kind == ckTabSet) return "TabIndex=" + std::to_string(static_cast<const TTabSet&>(control).TabIndex());
      return {};
    case prChecked:
      if (kind == ckCheckBox) return std::string("Checked=") + Bool(static_cast<const TCheckBox&>(control).Checked());
      if (kind == ckRadioButton)
        return std::string("Checked=") + Bool(static_cast<const TRadioButton&>(control).Checked());
      if (kind == ckMenuItem) return std::string("Checked=") + Bool(static_cast<const TMenuItem&>(control).Checked());
      return {};
    case prEnabled: return std::string("Enabled=") + Bool(control.Enabled());
    case prVisible:
      if (kind == ckTabSheet)
        return std::string("TabVisible=") + Bool(static_cast<const TTabSheet&>(control).TabVisible()) +
               " Visible=" + Bool(control.Visible());
      return std::string("Visible=") + Bool(control.Visible());
    case prReadOnly:
      if (kind == ckEdit) return std::string("ReadOnly=") + Bool(static_cast<const TEdit&>(control).ReadOnly());
      if (kind == ckRichEdit) return std::string("ReadOnly=") + Bool(static_cast<const TRichEdit&>(control).ReadOnly());
      if (kind == ckTreeList) return std::string("ReadOnly=") + Bool(static_cast<const TTreeList&>(control).ReadOnly());
      return {};
    case prTextColor: return std::string("TextColor=") + ColorName(control.TextColor());
    case prColor: return std::string("Color=") + ColorName(control.Color());
    case prFont: {
      const TFont& f = control.Font();
      return "Font=" + QuoteText(f.Name) + "," + std::to_string(f.Size) + (f.Bold ? ",Bold" : "");
    }
    case prFocus: return std::string("Focused=") + Bool(control.Focused());
    case prActivePage: {
      if (kind != ckPageControl) return {};
      const TTabSheet* page = static_cast<const TPageControl&>(control).ActivePage();
      return "ActivePage=" + (page != nullptr ? QuoteText(page->Caption()) : std::string("none"));
    }
    case prColumns: {
      if (kind != ckTreeList) return {};
      std::vector<std::string> names;
      for (const auto& column : static_cast<const TTreeList&>(control).Columns()) names.push_back(column->Name());
      return "Columns=" + List(names);
    }
    case prRows:
    case prCells: {
      if (kind != ckTreeList) return {};
      const auto& list = static_cast<const TTreeList&>(control);
      std::string text = "Cells=[";
      for (int row = 0; row < list.RowCount(); ++row) {
        std::vector<std::string> cells;
        for (const auto& column : list.Columns()) cells.push_back(list.Cell(row, *column));
        if (row > 0) text += ',';
        text += List(cells);
      }
      return text + "]";
    }
    case prFocusedRow:
      return kind == ckTreeList ? "FocusedRow=" + std::to_string(static_cast<const TTreeList&>(control).FocusedRow())
                                : std::string();
    case prModalResult:
      return kind == ckForm ? "ModalResult=" + ModalResultName(static_cast<const TForm&>(control).ModalResult())
                            : std::string();
    case prClosed:
      return kind == ckForm ? std::string("Closed=") + Bool(static_cast<const TForm&>(control).Closed()) : std::string();
    case prContent:
      return kind == ckExternalFormPanel
                 ? std::string("Content=") +
                       (static_cast<const TExternalFormPanel&>(control).Content() ? "set" : "none")
                 : std::string();
    case prDrawing: return {};  // a drawing has its own line
  }
  return {};
}

}  // namespace

std::string QuoteText(std::string_view text) {
  std::string quoted = "\"";
  for (char c : text) {
    switch (c) {
      case '"': quoted += "\\\""; break;
      case '\\': quoted += "\\\\"; break;
      case '\n': quoted += "\\n"; break;
      case '\r': quoted += "\\r"; break;
      case '\t': quoted += "\\t"; break;
      default: quoted += c; break;
    }
  }
  return quoted + "\"";
}

TUiTranscript::~TUiTranscript() { Detach(); }

void TUiTranscript::Begin(TForm& form) {
  Detach();
  FForm = &form;
  FOuter = form.Observer();
  form.SetObserver(this);
  Add("form " + NameOf(form));
  // What the form's external panels showed before the run began.
  std::vector<const TControl*> order;
  Walk(form, order);
  for (const TControl* control : order)
    if (control->Kind() == ckExternalFormPanel) WriteDrawing(static_cast<const TExternalFormPanel&>(*control));
}

void TUiTranscript::WriteDrawing(const TExternalFormPanel& panel) {
  if (!panel.Content()) return;
  const TDrawing drawing = DrawPanelContent(panel);
  std::string svg = DrawingToSvg(drawing);
  std::string& last = FDrawn[&panel];
  // Drawn again the same, it shows nothing new.
  if (svg == last) return;
  last = std::move(svg);
  const std::string file = DrawingFileName(drawing.Title, panel.Name());
  Add(Indent() + "drawing " + NameOf(panel) + " " + QuoteText(file));
  if (FDrawingSink) FDrawingSink(file, last);
}

void TUiTranscript::Detach() {
  if (FForm != nullptr && FForm->Observer() == this) FForm->SetObserver(FOuter);
  FForm = nullptr;
  FOuter = nullptr;
  FChanged.clear();
  FDrawn.clear();
}

std::string TUiTranscript::NameOf(const TControl& control) const {
  if (&control == FForm || control.Kind() == ckForm) return control.Name().empty() ? "Form" : control.Name();
  std::string name;
  for (const TControl* c = &control; c != nullptr && c != FForm; c = c->Owner()) {
    const std::string part = c->Name().empty() ? std::string("(") + ControlKindName(c->Kind()) + ")" : c->Name();
    name = name.empty() ? part : part + "." + name;
  }
  return name;
}

void TUiTranscript::BeginStep(int line, std::string_view text) {
  FlushState();
  FInStep = false;
  Add("step " + std::to_string(line) + ": " + std::string(text));
  FInStep = true;
}

void TUiTranscript::FlushState() {
  if (FChanged.empty()) return;
  std::vector<const TControl*> order;
  if (FForm != nullptr) {
    order.push_back(FForm);
    Walk(*FForm, order);
  }
  const auto rank = [&](const TControl* control) {
    const auto found = std::find(order.begin(), order.end(), control);
    return static_cast<std::size_t>(found - order.begin());  // one not in the form's tree goes last
  };
  std::stable_sort(FChanged.begin(), FChanged.end(),
                   [&](const auto& a, const auto& b) { return rank(a.first) < rank(b.first); });
  std::vector<const TExternalFormPanel*> redrawn;
  for (auto& [control, properties] : FChanged) {
    std::sort(properties.begin(), properties.end());
    if (control->Kind() == ckExternalFormPanel &&
        std::any_of(properties.begin(), properties.end(),
                    [](TProperty p) { return p == prContent || p == prDrawing || p == prBounds; }))
      redrawn.push_back(static_cast<const TExternalFormPanel*>(control));
    const std::string name = NameOf(*control);
    std::string line = Indent() + "state " + name;
    std::string last;
    bool any = false;
    for (TProperty property : properties) {
      std::string value = Value(*control, property, control->Parent() != nullptr ? NameOf(*control->Parent()) : "none");
      if (value.empty() || value == last) continue;  // rows and cells print the same table
      line += " " + value;
      last = std::move(value);
      any = true;
    }
    if (any) Add(std::move(line));
  }
  FChanged.clear();
  // After the state that led to them, the drawings the step made.
  for (const TExternalFormPanel* panel : redrawn) WriteDrawing(*panel);
}

void TUiTranscript::Show(const TControl& control) {
  std::string line = Indent() + "show " + NameOf(control);
  std::string last;
  for (int p = prParent; p <= prContent; ++p) {
    const auto property = static_cast<TProperty>(p);
    // Transient state says nothing of what the control shows.
    if (property == prModalResult || property == prClosed || property == prFocus) continue;
    std::string value = Value(control, property, control.Parent() != nullptr ? NameOf(*control.Parent()) : "none");
    if (value.empty() || value == last) continue;
    line += " " + value;
    last = std::move(value);
  }
  Add(std::move(line));
}

void TUiTranscript::Box(const TMessageBoxContent& box, TModalResult answer) {
  std::string buttons;
  for (const std::string& caption : ButtonCaptions(box.Buttons)) buttons += (buttons.empty() ? "" : ",") + caption;
  Add(Indent() + "box " + QuoteText(box.Caption) + " " + QuoteText(box.Text) + " [" + buttons + "] -> " +
                   ModalResultName(answer));
}

void TUiTranscript::CommonDialog(const TCommonDialogRequest& request, const TCommonDialogAnswer& answer) {
  Add(Indent() + "dialog " + QuoteText(request.Dialog) + " " + QuoteText(request.Caption) + " -> " +
                   (answer.Chosen ? QuoteText(answer.Path) : std::string("cancelled")));
}

void TUiTranscript::Error(int line, std::string_view reason) {
  FlushState();
  FInStep = false;
  Add("error " + std::to_string(line) + ": " + std::string(reason));
  FInStep = true;  // what closing the form after the error does belongs to it
}

void TUiTranscript::End(TModalResult answer) {
  FlushState();
  FInStep = false;
  Add("result " + ModalResultName(answer));
  Detach();
}

void TUiTranscript::WriteBack(std::string_view name, std::string_view value) {
  Add("write " + std::string(name) + "=" + QuoteText(value));
}

void TUiTranscript::Add(std::string line) {
  FLines.push_back(std::move(line));
  if (FLineSink) FLineSink(FLines.back());
}

std::string TUiTranscript::Text() const {
  std::string text;
  for (const std::string& line : FLines) text += line + "\n";
  return text;
}

void TUiTranscript::PropertyChanged(TControl& control, TProperty property) {
  auto found = std::find_if(FChanged.begin(), FChanged.end(), [&](const auto& entry) { return entry.first == &control; });
  if (found == FChanged.end()) {
    FChanged.push_back({&control, {}});
    found = std::prev(FChanged.end());
  }
  if (std::find(found->second.begin(), found->second.end(), property) == found->second.end())
    found->second.push_back(property);
  if (FOuter != nullptr) FOuter->PropertyChanged(control, property);
}

void TUiTranscript::ControlDestroyed(TControl& control) {
  std::erase_if(FChanged, [&](const auto& entry) { return entry.first == &control; });
  FDrawn.erase(&control);
  if (FOuter != nullptr) FOuter->ControlDestroyed(control);
  if (&control == FForm) {
    FForm = nullptr;
    FOuter = nullptr;
  }
}

void TUiTranscript::HandlerRuns(TControl& control, TEvent event) {
  Add(Indent() + "event " + NameOf(control) + "." + EventName(event));
  if (FOuter != nullptr) FOuter->HandlerRuns(control, event);
}

}  // namespace tolvex::ui
