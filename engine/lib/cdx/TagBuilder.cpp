#include "cdx/TagBuilder.h"

#include <stdexcept>
#include <string>

namespace xb {

TagBuilder::TagBuilder(PageFile& pages, int keyLength, KeyKind kind, uint32_t recnoBound)
    : FPages(pages),
      FKeyLength(keyLength),
      FFill(KeyCodec::FillByte(kind)),
      FRecnoBound(recnoBound) {}

Status TagBuilder::Emit(size_t level, const Open& open) {
  uint8_t page[Node::kPageSize];
  if (!open.node.Encode(page)) return Status::Error("index node does not fit its page");
  Status s = FPages.Write(open.offset, page, sizeof page);
  if (!s) return s;
  const Node& node = open.node;
  std::string lastKey(node.Key(node.Count() - 1));
  return Push(level + 1, lastKey, node.Recno(node.Count() - 1), open.offset);
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
    FLevels.push_back(Level{std::nullopt, Open{std::move(node), *offset}});
  }
  Node& node = FLevels[level].filling.node;
  node.Insert(node.Count(), key, recno, child);
  if (node.Fits()) return Status::Ok();
  node.Erase(node.Count() - 1);
  Result<uint32_t> next = FPages.Allocate();
  if (!next) return next.status();
  if (FLevels[level].done) {
    Open done = std::move(*FLevels[level].done);
    FLevels[level].done.reset();
    Status s = Emit(level, done);
    if (!s) return s;
  }
  Level& here = FLevels[level];
  here.filling.node.SetRight(*next);
  Node fresh(level == 0, FKeyLength, FFill);
  fresh.RaiseRecnoBound(FRecnoBound);
  fresh.SetLeft(here.filling.offset);
  fresh.Insert(0, key, recno, child);
  here.done = std::move(here.filling);
  here.filling = Open{std::move(fresh), *next};
  return Status::Ok();
}

void TagBuilder::Balance(Node& left, Node& right) {
  while (left.Count() > 1 && right.UsedBytes() < left.UsedBytes()) {
    size_t last = left.Count() - 1;
    std::string key(left.Key(last));
    uint32_t recno = left.Recno(last);
    uint32_t child = left.IsLeaf() ? 0 : left.Child(last);
    right.Insert(0, key, recno, child);
    if (!right.Fits() || right.UsedBytes() > left.UsedBytes()) {
      right.Erase(0);
      return;
    }
    left.Erase(last);
  }
}

Result<uint32_t> TagBuilder::Finish() {
  if (FLevels.empty()) {
    Result<uint32_t> offset = FPages.Allocate();
    if (!offset) return offset.status();
    Node node(true, FKeyLength, FFill);
    node.RaiseRecnoBound(FRecnoBound);
    FLevels.push_back(Level{std::nullopt, Open{std::move(node), *offset}});
  }
  for (size_t level = 0;; ++level) {
    if (!FLevels[level].done && level + 1 == FLevels.size()) {
      Open& root = FLevels[level].filling;
      root.node.SetRoot(true);
      uint8_t page[Node::kPageSize];
      if (!root.node.Encode(page)) return Status::Error("index node does not fit its page");
      Status s = FPages.Write(root.offset, page, sizeof page);
      if (!s) return s;
      uint32_t offset = root.offset;
      FLevels.clear();
      return offset;
    }
    if (FLevels[level].done) {
      Open done = std::move(*FLevels[level].done);
      FLevels[level].done.reset();
      Balance(done.node, FLevels[level].filling.node);
      Status s = Emit(level, done);
      if (!s) return s;
    }
    Open last = std::move(FLevels[level].filling);
    Status s = Emit(level, last);
    if (!s) return s;
  }
}

}  // namespace xb
