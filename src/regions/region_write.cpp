// Adding, rewriting and deleting regions in a profile document, and the name check of the edit
// dialog. Nothing here touches the file; RegionFileSession commits the document.
#include <cstdint>
#include <limits>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "regions/region_file.h"
#include "regions/region_format.h"
#include "settings/cp1252.h"
#include "settings/number_text.h"

namespace quillmap {

namespace {

using region_format::FoldSectionName;
using region_format::kUnknown;

// The count after one more region, which must still fit in 16 bits.
int NextRegionNumber(const ProfileDocument& doc, char sep) {
  const int count = region_format::NumRegions(doc, sep);
  if (count == std::numeric_limits<int16_t>::max()) throw OverflowError();
  return count + 1;
}

std::string TrimBlanks(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

void FillCurrentRegion(const ProfileDocument& doc, bool is_new, const std::string& name,
                       const std::string& x, const std::string& y, const std::string& width,
                       const std::string& height, char sep, ScanRegion& current) {
  if (is_new) {
    const int number = NextRegionNumber(doc, sep);
    current.SectionName = region_format::RegionSection(number);
    current.RegionType = region_format::CustomerSlideSection(number - 1);
  }
  current.RegionName = TrimBlanks(name);
  current.RegionCustom = "YES";
  current.RegionX = "0";
  current.RegionY = "0";
  current.RegionWidth = width;
  current.RegionHeight = height;
  current.SlideX = x;
  current.SlideY = y;
  current.SlideAFX = DoubleToText(TextToInt32(x, sep) - 1.5, sep);
  current.SlideAFY = y;
  current.SlidePKG = "5";
}

void WriteCurrentRegion(ProfileDocument& doc, bool is_new, const ScanRegion& current, char sep) {
  std::string count;
  if (is_new) count = IntToText(NextRegionNumber(doc, sep));
  const region_format::RegionFileValues values = region_format::FormFileValues(current, sep);
  if (is_new) doc.Write(region_format::kScanRegions, region_format::kNumRegions, count);
  region_format::WriteFileValues(doc, values);
}

std::string FirstWriteMessage(bool is_new) {
  return is_new ? "Error writing ScanRegions in " : "Error writing Region Type in";
}

void DeleteRegion(ProfileDocument& doc, ScanRegion& current, char sep) {
  const std::string& section_name = current.SectionName;
  const std::string_view digits =
      section_name.size() > 6 ? std::string_view(section_name).substr(6) : std::string_view();
  const int deleted = TextToInt16(digits, sep);
  const int count = region_format::NumRegions(doc, sep);
  if (count == std::numeric_limits<int16_t>::min()) throw OverflowError();
  // A region outside 1..NumRegions means the list no longer shows the file; going on would
  // leave the last region beyond the count, out of every list.
  if (deleted < 1 || deleted > count) throw Error(kErrChangedOnDisk, kChangedOnDiskMessage);
  const std::string section = region_format::ToFileText(section_name, "The section name");
  const std::string deleted_type = doc.Read(section, "Type", kUnknown);

  // How many remaining regions name each slide section, so that a shared one stays while it is
  // in use; and which regions before the deleted one keep theirs, so that renumbering never
  // writes over one of them.
  std::vector<std::string> types(count + 1);
  std::vector<std::string> folded_types(count + 1);
  std::unordered_map<std::string, int> users;
  std::unordered_map<std::string, int> kept;
  for (int i = 1; i <= count; ++i) {
    if (i == deleted) continue;
    types[i] = doc.Read(region_format::RegionSection(i), "Type", kUnknown);
    folded_types[i] = FoldSectionName(types[i]);
    if (i < deleted) kept.emplace(folded_types[i], i);
    ++users[folded_types[i]];
  }

  // Every later region is read and converted before anything changes: a region is never lost
  // halfway, and the values are those it had, whatever the renumbering writes meanwhile.
  std::vector<region_format::RegionFileValues> moved;
  ScanRegion last_moved;
  for (int m = deleted + 1; m <= count; ++m) {
    const std::string section_m = region_format::RegionSection(m);
    const std::string new_type = region_format::CustomerSlideSection(m - 2);
    const auto owner = kept.empty() ? kept.end() : kept.find(FoldSectionName(new_type));
    if (owner != kept.end()) {
      throw Error(kErrFileAccess,
                  "Cannot delete this region: renumbering the regions after it would overwrite "
                  "the slide section " +
                      new_type + " of " + region_format::RegionSection(owner->second) + ".");
    }
    if (m == count) {
      last_moved = region_format::ToUtf8(region_format::ReadRegionBytes(doc, section_m, sep));
      last_moved.SectionName = region_format::RegionSection(m - 1);
      last_moved.RegionType = new_type;
    }
    moved.push_back(region_format::MovedFileValues(
        region_format::ReadRegionFileTexts(doc, section_m, std::move(types[m])), sep));
  }

  doc.DeleteSection(section);
  if (users.count(FoldSectionName(deleted_type)) == 0) doc.DeleteSection(deleted_type);
  doc.Write(region_format::kScanRegions, region_format::kNumRegions, IntToText(count - 1));
  int m = deleted + 1;
  for (region_format::RegionFileValues& values : moved) {
    doc.DeleteSection(values.section);
    // The old slide section goes once no remaining region names it.
    const auto old_users = users.find(folded_types[m]);
    if (old_users != users.end() && --old_users->second == 0) {
      users.erase(old_users);
      doc.DeleteSection(values.type);
    }
    values.section = region_format::RegionSection(m - 1);
    values.type = region_format::CustomerSlideSection(m - 2);
    ++users[FoldSectionName(values.type)];
    region_format::WriteFileValues(doc, values);
    ++m;
  }
  if (!moved.empty()) current = std::move(last_moved);
}

bool RegionNameExists(const ProfileDocument& doc, const std::string& section_name,
                      const std::string& typed_name, char sep) {
  const int count = region_format::NumRegions(doc, sep);
  std::string typed;
  // No name in the file can match a character the file cannot hold.
  if (!Utf8ToCp1252(typed_name, &typed)) return false;
  const std::string wanted = region_format::UpperCp1252(typed);
  for (int i = 1; i <= count; ++i) {
    const std::string section = region_format::RegionSection(i);
    if (section == section_name) continue;
    if (region_format::UpperCp1252(doc.Read(section, "Name", kUnknown)) == wanted) return true;
  }
  return false;
}

}  // namespace quillmap
