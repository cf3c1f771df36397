// The parts of a bulk tag build: the sort of the (key, record number) entries, the keys copied
// straight from the records against the keys the expression evaluator gives, and the writes
// gathered into runs on their way to the index file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "EngineTestUtil.h"
#include "cdx/CdxFile.h"
#include "cdx/KeySorter.h"
#include "fs/FaultFileSystem.h"
#include "fs/RunBufferedFile.h"

namespace xbtest {
namespace {

using Entries = std::vector<std::pair<std::string, uint32_t>>;

struct SortCase {
  const char* name;
  int keyLength;
  size_t count;
  // Byte i of the key of entry e.
  std::function<char(std::mt19937&, size_t e, int i)> byte;
};

// Sorted like a plain sort of (key, record number) pairs, whatever the bytes, with entries
// added in any record order; and a unique walk keeps the lowest record number of each key.
TEST(CdxBuild, KeySorterOrdersLikeAPlainSort) {
  const SortCase cases[] = {
      {"none", 8, 0, [](std::mt19937& r, size_t, int) { return char(r()); }},
      {"one", 8, 1, [](std::mt19937& r, size_t, int) { return char(r()); }},
      {"short range, every byte value", 8, 20,
       [](std::mt19937& r, size_t, int) { return char(r()); }},
      {"every byte value", 8, 5000, [](std::mt19937& r, size_t, int) { return char(r()); }},
      {"one-byte keys, many duplicates", 1, 3000,
       [](std::mt19937& r, size_t, int) { return char("\x00\x7f\x80\xff"[r() % 4]); }},
      {"all the same key", 20, 500, [](std::mt19937&, size_t, int) { return 'A'; }},
      {"long shared prefix, differences at the end", 240, 2000,
       [](std::mt19937& r, size_t, int i) { return i < 236 ? ' ' : char('0' + r() % 3); }},
      {"blank-padded words with duplicates", 20, 4000,
       [](std::mt19937& r, size_t e, int i) {
         return i < 6 ? char('A' + (e * 7 + size_t(i)) % 3)
                      : (i < 8 ? char(r() % 2 ? 'x' : ' ') : ' ');
       }},
      {"digits, several bytes per split", 20, 70000,
       [](std::mt19937& r, size_t, int i) { return i < 4 ? 'K' : char('0' + r() % 10); }},
      {"long keys in a buffer of several megabytes", 100, 45000,
       [](std::mt19937& r, size_t, int i) { return i < 3 ? char('a' + r() % 26) : ' '; }},
  };
  for (const SortCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::mt19937 rng(7);
    std::vector<uint32_t> recnos(c.count);
    for (size_t e = 0; e < c.count; ++e) recnos[e] = uint32_t(e * 3 + 1);
    std::shuffle(recnos.begin(), recnos.end(), rng);
    xb::KeySorter sorter(c.keyLength, c.count);
    Entries expected;
    for (size_t e = 0; e < c.count; ++e) {
      std::string key(size_t(c.keyLength), ' ');
      for (int i = 0; i < c.keyLength; ++i) key[size_t(i)] = c.byte(rng, e, i);
      std::memcpy(sorter.Append(recnos[e]), key.data(), key.size());
      expected.emplace_back(key, recnos[e]);
      if (e % 10 == 3) {  // a record that turned out to have no key
        std::memset(sorter.Append(999999), 'Z', size_t(c.keyLength));
        sorter.DropLast();
      }
    }
    std::sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) {
      int order = std::memcmp(a.first.data(), b.first.data(), a.first.size());
      return order != 0 ? order < 0 : a.second < b.second;
    });
    sorter.Sort();
    ASSERT_EQ(sorter.Count(), expected.size());
    for (bool unique : {false, true}) {
      Entries got, want;
      for (size_t i = 0; i < expected.size(); ++i)
        if (!unique || i == 0 || expected[i].first != expected[i - 1].first)
          want.push_back(expected[i]);
      xb::Status s = sorter.ForEach(unique, [&](std::string_view key, uint32_t recno) {
        got.emplace_back(std::string(key), recno);
        return xb::Status::Ok();
      });
      ASSERT_TRUE(s.ok());
      ASSERT_TRUE(got == want) << (unique ? "unique" : "every entry");
    }
  }
}

// Every (key, record number) of every tag of an index file, by tag name.
std::map<std::string, Entries> ReadTags(const std::string& path) {
  std::map<std::string, Entries> tags;
  auto cdx = xb::CdxFile::Open(path, false);
  EXPECT_TRUE(cdx.ok()) << cdx.status().message();
  if (!cdx.ok()) return tags;
  for (size_t i = 0; i < (*cdx)->Tags().size(); ++i) {
    xb::TagTree& tree = (*cdx)->Tree(i, xb::KeyKind::kCharacter);
    Entries& entries = tags[(*cdx)->Tags()[i].name];
    xb::TagPosition pos;
    auto on = tree.First(pos);
    for (; on.ok() && *on; on = tree.Next(pos)) entries.emplace_back(pos.key, pos.recno);
    EXPECT_TRUE(on.ok()) << on.status().message();
  }
  return tags;
}

class CdxBuildKeys : public EngineTest {};

// Keys made of record bytes (fields, UPPER() of fields, joined with +) are copied from the
// record; the same expression with an empty literal joined on is evaluated. Both must give
// the same entries, with lower case, bytes from 0x80 on, blanks and FOR and UNIQUE tags.
TEST_F(CdxBuildKeys, CopiedKeysMatchEvaluatedKeys) {
  std::string table = FDir.File("KEYS.DBF");
  ASSERT_TRUE(xb_CreateTable(table.c_str(), "NAME,C,12,0;CODE,C,5,0;QTY,N,6,0"));
  ASSERT_GT(xb_UseEx(table.c_str(), nullptr, XB_OPEN_EXCLUSIVE, XB_DRIVER_CDX, XB_COMMIT_NORMAL),
            0);
  std::mt19937 rng(3);
  const char letters[] = "aAzZ m\xe9\xc9\x80\xff_0~";
  for (int r = 0; r < 600; ++r) {
    ASSERT_TRUE(xb_AppendBlank());
    std::string name, code;
    for (int i = 0, n = int(rng() % 13); i < n; ++i) name += letters[rng() % (sizeof letters - 1)];
    for (int i = 0, n = int(rng() % 6); i < n; ++i) code += letters[rng() % 4];
    ASSERT_TRUE(xb_Replace("NAME", 0, name.c_str()));
    ASSERT_TRUE(xb_Replace("CODE", 0, code.c_str()));
    ASSERT_TRUE(xb_Replace("QTY", 0, std::to_string(r % 17).c_str()));
  }
  ASSERT_TRUE(xb_Commit());
  struct Pair {
    const char* copied;
    const char* evaluated;
    const char* condition;
    int unique;
  };
  const Pair pairs[] = {
      {"NAME", "NAME+''", nullptr, 0},
      {"UPPER(NAME)", "UPPER(NAME)+''", nullptr, 0},
      {"UPPER(CODE)+NAME", "UPPER(CODE)+NAME+''", nullptr, 0},
      {"UPPER(NAME+CODE)", "UPPER(NAME+CODE+'')", "QTY > 8", 0},
      {"UPPER(CODE)", "UPPER(CODE)+''", nullptr, 1},
  };
  for (size_t i = 0; i < std::size(pairs); ++i) {
    const Pair& p = pairs[i];
    std::string a = "C" + std::to_string(i), b = "E" + std::to_string(i);
    ASSERT_GT(xb_IndexTag(nullptr, a.c_str(), p.copied, p.unique, 0, p.condition), 0)
        << xb_ErrorText();
    ASSERT_GT(xb_IndexTag(nullptr, b.c_str(), p.evaluated, p.unique, 0, p.condition), 0)
        << xb_ErrorText();
  }
  xb_Close();
  std::map<std::string, Entries> tags = ReadTags(FDir.File("KEYS.CDX"));
  for (size_t i = 0; i < std::size(pairs); ++i) {
    SCOPED_TRACE(pairs[i].copied);
    const Entries& copied = tags["C" + std::to_string(i)];
    EXPECT_FALSE(copied.empty());
    EXPECT_TRUE(copied == tags["E" + std::to_string(i)]);
  }
}

// Writes in any order reach the file as written, gathered or not, with reads in between
// seeing every earlier write; bytes never written stay as they were.
TEST(CdxBuildFile, RunBufferedFileWritesWhatWasWritten) {
  struct Write {
    uint64_t offset;
    size_t length;
    bool readBack;  // read the whole file after this write
  };
  const std::vector<std::vector<Write>> cases = {
      {{0, 512, false}, {512, 512, false}, {1024, 512, false}},     // one run
      {{0, 512, false}, {2048, 512, false}, {512, 512, false}},     // a gap, then back
      {{1024, 512, false}, {0, 1024, false}, {1536, 100, true}},    // before the run
      {{0, 512, false}, {256, 512, false}, {100, 10, false}},       // inside the run
      {{0, 3000, false}, {3000, 512, true}, {10, 20, false}},       // longer than a run
      {{0, 1000, false}, {1000, 1000, false}, {2000, 100, false}},  // the run fills up
  };
  for (size_t c = 0; c < cases.size(); ++c) {
    SCOPED_TRACE("case " + std::to_string(c));
    TempDir dir;
    std::string path = dir.File("F");
    std::vector<uint8_t> image(4096, 0xEE);
    WriteBytes(path, image);
    auto opened = xb::PosixFileSystem().Open(path, xb::OpenMode::kReadWrite);
    ASSERT_TRUE(opened.ok());
    xb::RunBufferedFile file(std::move(*opened), 2048);
    uint8_t value = 1;
    for (const Write& w : cases[c]) {
      std::vector<uint8_t> bytes(w.length, value++);
      ASSERT_TRUE(file.WriteAt(w.offset, bytes.data(), bytes.size()).ok());
      std::copy(bytes.begin(), bytes.end(), image.begin() + std::ptrdiff_t(w.offset));
      if (w.readBack) {
        std::vector<uint8_t> read(image.size());
        auto got = file.ReadAt(0, read.data(), read.size());
        ASSERT_TRUE(got.ok());
        EXPECT_TRUE(read == image);
      }
    }
    ASSERT_TRUE(file.Drain().ok());
    EXPECT_TRUE(ReadBytes(path) == image);
  }
}

// A write the system refuses is reported when the run is passed on, not lost in silence.
TEST(CdxBuildFile, RunBufferedFileReportsAFailedWrite) {
  TempDir dir;
  xb::FaultFileSystem faults(xb::PosixFileSystem());
  auto opened = faults.Open(dir.File("F"), xb::OpenMode::kCreate);
  ASSERT_TRUE(opened.ok());
  xb::RunBufferedFile file(std::move(*opened));
  faults.Arm(1, xb::FaultFileSystem::Mode::kFail);
  uint8_t page[512] = {};
  ASSERT_TRUE(file.WriteAt(0, page, sizeof page).ok());
  ASSERT_TRUE(file.WriteAt(512, page, sizeof page).ok());
  EXPECT_FALSE(file.Sync().ok());
}

}  // namespace
}  // namespace xbtest
