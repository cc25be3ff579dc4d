// What the host's exports need to reach: its one client.
#pragma once

namespace tolvex::host {

class THostClient;

struct THostState {
  THostClient* Client = nullptr;
};

THostState& State();

}  // namespace tolvex::host
