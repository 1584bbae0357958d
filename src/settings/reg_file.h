// One registry export file as text: its encoding, its lines and the values they define. The
// store (registry.h) finds and changes values through it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillmap {

// How the file's bytes hold its text; a file is written back as it was read.
enum class RegEncoding {
  kUtf8,     // no byte-order mark
  kUtf8Bom,  // UTF-8 after EF BB BF
  kUtf16Le,  // after FF FE, as regedit exports version 5.00
  kCp1252,   // a "REGEDIT4" file without a byte-order mark
};

enum class RegEntryKind {
  kOther,          // the header, a blank line or a comment
  kSection,        // [key path]
  kValue,          // a value with its continuation lines
  kNotUnderstood,  // kept as it is, defines nothing
};

// One logical line of the text. Offsets are into RegFile::text.
struct RegEntry {
  RegEntryKind kind = RegEntryKind::kOther;
  size_t begin = 0;        // first byte
  size_t content_end = 0;  // end of the last line, before its line break
  size_t end = 0;          // after the line break
  size_t data_begin = 0;   // value: where its data starts, after "="
  size_t data_end = 0;     // value: where its data ends (a comment may follow)
  std::string key;         // section: its key path; value: its section's
  std::string name;        // value: "" for "@"
  bool is_string = false;
  std::string string_value;  // when is_string
};

struct RegFile {
  RegEncoding encoding = RegEncoding::kUtf8;
  // UTF-8 without the byte-order mark; a kUtf8 file's bytes are taken as they are, even where
  // they are not valid UTF-8.
  std::string text;
  std::string line_break = "\n";
  std::vector<RegEntry> entries;
  // The number (from 1) of the first line that defines nothing the parser understands; 0 when
  // every line was understood.
  size_t first_not_understood_line = 0;
};

inline constexpr std::string_view kRegHeader = "Windows Registry Editor Version 5.00";
inline constexpr std::string_view kRegedit4Header = "REGEDIT4";

// Decodes and parses `bytes`. An empty text (a file of nothing or of a byte-order mark alone)
// gives no entries. False, with `*why` telling the user why, when the bytes are not a registry
// export: an invalid UTF-16 text or a first line that is no known header.
bool ParseRegFile(std::string_view bytes, RegFile* file, std::string* why);

// `text` in the file's encoding, with its byte-order mark; false when that encoding cannot hold
// the text.
bool EncodeRegText(RegEncoding encoding, std::string_view text, std::string* bytes);

}  // namespace quillmap
