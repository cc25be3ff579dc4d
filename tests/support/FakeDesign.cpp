// The in-memory compiled design's operations.
#include "support/FakeDesign.h"

#include <cstring>

namespace tolvex::test {

namespace {
HRESULT32 Text(const std::string& text, char* buffer, std::int32_t size) {
  if (!buffer || size <= 0) return E_FAIL32;
  const std::size_t n = std::min(text.size(), static_cast<std::size_t>(size - 1));
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return S_OK32;
}

template <class T, class I>
HRESULT32 Item(const std::vector<T*>& items, std::int32_t index, I** out) {
  if (!out) return E_FAIL32;
  *out = nullptr;
  if (index < 0 || index >= static_cast<std::int32_t>(items.size())) return E_FAIL32;
  *out = items[static_cast<std::size_t>(index)];
  (*out)->AddRef();
  return S_OK32;
}
}  // namespace

HRESULT32 TOLVEX_STDCALL FakeDesignPin::GetLocation(std::int32_t* x, std::int32_t* y) {
  *x = X;
  *y = Y;
  return S_OK32;
}
HRESULT32 TOLVEX_STDCALL FakeDesignPin::GetPinName(char* b, std::int32_t n) { return Text(PinName, b, n); }
HRESULT32 TOLVEX_STDCALL FakeDesignPin::GetPinNumber(char* b, std::int32_t n) { return Text(PinNumber, b, n); }
HRESULT32 TOLVEX_STDCALL FakeDesignPin::GetName(char* b, std::int32_t n) { return Text(Name, b, n); }
HRESULT32 TOLVEX_STDCALL FakeDesignPin::GetLinkedNetName(char* b, std::int32_t n, TBool32* present) {
  *present = HasLinkedNet ? TRUE32 : FALSE32;
  return Text(HasLinkedNet ? LinkedNetName : std::string(), b, n);
}
HRESULT32 TOLVEX_STDCALL FakeDesignPin::GetNet(IDesignNet** net) {
  *net = Handout(static_cast<IDesignNet*>(Net));
  return S_OK32;
}
HRESULT32 TOLVEX_STDCALL FakeDesignPin::GetComponentDesignator(char* b, std::int32_t n) {
  return Text(ComponentDesignator, b, n);
}

HRESULT32 TOLVEX_STDCALL FakeDesignNet::GetNumberText(char* b, std::int32_t n) { return Text(Number, b, n); }
HRESULT32 TOLVEX_STDCALL FakeDesignNet::GetPinCount(std::int32_t* count) {
  *count = static_cast<std::int32_t>(Pins.size());
  return S_OK32;
}
HRESULT32 TOLVEX_STDCALL FakeDesignNet::GetPin(std::int32_t index, IDesignPin** pin) { return Item(Pins, index, pin); }
HRESULT32 TOLVEX_STDCALL FakeDesignNet::GetMemberCount(std::int32_t group, std::int32_t* count) {
  if (group < 0 || group > 3) return E_FAIL32;
  *count = static_cast<std::int32_t>(Groups[static_cast<std::size_t>(group)].size());
  return S_OK32;
}
HRESULT32 TOLVEX_STDCALL FakeDesignNet::GetMemberName(std::int32_t group, std::int32_t index, char* b,
                                                      std::int32_t n) {
  if (group < 0 || group > 3) return E_FAIL32;
  const auto& members = Groups[static_cast<std::size_t>(group)];
  if (index < 0 || index >= static_cast<std::int32_t>(members.size())) return E_FAIL32;
  return Text(members[static_cast<std::size_t>(index)], b, n);
}

HRESULT32 TOLVEX_STDCALL FakeDesignComponent::GetDesignator(char* b, std::int32_t n) { return Text(Designator, b, n); }
HRESULT32 TOLVEX_STDCALL FakeDesignComponent::GetPinCount(std::int32_t* count) {
  *count = static_cast<std::int32_t>(Pins.size());
  return S_OK32;
}
HRESULT32 TOLVEX_STDCALL FakeDesignComponent::GetPin(std::int32_t index, IDesignPin** pin) {
  return Item(Pins, index, pin);
}

HRESULT32 TOLVEX_STDCALL FakeDesignDocument::GetComponentCount(std::int32_t* count) {
  *count = static_cast<std::int32_t>(Components.size());
  return S_OK32;
}
HRESULT32 TOLVEX_STDCALL FakeDesignDocument::GetComponent(std::int32_t index, IDesignComponent** component) {
  return Item(Components, index, component);
}

}  // namespace tolvex::test
