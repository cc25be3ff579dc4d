// The engineering-number routines: reading a SPICE value with its scale letter, and writing one back with three significant digits.
#include "editor/EngineeringValue.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "os/Os.h"
#include "support/TextUtils.h"

namespace tolvex {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The length of the decimal number at the start of Text (sign, digits, point, exponent), 0 for none.
// Only this form is a number: no blanks, no hexadecimal, no "inf" or "nan".
std::size_t NumberLength(std::string_view text) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < text.size() && IsDigit(text[j])) {
      while (j < text.size() && IsDigit(text[j])) ++j;
      i = j;
    }
  }
  return i;
}

long double ConvertNumber(std::string_view number) {
  if (number.empty()) return 0;
  const bool negative = number.front() == '-';
  if (number.front() == '+' || number.front() == '-') number.remove_prefix(1);
  long double value = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error == std::errc::result_out_of_range) {
    // Too large or too small for the type: the nearest value it has.
    const std::size_t e = number.find_first_of("eE");
    const bool large = e == std::string_view::npos || number[e + 1] != '-';
    value = large ? std::numeric_limits<long double>::max() : 0;
  } else if (error != std::errc()) {
    value = 0;
  }
  return negative ? -value : value;
}

// The general format with four significant digits as the value frames show huge values: 1E21, 1.5E21.
std::string GeneralFormat(long double value) {
  char buffer[64];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 3).ptr;
  const std::string text(buffer, end);  // d.ddde+xx: four significant digits
  const std::size_t e = text.find('e');
  std::string mantissa = text.substr(0, e);
  // Trailing zeros and a trailing point go.
  if (mantissa.find('.') != std::string::npos) {
    while (mantissa.back() == '0') mantissa.pop_back();
    if (mantissa.back() == '.') mantissa.pop_back();
  }
  std::string exponent = text.substr(e + 1);
  if (!exponent.empty() && exponent.front() == '+') exponent.erase(0, 1);
  const bool negativeExponent = !exponent.empty() && exponent.front() == '-';
  if (negativeExponent) exponent.erase(0, 1);
  while (exponent.size() > 1 && exponent.front() == '0') exponent.erase(0, 1);
  return mantissa + "E" + (negativeExponent ? "-" : "") + exponent;
}

}  // namespace

long double ParseEngineeringValue(std::string_view text) {
  text = text.substr(0, kShortStringLength);
  if (text.empty()) return 0;
  std::string working(text);
  std::size_t stop = NumberLength(working);
  if (stop == working.size()) return ConvertNumber(working);
  if (stop < working.size() && working[stop] == ',') {
    working[stop] = '.';
    stop = NumberLength(working);
    if (stop == working.size()) return ConvertNumber(working);
  }
  const long double prefix = ConvertNumber(std::string_view(working).substr(0, stop));
  const std::string upper = UpperCaseAscii(working);
  switch (upper[stop]) {
    case 'F': return prefix * 1e-15L;
    case 'G': return prefix * 1e9L;
    case 'K': return prefix * 1e3L;
    case 'M': return prefix * (upper.find("MEG") == stop ? 1e6L : 1e-3L);
    case 'N': return prefix * 1e-9L;
    case 'P': return prefix * 1e-12L;
    case 'T': return prefix * 1e12L;
    case 'U': return prefix * 1e-6L;
    default: return prefix;
  }
}

std::string FormatEngineeringValue(long double value) {
  std::string text = value < 0 ? "-" : "";
  long double a = std::fabs(value);
  if (std::isnan(a)) a = 0;
  if (a >= 1e21L) return text + GeneralFormat(a);
  struct TScale {
    long double Threshold;
    long double Divisor;
    const char* Suffix;
  };
  static constexpr TScale kScales[] = {
      {9.995e17L, 1e18L, "e18"}, {9.995e14L, 1e15L, "e15"}, {9.995e11L, 1e12L, "t"},     {9.995e8L, 1e9L, "g"},
      {999500.0L, 1e6L, "meg"},  {999.5L, 1e3L, "k"},       {0.9995L, 1.0L, ""},         {9.995e-4L, 1e-3L, "m"},
      {9.995e-7L, 1e-6L, "u"},   {9.995e-10L, 1e-9L, "n"},  {9.995e-13L, 1e-12L, "p"},   {9.995e-16L, 1e-15L, "e-15"},
      {9.995e-19L, 1e-18L, "e-18"}, {9.995e-22L, 1e-21L, "e-21"}, {9.995e-25L, 1e-24L, "e-24"},
  };
  const char* suffix = "";
  long double scaled = 0;
  for (const TScale& scale : kScales) {
    if (a >= scale.Threshold) {
      scaled = a / scale.Divisor;
      suffix = scale.Suffix;
      break;
    }
  }
  const int decimals = scaled >= 100 ? 1 : scaled >= 10 ? 2 : 3;
  char buffer[64];
  // Not printf: the number must not depend on the C library's locale.
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, scaled, std::chars_format::fixed, decimals).ptr;
  std::string number(buffer, end);
  if (const std::size_t point = number.find('.'); point != std::string::npos) number[point] = os::GetDecimalSeparator();
  return text + number + suffix;
}

std::string NormaliseEngineeringValue(std::string_view text) {
  if (text.empty()) return {};
  return FormatEngineeringValue(ParseEngineeringValue(text));
}

}  // namespace tolvex
