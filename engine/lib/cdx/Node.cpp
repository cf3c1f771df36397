#include "cdx/Node.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "cdx/Bytes.h"

namespace xb {
namespace {

constexpr size_t kLeafHeader = 24;
constexpr size_t kLeafSpace = Node::kPageSize - kLeafHeader;  // 488
constexpr size_t kInteriorHeader = 12;

int BitLength(uint64_t v) {
  int bits = 0;
  while (v) {
    ++bits;
    v >>= 1;
  }
  return bits;
}

uint32_t GetBe(const uint8_t* p) {
  return GetBe32(p);
}

// Trailing fill bytes of a key (none when the kind drops none).
size_t TrailBytes(const char* key, size_t length, int fill) {
  return fill < 0 ? 0 : TrailingBytes(key, length, static_cast<uint8_t>(fill));
}

// Bytes a leaf stores for `key` after `before` (nullptr for a leaf's first key): what is left
// once the bytes shared with the key before and the trailing fill are dropped.
size_t StoredBytes(const char* before, const char* key, size_t length, int fill) {
  size_t room = length - TrailBytes(key, length, fill);
  return before ? room - SharedBytes(before, key, room) : room;
}

// Up to eight key bytes as a number that orders as the bytes do; missing bytes count as 0.
uint64_t SliceOf(const char* p, size_t available) {
  uint64_t v = 0;
  if (available >= 8)
    std::memcpy(&v, p, 8);
  else
    std::memcpy(&v, p, available);
  return __builtin_bswap64(v);
}

// The first of `n` numbers (ascending) that is >= `want`, or with `after` > `want`. Without
// branches on the numbers: a binary search's turns cannot be predicted, and a mispredicted
// branch at every halving costs more than the comparisons.
size_t FirstSlice(const uint64_t* slices, size_t n, uint64_t want, bool after) {
  if (after) {
    if (want == ~uint64_t{0}) return n;
    ++want;  // > want is >= want + 1
  }
  size_t lo = 0;
  while (n > 1) {
    size_t half = n / 2;
    lo += half & (size_t{0} - static_cast<size_t>(slices[lo + half - 1] < want));
    n -= half;
  }
  return lo + static_cast<size_t>(slices[lo] < want);
}

}  // namespace

Node::Node(bool leaf, int keyLength, int fill, std::pmr::memory_resource* memory)
    : FLeaf(leaf),
      FKeyLength(keyLength),
      FFill(fill),
      FSlices(memory),
      FPackedBytes(memory),
      FChildren(memory),
      FRecnos(memory),
      FKeys(memory),
      FChildNodes(memory) {}

int Node::CountBits(int keyLength) {
  return BitLength(static_cast<uint64_t>(keyLength));
}

int Node::EntryBytes(int keyLength, uint32_t recnoBound) {
  int countBits = CountBits(keyLength);
  int need = BitLength(recnoBound);
  int bytes = 3;
  while (8 * bytes - 2 * countBits < need) ++bytes;
  return bytes;
}

void Node::BuildSlices(const char* keys, size_t stride) const {
  size_t n = Count(), klen = static_cast<size_t>(FKeyLength);
  // The bytes all keys share (not only the first and last: a packed node must keep every key
  // of a page whose keys are out of order, for the check that reports it).
  FShared = n > 0 ? klen : 0;
  for (size_t i = 1; i < n && FShared > 0; ++i)
    FShared = SharedBytes(keys, keys + i * stride, FShared);
  FSlices.resize(n);
  for (size_t i = 0; i < n; ++i) FSlices[i] = SliceOf(keys + i * stride + FShared, klen - FShared);
  FSliced = true;
}

void Node::Pack(const char* keys, size_t stride) {
  BuildSlices(keys, stride);
  size_t n = Count(), klen = static_cast<size_t>(FKeyLength), at = RestAt();
  uint8_t fill = FillByte();
  FPackedRest = false;
  for (size_t i = 0; i < n && !FPackedRest; ++i)
    FPackedRest = TrailingBytes(keys + i * stride + at, klen - at, fill) != klen - at;
  FPackedBytes.assign(keys, FShared);
  FPackedBytes.append(klen - FShared, static_cast<char>(fill));
  if (FPackedRest)
    for (size_t i = 0; i < n; ++i) FPackedBytes.append(keys + i * stride + at, klen - at);
  FKeys.clear();
  FKeys.shrink_to_fit();
  FPacked = true;
}

void Node::Unpack() const {
  size_t klen = static_cast<size_t>(FKeyLength);
  std::pmr::string keys(Count() * klen, '\0', FKeys.get_allocator());
  for (size_t i = 0; i < Count(); ++i) CopyKey(i, keys.data() + i * klen);
  FKeys.swap(keys);
  FPackedBytes.clear();
  FPackedBytes.shrink_to_fit();
  FPacked = false;
}

const char* Node::RestOf(size_t i) const {
  size_t klen = static_cast<size_t>(FKeyLength), at = RestAt();
  if (!FPacked) return FKeys.data() + i * klen + at;
  if (!FPackedRest) return nullptr;
  return FPackedBytes.data() + klen + i * (klen - at);
}

void Node::CopyKey(size_t i, char* out) const {
  size_t klen = static_cast<size_t>(FKeyLength);
  if (!FPacked) {
    CopyShort(out, FKeys.data() + i * klen, klen);
    return;
  }
  // The model key (the shared bytes, then fill), the slice over it, then the rest if kept.
  size_t at = RestAt();
  CopyShort(out, FPackedBytes.data(), klen);
  uint64_t slice = __builtin_bswap64(FSlices[i]);
  if (at - FShared == 8)
    std::memcpy(out + FShared, &slice, 8);
  else
    CopyShort(out + FShared, reinterpret_cast<const char*>(&slice), at - FShared);
  if (FPackedRest) CopyShort(out + at, RestOf(i), klen - at);
}

int Node::CompareRest(size_t i, const char* rest) const {
  size_t length = static_cast<size_t>(FKeyLength) - RestAt();
  const char* mine = RestOf(i);
  if (mine && rest) return CompareBytes(mine, rest, length);
  uint8_t fill = FillByte();
  for (size_t j = 0; j < length; ++j) {
    uint8_t a = mine ? static_cast<uint8_t>(mine[j]) : fill;
    uint8_t b = rest ? static_cast<uint8_t>(rest[j]) : fill;
    if (a != b) return a < b ? -1 : 1;
  }
  return 0;
}

bool Node::Ordered() const {
  if (!FSliced) BuildSlices(FKeys.data(), static_cast<size_t>(FKeyLength));
  for (size_t i = 1; i < Count(); ++i) {
    if (FSlices[i - 1] != FSlices[i]) {
      if (FSlices[i - 1] > FSlices[i]) return false;
      continue;
    }
    int c = CompareRest(i - 1, RestOf(i));
    if (c > 0 || (c == 0 && FRecnos[i - 1] >= FRecnos[i])) return false;
  }
  return true;
}

size_t Node::LowerBound(std::string_view key, uint32_t recno, bool upper) const {
  size_t n = Count();
  if (n == 0) return 0;
  if (!FSliced) BuildSlices(FKeys.data(), static_cast<size_t>(FKeyLength));
  // Ask for every line of the slices (and of the child pages) at once: the search then waits
  // for memory about once per node instead of once per halving.
  Prefetch(FSlices.data(), n * 8);
  if (!FLeaf) Prefetch(FChildren.data(), n * 4);
  if (FShared > 0) {
    const char* shared = FPacked ? FPackedBytes.data() : FKeys.data();
    int c = CompareBytes(key.data(), shared, FShared);
    if (c != 0) return c < 0 ? 0 : n;
  }
  uint64_t want = SliceOf(key.data() + FShared, static_cast<size_t>(FKeyLength) - FShared);
  // Entries before `lo` come before the key. Of those from `lo` on, only the ones whose slices
  // equal the key's may too: most often none or one, so the first is looked at alone.
  size_t lo = FirstSlice(FSlices.data(), n, want, false);
  const char* rest = key.data() + RestAt();
  int limit = upper ? 1 : 0;
  auto before = [&](size_t i) {
    int c = CompareRest(i, rest);
    if (c == 0) c = FRecnos[i] < recno ? -1 : (FRecnos[i] > recno ? 1 : 0);
    return c < limit;
  };
  if (lo == n || FSlices[lo] != want || !before(lo)) return lo;
  size_t hi = lo + FirstSlice(FSlices.data() + lo, n - lo, want, true);
  ++lo;
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (before(mid))
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

size_t Node::TrailOf(size_t i) const {
  return TrailBytes(Key(i).data(), static_cast<size_t>(FKeyLength), FFill);
}

size_t Node::StoredOf(size_t i) const {
  return StoredBytes(i == 0 ? nullptr : Key(i - 1).data(), Key(i).data(),
                     static_cast<size_t>(FKeyLength), FFill);
}

void Node::Insert(size_t i, std::string_view key, uint32_t recno, uint32_t child) {
  Changed();
  size_t before = FLeaf && i < Count() ? StoredOf(i) : 0;
  FKeys.insert(i * FKeyLength, key.data(), FKeyLength);
  FRecnos.insert(FRecnos.begin() + static_cast<std::ptrdiff_t>(i), recno);
  if (!FLeaf) FChildren.insert(FChildren.begin() + static_cast<std::ptrdiff_t>(i), child);
  if (FLeaf) {
    size_t after = StoredOf(i) + (i + 1 < Count() ? StoredOf(i + 1) : 0);
    FStored = FStored + after - before;
    RaiseRecnoBound(recno);
  }
}

void Node::Erase(size_t i) {
  Changed();
  size_t before = FLeaf ? StoredOf(i) + (i + 1 < Count() ? StoredOf(i + 1) : 0) : 0;
  FKeys.erase(i * FKeyLength, FKeyLength);
  FRecnos.erase(FRecnos.begin() + static_cast<std::ptrdiff_t>(i));
  if (!FLeaf) FChildren.erase(FChildren.begin() + static_cast<std::ptrdiff_t>(i));
  if (FLeaf) {
    size_t after = i < Count() ? StoredOf(i) : 0;
    FStored = FStored + after - before;
  }
}

void Node::Set(size_t i, std::string_view key, uint32_t recno) {
  Changed();
  size_t before = FLeaf ? StoredOf(i) + (i + 1 < Count() ? StoredOf(i + 1) : 0) : 0;
  FKeys.replace(i * FKeyLength, FKeyLength, key.data(), FKeyLength);
  FRecnos[i] = recno;
  if (FLeaf) {
    size_t after = StoredOf(i) + (i + 1 < Count() ? StoredOf(i + 1) : 0);
    FStored = FStored + after - before;
    RaiseRecnoBound(recno);
  }
}

void Node::MoveTail(size_t from, Node& right) {
  Changed();
  right.Changed();
  right.FKeys.assign(FKeys, from * FKeyLength, std::string::npos);
  right.FRecnos.assign(FRecnos.begin() + static_cast<std::ptrdiff_t>(from), FRecnos.end());
  if (!FLeaf)
    right.FChildren.assign(FChildren.begin() + static_cast<std::ptrdiff_t>(from), FChildren.end());
  FKeys.resize(from * FKeyLength);
  FRecnos.resize(from);
  if (!FLeaf) FChildren.resize(from);
  if (FLeaf) {
    right.FRecnoBound = FRecnoBound;
    CountStored();
    right.CountStored();
  }
}

void Node::Append(const Node& right) {
  Changed();
  if (right.FPacked) right.Unpack();
  if (!right.FStoredKnown) right.CountStored();
  size_t start = Count();
  FKeys += right.FKeys;
  FRecnos.insert(FRecnos.end(), right.FRecnos.begin(), right.FRecnos.end());
  if (!FLeaf) FChildren.insert(FChildren.end(), right.FChildren.begin(), right.FChildren.end());
  if (FLeaf) {
    RaiseRecnoBound(right.FRecnoBound);
    FStored += right.FStored;
    if (start > 0 && start < Count()) {
      // The first key of `right` now follows a key it may share a prefix with.
      FStored -= right.StoredOf(0);
      FStored += StoredOf(start);
    }
  }
}

void Node::CountStored() const {
  FStored = 0;
  for (size_t i = 0; i < Count(); ++i) FStored += StoredOf(i);
  FStoredKnown = true;
}

size_t Node::UsedBytes() const {
  if (!FLeaf) return Count() * static_cast<size_t>(FKeyLength + 8);
  if (!FStoredKnown) CountStored();
  return Count() * static_cast<size_t>(EntryBytes(FKeyLength, FRecnoBound)) + FStored;
}

size_t Node::Capacity() const {
  return FLeaf ? kLeafSpace : InteriorCapacity(FKeyLength) * static_cast<size_t>(FKeyLength + 8);
}

bool Node::Fits() const {
  if (!FLeaf) return Count() <= InteriorCapacity(FKeyLength);
  return UsedBytes() <= kLeafSpace;
}

Result<Node> Node::Decode(const uint8_t* page, int keyLength, int fill, std::string* scratch,
                          std::pmr::memory_resource* memory) {
  uint16_t attributes = GetLe16(page);
  if (attributes > 3) return Status::Error("index node: attributes " + std::to_string(attributes));
  Node node((attributes & kLeaf) != 0, keyLength, fill, memory);
  node.FRoot = (attributes & kRoot) != 0;
  size_t count = GetLe16(page + 2);
  node.FLeft = GetLe32(page + 4);
  node.FRight = GetLe32(page + 8);
  size_t klen = static_cast<size_t>(keyLength);
  node.FRecnos.reserve(count);
  // The keys at full length go to the caller's buffer (kept from page to page), then packed.
  std::string own;
  std::string& keys = scratch ? *scratch : own;
  if (!node.FLeaf) {
    if (count > InteriorCapacity(keyLength))
      return Status::Error("index node: " + std::to_string(count) + " interior entries");
    node.FChildren.reserve(count);
    keys.resize(count * klen);
    const uint8_t* p = page + kInteriorHeader;
    for (size_t i = 0; i < count; ++i, p += klen + 8) {
      std::memcpy(keys.data() + i * klen, p, klen);
      node.FRecnos.push_back(GetBe(p + klen));
      node.FChildren.push_back(GetBe(p + klen + 4));
    }
    node.Pack(keys.data(), klen);
    return node;
  }
  uint32_t recMask = GetLe32(page + 14);
  uint8_t dupMask = page[18], trailMask = page[19];
  int recBits = page[20], dupBits = page[21], trailBits = page[22], bytes = page[23];
  if (bytes < 1 || bytes > 8 || recBits > 32 || dupBits > 8 || trailBits > 8 ||
      recBits + dupBits + trailBits > 8 * bytes ||
      uint64_t{recMask} != (uint64_t{1} << recBits) - 1 ||
      uint32_t{dupMask} != (1u << dupBits) - 1 || uint32_t{trailMask} != (1u << trailBits) - 1)
    return Status::Error("index leaf: inconsistent entry widths or masks");
  if (count * static_cast<size_t>(bytes) > kLeafSpace)
    return Status::Error("index leaf: " + std::to_string(count) + " entries do not fit");
  // The entries first: record numbers, compression counts and where each key's stored
  // bytes lie. The bytes every key shares are at least the fewest any key takes from the key
  // before it.
  uint16_t dups[kLeafSpace], ends[kLeafSpace], backs[kLeafSpace];
  size_t entriesEnd = kLeafHeader + count * static_cast<size_t>(bytes);
  size_t back = kPageSize;
  size_t fewest = klen;
  uint64_t entryMask = bytes == 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * bytes)) - 1;
  // Eight bytes from `at` as they lie in memory, the bytes past the page's end read as 0.
  auto eight = [page](size_t at) {
    uint64_t v = 0;
    if (at + 8 <= kPageSize)
      std::memcpy(&v, page + at, 8);
    else
      for (size_t j = 0; at + j < kPageSize; ++j) v |= uint64_t{page[at + j]} << (8 * j);
    return v;
  };
  for (size_t i = 0; i < count; ++i) {
    uint64_t v = eight(kLeafHeader + i * static_cast<size_t>(bytes)) & entryMask;
    uint32_t recno = static_cast<uint32_t>(v & recMask);
    size_t dup = (v >> recBits) & dupMask;
    size_t trail = (v >> (recBits + dupBits)) & trailMask;
    if (dup + trail > klen || (i == 0 && dup != 0))
      return Status::Error("index leaf: impossible compression counts");
    size_t stored = klen - dup - trail;
    if (back < entriesEnd + stored) return Status::Error("index leaf: keys overlap the entries");
    back -= stored;
    dups[i] = static_cast<uint16_t>(dup);
    ends[i] = static_cast<uint16_t>(klen - trail);
    backs[i] = static_cast<uint16_t>(back);
    if (i > 0) fewest = std::min(fewest, dup);
    node.FRecnos.push_back(recno);
    node.RaiseRecnoBound(recno);
  }
  // What the node would store for its keys is counted when it is first changed.
  node.FStoredKnown = false;
  if (count == 0) return node;
  node.FShared = fewest;
  size_t restAt = node.RestAt();
  bool beyond = false;
  for (size_t i = 0; i < count && !beyond; ++i) beyond = ends[i] > restAt;
  uint8_t fillByte = node.FillByte();
  if (!beyond) {
    // No key has more than fill after its slice: the slices are made straight from the
    // stored bytes, each from the one before where the key takes bytes from the key before.
    node.FSlices.resize(count);
    auto high = [](size_t n) { return n == 0 ? uint64_t{0} : ~uint64_t{0} << (64 - 8 * n); };
    uint64_t fillSlice = 0x0101010101010101ull * fillByte;
    uint64_t before = 0;
    for (size_t i = 0; i < count; ++i) {
      size_t kept = dups[i] > fewest ? std::min<size_t>(dups[i] - fewest, 8) : 0;
      size_t until = ends[i] > fewest ? std::min<size_t>(ends[i] - fewest, 8) : 0;
      uint64_t mine = 0;
      if (until > kept) {
        mine = __builtin_bswap64(eight(backs[i] + fewest - dups[i]));
      }
      uint64_t slice =
          (before & high(kept)) | (mine & high(until) & ~high(kept)) | (fillSlice & ~high(until));
      node.FSlices[i] = before = slice;
    }
    if (klen - fewest < 8) {
      // The slices hold only klen - fewest bytes; the rest of each number is 0.
      uint64_t keep = high(klen - fewest);
      for (uint64_t& slice : node.FSlices) slice &= keep;
    }
    node.FPackedBytes.assign(klen, static_cast<char>(fillByte));
    size_t first = std::min<size_t>(fewest, ends[0]);
    std::memcpy(node.FPackedBytes.data(), page + backs[0], first);
    node.FPackedRest = false;
    node.FSliced = node.FPacked = true;
    return node;
  }
  // Otherwise each key is put together at full length, in eight-byte pieces from the same
  // piece of the key before, its stored bytes and fill, written whole into a slot of `stride`
  // bytes (reading the key before back then never waits on stores of odd sizes), and packed.
  size_t stride = (klen + 7) & ~size_t{7};
  uint64_t fillPieces = 0x0101010101010101ull * fillByte;
  auto low = [](size_t n) { return n >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * n)) - 1; };
  keys.resize(count * stride);
  for (size_t i = 0; i < count; ++i) {
    char* key = keys.data() + i * stride;
    for (size_t at = 0; at < klen; at += 8) {
      size_t kept = dups[i] > at ? std::min<size_t>(dups[i] - at, 8) : 0;
      size_t until = ends[i] > at ? std::min<size_t>(ends[i] - at, 8) : 0;
      uint64_t before = 0, mine = 0;
      if (kept > 0) std::memcpy(&before, key - stride + at, 8);
      // Byte p of the key, for dup <= p < end, lies at backs[i] + p - dup.
      if (until > kept) mine = eight(backs[i] + at - dups[i]);
      uint64_t piece =
          (before & low(kept)) | (mine & low(until) & ~low(kept)) | (fillPieces & ~low(until));
      std::memcpy(key + at, &piece, 8);
    }
  }
  node.Pack(keys.data(), stride);
  return node;
}

bool Node::Encode(uint8_t* page) const {
  if (!Fits()) return false;
  if (FPacked) Unpack();
  size_t klen = static_cast<size_t>(FKeyLength);
  if (FLeaf) {
    LeafEntry entries[kLeafSpace / 3];
    for (size_t i = 0; i < Count(); ++i) {
      size_t trail = TrailOf(i);
      size_t dup = klen - trail - StoredOf(i);
      entries[i] = LeafEntry{FRecnos[i], static_cast<uint16_t>(dup), static_cast<uint16_t>(trail)};
    }
    EncodeLeaf(page, FRoot, FLeft, FRight, FKeyLength, FRecnoBound, FKeys.data(), entries, Count());
    return true;
  }
  std::memset(page, 0, kPageSize);
  uint16_t attributes = static_cast<uint16_t>((FRoot ? kRoot : 0) | (FLeaf ? kLeaf : 0));
  PutLe16(page, attributes);
  PutLe16(page + 2, static_cast<uint16_t>(Count()));
  PutLe32(page + 4, FLeft);
  PutLe32(page + 8, FRight);
  uint8_t* p = page + kInteriorHeader;
  for (size_t i = 0; i < Count(); ++i, p += klen + 8) {
    std::memcpy(p, FKeys.data() + i * klen, klen);
    PutBe32(p + klen, FRecnos[i]);
    PutBe32(p + klen + 4, FChildren[i]);
  }
  return true;
}

void Node::EncodeLeaf(uint8_t* page, bool root, uint32_t left, uint32_t right, int keyLength,
                      uint32_t recnoBound, const char* keys, const LeafEntry* entries,
                      size_t count) {
  std::memset(page, 0, kPageSize);
  PutLe16(page, static_cast<uint16_t>((root ? kRoot : 0) | kLeaf));
  PutLe16(page + 2, static_cast<uint16_t>(count));
  PutLe32(page + 4, left);
  PutLe32(page + 8, right);
  size_t klen = static_cast<size_t>(keyLength);
  int bytes = EntryBytes(keyLength, recnoBound);
  int countBits = CountBits(keyLength);
  int recBits = std::min(32, 8 * bytes - 2 * countBits);
  PutLe32(page + 14, static_cast<uint32_t>((uint64_t{1} << recBits) - 1));
  page[18] = page[19] = static_cast<uint8_t>((1u << countBits) - 1);
  page[20] = static_cast<uint8_t>(recBits);
  page[21] = page[22] = static_cast<uint8_t>(countBits);
  page[23] = static_cast<uint8_t>(bytes);
  size_t back = kPageSize;
  for (size_t i = 0; i < count; ++i) {
    const LeafEntry& entry = entries[i];
    size_t stored = klen - entry.dup - entry.trail;
    uint64_t v = uint64_t{entry.recno} | uint64_t{entry.dup} << recBits |
                 uint64_t{entry.trail} << (recBits + countBits);
    uint8_t* e = page + kLeafHeader + i * static_cast<size_t>(bytes);
    for (int b = 0; b < bytes; ++b) e[b] = static_cast<uint8_t>(v >> (8 * b));
    back -= stored;
    std::memcpy(page + back, keys + i * klen + entry.dup, stored);
  }
  size_t entriesEnd = kLeafHeader + count * static_cast<size_t>(bytes);
  PutLe16(page + 12, static_cast<uint16_t>(back - entriesEnd));
}

}  // namespace xb
