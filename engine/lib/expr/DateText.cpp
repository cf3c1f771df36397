#include "DateText.h"

namespace xb {

namespace {

enum class Order { kMonthDayYear, kYearMonthDay, kDayMonthYear };

struct Layout {
  Order order;
  char separator;
};

Layout LayoutOf(int formatCode) {
  switch (formatCode) {
    case 1:
      return {Order::kYearMonthDay, '.'};
    case 2:
    case 3:
      return {Order::kDayMonthYear, '/'};
    case 4:
      return {Order::kDayMonthYear, '.'};
    case 5:
    case 6:
      return {Order::kDayMonthYear, '-'};
    default:
      return {Order::kMonthDayYear, '/'};
  }
}

bool IsLeap(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Days from 1970-01-01 in the proleptic Gregorian calendar (the well-known era-based method).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2);
}

const int64_t kFirstDay = DaysFromCivil(1, 1, 1);
const int64_t kLastDay = DaysFromCivil(9999, 12, 31);

void PutDigits(std::string& out, int value, int count) {
  char digits[8];
  for (int i = count - 1; i >= 0; --i) digits[i] = static_cast<char>('0' + value % 10), value /= 10;
  out.append(digits, static_cast<size_t>(count));
}

}  // namespace

bool IsValidDate(int year, int month, int day) {
  static constexpr int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  int last = kDaysInMonth[month - 1] + (month == 2 && IsLeap(year) ? 1 : 0);
  return day <= last;
}

int64_t DayNumberOf(std::string_view date) {
  if (date.size() != 8) return kNoDay;
  int parts[3] = {0, 0, 0};
  static constexpr int kWidths[3] = {4, 2, 2};
  size_t at = 0;
  for (int p = 0; p < 3; ++p) {
    for (int i = 0; i < kWidths[p]; ++i, ++at) {
      char c = date[at];
      if (c < '0' || c > '9') return kNoDay;
      parts[p] = parts[p] * 10 + (c - '0');
    }
  }
  if (!IsValidDate(parts[0], parts[1], parts[2])) return kNoDay;
  return DaysFromCivil(parts[0], static_cast<unsigned>(parts[1]), static_cast<unsigned>(parts[2]));
}

void DateOfDayNumber(int64_t day, std::string& out) {
  out.clear();
  if (day == kNoDay || day < kFirstDay || day > kLastDay) {
    out.assign(kEmptyDate);
    return;
  }
  int64_t y;
  unsigned m, d;
  CivilFromDays(day, y, m, d);
  PutDigits(out, static_cast<int>(y), 4);
  PutDigits(out, static_cast<int>(m), 2);
  PutDigits(out, static_cast<int>(d), 2);
}

void FormatDate(std::string_view date, int formatCode, bool century, std::string& out) {
  out.clear();
  const Layout layout = LayoutOf(formatCode);
  const bool empty = DayNumberOf(date) == kNoDay;
  std::string_view year = empty ? kEmptyDate.substr(0, 4) : date.substr(0, 4);
  if (!century) year.remove_prefix(2);
  std::string_view month = empty ? kEmptyDate.substr(0, 2) : date.substr(4, 2);
  std::string_view day = empty ? kEmptyDate.substr(0, 2) : date.substr(6, 2);
  std::string_view parts[3];
  switch (layout.order) {
    case Order::kMonthDayYear:
      parts[0] = month, parts[1] = day, parts[2] = year;
      break;
    case Order::kYearMonthDay:
      parts[0] = year, parts[1] = month, parts[2] = day;
      break;
    case Order::kDayMonthYear:
      parts[0] = day, parts[1] = month, parts[2] = year;
      break;
  }
  out.append(parts[0]);
  out.push_back(layout.separator);
  out.append(parts[1]);
  out.push_back(layout.separator);
  out.append(parts[2]);
}

void ParseDate(std::string_view text, int formatCode, int epoch, std::string& out) {
  out.assign(kEmptyDate);
  int values[3] = {0, 0, 0};
  int widths[3] = {0, 0, 0};
  int found = 0;
  size_t i = 0;
  while (found < 3 && i < text.size()) {
    if (text[i] < '0' || text[i] > '9') {
      ++i;
      continue;
    }
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      if (widths[found] == 9) return;  // no date part is that long
      values[found] = values[found] * 10 + (text[i] - '0');
      ++widths[found];
      ++i;
    }
    ++found;
  }
  if (found < 3) return;
  int year, month, day, yearWidth;
  switch (LayoutOf(formatCode).order) {
    case Order::kMonthDayYear:
      month = values[0], day = values[1], year = values[2], yearWidth = widths[2];
      break;
    case Order::kYearMonthDay:
      year = values[0], month = values[1], day = values[2], yearWidth = widths[0];
      break;
    default:
      day = values[0], month = values[1], year = values[2], yearWidth = widths[2];
      break;
  }
  int64_t fullYear = year;
  if (yearWidth <= 2) {
    fullYear += (static_cast<int64_t>(epoch) / 100) * 100;
    if (fullYear < epoch) fullYear += 100;
  }
  if (fullYear < 1 || fullYear > 9999) return;
  year = static_cast<int>(fullYear);
  if (!IsValidDate(year, month, day)) return;
  out.clear();
  PutDigits(out, year, 4);
  PutDigits(out, month, 2);
  PutDigits(out, day, 2);
}

}  // namespace xb
