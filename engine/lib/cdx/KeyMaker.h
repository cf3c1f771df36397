// The entries a tag being built or checked gets from the records: for each record the key
// its key expression gives, encoded as the tag stores it (KeyCodec), or none when the FOR
// condition excludes the record. The keys are those CdxOrder::KeyOf gives; they are made
// straight into the caller's buffer, and where the key is nothing but bytes of the record
// (character fields, UPPER() of them, joined with +) by copying those bytes, without
// evaluating the expression.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Order.h"
#include "Status.h"
#include "cdx/KeyCodec.h"
#include "expr/Expression.h"

namespace xb {

class KeyMaker {
 public:
  // Parses the expressions against `table`'s fields; `tag` names the tag in the messages.
  // Fails as CdxOrder::Make does. `table` must outlive the maker.
  static Result<KeyMaker> Make(const std::string& tag, const std::string& keyExpression,
                               const std::string& forExpression, const IndexedTable& table);

  KeyKind Kind() const { return FKind; }
  int KeyLength() const { return FKeyLength; }

  // Writes the key of record `recno`, whose image is `record`, to `out` (KeyLength bytes).
  // False, with `out` left as it was, when the FOR condition excludes the record.
  bool KeyOf(uint32_t recno, std::string_view record, char* out) const;

 private:
  explicit KeyMaker(const IndexedTable& table) : FTable(&table) {}

  const IndexedTable* FTable;
  std::unique_ptr<Expression> FKey;
  std::unique_ptr<Expression> FFor;
  KeyKind FKind = KeyKind::kCharacter;
  int FKeyLength = 0;
  std::vector<RecordSlice> FSlices;  // empty when the key must be evaluated
  size_t FSlicesEnd = 0;             // the record length the slices need
  std::unique_ptr<Value> FValue;     // scratch for evaluated keys
};

}  // namespace xb
