// The binding to the simulation engine: the built-in engine kept loaded for the
// module's life, and an external engine loaded for one run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tolvex {

constexpr std::int32_t kEngineNotBound = 17;

// The whole path of this library's file as the system reports it; empty when it cannot be told.
std::string OwnModulePath();
// The folder of this library's file, the platform's separator, then Name. None when this
// library's path is unknown or longer than its 255-character field, or the result is longer
// than 255 characters: a path cut to fit would name another file.
std::optional<std::string> PathInModuleFolder(const std::string& name);

// At module creation: loads "xspice.dll" from this library's folder and binds its entry points.
void LoadEngineLibrary();
// At module destruction: gives back the reference the load took.
void UnloadEngineLibrary();
// Whether the built-in entry points are bound (each may be missing).
bool BuiltInEngineStartBound();
bool BuiltInEngineStopBound();

// Calls the built-in "XSpice_Start" with the parameter text; 17 when it is not bound.
std::int32_t StartBuiltInEngine(const char* parameterText);
void StopBuiltInEngine();

// One external run's library: loaded from this library's folder, its entry points bound,
// released when the object goes, whatever happened in between.
class TExternalEngine {
 public:
  enum TLoadResult { lrLoaded, lrCannotLoad, lrMissingExports };
  TExternalEngine() = default;
  ~TExternalEngine();
  TExternalEngine(const TExternalEngine&) = delete;
  TExternalEngine& operator=(const TExternalEngine&) = delete;

  TLoadResult Load(const std::string& path);
  std::int32_t Start(const std::string& commandText);
};

// Calls the external "XSpice_Stop" if an external run has bound it.
void StopExternalEngine();

}  // namespace tolvex
