// Adding, modifying and deleting regions on real files, checked byte for byte, and what a
// command leaves behind when it refuses or cannot write.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>

#include "regions/region_commands.h"
#include "regions/region_file.h"
#include "regions/save_region.h"
#include "settings/cp1252.h"
#include "settings/temp_folder.h"
#include "support/fake_ui.h"

namespace quillmap {
namespace {

// "<number>: <description>" of the Error that `command` throws.
template <typename Command>
std::string Refusal(Command command) {
  try {
    command();
  } catch (const Error& e) {
    return std::to_string(e.Number()) + ": " + e.Description();
  }
  return "no error";
}

// Runs with "." and with "," as the decimal separator.
class RegionWriteTest : public ::testing::TestWithParam<char> {
 protected:
  void SetUp() override {
    global_.RegionFilePath = folder_ / "ChipRegions.ini";
    global_.DecimalSeparator = GetParam();
    global_.Scanner.Limits = {0, 0, 100, 100, 100, 100, 0.5, 0.5};
  }
  // The edit dialog's Save of these box texts: the messages it showed.
  std::vector<std::string> Save(bool is_new, const std::string& name, const std::string& x,
                                const std::string& y, const std::string& width,
                                const std::string& height) {
    testing::FakeUi ui;
    SaveRequest request;
    request.is_new = is_new;
    request.boxes = {name, x, y, width, height};
    request.captions = InitialRangeCaptions(global_.Scanner.Limits, x, y, GetParam()).captions;
    SaveRegion(global_, ui, request);
    return ui.Texts();
  }
  // Deletes CurrentRegion as the Delete command does: what stopped it, or "".
  std::string Delete() {
    RegionFileSession session = RegionFileSession::Open(global_.RegionFilePath);
    const ScanRegion& r = global_.CurrentRegion;
    const DeleteOutcome outcome =
        DeleteRegions(session, {{"YES", r.RegionName, r.SectionName}}, "", "", GetParam());
    return outcome.stopped_by ? outcome.stopped_by->Description() : "";
  }
  // Puts a fixture into the region file; returns its bytes.
  std::string Start(const std::string& fixture) {
    const std::string bytes = ReadBytes(std::string(QUILLMAP_TEST_DATA) + "/regions/" + fixture);
    EXPECT_FALSE(bytes.empty()) << fixture;
    WriteBytes(global_.RegionFilePath, bytes);
    return bytes;
  }
  std::string FileNow() const { return ReadBytes(global_.RegionFilePath); }
  // A millimetre text in the locale under test.
  std::string Mm(std::string text) const {
    std::replace(text.begin(), text.end(), '.', GetParam());
    return text;
  }

  TempFolder folder_;
  Global global_;
};

INSTANTIATE_TEST_SUITE_P(Separators, RegionWriteTest, ::testing::Values('.', ','));

// The file as other editors save it: CR alone, UTF-8 or UTF-16LE with a byte-order mark.
std::string Encoded(const std::string& form, std::string text) {
  if (form == "CR") text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
  if (form == "UTF-8") return "\xEF\xBB\xBF" + Cp1252ToUtf8(text);
  std::string utf16 = "\xFF\xFE";
  for (const char c : text) (utf16 += c) += '\0';  // Latin-1 only: one unit a byte
  return form == "UTF-16" ? utf16 : text;
}

TEST_P(RegionWriteTest, AddsTheSixthRegionAsInTheWorkedExample) {
  const std::string fixture = Start("five_regions.ini");
  std::string added = Replaced(fixture, "NumRegions=5", "NumRegions=6");
  added += Crlf(
      "[Region6]\nType=CustomerSlide5\nName=Left "
      "h\xE4lf\nCustom=YES\nX=0\nY=0\nW=20000\nH=60000\n\n"
      "[CustomerSlide5]\nX=2000\nY=5000\nAFX=500\nAFY=5000\nPKG=5\n\n");
  for (const std::string form : {"CR LF", "CR", "UTF-8", "UTF-16"}) {
    SCOPED_TRACE(form);
    WriteBytes(global_.RegionFilePath, Encoded(form, fixture));
    const RegionList list = LoadRegionList(global_.RegionFilePath, false, {}, GetParam());
    EXPECT_EQ(list.rows.at(1).cells,
              (std::array<std::string, 7>{"NO", "Left array \xC3\x98", Mm("2.00"), Mm("10.00"),
                                          Mm("10.00"), Mm("20.00"), "Region2"}));
    EXPECT_THAT(Save(true, "  Left h\xC3\xA4lf ", Mm("2.00"), Mm("5.00"), Mm("20.00"), Mm("60.00")),
                ::testing::IsEmpty());
    EXPECT_EQ(FileNow(), Encoded(form, added));
  }

  // A file without a count gets Region1; AFX: 2.50 goes to the even whole number 2, less 1.5.
  const std::string no_count = Crlf("[VelmoraDefault]\nRegion=Region1\n\n");
  WriteBytes(global_.RegionFilePath, no_count);
  global_.CurrentRegion = ScanRegion();
  Save(true, "First", Mm("2.50"), "3", "10", Mm("10.25"));
  EXPECT_EQ(FileNow(), no_count + Crlf("[ScanRegions]\nNumRegions=1\n[Region1]\n"
                                       "Type=CustomerSlide0\nName=First\nCustom=YES\nX=0\nY=0\n"
                                       "W=10000\nH=10250\n\n[CustomerSlide0]\nX=2500\nY=3000\n"
                                       "AFX=500\nAFY=3000\nPKG=5\n\n"));
}

TEST_P(RegionWriteTest, ModifyRewritesTheRegionAndItsSlideSectionOnly) {
  const std::string fixture = Start("five_regions.ini");
  ReadRegion(global_, "Region4");
  Save(false, "Spots 2", Mm("12.40"), "21", Mm("15.50"), "30");
  EXPECT_EQ(FileNow(),
            Replaced(fixture,
                     Crlf("Name=Spots\nCustom=YES\nX=0\nY=0\nW=15000\nH=30000\n\n"
                          "[CustomerSlide3]\nX=3000\nY=20000\nAFX=1500\nAFY=20000\n"),
                     Crlf("Name=Spots 2\nCustom=YES\nX=0\nY=0\nW=15500\nH=30000\n\n"
                          "[CustomerSlide3]\nX=12400\nY=21000\nAFX=10500\nAFY=21000\n")));
}

// Region3 moves with its lengths rounded to hundredths of a millimetre (12345 is just above
// 12.345 mm in binary, 2005 just below 2.005); Region4 with its height text and the slide
// section that Region1 still names.
TEST_P(RegionWriteTest, DeletingMovesRoundedValuesKeepsTextsAndSharedSlides) {
  Start("odd_regions.ini");
  ReadRegion(global_, "Region2");
  EXPECT_EQ(Delete(), "");
  EXPECT_EQ(FileNow(),
            Crlf("[ScanRegions]\nNumRegions=3\n\n[VelmoraDefault]\nRegion=Region1\n\n"
                 "[Region1]\nType=Slide25x75\nName=Full slide\nCustom=NO\nX=0\nY=0\nW=22000\n"
                 "H=72000\n\n[Slide25x75]\nX=1500\nY=1500\nAFX=0\nAFY=1500\nPKG=1\n\n"
                 "[Region2]\nType=CustomerSlide1\nName=Fine grid\nCustom=YES\nX=0\nY=0\n"
                 "W=12350\nH=20000\n\n[CustomerSlide1]\nX=2000\nY=30000\nAFX=500\nAFY=30000\n"
                 "PKG=5\n\n[Region3]\nType=CustomerSlide2\nName=Full slide, tall\nCustom=NO\n"
                 "X=0\nY=0\nW=22000\nH=abc\n\n[CustomerSlide2]\nX=1500\nY=1500\nAFX=0\n"
                 "AFY=1500\nPKG=1\n\n"));
}

// Each of these would lose a region, or change one that the command was not given. The fuzz
// replay's kept inputs hold the negative count and the shared slide sections.
TEST_P(RegionWriteTest, RefusalsLeaveTheDocumentAsItWas) {
  const std::string count = "[ScanRegions]\nNumRegions=";
  const std::string shared = count + "3\n[Region1]\nType=CustomerSlide0\n[Region2]\n" +
                             "Type= customerslide0\n[Region3]\nType=SCANREGIONS\n";
  const char* own = "5001: Cannot change Region3: its slide section SCANREGIONS is a section of";
  const std::tuple<std::string, char, const char*, const char*> cases[] = {
      {count + "32766", 'a', "", "6: The region file holds 32766 regions, the most that can be"},
      {count + "32767", 'a', "", "6: Overflow"},
      // Region3 would move onto the slide section that Region1 keeps.
      {count + "3\n[Region1]\nType=customerslide1\n[Region2]\n[Region3]\n", 'd', "Region2",
       "5001: Cannot delete this region: renumbering the regions after it would overwrite the "
       "slide section CustomerSlide1 of Region1."},
      {count + "3\n", 'd', "Region4", "5002: The region file was changed by another program."},
      {shared, 'm', "Region3", own},
      // The count and the sections disagree: adding must not take over Region2.
      {count + "1\n[Region1]\n[Region2]\nName=Kept\n", 'a', "Region2",
       "5001: Cannot add Region2: the region file already has a section Region2 beyond its"},
  };
  for (const auto& [text, command, section, message] : cases) {
    SCOPED_TRACE(command + std::string(" ") + section + " in " + text);
    ProfileDocument doc = ProfileDocument::Parse(text);
    const std::string before = doc.Serialize();
    ScanRegion current = ReadRegion(doc, section, GetParam());
    EXPECT_THAT(Refusal([&] {
                  if (command == 'd') DeleteRegion(doc, current, GetParam());
                  if (command != 'd') WriteCurrentRegion(doc, command == 'a', current, GetParam());
                }),
                ::testing::StartsWith(message));
    EXPECT_EQ(doc.Serialize(), before);
  }
}

TEST_P(RegionWriteTest, FailuresLeaveTheFileAsItWas) {
  const std::string fixture = Start("five_regions.ini");
  using ::testing::ElementsAre;
  EXPECT_THAT(Save(true, "N", "1", "1", Mm("0.20"), "1"),
              ElementsAre(::testing::StartsWith("Width must be between")));
  EXPECT_THAT(Save(true, "\xE2\x84\xA6", "1", "1", "1", "1"),
              ElementsAre("The name \"\xE2\x84\xA6\" contains characters that cannot be stored in "
                          "the region file."));
  EXPECT_EQ(FileNow(), fixture);
  // A count that is not a number: the name check reports it and passes, the write refuses.
  const std::string bad_count = Replaced(fixture, "NumRegions=5", "NumRegions=five");
  WriteBytes(global_.RegionFilePath, bad_count);
  EXPECT_THAT(Save(true, "N", "1", "1", "5", "5"), ElementsAre("Type mismatch", "Type mismatch"));
  EXPECT_EQ(FileNow(), bad_count);
  const std::string omega = std::string("\xFF\xFE[\0\r\0\x26\x21", 8);  // UTF-16: "[", CR, Ω
  WriteBytes(global_.RegionFilePath, omega);
  EXPECT_THAT(Save(true, "N", "1", "1", "5", "5"),
              ::testing::Contains(::testing::HasSubstr("Windows-1252 cannot hold (line 2)")));
  EXPECT_EQ(FileNow(), omega);
}

TEST_P(RegionWriteTest, NeverOverwritesAChangeMadeOnDiskAndOneWriterAtATime) {
  Start("five_regions.ini");
  {
    auto session = RegionFileSession::Open(global_.RegionFilePath);
    EXPECT_THROW(RegionFileSession::Open(global_.RegionFilePath, RealFileSystem(), 20), Error);
    ScanRegion region = ReadRegion(session.Document(), "Region5", GetParam());
    DeleteRegion(session.Document(), region, GetParam());
    WriteBytes(global_.RegionFilePath, "[ScanRegions]\r\nNumRegions=0\r\n");
    EXPECT_EQ(Refusal([&] { session.Commit(kDeleteWriteMessage); }),
              "5002: " + std::string(kChangedOnDiskMessage));
  }
  EXPECT_EQ(FileNow(), "[ScanRegions]\r\nNumRegions=0\r\n");
  EXPECT_NO_THROW(RegionFileSession::Open(global_.RegionFilePath, RealFileSystem(), 20));
}

}  // namespace
}  // namespace quillmap
