// The about box, found by its widgets' names; the window's tests open it and press F1 and OK.
#include "dialogs/about_box.h"

#include <gtest/gtest.h>

#include <QLabel>

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

}  // namespace
}  // namespace quillmap
