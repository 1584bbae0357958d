// Lets a window see every key pressed in it before the focused widget does, and then lets the
// key go on to that widget unchanged (F1 opens help wherever the focus is).
#pragma once

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <utility>

namespace quillmap {

class KeyPreview : public QObject {
 public:
  KeyPreview(QWidget* window, std::function<void(const QKeyEvent&)> on_key)
      : QObject(window), window_(window), on_key_(std::move(on_key)) {
    qApp->installEventFilter(this);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress || window_ == nullptr) return false;
    // An ignored key travels on to the widget's parents as the same event; only its first
    // receiver, the window's focus widget, counts.
    QWidget* focus = window_->focusWidget();
    QWidget* receiver = focus != nullptr ? focus : window_.data();
    if (watched == receiver) on_key_(*static_cast<QKeyEvent*>(event));
    return false;
  }

 private:
  QPointer<QWidget> window_;
  std::function<void(const QKeyEvent&)> on_key_;
};

}  // namespace quillmap
