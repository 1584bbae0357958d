// One command on the region file: locked against Quillmap's other writers, read once, written
// once, and never over a change that another program made in between.
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "regions/region_file.h"
#include "regions/region_format.h"

namespace quillmap {

namespace {

std::string Who(const WriterIdentity& writer) {
  return DescribeWriter(writer) + " (" + WriterTime(writer) + ")";
}

// What a user is told of an interrupted save met on the way in; empty when nothing needs a word.
std::string Notice(const InterruptedWrite& met) {
  switch (met.outcome) {
    case InterruptedWrite::Outcome::kNone:
      return "";
    case InterruptedWrite::Outcome::kFinished:
      return "A save of the region file by " + Who(met.writer) +
             " was interrupted. It has now been completed.";
    case InterruptedWrite::Outcome::kLeftAlone:
      return "A save of the region file by " + Who(met.writer) +
             " was interrupted, and the file has been changed since. It was left as it is.";
    case InterruptedWrite::Outcome::kHalfWritten:
      break;
  }
  throw Error(kErrFileAccess, "The region file was left half-written by an interrupted save by " +
                                  Who(met.writer) +
                                  ". It can be completed only by a user who may change the "
                                  "file: please open Quillmap as such a user.");
}

// The lock of one command: exclusive for a writer, shared for a reader, except that a reader
// that meets the record of an interrupted save and may write the file takes the exclusive lock
// to finish it. Then, under the lock, what killed writers left behind is dealt with.
std::unique_ptr<FileLock> LockRegionFile(const std::string& region_file_path, FileSystem& fs,
                                         int lock_timeout_ms, bool writer, std::string* notice) {
  const bool recover = writer || (HasInterruptedWriteRecord(region_file_path, fs) &&
                                  fs.Access(region_file_path, W_OK) == 0);
  auto lock = std::make_unique<FileLock>(
      region_file_path, recover ? LockKind::kExclusive : LockKind::kShared, lock_timeout_ms, fs);
  switch (lock->Outcome()) {
    case LockOutcome::kLocked:
      break;
    case LockOutcome::kBusy:
      if (lock->HolderKnown()) {
        throw Error(kErrFileAccess, "The region file is being changed by " +
                                        DescribeWriter(lock->Holder()) + " since " +
                                        WriterTime(lock->Holder()) + ". Please try again.");
      }
      throw Error(kErrFileAccess, kRegionFileBusyMessage);
    case LockOutcome::kNoPermission:
      if (writer && lock->OpenError() == EROFS) {
        throw Error(kErrFileAccess, "The region file " + region_file_path +
                                        " cannot be changed: its file system is read-only.");
      }
      if (writer) {
        throw Error(kErrFileAccess, "You do not have permission to change the region file " +
                                        region_file_path + ".");
      }
      throw region_format::UnreadableFileError(region_file_path);
    case LockOutcome::kFailed:
      throw region_format::UnreadableFileError(region_file_path);
  }
  const std::string said = Notice(recover ? RecoverInterruptedWrite(region_file_path, fs)
                                          : InspectInterruptedWrite(region_file_path, fs));
  if (notice != nullptr) *notice = said;
  if (recover) RemoveStaleTemporaryFiles(region_file_path, fs);
  return lock;
}

// The file as it settles; a file that another program keeps rewriting is reported as changed.
void ReadSettled(const std::string& path, FileSystem& fs, FileSnapshot* snapshot) {
  switch (ReadSettledSnapshot(path, snapshot, fs)) {
    case ReadResult::kOk:
      return;
    case ReadResult::kUnreadable:
      throw region_format::UnreadableFileError(path);
    case ReadResult::kUnsettled:
      throw Error(kErrChangedOnDisk, kChangedOnDiskMessage);
  }
}

// A file whose text its own encoding breaks is refused: written back, it would lose characters.
ProfileDocument CheckedRegionFile(const std::string& path, ProfileDocument doc) {
  if (!doc.EncodingProblem().empty()) {
    throw Error(kErrFileRead, "The region file " + path + " " + doc.EncodingProblem());
  }
  return doc;
}

}  // namespace

RegionFileSession RegionFileSession::Open(const std::string& region_file_path, FileSystem& fs,
                                          int lock_timeout_ms) {
  RegionFileSession session;
  session.path_ = region_file_path;
  session.fs_ = &fs;
  session.lock_ = LockRegionFile(region_file_path, fs, lock_timeout_ms, true, &session.notice_);
  auto read = std::make_unique<FileSnapshot>();
  ReadSettled(region_file_path, fs, read.get());
  session.doc_ = CheckedRegionFile(region_file_path, ProfileDocument::ParseInPlace(read->bytes));
  session.read_ = std::move(read);
  return session;
}

bool RegionFileSession::ChangedSinceRead() const {
  FileSnapshot now;
  return ReadSettledSnapshot(path_, &now, *fs_) != ReadResult::kOk ||
         now.exists != Expected().exists || now.bytes != Expected().bytes;
}

Error RegionFileSession::Explain(const Error& refusal) const {
  if (refusal.Number() != kErrChangedOnDisk && ChangedSinceRead()) {
    return Error(kErrChangedOnDisk, kChangedOnDiskMessage);
  }
  return refusal;
}

RegionFileSession::RegionFileSession(RegionFileSession&&) noexcept = default;
RegionFileSession& RegionFileSession::operator=(RegionFileSession&&) noexcept = default;
RegionFileSession::~RegionFileSession() = default;

void RegionFileSession::Commit(const std::string& message_if_write_fails) {
  std::string bytes = doc_.Serialize();
  if (bytes == Expected().bytes) return;
  switch (AtomicWriteFile(path_, bytes, &Expected(), *fs_)) {
    case WriteResult::kOk:
      break;
    case WriteResult::kFailed:
      throw Error(kErrRegionWrite, message_if_write_fails);
    case WriteResult::kChangedOnDisk:
      throw Error(kErrChangedOnDisk, kChangedOnDiskMessage);
  }
  // A second commit of the same session compares with what this one wrote.
  written_ = FileSnapshot{true, std::move(bytes)};
}

namespace region_format {

ProfileDocument LoadRegionDocument(const std::string& path, std::string* notice) {
  constexpr int kLockTimeoutMs = 5000;  // as for a session
  const std::unique_ptr<FileLock> lock =
      LockRegionFile(path, RealFileSystem(), kLockTimeoutMs, false, notice);
  FileSnapshot snapshot;
  ReadSettled(path, RealFileSystem(), &snapshot);
  // Nothing is written, so the document may take the bytes as they were read.
  return CheckedRegionFile(path, ProfileDocument::ParseOwned(std::move(snapshot.bytes)));
}

}  // namespace region_format

bool RegionNameExists(const Global& global, const std::string& typed_name) {
  return RegionNameExists(region_format::LoadRegionDocument(global.RegionFilePath),
                          global.CurrentRegion.SectionName, typed_name, global.DecimalSeparator);
}

}  // namespace quillmap
