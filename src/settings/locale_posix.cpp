// The user's decimal separator on Linux: the locale that the environment names.
#include <langinfo.h>
#include <locale.h>

#include <string>

#include "settings/number_text.h"

namespace quillmap {

std::string GetDecimalSpecifier() {
  // A locale object of its own, so the process locale stays as it is.
  locale_t user = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0));
  if (user == static_cast<locale_t>(0)) return ".";
  const char* radix = nl_langinfo_l(RADIXCHAR, user);
  std::string separator = radix != nullptr ? radix : "";
  freelocale(user);
  return separator.empty() ? "." : separator;
}

}  // namespace quillmap
