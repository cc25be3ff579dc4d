// The template parser bound to one schematic component, one of its implementations and one
// of its parts: net names from the host's compiled design, values from the schematic.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "host/HostInterfaces.h"
#include "host/InterfacePtr.h"
#include "model_data/SchObjects.h"
#include "templates/NetlistTemplateParser.h"

namespace tolvex {

class TNetlistTemplateToken_Sch : public TAbstractNetlistTemplateToken {
 public:
  using TAbstractNetlistTemplateToken::TAbstractNetlistTemplateToken;
};

// The pin items of a project's compiled design, keyed by pin name, pin number (letter case
// ignored) and location, each key holding the first item in the search order: the compiled
// document when there is one, else the first document list and then the second. Built once
// and shared by every pin reference of an expansion, or of many expansions of one design.
class TDesignPinIndex {
 public:
  // The focused project's design; an index that finds nothing without a workspace or project.
  // A failure status of the workspace or the design raises EHostError.
  static std::unique_ptr<TDesignPinIndex> FromWorkspace();
  explicit TDesignPinIndex(IProject* project);

  IDesignPin* Find(const std::string& pinName, const std::string& pinNumber, std::int32_t x, std::int32_t y) const;
  bool HasProject() const { return FHasProject; }
  std::size_t Size() const { return FPins.size(); }

  // A pin item of another component that has the key of an earlier one: a look-up of it
  // finds the earlier item (and its net) instead.
  struct TShadowedPin {
    std::string Component;  // the designator of the shadowed item's component
    std::string PinNumber;
    std::string ShadowedBy;  // the designator of the component whose item wins
  };
  const std::vector<TShadowedPin>& ShadowedPins() const { return FShadowed; }

 private:
  void AddDocument(IDesignDocument* document);
  using TKey = std::tuple<std::string, std::string, std::int32_t, std::int32_t>;
  struct TEntry {
    TInterfacePtr<IDesignPin> Pin;
    std::string Component;
  };
  std::map<TKey, TEntry> FPins;
  std::vector<TShadowedPin> FShadowed;
  bool FHasProject = false;
};

// The net name of a pin item of the compiled design, by the host's naming rules.
std::string DesignNetName(IDesignPin* item);
// Where the compiled design's item of a schematic pin lies: the place from which the pin's stored location
// (FLocationX, FLocationY) is computed back, the pin's length away from it in the direction of its orientation
// (0 right, 1 up, 2 left, 3 down, others right). False when that lies outside 32-bit coordinates, where no item
// can be.
bool DesignPinLocation(const TSchPin& pin, std::int32_t& x, std::int32_t& y);

class TNetlistTemplateParser_Sch : public TAbstractNetlistTemplateParser {
 public:
  // Index, when given, is the compiled design to use (not owned); without one the parser
  // builds one from the workspace at its first pin reference and shares it with its sub-parsers.
  TNetlistTemplateParser_Sch(const std::string& templateText, THandle implementationHandle, std::int32_t partId,
                             THandle componentHandle, bool quiet, TMapNetNameEvent onMapNetName,
                             std::vector<std::string>* errors, const TDesignPinIndex* index = nullptr);
  ~TNetlistTemplateParser_Sch() override;

  // False once a mapped pin had no item in the compiled design.
  bool NetNamesAvailable() const { return FNetNamesAvailable; }
  // The design index this parser built for itself (at its first pin reference), for a caller that
  // expands again over the same design; null when it built none.
  std::unique_ptr<TDesignPinIndex> TakeBuiltIndex() { return std::move(FOwnIndex); }

  const TSchComponent& Component() const { return FComponent; }
  const TComponentImplementation& Implementation() const { return FImplementation; }

 protected:
  std::unique_ptr<TAbstractNetlistTemplateToken> CreateToken() override;
  std::unique_ptr<TAbstractNetlistTemplateParser> CreateSubParser(const std::string& text) override;
  std::string GetPinNet(const std::string& pinId, const TParameterDataList* parameters) override;
  std::string GetParameterValue(const std::string& name) override;

 private:
  const TDesignPinIndex& Index();
  void MarkNetNamesUnavailable();

  TSchComponent FComponent;
  std::int32_t FPartId;
  TComponentImplementation FImplementation;
  bool FNetNamesAvailable = true;
  THandle FImplementationHandle;
  THandle FComponentHandle;
  const TDesignPinIndex* FIndex;
  std::unique_ptr<TDesignPinIndex> FOwnIndex;
};

}  // namespace tolvex
