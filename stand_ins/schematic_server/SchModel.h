// The schematic server stand-in's objects: documents, components, pins, parameters, implementations, containers
// and iterators, each reached by a handle that the registry hands out once and never again.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/HostInterfaces.h"

namespace pravik {

using tolvex::THandle;
// Document files keep the order of their members, so a saved file reads like the one that was loaded.
using TJson = nlohmann::ordered_json;

enum TEntryKind : std::uint8_t {
  ekComponent,
  ekPin,
  ekParameter,
  ekImplementation,
  ekContainer,
  ekDocument,
  ekGroupIterator,
  ekDocumentIterator,
};

class TRegistered;

// Every live object by its handle. Handles count up from a fixed start, so the same files loaded in the same order
// give the same handles in every run, and a handle that died never names another object. The entries sit in
// blocks of consecutive handles, so a look-up is two indexings; a block whose handles have all been handed out and
// have all died is freed, so a long session that makes and drops many iterators keeps only a pointer per block.
class TRegistry {
 public:
  THandle Add(TEntryKind kind, TRegistered* object);
  void Remove(THandle handle);
  TRegistered* Find(THandle handle, TEntryKind kind) const {
    const TEntry* entry = Entry(handle);
    return entry && entry->Kind == kind ? entry->Object : nullptr;
  }
  bool IsAlive(THandle handle) const { return Entry(handle) != nullptr; }
  // The kind of a live handle; false for a dead or unknown one.
  bool KindOf(THandle handle, TEntryKind& kind) const;

 private:
  static constexpr THandle kFirst = 0x10000;
  static constexpr std::size_t kBlockSize = 4096;
  struct TEntry {
    TRegistered* Object = nullptr;  // null once the object has died
    TEntryKind Kind{};
  };
  struct TBlock {
    std::array<TEntry, kBlockSize> Entries{};
    std::size_t Live = 0;
  };
  // The live entry of Handle, or null.
  const TEntry* Entry(THandle handle) const {
    if (handle < kFirst || handle >= FNext) return nullptr;
    const auto index = static_cast<std::size_t>(handle - kFirst);
    const TBlock* block = FBlocks[index / kBlockSize].get();
    if (!block) return nullptr;
    const TEntry& entry = block->Entries[index % kBlockSize];
    return entry.Object ? &entry : nullptr;
  }
  std::vector<std::unique_ptr<TBlock>> FBlocks;
  THandle FNext = kFirst;
};

TRegistry& Registry();

// Registers on construction and unregisters on destruction, so a freed object's handle is dead at once.
class TRegistered {
 public:
  explicit TRegistered(TEntryKind kind) : FHandle(Registry().Add(kind, this)) {}
  virtual ~TRegistered() { Registry().Remove(FHandle); }
  TRegistered(const TRegistered&) = delete;
  TRegistered& operator=(const TRegistered&) = delete;
  THandle Handle() const { return FHandle; }

 private:
  THandle FHandle;
};

template <class T>
T* Find(THandle handle) {
  return static_cast<T*>(Registry().Find(handle, T::kEntryKind));
}

// The attributes of the server records. Defaults are what a document file means when it leaves a member out.
struct TGrafAttributes {
  std::array<std::int32_t, 2> Location{};
  std::int32_t AttributeB = 0;
  std::uint8_t AttributeA = 0;
  std::int32_t OwnerPart = 0;
  std::uint8_t AttributeC = 0;
  std::array<std::uint8_t, 5> Workspace{};
  bool operator==(const TGrafAttributes&) const = default;
};

struct TComponentAttributes {
  std::string S1;
  std::uint8_t E1 = 0, E2 = 0;
  std::int32_t I1 = 0, I2 = 0;
  std::uint8_t E3 = 0, E4 = 1, E5 = 0, E6 = 0, E7 = 0;
  std::array<std::uint8_t, 2> Locks{};
  std::string S2, SourceLibrary, LibraryReference, S5, S6;
  std::int32_t I3 = 1;
  std::int32_t PartCount = 1;
  std::int32_t I4 = 0;
  bool operator==(const TComponentAttributes&) const = default;
};

struct TPinAttributes {
  std::string Name, Designator;
  std::int32_t Length = 0;
  std::uint8_t Orientation = 0;
  // Whether a drawing of the part shows the pin's name and designator (0 hides it).
  std::uint8_t ShowName = 1, ShowDesignator = 1;
  std::int32_t PinInteger1 = 0, PinInteger2 = 0;
  std::uint8_t PinByte = 0;
  std::string PinString1, PinString2, PinString3, PinString4;
  std::array<std::uint8_t, 8> AttributeBytes{};  // attribute bytes 1 to 8
  bool operator==(const TPinAttributes&) const = default;
};

struct TParameterAttributes {
  std::string Name, Value;
  std::uint8_t ValueType = 0;
  std::uint8_t ReadOnly = 0;
  std::int32_t ParameterInteger = 0;
  std::array<std::uint8_t, 4> ParameterBytes{};  // parameter bytes 1 to 4
  std::string ParameterString, T1, T2;
  // Empty: none stored; the server then answers one made from the handle, which lives as long as the object.
  std::string UniqueId;
  bool operator==(const TParameterAttributes&) const = default;
};

struct TImplementationAttributes {
  std::string ModelName, K1, Description, PortMap;
  std::uint8_t UseLibraryModel = 0;
  std::uint8_t LibraryModelAvailable = 0;
  std::uint8_t K2 = 0;
  bool operator==(const TImplementationAttributes&) const = default;
};

// What an object keeps of the members its file gave it, so that a save writes them in the same order: their names
// in order (one list shared by the objects of a document that have the same members) and the values of those the
// server does not know. Both empty for an object a client made.
struct TFileMembers {
  std::shared_ptr<const std::vector<std::string>> Order;
  TJson Unknown;  // an object of the unknown members, or null when there are none
  bool Empty() const { return !Order || Order->empty(); }
};

// One shape of a component's part graphics, in the sheet's coordinates (y grows upwards), as its file gives it.
struct TShapeAttributes {
  std::string Type;            // line, rectangle, polyline, polygon, arc, ellipse or text
  std::int32_t OwnerPart = 0;  // 0: every part
  std::vector<std::array<std::int32_t, 2>> Points;  // line and rectangle: 2; polyline: 2 or more; polygon: 3 or more
  std::array<std::int32_t, 2> Center{};             // arc, ellipse
  std::int32_t Radius = 0;
  std::int32_t RadiusY = 0;  // 0: the same as Radius
  std::int32_t StartAngle = 0, EndAngle = 360;  // arc: degrees counter-clockwise from the positive x axis
  std::array<std::int32_t, 2> Location{};       // text: its point, which the text is centred on vertically
  std::string Text;
  std::int32_t FontSize = 10;  // sheet units
  std::string Alignment = "left";  // left, center or right of the point
  std::int32_t LineWidth = 1;      // pixels of the drawing; 0 draws no outline
  std::string Color = "#000080";   // outline and text
  std::string Fill;                // "#RRGGBB", or empty for none
  bool operator==(const TShapeAttributes&) const = default;
};

struct TPartShape {
  TShapeAttributes S;
  TFileMembers Source;
};

struct TDatafileLink {
  std::string Location, EntityName, Kind;
  TFileMembers Source;
};

class TContainer;
class TComponent;
class TImplementation;
class TDocument;

// A pin or a parameter: the objects that live in containers, or free outside every container.
class TItem : public TRegistered {
 public:
  using TRegistered::TRegistered;
  TGrafAttributes G;
  TContainer* Owner = nullptr;
  TFileMembers Source;
};

class TPin final : public TItem {
 public:
  static constexpr TEntryKind kEntryKind = ekPin;
  TPin() : TItem(kEntryKind) {}
  TPinAttributes P;
};

class TParameter final : public TItem {
 public:
  static constexpr TEntryKind kEntryKind = ekParameter;
  TParameter() : TItem(kEntryKind) {}
  TParameterAttributes R;
  // Set for a component's designator parameter, which the component owns outside its container.
  TComponent* DesignatorOf = nullptr;
  // The file wrote this designator as a bare string.
  bool Shorthand = false;
  std::string UniqueIdText() const;
};

// A component's container holds its pins and parameters; an implementation's holds its parameters only.
class TContainer final : public TRegistered {
 public:
  static constexpr TEntryKind kEntryKind = ekContainer;
  TContainer(TComponent* component, TImplementation* implementation)
      : TRegistered(kEntryKind), Component(component), Implementation(implementation) {}
  TComponent* const Component;
  TImplementation* const Implementation;
  std::vector<std::unique_ptr<TPin>> Pins;
  std::vector<std::unique_ptr<TParameter>> Parameters;

  bool AcceptsPins() const { return Component != nullptr; }
  TDocument* Document() const;
  // Takes Item out of this container; null when it is not a member.
  std::unique_ptr<TItem> Take(TItem* item);
  void Put(std::unique_ptr<TItem> item);
  // The members an iterator yields, in order: pins first, then parameters. A library's current component shows its
  // pins on the document instead (its document iterator yields them), so its container does not.
  std::vector<THandle> IteratedMembers() const;
};

class TImplementation final : public TRegistered {
 public:
  static constexpr TEntryKind kEntryKind = ekImplementation;
  explicit TImplementation(TComponent* owner) : TRegistered(kEntryKind), Owner(owner) {}
  TComponent* const Owner;
  TImplementationAttributes I;
  std::vector<TDatafileLink> Links;
  TContainer Parameters{nullptr, this};
  TFileMembers Source;
};

class TComponent final : public TRegistered {
 public:
  static constexpr TEntryKind kEntryKind = ekComponent;
  explicit TComponent(TDocument* document) : TRegistered(kEntryKind), Document(document) {}
  TDocument* const Document;
  TGrafAttributes G;
  TComponentAttributes C;
  std::unique_ptr<TParameter> Designator;
  TContainer Container{this, nullptr};
  std::vector<std::unique_ptr<TImplementation>> Implementations;
  // The part graphics, in file order; a drawing of a part shows those of the part and those of every part.
  std::vector<TPartShape> Graphics;
  TFileMembers Source;

  bool IsCurrentLibraryComponent() const;
  std::string DesignatorText() const { return Designator ? Designator->R.Value : std::string(); }
};

class TDocument final : public TRegistered {
 public:
  static constexpr TEntryKind kEntryKind = ekDocument;
  TDocument() : TRegistered(kEntryKind) {}
  std::string FileName;        // as it was opened
  std::string NormalisedName;  // absolute and normalised, for look-ups by file name
  bool Library = false;
  std::vector<std::unique_ptr<TComponent>> Components;
  TComponent* Current = nullptr;  // a library's current component
  TJson Source = TJson::object();
};

// Walks a snapshot of members taken at creation. A member that has died or left since is skipped, so every member
// comes once, and objects added meanwhile wait for the next iterator.
class TIterator final : public TRegistered {
 public:
  TIterator(TEntryKind kind, THandle source, std::vector<THandle> members)
      : TRegistered(kind), Kind(kind), Source(source), FMembers(std::move(members)) {}
  THandle First();
  THandle Next();
  const TEntryKind Kind;  // ekGroupIterator or ekDocumentIterator
  const THandle Source;   // the container or the document

 private:
  THandle Yield();
  std::vector<THandle> FMembers;
  std::size_t FNext = 0;
};

// The document iterator's members: the objects of one kind code on the document's sheet. For a library that is its
// current component; for a schematic, every component.
std::vector<THandle> DocumentMembers(const TDocument& document, std::uint8_t kind);

// The document that an object belongs to, or null for a free one.
TDocument* DocumentOf(THandle handle);

// Bounding rectangle from the location and the pins (both ends of each). False for a handle without a place.
bool BoundingRectangle(THandle handle, std::array<std::int32_t, 4>& rect);

// The end of a pin away from its location: its length in the direction of its orientation (0 right, 1 up, 2 left,
// 3 down; other codes count as 0).
std::array<std::int32_t, 2> PinOuterEnd(const TPin& pin);

// The value with =Name references to other parameters of the same container resolved (a few levels deep).
std::string CalculatedValue(const TParameter& parameter);

// The server's state apart from the registry.
struct TServer {
  std::vector<std::unique_ptr<TDocument>> Documents;
  std::vector<std::unique_ptr<TItem>> FreeItems;
  std::vector<std::unique_ptr<TIterator>> Iterators;
  std::unordered_map<THandle, std::int32_t> Redraws;
  std::int32_t RedrawTotal = 0;
  void CloseAll();
  // Removes Item from wherever it is and returns it; null for the designator parameter, which its component owns.
  std::unique_ptr<TItem> Detach(TItem* item);
};

TServer& Server();

// The item behind a pin or parameter handle.
TItem* FindItem(THandle handle);

}  // namespace pravik
