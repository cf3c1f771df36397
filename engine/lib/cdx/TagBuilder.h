// Builds a tag's B+tree in one pass from entries given in ascending order, for index creation
// and rebuilds. Leaves are filled until the next key does not fit and interior nodes to their
// entry limit, except that the last two nodes of each level share their entries evenly (so
// that relative positions, which count the children of a node as equal, stay close). Each
// node is written once, a node behind the one being filled, so memory stays at two nodes per
// level.
#pragma once

#include <cstdint>
#include <optional>
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
  struct Open {
    Node node;
    uint32_t offset;
  };
  struct Level {
    std::optional<Open> done;  // complete, waiting for the node after it to fill
    Open filling;
  };
  Status Push(size_t level, std::string_view key, uint32_t recno, uint32_t child);
  // Writes the node and hands its last entry to the level above.
  Status Emit(size_t level, const Open& open);
  static void Balance(Node& left, Node& right);

  PageFile& FPages;
  int FKeyLength;
  int FFill;
  uint32_t FRecnoBound;
  std::vector<Level> FLevels;
};

}  // namespace xb
