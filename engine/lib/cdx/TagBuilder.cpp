#include "cdx/TagBuilder.h"

#include <stdexcept>
#include <string>

namespace xb {

TagBuilder::TagBuilder(PageFile& pages, int keyLength, KeyKind kind, uint32_t recnoBound)
    : FPages(pages),
      FKeyLength(keyLength),
      FFill(KeyCodec::FillByte(kind)),
      FRecnoBound(recnoBound) {}

Status TagBuilder::Write(const Open& open) {
  uint8_t page[Node::kPageSize];
  open.node.Encode(page);
  return FPages.Write(open.offset, page, sizeof page);
}

Status TagBuilder::Add(std::string_view key, uint32_t recno) {
  if (key.size() != static_cast<size_t>(FKeyLength))
    throw std::invalid_argument("index key of the wrong length");
  return Push(0, key, recno, 0);
}

Status TagBuilder::Push(size_t level, std::string_view key, uint32_t recno, uint32_t child) {
  if (level == FLevels.size()) {
    Result<uint32_t> offset = FPages.Allocate();
    if (!offset) return offset.status();
    Node node(level == 0, FKeyLength, FFill);
    node.RaiseRecnoBound(FRecnoBound);
    FLevels.push_back(Open{std::move(node), *offset});
  }
  Node& node = FLevels[level].node;
  node.Insert(node.Count(), key, recno, child);
  if (node.Fits()) return Status::Ok();
  node.Erase(node.Count() - 1);
  Result<uint32_t> next = FPages.Allocate();
  if (!next) return next.status();
  node.SetRight(*next);
  Status s = Write(FLevels[level]);
  if (!s) return s;
  std::string lastKey(node.Key(node.Count() - 1));
  uint32_t lastRecno = node.Recno(node.Count() - 1);
  uint32_t done = FLevels[level].offset;
  Node fresh(level == 0, FKeyLength, FFill);
  fresh.RaiseRecnoBound(FRecnoBound);
  fresh.SetLeft(done);
  fresh.Insert(0, key, recno, child);
  FLevels[level] = Open{std::move(fresh), *next};
  return Push(level + 1, lastKey, lastRecno, done);
}

Result<uint32_t> TagBuilder::Finish() {
  if (FLevels.empty()) {
    Result<uint32_t> offset = FPages.Allocate();
    if (!offset) return offset.status();
    Node node(true, FKeyLength, FFill);
    node.RaiseRecnoBound(FRecnoBound);
    FLevels.push_back(Open{std::move(node), *offset});
  }
  for (size_t level = 0;; ++level) {
    if (level + 1 == FLevels.size()) {
      FLevels[level].node.SetRoot(true);
      Status s = Write(FLevels[level]);
      if (!s) return s;
      uint32_t root = FLevels[level].offset;
      FLevels.clear();
      return root;
    }
    Status s = Write(FLevels[level]);
    if (!s) return s;
    const Node& node = FLevels[level].node;
    std::string lastKey(node.Key(node.Count() - 1));
    s = Push(level + 1, lastKey, node.Recno(node.Count() - 1), FLevels[level].offset);
    if (!s) return s;
  }
}

}  // namespace xb
