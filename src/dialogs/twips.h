// Window layouts are given in twips (1440 to the inch). Widgets are placed in device-independent
// pixels at the screen's logical DPI (15 twips a pixel at 96 DPI), so a layout keeps its
// proportions, and Qt's scaling keeps it sharp, on any display.
#pragma once

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QSize>
#include <cmath>

namespace quillmap {

inline constexpr int kTwipsPerInch = 1440;

inline double LogicalDpi() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->logicalDotsPerInchY() : 96.0;
}

inline int TwipsToPixels(int twips, double dpi = LogicalDpi()) {
  return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch));
}

inline double PixelsToTwips(int pixels, double dpi = LogicalDpi()) {
  return pixels * kTwipsPerInch / dpi;
}

// Edges are converted, not sizes, so that widgets that meet in twips meet in pixels.
inline QRect TwipsRect(int left, int top, int width, int height, double dpi = LogicalDpi()) {
  const int x = TwipsToPixels(left, dpi);
  const int y = TwipsToPixels(top, dpi);
  return QRect(x, y, TwipsToPixels(left + width, dpi) - x, TwipsToPixels(top + height, dpi) - y);
}

inline QSize TwipsSize(int width, int height, double dpi = LogicalDpi()) {
  return QSize(TwipsToPixels(width, dpi), TwipsToPixels(height, dpi));
}

// The top-left corner that centres a window of `size` on `screen`: each difference in twips,
// rounded to a whole twip (half to even), then halved with truncation. A window larger than the
// screen gets negative edges, used as they come.
inline QPoint CentredPosition(const QSize& size, const QScreen* screen, double dpi = LogicalDpi()) {
  if (screen == nullptr) return QPoint(0, 0);
  const QRect area = screen->geometry();
  auto centre = [dpi](int screen_px, int window_px) {
    const long long difference =
        std::llrint(PixelsToTwips(screen_px, dpi) - PixelsToTwips(window_px, dpi));
    return TwipsToPixels(static_cast<int>(difference / 2), dpi);
  };
  return area.topLeft() +
         QPoint(centre(area.width(), size.width()), centre(area.height(), size.height()));
}

}  // namespace quillmap
