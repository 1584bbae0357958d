// The one lock that every Quillmap process honours for a shared file, whoever runs it and on
// whichever machine: an open-file-description lock (fcntl F_OFD_SETLK) on the file itself.
//
// Why on the file: any account that may write the file can lock it, through any spelling of its
// path (a symbolic link, another mount, a network share whose file system passes locks on),
// and it works where the folder takes no new files. A lock file in a per-user folder would
// never meet another account's, and one beside the file needs a writable folder. The lock dies
// with its process, so a killed writer never leaves it behind.
//
// The lock is on the open file, so a file replaced by a rename leaves a holder locking the old
// one: after the lock is granted the path is checked to still name the locked file, and it is
// tried again when it does not.
//
// A writer also leaves a note beside the file, where the folder allows, saying who holds the
// lock and since when, so that a user kept waiting can be told (as office suites do with
// their lock files beside a shared document).
#pragma once

#include <string>

#include "settings/file_system.h"
#include "settings/writer_identity.h"

namespace quillmap {

enum class LockKind {
  kShared,     // readers: many at once, none while a writer holds it
  kExclusive,  // writers: the file must be writable
};

enum class LockOutcome {
  kLocked,        // held; also for a missing file, which has nothing to lock
  kBusy,          // another holder kept it past the wait
  kNoPermission,  // the file may not be opened as the lock needs (written, for a writer)
  kFailed,        // the file could not be opened for another reason
};

class FileLock {
 public:
  // Waits at most `timeout_ms` for another holder. A second FileLock on the same file waits
  // even in the same process, so a holder must not take it again.
  FileLock(const std::string& path, LockKind kind, int timeout_ms = 5000,
           FileSystem& fs = RealFileSystem());
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  LockOutcome Outcome() const { return outcome_; }
  bool Locked() const { return outcome_ == LockOutcome::kLocked; }
  // With kNoPermission or kFailed: the errno of the refused open.
  int OpenError() const { return open_error_; }
  // With kBusy: the holder's note, when it left one and still holds the lock.
  bool HolderKnown() const { return holder_known_; }
  const WriterIdentity& Holder() const { return holder_; }

 private:
  void LeaveNote(const std::string& path);

  FileSystem& fs_;
  std::string note_path_;
  int fd_ = -1;
  int note_fd_ = -1;
  int open_error_ = 0;
  LockOutcome outcome_ = LockOutcome::kFailed;
  bool holder_known_ = false;
  WriterIdentity holder_;
};

// The note a writer leaves beside `path` while it holds the lock.
std::string LockNotePath(const std::string& path);

}  // namespace quillmap
