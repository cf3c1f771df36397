// Placeholder for the compound-index driver while there is none: every index file is refused,
// so a table opens with record order only. The index code replaces this file.
#include "Order.h"

namespace xb {
namespace {

class NoIndexDriver final : public IndexDriver {
 public:
  bool Available() const override { return false; }
  Result<std::unique_ptr<IndexSet>> Open(const std::string& path, IndexedTable&, bool) override {
    return Status::Error("index files are not supported: " + path);
  }
  Result<std::unique_ptr<IndexSet>> Create(const std::string& path, IndexedTable&) override {
    return Status::Error("index files are not supported: " + path);
  }
};

}  // namespace

IndexDriver& CompoundIndexDriver() {
  static NoIndexDriver driver;
  return driver;
}

}  // namespace xb
