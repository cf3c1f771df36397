#include "TTranslatedRows.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

const char* const kItemKey = "UPPER(ITEM)";
// Columns beyond these are left to the table: no ledger table comes near them.
const int32_t kMaxDecimals = 15;
const int32_t kMaxWidth = 500;
// Below this magnitude the product of a value and its scale is off by far less than a quarter.
const double kMaxScaled = 0x1p50;

double Scale(int32_t decimals) {
  double s = 1;
  for (int32_t i = 0; i < decimals; ++i) s *= 10;
  return s;
}

int32_t DigitCount(uint64_t value) {
  int32_t n = 1;
  while (value >= 10) {
    value /= 10;
    ++n;
  }
  return n;
}

}  // namespace

TTranslatedRows::TTranslatedRows(TXbTable& table, TStringField& item, TStringField& descript,
                                 TFloatField& number, TFloatField& gst, TFloatField& amount,
                                 size_t capacity)
    : FTable(table),
      FItem(item),
      FDescript(descript),
      FNumber(number),
      FGst(gst),
      FAmount(amount),
      FCapacity(capacity),
      FKeyWidth(table.FieldWidth("ITEM")) {
  // Held rows stand for the table's own search only when the table is ordered by the item key
  // and reads back what it stores; otherwise every line goes through the table, which also
  // raises the errors of a closed or unordered table at the line that meets them.
  if (FCapacity == 0 || !FTable.Active() || FTable.OrderNo() <= 0 || FTable.IsEncrypted(0) ||
      strcasecmp(FTable.IndexKey().c_str(), kItemKey) != 0) {
    FCapacity = 0;
    return;
  }
  FCodeLimit = std::min(FKeyWidth, FItem.Size());
  FNumberColumn = ColumnOf(FNumber);
  FGstColumn = ColumnOf(FGst);
  FAmountColumn = ColumnOf(FAmount);
  if (!FNumberColumn.Usable || !FGstColumn.Usable || !FAmountColumn.Usable) FCapacity = 0;
}

TTranslatedRows::TColumn TTranslatedRows::ColumnOf(const TField& field) const {
  TColumn c;
  const auto& columns = FTable.Columns();
  if (field.DataType() != ftFloat || field.FieldNo() < 1 ||
      field.FieldNo() > static_cast<int32_t>(columns.size()))
    return c;
  const TFieldInfo& info = columns[static_cast<size_t>(field.FieldNo() - 1)];
  c.Width = info.Width;
  c.Decimals = info.Decimals;
  c.Usable = info.BufferOffset >= 0 && c.Width >= 1 && c.Width <= kMaxWidth && c.Decimals >= 0 &&
             c.Decimals <= kMaxDecimals;
  return c;
}

// The table stores a number as its exact decimal rounded to the column's decimals, halves to
// even, in C notation, and reads it back as the nearest double; a text wider than the column is
// stored as asterisks, which read back as 0. When the
// scaled value lies within a quarter of an integer m, that text is m with the decimal point
// placed (and a minus sign whenever the value is negative, "-0.00" included), and its nearest
// double is m divided by the scale, both exact in double.
bool TTranslatedRows::Stored(double value, const TColumn& column, double& stored) {
  if (!column.Usable || !std::isfinite(value)) return false;
  const double scale = Scale(column.Decimals);
  const double scaled = value * scale;
  if (!(std::fabs(scaled) < kMaxScaled)) return false;
  const double m = std::nearbyint(scaled);
  if (std::fabs(scaled - m) >= 0.25) return false;
  const bool negative = std::signbit(value);
  const uint64_t magnitude = static_cast<uint64_t>(std::fabs(m));
  const int32_t length = (negative ? 1 : 0) + DigitCount(magnitude / static_cast<uint64_t>(scale)) +
                         (column.Decimals > 0 ? column.Decimals + 1 : 0);
  if (length > column.Width) return false;
  stored = m == 0 ? (negative ? -0.0 : 0.0) : m / scale;
  return true;
}

bool TTranslatedRows::Plain(const std::string& code) const {
  if (static_cast<int32_t>(code.size()) > FCodeLimit) return false;
  if (!code.empty() && code.back() == ' ') return false;
  return std::all_of(code.begin(), code.end(),
                     [](char c) { return static_cast<unsigned char>(c) >= 32; });
}

void TTranslatedRows::Add(const std::string& code, const std::string& descript, int32_t count,
                          int64_t gst, int64_t amount) {
  if (FCapacity == 0 || !Plain(code)) {
    Forget();
    AddThroughTable(code, descript, count, gst, amount);
    return;
  }
  auto it = FRows.find(code);
  if (it == FRows.end()) {
    if (FRows.size() >= FCapacity) Forget();
    std::string key = code;
    key.append(static_cast<size_t>(FKeyWidth) - code.size(), ' ');
    if (FTable.Seek(key)) {
      // A row written out earlier: held again from what the table reads back.
      TRow row;
      row.RecNo = FTable.RecNo();
      row.Number = FNumber.AsFloat();
      row.Gst = FGst.AsFloat();
      row.Amount = FAmount.AsFloat();
      it = FRows.emplace(code, row).first;
    } else {
      AppendRow(code, descript, count, gst, amount);
      FLast = nullptr;
      TRow row;
      row.RecNo = FTable.RecNo();
      if (Stored(count, FNumberColumn, row.Number) && Stored(gst / 10000.0, FGstColumn, row.Gst) &&
          Stored(amount / 10000.0, FAmountColumn, row.Amount))
        FRows.emplace(code, row);
      return;
    }
  }
  TRow& row = it->second;
  double number = 0, money = 0, total = 0;
  if (!Stored(AddCount(row.Number, count), FNumberColumn, number) ||
      !Stored(AddMoney(row.Gst, gst), FGstColumn, money) ||
      !Stored(AddMoney(row.Amount, amount), FAmountColumn, total)) {
    Forget();
    AddThroughTable(code, descript, count, gst, amount);
    return;
  }
  row.Number = number;
  row.Gst = money;
  row.Amount = total;
  row.Dirty = true;
  FLast = &row;
}

void TTranslatedRows::AddThroughTable(const std::string& code, const std::string& descript,
                                      int32_t count, int64_t gst, int64_t amount) {
  std::string key = code;
  if (static_cast<int32_t>(key.size()) < FKeyWidth)
    key.append(static_cast<size_t>(FKeyWidth) - key.size(), ' ');
  if (FTable.Seek(key)) {
    FTable.Edit();
    FNumber.SetAsFloat(AddCount(FNumber.AsFloat(), count));
    FGst.SetAsFloat(AddMoney(FGst.AsFloat(), gst));
    FAmount.SetAsFloat(AddMoney(FAmount.AsFloat(), amount));
    FTable.Post();
  } else {
    AppendRow(code, descript, count, gst, amount);
  }
}

void TTranslatedRows::AppendRow(const std::string& code, const std::string& descript, int32_t count,
                                int64_t gst, int64_t amount) {
  FTable.AppendBlank();
  FItem.SetAsString(code);
  FDescript.SetAsString(descript);
  FNumber.SetAsFloat(count);
  FGst.SetAsFloat(gst / 10000.0);
  FAmount.SetAsFloat(amount / 10000.0);
  FTable.Post();
}

void TTranslatedRows::Write(const TRow& row) {
  FTable.SetRecNo(row.RecNo);
  FTable.Edit();
  FNumber.SetAsFloat(row.Number);
  FGst.SetAsFloat(row.Gst);
  FAmount.SetAsFloat(row.Amount);
  FTable.Post();
}

void TTranslatedRows::Flush() {
  std::vector<TRow*> dirty;
  for (auto& [code, row] : FRows)
    if (row.Dirty && &row != FLast) dirty.push_back(&row);
  std::sort(dirty.begin(), dirty.end(),
            [](const TRow* a, const TRow* b) { return a->RecNo < b->RecNo; });
  if (FLast) dirty.push_back(FLast);
  for (TRow* row : dirty) {
    Write(*row);
    row->Dirty = false;
  }
  FLast = nullptr;
}

void TTranslatedRows::Forget() {
  Flush();
  FRows.clear();
}
