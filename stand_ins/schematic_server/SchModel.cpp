// The schematic server stand-in's objects, their handles and the walks over them.
#include "SchModel.h"

#include <algorithm>
#include <limits>

#include "Pravik.h"
#include "host/SchServerApi.h"
#include "support/TextUtils.h"

namespace pravik {

namespace {

// Defined in this order on purpose: the server's objects unregister from the registry when they are destroyed at
// unload, so the registry has to be built first and destroyed last.
TRegistry GRegistry;
TServer GServer;

void Extend(std::array<std::int32_t, 4>& rect, bool& any, const std::array<std::int32_t, 2>& point) {
  if (!any) {
    rect = {point[0], point[1], point[0], point[1]};
    any = true;
    return;
  }
  rect[0] = std::min(rect[0], point[0]);
  rect[1] = std::min(rect[1], point[1]);
  rect[2] = std::max(rect[2], point[0]);
  rect[3] = std::max(rect[3], point[1]);
}

template <class T>
std::unique_ptr<TItem> TakeFrom(std::vector<std::unique_ptr<T>>& list, TItem* item) {
  auto it = std::find_if(list.begin(), list.end(), [&](const auto& p) { return p.get() == item; });
  if (it == list.end()) return nullptr;
  std::unique_ptr<TItem> taken(it->release());
  list.erase(it);
  return taken;
}

}  // namespace

TRegistry& Registry() { return GRegistry; }
TServer& Server() { return GServer; }

THandle TRegistry::Add(TEntryKind kind, TRegistered* object) {
  const THandle handle = FNext;
  const auto index = static_cast<std::size_t>(handle - kFirst);
  if (index % kBlockSize == 0) FBlocks.push_back(std::make_unique<TBlock>());
  TBlock& block = *FBlocks.back();
  block.Entries[index % kBlockSize] = TEntry{object, kind};
  ++block.Live;
  ++FNext;
  return handle;
}

void TRegistry::Remove(THandle handle) {
  if (!Entry(handle)) return;
  const auto index = static_cast<std::size_t>(handle - kFirst);
  std::unique_ptr<TBlock>& block = FBlocks[index / kBlockSize];
  block->Entries[index % kBlockSize].Object = nullptr;
  // The block that new handles come from stays, however many of its handles have died.
  const bool filled = static_cast<std::size_t>(FNext - kFirst) >= (index / kBlockSize + 1) * kBlockSize;
  if (--block->Live == 0 && filled) block.reset();
}

bool TRegistry::KindOf(THandle handle, TEntryKind& kind) const {
  const TEntry* entry = Entry(handle);
  if (!entry) return false;
  kind = entry->Kind;
  return true;
}

std::string TParameter::UniqueIdText() const {
  if (!R.UniqueId.empty()) return R.UniqueId;
  // Eight letters that differ for every handle (the factor is coprime to 26^8).
  constexpr std::uint64_t kSpace = 208827064576ull;  // 26^8
  std::uint64_t n = (static_cast<std::uint64_t>(Handle()) * 2654435761ull) % kSpace;
  std::string id(8, 'A');
  for (int i = 7; i >= 0; --i) {
    id[static_cast<std::size_t>(i)] = static_cast<char>('A' + n % 26);
    n /= 26;
  }
  return id;
}

TDocument* TContainer::Document() const {
  if (Component) return Component->Document;
  if (Implementation && Implementation->Owner) return Implementation->Owner->Document;
  return nullptr;
}

std::unique_ptr<TItem> TContainer::Take(TItem* item) {
  if (item->Owner != this) return nullptr;
  std::unique_ptr<TItem> taken = TakeFrom(Pins, item);
  if (!taken) taken = TakeFrom(Parameters, item);
  if (taken) taken->Owner = nullptr;
  return taken;
}

void TContainer::Put(std::unique_ptr<TItem> item) {
  item->Owner = this;
  if (Find<TPin>(item->Handle()))
    Pins.emplace_back(static_cast<TPin*>(item.release()));
  else
    Parameters.emplace_back(static_cast<TParameter*>(item.release()));
}

std::vector<THandle> TContainer::IteratedMembers() const {
  std::vector<THandle> members;
  if (!(Component && Component->IsCurrentLibraryComponent()))
    for (const auto& pin : Pins) members.push_back(pin->Handle());
  for (const auto& parameter : Parameters) members.push_back(parameter->Handle());
  return members;
}

bool TComponent::IsCurrentLibraryComponent() const {
  return Document && Document->Library && Document->Current == this;
}

THandle TIterator::First() {
  FNext = 0;
  return Yield();
}

THandle TIterator::Next() { return Yield(); }

THandle TIterator::Yield() {
  while (FNext < FMembers.size()) {
    const THandle member = FMembers[FNext++];
    bool stillThere;
    if (Kind == ekGroupIterator) {
      const TItem* item = FindItem(member);
      stillThere = item && item->Owner && item->Owner->Handle() == Source;
    } else {
      const TDocument* document = DocumentOf(member);
      stillThere = document && document->Handle() == Source;
    }
    if (stillThere) return member;
  }
  return 0;
}

std::vector<THandle> DocumentMembers(const TDocument& document, std::uint8_t kind) {
  std::vector<THandle> members;
  for (const auto& component : document.Components) {
    if (document.Library && component.get() != document.Current) continue;
    if (kind == kObjectIdComponent) members.push_back(component->Handle());
    if (kind == tolvex::kSchObjectIdPin)
      for (const auto& pin : component->Container.Pins) members.push_back(pin->Handle());
    if (kind == tolvex::kSchObjectIdParameter) {
      if (component->Designator) members.push_back(component->Designator->Handle());
      for (const auto& parameter : component->Container.Parameters) members.push_back(parameter->Handle());
    }
  }
  return members;
}

TItem* FindItem(THandle handle) {
  if (TPin* pin = Find<TPin>(handle)) return pin;
  return Find<TParameter>(handle);
}

TDocument* DocumentOf(THandle handle) {
  TEntryKind kind;
  if (!Registry().KindOf(handle, kind)) return nullptr;
  switch (kind) {
    case ekComponent:
      return Find<TComponent>(handle)->Document;
    case ekImplementation: {
      TComponent* owner = Find<TImplementation>(handle)->Owner;
      return owner ? owner->Document : nullptr;
    }
    case ekContainer:
      return Find<TContainer>(handle)->Document();
    case ekDocument:
      return Find<TDocument>(handle);
    case ekPin:
    case ekParameter: {
      TItem* item = FindItem(handle);
      if (item->Owner) return item->Owner->Document();
      if (kind == ekParameter) {
        const TComponent* of = static_cast<TParameter*>(item)->DesignatorOf;
        return of ? of->Document : nullptr;
      }
      return nullptr;
    }
    default:
      return nullptr;
  }
}

std::array<std::int32_t, 2> PinOuterEnd(const TPin& pin) {
  // 64-bit sums, clamped: a file may hold any 32-bit location and length.
  const std::int64_t x = pin.G.Location[0], y = pin.G.Location[1], length = pin.P.Length;
  std::int64_t ex = x, ey = y;
  switch (pin.P.Orientation) {
    case 1:
      ey = y + length;
      break;
    case 2:
      ex = x - length;
      break;
    case 3:
      ey = y - length;
      break;
    default:
      ex = x + length;
      break;
  }
  const auto clamp = [](std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
  };
  return {clamp(ex), clamp(ey)};
}

bool BoundingRectangle(THandle handle, std::array<std::int32_t, 4>& rect) {
  bool any = false;
  if (TComponent* component = Find<TComponent>(handle)) {
    Extend(rect, any, component->G.Location);
    for (const auto& pin : component->Container.Pins) {
      Extend(rect, any, pin->G.Location);
      Extend(rect, any, PinOuterEnd(*pin));
    }
  } else if (TPin* pin = Find<TPin>(handle)) {
    Extend(rect, any, pin->G.Location);
    Extend(rect, any, PinOuterEnd(*pin));
  } else if (TParameter* parameter = Find<TParameter>(handle)) {
    Extend(rect, any, parameter->G.Location);
  }
  return any;
}

std::string CalculatedValue(const TParameter& parameter) {
  // A value =Name stands for the value of the parameter Name beside it; the depth limit ends reference cycles.
  const TParameter* current = &parameter;
  for (int depth = 0; depth < 8; ++depth) {
    const std::string& value = current->R.Value;
    if (value.size() < 2 || value[0] != '=') return value;
    const TContainer* container = current->Owner;
    if (!container && current->DesignatorOf) container = &current->DesignatorOf->Container;
    if (!container) return value;
    const std::string name = tolvex::Trim(std::string_view(value).substr(1));
    const TParameter* next = nullptr;
    for (const auto& candidate : container->Parameters)
      if (tolvex::SameText(candidate->R.Name, name)) {
        next = candidate.get();
        break;
      }
    if (!next || next == current) return value;
    current = next;
  }
  return current->R.Value;
}

void TServer::CloseAll() {
  Iterators.clear();
  FreeItems.clear();
  Documents.clear();
  Redraws.clear();
  RedrawTotal = 0;
}

std::unique_ptr<TItem> TServer::Detach(TItem* item) {
  if (item->Owner) return item->Owner->Take(item);
  auto it = std::find_if(FreeItems.begin(), FreeItems.end(), [&](const auto& p) { return p.get() == item; });
  if (it == FreeItems.end()) return nullptr;  // the designator parameter
  std::unique_ptr<TItem> taken = std::move(*it);
  FreeItems.erase(it);
  return taken;
}

}  // namespace pravik
