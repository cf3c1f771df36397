// The compound-index driver: index files in the compact compound format.
#include "Order.h"
#include "cdx/CdxIndexSet.h"

namespace xb {
namespace {

class CdxDriver final : public IndexDriver {
 public:
  Result<std::unique_ptr<IndexSet>> Open(const std::string& path, IndexedTable& table,
                                         bool readOnly) override {
    auto set = CdxIndexSet::Open(path, table, readOnly);
    if (!set) return set.status();
    return std::unique_ptr<IndexSet>(std::move(*set));
  }
  Result<std::unique_ptr<IndexSet>> Create(const std::string& path, IndexedTable& table) override {
    auto set = CdxIndexSet::Create(path, table);
    if (!set) return set.status();
    return std::unique_ptr<IndexSet>(std::move(*set));
  }
};

}  // namespace

IndexDriver& CompoundIndexDriver() {
  static CdxDriver driver;
  return driver;
}

}  // namespace xb
