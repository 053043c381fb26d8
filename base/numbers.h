#ifndef MAV_BASE_NUMBERS_H_
#define MAV_BASE_NUMBERS_H_

#include <cstdint>
#include <string>
#include <string_view>

// Number rules shared by every subsystem: amounts are doubles, roundings send exact
// halves to the even neighbour, fixed-width integers never wrap.
namespace base {

// x rounded to a whole number; an exact half goes to the even neighbour (2.5 -> 2, 3.5 -> 4).
double RoundHalfEven(double x);

// x rounded to `decimals` places: x is scaled by 10^decimals, rounded half to even and scaled
// back, so 0.125 -> 0.12 and 0.375 -> 0.38.
double RoundHalfEven(double x, int decimals);

// Conversions to fixed-width integers: rounded half to even first.
// Throws AgentError kOverflow when the rounded value does not fit.
std::uint8_t ToByte(double x);  // 0..255
std::int16_t ToInt16(double x);
std::int32_t ToInt32(double x);

// Checks that an integer result fits 16 or 32 bits; throws kOverflow otherwise.
std::int16_t CheckedInt16(std::int64_t x);
std::int32_t CheckedInt32(std::int64_t x);

// The amount pattern "0.00": at least one integer digit, exactly two decimals, no thousands
// separator, "-" before negative values. The value is first read as its 15-significant-digit
// decimal text and the third decimal rounds half away from zero (1.005 -> "1.01"); a
// negative value that rounds to zero prints "0.00".
std::string FormatAmount(double x);

// The pattern "00": a whole number with at least two digits after any sign (7 -> "07",
// 123 -> "123", -5 -> "-05").
std::string FormatTwoDigits(std::int64_t x);

// The shortest decimal text of x with at most 15 significant digits ("0.3" for 0.1 + 0.2,
// "1234.5", "-7", "1E+20" for 1e20), as a text conversion of the platform writes it.
std::string ShortestText(double x);

// x passed through its shortest text and back: x with at most 15 significant digits.
double RoundTrip15(double x);

// Strict text to number: optional blanks, sign, digits, one decimal point, exponent.
// Throws AgentError kTypeMismatch for anything else (including the empty text).
double ParseNumber(std::string_view text);

// The numeric value of the leading part of a text, as a lenient reader takes it: blanks
// are skipped, a sign, digits (blanks between them ignored), one decimal point and an
// exponent ("E" or "D", either case, with optional sign) are read, reading stops at the first
// other character. "12abc" -> 12, "abc" -> 0, "1 2x" -> 12, "1E+15" -> 1e15, "2D3" -> 2000.
// Throws AgentError kOverflow when the value exceeds the range of a double.
double LeadingNumber(std::string_view text);

}  // namespace base

#endif  // MAV_BASE_NUMBERS_H_
