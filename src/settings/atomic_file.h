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
// either the old or the new content.
//
// The usual way: a temporary file ".<name>.quillmap-XXXXXXXX" beside the file, written in full,
// fsync'ed, given the file's permission bits (and owner, where they differ from ours), renamed
// over the file, and the folder fsync'ed. A symbolic link is followed to its final target, which
// is replaced; the link stays. Anything but a regular file, and a file whose mode has no write
// bit at all, is refused (even for root).
//
// Where the folder refuses new files (EACCES, EPERM, EROFS) or the owner cannot be kept, but
// the file itself can be written, it is rewritten in place instead: first the new content goes
// to a side copy in UserStateFolder(), written, fsync'ed and renamed to its final name, so that
// a complete side copy exists before the first byte of the file changes; then the file is
// overwritten, truncated and fsync'ed, and the side copy removed. If the rewrite fails half-way
// the old content is written back; only when that fails too does the side copy stay behind, for
// RecoverInterruptedWrite to finish the change.
//
// With `expected`, the file is compared with it just before it is replaced and left alone when
// it differs. When `bytes` equal `expected` and the file still matches, nothing is written.
WriteResult AtomicWriteFile(const std::string& path, std::string_view bytes,
                            const FileSnapshot* expected = nullptr,
                            FileSystem& fs = RealFileSystem());

// Finishes an in-place rewrite that was cut short (crash, power cut), from its side copy; does
// nothing when there is none. Called at start-up before the file is read, by a caller that holds
// the file's FileLock, since a side copy also exists while another writer is at work.
void RecoverInterruptedWrite(const std::string& path, FileSystem& fs = RealFileSystem());

// Removes the temporary files that a writer of `path` killed before its rename left beside the
// file and beside its side copy. Only for a caller that holds the file's FileLock: the
// temporary file of a writer at work looks the same.
void RemoveStaleTemporaryFiles(const std::string& path, FileSystem& fs = RealFileSystem());

// Where the side copy for `path` lives (whether or not it exists); for tests and diagnostics.
std::string SideCopyPath(const std::string& path, FileSystem& fs = RealFileSystem());

}  // namespace quillmap
