// Reading an implementation and its component in one step, and writing them back.
#include "model_data/ImplementationData.h"

#include "host/HostApi.h"
#include "host/SchServerApi.h"
#include "model_data/ModelFile.h"
#include "support/TextUtils.h"

namespace tolvex {

namespace {

const char* const kReservedNames[] = {"Kind", "SubKind", "Spice Prefix", "Netlist"};

std::vector<THandle> ParameterHandlesIn(THandle container) {
  std::vector<THandle> handles;
  if (!container) return handles;
  const TSchServerApi& server = SchServer();
  const THandle iterator = server.CreateGroupIterator(container);
  if (!iterator) return handles;
  for (THandle h = server.GetFirstGroupObject(iterator); h; h = server.GetNextGroupObject(iterator))
    if (server.GetObjectIdFromObjectHandle(h) == kSchObjectIdParameter) handles.push_back(h);
  server.DestroyGroupIterator(iterator);
  return handles;
}

bool CurrentViewIsLibraryDocument() {
  auto client = ModuleClient();
  if (!client) return false;
  auto view = TInterfacePtr<IServerDocumentView>::Attach(client->GetCurrentView());
  if (!view) return false;
  auto document = TInterfacePtr<IServerDocument>::Attach(view->GetOwnerDocument());
  const char* kind = document ? document->GetKind() : nullptr;
  return kind && (SameText(kind, "SchLib") || SameText(kind, "Lib"));
}

// Moves a parameter object from one container to another: out first, then in, so that it
// exists in exactly one place.
void MoveParameter(THandle from, THandle to, THandle parameter) {
  SchServer().DeleteObjectFromContainer(from, parameter);
  SchServer().AddObjectToContainer(to, parameter);
}

void SetFrom(TSchParameter& parameter, const TParameterData& record) {
  parameter.FValue = record.FValue;
  parameter.FValueType = record.FValueType;
  parameter.FReadOnlyFlags = record.FReadOnlyFlags;
}

// Writes one parameter into Container, matched by its exact name against Existing; a
// parameter the container lacks is created there. Nothing is written when the server
// cannot create it, or when there is no container to put it in.
void WriteParameter(const std::string& name, const std::string& value, std::uint8_t valueType, THandle container,
                    TSchParameterList& existing, std::uint8_t readOnlyFlags) {
  TSchParameter* parameter = existing.FindByName(name);
  if (!parameter) {
    if (!container) return;
    const THandle handle = SchServer().CreateObjectEx(kSchObjectIdParameter);
    if (!handle) return;
    SchServer().AddObjectToContainer(container, handle);
    existing.Add(std::make_unique<TSchParameter>(handle));
    parameter = existing.Get(existing.Count() - 1);
  }
  parameter->Query(kSchQueryModeRead);
  parameter->FName = name;
  parameter->FValue = value;
  parameter->FValueType = valueType;
  parameter->FReadOnlyFlags = readOnlyFlags;
  parameter->Query(kSchQueryModeWrite);
}

}  // namespace

bool IsReservedParameterName(const std::string& name) {
  for (const char* reserved : kReservedNames)
    if (SameText(name, reserved)) return true;
  return false;
}

int TParameterDataList::AddData(std::unique_ptr<TParameterData>& record) {
  if (!record || FindData(record->FName)) return -1;
  FItems.push_back(std::move(record));
  return static_cast<int>(FItems.size() - 1);
}

int TParameterDataList::AddParameter(const std::string& name, const std::string& value) {
  return AddParameterEx(name, value, 0, 0);
}

int TParameterDataList::AddParameterEx(const std::string& name, const std::string& value,
                                       std::uint8_t readOnlyFlags, std::uint8_t valueType) {
  auto record = std::make_unique<TParameterData>();
  record->FName = name;
  record->FValue = value;
  record->FReadOnlyFlags = readOnlyFlags;
  record->FValueType = valueType;
  return AddData(record);
}

void TParameterDataList::AddCopiesOf(const TParameterDataList* other) {
  if (!other) return;
  for (const auto& item : other->FItems) {
    auto copy = std::make_unique<TParameterData>(item.get());
    AddData(copy);
  }
}

TParameterData* TParameterDataList::FindData(const std::string& name) const {
  for (const auto& item : FItems)
    if (SameText(item->FName, name)) return item.get();
  return nullptr;
}

TImplementationData::TImplementationData(THandle implementationHandle, THandle componentHandle)
    : FInLibraryEditor(CurrentViewIsLibraryDocument()),
      FComponentHandle(componentHandle),
      FImplementationHandle(implementationHandle) {}

TImplementationData::~TImplementationData() = default;

void TImplementationData::Load() {
  TSchComponent component(FComponentHandle);
  TComponentImplementation implementation(FImplementationHandle);
  component.Query(kSchQueryModeRead);
  implementation.Query(kSchQueryModeRead);

  FLibraryReference = component.FLibraryReference;
  FSourceLibraryName = component.FSourceLibraryName;
  FPartCount = component.FPartCount;
  FDesignator = component.GetDesignatorText();

  FPins.Clear();
  std::vector<THandle> pins;
  component.GetPinHandles(pins);
  for (THandle h : pins) {
    auto pin = std::make_unique<TSchPin>(h);
    pin->Query(kSchQueryModeRead);
    FPins.Add(std::move(pin));
  }

  FDescription = implementation.FDescription;
  FModelName = implementation.FModelName;
  const TModelDatafileLink* first = implementation.GetDatafileLink(0);
  FModelLocation = first ? first->FLocation : std::string();
  FPortMap = implementation.FPortMap;
  FUseLibraryModel = implementation.FUseLibraryModel != 0;
  FLibraryModelAvailable = implementation.FLibraryModelAvailable != 0;

  FLoadedParameters.Clear();
  TSchParameterList componentParameters;
  component.GetParameters(componentParameters);
  for (std::size_t i = 0; i < componentParameters.Count(); ++i) {
    const TSchParameter& p = *componentParameters.Get(i);
    auto record = std::make_unique<TParameterData>();
    record->FName = p.FName;
    record->FValue = p.FValue;
    record->FValueType = p.FValueType;
    record->FReadOnlyFlags = p.FReadOnlyFlags;
    record->FComponentLevel = true;
    FLoadedParameters.AddData(record);
  }
  for (THandle h : ParameterHandlesIn(implementation.FParameterContainer)) {
    TSchParameter p(h);
    p.Query(kSchQueryModeRead);
    if (SameText(p.FName, "Netlist")) {
      FNetlist = p.FValue;
    } else if (SameText(p.FName, "Kind")) {
      FKind = p.FValue;
    } else if (SameText(p.FName, "SubKind")) {
      FSubKind = p.FValue;
    } else if (SameText(p.FName, "Spice Prefix")) {
      FSpicePrefix = p.FValue;
    } else {
      auto record = std::make_unique<TParameterData>();
      record->FName = p.FName;
      record->FValue = p.FValue;
      record->FValueType = p.FValueType;
      record->FReadOnlyFlags = p.FReadOnlyFlags;
      record->FComponentLevel = false;
      FLoadedParameters.AddData(record);
    }
  }
}

void TImplementationData::Save() {
  TSchComponent component(FComponentHandle);
  TComponentImplementation implementation(FImplementationHandle);
  component.Query(kSchQueryModeRead);
  implementation.Query(kSchQueryModeRead);

  implementation.FDescription = FDescription;
  implementation.FModelName = FModelName;
  implementation.FPortMap = FPortMap;
  implementation.ClearDatafileLinks();
  if (FModelFile)
    implementation.AddDatafileLink(FModelName, FModelLocation, FModelFile->IsSubcircuit() ? "CKT" : "MDL");
  implementation.FUseLibraryModel = FUseLibraryModel ? 1 : 0;

  WriteParameters(component, implementation);

  component.Query(kSchQueryModeWrite);
  implementation.Query(kSchQueryModeWrite);
}

void TImplementationData::WriteParameters(TSchComponent& component, TComponentImplementation& implementation) {
  const TParameterDataList* edited = FEditedParameters.get();
  const THandle componentContainer = component.FContainer;
  const THandle implementationContainer = implementation.FParameterContainer;

  if (edited) {
    TSchParameterList current;
    component.GetParameters(current);
    for (std::size_t i = 0; i < current.Count();) {
      TSchParameter& p = *current.Get(i);
      const TParameterData* record = edited->FindData(p.FName);
      if (!record) {
        SchServer().DeleteObjectFromContainer(componentContainer, p.FHandle);
        SchServer().DestroyObject(p.FHandle);
        current.Delete(i);
        continue;
      }
      // A parameter that now lives on the implementation moves there; without an
      // implementation container to take it, it stays where it is rather than being lost.
      if (!record->FComponentLevel && implementationContainer) {
        // An implementation parameter of that name was hidden behind this one; the moved
        // parameter takes its place rather than standing beside it.
        for (THandle h : ParameterHandlesIn(implementationContainer)) {
          TSchParameter hidden(h);
          hidden.Query(kSchQueryModeRead);
          if (SameText(hidden.FName, p.FName) && !IsReservedParameterName(hidden.FName)) {
            SchServer().DeleteObjectFromContainer(implementationContainer, h);
            SchServer().DestroyObject(h);
          }
        }
        MoveParameter(componentContainer, implementationContainer, p.FHandle);
        SetFrom(p, *record);
        p.Query(kSchQueryModeWrite);
      }
      ++i;
    }
  }

  // A parameter of the implementation that a component parameter of the same name hides was
  // never shown: it is not the one a component-level record describes, so it stays where it is.
  TSchParameterList onComponent;
  if (edited) component.GetParameters(onComponent);
  auto hiddenByComponent = [&](const std::string& name) {
    for (std::size_t i = 0; i < onComponent.Count(); ++i)
      if (SameText(onComponent.Get(i)->FName, name)) return true;
    return false;
  };

  TSchParameterList keep;
  for (THandle h : ParameterHandlesIn(implementationContainer)) {
    auto p = std::make_unique<TSchParameter>(h);
    p->Query(kSchQueryModeRead);
    if (IsReservedParameterName(p->FName) || !edited) {
      keep.Add(std::move(p));
      continue;
    }
    const TParameterData* record = edited->FindData(p->FName);
    if (!record) {
      SchServer().DeleteObjectFromContainer(implementationContainer, h);
      SchServer().DestroyObject(h);
    } else if (record->FComponentLevel && componentContainer && !hiddenByComponent(p->FName)) {
      MoveParameter(implementationContainer, componentContainer, h);
      SetFrom(*p, *record);
      p->Query(kSchQueryModeWrite);
    } else {
      keep.Add(std::move(p));
    }
  }

  WriteParameter("Kind", FKind, 0, implementationContainer, keep, 0);
  WriteParameter("SubKind", FSubKind, 0, implementationContainer, keep, 0);
  WriteParameter("Spice Prefix", FSpicePrefix, 0, implementationContainer, keep, 0);
  WriteParameter("Netlist", FNetlist, 0, implementationContainer, keep, 0);
  if (!edited) return;

  for (std::size_t i = 0; i < edited->Count(); ++i) {
    const TParameterData& record = *edited->GetData(i);
    if (!record.FComponentLevel)
      WriteParameter(record.FName, record.FValue, record.FValueType, implementationContainer, keep,
                     record.FReadOnlyFlags);
  }
  TSchParameterList again;
  component.GetParameters(again);
  for (std::size_t i = 0; i < edited->Count(); ++i) {
    const TParameterData& record = *edited->GetData(i);
    if (record.FComponentLevel)
      WriteParameter(record.FName, record.FValue, record.FValueType, componentContainer, again,
                     record.FReadOnlyFlags);
  }
}

void TImplementationData::LoadModelFile(const std::string& modelName, const std::string& location,
                                        bool useLibraryModel, bool isSubcircuit) {
  TModelFileRequest request{modelName, location, useLibraryModel, isSubcircuit, FSourceLibraryName, FLibraryReference};
  // The request is compared, not the answer: the file found for the location "Any" (empty) or a full path never
  // has the location's text as its name. A request that found nothing is looked up again, so that a model added to
  // a library meanwhile is found.
  if (FModelFile && FModelFile->Lines() && FModelFileRequest == request) return;
  FModelFile.reset();
  FModelFile = std::make_unique<TModelFile>(location, isSubcircuit ? "CKT" : "MDL", FSourceLibraryName,
                                            FLibraryReference, useLibraryModel, modelName);
  FModelFileRequest = std::move(request);
}

std::unique_ptr<TParameterDataList> TImplementationData::CopyParameters() const {
  auto copy = std::make_unique<TParameterDataList>();
  copy->AddCopiesOf(&FLoadedParameters);
  return copy;
}

void TImplementationData::SetEditedParameters(const TParameterDataList& list) {
  auto edited = std::make_unique<TParameterDataList>();
  edited->AddCopiesOf(&list);
  FEditedParameters = std::move(edited);
}

}  // namespace tolvex
