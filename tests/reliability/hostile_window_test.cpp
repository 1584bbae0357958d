// The main window loading the hostile region files, on the offscreen platform.
#include <gtest/gtest.h>

#include <string>

#include "app/region_window.h"
#include "reliability_fixture.h"
#include "support/fake_ui.h"

namespace quillmap {
namespace {

class HostileWindowTest : public ReliabilityTest, public ::testing::WithParamInterface<Hostile> {};

TEST_P(HostileWindowTest, GridShowsTheRegionsOrTheHeaderAndTheError) {
  const Hostile& c = GetParam();
  const std::string bytes = c.make();
  WriteBytes(RegionFile(), bytes);
  testing::FakeUi ui;
  RegionWindow window(global_, ui);
  window.LoadRegionList();
  EXPECT_EQ(window.DataRowCount(), c.rows);
  ASSERT_EQ(ui.messages.size(), *c.load_error == '\0' ? 0u : 1u);
  for (const auto& message : ui.messages) EXPECT_EQ(message.text, c.load_error);
  EXPECT_EQ(ui.busy_depth, 0);
  EXPECT_EQ(ReadBytes(RegionFile()), bytes);
  EXPECT_TRUE(Leftovers().empty());
}

INSTANTIATE_TEST_SUITE_P(Files, HostileWindowTest, ::testing::ValuesIn(HostileFiles()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quillmap
