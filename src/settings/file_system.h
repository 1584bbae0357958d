// Every file-system call that the file writers make goes through this interface, so that tests
// can make any one of them fail and check what the writer left behind.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct flock;

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
  // Not pure, so that a wrapper written against the calls above keeps compiling; the defaults
  // make the real calls.
  virtual int Fchown(int fd, uid_t owner, gid_t group);
  virtual int Mkdir(const std::string& path, mode_t mode);
  // realpath(3): 0 and *out set, or -1 with errno.
  virtual int Realpath(const std::string& path, std::string* out);
  // renameat2(2) with RENAME_EXCHANGE: the two names swap their files in one step. -1 with
  // errno EINVAL (or ENOSYS) where the file system cannot.
  virtual int Exchange(const std::string& a, const std::string& b);
  // link(2): gives a file a second name; fails with EEXIST when the name is taken, which makes
  // it the one way to create a file only where none exists.
  virtual int Link(const std::string& from, const std::string& to);
  virtual int Fstat(int fd, struct stat* out);
  // access(2).
  virtual int Access(const std::string& path, int mode);
  // fcntl(2) with a lock record: F_OFD_SETLK, F_OFD_GETLK.
  virtual int LockControl(int fd, int command, struct flock* lock);
  // The names in `folder` other than "." and "..": 0, or -1 with errno.
  virtual int ListFolder(const std::string& folder, std::vector<std::string>* names);
};

// True when `a` and `b` were last modified at the same instant, as finely as the platform
// records it.
bool SameModificationTime(const struct stat& a, const struct stat& b);

// The process-wide pass-through to the real calls (stateless).
FileSystem& RealFileSystem();

// The characters that separate a path's parts: "/", and on Windows also "\\".
extern const char kPathSeparators[];
inline bool IsPathSeparator(char c) {
  return c == '/' || (kPathSeparators[1] != '\0' && c == kPathSeparators[1]);
}

// The folder part of `path` ("." when it has none, "/" for a file in the root folder, "C:\\" for
// one in a drive's root) and the name after the last separator.
std::string FolderOf(const std::string& path);
std::string NameOf(const std::string& path);

// `path` made absolute with every symbolic link resolved, also in its last part; for a file
// that does not exist, its folder's canonical path and its name. `path` unchanged when even the
// folder cannot be resolved.
std::string CanonicalPath(const std::string& path, FileSystem& fs = RealFileSystem());

// 64-bit FNV-1a, as 16 hex digits: names the helper files that belong to one path.
std::string PathHash(std::string_view canonical_path);

// Creates `folder` and its missing parents with mode 0700. True when it ends up a real folder
// (not a link) that the user owns and that nobody else may write to.
bool EnsurePrivateFolder(const std::string& folder, FileSystem& fs = RealFileSystem());

// Where the record of an interrupted rewrite lives when the file's own folder takes no new files:
// $XDG_STATE_HOME/quillmap, else $HOME/.local/state/quillmap, else /tmp/quillmap-<uid>; on
// Windows %LOCALAPPDATA%\\quillmap. Not created.
std::string UserStateFolder();

}  // namespace quillmap
