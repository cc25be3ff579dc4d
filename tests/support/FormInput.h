// One user action through a form's input door for the dialog tests, failing the test when the form refuses it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "ui/Controls.h"

namespace tolvex::test {

inline void Input(ui::TForm& form, ui::TUserInputKind kind, const std::string& target, const std::string& value = {}) {
  ui::TUserInput input;
  input.Kind = kind;
  input.Target = target;
  input.Value = value;
  EXPECT_STREQ(ui::InputResultName(form.Input(input)), ui::InputResultName(ui::irApplied)) << target;
}

}  // namespace tolvex::test
