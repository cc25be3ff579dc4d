// The design interfaces over a compiled design of the workspace stand-in.
#include "DesignObjects.h"

#include <cstring>

namespace fenwarden {

using namespace tolvex;

namespace {

std::atomic<std::int32_t> LiveDesigns{0};

template <class I>
HRESULT32 Answer(I* self, const TGUID& own, const TGUID& iid, void** object) {
  if (!object) return E_NOINTERFACE32;
  if (iid == own || iid == IID_IInterface) {
    *object = self;
    self->AddRef();
    return S_OK32;
  }
  *object = nullptr;
  return E_NOINTERFACE32;
}

// Hands out Object with a reference for the caller; an index outside the list gives none and a failure.
template <class I, class T>
HRESULT32 HandOut(I** out, std::int32_t index, std::size_t count, T&& object) {
  if (!out) return E_FAIL32;
  *out = nullptr;
  if (index < 0 || static_cast<std::size_t>(index) >= count) return E_FAIL32;
  I* result = &object(static_cast<std::size_t>(index));
  result->AddRef();
  *out = result;
  return S_OK32;
}

HRESULT32 CopyCount(std::int32_t* count, std::size_t value) {
  if (!count) return E_FAIL32;
  *count = static_cast<std::int32_t>(value);
  return S_OK32;
}

}  // namespace

HRESULT32 CopyDesignText(const std::string& text, char* buffer, std::int32_t bufferSize) {
  if (!buffer || bufferSize <= 0) return E_FAIL32;
  std::size_t n = std::min(text.size(), static_cast<std::size_t>(bufferSize - 1));
  // Back to the start of a character when the cut falls inside one.
  if (n < text.size())
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return S_OK32;
}

// ---- pin items -------------------------------------------------------------------------------------------------

const TDesignPinData& TDesignPin::Data() const { return FDesign.Data().Pins[FIndex]; }
HRESULT32 TOLVEX_STDCALL TDesignPin::QueryInterface(const TGUID& iid, void** object) {
  return Answer(static_cast<IDesignPin*>(this), IID_IDesignPin, iid, object);
}
std::uint32_t TOLVEX_STDCALL TDesignPin::AddRef() { return FDesign.AddRef(); }
std::uint32_t TOLVEX_STDCALL TDesignPin::Release() { return FDesign.Release(); }

HRESULT32 TOLVEX_STDCALL TDesignPin::GetLocation(std::int32_t* x, std::int32_t* y) {
  if (!x || !y) return E_FAIL32;
  *x = Data().X;
  *y = Data().Y;
  return S_OK32;
}
HRESULT32 TOLVEX_STDCALL TDesignPin::GetPinName(char* b, std::int32_t n) { return CopyDesignText(Data().PinName, b, n); }
HRESULT32 TOLVEX_STDCALL TDesignPin::GetPinNumber(char* b, std::int32_t n) {
  return CopyDesignText(Data().PinNumber, b, n);
}
HRESULT32 TOLVEX_STDCALL TDesignPin::GetName(char* b, std::int32_t n) { return CopyDesignText(Data().Name, b, n); }
HRESULT32 TOLVEX_STDCALL TDesignPin::GetLinkedNetName(char* b, std::int32_t n, TBool32* present) {
  if (!present) return E_FAIL32;
  *present = Data().LinkedNetName ? TRUE32 : FALSE32;
  return CopyDesignText(Data().LinkedNetName.value_or(""), b, n);
}
HRESULT32 TOLVEX_STDCALL TDesignPin::GetNet(IDesignNet** net) {
  if (!net) return E_FAIL32;
  *net = nullptr;
  if (Data().Net == kNoNet) return S_OK32;
  *net = &FDesign.Net(Data().Net);
  (*net)->AddRef();
  return S_OK32;
}
HRESULT32 TOLVEX_STDCALL TDesignPin::GetComponentDesignator(char* b, std::int32_t n) {
  return CopyDesignText(Data().ComponentDesignator, b, n);
}

// ---- nets ------------------------------------------------------------------------------------------------------

const TDesignNetData& TDesignNet::Data() const { return FDesign.Data().Nets[FIndex]; }
HRESULT32 TOLVEX_STDCALL TDesignNet::QueryInterface(const TGUID& iid, void** object) {
  return Answer(static_cast<IDesignNet*>(this), IID_IDesignNet, iid, object);
}
std::uint32_t TOLVEX_STDCALL TDesignNet::AddRef() { return FDesign.AddRef(); }
std::uint32_t TOLVEX_STDCALL TDesignNet::Release() { return FDesign.Release(); }

HRESULT32 TOLVEX_STDCALL TDesignNet::GetNumberText(char* b, std::int32_t n) {
  return CopyDesignText(Data().Number, b, n);
}
HRESULT32 TOLVEX_STDCALL TDesignNet::GetPinCount(std::int32_t* count) { return CopyCount(count, Data().Pins.size()); }
HRESULT32 TOLVEX_STDCALL TDesignNet::GetPin(std::int32_t index, IDesignPin** pin) {
  const auto& pins = Data().Pins;
  return HandOut(pin, index, pins.size(), [&](std::size_t i) -> TDesignPin& { return FDesign.Pin(pins[i]); });
}
HRESULT32 TOLVEX_STDCALL TDesignNet::GetMemberCount(std::int32_t group, std::int32_t* count) {
  if (group < 0 || group >= kNamingGroupCount) return E_FAIL32;
  return CopyCount(count, Data().Groups[group].size());
}
HRESULT32 TOLVEX_STDCALL TDesignNet::GetMemberName(std::int32_t group, std::int32_t index, char* b, std::int32_t n) {
  if (group < 0 || group >= kNamingGroupCount) return E_FAIL32;
  const auto& names = Data().Groups[group];
  if (index < 0 || static_cast<std::size_t>(index) >= names.size()) return E_FAIL32;
  return CopyDesignText(names[index], b, n);
}

// ---- components and documents ----------------------------------------------------------------------------------

const TDesignComponentData& TDesignComponent::Data() const { return FDesign.Data().Components[FIndex]; }
HRESULT32 TOLVEX_STDCALL TDesignComponent::QueryInterface(const TGUID& iid, void** object) {
  return Answer(static_cast<IDesignComponent*>(this), IID_IDesignComponent, iid, object);
}
std::uint32_t TOLVEX_STDCALL TDesignComponent::AddRef() { return FDesign.AddRef(); }
std::uint32_t TOLVEX_STDCALL TDesignComponent::Release() { return FDesign.Release(); }

HRESULT32 TOLVEX_STDCALL TDesignComponent::GetDesignator(char* b, std::int32_t n) {
  return CopyDesignText(Data().Designator, b, n);
}
HRESULT32 TOLVEX_STDCALL TDesignComponent::GetPinCount(std::int32_t* count) {
  return CopyCount(count, Data().Pins.size());
}
HRESULT32 TOLVEX_STDCALL TDesignComponent::GetPin(std::int32_t index, IDesignPin** pin) {
  const auto& pins = Data().Pins;
  return HandOut(pin, index, pins.size(), [&](std::size_t i) -> TDesignPin& { return FDesign.Pin(pins[i]); });
}

HRESULT32 TOLVEX_STDCALL TDesignDocument::QueryInterface(const TGUID& iid, void** object) {
  return Answer(static_cast<IDesignDocument*>(this), IID_IDesignDocument, iid, object);
}
std::uint32_t TOLVEX_STDCALL TDesignDocument::AddRef() { return FDesign.AddRef(); }
std::uint32_t TOLVEX_STDCALL TDesignDocument::Release() { return FDesign.Release(); }

HRESULT32 TOLVEX_STDCALL TDesignDocument::GetComponentCount(std::int32_t* count) {
  return CopyCount(count, FData.Components.size());
}
HRESULT32 TOLVEX_STDCALL TDesignDocument::GetComponent(std::int32_t index, IDesignComponent** component) {
  const auto& components = FData.Components;
  return HandOut(component, index, components.size(),
                 [&](std::size_t i) -> TDesignComponent& { return FDesign.Component(components[i]); });
}

// ---- the design ------------------------------------------------------------------------------------------------

TDesign* TDesign::Create(TDesignData data) { return new TDesign(std::move(data)); }

TDesign::TDesign(TDesignData data) : FData(std::move(data)) {
  for (std::size_t i = 0; i < FData.Pins.size(); ++i) FPins.emplace_back(*this, i);
  for (std::size_t i = 0; i < FData.Nets.size(); ++i) FNets.emplace_back(*this, i);
  for (std::size_t i = 0; i < FData.Components.size(); ++i) FComponents.emplace_back(*this, i);
  for (int list = 0; list < 2; ++list)
    for (const TDesignDocumentData& document : FData.Lists[list]) FDocuments[list].emplace_back(*this, document);
  if (FData.Flattened) FFlattened.emplace_back(*this, *FData.Flattened);
  ++LiveDesigns;
}

TDesign::~TDesign() { --LiveDesigns; }

std::uint32_t TDesign::Release() {
  const std::uint32_t count = --FRefs;
  if (count == 0) delete this;
  return count;
}

std::int32_t TDesign::LiveCount() { return LiveDesigns; }

}  // namespace fenwarden
