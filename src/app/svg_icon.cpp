#include "app/svg_icon.h"

#include <QFile>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <memory>

// The icons live in this static library, whose resource initialiser no code refers to; it has to
// be run by name, from outside any namespace.
static void InitIconResources() { Q_INIT_RESOURCE(icons); }

namespace quillmap {
namespace {

// Renders the SVG itself, so no image-format plug-in is needed at run time.
class SvgIconEngine : public QIconEngine {
 public:
  explicit SvgIconEngine(QByteArray svg) : svg_(std::move(svg)) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
    QSvgRenderer renderer(svg_);
    painter->save();
    if (mode == QIcon::Disabled) painter->setOpacity(0.4);
    renderer.render(painter, rect);
    painter->restore();
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paint(&painter, QRect(QPoint(0, 0), size), mode, state);
    return pixmap;
  }

  QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                       qreal scale) override {
    QPixmap result = pixmap(size * scale, mode, state);
    result.setDevicePixelRatio(scale);
    return result;
  }

  QIconEngine* clone() const override { return new SvgIconEngine(svg_); }

 private:
  QByteArray svg_;
};

}  // namespace

QIcon ThemeOrSvgIcon(const QString& theme_name, const QString& svg_resource) {
  if (QIcon::hasThemeIcon(theme_name)) return QIcon::fromTheme(theme_name);
  static const bool resources_ready = (InitIconResources(), true);
  (void)resources_ready;
  QFile file(svg_resource);
  if (!file.open(QIODevice::ReadOnly)) return QIcon();
  return QIcon(new SvgIconEngine(file.readAll()));
}

}  // namespace quillmap
