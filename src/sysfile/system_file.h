// Readers of the scan region system file RegionDB.sys: the scanner models and their bounds.
//
// The file is little-endian 32-bit integers: a header (Version, ModelCount) followed either by
// one block of eight bounds (Version 1, the single model "R7720C") or by ModelCount records of
// 72 bytes (a 32-byte Windows-1252 name, 8 unused bytes, eight bounds). Bounds are stored in
// micrometres and held in millimetres.
//
// Every reader taking a path tests that the file exists, opens it, reads it and closes it before
// it returns; nothing is kept between calls. The Parse functions do the same work on bytes
// already read, so that tests and fuzzers need no file; their path only names the file in
// errors. All failures are thrown as quillmap::Error:
//   5000 "Unable to locate the scan region system file (<path>)": no file at the path;
//   5000 "Unable to locate the scan region <name> in system file (<path>)": no such model;
//   6 "Overflow": a ModelCount beyond the 16-bit range, or 32767 (see LoadModelList);
//   57 "Unable to read the scan region system file (<path>)": the file could not be read or
//      ends before the bytes that the operation needs.
// Names are UTF-8 on this side of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sysfile/scanner_state.h"

namespace quillmap {

// The model of a single-model file, which stores no name.
inline constexpr const char* kSingleModelName = "R7720C";

inline constexpr int32_t kSingleModelVersion = 1;
inline constexpr size_t kSystemFileHeaderSize = 8;
inline constexpr size_t kSingleModelFileSize = 40;
inline constexpr size_t kModelRecordSize = 72;
inline constexpr size_t kModelNameSize = 32;
// The record count and the counter that steps through the records are 16-bit: 32766 records
// can be read, a count of 32767 overflows once the counter steps past the last record.
inline constexpr int32_t kMaxReadableModelCount = 32766;

// The header's Version field: 1 is the single-model layout, any other value the model table.
int32_t GetSystemFileVersion(const std::string& system_file_path);
int32_t ParseSystemFileVersion(std::string_view bytes, const std::string& system_file_path);

// Makes "R7720C" the model in force with the bounds of the single-model block. ModelList is not
// touched; on failure nothing is.
void LoadSingleModel(const std::string& system_file_path, ScannerState& state);
void ParseSingleModel(std::string_view bytes, const std::string& system_file_path,
                      ScannerState& state);

// Replaces ModelList by the names of all records, in file order, repeated and empty names
// included. The list is emptied first, so a missing file leaves it empty; on any other failure
// it holds the names read before the failure (a count of 32767 overflows after all 32767).
void LoadModelList(const std::string& system_file_path, ScannerState& state);
void ParseModelList(std::string_view bytes, const std::string& system_file_path,
                    ScannerState& state);

// LoadModelList, and the bounds of each record in the same order (a repeated name keeps its own
// record's). Reads the header and the records it counts, never the rest of the file.
std::vector<ModelLimits> LoadModelTable(const std::string& system_file_path, ScannerState& state);

// Makes `name` the model in force with the bounds of the first record whose name equals it
// exactly (letter case counts). Records are read up to the first match, so a file that ends
// after the matching record still selects it. An empty table has no model to select: every
// name fails, the empty one included. On failure ScannerModel and Limits are unchanged.
void SelectModel(const std::string& system_file_path, const std::string& name, ScannerState& state);
void ParseSelectModel(std::string_view bytes, const std::string& system_file_path,
                      const std::string& name, ScannerState& state);

// A fixed-width Windows-1252 name field as UTF-8 text: cut at the first NUL, then stripped of
// leading and trailing blanks (other white space stays).
std::string BytesToString(const unsigned char* bytes, size_t size);

}  // namespace quillmap
