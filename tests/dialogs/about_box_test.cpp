// The about box, found by its widgets' names and driven with real clicks and keys.
#include "dialogs/about_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "quillmap/version.h"
#include "support/fake_ui.h"

namespace quillmap {
namespace {

TEST(AboutBoxTest, ShowsVersionNoticeAndBanner) {
  EXPECT_EQ(VersionCaption(10, 0, 12), "Version: 10.0.x.12");
  testing::FakeUi ui;
  HelpAbout box(ui);
  QString version = QString("Version: ") + kVersionText;  // 1.0.0 reads "Version: 1.0.x.0"
  version.insert(version.lastIndexOf('.') + 1, "x.");
  EXPECT_EQ(box.findChild<QLabel*>("lblVersion")->text(), version);
  const QLabel* notice = box.findChild<QLabel*>("Label2");
  EXPECT_FALSE(notice->text().isEmpty());
  EXPECT_LE(notice->geometry().right(), box.width()) << "the notice is cut";
  EXPECT_EQ(box.findChild<QLabel*>("Picture1")->pixmap().size(), QSize(512, 99));
}

TEST(AboutBoxTest, F1OpensHelpAndOkClosesTheBox) {
  testing::FakeUi ui;
  QPointer<QDialog> shown;
  bool open_after_f1 = false;
  QTimer::singleShot(0, [&] {
    shown = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(shown, nullptr);
    QTest::keyClick(shown->focusWidget() != nullptr ? shown->focusWidget() : shown.data(),
                    Qt::Key_F1);
    open_after_f1 = shown->isVisible();
    QTest::mouseClick(shown->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
  });
  ShowHelpAbout(ui, nullptr);
  EXPECT_EQ(ui.help_calls, 1);
  EXPECT_TRUE(open_after_f1);
  EXPECT_TRUE(shown.isNull()) << "the box is deleted, not hidden, once OK closed it";
}

}  // namespace
}  // namespace quillmap
