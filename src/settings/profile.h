// Profile (INI) files: a document read once, read and changed in memory, committed in one
// atomic write; and the single-call ReadProfileString / WriteProfileString built on it.
// Bytes are Windows-1252 as in the file; no conversion happens here.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "settings/atomic_file.h"
#include "settings/file_system.h"

namespace quillmap {

class ProfileDocument {
 public:
  ProfileDocument();
  ~ProfileDocument();
  ProfileDocument(ProfileDocument&&) noexcept;
  ProfileDocument& operator=(ProfileDocument&&) noexcept;
  ProfileDocument(const ProfileDocument&);
  ProfileDocument& operator=(const ProfileDocument&);

  // Never fails: any bytes give a document, and Serialize() of an unchanged document gives
  // the same bytes back.
  static ProfileDocument Parse(std::string_view bytes);
  std::string Serialize() const;

  // Names match without regard to letter case; the first of two same-named sections or keys
  // wins. nullopt when the section or the key is missing.
  std::optional<std::string> Find(std::string_view section, std::string_view key) const;
  std::string Read(std::string_view section, std::string_view key,
                   std::string_view default_value) const;
  bool HasSection(std::string_view section) const;

  // Replaces an existing key's line where it stands, or adds the key after the section's last
  // key line, or adds the section at the end. A value ending in a line break is written as the
  // value, the line ending and one empty line (no second one where an empty line already
  // follows the key).
  void Write(std::string_view section, std::string_view key, std::string_view value);
  // Removes the first section of that name with all its lines; no-op when missing.
  void DeleteSection(std::string_view section);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Reads the file: a missing file is an empty document with exists == false. Returns false
// only when the file exists but cannot be read.
bool LoadProfile(const std::string& path, ProfileDocument* doc, FileSnapshot* snapshot,
                 FileSystem& fs = RealFileSystem());

// Writes the document atomically. With `expected`, the file is first compared with it and left
// alone when it differs.
WriteResult CommitProfile(const std::string& path, const ProfileDocument& doc,
                          const FileSnapshot* expected = nullptr,
                          FileSystem& fs = RealFileSystem());

std::string ReadProfileString(std::string_view section, std::string_view key,
                              std::string_view default_value, const std::string& file_name);
// A null key (and value) deletes the whole section.
bool WriteProfileString(std::string_view section, const std::optional<std::string>& key,
                        const std::optional<std::string>& value, const std::string& file_name,
                        FileSystem& fs = RealFileSystem());

}  // namespace quillmap
