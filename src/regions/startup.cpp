#include "regions/startup.h"

#include <sys/stat.h>

#include <exception>

#include "settings/error.h"
#include "settings/file_system.h"
#include "settings/number_text.h"
#include "settings/profile_names.h"
#include "sysfile/model_choice.h"

namespace quillmap {
namespace {

// The default region's name is compared with names read from the region file, so it loses the
// blanks such a read strips.
std::string TrimBlanks(const std::string& text) { return std::string(TrimProfileBlanks(text)); }

std::string WithSeparator(const std::string& folder) {
  if (folder.empty() || folder.back() != kPathSeparator) return folder + kPathSeparator;
  return folder;
}

// Sets SystemFilePath beside RegionFilePath; throws Error 5001 when either file is missing.
void CheckDataFolder(Global& global) {
  if (!FileExists(global.RegionFilePath)) {
    throw Error(kErrFileAccess, kUnableToLocate + global.RegionFilePath);
  }
  // The system file has no second candidate folder: it must lie beside the region file.
  global.SystemFilePath = global.DataFolderPath + kSystemFileName;
  if (!FileExists(global.SystemFilePath)) {
    throw Error(kErrFileAccess, kUnableToLocate + global.SystemFilePath);
  }
}

std::string CornerCaption(double x, double y, char sep) {
  return "(" + FormatValue(x, sep) + ", " + FormatValue(y, sep) + ")";
}

// Steps 3 to 20; an error thrown here ends the sequence in RunStartup's handler.
void RunSequence(const StartupInputs& inputs, Global& global, StartupWindow& window,
                 UserInterface& ui) {
  const std::string command_line_text = UpperCaseText(inputs.command_line);
  window.SetHelpFile(kHelpFileSetting);
  window.CentreOnScreen();
  window.SetupToolbar();

  // A store that could not be read in full is told in a message, once.
  RegistryStore registry = inputs.registry;
  registry.TellProblemsTo([&ui](const std::string& text) { ui.ShowMessage(text); });
  SettleDataFolder(
      ReadRegistryString(registry, RegistryRoot::kLocalMachine, kMicroarrayKey, kPathValue, ""),
      inputs.program_folder, global);

  ChooseModel(global.SystemFilePath, command_line_text, global.Scanner,
              [&window] { window.ShowSelectScanner(); });

  window.ShowScannerCaption("Scanner " + global.Scanner.ScannerModel);
  const ModelLimits& limits = global.Scanner.Limits;
  window.SetCornerCaptions(CornerCaption(limits.MinX, limits.MinY, global.DecimalSeparator),
                           CornerCaption(limits.MaxX, limits.MaxY, global.DecimalSeparator));
  window.LoadRegionList();
  window.SelectRows(1, 1);
  window.ShowWindow();

  const std::string default_region_name = TrimBlanks(ReadRegistryString(
      registry, RegistryRoot::kCurrentUser, kScanOptionsKey, kRegionNameValue, ""));
  window.SetDefaultRegionName(default_region_name);
  if (default_region_name.empty()) {
    ui.ShowMessage(kDefaultRegionNotSetMessage, MessageButtons::kOk, MessageIcon::kInformation);
  }
  if (window.InvalidRegionsFound()) {
    ui.ShowMessage(kInvalidRegionsMessage);
    window.ClearInvalidRegionsFound();
  }
}

}  // namespace

std::string FolderWithSeparator(const std::string& folder) {
  return WithSeparator(TrimBlanks(folder));
}

void SettleDataFolder(const std::string& folder, const std::optional<std::string>& fallback_folder,
                      Global& global) {
  const auto use_folder = [&global](const std::string& candidate) {
    global.DataFolderPath = FolderWithSeparator(candidate);
    global.RegionFilePath = global.DataFolderPath + kRegionFileName;
  };
  use_folder(folder);
  if (!FileExists(global.RegionFilePath) && fallback_folder) use_folder(*fallback_folder);
  CheckDataFolder(global);
}

void SettleNamedDataFolder(const std::string& folder, Global& global) {
  global.DataFolderPath = WithSeparator(folder);
  global.RegionFilePath = global.DataFolderPath + kRegionFileName;
  CheckDataFolder(global);
}

bool FileExists(const std::string& path) {
  struct stat info;
  return RealFileSystem().Stat(path, &info) == 0 && !S_ISDIR(info.st_mode);
}

StartupOutcome RunStartup(const StartupInputs& inputs, Global& global, StartupWindow& window,
                          UserInterface& ui) {
  std::string failure;
  try {
    if (window.EarlierInstanceRunning()) {
      if (!window.ActivatePrevInstance()) return StartupOutcome::kEarlierInstanceNotFound;
      window.CloseWindow();
      return StartupOutcome::kHandedToEarlierInstance;
    }
    RunSequence(inputs, global, window, ui);
    return StartupOutcome::kRunning;
  } catch (const Error& error) {
    failure = error.Description();
  } catch (const std::exception& error) {
    failure = error.what();
  }
  ui.ShowMessage(failure);
  window.CloseWindow();
  return StartupOutcome::kFailed;
}

}  // namespace quillmap
