// Binding of the integrated-library manager Quillfold.dll and its two model searches.
#include "host/LibraryManagerApi.h"

#include <cstring>
#include <vector>

#include "os/Os.h"

namespace tolvex {

namespace {

TLibApi_GetLibraryManager ManagerProvider = nullptr;

// Reads one answer buffer. A text that fills the buffer to its last byte may have been cut by a manager that
// does not report it, so it counts as no answer rather than as the path of some other file.
bool TakeAnswer(std::vector<char>& buffer, std::string& text) {
  buffer.back() = '\0';
  const std::size_t length = std::strlen(buffer.data());
  if (length + 1 >= buffer.size()) return false;
  text.assign(buffer.data(), length);
  return true;
}

template <class Search>
TModelSearchResult Ask(Search search) {
  std::vector<char> path(kLibraryTextBufferSize, '\0');
  std::vector<char> foundIn(kLibraryTextBufferSize, '\0');
  const HRESULT32 status = search(path.data(), foundIn.data());
  TModelSearchResult result;
  if (status < 0 || !TakeAnswer(path, result.Path) || !TakeAnswer(foundIn, result.FoundIn)) return {};
  return result;
}

}  // namespace

TInterfacePtr<IIntegratedLibraryManager> GetLibraryManager() {
  TLibApi_GetLibraryManager provider = ManagerProvider;
  if (!provider) {
    // Looked up afresh each time: the host may load or unload the manager while the plug-in lives, and it is
    // never loaded from here.
    os::TModuleHandle module = os::FindLoadedModule(kLibraryManagerModuleName);
    provider = reinterpret_cast<TLibApi_GetLibraryManager>(os::FindExport(module, kLibraryManagerExportName));
  }
  if (!provider) return {};
  return TInterfacePtr<IIntegratedLibraryManager>::Attach(provider());
}

void SetLibraryManagerProvider(TLibApi_GetLibraryManager provider) { ManagerProvider = provider; }

TModelSearchResult SearchLibraryModel(IIntegratedLibraryManager& manager, const std::string& modelName,
                                      const std::string& modelType, const std::string& libraryReference,
                                      const std::string& sourceLibraryName) {
  return Ask([&](char* path, char* foundIn) {
    return manager.SearchLibraryModel(0, modelName.c_str(), modelType.c_str(), libraryReference.c_str(),
                                      sourceLibraryName.c_str(), path, kLibraryTextBufferSize, foundIn,
                                      kLibraryTextBufferSize);
  });
}

TModelSearchResult SearchModelFile(IIntegratedLibraryManager& manager, const std::string& modelName,
                                   const std::string& kind, const std::string& location) {
  return Ask([&](char* path, char* foundIn) {
    return manager.SearchModelFile(modelName.c_str(), kind.c_str(), location.c_str(), path, kLibraryTextBufferSize,
                                   foundIn, kLibraryTextBufferSize);
  });
}

}  // namespace tolvex
