// The start-up sequence through a recording window: the order of its steps, an earlier instance
// and a failure; and the read-only guard. The window's own tests cover the model roads and the
// warnings, the command-line tool's the roads to the data folder.
#include "regions/startup.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "regions/read_only.h"
#include "settings/error.h"
#include "settings/temp_folder.h"
#include "support/fake_ui.h"
#include "sysfile/system_file_writer.h"

namespace quillmap {
namespace {

using ::testing::ElementsAre;

// Records each call as one text.
class RecordingWindow : public StartupWindow {
 public:
  bool EarlierInstanceRunning() override { return Log("EarlierInstanceRunning"), earlier; }
  bool ActivatePrevInstance() override { return Log("ActivatePrevInstance"), earlier_found; }
  void SetHelpFile(const std::string& path) override { Log("SetHelpFile " + path); }
  void CentreOnScreen() override { Log("CentreOnScreen"); }
  void SetupToolbar() override { Log("SetupToolbar"); }
  void ShowSelectScanner() override { throw std::runtime_error("no dialog expected"); }
  void ShowScannerCaption(const std::string& text) override { Log("Caption " + text); }
  void SetCornerCaptions(const std::string& ulc, const std::string& lrc) override {
    Log("Corners " + ulc + " " + lrc);
  }
  void LoadRegionList() override { Log("LoadRegionList"); }
  void SelectRows(int first, int last) override {
    Log("SelectRows " + std::to_string(first) + " " + std::to_string(last));
  }
  void ShowWindow() override { Log("ShowWindow"); }
  void SetDefaultRegionName(const std::string& name) override { Log("Default [" + name + "]"); }
  bool InvalidRegionsFound() const override { return false; }
  void ClearInvalidRegionsFound() override {}
  void CloseWindow() override { Log("CloseWindow"); }

  void Log(const std::string& call) { calls.push_back(call); }

  std::vector<std::string> calls;
  bool earlier = false;
  bool earlier_found = true;
};

class StartupTest : public ::testing::Test {
 protected:
  StartupTest() {
    // Trimmed, and given its separator.
    WriteRegistryString(registry_, RegistryRoot::kLocalMachine, kMicroarrayKey, kPathValue,
                        "  " + folder_.Data() + "  ");
    WriteRegistryString(registry_, RegistryRoot::kCurrentUser, kScanOptionsKey, kRegionNameValue,
                        "\t Array Area\v ");
    WriteBytes(folder_ / kRegionFileName, "[ScanRegions]\r\nNumRegions=0\r\n");
    WriteBytes(folder_ / kSystemFileName,
               BuildSystemFile(ParseModelDescriptions("VX4400 3 1 63 24 60 23 1 1\n"),
                               SystemFileLayout::kModelTable));
  }

  StartupOutcome Run() {
    window_.calls.clear();
    return RunStartup({registry_, "vx4400", folder_ / "program"}, global_, window_, ui_);
  }

  TempFolder folder_;
  RegistryStore registry_{folder_.Data() + "/registry"};
  Global global_;
  RecordingWindow window_;
  testing::FakeUi ui_;
};

TEST_F(StartupTest, RunsEveryStepInOrder) {
  global_.DecimalSeparator = ',';
  EXPECT_EQ(Run(), StartupOutcome::kRunning);
  EXPECT_THAT(window_.calls, ElementsAre("EarlierInstanceRunning", "SetHelpFile Help/Quillmap.pdf",
                                         "CentreOnScreen", "SetupToolbar", "Caption Scanner VX4400",
                                         "Corners (3,00, 1,00) (63,00, 24,00)", "LoadRegionList",
                                         "SelectRows 1 1", "ShowWindow", "Default [Array Area]"));
  EXPECT_EQ(global_.RegionFilePath, folder_.Data() + "/ChipRegions.ini");
  EXPECT_EQ(global_.SystemFilePath, folder_.Data() + "/RegionDB.sys");
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(StartupTest, AnEarlierInstanceOrAnErrorEndsTheSequence) {
  window_.earlier = true;
  EXPECT_EQ(Run(), StartupOutcome::kHandedToEarlierInstance);
  EXPECT_THAT(window_.calls,
              ElementsAre("EarlierInstanceRunning", "ActivatePrevInstance", "CloseWindow"));
  EXPECT_EQ(global_.DataFolderPath, "");
  // Not reachable: nothing is loaded and the empty window stays.
  window_.earlier_found = false;
  EXPECT_EQ(Run(), StartupOutcome::kEarlierInstanceNotFound);
  EXPECT_THAT(window_.calls, ElementsAre("EarlierInstanceRunning", "ActivatePrevInstance"));
  EXPECT_TRUE(ui_.messages.empty());

  // An error of any kind is shown and closes the window; a model table of no models leaves
  // the dialog as the only road.
  window_.earlier = false;
  WriteBytes(folder_ / kSystemFileName, BuildSystemFile({}, SystemFileLayout::kModelTable));
  EXPECT_EQ(Run(), StartupOutcome::kFailed);
  EXPECT_THAT(ui_.Texts(), ElementsAre("no dialog expected"));
  EXPECT_EQ(window_.calls.back(), "CloseWindow");
}

TEST(IniFileReadOnlyTest, OnlyTheModesWriteBitsCount) {
  TempFolder folder;
  const std::string path = folder / "ChipRegions.ini";
  WriteBytes(path, "[ScanRegions]\r\n");
  EXPECT_FALSE(IniFileReadOnly(path));
  ::chmod(path.c_str(), 0444);  // refused even for root, who could write it
  EXPECT_THROW(IniFileReadOnly(path), Error);
  // One write bit, even another user's, is enough; a read-only folder does not matter.
  ::chmod(path.c_str(), 0464);
  ::chmod(folder.Data().c_str(), 0555);
  EXPECT_FALSE(IniFileReadOnly(path));
  ::chmod(folder.Data().c_str(), 0755);
  EXPECT_THROW(IniFileReadOnly(folder / "missing.ini"), Error);
}

}  // namespace
}  // namespace quillmap
