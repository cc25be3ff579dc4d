// Everything the Sim Editor edits for one simulation implementation of one component,
// read from the schematic in one step and written back in one step.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/HostInterfaces.h"
#include "model_data/SchObjects.h"

namespace tolvex {

class TModelFile;

class TParameterData {
 public:
  TParameterData() = default;
  // A copy of Other's five fields; an empty record for nullptr.
  explicit TParameterData(const TParameterData* other) {
    if (other) *this = *other;
  }

  std::string FName;
  std::string FValue;
  std::uint8_t FValueType = 0;      // 0 String, 1 Boolean, 2 Integer, 3 Float
  std::uint8_t FReadOnlyFlags = 0;  // 0 none, 1 name, 2 value, 3 both
  bool FComponentLevel = false;
};

// Parameter records keyed by name (letter case ignored), in the order added; the first
// entry of a name wins. The list owns its records.
class TParameterDataList {
 public:
  TParameterDataList() = default;
  TParameterDataList(const TParameterDataList&) = delete;
  TParameterDataList& operator=(const TParameterDataList&) = delete;
  TParameterDataList(TParameterDataList&&) = default;
  TParameterDataList& operator=(TParameterDataList&&) = default;

  // Takes Record and returns its index, or -1 when the name is taken (Record stays the caller's).
  int AddData(std::unique_ptr<TParameterData>& record);
  int AddParameter(const std::string& name, const std::string& value);
  int AddParameterEx(const std::string& name, const std::string& value, std::uint8_t readOnlyFlags,
                     std::uint8_t valueType);
  // Adds copies of Other's records in order (names already present are skipped).
  void AddCopiesOf(const TParameterDataList* other);
  TParameterData* GetData(std::size_t index) const {
    return index < FItems.size() ? FItems[index].get() : nullptr;
  }
  TParameterData* FindData(const std::string& name) const;
  std::size_t Count() const { return FItems.size(); }
  void Clear() { FItems.clear(); }

 private:
  std::vector<std::unique_ptr<TParameterData>> FItems;
};

class TImplementationData {
 public:
  TImplementationData(THandle implementationHandle, THandle componentHandle);
  ~TImplementationData();
  TImplementationData(const TImplementationData&) = delete;
  TImplementationData& operator=(const TImplementationData&) = delete;

  void Load();
  // Writes everything back. Without SetEditedParameters the parameters of both the
  // component and the implementation are left exactly as they are in the schematic;
  // only the reserved parameters and the implementation's own fields are written.
  void Save();
  // Looks the model file up, keeping the current one when it was found and read for the very same request (model
  // name, location, library flag and kind, for this component's library).
  void LoadModelFile(const std::string& modelName, const std::string& location, bool useLibraryModel,
                     bool isSubcircuit);
  // A working copy of the loaded parameters (the caller owns it).
  std::unique_ptr<TParameterDataList> CopyParameters() const;
  void SetEditedParameters(const TParameterDataList& list);

  const std::string& GetSourceLibraryName() const { return FSourceLibraryName; }
  const TSchPinList& GetPins() const { return FPins; }
  const TParameterDataList& LoadedParameters() const { return FLoadedParameters; }
  const TParameterDataList* EditedParameters() const { return FEditedParameters.get(); }
  const TModelFile* ModelFile() const { return FModelFile.get(); }

  void SetKind(const std::string& value) { FKind = value; }
  void SetSubKind(const std::string& value) { FSubKind = value; }
  void SetModelName(const std::string& value) { FModelName = value; }
  void SetModelLocation(const std::string& value) { FModelLocation = value; }
  void SetDescription(const std::string& value) { FDescription = value; }
  void SetPortMap(const std::string& value) { FPortMap = value; }
  void SetNetlist(const std::string& value) { FNetlist = value; }
  void SetSpicePrefix(const std::string& value) { FSpicePrefix = value; }

  bool FInLibraryEditor = false;
  THandle FComponentHandle = 0;
  THandle FImplementationHandle = 0;
  std::string FLibraryReference;
  std::string FSourceLibraryName;
  std::string FKind;
  std::string FSubKind;
  std::string FDescription;
  std::string FModelName;
  std::string FModelLocation;
  std::string FPortMap;
  std::string FNetlist;
  std::string FSpicePrefix;
  std::int32_t FPartCount = 0;
  std::string FDesignator;
  bool FUseLibraryModel = false;
  bool FLibraryModelAvailable = false;

 private:
  void WriteParameters(TSchComponent& component, TComponentImplementation& implementation);

  TParameterDataList FLoadedParameters;
  std::unique_ptr<TParameterDataList> FEditedParameters;
  TSchPinList FPins;
  std::unique_ptr<TModelFile> FModelFile;
  // What FModelFile was looked up for.
  struct TModelFileRequest {
    std::string ModelName;
    std::string Location;
    bool UseLibraryModel = false;
    bool IsSubcircuit = false;
    std::string SourceLibraryName;
    std::string LibraryReference;
    friend bool operator==(const TModelFileRequest&, const TModelFileRequest&) = default;
  };
  TModelFileRequest FModelFileRequest;
};

// The four implementation parameters held in fields of their own, never in the lists.
bool IsReservedParameterName(const std::string& name);

}  // namespace tolvex
