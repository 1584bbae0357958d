#include "regions/region_format.h"

#include <charconv>

#include "settings/cp1252.h"
#include "settings/error.h"
#include "settings/number_text.h"

namespace quillmap::region_format {

namespace {

// Most file lengths are whole tens of thousandths of a millimetre in canonical form ("20000",
// "-1500", "0"). For those below 10^13 the millimetre text is the decimal itself, its number is
// value / 1000.0 (both correctly rounded from the same decimal), and a move writes the text back
// unchanged (two roundings stay far below half a unit of the 15th digit). This saves the
// general conversions, which dominate large files.
bool ParseWholeTens(std::string_view text, long long* value) {
  if (text == "0") {
    *value = 0;
    return true;
  }
  const bool negative = !text.empty() && text[0] == '-';
  const std::string_view digits = text.substr(negative ? 1 : 0);
  if (digits.size() < 2 || digits.size() > 13 || digits[0] == '0' || digits.back() != '0') {
    return false;
  }
  long long v = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *value = negative ? -v : v;
  return true;
}

std::string TensToMillimetres(long long value, char sep) {
  long long hundredths = (value < 0 ? -value : value) / 10;
  char buffer[24];
  char* p = buffer + sizeof(buffer);
  *--p = static_cast<char>('0' + hundredths % 10);
  *--p = static_cast<char>('0' + hundredths / 10 % 10);
  *--p = sep;
  long long whole = hundredths / 100;
  do {
    *--p = static_cast<char>('0' + whole % 10);
    whole /= 10;
  } while (whole != 0);
  if (value < 0) *--p = '-';
  return std::string(p, buffer + sizeof(buffer));
}

std::string MillimetresToFile(const std::string& text, char sep) {
  return DoubleToText(TextToDouble(text, sep) * 1000.0, sep);
}

}  // namespace

Length LengthFromFile(std::string_view file_text, char sep) {
  long long tens;
  if (ParseWholeTens(file_text, &tens)) {
    return {TensToMillimetres(tens, sep), true, static_cast<double>(tens) / 1000.0};
  }
  if (!IsNumber(file_text, sep)) return {std::string(file_text), false, 0.0};
  std::string text = FormatValue(TextToDouble(file_text, sep) / 1000.0, sep);
  const double value = TextToDouble(text, sep);
  return {std::move(text), true, value};
}

std::optional<std::string> MovedFileLength(std::string_view file_text, char sep) {
  long long tens;
  if (ParseWholeTens(file_text, &tens) || !IsNumber(file_text, sep)) return std::nullopt;
  return MillimetresToFile(LengthFromFile(file_text, sep).text, sep);
}

Error UnreadableFileError(const std::string& path) {
  return Error(kErrFileRead, "The region file " + path + " cannot be read.");
}

namespace {

// The prefix and the number's decimal digits, built in place: renumbering names two sections
// for every region it moves.
void NumberedSection(std::string_view prefix, long long number, std::string* out) {
  char buffer[48];
  prefix.copy(buffer, prefix.size());
  const auto result = std::to_chars(buffer + prefix.size(), buffer + sizeof(buffer), number);
  out->assign(buffer, result.ptr);
}

}  // namespace

std::string RegionSection(long long number) {
  std::string name;
  NumberedSection(kRegionPrefix, number, &name);
  return name;
}

std::string CustomerSlideSection(long long number) {
  std::string name;
  NumberedSection(kCustomerSlidePrefix, number, &name);
  return name;
}

void CustomerSlideSection(long long number, std::string* out) {
  NumberedSection(kCustomerSlidePrefix, number, out);
}

int NumRegions(const ProfileDocument& doc, char sep) {
  try {
    return TextToInt16(doc.Read(kScanRegions, kNumRegions, "0"), sep);
  } catch (Error& error) {
    throw error.SetKey(kNumRegionsKey);
  }
}

RegionFileTexts FindRegionFileTexts(const ProfileDocument& doc, std::string_view section_name) {
  static constexpr std::string_view kRegionKeys[] = {"Type", "Name", "Custom", "X", "Y", "W", "H"};
  static constexpr std::string_view kSlideKeys[] = {"X", "Y", "AFX", "AFY", "PKG"};
  const auto region = doc.FindKeys(section_name, kRegionKeys);
  RegionFileTexts t;
  t.type = region[0].value_or(kUnknown);
  t.name = region[1].value_or(kUnknown);
  t.custom = region[2].value_or("NO");
  t.x = region[3].value_or("0");
  t.y = region[4].value_or("0");
  t.width = region[5].value_or("0");
  t.height = region[6].value_or("0");
  const auto slide = doc.FindKeys(t.type, kSlideKeys);
  t.slide_x = slide[0].value_or("0");
  t.slide_y = slide[1].value_or("0");
  t.slide_afx = slide[2].value_or("0");
  t.slide_afy = slide[3].value_or("0");
  t.slide_pkg = slide[4].value_or("0");
  return t;
}

ScanRegion ReadRegionFileTexts(const ProfileDocument& doc, std::string_view section_name) {
  const RegionFileTexts t = FindRegionFileTexts(doc, section_name);
  ScanRegion r;
  r.SectionName = std::string(section_name);
  r.RegionType = std::string(t.type);
  r.RegionName = std::string(t.name);
  r.RegionCustom = std::string(t.custom);
  r.RegionX = std::string(t.x);
  r.RegionY = std::string(t.y);
  r.RegionWidth = std::string(t.width);
  r.RegionHeight = std::string(t.height);
  r.SlideX = std::string(t.slide_x);
  r.SlideY = std::string(t.slide_y);
  r.SlideAFX = std::string(t.slide_afx);
  r.SlideAFY = std::string(t.slide_afy);
  r.SlidePKG = std::string(t.slide_pkg);
  return r;
}

ScanRegion ReadRegionBytes(const ProfileDocument& doc, std::string_view section_name, char sep) {
  ScanRegion r = ReadRegionFileTexts(doc, section_name);
  for (std::string* field :
       {&r.RegionWidth, &r.RegionHeight, &r.SlideX, &r.SlideY, &r.SlideAFX, &r.SlideAFY}) {
    *field = LengthFromFile(*field, sep).text;
  }
  return r;
}

RegionFileValues FormFileValues(const ScanRegion& r, char sep) {
  RegionFileValues v;
  v.section = ToFileText(r.SectionName, "The section name");
  v.type = ToFileText(r.RegionType, "The slide section name");
  v.name = ToFileText(r.RegionName, "The name");
  v.custom = ToFileText(r.RegionCustom, "The Custom value");
  v.x = ToFileText(r.RegionX, "The region X value");
  v.y = ToFileText(r.RegionY, "The region Y value");
  v.width = MillimetresToFile(r.RegionWidth, sep);
  v.height = MillimetresToFile(r.RegionHeight, sep);
  v.height += kSectionEnd;
  v.slide_x = MillimetresToFile(r.SlideX, sep);
  v.slide_y = MillimetresToFile(r.SlideY, sep);
  v.slide_afx = MillimetresToFile(r.SlideAFX, sep);
  v.slide_afy = MillimetresToFile(r.SlideAFY, sep);
  v.slide_pkg = ToFileText(r.SlidePKG, "The PKG value");
  v.slide_pkg += kSectionEnd;
  return v;
}

void WriteFileValues(ProfileDocument& doc, const RegionFileValues& v) {
  doc.WriteKeys(v.section, {{"Type", v.type},
                            {"Name", v.name},
                            {"Custom", v.custom},
                            {"X", v.x},
                            {"Y", v.y},
                            {"W", v.width},
                            {"H", v.height}});
  doc.WriteKeys(v.type, {{"X", v.slide_x},
                         {"Y", v.slide_y},
                         {"AFX", v.slide_afx},
                         {"AFY", v.slide_afy},
                         {"PKG", v.slide_pkg}});
}

namespace {

bool IsAscii(std::string_view bytes) {
  for (char c : bytes) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace

std::string ToUtf8(std::string bytes) {
  if (IsAscii(bytes)) return bytes;
  return Cp1252ToUtf8(bytes);
}

std::string ToUtf8(std::string_view bytes) {
  return IsAscii(bytes) ? std::string(bytes) : Cp1252ToUtf8(bytes);
}

ScanRegion ToUtf8(ScanRegion r) {
  for (std::string* field : {&r.SectionName, &r.RegionName, &r.RegionType, &r.RegionCustom,
                             &r.RegionX, &r.RegionY, &r.RegionWidth, &r.RegionHeight, &r.SlideX,
                             &r.SlideY, &r.SlideAFX, &r.SlideAFY, &r.SlidePKG}) {
    *field = ToUtf8(std::move(*field));
  }
  return r;
}

std::string ToFileText(const std::string& utf8, const char* what) {
  std::string bytes;
  if (!Utf8ToCp1252(utf8, &bytes) || bytes.find_first_of("\r\n") != std::string::npos) {
    throw Error(kErrRegionWrite, std::string(what) + " \"" + utf8 +
                                     "\" contains characters that cannot be stored in the "
                                     "region file.");
  }
  return bytes;
}

}  // namespace quillmap::region_format
