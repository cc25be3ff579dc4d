// The one table of editor kind registrations.
//
// A table rather than self-registering static objects: those sit in a static library until
// the linker drops them, because nothing refers to them; a table is referenced from start-up.
#include "editor/EditorKinds.h"

#include <array>
#include <string_view>

#include "editor/SimImplementationEditorManager.h"
#include "editor/frames/Frame_CapacitorImplEditor.h"
#include "editor/frames/Frame_GeneralImplEditor.h"
#include "editor/frames/Frame_ResistorImplEditor.h"

namespace tolvex {

namespace {

struct TEditorKindRow {
  std::string_view Kind;
  std::string_view SubKind;
  TEditorClass EditorClass;
  std::string_view Qualifier;
};

// One row per registration, in the order the frames register: every source class once under
// "Voltage Source" with "Voltage" and once under "Current Source" with "Current", the
// initial-condition editor once per sub-kind with the sub-kind as qualifier, every other
// class once with an empty qualifier. The 40 rows arrive with their frame classes, e.g.
//   {"General", "Resistor", EditorClassOf<TResistorImplEditorFrame>(), ""},
constexpr std::array EditorKindRows{
    TEditorKindRow{"General", "Capacitor", EditorClassOf<TCapacitorImplEditorFrame>(), ""},
    TEditorKindRow{"General", "Generic Editor", EditorClassOf<TGeneralImplEditorFrame>(), ""},
    TEditorKindRow{"General", "Resistor", EditorClassOf<TResistorImplEditorFrame>(), ""},
};

}  // namespace

void RegisterEditorKinds() {
  for (const TEditorKindRow& row : EditorKindRows)
    RegisterEditorKind(row.Kind, row.SubKind, row.EditorClass, row.Qualifier);
}

}  // namespace tolvex
