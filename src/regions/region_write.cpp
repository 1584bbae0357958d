// Adding, rewriting and deleting regions in a profile document, and the name check of the edit
// dialog. Nothing here touches the file; RegionFileSession commits the document.
#include <cstdint>
#include <deque>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

#include "regions/region_file.h"
#include "regions/region_format.h"
#include "settings/cp1252.h"
#include "settings/number_text.h"
#include "settings/profile_index.h"
#include "settings/profile_names.h"

namespace quillmap {

namespace {

using region_format::kUnknown;

// The count after one more region. The list shows at most 32766 regions, so one more than that
// would leave a file that no longer lists; below zero the new region would get a number that
// no list shows.
int NextRegionNumber(int count) {
  if (count == std::numeric_limits<int16_t>::max()) {
    throw OverflowError().SetKey(region_format::kNumRegionsKey);
  }
  if (count == std::numeric_limits<int16_t>::max() - 1) {
    throw Error(kErrOverflow, "The region file holds " + IntToText(count) +
                                  " regions, the most that can be listed. Please delete a "
                                  "region before adding one.");
  }
  if (count < 0) {
    throw Error(kErrFileAccess, "The region file counts " + IntToText(count) +
                                    " regions (NumRegions in [ScanRegions]). Please correct "
                                    "it before adding a region.");
  }
  return count + 1;
}

// n of a section name "<prefix><n>" (blanks around it and letter case ignored, as the profile
// layer compares names) whose n is written as the commands write it: up to five digits, no
// sign, no leading zero. -1 for any other name.
int NumberedName(std::string_view name, std::string_view prefix) {
  name = TrimProfileBlanks(name);
  if (name.size() <= prefix.size() || !SameProfileName(name.substr(0, prefix.size()), prefix)) {
    return -1;
  }
  const std::string_view digits = name.substr(prefix.size());
  if (digits.size() > 5 || (digits[0] == '0' && digits.size() > 1)) return -1;
  int number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    number = number * 10 + (c - '0');
  }
  return number;
}

// Whether a section name is one that the commands write as a region section or for the count
// and the default: a region whose Type names it would see its slide values overwritten or
// deleted by a command on another region.
bool IsRegionFileSection(std::string_view name, int count) {
  if (SameProfileName(name, region_format::kScanRegions) ||
      SameProfileName(name, region_format::kVelmoraDefault)) {
    return true;
  }
  const int number = NumberedName(name, region_format::kRegionPrefix);
  return number >= 1 && number <= count + 1;
}

// `user` is the other region's section, or empty when the slide section is one of the file's
// own sections.
Error SlideSectionInUse(const std::string& section, std::string_view type,
                        const std::string& user = "") {
  return Error(
      kErrFileAccess,
      "Cannot change " + section + ": its slide section " + region_format::ToUtf8(type) +
          (user.empty() ? " is a section of the region file's own" : " is also used by " + user) +
          ". Please correct the region file.");
}

// Refuses to write the slide section `type` of region number `own` when it is a section of
// the file's own, or another region names it too (or names the region's own section): writing
// would change that other region as well.
void CheckSlideSectionOwned(const ProfileDocument& doc, int count, int own,
                            const std::string& section, const std::string& type) {
  if (IsRegionFileSection(type, count)) throw SlideSectionInUse(section, type);
  static constexpr std::string_view kTypeKey[] = {"Type"};
  for (int i = 1; i <= count; ++i) {
    if (i == own) continue;
    const std::string region = region_format::RegionSection(i);
    const std::string_view other = doc.FindKeys(region, kTypeKey)[0].value_or(kUnknown);
    if (SameProfileName(other, type) || SameProfileName(other, section)) {
      throw SlideSectionInUse(section, type, region);
    }
  }
}

// n of the section name "Region<n>".
int RegionNumber(const std::string& section_name, char sep) {
  const std::string_view digits =
      section_name.size() > 6 ? std::string_view(section_name).substr(6) : std::string_view();
  return TextToInt16(digits, sep);
}

// What DeleteRegion needs to know of one slide section.
struct SlideUse {
  int users = 0;    // remaining regions that name it
  int kept_by = 0;  // the first region before the deleted one that names it, or 0
};

// Slide sections numbered by name, one number for the names that the profile layer takes as
// the same section. The document's own index, so no name is copied or folded: the names are
// views into the document, which keeps them through its changes.
class SectionNumbers {
 public:
  explicit SectionNumbers(int expected) {
    index_.Reserve(static_cast<size_t>(expected));
    names_.reserve(static_cast<size_t>(expected));
    uses_.reserve(static_cast<size_t>(expected));
  }

  // The name's number, given it if it has none yet. `name` must outlive this object.
  int Of(std::string_view name) {
    name = TrimProfileBlanks(name);
    const uint32_t hash = index_.Hash(name);
    index_.MakeRoomForOne();
    const size_t slot = Probe(hash, name);
    const uint32_t found = index_.First(slot);
    if (found != ProfileIndex::kNone) return static_cast<int>(found);
    const auto number = static_cast<uint32_t>(names_.size());
    names_.push_back(name);
    uses_.emplace_back();
    index_.AddAt(slot, number, hash);
    return static_cast<int>(number);
  }
  // -1 when the name has no number.
  int Find(std::string_view name) const {
    name = TrimProfileBlanks(name);
    const uint32_t number = index_.First(Probe(index_.Hash(name), name));
    return number == ProfileIndex::kNone ? -1 : static_cast<int>(number);
  }
  SlideUse& Use(int number) { return uses_[static_cast<size_t>(number)]; }

 private:
  size_t Probe(uint32_t hash, std::string_view trimmed_name) const {
    return index_.Probe(hash, trimmed_name, [this](uint32_t number) { return names_[number]; });
  }

  ProfileIndex index_;
  std::vector<std::string_view> names_;  // trimmed
  std::vector<SlideUse> uses_;
};

}  // namespace

void FillCurrentRegion(const ProfileDocument& doc, bool is_new, const std::string& name,
                       const std::string& x, const std::string& y, const std::string& width,
                       const std::string& height, char sep, ScanRegion& current) {
  if (is_new) {
    const int number = NextRegionNumber(region_format::NumRegions(doc, sep));
    current.SectionName = region_format::RegionSection(number);
    current.RegionType = region_format::CustomerSlideSection(number - 1);
  }
  current.RegionName = std::string(TrimProfileBlanks(name));
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
  const int regions = region_format::NumRegions(doc, sep);
  std::string count;
  if (is_new) count = IntToText(NextRegionNumber(regions));
  const region_format::RegionFileValues values = region_format::FormFileValues(current, sep);
  const int own = is_new ? regions + 1 : RegionNumber(current.SectionName, sep);
  // The count and the sections disagree: the new region would take over what is there.
  if (is_new && doc.HasSection(current.SectionName)) {
    throw Error(kErrFileAccess, "Cannot add " + current.SectionName +
                                    ": the region file already has a section " +
                                    current.SectionName +
                                    " beyond its count of regions (NumRegions in [ScanRegions]). "
                                    "Please correct the region file.");
  }
  CheckSlideSectionOwned(doc, regions, own, current.SectionName, values.type);
  if (is_new) doc.Write(region_format::kScanRegions, region_format::kNumRegions, count);
  region_format::WriteFileValues(doc, values);
}

std::string FirstWriteMessage(bool is_new) {
  return is_new ? "Error writing ScanRegions in " : "Error writing Region Type in";
}

void DeleteRegion(ProfileDocument& doc, ScanRegion& current, char sep) {
  const std::string& section_name = current.SectionName;
  const int deleted = RegionNumber(section_name, sep);
  const int count = region_format::NumRegions(doc, sep);
  if (count == std::numeric_limits<int16_t>::min()) {
    throw OverflowError().SetKey(region_format::kNumRegionsKey);
  }
  // A region outside 1..NumRegions means the list no longer shows the file; going on would
  // leave the last region beyond the count, out of every list.
  if (deleted < 1 || deleted > count) throw Error(kErrChangedOnDisk, kChangedOnDiskMessage);
  const std::string section = region_format::ToFileText(section_name, "The section name");
  const std::string deleted_type = doc.Read(section, "Type", kUnknown);
  // Renumbering deletes and rewrites region sections and the count's: a slide section of such
  // a name would take another region's values, or the count, with it.
  if (IsRegionFileSection(deleted_type, count)) {
    throw SlideSectionInUse(section_name, deleted_type);
  }

  // How many remaining regions name each slide section, so that a shared one stays while it is
  // in use; and which regions before the deleted one keep theirs, so that renumbering never
  // writes over one of them. Every later region is read now, in the same pass, before anything
  // changes: a region is never lost halfway, and the values are those it had, whatever the
  // renumbering writes meanwhile. The texts stay in the document, which keeps them through its
  // changes.
  static constexpr std::string_view kTypeKey[] = {"Type"};
  SectionNumbers slides(count);
  std::vector<std::string_view> types(count + 1);
  std::vector<int> type_slides(count + 1);
  std::vector<region_format::RegionFileTexts> moved;
  moved.reserve(count - deleted);
  // Renumbering gives the moved regions the slide sections CustomerSlide(deleted - 1) onwards,
  // one per region in moved's order: the slide number each of these names has now, or -1.
  std::vector<int> new_slide_numbers(count - deleted, -1);
  for (int i = 1; i <= count; ++i) {
    if (i == deleted) continue;
    const std::string region = region_format::RegionSection(i);
    if (i < deleted) {
      types[i] = doc.FindKeys(region, kTypeKey)[0].value_or(kUnknown);
    } else {
      types[i] = moved.emplace_back(region_format::FindRegionFileTexts(doc, region)).type;
    }
    if (IsRegionFileSection(types[i], count)) {
      throw SlideSectionInUse(region, types[i]);
    }
    type_slides[i] = slides.Of(types[i]);
    SlideUse& use = slides.Use(type_slides[i]);
    if (i < deleted && use.kept_by == 0) use.kept_by = i;
    ++use.users;
    const int new_slide = NumberedName(types[i], region_format::kCustomerSlidePrefix) - deleted + 1;
    if (new_slide >= 0 && new_slide < count - deleted) {
      new_slide_numbers[new_slide] = type_slides[i];
    }
  }

  // The lengths are converted as a move rounds them, each region's after the check that its
  // new slide section is free.
  std::deque<std::string> converted;  // the lengths that moving rounds
  auto move_length = [&](std::string_view* text) {
    if (std::optional<std::string> rounded = region_format::MovedFileLength(*text, sep)) {
      *text = converted.emplace_back(std::move(*rounded));
    }
  };
  std::string new_type;  // one buffer for the names of every region moved
  ScanRegion last_moved;
  for (int m = deleted + 1; m <= count; ++m) {
    region_format::CustomerSlideSection(m - 2, &new_type);
    const int owner = new_slide_numbers[m - deleted - 1];
    if (owner >= 0 && slides.Use(owner).kept_by != 0) {
      throw Error(kErrFileAccess,
                  "Cannot delete this region: renumbering the regions after it would overwrite "
                  "the slide section " +
                      new_type + " of " + region_format::RegionSection(slides.Use(owner).kept_by) +
                      ".");
    }
    if (m == count) {
      last_moved = region_format::ToUtf8(
          region_format::ReadRegionBytes(doc, region_format::RegionSection(m), sep));
      last_moved.SectionName = region_format::RegionSection(m - 1);
      last_moved.RegionType = new_type;
    }
    region_format::RegionFileTexts& texts = moved[static_cast<size_t>(m - deleted - 1)];
    for (std::string_view* length : {&texts.width, &texts.height, &texts.slide_x, &texts.slide_y,
                                     &texts.slide_afx, &texts.slide_afy}) {
      move_length(length);
    }
  }

  doc.DeleteSection(section);
  const int deleted_slide = slides.Find(deleted_type);
  if (deleted_slide < 0 || slides.Use(deleted_slide).users == 0) doc.DeleteSection(deleted_type);
  doc.Write(region_format::kScanRegions, region_format::kNumRegions, IntToText(count - 1));
  int m = deleted + 1;
  for (const region_format::RegionFileTexts& texts : moved) {
    doc.DeleteSection(region_format::RegionSection(m));
    // The old slide section goes once no remaining region names it.
    SlideUse& old_use = slides.Use(type_slides[m]);
    if (old_use.users > 0 && --old_use.users == 0) doc.DeleteSection(types[m]);
    region_format::CustomerSlideSection(m - 2, &new_type);
    // A name that no region had needs no count: no old slide section of that name is deleted.
    const int new_slide = new_slide_numbers[m - deleted - 1];
    if (new_slide >= 0) ++slides.Use(new_slide).users;
    const std::string height = std::string(texts.height) + std::string(region_format::kSectionEnd);
    const std::string pkg = std::string(texts.slide_pkg) + std::string(region_format::kSectionEnd);
    doc.WriteKeys(region_format::RegionSection(m - 1), {{"Type", new_type},
                                                        {"Name", texts.name},
                                                        {"Custom", texts.custom},
                                                        {"X", texts.x},
                                                        {"Y", texts.y},
                                                        {"W", texts.width},
                                                        {"H", height}});
    doc.WriteKeys(new_type, {{"X", texts.slide_x},
                             {"Y", texts.slide_y},
                             {"AFX", texts.slide_afx},
                             {"AFY", texts.slide_afy},
                             {"PKG", pkg}});
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
  const std::string wanted = UpperCp1252(TrimProfileBlanks(typed));
  static constexpr std::string_view kNameKey[] = {"Name"};
  for (int i = 1; i <= count; ++i) {
    const std::string section = region_format::RegionSection(i);
    if (section == section_name) continue;
    const std::string_view name = doc.FindKeys(section, kNameKey)[0].value_or(kUnknown);
    // Upper case keeps the length, so only a name of the same length can match.
    if (name.size() == wanted.size() && UpperCp1252(name) == wanted) return true;
  }
  return false;
}

}  // namespace quillmap
