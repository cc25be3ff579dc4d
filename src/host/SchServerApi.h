// The schematic editor server Pravik.dll: the exports both sides agree on, and the binding through which the
// rest of the system reaches them.
//
// Both Tolvex.dll and the stand-in Pravik.dll include this header, so the export signatures and record layouts
// below are the contract between the two modules. A record is a plain struct laid out with the platform's natural
// alignment; its fields are in the order the server reads and writes them.
//
// Text in records: every string field points to a caller's buffer of kSchTextBufferSize bytes, except the
// implementation's port map and a data file's location, which point to one buffer of kSchLongBufferSize bytes
// that the caller shares between those two records. A record whose string fields are not all set is refused.
//  - read (mode 1): the server writes at most bufferSize - 1 bytes of text plus a NUL into each buffer, cutting a
//    longer text there; it fills every field of the record.
//  - write (mode 0): each buffer holds a NUL-terminated text that the client filled, cut by the client at
//    bufferSize - 1 bytes; the server takes every field of the record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

#include "host/HostApi.h"
#include "host/HostInterfaces.h"
#include "host/InterfacePtr.h"
#include "os/Platform.h"

namespace tolvex {

constexpr const char* kSchServerModuleName = "Pravik.dll";

constexpr std::size_t kSchTextBufferSize = 1024;
constexpr std::size_t kSchLongBufferSize = 64000;
constexpr std::size_t kSchWorkspaceAttributeSize = 5;

// Object kind codes as the server reports them for a handle.
constexpr std::uint8_t kSchObjectIdPin = 37;
constexpr std::uint8_t kSchObjectIdParameter = 57;
// Also what an unbound server answers.
constexpr std::uint8_t kSchObjectIdNone = 61;

constexpr std::uint8_t kSchQueryModeWrite = 0;
constexpr std::uint8_t kSchQueryModeRead = 1;

// A query answers 1 on failure and anything else on success; the server itself answers 0.
constexpr std::int32_t kSchQuerySuccess = 0;
constexpr std::int32_t kSchQueryFailure = 1;

// Attributes named AttributeX, Sx, Ex, Ix, Kx, Tx and the numbered pin and parameter fields mean something only to
// the server; the system reads them and sends them back unchanged.

// G: graphical object.
struct TSchGrafObjectRecord {
  std::uint8_t FObjectId = kSchObjectIdNone;
  std::int32_t FLocationX = 0;
  std::int32_t FLocationY = 0;
  std::int32_t AttributeB = 0;
  std::uint8_t AttributeA = 0;
  std::int32_t FOwnerPartId = 0;
  std::uint8_t AttributeC = 0;
};

// W: workspace object.
struct TSchWorkspaceObjectRecord {
  std::uint8_t AttributeD[kSchWorkspaceAttributeSize] = {};
};

// L: designator locks.
struct TSchDesignatorLocksRecord {
  std::uint8_t LockFlag1 = 0;
  std::uint8_t LockFlag2 = 0;
};

// C: component.
struct TSchComponentRecord {
  char* S1 = nullptr;
  std::int32_t FLocationX = 0;
  std::int32_t FLocationY = 0;
  std::uint8_t E1 = 0;
  std::uint8_t E2 = 0;
  std::int32_t AttributeB = 0;
  std::int32_t I1 = 0;
  std::int32_t I2 = 0;
  std::uint8_t E3 = 0;
  std::uint8_t AttributeA = 0;
  std::uint8_t E4 = 0;
  std::uint8_t E5 = 0;
  std::uint8_t E6 = 0;
  std::uint8_t E7 = 0;
  char* S2 = nullptr;
  char* FSourceLibraryName = nullptr;
  char* FLibraryReference = nullptr;
  char* S5 = nullptr;
  char* S6 = nullptr;
  std::int32_t I3 = 0;
  std::int32_t FPartCount = 0;
  THandle FDesignatorParameter = 0;
  THandle FContainer = 0;
  std::int32_t I4 = 0;
};

// P: pin. PinAttributeByte1 to 4 are the four bytes that follow the designator on the wrapper's side, 5 to 8 the
// further four.
struct TSchPinRecord {
  std::int32_t FLocationX = 0;
  std::int32_t FLocationY = 0;
  std::int32_t AttributeB = 0;
  std::uint8_t AttributeA = 0;
  std::int32_t FOwnerPartId = 0;
  std::uint8_t AttributeC = 0;
  std::int32_t PinInteger1 = 0;
  std::uint8_t PinByte = 0;
  char* PinString1 = nullptr;
  char* PinString2 = nullptr;
  char* FDesignator = nullptr;
  char* FName = nullptr;
  std::uint8_t PinAttributeByte2 = 0;
  std::uint8_t PinAttributeByte3 = 0;
  std::uint8_t PinAttributeByte4 = 0;
  std::int32_t FPinLength = 0;
  std::uint8_t FOrientation = 0;
  std::uint8_t PinAttributeByte1 = 0;
  std::uint8_t PinAttributeByte5 = 0;
  std::uint8_t PinAttributeByte6 = 0;
  std::uint8_t PinAttributeByte7 = 0;
  std::uint8_t PinAttributeByte8 = 0;
  char* PinString3 = nullptr;
  char* PinString4 = nullptr;
  std::int32_t PinInteger2 = 0;
};

// R: parameter. On write the client sends T1 and T2 as a single blank each.
struct TSchParameterRecord {
  std::int32_t FLocationX = 0;
  std::int32_t FLocationY = 0;
  std::int32_t AttributeB = 0;
  std::uint8_t AttributeA = 0;
  std::int32_t ParameterInteger = 0;
  std::uint8_t ParameterByte1 = 0;
  std::uint8_t FValueType = 0;  // 0 String, 1 Boolean, 2 Integer, 3 Float
  char* FName = nullptr;
  char* FValue = nullptr;
  std::uint8_t ParameterByte2 = 0;
  std::uint8_t FReadOnlyFlags = 0;  // 0 none, 1 name, 2 value, 3 both
  char* ParameterString = nullptr;
  char* T1 = nullptr;
  char* T2 = nullptr;
  std::uint8_t ParameterByte3 = 0;
  std::uint8_t ParameterByte4 = 0;
};

// I: implementation. FPortMap points to the long buffer.
struct TSchImplementationRecord {
  char* FModelName = nullptr;
  char* K1 = nullptr;
  std::uint8_t FLibraryModelAvailable = 0;  // the server ignores it on write
  std::uint8_t FUseLibraryModel = 0;
  char* FDescription = nullptr;
  THandle FParameterContainer = 0;
  char* FPortMap = nullptr;
  std::uint8_t K2 = 0;
};

// D: number of data-file links of an implementation. Writing it announces how many links follow.
struct TSchDatafileCountRecord {
  std::int32_t Count = 0;
};

// F: one data-file link, chosen by Index (0-based). FLocation points to the long buffer.
struct TSchDatafileRecord {
  std::int32_t Index = 0;
  char* FLocation = nullptr;
  char* FEntityName = nullptr;
  char* FKind = nullptr;  // "MDL" or "CKT"
};

static_assert(std::is_standard_layout_v<TSchComponentRecord> && std::is_standard_layout_v<TSchPinRecord> &&
              std::is_standard_layout_v<TSchParameterRecord> && std::is_standard_layout_v<TSchImplementationRecord>);

// The export signatures; the name of each type is the export's name with a T in front.
extern "C" {
using TSchAPIQuery_GrafObject = std::int32_t(TOLVEX_STDCALL*)(std::uint8_t mode, THandle handle,
                                                              TSchGrafObjectRecord* record);
using TSchAPIQuery_WorkspaceObject = std::int32_t(TOLVEX_STDCALL*)(std::uint8_t mode, THandle handle,
                                                                   TSchWorkspaceObjectRecord* record);
using TSchApiQuery_SchComponent = std::int32_t(TOLVEX_STDCALL*)(std::uint8_t mode, THandle handle,
                                                                TSchComponentRecord* record);
using TSchAPIQuery_ComponentDesignatorLocks = std::int32_t(TOLVEX_STDCALL*)(std::uint8_t mode, THandle handle,
                                                                            TSchDesignatorLocksRecord* record);
using TSchAPIQuery_Pin = std::int32_t(TOLVEX_STDCALL*)(std::uint8_t mode, THandle handle, TSchPinRecord* record);
using TSchApiQuery_SchParameter = std::int32_t(TOLVEX_STDCALL*)(std::uint8_t mode, THandle handle,
                                                                TSchParameterRecord* record);
// Text is a buffer of kSchTextBufferSize bytes; both are read-only on the server's side.
using TSchApiQuery_UniqueId = std::int32_t(TOLVEX_STDCALL*)(std::uint8_t mode, THandle handle, char* text);
using TSchApiQuery_SchParameterCalculatedValue = std::int32_t(TOLVEX_STDCALL*)(std::uint8_t mode, THandle handle,
                                                                               char* text);
using TSchApiQuery_Implementation = std::int32_t(TOLVEX_STDCALL*)(std::uint8_t mode, THandle handle,
                                                                  TSchImplementationRecord* record);
using TSchApiQuery_ImplementationDatafileCount = std::int32_t(TOLVEX_STDCALL*)(std::uint8_t mode, THandle handle,
                                                                               TSchDatafileCountRecord* record);
using TSchApiQuery_ImplementationDatafile = std::int32_t(TOLVEX_STDCALL*)(std::uint8_t mode, THandle handle,
                                                                          TSchDatafileRecord* record);

using TSchAPI_GetObjectIdFromObjectHandle = std::uint8_t(TOLVEX_STDCALL*)(THandle handle);

// Group iterators walk the members of a container, each once, then answer 0. The simple one yields only the
// container's direct members.
using TSchAPI_CreateSimpleGroupIterator = THandle(TOLVEX_STDCALL*)(THandle container);
using TSchAPI_CreateGroupIterator = THandle(TOLVEX_STDCALL*)(THandle container);
using TSchAPI_GetFirstGroupObject = THandle(TOLVEX_STDCALL*)(THandle iterator);
using TSchAPI_GetNextGroupObject = THandle(TOLVEX_STDCALL*)(THandle iterator);
using TSchAPI_DestroyGroupIterator = void(TOLVEX_STDCALL*)(THandle iterator);

// A document iterator yields the document's objects of one kind code.
using TSchAPI_CreateIterator = THandle(TOLVEX_STDCALL*)(THandle document, std::uint8_t kind);
using TSchAPI_GetFirstObject = THandle(TOLVEX_STDCALL*)(THandle iterator);
using TSchAPI_GetNextObject = THandle(TOLVEX_STDCALL*)(THandle iterator);
using TSchAPI_DestroyIterator = void(TOLVEX_STDCALL*)(THandle iterator);

// True when Component is the current component of a library document; that document's handle goes to Document.
using TSchAPI_IsCurrentLibraryComponent = TBool32(TOLVEX_STDCALL*)(THandle component, THandle* document);
using TSchAPI_GetDocumentHandleFromFileName = THandle(TOLVEX_STDCALL*)(const char* fileName);
using TSchAPI_GetCurrentLibraryComponent = THandle(TOLVEX_STDCALL*)(THandle document);

using TSchAPI_CreateObjectEx = THandle(TOLVEX_STDCALL*)(std::uint8_t kind);
using TSchAPI_DestroyObject = void(TOLVEX_STDCALL*)(THandle handle);
using TSchApiQuery_AddObjectToContainer = std::int32_t(TOLVEX_STDCALL*)(THandle container, THandle object);
using TSchApiQuery_DeleteObjectFromContainer = std::int32_t(TOLVEX_STDCALL*)(THandle container, THandle object);

// The server's own interactive editor for the object; true when the user accepted a change.
using TSchAPI_ImportFromUser = TBool32(TOLVEX_STDCALL*)(THandle handle);
using TSchAPI_RedrawObject = void(TOLVEX_STDCALL*)(THandle handle);
using TSchAPI_GetObjectBoundingRectangle = void(TOLVEX_STDCALL*)(THandle handle, std::int32_t* a, std::int32_t* b,
                                                                 std::int32_t* c, std::int32_t* d);

// A new part painter carrying one reference for the caller; the host's external-form interface is reached
// through its QueryInterface. Null when the server offers none.
using TSchAPI_CreatePainter = IInterface*(TOLVEX_STDCALL*)();
// Draws part PartNumber (1-based) of Component into Painter.
using TSchAPI_DrawComponentByHandle = void(TOLVEX_STDCALL*)(IInterface* painter, THandle component,
                                                            std::int32_t partNumber);
}

// The binding. Each method calls its export when it is bound and otherwise answers the default an absent server
// means: handle 0, kind code 61, false, query result 1; a void export does nothing, so the bounding rectangle
// keeps what the caller preset. Handles pass through unchecked: what 0 means to an operation is the server's or
// the caller's business.
class TSchServerApi {
 public:
  // Binds every export by name. Without a resolver the exports come from Pravik.dll only if it is already loaded;
  // it is never loaded here. An export the resolver does not find stays unbound; so does everything bound before.
  void Bind(TExportResolver resolver = nullptr);
  void Clear();

  // Record queries. Besides the server's own answers, 1 also means the record was refused (a string field unset)
  // and the server not asked. After a read every string buffer is NUL-terminated within its size whatever the
  // server wrote; before a write it is cut there too.
  std::int32_t QueryGrafObject(std::uint8_t mode, THandle handle, TSchGrafObjectRecord& record) const;
  std::int32_t QueryWorkspaceObject(std::uint8_t mode, THandle handle, TSchWorkspaceObjectRecord& record) const;
  std::int32_t QuerySchComponent(std::uint8_t mode, THandle handle, TSchComponentRecord& record) const;
  std::int32_t QueryComponentDesignatorLocks(std::uint8_t mode, THandle handle,
                                             TSchDesignatorLocksRecord& record) const;
  std::int32_t QueryPin(std::uint8_t mode, THandle handle, TSchPinRecord& record) const;
  std::int32_t QuerySchParameter(std::uint8_t mode, THandle handle, TSchParameterRecord& record) const;
  // Text: a buffer of kSchTextBufferSize bytes (refused when null).
  std::int32_t QueryUniqueId(std::uint8_t mode, THandle handle, char* text) const;
  std::int32_t QuerySchParameterCalculatedValue(std::uint8_t mode, THandle handle, char* text) const;
  std::int32_t QueryImplementation(std::uint8_t mode, THandle handle, TSchImplementationRecord& record) const;
  std::int32_t QueryImplementationDatafileCount(std::uint8_t mode, THandle handle,
                                                TSchDatafileCountRecord& record) const;
  std::int32_t QueryImplementationDatafile(std::uint8_t mode, THandle handle, TSchDatafileRecord& record) const;

  std::uint8_t GetObjectIdFromObjectHandle(THandle handle) const;

  THandle CreateSimpleGroupIterator(THandle container) const;
  THandle CreateGroupIterator(THandle container) const;
  THandle GetFirstGroupObject(THandle iterator) const;
  THandle GetNextGroupObject(THandle iterator) const;
  void DestroyGroupIterator(THandle iterator) const;

  THandle CreateIterator(THandle document, std::uint8_t kind) const;
  THandle GetFirstObject(THandle iterator) const;
  THandle GetNextObject(THandle iterator) const;
  void DestroyIterator(THandle iterator) const;

  // Document is 0 unless the server names one.
  bool IsCurrentLibraryComponent(THandle component, THandle& document) const;
  THandle GetDocumentHandleFromFileName(const std::string& fileName) const;
  THandle GetCurrentLibraryComponent(THandle document) const;

  THandle CreateObjectEx(std::uint8_t kind) const;
  void DestroyObject(THandle handle) const;
  std::int32_t AddObjectToContainer(THandle container, THandle object) const;
  std::int32_t DeleteObjectFromContainer(THandle container, THandle object) const;

  bool ImportFromUser(THandle handle) const;
  void RedrawObject(THandle handle) const;
  void GetObjectBoundingRectangle(THandle handle, std::int32_t& a, std::int32_t& b, std::int32_t& c,
                                  std::int32_t& d) const;

  TInterfacePtr<IInterface> CreatePainter() const;
  // Nothing to draw into without a painter, so a null one is not passed on.
  void DrawComponentByHandle(IInterface* painter, THandle component, std::int32_t partNumber) const;

 private:
  TSchAPIQuery_GrafObject FQueryGrafObject = nullptr;
  TSchAPIQuery_WorkspaceObject FQueryWorkspaceObject = nullptr;
  TSchApiQuery_SchComponent FQuerySchComponent = nullptr;
  TSchAPIQuery_ComponentDesignatorLocks FQueryComponentDesignatorLocks = nullptr;
  TSchAPIQuery_Pin FQueryPin = nullptr;
  TSchApiQuery_SchParameter FQuerySchParameter = nullptr;
  TSchApiQuery_UniqueId FQueryUniqueId = nullptr;
  TSchApiQuery_SchParameterCalculatedValue FQuerySchParameterCalculatedValue = nullptr;
  TSchApiQuery_Implementation FQueryImplementation = nullptr;
  TSchApiQuery_ImplementationDatafileCount FQueryImplementationDatafileCount = nullptr;
  TSchApiQuery_ImplementationDatafile FQueryImplementationDatafile = nullptr;
  TSchAPI_GetObjectIdFromObjectHandle FGetObjectIdFromObjectHandle = nullptr;
  TSchAPI_CreateSimpleGroupIterator FCreateSimpleGroupIterator = nullptr;
  TSchAPI_CreateGroupIterator FCreateGroupIterator = nullptr;
  TSchAPI_GetFirstGroupObject FGetFirstGroupObject = nullptr;
  TSchAPI_GetNextGroupObject FGetNextGroupObject = nullptr;
  TSchAPI_DestroyGroupIterator FDestroyGroupIterator = nullptr;
  TSchAPI_CreateIterator FCreateIterator = nullptr;
  TSchAPI_GetFirstObject FGetFirstObject = nullptr;
  TSchAPI_GetNextObject FGetNextObject = nullptr;
  TSchAPI_DestroyIterator FDestroyIterator = nullptr;
  TSchAPI_IsCurrentLibraryComponent FIsCurrentLibraryComponent = nullptr;
  TSchAPI_GetDocumentHandleFromFileName FGetDocumentHandleFromFileName = nullptr;
  TSchAPI_GetCurrentLibraryComponent FGetCurrentLibraryComponent = nullptr;
  TSchAPI_CreateObjectEx FCreateObjectEx = nullptr;
  TSchAPI_DestroyObject FDestroyObject = nullptr;
  TSchApiQuery_AddObjectToContainer FAddObjectToContainer = nullptr;
  TSchApiQuery_DeleteObjectFromContainer FDeleteObjectFromContainer = nullptr;
  TSchAPI_ImportFromUser FImportFromUser = nullptr;
  TSchAPI_RedrawObject FRedrawObject = nullptr;
  TSchAPI_GetObjectBoundingRectangle FGetObjectBoundingRectangle = nullptr;
  TSchAPI_CreatePainter FCreatePainter = nullptr;
  TSchAPI_DrawComponentByHandle FDrawComponentByHandle = nullptr;
};

// The module-wide binding: bound when the library starts, cleared when it unloads.
TSchServerApi& SchServer();

}  // namespace tolvex
