// The integrated-library manager Quillfold.dll: the interface both sides agree on, and the binding through which
// the rest of the system searches for model files.
//
// Both Tolvex.dll and the stand-in Quillfold.dll include this header, so the interface below is the contract
// between the two modules. Text goes in as NUL-terminated 8-bit text; text comes back in caller buffers: the
// manager writes at most bufferSize - 1 bytes and a NUL, and answers kLibraryTextTooLong (with both buffers
// emptied) when an answer does not fit, because a path cut short names some other file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "host/HostInterfaces.h"
#include "host/InterfacePtr.h"
#include "os/Platform.h"

namespace tolvex {

constexpr const char* kLibraryManagerModuleName = "Quillfold.dll";
constexpr const char* kLibraryManagerExportName = "LibApi_GetLibraryManager";

// The size of each text buffer the system passes to the manager.
constexpr std::int32_t kLibraryTextBufferSize = 4096;

// The status of an answer that does not fit the caller's buffer (the Windows code for "insufficient buffer").
constexpr HRESULT32 kLibraryTextTooLong = static_cast<HRESULT32>(0x8007007Au);

// {3B0E5C21-6F4A-4D8B-A1C7-2E9D04F6B815}: an identity of the manager's own choosing.
inline constexpr TGUID IID_IIntegratedLibraryManager = {0x3B0E5C21, 0x6F4A, 0x4D8B,
                                                        {0xA1, 0xC7, 0x2E, 0x9D, 0x04, 0xF6, 0xB8, 0x15}};

// The manager's model searches. Each answers the path of the text file to read into Path and the file the model
// was found in (an integrated library, or the model file itself) into FoundIn. A model the manager cannot find
// gives S_OK32 with both texts empty; a failure status leaves both empty as well.
struct IIntegratedLibraryManager : IInterface {
  // The model of a component's own integrated library. Reserved is 0; ModelType is "SIM" for simulation models.
  virtual HRESULT32 TOLVEX_STDCALL SearchLibraryModel(std::int32_t reserved, const char* modelName,
                                                      const char* modelType, const char* libraryReference,
                                                      const char* sourceLibraryName, char* path,
                                                      std::int32_t pathSize, char* foundIn,
                                                      std::int32_t foundInSize) = 0;
  // A model file named by a location: empty (any model file the manager knows), a file name, or a full path.
  // Kind is "MDL" for a model and "CKT" for a subcircuit.
  virtual HRESULT32 TOLVEX_STDCALL SearchModelFile(const char* modelName, const char* kind, const char* location,
                                                   char* path, std::int32_t pathSize, char* foundIn,
                                                   std::int32_t foundInSize) = 0;
};

// Exported by Quillfold.dll: the manager with a reference for the caller, or none.
using TLibApi_GetLibraryManager = IIntegratedLibraryManager*(TOLVEX_STDCALL*)();

// The manager of Quillfold.dll, looked up at each call and only if the host has already loaded that module; none
// otherwise.
TInterfacePtr<IIntegratedLibraryManager> GetLibraryManager();
// Overrides how the manager is found (tests); nullptr restores the default.
void SetLibraryManagerProvider(TLibApi_GetLibraryManager provider);

// One search's answer: the text file to read and the file the model was found in. Both empty when the model was
// not found, the manager failed, or an answer came back cut at the buffer's end.
struct TModelSearchResult {
  std::string Path;
  std::string FoundIn;
};

TModelSearchResult SearchLibraryModel(IIntegratedLibraryManager& manager, const std::string& modelName,
                                      const std::string& modelType, const std::string& libraryReference,
                                      const std::string& sourceLibraryName);
TModelSearchResult SearchModelFile(IIntegratedLibraryManager& manager, const std::string& modelName,
                                   const std::string& kind, const std::string& location);

// Copies Text into a manager's answer buffer; false (and the buffer emptied) when it does not fit. Inline, so
// that a manager needs nothing of the system but this header.
inline bool CopyLibraryText(const std::string& text, char* buffer, std::int32_t bufferSize) {
  if (!buffer || bufferSize <= 0) return text.empty();
  if (text.size() >= static_cast<std::size_t>(bufferSize)) {
    buffer[0] = '\0';
    return false;
  }
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  return true;
}

}  // namespace tolvex
