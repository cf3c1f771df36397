#include "cdx/KeySorter.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace xb {
namespace {

// Below this many entries a range is finished by insertion sort.
constexpr size_t kSmallRange = 24;
// From this many entries on a range is split on two bytes at a time.
constexpr size_t kWideRange = 65536;

// How many of the first `limit` bytes of `a` and `b` are equal.
size_t CommonLength(const char* a, const char* b, size_t limit) {
  size_t n = 0;
  while (n + 8 <= limit) {
    uint64_t x, y;
    std::memcpy(&x, a + n, 8);
    std::memcpy(&y, b + n, 8);
    if (x != y) break;
    n += 8;
  }
  while (n < limit && a[n] == b[n]) ++n;
  return n;
}

// Whether the first `length` bytes of `a` sort after those of `b` as unsigned bytes.
bool After(const char* a, const char* b, size_t length) {
  size_t n = 0;
  for (; n + 8 <= length; n += 8) {
    uint64_t x, y;
    std::memcpy(&x, a + n, 8);
    std::memcpy(&y, b + n, 8);
    if (x != y) return __builtin_bswap64(x) > __builtin_bswap64(y);
  }
  for (; n < length; ++n)
    if (a[n] != b[n]) return static_cast<uint8_t>(a[n]) > static_cast<uint8_t>(b[n]);
  return false;
}

// memcpy for the short entries, which a call to the library would cost more than it copies.
inline void CopyEntry(char* to, const char* from, size_t width) {
  size_t i = 0;
  for (; i + 8 <= width; i += 8) std::memcpy(to + i, from + i, 8);
  if (i + 4 <= width) {
    std::memcpy(to + i, from + i, 4);
    i += 4;
  }
  for (; i < width; ++i) to[i] = from[i];
}

}  // namespace

KeySorter::KeySorter(int keyLength, size_t expected)
    : FKeyLength(static_cast<size_t>(keyLength)), FWidth(FKeyLength + 4) {
  if (keyLength < 1 || keyLength > kMaxKeyLength)
    throw std::invalid_argument("index key length outside 1-252");
  FEntries.reserve(expected * FWidth);
}

char* KeySorter::Append(uint32_t recno) {
  size_t at = FCount * FWidth;
  FEntries.resize(at + FWidth);
  char* entry = FEntries.data() + at;
  for (size_t i = 0; i < 4; ++i) entry[FKeyLength + i] = static_cast<char>(recno >> (24 - 8 * i));
  ++FCount;
  return entry;
}

void KeySorter::DropLast() {
  --FCount;
  FEntries.resize(FCount * FWidth);
}

uint32_t KeySorter::Recno(size_t i) const {
  const auto* p = reinterpret_cast<const uint8_t*>(FEntries.data() + i * FWidth + FKeyLength);
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

void KeySorter::Sort() {
  // Most significant byte first: each range is split by its byte at `depth` into at most 256
  // buckets, moved into the other of two buffers (moving in sequential runs costs far less
  // than swapping entries in place once the range outgrows the caches), and each bucket is
  // then sorted on the next byte. Bytes that every entry of a range shares are skipped at
  // once, short ranges are finished by insertion sort. The ranges still to do are kept in a
  // list, not on the call stack, so that long keys with many levels cannot exhaust it.
  struct Range {
    size_t begin, count, depth;
    bool aside;  // its entries are in the second buffer
  };
  if (FCount < 2) return;
  const size_t width = FWidth;
  std::vector<char> other(FCount * width);
  char* const main = FEntries.data();
  char* const spare = other.data();
  std::vector<Range> todo{Range{0, FCount, 0, false}};
  char held[kMaxKeyLength + 4];
  std::vector<size_t> counts(65536), next(65536);
  while (!todo.empty()) {
    Range range = todo.back();
    todo.pop_back();
    char* from = (range.aside ? spare : main) + range.begin * width;
    char* home = main + range.begin * width;
    size_t depth = range.depth;
    if (range.count < kSmallRange) {
      if (range.aside) std::memcpy(home, from, range.count * width);
      for (size_t i = 1; i < range.count; ++i) {
        CopyEntry(held, home + i * width, width);
        size_t j = i;
        while (j > 0 && After(home + (j - 1) * width + depth, held + depth, width - depth)) --j;
        if (j == i) continue;
        std::memmove(home + (j + 1) * width, home + j * width, (i - j) * width);
        CopyEntry(home + j * width, held, width);
      }
      continue;
    }
    size_t common = width - depth;
    for (size_t i = 1; i < range.count && common > 0; ++i)
      common = CommonLength(from + depth, from + i * width + depth, common);
    depth += common;
    if (depth == width) {  // every entry the same
      if (range.aside) std::memcpy(home, from, range.count * width);
      continue;
    }
    // Ranges too big for the caches are split on two bytes at once, so that the passes over
    // them, the costly ones, are fewer.
    const bool wide = range.count >= kWideRange && depth + 2 <= width;
    const size_t buckets = wide ? 65536 : 256;
    std::fill(counts.begin(), counts.begin() + static_cast<std::ptrdiff_t>(buckets), 0);
    auto digit = [&](const char* entry) -> size_t {
      const auto* p = reinterpret_cast<const uint8_t*>(entry + depth);
      return wide ? size_t{p[0]} << 8 | p[1] : p[0];
    };
    for (size_t i = 0; i < range.count; ++i) ++counts[digit(from + i * width)];
    size_t at = 0;
    for (size_t k = 0; k < buckets; ++k) {
      next[k] = at;
      at += counts[k];
    }
    char* to = (range.aside ? main : spare) + range.begin * width;
    for (size_t i = 0; i < range.count; ++i) {
      const char* entry = from + i * width;
      CopyEntry(to + next[digit(entry)]++ * width, entry, width);
    }
    const size_t step = wide ? 2 : 1;
    size_t start = 0;
    for (size_t k = 0; k < buckets; ++k) {
      size_t count = counts[k];
      if (count == 0) continue;
      if (count == 1 || depth + step == width) {
        if (!range.aside) std::memcpy(home + start * width, to + start * width, count * width);
      } else {
        todo.push_back(Range{range.begin + start, count, depth + step, !range.aside});
      }
      start += count;
    }
  }
}

}  // namespace xb
