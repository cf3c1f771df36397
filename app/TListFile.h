// TListFile: the item list and the translation table as comma-separated text, so that a
// bookkeeper can load hundreds of items at once and keep a copy.
//
// Format: one header line with the table's field names in their order (TYPE,ITEM_OUT,TEXT_OUT
// for the item list; TYPE,ITEM_IN,TEXT_IN,ITEM_OUT,TEXT_OUT for the translation table), then one
// line per record with every value in double quotes (a quote inside a value doubled), lines
// ended by LF. Reading accepts unquoted values, CR LF line ends and a missing header line (the
// first line is taken as the header only when it names the fields); empty lines are skipped.
// Values are 8-bit text, stored byte for byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TXbTable.h"

class TListFile {
 public:
  struct TRejectedLine {
    int32_t Line = 0;  // 1-based line number in the file
    std::string Reason;
  };
  struct TImportResult {
    int32_t Taken = 0;
    std::vector<TRejectedLine> Rejected;
  };

  // The table's field objects, in order, are the columns. The table must be open.
  explicit TListFile(TXbTable& table) : FTable(table) {}

  // Appends one record per acceptable line of `text`; a line is refused when it has the wrong
  // number of values, an unclosed quote, or a value longer than its field.
  TImportResult ImportText(const std::string& text);
  // The same from a file; false (and nothing appended) when it cannot be read.
  bool ImportFile(const std::string& fileName, TImportResult& result);
  // Every record in the table's current order, as the format above.
  std::string ExportText();
  bool ExportFile(const std::string& fileName);
  // The records as rows of values (for listing).
  std::vector<std::vector<std::string>> Rows();
  std::vector<std::string> Header() const;

  // Splits one line into values; false when a quote is left open.
  static bool SplitLine(const std::string& line, std::vector<std::string>& values);
  static std::string QuoteValue(const std::string& value);

 private:
  TXbTable& FTable;
};
