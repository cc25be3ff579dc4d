// A located and read SPICE model file: where the library manager found a model, the file's lines, and for a
// subcircuit its ports and "PARAMS:" parameters.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model_data/ModelFileLines.h"

namespace tolvex {

class TModelFile {
 public:
  // Locates the model through the integrated-library manager (the component's own library when UseLibraryModel is
  // set, else the file search by Location) and reads the file at once. Kind is "MDL" for a model and "CKT" for a
  // subcircuit. Nothing raises: what cannot be found or read leaves the object empty.
  TModelFile(const std::string& location, const std::string& kind, const std::string& sourceLibraryName,
             const std::string& libraryReference, bool useLibraryModel, const std::string& modelName);
  TModelFile(const TModelFile&) = delete;
  TModelFile& operator=(const TModelFile&) = delete;

  // The subcircuit's parameter items (NAME=DEFAULT) in file order.
  int ParameterCount() const;
  // The name part (before the first "=") of item Index; empty when it holds no "=" or Index is out of range.
  std::string ParameterName(int index) const;
  // Whether some item's name part equals Name without regard to case; never for an empty name.
  bool HasParameter(std::string_view name) const;
  int PortCount() const;
  // Port Index (from 0) in file order; empty when out of range.
  std::string Port(int index) const;

  // The whole file, one item per line; nullptr when nothing was read.
  const std::vector<std::string>* Lines() const { return FLines.get(); }
  bool IsSubcircuit() const { return FIsSubcircuit; }
  // The file the manager found the model in (an integrated library or the model file), as the editor shows it.
  const std::string& FoundFile() const { return FFoundFile; }
  // FoundFile without its folder.
  const std::string& FoundFileName() const { return FFoundFileName; }
  // The text file that was read.
  const std::string& ModelPath() const { return FModelPath; }
  // The model name, set only when the file was read.
  const std::string& ModelName() const { return FModelName; }

 private:
  std::optional<std::vector<std::string>> FModelParameters;
  std::optional<std::vector<std::string>> FPorts;
  bool FIsSubcircuit = false;
  std::string FFoundFile;
  std::string FModelPath;
  std::string FFoundFileName;
  std::string FModelName;
  // Shared with the cache of read files: the lines never change once read.
  std::shared_ptr<const std::vector<std::string>> FLines;
};

// Model files are read once: a second look-up of a file whose size and modification time are unchanged takes the
// lines read before, without asking the host to read it again, and finds the model through an index of the file's
// definitions that the second look-up gathers (TModelDefinitionIndex), so that a look-up at every keystroke costs
// next to nothing whatever the file's size. The stamp comes from the file on disk (the host's
// external path of a virtual file); a file whose stamp cannot be told is read every time. A change that keeps both
// size and time (within the file system's time resolution) goes unnoticed.
struct TModelFileStamp {
  std::uint64_t Size = 0;
  std::int64_t Time = 0;
  friend bool operator==(const TModelFileStamp&, const TModelFileStamp&) = default;
};
// Tells Path's stamp; false when it cannot be told.
using TModelFileStampFunc = bool (*)(const std::string& path, TModelFileStamp& stamp);
// Overrides how stamps are told (tests); nullptr restores the file on disk.
void SetModelFileStampProvider(TModelFileStampFunc provider);
// Forgets every file read. Tests whose in-memory files have the paths of real files call this between cases.
void ClearModelFileCache();

}  // namespace tolvex
