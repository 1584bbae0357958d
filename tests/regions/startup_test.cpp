// The start-up sequence through a recording window: the order of its steps, the roads to the
// data folder, an earlier instance, and the read-only guard. The window's own tests cover the
// failures, the model roads and the warnings.
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
    ::mkdir(Registry().c_str(), 0700);
    ::mkdir(ProgramFolder().c_str(), 0755);
  }

  std::string Registry() const { return folder_.Data() + "/registry"; }
  std::string ProgramFolder() const { return folder_.Data() + "/program"; }

  void SetRegistry(const std::string& path, const std::string& region_name) {
    WriteBytes(Registry() + "/HKEY_LOCAL_MACHINE.reg",
               "Windows Registry Editor Version 5.00\r\n\r\n"
               "[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Microarray]\r\n\"Path\"=\"" +
                   path + "\"\r\n");
    WriteBytes(Registry() + "/HKEY_CURRENT_USER.reg",
               "Windows Registry Editor Version 5.00\r\n\r\n"
               "[HKEY_CURRENT_USER\\Software\\Velmora\\Microarray\\Scanner\\ScanOptions]\r\n"
               "\"RegionName\"=\"" +
                   region_name + "\"\r\n");
  }

  // `folder` ends in the separator.
  void WriteDataFiles(const std::string& folder) {
    WriteBytes(folder + kRegionFileName, "[ScanRegions]\r\nNumRegions=0\r\n");
    WriteBytes(folder + kSystemFileName,
               BuildSystemFile(ParseModelDescriptions("VX4400 3 1 63 24 60 23 1 1\n"),
                               SystemFileLayout::kModelTable));
  }

  StartupOutcome Run(const std::string& program_folder) {
    const StartupInputs inputs{RegistryStore(Registry()), "vx4400", program_folder};
    return RunStartup(inputs, global_, window_, ui_);
  }

  TempFolder folder_;
  Global global_;
  RecordingWindow window_;
  testing::FakeUi ui_;
};

TEST_F(StartupTest, RunsEveryStepInOrder) {
  SetRegistry(folder_.Data(), "  Array Area ");
  WriteDataFiles(folder_.Data() + "/");
  global_.DecimalSeparator = ',';

  EXPECT_EQ(Run(ProgramFolder()), StartupOutcome::kRunning);

  EXPECT_THAT(window_.calls, ElementsAre("EarlierInstanceRunning", "SetHelpFile Help/Quillmap.pdf",
                                         "CentreOnScreen", "SetupToolbar", "Caption Scanner VX4400",
                                         "Corners (3,00, 1,00) (63,00, 24,00)", "LoadRegionList",
                                         "SelectRows 1 1", "ShowWindow", "Default [Array Area]"));
  EXPECT_EQ(global_.DataFolderPath, folder_.Data() + "/");
  EXPECT_EQ(global_.RegionFilePath, folder_.Data() + "/ChipRegions.ini");
  EXPECT_EQ(global_.SystemFilePath, folder_.Data() + "/RegionDB.sys");
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(StartupTest, DataFolderRoads) {
  // The registry's Path is trimmed and gets its separator.
  SetRegistry("  " + folder_.Data() + "  ", "Full Slide");
  WriteDataFiles(folder_.Data() + "/");
  Run(ProgramFolder());
  EXPECT_EQ(global_.DataFolderPath, folder_.Data() + "/");

  // No region file there: the program's folder, which may already end in the separator.
  SetRegistry(folder_.Data() + "/nowhere", "Full Slide");
  WriteDataFiles(ProgramFolder() + "/");
  EXPECT_EQ(Run(ProgramFolder()), StartupOutcome::kRunning);
  EXPECT_EQ(global_.DataFolderPath, ProgramFolder() + "/");
  EXPECT_EQ(Run(ProgramFolder() + "/"), StartupOutcome::kRunning);
  EXPECT_EQ(global_.SystemFilePath, ProgramFolder() + "/RegionDB.sys");

  // No Path at all is the root folder.
  EXPECT_EQ(FolderWithSeparator(""), "/");
  EXPECT_EQ(FolderWithSeparator("  /data  "), "/data/");
}

TEST_F(StartupTest, AnErrorOfAnyKindIsShownAndClosesTheWindow) {
  SetRegistry(folder_.Data(), "Full Slide");
  WriteDataFiles(folder_.Data() + "/");
  // A model table of no models: the dialog is the only road.
  WriteBytes(folder_.Data() + "/" + kSystemFileName,
             BuildSystemFile({}, SystemFileLayout::kModelTable));

  EXPECT_EQ(Run(ProgramFolder()), StartupOutcome::kFailed);
  EXPECT_THAT(ui_.Texts(), ElementsAre("no dialog expected"));
  EXPECT_EQ(window_.calls.back(), "CloseWindow");
}

TEST_F(StartupTest, AnEarlierInstanceTakesOverBeforeAnythingIsRead) {
  SetRegistry(folder_.Data(), "Full Slide");
  WriteDataFiles(folder_.Data() + "/");
  window_.earlier = true;

  EXPECT_EQ(Run(ProgramFolder()), StartupOutcome::kHandedToEarlierInstance);
  EXPECT_THAT(window_.calls,
              ElementsAre("EarlierInstanceRunning", "ActivatePrevInstance", "CloseWindow"));
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(global_.DataFolderPath, "");

  // Not reachable: the sequence ends there and the empty window stays.
  window_.calls.clear();
  window_.earlier_found = false;
  EXPECT_EQ(Run(ProgramFolder()), StartupOutcome::kEarlierInstanceNotFound);
  EXPECT_THAT(window_.calls, ElementsAre("EarlierInstanceRunning", "ActivatePrevInstance"));
}

TEST(IniFileReadOnlyTest, OnlyTheModesWriteBitsCount) {
  TempFolder folder;
  const std::string path = folder / "ChipRegions.ini";
  WriteBytes(path, "[ScanRegions]\r\n");
  EXPECT_FALSE(IniFileReadOnly(path));

  // Refused even for root, who could write it.
  ::chmod(path.c_str(), 0444);
  try {
    IniFileReadOnly(path);
    ADD_FAILURE() << "no error for a read-only file";
  } catch (const Error& error) {
    EXPECT_EQ(error.Number(), kErrFileAccess);
    EXPECT_EQ(error.Description(), "Unable to open readonly file ");
  }

  // One write bit, even another user's, is enough; a read-only folder does not matter.
  ::chmod(path.c_str(), 0464);
  ::chmod(folder.Data().c_str(), 0555);
  EXPECT_FALSE(IniFileReadOnly(path));
  ::chmod(folder.Data().c_str(), 0755);

  EXPECT_THROW(IniFileReadOnly(folder / "missing.ini"), Error);
}

}  // namespace
}  // namespace quillmap
