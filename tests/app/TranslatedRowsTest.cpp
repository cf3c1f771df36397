// A translation that holds codes and rows in memory leaves the tables exactly as sending every
// line through them does: the same bytes in the translated table and its index, the same
// positions, working state, messages and export. Checked over real tables in a temporary
// directory where holding rows could go wrong: the held rows running out, sums too wide for
// their column, columns that round to cents, sums that come back to zero, a line that fails.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "RecordingReport.h"
#include "TLedger.h"
#include "TXbEngine.h"
#include "TestSupport.h"

namespace {

std::string Line(const std::string& item, const std::string& count, const std::string& gst,
                 const std::string& amount) {
  return "\"" + item + "\",\"d " + item + "\"," + count + ",0,0,0,0,0," + gst + "," + amount +
         "\r\n";
}

struct TCase {
  const char* Name;
  std::vector<std::pair<const char*, const char*>> Translations;  // ITEM_IN, ITEM_OUT
  std::string Export;
  const char* DataOutFields;  // the translated table's layout; null for the one init makes
  bool Succeeds;
  const char* Shows = "";  // a text the line-by-line additions leave in the table file
};

// Everything a translation leaves behind that one can observe.
struct TOutcome {
  bool Succeeded = false;
  std::vector<std::string> Events;
  std::vector<uint8_t> Dbf, Cdx;
  int32_t InRecNo = 0, OutRecNo = 0;
  bool InEof = false;
  std::string Item, Descript;
  int32_t Count = 0, TotalCount = 0;
  int64_t Gst = 0, Amount = 0, TotalGst = 0, TotalAmount = 0;
  std::string Exported;
};

TOutcome Translated(const TCase& c, size_t heldRows) {
  TOutcome o;
  xbtest::TempDir dir;
  if (c.DataOutFields) {
    EnsureEngine();
    std::string path = dir.File("A_DATOUT.DBF");
    EXPECT_NE(XbEntries().xb_CreateTable(path.c_str(), c.DataOutFields), 0)
        << XbEntries().xb_ErrorText();
  }
  std::vector<std::string> made;
  std::string error;
  EXPECT_TRUE(TLedger::CreateMissingTables(dir.path(), made, error)) << error;
  TRecordingReport report;
  {
    TLedger ledger(report);
    ledger.Regional = xb::RegionalSettings{};
    ledger.TranslationCacheRows = heldRows;
    ledger.SetWorkDir(dir.path());
    EXPECT_TRUE(ledger.OpenTables());
    for (const auto& [in, out] : c.Translations) {
      ledger.TableIn.AppendBlank();
      ledger.TableInITEM_IN.SetAsString(in);
      ledger.TableInITEM_OUT.SetAsString(out);
      ledger.TableInTEXT_OUT.SetAsString(std::string("out ") + out);
      ledger.TableIn.Post();
    }
    xbtest::WriteText(dir.File("e.csv"), c.Export);
    EXPECT_TRUE(ledger.ImportFile(dir.File("e.csv")));
    o.Succeeded = ledger.BtnTranslateClick();
    o.InRecNo = ledger.TableIn.RecNo();
    o.InEof = ledger.TableIn.Eof();
    o.OutRecNo = ledger.TableDataOut.RecNo();
    o.Item = ledger.FItem;
    o.Descript = ledger.FDescript;
    o.Count = ledger.FCount;
    o.Gst = ledger.FGst;
    o.Amount = ledger.FAmount;
    o.TotalCount = ledger.FTotalCount;
    o.TotalGst = ledger.FTotalGst;
    o.TotalAmount = ledger.FTotalAmount;
    ledger.FExportFileName = dir.File("out.csv");
    EXPECT_TRUE(ledger.WriteTranslatedFile());
    o.Exported = xbtest::ReadText(ledger.FExportFileName);
    ledger.CloseTables();
  }
  o.Events = report.Events;
  o.Dbf = xbtest::ReadBytes(dir.File("A_DATOUT.DBF"));
  o.Cdx = xbtest::ReadBytes(dir.File("A_DATOUT.CDX"));
  return o;
}

std::vector<TCase> Cases() {
  std::vector<TCase> cases;
  {
    // Seven codes, three of them translated onto two accounting items, one blank, two that
    // differ only in case, over sixty lines; GST that comes back to zero, stored as minus zero
    // where 0.0003 times 10000 falls short of 3.
    TCase c{"many lines over few rows",
            {{"A1", "4100"}, {"B2", "4100"}, {"C3", "SALES"}},
            "",
            nullptr,
            true,
            "-0.0000"};
    const char* codes[] = {"A1", "B2", "C3", "", "oh-x", "OH-X", "SALES2"};
    c.Export = Line("Item_No", "0", "0", "0");
    for (int i = 0; i < 60; ++i) {
      const std::string cents = std::to_string(i * 37 % 100);
      const std::string amount =
          (i % 5 == 0 ? "-" : "") + std::to_string(i * 13 % 500) + "." + cents;
      const std::string gst = i % 2 == 0 ? "0.0003" : "-0.0003";
      c.Export += Line(codes[i % 7], std::to_string(i % 4), gst, amount);
    }
    c.Export += Line("TOTALS", "0", "0", "0");
    cases.push_back(c);
  }
  // A sum too wide for its column is stored as asterisks, which read back as 0 for the next
  // line: in a narrow column, and at the widest amounts the incoming table holds.
  cases.push_back({"sums too wide for a narrow column",
                   {},
                   Line("X", "60", "0", "60000") + Line("Y", "1", "0", "1") +
                       Line("X", "50", "0", "50000") + Line("X", "2", "0.5", "7.25") +
                       Line("Y", "1", "0", "2"),
                   "ITEM,C,20,0;DESCRIPT,C,50,0;NUMBER,N,3,0;GST,N,10,4;AMOUNT,N,10,4",
                   true,
                   "**********"});
  cases.push_back({"sums too wide for the column",
                   {},
                   Line("X", "1", "0", "9999999999999.9") + Line("Y", "1", "0", "1") +
                       Line("X", "1", "0", "9999999999999.9") + Line("X", "2", "0.5", "7.25") +
                       Line("Y", "1", "0", "2"),
                   nullptr,
                   true,
                   "******************"});
  // Money with two decimals: each sum is rounded to cents as it is stored, halves included.
  cases.push_back({"columns that round to cents",
                   {{"1", "4100"}},
                   Line("1", "1", "0.125", "0.005") + Line("Z", "1", "0.0049", "0.015") +
                       Line("1", "1", "0.125", "0.0051") + Line("Z", "1", "0.0001", "-0.025") +
                       Line("1", "1", "-0.25", "2.675"),
                   "ITEM,C,20,0;DESCRIPT,C,50,0;NUMBER,N,6,0;GST,N,12,2;AMOUNT,N,12,2",
                   true});
  // A count that does not fit 32 bits ends the translation at that line: the rows added before
  // it stay, with no total row.
  cases.push_back({"a line that fails",
                   {{"1", "4100"}},
                   Line("1", "1", "0.1", "1") + Line("2", "2", "0.2", "2") +
                       Line("1", "3", "0.3", "3") + Line("2", "3000000000", "0", "0") +
                       Line("1", "5", "0.5", "5"),
                   nullptr,
                   false});
  {
    // Ends on a translated code met before, after a code without translation (whose search
    // leaves the translation table on its last record): the table is left on the former's
    // record.
    TCase c{"more codes than held rows", {{"K1", "4100"}, {"K4", "4100"}}, "", nullptr, true};
    for (int round = 0; round < 3; ++round)
      for (int i = 0; i < 12; ++i)
        c.Export += Line("K" + std::to_string(i), "1", "0." + std::to_string(i + 1),
                         std::to_string(round * 100 + i) + ".01");
    c.Export += Line("K1", "1", "0", "1");
    cases.push_back(c);
  }
  return cases;
}

TEST(TranslatedRows, HeldRowsLeaveTheTablesAsLineByLineAdditionsDo) {
  for (const TCase& c : Cases()) {
    const TOutcome expected = Translated(c, 0);
    ASSERT_EQ(expected.Succeeded, c.Succeeds) << c.Name;
    ASSERT_NE(std::string(expected.Dbf.begin(), expected.Dbf.end()).find(c.Shows),
              std::string::npos)
        << c.Name;
    for (size_t held : {size_t{1}, size_t{3}, size_t{4096}}) {
      SCOPED_TRACE(std::string(c.Name) + ", rows held: " + std::to_string(held));
      const TOutcome o = Translated(c, held);
      EXPECT_EQ(o.Succeeded, expected.Succeeded);
      EXPECT_EQ(o.Events, expected.Events);
      EXPECT_EQ(o.Dbf, expected.Dbf);
      EXPECT_EQ(o.Cdx, expected.Cdx);
      EXPECT_EQ(o.InRecNo, expected.InRecNo);
      EXPECT_EQ(o.InEof, expected.InEof);
      EXPECT_EQ(o.OutRecNo, expected.OutRecNo);
      EXPECT_EQ(o.Item, expected.Item);
      EXPECT_EQ(o.Descript, expected.Descript);
      EXPECT_EQ(o.Count, expected.Count);
      EXPECT_EQ(o.Gst, expected.Gst);
      EXPECT_EQ(o.Amount, expected.Amount);
      EXPECT_EQ(o.TotalCount, expected.TotalCount);
      EXPECT_EQ(o.TotalGst, expected.TotalGst);
      EXPECT_EQ(o.TotalAmount, expected.TotalAmount);
      EXPECT_EQ(o.Exported, expected.Exported);
    }
  }
}

}  // namespace
