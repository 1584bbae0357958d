#include "settings/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <system_error>

#include "settings/error.h"

namespace quillmap {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

size_t SkipDigits(std::string_view text, size_t pos) {
  while (pos < text.size() && IsDigit(text[pos])) ++pos;
  return pos;
}

// Whether a number that double cannot hold is too large rather than too small, from the place
// of its first significant digit.
bool IsOverflow(std::string_view int_digits, std::string_view frac_digits,
                std::string_view exp_text) {
  long long place;
  const size_t int_first = int_digits.find_first_not_of('0');
  if (int_first != std::string_view::npos) {
    place = static_cast<long long>(int_digits.size() - int_first);
  } else {
    const size_t frac_first = frac_digits.find_first_not_of('0');
    if (frac_first == std::string_view::npos) return false;  // zero
    place = -static_cast<long long>(frac_first);
  }
  // strtol saturates at LONG_MAX, so the exponent is compared with the place, never added.
  const long exponent =
      exp_text.empty() ? 0 : std::strtol(std::string(exp_text).c_str(), nullptr, 10);
  return exponent > -place;
}

// Parses the grammar of IsNumber and converts with std::from_chars, which reads the "C" form
// whatever the process locale is. False for text that is not a number and for a value beyond
// the range of double; a value too small for double becomes zero.
bool ParseNumber(std::string_view text, char sep, double* out) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  text = text.substr(begin, end - begin);

  size_t pos = 0;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  const size_t int_begin = pos;
  pos = SkipDigits(text, pos);
  const std::string_view int_digits = text.substr(int_begin, pos - int_begin);
  std::string_view frac_digits;
  if (pos < text.size() && text[pos] == sep) {
    const size_t frac_begin = ++pos;
    pos = SkipDigits(text, pos);
    frac_digits = text.substr(frac_begin, pos - frac_begin);
  }
  if (int_digits.empty() && frac_digits.empty()) return false;
  std::string_view exp_text;
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    const size_t exp_begin = ++pos;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
    const size_t digits_begin = pos;
    pos = SkipDigits(text, pos);
    if (pos == digits_begin) return false;
    exp_text = text.substr(exp_begin, pos - exp_begin);
  }
  if (pos != text.size()) return false;

  std::string normal;
  normal.reserve(text.size() + 4);
  if (negative) normal += '-';
  normal += int_digits.empty() ? std::string_view("0") : int_digits;
  normal += '.';
  normal += frac_digits;
  normal += "0";
  if (!exp_text.empty()) {
    normal += 'e';
    normal += exp_text;
  }
  double value = 0;
  const auto [ptr, ec] = std::from_chars(normal.data(), normal.data() + normal.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Beyond double either way: too large is not a number, too small is zero.
    if (IsOverflow(int_digits, frac_digits, exp_text)) return false;
    *out = negative ? -0.0 : 0.0;
    return true;
  }
  if (ec != std::errc() || ptr != normal.data() + normal.size() || !std::isfinite(value)) {
    return false;
  }
  *out = value;
  return true;
}

// Round half to even, without relying on the floating-point environment's rounding mode. Both
// the distance from trunc() and std::round are exact, so halves are found exactly.
double RoundHalfEven(double value) {
  if (std::fabs(value - std::trunc(value)) == 0.5) return 2.0 * std::round(value / 2.0);
  return std::round(value);
}

template <typename Int>
Int RoundToInt(double value) {
  if (!std::isfinite(value)) throw OverflowError();
  const double rounded = RoundHalfEven(value);
  if (rounded < static_cast<double>(std::numeric_limits<Int>::min()) ||
      rounded > static_cast<double>(std::numeric_limits<Int>::max())) {
    throw OverflowError();
  }
  return static_cast<Int>(rounded);
}

void UseSeparator(std::string* text, char sep) {
  for (char& c : *text) {
    if (c == '.') c = sep;
  }
}

}  // namespace

bool IsNumber(std::string_view text, char sep) {
  double ignored;
  return ParseNumber(text, sep, &ignored);
}

double TextToDouble(std::string_view text, char sep) {
  double value;
  if (!ParseNumber(text, sep, &value)) throw TypeMismatchError();
  return value;
}

int16_t TextToInt16(std::string_view text, char sep) {
  return DoubleToInt16(TextToDouble(text, sep));
}

int32_t TextToInt32(std::string_view text, char sep) {
  return DoubleToInt32(TextToDouble(text, sep));
}

int16_t DoubleToInt16(double value) { return RoundToInt<int16_t>(value); }

int32_t DoubleToInt32(double value) { return RoundToInt<int32_t>(value); }

std::string DoubleToText(double value, char sep) {
  if (value == 0) return "0";  // also -0
  if (!std::isfinite(value)) return std::isnan(value) ? "nan" : (value < 0 ? "-inf" : "inf");

  // 15 significant digits, correctly rounded: "-d.dddddddddddddde+XX".
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::scientific, 14);
  const std::string_view scientific(buffer, result.ptr - buffer);
  const size_t e = scientific.find('e');
  const bool negative = scientific[0] == '-';
  std::string digits;
  for (char c : scientific.substr(0, e)) {
    if (IsDigit(c)) digits += c;
  }
  digits.erase(digits.find_last_not_of('0') + 1);  // the first digit is never 0
  const int exponent = std::atoi(std::string(scientific.substr(e + 1)).c_str());

  std::string text = negative ? "-" : "";
  if (exponent >= 15 || exponent < -5) {
    text += digits[0];
    if (digits.size() > 1) {
      text += '.';
      text.append(digits, 1, std::string::npos);
    }
    text += exponent < 0 ? "e-" : "e+";
    text += std::to_string(std::abs(exponent));
  } else if (exponent < 0) {
    text += "0.";
    text.append(static_cast<size_t>(-exponent - 1), '0');
    text += digits;
  } else {
    const size_t int_length = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= int_length) {
      text += digits;
      text.append(int_length - digits.size(), '0');
    } else {
      text.append(digits, 0, int_length);
      text += '.';
      text.append(digits, int_length, std::string::npos);
    }
  }
  UseSeparator(&text, sep);
  return text;
}

std::string IntToText(long long value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
  return std::string(buffer, result.ptr);
}

std::string FormatValue(double value, char sep) {
  // to_chars rounds the exact binary value correctly, ties to even.
  char buffer[400];
  const auto result =
      std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::fixed, 2);
  std::string text(buffer, result.ptr);
  // A negative number keeps its sign however small ("-0.00"); zero itself has none.
  if (value == 0 && text[0] == '-') text.erase(0, 1);
  UseSeparator(&text, sep);
  return text;
}

bool ExceedsBound(const double& value, const double& bound) { return value - bound >= 0.01; }

bool FallsBelowBound(const double& value, const double& bound) { return bound - value >= 0.01; }

}  // namespace quillmap
