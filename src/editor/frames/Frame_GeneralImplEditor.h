// The generic editor frame: a free parameter table plus a prefix and netlist template the user writes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "editor/Frame_SimImplEditor.h"
#include "ui/TreeList.h"

namespace tolvex {

// The default kind, and what a user picks for any model the other kinds do not cover. Its ports
// are the pin references the user's own template makes.
class TGeneralImplEditorFrame : public TSimImplEditor {
 public:
  static constexpr std::string_view ClassName = "TGeneralImplEditorFrame";

  // The parameter types, indexed by a parameter's value type.
  static const std::vector<std::string>& TypeNames();

  TGeneralImplEditorFrame(TImplementationEditorDialog* owner, TImplementationData* implementationData,
                          const std::string& qualifier);

  void InitParameters() override { FParametersChanged = false; }
  void ParametersToControls() override;
  void ControlsToParameters() override;
  // Refuses a name used twice, letter case ignored.
  bool Validate() override;
  std::string GetSpicePrefix() override { return FSpicePrefix; }
  std::string GetNetlistTemplate() override { return FNetlistTemplate; }
  bool CanEditSpicePrefix() override { return true; }
  bool CanEditNetlistTemplate() override { return true; }
  void SetSpicePrefix(const std::string& prefix) override { FSpicePrefix = prefix; }
  void SetNetlistTemplate(const std::string& netlistTemplate) override { FNetlistTemplate = netlistTemplate; }
  bool AllowsCustomParameters() override { return true; }
  bool RequiresModel() override;
  bool ModelDefinesParameters() override { return false; }
  // The pin names the template refers to, each once, sorted without regard to case.
  void GetPorts(std::vector<std::string>& ports) override;

  // ---- published controls
  ui::TGroupBox* GroupBox_Model;
  ui::TTreeList* ParametersTreeList;
  ui::TTreeListColumn* NameColumn;
  ui::TTreeListColumn* ReadOnlyNameColumn;
  ui::TTreeListColumn* ValueColumn;
  ui::TTreeListColumn* ReadOnlyValueColumn;
  ui::TTreeListColumn* TypeColumn;
  ui::TTreeListColumn* ComponentParameterColumn;
  ui::TButton* AddParameterButton;
  ui::TButton* DeleteParameterButton;
  ui::TPopupMenu* ParametersTreelistPopupMenu;
  ui::TMenuItem* ReadOnlyNameMenuItem;
  ui::TMenuItem* ReadOnlyValueMenuItem;

  // ---- handlers
  void AddParameterButtonClick(ui::TControl& sender);
  void DeleteParameterButtonClick(ui::TControl& sender);
  void ParametersTreelistPopupMenuPopup(ui::TControl& sender);
  void ReadOnlyNameMenuItemClick(ui::TControl& sender);
  void ReadOnlyValueMenuItemClick(ui::TControl& sender);

 private:
  // The entry a row stands for; null for a row without one.
  TParameterData* RowEntry(int row) const;
  int AddRowFor(TParameterData* entry);
  void ToggleReadOnly(ui::TMenuItem& item, const ui::TTreeListColumn& column);

  int FNewParameterCount = 0;
  std::string FNetlistTemplate;
  std::string FSpicePrefix;
};

}  // namespace tolvex
