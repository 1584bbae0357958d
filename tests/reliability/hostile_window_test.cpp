// The main window loading hostile region files on the offscreen platform: the grid shows the
// regions or only its header with the conversion error in a message box, the busy pointer is
// restored, and the file is never touched.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <ostream>
#include <string>

#include "app/region_window.h"
#include "reliability_fixture.h"
#include "support/fake_ui.h"

namespace quillmap {
namespace {

struct WindowCase {
  const char* name;
  std::string bytes;
  int rows;
  const char* message;  // "" when none
};
void PrintTo(const WindowCase& window_case, std::ostream* out) { *out << window_case.name; }

std::string FixtureFile() { return FixtureBytes(kRegionFileName); }

std::string WithCount(const std::string& count) {
  std::string bytes = FixtureFile();
  bytes.replace(bytes.find("NumRegions=6"), 12, "NumRegions=" + count);
  return bytes;
}

class HostileWindowTest : public ReliabilityTest,
                          public ::testing::WithParamInterface<WindowCase> {};

TEST_P(HostileWindowTest, GridShowsTheRegionsOrTheHeaderAndTheError) {
  const WindowCase& c = GetParam();
  WriteBytes(RegionFile(), c.bytes);
  testing::FakeUi ui;
  RegionWindow window(global_, ui);
  window.LoadRegionList();
  EXPECT_EQ(window.DataRowCount(), c.rows);
  if (*c.message == '\0') {
    EXPECT_TRUE(ui.messages.empty());
  } else {
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, c.message);
  }
  EXPECT_EQ(ui.busy_depth, 0);
  EXPECT_EQ(ReadBytes(RegionFile()), c.bytes);
  EXPECT_TRUE(Leftovers().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, HostileWindowTest,
    ::testing::Values(WindowCase{"Empty", "", 0, ""},
                      WindowCase{"NulBytes", std::string(4096, '\0'), 0, ""},
                      WindowCase{"TenMegabyteLine", FixtureFile() + std::string(10 << 20, 'x'), 6,
                                 ""},
                      WindowCase{"CountMinusOne", WithCount("-1"), 0, ""},
                      WindowCase{"Count32766", WithCount("32766"), 32766, ""},
                      WindowCase{"Count32767", WithCount("32767"), 0, "Overflow"},
                      WindowCase{"CountAbc", WithCount("abc"), 0, "Type mismatch"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quillmap

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir runtime;
  qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
