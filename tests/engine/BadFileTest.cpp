// Damaged and unusual files: the open fails with 0 and a reason, or the table opens with the
// documented repair; reading every field of every record never crashes or hangs.
#include <functional>

#include "EngineTestUtil.h"

namespace xbtest {
namespace {

using Bytes = std::vector<uint8_t>;

// A valid table of three records: CODE C4, QTY N6.2, WHEN D.
Bytes GoodTable(const TempDir& dir) {
  std::string path = dir.File("good.dbf");
  EXPECT_NE(xb_CreateTable(path.c_str(), "CODE,C,4,0;QTY,N,6,2;WHEN,D,8,0"), 0);
  EXPECT_GT(xb_UseEx(path.c_str(), nullptr, XB_OPEN_EXCLUSIVE, XB_DRIVER_CDX, 1), 0);
  for (const char* code : {"A", "B", "C"}) {
    xb_AppendBlank();
    xb_Replace("CODE", 0, code);
    xb_Replace("QTY", 0, "1.25");
    xb_Replace("WHEN", 0, "20240229");
  }
  xb_Close();
  return ReadBytes(path);
}

void Put16(Bytes& b, size_t at, unsigned v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}
void Put32(Bytes& b, size_t at, unsigned v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}
constexpr size_t kH = 32 * 3 + 34;  // header length of the good table
constexpr size_t kR = 1 + 4 + 6 + 8;

// Opens `bytes` as a table and reads everything; returns the area (0 when refused).
int OpenAndWalk(const TempDir& dir, const Bytes& bytes) {
  std::string path = dir.File("bad.dbf");
  WriteBytes(path, bytes);
  int area = xb_UseEx(path.c_str(), nullptr, XB_OPEN_EXCLUSIVE, XB_DRIVER_CDX, 1);
  if (area <= 0) {
    EXPECT_STRNE(xb_ErrorText(), "");
    return 0;
  }
  int walked = 0;
  for (xb_GoTop(); !xb_Eof() && walked <= xb_RecCount(); xb_Skip(1)) {
    ++walked;
    for (int i = 1; i <= xb_FieldCount(); ++i) {
      std::string name = xb_FieldName(i);
      (void)xb_GetString(name.c_str());
      (void)xb_GetDouble(name.c_str());
      (void)xb_GetDateString(name.c_str());
      (void)xb_GetInteger(name.c_str());
    }
  }
  EXPECT_EQ(walked, xb_RecCount());
  return area;
}

struct Corruption {
  const char* what;
  std::function<void(Bytes&)> damage;
  int expectedCount;  // -1: the open must fail
};

class BadFiles : public EngineTest {};

TEST_F(BadFiles, TableOfCorruptions) {
  const Bytes good = GoodTable(FDir);
  const std::vector<Corruption> cases = {
      {"empty file", [](Bytes& b) { b.clear(); }, -1},
      {"ten bytes", [](Bytes& b) { b.resize(10); }, -1},
      {"header only", [](Bytes& b) { b.resize(32); }, -1},
      {"cut inside the descriptors", [](Bytes& b) { b.resize(80); }, -1},
      {"unknown version byte", [](Bytes& b) { b[0] = 0x99; }, -1},
      {"header length past the file", [](Bytes& b) { Put16(b, 8, 60000); }, -1},
      {"header length too small", [](Bytes& b) { Put16(b, 8, 40); }, -1},
      {"record length 0", [](Bytes& b) { Put16(b, 10, 0); }, -1},
      {"field outside the record", [](Bytes& b) { Put16(b, 10, kR - 3); }, -1},
      {"field of width 0", [](Bytes& b) { b[32 + 16] = 0; }, -1},
      {"no fields", [](Bytes& b) { b[32] = 0x0D; }, -1},
      {"memo table without its memo file",
       [](Bytes& b) {
         b[0] = 0xF5;
         b[32 + 32 * 2 + 11] = 'M';
         b[32 + 32 * 2 + 16] = 10;
         Put16(b, 10, kR + 2);
       },
       -1},
      {"count larger than the file", [](Bytes& b) { Put32(b, 4, 1000); }, 3},
      {"count near 2^32", [](Bytes& b) { Put32(b, 4, 0xFFFFFFFFu); }, 3},
      {"cut inside the last record", [](Bytes& b) { b.resize(kH + 2 * kR + 5); }, 2},
      {"cut right after the header", [](Bytes& b) { b.resize(kH); }, 0},
      {"count smaller than the file", [](Bytes& b) { Put32(b, 4, 1); }, 1},
      {"no end byte", [](Bytes& b) { b.pop_back(); }, 3},
      {"no 0x00 after the terminator",
       [](Bytes& b) {
         b.erase(b.begin() + kH - 1);
         Put16(b, 8, kH - 1);
       },
       3},
      {"lower-case field names",
       [](Bytes& b) {
         b[32] = 'c';
         b[33] = 'o';
       },
       3},
      {"junk in the offset bytes", [](Bytes& b) { Put32(b, 32 + 12, 0xDEADBEEF); }, 3},
      {"garbage numbers and dates",
       [](Bytes& b) {
         const char* qty[] = {"12abc ", "******", "--1.0 ", "1e999 "};
         const char* when[] = {"2024ab01", "20241340", "00000000"};
         for (size_t k = 0; k < 3; ++k) {
           std::copy(qty[k], qty[k] + 6, b.begin() + long(kH + k * kR + 5));
           std::copy(when[k], when[k] + 8, b.begin() + long(kH + k * kR + 11));
         }
       },
       3},
      {"deletion flags other than blank and star",
       [](Bytes& b) {
         b[kH] = 0;
         b[kH + kR] = 'x';
       },
       3},
  };
  for (const Corruption& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes bytes = good;
    c.damage(bytes);
    int area = OpenAndWalk(FDir, bytes);
    if (c.expectedCount < 0) {
      EXPECT_EQ(area, 0);
      continue;
    }
    ASSERT_GT(area, 0) << xb_ErrorText();
    EXPECT_EQ(xb_RecCount(), c.expectedCount);
    xb_Close();
  }
}

TEST_F(BadFiles, GarbageValuesReadAsEmpty) {
  Bytes bytes = GoodTable(FDir);
  const char* qty[] = {"12abc ", "******", "  -1.5"};
  const char* when[] = {"2024ab01", "20241340", "20240229"};
  for (size_t k = 0; k < 3; ++k) {
    std::copy(qty[k], qty[k] + 6, bytes.begin() + long(kH + k * kR + 5));
    std::copy(when[k], when[k] + 8, bytes.begin() + long(kH + k * kR + 11));
  }
  ASSERT_GT(OpenAndWalk(FDir, bytes), 0);
  const double numbers[] = {12.0, 0.0, -1.5};
  const char* dates[] = {"        ", "        ", "20240229"};
  for (int k = 1; k <= 3; ++k) {
    xb_Go(k);
    EXPECT_DOUBLE_EQ(xb_GetDouble("QTY"), numbers[k - 1]) << k;
    EXPECT_STREQ(xb_GetDateString("WHEN"), dates[k - 1]) << k;
  }
}

TEST_F(BadFiles, RepairedCountIsReportedAndWrittenAtTheNextCommit) {
  Bytes bytes = GoodTable(FDir);
  Put32(bytes, 4, 7);
  bytes.resize(kH + 2 * kR + 3);  // two whole records and a piece of the third
  std::string path = FDir.File("bad.dbf");
  WriteBytes(path, bytes);
  ASSERT_GT(xb_UseEx(path.c_str(), nullptr, XB_OPEN_EXCLUSIVE, XB_DRIVER_CDX, 1), 0);
  EXPECT_NE(std::string(xb_ErrorText()).find("repair"), std::string::npos) << xb_ErrorText();
  EXPECT_EQ(xb_RecCount(), 2);
  ASSERT_NE(xb_AppendBlank(), 0);
  xb_Replace("CODE", 0, "NEW");
  ASSERT_NE(xb_Close(), 0);
  Bytes after = ReadBytes(path);
  EXPECT_EQ(after[4], 3);
  EXPECT_EQ(after.size(), kH + 3 * kR + 1);
  ASSERT_GT(xb_UseEx(path.c_str(), nullptr, XB_OPEN_EXCLUSIVE, XB_DRIVER_CDX, 1), 0);
  xb_Go(3);
  EXPECT_STREQ(xb_GetTrimString("CODE"), "NEW");
}

TEST_F(BadFiles, DamagedMemoReferencesGiveNoMemo) {
  std::string path = FDir.File("m.dbf");
  ASSERT_NE(xb_CreateTable(path.c_str(), "CODE,C,4,0;NOTE,M,10,0"), 0);
  ASSERT_GT(xb_UseEx(path.c_str(), nullptr, XB_OPEN_EXCLUSIVE, XB_DRIVER_CDX, 1), 0);
  for (int i = 0; i < 4; ++i) {
    xb_AppendBlank();
    ASSERT_NE(xb_Replace("NOTE", XB_REPLACE_MEMO, "some memo text"), 0);
  }
  xb_Close();
  Bytes dbf = ReadBytes(path);
  const size_t h = 32 * 2 + 34, r = 15;
  auto ref = [&](int k, const char* text) {
    std::copy(text, text + 10, dbf.begin() + long(h + size_t(k) * r + 5));
  };
  ref(0, "    999999");  // past the end of the memo file
  ref(1, "         1");  // inside the memo file's header
  ref(2, "   12x4   ");  // not a number
  WriteBytes(path, dbf);
  // The fourth memo claims a length far past the file end.
  Bytes fpt = ReadBytes(FDir.File("m.FPT"));
  size_t fourth = size_t(8 + 3) * 64;
  fpt[fourth + 4] = 0x7F;
  WriteBytes(FDir.File("m.FPT"), fpt);

  ASSERT_GT(xb_UseEx(path.c_str(), nullptr, XB_OPEN_EXCLUSIVE, XB_DRIVER_CDX, 1), 0);
  for (int k = 1; k <= 4; ++k) {
    SCOPED_TRACE(k);
    xb_Go(k);
    EXPECT_EQ(xb_GetMemo("NOTE", 0), nullptr);
    EXPECT_EQ(xb_GetBlobLength("NOTE"), 0);
    EXPECT_STRNE(xb_ErrorText(), "");
  }
}

}  // namespace
}  // namespace xbtest
