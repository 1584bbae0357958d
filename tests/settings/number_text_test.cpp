#include "settings/number_text.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

namespace quillmap {
namespace {

// The fuzz replay holds reading, rounding to integers and the two-decimal form against the C
// library on every input of fuzz/corpus/number_text; it has no oracle for the shortest form.
TEST(NumberTextTest, DoubleToTextUsesFifteenDigitsInEitherLocale) {
  for (const char sep : {'.', ','}) {
    std::string shown;
    for (double value : {20000.0, 8.5, 0.1 + 0.2, 1.0 / 3, 123456789.123, 0.00001, -0.0, 1e15,
                         -1.5e20, 2e-7, -HUGE_VAL}) {
      shown += DoubleToText(value, sep) + " ";
    }
    std::string expected =
        "20000 8.5 0.3 0.333333333333333 123456789.123 0.00001 0 1e+15 -1.5e+20 2e-7 -inf ";
    std::replace(expected.begin(), expected.end(), '.', sep);
    EXPECT_EQ(shown, expected);
  }
}

TEST(BoundTest, OneHundredthOrMoreInBinaryCountsAsBeyondAndNotANumberNever) {
  const double nan = std::nan("");
  struct {
    double value, bound;
    bool exceeds, falls_below;
  } const cases[] = {{10.02, 10, true, false}, {9.98, 10, false, true},  {10.005, 10, false, false},
                     {10, 10, false, false},   {0.01, 0, true, false},   {-0.01, 0, false, true},
                     {-5, 10, false, true},    {15, 10, true, false},    {10.01, 10, false, false},
                     {9.99, 10, false, false}, {20.01, 20, true, false}, {1.01, 1, true, false},
                     {nan, 0, false, false},   {0, nan, false, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(ExceedsBound(c.value, c.bound), c.exceeds) << c.value << " vs " << c.bound;
    EXPECT_EQ(FallsBelowBound(c.value, c.bound), c.falls_below) << c.value << " vs " << c.bound;
  }
}

TEST(DecimalSpecifierTest, ReadsTheEnvironmentWithoutChangingTheProcessLocale) {
  const char* saved = std::getenv("LC_ALL");
  const std::string old = saved != nullptr ? saved : "";
  const std::string before = setlocale(LC_NUMERIC, nullptr);
  setenv("LC_ALL", "C", 1);
  EXPECT_EQ(GetDecimalSpecifier(), ".");
  setenv("LC_ALL", "xx_NOWHERE.UTF-8", 1);
  EXPECT_EQ(GetDecimalSpecifier(), ".");
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  locale_t german = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0));
  if (german) EXPECT_EQ(GetDecimalSpecifier(), ",");
  EXPECT_EQ(setlocale(LC_NUMERIC, nullptr), before);
  saved != nullptr ? setenv("LC_ALL", old.c_str(), 1) : unsetenv("LC_ALL");
  if (!german)
    GTEST_SKIP() << "no de_DE.UTF-8 locale to read a comma from (scripts/test makes one)";
  freelocale(german);
}

}  // namespace
}  // namespace quillmap
