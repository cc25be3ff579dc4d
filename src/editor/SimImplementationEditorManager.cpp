// The editor kind registry and the per-dialog manager that creates the frames.
#include "editor/SimImplementationEditorManager.h"

#include <algorithm>

#include "support/TextUtils.h"

namespace tolvex {

namespace {

// Without regard to case, as every look-up of the system: only a-z and A-Z fold, other
// bytes order by value. The platform's locale-aware compare would fold other letters too.
int CompareText(std::string_view a, std::string_view b) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    const auto ca = static_cast<unsigned char>(UpCaseAscii(a[i]));
    const auto cb = static_cast<unsigned char>(UpCaseAscii(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool TextLess(std::string_view a, std::string_view b) { return CompareText(a, b) < 0; }

std::string RegistryKey(std::string_view kind, std::string_view subKind) {
  std::string key(kind);
  key += ':';
  key += subKind;
  return key;
}

// Entries and their keys side by side; the entries alone are what callers see.
struct TEditorKindRegistry {
  std::vector<std::string> Keys;
  std::vector<std::unique_ptr<TEditorKind>> Entries;
};

TEditorKindRegistry& Registry() {
  static TEditorKindRegistry registry;
  return registry;
}

// The position after every name equal to Name, so that a later duplicate follows the earlier ones.
template <class TNames>
std::size_t InsertPosition(const TNames& names, std::string_view name) {
  return static_cast<std::size_t>(std::upper_bound(names.begin(), names.end(), name,
                                                   [](std::string_view n, const auto& item) {
                                                     return TextLess(n, item);
                                                   }) -
                                  names.begin());
}

// The first name equal to Name, or the size when there is none.
std::size_t FindFirst(const std::vector<std::string>& names, std::string_view name) {
  const auto it = std::lower_bound(names.begin(), names.end(), name,
                                   [](const std::string& item, std::string_view n) { return TextLess(item, n); });
  if (it == names.end() || CompareText(*it, name) != 0) return names.size();
  return static_cast<std::size_t>(it - names.begin());
}

}  // namespace

void RegisterEditorKind(std::string_view kind, std::string_view subKind, TEditorClass editorClass,
                        std::string_view qualifier) {
  TEditorKindRegistry& registry = Registry();
  std::string key = RegistryKey(kind, subKind);
  const std::size_t at = InsertPosition(registry.Keys, key);
  auto entry = std::make_unique<TEditorKind>(std::string(kind), std::string(subKind), editorClass,
                                             std::string(qualifier));
  registry.Entries.insert(registry.Entries.begin() + static_cast<std::ptrdiff_t>(at), std::move(entry));
  registry.Keys.insert(registry.Keys.begin() + static_cast<std::ptrdiff_t>(at), std::move(key));
}

void ReleaseEditorKinds() {
  TEditorKindRegistry& registry = Registry();
  registry.Entries.clear();
  registry.Keys.clear();
  registry.Entries.shrink_to_fit();
  registry.Keys.shrink_to_fit();
}

const std::vector<std::unique_ptr<TEditorKind>>& EditorKindRegistry() { return Registry().Entries; }

TSimImplementationEditorManager::TSimImplementationEditorManager(TImplementationEditorDialog* dialog,
                                                                 TImplementationData* implementationData)
    : FDialog(dialog), FImplementationData(implementationData) {
  for (const auto& entry : Registry().Entries) {
    std::size_t kindAt = FindFirst(FKindNames, entry->Kind);
    if (kindAt == FKindNames.size()) {
      kindAt = InsertPosition(FKindNames, entry->Kind);
      FKindNames.insert(FKindNames.begin() + static_cast<std::ptrdiff_t>(kindAt), entry->Kind);
      FKinds.insert(FKinds.begin() + static_cast<std::ptrdiff_t>(kindAt), TEditorKindGroup{entry->Kind, {}, {}});
    }
    TEditorKindGroup& group = FKinds[kindAt];
    const auto subKindAt = static_cast<std::ptrdiff_t>(InsertPosition(group.SubKinds, entry->SubKind));
    group.SubKinds.insert(group.SubKinds.begin() + subKindAt, entry->SubKind);
    group.Entries.insert(group.Entries.begin() + subKindAt, entry.get());
  }
}

TSimImplementationEditorManager::~TSimImplementationEditorManager() {
  for (TEditorKindGroup& group : FKinds)
    for (TEditorKind* entry : group.Entries) entry->Editor.reset();
}

const TEditorKindGroup* TSimImplementationEditorManager::FindKind(std::string_view kind) const {
  const std::size_t at = FindFirst(FKindNames, kind);
  return at == FKindNames.size() ? nullptr : &FKinds[at];
}

const std::vector<std::string>* TSimImplementationEditorManager::SubKinds(std::string_view kind) const {
  const TEditorKindGroup* group = FindKind(kind);
  return group ? &group->SubKinds : nullptr;
}

TSimImplEditor* TSimImplementationEditorManager::GetEditor(std::string_view kind, std::string_view subKind) {
  const TEditorKindGroup* group = FindKind(kind);
  if (!group) return nullptr;
  const std::size_t at = FindFirst(group->SubKinds, subKind);
  if (at == group->SubKinds.size()) return nullptr;
  TEditorKind& entry = *group->Entries[at];
  if (!entry.Editor && entry.EditorClass.Create)
    entry.Editor = entry.EditorClass.Create(FDialog, FImplementationData, entry.Qualifier);
  return entry.Editor.get();
}

}  // namespace tolvex
