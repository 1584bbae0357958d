#include "app/slide_figure.h"

#include <QLabel>
#include <QLineF>
#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <cmath>

#include "dialogs/twips.h"

namespace quillmap {
namespace {

struct TwipRect {
  int left, top, width, height;
};

// The rectangles, in twips.
constexpr TwipRect kShape1 = {960, 2040, 6975, 3015};   // the slide
constexpr TwipRect kShape2 = {1560, 2520, 5775, 2055};  // the scan region
constexpr TwipRect kShape3 = {1920, 1440, 6375, 4215};  // the slide holder
// Where the dimension lines run and where the scan region's right and lower edges lie.
constexpr int kXDimensionTop = 1440;
constexpr int kYDimensionLeft = 480;
constexpr int kWidthDimensionTop = 1200;
constexpr int kHeightDimensionLeft = 600;
constexpr int kRegionRight = 7320;
constexpr int kRegionBottom = 4560;
// How far an extension line reaches past its dimension line.
constexpr int kOvershoot = 60;

// Stacks the letters of its caption evenly down its height, so a word reads downward in a
// one-letter-wide label whatever the font's line height.
class VerticalLabel : public QLabel {
 public:
  using QLabel::QLabel;

 protected:
  void paintEvent(QPaintEvent*) override {
    QString letters = text();
    letters.remove(' ');
    if (letters.isEmpty()) return;
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    const double step = static_cast<double>(height()) / letters.size();
    for (int i = 0; i < letters.size(); ++i) {
      const QRectF cell(0, i * step, width(), step);
      painter.drawText(cell, Qt::AlignCenter, letters.mid(i, 1));
    }
  }
};

class TwipPainter {
 public:
  TwipPainter(QPainter& painter, double dpi) : painter_(painter), dpi_(dpi) {}

  QPointF Point(int x, int y) const {
    // Half a pixel in, so a one-pixel line covers exactly one row or column of pixels.
    return QPointF(TwipsToPixels(x, dpi_) + 0.5, TwipsToPixels(y, dpi_) + 0.5);
  }

  void Line(int x1, int y1, int x2, int y2) { painter_.drawLine(Point(x1, y1), Point(x2, y2)); }

  void Rectangle(const TwipRect& r, const QColor* fill) {
    const QRect pixels = TwipsRect(r.left, r.top, r.width, r.height, dpi_);
    if (fill != nullptr) painter_.fillRect(pixels, *fill);
    painter_.drawRect(QRectF(pixels).adjusted(0.5, 0.5, -0.5, -0.5));
  }

  // A filled head at (x2, y2) pointing away from (x1, y1).
  void Head(int x1, int y1, int x2, int y2) { Head(Point(x1, y1), Point(x2, y2)); }

  void Head(const QPointF& from, const QPointF& tip) {
    const QLineF shaft(tip, from);
    const double size = TwipsToPixels(90, dpi_);
    const double angle = std::atan2(shaft.dy(), shaft.dx());
    constexpr double kSpread = 0.4;
    const QPointF a(tip.x() + size * std::cos(angle + kSpread),
                    tip.y() + size * std::sin(angle + kSpread));
    const QPointF b(tip.x() + size * std::cos(angle - kSpread),
                    tip.y() + size * std::sin(angle - kSpread));
    painter_.save();
    painter_.setRenderHint(QPainter::Antialiasing);
    painter_.setBrush(painter_.pen().color());
    painter_.drawPolygon(QPolygonF({tip, a, b}));
    painter_.restore();
  }

  void Arrow(int x1, int y1, int x2, int y2) { Arrow(Point(x1, y1), Point(x2, y2)); }

  void Arrow(const QPointF& from, const QPointF& to) {
    painter_.save();
    painter_.setRenderHint(QPainter::Antialiasing, from.x() != to.x() && from.y() != to.y());
    painter_.drawLine(from, to);
    painter_.restore();
    Head(from, to);
  }

  // A dimension line from `from` to `to` along one axis, broken between gap_from and gap_to
  // where its caption stands, with a head at each end.
  void HorizontalDimension(int top, int from, int to, int gap_from, int gap_to) {
    Line(from, top, gap_from, top);
    Line(gap_to, top, to, top);
    Head(gap_from, top, from, top);
    Head(gap_to, top, to, top);
  }
  void VerticalDimension(int left, int from, int to, int gap_from, int gap_to) {
    Line(left, from, left, gap_from);
    Line(left, gap_to, left, to);
    Head(left, gap_from, left, from);
    Head(left, gap_to, left, to);
  }

 private:
  QPainter& painter_;
  double dpi_;
};

}  // namespace

void FitLabel(QLabel* label, LabelGrowth growth) {
  const QSize hint = label->sizeHint();
  const QRect old = label->geometry();
  const int width = std::max(old.width(), hint.width());
  const int height = std::max(old.height(), hint.height());
  const int left = growth == LabelGrowth::kLeftward ? old.right() + 1 - width : old.left();
  label->setGeometry(left, old.top(), width, height);
}

SlideFigure::SlideFigure(QWidget* parent) : QWidget(parent) {
  setObjectName("SlideFigure");
  setAttribute(Qt::WA_TransparentForMouseEvents);
  AddLabel("Label1", " (0,0)", 360, 1440, 495, 255);
  AddLabel("lblX", "X", 1200, 1320, 135, 255);
  AddLabel("lblY", "Y", 435, 2160, 135, 195);
  AddLabel("lblWd", "WIDTH", 4440, 1080, 615, 255);
  auto* height_label = new VerticalLabel("H E  I G H T", this);
  height_label->setObjectName("lblHt");
  height_label->setGeometry(TwipsRect(555, 3000, 135, 1215));
  AddLabel("Label6", "Scan Region", 4200, 2640, 975, 255);
  AddLabel("Label7", "Slide", 4200, 4680, 495, 255);
  AddLabel("Label5", "Slide Holder", 4200, 5280, 1095, 255);
  min_corner_caption_ = AddLabel("Label2", "Min upper left corner", 1920, 3120, 1575, 255);
  upper_left_label_ = AddLabel("lblULC", "", 2040, 2880, 1335, 255);
  // These two stand against the scan region's right edge.
  max_corner_caption_ =
      AddLabel("Label3", "Max lower right corner", 5400, 3720, 1575, 255, LabelGrowth::kLeftward);
  lower_right_label_ = AddLabel("lblLRC", "", 5760, 3960, 1095, 255, LabelGrowth::kLeftward);
}

QLabel* SlideFigure::AddLabel(const char* name, const QString& caption, int left, int top,
                              int width, int height, LabelGrowth growth) {
  auto* label = new QLabel(caption, this);
  label->setObjectName(name);
  label->setGeometry(TwipsRect(left, top, width, height));
  label->setAlignment((growth == LabelGrowth::kLeftward ? Qt::AlignRight : Qt::AlignLeft) |
                      Qt::AlignTop);
  FitLabel(label, growth);
  return label;
}

void SlideFigure::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const double dpi = logicalDpiY();
  TwipPainter figure(painter, dpi);
  QPen pen(QColor(0, 0, 0));
  pen.setCosmetic(true);
  painter.setPen(pen);

  const QColor slide_grey(224, 224, 224);
  const QColor region_orange(255, 224, 192);
  figure.Rectangle(kShape1, &slide_grey);
  figure.Rectangle(kShape2, &region_orange);
  figure.Rectangle(kShape3, nullptr);

  // From " (0,0)" to the origin, the slide's upper-left corner.
  figure.Arrow(855, 1695, kShape1.left, kShape1.top);

  // Extension lines from the corners out past the dimension lines.
  figure.Line(kShape1.left, kShape1.top, kShape1.left, kXDimensionTop - kOvershoot);
  figure.Line(kShape2.left, kShape2.top, kShape2.left, kWidthDimensionTop - kOvershoot);
  figure.Line(kRegionRight, kShape2.top, kRegionRight, kWidthDimensionTop - kOvershoot);
  figure.Line(kShape1.left, kShape1.top, kYDimensionLeft - kOvershoot, kShape1.top);
  figure.Line(kShape2.left, kShape2.top, kYDimensionLeft - kOvershoot, kShape2.top);
  figure.Line(kShape2.left, kRegionBottom, kHeightDimensionLeft - kOvershoot, kRegionBottom);

  // Each broken where its caption (X, Y, WIDTH, HEIGHT) stands.
  figure.HorizontalDimension(kXDimensionTop, kShape1.left, kShape2.left, 1170, 1365);
  figure.VerticalDimension(kYDimensionLeft, kShape1.top, kShape2.top, 2145, 2370);
  figure.HorizontalDimension(kWidthDimensionTop, kShape2.left, kRegionRight, 4380, 5115);
  figure.VerticalDimension(kHeightDimensionLeft, kShape2.top, kRegionBottom, 2955, 4260);

  // From the corner captions, wherever their text ends, to the corners they name.
  const QRect min_caption = min_corner_caption_->geometry();
  figure.Arrow(QPointF(min_caption.left() + 0.5, min_caption.center().y() + 0.5),
               figure.Point(kShape2.left, kShape2.top));
  const QRect max_caption = max_corner_caption_->geometry();
  figure.Arrow(QPointF(max_caption.right() + 2.5, max_caption.center().y() + 0.5),
               figure.Point(kRegionRight, kRegionBottom));
}

}  // namespace quillmap
