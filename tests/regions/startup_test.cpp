// The start-up sequence driven through a recording window: the order of its steps, the data
// folder and file roads, the model roads, its failures and the two warnings.
#include "regions/startup.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "regions/read_only.h"
#include "settings/error.h"
#include "settings/temp_folder.h"
#include "support/fake_ui.h"
#include "sysfile/system_file.h"
#include "sysfile/system_file_writer.h"

namespace quillmap {
namespace {

using ::testing::ElementsAre;
using testing::FakeUi;
using ::testing::IsEmpty;

// Records each call as one text; messages shown through `ui` are recorded in the same log.
class RecordingWindow : public StartupWindow {
 public:
  explicit RecordingWindow(std::vector<std::string>& log) : log_(log) {}

  bool EarlierInstanceRunning() override {
    log_.push_back("EarlierInstanceRunning");
    return earlier_instance;
  }
  bool ActivatePrevInstance() override {
    log_.push_back("ActivatePrevInstance");
    return earlier_instance_found;
  }
  void SetHelpFile(const std::string& path) override { log_.push_back("SetHelpFile " + path); }
  void CentreOnScreen() override { log_.push_back("CentreOnScreen"); }
  void SetupToolbar() override { log_.push_back("SetupToolbar"); }
  void ShowSelectScanner() override {
    log_.push_back("ShowSelectScanner");
    if (on_select_scanner) on_select_scanner();
  }
  void ShowScannerCaption(const std::string& caption) override {
    log_.push_back("ShowScannerCaption " + caption);
  }
  void SetCornerCaptions(const std::string& ulc, const std::string& lrc) override {
    log_.push_back("SetCornerCaptions " + ulc + " " + lrc);
  }
  void LoadRegionList() override {
    log_.push_back("LoadRegionList");
    if (list_has_invalid_regions) invalid_ = true;
  }
  void SelectRows(int first, int last) override {
    log_.push_back("SelectRows " + std::to_string(first) + " " + std::to_string(last));
  }
  void ShowWindow() override { log_.push_back("ShowWindow"); }
  void SetDefaultRegionName(const std::string& name) override {
    log_.push_back("SetDefaultRegionName [" + name + "]");
  }
  bool InvalidRegionsFound() const override { return invalid_; }
  void ClearInvalidRegionsFound() override { invalid_ = false; }
  void CloseWindow() override { log_.push_back("CloseWindow"); }

  bool earlier_instance = false;
  bool earlier_instance_found = true;
  bool list_has_invalid_regions = false;
  std::function<void()> on_select_scanner;

 private:
  std::vector<std::string>& log_;
  bool invalid_ = false;
};

class LoggingUi : public FakeUi {
 public:
  explicit LoggingUi(std::vector<std::string>& log) : log_(log) {}
  MessageAnswer ShowMessage(const std::string& text, MessageButtons buttons,
                            MessageIcon icon) override {
    log_.push_back(std::string(icon == MessageIcon::kInformation ? "Info " : "Message ") + text);
    return FakeUi::ShowMessage(text, buttons, icon);
  }

 private:
  std::vector<std::string>& log_;
};

constexpr const char* kModels =
    "VX6600 2.00 0.50 73.00 24.50 71.00 24.00 0.50 0.50\n"
    "VX4400 3.00 1.00 63.00 24.00 60.00 23.00 1.00 1.00\n"
    "vx2200e 5.00 1.25 45.00 23.75 36.00 20.00 2.00 2.00\n";

class StartupTest : public ::testing::Test {
 protected:
  StartupTest() : window_(log_), ui_(log_) {
    ::mkdir(Registry().c_str(), 0700);
    ::mkdir(ProgramFolder().c_str(), 0755);
  }

  std::string Registry() const { return folder_.Data() + "/registry"; }
  std::string ProgramFolder() const { return folder_.Data() + "/program"; }
  std::string DataFolder() const { return folder_.Data() + "/"; }

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

  void WriteDataFiles(const std::string& folder, SystemFileLayout layout) {
    WriteBytes(folder + kRegionFileName, "[ScanRegions]\r\nNumRegions=0\r\n");
    const std::string models =
        layout == SystemFileLayout::kSingleModel ? "ONE 1 2 50 20 40 15 1 1\n" : kModels;
    WriteBytes(folder + kSystemFileName, BuildSystemFile(ParseModelDescriptions(models), layout));
  }

  StartupOutcome Run(const std::string& command_line) {
    const StartupInputs inputs{RegistryStore(Registry()), command_line, ProgramFolder()};
    return RunStartup(inputs, global_, window_, ui_);
  }

  TempFolder folder_;
  std::vector<std::string> log_;
  Global global_;
  RecordingWindow window_;
  LoggingUi ui_;
};

TEST_F(StartupTest, RunsEveryStepInOrderWithTheCommandLineModel) {
  SetRegistry(folder_.Data(), "  Array Area ");
  WriteDataFiles(DataFolder(), SystemFileLayout::kModelTable);

  EXPECT_EQ(Run("vx4400"), StartupOutcome::kRunning);

  EXPECT_THAT(
      log_, ElementsAre("EarlierInstanceRunning", "SetHelpFile Help/Quillmap.pdf", "CentreOnScreen",
                        "SetupToolbar", "ShowScannerCaption Scanner VX4400",
                        "SetCornerCaptions (3.00, 1.00) (63.00, 24.00)", "LoadRegionList",
                        "SelectRows 1 1", "ShowWindow", "SetDefaultRegionName [Array Area]"));
  EXPECT_EQ(global_.DataFolderPath, DataFolder());
  EXPECT_EQ(global_.RegionFilePath, DataFolder() + "ChipRegions.ini");
  EXPECT_EQ(global_.SystemFilePath, DataFolder() + "RegionDB.sys");
  EXPECT_EQ(global_.Scanner.Limits.MaxWidth, 60.0);
}

TEST_F(StartupTest, CornerCaptionsUseTheUsersDecimalSeparator) {
  SetRegistry(DataFolder(), "Full Slide");
  WriteDataFiles(DataFolder(), SystemFileLayout::kModelTable);
  global_.DecimalSeparator = ',';

  Run("VX6600");

  EXPECT_THAT(log_, ::testing::Contains("SetCornerCaptions (2,00, 0,50) (73,00, 24,50)"));
}

TEST_F(StartupTest, RegistryPathIsTrimmedAndGetsItsSeparator) {
  SetRegistry("  " + folder_.Data() + "  ", "Full Slide");
  WriteDataFiles(DataFolder(), SystemFileLayout::kModelTable);

  Run("VX6600");

  EXPECT_EQ(global_.DataFolderPath, DataFolder());
}

TEST_F(StartupTest, FallsBackToTheProgramFolder) {
  SetRegistry(folder_.Data() + "/nowhere", "Full Slide");
  WriteDataFiles(ProgramFolder() + "/", SystemFileLayout::kModelTable);

  EXPECT_EQ(Run("VX6600"), StartupOutcome::kRunning);
  EXPECT_EQ(global_.DataFolderPath, ProgramFolder() + "/");
  EXPECT_EQ(global_.SystemFilePath, ProgramFolder() + "/RegionDB.sys");

  // A program folder that already ends in the separator gets no second one.
  global_ = Global();
  const StartupInputs inputs{RegistryStore(Registry()), "VX6600", ProgramFolder() + "/"};
  RunStartup(inputs, global_, window_, ui_);
  EXPECT_EQ(global_.DataFolderPath, ProgramFolder() + "/");
}

TEST_F(StartupTest, EmptyRegistryPathMeansTheRootFolder) {
  // No value at all: the root folder is the first candidate, which holds no region file.
  WriteDataFiles(ProgramFolder() + "/", SystemFileLayout::kModelTable);
  EXPECT_EQ(FolderWithSeparator(""), "/");
  EXPECT_EQ(FolderWithSeparator("   "), "/");

  EXPECT_EQ(Run("VX6600"), StartupOutcome::kRunning);
  EXPECT_EQ(global_.DataFolderPath, ProgramFolder() + "/");
}

TEST_F(StartupTest, MissingFilesEndTheStartUpWithTheirPath) {
  SetRegistry(folder_.Data(), "Full Slide");

  // No region file anywhere: the path reported is the program folder's.
  EXPECT_EQ(Run(""), StartupOutcome::kFailed);
  EXPECT_THAT(ui_.Texts(), ElementsAre("Unable to locate " + ProgramFolder() + "/ChipRegions.ini"));
  EXPECT_EQ(log_.back(), "CloseWindow");
  EXPECT_THAT(log_, ::testing::Not(::testing::Contains("ShowWindow")));

  // A region file in the registry's folder but no system file there: the program folder's
  // system file is not a second candidate.
  ui_.messages.clear();
  WriteBytes(DataFolder() + kRegionFileName, "");
  WriteDataFiles(ProgramFolder() + "/", SystemFileLayout::kModelTable);
  EXPECT_EQ(Run(""), StartupOutcome::kFailed);
  EXPECT_THAT(ui_.Texts(), ElementsAre("Unable to locate " + DataFolder() + "RegionDB.sys"));
  EXPECT_EQ(ui_.messages[0].icon, MessageIcon::kNone);
}

TEST_F(StartupTest, SystemFileFailuresShowTheirDescription) {
  SetRegistry(folder_.Data(), "Full Slide");
  WriteDataFiles(DataFolder(), SystemFileLayout::kModelTable);
  // The dialog's OK picks a name that the file no longer holds.
  window_.on_select_scanner = [this] {
    SelectModel(global_.SystemFilePath, "VX9900", global_.Scanner);
  };

  EXPECT_EQ(Run(""), StartupOutcome::kFailed);
  EXPECT_THAT(ui_.Texts(), ElementsAre("Unable to locate the scan region VX9900 in system file (" +
                                       DataFolder() + "RegionDB.sys)"));
  EXPECT_EQ(log_.back(), "CloseWindow");

  // A system file too short for its header.
  ui_.messages.clear();
  WriteBytes(DataFolder() + kSystemFileName, "\x02");
  EXPECT_EQ(Run("VX6600"), StartupOutcome::kFailed);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text,
            "Unable to read the scan region system file (" + DataFolder() + "RegionDB.sys)");
}

TEST_F(StartupTest, OtherErrorsShowThePlatformsText) {
  SetRegistry(folder_.Data(), "Full Slide");
  WriteDataFiles(DataFolder(), SystemFileLayout::kModelTable);
  window_.on_select_scanner = [] { throw std::runtime_error("grid failure"); };

  EXPECT_EQ(Run(""), StartupOutcome::kFailed);
  EXPECT_THAT(ui_.Texts(), ElementsAre("grid failure"));
}

TEST_F(StartupTest, ModelRoads) {
  SetRegistry(folder_.Data(), "Full Slide");

  // A single-model file ignores the command line and shows no dialog.
  WriteDataFiles(DataFolder(), SystemFileLayout::kSingleModel);
  Run("VX4400");
  EXPECT_THAT(log_, ::testing::Contains("ShowScannerCaption Scanner R7720C"));
  EXPECT_THAT(log_, ::testing::Not(::testing::Contains("ShowSelectScanner")));

  // Blanks around a listed model name: no match, so the dialog; closed without a choice, it
  // leaves the empty model and zero bounds.
  log_.clear();
  global_ = Global();
  WriteDataFiles(DataFolder(), SystemFileLayout::kModelTable);
  EXPECT_EQ(Run(" vx4400 "), StartupOutcome::kRunning);
  EXPECT_THAT(log_, ::testing::IsSupersetOf({"ShowSelectScanner", "ShowScannerCaption Scanner ",
                                             "SetCornerCaptions (0.00, 0.00) (0.00, 0.00)"}));

  // The dialog's choice is the model in force when the captions are set.
  log_.clear();
  global_ = Global();
  window_.on_select_scanner = [this] {
    SelectModel(global_.SystemFilePath, "vx2200e", global_.Scanner);
  };
  Run("");
  EXPECT_THAT(log_, ::testing::Contains("ShowScannerCaption Scanner vx2200e"));
}

TEST_F(StartupTest, WarningsComeAfterTheWindowInOrder) {
  SetRegistry(folder_.Data(), "   ");
  WriteDataFiles(DataFolder(), SystemFileLayout::kModelTable);
  window_.list_has_invalid_regions = true;

  EXPECT_EQ(Run("VX6600"), StartupOutcome::kRunning);

  const std::vector<std::string> tail(log_.end() - 4, log_.end());
  EXPECT_THAT(tail, ElementsAre("ShowWindow", "SetDefaultRegionName []",
                                "Info Default scan region is not set.",
                                std::string("Message ") + kInvalidRegionsMessage));
  EXPECT_EQ(std::string(kInvalidRegionsMessage),
            "Invalid regions are detected for this model of the scanner. \r\n"
            "These could be valid regions for different models of the scanner. \r\n"
            "Invalid regions will be rejected by this model until they are fixed.");
  EXPECT_FALSE(window_.InvalidRegionsFound());
}

TEST_F(StartupTest, AnEarlierInstanceTakesOverBeforeAnythingIsRead) {
  SetRegistry(folder_.Data(), "Full Slide");
  WriteDataFiles(DataFolder(), SystemFileLayout::kModelTable);
  window_.earlier_instance = true;

  EXPECT_EQ(Run("VX6600"), StartupOutcome::kHandedToEarlierInstance);
  EXPECT_THAT(log_, ElementsAre("EarlierInstanceRunning", "ActivatePrevInstance", "CloseWindow"));
  EXPECT_THAT(ui_.messages, IsEmpty());
  EXPECT_EQ(global_.DataFolderPath, "");

  // Not reachable: the sequence ends and the empty window stays.
  log_.clear();
  window_.earlier_instance_found = false;
  EXPECT_EQ(Run("VX6600"), StartupOutcome::kEarlierInstanceNotFound);
  EXPECT_THAT(log_, ElementsAre("EarlierInstanceRunning", "ActivatePrevInstance"));
}

TEST(IniFileReadOnlyTest, OnlyTheModesWriteBitsCount) {
  TempFolder folder;
  const std::string path = folder / "ChipRegions.ini";
  WriteBytes(path, "[ScanRegions]\r\n");

  ::chmod(path.c_str(), 0644);
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

  // One write bit, even another user's, makes it writable; a read-only folder does not matter.
  ::chmod(path.c_str(), 0464);
  ::chmod(folder.Data().c_str(), 0555);
  EXPECT_FALSE(IniFileReadOnly(path));
  ::chmod(folder.Data().c_str(), 0755);

  try {
    IniFileReadOnly(folder / "missing.ini");
    ADD_FAILURE() << "no error for a missing file";
  } catch (const Error& error) {
    EXPECT_EQ(error.Number(), kErrFileNotFound);
  }
}

}  // namespace
}  // namespace quillmap
