// The frame pattern as a row table: one aligned table per frame drives its controls, its grid, its parameter list, both copy directions and its exit tests.
//
// A frame of the pattern derives from TPatternFrame<itself, its base> and declares
//   static constexpr std::string_view ClassName = "...";
//   static constexpr std::string_view HeaderLabel = "Label_ComponentParameter";  // or "" for none
//   static constexpr std::array<TFrameRow, N> Rows{{ ... }};
// and adds only its template, its validation and what it does beyond the table. The controls are
// created here, with their published names, so the frame looks them up by name (Control<T>) once
// its own members are being initialised.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "editor/Frame_SimImplEditor.h"
#include "ui/Controls.h"

namespace tolvex {

// What the flags in a row mean, so a table reads as words rather than as true and false.
enum class TLevel : bool { Model = false, Component = true };
enum class TExitTest : bool { None = false, CheckValue = true };
enum class TRowInput : unsigned char { Edit, ComboBox };

// One parameter row of a frame: the name as stored (and as the template refers to it), where
// PlaceControls puts the row, its caption, the published names of its three controls, and what
// EnsureParameter gives a missing parameter. An empty Label or CheckBox name means the row has none.
struct TFrameRow {
  std::string_view Parameter;
  int Row;
  int Column;
  std::string_view Caption;
  std::string_view Label;
  std::string_view Edit;
  std::string_view CheckBox;
  std::string_view Default;
  TLevel Level;
  TExitTest Exit;
  TRowInput Input = TRowInput::Edit;
};

template <class TDerived, class TBase>
class TPatternFrame : public TBase {
 public:
  // Sizes of the controls as the form layout gives them before ArrangeControls moves them.
  static constexpr int kEditHeight = 21;
  static constexpr int kLabelHeight = 13;
  static constexpr int kCheckBoxHeight = 17;
  static constexpr int kHeaderLabelWidth = 97;

  TPatternFrame(TImplementationEditorDialog* owner, TImplementationData* implementationData,
                const std::string& qualifier)
      : TBase(owner, implementationData, qualifier) {
    CreateControls();
  }

  void ArrangeControls() override {
    ui::TLabel* header = HeaderLabelControl();
    for (const TRowControls& row : FRows)
      this->PlaceControls(std::string(row.Definition->Caption), row.Label, row.Input, row.CheckBox, header,
                          row.Definition->Row, row.Definition->Column);
  }

  void InitParameters() override {
    this->BeforeInitParameters();
    std::string names;
    for (const TFrameRow& row : TDerived::Rows) {
      if (!names.empty()) names += '\r';
      names += row.Parameter;
    }
    this->RemoveParametersExcept(names);
    for (const TFrameRow& row : TDerived::Rows)
      this->EnsureParameter(std::string(row.Parameter), std::string(row.Default), row.Level == TLevel::Component);
  }

  void ParametersToControls() override {
    for (const TRowControls& row : FRows) {
      const std::string name(row.Definition->Parameter);
      if (row.Definition->Input == TRowInput::ComboBox)
        this->LoadComboBox(name, static_cast<ui::TComboBox*>(row.Input), row.CheckBox);
      else
        this->LoadEdit(name, static_cast<ui::TEdit*>(row.Input), row.CheckBox);
    }
  }

  void ControlsToParameters() override {
    for (const TRowControls& row : FRows) {
      // Both input kinds keep their text as the caption.
      this->SetParameter(std::string(row.Definition->Parameter), row.Input->Caption(),
                         row.CheckBox && row.CheckBox->Checked());
    }
  }

 protected:
  // A control of the table (or one the frame added) by its published name; null when the name is
  // not one of this frame's or names a control of another kind.
  template <class T>
  T* Control(std::string_view name) const {
    ui::TControl* control = this->FFrame.FindComponent(name);
    return dynamic_cast<T*>(control);
  }

 private:
  struct TRowControls {
    const TFrameRow* Definition;
    ui::TLabel* Label;
    ui::TControl* Input;
    ui::TCheckBox* CheckBox;
  };

  ui::TLabel* HeaderLabelControl() const {
    return TDerived::HeaderLabel.empty() ? nullptr : Control<ui::TLabel>(TDerived::HeaderLabel);
  }

  void CreateControls() {
    ui::TFrame& frame = this->FFrame;
    if (!TDerived::HeaderLabel.empty()) {
      if (ui::TLabel* header = frame.template Add<ui::TLabel>(TDerived::HeaderLabel, &frame))
        header->SetBounds({0, 0, kHeaderLabelWidth, kLabelHeight});
    }
    FRows.reserve(TDerived::Rows.size());
    for (const TFrameRow& definition : TDerived::Rows) {
      TRowControls row{&definition, nullptr, nullptr, nullptr};
      if (!definition.Label.empty()) {
        row.Label = frame.template Add<ui::TLabel>(definition.Label, &frame);
        if (row.Label) row.Label->SetBounds({0, 0, 0, kLabelHeight});
      }
      if (definition.Input == TRowInput::ComboBox)
        row.Input = frame.template Add<ui::TComboBox>(definition.Edit, &frame);
      else
        row.Input = frame.template Add<ui::TEdit>(definition.Edit, &frame);
      if (!definition.CheckBox.empty()) {
        row.CheckBox = frame.template Add<ui::TCheckBox>(definition.CheckBox, &frame);
        if (row.CheckBox) row.CheckBox->SetBounds({0, 0, 0, kCheckBoxHeight});
      }
      // A name the table gives twice finds no second control; such a row is left out rather
      // than sharing another row's controls.
      if (!row.Input) continue;
      row.Input->SetBounds({0, 0, 0, kEditHeight});
      if (definition.Exit == TExitTest::CheckValue && definition.Input == TRowInput::Edit) {
        auto* edit = static_cast<ui::TEdit*>(row.Input);
        edit->OnExit = [this, edit](ui::TControl&) { this->CheckValueEdit(*edit); };
      }
      FRows.push_back(row);
    }
  }

  std::vector<TRowControls> FRows;
};

}  // namespace tolvex
