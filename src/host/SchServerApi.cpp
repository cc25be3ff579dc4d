// Binding of the schematic editor server's exports, with the defaults that stand for an absent server.
#include "host/SchServerApi.h"

#include <array>

#include "os/Os.h"

namespace tolvex {

namespace {

struct TStringField {
  char* Text;
  std::size_t Size;
};

template <std::size_t N>
using TStringFields = std::array<TStringField, N>;

TStringFields<0> StringFields(TSchGrafObjectRecord&) { return {}; }
TStringFields<0> StringFields(TSchWorkspaceObjectRecord&) { return {}; }
TStringFields<0> StringFields(TSchDesignatorLocksRecord&) { return {}; }
TStringFields<0> StringFields(TSchDatafileCountRecord&) { return {}; }

TStringFields<6> StringFields(TSchComponentRecord& r) {
  return {{{r.S1, kSchTextBufferSize},
           {r.S2, kSchTextBufferSize},
           {r.FSourceLibraryName, kSchTextBufferSize},
           {r.FLibraryReference, kSchTextBufferSize},
           {r.S5, kSchTextBufferSize},
           {r.S6, kSchTextBufferSize}}};
}

TStringFields<6> StringFields(TSchPinRecord& r) {
  return {{{r.PinString1, kSchTextBufferSize},
           {r.PinString2, kSchTextBufferSize},
           {r.FDesignator, kSchTextBufferSize},
           {r.FName, kSchTextBufferSize},
           {r.PinString3, kSchTextBufferSize},
           {r.PinString4, kSchTextBufferSize}}};
}

TStringFields<5> StringFields(TSchParameterRecord& r) {
  return {{{r.FName, kSchTextBufferSize},
           {r.FValue, kSchTextBufferSize},
           {r.ParameterString, kSchTextBufferSize},
           {r.T1, kSchTextBufferSize},
           {r.T2, kSchTextBufferSize}}};
}

TStringFields<4> StringFields(TSchImplementationRecord& r) {
  return {{{r.FModelName, kSchTextBufferSize},
           {r.K1, kSchTextBufferSize},
           {r.FDescription, kSchTextBufferSize},
           {r.FPortMap, kSchLongBufferSize}}};
}

TStringFields<3> StringFields(TSchDatafileRecord& r) {
  return {{{r.FLocation, kSchLongBufferSize}, {r.FEntityName, kSchTextBufferSize}, {r.FKind, kSchTextBufferSize}}};
}

template <std::size_t N>
bool AllSet(const TStringFields<N>& fields) {
  for (const TStringField& f : fields)
    if (!f.Text) return false;
  return true;
}

template <std::size_t N>
void CutAtBufferEnd(const TStringFields<N>& fields) {
  for (const TStringField& f : fields) f.Text[f.Size - 1] = '\0';
}

// The server gets a record only with every buffer in place, and no text leaves this call unterminated: on write
// a client's overlong text would make the server read past the buffer, on read a careless server would make
// every later strlen do so.
template <class F, class R>
std::int32_t QueryRecord(F query, std::uint8_t mode, THandle handle, R& record) {
  if (!query) return kSchQueryFailure;
  const auto fields = StringFields(record);
  if (!AllSet(fields)) return kSchQueryFailure;
  if (mode != kSchQueryModeRead) CutAtBufferEnd(fields);
  const std::int32_t result = query(mode, handle, &record);
  if (mode == kSchQueryModeRead) CutAtBufferEnd(fields);
  return result;
}

template <class F>
std::int32_t QueryText(F query, std::uint8_t mode, THandle handle, char* text) {
  if (!query || !text) return kSchQueryFailure;
  const TStringFields<1> fields{{{text, kSchTextBufferSize}}};
  if (mode != kSchQueryModeRead) CutAtBufferEnd(fields);
  const std::int32_t result = query(mode, handle, text);
  if (mode == kSchQueryModeRead) CutAtBufferEnd(fields);
  return result;
}

template <class F, class... A>
THandle CallHandle(F f, A... args) {
  return f ? f(args...) : 0;
}

}  // namespace

void TSchServerApi::Bind(TExportResolver resolver) {
  Clear();
  os::TModuleHandle module = nullptr;
  if (!resolver) {
    // Only a server the host has already loaded counts; loading it here would start an editor nobody asked for.
    module = os::FindLoadedModule(kSchServerModuleName);
    if (!module) return;
  }
  const auto bind = [&](auto& target, const char* name) {
    void* address = resolver ? resolver(name) : os::FindExport(module, name);
    target = reinterpret_cast<std::remove_reference_t<decltype(target)>>(address);
  };
  // The letter case of the prefixes differs between exports and is part of each name.
  bind(FQueryGrafObject, "SchAPIQuery_GrafObject");
  bind(FQueryWorkspaceObject, "SchAPIQuery_WorkspaceObject");
  bind(FQuerySchComponent, "SchApiQuery_SchComponent");
  bind(FQueryComponentDesignatorLocks, "SchAPIQuery_ComponentDesignatorLocks");
  bind(FQueryPin, "SchAPIQuery_Pin");
  bind(FQuerySchParameter, "SchApiQuery_SchParameter");
  bind(FQueryUniqueId, "SchApiQuery_UniqueId");
  bind(FQuerySchParameterCalculatedValue, "SchApiQuery_SchParameterCalculatedValue");
  bind(FQueryImplementation, "SchApiQuery_Implementation");
  bind(FQueryImplementationDatafileCount, "SchApiQuery_ImplementationDatafileCount");
  bind(FQueryImplementationDatafile, "SchApiQuery_ImplementationDatafile");
  bind(FGetObjectIdFromObjectHandle, "SchAPI_GetObjectIdFromObjectHandle");
  bind(FCreateSimpleGroupIterator, "SchAPI_CreateSimpleGroupIterator");
  bind(FCreateGroupIterator, "SchAPI_CreateGroupIterator");
  bind(FGetFirstGroupObject, "SchAPI_GetFirstGroupObject");
  bind(FGetNextGroupObject, "SchAPI_GetNextGroupObject");
  bind(FDestroyGroupIterator, "SchAPI_DestroyGroupIterator");
  bind(FCreateIterator, "SchAPI_CreateIterator");
  bind(FGetFirstObject, "SchAPI_GetFirstObject");
  bind(FGetNextObject, "SchAPI_GetNextObject");
  bind(FDestroyIterator, "SchAPI_DestroyIterator");
  bind(FIsCurrentLibraryComponent, "SchAPI_IsCurrentLibraryComponent");
  bind(FGetDocumentHandleFromFileName, "SchAPI_GetDocumentHandleFromFileName");
  bind(FGetCurrentLibraryComponent, "SchAPI_GetCurrentLibraryComponent");
  bind(FCreateObjectEx, "SchAPI_CreateObjectEx");
  bind(FDestroyObject, "SchAPI_DestroyObject");
  bind(FAddObjectToContainer, "SchApiQuery_AddObjectToContainer");
  bind(FDeleteObjectFromContainer, "SchApiQuery_DeleteObjectFromContainer");
  bind(FImportFromUser, "SchAPI_ImportFromUser");
  bind(FRedrawObject, "SchAPI_RedrawObject");
  bind(FGetObjectBoundingRectangle, "SchAPI_GetObjectBoundingRectangle");
  bind(FCreatePainter, "SchAPI_CreatePainter");
  bind(FDrawComponentByHandle, "SchAPI_DrawComponentByHandle");
}

void TSchServerApi::Clear() { *this = TSchServerApi{}; }

std::int32_t TSchServerApi::QueryGrafObject(std::uint8_t mode, THandle handle, TSchGrafObjectRecord& record) const {
  return QueryRecord(FQueryGrafObject, mode, handle, record);
}

std::int32_t TSchServerApi::QueryWorkspaceObject(std::uint8_t mode, THandle handle,
                                                 TSchWorkspaceObjectRecord& record) const {
  return QueryRecord(FQueryWorkspaceObject, mode, handle, record);
}

std::int32_t TSchServerApi::QuerySchComponent(std::uint8_t mode, THandle handle, TSchComponentRecord& record) const {
  return QueryRecord(FQuerySchComponent, mode, handle, record);
}

std::int32_t TSchServerApi::QueryComponentDesignatorLocks(std::uint8_t mode, THandle handle,
                                                          TSchDesignatorLocksRecord& record) const {
  return QueryRecord(FQueryComponentDesignatorLocks, mode, handle, record);
}

std::int32_t TSchServerApi::QueryPin(std::uint8_t mode, THandle handle, TSchPinRecord& record) const {
  return QueryRecord(FQueryPin, mode, handle, record);
}

std::int32_t TSchServerApi::QuerySchParameter(std::uint8_t mode, THandle handle, TSchParameterRecord& record) const {
  return QueryRecord(FQuerySchParameter, mode, handle, record);
}

std::int32_t TSchServerApi::QueryUniqueId(std::uint8_t mode, THandle handle, char* text) const {
  return QueryText(FQueryUniqueId, mode, handle, text);
}

std::int32_t TSchServerApi::QuerySchParameterCalculatedValue(std::uint8_t mode, THandle handle, char* text) const {
  return QueryText(FQuerySchParameterCalculatedValue, mode, handle, text);
}

std::int32_t TSchServerApi::QueryImplementation(std::uint8_t mode, THandle handle,
                                                TSchImplementationRecord& record) const {
  return QueryRecord(FQueryImplementation, mode, handle, record);
}

std::int32_t TSchServerApi::QueryImplementationDatafileCount(std::uint8_t mode, THandle handle,
                                                             TSchDatafileCountRecord& record) const {
  return QueryRecord(FQueryImplementationDatafileCount, mode, handle, record);
}

std::int32_t TSchServerApi::QueryImplementationDatafile(std::uint8_t mode, THandle handle,
                                                        TSchDatafileRecord& record) const {
  return QueryRecord(FQueryImplementationDatafile, mode, handle, record);
}

std::uint8_t TSchServerApi::GetObjectIdFromObjectHandle(THandle handle) const {
  return FGetObjectIdFromObjectHandle ? FGetObjectIdFromObjectHandle(handle) : kSchObjectIdNone;
}

THandle TSchServerApi::CreateSimpleGroupIterator(THandle container) const {
  return CallHandle(FCreateSimpleGroupIterator, container);
}

THandle TSchServerApi::CreateGroupIterator(THandle container) const {
  return CallHandle(FCreateGroupIterator, container);
}

THandle TSchServerApi::GetFirstGroupObject(THandle iterator) const {
  return CallHandle(FGetFirstGroupObject, iterator);
}

THandle TSchServerApi::GetNextGroupObject(THandle iterator) const { return CallHandle(FGetNextGroupObject, iterator); }

void TSchServerApi::DestroyGroupIterator(THandle iterator) const {
  if (FDestroyGroupIterator) FDestroyGroupIterator(iterator);
}

THandle TSchServerApi::CreateIterator(THandle document, std::uint8_t kind) const {
  return CallHandle(FCreateIterator, document, kind);
}

THandle TSchServerApi::GetFirstObject(THandle iterator) const { return CallHandle(FGetFirstObject, iterator); }

THandle TSchServerApi::GetNextObject(THandle iterator) const { return CallHandle(FGetNextObject, iterator); }

void TSchServerApi::DestroyIterator(THandle iterator) const {
  if (FDestroyIterator) FDestroyIterator(iterator);
}

bool TSchServerApi::IsCurrentLibraryComponent(THandle component, THandle& document) const {
  document = 0;
  return FIsCurrentLibraryComponent && FIsCurrentLibraryComponent(component, &document) != FALSE32;
}

THandle TSchServerApi::GetDocumentHandleFromFileName(const std::string& fileName) const {
  return CallHandle(FGetDocumentHandleFromFileName, fileName.c_str());
}

THandle TSchServerApi::GetCurrentLibraryComponent(THandle document) const {
  return CallHandle(FGetCurrentLibraryComponent, document);
}

THandle TSchServerApi::CreateObjectEx(std::uint8_t kind) const { return CallHandle(FCreateObjectEx, kind); }

void TSchServerApi::DestroyObject(THandle handle) const {
  if (FDestroyObject) FDestroyObject(handle);
}

std::int32_t TSchServerApi::AddObjectToContainer(THandle container, THandle object) const {
  return FAddObjectToContainer ? FAddObjectToContainer(container, object) : kSchQueryFailure;
}

std::int32_t TSchServerApi::DeleteObjectFromContainer(THandle container, THandle object) const {
  return FDeleteObjectFromContainer ? FDeleteObjectFromContainer(container, object) : kSchQueryFailure;
}

bool TSchServerApi::ImportFromUser(THandle handle) const {
  return FImportFromUser && FImportFromUser(handle) != FALSE32;
}

void TSchServerApi::RedrawObject(THandle handle) const {
  if (FRedrawObject) FRedrawObject(handle);
}

void TSchServerApi::GetObjectBoundingRectangle(THandle handle, std::int32_t& a, std::int32_t& b, std::int32_t& c,
                                               std::int32_t& d) const {
  if (FGetObjectBoundingRectangle) FGetObjectBoundingRectangle(handle, &a, &b, &c, &d);
}

TInterfacePtr<IInterface> TSchServerApi::CreatePainter() const {
  if (!FCreatePainter) return {};
  return TInterfacePtr<IInterface>::Attach(FCreatePainter());
}

void TSchServerApi::DrawComponentByHandle(IInterface* painter, THandle component, std::int32_t partNumber) const {
  if (FDrawComponentByHandle && painter) FDrawComponentByHandle(painter, component, partNumber);
}

TSchServerApi& SchServer() {
  static TSchServerApi instance;
  return instance;
}

}  // namespace tolvex
