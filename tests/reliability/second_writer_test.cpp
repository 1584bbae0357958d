// A second program writes the region file in a loop while Quillmap adds, renames and deletes
// regions in it. Every command either succeeds on the file as it is or reports the change made
// on disk. With a careful other program no change of either side is lost. One that rewrites
// the file in place (truncate, then write), as the Windows profile functions do, loses changes
// that Quillmap made just before its write, and can rarely lose one of its own: those are
// counted, and no supplied region may go.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
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

class SecondWriterTest : public ReliabilityTest, public ::testing::WithParamInterface<const char*> {
 protected:
  // The writer runs until a line arrives on its standard input.
  void StartWriter() {
    int input[2];
    ASSERT_EQ(pipe(input), 0);
    const std::string out = folder_.Runtime() + "/writer.out";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    posix_spawn_file_actions_addclose(&actions, input[1]);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::string program = QUILLMAP_SCANNER_WRITER;
    std::string path = RegionFile();
    std::string mode = GetParam();
    char* argv[] = {program.data(), path.data(), mode.data(), nullptr};
    ASSERT_EQ(posix_spawn(&writer_, argv[0], &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(input[0]);
    stop_ = input[1];
  }

  struct WriterCounts {
    long writes = -1;  // changes it made
    long lost = -1;    // of those, found gone for good
    long hidden = -1;  // found gone for a moment only
  };

  WriterCounts StopWriter() {
    EXPECT_EQ(::write(stop_, "\n", 1), 1);
    ::close(stop_);
    int status = 0;
    waitpid(writer_, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    WriterCounts counts;
    std::sscanf(ReadBytes(folder_.Runtime() + "/writer.out").c_str(),
                "writes %ld lost %ld hidden %ld", &counts.writes, &counts.lost, &counts.hidden);
    return counts;
  }

  std::vector<std::string> ListedNames() const {
    std::vector<std::string> names;
    for (const RegionRow& row :
         LoadRegionList(RegionFile(), false, global_.Scanner.Limits, '.').rows) {
      names.push_back(row.cells[kColumnName]);
    }
    return names;
  }

  // The section of the region named `name`, or "" when the list does not show it.
  std::string SectionOf(const std::string& name) const {
    for (const RegionRow& row :
         LoadRegionList(RegionFile(), false, global_.Scanner.Limits, '.').rows) {
      if (row.cells[kColumnName] == name) return row.cells[kColumnSectionName];
    }
    return "";
  }

  pid_t writer_ = 0;
  int stop_ = -1;
};

TEST_P(SecondWriterTest, EveryCommandSucceedsOnTheCurrentFileOrReportsTheChange) {
  WriteBytes(RegionFile(), Fixture());
  if (std::string(GetParam()) == "careful") {
    const std::string other = folder_ / "exchange-probe";
    WriteBytes(other, "");
    const bool exchanged =
        ::renameat2(AT_FDCWD, other.c_str(), AT_FDCWD, RegionFile().c_str(), RENAME_EXCHANGE) == 0;
    if (exchanged)
      ::renameat2(AT_FDCWD, other.c_str(), AT_FDCWD, RegionFile().c_str(), RENAME_EXCHANGE);
    ::unlink(other.c_str());
    if (!exchanged) GTEST_SKIP() << "this file system cannot swap two files in one step";
  }
  std::vector<std::string> names = ListedNames();  // the supplied regions, then Quillmap's own
  const size_t supplied = names.size();
  StartWriter();

  int done = 0;
  int reported = 0;
  int unseen = 0;  // the list, read while the writer was halfway, did not show the region
  int commands = 0;
  const auto end = std::chrono::steady_clock::now() + kMaxDuration;
  for (; commands < kMaxCommands && std::chrono::steady_clock::now() < end; ++commands) {
    const bool add = names.size() < supplied + 3 || commands % 3 == 0;
    const std::string own = add ? "" : commands % 3 == 1 ? names[supplied] : names.back();
    try {
      if (add) {
        const std::string name = "Q" + std::to_string(commands);
        SaveCurrentRegion(global_, true, name, "10.00", "5.00", "5.00", "5.00");
        names.push_back(name);
      } else {
        const std::string section = SectionOf(own);
        if (section.empty()) {
          ++unseen;
          continue;
        }
        ReadRegion(global_, section);
        if (commands % 3 == 1) {
          const std::string name = "R" + std::to_string(commands);
          const ScanRegion& r = global_.CurrentRegion;
          SaveCurrentRegion(global_, false, name, r.SlideX, r.SlideY, r.RegionWidth,
                            r.RegionHeight);
          names[supplied] = name;
        } else {
          DeleteRegion(global_);
          names.pop_back();
        }
      }
      ++done;
    } catch (const Error& error) {
      ASSERT_EQ(error.Number(), kErrChangedOnDisk) << error.Description();
      EXPECT_EQ(error.Description(), kChangedOnDiskMessage);
      ++reported;
    }
  }
  const auto [writes, lost, hidden] = StopWriter();
  const std::vector<std::string> listed = ListedNames();
  // Quillmap's changes that the file does not show: names added or given that are missing,
  // names deleted or replaced that are back.
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
  // An in-place writer that opened the file just before Quillmap swapped its new file in can
  // finish its write into the old one after Quillmap checked it, and such a writer throws away
  // Quillmap's changes by itself: its losses are counted above, not held against Quillmap.
  if (std::string(GetParam()) == "careful") {
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
