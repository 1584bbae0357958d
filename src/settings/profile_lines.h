// The one scanner of profile lines: where a line of a file's bytes ends, and what it is (a
// section header, a key line, a comment...) with its name and value. The parse, the lookups and
// the changes of a document all read lines through it, so they cannot disagree about a line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "settings/profile_names.h"

namespace quillmap {

enum class LineKind : uint8_t { kBlank, kComment, kHeader, kKey, kOther };
// CR LF, LF, or a CR alone, which ends a line too (files written on old Macs).
enum class Eol : uint8_t { kNone, kLf, kCrLf, kCr };

inline size_t EolSize(Eol eol) { return eol == Eol::kNone ? 0 : eol == Eol::kCrLf ? 2 : 1; }
std::string_view EolText(Eol eol);
inline bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }

// One line of `bytes` from `pos`: its text without the line ending, and where the next begins.
struct RawLine {
  std::string_view text;
  Eol eol = Eol::kNone;
  size_t next = 0;
};
RawLine NextLine(std::string_view bytes, size_t pos);

// What a line means, found from its text alone: "[name]" after blanks is a header; a line
// starting with ";" a comment; otherwise what stands before the first "=" is a key's name and
// what follows it the value, both without the blanks around them.
struct LineParts {
  LineKind kind = LineKind::kBlank;
  std::string_view name;   // of a section or a key
  std::string_view value;  // of a key
  size_t value_begin = 0;  // where a rewrite puts the new value
};
LineParts SplitLine(std::string_view text);

// Names compared as a document compares them; `b` already trimmed. Inline: lookups call it for
// every line they pass.
inline bool SameTrimmedName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (UpperCp1252(a[i]) != UpperCp1252(b[i])) return false;
  }
  return true;
}

}  // namespace quillmap
