// The new, modify and delete commands on real files through a window that lists the file as the
// main window does: their messages, the rows they touch, the registry's default region and the
// selection they leave.
#include "regions/region_commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "regions/region_file.h"
#include "regions/save_region.h"
#include "regions/startup.h"
#include "settings/temp_folder.h"
#include "support/fake_ui.h"

namespace quillmap {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The text before `marker`, with NumRegions=6 replaced by `count`.
std::string Before(const std::string& text, const std::string& marker, const std::string& count) {
  return Replaced(text.substr(0, text.find(marker)), "NumRegions=6", "NumRegions=" + count);
}

// The list as the main window holds it; logs the dialogs, loads and selections in order.
struct FakeWindow : CommandWindow {
  explicit FakeWindow(Global& g) : global(g) {}

  bool IniFileReadOnly() const override { return false; }
  void GetSelectedRows(int* f, int* l) const override { *f = first, *l = last; }
  std::string CellText(int row, int column) const override {
    return rows.at(row - 1).cells[column];
  }
  int DataRowCount() const override { return static_cast<int>(rows.size()); }
  void ClearCurrentRegion() override { global.CurrentRegion = ScanRegion(); }
  bool RunEditDialog(const std::string& mode) override {
    calls.push_back(mode + " " + global.CurrentRegion.SectionName + " " +
                    global.CurrentRegion.RegionName);
    return dialog();
  }
  void LoadRegionList() override {
    calls.push_back("LoadRegionList");
    RegionList list = quillmap::LoadRegionList(global.RegionFilePath, false, ModelLimits(), '.');
    rows = std::move(list.rows);
    supplied_default = list.SuppliedDefaultName;
  }
  void SelectRows(int f, int l) override {
    calls.push_back("SelectRows " + std::to_string(f) + " " + std::to_string(l));
    first = f, last = l;
  }
  const std::string& DefaultRegionName() const override { return default_name; }
  void SetDefaultRegionName(const std::string& name) override { default_name = name; }
  const std::string& SuppliedDefaultName() const override { return supplied_default; }

  Global& global;
  std::vector<RegionRow> rows;
  int first = 1;
  int last = 1;
  std::string default_name = "Spot A";
  std::string supplied_default;
  std::vector<std::string> calls;
  // The edit dialog: true for Save, false for Exit.
  std::function<bool()> dialog = [] { return false; };
};

// Rows 1 to 3 are supplied regions (Full Slide, the supplied default; Array Area; Block A), then
// Spot A, Spot B (Custom "yes") and Spot C.
class RegionCommandsTest : public ::testing::Test {
 protected:
  RegionCommandsTest() {
    global_.RegionFilePath = folder_ / kRegionFileName;
    global_.Scanner.Limits = {0, 0, 100, 100, 100, 100, 0.5, 0.5};
    Load(fixture_);
    WriteDefaultRegionName(registry_, "Spot A");
  }

  void Load(const std::string& bytes) {
    WriteBytes(global_.RegionFilePath, bytes);
    window_.LoadRegionList();
    window_.calls.clear();
  }
  std::string FileNow() const { return ReadBytes(global_.RegionFilePath); }
  std::string RegistryDefault() const {
    return ReadRegistryString(registry_, RegistryRoot::kCurrentUser, kScanOptionsKey,
                              kRegionNameValue, "(none)");
  }
  // The edit dialog's Save of these box texts.
  bool Save(bool is_new, const RegionTexts& boxes) {
    SaveRequest request{
        is_new, boxes,
        InitialRangeCaptions(global_.Scanner.Limits, boxes.x_pos, boxes.y_pos, '.').captions};
    return SaveRegion(global_, ui_, request).outcome == SaveOutcome::kSaved;
  }
  // The edit dialog's Save of CurrentRegion under `name`.
  bool SaveUnder(const std::string& name) {
    const ScanRegion& r = global_.CurrentRegion;
    return Save(false, {name, r.SlideX, r.SlideY, r.RegionWidth, r.RegionHeight});
  }

  TempFolder folder_;
  const std::string fixture_ = ReadBytes(QUILLMAP_TEST_DATA "/commands/ChipRegions.ini");
  Global global_;
  testing::FakeUi ui_;
  FakeWindow window_{global_};
  RegistryStore registry_{folder_ / "registry"};
  RegionCommands commands_{global_, window_, ui_, registry_};
};

TEST_F(RegionCommandsTest, NewSelectsTheNewLastRowOrKeepsTheSelection) {
  window_.first = 2, window_.last = 3;
  commands_.NewCommand();
  // CurrentRegion is emptied before the dialog opens.
  global_.CurrentRegion.RegionName = "left over";
  window_.dialog = [this] {
    EXPECT_EQ(global_.CurrentRegion, ScanRegion());
    return Save(true, {"Spot D", "10.00", "5.00", "8.00", "4.00"});
  };
  commands_.NewCommand();
  EXPECT_THAT(window_.calls, ElementsAre("New  ", "LoadRegionList", "SelectRows 2 3", "New  ",
                                         "LoadRegionList", "SelectRows 7 7"));
  EXPECT_EQ(window_.CellText(7, 1), "Spot D");
  EXPECT_EQ(window_.CellText(7, 6), "Region7");
  EXPECT_THAT(ui_.messages, IsEmpty());
}

TEST_F(RegionCommandsTest, NothingSelectedOrNothingListed) {
  window_.first = window_.last = 0;
  commands_.ModifyCommand();
  commands_.DeleteCommand();
  Load(Crlf("[ScanRegions]\nNumRegions=0\n"));
  commands_.ModifyCommand();
  commands_.DeleteCommand();
  EXPECT_THAT(ui_.Texts(),
              ElementsAre(" Select a scan region to modify", " Select a scan region to delete",
                          "No regions to modify", "No regions to delete"));
  EXPECT_THAT(window_.calls, IsEmpty());
}

TEST_F(RegionCommandsTest, DeleteAsksStopsAtASuppliedRowAndKeepsWhatItDeleted) {
  window_.first = 3, window_.last = 5;  // Block A, Spot A (the default region), Spot B
  ui_.answers = {MessageAnswer::kNo, MessageAnswer::kYes};
  commands_.DeleteCommand();
  EXPECT_EQ(FileNow(), fixture_);
  commands_.DeleteCommand();

  EXPECT_THAT(ui_.Texts(),
              ElementsAre("Are you sure you want to delete scan region(s)?", kConfirmDeleteMessage,
                          "Cannot delete Velmora supplied region Block A"));
  // Spot C, renumbered into the place of Spot A with Spot A's slide section name.
  EXPECT_EQ(FileNow(), Before(fixture_, "[Region4]", "4") +
                           Crlf("[Region4]\nType=CustomerSlide3\nName=Spot C\nCustom=YES\nX=0\n"
                                "Y=0\nW=15000\nH=9000\n\n[CustomerSlide3]\nX=40000\nY=12000\n"
                                "AFX=38500\nAFY=12000\nPKG=5\n\n"));
  // Reloaded; after a failure the selection is not restored.
  EXPECT_THAT(window_.calls, ElementsAre("LoadRegionList"));
  EXPECT_EQ(RegistryDefault(), "Full Slide");
  EXPECT_EQ(window_.DefaultRegionName(), "Full Slide");

  // Deleting the last row, not the default region, selects the new last row.
  window_.calls.clear();
  window_.first = window_.last = 4;
  ui_.answers = {MessageAnswer::kYes};
  commands_.DeleteCommand();
  EXPECT_EQ(FileNow(), Before(fixture_, "[Region4]", "3"));
  EXPECT_THAT(window_.calls, ElementsAre("LoadRegionList", "SelectRows 3 3"));
  EXPECT_EQ(RegistryDefault(), "Full Slide");
}

TEST_F(RegionCommandsTest, ModifyOpensTheDialogForEachCustomerRowAndRenamesTheDefault) {
  window_.default_name = "Spot B";
  window_.first = 3, window_.last = 6;
  int dialogs = 0;
  window_.dialog = [&] {  // Exit, Save under a new name, Save unchanged
    ++dialogs;
    return dialogs == 1 ? false : dialogs == 2 ? SaveUnder("Spot Bee") : SaveUnder("Spot C");
  };
  commands_.ModifyCommand();

  EXPECT_THAT(ui_.Texts(), ElementsAre("Cannot modify Velmora supplied regions Block A"));
  EXPECT_THAT(window_.calls,
              ElementsAre("Modify Region4 Spot A", "Modify Region5 Spot B", "Modify Region6 Spot C",
                          "LoadRegionList", "SelectRows 3 6"));
  EXPECT_EQ(FileNow(), Replaced(Replaced(fixture_, "Name=Spot B", "Name=Spot Bee"), "Custom=yes",
                                "Custom=YES"));
  EXPECT_EQ(RegistryDefault(), "Spot Bee");
  EXPECT_EQ(window_.DefaultRegionName(), "Spot Bee");

  // The comparison is exact: "spot bee" is not the default region's name.
  window_.default_name = "spot bee";
  window_.first = window_.last = 5;
  window_.dialog = [this] { return SaveUnder("Spot Q"); };
  commands_.ModifyCommand();
  EXPECT_EQ(window_.CellText(5, 1), "Spot Q");
  EXPECT_EQ(RegistryDefault(), "Spot Bee");
}

TEST_F(RegionCommandsTest, AChangeMadeByAnotherProgramIsReportedAndReloaded) {
  window_.first = window_.last = 4;  // the list shows Spot A
  WriteBytes(global_.RegionFilePath, Replaced(fixture_, "Name=Spot A", "Name=Spot X"));
  window_.dialog = [] {
    ADD_FAILURE() << "a dialog on a region that the list no longer shows";
    return false;
  };
  commands_.ModifyCommand();
  EXPECT_EQ(window_.CellText(4, 1), "Spot X");

  // Now the list shows Spot X, and the other program puts Spot A back.
  WriteBytes(global_.RegionFilePath, fixture_);
  ui_.answers = {MessageAnswer::kYes};
  commands_.DeleteCommand();

  EXPECT_THAT(ui_.Texts(),
              ElementsAre(kChangedOnDiskMessage, "Are you sure you want to delete scan region(s)?",
                          kChangedOnDiskMessage));
  EXPECT_THAT(window_.calls, ElementsAre("LoadRegionList", "LoadRegionList"));
  EXPECT_EQ(FileNow(), fixture_);
  EXPECT_EQ(RegistryDefault(), "Spot A");
}

}  // namespace
}  // namespace quillmap
