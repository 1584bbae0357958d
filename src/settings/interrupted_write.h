// The record that makes an in-place rewrite recoverable; internal to src/settings (the public
// recovery calls are declared in atomic_file.h).
#pragma once

#include <string>
#include <string_view>

#include "settings/file_system.h"

namespace quillmap {

// Makes durable a record of the old and the new content of `target`, beside it where the
// folder takes new files, else in the user's state folder; `record` gets its path.
bool WriteInterruptedWriteRecord(FileSystem& fs, const std::string& target, std::string_view old,
                                 std::string_view bytes, std::string* record);

// Removes the record; one that cannot be removed is emptied, since recovery takes an empty
// record for none.
void DropInterruptedWriteRecord(FileSystem& fs, const std::string& record);

}  // namespace quillmap
