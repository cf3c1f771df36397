#include "TIniFile.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace {

struct ReadCase {
  const char* text;
  const char* section;
  const char* key;
  int32_t expected;
};

TEST(TIniFile, ReadsIntegersByTheFileRules) {
  const ReadCase cases[] = {
      {"[Win Top]\r\nTranslate=120\r\n", "Win Top", "Translate", 120},
      {"[win top]\ntranslate = 7 \n", "Win Top", "Translate", 7},  // names ignore case; LF ends
      {"[WIN TOP]\r\nTRANSLATE=0x1F\r\n", "Win Top", "Translate", 31},
      {"[Win Top]\r\nTranslate=$ff\r\n", "Win Top", "Translate", 255},
      {"[Win Top]\r\nTranslate=-40\r\n", "Win Top", "Translate", -40},
      {"[Win Top]\r\nTranslate=$FFFFFFFF\r\n", "Win Top", "Translate", -1},
      {"[Win Top]\r\nTranslate=12px\r\n", "Win Top", "Translate", 99},         // not an integer
      {"[Win Top]\r\nTranslate=\r\n", "Win Top", "Translate", 99},             // empty value
      {"[Win Top]\r\nTranslate=99999999999\r\n", "Win Top", "Translate", 99},  // too large
      {"[Win Top]\r\nTranslate=0x\r\n", "Win Top", "Translate", 99},
      {"Translate=5\r\n[Win Top]\r\n", "Win Top", "Translate", 99},   // before the first section
      {"[Win Top]\r\n;Translate=5\r\n", "Win Top", "Translate", 99},  // comment
      {"[Translate]\r\nWin Top=5\r\n", "Win Top", "Translate", 99},   // roles exchanged
      {"[Win Top]\r\nTranslate=1\r\n[Other]\r\nX=2\r\n[win top]\r\nY=3\r\n", "Win Top", "Y", 3},
      {"[Win Top]", "Win Top", "Translate", 99},
      {"", "Win Top", "Translate", 99},
  };
  for (const auto& c : cases) {
    TIniFile ini("");
    ini.LoadFromText(c.text);
    EXPECT_EQ(ini.ReadInteger(c.section, c.key, 99), c.expected) << c.text;
  }
}

TEST(TIniFile, FreshFileHoldsTheFourSectionsInOrder) {
  xbtest::TempDir dir;
  TIniFile ini(dir.File("A_Movrane.ini"));  // missing file: empty
  ini.WriteInteger("Win Top", "Translate", 10);
  ini.WriteInteger("Win Left", "Translate", 20);
  ini.WriteInteger("Win Height", "Translate", 630);
  ini.WriteInteger("Win Width", "Translate", 840);
  ASSERT_TRUE(ini.UpdateFile());
  EXPECT_EQ(xbtest::ReadText(dir.File("A_Movrane.ini")),
            "[Win Top]\r\nTranslate=10\r\n\r\n[Win Left]\r\nTranslate=20\r\n\r\n"
            "[Win Height]\r\nTranslate=630\r\n\r\n[Win Width]\r\nTranslate=840\r\n\r\n");
}

TEST(TIniFile, RewriteKeepsSectionsInPlaceAndAppendsNewOnes) {
  xbtest::TempDir dir;
  const std::string path = dir.File("A_Movrane.ini");
  xbtest::WriteText(path,
                    "; comment dropped\r\nstray=1\r\n[Translate]\r\nWin Top=5\r\n\r\n"
                    "[win width]\r\nOther = keep\r\nTRANSLATE=500\r\nbare line\r\n");
  TIniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("Win Width", "Translate", 840), 500);
  ini.WriteInteger("Win Top", "Translate", 1);
  ini.WriteInteger("Win Width", "Translate", 900);
  ASSERT_TRUE(ini.UpdateFile());
  EXPECT_EQ(xbtest::ReadText(path),
            "[Translate]\r\nWin Top=5\r\n\r\n"
            "[win width]\r\nOther=keep\r\nTRANSLATE=900\r\nbare line\r\n\r\n"
            "[Win Top]\r\nTranslate=1\r\n\r\n");
  TIniFile again(path);
  EXPECT_EQ(again.ReadInteger("WIN WIDTH", "translate", 0), 900);
  EXPECT_EQ(again.ReadInteger("Win Top", "Translate", 0), 1);
}

TEST(TIniFile, UnwritableFileReportsFailureAndLeavesNothing) {
  xbtest::TempDir dir;
  TIniFile ini(dir.File("missing-dir/A_Movrane.ini"));
  ini.WriteInteger("Win Top", "Translate", 1);
  EXPECT_FALSE(ini.UpdateFile());
}

}  // namespace
