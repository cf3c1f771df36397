// A compound index file opened for a table: its tags as orders, kept up to date with every
// record write, and rewritten as a whole (aside, then renamed over the old file) when a tag
// is created or replaced and when the table is packed, zapped or reindexed.
//
// Opening checks every tag against the table: its tree (structure, order, links), its
// expressions against the table's fields, its key length, and every entry against the keys
// the records give (a scan of the table and a sort per tag: an index another program left
// behind, or one a crash cut off from its table, is found whatever record it concerns). A
// tag whose definition is readable but whose entries do not fit the table is rebuilt from the
// table (only when the table is writable); a file whose definitions cannot be used is refused
// with the reason. The table file itself is never written here.
//
// Appended records do not go into the trees one by one: their entries wait in a batch of
// fixed size (kPendingBytes), where the usual append-then-write of a new record costs one
// key evaluation and one entry, not an insert, a removal and an insert. The batch goes into the
// tags before any read of them, before any other change, at every flush and when it is full:
// sorted, and, when it is large beside the tags (a bulk append), merged with them into a rewritten
// file (aside, then renamed) whose leaves are packed full; otherwise inserted entry by entry.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Order.h"
#include "cdx/CdxFile.h"
#include "cdx/CdxOrder.h"
#include "cdx/CdxWriter.h"
#include "cdx/KeyMaker.h"
#include "cdx/KeySorter.h"

namespace xb {

class CdxIndexSet final : public IndexSet {
 public:
  static Result<std::unique_ptr<CdxIndexSet>> Open(const std::string& path, IndexedTable& table,
                                                   bool readOnly);
  // Writes an index file without tags; fails when the file exists.
  static Result<std::unique_ptr<CdxIndexSet>> Create(const std::string& path, IndexedTable& table);

  ~CdxIndexSet() override;

  std::string Path() const override { return FPath; }
  int TagCount() const override { return static_cast<int>(FOrders.size()); }
  Order& Tag(int index) override { return *FOrders[static_cast<size_t>(index)]; }
  Result<int> CreateTag(const TagDefinition& definition, IndexedTable& table) override;
  Status OnAppend(uint32_t recno, std::string_view record) override;
  Status OnChange(uint32_t recno, std::string_view before, std::string_view after) override;
  Status Rebuild(IndexedTable& table) override;
  Status Flush(bool sync) override;

  // Node cache size of every index file opened from now on (for tests and benchmarks).
  static void SetCacheNodes(size_t nodes);
  // Memory for the entries of appended records waiting to go into the tags (sorting them
  // takes as much again for a moment).
  static constexpr size_t kPendingBytes = size_t{24} << 20;

 private:
  CdxIndexSet(std::string path, IndexedTable& table, bool readOnly);
  // Opens the file; with `keep`, the orders stay the same objects (a read of one of them may
  // be what rewrote the file) when the file holds the same tags.
  Status Load(bool keep = false);
  // Puts the waiting entries of appended records into the tags.
  Status Settle();
  void DropPending();
  // Puts the keys of FLastAppend into the batches.
  void TakeLast();
  void Retire();
  Status Update(uint32_t recno, std::optional<std::string_view> before, std::string_view after);
  // Rebuilds the file from the table after a failure left a tag inconsistent in memory.
  Status Repair();
  // Whether tag `i` agrees with the table as far as an open can tell; the reason when not.
  Result<bool> Trustworthy(size_t i, std::string& why);
  // Writes the file anew: tag i from the table when build[i], else copied from its tree.
  // With `sameTags` (the definitions did not change) the orders stay the same objects.
  Status Rewrite(const std::vector<CdxTagSpec>& specs, const std::vector<bool>& build,
                 IndexedTable& table, bool sameTags = true);
  // `written`: the entries of each tag.
  Status WriteAside(const std::string& aside, const std::vector<CdxTagSpec>& specs,
                    const std::vector<bool>& build, IndexedTable& table,
                    std::vector<uint64_t>& written);
  Status Failed(const Status& cause);

  std::string FPath;
  IndexedTable& FTable;
  bool FReadOnly;
  std::unique_ptr<CdxFile> FFile;
  std::vector<std::unique_ptr<CdxOrder>> FOrders;
  std::vector<std::unique_ptr<CdxOrder>> FRetired;  // see Retire
  bool FBroken = false;  // a tag's pages in memory are not to be trusted (see Update)
  std::vector<std::unique_ptr<KeySorter>> FPending;   // per tag, the waiting entries
  std::vector<std::unique_ptr<KeyMaker>> FKeyMakers;  // per tag; empty: CdxOrder::KeyOf
  // The last record appended, whose keys are not taken yet (it is usually written again at
  // once); 0 when none.
  uint32_t FLastAppend = 0;
  std::string FLastImage;
  size_t FPendingCount = 0;
  bool FSettling = false;
};

}  // namespace xb
