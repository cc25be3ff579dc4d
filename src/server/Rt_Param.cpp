// Parsing, formatting and cached look-up of Name=Value|Name=Value parameter texts.
#include "server/Rt_Param.h"

#include <cstring>
#include <memory>

namespace tolvex {

namespace {

std::string_view UpToNul(std::string_view s) { return s.substr(0, s.find('\0')); }

std::string_view CStringView(const char* text) { return text ? std::string_view(text) : std::string_view(); }

// The look-up name as a 255-character name field would hold it, so that a long name
// finds the entry that was stored from it.
std::string_view LookupName(std::string_view name) {
  return TrimView(UpToNul(name)).substr(0, kShortStringLength);
}

struct TParameterCache {
  TParameterList FList;
  // Empty means nothing cached: an empty text is answered without the cache.
  std::string FText;
  std::size_t FParseCount = 0;
};

std::unique_ptr<TParameterCache>& CacheSlot() {
  static std::unique_ptr<TParameterCache> cache;
  return cache;
}

TParameterCache& Cache() {
  auto& slot = CacheSlot();
  if (!slot) slot = std::make_unique<TParameterCache>();
  return *slot;
}

}  // namespace

bool SameName(std::string_view a, std::string_view b) { return SameText(TrimView(a), TrimView(b)); }

bool CanRepresentParameter(std::string_view name, std::string_view value) {
  return !TrimView(name).empty() && name.find_first_of(std::string_view("=|\0", 3)) == std::string_view::npos &&
         value.find_first_of(std::string_view("|\0", 2)) == std::string_view::npos;
}

TParameter::TParameter(std::string_view name, std::string_view value)
    // Trimmed again after the cut, so a blank at the cut point never ends a stored name.
    : FName(TrimView(CutText(TrimView(UpToNul(name)), kShortStringLength))), FValue(UpToNul(value)) {}

void TParameter::SetValue(std::string_view value) { FValue = std::string(UpToNul(value)); }

void TParameterList::Parse(const char* text) { Parse(CStringView(text)); }

void TParameterList::Parse(std::string_view text) {
  FItems.clear();
  std::string name;
  std::string value;
  bool inValue = false;

  auto endParameter = [&] {
    if (inValue) AddParameter(name, value);
    name.clear();
    value.clear();
    inValue = false;
  };

  for (char c : UpToNul(text)) {
    if (c == '|') {
      endParameter();
    } else if (c == '=' && !inValue) {
      inValue = true;
    } else if (inValue) {
      if (value.size() < kMaxParameterValueLength) value.push_back(c);
    } else if (name.size() < kShortStringLength) {
      name.push_back(c);
    }
  }
  endParameter();
}

void TParameterList::AddParameter(std::string_view name, std::string_view value) {
  TParameter parameter(name, value);
  if (!parameter.Name().empty()) FItems.push_back(std::move(parameter));
}

TParameter* TParameterList::Find(std::string_view name) {
  return const_cast<TParameter*>(static_cast<const TParameterList*>(this)->Find(name));
}

const TParameter* TParameterList::Find(std::string_view name) const {
  const std::string_view wanted = LookupName(name);
  for (const TParameter& parameter : FItems)
    if (SameName(parameter.Name(), wanted)) return &parameter;
  return nullptr;
}

bool TParameterList::GetValue(std::string_view name, std::string& value) const {
  const TParameter* parameter = Find(name);
  if (!parameter) {
    value.clear();
    return false;
  }
  // Cut before trimming: a reader sees what a 255-character value field would hold.
  value = Trim(CutText(parameter->Value(), kShortStringLength));
  return true;
}

void TParameterList::RemoveParameter(std::string_view name) {
  const TParameter* parameter = Find(name);
  if (parameter) FItems.erase(FItems.begin() + (parameter - FItems.data()));
}

bool TParameterList::FormatTo(char* buffer, std::size_t bufferSize) const {
  if (!buffer || bufferSize == 0) return false;
  std::size_t length = 0;
  bool first = true;
  for (const TParameter& parameter : FItems) {
    const std::size_t entryLength = (first ? 0 : 1) + parameter.Name().size() + 1 + parameter.Value().size();
    // The NUL needs its byte too; compared this way round nothing can wrap.
    if (!CanRepresentParameter(parameter.Name(), parameter.Value()) || entryLength >= bufferSize - length) {
      buffer[length] = '\0';
      return false;
    }
    char* out = buffer + length;
    if (!first) *out++ = '|';
    std::memcpy(out, parameter.Name().data(), parameter.Name().size());
    out += parameter.Name().size();
    *out++ = '=';
    std::memcpy(out, parameter.Value().data(), parameter.Value().size());
    length += entryLength;
    first = false;
  }
  buffer[length] = '\0';
  return true;
}

bool TParameterList::CanFormat() const {
  for (const TParameter& parameter : FItems)
    if (!CanRepresentParameter(parameter.Name(), parameter.Value())) return false;
  return true;
}

std::string TParameterList::Format() const {
  std::string text;
  for (const TParameter& parameter : FItems) {
    if (!CanRepresentParameter(parameter.Name(), parameter.Value())) break;
    if (!text.empty()) text += '|';
    text += parameter.Name();
    text += '=';
    text += parameter.Value();
  }
  return text;
}

bool SetParameterInBuffer(char* buffer, std::size_t bufferSize, std::string_view name, std::string_view value) {
  if (!buffer || bufferSize == 0) return false;
  TParameterList list;
  // A buffer without a NUL is read only up to its end.
  const void* nul = std::memchr(buffer, '\0', bufferSize);
  const std::size_t length = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - buffer) : bufferSize;
  list.Parse(std::string_view(buffer, length));
  const std::string_view newName = TrimView(name);
  const std::string_view newValue = TrimView(value);
  const bool representable = newName.size() <= kShortStringLength && newValue.size() <= kShortStringLength &&
                             CanRepresentParameter(newName, newValue);
  if (representable) {
    if (TParameter* existing = list.Find(newName))
      existing->SetValue(newValue);
    else
      list.AddParameter(newName, newValue);
  }
  // A result that does not fit leaves the caller's text as it was rather than
  // dropping the entries after the cut: nothing the buffer held is lost.
  const std::string text = representable ? list.Format() : std::string();
  if (!representable || text.size() >= bufferSize) {
    if (!nul) buffer[bufferSize - 1] = '\0';
    return false;
  }
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return true;
}

void InitializeParameterCache() { CacheSlot() = std::make_unique<TParameterCache>(); }

void FinalizeParameterCache() { CacheSlot().reset(); }

std::size_t ParameterCacheParseCount() { return CacheSlot() ? CacheSlot()->FParseCount : 0; }

bool GetParameterFromText(const char* text, std::string_view name, std::string& value) {
  const std::string_view textView = CStringView(text);
  if (textView.empty()) {
    value.clear();
    return false;
  }
  TParameterCache& cache = Cache();
  if (textView.size() > kMaxParameterValueLength) {
    ++cache.FParseCount;
    TParameterList list;
    list.Parse(textView);
    return list.GetValue(name, value);
  }
  if (textView != cache.FText) {
    ++cache.FParseCount;
    // Forget the old text first: should parsing fail, the cache must not pair it with a stale list.
    cache.FText.clear();
    cache.FList.Parse(textView);
    cache.FText.assign(textView);
  }
  return cache.FList.GetValue(name, value);
}

bool GetParameterFromText(const char* text, const char* name, char* value, std::size_t valueSize) {
  std::string found;
  const bool result = GetParameterFromText(text, CStringView(name), found);
  if (value && valueSize > 0) {
    const std::size_t length = found.size() < valueSize ? found.size() : valueSize - 1;
    std::memcpy(value, found.data(), length);
    value[length] = '\0';
  }
  return result;
}

}  // namespace tolvex
