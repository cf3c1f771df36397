// The number texts the engine writes: from a value and from the digits of a delimited cell.
// Both must give the same text, right-aligned with exactly the field's decimals, or refuse.
#include <gtest/gtest.h>

#include "dbf/FieldText.h"

namespace {

struct Case {
  const char* text;
  int width, decimals;
  const char* expected;  // nullptr: refused
};

const Case kCases[] = {
    {"1.5", 8, 2, "    1.50"},
    {"-1.5", 8, 2, "   -1.50"},
    {"0", 8, 2, "    0.00"},
    {"-0.001", 8, 2, "    0.00"},  // no negative zero
    {".5", 6, 2, "  0.50"},
    {"-.5", 6, 2, " -0.50"},
    {"1.005", 8, 2, "    1.01"},  // half away from zero on the digits
    {"-2.675", 8, 2, "   -2.68"},
    {"9.995", 5, 2, "10.00"},
    {"99.995", 5, 2, nullptr},  // the carry makes it too wide
    {"99999.99", 8, 2, "99999.99"},
    {"-9999.99", 8, 2, "-9999.99"},
    {"-99999.99", 8, 2, nullptr},
    {"000123", 6, 0, "   123"},
    {"123.4", 3, 0, "123"},
    {"+7", 4, 1, " 7.0"},
    {"12345678901234567890", 20, 0, "12345678901234567890"},
};

TEST(FieldText, DecimalTextAndNumberAgree) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    char out[64] = {};
    bool ok = xb::FormatDecimalText(c.text, c.width, c.decimals, out);
    if (!c.expected) {
      EXPECT_FALSE(ok);
    } else {
      ASSERT_TRUE(ok);
      EXPECT_EQ(std::string(out, size_t(c.width)), c.expected);
    }
    // Through the value: the same text, except where the double nearest to a half lies
    // below it (1.005 is 1.00499999...).
    std::string t = c.text;
    bool halfBelow = t == "1.005" || t == "-2.675" || t == "9.995" || t == "99.995";
    if (t.size() < 15 && !halfBelow) {
      auto viaValue = xb::FormatNumber(std::stod(t), c.width, c.decimals);
      if (!c.expected) {
        EXPECT_FALSE(viaValue.has_value());
      } else {
        ASSERT_TRUE(viaValue.has_value());
        EXPECT_EQ(*viaValue, c.expected);
      }
    }
  }
}

TEST(FieldText, NotDecimalText) {
  for (const char* bad : {"", "-", ".", "1e5", "1,5", " 1", "1 ", "0x10", "1..2", "--1", "abc"}) {
    char out[16];
    EXPECT_FALSE(xb::FormatDecimalText(bad, 8, 2, out)) << bad;
  }
}

TEST(FieldText, ReadingIsLenient) {
  struct Read {
    const char* text;
    double value;
  };
  for (Read r : {Read{"   -1.50", -1.5}, Read{"-0001.50", -1.5}, Read{"-1.5    ", -1.5},
                 Read{"        ", 0}, Read{"********", 0}, Read{"12abc", 12}, Read{"1e999", 0},
                 Read{"nan", 0}, Read{"inf", 0}, Read{"0x1F", 0}, Read{"1.5e2", 150}}) {
    EXPECT_EQ(xb::ParseNumber(r.text), r.value) << r.text;
  }
  EXPECT_EQ(xb::NormalizeDate("20240229"), "20240229");
  for (const char* bad : {"20230229", "20241301", "2024ab01", "00000000", "2024010", "        "})
    EXPECT_EQ(xb::NormalizeDate(bad), "        ") << bad;
  for (const char* yes : {"T", "t", "Y", "y"}) EXPECT_TRUE(xb::ParseLogical(yes));
  for (const char* no : {"F", "f", "N", "n", "?", " ", "x", ""}) EXPECT_FALSE(xb::ParseLogical(no));
}

}  // namespace
