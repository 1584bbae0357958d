// One command on the region file: locked against Quillmap's other writers, read once, written
// once, and never over a change that another program made in between.
#include <utility>

#include "regions/region_file.h"
#include "regions/region_format.h"

namespace quillmap {

namespace {

// The writers' lock, once a rewrite in place that a crash cut short has been finished under it.
std::unique_ptr<FileLock> LockRegionFile(const std::string& region_file_path, FileSystem& fs,
                                         int lock_timeout_ms) {
  auto lock = std::make_unique<FileLock>(region_file_path, lock_timeout_ms);
  if (!lock->Locked()) {
    throw Error(kErrFileAccess,
                "The region file is being changed by another Quillmap window or tool. Please "
                "try again.");
  }
  RecoverInterruptedWrite(region_file_path, fs);
  // Likewise the temporary files of a writer killed before it could rename or remove them.
  RemoveStaleTemporaryFiles(region_file_path, fs);
  return lock;
}

}  // namespace

RegionFileSession RegionFileSession::Open(const std::string& region_file_path, FileSystem& fs,
                                          int lock_timeout_ms) {
  RegionFileSession session;
  session.path_ = region_file_path;
  session.fs_ = &fs;
  session.lock_ = LockRegionFile(region_file_path, fs, lock_timeout_ms);
  if (!LoadProfile(region_file_path, &session.doc_, &session.snapshot_, fs)) {
    throw region_format::UnreadableFileError(region_file_path);
  }
  return session;
}

RegionFileSession::RegionFileSession(RegionFileSession&&) noexcept = default;
RegionFileSession& RegionFileSession::operator=(RegionFileSession&&) noexcept = default;
RegionFileSession::~RegionFileSession() = default;

void RegionFileSession::Commit(const std::string& message_if_write_fails) {
  std::string bytes = doc_.Serialize();
  if (bytes == snapshot_.bytes) return;
  switch (AtomicWriteFile(path_, bytes, &snapshot_, *fs_)) {
    case WriteResult::kOk:
      break;
    case WriteResult::kFailed:
      throw Error(kErrRegionWrite, message_if_write_fails);
    case WriteResult::kChangedOnDisk:
      throw Error(kErrChangedOnDisk, kChangedOnDiskMessage);
  }
  // A second commit of the same session compares with what this one wrote.
  snapshot_.exists = true;
  snapshot_.bytes = std::move(bytes);
}

namespace region_format {

ProfileDocument LoadRegionDocument(const std::string& path) {
  constexpr int kLockTimeoutMs = 5000;  // as for a session
  const std::unique_ptr<FileLock> lock = LockRegionFile(path, RealFileSystem(), kLockTimeoutMs);
  // Nothing is written, so no snapshot is kept: the document holds the only copy of the bytes.
  ProfileDocument doc;
  if (!LoadProfile(path, &doc, nullptr)) throw UnreadableFileError(path);
  return doc;
}

}  // namespace region_format

void SaveCurrentRegion(Global& global, bool is_new, const std::string& name, const std::string& x,
                       const std::string& y, const std::string& width, const std::string& height) {
  RegionFileSession session = RegionFileSession::Open(global.RegionFilePath);
  const char sep = global.DecimalSeparator;
  FillCurrentRegion(session.Document(), is_new, name, x, y, width, height, sep,
                    global.CurrentRegion);
  WriteCurrentRegion(session.Document(), is_new, global.CurrentRegion, sep);
  session.Commit(FirstWriteMessage(is_new));
}

void DeleteRegion(Global& global) {
  RegionFileSession session = RegionFileSession::Open(global.RegionFilePath);
  ScanRegion current = global.CurrentRegion;
  DeleteRegion(session.Document(), current, global.DecimalSeparator);
  session.Commit(kDeleteWriteMessage);
  global.CurrentRegion = std::move(current);
}

bool RegionNameExists(const Global& global, const std::string& typed_name) {
  return RegionNameExists(region_format::LoadRegionDocument(global.RegionFilePath),
                          global.CurrentRegion.SectionName, typed_name, global.DecimalSeparator);
}

}  // namespace quillmap
