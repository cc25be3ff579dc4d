// The text format of tolvex-probe: one fact a line, a name and either one quoted value or key="value" fields.
#pragma once

#include <initializer_list>
#include <ostream>
#include <string>
#include <utility>

namespace tolvex::probe {

// Quotes Text with the journal's escapes: backslash, double quote, CR, LF and tab as \\ \" \r \n \t, every other
// control character (below 32, and 127) as \xHH; all other bytes, UTF-8 included, as they are.
std::string Quoted(const std::string& text);

class TOutput {
 public:
  explicit TOutput(std::ostream& stream) : FStream(stream) {}

  // name "value"
  void Value(const std::string& name, const std::string& value);
  // name "true" or name "false"
  void Flag(const std::string& name, bool value) { Value(name, value ? "true" : "false"); }
  // name "123"
  void Number(const std::string& name, long long value) { Value(name, std::to_string(value)); }
  // name key="value" key="value" ...
  void Record(const std::string& name, std::initializer_list<std::pair<const char*, std::string>> fields);
  // A line as it stands, for the editor's own texts such as "[Error - Model Not Found]".
  void Text(const std::string& line);

 private:
  std::ostream& FStream;
};

}  // namespace tolvex::probe
