#include "settings/interrupted_write.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>

#include "settings/atomic_file.h"
#include "settings/file_steps.h"

namespace quillmap {

namespace {

using file_steps::Join;
using file_steps::TempFile;

constexpr std::string_view kMagic = "Quillmap interrupted write 1\n";

struct Record {
  WriterIdentity writer;
  std::string_view old_bytes;
  std::string_view new_bytes;
};

std::string Serialize(std::string_view old, std::string_view bytes) {
  std::string text(kMagic);
  text += SerializeWriter(CurrentWriter());
  text += std::to_string(old.size()) + "\n" + std::to_string(bytes.size()) + "\n";
  text.append(old);
  text.append(bytes);
  return text;
}

bool ParseSize(std::string_view* text, size_t* size) {
  const size_t end = text->find('\n');
  if (end == std::string_view::npos || end == 0 || end > 18) return false;
  size_t value = 0;
  for (const char c : text->substr(0, end)) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<size_t>(c - '0');
  }
  *size = value;
  text->remove_prefix(end + 1);
  return true;
}

bool Parse(std::string_view text, Record* record) {
  if (text.substr(0, kMagic.size()) != kMagic) return false;
  text.remove_prefix(kMagic.size());
  size_t old_size = 0, new_size = 0;
  if (!ParseWriter(text, &record->writer, &text) || !ParseSize(&text, &old_size) ||
      !ParseSize(&text, &new_size) || text.size() != old_size + new_size) {
    return false;
  }
  record->old_bytes = text.substr(0, old_size);
  record->new_bytes = text.substr(old_size);
  return true;
}

// What an in-place rewrite from `old` to `bytes` leaves when it is cut short: the new content
// written from the start over the old, and perhaps not yet truncated.
bool IsCutShortRewrite(std::string_view current, std::string_view old, std::string_view bytes) {
  size_t common = 0;
  const size_t limit = std::min(current.size(), bytes.size());
  while (common < limit && current[common] == bytes[common]) ++common;
  if (current.size() == old.size() && common < old.size()) {
    return current.substr(common) == old.substr(common);
  }
  return common == current.size() && current.size() >= old.size();
}

std::string BesidePath(const std::string& target) {
  return Join(FolderOf(target), "." + NameOf(target).substr(0, 200) + ".quillmap-journal");
}

std::string StatePath(FileSystem& fs, const std::string& target) {
  return Join(UserStateFolder(), PathHash(CanonicalPath(target, fs)) + "-" +
                                     NameOf(target).substr(0, 100) + ".journal");
}

bool WriteRecordIn(FileSystem& fs, const std::string& folder, const std::string& path,
                   const std::string& text, mode_t mode) {
  TempFile temp(fs);
  if (!temp.Create(folder, NameOf(path), mode)) return false;
  if (!temp.WriteAndSync(text) || fs.Rename(temp.path(), path) != 0) return false;
  temp.Release();
  if (!file_steps::SyncFolder(fs, folder)) {
    fs.Unlink(path);
    return false;
  }
  return true;
}

// Reads the first record that exists; `path` gets where it was.
bool ReadRecord(FileSystem& fs, const std::string& target, FileSnapshot* text, std::string* path) {
  for (const std::string& candidate : InterruptedWriteRecordPaths(target, fs)) {
    if (!ReadFileSnapshot(candidate, text, fs) || !text->exists) continue;
    *path = candidate;
    return true;
  }
  return false;
}

InterruptedWrite Meet(FileSystem& fs, const std::string& path, bool may_recover) {
  std::string target;
  if (!file_steps::ResolveTarget(fs, path, &target)) return {};
  FileSnapshot text;
  Record record;
  std::string record_path;
  InterruptedWrite met;
  // Each pass settles one record; there are two places at most.
  for (int pass = 0; pass < 2 && ReadRecord(fs, target, &text, &record_path); ++pass) {
    const bool valid = Parse(text.bytes, &record);
    FileSnapshot current;
    if (!valid || !ReadFileSnapshot(target, &current, fs)) {
      if (!may_recover) break;
      DropInterruptedWriteRecord(fs, record_path);
      continue;
    }
    const bool settled =
        current.exists && (current.bytes == record.new_bytes || current.bytes == record.old_bytes);
    const bool cut_short = current.exists && !settled &&
                           IsCutShortRewrite(current.bytes, record.old_bytes, record.new_bytes);
    if (!may_recover) {
      if (cut_short) met = {InterruptedWrite::Outcome::kHalfWritten, record.writer};
      break;
    }
    if (cut_short) {
      if (file_steps::RewriteFile(fs, target, record.new_bytes) != file_steps::Rewrite::kDone) {
        return {InterruptedWrite::Outcome::kHalfWritten, record.writer};
      }
      met = {InterruptedWrite::Outcome::kFinished, record.writer};
    } else if (!settled) {
      met = {InterruptedWrite::Outcome::kLeftAlone, record.writer};
    }
    DropInterruptedWriteRecord(fs, record_path);
  }
  return met;
}

void RemoveTemporaryFilesOf(FileSystem& fs, const std::string& folder, const std::string& name) {
  const std::string prefix = file_steps::TemporaryPrefix(name);
  std::vector<std::string> names;
  if (fs.ListFolder(folder, &names) != 0) return;
  for (const std::string& found : names) {
    if (found.size() != prefix.size() + 8 || found.compare(0, prefix.size(), prefix) != 0 ||
        found.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789",
                                prefix.size()) != std::string::npos) {
      continue;
    }
    // Its writer holds a write lock on it for as long as it lives; this read lock, held while
    // the file is removed, keeps a writer from taking it up meanwhile.
    const std::string path = Join(folder, found);
    const int fd = fs.Open(path, O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK, 0);
    if (fd < 0) continue;
    struct flock lock {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    struct stat held, named;
    if (fs.LockControl(fd, F_OFD_SETLK, &lock) == 0 && fs.Fstat(fd, &held) == 0 &&
        S_ISREG(held.st_mode) && fs.Lstat(path, &named) == 0 &&
        file_steps::SameInode(held, named)) {
      fs.Unlink(path);
    }
    fs.Close(fd);
  }
}

}  // namespace

bool WriteInterruptedWriteRecord(FileSystem& fs, const std::string& target, std::string_view old,
                                 std::string_view bytes, std::string* record) {
  const std::string text = Serialize(old, bytes);
  struct stat st;
  // Readable by whoever may read the file, so that another account can finish the write.
  const mode_t mode = fs.Stat(target, &st) == 0 ? (st.st_mode & 0666) : 0600;
  *record = BesidePath(target);
  if (WriteRecordIn(fs, FolderOf(target), *record, text, mode)) return true;
  if (!file_steps::FolderRefusesNewFiles(errno)) return false;
  *record = StatePath(fs, target);
  const std::string folder = FolderOf(*record);
  return EnsurePrivateFolder(folder, fs) && WriteRecordIn(fs, folder, *record, text, 0600);
}

void DropInterruptedWriteRecord(FileSystem& fs, const std::string& record) {
  if (fs.Unlink(record) == 0 || errno == ENOENT) return;
  const int fd = fs.Open(record, O_WRONLY | O_TRUNC | O_NOFOLLOW | O_NOCTTY, 0);
  if (fd >= 0) fs.Close(fd);
}

std::vector<std::string> InterruptedWriteRecordPaths(const std::string& path, FileSystem& fs) {
  std::string target;
  if (!file_steps::ResolveTarget(fs, path, &target)) target = path;
  return {BesidePath(target), StatePath(fs, target)};
}

bool HasInterruptedWriteRecord(const std::string& path, FileSystem& fs) {
  for (const std::string& record : InterruptedWriteRecordPaths(path, fs)) {
    struct stat st;
    if (fs.Stat(record, &st) == 0 && st.st_size > 0) return true;
  }
  return false;
}

InterruptedWrite RecoverInterruptedWrite(const std::string& path, FileSystem& fs) {
  return Meet(fs, path, true);
}

InterruptedWrite InspectInterruptedWrite(const std::string& path, FileSystem& fs) {
  return Meet(fs, path, false);
}

void RemoveStaleTemporaryFiles(const std::string& path, FileSystem& fs) {
  std::string target;
  if (!file_steps::ResolveTarget(fs, path, &target)) return;
  RemoveTemporaryFilesOf(fs, FolderOf(target), NameOf(target));
  for (const std::string& record : InterruptedWriteRecordPaths(target, fs)) {
    RemoveTemporaryFilesOf(fs, FolderOf(record), NameOf(record));
  }
}

}  // namespace quillmap
