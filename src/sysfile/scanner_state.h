// The scanner model in force and its eight bounds, in millimetres.
#pragma once

#include <string>
#include <vector>

namespace quillmap {

// Storage order is the system file's order.
struct ModelLimits {
  double MinX = 0.0;
  double MinY = 0.0;
  double MaxX = 0.0;
  double MaxY = 0.0;
  double MaxWidth = 0.0;
  double MaxHeight = 0.0;
  double MinWidth = 0.0;
  double MinHeight = 0.0;
};

struct ScannerState {
  std::string ScannerModel;
  ModelLimits Limits;
  std::vector<std::string> ModelList;  // names in file order; may repeat, may be empty texts
};

// True when some entry of ModelList equals `name` exactly (letter case counts).
bool IsModelListed(const ScannerState& state, const std::string& name);

}  // namespace quillmap
