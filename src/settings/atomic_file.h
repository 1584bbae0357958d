// Whole-file reads and atomic replacement: the only way the program changes a file.
//
// Quillmap's own writers exclude each other with FileLock. Against a program that takes no
// lock (the scanner software), a write guarantees this much:
// - The file is replaced only when it is, at that moment, the very file the command compared
//   with what it read: swapped in one step (RENAME_EXCHANGE), the file that came out checked to
//   be the one compared and unchanged since. Otherwise the other program's file is put back at
//   once and the command reports the change. A change that another program finished before the
//   swap is therefore never lost.
// - A program that reads the file in the few instructions between that swap and the swap back
//   sees Quillmap's file for that moment, and what it builds on it is its own.
// - A program that opened the file before the swap and writes into it in place afterwards
//   writes into the file that was replaced: that change is lost, and nothing short of a lock
//   both programs honour can prevent it. Where the file system cannot swap, the file is
//   checked once more just before a plain rename, which leaves a window of one call.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "settings/file_system.h"
#include "settings/writer_identity.h"

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

// One read. A missing file gives exists == false and true; false only when the file exists but
// cannot be read (or is not a regular file).
bool ReadFileSnapshot(const std::string& path, FileSnapshot* out,
                      FileSystem& fs = RealFileSystem());

enum class ReadResult {
  kOk,
  kUnreadable,
  kUnsettled,  // another program kept rewriting the file while it was read
};

// A read that never takes half a rewrite for the file: read again when the file changed while
// it was read, and, when it is empty or does not end with a line break (what a program that
// truncates and then writes leaves for a moment), only taken once it has stayed so for a while.
// Gives up after about two seconds.
ReadResult ReadSettledSnapshot(const std::string& path, FileSnapshot* out,
                               FileSystem& fs = RealFileSystem());

// Replaces the file's content with `bytes` so that a crash, a full disk or an I/O error leaves
// either the old or the new content.
//
// The usual way: a temporary file ".<name>.quillmap-XXXXXXXX" beside the file, locked by its
// writer for as long as it lives, written in full, fsync'ed, given the file's permission bits
// (and owner, where they differ from ours), swapped with the file (see above; renamed where no
// `expected` is given) and the folder fsync'ed. A file that does not exist yet is created by a
// link, which fails when another writer created it first. A symbolic link is followed to its
// final target, which is replaced; the link stays. Anything but a regular file, and a file
// whose mode has no write bit at all, is refused (even for root).
//
// Where the folder refuses new files (EACCES, EPERM, EROFS) or the owner cannot be kept, but
// the file itself can be written, it is rewritten in place instead: first a record of the old
// and the new content is made durable (beside the file where the folder allows, so that every
// account finds it, else in UserStateFolder()), then the file is overwritten, truncated and
// fsync'ed, and the record removed. If the rewrite fails half-way the old content is written
// back; only when that fails too does the record stay, for RecoverInterruptedWrite.
//
// With `expected`, the file is compared with it just before it is replaced and left alone when
// it differs. When `bytes` equal `expected` and the file still matches, nothing is written.
WriteResult AtomicWriteFile(const std::string& path, std::string_view bytes,
                            const FileSnapshot* expected = nullptr,
                            FileSystem& fs = RealFileSystem());

struct InterruptedWrite {
  enum class Outcome {
    kNone,         // no record, or one that needs no word (the write had finished or not begun)
    kFinished,     // the file held what the cut-short rewrite left, and was completed
    kLeftAlone,    // the file has changed since: it stays as it is and the record is dropped
    kHalfWritten,  // the file is still half-written and this caller may not finish it
  };
  Outcome outcome = Outcome::kNone;
  WriterIdentity writer;  // whose write it was
};

// Finishes an in-place rewrite that was cut short, but only when the file is provably what that
// rewrite left (the start is the new content and the rest the old); otherwise leaves the file
// alone and drops the record. For a caller that holds the file's exclusive FileLock, since a
// record also exists while another writer is at work.
InterruptedWrite RecoverInterruptedWrite(const std::string& path,
                                         FileSystem& fs = RealFileSystem());
// The same without changing anything, for a reader under the shared lock: kHalfWritten when the
// file is what a cut-short rewrite left, kNone otherwise.
InterruptedWrite InspectInterruptedWrite(const std::string& path,
                                         FileSystem& fs = RealFileSystem());
// True when a record of an interrupted rewrite of `path` exists where this user can see it.
bool HasInterruptedWriteRecord(const std::string& path, FileSystem& fs = RealFileSystem());

// Removes the temporary files that killed writers of `path` left beside the file and beside
// its record. A temporary file whose writer still lives is locked by it and stays.
void RemoveStaleTemporaryFiles(const std::string& path, FileSystem& fs = RealFileSystem());

// Where the records of an interrupted rewrite of `path` may be (whether or not they exist):
// beside the file, then in the user's state folder.
std::vector<std::string> InterruptedWriteRecordPaths(const std::string& path,
                                                     FileSystem& fs = RealFileSystem());

}  // namespace quillmap
