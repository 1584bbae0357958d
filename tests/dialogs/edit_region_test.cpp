// The region edit dialog driven with real keys and clicks: its boxes, range labels, focus, the
// validation messages, Save and Exit.
#include "dialogs/edit_region.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "settings/temp_folder.h"
#include "support/fake_ui.h"

namespace quillmap {
namespace {

class EditRegionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    global_.RegionFilePath = folder_ / "ChipRegions.ini";
    WriteBytes(global_.RegionFilePath, original_);
    // MinX, MinY, MaxX, MaxY, MaxWidth, MaxHeight, MinWidth, MinHeight.
    global_.Scanner.Limits = {0, 0, 25, 75, 20, 60, 2, 2};
  }

  void Open(const std::string& mode) {
    dialog_ = std::make_unique<EditRegion>(global_, ui_);
    dialog_->SetEditMode(mode);
    dialog_->show();
    dialog_->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(dialog_.get()));
  }
  QLineEdit* Box(const char* name) { return dialog_->findChild<QLineEdit*>(name); }
  QLabel* Label(const char* name) { return dialog_->findChild<QLabel*>(name); }
  void Click(const char* button) {
    QTest::mouseClick(dialog_->findChild<QPushButton*>(button), Qt::LeftButton);
  }
  // Replaces the box's text by typing, as after tabbing into it.
  void Type(const char* box, const QString& keys) {
    Box(box)->clearFocus();
    Box(box)->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(Box(box), keys);
  }
  void Fill(const QStringList& texts) {
    const char* names[] = {"txtName", "txtXPos", "txtYPos", "txtWidth", "txtHeight"};
    for (int i = 0; i < 5; ++i) Box(names[i])->setText(texts[i]);
  }
  QString Focused() { return QApplication::focusWidget()->objectName(); }
  std::string FileText() const { return ReadBytes(global_.RegionFilePath); }

  TempFolder folder_;
  std::string original_ = ReadBytes(QUILLMAP_TEST_DATA "/dialogs/ChipRegions.ini");
  Global global_;
  testing::FakeUi ui_;
  std::unique_ptr<EditRegion> dialog_;
};

TEST_F(EditRegionTest, BoxesFilterKeysAndLimitLengthAndDecimals) {
  Open(kEditModeNew);
  const char* cases[][3] = {
      {"txtWidth", "1.234", "1.23"},
      {"txtWidth", "-a 7e+,8", "78"},
      {"txtWidth", "123456", "12345"},
      {"txtName", "Left-hand spot, 2nd row: all 30+ characters", "Left-hand spot, 2nd row: all 3"},
  };
  for (const auto& [box, keys, text] : cases) {
    SCOPED_TRACE(keys);
    Type(box, keys);
    EXPECT_EQ(Box(box)->text(), text);
  }
  QLineEdit* width = Box("txtWidth");
  width->setText("1.23");
  width->setCursorPosition(2);
  QTest::keyClicks(width, "9");  // the typed 9 stays, the old last digit goes
  EXPECT_EQ(width->text(), "1.92");
  EXPECT_EQ(width->cursorPosition(), 2);
  QTest::keyClick(width, Qt::Key_Backspace);
  QTest::keyClick(width, Qt::Key_Z, Qt::ControlModifier);  // swallowed: no undo
  QTest::keyClick(width, Qt::Key_Delete);
  EXPECT_EQ(width->text(), "12");
  // Pasted text is not filtered, only cut to the first line and the box's length.
  QGuiApplication::clipboard()->setText("-98.7654\r\nmore");
  QTest::keyClick(Box("txtYPos"), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(Box("txtYPos")->text(), "-98.7");
}

TEST_F(EditRegionTest, LeavingAPositionSetsTheLargestSizeAndLeavingASizeFormatsIt) {
  global_.DecimalSeparator = ',';
  Open(kEditModeNew);
  const struct {
    const char *box, *keys, *text, *label, *caption;
    bool red;
  } cases[] = {
      {"txtXPos", "24", "24,00", "lblMaxWidth", "1,00", true},
      {"txtXPos", ",", ",", "lblMaxWidth", "1,00", false},  // no number: only the colour goes
      {"txtYPos", "20", "20,00", "lblMaxHeight", "55,00", false},
      {"txtHeight", "3,5", "3,50", "lblMaxHeight", "55,00", false},
      {"txtXPos", "26", "26,00", "lblMaxWidth", "0,00", true},  // no room: zero in the locale
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.box) + " " + c.keys);
    Type(c.box, c.keys);
    QTest::keyClick(Box(c.box), Qt::Key_Tab);
    EXPECT_EQ(Box(c.box)->text(), c.text);
    EXPECT_EQ(Label(c.label)->text(), c.caption);
    EXPECT_EQ(Label(c.label)->palette().color(QPalette::WindowText) == QColor(255, 0, 0), c.red);
  }
  Fill({"A", "1,00", "1,00", "5,00", "5,00"});  // the largest width still reads 0,00
  Click("cmdSave");
  EXPECT_EQ(ui_.Texts(), std::vector<std::string>{"Width must be between 2,00 and 0,00"});
  Box("txtName")->setFocus();
  QStringList order;
  for (int i = 0; i < 6; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    order << Focused();
  }
  EXPECT_EQ(order.join(' '), "txtXPos txtYPos txtWidth txtHeight cmdSave cmdExit");
}

TEST_F(EditRegionTest, SaveWritesANewRegionOrOnlyWhatChangedAndStaysOpenWhenWritingFails) {
  Open(kEditModeNew);
  EXPECT_EQ(dialog_->windowTitle(), "Add New Region");
  Fill({"\u03A9 spots", "2.00", "5.00", "20.00", "60.00"});  // Windows-1252 has no omega
  Click("cmdSave");
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].busy_depth, 0);
  EXPECT_TRUE(dialog_->isVisible());
  EXPECT_EQ(FileText(), original_);
  Click("cmdExit");
  EXPECT_EQ(global_.CurrentRegion, ScanRegion()) << "nothing was added, so nothing is current";
  Open(kEditModeNew);
  Fill({" Left half", "2.00", "5.00", "20.00", "60.00"});
  Click("cmdSave");
  EXPECT_EQ(dialog_->result(), QDialog::Accepted);
  EXPECT_EQ(FileText().find(Replaced(original_, "=2\r\n", "=3\r\n") +
                            "[Region3]\r\nType=CustomerSlide2\r\nName=Left half\r\n"),
            0u);
  EXPECT_EQ(global_.CurrentRegion.SectionName, "Region3");

  original_ = FileText();
  ReadRegion(global_, "Region2");
  Open(kEditModeModify);
  QTest::keyClick(Box("txtYPos"), Qt::Key_Return);  // Enter saves; a write would set Custom=YES
  EXPECT_EQ(dialog_->result(), QDialog::Accepted);
  EXPECT_EQ(FileText(), original_);
  Open(kEditModeModify);
  Type("txtName", "SPOTS");  // letter case alone is a change
  Click("cmdSave");
  EXPECT_NE(FileText().find("Name=SPOTS\r\nCustom=YES"), std::string::npos);
  EXPECT_EQ(ui_.messages.size(), 1u);
}

TEST_F(EditRegionTest, EachFailedRuleShowsItsMessageAndFocusesItsBox) {
  Open(kEditModeNew);
  const struct {
    QStringList boxes;
    const char* focus;
    std::string message;
  } cases[] = {
      {{"  ", "1", "1", "5", "5"}, "txtName", "Please enter a valid Name"},
      {{"A", "23.02", "1", "5", "5"}, "txtXPos", "X coordinate must be between 0.00 and 23.00"},
      {{"A", "1", "-1", "5", "5"}, "txtYPos", "Y coordinate must be between 0.00 and 73.00"},
      {{"A", "1", "1", "20.02", "5"}, "txtWidth", "Width must be between 2.00 and 20.00"},
      {{"A", "1", "1", "5", "x"}, "txtHeight", "Please enter a valid height"},
      {{" full SLIDE ", "1", "1", "5", "5"},
       "txtName",
       "This region name already exists. Please rename your region."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    Fill(c.boxes);
    Click("cmdSave");
    ASSERT_FALSE(ui_.messages.empty());
    EXPECT_EQ(ui_.messages.back().text, c.message);
    EXPECT_EQ(Focused(), c.focus);
    EXPECT_TRUE(dialog_->isVisible());
  }
  EXPECT_EQ(Box("txtName")->text(), "full SLIDE") << "trimmed in the box";
  EXPECT_EQ(FileText(), original_);
}

TEST_F(EditRegionTest, ModifyShowsTheStoredRegionAndExitAsksOnlyWhenItFails) {
  ReadRegion(global_, "Region2");
  global_.Scanner.Limits.MaxWidth = 8;  // the stored width of 10 is now too wide
  Open(kEditModeModify);
  EXPECT_EQ(dialog_->windowTitle(), "Modify Region");
  EXPECT_EQ(Focused() + ":" + Box("txtName")->selectedText(), "txtName:Spots");
  EXPECT_EQ(Box("txtXPos")->text() + " " + Box("txtYPos")->text() + " " + Box("txtWidth")->text() +
                " " + Box("txtHeight")->text(),
            "10.00 30.00 10.00 20.00");
  EXPECT_EQ(Label("lblMaxX")->text() + " " + Label("lblMaxWidth")->text(), "23.00 8.00");
  QTest::keyClick(Box("txtName"), Qt::Key_Escape);  // Save is the default, not a cancel button
  EXPECT_TRUE(dialog_->isVisible());

  Type("txtWidth", "5");
  ui_.answers = {MessageAnswer::kNo};
  Click("cmdExit");
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text,
            "The original values for this region are incorrect.\r\n"
            "Width must be between 2.00 and 8.00\r\nAre you sure you want to exit?");
  EXPECT_EQ(ui_.messages[0].buttons, MessageButtons::kYesNo);
  EXPECT_TRUE(dialog_->isVisible());
  EXPECT_EQ(Box("txtWidth")->text(), "10.00");
  ui_.answers = {MessageAnswer::kYes};
  Click("cmdExit");
  EXPECT_FALSE(dialog_->isVisible());

  global_.Scanner.Limits.MaxWidth = 20;
  Open(kEditModeModify);  // valid stored values: no question, edits dropped
  Type("txtName", "Other");
  Click("cmdExit");
  EXPECT_FALSE(dialog_->isVisible());
  EXPECT_EQ(ui_.messages.size(), 2u);
  EXPECT_EQ(global_.CurrentRegion.RegionName, "Spots");
  EXPECT_EQ(FileText(), original_);
}

}  // namespace
}  // namespace quillmap
