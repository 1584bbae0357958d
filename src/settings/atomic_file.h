// Whole-file reads and atomic replacement: the only way the program changes a file.
#pragma once

#include <string>
#include <string_view>

#include "settings/file_system.h"

namespace quillmap {

// What a command saw of a file when it read it, to tell later whether another program has
// changed it since.
struct FileSnapshot {
  bool exists = false;
  std::string bytes;
};

enum class WriteResult {
  kOk,
  kFailed,         // refused or failed; the file is exactly as it was, no temporary file is left
  kChangedOnDisk,  // the file no longer matches the expected snapshot; nothing was written
};

// A missing file gives exists == false and true; false only when the file exists but cannot be
// read (or is not a regular file).
bool ReadFileSnapshot(const std::string& path, FileSnapshot* out,
                      FileSystem& fs = RealFileSystem());

// Replaces the file's content with `bytes` so that a crash, a full disk or an I/O error leaves
// either the old or the new content: temporary file in the same folder, fsync, rename, folder
// fsync; permission bits kept; a symbolic link's target is replaced and the link kept. Where the
// folder is not writable but the file is, the file is rewritten in place after a side copy has
// been written and flushed (see RecoverInterruptedWrite). With `expected`, the file is compared
// with it just before the replacement and left alone when it differs.
WriteResult AtomicWriteFile(const std::string& path, std::string_view bytes,
                            const FileSnapshot* expected = nullptr,
                            FileSystem& fs = RealFileSystem());

// Finishes an in-place rewrite that was cut short, from its side copy. Called before reading.
void RecoverInterruptedWrite(const std::string& path, FileSystem& fs = RealFileSystem());

}  // namespace quillmap
