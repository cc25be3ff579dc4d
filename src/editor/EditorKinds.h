// The registrations of every model kind the Sim Editor offers, made once at module start.
#pragma once

namespace tolvex {

// Registers every row of the kind table; the library's start-up calls it once, and its
// unload calls ReleaseEditorKinds.
void RegisterEditorKinds();

}  // namespace tolvex
