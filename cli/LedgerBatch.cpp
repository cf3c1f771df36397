// ledger-batch: the ledger's start-up, import, translation and export, and the upkeep of the
// two item lists, without a window. A translation writes exactly the bytes the window's
// "Save file" writes.
//
// Exit status: 0 done, 1 the work failed (the system's own message on stderr), 2 bad usage.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "RegionalSettings.h"
#include "TLedger.h"
#include "TLedgerReport.h"
#include "TListFile.h"

namespace {

const char* const kUsage =
    "usage:\n"
    "  ledger-batch [--dir DIR] init\n"
    "  ledger-batch [--dir DIR] translate EXPORT [--output FILE] [--currency-symbol S]\n"
    "               [--currency-format N] [--negative-currency-format N]\n"
    "               [--thousands-separator C] [--decimal-separator C]\n"
    "  ledger-batch [--dir DIR] items list|import FILE|export FILE\n"
    "  ledger-batch [--dir DIR] translations list|import FILE|export FILE\n"
    "DIR defaults to the current directory; regional settings not given come from the locale.\n";

const int kFailed = 1;
const int kBadUsage = 2;

// No window: every message goes to stderr, the beep is silent.
class TBatchReport : public TLedgerReport {
 public:
  void Beep() override {}
  void Show(const std::string& text) override { std::cerr << text << "\n"; }
  void ShowInformation(const std::string& text) override { std::cerr << text << "\n"; }
  void ShowError(const std::string& text) override { std::cerr << text << "\n"; }
};

int Usage(const std::string& problem) {
  if (!problem.empty()) std::cerr << "ledger-batch: " << problem << "\n";
  std::cerr << kUsage;
  return kBadUsage;
}

std::string Absolute(const std::string& path) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(path, ec);
  std::string text = ec ? path : p.lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

bool ParseInt(const std::string& text, int low, int high, int& value) {
  if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  value = std::stoi(text);
  return value >= low && value <= high;
}

std::string Money(int64_t amount, const xb::RegionalSettings& regional) {
  return xb::FormatMoney(amount, regional);
}

int Init(const std::string& dir) {
  std::vector<std::string> created;
  std::string error;
  bool ok = TLedger::CreateMissingTables(dir, created, error);
  for (const std::string& name : created) std::cout << "created " << dir << "/" << name << "\n";
  if (!ok) {
    std::cerr << error << "\n";
    return kFailed;
  }
  if (created.empty()) std::cout << "all four tables are present in " << dir << "\n";
  return 0;
}

struct TTranslateOptions {
  std::string ExportFile;
  std::string Output;
  xb::RegionalSettings Regional;
};

void PrintSummary(const TLedger& ledger, int32_t imported, const std::string& written) {
  const TTranslationSummary& t = ledger.LastTranslation();
  const TExportSummary& e = ledger.LastExport();
  const xb::RegionalSettings& r = ledger.Regional;
  std::cout << "lines imported:       " << imported << "\n";
  std::cout << "heading lines:        " << t.HeadingLines << "\n";
  std::cout << "totals lines:         " << t.TotalsLines << "\n";
  std::cout << "item lines:           " << t.ItemLines << "\n";
  std::cout << "  translated:         " << t.TranslatedLines << "\n";
  std::cout << "  no translation:     " << t.ItemLines - t.TranslatedLines;
  if (!t.UntranslatedCodes.empty()) {
    std::cout << " (passed through:";
    for (const std::string& code : t.UntranslatedCodes) std::cout << " " << code;
    std::cout << ")";
  }
  std::cout << "\n";
  std::cout << "rows written:         " << e.RowsWritten << "\n";
  std::cout << "total count:          " << e.TotalCount << "\n";
  std::cout << "total GST:            " << Money(e.TotalGst, r) << "\n";
  std::cout << "total amount:         " << Money(e.TotalAmount, r) << "\n";
  if (!t.HasTotalsLine) {
    std::cout << "totals line check:    the export has no TOTALS line\n";
  } else if (t.TotalsLineCount == ledger.FTotalCount && t.TotalsLineGst == ledger.FTotalGst &&
             t.TotalsLineAmount == ledger.FTotalAmount) {
    std::cout << "totals line check:    the item lines add up to the export's TOTALS line\n";
  } else {
    std::cout << "WARNING: the item lines do not add up to the export's TOTALS line\n"
              << "  TOTALS line: count " << t.TotalsLineCount << ", GST "
              << Money(t.TotalsLineGst, r) << ", amount " << Money(t.TotalsLineAmount, r) << "\n"
              << "  item lines:  count " << ledger.FTotalCount << ", GST "
              << Money(ledger.FTotalGst, r) << ", amount " << Money(ledger.FTotalAmount, r) << "\n";
  }
  std::cout << "file written:         " << written << "\n";
}

int Translate(const std::string& dir, const TTranslateOptions& options) {
  TBatchReport report;
  TLedger ledger(report);
  ledger.Regional = options.Regional;
  ledger.SetWorkDir(dir);
  auto fail = [&] {
    ledger.CloseTables();
    return kFailed;
  };
  if (!ledger.OpenTables()) return fail();
  if (!ledger.ZapIncoming()) return fail();
  if (!ledger.ImportFile(Absolute(options.ExportFile))) return fail();
  int32_t imported = 0;
  try {
    imported = ledger.TableDataIn.RecCount();
  } catch (const std::exception& e) {
    report.ShowError(TLedger::StandardErrorText(e.what()));
    return fail();
  }
  if (!ledger.BtnTranslateClick()) return fail();
  ledger.FExportFileName = options.Output.empty()
                               ? ledger.FWorkDir + "/" + TLedger::ProposedFileName()
                               : Absolute(options.Output);
  if (!ledger.WriteTranslatedFile()) return fail();
  PrintSummary(ledger, imported, ledger.FExportFileName);
  ledger.CloseTables();
  return 0;
}

int ParseTranslate(const std::string& dir, const std::vector<std::string>& args) {
  TTranslateOptions options;
  options.Regional = xb::ReadRegionalSettings();
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.rfind("--", 0) != 0) {
      if (!options.ExportFile.empty()) return Usage("more than one export file given");
      options.ExportFile = a;
      continue;
    }
    if (i + 1 >= args.size()) return Usage(a + " needs a value");
    const std::string& v = args[++i];
    int n = 0;
    if (a == "--output") {
      options.Output = v;
    } else if (a == "--currency-symbol") {
      options.Regional.currencyString = v;
    } else if (a == "--currency-format") {
      if (!ParseInt(v, 0, 3, n)) return Usage("--currency-format takes 0 to 3");
      options.Regional.currencyFormat = n;
    } else if (a == "--negative-currency-format") {
      if (!ParseInt(v, 0, 15, n)) return Usage("--negative-currency-format takes 0 to 15");
      options.Regional.negCurrFormat = n;
    } else if (a == "--thousands-separator") {
      options.Regional.thousandSeparator = v;
    } else if (a == "--decimal-separator") {
      if (v.empty()) return Usage("--decimal-separator cannot be empty");
      options.Regional.decimalSeparator = v;
    } else {
      return Usage("unknown option " + a);
    }
  }
  if (options.ExportFile.empty()) return Usage("translate needs the export file");
  xb::SetCurrentRegionalSettings(options.Regional);
  return Translate(dir, options);
}

void PrintRows(TListFile& list) {
  std::vector<std::string> header = list.Header();
  std::vector<std::vector<std::string>> rows = list.Rows();
  std::vector<size_t> widths;
  for (const std::string& h : header) widths.push_back(h.size());
  for (const auto& row : rows)
    for (size_t i = 0; i < row.size() && i < widths.size(); ++i)
      widths[i] = std::max(widths[i], row[i].size());
  auto print = [&](const std::vector<std::string>& cells) {
    std::string line;
    for (size_t i = 0; i < cells.size(); ++i) {
      line += cells[i];
      if (i + 1 < cells.size()) line.append(widths[i] - cells[i].size() + 2, ' ');
    }
    std::cout << line << "\n";
  };
  print(header);
  for (const auto& row : rows) print(row);
  std::cout << rows.size() << (rows.size() == 1 ? " record\n" : " records\n");
}

// items and translations: one table of the ledger, opened on its own.
int ListCommand(const std::string& dir, bool translations, const std::vector<std::string>& args) {
  const char* what = translations ? "translations" : "items";
  if (args.empty()) return Usage(std::string(what) + " needs list, import FILE or export FILE");
  const std::string& verb = args[0];
  if (verb == "list" ? args.size() != 1
                     : (verb != "import" && verb != "export") || args.size() != 2)
    return Usage(std::string(what) + " needs list, import FILE or export FILE");
  TBatchReport report;
  TLedger ledger(report);
  TXbTable& table = translations ? ledger.TableIn : ledger.TableOut;
  try {
    table.SetDatabaseName(dir);
    table.Open();
    TListFile list(table);
    if (verb == "list") {
      PrintRows(list);
    } else if (verb == "export") {
      std::string file = Absolute(args[1]);
      if (!list.ExportFile(file)) {
        std::cerr << "Error creating " << file << "\n";
        return kFailed;
      }
      std::cout << "exported " << table.RecCount() << " records to " << file << "\n";
    } else {
      TListFile::TImportResult result;
      std::string file = Absolute(args[1]);
      if (!list.ImportFile(file, result)) {
        std::cerr << "Import failed: " << file << " cannot be read\n";
        return kFailed;
      }
      for (const auto& r : result.Rejected)
        std::cerr << file << ":" << r.Line << ": not taken: " << r.Reason << "\n";
      std::cout << "imported " << result.Taken << " records, " << result.Rejected.size()
                << " lines not taken\n";
    }
    table.Close();
  } catch (const std::exception& e) {
    std::cerr << TLedger::StandardErrorText(e.what()) << "\n";
    return kFailed;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string dir = ".";
  if (args.size() >= 2 && args[0] == "--dir") {
    dir = args[1];
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.empty()) return Usage("");
  if (args[0] == "--help" || args[0] == "-h") {
    std::cout << kUsage;
    return 0;
  }
  dir = Absolute(dir);
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec)) {
    std::cerr << "ledger-batch: " << dir << " is not a directory\n";
    return kFailed;
  }
  std::string command = args[0];
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (command == "init") return rest.empty() ? Init(dir) : Usage("init takes no arguments");
  if (command == "translate") return ParseTranslate(dir, rest);
  if (command == "items") return ListCommand(dir, false, rest);
  if (command == "translations") return ListCommand(dir, true, rest);
  return Usage("unknown command " + command);
}
