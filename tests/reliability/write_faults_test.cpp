// Faults on write, each made for real: an I/O error at every file-system call of a command, a
// folder without write permission, a file-size limit, a full or read-only file system, and the
// process killed at every call, between writing the temporary file and renaming it included.
// After each, the region file is exactly the old one or exactly the new one, no temporary file
// is left once the next command has started, and a failed command says why.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <functional>
#include <iostream>
#include <string>

#include "reliability_fixture.h"
#include "settings/faulty_file_system.h"

namespace quillmap {
namespace {

enum class Command { kAdd, kModify, kDelete };
constexpr Command kCommands[] = {Command::kAdd, Command::kModify, Command::kDelete};

const char* CommandName(Command command) {
  return command == Command::kAdd ? "add" : command == Command::kModify ? "modify" : "delete";
}

// The core of each command, on one session through `fs`, as SaveCurrentRegion and
// DeleteRegion(Global&) run it.
void RunCommand(Command command, const std::string& path, FileSystem& fs) {
  RegionFileSession session = RegionFileSession::Open(path, fs);
  ProfileDocument& doc = session.Document();
  ScanRegion current;
  switch (command) {
    case Command::kAdd:
      FillCurrentRegion(doc, true, "Added", "10.00", "5.00", "5.00", "5.00", '.', current);
      WriteCurrentRegion(doc, true, current, '.');
      session.Commit(FirstWriteMessage(true));
      break;
    case Command::kModify:
      current = ReadRegion(doc, "Region6", '.');
      FillCurrentRegion(doc, false, "Changed", "11.00", "6.00", "4.00", "3.00", '.', current);
      WriteCurrentRegion(doc, false, current, '.');
      session.Commit(FirstWriteMessage(false));
      break;
    case Command::kDelete:
      current = ReadRegion(doc, "Region3", '.');
      DeleteRegion(doc, current, '.');
      session.Commit(kDeleteWriteMessage);
      break;
  }
}

// The messages a command may end with when the disk fails it.
bool IsClearMessage(const Error& error) {
  const std::string& text = error.Description();
  return (error.Number() == kErrRegionWrite &&
          (text == FirstWriteMessage(true) || text == FirstWriteMessage(false) ||
           text == kDeleteWriteMessage)) ||
         (error.Number() == kErrFileRead && text.find("cannot be read") != std::string::npos);
}

// Kills the process once the temporary file of the region file is written and closed, before
// it is renamed.
class KilledBeforeRename : public FaultyFileSystem {
 public:
  int Open(const std::string& path, int flags, mode_t mode) override {
    const int fd = FaultyFileSystem::Open(path, flags, mode);
    const std::string temp_prefix = std::string(".") + kRegionFileName + ".quillmap-";
    if ((flags & O_CREAT) != 0 && quillmap::NameOf(path).rfind(temp_prefix, 0) == 0) temp_ = fd;
    return fd;
  }
  int Close(int fd) override {
    const int result = FaultyFileSystem::Close(fd);
    if (fd == temp_) raise(SIGKILL);
    return result;
  }

 private:
  int temp_ = -1;
};

class WriteFaultTest : public ReliabilityTest {
 protected:
  ~WriteFaultTest() override {
    if (injected_ == 0) return;
    std::cout << "[faults] " << ::testing::UnitTest::GetInstance()->current_test_info()->name()
              << ": " << injected_ << " injected; the old file kept " << kept_old_
              << " times, the new file written " << wrote_new_ << " times\n";
  }

  // The file that the command writes, found with no fault; and how many calls it makes.
  void Prepare(Command command) {
    old_ = Fixture();
    WriteBytes(RegionFile(), old_);
    FaultyFileSystem counting;
    RunCommand(command, RegionFile(), counting);
    calls_ = counting.calls();
    new_ = ReadBytes(RegionFile());
    ASSERT_NE(new_, old_);
    WriteBytes(RegionFile(), old_);
  }

  // Runs the command through `fs`; true when it reported success.
  bool Attempt(Command command, FileSystem& fs) {
    ++injected_;
    try {
      RunCommand(command, RegionFile(), fs);
      return true;
    } catch (const Error& error) {
      EXPECT_TRUE(IsClearMessage(error)) << error.Number() << " " << error.Description();
      return false;
    }
  }

  // The file is the new one exactly when the command succeeded. Whatever a failed command left
  // behind, the next command's start removes or finishes: then nothing is left beside the
  // file or in the state folder, and the file is still the same.
  void ExpectOldOrNew(bool succeeded, const std::string& what) {
    SCOPED_TRACE(what);
    const std::string now = ReadBytes(RegionFile());
    EXPECT_EQ(now, succeeded ? new_ : old_);
    (now == new_ ? wrote_new_ : kept_old_)++;
    RegionFileSession::Open(RegionFile());
    EXPECT_TRUE(Leftovers().empty());
    EXPECT_EQ(ReadBytes(RegionFile()), now);
    WriteBytes(RegionFile(), old_);
  }

  // Runs the command in a child process that `arm` prepares to die; true when it was killed.
  bool KilledChild(Command command, const std::function<void(FaultyFileSystem&)>& arm,
                   FaultyFileSystem& fs) {
    ++injected_;
    const pid_t child = fork();
    if (child == 0) {
      arm(fs);
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

  // After a kill the file is the old or the new one, at once where it is replaced by a rename,
  // and after the next command's start where it is rewritten in place.
  void ExpectRecovered(bool in_place, const std::string& what) {
    SCOPED_TRACE(what);
    if (!in_place) {
      const std::string at_once = ReadBytes(RegionFile());
      EXPECT_TRUE(at_once == old_ || at_once == new_);
    }
    RegionFileSession::Open(RegionFile());
    const std::string now = ReadBytes(RegionFile());
    EXPECT_TRUE(now == old_ || now == new_);
    (now == new_ ? wrote_new_ : kept_old_)++;
    EXPECT_TRUE(Leftovers().empty());
    for (const std::string& name : Leftovers()) {  // so that one finding is reported once
      const bool in_state = name.rfind("state/", 0) == 0;
      ::unlink(in_state ? (folder_.State() + "/" + name.substr(6)).c_str()
                        : (folder_ / name).c_str());
    }
    WriteBytes(RegionFile(), old_);
  }

  std::string old_;
  std::string new_;
  int calls_ = 0;
  int injected_ = 0;
  int kept_old_ = 0;
  int wrote_new_ = 0;
};

TEST_F(WriteFaultTest, AnIoErrorAtAnyCallKeepsTheOldOrTheNewFile) {
  for (Command command : kCommands) {
    Prepare(command);
    for (int call = 1; call <= calls_; ++call) {
      for (int error : {EIO, ENOSPC}) {
        FaultyFileSystem fs;
        fs.FailCall(call, error);
        const bool succeeded = Attempt(command, fs);
        ExpectOldOrNew(succeeded, std::string(CommandName(command)) + " call " +
                                      std::to_string(call) + " " + strerror(error));
      }
    }
  }
}

TEST_F(WriteFaultTest, ShortAndInterruptedTransfersStillWriteTheNewFile) {
  for (Command command : kCommands) {
    Prepare(command);
    for (int call = 1; call <= calls_; ++call) {
      for (bool interrupt : {false, true}) {
        FaultyFileSystem fs;
        fs.DisturbTransfer(call, interrupt);
        EXPECT_TRUE(Attempt(command, fs));
        ExpectOldOrNew(true, std::string(CommandName(command)) + " call " + std::to_string(call));
      }
    }
  }
}

// The folder refuses new files, so the file is rewritten in place behind a side copy; an I/O
// error at any call of that road keeps the old file or the new one too.
TEST_F(WriteFaultTest, AReadOnlyFolderRewritesInPlaceAndSurvivesIoErrors) {
  WithoutOverride as_user;
  for (Command command : kCommands) {
    Prepare(command);
    ASSERT_EQ(::chmod(folder_.Data().c_str(), 0555), 0);
    FaultyFileSystem counting;
    EXPECT_TRUE(Attempt(command, counting));
    ExpectOldOrNew(true, std::string(CommandName(command)) + " in place");
    for (int call = 1; call <= counting.calls(); ++call) {
      FaultyFileSystem fs;
      fs.FailCall(call, EIO);
      const bool succeeded = Attempt(command, fs);
      ExpectOldOrNew(succeeded,
                     std::string(CommandName(command)) + " in place, call " + std::to_string(call));
    }
    ::chmod(folder_.Data().c_str(), 0755);
  }
}

TEST_F(WriteFaultTest, AFileSizeLimitKeepsTheOldFile) {
  signal(SIGXFSZ, SIG_IGN);
  rlimit saved;
  getrlimit(RLIMIT_FSIZE, &saved);
  for (Command command : kCommands) {
    Prepare(command);
    rlimit limit = saved;
    limit.rlim_cur = new_.size() - 1;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const bool succeeded = Attempt(command, RealFileSystem());
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_FALSE(succeeded);
    ExpectOldOrNew(succeeded, CommandName(command));
  }
}

// Needs the right to mount; where that is missing the file-size limit stands in for it.
TEST_F(WriteFaultTest, AFullDiskKeepsTheOldFile) {
  const std::string data = folder_.Data();
  if (mount("quillmap-test", data.c_str(), "tmpfs", 0, "size=64k") != 0) {
    GTEST_SKIP() << "cannot mount a small file system here: " << strerror(errno);
  }
  WriteBytes(folder_ / kSystemFileName, "");
  for (Command command : kCommands) {
    Prepare(command);
    // Fills the file system to the last byte.
    const std::string filler = data + "/filler";
    const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT, 0600);
    const std::string block(4096, 'f');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    while (::write(fd, block.data(), 1) > 0) {
    }
    ::close(fd);
    const bool succeeded = Attempt(command, RealFileSystem());
    EXPECT_FALSE(succeeded);
    ::unlink(filler.c_str());
    ExpectOldOrNew(succeeded, CommandName(command));
  }
  umount2(data.c_str(), MNT_DETACH);
}

TEST_F(WriteFaultTest, AReadOnlyFileSystemKeepsTheOldFile) {
  const std::string data = folder_.Data();
  WriteBytes(RegionFile(), Fixture());
  if (mount(data.c_str(), data.c_str(), nullptr, MS_BIND, nullptr) != 0) {
    GTEST_SKIP() << "cannot mount here: " << strerror(errno);
  }
  for (Command command : kCommands) {
    Prepare(command);
    ASSERT_EQ(mount(nullptr, data.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr), 0);
    const bool succeeded = Attempt(command, RealFileSystem());
    EXPECT_FALSE(succeeded);
    EXPECT_EQ(ReadBytes(RegionFile()), old_);
    ASSERT_EQ(mount(nullptr, data.c_str(), nullptr, MS_REMOUNT | MS_BIND, nullptr), 0);
    ExpectOldOrNew(succeeded, CommandName(command));
  }
  umount2(data.c_str(), MNT_DETACH);
}

// The command-line tool refuses a region file without write permission before it changes
// anything.
TEST_F(WriteFaultTest, AReadOnlyFileIsRefusedWithItsMessage) {
  WriteBytes(RegionFile(), Fixture());
  ASSERT_EQ(::chmod(RegionFile().c_str(), 0444), 0);
  for (std::vector<std::string> args :
       {std::vector<std::string>{"add", "--name", "N", "--x", "10", "--y", "5", "--width", "5",
                                 "--height", "5"},
        {"modify", "Region6", "--name", "N"},
        {"delete", "Region6"}}) {
    const CliResult r = Cli(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Unable to open readonly file \n") << args.front();
    EXPECT_EQ(ReadBytes(RegionFile()), Fixture());
    EXPECT_TRUE(Leftovers().empty());
  }
}

TEST_F(WriteFaultTest, AProcessKilledBeforeTheRenameLeavesTheOldFileAndNoTemporaryFile) {
  for (Command command : kCommands) {
    Prepare(command);
    KilledBeforeRename fs;
    EXPECT_TRUE(KilledChild(
        command, [](FaultyFileSystem&) {}, fs));
    ExpectRecovered(false, CommandName(command));
  }
}

TEST_F(WriteFaultTest, AProcessKilledAtAnyCallLeavesTheOldOrTheNewFile) {
  for (bool in_place : {false, true}) {
    WithoutOverride as_user;
    for (Command command : kCommands) {
      Prepare(command);
      if (in_place) ::chmod(folder_.Data().c_str(), 0555);
      for (int call = 1;; ++call) {
        FaultyFileSystem fs;
        const bool killed = KilledChild(
            command, [call](FaultyFileSystem& f) { f.BeforeCall(call, [] { raise(SIGKILL); }); },
            fs);
        if (!killed) {
          --injected_;  // the command made fewer calls: it ran to its end
          EXPECT_EQ(ReadBytes(RegionFile()), new_);
          WriteBytes(RegionFile(), old_);
          break;
        }
        ExpectRecovered(in_place, std::string(CommandName(command)) +
                                      (in_place ? " in place" : "") + " killed at call " +
                                      std::to_string(call));
      }
      ::chmod(folder_.Data().c_str(), 0755);
    }
  }
}

}  // namespace
}  // namespace quillmap
