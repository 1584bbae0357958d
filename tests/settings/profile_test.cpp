#include "settings/profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <string>
#include <vector>

#include "faulty_file_system.h"
#include "settings/file_lock.h"
#include "temp_folder.h"

namespace quillmap {
namespace {

class ProfileFileTest : public ::testing::Test {
 protected:
  TempFolder dir_;
  const std::string path_ = dir_ / "ChipRegions.ini";
};

TEST_F(ProfileFileTest, MissingOrUnreadableFileGivesTheDefault) {
  EXPECT_EQ(ReadProfileString("S", "K", "dflt", path_), "dflt");
  EXPECT_EQ(ReadProfileString("S", "K", "dflt", dir_.Data()), "dflt");  // not a file
}

TEST_F(ProfileFileTest, WritesReadBackAndDeletionsRemoveWholeSectionsOrKeys) {
  const std::string long_value(300, 'L');
  ASSERT_TRUE(WriteProfileString("Region1", "H", "60000\r\n", path_));
  ASSERT_TRUE(WriteProfileString("Region1", "Name", long_value, path_));
  ASSERT_TRUE(WriteProfileString("Slide", "PKG", "5", path_));
  EXPECT_EQ(ReadBytes(path_),
            "[Region1]\r\nH=60000\r\nName=" + long_value + "\r\n\r\n[Slide]\r\nPKG=5\r\n");
  EXPECT_EQ(ReadProfileString("Region1", "H", "", path_), "60000");
  EXPECT_EQ(ReadProfileString("region1", "name", "", path_), long_value);

  ASSERT_TRUE(WriteProfileString("Slide", "PKG", std::nullopt, path_));
  EXPECT_EQ(ReadProfileString("Slide", "PKG", "gone", path_), "gone");
  ASSERT_TRUE(WriteProfileString("REGION1", std::nullopt, std::nullopt, path_));
  EXPECT_EQ(ReadBytes(path_), "[Slide]\r\n");

  const std::string absent = dir_ / "absent.ini";
  EXPECT_TRUE(WriteProfileString("S", std::nullopt, std::nullopt, absent));
  EXPECT_EQ(Entries(dir_.Data()), std::set<std::string>{"ChipRegions.ini"});
}

TEST_F(ProfileFileTest, HandWrittenFileKeepsEveryLineTheChangeDoesNotTouch) {
  const std::string messy =
      "# not a comment to Windows, just a line\n"
      "[Unknown Section]\n"
      "Setting = on   \n"
      "\tindented=yes\n"
      "\n"
      "[ScanRegions]   ; trailing words\n"
      "NumRegions = 5\n"
      "; the supplier's note, caf\xE9\n"
      "odd line without equals\n"
      "\n\n"
      "[VelmoraDefault]\n"
      "Region=Region1";
  WriteBytes(path_, messy);
  ASSERT_TRUE(WriteProfileString("scanregions", "NUMREGIONS", "6", path_));
  ASSERT_TRUE(WriteProfileString("Unknown Section", "setting", "on", path_));  // same value
  std::string expected = messy;
  expected.replace(expected.find("NumRegions = 5"), 14, "NumRegions = 6");
  EXPECT_EQ(ReadBytes(path_), expected);
}

TEST_F(ProfileFileTest, RefusedWritesReturnFalseAndChangeNothing) {
  WriteBytes(path_, "[S]\r\nK=1\r\n");
  ::chmod(path_.c_str(), 0444);
  EXPECT_FALSE(WriteProfileString("S", "K", "2", path_));
  EXPECT_FALSE(WriteProfileString("S", std::nullopt, std::nullopt, path_));
  EXPECT_EQ(ReadBytes(path_), "[S]\r\nK=1\r\n");
  EXPECT_FALSE(WriteProfileString("S", "K", "2", dir_ / "missing/ChipRegions.ini"));
  EXPECT_FALSE(WriteProfileString("S", "K", "2", dir_.Data()));
  for (int n = 1;; ++n) {
    ::chmod(path_.c_str(), 0644);
    WriteBytes(path_, "[S]\r\nK=1\r\n");
    FaultyFileSystem full_disk;
    full_disk.FailCall(n, ENOSPC);
    const bool written = WriteProfileString("S", "K", "2", path_, full_disk);
    EXPECT_EQ(ReadBytes(path_), written ? "[S]\r\nK=2\r\n" : "[S]\r\nK=1\r\n") << n;
    RemoveStaleTemporaryFiles(path_);  // what the next command's start removes
    EXPECT_EQ(Entries(dir_.Data()), std::set<std::string>{"ChipRegions.ini"}) << n;
    if (full_disk.calls() < n) break;
  }
}

TEST_F(ProfileFileTest, OneCommitLeavesWhatTheSameSingleWritesLeave) {
  const std::string start =
      "[ScanRegions]\r\nNumRegions=1\r\n\r\n[Region1]\r\nType=A\r\n\r\n[A]\r\n";
  const std::string batch_path = dir_ / "batch.ini";
  WriteBytes(path_, start);
  WriteBytes(batch_path, start);
  ProfileDocument doc;
  FileSnapshot snapshot;
  ASSERT_TRUE(LoadProfile(batch_path, &doc, &snapshot));
  const std::vector<std::array<std::string, 3>> writes = {
      {"ScanRegions", "NumRegions", "2"}, {"Region2", "Type", "CustomerSlide1"},
      {"Region2", "H", "60000\r\n"},      {"CustomerSlide1", "X", "2000"},
      {"CustomerSlide1", "PKG", "5\r\n"}, {"Region2", "W", "20000"}};
  for (const auto& [section, key, value] : writes) {
    ASSERT_TRUE(WriteProfileString(section, key, value, path_));
    doc.Write(section, key, value);
  }
  ASSERT_TRUE(WriteProfileString("A", std::nullopt, std::nullopt, path_));
  doc.DeleteSection("A");
  ASSERT_EQ(CommitProfile(batch_path, doc, &snapshot), WriteResult::kOk);
  EXPECT_EQ(ReadBytes(batch_path), ReadBytes(path_));
}

TEST_F(ProfileFileTest, ChangeOnDiskIsNeverOverwritten) {
  WriteBytes(path_, "[S]\r\nK=1\r\n");
  ProfileDocument doc;
  FileSnapshot snapshot;
  ASSERT_TRUE(LoadProfile(path_, &doc, &snapshot));
  WriteBytes(path_, "[S]\r\nK=1\r\n[Scanner]\r\nBusy=1\r\n");
  doc.Write("S", "K", "2");
  EXPECT_EQ(CommitProfile(path_, doc, &snapshot), WriteResult::kChangedOnDisk);
  EXPECT_EQ(ReadBytes(path_), "[S]\r\nK=1\r\n[Scanner]\r\nBusy=1\r\n");

  // A single write reads again and makes its change on top of the other program's.
  FaultyFileSystem counting;
  ASSERT_TRUE(LoadProfile(path_, &doc, &snapshot, counting));
  FaultyFileSystem racing;
  racing.BeforeCall(counting.calls() + 1,
                    [this] { WriteBytes(path_, "[S]\r\nK=1\r\n[Scanner]\r\nBusy=0\r\n"); });
  ASSERT_TRUE(WriteProfileString("S", "K", "3", path_, racing));
  EXPECT_EQ(ReadBytes(path_), "[S]\r\nK=3\r\n[Scanner]\r\nBusy=0\r\n");
}

TEST_F(ProfileFileTest, LockIsExclusiveForEverySpellingOfThePath) {
  WriteBytes(path_, "");
  {
    FileLock first(path_);
    ASSERT_TRUE(first.Locked());
    EXPECT_FALSE(FileLock(dir_.Data() + "/./ChipRegions.ini", 50).Locked());
    EXPECT_TRUE(FileLock(dir_ / "other.ini", 0).Locked());
  }
  EXPECT_TRUE(FileLock(path_, 0).Locked());
  EXPECT_EQ(Entries(dir_.Data()), std::set<std::string>{"ChipRegions.ini"});
}

}  // namespace
}  // namespace quillmap
