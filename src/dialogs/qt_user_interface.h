// The Qt side of UserInterface: message boxes titled "Quillmap", the program-wide busy pointer
// and the help document.
#pragma once

#include <QWidget>
#include <string>

#include "regions/global.h"
#include "regions/user_interface.h"

namespace quillmap {

class QtUserInterface : public UserInterface {
 public:
  // `global` gives the data folder of the help document; `parent` (may be null: then the
  // active window) owns the message boxes.
  explicit QtUserInterface(const Global& global, QWidget* parent = nullptr);

  MessageAnswer ShowMessage(const std::string& text, MessageButtons buttons = MessageButtons::kOk,
                            MessageIcon icon = MessageIcon::kNone) override;
  void SetBusy(bool busy) override;
  void ShowHelp() override;

  void SetParent(QWidget* parent) { parent_ = parent; }

  // DataFolderPath + "Help/Quillmap.pdf".
  static std::string HelpPath(const Global& global);

 private:
  const Global& global_;
  QWidget* parent_;
};

}  // namespace quillmap
