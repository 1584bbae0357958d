// <sys/resource.h> on Windows, which has no per-process file size limit: setrlimit fails with
// ENOSYS, and the tests that need it are left out of the Windows test run.
#pragma once
#include "settings/posix_compat_win32.h"

typedef unsigned long long rlim_t;
struct rlimit {
  rlim_t rlim_cur;
  rlim_t rlim_max;
};
#define RLIMIT_FSIZE 1
int setrlimit(int resource, const struct rlimit* limit);
