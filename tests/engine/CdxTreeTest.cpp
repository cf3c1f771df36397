// The tag B+tree under long random walks of inserts and deletes, checked against an ordered
// set, on real files with a small node cache so that nodes are evicted and read back.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "CdxTestSupport.h"
#include "cdx/CdxFile.h"
#include "cdx/CdxWriter.h"

namespace {

using xb::CdxFile;
using xb::KeyCodec;
using xb::KeyKind;
using xb::TagPosition;
using xb::TagTree;
using Entry = std::pair<std::string, uint32_t>;
using Model = std::set<Entry>;

struct TreeCase {
  const char* name;
  KeyKind kind;
  int keyLength;
  int alphabet;  // distinct characters (character keys) or distinct values
  size_t cacheNodes;
};

std::string MakeKey(const TreeCase& c, std::mt19937& rng) {
  switch (c.kind) {
    case KeyKind::kNumeric:
      return KeyCodec::Number((static_cast<int>(rng() % c.alphabet) - c.alphabet / 2) * 0.25);
    case KeyKind::kLogical:
      return KeyCodec::Logical(rng() % 2);
    default: {
      // Short keys over a few letters: many duplicates, shared prefixes, trailing blanks.
      int length = 1 + static_cast<int>(rng() % std::min(c.keyLength, 6));
      std::string text;
      for (int i = 0; i < length; ++i) text += static_cast<char>('A' + rng() % c.alphabet);
      if (c.keyLength > 6 && rng() % 4 == 0) text += std::string(rng() % (c.keyLength - 6), 'Z');
      return KeyCodec::Character(text, c.keyLength);
    }
  }
}

std::string CreateEmptyTag(const xbtest::TempDir& tmp, const TreeCase& c) {
  std::string path = tmp.File("T.CDX");
  auto writer = xb::CdxWriter::Create(path);
  EXPECT_TRUE(writer.ok());
  xb::CdxTagSpec spec{"KEY", "KEY", "", c.keyLength, c.kind, false, false};
  EXPECT_TRUE((*writer)->BeginTag(spec, 0).ok());
  EXPECT_TRUE((*writer)->EndTag().ok());
  EXPECT_TRUE((*writer)->Finish(false).ok());
  return path;
}

std::vector<Entry> WalkForward(TagTree& tree) {
  std::vector<Entry> out;
  TagPosition pos;
  for (auto on = tree.First(pos); on.ok() && *on; on = tree.Next(pos))
    out.emplace_back(pos.key, pos.recno);
  return out;
}

std::vector<Entry> WalkBackward(TagTree& tree) {
  std::vector<Entry> out;
  TagPosition pos;
  for (auto on = tree.Last(pos); on.ok() && *on; on = tree.Prev(pos))
    out.emplace_back(pos.key, pos.recno);
  return out;
}

void ExpectSame(TagTree& tree, const Model& model) {
  auto checked = tree.Check();
  ASSERT_TRUE(checked.ok()) << checked.status().message();
  ASSERT_EQ(*checked, model.size());
  ASSERT_EQ(*tree.Count(), model.size());
  std::vector<Entry> forward(model.begin(), model.end());
  ASSERT_EQ(WalkForward(tree), forward);
  std::vector<Entry> backward(model.rbegin(), model.rend());
  ASSERT_EQ(WalkBackward(tree), backward);
}

void ExpectSeeks(TagTree& tree, const Model& model, const TreeCase& c, std::mt19937& rng) {
  for (int i = 0; i < 50; ++i) {
    std::string key = MakeKey(c, rng);
    uint32_t recno = rng() % 3000;
    for (bool after : {false, true}) {
      TagPosition pos;
      auto on = tree.Seek(key, recno, after, pos);
      ASSERT_TRUE(on.ok()) << on.status().message();
      auto it = after ? model.upper_bound({key, recno}) : model.lower_bound({key, recno});
      ASSERT_EQ(*on, it != model.end());
      if (*on) {
        ASSERT_EQ(Entry(pos.key, pos.recno), *it);
      }
    }
  }
}

class CdxTreeTest : public ::testing::TestWithParam<TreeCase> {};

TEST_P(CdxTreeTest, RandomInsertsAndDeletesMatchAnOrderedSet) {
  const TreeCase& c = GetParam();
  xbtest::TempDir tmp;
  std::string path = CreateEmptyTag(tmp, c);
  std::mt19937 rng(42);
  Model model;
  uint32_t nextRecno = 1;
  {
    auto cdx = CdxFile::Open(path, true, c.cacheNodes);
    ASSERT_TRUE(cdx.ok()) << cdx.status().message();
    TagTree& tree = (*cdx)->Tree(0, c.kind);
    // Grow, then shrink back to empty, so that splits and merges of every level happen.
    const int phases[] = {70, 35, 0};
    for (int insertPercent : phases) {
      for (int op = 0; op < 2500; ++op) {
        bool insert = model.empty() || static_cast<int>(rng() % 100) < insertPercent;
        if (insert) {
          Entry e{MakeKey(c, rng), nextRecno++};
          tree.SetRecnoHint(nextRecno);
          ASSERT_TRUE(tree.Insert(e.first, e.second).ok());
          model.insert(e);
        } else {
          auto it = model.begin();
          std::advance(it, rng() % model.size());
          auto removed = tree.Remove(it->first, it->second);
          ASSERT_TRUE(removed.ok()) << removed.status().message();
          ASSERT_TRUE(*removed);
          std::string key = it->first;
          model.erase(it);
          auto again = tree.Remove(key, 999999);
          ASSERT_TRUE(again.ok() && !*again);
        }
        if (op % 500 == 499) {
          ExpectSame(tree, model);
          ExpectSeeks(tree, model, c, rng);
        }
      }
      if (insertPercent == 70) {
        ASSERT_GT(model.size(), 800u);
      }
    }
    while (!model.empty()) {
      ASSERT_TRUE(*tree.Remove(model.begin()->first, model.begin()->second));
      model.erase(model.begin());
    }
    ExpectSame(tree, model);
    for (int i = 0; i < 600; ++i) {
      Entry e{MakeKey(c, rng), nextRecno++};
      ASSERT_TRUE(tree.Insert(e.first, e.second).ok());
      model.insert(e);
    }
    ASSERT_TRUE((*cdx)->Flush(false).ok());
  }
  // What was flushed reads back the same from a fresh open.
  auto cdx = CdxFile::Open(path, false, c.cacheNodes);
  ASSERT_TRUE(cdx.ok()) << cdx.status().message();
  ExpectSame((*cdx)->Tree(0, c.kind), model);
}

INSTANTIATE_TEST_SUITE_P(Kinds, CdxTreeTest,
                         ::testing::Values(TreeCase{"char10", KeyKind::kCharacter, 10, 4, 16},
                                           TreeCase{"char240", KeyKind::kCharacter, 240, 3, 12},
                                           TreeCase{"char20_bigcache", KeyKind::kCharacter, 20, 26,
                                                    4096},
                                           TreeCase{"numeric", KeyKind::kNumeric, 8, 200, 16},
                                           TreeCase{"logical", KeyKind::kLogical, 1, 2, 16}),
                         [](const auto& info) { return std::string(info.param.name); });

// A tree built in one pass: several levels, full leaves, and afterwards it takes inserts and
// deletes like any other.
TEST(CdxTree, BulkBuiltTreeHasLevelsAndTakesChanges) {
  TreeCase c{"char10", KeyKind::kCharacter, 10, 26, 32};
  xbtest::TempDir tmp;
  std::string path = tmp.File("B.CDX");
  std::mt19937 rng(7);
  Model model;
  const uint32_t kRows = 30000;
  for (uint32_t r = 1; r <= kRows; ++r) model.insert({MakeKey(c, rng), r});
  {
    auto writer = xb::CdxWriter::Create(path);
    ASSERT_TRUE(writer.ok());
    ASSERT_TRUE((*writer)->BeginTag({"KEY", "KEY", "", 10, c.kind, false, false}, kRows).ok());
    for (const Entry& e : model) ASSERT_TRUE((*writer)->Add(e.first, e.second).ok());
    ASSERT_TRUE((*writer)->EndTag().ok());
    ASSERT_TRUE((*writer)->Finish(false).ok());
  }
  auto cdx = CdxFile::Open(path, true, c.cacheNodes);
  ASSERT_TRUE(cdx.ok()) << cdx.status().message();
  TagTree& tree = (*cdx)->Tree(0, c.kind);
  // Root, at least one level of interior nodes, leaves.
  auto root = (*cdx)->Pages().Load(tree.Header().root, 10, 0x20);
  ASSERT_TRUE(root.ok());
  ASSERT_FALSE((*root)->IsLeaf());
  auto child = (*cdx)->Pages().Load((*root)->Child(0), 10, 0x20);
  ASSERT_FALSE((*child)->IsLeaf());
  ExpectSame(tree, model);
  // Leaves are filled: the file stays near the size of the compressed keys.
  EXPECT_LT((*cdx)->Pages().Size(), kRows * 10);

  uint32_t next = kRows + 1;
  for (int op = 0; op < 3000; ++op) {
    if (rng() % 2) {
      Entry e{MakeKey(c, rng), next++};
      ASSERT_TRUE(tree.Insert(e.first, e.second).ok());
      model.insert(e);
    } else {
      auto it = model.begin();
      std::advance(it, rng() % model.size());
      ASSERT_TRUE(*tree.Remove(it->first, it->second));
      model.erase(it);
    }
  }
  ExpectSame(tree, model);
  ExpectSeeks(tree, model, c, rng);
}

// Relative positions: the ends are 0 and 1, setting a position and reading it back agrees,
// and positions grow with the order.
TEST(CdxTree, RelativePositionFollowsTheOrder) {
  xbtest::TempDir tmp;
  std::string path = tmp.File("P.CDX");
  const uint32_t kRows = 20000;
  {
    auto writer = xb::CdxWriter::Create(path);
    ASSERT_TRUE(
        (*writer)->BeginTag({"N", "N", "", 8, KeyKind::kNumeric, false, false}, kRows).ok());
    for (uint32_t r = 1; r <= kRows; ++r) ASSERT_TRUE((*writer)->Add(KeyCodec::Number(r), r).ok());
    ASSERT_TRUE((*writer)->EndTag().ok());
    ASSERT_TRUE((*writer)->Finish(false).ok());
  }
  auto cdx = CdxFile::Open(path, false, 64);
  TagTree& tree = (*cdx)->Tree(0, KeyKind::kNumeric);
  TagPosition pos;
  ASSERT_TRUE(*tree.First(pos));
  EXPECT_EQ(*tree.Position(pos), 0.0);
  ASSERT_TRUE(*tree.Last(pos));
  EXPECT_EQ(*tree.Position(pos), 1.0);
  double previous = -1.0;
  for (double f = 0.0; f <= 1.0; f += 0.01) {
    ASSERT_TRUE(*tree.SetPosition(f, pos));
    double got = *tree.Position(pos);
    EXPECT_GT(got, previous);
    previous = got;
    // An estimate: leaves hold different numbers of keys.
    EXPECT_NEAR(static_cast<double>(pos.recno) / kRows, f, 0.02) << f;
    TagPosition again;
    ASSERT_TRUE(*tree.SetPosition(got, again));
    EXPECT_EQ(again.recno, pos.recno) << f;
  }
}

// A position kept across changes finds its way: from a deleted entry, Next goes to the entry
// that followed it and Prev to the one before.
TEST(CdxTree, PositionSurvivesChangesToTheTree) {
  TreeCase c{"char10", KeyKind::kCharacter, 10, 26, 16};
  xbtest::TempDir tmp;
  std::string path = CreateEmptyTag(tmp, c);
  auto cdx = CdxFile::Open(path, true, 16);
  TagTree& tree = (*cdx)->Tree(0, c.kind);
  for (uint32_t r = 1; r <= 2000; ++r)
    ASSERT_TRUE(tree.Insert(KeyCodec::Character(std::to_string(100000 + r), 10), r).ok());
  TagPosition pos;
  ASSERT_TRUE(*tree.Seek(KeyCodec::Character("101000", 10), 0, false, pos));
  ASSERT_EQ(pos.recno, 1000u);
  for (uint32_t r = 1; r <= 2000; r += 2)
    ASSERT_TRUE(*tree.Remove(KeyCodec::Character(std::to_string(100000 + r), 10), r));
  TagPosition back = pos;
  ASSERT_TRUE(*tree.Next(pos));
  EXPECT_EQ(pos.recno, 1002u);
  ASSERT_TRUE(*tree.Remove(KeyCodec::Character("101000", 10), 1000));
  ASSERT_TRUE(*tree.Prev(back));
  EXPECT_EQ(back.recno, 998u);
}

}  // namespace
