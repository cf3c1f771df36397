// A small table for expression tests: a schema of one field of each kind and a context whose
// record image and settings a test sets directly.
#pragma once

#include <charconv>
#include <string>
#include <vector>

#include "expr/Expression.h"

namespace xbtest {

class ExprTestSchema : public xb::ExprSchema {
 public:
  ExprTestSchema() {
    // name, type, width, decimals; offsets follow the deletion flag in this order.
    Add("ITEM", 'C', 10, 0);
    Add("DESCR", 'C', 15, 0);
    Add("QTY", 'N', 8, 2);
    Add("BLANKN", 'N', 6, 0);
    Add("RATE", 'F', 10, 3);
    Add("DUE", 'D', 8, 0);
    Add("NODATE", 'D', 8, 0);
    Add("PAID", 'L', 1, 0);
    Add("NOTES", 'M', 10, 0);
    Add("RAW", 'X', 4, 0);
  }
  int FindField(std::string_view name) const override {
    for (size_t i = 0; i < FFields.size(); ++i) {
      const std::string& field = FFields[i].name;
      if (field.size() != name.size()) continue;
      bool same = true;
      for (size_t k = 0; k < name.size() && same; ++k)
        same = field[k] == (name[k] >= 'a' && name[k] <= 'z' ? name[k] - 'a' + 'A' : name[k]);
      if (same) return static_cast<int>(i);
    }
    return -1;
  }
  const xb::FieldInfo& Field(int index) const override { return FFields[index]; }
  std::string_view Alias() const override { return "ITEMS"; }
  int RecordLength() const { return FLength; }

 private:
  void Add(const char* name, char type, int width, int decimals) {
    FFields.push_back({name, type, width, decimals, FLength});
    FLength += width;
  }
  std::vector<xb::FieldInfo> FFields;
  int FLength = 1;
};

// The record holds, field by field: "ab-12     ", "Widget Blue    ", "   12.50", blanks,
// "    -0.125", "20240305", blanks, "T", (memo "memo text"), "x1y2".
class ExprTestContext : public xb::ExprContext {
 public:
  ExprTestContext()
      : FRecord(std::string(" ") + "ab-12     " + "Widget Blue    " + "   12.50" + "      " +
                "    -0.125" + "20240305" + "        " + "T" + "          " + "x1y2") {}
  std::string_view Record() const override { return FRecord; }
  uint32_t RecNo() const override { return 7; }
  uint32_t RecCount() const override { return 42; }
  std::string Memo(int field) const override { return field == 8 ? "memo text" : ""; }
  bool Exact() const override { return exact; }
  int Epoch() const override { return epoch; }
  int DateFormat() const override { return dateFormat; }
  bool Century() const override { return century; }
  std::string Today() const override { return "20261210"; }

  // Replaces the stored text of a field (padded or cut to its width).
  void Put(const ExprTestSchema& schema, const char* field, std::string text) {
    const xb::FieldInfo& info = schema.Field(schema.FindField(field));
    text.resize(static_cast<size_t>(info.width), ' ');
    FRecord.replace(static_cast<size_t>(info.offset), static_cast<size_t>(info.width), text);
  }
  void SetDeleted(bool deleted) { FRecord[0] = deleted ? '*' : ' '; }
  void SetRecord(std::string record) { FRecord = std::move(record); }

  bool exact = false;
  int epoch = 1980;
  int dateFormat = 0;
  bool century = true;

 private:
  std::string FRecord;
};

// A value as one comparable text: "C:abc", "N:12.5", "D:20240305", "L:.T.".
inline std::string Render(const xb::Value& value) {
  switch (value.type) {
    case xb::ValueType::kCharacter:
      return "C:" + value.text;
    case xb::ValueType::kDate:
      return "D:" + value.text;
    case xb::ValueType::kLogical:
      return value.logical ? "L:.T." : "L:.F.";
    case xb::ValueType::kNumeric: {
      char buffer[64];
      auto result = std::to_chars(buffer, buffer + sizeof buffer, value.number);
      return "N:" + std::string(buffer, result.ptr);
    }
  }
  return "?";
}

}  // namespace xbtest
