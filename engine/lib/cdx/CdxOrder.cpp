#include "cdx/CdxOrder.h"

#include <cstdlib>
#include <cstring>

#include "dbf/FieldText.h"

namespace xb {

Status CdxOrder::KeyShape(const Expression& expression, KeyKind& kind, int& length) {
  switch (expression.Type()) {
    case ValueType::kCharacter:
      kind = KeyKind::kCharacter;
      length = expression.FixedLength();
      if (length < 1 || length > 240)
        return Status::Error("the key expression has no fixed length between 1 and 240");
      return Status::Ok();
    case ValueType::kNumeric:
      kind = KeyKind::kNumeric, length = 8;
      return Status::Ok();
    case ValueType::kDate:
      kind = KeyKind::kDate, length = 8;
      return Status::Ok();
    case ValueType::kLogical:
      kind = KeyKind::kLogical, length = 1;
      return Status::Ok();
  }
  return Status::Error("the key expression has no type an index can hold");
}

Result<std::unique_ptr<CdxOrder>> CdxOrder::Make(const CdxTag& tag, IndexedTable& table) {
  std::unique_ptr<CdxOrder> order(new CdxOrder(tag, table));
  auto key = Expression::Parse(tag.header.keyExpression, table.Schema());
  if (!key)
    return Status::Error("tag " + tag.name + ": key expression \"" + tag.header.keyExpression +
                         "\": " + key.status().message());
  order->FKey = std::move(*key);
  Status s = KeyShape(*order->FKey, order->FKind, order->FKeyLength);
  if (!s) return Status::Error("tag " + tag.name + ": " + s.message());
  if (!tag.header.forExpression.empty()) {
    auto condition = Expression::Parse(tag.header.forExpression, table.Schema());
    if (!condition)
      return Status::Error("tag " + tag.name + ": FOR expression \"" + tag.header.forExpression +
                           "\": " + condition.status().message());
    if ((*condition)->Type() != ValueType::kLogical)
      return Status::Error("tag " + tag.name + ": the FOR expression is not logical");
    order->FFor = std::move(*condition);
  }
  return order;
}

std::optional<std::string> CdxOrder::KeyOf(uint32_t recno, std::string_view record) const {
  std::unique_ptr<ExprContext> context = FTable.ContextFor(recno, record);
  if (FFor) {
    Value pass = FFor->Evaluate(*context);
    if (!pass.logical) return std::nullopt;
  }
  Value v = FKey->Evaluate(*context);
  switch (FKind) {
    case KeyKind::kNumeric:
      return KeyCodec::Number(v.number);
    case KeyKind::kDate:
      return KeyCodec::Date(v.text);
    case KeyKind::kLogical:
      return KeyCodec::Logical(v.logical);
    default:
      return KeyCodec::Character(v.text, FKeyLength);
  }
}

std::string CdxOrder::TextKey(std::string_view text) const {
  switch (FKind) {
    case KeyKind::kNumeric:
      return KeyCodec::Number(ParseNumber(text));
    case KeyKind::kDate: {
      std::string t(text);
      while (!t.empty() && t.back() == ' ') t.pop_back();
      return KeyCodec::Date(t.size() == 8 ? t : std::string(8, ' '));
    }
    case KeyKind::kLogical: {
      std::string t(text);
      size_t at = t.find_first_not_of(" .");
      char c = at == std::string::npos ? 'F' : t[at];
      return KeyCodec::Logical(c == 'T' || c == 't' || c == 'Y' || c == 'y');
    }
    default:
      return std::string(text.substr(0, static_cast<size_t>(FKeyLength)));
  }
}

Result<OrderEntry> CdxOrder::Entry(Result<bool> on) {
  if (!on) {
    FCursor = TagPosition();
    return on.status();
  }
  if (!*on) return OrderEntry();
  return OrderEntry{FCursor.key, FCursor.recno};
}

Result<OrderEntry> CdxOrder::Edge(bool low) {
  return Entry(low ? FTree->First(FCursor) : FTree->Last(FCursor));
}

// The entry after (up) or before `from` in ascending order.
Result<OrderEntry> CdxOrder::Step(const OrderEntry& from, bool up) {
  if (!from.valid()) return Edge(up);
  if (!(FCursor.Valid() && FCursor.recno == from.recno && FCursor.key == from.key)) {
    std::string key = from.key;
    key.resize(static_cast<size_t>(FKeyLength), '\0');
    Result<bool> on = FTree->Seek(key, from.recno, up, FCursor);
    if (up) return Entry(on);
    if (!on) return Entry(on);
    if (!*on) return Edge(false);  // every entry comes before `from`
    return Entry(FTree->Prev(FCursor));
  }
  return Entry(up ? FTree->Next(FCursor) : FTree->Prev(FCursor));
}

Result<OrderEntry> CdxOrder::First() {
  if (Status s = BeforeRead(); !s) return s;
  return Edge(!Descending());
}
Result<OrderEntry> CdxOrder::Last() {
  if (Status s = BeforeRead(); !s) return s;
  return Edge(Descending());
}
Result<OrderEntry> CdxOrder::Next(const OrderEntry& from) {
  if (Status s = BeforeRead(); !s) return s;
  return Step(from, !Descending());
}
Result<OrderEntry> CdxOrder::Prev(const OrderEntry& from) {
  if (Status s = BeforeRead(); !s) return s;
  return Step(from, Descending());
}

Result<OrderEntry> CdxOrder::Seek(std::string_view text) {
  if (Status s = BeforeRead(); !s) return s;
  if (!Descending()) {
    // First entry whose key begins with (or comes after) the text: the text completed with
    // the lowest bytes. A character key is the text itself, cut to the key's length.
    if (FKind == KeyKind::kCharacter)
      return Entry(FTree->Seek(text.substr(0, static_cast<size_t>(FKeyLength)), 0, false, FCursor));
    return Entry(FTree->Seek(TextKey(text), 0, false, FCursor));
  }
  std::string key = TextKey(text);
  // Descending: the last entry, in ascending order, whose key does not come after the text.
  std::string high = key;
  high.resize(static_cast<size_t>(FKeyLength), '\xFF');
  Result<bool> on = FTree->Seek(high, 0xFFFFFFFF, true, FCursor);
  if (!on) return Entry(on);
  if (!*on) return Edge(false);
  return Entry(FTree->Prev(FCursor));
}

bool CdxOrder::Matches(std::string_view key, std::string_view text, bool exact) const {
  if (FKind != KeyKind::kCharacter) return key == TextKey(text);
  std::string_view want = text.substr(0, static_cast<size_t>(FKeyLength));
  if (key.size() < want.size() || key.compare(0, want.size(), want) != 0) return false;
  if (!exact) return true;
  return key.find_first_not_of(' ', want.size()) == std::string_view::npos;
}

int CdxOrder::CompareToText(std::string_view key, std::string_view text) const {
  std::string want = TextKey(text);
  size_t n = std::min(key.size(), want.size());
  int c = std::memcmp(key.data(), want.data(), n);
  if (c == 0 && FKind != KeyKind::kCharacter && key.size() != want.size())
    c = key.size() < want.size() ? -1 : 1;
  c = c < 0 ? -1 : (c > 0 ? 1 : 0);
  return Descending() ? -c : c;
}

Result<double> CdxOrder::Position(const OrderEntry& entry) {
  if (!entry.valid()) return 1.0;
  if (Status s = BeforeRead(); !s) return s;
  TagPosition pos;
  std::string key = entry.key;
  key.resize(static_cast<size_t>(FKeyLength), '\0');
  Result<bool> on = FTree->Seek(key, entry.recno, false, pos);
  if (!on) return on.status();
  if (!*on) return Descending() ? 0.0 : 1.0;
  Result<double> p = FTree->Position(pos);
  if (!p) return p;
  return Descending() ? 1.0 - *p : *p;
}

Result<OrderEntry> CdxOrder::AtPosition(double position) {
  if (Status s = BeforeRead(); !s) return s;
  if (Descending()) position = 1.0 - position;
  return Entry(FTree->SetPosition(position, FCursor));
}

Status CdxOrder::Update(uint32_t recno, std::optional<std::string_view> before,
                        std::string_view after) {
  std::optional<std::string> oldKey = before ? KeyOf(recno, *before) : std::nullopt;
  std::optional<std::string> newKey = KeyOf(recno, after);
  if (oldKey == newKey) return Status::Ok();
  FTree->SetRecnoHint(FTable.RecordCount());
  if (oldKey) {
    Result<bool> removed = FTree->Remove(*oldKey, recno);
    if (!removed) return removed.status();
  }
  if (newKey) return Insert(*newKey, recno);
  return Status::Ok();
}

Status CdxOrder::Insert(std::string_view key, uint32_t recno) {
  if (Unique()) {
    // One entry per key: a record whose key another record holds gets none (nor does it get
    // one later when that record changes; a rebuild puts it back).
    TagPosition probe;
    Result<bool> on = FTree->Seek(key, 0, false, probe);
    if (!on) return on.status();
    if (*on && probe.key == key) return Status::Ok();
  }
  return FTree->Insert(key, recno);
}

}  // namespace xb
