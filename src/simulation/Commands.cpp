// The process handlers of the "SIM" commands.
#include "simulation/Commands.h"

namespace tolvex {

void RunSimulatorCommand(IServerDocumentView*, const char*) {}
void StopSimulatorCommand(IServerDocumentView*, const char*) {}
void ViewErrorCommand(IServerDocumentView*, const char*) {}
void InitializeSimulation() {}
void FinalizeSimulation() {}

}  // namespace tolvex
