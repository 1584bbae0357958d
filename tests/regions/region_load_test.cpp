// Reading regions and loading the list: defaults, conversions, the filter and the bound checks.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "regions/region_file.h"
#include "settings/number_text.h"

namespace quillmap {
namespace {

const std::string kFiveRegions = std::string(QUILLMAP_TEST_DATA) + "/regions/five_regions.ini";

// Wide enough for every region of the fixture.
constexpr ModelLimits kWide{0, 0, 25, 75, 25, 75, 1, 1};

std::vector<std::string> Column(const RegionList& list, int column) {
  std::vector<std::string> cells;
  for (const RegionRow& row : list.rows) cells.push_back(row.cells[column]);
  return cells;
}

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
  std::vector<std::string> texts{"0",     "-0",  "10",  "-10",           "010",
                                 "+10",   " 20", "7",   "12345",         "1e3",
                                 "-1500", "2,5", "2.5", "9999999999990", "99999999999990"};
  std::mt19937_64 random(7);
  for (int i = 0; i < 1000; ++i) {
    const long long range = i % 2 ? 2000000 : 2000000000000;
    texts.push_back(std::to_string((static_cast<long long>(random() % range) - range / 2) * 10));
  }
  for (char sep : {'.', ','}) {
    for (const std::string& text : texts) {
      ProfileDocument doc =
          ProfileDocument::Parse("[ScanRegions]\nNumRegions=2\n[Region2]\nW=" + text + "\n");
      const bool number = IsNumber(text, sep);
      const std::string mm = number ? FormatValue(TextToDouble(text, sep) / 1000, sep) : text;
      EXPECT_EQ(ReadRegion(doc, "Region2", sep).RegionWidth, mm) << text;
      ScanRegion deleted = ReadRegion(doc, "Region1", sep);
      DeleteRegion(doc, deleted, sep);
      EXPECT_EQ(doc.Read("Region1", "W", ""),
                number ? DoubleToText(TextToDouble(mm, sep) * 1000, sep) : text)
          << text;
    }
  }
}

TEST(LoadRegionListTest, ListsEveryRegionOfTheFileInOrder) {
  const RegionList list = LoadRegionList(kFiveRegions, false, kWide, ',');
  ASSERT_FALSE(list.error);
  EXPECT_EQ(Column(list, kColumnSectionName),
            (std::vector<std::string>{"Region1", "Region2", "Region3", "Region4", "Region5"}));
  EXPECT_EQ(list.rows[1].cells, (std::array<std::string, 7>{"NO", "Left array \xC3\x98", "2,00",
                                                            "10,00", "10,00", "20,00", "Region2"}));
  EXPECT_EQ(list.SuppliedDefaultName, "Full slide");
  EXPECT_FALSE(list.InvalidRegionsFound);
  ASSERT_TRUE(list.last_shown);
  EXPECT_EQ(list.last_shown->RegionName, "Bottom");
}

TEST(LoadRegionListTest, CustomOnlyTakesExactlyUpperCaseYes) {
  const ProfileDocument doc = ProfileDocument::Parse(
      "[ScanRegions]\nNumRegions=3\n[Region1]\nCustom=NO\n[Region2]\nCustom=YES\n"
      "[Region3]\nCustom=yes\n");
  EXPECT_EQ(Column(LoadRegionList(doc, true, kWide, '.'), kColumnSectionName),
            std::vector<std::string>{"Region2"});
  EXPECT_EQ(Column(LoadRegionList(doc, false, kWide, '.'), kColumnCustom),
            (std::vector<std::string>{"NO", "YES", "yes"}));
}

TEST(LoadRegionListTest, CountThatIsNotUsableGivesErrorAndNoRows) {
  for (const char* count : {"abc", "32767", "-40000"}) {
    const RegionList list = LoadRegionList(
        ProfileDocument::Parse(std::string("[ScanRegions]\nNumRegions=") + count + "\n[Region1]\n"),
        false, kWide, '.');
    ASSERT_TRUE(list.error) << count;
    EXPECT_EQ(list.error->Number(), count[0] == 'a' ? kErrTypeMismatch : kErrOverflow);
    EXPECT_TRUE(list.rows.empty());
    EXPECT_FALSE(list.supplied_default_read);
  }
  const RegionList none =
      LoadRegionList(ProfileDocument::Parse("[VelmoraDefault]\n"), false, kWide, '.');
  EXPECT_FALSE(none.error);
  EXPECT_FALSE(none.supplied_default_read);
  EXPECT_EQ(
      LoadRegionList(ProfileDocument::Parse("[ScanRegions]\nNumRegions=32766\n"), false, kWide, '.')
          .rows.size(),
      32766u);
}

// One region with its slide section; the texts are file units or anything else.
struct CheckCase {
  const char* x;
  const char* y;
  const char* w;
  const char* h;
  ModelLimits limits;
  std::array<bool, 4> red;  // X, Y, Width, Height
};

TEST(LoadRegionListTest, MarksValuesBeyondBoundsByAHundredthOrMore) {
  const CheckCase cases[] = {
      // 0.004 beyond after two-decimal rounding is no fault.
      {"20004", "10", "0", "0", {0, 0, 20, 70, 20, 70, 0, 0}, {false, false, false, false}},
      // A hundredth beyond a bound: the base-2 difference falls either way.
      {"10010", "0", "0", "0", {0, 0, 10, 70, 20, 70, 0, 0}, {false, false, false, false}},
      {"20010", "1010", "0", "0", {0, 0, 20, 1, 20, 70, 0, 0}, {true, true, true, true}},
      {"9990", "990", "0", "0", {10, 1, 20, 70, 20, 70, 0, 0}, {false, true, false, false}},
      {"5000", "5000", "20020", "1000", {0, 0, 40, 70, 20, 70, 1, 1}, {false, false, true, false}},
      // Right or lower edge beyond the slide: only the size is marked.
      {"10000",
       "60000",
       "10020",
       "10000",
       {0, 0, 20, 70, 20, 70, 1, 1},
       {false, false, true, false}},
      {"10000",
       "60000",
       "10000",
       "10020",
       {0, 0, 20, 70, 20, 70, 1, 1},
       {false, false, false, true}},
      // Below a minimum, and texts that are not numbers.
      {"0", "5000", "990", "5000", {0.01, 0, 20, 70, 20, 70, 1, 1}, {true, false, true, false}},
      {"x", "5000", "1000", "?", {0, 0, 20, 70, 20, 70, 1, 1}, {true, false, false, true}},
  };
  for (const CheckCase& c : cases) {
    const std::string text = std::string("[ScanRegions]\nNumRegions=1\n[Region1]\nType=S\nW=") +
                             c.w + "\nH=" + c.h + "\n[S]\nX=" + c.x + "\nY=" + c.y + "\n";
    const RegionList list = LoadRegionList(ProfileDocument::Parse(text), false, c.limits, '.');
    ASSERT_EQ(list.rows.size(), 1u);
    const auto& red = list.rows[0].red;
    EXPECT_EQ((std::array<bool, 4>{red[2], red[3], red[4], red[5]}), c.red) << text;
    EXPECT_FALSE(red[0] || red[1] || red[6]);
    EXPECT_EQ(list.InvalidRegionsFound, c.red[0] || c.red[1] || c.red[2] || c.red[3]);
  }
}

TEST(RegionNameExistsTest, IgnoresCaseAndTheRegionItself) {
  ProfileDocument doc;
  FileSnapshot snapshot;
  ASSERT_TRUE(LoadProfile(kFiveRegions, &doc, &snapshot));
  EXPECT_TRUE(RegionNameExists(doc, "", "LEFT ARRAY \xC3\xB8"));  // ø matches Ø
  EXPECT_FALSE(RegionNameExists(doc, "Region2", "Left array \xC3\x98"));
  EXPECT_TRUE(RegionNameExists(doc, "Region2", "bottom"));
  EXPECT_FALSE(RegionNameExists(doc, "", "Bottom line"));
  EXPECT_FALSE(RegionNameExists(doc, "", "Bottom \xE2\x84\xA6"));  // Ω: no such name possible
  EXPECT_THROW(RegionNameExists(ProfileDocument::Parse("[ScanRegions]\nNumRegions=x\n"), "", "a"),
               Error);
}

}  // namespace
}  // namespace quillmap
