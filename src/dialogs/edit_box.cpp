#include "dialogs/edit_box.h"

#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QRegularExpression>
#include <algorithm>

#include "regions/edit_rules.h"

namespace quillmap {
namespace {

// The rules count characters (code points); QString counts UTF-16 units.
int CharIndex(const QString& text, int utf16_index) {
  int chars = 0;
  for (int i = 0; i < utf16_index && i < text.size(); ++i) {
    if (!text.at(i).isLowSurrogate()) ++chars;
  }
  return chars;
}

int Utf16Index(const QString& text, int char_index) {
  int i = 0;
  for (int chars = 0; i < text.size(); ++i) {
    if (text.at(i).isLowSurrogate()) continue;
    if (chars == char_index) return i;
    ++chars;
  }
  return i;
}

}  // namespace

int KeyAscii(const QKeyEvent& event) {
  const int key = event.key();
  if (key == Qt::Key_Tab || key == Qt::Key_Backtab) return -1;
  const bool ctrl = event.modifiers().testFlag(Qt::ControlModifier);
  if (ctrl && key >= Qt::Key_A && key <= Qt::Key_Z) return key - Qt::Key_A + 1;
  if (key == Qt::Key_Backspace) return ctrl ? 127 : kKeyBackspace;
  if (key == Qt::Key_Return || key == Qt::Key_Enter) return kKeyEnter;
  if (key == Qt::Key_Escape) return 27;
  const QString text = event.text();
  if (text.isEmpty() || text.at(0) == QChar(0x7F)) return -1;
  return static_cast<int>(text.toUcs4().value(0));
}

EditBox::EditBox(QWidget* parent) : QLineEdit(parent) {
  // A drop would bypass the length limit.
  setAcceptDrops(false);
}

void EditBox::SetNumeric(char sep) {
  if (!numeric_) connect(this, &QLineEdit::textChanged, this, &EditBox::LimitDecimals);
  numeric_ = true;
  sep_ = sep;
  // Composed input would bypass the keystroke filter.
  setAttribute(Qt::WA_InputMethodEnabled, false);
}

int EditBox::SelStart() const {
  return CharIndex(text(), hasSelectedText() ? selectionStart() : cursorPosition());
}

int EditBox::SelLength() const {
  if (!hasSelectedText()) return 0;
  return CharIndex(text(), selectionEnd()) - CharIndex(text(), selectionStart());
}

int EditBox::Room() const {
  return input_limit_ - (static_cast<int>(text().size()) - static_cast<int>(selectedText().size()));
}

void EditBox::keyPressEvent(QKeyEvent* event) {
  const int code = KeyAscii(*event);
  if (numeric_ && code >= 0 &&
      NumericKeys(text().toStdString(), code, SelStart(), SelLength(), sep_) == 0) {
    event->accept();  // swallowed
    return;
  }
  if (event->matches(QKeySequence::Paste)) {
    PasteLimited(QClipboard::Clipboard);
    event->accept();
    return;
  }
  const bool types_text = code >= 0x20 && code != 0x7F && !event->text().isEmpty();
  if (types_text && !isReadOnly() && event->text().size() > Room()) {
    event->accept();
    return;
  }
  QLineEdit::keyPressEvent(event);
}

void EditBox::PasteLimited(QClipboard::Mode mode) {
  if (isReadOnly()) return;
  QString clip = QGuiApplication::clipboard()->text(mode);
  // A single-line box takes the first line only.
  const qsizetype line_end = clip.indexOf(QRegularExpression("[\r\n]"));
  if (line_end >= 0) clip.truncate(line_end);
  clip.truncate(std::max(Room(), 0));
  if (clip.isEmpty()) return;
  insert(clip);
}

void EditBox::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  // Coming back from another window or from the context menu is not a new visit.
  if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason) {
    return;
  }
  // The caret at the start, the whole text selected.
  setSelection(static_cast<int>(text().size()), -static_cast<int>(text().size()));
}

void EditBox::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason) {
    return;
  }
  emit FocusLost();
}

void EditBox::contextMenuEvent(QContextMenuEvent* event) {
  // The standard menu's Paste would bypass the length limit, so the menu is built here.
  QMenu menu(this);
  const bool editable = !isReadOnly();
  const bool selected = hasSelectedText();
  menu.addAction(tr("&Undo"), this, &QLineEdit::undo)->setEnabled(editable && isUndoAvailable());
  menu.addSeparator();
  menu.addAction(tr("Cu&t"), this, &QLineEdit::cut)->setEnabled(editable && selected);
  menu.addAction(tr("&Copy"), this, &QLineEdit::copy)->setEnabled(selected);
  menu.addAction(tr("&Paste"), this, [this] { PasteLimited(QClipboard::Clipboard); })
      ->setEnabled(editable && !QGuiApplication::clipboard()->text().isEmpty());
  menu.addAction(tr("Delete"), this, &QLineEdit::del)->setEnabled(editable && selected);
  menu.addSeparator();
  menu.addAction(tr("Select All"), this, &QLineEdit::selectAll)->setEnabled(!text().isEmpty());
  menu.exec(event->globalPos());
}

void EditBox::mouseReleaseEvent(QMouseEvent* event) {
  // The middle button pastes the selection clipboard on X11; limited like any paste.
  if (event->button() == Qt::MiddleButton && !isReadOnly() &&
      QGuiApplication::clipboard()->supportsSelection()) {
    deselect();
    setCursorPosition(cursorPositionAt(event->position().toPoint()));
    PasteLimited(QClipboard::Selection);
    event->accept();
    return;
  }
  QLineEdit::mouseReleaseEvent(event);
}

void EditBox::inputMethodEvent(QInputMethodEvent* event) {
  const int room = std::max(Room(), 0);
  if (event->commitString().size() <= room) {
    QLineEdit::inputMethodEvent(event);
    return;
  }
  QInputMethodEvent limited(event->preeditString(), event->attributes());
  limited.setCommitString(event->commitString().left(room), event->replacementStart(),
                          event->replacementLength());
  QLineEdit::inputMethodEvent(&limited);
}

void EditBox::LimitDecimals() {
  const QString current = text();
  const auto limited = quillmap::LimitDecimals(current.toStdString(), SelStart(), sep_);
  if (!limited) return;
  const QString shorter = QString::fromStdString(limited->text);
  setText(shorter);  // runs this check again, which finds nothing more to cut
  setCursorPosition(Utf16Index(shorter, limited->caret));
}

}  // namespace quillmap
