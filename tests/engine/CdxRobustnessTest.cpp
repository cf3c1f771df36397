// Damaged index files: the reader reports them and never crashes, loops or reads outside the
// file. Each case damages a copy of a multi-level fixture in one way.
#include <gtest/gtest.h>

#include <functional>

#include "CdxTestSupport.h"
#include "cdx/Bytes.h"
#include "cdx/CdxFile.h"

namespace {

using xb::CdxFile;
using xb::KeyKind;

struct Layout {
  uint32_t header, root, child, leaf, nextLeaf;
};

Layout Find(const std::string& path) {
  auto cdx = CdxFile::Open(path, false);
  EXPECT_TRUE(cdx.ok());
  int tag = (*cdx)->Find("CODE");
  xb::TagTree& tree = (*cdx)->Tree(tag, KeyKind::kCharacter);
  Layout l{};
  l.header = (*cdx)->Tags()[tag].headerOffset;
  l.root = tree.Header().root;
  l.child = (*(*cdx)->Pages().Load(l.root, 10, 0x20))->Child(0);
  xb::TagPosition pos;
  EXPECT_TRUE(*tree.First(pos));
  l.leaf = pos.leaf;
  l.nextLeaf = (*(*cdx)->Pages().Load(l.leaf, 10, 0x20))->Right();
  return l;
}

struct Damage {
  const char* what;
  std::function<void(std::vector<uint8_t>&, const Layout&)> apply;
};

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  xb::PutLe32(&b[at], v);
}

TEST(CdxRobustness, DamagedFilesAreReportedNotFollowed) {
  std::string fixture = xbtest::FixturesDir() + "/peer-xbase/X_BIG.CDX";
  Layout l = Find(fixture);
  const Damage damages[] = {
      {"file cut in half", [](auto& b, auto&) { b.resize(b.size() / 2); }},
      {"file cut inside a page", [](auto& b, auto& l) { b.resize(l.leaf + 100); }},
      {"leaf linked to itself", [](auto& b, auto& l) { Put32(b, l.leaf + 8, l.leaf); }},
      {"leaves linked in a circle", [](auto& b, auto& l) { Put32(b, l.nextLeaf + 8, l.leaf); }},
      {"leaf ends the level early", [](auto& b, auto& l) { Put32(b, l.leaf + 8, 0xFFFFFFFF); }},
      {"links of zero", [](auto& b, auto& l) { Put32(b, l.leaf + 4, 0), Put32(b, l.leaf + 8, 0); }},
      {"child points at the root",
       [](auto& b, auto& l) { xb::PutBe32(&b[l.root + 12 + 14], l.root); }},
      {"child points at its parent",
       [](auto& b, auto& l) { xb::PutBe32(&b[l.child + 12 + 14], l.child); }},
      {"child outside the file",
       [](auto& b, auto& l) { xb::PutBe32(&b[l.root + 12 + 14], 0x7FFFFE00); }},
      {"child into the directory header",
       [](auto& b, auto& l) { xb::PutBe32(&b[l.root + 12 + 14], 0x200); }},
      {"root not on a page boundary", [](auto& b, auto& l) { Put32(b, l.header, l.root + 7); }},
      {"leaf masks zero", [](auto& b, auto& l) { std::fill(&b[l.leaf + 14], &b[l.leaf + 20], 0); }},
      {"leaf key count huge", [](auto& b, auto& l) { b[l.leaf + 2] = 0xFF, b[l.leaf + 3] = 0xFF; }},
      {"interior count huge", [](auto& b, auto& l) { b[l.root + 2] = 0x40; }},
      {"leaf made interior", [](auto& b, auto& l) { b[l.leaf] = 0; }},
      {"interior made leaf", [](auto& b, auto& l) { b[l.child] = 2; }},
      {"keys out of order", [](auto& b, auto& l) { b[l.root + 12] = 0xFF; }},
      {"tag header key length 0",
       [](auto& b, auto& l) { b[l.header + 12] = 0, b[l.header + 13] = 0; }},
      {"directory entry into the void",
       [](auto& b, auto&) { b[0x400 + 24] = 0xF0, b[0x400 + 25] = 0xFF; }},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.what);
    xbtest::TempDir tmp;
    std::vector<uint8_t> bytes = xbtest::ReadBytes(fixture);
    d.apply(bytes, l);
    std::string path = tmp.File("X_BIG.CDX");
    xbtest::WriteBytes(path, bytes);
    auto cdx = CdxFile::Open(path, false, 16);
    if (!cdx.ok()) continue;  // reported at the open
    EXPECT_FALSE((*cdx)->Check().ok());
    // Walking a damaged tag without checking it first ends too (with an error or at the end
    // of a cycle's first round, which the bound stops); nothing crashes.
    for (size_t t = 0; t < (*cdx)->Tags().size(); ++t) {
      xb::TagTree& tree = (*cdx)->Tree(t, KeyKind::kCharacter);
      xb::TagPosition pos;
      size_t steps = 0;
      for (auto on = tree.First(pos); on.ok() && *on && steps < 20000; on = tree.Next(pos)) ++steps;
      for (auto on = tree.Last(pos); on.ok() && *on && steps < 40000; on = tree.Prev(pos)) ++steps;
      (void)tree.Count();
      (void)tree.SetPosition(0.5, pos);
      (void)tree.Seek("M", 0, false, pos);
    }
  }
}

// Files too short to hold a directory, and a directory that is not a tree, are refused.
TEST(CdxRobustness, UnusableFilesAreRefusedAtOpen) {
  xbtest::TempDir tmp;
  std::vector<uint8_t> small = xbtest::ReadBytes(xbtest::FixturesDir() + "/peer-xbase/X_SMALL.CDX");
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> apply;
  } cases[] = {
      {"empty file", [](auto& b) { b.clear(); }},
      {"header only", [](auto& b) { b.resize(1024); }},
      {"directory root outside", [](auto& b) { Put32(b, 0, 0x100000); }},
      {"directory root is its own header", [](auto& b) { Put32(b, 0, 0); }},
      {"tag header offset past the end", [](auto& b) { b[0x418] = 0x00, b[0x419] = 0x0C; }},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = small;
    c.apply(bytes);
    xbtest::WriteBytes(tmp.File("S.CDX"), bytes);
    auto cdx = CdxFile::Open(tmp.File("S.CDX"), false);
    EXPECT_FALSE(cdx.ok()) << c.what;
  }
}

}  // namespace
