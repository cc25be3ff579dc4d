// One form drawn with Qt widgets while it runs modally: a widget per control, every model change pushed in, native input sent through the form's one door.
#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>

#include <exception>
#include <functional>
#include <unordered_map>
#include <vector>

#include "ui/Controls.h"
#include "ui/TreeList.h"

class QFrame;
class QMenu;
class QTabBar;
class QWidget;

namespace tolvex::qt {

class TQtFormView;

// The dialog of a form. It never closes by itself: Escape, the close box and a resize by the user
// are input for the model, which decides.
class TFormDialog final : public QDialog {
 public:
  TFormDialog(TQtFormView& view, QWidget* parent);
  void reject() override {}

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  TQtFormView& FView;
};

// While it exists it is the form's observer (passing every report on to the observer it replaced)
// and owns the dialog; destroying it restores the observer and deletes every widget.
class TQtFormView final : public ui::TControlObserver {
 public:
  // The name of the dynamic property that ties a widget to its control (the control's address).
  static constexpr const char* ControlProperty = "tolvexControl";

  TQtFormView(ui::TForm& form, QWidget* owner);
  ~TQtFormView() override;
  TQtFormView(const TQtFormView&) = delete;
  TQtFormView& operator=(const TQtFormView&) = delete;

  QDialog& Dialog() const { return *FDialog; }
  // Shows the dialog, centred on its owner (or its screen), with the model's focus.
  void Show();
  // Called once the form has closed (prClosed).
  void SetOnClosed(std::function<void()> onClosed) { FOnClosed = std::move(onClosed); }
  // What a handler called from a native notification threw; the modal loop ends and rethrows it.
  std::exception_ptr Error() const { return FError; }
  // Drops the widgets of controls that left the form without a report (detached to no parent).
  void Prune();

  // The one door: user input for the model, unless it is the echo of a push. The control's widget
  // is put back to the model's state afterwards, so an input the model refused leaves no trace.
  ui::TInputResult Send(ui::TUserInput input);
  bool Pushing() const { return FPushDepth > 0 || FClosing; }
  ui::TForm* Form() const { return FForm; }

  void PropertyChanged(ui::TControl& control, ui::TProperty property) override;
  void ControlDestroyed(ui::TControl& control) override;
  void HandlerRuns(ui::TControl& control, ui::TEvent event) override;

  // For the event filter and the tree list's delegate.
  bool FilterEvent(QObject* watched, QEvent* event);
  ui::TTreeList* TreeListOf(const QWidget* widget) const;

 private:
  struct TView {
    ui::TControl* Control = nullptr;
    ui::TControlKind Kind = ui::ckAny;
    QPointer<QWidget> Widget;  // stands for the control; the children's widgets sit in it
    QPointer<QTabBar> Tabs;    // a page control's tabs
    QPointer<QFrame> Pane;     // a page control's frame around its pages
    std::vector<ui::TTabSheet*> TabPages;  // the page each tab shows
  };
  // Pushes model values into widgets: the form takes native notifications meanwhile as echo.
  class TPush {
   public:
    explicit TPush(TQtFormView& view);
    ~TPush();
    TPush(const TPush&) = delete;
    TPush& operator=(const TPush&) = delete;

   private:
    TQtFormView& FView;
    ui::TForm::TBackendPush FModelPush;
  };
  class TEventFilter;

  TView* Find(const ui::TControl* control);
  ui::TControl* ControlOf(const QObject* object) const;
  QWidget* ParentWidgetFor(const ui::TControl& control);
  bool HasWidget(ui::TControlKind kind) const { return kind != ui::ckPopupMenu && kind != ui::ckMenuItem; }
  void CreateTree(ui::TControl& control);
  QWidget* CreateWidget(TView& view, QWidget* parent);
  void Connect(TView& view);
  void DestroyView(const ui::TControl* control);

  void SyncAll(TView& view);
  void Sync(TView& view, ui::TProperty property);
  void SyncBounds(TView& view);
  void SyncCaption(TView& view);
  void SyncVisible(TView& view);
  void SyncPalette(TView& view);
  void SyncFont(TView& view);
  void SyncFocus(TView& view);
  void SyncItems(TView& view);
  void SyncLines(TView& view);
  void SyncCaret(TView& view);
  void SyncPages(TView& view);
  void SyncColumns(TView& view);
  void SyncCells(TView& view);
  void SyncFocusedRow(TView& view);
  void SyncChecked(TView& view);
  void SyncReadOnly(TView& view);
  void SyncDrawing(TView& view);
  void LayoutPageControl(TView& view);
  void PageControlOf(ui::TControl& page);

  void FocusGained(ui::TControl& control, Qt::FocusReason reason);
  void FocusLost(ui::TControl& control, Qt::FocusReason reason);
  void RestoreModelFocus();
  void ShowPopupMenu(ui::TControl& control, const QPoint& globalPosition);
  void Fail();

  ui::TForm* FForm;
  ui::TControlObserver* FOuter;
  TFormDialog* FDialog = nullptr;
  std::unique_ptr<TEventFilter> FFilter;
  std::unordered_map<const ui::TControl*, TView> FViews;
  int FPushDepth = 0;
  bool FClosing = false;
  bool FPaintingContent = false;  // an external form paints: its own redraw reports wait for the next change
  ui::TControl* FInputControl = nullptr;  // the control whose native notification is being sent
  ui::TControl* FFocusKept = nullptr;     // a refused focus move gives the focus back here, soon
  std::vector<ui::TControl*> FShownMenu;  // the popup menu being shown and its items, while alive
  std::function<void()> FOnClosed;
  std::exception_ptr FError;
  friend class TFormDialog;
};

}  // namespace tolvex::qt
