// The steps that the file writers and the recovery of interrupted writes share; internal to
// src/settings.
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>

#include "settings/atomic_file.h"
#include "settings/file_system.h"

namespace quillmap::file_steps {

std::string Join(const std::string& folder, const std::string& name);

// Writes every byte, retrying short and interrupted writes.
bool WriteAll(FileSystem& fs, int fd, std::string_view bytes);

// fsync of a folder; a file system that cannot sync folders is no failure.
bool SyncFolder(FileSystem& fs, const std::string& folder);

// Follows symbolic links in the last part of `path` to the file that a write must replace.
bool ResolveTarget(FileSystem& fs, const std::string& path, std::string* target);

bool SameInode(const struct stat& a, const struct stat& b);
// Same inode, size and modification time: nobody wrote it in between.
bool Unchanged(const struct stat& a, const struct stat& b);

bool FolderRefusesNewFiles(int error);

// The prefix of the temporary files of the file `name`; eight letters or digits follow it.
std::string TemporaryPrefix(const std::string& name);

enum class Match { kSame, kDiffers, kUnreadable };

// Streams the open file from its current offset against `expected`.
Match CompareOpenFile(FileSystem& fs, int fd, std::string_view expected);
// The same by path; a missing file matches a snapshot of no file.
Match CompareWithDisk(FileSystem& fs, const std::string& path, const FileSnapshot& expected);

enum class Rewrite { kDone, kUntouched, kDamaged };
// Overwrites the file in place: write from the start, truncate, fsync.
Rewrite RewriteFile(FileSystem& fs, const std::string& target, std::string_view bytes);

// A temporary file ".<name>.quillmap-XXXXXXXX" that its writer locks for as long as it lives,
// so that another process removes it only once the writer is gone. Removed on every path that
// does not hand it over.
class TempFile {
 public:
  explicit TempFile(FileSystem& fs) : fs_(fs) {}
  ~TempFile() { Discard(); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // O_EXCL under a fresh random name, so an old leftover or a planted link is never opened.
  bool Create(const std::string& folder, const std::string& name, mode_t mode);
  bool WriteAndSync(std::string_view bytes);
  // The name now belongs to someone else (renamed or linked away, or swapped): keep the file.
  void Release();
  void Discard();

  int fd() const { return fd_; }
  const std::string& path() const { return path_; }

 private:
  FileSystem& fs_;
  int fd_ = -1;
  std::string path_;
};

}  // namespace quillmap::file_steps
