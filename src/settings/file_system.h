// Every file-system call that the file writers make goes through this interface, so that tests
// can make any one of them fail and check what the writer left behind.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

namespace quillmap {

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Each returns what the POSIX call returns and leaves errno set on failure.
  virtual int Open(const std::string& path, int flags, mode_t mode) = 0;
  virtual ssize_t Read(int fd, void* buffer, size_t size) = 0;
  virtual ssize_t Write(int fd, const void* buffer, size_t size) = 0;
  virtual int Fsync(int fd) = 0;
  virtual int Ftruncate(int fd, off_t length) = 0;
  virtual int Fchmod(int fd, mode_t mode) = 0;
  virtual int Close(int fd) = 0;
  virtual int Stat(const std::string& path, struct stat* out) = 0;
  virtual int Lstat(const std::string& path, struct stat* out) = 0;
  virtual ssize_t Readlink(const std::string& path, char* buffer, size_t size) = 0;
  virtual int Rename(const std::string& from, const std::string& to) = 0;
  virtual int Unlink(const std::string& path) = 0;
};

// The process-wide pass-through to the real calls (stateless).
FileSystem& RealFileSystem();

}  // namespace quillmap
