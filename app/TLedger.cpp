#include "TLedger.h"

#include <dirent.h>
#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

#include "TIniFile.h"
#include "TTranslatedRows.h"
#include "TXbEngine.h"

namespace {

const char* const kIniName = "A_Movrane.ini";
const char* const kTagName = "ITEM";
const char* const kHeadingLine = "Item_No,Description,# items,GST,Amount\r\n";
const char* const kTotalRowCode = "ZZ-TOTAL";
// Delimited text, comma separated: the engine's source type for the export file.
const int16_t kCommaDelimited = 21;
// What a conversion to an integer that does not fit raises.
const char* const kInvalidFloat = "Invalid floating point operation";

std::string TrimControl(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
  return text.substr(begin, end - begin);
}

std::string TrimLeadingControl(const std::string& text) {
  size_t begin = 0;
  while (begin < text.size() && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
  return text.substr(begin);
}

// Only a to z: the codes are 8-bit text of unknown code page, and nothing else may change.
std::string UpperAscii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

// A code padded with blanks to the key's width: the engine compares a search text with the
// start of each key, so only a text as long as the key finds nothing but its equal.
std::string ExactKey(const std::string& code, int32_t keyWidth) {
  std::string key = code;
  if (static_cast<int32_t>(key.size()) < keyWidth)
    key.append(static_cast<size_t>(keyWidth) - key.size(), ' ');
  return key;
}

int32_t TruncToInt32(double value) {
  double t = std::trunc(value);
  if (!(t >= -2147483648.0 && t <= 2147483647.0)) throw std::range_error(kInvalidFloat);
  return static_cast<int32_t>(t);
}

// Halves to even: the default rounding mode of the floating-point environment.
int32_t RoundToInt32(double value) {
  double r = std::nearbyint(value);
  if (!(r >= -2147483648.0 && r <= 2147483647.0)) throw std::range_error(kInvalidFloat);
  return static_cast<int32_t>(r);
}

// Counts add up as 32-bit integers do, wrapping instead of overflowing.
int32_t Add32(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

std::string IoErrorText(int error) {
  return std::strerror(error);
}

// The export file: closed on every path, and its write and close failures raised with the
// platform's text.
class TOutputFile {
 public:
  explicit TOutputFile(std::FILE* file) : FFile(file) {}
  ~TOutputFile() {
    if (FFile) std::fclose(FFile);
  }
  void Write(const std::string& text) {
    if (std::fwrite(text.data(), 1, text.size(), FFile) != text.size())
      throw std::runtime_error(IoErrorText(errno));
  }
  void Close() {
    std::FILE* file = FFile;
    FFile = nullptr;
    int flushed = std::fflush(file);
    int flushError = errno;
    int closed = std::fclose(file);
    if (flushed != 0) throw std::runtime_error(IoErrorText(flushError));
    if (closed != 0) throw std::runtime_error(IoErrorText(errno));
  }

 private:
  std::FILE* FFile;
};

void SetUpString(TStringField& field, TXbTable& table, const char* name, const char* fieldName,
                 const char* label = "", int32_t width = 0) {
  field.Name = name;
  field.FieldName = fieldName;
  field.DisplayLabel = label;
  if (width > 0) field.SetDisplayWidth(width);
  field.SetDataSet(&table);
}

void SetUpFloat(TFloatField& field, TXbTable& table, const char* name, const char* fieldName,
                const char* label, int32_t width, bool money) {
  field.Name = name;
  field.FieldName = fieldName;
  field.DisplayLabel = label;
  field.SetDisplayWidth(width);
  field.Currency = money;
  field.SetDataSet(&table);
}

void SetUpTable(TXbTable& table, const char* name, const char* fileName) {
  table.Name = name;
  table.SetTableName(fileName);
  table.SetExclusive(true);
  table.SetOEMTranslate(false);
}

// The four table files as init makes them: money with four decimals, counts with two.
struct TTableFile {
  const char* Name;
  const char* Fields;
};
const TTableFile kTableFiles[] = {
    {"A_ItIn.dbf", "TYPE,C,1,0;ITEM_IN,C,8,0;TEXT_IN,C,50,0;ITEM_OUT,C,20,0;TEXT_OUT,C,50,0"},
    {"A_ITOUT.DBF", "TYPE,C,1,0;ITEM_OUT,C,20,0;TEXT_OUT,C,50,0"},
    {"A_DATIN.DBF",
     "ITEM,C,8,0;DESCRIPT,C,50,0;I_NUMBER,N,13,2;I_GST,N,18,4;I_AMOUNT,N,18,4;C_NUMBER,N,13,2;"
     "C_GST,N,18,4;C_AMOUNT,N,18,4;T_GST,N,18,4;T_AMOUNT,N,18,4"},
    {"A_DATOUT.DBF", "ITEM,C,20,0;DESCRIPT,C,50,0;NUMBER,N,13,2;GST,N,18,4;AMOUNT,N,18,4"},
};

bool ExistsIgnoringCase(const std::string& dir, const std::string& name) {
  DIR* d = opendir(dir.c_str());
  if (!d) return false;
  bool found = false;
  while (dirent* e = readdir(d))
    if (strcasecmp(e->d_name, name.c_str()) == 0) found = true;
  closedir(d);
  return found;
}

}  // namespace

bool TLedger::CreateMissingTables(const std::string& dir, std::vector<std::string>& created,
                                  std::string& error) {
  EnsureEngine();
  if (!EngineReady()) {
    error = "The xBase engine library could not be loaded";
    return false;
  }
  for (const TTableFile& t : kTableFiles) {
    if (ExistsIgnoringCase(dir, t.Name)) continue;
    std::string path = dir + "/" + t.Name;
    if (XbEntries().xb_CreateTable(path.c_str(), t.Fields) == 0) {
      error = "Error creating " + path + ": " + XbEntries().xb_ErrorText();
      return false;
    }
    created.push_back(t.Name);
  }
  return true;
}

TLedger::TLedger(TLedgerReport& report, TComponent* owner)
    : TDataModule(owner), Regional(xb::CurrentRegionalSettings()), FReport(report) {
  Name = "Ledger";
  SetUpTable(TableIn, "TableIn", "A_ItIn.dbf");
  SetUpTable(TableOut, "TableOut", "A_ITOUT.DBF");
  SetUpTable(TableDataIn, "TableDataIn", "A_DATIN.DBF");
  SetUpTable(TableDataOut, "TableDataOut", "A_DATOUT.DBF");

  DataSourceIn.Name = "DataSourceIn";
  DataSourceIn.SetDataSet(&TableIn);
  DataSourceOut.Name = "DataSourceOut";
  DataSourceOut.SetDataSet(&TableOut);
  DataSourceDataIn.Name = "DataSourceDataIn";
  DataSourceDataIn.SetDataSet(&TableDataIn);
  DataSourceDataOut.Name = "DataSourceDataOut";
  DataSourceDataOut.SetDataSet(&TableDataOut);

  SetUpString(TableInTYPE, TableIn, "TableInTYPE", "TYPE");
  SetUpString(TableInITEM_IN, TableIn, "TableInITEM_IN", "ITEM_IN");
  SetUpString(TableInTEXT_IN, TableIn, "TableInTEXT_IN", "TEXT_IN");
  SetUpString(TableInITEM_OUT, TableIn, "TableInITEM_OUT", "ITEM_OUT");
  SetUpString(TableInTEXT_OUT, TableIn, "TableInTEXT_OUT", "TEXT_OUT");

  SetUpString(TableOutTYPE, TableOut, "TableOutTYPE", "TYPE");
  SetUpString(TableOutITEM_OUT, TableOut, "TableOutITEM_OUT", "ITEM_OUT");
  SetUpString(TableOutTEXT_OUT, TableOut, "TableOutTEXT_OUT", "TEXT_OUT");

  SetUpString(TableDataInITEM, TableDataIn, "TableDataInITEM", "ITEM", "Item", 8);
  SetUpString(TableDataInDESCRIPT, TableDataIn, "TableDataInDESCRIPT", "DESCRIPT", "Description",
              45);
  SetUpFloat(TableDataInI_NUMBER, TableDataIn, "TableDataInI_NUMBER", "I_NUMBER", "# Inv.", 5,
             false);
  SetUpFloat(TableDataInI_GST, TableDataIn, "TableDataInI_GST", "I_GST", "Inv GST", 8, true);
  SetUpFloat(TableDataInI_AMOUNT, TableDataIn, "TableDataInI_AMOUNT", "I_AMOUNT", "Inv Amount", 10,
             true);
  SetUpFloat(TableDataInC_NUMBER, TableDataIn, "TableDataInC_NUMBER", "C_NUMBER", "# Claims", 7,
             false);
  SetUpFloat(TableDataInC_GST, TableDataIn, "TableDataInC_GST", "C_GST", "Claim GST", 8, true);
  SetUpFloat(TableDataInC_AMOUNT, TableDataIn, "TableDataInC_AMOUNT", "C_AMOUNT", "Claim Amount",
             11, true);
  SetUpFloat(TableDataInT_GST, TableDataIn, "TableDataInT_GST", "T_GST", "Total GST", 9, true);
  SetUpFloat(TableDataInT_AMOUNT, TableDataIn, "TableDataInT_AMOUNT", "T_AMOUNT", "Total Amount",
             13, true);

  SetUpString(TableDataOutITEM, TableDataOut, "TableDataOutITEM", "ITEM", "Item", 22);
  SetUpString(TableDataOutDESCRIPT, TableDataOut, "TableDataOutDESCRIPT", "DESCRIPT", "Description",
              56);
  SetUpFloat(TableDataOutNUMBER, TableDataOut, "TableDataOutNUMBER", "NUMBER", "Number", 13, false);
  SetUpFloat(TableDataOutGST, TableDataOut, "TableDataOutGST", "GST", "GST", 13, true);
  SetUpFloat(TableDataOutAMOUNT, TableDataOut, "TableDataOutAMOUNT", "AMOUNT", "Amount", 17, true);
}

TLedger::~TLedger() {
  // The tables go before their field objects, which are destroyed first as later members.
  TableIn.Close();
  TableOut.Close();
  TableDataIn.Close();
  TableDataOut.Close();
}

template <typename Step>
bool TLedger::Guarded(Step step) {
  try {
    return step();
  } catch (const EAbort&) {
    return false;
  } catch (const std::exception& e) {
    FReport.ShowError(StandardErrorText(e.what()));
    return false;
  }
}

std::string TLedger::StandardErrorText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

int64_t TLedger::ToFixed(double value) {
  double r = std::nearbyint(value * 10000.0);
  // 2^63 itself is out of range; every double below it converts exactly.
  if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0))
    throw std::range_error(kInvalidFloat);
  return static_cast<int64_t>(r);
}

// --- Start-up and shut-down ---

void TLedger::SetWorkDir(const std::string& workDir) {
  FWorkDir = workDir;
  while (FWorkDir.size() > 1 && FWorkDir.back() == '/') FWorkDir.pop_back();
  FIniFileName = (FWorkDir == "/" ? std::string() : FWorkDir) + "/" + kIniName;
}

TWindowGeometry TLedger::LoadGeometry() const {
  TWindowGeometry g;
  TIniFile ini(FIniFileName);
  g.Top = ini.ReadInteger("Win Top", "Translate", 0);
  g.Left = ini.ReadInteger("Win Left", "Translate", 0);
  g.Height = ini.ReadInteger("Win Height", "Translate", 630);
  g.Width = ini.ReadInteger("Win Width", "Translate", 840);
  return g;
}

bool TLedger::SaveGeometry(const TWindowGeometry& geometry) const {
  TIniFile ini(FIniFileName);
  ini.WriteInteger("Win Top", "Translate", geometry.Top);
  ini.WriteInteger("Win Left", "Translate", geometry.Left);
  ini.WriteInteger("Win Height", "Translate", geometry.Height);
  ini.WriteInteger("Win Width", "Translate", geometry.Width);
  return ini.UpdateFile();
}

bool TLedger::OpenIndexed(TXbTable& table, const char* key, const char* failure) {
  table.SetDatabaseName(FWorkDir);
  table.Open();
  if (table.IndexTag("", kTagName, key, 0, false, "") == 0) {
    FReport.Beep();
    FReport.Show(failure);
    return false;
  }
  table.SetOrder(table.TagArea(kTagName));
  table.GoTop();
  return true;
}

bool TLedger::OpenTables() {
  if (FExporting) return false;
  return Guarded([&] {
    if (!OpenIndexed(TableIn, "UPPER(ITEM_IN)", "Indexing In failed")) return false;
    if (!OpenIndexed(TableOut, "UPPER(ITEM_OUT)", "Indexing Out failed")) return false;
    if (!OpenIndexed(TableDataOut, "UPPER(ITEM)", "Indexing DataOut failed")) return false;
    TableDataOut.Zap();
    TableDataIn.SetDatabaseName(FWorkDir);
    TableDataIn.Open();
    TableDataIn.Zap();
    TableDataIn.GoTop();
    return true;
  });
}

void TLedger::CloseTables() {
  // A record still being edited is discarded by Close, never written.
  TableIn.Close();
  TableOut.Close();
  TableDataIn.Close();
  TableDataOut.Close();
}

// --- Import ---

bool TLedger::ZapIncoming() {
  if (FExporting) return false;
  return Guarded([&] {
    TableDataIn.Zap();
    return true;
  });
}

bool TLedger::ImportFile(const std::string& fileName) {
  if (FExporting) return false;
  return Guarded([&] {
    if (TableDataIn.AppendFrom(fileName, kCommaDelimited, "")) return true;
    FReport.Beep();
    FReport.Show("Import failed");
    return false;
  });
}

// --- Translation ---

void TLedger::ReadIncomingLine() {
  FItem = UpperAscii(TrimControl(TableDataIn.GetString("ITEM")));
  FDescript = TableDataIn.GetString("DESCRIPT");
  ReadNumbers();
  TableDataOut.GoTop();
}

// As ReadIncomingLine on an open table, through the field objects GetString would look up by
// name on every line.
void TLedger::ReadLine() {
  const std::string item = TableDataInITEM.AsString();
  size_t begin = 0, end = item.size();
  while (begin < end && static_cast<unsigned char>(item[begin]) <= 32) ++begin;
  while (end > begin && static_cast<unsigned char>(item[end - 1]) <= 32) --end;
  FItem.assign(item, begin, end - begin);
  for (char& c : FItem)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  FDescript = TableDataInDESCRIPT.AsString();
  const size_t width = static_cast<size_t>(std::max(TableDataInDESCRIPT.Size(), 0));
  if (TableDataInDESCRIPT.DataType() == ftString && FDescript.size() < width)
    FDescript.append(width - FDescript.size(), ' ');
  ReadNumbers();
}

void TLedger::ReadNumbers() {
  FCount = TruncToInt32(TableDataInI_NUMBER.AsFloat() + TableDataInC_NUMBER.AsFloat());
  FGst = ToFixed(TableDataInT_GST.AsFloat());
  FAmount = ToFixed(TableDataInT_AMOUNT.AsFloat());
}

bool TLedger::BtnTranslateClick() {
  if (FExporting) return false;
  FTotalGst = 0;
  FTotalAmount = 0;
  FTotalCount = 0;
  FCount = 0;
  FSummary = {};
  return Guarded([&] {
    Translate();
    return true;
  });
}

namespace {

// The translation table's answer for each incoming code met, so that a code repeated on many
// lines is sought once. The table is only read during a translation, so an answer stays right
// until the translation ends. At most `capacity` answers are held; a capacity of 0 seeks every
// line.
class TTranslationLookups {
 public:
  struct TTarget {
    bool Translated = false;
    std::string Code;
    std::string Descript;
  };

  TTranslationLookups(TXbTable& table, TStringField& itemOut, TStringField& textOut,
                      size_t capacity)
      : FTable(table), FItemOut(itemOut), FTextOut(textOut), FCapacity(capacity) {
    FKeyWidth = FTable.FieldWidth("ITEM_IN");
  }

  // The target of `item`: the translation found by an exact search, or none.
  const TTarget& Find(const std::string& item) {
    if (FCapacity > 0) {
      auto it = FTargets.find(item);
      if (it != FTargets.end()) {
        FUnsought = &it->first;
        return it->second;
      }
      if (FTargets.size() >= FCapacity) FTargets.clear();
    }
    FUnsought = nullptr;
    TTarget target;
    if (FTable.Seek(ExactKey(item, FKeyWidth))) {
      std::string itemOut = FItemOut.AsString();
      if (!itemOut.empty()) {
        target.Translated = true;
        target.Code = UpperAscii(itemOut);
        target.Descript = FTextOut.AsString();
      }
    }
    if (FCapacity == 0) {
      FScratch = std::move(target);
      return FScratch;
    }
    return FTargets.emplace(item, std::move(target)).first->second;
  }

  // Leaves the table where seeking every line would have left it: on the last code's record.
  void Settle() {
    if (FUnsought) FTable.Seek(ExactKey(*FUnsought, FKeyWidth));
    FUnsought = nullptr;
  }

 private:
  TXbTable& FTable;
  TStringField& FItemOut;
  TStringField& FTextOut;
  size_t FCapacity;
  int32_t FKeyWidth = 0;
  std::unordered_map<std::string, TTarget> FTargets;
  TTarget FScratch;
  const std::string* FUnsought = nullptr;  // the last code answered without a search
};

}  // namespace

void TLedger::Translate() {
  TableDataOut.Zap();
  TableDataIn.GoTop();
  TTranslationLookups lookups(TableIn, TableInITEM_OUT, TableInTEXT_OUT, TranslationCacheRows);
  TTranslatedRows rows(TableDataOut, TableDataOutITEM, TableDataOutDESCRIPT, TableDataOutNUMBER,
                       TableDataOutGST, TableDataOutAMOUNT, TranslationCacheRows);
  std::unordered_set<std::string> untranslated;
  try {
    while (!TableDataIn.Eof()) {
      ReadLine();
      if (FItem == "TOTALS" || FItem == "ITEM_NO") {
        if (FItem == "ITEM_NO") {
          ++FSummary.HeadingLines;
        } else if (FSummary.TotalsLines++ == 0) {
          FSummary.HasTotalsLine = true;
          FSummary.TotalsLineCount = FCount;
          FSummary.TotalsLineGst = FGst;
          FSummary.TotalsLineAmount = FAmount;
        }
        TableDataIn.Skip(1);
        continue;
      }
      ++FSummary.ItemLines;

      const TTranslationLookups::TTarget& target = lookups.Find(FItem);
      if (target.Translated) {
        ++FSummary.TranslatedLines;
        rows.Add(target.Code, target.Descript, FCount, FGst, FAmount);
      } else {
        if (untranslated.insert(FItem).second) FSummary.UntranslatedCodes.push_back(FItem);
        rows.Add(FItem, FDescript, FCount, FGst, FAmount);
      }
      FTotalGst += FGst;
      FTotalAmount += FAmount;
      FTotalCount = Add32(FTotalCount, FCount);
      TableDataIn.Skip(1);
    }
    rows.Flush();
    lookups.Settle();
  } catch (...) {
    // The rows added so far stay in the table, as adding line by line leaves them; the first
    // failure is the one reported.
    try {
      rows.Flush();
      lookups.Settle();
    } catch (...) {
    }
    throw;
  }
  TableDataOut.AppendBlank();
  TableDataOutITEM.SetAsString(kTotalRowCode);
  TableDataOutDESCRIPT.SetAsString("TOTAL");
  TableDataOutNUMBER.SetAsFloat(FTotalCount);
  TableDataOutGST.SetAsFloat(FTotalGst / 10000.0);
  TableDataOutAMOUNT.SetAsFloat(FTotalAmount / 10000.0);
  TableDataOut.Post();
}

// --- Export ---

std::string TLedger::BlankQuotes(const std::string& text) {
  std::string result = text;
  for (char& c : result)
    if (c == '"') c = ' ';
  return result;
}

std::string TLedger::TodayText(int year, int month, int day) {
  return std::to_string(day) + "-" + std::to_string(month) + "-" + std::to_string(year);
}

std::string TLedger::TodayText() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return TodayText(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

bool TLedger::WriteTranslatedFile() {
  if (FExporting) return false;
  FExport = {};
  std::FILE* file = std::fopen(FExportFileName.c_str(), "wb");
  if (!file) {
    FReport.Beep();
    FReport.ShowInformation("Error creating " + FExportFileName);
    return false;
  }
  FExporting = true;
  bool written = Guarded([&] {
    WriteRows(file);
    return true;
  });
  FExporting = false;
  return written;
}

void TLedger::WriteRows(std::FILE* handle) {
  TOutputFile file(handle);
  auto progress = [&](int64_t value) {
    if (OnProgress) OnProgress(static_cast<int32_t>(value < 0 ? 0 : value > 100 ? 100 : value));
  };
  progress(0);
  const int32_t rows = TableDataOut.RecCount();
  if (rows == 0) {
    file.Close();
    return;
  }
  TableDataOut.GoTop();
  file.Write(kHeadingLine);
  const std::string sep = "\",\"";
  std::string line;
  int32_t done = 0;
  TExportSummary sums;
  while (!TableDataOut.Eof()) {
    if (done % 10 == 0) {
      progress((static_cast<int64_t>(done) - 1) * 100 / rows);
      if (OnProcessEvents) OnProcessEvents();
    }
    std::string item =
        TableDataOutITEM.IsNull() ? std::string() : TrimLeadingControl(TableDataOutITEM.AsString());
    std::string descript = TableDataOutDESCRIPT.IsNull()
                               ? std::string()
                               : BlankQuotes(TableDataOutDESCRIPT.AsString());
    int32_t count = TableDataOutNUMBER.IsNull() ? 0 : RoundToInt32(TableDataOutNUMBER.AsFloat());
    int64_t gst = TableDataOutGST.IsNull() ? 0 : ToFixed(TableDataOutGST.AsFloat());
    int64_t amount = TableDataOutAMOUNT.IsNull() ? 0 : ToFixed(TableDataOutAMOUNT.AsFloat());
    if (item != kTotalRowCode) {
      line.assign(1, '"');
      line += item;
      line += sep;
      line += descript;
      line += sep;
      line += std::to_string(count);
      line += sep;
      line += xb::FormatMoney(gst, Regional);
      line += sep;
      line += xb::FormatMoney(amount, Regional);
      line += "\"\r\n";
      file.Write(line);
      ++sums.RowsWritten;
      sums.TotalCount = Add32(sums.TotalCount, count);
      sums.TotalGst += gst;
      sums.TotalAmount += amount;
    }
    ++done;
    TableDataOut.Skip(1);
  }
  file.Write("\"TOTALS" + sep + "TOTALS" + sep + std::to_string(sums.TotalCount) + sep +
             xb::FormatMoney(sums.TotalGst, Regional) + sep +
             xb::FormatMoney(sums.TotalAmount, Regional) + "\"\r\n");
  file.Close();
  FExport = sums;
  TableDataOut.GoTop();
  progress(100);
}
