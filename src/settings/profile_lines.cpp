#include "settings/profile_lines.h"

namespace quillmap {

std::string_view EolText(Eol eol) {
  return eol == Eol::kCrLf ? "\r\n" : eol == Eol::kLf ? "\n" : eol == Eol::kCr ? "\r" : "";
}

}  // namespace quillmap
