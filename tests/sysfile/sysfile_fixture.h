// Shared by the system file tests: a temporary folder per test and the file's bytes built by hand.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "settings/error.h"
#include "sysfile/scanner_state.h"

namespace quillmap::testing {

inline std::string Le32(int32_t value) {
  std::string bytes;
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((static_cast<uint32_t>(value) >> (8 * i)));
  return bytes;
}

inline std::string Header(int32_t version, int32_t count) { return Le32(version) + Le32(count); }

inline std::string Bounds(const std::array<int32_t, 8>& micrometres) {
  std::string bytes;
  for (int32_t value : micrometres) bytes += Le32(value);
  return bytes;
}

// `name` is the raw name field, NUL-padded to 32 bytes; the unused 8 bytes are not zero, to show
// that nothing reads them.
inline std::string Record(std::string name, const std::array<int32_t, 8>& micrometres = {}) {
  name.resize(32, '\0');
  return name + "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF" + Bounds(micrometres);
}

inline std::array<double, 8> AsArray(const ModelLimits& l) {
  return {l.MinX, l.MinY, l.MaxX, l.MaxY, l.MaxWidth, l.MaxHeight, l.MinWidth, l.MinHeight};
}

// The number and description of the Error that `action` throws.
template <typename Action>
std::pair<int, std::string> ErrorOf(Action&& action) {
  try {
    action();
  } catch (const Error& error) {
    return {error.Number(), error.Description()};
  }
  ADD_FAILURE() << "no error thrown";
  return {0, ""};
}

class SystemFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/quillmap_sysfile.XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    folder_ = folder;
    path_ = folder_ + "/RegionDB.sys";
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  void Write(const std::string& bytes) {
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << bytes;
  }

  std::string folder_;
  std::string path_;
  ScannerState state_;
};

}  // namespace quillmap::testing
