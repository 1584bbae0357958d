// The region file ChipRegions.ini: reading one region, loading the list with its bound checks,
// and the commands that add, rewrite and delete regions. The file holds Windows-1252 bytes;
// every text here is UTF-8.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "regions/global.h"
#include "regions/scan_region.h"
#include "settings/atomic_file.h"
#include "settings/error.h"
#include "settings/file_lock.h"
#include "settings/file_system.h"
#include "settings/profile.h"
#include "sysfile/scanner_state.h"

namespace quillmap {

// Missing keys take the file format's defaults, so a missing section is no failure. Millimetre
// fields become FormatValue(value / 1000) when the text is a number, else the text as read.
ScanRegion ReadRegion(const ProfileDocument& doc, const std::string& section_name, char sep);
// The same from the file, read once under the writers' lock; a file that cannot be read, or a
// lock not had in time, throws Error.
ScanRegion ReadRegion(const std::string& region_file_path, const std::string& section_name,
                      char sep);

// Grid columns.
enum RegionColumn {
  kColumnCustom = 0,
  kColumnName = 1,
  kColumnX = 2,
  kColumnY = 3,
  kColumnWidth = 4,
  kColumnHeight = 5,
  kColumnSectionName = 6,
};

struct RegionRow {
  std::array<std::string, 7> cells;
  std::array<bool, 7> red{};  // a value that breaks the model's bounds
};

struct RegionList {
  std::vector<RegionRow> rows;
  // Read only when the file holds at least one region (see supplied_default_read); otherwise the
  // window keeps the name it had.
  std::string SuppliedDefaultName;
  bool supplied_default_read = false;
  // True when some row has a red cell; the window sets its own flag from it, never clears it.
  bool InvalidRegionsFound = false;
  // A NumRegions that is not a number or is above 32766, or an unreadable file: no rows.
  std::optional<Error> error;
  // What the user should be told of an interrupted save met while reading, or empty.
  std::string notice;
  // The last region shown, which the window keeps as CurrentRegion.
  std::optional<ScanRegion> last_shown;
};

// custom_only: only regions whose Custom is exactly "YES".
RegionList LoadRegionList(const ProfileDocument& doc, bool custom_only, const ModelLimits& limits,
                          char sep);
// The file read once under the writers' lock; a file that cannot be read, or a lock not had in
// time, gives `error`. A missing file is an empty list.
RegionList LoadRegionList(const std::string& region_file_path, bool custom_only,
                          const ModelLimits& limits, char sep);

// Fills `current` from the edit dialog's box texts; a new region also gets its section names
// from NumRegions. Fields are set in order, so a conversion error (NumRegions, or an X that is
// not a number) leaves the ones before it set. Writes nothing.
void FillCurrentRegion(const ProfileDocument& doc, bool is_new, const std::string& name,
                       const std::string& x, const std::string& y, const std::string& width,
                       const std::string& height, char sep, ScanRegion& current);

// Writes `current` into its region and slide sections (a new region also raises NumRegions).
// Every value is formed before anything changes, so on a conversion error (Error 13 or 6) or a
// text the file cannot hold (Error 500) the document is left as it was.
void WriteCurrentRegion(ProfileDocument& doc, bool is_new, const ScanRegion& current, char sep);

// The message of the first write of WriteCurrentRegion, for RegionFileSession::Commit.
std::string FirstWriteMessage(bool is_new);
// The message of the first write of DeleteRegion.
inline constexpr const char* kDeleteWriteMessage = "Error writing/deleting section in";

// Deletes the region current.SectionName and moves every later region one place up, with the
// slide section CustomerSlide(m - 2). `current` ends holding the last region moved. Values that
// are not numbers are moved unchanged; a slide section that another remaining region names is
// kept. Throws (leaving the document as it was) when a number cannot be read or when a
// renumbered slide section would overwrite one that an earlier region uses.
void DeleteRegion(ProfileDocument& doc, ScanRegion& current, char sep);

// True when another region (not section_name) has the name typed_name, letter case ignored.
// Throws a conversion error when NumRegions is not a number.
bool RegionNameExists(const ProfileDocument& doc, const std::string& section_name,
                      const std::string& typed_name, char sep = '.');

// One command's view of the region file: the advisory lock against Quillmap's other writers,
// one read, and one atomic write that refuses to overwrite a change made on disk meanwhile.
// The lock belongs to the session, not to the process: while one is open, the file forms of
// ReadRegion, LoadRegionList and RegionNameExists in the same process wait for it.
class RegionFileSession {
 public:
  // Throws Error when the lock cannot be had within the timeout or the file cannot be read.
  static RegionFileSession Open(const std::string& region_file_path,
                                FileSystem& fs = RealFileSystem(), int lock_timeout_ms = 5000);

  RegionFileSession(RegionFileSession&&) noexcept;
  RegionFileSession& operator=(RegionFileSession&&) noexcept;
  ~RegionFileSession();

  ProfileDocument& Document() { return doc_; }
  const ProfileDocument& Document() const { return doc_; }

  // What the user should be told of an interrupted save that opening met, or empty.
  const std::string& Notice() const { return notice_; }

  // The error to show for a refusal that the file's content caused: when the file has changed
  // since it was read, the refusal came from a file another program was rewriting, and the
  // change is reported instead.
  Error Explain(const Error& refusal) const;

  // Writes the document when it differs from what was read. A refused write throws
  // Error(500, message_if_write_fails); a change on disk throws Error(kErrChangedOnDisk).
  void Commit(const std::string& message_if_write_fails);

 private:
  RegionFileSession() = default;
  bool ChangedSinceRead() const;
  // What the file should hold now: what was read, or what the last commit wrote.
  const FileSnapshot& Expected() const { return written_ ? *written_ : *read_; }

  std::string path_;
  FileSystem* fs_ = nullptr;
  std::unique_ptr<FileLock> lock_;
  // On the heap, so that it stays in place when the session moves: the document reads its
  // bytes where they are rather than in a copy of its own, a copy of megabytes per command.
  std::unique_ptr<const FileSnapshot> read_;
  ProfileDocument doc_;  // after read_, so that it goes first
  std::optional<FileSnapshot> written_;
  std::string notice_;
};

inline constexpr const char* kRegionFileBusyMessage =
    "The region file is being changed by another Quillmap window or tool. Please try again.";
inline constexpr const char* kChangedOnDiskMessage =
    "The region file was changed by another program. Please try again.";

// RegionNameExists on the file as it is now, skipping global.CurrentRegion.SectionName.
bool RegionNameExists(const Global& global, const std::string& typed_name);

// ReadRegion from global.RegionFilePath into global.CurrentRegion.
void ReadRegion(Global& global, const std::string& section_name);

}  // namespace quillmap
