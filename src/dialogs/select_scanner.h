// The scanner selection dialog: the user picks the scanner model whose regions are edited.
#pragma once

#include <QDialog>
#include <optional>

#include "regions/global.h"
#include "regions/user_interface.h"
#include "settings/error.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace quillmap {

class KeyPreview;

class SelectScanner : public QDialog {
  Q_OBJECT

 public:
  // Lists global.Scanner.ModelList; OK selects the chosen model from global.SystemFilePath.
  SelectScanner(Global& global, UserInterface& ui, QWidget* parent = nullptr);

  // Shows the dialog modally and returns when it has closed. A failure of the selection made by
  // OK is thrown from here, after the dialog has gone; closing it any other way selects nothing.
  void ShowModal();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void cmdOK_Click();

  Global& global_;
  UserInterface& ui_;
  QComboBox* cboScanner_;
  QPushButton* cmdOK_;
  QLabel* lblMsg_;
  std::optional<Error> failure_;
};

}  // namespace quillmap
