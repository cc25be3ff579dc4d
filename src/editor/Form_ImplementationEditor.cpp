// The Sim Editor dialog: its designed layout, filling it from the implementation, switching frames, the model location, the checks on OK and writing back.
#include "editor/Form_ImplementationEditor.h"

#include <algorithm>
#include <stdexcept>
#include <tuple>

#include "host/ExternalForm.h"
#include "host/HostApi.h"
#include "host/InterfacePtr.h"
#include "host/MessageBoxes.h"
#include "host/SchServerApi.h"
#include "model_data/ModelFile.h"
#include "server/Rt_Param.h"
#include "support/TextUtils.h"
#include "templates/Rt_Tolvex.h"
#include "ui/FontMetrics.h"
#include "ui/UiBackend.h"

namespace tolvex {

namespace {

using ui::TRect;

// The longest text a field of the schematic server's records takes (its buffer less the NUL).
constexpr std::size_t kMaxFieldLength = kSchTextBufferSize - 1;
constexpr std::size_t kMaxLongFieldLength = kSchLongBufferSize - 1;

constexpr const char* kNotConnected = "Not Connected";

std::string WithThousands(std::size_t value) {
  std::string digits = std::to_string(value);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<std::size_t>(i), ",");
  return digits;
}

// The words of a model pin choice, split at "(" and ")", blanks skipped where a word starts: "2 (K)" gives "2 " and "K".
std::vector<std::string> SplitChoiceWords(const std::string& text) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == ' ') ++i;
    std::size_t end = i;
    while (end < text.size() && text[end] != '(' && text[end] != ')') ++end;
    if (end > i) words.push_back(text.substr(i, end - i));
    i = end + 1;
  }
  return words;
}

}  // namespace

// ------------------------------------------------------------------ template lines and paths

void SplitTemplateLines(const std::string& netlistTemplate, std::vector<std::string>& lines) {
  lines.clear();
  std::size_t start = 0;
  while (start < netlistTemplate.size()) {
    const std::size_t found = netlistTemplate.find("\\n", start);
    if (found == std::string::npos) {
      lines.push_back(netlistTemplate.substr(start));
      return;
    }
    lines.push_back(netlistTemplate.substr(start, found - start));
    start = found + 2;
  }
}

std::string JoinTemplateLines(const std::vector<std::string>& lines) {
  std::string result;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) result += "\\n";
    result += lines[i];
  }
  return result;
}

std::string EllipsizePath(const std::string& path, int width) {
  if (ui::TextWidth(path) <= width) return path;
  static const std::string kEllipsis = "...";
  const std::size_t separator = path.find_last_of("\\/");
  const std::string name = separator == std::string::npos ? path : path.substr(separator);
  const std::string folder = separator == std::string::npos ? std::string() : path.substr(0, separator);
  // A text's width is the sum of its characters' widths, so the candidates are measured in one pass
  // each rather than once per length: a long path is shortened on every keystroke.
  // As much of the folder's start as fits before the ellipsis and the whole name.
  const int ellipsis = ui::TextWidth(kEllipsis);
  int nameWidth = ui::TextWidth(name);
  const int tail = ellipsis + nameWidth;
  int used = 0;
  std::size_t keep = 0;
  while (keep < folder.size() && used + ui::CharWidth(static_cast<unsigned char>(folder[keep])) + tail <= width)
    used += ui::CharWidth(static_cast<unsigned char>(folder[keep++]));
  // The whole folder never fits here (the path did not), so what fits is a cut of it.
  if (!folder.empty() && used + tail <= width) return folder.substr(0, keep) + kEllipsis + name;
  // Not even the name fits: its end after the ellipsis.
  for (std::size_t drop = 0; drop <= name.size(); ++drop) {
    if (ellipsis + nameWidth <= width) return kEllipsis + name.substr(drop);
    if (drop < name.size()) nameWidth -= ui::CharWidth(static_cast<unsigned char>(name[drop]));
  }
  return {};
}

const std::vector<std::string>& TImplementationEditorDialog::SpicePrefixes() {
  static const std::vector<std::string> prefixes{"",  "A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L",
                                                 "M", "O", "Q", "R", "S", "T", "U", "V", "W", "X", "Y", "Z"};
  return prefixes;
}

// ------------------------------------------------------------------ construction

TImplementationEditorDialog::TImplementationEditorDialog(THandle implementationHandle, THandle componentHandle) {
  // Nothing is read from a handle the schematic server does not know: the dialog would show an
  // empty model and OK would write one over whatever the handle may later be.
  if (TComponentImplementation(implementationHandle).Query(kSchQueryModeRead) == kSchQueryFailure)
    throw std::runtime_error("the schematic has no implementation with handle " + std::to_string(implementationHandle));
  if (componentHandle != 0 && TSchComponent(componentHandle).Query(kSchQueryModeRead) == kSchQueryFailure)
    throw std::runtime_error("the schematic has no component with handle " + std::to_string(componentHandle));

  CreateControls();
  FUpdatingNetlist = false;
  FLoading = true;
  FEditor = nullptr;
  FImplementationData = std::make_unique<TImplementationData>(implementationHandle, componentHandle);
  FEditorManager = std::make_unique<TSimImplementationEditorManager>(this, FImplementationData.get());
  FPartIndex = 1;
  FImplementationData->Load();
  FCurrentKind = FImplementationData->FKind.empty() ? TSimImplementationEditorManager::DefaultKind()
                                                    : FImplementationData->FKind;
  FCurrentSubKind = FImplementationData->FSubKind.empty() ? TSimImplementationEditorManager::DefaultSubKind()
                                                          : FImplementationData->FSubKind;
  FStoredKind = FCurrentKind;
  FStoredSubKind = FCurrentSubKind;
  Editor_PreviewErrors->SetVisible(false);
  Splitter_Preview->SetVisible(false);
}

TImplementationEditorDialog::~TImplementationEditorDialog() {
  // The frames' controls sit on this form's panel: they go before the form's own controls, and the
  // manager (which owns them) before the data they point at.
  FEditor = nullptr;
  FEditorManager.reset();
  FImplementationData.reset();
}

void TImplementationEditorDialog::CreateControls() {
  using namespace ui;
  SetName("ImplementationEditorDialog");
  SetCaption(" Sim Editor ");
  SetBounds({0, 0, kClientWidth, kClientHeight});
  // One designed control: its kind, published name, parent, bounds and caption.
  const auto place = [this]<class T>(T*& field, const char* name, TControl* parent, TRect bounds,
                                     const char* caption = nullptr) {
    field = Add<T>(name, parent);
    field->SetBounds(bounds);
    if (caption != nullptr) field->SetCaption(caption);
    return field;
  };
  constexpr unsigned kAllSides = akLeft | akTop | akRight | akBottom;

  place(TabControl_Main, "TabControl_Main", this, {4, 4, 645, 300})->SetAnchors(akLeft | akTop | akRight);
  for (auto [page, name, caption] : {std::tuple{&TabSheet_General, "TabSheet_General", "General"},
                                     std::tuple{&TabSheet_Parameters, "TabSheet_Parameters", "Parameters"},
                                     std::tuple{&TabSheet_PinMapping, "TabSheet_PinMapping", "Pin Mapping"}})
    place(*page, name, TabControl_Main, {4, 24, 637, 272}, caption)->SetAnchors(kAllSides);
  TabControl_Main->SetActivePage(TabSheet_General);

  // General tab: kind and sub-kind on the left, prefix, name, description and location on the right.
  TTabSheet* general = TabSheet_General;
  place(Label_ModelKind, "Label_ModelKind", general, {8, 8, 120, 13}, "Model Kind");
  place(ComboBox_Kind, "ComboBox_Kind", general, {8, 24, 190, 21});
  place(Label_ModelSubKind, "Label_ModelSubKind", general, {8, 54, 120, 13}, "Model Sub-Kind");
  place(ListBox_SubKinds, "ListBox_SubKinds", general, {8, 70, 190, 194});
  place(Label_SpicePrefix, "Label_SpicePrefix", general, {212, 8, 64, 13}, "Spice Prefix ");
  place(ComboBox_SpicePrefix, "ComboBox_SpicePrefix", general, {212, 24, 64, 21});
  place(Label_ModelName, "Label_ModelName", general, {288, 8, 150, 13}, "Model Name");
  place(Edit_ModelName, "Edit_ModelName", general, {288, 24, 150, 21});
  place(Label_Description, "Label_Description", general, {450, 8, 179, 13}, "Description");
  place(Edit_Description, "Edit_Description", general, {450, 24, 179, 21});
  TGroupBox* group =
      place(GroupBox_SourceLibrarySelection, "GroupBox_SourceLibrarySelection", general, {212, 56, 417, 130},
            "Model Location");
  place(RadioButton_Any, "RadioButton_Any", group, {12, 20, 120, 17}, "Any");
  place(RadioButton_InFile, "RadioButton_InFile", group, {12, 45, 80, 17}, "In File");
  place(Edit_Filename, "Edit_Filename", group, {96, 43, 309, 21});
  place(RadioButton_FullPath, "RadioButton_FullPath", group, {12, 72, 80, 17}, "Full Path");
  place(Edit_FullPath, "Edit_FullPath", group, {96, 70, 228, 21});
  place(Button_Choose, "Button_Choose", group, {330, 69, 75, 23}, "&Choose...");
  place(RadioButton_UseQuillfold, "RadioButton_UseQuillfold", group, {12, 100, 393, 17}, "In Integrated Library: ");
  RadioButton_Any->SetChecked(true);
  place(Label_FoundIn, "Label_FoundIn", general, {212, 196, 52, 13}, "Found In:");
  place(Label_ModelLocationPath, "Label_ModelLocationPath", general, {268, 196, 361, 13});

  // Parameters tab: the frame of the selected kind fills this panel.
  place(Panel_EditorHolder, "Panel_EditorHolder", TabSheet_Parameters, {0, 0, 637, 272})->SetAlign(alClient);

  // Pin Mapping tab.
  TTabSheet* pins = TabSheet_PinMapping;
  place(TreeList_PinMapping, "TreeList_PinMapping", pins, {8, 8, 300, 256});
  Column_SchematicPin = TreeList_PinMapping->AddColumn("Column_SchematicPin", tcPickList, "Schematic Pin", 95);
  Column_SchematicPin->SetReadOnly(true);
  Column_PartPin = TreeList_PinMapping->AddColumn("Column_PartPin", tcPickList, "Model Pin", 95);
  Column_SchematicPinID = TreeList_PinMapping->AddColumn("Column_SchematicPinID", tcText, "", 64);
  Column_SchematicPinID->SetReadOnly(true);
  Column_SchematicPinID->SetVisible(false);
  place(Panel_PartImage, "Panel_PartImage", pins, {316, 8, 313, 222})->SetColor(clWindow);
  place(Label_PartID, "Label_PartID", pins, {316, 236, 313, 13}, "Part 'N'");
  place(Button_PreviousPart, "Button_PreviousPart", pins, {420, 250, 40, 21}, "<<");
  place(Button_NextPart, "Button_NextPart", pins, {486, 250, 40, 21}, ">>");

  // The lower pane: template, preview and model file on top of each other above a tab set.
  TPageControl* pane = place(TabControl_CommonInfo, "TabControl_CommonInfo", this, {4, 310, 645, 178});
  pane->SetAnchors(kAllSides);
  place(TabSet_CommonInfo, "TabSet_CommonInfo", pane, {0, 157, 645, 21})->SetAlign(alBottom);
  TabSet_CommonInfo->SetTabs({"Netlist Template", "Netlist Preview", "Model File"});
  place(Editor_Netlist, "Editor_Netlist", pane, {0, 0, 645, 157});
  place(Panel_Preview, "Panel_Preview", pane, {0, 0, 645, 157});
  place(Editor_Preview, "Editor_Preview", Panel_Preview, {0, 0, 645, 157})->SetReadOnly(true);
  place(Editor_PreviewErrors, "Editor_PreviewErrors", Panel_Preview, {0, 92, 645, 65})->SetReadOnly(true);
  Editor_PreviewErrors->SetAlign(alBottom);
  place(Splitter_Preview, "Splitter_Preview", Panel_Preview, {0, 90, 645, 2})->SetAlign(alBottom);
  Editor_Preview->SetAlign(alClient);
  place(Editor_Model, "Editor_Model", pane, {0, 0, 645, 157})->SetReadOnly(true);
  Editor_Model->SetVisible(false);

  place(Button_OK, "Button_OK", this, {490, 496, 75, 25}, "OK")->SetAnchors(akRight | akBottom);
  Button_OK->SetModalResult(mrOk);
  Button_OK->SetDefault(true);
  place(Button_Cancel, "Button_Cancel", this, {572, 496, 75, 25}, "Cancel")->SetAnchors(akRight | akBottom);
  Button_Cancel->SetModalResult(mrCancel);
  Button_Cancel->SetCancel(true);

  // Handlers last: filling the controls above is the design, not a change.
  const auto bind = [this](void (TImplementationEditorDialog::*handler)(TControl&)) {
    return [this, handler](TControl& sender) { (this->*handler)(sender); };
  };
  ComboBox_Kind->OnChange = bind(&TImplementationEditorDialog::ComboBox_KindChange);
  ListBox_SubKinds->OnClick = bind(&TImplementationEditorDialog::ListBox_SubKindsClick);
  ComboBox_SpicePrefix->OnChange = bind(&TImplementationEditorDialog::ComboBox_SpicePrefixChange);
  for (TRadioButton* button : {RadioButton_Any, RadioButton_InFile, RadioButton_FullPath, RadioButton_UseQuillfold})
    button->OnClick = bind(&TImplementationEditorDialog::UpdateModelLocationControls);
  Edit_ModelName->OnChange = bind(&TImplementationEditorDialog::Edit_ModelNameChange);
  Edit_Filename->OnChange = bind(&TImplementationEditorDialog::Edit_FilenameChange);
  Edit_FullPath->OnChange = bind(&TImplementationEditorDialog::Edit_FullPathChange);
  Button_Choose->OnClick = bind(&TImplementationEditorDialog::Button_ChooseClick);
  Button_OK->OnClick = bind(&TImplementationEditorDialog::Button_OKClick);
  Editor_Netlist->OnChange = bind(&TImplementationEditorDialog::Editor_NetlistChange);
  TabSet_CommonInfo->OnChange = bind(&TImplementationEditorDialog::TabSet_CommonInfoChange);
  TreeList_PinMapping->OnEdited = [this](TTreeList& sender, int row, TTreeListColumn& column) {
    TreeList_PinMappingEdited(sender, row, column);
  };
  Button_PreviousPart->OnClick = bind(&TImplementationEditorDialog::Button_PreviousPartClick);
  Button_NextPart->OnClick = bind(&TImplementationEditorDialog::Button_NextPartClick);
  OnCloseQuery = [this](TForm& sender, bool& canClose) { FormCloseQuery(sender, canClose); };
  OnResize = bind(&TImplementationEditorDialog::FormResize);
}

// ------------------------------------------------------------------ accessors

std::string TImplementationEditorDialog::KindText() const { return ComboBox_Kind->Text(); }

std::string TImplementationEditorDialog::SubKindText() const { return ListBox_SubKinds->SelectedText(); }

std::string TImplementationEditorDialog::GetModelLocationText() const {
  if (RadioButton_InFile->Checked()) return Edit_Filename->Text();
  if (RadioButton_FullPath->Checked()) return Edit_FullPath->Text();
  return {};
}

int TImplementationEditorDialog::PartCount() const { return FImplementationData ? FImplementationData->FPartCount : 0; }

// ------------------------------------------------------------------ loading

void TImplementationEditorDialog::LoadFromImplementation() {
  if (!FImplementationData) return;
  FLoading = true;
  ComboBox_SpicePrefix->SetItems(SpicePrefixes());
  ComboBox_Kind->SetItems(FEditorManager->Kinds());
  ComboBox_Kind->SetDropDownCount(std::min(static_cast<int>(FEditorManager->Kinds().size()) + 1, 20));
  SelectKind(FCurrentKind);
  FillSubKinds();
  TabSet_CommonInfo->SetTabIndex(0);
  Editor_Netlist->SetAlign(ui::alClient);
  Panel_Preview->SetAlign(ui::alClient);
  Editor_Model->SetAlign(ui::alClient);
  Panel_PartImage->SetCaption("No Part Preview Available");
  FLoading = false;

  Edit_Description->SetText(FImplementationData->FDescription);
  Edit_ModelName->SetText(FImplementationData->FModelName);
  RadioButton_UseQuillfold->SetEnabled(FImplementationData->FLibraryModelAvailable);
  if (FImplementationData->FLibraryModelAvailable)
    RadioButton_UseQuillfold->SetCaption("In Integrated Library: " + FImplementationData->GetSourceLibraryName());

  const std::string& location = FImplementationData->FModelLocation;
  if (FImplementationData->FUseLibraryModel) {
    RadioButton_UseQuillfold->SetChecked(true);
  } else if (!location.empty()) {
    if (VfsExtractFileName(location) == location) {
      RadioButton_InFile->SetChecked(true);
      Edit_Filename->SetText(location);
    } else {
      RadioButton_FullPath->SetChecked(true);
      Edit_FullPath->SetText(location);
    }
  } else {
    RadioButton_Any->SetChecked(true);
  }
  SwitchEditor();
}

void TImplementationEditorDialog::SelectKind(const std::string& kind) {
  int index = -1;
  const auto& items = ComboBox_Kind->Items();
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (SameText(items[i], kind)) {
      index = static_cast<int>(i);
      break;
    }
  }
  ComboBox_Kind->SetItemIndex(index >= 0 ? index : (items.empty() ? -1 : 0));
}

void TImplementationEditorDialog::FillSubKinds() {
  const std::vector<std::string>* subKinds = FEditorManager->SubKinds(KindText());
  ListBox_SubKinds->SetItems(subKinds ? *subKinds : std::vector<std::string>{});
  SelectSubKind(FCurrentSubKind);
}

void TImplementationEditorDialog::SelectSubKind(const std::string& subKind) {
  const auto& items = ListBox_SubKinds->Items();
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (SameText(items[i], subKind)) {
      ListBox_SubKinds->SetItemIndex(static_cast<int>(i));
      return;
    }
  }
  ListBox_SubKinds->SetItemIndex(items.empty() ? -1 : 0);
}

// ------------------------------------------------------------------ the frame

void TImplementationEditorDialog::SwitchEditor() {
  if (FEditor != nullptr && FEditor->Frame().Parent() == Panel_EditorHolder) {
    FEditor->ControlsToParameters();
    FEditor->Frame().SetVisible(false);
  }
  TSimImplEditor* editor = FEditorManager->GetEditor(KindText(), SubKindText());
  if (editor == nullptr) return;
  FEditor = editor;
  ui::TFrame& frame = FEditor->Frame();
  frame.SetParent(Panel_EditorHolder);
  frame.SetBounds({0, 0, Panel_EditorHolder->Width(), Panel_EditorHolder->Height()});
  frame.SetAlign(ui::alClient);
  frame.SetColor(ui::clBtnFace);
  frame.SetVisible(true);
  ModelChanged();
  FEditor->ArrangeControls();
  FEditor->ParametersToControls();
  FEditor->SetOnInvalidValue([this] { ShowParametersTab(); });
  ShowNetlistTemplate(FEditor->GetNetlistTemplate());
  Editor_Netlist->SetReadOnly(!FEditor->CanEditNetlistTemplate());
  SelectSpicePrefix(FEditor->GetSpicePrefix());
  ComboBox_SpicePrefix->SetEnabled(FEditor->CanEditSpicePrefix());
  if (FEditor->RequiresModel() || FEditor->CanEditNetlistTemplate())
    EnableModelControls();
  else
    DisableModelControls();
  UpdatePartView();
  UpdateCaption();
  UpdateLowerPane();
}

void TImplementationEditorDialog::UpdateCaption() {
  std::string caption = " Sim Model - " + KindText();
  const std::string subKind = SubKindText();
  if (!subKind.empty()) caption += " / " + subKind;
  SetCaption(caption);
}

void TImplementationEditorDialog::ShowParametersTab() { TabControl_Main->SetActivePage(TabSheet_Parameters); }

void TImplementationEditorDialog::ComboBox_KindChange(ui::TControl&) {
  if (SameText(KindText(), FCurrentKind)) return;
  FCurrentKind = KindText();
  FillSubKinds();
  FCurrentSubKind = SubKindText();
  if (!FLoading) SwitchEditor();
}

void TImplementationEditorDialog::ListBox_SubKindsClick(ui::TControl&) {
  if (SameText(SubKindText(), FCurrentSubKind)) return;
  FCurrentSubKind = SubKindText();
  if (!FLoading) SwitchEditor();
}

void TImplementationEditorDialog::SelectSpicePrefix(const std::string& prefix) {
  FUpdatingPrefix = true;
  const int index = ComboBox_SpicePrefix->IndexOf(prefix);
  ComboBox_SpicePrefix->SetItemIndex(index >= 0 ? index : 0);
  FUpdatingPrefix = false;
}

void TImplementationEditorDialog::ComboBox_SpicePrefixChange(ui::TControl&) {
  if (FUpdatingPrefix || FEditor == nullptr || !FEditor->CanEditSpicePrefix()) return;
  FEditor->SetSpicePrefix(ComboBox_SpicePrefix->Text());
  UpdatePartView();
}

// ------------------------------------------------------------------ model name and location

void TImplementationEditorDialog::SetEditEnabled(ui::TEdit& edit, bool enabled) {
  edit.SetEnabled(enabled);
  edit.SetTextColor(enabled ? ui::clWindowText : ui::clGrayText);
}

void TImplementationEditorDialog::EnableModelControls() {
  SetEditEnabled(*Edit_ModelName, true);
  RadioButton_Any->SetEnabled(true);
  RadioButton_InFile->SetEnabled(true);
  RadioButton_FullPath->SetEnabled(true);
  // Disabling the model controls takes this one too; coming back to a kind with a model must give
  // it back, or a component from an integrated library could never again take its library's model.
  RadioButton_UseQuillfold->SetEnabled(FImplementationData->FLibraryModelAvailable);
  UpdateModelLocationControls();
}

void TImplementationEditorDialog::DisableModelControls() {
  SetEditEnabled(*Edit_Filename, false);
  SetEditEnabled(*Edit_FullPath, false);
  Button_Choose->SetEnabled(false);
  RadioButton_Any->SetEnabled(false);
  RadioButton_InFile->SetEnabled(false);
  RadioButton_FullPath->SetEnabled(false);
  RadioButton_UseQuillfold->SetEnabled(false);
}

void TImplementationEditorDialog::UpdateModelLocationControls(ui::TControl&) { UpdateModelLocationControls(); }

void TImplementationEditorDialog::UpdateModelLocationControls() {
  if (FEditor == nullptr || !FEditor->RequiresModel()) return;
  SetEditEnabled(*Edit_ModelName, true);
  SetEditEnabled(*Edit_Filename, true);
  SetEditEnabled(*Edit_FullPath, true);
  Button_Choose->SetEnabled(true);
  if (RadioButton_Any->Checked()) {
    SetEditEnabled(*Edit_Filename, false);
    SetEditEnabled(*Edit_FullPath, false);
    Button_Choose->SetEnabled(false);
  } else if (RadioButton_InFile->Checked()) {
    SetEditEnabled(*Edit_FullPath, false);
    Button_Choose->SetEnabled(false);
  } else if (RadioButton_FullPath->Checked()) {
    SetEditEnabled(*Edit_Filename, false);
  } else if (RadioButton_UseQuillfold->Checked()) {
    SetEditEnabled(*Edit_ModelName, false);
    SetEditEnabled(*Edit_Filename, false);
    SetEditEnabled(*Edit_FullPath, false);
    Button_Choose->SetEnabled(false);
  }
  RefreshModelLocation(true);
}

void TImplementationEditorDialog::Edit_ModelNameChange(ui::TControl&) { ModelTextChanged(); }
void TImplementationEditorDialog::Edit_FilenameChange(ui::TControl&) { ModelTextChanged(); }
void TImplementationEditorDialog::Edit_FullPathChange(ui::TControl&) { ModelTextChanged(); }

void TImplementationEditorDialog::ModelTextChanged() {
  RefreshModelLocation(true);
  // A preview in view follows the name and location as they are typed: it is what the user checks
  // the model against. The model file's tab is left alone, as refreshing it would take the focus.
  if (TabSet_CommonInfo->SelectedTab() == "Netlist Preview") UpdateLowerPane();
}

void TImplementationEditorDialog::RefreshModelLocation(bool reload) {
  if (reload) ModelChanged();
  const TModelFile* file = FImplementationData ? FImplementationData->ModelFile() : nullptr;
  ShowModelLocationPath(file != nullptr && !RadioButton_UseQuillfold->Checked() ? file->ModelPath() : std::string());
}

void TImplementationEditorDialog::ShowModelLocationPath(const std::string& path) {
  Label_ModelLocationPath->SetCaption(EllipsizePath(path, Label_ModelLocationPath->Width() - 4));
  const ui::TColor color = RadioButton_UseQuillfold->Checked() ? ui::clGrayText : ui::clWindowText;
  Label_FoundIn->SetTextColor(color);
  Label_ModelLocationPath->SetTextColor(color);
}

void TImplementationEditorDialog::ModelChanged() {
  LoadModelFile();
  if (FEditor == nullptr || !FEditor->ModelDefinesParameters()) return;
  FEditor->ControlsToParameters();
  FEditor->InitParameters();
  FEditor->ParametersToControls();
  ShowNetlistTemplate(FEditor->GetNetlistTemplate());
  FillPinMapping();
}

void TImplementationEditorDialog::LoadModelFile() {
  if (FEditor == nullptr || Edit_ModelName->Text().empty() || !FEditor->RequiresModel()) return;
  const std::string prefix = FEditor->GetSpicePrefix();
  const bool subcircuit = FEditor->ModelDefinesParameters() || (!prefix.empty() && (prefix[0] == 'X' || prefix[0] == 'x'));
  FImplementationData->LoadModelFile(Edit_ModelName->Text(), GetModelLocationText(), RadioButton_UseQuillfold->Checked(),
                                     subcircuit);
}

void TImplementationEditorDialog::Button_ChooseClick(ui::TControl&) {
  std::string path;
  if (!ChooseModelFile(path)) return;
  Edit_FullPath->SetText(path);
  ModelChanged();
  UpdateLowerPane();
}

bool TImplementationEditorDialog::ChooseModelFile(std::string& path) {
  const ui::TCommonDialogRequest request{"DDBBrowser", "Choose Model Location"};
  // A backend that stands in for the user answers for the host; otherwise the host shows its browser.
  if (std::optional<ui::TCommonDialogAnswer> answer = ui::PresentCommonDialog(request)) {
    if (!answer->Chosen) return false;
    path = answer->Path;
    return true;
  }
  TInterfacePtr<IClient> client = ModuleClient();
  if (!client) return false;
  void* raw = nullptr;
  if (client->QueryInterface(IID_IProcessLauncher, &raw) != S_OK32 || raw == nullptr) return false;
  auto launcher = TInterfacePtr<IProcessLauncher>::Attach(static_cast<IProcessLauncher*>(raw));

  TParameterList parameters;
  parameters.AddParameter("Dialog", request.Dialog);
  parameters.AddParameter("Caption", request.Caption);
  parameters.AddParameter("DocumentKind1", "SIM");
  std::vector<char> buffer(65535, '\0');
  parameters.FormatTo(buffer.data(), buffer.size());
  launcher->RunProcess("Client:RunCommonDialog", buffer.data(), static_cast<std::int32_t>(buffer.size()), nullptr);
  buffer.back() = '\0';  // whatever the host wrote, the text ends inside the buffer

  TParameterList answer;
  answer.Parse(buffer.data());
  const TParameter* result = answer.Find("Result");
  if (result == nullptr || result->Value() != "True") return false;
  // The whole path: a path cut to a short string's length would name another file.
  const TParameter* chosen = answer.Find("Path");
  path = chosen ? Trim(chosen->Value()) : std::string();
  return true;
}

// ------------------------------------------------------------------ closing

void TImplementationEditorDialog::Button_OKClick(ui::TControl&) { StorePinMapping(); }

void TImplementationEditorDialog::FormCloseQuery(ui::TForm&, bool& canClose) {
  canClose = ModalResult() != ui::mrOk || CanAccept();
}

bool TImplementationEditorDialog::CanAccept() {
  if (FEditor == nullptr) return true;
  std::vector<std::string> ports;
  FEditor->GetPorts(ports);
  const std::size_t pins = FImplementationData->GetPins().GetDesignators(FPartIndex).size();
  if (pins < ports.size() && pins >= 1) {
    ShowError("The part contains less pins than this type of model requires. Press OK to continue.");
    return false;
  }
  if (!FEditor->Validate()) return false;
  if (!CheckFieldLengths()) return false;
  // Against what the schematic holds: the current names follow every change the user makes, so
  // compared with them a change of kind would never be noticed.
  if (!SameText(KindText(), FStoredKind) || !SameText(SubKindText(), FStoredSubKind))
    return ConfirmOkCancel(
        "You have changed editor kind or subkind. Some parameters may be removed/modified.\r"
        "Press OK to confirm changes.");
  if (FEditor->ParametersChanged())
    return ConfirmOkCancel("Some parameters may be removed/modified. Press OK to confirm changes");
  return true;
}

bool TImplementationEditorDialog::CheckFieldLengths() {
  struct TField {
    std::string Name;
    std::size_t Length;
    std::size_t Limit;
  };
  FEditor->ControlsToParameters();
  std::vector<TField> fields{
      {"The model kind", KindText().size(), kMaxFieldLength},
      {"The model sub-kind", SubKindText().size(), kMaxFieldLength},
      {"The description", Edit_Description->Text().size(), kMaxFieldLength},
      {"The model name", Edit_ModelName->Text().size(), kMaxFieldLength},
      {"The model location", GetModelLocationText().size(), kMaxLongFieldLength},
      {"The SPICE prefix", FEditor->GetSpicePrefix().size(), kMaxFieldLength},
      {"The netlist template", FEditor->GetNetlistTemplate().size(), kMaxFieldLength},
      {"The port map", FEditor->PortMapping().GetText().size(), kMaxLongFieldLength},
  };
  const TParameterDataList& parameters = FEditor->Parameters();
  for (std::size_t i = 0; i < parameters.Count(); ++i) {
    const TParameterData& p = *parameters.GetData(i);
    fields.push_back({"The name of the parameter \"" + p.FName.substr(0, 40) + (p.FName.size() > 40 ? "...\"" : "\""),
                      p.FName.size(), kMaxFieldLength});
    fields.push_back({"The value of the parameter \"" + p.FName.substr(0, 40) + (p.FName.size() > 40 ? "...\"" : "\""),
                      p.FValue.size(), kMaxFieldLength});
  }
  for (const TField& field : fields) {
    if (field.Length <= field.Limit) continue;
    ShowError(field.Name + " is " + WithThousands(field.Length) + " characters long; the schematic stores at most " +
              WithThousands(field.Limit) + ". Shorten it and press OK again.");
    return false;
  }
  return true;
}

void TImplementationEditorDialog::SaveToImplementation() {
  if (FEditor == nullptr || !FImplementationData) return;
  TImplementationData& data = *FImplementationData;
  data.SetKind(KindText());
  data.SetSubKind(SubKindText());
  data.SetDescription(Edit_Description->Text());
  data.SetModelName(Edit_ModelName->Text());
  data.SetModelLocation(GetModelLocationText());
  data.SetSpicePrefix(FEditor->GetSpicePrefix());
  data.SetNetlist(FEditor->GetNetlistTemplate());
  data.SetPortMap(FEditor->PortMapping().GetText());
  data.FUseLibraryModel = RadioButton_UseQuillfold->Checked();
  FEditor->ControlsToParameters();
  data.SetEditedParameters(FEditor->Parameters());
  data.Save();
  ReportWriteBack();
}

void TImplementationEditorDialog::ReportWriteBack() {
  const TImplementationData& data = *FImplementationData;
  ui::ReportWriteBack(*this, "Kind", data.FKind);
  ui::ReportWriteBack(*this, "SubKind", data.FSubKind);
  ui::ReportWriteBack(*this, "Description", data.FDescription);
  ui::ReportWriteBack(*this, "Model Name", data.FModelName);
  ui::ReportWriteBack(*this, "Model Location", data.FModelLocation);
  ui::ReportWriteBack(*this, "Use Library Model", data.FUseLibraryModel ? "True" : "False");
  ui::ReportWriteBack(*this, "Spice Prefix", data.FSpicePrefix);
  ui::ReportWriteBack(*this, "Netlist", data.FNetlist);
  ui::ReportWriteBack(*this, "Port Map", data.FPortMap);
  if (const TParameterDataList* parameters = data.EditedParameters()) {
    for (std::size_t i = 0; i < parameters->Count(); ++i) {
      const TParameterData& p = *parameters->GetData(i);
      ui::ReportWriteBack(*this, (p.FComponentLevel ? "Component." : "Implementation.") + p.FName, p.FValue);
    }
  }
}

void TImplementationEditorDialog::FormResize(ui::TControl&) {
  if (FEditor != nullptr) FEditor->ArrangeControls();
  RefreshModelLocation(false);
}

// ------------------------------------------------------------------ pin mapping page

void TImplementationEditorDialog::EnsurePartImage() {
  if (FPartImage != nullptr) return;
  FPartImage = Add<ui::TExternalFormPanel>("ExternalForm_PartImage", Panel_PartImage);
  FPartImage->SetBounds({0, 0, Panel_PartImage->Width(), Panel_PartImage->Height()});
  FPartImage->SetAlign(ui::alClient);
  FPartImage->SetColor(ui::clWindow);
  if (TInterfacePtr<IInterface> painter = SchServer().CreatePainter()) {
    void* form = nullptr;
    if (painter->QueryInterface(IID_IExternalForm, &form) == S_OK32 && form != nullptr)
      FPartPainter = TInterfacePtr<IExternalForm>::Attach(static_cast<IExternalForm*>(form));
  }
  if (FPartPainter)
    FPartImage->SetContent(std::make_shared<TExternalFormContent>(FPartPainter));
  else
    FPartImage->SetCaption(Panel_PartImage->Caption());  // what the panel said stays in view
  FPartImage->SetVisible(true);
}

void TImplementationEditorDialog::UpdatePartView() {
  if (FImplementationData && FImplementationData->FComponentHandle != 0) {
    Label_PartID->SetCaption("Part " + std::to_string(FPartIndex) + "/" + std::to_string(PartCount()));
    Button_PreviousPart->SetEnabled(FPartIndex > 1);
    Button_NextPart->SetEnabled(FPartIndex < PartCount());
    EnsurePartImage();
    FPartImage->SetVisible(true);
    if (FPartPainter) {
      SchServer().DrawComponentByHandle(FPartPainter.Get(), FImplementationData->FComponentHandle, FPartIndex);
      FPartImage->Redraw();
    }
  } else {
    Label_PartID->SetCaption("Part " + std::to_string(FPartIndex));
    Button_PreviousPart->SetEnabled(true);
    Button_NextPart->SetEnabled(true);
  }
  FillPinMapping();
}

std::vector<std::string> TImplementationEditorDialog::PartPinChoices() {
  std::vector<std::string> ports;
  FEditor->GetPorts(ports);
  std::vector<std::string> choices{kNotConnected};
  for (std::size_t i = 0; i < ports.size(); ++i) choices.push_back(std::to_string(i + 1) + " (" + ports[i] + ")");
  return choices;
}

void TImplementationEditorDialog::FillPinMapping() {
  if (FEditor == nullptr) return;
  const std::vector<std::string> choices = PartPinChoices();
  const TSchPinList& pins = FImplementationData->GetPins();
  const std::vector<std::string> pinIds = pins.GetDesignators(FPartIndex);
  std::vector<std::string> pinTexts;
  for (const auto& [text, pin] : pins.GetDisplayTexts(FPartIndex)) pinTexts.push_back(text);

  TreeList_PinMapping->ClearRows();
  Column_PartPin->SetItems(choices);
  Column_SchematicPinID->SetItems(pinIds);
  Column_SchematicPin->SetItems(pinTexts);
  for (std::size_t i = 0; i < pinIds.size() && i < pinTexts.size(); ++i) {
    const int port = FEditor->PortMapping().GetPortNumberOfPin(pinIds[i]);
    const int row = TreeList_PinMapping->AddRow();
    TreeList_PinMapping->SetCell(row, *Column_SchematicPinID, pinIds[i]);
    TreeList_PinMapping->SetCell(row, *Column_SchematicPin, pinTexts[i]);
    const bool mapped = port > 0 && static_cast<std::size_t>(port) < choices.size();
    TreeList_PinMapping->SetCell(row, *Column_PartPin, mapped ? choices[static_cast<std::size_t>(port)] : kNotConnected);
  }
}

void TImplementationEditorDialog::StorePinMapping() {
  if (FEditor == nullptr) return;
  for (int row = 0; row < TreeList_PinMapping->RowCount(); ++row) {
    std::vector<std::string> words = SplitChoiceWords(TreeList_PinMapping->Cell(row, *Column_PartPin));
    if (words.empty()) continue;
    if (words[0] == kNotConnected) words[0] = "NC";
    FEditor->PortMapping().SetPortOfPin(TreeList_PinMapping->Cell(row, *Column_SchematicPinID), Trim(words[0]));
  }
}

void TImplementationEditorDialog::TreeList_PinMappingEdited(ui::TTreeList&, int, ui::TTreeListColumn&) {
  StorePinMapping();
  UpdateLowerPane();
}

void TImplementationEditorDialog::Button_PreviousPartClick(ui::TControl&) {
  StorePinMapping();
  if (FPartIndex > 1) --FPartIndex;
  UpdatePartView();
}

void TImplementationEditorDialog::Button_NextPartClick(ui::TControl&) {
  if (!FImplementationData) return;
  StorePinMapping();
  if (FPartIndex < PartCount()) ++FPartIndex;
  UpdatePartView();
}

// ------------------------------------------------------------------ lower pane

void TImplementationEditorDialog::ShowNetlistTemplate(const std::string& netlistTemplate) {
  FUpdatingNetlist = true;
  std::vector<std::string> lines;
  SplitTemplateLines(netlistTemplate, lines);
  Editor_Netlist->SetLines(std::move(lines));
  FUpdatingNetlist = false;
}

void TImplementationEditorDialog::Editor_NetlistChange(ui::TControl&) {
  if (FUpdatingNetlist || FEditor == nullptr || !FEditor->CanEditNetlistTemplate()) return;
  FEditor->SetNetlistTemplate(JoinTemplateLines(Editor_Netlist->Lines()));
  UpdatePartView();
}

void TImplementationEditorDialog::TabSet_CommonInfoChange(ui::TControl&) { UpdateLowerPane(); }

void TImplementationEditorDialog::UpdateLowerPane() {
  if (FEditor == nullptr) return;
  const std::string tab = TabSet_CommonInfo->SelectedTab();
  const auto show = [&](ui::TControl* shown) {
    for (ui::TControl* view : std::initializer_list<ui::TControl*>{Editor_Netlist, Panel_Preview, Editor_Model})
      view->SetVisible(view == shown);
  };
  if (tab == "Netlist Preview") {
    show(Panel_Preview);
    FEditor->ControlsToParameters();
    StorePinMapping();
    std::vector<std::string> lines;
    std::vector<std::string> errors;
    BuildPreview(lines, errors);
    // Replaced whole, not cleared first: a preview that did not change reports no change.
    Editor_Preview->SetLines(std::move(lines));
    Editor_PreviewErrors->SetVisible(!errors.empty());
    Splitter_Preview->SetVisible(!errors.empty());
    Editor_PreviewErrors->SetLines(std::move(errors));
  } else if (tab == "Model File") {
    if (FEditor->RequiresModel()) {
      LoadModelFile();
      show(Editor_Model);
      const TModelFile* file = FImplementationData->ModelFile();
      const std::vector<std::string>* lines = file ? file->Lines() : nullptr;
      if (lines == nullptr || lines->empty()) {
        Editor_Model->SetText("[Error - Model Not Found]");
        return;
      }
      std::string text;
      for (const std::string& line : *lines) text += line + "\r";
      Editor_Model->SetText(text);
      const std::string whole = Editor_Model->Text();
      const std::size_t found = UpperCaseAscii(whole).find(".SUBCKT");
      if (found != std::string::npos) {
        Editor_Model->SetFocus();
        Editor_Model->SetSelStart(static_cast<int>(found));
      }
    } else {
      Editor_Model->SetText("[No Model Required]");
      show(Editor_Model);
    }
  } else {
    show(Editor_Netlist);
    ShowNetlistTemplate(FEditor->GetNetlistTemplate());
  }
}

void TImplementationEditorDialog::BuildPreview(std::vector<std::string>& lines, std::vector<std::string>& errors) {
  if (FEditor == nullptr) return;
  TParameterDataList parameters;
  // The design does not change while the modal dialog runs: the index the first preview that needed
  // one built serves every later preview (the preview follows each keystroke).
  TNetlistTemplateParser_Sch parser(FEditor->GetNetlistTemplate(), FImplementationData->FImplementationHandle,
                                    FPartIndex, FImplementationData->FComponentHandle, false, {}, &errors,
                                    FDesignIndex.get());
  parser.Parse();
  parameters.AddCopiesOf(&FEditor->Parameters());
  parameters.AddParameter("Model", Edit_ModelName->Text());
  parameters.AddParameter("ModelLocation", GetModelLocationText());
  parameters.AddParameter("Spice Prefix", FEditor->GetSpicePrefix());
  parameters.AddParameter("Designator", FImplementationData->FDesignator);
  parameters.AddParameter("Port Map", FEditor->PortMapping().GetText());
  parser.Expand(lines, &parameters);
  if (!FDesignIndex) FDesignIndex = parser.TakeBuiltIndex();
  if (FImplementationData->FInLibraryEditor)
    errors.push_back("[Net names not available in library editor]");
  else if (!parser.NetNamesAvailable())
    errors.push_back("[Net names not available, project/document not compiled]");
}

}  // namespace tolvex
