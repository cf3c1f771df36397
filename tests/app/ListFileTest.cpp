// The item list and the translation table as CSV, over real tables through the real engine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TLedger.h"
#include "TListFile.h"
#include "TestSupport.h"

namespace {

class TSilentReport : public TLedgerReport {
 public:
  void Beep() override {}
  void Show(const std::string&) override {}
  void ShowInformation(const std::string&) override {}
  void ShowError(const std::string&) override {}
};

class ListFile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<std::string> made;
    std::string error;
    ASSERT_TRUE(TLedger::CreateMissingTables(Dir.path(), made, error)) << error;
    for (TXbTable* t : {&L.TableIn, &L.TableOut}) {
      t->SetDatabaseName(Dir.path());
      t->Open();
    }
  }
  xbtest::TempDir Dir;
  TSilentReport Report;
  TLedger L{Report};
};

TEST_F(ListFile, SplitLine) {
  struct Case {
    const char* line;
    bool ok;
    std::vector<std::string> values;
  };
  const Case cases[] = {
      {"a,b,c", true, {"a", "b", "c"}},
      {"\"a,1\",\"\",", true, {"a,1", "", ""}},
      {"\"say \"\"hi\"\"\",x", true, {"say \"hi\"", "x"}},
      {"", true, {""}},
      {"\"open,x", false, {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> values;
    EXPECT_EQ(TListFile::SplitLine(c.line, values), c.ok) << c.line;
    if (c.ok) {
      EXPECT_EQ(values, c.values) << c.line;
    }
  }
}

TEST_F(ListFile, ImportTakesGoodLinesAndNamesTheOthers) {
  TListFile list(L.TableIn);
  TListFile::TImportResult r = list.ImportText(
      "TYPE,ITEM_IN,TEXT_IN,ITEM_OUT,TEXT_OUT\r\n"
      "\"I\",\"3\",\"Brief\",\"4100\",\"Consults\"\r\n"
      "\r\n"
      "I,23,Standard,4100\n"
      "\"I\",\"TOOLONGCODE\",\"x\",\"4100\",\"y\"\n"
      "\"I\",\"44\",\"Long \"\"C\"\"\",\"4100\",\"Consults\"\n"
      "\"I\",\"45\",\"open\n");
  EXPECT_EQ(r.Taken, 2);
  ASSERT_EQ(r.Rejected.size(), 3u);
  EXPECT_EQ(r.Rejected[0].Line, 4);
  EXPECT_EQ(r.Rejected[0].Reason, "5 values expected, 4 found");
  EXPECT_EQ(r.Rejected[1].Line, 5);
  EXPECT_EQ(r.Rejected[1].Reason, "ITEM_IN is longer than 8 characters");
  EXPECT_EQ(r.Rejected[2].Line, 7);
  EXPECT_EQ(r.Rejected[2].Reason, "a quote is not closed");
  EXPECT_EQ(list.Rows(),
            (std::vector<std::vector<std::string>>{{"I", "3", "Brief", "4100", "Consults"},
                                                   {"I", "44", "Long \"C\"", "4100", "Consults"}}));
}

TEST_F(ListFile, ExportThenImportGivesTheSameRecords) {
  TListFile items(L.TableOut);
  // No header line: the first line is data.
  TListFile::TImportResult r = items.ImportText(
      "\"I\",\"4100-CONSULTS\",\"Consultation fees, all \"\"levels\"\"\"\n"
      "\"\",\"4190\",\"\"\n");
  ASSERT_EQ(r.Taken, 2);
  std::string text = items.ExportText();
  EXPECT_EQ(text,
            "TYPE,ITEM_OUT,TEXT_OUT\n"
            "\"I\",\"4100-CONSULTS\",\"Consultation fees, all \"\"levels\"\"\"\n"
            "\"\",\"4190\",\"\"\n");
  ASSERT_TRUE(items.ExportFile(Dir.File("items.csv")));
  L.TableOut.Zap();
  TListFile::TImportResult again;
  ASSERT_TRUE(items.ImportFile(Dir.File("items.csv"), again));
  EXPECT_EQ(again.Taken, 2);
  EXPECT_TRUE(again.Rejected.empty());
  EXPECT_EQ(items.ExportText(), text);
  EXPECT_FALSE(items.ImportFile(Dir.File("missing.csv"), again));
}

}  // namespace
