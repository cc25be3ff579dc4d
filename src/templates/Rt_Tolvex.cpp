// Component template expansion: pins through the port map into the compiled design, and
// parameter values from the implementation and the component.
#include "templates/Rt_Tolvex.h"

#include <cstring>
#include <limits>
#include <stdexcept>
#include <vector>

#include "host/HostApi.h"
#include "host/SchServerApi.h"
#include "support/TextUtils.h"

namespace tolvex {

namespace {

// The design interfaces cut a text to the caller's buffer less one byte, and never inside a UTF-8 character, so a
// cut text is at least that size less four bytes long. Such a text is asked for again in a buffer four times the
// size: names must come through whole, or two nets whose names differ only after the cut would become one node.
constexpr std::size_t kDesignTextSize = 1024;
// No name of a design is this long; a design that answers texts of this size is refused rather than cut.
constexpr std::size_t kDesignTextLimit = std::size_t{1} << 20;

template <class F>
std::string DesignText(F&& call, const char* operation) {
  char first[kDesignTextSize] = {};
  std::vector<char> larger;
  for (std::size_t size = kDesignTextSize;; size *= 4) {
    char* buffer = first;
    if (size > kDesignTextSize) {
      larger.assign(size, '\0');
      buffer = larger.data();
    }
    CheckHostStatus(call(buffer, static_cast<std::int32_t>(size)), operation);
    buffer[size - 1] = '\0';
    const std::size_t length = std::strlen(buffer);
    if (length + 4 < size) return std::string(buffer, length);
    if (size >= kDesignTextLimit)
      throw std::length_error(std::string(operation) + " answered a text of 1 MiB or more, too long for a name");
  }
}

// A pin's name and number are compared with the schematic pin's, which the schematic server hands over cut to its
// exchange buffer of the same size: read the same way, both sides of the comparison are cut alike.
template <class F>
std::string DesignKeyText(F&& call, const char* operation) {
  char buffer[kDesignTextSize] = {};
  CheckHostStatus(call(buffer, static_cast<std::int32_t>(kDesignTextSize)), operation);
  buffer[kDesignTextSize - 1] = '\0';
  return buffer;
}

}  // namespace

bool DesignPinLocation(const TSchPin& pin, std::int32_t& x, std::int32_t& y) {
  // An item at (x, y) matches a pin whose stored location is (x, y - L) for orientation 1, (x + L, y) for 2,
  // (x, y + L) for 3 and (x - L, y) for any other, so the item of this pin lies the other way along it. Exact
  // arithmetic: near the 32-bit limits no item can match, and none is taken from the far side of a wrapped
  // coordinate.
  const std::int64_t length = pin.FPinLength;
  std::int64_t ix = pin.FLocationX, iy = pin.FLocationY;
  switch (pin.FOrientation) {
    case 1: iy += length; break;
    case 2: ix -= length; break;
    case 3: iy -= length; break;
    default: ix += length; break;
  }
  constexpr std::int64_t lowest = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t highest = std::numeric_limits<std::int32_t>::max();
  if (ix < lowest || ix > highest || iy < lowest || iy > highest) return false;
  x = static_cast<std::int32_t>(ix);
  y = static_cast<std::int32_t>(iy);
  return true;
}

std::unique_ptr<TDesignPinIndex> TDesignPinIndex::FromWorkspace() {
  auto workspace = GetWorkspace();
  if (!workspace) return std::make_unique<TDesignPinIndex>(nullptr);
  IProject* raw = nullptr;
  CheckHostStatus(workspace->GetFocusedProject(&raw), "GetFocusedProject");
  auto project = TInterfacePtr<IProject>::Attach(raw);
  return std::make_unique<TDesignPinIndex>(project.Get());
}

TDesignPinIndex::TDesignPinIndex(IProject* project) {
  if (!project) return;
  FHasProject = true;
  IDesignDocument* compiled = nullptr;
  CheckHostStatus(project->GetCompiledDocument(&compiled), "GetCompiledDocument");
  if (auto document = TInterfacePtr<IDesignDocument>::Attach(compiled)) {
    AddDocument(document.Get());
    return;
  }
  for (std::int32_t list = 0; list < 2; ++list) {
    std::int32_t count = 0;
    CheckHostStatus(project->GetDocumentCount(list, &count), "GetDocumentCount");
    for (std::int32_t i = 0; i < count; ++i) {
      IDesignDocument* raw = nullptr;
      CheckHostStatus(project->GetDocument(list, i, &raw), "GetDocument");
      if (auto document = TInterfacePtr<IDesignDocument>::Attach(raw)) AddDocument(document.Get());
    }
  }
}

void TDesignPinIndex::AddDocument(IDesignDocument* document) {
  std::int32_t components = 0;
  CheckHostStatus(document->GetComponentCount(&components), "GetComponentCount");
  for (std::int32_t c = 0; c < components; ++c) {
    IDesignComponent* rawComponent = nullptr;
    CheckHostStatus(document->GetComponent(c, &rawComponent), "GetComponent");
    auto component = TInterfacePtr<IDesignComponent>::Attach(rawComponent);
    if (!component) continue;
    const std::string designator =
        DesignText([&](char* b, std::int32_t n) { return component->GetDesignator(b, n); }, "GetDesignator");
    std::int32_t pins = 0;
    CheckHostStatus(component->GetPinCount(&pins), "GetPinCount");
    for (std::int32_t p = 0; p < pins; ++p) {
      IDesignPin* rawPin = nullptr;
      CheckHostStatus(component->GetPin(p, &rawPin), "GetPin");
      auto pin = TInterfacePtr<IDesignPin>::Attach(rawPin);
      if (!pin) continue;
      std::int32_t x = 0, y = 0;
      CheckHostStatus(pin->GetLocation(&x, &y), "GetLocation");
      const std::string name =
          DesignKeyText([&](char* b, std::int32_t n) { return pin->GetPinName(b, n); }, "GetPinName");
      const std::string number =
          DesignKeyText([&](char* b, std::int32_t n) { return pin->GetPinNumber(b, n); }, "GetPinNumber");
      // The first item of a key in the search order wins.
      const auto [it, added] =
          FPins.emplace(TKey{UpperCaseAscii(name), UpperCaseAscii(number), x, y}, TEntry{std::move(pin), designator});
      if (!added && !SameText(it->second.Component, designator))
        FShadowed.push_back({designator, number, it->second.Component});
    }
  }
}

IDesignPin* TDesignPinIndex::Find(const std::string& pinName, const std::string& pinNumber, std::int32_t x,
                                  std::int32_t y) const {
  auto it = FPins.find(TKey{UpperCaseAscii(pinName), UpperCaseAscii(pinNumber), x, y});
  return it == FPins.end() ? nullptr : it->second.Pin.Get();
}

std::string DesignNetName(IDesignPin* item) {
  TBool32 present = FALSE32;
  const std::string linked = DesignText(
      [&](char* b, std::int32_t n) { return item->GetLinkedNetName(b, n, &present); }, "GetLinkedNetName");
  if (present) return linked;
  IDesignNet* rawNet = nullptr;
  CheckHostStatus(item->GetNet(&rawNet), "GetNet");
  auto net = TInterfacePtr<IDesignNet>::Attach(rawNet);
  if (!net) return DesignText([&](char* b, std::int32_t n) { return item->GetName(b, n); }, "GetName");
  auto firstMember = [&](std::int32_t group, std::string& name) {
    std::int32_t count = 0;
    CheckHostStatus(net->GetMemberCount(group, &count), "GetMemberCount");
    if (count <= 0) return false;
    name = DesignText([&](char* b, std::int32_t n) { return net->GetMemberName(group, 0, b, n); }, "GetMemberName");
    return true;
  };
  std::string name;
  for (std::int32_t group = 0; group < 3; ++group)
    if (firstMember(group, name)) return name;
  std::int32_t pins = 0;
  CheckHostStatus(net->GetPinCount(&pins), "GetPinCount");
  if (pins > 0) {
    IDesignPin* rawPin = nullptr;
    CheckHostStatus(net->GetPin(0, &rawPin), "GetPin");
    if (auto pin = TInterfacePtr<IDesignPin>::Attach(rawPin)) {
      std::string result = "Net" + DesignText([&](char* b, std::int32_t n) { return pin->GetComponentDesignator(b, n); },
                                              "GetComponentDesignator");
      const std::string number =
          DesignText([&](char* b, std::int32_t n) { return pin->GetPinNumber(b, n); }, "GetPinNumber");
      if (!number.empty()) result += "_" + number;
      return result;
    }
  }
  if (firstMember(3, name)) return name;
  std::string number = DesignText([&](char* b, std::int32_t n) { return net->GetNumberText(b, n); }, "GetNumberText");
  if (number.size() < 4) number.insert(0, 4 - number.size(), '0');
  return "N" + number;
}

TNetlistTemplateParser_Sch::TNetlistTemplateParser_Sch(const std::string& templateText, THandle implementationHandle,
                                                       std::int32_t partId, THandle componentHandle, bool quiet,
                                                       TMapNetNameEvent onMapNetName,
                                                       std::vector<std::string>* errors,
                                                       const TDesignPinIndex* index)
    : TAbstractNetlistTemplateParser(templateText, quiet, std::move(onMapNetName), errors),
      FComponent(componentHandle),
      FPartId(partId),
      FImplementation(implementationHandle),
      FImplementationHandle(implementationHandle),
      FComponentHandle(componentHandle),
      FIndex(index) {
  FComponent.Query(kSchQueryModeRead);
  FImplementation.Query(kSchQueryModeRead);
}

TNetlistTemplateParser_Sch::~TNetlistTemplateParser_Sch() = default;

std::unique_ptr<TAbstractNetlistTemplateToken> TNetlistTemplateParser_Sch::CreateToken() {
  return std::make_unique<TNetlistTemplateToken_Sch>(this);
}

std::unique_ptr<TAbstractNetlistTemplateParser> TNetlistTemplateParser_Sch::CreateSubParser(const std::string& text) {
  return std::make_unique<TNetlistTemplateParser_Sch>(text, FImplementationHandle, FPartId, FComponentHandle, FQuiet,
                                                      FOnMapNetName, FErrors, FIndex ? FIndex : FOwnIndex.get());
}

const TDesignPinIndex& TNetlistTemplateParser_Sch::Index() {
  if (FIndex) return *FIndex;
  // A sub-parser made before the top parser built its index asks the top one.
  if (auto* parent = dynamic_cast<TNetlistTemplateParser_Sch*>(Parent())) return parent->Index();
  if (!FOwnIndex) FOwnIndex = TDesignPinIndex::FromWorkspace();
  return *FOwnIndex;
}

void TNetlistTemplateParser_Sch::MarkNetNamesUnavailable() {
  for (TAbstractNetlistTemplateParser* p = this; p; p = p->Parent())
    if (auto* sch = dynamic_cast<TNetlistTemplateParser_Sch*>(p)) sch->FNetNamesAvailable = false;
}

std::string TNetlistTemplateParser_Sch::GetPinNet(const std::string& pinId, const TParameterDataList* parameters) {
  const auto pin = FImplementation.FindPinForPort(&FComponent, FPartId, parameters, pinId);
  if (!pin) return {};
  std::int32_t x = 0, y = 0;
  if (DesignPinLocation(*pin, x, y))
    if (IDesignPin* item = Index().Find(pin->FName, pin->FDesignator, x, y)) return DesignNetName(item);
  MarkNetNamesUnavailable();
  return "<" + pin->FDesignator + ">";
}

std::string TNetlistTemplateParser_Sch::GetParameterValue(const std::string& name) {
  if (name.empty()) return {};
  if (auto parameter = FImplementation.FindImplementationParameter(name))
    if (!parameter->FValue.empty()) return parameter->FValue;
  std::string value;
  if (SameText(name, "DESIGNATOR")) {
    const std::string designator = FComponent.GetDesignatorText();
    const std::string prefix = ReadSpicePrefix(&FImplementation);
    if (prefix.empty()) {
      ReportError("No Spice Prefix specified in SIM implementation");
    } else if (!designator.empty()) {
      value = UpCaseAscii(designator[0]) == UpCaseAscii(prefix[0]) ? designator : prefix + designator;
    }
  } else if (SameText(name, "MODEL")) {
    value = FImplementation.FModelName;
  } else if (SameText(name, "MODELLOCATION")) {
    const TModelDatafileLink* link = FImplementation.GetDatafileLink(0);
    value = link ? link->FLocation : std::string();
  }
  if (!value.empty()) return value;
  auto parameter = FindComponentParameter(FComponent, name);
  return parameter ? parameter->FValue : std::string();
}

}  // namespace tolvex
