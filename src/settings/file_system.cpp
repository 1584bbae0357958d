#include "settings/file_system.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace quillmap {

namespace {

bool EnsureFolderExists(const std::string& folder, FileSystem& fs) {
  struct stat st;
  if (fs.Stat(folder, &st) == 0) return S_ISDIR(st.st_mode);
  if (errno != ENOENT) return false;
  const std::string parent = FolderOf(folder);
  if (parent != folder && !EnsureFolderExists(parent, fs)) return false;
  return fs.Mkdir(folder, 0700) == 0 || errno == EEXIST;
}

}  // namespace

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of(kPathSeparators);
  if (slash == std::string::npos) return ".";
  if (slash == 0) return path.substr(0, 1);
  // "C:\name": the folder is the drive's root, not the drive's current folder.
  if (slash == 2 && path[1] == ':' && IsPathSeparator(path[2])) return path.substr(0, 3);
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.find_last_of(kPathSeparators);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string CanonicalPath(const std::string& path, FileSystem& fs) {
  std::string resolved;
  if (fs.Realpath(path, &resolved) == 0) return resolved;
  if (fs.Realpath(FolderOf(path), &resolved) != 0) return path;
  if (!IsPathSeparator(resolved.back())) resolved += '/';
  return resolved + NameOf(path);
}

std::string PathHash(std::string_view canonical_path) {
  uint64_t hash = 14695981039346656037ull;
  for (const char c : canonical_path) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text(16, '0');
  for (int i = 15; i >= 0; --i, hash >>= 4) text[i] = kDigits[hash & 0xF];
  return text;
}

bool EnsurePrivateFolder(const std::string& folder, FileSystem& fs) {
  if (folder.empty()) return false;
  struct stat st;
  if (fs.Lstat(folder, &st) != 0) {
    if (errno != ENOENT) return false;
    const std::string parent = FolderOf(folder);
    if (parent != folder && !EnsureFolderExists(parent, fs)) return false;
    if (fs.Mkdir(folder, 0700) != 0 && errno != EEXIST) return false;
    if (fs.Lstat(folder, &st) != 0) return false;
  }
  // Another user's folder in /tmp, or one that others may write to, could hand us their files.
  return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 022) == 0;
}

}  // namespace quillmap
