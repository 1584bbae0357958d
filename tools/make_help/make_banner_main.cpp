// Draws the about box's banner, 512 x 99 pixels in 24-bit colour, and writes it as a BMP file:
// a microarray slide with its spots and a scan region, beside the program's name.
// Usage: quillmap-make-banner OUTPUT.bmp (run with QT_QPA_PLATFORM=offscreen where there is no
// display; the fonts need a GUI application).
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPen>
#include <QSaveFile>
#include <QTextStream>
#include <cstdio>

namespace {

constexpr int kWidth = 512;
constexpr int kHeight = 99;

void DrawSlide(QPainter& painter) {
  const QRectF slide(16, 18, 150, 63);
  painter.setPen(QPen(QColor(200, 225, 235), 1.2));
  painter.setBrush(QColor(232, 244, 248, 60));
  painter.drawRoundedRect(slide, 3, 3);
  // The label end of the slide.
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(240, 240, 240, 170));
  painter.drawRect(QRectF(slide.left() + 1, slide.top() + 1, 26, slide.height() - 2));

  // Two-colour fluorescence: each spot between green and red, a few of them yellow.
  constexpr int kColumns = 9;
  constexpr int kRows = 4;
  for (int row = 0; row < kRows; ++row) {
    for (int column = 0; column < kColumns; ++column) {
      const int mix = (column * 37 + row * 59 + column * row * 11) % 100;
      const QColor spot = mix < 40   ? QColor(70, 220, 110)
                          : mix < 70 ? QColor(240, 80, 70)
                                     : QColor(250, 215, 80);
      painter.setBrush(spot);
      painter.drawEllipse(QPointF(58 + column * 12.5, 30 + row * 13.0), 4.0, 4.0);
    }
  }

  // A scan region over part of the array, dashed like a selection.
  QPen region(QColor(255, 170, 60), 2.0, Qt::DashLine);
  painter.setPen(region);
  painter.setBrush(QColor(255, 224, 192, 45));
  painter.drawRect(QRectF(76, 23, 64, 40));
}

void DrawName(QPainter& painter) {
  QFont title("DejaVu Sans");
  title.setPixelSize(40);
  title.setBold(true);
  painter.setFont(title);
  painter.setPen(Qt::white);
  painter.drawText(QRectF(188, 8, 310, 52), Qt::AlignLeft | Qt::AlignBottom, "Quillmap");

  painter.setPen(QPen(QColor(255, 170, 60), 2));
  painter.drawLine(QPointF(190, 64), QPointF(492, 64));

  QFont subtitle("DejaVu Sans");
  subtitle.setPixelSize(13);
  painter.setFont(subtitle);
  painter.setPen(QColor(200, 230, 235));
  painter.drawText(QRectF(190, 68, 310, 22), Qt::AlignLeft | Qt::AlignVCenter,
                   "Scan regions for microarray slide scanners");
}

QImage DrawBanner() {
  QImage image(kWidth, kHeight, QImage::Format_RGB888);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  QLinearGradient background(0, 0, kWidth, kHeight);
  background.setColorAt(0.0, QColor(14, 34, 60));
  background.setColorAt(1.0, QColor(24, 104, 116));
  painter.fillRect(image.rect(), background);
  DrawSlide(painter);
  DrawName(painter);
  painter.end();
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  const QStringList args = QCoreApplication::arguments();
  QTextStream err(stderr);
  if (args.size() != 2) {
    err << "Usage: quillmap-make-banner OUTPUT.bmp\n";
    return 2;
  }
  // Qt writes a picture without a colour table as a 24-bit BMP.
  QSaveFile file(args[1]);
  if (!file.open(QIODevice::WriteOnly) || !DrawBanner().save(&file, "BMP") || !file.commit()) {
    err << "quillmap-make-banner: cannot write " << args[1] << ": " << file.errorString() << "\n";
    return 1;
  }
  return 0;
}
