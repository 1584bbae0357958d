// The modal dialog that adds a region or modifies CurrentRegion: five boxes beside the ranges
// that the scanner model allows, checked by ValidateRegion before Save writes the region file.
#pragma once

#include <QDialog>
#include <optional>
#include <string>

#include "regions/edit_rules.h"
#include "regions/global.h"
#include "regions/region_commands.h"
#include "regions/region_file.h"
#include "regions/user_interface.h"

class QLabel;
class QPushButton;

namespace quillmap {

class EditBox;

class EditRegion : public QDialog {
  Q_OBJECT

 public:
  // Fills the range labels from global.Scanner.Limits and global.CurrentRegion and takes
  // global.DecimalSeparator, all now; the boxes are filled when the dialog is shown.
  EditRegion(Global& global, UserInterface& ui, QWidget* parent = nullptr);
  ~EditRegion() override;

  // "New" adds a region; any other text modifies the one in CurrentRegion. Set before showing.
  void SetEditMode(const std::string& mode) { edit_mode_ = mode; }
  const std::string& EditMode() const { return edit_mode_; }

  void UpdateMaxWidth(double x);
  void UpdateMaxHeight(double y);
  void ClearFields();
  // Trims the boxes, then throws Error 100 with the first failing rule's message after moving
  // the focus to the box it names.
  void ValidateRegion(const NameExistsFn& name_exists);

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void done(int result) override;

 private:
  void Form_Activate();
  void cmdSave_Click();
  void cmdExit_Click();
  void txtXPos_LostFocus();
  void txtYPos_LostFocus();
  void txtWidth_LostFocus();
  void txtHeight_LostFocus();

  QLabel* AddLabel(const char* name, const char* text, int left, int top, int width, int height);
  // The dash between a row's two range labels, whose top is `row_top`.
  QLabel* AddDash(const char* name, int row_top);
  EditBox* AddBox(const char* name, int left, int top, int width, int limit);
  EditBox* Box(RegionBox box) const;
  RegionTexts BoxTexts() const;
  RangeCaptions Captions() const;
  void SetBoxText(EditBox* box, const std::string& text);
  void SetCaption(QLabel* label, const std::string& text);
  void SetMaxSizeLabel(QLabel* label, const MaxSizeLabel& value);
  bool NameExistsInFile(const std::string& name);

  Global& global_;
  UserInterface& ui_;
  std::string edit_mode_ = kEditModeNew;
  char DecimalSeparator_;
  // The region as it was stored when the dialog opened. CurrentRegion takes the box values
  // before a write that may fail; until a write succeeds, Save must write and closing without
  // saving gives CurrentRegion back its stored values.
  ScanRegion stored_region_;
  bool write_pending_ = false;

  EditBox* txtName_;
  EditBox* txtXPos_;
  EditBox* txtYPos_;
  EditBox* txtWidth_;
  EditBox* txtHeight_;
  QPushButton* cmdSave_;
  QPushButton* cmdExit_;
  QLabel* lblMinX_;
  QLabel* lblMaxX_;
  QLabel* lblMinY_;
  QLabel* lblMaxY_;
  QLabel* lblMinWidth_;
  QLabel* lblMaxWidth_;
  QLabel* lblMinHeight_;
  QLabel* lblMaxHeight_;
};

// Creates the dialog (reading CurrentRegion and the model's bounds), shows it modally in
// `edit_mode` and returns when Save or Exit has closed it: true when Save closed it.
bool ShowEditRegion(Global& global, UserInterface& ui, const std::string& edit_mode,
                    QWidget* parent = nullptr);

}  // namespace quillmap
