// Dates as the engine keeps them: "YYYYMMDD" text, or 8 blanks for the empty date; and the
// date text users type and read, in the layouts of the xb_SetDateFormat codes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace xb {

inline constexpr std::string_view kEmptyDate = "        ";
inline constexpr int64_t kNoDay = INT64_MIN;

bool IsValidDate(int year, int month, int day);

// Consecutive days have consecutive numbers. kNoDay for the empty date and for anything that
// is not a valid "YYYYMMDD" of the years 1 to 9999.
int64_t DayNumberOf(std::string_view date);

// The "YYYYMMDD" of a day number; the empty date outside the years 1 to 9999.
void DateOfDayNumber(int64_t day, std::string& out);

// DTOC: `date` in the layout of a date format code: 0 American mm/dd/yy, 1 ANSI yy.mm.dd,
// 2 British and 3 French dd/mm/yy, 4 German dd.mm.yy, 5 Italian and 6 Spanish dd-mm-yy; any
// other code (99, the system's, included) American. `century` writes four-digit years. The
// empty date gives blanks where the digits would be ("  /  /    ").
void FormatDate(std::string_view date, int formatCode, bool century, std::string& out);

// CTOD: reads the first three groups of digits of `text` in the order of the format code
// (separators are not checked). A year of one or two digits is placed next to `epoch`: year +
// (epoch div 100) x 100, plus 100 when that is below `epoch`. Text that is not a valid date
// gives the empty date.
void ParseDate(std::string_view text, int formatCode, int epoch, std::string& out);

}  // namespace xb
