// The resistor frame: one Value row, prefix R and ports 1 and 2 from its base.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "editor/FramePattern.h"

namespace tolvex {

class TResistorImplEditorFrame : public TPatternFrame<TResistorImplEditorFrame, TBaseResistorImplEditorFrame> {
 public:
  static constexpr std::string_view ClassName = "TResistorImplEditorFrame";
  // No header label: PlaceControls captions the check box itself.
  static constexpr std::string_view HeaderLabel = "";
  // clang-format off
  static constexpr std::array<TFrameRow, 1> Rows{{
  //  Parameter  Row Col Caption  Label              Edit              CheckBox                               Default Level              Exit test
    {"Value",    1,  1,  "Value", "ResistanceLabel", "ResistanceEdit", "CheckBox_ResistanceIsComponentLevel", "",     TLevel::Component, TExitTest::CheckValue},
  }};
  // clang-format on

  using TPatternFrame::TPatternFrame;

  // An empty value is not refused here: the preview reports it as an undefined parameter.
  bool Validate() override { return true; }
  std::string GetNetlistTemplate() override;

  ui::TEdit* const ResistanceEdit = Control<ui::TEdit>("ResistanceEdit");
};

}  // namespace tolvex
