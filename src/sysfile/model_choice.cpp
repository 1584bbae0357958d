#include "sysfile/model_choice.h"

#include "sysfile/system_file.h"

namespace quillmap {
namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

std::string UpperCaseText(std::string_view text) {
  std::string upper;
  upper.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    if (lead >= 'a' && lead <= 'z') {
      upper += static_cast<char>(lead - 'a' + 'A');
      continue;
    }
    // Only whole two-byte sequences are looked at, so text that is not UTF-8 passes unchanged.
    unsigned char next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    if (!IsContinuation(next) || (lead != 0xC3 && lead != 0xC5)) {
      upper += static_cast<char>(lead);
      continue;
    }
    ++i;
    if (lead == 0xC3 && next >= 0xA0 && next <= 0xBE && next != 0xB7) {
      upper += "\xC3";  // U+00E0..U+00FE but U+00F7 (÷) map 0x20 down
      upper += static_cast<char>(next - 0x20);
    } else if (lead == 0xC3 && next == 0xBF) {
      upper += "\xC5\xB8";  // ÿ to Ÿ
    } else if (lead == 0xC5 && (next == 0x93 || next == 0xA1 || next == 0xBE)) {
      upper += "\xC5";  // œ š ž to Œ Š Ž
      upper += static_cast<char>(next - 1);
    } else {
      upper += static_cast<char>(lead);
      upper += static_cast<char>(next);
    }
  }
  return upper;
}

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
