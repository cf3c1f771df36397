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

int Compare(std::string_view a, uint32_t ra, std::string_view b, uint32_t rb) {
  int c = CompareBytes(a.data(), b.data(), a.size());
  if (c != 0) return c;
  return ra < rb ? -1 : (ra > rb ? 1 : 0);
}

}  // namespace

Node::Node(bool leaf, int keyLength, int fill) : FLeaf(leaf), FKeyLength(keyLength), FFill(fill) {}

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

size_t Node::LowerBound(std::string_view key, uint32_t recno, bool upper) const {
  size_t lo = 0, hi = Count();
  int limit = upper ? 1 : 0;
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (Compare(Key(mid), FRecnos[mid], key, recno) < limit)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

size_t Node::TrailOf(size_t i) const {
  if (FFill < 0) return 0;
  std::string_view key = Key(i);
  size_t n = key.size();
  while (n > 0 && static_cast<uint8_t>(key[n - 1]) == FFill) --n;
  return key.size() - n;
}

size_t Node::StoredOf(size_t i) const {
  size_t trail = TrailOf(i);
  size_t room = static_cast<size_t>(FKeyLength) - trail;
  if (i == 0) return room;
  std::string_view a = Key(i - 1), b = Key(i);
  size_t dup = 0;
  while (dup < room && a[dup] == b[dup]) ++dup;
  return room - dup;
}

void Node::Insert(size_t i, std::string_view key, uint32_t recno, uint32_t child) {
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
  right.FKeys.assign(FKeys, from * FKeyLength, std::string::npos);
  right.FRecnos.assign(FRecnos.begin() + static_cast<std::ptrdiff_t>(from), FRecnos.end());
  if (!FLeaf)
    right.FChildren.assign(FChildren.begin() + static_cast<std::ptrdiff_t>(from), FChildren.end());
  FKeys.resize(from * FKeyLength);
  FRecnos.resize(from);
  if (!FLeaf) FChildren.resize(from);
  if (FLeaf) {
    right.FRecnoBound = FRecnoBound;
    FStored = 0;
    for (size_t i = 0; i < Count(); ++i) FStored += StoredOf(i);
    right.FStored = 0;
    for (size_t i = 0; i < right.Count(); ++i) right.FStored += right.StoredOf(i);
  }
}

void Node::Append(const Node& right) {
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

size_t Node::UsedBytes() const {
  if (!FLeaf) return Count() * static_cast<size_t>(FKeyLength + 8);
  return Count() * static_cast<size_t>(EntryBytes(FKeyLength, FRecnoBound)) + FStored;
}

size_t Node::Capacity() const {
  return FLeaf ? kLeafSpace : InteriorCapacity(FKeyLength) * static_cast<size_t>(FKeyLength + 8);
}

bool Node::Fits() const {
  if (!FLeaf) return Count() <= InteriorCapacity(FKeyLength);
  return UsedBytes() <= kLeafSpace;
}

Result<Node> Node::Decode(const uint8_t* page, int keyLength, int fill) {
  uint16_t attributes = GetLe16(page);
  if (attributes > 3) return Status::Error("index node: attributes " + std::to_string(attributes));
  Node node((attributes & kLeaf) != 0, keyLength, fill);
  node.FRoot = (attributes & kRoot) != 0;
  size_t count = GetLe16(page + 2);
  node.FLeft = GetLe32(page + 4);
  node.FRight = GetLe32(page + 8);
  size_t klen = static_cast<size_t>(keyLength);
  node.FKeys.reserve(count * klen);
  node.FRecnos.reserve(count);
  if (!node.FLeaf) {
    if (count > InteriorCapacity(keyLength))
      return Status::Error("index node: " + std::to_string(count) + " interior entries");
    node.FChildren.reserve(count);
    const uint8_t* p = page + kInteriorHeader;
    for (size_t i = 0; i < count; ++i, p += klen + 8) {
      node.FKeys.append(reinterpret_cast<const char*>(p), klen);
      node.FRecnos.push_back(GetBe(p + klen));
      node.FChildren.push_back(GetBe(p + klen + 4));
    }
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
  size_t entriesEnd = kLeafHeader + count * static_cast<size_t>(bytes);
  size_t back = kPageSize;
  uint8_t fillByte = fill < 0 ? 0x20 : static_cast<uint8_t>(fill);
  std::string key(klen, static_cast<char>(fillByte));
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* e = page + kLeafHeader + i * static_cast<size_t>(bytes);
    uint64_t v = 0;
    for (int b = bytes - 1; b >= 0; --b) v = (v << 8) | e[b];
    uint32_t recno = static_cast<uint32_t>(v & recMask);
    size_t dup = (v >> recBits) & dupMask;
    size_t trail = (v >> (recBits + dupBits)) & trailMask;
    if (dup + trail > klen || (i == 0 && dup != 0))
      return Status::Error("index leaf: impossible compression counts");
    size_t stored = klen - dup - trail;
    if (back < entriesEnd + stored) return Status::Error("index leaf: keys overlap the entries");
    back -= stored;
    std::memcpy(key.data() + dup, page + back, stored);
    std::memset(key.data() + dup + stored, fillByte, trail);
    node.FKeys += key;
    node.FRecnos.push_back(recno);
    node.RaiseRecnoBound(recno);
  }
  for (size_t i = 0; i < count; ++i) node.FStored += node.StoredOf(i);
  return node;
}

bool Node::Encode(uint8_t* page) const {
  if (!Fits()) return false;
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
