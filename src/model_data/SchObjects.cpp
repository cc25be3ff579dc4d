// Schematic wrappers: records in and out of the server, and the look-ups built on them.
#include "model_data/SchObjects.h"

#include <cstring>
#include <vector>

#include "host/HostApi.h"
#include "host/SchServerApi.h"
#include "model_data/ImplementationData.h"
#include "support/TextUtils.h"

namespace tolvex {

namespace {

// One exchange buffer for a text field: filled from the field before a call (cut to the
// buffer, with its NUL), copied back after a read that succeeded. Short texts live on the
// stack; the port map and data-file locations share one long buffer, as the server's
// interface has it, so that reading an implementation costs no 64,000-byte allocation.
class TTextBuffer {
 public:
  explicit TTextBuffer(const std::string& text, std::size_t size = kSchTextBufferSize)
      : FData(size == kSchTextBufferSize ? FShort : LongBuffer()), FSize(size) {
    const std::size_t n = std::min(text.size(), size - 1);
    std::memcpy(FData, text.data(), n);
    FData[n] = '\0';
  }
  TTextBuffer(const TTextBuffer&) = delete;
  TTextBuffer& operator=(const TTextBuffer&) = delete;
  char* Data() { return FData; }
  std::string Text() const { return std::string(FData, strnlen(FData, FSize)); }

 private:
  static char* LongBuffer() {
    static std::vector<char> buffer(kSchLongBufferSize);
    return buffer.data();
  }
  char FShort[kSchTextBufferSize];
  char* FData;
  std::size_t FSize;
};

// A server that never stops answering success could otherwise keep a read going for ever.
constexpr std::int32_t kMaxDatafileLinks = 4096;

const TSchServerApi& Server() { return SchServer(); }

// Whether the host's current document is a schematic library (kind "SchLib" or "Lib"),
// and that document's server handle.
bool CurrentDocumentIsLibrary(THandle& document) {
  document = 0;
  auto client = ModuleClient();
  if (!client) return false;
  auto view = TInterfacePtr<IServerDocumentView>::Attach(client->GetCurrentView());
  if (!view) return false;
  auto doc = TInterfacePtr<IServerDocument>::Attach(view->GetOwnerDocument());
  if (!doc) return false;
  const char* kind = doc->GetKind();
  const std::string k = kind ? kind : "";
  if (!SameText(k, "SchLib") && !SameText(k, "Lib")) return false;
  const char* file = doc->GetFileName();
  document = Server().GetDocumentHandleFromFileName(file ? file : "");
  return true;
}

// Visits the members of a container through a group iterator, destroying it afterwards.
template <class F>
void ForEachGroupMember(THandle iterator, F&& visit) {
  if (!iterator) return;
  for (THandle h = Server().GetFirstGroupObject(iterator); h; h = Server().GetNextGroupObject(iterator))
    if (!visit(h)) break;
  Server().DestroyGroupIterator(iterator);
}

template <class F>
void ForEachDocumentObject(THandle document, std::uint8_t kind, F&& visit) {
  const THandle iterator = Server().CreateIterator(document, kind);
  if (!iterator) return;
  for (THandle h = Server().GetFirstObject(iterator); h; h = Server().GetNextObject(iterator))
    if (!visit(h)) break;
  Server().DestroyIterator(iterator);
}

}  // namespace

std::int32_t TSchObject::QueryBase(std::uint8_t mode) {
  TSchGrafObjectRecord g;
  g.FObjectId = FObjectId;
  g.FLocationX = FLocationX;
  g.FLocationY = FLocationY;
  g.AttributeB = FAttributeB;
  g.AttributeA = FAttributeA;
  g.FOwnerPartId = FOwnerPartId;
  g.AttributeC = FAttributeC;
  const std::int32_t graphical = Server().QueryGrafObject(mode, FHandle, g);
  if (graphical == kSchQueryFailure) return kSchQueryFailure;
  if (mode == kSchQueryModeRead) {
    FObjectId = g.FObjectId;
    FLocationX = g.FLocationX;
    FLocationY = g.FLocationY;
    FAttributeB = g.AttributeB;
    FAttributeA = g.AttributeA;
    FOwnerPartId = g.FOwnerPartId;
    FAttributeC = g.AttributeC;
  }
  TSchWorkspaceObjectRecord w;
  std::memcpy(w.AttributeD, FAttributeD, sizeof FAttributeD);
  const std::int32_t workspace = Server().QueryWorkspaceObject(mode, FHandle, w);
  if (mode == kSchQueryModeRead && workspace != kSchQueryFailure)
    std::memcpy(FAttributeD, w.AttributeD, sizeof FAttributeD);
  return workspace;
}

std::int32_t TSchObject::Query(std::uint8_t mode) { return QueryBase(mode); }

void TSchObject::GetBoundingRectangle(std::int32_t& a, std::int32_t& b, std::int32_t& c, std::int32_t& d) const {
  a = b = c = d = -1;
  if (FHandle) Server().GetObjectBoundingRectangle(FHandle, a, b, c, d);
}

bool TSchObject::EditFromUser() {
  if (!FHandle) return false;
  if (!Server().ImportFromUser(FHandle)) return false;
  Query(kSchQueryModeRead);
  return true;
}

void TSchObject::Redraw() const {
  if (FHandle) Server().RedrawObject(FHandle);
}

std::vector<std::string> TSchPinList::GetDesignators(std::int32_t part) const {
  std::vector<std::string> out;
  for (const auto& pin : FItems)
    if (pin->FOwnerPartId == part || pin->FOwnerPartId == 0) out.push_back(pin->FDesignator);
  return out;
}

std::vector<std::pair<std::string, TSchPin*>> TSchPinList::GetDisplayTexts(std::int32_t part) const {
  std::vector<std::pair<std::string, TSchPin*>> out;
  for (const auto& pin : FItems)
    if (pin->FOwnerPartId == part || pin->FOwnerPartId == 0)
      out.emplace_back(pin->FDesignator + " (" + pin->FName + ")", pin.get());
  return out;
}

TSchParameter* TSchParameterList::FindByName(const std::string& name) const {
  for (const auto& p : FItems)
    if (p->FName == name) return p.get();
  return nullptr;
}

std::int32_t TSchComponent::Query(std::uint8_t mode) {
  TSchDesignatorLocksRecord locks;
  locks.LockFlag1 = FDesignatorLock1;
  locks.LockFlag2 = FDesignatorLock2;
  if (Server().QueryComponentDesignatorLocks(mode, FHandle, locks) != kSchQueryFailure &&
      mode == kSchQueryModeRead) {
    FDesignatorLock1 = locks.LockFlag1;
    FDesignatorLock2 = locks.LockFlag2;
  }
  TTextBuffer s1(FS1), s2(FS2), source(FSourceLibraryName), reference(FLibraryReference), s5(FS5), s6(FS6);
  TSchComponentRecord c;
  c.S1 = s1.Data();
  c.FLocationX = FLocationX;
  c.FLocationY = FLocationY;
  c.E1 = FE1;
  c.E2 = FE2;
  c.AttributeB = FAttributeB;
  c.I1 = FI1;
  c.I2 = FI2;
  c.E3 = FE3;
  c.AttributeA = FAttributeA;
  c.E4 = FE4;
  c.E5 = FE5;
  c.E6 = FE6;
  c.E7 = FE7;
  c.S2 = s2.Data();
  c.FSourceLibraryName = source.Data();
  c.FLibraryReference = reference.Data();
  c.S5 = s5.Data();
  c.S6 = s6.Data();
  c.I3 = FI3;
  c.FPartCount = FPartCount;
  c.FDesignatorParameter = FDesignatorParameter;
  c.FContainer = FContainer;
  c.I4 = FI4;
  const std::int32_t result = Server().QuerySchComponent(mode, FHandle, c);
  if (mode == kSchQueryModeRead && result != kSchQueryFailure) {
    FS1 = s1.Text();
    FLocationX = c.FLocationX;
    FLocationY = c.FLocationY;
    FE1 = c.E1;
    FE2 = c.E2;
    FAttributeB = c.AttributeB;
    FI1 = c.I1;
    FI2 = c.I2;
    FE3 = c.E3;
    FAttributeA = c.AttributeA;
    FE4 = c.E4;
    FE5 = c.E5;
    FE6 = c.E6;
    FE7 = c.E7;
    FS2 = s2.Text();
    FSourceLibraryName = source.Text();
    FLibraryReference = reference.Text();
    FS5 = s5.Text();
    FS6 = s6.Text();
    FI3 = c.I3;
    FPartCount = c.FPartCount;
    FDesignatorParameter = c.FDesignatorParameter;
    FContainer = c.FContainer;
    FI4 = c.I4;
  }
  return result;
}

std::string TSchComponent::GetDesignatorText() const {
  if (!FDesignatorParameter) return {};
  TSchParameter designator(FDesignatorParameter);
  designator.Query(kSchQueryModeRead);
  return CutText(designator.FValue, kShortStringLength);
}

void TSchComponent::GetParameters(TSchParameterList& list) const {
  if (!FContainer) return;
  ForEachGroupMember(Server().CreateSimpleGroupIterator(FContainer), [&](THandle h) {
    if (Server().GetObjectIdFromObjectHandle(h) == kSchObjectIdParameter) {
      auto parameter = std::make_unique<TSchParameter>(h);
      parameter->Query(kSchQueryModeRead);
      list.Add(std::move(parameter));
    }
    return true;
  });
}

void TSchComponent::GetPinHandles(std::vector<THandle>& handles) const {
  if (FContainer) {
    ForEachGroupMember(Server().CreateSimpleGroupIterator(FContainer), [&](THandle h) {
      if (Server().GetObjectIdFromObjectHandle(h) == kSchObjectIdPin) handles.push_back(h);
      return true;
    });
  }
  THandle document = 0;
  if (Server().IsCurrentLibraryComponent(FHandle, document)) {
    ForEachDocumentObject(document, kSchObjectIdPin, [&](THandle h) {
      if (Server().GetObjectIdFromObjectHandle(h) == kSchObjectIdPin) handles.push_back(h);
      return true;
    });
  }
}

std::int32_t TSchPin::Query(std::uint8_t mode) {
  QueryBase(mode);
  TTextBuffer s1(FPinString1), s2(FPinString2), designator(FDesignator), name(FName), s3(FPinString3),
      s4(FPinString4);
  TSchPinRecord p;
  p.FLocationX = FLocationX;
  p.FLocationY = FLocationY;
  p.AttributeB = FAttributeB;
  p.AttributeA = FAttributeA;
  p.FOwnerPartId = FOwnerPartId;
  p.AttributeC = FAttributeC;
  p.PinInteger1 = FPinInteger1;
  p.PinByte = FPinByte;
  p.PinString1 = s1.Data();
  p.PinString2 = s2.Data();
  p.FDesignator = designator.Data();
  p.FName = name.Data();
  p.PinAttributeByte2 = FPinByte2;
  p.PinAttributeByte3 = FPinByte3;
  p.PinAttributeByte4 = FPinByte4;
  p.FPinLength = FPinLength;
  p.FOrientation = FOrientation;
  p.PinAttributeByte1 = FPinByte1;
  p.PinAttributeByte5 = FPinByte5;
  p.PinAttributeByte6 = FPinByte6;
  p.PinAttributeByte7 = FPinByte7;
  p.PinAttributeByte8 = FPinByte8;
  p.PinString3 = s3.Data();
  p.PinString4 = s4.Data();
  p.PinInteger2 = FPinInteger2;
  const std::int32_t result = Server().QueryPin(mode, FHandle, p);
  if (mode == kSchQueryModeRead && result != kSchQueryFailure) {
    FLocationX = p.FLocationX;
    FLocationY = p.FLocationY;
    FAttributeB = p.AttributeB;
    FAttributeA = p.AttributeA;
    FOwnerPartId = p.FOwnerPartId;
    FAttributeC = p.AttributeC;
    FPinInteger1 = p.PinInteger1;
    FPinByte = p.PinByte;
    FPinString1 = s1.Text();
    FPinString2 = s2.Text();
    FDesignator = designator.Text();
    FName = name.Text();
    FPinByte2 = p.PinAttributeByte2;
    FPinByte3 = p.PinAttributeByte3;
    FPinByte4 = p.PinAttributeByte4;
    FPinLength = p.FPinLength;
    FOrientation = p.FOrientation;
    FPinByte1 = p.PinAttributeByte1;
    FPinByte5 = p.PinAttributeByte5;
    FPinByte6 = p.PinAttributeByte6;
    FPinByte7 = p.PinAttributeByte7;
    FPinByte8 = p.PinAttributeByte8;
    FPinString3 = s3.Text();
    FPinString4 = s4.Text();
    FPinInteger2 = p.PinInteger2;
  }
  return result;
}

std::int32_t TSchParameter::Query(std::uint8_t mode) {
  QueryBase(mode);
  const bool writing = mode == kSchQueryModeWrite;
  // On the server's side the two attribute strings are only ever written as single blanks.
  TTextBuffer name(FName), value(FValue), text(FParameterString), t1(writing ? " " : FT1), t2(writing ? " " : FT2);
  TSchParameterRecord r;
  r.FLocationX = FLocationX;
  r.FLocationY = FLocationY;
  r.AttributeB = FAttributeB;
  r.AttributeA = FAttributeA;
  r.ParameterInteger = FParameterInteger;
  r.ParameterByte1 = FParameterByte1;
  r.FValueType = FValueType;
  r.FName = name.Data();
  r.FValue = value.Data();
  r.ParameterByte2 = FParameterByte2;
  r.FReadOnlyFlags = FReadOnlyFlags;
  r.ParameterString = text.Data();
  r.T1 = t1.Data();
  r.T2 = t2.Data();
  r.ParameterByte3 = FParameterByte3;
  r.ParameterByte4 = FParameterByte4;
  const std::int32_t result = Server().QuerySchParameter(mode, FHandle, r);
  if (!writing && result != kSchQueryFailure) {
    FLocationX = r.FLocationX;
    FLocationY = r.FLocationY;
    FAttributeB = r.AttributeB;
    FAttributeA = r.AttributeA;
    FParameterInteger = r.ParameterInteger;
    FParameterByte1 = r.ParameterByte1;
    FValueType = r.FValueType;
    FName = name.Text();
    FValue = value.Text();
    FParameterByte2 = r.ParameterByte2;
    FReadOnlyFlags = r.FReadOnlyFlags;
    FParameterString = text.Text();
    FT1 = t1.Text();
    FT2 = t2.Text();
    FParameterByte3 = r.ParameterByte3;
    FParameterByte4 = r.ParameterByte4;
  }
  if (!writing) {
    TTextBuffer uniqueId(""), calculated("");
    if (Server().QueryUniqueId(kSchQueryModeRead, FHandle, uniqueId.Data()) != kSchQueryFailure)
      FUniqueId = uniqueId.Text();
    if (Server().QuerySchParameterCalculatedValue(kSchQueryModeRead, FHandle, calculated.Data()) !=
        kSchQueryFailure)
      FCalculatedValue = calculated.Text();
  }
  return result;
}

void TComponentImplementation::AddDatafileLink(const std::string& entityName, const std::string& location,
                                               const std::string& kind) {
  FDatafileLinks.push_back(std::make_unique<TModelDatafileLink>(entityName, kind, location));
}

std::int32_t TComponentImplementation::Query(std::uint8_t mode) {
  const bool reading = mode == kSchQueryModeRead;
  TTextBuffer model(FModelName), k1(FK1), description(FDescription), portMap(FPortMap, kSchLongBufferSize);
  TSchImplementationRecord i;
  i.FModelName = model.Data();
  i.K1 = k1.Data();
  i.FLibraryModelAvailable = FLibraryModelAvailable;
  i.FUseLibraryModel = FUseLibraryModel;
  i.FDescription = description.Data();
  i.FParameterContainer = FParameterContainer;
  i.FPortMap = portMap.Data();
  i.K2 = FK2;
  std::int32_t result = Server().QueryImplementation(mode, FHandle, i);
  if (result == kSchQueryFailure) return result;
  if (reading) {
    FModelName = model.Text();
    FK1 = k1.Text();
    FLibraryModelAvailable = i.FLibraryModelAvailable;
    FUseLibraryModel = i.FUseLibraryModel;
    FDescription = description.Text();
    FParameterContainer = i.FParameterContainer;
    FPortMap = portMap.Text();
    FK2 = i.K2;
    TSchDatafileCountRecord count;
    result = Server().QueryImplementationDatafileCount(mode, FHandle, count);
    if (result == kSchQueryFailure) return result;
    ClearDatafileLinks();
    const std::int32_t links = std::min(count.Count, kMaxDatafileLinks);
    for (std::int32_t index = 0; index < links; ++index) {
      TTextBuffer location("", kSchLongBufferSize), entity(""), kind("");
      TSchDatafileRecord f;
      f.Index = index;
      f.FLocation = location.Data();
      f.FEntityName = entity.Data();
      f.FKind = kind.Data();
      result = Server().QueryImplementationDatafile(mode, FHandle, f);
      if (result == kSchQueryFailure) break;
      AddDatafileLink(entity.Text(), location.Text(), kind.Text());
    }
    return result;
  }
  TSchDatafileCountRecord count;
  count.Count = static_cast<std::int32_t>(FDatafileLinks.size());
  result = Server().QueryImplementationDatafileCount(mode, FHandle, count);
  if (result == kSchQueryFailure) return result;
  for (std::size_t index = 0; index < FDatafileLinks.size(); ++index) {
    const TModelDatafileLink& link = *FDatafileLinks[index];
    TTextBuffer location(link.FLocation, kSchLongBufferSize), entity(link.FEntityName), kind(link.FKind);
    TSchDatafileRecord f;
    f.Index = static_cast<std::int32_t>(index);
    f.FLocation = location.Data();
    f.FEntityName = entity.Data();
    f.FKind = kind.Data();
    result = Server().QueryImplementationDatafile(mode, FHandle, f);
    if (result == kSchQueryFailure) break;
  }
  return result;
}

std::unique_ptr<TSchParameter> TComponentImplementation::FindImplementationParameter(const std::string& name) const {
  auto wrapper = std::make_unique<TSchParameter>();
  bool found = false;
  ForEachGroupMember(Server().CreateGroupIterator(FParameterContainer), [&](THandle h) {
    wrapper->SetHandle(h);
    wrapper->Query(kSchQueryModeRead);
    found = SameText(wrapper->FName, name);
    return !found;
  });
  if (!found) wrapper.reset();
  return wrapper;
}

std::string ReadSpicePrefix(const TComponentImplementation* implementation) {
  if (!implementation) return {};
  auto prefix = implementation->FindImplementationParameter("Spice Prefix");
  return prefix ? prefix->FValue : std::string();
}

std::unique_ptr<TSchParameter> FindComponentParameter(const TSchComponent& component, const std::string& name) {
  TSchParameterList parameters;
  component.GetParameters(parameters);
  for (std::size_t i = 0; i < parameters.Count(); ++i) {
    if (SameText(parameters.Get(i)->FName, name)) {
      auto found = std::make_unique<TSchParameter>(*parameters.Get(i));
      return found;
    }
  }
  return nullptr;
}

std::unique_ptr<TSchPin> FindPinByDesignator(const TSchComponent& component, std::int32_t partNumber,
                                             const std::string& designator) {
  THandle libraryDocument = 0;
  const bool inLibrary = CurrentDocumentIsLibrary(libraryDocument);
  auto pin = std::make_unique<TSchPin>();
  bool accepted = false;
  auto consider = [&](THandle h) {
    if (Server().GetObjectIdFromObjectHandle(h) != kSchObjectIdPin) return true;
    pin->SetHandle(h);
    pin->Query(kSchQueryModeRead);
    accepted = (pin->FOwnerPartId == partNumber || pin->FOwnerPartId == 0) && SameText(pin->FDesignator, designator);
    return !accepted;
  };
  if (inLibrary) {
    if (component.FContainer) {
      if (Server().GetCurrentLibraryComponent(libraryDocument) == component.FHandle)
        ForEachDocumentObject(libraryDocument, kSchObjectIdPin, consider);
      else
        ForEachGroupMember(Server().CreateGroupIterator(component.FContainer), consider);
    }
  } else {
    ForEachGroupMember(Server().CreateGroupIterator(component.FContainer), consider);
  }
  if (!accepted) pin.reset();
  return pin;
}

std::unique_ptr<TSchPin> TComponentImplementation::FindPinForPort(const TSchComponent* component,
                                                                  std::int32_t partNumber,
                                                                  const TParameterDataList* parameters,
                                                                  const std::string& port) const {
  if (!component) return nullptr;
  std::string text = FPortMap;
  if (parameters) {
    const TParameterData* entry = parameters->FindData("Port Map");
    text = entry ? entry->FValue : std::string();
  }
  for (;;) {
    const std::size_t open = text.find('(');
    if (open == std::string::npos) break;
    text.erase(0, open + 1);
    const std::size_t colon = text.find(':');
    const std::string pin = Trim(text.substr(0, colon));
    text.erase(0, colon == std::string::npos ? text.size() : colon + 1);
    const std::size_t close = text.find(')');
    const std::string mapped = Trim(text.substr(0, close));
    text.erase(0, close == std::string::npos ? text.size() : close + 1);
    if (SameText(mapped, port))
      if (auto found = FindPinByDesignator(*component, partNumber, pin)) return found;
  }
  return nullptr;
}

}  // namespace tolvex
