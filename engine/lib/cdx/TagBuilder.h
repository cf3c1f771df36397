// Builds a tag's B+tree in one pass from entries given in ascending order, for index creation
// and rebuilds. Leaves are filled until the next key does not fit and interior nodes to their
// entry limit, except that the last two nodes of each level share their entries evenly (so
// that relative positions, which count the children of a node as equal, stay close). Each
// node is written once, a node behind the one being filled, so memory stays at two nodes per
// level.
//
// Leaves, which take nearly every entry, are kept as plain arrays with each key's compression
// counts worked out as it arrives and are written with Node::EncodeLeaf; interior nodes are
// Nodes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Status.h"
#include "cdx/KeyCodec.h"
#include "cdx/Node.h"
#include "cdx/PageFile.h"

namespace xb {

class TagBuilder {
 public:
  // `recnoBound`: the table's record count; every leaf is sized for it.
  TagBuilder(PageFile& pages, int keyLength, KeyKind kind, uint32_t recnoBound);

  // Entries must come in (key, record number) order, each key of the key length.
  Status Add(std::string_view key, uint32_t recno);
  // Writes the nodes still open and returns the root's offset (an empty root leaf when no
  // entry was added).
  Result<uint32_t> Finish();

 private:
  struct Leaf {
    uint32_t offset = 0;
    uint32_t left = Node::kNone;
    uint32_t right = Node::kNone;
    std::string keys;  // the keys at full length, one after the other
    std::vector<Node::LeafEntry> entries;
    size_t stored = 0;      // key bytes the page stores
    uint32_t bound = 0;     // the record number the entry width is sized for
    size_t entryBytes = 0;  // Node::EntryBytes for `bound`
    size_t Used() const { return entries.size() * entryBytes + stored; }
  };
  struct Open {
    Node node;
    uint32_t offset;
  };
  struct Level {
    std::optional<Open> done;  // complete, waiting for the node after it to fill
    Open filling;
  };

  // An empty leaf at `offset`, reusing the buffers of `recycled`.
  Leaf NewLeaf(uint32_t offset, Leaf recycled) const;
  size_t TrailOf(const char* key) const;
  // Adds the entry to the end of `leaf` when it fits there; false (leaf unchanged) when not.
  bool Append(Leaf& leaf, std::string_view key, uint32_t recno) const;
  // Moves entries from the end of `left` to the front of `right` while that evens them out.
  void Balance(Leaf& left, Leaf& right) const;
  // Writes the leaf and hands its last entry to the first interior level.
  Status EmitLeaf(const Leaf& leaf, bool root);

  // Interior level `level` (0: the level just above the leaves).
  Status Push(size_t level, std::string_view key, uint32_t recno, uint32_t child);
  // Writes the node and hands its last entry to the level above.
  Status Emit(size_t level, const Open& open);
  static void Balance(Node& left, Node& right);

  PageFile& FPages;
  int FKeyLength;
  int FFill;
  uint32_t FRecnoBound;
  std::optional<Leaf> FLeafDone;
  std::optional<Leaf> FLeaf;
  std::vector<Level> FLevels;
};

}  // namespace xb
