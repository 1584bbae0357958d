// <sys/wait.h> on Windows, where there are no child processes to wait for in the POSIX sense.
#pragma once
#include "settings/posix_compat_win32.h"
