// The core and the main window loading the hostile region files, on the offscreen platform.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/region_window.h"
#include "reliability_fixture.h"
#include "support/fake_ui.h"

namespace quillmap {
namespace {

class HostileWindowTest : public ReliabilityTest, public ::testing::WithParamInterface<Hostile> {};

// The core's list, then the window's grid: the rows, or none and the conversion error.
TEST_P(HostileWindowTest, ListAndGridShowTheRegionsOrTheError) {
  const Hostile& hostile = GetParam();
  const std::string bytes = hostile.make();
  WriteBytes(RegionFile(), bytes);
  const RegionList list = LoadRegionList(RegionFile(), false, global_.Scanner.Limits, '.');
  EXPECT_EQ(list.error ? list.error->Description() : "", hostile.load_error);
  EXPECT_EQ(list.rows.size(), static_cast<size_t>(hostile.rows));
  for (const auto& [row, column, text, red] : hostile.cells) {
    EXPECT_EQ(list.rows.at(row - 1).cells[column], text) << row << " " << column;
    EXPECT_EQ(list.rows.at(row - 1).red[column], red) << row << " " << column;
  }
  if (hostile.check) hostile.check(list);
  testing::FakeUi ui;  // which also checks that the busy pointer is off again
  RegionWindow window(global_, ui);
  window.LoadRegionList();
  EXPECT_EQ(window.DataRowCount(), hostile.rows);
  EXPECT_EQ(ui.Texts(), *hostile.load_error ? std::vector<std::string>{hostile.load_error}
                                            : std::vector<std::string>{});
  EXPECT_EQ(ReadBytes(RegionFile()), bytes);
  EXPECT_TRUE(Leftovers().empty());
}

INSTANTIATE_TEST_SUITE_P(Files, HostileWindowTest, ::testing::ValuesIn(HostileFiles()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quillmap
