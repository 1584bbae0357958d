// An advisory lock that serialises Quillmap's own writers of one file (the window and the
// command-line tool): a flock() on a lock file in the user's runtime folder, named after the
// file's canonical path, so nothing is added to the scanner software's folder.
#pragma once

#include <string>

namespace quillmap {

class FileLock {
 public:
  // Waits at most `timeout_ms` for another holder; Locked() tells whether it got the lock. The
  // lock belongs to this object: a second FileLock on the same file waits even in the same
  // process, so a holder must not take it again.
  explicit FileLock(const std::string& path, int timeout_ms = 5000);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool Locked() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace quillmap
