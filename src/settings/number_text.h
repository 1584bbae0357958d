// Lengths as text in the user's locale: the conversions between text and numbers, the
// "#0.00" format and the 0.01 mm tolerance comparisons. The decimal separator is always
// handed in, so nothing here depends on the process locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillmap {

// Optional blanks (space or tab) around an optional sign, digits with at most one decimal
// separator `sep`, and an optional exponent ("e" or "E", optional sign, digits); at least one
// digit before the exponent. No thousands separators, no "nan" or "inf", and no value too large
// for double ("1e999"); a value too small for double ("1e-999") is zero.
bool IsNumber(std::string_view text, char sep);

// The number that `text` denotes; throws Error 13 "Type mismatch" when it is not a number.
double TextToDouble(std::string_view text, char sep);

// Rounded to the nearest whole number, an exact half to the even neighbour. Not a number:
// Error 13; outside the type's range (or a value that is not finite): Error 6 "Overflow".
int16_t TextToInt16(std::string_view text, char sep);
int32_t TextToInt32(std::string_view text, char sep);
int16_t DoubleToInt16(double value);
int32_t DoubleToInt32(double value);

// Rounded to 15 significant digits, no trailing zeros, no separator when nothing follows it,
// no thousands separators; -0 gives "0". Magnitudes from 1e-5 up to below 1e15 are written
// without an exponent; beyond that "1.5e+20", "2e-7". Not finite: "nan", "inf", "-inf".
std::string DoubleToText(double value, char sep);

std::string IntToText(long long value);

// "#0.00": at least one digit before the separator, exactly two after it, rounded to the
// nearest hundredth of the double's exact binary value (so 2.675, stored just below, gives 2.67
// and 12.345, stored just above, 12.35; an exact binary half such as 0.125 goes to the even
// neighbour, 0.12). A negative number keeps its minus sign, also where it rounds to zero
// (-0.004 gives -0.00); zero, -0 included, has none. Not finite: "nan", "inf", "-inf".
std::string FormatValue(double value, char sep);

// True when Value - Bound (or Bound - Value) is 0.01 or more, computed in double precision;
// false when either is not a number.
bool ExceedsBound(const double& value, const double& bound);
bool FallsBelowBound(const double& value, const double& bound);

// The decimal separator of the user's LC_NUMERIC environment (on Windows, of the user's
// regional settings), read without changing the process locale; "." when that locale cannot be
// had. The only place where the core looks at
// the environment for it: front ends without Qt call it once and hand the separator on.
std::string GetDecimalSpecifier();

}  // namespace quillmap
