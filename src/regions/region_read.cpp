// Reading one region and loading the list with its checks against the model's bounds.
#include <cstdint>
#include <limits>

#include "regions/region_file.h"
#include "regions/region_format.h"
#include "settings/cp1252.h"
#include "settings/number_text.h"

namespace quillmap {

namespace {

using region_format::kCustomYes;
using region_format::kUnknown;
using region_format::Length;

// The grid keeps one row more than the regions in a 16-bit count.
constexpr int kMaxListedRegions = std::numeric_limits<int16_t>::max() - 1;

// A value lies outside a bound only by 0.01 mm or more.
std::array<bool, 7> CheckRegion(const Length& x, const Length& y, const Length& w, const Length& h,
                                const ModelLimits& limits) {
  std::array<bool, 7> red{};
  red[kColumnX] =
      !x.is_number || FallsBelowBound(x.value, limits.MinX) || ExceedsBound(x.value, limits.MaxX);
  red[kColumnY] =
      !y.is_number || FallsBelowBound(y.value, limits.MinY) || ExceedsBound(y.value, limits.MaxY);
  red[kColumnWidth] = !w.is_number || ExceedsBound(w.value, limits.MaxWidth) ||
                      FallsBelowBound(w.value, limits.MinWidth) ||
                      (x.is_number && ExceedsBound(x.value + w.value, limits.MaxX));
  red[kColumnHeight] = !h.is_number || ExceedsBound(h.value, limits.MaxHeight) ||
                       FallsBelowBound(h.value, limits.MinHeight) ||
                       (y.is_number && ExceedsBound(y.value + h.value, limits.MaxY));
  return red;
}

// The cell text of a length: a text that is not a number is the file's own.
std::string CellText(Length& length) {
  return length.is_number ? std::move(length.text) : region_format::ToUtf8(std::move(length.text));
}

}  // namespace

ScanRegion ReadRegion(const ProfileDocument& doc, const std::string& section_name, char sep) {
  std::string section;
  // A name the file cannot hold names no section, which reads as all defaults.
  if (!Utf8ToCp1252(section_name, &section)) section = section_name;
  ScanRegion region = region_format::ToUtf8(region_format::ReadRegionBytes(doc, section, sep));
  region.SectionName = section_name;
  return region;
}

ScanRegion ReadRegion(const std::string& region_file_path, const std::string& section_name,
                      char sep) {
  return ReadRegion(region_format::LoadRegionDocument(region_file_path), section_name, sep);
}

void ReadRegion(Global& global, const std::string& section_name) {
  global.CurrentRegion = ReadRegion(global.RegionFilePath, section_name, global.DecimalSeparator);
}

RegionList LoadRegionList(const ProfileDocument& doc, bool custom_only, const ModelLimits& limits,
                          char sep) {
  RegionList list;
  int count;
  try {
    count = region_format::NumRegions(doc, sep);
    if (count > kMaxListedRegions) throw OverflowError().SetKey(region_format::kNumRegionsKey);
  } catch (const Error& e) {
    list.error = e;
    return list;
  }
  if (count < 1) return list;

  const std::string default_section =
      doc.Read(region_format::kVelmoraDefault, region_format::kDefaultRegionKey, kUnknown);
  list.SuppliedDefaultName = region_format::ToUtf8(doc.Read(default_section, "Name", kUnknown));
  list.supplied_default_read = true;

  list.rows.reserve(count);
  static constexpr std::string_view kRowKeys[] = {"Custom", "Type", "W", "H", "Name"};
  static constexpr std::string_view kPositionKeys[] = {"X", "Y"};
  // A row needs seven of a region's values; the whole region is read once, for the last row.
  int last_shown = 0;
  for (int i = 1; i <= count; ++i) {
    std::string section = region_format::RegionSection(i);
    const auto keys = doc.FindKeys(section, kRowKeys);
    const std::string_view custom = keys[0].value_or("NO");
    if (custom_only && custom != kCustomYes) continue;
    const auto position = doc.FindKeys(keys[1].value_or(kUnknown), kPositionKeys);
    Length w = region_format::LengthFromFile(keys[2].value_or("0"), sep);
    Length h = region_format::LengthFromFile(keys[3].value_or("0"), sep);
    Length x = region_format::LengthFromFile(position[0].value_or("0"), sep);
    Length y = region_format::LengthFromFile(position[1].value_or("0"), sep);
    RegionRow& row = list.rows.emplace_back();
    row.red = CheckRegion(x, y, w, h, limits);
    row.cells[kColumnCustom] = region_format::ToUtf8(custom);
    row.cells[kColumnName] = region_format::ToUtf8(keys[4].value_or(kUnknown));
    row.cells[kColumnX] = CellText(x);
    row.cells[kColumnY] = CellText(y);
    row.cells[kColumnWidth] = CellText(w);
    row.cells[kColumnHeight] = CellText(h);
    row.cells[kColumnSectionName] = std::move(section);
    for (bool red : row.red) list.InvalidRegionsFound |= red;
    last_shown = i;
  }
  if (last_shown != 0) {
    list.last_shown = ReadRegion(doc, region_format::RegionSection(last_shown), sep);
  }
  return list;
}

RegionList LoadRegionList(const std::string& region_file_path, bool custom_only,
                          const ModelLimits& limits, char sep) {
  ProfileDocument doc;
  std::string notice;
  try {
    doc = region_format::LoadRegionDocument(region_file_path, &notice);
  } catch (const Error& e) {
    RegionList list;
    list.error = e;
    return list;
  }
  RegionList list = LoadRegionList(doc, custom_only, limits, sep);
  list.notice = std::move(notice);
  return list;
}

}  // namespace quillmap
