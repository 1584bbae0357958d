#include "regions/read_only.h"

#include <sys/stat.h>

#include "settings/error.h"

namespace quillmap {

bool IniFileReadOnly(const std::string& region_file_path, FileSystem& fs) {
  struct stat info;
  if (fs.Stat(region_file_path, &info) != 0) throw Error(kErrFileNotFound, "File not found");
  if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    throw Error(kErrFileAccess, kReadOnlyFileMessage);
  }
  return false;
}

}  // namespace quillmap
