// The CDX reader against files written by other programs, and the writer against the one
// fixture it must reproduce byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>

#include "CdxTestSupport.h"
#include "cdx/CdxFile.h"
#include "cdx/CdxWriter.h"

namespace {

using cdxtest::DumpKey;
using xb::CdxFile;
using xb::KeyKind;
using xb::TagPosition;
using xb::TagTree;

struct DumpTag {
  std::string name, key, forExpr;
  bool descend, unique;
};

std::vector<DumpTag> ReadDumpTags(const std::string& path) {
  std::string text =
      path.size() > 3 && path.substr(path.size() - 3) == ".gz" ? "" : xbtest::ReadText(path);
  if (text.empty()) {
    FILE* pipe = ::popen(("zcat '" + path + "' | grep '^TAG '").c_str(), "r");
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    ::pclose(pipe);
  }
  std::vector<DumpTag> tags;
  std::regex re("^TAG \\d+ name=(\\S+) bag=\\S+ key=(.*) for=(.*) descend=([TF]) unique=([TF])$");
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    std::smatch m;
    if (std::regex_match(line, m, re))
      tags.push_back(DumpTag{m[1], m[2], m[3], m[4] == "T", m[5] == "T"});
  }
  return tags;
}

// Every entry of a tag in its order (a descending tag read from its end).
std::vector<std::pair<uint32_t, std::string>> Walk(TagTree& tree, bool descending) {
  std::vector<std::pair<uint32_t, std::string>> rows;
  TagPosition pos;
  auto on = descending ? tree.Last(pos) : tree.First(pos);
  while (on.ok() && *on) {
    rows.emplace_back(pos.recno, DumpKey(tree.Kind(), pos.key));
    on = descending ? tree.Prev(pos) : tree.Next(pos);
  }
  EXPECT_TRUE(on.ok()) << on.status().message();
  return rows;
}

class CdxFixtureTest : public ::testing::TestWithParam<std::string> {};

TEST_P(CdxFixtureTest, EveryTagListsTheDumpedOrder) {
  std::string dir = xbtest::FixturesDir() + "/peer-xbase/";
  std::string table = GetParam();
  std::string dump = dir + "expected/" + table + ".dump.txt";
  if (!std::ifstream(dump)) dump += ".gz";
  cdxtest::Dbf dbf = cdxtest::ReadDbf(dir + table + ".DBF");
  std::vector<DumpTag> expectedTags = ReadDumpTags(dump);
  auto orders = cdxtest::ReadDumpOrders(dump);

  auto cdx = CdxFile::Open(dir + table + ".CDX", false);
  ASSERT_TRUE(cdx.ok()) << cdx.status().message();
  ASSERT_EQ((*cdx)->Tags().size(), expectedTags.size());
  for (size_t i = 0; i < expectedTags.size(); ++i) {
    const xb::CdxTag& tag = (*cdx)->Tags()[i];
    const DumpTag& want = expectedTags[i];
    SCOPED_TRACE(table + " tag " + want.name);
    EXPECT_EQ(tag.name, want.name);
    EXPECT_EQ(tag.header.keyExpression, want.key);
    EXPECT_EQ(tag.header.forExpression, want.forExpr);
    EXPECT_EQ(tag.header.descending, want.descend);
    EXPECT_EQ(tag.header.Unique(), want.unique);
    TagTree& tree = (*cdx)->Tree(i, cdxtest::KindOf(want.key, dbf));
    auto checked = tree.Check();
    ASSERT_TRUE(checked.ok()) << checked.status().message();
    const cdxtest::DumpOrder& order = orders.at(want.name);
    EXPECT_EQ(*checked, order.keycount);
    EXPECT_EQ(Walk(tree, want.descend), order.rows);
  }
}

INSTANTIATE_TEST_SUITE_P(PeerFixtures, CdxFixtureTest,
                         ::testing::Values("A_ITIN", "A_ITOUT", "A_DATOUT", "X_MULTI", "X_TYPES",
                                           "X_MEMOX", "X_SMALL", "X_BIG", "X_BIGI", "X_WIDE",
                                           "X_UNIQ", "X_FORI", "X_FREE", "X_SHARE"));

TEST(CdxFixture, SecondWritersCompoundIndexReads) {
  std::string dir = xbtest::FixturesDir() + "/foxpro/";
  cdxtest::Dbf dbf = cdxtest::ReadDbf(dir + "rooms.dbf");
  auto cdx = CdxFile::Open(dir + "rooms.cdx", false);
  ASSERT_TRUE(cdx.ok()) << cdx.status().message();
  struct Want {
    const char* name;
    int keyLength;
    int options;
    const char* key;
    const char* forExpr;
  };
  const Want wants[] = {
      {"AUDIO", 10, 0x68, "roomname", "TRIM(UPPER(facility))==\"AUDIO\""},
      {"FACILITY", 10, 0x60, "facility", ""},
      {"FILM", 10, 0x68, "roomname", "TRIM(UPPER(facility))==\"FILM\""},
      {"MAIN", 10, 0x68, "roomname", "TRIM(UPPER(facility))==\"MAIN\""},
      {"ROOMNAME", 10, 0x60, "roomname", ""},
  };
  ASSERT_EQ((*cdx)->Tags().size(), std::size(wants));
  for (const Want& want : wants) {
    SCOPED_TRACE(want.name);
    int i = (*cdx)->Find(want.name);
    ASSERT_GE(i, 0);
    const xb::CdxTag& tag = (*cdx)->Tags()[i];
    EXPECT_EQ(tag.header.keyLength, want.keyLength);
    EXPECT_EQ(tag.header.options, want.options);
    EXPECT_EQ(tag.header.keyExpression, want.key);
    EXPECT_EQ(tag.header.forExpression, want.forExpr);

    // The expected order, worked out from the table: the field's text, then the record
    // number, only the records passing the condition.
    auto field = std::find_if(dbf.fields.begin(), dbf.fields.end(),
                              [&](const auto& f) { return f.name == cdxtest::Upper(want.key); });
    auto facility = std::find_if(dbf.fields.begin(), dbf.fields.end(),
                                 [](const auto& f) { return f.name == "FACILITY"; });
    ASSERT_NE(field, dbf.fields.end());
    std::vector<std::pair<std::string, uint32_t>> entries;
    for (size_t r = 0; r < dbf.records.size(); ++r) {
      std::string fac = dbf.records[r].substr(facility->offset, facility->width);
      fac = cdxtest::Upper(fac.substr(0, fac.find_last_not_of(' ') + 1));
      std::string cond = want.forExpr;
      if (!cond.empty() && cond.find("\"" + fac + "\"") == std::string::npos) continue;
      entries.emplace_back(dbf.records[r].substr(field->offset, field->width),
                           static_cast<uint32_t>(r + 1));
    }
    std::sort(entries.begin(), entries.end());
    std::vector<std::pair<uint32_t, std::string>> expected;
    for (auto& [key, recno] : entries) expected.emplace_back(recno, key);
    TagTree& tree = (*cdx)->Tree(i, KeyKind::kCharacter);
    auto checked = tree.Check();
    ASSERT_TRUE(checked.ok()) << checked.status().message();
    EXPECT_EQ(Walk(tree, false), expected);
  }
}

// X_SMALL rebuilt by our writer from the table's rows gives the fixture's bytes, except
// bytes 16-23 of the two headers, where the other writer leaves its marks.
TEST(CdxFixture, WriterReproducesTheWorkedExample) {
  std::string dir = xbtest::FixturesDir() + "/peer-xbase/";
  cdxtest::Dbf dbf = cdxtest::ReadDbf(dir + "X_SMALL.DBF");
  std::vector<std::pair<std::string, uint32_t>> entries;
  for (size_t r = 0; r < dbf.records.size(); ++r)
    entries.emplace_back(cdxtest::Upper(dbf.records[r].substr(1, 8)), r + 1);
  std::sort(entries.begin(), entries.end());

  xbtest::TempDir tmp;
  auto writer = xb::CdxWriter::Create(tmp.File("X_SMALL.CDX"));
  ASSERT_TRUE(writer.ok());
  xb::CdxTagSpec spec;
  spec.name = "code";
  spec.keyExpression = "UPPER(CODE)";
  spec.keyLength = 8;
  ASSERT_TRUE((*writer)->BeginTag(spec, 5).ok());
  for (auto& [key, recno] : entries) ASSERT_TRUE((*writer)->Add(key, recno).ok());
  ASSERT_TRUE((*writer)->EndTag().ok());
  ASSERT_TRUE((*writer)->Finish(false).ok());
  writer->reset();

  std::vector<uint8_t> ours = xbtest::ReadBytes(tmp.File("X_SMALL.CDX"));
  std::vector<uint8_t> theirs = xbtest::ReadBytes(dir + "X_SMALL.CDX");
  ASSERT_EQ(ours.size(), theirs.size());
  for (size_t header : {0x000, 0x600})
    for (size_t i = 16; i < 24; ++i) ours[header + i] = theirs[header + i];
  for (size_t i = 0; i < ours.size(); ++i)
    ASSERT_EQ(ours[i], theirs[i]) << "first difference at offset " << i;
}

}  // namespace
