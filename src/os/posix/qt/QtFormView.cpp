// The form's widgets: one per control at the model's pixel bounds, model changes pushed in under the form's backend push, native notifications turned into model input.
#include "os/posix/qt/QtFormView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFocusEvent>
#include <QFont>
#include <QFontDatabase>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPaintEvent>
#include <QPlainTextEdit>
#include <QPolygon>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTextBlock>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <limits>
#include <string>
#include <unordered_set>

#include "support/TextUtils.h"
#include "ui/Drawing.h"

namespace tolvex::qt {

using namespace tolvex::ui;

namespace {

QString Q(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
std::string U(const QString& text) { return text.toUtf8().toStdString(); }

// The model's lines of a text: breaks at CR LF, CR or LF, and a final break gives no empty last line.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += '\n';
    text += lines[i];
  }
  return text;
}

QStringList ToList(const std::vector<std::string>& items) {
  QStringList list;
  list.reserve(static_cast<qsizetype>(items.size()));
  for (const std::string& item : items) list.push_back(Q(item));
  return list;
}

// The dialog font "MS Sans Serif" has no match here: the platform's sans serif at the same size;
// "Courier New" is the platform's fixed font.
QFont FontFor(const TFont& font) {
  QFont result;
  if (UpperCaseAscii(font.Name).find("COURIER") != std::string::npos) {
    result = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    result.setStyleHint(QFont::TypeWriter);
  } else {
    result = QFont(QStringLiteral("Sans Serif"));
    result.setStyleHint(QFont::SansSerif);
  }
  result.setPointSize(font.Size > 0 ? font.Size : 8);
  result.setBold(font.Bold);
  return result;
}

bool IsPanelKind(TControlKind kind) { return kind == ckPanel || kind == ckExternalFormPanel; }

class TDrawingPanel;

// The in-place editors of a tree list's cells. Nothing is written into the widget's items: the
// edit goes to the model, whose change comes back as a push.
class TCellDelegate final : public QStyledItemDelegate {
 public:
  TCellDelegate(TQtFormView& view, QTreeWidget& tree) : QStyledItemDelegate(&tree), FView(view), FTree(tree) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override {
    const TTreeList* list = FView.TreeListOf(&FTree);
    const TTreeListColumn* column = ColumnOf(list, index);
    if (column == nullptr || list->ReadOnly() || column->ReadOnly() || column->Kind() == tcCheck) return nullptr;
    if (column->Kind() == tcPickList) {
      auto* combo = new QComboBox(parent);
      combo->addItems(ToList(column->Items()));
      return combo;
    }
    auto* edit = new QLineEdit(parent);
    edit->setFrame(false);
    edit->setMaxLength(std::numeric_limits<int>::max());
    return edit;
  }

  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    const TTreeList* list = FView.TreeListOf(&FTree);
    const TTreeListColumn* column = ColumnOf(list, index);
    if (column == nullptr) return;
    const QString cell = Q(list->Cell(index.row(), *column));
    if (auto* combo = qobject_cast<QComboBox*>(editor)) combo->setCurrentIndex(combo->findText(cell));
    else if (auto* edit = qobject_cast<QLineEdit*>(editor)) edit->setText(cell);
  }

  void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
    TTreeList* list = FView.TreeListOf(&FTree);
    const TTreeListColumn* column = ColumnOf(list, index);
    if (column == nullptr) return;
    TUserInput input;
    input.Kind = uiEditCell;
    input.Control = list;
    input.Row = index.row();
    input.Column = column->Name();
    if (auto* combo = qobject_cast<QComboBox*>(editor)) input.Value = U(combo->currentText());
    else if (auto* edit = qobject_cast<QLineEdit*>(editor)) input.Value = U(edit->text());
    else return;
    // An edit that changes nothing is no edit (the model would only take the focus).
    if (input.Value == list->Cell(input.Row, *column)) return;
    FView.Send(std::move(input));
  }

  // A read-only check cell does not toggle at all, rather than toggling and being put back.
  bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
    const TTreeList* list = FView.TreeListOf(&FTree);
    const TTreeListColumn* column = ColumnOf(list, index);
    if (column != nullptr && column->Kind() == tcCheck && (list->ReadOnly() || column->ReadOnly())) {
      const QEvent::Type type = event->type();
      if (type == QEvent::MouseButtonRelease || type == QEvent::MouseButtonDblClick || type == QEvent::KeyPress)
        return type != QEvent::KeyPress || static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space ||
               static_cast<QKeyEvent*>(event)->key() == Qt::Key_Select;
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
  }

 private:
  static const TTreeListColumn* ColumnOf(const TTreeList* list, const QModelIndex& index) {
    if (list == nullptr || !index.isValid() || index.row() >= list->RowCount()) return nullptr;
    const auto& columns = list->Columns();
    return index.column() >= 0 && index.column() < static_cast<int>(columns.size()) ? columns[index.column()].get()
                                                                                       : nullptr;
  }

  TQtFormView& FView;
  QTreeWidget& FTree;
};

// An external-form panel: the drawing its content made, painted as every backend paints it (the
// SVG form's geometry), or its caption centred while it has none.
class TDrawingPanel final : public QFrame {
 public:
  explicit TDrawingPanel(QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Raised);
  }
  void SetDrawing(TDrawing drawing) {
    if (drawing == FDrawing) return;
    FDrawing = std::move(drawing);
    update();
  }
  void SetCaption(const QString& caption) {
    if (caption == FCaption) return;
    FCaption = caption;
    update();
  }
  const TDrawing& Drawing() const { return FDrawing; }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (FDrawing.Shapes.empty()) {
      painter.drawText(rect(), Qt::AlignCenter, FCaption);
      return;
    }
    painter.setClipRect(rect());
    for (const TShape& shape : FDrawing.Shapes) PaintShape(painter, shape);
  }

 private:
  static QColor Colour(TRgb rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

  static void PaintShape(QPainter& painter, const TShape& shape) {
    const std::vector<TDrawingPoint>& p = shape.Points;
    painter.setPen(shape.PenWidth > 0 ? QPen(Colour(shape.Pen), shape.PenWidth) : QPen(Qt::NoPen));
    painter.setBrush(shape.Fill == kNoFill ? QBrush(Qt::NoBrush) : QBrush(Colour(shape.Fill)));
    const auto box = [&] { return QRect(QPoint(p[0].X, p[0].Y), QPoint(p[1].X, p[1].Y)).normalized(); };
    QPolygon polygon;
    for (const TDrawingPoint& point : p) polygon << QPoint(point.X, point.Y);
    switch (shape.Kind) {
      case shLine:
        if (p.size() == 2) painter.drawLine(p[0].X, p[0].Y, p[1].X, p[1].Y);
        break;
      case shRectangle:
        if (p.size() == 2) painter.drawRect(QRectF(box()).adjusted(0, 0, 0, 0));
        break;
      case shPolyline:
        if (!p.empty()) painter.drawPolyline(polygon);
        break;
      case shPolygon:
        if (!p.empty()) painter.drawPolygon(polygon);
        break;
      case shEllipse:
        if (p.size() == 2) painter.drawEllipse(QRectF(box()));
        break;
      case shArc: {
        if (p.size() != 2 || shape.SweepAngle == 0) break;
        painter.setBrush(Qt::NoBrush);
        // Both count degrees counter-clockwise from three o'clock; Qt in sixteenths.
        if (shape.SweepAngle >= 360 || shape.SweepAngle <= -360) painter.drawEllipse(QRectF(box()));
        else painter.drawArc(QRectF(box()), shape.StartAngle * 16, shape.SweepAngle * 16);
        break;
      }
      case shText: {
        if (p.size() != 1 || shape.Text.empty()) break;
        QFont font(QStringLiteral("Sans Serif"));
        font.setStyleHint(QFont::SansSerif);
        font.setPixelSize(std::max(1, shape.FontHeight));
        painter.setFont(font);
        painter.setPen(Colour(shape.Pen));
        const QString text = Q(shape.Text);
        const double width = QFontMetricsF(font).horizontalAdvance(text);
        const double x = shape.HAlign == haCenter ? -width / 2 : shape.HAlign == haRight ? -width : 0.0;
        // The box reaches 0.8 of the height above the baseline and 0.2 below, as in the SVG form.
        const double h = shape.FontHeight;
        const double y = shape.VAlign == vaTop ? 0.8 * h : shape.VAlign == vaMiddle ? 0.3 * h
                         : shape.VAlign == vaBottom ? -0.2 * h : 0.0;
        painter.save();
        painter.translate(p[0].X, p[0].Y);
        if (shape.Rotation != 0) painter.rotate(-shape.Rotation);
        painter.drawText(QPointF(x, y), text);
        painter.restore();
        break;
      }
    }
  }

  TDrawing FDrawing;
  QString FCaption;
};

}  // namespace

// ------------------------------------------------------------------ the dialog

TFormDialog::TFormDialog(TQtFormView& view, QWidget* parent) : QDialog(parent), FView(view) {
  setSizeGripEnabled(false);
}

void TFormDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    TUserInput input;
    input.Kind = uiEscape;
    FView.Send(input);
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);  // Enter presses the default button
}

void TFormDialog::closeEvent(QCloseEvent* event) {
  event->ignore();
  TUserInput input;
  input.Kind = uiCloseBox;
  FView.Send(input);
}

void TFormDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  const TForm* form = FView.Form();
  if (FView.Pushing() || form == nullptr) return;
  if (event->size().width() == form->ClientWidth() && event->size().height() == form->ClientHeight()) return;
  TUserInput input;
  input.Kind = uiResize;
  input.Width = event->size().width();
  input.Height = event->size().height();
  FView.Send(input);
}

// ------------------------------------------------------------------ the view

class TQtFormView::TEventFilter final : public QObject {
 public:
  explicit TEventFilter(TQtFormView& view) : FView(view) {}
  bool eventFilter(QObject* watched, QEvent* event) override { return FView.FilterEvent(watched, event); }

 private:
  TQtFormView& FView;
};

TQtFormView::TPush::TPush(TQtFormView& view) : FView(view), FModelPush(*view.FForm) { ++FView.FPushDepth; }
TQtFormView::TPush::~TPush() { --FView.FPushDepth; }

TQtFormView::TQtFormView(TForm& form, QWidget* owner)
    : FForm(&form), FOuter(form.Observer()), FFilter(std::make_unique<TEventFilter>(*this)) {
  FDialog = new TFormDialog(*this, owner);
  FDialog->setWindowModality(owner != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
  TView& view = FViews[&form];
  view.Control = &form;
  view.Kind = ckForm;
  view.Widget = FDialog;
  FDialog->setProperty(ControlProperty, QVariant::fromValue(reinterpret_cast<quintptr>(&form)));
  FDialog->setObjectName(Q(form.Name()));
  form.SetObserver(this);
  TPush push(*this);
  SyncAll(view);
  for (TControl* child : form.Children()) CreateTree(*child);
}

TQtFormView::~TQtFormView() {
  FClosing = true;
  if (FForm != nullptr && FForm->Observer() == this) FForm->SetObserver(FOuter);
  FViews.clear();
  delete FDialog;
}

void TQtFormView::Show() {
  QWidget* owner = FDialog->parentWidget();
  const QRect area = owner != nullptr && owner->isVisible() ? owner->geometry()
                     : FDialog->screen() != nullptr      ? FDialog->screen()->availableGeometry()
                                                         : QRect();
  if (area.isValid()) FDialog->move(area.center() - FDialog->rect().center());
  {
    TPush push(*this);
    FDialog->show();
    FDialog->activateWindow();
  }
  // The model's focus once the window is active; until then Qt keeps it to itself.
  QTimer::singleShot(0, FDialog, [this] {
    if (FForm == nullptr || FClosing) return;
    if (TView* view = Find(FForm->ActiveControl())) {
      TPush push(*this);
      SyncFocus(*view);
    }
  });
}

TQtFormView::TView* TQtFormView::Find(const TControl* control) {
  if (control == nullptr) return nullptr;
  const auto found = FViews.find(control);
  return found == FViews.end() ? nullptr : &found->second;
}

TControl* TQtFormView::ControlOf(const QObject* object) const {
  for (; object != nullptr; object = object->parent()) {
    const QVariant value = object->property(ControlProperty);
    if (!value.isValid()) continue;
    const auto* control = reinterpret_cast<const TControl*>(value.value<quintptr>());
    const auto found = FViews.find(control);
    // A widget whose control has gone (and whose address may have been reused) belongs to nobody.
    if (found == FViews.end() || found->second.Widget != object) return nullptr;
    return found->second.Control;
  }
  return nullptr;
}

TTreeList* TQtFormView::TreeListOf(const QWidget* widget) const {
  TControl* control = ControlOf(widget);
  return control != nullptr && control->Kind() == ckTreeList ? static_cast<TTreeList*>(control) : nullptr;
}

QWidget* TQtFormView::ParentWidgetFor(const TControl& control) {
  const TControl* parent = control.Parent();
  if (parent == nullptr) return nullptr;
  const TView* view = Find(parent);
  return view != nullptr ? view->Widget.data() : nullptr;
}

// ------------------------------------------------------------------ creating and destroying widgets

void TQtFormView::CreateTree(TControl& control) {
  if (!HasWidget(control.Kind()) || Find(&control) != nullptr) return;
  QWidget* parent = ParentWidgetFor(control);
  if (parent == nullptr) return;
  TView& view = FViews[&control];
  view.Control = &control;
  view.Kind = control.Kind();
  QWidget* widget = CreateWidget(view, parent);
  view.Widget = widget;
  widget->setProperty(ControlProperty, QVariant::fromValue(reinterpret_cast<quintptr>(&control)));
  widget->setObjectName(Q(control.Name()));
  widget->installEventFilter(FFilter.get());
  if (view.Tabs) view.Tabs->installEventFilter(FFilter.get());
  if (auto* area = qobject_cast<QAbstractScrollArea*>(widget)) area->viewport()->installEventFilter(FFilter.get());
  Connect(view);
  SyncAll(view);
  const std::vector<TControl*> children = control.Children();
  for (TControl* child : children) CreateTree(*child);
  // What depends on the children: a panel's caption, a page control's tabs.
  if (TView* created = Find(&control)) {
    if (IsPanelKind(created->Kind)) SyncCaption(*created);
    if (created->Kind == ckPageControl) SyncPages(*created);
  }
  if (TView* parentView = Find(control.Parent())) {
    if (IsPanelKind(parentView->Kind)) SyncCaption(*parentView);
    if (parentView->Kind == ckPageControl) SyncPages(*parentView);
  }
}

QWidget* TQtFormView::CreateWidget(TView& view, QWidget* parent) {
  TControl& control = *view.Control;
  switch (view.Kind) {
    case ckLabel: {
      auto* label = new QLabel(parent);
      label->setTextFormat(Qt::PlainText);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      return label;
    }
    case ckEdit: {
      auto* edit = new QLineEdit(parent);
      // The model's texts may be long (a model location of thousands of characters): none is cut.
      edit->setMaxLength(std::numeric_limits<int>::max());
      return edit;
    }
    case ckComboBox: {
      auto* combo = new QComboBox(parent);
      if (static_cast<TComboBox&>(control).Style() == csDropDown) {
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->lineEdit()->setMaxLength(std::numeric_limits<int>::max());
      }
      combo->setMaxVisibleItems(std::max(1, static_cast<TComboBox&>(control).DropDownCount()));
      return combo;
    }
    case ckListBox: return new QListWidget(parent);
    case ckCheckBox: return new QCheckBox(parent);
    case ckRadioButton: {
      // The model unchecks the siblings itself.
      auto* radio = new QRadioButton(parent);
      radio->setAutoExclusive(false);
      return radio;
    }
    case ckGroupBox: return new QGroupBox(parent);
    case ckButton: {
      auto* button = new QPushButton(parent);
      button->setDefault(static_cast<TButton&>(control).Default());
      return button;
    }
    case ckPageControl: {
      auto* frame = new QFrame(parent);
      view.Pane = new QFrame(frame);
      view.Pane->setFrameShape(QFrame::StyledPanel);
      view.Pane->setFrameShadow(QFrame::Raised);
      view.Tabs = new QTabBar(frame);
      view.Tabs->setDrawBase(false);
      view.Tabs->setExpanding(false);
      view.Tabs->setFocusPolicy(Qt::StrongFocus);
      return frame;
    }
    case ckTabSet: {
      auto* tabs = new QTabBar(parent);
      tabs->setShape(QTabBar::RoundedSouth);
      tabs->setDrawBase(true);
      tabs->setExpanding(false);
      return tabs;
    }
    case ckRichEdit: {
      auto* editor = new QPlainTextEdit(parent);
      editor->setLineWrapMode(QPlainTextEdit::NoWrap);
      editor->setWordWrapMode(QTextOption::NoWrap);
      return editor;
    }
    case ckTreeList: {
      auto* tree = new QTreeWidget(parent);
      tree->setRootIsDecorated(false);
      tree->setUniformRowHeights(true);
      tree->setAllColumnsShowFocus(true);
      tree->setSelectionBehavior(QAbstractItemView::SelectRows);
      tree->setSelectionMode(QAbstractItemView::SingleSelection);
      tree->header()->setStretchLastSection(false);
      tree->header()->setSectionsMovable(false);
      tree->setItemDelegate(new TCellDelegate(*this, *tree));
      return tree;
    }
    case ckSplitter: {
      auto* line = new QFrame(parent);
      line->setFrameShadow(QFrame::Sunken);
      return line;
    }
    case ckExternalFormPanel: return new TDrawingPanel(parent);
    case ckPanel: {
      // A label is a frame that can centre a caption: "No Part Preview Available".
      auto* panel = new QLabel(parent);
      panel->setTextFormat(Qt::PlainText);
      panel->setAlignment(Qt::AlignCenter);
      panel->setFrameShape(QFrame::StyledPanel);
      panel->setFrameShadow(QFrame::Raised);
      return panel;
    }
    case ckTabSheet:
    case ckFrame:
    default: return new QWidget(parent);
  }
}

void TQtFormView::Connect(TView& view) {
  TControl* control = view.Control;
  QWidget* widget = view.Widget;
  const auto send = [this, control](TUserInputKind kind, std::string value = {}) {
    if (Find(control) == nullptr) return;
    TUserInput input;
    input.Kind = kind;
    input.Control = control;
    input.Value = std::move(value);
    Send(std::move(input));
  };
  switch (view.Kind) {
    case ckEdit:
      QObject::connect(static_cast<QLineEdit*>(widget), &QLineEdit::textEdited, widget,
                       [send](const QString& text) { send(uiTypeText, U(text)); });
      break;
    case ckComboBox: {
      auto* combo = static_cast<QComboBox*>(widget);
      QObject::connect(combo, &QComboBox::activated, widget,
                       [send, combo](int index) { send(uiSelectItem, U(combo->itemText(index))); });
      if (combo->lineEdit() != nullptr)
        QObject::connect(combo->lineEdit(), &QLineEdit::textEdited, widget,
                         [send](const QString& text) { send(uiTypeText, U(text)); });
      break;
    }
    case ckListBox: {
      auto* list = static_cast<QListWidget*>(widget);
      QObject::connect(list, &QListWidget::currentRowChanged, widget, [send, list](int row) {
        if (row >= 0 && list->item(row) != nullptr) send(uiSelectItem, U(list->item(row)->text()));
      });
      break;
    }
    case ckCheckBox:
    case ckRadioButton:
    case ckButton:
      QObject::connect(static_cast<QAbstractButton*>(widget), &QAbstractButton::clicked, widget,
                       [send] { send(uiClick); });
      break;
    case ckPageControl:
      QObject::connect(view.Tabs.data(), &QTabBar::currentChanged, widget, [this, control, send](int index) {
        TView* current = Find(control);
        if (current == nullptr || index < 0 || index >= static_cast<int>(current->TabPages.size())) return;
        send(uiChooseTab, current->TabPages[static_cast<std::size_t>(index)]->Caption());
      });
      break;
    case ckTabSet: {
      auto* tabs = static_cast<QTabBar*>(widget);
      QObject::connect(tabs, &QTabBar::currentChanged, widget, [send, tabs](int index) {
        if (index >= 0) send(uiChooseTab, U(tabs->tabText(index)));
      });
      break;
    }
    case ckRichEdit: {
      auto* editor = static_cast<QPlainTextEdit*>(widget);
      QObject::connect(editor, &QPlainTextEdit::textChanged, widget,
                       [send, editor] { send(uiTypeText, U(editor->toPlainText())); });
      break;
    }
    case ckTreeList: {
      auto* tree = static_cast<QTreeWidget*>(widget);
      QObject::connect(tree, &QTreeWidget::currentItemChanged, widget,
                       [this, control, tree](QTreeWidgetItem* current, QTreeWidgetItem*) {
                         if (current == nullptr || Find(control) == nullptr) return;
                         TUserInput input;
                         input.Kind = uiFocusRow;
                         input.Control = control;
                         input.Row = tree->indexOfTopLevelItem(current);
                         Send(std::move(input));
                       });
      QObject::connect(tree, &QTreeWidget::itemChanged, widget,
                       [this, control, tree](QTreeWidgetItem* item, int column) {
                         TView* current = Find(control);
                         if (current == nullptr) return;
                         auto& list = static_cast<TTreeList&>(*control);
                         if (column < 0 || column >= static_cast<int>(list.Columns().size())) return;
                         const TTreeListColumn& target = *list.Columns()[static_cast<std::size_t>(column)];
                         if (target.Kind() != tcCheck) return;
                         TUserInput input;
                         input.Kind = uiEditCell;
                         input.Control = control;
                         input.Row = tree->indexOfTopLevelItem(item);
                         input.Column = target.Name();
                         input.Value = item->checkState(column) == Qt::Checked ? target.CheckedValue()
                                                                                 : target.UncheckedValue();
                         Send(std::move(input));
                       });
      break;
    }
    default: break;
  }
}

void TQtFormView::DestroyView(const TControl* control) {
  const auto found = FViews.find(control);
  if (found == FViews.end()) return;
  QPointer<QWidget> widget = found->second.Widget;
  FViews.erase(found);
  if (widget.isNull() || widget == FDialog) return;
  // The widgets of the controls inside it go with it.
  for (auto it = FViews.begin(); it != FViews.end();) {
    if (it->second.Widget.isNull() || widget->isAncestorOf(it->second.Widget)) it = FViews.erase(it);
    else ++it;
  }
  widget->hide();
  // Later: the widget may be the one whose notification is being handled.
  widget->deleteLater();
}

void TQtFormView::Prune() {
  if (FForm == nullptr || FClosing) return;
  std::unordered_set<const TControl*> live;
  std::vector<const TControl*> stack{FForm};
  while (!stack.empty()) {
    const TControl* control = stack.back();
    stack.pop_back();
    live.insert(control);
    for (const TControl* child : control->Children()) stack.push_back(child);
  }
  std::vector<const TControl*> gone;
  for (const auto& [control, view] : FViews) {
    if (!live.contains(control)) gone.push_back(control);
  }
  if (gone.empty()) return;
  TPush push(*this);
  for (const TControl* control : gone) DestroyView(control);
}

// ------------------------------------------------------------------ observer

void TQtFormView::PropertyChanged(TControl& control, TProperty property) {
  if (!FClosing && FForm != nullptr) {
    TPush push(*this);
    TView* view = Find(&control);
    if (view != nullptr && view->Kind != control.Kind()) {
      // A new control at the address of one that went without a report.
      DestroyView(&control);
      view = nullptr;
    }
    if (view == nullptr) {
      if (HasWidget(control.Kind()) && control.GetForm() == FForm) CreateTree(control);
    } else if (property == prParent) {
      QWidget* parent = ParentWidgetFor(control);
      if (parent == nullptr || control.GetForm() != FForm) {
        DestroyView(&control);
      } else {
        if (view->Widget->parentWidget() != parent) view->Widget->setParent(parent);
        SyncBounds(*view);
        SyncVisible(*view);
        // Tabs, captions and page visibility of whatever it left and joined.
        for (auto& [other, otherView] : FViews) {
          if (otherView.Kind == ckPageControl) SyncPages(otherView);
          else if (IsPanelKind(otherView.Kind)) SyncCaption(otherView);
        }
      }
    } else {
      Sync(*view, property);
    }
  }
  if (FOuter != nullptr) FOuter->PropertyChanged(control, property);
  if (property == prClosed && &control == FForm && FOnClosed) FOnClosed();
}

void TQtFormView::ControlDestroyed(TControl& control) {
  std::erase(FShownMenu, &control);
  if (FFocusKept == &control) FFocusKept = nullptr;
  if (FInputControl == &control) FInputControl = nullptr;
  if (&control == FForm) {
    // The form itself: nothing is left to restore or to push into.
    FForm = nullptr;
    FViews.clear();
  } else if (!FClosing && FForm != nullptr && Find(&control) != nullptr) {
    TPush push(*this);
    DestroyView(&control);
  }
  if (FOuter != nullptr) FOuter->ControlDestroyed(control);
  if (FForm == nullptr && FOnClosed) FOnClosed();
}

void TQtFormView::HandlerRuns(TControl& control, TEvent event) {
  if (FOuter != nullptr) FOuter->HandlerRuns(control, event);
}

// ------------------------------------------------------------------ pushing model values

void TQtFormView::SyncAll(TView& view) {
  SyncFont(view);
  SyncPalette(view);
  SyncCaption(view);
  SyncItems(view);
  SyncLines(view);
  SyncChecked(view);
  SyncReadOnly(view);
  SyncColumns(view);
  SyncCells(view);
  SyncFocusedRow(view);
  SyncBounds(view);
  SyncDrawing(view);
  if (view.Kind != ckForm) view.Widget->setEnabled(view.Control->Enabled());
  SyncVisible(view);
  SyncFocus(view);
}

void TQtFormView::Sync(TView& view, TProperty property) {
  switch (property) {
    case prName: view.Widget->setObjectName(Q(view.Control->Name())); break;
    case prBounds:
    case prAlign:
      SyncBounds(view);
      SyncDrawing(view);
      break;
    case prCaption: SyncCaption(view); break;
    case prLines: SyncLines(view); break;
    case prCaret: SyncCaret(view); break;
    case prItems:
    case prItemIndex: SyncItems(view); break;
    case prChecked: SyncChecked(view); break;
    case prEnabled:
      if (view.Kind != ckForm) view.Widget->setEnabled(view.Control->Enabled());
      if (view.Kind == ckTabSheet) PageControlOf(*view.Control);
      break;
    case prVisible: SyncVisible(view); break;
    case prReadOnly: SyncReadOnly(view); break;
    case prTextColor:
    case prColor: SyncPalette(view); break;
    case prFont: SyncFont(view); break;
    case prFocus: SyncFocus(view); break;
    case prActivePage: SyncPages(view); break;
    case prColumns:
      SyncColumns(view);
      SyncCells(view);
      break;
    case prRows:
    case prCells:
      SyncCells(view);
      SyncFocusedRow(view);
      break;
    case prFocusedRow: SyncFocusedRow(view); break;
    case prContent:
    case prDrawing: SyncDrawing(view); break;
    default: break;
  }
}

void TQtFormView::PageControlOf(TControl& page) {
  if (TView* parent = Find(page.Parent()); parent != nullptr && parent->Kind == ckPageControl) SyncPages(*parent);
}

void TQtFormView::SyncBounds(TView& view) {
  const TRect& b = view.Control->Bounds();
  if (view.Kind == ckForm) {
    if (FDialog->size() != QSize(b.Width, b.Height)) FDialog->resize(b.Width, b.Height);
    return;
  }
  int width = b.Width;
  // A label is at least as wide as its text (one without a width exactly so): the designed widths
  // were measured in a narrower font than this platform's, and a cut caption tells the user nothing.
  if (view.Kind == ckLabel) width = std::max(width, view.Widget->sizeHint().width());
  const QRect geometry(b.Left, b.Top, std::max(0, width), std::max(0, b.Height));
  if (view.Widget->geometry() != geometry) view.Widget->setGeometry(geometry);
  if (view.Kind == ckSplitter) {
    auto* line = static_cast<QFrame*>(view.Widget.data());
    line->setFrameShape(b.Width >= b.Height ? QFrame::HLine : QFrame::VLine);
  }
  if (view.Kind == ckPageControl) LayoutPageControl(view);
}

void TQtFormView::LayoutPageControl(TView& view) {
  auto& pageControl = static_cast<TPageControl&>(*view.Control);
  auto* frame = static_cast<QFrame*>(view.Widget.data());
  const std::vector<TTabSheet*> pages = pageControl.Pages();
  if (pages.empty()) {
    // Without pages it is only a frame.
    frame->setFrameShape(QFrame::StyledPanel);
    view.Tabs->hide();
    view.Pane->hide();
    return;
  }
  frame->setFrameShape(QFrame::NoFrame);
  int top = pages.front()->Top();
  for (const TTabSheet* page : pages) top = std::min(top, page->Top());
  top = std::max(top, 2);
  const int width = pageControl.Width();
  view.Tabs->setGeometry(0, 0, width, top);
  view.Pane->setGeometry(0, top - 2, width, std::max(0, pageControl.Height() - top + 2));
  view.Pane->lower();
  view.Tabs->raise();
  view.Tabs->show();
  view.Pane->show();
}

void TQtFormView::SyncPages(TView& view) {
  if (view.Kind != ckPageControl) return;
  auto& pageControl = static_cast<TPageControl&>(*view.Control);
  const std::vector<TTabSheet*> pages = pageControl.Pages();
  QTabBar& tabs = *view.Tabs;
  const QSignalBlocker blocker(tabs);
  if (pages != view.TabPages) {
    while (tabs.count() > 0) tabs.removeTab(tabs.count() - 1);
    for (const TTabSheet* page : pages) tabs.addTab(Q(page->Caption()));
    view.TabPages = pages;
  }
  for (int i = 0; i < static_cast<int>(pages.size()); ++i) {
    const TTabSheet& page = *pages[static_cast<std::size_t>(i)];
    if (tabs.tabText(i) != Q(page.Caption())) tabs.setTabText(i, Q(page.Caption()));
    tabs.setTabVisible(i, page.TabVisible());
    tabs.setTabEnabled(i, page.Enabled());
  }
  tabs.setCurrentIndex(pageControl.ActivePageIndex());
  LayoutPageControl(view);
  for (TTabSheet* page : pages) {
    if (TView* pageView = Find(page)) SyncVisible(*pageView);
  }
}

void TQtFormView::SyncCaption(TView& view) {
  TControl& control = *view.Control;
  QWidget* widget = view.Widget;
  const QString caption = Q(control.Caption());
  switch (view.Kind) {
    case ckForm: FDialog->setWindowTitle(caption); break;
    case ckLabel:
      static_cast<QLabel*>(widget)->setText(caption);
      SyncBounds(view);
      break;
    case ckButton:
    case ckCheckBox:
    case ckRadioButton: static_cast<QAbstractButton*>(widget)->setText(caption); break;
    case ckGroupBox: static_cast<QGroupBox*>(widget)->setTitle(caption); break;
    case ckPanel:
      // A panel shows its caption only while nothing sits on it.
      static_cast<QLabel*>(widget)->setText(control.Children().empty() ? caption : QString());
      break;
    case ckExternalFormPanel:
      static_cast<TDrawingPanel*>(widget)->SetCaption(control.Children().empty() ? caption : QString());
      break;
    case ckTabSheet: PageControlOf(control); break;
    case ckEdit: {
      auto* edit = static_cast<QLineEdit*>(widget);
      const QSignalBlocker blocker(edit);
      if (edit->text() != caption) edit->setText(caption);
      break;
    }
    case ckComboBox: {
      auto* combo = static_cast<QComboBox*>(widget);
      const QSignalBlocker blocker(combo);
      if (combo->isEditable() && combo->currentText() != caption) combo->setEditText(caption);
      break;
    }
    default: break;
  }
}

void TQtFormView::SyncItems(TView& view) {
  QWidget* widget = view.Widget;
  switch (view.Kind) {
    case ckComboBox: {
      const auto& combo = static_cast<const TComboBox&>(*view.Control);
      auto* box = static_cast<QComboBox*>(widget);
      const QSignalBlocker blocker(box);
      const QStringList items = ToList(combo.Items());
      bool same = box->count() == items.size();
      for (int i = 0; same && i < items.size(); ++i) same = box->itemText(i) == items[i];
      if (!same) {
        box->clear();
        box->addItems(items);
      }
      if (box->currentIndex() != combo.ItemIndex()) box->setCurrentIndex(combo.ItemIndex());
      if (box->isEditable() && box->currentText() != Q(combo.Text())) box->setEditText(Q(combo.Text()));
      break;
    }
    case ckListBox: {
      const auto& listBox = static_cast<const TListBox&>(*view.Control);
      auto* list = static_cast<QListWidget*>(widget);
      const QSignalBlocker blocker(list);
      const QStringList items = ToList(listBox.Items());
      bool same = list->count() == items.size();
      for (int i = 0; same && i < items.size(); ++i) same = list->item(i)->text() == items[i];
      if (!same) {
        list->clear();
        list->addItems(items);
      }
      if (list->currentRow() != listBox.ItemIndex()) list->setCurrentRow(listBox.ItemIndex());
      if (listBox.ItemIndex() < 0) list->clearSelection();
      break;
    }
    case ckTabSet: {
      const auto& tabSet = static_cast<const TTabSet&>(*view.Control);
      auto* tabs = static_cast<QTabBar*>(widget);
      const QSignalBlocker blocker(tabs);
      const QStringList items = ToList(tabSet.Tabs());
      bool same = tabs->count() == items.size();
      for (int i = 0; same && i < items.size(); ++i) same = tabs->tabText(i) == items[i];
      if (!same) {
        while (tabs->count() > 0) tabs->removeTab(tabs->count() - 1);
        for (const QString& item : items) tabs->addTab(item);
      }
      if (tabs->currentIndex() != tabSet.TabIndex()) tabs->setCurrentIndex(tabSet.TabIndex());
      break;
    }
    case ckPageControl: SyncPages(view); break;
    default: break;
  }
}

void TQtFormView::SyncLines(TView& view) {
  if (view.Kind != ckRichEdit) return;
  const auto& editor = static_cast<const TRichEdit&>(*view.Control);
  auto* text = static_cast<QPlainTextEdit*>(view.Widget.data());
  // The widget's text as the model would split it: typing that the model took as it was stays untouched.
  if (SplitLines(U(text->toPlainText())) != editor.Lines()) {
    const QSignalBlocker blocker(text);
    text->setPlainText(Q(JoinLines(editor.Lines())));
  }
  SyncCaret(view);
}

void TQtFormView::SyncCaret(TView& view) {
  if (view.Kind != ckRichEdit || view.Control == FInputControl) return;  // the typist's caret is the caret
  const auto& editor = static_cast<const TRichEdit&>(*view.Control);
  auto* text = static_cast<QPlainTextEdit*>(view.Widget.data());
  // The model counts bytes with one for each line break; the widget counts characters, one per break too.
  const std::string joined = JoinLines(editor.Lines());
  const std::size_t bytes = std::min(static_cast<std::size_t>(std::max(0, editor.SelStart())), joined.size());
  const int position = static_cast<int>(Q(joined.substr(0, bytes)).size());
  QTextCursor cursor = text->textCursor();
  if (cursor.position() == position) return;
  const QSignalBlocker blocker(text);
  cursor.setPosition(std::min(position, text->document()->characterCount() - 1));
  text->setTextCursor(cursor);
  text->ensureCursorVisible();
}

void TQtFormView::SyncChecked(TView& view) {
  if (view.Kind == ckCheckBox || view.Kind == ckRadioButton) {
    const bool checked = view.Kind == ckCheckBox ? static_cast<const TCheckBox&>(*view.Control).Checked()
                                                 : static_cast<const TRadioButton&>(*view.Control).Checked();
    auto* button = static_cast<QAbstractButton*>(view.Widget.data());
    const QSignalBlocker blocker(button);
    if (button->isChecked() != checked) button->setChecked(checked);
  }
}

void TQtFormView::SyncReadOnly(TView& view) {
  switch (view.Kind) {
    case ckEdit:
      static_cast<QLineEdit*>(view.Widget.data())->setReadOnly(static_cast<const TEdit&>(*view.Control).ReadOnly());
      break;
    case ckRichEdit:
      static_cast<QPlainTextEdit*>(view.Widget.data())
          ->setReadOnly(static_cast<const TRichEdit&>(*view.Control).ReadOnly());
      break;
    case ckTreeList: {
      const bool readOnly = static_cast<const TTreeList&>(*view.Control).ReadOnly();
      static_cast<QTreeWidget*>(view.Widget.data())
          ->setEditTriggers(readOnly ? QAbstractItemView::NoEditTriggers
                                     : QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                                           QAbstractItemView::EditKeyPressed);
      break;
    }
    default: break;
  }
}

void TQtFormView::SyncDrawing(TView& view) {
  if (view.Kind != ckExternalFormPanel || FPaintingContent) return;
  // The content paints at the panel's size; what it draws is kept until it changes again.
  FPaintingContent = true;
  TDrawing drawing = DrawPanelContent(static_cast<const TExternalFormPanel&>(*view.Control));
  FPaintingContent = false;
  if (TView* current = Find(view.Control); current != nullptr && current->Widget)
    static_cast<TDrawingPanel*>(current->Widget.data())->SetDrawing(std::move(drawing));
}

void TQtFormView::SyncPalette(TView& view) {
  if (view.Kind == ckForm) return;
  QWidget* widget = view.Widget;
  const TControl& control = *view.Control;
  QPalette palette;  // nothing set: the widget takes its parent's
  if (control.TextColor() == clGrayText) {
    const QPalette base = FDialog->palette();
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
      palette.setColor(QPalette::Active, role, base.color(QPalette::Disabled, role));
      palette.setColor(QPalette::Inactive, role, base.color(QPalette::Disabled, role));
    }
  }
  // Only the containers paint a colour of their own; edits and lists have the window colour already.
  const bool windowColor = control.Color() == clWindow && (IsPanelKind(view.Kind) || view.Kind == ckFrame ||
                                                          view.Kind == ckLabel || view.Kind == ckTabSheet ||
                                                          view.Kind == ckGroupBox);
  if (windowColor) palette.setColor(QPalette::Window, FDialog->palette().color(QPalette::Base));
  widget->setAutoFillBackground(windowColor);
  widget->setPalette(palette);
}

void TQtFormView::SyncFont(TView& view) {
  const QFont font = FontFor(view.Control->Font());
  if (view.Widget->font() != font) view.Widget->setFont(font);
  if (view.Kind == ckLabel) SyncBounds(view);
}

void TQtFormView::SyncVisible(TView& view) {
  if (view.Kind == ckForm) return;
  const TControl& control = *view.Control;
  bool visible = control.Visible();
  // A page shows while it is its page control's active page.
  if (view.Kind == ckTabSheet && control.Parent() != nullptr && control.Parent()->Kind() == ckPageControl)
    visible = visible && static_cast<const TPageControl*>(control.Parent())->ActivePage() == &control;
  if (view.Widget->isHidden() == visible) view.Widget->setVisible(visible);
  // A page's TabVisible changes arrive as prVisible too.
  if (view.Kind == ckTabSheet) {
    if (TView* parent = Find(control.Parent()); parent != nullptr && parent->Kind == ckPageControl && parent->Tabs) {
      const auto& pages = parent->TabPages;
      const auto found = std::find(pages.begin(), pages.end(), &control);
      if (found != pages.end()) {
        const QSignalBlocker blocker(parent->Tabs.data());
        parent->Tabs->setTabVisible(static_cast<int>(found - pages.begin()),
                                    static_cast<const TTabSheet&>(control).TabVisible());
      }
    }
  }
}

void TQtFormView::SyncFocus(TView& view) {
  if (FForm == nullptr || FForm->ActiveControl() != view.Control) return;
  QWidget* target = view.Tabs ? view.Tabs.data() : view.Widget.data();
  if (QApplication::focusWidget() != target && target->isEnabled()) target->setFocus(Qt::OtherFocusReason);
}

void TQtFormView::SyncColumns(TView& view) {
  if (view.Kind != ckTreeList) return;
  const auto& list = static_cast<const TTreeList&>(*view.Control);
  auto* tree = static_cast<QTreeWidget*>(view.Widget.data());
  const QSignalBlocker blocker(tree);
  const int count = static_cast<int>(list.Columns().size());
  if (tree->columnCount() != count) tree->setColumnCount(count);
  QStringList captions;
  for (const auto& column : list.Columns()) captions.push_back(Q(column->Caption()));
  QTreeWidgetItem* header = tree->headerItem();
  for (int i = 0; i < count; ++i) {
    if (header->text(i) != captions[i]) header->setText(i, captions[i]);
    const TTreeListColumn& column = *list.Columns()[static_cast<std::size_t>(i)];
    if (tree->columnWidth(i) != column.Width()) tree->setColumnWidth(i, column.Width());
    if (tree->isColumnHidden(i) == column.Visible()) tree->setColumnHidden(i, !column.Visible());
  }
}

void TQtFormView::SyncCells(TView& view) {
  if (view.Kind != ckTreeList) return;
  const auto& list = static_cast<const TTreeList&>(*view.Control);
  auto* tree = static_cast<QTreeWidget*>(view.Widget.data());
  const QSignalBlocker blocker(tree);
  // In place: a cell edit being committed still has its row.
  while (tree->topLevelItemCount() > list.RowCount()) delete tree->takeTopLevelItem(tree->topLevelItemCount() - 1);
  while (tree->topLevelItemCount() < list.RowCount()) tree->addTopLevelItem(new QTreeWidgetItem);
  bool anyCheck = false;
  for (const auto& column : list.Columns()) anyCheck = anyCheck || column->Kind() == tcCheck;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (!list.ReadOnly()) flags |= Qt::ItemIsEditable;
  if (anyCheck && !list.ReadOnly()) flags |= Qt::ItemIsUserCheckable;
  for (int row = 0; row < list.RowCount(); ++row) {
    QTreeWidgetItem* item = tree->topLevelItem(row);
    if (item->flags() != flags) item->setFlags(flags);
    for (int i = 0; i < static_cast<int>(list.Columns().size()); ++i) {
      const TTreeListColumn& column = *list.Columns()[static_cast<std::size_t>(i)];
      if (column.Kind() == tcCheck) {
        const Qt::CheckState state = list.CellChecked(row, column) ? Qt::Checked : Qt::Unchecked;
        if (item->data(i, Qt::CheckStateRole).isNull() || item->checkState(i) != state) item->setCheckState(i, state);
        if (!item->text(i).isEmpty()) item->setText(i, QString());
      } else {
        const QString cell = Q(list.Cell(row, column));
        if (item->text(i) != cell) item->setText(i, cell);
      }
    }
  }
}

void TQtFormView::SyncFocusedRow(TView& view) {
  if (view.Kind != ckTreeList) return;
  const auto& list = static_cast<const TTreeList&>(*view.Control);
  auto* tree = static_cast<QTreeWidget*>(view.Widget.data());
  const QSignalBlocker blocker(tree);
  QTreeWidgetItem* wanted = list.FocusedRow() >= 0 ? tree->topLevelItem(list.FocusedRow()) : nullptr;
  if (tree->currentItem() != wanted) {
    if (wanted != nullptr) tree->setCurrentItem(wanted);
    else {
      tree->setCurrentItem(nullptr);
      tree->clearSelection();
    }
  }
}

// ------------------------------------------------------------------ native input

TInputResult TQtFormView::Send(TUserInput input) {
  if (Pushing() || FForm == nullptr || FError) return irEcho;
  // A refused focus move is being undone: what the user did meanwhile (the click on the button that
  // could not take the focus) does not happen.
  if (FFocusKept != nullptr && input.Control != FFocusKept) return irFocusKept;
  TControl* outerInput = FInputControl;
  FInputControl = input.Control;
  TInputResult result = irEcho;
  try {
    result = FForm->Input(input);
  } catch (...) {
    // A handler's failure must not unwind through Qt: the modal loop ends and hands it on.
    FError = std::current_exception();
  }
  FInputControl = outerInput;
  if (FError) {
    Fail();
    return result;
  }
  if (FForm == nullptr || FClosing) return result;
  TControl* target = input.Control != nullptr ? input.Control : FForm;
  if (TView* view = Find(target)) {
    TPush push(*this);
    SyncAll(*view);
    // A radio button the user clicked unchecks nothing by itself: its siblings follow the model.
    if (view->Kind == ckRadioButton && target->Parent() != nullptr) {
      for (TControl* sibling : target->Parent()->Children()) {
        if (TView* other = Find(sibling)) SyncChecked(*other);
      }
    }
  }
  if (result == irFocusKept) RestoreModelFocus();
  return result;
}

void TQtFormView::Fail() {
  if (FOnClosed) FOnClosed();
}

void TQtFormView::RestoreModelFocus() {
  if (FForm == nullptr) return;
  FFocusKept = FForm->ActiveControl();
  if (FFocusKept == nullptr) return;
  QTimer::singleShot(0, FDialog, [this] {
    TControl* kept = FFocusKept;
    FFocusKept = nullptr;
    if (TView* view = Find(kept); view != nullptr && FForm != nullptr && !FClosing) {
      TPush push(*this);
      SyncFocus(*view);
    }
  });
}

bool TQtFormView::FilterEvent(QObject* watched, QEvent* event) {
  if (Pushing() || FForm == nullptr) return false;
  switch (event->type()) {
    case QEvent::FocusIn:
    case QEvent::FocusOut: {
      TControl* control = ControlOf(watched);
      if (control == nullptr || control == FForm) return false;
      const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
      if (event->type() == QEvent::FocusIn) FocusGained(*control, reason);
      else FocusLost(*control, reason);
      return false;
    }
    case QEvent::ContextMenu: {
      TControl* control = ControlOf(watched);
      if (control == nullptr || control->PopupMenu() == nullptr) return false;
      ShowPopupMenu(*control, static_cast<QContextMenuEvent*>(event)->globalPos());
      return true;
    }
    default: return false;
  }
}

void TQtFormView::FocusGained(TControl& control, Qt::FocusReason reason) {
  // The window coming back or a popup closing is no move of the user's: the model's focus stays.
  if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) {
    if (FForm->ActiveControl() != nullptr && FForm->ActiveControl() != &control && FFocusKept == nullptr)
      RestoreModelFocus();
    return;
  }
  if (FFocusKept != nullptr || !control.CanFocus() || FForm->ActiveControl() == &control) return;
  TUserInput input;
  input.Kind = uiFocus;
  input.Control = &control;
  Send(std::move(input));
}

void TQtFormView::FocusLost(TControl& control, Qt::FocusReason reason) {
  if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return;
  if (FFocusKept != nullptr || FForm->ActiveControl() != &control) return;
  // Focus moving to another control of the form: its focus-in moves the model's focus, which runs
  // this one's exit test once. Only a focus that goes nowhere is a plain leave.
  const TControl* next = ControlOf(QApplication::focusWidget());
  if (next != nullptr && (next == &control || next->CanFocus())) return;
  TUserInput input;
  input.Kind = uiLeave;
  input.Control = &control;
  Send(std::move(input));
}

void TQtFormView::ShowPopupMenu(TControl& control, const QPoint& globalPosition) {
  TPopupMenu* menu = control.PopupMenu();
  FShownMenu = {menu};
  TUserInput popup;
  popup.Kind = uiPopup;
  popup.Control = &control;
  // OnPopup may change the items (checks, captions) or take the menu away.
  if (Send(std::move(popup)) != irApplied || FShownMenu.empty() || FForm == nullptr) {
    FShownMenu.clear();
    return;
  }
  QMenu qmenu(FDialog);
  for (TMenuItem* item : menu->Items()) {
    FShownMenu.push_back(item);
    if (!item->Visible()) continue;
    QAction* action = qmenu.addAction(Q(item->Caption()));
    action->setCheckable(true);
    action->setChecked(item->Checked());
    action->setEnabled(item->Enabled());
    action->setData(QVariant::fromValue(reinterpret_cast<quintptr>(item)));
  }
  QAction* chosen = qmenu.exec(globalPosition);
  if (chosen != nullptr && FForm != nullptr) {
    auto* item = reinterpret_cast<TControl*>(chosen->data().value<quintptr>());
    // Only an item that still exists: the menu's loop dispatched the host's messages meanwhile.
    if (std::find(FShownMenu.begin() + 1, FShownMenu.end(), item) != FShownMenu.end()) {
      TUserInput pick;
      pick.Kind = uiPickMenuItem;
      pick.Control = item;
      Send(std::move(pick));
    }
  }
  FShownMenu.clear();
}

}  // namespace tolvex::qt
