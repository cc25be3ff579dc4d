// The tree list: typed columns, rows with their user data, and the checks of an in-place edit.
#include "ui/TreeList.h"

#include <algorithm>

#include "support/TextUtils.h"

namespace tolvex::ui {

namespace {
const std::string EmptyCell;
const std::any NoData;
}  // namespace

void TTreeListColumn::Changed() { FList.Notify(prColumns); }

void TTreeListColumn::SetCaption(std::string_view caption) {
  if (FCaption == caption) return;
  FCaption = caption;
  Changed();
}

void TTreeListColumn::SetWidth(int width) {
  if (FWidth == width) return;
  FWidth = width;
  Changed();
}

void TTreeListColumn::SetVisible(bool visible) {
  if (FVisible == visible) return;
  FVisible = visible;
  Changed();
}

void TTreeListColumn::SetReadOnly(bool value) {
  if (FReadOnly == value) return;
  FReadOnly = value;
  Changed();
}

void TTreeListColumn::SetItems(std::vector<std::string> items) {
  if (FItems == items) return;
  FItems = std::move(items);
  Changed();
}

TTreeListColumn* TTreeList::AddColumn(std::string_view name, TColumnKind kind, std::string_view caption, int width) {
  if (!name.empty() && FindColumn(name) != nullptr) return nullptr;
  auto column = std::unique_ptr<TTreeListColumn>(
      new TTreeListColumn(*this, name, kind, static_cast<int>(FColumns.size())));
  column->FCaption = caption;
  column->FWidth = width;
  for (TRow& row : FRows) row.Cells.push_back(kind == tcCheck ? column->FUncheckedValue : std::string());
  FColumns.push_back(std::move(column));
  Notify(prColumns);
  return FColumns.back().get();
}

TTreeListColumn* TTreeList::FindColumn(std::string_view name) const {
  for (const auto& column : FColumns) {
    if (!name.empty() && SameText(column->Name(), name)) return column.get();
  }
  return nullptr;
}

bool TTreeList::Owns(const TTreeListColumn& column) const {
  return &column.FList == this && column.FIndex < static_cast<int>(FColumns.size());
}

int TTreeList::AddRow(std::any data) {
  TRow row;
  for (const auto& column : FColumns) row.Cells.push_back(column->Kind() == tcCheck ? column->FUncheckedValue : "");
  row.Data = std::move(data);
  FRows.push_back(std::move(row));
  Notify(prRows);
  return RowCount() - 1;
}

void TTreeList::DeleteRow(int row) {
  if (row < 0 || row >= RowCount()) return;
  FRows.erase(FRows.begin() + row);
  Notify(prRows);
  if (FFocusedRow == row) Assign(FFocusedRow, -1, prFocusedRow);
  else if (FFocusedRow > row) Assign(FFocusedRow, FFocusedRow - 1, prFocusedRow);
}

void TTreeList::ClearRows() {
  if (FRows.empty()) return;
  FRows.clear();
  Notify(prRows);
  Assign(FFocusedRow, -1, prFocusedRow);
}

const std::any& TTreeList::RowData(int row) const {
  return row >= 0 && row < RowCount() ? FRows[row].Data : NoData;
}

void TTreeList::SetRowData(int row, std::any data) {
  if (row >= 0 && row < RowCount()) FRows[row].Data = std::move(data);
}

const std::string& TTreeList::Cell(int row, const TTreeListColumn& column) const {
  if (row < 0 || row >= RowCount() || !Owns(column)) return EmptyCell;
  return FRows[row].Cells[column.Index()];
}

bool TTreeList::SetCell(int row, const TTreeListColumn& column, std::string_view value) {
  if (row < 0 || row >= RowCount() || !Owns(column)) return false;
  if (column.Kind() == tcCheck && value != column.CheckedValue() && value != column.UncheckedValue()) return false;
  std::string& cell = FRows[row].Cells[column.Index()];
  if (cell == value) return true;
  cell = value;
  Notify(prCells);
  Fire(chCell, srCode);
  return true;
}

bool TTreeList::CellChecked(int row, const TTreeListColumn& column) const {
  return column.Kind() == tcCheck && Cell(row, column) == column.CheckedValue();
}

bool TTreeList::SetCellChecked(int row, const TTreeListColumn& column, bool checked) {
  return SetCell(row, column, checked ? column.CheckedValue() : column.UncheckedValue());
}

void TTreeList::SetFocusedRow(int row) { ChangeFocusedRow(row, srCode); }

void TTreeList::ChangeFocusedRow(int row, TChangeSource source) {
  if (row < -1 || row >= RowCount()) row = -1;
  if (Assign(FFocusedRow, row, prFocusedRow)) Fire(chFocusedRow, source);
}

TInputResult TTreeList::CheckEdit(int row, std::string_view columnName, std::string_view value,
                                  TTreeListColumn*& target) const {
  TTreeListColumn* column = FindColumn(columnName);
  if (column == nullptr) return irNoSuchColumn;
  if (row < 0 || row >= RowCount()) return irNoSuchRow;
  if (!column->Visible()) return irInvisible;  // a hidden column has no cell to click into
  if (FReadOnly || column->ReadOnly()) return irReadOnly;
  if (column->Kind() == tcCheck && value != column->CheckedValue() && value != column->UncheckedValue())
    return irInvalidValue;
  if (column->Kind() == tcPickList && std::find(column->Items().begin(), column->Items().end(), value) ==
                                          column->Items().end())
    return irNotInList;
  target = column;
  return irApplied;
}

void TTreeList::StoreEdit(int row, TTreeListColumn& column, std::string_view value) {
  std::string& cell = FRows[row].Cells[column.Index()];
  if (cell == value) return;
  cell = value;
  Notify(prCells);
  FEditedRow = row;
  FEditedColumn = &column;
  Fire(chCell, srUser);
}

void TTreeList::DoEvent(TEvent event) {
  switch (event) {
    case evEdited:
      if (auto handler = OnEdited; handler && FEditedColumn != nullptr) handler(*this, FEditedRow, *FEditedColumn);
      break;
    case evFocusedNodeChanged:
      if (TNotifyEvent handler = OnFocusedNodeChanged) handler(*this);
      break;
    default: TControl::DoEvent(event); break;
  }
}

}  // namespace tolvex::ui
