// Memo fields in FPT files: reading what other writers made, writing new memos that the
// layout rules allow other readers to follow.
#include "EngineTestUtil.h"

namespace xbtest {
namespace {

uint32_t Be32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}

class Memo : public EngineTest {
 protected:
  std::string Memo1(const char* field) {
    char* m = xb_GetMemo(field, 0);
    std::string text = m ? m : "";
    xb_MemDealloc(m);
    return text;
  }
};

TEST_F(Memo, WritesFollowTheLayoutAndReadBack) {
  std::string path = FDir.File("M.DBF");
  ASSERT_NE(xb_CreateTable(path.c_str(), "CODE,C,4,0;NOTE,M,10,0"), 0);
  auto fpt = ReadBytes(FDir.File("M.FPT"));
  ASSERT_EQ(fpt.size(), 512u);
  EXPECT_EQ(Be32(fpt, 0), 8u);  // next free block
  EXPECT_EQ(fpt[6] << 8 | fpt[7], 64);
  EXPECT_EQ(ReadBytes(path)[0], 0xF5);

  ASSERT_GT(xb_UseEx(path.c_str(), nullptr, XB_OPEN_EXCLUSIVE, XB_DRIVER_CDX, 1), 0);
  ASSERT_NE(xb_AppendBlank(), 0);
  EXPECT_EQ(xb_GetMemo("NOTE", 0), nullptr);  // no memo yet
  EXPECT_EQ(xb_GetBlobLength("NOTE"), 0);
  std::string text56(56, 'x');  // exactly one block with its 8-byte header
  ASSERT_NE(xb_Replace("NOTE", XB_REPLACE_MEMO, text56.c_str()), 0);
  EXPECT_STREQ(xb_GetString("NOTE"), "         8");
  ASSERT_NE(xb_AppendBlank(), 0);
  const char blob[] = {'a', 0, 'b', '\r', '\n', char(0xFF)};
  EXPECT_EQ(xb_PutBlob("NOTE", blob, 6), 6);
  EXPECT_STREQ(xb_GetString("NOTE"), "         9");
  // A rewrite goes to new blocks; an empty text removes the reference.
  ASSERT_NE(xb_AppendBlank(), 0);
  ASSERT_NE(xb_Replace("NOTE", XB_REPLACE_MEMO, "first"), 0);
  ASSERT_NE(xb_Replace("NOTE", XB_REPLACE_MEMO, "second, longer than the first"), 0);
  EXPECT_STREQ(xb_GetString("NOTE"), "        11");
  ASSERT_NE(xb_AppendBlank(), 0);
  ASSERT_NE(xb_Replace("NOTE", XB_REPLACE_MEMO, "gone"), 0);
  ASSERT_NE(xb_Replace("NOTE", XB_REPLACE_MEMO, ""), 0);
  EXPECT_STREQ(xb_GetString("NOTE"), "          ");
  EXPECT_EQ(xb_Replace("CODE", XB_REPLACE_MEMO, "x"), 0);  // not a memo field
  ASSERT_NE(xb_Close(), 0);

  fpt = ReadBytes(FDir.File("M.FPT"));
  EXPECT_EQ(Be32(fpt, 0), 13u);
  EXPECT_EQ(fpt.size(), 13u * 64);
  EXPECT_EQ(Be32(fpt, 8 * 64), 1u);       // type text
  EXPECT_EQ(Be32(fpt, 8 * 64 + 4), 56u);  // length

  ASSERT_GT(xb_UseEx(path.c_str(), nullptr, XB_OPEN_READONLY, XB_DRIVER_CDX, 1), 0);
  xb_Go(1);
  EXPECT_EQ(Memo1("NOTE"), text56);
  xb_Go(2);
  ASSERT_EQ(xb_GetBlobLength("NOTE"), 6);
  char back[7] = {};
  EXPECT_EQ(xb_GetBlob("NOTE", back), 6);
  EXPECT_EQ(std::string(back, 6), std::string(blob, 6));
  xb_Go(3);
  EXPECT_EQ(Memo1("NOTE"), "second, longer than the first");
  xb_Go(4);
  EXPECT_EQ(xb_GetMemo("NOTE", 0), nullptr);
}

TEST_F(Memo, AppendsToAFileOfAnotherWritersVariant) {
  // X_MEMOX keeps private bookkeeping in its memo file; a new memo goes after it and the old
  // memos still read.
  std::string path = CopyFixture("peer-xbase/X_MEMOX.DBF", FDir.path());
  CopyFixture("peer-xbase/X_MEMOX.FPT", FDir.path());
  ASSERT_GT(xb_UseEx(path.c_str(), nullptr, XB_OPEN_EXCLUSIVE, XB_DRIVER_CDX, 1), 0);
  auto before = DumpNatural();
  xb_Go(2);
  ASSERT_NE(xb_Replace("NOTE", XB_REPLACE_MEMO, "added later"), 0);
  ASSERT_NE(xb_Close(), 0);
  ASSERT_GT(xb_UseEx(path.c_str(), nullptr, XB_OPEN_EXCLUSIVE, XB_DRIVER_CDX, 1), 0);
  auto after = DumpNatural();
  before[1] += "added later";
  EXPECT_EQ(after, before);
}

}  // namespace
}  // namespace xbtest
