// Writes index files for the peer test tests/peers/cdx_xbase_index.sh, which has an
// independent reader list and seek them. Runs only when XB_CDX_PEER_OUT names the directory
// to write to; the expected listings are worked out here from the rows, not read back.
//
// manifest lines (TAB-separated):
//   tags  FILE  NAME,NAME,...            the tags in directory order
//   list  FILE  TAG  TYPE  EXPECTFILE    every entry in order: "key recno" per line
//   seek  FILE  TAG  TYPE  VALUE  KEY  RECNO   the first entry at or after VALUE
// TYPE is C, N or D. Keys are written as the reader shows them: character keys without
// trailing blanks, numbers with up to 10 significant digits, dates as YYYYMMDD (0 for none).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <set>

#include "CdxTestSupport.h"
#include "cdx/CdxFile.h"
#include "cdx/CdxWriter.h"

namespace {

using xb::KeyCodec;
using xb::KeyKind;
using Entry = std::pair<std::string, uint32_t>;

struct Row {
  std::string code;  // C10
  double amount;
  std::string when;  // YYYYMMDD or blanks
};

struct TagData {
  const char* name;
  const char* expression;
  KeyKind kind;
  int keyLength;
  std::string Key(const Row& r) const {
    switch (kind) {
      case KeyKind::kNumeric:
        return KeyCodec::Number(r.amount);
      case KeyKind::kDate:
        return KeyCodec::Date(r.when);
      default:
        return KeyCodec::Character(cdxtest::Upper(r.code), keyLength);
    }
  }
};

const TagData kTags[] = {{"CODE", "UPPER(CODE)", KeyKind::kCharacter, 10},
                         {"AMT", "AMOUNT", KeyKind::kNumeric, 8},
                         {"WHEN", "WHEN", KeyKind::kDate, 8}};

std::vector<Row> MakeRows(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<Row> rows;
  for (size_t i = 0; i < n; ++i) {
    Row r;
    int len = static_cast<int>(rng() % 11);
    for (int c = 0; c < len; ++c) r.code += "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abc "[rng() % 40];
    r.amount = (static_cast<int>(rng() % 2000001) - 1000000) / 100.0;
    char when[16];
    std::snprintf(when, sizeof when, "%04d%02d%02d", 1990 + static_cast<int>(rng() % 40),
                  1 + static_cast<int>(rng() % 12), 1 + static_cast<int>(rng() % 28));
    r.when = i % 40 == 0 ? "        " : when;
    rows.push_back(r);
  }
  return rows;
}

std::string Shown(KeyKind kind, const std::string& key) {
  char text[64];
  if (kind == KeyKind::kNumeric) {
    std::snprintf(text, sizeof text, "%.10g", KeyCodec::DecodeNumber(key));
    return text;
  }
  if (kind == KeyKind::kDate) {
    std::string d = KeyCodec::DecodeDate(key);
    return d == "        " ? "0" : d;
  }
  size_t end = key.find_last_not_of(' ');
  return end == std::string::npos ? "" : key.substr(0, end + 1);
}

char TypeLetter(KeyKind kind) {
  return kind == KeyKind::kNumeric ? 'N' : kind == KeyKind::kDate ? 'D' : 'C';
}

class Manifest {
 public:
  explicit Manifest(std::string dir) : FDir(std::move(dir)), FOut(FDir + "/manifest") {}
  void Tags(const std::string& file, std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    FOut << "tags\t" << file;
    for (size_t i = 0; i < names.size(); ++i) FOut << (i ? "," : "\t") << names[i];
    FOut << "\n";
  }
  void List(const std::string& file, const char* tag, KeyKind kind,
            const std::set<Entry>& entries) {
    std::string expect = file + "." + tag + ".expected";
    std::ofstream out(FDir + "/" + expect);
    for (const Entry& e : entries) out << Shown(kind, e.first) << " " << e.second << "\n";
    FOut << "list\t" << file << "\t" << tag << "\t" << TypeLetter(kind) << "\t" << expect << "\n";
    // Seeks of keys that are there, and of values between and beyond them.
    std::vector<Entry> all(entries.begin(), entries.end());
    for (size_t i = 0; i < all.size(); i += std::max<size_t>(1, all.size() / 7)) {
      const std::string& key = all[i].first;
      if (kind == KeyKind::kCharacter && Shown(kind, key).empty()) continue;
      auto first = entries.lower_bound({key, 0});
      Seek(file, tag, kind, Shown(kind, key), *first);
    }
  }
  void Seek(const std::string& file, const char* tag, KeyKind kind, const std::string& value,
            const Entry& want) {
    FOut << "seek\t" << file << "\t" << tag << "\t" << TypeLetter(kind) << "\t" << value << "\t"
         << Shown(kind, want.first) << "\t" << want.second << "\n";
  }

 private:
  std::string FDir;
  std::ofstream FOut;
};

std::set<Entry> EntriesOf(const TagData& tag, const std::vector<Row>& rows) {
  std::set<Entry> entries;
  for (size_t i = 0; i < rows.size(); ++i) entries.insert({tag.Key(rows[i]), i + 1});
  return entries;
}

void WriteBulk(const std::string& path, const std::vector<Row>& rows) {
  auto writer = xb::CdxWriter::Create(path);
  ASSERT_TRUE(writer.ok());
  for (const TagData& tag : kTags) {
    ASSERT_TRUE(
        (*writer)
            ->BeginTag({tag.name, tag.expression, "", tag.keyLength, tag.kind, false, false},
                       static_cast<uint32_t>(rows.size()))
            .ok());
    for (const Entry& e : EntriesOf(tag, rows)) ASSERT_TRUE((*writer)->Add(e.first, e.second).ok());
    ASSERT_TRUE((*writer)->EndTag().ok());
  }
  ASSERT_TRUE((*writer)->Finish(false).ok());
}

TEST(CdxPeerExport, WriteFilesForTheIndependentReader) {
  const char* dir = std::getenv("XB_CDX_PEER_OUT");
  if (!dir) GTEST_SKIP() << "run by tests/peers/cdx_xbase_index.sh";
  Manifest manifest(dir);
  std::vector<std::string> names;
  for (const TagData& t : kTags) names.push_back(t.name);

  // One pass over many rows: several levels of interior nodes.
  std::vector<Row> rows = MakeRows(40000, 11);
  WriteBulk(std::string(dir) + "/BULK.CDX", rows);
  manifest.Tags("BULK.CDX", names);
  for (const TagData& t : kTags) manifest.List("BULK.CDX", t.name, t.kind, EntriesOf(t, rows));

  // Row by row into empty tags, then every seventh row removed again.
  {
    std::string path = std::string(dir) + "/INCR.CDX";
    WriteBulk(path, {});
    auto cdx = xb::CdxFile::Open(path, true, 32);
    ASSERT_TRUE(cdx.ok());
    std::vector<Row> some(rows.begin(), rows.begin() + 12000);
    for (size_t t = 0; t < std::size(kTags); ++t) {
      xb::TagTree& tree = (*cdx)->Tree(t, kTags[t].kind);
      std::set<Entry> kept;
      for (size_t i = 0; i < some.size(); ++i) {
        tree.SetRecnoHint(static_cast<uint32_t>(i + 1));
        ASSERT_TRUE(tree.Insert(kTags[t].Key(some[i]), i + 1).ok());
      }
      for (size_t i = 0; i < some.size(); ++i)
        if (i % 7 == 3)
          ASSERT_TRUE(*tree.Remove(kTags[t].Key(some[i]), i + 1));
        else
          kept.insert({kTags[t].Key(some[i]), i + 1});
      manifest.List("INCR.CDX", kTags[t].name, kTags[t].kind, kept);
    }
    ASSERT_TRUE((*cdx)->Flush(false).ok());
    manifest.Tags("INCR.CDX", names);
  }

  // A file another engine wrote, after we appended 3000 rows through its tags.
  {
    std::string path = std::string(dir) + "/X_BIG.CDX";
    xbtest::WriteBytes(path, xbtest::ReadBytes(xbtest::FixturesDir() + "/peer-xbase/X_BIG.CDX"));
    cdxtest::Dbf dbf = cdxtest::ReadDbf(xbtest::FixturesDir() + "/peer-xbase/X_BIG.DBF");
    std::vector<Row> all;
    for (const std::string& rec : dbf.records)
      all.push_back(
          Row{rec.substr(1, 10), std::atof(rec.substr(11, 10).c_str()), rec.substr(21, 8)});
    std::vector<Row> more = MakeRows(3000, 5);
    all.insert(all.end(), more.begin(), more.end());
    auto cdx = xb::CdxFile::Open(path, true, 32);
    ASSERT_TRUE(cdx.ok()) << cdx.status().message();
    for (const TagData& tag : kTags) {
      int t = (*cdx)->Find(tag.name);
      ASSERT_GE(t, 0);
      xb::TagTree& tree = (*cdx)->Tree(t, tag.kind);
      for (size_t i = dbf.records.size(); i < all.size(); ++i) {
        tree.SetRecnoHint(static_cast<uint32_t>(i + 1));
        ASSERT_TRUE(tree.Insert(tag.Key(all[i]), i + 1).ok());
      }
      ASSERT_EQ(*tree.Check(), all.size());
      manifest.List("X_BIG.CDX", tag.name, tag.kind, EntriesOf(tag, all));
    }
    ASSERT_TRUE((*cdx)->Flush(false).ok());
    manifest.Tags("X_BIG.CDX", names);
  }
}

}  // namespace
