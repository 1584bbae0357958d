// One region as the program holds it: thirteen texts, millimetre fields as "#0.00" text in the
// user's locale.
#pragma once

#include <string>

namespace quillmap {

struct ScanRegion {
  std::string SectionName;
  std::string RegionName;
  std::string RegionType;
  std::string RegionCustom;
  std::string RegionX;
  std::string RegionY;
  std::string RegionWidth;
  std::string RegionHeight;
  std::string SlideX;
  std::string SlideY;
  std::string SlideAFX;
  std::string SlideAFY;
  std::string SlidePKG;

  bool operator==(const ScanRegion& other) const;
  bool operator!=(const ScanRegion& other) const { return !(*this == other); }
};

}  // namespace quillmap
