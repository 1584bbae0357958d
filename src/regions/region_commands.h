// The main window's three region commands, new, modify and delete, as flows that drive the
// window through CommandWindow and talk to the user through UserInterface; and the deletion of
// several regions in one read and one write, which the command-line tool shares.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "regions/global.h"
#include "regions/region_file.h"
#include "regions/user_interface.h"
#include "settings/error.h"
#include "settings/profile.h"
#include "settings/registry.h"

namespace quillmap {

// The edit dialog's EditMode values.
inline constexpr const char* kEditModeNew = "New";
inline constexpr const char* kEditModeModify = "Modify";

// The Custom cell of a region supplied with the scanner software, which no command may change.
inline constexpr const char* kSuppliedCustom = "NO";

inline constexpr const char* kSelectToModifyMessage = " Select a scan region to modify";
inline constexpr const char* kNoRegionsToModifyMessage = "No regions to modify";
inline constexpr const char* kSelectToDeleteMessage = " Select a scan region to delete";
inline constexpr const char* kNoRegionsToDeleteMessage = "No regions to delete";
inline constexpr const char* kConfirmDeleteMessage =
    "Are you sure you want to delete scan region(s)?";
inline constexpr const char* kCannotModifySupplied = "Cannot modify Velmora supplied regions ";
inline constexpr const char* kCannotDeleteSupplied = "Cannot delete Velmora supplied region ";

// What the commands need of the main window. Rows are grid rows: data rows count from 1.
class CommandWindow {
 public:
  virtual ~CommandWindow() = default;
  // Throws Error 5001 for a read-only region file.
  virtual bool IniFileReadOnly() const = 0;
  // first <= last; a row below 1 means nothing is selected.
  virtual void GetSelectedRows(int* first, int* last) const = 0;
  virtual std::string CellText(int row, int column) const = 0;
  virtual int DataRowCount() const = 0;
  virtual void ClearCurrentRegion() = 0;
  // Shows the edit dialog modally in "New" or "Modify"; true when Save closed it, the region
  // then written and held in CurrentRegion.
  virtual bool RunEditDialog(const std::string& edit_mode) = 0;
  // Rebuilds the list from the file and reports its own failures.
  virtual void LoadRegionList() = 0;
  virtual void SelectRows(int first, int last) = 0;
  virtual const std::string& DefaultRegionName() const = 0;
  virtual void SetDefaultRegionName(const std::string& name) = 0;
  virtual const std::string& SuppliedDefaultName() const = 0;
};

// The registry value RegionName that names the scanner software's default scan region.
// Throws Error 5001 when the store cannot take it.
void WriteDefaultRegionName(const RegistryStore& registry, const std::string& name);

// One region to delete, as a list row shows it.
struct RegionToDelete {
  std::string custom;
  std::string name;
  std::string section_name;
};

struct DeleteOutcome {
  // How many of the regions, from the front, were deleted.
  size_t deleted = 0;
  // Set when a deleted region was the default one: the default region's name afterwards.
  std::optional<std::string> new_default_region_name;
  // What stopped the deletion before the end: a supplied region (Error 5001), a section that no
  // longer holds the region shown (Error 5002), or a failure of the deletion itself.
  std::optional<Error> stopped_by;
};

// Deletes the regions in the order given, which must be from the last one upward, since a
// deletion renumbers the regions after it. Leaves the document as the deletions before a stop
// left it; the caller commits it.
DeleteOutcome DeleteRegions(ProfileDocument& doc, const std::vector<RegionToDelete>& regions,
                            const std::string& default_region_name,
                            const std::string& supplied_default_name, char sep);

// The same as one command on the session's file: the deletions made before a stop are
// written too. A refusal that the file's content caused is reported as a change on disk when the
// file changed meanwhile. Throws, with the file unchanged, when it cannot be written.
DeleteOutcome DeleteRegions(RegionFileSession& session, const std::vector<RegionToDelete>& regions,
                            const std::string& default_region_name,
                            const std::string& supplied_default_name, char sep);

// The three commands. Each ends in one handler: any failure restores the normal pointer and is
// shown by its description; a failure while deleting, and a change of the file made by another
// program, also reload the list.
class RegionCommands {
 public:
  RegionCommands(Global& global, CommandWindow& window, UserInterface& ui,
                 const RegistryStore& registry);

  void NewCommand();
  void ModifyCommand();
  void DeleteCommand();

 private:
  void Run(void (RegionCommands::*flow)());
  void NewFlow();
  void ModifyFlow();
  void DeleteFlow();
  void ModifyRow(int row);
  void DeleteRows(int first, int last);

  Global& global_;
  CommandWindow& window_;
  UserInterface& ui_;
  const RegistryStore& registry_;
  bool reload_on_failure_ = false;
};

}  // namespace quillmap
