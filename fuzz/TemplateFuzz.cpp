// libFuzzer target for the netlist template language: arbitrary bytes as a template, parsed and expanded by a
// parser whose nets and schematic values come from small tables, with and without a parameter list and a
// net-name hook. Nothing may crash or hang, and the output must stay within what the template can produce.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "model_data/ImplementationData.h"
#include "templates/NetlistTemplateParser.h"

using namespace tolvex;

namespace {

// A violated rule is a finding: abort so that libFuzzer keeps the input.
void Check(bool condition, const char* rule) {
  if (!condition) {
    std::fprintf(stderr, "TemplateFuzz: broken rule: %s\n", rule);
    std::abort();
  }
}

// Port numbers to nets; a kind letter after the number (1A, 2v) is looked up without it.
const std::map<std::string, std::string> kNets = {
    {"1", "IN"}, {"2", "NetC1_2"}, {"3", "N0007"}, {"4", "0"}, {"IN", "<IN>"}, {"10", "A_LONGER_NET_NAME_10"}};

// The schematic's values, used when the expansion has no list.
const std::map<std::string, std::string> kValues = {
    {"DESIGNATOR", "R5"}, {"VALUE", "4k7"}, {"MODEL", "D1N4148"}, {"IC", "5"}, {"EMPTY", ""}};

// The preview's kind of list: parameters, then the implementation's entries.
const std::vector<std::pair<std::string, std::string>> kEntries = {
    {"Value", "4k7"},         {"IC", ""},          {"Initial Voltage", "0.5"}, {"A", "1"},
    {"Long", std::string(40, 'L')}, {"Model", "QN"}, {"ModelLocation", ""},      {"Spice Prefix", "Q"},
    {"Designator", "5"},      {"Port Map", "(1:1),(2:2)"}};

// The hook marks every net with its pin kind code, so that the code reaches the output.
void MarkNet(const std::string& netName, int pinKind, std::string& result) {
  result = netName + "#" + std::to_string(pinKind);
}
constexpr std::size_t kHookGrowth = 2;

class TTableParser final : public TAbstractNetlistTemplateParser {
 public:
  TTableParser(const std::string& text, std::vector<std::string>* errors, bool quiet, TMapNetNameEvent hook)
      : TAbstractNetlistTemplateParser(text, quiet, std::move(hook), errors) {}

 protected:
  std::unique_ptr<TAbstractNetlistTemplateToken> CreateToken() override {
    return std::make_unique<TAbstractNetlistTemplateToken>(this);
  }
  std::unique_ptr<TAbstractNetlistTemplateParser> CreateSubParser(const std::string& text) override {
    return std::make_unique<TTableParser>(text, FErrors, FQuiet, FOnMapNetName);
  }
  std::string GetPinNet(const std::string& pinId, const TParameterDataList*) override {
    auto it = kNets.find(pinId);
    return it == kNets.end() ? std::string() : it->second;
  }
  std::string GetParameterValue(const std::string& name) override {
    auto it = kValues.find(name);
    return it == kValues.end() ? std::string() : it->second;
  }
};

std::size_t Longest(const std::map<std::string, std::string>& table) {
  std::size_t n = 0;
  for (const auto& [key, value] : table) n = std::max(n, value.size());
  return n;
}

// The longest text one value reference can yield: a value, or a designator with its prefix in front.
std::size_t LongestValue() {
  std::size_t value = Longest(kValues), prefix = 0, designator = 0;
  for (const auto& [name, text] : kEntries) {
    value = std::max(value, text.size());
    if (name == "Spice Prefix") prefix = text.size();
    if (name == "Designator") designator = text.size();
  }
  return std::max(value, prefix + designator);
}

bool KnownMessage(const std::string& message) {
  static const char* const kFixed[] = {
      "Expected separator character after parameter name",
      "Expected separator character after # character",
      "Expected Alphanumeric Pin ID after % character",
      "Expected parameter name",
      "Expected closing brace ]",
      "Expected closing delimiter",
      "Expected Separator Character",
      "Expected closing Separator",
      "No Spice Prefix specified",
      "Template nested too deeply",
  };
  for (const char* fixed : kFixed)
    if (message == fixed) return true;
  for (const char* opening : {"Could not map Pin (", "Parameter Undefined ("})
    if (message.rfind(opening, 0) == 0 && message.back() == ')') return true;
  return false;
}

struct TExpansion {
  std::vector<std::string> Lines;
  std::vector<std::string> Messages;
};

TExpansion Expand(const std::string& text, bool quiet, bool hook, const TParameterDataList* list) {
  TExpansion out;
  TTableParser parser(text, &out.Messages, quiet, hook ? TMapNetNameEvent(&MarkNet) : TMapNetNameEvent());
  parser.Parse();
  const std::size_t parseMessages = out.Messages.size();
  parser.Expand(out.Lines, list);
  // A second expansion of the same tree gives the same again: expanding changes nothing in the parser.
  std::vector<std::string> again;
  std::vector<std::string> before(out.Messages);
  parser.Expand(again, list);
  Check(again == out.Lines, "a tree expands the same twice");
  Check(out.Messages.size() - before.size() == before.size() - parseMessages, "a second expansion reports the same");
  out.Messages.resize(before.size());
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  static const TParameterDataList* const list = [] {
    auto* l = new TParameterDataList;
    for (const auto& [name, value] : kEntries) l->AddParameter(name, value);
    return l;
  }();
  static const std::size_t maxValue = LongestValue();
  static const std::size_t maxNet = Longest(kNets) + kHookGrowth;

  // Every line after the first begins at a line break of the template, a backslash and an n.
  std::size_t breaks = 0;
  for (std::size_t i = 0; i + 1 < size; ++i)
    if (text[i] == '\\' && (text[i + 1] == 'n' || text[i + 1] == 'N')) ++breaks;

  for (const bool withList : {true, false}) {
    for (const bool hook : {false, true}) {
      const TExpansion loud = Expand(text, false, hook, withList ? list : nullptr);
      std::size_t total = 0;
      for (const std::string& line : loud.Lines) total += line.size();
      Check(loud.Lines.size() <= breaks + 1, "no line without a line break in the template");
      Check(loud.Lines.size() <= size + 1, "lines are bounded by the template's length");
      Check(total <= (size + 1) * (maxValue + maxNet + 2), "the text is bounded by the template's length");
      Check(size != 0 || loud.Lines.empty(), "an empty template yields nothing");
      for (const std::string& message : loud.Messages) Check(KnownMessage(message), "every message is a known one");
      Check(loud.Messages.size() <= 2 * size + 2, "messages are bounded by the template's length");

      // Messages change nothing in the lines, and a quiet parser reports none.
      const TExpansion quiet = Expand(text, true, hook, withList ? list : nullptr);
      Check(quiet.Lines == loud.Lines, "a quiet expansion yields the same lines");
      Check(quiet.Messages.empty(), "a quiet parser reports nothing");
    }
  }
  return 0;
}
