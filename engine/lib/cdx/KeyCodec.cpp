#include "cdx/KeyCodec.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace xb {

int KeyCodec::FillByte(KeyKind kind) {
  switch (kind) {
    case KeyKind::kCharacter:
      return 0x20;
    case KeyKind::kNumeric:
    case KeyKind::kDate:
      return 0x00;
    case KeyKind::kLogical:
      return -1;
  }
  return 0x20;
}

std::string KeyCodec::Character(std::string_view text, int length) {
  std::string key(text.substr(0, static_cast<size_t>(length)));
  key.resize(static_cast<size_t>(length), ' ');
  return key;
}

std::string KeyCodec::Number(double value) {
  if (value == 0.0) value = 0.0;  // -0.0 would sort just below zero
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  if (bits & (uint64_t{1} << 63))
    bits = ~bits;
  else
    bits |= uint64_t{1} << 63;
  std::string key(8, '\0');
  for (int i = 0; i < 8; ++i) key[static_cast<size_t>(i)] = static_cast<char>(bits >> (56 - 8 * i));
  return key;
}

double KeyCodec::DecodeNumber(std::string_view key) {
  uint64_t bits = 0;
  for (size_t i = 0; i < 8 && i < key.size(); ++i)
    bits = (bits << 8) | static_cast<uint8_t>(key[i]);
  if (bits & (uint64_t{1} << 63))
    bits &= ~(uint64_t{1} << 63);
  else
    bits = ~bits;
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

int64_t KeyCodec::JulianDay(int year, int month, int day) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return 0;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  int length = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  if (day > length) return 0;
  // Days from 0001-01-01 (day 1), by the usual shifted-year formula.
  int64_t y = year - (month <= 2 ? 1 : 0);
  int64_t era = y / 400;
  int64_t yoe = y - era * 400;
  int64_t mp = (month + 9) % 12;
  int64_t doy = (153 * mp + 2) / 5 + day - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  int64_t fromEpoch = era * 146097 + doe - 719468;  // days since 1970-01-01
  return fromEpoch + 2440588;
}

void KeyCodec::CivilFromJulian(int64_t julian, int& year, int& month, int& day) {
  int64_t z = julian - 2440588 + 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t y = yoe + era * 400;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2 ? 1 : 0));
}

std::string KeyCodec::Date(std::string_view yyyymmdd) {
  if (yyyymmdd.size() < 8) return Number(0.0);
  int parts[3] = {0, 0, 0};
  const int widths[3] = {4, 2, 2};
  size_t at = 0;
  for (int p = 0; p < 3; ++p) {
    for (int i = 0; i < widths[p]; ++i, ++at) {
      char c = yyyymmdd[at];
      if (c < '0' || c > '9') return Number(0.0);
      parts[p] = parts[p] * 10 + (c - '0');
    }
  }
  return Number(static_cast<double>(JulianDay(parts[0], parts[1], parts[2])));
}

std::string KeyCodec::DecodeDate(std::string_view key) {
  double julian = DecodeNumber(key);
  if (!(julian >= 1721426.0 && julian <= 5373484.0) || julian != std::floor(julian))
    return std::string(8, ' ');
  int year, month, day;
  CivilFromJulian(static_cast<int64_t>(julian), year, month, day);
  char text[9];
  std::snprintf(text, sizeof text, "%04d%02d%02d", year, month, day);
  return text;
}

std::string KeyCodec::Logical(bool value) {
  return value ? "T" : "F";
}

}  // namespace xb
