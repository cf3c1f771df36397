// Regional settings: the money text under every currency pattern, its rounding and grouping,
// the mapping from the POSIX monetary fields to the pattern codes, short dates, and the
// settings read from real locales (compiled for the test with localedef when it is there).
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <map>
#include <string>

#include "RegionalSettings.h"
#include "TestSupport.h"

// glibc's newlocale never frees the search path it builds from LOCPATH; the leak checker of
// the sanitizer builds must not blame the test for it.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:argz_add_sep\n";
}

namespace {

using xb::RegionalSettings;

TEST(RegionalSettings, DefaultsAreThoseOfTheCLocale) {
  RegionalSettings defaults;
  EXPECT_EQ(defaults.currencyString, "$");
  EXPECT_EQ(defaults.currencyFormat, 0);
  EXPECT_EQ(defaults.negCurrFormat, 1);
  EXPECT_EQ(defaults.thousandSeparator, ",");
  EXPECT_EQ(defaults.decimalSeparator, ".");
  EXPECT_EQ(defaults.shortDateFormat, "d/MM/yyyy");
  EXPECT_EQ(defaults.dateSeparator, "/");
  for (const char* name : {"C", "POSIX", "C.UTF-8", "C.utf8"})
    EXPECT_EQ(xb::ReadRegionalSettings(name), defaults) << name;
  // A locale that is not installed changes nothing either.
  EXPECT_EQ(xb::ReadRegionalSettings("xx_NOWHERE.UTF-8"), defaults);
}

TEST(RegionalSettings, MoneyTextUnderEveryPattern) {
  const char* positive[4] = {"$1,234.50", "1,234.50$", "$ 1,234.50", "1,234.50 $"};
  const char* negative[16] = {
      "($1,234.50)", "-$1,234.50",  "$-1,234.50",   "$1,234.50-",   "(1,234.50$)", "-1,234.50$",
      "1,234.50-$",  "1,234.50$-",  "-1,234.50 $",  "-$ 1,234.50",  "1,234.50 $-", "$ 1,234.50-",
      "$ -1,234.50", "1,234.50- $", "($ 1,234.50)", "(1,234.50 $)",
  };
  RegionalSettings settings;
  for (int code = 0; code < 4; ++code) {
    settings.currencyFormat = code;
    EXPECT_EQ(xb::FormatMoney(int64_t{12345000}, settings), positive[code]) << code;
    EXPECT_EQ(xb::FormatMoney(1234.5, settings), positive[code]) << code;
  }
  settings = RegionalSettings();
  for (int code = 0; code < 16; ++code) {
    settings.negCurrFormat = code;
    EXPECT_EQ(xb::FormatMoney(int64_t{-12345000}, settings), negative[code]) << code;
    EXPECT_EQ(xb::FormatMoney(-1234.5, settings), negative[code]) << code;
    // The negative pattern never touches positive amounts.
    EXPECT_EQ(xb::FormatMoney(int64_t{12345000}, settings), "$1,234.50") << code;
  }
  // Codes outside the ranges count as the defaults.
  settings.currencyFormat = 4;
  settings.negCurrFormat = 16;
  EXPECT_EQ(xb::FormatMoney(int64_t{12345000}, settings), "$1,234.50");
  EXPECT_EQ(xb::FormatMoney(int64_t{-12345000}, settings), "-$1,234.50");
  settings.currencyFormat = -1;
  settings.negCurrFormat = -1;
  EXPECT_EQ(xb::FormatMoney(int64_t{-12345000}, settings), "-$1,234.50");
}

TEST(RegionalSettings, MoneyRoundingAndGrouping) {
  struct Case {
    int64_t amount;  // 1/10000 units
    const char* text;
  };
  const Case cases[] = {
      {0, "$0.00"},
      {-70000, "-$7.00"},
      {123450, "$12.35"},  // halves away from zero
      {-123450, "-$12.35"},
      {123449, "$12.34"},
      {1250, "$0.13"},
      {-1250, "-$0.13"},
      {50, "$0.01"},
      {-50, "-$0.01"},
      {49, "$0.00"},
      {-49, "$0.00"},  // rounds to zero: not negative
      {1, "$0.00"},
      {9999950, "$1,000.00"},  // the carry reaches a new group
      {1000000, "$100.00"},
      {10000000, "$1,000.00"},
      {9990000, "$999.00"},
      {12345678900, "$1,234,567.89"},
      {-12345678900, "-$1,234,567.89"},
      {1234567890000, "$123,456,789.00"},
      // 15 significant digits at most: the rest is rounded away and written as zeros.
      {12345678901234560, "$1,234,567,890,123.46"},
      {123456789012345670, "$12,345,678,901,234.60"},
      {999999999999999999, "$100,000,000,000,000.00"},
      {std::numeric_limits<int64_t>::max(), "$922,337,203,685,478.00"},
      {std::numeric_limits<int64_t>::min(), "-$922,337,203,685,478.00"},
  };
  const RegionalSettings settings;
  for (const Case& c : cases) EXPECT_EQ(xb::FormatMoney(c.amount, settings), c.text) << c.amount;
}

TEST(RegionalSettings, MoneyFromDoubles) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {1234.5, "$1,234.50"},
      {0.125, "$0.13"},  // exactly a half
      {-0.125, "-$0.13"},
      {1.005, "$1.00"},  // 1.00499999999999989...
      {2.675, "$2.67"},  // 2.67499999999999982...
      {0.005, "$0.01"},  // 0.00500000000000000010...
      {-0.0, "$0.00"},
      {-0.004, "$0.00"},
      {1e15, "$1,000,000,000,000,000.00"},
      {123456789.123, "$123,456,789.12"},
      {std::nan(""), ""},
      {std::numeric_limits<double>::infinity(), ""},
  };
  const RegionalSettings settings;
  for (const Case& c : cases) EXPECT_EQ(xb::FormatMoney(c.value, settings), c.text) << c.value;
}

TEST(RegionalSettings, MoneyUsesTheSymbolAndSeparators) {
  RegionalSettings euro;
  euro.currencyString = "\xE2\x82\xAC";  // the euro sign in UTF-8
  euro.currencyFormat = 3;
  euro.negCurrFormat = 8;
  euro.thousandSeparator = ".";
  euro.decimalSeparator = ",";
  EXPECT_EQ(xb::FormatMoney(int64_t{12345678900}, euro), "1.234.567,89 \xE2\x82\xAC");
  EXPECT_EQ(xb::FormatMoney(int64_t{-12345678900}, euro), "-1.234.567,89 \xE2\x82\xAC");
  euro.thousandSeparator = "\xE2\x80\xAF";  // a narrow no-break space, three bytes
  EXPECT_EQ(xb::FormatMoney(int64_t{12345678900}, euro),
            "1\xE2\x80\xAF"
            "234\xE2\x80\xAF"
            "567,89 \xE2\x82\xAC");
  euro.thousandSeparator = "";
  EXPECT_EQ(xb::FormatMoney(int64_t{12345678900}, euro), "1234567,89 \xE2\x82\xAC");
  EXPECT_EQ(xb::FormatMoney(int64_t{9990000}, euro), "999,00 \xE2\x82\xAC");
}

TEST(RegionalSettings, PatternCodesFromPosixFields) {
  struct Positive {
    int csPrecedes, sepBySpace, code;
  };
  const Positive positives[] = {{1, 0, 0}, {0, 0, 1}, {1, 1, 2},         {0, 1, 3},
                                {1, 2, 2}, {0, 2, 3}, {CHAR_MAX, 0, -1}, {1, CHAR_MAX, -1}};
  for (const Positive& p : positives)
    EXPECT_EQ(xb::PositiveCurrencyPattern(p.csPrecedes, p.sepBySpace), p.code)
        << p.csPrecedes << "," << p.sepBySpace;

  // Each code from the combination that shows it exactly.
  struct Negative {
    int csPrecedes, sepBySpace, signPosn, code;
  };
  const Negative negatives[] = {
      {1, 0, 0, 0},
      {1, 0, 1, 1},
      {1, 0, 4, 2},
      {1, 0, 2, 3},
      {0, 0, 0, 4},
      {0, 0, 1, 5},
      {0, 0, 3, 6},
      {0, 0, 2, 7},
      {0, 1, 1, 8},
      {1, 1, 1, 9},
      {0, 1, 2, 10},
      {1, 1, 2, 11},
      {1, 2, 4, 12},
      {0, 2, 3, 13},
      {1, 1, 0, 14},
      {0, 1, 0, 15},
      // Same pictures by another route.
      {1, 0, 3, 1},
      {0, 0, 4, 7},
      {1, 1, 3, 9},
      {0, 1, 4, 10},
      // Unspecified fields (the C locale has CHAR_MAX everywhere) and nonsense.
      {CHAR_MAX, CHAR_MAX, CHAR_MAX, -1},
      {1, 0, CHAR_MAX, -1},
      {2, 0, 1, -1},
      {1, 3, 1, -1},
      {1, 0, 5, -1},
      {-1, 0, 1, -1},
  };
  for (const Negative& n : negatives)
    EXPECT_EQ(xb::NegativeCurrencyPattern(n.csPrecedes, n.sepBySpace, n.signPosn), n.code)
        << n.csPrecedes << "," << n.sepBySpace << "," << n.signPosn;

  // Every specified combination gives some pattern, and every pattern is reached.
  std::map<int, int> reached;
  for (int cs = 0; cs <= 1; ++cs)
    for (int sep = 0; sep <= 2; ++sep)
      for (int sign = 0; sign <= 4; ++sign) {
        const int code = xb::NegativeCurrencyPattern(cs, sep, sign);
        EXPECT_GE(code, 0);
        EXPECT_LE(code, 15);
        ++reached[code];
      }
  EXPECT_EQ(reached.size(), 16u);
}

TEST(RegionalSettings, ShortDateFormatFromStrftime) {
  struct Case {
    const char* strftime;
    const char* format;
    const char* separator;
  };
  const Case cases[] = {
      {"%d.%m.%Y", "dd.MM.yyyy", "."},
      {"%m/%d/%y", "MM/dd/yy", "/"},
      {"%m/%d/%Y", "MM/dd/yyyy", "/"},
      {"%Y-%m-%d", "yyyy-MM-dd", "-"},
      {"%F", "yyyy-MM-dd", "-"},
      {"%D", "MM/dd/yy", "/"},
      {"%e/%m/%Y", "d/MM/yyyy", "/"},
      {"%-d.%-m.%Y", "d.M.yyyy", "."},
      {"%d %b %Y", "dd MM yyyy", " "},
      {"%Y\xE5\xB9\xB4%m\xE6\x9C\x88%d\xE6\x97\xA5",
       "yyyy\xE5\xB9\xB4MM\xE6\x9C\x88"
       "dd\xE6\x97\xA5",
       "\xE5\xB9\xB4"},
      {"%d/%m/%Y (day)", "dd/MM/yyyy (\"day\")", "/"},
      {"%Y%m%d", "yyyyMMdd", "/"},  // no separator: the default one
      {"", "d/MM/yyyy", "/"},
  };
  for (const Case& c : cases) {
    std::string format, separator;
    xb::ShortDateFormatOf(c.strftime, format, separator);
    EXPECT_EQ(format, c.format) << c.strftime;
    EXPECT_EQ(separator, c.separator) << c.strftime;
  }
}

TEST(RegionalSettings, ShortDateText) {
  struct Case {
    const char* format;
    const char* separator;
    int year, month, day;
    const char* text;
  };
  const Case cases[] = {
      {"d/MM/yyyy", "/", 2024, 3, 5, "5/03/2024"},
      {"d/MM/yyyy", "-", 2024, 3, 5, "5-03-2024"},  // "/" stands for the separator
      {"dd.MM.yyyy", ".", 2024, 3, 5, "05.03.2024"},
      {"dd.mm.yy", ".", 2024, 3, 5, "05.03.24"},  // lower-case m is the month too
      {"mm/dd/yy", "/", 2009, 12, 25, "12/25/09"},
      {"yyyy-MM-dd", "/", 987, 1, 2, "0987-01-02"},
      {"d/M/y", "/", 2009, 3, 5, "5/3/9"},
      {"dd/MM/yyyy (\"day\")", "/", 2024, 3, 5, "05/03/2024 (day)"},
      {"dd 'of' MM", "/", 2024, 3, 5, "05 of 03"},
  };
  for (const Case& c : cases) {
    RegionalSettings settings;
    settings.shortDateFormat = c.format;
    settings.dateSeparator = c.separator;
    EXPECT_EQ(xb::FormatShortDate(c.year, c.month, c.day, settings), c.text) << c.format;
  }
}

TEST(RegionalSettings, CurrentSettingsCanBeSet) {
  RegionalSettings euro;
  euro.currencyString = "EUR";
  euro.negCurrFormat = 8;
  xb::SetCurrentRegionalSettings(euro);
  EXPECT_EQ(xb::CurrentRegionalSettings(), euro);
  xb::SetCurrentRegionalSettings(RegionalSettings());
  EXPECT_EQ(xb::CurrentRegionalSettings(), RegionalSettings());
}

// Sets environment variables for the life of the object and puts the old values back.
class ScopedEnvironment {
 public:
  ~ScopedEnvironment() {
    for (const auto& [name, value] : FSaved) {
      if (value)
        setenv(name.c_str(), value->c_str(), 1);
      else
        unsetenv(name.c_str());
    }
  }
  void Set(const std::string& name, const char* value) {
    if (!FSaved.count(name)) {
      const char* old = std::getenv(name.c_str());
      FSaved[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value)
      setenv(name.c_str(), value, 1);
    else
      unsetenv(name.c_str());
  }

 private:
  std::map<std::string, std::optional<std::string>> FSaved;
};

TEST(RegionalSettings, ReadFromRealLocales) {
  xbtest::TempDir dir;
  if (!xbtest::CompileLocale(dir.path(), "de_DE") || !xbtest::CompileLocale(dir.path(), "en_US"))
    GTEST_SKIP() << "localedef or the locale sources are missing";
  ScopedEnvironment environment;
  environment.Set("LOCPATH", dir.path().c_str());

  const RegionalSettings german = xb::ReadRegionalSettings("de_DE.UTF-8");
  EXPECT_EQ(german.currencyString, "\xE2\x82\xAC");
  EXPECT_EQ(german.currencyFormat, 3);
  EXPECT_EQ(german.negCurrFormat, 8);
  EXPECT_EQ(german.thousandSeparator, ".");
  EXPECT_EQ(german.decimalSeparator, ",");
  EXPECT_EQ(german.shortDateFormat, "dd.MM.yyyy");
  EXPECT_EQ(german.dateSeparator, ".");
  EXPECT_EQ(xb::FormatMoney(int64_t{-12345678900}, german), "-1.234.567,89 \xE2\x82\xAC");
  EXPECT_EQ(xb::FormatShortDate(2024, 3, 5, german), "05.03.2024");

  const RegionalSettings american = xb::ReadRegionalSettings("en_US.UTF-8");
  EXPECT_EQ(american.currencyString, "$");
  EXPECT_EQ(american.currencyFormat, 0);
  EXPECT_EQ(american.negCurrFormat, 1);
  EXPECT_EQ(american.thousandSeparator, ",");
  EXPECT_EQ(american.decimalSeparator, ".");
  EXPECT_EQ(american.shortDateFormat, "MM/dd/yyyy");
  EXPECT_EQ(american.dateSeparator, "/");

  // With no name, each category follows the environment: LC_ALL, then its own variable, then
  // LANG.
  environment.Set("LC_ALL", nullptr);
  environment.Set("LC_MONETARY", nullptr);
  environment.Set("LC_NUMERIC", nullptr);
  environment.Set("LANG", "de_DE.UTF-8");
  environment.Set("LC_TIME", "en_US.UTF-8");
  RegionalSettings mixed = xb::ReadRegionalSettings();
  EXPECT_EQ(mixed.currencyString, "\xE2\x82\xAC");
  EXPECT_EQ(mixed.decimalSeparator, ",");
  EXPECT_EQ(mixed.shortDateFormat, "MM/dd/yyyy");
  environment.Set("LC_ALL", "en_US.UTF-8");
  mixed = xb::ReadRegionalSettings();
  EXPECT_EQ(mixed, american);
  environment.Set("LC_ALL", "C");
  EXPECT_EQ(xb::ReadRegionalSettings(), RegionalSettings());
}

}  // namespace
