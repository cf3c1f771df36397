#include "dbf/FieldText.h"

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
  buf[n] = '\0';
  char* end = nullptr;
  double v = std::strtod(buf, &end);
  if (end == buf || !std::isfinite(v)) return 0.0;
  return v;
}

std::optional<std::string> FormatNumber(double value, int width, int decimals) {
  if (!std::isfinite(value) || width < 1 || width > 40 || decimals < 0 || decimals > 18)
    return std::nullopt;
  double scale = std::pow(10.0, decimals);
  double rounded = std::round(value * scale) / scale;
  if (rounded == 0.0) rounded = 0.0;  // no "-0.00"
  char buf[400];
  int n = std::snprintf(buf, sizeof buf, "%*.*f", width, decimals, rounded);
  if (n < 0 || n > width) return std::nullopt;
  return std::string(buf, size_t(n));
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
