#include "app/region_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QToolBar>
#include <algorithm>
#include <functional>
#include <optional>
#include <utility>

#include "app/region_table_model.h"
#include "app/single_instance.h"
#include "app/slide_figure.h"
#include "app/svg_icon.h"
#include "dialogs/about_box.h"
#include "dialogs/edit_region.h"
#include "dialogs/key_preview.h"
#include "dialogs/select_scanner.h"
#include "dialogs/twips.h"
#include "regions/read_only.h"
#include "regions/region_file.h"

namespace quillmap {
namespace {

constexpr int kClientWidth = 9000;
constexpr int kClientHeight = 9060;

struct GridColumn {
  int width;  // twips; 0 hides the column
};
constexpr GridColumn kGridColumnWidths[kGridColumns] = {{0},    {2797}, {1000}, {1000},
                                                        {1100}, {1100}, {0}};
constexpr int kHeightColumnIndex = 5;
// The Height column leaves room for the vertical scroll bar once the grid holds 7 rows,
// header included.
constexpr int kHeightWidthWithScrollBar = 1100;
constexpr int kHeightWidthWithout = 1340;
constexpr int kRowsNeedingScrollBar = 7;
constexpr int kGridRowHeight = 240;

struct ToolbarButton {
  const char* key;
  const char* theme_icon;
  const char* tool_tip;
};
constexpr ToolbarButton kToolbarButtons[] = {
    {"new", "document-new", "New Region"},
    {"open", "document-open", "Open Region"},
    {"delete", "edit-delete", "Delete Region"},
    {"help", "help-contents", "Help"},
};

QString Text(const std::string& text) { return QString::fromStdString(text); }

// The columns' widths were drawn for a narrow 8-point type: the grid takes the largest size, up
// to the window's own, at which every visible title fits its column, so none is cut.
QFont GridFont(const QTableView& grid, const QAbstractItemModel& model) {
  QFont font = grid.font();
  const int margins = 2 * grid.style()->pixelMetric(QStyle::PM_HeaderMargin) + 2;
  constexpr double kSmallestSize = 6.0;
  for (double size = font.pointSizeF(); size >= kSmallestSize; size -= 0.5) {
    font.setPointSizeF(size);
    const QFontMetrics metrics(font);
    bool fits = true;
    for (int column = 0; column < kGridColumns; ++column) {
      const int width = kGridColumnWidths[column].width;
      const QString title = model.headerData(column, Qt::Horizontal).toString();
      if (width > 0 && metrics.horizontalAdvance(title) + margins > TwipsToPixels(width)) {
        fits = false;
      }
    }
    if (fits) break;
  }
  return font;
}

// The region grid. What it shows selected is what the commands take: a click beside or below
// the rows keeps the selection (Qt would clear the highlight and keep the current row), and a
// double-click anywhere in it, not only on a cell, reaches `double_clicked`.
class RegionGrid : public QTableView {
 public:
  RegionGrid(QWidget* parent, std::function<void()> double_clicked)
      : QTableView(parent), double_clicked_(std::move(double_clicked)) {
    horizontalHeader()->viewport()->installEventFilter(this);
  }

 protected:
  QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                       const QEvent* event) const override {
    if (!index.isValid() && event != nullptr && event->isPointerEvent()) {
      return QItemSelectionModel::NoUpdate;
    }
    return QTableView::selectionCommand(index, event);
  }

  void mouseDoubleClickEvent(QMouseEvent* event) override {
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) double_clicked_();
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == horizontalHeader()->viewport() && event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
      double_clicked_();
      return true;
    }
    return QTableView::eventFilter(watched, event);
  }

 private:
  std::function<void()> double_clicked_;
};

// Restores `window` when it is minimized and brings it to the front.
void BringForward(QWidget* window) {
  if (window->windowState() & Qt::WindowMinimized) {
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->showNormal();
  }
  window->raise();
  window->activateWindow();
}

}  // namespace

RegionWindow::RegionWindow(Global& global, UserInterface& ui, SingleInstance* single_instance,
                           QWidget* parent)
    : QMainWindow(parent), global_(global), ui_(ui), single_instance_(single_instance) {
  setObjectName("frmRegion");
  setWindowTitle("Velmora Technologies - Quillmap");
  // A fixed single border with minimize and close but no maximize button.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  CreateMenus();
  CreateClientArea();
  setFixedSize(FixedSize());

  new KeyPreview(this, [this](const QKeyEvent& key) {
    if (key.key() == Qt::Key_F1) ShowHelp();
  });
  if (single_instance_ != nullptr) {
    connect(single_instance_, &SingleInstance::ActivationRequested, this,
            &RegionWindow::RestoreForEarlierInstance);
  }
}

RegionWindow::~RegionWindow() = default;

void RegionWindow::CreateMenus() {
  struct Item {
    const char* name;
    const char* caption;
    QKeySequence shortcut;
    void (RegionWindow::*action)();
  };
  auto add_menu = [this](const char* name, const char* caption, std::initializer_list<Item> items) {
    QMenu* menu = menuBar()->addMenu(caption);
    menu->setObjectName(name);
    for (const Item& item : items) {
      QAction* action = menu->addAction(item.caption);
      action->setObjectName(item.name);
      action->setShortcut(item.shortcut);
      // The window's shortcuts work wherever the focus is in it.
      action->setShortcutContext(Qt::WindowShortcut);
      connect(action, &QAction::triggered, this, item.action);
    }
  };
  add_menu(
      "mnuFile", "&File",
      {{"mnuFileNew", "&New Region", QKeySequence("Ctrl+N"), &RegionWindow::NewCommand},
       {"mnuFileModify", "&Open Region", QKeySequence("Ctrl+O"), &RegionWindow::ModifyCommand},
       {"mnuFileDelete", "&Delete Region", QKeySequence("Ctrl+D"), &RegionWindow::DeleteCommand},
       {"mnuFileExit", "&Exit", QKeySequence(), &RegionWindow::CloseWindow}});
  add_menu("mnuHelp", "&Help",
           {{"mnuHelpAbout", "&About", QKeySequence("Ctrl+A"), &RegionWindow::ShowAbout},
            {"mnuHelpHelp", "&Help", QKeySequence("Ctrl+H"), &RegionWindow::ShowHelp}});
}

void RegionWindow::CreateClientArea() {
  client_ = new QWidget(this);
  client_->setObjectName("ClientArea");
  client_->setFixedSize(TwipsSize(kClientWidth, kClientHeight));
  setCentralWidget(client_);

  figure_ = new SlideFigure(client_);
  figure_->setGeometry(0, 0, client_->width(), client_->height());

  Toolbar1_ = new QToolBar(client_);
  Toolbar1_->setObjectName("Toolbar1");
  Toolbar1_->setGeometry(TwipsRect(0, 0, kClientWidth, 612));
  Toolbar1_->setMovable(false);
  Toolbar1_->setFloatable(false);
  Toolbar1_->setIconSize(QSize(16, 16));
  Toolbar1_->setToolButtonStyle(Qt::ToolButtonIconOnly);

  lblScanner_ = new QLabel(client_);
  lblScanner_->setObjectName("lblScanner");
  lblScanner_->setGeometry(TwipsRect(3480, 480, 1065, 360));
  QFont large = lblScanner_->font();
  large.setPointSize(14);
  lblScanner_->setFont(large);
  lblScanner_->hide();

  MSFlexGrid1_ = new RegionGrid(client_, [this] { MSFlexGrid1_DblClick(); });
  MSFlexGrid1_->setObjectName("MSFlexGrid1");
  MSFlexGrid1_->setGeometry(TwipsRect(960, 6840, 7335, 1520));
  model_ = new RegionTableModel(MSFlexGrid1_);
  MSFlexGrid1_->setModel(model_);
  MSFlexGrid1_->setItemDelegate(new RedCellDelegate(MSFlexGrid1_));
  MSFlexGrid1_->setFont(GridFont(*MSFlexGrid1_, *model_));
  MSFlexGrid1_->horizontalHeader()->setFont(MSFlexGrid1_->font());
  MSFlexGrid1_->setSelectionBehavior(QAbstractItemView::SelectRows);
  MSFlexGrid1_->setSelectionMode(QAbstractItemView::ContiguousSelection);
  MSFlexGrid1_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  MSFlexGrid1_->setTabKeyNavigation(false);
  MSFlexGrid1_->setWordWrap(false);
  MSFlexGrid1_->setCornerButtonEnabled(false);
  MSFlexGrid1_->verticalHeader()->hide();
  // Every row the same fixed height: the view then never measures rows, which keeps tens of
  // thousands of them fast.
  const int row_height =
      std::max(TwipsToPixels(kGridRowHeight), MSFlexGrid1_->fontMetrics().height() + 2);
  MSFlexGrid1_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  MSFlexGrid1_->verticalHeader()->setMinimumSectionSize(row_height);
  MSFlexGrid1_->verticalHeader()->setDefaultSectionSize(row_height);
  QHeaderView* header = MSFlexGrid1_->horizontalHeader();
  header->setSectionResizeMode(QHeaderView::Fixed);
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignTop);
  header->setHighlightSections(false);
  header->setSectionsClickable(false);
  // The header row takes the pixels that whole rows leave, so no sliver of a row shows at the
  // bottom of the grid.
  const int inside = MSFlexGrid1_->height() - 2 * MSFlexGrid1_->frameWidth();
  const int whole_rows = std::max(1, (inside - row_height) / row_height);
  header->setFixedHeight(std::max(row_height, inside - whole_rows * row_height));
  header->setMinimumSectionSize(0);

  chkCustomOnly_ = new QCheckBox("Show Custom regions only", client_);
  chkCustomOnly_->setObjectName("chkCustomOnly");
  chkCustomOnly_->setGeometry(TwipsRect(960, 6360, 2535, 255));
  chkCustomOnly_->resize(std::max(chkCustomOnly_->width(), chkCustomOnly_->sizeHint().width()),
                         std::max(chkCustomOnly_->height(), chkCustomOnly_->sizeHint().height()));
  // `clicked` comes from the user only, after the value has changed.
  connect(chkCustomOnly_, &QCheckBox::clicked, this, &RegionWindow::chkCustomOnly_Click);

  figure_->lower();
  lblScanner_->raise();
  setTabOrder(MSFlexGrid1_, chkCustomOnly_);
  SetupGrid();
}

QSize RegionWindow::FixedSize() const {
  const QSize client = TwipsSize(kClientWidth, kClientHeight);
  return QSize(client.width(), client.height() + menuBar()->sizeHint().height());
}

bool RegionWindow::EarlierInstanceRunning() {
  return single_instance_ != nullptr && single_instance_->EarlierInstanceRunning();
}

bool RegionWindow::ActivatePrevInstance() {
  return single_instance_ != nullptr && single_instance_->ActivateEarlierInstance();
}

void RegionWindow::RestoreForEarlierInstance() {
  // Before the start-up shows the window, the user sees the scanner selection dialog or a
  // message box; once it is shown, a modal dialog stays in front of it.
  if (isVisible()) BringForward(this);
  if (QWidget* modal = QApplication::activeModalWidget()) BringForward(modal);
}

void RegionWindow::SetHelpFile(const std::string& relative_path) {
  QCoreApplication::instance()->setProperty("HelpFile", Text(relative_path));
}

void RegionWindow::CentreOnScreen() { move(CentredPosition(size(), screen())); }

void RegionWindow::SetupToolbar() {
  Toolbar1_->clear();
  Toolbar1_->addSeparator();
  for (const ToolbarButton& button : kToolbarButtons) {
    const QString key = QString::fromLatin1(button.key);
    QAction* action = Toolbar1_->addAction(
        ThemeOrSvgIcon(button.theme_icon, ":/icons/" + key + ".svg"), button.tool_tip);
    action->setObjectName(key);
    action->setData(key);
    action->setToolTip(button.tool_tip);
    action->setStatusTip(button.tool_tip);
    connect(action, &QAction::triggered, this, [this, key] { Toolbar1_ButtonClick(key); });
  }
  Toolbar1_->addSeparator();
}

void RegionWindow::Toolbar1_ButtonClick(const QString& key) {
  if (key == "new") {
    NewCommand();
  } else if (key == "open") {
    ModifyCommand();
  } else if (key == "delete") {
    DeleteCommand();
  } else if (key == "help") {
    ShowHelp();
  }
}

void RegionWindow::ShowSelectScanner() {
  SelectScanner dialog(global_, ui_, this);
  dialog.ShowModal();
}

void RegionWindow::ShowScannerCaption(const std::string& caption) {
  lblScanner_->setText(Text(caption));
  FitLabel(lblScanner_);
  lblScanner_->show();
}

void RegionWindow::SetCornerCaptions(const std::string& upper_left,
                                     const std::string& lower_right) {
  figure_->lblULC()->setText(Text(upper_left));
  FitLabel(figure_->lblULC());
  figure_->lblLRC()->setText(Text(lower_right));
  FitLabel(figure_->lblLRC(), LabelGrowth::kLeftward);
}

void RegionWindow::SetupGrid() {
  model_->SetRows({});
  for (int column = 0; column < kGridColumns; ++column) {
    const int width = kGridColumnWidths[column].width;
    MSFlexGrid1_->setColumnHidden(column, width == 0);
    if (width > 0) MSFlexGrid1_->setColumnWidth(column, TwipsToPixels(width));
    if (column == kHeightColumnIndex) height_column_ = column;
  }
}

void RegionWindow::LoadRegionList() {
  std::optional<Error> failure;
  std::string notice;
  {
    BusyGuard busy(ui_);
    SetupGrid();
    RegionList list = quillmap::LoadRegionList(global_.RegionFilePath, chkCustomOnly_->isChecked(),
                                               global_.Scanner.Limits, global_.DecimalSeparator);
    if (list.supplied_default_read) supplied_default_name_ = list.SuppliedDefaultName;
    if (list.InvalidRegionsFound) invalid_regions_found_ = true;
    if (list.last_shown) global_.CurrentRegion = *list.last_shown;
    failure = std::move(list.error);
    notice = std::move(list.notice);
    if (!failure) {
      const size_t grid_rows = list.rows.size() + 1;
      model_->SetRows(std::move(list.rows));
      MSFlexGrid1_->setColumnWidth(height_column_, TwipsToPixels(grid_rows >= kRowsNeedingScrollBar
                                                                     ? kHeightWidthWithScrollBar
                                                                     : kHeightWidthWithout));
    }
  }
  if (!notice.empty()) ui_.ShowMessage(notice);
  if (failure) ui_.ShowMessage(failure->Description());
}

void RegionWindow::SelectRows(int first, int last) {
  QItemSelectionModel* selection = MSFlexGrid1_->selectionModel();
  const int data_rows = DataRowCount();
  if (data_rows < 1 || first < 1) {
    selection->clear();
    return;
  }
  int current = first;
  int other_end = last;
  if (first > data_rows) {
    current = data_rows;
    other_end = data_rows;
  }
  other_end = std::clamp(other_end, 1, data_rows);
  // Column 0 is hidden; the current cell sits in the first column that shows.
  const QModelIndex current_index = model_->index(current - 1, 1);
  selection->setCurrentIndex(current_index, QItemSelectionModel::NoUpdate);
  const QItemSelection rows(model_->index(std::min(current, other_end) - 1, 0),
                            model_->index(std::max(current, other_end) - 1, kGridColumns - 1));
  selection->select(rows, QItemSelectionModel::ClearAndSelect);
  const QRect cell = MSFlexGrid1_->visualRect(current_index);
  if (!MSFlexGrid1_->viewport()->rect().contains(cell)) {
    MSFlexGrid1_->scrollTo(current_index, QAbstractItemView::PositionAtTop);
  }
}

void RegionWindow::GetSelectedRows(int* first, int* last) const {
  // Only what shows selected: a current row without the highlight is no selection.
  *first = 0;
  *last = 0;
  const QItemSelection selection = MSFlexGrid1_->selectionModel()->selection();
  if (selection.isEmpty()) return;
  // One block of rows, whichever way it was dragged: its top and bottom rows.
  *first = selection.first().top() + 1;
  *last = selection.first().bottom() + 1;
  for (const QItemSelectionRange& range : selection) {
    *first = std::min(*first, range.top() + 1);
    *last = std::max(*last, range.bottom() + 1);
  }
}

void RegionWindow::ClearCurrentRegion() { global_.CurrentRegion = ScanRegion(); }

bool RegionWindow::IniFileReadOnly() const {
  return quillmap::IniFileReadOnly(global_.RegionFilePath);
}

std::string RegionWindow::CellText(int row, int column) const {
  if (row < 1 || row > DataRowCount() || column < 0 || column >= kGridColumns) return {};
  return model_->Row(row - 1).cells[column];
}

int RegionWindow::DataRowCount() const { return model_->rowCount(); }

void RegionWindow::ShowWindow() { show(); }

void RegionWindow::SetDefaultRegionName(const std::string& name) { default_region_name_ = name; }

void RegionWindow::CloseWindow() { close(); }

void RegionWindow::MSFlexGrid1_DblClick() {
  int first = 0;
  int last = 0;
  GetSelectedRows(&first, &last);
  if (first >= 1) ModifyCommand();
}

void RegionWindow::chkCustomOnly_Click() {
  LoadRegionList();
  SelectRows(1, 1);
  if (invalid_regions_found_) {
    ui_.ShowMessage(kInvalidRegionsMessage);
    invalid_regions_found_ = false;
  }
}

void RegionWindow::NewCommand() { RegionCommands(global_, *this, ui_, registry_).NewCommand(); }

void RegionWindow::ModifyCommand() {
  RegionCommands(global_, *this, ui_, registry_).ModifyCommand();
}

void RegionWindow::DeleteCommand() {
  RegionCommands(global_, *this, ui_, registry_).DeleteCommand();
}

bool RegionWindow::RunEditDialog(const std::string& edit_mode) {
  return ShowEditRegion(global_, ui_, edit_mode, this);
}

void RegionWindow::ShowAbout() { ShowHelpAbout(ui_, this); }

void RegionWindow::ShowHelp() { ui_.ShowHelp(); }

void RegionWindow::HoldFixedSize() {
  if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) return;
  if (size() != FixedSize()) resize(FixedSize());
}

void RegionWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  HoldFixedSize();
}

void RegionWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) HoldFixedSize();
}

}  // namespace quillmap
