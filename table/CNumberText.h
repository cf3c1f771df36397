// Numbers in C notation (a "." before the decimals, no grouping), whatever the process locale
// says. The window runs under the user's locale, which may use a decimal comma; the record set
// applies the user's separators itself where a text is meant for the user, and everything that
// goes to the engine (field images, keys, conditions) must stay in C notation.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// As printf's "%.*g" with `digits` significant digits (1 to 17) in the C locale.
std::string CGeneralText(double value, int digits = 15);

// As printf's "%.*f" with `decimals` decimals (0 to 60) in the C locale.
std::string CFixedText(double value, int decimals);

// `text` read as a whole (optional sign, digits, point, exponent); none for anything else,
// including infinities and NaN.
std::optional<double> CReadNumber(std::string_view text);

// The number at the start of `text` after blanks, as strtod reads it in the C locale; 0 when
// there is none.
double CLeadingNumber(std::string_view text);
