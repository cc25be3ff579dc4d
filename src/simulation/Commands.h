// The process handlers of the "SIM" commands.
#pragma once

#include "host/HostInterfaces.h"

namespace tolvex {

void RunSimulatorCommand(IServerDocumentView* context, const char* parameters);
void StopSimulatorCommand(IServerDocumentView* context, const char* parameters);
void ViewErrorCommand(IServerDocumentView* context, const char* parameters);

// Creates the simulation object and loads the built-in engine (module creation).
void InitializeSimulation();
// Frees the simulation object and releases the engine (module destruction).
void FinalizeSimulation();

}  // namespace tolvex
