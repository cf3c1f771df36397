// Orders of the compound index through the C entries: the fixtures' tags walked and sought
// as their dumps and seek tables say, tags we create giving the same, every write keeping
// every tag up to date, and index files that do not match their tables.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <regex>
#include <sstream>

#include "CdxTestSupport.h"
#include "EngineTestUtil.h"

namespace xbtest {
namespace {

const char* const kIndexedFixtures[] = {"A_ITIN",  "A_ITOUT", "A_DATOUT", "X_MULTI", "X_TYPES",
                                        "X_MEMOX", "X_SMALL", "X_BIG",    "X_BIGI",  "X_WIDE",
                                        "X_UNIQ",  "X_FORI",  "X_FREE",   "X_SHARE"};

std::string PeerDir() {
  return FixturesDir() + "/peer-xbase/";
}

std::string DumpPath(const std::string& table) {
  std::string path = PeerDir() + "expected/" + table + ".dump.txt";
  return std::ifstream(path) ? path : path + ".gz";
}

// The record numbers of the controlling order, walked with GoTop and Skip.
std::vector<uint32_t> WalkOrder() {
  std::vector<uint32_t> recnos;
  xb_GoTop();
  while (!xb_Eof() && recnos.size() < 100000) {
    recnos.push_back(static_cast<uint32_t>(xb_RecNo()));
    xb_Skip(1);
  }
  return recnos;
}

// Every order of the current area, by tag name.
std::map<std::string, std::vector<uint32_t>> WalkAll() {
  std::map<std::string, std::vector<uint32_t>> orders;
  int saved = xb_IndexOrd();
  for (int i = 1; i <= xb_SysProp(XB_PROP_ORDER_COUNT, 0); ++i) {
    xb_SetOrder(i);
    orders[xb_TagName(i)] = WalkOrder();
  }
  xb_SetOrder(saved);
  return orders;
}

std::vector<uint32_t> DumpRecnos(const cdxtest::DumpOrder& order) {
  std::vector<uint32_t> recnos;
  for (const auto& row : order.rows) recnos.push_back(row.first);
  return recnos;
}

struct TagLine {
  std::string name, key, forExpr;
  bool descend, unique;
};

std::vector<TagLine> DumpTags(const std::string& table) {
  std::string path = DumpPath(table);
  std::string text;
  FILE* pipe =
      ::popen(((path.size() > 3 && path.substr(path.size() - 3) == ".gz" ? "zcat '" : "cat '") +
               path + "' | grep '^TAG '")
                  .c_str(),
              "r");
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
  ::pclose(pipe);
  std::vector<TagLine> tags;
  std::regex re("^TAG \\d+ name=(\\S+) bag=\\S+ key=(.*) for=(.*) descend=([TF]) unique=([TF])$");
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    std::smatch m;
    if (std::regex_match(line, m, re)) tags.push_back({m[1], m[2], m[3], m[4] == "T", m[5] == "T"});
  }
  return tags;
}

int32_t Open(const std::string& path, int32_t mode = XB_OPEN_EXCLUSIVE) {
  return xb_UseEx(path.c_str(), nullptr, mode, XB_DRIVER_CDX, XB_COMMIT_NORMAL);
}

class CdxOrders : public EngineTest {};

// Each fixture's tags in their dumps' order, walked through the entries, with what the
// entries tell about each order.
TEST_F(CdxOrders, FixtureTagsWalkAsDumped) {
  for (const char* table : kIndexedFixtures) {
    SCOPED_TRACE(table);
    ASSERT_GT(Open(PeerDir() + table + ".DBF", XB_OPEN_READONLY), 0) << xb_ErrorText();
    std::vector<TagLine> tags = DumpTags(table);
    auto orders = cdxtest::ReadDumpOrders(DumpPath(table));
    ASSERT_EQ(xb_SysProp(XB_PROP_ORDER_COUNT, 0), static_cast<int>(tags.size()));
    for (size_t i = 0; i < tags.size(); ++i) {
      SCOPED_TRACE(tags[i].name);
      EXPECT_EQ(xb_TagArea(tags[i].name.c_str()), static_cast<int>(i + 1));
      ASSERT_NE(xb_SetOrder(static_cast<int>(i + 1)), 0);
      EXPECT_EQ(xb_IndexOrd(), static_cast<int>(i + 1));
      EXPECT_STREQ(xb_TagName(static_cast<int>(i + 1)), tags[i].name.c_str());
      EXPECT_EQ(xb_IndexKey(), tags[i].key);
      EXPECT_EQ(xb_IndexCondition(), tags[i].forExpr);
      EXPECT_EQ(xb_SysProp(XB_PROP_DESCENDING, 0) != 0, tags[i].descend);
      EXPECT_EQ(xb_IndexType() == 2 || xb_IndexType() == 4, tags[i].unique);
      EXPECT_EQ(cdxtest::Upper(xb_IndexName(static_cast<int>(i + 1))),
                cdxtest::Upper(PeerDir() + table + ".CDX"));
      EXPECT_EQ(WalkOrder(), DumpRecnos(orders.at(tags[i].name)));
    }
    xb_Close();
  }
}

struct SeekLine {
  std::string table, tag, text, flags;
  bool found, eof;
  int recno;
  std::string key;
};

std::vector<SeekLine> ReadSeeks() {
  std::vector<SeekLine> lines;
  std::regex re(
      "^(\\S+)\\t(\\S+)\\t\\[(.*)\\]\\t(\\S+)\\tFOUND ([TF]) RECNO (\\d+) EOF ([TF]) KEY "
      "\\[(.*)\\]$");
  for (const char* file : {"seeks.tsv", "seeks2.tsv"}) {
    std::istringstream in(ReadText(PeerDir() + "expected/" + file));
    std::string line;
    while (std::getline(in, line)) {
      std::smatch m;
      if (!std::regex_match(line, m, re)) continue;
      lines.push_back({m[1], m[2], m[3], m[4], m[5] == "T", m[7] == "T", std::stoi(m[6]), m[8]});
    }
  }
  return lines;
}

// Runs the seeks of the fixtures' tables on the index files in `dir` (the fixtures' own or
// ones we built). "Seek last" has no entry and is left out. With the exact switch on, our
// seek accepts only a key with nothing but blanks after the text; the other engine ignored
// the switch, so for those lines a longer key counts as a miss.
void RunSeeks(const std::string& dir, int32_t mode, const std::string& without = "") {
  int tested = 0;
  std::string openTable;
  for (const SeekLine& s : ReadSeeks()) {
    if (s.flags.find('L') != std::string::npos || s.table == without) continue;
    SCOPED_TRACE(s.table + " " + s.tag + " [" + s.text + "] " + s.flags);
    if (s.table != openTable) {
      if (!openTable.empty()) xb_Close();
      ASSERT_GT(Open(dir + s.table + ".DBF", mode), 0) << xb_ErrorText();
      openTable = s.table;
    }
    int order = xb_TagArea(s.tag.c_str());
    ASSERT_GT(order, 0);
    ASSERT_NE(xb_SetOrder(order), 0);
    bool soft = s.flags.find('S') != std::string::npos;
    bool exact = s.flags.find('X') != std::string::npos;
    xb_SetSoftSeek(soft ? -1 : 0);
    xb_SysProp(XB_PROP_EXACT_SET, exact ? 1 : 0);
    xb_SetDeleted(s.flags.find('D') != std::string::npos ? -1 : 0);
    bool found = s.found;
    bool eof = s.eof;
    int recno = s.recno;
    if (exact && found && s.key.find_first_not_of(' ', s.text.size()) != std::string::npos) {
      found = false;
      if (!soft) eof = true, recno = xb_RecCount() + 1;
    }
    int32_t result = xb_Seek(s.text.c_str());
    EXPECT_EQ(result != 0, found);
    EXPECT_EQ(xb_Found() != 0, found);
    EXPECT_EQ(xb_Eof() != 0, eof);
    EXPECT_EQ(xb_RecNo(), recno);
    ++tested;
  }
  if (!openTable.empty()) xb_Close();
  xb_SetSoftSeek(0);
  xb_SysProp(XB_PROP_EXACT_SET, 0);
  xb_SetDeleted(0);
  EXPECT_GT(tested, 330);
}

TEST_F(CdxOrders, FixtureSeeksLandAsListed) {
  RunSeeks(PeerDir(), XB_OPEN_READONLY);
}

// The fixtures' rows indexed by us: the same orders and the same seek results. (X_UNIQ is
// left out: its tag holds what row-by-row changes left, which a build from the rows does not
// reproduce.)
TEST_F(CdxOrders, TagsWeBuildOrderAndSeekLikeTheFixtures) {
  for (const char* table : kIndexedFixtures) {
    if (std::string(table) == "X_UNIQ") continue;
    SCOPED_TRACE(table);
    CopyFixture("peer-xbase/" + std::string(table) + ".DBF", FDir.path());
    if (std::ifstream(PeerDir() + table + ".FPT"))
      CopyFixture("peer-xbase/" + std::string(table) + ".FPT", FDir.path());
    std::string dbf = FDir.File(std::string(table) + ".DBF");
    // Without its index file and with the flag cleared, as a table that never had one.
    std::vector<uint8_t> bytes = ReadBytes(dbf);
    bytes[28] = 0;
    WriteBytes(dbf, bytes);
    ASSERT_GT(Open(dbf), 0) << xb_ErrorText();
    EXPECT_EQ(xb_SysProp(XB_PROP_ORDER_COUNT, 0), 0);
    std::vector<TagLine> tags = DumpTags(table);
    for (size_t i = 0; i < tags.size(); ++i) {
      const TagLine& t = tags[i];
      int order = xb_IndexTag(nullptr, t.name.c_str(), t.key.c_str(), t.unique ? 1 : 0,
                              t.descend ? -1 : 0, t.forExpr.empty() ? nullptr : t.forExpr.c_str());
      ASSERT_EQ(order, static_cast<int>(i + 1)) << t.name << ": " << xb_ErrorText();
      EXPECT_EQ(xb_IndexOrd(), order);
    }
    auto orders = cdxtest::ReadDumpOrders(DumpPath(table));
    auto walked = WalkAll();
    for (const TagLine& t : tags)
      EXPECT_EQ(walked[t.name], DumpRecnos(orders.at(t.name))) << t.name;
    xb_Close();
    // The production index file: in capitals beside the table, announced in byte 28.
    EXPECT_TRUE(std::ifstream(FDir.File(std::string(table) + ".CDX")).good());
    EXPECT_EQ(ReadBytes(dbf)[28], 0x01);
  }
  RunSeeks(FDir.path() + "/", XB_OPEN_EXCLUSIVE, "X_UNIQ");
}

// Appends, replaces, deletes and recalls keep every kind of tag as a rebuild from the rows
// would make it, and the file opens again without a rebuild.
TEST_F(CdxOrders, EveryWriteKeepsEveryTagUpToDate) {
  std::string dbf = FDir.File("T.DBF");
  ASSERT_NE(xb_CreateTable(dbf.c_str(), "ITEM,C,12,0;QTY,N,8,2;WHEN,D,8,0;FLAG,L,1,0"), 0);
  ASSERT_GT(Open(dbf), 0) << xb_ErrorText();
  struct Tag {
    const char* name;
    const char* key;
    const char* condition;
    bool descending;
  } tags[] = {
      {"ITEM", "UPPER(ITEM)", nullptr, false}, {"ITEMD", "UPPER(ITEM)", nullptr, true},
      {"QTY", "QTY", nullptr, false},          {"WHEN", "WHEN", nullptr, false},
      {"FLAG", "FLAG", nullptr, false},        {"MIX", "LEFT(ITEM,3)+STR(QTY,8,2)", nullptr, false},
      {"LIVE", "ITEM", "!DELETED()", false},   {"BIGQ", "DTOS(WHEN)", "QTY > 50", true},
  };
  for (const Tag& t : tags)
    ASSERT_GT(xb_IndexTag(nullptr, t.name, t.key, 0, t.descending ? -1 : 0, t.condition), 0)
        << t.name << ": " << xb_ErrorText();
  std::mt19937 rng(3);
  auto randomize = [&] {
    std::string item;
    for (int i = 0, n = int(rng() % 9); i < n; ++i) item += "abcABC xyz"[rng() % 10];
    xb_Replace("ITEM", 0, item.c_str());
    xb_Replace("QTY", 0, std::to_string(int(rng() % 20000) / 100.0 - 50).c_str());
    char when[9];
    std::snprintf(when, sizeof when, "%04d%02d%02d", 1990 + int(rng() % 50), 1 + int(rng() % 12),
                  1 + int(rng() % 28));
    xb_Replace("WHEN", 0, rng() % 10 ? when : "        ");
    xb_Replace("FLAG", 0, rng() % 2 ? "T" : "F");
  };
  for (int round = 0; round < 4; ++round) {
    for (int i = 0; i < 600; ++i) {
      int what = int(rng() % 10);
      if (what < 5 || xb_RecCount() == 0) {
        ASSERT_NE(xb_AppendBlank(), 0);
        randomize();
      } else {
        ASSERT_NE(xb_Go(1 + int(rng() % xb_RecCount())), 0);
        if (what < 8)
          randomize();
        else if (what == 8)
          xb_Delete();
        else
          xb_Recall();
      }
    }
    ASSERT_NE(xb_Commit(), 0);
    auto maintained = WalkAll();
    ASSERT_EQ(maintained.size(), std::size(tags));
    ASSERT_NE(xb_Reindex(), 0) << xb_ErrorText();
    EXPECT_EQ(WalkAll(), maintained) << "round " << round;
  }
  auto before = WalkAll();
  xb_Close();
  std::vector<uint8_t> file = ReadBytes(FDir.File("T.CDX"));
  ASSERT_GT(Open(dbf), 0) << xb_ErrorText();
  EXPECT_EQ(WalkAll(), before);
  xb_Close();
  EXPECT_EQ(ReadBytes(FDir.File("T.CDX")), file) << "the open rebuilt a sound index";
}

// Appends in bulk (more than the engine puts into the trees one by one) through plain, unique,
// FOR and descending tags, with reads and a change of an older record in between: every tag
// lists what a reindex lists, and the appends leave leaves about as full as a reindex does.
TEST_F(CdxOrders, BulkAppendsMergeIntoEveryTag) {
  std::string dbf = FDir.File("T.DBF");
  ASSERT_NE(xb_CreateTable(dbf.c_str(), "ITEM,C,12,0;QTY,N,8,2"), 0);
  ASSERT_GT(Open(dbf), 0) << xb_ErrorText();
  struct Tag {
    const char* name;
    const char* key;
    const char* condition;
    bool descending, unique;
  } tags[] = {
      {"ITEM", "UPPER(ITEM)", nullptr, false, false},
      {"ITEMU", "UPPER(ITEM)", nullptr, false, true},
      {"QTYD", "QTY", nullptr, true, false},
      {"SMALL", "ITEM", "QTY < 20", false, false},
  };
  for (const Tag& t : tags)
    ASSERT_GT(
        xb_IndexTag(nullptr, t.name, t.key, t.unique ? 1 : 0, t.descending ? -1 : 0, t.condition),
        0)
        << t.name << ": " << xb_ErrorText();
  std::mt19937 rng(5);
  auto append = [&](int count) {
    for (int i = 0; i < count; ++i) {
      ASSERT_NE(xb_AppendBlank(), 0);
      std::string item = "k" + std::to_string(rng() % 4000);  // repeats for the UNIQUE tag
      ASSERT_NE(xb_Replace("ITEM", 0, item.c_str()), 0);
      char qty[16];
      std::snprintf(qty, sizeof qty, "%.2f", int(rng() % 10000) / 100.0);
      ASSERT_NE(xb_Replace("QTY", 0, qty), 0);
    }
  };
  struct Step {
    int appends;
    bool commit;
  } steps[] = {{300, true}, {6000, false}, {50, false}, {9000, true}, {20, true}};
  for (const Step& step : steps) {
    append(step.appends);
    // A read in between takes what waits; so does a change of an older record.
    auto seek = [] {
      xb_SetOrder(xb_TagArea("ITEM"));
      EXPECT_NE(xb_Seek("K1"), 0);
    };
    auto change = [] {
      ASSERT_NE(xb_Go(7), 0);
      ASSERT_NE(xb_Replace("QTY", 0, "5"), 0);
    };
    if (step.commit) {
      seek();
      change();
      ASSERT_NE(xb_Commit(), 0);
    } else {
      change();
      seek();
    }
  }
  ASSERT_NE(xb_Commit(), 0);
  auto maintained = WalkAll();
  EXPECT_EQ(maintained["ITEM"].size(), xb_RecCount());
  uint64_t appended = ReadBytes(FDir.File("T.CDX")).size();
  ASSERT_NE(xb_Reindex(), 0) << xb_ErrorText();
  EXPECT_EQ(WalkAll(), maintained);
  uint64_t rebuilt = ReadBytes(FDir.File("T.CDX")).size();
  EXPECT_LE(appended, rebuilt + rebuilt / 10) << "bulk appends left sparse leaves";
  xb_Close();
}

// Creating a tag of an existing name replaces that tag only: the others keep their order
// numbers and entries.
TEST_F(CdxOrders, IndexTagReplacesOnlyTheTagOfThatName) {
  CopyFixture("peer-xbase/X_MULTI.DBF", FDir.path());
  CopyFixture("peer-xbase/X_MULTI.CDX", FDir.path());
  ASSERT_GT(Open(FDir.File("X_MULTI.DBF")), 0) << xb_ErrorText();
  auto before = WalkAll();
  int itemd = xb_TagArea("ITEMD");
  ASSERT_EQ(xb_IndexTag(nullptr, "itemd", "ITEM_OUT", 0, 0, nullptr), itemd) << xb_ErrorText();
  EXPECT_EQ(xb_SysProp(XB_PROP_ORDER_COUNT, 0), 6);
  EXPECT_STREQ(xb_IndexKey(), "ITEM_OUT");
  EXPECT_EQ(xb_SysProp(XB_PROP_DESCENDING, 0), 0);
  auto after = WalkAll();
  for (const auto& [name, recnos] : before)
    if (name != "ITEMD") {
      EXPECT_EQ(after[name], recnos) << name;
    }
  // Not upper-cased now: "food-wet" comes after every capital.
  EXPECT_EQ(after["ITEMD"], (std::vector<uint32_t>{1, 2, 3, 11, 4, 9, 8, 12, 5, 6, 7, 10}));
  xb_Close();
}

// Pack and zap leave every tag rebuilt for the records that remain.
TEST_F(CdxOrders, PackAndZapRebuildTheTags) {
  CopyFixture("peer-xbase/X_TYPES.DBF", FDir.path());
  CopyFixture("peer-xbase/X_TYPES.CDX", FDir.path());
  CopyFixture("peer-xbase/X_TYPES.FPT", FDir.path());
  ASSERT_GT(Open(FDir.File("X_TYPES.DBF")), 0) << xb_ErrorText();
  ASSERT_NE(xb_Pack(), 0) << xb_ErrorText();  // record 6 goes
  ASSERT_EQ(xb_RecCount(), 9);
  auto orders = WalkAll();
  // QTY before: 6 1 9 4 2 7 8 10 3 5; without 6 and renumbered.
  EXPECT_EQ(orders["QTY"], (std::vector<uint32_t>{1, 8, 4, 2, 6, 7, 9, 3, 5}));
  EXPECT_EQ(orders["CODED"], (std::vector<uint32_t>{9, 8, 7, 5, 4, 3, 2, 1, 6}));
  ASSERT_NE(xb_Zap(), 0) << xb_ErrorText();
  for (const auto& [name, recnos] : WalkAll()) EXPECT_TRUE(recnos.empty()) << name;
  ASSERT_NE(xb_AppendBlank(), 0);
  ASSERT_NE(xb_Replace("CODE", 0, "Z9"), 0);
  xb_SetOrder(xb_TagArea("CODE"));
  EXPECT_NE(xb_Seek("Z9"), 0);
  xb_Close();
}

// Scopes, relative positions and moves through the entries.
TEST_F(CdxOrders, ScopesAndRelativePositions) {
  ASSERT_GT(Open(PeerDir() + "X_BIG.DBF", XB_OPEN_READONLY), 0) << xb_ErrorText();
  xb_SetOrder(xb_TagArea("CODE"));
  ASSERT_NE(xb_SetScope("B", "C"), 0);
  EXPECT_STREQ(xb_GetScope(0), "B");
  std::vector<uint32_t> scoped = WalkOrder();
  ASSERT_FALSE(scoped.empty());
  for (uint32_t r : scoped) {
    xb_Go(static_cast<int>(r));
    std::string code = cdxtest::Upper(xb_GetString("CODE"));
    EXPECT_TRUE(code[0] == 'B' || code[0] == 'C') << code;
  }
  ASSERT_NE(xb_SetScope(nullptr, nullptr), 0);
  EXPECT_STREQ(xb_GetScope(0), "");
  std::vector<uint32_t> all = WalkOrder();
  ASSERT_EQ(all.size(), 5000u);
  xb_GoTop();
  EXPECT_EQ(xb_OrderPosGet(), 0.0);
  xb_GoBottom();
  EXPECT_EQ(xb_OrderPosGet(), 1.0);
  for (double p : {0.1, 0.25, 0.5, 0.9}) {
    ASSERT_NE(xb_OrderPosSet(p), 0);
    size_t at = std::find(all.begin(), all.end(), uint32_t(xb_RecNo())) - all.begin();
    EXPECT_NEAR(double(at) / 5000, p, 0.02) << p;
    EXPECT_NEAR(xb_OrderPosGet(), p, 0.02) << p;
  }
  // Descending tags give positions from their own first entry.
  ASSERT_GT(Open(PeerDir() + "X_MULTI.DBF", XB_OPEN_READONLY), 0);
  xb_SetOrder(xb_TagArea("ITEMD"));
  xb_GoTop();
  EXPECT_EQ(xb_RecNo(), 12);
  EXPECT_EQ(xb_OrderPosGet(), 0.0);
  xb_OrderPosSet(1.0);
  EXPECT_EQ(xb_RecNo(), 8);
}

// Index files that do not belong to their table: refused with a reason, or rebuilt from the
// table when their definitions can be trusted; the table's own bytes never change.
// A seek leaves its record unread until something looks at it. When that read fails (here the
// table was cut short behind the engine's back), every look reports it, not a blank record.
TEST_F(CdxOrders, ARecordThatCannotBeReadAfterASeekIsReported) {
  std::string dbf = FDir.File("T.DBF");
  // Records enough that the table's read-ahead block, last filled by the open's scan, does not
  // hold the one sought.
  ASSERT_NE(xb_CreateTable(dbf.c_str(), "ITEM,C,12,0;PAD,C,190,0;QTY,N,8,2"), 0);
  ASSERT_GT(Open(dbf), 0) << xb_ErrorText();
  for (int i = 1; i <= 4000; ++i) {
    ASSERT_NE(xb_AppendBlank(), 0);
    xb_Replace("ITEM", 0, ("K" + std::to_string(100000 + i)).c_str());
  }
  ASSERT_GT(xb_IndexTag(nullptr, "ITEM", "ITEM", 0, 0, nullptr), 0) << xb_ErrorText();
  xb_Close();
  ASSERT_GT(Open(dbf, XB_OPEN_SHARED), 0) << xb_ErrorText();
  xb_SetOrder(xb_TagArea("ITEM"));
  ASSERT_NE(xb_Seek("K101000"), 0);
  ASSERT_EQ(xb_RecNo(), 1000);
  std::filesystem::resize_file(dbf, 4096);
  for (int look = 0; look < 2; ++look) {
    SCOPED_TRACE(look);
    EXPECT_STREQ(xb_GetString("ITEM"), "");
    EXPECT_STRNE(xb_ErrorText(), "");
    char record[256];
    EXPECT_EQ(xb_GetRecord(record), 0);
    EXPECT_STREQ(xb_EvalString("ITEM"), "");
    EXPECT_EQ(xb_Replace("QTY", 0, "1"), 0);
  }
}

TEST_F(CdxOrders, IndexFilesThatDoNotMatchTheirTable) {
  struct Case {
    const char* what;
    std::function<void(const TempDir&)> damage;
    bool opens;  // writable open succeeds (rebuilt)
    bool opensReadOnly;
  } cases[] = {
      {"another table's index",
       [](const TempDir& d) {
         WriteBytes(d.File("X_SMALL.CDX"), ReadBytes(PeerDir() + "X_TYPES.CDX"));
       },
       false, false},
      {"records appended by another program",
       [](const TempDir& d) {
         std::vector<uint8_t> b = ReadBytes(d.File("X_SMALL.DBF"));
         b.pop_back();  // the 0x1A
         for (char c : std::string(" ECHO    \x1A")) b.push_back(uint8_t(c));
         b[4] = 6;
         WriteBytes(d.File("X_SMALL.DBF"), b);
       },
       true, false},
      {"a record changed by another program",
       [](const TempDir& d) {
         std::vector<uint8_t> b = ReadBytes(d.File("X_SMALL.DBF"));
         std::memcpy(&b[66 + 4 * 9 + 1], "AAAAAA", 6);
         WriteBytes(d.File("X_SMALL.DBF"), b);
       },
       true, false},
      {"tag pages cut off",
       [](const TempDir& d) {
         std::vector<uint8_t> b = ReadBytes(d.File("X_SMALL.CDX"));
         b.resize(0xA00);
         WriteBytes(d.File("X_SMALL.CDX"), b);
       },
       true, false},
      {"directory cut off",
       [](const TempDir& d) {
         std::vector<uint8_t> b = ReadBytes(d.File("X_SMALL.CDX"));
         b.resize(0x300);
         WriteBytes(d.File("X_SMALL.CDX"), b);
       },
       false, false},
      {"a key length the expression does not give",
       [](const TempDir& d) {
         std::vector<uint8_t> b = ReadBytes(d.File("X_SMALL.CDX"));
         b[0x600 + 12] = 6;
         WriteBytes(d.File("X_SMALL.CDX"), b);
       },
       true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    CopyFixture("peer-xbase/X_SMALL.DBF", dir.path());
    CopyFixture("peer-xbase/X_SMALL.CDX", dir.path());
    c.damage(dir);
    std::vector<uint8_t> table = ReadBytes(dir.File("X_SMALL.DBF"));
    EXPECT_EQ(Open(dir.File("X_SMALL.DBF"), XB_OPEN_READONLY) > 0, c.opensReadOnly);
    if (!c.opensReadOnly) {
      EXPECT_NE(std::string(xb_ErrorText()).find("X_SMALL.CDX"), std::string::npos)
          << xb_ErrorText();
    }
    xb_Close();
    int area = Open(dir.File("X_SMALL.DBF"));
    EXPECT_EQ(area > 0, c.opens) << xb_ErrorText();
    if (area > 0) {
      // Rebuilt: the tag holds every record in key order.
      xb_SetOrder(1);
      std::vector<uint32_t> order = WalkOrder();
      EXPECT_EQ(order.size(), size_t(xb_RecCount()));
      std::string previous;
      for (uint32_t r : order) {
        xb_Go(int(r));
        std::string code = cdxtest::Upper(xb_GetString("CODE"));
        EXPECT_LE(previous, code);
        previous = code;
      }
      xb_Close();
    } else {
      EXPECT_NE(std::string(xb_ErrorText()), "");
    }
    EXPECT_EQ(ReadBytes(dir.File("X_SMALL.DBF")), table);
  }
}

}  // namespace
}  // namespace xbtest

namespace xbtest {
namespace {

// A second index file beside the production one: created by naming it, opened again after the
// indexes were closed, its orders numbered after the production file's.
TEST_F(CdxOrders, FurtherIndexFilesOpenAndClose) {
  CopyFixture("peer-xbase/X_SMALL.DBF", FDir.path());
  CopyFixture("peer-xbase/X_SMALL.CDX", FDir.path());
  ASSERT_GT(Open(FDir.File("X_SMALL.DBF")), 0) << xb_ErrorText();
  std::string extra = FDir.File("EXTRA.CDX");
  ASSERT_EQ(xb_IndexTag(extra.c_str(), "RAW", "CODE", 0, -1, nullptr), 2) << xb_ErrorText();
  EXPECT_EQ(WalkOrder(), (std::vector<uint32_t>{2, 1, 3, 5, 4}));
  ASSERT_NE(xb_CloseIndexes(), 0);
  EXPECT_EQ(xb_SysProp(XB_PROP_ORDER_COUNT, 0), 0);
  EXPECT_EQ(xb_IndexOpen(extra.c_str()), 1) << xb_ErrorText();
  EXPECT_STREQ(xb_TagName(1), "RAW");
  EXPECT_EQ(xb_IndexOpen(FDir.File("NOSUCH.CDX").c_str()), 0);
  xb_Close();
  // The production file stays announced in the table's header; the other file does not count.
  EXPECT_EQ(ReadBytes(FDir.File("X_SMALL.DBF"))[28], 0x01);
}

}  // namespace
}  // namespace xbtest
