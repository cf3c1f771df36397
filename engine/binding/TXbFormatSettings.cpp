#include "TXbFormatSettings.h"

#include <ctime>

TXbFormatSettings& XbFormatSettings() {
  static TXbFormatSettings settings;
  return settings;
}

int CurrentYear() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local.tm_year + 1900;
}

int ExpandTwoDigitYear(int year) {
  if (year >= 100) return year;
  int window = XbFormatSettings().TwoDigitYearWindow;
  int begin = CurrentYear() - window;
  int expanded = year + (begin / 100) * 100;
  if (window > 0 && expanded < begin) expanded += 100;
  return expanded;
}
