// Appending the lines of a comma-delimited text file (xb_AppendFrom type 21) to a work area.
//
// Each line becomes one record, the first line too; its cells fill the fields in field order
// (cells past the last field are ignored, missing cells leave blanks):
// - C: the bytes, cut to the width.
// - N, F: a number in C notation (blanks around it allowed); written with the field's decimals.
//   A cell that is not a number, or a number too wide for the field, leaves the field blank
//   (it reads as 0); asterisks are never written.
// - D: YYYYMMDD when it is a real date, else the empty date.
// - L: T or Y (any case) true, F or N false, anything else blank.
// - M and binary types: left blank.
// With a condition, only the records for which it is true are appended.
// It is one append: the records first, then the header count with one commit at the end. When
// the file cannot be opened or read to its end nothing is appended (records already buffered
// are dropped before the count is written).
#pragma once

#include <string>

#include "Status.h"
#include "WorkArea.h"

namespace xb {

// Returns the number of records appended.
Result<uint32_t> AppendDelimited(WorkArea& area, const std::string& path,
                                 const Expression* condition);

}  // namespace xb
