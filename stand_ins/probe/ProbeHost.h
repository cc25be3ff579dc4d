// What tolvex-probe gives the core in place of a design host: the stand-in modules from its own folder, the
// host's file helpers over the real file system, and a client whose current view is the probed document.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/HostInterfaces.h"

namespace tolvex::probe {

// Bad input or a module that cannot be used: the message goes to standard error, the exit status is 2.
class EProbeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TProbeClient;

// One per run. Construction binds the host helpers; destruction unbinds everything and releases the modules, so
// every core object that reads through them must be gone first.
class TProbeHost {
 public:
  TProbeHost();
  ~TProbeHost();
  TProbeHost(const TProbeHost&) = delete;
  TProbeHost& operator=(const TProbeHost&) = delete;

  // Fenwarden.dll with the project file at ProjectPath (made absolute) open and focused, its design compiled
  // unless the file says otherwise. Raises EProbeError with the workspace's message when it cannot be opened.
  void LoadWorkspace(const std::string& projectPath);
  // Pravik.dll, bound as the plug-in binds it.
  void LoadSchematicServer();
  // Quillfold.dll with these model folders searched first (each must be a folder), before $TOLVEX_MODEL_PATH.
  void LoadLibraryManager(const std::vector<std::string>& modelFolders);

  // Loads the schematic document or library into the server and makes it the current view, as a host does when
  // the user edits a component of it. Raises EProbeError with the server's message when it cannot be loaded.
  THandle OpenSchematic(const std::string& path);
  // The component with that designator (letter case ignored) and its first implementation, which may be 0.
  // Raises EProbeError, naming Path, when the document has no such component.
  void FindComponent(THandle document, const std::string& path, const std::string& designator, THandle& component,
                     THandle& implementation) const;

 private:
  void* Load(const char* fileName);
  void* Export(void* module, const char* name) const;

  std::string FFolder;
  std::vector<void*> FModules;  // in load order
  void* FSchematicServer = nullptr;
  std::unique_ptr<TProbeClient> FClient;
};

}  // namespace tolvex::probe
