#include "settings/registry.h"

#include <errno.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "settings/atomic_file.h"

namespace quillmap {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
// A new file gets Unix line breaks; an existing file keeps its own.
constexpr std::string_view kNewFileLineBreak = "\n";

const char* RootName(RegistryRoot root) {
  return root == RegistryRoot::kLocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

std::string_view WithoutClosingBackslashes(std::string_view key) {
  while (!key.empty() && key.back() == '\\') key.remove_suffix(1);
  return key;
}

std::string KeyPath(RegistryRoot root, std::string_view sub_key) {
  std::string path = RootName(root);
  sub_key = WithoutClosingBackslashes(sub_key);
  if (!sub_key.empty()) {
    path += '\\';
    path += sub_key;
  }
  return path;
}

std::string Quote(std::string_view text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

// Reads a quoted string starting at text[*pos] == '"'; only \\ and \" are escapes.
bool ParseQuoted(std::string_view text, size_t* pos, std::string* out) {
  out->clear();
  for (size_t i = *pos + 1; i < text.size(); ++i) {
    if (text[i] == '"') {
      *pos = i + 1;
      return true;
    }
    if (text[i] == '\\') {
      if (i + 1 >= text.size() || (text[i + 1] != '\\' && text[i + 1] != '"')) return false;
      ++i;
    }
    *out += text[i];
  }
  return false;
}

bool IsTypeCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '(' ||
         c == ')';
}

enum class EntryKind { kOther, kSection, kValue };

// One logical line of the file: a header, blank or comment line, a section, or a value with
// its continuation lines.
struct Entry {
  EntryKind kind = EntryKind::kOther;
  size_t begin = 0;        // first byte
  size_t content_end = 0;  // end of the last line, before its line break
  size_t end = 0;          // after the line break
  size_t name_end = 0;     // value: just after the name as written
  std::string key;         // section: its key path; value: its section's
  std::string name;        // value: "" for "@"
  bool is_string = false;
  std::string text;  // the string, when is_string
};

struct RegFile {
  std::vector<Entry> entries;
  std::string line_break;
};

// Parses a value line's text (line break excluded); `*continued` tells that the data goes on
// in the next line.
bool ParseValueLine(std::string_view line, size_t offset, Entry* entry, bool* continued) {
  size_t pos = 0;
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  if (line[pos] == '@') {
    entry->name.clear();
    ++pos;
  } else if (!ParseQuoted(line, &pos, &entry->name)) {
    return false;
  }
  entry->name_end = offset + pos;
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  if (pos >= line.size() || line[pos] != '=') return false;
  ++pos;
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  *continued = false;
  if (pos < line.size() && line[pos] == '"') {
    if (!ParseQuoted(line, &pos, &entry->text)) return false;
    entry->is_string = true;
    return Trim(line.substr(pos)).empty();
  }
  const std::string_view data = Trim(line.substr(pos));
  if (data == "-") return true;  // a deletion mark: no string
  size_t type_end = 0;
  while (type_end < data.size() && IsTypeCharacter(data[type_end])) ++type_end;
  if (type_end == 0 || type_end >= data.size() || data[type_end] != ':') return false;
  *continued = data.back() == '\\';
  return true;
}

// False when the text is not a registry export as this store writes and reads it.
bool ParseRegFile(std::string_view bytes, RegFile* file) {
  const size_t first_break = bytes.find('\n');
  file->line_break =
      (first_break != std::string_view::npos && first_break > 0 && bytes[first_break - 1] == '\r')
          ? "\r\n"
          : (first_break != std::string_view::npos ? "\n" : kNewFileLineBreak);
  std::string current_key;
  bool in_section = false;
  bool continuing = false;
  size_t pos = bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom ? kUtf8Bom.size() : 0;
  bool first = true;
  while (pos < bytes.size()) {
    const size_t newline = bytes.find('\n', pos);
    const size_t end = newline == std::string_view::npos ? bytes.size() : newline + 1;
    size_t content_end = newline == std::string_view::npos ? bytes.size() : newline;
    if (content_end > pos && bytes[content_end - 1] == '\r') --content_end;
    const std::string_view line = bytes.substr(pos, content_end - pos);
    const std::string_view trimmed = Trim(line);

    if (continuing) {
      Entry& value = file->entries.back();
      value.content_end = content_end;
      value.end = end;
      continuing = !trimmed.empty() && trimmed.back() == '\\';
      pos = end;
      continue;
    }
    Entry entry;
    entry.begin = pos;
    entry.content_end = content_end;
    entry.end = end;
    if (first) {
      if (trimmed != kHeader) return false;
      first = false;
    } else if (trimmed.empty() || trimmed.front() == ';') {
      // blank line or comment
    } else if (trimmed.front() == '[') {
      if (trimmed.size() < 2 || trimmed.back() != ']') return false;
      entry.kind = EntryKind::kSection;
      current_key = std::string(trimmed.substr(1, trimmed.size() - 2));
      entry.key = current_key;
      in_section = true;
    } else {
      if (!in_section) return false;
      entry.kind = EntryKind::kValue;
      entry.key = current_key;
      if (!ParseValueLine(line, pos, &entry, &continuing)) return false;
    }
    file->entries.push_back(std::move(entry));
    pos = end;
  }
  return !first && !continuing;
}

bool KeyMatches(const Entry& entry, std::string_view key_path) {
  return SameIgnoringCase(WithoutClosingBackslashes(entry.key), key_path);
}

// The entry that a read of the value sees: the last definition in any section of the key.
const Entry* FindValue(const RegFile& file, std::string_view key_path,
                       std::string_view value_name) {
  const Entry* found = nullptr;
  for (const Entry& entry : file.entries) {
    if (entry.kind == EntryKind::kValue && KeyMatches(entry, key_path) &&
        SameIgnoringCase(entry.name, value_name)) {
      found = &entry;
    }
  }
  return found;
}

// The last line of the key's last section: its last value, or its header.
const Entry* FindInsertionPoint(const RegFile& file, std::string_view key_path) {
  const Entry* point = nullptr;
  for (const Entry& entry : file.entries) {
    if (entry.kind != EntryKind::kOther && KeyMatches(entry, key_path)) point = &entry;
  }
  return point;
}

// mkdir -p for the folders above `path`.
bool MakeParentFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    struct stat info;
    if (stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) continue;
    if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  return true;
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return home;
  const passwd* user = getpwuid(getuid());
  return user != nullptr && user->pw_dir != nullptr ? user->pw_dir : "";
}

std::string JoinPath(const std::string& folder, const char* file) {
  if (!folder.empty() && folder.back() == '/') return folder + file;
  return folder + "/" + file;
}

}  // namespace

RegistryStore::RegistryStore(const std::string& folder_for_both)
    : local_machine_path_(JoinPath(folder_for_both, "HKEY_LOCAL_MACHINE.reg")),
      current_user_path_(JoinPath(folder_for_both, "HKEY_CURRENT_USER.reg")) {}

RegistryStore::RegistryStore(std::string local_machine_path, std::string current_user_path)
    : local_machine_path_(std::move(local_machine_path)),
      current_user_path_(std::move(current_user_path)) {}

RegistryStore RegistryStore::FromEnvironment() {
  const char* folder = std::getenv("QUILLMAP_REGISTRY");
  if (folder != nullptr && *folder != '\0') return RegistryStore(std::string(folder));
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const std::string config_folder =
      config != nullptr && config[0] == '/' ? std::string(config) : HomeFolder() + "/.config";
  return RegistryStore("/etc/velmora/HKEY_LOCAL_MACHINE.reg",
                       JoinPath(config_folder, "velmora/HKEY_CURRENT_USER.reg"));
}

const std::string& RegistryStore::FilePath(RegistryRoot root) const {
  return root == RegistryRoot::kLocalMachine ? local_machine_path_ : current_user_path_;
}

std::string ReadRegistryString(const RegistryStore& store, RegistryRoot root,
                               std::string_view sub_key, std::string_view value_name,
                               std::string_view default_value) {
  const std::string& path = store.FilePath(root);
  RecoverInterruptedWrite(path);
  FileSnapshot snapshot;
  RegFile file;
  if (!ReadFileSnapshot(path, &snapshot) || !snapshot.exists ||
      !ParseRegFile(snapshot.bytes, &file)) {
    return std::string(default_value);
  }
  const Entry* value = FindValue(file, KeyPath(root, sub_key), value_name);
  if (value == nullptr || !value->is_string) return std::string(default_value);
  return value->text.substr(0, value->text.find('\0'));
}

void WriteRegistryString(const RegistryStore& store, RegistryRoot root, std::string_view sub_key,
                         std::string_view value_name, std::string_view value) {
  value = value.substr(0, value.find('\0'));
  for (std::string_view text : {sub_key, value_name, value}) {
    if (text.find_first_of("\r\n") != std::string_view::npos) return;
  }
  const std::string& path = store.FilePath(root);
  RecoverInterruptedWrite(path);
  FileSnapshot snapshot;
  if (!ReadFileSnapshot(path, &snapshot)) return;
  // An empty file has nothing to keep: it is started like a new one.
  std::string bytes = snapshot.bytes.empty() ? std::string(kHeader) + std::string(kNewFileLineBreak)
                                             : snapshot.bytes;
  RegFile file;
  if (!ParseRegFile(bytes, &file)) return;
  const std::string& line_break = file.line_break;
  const std::string key_path = KeyPath(root, sub_key);
  const std::string data = Quote(value);

  if (const Entry* old = FindValue(file, key_path, value_name)) {
    // Keeps the name as the file spells it; continuation lines of the old data go with it.
    const std::string line = bytes.substr(old->begin, old->name_end - old->begin) + "=" + data;
    const std::string old_break = bytes.substr(old->content_end, old->end - old->content_end);
    bytes.replace(old->begin, old->end - old->begin, line + old_break);
  } else {
    const std::string line =
        (value_name.empty() ? std::string("@") : Quote(value_name)) + "=" + data;
    if (const Entry* point = FindInsertionPoint(file, key_path)) {
      const bool has_break = point->end > point->content_end;
      bytes.insert(point->end, has_break ? line + line_break : line_break + line + line_break);
    } else {
      if (!bytes.empty() && bytes.back() != '\n') bytes += line_break;
      const Entry& last = file.entries.back();
      if (!Trim(std::string_view(bytes).substr(last.begin, last.content_end - last.begin))
               .empty()) {
        bytes += line_break;  // a blank line before the key
      }
      bytes += "[" + key_path + "]" + line_break + line + line_break;
    }
  }
  if (!snapshot.exists && !MakeParentFolders(path)) return;
  AtomicWriteFile(path, bytes, &snapshot);
}

}  // namespace quillmap
