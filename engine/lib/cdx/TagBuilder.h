// Builds a tag's B+tree in one pass from entries given in ascending order, for index creation
// and rebuilds. Leaves are filled until the next key does not fit and interior nodes to their
// entry limit; each node is written once, when its right sibling starts, so memory stays at
// one node per level.
#pragma once

#include <cstdint>
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
  Status Push(size_t level, std::string_view key, uint32_t recno, uint32_t child);
  Status Write(const Open& open);

  PageFile& FPages;
  int FKeyLength;
  int FFill;
  uint32_t FRecnoBound;
  std::vector<Open> FLevels;
};

}  // namespace xb
