// A fresh folder per test, removed afterwards: a data folder for the files under test, and the
// user's state folder pointed beside it. And whole-file helpers.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace quillmap {

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/quillmap-XXXXXX";
    path_ = mkdtemp(pattern.data());
    ::mkdir(Data().c_str(), 0755);
    ::mkdir(State().c_str(), 0700);
    ::mkdir(Runtime().c_str(), 0700);
    setenv("XDG_STATE_HOME", path_.c_str(), 1);  // records of interrupted writes land in State()
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // A path in the data folder.
  std::string operator/(const std::string& name) const { return Data() + "/" + name; }
  std::string Data() const { return path_ + "/data"; }
  std::string State() const { return path_ + "/quillmap"; }
  std::string Runtime() const { return path_ + "/run"; }

 private:
  std::string path_;
};

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Names in the folder, "." and ".." left out.
inline std::set<std::string> Entries(const std::string& folder) {
  std::set<std::string> names;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// The text with LF line ends as CR LF, as the scanner software writes its files.
inline std::string Crlf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

// The text with the first `from` replaced; a test fails when there is none.
inline std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

}  // namespace quillmap
