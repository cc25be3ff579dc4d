// The editor frame base and its three small bases: construction, the template helpers, the
// parameter helpers, the value check and the parameter grid.
#include "editor/Frame_SimImplEditor.h"

#include <algorithm>
#include <memory>

#include "host/MessageBoxes.h"
#include "support/TextUtils.h"

namespace tolvex {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsSign(char c) { return c == '+' || c == '-' || c == '.'; }

// The names of NamesText, one a line; CR LF, CR and LF all end a line, and empty lines name nothing.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != '\r' && text[i] != '\n') continue;
    if (i > start) lines.push_back(text.substr(start, i - start));
    start = i + 1;
  }
  return lines;
}

}  // namespace

// ------------------------------------------------------------------ construction

TSimImplEditor::TSimImplEditor(TImplementationEditorDialog* owner, TImplementationData* implementationData,
                               const std::string& qualifier)
    : FImplementationData(implementationData), FQualifier(qualifier), FOwner(owner) {
  // No virtual call here: the factory runs InitParameters once the most-derived frame is built.
  if (FImplementationData) FParameters.AddCopiesOf(&FImplementationData->LoadedParameters());
  RebuildPortMapping();
}

void TSimImplEditor::RebuildPortMapping() {
  FPortMapping = TPortMapping(FImplementationData ? FImplementationData->FPortMap : std::string());
}

// ------------------------------------------------------------------ template helpers

std::string TSimImplEditor::TemplateName(std::string_view name) {
  std::string result = UpperCaseAscii(name);
  if (result.find_first_of(" -") != std::string::npos) result = '"' + result + '"';
  return result;
}

std::string TSimImplEditor::ParameterReference(std::string_view name, bool ampersand) {
  return (ampersand ? "&" : "@") + TemplateName(name);
}

std::string TSimImplEditor::ParameterAssignment(std::string_view name, std::string_view key) {
  return TemplateName(key) + "=@" + TemplateName(name);
}

std::string TSimImplEditor::OptionalParameterAssignment(std::string_view name, std::string_view key) {
  const std::string templateName = TemplateName(name);
  const std::string templateKey = key.empty() ? templateName : TemplateName(key);
  return "?" + templateName + "|" + templateKey + "=@" + templateName + "|";
}

std::string TSimImplEditor::DesignatorAndPins() {
  std::string result = ParameterReference("Designator", false);
  std::vector<std::string> ports;
  GetPorts(ports);
  for (std::size_t i = 0; i < ports.size(); ++i) result += " %" + std::to_string(i + 1);
  return result;
}

// ------------------------------------------------------------------ required values

bool TSimImplEditor::RequireValue(const std::string& name, const std::string& value) {
  if (!value.empty()) return true;
  ShowValueRequired(name);
  return false;
}

void TSimImplEditor::ShowValueRequired(const std::string& name) {
  ShowError("You must specify a value for \"" + name + "\".");
}

// ------------------------------------------------------------------ the parameter list

void TSimImplEditor::RemoveParametersExcept(std::string_view namesText) {
  const std::vector<std::string_view> keep = SplitLines(namesText);
  const auto kept = [&](const TParameterData& data) {
    return data.FComponentLevel ||
           std::any_of(keep.begin(), keep.end(), [&](std::string_view name) { return SameText(name, data.FName); });
  };
  // The list has no removal of its own: it is rebuilt from the entries that stay, in their order.
  TParameterDataList remaining;
  bool removed = false;
  for (std::size_t i = 0; i < FParameters.Count(); ++i) {
    const TParameterData* data = FParameters.GetData(i);
    if (!kept(*data)) {
      removed = true;
      continue;
    }
    auto copy = std::make_unique<TParameterData>(data);
    remaining.AddData(copy);
  }
  if (!removed) return;
  FParameters = std::move(remaining);
  FParametersChanged = true;
}

void TSimImplEditor::EnsureParameter(const std::string& name, const std::string& defaultValue,
                                     bool componentLevel) {
  if (FParameters.FindData(name)) return;
  FParametersChanged = true;
  auto data = std::make_unique<TParameterData>();
  data->FName = name;
  data->FValue = defaultValue;
  data->FComponentLevel = componentLevel;
  FParameters.AddData(data);
}

void TSimImplEditor::SetParameterValue(const std::string& name, const std::string& value) {
  if (TParameterData* data = FParameters.FindData(name)) data->FValue = value;
}

void TSimImplEditor::SetParameter(const std::string& name, const std::string& value, bool componentLevel) {
  if (TParameterData* data = FParameters.FindData(name)) {
    data->FValue = value;
    data->FComponentLevel = componentLevel;
  }
}

std::string TSimImplEditor::GetParameterValue(const std::string& name) const {
  const TParameterData* data = FParameters.FindData(name);
  return data ? data->FValue : std::string();
}

void TSimImplEditor::LoadCheckedValue(const std::string& name, std::string& value, ui::TCheckBox* checkBox) const {
  const TParameterData* data = FParameters.FindData(name);
  value = data ? data->FValue : std::string();
  if (checkBox) checkBox->SetChecked(data && data->FComponentLevel);
}

void TSimImplEditor::LoadEdit(const std::string& name, ui::TEdit* edit, ui::TCheckBox* checkBox) const {
  std::string value;
  LoadCheckedValue(name, value, checkBox);
  if (edit) edit->SetText(value);
}

void TSimImplEditor::LoadComboBox(const std::string& name, ui::TComboBox* comboBox, ui::TCheckBox* checkBox) const {
  std::string value;
  LoadCheckedValue(name, value, checkBox);
  // SetText selects the item of that text, or none; a drop-down list then shows nothing, while
  // an editable combo box keeps showing the stored value, so that reading it back loses nothing.
  if (comboBox) comboBox->SetText(value);
}

// ------------------------------------------------------------------ the value check

bool TSimImplEditor::CheckValueEdit(ui::TEdit& edit) {
  // Every character is looked at, however long the text: a bad one beyond the first 255 is as
  // bad as any other, and the netlister takes the whole text.
  const std::string& text = edit.Text();
  if (text.empty()) return true;
  bool valid = IsSign(text.front()) || IsDigit(text.front());
  for (std::size_t i = 1; valid && i < text.size(); ++i)
    valid = IsSign(text[i]) || IsDigit(text[i]) || IsAsciiLetter(text[i]);
  if (valid) return true;
  ShowError(text + " is not a valid value!");
  NotifyInvalidValue();
  edit.SetFocus();
  return false;
}

void TSimImplEditor::NotifyInvalidValue() {
  if (FOnInvalidValue) FOnInvalidValue();
}

// ------------------------------------------------------------------ the parameter grid

void TSimImplEditor::PlaceControls(const std::string& caption, ui::TLabel* label, ui::TControl* edit,
                                   ui::TCheckBox* checkBox, ui::TLabel* componentLabel, int row, int column) {
  if (!edit) return;
  constexpr int kRowPitch = 25, kFirstRowTop = 20, kColumnPitch = 260, kFirstColumnLeft = 120;
  constexpr int kCheckBoxWidth = 128, kEditWidth = 130, kLabelOffset = 100;
  constexpr int kCheckBoxGap = 140, kComponentLabelGap = 130;
  constexpr const char* kComponentParameter = "Component parameter";

  int editLeft = (column - 1) * kColumnPitch + kFirstColumnLeft;
  const int editTop = (row - 1) * kRowPitch + kFirstRowTop;
  if (checkBox) {
    checkBox->SetWidth(kCheckBoxWidth);
    // Columns right of the first leave room for the check box of the column before.
    if (column > 1) editLeft += checkBox->Width();
  }
  edit->SetBounds({editLeft, editTop, kEditWidth, edit->Height()});
  if (label) {
    label->SetCaption(caption);
    label->SetTop(editTop + 4);
    label->SetLeft(editLeft - kLabelOffset);
  }
  if (!checkBox) return;
  checkBox->SetTop(editTop);
  checkBox->SetHeight(edit->Height());
  if (!componentLabel) {
    checkBox->SetLeft(editLeft + kCheckBoxGap);
    checkBox->SetCaption(kComponentParameter);
    return;
  }
  if (row == 1) {
    // The heading sits centred in the 20 pixels above the first row.
    componentLabel->SetTop((kFirstRowTop - componentLabel->Height()) / 2);
    componentLabel->SetCaption(kComponentParameter);
  }
  componentLabel->SetLeft(editLeft + kCheckBoxGap);
  checkBox->SetLeft(editLeft + kComponentLabelGap + componentLabel->Width() / 2);
  checkBox->SetCaption("");
}

// ------------------------------------------------------------------ the small bases

void TBaseResistorImplEditorFrame::GetPorts(std::vector<std::string>& ports) { ports = {"1", "2"}; }

void TBaseCapacitorImplEditor::GetPorts(std::vector<std::string>& ports) { ports = {"POS", "NEG"}; }

void TBaseDiodeImplEditorFrame::GetPorts(std::vector<std::string>& ports) { ports = {"A", "K"}; }

std::string TBaseDiodeImplEditorFrame::DesignatorPinsAndModel() {
  return DesignatorAndPins() + " " + ParameterReference("Model", false);
}

}  // namespace tolvex
