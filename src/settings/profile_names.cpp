#include "settings/profile_names.h"

#include <algorithm>

#include "settings/cp1252.h"

namespace quillmap {

std::string UpperCp1252(std::string_view bytes) {
  std::string upper(bytes);
  for (char& c : upper) c = UpperCp1252(c);
  return upper;
}

bool SameProfileName(std::string_view a, std::string_view b) {
  a = TrimProfileBlanks(a);
  b = TrimProfileBlanks(b);
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (UpperCp1252(a[i]) != UpperCp1252(b[i])) return false;
  }
  return true;
}

void FoldProfileName(std::string_view name, std::string* out) {
  out->assign(TrimProfileBlanks(name));
  for (char& c : *out) c = UpperCp1252(c);
}

std::string UpperUtf8(std::string_view text) {
  std::string upper;
  upper.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = 1;
    if (lead >= 0xC0)
      length = std::min<size_t>(lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2, text.size() - i);
    std::string byte;
    if (Utf8ToCp1252(text.substr(i, length), &byte)) {
      upper += Cp1252ToUtf8(std::string(1, UpperCp1252(byte[0])));
    } else {
      length = 1;  // not a character Windows-1252 holds: the byte passes, the rest is looked at
      upper += text[i];
    }
    i += length;
  }
  return upper;
}

}  // namespace quillmap
