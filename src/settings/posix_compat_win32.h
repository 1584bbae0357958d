// The POSIX names that the core and its tests are written against, on Windows: the types and
// constants that mingw-w64 lacks, and the calls, implemented over Win32 in
// posix_compat_win32.cpp. Included ahead of every source file of the Windows build, so no file
// of the core needs a platform branch. File names are UTF-8 throughout.
#pragma once

#ifdef __cplusplus

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <ctime>

typedef unsigned int uid_t;
typedef unsigned int gid_t;

// A byte-range lock record, as fcntl(2) takes it.
struct flock {
  short l_type;
  short l_whence;
  off_t l_start;
  off_t l_len;
  pid_t l_pid;
};

#define F_RDLCK 0
#define F_WRLCK 1
#define F_UNLCK 2
#define F_OFD_GETLK 36
#define F_OFD_SETLK 37
#define F_OFD_SETLKW 38

// Windows handles are not inherited by default, never make a terminal the controlling one and
// never block on open; it has no symbolic links that the writers could follow unawares.
#define O_CLOEXEC 0
#define O_NOCTTY 0
#define O_NONBLOCK 0
#define O_NOFOLLOW 0
#define O_DIRECTORY 0x40000000

#ifndef S_IFLNK
#define S_IFLNK 0120000
#endif
#ifndef S_ISLNK
#define S_ISLNK(m) (((m)&S_IFMT) == S_IFLNK)
#endif

struct passwd {
  char* pw_name;
  char* pw_dir;
};

uid_t getuid();
uid_t geteuid();
gid_t getegid();
int fsync(int fd);
int fchmod(int fd, mode_t mode);
int fchown(int fd, uid_t owner, gid_t group);
int lstat(const char* path, struct stat* out);
ssize_t readlink(const char* path, char* buffer, size_t size);
int link(const char* from, const char* to);
char* realpath(const char* path, char* resolved);
int fcntl(int fd, int command, struct flock* lock);
int getpwuid_r(uid_t uid, struct passwd* entry, char* buffer, size_t size, struct passwd** found);
passwd* getpwuid(uid_t uid);
int gethostname(char* name, size_t size);
int setenv(const char* name, const char* value, int overwrite);
int unsetenv(const char* name);
char* mkdtemp(char* name_template);
// mkdir(2) with a mode, which Windows folders do not keep.
int mkdir(const char* path, mode_t mode);
int symlink(const char* target, const char* path);
int chown(const char* path, uid_t owner, gid_t group);
// Windows has no fork, FIFOs or wait statuses: these fail with ENOSYS, and the tests that need
// them are left out of the Windows test run.
pid_t fork();
pid_t waitpid(pid_t pid, int* status, int options);
int mkfifo(const char* path, mode_t mode);
// Windows reads the decimal separator from the user's regional settings, not from a locale the
// environment names: there are no such locale objects to make.
typedef struct Win32Locale* locale_t;
#define LC_NUMERIC_MASK 0
locale_t newlocale(int category_mask, const char* name, locale_t base);
void freelocale(locale_t locale);
#define WIFEXITED(status) (((status)&0x7f) == 0)
#define WEXITSTATUS(status) (((status) >> 8) & 0xff)
#ifndef SIGXFSZ
#define SIGXFSZ 25
#endif

#ifndef PATH_MAX
#define PATH_MAX 4096
#endif

#endif  // __cplusplus
