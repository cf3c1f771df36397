#include "cdx/KeyMaker.h"

#include <algorithm>
#include <cstring>

#include "cdx/CdxOrder.h"

namespace xb {

Result<KeyMaker> KeyMaker::Make(const std::string& tag, const std::string& keyExpression,
                                const std::string& forExpression, const IndexedTable& table) {
  KeyMaker maker(table);
  auto key = Expression::Parse(keyExpression, table.Schema());
  if (!key)
    return Status::Error("tag " + tag + ": key expression \"" + keyExpression +
                         "\": " + key.status().message());
  maker.FKey = std::move(*key);
  Status s = CdxOrder::KeyShape(*maker.FKey, maker.FKind, maker.FKeyLength);
  if (!s) return Status::Error("tag " + tag + ": " + s.message());
  if (!forExpression.empty()) {
    auto condition = Expression::Parse(forExpression, table.Schema());
    if (!condition)
      return Status::Error("tag " + tag + ": FOR expression \"" + forExpression +
                           "\": " + condition.status().message());
    if ((*condition)->Type() != ValueType::kLogical)
      return Status::Error("tag " + tag + ": the FOR expression is not logical");
    maker.FFor = std::move(*condition);
  }
  if (maker.FKind == KeyKind::kCharacter) {
    std::vector<RecordSlice> slices = maker.FKey->RecordSlices();
    size_t total = 0;
    for (const RecordSlice& slice : slices) {
      total += static_cast<size_t>(slice.width);
      maker.FSlicesEnd = std::max(
          maker.FSlicesEnd, static_cast<size_t>(slice.offset) + static_cast<size_t>(slice.width));
    }
    // The key is the slices whole; anything else (there is nothing else today) is evaluated.
    if (total == static_cast<size_t>(maker.FKeyLength)) maker.FSlices = std::move(slices);
  }
  maker.FValue = std::make_unique<Value>();
  return maker;
}

bool KeyMaker::KeyOf(uint32_t recno, std::string_view record, char* out) const {
  std::unique_ptr<ExprContext> context;
  if (FFor) {
    context = FTable->ContextFor(recno, record);
    FFor->Evaluate(*context, *FValue);
    if (!FValue->logical) return false;
  }
  if (!FSlices.empty() && record.size() >= FSlicesEnd) {
    for (const RecordSlice& slice : FSlices) {
      const char* from = record.data() + slice.offset;
      size_t width = static_cast<size_t>(slice.width);
      if (slice.upper) {
        for (size_t i = 0; i < width; ++i) {
          char c = from[i];
          out[i] = static_cast<unsigned char>(c - 'a') < 26 ? static_cast<char>(c - 'a' + 'A') : c;
        }
      } else {
        std::memcpy(out, from, width);
      }
      out += width;
    }
    return true;
  }
  if (!context) context = FTable->ContextFor(recno, record);
  Value& v = *FValue;
  FKey->Evaluate(*context, v);
  std::string key;
  switch (FKind) {
    case KeyKind::kNumeric:
      key = KeyCodec::Number(v.number);
      break;
    case KeyKind::kDate:
      key = KeyCodec::Date(v.text);
      break;
    case KeyKind::kLogical:
      key = KeyCodec::Logical(v.logical);
      break;
    case KeyKind::kCharacter: {
      size_t length = static_cast<size_t>(FKeyLength);
      size_t copied = std::min(v.text.size(), length);
      std::memcpy(out, v.text.data(), copied);
      std::memset(out + copied, ' ', length - copied);
      return true;
    }
  }
  std::memcpy(out, key.data(), static_cast<size_t>(FKeyLength));
  return true;
}

}  // namespace xb
