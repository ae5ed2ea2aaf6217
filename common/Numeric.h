#pragma once

#include <cstdint>
#include <string_view>

namespace tavox {

// Rounds to the nearest whole number, an exact half to the even neighbour.
double RoundHalfEven(double x) noexcept;

// Rounds half to even and converts; raises the overflow error (6) when the
// result does not fit (NaN included).
std::int32_t ToInt32HalfEven(double x);
std::int16_t ToInt16HalfEven(double x);

// Locale-independent leading-number reading of a text: blanks, tabs and line
// feeds are skipped wherever they stand, "." is the decimal point, a sign and
// an exponent (e or d) are optional; the longest leading part that forms a
// number is taken. A text that does not begin with a number reads 0.
// Raises the overflow error (6) for a number beyond the double range; a
// number too small for a double reads 0.
double LeadingNumber(std::string_view text);

// Locale-aware conversion of a whole text to a number, using the decimal
// point (and digit grouping) of the C++ global locale; blanks around the
// number are allowed. Raises the type-mismatch error (13) for a text that is
// not a number and the overflow error (6) beyond the double range.
double LocaleTextToDouble(std::string_view text);

// LocaleTextToDouble rounded half to even to 32 bits; overflow error (6)
// outside the 32-bit range.
std::int32_t LocaleTextToInt32(std::string_view text);

// Number of places where `sought` occurs in `within`, exact comparison,
// overlapping occurrences counted ("**" occurs twice in "***"). An empty
// `sought` occurs nowhere.
std::int32_t CountOccurrences(std::string_view within, std::string_view sought) noexcept;

}  // namespace tavox
