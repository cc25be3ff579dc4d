// The netlist template language: a template is parsed into a tree of tokens and expanded
// into SPICE netlist lines, with net names and schematic values supplied by a subclass.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tolvex {

class TParameterDataList;
class TAbstractNetlistTemplateParser;

enum TNetlistTemplateTokenKind : std::uint8_t {
  tkText = 0,
  tkNewLine = 1,
  tkFirstGroup = 2,
  tkSecondGroup = 3,
  tkPin = 4,
  tkParameter = 5,
  tkOptionalParameter = 6,
  tkIfSet = 7,
  tkIfSetElse = 8,
  tkIfNotSet = 9,
  tkIfNotSetElse = 10,
  tkSection = 11,
  tkAnonymousSection = 12,
};

class TAbstractNetlistTemplateToken {
 public:
  explicit TAbstractNetlistTemplateToken(TAbstractNetlistTemplateParser* parser) : FParser(parser) {}
  virtual ~TAbstractNetlistTemplateToken();

  TAbstractNetlistTemplateParser* FParser;
  std::uint8_t FKind = tkText;
  std::string FText;
  std::unique_ptr<TAbstractNetlistTemplateParser> FFirst;
  std::unique_ptr<TAbstractNetlistTemplateParser> FSecond;
};

// How deep templates may nest (sections, conditions and groups inside each other); deeper
// nesting reports "Template nested too deeply" and ends the template there.
constexpr std::size_t kMaxTemplateNesting = 256;

// Pin kind codes handed to the net-name hook.
enum TPinKindCode : int { pkAnalog = 0, pkInput = 1, pkOutput = 2, pkVoltage = 3 };

// Called with the net name and the pin kind code; Result comes preset to the net name. Both
// texts are whole, of any length.
using TMapNetNameEvent = std::function<void(const std::string& netName, int pinKind, std::string& result)>;

class TAbstractNetlistTemplateParser {
 public:
  // Errors (not owned) collects the messages; without it each message is shown in a box.
  TAbstractNetlistTemplateParser(std::string templateText, bool quiet, TMapNetNameEvent onMapNetName,
                                 std::vector<std::string>* errors);
  virtual ~TAbstractNetlistTemplateParser();
  TAbstractNetlistTemplateParser(const TAbstractNetlistTemplateParser&) = delete;
  TAbstractNetlistTemplateParser& operator=(const TAbstractNetlistTemplateParser&) = delete;

  // Tokenises the whole template; sub-templates are parsed at once, so every syntax
  // message of the tree is reported here.
  void Parse();
  // Evaluates the tokens into Lines, looking parameters up in Parameters or, without a
  // list, through GetParameterValue.
  void Expand(std::vector<std::string>& lines, const TParameterDataList* parameters);
  void ReportError(const std::string& message);
  // The list-based look-up: the entry's value, with the "Spice Prefix" rule for DESIGNATOR.
  std::string LookupParameter(const std::string& name, const TParameterDataList& parameters);

  std::size_t TokenCount() const { return FTokens.size(); }
  const TAbstractNetlistTemplateToken* Token(std::size_t index) const {
    return index < FTokens.size() ? FTokens[index].get() : nullptr;
  }
  const std::string& Template() const { return FTemplate; }
  TAbstractNetlistTemplateParser* Parent() const { return FParent; }
  std::uint8_t GroupLevel() const { return FGroupLevel; }

 protected:
  virtual std::unique_ptr<TAbstractNetlistTemplateToken> CreateToken() = 0;
  // A parser of the same class for Text, sharing the quiet flag, the error list and the hook.
  virtual std::unique_ptr<TAbstractNetlistTemplateParser> CreateSubParser(const std::string& text) = 0;
  // The net of the schematic pin mapped to the model port PinId, or empty.
  virtual std::string GetPinNet(const std::string& pinId, const TParameterDataList* parameters) = 0;
  // A parameter's value from the schematic, or empty (only without a parameter list).
  virtual std::string GetParameterValue(const std::string& name) = 0;

  bool FQuiet;
  TMapNetNameEvent FOnMapNetName;
  std::vector<std::string>* FErrors;

 private:
  std::unique_ptr<TAbstractNetlistTemplateToken> ReadToken(std::size_t& position);
  std::string ReadName(std::size_t& position);
  std::string ReadSeparatedText(std::size_t& position, bool required, bool& present);
  std::unique_ptr<TAbstractNetlistTemplateParser> SubParser(const std::string& text, std::uint8_t groupLevel);
  std::string ValueOf(const std::string& name, const TParameterDataList* parameters);
  void ExpandToken(const TAbstractNetlistTemplateToken& token, std::vector<std::string>& lines,
                   const TParameterDataList* parameters);

  TAbstractNetlistTemplateParser* FParent = nullptr;
  std::string FTemplate;
  std::uint8_t FGroupLevel = 0;
  bool FFirstGroupSeen = false;
  bool FSecondGroupSeen = false;
  std::vector<std::unique_ptr<TAbstractNetlistTemplateToken>> FTokens;
};

}  // namespace tolvex
