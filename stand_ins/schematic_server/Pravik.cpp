// The schematic editor server stand-in, Pravik.dll: the exports the plug-in binds by name, over documents loaded
// from JSON files, and the private exports through which the stand-in host and tests load, save and address them.
#include "Pravik.h"

#include <atomic>
#include <cstring>
#include <deque>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <type_traits>

#include "SchDocumentFile.h"
#include "SchModel.h"
#include "SchPainter.h"
#include "host/SchServerApi.h"
#include "support/TextUtils.h"

using namespace tolvex;
using namespace pravik;

namespace {

TPravikObserver Observer = nullptr;
void* ObserverContext = nullptr;
// Scripted answers of the user's interactive edits; an empty optional is a cancelled edit.
std::deque<std::optional<TJson>> UserEdits;

void Tell(const char* event, THandle handle, const std::string& detail) {
  if (Observer) Observer(ObserverContext, event, handle, detail.c_str());
}

// Every export answers its failure value rather than let an exception reach the caller.
template <class R, class F>
R Guarded(R failure, F body) {
  try {
    return body();
  } catch (...) {
    return failure;
  }
}

// At most Size - 1 bytes and a NUL. A cut never splits a UTF-8 sequence, so the text the plug-in writes back is
// still whole characters.
void PutText(char* buffer, std::size_t size, const std::string& text) {
  if (!buffer || size == 0) return;
  std::size_t n = text.size();
  if (n > size - 1) {
    n = size - 1;
    for (int back = 0; back < 3 && n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80; ++back) --n;
  }
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

// A client's text, never read past its buffer: one without a NUL ends at the buffer's last byte.
std::string GetText(const char* buffer, std::size_t size) {
  std::size_t n = strnlen(buffer, size);
  if (n == size) n = size - 1;
  return std::string(buffer, n);
}

// Either direction of a text field between the record and the object.
void Exchange(std::uint8_t mode, char* field, std::string& value, std::size_t size = kSchTextBufferSize) {
  if (mode == kSchQueryModeRead)
    PutText(field, size, value);
  else
    value = GetText(field, size);
}

template <class T>
void Exchange(std::uint8_t mode, T& field, T& value) {
  if (mode == kSchQueryModeRead)
    field = value;
  else
    value = field;
}

bool ValidMode(std::uint8_t mode) { return mode == kSchQueryModeRead || mode == kSchQueryModeWrite; }

template <class... P>
bool AllSet(P*... pointers) {
  return ((pointers != nullptr) && ...);
}

// The graphical attributes of a component, pin or parameter, and its kind code.
TGrafAttributes* GrafOf(THandle handle, std::uint8_t& kind) {
  if (TComponent* component = Find<TComponent>(handle)) {
    kind = kObjectIdComponent;
    return &component->G;
  }
  if (TPin* pin = Find<TPin>(handle)) {
    kind = kSchObjectIdPin;
    return &pin->G;
  }
  if (TParameter* parameter = Find<TParameter>(handle)) {
    kind = kSchObjectIdParameter;
    return &parameter->G;
  }
  return nullptr;
}

TIterator* FindIterator(THandle handle, TEntryKind kind) {
  return static_cast<TIterator*>(Registry().Find(handle, kind));
}

THandle CreateIteratorOver(TEntryKind kind, THandle source, std::vector<THandle> members) {
  Server().Iterators.push_back(std::make_unique<TIterator>(kind, source, std::move(members)));
  return Server().Iterators.back()->Handle();
}

void DestroyIteratorOf(THandle handle, TEntryKind kind) {
  auto& iterators = Server().Iterators;
  for (auto it = iterators.begin(); it != iterators.end(); ++it)
    if ((*it)->Handle() == handle && (*it)->Kind == kind) {
      iterators.erase(it);
      return;
    }
}

THandle CreateGroupIteratorOver(THandle container) {
  const TContainer* c = Find<TContainer>(container);
  return c ? CreateIteratorOver(ekGroupIterator, container, c->IteratedMembers()) : 0;
}

// The part painter: the host shows it as an external form (IExternalForm) and it paints the part last drawn into
// it; tests read what was drawn into it through IPravikPainter. Its identity (IInterface) is the IPravikPainter.
class TPainter final : public IPravikPainter, public IExternalForm {
 public:
  static std::set<TPainter*>& Live() {
    static std::set<TPainter*> live;
    return live;
  }
  // The live painter that Pointer is one of the interfaces of; null for any other pointer, which is not looked at.
  static TPainter* Of(const IInterface* pointer) {
    for (TPainter* painter : Live())
      if (pointer == static_cast<IInterface*>(static_cast<IPravikPainter*>(painter)) ||
          pointer == static_cast<IInterface*>(static_cast<IExternalForm*>(painter)))
        return painter;
    return nullptr;
  }
  TPainter() { Live().insert(this); }

  HRESULT32 TOLVEX_STDCALL QueryInterface(const TGUID& iid, void** object) override {
    if (!object) return E_NOINTERFACE32;
    if (iid == IID_IInterface || iid == IID_IPravikPainter) {
      *object = static_cast<IPravikPainter*>(this);
      AddRef();
      return S_OK32;
    }
    if (iid == IID_IExternalForm) {
      *object = static_cast<IExternalForm*>(this);
      AddRef();
      return S_OK32;
    }
    *object = nullptr;
    return E_NOINTERFACE32;
  }
  std::uint32_t TOLVEX_STDCALL AddRef() override { return ++FRefs; }
  std::uint32_t TOLVEX_STDCALL Release() override {
    const std::uint32_t refs = --FRefs;
    if (refs == 0) {
      Live().erase(this);
      delete this;
    }
    return refs;
  }
  std::int32_t TOLVEX_STDCALL GetDrawingCount() override { return static_cast<std::int32_t>(FDrawings.size()); }
  std::int32_t TOLVEX_STDCALL GetDrawing(std::int32_t index, char* buffer, std::int32_t bufferSize) override {
    if (index < 0 || static_cast<std::size_t>(index) >= FDrawings.size()) return -1;
    const std::string& drawing = FDrawings[static_cast<std::size_t>(index)];
    if (buffer && bufferSize > 0) PutText(buffer, static_cast<std::size_t>(bufferSize), drawing);
    return static_cast<std::int32_t>(drawing.size());
  }

  void Draw(const TComponent& component, std::int32_t part) {
    std::string pins;
    for (const auto& pin : component.Container.Pins)
      if (pin->G.OwnerPart == 0 || pin->G.OwnerPart == part) pins += (pins.empty() ? "" : ",") + pin->P.Designator;
    std::array<std::int32_t, 4> rect{};
    BoundingRectangle(component.Handle(), rect);
    FDrawings.push_back("component=\"" + component.DesignatorText() + "\" part=" + std::to_string(part) + " pins=\"" +
                        pins + "\" rect=" + std::to_string(rect[0]) + "," + std::to_string(rect[1]) + "," +
                        std::to_string(rect[2]) + "," + std::to_string(rect[3]));
    FComponent = component.Handle();
    FPart = part;
    FName = PartDrawingName(component, part);
  }

  std::int32_t TOLVEX_STDCALL GetName(char* buffer, std::int32_t bufferSize) override {
    return Guarded<std::int32_t>(-1, [&] {
      if (buffer && bufferSize > 0) PutText(buffer, static_cast<std::size_t>(bufferSize), FName);
      return static_cast<std::int32_t>(FName.size());
    });
  }

  // What the component looks like now: a part changed since it was drawn shows its change.
  HRESULT32 TOLVEX_STDCALL Paint(IDrawingSurface* surface, std::int32_t width, std::int32_t height) override {
    return Guarded(E_UNEXPECTED32, [&] {
      if (!surface || width < 0 || height < 0) return E_FAIL32;
      if (const TComponent* component = Find<TComponent>(FComponent)) PaintPart(*component, FPart, *surface, width, height);
      return S_OK32;
    });
  }

 private:
  ~TPainter() = default;
  std::atomic<std::uint32_t> FRefs{1};
  std::vector<std::string> FDrawings;
  // The part last drawn into the painter: what it shows.
  THandle FComponent = 0;
  std::int32_t FPart = 0;
  std::string FName;
};

}  // namespace

#define PRAVIK_EXPORT TOLVEX_EXTERN_C TOLVEX_EXPORT

PRAVIK_EXPORT const char* TOLVEX_STDCALL Pravik_ModuleName() { return "Pravik.dll"; }

// ---- Record queries ----------------------------------------------------------------------------------------------

PRAVIK_EXPORT std::int32_t TOLVEX_STDCALL SchAPIQuery_GrafObject(std::uint8_t mode, THandle handle,
                                                                 TSchGrafObjectRecord* record) {
  return Guarded(kSchQueryFailure, [&] {
    std::uint8_t kind = kSchObjectIdNone;
    TGrafAttributes* g = GrafOf(handle, kind);
    if (!record || !ValidMode(mode) || !g) return kSchQueryFailure;
    // The kind is the server's to tell; a write does not change it.
    if (mode == kSchQueryModeRead) record->FObjectId = kind;
    Exchange(mode, record->FLocationX, g->Location[0]);
    Exchange(mode, record->FLocationY, g->Location[1]);
    Exchange(mode, record->AttributeB, g->AttributeB);
    Exchange(mode, record->AttributeA, g->AttributeA);
    Exchange(mode, record->FOwnerPartId, g->OwnerPart);
    Exchange(mode, record->AttributeC, g->AttributeC);
    return kSchQuerySuccess;
  });
}

PRAVIK_EXPORT std::int32_t TOLVEX_STDCALL SchAPIQuery_WorkspaceObject(std::uint8_t mode, THandle handle,
                                                                      TSchWorkspaceObjectRecord* record) {
  return Guarded(kSchQueryFailure, [&] {
    std::uint8_t kind = kSchObjectIdNone;
    TGrafAttributes* g = GrafOf(handle, kind);
    if (!record || !ValidMode(mode) || !g) return kSchQueryFailure;
    for (std::size_t i = 0; i < kSchWorkspaceAttributeSize; ++i) Exchange(mode, record->AttributeD[i], g->Workspace[i]);
    return kSchQuerySuccess;
  });
}

PRAVIK_EXPORT std::int32_t TOLVEX_STDCALL SchApiQuery_SchComponent(std::uint8_t mode, THandle handle,
                                                                   TSchComponentRecord* r) {
  return Guarded(kSchQueryFailure, [&] {
    TComponent* component = Find<TComponent>(handle);
    if (!r || !ValidMode(mode) || !component ||
        !AllSet(r->S1, r->S2, r->FSourceLibraryName, r->FLibraryReference, r->S5, r->S6))
      return kSchQueryFailure;
    // A component has at least one part; a write that says otherwise is refused whole.
    if (mode == kSchQueryModeWrite && r->FPartCount < 1) return kSchQueryFailure;
    TGrafAttributes& g = component->G;
    TComponentAttributes& c = component->C;
    Exchange(mode, r->S1, c.S1);
    Exchange(mode, r->FLocationX, g.Location[0]);
    Exchange(mode, r->FLocationY, g.Location[1]);
    Exchange(mode, r->E1, c.E1);
    Exchange(mode, r->E2, c.E2);
    Exchange(mode, r->AttributeB, g.AttributeB);
    Exchange(mode, r->I1, c.I1);
    Exchange(mode, r->I2, c.I2);
    Exchange(mode, r->E3, c.E3);
    Exchange(mode, r->AttributeA, g.AttributeA);
    Exchange(mode, r->E4, c.E4);
    Exchange(mode, r->E5, c.E5);
    Exchange(mode, r->E6, c.E6);
    Exchange(mode, r->E7, c.E7);
    Exchange(mode, r->S2, c.S2);
    Exchange(mode, r->FSourceLibraryName, c.SourceLibrary);
    Exchange(mode, r->FLibraryReference, c.LibraryReference);
    Exchange(mode, r->S5, c.S5);
    Exchange(mode, r->S6, c.S6);
    Exchange(mode, r->I3, c.I3);
    Exchange(mode, r->FPartCount, c.PartCount);
    // The two handles are the server's: a write leaves the designator parameter and the container where they are.
    if (mode == kSchQueryModeRead) {
      r->FDesignatorParameter = component->Designator ? component->Designator->Handle() : 0;
      r->FContainer = component->Container.Handle();
    }
    Exchange(mode, r->I4, c.I4);
    return kSchQuerySuccess;
  });
}

PRAVIK_EXPORT std::int32_t TOLVEX_STDCALL SchAPIQuery_ComponentDesignatorLocks(std::uint8_t mode, THandle handle,
                                                                               TSchDesignatorLocksRecord* record) {
  return Guarded(kSchQueryFailure, [&] {
    TComponent* component = Find<TComponent>(handle);
    if (!record || !ValidMode(mode) || !component) return kSchQueryFailure;
    Exchange(mode, record->LockFlag1, component->C.Locks[0]);
    Exchange(mode, record->LockFlag2, component->C.Locks[1]);
    return kSchQuerySuccess;
  });
}

PRAVIK_EXPORT std::int32_t TOLVEX_STDCALL SchAPIQuery_Pin(std::uint8_t mode, THandle handle, TSchPinRecord* r) {
  return Guarded(kSchQueryFailure, [&] {
    TPin* pin = Find<TPin>(handle);
    if (!r || !ValidMode(mode) || !pin ||
        !AllSet(r->PinString1, r->PinString2, r->FDesignator, r->FName, r->PinString3, r->PinString4))
      return kSchQueryFailure;
    TGrafAttributes& g = pin->G;
    TPinAttributes& p = pin->P;
    Exchange(mode, r->FLocationX, g.Location[0]);
    Exchange(mode, r->FLocationY, g.Location[1]);
    Exchange(mode, r->AttributeB, g.AttributeB);
    Exchange(mode, r->AttributeA, g.AttributeA);
    Exchange(mode, r->FOwnerPartId, g.OwnerPart);
    Exchange(mode, r->AttributeC, g.AttributeC);
    Exchange(mode, r->PinInteger1, p.PinInteger1);
    Exchange(mode, r->PinByte, p.PinByte);
    Exchange(mode, r->PinString1, p.PinString1);
    Exchange(mode, r->PinString2, p.PinString2);
    Exchange(mode, r->FDesignator, p.Designator);
    Exchange(mode, r->FName, p.Name);
    Exchange(mode, r->PinAttributeByte2, p.AttributeBytes[1]);
    Exchange(mode, r->PinAttributeByte3, p.AttributeBytes[2]);
    Exchange(mode, r->PinAttributeByte4, p.AttributeBytes[3]);
    Exchange(mode, r->FPinLength, p.Length);
    Exchange(mode, r->FOrientation, p.Orientation);
    Exchange(mode, r->PinAttributeByte1, p.AttributeBytes[0]);
    Exchange(mode, r->PinAttributeByte5, p.AttributeBytes[4]);
    Exchange(mode, r->PinAttributeByte6, p.AttributeBytes[5]);
    Exchange(mode, r->PinAttributeByte7, p.AttributeBytes[6]);
    Exchange(mode, r->PinAttributeByte8, p.AttributeBytes[7]);
    Exchange(mode, r->PinString3, p.PinString3);
    Exchange(mode, r->PinString4, p.PinString4);
    Exchange(mode, r->PinInteger2, p.PinInteger2);
    return kSchQuerySuccess;
  });
}

PRAVIK_EXPORT std::int32_t TOLVEX_STDCALL SchApiQuery_SchParameter(std::uint8_t mode, THandle handle,
                                                                   TSchParameterRecord* r) {
  return Guarded(kSchQueryFailure, [&] {
    TParameter* parameter = Find<TParameter>(handle);
    if (!r || !ValidMode(mode) || !parameter || !AllSet(r->FName, r->FValue, r->ParameterString, r->T1, r->T2))
      return kSchQueryFailure;
    TGrafAttributes& g = parameter->G;
    TParameterAttributes& p = parameter->R;
    Exchange(mode, r->FLocationX, g.Location[0]);
    Exchange(mode, r->FLocationY, g.Location[1]);
    Exchange(mode, r->AttributeB, g.AttributeB);
    Exchange(mode, r->AttributeA, g.AttributeA);
    Exchange(mode, r->ParameterInteger, p.ParameterInteger);
    Exchange(mode, r->ParameterByte1, p.ParameterBytes[0]);
    Exchange(mode, r->FValueType, p.ValueType);
    Exchange(mode, r->FName, p.Name);
    Exchange(mode, r->FValue, p.Value);
    Exchange(mode, r->ParameterByte2, p.ParameterBytes[1]);
    Exchange(mode, r->FReadOnlyFlags, p.ReadOnly);
    Exchange(mode, r->ParameterString, p.ParameterString);
    // Clients write the two attribute strings back as a single blank each: to this server
    // that means "as they were", so an edit never wipes them.
    if (mode == kSchQueryModeRead || std::string_view(r->T1) != " ") Exchange(mode, r->T1, p.T1);
    if (mode == kSchQueryModeRead || std::string_view(r->T2) != " ") Exchange(mode, r->T2, p.T2);
    Exchange(mode, r->ParameterByte3, p.ParameterBytes[2]);
    Exchange(mode, r->ParameterByte4, p.ParameterBytes[3]);
    return kSchQuerySuccess;
  });
}

// The unique id and the calculated value are the server's own: they can be read, never written.
PRAVIK_EXPORT std::int32_t TOLVEX_STDCALL SchApiQuery_UniqueId(std::uint8_t mode, THandle handle, char* text) {
  return Guarded(kSchQueryFailure, [&] {
    const TParameter* parameter = Find<TParameter>(handle);
    if (!text || mode != kSchQueryModeRead || !parameter) return kSchQueryFailure;
    PutText(text, kSchTextBufferSize, parameter->UniqueIdText());
    return kSchQuerySuccess;
  });
}

PRAVIK_EXPORT std::int32_t TOLVEX_STDCALL SchApiQuery_SchParameterCalculatedValue(std::uint8_t mode, THandle handle,
                                                                                  char* text) {
  return Guarded(kSchQueryFailure, [&] {
    const TParameter* parameter = Find<TParameter>(handle);
    if (!text || mode != kSchQueryModeRead || !parameter) return kSchQueryFailure;
    PutText(text, kSchTextBufferSize, CalculatedValue(*parameter));
    return kSchQuerySuccess;
  });
}

PRAVIK_EXPORT std::int32_t TOLVEX_STDCALL SchApiQuery_Implementation(std::uint8_t mode, THandle handle,
                                                                     TSchImplementationRecord* r) {
  return Guarded(kSchQueryFailure, [&] {
    TImplementation* implementation = Find<TImplementation>(handle);
    if (!r || !ValidMode(mode) || !implementation || !AllSet(r->FModelName, r->K1, r->FDescription, r->FPortMap))
      return kSchQueryFailure;
    TImplementationAttributes& i = implementation->I;
    Exchange(mode, r->FModelName, i.ModelName);
    Exchange(mode, r->K1, i.K1);
    // Whether the library has the model is the server's to know; a write leaves it, and the container, alone.
    if (mode == kSchQueryModeRead) r->FLibraryModelAvailable = i.LibraryModelAvailable;
    Exchange(mode, r->FUseLibraryModel, i.UseLibraryModel);
    Exchange(mode, r->FDescription, i.Description);
    if (mode == kSchQueryModeRead) r->FParameterContainer = implementation->Parameters.Handle();
    Exchange(mode, r->FPortMap, i.PortMap, kSchLongBufferSize);
    Exchange(mode, r->K2, i.K2);
    return kSchQuerySuccess;
  });
}

// More links than any implementation needs; a larger count is taken for garbage rather than allocated.
constexpr std::int32_t kMaxDatafileLinks = 4096;

PRAVIK_EXPORT std::int32_t TOLVEX_STDCALL SchApiQuery_ImplementationDatafileCount(std::uint8_t mode, THandle handle,
                                                                                  TSchDatafileCountRecord* record) {
  return Guarded(kSchQueryFailure, [&] {
    TImplementation* implementation = Find<TImplementation>(handle);
    if (!record || !ValidMode(mode) || !implementation) return kSchQueryFailure;
    if (mode == kSchQueryModeRead) {
      record->Count = static_cast<std::int32_t>(implementation->Links.size());
      return kSchQuerySuccess;
    }
    // Writing the count announces the links that follow: the list gets that many, the ones kept as they were and
    // new ones empty until their record is written.
    if (record->Count < 0 || record->Count > kMaxDatafileLinks) return kSchQueryFailure;
    implementation->Links.resize(static_cast<std::size_t>(record->Count));
    return kSchQuerySuccess;
  });
}

PRAVIK_EXPORT std::int32_t TOLVEX_STDCALL SchApiQuery_ImplementationDatafile(std::uint8_t mode, THandle handle,
                                                                             TSchDatafileRecord* r) {
  return Guarded(kSchQueryFailure, [&] {
    TImplementation* implementation = Find<TImplementation>(handle);
    if (!r || !ValidMode(mode) || !implementation || !AllSet(r->FLocation, r->FEntityName, r->FKind))
      return kSchQueryFailure;
    if (r->Index < 0 || static_cast<std::size_t>(r->Index) >= implementation->Links.size()) return kSchQueryFailure;
    TDatafileLink& link = implementation->Links[static_cast<std::size_t>(r->Index)];
    Exchange(mode, r->FLocation, link.Location, kSchLongBufferSize);
    Exchange(mode, r->FEntityName, link.EntityName);
    Exchange(mode, r->FKind, link.Kind);
    return kSchQuerySuccess;
  });
}

// ---- Objects, containers and iterators ---------------------------------------------------------------------------

PRAVIK_EXPORT std::uint8_t TOLVEX_STDCALL SchAPI_GetObjectIdFromObjectHandle(THandle handle) {
  return Guarded(kSchObjectIdNone, [&]() -> std::uint8_t {
    if (Find<TPin>(handle)) return kSchObjectIdPin;
    if (Find<TParameter>(handle)) return kSchObjectIdParameter;
    if (Find<TComponent>(handle)) return kObjectIdComponent;
    if (Find<TImplementation>(handle)) return kObjectIdImplementation;
    return kSchObjectIdNone;
  });
}

// The stand-in's containers hold no nested groups, so both group iterators yield the same members.
PRAVIK_EXPORT THandle TOLVEX_STDCALL SchAPI_CreateSimpleGroupIterator(THandle container) {
  return Guarded<THandle>(0, [&] { return CreateGroupIteratorOver(container); });
}

PRAVIK_EXPORT THandle TOLVEX_STDCALL SchAPI_CreateGroupIterator(THandle container) {
  return Guarded<THandle>(0, [&] { return CreateGroupIteratorOver(container); });
}

PRAVIK_EXPORT THandle TOLVEX_STDCALL SchAPI_GetFirstGroupObject(THandle iterator) {
  return Guarded<THandle>(0, [&]() -> THandle {
    TIterator* it = FindIterator(iterator, ekGroupIterator);
    return it ? it->First() : 0;
  });
}

PRAVIK_EXPORT THandle TOLVEX_STDCALL SchAPI_GetNextGroupObject(THandle iterator) {
  return Guarded<THandle>(0, [&]() -> THandle {
    TIterator* it = FindIterator(iterator, ekGroupIterator);
    return it ? it->Next() : 0;
  });
}

PRAVIK_EXPORT void TOLVEX_STDCALL SchAPI_DestroyGroupIterator(THandle iterator) {
  Guarded(0, [&] {
    DestroyIteratorOf(iterator, ekGroupIterator);
    return 0;
  });
}

PRAVIK_EXPORT THandle TOLVEX_STDCALL SchAPI_CreateIterator(THandle document, std::uint8_t kind) {
  return Guarded<THandle>(0, [&]() -> THandle {
    const TDocument* d = Find<TDocument>(document);
    return d ? CreateIteratorOver(ekDocumentIterator, document, DocumentMembers(*d, kind)) : 0;
  });
}

PRAVIK_EXPORT THandle TOLVEX_STDCALL SchAPI_GetFirstObject(THandle iterator) {
  return Guarded<THandle>(0, [&]() -> THandle {
    TIterator* it = FindIterator(iterator, ekDocumentIterator);
    return it ? it->First() : 0;
  });
}

PRAVIK_EXPORT THandle TOLVEX_STDCALL SchAPI_GetNextObject(THandle iterator) {
  return Guarded<THandle>(0, [&]() -> THandle {
    TIterator* it = FindIterator(iterator, ekDocumentIterator);
    return it ? it->Next() : 0;
  });
}

PRAVIK_EXPORT void TOLVEX_STDCALL SchAPI_DestroyIterator(THandle iterator) {
  Guarded(0, [&] {
    DestroyIteratorOf(iterator, ekDocumentIterator);
    return 0;
  });
}

PRAVIK_EXPORT TBool32 TOLVEX_STDCALL SchAPI_IsCurrentLibraryComponent(THandle component, THandle* document) {
  return Guarded(FALSE32, [&] {
    if (document) *document = 0;
    const TComponent* c = Find<TComponent>(component);
    if (!c || !c->IsCurrentLibraryComponent()) return FALSE32;
    if (document) *document = c->Document->Handle();
    return TRUE32;
  });
}

PRAVIK_EXPORT THandle TOLVEX_STDCALL SchAPI_GetDocumentHandleFromFileName(const char* fileName) {
  return Guarded<THandle>(0, [&]() -> THandle {
    if (!fileName || !*fileName) return 0;
    const std::string wanted = NormalisePath(fileName);
    for (const auto& document : Server().Documents)
      if (document->NormalisedName == wanted) return document->Handle();
    // A host on a case-blind file system may spell the name differently.
    for (const auto& document : Server().Documents)
      if (SameText(document->NormalisedName, wanted)) return document->Handle();
    return 0;
  });
}

PRAVIK_EXPORT THandle TOLVEX_STDCALL SchAPI_GetCurrentLibraryComponent(THandle document) {
  return Guarded<THandle>(0, [&]() -> THandle {
    const TDocument* d = Find<TDocument>(document);
    return d && d->Library && d->Current ? d->Current->Handle() : 0;
  });
}

PRAVIK_EXPORT THandle TOLVEX_STDCALL SchAPI_CreateObjectEx(std::uint8_t kind) {
  return Guarded<THandle>(0, [&]() -> THandle {
    if (kind != kSchObjectIdParameter) return 0;
    auto parameter = std::make_unique<TParameter>();
    // A new object keeps its id: it is written to the file with it.
    parameter->R.UniqueId = parameter->UniqueIdText();
    const THandle handle = parameter->Handle();
    Server().FreeItems.push_back(std::move(parameter));
    return handle;
  });
}

PRAVIK_EXPORT void TOLVEX_STDCALL SchAPI_DestroyObject(THandle handle) {
  Guarded(0, [&] {
    // Pins and parameters only; the designator parameter goes with its component, so Detach gives nothing then.
    if (TItem* item = FindItem(handle)) Server().Detach(item);
    return 0;
  });
}

PRAVIK_EXPORT std::int32_t TOLVEX_STDCALL SchApiQuery_AddObjectToContainer(THandle container, THandle object) {
  return Guarded(kSchQueryFailure, [&] {
    TContainer* c = Find<TContainer>(container);
    TItem* item = FindItem(object);
    if (!c || !item) return kSchQueryFailure;
    if (Find<TPin>(object) && !c->AcceptsPins()) return kSchQueryFailure;
    if (item->Owner == c) return kSchQuerySuccess;
    // An object in another container moves here: it is never in two places.
    std::unique_ptr<TItem> taken = Server().Detach(item);
    if (!taken) return kSchQueryFailure;
    c->Put(std::move(taken));
    return kSchQuerySuccess;
  });
}

PRAVIK_EXPORT std::int32_t TOLVEX_STDCALL SchApiQuery_DeleteObjectFromContainer(THandle container, THandle object) {
  return Guarded(kSchQueryFailure, [&] {
    TContainer* c = Find<TContainer>(container);
    TItem* item = FindItem(object);
    if (!c || !item || item->Owner != c) return kSchQueryFailure;
    // Out of the container the object lives on, free, until it is added elsewhere or destroyed.
    Server().FreeItems.push_back(c->Take(item));
    return kSchQuerySuccess;
  });
}

PRAVIK_EXPORT TBool32 TOLVEX_STDCALL SchAPI_ImportFromUser(THandle handle) {
  return Guarded(FALSE32, [&] {
    std::uint8_t kind;
    if (!GrafOf(handle, kind) && !Find<TImplementation>(handle)) return FALSE32;
    std::optional<TJson> edit;
    if (!UserEdits.empty()) {
      edit = std::move(UserEdits.front());
      UserEdits.pop_front();
    }
    if (!edit) {
      Tell("import", handle, "cancelled");
      return FALSE32;
    }
    std::string error;
    if (!ApplyEdit(handle, *edit, error)) {
      Tell("import", handle, "refused: " + error);
      return FALSE32;
    }
    Tell("import", handle, "accepted");
    return TRUE32;
  });
}

PRAVIK_EXPORT void TOLVEX_STDCALL SchAPI_RedrawObject(THandle handle) {
  Guarded(0, [&] {
    std::uint8_t kind;
    const bool known = GrafOf(handle, kind) || Find<TImplementation>(handle);
    if (known) {
      ++Server().Redraws[handle];
      ++Server().RedrawTotal;
    }
    Tell("redraw", handle, known ? "" : "unknown");
    return 0;
  });
}

// The rectangle goes out as left, bottom, right, top; a handle without a place leaves the caller's values.
PRAVIK_EXPORT void TOLVEX_STDCALL SchAPI_GetObjectBoundingRectangle(THandle handle, std::int32_t* a, std::int32_t* b,
                                                                    std::int32_t* c, std::int32_t* d) {
  Guarded(0, [&] {
    std::array<std::int32_t, 4> rect{};
    if (!AllSet(a, b, c, d) || !BoundingRectangle(handle, rect)) return 0;
    *a = rect[0];
    *b = rect[1];
    *c = rect[2];
    *d = rect[3];
    return 0;
  });
}

PRAVIK_EXPORT IInterface* TOLVEX_STDCALL SchAPI_CreatePainter() {
  return Guarded<IInterface*>(nullptr, [] { return static_cast<IInterface*>(static_cast<IPravikPainter*>(new TPainter())); });
}

PRAVIK_EXPORT void TOLVEX_STDCALL SchAPI_DrawComponentByHandle(IInterface* painter, THandle component,
                                                               std::int32_t partNumber) {
  Guarded(0, [&] {
    // Only a painter of this server is drawn into, through any of its interfaces; any other pointer is not even
    // looked at.
    TPainter* target = TPainter::Of(painter);
    if (!target) return 0;
    const TComponent* c = Find<TComponent>(component);
    if (!c || partNumber < 1 || partNumber > c->C.PartCount) return 0;
    target->Draw(*c, partNumber);
    Tell("draw", component, "part=" + std::to_string(partNumber));
    return 0;
  });
}

// ---- Private exports for the stand-in host and tests -------------------------------------------------------------

PRAVIK_EXPORT THandle TOLVEX_STDCALL Pravik_OpenDocument(const char* path, char* error, std::int32_t errorSize) {
  std::string message;
  const THandle handle = Guarded<THandle>(0, [&]() -> THandle {
    if (!path || !*path) {
      message = "no file name given";
      return 0;
    }
    const std::string normalised = NormalisePath(path);
    for (const auto& document : Server().Documents)
      if (document->NormalisedName == normalised) return document->Handle();
    std::unique_ptr<TDocument> document = LoadDocument(path, message);
    if (!document) return 0;
    Server().Documents.push_back(std::move(document));
    return Server().Documents.back()->Handle();
  });
  if (!handle && message.empty()) message = std::string("cannot load ") + (path ? path : "") + ": out of memory";
  if (error && errorSize > 0) PutText(error, static_cast<std::size_t>(errorSize), handle ? std::string() : message);
  return handle;
}

PRAVIK_EXPORT TBool32 TOLVEX_STDCALL Pravik_SaveDocument(THandle document, const char* path, char* error,
                                                         std::int32_t errorSize) {
  std::string message;
  const TBool32 saved = Guarded(FALSE32, [&] {
    const TDocument* d = Find<TDocument>(document);
    if (!d) {
      message = "no such document";
      return FALSE32;
    }
    return SaveDocument(*d, path && *path ? std::string(path) : d->FileName, message) ? TRUE32 : FALSE32;
  });
  if (!saved && message.empty()) message = "cannot save: out of memory";
  if (error && errorSize > 0) PutText(error, static_cast<std::size_t>(errorSize), saved ? std::string() : message);
  return saved;
}

PRAVIK_EXPORT TBool32 TOLVEX_STDCALL Pravik_FindComponent(THandle document, const char* designator, THandle* component,
                                                          THandle* implementation) {
  return Guarded(FALSE32, [&] {
    if (component) *component = 0;
    if (implementation) *implementation = 0;
    const TDocument* d = Find<TDocument>(document);
    if (!d || !designator) return FALSE32;
    for (const auto& c : d->Components)
      if (c->Designator && SameText(c->Designator->R.Value, designator)) {
        if (component) *component = c->Handle();
        if (implementation && !c->Implementations.empty()) *implementation = c->Implementations.front()->Handle();
        return TRUE32;
      }
    return FALSE32;
  });
}

PRAVIK_EXPORT THandle TOLVEX_STDCALL Pravik_GetImplementation(THandle component, std::int32_t index) {
  return Guarded<THandle>(0, [&]() -> THandle {
    const TComponent* c = Find<TComponent>(component);
    if (!c || index < 0 || static_cast<std::size_t>(index) >= c->Implementations.size()) return 0;
    return c->Implementations[static_cast<std::size_t>(index)]->Handle();
  });
}

PRAVIK_EXPORT std::int32_t TOLVEX_STDCALL Pravik_GetDocumentCount() {
  return static_cast<std::int32_t>(Server().Documents.size());
}

PRAVIK_EXPORT THandle TOLVEX_STDCALL Pravik_GetDocument(std::int32_t index, char* path, std::int32_t pathSize) {
  return Guarded<THandle>(0, [&]() -> THandle {
    if (index < 0 || static_cast<std::size_t>(index) >= Server().Documents.size()) {
      if (path && pathSize > 0) *path = '\0';
      return 0;
    }
    const TDocument& document = *Server().Documents[static_cast<std::size_t>(index)];
    if (path && pathSize > 0) PutText(path, static_cast<std::size_t>(pathSize), document.FileName);
    return document.Handle();
  });
}

PRAVIK_EXPORT TBool32 TOLVEX_STDCALL Pravik_SetCurrentLibraryComponent(THandle component) {
  return Guarded(FALSE32, [&] {
    TComponent* c = Find<TComponent>(component);
    if (!c || !c->Document || !c->Document->Library) return FALSE32;
    c->Document->Current = c;
    return TRUE32;
  });
}

PRAVIK_EXPORT void TOLVEX_STDCALL Pravik_CloseAll() {
  Guarded(0, [] {
    Server().CloseAll();
    UserEdits.clear();
    return 0;
  });
}

PRAVIK_EXPORT TBool32 TOLVEX_STDCALL Pravik_QueueUserEdit(const char* edit) {
  return Guarded(FALSE32, [&] {
    if (!edit) return FALSE32;
    TJson value = TJson::parse(edit, nullptr, false);
    if (value.is_object())
      UserEdits.emplace_back(std::move(value));
    else if (value.is_boolean() && !value.get<bool>())
      UserEdits.emplace_back(std::nullopt);
    else
      return FALSE32;
    return TRUE32;
  });
}

PRAVIK_EXPORT std::int32_t TOLVEX_STDCALL Pravik_GetRedrawCount(THandle handle) {
  if (handle == 0) return Server().RedrawTotal;
  auto it = Server().Redraws.find(handle);
  return it == Server().Redraws.end() ? 0 : it->second;
}

PRAVIK_EXPORT void TOLVEX_STDCALL Pravik_SetObserver(TPravikObserver observer, void* context) {
  Observer = observer;
  ObserverContext = context;
}

PRAVIK_EXPORT void TOLVEX_STDCALL Pravik_SetSaveFailure(const char* stage) {
  Guarded(0, [&] {
    SetSaveFailure(stage ? stage : "");
    return 0;
  });
}

// Every export has exactly the signature the plug-in binds, and every private one the type the host uses.
#define PRAVIK_SAME(name, type) static_assert(std::is_same_v<decltype(&name), type>, #name)
PRAVIK_SAME(SchAPIQuery_GrafObject, tolvex::TSchAPIQuery_GrafObject);
PRAVIK_SAME(SchAPIQuery_WorkspaceObject, tolvex::TSchAPIQuery_WorkspaceObject);
PRAVIK_SAME(SchApiQuery_SchComponent, tolvex::TSchApiQuery_SchComponent);
PRAVIK_SAME(SchAPIQuery_ComponentDesignatorLocks, tolvex::TSchAPIQuery_ComponentDesignatorLocks);
PRAVIK_SAME(SchAPIQuery_Pin, tolvex::TSchAPIQuery_Pin);
PRAVIK_SAME(SchApiQuery_SchParameter, tolvex::TSchApiQuery_SchParameter);
PRAVIK_SAME(SchApiQuery_UniqueId, tolvex::TSchApiQuery_UniqueId);
PRAVIK_SAME(SchApiQuery_SchParameterCalculatedValue, tolvex::TSchApiQuery_SchParameterCalculatedValue);
PRAVIK_SAME(SchApiQuery_Implementation, tolvex::TSchApiQuery_Implementation);
PRAVIK_SAME(SchApiQuery_ImplementationDatafileCount, tolvex::TSchApiQuery_ImplementationDatafileCount);
PRAVIK_SAME(SchApiQuery_ImplementationDatafile, tolvex::TSchApiQuery_ImplementationDatafile);
PRAVIK_SAME(SchAPI_GetObjectIdFromObjectHandle, tolvex::TSchAPI_GetObjectIdFromObjectHandle);
PRAVIK_SAME(SchAPI_CreateSimpleGroupIterator, tolvex::TSchAPI_CreateSimpleGroupIterator);
PRAVIK_SAME(SchAPI_CreateGroupIterator, tolvex::TSchAPI_CreateGroupIterator);
PRAVIK_SAME(SchAPI_GetFirstGroupObject, tolvex::TSchAPI_GetFirstGroupObject);
PRAVIK_SAME(SchAPI_GetNextGroupObject, tolvex::TSchAPI_GetNextGroupObject);
PRAVIK_SAME(SchAPI_DestroyGroupIterator, tolvex::TSchAPI_DestroyGroupIterator);
PRAVIK_SAME(SchAPI_CreateIterator, tolvex::TSchAPI_CreateIterator);
PRAVIK_SAME(SchAPI_GetFirstObject, tolvex::TSchAPI_GetFirstObject);
PRAVIK_SAME(SchAPI_GetNextObject, tolvex::TSchAPI_GetNextObject);
PRAVIK_SAME(SchAPI_DestroyIterator, tolvex::TSchAPI_DestroyIterator);
PRAVIK_SAME(SchAPI_IsCurrentLibraryComponent, tolvex::TSchAPI_IsCurrentLibraryComponent);
PRAVIK_SAME(SchAPI_GetDocumentHandleFromFileName, tolvex::TSchAPI_GetDocumentHandleFromFileName);
PRAVIK_SAME(SchAPI_GetCurrentLibraryComponent, tolvex::TSchAPI_GetCurrentLibraryComponent);
PRAVIK_SAME(SchAPI_CreateObjectEx, tolvex::TSchAPI_CreateObjectEx);
PRAVIK_SAME(SchAPI_DestroyObject, tolvex::TSchAPI_DestroyObject);
PRAVIK_SAME(SchApiQuery_AddObjectToContainer, tolvex::TSchApiQuery_AddObjectToContainer);
PRAVIK_SAME(SchApiQuery_DeleteObjectFromContainer, tolvex::TSchApiQuery_DeleteObjectFromContainer);
PRAVIK_SAME(SchAPI_ImportFromUser, tolvex::TSchAPI_ImportFromUser);
PRAVIK_SAME(SchAPI_RedrawObject, tolvex::TSchAPI_RedrawObject);
PRAVIK_SAME(SchAPI_GetObjectBoundingRectangle, tolvex::TSchAPI_GetObjectBoundingRectangle);
PRAVIK_SAME(SchAPI_CreatePainter, tolvex::TSchAPI_CreatePainter);
PRAVIK_SAME(SchAPI_DrawComponentByHandle, tolvex::TSchAPI_DrawComponentByHandle);
PRAVIK_SAME(Pravik_OpenDocument, TPravik_OpenDocument);
PRAVIK_SAME(Pravik_SaveDocument, TPravik_SaveDocument);
PRAVIK_SAME(Pravik_FindComponent, TPravik_FindComponent);
PRAVIK_SAME(Pravik_GetImplementation, TPravik_GetImplementation);
PRAVIK_SAME(Pravik_GetDocumentCount, TPravik_GetDocumentCount);
PRAVIK_SAME(Pravik_GetDocument, TPravik_GetDocument);
PRAVIK_SAME(Pravik_SetCurrentLibraryComponent, TPravik_SetCurrentLibraryComponent);
PRAVIK_SAME(Pravik_CloseAll, TPravik_CloseAll);
PRAVIK_SAME(Pravik_QueueUserEdit, TPravik_QueueUserEdit);
PRAVIK_SAME(Pravik_GetRedrawCount, TPravik_GetRedrawCount);
PRAVIK_SAME(Pravik_SetObserver, TPravik_SetObserver);
PRAVIK_SAME(Pravik_SetSaveFailure, TPravik_SetSaveFailure);
#undef PRAVIK_SAME
