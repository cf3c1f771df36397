// TLedger: the four ledger tables and everything the application does with them, without a
// window. The main window owns one and calls it from its handlers; the batch tool drives it
// from the command line.
//
// Tables (all DBF with a compound CDX, opened exclusive, no OEM translation, in FWorkDir):
//   TableIn      "A_ItIn.dbf"   translation table  TYPE C1, ITEM_IN C8, TEXT_IN C50,
//                                                  ITEM_OUT C20, TEXT_OUT C50; tag ITEM on
//                                                  UPPER(ITEM_IN)
//   TableOut     "A_ITOUT.DBF"  item list          TYPE C1, ITEM_OUT C20, TEXT_OUT C50; tag
//                                                  ITEM on UPPER(ITEM_OUT)
//   TableDataIn  "A_DATIN.DBF"  incoming lines     ITEM C8, DESCRIPT C50, I_NUMBER, I_GST,
//                                                  I_AMOUNT, C_NUMBER, C_GST, C_AMOUNT,
//                                                  T_GST, T_AMOUNT (numeric); no index
//   TableDataOut "A_DATOUT.DBF" translated rows    ITEM C20, DESCRIPT C50, NUMBER, GST, AMOUNT
//                                                  (numeric); tag ITEM on UPPER(ITEM)
//
// Money travels between reading a line and writing its row as a fixed-point amount: a signed
// 64-bit count of 1/10000 of the currency unit, so that the totals are exact sums however the
// doubles in the tables round.
//
// Both lookups of a translation are exact: the code is sought padded with blanks to the key's
// width, so the engine's prefix matching has to compare the whole key. AB never takes the
// translation of ABC, a row SALES2 never swallows a line for SALES, and a blank code matches
// only a blank code. Letter case and trailing blanks still do not matter.
//
// While an export lets pending events run, the commands that would touch its table or its file
// (start-up, import, translation, another export) are held back: they return false at once and
// do nothing, so a button pressed then has no effect.
//
// Failures go to the report: the messages the window shows ("Indexing In failed", "Import
// failed", "Error creating ..."), and every error of the table component through the standard
// error report. The handlers return false after such a failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "RegionalSettings.h"
#include "TComponent.h"
#include "TDataSource.h"
#include "TField.h"
#include "TLedgerReport.h"
#include "TXbTable.h"

// The window's place on screen as the settings file keeps it.
struct TWindowGeometry {
  int32_t Top = 0;
  int32_t Left = 0;
  int32_t Height = 630;
  int32_t Width = 840;
  bool operator==(const TWindowGeometry&) const = default;
};

// What a translation met, for the batch tool's summary. Not part of the window's state.
struct TTranslationSummary {
  int32_t HeadingLines = 0;
  int32_t TotalsLines = 0;
  int32_t ItemLines = 0;                       // every line that is not a heading or totals line
  int32_t TranslatedLines = 0;                 // item lines that found a translation
  std::vector<std::string> UntranslatedCodes;  // distinct, in order of first appearance
  // The export's own TOTALS line (the first one), read like an item line.
  bool HasTotalsLine = false;
  int32_t TotalsLineCount = 0;
  int64_t TotalsLineGst = 0;
  int64_t TotalsLineAmount = 0;
};

// What the last export wrote.
struct TExportSummary {
  int32_t RowsWritten = 0;  // data lines, heading and totals lines not counted
  int32_t TotalCount = 0;
  int64_t TotalGst = 0;
  int64_t TotalAmount = 0;
};

class TLedger : public TDataModule {
 public:
  explicit TLedger(TLedgerReport& report, TComponent* owner = nullptr);
  ~TLedger() override;

  // --- Start-up and shut-down ---
  // The working directory (captured once) and the settings file's name, FWorkDir +
  // "/A_Movrane.ini".
  void SetWorkDir(const std::string& workDir);
  // The geometry kept in the settings file, with the defaults for missing or non-integer values.
  TWindowGeometry LoadGeometry() const;
  // Rewrites the settings file with `geometry`; false when the file cannot be written.
  bool SaveGeometry(const TWindowGeometry& geometry) const;
  // Opens the four tables, makes and orders the three tags and empties the two working tables.
  // Stops at the first failure, leaving the tables opened so far open.
  bool OpenTables();
  void CloseTables();

  // --- Import ---
  // Empties the incoming table (done before the file dialog runs).
  bool ZapIncoming();
  // Appends the lines of the export file `fileName` to the incoming table.
  bool ImportFile(const std::string& fileName);

  // --- Translation ---
  bool BtnTranslateClick();
  // Reads the current incoming record into FItem, FDescript, FCount, FGst and FAmount and
  // moves the translated table to its first record.
  void ReadIncomingLine();

  // --- Export ---
  // Writes FExportFileName from the translated table.
  bool WriteTranslatedFile();
  static std::string BlankQuotes(const std::string& text);
  // Today's local date as day-month-year without leading zeros ("7-3-2017").
  static std::string TodayText();
  static std::string TodayText(int year, int month, int day);
  // The name the save dialog proposes: "Translated-" + TodayText() + ".csv".
  static std::string ProposedFileName() { return "Translated-" + TodayText() + ".csv"; }

  // --- Table files ---
  // Creates, in `dir`, every ledger table file that is missing (a file whose name differs only
  // in letter case counts as present); existing files are never touched. `created` receives
  // the names made. False, with the engine's text in `error`, when one cannot be made.
  static bool CreateMissingTables(const std::string& dir, std::vector<std::string>& created,
                                  std::string& error);

  // --- Shared rules ---
  // The standard error report's text: a "." appended when the last character sorts above ".".
  static std::string StandardErrorText(const std::string& message);
  // A double as a fixed-point amount: times 10000, rounded to the nearest integer, halves to
  // even. Throws std::range_error when it does not fit.
  static int64_t ToFixed(double value);

  // The gauge: each percentage it is set to (already kept within 0..100).
  std::function<void(int32_t)> OnProgress;
  // Lets pending window events run (every ten rows of an export).
  std::function<void()> OnProcessEvents;
  // The money format of the export.
  xb::RegionalSettings Regional;
  // How many incoming codes and translated rows a translation holds in memory (each at most);
  // 0 sends every line through the tables. The tables end the same either way.
  size_t TranslationCacheRows = 4096;

  // True while WriteTranslatedFile runs (see OnProcessEvents).
  bool Exporting() const { return FExporting; }
  const TTranslationSummary& LastTranslation() const { return FSummary; }
  const TExportSummary& LastExport() const { return FExport; }

  // --- Tables, data sources and field objects ---
  TXbTable TableIn{this};
  TXbTable TableOut{this};
  TXbTable TableDataIn{this};
  TXbTable TableDataOut{this};
  TDataSource DataSourceIn{this};
  TDataSource DataSourceOut{this};
  TDataSource DataSourceDataIn{this};
  TDataSource DataSourceDataOut{this};

  TStringField TableInTYPE{this, 1};
  TStringField TableInITEM_IN{this, 8};
  TStringField TableInTEXT_IN{this, 50};
  TStringField TableInITEM_OUT{this, 20};
  TStringField TableInTEXT_OUT{this, 50};

  TStringField TableOutTYPE{this, 1};
  TStringField TableOutITEM_OUT{this, 20};
  TStringField TableOutTEXT_OUT{this, 50};

  TStringField TableDataInITEM{this, 8};
  TStringField TableDataInDESCRIPT{this, 50};
  TFloatField TableDataInI_NUMBER{this};
  TFloatField TableDataInI_GST{this};
  TFloatField TableDataInI_AMOUNT{this};
  TFloatField TableDataInC_NUMBER{this};
  TFloatField TableDataInC_GST{this};
  TFloatField TableDataInC_AMOUNT{this};
  TFloatField TableDataInT_GST{this};
  TFloatField TableDataInT_AMOUNT{this};

  TStringField TableDataOutITEM{this, 20};
  TStringField TableDataOutDESCRIPT{this, 50};
  TFloatField TableDataOutNUMBER{this};
  TFloatField TableDataOutGST{this};
  TFloatField TableDataOutAMOUNT{this};

  // --- Working state ---
  std::string FWorkDir;
  std::string FVersion = "17-11-2016";
  std::string FItem;
  std::string FDescript;
  std::string FExportFileName;
  std::string FIniFileName;
  int32_t FCount = 0;
  int32_t FTotalCount = 0;
  int64_t FGst = 0;
  int64_t FAmount = 0;
  int64_t FTotalGst = 0;
  int64_t FTotalAmount = 0;

 private:
  void Translate();
  // ReadIncomingLine without moving the translated table, which the translation positions
  // itself.
  void ReadLine();
  void ReadNumbers();
  void WriteRows(std::FILE* file);
  bool OpenIndexed(TXbTable& table, const char* key, const char* failure);
  // Runs `step`, sending an error to the standard error report; false when it failed.
  template <typename Step>
  bool Guarded(Step step);

  TLedgerReport& FReport;
  TTranslationSummary FSummary;
  TExportSummary FExport;
  bool FExporting = false;
};
