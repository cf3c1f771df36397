// The C entries on tables made in a temporary directory: create, structure, records, writes,
// pack and zap, navigation, settings, the registry of areas and the neutral results.
#include <cstring>

#include "EngineTestUtil.h"

namespace xbtest {
namespace {

const char* kSchema = "ITEM,C,8,0;DESCRIPT,C,20,0;AMOUNT,N,10,2;WHEN,D,8,0;OK,L,1,0";

class Table : public EngineTest {
 protected:
  std::string Create(const std::string& name = "T.DBF", const char* schema = kSchema) {
    std::string path = FDir.File(name);
    EXPECT_NE(xb_CreateTable(path.c_str(), schema), 0) << xb_ErrorText();
    return path;
  }
  int Open(const std::string& path, int mode = XB_OPEN_EXCLUSIVE) {
    int area = xb_UseEx(path.c_str(), nullptr, mode, XB_DRIVER_CDX, XB_COMMIT_NORMAL);
    EXPECT_GT(area, 0) << xb_ErrorText();
    return area;
  }
  // Appends one record per item code, AMOUNT = its position.
  void AppendItems(const std::vector<std::string>& items) {
    int i = 0;
    for (const std::string& item : items) {
      ASSERT_NE(xb_AppendBlank(), 0) << xb_ErrorText();
      ASSERT_NE(xb_Replace("ITEM", 0, item.c_str()), 0) << xb_ErrorText();
      ASSERT_NE(xb_Replace("AMOUNT", 0, std::to_string(++i).c_str()), 0) << xb_ErrorText();
    }
  }
  std::vector<std::string> WalkItems(int direction = 1) {
    std::vector<std::string> items;
    if (direction > 0) {
      for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) items.push_back(xb_GetTrimString("ITEM"));
    } else {
      for (xb_GoBottom(); !xb_Bof() && !xb_Eof(); xb_Skip(-1))
        items.push_back(xb_GetTrimString("ITEM"));
    }
    return items;
  }
};

TEST_F(Table, CreateGivesTheHeaderOtherToolsExpect) {
  std::string path = Create();
  auto bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), 32u * 5 + 34 + 1);
  EXPECT_EQ(bytes[0], 0x03);
  EXPECT_EQ(bytes[8] | bytes[9] << 8, 32 * 5 + 34);
  EXPECT_EQ(bytes[10] | bytes[11] << 8, 1 + 8 + 20 + 10 + 8 + 1);
  EXPECT_EQ(bytes[28], 0);
  EXPECT_EQ(bytes[32 + 32 * 5], 0x0D);
  EXPECT_EQ(bytes.back(), 0x1A);
  // Field 2's descriptor holds its real displacement.
  EXPECT_EQ(bytes[64 + 12], 9);
  // Refuses to replace an existing file, in any case of its name.
  EXPECT_EQ(xb_CreateTable(path.c_str(), kSchema), 0);
  EXPECT_EQ(xb_CreateTable(FDir.File("t.dbf").c_str(), kSchema), 0);
}

TEST_F(Table, CreateRefusesBadDefinitions) {
  const char* bad[] = {"",
                       "ITEM,X,8,0",
                       "ITEM,C,0,0",
                       "ITEM,C,255,0",
                       "ITEM,N,21,0",
                       "ITEM,N,5,4",
                       "1TEM,C,8,0",
                       "ITEM,C,8,0;ITEM,C,4,0",
                       "TOOLONGNAME1,C,8,0",
                       "ITEM,C,abc,0",
                       "ITEM",
                       "IT-EM,C,8,0"};
  for (const char* schema : bad) {
    SCOPED_TRACE(schema);
    EXPECT_EQ(xb_CreateTable(FDir.File("B.DBF").c_str(), schema), 0);
    EXPECT_STRNE(xb_ErrorText(), "");
  }
  EXPECT_EQ(xb_CreateTable(nullptr, kSchema), 0);
  EXPECT_EQ(xb_CreateTable(FDir.File("B.DBF").c_str(), nullptr), 0);
}

TEST_F(Table, StructureEntries) {
  Open(Create());
  EXPECT_EQ(xb_FieldCount(), 5);
  EXPECT_STREQ(xb_FieldName(1), "ITEM");
  EXPECT_STREQ(xb_FieldName(5), "OK");
  EXPECT_STREQ(xb_FieldName(6), "");
  EXPECT_STREQ(xb_FieldType("amount"), "N");
  EXPECT_EQ(xb_FieldWidth("AMOUNT"), 10);
  EXPECT_EQ(xb_FieldDecimals("AMOUNT"), 2);
  EXPECT_EQ(xb_FieldOffset("ITEM"), 2);
  EXPECT_EQ(xb_FieldOffset("DESCRIPT"), 10);
  EXPECT_EQ(xb_RecSize(), 48);
  EXPECT_EQ(xb_FieldWidth("NOPE"), 0);
  EXPECT_STREQ(xb_FieldType(nullptr), "");
}

TEST_F(Table, ValuesRoundTripThroughTheFile) {
  std::string path = Create();
  Open(path);
  ASSERT_NE(xb_AppendBlank(), 0);
  EXPECT_EQ(xb_RecNo(), 1);
  EXPECT_EQ(xb_RecCount(), 1);
  // A blank record reads as empty text, 0, an empty date and false.
  EXPECT_STREQ(xb_GetString("ITEM"), "        ");
  EXPECT_EQ(xb_GetDouble("AMOUNT"), 0.0);
  EXPECT_EQ(xb_GetDateString("WHEN")[0], ' ');
  EXPECT_EQ(xb_GetInteger("OK"), 0);
  EXPECT_NE(xb_Replace("ITEM", 0, "ABCDEFGHIJK"), 0);  // cut to 8
  EXPECT_NE(xb_Replace("DESCRIPT", 0, "x"), 0);
  EXPECT_NE(xb_Replace("AMOUNT", 0, "-12.50"), 0);
  EXPECT_NE(xb_Replace("WHEN", 0, "20240229"), 0);
  EXPECT_NE(xb_Replace("OK", 0, "T"), 0);
  EXPECT_EQ(xb_Replace("AMOUNT", 0, "12345678901"), 0);  // too wide: refused
  EXPECT_NE(xb_Commit(), 0);
  EXPECT_NE(xb_Close(), 0);

  Open(path);
  EXPECT_EQ(xb_RecCount(), 1);
  EXPECT_STREQ(xb_GetString("ITEM"), "ABCDEFGH");
  EXPECT_STREQ(xb_GetString("DESCRIPT"), "x                   ");
  EXPECT_STREQ(xb_GetTrimString("DESCRIPT"), "x");
  EXPECT_STREQ(xb_GetString("AMOUNT"), "    -12.50");
  EXPECT_STREQ(xb_GetTrimString("AMOUNT"), "-12.50");
  EXPECT_DOUBLE_EQ(xb_GetDouble("AMOUNT"), -12.5);
  EXPECT_EQ(xb_GetInteger("AMOUNT"), -12);
  EXPECT_STREQ(xb_GetDateString("WHEN"), "20240229");
  EXPECT_EQ(xb_GetInteger("OK"), -1);

  // The record image is the DBF layout; PutRecord writes it whole.
  std::vector<char> image(static_cast<size_t>(xb_RecSize()));
  EXPECT_EQ(xb_GetRecord(image.data()), xb_RecSize());
  EXPECT_EQ(std::string(image.data() + 1, 8), "ABCDEFGH");
  std::memcpy(image.data() + 1, "NEWCODE ", 8);
  EXPECT_NE(xb_PutRecord(image.data()), 0);
  EXPECT_NE(xb_Close(), 0);
  Open(path);
  EXPECT_STREQ(xb_GetTrimString("ITEM"), "NEWCODE");
}

TEST_F(Table, NavigationInRecordOrder) {
  Open(Create());
  // Empty table: both ends at once.
  EXPECT_NE(xb_GoTop(), 0);
  EXPECT_NE(xb_Eof(), 0);
  EXPECT_NE(xb_Bof(), 0);
  EXPECT_EQ(xb_RecNo(), 1);
  AppendItems({"A", "B", "C", "D"});
  EXPECT_EQ(WalkItems(), (std::vector<std::string>{"A", "B", "C", "D"}));
  EXPECT_EQ(WalkItems(-1), (std::vector<std::string>{"D", "C", "B", "A"}));
  xb_GoTop();
  xb_Skip(10);
  EXPECT_NE(xb_Eof(), 0);
  EXPECT_EQ(xb_RecNo(), 5);
  EXPECT_STREQ(xb_GetString("ITEM"), "        ");  // past the end: a blank record
  xb_Skip(-1);                                     // from the end back to the last record
  EXPECT_EQ(xb_RecNo(), 4);
  EXPECT_EQ(xb_Eof(), 0);
  xb_Skip(-10);  // past the start: stays on the first record, Bof set
  EXPECT_EQ(xb_RecNo(), 1);
  EXPECT_NE(xb_Bof(), 0);
  EXPECT_NE(xb_Go(3), 0);
  EXPECT_STREQ(xb_GetTrimString("ITEM"), "C");
  EXPECT_EQ(xb_Go(9), 0);
  EXPECT_NE(xb_Eof(), 0);
  EXPECT_EQ(xb_Go(-1), 0);
  EXPECT_EQ(xb_Count(), 4);
}

TEST_F(Table, DeletedRecordsVisibleByDefaultAndHiddenOnRequest) {
  Open(Create());
  AppendItems({"A", "B", "C", "D"});
  xb_Go(1);
  EXPECT_NE(xb_Delete(), 0);
  xb_Go(3);
  EXPECT_NE(xb_Delete(), 0);
  EXPECT_NE(xb_Deleted(), 0);
  EXPECT_EQ(xb_SysProp(XB_PROP_DELETED_HIDDEN, 0), 0);
  EXPECT_EQ(WalkItems(), (std::vector<std::string>{"A", "B", "C", "D"}));
  xb_SetDeleted(-1);
  EXPECT_NE(xb_SysProp(XB_PROP_DELETED_HIDDEN, 0), 0);
  EXPECT_EQ(WalkItems(), (std::vector<std::string>{"B", "D"}));
  EXPECT_EQ(WalkItems(-1), (std::vector<std::string>{"D", "B"}));
  EXPECT_EQ(xb_Count(), 2);
  EXPECT_EQ(xb_RecCount(), 4);
  // Go still reaches a hidden record, and Recall brings it back.
  EXPECT_NE(xb_Go(1), 0);
  EXPECT_NE(xb_Recall(), 0);
  EXPECT_EQ(WalkItems(), (std::vector<std::string>{"A", "B", "D"}));
}

TEST_F(Table, PackAndZap) {
  std::string path = Create();
  Open(path);
  AppendItems({"A", "B", "C", "D", "E"});
  for (int k : {2, 4, 5}) {
    xb_Go(k);
    xb_Delete();
  }
  EXPECT_NE(xb_Pack(), 0) << xb_ErrorText();
  EXPECT_EQ(xb_RecCount(), 2);
  EXPECT_EQ(WalkItems(), (std::vector<std::string>{"A", "C"}));
  // The rest of the table still works on the new file: append and reopen.
  AppendItems({"F"});
  EXPECT_NE(xb_Close(), 0);
  EXPECT_EQ(ReadBytes(path).size(), 32u * 5 + 34 + 3 * 48 + 1);
  EXPECT_FALSE(xb::PosixFileSystem().Exists(path + ".pack"));
  Open(path);
  EXPECT_EQ(WalkItems(), (std::vector<std::string>{"A", "C", "F"}));
  EXPECT_NE(xb_Zap(), 0);
  EXPECT_EQ(xb_RecCount(), 0);
  EXPECT_NE(xb_Eof(), 0);
  EXPECT_NE(xb_Close(), 0);
  EXPECT_EQ(ReadBytes(path).size(), 32u * 5 + 34 + 1);
}

TEST_F(Table, CommitMakesAppendsDurableAndCloseCommits) {
  std::string path = Create();
  Open(path);
  AppendItems({"A", "B"});
  EXPECT_NE(xb_Commit(), 0);
  // Another reader sees the committed count.
  auto bytes = ReadBytes(path);
  EXPECT_EQ(bytes[4], 2);
  EXPECT_EQ(bytes.back(), 0x1A);
  AppendItems({"C"});
  EXPECT_NE(xb_Close(), 0);
  bytes = ReadBytes(path);
  EXPECT_EQ(bytes[4], 3);
  EXPECT_EQ(bytes.size(), 32u * 5 + 34 + 3 * 48 + 1);
}

TEST_F(Table, ManyAppendsSpanSeveralWriteBlocks) {
  // More than one append block and one read-ahead block: records stay in order.
  std::string path = Create("BIG.DBF", "N,N,8,0");
  Open(path);
  const int n = 30000;
  for (int i = 1; i <= n; ++i) {
    ASSERT_NE(xb_AppendBlank(), 0);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%8d", i);
    std::vector<char> image(10, ' ');
    std::memcpy(image.data() + 1, buf, 8);
    ASSERT_NE(xb_PutRecord(image.data()), 0);
    if (i == 20000) {  // rewrite one that is already on the file
      ASSERT_NE(xb_Go(5), 0);
      ASSERT_NE(xb_Replace("N", 0, "-5"), 0);
    }
  }
  EXPECT_NE(xb_Close(), 0);
  Open(path);
  ASSERT_EQ(xb_RecCount(), n);
  int k = 0;
  for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) {
    ++k;
    ASSERT_EQ(xb_GetInteger("N"), k == 5 ? -5 : k) << k;
  }
  EXPECT_EQ(k, n);
  k = n;
  for (xb_GoBottom(); !xb_Bof(); xb_Skip(-1), --k) ASSERT_EQ(xb_RecNo(), k);
}

TEST_F(Table, WorkAreasAliasesAndSelection) {
  std::string a = Create("A_ItIn.dbf");
  std::string b = Create("OTHER.DBF");
  int first = Open(a);
  EXPECT_EQ(first, 1);
  EXPECT_STREQ(xb_Alias(first), "A_ITIN");
  int second = xb_UseEx(b.c_str(), "mine", XB_OPEN_EXCLUSIVE, XB_DRIVER_CDX, XB_COMMIT_NORMAL);
  EXPECT_EQ(second, 2);
  EXPECT_STREQ(xb_Alias(second), "MINE");
  EXPECT_EQ(xb_WorkArea("a_itin"), first);
  EXPECT_EQ(xb_WorkArea("MINE"), second);
  EXPECT_EQ(xb_WorkArea("NONE"), 0);
  // An alias in use is refused.
  std::string c = Create("THIRD.DBF");
  EXPECT_EQ(xb_UseEx(c.c_str(), "A_ITIN", XB_OPEN_SHARED, XB_DRIVER_CDX, XB_COMMIT_NORMAL), 0);
  // Entries act on the selected area only.
  AppendItems({"IN2"});
  xb_Select(first);
  EXPECT_EQ(xb_RecCount(), 0);
  xb_Select(second);
  EXPECT_EQ(xb_RecCount(), 1);
  // Closing frees the number for the next open.
  xb_Select(first);
  EXPECT_NE(xb_Close(), 0);
  EXPECT_STREQ(xb_Alias(first), "");
  EXPECT_EQ(Open(c), first);
}

TEST_F(Table, BadAreasAndArgumentsGiveNeutralResults) {
  std::string path = Create();
  // Nothing open.
  EXPECT_EQ(xb_RecCount(), 0);
  EXPECT_EQ(xb_GoTop(), 0);
  EXPECT_STREQ(xb_GetString("ITEM"), "");
  EXPECT_EQ(xb_Close(), 0);
  xb_Select(99);
  EXPECT_EQ(xb_Select(0), 0);  // selecting an area that is not open leaves none current
  EXPECT_EQ(xb_UseEx(nullptr, nullptr, 0, XB_DRIVER_CDX, 1), 0);
  EXPECT_EQ(xb_UseEx(path.c_str(), nullptr, 7, XB_DRIVER_CDX, 1), 0);
  EXPECT_EQ(xb_UseEx(path.c_str(), nullptr, 0, 5, 1), 0);
  EXPECT_EQ(xb_UseEx(path.c_str(), nullptr, 0, XB_DRIVER_CDX, 9), 0);
  EXPECT_EQ(xb_UseEx(FDir.File("MISSING.DBF").c_str(), nullptr, 0, XB_DRIVER_CDX, 1), 0);
  EXPECT_STRNE(xb_ErrorText(), "");
  int area = Open(path);
  AppendItems({"A"});
  // Null pointers and bad arguments on an open area.
  EXPECT_EQ(xb_GetRecord(nullptr), 0);
  EXPECT_EQ(xb_PutRecord(nullptr), 0);
  EXPECT_STREQ(xb_GetString(nullptr), "");
  EXPECT_EQ(xb_Replace(nullptr, 0, "x"), 0);
  EXPECT_NE(xb_Replace("ITEM", 0, nullptr), 0);  // null text stores blanks
  EXPECT_EQ(xb_GetMemo("ITEM", 0), nullptr);
  EXPECT_EQ(xb_AppendFrom(nullptr, XB_SOURCE_DELIMITED, ""), 0);
  EXPECT_EQ(xb_SetOrder(1), 0);
  EXPECT_NE(xb_SetOrder(0), 0);
  EXPECT_EQ(xb_SysProp(XB_PROP_ORDER_COUNT, 0), 0);
  EXPECT_EQ(xb_Seek("A"), 0);
  EXPECT_EQ(xb_TagArea("ITEM"), 0);
  EXPECT_EQ(xb_IndexTag(nullptr, nullptr, nullptr, 0, 0, nullptr), 0);
  // A closed area stays neutral after being selected again.
  xb_Close();
  xb_Select(area);
  EXPECT_EQ(xb_RecCount(), 0);
  EXPECT_EQ(xb_AppendBlank(), 0);
  EXPECT_EQ(xb_Pack(), 0);
}

TEST_F(Table, FilesAreFoundWithoutRegardToCaseButNeverGuessed) {
  std::string path = Create("Mixed.Dbf");
  EXPECT_GT(Open(FDir.File("MIXED.DBF")), 0);
  xb_Close();
  // A new table is not made beside one whose name differs only in case.
  EXPECT_EQ(xb_CreateTable(FDir.File("MIXED.dbf").c_str(), kSchema), 0);
  // Two names that differ only in case (copied from elsewhere): refused, naming both.
  WriteBytes(FDir.File("mixed.dbf"), ReadBytes(path));
  EXPECT_EQ(xb_UseEx(FDir.File("MIXED.DBF").c_str(), nullptr, 0, XB_DRIVER_CDX, 1), 0);
  std::string error = xb_ErrorText();
  EXPECT_NE(error.find("Mixed.Dbf"), std::string::npos) << error;
  EXPECT_NE(error.find("mixed.dbf"), std::string::npos) << error;
}

TEST_F(Table, SettingsKeepTheirDefaultsUntilChanged) {
  EXPECT_EQ(xb_SysProp(XB_PROP_EXACT_GET, 0), 0);
  EXPECT_EQ(xb_SysProp(XB_PROP_EXACT_SET, 1), 1);
  EXPECT_EQ(xb_SysProp(XB_PROP_EXACT_GET, 0), 1);
  EXPECT_EQ(xb_SysProp(XB_PROP_EXACT_SET, 0), 0);
  EXPECT_EQ(xb_SetSoftSeek(-1), 0);  // returns the previous state
  EXPECT_NE(xb_SetSoftSeek(0), 0);
  EXPECT_EQ(xb_SetEpoch(1950), 1980);
  EXPECT_EQ(xb_ErrorLevel(0), 1);
  EXPECT_EQ(xb_ErrorLevel(1), 0);
  EXPECT_EQ(xb_SysProp(XB_PROP_OPTBUF_SET, 1), 1);
  EXPECT_EQ(xb_SysProp(XB_PROP_OPTBUF_GET, 0), 1);
  EXPECT_STRNE(xb_Version(), "");
}

}  // namespace
}  // namespace xbtest
