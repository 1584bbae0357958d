// The guard that each region command runs before it touches the region file.
#pragma once

#include <string>

#include "settings/file_system.h"

namespace quillmap {

inline constexpr const char* kReadOnlyFileMessage = "Unable to open readonly file ";
// The number the scanner software's platform gives a file that is not there.
inline constexpr int kErrFileNotFound = 53;

// A file whose mode has no write bit at all (chmod a-w) is read-only, whoever runs the program:
// throws Error 5001 "Unable to open readonly file ". A file that cannot be queried throws
// Error 53 "File not found". Otherwise false. The mode is read afresh on every call.
bool IniFileReadOnly(const std::string& region_file_path, FileSystem& fs = RealFileSystem());

}  // namespace quillmap
