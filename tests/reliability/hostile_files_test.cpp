// Hostile region files through every command of the command-line tool.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "reliability_fixture.h"
#include "settings/profile.h"

namespace quillmap {
namespace {

using Regions = std::vector<ScanRegion>;

class HostileFileTest : public ReliabilityTest, public ::testing::WithParamInterface<Hostile> {
 protected:
  void SetUp() override { WriteBytes(RegionFile(), bytes_ = GetParam().make()); }

  // Every region listed, read whole; empty when the file cannot be listed.
  Regions Listed() const {
    ProfileDocument doc;
    EXPECT_TRUE(LoadProfile(RegionFile(), &doc, nullptr));
    Regions regions;
    for (const RegionRow& row : LoadRegionList(doc, false, global_.Scanner.Limits, '.').rows) {
      regions.push_back(ReadRegion(doc, row.cells[kColumnSectionName], '.'));
    }
    return regions;
  }

  std::string bytes_;
};

TEST_P(HostileFileTest, CommandsKeepEveryRegionOrRefuse) {
  const std::string load_error = GetParam().load_error;
  for (const char* command : {"list", "check"}) {
    const testing::CliResult r = Cli({command});
    EXPECT_LE(r.status, 1) << command << ": " << r.err;
    const std::string named = load_error + ": [ScanRegions] NumRegions in " + RegionFile() + "\n";
    EXPECT_TRUE(load_error.empty() || r.err == named) << command << ": " << r.err;
    EXPECT_EQ(ReadBytes(RegionFile()), bytes_) << command;
  }
  // A refusal says why and changes nothing; a success changes only its own region (the sixth),
  // and the regions after a deleted one move up, each with a slide section of its own.
  const struct {
    std::vector<std::string> args;
    int added;         // regions
    const char* name;  // of the region changed, when one remains
  } changes[] = {{AddArgs("Hostile"), 1, "Hostile"},
                 {{"modify", "Region6", "--name", "Changed"}, 0, "Changed"},
                 {{"delete", "Region6"}, -1, nullptr}};
  for (const auto& [args, added, name] : changes) {
    SCOPED_TRACE(args.front());
    Regions regions = Listed();
    if (added < 1 && regions.size() < 6) return;
    const std::string bytes = ReadBytes(RegionFile());
    const testing::CliResult r = Cli(args);
    EXPECT_TRUE(Leftovers().empty());
    if (r.status != 0) {
      EXPECT_EQ(r.status, 1) << r.err;
      EXPECT_GT(r.err.size(), 1u);
      EXPECT_EQ(ReadBytes(RegionFile()), bytes);
      continue;
    }
    const Regions now = Listed();
    ASSERT_EQ(now.size(), regions.size() + added);
    if (added == 1) regions.push_back(now.back());
    if (added == 0) regions[5] = now[5];
    if (added == -1) regions.erase(regions.begin() + 5);
    for (size_t i = 5; added == -1 && i < regions.size(); ++i) {
      regions[i].SectionName = now[i].SectionName;
      regions[i].RegionType = now[i].RegionType;
    }
    EXPECT_TRUE(!name || (added == 1 ? now.back() : now[5]).RegionName == name);
    EXPECT_TRUE(regions == now) << "a region other than the one changed has changed";
  }
}

INSTANTIATE_TEST_SUITE_P(Files, HostileFileTest, ::testing::ValuesIn(HostileFiles()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quillmap
