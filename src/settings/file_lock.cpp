#include "settings/file_lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

namespace quillmap {

namespace {

constexpr std::chrono::milliseconds kPollInterval(20);
constexpr size_t kMaxNoteSize = 4096;

struct flock WholeFile(short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0;
  return lock;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The note of a holder that still holds it; a note whose writer is gone says nothing.
bool ReadNote(FileSystem& fs, const std::string& note_path, WriterIdentity* holder) {
  const int fd = fs.Open(note_path, O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK, 0);
  if (fd < 0) return false;
  struct flock probe = WholeFile(F_RDLCK);
  bool known = false;
  if (fs.LockControl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK) {
    std::string text(kMaxNoteSize, '\0');
    const ssize_t n = fs.Read(fd, text.data(), text.size());
    if (n > 0) {
      text.resize(static_cast<size_t>(n));
      known = ParseWriter(text, holder);
    }
  }
  fs.Close(fd);
  return known;
}

}  // namespace

std::string LockNotePath(const std::string& path) {
  const std::string canonical = CanonicalPath(path);
  const std::string folder = FolderOf(canonical);
  return (folder == "/" ? "" : folder) + "/." + NameOf(canonical) + ".quillmap-lock";
}

FileLock::FileLock(const std::string& path, LockKind kind, int timeout_ms, FileSystem& fs)
    : fs_(fs) {
  const bool exclusive = kind == LockKind::kExclusive;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
  for (;;) {
    const int fd = fs.Open(path, (exclusive ? O_RDWR : O_RDONLY) | O_NOCTTY | O_NONBLOCK, 0);
    if (fd < 0) {
      open_error_ = errno;
      // A missing file has nothing to lock: it is created by a link, which fails when another
      // writer created it first.
      if (errno == ENOENT) {
        outcome_ = LockOutcome::kLocked;
      } else if (errno == EACCES || errno == EPERM || errno == EROFS) {
        outcome_ = LockOutcome::kNoPermission;
      }
      return;
    }
    struct stat held;
    if (fs.Fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
      fs.Close(fd);
      return;
    }
    struct flock lock = WholeFile(exclusive ? F_WRLCK : F_RDLCK);
    bool granted = false;
    while (!granted) {
      if (fs.LockControl(fd, F_OFD_SETLK, &lock) == 0) {
        granted = true;
      } else if (errno == EINTR) {
        continue;
      } else if (errno == EAGAIN || errno == EACCES) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) break;
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(kPollInterval, deadline - now));
      } else {
        // A file system without locks (EINVAL, ENOLCK, EOPNOTSUPP): the writers then rely on
        // comparing the file before they replace it, as they do against other programs.
        granted = true;
      }
    }
    if (!granted) {
      fs.Close(fd);
      outcome_ = LockOutcome::kBusy;
      holder_known_ = ReadNote(fs, LockNotePath(path), &holder_);
      return;
    }
    struct stat named;
    if (fs.Stat(path, &named) == 0 && SameFile(held, named)) {
      fd_ = fd;
      outcome_ = LockOutcome::kLocked;
      if (exclusive) LeaveNote(path);
      return;
    }
    // Replaced (or removed) while we waited: the lock is on a file that no longer has the name.
    fs.Close(fd);
    if (std::chrono::steady_clock::now() >= deadline) {
      outcome_ = LockOutcome::kBusy;
      return;
    }
  }
}

void FileLock::LeaveNote(const std::string& path) {
  note_path_ = LockNotePath(path);
  // Holding the file's lock, no other writer's note can be live: an old one is a dead writer's.
  fs_.Unlink(note_path_);
  const int fd =
      fs_.Open(note_path_, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK, 0644);
  if (fd < 0) return;  // a folder that takes no new files: the lock works without its note
  struct flock lock = WholeFile(F_WRLCK);
  const std::string text = SerializeWriter(CurrentWriter());
  if (fs_.LockControl(fd, F_OFD_SETLK, &lock) != 0 ||
      fs_.Write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    fs_.Close(fd);
    fs_.Unlink(note_path_);
    return;
  }
  note_fd_ = fd;
}

FileLock::~FileLock() {
  if (note_fd_ >= 0) {
    struct stat ours, named;
    if (fs_.Fstat(note_fd_, &ours) == 0 && fs_.Lstat(note_path_, &named) == 0 &&
        SameFile(ours, named)) {
      fs_.Unlink(note_path_);
    }
    fs_.Close(note_fd_);
  }
  if (fd_ >= 0) fs_.Close(fd_);
}

}  // namespace quillmap
