// The state shared by the whole run: one object, created by the application (or a test) and
// handed to whoever needs it.
#pragma once

#include <string>

#include "regions/scan_region.h"
#include "sysfile/scanner_state.h"

namespace quillmap {

// The folder separator; DataFolderPath always ends in it.
inline constexpr char kPathSeparator = '/';

struct Global {
  std::string DataFolderPath;
  std::string RegionFilePath;
  std::string SystemFilePath;
  ScanRegion CurrentRegion;
  ScannerState Scanner;  // ScannerModel, ModelLimits (as Limits) and ModelList
  // The user's decimal separator, settled once by the front end.
  char DecimalSeparator = '.';
};

}  // namespace quillmap
