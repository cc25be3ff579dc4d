// The "Port Map" text of an implementation: which schematic pin connects to which model port.
#pragma once

#include <string>
#include <vector>

namespace tolvex {

// Text form: groups "(" pin ":" port ")" separated by ",", e.g. (1:1),(2:2); port is the
// 1-based model port or "NC". Pins and ports are kept as written, blanks included.
class TPortMapping {
 public:
  explicit TPortMapping(const std::string& text = {});

  // The port text mapped to Pin (letter case ignored), or empty.
  std::string GetPortOfPin(const std::string& pin) const;
  // The port as a positive whole number, or -1 ("NC", empty, 0, negative, not a number).
  int GetPortNumberOfPin(const std::string& pin) const;
  // Replaces the port of a pin already in the mapping; pins are never added or removed.
  void SetPortOfPin(const std::string& pin, const std::string& port);
  std::string GetText() const;

  const std::string& Text() const { return FText; }
  const std::vector<std::string>& Pins() const { return FPins; }
  const std::vector<std::string>& Ports() const { return FPorts; }

 private:
  int IndexOfPin(const std::string& pin) const;

  std::string FText;
  std::vector<std::string> FPorts;
  std::vector<std::string> FPins;
};

}  // namespace tolvex
