// SPICE numbers with scale suffixes (f p n u m k meg g t) to values and back, as the value frames and the piecewise-linear table show them.
#pragma once

#include <string>
#include <string_view>

namespace tolvex {

// The value of Text (its first 255 characters). Never fails: a text that is no number reads as the
// value of its number prefix, 0 when it has none. A comma where the number stops is read as a decimal
// point (2,5 is 2.5); the letter after the number scales it: F 1e-15, P 1e-12, N 1e-9, U 1e-6,
// M 1e-3 (but 1e6 where MEG starts), K 1e3, G 1e9, T 1e12; anything after that letter is ignored.
// Out of range: the largest finite value of that sign, or 0.
long double ParseEngineeringValue(std::string_view text);

// Three significant digits with the scale suffix that fits (1.500k, 220.0u, 1.000e-15, 0.000), in the
// process's decimal separator; from 1e21 on the general format with four significant digits (1.5E21).
std::string FormatEngineeringValue(long double value);

// Empty stays empty; any other text is formatted from its value (2.5m gives 2.500m).
std::string NormaliseEngineeringValue(std::string_view text);

}  // namespace tolvex
