#include "regions/scan_region.h"

#include <tuple>

namespace quillmap {

namespace {
auto Fields(const ScanRegion& r) {
  return std::tie(r.SectionName, r.RegionName, r.RegionType, r.RegionCustom, r.RegionX, r.RegionY,
                  r.RegionWidth, r.RegionHeight, r.SlideX, r.SlideY, r.SlideAFX, r.SlideAFY,
                  r.SlidePKG);
}
}  // namespace

bool ScanRegion::operator==(const ScanRegion& other) const {
  return Fields(*this) == Fields(other);
}

}  // namespace quillmap
