#include "settings/registry.h"

#include <errno.h>
#include <sys/stat.h>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "settings/atomic_file.h"
#include "settings/error.h"
#include "settings/file_lock.h"
#include "settings/file_system.h"
#include "settings/reg_file.h"

namespace quillmap {
namespace {

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

bool KeyMatches(const RegEntry& entry, std::string_view key_path) {
  return SameIgnoringCase(WithoutClosingBackslashes(entry.key), key_path);
}

// The entry that a read of the value sees: the last definition in any section of the key.
const RegEntry* FindValue(const RegFile& file, std::string_view key_path,
                          std::string_view value_name) {
  const RegEntry* found = nullptr;
  for (const RegEntry& entry : file.entries) {
    if (entry.kind == RegEntryKind::kValue && KeyMatches(entry, key_path) &&
        SameIgnoringCase(entry.name, value_name)) {
      found = &entry;
    }
  }
  return found;
}

// The last line of the key's last section: its last value, or its header.
const RegEntry* FindInsertionPoint(const RegFile& file, std::string_view key_path) {
  const RegEntry* point = nullptr;
  for (const RegEntry& entry : file.entries) {
    if ((entry.kind == RegEntryKind::kSection || entry.kind == RegEntryKind::kValue) &&
        KeyMatches(entry, key_path)) {
      point = &entry;
    }
  }
  return point;
}

// mkdir -p for the folders above `path`.
bool MakeParentFolders(const std::string& path) {
  FileSystem& fs = RealFileSystem();
  for (size_t slash = path.find_first_of(kPathSeparators, 1); slash != std::string::npos;
       slash = path.find_first_of(kPathSeparators, slash + 1)) {
    const std::string folder = path.substr(0, slash);
    struct stat info;
    if (fs.Stat(folder, &info) == 0 && S_ISDIR(info.st_mode)) continue;
    if (fs.Mkdir(folder, 0777) != 0 && errno != EEXIST) return false;
  }
  return true;
}

// A store is shared like the region file: a writer holds its lock, and a reader that meets an
// interrupted save of it takes the lock to finish that save first.
std::unique_ptr<FileLock> LockStore(const std::string& path, bool writer) {
  const bool recover = writer || HasInterruptedWriteRecord(path);
  auto lock = std::make_unique<FileLock>(path, recover ? LockKind::kExclusive : LockKind::kShared);
  if (recover && lock->Locked()) RecoverInterruptedWrite(path);
  return lock;
}

}  // namespace

std::string JoinPath(const std::string& folder, const char* file) {
  if (!folder.empty() &&
      std::string_view(kPathSeparators).find(folder.back()) != std::string::npos) {
    return folder + file;
  }
  return folder + "/" + file;
}

RegistryStore::RegistryStore(const std::string& folder_for_both)
    : RegistryStore(JoinPath(folder_for_both, "HKEY_LOCAL_MACHINE.reg"),
                    JoinPath(folder_for_both, "HKEY_CURRENT_USER.reg")) {}

RegistryStore::RegistryStore(std::string local_machine_path, std::string current_user_path)
    : local_machine_path_(std::move(local_machine_path)),
      current_user_path_(std::move(current_user_path)) {
  TellProblemsTo([](const std::string& text) { std::cerr << text << '\n'; });
}

RegistryStore RegistryStore::FromEnvironment() {
  const char* folder = std::getenv("QUILLMAP_REGISTRY");
  if (folder != nullptr && *folder != '\0') return RegistryStore(std::string(folder));
  return PlatformRegistryStore();
}

RegistryStore RegistryStore::Native() {
  RegistryStore store("", "");
  store.native_ = true;
  return store;
}

const std::string& RegistryStore::FilePath(RegistryRoot root) const {
  return root == RegistryRoot::kLocalMachine ? local_machine_path_ : current_user_path_;
}

void RegistryStore::TellProblemsTo(std::function<void(const std::string& text)> handler) {
  problems_ = std::make_shared<Problems>();
  problems_->handler = std::move(handler);
}

void RegistryStore::TellProblem(const std::string& path, const std::string& text) const {
  if (problems_->told_paths.insert(path).second) problems_->handler(text);
}

std::string ReadRegistryString(const RegistryStore& store, RegistryRoot root,
                               std::string_view sub_key, std::string_view value_name,
                               std::string_view default_value) {
  if (store.IsNative()) return ReadNativeRegistryString(root, sub_key, value_name, default_value);
  const std::string& path = store.FilePath(root);
  const std::unique_ptr<FileLock> lock = LockStore(path, false);
  FileSnapshot snapshot;
  RegFile file;
  std::string why;
  if (!ReadFileSnapshot(path, &snapshot)) {
    store.TellProblem(path, "Unable to read " + path + ": its settings are not used.");
    return std::string(default_value);
  }
  if (!snapshot.exists) return std::string(default_value);
  if (!ParseRegFile(snapshot.bytes, &file, &why)) {
    store.TellProblem(path, path + " " + why + ": its settings are not used.");
    return std::string(default_value);
  }
  if (file.first_not_understood_line != 0) {
    store.TellProblem(path, "Some lines of " + path + " could not be read (the first is line " +
                                std::to_string(file.first_not_understood_line) +
                                "): the settings of its other lines are used, and those lines "
                                "are kept as they are.");
  }
  const RegEntry* value = FindValue(file, KeyPath(root, sub_key), value_name);
  if (value == nullptr || !value->is_string) return std::string(default_value);
  return value->string_value.substr(0, value->string_value.find('\0'));
}

void WriteRegistryString(const RegistryStore& store, RegistryRoot root, std::string_view sub_key,
                         std::string_view value_name, std::string_view value) {
  if (store.IsNative()) return WriteNativeRegistryString(root, sub_key, value_name, value);
  const std::string& path = store.FilePath(root);
  const auto fail = [&](const std::string& why) {
    throw Error(kErrFileAccess,
                "Unable to write " +
                    (value_name.empty() ? std::string("@") : std::string(value_name)) + " to " +
                    path + ": " + why);
  };
  value = value.substr(0, value.find('\0'));
  for (std::string_view text : {sub_key, value_name, value}) {
    if (text.find_first_of("\r\n") != std::string_view::npos) fail("a line break cannot be stored");
  }
  const std::unique_ptr<FileLock> lock = LockStore(path, true);
  if (lock->Outcome() == LockOutcome::kBusy) fail("another program is changing the file");
  FileSnapshot snapshot;
  if (!ReadFileSnapshot(path, &snapshot)) fail("the file cannot be read");
  RegFile file;
  std::string why;
  if (!ParseRegFile(snapshot.bytes, &file, &why)) fail("the file " + why);
  // An empty file has nothing to keep: it is started like a new one.
  std::string& text = file.text;
  if (file.entries.empty()) {
    const RegEncoding encoding = file.encoding;
    ParseRegFile(std::string(kRegHeader) + std::string(kNewFileLineBreak), &file, &why);
    file.encoding = encoding;
  }
  const std::string& line_break = file.line_break;
  const std::string key_path = KeyPath(root, sub_key);
  const std::string data = Quote(value);

  if (const RegEntry* old = FindValue(file, key_path, value_name)) {
    // Keeps the name as the file spells it, and a comment after the data; continuation lines
    // of the old data go with it.
    text.replace(old->data_begin, old->data_end - old->data_begin, data);
  } else {
    const std::string line =
        (value_name.empty() ? std::string("@") : Quote(value_name)) + "=" + data;
    if (const RegEntry* point = FindInsertionPoint(file, key_path)) {
      const bool has_break = point->end > point->content_end;
      text.insert(point->end, has_break ? line + line_break : line_break + line + line_break);
    } else {
      if (!text.empty() && text.back() != '\n') text += line_break;
      const RegEntry& last = file.entries.back();
      if (!Trim(std::string_view(text).substr(last.begin, last.content_end - last.begin)).empty()) {
        text += line_break;  // a blank line before the key
      }
      text += "[" + key_path + "]" + line_break + line + line_break;
    }
  }
  std::string bytes;
  if (!EncodeRegText(file.encoding, text, &bytes)) {
    fail("the file's encoding cannot hold the text");
  }
  if (!snapshot.exists && !MakeParentFolders(path)) fail("its folder cannot be made");
  const WriteResult result = AtomicWriteFile(path, bytes, &snapshot);
  if (result == WriteResult::kChangedOnDisk) fail("another program changed the file meanwhile");
  if (result != WriteResult::kOk) fail("the file cannot be replaced");
}

}  // namespace quillmap
