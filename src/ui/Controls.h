// The retained control model the dialog and the frames are written against: controls as data, one door for user input.
#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "os/Os.h"
#include "ui/ControlEvents.h"
#include "ui/ModalResult.h"

namespace tolvex::ui {


class TControl;
class TForm;
class TPopupMenu;
class TPanelContent;

enum TColor : std::uint8_t { clWindowText, clGrayText, clWindow, clBtnFace };
enum TAlign : std::uint8_t { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum TAnchor : std::uint8_t { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };

struct TFont {
  std::string Name = "MS Sans Serif";
  int Size = 8;
  bool Bold = false;
  bool operator==(const TFont&) const = default;
};

struct TRect {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
  bool operator==(const TRect&) const = default;
};

// What a backend is told changed; one report per real change.
enum TProperty : std::uint8_t {
  prName,
  prParent,
  prBounds,
  prAlign,
  prCaption,  // caption or text
  prLines,
  prCaret,
  prItems,
  prItemIndex,
  prChecked,
  prEnabled,
  prVisible,
  prReadOnly,
  prTextColor,
  prColor,
  prFont,
  prFocus,
  prActivePage,
  prColumns,
  prRows,
  prCells,
  prFocusedRow,
  prModalResult,
  prClosed,
  prContent,
  prDrawing,  // an external form drew again; no property of its own, so no transcript state shows it
};
const char* PropertyName(TProperty property);

class TControlObserver {
 public:
  virtual ~TControlObserver() = default;
  virtual void PropertyChanged(TControl& control, TProperty property) = 0;
  virtual void ControlDestroyed(TControl& control) {}
  // An event handler assigned to Control is about to run for Event (events without a handler are not reported).
  virtual void HandlerRuns(TControl& /*control*/, TEvent /*event*/) {}
};

using TNotifyEvent = std::function<void(TControl& Sender)>;

// Base of every control. The owner frees it (and finds it by name); the parent is where it is drawn.
// The two are separate: a frame taken out of the dialog's owned components still sits on its panel.
class TControl {
 public:
  virtual ~TControl();
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;

  TControlKind Kind() const { return FKind; }
  const std::string& Name() const { return FName; }
  TControl* Owner() const { return FOwner; }
  TControl* Parent() const { return FParent; }
  const std::vector<TControl*>& Children() const { return FChildren; }
  const std::vector<std::unique_ptr<TControl>>& Components() const { return FComponents; }

  // Creates a control owned by this one. Gives null when the name is already taken in this owner
  // (names are compared without regard to case; empty names never clash).
  template <class T, class... Args>
  T* Add(std::string_view name, TControl* parent, Args&&... args) {
    if (!NameIsFree(name)) return nullptr;
    auto control = std::unique_ptr<T>(new T(std::forward<Args>(args)...));
    T* result = control.get();
    Adopt(std::move(control), name, parent);
    return result;
  }
  // An owned control by published name, letter case ignored; "Frame.Control" looks into an owned frame.
  TControl* FindComponent(std::string_view name) const;
  // Gives up ownership: the control keeps existing (and its parent) but is no longer found here.
  std::unique_ptr<TControl> RemoveComponent(TControl& control);

  void SetParent(TControl* parent);
  // The form the control is drawn on (through its parents), else the one that owns it.
  TForm* GetForm() const;

  const TRect& Bounds() const { return FBounds; }
  void SetBounds(const TRect& bounds);
  int Left() const { return FBounds.Left; }
  int Top() const { return FBounds.Top; }
  int Width() const { return FBounds.Width; }
  int Height() const { return FBounds.Height; }
  void SetLeft(int value) { SetBounds({value, FBounds.Top, FBounds.Width, FBounds.Height}); }
  void SetTop(int value) { SetBounds({FBounds.Left, value, FBounds.Width, FBounds.Height}); }
  void SetWidth(int value) { SetBounds({FBounds.Left, FBounds.Top, value, FBounds.Height}); }
  void SetHeight(int value) { SetBounds({FBounds.Left, FBounds.Top, FBounds.Width, value}); }
  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign align);
  unsigned Anchors() const { return FAnchors; }
  void SetAnchors(unsigned anchors) { FAnchors = anchors; }

  const std::string& Caption() const { return FCaption; }
  virtual void SetCaption(std::string_view caption);

  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool enabled) { Assign(FEnabled, enabled, prEnabled); }
  bool Visible() const { return FVisible; }
  void SetVisible(bool visible);
  // Visible here and in every parent, and on the active page where it sits on a page control.
  bool Showing() const;
  // Enabled here and in every parent.
  bool EffectivelyEnabled() const;

  TColor TextColor() const { return FTextColor; }
  void SetTextColor(TColor color) { Assign(FTextColor, color, prTextColor); }
  TColor Color() const { return FColor; }
  void SetColor(TColor color) { Assign(FColor, color, prColor); }
  const TFont& Font() const { return FFont; }
  void SetFont(const TFont& font) { Assign(FFont, font, prFont); }

  TPopupMenu* PopupMenu() const { return FPopupMenu; }
  void SetPopupMenu(TPopupMenu* menu) { FPopupMenu = menu; }

  // Whether the control can take the input focus at all (labels, panels and menus cannot).
  virtual bool CanFocus() const { return false; }
  bool Focused() const;
  // Moves the focus here from code: OnExit of the control that had it, then OnEnter here. An OnExit
  // handler that takes the focus itself (back to a wrong value) ends the move.
  void SetFocus();

  TNotifyEvent OnClick;
  TNotifyEvent OnChange;
  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;

 protected:
  explicit TControl(TControlKind kind) : FKind(kind) {}
  template <class T>
  bool Assign(T& field, const T& value, TProperty property) {
    if (field == value) return false;
    field = value;
    Notify(property);
    return true;
  }
  void Notify(TProperty property);
  // The published name of a control no owner gave one (a form, a frame that lives outside any owner).
  void Rename(std::string_view name);
  bool AssignCaption(std::string_view caption);
  // Fires what the event table says for this change, in its order.
  void Fire(TChange change, TChangeSource source);
  virtual void DoEvent(TEvent event);
  // The parent's size changed: follow the anchors, then the aligned children take their places.
  void ParentResized(int dWidth, int dHeight);
  void Realign();

 private:
  bool NameIsFree(std::string_view name) const;
  void Adopt(std::unique_ptr<TControl> control, std::string_view name, TControl* parent);
  void DestroyComponents();
  friend class TForm;

  TControlKind FKind;
  std::string FName;
  TControl* FOwner = nullptr;
  TControl* FParent = nullptr;
  std::vector<TControl*> FChildren;
  std::vector<std::unique_ptr<TControl>> FComponents;
  TRect FBounds;
  TAlign FAlign = alNone;
  unsigned FAnchors = akLeft | akTop;
  std::string FCaption;
  bool FEnabled = true;
  bool FVisible = true;
  TColor FTextColor = clWindowText;
  TColor FColor = clBtnFace;
  TFont FFont;
  TPopupMenu* FPopupMenu = nullptr;
  bool FRealigning = false;
};

class TLabel final : public TControl {
 public:
  TLabel() : TControl(ckLabel) {}
};

class TGroupBox final : public TControl {
 public:
  TGroupBox() : TControl(ckGroupBox) {}
};

class TPanel : public TControl {
 public:
  TPanel() : TControl(ckPanel) {}

 protected:
  explicit TPanel(TControlKind kind) : TControl(kind) {}
};

// A child control with its own designed layout; it owns its controls, so two frames may use the same names.
// A frame nobody owns (the editor frames, which the kind registry keeps) names itself; a form finds
// its controls as "Frame.Control" while the frame sits on the form.
class TFrame : public TControl {
 public:
  TFrame() : TControl(ckFrame) {}
  void SetName(std::string_view name) {
    if (Owner() == nullptr) Rename(name);
  }
};

class TSplitter final : public TControl {
 public:
  TSplitter() : TControl(ckSplitter) {}
};

// Hosts a form that lives outside the model (a painter's own window) in its own area. A backend shows
// DrawPanelContent (ui/Drawing.h) of the panel, again each time the content or its size changes.
class TExternalFormPanel final : public TPanel {
 public:
  TExternalFormPanel() : TPanel(ckExternalFormPanel) {}
  const std::shared_ptr<TPanelContent>& Content() const { return FContent; }
  void SetContent(std::shared_ptr<TPanelContent> content);
  // The content has something new to show (its form drew again): reported as prDrawing.
  void Redraw() { Notify(prDrawing); }

 private:
  std::shared_ptr<TPanelContent> FContent;
};

class TEdit final : public TControl {
 public:
  TEdit() : TControl(ckEdit) { SetColor(clWindow); }
  const std::string& Text() const { return Caption(); }
  void SetText(std::string_view text);  // fires OnChange when the text differs
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool value) { Assign(FReadOnly, value, prReadOnly); }
  bool CanFocus() const override { return true; }
  void SetCaption(std::string_view caption) override { SetText(caption); }

 private:
  friend class TForm;
  void ChangeText(std::string_view text, TChangeSource source);
  bool FReadOnly = false;
};

enum TComboBoxStyle : std::uint8_t { csDropDown, csDropDownList };

class TComboBox final : public TControl {
 public:
  TComboBox() : TControl(ckComboBox) { SetColor(clWindow); }
  const std::string& Text() const { return Caption(); }
  void SetText(std::string_view text);  // a drop-down list takes only one of its items' texts
  const std::vector<std::string>& Items() const { return FItems; }
  void SetItems(std::vector<std::string> items);  // keeps the selected text when it is still an item
  void AddItem(std::string_view item);
  void ClearItems() { SetItems({}); }
  int ItemIndex() const { return FItemIndex; }
  void SetItemIndex(int index);  // fires nothing
  int IndexOf(std::string_view item) const;
  TComboBoxStyle Style() const { return FStyle; }
  void SetStyle(TComboBoxStyle style) { FStyle = style; }
  int DropDownCount() const { return FDropDownCount; }
  void SetDropDownCount(int count) { FDropDownCount = count; }
  bool CanFocus() const override { return true; }
  void SetCaption(std::string_view caption) override { SetText(caption); }

 private:
  friend class TForm;
  void Select(int index, TChangeSource source);
  std::vector<std::string> FItems;
  int FItemIndex = -1;
  TComboBoxStyle FStyle = csDropDownList;
  int FDropDownCount = 8;
};

class TListBox final : public TControl {
 public:
  TListBox() : TControl(ckListBox) { SetColor(clWindow); }
  const std::vector<std::string>& Items() const { return FItems; }
  void SetItems(std::vector<std::string> items);  // no line selected afterwards
  void AddItem(std::string_view item);
  void ClearItems() { SetItems({}); }
  int ItemIndex() const { return FItemIndex; }
  void SetItemIndex(int index);  // fires nothing; out of range selects none
  std::string SelectedText() const;
  int IndexOf(std::string_view item) const;
  bool CanFocus() const override { return true; }

 private:
  friend class TForm;
  std::vector<std::string> FItems;
  int FItemIndex = -1;
};

class TCheckBox final : public TControl {
 public:
  TCheckBox() : TControl(ckCheckBox) {}
  bool Checked() const { return FChecked; }
  void SetChecked(bool checked);  // fires OnClick when the state changes
  bool CanFocus() const override { return true; }

 private:
  friend class TForm;
  void ChangeChecked(bool checked, TChangeSource source);
  bool FChecked = false;
};

// Radio buttons with the same parent form one group: checking one unchecks the others.
class TRadioButton final : public TControl {
 public:
  TRadioButton() : TControl(ckRadioButton) {}
  bool Checked() const { return FChecked; }
  void SetChecked(bool checked);  // becoming checked unchecks the siblings and fires OnClick
  bool CanFocus() const override { return true; }

 private:
  friend class TForm;
  void ChangeChecked(bool checked, TChangeSource source);
  bool FChecked = false;
};

class TButton final : public TControl {
 public:
  TButton() : TControl(ckButton) {}
  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult result) { FModalResult = result; }
  bool Default() const { return FDefault; }
  void SetDefault(bool value) { FDefault = value; }
  bool Cancel() const { return FCancel; }  // pressed by Escape
  void SetCancel(bool value) { FCancel = value; }
  // The press from code: the form takes the modal result first, then OnClick.
  void Click() { Press(srCode); }
  bool CanFocus() const override { return true; }

 private:
  friend class TForm;
  void Press(TChangeSource source);
  TModalResult FModalResult = mrNone;
  bool FDefault = false;
  bool FCancel = false;
};

// A page of a page control; its caption is the tab's text.
class TTabSheet final : public TControl {
 public:
  TTabSheet() : TControl(ckTabSheet) {}
  bool TabVisible() const { return FTabVisible; }
  void SetTabVisible(bool value) { Assign(FTabVisible, value, prVisible); }

 private:
  bool FTabVisible = true;
};

// Tabs with pages: the pages are the TTabSheet children, in order. Without pages it is only a frame.
class TPageControl final : public TControl {
 public:
  TPageControl() : TControl(ckPageControl) {}
  std::vector<TTabSheet*> Pages() const;
  TTabSheet* ActivePage() const { return FActivePage; }
  void SetActivePage(TTabSheet* page);  // fires nothing; a page that is not ours is ignored
  int ActivePageIndex() const;
  bool CanFocus() const override { return true; }

 private:
  friend class TForm;
  friend class TControl;
  void ChangePage(TTabSheet* page, TChangeSource source);
  TTabSheet* FActivePage = nullptr;
};

class TTabSet final : public TControl {
 public:
  TTabSet() : TControl(ckTabSet) {}
  const std::vector<std::string>& Tabs() const { return FTabs; }
  void SetTabs(std::vector<std::string> tabs);  // selects the first tab, or none
  int TabIndex() const { return FTabIndex; }
  void SetTabIndex(int index);  // fires nothing
  std::string SelectedTab() const;
  bool CanFocus() const override { return true; }

 private:
  friend class TForm;
  void ChangeTab(int index, TChangeSource source);
  std::vector<std::string> FTabs;
  int FTabIndex = -1;
};

// Text as lines with a caret. The caret is a character position in which each line break counts one,
// as in Text(), whose lines are joined by a carriage return.
class TRichEdit final : public TControl {
 public:
  struct TCaret {
    int Line = 0;
    int Column = 0;
    bool operator==(const TCaret&) const = default;
  };
  TRichEdit() : TControl(ckRichEdit) {
    SetColor(clWindow);
    SetFont({"Courier New", 8, false});
  }
  const std::vector<std::string>& Lines() const { return FLines; }
  void SetLines(std::vector<std::string> lines);  // fires OnChange when they differ
  void AddLine(std::string_view line);            // fires OnChange
  void ClearLines() { SetLines({}); }
  std::string Text() const;
  // Splits at CR LF, CR or LF; a final line break gives no empty last line.
  void SetText(std::string_view text);
  int SelStart() const { return FSelStart; }
  void SetSelStart(int position);  // kept within the text
  TCaret CaretPos() const;
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool value) { Assign(FReadOnly, value, prReadOnly); }
  bool CanFocus() const override { return true; }

 private:
  friend class TForm;
  void ChangeLines(std::vector<std::string> lines, TChangeSource source);
  std::vector<std::string> FLines;
  int FSelStart = 0;
  bool FReadOnly = false;
};

class TMenuItem final : public TControl {
 public:
  TMenuItem() : TControl(ckMenuItem) {}
  bool Checked() const { return FChecked; }
  void SetChecked(bool checked) { Assign(FChecked, checked, prChecked); }
  bool AutoCheck() const { return FAutoCheck; }
  void SetAutoCheck(bool value) { FAutoCheck = value; }
  void Click();  // OnClick, after the check of an auto-check item

 private:
  friend class TForm;
  void Pick(TChangeSource source);
  bool FChecked = false;
  bool FAutoCheck = false;
};

// Its items are the TMenuItem children, in order.
class TPopupMenu final : public TControl {
 public:
  TPopupMenu() : TControl(ckPopupMenu) {}
  std::vector<TMenuItem*> Items() const;
  TMenuItem* AddItem(std::string_view name, std::string_view caption);
  // OnPopup, then the menu is shown until an item is picked or the next input.
  void Popup() { Open(srCode); }
  bool Shown() const;

  TNotifyEvent OnPopup;

 protected:
  void DoEvent(TEvent event) override;

 private:
  friend class TForm;
  void Open(TChangeSource source);
};

// The toolkit's reason for an input it did not apply.
enum TInputResult : std::uint8_t {
  irApplied,
  irUnknownControl,
  irWrongKind,        // the input means nothing to that kind of control
  irDisabled,
  irInvisible,
  irReadOnly,
  irNotInList,        // an item, line, tab, page or pick-list value the control does not have
  irInvalidValue,     // a check cell that is neither of its two values; a size below zero
  irNoSuchRow,
  irNoSuchColumn,
  irFocusKept,        // leaving the focused control was refused by its OnExit handler
  irNotFocused,       // leaving a control that does not have the focus
  irMenuNotShown,
  irNoButton,         // Escape without a Cancel button
  irClosed,           // the form has closed
  irEcho,             // a backend's own push came back as input
};
const char* InputResultName(TInputResult result);

enum TUserInputKind : std::uint8_t {
  uiTypeText,    // the control's whole text becomes Value (edit, editable combo box, rich editor)
  uiFocus,       // click or tab into the control
  uiLeave,       // the focused control loses the focus
  uiClick,       // button, check box, radio button
  uiCheck,       // check box to Value "True" / "False" (a click when it differs)
  uiSelectItem,  // combo box item, list box line: Value is the item's text
  uiChooseTab,   // page control page or tab set tab: Value is the tab's text
  uiEditCell,    // tree list Row, Column (published name): Value is the new cell text
  uiFocusRow,    // tree list Row
  uiPopup,       // right click on a control with a popup menu (or the menu itself)
  uiPickMenuItem,
  uiResize,      // the form's client area to Width by Height
  uiEscape,      // presses the Cancel button
  uiCloseBox,    // modal result Cancel, then OnCloseQuery
};
const char* UserInputKindName(TUserInputKind kind);

struct TUserInput {
  TUserInputKind Kind = uiClick;
  std::string Target;          // published name ("Frame.Control" inside an owned frame); empty for the form
  TControl* Control = nullptr;  // instead of Target, for a backend that knows its control
  std::string Value;
  int Row = -1;
  std::string Column;
  int Width = 0;
  int Height = 0;
};

class TForm : public TControl {
 public:
  TForm() : TControl(ckForm) {}
  ~TForm() override;
  void SetName(std::string_view name) { Rename(name); }

  int ClientWidth() const { return Width(); }
  int ClientHeight() const { return Height(); }
  void SetClientSize(int width, int height);  // OnResize when it changes

  // The native window the form is modal to when it is shown on a screen (the host's main window); 0 for none.
  std::intptr_t OwnerWindow() const { return FOwnerWindow; }
  void SetOwnerWindow(std::intptr_t window) { FOwnerWindow = window; }

  TModalResult ModalResult() const { return FModalResult; }
  // From code; a non-zero result closes the form once the handler that set it has returned, if OnCloseQuery lets it.
  void SetModalResult(TModalResult result);
  bool Closed() const { return FClosed; }

  TControl* ActiveControl() const { return FActiveControl; }
  TControlObserver* Observer() const { return FObserver; }
  void SetObserver(TControlObserver* observer) { FObserver = observer; }

  // The one door for user input, whatever its source: applies it and fires the events a user's action fires.
  TInputResult Input(const TUserInput& input);

  // Held by a backend while it pushes model values into its native widgets: the native notifications
  // that come back meanwhile are its own echo and are not taken as input.
  class TBackendPush {
   public:
    explicit TBackendPush(TForm& form) : FForm(form) { ++FForm.FBackendPushes; }
    ~TBackendPush() { --FForm.FBackendPushes; }
    TBackendPush(const TBackendPush&) = delete;
    TBackendPush& operator=(const TBackendPush&) = delete;

   private:
    TForm& FForm;
  };

  std::function<void(TForm& Sender, bool& CanClose)> OnCloseQuery;
  TNotifyEvent OnResize;

 protected:
  void DoEvent(TEvent event) override;

 private:
  friend class TControl;
  friend class TPopupMenu;
  friend class TButton;
  // Moves the focus; false when the OnExit of the control that had it kept it.
  bool MoveFocus(TControl* to, TChangeSource source);
  TInputResult Apply(TControl& control, const TUserInput& input);
  TInputResult FocusFor(TControl& control);
  void ChangeClientSize(int width, int height, TChangeSource source);
  void AssignModalResult(TModalResult result) { Assign(FModalResult, result, prModalResult); }
  void CheckClose(TChangeSource source);
  void Forget(TControl& control);
  // A control (and what sits in it) no longer belongs to this form: it drops the form's focus.
  void Release(TControl& leaving);

  TModalResult FModalResult = mrNone;
  bool FClosed = false;
  bool FCloseQueryRunning = false;
  int FInputDepth = 0;
  TControl* FActiveControl = nullptr;
  TPopupMenu* FShownMenu = nullptr;
  TControlObserver* FObserver = nullptr;
  bool FExiting = false;  // an OnExit handler runs: a focus move it asks for redirects the one under way
  bool FFocusRedirected = false;
  TControl* FFocusRedirect = nullptr;
  bool FCanClose = true;
  int FBackendPushes = 0;
  std::intptr_t FOwnerWindow = 0;
};

}  // namespace tolvex::ui
