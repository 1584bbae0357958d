#include "dialogs/select_scanner.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "dialogs/key_preview.h"
#include "dialogs/twips.h"
#include "sysfile/system_file.h"

namespace quillmap {

SelectScanner::SelectScanner(Global& global, UserInterface& ui, QWidget* parent)
    : QDialog(parent), global_(global), ui_(ui) {
  setObjectName("SelectScanner");
  setWindowTitle("Select Scanner");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(TwipsSize(3156, 1824));

  // Created in tab order.
  cboScanner_ = new QComboBox(this);
  cboScanner_->setObjectName("cboScanner");
  cboScanner_->setEditable(false);
  cboScanner_->setGeometry(TwipsRect(240, 600, 2655, 315));
  cmdOK_ = new QPushButton("OK", this);
  cmdOK_->setObjectName("cmdOK");
  cmdOK_->setGeometry(TwipsRect(960, 1200, 1215, 375));
  cmdOK_->setDefault(true);
  lblMsg_ = new QLabel("Select a scanner to edit scan regions", this);
  lblMsg_->setObjectName("lblMsg");
  lblMsg_->setGeometry(TwipsRect(240, 240, 2775, 255));
  lblMsg_->resize(std::max(lblMsg_->width(), lblMsg_->sizeHint().width()), lblMsg_->height());
  // The layout suits the scanner software's narrow type: with a wider font the dialog widens so
  // that the message keeps its margin rather than being cut.
  setFixedSize(std::max(width(), lblMsg_->geometry().right() + 1 + TwipsToPixels(240)), height());

  for (const std::string& name : global_.Scanner.ModelList) {
    cboScanner_->addItem(QString::fromStdString(name));
  }
  cboScanner_->setCurrentIndex(static_cast<int>(global_.Scanner.ModelList.size()) - 1);

  connect(cmdOK_, &QPushButton::clicked, this, &SelectScanner::cmdOK_Click);
  new KeyPreview(this, [this](const QKeyEvent& key) {
    if (key.key() == Qt::Key_F1) ui_.ShowHelp();
  });
  move(CentredPosition(size(), screen()));
}

void SelectScanner::cmdOK_Click() {
  try {
    SelectModel(global_.SystemFilePath, cboScanner_->currentText().toStdString(), global_.Scanner);
  } catch (const Error& error) {
    failure_ = error;
  }
  accept();
}

void SelectScanner::keyPressEvent(QKeyEvent* event) {
  // There is no cancel button: Escape would end the dialog without a model, and the start-up
  // would go on with none.
  if (event->matches(QKeySequence::Cancel)) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void SelectScanner::ShowModal() {
  exec();
  if (failure_) throw *failure_;
}

}  // namespace quillmap
