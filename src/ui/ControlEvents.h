// Which change of which control fires which events, from code and from the user: the one table the model consults.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace tolvex::ui {

enum TControlKind : std::uint8_t {
  ckAny,  // a table row for every kind that has no row of its own
  ckForm,
  ckFrame,
  ckLabel,
  ckEdit,
  ckComboBox,
  ckListBox,
  ckCheckBox,
  ckRadioButton,
  ckGroupBox,
  ckButton,
  ckPanel,
  ckSplitter,
  ckPageControl,
  ckTabSheet,
  ckTabSet,
  ckRichEdit,
  ckTreeList,
  ckPopupMenu,
  ckMenuItem,
  ckExternalFormPanel,
};

enum TChange : std::uint8_t {
  chText,         // an edit's or a combo box's text
  chLines,        // a rich-text editor's lines
  chItemIndex,    // the selected item of a combo box or list box
  chChecked,      // check box, radio button, menu item
  chClick,        // a button or a menu item is pressed
  chActivePage,   // a page control's page
  chTabIndex,     // a tab set's tab
  chCell,         // a tree-list cell
  chFocusedRow,   // a tree list's focused row
  chPopup,        // a popup menu is about to show
  chFocusLost,    // the control loses the input focus
  chFocusGained,  // the control gets the input focus
  chClientSize,   // a form's client area
  chModalResult,  // a form's modal result becomes non-zero (checked once the input or handler that set it is done)
};

enum TChangeSource : std::uint8_t { srCode, srUser };

enum TEvent : std::uint8_t {
  evNone,
  evChange,
  evClick,
  evExit,
  evEnter,
  evEdited,  // a tree-list cell: after the value is stored
  evFocusedNodeChanged,
  evPopup,
  evCloseQuery,
  evResize,
};

struct TEventRule {
  TControlKind Kind;
  TChange Change;
  TChangeSource Source;
  std::array<TEvent, 2> Fired;  // in firing order; evNone fills
};

// A change that is no change (the same text, the same index) fires nothing and is not reported.
// Setting an edit's or a rich editor's text from code fires OnChange: handlers that fill their own
// controls need a guard. Selections, pages, tabs, cells and focused rows set from code fire nothing;
// check boxes and radio buttons fire OnClick from code as from a click (a radio button only when it
// becomes checked; its siblings are unchecked silently).
inline constexpr TEventRule EventRules[] = {
    {ckEdit, chText, srCode, {evChange}},
    {ckEdit, chText, srUser, {evChange}},
    {ckComboBox, chText, srCode, {}},
    {ckComboBox, chText, srUser, {evChange}},
    {ckComboBox, chItemIndex, srCode, {}},
    {ckComboBox, chItemIndex, srUser, {evChange}},
    {ckListBox, chItemIndex, srCode, {}},
    {ckListBox, chItemIndex, srUser, {evClick}},
    {ckCheckBox, chChecked, srCode, {evClick}},
    {ckCheckBox, chChecked, srUser, {evClick}},
    {ckRadioButton, chChecked, srCode, {evClick}},
    {ckRadioButton, chChecked, srUser, {evClick}},
    {ckButton, chClick, srCode, {evClick}},
    {ckButton, chClick, srUser, {evClick}},
    {ckPageControl, chActivePage, srCode, {}},
    {ckPageControl, chActivePage, srUser, {evChange}},
    {ckTabSet, chTabIndex, srCode, {}},
    {ckTabSet, chTabIndex, srUser, {evChange}},
    {ckRichEdit, chLines, srCode, {evChange}},
    {ckRichEdit, chLines, srUser, {evChange}},
    {ckTreeList, chCell, srCode, {}},
    {ckTreeList, chCell, srUser, {evEdited}},
    {ckTreeList, chFocusedRow, srCode, {}},
    {ckTreeList, chFocusedRow, srUser, {evFocusedNodeChanged}},
    {ckPopupMenu, chPopup, srCode, {evPopup}},
    {ckPopupMenu, chPopup, srUser, {evPopup}},
    {ckMenuItem, chChecked, srCode, {}},
    {ckMenuItem, chClick, srCode, {evClick}},
    {ckMenuItem, chClick, srUser, {evClick}},  // an auto-check item is checked first
    {ckForm, chClientSize, srCode, {evResize}},
    {ckForm, chClientSize, srUser, {evResize}},
    {ckForm, chModalResult, srCode, {evCloseQuery}},
    {ckForm, chModalResult, srUser, {evCloseQuery}},
    {ckAny, chFocusLost, srCode, {evExit}},
    {ckAny, chFocusLost, srUser, {evExit}},
    {ckAny, chFocusGained, srCode, {evEnter}},
    {ckAny, chFocusGained, srUser, {evEnter}},
};

// The events a change fires, in order: the kind's own row, else the ckAny row, else none.
constexpr std::span<const TEvent> FiredEvents(TControlKind kind, TChange change, TChangeSource source) {
  const TEventRule* fallback = nullptr;
  for (const TEventRule& rule : EventRules) {
    if (rule.Change != change || rule.Source != source) continue;
    if (rule.Kind == kind) fallback = &rule;
    if (rule.Kind == kind) break;
    if (rule.Kind == ckAny && fallback == nullptr) fallback = &rule;
  }
  if (fallback == nullptr) return {};
  std::size_t count = 0;
  while (count < fallback->Fired.size() && fallback->Fired[count] != evNone) ++count;
  return {fallback->Fired.data(), count};
}

const char* ControlKindName(TControlKind kind);
const char* EventName(TEvent event);

}  // namespace tolvex::ui
