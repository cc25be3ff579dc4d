// The control model: ownership and parents, property changes reported once, events fired by the table, the input door.
#include "ui/Controls.h"

#include <algorithm>

#include "support/TextUtils.h"
#include "ui/TreeList.h"

namespace tolvex::ui {

namespace {

template <class T>
void InvokeNotify(const TNotifyEvent& handler, T& sender) {
  // A copy: the handler may replace itself while it runs.
  if (TNotifyEvent copy = handler) copy(sender);
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

int IndexIn(const std::vector<std::string>& items, std::string_view item) {
  const auto found = std::find(items.begin(), items.end(), item);
  return found == items.end() ? -1 : static_cast<int>(found - items.begin());
}

// Whether DoEvent would run a handler for Event: what an observer is told ran.
bool HandlerAssigned(const TControl& control, TEvent event) {
  switch (event) {
    case evChange: return static_cast<bool>(control.OnChange);
    case evClick: return static_cast<bool>(control.OnClick);
    case evExit: return static_cast<bool>(control.OnExit);
    case evEnter: return static_cast<bool>(control.OnEnter);
    case evEdited:
      return control.Kind() == ckTreeList && static_cast<bool>(static_cast<const TTreeList&>(control).OnEdited);
    case evFocusedNodeChanged:
      return control.Kind() == ckTreeList &&
             static_cast<bool>(static_cast<const TTreeList&>(control).OnFocusedNodeChanged);
    case evPopup:
      return control.Kind() == ckPopupMenu && static_cast<bool>(static_cast<const TPopupMenu&>(control).OnPopup);
    case evCloseQuery: return control.Kind() == ckForm && static_cast<bool>(static_cast<const TForm&>(control).OnCloseQuery);
    case evResize: return control.Kind() == ckForm && static_cast<bool>(static_cast<const TForm&>(control).OnResize);
    case evNone: break;
  }
  return false;
}

}  // namespace

// ---------------------------------------------------------------- TControl

TControl::~TControl() {
  if (FKind != ckForm) {
    if (TForm* form = GetForm()) form->Forget(*this);
  }
  DestroyComponents();
  for (TControl* child : FChildren) child->FParent = nullptr;
  FChildren.clear();
  SetParent(nullptr);
}

void TControl::DestroyComponents() {
  // Last created first, as a designed form frees its components.
  while (!FComponents.empty()) {
    std::unique_ptr<TControl> last = std::move(FComponents.back());
    FComponents.pop_back();
    last.reset();
  }
}

bool TControl::NameIsFree(std::string_view name) const {
  if (name.empty()) return true;
  if (name.find('.') != std::string_view::npos) return false;  // the dot separates a frame from its control
  return std::none_of(FComponents.begin(), FComponents.end(),
                      [&](const auto& component) { return SameText(component->FName, name); });
}

void TControl::Adopt(std::unique_ptr<TControl> control, std::string_view name, TControl* parent) {
  TControl& adopted = *control;
  adopted.FName = name;
  adopted.FOwner = this;
  FComponents.push_back(std::move(control));
  adopted.SetParent(parent);
}

namespace {

// A named frame without an owner that sits somewhere inside Control, depth first.
TControl* FindHostedFrame(const TControl& control, std::string_view name) {
  for (TControl* child : control.Children()) {
    if (child->Kind() == ckFrame && child->Owner() == nullptr && SameText(child->Name(), name)) return child;
    if (TControl* found = FindHostedFrame(*child, name)) return found;
  }
  return nullptr;
}

}  // namespace

TControl* TControl::FindComponent(std::string_view name) const {
  const std::size_t dot = name.find('.');
  const std::string_view head = name.substr(0, dot);
  if (head.empty()) return nullptr;
  for (const auto& component : FComponents) {
    if (!SameText(component->FName, head)) continue;
    return dot == std::string_view::npos ? component.get() : component->FindComponent(name.substr(dot + 1));
  }
  // A form also reaches into the frames it shows that no owner keeps.
  if (FKind == ckForm && dot != std::string_view::npos) {
    if (TControl* frame = FindHostedFrame(*this, head)) return frame->FindComponent(name.substr(dot + 1));
  }
  return nullptr;
}

void TControl::Rename(std::string_view name) { Assign(FName, std::string(name), prName); }

std::unique_ptr<TControl> TControl::RemoveComponent(TControl& control) {
  const auto found = std::find_if(FComponents.begin(), FComponents.end(),
                                  [&](const auto& component) { return component.get() == &control; });
  if (found == FComponents.end()) return nullptr;
  std::unique_ptr<TControl> released = std::move(*found);
  TForm* before = released->GetForm();
  FComponents.erase(found);
  released->FOwner = nullptr;
  if (before != nullptr && before != released->GetForm()) before->Release(*released);
  return released;
}

void TControl::SetParent(TControl* parent) {
  if (parent == FParent) return;
  for (TControl* above = parent; above != nullptr; above = above->FParent) {
    if (above == this) return;  // a control cannot sit inside itself
  }
  TForm* before = FKind == ckForm ? nullptr : GetForm();
  if (TControl* old = FParent) {
    std::erase(old->FChildren, this);
    if (old->FKind == ckPageControl) {
      auto* pages = static_cast<TPageControl*>(old);
      if (pages->FActivePage == this) pages->FActivePage = nullptr;
    }
    if (FAlign != alNone) old->Realign();
  }
  FParent = parent;
  if (before != nullptr && before != GetForm()) before->Release(*this);
  if (parent == nullptr) return;
  parent->FChildren.push_back(this);
  Notify(prParent);
  if (parent->FKind == ckPageControl && FKind == ckTabSheet) {
    auto* pages = static_cast<TPageControl*>(parent);
    if (pages->FActivePage == nullptr) pages->SetActivePage(static_cast<TTabSheet*>(this));
  }
  if (FAlign != alNone) parent->Realign();
}

TForm* TControl::GetForm() const {
  for (const TControl* c = this; c != nullptr; c = c->FParent) {
    if (c->FKind == ckForm) return static_cast<TForm*>(const_cast<TControl*>(c));
  }
  for (const TControl* c = FOwner; c != nullptr; c = c->FOwner) {
    if (c->FKind == ckForm) return static_cast<TForm*>(const_cast<TControl*>(c));
  }
  return nullptr;
}

void TControl::Notify(TProperty property) {
  TForm* form = GetForm();
  if (form != nullptr && form->FObserver != nullptr) form->FObserver->PropertyChanged(*this, property);
}

bool TControl::AssignCaption(std::string_view caption) {
  if (FCaption == caption) return false;
  FCaption = caption;
  Notify(prCaption);
  return true;
}

void TControl::SetCaption(std::string_view caption) { AssignCaption(caption); }

void TControl::Fire(TChange change, TChangeSource source) {
  for (TEvent event : FiredEvents(FKind, change, source)) {
    if (HandlerAssigned(*this, event)) {
      TForm* form = GetForm();
      if (form != nullptr && form->FObserver != nullptr) form->FObserver->HandlerRuns(*this, event);
    }
    DoEvent(event);
  }
}

void TControl::DoEvent(TEvent event) {
  switch (event) {
    case evChange: InvokeNotify(OnChange, *this); break;
    case evClick: InvokeNotify(OnClick, *this); break;
    case evExit: InvokeNotify(OnExit, *this); break;
    case evEnter: InvokeNotify(OnEnter, *this); break;
    default: break;
  }
}

void TControl::SetBounds(const TRect& bounds) {
  if (bounds == FBounds) return;
  const int dWidth = bounds.Width - FBounds.Width;
  const int dHeight = bounds.Height - FBounds.Height;
  FBounds = bounds;
  Notify(prBounds);
  if (dWidth == 0 && dHeight == 0) return;
  const std::vector<TControl*> children = FChildren;
  for (TControl* child : children) child->ParentResized(dWidth, dHeight);
  Realign();
}

void TControl::SetAlign(TAlign align) {
  if (Assign(FAlign, align, prAlign) && FParent != nullptr) FParent->Realign();
}

void TControl::SetVisible(bool visible) {
  if (Assign(FVisible, visible, prVisible) && FAlign != alNone && FParent != nullptr) FParent->Realign();
}

void TControl::ParentResized(int dWidth, int dHeight) {
  if (FAlign != alNone) return;  // the parent's realignment places it
  TRect b = FBounds;
  const auto follow = [](int& position, int& size, bool nearSide, bool farSide, int delta) {
    if (nearSide && farSide) size = std::max(0, size + delta);
    else if (farSide) position += delta;
    else if (!nearSide) position += delta / 2;  // anchored to neither side: stays centred
  };
  follow(b.Left, b.Width, (FAnchors & akLeft) != 0, (FAnchors & akRight) != 0, dWidth);
  follow(b.Top, b.Height, (FAnchors & akTop) != 0, (FAnchors & akBottom) != 0, dHeight);
  SetBounds(b);
}

void TControl::Realign() {
  if (FRealigning) return;
  FRealigning = true;
  TRect free{0, 0, FBounds.Width, FBounds.Height};
  for (TAlign pass : {alTop, alBottom, alLeft, alRight, alClient}) {
    const std::vector<TControl*> children = FChildren;
    for (TControl* child : children) {
      if (child->FAlign != pass || !child->FVisible) continue;
      TRect b = child->FBounds;
      switch (pass) {
        case alTop:
          b = {free.Left, free.Top, free.Width, std::min(b.Height, free.Height)};
          free.Top += b.Height;
          free.Height -= b.Height;
          break;
        case alBottom:
          b = {free.Left, free.Top + free.Height - std::min(b.Height, free.Height), free.Width,
               std::min(b.Height, free.Height)};
          free.Height -= b.Height;
          break;
        case alLeft:
          b = {free.Left, free.Top, std::min(b.Width, free.Width), free.Height};
          free.Left += b.Width;
          free.Width -= b.Width;
          break;
        case alRight:
          b = {free.Left + free.Width - std::min(b.Width, free.Width), free.Top, std::min(b.Width, free.Width),
               free.Height};
          free.Width -= b.Width;
          break;
        default: b = free; break;
      }
      child->SetBounds(b);
    }
  }
  FRealigning = false;
}

bool TControl::Showing() const {
  for (const TControl* c = this; c != nullptr; c = c->FParent) {
    if (!c->FVisible) return false;
    if (c->FKind == ckTabSheet && c->FParent != nullptr && c->FParent->FKind == ckPageControl &&
        static_cast<const TPageControl*>(c->FParent)->ActivePage() != c)
      return false;
  }
  return true;
}

bool TControl::EffectivelyEnabled() const {
  for (const TControl* c = this; c != nullptr; c = c->FParent) {
    if (!c->FEnabled) return false;
  }
  return true;
}

bool TControl::Focused() const {
  const TForm* form = GetForm();
  return form != nullptr && form->FActiveControl == this;
}

void TControl::SetFocus() {
  TForm* form = GetForm();
  if (form == nullptr || !CanFocus() || !Showing() || !EffectivelyEnabled()) return;
  form->MoveFocus(this, srCode);
}

// ---------------------------------------------------------------- simple kinds

void TExternalFormPanel::SetContent(std::shared_ptr<TPanelContent> content) {
  FContent = std::move(content);
  Notify(prContent);
}

void TEdit::SetText(std::string_view text) { ChangeText(text, srCode); }

void TEdit::ChangeText(std::string_view text, TChangeSource source) {
  if (AssignCaption(text)) Fire(chText, source);
}

int TComboBox::IndexOf(std::string_view item) const { return IndexIn(FItems, item); }

void TComboBox::SetText(std::string_view text) {
  const int index = IndexOf(text);
  if (FStyle == csDropDownList) {
    Select(index, srCode);
    return;
  }
  Assign(FItemIndex, index, prItemIndex);
  if (AssignCaption(text)) Fire(chText, srCode);
}

void TComboBox::SetItems(std::vector<std::string> items) {
  const std::string kept = FItemIndex >= 0 ? Text() : std::string();
  FItems = std::move(items);
  Notify(prItems);
  const int index = FItemIndex >= 0 ? IndexOf(kept) : -1;
  Assign(FItemIndex, index, prItemIndex);
  if (FStyle == csDropDownList) AssignCaption(index >= 0 ? FItems[index] : std::string());
}

void TComboBox::AddItem(std::string_view item) {
  FItems.emplace_back(item);
  Notify(prItems);
}

void TComboBox::SetItemIndex(int index) { Select(index, srCode); }

void TComboBox::Select(int index, TChangeSource source) {
  if (index < -1 || index >= static_cast<int>(FItems.size())) index = -1;
  const bool changed = Assign(FItemIndex, index, prItemIndex);
  const bool textChanged = AssignCaption(index >= 0 ? FItems[index] : std::string());
  if (changed || textChanged) Fire(chItemIndex, source);
}

void TListBox::SetItems(std::vector<std::string> items) {
  FItems = std::move(items);
  Notify(prItems);
  Assign(FItemIndex, -1, prItemIndex);
}

void TListBox::AddItem(std::string_view item) {
  FItems.emplace_back(item);
  Notify(prItems);
}

void TListBox::SetItemIndex(int index) {
  if (index < -1 || index >= static_cast<int>(FItems.size())) index = -1;
  if (Assign(FItemIndex, index, prItemIndex)) Fire(chItemIndex, srCode);
}

std::string TListBox::SelectedText() const { return FItemIndex >= 0 ? FItems[FItemIndex] : std::string(); }

int TListBox::IndexOf(std::string_view item) const { return IndexIn(FItems, item); }

void TCheckBox::SetChecked(bool checked) { ChangeChecked(checked, srCode); }

void TCheckBox::ChangeChecked(bool checked, TChangeSource source) {
  if (Assign(FChecked, checked, prChecked)) Fire(chChecked, source);
}

void TRadioButton::SetChecked(bool checked) { ChangeChecked(checked, srCode); }

void TRadioButton::ChangeChecked(bool checked, TChangeSource source) {
  if (!Assign(FChecked, checked, prChecked) || !checked) return;
  if (Parent() != nullptr) {
    for (TControl* sibling : Parent()->Children()) {
      if (sibling == this || sibling->Kind() != ckRadioButton) continue;
      auto* radio = static_cast<TRadioButton*>(sibling);
      radio->Assign(radio->FChecked, false, prChecked);
    }
  }
  Fire(chChecked, source);
}

void TButton::Press(TChangeSource source) {
  TForm* form = GetForm();
  // The form takes the modal result before OnClick, so a handler may still take it back.
  if (form != nullptr && FModalResult != mrNone) form->AssignModalResult(FModalResult);
  Fire(chClick, source);
  if (form != nullptr && form->FInputDepth == 0) form->CheckClose(source);
}

std::vector<TTabSheet*> TPageControl::Pages() const {
  std::vector<TTabSheet*> pages;
  for (TControl* child : Children()) {
    if (child->Kind() == ckTabSheet) pages.push_back(static_cast<TTabSheet*>(child));
  }
  return pages;
}

void TPageControl::SetActivePage(TTabSheet* page) { ChangePage(page, srCode); }

void TPageControl::ChangePage(TTabSheet* page, TChangeSource source) {
  if (page != nullptr && page->Parent() != this) return;
  if (Assign(FActivePage, page, prActivePage)) Fire(chActivePage, source);
}

int TPageControl::ActivePageIndex() const {
  const std::vector<TTabSheet*> pages = Pages();
  const auto found = std::find(pages.begin(), pages.end(), FActivePage);
  return found == pages.end() ? -1 : static_cast<int>(found - pages.begin());
}

void TTabSet::SetTabs(std::vector<std::string> tabs) {
  FTabs = std::move(tabs);
  Notify(prItems);
  Assign(FTabIndex, FTabs.empty() ? -1 : 0, prItemIndex);
}

void TTabSet::SetTabIndex(int index) { ChangeTab(index, srCode); }

void TTabSet::ChangeTab(int index, TChangeSource source) {
  if (index < -1 || index >= static_cast<int>(FTabs.size())) return;
  if (Assign(FTabIndex, index, prItemIndex)) Fire(chTabIndex, source);
}

std::string TTabSet::SelectedTab() const { return FTabIndex >= 0 ? FTabs[FTabIndex] : std::string(); }

void TRichEdit::SetLines(std::vector<std::string> lines) { ChangeLines(std::move(lines), srCode); }

void TRichEdit::AddLine(std::string_view line) {
  std::vector<std::string> lines = FLines;
  lines.emplace_back(line);
  ChangeLines(std::move(lines), srCode);
}

void TRichEdit::SetText(std::string_view text) { ChangeLines(SplitLines(text), srCode); }

std::string TRichEdit::Text() const {
  std::string text;
  for (std::size_t i = 0; i < FLines.size(); ++i) {
    if (i > 0) text += '\r';
    text += FLines[i];
  }
  return text;
}

void TRichEdit::ChangeLines(std::vector<std::string> lines, TChangeSource source) {
  if (lines == FLines) return;
  FLines = std::move(lines);
  Notify(prLines);
  SetSelStart(FSelStart);
  Fire(chLines, source);
}

void TRichEdit::SetSelStart(int position) {
  const int length = static_cast<int>(Text().size());
  Assign(FSelStart, std::clamp(position, 0, length), prCaret);
}

TRichEdit::TCaret TRichEdit::CaretPos() const {
  int rest = FSelStart;
  for (std::size_t line = 0; line < FLines.size(); ++line) {
    const int length = static_cast<int>(FLines[line].size());
    if (rest <= length) return {static_cast<int>(line), rest};
    rest -= length + 1;
  }
  return {};
}

void TMenuItem::Click() { Pick(srCode); }

void TMenuItem::Pick(TChangeSource source) {
  if (FAutoCheck && Assign(FChecked, !FChecked, prChecked)) Fire(chChecked, source);
  Fire(chClick, source);
}

std::vector<TMenuItem*> TPopupMenu::Items() const {
  std::vector<TMenuItem*> items;
  for (TControl* child : Children()) {
    if (child->Kind() == ckMenuItem) items.push_back(static_cast<TMenuItem*>(child));
  }
  return items;
}

TMenuItem* TPopupMenu::AddItem(std::string_view name, std::string_view caption) {
  // Items are published by the menu's owner, like the menu itself.
  TControl* owner = Owner() != nullptr ? Owner() : this;
  TMenuItem* item = owner->Add<TMenuItem>(name, this);
  if (item != nullptr) item->SetCaption(caption);
  return item;
}

bool TPopupMenu::Shown() const {
  const TForm* form = GetForm();
  return form != nullptr && form->FShownMenu == this;
}

void TPopupMenu::Open(TChangeSource source) {
  Fire(chPopup, source);
  if (TForm* form = GetForm()) form->FShownMenu = this;
}

void TPopupMenu::DoEvent(TEvent event) {
  if (event == evPopup) InvokeNotify(OnPopup, *this);
  else TControl::DoEvent(event);
}

// ---------------------------------------------------------------- TForm

TForm::~TForm() {
  // Free the components while this is still a form, so that they can leave it cleanly.
  DestroyComponents();
  if (FObserver != nullptr) FObserver->ControlDestroyed(*this);
  FObserver = nullptr;
  FActiveControl = nullptr;
  FShownMenu = nullptr;
}

void TForm::Forget(TControl& control) {
  if (FActiveControl == &control) FActiveControl = nullptr;
  if (FFocusRedirect == &control) FFocusRedirect = nullptr;
  if (FShownMenu == &control) FShownMenu = nullptr;
  if (FObserver != nullptr) FObserver->ControlDestroyed(control);
}

void TForm::Release(TControl& leaving) {
  const auto inside = [&](const TControl* control) {
    for (; control != nullptr; control = control->FParent) {
      if (control == &leaving) return true;
    }
    return false;
  };
  // Without a notification: the control has left this form and its backend.
  if (inside(FActiveControl)) FActiveControl = nullptr;
  if (inside(FFocusRedirect)) FFocusRedirect = nullptr;
  if (inside(FShownMenu)) FShownMenu = nullptr;
}

void TForm::SetClientSize(int width, int height) { ChangeClientSize(width, height, srCode); }

void TForm::ChangeClientSize(int width, int height, TChangeSource source) {
  if (width == Width() && height == Height()) return;
  SetBounds({Left(), Top(), width, height});
  Fire(chClientSize, source);
}

void TForm::SetModalResult(TModalResult result) {
  AssignModalResult(result);
  if (FInputDepth == 0) CheckClose(srCode);
}

void TForm::CheckClose(TChangeSource source) {
  if (FModalResult == mrNone || FClosed || FCloseQueryRunning) return;
  FCloseQueryRunning = true;
  FCanClose = true;
  Fire(chModalResult, source);
  FCloseQueryRunning = false;
  if (FCanClose) {
    FClosed = true;
    Notify(prClosed);
  } else {
    AssignModalResult(mrNone);  // refused: the form stays open for more input
  }
}

void TForm::DoEvent(TEvent event) {
  switch (event) {
    case evResize: InvokeNotify(OnResize, *this); break;
    case evCloseQuery:
      if (auto handler = OnCloseQuery) handler(*this, FCanClose);
      break;
    default: TControl::DoEvent(event); break;
  }
}

bool TForm::MoveFocus(TControl* to, TChangeSource source) {
  if (FExiting) {
    // Asked from inside an OnExit handler: the move under way goes there instead.
    FFocusRedirected = true;
    FFocusRedirect = to;
    return false;
  }
  TControl* from = FActiveControl;
  if (from == to) return true;
  TControl* target = to;
  if (from != nullptr) {
    FExiting = true;
    FFocusRedirected = false;
    from->Fire(chFocusLost, source);
    FExiting = false;
    if (FFocusRedirected) target = FFocusRedirect;
    if (FActiveControl != from) return false;  // the control that had the focus is gone
    if (target == from) return false;
  }
  FActiveControl = target;
  if (from != nullptr) from->Notify(prFocus);
  if (target != nullptr) {
    target->Notify(prFocus);
    target->Fire(chFocusGained, source);
  }
  return target == to;
}

TInputResult TForm::FocusFor(TControl& control) {
  if (!control.CanFocus()) return irApplied;
  return MoveFocus(&control, srUser) ? irApplied : irFocusKept;
}

TInputResult TForm::Input(const TUserInput& input) {
  if (FBackendPushes > 0) return irEcho;
  if (FClosed) return irClosed;
  TControl* control = input.Control;
  if (control == nullptr) control = input.Target.empty() ? this : FindComponent(input.Target);
  if (control == nullptr || control->GetForm() != this) return irUnknownControl;
  ++FInputDepth;
  const TInputResult result = Apply(*control, input);
  --FInputDepth;
  if (input.Kind != uiPopup) FShownMenu = nullptr;  // any other input closes a shown menu
  if (FInputDepth == 0) CheckClose(srUser);
  return result;
}

namespace {

TButton* FindCancelButton(const TControl& owner) {
  for (const auto& component : owner.Components()) {
    if (component->Kind() == ckButton) {
      auto* button = static_cast<TButton*>(component.get());
      if (button->Cancel() && button->Showing() && button->EffectivelyEnabled()) return button;
    }
    if (TButton* inner = FindCancelButton(*component)) return inner;
  }
  return nullptr;
}

}  // namespace

TInputResult TForm::Apply(TControl& control, const TUserInput& input) {
  // Inputs that are not aimed at one reachable control.
  switch (input.Kind) {
    case uiResize:
      if (&control != this) return irWrongKind;
      if (input.Width < 0 || input.Height < 0) return irInvalidValue;
      ChangeClientSize(input.Width, input.Height, srUser);
      return irApplied;
    case uiCloseBox:
      if (&control != this) return irWrongKind;
      AssignModalResult(mrCancel);
      return irApplied;
    case uiEscape: {
      if (&control != this) return irWrongKind;
      TButton* cancel = FindCancelButton(*this);
      if (cancel == nullptr) return irNoButton;
      cancel->Press(srUser);  // Escape presses the button without moving the focus
      return irApplied;
    }
    case uiPickMenuItem: {
      if (control.Kind() != ckMenuItem) return irWrongKind;
      auto& item = static_cast<TMenuItem&>(control);
      if (item.Parent() == nullptr || item.Parent() != FShownMenu) return irMenuNotShown;
      if (!item.Visible()) return irInvisible;
      if (!item.Enabled()) return irDisabled;
      FShownMenu = nullptr;
      item.Pick(srUser);
      return irApplied;
    }
    case uiPopup: {
      TPopupMenu* menu = control.Kind() == ckPopupMenu ? static_cast<TPopupMenu*>(&control) : control.PopupMenu();
      if (menu == nullptr) return irWrongKind;
      if (&control != menu && !control.Showing()) return irInvisible;
      if (&control != menu && !control.EffectivelyEnabled()) return irDisabled;
      menu->Open(srUser);
      return irApplied;
    }
    default: break;
  }

  if (&control == this || control.Kind() == ckMenuItem || control.Kind() == ckPopupMenu) return irWrongKind;
  if (!control.Showing()) return irInvisible;
  if (!control.EffectivelyEnabled()) return irDisabled;
  const TControlKind kind = control.Kind();

  switch (input.Kind) {
    case uiFocus:
      if (!control.CanFocus()) return irWrongKind;
      return MoveFocus(&control, srUser) ? irApplied : irFocusKept;

    case uiLeave:
      if (FActiveControl != &control) return irNotFocused;
      return MoveFocus(nullptr, srUser) ? irApplied : irFocusKept;

    case uiTypeText: {
      if (kind == ckEdit) {
        auto& edit = static_cast<TEdit&>(control);
        if (edit.ReadOnly()) return irReadOnly;
        if (TInputResult r = FocusFor(edit); r != irApplied) return r;
        edit.ChangeText(input.Value, srUser);
        return irApplied;
      }
      if (kind == ckComboBox) {
        auto& combo = static_cast<TComboBox&>(control);
        if (combo.Style() == csDropDownList) return irReadOnly;
        if (TInputResult r = FocusFor(combo); r != irApplied) return r;
        combo.Assign(combo.FItemIndex, combo.IndexOf(input.Value), prItemIndex);
        if (combo.AssignCaption(input.Value)) combo.Fire(chText, srUser);
        return irApplied;
      }
      if (kind == ckRichEdit) {
        auto& editor = static_cast<TRichEdit&>(control);
        if (editor.ReadOnly()) return irReadOnly;
        if (TInputResult r = FocusFor(editor); r != irApplied) return r;
        editor.ChangeLines(SplitLines(input.Value), srUser);
        editor.SetSelStart(static_cast<int>(editor.Text().size()));
        return irApplied;
      }
      return irWrongKind;
    }

    case uiClick:
    case uiCheck: {
      if (input.Kind == uiCheck && kind != ckCheckBox) return irWrongKind;
      if (input.Kind == uiCheck && input.Value != "True" && input.Value != "False") return irInvalidValue;
      if (kind != ckButton && kind != ckCheckBox && kind != ckRadioButton) return irWrongKind;
      if (TInputResult r = FocusFor(control); r != irApplied) return r;
      if (kind == ckButton) {
        static_cast<TButton&>(control).Press(srUser);
      } else if (kind == ckCheckBox) {
        auto& box = static_cast<TCheckBox&>(control);
        box.ChangeChecked(input.Kind == uiCheck ? input.Value == "True" : !box.Checked(), srUser);
      } else {
        static_cast<TRadioButton&>(control).ChangeChecked(true, srUser);
      }
      return irApplied;
    }

    case uiSelectItem: {
      if (kind == ckComboBox) {
        auto& combo = static_cast<TComboBox&>(control);
        const int index = combo.IndexOf(input.Value);
        if (index < 0) return irNotInList;
        if (TInputResult r = FocusFor(combo); r != irApplied) return r;
        combo.Select(index, srUser);
        return irApplied;
      }
      if (kind == ckListBox) {
        auto& list = static_cast<TListBox&>(control);
        const int index = list.IndexOf(input.Value);
        if (index < 0) return irNotInList;
        if (TInputResult r = FocusFor(list); r != irApplied) return r;
        if (list.Assign(list.FItemIndex, index, prItemIndex)) list.Fire(chItemIndex, srUser);
        return irApplied;
      }
      return irWrongKind;
    }

    case uiChooseTab: {
      // Choosing a tab does not take the focus from the control being edited.
      if (kind == ckPageControl) {
        auto& pages = static_cast<TPageControl&>(control);
        for (TTabSheet* page : pages.Pages()) {
          if (page->Caption() != input.Value || !page->TabVisible()) continue;
          if (!page->Enabled()) return irDisabled;
          pages.ChangePage(page, srUser);
          return irApplied;
        }
        return irNotInList;
      }
      if (kind == ckTabSet) {
        auto& tabs = static_cast<TTabSet&>(control);
        const int index = IndexIn(tabs.Tabs(), input.Value);
        if (index < 0) return irNotInList;
        tabs.ChangeTab(index, srUser);
        return irApplied;
      }
      return irWrongKind;
    }

    case uiEditCell:
    case uiFocusRow: {
      if (kind != ckTreeList) return irWrongKind;
      auto& list = static_cast<TTreeList&>(control);
      TTreeListColumn* column = nullptr;
      if (input.Kind == uiEditCell) {
        if (TInputResult r = list.CheckEdit(input.Row, input.Column, input.Value, column); r != irApplied) return r;
      } else if (input.Row < 0 || input.Row >= list.RowCount()) {
        return irNoSuchRow;
      }
      if (TInputResult r = FocusFor(list); r != irApplied) return r;
      list.ChangeFocusedRow(input.Row, srUser);
      if (column != nullptr && input.Row < list.RowCount()) list.StoreEdit(input.Row, *column, input.Value);
      return irApplied;
    }

    default: return irWrongKind;
  }
}

// ---------------------------------------------------------------- names for transcripts

const char* ControlKindName(TControlKind kind) {
  static constexpr const char* names[] = {
      "Any",    "Form",        "Frame",    "Label",     "Edit",    "ComboBox",  "ListBox",
      "CheckBox", "RadioButton", "GroupBox", "Button",    "Panel",   "Splitter",  "PageControl",
      "TabSheet", "TabSet",      "RichEdit", "TreeList",  "PopupMenu", "MenuItem", "ExternalFormPanel"};
  return kind < std::size(names) ? names[kind] : "?";
}

const char* EventName(TEvent event) {
  static constexpr const char* names[] = {"",        "OnChange",             "OnClick", "OnExit",
                                          "OnEnter", "OnEdited",             "OnFocusedNodeChanged",
                                          "OnPopup", "OnCloseQuery",         "OnResize"};
  return event < std::size(names) ? names[event] : "?";
}

const char* PropertyName(TProperty property) {
  static constexpr const char* names[] = {
      "Name",    "Parent",  "Bounds",    "Align",    "Caption",    "Lines",      "Caret",   "Items",     "ItemIndex",
      "Checked", "Enabled", "Visible",   "ReadOnly", "TextColor",  "Color",      "Font",    "Focus",     "ActivePage",
      "Columns", "Rows",    "Cells",     "FocusedRow", "ModalResult", "Closed",  "Content", "Drawing"};
  return property < std::size(names) ? names[property] : "?";
}

const char* InputResultName(TInputResult result) {
  static constexpr const char* names[] = {
      "applied",    "unknown control", "wrong kind of control", "disabled",      "invisible",
      "read-only",  "not in the list", "invalid value",         "no such row",   "no such column",
      "focus kept", "not focused",     "menu not shown",        "no Cancel button", "form closed",
      "backend echo"};
  return result < std::size(names) ? names[result] : "?";
}

const char* UserInputKindName(TUserInputKind kind) {
  static constexpr const char* names[] = {"type", "focus", "leave", "click", "check", "select", "tab",
                                          "cell", "row",   "popup", "pick",  "resize", "escape", "close"};
  return kind < std::size(names) ? names[kind] : "?";
}

}  // namespace tolvex::ui
