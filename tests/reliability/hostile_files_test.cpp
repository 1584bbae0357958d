// Region files as a hand edit, another program or a broken disk may leave them, loaded by the
// core and run through every command of the command-line tool. Loading gives the list or the
// conversion error; a command either does its work without losing a region or refuses with a
// message, and only a command that succeeds changes the file.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <random>
#include <string>

#include "reliability_fixture.h"
#include "settings/number_text.h"
#include "settings/profile.h"

namespace quillmap {
namespace {

// Region6 is the fixture's last region, a customer region with its own slide section.
std::string WithRegion6Width(const std::string& fixture, const std::string& width) {
  return Replaced(fixture, "W=5000\r\n", "W=" + width + "\r\n");
}

std::string WithCount(const std::string& fixture, const std::string& count) {
  return Replaced(fixture, "NumRegions=6", "NumRegions=" + count);
}

struct Hostile {
  const char* name;
  std::function<std::string(const std::string& fixture)> make;
  const char* load_error;  // the message shown instead of the list, or ""
  int rows;                // regions listed
  std::function<void(const RegionList&)> check;
};
// Keeps the test names short: the case's name, not its bytes.
void PrintTo(const Hostile& hostile, std::ostream* out) { *out << hostile.name; }

void ExpectCell(const RegionList& list, int row, int column, const std::string& text, bool red) {
  ASSERT_GE(list.rows.size(), static_cast<size_t>(row));
  EXPECT_EQ(list.rows[row - 1].cells[column], text) << "row " << row << " column " << column;
  EXPECT_EQ(list.rows[row - 1].red[column], red) << "row " << row << " column " << column;
}

auto Width6(const std::string& text) {
  return [text](const RegionList& list) { ExpectCell(list, 6, kColumnWidth, text, true); };
}

const Hostile kHostileFiles[] = {
    {"Empty", [](const std::string&) { return std::string(); }, "", 0, nullptr},
    {"BinaryGarbage",
     [](const std::string&) {
       std::mt19937 random(7);
       std::string bytes(64 * 1024, '\0');
       for (char& c : bytes) c = static_cast<char>(random());
       return bytes;
     },
     "", 0, nullptr},
    {"OnlyNulBytes", [](const std::string&) { return std::string(4096, '\0'); }, "", 0, nullptr},
    {"NulInNameAndType",
     [](const std::string& f) {
       return Replaced(Replaced(f, "Name=Spot D", std::string("Name=Spot\0D", 11)),
                       "Type=CustomerSlide5", std::string("Type=CustomerSlide5\0", 20));
     },
     "", 6,
     [](const RegionList& list) {
       ExpectCell(list, 6, kColumnName, std::string("Spot\0D", 6), false);
       ExpectCell(list, 6, kColumnX, "0.00", true);  // the slide section is not found
     }},
    {"NulAfterTheCount", [](const std::string& f) { return WithCount(f, std::string("6\0", 2)); },
     "Type mismatch", 0, nullptr},
    {"TenMegabyteName",
     [](const std::string& f) {
       return Replaced(f, "Name=Spot D", "Name=" + std::string(10 << 20, 'x'));
     },
     "", 6,
     [](const RegionList& list) {
       EXPECT_EQ(list.rows.at(5).cells[kColumnName], std::string(10 << 20, 'x'));
     }},
    {"TenMegabyteLineAlone", [](const std::string&) { return std::string(10 << 20, 'y'); }, "", 0,
     nullptr},
    {"SameSectionFiveThousandTimes",
     [](const std::string& f) {
       std::string bytes = f;
       for (int i = 0; i < 5000; ++i)
         bytes += "[Region6]\r\nName=Copy " + std::to_string(i) + "\r\n";
       return bytes;
     },
     "", 6, [](const RegionList& list) { ExpectCell(list, 6, kColumnName, "Spot D", false); }},
    {"KeysBeforeAnySection",
     [](const std::string& f) { return "NumRegions=1\r\nName=Orphan\r\nW=1\r\n" + f; }, "", 6,
     [](const RegionList& list) { ExpectCell(list, 1, kColumnName, "Full Slide", false); }},
    {"CountMinusOne", [](const std::string& f) { return WithCount(f, "-1"); }, "", 0, nullptr},
    {"CountZero", [](const std::string& f) { return WithCount(f, "0"); }, "", 0, nullptr},
    {"Count32766", [](const std::string& f) { return WithCount(f, "32766"); }, "", 32766,
     [](const RegionList& list) {
       ExpectCell(list, 32766, kColumnName, "*Unknown*", false);
       ExpectCell(list, 32766, kColumnSectionName, "Region32766", false);
     }},
    {"Count32767", [](const std::string& f) { return WithCount(f, "32767"); }, "Overflow", 0,
     nullptr},
    {"Count99999999", [](const std::string& f) { return WithCount(f, "99999999"); }, "Overflow", 0,
     nullptr},
    {"CountAbc", [](const std::string& f) { return WithCount(f, "abc"); }, "Type mismatch", 0,
     nullptr},
    {"MissingSlideSection",
     [](const std::string& f) { return Replaced(f, "Type=CustomerSlide5", "Type=Nowhere"); }, "", 6,
     [](const RegionList& list) {
       ExpectCell(list, 6, kColumnX, "0.00", true);
       ExpectCell(list, 6, kColumnY, "0.00", true);
     }},
    {"SharedSlideSection",
     [](const std::string& f) { return Replaced(f, "Type=CustomerSlide5", "Type=SlideFull"); }, "",
     6, [](const RegionList& list) { ExpectCell(list, 6, kColumnX, "3.00", false); }},
    {"WidthEmpty", [](const std::string& f) { return WithRegion6Width(f, ""); }, "", 6, Width6("")},
    {"WidthBlank", [](const std::string& f) { return WithRegion6Width(f, " "); }, "", 6,
     Width6("")},
    {"WidthHuge", [](const std::string& f) { return WithRegion6Width(f, "1e308"); }, "", 6,
     [](const RegionList& list) {
       const std::string& cell = list.rows.at(5).cells[kColumnWidth];
       EXPECT_EQ(cell.substr(cell.size() - 3), ".00");
       EXPECT_EQ(cell.find('e'), std::string::npos);
       EXPECT_DOUBLE_EQ(TextToDouble(cell, '.'), 1e305);
       EXPECT_TRUE(list.rows.at(5).red[kColumnWidth]);
     }},
    {"WidthMinusZero", [](const std::string& f) { return WithRegion6Width(f, "-0"); }, "", 6,
     Width6("0.00")},
    {"WidthNaN", [](const std::string& f) { return WithRegion6Width(f, "NaN"); }, "", 6,
     Width6("NaN")},
    {"WidthWithComma", [](const std::string& f) { return WithRegion6Width(f, "1,5"); }, "", 6,
     Width6("1,5")},
};

class HostileFileTest : public ReliabilityTest, public ::testing::WithParamInterface<Hostile> {
 protected:
  void SetUp() override {
    bytes_ = GetParam().make(Fixture());
    WriteBytes(RegionFile(), bytes_);
  }

  RegionList Load() const {
    return LoadRegionList(RegionFile(), false, global_.Scanner.Limits, '.');
  }

  // Every region listed, read whole; empty when the file cannot be listed.
  std::vector<ScanRegion> Regions() const {
    ProfileDocument doc;
    EXPECT_TRUE(LoadProfile(RegionFile(), &doc, nullptr));
    std::vector<ScanRegion> regions;
    for (const RegionRow& row : LoadRegionList(doc, false, global_.Scanner.Limits, '.').rows) {
      regions.push_back(ReadRegion(doc, row.cells[kColumnSectionName], '.'));
    }
    return regions;
  }

  // A command that the file may refuse: a refusal says why and leaves the file as it was; a
  // success must leave the regions that `expected` makes of the ones before.
  void ExpectDoneOrRefused(const std::vector<std::string>& args,
                           const std::function<void(std::vector<ScanRegion>&,
                                                    const std::vector<ScanRegion>&)>& expected) {
    SCOPED_TRACE(args.front());
    const std::string bytes = ReadBytes(RegionFile());
    std::vector<ScanRegion> regions = Regions();
    const CliResult r = Cli(args);
    ASSERT_TRUE(r.exited) << "killed by a signal";
    EXPECT_TRUE(Leftovers().empty());
    if (r.status != 0) {
      EXPECT_EQ(r.status, 1) << r.err;
      EXPECT_GT(r.err.size(), 1u);
      EXPECT_EQ(ReadBytes(RegionFile()), bytes);
      return;
    }
    const std::vector<ScanRegion> now = Regions();
    expected(regions, now);
    EXPECT_TRUE(regions == now) << "a region other than the one changed has changed";
  }

  std::string bytes_;
};

TEST_P(HostileFileTest, LoadingGivesTheListOrTheConversionError) {
  const RegionList list = Load();
  const Hostile& hostile = GetParam();
  EXPECT_EQ(list.error ? list.error->Description() : "", hostile.load_error);
  EXPECT_EQ(list.rows.size(), static_cast<size_t>(hostile.rows));
  if (hostile.check) hostile.check(list);
  EXPECT_EQ(ReadBytes(RegionFile()), bytes_);
  EXPECT_TRUE(Leftovers().empty());
}

TEST_P(HostileFileTest, CommandsKeepEveryRegionOrRefuse) {
  const std::string load_error = GetParam().load_error;
  for (const char* command : {"list", "check"}) {
    const CliResult r = Cli({command});
    ASSERT_TRUE(r.exited) << command << " killed by a signal";
    EXPECT_LE(r.status, 1) << command << ": " << r.err;
    if (!load_error.empty()) {
      EXPECT_EQ(r.err, load_error + "\n") << command;
    }
    EXPECT_EQ(ReadBytes(RegionFile()), bytes_) << command;
  }
  // Only the region that a command works on may change.
  ExpectDoneOrRefused(
      {"add", "--name", "Hostile", "--x", "10", "--y", "5", "--width", "5", "--height", "5"},
      [](std::vector<ScanRegion>& regions, const std::vector<ScanRegion>& now) {
        ASSERT_EQ(now.size(), regions.size() + 1);
        EXPECT_EQ(now.back().RegionName, "Hostile");
        regions.push_back(now.back());
      });
  if (Regions().size() < 6) return;
  ExpectDoneOrRefused({"modify", "Region6", "--name", "Changed"},
                      [](std::vector<ScanRegion>& regions, const std::vector<ScanRegion>& now) {
                        ASSERT_EQ(now.size(), regions.size());
                        EXPECT_EQ(now[5].RegionName, "Changed");
                        regions[5] = now[5];
                      });
  ExpectDoneOrRefused({"delete", "Region6"},
                      [](std::vector<ScanRegion>& regions, const std::vector<ScanRegion>& now) {
                        ASSERT_EQ(now.size() + 1, regions.size());
                        regions.erase(regions.begin() + 5);
                        // The regions after it move up, each with a slide section of its own.
                        for (size_t i = 5; i < regions.size(); ++i) {
                          regions[i].SectionName = now[i].SectionName;
                          regions[i].RegionType = now[i].RegionType;
                        }
                      });
}

INSTANTIATE_TEST_SUITE_P(Files, HostileFileTest, ::testing::ValuesIn(kHostileFiles),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quillmap
