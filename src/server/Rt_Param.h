// Parameter texts of the form Name=Value|Name=Value: the list they parse into, its formatting back into text, and the cached look-up.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "support/TextUtils.h"

namespace tolvex {

// Parameter texts travel through exchange buffers of at most 64,000 bytes, so a value keeps
// at most what such a buffer holds besides its NUL. Characters of a longer value beyond the
// 63,999th are dropped up to the segment's closing "|"; the rest of the text is still parsed.
constexpr std::size_t kParameterTextBufferSize = 64000;
constexpr std::size_t kMaxParameterValueLength = kParameterTextBufferSize - 1;

// True when both names are equal once trimmed, letter case of a-z/A-Z ignored.
bool SameName(std::string_view a, std::string_view b);

// Whether a parameter text can carry Name and Value so that parsing gives them back: there is
// no escape, so a name holds no "=" and no "|", a value no "|", neither a NUL, and the name is
// not blank. Anything else would be read back as other parameters.
bool CanRepresentParameter(std::string_view name, std::string_view value);

// One entry of a parameter text. The name is kept trimmed and at most kShortStringLength
// characters long; the value is kept exactly as given. Both stop at an embedded NUL,
// because everything that reads them later sees NUL-terminated text.
class TParameter {
 public:
  TParameter(std::string_view name, std::string_view value);

  const std::string& Name() const { return FName; }
  const std::string& Value() const { return FValue; }
  void SetValue(std::string_view value);

 private:
  std::string FName;
  std::string FValue;
};

// An ordered list of parameters; names need not be unique and every look-up takes the
// first match. Pointers from Find stay valid only until the list is next changed.
class TParameterList {
 public:
  // Replaces the contents by the parameters of text. Segments without "=" or with a blank
  // name are dropped; a name keeps at most its first kShortStringLength characters.
  // There is no escape: a value ends at "|" and a name at the first "=".
  void Parse(const char* text);        // nullptr counts as empty
  void Parse(std::string_view text);   // stops at an embedded NUL, as the C text would

  // Appends (trimmed name, value) unless the trimmed name is empty; never merges with an
  // entry of the same name.
  void AddParameter(std::string_view name, std::string_view value);

  // The first entry whose name matches (name cut to kShortStringLength first), or nullptr.
  TParameter* Find(std::string_view name);
  const TParameter* Find(std::string_view name) const;

  // False and an empty value when name is missing; otherwise true and the value cut to
  // kShortStringLength characters, then trimmed.
  bool GetValue(std::string_view name, std::string& value) const;

  // Removes only the first matching entry; no match leaves the list alone.
  void RemoveParameter(std::string_view name);

  // Writes the list as Name=Value|Name=Value into buffer, replacing its text, and always
  // NUL-terminates (unless bufferSize is 0, when nothing is written). When the whole text
  // does not fit, or an entry cannot be represented (CanRepresentParameter; only entries
  // added by hand can be such), it stops after the last complete entry before, so a reader
  // never sees half a parameter or one that reads as others, and returns false.
  bool FormatTo(char* buffer, std::size_t bufferSize) const;
  // The same text without a size limit; it too stops before an entry that cannot be represented.
  std::string Format() const;
  // Whether every entry can be written as it is (Format then gives the whole list).
  bool CanFormat() const;

  void Clear() { FItems.clear(); }
  std::size_t Count() const { return FItems.size(); }
  TParameter& operator[](std::size_t index) { return FItems.at(index); }
  const TParameter& operator[](std::size_t index) const { return FItems.at(index); }

 private:
  std::vector<TParameter> FItems;
};

// Sets one parameter inside the NUL-terminated text held in buffer (bufferSize bytes; the
// text is read no further than that). The value is trimmed; an entry that already matches
// keeps its stored name and gets the new value in place, otherwise the entry is appended.
// The text is rewritten as by FormatTo. A name or trimmed value longer than the
// kShortStringLength-character fields, or one the text cannot carry (CanRepresentParameter),
// is refused rather than cut or written into a text that reads differently. When refused,
// or when the result does not fit, the buffer keeps its old text (a buffer that held no NUL
// is terminated at its last byte) and the answer is false.
bool SetParameterInBuffer(char* buffer, std::size_t bufferSize, std::string_view name,
                          std::string_view value);

// The module-wide cache of GetParameterFromText: the last text looked up and its parsed
// list. Created when the library loads and freed when it unloads; a look-up without it
// creates it on the spot. Like the rest of the library it is used from the host's
// user-interface thread only and takes no lock.
void InitializeParameterCache();
void FinalizeParameterCache();
// How many times GetParameterFromText has parsed a text since the cache was created;
// lets tests see that repeated look-ups in one text parse it once.
std::size_t ParameterCacheParseCount();

// As TParameterList::GetValue, on the parsed form of text, which is parsed again only
// when its bytes differ from the previous text. An absent or empty text yields false and
// an empty value. The cache keeps at most kMaxParameterValueLength characters of text: a
// longer text is parsed in full on every call and not cached, because remembering only a
// cut copy could answer a later, different long text from the wrong list.
//
// This form writes the value into a caller's buffer of valueSize bytes, cut to fit and
// NUL-terminated; kShortStringLength + 1 bytes always hold a whole value.
bool GetParameterFromText(const char* text, const char* name, char* value, std::size_t valueSize);
// This form takes any name (cut to kShortStringLength characters) and returns the value.
bool GetParameterFromText(const char* text, std::string_view name, std::string& value);

}  // namespace tolvex
