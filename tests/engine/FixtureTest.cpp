// Tables written by other programs open with the fields and values their dumps list.
#include <cstdio>
#include <fstream>
#include <sstream>

#include "EngineTestUtil.h"

namespace xbtest {
namespace {

struct Dump {
  int recCount = -1;
  int header = -1, recSize = -1;
  std::vector<std::string> fields;  // NAME,T,W,D
  std::vector<std::string> natural;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string ReadMaybeGz(const std::string& path) {
  if (path.size() > 3 && path.substr(path.size() - 3) == ".gz") {
    // The large dumps are compressed; gzip is part of every Debian system.
    FILE* f = ::popen(("gzip -dc '" + path + "'").c_str(), "r");
    EXPECT_NE(f, nullptr) << path;
    std::string text;
    char buf[65536];
    size_t n;
    while (f && (n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    if (f) ::pclose(f);
    return text;
  }
  return ReadText(path);
}

Dump ParseDump(const std::string& text) {
  Dump d;
  bool inNatural = false;
  for (const std::string& line : Lines(text)) {
    if (line.rfind("RECCOUNT ", 0) == 0)
      d.recCount = std::stoi(line.substr(9));
    else if (line.rfind("HEADER ", 0) == 0)
      std::sscanf(line.c_str(), "HEADER %d RECSIZE %d", &d.header, &d.recSize);
    else if (line.rfind("FIELD ", 0) == 0)
      d.fields.push_back(line.substr(6));
    else if (line == "ORDER natural")
      inNatural = true;
    else if (line.rfind("ORDER ", 0) == 0 || line.rfind("END", 0) == 0)
      inNatural = false;
    else if (inNatural)
      d.natural.push_back(line);
  }
  return d;
}

class PeerFixtures : public EngineTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(PeerFixtures, OpenWithTheFieldsAndValuesOfTheirDumps) {
  const std::string table = GetParam();
  std::string dir = FixturesDir() + "/peer-xbase/";
  for (const char* ext : {".DBF", ".FPT"}) {
    if (std::ifstream(dir + table + ext)) CopyFixture("peer-xbase/" + table + ext, FDir.path());
  }
  std::string dumpPath = dir + "expected/" + table + ".dump.txt";
  if (!std::ifstream(dumpPath)) dumpPath += ".gz";
  Dump expected = ParseDump(ReadMaybeGz(dumpPath));
  ASSERT_GT(expected.recCount, 0);

  // Opened by a lower-case name: the lookup ignores case.
  std::string lower = table;
  for (char& c : lower) c = char(std::tolower(c));
  ASSERT_GT(xb_UseEx(FDir.File(lower + ".dbf").c_str(), nullptr, XB_OPEN_EXCLUSIVE, XB_DRIVER_CDX,
                     XB_COMMIT_NORMAL),
            0)
      << xb_ErrorText();
  EXPECT_STREQ(xb_Alias(0), table.c_str());
  EXPECT_EQ(xb_RecCount(), expected.recCount);
  EXPECT_EQ(xb_RecSize(), expected.recSize);
  std::vector<std::string> fields;
  for (int i = 1; i <= xb_FieldCount(); ++i) {
    std::string name = xb_FieldName(i);
    fields.push_back(name + "," + xb_FieldType(name.c_str()) + "," +
                     std::to_string(xb_FieldWidth(name.c_str())) + "," +
                     std::to_string(xb_FieldDecimals(name.c_str())));
  }
  EXPECT_EQ(fields, expected.fields);
  EXPECT_EQ(DumpNatural(), expected.natural);
}

INSTANTIATE_TEST_SUITE_P(All, PeerFixtures,
                         ::testing::Values("A_DATIN", "A_DATOUT", "A_ITIN", "A_ITOUT", "X_BIG",
                                           "X_BIGI", "X_FORI", "X_FREE", "X_MEMOX", "X_MULTI",
                                           "X_SHARE", "X_SMALL", "X_TYPES", "X_UNIQ", "X_WIDE"));

// The tables of a second family of writers open and read without errors; a few values are
// checked by hand.
TEST_F(EngineTest, FoxProFixturesOpen) {
  struct Case {
    const char* file;
    std::vector<const char*> extra;
  };
  for (const Case& c : {Case{"rooms.dbf", {"rooms.cdx"}}, Case{"afox5.dbf", {"afox5.FPT"}},
                        Case{"types.dbf", {}}}) {
    SCOPED_TRACE(c.file);
    std::string path = CopyFixture(std::string("foxpro/") + c.file, FDir.path());
    for (const char* e : c.extra) CopyFixture(std::string("foxpro/") + e, FDir.path());
    int area = xb_UseEx(path.c_str(), nullptr, XB_OPEN_READONLY, XB_DRIVER_CDX, XB_COMMIT_NORMAL);
    ASSERT_GT(area, 0) << xb_ErrorText();
    EXPECT_GT(xb_FieldCount(), 0);
    int walked = 0;
    for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) {
      ++walked;
      for (int i = 1; i <= xb_FieldCount(); ++i) {
        std::string name = xb_FieldName(i);
        (void)xb_GetString(name.c_str());
        (void)xb_GetDouble(name.c_str());
        if (std::string(xb_FieldType(name.c_str())) == "M")
          xb_MemDealloc(xb_GetMemo(name.c_str(), 0));
      }
    }
    EXPECT_EQ(walked, xb_RecCount());
    EXPECT_NE(xb_Close(), 0);
  }
}

}  // namespace
}  // namespace xbtest
