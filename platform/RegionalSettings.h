// The user's regional settings as the program uses them: how money and short dates look. They
// are read from the POSIX locale and carry the meanings the program's users know from their
// desktop's regional settings: a positive currency pattern 0-3 and a negative one 0-15.
//
// Positive patterns (S the currency symbol, 1.1 the number):  0 S1.1  1 1.1S  2 S 1.1  3 1.1 S
// Negative patterns:
//    0 (S1.1)    1 -S1.1     2 S-1.1     3 S1.1-     4 (1.1S)    5 -1.1S     6 1.1-S   7 1.1S-
//    8 -1.1 S    9 -S 1.1   10 1.1 S-   11 S 1.1-   12 S -1.1   13 1.1- S   14 (S 1.1)  15 (1.1 S)
#pragma once

#include <cstdint>
#include <string>

namespace xb {

struct RegionalSettings {
  std::string currencyString = "$";
  int currencyFormat = 0;  // positive pattern, 0-3
  int negCurrFormat = 1;   // negative pattern, 0-15
  std::string thousandSeparator = ",";
  std::string decimalSeparator = ".";
  // Letters d, M (or m) and y stand for day, month and year ("dd" two digits, "yyyy" four);
  // "/" stands for the date separator; anything else is written as it is.
  std::string shortDateFormat = "d/MM/yyyy";
  std::string dateSeparator = "/";

  bool operator==(const RegionalSettings&) const = default;
};

// The settings of a locale: `localeName` for every category, or, when empty, the locale the
// environment chooses for each category (LC_ALL, else LC_MONETARY, LC_NUMERIC or LC_TIME,
// else LANG), as setlocale(LC_ALL, "") would. The C and POSIX locales (C.UTF-8 too), and a
// locale that is not installed, give the defaults above for their categories.
RegionalSettings ReadRegionalSettings(const std::string& localeName = "");

// The currency patterns of the POSIX monetary fields (p_cs_precedes, p_sep_by_space;
// n_cs_precedes, n_sep_by_space, n_sign_posn), or -1 when a field is unspecified (CHAR_MAX) or
// out of range. Combinations no pattern shows exactly get the nearest one.
int PositiveCurrencyPattern(int csPrecedes, int sepBySpace);
int NegativeCurrencyPattern(int csPrecedes, int sepBySpace, int signPosn);

// A strftime date format (nl_langinfo(D_FMT)) as a short date format, and the separator it
// uses (the text between its first two fields; "/" when there is none): "%d.%m.%Y" gives
// "dd.MM.yyyy" and ".".
void ShortDateFormatOf(const std::string& strftimeFormat, std::string& shortDateFormat,
                       std::string& dateSeparator);

// The settings the whole process uses. Until SetCurrentRegionalSettings is called, those of
// ReadRegionalSettings(""), read at the first call. Safe to use from several threads.
RegionalSettings CurrentRegionalSettings();
void SetCurrentRegionalSettings(const RegionalSettings& settings);

// Money text of a fixed-point amount counting 1/10000 of the currency unit: exactly two
// decimals, the integer digits grouped by three, symbol and sign placed by the patterns (an
// unknown pattern counts as the default). The value is first taken to 18 significant digits,
// then rounded at the second decimal, a 5 or more in the third decimal rounding the magnitude
// up (12.3450 gives 12.35, -12.3450 gives -12.35); at most 15 significant digits are kept, the
// rest written as zeros. A result of 0.00 is never written as negative.
std::string FormatMoney(int64_t amount, const RegionalSettings& settings);
// The same for a double, from its exact binary value (1.005 is 1.00499999... and gives 1.00).
// Infinite or NaN: empty text.
std::string FormatMoney(double value, const RegionalSettings& settings);

// A date in the short date format, with the date separator for "/".
std::string FormatShortDate(int year, int month, int day, const RegionalSettings& settings);

}  // namespace xb
