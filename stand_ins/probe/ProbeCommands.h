// The three probes of tolvex-probe: an implementation as the Sim Editor loads it, a model look-up, and a
// template expansion for one component.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ProbeOutput.h"

namespace tolvex::probe {

// The command line, checked for its shape only; each command checks what its values mean.
struct TProbeOptions {
  std::string Command;
  std::vector<std::string> Arguments;     // the positional ones
  std::vector<std::string> ModelFolders;  // --model-path, in order
  std::optional<std::string> Location;
  bool Subcircuit = false;
  bool LibraryModel = false;
  std::optional<std::string> SourceLibrary;
  std::optional<std::string> LibraryReference;
  std::optional<std::string> Part;
  std::optional<std::string> Template;
  std::optional<std::string> Parameters;
  std::optional<std::string> Project;
};

// Exit statuses.
constexpr int kExitDone = 0;
constexpr int kExitModelNotFound = 1;
constexpr int kExitError = 2;

// Each writes its findings to Out and returns the exit status; bad input raises EProbeError.
int ProbeImplementation(const TProbeOptions& options, TOutput& out);
int ProbeModel(const TProbeOptions& options, TOutput& out);
int ProbeExpansion(const TProbeOptions& options, TOutput& out);

}  // namespace tolvex::probe
