// The process's side of quillmap-cli on Windows: the UTF-16 command line, the executable's
// folder, and output that a console window shows as text while a pipe or file gets the UTF-8
// bytes unchanged.
#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include <ostream>
#include <streambuf>
#include <string>

#include "cli/cli.h"
#include "settings/file_system.h"
#include "settings/win32_text.h"

namespace quillmap::cli {
namespace {

using win32::Utf8FromWide;
using win32::WideFromUtf8;

// Length of the leading part of `bytes` that ends on a whole UTF-8 sequence.
size_t WholeSequences(const std::string& bytes) {
  size_t end = bytes.size();
  size_t back = 0;
  while (back < 4 && back < end &&
         (static_cast<unsigned char>(bytes[end - 1 - back]) & 0xC0) == 0x80) {
    ++back;
  }
  if (back == end) return end;
  const unsigned char lead = static_cast<unsigned char>(bytes[end - 1 - back]);
  const size_t needed = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  return needed > back + 1 ? end - 1 - back : end;
}

class HandleBuffer final : public std::streambuf {
 public:
  explicit HandleBuffer(DWORD which) : handle_(GetStdHandle(which)) {
    DWORD mode = 0;
    console_ =
        handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE && GetConsoleMode(handle_, &mode);
  }

 protected:
  int_type overflow(int_type c) override {
    if (c != traits_type::eof()) pending_.push_back(static_cast<char>(c));
    if (pending_.size() >= 4096) Flush(false);
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* data, std::streamsize size) override {
    pending_.append(data, static_cast<size_t>(size));
    if (pending_.size() >= 4096) Flush(false);
    return size;
  }
  int sync() override { return Flush(true) ? 0 : -1; }

 private:
  bool Flush(bool all) {
    if (handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE) {
      pending_.clear();
      return false;
    }
    const size_t ready = all ? pending_.size() : WholeSequences(pending_);
    bool ok = true;
    if (console_) {
      const std::wstring text = WideFromUtf8(std::string_view(pending_).substr(0, ready));
      DWORD written = 0;
      ok = text.empty() ||
           WriteConsoleW(handle_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    } else {
      size_t done = 0;
      while (ok && done < ready) {
        DWORD written = 0;
        ok = WriteFile(handle_, pending_.data() + done, static_cast<DWORD>(ready - done), &written,
                       nullptr) != 0;
        done += written;
      }
    }
    pending_.erase(0, ready);
    return ok;
  }

  HANDLE handle_;
  bool console_ = false;
  std::string pending_;
};

}  // namespace

std::string ExecutableFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD size = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (size == 0) return std::string();
    if (size < path.size()) {
      path.resize(size);
      break;
    }
    path.resize(path.size() * 2);
  }
  return FolderOf(Utf8FromWide(path));
}

std::vector<std::string> CommandLineArguments(int, char**) {
  int count = 0;
  wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; words != nullptr && i < count; ++i) args.push_back(Utf8FromWide(words[i]));
  LocalFree(words);
  return args;
}

std::ostream& StandardOutput() {
  static HandleBuffer buffer(STD_OUTPUT_HANDLE);
  static std::ostream stream(&buffer);
  return stream;
}

std::ostream& StandardError() {
  static HandleBuffer buffer(STD_ERROR_HANDLE);
  static std::ostream stream(&buffer);
  stream.setf(std::ios::unitbuf);
  return stream;
}

}  // namespace quillmap::cli
