// Index order, key search, Locate, Lookup, filters, scopes and the master/detail link.
#include <gtest/gtest.h>

#include "TDataSource.h"
#include "TField.h"
#include "TXbTable.h"
#include "TableTestSupport.h"

using xbtest::TCallLog;

using xbtest::ErrorOf;

namespace {

class Search : public ::testing::Test {
 protected:
  void SetUp() override {
    xbtest::RequireEngine();
    Path = Dir.File("A_ITOUT.DBF");
    xbtest::MakeTable(Path, "ITEM_OUT,C,8,0;TEXT_OUT,C,20,0;QTY,N,5,0;BORN,D,8,0",
                      {{"ZX9", "last item", "3", "20230105"},
                       {"AB12", "second", "1", "20240301"},
                       {"ab3", "lower case", "2", "20240615"},
                       {"CD", "middle", "4", "20220101"}});
    Table.SetTableName(Path);
    Table.SetExclusive(true);
  }
  std::vector<std::string> Walk() {
    std::vector<std::string> items;
    for (Table.GoTop(); !Table.Eof(); Table.Skip(1))
      items.push_back(Table.FieldByName("ITEM_OUT")->AsString());
    return items;
  }
  bool MakeTag() {
    Table.Open();
    return Table.IndexTag("", "ITEM", "UPPER(ITEM_OUT)", 0, false, "") != 0;
  }
  xbtest::TempDir Dir;
  std::string Path;
  TXbTable Table;
};

}  // namespace

TEST_F(Search, LocateWithoutASuitableOrderQueriesAndRestoresTheQuery) {
  Table.Open();
  ASSERT_NE(Table.Query("QTY > 1"), 0);
  TCallLog log;
  EXPECT_TRUE(Table.Locate("TEXT_OUT", TVariant("middle"), 0));
  EXPECT_EQ(Table.FieldByName("ITEM_OUT")->AsString(), "CD");
  EXPECT_EQ(Table.DBFilter(), "QTY > 1") << "the query in force before is in force again";
  bool padded = false;
  for (const auto& c : log.Calls)
    if (c.find("xb_Query(\"(TEXT_OUT=\\\"middle              \\\") .and. (QTY > 1)\")") == 0 ||
        c == "xb_Query(\"(TEXT_OUT=\"middle              \") .and. (QTY > 1)\")")
      padded = true;
  EXPECT_TRUE(padded) << "the text is padded to the field's size without the partial option";
  Table.Query("");
  Table.First();
  Table.Next();
  EXPECT_FALSE(Table.Locate("TEXT_OUT", TVariant("nothing"), 0));
  EXPECT_EQ(Table.FieldByName("ITEM_OUT")->AsString(), "AB12") << "a miss does not move";
  EXPECT_TRUE(Table.Locate("TEXT_OUT", TVariant("LOWER"), loCaseInsensitive | loPartialKey));
  EXPECT_EQ(Table.FieldByName("ITEM_OUT")->AsString(), "ab3");
  EXPECT_TRUE(Table.Locate("ITEM_OUT;QTY", std::vector<TVariant>{"CD", 4}, 0));
  EXPECT_EQ(Table.RecNo(), 4);
  EXPECT_TRUE(Table.Locate("BORN", TVariant(2024), 0)) << "a year finds the first date in it";
  EXPECT_EQ(Table.RecNo(), 2);
  EXPECT_TRUE(Table.Locate("BORN", TVariant("20220101"), 0));
  EXPECT_EQ(Table.RecNo(), 4);
}

TEST_F(Search, LookupGivesTheResultFieldOfTheFirstMatch) {
  Table.Open();
  EXPECT_EQ(Table.Lookup("ITEM_OUT", TVariant("CD"), "TEXT_OUT"), TVariant("middle"));
  EXPECT_EQ(Table.Lookup("ITEM_OUT", TVariant("CD"), "QTY"), TVariant(4.0));
  EXPECT_TRUE(Table.Lookup("ITEM_OUT", TVariant("none"), "QTY").IsNull());
  EXPECT_TRUE(Table.Lookup("ITEM_OUT", TVariant(), "QTY").IsNull());
}

TEST_F(Search, FiltersAreEngineQueries) {
  Table.Open();
  Table.SetFilter("QTY >= 3");
  EXPECT_EQ(Walk().size(), 4u) << "a filter text alone is not in force";
  Table.SetFiltered(true);
  EXPECT_EQ(Walk(), (std::vector<std::string>{"ZX9", "CD"}));
  Table.SetFiltered(false);
  EXPECT_EQ(Walk().size(), 4u);
  Table.SetFilter("ITEM_OUT");
  EXPECT_EQ(ErrorOf([&] { Table.SetFiltered(true); }), "Invalid Query Expression\r\rITEM_OUT");
}

TEST_F(Search, IndexTagOrdersTheRecordsAndDescribesTheOrder) {
  if (!MakeTag()) GTEST_SKIP() << "the engine makes no tags yet";
  EXPECT_EQ(Table.IndexName(), "ITEM");
  EXPECT_EQ(Walk(), (std::vector<std::string>{"AB12", "ab3", "CD", "ZX9"}));
  ASSERT_EQ(Table.IndexDefs().Count(), 1u);
  const TIndexDef& def = Table.IndexDefs()[0];
  EXPECT_EQ(def.Name, "ITEM");
  EXPECT_EQ(def.Expression, "UPPER(ITEM_OUT)");
  EXPECT_EQ(def.Options, unsigned(ixCaseInsensitive | ixExpression));
  EXPECT_EQ(def.Source, "A_ITOUT.CDX");
  Table.IndexTag("", " PLAIN ", "TEXT_OUT", 0, false, "");
  EXPECT_EQ(Table.IndexName(), " PLAIN ") << "kept with its blanks";
  ASSERT_EQ(Table.IndexDefs().Count(), 2u);
  EXPECT_EQ(Table.IndexDefs()[1].Name, "PLAIN");
  EXPECT_EQ(Table.IndexDefs()[1].Fields, "TEXT_OUT");
  EXPECT_EQ(Table.IndexDefs()[1].Options, 0u);
}

TEST_F(Search, IndexNameSwitchesOrdersAndRefusesUnknownTags) {
  if (!MakeTag()) GTEST_SKIP() << "the engine makes no tags yet";
  Table.SetIndexName("");
  EXPECT_EQ(Walk(), (std::vector<std::string>{"ZX9", "AB12", "ab3", "CD"}));
  Table.SetIndexName("ITEM");
  EXPECT_EQ(Walk().front(), "AB12");
  EXPECT_EQ(ErrorOf([&] { Table.SetIndexName("NOSUCH"); }), "Invalid IndexName value : NOSUCH");
  EXPECT_EQ(Walk().front(), "AB12") << "the engine keeps the order it had";
  TCallLog log;
  Table.SetIndexName("NOSUCH");  // its present value: nothing at all
  EXPECT_TRUE(log.Calls.empty());
  Table.Close();
  Table.Open();  // applied at the open, without an error
  EXPECT_EQ(Table.OrderNo(), 0);
  Table.SetIndexName("ITEM");
  EXPECT_EQ(Table.SetOrder(0), Table.SetOrder(0));
  EXPECT_EQ(Table.IndexName(), "");
}

TEST_F(Search, SeekFindsTheFirstKeyThatBeginsWithTheText) {
  if (!MakeTag()) GTEST_SKIP() << "the engine makes no tags yet";
  EXPECT_TRUE(Table.Seek("AB"));
  EXPECT_EQ(Table.FieldByName("ITEM_OUT")->AsString(), "AB12");
  EXPECT_TRUE(Table.Seek("CD"));
  EXPECT_EQ(Table.RecNo(), 4);
  EXPECT_FALSE(Table.Seek("QQ"));
}

TEST_F(Search, LocateUsesTheKeySearchWithTheExactSwitchForTheCall) {
  if (!MakeTag()) GTEST_SKIP() << "the engine makes no tags yet";
  Table.SetIndexName("");
  int32_t exactBefore = XbEntries().xb_SysProp(XB_PROP_EXACT_GET, 0);
  TCallLog log;
  EXPECT_TRUE(Table.Locate("ITEM_OUT", TVariant("ab12"), loCaseInsensitive));
  EXPECT_EQ(Table.FieldByName("ITEM_OUT")->AsString(), "AB12");
  EXPECT_TRUE(log.Contains("xb_Seek"));
  EXPECT_FALSE(log.Contains("xb_Query"));
  EXPECT_EQ(XbEntries().xb_SysProp(XB_PROP_EXACT_GET, 0), exactBefore);
  EXPECT_EQ(Table.OrderNo(), 0);
  EXPECT_TRUE(Table.Locate("ITEM_OUT", TVariant("ab"), loCaseInsensitive | loPartialKey));
  EXPECT_EQ(Table.FieldByName("ITEM_OUT")->AsString(), "AB12");
  EXPECT_FALSE(Table.Locate("ITEM_OUT", TVariant(), loCaseInsensitive));
  EXPECT_EQ(XbEntries().xb_IndexOrd(), 0) << "the order of before the call";
}

TEST_F(Search, ScopesNarrowTheRecordsToAKeyRange) {
  if (!MakeTag()) GTEST_SKIP() << "the engine makes no tags yet";
  Table.SetScopeBegin("A");
  Table.SetScopeEnd("B");
  Table.SetScoped(true);
  EXPECT_TRUE(Table.Scoped());
  EXPECT_EQ(Walk(), (std::vector<std::string>{"AB12", "ab3"}));
  Table.SetScoped(false);
  EXPECT_EQ(Walk().size(), 4u);
  TXbTable closed;
  EXPECT_EQ(ErrorOf([&] { closed.ApplyScope("A", "B"); }),
            "Cannot perform this operation on a closed table");
}

TEST_F(Search, DetailFollowsItsMaster) {
  std::string masterPath = Dir.File("MASTER.DBF");
  xbtest::MakeTable(masterPath, "CODE,C,8,0", {{"CD"}, {"AB12"}});
  TXbTable master;
  master.SetTableName(masterPath);
  master.Open();
  if (!MakeTag()) GTEST_SKIP() << "the engine makes no tags yet";
  TDataSource source;
  source.SetDataSet(&master);
  Table.SetMasterFields("CODE");
  Table.SetMasterSource(&source);
  EXPECT_EQ(Walk(), (std::vector<std::string>{"CD"}));
  master.Next();
  EXPECT_EQ(Walk(), (std::vector<std::string>{"AB12"}));
  TDataSource own;
  own.SetDataSet(&Table);
  EXPECT_EQ(ErrorOf([&] { Table.SetMasterSource(&own); }),
            "Circular Datasource reference not allowed");
}

TEST_F(Search, ANewDetailRecordStartsWithItsMastersLinkValues) {
  std::string masterPath = Dir.File("MASTER.DBF");
  xbtest::MakeTable(masterPath, "CODE,C,8,0", {{"CD"}, {"AB12"}});
  TXbTable master;
  master.SetTableName(masterPath);
  master.Open();
  master.Next();
  if (!MakeTag()) GTEST_SKIP() << "the engine makes no tags yet";
  TDataSource source;
  source.SetDataSet(&master);
  Table.SetMasterFields("CODE");
  Table.SetMasterSource(&source);
  std::string seenByEvent;
  Table.OnNewRecord = [&](TDataSet& t) { seenByEvent = t.FieldByName("ITEM_OUT")->AsString(); };
  Table.Append();
  EXPECT_EQ(seenByEvent, "AB12") << "copied before OnNewRecord runs";
  Table.FieldByName("TEXT_OUT")->SetAsString("added under AB12");
  Table.Post();
  EXPECT_EQ(Walk(), (std::vector<std::string>{"AB12", "AB12"})) << "the detail still shows it";
  Table.Close();
  EXPECT_EQ(xbtest::RawField(Path, 5, "ITEM_OUT"), "AB12    ");
}
