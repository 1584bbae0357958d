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

}  // namespace
}  // namespace quillmap
