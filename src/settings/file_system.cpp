#include "settings/file_system.h"

#include <fcntl.h>
#include <unistd.h>

namespace quillmap {

namespace {

class PosixFileSystem final : public FileSystem {
 public:
  int Open(const std::string& path, int flags, mode_t mode) override {
    return ::open(path.c_str(), flags | O_CLOEXEC, mode);
  }
  ssize_t Read(int fd, void* buffer, size_t size) override { return ::read(fd, buffer, size); }
  ssize_t Write(int fd, const void* buffer, size_t size) override {
    return ::write(fd, buffer, size);
  }
  int Fsync(int fd) override { return ::fsync(fd); }
  int Ftruncate(int fd, off_t length) override { return ::ftruncate(fd, length); }
  int Fchmod(int fd, mode_t mode) override { return ::fchmod(fd, mode); }
  int Close(int fd) override { return ::close(fd); }
  int Stat(const std::string& path, struct stat* out) override {
    return ::stat(path.c_str(), out);
  }
  int Lstat(const std::string& path, struct stat* out) override {
    return ::lstat(path.c_str(), out);
  }
  ssize_t Readlink(const std::string& path, char* buffer, size_t size) override {
    return ::readlink(path.c_str(), buffer, size);
  }
  int Rename(const std::string& from, const std::string& to) override {
    return ::rename(from.c_str(), to.c_str());
  }
  int Unlink(const std::string& path) override { return ::unlink(path.c_str()); }
};

}  // namespace

FileSystem& RealFileSystem() {
  static PosixFileSystem fs;
  return fs;
}

}  // namespace quillmap
