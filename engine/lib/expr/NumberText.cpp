#include "NumberText.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace xb {

namespace {

// Powers of ten that are exact in a double, for the fast path of ParseStoredNumber.
constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Reads a number with std::from_chars, which takes neither a leading "+" nor the locale.
double FromChars(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0.0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  (void)end;
  if (error != std::errc()) return 0.0;
  return value;
}

// Length of the number (sign, digits, point, exponent) at the start of `text`, 0 when none.
size_t ScanNumber(std::string_view text) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < text.size() && IsDigit(text[j])) {
      while (j < text.size() && IsDigit(text[j])) ++j;
      i = j;
    }
  }
  return i;
}

}  // namespace

double ParseStoredNumber(std::string_view text) {
  // Fast path for the usual "   -12.50": at most 15 significant digits make an integer that a
  // double holds exactly, and one division by an exact power of ten is then correctly rounded,
  // the same value from_chars would give.
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && text[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  uint64_t mantissa = 0;
  int digits = 0;
  int fraction = 0;
  while (i < n && IsDigit(text[i])) mantissa = mantissa * 10 + (text[i++] - '0'), ++digits;
  if (i < n && text[i] == '.') {
    ++i;
    while (i < n && IsDigit(text[i])) {
      mantissa = mantissa * 10 + (text[i++] - '0');
      ++digits;
      ++fraction;
    }
  }
  while (i < n && text[i] == ' ') ++i;
  if (i == n && digits <= 15) {
    double value = static_cast<double>(mantissa) / kExactPowersOfTen[fraction];
    return negative ? -value : value;
  }
  // Long digit strings, exponents, stray characters: take the leading number, if any.
  size_t start = 0;
  while (start < n && text[start] == ' ') ++start;
  return ParseLeadingNumber(text.substr(start));
}

double ParseLeadingNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  text.remove_prefix(i);
  size_t length = ScanNumber(text);
  if (length == 0) return 0.0;
  return FromChars(text.substr(0, length));
}

void FormatFixed(double value, int decimals, std::string& out) {
  out.clear();
  if (!std::isfinite(value)) return;
  if (decimals < 0) decimals = 0;
  // 15 significant digits in scientific notation: "-d.dddddddddddddde+XX".
  char buffer[64];
  auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
  if (error != std::errc()) return;
  const char* p = buffer;
  bool negative = false;
  if (*p == '-') negative = true, ++p;
  char digits[15];
  int count = 0;
  for (; p < end && *p != 'e'; ++p)
    if (IsDigit(*p) && count < 15) digits[count++] = *p;
  if (p == end || count != 15) return;
  ++p;
  if (p < end && *p == '+') ++p;
  int exponent = 0;
  std::from_chars(p, end, exponent);
  // The digits stand for 0.d1d2...d15 x 10^(exponent + 1). `out` becomes the result as a
  // whole number of 10^-decimals: the digits before the rounding place, rounded by the
  // first one dropped.
  const long long keep = static_cast<long long>(exponent) + 1 + decimals;
  if (keep <= 0) {
    out.push_back(keep == 0 && digits[0] >= '5' ? '1' : '0');
  } else if (keep >= 15) {
    out.append(digits, 15);
    out.append(static_cast<size_t>(keep - 15), '0');
  } else {
    out.append(digits, static_cast<size_t>(keep));
    if (digits[keep] >= '5') {
      size_t j = out.size();
      while (j > 0 && out[j - 1] == '9') out[--j] = '0';
      if (j == 0)
        out.insert(out.begin(), '1');
      else
        ++out[j - 1];
    }
  }
  const size_t places = static_cast<size_t>(decimals);
  if (out.size() <= places) out.insert(0, places + 1 - out.size(), '0');
  size_t lead = 0;
  while (lead + 1 < out.size() - places && out[lead] == '0') ++lead;
  out.erase(0, lead);
  const bool zero = out.find_first_not_of('0') == std::string::npos;
  if (places > 0) out.insert(out.size() - places, 1, '.');
  if (negative && !zero) out.insert(out.begin(), '-');
}

void FormatStr(double value, int length, int decimals, std::string& out) {
  out.clear();
  if (length < 1) return;
  if (decimals < 0) decimals = 0;
  if (decimals > length) decimals = length;
  if (std::isfinite(value)) {
    for (int d = decimals; d >= 0; --d) {
      FormatFixed(value, d, out);
      if (out.size() <= static_cast<size_t>(length)) {
        out.insert(0, static_cast<size_t>(length) - out.size(), ' ');
        return;
      }
    }
  }
  out.assign(static_cast<size_t>(length), '*');
}

}  // namespace xb
