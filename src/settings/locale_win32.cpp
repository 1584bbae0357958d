// The user's decimal separator on Windows: the regional settings of the user's account.
#include <windows.h>

#include <string>

#include "settings/number_text.h"
#include "settings/win32_text.h"

namespace quillmap {

std::string GetDecimalSpecifier() {
  wchar_t separator[8];
  const int size = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8);
  // The size counts the closing NUL.
  if (size <= 1) return ".";
  return win32::Utf8FromWide(std::wstring_view(separator, static_cast<size_t>(size - 1)));
}

}  // namespace quillmap
