// Short-lived wrappers of schematic-server objects: each holds one handle, reads the
// object's attributes in one server call and writes all of them back in one call.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/HostInterfaces.h"

namespace tolvex {

class TParameterDataList;

class TSchObject {
 public:
  explicit TSchObject(THandle handle = 0) : FHandle(handle) {}
  virtual ~TSchObject() = default;

  // Mode 1 reads (server to wrapper), 0 writes; answers 1 on failure. A read that fails
  // leaves the wrapper's fields as they were.
  virtual std::int32_t Query(std::uint8_t mode);
  // Sets all four to -1, then lets the server fill them (in the server's order).
  void GetBoundingRectangle(std::int32_t& a, std::int32_t& b, std::int32_t& c, std::int32_t& d) const;
  // The server's own interactive editor; on acceptance the object is read again.
  bool EditFromUser();
  void Redraw() const;
  THandle GetHandle() const { return FHandle; }
  void SetHandle(THandle handle) { FHandle = handle; }
  std::uint8_t GetObjectId() const { return FObjectId; }

  THandle FHandle = 0;
  std::uint8_t FObjectId = 61;
  std::uint8_t FAttributeA = 0;
  std::int32_t FLocationX = 0;
  std::int32_t FLocationY = 0;
  std::int32_t FAttributeB = 0;
  std::int32_t FOwnerPartId = 0;
  std::uint8_t FAttributeC = 0;
  std::uint8_t FAttributeD[5] = {};

 protected:
  std::int32_t QueryBase(std::uint8_t mode);
};

class TSchPin;
class TSchParameter;

// Owning lists of wrappers.
class TSchPinList {
 public:
  void Add(std::unique_ptr<TSchPin> pin) { FItems.push_back(std::move(pin)); }
  TSchPin* Get(std::size_t index) const { return index < FItems.size() ? FItems[index].get() : nullptr; }
  std::size_t Count() const { return FItems.size(); }
  void Clear() { FItems.clear(); }
  // The designators of the pins of Part and of all parts (owner part 0), in list order.
  std::vector<std::string> GetDesignators(std::int32_t part) const;
  // The same pins as designator + " (" + name + ")", each with its pin.
  std::vector<std::pair<std::string, TSchPin*>> GetDisplayTexts(std::int32_t part) const;

 private:
  std::vector<std::unique_ptr<TSchPin>> FItems;
};

class TSchParameterList {
 public:
  void Add(std::unique_ptr<TSchParameter> parameter) { FItems.push_back(std::move(parameter)); }
  TSchParameter* Get(std::size_t index) const { return index < FItems.size() ? FItems[index].get() : nullptr; }
  std::size_t Count() const { return FItems.size(); }
  // Removes and frees the wrapper at Index.
  void Delete(std::size_t index) {
    if (index < FItems.size()) FItems.erase(FItems.begin() + static_cast<std::ptrdiff_t>(index));
  }
  // The first wrapper whose name equals Name exactly (writing back matches names exactly).
  TSchParameter* FindByName(const std::string& name) const;

 private:
  std::vector<std::unique_ptr<TSchParameter>> FItems;
};

class TSchComponent : public TSchObject {
 public:
  explicit TSchComponent(THandle handle = 0) : TSchObject(handle) {}
  // The designator-locks read (its answer ignored), then the component record.
  std::int32_t Query(std::uint8_t mode) override;

  // The value of the designator parameter, at most 255 characters; empty without one.
  std::string GetDesignatorText() const;
  // Appends a read wrapper for every parameter in the component's container.
  void GetParameters(TSchParameterList& list) const;
  // Appends the handles of the component's pins, then, when it is the current component
  // of a library document, the pins of that document.
  void GetPinHandles(std::vector<THandle>& handles) const;

  std::string FS1;
  std::uint8_t FE1 = 0, FE2 = 0;
  std::int32_t FI1 = 0, FI2 = 0;
  std::uint8_t FE3 = 0, FE4 = 1, FE5 = 0, FE6 = 0;
  std::uint8_t FDesignatorLock1 = 0, FDesignatorLock2 = 0;
  std::uint8_t FE7 = 0;
  std::string FS2;
  std::string FSourceLibraryName;
  std::string FLibraryReference;
  std::string FS5, FS6;
  std::int32_t FI3 = 1;
  std::int32_t FPartCount = 1;
  THandle FDesignatorParameter = 0;
  THandle FContainer = 0;
  std::int32_t FI4 = 0;
};

class TSchPin : public TSchObject {
 public:
  explicit TSchPin(THandle handle = 0) : TSchObject(handle) { FObjectId = 37; }
  std::int32_t Query(std::uint8_t mode) override;

  std::string FName;
  std::string FDesignator;
  std::uint8_t FPinByte1 = 0, FPinByte2 = 0, FPinByte3 = 0, FPinByte4 = 0;
  std::int32_t FPinLength = 0;
  std::uint8_t FOrientation = 0;
  std::int32_t FPinInteger1 = 0;
  std::uint8_t FPinByte = 0;
  std::string FPinString1, FPinString2;
  std::uint8_t FPinByte5 = 0, FPinByte6 = 0, FPinByte7 = 0, FPinByte8 = 0;
  std::string FPinString3, FPinString4;
  std::int32_t FPinInteger2 = 0;
};

class TSchParameter : public TSchObject {
 public:
  explicit TSchParameter(THandle handle = 0) : TSchObject(handle) { FObjectId = 57; }
  // The base query, then the parameter record; a read also fetches the unique id and the calculated value.
  std::int32_t Query(std::uint8_t mode) override;

  std::string FT1, FT2;
  std::string FCalculatedValue;
  std::int32_t FParameterInteger = 0;
  std::uint8_t FParameterByte1 = 0;
  std::uint8_t FValueType = 0;
  std::string FName;
  std::string FValue;
  std::uint8_t FParameterByte2 = 0;
  std::uint8_t FReadOnlyFlags = 0;
  std::string FParameterString;
  std::uint8_t FParameterByte3 = 0, FParameterByte4 = 0;
  std::string FUniqueId;
};

class TModelDatafileLink {
 public:
  TModelDatafileLink(std::string entityName, std::string kind, std::string location)
      : FEntityName(std::move(entityName)), FLocation(std::move(location)), FKind(std::move(kind)) {}
  std::string FEntityName;
  std::string FLocation;
  std::string FKind;
};

class TComponentImplementation {
 public:
  explicit TComponentImplementation(THandle handle = 0) : FHandle(handle) {}

  // The implementation record, then in read mode its data-file links, in write mode the
  // current links; answers the last server answer.
  std::int32_t Query(std::uint8_t mode);
  TModelDatafileLink* GetDatafileLink(std::size_t index) const {
    return index < FDatafileLinks.size() ? FDatafileLinks[index].get() : nullptr;
  }
  std::size_t DatafileLinkCount() const { return FDatafileLinks.size(); }
  void ClearDatafileLinks() { FDatafileLinks.clear(); }
  void AddDatafileLink(const std::string& entityName, const std::string& location, const std::string& kind);
  // The implementation parameter of that name (letter case ignored), read; nullptr when none.
  std::unique_ptr<TSchParameter> FindImplementationParameter(const std::string& name) const;
  // The schematic pin that model port Port is mapped to in part PartNumber, by the
  // "Port Map" entry of Parameters when given, else by the implementation's own port map.
  std::unique_ptr<TSchPin> FindPinForPort(const TSchComponent* component, std::int32_t partNumber,
                                          const TParameterDataList* parameters, const std::string& port) const;

  THandle FHandle = 0;
  std::string FModelName;
  std::string FK1;
  std::string FDescription;
  THandle FParameterContainer = 0;
  std::string FPortMap;
  std::uint8_t FK2 = 0;
  std::vector<std::unique_ptr<TModelDatafileLink>> FDatafileLinks;
  std::uint8_t FLibraryModelAvailable = 0;
  std::uint8_t FUseLibraryModel = 0;
};

// The value of the implementation's "Spice Prefix" parameter; empty for no implementation or none.
std::string ReadSpicePrefix(const TComponentImplementation* implementation);
// The component parameter of that name (letter case ignored), read; nullptr when none.
std::unique_ptr<TSchParameter> FindComponentParameter(const TSchComponent& component, const std::string& name);
// The pin of part PartNumber (or of all parts) with that designator (letter case ignored).
std::unique_ptr<TSchPin> FindPinByDesignator(const TSchComponent& component, std::int32_t partNumber,
                                             const std::string& designator);

}  // namespace tolvex
