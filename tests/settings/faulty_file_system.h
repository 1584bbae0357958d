// A FileSystem that makes the real calls but can fail one chosen call, cut one read or write
// short or interrupt it (EINTR), stop working from one call on (a crash), refuse new files in
// one folder as a read-only folder would even for root, or let another program act first.
#pragma once

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <string>

#include "settings/file_system.h"

namespace quillmap {

class FaultyFileSystem : public FileSystem {
 public:
  using Path = const std::string&;
  // Calls are numbered from 1 in the order they are made.
  void FailCall(int n, int error) { fail_at_ = n, error_ = error; }
  // When call n is a read or a write: it moves half the bytes, or none with EINTR.
  void DisturbTransfer(int n, bool interrupt) { disturb_at_ = n, interrupt_ = interrupt; }
  void CrashAt(int n) { crash_from_ = n; }
  void RefuseNewFilesIn(const std::string& folder) { read_only_folder_ = folder; }
  void BeforeCall(int n, std::function<void()> action) { hook_at_ = n, hook_ = std::move(action); }
  int calls() const { return calls_; }

  int Open(Path path, int flags, mode_t mode) override {
    return Fault() || Refused(path, flags & O_CREAT) ? -1 : real_.Open(path, flags, mode);
  }
  ssize_t Read(int fd, void* buffer, size_t size) override {
    return Fault() || Interrupted() ? -1 : real_.Read(fd, buffer, Shortened(size));
  }
  ssize_t Write(int fd, const void* buffer, size_t size) override {
    return Fault() || Interrupted() ? -1 : real_.Write(fd, buffer, Shortened(size));
  }
  int Fsync(int fd) override { return Fault() ? -1 : real_.Fsync(fd); }
  int Ftruncate(int fd, off_t size) override { return Fault() ? -1 : real_.Ftruncate(fd, size); }
  int Fchmod(int fd, mode_t mode) override { return Fault() ? -1 : real_.Fchmod(fd, mode); }
  int Fchown(int fd, uid_t u, gid_t g) override { return Fault() ? -1 : real_.Fchown(fd, u, g); }
  int Close(int fd) override {
    const bool fault = Fault();
    const int error = errno;
    const int result = real_.Close(fd);  // even when "crashed": the test process must not leak
    if (fault) errno = error;
    return fault ? -1 : result;
  }
  int Stat(Path path, struct stat* out) override { return Fault() ? -1 : real_.Stat(path, out); }
  int Lstat(Path path, struct stat* out) override { return Fault() ? -1 : real_.Lstat(path, out); }
  int Fstat(int fd, struct stat* out) override { return Fault() ? -1 : real_.Fstat(fd, out); }
  ssize_t Readlink(Path path, char* buffer, size_t size) override {
    return Fault() ? -1 : real_.Readlink(path, buffer, size);
  }
  int Rename(Path from, Path to) override {
    return Fault() || Refused(from, true) || Refused(to, true) ? -1 : real_.Rename(from, to);
  }
  int Exchange(Path a, Path b) override {
    return Fault() || Refused(a, true) || Refused(b, true) ? -1 : real_.Exchange(a, b);
  }
  int Unlink(Path path) override {
    return Fault() || Refused(path, true) ? -1 : real_.Unlink(path);
  }
  int Mkdir(Path path, mode_t mode) override {
    return Fault() || Refused(path, true) ? -1 : real_.Mkdir(path, mode);
  }
  int Link(Path from, Path to) override {
    return Fault() || Refused(to, true) ? -1 : real_.Link(from, to);
  }
  int Realpath(Path path, std::string* out) override {
    return Fault() ? -1 : real_.Realpath(path, out);
  }
  int Access(Path path, int mode) override { return Fault() ? -1 : real_.Access(path, mode); }
  int LockControl(int fd, int command, struct flock* lock) override {
    return Fault() ? -1 : real_.LockControl(fd, command, lock);
  }
  int ListFolder(Path folder, std::vector<std::string>* names) override {
    return Fault() ? -1 : real_.ListFolder(folder, names);
  }

 private:
  bool Fault() {
    if (++calls_ == hook_at_) hook_();
    if ((crash_from_ > 0 && calls_ >= crash_from_) || calls_ == fail_at_) {
      errno = calls_ == fail_at_ ? error_ : EIO;
      return true;
    }
    return false;
  }
  bool Interrupted() {
    if (calls_ != disturb_at_ || !interrupt_) return false;
    errno = EINTR;
    return true;
  }
  size_t Shortened(size_t size) const {
    return calls_ == disturb_at_ ? std::max<size_t>(1, size / 2) : size;
  }
  bool Refused(Path path, bool changes_folder) {
    if (!changes_folder || read_only_folder_.empty() || FolderOf(path) != read_only_folder_) {
      return false;
    }
    errno = EACCES;
    return true;
  }

  FileSystem& real_ = RealFileSystem();
  int calls_ = 0, fail_at_ = 0, error_ = 0, disturb_at_ = 0, crash_from_ = 0, hook_at_ = 0;
  bool interrupt_ = false;
  std::function<void()> hook_;
  std::string read_only_folder_;
};

}  // namespace quillmap
