// A compiled design in memory for unit tests: documents, components, pin items and nets.
// The test owns every object; links between them are plain pointers.
#pragma once

#include <array>
#include <deque>
#include <string>
#include <vector>

#include "support/FakeHost.h"

namespace tolvex::test {

class FakeDesignNet;

class FakeDesignPin final : public TFakeInterface<IDesignPin, IID_IDesignPin> {
 public:
  FakeDesignPin() : TFakeInterface("FakeDesignPin") {}
  std::int32_t X = 0, Y = 0;
  std::string PinName, PinNumber, Name, ComponentDesignator;
  bool HasLinkedNet = false;
  std::string LinkedNetName;
  FakeDesignNet* Net = nullptr;

  HRESULT32 TOLVEX_STDCALL GetLocation(std::int32_t* x, std::int32_t* y) override;
  HRESULT32 TOLVEX_STDCALL GetPinName(char* b, std::int32_t n) override;
  HRESULT32 TOLVEX_STDCALL GetPinNumber(char* b, std::int32_t n) override;
  HRESULT32 TOLVEX_STDCALL GetName(char* b, std::int32_t n) override;
  HRESULT32 TOLVEX_STDCALL GetLinkedNetName(char* b, std::int32_t n, TBool32* present) override;
  HRESULT32 TOLVEX_STDCALL GetNet(IDesignNet** net) override;
  HRESULT32 TOLVEX_STDCALL GetComponentDesignator(char* b, std::int32_t n) override;
};

class FakeDesignNet final : public TFakeInterface<IDesignNet, IID_IDesignNet> {
 public:
  FakeDesignNet() : TFakeInterface("FakeDesignNet") {}
  std::string Number;
  std::vector<FakeDesignPin*> Pins;
  std::array<std::vector<std::string>, 4> Groups;

  HRESULT32 TOLVEX_STDCALL GetNumberText(char* b, std::int32_t n) override;
  HRESULT32 TOLVEX_STDCALL GetPinCount(std::int32_t* count) override;
  HRESULT32 TOLVEX_STDCALL GetPin(std::int32_t index, IDesignPin** pin) override;
  HRESULT32 TOLVEX_STDCALL GetMemberCount(std::int32_t group, std::int32_t* count) override;
  HRESULT32 TOLVEX_STDCALL GetMemberName(std::int32_t group, std::int32_t index, char* b, std::int32_t n) override;
};

class FakeDesignComponent final : public TFakeInterface<IDesignComponent, IID_IDesignComponent> {
 public:
  FakeDesignComponent() : TFakeInterface("FakeDesignComponent") {}
  std::string Designator;
  std::vector<FakeDesignPin*> Pins;

  HRESULT32 TOLVEX_STDCALL GetDesignator(char* b, std::int32_t n) override;
  HRESULT32 TOLVEX_STDCALL GetPinCount(std::int32_t* count) override;
  HRESULT32 TOLVEX_STDCALL GetPin(std::int32_t index, IDesignPin** pin) override;
};

class FakeDesignDocument final : public TFakeInterface<IDesignDocument, IID_IDesignDocument> {
 public:
  FakeDesignDocument() : TFakeInterface("FakeDesignDocument") {}
  std::vector<FakeDesignComponent*> Components;

  HRESULT32 TOLVEX_STDCALL GetComponentCount(std::int32_t* count) override;
  HRESULT32 TOLVEX_STDCALL GetComponent(std::int32_t index, IDesignComponent** component) override;
};

// Storage with stable addresses for a test's design objects.
struct FakeDesign {
  std::deque<FakeDesignDocument> Documents;
  std::deque<FakeDesignComponent> Components;
  std::deque<FakeDesignPin> Pins;
  std::deque<FakeDesignNet> Nets;

  FakeDesignDocument& Document() { return Documents.emplace_back(); }
  FakeDesignComponent& Component(FakeDesignDocument& document, const std::string& designator) {
    FakeDesignComponent& c = Components.emplace_back();
    c.Designator = designator;
    document.Components.push_back(&c);
    return c;
  }
  FakeDesignNet& Net(const std::string& number) {
    FakeDesignNet& n = Nets.emplace_back();
    n.Number = number;
    return n;
  }
  // A pin item at the location the schematic pin's end lies at, on Net (may be null).
  FakeDesignPin& Pin(FakeDesignComponent& component, const std::string& name, const std::string& number,
                     std::int32_t x, std::int32_t y, FakeDesignNet* net) {
    FakeDesignPin& p = Pins.emplace_back();
    p.PinName = name;
    p.PinNumber = number;
    p.X = x;
    p.Y = y;
    p.ComponentDesignator = component.Designator;
    p.Name = component.Designator + "-" + number;
    p.Net = net;
    component.Pins.push_back(&p);
    if (net) net->Pins.push_back(&p);
    return p;
  }
};

}  // namespace tolvex::test
