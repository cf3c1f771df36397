// TTranslatedRows: the rows of the translated table while a translation adds lines into them.
//
// A translation adds every incoming line into the row of its target code: a search, an edit
// and a post per line, that is a million writes for a million lines over a hundred rows. This
// class holds the rows it has met in memory and writes each changed row once, when it is
// flushed, so the table ends exactly as the line-by-line additions would leave it: the same
// rows in the same physical order, the same bytes in every field.
//
// Exactness: a row held here keeps the very double the table would read back after each
// addition. An addition computes the same expression as the line-by-line path, then takes the
// value through the text the table would store (the column's width and decimals), which is
// done in integer arithmetic when the rounding is unambiguous. When it is not (a value too wide
// for its column, a value close to a rounding boundary, a code the engine's key search might
// match differently), the row is written out and the line goes through the table as it would
// without this class.
//
// Memory is bounded: at most `capacity` rows are held; a code met when the cache is full first
// writes out and forgets every held row. A capacity of 0 sends every line through the table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "TField.h"
#include "TXbTable.h"

class TTranslatedRows {
 public:
  // The translated table and its field objects; the table is open, ordered by its item tag.
  TTranslatedRows(TXbTable& table, TStringField& item, TStringField& descript, TFloatField& number,
                  TFloatField& gst, TFloatField& amount, size_t capacity);

  // Adds one line into the row whose code is `code` (capitals, as the tag's key shows it),
  // making the row with `descript` when the table has none.
  void Add(const std::string& code, const std::string& descript, int32_t count, int64_t gst,
           int64_t amount);
  // Writes every held change to the table and leaves it on the row the last line went to.
  // The rows stay held.
  void Flush();

  // What a line adds to a row's stored values, the same expressions whichever way they run.
  static double AddCount(double number, int32_t count) { return number + count; }
  static double AddMoney(double money, int64_t fixed) {
    return (money * 10000.0 + static_cast<double>(fixed)) / 10000.0;
  }

 private:
  struct TColumn {
    int32_t Width = 0;
    int32_t Decimals = 0;
    bool Usable = false;  // a number column whose stored text this class can work out
  };
  struct TRow {
    int32_t RecNo = 0;
    double Number = 0;
    double Gst = 0;
    double Amount = 0;
    bool Dirty = false;
  };

  TColumn ColumnOf(const TField& field) const;
  // The double the table reads back after storing `value` in `column`; false when that is not
  // certain without the table.
  static bool Stored(double value, const TColumn& column, double& stored);
  bool Plain(const std::string& code) const;
  // A new row for `code` holding this one line.
  void AppendRow(const std::string& code, const std::string& descript, int32_t count, int64_t gst,
                 int64_t amount);
  void AddThroughTable(const std::string& code, const std::string& descript, int32_t count,
                       int64_t gst, int64_t amount);
  void Write(const TRow& row);
  void Forget();

  TXbTable& FTable;
  TStringField& FItem;
  TStringField& FDescript;
  TFloatField& FNumber;
  TFloatField& FGst;
  TFloatField& FAmount;
  size_t FCapacity;
  int32_t FKeyWidth = 0;   // what a search text is padded to
  int32_t FCodeLimit = 0;  // the longest code the table stores whole
  TColumn FNumberColumn, FGstColumn, FAmountColumn;
  std::unordered_map<std::string, TRow> FRows;
  // The row the last line went to, while it is held and the table may not be on it.
  TRow* FLast = nullptr;
};
