// The editor kind registry: which model kinds and sub-kinds exist and which frame class edits each,
// and the per-dialog manager that lists them and creates their frames on demand.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "editor/Frame_SimImplEditor.h"

namespace tolvex {

class TImplementationData;
class TImplementationEditorDialog;

using TEditorFactory = std::unique_ptr<TSimImplEditor> (*)(TImplementationEditorDialog* owner,
                                                           TImplementationData* data,
                                                           const std::string& qualifier);

// A class reference to a frame class: its name and the factory that stands for its virtual constructor.
struct TEditorClass {
  std::string_view ClassName;
  TEditorFactory Create = nullptr;
};

// Constructs the frame, then runs InitParameters: a C++ constructor would only reach the
// override of the class under construction, and frames rely on the most-derived one.
template <class TFrame>
std::unique_ptr<TSimImplEditor> CreateEditorFrame(TImplementationEditorDialog* owner, TImplementationData* data,
                                                  const std::string& qualifier) {
  auto frame = std::make_unique<TFrame>(owner, data, qualifier);
  // Published as the class name without its T, the name a designed frame instance carries.
  frame->Frame().SetName(TFrame::ClassName.substr(TFrame::ClassName.starts_with('T') ? 1 : 0));
  frame->InitParameters();
  return frame;
}

// The class reference of a frame class. The class names itself with a member
// `static constexpr std::string_view ClassName`; each class declares its own, as an inherited
// one would name the base.
template <class TFrame>
constexpr TEditorClass EditorClassOf() {
  static_assert(std::is_base_of_v<TSimImplEditor, TFrame>, "an editor class is a TSimImplEditor");
  static_assert(std::is_constructible_v<TFrame, TImplementationEditorDialog*, TImplementationData*,
                                        const std::string&>,
                "a frame is constructed with (owner, implementation data, qualifier)");
  return TEditorClass{TFrame::ClassName, &CreateEditorFrame<TFrame>};
}

// One registration: a kind and sub-kind pair and the frame class that edits it.
class TEditorKind {
 public:
  TEditorKind(std::string kind, std::string subKind, TEditorClass editorClass, std::string qualifier)
      : Kind(std::move(kind)), SubKind(std::move(subKind)), EditorClass(editorClass),
        Qualifier(std::move(qualifier)) {}
  TEditorKind(const TEditorKind&) = delete;
  TEditorKind& operator=(const TEditorKind&) = delete;

  std::string Kind;
  std::string SubKind;
  TEditorClass EditorClass;
  // The frame of the open dialog, created on its first request; its manager frees it and
  // resets this when the dialog goes.
  std::unique_ptr<TSimImplEditor> Editor;
  std::string Qualifier;
};

// Adds an entry under Kind + ":" + SubKind. Nothing is checked: a pair registered twice is
// two entries, the later one after the earlier.
void RegisterEditorKind(std::string_view kind, std::string_view subKind, TEditorClass editorClass,
                        std::string_view qualifier);
// Frees every entry. Runs at unload, once no dialog and so no manager is left.
void ReleaseEditorKinds();
// The process-wide entries in key order.
const std::vector<std::unique_ptr<TEditorKind>>& EditorKindRegistry();

// The registrations of one kind, in sub-kind order.
struct TEditorKindGroup {
  std::string Kind;
  std::vector<std::string> SubKinds;  // what the dialog lists
  std::vector<TEditorKind*> Entries;  // beside SubKinds, not owned
};

// One per dialog. The frames it creates are cached in the process-wide entries, so at most
// one manager may live at a time; the dialog being modal guarantees it.
class TSimImplementationEditorManager {
 public:
  TSimImplementationEditorManager(TImplementationEditorDialog* dialog, TImplementationData* implementationData);
  // Frees every frame this dialog had and leaves the entries without one.
  ~TSimImplementationEditorManager();
  TSimImplementationEditorManager(const TSimImplementationEditorManager&) = delete;
  TSimImplementationEditorManager& operator=(const TSimImplementationEditorManager&) = delete;

  // Every distinct kind, alphabetical.
  const std::vector<std::string>& Kinds() const { return FKindNames; }
  // The sub-kinds of Kind, alphabetical; null for an unknown kind.
  const std::vector<std::string>* SubKinds(std::string_view kind) const;
  // The frame of the pair, created on its first request and the same one afterwards; null
  // when the kind or the sub-kind is unknown.
  TSimImplEditor* GetEditor(std::string_view kind, std::string_view subKind);

  static std::string DefaultKind() { return "General"; }
  static std::string DefaultSubKind() { return "Generic Editor"; }

 private:
  const TEditorKindGroup* FindKind(std::string_view kind) const;

  std::vector<TEditorKindGroup> FKinds;
  std::vector<std::string> FKindNames;  // the names of FKinds, for the kind combo box
  TImplementationEditorDialog* FDialog;
  TImplementationData* FImplementationData;  // not owned
};

}  // namespace tolvex
