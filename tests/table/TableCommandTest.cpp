// The thin commands on the work area: speed mode, counts and positions, the deletion rules,
// the delimited append, and the selection of the own work area before every engine call.
#include <gtest/gtest.h>

#include "TField.h"
#include "TXbEnv.h"
#include "TXbTable.h"
#include "TableTestSupport.h"

using xbtest::TCallLog;

namespace {

class Commands : public ::testing::Test {
 protected:
  void SetUp() override {
    xbtest::RequireEngine();
    Path = Dir.File("ITEMS.DBF");
    xbtest::MakeTable(Path, "ITEM,C,6,0;QTY,N,5,0",
                      {{"pear", "3"}, {"apple", "1"}, {"fig", "4"}, {"kiwi", "2"}});
    Table.SetTableName(Path);
    Table.SetExclusive(true);
    Table.Open();
  }
  std::string Item() { return Table.FieldByName("ITEM")->AsString(); }
  xbtest::TempDir Dir;
  std::string Path;
  TXbTable Table;
};

}  // namespace

TEST_F(Commands, SpeedModeActsOnTheEngineWithoutTheBuffers) {
  Table.Next();
  Table.SetSpeedMode(true);
  EXPECT_EQ(Table.RecNo(), 2) << "switching on puts the engine on the current record";
  TCallLog log;
  Table.Skip(1);
  EXPECT_EQ(log.Names(), (std::vector<std::string>{"xb_Select", "xb_Skip"}));
  EXPECT_EQ(Table.RecNo(), 3);
  EXPECT_EQ(Table.GetString("ITEM"), "fig   ");
  EXPECT_EQ(Item(), "apple") << "the buffers stay where they were";
  Table.GoTop();
  Table.Skip(-1);
  EXPECT_TRUE(Table.Bof());
  Table.AppendBlank();
  XbEntries().xb_Select(Table.Area());
  EXPECT_EQ(XbEntries().xb_RecCount(), 5) << "the blank record is in the file at once";
  Table.SetRecNo(4);
  Table.SetSpeedMode(false);
  EXPECT_EQ(Item(), "kiwi") << "the record set goes on where the engine commands left it";
  Table.Last();
  Table.SetSpeedMode(true);
  Table.Skip(1);
  EXPECT_TRUE(Table.Eof()) << "the engine's end counts in both modes";
}

TEST_F(Commands, EofFollowsTheEngineEvenWithTheEndFlagClear) {
  Table.Last();
  Table.Prior();
  EXPECT_FALSE(Table.Eof());
  XbEntries().xb_Select(Table.Area());
  XbEntries().xb_Go(XbEntries().xb_RecCount() + 1);
  EXPECT_TRUE(Table.Eof());
  EXPECT_FALSE(Table.TDataSet::Eof());
}

TEST_F(Commands, CountsAndPositions) {
  EXPECT_EQ(Table.RecordCount(), 4);
  Table.Next();
  Table.Next();
  EXPECT_EQ(Table.SequenceNumber(), 3) << "in physical order the record number";
  Table.SetSequenceNumber(4);
  EXPECT_EQ(Item(), "kiwi");
  int32_t a = 1, b = 3;
  EXPECT_EQ(Table.BookmarkOrder(&a, &b), -1);
  EXPECT_EQ(Table.BookmarkOrder(&b, &a), 1);
  EXPECT_EQ(Table.BookmarkOrder(&a, nullptr), 2);
  if (Table.IndexTag("", "ITEM", "ITEM", 0, false, "") == 0) return;  // no tags yet
  EXPECT_EQ(Table.BookmarkOrder(&a, &b), 1) << "pear sorts after fig";
  EXPECT_EQ(Table.BookmarkOrder(&a, &a), 0);
  Table.Seek("kiwi");
  int32_t position = Table.SequenceNumber();
  XbEntries().xb_Select(Table.Area());
  EXPECT_EQ(position, static_cast<int32_t>(XbEntries().xb_OrderPosGet() * 4));
  std::vector<std::string> ordered;
  for (Table.GoTop(); !Table.Eof(); Table.Skip(1)) ordered.push_back(Item());
  EXPECT_EQ(ordered, (std::vector<std::string>{"apple", "fig", "kiwi", "pear"}));
  Table.AppendBlank();
  Table.FieldByName("ITEM")->SetAsString("banana");
  Table.Post();
  EXPECT_EQ(Table.RecNo(), 5) << "appended at the end of the file";
  Table.Prior();
  EXPECT_EQ(Item(), "apple") << "and shown at its place in the tag order";
}

TEST_F(Commands, DeletedRecordsHiddenByTheEngineMoveTheTableOn) {
  TForm form;
  TXbEnv env(&form);
  env.SetDeleted(true);
  Table.Next();
  Table.Delete();
  EXPECT_EQ(Item(), "fig") << "on to the following record";
  Table.Last();
  Table.Delete();
  EXPECT_EQ(Item(), "fig") << "the last one deleted: the new last one";
  env.SetDeleted(false);
  EXPECT_EQ(Table.RecCount(), 4);
}

TEST_F(Commands, AppendFromAddsTheLinesOfADelimitedFile) {
  xbtest::WriteText(Dir.File("more.csv"), "\"plum\",7\r\n\"lime\",8\r\n");
  EXPECT_TRUE(Table.AppendFrom(Dir.File("more.csv"), XB_SOURCE_DELIMITED, ""));
  EXPECT_EQ(Table.RecCount(), 6);
  Table.Last();
  EXPECT_EQ(Item(), "lime");
  EXPECT_FALSE(Table.AppendFrom(Dir.File("missing.csv"), XB_SOURCE_DELIMITED, ""));
  Table.Close();
  Table.SetExclusive(true);
  Table.Open();
  Table.Zap();
  EXPECT_EQ(Table.RecCount(), 0);
  EXPECT_TRUE(Table.IsEmpty());
}

TEST_F(Commands, EveryOperationSelectsItsOwnWorkAreaFirst) {
  std::string otherPath = Dir.File("OTHER.DBF");
  xbtest::MakeTable(otherPath, "ITEM,C,6,0;QTY,N,5,0", {{"x", "1"}, {"y", "2"}});
  TXbTable other;
  other.SetTableName(otherPath);
  other.Open();
  std::vector<std::pair<TXbTable*, std::function<void()>>> steps = {
      {&Table, [&] { Table.Next(); }},
      {&other, [&] { other.Next(); }},
      {&Table, [&] { (void)Table.Deleted(); }},
      {&other, [&] { other.Edit(); }},
      {&Table, [&] { (void)Table.RecCount(); }},
      {&other,
       [&] {
         other.FieldByName("QTY")->SetAsInteger(9);
         other.Post();
       }},
      {&Table, [&] { Table.Prior(); }},
      {&other, [&] { (void)other.Count(); }},
      {&Table, [&] { Table.Delete(); }},
      {&other, [&] { other.Last(); }},
  };
  for (size_t i = 0; i < steps.size(); ++i) {
    TCallLog log;
    steps[i].second();
    ASSERT_FALSE(log.Calls.empty()) << "step " << i;
    EXPECT_EQ(log.Calls.front(), "xb_Select(" + std::to_string(steps[i].first->Area()) + ")")
        << "step " << i;
  }
  EXPECT_EQ(other.FieldByName("QTY")->AsInteger(), 9);
  EXPECT_TRUE(Table.Deleted());
}

TEST_F(Commands, FilterEventAndCalculatedFieldsSeeEachFetchedRecord) {
  Table.Close();
  TStringField item;
  item.FieldName = "ITEM";
  item.SetSize(6);
  item.SetDataSet(&Table);
  TFloatField qty;
  qty.FieldName = "QTY";
  qty.SetDataSet(&Table);
  TFloatField twice;
  twice.FieldName = "TWICE";
  twice.FieldKind = fkCalculated;
  twice.SetDataSet(&Table);
  Table.OnCalcFields = [&](TDataSet&) { twice.SetAsFloat(qty.AsFloat() * 2); };
  Table.OnFilterRecord = [&](TDataSet&, bool& accept) { accept = qty.AsFloat() != 1; };
  Table.Filtered = true;
  Table.Open();
  std::vector<std::string> seen;
  for (Table.GoTop(); !Table.Eof(); Table.Skip(1))
    seen.push_back(item.AsString() + "=" + twice.AsString());
  EXPECT_EQ(seen, (std::vector<std::string>{"pear=6", "fig=8", "kiwi=4"}));
}
