// One command on the region file: locked against Quillmap's other writers, read once, written
// once, and never over a change that another program made in between.
#include <utility>

#include "regions/region_file.h"
#include "regions/region_format.h"

namespace quillmap {

RegionFileSession RegionFileSession::Open(const std::string& region_file_path, FileSystem& fs,
                                          int lock_timeout_ms) {
  RegionFileSession session;
  session.path_ = region_file_path;
  session.fs_ = &fs;
  session.lock_ = std::make_unique<FileLock>(region_file_path, lock_timeout_ms);
  if (!session.lock_->Locked()) {
    throw Error(kErrFileAccess,
                "The region file is being changed by another Quillmap window or tool. Please "
                "try again.");
  }
  // A rewrite in place that a crash cut short is finished first, under the lock.
  RecoverInterruptedWrite(region_file_path, fs);
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
  RegionFileSession session = RegionFileSession::Open(path);
  return std::move(session.Document());
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
