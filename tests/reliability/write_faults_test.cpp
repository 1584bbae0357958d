// Faults on write, each made for real, during the commands that change the region file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <string>

#include "reliability_fixture.h"
#include "settings/faulty_file_system.h"

namespace quillmap {
namespace {

const std::string kCommands[] = {"add", "modify", "delete"};

// Each command on one session through `fs`, as SaveCurrentRegion and DeleteRegion(Global&) do.
void RunCommand(const std::string& command, const std::string& path, FileSystem& fs) {
  RegionFileSession session = RegionFileSession::Open(path, fs);
  ProfileDocument& doc = session.Document();
  ScanRegion current;
  if (command == "delete") {
    current = ReadRegion(doc, "Region3", '.');
    DeleteRegion(doc, current, '.');
    return session.Commit(kDeleteWriteMessage);
  }
  const bool add = command == "add";
  if (!add) current = ReadRegion(doc, "Region6", '.');
  FillCurrentRegion(doc, add, add ? "Added" : "Changed", add ? "10.00" : "11.00",
                    add ? "5.00" : "6.00", add ? "5.00" : "4.00", add ? "5.00" : "3.00", '.',
                    current);
  WriteCurrentRegion(doc, add, current, '.');
  session.Commit(FirstWriteMessage(add));
}

class WriteFaultTest : public ReliabilityTest {
 protected:
  // The file that the command writes, found with no fault; and how many calls it makes.
  void Prepare(const std::string& command) {
    old_ = Fixture();
    WriteBytes(RegionFile(), old_);
    FaultyFileSystem counting;
    RunCommand(command, RegionFile(), counting);
    calls_ = counting.calls();
    new_ = ReadBytes(RegionFile());
    ASSERT_NE(new_, old_);
    WriteBytes(RegionFile(), old_);
  }

  // True when the command succeeded through `fs`; otherwise its message says what failed.
  bool Attempt(const std::string& command, FileSystem& fs) {
    try {
      RunCommand(command, RegionFile(), fs);
      return true;
    } catch (const Error& error) {
      const std::string& text = error.Description();
      EXPECT_TRUE((error.Number() == kErrRegionWrite &&
                   (text == FirstWriteMessage(true) || text == FirstWriteMessage(false) ||
                    text == kDeleteWriteMessage)) ||
                  (error.Number() == kErrFileRead && text.find("cannot be read") != text.npos) ||
                  (error.Number() == kErrFileAccess && text.find("read-only") != text.npos))
          << error.Number() << " " << text;
      return false;
    }
  }

  // Runs the command in a child process (as account `uid` when not 0) that `fs` kills; true when
  // it was killed.
  bool KilledChild(const std::string& command, FaultyFileSystem& fs, uid_t uid = 0) {
    const pid_t child = fork();
    if (child == 0) {
      if (uid != 0 && (setresgid(uid, uid, uid) != 0 || setresuid(uid, uid, uid) != 0)) _exit(2);
      try {
        RunCommand(command, RegionFile(), fs);
      } catch (...) {
        _exit(1);
      }
      _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  }

  // The file is the new one exactly when the command succeeded, either after a kill, settled
  // only by the next start after a kill in place; that start leaves nothing else behind.
  void ExpectOldOrNew(std::optional<bool> succeeded, const std::string& what,
                      bool in_place = false) {
    SCOPED_TRACE(what);
    const std::string at_once = ReadBytes(RegionFile());
    EXPECT_TRUE(succeeded ? at_once == (*succeeded ? new_ : old_)
                          : in_place || at_once == old_ || at_once == new_);
    RegionFileSession::Open(RegionFile());
    const std::string now = ReadBytes(RegionFile());
    EXPECT_TRUE(succeeded ? now == at_once : now == old_ || now == new_);
    EXPECT_TRUE(Leftovers().empty());
    for (const std::string& path : Leftovers()) std::filesystem::remove(path);  // reported once
    WriteBytes(RegionFile(), old_);
  }

  std::string old_, new_;
  int calls_ = 0;
};

// An I/O error at any call keeps the old or the new file; a short or interrupted transfer still
// writes the new one.
TEST_F(WriteFaultTest, AFaultAtAnyCallKeepsTheOldOrTheNewFile) {
  for (const std::string& command : kCommands) {
    Prepare(command);
    for (int call = 1; call <= calls_; ++call) {
      for (int fault : {EIO, ENOSPC, 0, EINTR}) {
        FaultyFileSystem fs;
        if (fault == EIO || fault == ENOSPC) fs.FailCall(call, fault);
        if (fault == 0 || fault == EINTR) fs.DisturbTransfer(call, fault == EINTR);
        const bool succeeded = Attempt(command, fs);
        EXPECT_TRUE(succeeded || fault == EIO || fault == ENOSPC);
        ExpectOldOrNew(succeeded, command + " call " + std::to_string(call) + " " +
                                      (fault ? strerror(fault) : "short"));
      }
    }
  }
}

TEST_F(WriteFaultTest, AReadOnlyFileSystemKeepsTheOldFile) {
  const std::string data = folder_.Data();
  if (mount(data.c_str(), data.c_str(), nullptr, MS_BIND, nullptr) != 0) {
    GTEST_SKIP() << "cannot mount here: " << strerror(errno);
  }
  for (const std::string& command : kCommands) {
    Prepare(command);
    EXPECT_EQ(mount(nullptr, data.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr), 0);
    const bool succeeded = Attempt(command, RealFileSystem());
    EXPECT_EQ(mount(nullptr, data.c_str(), nullptr, MS_REMOUNT | MS_BIND, nullptr), 0);
    EXPECT_FALSE(succeeded);
    ExpectOldOrNew(false, command);
  }
  umount2(data.c_str(), MNT_DETACH);
}

// Killed at every call: on the rename road; in place because the folder takes no new files;
// and in place because the file belongs to root and another account writes it. After a kill in
// place the next command (root's, after the other account's) finishes the write or, when another
// program has changed the file since (every other kill), leaves it as it is.
TEST_F(WriteFaultTest, AProcessKilledAtAnyCallLeavesTheOldOrTheNewFile) {
  const bool root = geteuid() == 0;
  for (const std::string road : {"rename", "in place", "other account"}) {
    if (road == "other account" && !root) continue;
    WithoutOverride as_user;
    for (const std::string& command : kCommands) {
      Prepare(command);
      if (road == "in place") ::chmod(folder_.Data().c_str(), 0555);
      if (road == "other account") {
        ::chmod(FolderOf(folder_.Data()).c_str(), 0755);
        ::chmod(folder_.Data().c_str(), 0777);
        ::chmod(RegionFile().c_str(), 0666);
      }
      for (int call = 1;; ++call) {
        FaultyFileSystem fs;
        fs.BeforeCall(call, [] { raise(SIGKILL); });
        if (!KilledChild(command, fs, road == "other account" ? 65534 : 0)) {
          // The command made fewer calls: it ran to its end.
          EXPECT_EQ(ReadBytes(RegionFile()), new_);
          WriteBytes(RegionFile(), old_);
          break;
        }
        const std::string what = command + " " + road + " killed at " + std::to_string(call);
        if (road != "rename" && call % 2 == 0) {
          const std::string theirs = "[ScannerSoftware]\r\nCounter=1\r\n";
          WriteBytes(RegionFile(), theirs);
          RegionFileSession::Open(RegionFile());
          EXPECT_EQ(ReadBytes(RegionFile()), theirs) << what;
          EXPECT_TRUE(Leftovers().empty()) << what;
          WriteBytes(RegionFile(), old_);
          continue;
        }
        ExpectOldOrNew(std::nullopt, what, road != "rename");
      }
      ::chmod(folder_.Data().c_str(), 0755);
    }
  }
}

}  // namespace
}  // namespace quillmap
