// Start and stop of the library: what happens when the host loads and unloads Tolvex.dll.
#include "editor/EditorKinds.h"
#include "editor/SimImplementationEditorManager.h"
#include "engine_api/TolvexApi.h"
#include "engine_api/WaveformRelay.h"
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
    tolvex::RegisterEditorKinds();
  }
  ~TLibraryLifetime() {
    tolvex::CloseDump();
    tolvex::FinalizeParameterCache();
    // Every dialog, and with it every frame, is gone by now.
    tolvex::ReleaseEditorKinds();
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
    reinterpret_cast<const void*>(&SimAPI_PercentInit),
    reinterpret_cast<const void*>(&SimAPI_PercentUpdate),
    reinterpret_cast<const void*>(&SimAPI_PercentFinish),
    reinterpret_cast<const void*>(&SimAPI_StatusBar_PushStatus),
    reinterpret_cast<const void*>(&SimAPI_StatusBar_SetState),
    reinterpret_cast<const void*>(&SimAPI_StatusBar_PopStatus),
    reinterpret_cast<const void*>(&PascalEnd_InitializeGauge),
    reinterpret_cast<const void*>(&PascalEnd_UpdateGauge),
    reinterpret_cast<const void*>(&PascalEnd_WriteInMessagesListBox),
    reinterpret_cast<const void*>(&OndulixAPI_GetCurrentWindow),
    reinterpret_cast<const void*>(&OndulixAPI_SetDocumentName),
    reinterpret_cast<const void*>(&OndulixAPI_SetActiveChart),
    reinterpret_cast<const void*>(&OndulixAPI_FlushWindow),
    reinterpret_cast<const void*>(&OndulixAPI_Chart_Create),
    reinterpret_cast<const void*>(&OndulixAPI_Chart_FormatXAxis),
    reinterpret_cast<const void*>(&OndulixAPI_NewChart),
    reinterpret_cast<const void*>(&OndulixAPI_InitializeXAxis),
    reinterpret_cast<const void*>(&OndulixAPI_GetWaveformIndex),
    reinterpret_cast<const void*>(&OndulixAPI_NewWaveform),
    reinterpret_cast<const void*>(&OndulixAPI_UpdateChart),
    reinterpret_cast<const void*>(&OndulixAPI_NewDataPoint),
    reinterpret_cast<const void*>(&OndulixAPI_Wave_SetHint),
    reinterpret_cast<const void*>(&OndulixAPI_DataComplete),
};
