// The capacitor frame's validation and netlist template.
#include "editor/frames/Frame_CapacitorImplEditor.h"

namespace tolvex {

bool TCapacitorImplEditorFrame::Validate() { return RequireValue("Value", Edit_Capacitance->Text()); }

std::string TCapacitorImplEditorFrame::GetNetlistTemplate() {
  return DesignatorAndPins() + " " + ParameterReference("Value") + " " +
         OptionalParameterAssignment("Initial Voltage", "IC");
}

}  // namespace tolvex
