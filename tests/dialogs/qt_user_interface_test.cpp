#include "dialogs/qt_user_interface.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace quillmap {
namespace {

TEST(QtUserInterfaceTest, MessageBoxCarriesTheTitleAndTheAnswer) {
  Global global;
  QtUserInterface ui(global);
  QString title, text;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    text = box->text();
    box->button(QMessageBox::No)->click();
  });
  EXPECT_EQ(ui.ShowMessage("First line.\r\nSecond line?", MessageButtons::kYesNo),
            MessageAnswer::kNo);
  EXPECT_EQ(title, "Quillmap");
  EXPECT_EQ(text, "First line.\nSecond line?");

  ui.SetBusy(true);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  ui.SetBusy(false);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(QtUserInterfaceTest, MissingHelpDocumentIsReported) {
  struct RecordingUi : QtUserInterface {
    using QtUserInterface::QtUserInterface;
    MessageAnswer ShowMessage(const std::string& text, MessageButtons, MessageIcon) override {
      shown.push_back(text);
      return MessageAnswer::kOk;
    }
    std::vector<std::string> shown;
  };
  Global global;
  global.DataFolderPath = "/nonexistent/scan/";
  RecordingUi ui(global);
  ui.ShowHelp();
  EXPECT_EQ(ui.shown,
            std::vector<std::string>{"Unable to locate /nonexistent/scan/Help/Quillmap.pdf"});
}

}  // namespace
}  // namespace quillmap
