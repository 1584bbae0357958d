// The main window after a start: the grid, the custom-only toggle, row selection and F1.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QTableView>
#include <QTest>

#include "app_fixture.h"
#include "dialogs/twips.h"

namespace quillmap {
namespace {

using ::testing::ElementsAre;

class RegionWindowTest : public AppTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(Start("VX4400"), StartupOutcome::kRunning);
    ui_.messages.clear();  // the start-up's invalid-regions warning
  }
  QTableView* Grid() const { return Find<QTableView>("MSFlexGrid1"); }
  QCheckBox* CustomOnly() const { return Find<QCheckBox>("chkCustomOnly"); }
};

TEST_F(RegionWindowTest, GridShowsTheRegionsWithTheirRedCells) {
  const QAbstractItemModel* model = Grid()->model();
  ASSERT_EQ(window_->DataRowCount(), 8);
  EXPECT_EQ(window_->CellText(7, 0) + "|" + window_->CellText(7, 1) + "|" +
                window_->CellText(7, 2) + "|" + window_->CellText(7, 6),
            "YES|Edge Test|1.50|Region7");
  std::string red;  // each row's red columns
  for (int row : {1, 2, 7}) {
    red += std::to_string(row) + ":";
    for (int column = 0; column < 7; ++column) {
      const QVariant colour = model->index(row - 1, column).data(Qt::ForegroundRole);
      if (colour.value<QBrush>().color() == QColor(255, 0, 0)) red += std::to_string(column);
    }
    red += " ";
  }
  EXPECT_EQ(red, "1:2345 2: 7:2 ");
  EXPECT_TRUE(Grid()->isColumnHidden(0) && Grid()->isColumnHidden(6));
  // Nine rows with the header need the scroll bar, which the Height column makes room for.
  EXPECT_EQ(Grid()->columnWidth(5), TwipsToPixels(1100));
  EXPECT_EQ(Selected(), std::make_pair(1, 1));
}

TEST_F(RegionWindowTest, CustomOnlyToggleReloadsAndWarnsEachTime) {
  QTest::mouseClick(CustomOnly(), Qt::LeftButton);
  ASSERT_EQ(window_->DataRowCount(), 2);
  EXPECT_EQ(window_->CellText(2, 6), "Region8");
  EXPECT_EQ(Grid()->columnWidth(5), TwipsToPixels(1340));
  EXPECT_EQ(Selected(), std::make_pair(1, 1));
  QTest::mouseClick(CustomOnly(), Qt::LeftButton);
  EXPECT_EQ(window_->DataRowCount(), 8);
  EXPECT_THAT(ui_.Texts(), ElementsAre(kInvalidRegionsMessage, kInvalidRegionsMessage));

  WriteRegionFile("[ScanRegions]\r\nNumRegions=abc\r\n");
  QTest::mouseClick(CustomOnly(), Qt::LeftButton);
  EXPECT_EQ(window_->DataRowCount(), 0);
  EXPECT_EQ(Selected(), std::make_pair(0, 0)) << "an empty list selects nothing";
  EXPECT_EQ(ui_.Texts().back(), "Type mismatch");
}

TEST_F(RegionWindowTest, SelectRowsAndGetSelectedRows) {
  QTableView* grid = Grid();
  window_->SelectRows(20, 20);
  EXPECT_EQ(Selected(), std::make_pair(8, 8));
  EXPECT_TRUE(grid->viewport()->rect().contains(grid->visualRect(grid->model()->index(7, 1))));
  window_->SelectRows(5, 2);  // dragged upward: the current row is the lower end
  EXPECT_EQ(Selected(), std::make_pair(2, 5));
}

struct F1Counter : QObject {
  bool eventFilter(QObject*, QEvent* event) override {
    count +=
        event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1;
    return false;
  }
  int count = 0;
};

TEST_F(RegionWindowTest, F1OpensHelpAndStillReachesTheFocusedWidget) {
  F1Counter counter;
  CustomOnly()->setFocus();
  CustomOnly()->installEventFilter(&counter);
  QTest::keyClick(CustomOnly(), Qt::Key_F1);
  EXPECT_EQ(ui_.help_calls, 1);
  EXPECT_EQ(counter.count, 1);
}

}  // namespace
}  // namespace quillmap
