// Parsing and writing the "Port Map" text.
#include "model_data/PortMapping.h"

#include <charconv>

#include "support/TextUtils.h"

namespace tolvex {

TPortMapping::TPortMapping(const std::string& text) : FText(text) {
  std::string s = text;
  for (;;) {
    const std::size_t colon = s.find(':');
    if (colon == std::string::npos) break;
    const std::size_t open = s.find('(');
    const std::size_t close = s.find(')');
    std::string pin, port;
    if (open != std::string::npos && open < colon) pin = s.substr(open + 1, colon - open - 1);
    if (close != std::string::npos && close > colon) port = s.substr(colon + 1, close - colon - 1);
    // Text that is not a well-formed group ends the parse: a ":" without a "(" before it
    // or a ")" after it cannot be deleted as a group, so going on could never finish.
    if (open == std::string::npos || close == std::string::npos || open > colon || close < colon) break;
    FPorts.push_back(port);
    FPins.push_back(pin);
    s.erase(open, close - open + 1);
    if (!s.empty() && s.front() == ',') s.erase(0, 1);
  }
}

int TPortMapping::IndexOfPin(const std::string& pin) const {
  for (std::size_t i = 0; i < FPins.size(); ++i)
    if (SameText(FPins[i], pin)) return i < FPorts.size() ? static_cast<int>(i) : -1;
  return -1;
}

std::string TPortMapping::GetPortOfPin(const std::string& pin) const {
  const int i = IndexOfPin(pin);
  return i < 0 ? std::string() : FPorts[i];
}

int TPortMapping::GetPortNumberOfPin(const std::string& pin) const {
  const std::string port = GetPortOfPin(pin);
  int value = 0;
  const auto result = std::from_chars(port.data(), port.data() + port.size(), value);
  if (port.empty() || result.ec != std::errc() || result.ptr != port.data() + port.size() || value <= 0) return -1;
  return value;
}

void TPortMapping::SetPortOfPin(const std::string& pin, const std::string& port) {
  const int i = IndexOfPin(pin);
  if (i >= 0) FPorts[i] = port;
}

std::string TPortMapping::GetText() const {
  std::string text;
  for (std::size_t i = 0; i < FPins.size(); ++i) text += ",(" + FPins[i] + ":" + FPorts[i] + ")";
  if (!text.empty()) text.erase(0, 1);
  return text;
}

}  // namespace tolvex
