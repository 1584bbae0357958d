// The start-up's choice of the scanner model in force, kept apart from any window so that every
// road through it can be run without a display.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "sysfile/scanner_state.h"

namespace quillmap {

// `text` upper-cased as Windows-1252 knows its letters (UpperUtf8), everything else kept as
// it is, blanks included. Letters without an upper case there (ß, µ) stay.
std::string UpperCaseText(std::string_view text);

// Settles the model in force from the system file:
// - a single-model file makes "R7720C" the model; the argument is not used, ModelList stays
//   as it was and no dialog is shown;
// - otherwise ModelList is loaded and `command_line_text`, upper-cased (not trimmed), is
//   selected when it is listed;
// - otherwise `show_selection_dialog` is called and this returns when it returns. The dialog's
//   OK selects the chosen model itself; a dialog closed without a choice leaves ScannerModel
//   and Limits as they were.
// Failures of the readers are passed on (see system_file.h).
void ChooseModel(const std::string& system_file_path, const std::string& command_line_text,
                 ScannerState& state, const std::function<void()>& show_selection_dialog);

}  // namespace quillmap
