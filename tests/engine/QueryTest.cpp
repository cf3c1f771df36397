// Expressions on the current record, queries that limit moves, and the delimited append.
#include "EngineTestUtil.h"

namespace xbtest {
namespace {

class Query : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    std::string path = FDir.File("Q.DBF");
    ASSERT_NE(xb_CreateTable(path.c_str(), "ITEM,C,8,0;QTY,N,8,2;WHEN,D,8,0;OK,L,1,0"), 0);
    ASSERT_GT(xb_UseEx(path.c_str(), nullptr, XB_OPEN_EXCLUSIVE, XB_DRIVER_CDX, XB_COMMIT_NORMAL),
              0);
    struct Row {
      const char* item;
      const char* qty;
      const char* when;
      const char* ok;
    };
    for (Row r : {Row{"ABC", "1.5", "20240229", "T"}, Row{"ABD", "-2", "20231231", "F"},
                  Row{"XYZ", "10", "", "T"}, Row{"AB", "0", "19991231", "F"}}) {
      ASSERT_NE(xb_AppendBlank(), 0);
      xb_Replace("ITEM", 0, r.item);
      xb_Replace("QTY", 0, r.qty);
      xb_Replace("WHEN", 0, r.when);
      xb_Replace("OK", 0, r.ok);
    }
    ASSERT_NE(xb_Commit(), 0);
  }
  std::vector<int> Walk() {
    std::vector<int> recnos;
    for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) recnos.push_back(xb_RecNo());
    return recnos;
  }
};

TEST_F(Query, EvaluationOnTheCurrentRecord) {
  xb_Go(1);
  EXPECT_EQ(xb_EvalTest("ITEM"), XB_EXPR_CHARACTER);
  EXPECT_EQ(xb_EvalTest("QTY * 2"), XB_EXPR_NUMERIC);
  EXPECT_EQ(xb_EvalTest("ITEM = \"AB\" .AND. OK"), XB_EXPR_LOGICAL);
  EXPECT_EQ(xb_EvalTest("WHEN"), XB_EXPR_DATE);
  EXPECT_EQ(xb_EvalTest("NOSUCH + 1"), XB_EXPR_INVALID);
  EXPECT_EQ(xb_EvalTest("ITEM +"), XB_EXPR_INVALID);
  EXPECT_EQ(xb_EvalTest(nullptr), XB_EXPR_INVALID);
  EXPECT_STREQ(xb_EvalString("TRIM(ITEM) + \"!\""), "ABC!");
  EXPECT_STREQ(xb_EvalString("DTOS(WHEN)"), "20240229");
  EXPECT_DOUBLE_EQ(xb_EvalNumeric("QTY * 2"), 3.0);
  EXPECT_DOUBLE_EQ(xb_EvalNumeric("RECNO()"), 1.0);
  // Exact off: "=" compares as many characters as the right side has.
  EXPECT_NE(xb_EvalLogical("ITEM = \"AB\""), 0);
  EXPECT_EQ(xb_EvalLogical("ITEM == \"AB\""), 0);
  xb_SysProp(XB_PROP_EXACT_SET, 1);
  EXPECT_EQ(xb_EvalLogical("ITEM = \"AB\""), 0);
  xb_SysProp(XB_PROP_EXACT_SET, 0);
  EXPECT_EQ(xb_EvalLogical("Q->QTY > 100"), 0);
  EXPECT_NE(xb_EvalLogical("q->qty < 100"), 0);
}

TEST_F(Query, QueryLimitsMovesAndCounts) {
  EXPECT_NE(xb_Query("ITEM = \"AB\""), 0);
  EXPECT_EQ(xb_RecNo(), 1);  // on the first that satisfies it
  EXPECT_STREQ(xb_DBFilter(), "ITEM = \"AB\"");
  EXPECT_EQ(Walk(), (std::vector<int>{1, 2, 4}));
  xb_GoBottom();
  EXPECT_EQ(xb_RecNo(), 4);
  xb_Skip(-1);
  EXPECT_EQ(xb_RecNo(), 2);
  EXPECT_GT(xb_QueryTest("ITEM = \"AB\""), 0);
  EXPECT_EQ(xb_QueryRecCount(), 3);
  EXPECT_EQ(xb_Count(), 3);
  EXPECT_EQ(xb_RecCount(), 4);
  // A query nobody satisfies: not found, at the end.
  EXPECT_EQ(xb_Query("QTY > 1000"), 0);
  EXPECT_NE(xb_Eof(), 0);
  EXPECT_EQ(Walk(), (std::vector<int>{}));
  // Invalid or non-logical conditions are refused and change nothing.
  EXPECT_EQ(xb_Query("QTY +"), 0);
  EXPECT_EQ(xb_Query("QTY"), 0);
  EXPECT_EQ(xb_QueryTest("QTY"), 0);
  EXPECT_STREQ(xb_DBFilter(), "QTY > 1000");
  // Deleted records hidden and a query together.
  EXPECT_NE(xb_Query("OK"), 0);
  xb_Go(1);
  xb_Delete();
  xb_SetDeleted(-1);
  EXPECT_EQ(Walk(), (std::vector<int>{3}));
  EXPECT_EQ(xb_QueryRecCount(), 1);
  xb_SetDeleted(0);
  // An empty condition removes the query.
  EXPECT_NE(xb_Query(""), 0);
  EXPECT_STREQ(xb_DBFilter(), "");
  EXPECT_EQ(Walk(), (std::vector<int>{1, 2, 3, 4}));
}

TEST_F(Query, AppendFromDelimitedText) {
  // Cells fill the fields in order; quotes are not stored; over-long text is cut; numbers in C
  // notation; dates YYYYMMDD; logicals T/Y/F/N; bad values leave the field blank.
  WriteText(FDir.File("in.csv"),
            "\xEF\xBB\xBF\"ITEM_NO\",\"Qty\",\"When\",\"Ok\"\r\n"
            "\"LONGCODE123\",1.25,20240101,Y\r\n"
            "\"A,B\",-3e1,2024-01-01,n\n"
            "plain,12345678901,20240230,x\r"
            ",,,\r\n"
            "\"q\"\"q\",.5\r\n");
  ASSERT_NE(xb_Zap(), 0);
  ASSERT_NE(xb_AppendFrom(FDir.File("in.csv").c_str(), XB_SOURCE_DELIMITED, ""), 0)
      << xb_ErrorText();
  EXPECT_EQ(xb_RecCount(), 6);
  EXPECT_EQ(DumpNatural(), (std::vector<std::string>{
                               "1\t-\tITEM_NO |0.00|        |F",
                               "2\t-\tLONGCODE|1.25|20240101|T",
                               "3\t-\tA,B     |-30.00|        |F",
                               "4\t-\tplain   |0.00|        |F",
                               "5\t-\t        |0.00|        |F",
                               "6\t-\tq\"q     |0.50|        |F",
                           }));
  xb_Go(3);
  EXPECT_STREQ(xb_GetString("OK"), "F");
  EXPECT_STREQ(xb_GetString("QTY"), "  -30.00");
  xb_Go(4);
  EXPECT_STREQ(xb_GetString("QTY"), "        ");  // too wide: blank, never asterisks
  EXPECT_STREQ(xb_GetString("OK"), " ");

  // With a condition only the passing lines are appended.
  ASSERT_NE(xb_AppendFrom(FDir.File("in.csv").c_str(), XB_SOURCE_DELIMITED, "QTY > 1"), 0);
  EXPECT_EQ(xb_RecCount(), 7);
  // The committed count is in the file.
  EXPECT_EQ(ReadBytes(FDir.File("Q.DBF"))[4], 7);
  // A file that cannot be read appends nothing.
  EXPECT_EQ(xb_AppendFrom(FDir.File("missing.csv").c_str(), XB_SOURCE_DELIMITED, ""), 0);
  EXPECT_EQ(xb_AppendFrom(FDir.path().c_str(), XB_SOURCE_DELIMITED, ""), 0);
  EXPECT_EQ(xb_AppendFrom(FDir.File("in.csv").c_str(), 7, ""), 0);
  EXPECT_EQ(xb_AppendFrom(FDir.File("in.csv").c_str(), XB_SOURCE_DELIMITED, "QTY +"), 0);
  EXPECT_EQ(xb_RecCount(), 7);
}

}  // namespace
}  // namespace xbtest
