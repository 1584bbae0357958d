// Reading regions and loading the list: defaults, conversions, the filter and the bound checks.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "regions/region_file.h"
#include "settings/number_text.h"

namespace quillmap {
namespace {

const std::string kFiveRegions = std::string(QUILLMAP_TEST_DATA) + "/regions/five_regions.ini";

// Wide enough for every region of the fixture.
constexpr ModelLimits kWide{0, 0, 25, 75, 25, 75, 1, 1};

TEST(ReadRegionTest, ConvertsLengthsAndTakesDefaults) {
  const ProfileDocument doc = ProfileDocument::Parse(
      "[Region1]\nType=S\nName=Caf\xE9\nW=12500\nH=abc\n[S]\nX=2005\nAFX=-1500\nPKG=7\n"
      "[*Unknown*]\nX=3000\n");
  EXPECT_EQ(ReadRegion(doc, "Region1", ','),
            (ScanRegion{"Region1", "Caf\xC3\xA9", "S", "NO", "0", "0", "12,50", "abc", "2,00",
                        "0,00", "-1,50", "0,00", "7"}));
  // No section at all: the slide section read is the one named "*Unknown*".
  EXPECT_EQ(ReadRegion(doc, "Region9", '.'),
            (ScanRegion{"Region9", "*Unknown*", "*Unknown*", "NO", "0", "0", "0.00", "0.00", "3.00",
                        "0.00", "0.00", "0.00", "0"}));
}

// Most lengths take a shorter road than the general conversions; both roads must agree, on
// reading and on the move that a deletion makes.
TEST(ReadRegionTest, LengthsMatchTheGeneralConversions) {
  std::vector<std::string> texts{"0",   "-0",    "10",    "-10",           "010",
                                 "+10", " 20",   "7",     "1e3",           "2,5",
                                 "2.5", "-1500", "12345", "9999999999990", "99999999999990"};
  std::mt19937_64 random(7);
  for (int i = 0; i < 1000; ++i) {
    const long long range = i % 2 ? 2000000 : 2000000000000;
    texts.push_back(std::to_string((static_cast<long long>(random() % range) - range / 2) * 10));
  }
  for (char sep : {'.', ','}) {
    for (const std::string& text : texts) {
      SCOPED_TRACE(text);
      ProfileDocument doc =
          ProfileDocument::Parse("[ScanRegions]\nNumRegions=2\n[Region2]\nW=" + text + "\n");
      const bool number = IsNumber(text, sep);
      const std::string mm = number ? FormatValue(TextToDouble(text, sep) / 1000, sep) : text;
      EXPECT_EQ(ReadRegion(doc, "Region2", sep).RegionWidth, mm);
      ScanRegion deleted = ReadRegion(doc, "Region1", sep);
      DeleteRegion(doc, deleted, sep);
      EXPECT_EQ(doc.Read("Region1", "W", ""),
                number ? DoubleToText(TextToDouble(mm, sep) * 1000, sep) : text);
    }
  }
}

// The fuzz replay holds the rest of the list against the file: the count's errors, every row
// in order, the last one shown, "YES" as the only custom-only value. It loads no count this
// large, and no custom-only row of its own.
TEST(LoadRegionListTest, TheLargestCountsAndACustomOnlyRow) {
  for (const int count : {32766, 32767}) {
    const RegionList list = LoadRegionList(
        ProfileDocument::Parse("[ScanRegions]\nNumRegions=" + std::to_string(count) + "\n"), false,
        kWide, '.');
    EXPECT_EQ(list.error ? list.error->Number() : 0, count == 32766 ? 0 : kErrOverflow);
    EXPECT_EQ(list.rows.size(), count == 32766 ? 32766u : 0u);
    EXPECT_EQ(list.supplied_default_read, count == 32766);
  }
  const ProfileDocument doc = ProfileDocument::Parse(
      "[ScanRegions]\nNumRegions=2\n[Region1]\nCustom=NO\n[Region2]\nCustom=YES\n");
  EXPECT_EQ(LoadRegionList(doc, true, kWide, '.').rows.size(), 1u);
}

TEST(LoadRegionListTest, MarksValuesBeyondBoundsByAHundredthOrMore) {
  // X, Y, W and H in file units; the limits; the marked columns.
  const std::tuple<const char*, const char*, const char*, const char*, ModelLimits, std::string>
      cases[] = {
          // 0.004 beyond after two-decimal rounding is no fault.
          {"20004", "10", "0", "0", {0, 0, 20, 70, 20, 70, 0, 0}, ""},
          // A hundredth beyond a bound: the base-2 difference falls either way.
          {"10010", "0", "0", "0", {0, 0, 10, 70, 20, 70, 0, 0}, ""},
          {"20010", "1010", "0", "0", {0, 0, 20, 1, 20, 70, 0, 0}, "XYWH"},
          {"9990", "990", "0", "0", {10, 1, 20, 70, 20, 70, 0, 0}, "Y"},
          {"5000", "5000", "20020", "1000", {0, 0, 40, 70, 20, 70, 1, 1}, "W"},
          // Right or lower edge beyond the slide: only the size is marked.
          {"10000", "60000", "10020", "10000", {0, 0, 20, 70, 20, 70, 1, 1}, "W"},
          {"10000", "60000", "10000", "10020", {0, 0, 20, 70, 20, 70, 1, 1}, "H"},
          // Below a minimum, and texts that are not numbers.
          {"0", "5000", "990", "5000", {0.01, 0, 20, 70, 20, 70, 1, 1}, "XW"},
          {"x", "5000", "1000", "?", {0, 0, 20, 70, 20, 70, 1, 1}, "XH"},
      };
  for (const auto& [x, y, w, h, limits, marked] : cases) {
    const std::string text = std::string("[ScanRegions]\nNumRegions=1\n[Region1]\nType=S\nW=") + w +
                             "\nH=" + h + "\n[S]\nX=" + x + "\nY=" + y + "\n";
    SCOPED_TRACE(text);
    const RegionList list = LoadRegionList(ProfileDocument::Parse(text), false, limits, '.');
    ASSERT_EQ(list.rows.size(), 1u);
    std::string red;
    for (int column = 0; column < 7; ++column) {
      if (list.rows[0].red[column]) red += "CNXYWHS"[column];
    }
    EXPECT_EQ(red, marked);
    EXPECT_EQ(list.InvalidRegionsFound, !marked.empty());
  }
}

TEST(RegionNameExistsTest, IgnoresCaseAndTheRegionItself) {
  ProfileDocument doc;
  ASSERT_TRUE(LoadProfile(kFiveRegions, &doc, nullptr));
  // ø matches Ø; the blanks a read strips do not count.
  EXPECT_TRUE(RegionNameExists(doc, "", "\t\vLEFT ARRAY \xC3\xB8\f "));
  EXPECT_FALSE(RegionNameExists(doc, "Region2", "Left array \xC3\x98"));
  EXPECT_TRUE(RegionNameExists(doc, "Region2", "bottom"));
  EXPECT_FALSE(RegionNameExists(doc, "", "Bottom \xE2\x84\xA6"));  // Ω: no such name possible
  EXPECT_THROW(RegionNameExists(ProfileDocument::Parse("[ScanRegions]\nNumRegions=x\n"), "", "a"),
               Error);
}

}  // namespace
}  // namespace quillmap
