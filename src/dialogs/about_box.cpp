#include "dialogs/about_box.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <algorithm>

#include "dialogs/key_preview.h"
#include "dialogs/twips.h"
#include "quillmap/version.h"

// Resources of a static library are registered by hand, outside any namespace.
static void InitBannerResource() { Q_INIT_RESOURCE(about_banner); }

namespace quillmap {
namespace {

constexpr int kClientWidth = 7896;
constexpr int kClientHeight = 3468;
// The banner was drawn for a 96-DPI screen; on another it keeps its size in twips.
constexpr double kBannerDpi = 96.0;

QLabel* AddLabel(QWidget* parent, const char* name, const QString& text, int left, int top,
                 int width, int height) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setGeometry(TwipsRect(left, top, width, height));
  // A wider font than the one the layout was drawn for must not cut the text.
  label->resize(std::max(label->width(), label->sizeHint().width()), label->height());
  return label;
}

}  // namespace

std::string VersionCaption(int major, int minor, int revision) {
  return "Version: " + std::to_string(major) + "." + std::to_string(minor) + ".x." +
         std::to_string(revision);
}

QImage AboutBanner() {
  InitBannerResource();
  return QImage(":/about/banner.bmp");
}

HelpAbout::HelpAbout(UserInterface& ui, QWidget* parent) : QDialog(parent), ui_(ui) {
  setObjectName("frmHelpAbout");
  setWindowTitle("About Quillmap");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  // A fixed size keeps the box as drawn: no resize can take it away from it.
  setFixedSize(TwipsSize(kClientWidth, kClientHeight));
  // The layout was drawn for an 8-point font.
  QFont small = font();
  small.setPointSizeF(8);
  setFont(small);

  // Created in tab order.
  banner_label_ = new QLabel(this);
  banner_label_->setObjectName("Picture1");
  banner_label_->setGeometry(TwipsRect(120, 120, 7815, 1575));
  banner_label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  QPixmap banner = QPixmap::fromImage(AboutBanner());
  banner.setDevicePixelRatio(kBannerDpi / LogicalDpi());
  banner_label_->setPixmap(banner);

  version_label_ = AddLabel(
      this, "lblVersion",
      QString::fromStdString(VersionCaption(kVersionMajor, kVersionMinor, kVersionRevision)), 3360,
      1920, 2775, 255);
  copyright_label_ =
      AddLabel(this, "Label2", "Copyright (C) The Quillmap developers", 2520, 2400, 3495, 255);
  ok_button_ = new QPushButton("OK", this);
  ok_button_->setObjectName("cmdOK");
  ok_button_->setGeometry(TwipsRect(3240, 2880, 1455, 375));
  ok_button_->setDefault(true);

  connect(ok_button_, &QPushButton::clicked, this, &QDialog::accept);
  new KeyPreview(this, [this](const QKeyEvent& key) {
    if (key.key() == Qt::Key_F1) ui_.ShowHelp();
  });
  move(CentredPosition(size(), screen()));
}

void ShowHelpAbout(UserInterface& ui, QWidget* parent) {
  HelpAbout box(ui, parent);
  box.exec();
}

}  // namespace quillmap
