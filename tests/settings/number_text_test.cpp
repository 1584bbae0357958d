#include "settings/number_text.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <optional>
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
    const char other = sep() == '.' ? ',' : '.';
    for (char& c : text) {
      if (c == '.') {
        c = sep();
      } else if (c == ',') {
        c = other;
      }
    }
    return text;
  }
  // The error number that converting `text` raises, 0 for none.
  template <typename Convert>
  int ErrorOf(Convert convert, const std::string& text) const {
    try {
      convert(L(text), sep());
    } catch (const Error& e) {
      return e.Number();
    }
    return 0;
  }
};

INSTANTIATE_TEST_SUITE_P(BothSeparators, NumberTextTest, testing::Values('.', ','));

TEST_P(NumberTextTest, IsNumberAcceptsOptionalBlanksSignSeparatorAndExponent) {
  for (const char* text : {"12", " 12 ", "+1.5", "-1.5", "12.", ".5", "-.5", "\t3\t", "007", "1e3",
                           "1.5E-3", "2e+2", "1e-999"}) {
    EXPECT_TRUE(IsNumber(L(text), sep())) << text;
  }
  for (const char* text :
       {"",        " ",  "-",   "+",   ".",   "-.",        "1.2.3", "1,5",   "1 000",
        "1,000.5", "1e", "e5",  ".e5", "1e+", "1e2.5",     "- 5",   "--1",   "12a",
        "0x10",    "$5", "nan", "NaN", "inf", "-Infinity", "1e309", "-1e400"}) {
    EXPECT_FALSE(IsNumber(L(text), sep())) << text;
  }
}

TEST_P(NumberTextTest, TextToDoubleGivesTheNumberOrTypeMismatch) {
  EXPECT_EQ(TextToDouble(L("12.5"), sep()), 12.5);
  EXPECT_EQ(TextToDouble(L(" -0.25 "), sep()), -0.25);
  EXPECT_EQ(TextToDouble(L("0.1"), sep()), 0.1);
  EXPECT_EQ(TextToDouble(L("12."), sep()), 12.0);
  EXPECT_EQ(TextToDouble(L(".5"), sep()), 0.5);
  EXPECT_EQ(TextToDouble(L("1.5e3"), sep()), 1500.0);
  EXPECT_EQ(TextToDouble(L("1e-999"), sep()), 0.0);
  EXPECT_EQ(ErrorOf(TextToDouble, "1,5"), 13);
  EXPECT_EQ(ErrorOf(TextToDouble, " "), 13);
}

TEST_P(NumberTextTest, IntegersRoundHalfToEven) {
  const std::pair<const char*, int> cases[] = {
      {"2.5", 2},   {"3.5", 4}, {"2.51", 3}, {"2.49", 2}, {"-2.5", -2},
      {"-3.5", -4}, {"0.5", 0}, {"-0.5", 0}, {"1.5", 2},  {" 12345 ", 12345}};
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(TextToInt16(L(text), sep()), expected) << text;
    EXPECT_EQ(TextToInt32(L(text), sep()), expected) << text;
  }
}

TEST_P(NumberTextTest, IntegersOutsideTheirRangeOverflow) {
  EXPECT_EQ(TextToInt16(L("32767.49"), sep()), 32767);
  EXPECT_EQ(TextToInt16(L("-32768.5"), sep()), -32768);
  EXPECT_EQ(TextToInt32(L("2147483647"), sep()), INT32_MAX);
  EXPECT_EQ(TextToInt32(L("-2147483648.5"), sep()), INT32_MIN);

  EXPECT_EQ(ErrorOf(TextToInt16, "32767.5"), 6);
  EXPECT_EQ(ErrorOf(TextToInt16, "-32769"), 6);
  EXPECT_EQ(ErrorOf(TextToInt32, "2147483647.5"), 6);
  EXPECT_EQ(ErrorOf(TextToInt32, "1e10"), 6);
  EXPECT_EQ(ErrorOf(TextToInt16, "x"), 13);
  EXPECT_EQ(ErrorOf(TextToInt32, "1,5"), 13);
  EXPECT_THROW(DoubleToInt32(std::nan("")), Error);
}

TEST_P(NumberTextTest, DoubleToTextUsesFifteenDigitsWithoutTrailingZeros) {
  EXPECT_EQ(DoubleToText(20000, sep()), "20000");
  EXPECT_EQ(DoubleToText(8.5, sep()), L("8.5"));
  EXPECT_EQ(DoubleToText(0.1 + 0.2, sep()), L("0.3"));
  EXPECT_EQ(DoubleToText(1.0 / 3, sep()), L("0.333333333333333"));
  EXPECT_EQ(DoubleToText(123456789.123, sep()), L("123456789.123"));
  EXPECT_EQ(DoubleToText(0.00001, sep()), L("0.00001"));
  EXPECT_EQ(DoubleToText(-0.0, sep()), "0");
  EXPECT_EQ(DoubleToText(1e15, sep()), "1e+15");
  EXPECT_EQ(DoubleToText(-1.5e20, sep()), L("-1.5e+20"));
  EXPECT_EQ(DoubleToText(2e-7, sep()), "2e-7");
}

TEST_P(NumberTextTest, DoubleToTextReadsBackUnchanged) {
  for (int i = -200000; i <= 200000; i += 7) {
    const double value = i / 1000.0;
    ASSERT_EQ(TextToDouble(DoubleToText(value, sep()), sep()), value) << i;
  }
  for (double value : {1e9, 1e15, 1.5e20, 2e-7, 123456789012345.0}) {
    EXPECT_EQ(TextToDouble(DoubleToText(value, sep()), sep()), value);
  }
}

TEST_P(NumberTextTest, FormatValueHasTwoDecimals) {
  EXPECT_EQ(FormatValue(12.5, sep()), L("12.50"));
  EXPECT_EQ(FormatValue(0.004, sep()), L("0.00"));
  EXPECT_EQ(FormatValue(1234.567, sep()), L("1234.57"));
  EXPECT_EQ(FormatValue(20, sep()), L("20.00"));
  EXPECT_EQ(FormatValue(-1.5, sep()), L("-1.50"));
  EXPECT_EQ(FormatValue(-0.004, sep()), L("0.00"));
  EXPECT_EQ(FormatValue(-0.005001, sep()), L("-0.01"));
  EXPECT_EQ(FormatValue(1e9, sep()), L("1000000000.00"));
  EXPECT_EQ(FormatValue(TextToDouble(L("12.5"), sep()), sep()), L("12.50"));
  // Exact halves are decided on the binary value.
  EXPECT_EQ(FormatValue(12345 / 1000.0, sep()), L("12.35"));  // just above 12.345
  EXPECT_EQ(FormatValue(2.675, sep()), L("2.67"));            // just below 2.675
  EXPECT_EQ(FormatValue(0.125, sep()), L("0.12"));
  EXPECT_EQ(FormatValue(0.375, sep()), L("0.38"));
}

TEST(IntToTextTest, WritesDigitsAndMinusOnly) {
  EXPECT_EQ(IntToText(0), "0");
  EXPECT_EQ(IntToText(-5), "-5");
  EXPECT_EQ(IntToText(20000), "20000");
  EXPECT_EQ(IntToText(LLONG_MIN), "-9223372036854775808");
}

TEST(BoundTest, OneHundredthOrMoreCountsAsBeyond) {
  EXPECT_TRUE(ExceedsBound(10.02, 10));
  EXPECT_TRUE(FallsBelowBound(9.98, 10));
  EXPECT_FALSE(ExceedsBound(10.005, 10));
  EXPECT_FALSE(FallsBelowBound(10, 10));
  EXPECT_TRUE(ExceedsBound(0.01, 0));
  EXPECT_TRUE(FallsBelowBound(-0.01, 0));
  EXPECT_FALSE(ExceedsBound(-5, 10));
  EXPECT_FALSE(FallsBelowBound(15, 10));
}

TEST(BoundTest, DifferenceIsTakenInBinary) {
  EXPECT_FALSE(ExceedsBound(10.01, 10));
  EXPECT_FALSE(FallsBelowBound(9.99, 10));
  EXPECT_TRUE(ExceedsBound(20.01, 20));
  EXPECT_TRUE(ExceedsBound(1.01, 1));
}

TEST(BoundTest, NotANumberIsNeverBeyond) {
  const double nan = std::nan("");
  EXPECT_FALSE(ExceedsBound(nan, 0));
  EXPECT_FALSE(ExceedsBound(0, nan));
  EXPECT_FALSE(FallsBelowBound(nan, 0));
  EXPECT_FALSE(FallsBelowBound(0, nan));
}

// Sets LC_ALL for one test and puts it back.
class DecimalSpecifierTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("LC_ALL");
    old_ = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
  }
  void TearDown() override { old_ ? setenv("LC_ALL", old_->c_str(), 1) : unsetenv("LC_ALL"); }

 private:
  std::optional<std::string> old_;
};

TEST_F(DecimalSpecifierTest, ReadsTheEnvironmentWithoutChangingTheProcessLocale) {
  const std::string before = setlocale(LC_NUMERIC, nullptr);
  setenv("LC_ALL", "C", 1);
  EXPECT_EQ(GetDecimalSpecifier(), ".");
  setenv("LC_ALL", "xx_NOWHERE.UTF-8", 1);
  EXPECT_EQ(GetDecimalSpecifier(), ".");
  EXPECT_EQ(setlocale(LC_NUMERIC, nullptr), before);
}

TEST_F(DecimalSpecifierTest, CommaLocale) {
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  locale_t german = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0));
  if (german == static_cast<locale_t>(0)) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
  freelocale(german);
  EXPECT_EQ(GetDecimalSpecifier(), ",");
}

}  // namespace
}  // namespace quillmap
