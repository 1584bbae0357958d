// Adding, modifying and deleting regions on real files, checked byte for byte, and what a
// command leaves behind when it cannot write.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "regions/region_file.h"

namespace quillmap {
namespace {

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Crlf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? "\r\n" : std::string(1, c);
  return out;
}

// The reference for a command's single write: every value read and written with its own file
// access, in the order of a command that keeps no copy of the file. Values are file texts in
// key order: Name, Custom, X, Y, W, H, slide X, Y, AFX, AFY, PKG.
struct KeyByKey {
  std::string path;

  std::string Get(const std::string& section, const char* key, const char* def) const {
    return ReadProfileString(section, key, def, path);
  }
  void Put(const std::string& section, std::optional<std::string> key = std::nullopt,
           std::optional<std::string> value = std::nullopt) const {
    EXPECT_TRUE(WriteProfileString(section, key, value, path)) << section;
  }
  static std::string Region(int n) { return "Region" + std::to_string(n); }
  int Count() const { return std::stoi(Get("ScanRegions", "NumRegions", "0")); }

  void Write(int region, const std::string& type, const std::vector<std::string>& values) const {
    const char* keys[] = {"Name", "Custom", "X", "Y", "W", "H", "X", "Y", "AFX", "AFY", "PKG"};
    Put(Region(region), "Type", type);
    for (int i = 0; i < 11; ++i) {
      const bool last = i == 5 || i == 10;
      Put(i < 6 ? Region(region) : type, keys[i], values[i] + (last ? "\r\n" : ""));
    }
  }
  void Add(const std::vector<std::string>& values) const {
    const int n = Count();
    Put("ScanRegions", "NumRegions", std::to_string(n + 1));
    Write(n + 1, "CustomerSlide" + std::to_string(n), values);
  }
  // Later regions move with their file texts, which is what rounding to hundredths of a
  // millimetre leaves of the fixture's values.
  void Delete(int k) const {
    const int n = Count();
    const std::string type = Get(Region(k), "Type", "*Unknown*");
    Put(Region(k));
    Put(type);
    Put("ScanRegions", "NumRegions", std::to_string(n - 1));
    for (int m = k + 1; m <= n; ++m) {
      const std::string old_type = Get(Region(m), "Type", "*Unknown*");
      std::vector<std::string> values;
      for (const char* key : {"Name", "Custom", "X", "Y", "W", "H"}) {
        values.push_back(Get(Region(m), key, key[0] == 'N' ? "*Unknown*" : "0"));
      }
      for (const char* key : {"X", "Y", "AFX", "AFY", "PKG"}) {
        values.push_back(Get(old_type, key, "0"));
      }
      Put(Region(m));
      Put(old_type);
      Write(m - 1, "CustomerSlide" + std::to_string(m - 2), values);
    }
  }
};

// Runs with "." and with "," as the decimal separator.
class RegionWriteTest : public ::testing::TestWithParam<char> {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "quillmap_regions_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern + "/";
    global_.RegionFilePath = dir_ + "ChipRegions.ini";
    global_.DecimalSeparator = GetParam();
    reference_.path = dir_ + "reference.ini";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Puts the fixture into the region file and the reference copy; returns its bytes.
  std::string Start(const std::string& fixture) {
    const std::string bytes = ReadBytes(std::string(QUILLMAP_TEST_DATA) + "/regions/" + fixture);
    EXPECT_FALSE(bytes.empty()) << fixture;
    WriteBytes(global_.RegionFilePath, bytes);
    WriteBytes(reference_.path, bytes);
    return bytes;
  }
  std::string FileNow() const { return ReadBytes(global_.RegionFilePath); }
  // A millimetre text in the locale under test.
  std::string Mm(std::string text) const {
    std::replace(text.begin(), text.end(), '.', global_.DecimalSeparator);
    return text;
  }

  std::string dir_;
  Global global_;
  KeyByKey reference_;
};

INSTANTIATE_TEST_SUITE_P(Separators, RegionWriteTest, ::testing::Values('.', ','));

TEST_P(RegionWriteTest, AddsTheSixthRegionAsInTheWorkedExample) {
  std::string expected = Start("five_regions.ini");
  expected.replace(expected.find("NumRegions=5"), 12, "NumRegions=6");
  expected += Crlf(
      "[Region6]\nType=CustomerSlide5\nName=Left half\nCustom=YES\nX=0\nY=0\nW=20000\nH=60000\n\n"
      "[CustomerSlide5]\nX=2000\nY=5000\nAFX=500\nAFY=5000\nPKG=5\n\n");
  SaveCurrentRegion(global_, true, "  Left half ", Mm("2.00"), Mm("5.00"), Mm("20.00"),
                    Mm("60.00"));
  EXPECT_EQ(FileNow(), expected);
  EXPECT_EQ(global_.CurrentRegion.SlideAFX, Mm("0.5"));
}

TEST_P(RegionWriteTest, AddsRegion1ToAFileWithoutCount) {
  WriteBytes(global_.RegionFilePath, Crlf("[VelmoraDefault]\nRegion=Region1\n\n"));
  WriteBytes(reference_.path, Crlf("[VelmoraDefault]\nRegion=Region1\n\n"));
  // AFX: 2.50 goes to the even whole number 2, less 1.5.
  SaveCurrentRegion(global_, true, "First", Mm("2.50"), "3", "10", Mm("10.25"));
  reference_.Add({"First", "YES", "0", "0", "10000", "10250", "2500", "3000", "500", "3000", "5"});
  EXPECT_EQ(FileNow(), ReadBytes(reference_.path));
  EXPECT_EQ(global_.CurrentRegion.RegionType, "CustomerSlide0");
}

TEST_P(RegionWriteTest, MatchesKeyByKeyWritesForModifyAndDelete) {
  const std::string fixture = Start("five_regions.ini");
  ReadRegion(global_, "Region4");
  SaveCurrentRegion(global_, false, "Spots 2", Mm("12.40"), "21", Mm("15.50"), "30");
  reference_.Write(
      4, "CustomerSlide3",
      {"Spots 2", "YES", "0", "0", "15500", "30000", "12400", "21000", "10500", "21000", "5"});
  EXPECT_EQ(FileNow(), ReadBytes(reference_.path));
  // The middle place is DeletingMovesRoundedValuesKeepsTextsAndSharedSlides.
  for (int k : {1, 5}) {
    SCOPED_TRACE(k);
    Start("five_regions.ini");
    ReadRegion(global_, KeyByKey::Region(k));
    DeleteRegion(global_);
    reference_.Delete(k);
    EXPECT_EQ(FileNow(), ReadBytes(reference_.path));
    EXPECT_EQ(global_.CurrentRegion.SectionName, KeyByKey::Region(k == 5 ? 5 : 4));
  }
}

// Region3 moves with its lengths rounded to hundredths of a millimetre (12345 is just above
// 12.345 mm in binary, 2005 just below 2.005); Region4 with its height text and the slide
// section that Region1 still names.
TEST_P(RegionWriteTest, DeletingMovesRoundedValuesKeepsTextsAndSharedSlides) {
  Start("odd_regions.ini");
  ReadRegion(global_, "Region2");
  DeleteRegion(global_);
  EXPECT_EQ(FileNow(),
            Crlf("[ScanRegions]\nNumRegions=3\n\n[VelmoraDefault]\nRegion=Region1\n\n"
                 "[Region1]\nType=Slide25x75\nName=Full slide\nCustom=NO\nX=0\nY=0\nW=22000\n"
                 "H=72000\n\n[Slide25x75]\nX=1500\nY=1500\nAFX=0\nAFY=1500\nPKG=1\n\n"
                 "[Region2]\nType=CustomerSlide1\nName=Fine grid\nCustom=YES\nX=0\nY=0\n"
                 "W=12350\nH=20000\n\n[CustomerSlide1]\nX=2000\nY=30000\nAFX=500\nAFY=30000\n"
                 "PKG=5\n\n[Region3]\nType=CustomerSlide2\nName=Full slide, tall\nCustom=NO\n"
                 "X=0\nY=0\nW=22000\nH=abc\n\n[CustomerSlide2]\nX=1500\nY=1500\nAFX=0\n"
                 "AFY=1500\nPKG=1\n\n"));
  EXPECT_EQ(global_.CurrentRegion.RegionHeight, "abc");
}

TEST_P(RegionWriteTest, DeleteRefusesWhatWouldLoseARegion) {
  // Region3 would move onto the slide section of Region1; Region4 is beyond the count.
  ProfileDocument doc = ProfileDocument::Parse(
      "[ScanRegions]\nNumRegions=3\n[Region1]\nType=customerslide1\n[Region2]\n[Region3]\n");
  const std::string before = doc.Serialize();
  for (const char* section : {"Region2", "Region4"}) {
    ScanRegion current;
    current.SectionName = section;
    EXPECT_THROW(DeleteRegion(doc, current, GetParam()), Error) << section;
    EXPECT_EQ(doc.Serialize(), before);
  }
}

TEST_P(RegionWriteTest, AddRefusesACountThatNoListWouldShow) {
  const std::pair<const char*, const char*> cases[] = {
      {"-1",
       "The region file counts -1 regions (NumRegions in [ScanRegions]). Please correct it "
       "before adding a region."},
      {"32766",
       "The region file holds 32766 regions, the most that can be listed. Please delete a region "
       "before adding one."},
      {"32767", "Overflow"}};
  for (const auto& [count, message] : cases) {
    ProfileDocument doc = ProfileDocument::Parse(std::string("[ScanRegions]\nNumRegions=") + count);
    const std::string before = doc.Serialize();
    ScanRegion current;
    current.RegionName = "New";
    try {
      WriteCurrentRegion(doc, true, current, GetParam());
      ADD_FAILURE() << count << " was added to";
    } catch (const Error& error) {
      EXPECT_EQ(error.Description(), message);
    }
    EXPECT_EQ(doc.Serialize(), before) << count;
  }
}

// Writing such a slide section would change or delete what another region or the file needs.
TEST_P(RegionWriteTest, RefusesSlideSectionsThatAreNotTheRegionsOwn) {
  ProfileDocument doc = ProfileDocument::Parse(
      "[ScanRegions]\nNumRegions=3\n[Region1]\nType=CustomerSlide0\n"
      "[Region2]\nType= customerslide0\n[Region3]\nType=SCANREGIONS\n");
  const std::string before = doc.Serialize();
  auto expect_refused = [&](const char* section, bool remove, const std::string& message) {
    ScanRegion current = ReadRegion(doc, section, GetParam());
    try {
      if (remove) {
        DeleteRegion(doc, current, GetParam());
      } else {
        WriteCurrentRegion(doc, false, current, GetParam());
      }
      ADD_FAILURE() << section << " was changed";
    } catch (const Error& error) {
      EXPECT_EQ(error.Description(),
                "Cannot change " + message + ". Please correct the region file.");
    }
    EXPECT_EQ(doc.Serialize(), before) << section;
  };
  expect_refused("Region2", false,
                 "Region2: its slide section customerslide0 is also used by Region1");
  const std::string own =
      "Region3: its slide section SCANREGIONS is a section of the region file's own";
  expect_refused("Region3", false, own);
  // Renumbering after Region1 would delete [ScanRegions] as Region3's slide section.
  expect_refused("Region1", true, own);
}

TEST_P(RegionWriteTest, FailuresLeaveTheFileAsItWas) {
  const std::string fixture = Start("five_regions.ini");
  auto expect_error = [&](int number, const std::string& text, auto command) {
    try {
      command();
      ADD_FAILURE() << "no error for " << text;
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), number);
      EXPECT_EQ(e.Description().substr(0, text.size()), text);
    }
    EXPECT_EQ(FileNow(), fixture);
  };
  expect_error(kErrTypeMismatch, "Type mismatch",
               [&] { SaveCurrentRegion(global_, true, "N", "1", "1", "abc", "1"); });
  expect_error(kErrRegionWrite, "The name \"\xE2\x84\xA6\"",  // Omega, not in Windows-1252
               [&] { SaveCurrentRegion(global_, true, "\xE2\x84\xA6", "1", "1", "abc", "1"); });

  // A file without any write bit refuses every writer, root included.
  using std::filesystem::perms;
  std::filesystem::permissions(global_.RegionFilePath,
                               perms::owner_write | perms::group_write | perms::others_write,
                               std::filesystem::perm_options::remove);
  expect_error(kErrRegionWrite, "Error writing ScanRegions in ",
               [&] { SaveCurrentRegion(global_, true, "N", "1", "1", "1", "1"); });
  ReadRegion(global_, "Region4");
  expect_error(kErrRegionWrite, "Error writing Region Type in",
               [&] { SaveCurrentRegion(global_, false, "N", "1", "1", "1", "1"); });
  ReadRegion(global_, "Region4");
  expect_error(kErrRegionWrite, "Error writing/deleting section in",
               [&] { DeleteRegion(global_); });
  EXPECT_EQ(global_.CurrentRegion.SectionName, "Region4");
}

TEST_P(RegionWriteTest, NeverOverwritesAChangeMadeOnDisk) {
  Start("five_regions.ini");
  auto session = RegionFileSession::Open(global_.RegionFilePath);
  ScanRegion region = ReadRegion(session.Document(), "Region5", GetParam());
  DeleteRegion(session.Document(), region, GetParam());
  const std::string changed = Crlf("[ScanRegions]\nNumRegions=0\n");
  WriteBytes(global_.RegionFilePath, changed);
  try {
    session.Commit(kDeleteWriteMessage);
    ADD_FAILURE() << "the change was overwritten";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), kErrChangedOnDisk);
  }
  EXPECT_EQ(FileNow(), changed);
}

TEST_P(RegionWriteTest, OneWriterAtATime) {
  Start("five_regions.ini");
  {
    auto first = RegionFileSession::Open(global_.RegionFilePath);
    EXPECT_THROW(RegionFileSession::Open(global_.RegionFilePath, RealFileSystem(), 20), Error);
  }
  EXPECT_NO_THROW(RegionFileSession::Open(global_.RegionFilePath, RealFileSystem(), 20));
}

}  // namespace
}  // namespace quillmap
