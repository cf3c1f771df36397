// The window runs under the user's locale, where the decimal separator may be a comma. What the
// engine stores, indexes and evaluates must read and write numbers the same way whatever the
// process locale says.
#include <clocale>
#include <cstdlib>

#include "EngineTestUtil.h"

namespace xbtest {
namespace {

TEST(Locale, NumbersIgnoreTheProcessLocale) {
  TempDir dir;
  ScopedProcessLocale german(dir.path(), "de_DE");
  if (!german.Active() || std::localeconv()->decimal_point[0] != ',')
    GTEST_SKIP() << "no de_DE locale can be compiled here";

  const std::string table = dir.File("amounts.dbf");
  ASSERT_NE(xb_CreateTable(table.c_str(), "QTY,N,12,3;BIG,N,20,2;NAME,C,8,0"), 0);
  WriteText(dir.File("in.csv"), "1.25,1.5e16,A\r\n2.5e1,3,B\r\n");
  ASSERT_GT(xb_UseEx(table.c_str(), nullptr, XB_OPEN_EXCLUSIVE, XB_DRIVER_CDX, 1), 0);
  ASSERT_NE(xb_AppendFrom(dir.File("in.csv").c_str(), XB_SOURCE_DELIMITED, ""), 0)
      << xb_ErrorText();
  ASSERT_GT(xb_IndexTag(nullptr, "QTY", "QTY", 0, 0, nullptr), 0) << xb_ErrorText();

  xb_SetOrder(0);
  xb_GoTop();
  EXPECT_STREQ(xb_GetString("QTY"), "       1.250");
  EXPECT_DOUBLE_EQ(xb_GetDouble("QTY"), 1.25);
  EXPECT_STREQ(xb_GetString("BIG"), "15000000000000000.00") << "beyond exact digits";
  xb_Skip(1);
  EXPECT_STREQ(xb_GetString("QTY"), "      25.000") << "an exponent in the input";

  EXPECT_STREQ(xb_EvalString("STR(VAL('1.5') * 2, 6, 2)"), "  3.00");
  EXPECT_DOUBLE_EQ(xb_EvalNumeric("VAL('0.75') + 0.5"), 1.25);
  EXPECT_STREQ(xb_EvalString("VAL('0.75') + 0.5"), "1.25");

  ASSERT_NE(xb_SetOrder(1), 0);
  EXPECT_NE(xb_Seek("1.25"), 0);
  EXPECT_STREQ(xb_GetTrimString("NAME"), "A");
  EXPECT_NE(xb_Seek("25"), 0);
  EXPECT_STREQ(xb_GetTrimString("NAME"), "B");
  xb_Close();
}

}  // namespace
}  // namespace xbtest
