// Loading the region list with its checks, and the add, modify and delete that work on it, on
// any region file. Three control bytes (filter and separator, the bounds, the region to change),
// then the file. A command either leaves the document as it was or changes only its own region:
// a deletion removes exactly one region and moves the later ones up with their names, a
// modification leaves every other region as it was, an addition keeps every region there was
// and is listed last.
#include <array>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "regions/region_file.h"
#include "settings/cp1252.h"
#include "settings/error.h"
#include "settings/number_text.h"

namespace {

using quillmap::Error;
using quillmap::ModelLimits;
using quillmap::ProfileDocument;
using quillmap::RegionList;
using quillmap::ScanRegion;

// Deletion and addition reread every region; past this they only cost time.
constexpr int kMaxCheckedRegions = 300;
constexpr int kMaxLoadedRegions = 2000;

constexpr std::array<ModelLimits, 3> kLimits = {{
    {3.0, 1.0, 63.0, 24.0, 60.0, 23.0, 1.0, 1.0},
    {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0},
    {-2147483.648, -2147483.648, 2147483.647, 2147483.647, 2147483.647, 2147483.647, -2147483.648,
     -2147483.648},
}};

bool IsUtf8(const std::string& text) {
  std::string ignored;
  return quillmap::Utf8ToCp1252(text, &ignored);
}

std::string Section(int i) { return "Region" + std::to_string(i); }

int CountOf(const ProfileDocument& doc, char sep) {
  return quillmap::TextToInt16(doc.Read("ScanRegions", "NumRegions", "0"), sep);
}

std::vector<ScanRegion> ReadAll(const ProfileDocument& doc, int count, char sep) {
  std::vector<ScanRegion> regions;
  for (int i = 1; i <= count; ++i) regions.push_back(quillmap::ReadRegion(doc, Section(i), sep));
  return regions;
}

// The texts that a move carries unchanged.
bool SameTexts(const ScanRegion& a, const ScanRegion& b) {
  return a.RegionName == b.RegionName && a.RegionCustom == b.RegionCustom &&
         a.RegionX == b.RegionX && a.RegionY == b.RegionY && a.SlidePKG == b.SlidePKG;
}

void CheckList(const RegionList& list, const ProfileDocument& doc, bool custom_only, char sep) {
  if (list.error) {
    FUZZ_CHECK(list.rows.empty() && !list.supplied_default_read);
    return;
  }
  const int count = CountOf(doc, sep);
  FUZZ_CHECK(count <= 32766);
  FUZZ_CHECK(list.rows.size() <= static_cast<size_t>(count < 0 ? 0 : count));
  if (!custom_only && count > 0) FUZZ_CHECK(list.rows.size() == static_cast<size_t>(count));
  FUZZ_CHECK(list.supplied_default_read == (count > 0));
  bool any_red = false;
  int previous = 0;
  for (const quillmap::RegionRow& row : list.rows) {
    const std::string& section = row.cells[quillmap::kColumnSectionName];
    FUZZ_CHECK(section.rfind("Region", 0) == 0);
    const int number = std::stoi(section.substr(6));
    FUZZ_CHECK(number > previous && number <= count);
    previous = number;
    for (const std::string& cell : row.cells) FUZZ_CHECK(IsUtf8(cell));
    FUZZ_CHECK(!row.red[0] && !row.red[1] && !row.red[6]);
    if (custom_only) FUZZ_CHECK(row.cells[quillmap::kColumnCustom] == "YES");
    // A length that is not a number is always marked.
    for (int column = quillmap::kColumnX; column <= quillmap::kColumnHeight; ++column) {
      if (!quillmap::IsNumber(row.cells[column], sep)) FUZZ_CHECK(row.red[column]);
    }
    for (bool red : row.red) any_red |= red;
  }
  FUZZ_CHECK(list.InvalidRegionsFound == any_red);
  FUZZ_CHECK(list.last_shown.has_value() == !list.rows.empty());
  if (list.last_shown) {
    const auto& cells = list.rows.back().cells;
    const ScanRegion& last = *list.last_shown;
    FUZZ_CHECK(last.SectionName == cells[6] && last.RegionCustom == cells[0] &&
               last.RegionName == cells[1] && last.SlideX == cells[2] && last.SlideY == cells[3] &&
               last.RegionWidth == cells[4] && last.RegionHeight == cells[5]);
  }
}

void CheckDelete(const ProfileDocument& doc, const RegionList& list, uint8_t control, char sep) {
  const int count = CountOf(doc, sep);
  const int k = std::stoi(list.rows[control % list.rows.size()].cells[6].substr(6));
  const std::vector<ScanRegion> before = ReadAll(doc, count, sep);
  ProfileDocument copy = doc;
  ScanRegion current = before[k - 1];
  try {
    quillmap::DeleteRegion(copy, current, sep);
  } catch (const Error&) {
    FUZZ_CHECK(copy.Serialize() == doc.Serialize());
    return;
  }
  FUZZ_CHECK(CountOf(copy, sep) == count - 1);
  const std::vector<ScanRegion> after = ReadAll(copy, count - 1, sep);
  for (int i = 1; i < k; ++i) FUZZ_CHECK(after[i - 1] == before[i - 1]);
  for (int m = k + 1; m <= count; ++m) FUZZ_CHECK(SameTexts(after[m - 2], before[m - 1]));
  if (k < count) FUZZ_CHECK(SameTexts(current, before[count - 1]));
  FUZZ_CHECK(!quillmap::LoadRegionList(copy, false, kLimits[0], sep).error);
}

// Modify keeps the region's sections; no other region may change.
void CheckModify(const ProfileDocument& doc, const RegionList& list, uint8_t control, char sep) {
  const int count = CountOf(doc, sep);
  const int k = std::stoi(list.rows[control % list.rows.size()].cells[6].substr(6));
  const std::vector<ScanRegion> before = ReadAll(doc, count, sep);
  const std::string s(1, sep);
  ProfileDocument copy = doc;
  ScanRegion current = before[k - 1];
  try {
    quillmap::FillCurrentRegion(copy, false, "Changed", "2" + s + "50", "3" + s + "00",
                                "4" + s + "00", "5" + s + "00", sep, current);
    quillmap::WriteCurrentRegion(copy, false, current, sep);
  } catch (const Error&) {
    FUZZ_CHECK(copy.Serialize() == doc.Serialize());
    return;
  }
  const std::vector<ScanRegion> after = ReadAll(copy, count, sep);
  for (int i = 1; i <= count; ++i) {
    if (i != k) FUZZ_CHECK(after[i - 1] == before[i - 1]);
  }
  FUZZ_CHECK(after[k - 1].RegionName == "Changed" && after[k - 1].SlideX == "2" + s + "50" &&
             after[k - 1].RegionHeight == "5" + s + "00");
}

void CheckAdd(const ProfileDocument& doc, char sep) {
  const int count = CountOf(doc, sep);
  const std::vector<ScanRegion> before = ReadAll(doc, count, sep);
  const std::string s(1, sep);
  ProfileDocument copy = doc;
  ScanRegion current;
  try {
    quillmap::FillCurrentRegion(copy, true, " Fuzz ", "12" + s + "40", "5" + s + "00",
                                "20" + s + "00", "8" + s + "00", sep, current);
    quillmap::WriteCurrentRegion(copy, true, current, sep);
  } catch (const Error&) {
    FUZZ_CHECK(copy.Serialize() == doc.Serialize());
    return;
  }
  // The new region is the last of the list; no count below zero can make it one.
  FUZZ_CHECK(count >= 0 && CountOf(copy, sep) == count + 1);
  const std::vector<ScanRegion> after = ReadAll(copy, count + 1, sep);
  for (int i = 1; i <= count; ++i) FUZZ_CHECK(after[i - 1] == before[i - 1]);
  // The new region reads back as written; AFX comes back in the two-decimal form.
  ScanRegion added = after[count];
  FUZZ_CHECK(added.SlideAFX == "10" + s + "50");
  added.SlideAFX = current.SlideAFX;
  FUZZ_CHECK(added == current);
  FUZZ_CHECK(quillmap::RegionNameExists(copy, "", "FUZZ", sep));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const quillmap::fuzz::Controls controls(data, size, 3);
  const bool custom_only = controls.Byte(0) & 1;
  const char sep = controls.Byte(0) & 2 ? ',' : '.';
  const ModelLimits& limits = kLimits[controls.Byte(1) % kLimits.size()];
  const ProfileDocument doc = ProfileDocument::Parse(controls.Rest());
  // Lists of tens of thousands of regions cost a second each and teach the fuzzer nothing new;
  // the reliability tests load them.
  try {
    if (CountOf(doc, sep) > kMaxLoadedRegions) return 0;
  } catch (const Error&) {
  }

  const RegionList list = quillmap::LoadRegionList(doc, custom_only, limits, sep);
  CheckList(list, doc, custom_only, sep);
  if (list.error || CountOf(doc, sep) > kMaxCheckedRegions) return 0;

  for (size_t i = 0; i < list.rows.size() && i < 32; ++i) {
    FUZZ_CHECK(quillmap::RegionNameExists(doc, "", list.rows[i].cells[1], sep));
  }
  if (!list.rows.empty()) {
    CheckDelete(doc, list, controls.Byte(2), sep);
    CheckModify(doc, list, controls.Byte(2), sep);
  }
  CheckAdd(doc, sep);
  return 0;
}
