// The main window: the slide holder figure, the region grid, the toolbar, the menus and the
// custom-only check box. The start-up fills it through
// StartupWindow; the region commands read and restore its selection.
#pragma once

#include <QMainWindow>
#include <string>
#include <utility>

#include "regions/global.h"
#include "regions/region_commands.h"
#include "regions/startup.h"
#include "regions/user_interface.h"
#include "settings/registry.h"

class QAction;
class QCheckBox;
class QLabel;
class QTableView;
class QToolBar;

namespace quillmap {

class RegionTableModel;
class SingleInstance;
class SlideFigure;

class RegionWindow : public QMainWindow, public StartupWindow, public CommandWindow {
  Q_OBJECT

 public:
  // `single_instance` may be null: the window then never sees an earlier instance.
  RegionWindow(Global& global, UserInterface& ui, SingleInstance* single_instance = nullptr,
               QWidget* parent = nullptr);
  ~RegionWindow() override;

  // Where the commands keep the default region's name; the environment's store until set.
  void SetRegistry(RegistryStore registry) { registry_ = std::move(registry); }

  // StartupWindow.
  bool EarlierInstanceRunning() override;
  bool ActivatePrevInstance() override;
  void SetHelpFile(const std::string& relative_path) override;
  void CentreOnScreen() override;
  void SetupToolbar() override;
  void ShowSelectScanner() override;
  void ShowScannerCaption(const std::string& caption) override;
  void SetCornerCaptions(const std::string& upper_left, const std::string& lower_right) override;
  // Rebuilds the grid from the region file; reports a failure itself and keeps the header row.
  void LoadRegionList() override;
  // Grid row numbers: data rows count from 1; a `first` below 1, or an empty list, selects
  // nothing (the header row); a `first` beyond the list selects the last row. The current row
  // is scrolled to the top when it is out of view.
  void SelectRows(int first, int last) override;
  void ShowWindow() override;
  void SetDefaultRegionName(const std::string& name) override;
  bool InvalidRegionsFound() const override { return invalid_regions_found_; }
  void ClearInvalidRegionsFound() override { invalid_regions_found_ = false; }
  void CloseWindow() override;

  // Empties the grid down to its header row and sets the columns' titles and widths.
  void SetupGrid();
  // The selected rows with *first <= *last; 0 and 0 when nothing (the header) is selected.
  void GetSelectedRows(int* first, int* last) const override;
  void ClearCurrentRegion() override;
  // Throws Error 5001 "Unable to open readonly file " for a region file without write bits.
  bool IniFileReadOnly() const override;

  // A cell's text by grid row (data rows from 1) and column, hidden columns included.
  std::string CellText(int row, int column) const override;
  int DataRowCount() const override;
  const std::string& DefaultRegionName() const override { return default_region_name_; }
  const std::string& SuppliedDefaultName() const override { return supplied_default_name_; }
  // The edit dialog, modal; true when Save closed it.
  bool RunEditDialog(const std::string& edit_mode) override;
  int HeightColumn() const { return height_column_; }

  // The window's size in its normal state, which the user cannot change.
  QSize FixedSize() const;

  // The region commands, the about box and help, as the menus, the toolbar, F1 and a
  // double-click on a data row run them.
  void NewCommand();
  void ModifyCommand();
  void DeleteCommand();
  void ShowAbout();
  void ShowHelp();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void CreateMenus();
  void CreateClientArea();
  void HoldFixedSize();
  // Runs the command of the toolbar button whose key is `key`.
  void RunToolbarButton(const QString& key);
  // A double-click on the grid: opens the selected region, if a data row is selected.
  void ModifySelectedRegion();
  // The custom-only box was clicked: reloads the list with its new value.
  void ApplyCustomOnlyFilter();
  void RestoreForEarlierInstance();

  Global& global_;
  UserInterface& ui_;
  SingleInstance* single_instance_;
  RegistryStore registry_ = RegistryStore::FromEnvironment();

  QWidget* client_ = nullptr;
  SlideFigure* figure_ = nullptr;
  QToolBar* toolbar_ = nullptr;
  QLabel* scanner_label_ = nullptr;
  QCheckBox* custom_only_check_ = nullptr;
  QTableView* region_grid_ = nullptr;
  RegionTableModel* model_ = nullptr;

  std::string default_region_name_;
  std::string supplied_default_name_;
  bool invalid_regions_found_ = false;
  int height_column_ = 0;
};

}  // namespace quillmap
