// WorkArea: one open table as the xb_* entries see it: the current record, the controlling
// order, the query in force, the index bags, and the work area's alias.
//
// Positions: RecNo is the physical record number from 1; past the last record (Eof) it is
// RecCount()+1 and the record image is blank. Moves (GoTop, GoBottom, Skip) follow the
// controlling order and reach only visible records: not deleted while deleted records are
// hidden, satisfying the query, and inside the scope of the controlling order. Go(n) reaches
// any record. Skip backwards past the first visible record stays on it with Bof set.
// Every write of a record goes to the table file, then to every index bag.
// Failures are returned as Status; the position is then at the end (Eof) where a move failed.
// A move in index order that needs nothing of the record it lands on (no query, deleted records
// visible) only notes its number: the record is read when something asks for it. A failed read
// then gives a blank record, or the error to the write or memo call that needed it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Order.h"
#include "Status.h"
#include "dbf/DbfTable.h"
#include "expr/Expression.h"

namespace xb {

class WorkArea final : public ExprSchema, public IndexedTable {
 public:
  // Opens the table at `path` (and its production index file when there is one).
  static Result<std::unique_ptr<WorkArea>> Open(const std::string& path, std::string alias,
                                                AccessMode mode, CommitLevel level);
  ~WorkArea() override;
  // Commits and releases the files. The area is unusable afterwards.
  Status Close();

  const std::string& AliasName() const { return FAlias; }
  DbfTable& Table() { return *FTable; }
  const std::vector<FieldInfo>& Fields() const { return FTable->Fields(); }

  // ExprSchema
  int FindField(std::string_view name) const override;
  const FieldInfo& Field(int index) const override { return FTable->Fields()[size_t(index)]; }
  std::string_view Alias() const override { return FAlias; }
  // IndexedTable
  const ExprSchema& Schema() const override { return *this; }
  uint32_t RecordCount() const override { return FTable->Count(); }
  Status Scan(const std::function<Status(uint32_t, std::string_view)>& visit) override;
  std::unique_ptr<ExprContext> ContextFor(uint32_t recno, std::string_view record) const override;

  // Position.
  uint32_t RecNo() const { return FRecNo; }
  bool Eof() const { return FEof; }
  bool Bof() const { return FBof; }
  // The current record. A move in tag order leaves it unread until something looks at it;
  // when that read fails the record reads as blanks: ReadCurrent() tells the failure, and
  // keeps telling it at each look, since the record stays unread.
  std::string_view Record() const;
  Status ReadCurrent() const;
  Status GoTop();
  Status GoBottom();
  Status Skip(int64_t count);
  // Goes to record `recno`; a number outside 1..RecCount goes to the end and fails.
  Status Go(uint32_t recno);
  // Visible records in the controlling order.
  Result<uint32_t> CountVisible();

  // Writes.
  Status PutRecord(std::string_view image);
  Status ReplaceField(int field, std::string_view text);
  Status SetDeletedMark(bool deleted);
  Status AppendBlank();
  // Appends `image` (RecordLength bytes) without moving; for bulk appends.
  Status AppendRecord(std::string_view image);
  // Drops the appends not yet committed beyond record `count` (>= the committed count) and
  // goes to the top.
  Status DropAppends(uint32_t count);
  Status Commit();
  Status Pack();
  Status Zap();

  // Memos of the current record.
  Result<std::string> Memo(int field);
  Status PutMemo(int field, std::string_view data);

  // Expressions on the current record (defined with the expression code).
  Result<std::unique_ptr<Expression>> Parse(std::string_view text) const;
  Value Evaluate(const Expression& expression) const;
  // Sets the query (empty text removes it). True when a record satisfies it; the position is
  // then the first such record in the controlling order, else the end.
  Result<bool> SetQuery(std::string_view condition);
  const std::string& QueryText() const { return FQueryText; }
  Result<uint32_t> QueryCount();

  // Orders: 0 is record order, 1.. the tags of the bags in order.
  int OrderCount() const;
  int CurrentOrder() const { return FOrder; }
  // nullptr for order 0 or a number out of range.
  Order* OrderAt(int order);
  IndexSet* BagOfOrder(int order);
  Status SetOrder(int order);
  int FindTag(std::string_view tag);
  Result<int> IndexTag(const std::string& file, const TagDefinition& definition);
  Result<int> OpenIndex(const std::string& file);
  Status CloseIndexes();
  Status Reindex();
  Result<bool> Seek(std::string_view text);
  bool Found() const { return FFound; }
  Status SetScope(std::optional<std::string> low, std::optional<std::string> high);
  const std::optional<std::string>& ScopeLow() const { return FScopeLow; }
  const std::optional<std::string>& ScopeHigh() const { return FScopeHigh; }
  Result<double> Position();
  Status GoPosition(double position);

 private:
  WorkArea() = default;
  bool PassesFilters(uint32_t recno, std::string_view record) const;
  bool InScope(const OrderEntry& entry) const;
  void SetEnd();
  Status Load(uint32_t recno);
  Status WriteCurrent(std::string_view image);
  Status NotifyChange(uint32_t recno, std::string_view before, std::string_view after);
  Status RebuildIndexes();
  // Steps from the current position to the next visible record (forward or back); false when
  // there is none (the position is then unchanged).
  Result<bool> Step(bool forward);
  Result<bool> Edge(bool top);
  // GoTop or GoBottom: onto the first or last visible record, or to the end when there is none.
  Status GoEdge(bool top);
  Result<bool> StepPhysical(bool forward, uint32_t from);
  Result<bool> StepOrdered(bool forward, OrderEntry from);
  Status PositionOn(uint32_t recno);
  // The position in the controlling order is that of record `recno`, key to be taken.
  void SetEntryOf(uint32_t recno);
  const OrderEntry& CurrentEntry();
  std::string ProductionIndexPath() const;

  std::unique_ptr<DbfTable> FTable;
  std::string FAlias;
  CommitLevel FLevel = CommitLevel::kNormal;
  mutable std::string FRecord;  // the current record image (when FUnread is false)
  mutable bool FUnread = false;
  std::string FScratch;  // the candidate record of a move
  std::string FImage;    // a record image being built for a write
  std::string FBefore;   // the record before a write, for the index bags
  uint32_t FRecNo = 1;
  bool FEof = true;
  bool FBof = true;
  std::vector<std::unique_ptr<IndexSet>> FBags;
  int FOrder = 0;
  OrderEntry FEntry;  // the position in the controlling order (see CurrentEntry)
  // FEntry.key is still to be taken from the current record: a write or a Go that is not
  // followed by a move in the order needs no key.
  bool FEntryKeyUnset = false;
  std::unique_ptr<Expression> FQuery;
  std::string FQueryText;
  std::optional<std::string> FScopeLow, FScopeHigh;
  bool FFound = false;
  bool FClosed = false;
};

}  // namespace xb
