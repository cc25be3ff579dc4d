// libFuzzer target for the "Port Map" text: arbitrary bytes parsed by TPortMapping, written back with GetText and
// parsed again, with every look-up and change asked of what was parsed.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "model_data/PortMapping.h"
#include "support/TextUtils.h"

using namespace tolvex;

namespace {

// A violated rule is a finding: abort so that libFuzzer keeps the input.
void Check(bool condition, const char* rule) {
  if (!condition) {
    std::fprintf(stderr, "PortMapFuzz: broken rule: %s\n", rule);
    std::abort();
  }
}

bool AllDigits(const std::string& text) {
  if (text.empty()) return false;
  for (const char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

// The port the first group of Pin (letter case ignored) maps to, or empty: what the look-ups must answer.
std::string ExpectedPort(const TPortMapping& mapping, const std::string& pin) {
  for (std::size_t i = 0; i < mapping.Pins().size(); ++i)
    if (SameText(mapping.Pins()[i], pin)) return mapping.Ports()[i];
  return {};
}

void CheckLookUps(const TPortMapping& mapping, const std::string& pin) {
  const std::string port = mapping.GetPortOfPin(pin);
  Check(port == ExpectedPort(mapping, pin), "a pin's port is that of its first group");
  const int number = mapping.GetPortNumberOfPin(pin);
  Check(number == -1 || number >= 1, "a port number is positive or -1");
  if (number >= 1) Check(AllDigits(port), "only a run of digits is a port number");
  if (number == -1 && AllDigits(port)) Check(port.find_first_not_of('0') == std::string::npos || port.size() > 9,
                                             "a port of digits is a number unless it is 0 or too large");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const TPortMapping mapping(text);
  Check(mapping.Text() == text, "the mapping keeps its text");
  Check(mapping.Pins().size() == mapping.Ports().size(), "pins and ports pair up");
  // Each group consumes at least its "(", ":" and ")".
  Check(mapping.Pins().size() * 3 <= size, "a group takes three characters at least");

  const std::string written = mapping.GetText();
  Check(mapping.Pins().empty() == written.empty(), "only an empty mapping writes an empty text");
  const TPortMapping again(written);
  Check(again.Pins() == mapping.Pins() && again.Ports() == mapping.Ports(), "GetText parses to the same groups");
  Check(again.GetText() == written, "a written text is written the same again");

  for (const std::string& pin : mapping.Pins()) {
    CheckLookUps(mapping, pin);
    CheckLookUps(mapping, UpperCaseAscii(pin));
  }
  // Pins that are not in the mapping, and pieces of the text that may or may not be.
  for (const std::string& pin : {std::string(), std::string("1"), std::string("NC"), text.substr(0, size % 7)})
    CheckLookUps(mapping, pin);

  // A change replaces one port and keeps the pins; a pin not in the mapping changes nothing.
  TPortMapping changed(text);
  changed.SetPortOfPin("\x01not a pin\x02", "9");
  Check(changed.Pins() == mapping.Pins() && changed.Ports() == mapping.Ports(), "an unknown pin changes nothing");
  if (!mapping.Pins().empty()) {
    const std::string& pin = mapping.Pins()[size % mapping.Pins().size()];
    changed.SetPortOfPin(pin, "NC");
    Check(changed.GetPortOfPin(pin) == "NC" && changed.GetPortNumberOfPin(pin) == -1, "a changed port is NC");
    Check(changed.Pins() == mapping.Pins(), "a change keeps the pins");
    std::size_t differences = 0;
    for (std::size_t i = 0; i < mapping.Ports().size(); ++i)
      differences += changed.Ports()[i] != mapping.Ports()[i] ? 1 : 0;
    Check(differences <= 1, "a change replaces one port");
    const TPortMapping reread(changed.GetText());
    Check(reread.Pins() == changed.Pins() && reread.Ports() == changed.Ports(), "a changed mapping parses back");
  }
  return 0;
}
