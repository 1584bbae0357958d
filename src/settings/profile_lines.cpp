#include "settings/profile_lines.h"

#include <cstring>

namespace quillmap {

std::string_view EolText(Eol eol) {
  return eol == Eol::kCrLf ? "\r\n" : eol == Eol::kLf ? "\n" : eol == Eol::kCr ? "\r" : "";
}

RawLine NextLine(std::string_view bytes, size_t pos) {
  RawLine line;
  const void* feed = std::memchr(bytes.data() + pos, '\n', bytes.size() - pos);
  const size_t end = feed == nullptr ? bytes.size() : static_cast<const char*>(feed) - bytes.data();
  // A CR before the line feed ends the line there, unless it is the CR of a CR LF.
  const void* cr = std::memchr(bytes.data() + pos, '\r', end - pos);
  if (cr != nullptr) {
    const size_t at = static_cast<const char*>(cr) - bytes.data();
    line.text = bytes.substr(pos, at - pos);
    if (at + 1 != end || feed == nullptr) {
      line.eol = Eol::kCr;
      line.next = at + 1;
    } else {
      line.eol = Eol::kCrLf;
      line.next = end + 1;
    }
    return line;
  }
  line.text = bytes.substr(pos, end - pos);
  line.eol = feed == nullptr ? Eol::kNone : Eol::kLf;
  line.next = feed == nullptr ? bytes.size() : end + 1;
  return line;
}

LineParts SplitLine(std::string_view text) {
  LineParts parts;
  size_t i = 0;
  while (i < text.size() && IsProfileBlank(text[i])) ++i;
  if (i == text.size()) return parts;
  if (text[i] == ';') {
    parts.kind = LineKind::kComment;
    return parts;
  }
  if (text[i] == '[') {
    const size_t close = text.rfind(']');
    if (close != std::string_view::npos && close > i) {
      parts.kind = LineKind::kHeader;
      parts.name = TrimProfileBlanks(text.substr(i + 1, close - i - 1));
      return parts;
    }
  }
  const void* found = std::memchr(text.data() + i, '=', text.size() - i);
  if (found == nullptr) {
    parts.kind = LineKind::kOther;
    return parts;
  }
  const size_t equals = static_cast<const char*>(found) - text.data();
  size_t name_end = equals;
  while (name_end > i && IsProfileBlank(text[name_end - 1])) --name_end;
  parts.kind = LineKind::kKey;
  parts.name = text.substr(i, name_end - i);
  parts.value = TrimProfileBlanks(text.substr(equals + 1));
  // An empty value keeps blanks after "=" out of the part a rewrite preserves.
  parts.value_begin = parts.value.empty() ? equals + 1 : parts.value.data() - text.data();
  return parts;
}

}  // namespace quillmap
