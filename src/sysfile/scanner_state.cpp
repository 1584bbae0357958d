#include "sysfile/scanner_state.h"

#include <algorithm>

namespace quillmap {

bool IsModelListed(const ScannerState& state, const std::string& name) {
  return std::find(state.ModelList.begin(), state.ModelList.end(), name) != state.ModelList.end();
}

}  // namespace quillmap
