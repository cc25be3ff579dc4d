// Parsing and expanding netlist templates.
#include "templates/NetlistTemplateParser.h"

#include <cstring>

#include "host/MessageBoxes.h"
#include "model_data/ImplementationData.h"
#include "support/TextUtils.h"

namespace tolvex {

namespace {

bool IsSpecial(char c) { return c != '\0' && std::strchr("#%&?@[\\~", c) != nullptr; }
bool IsSeparator(char c) { return c != '\0' && std::strchr(",./;|", c) != nullptr; }
bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// The kind letter at the end of a pin id and its code; -1 for none.
int KindLetterCode(char c) {
  switch (UpCaseAscii(c)) {
    case 'A': return pkAnalog;
    case 'I': return pkInput;
    case 'O': return pkOutput;
    case 'V': return pkVoltage;
  }
  return -1;
}

// Appends to the current line (the last one).
void Append(std::vector<std::string>& lines, const std::string& text) {
  if (lines.empty()) lines.emplace_back();
  lines.back() += text;
}

// Adds lines of another expansion: the first continues the current line, the rest follow.
void Splice(std::vector<std::string>& lines, const std::vector<std::string>& part) {
  for (std::size_t i = 0; i < part.size(); ++i) {
    if (i == 0)
      Append(lines, part[0]);
    else
      lines.push_back(part[i]);
  }
}

}  // namespace

TAbstractNetlistTemplateToken::~TAbstractNetlistTemplateToken() = default;

TAbstractNetlistTemplateParser::TAbstractNetlistTemplateParser(std::string templateText, bool quiet,
                                                               TMapNetNameEvent onMapNetName,
                                                               std::vector<std::string>* errors)
    : FQuiet(quiet), FOnMapNetName(std::move(onMapNetName)), FErrors(errors), FTemplate(std::move(templateText)) {}

TAbstractNetlistTemplateParser::~TAbstractNetlistTemplateParser() = default;

void TAbstractNetlistTemplateParser::ReportError(const std::string& message) {
  if (FQuiet) return;
  if (FErrors)
    FErrors->push_back(message);
  else
    ShowError(message);
}

void TAbstractNetlistTemplateParser::Parse() {
  std::size_t position = 0;
  while (auto token = ReadToken(position)) FTokens.push_back(std::move(token));
}

std::unique_ptr<TAbstractNetlistTemplateParser> TAbstractNetlistTemplateParser::SubParser(const std::string& text,
                                                                                          std::uint8_t groupLevel) {
  // Sections nest by taking the rest of the template, so a long pasted template can nest
  // thousands deep; parsing, expanding and freeing all recurse, so the depth is bounded.
  std::size_t depth = 1;
  for (const TAbstractNetlistTemplateParser* p = this; p->FParent; p = p->FParent) ++depth;
  if (depth >= kMaxTemplateNesting) {
    ReportError("Template nested too deeply");
    return nullptr;
  }
  auto sub = CreateSubParser(text);
  sub->FParent = this;
  sub->FGroupLevel = groupLevel;
  sub->Parse();
  return sub;
}

std::string TAbstractNetlistTemplateParser::ReadName(std::size_t& position) {
  const std::string& t = FTemplate;
  if (position >= t.size()) return {};
  if (t[position] == '"') {
    const std::size_t close = t.find('"', position + 1);
    if (close == std::string::npos) {
      ReportError("Expected closing delimiter");
      ++position;
      return {};
    }
    std::string name = t.substr(position + 1, close - position - 1);
    // An empty quoted name leaves its closing quote in place.
    position = name.empty() ? position + 1 : close + 1;
    return name;
  }
  const std::size_t start = position;
  while (position < t.size() && IsNameChar(t[position])) ++position;
  return t.substr(start, position - start);
}

std::string TAbstractNetlistTemplateParser::ReadSeparatedText(std::size_t& position, bool required, bool& present) {
  present = false;
  const std::string& t = FTemplate;
  if (position >= t.size()) return {};
  const char separator = t[position];
  if (!IsSeparator(separator)) {
    if (required) ReportError("Expected Separator Character");
    return {};
  }
  const std::size_t close = t.find(separator, position + 1);
  if (close == std::string::npos) {
    ReportError("Expected closing Separator");
    position = t.size();
    return {};
  }
  present = true;
  std::string text = t.substr(position + 1, close - position - 1);
  position = close + 1;
  return text;
}

std::unique_ptr<TAbstractNetlistTemplateToken> TAbstractNetlistTemplateParser::ReadToken(std::size_t& position) {
  const std::string& t = FTemplate;
  if (position >= t.size()) return nullptr;
  if (!IsSpecial(t[position])) {
    const std::size_t start = position;
    while (position < t.size() && !IsSpecial(t[position])) ++position;
    auto token = CreateToken();
    token->FKind = tkText;
    token->FText = t.substr(start, position - start);
    return token;
  }
  const char special = t[position++];
  // A special character at the very end is dropped without a message.
  if (position >= t.size()) return nullptr;
  auto token = CreateToken();
  switch (special) {
    case '#': {
      const std::string name = ReadName(position);
      bool present = false;
      const std::string prefix = ReadSeparatedText(position, true, present);
      if (prefix.empty()) {
        ReportError(name.empty() ? "Expected separator character after # character"
                                 : "Expected separator character after parameter name");
        return nullptr;
      }
      token->FKind = name.empty() ? tkAnonymousSection : tkSection;
      token->FText = name;
      token->FFirst = SubParser(prefix, 0);
      if (!token->FFirst) return nullptr;
      token->FSecond = SubParser(t.substr(position), 0);
      position = t.size();
      if (!token->FSecond) return nullptr;
      return token;
    }
    case '%': {
      const std::size_t start = position;
      while (position < t.size() && IsNameChar(t[position])) ++position;
      if (position > start) {
        token->FKind = tkPin;
        token->FText = t.substr(start, position - start);
        return token;
      }
      if (t[position] == '%') {
        ++position;
        token->FKind = tkText;
        token->FText = "%";
        return token;
      }
      ReportError("Expected Alphanumeric Pin ID after % character");
      return nullptr;
    }
    case '@':
    case '&': {
      const std::string name = ReadName(position);
      if (name.empty()) {
        ReportError("Expected parameter name");
        return nullptr;
      }
      token->FKind = special == '@' ? tkParameter : tkOptionalParameter;
      token->FText = name;
      return token;
    }
    case '?':
    case '~': {
      const std::string name = ReadName(position);
      bool thenPresent = false, elsePresent = false;
      const std::string thenText = ReadSeparatedText(position, true, thenPresent);
      const std::string elseText = ReadSeparatedText(position, false, elsePresent);
      if (name.empty()) {
        ReportError("Expected parameter name");
        return nullptr;
      }
      if (thenText.empty()) {
        ReportError("Expected separator character after parameter name");
        return nullptr;
      }
      const bool positive = special == '?';
      token->FKind = positive ? (elsePresent ? tkIfSetElse : tkIfSet) : (elsePresent ? tkIfNotSetElse : tkIfNotSet);
      token->FText = name;
      token->FFirst = SubParser(thenText, 0);
      if (!token->FFirst) return nullptr;
      if (elsePresent) {
        token->FSecond = SubParser(elseText, 0);
        if (!token->FSecond) return nullptr;
      }
      return token;
    }
    case '[': {
      const std::size_t close = t.find(']', position);
      std::string text;
      if (close == std::string::npos) {
        ReportError("Expected closing brace ]");
        position = t.size();
      } else {
        text = t.substr(position, close - position);
        position = close + 1;
      }
      if (!FFirstGroupSeen) {
        FFirstGroupSeen = true;
        token->FKind = tkFirstGroup;
        token->FFirst = SubParser(text, 1);
      } else if (!FSecondGroupSeen) {
        FSecondGroupSeen = true;
        token->FKind = tkSecondGroup;
        token->FFirst = SubParser(text, 2);
      } else {
        // A third group contributes nothing, but its messages still count.
        token->FKind = tkText;
        token->FFirst = SubParser(text, 0);
      }
      if (!token->FFirst) return nullptr;
      return token;
    }
    case '\\':
      if (t[position] == 'n' || t[position] == 'N') {
        ++position;
        token->FKind = tkNewLine;
      } else {
        token->FKind = tkText;
        token->FText = "\\";
      }
      return token;
  }
  return nullptr;
}

std::string TAbstractNetlistTemplateParser::LookupParameter(const std::string& name,
                                                            const TParameterDataList& parameters) {
  const TParameterData* entry = parameters.FindData(name);
  if (!entry) return {};
  std::string value = entry->FValue;
  if (!SameText(name, "DESIGNATOR")) return value;
  const TParameterData* prefixEntry = parameters.FindData("Spice Prefix");
  const std::string prefix = prefixEntry ? prefixEntry->FValue : std::string();
  if (prefix.empty()) {
    ReportError("No Spice Prefix specified");
    return value;
  }
  // An empty designator cannot be given a prefix: it stays empty and shows as undefined.
  if (value.empty()) return value;
  if (UpCaseAscii(value[0]) != UpCaseAscii(prefix[0])) value = prefix + value;
  return value;
}

std::string TAbstractNetlistTemplateParser::ValueOf(const std::string& name, const TParameterDataList* parameters) {
  return parameters ? LookupParameter(name, *parameters) : GetParameterValue(name);
}

void TAbstractNetlistTemplateParser::Expand(std::vector<std::string>& lines, const TParameterDataList* parameters) {
  for (const auto& token : FTokens) {
    if (lines.empty()) lines.emplace_back();
    ExpandToken(*token, lines, parameters);
  }
}

void TAbstractNetlistTemplateParser::ExpandToken(const TAbstractNetlistTemplateToken& token,
                                                 std::vector<std::string>& lines,
                                                 const TParameterDataList* parameters) {
  switch (token.FKind) {
    case tkText:
      Append(lines, token.FText);
      return;
    case tkNewLine:
      lines.emplace_back();
      return;
    case tkFirstGroup:
    case tkSecondGroup:
      Append(lines, "[");
      if (token.FFirst) token.FFirst->Expand(lines, parameters);
      Append(lines, "]");
      return;
    case tkPin: {
      int kind = -1;
      std::string net = GetPinNet(token.FText, parameters);
      if (net.empty() && !token.FText.empty()) {
        const int letter = KindLetterCode(token.FText.back());
        if (letter >= 0) {
          net = GetPinNet(token.FText.substr(0, token.FText.size() - 1), parameters);
          if (!net.empty()) kind = letter;
        }
      }
      if (net.empty()) {
        ReportError("Could not map Pin (" + token.FText + ")");
        return;
      }
      if (kind < 0) kind = FGroupLevel == 1 ? pkInput : FGroupLevel == 2 ? pkOutput : pkAnalog;
      // The hook sees the whole name and its result is taken whole: two nets whose names differ only after some
      // length must stay two nodes of the netlist.
      if (FOnMapNetName) {
        std::string result = net;
        FOnMapNetName(net, kind, result);
        net = std::move(result);
      }
      Append(lines, net);
      return;
    }
    case tkParameter:
    case tkOptionalParameter: {
      const std::string value = ValueOf(token.FText, parameters);
      if (!value.empty()) {
        Append(lines, value);
        return;
      }
      std::string& line = lines.back();
      while (!line.empty() && static_cast<unsigned char>(line.back()) < 33) line.pop_back();
      if (token.FKind == tkParameter) ReportError("Parameter Undefined (" + token.FText + ")");
      return;
    }
    case tkIfSet:
    case tkIfSetElse:
    case tkIfNotSet:
    case tkIfNotSetElse: {
      const bool set = !ValueOf(token.FText, parameters).empty();
      const bool positive = token.FKind == tkIfSet || token.FKind == tkIfSetElse;
      TAbstractNetlistTemplateParser* chosen = (set == positive) ? token.FFirst.get() : token.FSecond.get();
      if (chosen) chosen->Expand(lines, parameters);
      return;
    }
    case tkSection:
    case tkAnonymousSection: {
      if (token.FKind == tkSection && ValueOf(token.FText, parameters).empty()) return;
      std::vector<std::string> prefix, rest;
      if (token.FFirst) token.FFirst->Expand(prefix, parameters);
      if (token.FSecond) token.FSecond->Expand(rest, parameters);
      if (token.FKind == tkAnonymousSection && (rest.empty() || TrimView(rest.front()).empty())) return;
      Splice(lines, prefix);
      Splice(lines, rest);
      return;
    }
  }
}

}  // namespace tolvex
