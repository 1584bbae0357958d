// The start-up on the real window: its failures, the roads to a scanner model and the warnings.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "app_fixture.h"
#include "dialogs/select_scanner.h"

namespace quillmap {
namespace {

using ::testing::ElementsAre;

class StartupWindowTest : public AppTest {
 protected:
  std::string Caption(const char* label) const { return Find<QLabel>(label)->text().toStdString(); }
};

TEST_F(StartupWindowTest, MissingFilesCloseTheWindowWithTheirPath) {
  QFile::remove(Data() + kSystemFileName);
  EXPECT_EQ(Start("VX4400"), StartupOutcome::kFailed);
  EXPECT_THAT(ui_.Texts(),
              ElementsAre("Unable to locate " + Data().toStdString() + "RegionDB.sys"));
  EXPECT_FALSE(window_->isVisible());

  ui_.messages.clear();
  QFile::remove(Data() + kRegionFileName);
  EXPECT_EQ(Start("VX4400"), StartupOutcome::kFailed);
  EXPECT_THAT(ui_.Texts(), ElementsAre("Unable to locate " + root_.path().toStdString() +
                                       "/program/ChipRegions.ini"));
}

TEST_F(StartupWindowTest, CommandLineModelInLowerCase) {
  EXPECT_EQ(Start("vx4400"), StartupOutcome::kRunning);
  EXPECT_TRUE(window_->isVisible());
  EXPECT_TRUE(Find<QLabel>("lblScanner")->isVisible());
  EXPECT_EQ(Caption("lblScanner"), "Scanner VX4400");
  EXPECT_EQ(Caption("lblULC"), "(3.00, 1.00)");
  EXPECT_EQ(Caption("lblLRC"), "(63.00, 24.00)");
  EXPECT_EQ(window_->DefaultRegionName(), "Array Area");
}

TEST_F(StartupWindowTest, SingleModelFileNeedsNoChoice) {
  WriteSystemFile(SystemFileLayout::kSingleModel);
  Start("VX6600");
  EXPECT_EQ(Caption("lblScanner"), "Scanner R7720C");
  EXPECT_EQ(Caption("lblLRC"), "(63.00, 24.00)");
}

TEST_F(StartupWindowTest, TheDialogListsModelsInFileOrderAndOkSelects) {
  QStringList listed;
  QString selected;
  OnModalDialog([&](QWidget* dialog) {
    auto* combo = dialog->findChild<QComboBox*>("cboScanner");
    for (int i = 0; i < combo->count(); ++i) listed << combo->itemText(i);
    selected = combo->currentText();
    combo->setCurrentIndex(0);
    QTest::mouseClick(dialog->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
  });

  EXPECT_EQ(Start(""), StartupOutcome::kRunning);
  EXPECT_EQ(listed, QStringList({"VX6600", "VX4400", "VX2200e"}));
  EXPECT_EQ(selected, "VX2200e");
  EXPECT_EQ(Caption("lblScanner"), "Scanner VX6600");
}

TEST_F(StartupWindowTest, TheDialogClosedWithoutOkLeavesTheEmptyModel) {
  bool help_stayed_open = false;
  OnModalDialog([&](QWidget* dialog) {
    // F1 from the list opens help and leaves the dialog up.
    auto* combo = dialog->findChild<QComboBox*>("cboScanner");
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_F1);
    help_stayed_open = ui_.help_calls == 1 && dialog->isVisible();
    dialog->close();
  });

  EXPECT_EQ(Start("  VX4400"), StartupOutcome::kRunning);
  EXPECT_TRUE(help_stayed_open);
  EXPECT_EQ(Caption("lblScanner"), "Scanner ");
  EXPECT_EQ(Caption("lblULC"), "(0.00, 0.00)");
  EXPECT_EQ(Caption("lblLRC"), "(0.00, 0.00)");
  // Every region breaks zero bounds.
  EXPECT_THAT(ui_.Texts(), ElementsAre(kInvalidRegionsMessage));
}

TEST_F(StartupWindowTest, ASelectionFailureFromTheDialogEndsTheProgram) {
  OnModalDialog([&](QWidget* dialog) {
    QFile::remove(Data() + kSystemFileName);
    QTest::mouseClick(dialog->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
  });

  EXPECT_EQ(Start(""), StartupOutcome::kFailed);
  EXPECT_THAT(ui_.Texts(), ElementsAre("Unable to locate the scan region system file (" +
                                       Data().toStdString() + "RegionDB.sys)"));
  EXPECT_FALSE(window_->isVisible());

  // The file changed under the dialog and no longer holds the chosen model.
  ui_.messages.clear();
  WriteSystemFile(SystemFileLayout::kModelTable);
  OnModalDialog([&](QWidget* dialog) {
    WriteFile(Data() + kSystemFileName,
              BuildSystemFile(ParseModelDescriptions("VX6600 2 0.5 73 24.5 71 24 0.5 0.5\n"),
                              SystemFileLayout::kModelTable));
    QTest::mouseClick(dialog->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
  });
  EXPECT_EQ(Start(""), StartupOutcome::kFailed);
  EXPECT_THAT(ui_.Texts(), ElementsAre("Unable to locate the scan region VX2200e in system file (" +
                                       Data().toStdString() + "RegionDB.sys)"));
}

// Records whether the main window was on screen when each message came.
class WindowWatchingUi : public testing::FakeUi {
 public:
  MessageAnswer ShowMessage(const std::string& text, MessageButtons buttons,
                            MessageIcon icon) override {
    window_visible.push_back(window != nullptr && window->isVisible());
    return FakeUi::ShowMessage(text, buttons, icon);
  }
  QWidget* window = nullptr;
  std::vector<bool> window_visible;
};

TEST_F(StartupWindowTest, BothWarningsComeAfterTheWindowInOrder) {
  WriteRegistry(Data().toStdString(), "");
  WindowWatchingUi ui;
  RegionWindow window(global_, ui);
  ui.window = &window;
  const StartupInputs inputs{RegistryStore(Registry().toStdString()), "VX4400", ""};

  EXPECT_EQ(RunStartup(inputs, global_, window, ui), StartupOutcome::kRunning);

  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_EQ(ui.messages[0].text, "Default scan region is not set.");
  EXPECT_EQ(ui.messages[0].icon, MessageIcon::kInformation);
  EXPECT_EQ(ui.messages[1].text, kInvalidRegionsMessage);
  EXPECT_EQ(ui.messages[1].icon, MessageIcon::kNone);
  EXPECT_THAT(ui.window_visible, ElementsAre(true, true));
  EXPECT_FALSE(window.InvalidRegionsFound());
}

}  // namespace
}  // namespace quillmap
