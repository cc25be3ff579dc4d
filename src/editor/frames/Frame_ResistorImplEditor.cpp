// The resistor frame's netlist template.
#include "editor/frames/Frame_ResistorImplEditor.h"

namespace tolvex {

std::string TResistorImplEditorFrame::GetNetlistTemplate() {
  return DesignatorAndPins() + " " + ParameterReference("Value");
}

}  // namespace tolvex
