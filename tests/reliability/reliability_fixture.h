// A private data folder per test, the command-line tool run as a user runs it, what a test
// needs to make the disk refuse, and the hostile region files.
#pragma once

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <functional>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "regions/global.h"
#include "regions/region_file.h"
#include "regions/startup.h"
#include "settings/number_text.h"
#include "settings/temp_folder.h"
#include "support/run_cli.h"
#include "sysfile/system_file.h"
#include "sysfile/system_file_writer.h"

namespace quillmap {

inline std::string FixtureBytes(const std::string& name) {
  return ReadBytes(std::string(QUILLMAP_RELIABILITY_DATA) + "/" + name);
}

inline std::vector<std::string> AddArgs(const std::string& name) {
  return {"add", "--name", name, "--x", "10", "--y", "5", "--width", "5", "--height", "5"};
}

// Root may write anywhere; a folder without write bits only stops it once it gives up the
// override. The calling thread drops it for the guard's lifetime (a no-op for other users).
class WithoutOverride {
 public:
  WithoutOverride() {
    if (syscall(SYS_capget, &header_, saved_) != 0) return;
    __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
    reduced[0].effective &=
        ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
    dropped_ = syscall(SYS_capset, &header_, reduced) == 0;
  }
  ~WithoutOverride() {
    if (dropped_) syscall(SYS_capset, &header_, saved_);
  }

 private:
  __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct saved_[2]{};
  bool dropped_ = false;
};

class ReliabilityTest : public ::testing::Test {
 protected:
  ReliabilityTest() {
    WriteBytes(folder_ / kSystemFileName,
               BuildSystemFile(ParseModelDescriptions(FixtureBytes("models.txt")),
                               SystemFileLayout::kModelTable));
    global_.DataFolderPath = folder_.Data() + "/";
    global_.RegionFilePath = RegionFile();
    global_.SystemFilePath = folder_ / kSystemFileName;
    SelectModel(global_.SystemFilePath, "VX4400", global_.Scanner);
    setenv("QUILLMAP_REGISTRY", folder_.Runtime().c_str(), 1);  // for the command-line tool
  }
  ~ReliabilityTest() override { ::chmod(folder_.Data().c_str(), 0755); }  // so it can go

  std::string RegionFile() const { return folder_ / kRegionFileName; }
  std::string Fixture() const { return FixtureBytes(kRegionFileName); }

  // Temporary files and side copies in the data and state folders: a finished command leaves none.
  std::set<std::string> Leftovers() const {
    std::set<std::string> paths;
    for (const std::string& name : Entries(folder_.Data())) {
      if (name != kRegionFileName && name != kSystemFileName) paths.insert(folder_ / name);
    }
    for (const std::string& name : Entries(folder_.State()))
      paths.insert(folder_.State() + "/" + name);
    return paths;
  }

  // quillmap-cli on the test's data folder.
  testing::CliResult Cli(std::vector<std::string> args) const {
    args.insert(args.end(), {"--data-folder", folder_.Data(), "--model", "VX4400"});
    return testing::RunProgram(QUILLMAP_CLI, args, folder_.Runtime());
  }

  TempFolder folder_;
  Global global_;
};

// Region files as a hand edit, another program or a broken disk may leave them.
using Cells = std::vector<std::tuple<int, int, std::string, bool>>;  // row, column, text, red
struct Hostile {
  const char* name;
  std::function<std::string()> make;
  const char* load_error;  // the message shown instead of the list, or ""
  int rows;                // regions listed
  Cells cells = {};
  std::function<void(const RegionList&)> check = nullptr;
};
// Keeps the test names short: the case's name, not its bytes.
inline void PrintTo(const Hostile& hostile, std::ostream* out) { *out << hostile.name; }

// Made when a test runs, so that only its own is in memory. Region6 has its own slide section.
inline std::vector<Hostile> HostileFiles() {
  using Make = std::function<std::string()>;
  auto with = [](const std::string& from, const std::string& to) -> Make {
    return [=] { return Replaced(FixtureBytes(kRegionFileName), from, to); };
  };
  auto count = [&](const std::string& n) { return with("NumRegions=6", "NumRegions=" + n); };
  auto width = [&](const std::string& w) { return with("W=5000\r\n", "W=" + w + "\r\n"); };
  auto bytes = [](size_t size, char c) -> Make { return [=] { return std::string(size, c); }; };
  return {
      {"Empty", bytes(0, 'x'), "", 0},
      {"BinaryGarbage",
       [] {
         std::mt19937 random(7);
         std::string garbage(64 * 1024, '\0');
         for (char& c : garbage) c = static_cast<char>(random());
         return garbage;
       },
       "", 0},
      {"OnlyNulBytes", bytes(4096, '\0'), "", 0},
      {"NulInNameAndType",
       [=] {
         return Replaced(with("Name=Spot D", std::string("Name=Spot\0D", 11))(),
                         "Type=CustomerSlide5", std::string("Type=CustomerSlide5\0", 20));
       },
       "", 6,
       // The slide section is not found.
       Cells{{6, kColumnName, std::string("Spot\0D", 6), false}, {6, kColumnX, "0.00", true}}},
      {"NulAfterTheCount", count(std::string("6\0", 2)), "Type mismatch", 0},
      {"TenMegabyteName",
       [] {
         return Replaced(FixtureBytes(kRegionFileName), "Name=Spot D",
                         "Name=" + std::string(10 << 20, 'x'));
       },
       "", 6, Cells{},
       [](const RegionList& list) {
         EXPECT_EQ(list.rows.at(5).cells[kColumnName], std::string(10 << 20, 'x'));
       }},
      {"TenMegabyteLineAlone", bytes(10 << 20, 'y'), "", 0},
      {"SameSectionFiveThousandTimes",
       [] {
         std::string bytes = FixtureBytes(kRegionFileName);
         for (int i = 0; i < 5000; ++i)
           bytes += "[Region6]\r\nName=Copy " + std::to_string(i) + "\r\n";
         return bytes;
       },
       "", 6, Cells{{6, kColumnName, "Spot D", false}}},
      {"KeysBeforeAnySection",
       [] { return "NumRegions=1\r\nName=Orphan\r\nW=1\r\n" + FixtureBytes(kRegionFileName); }, "",
       6, Cells{{1, kColumnName, "Full Slide", false}}},
      {"CountZero", count("0"), "", 0},
      {"Count32766", count("32766"), "", 32766,
       Cells{{32766, kColumnName, "*Unknown*", false},
             {32766, kColumnSectionName, "Region32766", false}}},
      {"Count32767", count("32767"), "Overflow", 0},
      {"MissingSlideSection", with("Type=CustomerSlide5", "Type=Nowhere"), "", 6,
       Cells{{6, kColumnX, "0.00", true}, {6, kColumnY, "0.00", true}}},
      {"SharedSlideSection", with("Type=CustomerSlide5", "Type=SlideFull"), "", 6,
       Cells{{6, kColumnX, "3.00", false}}},
      {"WidthEmpty", width(""), "", 6, Cells{{6, kColumnWidth, "", true}}},
      {"WidthHuge", width("1e308"), "", 6, Cells{},
       [](const RegionList& list) {
         const std::string& cell = list.rows.at(5).cells[kColumnWidth];
         EXPECT_EQ(cell.substr(cell.size() - 3), ".00");
         EXPECT_EQ(cell.find('e'), std::string::npos);
         EXPECT_DOUBLE_EQ(TextToDouble(cell, '.'), 1e305);
         EXPECT_TRUE(list.rows.at(5).red[kColumnWidth]);
       }},
      {"WidthMinusZero", width("-0"), "", 6, Cells{{6, kColumnWidth, "0.00", true}}},
      {"WidthNaN", width("NaN"), "", 6, Cells{{6, kColumnWidth, "NaN", true}}},
      {"WidthWithComma", width("1,5"), "", 6, Cells{{6, kColumnWidth, "1,5", true}}},
  };
}

}  // namespace quillmap
