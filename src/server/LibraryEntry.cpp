// Start and stop of the library: what happens when the host loads and unloads Tolvex.dll.
#include "host/HostApi.h"
#include "host/SchServerApi.h"
#include "server/Main.h"
#include "server/Rt_Param.h"

namespace {

struct TLibraryLifetime {
  TLibraryLifetime() {
    tolvex::BindHostExports();
    tolvex::SetModuleClient(tolvex::HostClientInterface().Get());
    tolvex::InitializeParameterCache();
    tolvex::SchServer().Bind();
  }
  ~TLibraryLifetime() {
    tolvex::FinalizeParameterCache();
    tolvex::SchServer().Clear();
    tolvex::ClearHostExports();
  }
};

// Runs when the library is loaded and when it is unloaded.
const TLibraryLifetime LibraryLifetime;

}  // namespace

// Every export of the library, referenced here so that the linker keeps the
// objects that define them although nothing inside the library calls them.
extern const void* const TolvexExportTable[];
const void* const TolvexExportTable[] = {
    reinterpret_cast<const void*>(&ServerFactory),
};
