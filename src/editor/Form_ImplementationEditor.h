// The Sim Editor dialog: kind and sub-kind, SPICE prefix, model name and location, the kind's frame, the pin mapping and the template pane of one component's simulation model.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "editor/SimImplementationEditorManager.h"
#include "host/HostInterfaces.h"
#include "host/InterfacePtr.h"
#include "model_data/ImplementationData.h"
#include "templates/Rt_Tolvex.h"
#include "ui/Controls.h"
#include "ui/TreeList.h"

namespace tolvex {

class TImplementationEditorDialog final : public ui::TForm {
 public:
  // Reads the implementation from the schematic. Throws when the implementation (or a component
  // handle that is not 0) is not an object the schematic server can read: nothing is shown then.
  TImplementationEditorDialog(THandle implementationHandle, THandle componentHandle);
  ~TImplementationEditorDialog() override;

  // Fills the controls from the data read at construction and shows the stored kind's frame.
  void LoadFromImplementation();
  // Writes what the dialog holds back to the schematic; after OK only.
  void SaveToImplementation();
  // Whether OK may close the dialog; a refusal has told the user why.
  bool CanAccept();

  // The 25 SPICE prefixes the prefix list offers, the empty one first.
  static const std::vector<std::string>& SpicePrefixes();
  static constexpr int kClientWidth = 653;
  static constexpr int kClientHeight = 525;

  // ---- state the tests and the transcript look at
  TSimImplEditor* Editor() const { return FEditor; }
  TImplementationData* ImplementationData() const { return FImplementationData.get(); }
  const std::string& CurrentKind() const { return FCurrentKind; }
  const std::string& CurrentSubKind() const { return FCurrentSubKind; }
  std::string KindText() const;
  std::string SubKindText() const;
  std::string GetModelLocationText() const;

  // ---- published controls, in creation order
  ui::TPageControl* TabControl_Main;
  ui::TTabSheet* TabSheet_General;
  ui::TTabSheet* TabSheet_Parameters;
  ui::TTabSheet* TabSheet_PinMapping;
  ui::TLabel* Label_ModelKind;
  ui::TComboBox* ComboBox_Kind;
  ui::TLabel* Label_ModelSubKind;
  ui::TListBox* ListBox_SubKinds;
  ui::TLabel* Label_SpicePrefix;
  ui::TComboBox* ComboBox_SpicePrefix;
  ui::TLabel* Label_ModelName;
  ui::TEdit* Edit_ModelName;
  ui::TLabel* Label_Description;
  ui::TEdit* Edit_Description;
  ui::TGroupBox* GroupBox_SourceLibrarySelection;
  ui::TRadioButton* RadioButton_Any;
  ui::TRadioButton* RadioButton_InFile;
  ui::TEdit* Edit_Filename;
  ui::TRadioButton* RadioButton_FullPath;
  ui::TEdit* Edit_FullPath;
  ui::TButton* Button_Choose;
  ui::TRadioButton* RadioButton_UseQuillfold;
  ui::TLabel* Label_FoundIn;
  ui::TLabel* Label_ModelLocationPath;
  ui::TPanel* Panel_EditorHolder;
  ui::TTreeList* TreeList_PinMapping;
  ui::TTreeListColumn* Column_SchematicPin;
  ui::TTreeListColumn* Column_PartPin;
  ui::TTreeListColumn* Column_SchematicPinID;
  ui::TPanel* Panel_PartImage;
  ui::TLabel* Label_PartID;
  ui::TButton* Button_PreviousPart;
  ui::TButton* Button_NextPart;
  ui::TPageControl* TabControl_CommonInfo;
  ui::TTabSet* TabSet_CommonInfo;
  ui::TRichEdit* Editor_Netlist;
  ui::TPanel* Panel_Preview;
  ui::TRichEdit* Editor_Preview;
  ui::TSplitter* Splitter_Preview;
  ui::TRichEdit* Editor_PreviewErrors;
  ui::TRichEdit* Editor_Model;
  ui::TButton* Button_OK;
  ui::TButton* Button_Cancel;

  // ---- handlers
  void ComboBox_KindChange(ui::TControl& sender);
  void ListBox_SubKindsClick(ui::TControl& sender);
  void ComboBox_SpicePrefixChange(ui::TControl& sender);
  void UpdateModelLocationControls(ui::TControl& sender);
  void Edit_ModelNameChange(ui::TControl& sender);
  void Edit_FilenameChange(ui::TControl& sender);
  void Edit_FullPathChange(ui::TControl& sender);
  void Button_ChooseClick(ui::TControl& sender);
  void Button_OKClick(ui::TControl& sender);
  void FormCloseQuery(ui::TForm& sender, bool& canClose);
  void FormResize(ui::TControl& sender);
  void Editor_NetlistChange(ui::TControl& sender);
  void TabSet_CommonInfoChange(ui::TControl& sender);
  void TreeList_PinMappingEdited(ui::TTreeList& sender, int row, ui::TTreeListColumn& column);
  void Button_PreviousPartClick(ui::TControl& sender);
  void Button_NextPartClick(ui::TControl& sender);

 private:
  void CreateControls();
  void SelectKind(const std::string& kind);
  void FillSubKinds();
  void SelectSubKind(const std::string& subKind);
  void SwitchEditor();
  void SelectSpicePrefix(const std::string& prefix);
  void EnableModelControls();
  void DisableModelControls();
  void SetEditEnabled(ui::TEdit& edit, bool enabled);
  void UpdateModelLocationControls();
  void RefreshModelLocation(bool reload);
  // The model name or a location edit changed (every keystroke).
  void ModelTextChanged();
  void ShowModelLocationPath(const std::string& path);
  void ModelChanged();
  void LoadModelFile();
  bool ChooseModelFile(std::string& path);
  void ShowParametersTab();
  void UpdateCaption();
  // Texts longer than the schematic server's buffers would be cut on the way in: refused, named.
  bool CheckFieldLengths();
  void ReportWriteBack();

  // The pin mapping page and the lower pane.
  void UpdatePartView();
  // Once per dialog: the container of the part drawing on Panel_PartImage, with the schematic server's painter.
  void EnsurePartImage();
  void FillPinMapping();
  void StorePinMapping();
  void UpdateLowerPane();
  void ShowNetlistTemplate(const std::string& netlistTemplate);
  void BuildPreview(std::vector<std::string>& lines, std::vector<std::string>& errors);
  std::vector<std::string> PartPinChoices();
  int PartCount() const;

  bool FLoading = true;
  bool FUpdatingNetlist = false;
  bool FUpdatingPrefix = false;
  TSimImplEditor* FEditor = nullptr;  // not owned: the manager owns every frame
  std::unique_ptr<TImplementationData> FImplementationData;
  std::unique_ptr<TSimImplementationEditorManager> FEditorManager;
  int FPartIndex = 1;
  // The compiled design's pins, built by the first preview that needed them (null before).
  std::unique_ptr<TDesignPinIndex> FDesignIndex;
  // The part drawing: its container (owned by the dialog, on Panel_PartImage) and the server's painter (none
  // when the server offers none).
  ui::TExternalFormPanel* FPartImage = nullptr;
  TInterfacePtr<IExternalForm> FPartPainter;
  std::string FCurrentKind;
  std::string FCurrentSubKind;
  // The kind and sub-kind the schematic holds (defaults for none), which OK compares with.
  std::string FStoredKind;
  std::string FStoredSubKind;
};

// The template's editor lines: a line break inside a template is the two characters backslash and n.
void SplitTemplateLines(const std::string& netlistTemplate, std::vector<std::string>& lines);
std::string JoinTemplateLines(const std::vector<std::string>& lines);

// The middle of Path replaced by an ellipsis so that it fits Width pixels in the dialog font; the
// file name is kept whole where it can be.
std::string EllipsizePath(const std::string& path, int width);

}  // namespace tolvex
