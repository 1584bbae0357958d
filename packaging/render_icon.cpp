// Renders the application icon's SVG into square PNG files at build time, so the packaged
// icon sizes always match the one SVG kept in the repository.
// Usage: quillmap-render-icon ICON.svg OUTPUT_FOLDER SIZE...
//        writes OUTPUT_FOLDER/SIZExSIZE/apps/<name of ICON.svg>.png for each SIZE.
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "Usage: %s ICON.svg OUTPUT_FOLDER SIZE...\n", argv[0]);
    return 2;
  }
  const QString svg_path = QString::fromLocal8Bit(argv[1]);
  const QString output = QString::fromLocal8Bit(argv[2]);
  QSvgRenderer renderer(svg_path);
  if (!renderer.isValid()) {
    std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
    return 1;
  }
  const QString name = QFileInfo(svg_path).completeBaseName();
  for (int i = 3; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    if (size <= 0) {
      std::fprintf(stderr, "%s: not a size: %s\n", argv[0], argv[i]);
      return 2;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    const QString folder = QString("%1/%2x%2/apps").arg(output).arg(size);
    const QString file = folder + "/" + name + ".png";
    if (!QDir().mkpath(folder) || !image.save(file, "PNG")) {
      std::fprintf(stderr, "%s: cannot write %s\n", argv[0], qPrintable(file));
      return 1;
    }
  }
  return 0;
}
