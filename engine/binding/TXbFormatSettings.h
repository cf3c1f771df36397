// The process-wide display settings the table layer shows and reads values with: the date
// display (short date format, date separator, which TXbEnv's DateFormat and Century change),
// the number separators, and the two-digit-year window every table open sets.
#pragma once

#include <string>

struct TXbFormatSettings {
  std::string ShortDateFormat = "d/MM/yyyy";
  char DateSeparator = '/';
  char DecimalSeparator = '.';
  char ThousandSeparator = ',';
  // W of the two-digit-year rule: a one- or two-digit year read from text lands in the hundred
  // years that begin at (current year - W). 0: the current century.
  int TwoDigitYearWindow = 0;
};

// Taken from the regional settings at first use; TXbEnv's date settings change it afterwards.
TXbFormatSettings& XbFormatSettings();
// What the regional settings of the process give, untouched by TXbEnv.
TXbFormatSettings SystemFormatSettings();

// The year a one- or two-digit year of date text stands for, by the window above.
int ExpandTwoDigitYear(int year);
int CurrentYear();
