#include "cdx/TagBuilder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

namespace xb {
namespace {

constexpr size_t kLeafSpace = Node::kPageSize - 24;

}  // namespace

TagBuilder::TagBuilder(PageFile& pages, int keyLength, KeyKind kind, uint32_t recnoBound)
    : FPages(pages),
      FKeyLength(keyLength),
      FFill(KeyCodec::FillByte(kind)),
      FRecnoBound(recnoBound) {}

TagBuilder::Leaf TagBuilder::NewLeaf(uint32_t offset, Leaf recycled) const {
  Leaf leaf = std::move(recycled);
  leaf.offset = offset;
  leaf.left = leaf.right = Node::kNone;
  leaf.keys.clear();
  leaf.entries.clear();
  leaf.stored = 0;
  leaf.bound = FRecnoBound;
  leaf.entryBytes = static_cast<size_t>(Node::EntryBytes(FKeyLength, FRecnoBound));
  return leaf;
}

size_t TagBuilder::TrailOf(const char* key) const {
  if (FFill < 0) return 0;
  size_t n = static_cast<size_t>(FKeyLength);
  const uint64_t fill = 0x0101010101010101ull * static_cast<uint8_t>(FFill);
  for (uint64_t word; n >= 8; n -= 8) {
    std::memcpy(&word, key + n - 8, 8);
    if (word != fill) break;
  }
  while (n > 0 && static_cast<uint8_t>(key[n - 1]) == FFill) --n;
  return static_cast<size_t>(FKeyLength) - n;
}

bool TagBuilder::Append(Leaf& leaf, std::string_view key, uint32_t recno) const {
  const size_t length = static_cast<size_t>(FKeyLength);
  const size_t trail = TrailOf(key.data());
  const size_t count = leaf.entries.size();
  size_t dup = 0;
  if (count > 0) {
    const char* previous = leaf.keys.data() + (count - 1) * length;
    const size_t room = length - trail;
    for (uint64_t a, b; dup + 8 <= room; dup += 8) {
      std::memcpy(&a, previous + dup, 8);
      std::memcpy(&b, key.data() + dup, 8);
      if (a != b) break;
    }
    while (dup < room && previous[dup] == key[dup]) ++dup;
  }
  const size_t stored = length - trail - dup;
  uint32_t bound = std::max(leaf.bound, recno);
  size_t entryBytes = bound == leaf.bound
                          ? leaf.entryBytes
                          : static_cast<size_t>(Node::EntryBytes(FKeyLength, bound));
  if ((count + 1) * entryBytes + leaf.stored + stored > kLeafSpace) return false;
  leaf.keys.append(key.data(), length);
  leaf.entries.push_back(
      Node::LeafEntry{recno, static_cast<uint16_t>(dup), static_cast<uint16_t>(trail)});
  leaf.stored += stored;
  leaf.bound = bound;
  leaf.entryBytes = entryBytes;
  return true;
}

Status TagBuilder::EmitLeaf(const Leaf& leaf, bool root) {
  uint8_t page[Node::kPageSize];
  Node::EncodeLeaf(page, root, leaf.left, leaf.right, FKeyLength, leaf.bound, leaf.keys.data(),
                   leaf.entries.data(), leaf.entries.size());
  Status s = FPages.Write(leaf.offset, page, sizeof page);
  if (!s || root) return s;
  const size_t length = static_cast<size_t>(FKeyLength);
  const size_t last = leaf.entries.size() - 1;
  std::string lastKey(leaf.keys, last * length, length);
  return Push(0, lastKey, leaf.entries[last].recno, leaf.offset);
}

Status TagBuilder::Add(std::string_view key, uint32_t recno) {
  if (key.size() != static_cast<size_t>(FKeyLength))
    throw std::invalid_argument("index key of the wrong length");
  if (!FLeaf) {
    Result<uint32_t> offset = FPages.Allocate();
    if (!offset) return offset.status();
    FLeaf = NewLeaf(*offset, Leaf());
  }
  if (Append(*FLeaf, key, recno)) return Status::Ok();
  Result<uint32_t> next = FPages.Allocate();
  if (!next) return next.status();
  Leaf recycled;
  if (FLeafDone) {
    Status s = EmitLeaf(*FLeafDone, false);
    if (!s) return s;
    recycled = std::move(*FLeafDone);
    FLeafDone.reset();
  }
  FLeaf->right = *next;
  FLeafDone = std::move(FLeaf);
  FLeaf = NewLeaf(*next, std::move(recycled));
  FLeaf->left = FLeafDone->offset;
  Append(*FLeaf, key, recno);  // one key always fits an empty leaf
  return Status::Ok();
}

void TagBuilder::Balance(Leaf& left, Leaf& right) const {
  const size_t length = static_cast<size_t>(FKeyLength);
  while (left.entries.size() > 1 && right.Used() < left.Used()) {
    const size_t last = left.entries.size() - 1;
    const Node::LeafEntry moving = left.entries[last];
    const char* key = left.keys.data() + last * length;
    // Moved to the front, the entry stores its key whole but for the fill bytes, and the
    // entry that was first there may now share a prefix with it.
    size_t stored = right.stored + (length - moving.trail);
    uint16_t followerDup = 0;
    if (!right.entries.empty()) {
      const char* follower = right.keys.data();
      const size_t room = length - right.entries[0].trail;
      while (followerDup < room && key[followerDup] == follower[followerDup]) ++followerDup;
      stored -= followerDup;
    }
    uint32_t bound = std::max(right.bound, moving.recno);
    size_t entryBytes = static_cast<size_t>(Node::EntryBytes(FKeyLength, bound));
    size_t used = (right.entries.size() + 1) * entryBytes + stored;
    if (used > kLeafSpace || used > left.Used()) return;
    right.keys.insert(0, key, length);
    if (!right.entries.empty()) right.entries[0].dup = followerDup;
    right.entries.insert(right.entries.begin(), Node::LeafEntry{moving.recno, 0, moving.trail});
    right.stored = stored;
    right.bound = bound;
    right.entryBytes = entryBytes;
    left.stored -= length - moving.dup - moving.trail;
    left.keys.resize(last * length);
    left.entries.pop_back();
  }
}

Status TagBuilder::Emit(size_t level, const Open& open) {
  uint8_t page[Node::kPageSize];
  if (!open.node.Encode(page)) return Status::Error("index node does not fit its page");
  Status s = FPages.Write(open.offset, page, sizeof page);
  if (!s) return s;
  const Node& node = open.node;
  std::string lastKey(node.Key(node.Count() - 1));
  return Push(level + 1, lastKey, node.Recno(node.Count() - 1), open.offset);
}

Status TagBuilder::Push(size_t level, std::string_view key, uint32_t recno, uint32_t child) {
  if (level == FLevels.size()) {
    Result<uint32_t> offset = FPages.Allocate();
    if (!offset) return offset.status();
    Node node(false, FKeyLength, FFill);
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
  Node fresh(false, FKeyLength, FFill);
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
  if (!FLeaf) {
    Result<uint32_t> offset = FPages.Allocate();
    if (!offset) return offset.status();
    FLeaf = NewLeaf(*offset, Leaf());
  }
  if (!FLeafDone && FLevels.empty()) {
    Status s = EmitLeaf(*FLeaf, true);
    if (!s) return s;
    uint32_t offset = FLeaf->offset;
    FLeaf.reset();
    return offset;
  }
  if (FLeafDone) {
    Balance(*FLeafDone, *FLeaf);
    Status s = EmitLeaf(*FLeafDone, false);
    if (!s) return s;
    FLeafDone.reset();
  }
  Status s = EmitLeaf(*FLeaf, false);
  if (!s) return s;
  FLeaf.reset();
  for (size_t level = 0;; ++level) {
    if (!FLevels[level].done && level + 1 == FLevels.size()) {
      Open& root = FLevels[level].filling;
      root.node.SetRoot(true);
      uint8_t page[Node::kPageSize];
      if (!root.node.Encode(page)) return Status::Error("index node does not fit its page");
      s = FPages.Write(root.offset, page, sizeof page);
      if (!s) return s;
      uint32_t offset = root.offset;
      FLevels.clear();
      return offset;
    }
    if (FLevels[level].done) {
      Open done = std::move(*FLevels[level].done);
      FLevels[level].done.reset();
      Balance(done.node, FLevels[level].filling.node);
      s = Emit(level, done);
      if (!s) return s;
    }
    Open last = std::move(FLevels[level].filling);
    s = Emit(level, last);
    if (!s) return s;
  }
}

}  // namespace xb
