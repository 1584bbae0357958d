#include "settings/file_steps.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <random>

namespace quillmap::file_steps {

namespace {

constexpr int kMaxLinks = 40;
constexpr int kMaxTempAttempts = 100;

// Linux releases the descriptor even when close() reports EINTR; any other error may be a
// write that never reached the disk.
bool CloseChecked(FileSystem& fs, int fd) { return fs.Close(fd) == 0 || errno == EINTR; }

}  // namespace

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

bool SyncFolder(FileSystem& fs, const std::string& folder) {
  const int fd = fs.Open(folder, O_RDONLY | O_DIRECTORY, 0);
  if (fd < 0) return false;
  const bool synced = fs.Fsync(fd) == 0 || errno == EINVAL;
  return CloseChecked(fs, fd) && synced;
}

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

bool SameInode(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool Unchanged(const struct stat& a, const struct stat& b) {
  return SameInode(a, b) && a.st_size == b.st_size && SameModificationTime(a, b);
}

bool FolderRefusesNewFiles(int error) {
  return error == EACCES || error == EPERM || error == EROFS;
}

std::string TemporaryPrefix(const std::string& name) {
  return "." + name.substr(0, 200) + ".quillmap-";
}

Match CompareOpenFile(FileSystem& fs, int fd, std::string_view expected) {
  static constexpr size_t kChunk = 64 * 1024;
  std::string chunk(kChunk, '\0');
  size_t compared = 0;
  for (;;) {
    const ssize_t n = fs.Read(fd, chunk.data(), kChunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Match::kUnreadable;
    }
    if (n == 0) return compared == expected.size() ? Match::kSame : Match::kDiffers;
    const size_t size = static_cast<size_t>(n);
    if (compared + size > expected.size() ||
        expected.compare(compared, size, std::string_view(chunk.data(), size)) != 0) {
      return Match::kDiffers;
    }
    compared += size;
  }
}

Match CompareWithDisk(FileSystem& fs, const std::string& path, const FileSnapshot& expected) {
  const int fd = fs.Open(path, O_RDONLY | O_NOCTTY | O_NONBLOCK, 0);
  if (fd < 0) {
    if (errno != ENOENT) return Match::kUnreadable;
    return expected.exists ? Match::kDiffers : Match::kSame;
  }
  struct stat st;
  Match match = Match::kDiffers;
  if (fs.Fstat(fd, &st) != 0) {
    match = Match::kUnreadable;
  } else if (expected.exists && S_ISREG(st.st_mode) &&
             static_cast<uint64_t>(st.st_size) == expected.bytes.size()) {
    match = CompareOpenFile(fs, fd, expected.bytes);
  }
  fs.Close(fd);
  return match;
}

Rewrite RewriteFile(FileSystem& fs, const std::string& target, std::string_view bytes) {
  const int fd = fs.Open(target, O_WRONLY | O_NOFOLLOW | O_NOCTTY, 0);
  if (fd < 0) return Rewrite::kUntouched;
  const bool written = WriteAll(fs, fd, bytes) &&
                       fs.Ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 && fs.Fsync(fd) == 0;
  const bool closed = CloseChecked(fs, fd);
  return written && closed ? Rewrite::kDone : Rewrite::kDamaged;
}

bool TempFile::Create(const std::string& folder, const std::string& name, mode_t mode) {
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device random;
  const std::string prefix = Join(folder, TemporaryPrefix(name));
  for (int attempt = 0; attempt < kMaxTempAttempts; ++attempt) {
    uint64_t bits = (static_cast<uint64_t>(random()) << 32) | random();
    std::string candidate = prefix;
    for (int i = 0; i < 8; ++i, bits /= 62) candidate += kChars[bits % 62];
    const int fd = fs_.Open(candidate, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY, mode);
    if (fd < 0) {
      if (errno != EEXIST) return false;
      continue;
    }
    // A cleaner that found the file before this lock holds a read lock on it while it removes
    // it: then this name is given up. One that removed it before the lock leaves the lock on a
    // file without a name, which the check after it finds.
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    const int locked = fs_.LockControl(fd, F_OFD_SETLK, &lock);
    const bool no_locks = locked != 0 && errno != EAGAIN && errno != EACCES;
    struct stat ours, named;
    if ((locked == 0 || no_locks) && fs_.Fstat(fd, &ours) == 0 &&
        fs_.Lstat(candidate, &named) == 0 && SameInode(ours, named)) {
      fd_ = fd;
      path_ = candidate;
      return true;
    }
    fs_.Close(fd);
  }
  errno = EEXIST;
  return false;
}

bool TempFile::WriteAndSync(std::string_view bytes) {
  return WriteAll(fs_, fd_, bytes) && fs_.Fsync(fd_) == 0;
}

void TempFile::Release() { path_.clear(); }

void TempFile::Discard() {
  if (!path_.empty()) fs_.Unlink(path_);
  if (fd_ >= 0) fs_.Close(fd_);
  fd_ = -1;
  path_.clear();
}

}  // namespace quillmap::file_steps
