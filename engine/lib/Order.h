// Orders and index bags: how a work area walks its records in something other than record
// order, and how it keeps every index file up to date as records change.
//
// Contract between a work area and its indexes:
// - A work area owns its bags (IndexSet, one per index file). The orders of a work area are the
//   tags of its bags, numbered from 1 in bag order, then tag order; order 0 is record order and
//   is built into the work area (it has no Order object).
// - The work area tells every bag about every record write, after the record reached the table
//   file: OnAppend for a new record, OnChange for a rewrite (including a change of the deletion
//   flag, byte 0, which a FOR condition such as "!DELETED()" may read), Rebuild after a pack or
//   zap (the record numbers changed) and on reindex. Flush runs at every commit of the table.
// - Keys are the bytes the order sorts by (already converted: UPPER applied, numbers and dates
//   encoded, character keys padded to the key length). An OrderEntry with recno 0 means "none"
//   (past either end of the order).
// - Positions are (key, recno) pairs. Next and Prev step from any position, also from one that
//   is not in the order (a record whose key changed, or one its FOR condition excludes), so the
//   work area can move on from its current record without asking whether that record is
//   indexed.
// - Orders present their entries in their own direction: for a descending tag First is the
//   highest key. Deleted-record hiding, queries and scopes are applied by the work area on top
//   of the order; an order never skips a record for those reasons.
// - Nothing here throws for bad data: a damaged index file gives an error Status.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Status.h"
#include "expr/Expression.h"

namespace xb {

struct OrderEntry {
  std::string key;
  uint32_t recno = 0;  // 0: no entry
  bool valid() const { return recno != 0; }
};

class Order {
 public:
  virtual ~Order() = default;

  virtual std::string Name() const = 0;           // tag name, upper case
  virtual std::string KeyExpression() const = 0;  // as stored in the index file
  virtual std::string Condition() const = 0;      // FOR expression, empty when none
  // The one field the key is built on ("ITEM_OUT" for "UPPER(ITEM_OUT)"), else empty.
  virtual std::string KeyField() const = 0;
  virtual bool Descending() const = 0;
  virtual bool Unique() const = 0;

  // The key a record has in this order, or nullopt when its FOR condition excludes it.
  virtual std::optional<std::string> KeyOf(uint32_t recno, std::string_view record) const = 0;

  virtual Result<OrderEntry> First() = 0;
  virtual Result<OrderEntry> Last() = 0;
  // The entry after (before) the position `from` in this order's direction.
  virtual Result<OrderEntry> Next(const OrderEntry& from) = 0;
  virtual Result<OrderEntry> Prev(const OrderEntry& from) = 0;

  // The first entry, in this order's direction, that does not come before the search text:
  // the text as xb_Seek gives it, converted by the order to its key form (a number text for a
  // numeric tag, YYYYMMDD for a date tag, T/F for a logical one; character text as given, cut
  // to the key length, and not upper-cased). None when every key comes before it.
  virtual Result<OrderEntry> Seek(std::string_view text) = 0;
  // Whether `key` matches the search text: with exact off a character key matches when it
  // begins with the text; with exact on only when nothing but blanks follows the text.
  // Numeric, date and logical keys match when equal.
  virtual bool Matches(std::string_view key, std::string_view text, bool exact) const = 0;
  // Where `key` stands against the search text in this order's direction: < 0 before the
  // keys that match it, 0 matching (exact off), > 0 after them. Scopes use it.
  virtual int CompareToText(std::string_view key, std::string_view text) const = 0;

  // Relative position of an entry, 0.0 for the first to 1.0 for the last, and back.
  virtual Result<double> Position(const OrderEntry& entry) = 0;
  virtual Result<OrderEntry> AtPosition(double position) = 0;
};

// What an index sees of the table it belongs to.
class IndexedTable {
 public:
  virtual ~IndexedTable() = default;
  virtual const ExprSchema& Schema() const = 0;
  virtual uint32_t RecordCount() const = 0;
  // Calls `visit` for every record, in record order; stops at the first error.
  virtual Status Scan(
      const std::function<Status(uint32_t recno, std::string_view record)>& visit) = 0;
  // An expression context on one record image, with the engine's current settings, for
  // evaluating key expressions and FOR conditions. The image must outlive the use.
  virtual std::unique_ptr<ExprContext> ContextFor(uint32_t recno,
                                                  std::string_view record) const = 0;
};

// The definition of a new tag (xb_IndexTag).
struct TagDefinition {
  std::string name;
  std::string keyExpression;
  std::string condition;  // empty: none
  bool descending = false;
  bool unique = false;
};

// One index file with its tags.
class IndexSet {
 public:
  virtual ~IndexSet() = default;
  virtual std::string Path() const = 0;
  virtual int TagCount() const = 0;
  virtual Order& Tag(int index) = 0;  // 0-based, index < TagCount()
  // Creates the tag, replacing one of the same name, and builds it from every record of
  // `table`. Returns its 0-based index in this bag.
  virtual Result<int> CreateTag(const TagDefinition& definition, IndexedTable& table) = 0;

  virtual Status OnAppend(uint32_t recno, std::string_view record) = 0;
  virtual Status OnChange(uint32_t recno, std::string_view before, std::string_view after) = 0;
  // Rebuilds every tag from the table (after pack, zap, reindex). Writes aside and renames,
  // so a crash leaves the old file or the new one.
  virtual Status Rebuild(IndexedTable& table) = 0;
  // Makes every change so far part of the file; with `sync` on disk, too.
  virtual Status Flush(bool sync) = 0;
};

// Opens and creates index files of one format.
class IndexDriver {
 public:
  virtual ~IndexDriver() = default;
  // False for the placeholder: index files are then left alone (a table opens without them).
  virtual bool Available() const { return true; }
  // Opens an existing index file for `table`; `readOnly` when the table was opened read-only.
  virtual Result<std::unique_ptr<IndexSet>> Open(const std::string& path, IndexedTable& table,
                                                 bool readOnly) = 0;
  // Creates a new, empty index file (no tags) for `table`, replacing none: fails when it exists.
  virtual Result<std::unique_ptr<IndexSet>> Create(const std::string& path,
                                                   IndexedTable& table) = 0;
};

// The compound-index driver of the engine. Defined by the index code; until that exists, a
// placeholder that refuses every open and create (NoIndexDriver.cpp, to be removed by it).
IndexDriver& CompoundIndexDriver();

}  // namespace xb
