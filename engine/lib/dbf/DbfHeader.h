// The DBF header codec: bytes to table structure and back, no I/O.
//
// Table header (32 bytes), all integers little-endian:
//   off  size  meaning
//   0    1     version: 0x03 no memo, 0xF5 FoxPro with FPT memo (others read, never written)
//   1    3     date of the last change: year - 1900, month, day
//   4    4     record count N (u32)
//   8    2     header length H (u16): where record 1 starts
//   10   2     record length R (u16), the deletion flag included
//   12   16    reserved, kept as found
//   28   1     table flags: 0x01 the production index file exists
//   29   1     code-page mark, kept as found (0 in tables we create)
//   30   2     reserved
// Field descriptors (32 bytes each, from offset 32, until a 0x0D or H):
//   0    11    name, ASCII, 0x00-padded (read without regard to case)
//   11   1     type letter: C N F D L M (written); I B Y T @ G P read
//   12   4     offset of the field in the record (written; never trusted when read: offsets
//              are the running sum of the widths, the first field at 1)
//   16   1     width (a C field may use byte 17 as the high byte of its width; read only)
//   17   1     decimals
//   18   14    flags and reserved, zero when written
// Then 0x0D and one 0x00, so H = 32 * fields + 34 for tables we create.
// Records follow at H, R bytes each: byte 0 is ' ' (live) or '*' (deleted), then the fields
// back to back. One 0x1A follows the last record.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Status.h"
#include "expr/Expression.h"

namespace xb {

inline constexpr uint8_t kDbfNoMemo = 0x03;
inline constexpr uint8_t kDbfFptMemo = 0xF5;
inline constexpr uint8_t kDbfFlagIndex = 0x01;
inline constexpr uint8_t kDbfEndOfFile = 0x1A;

struct DbfHeader {
  uint8_t version = kDbfNoMemo;
  uint32_t recordCount = 0;
  uint32_t headerLength = 0;
  uint32_t recordLength = 0;
  uint8_t flags = 0;
  std::vector<FieldInfo> fields;
  std::string raw;  // the first 32 bytes as read (reserved bytes and code page are kept)

  bool HasMemoFields() const;
  // Encodes bytes 0-31 for writing: `raw` with version, date, count, lengths and flags set.
  std::string EncodeHead(int year, int month, int day) const;
};

// Parses the header and descriptors of a table file of `fileSize` bytes, given at least its
// first `bytes.size()` bytes (all of H when the file has them). Fails, with a message in
// words, for a file that is not a table or whose structure is damaged: too short, unknown
// version, no fields, a descriptor past H, a field of width 0, or fields that do not fit in the
// record length. The record count is returned as stored; see DbfTable for its repair.
Result<DbfHeader> ParseDbfHeader(std::string_view bytes, uint64_t fileSize);

// Builds the header of a new, empty table (count 0) with `fields` (offsets are computed).
// Fails for an invalid definition: no fields, a bad name, type or width, a duplicate name.
Result<DbfHeader> NewDbfHeader(std::vector<FieldInfo> fields);
// The bytes of the header and descriptors of a new table: H bytes.
std::string EncodeDbfHeader(const DbfHeader& header, int year, int month, int day);

}  // namespace xb
