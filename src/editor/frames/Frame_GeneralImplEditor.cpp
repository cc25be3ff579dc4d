// The generic editor frame: its controls, the parameter table both ways, the name check and the port scan.
#include "editor/frames/Frame_GeneralImplEditor.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "host/MessageBoxes.h"
#include "support/TextUtils.h"

namespace tolvex {

namespace {

constexpr const char* kTrue = "True";
constexpr const char* kFalse = "False";
constexpr std::uint8_t kNameReadOnly = 1;
constexpr std::uint8_t kValueReadOnly = 2;

bool IsPinNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

bool ContainsText(std::string_view text, std::string_view part) {
  return UpperCaseAscii(text).find(UpperCaseAscii(part)) != std::string::npos;
}

bool LessText(const std::string& a, const std::string& b) { return UpperCaseAscii(a) < UpperCaseAscii(b); }

}  // namespace

const std::vector<std::string>& TGeneralImplEditorFrame::TypeNames() {
  static const std::vector<std::string> names{"String", "Boolean", "Integer", "Float"};
  return names;
}

TGeneralImplEditorFrame::TGeneralImplEditorFrame(TImplementationEditorDialog* owner,
                                                 TImplementationData* implementationData,
                                                 const std::string& qualifier)
    : TSimImplEditor(owner, implementationData, qualifier) {
  // The designed layout at 506 by 389; the anchors keep it when the frame is sized to its page.
  FFrame.SetBounds({0, 0, 506, 389});
  FFrame.SetAlign(ui::alClient);

  GroupBox_Model = FFrame.Add<ui::TGroupBox>("GroupBox_Model", &FFrame);
  GroupBox_Model->SetCaption(" Model Parameters ");
  GroupBox_Model->SetBounds({0, 0, 506, 389});
  GroupBox_Model->SetAlign(ui::alClient);

  ParametersTreeList = FFrame.Add<ui::TTreeList>("ParametersTreeList", GroupBox_Model);
  ParametersTreeList->SetBounds({10, 18, 486, 326});
  ParametersTreeList->SetAnchors(ui::akLeft | ui::akTop | ui::akRight | ui::akBottom);
  NameColumn = ParametersTreeList->AddColumn("NameColumn", ui::tcText, "Name", 98);
  ReadOnlyNameColumn = ParametersTreeList->AddColumn("ReadOnlyNameColumn", ui::tcCheck, "RO", 40);
  ValueColumn = ParametersTreeList->AddColumn("ValueColumn", ui::tcText, "Value", 146);
  ReadOnlyValueColumn = ParametersTreeList->AddColumn("ReadOnlyValueColumn", ui::tcCheck, "RO", 40);
  TypeColumn = ParametersTreeList->AddColumn("TypeColumn", ui::tcPickList, "Type", 78);
  ComponentParameterColumn =
      ParametersTreeList->AddColumn("ComponentParameterColumn", ui::tcCheck, "Component Parameter", 112);
  // The read-only flags are set through the popup menu only.
  ReadOnlyNameColumn->SetVisible(false);
  ReadOnlyValueColumn->SetVisible(false);
  TypeColumn->SetItems(TypeNames());

  AddParameterButton = FFrame.Add<ui::TButton>("AddParameterButton", GroupBox_Model);
  AddParameterButton->SetCaption("Add");
  AddParameterButton->SetBounds({340, 354, 75, 25});
  AddParameterButton->SetAnchors(ui::akRight | ui::akBottom);
  AddParameterButton->OnClick = [this](ui::TControl& sender) { AddParameterButtonClick(sender); };

  DeleteParameterButton = FFrame.Add<ui::TButton>("DeleteParameterButton", GroupBox_Model);
  DeleteParameterButton->SetCaption("Delete");
  DeleteParameterButton->SetBounds({421, 354, 75, 25});
  DeleteParameterButton->SetAnchors(ui::akRight | ui::akBottom);
  DeleteParameterButton->OnClick = [this](ui::TControl& sender) { DeleteParameterButtonClick(sender); };

  ParametersTreelistPopupMenu = FFrame.Add<ui::TPopupMenu>("ParametersTreelistPopupMenu", &FFrame);
  ParametersTreelistPopupMenu->OnPopup = [this](ui::TControl& sender) { ParametersTreelistPopupMenuPopup(sender); };
  ReadOnlyNameMenuItem = FFrame.Add<ui::TMenuItem>("ReadOnlyNameMenuItem", ParametersTreelistPopupMenu);
  ReadOnlyNameMenuItem->SetCaption("Name Read-Only");
  ReadOnlyNameMenuItem->OnClick = [this](ui::TControl& sender) { ReadOnlyNameMenuItemClick(sender); };
  ReadOnlyValueMenuItem = FFrame.Add<ui::TMenuItem>("ReadOnlyValueMenuItem", ParametersTreelistPopupMenu);
  ReadOnlyValueMenuItem->SetCaption("Value Read-Only");
  ReadOnlyValueMenuItem->OnClick = [this](ui::TControl& sender) { ReadOnlyValueMenuItemClick(sender); };
  ParametersTreeList->SetPopupMenu(ParametersTreelistPopupMenu);

  // The base took the parameters and the port map; the template and prefix are this kind's own.
  if (FImplementationData) {
    FNetlistTemplate = FImplementationData->FNetlist;
    FSpicePrefix = FImplementationData->FSpicePrefix;
  }
  RebuildPortMapping();
  FNewParameterCount = 0;
}

// ------------------------------------------------------------------ the table

TParameterData* TGeneralImplEditorFrame::RowEntry(int row) const {
  const std::any& data = ParametersTreeList->RowData(row);
  if (const auto* entry = std::any_cast<TParameterData*>(&data)) return *entry;
  return nullptr;
}

int TGeneralImplEditorFrame::AddRowFor(TParameterData* entry) {
  const int row = ParametersTreeList->AddRow(entry);
  const std::vector<std::string>& types = TypeNames();
  ParametersTreeList->SetCell(row, *NameColumn, entry->FName);
  ParametersTreeList->SetCell(row, *ValueColumn, entry->FValue);
  // A type index outside the list shows as a string, which is how the netlister treats it.
  ParametersTreeList->SetCell(row, *TypeColumn, types[entry->FValueType < types.size() ? entry->FValueType : 0]);
  ParametersTreeList->SetCellChecked(row, *ReadOnlyNameColumn, (entry->FReadOnlyFlags & kNameReadOnly) != 0);
  ParametersTreeList->SetCellChecked(row, *ReadOnlyValueColumn, (entry->FReadOnlyFlags & kValueReadOnly) != 0);
  ParametersTreeList->SetCellChecked(row, *ComponentParameterColumn, entry->FComponentLevel);
  return row;
}

void TGeneralImplEditorFrame::ParametersToControls() {
  // Another kind's frame may have had the dialog meanwhile: the choices are set afresh each time.
  TypeColumn->SetItems(TypeNames());
  ParametersTreeList->ClearRows();
  for (std::size_t i = 0; i < FParameters.Count(); ++i) {
    TParameterData* entry = FParameters.GetData(i);
    if (!entry->FName.empty()) AddRowFor(entry);
  }
}

void TGeneralImplEditorFrame::ControlsToParameters() {
  const std::vector<std::string>& types = TypeNames();
  for (int row = 0; row < ParametersTreeList->RowCount(); ++row) {
    TParameterData* entry = RowEntry(row);
    if (!entry) continue;
    entry->FName = ParametersTreeList->Cell(row, *NameColumn);
    entry->FValue = ParametersTreeList->Cell(row, *ValueColumn);
    const std::string& type = ParametersTreeList->Cell(row, *TypeColumn);
    const auto found =
        std::find_if(types.begin(), types.end(), [&](const std::string& name) { return SameText(name, type); });
    entry->FValueType = found == types.end() ? 0 : static_cast<std::uint8_t>(found - types.begin());
    entry->FReadOnlyFlags = static_cast<std::uint8_t>(
        (ParametersTreeList->Cell(row, *ReadOnlyNameColumn) == kTrue ? kNameReadOnly : 0) |
        (ParametersTreeList->Cell(row, *ReadOnlyValueColumn) == kTrue ? kValueReadOnly : 0));
    entry->FComponentLevel = ParametersTreeList->CellChecked(row, *ComponentParameterColumn);
  }
}

bool TGeneralImplEditorFrame::Validate() {
  std::vector<std::string> names;
  for (int row = 0; row < ParametersTreeList->RowCount(); ++row) {
    const std::string& name = ParametersTreeList->Cell(row, *NameColumn);
    if (name.empty()) continue;
    if (std::any_of(names.begin(), names.end(), [&](const std::string& seen) { return SameText(seen, name); })) {
      ShowError("Parameter name \"" + name + "\" has been defined more than once.");
      return false;
    }
    names.push_back(name);
  }
  return true;
}

// ------------------------------------------------------------------ buttons and menu

void TGeneralImplEditorFrame::AddParameterButtonClick(ui::TControl& /*sender*/) {
  FParametersChanged = true;
  auto entry = std::make_unique<TParameterData>();
  // The list keeps one entry per name: a stored parameter that already has the next number's
  // name is passed over, so the new row always has an entry of its own.
  do {
    ++FNewParameterCount;
    entry->FName = "New Parameter " + std::to_string(FNewParameterCount);
  } while (FParameters.FindData(entry->FName));
  TParameterData* added = entry.get();
  if (FParameters.AddData(entry) < 0) return;
  AddRowFor(added);
}

void TGeneralImplEditorFrame::DeleteParameterButtonClick(ui::TControl& /*sender*/) {
  FParametersChanged = true;
  const int row = ParametersTreeList->FocusedRow();
  if (row < 0) return;
  if (TParameterData* doomed = RowEntry(row)) {
    // The list has no removal of its own: it is rebuilt without the entry, and the other rows
    // are pointed at the copies of their entries.
    TParameterDataList remaining;
    std::vector<std::pair<const TParameterData*, TParameterData*>> moved;
    for (std::size_t i = 0; i < FParameters.Count(); ++i) {
      const TParameterData* data = FParameters.GetData(i);
      if (data == doomed) continue;
      auto copy = std::make_unique<TParameterData>(data);
      TParameterData* copied = copy.get();
      if (remaining.AddData(copy) >= 0) moved.emplace_back(data, copied);
    }
    for (int other = 0; other < ParametersTreeList->RowCount(); ++other) {
      TParameterData* entry = RowEntry(other);
      if (!entry || other == row) continue;
      const auto found = std::find_if(moved.begin(), moved.end(), [&](const auto& pair) { return pair.first == entry; });
      ParametersTreeList->SetRowData(other, found == moved.end() ? std::any() : std::any(found->second));
    }
    FParameters = std::move(remaining);
  }
  ParametersTreeList->DeleteRow(row);
}

void TGeneralImplEditorFrame::ParametersTreelistPopupMenuPopup(ui::TControl& /*sender*/) {
  const int row = ParametersTreeList->FocusedRow();
  if (row < 0) return;
  ReadOnlyNameMenuItem->SetChecked(ParametersTreeList->Cell(row, *ReadOnlyNameColumn) == kTrue);
  ReadOnlyValueMenuItem->SetChecked(ParametersTreeList->Cell(row, *ReadOnlyValueColumn) == kTrue);
}

void TGeneralImplEditorFrame::ToggleReadOnly(ui::TMenuItem& item, const ui::TTreeListColumn& column) {
  const int row = ParametersTreeList->FocusedRow();
  if (row < 0) return;
  item.SetChecked(!item.Checked());
  ParametersTreeList->SetCell(row, column, item.Checked() ? kTrue : kFalse);
}

void TGeneralImplEditorFrame::ReadOnlyNameMenuItemClick(ui::TControl& /*sender*/) {
  ToggleReadOnly(*ReadOnlyNameMenuItem, *ReadOnlyNameColumn);
}

void TGeneralImplEditorFrame::ReadOnlyValueMenuItemClick(ui::TControl& /*sender*/) {
  ToggleReadOnly(*ReadOnlyValueMenuItem, *ReadOnlyValueColumn);
}

// ------------------------------------------------------------------ the template

bool TGeneralImplEditorFrame::RequiresModel() {
  return ContainsText(FNetlistTemplate, "@Model") || ContainsText(FNetlistTemplate, "&Model");
}

void TGeneralImplEditorFrame::GetPorts(std::vector<std::string>& ports) {
  ports.clear();
  const std::string& text = FNetlistTemplate;
  if (text.empty()) return;
  // With brackets in the template a trailing I or O on a pin is its direction, not its name.
  const bool brackets = text.find_first_of("[]") != std::string::npos;
  std::vector<std::string> names;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '%') {
      ++i;
      continue;
    }
    ++i;
    if (i >= text.size()) break;
    if (text[i] == '%') {  // a literal percent
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < text.size() && IsPinNameChar(text[end])) ++end;
    std::string name = text.substr(i, end - i);
    if (brackets && !name.empty() && std::string_view("IOio").find(name.back()) != std::string_view::npos)
      name.pop_back();
    if (!name.empty() &&
        std::none_of(names.begin(), names.end(), [&](const std::string& seen) { return SameText(seen, name); }))
      names.push_back(std::move(name));
    // Resume at the character that ended the name, so %1%2 lists both pins as the netlister reads them.
    i = end;
  }
  std::stable_sort(names.begin(), names.end(), LessText);
  ports = std::move(names);
}

}  // namespace tolvex
