// The B+tree of one tag (or of the tag directory) on the pages of an index file.
//
// Entries are (key, record number) pairs ordered by the key's unsigned bytes, then by record
// number; the tree is stored ascending even for a descending tag (reading it backwards is the
// caller's business), and uniqueness and FOR conditions are applied by the caller too. Keys
// passed in have exactly the tag's key length. Insert and Remove read and write O(log n)
// pages; nodes split when they overflow and merge with a sibling when they run low, and
// every interior entry carries the last key and record number of its child's subtree.
//
// Positions are values the caller keeps. A position taken before the tree changed still
// works: a move from it first finds its entry again by key and record number.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Status.h"
#include "cdx/IndexHeader.h"
#include "cdx/KeyCodec.h"
#include "cdx/Node.h"
#include "cdx/PageFile.h"

namespace xb {

struct TagPosition {
  uint32_t leaf = Node::kNone;  // kNone: off either end of the tag
  size_t index = 0;
  std::string key;
  uint32_t recno = 0;
  uint64_t version = 0;
  // The leaf itself, so that a step inside it needs no lookup, while the tree has not changed
  // (version) and the page cache has dropped no node (epoch) since.
  Node* node = nullptr;
  uint64_t epoch = 0;
  bool Valid() const { return leaf != Node::kNone; }
};

class TagTree {
 public:
  // `headerOffset` is where the tag's header lies (0 for the directory); `header` as read.
  TagTree(PageFile& pages, uint32_t headerOffset, IndexHeader header, KeyKind kind);

  const IndexHeader& Header() const { return FHeader; }
  uint32_t HeaderOffset() const { return FHeaderOffset; }
  int KeyLength() const { return FHeader.keyLength; }
  KeyKind Kind() const { return FKind; }
  // The table's record count: new and changed leaves are sized to hold record numbers up to
  // it, so that appends do not widen every leaf one by one.
  void SetRecnoHint(uint32_t recordCount) { FRecnoHint = recordCount; }

  // Adds the entry; nothing happens when it is there already. A failure part way (a page
  // that could not be read or written) leaves the tree's pages in memory inconsistent: the
  // tree then refuses further changes (Broken()), and its owner must not write its pages but
  // rebuild the tag.
  Status Insert(std::string_view key, uint32_t recno);
  // Removes the entry; false when it was not there.
  Result<bool> Remove(std::string_view key, uint32_t recno);
  bool Broken() const { return FBroken; }

  // Each move returns whether the position now stands on an entry; when it does not, the
  // position is off the end it moved towards.
  Result<bool> First(TagPosition& pos);
  Result<bool> Last(TagPosition& pos);
  Result<bool> Next(TagPosition& pos);
  Result<bool> Prev(TagPosition& pos);
  // The first entry >= (key, recno), or with `after` the first entry > (key, recno). A key
  // shorter than the key length is completed with 0x00 bytes, so that it comes before every
  // key it is a prefix of.
  Result<bool> Seek(std::string_view key, uint32_t recno, bool after, TagPosition& pos);

  // Where the entry lies in the tag, 0.0 (first) to 1.0 (last), estimated from the entry
  // counts of the nodes along its path and of their children: it reads the path and the
  // children of its interior nodes, never the whole tag.
  Result<double> Position(const TagPosition& pos);
  // The entry at relative position `fraction` by the same measure.
  Result<bool> SetPosition(double fraction, TagPosition& pos);

  // Number of entries (read once by walking the leaves, then kept up to date).
  Result<uint64_t> Count();
  // Tells the tree its entry count when the caller knows it (it just wrote the tree).
  void SetCount(uint64_t count) { FCount = static_cast<int64_t>(count); }
  // Reads every node and checks the tree: key order, separators, sibling links at every
  // level, each page used once, equal depth. Returns the entry count.
  Result<uint64_t> Check();
  // The highest record number the last Check() met.
  uint32_t MaxRecno() const { return FMaxRecno; }

 private:
  struct Step {
    uint32_t offset;
    std::shared_ptr<Node> node;
    size_t index;
  };
  using Path = std::vector<Step>;
  // A leaf found for a look, and an index in it: valid until the next page is read.
  struct Spot {
    uint32_t offset;
    Node* node;
    size_t index;
  };

  Result<std::shared_ptr<Node>> Load(uint32_t offset);
  Status DoInsert(std::string_view key, uint32_t recno);
  Result<bool> DoRemove(std::string_view key, uint32_t recno);
  Status Descend(std::string_view key, uint32_t recno, bool after, Path& path);
  // Descend without keeping the path: the leaf and the index in it.
  Status FindLeaf(std::string_view key, uint32_t recno, bool after, Spot& leaf);
  Result<bool> SettleForward(uint32_t leaf, size_t index, TagPosition& pos);
  Result<bool> SettleBackward(uint32_t leaf, size_t index, TagPosition& pos);
  Result<bool> Revalidate(TagPosition& pos, bool& moved);
  Status ChildWeights(const Node& node, std::vector<double>& weights);
  void Fill(TagPosition& pos, uint32_t leaf, size_t index, Node* node) const;
  bool Holds(const TagPosition& pos) const {
    return pos.node && pos.version == FVersion && pos.epoch == FPages.Epoch();
  }
  void UpdateSeparators(Path& path, size_t level);
  Status AfterGrow(Path& path, size_t level);
  Status AfterShrink(Path& path, size_t level);
  Status Unlink(const Node& node);
  Status WriteRoot(uint32_t root);
  size_t MaxSteps() const { return static_cast<size_t>(FPages.Size() / PageFile::kPageSize) + 1; }

  PageFile& FPages;
  uint32_t FHeaderOffset;
  IndexHeader FHeader;
  KeyKind FKind;
  int FFill;
  uint32_t FRecnoHint = 0;
  uint64_t FVersion = 1;
  int64_t FCount = -1;
  uint32_t FMaxRecno = 0;
  bool FBroken = false;
};

}  // namespace xb
