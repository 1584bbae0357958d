// Profile (INI) files: a document read once, read and changed in memory, and written back
// whole (Serialize, then AtomicWriteFile).
// Documents hold Windows-1252 bytes; a file in UTF-8 or UTF-16LE with a byte-order mark is
// converted when it is read and written back in its own encoding.
//
// Reading follows the Windows profile functions: a line "[name]" opens a section; "key=value"
// lines carry values; names match without regard to letter case (Windows-1252 letters
// included); blanks around names, around "=" and at the end of a value are not part of them;
// lines starting with ";", lines without "=", empty lines and lines before the first section
// carry nothing. CR LF, LF and a CR alone each end a line. Every line is kept byte for byte, line
// endings included, until a change touches it; new lines take the line ending of the file's first
// line (CRLF in a new file). A value with leading blanks, and a key that starts with ";", holds
// "=", or starts with "[" and holds "]", cannot be read back, as on Windows; a line break inside a
// value is written as given.
#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "settings/atomic_file.h"
#include "settings/file_encoding.h"
#include "settings/file_system.h"
#include "settings/profile_names.h"

namespace quillmap {

// Untouched sections stay slices of the parsed bytes, so reading a large file costs little
// more than the bytes. Not safe for use from two threads while one of them changes it; a
// moved-from document may only be assigned to or destroyed. Text, once in a document, never
// moves: a view that FindKeys gives stays valid, changes or not, until the document (or the
// one it was moved to) is destroyed or assigned to.
class ProfileDocument {
 public:
  ProfileDocument();
  ~ProfileDocument();
  ProfileDocument(ProfileDocument&&) noexcept;
  ProfileDocument& operator=(ProfileDocument&&) noexcept;
  ProfileDocument(const ProfileDocument&);
  ProfileDocument& operator=(const ProfileDocument&);

  // A file's bytes, in any of the encodings FileEncoding names; Serialize() writes that encoding
  // again. Never fails: any bytes give a document, and Serialize() of an unchanged document
  // gives the same bytes back. Text that DecodeFileText refuses is taken byte for byte, as
  // Windows-1252, and EncodingProblem() says why; a caller about to write should refuse.
  static ProfileDocument Parse(std::string_view bytes);
  // The same, keeping the bytes it is given instead of a copy of them.
  static ProfileDocument ParseOwned(std::string bytes);
  // The same, reading the bytes where they are: they must stay unchanged and in place for as
  // long as the document, or a copy of it, is used. Bytes that need converting are copied.
  static ProfileDocument ParseInPlace(std::string_view bytes);
  std::string Serialize() const;
  // Empty unless the bytes given to Parse are in an encoding that they break (see above).
  const std::string& EncodingProblem() const;

  // Names match without regard to letter case; the first of two same-named sections or keys
  // wins. nullopt when the section or the key is missing.
  std::optional<std::string> Find(std::string_view section, std::string_view key) const;
  std::string Read(std::string_view section, std::string_view key,
                   std::string_view default_value) const;
  bool HasSection(std::string_view section) const;
  // What Find gives for each of the keys, from one lookup of the section and one pass over its
  // lines.
  template <size_t N>
  std::array<std::optional<std::string_view>, N> FindKeys(std::string_view section,
                                                          const std::string_view (&keys)[N]) const {
    std::array<std::string_view, N> trimmed;
    for (size_t k = 0; k < N; ++k) trimmed[k] = TrimProfileBlanks(keys[k]);
    std::array<std::optional<std::string_view>, N> values;
    FindTrimmedKeys(section, trimmed.data(), N, values.data());
    return values;
  }

  // In the first section of that name: replaces an existing key's value where it stands (the
  // key's spelling and the blanks before the value kept; a line whose value does not change is
  // not touched), or adds "key=value" after the section's last line that is neither empty nor a
  // comment, before the empty lines that close it. A missing section is added at the end as
  // "[section]" and the key line, after a line ending for a last line that had none. A value
  // ending in a line break is written as the value, the line ending and one empty line (no
  // second one where an empty line already follows the key).
  void Write(std::string_view section, std::string_view key, std::string_view value);
  // The same as Write(section, entry.key, entry.value) for each entry in turn; a section that
  // is not there yet is made in one step.
  struct KeyValue {
    std::string_view key;
    std::string_view value;
  };
  void WriteKeys(std::string_view section, std::initializer_list<KeyValue> entries);
  // Removes the first section of that name with all its lines, up to the next section header
  // (its comments and empty lines included); no-op when missing.
  void DeleteSection(std::string_view section);
  // Removes the key's line from the first section of that name; no-op when missing.
  void DeleteKey(std::string_view section, std::string_view key);

 private:
  void FindTrimmedKeys(std::string_view section, const std::string_view* keys, size_t count,
                       std::optional<std::string_view>* values) const;
  // Finds the sections of the parsed bytes, for the parse functions.
  void IndexSections();

  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Reads the file: a missing file is an empty document with exists == false. Returns false
// only when the file exists but cannot be read; throws Error(kErrFileRead) naming the file when
// it has an EncodingProblem(). `snapshot` may be null.
bool LoadProfile(const std::string& path, ProfileDocument* doc, FileSnapshot* snapshot,
                 FileSystem& fs = RealFileSystem());

}  // namespace quillmap
