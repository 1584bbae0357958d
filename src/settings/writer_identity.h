// Who is writing a shared file: the account, the machine and the time, kept beside a lock or
// in the record of an interrupted write so that another user can be told who it was.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillmap {

struct WriterIdentity {
  std::string user;
  std::string host;
  int64_t since = 0;  // seconds since the epoch
};

// This process's account and machine, and the time now.
WriterIdentity CurrentWriter();

// "user\nhost\nsince\n", the form kept in files.
std::string SerializeWriter(const WriterIdentity& writer);
// False when `text` does not start with the three lines of SerializeWriter; `rest` (optional)
// gets what follows them.
bool ParseWriter(std::string_view text, WriterIdentity* writer, std::string_view* rest = nullptr);

// "alice on scanner-pc".
std::string DescribeWriter(const WriterIdentity& writer);
// "2026-12-06 10:42", local time.
std::string WriterTime(const WriterIdentity& writer);

}  // namespace quillmap
