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
  scanner_combo_ = new QComboBox(this);
  scanner_combo_->setObjectName("cboScanner");
  scanner_combo_->setEditable(false);
  scanner_combo_->setGeometry(TwipsRect(240, 600, 2655, 315));
  ok_button_ = new QPushButton("OK", this);
  ok_button_->setObjectName("cmdOK");
  ok_button_->setGeometry(TwipsRect(960, 1200, 1215, 375));
  ok_button_->setDefault(true);
  message_label_ = new QLabel("Select a scanner to edit scan regions", this);
  message_label_->setObjectName("lblMsg");
  message_label_->setGeometry(TwipsRect(240, 240, 2775, 255));
  message_label_->resize(std::max(message_label_->width(), message_label_->sizeHint().width()),
                         message_label_->height());
  // The layout suits the scanner software's narrow type: with a wider font the dialog widens so
  // that the message keeps its margin rather than being cut.
  setFixedSize(std::max(width(), message_label_->geometry().right() + 1 + TwipsToPixels(240)),
               height());

  for (const std::string& name : global_.Scanner.ModelList) {
    scanner_combo_->addItem(QString::fromStdString(name));
  }
  scanner_combo_->setCurrentIndex(static_cast<int>(global_.Scanner.ModelList.size()) - 1);

  connect(ok_button_, &QPushButton::clicked, this, &SelectScanner::SelectChosenModel);
  new KeyPreview(this, [this](const QKeyEvent& key) {
    if (key.key() == Qt::Key_F1) ui_.ShowHelp();
  });
  move(CentredPosition(size(), screen()));
}

void SelectScanner::SelectChosenModel() {
  try {
    SelectModel(global_.SystemFilePath, scanner_combo_->currentText().toStdString(),
                global_.Scanner);
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
