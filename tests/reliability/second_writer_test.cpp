// A second program that takes no lock writes the region file in a loop while Quillmap adds,
// renames and deletes regions in it. Every command must succeed or report the change, never
// blame the file for what it met half-written; a program that renames its file in loses none
// of its changes. Quillmap's changes that the other program wrote over with a file it had read
// before them are that program's loss, not held against Quillmap.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "regions/region_commands.h"
#include "regions/save_region.h"
#include "reliability_fixture.h"
#include "support/fake_ui.h"

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

  int done = 0, commands = 0;
  const auto end = std::chrono::steady_clock::now() + kMaxDuration;
  for (; commands < kMaxCommands && std::chrono::steady_clock::now() < end; ++commands) {
    const int kind = names.size() < supplied + 3 ? 0 : commands % 3;  // add, rename, delete
    const std::string name = (kind == 1 ? "R" : "Q") + std::to_string(commands);
    global_.CurrentRegion = ScanRegion();
    try {
      if (kind != 0) {
        // The list, read just after the other program wrote over a change, may lack the region.
        const std::string& own = kind == 1 ? names[supplied] : names.back();
        const std::vector<RegionRow> listed = rows();
        const auto row = std::find_if(listed.begin(), listed.end(), [&](const RegionRow& r) {
          return r.cells[kColumnName] == own;
        });
        if (row == listed.end()) continue;
        ReadRegion(global_, row->cells[kColumnSectionName]);
      }
      const ScanRegion& r = global_.CurrentRegion;
      if (kind == 2) {
        RegionFileSession session = RegionFileSession::Open(RegionFile());
        const DeleteOutcome outcome =
            DeleteRegions(session, {{"YES", r.RegionName, r.SectionName}}, "", "", '.');
        if (outcome.stopped_by) throw *outcome.stopped_by;
        names.pop_back();
        ++done;
        continue;
      }
      // The edit dialog's Save: a failure is shown, and must be the change on disk.
      const RegionTexts boxes =
          kind == 0 ? RegionTexts{name, "10.00", "5.00", "5.00", "5.00"}
                    : RegionTexts{name, r.SlideX, r.SlideY, r.RegionWidth, r.RegionHeight};
      testing::FakeUi ui;
      const SaveRequest request{
          kind == 0, boxes,
          InitialRangeCaptions(global_.Scanner.Limits, boxes.x_pos, boxes.y_pos, '.').captions};
      if (SaveRegion(global_, ui, request).outcome != SaveOutcome::kSaved) {
        EXPECT_THAT(ui.Texts(), ::testing::ElementsAre(kChangedOnDiskMessage));
        continue;
      }
      (kind == 0 ? names.emplace_back() : names[supplied]) = name;
      ++done;
    } catch (const Error& error) {
      ASSERT_EQ(error.Number(), kErrChangedOnDisk) << error.Description();
      EXPECT_EQ(error.Description(), kChangedOnDiskMessage);
    }
  }
  EXPECT_GE(std::fputs("\n", writer), 0);
  const int status = pclose(writer);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  long writes = -1;
  std::sscanf(ReadBytes(out).c_str(), "writes %ld", &writes);
  const std::string counter =
      ProfileDocument::Parse(ReadBytes(RegionFile())).Read("ScannerSoftware", "Counter", "");
  const std::vector<std::string> listed = names_of(rows());
  EXPECT_GT(writes, 0);
  EXPECT_GT(done, 0);
  ASSERT_GE(listed.size(), supplied);
  EXPECT_TRUE(std::equal(names.begin(), names.begin() + supplied, listed.begin()))
      << "a supplied region is gone";
  // One that writes in place may write into the file Quillmap just replaced, after Quillmap
  // checked it: that change is lost, and nothing short of a shared lock can prevent it.
  if (careful) {
    EXPECT_EQ(counter, std::to_string(writes)) << "a change of the other program was lost";
  }
}

// root and another account add at once to one file that both may write: root replaces the
// file, the other account cannot keep root's ownership and rewrites it in place. Every add that
// reports success is in the file, and no other.
TEST_F(ReliabilityTest, TwoAccountsAddingAtOnceLoseNothing) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run a second account";
  const std::string other = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  const std::string cli =
      "'" QUILLMAP_CLI "' --data-folder '" + folder_.Data() + "' --model VX4400";
  for (const std::string& folder : {FolderOf(folder_.Data()), folder_.Runtime(), folder_.Data()})
    ::chmod(folder.c_str(), 0777);
  WriteBytes(RegionFile(), Fixture());
  ::chmod(RegionFile().c_str(), 0666);
  if (std::system((other + cli + " list >/dev/null 2>&1").c_str()) != 0) {
    GTEST_SKIP() << "the second account cannot run quillmap-cli from this folder";
  }
  constexpr int kAdds = 30;
  std::string script;
  for (const std::string who : {"Root", "Other"}) {
    script += "(for i in $(seq " + std::to_string(kAdds) + "); do " +
              (who == "Other" ? other : "") + cli + " add --name \"" + who +
              " $i\" --x 10 --y 5 --width 5 --height 5 >/dev/null 2>&1; echo \"" + who +
              " $i $?\"; done > '" + folder_.Runtime() + "/" + who + "') & ";
  }
  WriteBytes(folder_.Runtime() + "/adds.sh", script + "wait\n");
  ASSERT_EQ(std::system(("bash '" + folder_.Runtime() + "/adds.sh'").c_str()), 0);
  const RegionList list = LoadRegionList(RegionFile(), false, global_.Scanner.Limits, '.');
  std::multiset<std::string> listed;
  for (const RegionRow& row : list.rows) listed.insert(row.cells[kColumnName]);
  int reported = 0;
  for (const std::string who : {"Root", "Other"}) {
    std::istringstream results(ReadBytes(folder_.Runtime() + "/" + who));
    std::string name, number;
    int status = -1, lines = 0;
    while (results >> name >> number >> status) {
      ++lines;
      reported += status == 0;
      EXPECT_EQ(listed.count(name + " " + number), status == 0 ? 1u : 0u)
          << name << " " << number << " exited " << status;
    }
    EXPECT_EQ(lines, kAdds) << who;
  }
  EXPECT_GT(reported, 0);
  EXPECT_TRUE(Leftovers().empty());
}

INSTANTIATE_TEST_SUITE_P(Writers, SecondWriterTest, ::testing::Values("careful", "in-place"),
                         [](const auto& info) {
                           return std::string(info.param) == "careful" ? "Careful" : "InPlace";
                         });

}  // namespace
}  // namespace quillmap
