// The start-up on the real window: the captions it fills, the scanner selection dialog, a failure
// and the warnings.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "app_fixture.h"

namespace quillmap {
namespace {

using ::testing::ElementsAre;

class StartupWindowTest : public AppTest {
 protected:
  std::string Captions() const {
    std::string text;
    for (const char* name : {"lblScanner", "lblULC", "lblLRC"}) {
      text += Find<QLabel>(name)->text().toStdString() + "|";
    }
    return text;
  }
};

TEST_F(StartupWindowTest, TheDialogClosedWithoutOkLeavesTheEmptyModel) {
  bool open_after_keys = false;
  OnModalDialog([&](QWidget* dialog) {
    auto* combo = dialog->findChild<QComboBox*>("cboScanner");
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_F1);
    QTest::keyClick(combo, Qt::Key_Escape);  // there is no cancel button
    open_after_keys = ui_.help_calls == 1 && dialog->isVisible();
    dialog->close();
  });
  EXPECT_EQ(Start("  VX4400"), StartupOutcome::kRunning);
  EXPECT_TRUE(open_after_keys);
  EXPECT_EQ(Captions(), "Scanner |(0.00, 0.00)|(0.00, 0.00)|");
}

TEST_F(StartupWindowTest, FailuresCloseTheWindowWithTheFilesPath) {
  QFile::remove(Data() + kSystemFileName);
  EXPECT_EQ(Start("VX4400"), StartupOutcome::kFailed);
  WriteSystemFile(SystemFileLayout::kModelTable);
  OnModalDialog([&](QWidget* dialog) {  // a selection failure is thrown once the dialog is gone
    QFile::remove(Data() + kSystemFileName);
    QTest::mouseClick(dialog->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
  });
  EXPECT_EQ(Start(""), StartupOutcome::kFailed);
  const std::string file = Data().toStdString() + "RegionDB.sys";
  EXPECT_THAT(ui_.Texts(),
              ElementsAre("Unable to locate " + file,
                          "Unable to locate the scan region system file (" + file + ")"));
  EXPECT_FALSE(window_->isVisible());
}

TEST_F(StartupWindowTest, ShowsTheWindowWithTheModelsCaptionsThenTheWarnings) {
  WriteRegistry(Data().toStdString(), "");
  EXPECT_EQ(Start("vx4400"), StartupOutcome::kRunning);
  EXPECT_TRUE(window_->isVisible() && Find<QLabel>("lblScanner")->isVisible());
  EXPECT_EQ(Captions(), "Scanner VX4400|(3.00, 1.00)|(63.00, 24.00)|");
  ASSERT_THAT(ui_.Texts(), ElementsAre("Default scan region is not set.", kInvalidRegionsMessage));
  EXPECT_EQ(ui_.messages[0].icon, MessageIcon::kInformation);
  EXPECT_EQ(ui_.messages[1].icon, MessageIcon::kNone);
  EXPECT_FALSE(window_->InvalidRegionsFound());
}

}  // namespace
}  // namespace quillmap
