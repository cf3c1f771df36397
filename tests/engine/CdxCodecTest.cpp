// Key encodings, leaf entry widths and index headers, against the values other writers put in
// real files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "cdx/IndexHeader.h"
#include "cdx/KeyCodec.h"
#include "cdx/Node.h"

namespace {

using xb::KeyCodec;

std::string Hex(const std::string& bytes) {
  std::string out;
  char b[4];
  for (unsigned char c : bytes) {
    std::snprintf(b, sizeof b, "%02X", c);
    out += b;
  }
  return out;
}

TEST(CdxCodec, NumericAndDateKeysAsStoredInLeaves) {
  struct Case {
    double value;
    const char* hex;
  } cases[] = {
      {-9999.99, "3F3C780147AE147A"}, {-62.5, "3FB0BFFFFFFFFFFF"}, {-1.5, "4007FFFFFFFFFFFF"},
      {-0.01, "407B851EB851EB84"},    {0.0, "8000000000000000"},   {-0.0, "8000000000000000"},
      {0.5, "BFE0000000000000"},      {12.5, "C029000000000000"},  {1234.56, "C0934A3D70A3D70A"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Hex(KeyCodec::Number(c.value)), c.hex) << c.value;
    EXPECT_EQ(KeyCodec::DecodeNumber(KeyCodec::Number(c.value)), c.value);
  }
  struct DateCase {
    const char* text;
    const char* hex;
  } dates[] = {
      {"17520914", "C14203C300000000"}, {"19991231", "C142B42C00000000"},
      {"20000101", "C142B42C80000000"}, {"20240229", "C142C56900000000"},
      {"        ", "8000000000000000"}, {"20230229", "8000000000000000"},  // no such day
  };
  for (const DateCase& d : dates) {
    EXPECT_EQ(Hex(KeyCodec::Date(d.text)), d.hex) << d.text;
    EXPECT_EQ(KeyCodec::DecodeDate(KeyCodec::Date(d.text)),
              std::strcmp(d.text, "20230229") == 0 ? "        " : d.text);
  }
  EXPECT_EQ(KeyCodec::JulianDay(1, 1, 1), 1721426);
  EXPECT_EQ(KeyCodec::Character("abc", 5), "abc  ");
  EXPECT_EQ(KeyCodec::Character("abcdef", 4), "abcd");
}

// Entry bytes for a key length and the largest record number, by the rule the observed
// writers follow: the smallest n >= 3 that leaves the record number enough bits.
TEST(CdxCodec, LeafEntryWidths) {
  struct Case {
    int keyLength;
    uint32_t recno;
    int bytes;
  } cases[] = {
      {1, 4194303, 3},    {1, 4194304, 4},       {3, 1048575, 3},   {7, 262143, 3}, {8, 65535, 3},
      {8, 65536, 4},      {8, 70000, 4},         {15, 16777216, 5}, {20, 16383, 3}, {20, 16384, 4},
      {63, 4095, 3},      {64, 1023, 3},         {128, 255, 3},     {128, 300, 4},  {128, 70000, 5},
      {240, 16777215, 5}, {240, 4294967295u, 6},
  };
  for (const Case& c : cases)
    EXPECT_EQ(xb::Node::EntryBytes(c.keyLength, c.recno), c.bytes) << c.keyLength << " " << c.recno;
}

// A leaf written and read back keeps its keys, and its masks and widths follow the rule.
TEST(CdxCodec, LeafRoundTripAndLayout) {
  xb::Node leaf(true, 20, 0x20);
  const char* keys[] = {"", "AB", "ABC", "ABC", "ABCDEFGHIJKLMNOPQRST", "B"};
  uint32_t recno = 1;
  for (const char* k : keys) leaf.Insert(leaf.Count(), KeyCodec::Character(k, 20), recno++);
  leaf.RaiseRecnoBound(16384);
  ASSERT_TRUE(leaf.Fits());
  uint8_t page[512];
  ASSERT_TRUE(leaf.Encode(page));
  // 4-byte entries: 22 record bits, 5 + 5 count bits.
  const uint8_t layout[] = {0xFF, 0xFF, 0x3F, 0x00, 0x1F, 0x1F, 22, 5, 5, 4};
  EXPECT_EQ(std::memcmp(page + 14, layout, sizeof layout), 0);
  // stored: "" 0, "AB" 2, "C" 1, "" 0, "DEFGHIJKLMNOPQRST" 17, "B" 1.
  EXPECT_EQ(page[12] | page[13] << 8, 488 - 6 * 4 - 21);
  auto back = xb::Node::Decode(page, 20, 0x20);
  ASSERT_TRUE(back.ok()) << back.status().message();
  ASSERT_EQ(back->Count(), leaf.Count());
  for (size_t i = 0; i < leaf.Count(); ++i) {
    EXPECT_EQ(back->Key(i), leaf.Key(i));
    EXPECT_EQ(back->Recno(i), leaf.Recno(i));
  }
}

// A node read from its page keeps its keys packed; it must find, copy and order them exactly as
// a node holding them at full length, before and after it is spread out or changed.
TEST(CdxCodec, PackedNodesSearchAsTheirKeysAtFullLength) {
  using Entry = std::pair<std::string, uint32_t>;
  auto chars = [](std::vector<std::string> texts, int length) {
    std::vector<Entry> out;
    uint32_t recno = 1;
    for (const std::string& t : texts) out.push_back({KeyCodec::Character(t, length), recno++});
    return out;
  };
  struct Case {
    const char* what;
    bool leaf;
    int keyLength;
    int fill;
    std::vector<Entry> entries;
  };
  std::vector<Case> cases = {
      {"long shared start, short ends", true, 20, 0x20,
       chars({"ITEM0012345670", "ITEM0012345678", "ITEM0012349999", "ITEM00124", "ITEM0013"}, 20)},
      {"bytes beyond the slice", true, 20, 0x20,
       chars({"A", "ABCDEFGHIJ", "ABCDEFGHIJKLMNOPQRS", "ABCDEFGHIJKLMNOPQRT", "B"}, 20)},
      {"one key", true, 20, 0x20, chars({"ONLY"}, 20)},
      {"keys shorter than a slice", true, 3, 0x20, chars({"", "A", "AB", "ABC", "B"}, 3)},
      {"interior entries", false, 12, 0x20, chars({"APPLE", "APPLE PIE", "BANANA", "CHERRY"}, 12)},
  };
  // Equal keys in record-number order, and binary keys with 00 and FF bytes, no fill dropped.
  cases.push_back({"duplicates",
                   true,
                   10,
                   0x20,
                   {{KeyCodec::Character("SAME", 10), 3},
                    {KeyCodec::Character("SAME", 10), 7},
                    {KeyCodec::Character("SAME", 10), 9},
                    {KeyCodec::Character("SAMF", 10), 1}}});
  cases.push_back({"binary keys",
                   true,
                   8,
                   -1,
                   {{std::string("\x00\x00\x00\x00\x00\x00\x00\x00", 8), 1},
                    {std::string("\x80\x00\x00\x00\x00\x00\x00\x01", 8), 2},
                    {std::string("\x80\xFF\x00\x00\x00\x00\x00\x00", 8), 3},
                    {std::string("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 8), 4}}});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    xb::Node full(c.leaf, c.keyLength, c.fill);
    for (const Entry& e : c.entries) full.Insert(full.Count(), e.first, e.second, e.second * 512);
    uint8_t page[512];
    ASSERT_TRUE(full.Encode(page));
    auto packed = xb::Node::Decode(page, c.keyLength, c.fill);
    ASSERT_TRUE(packed.ok()) << packed.status().message();
    EXPECT_TRUE(packed->Ordered());
    EXPECT_EQ(packed->UsedBytes(), full.UsedBytes());
    // Probes: every key, with record numbers around its own, and keys between and outside.
    std::vector<Entry> probes;
    for (const Entry& e : c.entries) {
      for (uint32_t r : {0u, e.second, e.second + 1, 0xFFFFFFFFu}) probes.push_back({e.first, r});
      std::string above = e.first, below = e.first;
      above.back() = static_cast<char>(static_cast<uint8_t>(above.back()) + 1);
      below.back() = static_cast<char>(static_cast<uint8_t>(below.back()) - 1);
      probes.push_back({above, 0});
      probes.push_back({below, 0});
    }
    probes.push_back({std::string(static_cast<size_t>(c.keyLength), '\0'), 0});
    probes.push_back({std::string(static_cast<size_t>(c.keyLength), '\xFF'), 0xFFFFFFFF});
    auto check = [&](const xb::Node& node, const char* state) {
      SCOPED_TRACE(state);
      std::string key(static_cast<size_t>(c.keyLength), '?');
      for (size_t i = 0; i < c.entries.size(); ++i) {
        node.CopyKey(i, key.data());
        EXPECT_EQ(key, c.entries[i].first) << i;
        EXPECT_EQ(node.Recno(i), c.entries[i].second) << i;
      }
      for (const Entry& p : probes)
        for (bool upper : {false, true}) {
          auto pos = upper ? std::upper_bound(c.entries.begin(), c.entries.end(), p)
                           : std::lower_bound(c.entries.begin(), c.entries.end(), p);
          EXPECT_EQ(node.LowerBound(p.first, p.second, upper),
                    static_cast<size_t>(pos - c.entries.begin()))
              << Hex(p.first) << " " << p.second << (upper ? " upper" : "");
        }
    };
    check(*packed, "packed");
    check(full, "full length");
    EXPECT_EQ(packed->Key(0), c.entries[0].first);  // spreads the keys out
    check(*packed, "spread out");
    if (c.entries.size() > 1) {
      xb::Node out(c.leaf, c.keyLength, c.fill);
      for (size_t i = c.entries.size(); i-- > 0;)
        out.Insert(out.Count(), c.entries[i].first, c.entries[i].second);
      ASSERT_TRUE(out.Encode(page));
      EXPECT_FALSE(xb::Node::Decode(page, c.keyLength, c.fill)->Ordered()) << "reversed";
    }
  }
}

// Another writer may compress a leaf less than it could: the keys read back are the same, and
// the node counts the bytes it would store itself.
TEST(CdxCodec, LeavesCompressedLessThanTheyCouldBeReadBack) {
  const std::string keys = KeyCodec::Character("ABCDEF", 10) + KeyCodec::Character("ABCDEG", 10) +
                           KeyCodec::Character("ABX", 10);
  // Canonical: (0, 4 trail) (5 dup, 4 trail) (2 dup, 7 trail); here no dup and no trail at all.
  xb::Node::LeafEntry entries[] = {{1, 0, 0}, {2, 0, 0}, {3, 0, 0}};
  uint8_t page[512];
  xb::Node::EncodeLeaf(page, true, xb::Node::kNone, xb::Node::kNone, 10, 3, keys.data(), entries,
                       3);
  auto node = xb::Node::Decode(page, 10, 0x20);
  ASSERT_TRUE(node.ok()) << node.status().message();
  xb::Node canonical(true, 10, 0x20);
  for (size_t i = 0; i < 3; ++i) canonical.Insert(i, keys.substr(i * 10, 10), uint32_t(i + 1));
  EXPECT_EQ(node->UsedBytes(), canonical.UsedBytes());
  std::string key(10, '?');
  for (size_t i = 0; i < 3; ++i) {
    node->CopyKey(i, key.data());
    EXPECT_EQ(key, keys.substr(i * 10, 10));
  }
}

// Leaves that no reader could make sense of are refused, never read outside the page.
TEST(CdxCodec, ImpossibleLeavesAreRefused) {
  xb::Node leaf(true, 8, 0x20);
  leaf.Insert(0, KeyCodec::Character("ALPHA", 8), 1);
  leaf.Insert(1, KeyCodec::Character("BRAVO", 8), 2);
  uint8_t good[512];
  ASSERT_TRUE(leaf.Encode(good));
  ASSERT_TRUE(xb::Node::Decode(good, 8, 0x20).ok());
  struct Damage {
    const char* what;
    size_t offset;
    uint8_t value;
  } damages[] = {
      {"record mask zero", 14, 0x00},           {"dup mask wider than its bits", 18, 0x1F},
      {"bits beyond the entry", 20, 30},        {"no entry bytes", 23, 0},
      {"count beyond the page", 3, 0x40},       {"attributes", 0, 7},
      {"first key with a dup count", 26, 0xFF},
  };
  for (const Damage& d : damages) {
    uint8_t page[512];
    std::memcpy(page, good, sizeof page);
    page[d.offset] = d.value;
    EXPECT_FALSE(xb::Node::Decode(page, 8, 0x20).ok()) << d.what;
  }
}

TEST(CdxCodec, HeaderFieldsAndExpressionPool) {
  xb::IndexHeader h;
  h.root = 0xA00;
  h.keyLength = 17;
  h.options = 0x68;
  h.descending = true;
  h.keyExpression = "UPPER( ITEM_IN )";
  h.forExpression = "TYPE == \"P\"";
  uint8_t bytes[1024];
  ASSERT_TRUE(h.Encode(bytes).ok());
  EXPECT_EQ(bytes[504], 17);
  EXPECT_EQ(bytes[506], 12);
  EXPECT_EQ(bytes[510], 17);
  EXPECT_EQ(bytes[502], 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes + 512 + 17)), h.forExpression);
  auto back = xb::IndexHeader::Decode(bytes);
  ASSERT_TRUE(back.ok());
  EXPECT_EQ(back->keyExpression, h.keyExpression);
  EXPECT_EQ(back->forExpression, h.forExpression);
  EXPECT_TRUE(back->descending);

  // 504 below the key text's length cuts the key there, as other readers do.
  bytes[504] = 6;
  EXPECT_EQ(xb::IndexHeader::Decode(bytes)->keyExpression, "UPPER");
  bytes[504] = 17;
  bytes[12] = 0;  // key length 0
  EXPECT_FALSE(xb::IndexHeader::Decode(bytes).ok());

  h.keyExpression = std::string(300, 'A');
  h.forExpression = std::string(211, 'B');
  EXPECT_FALSE(h.Encode(bytes).ok());
}

}  // namespace
