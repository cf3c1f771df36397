// One 512-byte node of a tag's B+tree, decoded: the keys, their record numbers and, in an
// interior node, the child pages.
//
// A node read from its page keeps its keys packed: the bytes every key begins with once, then
// for each key the next eight bytes as a number (its slice), and the bytes after those only
// where some key has more than fill there. A leaf of a large tag then takes about half the
// memory it takes with its keys at full length, so that far more of a tag's nodes stay in the
// processor's caches, and a search compares numbers lying together in a few cache lines. The
// first change, or the first call of Key(), spreads the keys out at full length; the node
// keeps slices from then on as a search aid, made again by the first search after a change.
//
// Node header (every node):
//   off  size  field
//   0    2     attributes, LE: 1 root + 2 leaf (0 interior, 1 interior root, 2 leaf, 3 both)
//   2    2     number of keys, LE
//   4    4     left sibling on the same level, LE, FFFFFFFF at the left end
//   8    4     right sibling on the same level, LE, FFFFFFFF at the right end
//
// Interior node, from offset 12: n entries of key (full key length) + record number (4, BE)
// + child page offset (4, BE); at most floor(500 / (key length + 8)) of them; the rest zero.
// Each entry carries the last (highest) key of its child's subtree and that key's record
// number.
//
// Compact leaf node:
//   off  size  field
//   12   2     free bytes = 488 - n * entry bytes - stored key bytes, LE
//   14   4     record-number mask = 2^recbits - 1, LE
//   18   1     duplicate-count mask = 2^dupbits - 1
//   19   1     trailing-count mask = 2^trailbits - 1
//   20   1     recbits
//   21   1     dupbits
//   22   1     trailbits
//   23   1     bytes per entry
//   24   ...   entries from the front, each an LE integer of `bytes per entry` bytes:
//              recno | dup << recbits | trail << (recbits + dupbits)
//   ...  511   the stored key bytes from the back: key 1 ends at 511, key 2 just before it
// A key is rebuilt from the first `dup` bytes of the key before it in the leaf, its stored
// bytes, then `trail` fill bytes. dup is 0 for the first key of a leaf and never more than
// key length - trail. Free bytes in the middle are zero.
//
// Entry widths: dupbits = trailbits = bit length of the key length; bytes per entry = the
// smallest n >= 3 with 8n - 2 * dupbits >= bit length of the largest record number the leaf is
// sized for; recbits takes all the remaining bits.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory_resource>
#include <string>
#include <string_view>
#include <vector>

#include "Status.h"

namespace xb {

// Aligned to a cache line, so that the members a search reads share as few lines as can be.
class alignas(64) Node {
 public:
  static constexpr size_t kPageSize = 512;
  static constexpr uint32_t kNone = 0xFFFFFFFF;
  static constexpr uint16_t kRoot = 1;
  static constexpr uint16_t kLeaf = 2;

  // `fill` is the key kind's fill byte, or -1 when trailing bytes are never dropped. The
  // node's arrays come from `memory`.
  Node(bool leaf, int keyLength, int fill,
       std::pmr::memory_resource* memory = std::pmr::get_default_resource());

  // Decodes a page. Fails, without reading outside the page, when counts, widths, masks or
  // compression counts are impossible. `scratch`, when given, is working memory the caller
  // keeps from page to page; the node's arrays come from `memory`.
  static Result<Node> Decode(const uint8_t* page, int keyLength, int fill,
                             std::string* scratch = nullptr,
                             std::pmr::memory_resource* memory = std::pmr::get_default_resource());
  // Writes the page; false (and nothing written) when the node does not fit in one.
  bool Encode(uint8_t* page) const;

  // One entry of a compact leaf with its compression counts, for EncodeLeaf.
  struct LeafEntry {
    uint32_t recno;
    uint16_t dup;    // leading bytes taken from the key before
    uint16_t trail;  // trailing fill bytes dropped
  };
  // Writes a compact leaf page from `count` entries in order, without a Node (bulk builds);
  // `keys` holds their keys at full length, one after the other. The caller has checked that
  // they fit: count * EntryBytes(keyLength, recnoBound) + stored bytes <= 488.
  static void EncodeLeaf(uint8_t* page, bool root, uint32_t left, uint32_t right, int keyLength,
                         uint32_t recnoBound, const char* keys, const LeafEntry* entries,
                         size_t count);

  bool IsLeaf() const { return FLeaf; }
  bool IsRoot() const { return FRoot; }
  void SetRoot(bool root) { FRoot = root; }
  uint32_t Left() const { return FLeft; }
  uint32_t Right() const { return FRight; }
  void SetLeft(uint32_t offset) { FLeft = offset; }
  void SetRight(uint32_t offset) { FRight = offset; }
  int KeyLength() const { return FKeyLength; }

  size_t Count() const { return FRecnos.size(); }
  // Key i at full length; on a packed node this first spreads out every key.
  std::string_view Key(size_t i) const {
    if (FPacked) Unpack();
    return std::string_view(FKeys).substr(i * FKeyLength, FKeyLength);
  }
  // Writes key i (KeyLength() bytes) to `out` without spreading out the node's keys.
  void CopyKey(size_t i, char* out) const;
  // Whether the entries are in (key, record number) order, without spreading out the keys.
  bool Ordered() const;
  uint32_t Recno(size_t i) const { return FRecnos[i]; }
  uint32_t Child(size_t i) const { return FChildren[i]; }

  // The first entry >= (key, recno) in (key bytes, record number) order, or with `upper` the
  // first entry > (key, recno); Count() if none. `key` has the node's key length.
  size_t LowerBound(std::string_view key, uint32_t recno, bool upper = false) const;

  void Insert(size_t i, std::string_view key, uint32_t recno, uint32_t child = 0);
  void Erase(size_t i);
  void Set(size_t i, std::string_view key, uint32_t recno);
  void SetChild(size_t i, uint32_t child) {
    FChildren[i] = child;
    FChildNodes.clear();
  }
  // Interior node: the page cache's node for child i as last looked up, if the cache has
  // dropped no node since (its `epoch`) and the children have not changed; else nullptr.
  Node* CachedChild(size_t i, uint64_t epoch) const {
    return FChildEpoch == epoch && i < FChildNodes.size() ? FChildNodes[i] : nullptr;
  }
  void RememberChild(size_t i, Node* child, uint64_t epoch) const {
    if (FChildEpoch != epoch || FChildNodes.size() != Count()) {
      FChildNodes.assign(Count(), nullptr);
      FChildEpoch = epoch;
    }
    FChildNodes[i] = child;
  }
  // Asks for the lines a search of this node reads first.
  void PrefetchSearch() const {
    Prefetch(this, 128);
    Prefetch(FSlices.data(), FSlices.size() * 8);
  }
  // Moves the entries from `from` on to the front of the empty node `right`.
  void MoveTail(size_t from, Node& right);
  // Appends every entry of `right` (same kind of node).
  void Append(const Node& right);

  // Whether the node can be written to one page: interior nodes by entry count, leaves by
  // their compressed size at the entry width for RecnoBound().
  bool Fits() const;
  // Bytes of the page the entries take (leaf: entries + stored keys; interior: entries).
  size_t UsedBytes() const;
  size_t Capacity() const;
  // The largest record number a leaf is sized for (at least its largest record number).
  void RaiseRecnoBound(uint32_t recno) {
    if (recno > FRecnoBound) FRecnoBound = recno;
  }
  static int EntryBytes(int keyLength, uint32_t recnoBound);
  static int CountBits(int keyLength);
  static size_t InteriorCapacity(int keyLength) { return 500 / (keyLength + 8); }

  // Memory the decoded node takes, for the page file's budget.
  size_t MemoryBytes() const {
    return sizeof(Node) + FKeys.capacity() + FPackedBytes.capacity() +
           4 * (FRecnos.capacity() + FChildren.capacity()) +
           8 * (FSlices.capacity() + FChildNodes.capacity());
  }

  bool dirty = false;       // changed since it was read or written; set by the page file's users
  bool referenced = false;  // used since the page cache's clock last passed it

 private:
  size_t TrailOf(size_t i) const;
  size_t StoredOf(size_t i) const;  // stored bytes of entry i given entry i - 1
  // Makes the slices from `keys`: Count() keys at full length, `stride` bytes apart.
  void BuildSlices(const char* keys, size_t stride) const;
  // Packs a decoded page's keys (as for BuildSlices).
  void Pack(const char* keys, size_t stride);
  void Unpack() const;
  void CountStored() const;
  // Before any change: keys at full length and counted, slices to be made again.
  void Changed() {
    if (FPacked) Unpack();
    if (!FStoredKnown) CountStored();
    FSliced = false;
    FChildNodes.clear();
  }
  // Where the bytes after the slices begin.
  size_t RestAt() const { return std::min(static_cast<size_t>(FKeyLength), FShared + 8); }
  // The bytes of entry i from RestAt() on; nullptr when packed without them (all fill).
  const char* RestOf(size_t i) const;
  // Compares the bytes from RestAt() on of entry i with those of `rest` (nullptr: all fill).
  int CompareRest(size_t i, const char* rest) const;
  uint8_t FillByte() const { return FFill < 0 ? 0x20 : static_cast<uint8_t>(FFill); }
  // Asks for every cache line of `bytes` bytes at `p` at once.
  static void Prefetch(const void* p, size_t bytes) {
    const char* lines = static_cast<const char*>(p);
    for (size_t at = 0; at < bytes; at += 64) __builtin_prefetch(lines + at);
  }

  // What a search reads comes first: with the node on a cache-line boundary (see the class),
  // a search touches two lines of it.
  bool FLeaf;
  bool FRoot = false;
  // Every key begins with the same FShared bytes; FSlices holds, for each key, the eight
  // bytes after them as a number that orders as the bytes do. Packed, FPackedBytes holds a
  // model key (the shared bytes, then fill to the key length), then, with FPackedRest, each
  // key's bytes from RestAt() on.
  mutable bool FPacked = false;
  mutable bool FPackedRest = false;
  mutable bool FSliced = false;
  int FKeyLength;
  int FFill;
  mutable size_t FShared = 0;
  mutable std::pmr::vector<uint64_t> FSlices;
  mutable std::pmr::string FPackedBytes;
  std::pmr::vector<uint32_t> FChildren;
  std::pmr::vector<uint32_t> FRecnos;
  mutable std::pmr::string FKeys;  // full length, one after the other; empty while packed
  mutable std::pmr::vector<Node*> FChildNodes;
  mutable uint64_t FChildEpoch = 0;
  uint32_t FLeft = kNone;
  uint32_t FRight = kNone;
  uint32_t FRecnoBound = 0;
  // Leaf: the sum of StoredOf over the entries, once known (a node read from its page counts
  // it when first changed or measured).
  mutable size_t FStored = 0;
  mutable bool FStoredKnown = true;
};

}  // namespace xb
