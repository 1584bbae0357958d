// The region commands on the real window: reached from the menus, the toolbar and a
// double-click, with the real edit dialog answered as a user would.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAction>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include "app_fixture.h"

namespace quillmap {
namespace {

using ::testing::ElementsAre;

class CommandsTest : public AppTest {
 protected:
  void SetUp() override {
    // The default region is a customer region.
    WriteRegistry(Data().toStdString(), "Customer Array");
    window_->SetRegistry(RegistryStore(Registry().toStdString()));
    ASSERT_EQ(Start("VX4400"), StartupOutcome::kRunning);
    ui_.messages.clear();  // the start-up's invalid-regions warning
    original_ = RegionFile();
  }

  std::string RegionFile() const { return ReadAll(Data() + kRegionFileName); }
  std::string RegionName() const {
    const std::string reg = ReadAll(Registry() + "/HKEY_CURRENT_USER.reg");
    const size_t at = reg.find("\"RegionName\"=\"") + 14;
    return reg.substr(at, reg.find('"', at) - at);
  }
  static std::string ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "";
  }
  ino_t FileId() const {
    struct stat info {};
    ::stat((Data() + kRegionFileName).toLocal8Bit().constData(), &info);
    return info.st_ino;
  }

  // Once the edit dialog is up: replaces the named boxes' texts by typing, then clicks `button`.
  void AnswerEditDialog(std::vector<std::pair<const char*, QString>> boxes, const char* button) {
    OnModalDialog([this, boxes, button](QWidget* dialog) {
      dialog_title_ = dialog->windowTitle();
      for (const auto& [name, text] : boxes) {
        auto* box = dialog->findChild<QLineEdit*>(name);
        box->setFocus(Qt::TabFocusReason);
        box->selectAll();
        QTest::keyClicks(box, text);
      }
      QTest::mouseClick(dialog->findChild<QPushButton*>(button), Qt::LeftButton);
    });
  }

  std::pair<int, int> Selected() const {
    int first = -1;
    int last = -1;
    window_->GetSelectedRows(&first, &last);
    return {first, last};
  }

  std::string original_;
  QString dialog_title_;
};

std::string Crlf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? "\r\n" : std::string(1, c);
  return out;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  return text.replace(text.find(from), from.size(), to);
}

TEST_F(CommandsTest, NewFromTheMenuAddsTheRegionAndSelectsIt) {
  window_->SelectRows(2, 3);
  AnswerEditDialog({{"txtName", "Spot D"},
                    {"txtXPos", "10"},
                    {"txtYPos", "5"},
                    {"txtWidth", "8"},
                    {"txtHeight", "4"}},
                   "cmdSave");
  Find<QAction>("mnuFileNew")->trigger();

  EXPECT_EQ(dialog_title_, "Add New Region");
  const std::string expected =
      Replaced(original_, "NumRegions=8", "NumRegions=9") +
      Crlf(
          "[Region9]\nType=CustomerSlide8\nName=Spot D\nCustom=YES\nX=0\nY=0\nW=8000\nH=4000\n\n"
          "[CustomerSlide8]\nX=10000\nY=5000\nAFX=8500\nAFY=5000\nPKG=5\n\n");
  EXPECT_EQ(RegionFile(), expected);
  EXPECT_EQ(window_->CellText(9, 1), "Spot D");
  EXPECT_EQ(Selected(), std::make_pair(9, 9));
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(CommandsTest, ModifyFromTheToolbarAndByDoubleClick) {
  // A double-click and Save with nothing changed: nothing written, not even the same bytes.
  const ino_t before = FileId();
  QTableView* grid = Find<QTableView>("MSFlexGrid1");
  window_->SelectRows(8, 8);
  grid->scrollTo(grid->model()->index(7, 1));
  AnswerEditDialog({}, "cmdSave");
  // A double-click as the mouse gives it: a click, then the second press.
  const QPoint row_8 = grid->visualRect(grid->model()->index(7, 1)).center();
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, row_8);
  QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, row_8);
  EXPECT_EQ(dialog_title_, "Modify Region");
  EXPECT_EQ(FileId(), before);
  EXPECT_EQ(RegionFile(), original_);

  // The default region renamed: the registry follows.
  AnswerEditDialog({{"txtName", "Customer Slide"}}, "cmdSave");
  Find<QAction>("open")->trigger();
  // Saving also puts the autofocus X 1.5 mm left of X.
  const std::string expected =
      Replaced(Replaced(original_, "Name=Customer Array", "Name=Customer Slide"), "Y=3000\r\nAFX=0",
               "Y=3000\r\nAFX=10500");
  EXPECT_EQ(RegionFile(), expected);
  EXPECT_EQ(RegionName(), "Customer Slide");
  EXPECT_EQ(window_->DefaultRegionName(), "Customer Slide");
  EXPECT_EQ(window_->CellText(8, 1), "Customer Slide");
  EXPECT_EQ(Selected(), std::make_pair(8, 8));

  // A supplied region is refused without a dialog.
  window_->SelectRows(2, 2);
  Find<QAction>("mnuFileModify")->trigger();
  EXPECT_THAT(ui_.Texts(), ElementsAre("Cannot modify Velmora supplied regions Array Area"));
}

TEST_F(CommandsTest, DeleteTheDefaultRegionFromTheToolbar) {
  window_->SelectRows(8, 8);
  ui_.answers = {MessageAnswer::kYes};
  Find<QAction>("delete")->trigger();

  EXPECT_THAT(ui_.Texts(), ElementsAre("Are you sure you want to delete scan region(s)?"));
  EXPECT_EQ(RegionFile(), Replaced(original_.substr(0, original_.find("[Region8]")), "NumRegions=8",
                                   "NumRegions=7"));
  EXPECT_EQ(RegionName(), "Array Area");
  EXPECT_EQ(window_->DefaultRegionName(), "Array Area");
  EXPECT_EQ(Selected(), std::make_pair(7, 7));
  EXPECT_EQ(ui_.busy_depth, 0);
}

TEST_F(CommandsTest, ReadOnlyFileIsRefusedFromEveryMenuItem) {
  QFile::setPermissions(Data() + kRegionFileName, QFile::ReadOwner | QFile::ReadGroup);
  for (const char* item : {"mnuFileNew", "mnuFileModify", "mnuFileDelete"}) {
    Find<QAction>(item)->trigger();
  }
  EXPECT_THAT(ui_.Texts(),
              ElementsAre("Unable to open readonly file ", "Unable to open readonly file ",
                          "Unable to open readonly file "));
  EXPECT_EQ(window_->DataRowCount(), 8);
  EXPECT_EQ(RegionFile(), original_);
}

}  // namespace
}  // namespace quillmap
