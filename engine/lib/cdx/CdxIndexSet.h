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
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Order.h"
#include "cdx/CdxFile.h"
#include "cdx/CdxOrder.h"
#include "cdx/CdxWriter.h"

namespace xb {

class CdxIndexSet final : public IndexSet {
 public:
  static Result<std::unique_ptr<CdxIndexSet>> Open(const std::string& path, IndexedTable& table,
                                                   bool readOnly);
  // Writes an index file without tags; fails when the file exists.
  static Result<std::unique_ptr<CdxIndexSet>> Create(const std::string& path, IndexedTable& table);

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

 private:
  CdxIndexSet(std::string path, IndexedTable& table, bool readOnly)
      : FPath(std::move(path)), FTable(table), FReadOnly(readOnly) {}
  Status Load();
  Status Update(uint32_t recno, std::optional<std::string_view> before, std::string_view after);
  // Rebuilds the file from the table after a failure left a tag inconsistent in memory.
  Status Repair();
  // Whether tag `i` agrees with the table as far as an open can tell; the reason when not.
  Result<bool> Trustworthy(size_t i, std::string& why);
  // Writes the file anew: tag i from the table when build[i], else copied from its tree.
  Status Rewrite(const std::vector<CdxTagSpec>& specs, const std::vector<bool>& build,
                 IndexedTable& table);
  Status WriteAside(const std::string& aside, const std::vector<CdxTagSpec>& specs,
                    const std::vector<bool>& build, IndexedTable& table);

  std::string FPath;
  IndexedTable& FTable;
  bool FReadOnly;
  std::unique_ptr<CdxFile> FFile;
  std::vector<std::unique_ptr<CdxOrder>> FOrders;
  bool FBroken = false;  // a tag's pages in memory are not to be trusted (see Update)
};

}  // namespace xb
