// The editor frame base: what the dialog may ask of a frame and the helpers frames build on; its controls live in a ui::TFrame member.
//
// A member rather than a base: the kind registry, not a control owner, owns a frame, and the
// frame's Owner() is the dialog, which a control's Owner() would clash with. The dialog parents
// Frame() on its Parameters tab; the frame's own controls are owned by Frame().
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "model_data/ImplementationData.h"
#include "model_data/PortMapping.h"
#include "ui/Controls.h"

namespace tolvex {

class TImplementationEditorDialog;

// Base of every editor frame. Frames are never constructed directly: the kind registry's
// factory (EditorClassOf in SimImplementationEditorManager.h) constructs one and then
// calls InitParameters, so that the most-derived override runs on a fully built frame.
class TSimImplEditor {
 public:
  static constexpr std::string_view ClassName = "TSimImplEditor";

  // Takes a copy of the implementation's parameters and parses its port map; the
  // implementation itself is left alone. A null implementation gives an empty copy and mapping.
  TSimImplEditor(TImplementationEditorDialog* owner, TImplementationData* implementationData,
                 const std::string& qualifier);
  virtual ~TSimImplEditor() = default;
  TSimImplEditor(const TSimImplEditor&) = delete;
  TSimImplEditor& operator=(const TSimImplEditor&) = delete;

  // ---- what the dialog asks, in the contract's order

  // Positions the frame's controls; after the frame is shown and on every resize.
  virtual void ArrangeControls() {}
  // Makes the frame's working parameters fit its kind. Overrides call BeforeInitParameters
  // first, then RemoveParametersExcept and EnsureParameter.
  virtual void InitParameters() { FParametersChanged = false; }
  virtual void ParametersToControls() {}
  virtual void ControlsToParameters() {}
  // True when the values allow OK; a frame that refuses shows its own message first.
  virtual bool Validate() = 0;
  virtual std::string GetSpicePrefix() { return {}; }
  // Line breaks inside the template are the two characters backslash and n.
  virtual std::string GetNetlistTemplate() = 0;
  virtual bool CanEditSpicePrefix() { return false; }
  virtual bool CanEditNetlistTemplate() { return false; }
  // Only a frame that can edit them keeps what it is given.
  virtual void SetSpicePrefix(const std::string& /*prefix*/) {}
  virtual void SetNetlistTemplate(const std::string& /*netlistTemplate*/) {}
  // Asked on OK: when true the dialog asks the user to confirm.
  virtual bool ParametersChanged() { return FParametersChanged; }
  virtual bool AllowsCustomParameters() { return false; }
  virtual bool RequiresModel() { return false; }
  virtual bool ModelDefinesParameters() { return false; }
  // The model's port names, port 1 first. Every override clears the list before adding.
  virtual void GetPorts(std::vector<std::string>& ports) { ports.clear(); }

  // ---- what the dialog reads and binds

  TImplementationEditorDialog* Owner() const { return FOwner; }
  TImplementationData* ImplementationData() const { return FImplementationData; }
  // The registry's word for this frame ("Voltage", "Current", an initial-condition sub-kind), empty for most.
  const std::string& Qualifier() const { return FQualifier; }
  const TParameterDataList& Parameters() const { return FParameters; }
  // The pin mapping page changes the ports of the mapping in place; the object itself stays.
  TPortMapping& PortMapping() { return FPortMapping; }
  const TPortMapping& PortMapping() const { return FPortMapping; }
  // Bound by the dialog each time it shows the frame, to bring its Parameters tab forward.
  void SetOnInvalidValue(std::function<void()> handler) { FOnInvalidValue = std::move(handler); }
  // The panel of the frame's controls, which the dialog places on its Parameters tab.
  ui::TFrame& Frame() { return FFrame; }
  const ui::TFrame& Frame() const { return FFrame; }

  // ---- template helpers (pure text, shared by every frame so all templates look alike)

  // Upper case; between double quotes when the name has a blank or a hyphen ("INITIAL VOLTAGE").
  static std::string TemplateName(std::string_view name);
  // @NAME, or &NAME with Ampersand.
  static std::string ParameterReference(std::string_view name, bool ampersand = false);
  // KEY=@NAME
  static std::string ParameterAssignment(std::string_view name, std::string_view key);
  // ?NAME|KEY=@NAME| : the assignment only when the parameter has a value; an empty key stands NAME in its place.
  static std::string OptionalParameterAssignment(std::string_view name, std::string_view key);

 protected:
  // ---- helpers for the frames' own use

  // A fresh mapping from the implementation's port-map text; changes made to the old one are lost.
  void RebuildPortMapping();
  // @DESIGNATOR followed by " %n" for each port GetPorts lists.
  std::string DesignatorAndPins();
  // True when Value is not empty; otherwise tells the user the parameter needs one.
  bool RequireValue(const std::string& name, const std::string& value);
  void ShowValueRequired(const std::string& name);
  // Drops every entry that is not component-level and not named in NamesText (names one a line).
  void RemoveParametersExcept(std::string_view namesText);
  void BeforeInitParameters() {}
  // Adds the parameter with Default when no entry of that name exists (letter case ignored).
  void EnsureParameter(const std::string& name, const std::string& defaultValue, bool componentLevel);
  // The setters and getters treat a missing parameter as empty and never add one.
  void SetParameterValue(const std::string& name, const std::string& value);
  void SetParameter(const std::string& name, const std::string& value, bool componentLevel);
  std::string GetParameterValue(const std::string& name) const;
  // The value and the component-level flag into Value and CheckBox (unchecked and empty when missing).
  void LoadCheckedValue(const std::string& name, std::string& value, ui::TCheckBox* checkBox) const;
  void LoadEdit(const std::string& name, ui::TEdit* edit, ui::TCheckBox* checkBox) const;
  // Selects the item whose text is the value, none when no item is.
  void LoadComboBox(const std::string& name, ui::TComboBox* comboBox, ui::TCheckBox* checkBox) const;
  // The characters of a SPICE value; run from the value edits' OnExit handlers. A bad value is
  // reported, the dialog is told, and the edit takes the focus back.
  bool CheckValueEdit(ui::TEdit& edit);
  // One row of the parameter grid, Row and Column from 1. Label, CheckBox and ComponentLabel may be null;
  // with a ComponentLabel it heads the check-box column and the check boxes carry no caption.
  void PlaceControls(const std::string& caption, ui::TLabel* label, ui::TControl* edit, ui::TCheckBox* checkBox,
                     ui::TLabel* componentLabel, int row, int column);
  void NotifyInvalidValue();

  TParameterDataList FParameters;
  TImplementationData* FImplementationData;  // not owned
  TPortMapping FPortMapping;
  std::string FQualifier;
  bool FParametersChanged = false;
  std::function<void()> FOnInvalidValue;
  TImplementationEditorDialog* FOwner;
  // Declared last: the controls it owns go before the fields a handler might still read.
  ui::TFrame FFrame;
};

// Resistor-like kinds: prefix R, ports 1 and 2.
class TBaseResistorImplEditorFrame : public TSimImplEditor {
 public:
  static constexpr std::string_view ClassName = "TBaseResistorImplEditorFrame";
  using TSimImplEditor::TSimImplEditor;
  std::string GetSpicePrefix() override { return "R"; }
  void GetPorts(std::vector<std::string>& ports) override;
};

// Capacitor-like kinds: prefix C, ports POS and NEG.
class TBaseCapacitorImplEditor : public TSimImplEditor {
 public:
  static constexpr std::string_view ClassName = "TBaseCapacitorImplEditor";
  using TSimImplEditor::TSimImplEditor;
  std::string GetSpicePrefix() override { return "C"; }
  void GetPorts(std::vector<std::string>& ports) override;
};

// Diode-like kinds: prefix D, ports A and K, and a named model.
class TBaseDiodeImplEditorFrame : public TSimImplEditor {
 public:
  static constexpr std::string_view ClassName = "TBaseDiodeImplEditorFrame";
  using TSimImplEditor::TSimImplEditor;
  std::string GetSpicePrefix() override { return "D"; }
  void GetPorts(std::vector<std::string>& ports) override;
  bool RequiresModel() override { return true; }

 protected:
  // @DESIGNATOR %1 %2 @MODEL
  std::string DesignatorPinsAndModel();
};

}  // namespace tolvex
