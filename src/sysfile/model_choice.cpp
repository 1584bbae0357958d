#include "sysfile/model_choice.h"

#include "settings/profile_names.h"
#include "sysfile/system_file.h"

namespace quillmap {
std::string UpperCaseText(std::string_view text) { return UpperUtf8(text); }

void ChooseModel(const std::string& system_file_path, const std::string& command_line_text,
                 ScannerState& state, const std::function<void()>& show_selection_dialog) {
  std::string argument = UpperCaseText(command_line_text);
  if (GetSystemFileVersion(system_file_path) == kSingleModelVersion) {
    LoadSingleModel(system_file_path, state);
    return;
  }
  LoadModelList(system_file_path, state);
  if (IsModelListed(state, argument)) {
    SelectModel(system_file_path, argument, state);
  } else {
    show_selection_dialog();
  }
}

}  // namespace quillmap
