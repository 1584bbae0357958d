#include "dialogs/qt_user_interface.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QUrl>

namespace quillmap {

QtUserInterface::QtUserInterface(const Global& global, QWidget* parent)
    : global_(global), parent_(parent) {}

MessageAnswer QtUserInterface::ShowMessage(const std::string& text, MessageButtons buttons,
                                           MessageIcon icon) {
  // Over the window in use (the edit dialog, say) when no parent was given.
  QMessageBox box(parent_ != nullptr ? parent_ : QApplication::activeWindow());
  box.setWindowTitle(QString::fromUtf8(kMessageTitle));
  // Messages break their lines with CR LF; a lone CR would show as a glyph here.
  box.setText(QString::fromStdString(text).replace(QLatin1String("\r\n"), QLatin1String("\n")));
  // Plain text: a region name may hold "<" or "&".
  box.setTextFormat(Qt::PlainText);
  box.setIcon(icon == MessageIcon::kInformation ? QMessageBox::Information : QMessageBox::NoIcon);
  if (buttons == MessageButtons::kYesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
  }
  const int answer = box.exec();
  if (buttons == MessageButtons::kOk) return MessageAnswer::kOk;
  return answer == QMessageBox::Yes ? MessageAnswer::kYes : MessageAnswer::kNo;
}

void QtUserInterface::SetBusy(bool busy) {
  if (busy) {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QGuiApplication::restoreOverrideCursor();
  }
}

std::string QtUserInterface::HelpPath(const Global& global) {
  return global.DataFolderPath + "Help" + kPathSeparator + "Quillmap.pdf";
}

void QtUserInterface::ShowHelp() {
  const std::string path = HelpPath(global_);
  const QString qpath = QString::fromStdString(path);
  if (!QFileInfo(qpath).isFile()) {
    ShowMessage("Unable to locate " + path);
    return;
  }
  // Returns at once; the viewer runs on its own.
  QDesktopServices::openUrl(QUrl::fromLocalFile(qpath));
}

}  // namespace quillmap
