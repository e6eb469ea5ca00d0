#pragma once
// Number reading and writing the way the web implementation's colour code does it:
// parseInt with radix 16, a decimal prefix reader, and Number.prototype.toFixed.

#include <string>
#include <string_view>

namespace dv {

// parseInt(units, 16): leading JavaScript white space, one sign, an optional 0x/0X,
// then hexadecimal digits up to the first other unit. NaN when no digit is read.
double jsParseHexInt(std::u16string_view units);

// The numeric prefix of a decimal text: digits, then optionally "." and more digits.
// NaN when there is neither an integer nor a fraction digit.
double parseDecimalNumber(std::string_view text);

// x.toFixed(digits): fixed-point text of the exact binary value, ties rounded up.
// A negative digit count is treated as 0.
std::string jsToFixed(int digits, double x);

} // namespace dv
