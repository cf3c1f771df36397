// The 1024-byte header that starts the tag directory (file offset 0) and every tag.
//
//   off   size  field
//   0     4     root node offset, LE
//   4     4     head of the free-page list, LE (directory only; 0 or FFFFFFFF = empty)
//   8     4     change counter, BE (directory only; raised per update while shared)
//   12    2     key length, LE (directory: 10, the tag names)
//   14    1     options: 0x01 unique, 0x08 FOR clause, 0x20 compact, 0x40 compound,
//                        0x80 structure (directory only, required there by other readers)
//   15    1     signature, 01
//   16    486   reserved, written as zeros (other writers leave marks in 16-23)
//   502   2     order, LE: 0 ascending, 1 descending (the tree is stored ascending either way)
//   504   2     key expression length including its NUL = where the FOR text starts in
//               the pool
//   506   2     FOR expression length including its NUL (1 without a FOR)
//   508   2     0
//   510   2     key expression length including its NUL
//   512   512   pool: key expression, NUL, FOR expression, NUL, zeros
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "Status.h"

namespace xb {

struct IndexHeader {
  static constexpr size_t kSize = 1024;
  static constexpr uint8_t kUnique = 0x01;
  static constexpr uint8_t kHasFor = 0x08;
  static constexpr uint8_t kCompact = 0x20;
  static constexpr uint8_t kCompound = 0x40;
  static constexpr uint8_t kStructure = 0x80;

  uint32_t root = 0;
  uint32_t freeList = 0;
  uint32_t counter = 0;
  static constexpr uint16_t kMaxKeyLength = 240;
  uint16_t keyLength = 0;
  uint8_t options = kCompact | kCompound;
  uint8_t signature = 1;
  bool descending = false;
  std::string keyExpression;
  std::string forExpression;

  bool Unique() const { return options & kUnique; }

  // A directory header for a new file.
  static IndexHeader Directory();
  // Reads a header. Fails when a field is out of the range any reader could use (key length
  // 0 or above 240, expressions running out of the pool).
  static Result<IndexHeader> Decode(const uint8_t* bytes);
  // Fails when the expressions do not fit in the pool.
  Status Encode(uint8_t* bytes) const;
};

}  // namespace xb
