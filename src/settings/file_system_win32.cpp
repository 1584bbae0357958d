// The file system on Windows: each POSIX-shaped call of the FileSystem interface mapped onto the
// wide Win32 API. Descriptors are C runtime descriptors over Win32 handles, so that the writers'
// reads and writes stay plain, and every handle is opened with all three share modes, so that a
// file may be replaced or removed while another program holds it open, as on Linux.
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "settings/file_system.h"
#include "settings/win32_text.h"

namespace quillmap {

const char kPathSeparators[] = "/\\";

namespace {

using win32::FailWithLastError;
using win32::Utf8FromWide;
using win32::WidePath;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Windows locks are mandatory: a locked byte cannot be read through another handle. The
// writers' locks are advisory, so they are taken far beyond the end of any region file, where
// they stop only other locks.
constexpr ULONGLONG kLockBase = 0x7f00000000000000ull;
// FILETIME counts 100 ns steps since 1601; time_t counts seconds since 1970.
constexpr ULONGLONG kUnixEpochTicks = 116444736000000000ull;

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

time_t UnixTime(const FILETIME& time) {
  const ULONGLONG ticks = (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  return static_cast<time_t>(
      (static_cast<LONGLONG>(ticks) - static_cast<LONGLONG>(kUnixEpochTicks)) / 10000000);
}

// Windows keeps a read-only attribute instead of permission bits, and no owner that the writers
// could compare: every file is the running account's, writable by it unless read-only.
void FillStat(const BY_HANDLE_FILE_INFORMATION& info, struct stat* out) {
  *out = {};
  const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const bool read_only = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  mode_t mode = folder ? (S_IFDIR | 0755) : (S_IFREG | 0644);
  if (read_only && !folder) mode &= ~0222;
  out->st_mode = mode;
  out->st_nlink = static_cast<decltype(out->st_nlink)>(info.nNumberOfLinks);
  out->st_dev = info.dwVolumeSerialNumber;
  // The C runtime's inode field is narrow: the whole file index folded into it.
  const ULONGLONG index = (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  ULONGLONG folded = 0;
  for (ULONGLONG rest = index; rest != 0; rest >>= 16) folded ^= rest & 0xffff;
  out->st_ino = static_cast<decltype(out->st_ino)>(folded);
  out->st_size = static_cast<decltype(out->st_size)>(
      (static_cast<ULONGLONG>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
  out->st_mtime = UnixTime(info.ftLastWriteTime);
  out->st_atime = UnixTime(info.ftLastAccessTime);
  out->st_ctime = UnixTime(info.ftCreationTime);
}

int StatHandle(HANDLE handle, struct stat* out) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return FailWithLastError();
  FillStat(info, out);
  return 0;
}

// A handle for looking at a file or folder without opening its content.
HANDLE OpenForAttributes(const std::string& path) {
  return CreateFileW(WidePath(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool IsFolderHandle(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  return GetFileInformationByHandle(handle, &info) &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The lock each descriptor holds, since Windows cannot turn a shared lock into an exclusive one
// in place or tell who holds a lock.
std::mutex held_locks_mutex;
std::map<int, short> held_locks;

int Unlock(int fd, HANDLE handle, const OVERLAPPED& where, DWORD length) {
  OVERLAPPED at = where;
  if (!UnlockFileEx(handle, 0, length, 0, &at) && GetLastError() != ERROR_NOT_LOCKED) {
    return FailWithLastError();
  }
  const std::lock_guard<std::mutex> guard(held_locks_mutex);
  held_locks.erase(fd);
  return 0;
}

// Renames `source` over `target` with POSIX semantics (Windows 10 1709 and later), which is the
// one way to replace a file that another handle holds open, as the checked rename does.
bool RenameOverOpenFile(const std::wstring& source, const std::wstring& target) {
  const HANDLE handle = CreateFileW(source.c_str(), DELETE | SYNCHRONIZE, kShareAll, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  std::wstring full(MAX_PATH, L'\0');
  const DWORD length =
      GetFullPathNameW(target.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  bool done = false;
  if (length > 0 && length < full.size()) {
    full.resize(length);
    std::string buffer(sizeof(FILE_RENAME_INFO) + full.size() * sizeof(wchar_t), '\0');
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->Flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(full.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, full.data(), full.size() * sizeof(wchar_t));
    // FileRenameInfoEx, which these headers do not name yet.
    done = SetFileInformationByHandle(handle, static_cast<FILE_INFO_BY_HANDLE_CLASS>(22), info,
                                      static_cast<DWORD>(buffer.size())) != 0;
  }
  const DWORD error = GetLastError();
  CloseHandle(handle);
  SetLastError(error);
  return done;
}

class Win32FileSystem final : public FileSystem {
 public:
  int Open(const std::string& path, int flags, mode_t mode) override {
    DWORD access = 0;
    switch (flags & (O_RDONLY | O_WRONLY | O_RDWR)) {
      case O_WRONLY:
        access = GENERIC_WRITE;
        break;
      case O_RDWR:
        access = GENERIC_READ | GENERIC_WRITE;
        break;
      default:
        access = GENERIC_READ;
    }
    DWORD disposition = OPEN_EXISTING;
    if ((flags & O_CREAT) && (flags & O_EXCL)) {
      disposition = CREATE_NEW;
    } else if ((flags & O_CREAT) && (flags & O_TRUNC)) {
      disposition = CREATE_ALWAYS;
    } else if (flags & O_CREAT) {
      disposition = OPEN_ALWAYS;
    } else if (flags & O_TRUNC) {
      disposition = TRUNCATE_EXISTING;
    }
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    if ((flags & O_CREAT) && (mode & 0222) == 0) attributes = FILE_ATTRIBUTE_READONLY;
    // Folders open only with backup semantics; a folder's handle serves Fsync and Fstat.
    if (flags & O_DIRECTORY) attributes |= FILE_FLAG_BACKUP_SEMANTICS;
    const std::wstring wide = WidePath(path);
    HANDLE handle = CreateFileW(wide.c_str(), access | FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                disposition, attributes, nullptr);
    if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
      // A folder opens for reading, as open(2) allows, and refuses writing with EISDIR.
      const DWORD found = GetFileAttributesW(wide.c_str());
      if (found != INVALID_FILE_ATTRIBUTES && (found & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        if (access != GENERIC_READ) {
          errno = EISDIR;
          return -1;
        }
        handle = CreateFileW(wide.c_str(), access | FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
      }
    }
    if (handle == INVALID_HANDLE_VALUE) return FailWithLastError();
    if ((flags & O_DIRECTORY) && !IsFolderHandle(handle)) {
      CloseHandle(handle);
      errno = ENOTDIR;
      return -1;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle),
                                   (flags & (O_RDONLY | O_WRONLY | O_RDWR)) | _O_BINARY);
    if (fd < 0) {
      CloseHandle(handle);
      errno = EMFILE;
      return -1;
    }
    return fd;
  }
  ssize_t Read(int fd, void* buffer, size_t size) override {
    DWORD got = 0;
    const DWORD wanted = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    if (!ReadFile(HandleOf(fd), buffer, wanted, &got, nullptr)) {
      if (GetLastError() == ERROR_HANDLE_EOF || GetLastError() == ERROR_BROKEN_PIPE) return 0;
      return FailWithLastError();
    }
    return static_cast<ssize_t>(got);
  }
  ssize_t Write(int fd, const void* buffer, size_t size) override {
    DWORD put = 0;
    const DWORD offered = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    if (!WriteFile(HandleOf(fd), buffer, offered, &put, nullptr)) return FailWithLastError();
    return static_cast<ssize_t>(put);
  }
  int Fsync(int fd) override {
    const HANDLE handle = HandleOf(fd);
    // A folder's entries reach the disk with the call that changed them.
    if (IsFolderHandle(handle)) return 0;
    return FlushFileBuffers(handle) ? 0 : FailWithLastError();
  }
  int Ftruncate(int fd, off_t length) override {
    const HANDLE handle = HandleOf(fd);
    LARGE_INTEGER here{};
    LARGE_INTEGER zero{};
    LARGE_INTEGER end{};
    end.QuadPart = length;
    // ftruncate leaves the file position where it was.
    if (!SetFilePointerEx(handle, zero, &here, FILE_CURRENT) ||
        !SetFilePointerEx(handle, end, nullptr, FILE_BEGIN) || !SetEndOfFile(handle) ||
        !SetFilePointerEx(handle, here, nullptr, FILE_BEGIN)) {
      return FailWithLastError();
    }
    return 0;
  }
  int Fchmod(int fd, mode_t mode) override {
    const HANDLE handle = HandleOf(fd);
    FILE_BASIC_INFO info;
    if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &info, sizeof(info))) {
      return FailWithLastError();
    }
    if ((mode & 0222) == 0) {
      info.FileAttributes |= FILE_ATTRIBUTE_READONLY;
    } else {
      info.FileAttributes &= ~FILE_ATTRIBUTE_READONLY;
    }
    if (info.FileAttributes == 0) info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(handle, FileBasicInfo, &info, sizeof(info))
               ? 0
               : FailWithLastError();
  }
  int Close(int fd) override {
    {
      const std::lock_guard<std::mutex> guard(held_locks_mutex);
      held_locks.erase(fd);
    }
    return _close(fd);
  }
  int Stat(const std::string& path, struct stat* out) override {
    const HANDLE handle = OpenForAttributes(path);
    if (handle == INVALID_HANDLE_VALUE) return FailWithLastError();
    const int result = StatHandle(handle, out);
    CloseHandle(handle);
    return result;
  }
  // Links on Windows are followed by every call here, so a link's own entry is never looked at.
  int Lstat(const std::string& path, struct stat* out) override { return Stat(path, out); }
  ssize_t Readlink(const std::string&, char*, size_t) override {
    errno = EINVAL;
    return -1;
  }
  // ReplaceFileW keeps the replaced file's security and attributes; a new name, or a file
  // system that cannot replace that way, takes a move that reaches the disk before it returns.
  int Rename(const std::string& from, const std::string& to) override {
    const std::wstring source = WidePath(from);
    const std::wstring target = WidePath(to);
    const DWORD target_attributes = GetFileAttributesW(target.c_str());
    if (target_attributes != INVALID_FILE_ATTRIBUTES &&
        (target_attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0 &&
        ReplaceFileW(target.c_str(), source.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                     nullptr, nullptr)) {
      return 0;
    }
    if (MoveFileExW(source.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return 0;
    }
    if (GetLastError() != ERROR_ACCESS_DENIED) return FailWithLastError();
    if (RenameOverOpenFile(source, target)) return 0;
    // Without POSIX semantics an open file cannot be replaced, but it can be renamed: the old
    // file steps aside, the new one takes its name, and the old one goes when its last handle
    // closes. For that moment the name is missing, which readers take for a file in change.
    const std::wstring aside = target + L".quillmap-old-" + std::to_wstring(GetCurrentProcessId()) +
                               L"-" + std::to_wstring(GetTickCount64());
    if (!MoveFileExW(target.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH)) {
      return FailWithLastError();
    }
    if (!MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
      const int result = FailWithLastError();
      MoveFileExW(aside.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
      return result;
    }
    DeleteFileW(aside.c_str());
    return 0;
  }
  int Unlink(const std::string& path) override {
    return DeleteFileW(WidePath(path).c_str()) ? 0 : FailWithLastError();
  }
};

}  // namespace

// Windows accounts own no numbered ids, and the file's security goes with ReplaceFileW.
int FileSystem::Fchown(int, uid_t, gid_t) { return 0; }

int FileSystem::Mkdir(const std::string& path, mode_t) {
  return CreateDirectoryW(WidePath(path).c_str(), nullptr) ? 0 : FailWithLastError();
}

int FileSystem::Realpath(const std::string& path, std::string* out) {
  const HANDLE handle = OpenForAttributes(path);
  if (handle == INVALID_HANDLE_VALUE) return FailWithLastError();
  std::wstring resolved(MAX_PATH, L'\0');
  DWORD size = GetFinalPathNameByHandleW(handle, resolved.data(),
                                         static_cast<DWORD>(resolved.size()), VOLUME_NAME_DOS);
  if (size >= resolved.size()) {
    resolved.resize(size + 1);
    size = GetFinalPathNameByHandleW(handle, resolved.data(), static_cast<DWORD>(resolved.size()),
                                     VOLUME_NAME_DOS);
  }
  const int result = size == 0 ? FailWithLastError() : 0;
  CloseHandle(handle);
  if (result != 0) return result;
  resolved.resize(size);
  // "\\?\C:\..." is the same path as "C:\..."; "\\?\UNC\server\..." as "\\server\...".
  if (resolved.rfind(L"\\\\?\\UNC\\", 0) == 0) {
    resolved = L"\\" + resolved.substr(7);
  } else if (resolved.rfind(L"\\\\?\\", 0) == 0) {
    resolved = resolved.substr(4);
  }
  *out = Utf8FromWide(resolved);
  return 0;
}

// No call swaps two names in one step on Windows: the writer falls back to a checked rename.
int FileSystem::Exchange(const std::string&, const std::string&) {
  errno = EINVAL;
  return -1;
}

int FileSystem::Link(const std::string& from, const std::string& to) {
  return CreateHardLinkW(WidePath(to).c_str(), WidePath(from).c_str(), nullptr)
             ? 0
             : FailWithLastError();
}

int FileSystem::Fstat(int fd, struct stat* out) { return StatHandle(HandleOf(fd), out); }

// Only whether the file exists and, for W_OK, whether its read-only attribute is off.
int FileSystem::Access(const std::string& path, int mode) {
  const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return FailWithLastError();
  if ((mode & W_OK) != 0 && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    errno = EACCES;
    return -1;
  }
  return 0;
}

// F_OFD_SETLK and F_OFD_GETLK with LockFileEx: shared or exclusive, never waiting. A
// descriptor's lock goes with its handle, as an open file description's does.
int FileSystem::LockControl(int fd, int command, struct flock* lock) {
  const HANDLE handle = HandleOf(fd);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return -1;
  }
  if (lock->l_whence != SEEK_SET || lock->l_start < 0 || lock->l_len < 0) {
    errno = EINVAL;
    return -1;
  }
  // A length of 0 reaches to the end of every possible file.
  const ULONGLONG start = kLockBase + static_cast<ULONGLONG>(lock->l_start);
  const DWORD length = lock->l_len == 0 ? MAXDWORD : static_cast<DWORD>(lock->l_len);
  OVERLAPPED where{};
  where.Offset = static_cast<DWORD>(start);
  where.OffsetHigh = static_cast<DWORD>(start >> 32);
  const DWORD mode =
      LOCKFILE_FAIL_IMMEDIATELY | (lock->l_type == F_WRLCK ? LOCKFILE_EXCLUSIVE_LOCK : 0);
  if (command == F_OFD_GETLK) {
    OVERLAPPED at = where;
    if (LockFileEx(handle, mode, 0, length, 0, &at)) {
      at = where;
      UnlockFileEx(handle, 0, length, 0, &at);
      lock->l_type = F_UNLCK;
    } else {
      // Windows does not say who holds it; an exclusive holder is the one that stops either.
      lock->l_type = F_WRLCK;
      lock->l_pid = -1;
    }
    return 0;
  }
  if (command != F_OFD_SETLK) {
    errno = EINVAL;
    return -1;
  }
  short held = F_UNLCK;
  {
    const std::lock_guard<std::mutex> guard(held_locks_mutex);
    const auto found = held_locks.find(fd);
    if (found != held_locks.end()) held = found->second;
  }
  if (lock->l_type == F_UNLCK) return held == F_UNLCK ? 0 : Unlock(fd, handle, where, length);
  if (held == lock->l_type) return 0;
  if (held != F_UNLCK && Unlock(fd, handle, where, length) != 0) return -1;
  OVERLAPPED at = where;
  if (!LockFileEx(handle, mode, 0, length, 0, &at)) return FailWithLastError();
  const std::lock_guard<std::mutex> guard(held_locks_mutex);
  held_locks[fd] = lock->l_type;
  return 0;
}

int FileSystem::ListFolder(const std::string& folder, std::vector<std::string>* names) {
  WIN32_FIND_DATAW entry;
  const HANDLE search = FindFirstFileW((WidePath(folder) + L"\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return FailWithLastError();
  names->clear();
  do {
    const std::wstring_view name = entry.cFileName;
    if (name != L"." && name != L"..") names->push_back(Utf8FromWide(name));
  } while (FindNextFileW(search, &entry));
  FindClose(search);
  return 0;
}

bool SameModificationTime(const struct stat& a, const struct stat& b) {
  return a.st_mtime == b.st_mtime;
}

FileSystem& RealFileSystem() {
  static Win32FileSystem fs;
  return fs;
}

std::string UserStateFolder() {
  // Not the temporary folder: the record must outlive the power cut that made it necessary.
  const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
  if (local != nullptr && *local != L'\0') return Utf8FromWide(local) + "\\quillmap";
  wchar_t temp[MAX_PATH + 1];
  const DWORD size = GetTempPathW(MAX_PATH + 1, temp);
  return Utf8FromWide(std::wstring_view(temp, size)) + "quillmap";
}

}  // namespace quillmap
