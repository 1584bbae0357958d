// The file system on Linux: the POSIX calls themselves.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "settings/file_system.h"

namespace quillmap {

const char kPathSeparators[] = "/";

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
  int Stat(const std::string& path, struct stat* out) override { return ::stat(path.c_str(), out); }
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

std::string TmpUserFolder() { return "/tmp/quillmap-" + std::to_string(geteuid()); }

// An absolute path from the environment, or empty.
std::string AbsoluteEnv(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] != '/') return "";
  return value;
}

}  // namespace

int FileSystem::Fchown(int fd, uid_t owner, gid_t group) { return ::fchown(fd, owner, group); }

int FileSystem::Mkdir(const std::string& path, mode_t mode) { return ::mkdir(path.c_str(), mode); }

int FileSystem::Realpath(const std::string& path, std::string* out) {
  char buffer[PATH_MAX];
  if (::realpath(path.c_str(), buffer) == nullptr) return -1;
  *out = buffer;
  return 0;
}

int FileSystem::Exchange(const std::string& a, const std::string& b) {
  return ::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE);
}

int FileSystem::Link(const std::string& from, const std::string& to) {
  return ::link(from.c_str(), to.c_str());
}

int FileSystem::Fstat(int fd, struct stat* out) { return ::fstat(fd, out); }

int FileSystem::Access(const std::string& path, int mode) { return ::access(path.c_str(), mode); }

int FileSystem::LockControl(int fd, int command, struct flock* lock) {
  return ::fcntl(fd, command, lock);
}

int FileSystem::ListFolder(const std::string& folder, std::vector<std::string>* names) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return -1;
  names->clear();
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names->emplace_back(name);
  }
  ::closedir(dir);
  return 0;
}

bool SameModificationTime(const struct stat& a, const struct stat& b) {
  return a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

FileSystem& RealFileSystem() {
  static PosixFileSystem fs;
  return fs;
}

std::string UserStateFolder() {
  // Not the runtime folder: the record must outlive the power cut that made it necessary.
  const std::string state = AbsoluteEnv("XDG_STATE_HOME");
  if (!state.empty()) return state + "/quillmap";
  const std::string home = AbsoluteEnv("HOME");
  if (!home.empty() && home != "/") return home + "/.local/state/quillmap";
  return TmpUserFolder();
}

}  // namespace quillmap
