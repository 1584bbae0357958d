#include "regions/region_commands.h"

#include <algorithm>

#include "regions/region_file.h"
#include "regions/save_region.h"
#include "regions/startup.h"

namespace quillmap {
namespace {

// A row's section that no longer holds the region the row shows means that another program
// changed the file after the list was loaded; going on would change some other region.
void CheckRowStillHolds(const ScanRegion& read, const std::string& shown_name) {
  if (read.RegionName != shown_name) throw Error(kErrChangedOnDisk, kChangedOnDiskMessage);
}

}  // namespace

void WriteDefaultRegionName(const RegistryStore& registry, const std::string& name) {
  WriteRegistryString(registry, RegistryRoot::kCurrentUser, kScanOptionsKey, kRegionNameValue,
                      name);
}

DeleteOutcome DeleteRegions(ProfileDocument& doc, const std::vector<RegionToDelete>& regions,
                            const std::string& default_region_name,
                            const std::string& supplied_default_name, char sep) {
  DeleteOutcome outcome;
  std::string default_name = default_region_name;
  for (const RegionToDelete& region : regions) {
    try {
      if (region.custom == kSuppliedCustom) {
        throw Error(kErrFileAccess, kCannotDeleteSupplied + region.name);
      }
      ScanRegion current = ReadRegion(doc, region.section_name, sep);
      CheckRowStillHolds(current, region.name);
      DeleteRegion(doc, current, sep);
    } catch (const Error& error) {
      outcome.stopped_by = error;
      break;
    }
    ++outcome.deleted;
    if (default_name == region.name) {
      default_name = supplied_default_name;
      outcome.new_default_region_name = default_name;
    }
  }
  return outcome;
}

DeleteOutcome DeleteRegions(RegionFileSession& session, const std::vector<RegionToDelete>& regions,
                            const std::string& default_region_name,
                            const std::string& supplied_default_name, char sep) {
  DeleteOutcome outcome =
      DeleteRegions(session.Document(), regions, default_region_name, supplied_default_name, sep);
  if (outcome.stopped_by) outcome.stopped_by = session.Explain(*outcome.stopped_by);
  session.Commit(kDeleteWriteMessage);
  return outcome;
}

RegionCommands::RegionCommands(Global& global, CommandWindow& window, UserInterface& ui,
                               const RegistryStore& registry)
    : global_(global), window_(window), ui_(ui), registry_(registry) {}

void RegionCommands::NewCommand() { Run(&RegionCommands::NewFlow); }
void RegionCommands::ModifyCommand() { Run(&RegionCommands::ModifyFlow); }
void RegionCommands::DeleteCommand() { Run(&RegionCommands::DeleteFlow); }

void RegionCommands::Run(void (RegionCommands::*flow)()) {
  reload_on_failure_ = false;
  std::string failure;
  bool changed_on_disk = false;
  try {
    (this->*flow)();
    return;
  } catch (const Error& error) {
    failure = error.Description();
    changed_on_disk = error.Number() == kErrChangedOnDisk;
  } catch (const std::exception& error) {
    failure = error.what();
  }
  // Every busy guard of the flow has ended by now, so the pointer is back to normal.
  ui_.ShowMessage(failure);
  if (reload_on_failure_ || changed_on_disk) window_.LoadRegionList();
}

void RegionCommands::NewFlow() {
  if (window_.IniFileReadOnly()) return;
  int first = 0;
  int last = 0;
  window_.GetSelectedRows(&first, &last);
  const int last_row = window_.DataRowCount();
  window_.ClearCurrentRegion();
  window_.RunEditDialog(kEditModeNew);
  window_.LoadRegionList();
  const int new_last_row = window_.DataRowCount();
  if (new_last_row != last_row) {
    window_.SelectRows(new_last_row, new_last_row);
  } else {
    window_.SelectRows(first, last);
  }
}

void RegionCommands::ModifyFlow() {
  if (window_.IniFileReadOnly()) return;
  int first = 0;
  int last = 0;
  window_.GetSelectedRows(&first, &last);
  if (first < 1 || last < 1) {
    ui_.ShowMessage(window_.DataRowCount() >= 1 ? kSelectToModifyMessage
                                                : kNoRegionsToModifyMessage);
    return;
  }
  for (int row = first; row <= last; ++row) ModifyRow(row);
  window_.LoadRegionList();
  window_.SelectRows(first, last);
}

void RegionCommands::ModifyRow(int row) {
  const std::string name = window_.CellText(row, kColumnName);
  if (window_.CellText(row, kColumnCustom) == kSuppliedCustom) {
    ui_.ShowMessage(kCannotModifySupplied + name);
    return;
  }
  ReadRegion(global_, window_.CellText(row, kColumnSectionName));
  CheckRowStillHolds(global_.CurrentRegion, name);
  const std::string old_name = global_.CurrentRegion.RegionName;
  if (!window_.RunEditDialog(kEditModeModify)) return;
  reload_on_failure_ = true;  // the file holds the new name even if the registry refuses it
  if (const auto renamed = FollowRenamedDefault(registry_, window_.DefaultRegionName(), old_name,
                                                global_.CurrentRegion.RegionName)) {
    window_.SetDefaultRegionName(*renamed);
  }
}

void RegionCommands::DeleteFlow() {
  if (window_.IniFileReadOnly()) return;
  int first = 0;
  int last = 0;
  window_.GetSelectedRows(&first, &last);
  if (first < 1 || last < 1) {
    ui_.ShowMessage(window_.DataRowCount() >= 1 ? kSelectToDeleteMessage
                                                : kNoRegionsToDeleteMessage);
    return;
  }
  if (ui_.ShowMessage(kConfirmDeleteMessage, MessageButtons::kYesNo) != MessageAnswer::kYes) {
    return;
  }
  reload_on_failure_ = true;
  DeleteRows(first, last);
  reload_on_failure_ = false;
  window_.LoadRegionList();
  first = std::min(first, window_.DataRowCount());
  window_.SelectRows(first, first);
}

void RegionCommands::DeleteRows(int first, int last) {
  BusyGuard busy(ui_);
  std::vector<RegionToDelete> regions;
  for (int row = last; row >= first; --row) {
    regions.push_back({window_.CellText(row, kColumnCustom), window_.CellText(row, kColumnName),
                       window_.CellText(row, kColumnSectionName)});
  }
  RegionFileSession session = RegionFileSession::Open(global_.RegionFilePath);
  const DeleteOutcome outcome =
      DeleteRegions(session, regions, window_.DefaultRegionName(), window_.SuppliedDefaultName(),
                    global_.DecimalSeparator);
  // Only once the file holds the deletion does the scanner software's default follow it.
  if (outcome.new_default_region_name) {
    WriteDefaultRegionName(registry_, *outcome.new_default_region_name);
    window_.SetDefaultRegionName(*outcome.new_default_region_name);
  }
  if (outcome.stopped_by) throw *outcome.stopped_by;
}

}  // namespace quillmap
