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
      decimal_separator_(global.DecimalSeparator),
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
  min_x_label_ = AddLabel("lblMinX", "11111", 2115, 995, 495, 255);
  AddDash("lblRng1", 995);
  max_x_label_ = AddLabel("lblMaxX", "11111", 2760, 995, 495, 255);
  AddLabel("lblMM2", "mm", 1560, 1440, 255, 255);
  min_y_label_ = AddLabel("lblMinY", "22222", 2115, 1455, 495, 255);
  AddDash("lblRng2", 1455);
  max_y_label_ = AddLabel("lblMaxY", "22222", 2760, 1455, 495, 255);
  AddLabel("lblMM3", "mm", 1560, 1955, 255, 255);
  min_width_label_ = AddLabel("lblMinWidth", "33333", 2115, 1955, 495, 255);
  AddDash("lblRng3", 1955);
  max_width_label_ = AddLabel("lblMaxWidth", "33333", 2760, 1955, 495, 255);
  AddLabel("lblMM4", "mm", 1560, 2435, 255, 255);
  min_height_label_ = AddLabel("lblMinHeight", "44444", 2115, 2435, 495, 255);
  AddDash("lblRng4", 2435);
  max_height_label_ = AddLabel("lblMaxHeight", "44444", 2760, 2435, 495, 255);

  name_edit_ = AddBox("txtName", 720, 120, 2415, kNameLimit);
  x_edit_ = AddBox("txtXPos", 720, 960, 800, kNumberLimit);
  y_edit_ = AddBox("txtYPos", 720, 1440, 800, kNumberLimit);
  width_edit_ = AddBox("txtWidth", 720, 1920, 800, kNumberLimit);
  height_edit_ = AddBox("txtHeight", 720, 2400, 800, kNumberLimit);
  for (EditBox* box : {x_edit_, y_edit_, width_edit_, height_edit_}) {
    box->SetNumeric(decimal_separator_);
  }

  save_button_ = new QPushButton("Save", this);
  save_button_->setObjectName("cmdSave");
  save_button_->setGeometry(TwipsRect(720, 3000, 975, 375));
  save_button_->setDefault(true);  // Enter saves
  exit_button_ = new QPushButton("Exit", this);
  exit_button_->setObjectName("cmdExit");
  exit_button_->setGeometry(TwipsRect(2160, 3000, 975, 375));

  setTabOrder(name_edit_, x_edit_);
  setTabOrder(x_edit_, y_edit_);
  setTabOrder(y_edit_, width_edit_);
  setTabOrder(width_edit_, height_edit_);
  setTabOrder(height_edit_, save_button_);
  setTabOrder(save_button_, exit_button_);

  connect(save_button_, &QPushButton::clicked, this, &EditRegion::Save);
  connect(exit_button_, &QPushButton::clicked, this, &EditRegion::Exit);
  connect(x_edit_, &EditBox::FocusLost, this, &EditRegion::OnXEditingFinished);
  connect(y_edit_, &EditBox::FocusLost, this, &EditRegion::OnYEditingFinished);
  connect(width_edit_, &EditBox::FocusLost, this, &EditRegion::OnWidthEditingFinished);
  connect(height_edit_, &EditBox::FocusLost, this, &EditRegion::OnHeightEditingFinished);
  new KeyPreview(this, [this](const QKeyEvent& key) {
    if (key.key() == Qt::Key_F1) ui_.ShowHelp();
  });

  move(CentredPosition(TwipsSize(kOuterWidth, kOuterHeight), screen()));

  const InitialRanges ranges =
      InitialRangeCaptions(global_.Scanner.Limits, global_.CurrentRegion.SlideX,
                           global_.CurrentRegion.SlideY, decimal_separator_);
  const RangeCaptions& c = ranges.captions;
  SetCaption(min_x_label_, c.min_x);
  SetCaption(max_x_label_, c.max_x);
  SetCaption(min_y_label_, c.min_y);
  SetCaption(max_y_label_, c.max_y);
  SetCaption(min_width_label_, c.min_width);
  SetMaxSizeLabel(max_width_label_, {c.max_width, ranges.max_width_red});
  SetCaption(min_height_label_, c.min_height);
  SetMaxSizeLabel(max_height_label_, {c.max_height, ranges.max_height_red});
}

EditRegion::~EditRegion() {
  // Hiding the window while it is destroyed takes the focus from a box, which must not reach
  // the handlers of a dialog that is half gone.
  for (EditBox* box : {x_edit_, y_edit_, width_edit_, height_edit_})
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
      return name_edit_;
    case RegionBox::kXPos:
      return x_edit_;
    case RegionBox::kYPos:
      return y_edit_;
    case RegionBox::kWidth:
      return width_edit_;
    case RegionBox::kHeight:
      return height_edit_;
  }
  return name_edit_;
}

RegionTexts EditRegion::BoxTexts() const {
  return {Utf8(name_edit_->text()), Utf8(x_edit_->text()), Utf8(y_edit_->text()),
          Utf8(width_edit_->text()), Utf8(height_edit_->text())};
}

RangeCaptions EditRegion::Captions() const {
  return {Utf8(min_x_label_->text()),      Utf8(max_x_label_->text()),
          Utf8(min_y_label_->text()),      Utf8(max_y_label_->text()),
          Utf8(min_width_label_->text()),  Utf8(max_width_label_->text()),
          Utf8(min_height_label_->text()), Utf8(max_height_label_->text())};
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
  SetMaxSizeLabel(max_width_label_,
                  MaxSizeFor(x, limits.MaxX, limits.MaxWidth, limits.MinWidth, decimal_separator_));
}

void EditRegion::UpdateMaxHeight(double y) {
  const ModelLimits& limits = global_.Scanner.Limits;
  SetMaxSizeLabel(max_height_label_, MaxSizeFor(y, limits.MaxY, limits.MaxHeight, limits.MinHeight,
                                                decimal_separator_));
}

void EditRegion::ClearFields() {
  for (EditBox* box : {name_edit_, x_edit_, y_edit_, width_edit_, height_edit_}) box->setText({});
}

void EditRegion::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Restoring the window from the taskbar is no activation.
  if (!event->spontaneous()) OnActivated();
}

void EditRegion::OnActivated() {
  if (edit_mode_ == kEditModeNew) {
    setWindowTitle("Add New Region");
  } else {
    setWindowTitle("Modify Region");
    const ScanRegion& region = global_.CurrentRegion;
    name_edit_->setText(QString::fromStdString(region.RegionName));
    width_edit_->setText(QString::fromStdString(region.RegionWidth));
    height_edit_->setText(QString::fromStdString(region.RegionHeight));
    x_edit_->setText(QString::fromStdString(region.SlideX));
    y_edit_->setText(QString::fromStdString(region.SlideY));
  }
  name_edit_->setFocus(Qt::OtherFocusReason);
  const int length = static_cast<int>(name_edit_->text().size());
  name_edit_->setSelection(length, -length);
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

void EditRegion::OnXEditingFinished() {
  SetTextColour(max_width_label_, TextColour(min_width_label_));
  if (auto formatted = FormatPositionOnLeave(Utf8(x_edit_->text()), decimal_separator_)) {
    SetBoxText(x_edit_, *formatted);
    UpdateMaxWidth(TextToDouble(Utf8(x_edit_->text()), decimal_separator_));
  }
}

void EditRegion::OnYEditingFinished() {
  SetTextColour(max_height_label_, TextColour(min_height_label_));
  if (auto formatted = FormatPositionOnLeave(Utf8(y_edit_->text()), decimal_separator_)) {
    SetBoxText(y_edit_, *formatted);
    UpdateMaxHeight(TextToDouble(Utf8(y_edit_->text()), decimal_separator_));
  }
}

void EditRegion::OnWidthEditingFinished() {
  SetBoxText(width_edit_, FormatSizeOnLeave(Utf8(width_edit_->text()), decimal_separator_));
}

void EditRegion::OnHeightEditingFinished() {
  SetBoxText(height_edit_, FormatSizeOnLeave(Utf8(height_edit_->text()), decimal_separator_));
}

void EditRegion::ValidateRegion(const NameExistsFn& name_exists) {
  for (EditBox* box : {name_edit_, x_edit_, y_edit_, width_edit_, height_edit_}) {
    SetBoxText(box, TrimBlanks(Utf8(box->text())));
  }
  const RegionCheck check = quillmap::ValidateRegion(BoxTexts(), Captions(), global_.Scanner.Limits,
                                                     decimal_separator_, name_exists);
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

void EditRegion::Save() {
  SaveRequest request;
  request.is_new = edit_mode_ == kEditModeNew;
  request.boxes = BoxTexts();
  request.captions = Captions();
  request.write_pending = write_pending_;
  const SaveResult result = SaveRegion(global_, ui_, request);
  write_pending_ = result.write_pending;
  const RegionTexts& trimmed = result.trimmed;
  SetBoxText(name_edit_, trimmed.name);
  SetBoxText(x_edit_, trimmed.x_pos);
  SetBoxText(y_edit_, trimmed.y_pos);
  SetBoxText(width_edit_, trimmed.width);
  SetBoxText(height_edit_, trimmed.height);
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

void EditRegion::Exit() {
  if (edit_mode_ != kEditModeNew) {
    if (write_pending_) {
      global_.CurrentRegion = stored_region_;
      write_pending_ = false;
    }
    const ScanRegion& stored = global_.CurrentRegion;
    name_edit_->setText(QString::fromStdString(stored.RegionName));
    width_edit_->setText(QString::fromStdString(stored.RegionWidth));
    height_edit_->setText(QString::fromStdString(stored.RegionHeight));
    x_edit_->setText(QString::fromStdString(stored.SlideX));
    y_edit_->setText(QString::fromStdString(stored.SlideY));
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
