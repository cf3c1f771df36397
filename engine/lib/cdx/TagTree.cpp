#include "cdx/TagTree.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <unordered_set>

#include "cdx/Bytes.h"

namespace xb {
namespace {

constexpr size_t kMaxDepth = 32;

int Compare(std::string_view a, uint32_t ra, std::string_view b, uint32_t rb) {
  int c = std::memcmp(a.data(), b.data(), a.size());
  if (c != 0) return c;
  return ra < rb ? -1 : (ra > rb ? 1 : 0);
}

Status Corrupt(const std::string& what, uint32_t offset) {
  return Status::Error("index tree: " + what + " at page " + std::to_string(offset));
}

}  // namespace

TagTree::TagTree(PageFile& pages, uint32_t headerOffset, IndexHeader header, KeyKind kind)
    : FPages(pages),
      FHeaderOffset(headerOffset),
      FHeader(std::move(header)),
      FKind(kind),
      FFill(KeyCodec::FillByte(kind)) {}

Result<std::shared_ptr<Node>> TagTree::Load(uint32_t offset) {
  return FPages.Load(offset, FHeader.keyLength, FFill);
}

Status TagTree::Descend(std::string_view key, uint32_t recno, bool after, Path& path) {
  path.clear();
  uint32_t offset = FHeader.root;
  for (size_t depth = 0; depth < kMaxDepth; ++depth) {
    Result<std::shared_ptr<Node>> node = Load(offset);
    if (!node) return node.status();
    std::shared_ptr<Node> n = *node;
    size_t index = n->LowerBound(key, recno, after);
    if (n->IsLeaf()) {
      path.push_back(Step{offset, n, index});
      return Status::Ok();
    }
    if (n->Count() == 0) return Corrupt("empty interior node", offset);
    if (index == n->Count()) index = n->Count() - 1;
    path.push_back(Step{offset, n, index});
    offset = n->Child(index);
  }
  return Corrupt("tree deeper than " + std::to_string(kMaxDepth), offset);
}

Status TagTree::FindLeaf(std::string_view key, uint32_t recno, bool after, Spot& leaf) {
  uint32_t offset = FHeader.root;
  // A node remembers the cache's nodes for its children, so that the way down needs no
  // lookup by page while the cache keeps them, and the next node's lines are asked for as
  // soon as it is known.
  Result<Node*> node = FPages.Peek(offset, FHeader.keyLength, FFill);
  for (size_t depth = 0; depth < kMaxDepth; ++depth) {
    if (!node) return node.status();
    const Node& n = **node;
    if (n.IsLeaf()) {
      leaf = Spot{offset, *node, n.LowerBound(key, recno, after)};
      return Status::Ok();
    }
    size_t index = n.LowerBound(key, recno, after);
    if (n.Count() == 0) return Corrupt("empty interior node", offset);
    if (index == n.Count()) index = n.Count() - 1;
    offset = n.Child(index);
    uint64_t epoch = FPages.Epoch();
    if (Node* child = n.CachedChild(index, epoch)) {
      child->PrefetchSearch();
      child->referenced = true;
      node = child;
      continue;
    }
    node = FPages.Peek(offset, FHeader.keyLength, FFill);
    // A read may have made room by dropping nodes, this one among them.
    if (node && FPages.Epoch() == epoch) n.RememberChild(index, *node, epoch);
  }
  return Corrupt("tree deeper than " + std::to_string(kMaxDepth), offset);
}

void TagTree::Fill(TagPosition& pos, uint32_t leaf, size_t index, Node* node) const {
  pos.leaf = leaf;
  pos.index = index;
  pos.key.resize(static_cast<size_t>(FHeader.keyLength));
  node->CopyKey(index, pos.key.data());
  pos.recno = node->Recno(index);
  pos.version = FVersion;
  pos.node = node;
  pos.epoch = FPages.Epoch();
}

// Stands on entry `index` of `leaf`, or on the first entry after it in the following leaves.
Result<bool> TagTree::SettleForward(uint32_t leaf, size_t index, TagPosition& pos) {
  for (size_t steps = 0; leaf != Node::kNone && steps < MaxSteps(); ++steps) {
    Result<std::shared_ptr<Node>> node = Load(leaf);
    if (!node) return node.status();
    if (!(*node)->IsLeaf()) return Corrupt("sibling of a leaf is not a leaf", leaf);
    if (index < (*node)->Count()) {
      Fill(pos, leaf, index, node->get());
      return true;
    }
    leaf = (*node)->Right();
    index = 0;
  }
  if (leaf != Node::kNone) return Corrupt("leaf links run in a circle", leaf);
  pos = TagPosition();
  pos.version = FVersion;
  return false;
}

// Stands on entry `index` of `leaf` (SIZE_MAX: its last), or on the last entry before it.
Result<bool> TagTree::SettleBackward(uint32_t leaf, size_t index, TagPosition& pos) {
  for (size_t steps = 0; leaf != Node::kNone && steps < MaxSteps(); ++steps) {
    Result<std::shared_ptr<Node>> node = Load(leaf);
    if (!node) return node.status();
    if (!(*node)->IsLeaf()) return Corrupt("sibling of a leaf is not a leaf", leaf);
    size_t count = (*node)->Count();
    if (count > 0 && (index == SIZE_MAX || index < count)) {
      Fill(pos, leaf, index == SIZE_MAX ? count - 1 : index, node->get());
      return true;
    }
    leaf = (*node)->Left();
    index = SIZE_MAX;
  }
  if (leaf != Node::kNone) return Corrupt("leaf links run in a circle", leaf);
  pos = TagPosition();
  pos.version = FVersion;
  return false;
}

Result<bool> TagTree::First(TagPosition& pos) {
  Spot leaf;
  Status s = FindLeaf(std::string(FHeader.keyLength, '\0'), 0, false, leaf);
  if (!s) return s;
  return SettleForward(leaf.offset, 0, pos);
}

Result<bool> TagTree::Last(TagPosition& pos) {
  Spot leaf;
  Status s = FindLeaf(std::string(FHeader.keyLength, '\xFF'), 0xFFFFFFFF, true, leaf);
  if (!s) return s;
  return SettleBackward(leaf.offset, SIZE_MAX, pos);
}

Result<bool> TagTree::Seek(std::string_view key, uint32_t recno, bool after, TagPosition& pos) {
  Spot leaf;
  Status s;
  if (key.size() == FHeader.keyLength) {
    s = FindLeaf(key, recno, after, leaf);
  } else {
    char full[IndexHeader::kMaxKeyLength];
    size_t length = FHeader.keyLength, given = std::min(key.size(), length);
    std::memcpy(full, key.data(), given);
    std::memset(full + given, 0, length - given);
    s = FindLeaf(std::string_view(full, length), recno, after, leaf);
  }
  if (!s) return s;
  if (leaf.index < leaf.node->Count()) {
    Fill(pos, leaf.offset, leaf.index, leaf.node);
    return true;
  }
  return SettleForward(leaf.node->Right(), 0, pos);
}

// Brings a position taken before the last change back onto its entry, or, when that entry
// is gone, onto the entry that now follows it (`moved` then tells the caller).
Result<bool> TagTree::Revalidate(TagPosition& pos, bool& moved) {
  moved = false;
  if (pos.version == FVersion) return true;
  std::string key = pos.key;
  uint32_t recno = pos.recno;
  Result<bool> on = Seek(key, recno, false, pos);
  if (!on) return on;
  moved = !*on || pos.key != key || pos.recno != recno;
  return *on;
}

Result<bool> TagTree::Next(TagPosition& pos) {
  if (Holds(pos) && pos.index + 1 < pos.node->Count()) {
    Fill(pos, pos.leaf, pos.index + 1, pos.node);
    return true;
  }
  if (!pos.Valid()) return First(pos);
  bool moved;
  Result<bool> on = Revalidate(pos, moved);
  if (!on || !*on || moved) return on;
  return SettleForward(pos.leaf, pos.index + 1, pos);
}

Result<bool> TagTree::Prev(TagPosition& pos) {
  if (Holds(pos) && pos.index > 0 && pos.index <= pos.node->Count()) {
    Fill(pos, pos.leaf, pos.index - 1, pos.node);
    return true;
  }
  if (!pos.Valid()) return Last(pos);
  bool moved;
  Result<bool> on = Revalidate(pos, moved);
  if (!on) return on;
  if (!*on) return Last(pos);  // the entry and all after it are gone
  if (pos.index > 0) return SettleBackward(pos.leaf, pos.index - 1, pos);
  Result<std::shared_ptr<Node>> leaf = Load(pos.leaf);
  if (!leaf) return leaf.status();
  return SettleBackward((*leaf)->Left(), SIZE_MAX, pos);
}

// The weights of a node's children for relative positions: the entry count of each child,
// one level down, so that a short last child does not count as much as a full one.
Status TagTree::ChildWeights(const Node& node, std::vector<double>& weights) {
  weights.clear();
  for (size_t i = 0; i < node.Count(); ++i) {
    Result<std::shared_ptr<Node>> child = Load(node.Child(i));
    if (!child) return child.status();
    weights.push_back(static_cast<double>(std::max<size_t>((*child)->Count(), 1)));
  }
  return Status::Ok();
}

Result<double> TagTree::Position(const TagPosition& pos) {
  if (!pos.Valid()) return 1.0;
  Path path;
  Status s = Descend(pos.key, pos.recno, false, path);
  if (!s) return s;
  double fraction = 0.0, scale = 1.0;
  bool last = true;
  std::vector<double> weights;
  for (const Step& step : path) {
    size_t count = step.node->Count();
    if (count == 0) break;
    size_t index = step.index < count ? step.index : count - 1;
    last = last && index + 1 == count;
    if (step.node->IsLeaf()) {
      fraction += scale * static_cast<double>(index) / static_cast<double>(count);
      break;
    }
    s = ChildWeights(*step.node, weights);
    if (!s) return s;
    double total = 0.0, before = 0.0;
    for (size_t i = 0; i < weights.size(); ++i) {
      if (i < index) before += weights[i];
      total += weights[i];
    }
    fraction += scale * before / total;
    scale *= weights[index] / total;
  }
  return last ? 1.0 : fraction;
}

Result<bool> TagTree::SetPosition(double fraction, TagPosition& pos) {
  if (!(fraction > 0.0)) return First(pos);
  if (fraction >= 1.0) return Last(pos);
  uint32_t offset = FHeader.root;
  std::vector<double> weights;
  for (size_t depth = 0; depth < kMaxDepth; ++depth) {
    Result<std::shared_ptr<Node>> node = Load(offset);
    if (!node) return node.status();
    const Node& n = **node;
    size_t count = n.Count();
    if (n.IsLeaf()) {
      // A little slack so that a fraction read back by Position lands on the same entry.
      size_t index = static_cast<size_t>(std::floor(fraction * static_cast<double>(count) + 1e-9));
      if (index >= count) index = count == 0 ? 0 : count - 1;
      return SettleForward(offset, index, pos);
    }
    if (count == 0) return Corrupt("empty interior node", offset);
    Status s = ChildWeights(n, weights);
    if (!s) return s;
    double total = 0.0;
    for (double w : weights) total += w;
    double target = fraction * total, before = 0.0;
    size_t index = 0;
    while (index + 1 < count && before + weights[index] <= target + 1e-9 * total)
      before += weights[index++];
    fraction = std::clamp((target - before) / weights[index], 0.0, 1.0);
    offset = n.Child(index);
  }
  return Corrupt("tree too deep", offset);
}

Result<uint64_t> TagTree::Count() {
  if (FCount >= 0) return static_cast<uint64_t>(FCount);
  Path path;
  Status s = Descend(std::string(FHeader.keyLength, '\0'), 0, false, path);
  if (!s) return s;
  uint64_t total = 0;
  uint32_t leaf = path.back().offset;
  size_t steps = 0;
  for (; leaf != Node::kNone && steps < MaxSteps(); ++steps) {
    Result<std::shared_ptr<Node>> node = Load(leaf);
    if (!node) return node.status();
    total += (*node)->Count();
    leaf = (*node)->Right();
  }
  if (leaf != Node::kNone) return Corrupt("leaf links run in a circle", leaf);
  FCount = static_cast<int64_t>(total);
  return total;
}

Status TagTree::WriteRoot(uint32_t root) {
  FHeader.root = root;
  uint8_t bytes[4];
  PutLe32(bytes, root);
  return FPages.Write(FHeaderOffset, bytes, 4);
}

void TagTree::UpdateSeparators(Path& path, size_t level) {
  for (size_t l = level; l > 0; --l) {
    const Node& child = *path[l].node;
    Node& parent = *path[l - 1].node;
    size_t pi = path[l - 1].index;
    if (child.Count() == 0) return;
    std::string_view last = child.Key(child.Count() - 1);
    uint32_t lastRecno = child.Recno(child.Count() - 1);
    if (parent.Key(pi) == last && parent.Recno(pi) == lastRecno) return;
    parent.Set(pi, last, lastRecno);
    parent.dirty = true;
    if (pi + 1 != parent.Count()) return;
  }
}

Status TagTree::Insert(std::string_view key, uint32_t recno) {
  if (key.size() != FHeader.keyLength) throw std::invalid_argument("index key of the wrong length");
  if (FBroken) return Status::Error("index tag damaged by an earlier failure");
  Status s = DoInsert(key, recno);
  if (!s) FBroken = true;
  return s;
}

Status TagTree::DoInsert(std::string_view key, uint32_t recno) {
  Path path;
  Status s = Descend(key, recno, false, path);
  if (!s) return s;
  Step& leaf = path.back();
  if (leaf.index < leaf.node->Count() && leaf.node->Key(leaf.index) == key &&
      leaf.node->Recno(leaf.index) == recno)
    return Status::Ok();
  leaf.node->Insert(leaf.index, key, recno);
  leaf.node->RaiseRecnoBound(FRecnoHint);
  leaf.node->dirty = true;
  ++FVersion;
  if (FCount >= 0) ++FCount;
  return AfterGrow(path, path.size() - 1);
}

Status TagTree::AfterGrow(Path& path, size_t level) {
  Step& step = path[level];
  Node& node = *step.node;
  if (node.Fits()) {
    UpdateSeparators(path, level);
    return Status::Ok();
  }
  // Split. Entries added at the right end of a level (ascending appends) leave the left node
  // full; elsewhere the node is halved, then the cut is moved until both halves fit.
  size_t count = node.Count();
  bool atEnd = node.Right() == Node::kNone && step.index + 1 == count;
  Node right(node.IsLeaf(), node.KeyLength(), FFill);
  Node left = node;
  size_t cut = atEnd ? count - 1 : count / 2;
  for (;;) {
    left = node;
    right = Node(node.IsLeaf(), node.KeyLength(), FFill);
    left.MoveTail(cut, right);
    if (!left.Fits() && cut > 1)
      --cut;
    else if (!right.Fits() && cut + 1 < count)
      ++cut;
    else
      break;
  }
  Result<uint32_t> rightOffset = FPages.Allocate();
  if (!rightOffset) return rightOffset.status();
  right.SetLeft(step.offset);
  right.SetRight(node.Right());
  right.SetRoot(false);
  left.SetRight(*rightOffset);
  if (node.Right() != Node::kNone) {
    Result<std::shared_ptr<Node>> next = Load(node.Right());
    if (!next) return next.status();
    (*next)->SetLeft(*rightOffset);
    (*next)->dirty = true;
  }
  bool wasRoot = node.IsRoot();
  left.SetRoot(false);
  node = std::move(left);
  node.dirty = true;
  std::shared_ptr<Node> rightNode = FPages.Adopt(*rightOffset, std::move(right));
  if (level == 0 || wasRoot) {
    Result<uint32_t> rootOffset = FPages.Allocate();
    if (!rootOffset) return rootOffset.status();
    Node root(false, node.KeyLength(), FFill);
    root.SetRoot(true);
    root.Insert(0, node.Key(node.Count() - 1), node.Recno(node.Count() - 1), step.offset);
    root.Insert(1, rightNode->Key(rightNode->Count() - 1), rightNode->Recno(rightNode->Count() - 1),
                *rightOffset);
    FPages.Adopt(*rootOffset, std::move(root));
    return WriteRoot(*rootOffset);
  }
  Step& up = path[level - 1];
  up.node->Set(up.index, node.Key(node.Count() - 1), node.Recno(node.Count() - 1));
  up.node->Insert(up.index + 1, rightNode->Key(rightNode->Count() - 1),
                  rightNode->Recno(rightNode->Count() - 1), *rightOffset);
  up.node->dirty = true;
  up.index += 1;  // the path now runs through the right half, which holds the last entry
  return AfterGrow(path, level - 1);
}

Result<bool> TagTree::Remove(std::string_view key, uint32_t recno) {
  if (key.size() != FHeader.keyLength) throw std::invalid_argument("index key of the wrong length");
  if (FBroken) return Status::Error("index tag damaged by an earlier failure");
  Result<bool> removed = DoRemove(key, recno);
  if (!removed) FBroken = true;
  return removed;
}

Result<bool> TagTree::DoRemove(std::string_view key, uint32_t recno) {
  Path path;
  Status s = Descend(key, recno, false, path);
  if (!s) return s;
  Step& leaf = path.back();
  if (leaf.index >= leaf.node->Count() || leaf.node->Key(leaf.index) != key ||
      leaf.node->Recno(leaf.index) != recno)
    return false;
  leaf.node->Erase(leaf.index);
  leaf.node->dirty = true;
  ++FVersion;
  if (FCount >= 0) --FCount;
  s = AfterShrink(path, path.size() - 1);
  if (!s) return s;
  return true;
}

Status TagTree::Unlink(const Node& node) {
  if (node.Left() != Node::kNone) {
    Result<std::shared_ptr<Node>> left = Load(node.Left());
    if (!left) return left.status();
    (*left)->SetRight(node.Right());
    (*left)->dirty = true;
  }
  if (node.Right() != Node::kNone) {
    Result<std::shared_ptr<Node>> right = Load(node.Right());
    if (!right) return right.status();
    (*right)->SetLeft(node.Left());
    (*right)->dirty = true;
  }
  return Status::Ok();
}

Status TagTree::AfterShrink(Path& path, size_t level) {
  Step& step = path[level];
  Node& node = *step.node;
  if (!node.Fits()) return AfterGrow(path, level);  // a foreign leaf re-encoded wider
  if (level == 0) {
    // The root: an interior root with one child hands the root over to it.
    while (!step.node->IsLeaf() && step.node->Count() <= 1) {
      if (step.node->Count() == 0) {
        Node empty(true, FHeader.keyLength, FFill);
        empty.SetRoot(true);
        *step.node = std::move(empty);
        step.node->dirty = true;
        return Status::Ok();
      }
      uint32_t childOffset = step.node->Child(0);
      Result<std::shared_ptr<Node>> child = Load(childOffset);
      if (!child) return child.status();
      (*child)->SetRoot(true);
      (*child)->SetLeft(Node::kNone);
      (*child)->SetRight(Node::kNone);
      (*child)->dirty = true;
      Status s = FPages.Release(step.offset);
      if (!s) return s;
      s = WriteRoot(childOffset);
      if (!s) return s;
      step = Step{childOffset, *child, 0};
    }
    return Status::Ok();
  }
  Step& up = path[level - 1];
  Node& parent = *up.node;
  if (node.Count() == 0) {
    Status s = Unlink(node);
    if (!s) return s;
    s = FPages.Release(step.offset);
    if (!s) return s;
    parent.Erase(up.index);
    parent.dirty = true;
    if (parent.Count() > 0 && up.index == parent.Count()) {
      up.index = parent.Count() - 1;
      UpdateSeparators(path, level - 1);
    }
    return AfterShrink(path, level - 1);
  }
  UpdateSeparators(path, level);
  if (node.UsedBytes() * 4 >= node.Capacity() || parent.Count() < 2) return Status::Ok();
  // Merge with a neighbour under the same parent when both fit in one node.
  size_t a = up.index + 1 < parent.Count() ? up.index : up.index - 1;
  size_t b = a + 1;
  Result<std::shared_ptr<Node>> leftNode = Load(parent.Child(a));
  if (!leftNode) return leftNode.status();
  Result<std::shared_ptr<Node>> rightNode = Load(parent.Child(b));
  if (!rightNode) return rightNode.status();
  if ((*leftNode)->IsLeaf() != (*rightNode)->IsLeaf())
    return Corrupt("siblings on different levels", parent.Child(b));
  Node merged = **leftNode;
  merged.Append(**rightNode);
  if (!merged.Fits()) return Status::Ok();
  uint32_t rightOffset = parent.Child(b);
  Node gone = **rightNode;
  merged.SetRight(gone.Right());
  merged.dirty = true;
  **leftNode = std::move(merged);
  if (gone.Right() != Node::kNone) {
    Result<std::shared_ptr<Node>> next = Load(gone.Right());
    if (!next) return next.status();
    (*next)->SetLeft(parent.Child(a));
    (*next)->dirty = true;
  }
  Status s = FPages.Release(rightOffset);
  if (!s) return s;
  parent.Set(a, parent.Key(b), parent.Recno(b));
  parent.Erase(b);
  parent.dirty = true;
  up.index = a;
  return AfterShrink(path, level - 1);
}

Result<uint64_t> TagTree::Check() {
  struct Frame {
    uint32_t offset;
    size_t depth;
  };
  std::unordered_set<uint32_t> seen;
  std::vector<std::vector<uint32_t>> levels;
  uint64_t entries = 0;
  uint32_t maxRecno = 0;
  int leafDepth = -1;
  // Every entry from here on must be above (floorKey, floorRecno).
  std::string floorKey(static_cast<size_t>(FHeader.keyLength), '\0');
  std::string key(floorKey);
  uint32_t floorRecno = 0;
  bool haveFloor = false;

  // Depth-first, children in order, with an explicit stack of (node, next child, separator).
  struct Level {
    uint32_t offset;
    std::shared_ptr<Node> node;
    size_t next;
  };
  std::vector<Level> stack;
  auto enter = [&](uint32_t offset, size_t depth) -> Status {
    if (depth >= kMaxDepth) return Corrupt("tree too deep", offset);
    if (!seen.insert(offset).second) return Corrupt("page reached twice", offset);
    Result<std::shared_ptr<Node>> node = Load(offset);
    if (!node) return node.status();
    const Node& n = **node;
    if (levels.size() <= depth) levels.resize(depth + 1);
    levels[depth].push_back(offset);
    if (!n.Ordered()) return Corrupt("keys out of order", offset);
    if (n.IsLeaf()) {
      if (leafDepth < 0) leafDepth = static_cast<int>(depth);
      if (leafDepth != static_cast<int>(depth))
        return Corrupt("leaves at different depths", offset);
      if (n.Count() > 0) {
        n.CopyKey(0, key.data());
        if (haveFloor && Compare(key, n.Recno(0), floorKey, floorRecno) <= 0)
          return Corrupt("keys out of order across nodes", offset);
        n.CopyKey(n.Count() - 1, floorKey.data());
        floorRecno = n.Recno(n.Count() - 1);
        haveFloor = true;
      }
      entries += n.Count();
      for (size_t i = 0; i < n.Count(); ++i) maxRecno = std::max(maxRecno, n.Recno(i));
      return Status::Ok();
    }
    if (n.Count() == 0) return Corrupt("empty interior node", offset);
    stack.push_back(Level{offset, *node, 0});
    return Status::Ok();
  };
  Status s = enter(FHeader.root, 0);
  if (!s) return s;
  while (!stack.empty()) {
    Level& top = stack.back();
    if (top.next > 0) {
      // The child just finished must end at or below its separator.
      size_t i = top.next - 1;
      top.node->CopyKey(i, key.data());
      if (haveFloor && Compare(floorKey, floorRecno, key, top.node->Recno(i)) > 0)
        return Corrupt("separator below its child's keys", top.offset);
      floorKey = key;
      floorRecno = top.node->Recno(i);
      haveFloor = true;
    }
    if (top.next == top.node->Count()) {
      stack.pop_back();
      continue;
    }
    uint32_t child = top.node->Child(top.next++);
    s = enter(child, stack.size());
    if (!s) return s;
  }
  for (const std::vector<uint32_t>& level : levels) {
    for (size_t i = 0; i < level.size(); ++i) {
      Result<std::shared_ptr<Node>> node = Load(level[i]);
      if (!node) return node.status();
      uint32_t left = i == 0 ? Node::kNone : level[i - 1];
      uint32_t right = i + 1 == level.size() ? Node::kNone : level[i + 1];
      if ((*node)->Left() != left || (*node)->Right() != right)
        return Corrupt("sibling links do not match the tree", level[i]);
    }
  }
  FCount = static_cast<int64_t>(entries);
  FMaxRecno = maxRecno;
  return entries;
}

}  // namespace xb
