// The one error type of the program: a number and the description that the user is shown.
#pragma once

#include <exception>
#include <string>

namespace quillmap {

inline constexpr int kErrOverflow = 6;
inline constexpr int kErrTypeMismatch = 13;
inline constexpr int kErrValidation = 100;
inline constexpr int kErrRegionWrite = 500;
inline constexpr int kErrSystemFile = 5000;
inline constexpr int kErrFileAccess = 5001;
// Not one of the scanner software's numbers: a read of a file that ended too early or failed.
inline constexpr int kErrFileRead = 57;
// Another program changed the region file while a command was working on it.
inline constexpr int kErrChangedOnDisk = 5002;

class Error : public std::exception {
 public:
  Error(int number, std::string description)
      : number_(number), description_(std::move(description)) {}

  int Number() const { return number_; }
  const std::string& Description() const { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

  // Where the value that raised the error was read, as far as the reader knows: the file and
  // the key ("[ScanRegions] NumRegions"). The window shows the description alone.
  const std::string& File() const { return file_; }
  const std::string& Key() const { return key_; }
  Error& SetFile(std::string file) {
    file_ = std::move(file);
    return *this;
  }
  Error& SetKey(std::string key) {
    key_ = std::move(key);
    return *this;
  }

 private:
  int number_;
  std::string description_;
  std::string file_;
  std::string key_;
};

inline Error TypeMismatchError() { return Error(kErrTypeMismatch, "Type mismatch"); }
inline Error OverflowError() { return Error(kErrOverflow, "Overflow"); }

}  // namespace quillmap
