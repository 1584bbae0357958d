// Windows only: UTF-8 <-> UTF-16 for the wide Win32 calls, and Win32 errors as errno values.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace quillmap::win32 {

std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);
// A UTF-8 path for the wide calls: both "/" and "\" separate its parts.
std::wstring WidePath(const std::string& path);
int ErrnoFromWin32(DWORD error);
// Sets errno from GetLastError() and returns -1.
int FailWithLastError();

}  // namespace quillmap::win32
