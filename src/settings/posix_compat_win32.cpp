// The POSIX calls of posix_compat_win32.h over Win32. File calls go to RealFileSystem(), whose
// Windows implementation (file_system_win32.cpp) holds the mapping.
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "settings/file_system.h"
#include "settings/win32_text.h"

namespace quillmap::win32 {

std::wstring WideFromUtf8(std::string_view text) {
  if (text.empty()) return std::wstring();
  const int size =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

std::string Utf8FromWide(std::wstring_view text) {
  if (text.empty()) return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size,
                      nullptr, nullptr);
  return narrow;
}

std::wstring WidePath(const std::string& path) {
  std::wstring wide = WideFromUtf8(path);
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  return wide;
}

int ErrnoFromWin32(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_PRIVILEGE_NOT_HELD:
      return EACCES;
    case ERROR_LOCK_VIOLATION:
    case ERROR_LOCK_FAILED:
    case ERROR_IO_PENDING:
      return EAGAIN;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_NOT_SAME_DEVICE:
      return EXDEV;
    case ERROR_DIR_NOT_EMPTY:
      return ENOTEMPTY;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_INVALID_HANDLE:
      return EBADF;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_CALL_NOT_IMPLEMENTED:
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
      return ENOSYS;
    default:
      return EIO;
  }
}

int FailWithLastError() {
  errno = ErrnoFromWin32(GetLastError());
  return -1;
}

}  // namespace quillmap::win32

namespace {

using quillmap::RealFileSystem;
using quillmap::win32::FailWithLastError;
using quillmap::win32::Utf8FromWide;
using quillmap::win32::WidePath;

// Windows accounts have no numbers; every file counts as the running account's.
constexpr uid_t kAccount = 0;

std::string AccountName() {
  wchar_t name[257];
  DWORD size = 257;
  return GetUserNameW(name, &size) ? Utf8FromWide(std::wstring_view(name, size - 1)) : "";
}

std::string ProfileFolder() {
  wchar_t folder[MAX_PATH];
  const DWORD size = GetEnvironmentVariableW(L"USERPROFILE", folder, MAX_PATH);
  return size > 0 && size < MAX_PATH ? Utf8FromWide(std::wstring_view(folder, size)) : "";
}

int Unsupported() {
  errno = ENOSYS;
  return -1;
}

}  // namespace

uid_t getuid() { return kAccount; }
uid_t geteuid() { return kAccount; }
gid_t getegid() { return kAccount; }

int fsync(int fd) { return RealFileSystem().Fsync(fd); }
int fchmod(int fd, mode_t mode) { return RealFileSystem().Fchmod(fd, mode); }
int fchown(int fd, uid_t owner, gid_t group) { return RealFileSystem().Fchown(fd, owner, group); }
int lstat(const char* path, struct stat* out) { return RealFileSystem().Lstat(path, out); }
ssize_t readlink(const char* path, char* buffer, size_t size) {
  return RealFileSystem().Readlink(path, buffer, size);
}
int link(const char* from, const char* to) { return RealFileSystem().Link(from, to); }
int fcntl(int fd, int command, struct flock* lock) {
  return RealFileSystem().LockControl(fd, command, lock);
}
int mkdir(const char* path, mode_t mode) { return RealFileSystem().Mkdir(path, mode); }

char* realpath(const char* path, char* resolved) {
  std::string out;
  if (RealFileSystem().Realpath(path, &out) != 0) return nullptr;
  if (out.size() >= PATH_MAX) {
    errno = ENAMETOOLONG;
    return nullptr;
  }
  if (resolved == nullptr) return strdup(out.c_str());
  std::memcpy(resolved, out.c_str(), out.size() + 1);
  return resolved;
}

int getpwuid_r(uid_t, struct passwd* entry, char* buffer, size_t size, struct passwd** found) {
  *found = nullptr;
  const std::string name = AccountName();
  const std::string home = ProfileFolder();
  if (name.empty()) return ENOENT;
  if (name.size() + home.size() + 2 > size) return ERANGE;
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  std::memcpy(buffer + name.size() + 1, home.c_str(), home.size() + 1);
  entry->pw_name = buffer;
  entry->pw_dir = buffer + name.size() + 1;
  *found = entry;
  return 0;
}

passwd* getpwuid(uid_t uid) {
  static passwd entry;
  static char buffer[1024];
  passwd* found = nullptr;
  return getpwuid_r(uid, &entry, buffer, sizeof(buffer), &found) == 0 ? found : nullptr;
}

int gethostname(char* name, size_t size) {
  wchar_t host[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(host, &length)) return FailWithLastError();
  const std::string text = Utf8FromWide(std::wstring_view(host, length));
  if (text.size() + 1 > size) {
    errno = ENAMETOOLONG;
    return -1;
  }
  std::memcpy(name, text.c_str(), text.size() + 1);
  return 0;
}

int setenv(const char* name, const char* value, int overwrite) {
  if (!overwrite && std::getenv(name) != nullptr) return 0;
  return _putenv_s(name, value) == 0 ? 0 : -1;
}

int unsetenv(const char* name) { return _putenv_s(name, "") == 0 ? 0 : -1; }

char* mkdtemp(char* name_template) {
  const size_t length = std::strlen(name_template);
  if (length < 6 || std::strcmp(name_template + length - 6, "XXXXXX") != 0) {
    errno = EINVAL;
    return nullptr;
  }
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned int seed = GetTickCount() ^ (GetCurrentProcessId() << 8) ^ (attempt * 7919u);
    for (size_t i = length - 6; i < length; ++i) {
      seed = seed * 1103515245u + 12345u;
      name_template[i] = kLetters[(seed >> 16) % 36];
    }
    if (CreateDirectoryW(WidePath(name_template).c_str(), nullptr)) return name_template;
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
      FailWithLastError();
      return nullptr;
    }
  }
  errno = EEXIST;
  return nullptr;
}

int symlink(const char* target, const char* path) {
  if (CreateSymbolicLinkW(WidePath(path).c_str(), WidePath(target).c_str(),
                          SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE)) {
    return 0;
  }
  return FailWithLastError();
}

int chown(const char*, uid_t, gid_t) {
  errno = EPERM;
  return -1;
}

pid_t fork() { return Unsupported(); }
pid_t waitpid(pid_t, int*, int) { return Unsupported(); }
int mkfifo(const char*, mode_t) { return Unsupported(); }
locale_t newlocale(int, const char*, locale_t) {
  errno = ENOENT;
  return nullptr;
}
void freelocale(locale_t) {}

#include <sys/resource.h>
int setrlimit(int, const struct rlimit*) { return Unsupported(); }

// iconv over the system's own code page tables: Windows-1252 and UTF-8 either way.
#include <iconv.h>

struct Win32Iconv {
  UINT to;
  UINT from;
};

namespace {

UINT CodePageNamed(const char* name) {
  if (_stricmp(name, "UTF-8") == 0) return CP_UTF8;
  if (_stricmp(name, "WINDOWS-1252") == 0 || _stricmp(name, "CP1252") == 0) return 1252;
  return 0;
}

}  // namespace

iconv_t iconv_open(const char* to, const char* from) {
  const UINT to_page = CodePageNamed(to);
  const UINT from_page = CodePageNamed(from);
  if (to_page == 0 || from_page == 0) {
    errno = EINVAL;
    return reinterpret_cast<iconv_t>(-1);
  }
  return new Win32Iconv{to_page, from_page};
}

// Converts the whole input or nothing: enough for the callers here, which hand over whole texts.
size_t iconv(iconv_t cd, char** in, size_t* in_left, char** out, size_t* out_left) {
  const int wide_size = MultiByteToWideChar(cd->from, MB_ERR_INVALID_CHARS, *in,
                                            static_cast<int>(*in_left), nullptr, 0);
  if (wide_size == 0 && *in_left != 0) {
    errno = EILSEQ;
    return static_cast<size_t>(-1);
  }
  std::wstring wide(static_cast<size_t>(wide_size), L'\0');
  MultiByteToWideChar(cd->from, 0, *in, static_cast<int>(*in_left), wide.data(), wide_size);
  BOOL lossy = FALSE;
  const int size = WideCharToMultiByte(cd->to, 0, wide.data(), wide_size, nullptr, 0, nullptr,
                                       cd->to == CP_UTF8 ? nullptr : &lossy);
  if (lossy) {
    errno = EILSEQ;
    return static_cast<size_t>(-1);
  }
  if (static_cast<size_t>(size) > *out_left) {
    errno = E2BIG;
    return static_cast<size_t>(-1);
  }
  WideCharToMultiByte(cd->to, 0, wide.data(), wide_size, *out, size, nullptr, nullptr);
  *in += *in_left;
  *in_left = 0;
  *out += size;
  *out_left -= static_cast<size_t>(size);
  return 0;
}

int iconv_close(iconv_t cd) {
  delete cd;
  return 0;
}
