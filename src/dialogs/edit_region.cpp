#include "dialogs/edit_region.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <algorithm>

#include "dialogs/edit_box.h"
#include "dialogs/key_preview.h"
#include "dialogs/twips.h"
#include "regions/save_region.h"
#include "settings/error.h"
#include "settings/number_text.h"

namespace quillmap {
namespace {

// The dialog's outer size. Qt sizes the client area, so a classic fixed-dialog frame (3-pixel
// borders, 25-pixel caption at 96 DPI) is taken off; that leaves equal margins round the widgets.
constexpr int kOuterWidth = 3495;
constexpr int kOuterHeight = 3990;
constexpr int kFrameWidth = 90;
constexpr int kFrameHeight = 465;

constexpr int kNameLimit = 30;
constexpr int kNumberLimit = 5;

std::string Utf8(const QString& text) { return text.toStdString(); }

QColor TextColour(const QLabel* label) { return label->palette().color(QPalette::WindowText); }

void SetTextColour(QLabel* label, const QColor& colour) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, colour);
  label->setPalette(palette);
}

}  // namespace

EditRegion::EditRegion(Global& global, UserInterface& ui, QWidget* parent)
    : QDialog(parent),
      global_(global),
      ui_(ui),
      DecimalSeparator_(global.DecimalSeparator),
      stored_region_(global.CurrentRegion) {
  setObjectName("EditRegion");
  setFixedSize(TwipsSize(kOuterWidth - kFrameWidth, kOuterHeight - kFrameHeight));
  // The layout was drawn for an 8-point font.
  QFont small = font();
  small.setPointSizeF(8);
  setFont(small);

  AddLabel("lblName", "Name:", 120, 120, 735, 255);
  AddLabel("lblMaxValues", "Ranges(mm):", 2160, 720, 975, 255);
  AddLabel("lblXPos", "X:", 120, 995, 255, 255);
  AddLabel("lblYPos", "Y:", 120, 1475, 255, 255);
  AddLabel("lblWidth", "Width:", 120, 1955, 525, 255);
  AddLabel("lblHeight", "Height:", 120, 2435, 645, 255);

  AddLabel("lblMM1", "mm", 1560, 995, 255, 255);
  lblMinX_ = AddLabel("lblMinX", "11111", 2115, 995, 495, 255);
  AddDash("lblRng1", 995);
  lblMaxX_ = AddLabel("lblMaxX", "11111", 2760, 995, 495, 255);
  AddLabel("lblMM2", "mm", 1560, 1440, 255, 255);
  lblMinY_ = AddLabel("lblMinY", "22222", 2115, 1455, 495, 255);
  AddDash("lblRng2", 1455);
  lblMaxY_ = AddLabel("lblMaxY", "22222", 2760, 1455, 495, 255);
  AddLabel("lblMM3", "mm", 1560, 1955, 255, 255);
  lblMinWidth_ = AddLabel("lblMinWidth", "33333", 2115, 1955, 495, 255);
  AddDash("lblRng3", 1955);
  lblMaxWidth_ = AddLabel("lblMaxWidth", "33333", 2760, 1955, 495, 255);
  AddLabel("lblMM4", "mm", 1560, 2435, 255, 255);
  lblMinHeight_ = AddLabel("lblMinHeight", "44444", 2115, 2435, 495, 255);
  AddDash("lblRng4", 2435);
  lblMaxHeight_ = AddLabel("lblMaxHeight", "44444", 2760, 2435, 495, 255);

  txtName_ = AddBox("txtName", 720, 120, 2415, kNameLimit);
  txtXPos_ = AddBox("txtXPos", 720, 960, 800, kNumberLimit);
  txtYPos_ = AddBox("txtYPos", 720, 1440, 800, kNumberLimit);
  txtWidth_ = AddBox("txtWidth", 720, 1920, 800, kNumberLimit);
  txtHeight_ = AddBox("txtHeight", 720, 2400, 800, kNumberLimit);
  for (EditBox* box : {txtXPos_, txtYPos_, txtWidth_, txtHeight_}) {
    box->SetNumeric(DecimalSeparator_);
  }

  cmdSave_ = new QPushButton("Save", this);
  cmdSave_->setObjectName("cmdSave");
  cmdSave_->setGeometry(TwipsRect(720, 3000, 975, 375));
  cmdSave_->setDefault(true);  // Enter saves
  cmdExit_ = new QPushButton("Exit", this);
  cmdExit_->setObjectName("cmdExit");
  cmdExit_->setGeometry(TwipsRect(2160, 3000, 975, 375));

  setTabOrder(txtName_, txtXPos_);
  setTabOrder(txtXPos_, txtYPos_);
  setTabOrder(txtYPos_, txtWidth_);
  setTabOrder(txtWidth_, txtHeight_);
  setTabOrder(txtHeight_, cmdSave_);
  setTabOrder(cmdSave_, cmdExit_);

  connect(cmdSave_, &QPushButton::clicked, this, &EditRegion::cmdSave_Click);
  connect(cmdExit_, &QPushButton::clicked, this, &EditRegion::cmdExit_Click);
  connect(txtXPos_, &EditBox::FocusLost, this, &EditRegion::txtXPos_LostFocus);
  connect(txtYPos_, &EditBox::FocusLost, this, &EditRegion::txtYPos_LostFocus);
  connect(txtWidth_, &EditBox::FocusLost, this, &EditRegion::txtWidth_LostFocus);
  connect(txtHeight_, &EditBox::FocusLost, this, &EditRegion::txtHeight_LostFocus);
  new KeyPreview(this, [this](const QKeyEvent& key) {
    if (key.key() == Qt::Key_F1) ui_.ShowHelp();
  });

  move(CentredPosition(TwipsSize(kOuterWidth, kOuterHeight), screen()));

  const InitialRanges ranges =
      InitialRangeCaptions(global_.Scanner.Limits, global_.CurrentRegion.SlideX,
                           global_.CurrentRegion.SlideY, DecimalSeparator_);
  const RangeCaptions& c = ranges.captions;
  SetCaption(lblMinX_, c.min_x);
  SetCaption(lblMaxX_, c.max_x);
  SetCaption(lblMinY_, c.min_y);
  SetCaption(lblMaxY_, c.max_y);
  SetCaption(lblMinWidth_, c.min_width);
  SetMaxSizeLabel(lblMaxWidth_, {c.max_width, ranges.max_width_red});
  SetCaption(lblMinHeight_, c.min_height);
  SetMaxSizeLabel(lblMaxHeight_, {c.max_height, ranges.max_height_red});
}

EditRegion::~EditRegion() {
  // Hiding the window while it is destroyed takes the focus from a box, which must not reach
  // the handlers of a dialog that is half gone.
  for (EditBox* box : {txtXPos_, txtYPos_, txtWidth_, txtHeight_})
    disconnect(box, nullptr, this, nullptr);
}

QLabel* EditRegion::AddDash(const char* name, int row_top) {
  // As tall as the range labels beside it and at their top, so that the dash stands on their
  // line of text; a label only 135 twips high centres it at the height of the digits' tops.
  return AddLabel(name, "-", 2640, row_top, 135, 255);
}

QLabel* EditRegion::AddLabel(const char* name, const char* text, int left, int top, int width,
                             int height) {
  auto* label = new QLabel(QString::fromUtf8(text), this);
  label->setObjectName(name);
  label->setGeometry(TwipsRect(left, top, width, height));
  label->setMinimumWidth(label->width());
  SetCaption(label, label->text().toStdString());
  return label;
}

EditBox* EditRegion::AddBox(const char* name, int left, int top, int width, int limit) {
  auto* box = new EditBox(this);
  box->setObjectName(name);
  box->setGeometry(TwipsRect(left, top, width, 285));
  box->SetInputLimit(limit);
  return box;
}

EditBox* EditRegion::Box(RegionBox box) const {
  switch (box) {
    case RegionBox::kName:
      return txtName_;
    case RegionBox::kXPos:
      return txtXPos_;
    case RegionBox::kYPos:
      return txtYPos_;
    case RegionBox::kWidth:
      return txtWidth_;
    case RegionBox::kHeight:
      return txtHeight_;
  }
  return txtName_;
}

RegionTexts EditRegion::BoxTexts() const {
  return {Utf8(txtName_->text()), Utf8(txtXPos_->text()), Utf8(txtYPos_->text()),
          Utf8(txtWidth_->text()), Utf8(txtHeight_->text())};
}

RangeCaptions EditRegion::Captions() const {
  return {Utf8(lblMinX_->text()),      Utf8(lblMaxX_->text()),     Utf8(lblMinY_->text()),
          Utf8(lblMaxY_->text()),      Utf8(lblMinWidth_->text()), Utf8(lblMaxWidth_->text()),
          Utf8(lblMinHeight_->text()), Utf8(lblMaxHeight_->text())};
}

void EditRegion::SetBoxText(EditBox* box, const std::string& text) {
  const QString value = QString::fromStdString(text);
  // Unchanged text is left alone, so the caret stays where it is.
  if (box->text() != value) box->setText(value);
}

void EditRegion::SetCaption(QLabel* label, const std::string& text) {
  label->setText(QString::fromStdString(text));
  // A caption is never cut: the layout was made for a narrower font than most desktops have.
  label->resize(std::max(label->minimumWidth(), label->sizeHint().width()), label->height());
}

void EditRegion::SetMaxSizeLabel(QLabel* label, const MaxSizeLabel& value) {
  SetTextColour(label, value.red ? QColor(255, 0, 0) : palette().color(QPalette::ButtonText));
  SetCaption(label, value.caption);
}

void EditRegion::UpdateMaxWidth(double x) {
  const ModelLimits& limits = global_.Scanner.Limits;
  SetMaxSizeLabel(lblMaxWidth_,
                  MaxSizeFor(x, limits.MaxX, limits.MaxWidth, limits.MinWidth, DecimalSeparator_));
}

void EditRegion::UpdateMaxHeight(double y) {
  const ModelLimits& limits = global_.Scanner.Limits;
  SetMaxSizeLabel(lblMaxHeight_, MaxSizeFor(y, limits.MaxY, limits.MaxHeight, limits.MinHeight,
                                            DecimalSeparator_));
}

void EditRegion::ClearFields() {
  for (EditBox* box : {txtName_, txtXPos_, txtYPos_, txtWidth_, txtHeight_}) box->setText({});
}

void EditRegion::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Restoring the window from the taskbar is no activation.
  if (!event->spontaneous()) Form_Activate();
}

void EditRegion::Form_Activate() {
  if (edit_mode_ == kEditModeNew) {
    setWindowTitle("Add New Region");
  } else {
    setWindowTitle("Modify Region");
    const ScanRegion& region = global_.CurrentRegion;
    txtName_->setText(QString::fromStdString(region.RegionName));
    txtWidth_->setText(QString::fromStdString(region.RegionWidth));
    txtHeight_->setText(QString::fromStdString(region.RegionHeight));
    txtXPos_->setText(QString::fromStdString(region.SlideX));
    txtYPos_->setText(QString::fromStdString(region.SlideY));
  }
  txtName_->setFocus(Qt::OtherFocusReason);
  const int length = static_cast<int>(txtName_->text().size());
  txtName_->setSelection(length, -length);
}

void EditRegion::keyPressEvent(QKeyEvent* event) {
  // Save is the default button, not a cancel button: Escape does nothing.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void EditRegion::done(int result) {
  if (result != QDialog::Accepted && write_pending_) {
    global_.CurrentRegion = stored_region_;
    write_pending_ = false;
  }
  QDialog::done(result);
}

void EditRegion::txtXPos_LostFocus() {
  SetTextColour(lblMaxWidth_, TextColour(lblMinWidth_));
  if (auto formatted = FormatPositionOnLeave(Utf8(txtXPos_->text()), DecimalSeparator_)) {
    SetBoxText(txtXPos_, *formatted);
    UpdateMaxWidth(TextToDouble(Utf8(txtXPos_->text()), DecimalSeparator_));
  }
}

void EditRegion::txtYPos_LostFocus() {
  SetTextColour(lblMaxHeight_, TextColour(lblMinHeight_));
  if (auto formatted = FormatPositionOnLeave(Utf8(txtYPos_->text()), DecimalSeparator_)) {
    SetBoxText(txtYPos_, *formatted);
    UpdateMaxHeight(TextToDouble(Utf8(txtYPos_->text()), DecimalSeparator_));
  }
}

void EditRegion::txtWidth_LostFocus() {
  SetBoxText(txtWidth_, FormatSizeOnLeave(Utf8(txtWidth_->text()), DecimalSeparator_));
}

void EditRegion::txtHeight_LostFocus() {
  SetBoxText(txtHeight_, FormatSizeOnLeave(Utf8(txtHeight_->text()), DecimalSeparator_));
}

void EditRegion::ValidateRegion(const NameExistsFn& name_exists) {
  for (EditBox* box : {txtName_, txtXPos_, txtYPos_, txtWidth_, txtHeight_}) {
    SetBoxText(box, TrimBlanks(Utf8(box->text())));
  }
  const RegionCheck check = quillmap::ValidateRegion(BoxTexts(), Captions(), global_.Scanner.Limits,
                                                     DecimalSeparator_, name_exists);
  if (check.Passed()) return;
  Box(check.focus)->setFocus(Qt::OtherFocusReason);
  throw Error(kErrValidation, check.message);
}

bool EditRegion::NameExistsInFile(const std::string& name) {
  try {
    return RegionNameExists(global_, name);
  } catch (const Error& error) {
    ui_.ShowMessage(error.Description());
    return false;
  }
}

void EditRegion::cmdSave_Click() {
  SaveRequest request;
  request.is_new = edit_mode_ == kEditModeNew;
  request.boxes = BoxTexts();
  request.captions = Captions();
  request.write_pending = write_pending_;
  const SaveResult result = SaveRegion(global_, ui_, request);
  write_pending_ = result.write_pending;
  const RegionTexts& trimmed = result.trimmed;
  SetBoxText(txtName_, trimmed.name);
  SetBoxText(txtXPos_, trimmed.x_pos);
  SetBoxText(txtYPos_, trimmed.y_pos);
  SetBoxText(txtWidth_, trimmed.width);
  SetBoxText(txtHeight_, trimmed.height);
  switch (result.outcome) {
    case SaveOutcome::kRefused:
      Box(result.focus)->setFocus(Qt::OtherFocusReason);
      return;
    case SaveOutcome::kFailed:
      return;
    case SaveOutcome::kSaved:
      ClearFields();
      break;
    case SaveOutcome::kUnchanged:
      break;
  }
  accept();
}

void EditRegion::cmdExit_Click() {
  if (edit_mode_ != kEditModeNew) {
    if (write_pending_) {
      global_.CurrentRegion = stored_region_;
      write_pending_ = false;
    }
    const ScanRegion& stored = global_.CurrentRegion;
    txtName_->setText(QString::fromStdString(stored.RegionName));
    txtWidth_->setText(QString::fromStdString(stored.RegionWidth));
    txtHeight_->setText(QString::fromStdString(stored.RegionHeight));
    txtXPos_->setText(QString::fromStdString(stored.SlideX));
    txtYPos_->setText(QString::fromStdString(stored.SlideY));
    try {
      ValidateRegion([this](const std::string& name) { return NameExistsInFile(name); });
    } catch (const Error& error) {
      const MessageAnswer answer =
          ui_.ShowMessage("The original values for this region are incorrect.\r\n" +
                              error.Description() + "\r\nAre you sure you want to exit?",
                          MessageButtons::kYesNo);
      if (answer != MessageAnswer::kYes) return;
    }
  }
  reject();
}

bool ShowEditRegion(Global& global, UserInterface& ui, const std::string& edit_mode,
                    QWidget* parent) {
  EditRegion dialog(global, ui, parent);
  dialog.SetEditMode(edit_mode);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace quillmap
