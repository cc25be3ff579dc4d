// The capacitor frame: Value and Initial Voltage rows, prefix C and ports POS and NEG from its base.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "editor/FramePattern.h"

namespace tolvex {

class TCapacitorImplEditorFrame : public TPatternFrame<TCapacitorImplEditorFrame, TBaseCapacitorImplEditor> {
 public:
  static constexpr std::string_view ClassName = "TCapacitorImplEditorFrame";
  static constexpr std::string_view HeaderLabel = "Label_ComponentParameter";
  // clang-format off
  static constexpr std::array<TFrameRow, 2> Rows{{
  //  Parameter          Row Col Caption            Label                  Edit                  CheckBox                  Default Level              Exit test
    {"Value",            1,  1,  "Value",           "Label_Capacitance",   "Edit_Capacitance",   "CheckBox_Capacitance",   "",     TLevel::Component, TExitTest::CheckValue},
    {"Initial Voltage",  2,  1,  "Initial Voltage", "Label_InitialVoltage", "Edit_InitialVoltage", "CheckBox_InitialVoltage", "",   TLevel::Model,     TExitTest::CheckValue},
  }};
  // clang-format on

  using TPatternFrame::TPatternFrame;

  // A capacitor without a value cannot be netlisted: OK stays refused until one is typed.
  bool Validate() override;
  std::string GetNetlistTemplate() override;

  ui::TEdit* const Edit_Capacitance = Control<ui::TEdit>("Edit_Capacitance");
};

}  // namespace tolvex
