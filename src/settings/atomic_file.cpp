#include "settings/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

namespace quillmap {

namespace {

constexpr int kMaxLinks = 40;
constexpr int kMaxTempAttempts = 100;

std::string Join(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

bool WriteAll(FileSystem& fs, int fd, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = fs.Write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {  // would loop forever
      errno = EIO;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// Linux releases the descriptor even when close() reports EINTR; any other error may be a
// write that never reached the disk.
bool CloseChecked(FileSystem& fs, int fd) { return fs.Close(fd) == 0 || errno == EINTR; }

bool SyncFolder(FileSystem& fs, const std::string& folder) {
  const int fd = fs.Open(folder, O_RDONLY | O_DIRECTORY, 0);
  if (fd < 0) return false;
  // Some file systems cannot sync a folder at all; that is no failure of ours.
  const bool synced = fs.Fsync(fd) == 0 || errno == EINVAL;
  return CloseChecked(fs, fd) && synced;
}

// Follows symbolic links in the last part of `path` to the file that a write must replace.
bool ResolveTarget(FileSystem& fs, const std::string& path, std::string* target) {
  std::string current = path;
  for (int i = 0; i < kMaxLinks; ++i) {
    struct stat st;
    if (fs.Lstat(current, &st) != 0) {
      if (errno != ENOENT) return false;
      *target = current;  // a new file, or the missing target of a link
      return true;
    }
    if (!S_ISLNK(st.st_mode)) {
      *target = current;
      return true;
    }
    char buffer[PATH_MAX];
    const ssize_t n = fs.Readlink(current, buffer, sizeof(buffer));
    if (n <= 0 || static_cast<size_t>(n) >= sizeof(buffer)) return false;
    const std::string link(buffer, static_cast<size_t>(n));
    current = link[0] == '/' ? link : Join(FolderOf(current), link);
  }
  errno = ELOOP;
  return false;
}

std::string SideCopyFor(FileSystem& fs, const std::string& target) {
  return Join(UserStateFolder(),
              PathHash(CanonicalPath(target, fs)) + "-" + NameOf(target).substr(0, 100) + ".side");
}

// Removes a temporary file on every path that does not hand it over.
class TempFile {
 public:
  explicit TempFile(FileSystem& fs) : fs_(fs) {}
  ~TempFile() { Discard(); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // O_EXCL under a fresh random name, so an old leftover or a planted link is never opened.
  bool Create(const std::string& folder, const std::string& name, mode_t mode) {
    static constexpr char kChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device random;
    const std::string prefix = Join(folder, "." + name.substr(0, 200) + ".quillmap-");
    for (int attempt = 0; attempt < kMaxTempAttempts; ++attempt) {
      uint64_t bits = (static_cast<uint64_t>(random()) << 32) | random();
      std::string candidate = prefix;
      for (int i = 0; i < 8; ++i, bits /= 62) candidate += kChars[bits % 62];
      const int fd = fs_.Open(candidate, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, mode);
      if (fd >= 0) {
        fd_ = fd;
        path_ = candidate;
        return true;
      }
      if (errno != EEXIST) return false;
    }
    return false;
  }

  bool WriteAndClose(std::string_view bytes) {
    const bool ok = WriteAll(fs_, fd_, bytes) && fs_.Fsync(fd_) == 0;
    const int fd = fd_;
    fd_ = -1;
    return CloseChecked(fs_, fd) && ok;
  }

  // After a successful rename there is nothing left to remove.
  void Release() { path_.clear(); }

  void Discard() {
    if (fd_ >= 0) fs_.Close(fd_);
    if (!path_.empty()) fs_.Unlink(path_);
    fd_ = -1;
    path_.clear();
  }

  int fd() const { return fd_; }
  const std::string& path() const { return path_; }

 private:
  FileSystem& fs_;
  int fd_ = -1;
  std::string path_;
};

enum class Match { kSame, kDiffers, kUnreadable };

// A program that rewrites a file in place truncates it before it writes: for a moment the file
// is empty, for longer when that program waits for the processor. An empty file is taken for
// what it holds only once it has stayed so this long.
constexpr std::chrono::milliseconds kEmptyRestTime(50);

// How long a file swapped out stays before it is removed; see AtomicWriteFile.
constexpr std::chrono::milliseconds kInPlaceWriterGrace(2);

// False when the empty file changed while it rested.
bool StayedEmpty(FileSystem& fs, const std::string& path, const struct stat& seen) {
  const auto changed =
      std::chrono::seconds(seen.st_mtim.tv_sec) + std::chrono::nanoseconds(seen.st_mtim.tv_nsec);
  const auto age = std::chrono::system_clock::now().time_since_epoch() - changed;
  if (age < kEmptyRestTime) {
    std::this_thread::sleep_for(kEmptyRestTime - std::max<std::chrono::nanoseconds>(age, {}));
  }
  struct stat again;
  return fs.Stat(path, &again) == 0 && again.st_size == 0 && again.st_ino == seen.st_ino &&
         again.st_mtim.tv_sec == seen.st_mtim.tv_sec &&
         again.st_mtim.tv_nsec == seen.st_mtim.tv_nsec;
}

// Streams the file against what the command saw, so that a large file costs no second copy.
// `seen`, when given, gets the file's identity, or st_ino 0 when there is no file.
Match CompareWithDisk(FileSystem& fs, const std::string& target, const FileSnapshot& expected,
                      struct stat* seen = nullptr) {
  struct stat st;
  if (seen != nullptr) seen->st_ino = 0;
  if (fs.Stat(target, &st) != 0) {
    if (errno != ENOENT) return Match::kUnreadable;
    return expected.exists ? Match::kDiffers : Match::kSame;
  }
  if (seen != nullptr) *seen = st;
  if (!expected.exists || !S_ISREG(st.st_mode) ||
      static_cast<uint64_t>(st.st_size) != expected.bytes.size()) {
    return Match::kDiffers;
  }
  if (st.st_size == 0) return StayedEmpty(fs, target, st) ? Match::kSame : Match::kDiffers;
  const int fd = fs.Open(target, O_RDONLY | O_NOCTTY | O_NONBLOCK, 0);
  if (fd < 0) return Match::kUnreadable;
  static constexpr size_t kChunk = 64 * 1024;
  std::string chunk(kChunk, '\0');
  size_t compared = 0;
  Match match = Match::kSame;
  for (;;) {
    const ssize_t n = fs.Read(fd, chunk.data(), kChunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      match = Match::kUnreadable;
      break;
    }
    if (n == 0) {
      if (compared != expected.bytes.size()) match = Match::kDiffers;
      break;
    }
    const size_t size = static_cast<size_t>(n);
    if (compared + size > expected.bytes.size() ||
        expected.bytes.compare(compared, size, chunk.data(), size) != 0) {
      match = Match::kDiffers;
      break;
    }
    compared += size;
  }
  fs.Close(fd);
  return match;
}

enum class Rewrite { kDone, kUntouched, kDamaged };

Rewrite RewriteFile(FileSystem& fs, const std::string& target, std::string_view bytes) {
  const int fd = fs.Open(target, O_WRONLY | O_NOFOLLOW, 0);
  if (fd < 0) return Rewrite::kUntouched;
  const bool written = WriteAll(fs, fd, bytes) &&
                       fs.Ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 && fs.Fsync(fd) == 0;
  const bool closed = CloseChecked(fs, fd);
  return written && closed ? Rewrite::kDone : Rewrite::kDamaged;
}

// The side copy counts only once it stands complete under its final name.
bool WriteSideCopy(FileSystem& fs, const std::string& side, std::string_view bytes) {
  const std::string folder = FolderOf(side);
  if (!EnsurePrivateFolder(folder, fs)) return false;
  TempFile temp(fs);
  if (!temp.Create(folder, NameOf(side), 0600) || !temp.WriteAndClose(bytes)) return false;
  if (fs.Rename(temp.path(), side) != 0) return false;
  temp.Release();
  if (!SyncFolder(fs, folder)) {
    fs.Unlink(side);
    return false;
  }
  return true;
}

// A side copy left behind would later be written over whatever the file then holds, so one that
// cannot be removed is at least emptied: recovery takes an empty copy for none.
void DropSideCopy(FileSystem& fs, const std::string& side) {
  if (fs.Unlink(side) == 0 || errno == ENOENT) return;
  const int fd = fs.Open(side, O_WRONLY | O_TRUNC | O_NOFOLLOW | O_NOCTTY, 0);
  if (fd >= 0) fs.Close(fd);
}

WriteResult RewriteInPlace(FileSystem& fs, const std::string& target, std::string_view bytes,
                           const FileSnapshot* expected) {
  FileSnapshot old;
  if (!ReadFileSnapshot(target, &old, fs) || !old.exists) return WriteResult::kFailed;
  if (expected != nullptr && (!expected->exists || expected->bytes != old.bytes)) {
    return WriteResult::kChangedOnDisk;
  }
  if (old.bytes == bytes) return WriteResult::kOk;

  const std::string side = SideCopyFor(fs, target);
  if (!WriteSideCopy(fs, side, bytes)) return WriteResult::kFailed;
  switch (RewriteFile(fs, target, bytes)) {
    case Rewrite::kDone:
      DropSideCopy(fs, side);
      return WriteResult::kOk;
    case Rewrite::kUntouched:
      DropSideCopy(fs, side);
      return WriteResult::kFailed;
    case Rewrite::kDamaged:
      // The old content fits where it was, so putting it back rarely fails; when it does, the
      // side copy stays so that the file is never left half-written.
      if (RewriteFile(fs, target, old.bytes) == Rewrite::kDone) DropSideCopy(fs, side);
      return WriteResult::kFailed;
  }
  return WriteResult::kFailed;
}

// The regular files in `folder` named as TempFile::Create names them after `name`.
void RemoveTemporaryFilesOf(FileSystem& fs, const std::string& folder, const std::string& name) {
  const std::string prefix = "." + name.substr(0, 200) + ".quillmap-";
  std::vector<std::string> stale;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view found = entry->d_name;
    if (found.size() == prefix.size() + 8 && found.compare(0, prefix.size(), prefix) == 0 &&
        found.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789",
                                prefix.size()) == std::string_view::npos) {
      stale.emplace_back(found);
    }
  }
  closedir(dir);
  for (const std::string& file : stale) {
    struct stat st;
    const std::string path = Join(folder, file);
    if (fs.Lstat(path, &st) == 0 && S_ISREG(st.st_mode)) fs.Unlink(path);
  }
}

bool FolderRefusesNewFiles(int error) {
  return error == EACCES || error == EPERM || error == EROFS;
}

}  // namespace

bool ReadFileSnapshot(const std::string& path, FileSnapshot* out, FileSystem& fs) {
  out->exists = false;
  out->bytes.clear();
  struct stat st;
  if (fs.Stat(path, &st) != 0) return errno == ENOENT;
  if (!S_ISREG(st.st_mode)) return false;
  // O_NONBLOCK: should the path turn into a FIFO after the check, open must not hang.
  const int fd = fs.Open(path, O_RDONLY | O_NOCTTY | O_NONBLOCK, 0);
  if (fd < 0) return errno == ENOENT;
  std::string bytes(static_cast<size_t>(st.st_size) + 1, '\0');
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
  fs.Close(fd);
  bytes.resize(size);
  out->exists = true;
  out->bytes = std::move(bytes);
  return true;
}

WriteResult AtomicWriteFile(const std::string& path, std::string_view bytes,
                            const FileSnapshot* expected, FileSystem& fs) {
  std::string target;
  if (!ResolveTarget(fs, path, &target)) return WriteResult::kFailed;
  struct stat st;
  bool exists = true;
  if (fs.Lstat(target, &st) != 0) {
    if (errno != ENOENT) return WriteResult::kFailed;
    exists = false;
  } else if (!S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0) {
    return WriteResult::kFailed;
  }

  if (expected != nullptr && expected->exists && exists && expected->bytes == bytes) {
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
  // A new file gets 0666 less the umask, as any new file would.
  if (!temp.Create(folder, NameOf(target), exists ? 0600 : 0666)) {
    if (exists && FolderRefusesNewFiles(errno)) return RewriteInPlace(fs, target, bytes, expected);
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
  if (!temp.WriteAndClose(bytes)) return WriteResult::kFailed;
  struct stat compared {};
  if (expected != nullptr) {
    switch (CompareWithDisk(fs, target, *expected, &compared)) {
      case Match::kSame:
        break;
      case Match::kDiffers:
        return WriteResult::kChangedOnDisk;
      case Match::kUnreadable:
        return WriteResult::kFailed;
    }
  }
  if (expected != nullptr && exists) {
    // Swapped rather than renamed, and the file that went out compared once more: a change that
    // another program made since the comparison above is then put back, not thrown away.
    if (fs.Exchange(temp.path(), target) == 0) {
      // Another file than the one compared was swapped out when a writer replaced the file
      // meanwhile: it goes back at once, before that writer can build on ours.
      struct stat out;
      const bool replaced = fs.Lstat(temp.path(), &out) == 0 &&
                            (out.st_ino != compared.st_ino || out.st_dev != compared.st_dev);
      Match match = replaced ? Match::kDiffers : CompareWithDisk(fs, temp.path(), *expected);
      if (match == Match::kSame) {
        // A writer that opened the file in place just before the swap waits for the swap to
        // release the file, then truncates and writes the one now swapped out: it is given a
        // moment to show, so that its change goes back instead of being thrown away.
        std::this_thread::sleep_for(kInPlaceWriterGrace);
        match = CompareWithDisk(fs, temp.path(), *expected);
      }
      if (match != Match::kSame) {
        if (fs.Exchange(temp.path(), target) != 0 && fs.Rename(temp.path(), target) == 0) {
          temp.Release();
        }
        return match == Match::kDiffers ? WriteResult::kChangedOnDisk : WriteResult::kFailed;
      }
      temp.Discard();  // the old file, now under the temporary name
      SyncFolder(fs, folder);
      return WriteResult::kOk;
    }
    if (errno != EINVAL && errno != ENOSYS) return WriteResult::kFailed;
  }
  if (fs.Rename(temp.path(), target) != 0) return WriteResult::kFailed;
  temp.Release();
  // The new content is in place whatever happens now; a failed folder sync cannot undo that.
  SyncFolder(fs, folder);
  return WriteResult::kOk;
}

void RecoverInterruptedWrite(const std::string& path, FileSystem& fs) {
  std::string target;
  if (!ResolveTarget(fs, path, &target)) return;
  const std::string side = SideCopyFor(fs, target);
  struct stat st;
  if (fs.Lstat(FolderOf(side), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid()) {
    return;
  }
  FileSnapshot copy;
  if (!ReadFileSnapshot(side, &copy, fs) || !copy.exists) return;
  if (copy.bytes.empty() || RewriteFile(fs, target, copy.bytes) == Rewrite::kDone) {
    DropSideCopy(fs, side);
  }
}

void RemoveStaleTemporaryFiles(const std::string& path, FileSystem& fs) {
  std::string target;
  if (!ResolveTarget(fs, path, &target)) return;
  RemoveTemporaryFilesOf(fs, FolderOf(target), NameOf(target));
  const std::string side = SideCopyFor(fs, target);
  RemoveTemporaryFilesOf(fs, FolderOf(side), NameOf(side));
}

std::string SideCopyPath(const std::string& path, FileSystem& fs) {
  std::string target;
  if (!ResolveTarget(fs, path, &target)) target = path;
  return SideCopyFor(fs, target);
}

}  // namespace quillmap
