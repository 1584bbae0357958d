// A text box of the region edit dialog: a length limit on what the user types or pastes (text
// that the program puts in may be longer), the whole text selected when it takes the focus, and
// for the number boxes the keystroke filter and the two-decimal limit.
#pragma once

#include <QClipboard>
#include <QLineEdit>

namespace quillmap {

class EditBox : public QLineEdit {
  Q_OBJECT

 public:
  explicit EditBox(QWidget* parent = nullptr);

  // The most characters that typing or pasting may leave in the box.
  void SetInputLimit(int characters) { input_limit_ = characters; }
  int InputLimit() const { return input_limit_; }

  // Keystrokes pass NumericKeys and every change of the text passes LimitDecimals, with `sep`.
  void SetNumeric(char sep);

  // The caret as the rules count it: the selection's start when there is one, in characters.
  int SelStart() const;
  int SelLength() const;

 signals:
  // The focus went to another widget of the window (not to another window or a menu).
  void FocusLost();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;

 private:
  void LimitDecimals();
  // Inserts as much of the clipboard's first line as the limit leaves room for.
  void PasteLimited(QClipboard::Mode mode);
  // Characters that may still go in place of the selection.
  int Room() const;

  int input_limit_ = 32767;
  bool numeric_ = false;
  char sep_ = '.';
};

// The character code that a key press types, as a keystroke filter sees it (Ctrl+letter gives
// 1 to 26), or -1 for keys that type nothing (arrows, Delete, Tab, function keys).
int KeyAscii(const QKeyEvent& event);

}  // namespace quillmap
