// The binding to the simulation engine.
#include "simulation/XSpiceAPI.h"

#include "engine_api/EngineCallbacks.h"
#include "os/Os.h"
#include "support/TextUtils.h"

namespace tolvex {

namespace {

struct TBuiltInEngine {
  os::TModuleHandle LoadedReference = nullptr;
  TXSpice_StartBuiltIn Start = nullptr;
  TXSpice_Stop Stop = nullptr;
};

struct TExternalEntryPoints {
  os::TModuleHandle Library = nullptr;
  TXSpice_StartExternal Start = nullptr;
  TXSpice_Stop Stop = nullptr;
};

TBuiltInEngine BuiltIn;
TExternalEntryPoints External;

void ModuleAnchor() {}

}  // namespace

std::string OwnModulePath() { return os::ModulePathOf(reinterpret_cast<const void*>(&ModuleAnchor)); }

std::optional<std::string> PathInModuleFolder(const std::string& name) {
  const std::string ownPath = OwnModulePath();
  const std::size_t separator = ownPath.find_last_of(os::PathSeparator());
  // Without a folder the result would be a path from the root or the working folder: never a module of ours.
  if (ownPath.size() > kShortStringLength || separator == std::string::npos) return std::nullopt;
  std::string path = ownPath.substr(0, separator) + os::PathSeparator() + name;
  if (path.size() > kShortStringLength) return std::nullopt;
  return path;
}

void LoadEngineLibrary() {
  // A library path that does not fit loads nothing; every run then says which path it was.
  const std::optional<std::string> path = PathInModuleFolder("xspice.dll");
  BuiltIn.LoadedReference = path ? os::LoadModule(*path) : nullptr;
  // The engine is whatever the process now has loaded under that name, normally the one just loaded.
  os::TModuleHandle engine = os::FindLoadedModule("XSpice.dll");
  if (!engine) engine = BuiltIn.LoadedReference;
  BuiltIn.Start = reinterpret_cast<TXSpice_StartBuiltIn>(os::FindExport(engine, "XSpice_Start"));
  BuiltIn.Stop = reinterpret_cast<TXSpice_Stop>(os::FindExport(engine, "XSpice_Stop"));
}

void UnloadEngineLibrary() {
  BuiltIn.Start = nullptr;
  BuiltIn.Stop = nullptr;
  os::ReleaseModule(BuiltIn.LoadedReference);
  BuiltIn.LoadedReference = nullptr;
}

bool BuiltInEngineStartBound() { return BuiltIn.Start != nullptr; }
bool BuiltInEngineStopBound() { return BuiltIn.Stop != nullptr; }

std::int32_t StartBuiltInEngine(const char* parameterText) {
  if (!BuiltIn.Start) return kEngineNotBound;
  return BuiltIn.Start(parameterText);
}

void StopBuiltInEngine() {
  if (BuiltIn.Stop) BuiltIn.Stop();
}

TExternalEngine::TLoadResult TExternalEngine::Load(const std::string& path) {
  External = TExternalEntryPoints{};
  External.Library = os::LoadModule(path);
  if (!External.Library) return lrCannotLoad;
  auto start = reinterpret_cast<TXSpice_StartExternal>(os::FindExport(External.Library, "XSpice_Start"));
  auto stop = reinterpret_cast<TXSpice_Stop>(os::FindExport(External.Library, "XSpice_Stop"));
  if (!start || !stop) return lrMissingExports;
  External.Start = start;
  External.Stop = stop;
  return lrLoaded;
}

std::int32_t TExternalEngine::Start(const std::string& commandText) {
  return External.Start ? External.Start(commandText.c_str()) : kEngineNotBound;
}

TExternalEngine::~TExternalEngine() {
  os::TModuleHandle library = External.Library;
  External = TExternalEntryPoints{};
  os::ReleaseModule(library);
}

void StopExternalEngine() {
  if (External.Stop) External.Stop();
}

}  // namespace tolvex
