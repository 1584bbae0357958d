// Number text and Windows-1252 text on any bytes. One control byte chooses the decimal
// separator; the rest is the text. Each conversion is compared with the C library's own: strtod
// for reading, printf for writing, nearbyint for rounding.
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "fuzz_check.h"
#include "settings/cp1252.h"
#include "settings/error.h"
#include "settings/number_text.h"

namespace {

using quillmap::Error;

bool Digit(char c) { return c >= '0' && c <= '9'; }

// The grammar of a number as "C" text, or "" when `text` is none: blanks, a sign, digits with at
// most one separator, at least one digit, an exponent.
std::string AsCText(std::string_view text, char sep) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  std::string out;
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) out += text[i++];
  int digits = 0;
  for (; i < text.size() && Digit(text[i]); ++i, ++digits) out += text[i];
  if (i < text.size() && text[i] == sep) {
    out += '.';
    for (++i; i < text.size() && Digit(text[i]); ++i, ++digits) out += text[i];
  }
  if (digits == 0) return "";
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    out += 'e';
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) out += text[i++];
    const size_t first = i;
    for (; i < text.size() && Digit(text[i]); ++i) out += text[i];
    if (i == first) return "";
  }
  return i == text.size() ? out : "";
}

template <typename Int, typename Convert>
void CheckRounding(double value, Convert convert) {
  const double rounded = std::nearbyint(value);  // the default mode: ties to even
  const bool fits = rounded >= static_cast<double>(std::numeric_limits<Int>::min()) &&
                    rounded <= static_cast<double>(std::numeric_limits<Int>::max());
  try {
    const Int result = convert();
    FUZZ_CHECK(fits && result == static_cast<Int>(rounded));
  } catch (const Error& e) {
    FUZZ_CHECK(!fits && e.Number() == quillmap::kErrOverflow);
  }
}

std::string Printf(const char* format, double value, char sep) {
  char buffer[512];
  std::snprintf(buffer, sizeof(buffer), format, value);
  std::string text = buffer;
  for (char& c : text) {
    if (c == '.') c = sep;
  }
  return text;
}

void CheckNumber(std::string_view text, char sep) {
  const std::string c_text = AsCText(text, sep);
  double expected = 0;
  bool finite = false;
  if (!c_text.empty()) {
    errno = 0;
    expected = std::strtod(c_text.c_str(), nullptr);
    finite = std::isfinite(expected);
  }
  FUZZ_CHECK(quillmap::IsNumber(text, sep) == finite);
  if (!finite) {
    try {
      quillmap::TextToDouble(text, sep);
      FUZZ_CHECK(false);
    } catch (const Error& e) {
      FUZZ_CHECK(e.Number() == quillmap::kErrTypeMismatch);
    }
    return;
  }
  const double value = quillmap::TextToDouble(text, sep);
  // Below the normal range the program may read zero.
  FUZZ_CHECK(value == expected || (std::fabs(expected) < DBL_MIN && value == 0));

  CheckRounding<int16_t>(value, [&] { return quillmap::TextToInt16(text, sep); });
  CheckRounding<int32_t>(value, [&] { return quillmap::TextToInt32(text, sep); });

  // Fifteen significant digits, read back as the C library reads its own.
  const std::string shortest = quillmap::DoubleToText(value, sep);
  FUZZ_CHECK(quillmap::IsNumber(shortest, sep));
  const double back = quillmap::TextToDouble(shortest, sep);
  FUZZ_CHECK(back == std::strtod(Printf("%.14e", value, '.').c_str(), nullptr));
  FUZZ_CHECK(quillmap::DoubleToText(back, sep) == shortest);
  FUZZ_CHECK(shortest.find(sep == '.' ? ',' : '.') == std::string::npos);

  std::string two_places = Printf("%.2f", value, sep);
  if (value == 0 && two_places[0] == '-') two_places.erase(0, 1);
  FUZZ_CHECK(quillmap::FormatValue(value, sep) == two_places);
}

void CheckCp1252(std::string_view bytes) {
  const std::string utf8 = quillmap::Cp1252ToUtf8(bytes);
  std::string back;
  FUZZ_CHECK(quillmap::Utf8ToCp1252(utf8, &back) && back == bytes);
  std::string as_cp1252 = "untouched";
  if (quillmap::Utf8ToCp1252(bytes, &as_cp1252)) {
    FUZZ_CHECK(quillmap::Cp1252ToUtf8(as_cp1252) == bytes);
  } else {
    FUZZ_CHECK(as_cp1252 == "untouched");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const quillmap::fuzz::Controls controls(data, size, 1);
  const char sep = controls.Byte(0) & 1 ? ',' : '.';
  const std::string_view text = controls.Rest();
  CheckNumber(text, sep);
  CheckCp1252(text);
  return 0;
}
