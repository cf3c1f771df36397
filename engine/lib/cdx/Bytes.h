// Little- and big-endian integers in page buffers, and the byte order of keys.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace xb {

static_assert(std::endian::native == std::endian::little, "page codecs assume little-endian");

inline uint16_t GetLe16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t GetLe32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
inline uint32_t GetBe32(const uint8_t* p) {
  return uint32_t{p[3]} | uint32_t{p[2]} << 8 | uint32_t{p[1]} << 16 | uint32_t{p[0]} << 24;
}
inline void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutBe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// How many bytes at the start of `a` and `b` are equal, at most `length`; eight at a time:
// keys are short and fixed-width, where a library call costs more than the comparison.
inline size_t SharedBytes(const char* a, const char* b, size_t length) {
  size_t i = 0;
  for (; i + 8 <= length; i += 8) {
    uint64_t x, y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    if (x != y) return i + static_cast<size_t>(__builtin_ctzll(x ^ y) >> 3);  // little-endian
  }
  while (i < length && a[i] == b[i]) ++i;
  return i;
}

// Unsigned byte order of the first `length` bytes of `a` and `b` (-1, 0 or 1).
inline int CompareBytes(const char* a, const char* b, size_t length) {
  size_t i = SharedBytes(a, b, length);
  if (i == length) return 0;
  return static_cast<uint8_t>(a[i]) < static_cast<uint8_t>(b[i]) ? -1 : 1;
}

// How many of the last bytes of `key` equal `byte`, at most `length`; eight at a time.
inline size_t TrailingBytes(const char* key, size_t length, uint8_t byte) {
  uint64_t pattern = 0x0101010101010101ull * byte;
  size_t n = length;
  for (; n >= 8; n -= 8) {
    uint64_t x;
    std::memcpy(&x, key + n - 8, 8);
    if (x != pattern) return length - n + static_cast<size_t>(__builtin_clzll(x ^ pattern) >> 3);
  }
  while (n > 0 && static_cast<uint8_t>(key[n - 1]) == byte) --n;
  return length - n;
}

// memcpy for the few bytes of a key part, whose lengths vary from key to key: the library call
// (and the string instructions a compiler puts in its place) costs more than the copy. The
// source and destination must not overlap.
inline void CopyShort(char* to, const char* from, size_t length) {
  if (length >= 8) {
    for (size_t i = 0; i + 8 < length; i += 8) std::memcpy(to + i, from + i, 8);
    std::memcpy(to + length - 8, from + length - 8, 8);
  } else if (length >= 4) {
    std::memcpy(to, from, 4);
    std::memcpy(to + length - 4, from + length - 4, 4);
  } else if (length > 0) {
    to[0] = from[0];
    to[length / 2] = from[length / 2];
    to[length - 1] = from[length - 1];
  }
}

}  // namespace xb
