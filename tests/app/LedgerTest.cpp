// The ledger over real tables in a temporary directory, through the real engine: start-up,
// import, the exact lookups of the translation, the rounding rules and the bytes of the export.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "RecordingReport.h"
#include "TLedger.h"
#include "TestSupport.h"

namespace {

struct TTranslation {
  const char* In;
  const char* Out;
};

// An export line: count as I_NUMBER, GST and amount as the totals; the other cells zero.
std::string Line(const std::string& item, const std::string& descript, const std::string& count,
                 const std::string& gst, const std::string& amount) {
  return "\"" + item + "\",\"" + descript + "\"," + count + ",0,0,0,0,0," + gst + "," + amount +
         "\r\n";
}

const char* const kHeading =
    "\"Item_No\",\"Description\",\"# Inv.\",\"Inv GST\",\"Inv Amount\",\"# Claims\",\"Claim GST\","
    "\"Claim Amount\",\"Total GST\",\"Total Amount\"\r\n";

class Ledger : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<std::string> made;
    std::string error;
    ASSERT_TRUE(TLedger::CreateMissingTables(Dir.path(), made, error)) << error;
    ASSERT_EQ(made.size(), 4u);
    L.Regional = xb::RegionalSettings{};  // $, patterns 0 and 1, "," and "."
    L.OnProgress = [this](int32_t p) { Progress.push_back(p); };
    L.OnProcessEvents = [this] { ++EventRuns; };
    L.SetWorkDir(Dir.path());
  }

  void Start() { ASSERT_TRUE(L.OpenTables()) << Joined(); }

  void AddTranslations(const std::vector<TTranslation>& rows) {
    for (const TTranslation& t : rows) {
      L.TableIn.AppendBlank();
      L.TableInTYPE.SetAsString("I");
      L.TableInITEM_IN.SetAsString(t.In);
      L.TableInTEXT_IN.SetAsString(std::string("in ") + t.In);
      L.TableInITEM_OUT.SetAsString(t.Out);
      L.TableInTEXT_OUT.SetAsString(std::string("out ") + t.Out);
      L.TableIn.Post();
    }
  }

  void Import(const std::string& text) {
    std::string file = Dir.File("export.csv");
    xbtest::WriteText(file, text);
    ASSERT_TRUE(L.ZapIncoming());
    ASSERT_TRUE(L.ImportFile(file)) << Joined();
  }

  void Translate(const std::string& text) {
    Import(text);
    ASSERT_TRUE(L.BtnTranslateClick()) << Joined();
  }

  // The translated table in its order: "ITEM|DESCRIPT|NUMBER|GST|AMOUNT".
  std::vector<std::string> Rows() {
    std::vector<std::string> rows;
    L.TableDataOut.GoTop();
    while (!L.TableDataOut.Eof()) {
      char numbers[128];
      std::snprintf(numbers, sizeof numbers, "%g|%.4f|%.4f", L.TableDataOutNUMBER.AsFloat(),
                    L.TableDataOutGST.AsFloat(), L.TableDataOutAMOUNT.AsFloat());
      rows.push_back(L.TableDataOutITEM.AsString() + "|" + L.TableDataOutDESCRIPT.AsString() + "|" +
                     numbers);
      L.TableDataOut.Skip(1);
    }
    return rows;
  }

  std::string Export() {
    L.FExportFileName = Dir.File("out.csv");
    EXPECT_TRUE(L.WriteTranslatedFile()) << Joined();
    return xbtest::ReadText(L.FExportFileName);
  }

  std::string Joined() const {
    std::string all;
    for (const std::string& e : Report.Events) all += e + "; ";
    return all;
  }

  xbtest::TempDir Dir;
  TRecordingReport Report;
  TLedger L{Report};
  std::vector<int32_t> Progress;
  int EventRuns = 0;
};

TEST_F(Ledger, StartUpIndexesOrdersAndEmptiesTheWorkingTables) {
  {
    TLedger earlier(Report);
    earlier.SetWorkDir(Dir.path());
    ASSERT_TRUE(earlier.OpenTables()) << Joined();
    earlier.TableDataOut.AppendBlank();
    earlier.TableDataOutITEM.SetAsString("LEFT-OVER");
    earlier.TableDataOut.Post();
    earlier.TableOut.AppendBlank();
    earlier.TableOutITEM_OUT.SetAsString("4100");
    earlier.TableOut.Post();
    earlier.CloseTables();
  }
  Start();
  EXPECT_TRUE(Report.Events.empty()) << Joined();
  for (TXbTable* t : {&L.TableIn, &L.TableOut, &L.TableDataOut}) {
    EXPECT_TRUE(t->Active());
    EXPECT_EQ(t->IndexName(), "ITEM");
  }
  EXPECT_TRUE(L.TableDataIn.Active());
  EXPECT_EQ(L.TableDataOut.RecCount(), 0) << "translated lines never survive a restart";
  EXPECT_EQ(L.TableOut.RecCount(), 1) << "the item list keeps its records";
  EXPECT_EQ(L.TableOutITEM_OUT.AsString(), "4100");
  int cdx = 0;
  for (const auto& e : std::filesystem::directory_iterator(Dir.path()))
    if (e.path().extension() == ".cdx" || e.path().extension() == ".CDX") ++cdx;
  EXPECT_EQ(cdx, 3);
}

TEST_F(Ledger, AMissingTableFileStopsStartUpWithOneError) {
  std::filesystem::remove(Dir.File("A_ITOUT.DBF"));
  EXPECT_FALSE(L.OpenTables());
  ASSERT_EQ(Report.Events.size(), 1u) << Joined();
  EXPECT_EQ(Report.Events[0].rfind("error ", 0), 0u);
  EXPECT_NE(Report.Events[0].find("A_ITOUT"), std::string::npos) << Report.Events[0];
  EXPECT_TRUE(L.TableIn.Active());
  EXPECT_EQ(L.TableIn.IndexName(), "ITEM");
  EXPECT_FALSE(L.TableOut.Active());
  EXPECT_FALSE(L.TableDataIn.Active());
  EXPECT_FALSE(L.TableDataOut.Active());
}

TEST_F(Ledger, ImportKeepsTheFileLinesAndFailsOnAMissingFile) {
  Start();
  Import(std::string(kHeading) + Line("3", "Brief", "1", "0", "10") +
         Line("TOTALS", "", "1", "0", "10"));
  Import(std::string(kHeading) + Line("3", "Brief", "1", "0", "10") +
         Line("TOTALS", "", "1", "0", "10"));
  EXPECT_EQ(L.TableDataIn.RecCount(), 3) << "a second import replaces the first";
  EXPECT_FALSE(L.ImportFile(Dir.File("no-such.csv")));
  EXPECT_EQ(Report.Events, (std::vector<std::string>{"beep", "show Import failed"}));
}

// The lookups find only a key equal to the code: nothing of the engine's prefix matching leaks.
TEST_F(Ledger, LookupsAreExact) {
  struct Case {
    const char* name;
    std::vector<TTranslation> translations;
    std::vector<std::string> lines;  // item codes, each line count 1, GST 0.1, amount 1
    std::vector<std::string> rows;   // ITEM|DESCRIPT of the item rows, in order
  };
  const std::vector<Case> cases = {
      {"AB beside ABC passes through", {{"ABC", "4100"}}, {"AB"}, {"AB|d AB"}},
      {"ABC beside AB passes through", {{"AB", "4100"}}, {"ABC"}, {"ABC|d ABC"}},
      {"AB and ABC each their own",
       {{"ABC", "4200"}, {"AB", "4100"}},
       {"ABC", "AB"},
       {"4100|out 4100", "4200|out 4200"}},
      {"SALES then SALES2 stay apart",
       {},
       {"SALES", "SALES2"},
       {"SALES|d SALES", "SALES2|d SALES2"}},
      {"SALES2 then SALES stay apart",
       {},
       {"SALES2", "SALES"},
       {"SALES|d SALES", "SALES2|d SALES2"}},
      {"translated SALES beside SALES2",
       {{"A", "SALES2"}, {"B", "SALES"}},
       {"A", "B"},
       {"SALES|out SALES", "SALES2|out SALES2"}},
      {"blank code does not take the first translation",
       {{"1", "4100"}},
       {"", "1"},
       {"|d", "4100|out 4100"}},
      {"blank codes combine, not into the first row", {}, {"X", "", " "}, {"|d", "X|d X"}},
      {"letter case and blanks do not matter",
       {{"ab", "4100"}},
       {"AB", " ab ", "Ab"},
       {"4100|out 4100"}},
      {"untranslated codes differing in case combine in capitals",
       {},
       {"oh-x", "OH-X "},
       {"OH-X|d oh-x"}},
      {"targets differing in case combine in capitals",
       {{"1", "sales"}, {"2", "SALES"}},
       {"1", "2"},
       {"SALES|out sales"}},
      {"a blank ITEM_OUT is no translation", {{"7", ""}}, {"7"}, {"7|d 7"}},
      {"an untranslated code equal to an accounting code joins its row",
       {{"1", "4100"}},
       {"1", "4100"},
       {"4100|out 4100"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    xbtest::TempDir dir;
    std::vector<std::string> made;
    std::string error;
    ASSERT_TRUE(TLedger::CreateMissingTables(dir.path(), made, error)) << error;
    TRecordingReport report;
    TLedger ledger(report);
    ledger.SetWorkDir(dir.path());
    ASSERT_TRUE(ledger.OpenTables());
    for (const TTranslation& t : c.translations) {
      ledger.TableIn.AppendBlank();
      ledger.TableInITEM_IN.SetAsString(t.In);
      ledger.TableInITEM_OUT.SetAsString(t.Out);
      ledger.TableInTEXT_OUT.SetAsString(std::string("out ") + t.Out);
      ledger.TableIn.Post();
    }
    std::string text;
    for (const std::string& code : c.lines) text += Line(code, "d " + code, "1", "0.1", "1");
    xbtest::WriteText(dir.File("e.csv"), text);
    ASSERT_TRUE(ledger.ImportFile(dir.File("e.csv")));
    ASSERT_TRUE(ledger.BtnTranslateClick()) << report.Events.size();
    std::vector<std::string> rows;
    double number = 0;
    ledger.TableDataOut.GoTop();
    while (!ledger.TableDataOut.Eof()) {
      std::string item = ledger.TableDataOutITEM.AsString();
      if (item != "ZZ-TOTAL") {
        rows.push_back(item + "|" + ledger.TableDataOutDESCRIPT.AsString());
        number += ledger.TableDataOutNUMBER.AsFloat();
      }
      ledger.TableDataOut.Skip(1);
    }
    EXPECT_EQ(rows, c.rows);
    EXPECT_EQ(number, static_cast<double>(c.lines.size())) << "every line lands in one row";
    EXPECT_TRUE(report.Events.empty());
  }
}

TEST_F(Ledger, TranslationAddsUpLinesAndClosesWithTheTotalRow) {
  Start();
  AddTranslations({{"3", "4100"}, {"23", "4100"}, {"OH-PRE", "4140"}});
  Translate(std::string(kHeading) + Line("3", "Brief", "1.5", "0", "20.5") +
            Line("23", "Standard", "2", "0.1", "40.25") + Line("ECHK", "Check", "4", "0.2", "1") +
            Line("OH-PRE", "Pre", "1", "0.7", "9.99") +
            "\" totals \",\"\",8.5,0,0,0,0,0,1,71.74\r\n" +
            "\"item no\",\"not a heading\",1,0,0,0,0,0,0,2\r\n" +
            "\"item_no \",\"a heading again\",1,0,0,0,0,0,0,2\r\n");
  EXPECT_EQ(Rows(), (std::vector<std::string>{
                        "4100|out 4100|3|0.1000|60.7500", "4140|out 4140|1|0.7000|9.9900",
                        "ECHK|Check|4|0.2000|1.0000", "ITEM NO|not a heading|1|0.0000|2.0000",
                        "ZZ-TOTAL|TOTAL|9|1.0000|73.7400"}));
  EXPECT_EQ(L.FTotalGst, 10000);
  EXPECT_EQ(L.FTotalAmount, 737400);
  const TTranslationSummary& s = L.LastTranslation();
  EXPECT_EQ(s.HeadingLines, 2);
  EXPECT_EQ(s.TotalsLines, 1);
  EXPECT_EQ(s.ItemLines, 5);
  EXPECT_EQ(s.TranslatedLines, 3);
  EXPECT_EQ(s.UntranslatedCodes, (std::vector<std::string>{"ECHK", "ITEM NO"}));
  EXPECT_TRUE(s.HasTotalsLine);
  EXPECT_EQ(s.TotalsLineCount, 8);
  EXPECT_EQ(s.TotalsLineAmount, 717400);

  ASSERT_TRUE(L.BtnTranslateClick());
  EXPECT_EQ(Rows().size(), 5u) << "a second translation gives the same rows and one total row";
}

TEST_F(Ledger, EmptyAndHeadingOnlyImportsGiveOnlyTheTotalRow) {
  Start();
  ASSERT_TRUE(L.BtnTranslateClick());
  EXPECT_EQ(Rows(), (std::vector<std::string>{"ZZ-TOTAL|TOTAL|0|0.0000|0.0000"}));
  Translate(std::string(kHeading) + Line("TOTALS", "", "0", "0", "0"));
  EXPECT_EQ(Rows(), (std::vector<std::string>{"ZZ-TOTAL|TOTAL|0|0.0000|0.0000"}));
}

TEST_F(Ledger, CountsTruncateAndMoneyRoundsHalfToEven) {
  struct Case {
    const char* inum;
    const char* cnum;
    int32_t count;
  };
  const Case counts[] = {
      {"1.5", "1.6", 3}, {"0.5", "0.4", 0}, {"2.9", "0", 2}, {"-1.5", "0", -1}, {"", "", 0}};
  for (const Case& c : counts) {
    SCOPED_TRACE(std::string(c.inum) + " + " + c.cnum);
    Start();
    Import(std::string("\"X\",\"d\",") + c.inum + ",0,0," + c.cnum + ",0,0,0,0\r\n");
    L.TableDataIn.GoTop();
    L.ReadIncomingLine();
    EXPECT_EQ(L.FCount, c.count);
    L.CloseTables();
  }
  // Products that are exactly halfway, checked first so the case shows what it claims.
  struct Fixed {
    double value;
    double product;
    int64_t fixed;
  };
  const Fixed fixed[] = {{2.5 / 10000, 2.5, 2},
                         {3.5 / 10000, 3.5, 4},
                         {-2.5 / 10000, -2.5, -2},
                         {0.5 / 10000, 0.5, 0},
                         {1234.56789, 12345678.9, 12345679},
                         {0, 0, 0}};
  for (const Fixed& f : fixed) {
    if (f.product == std::trunc(f.product) + 0.5 || f.product == std::trunc(f.product) - 0.5) {
      ASSERT_EQ(f.value * 10000.0, f.product);
    }
    EXPECT_EQ(TLedger::ToFixed(f.value), f.fixed) << f.value;
  }
  EXPECT_THROW(TLedger::ToFixed(1e300), std::range_error);
}

TEST_F(Ledger, TheTotalRowIsTheExactSumOfTheLines) {
  Start();
  std::string text;
  // Ten lines of 0.1 and 0.2 into two rows: the row doubles drift, the totals do not.
  for (int i = 0; i < 10; ++i)
    text += Line("A", "a", "1", "0.1", "0.1") + Line("B", "b", "1", "0.2", "0.7");
  Translate(text);
  EXPECT_EQ(L.FTotalGst, 30000);
  EXPECT_EQ(L.FTotalAmount, 80000);
  L.TableDataOut.GoTop();
  double rows = 0;
  for (int i = 0; i < 2; ++i, L.TableDataOut.Skip(1)) rows += L.TableDataOutGST.AsFloat();
  EXPECT_EQ(L.TableDataOutITEM.AsString(), "ZZ-TOTAL");
  EXPECT_EQ(TLedger::ToFixed(L.TableDataOutGST.AsFloat()), TLedger::ToFixed(rows));
  EXPECT_EQ(TLedger::ToFixed(L.TableDataOutGST.AsFloat()), 30000);
}

TEST_F(Ledger, TheFileHasTheExactBytes) {
  Start();
  AddTranslations({{"3", "4100"}});
  Translate(std::string(kHeading) + Line("3", "Brief", "2", "0", "1234.5") +
            Line(" 9", "Leading blank", "1", "0.125", "-0.125") +
            Line("Z", "Neg", "-7", "0", "-7") + Line("TOTALS", "", "0", "0", "0"));
  EXPECT_EQ(Export(),
            "Item_No,Description,# items,GST,Amount\r\n"
            "\"4100\",\"out 4100\",\"2\",\"$0.00\",\"$1,234.50\"\r\n"
            "\"9\",\"Leading blank\",\"1\",\"$0.13\",\"-$0.13\"\r\n"
            "\"Z\",\"Neg\",\"-7\",\"$0.00\",\"-$7.00\"\r\n"
            "\"TOTALS\",\"TOTALS\",\"-4\",\"$0.13\",\"$1,227.38\"\r\n");
  const TExportSummary& e = L.LastExport();
  EXPECT_EQ(e.RowsWritten, 3);
  EXPECT_EQ(e.TotalCount, -4);
  EXPECT_EQ(L.TableDataOutITEM.AsString(), "4100")
      << "the export leaves the table on its first row";
}

TEST_F(Ledger, ExportRoundsEachRowAndSumsWhatItWrites) {
  Start();
  // Rows put straight into the translated table, as a translation never makes them: the total
  // row is left out whatever it holds, and a leading blank of a code is dropped.
  struct Row {
    const char* item;
    double number, gst, amount;
  };
  const Row rows[] = {{"A", 2.5, 0.125, 0.125},
                      {"B", 3.5, 0.1251, -0.125},
                      {" C", -2.5, 0, 0},
                      {"ZZ-TOTAL", 99, 99, 99},
                      {"zz-total", 1, 0, 0}};
  for (const Row& r : rows) {
    L.TableDataOut.AppendBlank();
    L.TableDataOutITEM.SetAsString(r.item);
    L.TableDataOutDESCRIPT.SetAsString(r.item[0] == 'A' ? "Say \"hi\"" : "d");
    L.TableDataOutNUMBER.SetAsFloat(r.number);
    L.TableDataOutGST.SetAsFloat(r.gst);
    L.TableDataOutAMOUNT.SetAsFloat(r.amount);
    L.TableDataOut.Post();
  }
  EXPECT_EQ(Export(),
            "Item_No,Description,# items,GST,Amount\r\n"
            "\"C\",\"d\",\"-2\",\"$0.00\",\"$0.00\"\r\n"
            "\"A\",\"Say  hi \",\"2\",\"$0.13\",\"$0.13\"\r\n"
            "\"B\",\"d\",\"4\",\"$0.13\",\"-$0.13\"\r\n"
            "\"zz-total\",\"d\",\"1\",\"$0.00\",\"$0.00\"\r\n"
            "\"TOTALS\",\"TOTALS\",\"5\",\"$0.25\",\"$0.00\"\r\n");
}

TEST_F(Ledger, NothingTranslatedGivesAnEmptyFile) {
  Start();
  EXPECT_EQ(Export(), "");
  EXPECT_TRUE(std::filesystem::exists(L.FExportFileName));
  EXPECT_EQ(Progress, (std::vector<int32_t>{0}));
  EXPECT_EQ(EventRuns, 0);
}

TEST_F(Ledger, NoItemLinesGiveTheHeadingAndAZeroTotalsLine) {
  Start();
  Translate(std::string(kHeading) + Line("TOTALS", "", "0", "0", "0"));
  EXPECT_EQ(Export(),
            "Item_No,Description,# items,GST,Amount\r\n"
            "\"TOTALS\",\"TOTALS\",\"0\",\"$0.00\",\"$0.00\"\r\n");
}

TEST_F(Ledger, TheGaugeMovesEveryTenRows) {
  struct Case {
    int rows;  // rows of the translated table, the total row included
    std::vector<int32_t> progress;
    int eventRuns;
  };
  const Case cases[] = {
      {25, {0, 0, 36, 76, 100}, 3},
      {10, {0, 0, 100}, 1},
      {2, {0, 0, 100}, 1},
      {11, {0, 0, 81, 100}, 2},
      {201,
       {0, 0, 4, 9, 14, 19, 24, 29, 34, 39, 44, 49, 54, 59, 64, 69, 74, 79, 84, 89, 94, 99, 100},
       21}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rows);
    Start();
    std::string text;
    for (int i = 1; i < c.rows; ++i)
      text += Line(std::string("I") += std::to_string(i), "d", "1", "0", "1");
    Translate(text);
    ASSERT_EQ(L.TableDataOut.RecCount(), c.rows);
    Progress.clear();
    EventRuns = 0;
    Export();
    EXPECT_EQ(Progress, c.progress);
    EXPECT_EQ(EventRuns, c.eventRuns);
    L.CloseTables();
  }
}

TEST_F(Ledger, CommandsDuringAnExportAreHeldBack) {
  Start();
  std::string text;
  for (int i = 0; i < 30; ++i)
    text += Line(std::string("I") += std::to_string(i), "d", "1", "0", "1");
  Translate(text);
  std::string quiet = Export();
  std::vector<bool> results;
  L.OnProcessEvents = [&] {
    EXPECT_TRUE(L.Exporting());
    results.push_back(L.BtnTranslateClick());
    results.push_back(L.ZapIncoming());
    results.push_back(L.ImportFile(Dir.File("export.csv")));
    results.push_back(L.WriteTranslatedFile());
    results.push_back(L.OpenTables());
  };
  EXPECT_EQ(Export(), quiet);
  EXPECT_FALSE(L.Exporting());
  EXPECT_EQ(results, std::vector<bool>(20, false)) << "four event runs, five commands each";
  EXPECT_EQ(L.TableDataIn.RecCount(), 30) << "the incoming table was not emptied";
  EXPECT_TRUE(Report.Events.empty()) << Joined();
}

TEST_F(Ledger, MoneyFollowsTheRegionalSettings) {
  struct Case {
    xb::RegionalSettings settings;
    const char* line;
  };
  xb::RegionalSettings euro;
  euro.currencyString = "EUR";
  euro.currencyFormat = 3;
  euro.negCurrFormat = 8;
  euro.thousandSeparator = ".";
  euro.decimalSeparator = ",";
  xb::RegionalSettings brackets;
  brackets.negCurrFormat = 0;
  brackets.thousandSeparator = "";
  const Case cases[] = {
      {xb::RegionalSettings{}, "\"X\",\"d\",\"1\",\"-$1,234.57\",\"$1,234,567.89\"\r\n"},
      {euro, "\"X\",\"d\",\"1\",\"-1.234,57 EUR\",\"1.234.567,89 EUR\"\r\n"},
      {brackets, "\"X\",\"d\",\"1\",\"($1234.57)\",\"$1234567.89\"\r\n"},
  };
  Start();
  Translate(Line("X", "d", "1", "-1234.5678", "1234567.891"));
  for (const Case& c : cases) {
    L.Regional = c.settings;
    std::string file = Export();
    size_t first = file.find("\r\n") + 2;
    EXPECT_EQ(file.substr(first, file.find("\r\n", first) + 2 - first), c.line);
  }
}

TEST_F(Ledger, AFileThatCannotBeCreatedIsReported) {
  Start();
  L.FExportFileName = Dir.File("missing-dir/out.csv");
  EXPECT_FALSE(L.WriteTranslatedFile());
  EXPECT_EQ(Report.Events,
            (std::vector<std::string>{"beep", "info Error creating " + L.FExportFileName}));
  EXPECT_TRUE(Progress.empty()) << "the gauge is not touched";
}

TEST_F(Ledger, AWriteFailureGoesToTheStandardErrorReport) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  Start();
  Translate(Line("X", "d", "1", "0", "1"));
  L.FExportFileName = "/dev/full";  // opens, then every write fails: a full disk
  EXPECT_FALSE(L.WriteTranslatedFile());
  EXPECT_EQ(Report.Events, (std::vector<std::string>{"error No space left on device."}));
  EXPECT_EQ(Progress, (std::vector<int32_t>{0, 0})) << "the export ends at the failure";
}

TEST_F(Ledger, ATableErrorGoesToTheStandardErrorReport) {
  // Start-up never ran: the translated table is closed.
  EXPECT_FALSE(L.BtnTranslateClick());
  ASSERT_EQ(Report.Events.size(), 1u) << Joined();
  EXPECT_EQ(Report.Events[0].rfind("error ", 0), 0u) << Report.Events[0];
}

TEST(LedgerRules, SmallTexts) {
  EXPECT_EQ(TLedger::TodayText(2020, 1, 1), "1-1-2020");
  EXPECT_EQ(TLedger::TodayText(2017, 3, 7), "7-3-2017");
  EXPECT_EQ(TLedger::TodayText(2026, 12, 31), "31-12-2026");
  EXPECT_EQ(TLedger::BlankQuotes("a \"b\" \"\""), "a  b    ");
  EXPECT_EQ(TLedger::StandardErrorText("Import failed"), "Import failed.");
  EXPECT_EQ(TLedger::StandardErrorText("Done."), "Done.");
  EXPECT_EQ(TLedger::StandardErrorText("Done!"), "Done!") << "'!' sorts below '.'";
  EXPECT_EQ(TLedger::StandardErrorText("(x)"), "(x)");
  EXPECT_EQ(TLedger::StandardErrorText(""), "");
}

TEST_F(Ledger, GeometryComesFromTheSettingsFile) {
  EXPECT_EQ(L.LoadGeometry(), (TWindowGeometry{0, 0, 630, 840}));
  xbtest::WriteText(L.FIniFileName,
                    "[Translate]\r\nWin Top=5\r\n\r\n[win width]\r\nTRANSLATE=0x1F4\r\n");
  EXPECT_EQ(L.LoadGeometry(), (TWindowGeometry{0, 0, 630, 500}));
  ASSERT_TRUE(L.SaveGeometry({1, 2, 700, 900}));
  EXPECT_EQ(xbtest::ReadText(L.FIniFileName),
            "[Translate]\r\nWin Top=5\r\n\r\n[win width]\r\nTRANSLATE=900\r\n\r\n"
            "[Win Top]\r\nTranslate=1\r\n\r\n[Win Left]\r\nTranslate=2\r\n\r\n"
            "[Win Height]\r\nTranslate=700\r\n\r\n");
}

TEST(LedgerFiles, InitMakesOnlyWhatIsMissing) {
  xbtest::TempDir dir;
  xbtest::WriteText(dir.File("a_itin.DBF"), "not a table");
  std::vector<std::string> made;
  std::string error;
  ASSERT_TRUE(TLedger::CreateMissingTables(dir.path(), made, error)) << error;
  EXPECT_EQ(made, (std::vector<std::string>{"A_ITOUT.DBF", "A_DATIN.DBF", "A_DATOUT.DBF"}));
  EXPECT_EQ(xbtest::ReadText(dir.File("a_itin.DBF")), "not a table");
  made.clear();
  ASSERT_TRUE(TLedger::CreateMissingTables(dir.path(), made, error));
  EXPECT_TRUE(made.empty());
}

}  // namespace
