// Field values as text: how the engine reads numbers, dates and logicals out of a record and
// forms the text it stores. Lenient in what it reads (see each function), strict in what it
// writes. Nothing here depends on the process locale: the window sets one, and a decimal comma
// must never reach a table or a key.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "expr/Expression.h"

namespace xb {

// The number an N or F field's text holds: blanks trimmed, leading zeros and left-aligned text
// accepted; blank text, asterisks or text that does not start as a number read as 0. Trailing
// text after the number is ignored.
double ParseNumber(std::string_view text);

// `text` read as a whole as a C-notation number (optional sign, digits, point, exponent), or
// none when anything else is in it or the value is not finite.
std::optional<double> ReadNumber(std::string_view text);

// The text a number takes in a field `width` wide with `decimals` decimals: right-aligned,
// rounded half away from zero, a zero before the point when |x| < 1. None when it does not
// fit (the value is then refused, never written as asterisks).
std::optional<std::string> FormatNumber(double value, int width, int decimals);

// Writes the decimal text `text` (C notation without an exponent: sign, digits, point,
// digits; no blanks) into `out` as FormatNumber would write its value, working on the digits
// (exact, no binary rounding). False when the text is not of that form or does not fit.
bool FormatDecimalText(std::string_view text, int width, int decimals, char* out);

// A D field's text when it is a valid date YYYYMMDD (year 0001-9999, real month and day);
// otherwise, including all blanks, the empty date of 8 blanks.
std::string NormalizeDate(std::string_view text);

// T t Y y are true; everything else (F f N n ? blank) is false.
bool ParseLogical(std::string_view text);

// The number a field of the record image `record` holds: N, F and C text by ParseNumber; the
// binary I (4 bytes, or 8 with decimals), B and Y read as stored; L as 1 or 0; 0 otherwise.
double FieldNumber(const FieldInfo& field, std::string_view record);

}  // namespace xb
