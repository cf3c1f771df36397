// The record set's buffer window and the notifications data-aware controls rely on, seen
// through recording data links on a real table.
#include <gtest/gtest.h>

#include <functional>

#include "TField.h"
#include "TXbTable.h"
#include "TableTestSupport.h"

using xbtest::TRecordingLink;

namespace {

class DataSetWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    xbtest::RequireEngine();
    std::vector<std::vector<std::string>> rows;
    for (int i = 1; i <= 30; ++i) rows.push_back({"r" + std::to_string(i)});
    Path = Dir.File("ROWS.DBF");
    xbtest::MakeTable(Path, "V,C,5,0", rows);
    Table.SetTableName(Path);
    Table.SetExclusive(true);
    Table.BeforeScroll = [this](TDataSet&) { Steps.push_back("before scroll"); };
    Table.AfterScroll = [this](TDataSet&) { Steps.push_back("after scroll"); };
    Source.SetDataSet(&Table);
    Grid.SetBufferCount(10);
    Grid.SetDataSource(&Source);
    Edit.SetDataSource(&Source);
  }
  std::string Value() { return Table.FieldByName("V")->AsString(); }
  void ClearAll() {
    Grid.Events.clear();
    Edit.Events.clear();
    Steps.clear();
  }

  xbtest::TempDir Dir;
  std::string Path;
  TXbTable Table;
  TDataSource Source;
  TRecordingLink Grid;
  TRecordingLink Edit;
  std::vector<std::string> Steps;
};

}  // namespace

TEST_F(DataSetWindow, TheLargestWantedBufferCountSizesTheWindow) {
  Table.Open();
  EXPECT_EQ(Table.BufferCount(), 10);
  EXPECT_EQ(Grid.RecordCount(), 10);
  EXPECT_EQ(Edit.RecordCount(), 1);
  Grid.SetBufferCount(4);
  EXPECT_EQ(Table.BufferCount(), 4);
  Grid.SetBufferCount(12);
  EXPECT_EQ(Table.BufferCount(), 12);
  EXPECT_EQ(Table.BufferedRecords(), 12);
  EXPECT_EQ(Value(), "r1") << "growing the window keeps the active record";
}

TEST_F(DataSetWindow, MovesScrollTheLinksWindows) {
  Table.Open();
  EXPECT_EQ(Grid.Events, (std::vector<std::string>{"active"}));
  ClearAll();
  for (int i = 0; i < 9; ++i) Table.Next();
  EXPECT_EQ(Value(), "r10");
  EXPECT_EQ(Grid.ActiveRecord(), 9);
  EXPECT_EQ(Grid.Events, std::vector<std::string>(9, "scrolled 0"));
  EXPECT_EQ(Grid.Checks, 9) << "every move checks the browse mode first";
  EXPECT_EQ(Edit.Events, std::vector<std::string>(9, "scrolled 1")) << "a one-record link follows";
  ClearAll();
  Table.Next();  // past the window: the window shifts by one buffer
  EXPECT_EQ(Value(), "r11");
  EXPECT_EQ(Grid.Events, (std::vector<std::string>{"scrolled 1"}));
  EXPECT_EQ(Grid.ActiveRecord(), 9);
  EXPECT_EQ(Steps, (std::vector<std::string>{"before scroll", "after scroll"}));
  ClearAll();
  EXPECT_EQ(Table.MoveBy(-15), -10);
  EXPECT_EQ(Value(), "r1");
  EXPECT_TRUE(Table.Bof());
  Table.Last();
  EXPECT_EQ(Value(), "r30");
  EXPECT_EQ(Grid.ActiveRecord(), 9);
  EXPECT_TRUE(Table.TDataSet::Eof());
}

TEST_F(DataSetWindow, NextAtTheEndOnlyFiresBeforeScroll) {
  Table.Open();
  Table.Last();
  Table.Next();
  ClearAll();
  EXPECT_EQ(Table.MoveBy(1), 0);
  EXPECT_EQ(Steps, (std::vector<std::string>{"before scroll"}));
  EXPECT_TRUE(Grid.Events.empty());
  EXPECT_TRUE(Edit.Events.empty());
}

TEST_F(DataSetWindow, DisabledControlsHearOneChangeWhenEnabledAgain) {
  Table.Open();
  ClearAll();
  Table.DisableControls();
  Table.DisableControls();
  Table.Next();
  Table.Next();
  Table.EnableControls();
  EXPECT_TRUE(Grid.Events.empty());
  Table.EnableControls();
  EXPECT_EQ(Grid.Events, (std::vector<std::string>{"changed"}));
  EXPECT_EQ(Value(), "r3");
}

TEST_F(DataSetWindow, EditingIsAnnouncedToLinksAndSources) {
  int dataChanges = 0, stateChanges = 0;
  Source.OnDataChange = [&](TDataSource&, TField* f) { dataChanges += f ? 100 : 1; };
  Source.OnStateChange = [&](TDataSource&) { ++stateChanges; };
  Table.Open();
  ClearAll();
  stateChanges = dataChanges = 0;
  Table.Edit();
  EXPECT_EQ(Grid.Events, (std::vector<std::string>{"editing", "record"}));
  EXPECT_EQ(stateChanges, 1);
  ClearAll();
  Table.FieldByName("V")->SetAsString("x");
  EXPECT_EQ(Grid.Events, (std::vector<std::string>{"field"}));
  EXPECT_TRUE(Table.Modified());
  ClearAll();
  Table.Post();
  EXPECT_EQ(Grid.Events.front(), "update") << "controls write their pending edits first";
  EXPECT_NE(std::find(Grid.Events.begin(), Grid.Events.end(), "not editing"), Grid.Events.end());
  EXPECT_EQ(Grid.Events.back(), "changed");
  EXPECT_EQ(Value(), "x");
  Source.SetEnabled(false);
  ClearAll();
  Table.Next();
  EXPECT_TRUE(Grid.Events.empty()) << "a disabled source passes nothing on";
  EXPECT_FALSE(Grid.Active());
}

TEST_F(DataSetWindow, ReadOnlyLinksDoNotStartEdits) {
  Table.Open();
  Grid.SetReadOnly(true);
  EXPECT_FALSE(Grid.Edit());
  EXPECT_EQ(Table.State(), dsBrowse);
  Source.AutoEdit = false;
  EXPECT_FALSE(Edit.Edit());
  Source.AutoEdit = true;
  EXPECT_TRUE(Edit.Edit());
  EXPECT_EQ(Table.State(), dsEdit);
  EXPECT_FALSE(Grid.Editing());
}

TEST_F(DataSetWindow, EventsFireInTheirOrder) {
  std::vector<std::string> order;
  auto note = [&](const char* what) {
    return [&order, what](TDataSet&) { order.push_back(what); };
  };
  Table.BeforeOpen = note("BeforeOpen");
  Table.AfterOpen = note("AfterOpen");
  Table.BeforeInsert = note("BeforeInsert");
  Table.OnNewRecord = note("OnNewRecord");
  Table.AfterInsert = note("AfterInsert");
  Table.BeforePost = note("BeforePost");
  Table.AfterPost = note("AfterPost");
  Table.BeforeClose = note("BeforeClose");
  Table.AfterClose = note("AfterClose");
  Table.BeforeScroll = nullptr;
  Table.AfterScroll = nullptr;
  Table.Open();
  Table.Append();
  Table.FieldByName("V")->SetAsString("new");
  Table.Post();
  Table.Close();
  EXPECT_EQ(order, (std::vector<std::string>{"BeforeOpen", "AfterOpen", "BeforeInsert",
                                             "OnNewRecord", "AfterInsert", "BeforePost",
                                             "AfterPost", "BeforeClose", "AfterClose"}));
  EXPECT_EQ(xbtest::RawRecCount(Path), 31);
}

TEST_F(DataSetWindow, RequiredFieldsMustHaveAValue) {
  Table.Open();
  Table.FieldByName("V")->Required = true;
  Table.Append();
  try {
    Table.Post();
    FAIL() << "posted without a value";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Field 'V' must have a value");
  }
  EXPECT_EQ(Table.State(), dsInsert);
}

// The window is read lazily after a repositioning; whatever the steps before, a grid that
// looks at it must find the rows the record set's window rules give, around the active one.
TEST_F(DataSetWindow, AGridFindsTheWindowAroundTheRecordItWasMovedTo) {
  struct Case {
    const char* what;
    std::function<void()> steps;
    std::string firstRow, lastRow;
    int32_t active;
  };
  std::vector<Case> cases = {
      {"the old index is kept", [&] { Table.SetRecNo(20); }, "r16", "r25", 4},
      {"a window replaced before anyone looked",
       [&] {
         Table.SetRecNo(20);
         Table.SetRecNo(12);
         Table.SetRecNo(15);
       },
       "r11", "r20", 4},
      {"near the top fewer rows come before", [&] { Table.SetRecNo(2); }, "r1", "r10", 1},
      {"near the end the rows before fill the room", [&] { Table.SetRecNo(29); }, "r21", "r30", 8},
      {"a move goes on within the read window",
       [&] {
         Table.SetRecNo(20);
         Table.Next();
       },
       "r16", "r25", 5},
      {"an appended record, posted, is last with the rows before it",
       [&] {
         Table.Append();
         Table.FieldByName("V")->SetAsString("new");
         Table.Post();
       },
       "r22", "new", 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Table.Close();
    Table.Open();
    for (int i = 0; i < 4; ++i) Table.Next();  // r5, the fifth row of the grid
    c.steps();
    std::string active = Value();
    ASSERT_EQ(Grid.RecordCount(), 10);
    EXPECT_EQ(Grid.ActiveRecord(), c.active);
    std::vector<std::string> rows;
    for (int32_t i = 0; i < Grid.RecordCount(); ++i) {
      int32_t old = Table.SetActiveRecord(Grid.FirstRecord() + i);
      rows.push_back(Value());
      Table.SetActiveRecord(old);
    }
    EXPECT_EQ(rows.front(), c.firstRow);
    EXPECT_EQ(rows.back(), c.lastRow);
    EXPECT_EQ(rows[static_cast<size_t>(c.active)], active);
    EXPECT_EQ(Value(), active) << "looking at the window leaves the active record";
    Table.Next();
    if (c.lastRow != rows[static_cast<size_t>(c.active)]) {
      EXPECT_EQ(Value(), rows[static_cast<size_t>(c.active) + 1]) << "the cursor followed";
    }
  }
}

namespace {

// A link that is part of a record set, as a detail's link to its master is.
struct TPartLink : TDataLink {
  explicit TPartLink(TDataSet* owner) { SetOwnerDataSet(owner); }
};

}  // namespace

TEST_F(DataSetWindow, DataSourcesMayNotLinkInACircle) {
  std::string detailPath = Dir.File("DETAIL.DBF");
  xbtest::MakeTable(detailPath, "V,C,5,0", {{"d1"}});
  TXbTable detail;
  detail.SetTableName(detailPath);
  detail.SetMasterSource(&Source);  // detail follows Table
  TDataSource detailSource;
  detailSource.SetDataSet(&detail);
  TDataSource other;
  TXbTable unrelated;
  other.SetDataSet(&unrelated);
  struct Case {
    const char* what;
    TDataSource* source;
    bool circular;
  };
  for (const Case& c : {Case{"to its own record set", &Source, true},
                        Case{"back through the detail's master link", &detailSource, true},
                        Case{"to a record set it does not lead back from", &other, false}}) {
    SCOPED_TRACE(c.what);
    TPartLink link(&Table);
    EXPECT_EQ(xbtest::ErrorOf([&] { link.SetDataSource(c.source); }),
              c.circular ? "Circular datalinks are not allowed" : "(no error)");
    EXPECT_EQ(link.DataSource(), c.circular ? nullptr : c.source);
  }
}
