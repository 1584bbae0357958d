// The main window after a start: the grid's rows, columns and red cells, the custom-only
// toggle, row selection, F1, the fixed size, and the toolbar and menus.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAction>
#include <QCheckBox>
#include <QHeaderView>
#include <QMenuBar>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QToolBar>

#include "app_fixture.h"
#include "dialogs/twips.h"
#include "settings/error.h"

namespace quillmap {
namespace {

using ::testing::ElementsAre;

class RegionWindowTest : public AppTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(Start("VX4400"), StartupOutcome::kRunning);
    // The start-up's own invalid-regions warning.
    ASSERT_EQ(ui_.messages.size(), 1u);
    ui_.messages.clear();
  }

  QTableView* Grid() const { return Find<QTableView>("MSFlexGrid1"); }

  // The red columns of one grid row (data rows from 1).
  std::vector<int> RedColumns(int row) const {
    std::vector<int> red;
    for (int column = 0; column < 7; ++column) {
      const QVariant colour = Grid()->model()->index(row - 1, column).data(Qt::ForegroundRole);
      if (colour.isValid() && colour.value<QBrush>().color() == QColor(255, 0, 0)) {
        red.push_back(column);
      }
    }
    return red;
  }

  std::pair<int, int> Selected() const {
    int first = -1;
    int last = -1;
    window_->GetSelectedRows(&first, &last);
    return {first, last};
  }
};

TEST_F(RegionWindowTest, GridListsEveryRegionWithItsRedCells) {
  QTableView* grid = Grid();
  ASSERT_EQ(window_->DataRowCount(), 8);
  QStringList titles;
  for (int column = 0; column < 7; ++column) {
    titles << grid->model()->headerData(column, Qt::Horizontal).toString();
  }
  EXPECT_EQ(titles, QStringList({"Custom", "Name", "X Pos (mm)", "Y Pos (mm)", "Width (mm)",
                                 "Height (mm)", "SectionName"}));
  EXPECT_EQ(window_->CellText(7, 0), "YES");
  EXPECT_EQ(window_->CellText(7, 1), "Edge Test");
  EXPECT_EQ(window_->CellText(7, 2), "1.50");
  EXPECT_EQ(window_->CellText(7, 5), "22.50");
  EXPECT_EQ(window_->CellText(7, 6), "Region7");
  EXPECT_EQ(window_->SuppliedDefaultName(), "Array Area");

  EXPECT_THAT(RedColumns(1), ElementsAre(2, 3, 4, 5));
  EXPECT_THAT(RedColumns(2), ElementsAre());
  EXPECT_THAT(RedColumns(7), ElementsAre(2));

  EXPECT_TRUE(grid->isColumnHidden(0));
  EXPECT_TRUE(grid->isColumnHidden(6));
  const int widths[] = {2797, 1000, 1000, 1100};
  for (int column = 1; column <= 4; ++column) {
    EXPECT_EQ(grid->columnWidth(column), TwipsToPixels(widths[column - 1])) << column;
  }
  // Nine grid rows with the header: the Height column makes room for the scroll bar.
  EXPECT_EQ(window_->HeightColumn(), 5);
  EXPECT_EQ(grid->columnWidth(5), TwipsToPixels(1100));
  EXPECT_EQ(grid->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(Selected(), std::make_pair(1, 1));
}

TEST_F(RegionWindowTest, CustomOnlyToggleReloadsAndWarnsEachTime) {
  auto* check = Find<QCheckBox>("chkCustomOnly");
  QTest::mouseClick(check, Qt::LeftButton);

  ASSERT_EQ(window_->DataRowCount(), 2);
  EXPECT_EQ(window_->CellText(1, 6), "Region7");
  EXPECT_EQ(window_->CellText(2, 6), "Region8");
  EXPECT_EQ(Grid()->columnWidth(5), TwipsToPixels(1340));
  EXPECT_EQ(Selected(), std::make_pair(1, 1));
  EXPECT_THAT(ui_.Texts(), ElementsAre(kInvalidRegionsMessage));

  QTest::mouseClick(check, Qt::LeftButton);
  EXPECT_EQ(window_->DataRowCount(), 8);
  EXPECT_THAT(ui_.Texts(), ElementsAre(kInvalidRegionsMessage, kInvalidRegionsMessage));
  EXPECT_FALSE(window_->InvalidRegionsFound());
}

TEST_F(RegionWindowTest, AnUnreadableCountKeepsOnlyTheHeader) {
  WriteRegionFile("[ScanRegions]\r\nNumRegions=abc\r\n");
  QTest::mouseClick(Find<QCheckBox>("chkCustomOnly"), Qt::LeftButton);
  EXPECT_EQ(window_->DataRowCount(), 0);
  EXPECT_THAT(ui_.Texts(), ElementsAre("Type mismatch"));
  EXPECT_EQ(ui_.busy_depth, 0);
}

TEST_F(RegionWindowTest, SelectRowsAndGetSelectedRows) {
  // Beyond the last row: the last row alone, scrolled into view.
  window_->SelectRows(20, 20);
  EXPECT_EQ(Selected(), std::make_pair(8, 8));
  const QRect last_row = Grid()->visualRect(Grid()->model()->index(7, 1));
  EXPECT_TRUE(Grid()->viewport()->rect().contains(last_row));

  // Dragged upward: the current row below, the other end above.
  window_->SelectRows(5, 2);
  EXPECT_EQ(Selected(), std::make_pair(2, 5));

  // The user's upward selection with the mouse: click row 4, shift-click row 2.
  window_->SelectRows(1, 1);
  Grid()->scrollToTop();
  auto row_centre = [this](int row) {
    return Grid()->visualRect(Grid()->model()->index(row - 1, 1)).center();
  };
  QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {}, row_centre(4));
  QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, Qt::ShiftModifier, row_centre(2));
  EXPECT_EQ(Selected(), std::make_pair(2, 4));

  // An empty list: the header, row 0.
  WriteRegionFile("[ScanRegions]\r\nNumRegions=0\r\n");
  window_->LoadRegionList();
  window_->SelectRows(1, 1);
  EXPECT_EQ(Selected(), std::make_pair(0, 0));
}

// Counts the F1 presses that reach one widget.
class F1Counter : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) {
      ++count;
    }
    return false;
  }
  int count = 0;
};

TEST_F(RegionWindowTest, F1OpensHelpAndStillReachesTheFocusedWidget) {
  int expected_help = 0;
  for (QWidget* widget :
       {static_cast<QWidget*>(Grid()), static_cast<QWidget*>(Find<QCheckBox>("chkCustomOnly"))}) {
    widget->setFocus();
    F1Counter counter;
    widget->installEventFilter(&counter);
    QTest::keyClick(widget, Qt::Key_F1);
    widget->removeEventFilter(&counter);
    EXPECT_EQ(ui_.help_calls, ++expected_help) << widget->objectName().toStdString();
    EXPECT_EQ(counter.count, 1) << widget->objectName().toStdString();
  }
}

TEST_F(RegionWindowTest, SizeStaysFixed) {
  const QSize fixed = window_->FixedSize();
  EXPECT_EQ(window_->size(), fixed);
  EXPECT_FALSE(window_->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(window_->windowFlags() & Qt::WindowMinimizeButtonHint);

  window_->resize(fixed.width() + 200, fixed.height() - 100);
  EXPECT_EQ(window_->size(), fixed);

  window_->showMinimized();
  EXPECT_TRUE(WaitFor([this] { return window_->isMinimized(); }));
  window_->showNormal();
  EXPECT_TRUE(WaitFor([this] { return !window_->isMinimized(); }));
  EXPECT_EQ(window_->size(), fixed);
}

TEST_F(RegionWindowTest, ToolbarAndMenus) {
  QStringList entries;
  for (QAction* action : Find<QToolBar>("Toolbar1")->actions()) {
    entries << (action->isSeparator() ? "|" : action->data().toString() + ":" + action->toolTip());
    if (!action->isSeparator()) {
      EXPECT_FALSE(action->icon().isNull());
    }
  }
  EXPECT_EQ(entries, QStringList({"|", "new:New Region", "open:Open Region", "delete:Delete Region",
                                  "help:Help", "|"}));

  const std::pair<const char*, const char*> shortcuts[] = {
      {"mnuFileNew", "Ctrl+N"},   {"mnuFileModify", "Ctrl+O"}, {"mnuFileDelete", "Ctrl+D"},
      {"mnuHelpAbout", "Ctrl+A"}, {"mnuHelpHelp", "Ctrl+H"},   {"mnuFileExit", ""}};
  for (const auto& [name, keys] : shortcuts) {
    EXPECT_EQ(Find<QAction>(name)->shortcut(), QKeySequence(keys)) << name;
  }

  Find<QAction>("help")->trigger();
  Find<QAction>("mnuHelpHelp")->trigger();
  EXPECT_EQ(ui_.help_calls, 2);

  Find<QAction>("mnuFileExit")->trigger();
  EXPECT_FALSE(window_->isVisible());
}

TEST_F(RegionWindowTest, ReadOnlyRegionFileIsRefused) {
  QFile::setPermissions(Data() + kRegionFileName, QFile::ReadOwner | QFile::ReadGroup);
  try {
    window_->IniFileReadOnly();
    ADD_FAILURE() << "a read-only region file was accepted";
  } catch (const Error& error) {
    EXPECT_EQ(error.Description(), "Unable to open readonly file ");
  }
  QFile::setPermissions(Data() + kRegionFileName, QFile::ReadOwner | QFile::WriteOwner);
  EXPECT_FALSE(window_->IniFileReadOnly());
}

}  // namespace
}  // namespace quillmap
