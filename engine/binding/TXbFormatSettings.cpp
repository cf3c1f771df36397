#include "TXbFormatSettings.h"

#include <ctime>

#include "RegionalSettings.h"

TXbFormatSettings SystemFormatSettings() {
  xb::RegionalSettings regional = xb::CurrentRegionalSettings();
  TXbFormatSettings settings;
  settings.ShortDateFormat = regional.shortDateFormat;
  if (!regional.dateSeparator.empty()) settings.DateSeparator = regional.dateSeparator[0];
  if (!regional.decimalSeparator.empty()) settings.DecimalSeparator = regional.decimalSeparator[0];
  settings.ThousandSeparator =
      regional.thousandSeparator.empty() ? ' ' : regional.thousandSeparator[0];
  return settings;
}

TXbFormatSettings& XbFormatSettings() {
  static TXbFormatSettings settings = SystemFormatSettings();
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
