// The engineering-number routines: the values scale letters give, the texts values give, and normalising a cell.
#include "editor/EngineeringValue.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "os/Os.h"

namespace tolvex {
namespace {

TEST(EngineeringValue, ParseReadsNumbersScaleLettersCommasAndPrefixes) {
  struct TCase {
    const char* Text;
    long double Value;
  };
  const TCase cases[] = {
      {"", 0},          {"1MEG", 1e6L},   {"1Meg", 1e6L},   {"1meg", 1e6L},    {"1m", 1e-3L},   {"1M", 1e-3L},
      {"1e3", 1000},    {"2,5k", 2500},   {"2,5", 2.5L},    {"abc", 0},        {"10uF", 1e-5L}, {"1k5", 1000},
      {"-4.7n", -4.7e-9L}, {"+3p", 3e-12L}, {"2f", 2e-15L}, {"1.5G", 1.5e9L},  {"2T", 2e12L},   {"7x", 7},
      {"1mMEG", 1e-3L}, {".5", 0.5L},     {"5.", 5},        {"1e", 1},         {"1e-", 1},      {" 1k", 0},
      {"inf", 0},       {"nan", 0},       {"0x10", 0},      {"1e99999", std::numeric_limits<long double>::max()},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Text);
    const long double value = ParseEngineeringValue(c.Text);
    if (c.Value == 0)
      EXPECT_EQ(value, 0);
    else
      EXPECT_NEAR(static_cast<double>(value / c.Value), 1.0, 1e-12);
  }
  // Only the first 255 characters count.
  EXPECT_EQ(ParseEngineeringValue(std::string(255, '0') + "5"), 0);
}

TEST(EngineeringValue, FormatGivesThreeSignificantDigitsAndTheScaleThatFits) {
  os::SetDecimalSeparator('.');
  struct TCase {
    long double Value;
    const char* Text;
  };
  const TCase cases[] = {
      {1, "1.000"},          {1500, "1.500k"},       {999.6L, "1.000k"},     {0.00022L, "220.0u"},
      {-0.5L, "-500.0m"},    {1e-15L, "1.000e-15"},  {0, "0.000"},           {1e6L, "1.000meg"},
      {999499, "999.5k"},    {4.7e-9L, "4.700n"},    {33e-12L, "33.00p"},    {2.5e9L, "2.500g"},
      {1e12L, "1.000t"},     {1e18L, "1.000e18"},    {1e-24L, "1.000e-24"},  {1e-30L, "0.000"},
      {1e21L, "1E21"},       {1.5e21L, "1.5E21"},    {-2.25e30L, "-2.25E30"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(FormatEngineeringValue(c.Value), c.Text);
  }
}

TEST(EngineeringValue, NormaliseKeepsEmptyAndUsesTheDecimalSeparator) {
  os::SetDecimalSeparator('.');
  EXPECT_EQ(NormaliseEngineeringValue(""), "");
  EXPECT_EQ(NormaliseEngineeringValue("2.5m"), "2.500m");
  EXPECT_EQ(NormaliseEngineeringValue("1MEG"), "1.000meg");
  EXPECT_EQ(NormaliseEngineeringValue("abc"), "0.000");
  os::SetDecimalSeparator(',');
  EXPECT_EQ(NormaliseEngineeringValue("2,5m"), "2,500m");
  os::SetDecimalSeparator('.');
}

}  // namespace
}  // namespace tolvex
