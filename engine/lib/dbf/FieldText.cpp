#include "dbf/FieldText.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace xb {
namespace {

bool IsLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int64_t LeSigned(std::string_view b, size_t n) {
  uint64_t v = 0;
  for (size_t i = 0; i < n; ++i) v |= uint64_t(uint8_t(b[i])) << (8 * i);
  if (n < 8 && (v >> (8 * n - 1)) & 1) v |= ~uint64_t(0) << (8 * n);
  return int64_t(v);
}

}  // namespace

double ParseNumber(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\0')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\0')) --e;
  if (b == e || e - b > 64) return 0.0;
  char buf[72];
  size_t n = 0;
  // Only the characters of a plain decimal number: no hex, infinities or NaN from garbage.
  for (size_t i = b; i < e; ++i) {
    char c = text[i];
    bool ok = (c >= '0' && c <= '9') || c == '.' || ((c == '-' || c == '+') && n == 0) ||
              ((c == 'e' || c == 'E') && n > 0) ||
              ((c == '-' || c == '+') && n > 0 && (buf[n - 1] == 'e' || buf[n - 1] == 'E'));
    if (!ok) break;
    buf[n++] = c;
  }
  const char* from = buf;
  if (n > 0 && buf[0] == '+') ++from;
  double v = 0.0;
  auto [end, error] = std::from_chars(from, buf + n, v);
  if (end == from || error != std::errc() || !std::isfinite(v)) return 0.0;
  return v;
}

std::optional<double> ReadNumber(std::string_view text) {
  const char* from = text.data();
  const char* to = from + text.size();
  if (from != to && *from == '+') ++from;
  // from_chars also reads "inf" and "nan", which no field's text may hold.
  for (const char* p = from; p != to; ++p)
    if (!((*p >= '0' && *p <= '9') || *p == '.' || *p == '-' || *p == '+' || *p == 'e' ||
          *p == 'E'))
      return {};
  double v = 0.0;
  auto [end, error] = std::from_chars(from, to, v);
  if (from == to || end != to || error != std::errc() || !std::isfinite(v)) return {};
  return v;
}

std::optional<std::string> FormatNumber(double value, int width, int decimals) {
  if (!std::isfinite(value) || width < 1 || width > 40 || decimals < 0 || decimals > 18)
    return std::nullopt;
  static const double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8, 1e9,
                                  1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};
  double scaled = value * kPow10[decimals];
  if (std::fabs(scaled) < 9e15) {
    // Exact integer digits: no printf on the hot path of bulk appends.
    long long units = std::llround(scaled);
    bool negative = units < 0;
    unsigned long long u = negative ? 0ULL - (unsigned long long)units : (unsigned long long)units;
    char digits[24];
    int n = 0;
    do {
      digits[n++] = char('0' + u % 10);
      u /= 10;
    } while (u != 0 || n <= decimals);
    std::string text;
    if (negative) text.push_back('-');
    for (int i = n - 1; i >= 0; --i) {
      text.push_back(digits[i]);
      if (i == decimals && decimals > 0) text.push_back('.');
    }
    if (int(text.size()) > width) return std::nullopt;
    return std::string(size_t(width) - text.size(), ' ') + text;
  }
  double rounded = std::round(scaled) / kPow10[decimals];
  char buf[400];
  auto [end, error] =
      std::to_chars(buf, buf + sizeof buf, rounded, std::chars_format::fixed, decimals);
  size_t n = size_t(end - buf);
  if (error != std::errc() || n > size_t(width)) return std::nullopt;
  return std::string(size_t(width) - n, ' ') + std::string(buf, n);
}

bool FormatDecimalText(std::string_view text, int width, int decimals, char* out) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  size_t intBegin = i;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
  size_t intEnd = i;
  size_t fracBegin = i, fracEnd = i;
  if (i < text.size() && text[i] == '.') {
    fracBegin = ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    fracEnd = i;
  }
  if (i != text.size() || (intEnd == intBegin && fracEnd == fracBegin)) return false;
  if (decimals < 0 || width < 1 || width > 64) return false;
  while (intBegin < intEnd && text[intBegin] == '0') ++intBegin;
  // digits = integer part + exactly `decimals` fraction digits, then rounded half away from 0.
  char digits[160];
  size_t n = 0;
  if (intEnd - intBegin + size_t(decimals) + 1 > sizeof digits) return false;
  digits[n++] = '0';  // room for a carry
  for (size_t k = intBegin; k < intEnd; ++k) digits[n++] = text[k];
  for (int k = 0; k < decimals; ++k) {
    size_t at = fracBegin + size_t(k);
    digits[n++] = at < fracEnd ? text[at] : '0';
  }
  size_t next = fracBegin + size_t(decimals);
  if (next < fracEnd && text[next] >= '5') {
    size_t k = n;
    while (k-- > 0) {
      if (digits[k] == '9') {
        digits[k] = '0';
      } else {
        ++digits[k];
        break;
      }
    }
  }
  size_t first = 0;
  size_t intDigits = n - size_t(decimals);  // the carry slot included
  while (first + 1 < intDigits && digits[first] == '0') ++first;
  bool zero = true;
  for (size_t k = first; k < n; ++k) zero = zero && digits[k] == '0';
  if (zero) negative = false;
  char result[200];
  size_t len = 0;
  if (negative) result[len++] = '-';
  for (size_t k = first; k < intDigits; ++k) result[len++] = digits[k];
  if (decimals > 0) {
    result[len++] = '.';
    for (size_t k = intDigits; k < n; ++k) result[len++] = digits[k];
  }
  if (len > size_t(width)) return false;
  std::memset(out, ' ', size_t(width) - len);
  std::memcpy(out + (size_t(width) - len), result, len);
  return true;
}

std::string NormalizeDate(std::string_view text) {
  std::string empty(8, ' ');
  if (text.size() < 8) return empty;
  for (size_t i = 0; i < 8; ++i)
    if (text[i] < '0' || text[i] > '9') return empty;
  int y = std::atoi(std::string(text.substr(0, 4)).c_str());
  int m = (text[4] - '0') * 10 + (text[5] - '0');
  int d = (text[6] - '0') * 10 + (text[7] - '0');
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || m < 1 || m > 12 || d < 1) return empty;
  int days = kDays[m - 1] + (m == 2 && IsLeap(y) ? 1 : 0);
  if (d > days) return empty;
  return std::string(text.substr(0, 8));
}

bool ParseLogical(std::string_view text) {
  for (char c : text) {
    if (c == ' ') continue;
    return c == 'T' || c == 't' || c == 'Y' || c == 'y';
  }
  return false;
}

double FieldNumber(const FieldInfo& field, std::string_view record) {
  if (field.offset < 0 || size_t(field.offset) + size_t(field.width) > record.size()) return 0.0;
  std::string_view t = record.substr(size_t(field.offset), size_t(field.width));
  switch (field.type) {
    case 'I':
      if (t.size() == 4) return double(LeSigned(t, 4));
      if (t.size() == 8) return double(LeSigned(t, 8)) / std::pow(10.0, field.decimals);
      return 0.0;
    case 'B':
      if (t.size() == 8) {
        uint64_t bits = uint64_t(LeSigned(t, 8));
        double v;
        std::memcpy(&v, &bits, 8);
        return std::isfinite(v) ? v : 0.0;
      }
      return 0.0;
    case 'Y':
      if (t.size() == 8) return double(LeSigned(t, 8)) / 10000.0;
      return 0.0;
    case 'L':
      return ParseLogical(t) ? 1.0 : 0.0;
    default:
      return ParseNumber(t);
  }
}

}  // namespace xb
