#include "settings/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <string>

#include "faulty_file_system.h"
#include "temp_folder.h"

namespace quillmap {
namespace {

struct stat StatOf(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st;
}

class AtomicFileTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(old_); }

  void Reset(const std::string& bytes) {
    WriteBytes(path_, bytes);
    ::chmod(path_.c_str(), 0640);
  }

  // The promise of every write: the new bytes after success, the old ones after a failure,
  // mode and owner kept, and nothing left that would change the file later, even after another
  // program changed it, nor beside the file once the next command has started.
  void ExpectOldOrNew(WriteResult result, const std::string& what) {
    EXPECT_EQ(ReadBytes(path_), result == WriteResult::kOk ? new_ : old_) << what;
    EXPECT_TRUE(result == WriteResult::kOk || result == WriteResult::kFailed) << what;
    EXPECT_EQ(StatOf(path_).st_mode & 07777, 0640u) << what;
    EXPECT_EQ(StatOf(path_).st_uid, owner_) << what;
    const std::string theirs = "[A]\r\nk=another program's\r\n";
    WriteBytes(path_, theirs);
    RecoverInterruptedWrite(path_);
    EXPECT_EQ(ReadBytes(path_), theirs) << what;
    RemoveStaleTemporaryFiles(path_);
    EXPECT_EQ(Entries(dir_.Data()), std::set<std::string>{"ChipRegions.ini"}) << what;
    EXPECT_EQ(Entries(dir_.State()), std::set<std::string>{}) << what;
  }

  // Fails each call of one write in turn, with each error, until a write runs past them all.
  void FailEveryCall(const std::string& road, const std::function<void(FaultyFileSystem&)>& setup) {
    for (const int error : {ENOSPC, EACCES, EIO}) {
      for (int n = 1;; ++n) {
        Reset(old_);
        const FileSnapshot expected{true, old_};
        FaultyFileSystem fs;
        setup(fs);
        fs.FailCall(n, error);
        const WriteResult result = AtomicWriteFile(path_, new_, &expected, fs);
        ExpectOldOrNew(result,
                       road + ", errno " + std::to_string(error) + " at call " + std::to_string(n));
        if (fs.calls() < n) break;
      }
    }
  }

  TempFolder dir_;
  const std::string path_ = dir_ / "ChipRegions.ini";
  const std::string old_ = "[A]\r\nk=old\r\n";
  const std::string new_ = "[A]\r\nk=new, longer than the old value\r\n";
  uid_t owner_ = geteuid();
};

TEST_F(AtomicFileTest, EveryFailingCallLeavesTheOldOrTheNewFile) {
  FailEveryCall("rename", [](FaultyFileSystem&) {});

  // A folder that refuses new files gets the file rewritten in place.
  Reset(old_);
  const ino_t inode = StatOf(path_).st_ino;
  FaultyFileSystem read_only_folder;
  read_only_folder.RefuseNewFilesIn(dir_.Data());
  ASSERT_EQ(AtomicWriteFile(path_, new_, nullptr, read_only_folder), WriteResult::kOk);
  EXPECT_EQ(StatOf(path_).st_ino, inode);
  ExpectOldOrNew(WriteResult::kOk, "in place");
  FailEveryCall("in place", [this](FaultyFileSystem& fs) { fs.RefuseNewFilesIn(dir_.Data()); });

  // Another user's file keeps its owner, or is rewritten in place where it cannot.
  if (geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
  ASSERT_EQ(::chown(path_.c_str(), 1234, 1234), 0);
  owner_ = 1234;
  FailEveryCall("owner", [](FaultyFileSystem&) {});
}

TEST_F(AtomicFileTest, RefusesAReadOnlyFileAndFollowsLinks) {
  ::chmod(path_.c_str(), 0444);
  EXPECT_EQ(AtomicWriteFile(path_, new_), WriteResult::kFailed);
  EXPECT_EQ(ReadBytes(path_), old_);
#ifdef _WIN32
  GTEST_SKIP() << "no symbolic links as Linux makes them";
#endif
  ::mkdir((dir_ / "folder").c_str(), 0755);
  WriteBytes(dir_ / "folder/regions.ini", old_);
  ASSERT_EQ(::symlink("../folder/regions.ini", (dir_ / "folder/hop").c_str()), 0);
  ASSERT_EQ(::symlink("folder/hop", (dir_ / "link.ini").c_str()), 0);
  ASSERT_EQ(AtomicWriteFile(dir_ / "link.ini", new_), WriteResult::kOk);
  EXPECT_EQ(ReadBytes(dir_ / "folder/regions.ini"), new_);
  struct stat st {};
  ASSERT_EQ(::lstat((dir_ / "link.ini").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(Entries(dir_ / "folder"), (std::set<std::string>{"hop", "regions.ini"}));
}

TEST_F(AtomicFileTest, ComparesWithWhatTheCommandRead) {
  const FileSnapshot missing{false, ""};
  EXPECT_EQ(AtomicWriteFile(path_, new_, &missing), WriteResult::kChangedOnDisk);
  EXPECT_EQ(ReadBytes(path_), old_);
  // Writing what the file already holds touches nothing; a new file gets the usual mode.
  const ino_t inode = StatOf(path_).st_ino;
  const FileSnapshot current{true, old_};
  EXPECT_EQ(AtomicWriteFile(path_, old_, &current), WriteResult::kOk);
  EXPECT_EQ(StatOf(path_).st_ino, inode);
  ASSERT_EQ(AtomicWriteFile(dir_ / "new.ini", "x", &missing), WriteResult::kOk);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(StatOf(dir_ / "new.ini").st_mode & 0777, 0666 & ~mask);
}

}  // namespace
}  // namespace quillmap
