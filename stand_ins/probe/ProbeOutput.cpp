// Writing tolvex-probe's lines.
#include "ProbeOutput.h"

#include <cstdio>

namespace tolvex::probe {

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default:
        if (u < 32 || u == 127) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02X", u);
          out += hex;
        } else {
          out += c;
        }
    }
  }
  out += '"';
  return out;
}

void TOutput::Value(const std::string& name, const std::string& value) {
  FStream << name << ' ' << Quoted(value) << '\n';
}

void TOutput::Record(const std::string& name, std::initializer_list<std::pair<const char*, std::string>> fields) {
  FStream << name;
  for (const auto& [key, value] : fields) FStream << ' ' << key << '=' << Quoted(value);
  FStream << '\n';
}

void TOutput::Text(const std::string& line) { FStream << line << '\n'; }

}  // namespace tolvex::probe
