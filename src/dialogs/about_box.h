// The about box: the program's banner, its version and a notice, shown modally from the main
// window's Help menu.
#pragma once

#include <QDialog>
#include <QImage>
#include <string>

#include "regions/user_interface.h"

class QLabel;
class QPushButton;

namespace quillmap {

// "Version: " major "." minor ".x." revision, the x standing there literally.
std::string VersionCaption(int major, int minor, int revision);

// The banner drawn by quillmap-make-banner at build time and compiled into the program.
QImage AboutBanner();

class HelpAbout : public QDialog {
  Q_OBJECT

 public:
  explicit HelpAbout(UserInterface& ui, QWidget* parent = nullptr);

 private:
  UserInterface& ui_;
  QLabel* banner_label_;
  QLabel* version_label_;
  QLabel* copyright_label_;
  QPushButton* ok_button_;
};

// Shows a fresh about box modally and returns when it has closed.
void ShowHelpAbout(UserInterface& ui, QWidget* parent);

}  // namespace quillmap
