// Lengths as text in the user's locale: the conversions between text and numbers, the
// "#0.00" format and the 0.01 mm tolerance comparisons. The decimal separator is always
// handed in, so nothing here depends on the process locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillmap {

// Optional blanks, optional sign, digits with at most one decimal separator `sep`
// (and an optional exponent); at least one digit.
bool IsNumber(std::string_view text, char sep);

// The number that `text` denotes; throws Error 13 "Type mismatch" when it is not a number.
double TextToDouble(std::string_view text, char sep);

// Rounded to the nearest whole number, an exact half to the even neighbour. Not a number:
// Error 13; outside the type's range: Error 6 "Overflow".
int16_t TextToInt16(std::string_view text, char sep);
int32_t TextToInt32(std::string_view text, char sep);
int16_t DoubleToInt16(double value);
int32_t DoubleToInt32(double value);

// Rounded to 15 significant digits, no trailing zeros, no separator when nothing follows it,
// no thousands separators, no exponent for the magnitudes the files hold.
std::string DoubleToText(double value, char sep);

std::string IntToText(long long value);

// "#0.00": at least one digit before the separator, exactly two after it.
std::string FormatValue(double value, char sep);

// True when Value - Bound (or Bound - Value) is 0.01 or more, computed in double precision;
// false when either is not a number.
bool ExceedsBound(const double& value, const double& bound);
bool FallsBelowBound(const double& value, const double& bound);

}  // namespace quillmap
