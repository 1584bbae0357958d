#include "regions/edit_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "settings/error.h"

namespace quillmap {
namespace {

// Writes a text given with "." in locale `sep`.
std::string In(std::string text, char sep) {
  for (char& c : text) c = c == '.' ? sep : c;
  return text;
}

TEST(NumericKeysTest, LetsThroughDigitsOneSeparatorAndFiveControlKeys) {
  for (char sep : {'.', ','}) {
    SCOPED_TRACE(sep);
    for (int key : std::vector<int>{'0', '9', int{sep}, 8, 13, 3, 22, 24})
      EXPECT_EQ(NumericKeys("12", key, 2, 0, sep), key);
    for (int key :
         std::vector<int>{'-', ' ', 'a', 'E', sep == '.' ? ',' : '.', 26, 27, 9, 1, 127, 0xE9})
      EXPECT_EQ(NumericKeys("12", key, 2, 0, sep), 0) << key;
    // A second separator only over a selection that holds the first.
    const std::string text = In("1.25", sep);
    EXPECT_EQ(NumericKeys(text, sep, 4, 0, sep), 0);    // caret at the end
    EXPECT_EQ(NumericKeys(text, sep, 0, 4, sep), sep);  // all selected
    EXPECT_EQ(NumericKeys(text, sep, 1, 1, sep), sep);  // the separator alone
    EXPECT_EQ(NumericKeys(text, sep, 2, 2, sep), 0);    // the decimals
  }
  // Positions count characters, not bytes.
  EXPECT_NE(NumericKeys("\xC3\xA9.5", '.', 1, 1, '.'), 0);
}

TEST(LimitDecimalsTest, DropsTheLastCharacterUntilTwoDecimalsRemain) {
  const std::tuple<const char*, int, const char*, int> cases[] = {
      {"1.234", 5, "1.23", 4},    // typed at the end: the caret stays at the end
      {"1.923", 3, "1.92", 2},    // typed amid the decimals: the old last digit goes
      {"1.23456", 7, "1.23", 4},  // the caret cannot pass the end
      {"1.23456", 0, "1.23", 0},  // nor go before the start
      {"1.2 34", 6, "1.2", 3},    // blanks left at the end are trimmed
      {"1.2.34", 6, "1.2.", 4},   // the first separator counts
      {"1.\xC3\xA9\xC3\xA9x", 5, "1.\xC3\xA9\xC3\xA9", 4},  // whole characters
  };
  for (char sep : {'.', ','}) {
    for (const auto& [text, caret, cut, cut_caret] : cases) {
      SCOPED_TRACE(In(text, sep));
      const auto result = LimitDecimals(In(text, sep), caret, sep);
      ASSERT_TRUE(result.has_value());
      EXPECT_EQ(result->text, In(cut, sep));
      EXPECT_EQ(result->caret, cut_caret);
    }
  }
  for (const char* fits : {"", "12345", "1.23", ".12", "1.\xC3\xA9\xC3\xA9"})
    EXPECT_FALSE(LimitDecimals(fits, 0, '.')) << fits;
  EXPECT_FALSE(LimitDecimals("1.234", 5, ',')) << "a full stop is no separator here";
}

class ValidateRegionTest : public ::testing::Test {
 protected:
  // MinX 0, MinY 0, MaxX 25, MaxY 75, MaxWidth 20, MaxHeight 60, MinWidth 2, MinHeight 2.
  ModelLimits limits_{0, 0, 25, 75, 20, 60, 2, 2};
  std::vector<std::string> asked_;

  RegionCheck Check(RegionTexts boxes, char sep = '.', std::string max_width = "") {
    RangeCaptions captions = InitialRangeCaptions(limits_, "", "", sep).captions;
    if (!max_width.empty()) captions.max_width = max_width;
    return ValidateRegion(boxes, captions, limits_, sep, [this](const std::string& name) {
      asked_.push_back(name);
      return name == "TAKEN";
    });
  }
};

TEST_F(ValidateRegionTest, TrimsFirstChecksNumbersBeforeRangesAndTheNameLast) {
  const RegionCheck check = Check({" A b ", " 12.5 ", " 99", "5 ", " x "});
  EXPECT_EQ(check.rule, 6);  // the height, though Y is out of range
  EXPECT_EQ(check.focus, RegionBox::kHeight);
  EXPECT_EQ(check.trimmed.name + "|" + check.trimmed.x_pos + "|" + check.trimmed.height,
            "A b|12.5|x");
  // A pasted negative number reads as a number and is stopped by the range rules.
  EXPECT_EQ(Check({"A", "1", "1", "-5", "5"}).rule, 10);
  EXPECT_TRUE(asked_.empty()) << "the name is looked up only when all else has passed";
  EXPECT_TRUE(Check({"A", " 12.5 ", "1", "5", "5"}).Passed());
  EXPECT_EQ(Check({"\tTAKEN\v\f ", "1", "1", "5", "5"}).rule, 14);
  EXPECT_EQ(asked_, (std::vector<std::string>{"A", "TAKEN"}));
}

// A bound is broken by 0.01 or more, computed in double precision; the size bounds are the
// captions as shown (`width_caption`, when not the model's).
TEST_F(ValidateRegionTest, ToleranceAndLocale) {
  const std::tuple<RegionTexts, char, const char*, int> cases[] = {
      {{"A", "23.005", "1", "2", "2"}, '.', "", 0},
      {{"A", "23.01", "1", "2", "2"}, '.', "", 8},
      // With X = 20 the width label shows 5.00: 5.01 computes to just under 0.01 above it.
      {{"A", "20", "1", "5.01", "2"}, '.', "5.00", 0},
      {{"A", "20", "1", "5.02", "2"}, '.', "5.00", 10},
      // X + W beyond MaxX by less than 0.01 passes; a stale width label lets rule 12 catch it.
      {{"A", "10", "1", "15.005", "2"}, '.', "", 0},
      {{"A", "10", "1", "20", "2"}, '.', "20.00", 12},
      {{"A", "1.5", "1", "2", "2"}, ',', "", 3},
      {{"A", "12,5", "1", "2", "2"}, ',', "", 0},
  };
  for (const auto& [boxes, sep, width_caption, rule] : cases) {
    EXPECT_EQ(Check(boxes, sep, width_caption).rule, rule) << boxes.x_pos << " " << boxes.width;
  }
  EXPECT_EQ(Check({"A", "10,5", "1", "15", "2"}, ',').message,
            "X coordinate + Width cannot be greater than 25,00\r\n"
            "Either reduce the X coordinate or the Width.");
  EXPECT_EQ(Check({"A", "23,02", "1", "2", "2"}, ',').message,
            "X coordinate must be between 0,00 and 23,00");
  EXPECT_EQ(MaxSizeFor(5.005, 25, 20, 2, '.').caption, "20.00");  // short by less than 0.01
  // MinX 1.234 shows as 1.23; 1.23 falls short of the bound by less than 0.01.
  limits_.MinX = 1.234;
  EXPECT_TRUE(Check({"A", "1.23", "1", "2", "2"}).Passed());
  EXPECT_EQ(Check({"A", "1.22", "1", "2", "2"}).message,
            "X coordinate must be between 1.23 and 23.00");
}

}  // namespace
}  // namespace quillmap
