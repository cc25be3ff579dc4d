// The start of the editor frame base: what the kind registry needs of a frame; the frame contract fills in the rest.
#pragma once

#include <string>

namespace tolvex {

class TImplementationData;
class TImplementationEditorDialog;

// Base of every editor frame. Frames are never constructed directly: the kind registry's
// factory (EditorClassOf in SimImplementationEditorManager.h) constructs one and then
// calls InitParameters, so that the most-derived override runs on a fully built frame.
class TSimImplEditor {
 public:
  TSimImplEditor(TImplementationEditorDialog* owner, TImplementationData* implementationData,
                 const std::string& qualifier)
      : FOwner(owner), FImplementationData(implementationData), FQualifier(qualifier) {}
  virtual ~TSimImplEditor() = default;
  TSimImplEditor(const TSimImplEditor&) = delete;
  TSimImplEditor& operator=(const TSimImplEditor&) = delete;

  // Makes the frame's working parameters fit its kind.
  virtual void InitParameters() {}

  TImplementationEditorDialog* Owner() const { return FOwner; }
  TImplementationData* ImplementationData() const { return FImplementationData; }
  // The registry's word for this frame ("Voltage", "Current", an initial-condition sub-kind), empty for most.
  const std::string& Qualifier() const { return FQualifier; }

 protected:
  TImplementationEditorDialog* FOwner;
  TImplementationData* FImplementationData;  // not owned
  std::string FQualifier;
};

}  // namespace tolvex
