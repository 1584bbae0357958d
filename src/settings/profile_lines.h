// The one scanner of profile lines: where a line of a file's bytes ends, and what it is (a
// section header, a key line, a comment...) with its name and value. The parse, the lookups and
// the changes of a document all read lines through it, so they cannot disagree about a line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
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
// Where the line from `pos` ends: the first CR or LF from there, or the end of the bytes. Eight
// bytes at a time (the usual test for a zero byte, on the bytes' differences from CR and from
// LF) rather than a memchr call per line: lines are short, and the parse and the lookups look
// for the end of every line they pass.
inline size_t FindLineEnd(std::string_view bytes, size_t pos) {
  static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the first byte is the lowest");
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHighBits = 0x8080808080808080ull;
  for (; pos + 8 <= bytes.size(); pos += 8) {
    uint64_t word;
    std::memcpy(&word, bytes.data() + pos, 8);
    const uint64_t lf = word ^ (kOnes * '\n');
    const uint64_t cr = word ^ (kOnes * '\r');
    // The lowest bit set marks the first zero byte of either; bits above it may be false.
    const uint64_t ends = (((lf - kOnes) & ~lf) | ((cr - kOnes) & ~cr)) & kHighBits;
    if (ends != 0) return pos + static_cast<size_t>(__builtin_ctzll(ends) / 8);
  }
  while (pos < bytes.size() && !IsLineEnd(bytes[pos])) ++pos;
  return pos;
}

// Inline, as is SplitLine: the parse and the lookups call them for every line they pass.
inline RawLine NextLine(std::string_view bytes, size_t pos) {
  const size_t end = FindLineEnd(bytes, pos);
  RawLine line;
  line.text = bytes.substr(pos, end - pos);
  if (end == bytes.size()) {
    line.next = end;
  } else if (bytes[end] == '\n') {
    line.eol = Eol::kLf;
    line.next = end + 1;
  } else if (end + 1 < bytes.size() && bytes[end + 1] == '\n') {
    line.eol = Eol::kCrLf;
    line.next = end + 2;
  } else {
    line.eol = Eol::kCr;  // a CR alone
    line.next = end + 1;
  }
  return line;
}

// What a line means, found from its text alone: "[name]" after blanks is a header; a line
// starting with ";" a comment; otherwise what stands before the first "=" is a key's name and
// what follows it the value, both without the blanks around them.
struct LineParts {
  LineKind kind = LineKind::kBlank;
  std::string_view name;   // of a section or a key
  std::string_view value;  // of a key
  size_t value_begin = 0;  // where a rewrite puts the new value
};
inline LineParts SplitLine(std::string_view text) {
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
  size_t equals = i;
  while (equals < text.size() && text[equals] != '=') ++equals;
  if (equals == text.size()) {
    parts.kind = LineKind::kOther;
    return parts;
  }
  size_t name_end = equals;
  while (name_end > i && IsProfileBlank(text[name_end - 1])) --name_end;
  parts.kind = LineKind::kKey;
  parts.name = text.substr(i, name_end - i);
  parts.value = TrimProfileBlanks(text.substr(equals + 1));
  // An empty value keeps blanks after "=" out of the part a rewrite preserves.
  parts.value_begin = parts.value.empty() ? equals + 1 : parts.value.data() - text.data();
  return parts;
}

// Names compared as a document compares them; `b` already trimmed.
inline bool SameTrimmedName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (UpperCp1252(a[i]) != UpperCp1252(b[i])) return false;
  }
  return true;
}

}  // namespace quillmap
