// One 512-byte node of a tag's B+tree, decoded: the keys at full length, their record
// numbers and, in an interior node, the child pages.
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

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Status.h"

namespace xb {

class Node {
 public:
  static constexpr size_t kPageSize = 512;
  static constexpr uint32_t kNone = 0xFFFFFFFF;
  static constexpr uint16_t kRoot = 1;
  static constexpr uint16_t kLeaf = 2;

  // `fill` is the key kind's fill byte, or -1 when trailing bytes are never dropped.
  Node(bool leaf, int keyLength, int fill);

  // Decodes a page. Fails, without reading outside the page, when counts, widths, masks or
  // compression counts are impossible.
  static Result<Node> Decode(const uint8_t* page, int keyLength, int fill);
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
  std::string_view Key(size_t i) const {
    return std::string_view(FKeys).substr(i * FKeyLength, FKeyLength);
  }
  uint32_t Recno(size_t i) const { return FRecnos[i]; }
  uint32_t Child(size_t i) const { return FChildren[i]; }

  // The first entry >= (key, recno) in (key bytes, record number) order, or with `upper` the
  // first entry > (key, recno); Count() if none. `key` has the node's key length.
  size_t LowerBound(std::string_view key, uint32_t recno, bool upper = false) const;

  void Insert(size_t i, std::string_view key, uint32_t recno, uint32_t child = 0);
  void Erase(size_t i);
  void Set(size_t i, std::string_view key, uint32_t recno);
  void SetChild(size_t i, uint32_t child) { FChildren[i] = child; }
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
    return sizeof(Node) + FKeys.capacity() + 4 * (FRecnos.capacity() + FChildren.capacity());
  }

  bool dirty = false;       // changed since it was read or written; set by the page file's users
  bool referenced = false;  // used since the page cache's clock last passed it

 private:
  size_t TrailOf(size_t i) const;
  size_t StoredOf(size_t i) const;  // stored bytes of entry i given entry i - 1

  bool FLeaf;
  bool FRoot = false;
  int FKeyLength;
  int FFill;
  uint32_t FLeft = kNone;
  uint32_t FRight = kNone;
  std::string FKeys;
  std::vector<uint32_t> FRecnos;
  std::vector<uint32_t> FChildren;
  size_t FStored = 0;  // leaf: the sum of StoredOf over the entries
  uint32_t FRecnoBound = 0;
};

}  // namespace xb
