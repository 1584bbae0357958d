// The region commands on the real window: every menu item, toolbar button and a double-click
// reach their command, and the grid follows what the real edit dialog saved.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
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
    WriteRegistry(Data().toStdString(), "Customer Array");  // row 8, a customer region
    window_->SetRegistry(RegistryStore(Registry().toStdString()));
    ASSERT_EQ(Start("VX4400"), StartupOutcome::kRunning);
    ui_.messages.clear();  // the start-up's invalid-regions warning
    original_ = RegionFile();
  }

  std::string RegionFile() const { return ReadFile(Data() + kRegionFileName); }

  // Once a dialog is up: notes its title, presses F1, types into the named boxes, then clicks
  // `button`.
  void AnswerDialog(std::vector<std::pair<const char*, QString>> boxes, const char* button) {
    OnModalDialog([this, boxes, button](QWidget* dialog) {
      dialog_title_ = dialog->windowTitle();
      QTest::keyClick(dialog->focusWidget() ? dialog->focusWidget() : dialog, Qt::Key_F1);
      for (const auto& [name, text] : boxes) {
        auto* box = dialog->findChild<QLineEdit*>(name);
        box->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(box, text);
      }
      QTest::mouseClick(dialog->findChild<QPushButton*>(button), Qt::LeftButton);
    });
  }

  std::string original_;
  QString dialog_title_;
};

TEST_F(CommandsTest, EveryMenuItemAndButtonReachesItsCommand) {
  struct Case {
    const char* action;
    const char* keys;     // none for a toolbar button, which shows an icon instead
    const char* button;   // the button that closes the dialog the action opens, if any
    std::string outcome;  // the dialog's title, the message, or "help"
  };
  const Case cases[] = {
      {"mnuFileNew", "Ctrl+N", "cmdExit", "Add New Region"},
      {"new", "", "cmdExit", "Add New Region"},
      {"mnuFileModify", "Ctrl+O", "cmdExit", "Modify Region"},
      {"open", "", "cmdExit", "Modify Region"},
      {"mnuFileDelete", "Ctrl+D", nullptr, kConfirmDeleteMessage},
      {"delete", "", nullptr, kConfirmDeleteMessage},
      {"mnuHelpAbout", "Ctrl+A", "cmdOK", "About Quillmap"},
      {"mnuHelpHelp", "Ctrl+H", nullptr, "help"},
      {"help", "", nullptr, "help"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.action);
    auto* action = Find<QAction>(c.action);
    EXPECT_EQ(action->shortcut(), QKeySequence(c.keys));
    EXPECT_NE(*c.keys == '\0', action->icon().isNull());
    window_->SelectRows(8, 8);
    dialog_title_.clear();
    ui_.messages.clear();
    const int help_calls = ui_.help_calls;
    if (c.button != nullptr) AnswerDialog({}, c.button);
    if (c.outcome == kConfirmDeleteMessage) ui_.answers = {MessageAnswer::kNo};
    action->trigger();
    const std::string seen = !dialog_title_.isEmpty() ? dialog_title_.toStdString()
                             : ui_.messages.empty()   ? "help"
                                                      : ui_.messages[0].text;
    EXPECT_EQ(seen, c.outcome);
    // Help, from the action itself or from F1 in the dialog it opened.
    EXPECT_EQ(ui_.help_calls - help_calls, c.button != nullptr || seen == "help");
  }
  EXPECT_EQ(ui_.messages[0].buttons, MessageButtons::kYesNo);  // from the last delete
  EXPECT_EQ(RegionFile(), original_);
  Find<QAction>("mnuFileExit")->trigger();
  EXPECT_FALSE(window_->isVisible());
}

// After each command the grid shows the file, with the row it touched selected.
TEST_F(CommandsTest, TheGridAndTheSelectionFollowEachCommand) {
  window_->SelectRows(8, 8);
  ui_.answers = {MessageAnswer::kYes};
  Find<QAction>("delete")->trigger();
  EXPECT_EQ(window_->DataRowCount(), 7);
  EXPECT_EQ(Selected(), std::make_pair(7, 7));
  EXPECT_EQ(window_->DefaultRegionName(), "Array Area");  // the supplied default region

  QFile::setPermissions(Data() + kRegionFileName, QFile::ReadOwner);
  Find<QAction>("mnuFileNew")->trigger();
  EXPECT_THAT(ui_.Texts(), ElementsAre(kConfirmDeleteMessage, "Unable to open readonly file "));
  QFile::setPermissions(Data() + kRegionFileName, QFile::ReadOwner | QFile::WriteOwner);
  AnswerDialog({{"txtName", "Spot D"},
                {"txtXPos", "10"},
                {"txtYPos", "5"},
                {"txtWidth", "8"},
                {"txtHeight", "4"}},
               "cmdSave");
  Find<QAction>("mnuFileNew")->trigger();
  EXPECT_EQ(window_->CellText(8, 1), "Spot D");
  EXPECT_EQ(Selected(), std::make_pair(8, 8));
  EXPECT_EQ(ui_.messages.size(), 2u);

  QTableView* grid = Find<QTableView>("MSFlexGrid1");
  QTest::mouseClick(Find<QCheckBox>("chkCustomOnly"), Qt::LeftButton);  // two rows, room below
  window_->SelectRows(2, 2);
  window_->SetDefaultRegionName("Spot D");
  const QPoint below(grid->viewport()->width() / 2, grid->viewport()->height() - 2);
  AnswerDialog({{"txtName", "Customer Slide"}}, "cmdSave");
  // Below the rows a click keeps the highlight that the commands follow; a double-click modifies.
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, below);
  EXPECT_TRUE(grid->selectionModel()->isRowSelected(1));
  QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, below);
  EXPECT_EQ(dialog_title_, "Modify Region");
  EXPECT_EQ(window_->CellText(2, 1), "Customer Slide");
  EXPECT_EQ(Selected(), std::make_pair(2, 2));
  EXPECT_NE(ReadFile(Registry() + "/HKEY_CURRENT_USER.reg").find("=\"Customer Slide\""),
            std::string::npos);
}

}  // namespace
}  // namespace quillmap
