// Numbers as text, the way xBase tables and expressions write and read them. Every function
// here is independent of the process locale (the window sets one; a decimal comma must never
// leak into a table or a key).
#pragma once

#include <string>
#include <string_view>

namespace xb {

// The value of an N or F field as stored: blanks around an optional sign, digits and a decimal
// point. Blank or unreadable text is 0.
double ParseStoredNumber(std::string_view text);

// VAL(): the number at the start of `text` after leading blanks (sign, digits, decimal point,
// exponent); 0 when there is none. What follows the number is ignored.
double ParseLeadingNumber(std::string_view text);

// `value` with exactly `decimals` digits after the point (none and no point for 0) into `out`,
// rounded half away from zero at the 15 significant digits a double holds, so 1.005 gives
// "1.01" as a user expects. No leading blanks; "-" only for a non-zero result. Infinite or
// NaN: empty. Reuses the buffer of `out`.
void FormatFixed(double value, int decimals, std::string& out);

// STR(value, length, decimals) into `out`: right-aligned in `length` characters. When the text
// does not fit, fewer decimals are tried; when even the whole number does not fit, `length`
// asterisks. A length below 1 gives empty text.
void FormatStr(double value, int length, int decimals, std::string& out);

}  // namespace xb
