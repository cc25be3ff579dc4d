// The tree/grid list of the parameter, pin-mapping and subcircuit tables: typed columns, rows with user data, in-place edits.
#pragma once

#include <any>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ui/Controls.h"

namespace tolvex::ui {

class TTreeList;

enum TColumnKind : std::uint8_t {
  tcText,
  tcCheck,     // holds exactly its checked or unchecked value ("True" / "False")
  tcPickList,  // the user picks one of its items
};

class TTreeListColumn {
 public:
  const std::string& Name() const { return FName; }
  TColumnKind Kind() const { return FKind; }
  int Index() const { return FIndex; }
  const std::string& Caption() const { return FCaption; }
  void SetCaption(std::string_view caption);
  int Width() const { return FWidth; }
  void SetWidth(int width);
  bool Visible() const { return FVisible; }
  void SetVisible(bool visible);
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool value);
  const std::vector<std::string>& Items() const { return FItems; }  // a pick list's choices
  void SetItems(std::vector<std::string> items);
  const std::string& CheckedValue() const { return FCheckedValue; }
  const std::string& UncheckedValue() const { return FUncheckedValue; }

 private:
  friend class TTreeList;
  TTreeListColumn(TTreeList& list, std::string_view name, TColumnKind kind, int index)
      : FList(list), FName(name), FKind(kind), FIndex(index) {}
  void Changed();
  TTreeList& FList;
  std::string FName;
  TColumnKind FKind;
  int FIndex;
  std::string FCaption;
  int FWidth = 64;
  bool FVisible = true;
  bool FReadOnly = false;
  std::vector<std::string> FItems;
  std::string FCheckedValue = "True";
  std::string FUncheckedValue = "False";
};

class TTreeList final : public TControl {
 public:
  TTreeList() : TControl(ckTreeList) { SetColor(clWindow); }

  // Gives null when the name is taken among this list's columns (letter case ignored).
  TTreeListColumn* AddColumn(std::string_view name, TColumnKind kind, std::string_view caption, int width);
  const std::vector<std::unique_ptr<TTreeListColumn>>& Columns() const { return FColumns; }
  TTreeListColumn* FindColumn(std::string_view name) const;

  int RowCount() const { return static_cast<int>(FRows.size()); }
  // A new last row: empty text cells, check cells unchecked; gives its index.
  int AddRow(std::any data = {});
  void DeleteRow(int row);
  void ClearRows();
  const std::any& RowData(int row) const;
  void SetRowData(int row, std::any data);

  // Empty for a row or column that is not there.
  const std::string& Cell(int row, const TTreeListColumn& column) const;
  // From code, fires nothing. False (and nothing stored) for a row or column that is not there, and for a
  // check cell given anything but its two values.
  bool SetCell(int row, const TTreeListColumn& column, std::string_view value);
  bool CellChecked(int row, const TTreeListColumn& column) const;
  bool SetCellChecked(int row, const TTreeListColumn& column, bool checked);

  int FocusedRow() const { return FFocusedRow; }  // -1 for none
  void SetFocusedRow(int row);                    // fires nothing; out of range focuses none

  bool ReadOnly() const { return FReadOnly; }  // no in-place editing at all
  void SetReadOnly(bool value) { Assign(FReadOnly, value, prReadOnly); }
  bool CanFocus() const override { return true; }

  std::function<void(TTreeList& Sender, int Row, TTreeListColumn& Column)> OnEdited;
  TNotifyEvent OnFocusedNodeChanged;

 protected:
  void DoEvent(TEvent event) override;

 private:
  friend class TForm;
  friend class TTreeListColumn;
  bool Owns(const TTreeListColumn& column) const;
  // The user's in-place edit, checked as the in-place editor checks it, then stored.
  TInputResult CheckEdit(int row, std::string_view column, std::string_view value, TTreeListColumn*& target) const;
  void StoreEdit(int row, TTreeListColumn& column, std::string_view value);
  void ChangeFocusedRow(int row, TChangeSource source);

  struct TRow {
    std::vector<std::string> Cells;
    std::any Data;
  };
  std::vector<std::unique_ptr<TTreeListColumn>> FColumns;
  std::vector<TRow> FRows;
  int FFocusedRow = -1;
  bool FReadOnly = false;
  int FEditedRow = -1;
  TTreeListColumn* FEditedColumn = nullptr;
};

}  // namespace tolvex::ui
