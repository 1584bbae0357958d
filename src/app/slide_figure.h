// The slide holder figure above the list: the slide, the scan region and the holder, their
// captions, dimension and extension lines and arrows, and the two corner labels. It covers the
// whole client area, so every position in it is the window's own twip position.
#pragma once

#include <QWidget>

class QLabel;

namespace quillmap {

// The layouts' label widths suit the scanner software's narrow type; with a wider font a label
// grows rather than cutting its caption: to the right and down, or, for a label that sits
// against something on its right, to the left and down.
enum class LabelGrowth { kRightward, kLeftward };
void FitLabel(QLabel* label, LabelGrowth growth = LabelGrowth::kRightward);

class SlideFigure : public QWidget {
  Q_OBJECT

 public:
  explicit SlideFigure(QWidget* parent = nullptr);

  QLabel* UpperLeftLabel() const { return upper_left_label_; }
  QLabel* LowerRightLabel() const { return lower_right_label_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QLabel* AddLabel(const char* name, const QString& caption, int left, int top, int width,
                   int height, LabelGrowth growth = LabelGrowth::kRightward);

  QLabel* upper_left_label_;
  QLabel* lower_right_label_;
  QLabel* min_corner_caption_;
  QLabel* max_corner_caption_;
};

}  // namespace quillmap
