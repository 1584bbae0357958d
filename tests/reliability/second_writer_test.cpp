// A second program writes the region file in a loop while Quillmap adds, renames and deletes
// regions in it. One that rewrites the file in place (truncate, then write) can lose changes
// that Quillmap made just before its write, and rarely one of its own: those are counted.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "reliability_fixture.h"

namespace quillmap {
namespace {

constexpr int kMaxCommands = 1500;
constexpr auto kMaxDuration = std::chrono::seconds(8);

class SecondWriterTest : public ReliabilityTest,
                         public ::testing::WithParamInterface<const char*> {};

TEST_P(SecondWriterTest, EveryCommandSucceedsOnTheCurrentFileOrReportsTheChange) {
  const bool careful = std::string(GetParam()) == "careful";
  auto rows = [&] { return LoadRegionList(RegionFile(), false, global_.Scanner.Limits, '.').rows; };
  auto names_of = [](const std::vector<RegionRow>& rows) {
    std::vector<std::string> names;
    for (const RegionRow& row : rows) names.push_back(row.cells[kColumnName]);
    return names;
  };
  WriteBytes(RegionFile(), Fixture());
  // The careful writer swaps two files in one step, which not every file system can.
  auto swap = [&] {
    return ::renameat2(AT_FDCWD, RegionFile().c_str(), AT_FDCWD, global_.SystemFilePath.c_str(),
                       RENAME_EXCHANGE) == 0;
  };
  if (careful && !(swap() && swap())) GTEST_SKIP() << "this file system cannot swap two files";
  std::vector<std::string> names = names_of(rows());  // the supplied regions, then Quillmap's own
  const size_t supplied = names.size();
  // The writer runs until a line arrives on its standard input.
  const std::string out = folder_.Runtime() + "/writer.out";
  FILE* writer = popen(
      ("'" QUILLMAP_SCANNER_WRITER "' '" + RegionFile() + "' " + GetParam() + " > " + out).c_str(),
      "w");
  ASSERT_NE(writer, nullptr);

  // unseen: the list, read while the writer was halfway, did not show the region.
  int done = 0, reported = 0, unseen = 0, commands = 0;
  const auto end = std::chrono::steady_clock::now() + kMaxDuration;
  for (; commands < kMaxCommands && std::chrono::steady_clock::now() < end; ++commands) {
    const int kind = names.size() < supplied + 3 ? 0 : commands % 3;  // add, rename, delete
    const std::string name = (kind == 1 ? "R" : "Q") + std::to_string(commands);
    try {
      if (kind == 0) {
        SaveCurrentRegion(global_, true, name, "10.00", "5.00", "5.00", "5.00");
        names.push_back(name);
        ++done;
        continue;
      }
      const std::string& own = kind == 1 ? names[supplied] : names.back();
      const std::vector<RegionRow> listed = rows();
      const auto row = std::find_if(listed.begin(), listed.end(), [&](const RegionRow& r) {
        return r.cells[kColumnName] == own;
      });
      if (row == listed.end()) {
        ++unseen;
        continue;
      }
      ReadRegion(global_, row->cells[kColumnSectionName]);
      if (kind == 1) {
        const ScanRegion& r = global_.CurrentRegion;
        SaveCurrentRegion(global_, false, name, r.SlideX, r.SlideY, r.RegionWidth, r.RegionHeight);
        names[supplied] = name;
      } else {
        DeleteRegion(global_);
        names.pop_back();
      }
      ++done;
    } catch (const Error& error) {
      ASSERT_EQ(error.Number(), kErrChangedOnDisk) << error.Description();
      EXPECT_EQ(error.Description(), kChangedOnDiskMessage);
      ++reported;
    }
  }
  EXPECT_GE(std::fputs("\n", writer), 0);
  const int status = pclose(writer);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  long writes = -1, lost = -1, hidden = -1;
  std::sscanf(ReadBytes(out).c_str(), "writes %ld lost %ld hidden %ld", &writes, &lost, &hidden);
  const std::vector<std::string> listed = names_of(rows());
  // Quillmap's changes that the file does not show: names missing, or deleted and back.
  long missing = 0;
  for (const std::string& name : names) missing += !std::count(listed.begin(), listed.end(), name);
  for (const std::string& name : listed) missing += !std::count(names.begin(), names.end(), name);
  std::cout << "[second writer, " << GetParam() << "] " << commands << " commands: " << done
            << " done, " << reported << " reported the change on disk, " << unseen
            << " found no region to work on; the other program wrote " << writes << " times, lost "
            << lost << " of its changes and found " << hidden << " gone for a moment; " << missing
            << " of Quillmap's changes are missing\n";

  EXPECT_GT(writes, 0);
  EXPECT_GT(done, 0);
  ASSERT_GE(listed.size(), supplied);
  EXPECT_TRUE(std::equal(names.begin(), names.begin() + supplied, listed.begin()))
      << "a supplied region is gone";
  // An in-place writer can finish its write into the file Quillmap just swapped out, after
  // Quillmap checked it: what it throws away is counted above, not held against Quillmap.
  if (careful) {
    EXPECT_EQ(lost, 0) << "a change of the other program was thrown away";
    EXPECT_EQ(listed, names) << "a change of Quillmap was thrown away";
    EXPECT_EQ(ReadProfileString("ScannerSoftware", "Counter", "", RegionFile()),
              std::to_string(writes));
  }
}

INSTANTIATE_TEST_SUITE_P(Writers, SecondWriterTest, ::testing::Values("careful", "in-place"),
                         [](const auto& info) {
                           return std::string(info.param) == "careful" ? "Careful" : "InPlace";
                         });

}  // namespace
}  // namespace quillmap
