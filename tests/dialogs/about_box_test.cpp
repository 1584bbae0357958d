// The about box, found by its widgets' names and driven with real clicks and keys.
#include "dialogs/about_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QtEndian>

#include "dialogs/twips.h"
#include "quillmap/version.h"
#include "support/fake_ui.h"

namespace quillmap {
namespace {

TEST(AboutBoxTest, ShowsCaptionVersionNoticeAndBanner) {
  EXPECT_EQ(VersionCaption(1, 7, 3), "Version: 1.7.x.3");
  EXPECT_EQ(VersionCaption(10, 0, 12), "Version: 10.0.x.12");

  testing::FakeUi ui;
  HelpAbout box(ui);
  EXPECT_EQ(box.objectName(), "frmHelpAbout");
  EXPECT_EQ(box.windowTitle(), "About Quillmap");
  EXPECT_FALSE(box.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  // The project's version 1.0.0 reads "Version: 1.0.x.0".
  QString version = QString("Version: ") + kVersionText;
  version.insert(version.lastIndexOf('.') + 1, "x.");
  EXPECT_EQ(box.findChild<QLabel*>("lblVersion")->text(), version);
  const QLabel* notice = box.findChild<QLabel*>("Label2");
  EXPECT_FALSE(notice->text().isEmpty());
  EXPECT_LE(notice->geometry().right(), box.width()) << "the notice is cut";
  EXPECT_EQ(box.findChild<QPushButton*>("cmdOK")->text(), "OK");

  EXPECT_EQ(box.findChild<QLabel*>("Picture1")->pixmap().size(), QSize(512, 99));
  // The bitmap as compiled in, by its BITMAPINFOHEADER: 512 x 99 pixels of 24 bits.
  QFile file(":/about/banner.bmp");
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray bmp = file.readAll();
  ASSERT_TRUE(bmp.startsWith("BM") && bmp.size() > 54);
  EXPECT_EQ(qFromLittleEndian<qint32>(bmp.constData() + 18), 512);
  EXPECT_EQ(qAbs(qFromLittleEndian<qint32>(bmp.constData() + 22)), 99);
  EXPECT_EQ(qFromLittleEndian<quint16>(bmp.constData() + 28), 24);
}

TEST(AboutBoxTest, KeepsItsSize) {
  testing::FakeUi ui;
  HelpAbout box(ui);
  box.show();
  const QSize size = TwipsSize(7896, 3468);
  box.resize(size + QSize(40, 30));
  EXPECT_EQ(box.size(), size);
  box.showMinimized();
  box.showNormal();
  EXPECT_EQ(box.size(), size);
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
  // Returned after OK, and the box is gone, not hidden: the next one is loaded afresh.
  EXPECT_TRUE(shown.isNull());
}

}  // namespace
}  // namespace quillmap
