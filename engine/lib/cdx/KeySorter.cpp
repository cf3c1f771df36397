#include "cdx/KeySorter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include <sys/mman.h>

#include "cdx/Bytes.h"

namespace xb {
namespace {

// Below this many entries a range is finished by insertion sort.
constexpr size_t kSmallRange = 24;
// The most buckets one split makes, and the most bytes it takes.
constexpr size_t kMaxBuckets = 4096;
constexpr size_t kSplitBytes = 6;

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

void KeySorter::Free::operator()(char* p) const {
  std::free(p);
}

KeySorter::Buffer KeySorter::Allocate(size_t bytes) {
  // Big buffers are asked for in huge pages where the system has them: filling tens of
  // megabytes page by page costs a fault per 4 KiB otherwise.
  constexpr size_t kHuge = size_t{2} << 20;
  char* p = nullptr;
  if (bytes < 2 * kHuge) {
    p = static_cast<char*>(std::malloc(std::max<size_t>(bytes, 1)));
  } else {
    size_t rounded = (bytes + kHuge - 1) / kHuge * kHuge;
    p = static_cast<char*>(std::aligned_alloc(kHuge, rounded));
#ifdef MADV_HUGEPAGE
    if (p) (void)::madvise(p, rounded, MADV_HUGEPAGE);
#endif
  }
  if (!p) throw std::bad_alloc();
  return Buffer(p);
}

KeySorter::KeySorter(int keyLength, size_t expected)
    : FKeyLength(static_cast<size_t>(keyLength)), FWidth(FKeyLength + 4) {
  if (keyLength < 1 || keyLength > kMaxKeyLength)
    throw std::invalid_argument("index key length outside 1-252");
  FCapacity = std::max<size_t>(expected, 16);
  FEntries = Allocate(FCapacity * FWidth);
}

char* KeySorter::Append(uint32_t recno) {
  if (FCount == FCapacity) {
    Buffer larger = Allocate(2 * FCapacity * FWidth);
    std::memcpy(larger.get(), FEntries.get(), FCount * FWidth);
    FEntries = std::move(larger);
    FCapacity *= 2;
  }
  char* entry = FEntries.get() + FCount * FWidth;
  for (size_t i = 0; i < 4; ++i) entry[FKeyLength + i] = static_cast<char>(recno >> (24 - 8 * i));
  ++FCount;
  return entry;
}

void KeySorter::DropLast() {
  --FCount;
}

void KeySorter::Sort() {
  // Most significant bytes first: each range is split into buckets by its next few bytes and
  // moved into the other of two buffers (moving in sequential runs costs far less than
  // swapping entries in place once a range outgrows the caches); each bucket is then sorted
  // on the bytes after those. A split takes as many bytes at once as their values allow:
  // only the values that occur count, so keys of digits or letters go through several bytes
  // per pass over the entries. Bytes that every entry of a range shares are skipped at once,
  // short ranges are finished by insertion sort. The ranges still to do are kept in a list,
  // not on the call stack, so that long keys with many levels cannot exhaust it.
  struct Range {
    size_t begin, count, depth;
    bool aside;  // its entries are in the second buffer
  };
  if (FCount < 2) return;
  const size_t width = FWidth;
  Buffer other = Allocate(FCount * width);
  char* const main = FEntries.get();
  char* const spare = other.get();
  std::vector<Range> todo{Range{0, FCount, 0, false}};
  char held[kMaxKeyLength + 4];
  std::vector<uint32_t> counts(kMaxBuckets), next(kMaxBuckets);
  // Per byte of a split: which values occur, then each value's share of the bucket number.
  uint32_t weight[kSplitBytes][256];
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
        while (j > 0 &&
               CompareBytes(home + (j - 1) * width + depth, held + depth, width - depth) > 0)
          --j;
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
    // The values of the next bytes, then how many of those bytes one split can take: the
    // product of their numbers of values is the number of buckets, kept below the number of
    // entries (the buckets are walked once per split) and below kMaxBuckets.
    const size_t look = std::min(kSplitBytes, width - depth);
    for (size_t j = 0; j < look; ++j) std::fill(std::begin(weight[j]), std::end(weight[j]), 0);
    for (size_t i = 0; i < range.count; ++i) {
      const auto* p = reinterpret_cast<const uint8_t*>(from + i * width + depth);
      for (size_t j = 0; j < look; ++j) weight[j][p[j]] = 1;
    }
    const size_t limit = std::clamp<size_t>(range.count, 256, kMaxBuckets);
    size_t bytes = 0, buckets = 1;
    for (; bytes < look; ++bytes) {
      size_t values = 0;
      for (uint32_t w : weight[bytes]) values += w;
      if (bytes > 0 && buckets * values > limit) break;
      buckets *= values;
    }
    for (size_t j = bytes, stride = 1; j-- > 0;) {
      uint32_t rank = 0;
      for (uint32_t& w : weight[j]) w = w ? static_cast<uint32_t>(rank++ * stride) : 0;
      stride *= rank;
    }
    auto bucketOf = [&](const char* entry) -> size_t {
      const auto* p = reinterpret_cast<const uint8_t*>(entry + depth);
      size_t b = 0;
      for (size_t j = 0; j < bytes; ++j) b += weight[j][p[j]];
      return b;
    };
    std::fill(counts.begin(), counts.begin() + static_cast<std::ptrdiff_t>(buckets), 0);
    for (size_t i = 0; i < range.count; ++i) ++counts[bucketOf(from + i * width)];
    uint32_t at = 0;
    for (size_t k = 0; k < buckets; ++k) {
      next[k] = at;
      at += counts[k];
    }
    char* to = (range.aside ? main : spare) + range.begin * width;
    for (size_t i = 0; i < range.count; ++i) {
      const char* entry = from + i * width;
      CopyEntry(to + size_t{next[bucketOf(entry)]++} * width, entry, width);
    }
    size_t start = 0;
    for (size_t k = 0; k < buckets; ++k) {
      size_t count = counts[k];
      if (count == 0) continue;
      if (count == 1 || depth + bytes == width) {
        if (!range.aside) std::memcpy(home + start * width, to + start * width, count * width);
      } else {
        todo.push_back(Range{range.begin + start, count, depth + bytes, !range.aside});
      }
      start += count;
    }
  }
}

}  // namespace xb
