#include "RegionalSettings.h"

#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string_view>

namespace xb {

namespace {

// Pattern codes by the POSIX fields. The exact matches: positive (cs_precedes, sep_by_space)
// (1,0) 0, (0,0) 1, (1,1) 2, (0,1) 3; negative (cs_precedes, sep_by_space, sign_posn) as in the
// table at the top of the header. sep_by_space 2 puts the blank between sign and symbol when
// they touch (patterns 12, 13); elsewhere it has no pattern and reads as 0. sign_posn 0 is
// parentheses, 1 sign before all, 2 sign after all, 3 sign just before the symbol, 4 just after.
constexpr int kPositivePatterns[2][3] = {
    /* symbol after  */ {1, 3, 3},
    /* symbol before */ {0, 2, 2},
};
constexpr int kNegativePatterns[2][3][5] = {
    // symbol after the number
    {{4, 5, 7, 6, 7},      // no blank
     {15, 8, 10, 13, 10},  // blank between the number and the symbol (and its sign)
     {4, 5, 7, 13, 7}},    // blank between sign and symbol
    // symbol before the number
    {{0, 1, 3, 1, 2},     // no blank
     {14, 9, 11, 9, 12},  // blank between the symbol (and its sign) and the number
     {0, 1, 3, 1, 12}},   // blank between sign and symbol
};

std::string LocaleNameFor(const char* category) {
  for (const char* variable : {"LC_ALL", category, "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return "C";
}

bool IsCLocale(const std::string& name) {
  return name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0;
}

// Runs `read` while `name` is the calling thread's locale for the categories of `mask`. False
// when the locale is C-like or not installed: the defaults then stand.
template <typename Read>
bool WithLocale(int mask, const std::string& name, Read read) {
  if (IsCLocale(name)) return false;
  locale_t locale = newlocale(mask, name.c_str(), static_cast<locale_t>(nullptr));
  if (locale == static_cast<locale_t>(nullptr)) return false;
  locale_t previous = uselocale(locale);
  read(locale);
  uselocale(previous);
  freelocale(locale);
  return true;
}

void Assign(std::string& to, const char* from) {
  if (from != nullptr && *from != '\0') to = from;
}

// ---------------------------------------------------------------------------------------------
// Money text. The value is a string of decimal digits D (no sign) and the count of its integer
// digits, so that value = 0.D x 10^integerDigits; rounding works on the digits.

struct Decimal {
  bool negative = false;
  std::string digits;
  int integerDigits = 0;

  char DigitAt(long long index) const {
    return index >= 0 && static_cast<size_t>(index) < digits.size() ? digits[index] : '0';
  }
  // Keeps the first `keep` digits, adding one at the last kept place when the first dropped
  // digit is 5 or more.
  void RoundAt(long long keep) {
    const bool up = DigitAt(keep) >= '5';
    if (keep < 0) {
      digits.clear();
      return;
    }
    if (static_cast<size_t>(keep) < digits.size()) digits.resize(static_cast<size_t>(keep));
    if (!up) return;
    digits.append(static_cast<size_t>(keep) - digits.size(), '0');
    size_t i = digits.size();
    while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
    if (i == 0) {
      digits.insert(digits.begin(), '1');
      ++integerDigits;
    } else {
      ++digits[i - 1];
    }
  }
};

void Group(const std::string& whole, const std::string& separator, std::string& out) {
  for (size_t i = 0; i < whole.size(); ++i) {
    if (i > 0 && (whole.size() - i) % 3 == 0) out += separator;
    out.push_back(whole[i]);
  }
}

std::string Place(const std::string& number, bool negative, const RegionalSettings& settings) {
  const std::string& s = settings.currencyString;
  const std::string& n = number;
  if (!negative) {
    switch (settings.currencyFormat) {
      case 1:
        return n + s;
      case 2:
        return s + " " + n;
      case 3:
        return n + " " + s;
      default:
        return s + n;
    }
  }
  switch (settings.negCurrFormat) {
    case 0:
      return "(" + s + n + ")";
    case 2:
      return s + "-" + n;
    case 3:
      return s + n + "-";
    case 4:
      return "(" + n + s + ")";
    case 5:
      return "-" + n + s;
    case 6:
      return n + "-" + s;
    case 7:
      return n + s + "-";
    case 8:
      return "-" + n + " " + s;
    case 9:
      return "-" + s + " " + n;
    case 10:
      return n + " " + s + "-";
    case 11:
      return s + " " + n + "-";
    case 12:
      return s + " -" + n;
    case 13:
      return n + "- " + s;
    case 14:
      return "(" + s + " " + n + ")";
    case 15:
      return "(" + n + " " + s + ")";
    default:
      return "-" + s + n;
  }
}

std::string FormatDecimal(Decimal value, const RegionalSettings& settings) {
  // Drop leading zeros so that "significant" counts from the first non-zero digit.
  size_t lead = 0;
  while (lead < value.digits.size() && value.digits[lead] == '0') ++lead;
  value.digits.erase(0, lead);
  value.integerDigits -= static_cast<int>(lead);
  if (value.digits.empty()) value.integerDigits = 0;
  if (value.digits.size() > 18) value.RoundAt(18);
  value.RoundAt(std::min<long long>(static_cast<long long>(value.integerDigits) + 2, 15));
  // Whole cents: the kept digits, then zeros up to the second decimal.
  std::string cents = value.digits;
  const long long zeros =
      static_cast<long long>(value.integerDigits) + 2 - static_cast<long long>(cents.size());
  if (zeros > 0) cents.append(static_cast<size_t>(zeros), '0');
  if (zeros < 0) cents.clear();  // the value was below a hundredth and rounded away
  size_t first = cents.find_first_not_of('0');
  cents = first == std::string::npos ? "" : cents.substr(first);
  const bool negative = value.negative && !cents.empty();
  if (cents.size() < 3) cents.insert(0, 3 - cents.size(), '0');
  std::string number;
  Group(cents.substr(0, cents.size() - 2), settings.thousandSeparator, number);
  number += settings.decimalSeparator;
  number.append(cents, cents.size() - 2, 2);
  return Place(number, negative, settings);
}

std::mutex gCurrentMutex;
std::optional<RegionalSettings> gCurrent;

}  // namespace

int PositiveCurrencyPattern(int csPrecedes, int sepBySpace) {
  if (csPrecedes < 0 || csPrecedes > 1 || sepBySpace < 0 || sepBySpace > 2) return -1;
  return kPositivePatterns[csPrecedes][sepBySpace];
}

int NegativeCurrencyPattern(int csPrecedes, int sepBySpace, int signPosn) {
  if (csPrecedes < 0 || csPrecedes > 1 || sepBySpace < 0 || sepBySpace > 2 || signPosn < 0 ||
      signPosn > 4)
    return -1;
  return kNegativePatterns[csPrecedes][sepBySpace][signPosn];
}

void ShortDateFormatOf(const std::string& strftimeFormat, std::string& shortDateFormat,
                       std::string& dateSeparator) {
  // The composite conversions first, so that their separators count.
  std::string format;
  for (size_t i = 0; i < strftimeFormat.size(); ++i) {
    if (strftimeFormat[i] == '%' && i + 1 < strftimeFormat.size()) {
      const char next = strftimeFormat[i + 1];
      if (next == 'D' || next == 'F' || next == 'x') {
        format += next == 'F' ? "%Y-%m-%d" : "%m/%d/%y";
        ++i;
        continue;
      }
      format.push_back('%');
      format.push_back(next);
      ++i;
      continue;
    }
    format.push_back(strftimeFormat[i]);
  }
  shortDateFormat.clear();
  dateSeparator.clear();
  int fields = 0;
  std::string between;
  bool quoting = false;  // ASCII letters of the text go between quotes, not to be read as fields
  auto literal = [&](char c) {
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (letter != quoting) shortDateFormat.push_back('"'), quoting = letter;
    shortDateFormat.push_back(c);
    if (fields == 1) between.push_back(c);
  };
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      literal(format[i]);
      continue;
    }
    bool unpadded = false;
    ++i;
    while (i < format.size() &&
           std::string_view("-_0^#EO123456789").find(format[i]) != std::string_view::npos)
      unpadded = unpadded || format[i] == '-', ++i;
    if (i >= format.size()) break;
    const char* field = nullptr;
    switch (format[i]) {
      case 'd':
        field = unpadded ? "d" : "dd";
        break;
      case 'e':
        field = "d";
        break;
      case 'm':
      case 'b':  // a month name has no place in a short date: its number stands in
      case 'B':
      case 'h':
        field = unpadded ? "M" : "MM";
        break;
      case 'y':
        field = "yy";
        break;
      case 'Y':
        field = "yyyy";
        break;
      case '%':
        literal('%');
        break;
      default:
        break;  // day names and the like are left out
    }
    if (field == nullptr) continue;
    if (quoting) shortDateFormat.push_back('"'), quoting = false;
    if (fields == 1) dateSeparator = between;
    ++fields;
    shortDateFormat += field;
  }
  if (quoting) shortDateFormat.push_back('"');
  if (dateSeparator.empty()) dateSeparator = "/";
  if (fields == 0) shortDateFormat = RegionalSettings().shortDateFormat;
}

RegionalSettings ReadRegionalSettings(const std::string& localeName) {
  RegionalSettings settings;
  auto name = [&](const char* category) {
    return localeName.empty() ? LocaleNameFor(category) : localeName;
  };
  WithLocale(LC_MONETARY_MASK, name("LC_MONETARY"), [&](locale_t) {
    const lconv* conv = localeconv();
    Assign(settings.currencyString, conv->currency_symbol);
    const int positive = PositiveCurrencyPattern(conv->p_cs_precedes, conv->p_sep_by_space);
    const int negative =
        NegativeCurrencyPattern(conv->n_cs_precedes, conv->n_sep_by_space, conv->n_sign_posn);
    if (positive >= 0) settings.currencyFormat = positive;
    if (negative >= 0) settings.negCurrFormat = negative;
  });
  WithLocale(LC_NUMERIC_MASK | LC_MONETARY_MASK, name("LC_NUMERIC"), [&](locale_t) {
    const lconv* conv = localeconv();
    // The number separators, as the desktop's money format uses them; a locale without them
    // falls back on its money separators.
    Assign(settings.thousandSeparator, conv->mon_thousands_sep);
    Assign(settings.thousandSeparator, conv->thousands_sep);
    Assign(settings.decimalSeparator, conv->mon_decimal_point);
    Assign(settings.decimalSeparator, conv->decimal_point);
  });
  WithLocale(LC_TIME_MASK, name("LC_TIME"), [&](locale_t locale) {
    ShortDateFormatOf(nl_langinfo_l(D_FMT, locale), settings.shortDateFormat,
                      settings.dateSeparator);
  });
  return settings;
}

RegionalSettings CurrentRegionalSettings() {
  std::lock_guard<std::mutex> lock(gCurrentMutex);
  if (!gCurrent) gCurrent = ReadRegionalSettings("");
  return *gCurrent;
}

void SetCurrentRegionalSettings(const RegionalSettings& settings) {
  std::lock_guard<std::mutex> lock(gCurrentMutex);
  gCurrent = settings;
}

std::string FormatMoney(int64_t amount, const RegionalSettings& settings) {
  Decimal value;
  value.negative = amount < 0;
  const uint64_t magnitude =
      value.negative ? uint64_t(0) - static_cast<uint64_t>(amount) : static_cast<uint64_t>(amount);
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, magnitude);
  value.digits.assign(buffer, result.ptr);
  value.integerDigits = static_cast<int>(value.digits.size()) - 4;  // 1/10000 units
  return FormatDecimal(std::move(value), settings);
}

std::string FormatMoney(double number, const RegionalSettings& settings) {
  if (!std::isfinite(number)) return std::string();
  // 18 significant digits of the exact binary value: "d.ddddddddddddddddde+XX".
  char buffer[40];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(number),
                              std::chars_format::scientific, 17);
  std::string_view text(buffer, static_cast<size_t>(result.ptr - buffer));
  const size_t e = text.find('e');
  Decimal value;
  value.negative = std::signbit(number);
  for (char c : text.substr(0, e))
    if (c != '.') value.digits.push_back(c);
  int exponent = 0;
  std::string_view power = text.substr(e + 1);
  if (!power.empty() && power.front() == '+') power.remove_prefix(1);
  std::from_chars(power.data(), power.data() + power.size(), exponent);
  value.integerDigits = exponent + 1;
  return FormatDecimal(std::move(value), settings);
}

std::string FormatShortDate(int year, int month, int day, const RegionalSettings& settings) {
  const std::string& format = settings.shortDateFormat;
  std::string out;
  auto number = [&](int value, int width) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    if (digits.size() < static_cast<size_t>(width))
      digits.insert(0, static_cast<size_t>(width) - digits.size(), '0');
    out += digits;
  };
  for (size_t i = 0; i < format.size();) {
    const char c = format[i];
    if (c == '"' || c == '\'') {
      const size_t end = format.find(c, i + 1);
      out.append(format, i + 1, (end == std::string::npos ? format.size() : end) - i - 1);
      i = end == std::string::npos ? format.size() : end + 1;
      continue;
    }
    const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    if (lower == 'd' || lower == 'm' || lower == 'y') {
      size_t run = 0;
      while (i + run < format.size() &&
             (format[i + run] | 0x20) == lower)  // the same letter in either case
        ++run;
      if (lower == 'd') number(day, run >= 2 ? 2 : 1);
      if (lower == 'm') number(month, run >= 2 ? 2 : 1);
      if (lower == 'y') {
        if (run <= 2)
          number(year % 100, run == 2 ? 2 : 1);
        else
          number(year, 4);
      }
      i += run;
      continue;
    }
    if (c == '/')
      out += settings.dateSeparator;
    else
      out.push_back(c);
    ++i;
  }
  return out;
}

}  // namespace xb
