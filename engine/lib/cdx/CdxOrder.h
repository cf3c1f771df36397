// One tag of a compound index file as the work area sees it: the Order interface over the
// tag's B+tree, and the key and FOR expressions that give each record its entry.
//
// Descending tags are stored ascending; this class turns every move around for them.
// Seeks and scope comparisons take text as xb_Seek receives it: character text is a prefix
// of the key (cut to the key length); for numeric, date and logical tags the text is
// converted to a key first (a number, YYYYMMDD or empty for the empty date, T/F) and must
// match it whole.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Order.h"
#include "cdx/CdxFile.h"
#include "cdx/KeyCodec.h"
#include "cdx/TagTree.h"
#include "expr/Expression.h"

namespace xb {

class CdxOrder final : public Order {
 public:
  // Parses the tag's expressions against the table's fields. Fails when they do not compile
  // (the file belongs to another table) or do not give a key of the tag's type.
  static Result<std::unique_ptr<CdxOrder>> Make(const CdxTag& tag, IndexedTable& table);
  // The kind and length of the key `expression` gives against `table`'s fields.
  static Status KeyShape(const Expression& expression, KeyKind& kind, int& length);

  void Attach(TagTree& tree) { FTree = &tree, FCursor = TagPosition(); }
  // Called before every read of the tag, so that entries its owner holds back (appended
  // records) are in the tree first.
  void SetBeforeRead(std::function<Status()> hook) { FBeforeRead = std::move(hook); }
  TagTree& Tree() { return *FTree; }
  KeyKind Kind() const { return FKind; }
  int KeyLength() const { return FKeyLength; }
  const CdxTag& Tag() const { return FTag; }

  std::string Name() const override { return FTag.name; }
  std::string KeyExpression() const override { return FTag.header.keyExpression; }
  std::string Condition() const override { return FTag.header.forExpression; }
  std::string KeyField() const override { return FKey->KeyField(); }
  bool Descending() const override { return FTag.header.descending; }
  bool Unique() const override { return FTag.header.Unique(); }
  std::optional<std::string> KeyOf(uint32_t recno, std::string_view record) const override;

  Result<OrderEntry> First() override;
  Result<OrderEntry> Last() override;
  Result<OrderEntry> Next(const OrderEntry& from) override;
  Result<OrderEntry> Prev(const OrderEntry& from) override;
  Result<OrderEntry> Seek(std::string_view text) override;
  bool Matches(std::string_view key, std::string_view text, bool exact) const override;
  int CompareToText(std::string_view key, std::string_view text) const override;
  Result<double> Position(const OrderEntry& entry) override;
  Result<OrderEntry> AtPosition(double position) override;

  // Keeps the tag up to date with one record write (OnAppend: `before` empty).
  Status Update(uint32_t recno, std::optional<std::string_view> before, std::string_view after);
  // Adds the entry of a record that had none (a UNIQUE tag takes no second entry for a key).
  Status Insert(std::string_view key, uint32_t recno);
  // The search text as a key: the full key for numeric, date and logical tags, the cut
  // prefix for character tags.
  std::string TextKey(std::string_view text) const;

 private:
  CdxOrder(const CdxTag& tag, IndexedTable& table) : FTag(tag), FTable(table) {}
  // Ascending moves on the tree; `forward` false steps backwards.
  Result<OrderEntry> Edge(bool low);
  Result<OrderEntry> Step(const OrderEntry& from, bool up);
  Result<OrderEntry> Entry(Result<bool> on);

  CdxTag FTag;
  IndexedTable& FTable;
  std::unique_ptr<Expression> FKey;
  std::unique_ptr<Expression> FFor;
  KeyKind FKind = KeyKind::kCharacter;
  int FKeyLength = 0;
  TagTree* FTree = nullptr;
  TagPosition FCursor;  // the last entry handed out, so that walks step without a search
  std::function<Status()> FBeforeRead;
  Status BeforeRead() { return FBeforeRead ? FBeforeRead() : Status::Ok(); }
};

}  // namespace xb
