// The in-memory schematic server's exports.
#include "support/FakeSchServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "host/SchServerApi.h"

namespace tolvex::test {

namespace {

FakeSchServer* Instance = nullptr;

FakeSchServer& S() { return *Instance; }

void Put(char* buffer, const std::string& text, std::size_t size = kSchTextBufferSize) {
  const std::size_t n = std::min(text.size(), size - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

std::string Get(const char* buffer) { return buffer ? std::string(buffer) : std::string(); }

FakeSchServer::TObject* Find(THandle h, std::uint8_t kind = 0) {
  auto it = S().FObjects.find(h);
  if (it == S().FObjects.end()) return nullptr;
  if (kind && it->second.Kind != kind) return nullptr;
  return &it->second;
}

bool Refused(const char* query) { return S().RefusedQueries.count(query) != 0; }

constexpr std::uint8_t kKindComponent = 1;
constexpr std::uint8_t kKindImplementation = 2;
constexpr std::uint8_t kKindDocument = 3;

std::int32_t TOLVEX_STDCALL QueryGraf(std::uint8_t mode, THandle h, TSchGrafObjectRecord* r) {
  FakeSchServer::TObject* o = Find(h);
  if (!o || Refused("Graf")) return 1;
  if (mode == kSchQueryModeRead) {
    r->FObjectId = o->Kind == kSchObjectIdPin || o->Kind == kSchObjectIdParameter ? o->Kind : kSchObjectIdNone;
    if (o->Kind == kSchObjectIdPin) {
      r->FOwnerPartId = o->Pin.OwnerPartId;
      r->FLocationX = o->Pin.LocationX;
      r->FLocationY = o->Pin.LocationY;
    } else if (o->Kind == kSchObjectIdParameter) {
      r->FOwnerPartId = o->Parameter.OwnerPartId;
      r->FLocationX = o->Parameter.LocationX;
      r->FLocationY = o->Parameter.LocationY;
    }
  }
  return 0;
}

std::int32_t TOLVEX_STDCALL QueryWorkspace(std::uint8_t, THandle h, TSchWorkspaceObjectRecord*) {
  return Find(h) ? 0 : 1;
}

std::int32_t TOLVEX_STDCALL QueryLocks(std::uint8_t, THandle h, TSchDesignatorLocksRecord*) {
  return Find(h, kKindComponent) ? 0 : 1;
}

std::int32_t TOLVEX_STDCALL QueryComponent(std::uint8_t mode, THandle h, TSchComponentRecord* r) {
  FakeSchServer::TObject* o = Find(h, kKindComponent);
  if (!o || Refused("Component")) return 1;
  if (mode == kSchQueryModeRead) {
    Put(r->FSourceLibraryName, o->SourceLibraryName);
    Put(r->FLibraryReference, o->LibraryReference);
    r->FPartCount = o->PartCount;
    r->FDesignatorParameter = o->DesignatorParameter;
    r->FContainer = o->Container;
  } else {
    o->SourceLibraryName = Get(r->FSourceLibraryName);
    o->LibraryReference = Get(r->FLibraryReference);
    o->PartCount = r->FPartCount;
  }
  return 0;
}

std::int32_t TOLVEX_STDCALL QueryPin(std::uint8_t mode, THandle h, TSchPinRecord* r) {
  FakeSchServer::TObject* o = Find(h, kSchObjectIdPin);
  if (!o || Refused("Pin")) return 1;
  if (mode == kSchQueryModeRead) {
    Put(r->FName, o->Pin.Name);
    Put(r->FDesignator, o->Pin.Designator);
    r->FOwnerPartId = o->Pin.OwnerPartId;
    r->FPinLength = o->Pin.Length;
    r->FOrientation = o->Pin.Orientation;
  } else {
    o->Pin.Name = Get(r->FName);
    o->Pin.Designator = Get(r->FDesignator);
  }
  return 0;
}

std::int32_t TOLVEX_STDCALL QueryParameter(std::uint8_t mode, THandle h, TSchParameterRecord* r) {
  FakeSchServer::TObject* o = Find(h, kSchObjectIdParameter);
  if (!o || Refused("Parameter")) return 1;
  FakeSchParameter& p = o->Parameter;
  if (mode == kSchQueryModeRead) {
    Put(r->FName, p.Name);
    Put(r->FValue, p.Value);
    Put(r->T1, p.T1);
    Put(r->T2, p.T2);
    r->FValueType = p.ValueType;
    r->FReadOnlyFlags = p.ReadOnlyFlags;
  } else {
    p.Name = Get(r->FName);
    p.Value = Get(r->FValue);
    p.T1 = Get(r->T1);
    p.T2 = Get(r->T2);
    p.ValueType = r->FValueType;
    p.ReadOnlyFlags = r->FReadOnlyFlags;
  }
  return 0;
}

std::int32_t TOLVEX_STDCALL QueryText(std::uint8_t, THandle h, char* text) {
  if (!Find(h, kSchObjectIdParameter)) return 1;
  Put(text, "id-" + std::to_string(h));
  return 0;
}

std::int32_t TOLVEX_STDCALL QueryImplementation(std::uint8_t mode, THandle h, TSchImplementationRecord* r) {
  FakeSchServer::TObject* o = Find(h, kKindImplementation);
  if (!o || Refused("Implementation")) return 1;
  if (mode == kSchQueryModeRead) {
    Put(r->FModelName, o->ModelName);
    Put(r->FDescription, o->Description);
    Put(r->FPortMap, o->PortMap, kSchLongBufferSize);
    r->FParameterContainer = o->Container;
    r->FUseLibraryModel = o->UseLibraryModel;
    r->FLibraryModelAvailable = o->LibraryModelAvailable;
  } else {
    o->ModelName = Get(r->FModelName);
    o->Description = Get(r->FDescription);
    o->PortMap = Get(r->FPortMap);
    o->UseLibraryModel = r->FUseLibraryModel != 0;
  }
  return 0;
}

std::int32_t TOLVEX_STDCALL QueryDatafileCount(std::uint8_t mode, THandle h, TSchDatafileCountRecord* r) {
  FakeSchServer::TObject* o = Find(h, kKindImplementation);
  if (!o || Refused("DatafileCount")) return 1;
  if (mode == kSchQueryModeRead) {
    r->Count = static_cast<std::int32_t>(o->Links.size());
  } else {
    // Writing the count starts a replacement of every link.
    o->Links.assign(static_cast<std::size_t>(std::max(r->Count, 0)), FakeDatafileLink{});
  }
  return 0;
}

std::int32_t TOLVEX_STDCALL QueryDatafile(std::uint8_t mode, THandle h, TSchDatafileRecord* r) {
  FakeSchServer::TObject* o = Find(h, kKindImplementation);
  if (!o || r->Index < 0 || r->Index >= static_cast<std::int32_t>(o->Links.size())) return 1;
  FakeDatafileLink& link = o->Links[static_cast<std::size_t>(r->Index)];
  if (mode == kSchQueryModeRead) {
    Put(r->FLocation, link.Location, kSchLongBufferSize);
    Put(r->FEntityName, link.EntityName);
    Put(r->FKind, link.Kind);
  } else {
    link = {Get(r->FEntityName), Get(r->FLocation), Get(r->FKind)};
  }
  return 0;
}

std::uint8_t TOLVEX_STDCALL ObjectId(THandle h) {
  FakeSchServer::TObject* o = Find(h);
  return o && (o->Kind == kSchObjectIdPin || o->Kind == kSchObjectIdParameter) ? o->Kind : kSchObjectIdNone;
}

THandle NewIterator(std::vector<THandle> members) {
  const THandle h = S().NewHandle();
  S().FIterators[h] = {std::move(members), 0};
  return h;
}

THandle TOLVEX_STDCALL CreateGroupIterator(THandle container) {
  auto it = S().FContainers.find(container);
  if (it == S().FContainers.end()) return 0;
  return NewIterator(it->second);
}

THandle TOLVEX_STDCALL FirstMember(THandle iterator) {
  auto it = S().FIterators.find(iterator);
  if (it == S().FIterators.end()) return 0;
  it->second.Next = 0;
  return it->second.Members.empty() ? 0 : it->second.Members[it->second.Next++];
}

THandle TOLVEX_STDCALL NextMember(THandle iterator) {
  auto it = S().FIterators.find(iterator);
  if (it == S().FIterators.end() || it->second.Next >= it->second.Members.size()) return 0;
  return it->second.Members[it->second.Next++];
}

void TOLVEX_STDCALL DestroyIterator(THandle iterator) { S().FIterators.erase(iterator); }

THandle TOLVEX_STDCALL CreateDocumentIterator(THandle document, std::uint8_t kind) {
  FakeSchServer::TObject* d = Find(document, kKindDocument);
  if (!d || kind != kSchObjectIdPin) return 0;
  return NewIterator(d->DocumentPins);
}

TBool32 TOLVEX_STDCALL IsCurrentLibraryComponent(THandle component, THandle* document) {
  for (auto& [h, o] : S().FObjects)
    if (o.Kind == kKindDocument && o.CurrentComponent == component && component) {
      if (document) *document = h;
      return TRUE32;
    }
  return FALSE32;
}

THandle TOLVEX_STDCALL DocumentFromFileName(const char* file) {
  for (auto& [h, o] : S().FObjects)
    if (o.Kind == kKindDocument && file && o.FileName == file) return h;
  return 0;
}

THandle TOLVEX_STDCALL CurrentLibraryComponent(THandle document) {
  FakeSchServer::TObject* d = Find(document, kKindDocument);
  return d ? d->CurrentComponent : 0;
}

THandle TOLVEX_STDCALL CreateObject(std::uint8_t kind) {
  if (kind != kSchObjectIdParameter || S().RefuseCreate) return 0;
  const THandle h = S().NewHandle();
  S().FObjects[h].Kind = kSchObjectIdParameter;
  ++S().FCreated;
  return h;
}

void TOLVEX_STDCALL DestroyObject(THandle h) {
  if (S().FObjects.erase(h)) ++S().FDestroyed;
  for (auto& [c, members] : S().FContainers) std::erase(members, h);
}

std::int32_t TOLVEX_STDCALL AddToContainer(THandle container, THandle object) {
  auto it = S().FContainers.find(container);
  if (it == S().FContainers.end() || !Find(object)) return 1;
  if (std::find(it->second.begin(), it->second.end(), object) == it->second.end()) it->second.push_back(object);
  return 0;
}

std::int32_t TOLVEX_STDCALL DeleteFromContainer(THandle container, THandle object) {
  auto it = S().FContainers.find(container);
  if (it == S().FContainers.end()) return 1;
  std::erase(it->second, object);
  return 0;
}

TBool32 TOLVEX_STDCALL ImportFromUser(THandle) { return FALSE32; }
void TOLVEX_STDCALL Redraw(THandle) {}
void TOLVEX_STDCALL BoundingRectangle(THandle h, std::int32_t* a, std::int32_t* b, std::int32_t* c,
                                      std::int32_t* d) {
  if (!Find(h)) return;
  *a = 0;
  *b = 0;
  *c = 100;
  *d = 50;
}

IInterface* TOLVEX_STDCALL CreatePainter() {
  if (S().Painter) S().Painter->AddRef();
  return S().Painter;
}
void TOLVEX_STDCALL DrawComponent(IInterface* painter, THandle component, std::int32_t part) {
  S().Draws.push_back({painter, component, part});
}

void* Resolve(const char* name) {
  static const std::map<std::string_view, void*> exports = {
      {"SchAPIQuery_GrafObject", reinterpret_cast<void*>(&QueryGraf)},
      {"SchAPIQuery_WorkspaceObject", reinterpret_cast<void*>(&QueryWorkspace)},
      {"SchApiQuery_SchComponent", reinterpret_cast<void*>(&QueryComponent)},
      {"SchAPIQuery_ComponentDesignatorLocks", reinterpret_cast<void*>(&QueryLocks)},
      {"SchAPIQuery_Pin", reinterpret_cast<void*>(&QueryPin)},
      {"SchApiQuery_SchParameter", reinterpret_cast<void*>(&QueryParameter)},
      {"SchApiQuery_UniqueId", reinterpret_cast<void*>(&QueryText)},
      {"SchApiQuery_SchParameterCalculatedValue", reinterpret_cast<void*>(&QueryText)},
      {"SchApiQuery_Implementation", reinterpret_cast<void*>(&QueryImplementation)},
      {"SchApiQuery_ImplementationDatafileCount", reinterpret_cast<void*>(&QueryDatafileCount)},
      {"SchApiQuery_ImplementationDatafile", reinterpret_cast<void*>(&QueryDatafile)},
      {"SchAPI_GetObjectIdFromObjectHandle", reinterpret_cast<void*>(&ObjectId)},
      {"SchAPI_CreateSimpleGroupIterator", reinterpret_cast<void*>(&CreateGroupIterator)},
      {"SchAPI_CreateGroupIterator", reinterpret_cast<void*>(&CreateGroupIterator)},
      {"SchAPI_GetFirstGroupObject", reinterpret_cast<void*>(&FirstMember)},
      {"SchAPI_GetNextGroupObject", reinterpret_cast<void*>(&NextMember)},
      {"SchAPI_DestroyGroupIterator", reinterpret_cast<void*>(&DestroyIterator)},
      {"SchAPI_CreateIterator", reinterpret_cast<void*>(&CreateDocumentIterator)},
      {"SchAPI_GetFirstObject", reinterpret_cast<void*>(&FirstMember)},
      {"SchAPI_GetNextObject", reinterpret_cast<void*>(&NextMember)},
      {"SchAPI_DestroyIterator", reinterpret_cast<void*>(&DestroyIterator)},
      {"SchAPI_IsCurrentLibraryComponent", reinterpret_cast<void*>(&IsCurrentLibraryComponent)},
      {"SchAPI_GetDocumentHandleFromFileName", reinterpret_cast<void*>(&DocumentFromFileName)},
      {"SchAPI_GetCurrentLibraryComponent", reinterpret_cast<void*>(&CurrentLibraryComponent)},
      {"SchAPI_CreateObjectEx", reinterpret_cast<void*>(&CreateObject)},
      {"SchAPI_DestroyObject", reinterpret_cast<void*>(&DestroyObject)},
      {"SchApiQuery_AddObjectToContainer", reinterpret_cast<void*>(&AddToContainer)},
      {"SchApiQuery_DeleteObjectFromContainer", reinterpret_cast<void*>(&DeleteFromContainer)},
      {"SchAPI_ImportFromUser", reinterpret_cast<void*>(&ImportFromUser)},
      {"SchAPI_RedrawObject", reinterpret_cast<void*>(&Redraw)},
      {"SchAPI_GetObjectBoundingRectangle", reinterpret_cast<void*>(&BoundingRectangle)},
      {"SchAPI_CreatePainter", reinterpret_cast<void*>(&CreatePainter)},
      {"SchAPI_DrawComponentByHandle", reinterpret_cast<void*>(&DrawComponent)},
  };
  auto it = exports.find(name);
  return it == exports.end() ? nullptr : it->second;
}

}  // namespace

FakeSchServer::FakeSchServer() {
  if (Instance) ADD_FAILURE() << "a second FakeSchServer while one is bound";
  Instance = this;
  SchServer().Bind(&Resolve);
}

FakeSchServer::~FakeSchServer() {
  SchServer().Clear();
  Instance = nullptr;
}

FakeSchServer* FakeSchServer::Current() { return Instance; }

THandle FakeSchServer::AddComponent(const std::string& designator, std::int32_t partCount) {
  const THandle h = NewHandle();
  TObject& o = FObjects[h];
  o.Kind = kKindComponent;
  o.PartCount = partCount;
  o.Container = NewHandle();
  FContainers[o.Container];
  FakeSchParameter d;
  d.Name = "Designator";
  d.Value = designator;
  const THandle parameter = NewHandle();
  FObjects[parameter].Kind = kSchObjectIdParameter;
  FObjects[parameter].Parameter = d;
  // The designator parameter is the component's own, not one of its listed parameters.
  FObjects[h].DesignatorParameter = parameter;
  return h;
}

THandle FakeSchServer::AddComponentWithoutContainer() {
  const THandle h = NewHandle();
  FObjects[h].Kind = kKindComponent;
  return h;
}

THandle FakeSchServer::AddPin(THandle component, const FakeSchPin& pin) {
  const THandle h = NewHandle();
  FObjects[h].Kind = kSchObjectIdPin;
  FObjects[h].Pin = pin;
  FContainers[FObjects[component].Container].push_back(h);
  return h;
}

THandle FakeSchServer::AddParameter(THandle component, const FakeSchParameter& parameter) {
  const THandle h = NewHandle();
  FObjects[h].Kind = kSchObjectIdParameter;
  FObjects[h].Parameter = parameter;
  FContainers[FObjects[component].Container].push_back(h);
  return h;
}

THandle FakeSchServer::AddImplementation(THandle component, const std::string& modelName,
                                         const std::string& portMap) {
  const THandle h = NewHandle();
  TObject& o = FObjects[h];
  o.Kind = kKindImplementation;
  o.ModelName = modelName;
  o.PortMap = portMap;
  o.Container = NewHandle();
  FContainers[o.Container];
  (void)component;
  return h;
}

THandle FakeSchServer::AddImplementationParameter(THandle implementation, const FakeSchParameter& parameter) {
  const THandle h = NewHandle();
  FObjects[h].Kind = kSchObjectIdParameter;
  FObjects[h].Parameter = parameter;
  FContainers[FObjects[implementation].Container].push_back(h);
  return h;
}

void FakeSchServer::AddDatafileLink(THandle implementation, const FakeDatafileLink& link) {
  FObjects[implementation].Links.push_back(link);
}

THandle FakeSchServer::AddLibraryDocument(const std::string& fileName, THandle currentComponent) {
  const THandle h = NewHandle();
  FObjects[h].Kind = kKindDocument;
  FObjects[h].FileName = fileName;
  FObjects[h].CurrentComponent = currentComponent;
  return h;
}

void FakeSchServer::AddDocumentPin(THandle document, const FakeSchPin& pin) {
  const THandle h = NewHandle();
  FObjects[h].Kind = kSchObjectIdPin;
  FObjects[h].Pin = pin;
  FObjects[document].DocumentPins.push_back(h);
}

std::vector<FakeSchParameter> FakeSchServer::ComponentParameters(THandle component) const {
  std::vector<FakeSchParameter> out;
  for (THandle h : FContainers.at(FObjects.at(component).Container))
    if (FObjects.at(h).Kind == kSchObjectIdParameter) out.push_back(FObjects.at(h).Parameter);
  return out;
}

std::vector<FakeSchParameter> FakeSchServer::ImplementationParameters(THandle implementation) const {
  return ComponentParameters(implementation);
}

const FakeSchParameter* FakeSchServer::FindParameter(THandle container, const std::string& name) const {
  auto it = FContainers.find(container);
  if (it == FContainers.end()) return nullptr;
  for (THandle h : it->second)
    if (FObjects.at(h).Kind == kSchObjectIdParameter && FObjects.at(h).Parameter.Name == name)
      return &FObjects.at(h).Parameter;
  return nullptr;
}

std::vector<FakeDatafileLink> FakeSchServer::DatafileLinks(THandle implementation) const {
  return FObjects.at(implementation).Links;
}
std::string FakeSchServer::PortMap(THandle implementation) const { return FObjects.at(implementation).PortMap; }
std::string FakeSchServer::ModelName(THandle implementation) const { return FObjects.at(implementation).ModelName; }
std::string FakeSchServer::Description(THandle implementation) const {
  return FObjects.at(implementation).Description;
}
bool FakeSchServer::UseLibraryModel(THandle implementation) const {
  return FObjects.at(implementation).UseLibraryModel;
}
THandle FakeSchServer::ContainerOf(THandle object) const { return FObjects.at(object).Container; }

std::size_t FakeSchServer::LiveParameterCount() const {
  std::size_t n = 0;
  for (const auto& [h, o] : FObjects) n += o.Kind == kSchObjectIdParameter;
  return n;
}

}  // namespace tolvex::test
