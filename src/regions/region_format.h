// The region file's names and defaults, and the byte-level reading and writing of one region
// that the public operations share. Fields here hold the file's Windows-1252 bytes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "regions/scan_region.h"
#include "settings/error.h"
#include "settings/profile.h"

namespace quillmap::region_format {

inline constexpr std::string_view kScanRegions = "ScanRegions";
inline constexpr std::string_view kNumRegions = "NumRegions";
// The count as an error names where it was read.
inline constexpr const char* kNumRegionsKey = "[ScanRegions] NumRegions";
inline constexpr std::string_view kVelmoraDefault = "VelmoraDefault";
inline constexpr std::string_view kDefaultRegionKey = "Region";
inline constexpr std::string_view kUnknown = "*Unknown*";
inline constexpr std::string_view kCustomYes = "YES";
// The last key of each section carries a line break, which leaves an empty line after it.
inline constexpr std::string_view kSectionEnd = "\r\n";

inline constexpr std::string_view kRegionPrefix = "Region";
inline constexpr std::string_view kCustomerSlidePrefix = "CustomerSlide";
std::string RegionSection(long long number);         // "Region7"
std::string CustomerSlideSection(long long number);  // "CustomerSlide6"
// The same into `out`, whose room is used again: a name too long for a short string costs an
// allocation, and renumbering names a slide section per region.
void CustomerSlideSection(long long number, std::string* out);

Error UnreadableFileError(const std::string& path);
// Reads the whole file once, under the same lock as the writers (a writer that cannot replace
// the file rewrites it in place, which a reader must not see halfway).
// `notice` (optional) gets what the user should be told of an interrupted save met on the way.
ProfileDocument LoadRegionDocument(const std::string& path, std::string* notice = nullptr);

// NumRegions (default "0") as a 16-bit integer; throws a conversion error.
int NumRegions(const ProfileDocument& doc, char sep);

// A length as the program holds it: the "#0.00" millimetre text of a file value, or the file's
// text when that is not a number; with the number of the millimetre text.
struct Length {
  std::string text;
  bool is_number = false;
  double value = 0.0;
};
Length LengthFromFile(std::string_view file_text, char sep);

// What a length becomes in the file when its region is moved: through the millimetre text and
// back, so rounded to 10 thousandths of a millimetre; a text that is not a number unchanged.
// Nullopt when the text stays as it is.
std::optional<std::string> MovedFileLength(std::string_view file_text, char sep);

// One region's texts as the file has them, defaults applied, nothing converted: views into the
// document, which last as long as it does (ProfileDocument), or into the defaults.
struct RegionFileTexts {
  std::string_view type;  // also the slide section's name
  std::string_view name;
  std::string_view custom;
  std::string_view x;
  std::string_view y;
  std::string_view width;
  std::string_view height;
  std::string_view slide_x;
  std::string_view slide_y;
  std::string_view slide_afx;
  std::string_view slide_afy;
  std::string_view slide_pkg;
};
RegionFileTexts FindRegionFileTexts(const ProfileDocument& doc, std::string_view section_name);
// The same as a record.
ScanRegion ReadRegionFileTexts(const ProfileDocument& doc, std::string_view section_name);

// ReadRegion without the conversion to UTF-8.
ScanRegion ReadRegionBytes(const ProfileDocument& doc, std::string_view section_name, char sep);

// Every key of one region as it goes into the file.
struct RegionFileValues {
  std::string section;
  std::string type;  // also the slide section's name
  std::string name;
  std::string custom;
  std::string x;
  std::string y;
  std::string width;
  std::string height;
  std::string slide_x;
  std::string slide_y;
  std::string slide_afx;
  std::string slide_afy;
  std::string slide_pkg;
};

// The values of `region` (UTF-8, millimetre texts), formed in the order the keys are written,
// so the first error is the one that a key-by-key write would have met first: a text that
// Windows-1252 cannot hold, or a length that is not a number.
RegionFileValues FormFileValues(const ScanRegion& region, char sep);

// The region section, then the slide section, keys in file order.
void WriteFileValues(ProfileDocument& doc, const RegionFileValues& values);

// Windows-1252 bytes as UTF-8; ASCII, the usual case, passes as it is.
std::string ToUtf8(std::string bytes);
std::string ToUtf8(std::string_view bytes);
ScanRegion ToUtf8(ScanRegion bytes);
// Throws Error 500 naming the text when Windows-1252 cannot hold it or it holds a line break.
std::string ToFileText(const std::string& utf8, const char* what);

}  // namespace quillmap::region_format
