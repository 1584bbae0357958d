#include "regions/region_format.h"

#include "settings/cp1252.h"
#include "settings/error.h"
#include "settings/number_text.h"

namespace quillmap::region_format {

namespace {

// The last key of each section carries a line break, which leaves an empty line after it.
constexpr std::string_view kSectionEnd = "\r\n";

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

Length LengthFromFile(std::string file_text, char sep) {
  long long tens;
  if (ParseWholeTens(file_text, &tens)) {
    return {TensToMillimetres(tens, sep), true, static_cast<double>(tens) / 1000.0};
  }
  if (!IsNumber(file_text, sep)) return {std::move(file_text), false, 0.0};
  std::string text = FormatValue(TextToDouble(file_text, sep) / 1000.0, sep);
  const double value = TextToDouble(text, sep);
  return {std::move(text), true, value};
}

std::string MovedFileLength(std::string file_text, char sep) {
  long long tens;
  if (ParseWholeTens(file_text, &tens) || !IsNumber(file_text, sep)) return file_text;
  return MillimetresToFile(LengthFromFile(std::move(file_text), sep).text, sep);
}

Error UnreadableFileError(const std::string& path) {
  return Error(kErrFileRead, "The region file " + path + " cannot be read.");
}

std::string RegionSection(long long number) { return "Region" + IntToText(number); }

std::string CustomerSlideSection(long long number) { return "CustomerSlide" + IntToText(number); }

int NumRegions(const ProfileDocument& doc, char sep) {
  return TextToInt16(doc.Read(kScanRegions, kNumRegions, "0"), sep);
}

ScanRegion ReadRegionFileTexts(const ProfileDocument& doc, std::string_view section_name,
                               std::optional<std::string> type) {
  ScanRegion r;
  const std::string_view s = section_name;
  r.SectionName = std::string(section_name);
  r.RegionType = type ? std::move(*type) : doc.Read(s, "Type", kUnknown);
  r.RegionName = doc.Read(s, "Name", kUnknown);
  r.RegionCustom = doc.Read(s, "Custom", "NO");
  r.RegionX = doc.Read(s, "X", "0");
  r.RegionY = doc.Read(s, "Y", "0");
  r.RegionWidth = doc.Read(s, "W", "0");
  r.RegionHeight = doc.Read(s, "H", "0");
  const std::string_view slide = r.RegionType;
  r.SlideX = doc.Read(slide, "X", "0");
  r.SlideY = doc.Read(slide, "Y", "0");
  r.SlideAFX = doc.Read(slide, "AFX", "0");
  r.SlideAFY = doc.Read(slide, "AFY", "0");
  r.SlidePKG = doc.Read(slide, "PKG", "0");
  return r;
}

ScanRegion ReadRegionBytes(const ProfileDocument& doc, std::string_view section_name, char sep) {
  ScanRegion r = ReadRegionFileTexts(doc, section_name);
  for (std::string* field :
       {&r.RegionWidth, &r.RegionHeight, &r.SlideX, &r.SlideY, &r.SlideAFX, &r.SlideAFY}) {
    *field = LengthFromFile(std::move(*field), sep).text;
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

RegionFileValues MovedFileValues(ScanRegion r, char sep) {
  RegionFileValues v;
  v.section = std::move(r.SectionName);
  v.type = std::move(r.RegionType);
  v.name = std::move(r.RegionName);
  v.custom = std::move(r.RegionCustom);
  v.x = std::move(r.RegionX);
  v.y = std::move(r.RegionY);
  v.width = MovedFileLength(std::move(r.RegionWidth), sep);
  v.height = MovedFileLength(std::move(r.RegionHeight), sep);
  v.height += kSectionEnd;
  v.slide_x = MovedFileLength(std::move(r.SlideX), sep);
  v.slide_y = MovedFileLength(std::move(r.SlideY), sep);
  v.slide_afx = MovedFileLength(std::move(r.SlideAFX), sep);
  v.slide_afy = MovedFileLength(std::move(r.SlideAFY), sep);
  v.slide_pkg = std::move(r.SlidePKG);
  v.slide_pkg += kSectionEnd;
  return v;
}

void WriteFileValues(ProfileDocument& doc, const RegionFileValues& v) {
  doc.Write(v.section, "Type", v.type);
  doc.Write(v.section, "Name", v.name);
  doc.Write(v.section, "Custom", v.custom);
  doc.Write(v.section, "X", v.x);
  doc.Write(v.section, "Y", v.y);
  doc.Write(v.section, "W", v.width);
  doc.Write(v.section, "H", v.height);
  doc.Write(v.type, "X", v.slide_x);
  doc.Write(v.type, "Y", v.slide_y);
  doc.Write(v.type, "AFX", v.slide_afx);
  doc.Write(v.type, "AFY", v.slide_afy);
  doc.Write(v.type, "PKG", v.slide_pkg);
}

std::string UpperCp1252(std::string_view bytes) {
  std::string upper(bytes);
  for (char& c : upper) {
    const auto b = static_cast<unsigned char>(c);
    unsigned char u = b;
    if (b >= 'a' && b <= 'z') {
      u = b - 0x20;
    } else if (b >= 0xE0 && b <= 0xFE && b != 0xF7) {  // à..þ without ÷
      u = b - 0x20;
    } else if (b == 0x9A || b == 0x9C || b == 0x9E) {  // š œ ž
      u = b - 0x10;
    } else if (b == 0xFF) {  // ÿ
      u = 0x9F;
    }
    c = static_cast<char>(u);
  }
  return upper;
}

std::string FoldSectionName(std::string_view name) {
  constexpr std::string_view kBlanks = " \t\r\v\f";
  const size_t first = name.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return "";
  return UpperCp1252(name.substr(first, name.find_last_not_of(kBlanks) - first + 1));
}

std::string ToUtf8(std::string bytes) {
  for (char c : bytes) {
    if (static_cast<unsigned char>(c) >= 0x80) return Cp1252ToUtf8(bytes);
  }
  return bytes;
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
