// Index keys as the compact compound format stores them: fixed-length byte strings that sort
// as unsigned bytes, whatever the type of the key expression.
//
//   type        key length   bytes                                             fill byte
//   character   result width the text, padded with blanks                      0x20
//   numeric     8            IEEE-754 double, big-endian; sign bit set when     0x00
//                            the value is positive, all 64 bits inverted
//                            when it is negative (so bytes sort like values)
//   date        8            the Julian day number, encoded as a numeric key;  0x00
//                            the empty date is 0.0 (80 00 .. 00), below any day
//   logical     1            'T' or 'F' (a blank field indexes as 'F')         none: trailing
//                                                                              bytes never
//                                                                              compressed
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace xb {

enum class KeyKind : char {
  kCharacter = 'C',
  kNumeric = 'N',
  kDate = 'D',
  kLogical = 'L',
};

class KeyCodec {
 public:
  // The byte a leaf drops from the end of its keys and puts back when it reads them; -1 for
  // logical keys, which keep every byte.
  static int FillByte(KeyKind kind);

  // `text` cut or blank-padded to `length` bytes.
  static std::string Character(std::string_view text, int length);
  static std::string Number(double value);
  // `yyyymmdd` as stored in a DBF date field; blanks or anything unreadable is the empty date.
  static std::string Date(std::string_view yyyymmdd);
  static std::string Logical(bool value);

  static double DecodeNumber(std::string_view key);
  // "YYYYMMDD", or 8 blanks for the empty date (and for any key that is not a whole day).
  static std::string DecodeDate(std::string_view key);

  // Day number of the proleptic Gregorian calendar as the format counts it (2000-01-01 is
  // 2451545); 0 for a date that does not exist.
  static int64_t JulianDay(int year, int month, int day);
  static void CivilFromJulian(int64_t julian, int& year, int& month, int& day);
};

}  // namespace xb
