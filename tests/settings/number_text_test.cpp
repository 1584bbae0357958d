#include "settings/number_text.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "settings/error.h"

namespace quillmap {
namespace {

// Every case is written in the "." locale and run in both: L() turns "." into the separator
// under test and "," into the other one.
class NumberTextTest : public testing::TestWithParam<char> {
 protected:
  char sep() const { return GetParam(); }
  std::string L(std::string text) const {
    for (char& c : text) c = c == '.' ? sep() : c == ',' ? (sep() == '.' ? ',' : '.') : c;
    return text;
  }
  // The converted value as text, or "error N".
  template <typename Convert>
  std::string Outcome(Convert convert, const std::string& text) const {
    try {
      return std::to_string(convert(L(text), sep()));
    } catch (const Error& e) {
      return "error " + std::to_string(e.Number());
    }
  }
};

INSTANTIATE_TEST_SUITE_P(BothSeparators, NumberTextTest, testing::Values('.', ','));

TEST_P(NumberTextTest, NumbersAreReadOrRefusedWithTypeMismatch) {
  const std::pair<const char*, double> numbers[] = {
      {"12", 12},    {" 12 ", 12},       {"+1.5", 1.5}, {"-1.5", -1.5}, {"12.", 12},
      {".5", 0.5},   {"-.5", -0.5},      {"\t3\t", 3},  {"007", 7},     {"0.1", 0.1},
      {"1e3", 1000}, {"1.5E-3", 0.0015}, {"2e+2", 200}, {"1e-999", 0}};
  for (const auto& [text, value] : numbers) {
    EXPECT_TRUE(IsNumber(L(text), sep())) << text;
    EXPECT_EQ(TextToDouble(L(text), sep()), value) << text;
  }
  for (const char* text :
       {"",        " ",  "-",   "+",   ".",   "-.",        "1.2.3", "1,5",   "1 000",
        "1,000.5", "1e", "e5",  ".e5", "1e+", "1e2.5",     "- 5",   "--1",   "12a",
        "0x10",    "$5", "nan", "NaN", "inf", "-Infinity", "1e309", "-1e400"}) {
    EXPECT_FALSE(IsNumber(L(text), sep())) << text;
    EXPECT_EQ(Outcome(TextToDouble, text), "error 13") << text;
  }
}

TEST_P(NumberTextTest, IntegersRoundHalfToEvenAndOverflowOutsideTheirRange) {
  const std::pair<const char*, int> rounded[] = {{"2.5", 2},   {"3.5", 4},        {"-2.5", -2},
                                                 {"-3.5", -4}, {"-0.5", 0},       {"2.51", 3},
                                                 {"2.49", 2},  {" 12345 ", 12345}};
  for (const auto& [text, value] : rounded) {
    EXPECT_EQ(Outcome(TextToInt16, text), std::to_string(value)) << text;
    EXPECT_EQ(Outcome(TextToInt32, text), std::to_string(value)) << text;
  }
  EXPECT_EQ(Outcome(TextToInt16, "32767.49"), "32767");
  EXPECT_EQ(Outcome(TextToInt16, "32767.5"), "error 6");
  EXPECT_EQ(Outcome(TextToInt16, "-32768.5"), "-32768");
  EXPECT_EQ(Outcome(TextToInt16, "-32769"), "error 6");
  EXPECT_EQ(Outcome(TextToInt32, "2147483647.49"), "2147483647");
  EXPECT_EQ(Outcome(TextToInt32, "2147483647.5"), "error 6");
  EXPECT_EQ(Outcome(TextToInt32, "-2147483648.5"), "-2147483648");
  EXPECT_EQ(Outcome(TextToInt32, "1e10"), "error 6");
  EXPECT_EQ(Outcome(TextToInt16, "1,5"), "error 13");
  EXPECT_EQ(Outcome([](const std::string&, char) { return DoubleToInt32(std::nan("")); }, ""),
            "error 6");
  EXPECT_EQ(Outcome([](const std::string&, char) { return DoubleToInt16(-INFINITY); }, ""),
            "error 6");
}

TEST_P(NumberTextTest, DoubleToTextUsesFifteenDigitsAndReadsBackUnchanged) {
  const std::pair<double, const char*> cases[] = {{20000, "20000"},
                                                  {8.5, "8.5"},
                                                  {0.1 + 0.2, "0.3"},
                                                  {1.0 / 3, "0.333333333333333"},
                                                  {123456789.123, "123456789.123"},
                                                  {0.00001, "0.00001"},
                                                  {-0.0, "0"},
                                                  {1e15, "1e+15"},
                                                  {-1.5e20, "-1.5e+20"},
                                                  {2e-7, "2e-7"},
                                                  {-INFINITY, "-inf"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(DoubleToText(value, sep()), L(text)) << text;
  for (int i = -200000; i <= 200000; i += 7) {
    ASSERT_EQ(TextToDouble(DoubleToText(i / 1000.0, sep()), sep()), i / 1000.0) << i;
  }
  for (double value : {1e9, 1e15, 1.5e20, 2e-7, 123456789012345.0}) {
    EXPECT_EQ(TextToDouble(DoubleToText(value, sep()), sep()), value);
  }
}

TEST_P(NumberTextTest, FormatValueRoundsTheBinaryValueToTwoDecimals) {
  // 12.345 is stored just above, 2.675 just below; 0.125 and 0.375 are exact halves.
  const std::pair<double, const char*> cases[] = {
      {12.5, "12.50"},           {0.004, "0.00"}, {1234.567, "1234.57"}, {-1.5, "-1.50"},
      {-0.004, "-0.00"},         {-0.0, "0.00"},  {-0.005001, "-0.01"},  {1e9, "1000000000.00"},
      {12345 / 1000.0, "12.35"}, {2.675, "2.67"}, {0.125, "0.12"},       {0.375, "0.38"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(FormatValue(value, sep()), L(text)) << text;
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
  if (locale_t german = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0))) {
    freelocale(german);
    EXPECT_EQ(GetDecimalSpecifier(), ",");
  }
  EXPECT_EQ(setlocale(LC_NUMERIC, nullptr), before);
  saved != nullptr ? setenv("LC_ALL", old.c_str(), 1) : unsetenv("LC_ALL");
}

}  // namespace
}  // namespace quillmap
