// The line rules of SPICE model text: which line defines a model, how "+" lines continue it, and how a subcircuit
// line splits into ports and "PARAMS:" parameters. Pure text functions with no host dependency, so that the
// library manager stand-in finds models by exactly the rules TModelFile reads them with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tolvex {

// Whether Line defines the model Name. The line begins with ".MODEL" or ".SUBCKT" (any letter case), then at
// least one character with a code below 33, then Name (compared without regard to case) followed by such a
// character or the line's end. Bytes of 128 and above are never blanks.
bool IsModelLine(std::string_view line, std::string_view name);

// Whether Line begins with the keyword ".SUBCKT" (any letter case) followed by a blank or the line's end.
bool IsSubcircuitLine(std::string_view line);

// Finds the defining line of one model among lines given one at a time, so that a caller can stop reading a file
// at the definition. Only top-level definitions count: the body of a subcircuit (from its ".SUBCKT" line to the
// matching ".ENDS") may hold local models and subcircuits of the same name, which a netlist cannot reach by that
// name. When the text ends inside a subcircuit body (an ".ENDS" is missing), the nesting cannot be trusted, and the
// first definition at any depth counts.
class TModelLineFinder {
 public:
  // An empty name is never found.
  explicit TModelLineFinder(std::string_view modelName);

  // Looks at the next line; true when it is the top-level definition, after which nothing more is needed.
  bool Feed(std::string_view line);
  // The index (from 0, in the order fed) of the defining line once every line was fed; -1 when there is none.
  std::ptrdiff_t Result() const;

 private:
  std::string FName;
  std::ptrdiff_t FNextIndex = 0;
  std::ptrdiff_t FFound = -1;
  std::ptrdiff_t FFirstNested = -1;
  std::size_t FDepth = 0;
};

// Every definition of a text gathered in one pass, so that any number of names can be looked up without reading the
// text again. For every name it accepts, Find answers exactly what a TModelLineFinder fed the same lines answers
// after the last of them.
class TModelDefinitionIndex {
 public:
  // Looks at the next line. Only lines that begin with "." matter: a caller may hand over any other line cut
  // short, as long as it keeps the line's first character.
  void Feed(std::string_view line);

  // Whether Find answers for ModelName. A name that holds a blank could match a line across several of its items,
  // which the index does not keep: such a name is looked up by reading the text again (TModelLineFinder).
  static bool CanFind(std::string_view modelName);
  // The index (from 0, in the order fed) of the line that defines ModelName, as TModelLineFinder::Result; -1 when
  // there is none, for an empty name, or for a name CanFind refuses.
  std::ptrdiff_t Find(std::string_view modelName) const;
  // How many lines were fed.
  std::ptrdiff_t LineCount() const { return FNextIndex; }
  // About how many bytes of memory the index holds, for the caches that bound theirs.
  std::size_t Bytes() const;

 private:
  // The first definition of one name at one depth: top level, or inside a subcircuit's body.
  struct TDefinition {
    std::size_t Offset;  // of the upper-case name in FNames
    std::size_t Length;
    std::ptrdiff_t Line;
    bool Nested;
  };
  // A slot of the open-addressing table; Definition is an index into FDefinitions plus one, 0 for an empty slot.
  struct TSlot {
    std::uint64_t Hash;
    std::size_t Definition;
  };
  std::size_t Lookup(std::string_view upperName, bool nested, std::uint64_t hash) const;
  void Grow();

  // One block of text, one array and one table rather than a node per name: building the index of a library of
  // 50,000 models costs about as much as reading it, and the index takes a fifth of the file's size.
  std::string FNames;
  std::vector<TDefinition> FDefinitions;
  std::vector<TSlot> FSlots;
  std::ptrdiff_t FNextIndex = 0;
  std::size_t FDepth = 0;
};

// The index of the line that defines ModelName (see TModelLineFinder); -1 for none or an empty name.
int FindModelLine(const std::vector<std::string>& lines, std::string_view modelName);

// The line at Index joined with its continuation lines: each following line that, trimmed, is empty or begins
// with "+" adds a blank and its trimmed text without that first character. Empty lines are thus passed over, and
// the join goes on to further "+" lines. Empty for an index out of range.
std::string JoinContinuationLines(const std::vector<std::string>& lines, int index);

// Splits Text into items. Characters with a code below 33 separate items, a run of them yields no empty item; a
// single or double quote begins a stretch up to the same quote character (or the text's end), and "{" a stretch up
// to its matching "}" (braces nest; or the text's end), within which they do not separate. The quote characters
// and braces stay in the item.
std::vector<std::string> SplitModelItems(std::string_view text);

// What a subcircuit's definition declares.
struct TSubcircuitHeader {
  // Port names in order.
  std::vector<std::string> Ports;
  // The items of the "PARAMS:" sections, each normally NAME=DEFAULT; none when the text declares no "PARAMS:".
  std::optional<std::vector<std::string>> Parameters;
};

// Reads a subcircuit's definition (its ".SUBCKT" line joined with its continuation lines). The items after the
// keyword and the name are ports, up to the first item that begins with one of the keywords "OPTIONAL:", "PARAMS:"
// or "TEXT:" (any letter case), holds an "=" or is followed by an item that begins with "=" (no port name can be
// assigned). The parameters are the items of every "PARAMS:" section, each running to the next keyword: the rest of
// the keyword's own item when anything follows the colon, then every later item. Within a section a name, "=" and a
// value that blanks separate are one parameter, NAME=VALUE without the blanks. "OPTIONAL:" and "TEXT:" sections
// give neither ports nor parameters.
TSubcircuitHeader ReadSubcircuitHeader(std::string_view definition);

}  // namespace tolvex
