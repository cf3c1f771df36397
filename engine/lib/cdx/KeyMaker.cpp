#include "cdx/KeyMaker.h"

#include <algorithm>
#include <cstring>

#include "cdx/CdxOrder.h"

namespace xb {
namespace {

// Copies `width` bytes with a-z turned into A-Z and every other byte as it is, eight bytes
// at a time: a byte's bit 0x20 goes when its low seven bits lie in 'a'..'z' and its own top
// bit is clear.
void UpperCopy(char* out, const char* from, size_t width) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kTops = 0x8080808080808080ull;
  size_t i = 0;
  for (; i + 8 <= width; i += 8) {
    uint64_t x;
    std::memcpy(&x, from + i, 8);
    uint64_t low = x & ~kTops;
    uint64_t fromA = low + kOnes * (0x80 - 'a');      // top bit set where low >= 'a'
    uint64_t pastZ = low + kOnes * (0x80 - 'z' - 1);  // top bit set where low > 'z'
    uint64_t lower = fromA & ~pastZ & ~x & kTops;
    x ^= lower >> 2;
    std::memcpy(out + i, &x, 8);
  }
  for (; i < width; ++i) {
    char c = from[i];
    out[i] = static_cast<unsigned char>(c - 'a') < 26 ? static_cast<char>(c - 'a' + 'A') : c;
  }
}

}  // namespace

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
        UpperCopy(out, from, width);
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
