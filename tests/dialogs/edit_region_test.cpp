#include "dialogs/edit_region.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "support/fake_ui.h"

namespace quillmap {
namespace {

// Also notes whether the busy pointer was on when each message appeared.
class RecordingUi : public testing::FakeUi {
 public:
  MessageAnswer ShowMessage(const std::string& text, MessageButtons buttons,
                            MessageIcon icon) override {
    busy_at_message.push_back(busy_depth);
    return FakeUi::ShowMessage(text, buttons, icon);
  }
  std::vector<int> busy_at_message;
};

class EditRegionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    path_ = dir_.filePath("ChipRegions.ini");
    ASSERT_TRUE(QFile::copy(QUILLMAP_TEST_DATA "/dialogs/ChipRegions.ini", path_));
    QFile::setPermissions(path_, QFile::ReadOwner | QFile::WriteOwner);
    original_ = FileText();
    global_.DataFolderPath = dir_.path().toStdString() + "/";
    global_.RegionFilePath = path_.toStdString();
    // MinX, MinY, MaxX, MaxY, MaxWidth, MaxHeight, MinWidth, MinHeight.
    global_.Scanner.Limits = {0, 0, 25, 75, 20, 60, 2, 2};
  }

  EditRegion& Open(const std::string& mode) {
    dialog_ = std::make_unique<EditRegion>(global_, ui_);
    dialog_->SetEditMode(mode);
    dialog_->show();
    dialog_->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(dialog_.get()));
    return *dialog_;
  }
  QLineEdit* Box(const char* name) { return dialog_->findChild<QLineEdit*>(name); }
  QLabel* Label(const char* name) { return dialog_->findChild<QLabel*>(name); }
  QColor Colour(const char* label) { return Label(label)->palette().color(QPalette::WindowText); }
  void Click(const char* button) {
    QTest::mouseClick(dialog_->findChild<QPushButton*>(button), Qt::LeftButton);
  }
  // Replaces the box's text by typing, as after tabbing into it.
  void Type(const char* box, const QString& keys) {
    if (Box(box)->hasFocus()) Box(box)->clearFocus();
    Box(box)->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(Box(box), keys);
  }
  QString Focused() { return QApplication::focusWidget()->objectName(); }
  QByteArray FileText() {
    QFile file(path_);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  QTemporaryDir dir_;
  QString path_;
  QByteArray original_;
  Global global_;
  RecordingUi ui_;
  std::unique_ptr<EditRegion> dialog_;
};

TEST_F(EditRegionTest, TypingKeepsTwoDecimalsAndSwallowsWhatIsNoNumber) {
  Open(kEditModeNew);
  QLineEdit* width = Box("txtWidth");
  Type("txtWidth", "1.234");
  EXPECT_EQ(width->text(), "1.23");
  EXPECT_EQ(width->cursorPosition(), 4);
  width->setText("1.2");
  QTest::keyClicks(width, "9");
  EXPECT_EQ(width->text(), "1.29");
  width->setText("1.23");
  width->setCursorPosition(2);
  QTest::keyClicks(width, "9");  // the typed 9 stays, the old last digit goes
  EXPECT_EQ(width->text(), "1.92");
  EXPECT_EQ(width->cursorPosition(), 2);
  QTest::keyClicks(width, ".");
  EXPECT_EQ(width->text(), "1.92");
  width->selectAll();
  QTest::keyClicks(width, ".");  // replaces the selection that holds the first one
  EXPECT_EQ(width->text(), ".");

  Type("txtWidth", "-a 7e+,8");
  EXPECT_EQ(width->text(), "78");
  QTest::keyClick(width, Qt::Key_Backspace);
  QTest::keyClick(width, Qt::Key_Z, Qt::ControlModifier);  // no undo
  EXPECT_EQ(width->text(), "7");
  QTest::keyClick(width, Qt::Key_Left);
  QTest::keyClick(width, Qt::Key_Delete);
  EXPECT_EQ(width->text(), "");
  QTest::keyClicks(width, "123456");
  EXPECT_EQ(width->text(), "12345");

  Type("txtName", "Left-hand spot, 2nd row: all 30+ characters");
  EXPECT_EQ(Box("txtName")->text(), "Left-hand spot, 2nd row: all 3");
}

TEST_F(EditRegionTest, CommaLocaleAndPasting) {
  global_.DecimalSeparator = ',';
  Open(kEditModeNew);
  Type("txtXPos", "1,2.34");
  EXPECT_EQ(Box("txtXPos")->text(), "1,23");
  // Pasted text is not filtered, only cut to the box's length.
  QGuiApplication::clipboard()->setText("-98,7654\r\nmore");
  Box("txtYPos")->setFocus();
  QTest::keyClick(Box("txtYPos"), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(Box("txtYPos")->text(), "-98,7");
  QTest::keyClick(Box("txtYPos"), Qt::Key_Tab);
  EXPECT_EQ(Box("txtYPos")->text(), "-98,70");
  QGuiApplication::clipboard()->setText(" ab ");
  QTest::keyClick(Box("txtWidth"), Qt::Key_Insert, Qt::ShiftModifier);
  QTest::keyClick(Box("txtWidth"), Qt::Key_Tab);
  EXPECT_EQ(Box("txtWidth")->text(), "ab");
  Type("txtHeight", "7");
  QTest::keyClick(Box("txtHeight"), Qt::Key_Tab);
  EXPECT_EQ(Box("txtHeight")->text(), "7,00");
}

TEST_F(EditRegionTest, LeavingXSetsTheLargestWidth) {
  Open(kEditModeNew);
  struct Case {
    const char* x;
    const char* caption;
    bool red;
  };
  for (const Case& c : {Case{"3", "20.00", false}, Case{"10", "15.00", false},
                        Case{"24", "1.00", true}, Case{"26", "0.00", true}}) {
    Type("txtXPos", c.x);
    QTest::keyClick(Box("txtXPos"), Qt::Key_Tab);
    EXPECT_EQ(Box("txtXPos")->text(), QString(c.x) + ".00");
    EXPECT_EQ(Label("lblMaxWidth")->text(), c.caption) << c.x;
    EXPECT_EQ(Colour("lblMaxWidth") == QColor(255, 0, 0), c.red) << c.x;
  }
  Type("txtXPos", "..");  // no number: the caption stays, the colour goes back
  QTest::keyClick(Box("txtXPos"), Qt::Key_Tab);
  EXPECT_EQ(Box("txtXPos")->text(), ".");
  EXPECT_EQ(Label("lblMaxWidth")->text(), "0.00");
  EXPECT_EQ(Colour("lblMaxWidth"), Colour("lblMinWidth"));
  // Tab order, from the name box round to Exit.
  Box("txtName")->setFocus();
  QStringList order;
  for (int i = 0; i < 6; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    order << Focused();
  }
  EXPECT_EQ(order.join(' '), "txtXPos txtYPos txtWidth txtHeight cmdSave cmdExit");
}

TEST_F(EditRegionTest, ModifyShowsTheStoredRegionWhole) {
  ReadRegion(global_, "Region2");
  global_.CurrentRegion.RegionHeight = "123.45";
  Open(kEditModeModify);
  EXPECT_EQ(dialog_->windowTitle(), "Modify Region");
  EXPECT_EQ(Box("txtName")->selectedText(), "Spots");
  EXPECT_EQ(Box("txtXPos")->text(), "10.00");
  EXPECT_EQ(Box("txtHeight")->text(), "123.45");
  EXPECT_EQ(Label("lblMaxWidth")->text(), "15.00");
  EXPECT_EQ(Label("lblMaxX")->text(), "23.00");
  QTest::keyClick(Box("txtName"), Qt::Key_F1);
  EXPECT_EQ(ui_.help_calls, 1);
  EXPECT_TRUE(dialog_->isVisible());
}

TEST_F(EditRegionTest, SaveWritesANewRegion) {
  Open(kEditModeNew);
  EXPECT_EQ(dialog_->windowTitle(), "Add New Region");
  for (auto [box, keys] : {std::pair{"txtName", " Left half"},
                           {"txtXPos", "2"},
                           {"txtYPos", "5"},
                           {"txtWidth", "20"},
                           {"txtHeight", "60"}}) {
    Type(box, keys);
  }
  Click("cmdSave");
  EXPECT_TRUE(ui_.messages.empty()) << ui_.Texts()[0];
  EXPECT_EQ(dialog_->result(), QDialog::Accepted);
  QByteArray expected = original_;
  expected.replace("NumRegions=2", "NumRegions=3");
  expected +=
      "[Region3]\r\nType=CustomerSlide2\r\nName=Left half\r\nCustom=YES\r\nX=0\r\nY=0\r\n"
      "W=20000\r\nH=60000\r\n\r\n"
      "[CustomerSlide2]\r\nX=2000\r\nY=5000\r\nAFX=500\r\nAFY=5000\r\nPKG=5\r\n\r\n";
  EXPECT_EQ(FileText(), expected);
  EXPECT_EQ(global_.CurrentRegion.SectionName, "Region3");
}

TEST_F(EditRegionTest, SaveWritesOnlyWhatChanged) {
  ReadRegion(global_, "Region2");
  Open(kEditModeModify);
  QTest::keyClick(Box("txtYPos"), Qt::Key_Return);  // Enter saves; a write would set Custom=YES
  EXPECT_EQ(dialog_->result(), QDialog::Accepted);
  EXPECT_EQ(FileText(), original_);

  Open(kEditModeModify);
  Type("txtName", "SPOTS");  // letter case alone is a change
  Click("cmdSave");
  EXPECT_EQ(dialog_->result(), QDialog::Accepted);
  EXPECT_TRUE(FileText().contains("Name=SPOTS\r\nCustom=YES"));
}

TEST_F(EditRegionTest, EachRuleShowsItsMessageAndMovesTheFocus) {
  Open(kEditModeNew);
  struct Case {
    QStringList boxes;
    const char* focus;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"  ", "1", "1", "5", "5"}, "txtName", "Please enter a valid Name"},
      {{"A", "", "1", "5", "5"}, "txtXPos", "Please enter a valid X position"},
      {{"A", "99", ".", "5", "5"}, "txtYPos", "Please enter a valid Y position"},
      {{"A", "1", "1", " ", "5"}, "txtWidth", "Please enter a valid width"},
      {{"A", "1", "1", "5", "x"}, "txtHeight", "Please enter a valid height"},
      {{"A", "23.01", "1", "5", "5"}, "txtXPos", "X coordinate must be between 0.00 and 23.00"},
      {{"A", "1", "-1", "5", "5"}, "txtYPos", "Y coordinate must be between 0.00 and 73.00"},
      {{"A", "1", "1", "20.02", "5"}, "txtWidth", "Width must be between 2.00 and 20.00"},
      {{"A", "1", "1", "5", "1.98"}, "txtHeight", "Height must be between 2.00 and 60.00"},
      {{"A", "10", "1", "15.02", "5"},
       "txtWidth",
       "X coordinate + Width cannot be greater than 25.00\r\n"
       "Either reduce the X coordinate or the Width."},
      {{"A", "1", "20", "5", "55.02"},
       "txtHeight",
       "Y coordinate + Height cannot be greater than 75.00\r\n"
       "Either reduce the Y coordinate or the Height."},
      {{" full SLIDE ", "1", "1", "5", "5"},
       "txtName",
       "This region name already exists. Please rename your region."},
  };
  const char* names[] = {"txtName", "txtXPos", "txtYPos", "txtWidth", "txtHeight"};
  for (const Case& c : cases) {
    for (int i = 0; i < 5; ++i) Box(names[i])->setText(c.boxes[i]);
    dialog_->findChild<QPushButton*>("cmdSave")->click();
    ASSERT_FALSE(ui_.messages.empty());
    EXPECT_EQ(ui_.messages.back().text, c.message);
    EXPECT_EQ(Focused(), c.focus) << c.message;
    EXPECT_TRUE(dialog_->isVisible());
  }
  EXPECT_EQ(Box("txtName")->text(), "full SLIDE") << "trimmed in the box";
  EXPECT_EQ(FileText(), original_);
}

TEST_F(EditRegionTest, FailedWriteKeepsTheDialogOpen) {
  Open(kEditModeNew);
  for (auto [box, text] : {std::pair{"txtName", "\u03A9 spots"},
                           {"txtXPos", "2.00"},
                           {"txtYPos", "5.00"},
                           {"txtWidth", "20.00"},
                           {"txtHeight", "60.00"}}) {
    Box(box)->setText(text);
  }
  Click("cmdSave");  // Windows-1252 has no omega
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.busy_at_message, std::vector<int>{0});
  EXPECT_TRUE(dialog_->isVisible());
  EXPECT_EQ(FileText(), original_);
  EXPECT_EQ(global_.CurrentRegion.RegionName, "\u03A9 spots");
  Click("cmdExit");  // nothing was added, so nothing is current
  EXPECT_FALSE(dialog_->isVisible());
  EXPECT_EQ(global_.CurrentRegion, ScanRegion());
}

TEST_F(EditRegionTest, ExitChecksTheStoredValuesInModifyMode) {
  ReadRegion(global_, "Region2");
  global_.Scanner.Limits.MaxWidth = 8;  // the stored width of 10 is now too wide
  Open(kEditModeModify);
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
  EXPECT_EQ(Focused(), "txtWidth");
  ui_.answers = {MessageAnswer::kYes};
  Click("cmdExit");
  EXPECT_FALSE(dialog_->isVisible());
  EXPECT_EQ(FileText(), original_);

  Open(kEditModeModify);  // closing through the title bar never asks
  dialog_->close();
  EXPECT_FALSE(dialog_->isVisible());
  global_.Scanner.Limits.MaxWidth = 20;
  Open(kEditModeModify);  // valid stored values: no question, edits dropped
  Type("txtName", "Other");
  Click("cmdExit");
  Open(kEditModeNew);  // adding: never asks
  Type("txtXPos", "99");
  Click("cmdExit");
  EXPECT_FALSE(dialog_->isVisible());
  EXPECT_EQ(ui_.messages.size(), 2u) << "only the two questions above";
  EXPECT_EQ(global_.CurrentRegion.RegionName, "Spots");
}

}  // namespace
}  // namespace quillmap
