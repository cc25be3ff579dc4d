// An in-memory schematic server bound through the plug-in's binding, for unit tests:
// components with pins and parameters, implementations with parameter containers and
// data-file links, and a library document with a current component.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "host/HostInterfaces.h"

namespace tolvex::test {

struct FakeSchParameter {
  std::string Name;
  std::string Value;
  std::uint8_t ValueType = 0;
  std::uint8_t ReadOnlyFlags = 0;
  std::string T1 = "t1", T2 = "t2";
  std::int32_t OwnerPartId = 0;
  std::int32_t LocationX = 0, LocationY = 0;
};

struct FakeSchPin {
  std::string Name;
  std::string Designator;
  std::int32_t OwnerPartId = 0;
  std::int32_t Length = 10;
  std::uint8_t Orientation = 0;
  std::int32_t LocationX = 0, LocationY = 0;
};

struct FakeDatafileLink {
  std::string EntityName;
  std::string Location;
  std::string Kind;
};

// One instance at a time: the exports are plain functions bound into SchServer() for the
// instance's life (and unbound afterwards).
class FakeSchServer {
 public:
  FakeSchServer();
  ~FakeSchServer();
  FakeSchServer(const FakeSchServer&) = delete;
  FakeSchServer& operator=(const FakeSchServer&) = delete;

  // A component with a container for its pins and parameters, and a designator parameter.
  THandle AddComponent(const std::string& designator, std::int32_t partCount = 1);
  // A component whose container handle is 0 (it holds nothing).
  THandle AddComponentWithoutContainer();
  THandle AddPin(THandle component, const FakeSchPin& pin);
  THandle AddParameter(THandle component, const FakeSchParameter& parameter);
  THandle AddImplementation(THandle component, const std::string& modelName, const std::string& portMap = {});
  THandle AddImplementationParameter(THandle implementation, const FakeSchParameter& parameter);
  void AddDatafileLink(THandle implementation, const FakeDatafileLink& link);
  // A library document whose current component is Component; its pins are the document's pins.
  THandle AddLibraryDocument(const std::string& fileName, THandle currentComponent);
  void AddDocumentPin(THandle document, const FakeSchPin& pin);

  // What the code under test left behind.
  std::vector<FakeSchParameter> ComponentParameters(THandle component) const;
  std::vector<FakeSchParameter> ImplementationParameters(THandle implementation) const;
  const FakeSchParameter* FindParameter(THandle container, const std::string& name) const;
  std::vector<FakeDatafileLink> DatafileLinks(THandle implementation) const;
  std::string PortMap(THandle implementation) const;
  std::string ModelName(THandle implementation) const;
  std::string Description(THandle implementation) const;
  bool UseLibraryModel(THandle implementation) const;
  THandle ContainerOf(THandle componentOrImplementation) const;
  // How many parameter objects exist anywhere (in containers or free): nothing leaks or is copied.
  std::size_t LiveParameterCount() const;
  int CreatedParameters() const { return FCreated; }
  int DestroyedObjects() const { return FDestroyed; }
  int OpenIterators() const { return static_cast<int>(FIterators.size()); }

  // The part painter SchAPI_CreatePainter hands out (a new reference each time); null: the server offers none.
  IInterface* Painter = nullptr;
  // Every SchAPI_DrawComponentByHandle: the painter it was given, the component and the part.
  struct TDraw {
    IInterface* Painter;
    THandle Component;
    std::int32_t Part;
  };
  std::vector<TDraw> Draws;

  // Failure injection.
  bool RefuseCreate = false;
  std::set<std::string> RefusedQueries;  // e.g. "Pin", "Implementation", "DatafileCount"

  // State, public to the export functions.
  struct TObject {
    std::uint8_t Kind = 61;
    THandle Container = 0;            // components and implementations: what they hold
    THandle DesignatorParameter = 0;  // components
    std::int32_t PartCount = 1;
    std::string SourceLibraryName, LibraryReference;
    std::string ModelName, Description, PortMap;
    bool UseLibraryModel = false, LibraryModelAvailable = false;
    std::vector<FakeDatafileLink> Links;
    std::vector<FakeDatafileLink> PendingLinks;  // a write in progress
    FakeSchParameter Parameter;
    FakeSchPin Pin;
    THandle CurrentComponent = 0;  // library documents
    std::string FileName;
    std::vector<THandle> DocumentPins;
  };
  struct TIterator {
    std::vector<THandle> Members;
    std::size_t Next = 0;
  };
  std::map<THandle, TObject> FObjects;
  std::map<THandle, std::vector<THandle>> FContainers;
  std::map<THandle, TIterator> FIterators;
  THandle FNextHandle = 0x1000;
  int FCreated = 0;
  int FDestroyed = 0;

  THandle NewHandle() { return FNextHandle += 8; }
  static FakeSchServer* Current();
};

}  // namespace tolvex::test
