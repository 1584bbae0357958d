// <pwd.h> on Windows: the account's name through posix_compat_win32.h.
#pragma once
#include "settings/posix_compat_win32.h"
