#include "settings/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "settings/file_steps.h"
#include "settings/interrupted_write.h"

namespace quillmap {

namespace {

using file_steps::CompareOpenFile;
using file_steps::CompareWithDisk;
using file_steps::Match;
using file_steps::Rewrite;
using file_steps::RewriteFile;
using file_steps::SameInode;
using file_steps::SyncFolder;
using file_steps::TempFile;
using file_steps::Unchanged;

// How long an empty file, or one cut off in the middle of a line, must stay as it is before it
// is taken for what the file holds: a program that truncates and then writes leaves the file so
// for a moment, longer when it waits for the processor.
constexpr std::chrono::milliseconds kRestTime(150);
// How long a read keeps trying before it reports that another program keeps changing the file.
constexpr std::chrono::milliseconds kSettleLimit(2000);
constexpr std::chrono::milliseconds kFirstPause(2);
// Swaps back and forth while another program keeps replacing the file; see RestoreNewest.
constexpr int kMaxRestores = 16;

bool LooksComplete(const std::string& bytes) {
  return !bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r');
}

// One read, with the file's state before and after it.
bool ReadOnce(FileSystem& fs, const std::string& path, FileSnapshot* out, struct stat* before,
              struct stat* after) {
  out->exists = false;
  out->bytes.clear();
  // O_NONBLOCK: should the path name a FIFO, open must not hang.
  const int fd = fs.Open(path, O_RDONLY | O_NOCTTY | O_NONBLOCK, 0);
  if (fd < 0) return errno == ENOENT;
  if (fs.Fstat(fd, before) != 0 || !S_ISREG(before->st_mode)) {
    fs.Close(fd);
    return false;
  }
  std::string bytes(static_cast<size_t>(before->st_size) + 1, '\0');
  size_t size = 0;
  for (;;) {
    if (size == bytes.size()) bytes.resize(bytes.size() * 2);
    const ssize_t n = fs.Read(fd, &bytes[size], bytes.size() - size);
    if (n < 0) {
      if (errno == EINTR) continue;
      fs.Close(fd);
      return false;
    }
    if (n == 0) break;
    size += static_cast<size_t>(n);
  }
  const bool stated = fs.Fstat(fd, after) == 0;
  fs.Close(fd);
  if (!stated) return false;
  bytes.resize(size);
  out->exists = true;
  out->bytes = std::move(bytes);
  return true;
}

// Puts another program's file back after a swap found that it had replaced the one compared.
// `held` is the file that the swap took out (now under the temporary name), `expected_back` the
// one the swap put in. Each swap back should return the file that the last swap put in; when
// it returns another, the other program replaced that one meanwhile, and its newer file goes
// back in turn.
void RestoreNewest(FileSystem& fs, const std::string& temp, const std::string& target,
                   struct stat expected_back, struct stat held) {
  for (int i = 0; i < kMaxRestores; ++i) {
    struct stat back;
    if (fs.Exchange(temp, target) != 0 || fs.Lstat(temp, &back) != 0) break;
    if (SameInode(back, expected_back)) {
      fs.Unlink(temp);
      return;
    }
    expected_back = held;
    held = back;
  }
  // Cannot swap, or still changing hands: the other program's file goes back over whatever
  // stands there now, which is built on Quillmap's.
  fs.Rename(temp, target);
}

// Where the file system cannot swap: checked once more, then renamed over.
WriteResult RenameChecked(FileSystem& fs, TempFile& temp, const std::string& target, int fd,
                          const struct stat& before) {
  struct stat named, after;
  if (fs.Stat(target, &named) != 0 || fs.Fstat(fd, &after) != 0 || !SameInode(named, before) ||
      !Unchanged(before, after)) {
    return WriteResult::kChangedOnDisk;
  }
  if (fs.Rename(temp.path(), target) != 0) return WriteResult::kFailed;
  temp.Release();
  return WriteResult::kOk;
}

// `fd` is the file open as it stood when the swap began; see the header for what this holds.
WriteResult SwapIn(FileSystem& fs, TempFile& temp, const std::string& target,
                   const FileSnapshot& expected, int fd) {
  struct stat before, ours;
  if (fs.Fstat(fd, &before) != 0 || fs.Fstat(temp.fd(), &ours) != 0) return WriteResult::kFailed;
  if (!S_ISREG(before.st_mode) || static_cast<size_t>(before.st_size) != expected.bytes.size()) {
    return WriteResult::kChangedOnDisk;
  }
  switch (CompareOpenFile(fs, fd, expected.bytes)) {
    case Match::kSame:
      break;
    case Match::kDiffers:
      return WriteResult::kChangedOnDisk;
    case Match::kUnreadable:
      return WriteResult::kFailed;
  }
  const std::string swapped = temp.path();
  if (fs.Exchange(swapped, target) != 0) {
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return WriteResult::kFailed;
    return RenameChecked(fs, temp, target, fd, before);
  }
  // The temporary name now holds the file that came out; it goes only once it is known to be
  // the one compared.
  temp.Release();
  struct stat out {
  }, after;
  if (fs.Lstat(swapped, &out) != 0 || fs.Fstat(fd, &after) != 0) {
    // Not knowing what came out, the swap is undone.
    RestoreNewest(fs, swapped, target, ours, out);
    return WriteResult::kFailed;
  }
  if (SameInode(out, before) && Unchanged(before, after)) {
    fs.Unlink(swapped);
    return WriteResult::kOk;
  }
  RestoreNewest(fs, swapped, target, ours, out);
  return WriteResult::kChangedOnDisk;
}

WriteResult ReplaceChecked(FileSystem& fs, TempFile& temp, const std::string& target,
                           const FileSnapshot& expected) {
  const int fd = fs.Open(target, O_RDONLY | O_NOCTTY | O_NONBLOCK, 0);
  if (fd < 0) return errno == ENOENT ? WriteResult::kChangedOnDisk : WriteResult::kFailed;
  const WriteResult result = SwapIn(fs, temp, target, expected, fd);
  fs.Close(fd);
  return result;
}

WriteResult RewriteInPlace(FileSystem& fs, const std::string& target, std::string_view bytes,
                           const FileSnapshot* expected) {
  FileSnapshot old;
  if (!ReadFileSnapshot(target, &old, fs) || !old.exists) return WriteResult::kFailed;
  if (expected != nullptr && (!expected->exists || expected->bytes != old.bytes)) {
    return WriteResult::kChangedOnDisk;
  }
  if (old.bytes == bytes) return WriteResult::kOk;

  std::string record;
  if (!WriteInterruptedWriteRecord(fs, target, old.bytes, bytes, &record)) {
    return WriteResult::kFailed;
  }
  // Making the record durable took a while: look once more just before the first byte changes.
  switch (CompareWithDisk(fs, target, old)) {
    case Match::kSame:
      break;
    case Match::kDiffers:
      DropInterruptedWriteRecord(fs, record);
      return WriteResult::kChangedOnDisk;
    case Match::kUnreadable:
      DropInterruptedWriteRecord(fs, record);
      return WriteResult::kFailed;
  }
  switch (RewriteFile(fs, target, bytes)) {
    case Rewrite::kDone:
      DropInterruptedWriteRecord(fs, record);
      return WriteResult::kOk;
    case Rewrite::kUntouched:
      DropInterruptedWriteRecord(fs, record);
      return WriteResult::kFailed;
    case Rewrite::kDamaged:
      // The old content fits where it was, so putting it back rarely fails; when it does, the
      // record stays so that the next command can finish the write.
      if (RewriteFile(fs, target, old.bytes) == Rewrite::kDone) {
        DropInterruptedWriteRecord(fs, record);
      }
      return WriteResult::kFailed;
  }
  return WriteResult::kFailed;
}

}  // namespace

bool ReadFileSnapshot(const std::string& path, FileSnapshot* out, FileSystem& fs) {
  struct stat before, after;
  return ReadOnce(fs, path, out, &before, &after);
}

ReadResult ReadSettledSnapshot(const std::string& path, FileSnapshot* out, FileSystem& fs) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  auto pause = kFirstPause;
  // The last read that looked cut off, and since when it has stayed so.
  FileSnapshot resting;
  struct stat resting_stat {};
  auto resting_since = start;
  bool have_resting = false;
  for (;;) {
    struct stat before, after;
    if (!ReadOnce(fs, path, out, &before, &after)) return ReadResult::kUnreadable;
    if (!out->exists) return ReadResult::kOk;
    const auto now = Clock::now();
    if (Unchanged(before, after) && static_cast<size_t>(after.st_size) == out->bytes.size()) {
      if (LooksComplete(out->bytes)) return ReadResult::kOk;
      if (have_resting && Unchanged(resting_stat, after) && resting.bytes == out->bytes) {
        if (now - resting_since >= kRestTime) return ReadResult::kOk;
      } else {
        resting = *out;
        resting_stat = after;
        resting_since = now;
        have_resting = true;
      }
    }
    if (now - start >= kSettleLimit) return ReadResult::kUnsettled;
    std::this_thread::sleep_for(pause);
    pause = std::min<std::chrono::milliseconds>(pause * 2, kRestTime / 3);
  }
}

WriteResult AtomicWriteFile(const std::string& path, std::string_view bytes,
                            const FileSnapshot* expected, FileSystem& fs) {
  std::string target;
  if (!file_steps::ResolveTarget(fs, path, &target)) return WriteResult::kFailed;
  struct stat st;
  bool exists = true;
  if (fs.Lstat(target, &st) != 0) {
    if (errno != ENOENT) return WriteResult::kFailed;
    exists = false;
  } else if (!S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0) {
    return WriteResult::kFailed;
  }
  if (expected != nullptr && expected->exists != exists) return WriteResult::kChangedOnDisk;

  if (expected != nullptr && exists && expected->bytes == bytes) {
    switch (CompareWithDisk(fs, target, *expected)) {
      case Match::kSame:
        return WriteResult::kOk;
      case Match::kDiffers:
        return WriteResult::kChangedOnDisk;
      case Match::kUnreadable:
        return WriteResult::kFailed;
    }
  }

  const std::string folder = FolderOf(target);
  TempFile temp(fs);
  // A new file gets 0666 less the umask, as any new file would. A replacement may be read by
  // whoever may read the file, so that another account can tell whether its writer still lives.
  if (!temp.Create(folder, NameOf(target), exists ? 0600 | (st.st_mode & 0044) : 0666)) {
    if (exists && file_steps::FolderRefusesNewFiles(errno)) {
      return RewriteInPlace(fs, target, bytes, expected);
    }
    return WriteResult::kFailed;
  }
  if (exists) {
    // Owner first: changing it clears set-id bits that the mode then restores.
    if ((st.st_uid != geteuid() || st.st_gid != getegid()) &&
        fs.Fchown(temp.fd(), st.st_uid, st.st_gid) != 0) {
      temp.Discard();
      return RewriteInPlace(fs, target, bytes, expected);
    }
    if (fs.Fchmod(temp.fd(), st.st_mode & 07777) != 0) return WriteResult::kFailed;
  }
  if (!temp.WriteAndSync(bytes)) return WriteResult::kFailed;

  WriteResult result = WriteResult::kOk;
  if (expected == nullptr) {
    if (fs.Rename(temp.path(), target) != 0) return WriteResult::kFailed;
    temp.Release();
  } else if (!exists) {
    // Only where no file has appeared meanwhile.
    if (fs.Link(temp.path(), target) != 0) {
      return errno == EEXIST ? WriteResult::kChangedOnDisk : WriteResult::kFailed;
    }
  } else {
    result = ReplaceChecked(fs, temp, target, *expected);
    if (result != WriteResult::kOk) return result;
  }
  temp.Discard();
  // The new content is in place whatever happens now; a failed folder sync cannot undo that.
  SyncFolder(fs, folder);
  return result;
}

}  // namespace quillmap
