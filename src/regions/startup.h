// The start-up sequence of the main window: single-instance check, data folder and file paths,
// scanner model, labels, list, showing the window and the two warnings. It drives the window
// through StartupWindow, so every road through it runs without a display.
#pragma once

#include <optional>
#include <string>

#include "regions/global.h"
#include "regions/user_interface.h"
#include "settings/registry.h"

namespace quillmap {

inline constexpr const char* kRegionFileName = "ChipRegions.ini";
inline constexpr const char* kSystemFileName = "RegionDB.sys";
// The application's help file setting; nothing reads it back.
inline constexpr const char* kHelpFileSetting = "Help/Quillmap.pdf";

inline constexpr const char* kMicroarrayKey = "Software\\Velmora\\Microarray\\";
inline constexpr const char* kScanOptionsKey =
    "Software\\Velmora\\Microarray\\Scanner\\ScanOptions\\";
inline constexpr const char* kPathValue = "Path";
inline constexpr const char* kRegionNameValue = "RegionName";

inline constexpr const char* kUnableToLocate = "Unable to locate ";
inline constexpr const char* kDefaultRegionNotSetMessage = "Default scan region is not set.";
inline constexpr const char* kInvalidRegionsMessage =
    "Invalid regions are detected for this model of the scanner. \r\n"
    "These could be valid regions for different models of the scanner. \r\n"
    "Invalid regions will be rejected by this model until they are fixed.";

// The parts of the main window that the start-up drives, in the order of first use.
class StartupWindow {
 public:
  virtual ~StartupWindow() = default;
  // Whether an earlier instance of the program is running; asked before anything else.
  virtual bool EarlierInstanceRunning() = 0;
  // Brings the earlier instance's main window to the front; false when it cannot be found.
  virtual bool ActivatePrevInstance() = 0;
  virtual void SetHelpFile(const std::string& relative_path) = 0;
  virtual void CentreOnScreen() = 0;
  virtual void SetupToolbar() = 0;
  // The scanner selection dialog, modal; its OK selects the model itself. A failure of that
  // selection is thrown out of here.
  virtual void ShowSelectScanner() = 0;
  // "Scanner " + ScannerModel, made visible.
  virtual void ShowScannerCaption(const std::string& caption) = 0;
  virtual void SetCornerCaptions(const std::string& upper_left, const std::string& lower_right) = 0;
  // Fills the grid and reports its own failures; sets the window's InvalidRegionsFound.
  virtual void LoadRegionList() = 0;
  virtual void SelectRows(int first, int last) = 0;
  virtual void ShowWindow() = 0;
  virtual void SetDefaultRegionName(const std::string& name) = 0;
  virtual bool InvalidRegionsFound() const = 0;
  virtual void ClearInvalidRegionsFound() = 0;
  virtual void CloseWindow() = 0;
};

struct StartupInputs {
  RegistryStore registry;
  // The arguments after the program's name joined with single blanks, as given.
  std::string command_line;
  // The folder of the program's executable, with or without a closing separator.
  std::string program_folder;
};

enum class StartupOutcome {
  kRunning,                  // the window is shown and waits for the user
  kFailed,                   // an error was reported and the window closed
  kHandedToEarlierInstance,  // the earlier instance was brought to the front; window closed
  kEarlierInstanceNotFound,  // nothing was loaded; the empty window stays until closed
};

// Runs the whole sequence. Every error thrown on the way (the list loading excepted, which
// reports its own) is shown by its description alone and closes the window.
StartupOutcome RunStartup(const StartupInputs& inputs, Global& global, StartupWindow& window,
                          UserInterface& ui);

// `folder` with blanks trimmed at both ends and the separator appended unless it ends in one.
std::string FolderWithSeparator(const std::string& folder);

// True when something other than a folder exists at `path`.
bool FileExists(const std::string& path);

// Sets DataFolderPath from `folder` (or, when no region file lies there, from `fallback_folder`)
// and the two file paths; throws Error 5001 "Unable to locate " + the path of a missing file.
void SettleDataFolder(const std::string& folder, const std::optional<std::string>& fallback_folder,
                      Global& global);
// The same for a folder that the user names, taken exactly as given: its blanks belong to it.
void SettleNamedDataFolder(const std::string& folder, Global& global);

}  // namespace quillmap
