#include "TXbTable.h"

#include <unistd.h>

#include <strings.h>
#include <sys/stat.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "CNumberText.h"
#include "TDataLink.h"
#include "TDataSource.h"
#include "TField.h"
#include "TXbBlobStream.h"
#include "TXbDatabase.h"
#include "TXbFormatSettings.h"
#include "TXbSearchObject.h"

using E = TXbAccess;

namespace {

const char* const kOpenTable = "Cannot perform this operation on an open table";
const char* const kClosedTable = "Cannot perform this operation on a closed table";
const char* const kReadOnlyTable = "Cannot modify a read-only data set";
const char* const kEmptyTable = "Cannot perform this operation on an empty table";
const char* const kNeedsOrder = "This operation requires an active index order";

int32_t Flag(bool value) {
  return value ? -1 : 0;
}

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

// Both separators are accepted in names; the platform's is used to build paths.
std::string Native(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

std::string FilePart(const std::string& path) {
  size_t at = path.find_last_of("/\\");
  return at == std::string::npos ? path : path.substr(at + 1);
}

std::string DirPart(const std::string& path) {
  size_t at = path.find_last_of("/\\");
  return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

bool HasExtension(const std::string& path) {
  return FilePart(path).find('.') != std::string::npos;
}

std::string Extension(const std::string& path) {
  std::string file = FilePart(path);
  size_t dot = file.rfind('.');
  return dot == std::string::npos ? std::string() : file.substr(dot);
}

std::string StemBeforeFirstDot(const std::string& path) {
  std::string file = FilePart(path);
  return file.substr(0, file.find('.'));
}

std::string TrimControl(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
  return s.substr(b, e - b);
}

std::string TrimBlanks(const std::string& s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

std::vector<std::string> SplitNames(const std::string& names) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : names) {
    if (c == ';') {
      if (!TrimBlanks(cur).empty()) out.push_back(TrimBlanks(cur));
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!TrimBlanks(cur).empty()) out.push_back(TrimBlanks(cur));
  return out;
}

std::string Copy(const char* text) {
  return text ? std::string(text) : std::string();
}

std::string Yyyymmdd(int32_t dayNumber) {
  if (dayNumber <= 0) return "        ";
  int y = 0, m = 0, d = 0;
  TDateField::SplitDayNumber(dayNumber, y, m, d);
  char text[16];
  std::snprintf(text, sizeof(text), "%04d%02d%02d", y, m, d);
  return text;
}

int32_t DateOf(const TVariant& value) {
  if (value.IsString()) {
    const std::string& s = value.AsString();
    if (s.size() == 8 && std::all_of(s.begin(), s.end(), ::isdigit))
      return TDateField::DayNumber(std::stoi(s.substr(0, 4)), std::stoi(s.substr(4, 2)),
                                   std::stoi(s.substr(6, 2)));
    return TDateField::ParseDate(s);
  }
  return static_cast<int32_t>(value.AsInteger());
}

bool PathExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// Key fields of an index expression, in order and in capitals (see master/detail).
std::vector<std::string> KeyFieldsOf(const std::string& expression) {
  std::vector<std::string> names;
  std::string name;
  int depth = 0;
  auto end = [&] {
    bool counts = !name.empty() && name.find_first_of("=<>$#") == std::string::npos &&
                  !std::isdigit(static_cast<unsigned char>(name[0]));
    if (counts) names.push_back(Upper(name));
    name.clear();
  };
  for (char c : expression + "+") {
    if (c == '(') {
      ++depth;
      name.clear();
    } else if (c == ',' && depth > 0) {
      end();
    } else if (c == ')') {
      end();
      if (depth > 0) --depth;
    } else if (c == '+' || c == '-') {
      end();
    } else if (c != ' ') {
      name += c;
    }
  }
  return names;
}

}  // namespace

// --- TStringList ---

void TStringList::Add(const std::string& line) {
  FLines.push_back(line);
  Changed();
}
void TStringList::Set(size_t i, const std::string& line) {
  FLines.at(i) = line;
  Changed();
}
void TStringList::Clear() {
  FLines.clear();
  Changed();
}
void TStringList::Assign(const std::vector<std::string>& lines) {
  FLines = lines;
  Changed();
}

// --- The master link ---

class TMasterLink : public TDataLink {
 public:
  explicit TMasterLink(TXbTable& table) : FTable(table) { SetOwnerDataSet(&table); }
  bool HasFields() const { return !SplitNames(FTable.FMasterFields).empty(); }

 protected:
  void ActiveChanged() override {
    if (!HasFields()) return;
    if (Active())
      FTable.MasterChanged();
    else
      FTable.MasterDisabled();
  }
  void RecordChanged(TField*) override {
    if (HasFields()) FTable.MasterChanged();
  }

 private:
  TXbTable& FTable;
};

// --- Creation ---

TXbTable::TXbTable(TComponent* owner) : TDataSet(owner) {
  FExtraIndexes.OnChange = [this] {
    FIndexDefs.Updated = false;
    RefreshIndexDefs();
  };
  FMasterLink = std::make_unique<TMasterLink>(*this);
}

TXbTable::~TXbTable() {
  DestroyDataSet();
  FMasterLink->SetDataSource(nullptr);
  if (FRoute.Connection) {
    FRoute.Connection->RemoveUser(this);
    FRoute.Connection->UnregisterTable(this);
  }
}

void TXbTable::Loaded() {
  TDataSet::Loaded();
  if (FRoute.AccessMethod == amLocal) EnsureEngine();
  if (FRoute.Connection) FRoute.Connection->SetDatabaseName(FDatabaseName);
}

void TXbTable::Notification(TComponent* component) {
  (void)component;
}

// --- Properties ---

void TXbTable::SetDatabaseName(const std::string& value) {
  if (value == FDatabaseName) return;
  FDatabase = nullptr;
  FDatabaseName = value;
  if (value.find(':') != std::string::npos || value.find('\\') != std::string::npos)
    FRoute.AccessMethod = amLocal;
  if (FRoute.Connection) FRoute.Connection->SetDatabaseName(value);
  if (Active() && !FTableName.empty()) {
    if (FRoute.AccessMethod == amLocal) ResolveTableDir();
    if (!E::FileExists(R(), FDatabaseName, FullTableName()))
      Close();
    else
      ResetFieldDefs();
  }
  if (FMasterSource && FMasterSource->Enabled()) {
    FMasterSource->SetEnabled(false);
    FMasterSource->SetEnabled(true);
  }
}

void TXbTable::SetTableName(const std::string& value) {
  if (value == FTableName) return;
  if (FArea != 0 || Active()) throw EXbError(kOpenTable);
  FTableName = value;
  ResetFieldDefs();
}

void TXbTable::ResetFieldDefs() {
  MutableFieldDefs().clear();
  if (Live()) {
    LoadFieldDefs();
    FIndexDefs.Updated = false;
    RefreshIndexDefs();
  }
}

void TXbTable::SetTableType(TXbTableType value) {
  FTableType = value;
  ResetFieldDefs();
}

void TXbTable::SetAccessMethod(TAccessMethod value) {
  if (Active()) throw EXbError("Cannot change data access method while table is open");
  FRoute.AccessMethod = value;
  if (value == amLocal) EnsureEngine();
}

void TXbTable::SetXbConnection(TXbConnection* value) {
  if (FRoute.Connection) {
    FRoute.Connection->RemoveUser(this);
    FRoute.Connection->UnregisterTable(this);
  }
  FRoute.Connection = value;
  if (value) {
    value->RegisterTable(this);
    value->AddUser(this);
  }
}

void TXbTable::ConnectionRemoved(TXbConnection* connection, bool answering) {
  if (connection != FRoute.Connection) return;
  // A work area on a server that no longer answers is gone with it.
  if (!answering && FRoute.AccessMethod == amServer) FArea = 0;
  Close();
  if (answering) connection->UnregisterTable(this);
  FRoute.Connection = nullptr;
}

void TXbTable::SetExclusive(bool value) {
  if (FArea != 0 && value != FExclusive) throw EXbError(kOpenTable);
  FExclusive = value;
}

void TXbTable::SetReadOnly(bool value) {
  if (FArea != 0 && value != FReadOnly) throw EXbError(kOpenTable);
  FReadOnly = value;
}

void TXbTable::SetCommitLevel(TXbCommitLevel value) {
  if (Active()) throw EXbError("Cannot change the commit level while the table is opened");
  FCommitLevel = value;
}

void TXbTable::SetFetchCount(int32_t value) {
  if (FArea != 0) throw EXbError(kOpenTable);
  FFetchCount = value <= 0 ? 1 : value;
}

void TXbTable::SetOEMTranslate(bool value) {
  if (value == FOEMTranslate) return;
  FOEMTranslate = value;
  if (FArea > 0) {
    Select();
    E::xb_SetTranslate(R(), Flag(value));
    ComponentResync();
  }
}

void TXbTable::SetTurboRead(bool value) {
  FTurboRead = value;
  if (FArea > 0) {
    Select();
    E::xb_SetTurboRead(R(), Flag(value));
  }
}

void TXbTable::SetPassword(const std::string& value) {
  FPassword = value;
  if (FArea > 0) {
    Select();
    E::xb_SetPassword(R(), value.c_str());
    ComponentResync();
  }
}

void TXbTable::SetSpeedMode(bool value) {
  if (value == FSpeedMode) return;
  if (Live()) {
    if (value) {
      UpdateCursorPos();
      FSpeedMode = true;
    } else {
      FSpeedMode = false;
      Select();
      MarkCurrent(E::xb_RecNo(R()), bfCurrent);
      ComponentResync();
    }
    return;
  }
  FSpeedMode = value;
}

void TXbTable::SetSequenced(bool value) {
  if (value == FSequenced) return;
  FSequenced = value;
  if (Live()) {
    UpdateCursorPos();
    ComponentResync();
  }
}

std::string TXbTable::Version() {
  if (FRoute.AccessMethod == amLocal) EnsureEngine();
  return Copy(E::xb_Version(R())) + ", " + ComponentVersion();
}

// --- Finding the table file ---

void TXbTable::ResolveTableDir() {
  std::string dir;
  if (!DirPart(FTableName).empty()) {
    dir = DirPart(FTableName);
  } else if (!FDatabaseName.empty() && FDatabaseName.find_first_of("\\/:.") != std::string::npos) {
    dir = FDatabaseName;
  } else {
    if (FDatabase && !TXbDatabase::Exists(FDatabase, FDatabaseSerial)) FDatabase = nullptr;
    if (!FDatabase) {
      TXbSearchObject search;
      for (TXbDatabase* db = search.FindFirst<TXbDatabase>(); db;
           db = search.FindNext<TXbDatabase>()) {
        if (Upper(db->DataPathAlias) == Upper(FDatabaseName)) {
          FDatabase = db;
          FDatabaseSerial = db->Serial();
          break;
        }
      }
    }
    if (FDatabase) {
      dir = FDatabase->DataPath;
    } else if (!FDatabaseName.empty()) {
      std::string name = FDatabaseName;
      if (!name.empty() && IsSeparator(name.back())) name.pop_back();
      if (!PathExists(Native(name)))
        throw EXbError("Invalid DatabaseName value : " + FDatabaseName);
      dir = FDatabaseName;
    }
  }
  if (dir.empty()) {
    char cwd[4096];
    if (getcwd(cwd, sizeof(cwd))) dir = cwd;
  }
  dir = Native(dir);
  if (dir.empty() || dir.back() != '/') dir += '/';
  FTableDir = dir;
}

std::string TXbTable::FullTableName() {
  if (FRoute.AccessMethod == amLocal && FTableDir.empty()) ResolveTableDir();
  std::string file = FilePart(FTableName);
  if (!HasExtension(file)) file += ".DBF";
  return FTableDir + file;
}

bool TXbTable::TableExists() {
  if (FRoute.AccessMethod == amLocal) ResolveTableDir();
  return E::FileExists(R(), FDatabaseName, FullTableName());
}

std::string TXbTable::IndexExt() const {
  switch (FTableType) {
    case ttXBNTX:
      return ".NTX";
    case ttXBNSX:
    case ttXBNSX_DBT:
      return ".NSX";
    default:
      return ".CDX";
  }
}

std::string TXbTable::DeriveAlias() {
  std::string base = Upper(FilePart(FTableName));
  base = base.substr(0, base.find('.')).substr(0, 8);
  for (char& c : base)
    if (c < 'A' || c > 'Z') c = '_';
  if (FRoute.AccessMethod == amLocal) EnsureEngine();
  std::string alias = base;
  for (int n = 1; E::xb_WorkArea(R(), alias.c_str()) != 0; ++n) {
    std::string digits = std::to_string(n);
    alias = alias.substr(0, 8 - digits.size()) + digits;
  }
  return alias;
}

// --- Opening and closing ---

void TXbTable::FindEnvironment() {
  FEnv = TEnvSettings();
  TXbSearchObject search;
  TXbEnv* env = search.FindFirst<TXbEnv>();
  if (!env) return;
  bool local = FRoute.AccessMethod == amLocal;
  if (!(env->ApplyTo & (local ? atLocal : atServer))) return;
  FEnv.Epoch = env->Epoch();
  FEnv.ErrorLevel = 0;
  FEnv.Century = env->Century();
  FEnv.Exact = env->Exact();
  FEnv.SoftSeek = env->SoftSeek();
  FEnv.DateFormat = static_cast<uint8_t>(env->DateFormat());
  FEnv.MemoBlockSize = env->MemoBlockSize();
  FEnv.Deleted = env->Deleted();
  FEnv.Applies = true;
}

void TXbTable::EngineOpen() {
  FArea = 0;
  if (FTableName.empty()) throw EXbError(Name + " : " + "Missing TableName property");
  bool local = FRoute.AccessMethod == amLocal;
  if (!local) {
    if (!FRoute.Connection) throw EXbError("No XbConnection specified");
    if (!FRoute.Connection->Connected()) throw EXbError("Not connected");
  }
  if (local) {
    EnsureEngine();
    ResolveTableDir();
  }
  std::string alias = DeriveAlias();
  static const int32_t kDriver[] = {2, 1, 2, 3, 4};
  int32_t driver = kDriver[FTableType];
  int32_t mode = FExclusive ? XB_OPEN_EXCLUSIVE : FReadOnly ? XB_OPEN_READONLY : XB_OPEN_SHARED;
  FindEnvironment();
  if (local && !E::FileExists(R(), FDatabaseName, FullTableName()))
    throw EXbError("Table, file or directory does not exist.\rFile: " + FullTableName());
  XbFormatSettings().TwoDigitYearWindow = std::abs(CurrentYear() - FEnv.Epoch) % 100;
  if (local && FEnv.Applies) {
    E::xb_SetEpoch(R(), FEnv.Epoch);
    E::xb_SetDeleted(R(), Flag(FEnv.Deleted));
    E::xb_SetCentury(R(), Flag(FEnv.Century));
    E::xb_SetMemoBlockSize(R(), FEnv.MemoBlockSize);
    E::xb_SetDateFormat(R(), TXbEnv::DateFormatCode(static_cast<TXbDateFrmt>(FEnv.DateFormat)));
    E::xb_SetSoftSeek(R(), Flag(FEnv.SoftSeek));
    E::xb_SetExact(R(), Flag(FEnv.Exact));
  }
  E::xb_ErrorLevel(R(), 0);
  // The engine's commit levels are named by what they do; ours keep their published order.
  static const int32_t kCommit[] = {XB_COMMIT_FULL, XB_COMMIT_NORMAL, XB_COMMIT_NONE};
  std::string path = FTableDir + FilePart(Native(FTableName));
  // Files copied from systems that ignore case keep their spelling: the engine is given the
  // name the table file really has.
  if (local) {
    std::string onDisk = E::FindLocalFile(FullTableName());
    if (!onDisk.empty()) path = onDisk;
  }
  int32_t area = E::xb_UseEx(R(), path.c_str(), alias.c_str(), mode, driver, kCommit[FCommitLevel]);
  if (area < 1) throw EXbError("Unable to open table: " + FullTableName());
  FArea = static_cast<int16_t>(area);
  E::xb_ErrorLevel(R(), FEnv.ErrorLevel);
  E::xb_SetTurboRead(R(), Flag(FTurboRead));
  E::xb_SetTranslate(R(), Flag(FOEMTranslate));
  FColumnCount = E::xb_FieldCount(R());
  FRecSize = E::xb_RecSize(R());
  FEncrypted = E::xb_IsEncrypted(R(), 0) != 0;
  if (!FPassword.empty()) E::xb_SetPassword(R(), FPassword.c_str());
  E::xb_SetTurboRead(R(), Flag(FTurboRead));
  FRecImage.assign(static_cast<size_t>(std::max(FRecSize, 1)), 0);
  if (!FIndexName.empty()) {
    std::string name = FIndexName;
    FIndexName.clear();
    SetIndexName(name);
  }
  OpenExtraIndexes();
  FIndexDefs.Updated = false;
  RefreshIndexDefs();
  Select();
  FSeqCount = E::xb_RecCount(R());
  FRawCount = FSeqCount;
  FCountStale = true;
}

void TXbTable::ActivateTable() {
  if (FArea == 0) {
    FSeqCount = 0;
    FColumnCount = 0;
  }
  FOpening = true;
  try {
    LoadFieldDefs();
  } catch (...) {
    FOpening = false;
    throw;
  }
  FOpening = false;
  if (DefaultFields()) {
    CreateFields();
    for (TField* f : Fields()) {
      auto* flt = dynamic_cast<TFloatField*>(f);
      if (!flt || f->FieldNo() < 1) continue;
      const TFieldInfo& c = FColumns[f->FieldNo() - 1];
      flt->DisplayFormat = c.Decimals > 0 ? "0." + std::string(c.Decimals, '0') : "0";
      flt->Precision = c.Width + 1;
    }
  }
  BindFields(true);
  ComputeLayout();
  FCursorOpen = true;
  if (FFilterOn && !FFilterText.empty()) {
    Select();
    RawQuery(FFilterText);
  }
  if (FMasterSource && FMasterLink->Active() && FMasterLink->HasFields()) {
    FMasterKeyApplied.clear();
    MasterChanged();
  }
  Select();
  E::xb_GoTop(R());
  FCachedRecNo = 1;
}

void TXbTable::LoadFieldDefs() {
  if (FArea == 0) EngineOpen();
  FColumns.clear();
  std::vector<TFieldDef>& defs = MutableFieldDefs();
  defs.clear();
  Select();
  for (int32_t i = 1; i <= FColumnCount; ++i) {
    std::string name = Copy(E::xb_FieldName(R(), i));
    std::string type = Copy(E::xb_FieldType(R(), name.c_str()));
    TFieldInfo info;
    info.ColumnOffset = static_cast<uint16_t>(E::xb_FieldOffset(R(), name.c_str()) - 1);
    info.Width = static_cast<uint16_t>(E::xb_FieldWidth(R(), name.c_str()));
    info.Decimals = static_cast<uint16_t>(E::xb_FieldDecimals(R(), name.c_str()));
    FColumns.push_back(info);
    TFieldDef def;
    def.Name = name;
    def.FieldNo = i;
    switch (type.empty() ? ' ' : type[0]) {
      case 'C':
        def.DataType = ftString;
        def.Size = info.Width;
        break;
      case 'N':
      case 'F':
        def.DataType = (info.Decimals > 0 || info.Width > 4) ? ftFloat : ftSmallint;
        break;
      case 'I':
        def.DataType = ftInteger;
        break;
      case 'L':
        def.DataType = ftBoolean;
        break;
      case 'D':
        def.DataType = ftDate;
        break;
      case 'M':
        def.DataType = ftMemo;
        break;
      case 'B':
      case 'G':
      case 'P':
        def.DataType = ftBlob;
        break;
      default:
        continue;
    }
    defs.push_back(def);
  }
  if (!FCursorOpen && !FOpening) {
    Select();
    E::xb_Close(R());
    FArea = 0;
  }
}

void TXbTable::ComputeLayout() {
  int32_t offset = 0;
  FBlobFields.clear();
  for (TFieldInfo& c : FColumns) c.BufferOffset = -1;
  for (TField* f : Fields()) {
    if (f->FieldKind != fkData || f->FieldNo() < 1 ||
        f->FieldNo() > static_cast<int32_t>(FColumns.size()))
      continue;
    FColumns[f->FieldNo() - 1].BufferOffset = offset;
    offset += f->DataSize() + 1;
    if (f->IsBlob()) FBlobFields.push_back(f);
  }
  FCalcOffset = offset;
  offset += CalcFieldsSize();
  const int32_t align = alignof(TBlobSlot);
  offset = (offset + align - 1) / align * align;
  FBlobOffset = offset;
  offset += static_cast<int32_t>(FBlobFields.size() * sizeof(TBlobSlot));
  FBookmarkOffset = offset;
  FBufferSize = offset + 5;
}

void TXbTable::DeactivateTable() {
  FSeqCount = -1;
  FRawCount = -1;
  FCountStale = true;
  FTableDir.clear();
  FCursorOpen = false;
  FRecImage.clear();
  FRecImage.shrink_to_fit();
  FColumns.clear();
  FBlobFields.clear();
  FPendingFirst = FPendingLast = FBlankAppended = false;
  FInsertFrom = 0;
  if (FArea > 0 && !Copy(E::xb_Alias(R(), FArea)).empty()) {
    Select();
    E::xb_Close(R());
  }
  FArea = 0;
}

// --- Record buffers ---

TBlobSlot* TXbTable::Slot(char* buffer, int32_t blobIndex) const {
  return reinterpret_cast<TBlobSlot*>(buffer + FBlobOffset) + blobIndex;
}

int32_t TXbTable::BlobIndex(const TField* field) const {
  auto it = std::find(FBlobFields.begin(), FBlobFields.end(), field);
  return it == FBlobFields.end() ? -1 : static_cast<int32_t>(it - FBlobFields.begin());
}

char* TXbTable::CreateRecordBuffer() {
  char* buffer = new char[static_cast<size_t>(FBufferSize)]();
  for (size_t i = 0; i < FBlobFields.size(); ++i)
    std::memset(Slot(buffer, static_cast<int32_t>(i))->Reference, ' ', 10);
  return buffer;
}

void TXbTable::DestroyRecordBuffer(char* buffer) {
  for (size_t i = 0; i < FBlobFields.size(); ++i)
    delete[] Slot(buffer, static_cast<int32_t>(i))->Content;
  delete[] buffer;
}

void TXbTable::ClearRecordBuffer(char* buffer) {
  std::memset(buffer, 0, static_cast<size_t>(FBlobOffset));
  SetBookmarkData(buffer, 0);
  for (size_t i = 0; i < FBlobFields.size(); ++i) {
    TBlobSlot* slot = Slot(buffer, static_cast<int32_t>(i));
    delete[] slot->Content;
    slot->Content = nullptr;
    slot->Length = 0;
    std::memset(slot->Reference, ' ', 10);
    slot->Modified = false;
    slot->Loaded = false;
  }
}

void TXbTable::ClearCalcArea(char* buffer) {
  std::memset(buffer + FCalcOffset, 0, static_cast<size_t>(CalcFieldsSize()));
}

TBookmarkFlag TXbTable::GetBookmarkFlag(const char* buffer) const {
  return static_cast<TBookmarkFlag>(buffer[FBookmarkOffset + 4]);
}

void TXbTable::SetBookmarkFlag(char* buffer, TBookmarkFlag flag) {
  buffer[FBookmarkOffset + 4] = static_cast<char>(flag);
}

int32_t TXbTable::GetBookmarkData(const char* buffer) const {
  int32_t v;
  std::memcpy(&v, buffer + FBookmarkOffset, 4);
  return v;
}

void TXbTable::SetBookmarkData(char* buffer, int32_t bookmark) {
  std::memcpy(buffer + FBookmarkOffset, &bookmark, 4);
}

void TXbTable::ClearBuffers() {
  TDataSet::ClearBuffers();
  if (FCursorOpen && ActiveBuffer()) ClearRecordBuffer(ActiveBuffer());
}

void TXbTable::MarkCurrent(int32_t recNo, TBookmarkFlag flag) {
  if (FSpeedMode || !ActiveBuffer()) return;
  SetBookmarkData(ActiveBuffer(), recNo);
  SetBookmarkFlag(ActiveBuffer(), flag);
}

// --- Reading and writing the record image ---

void TXbTable::FetchImage() {
  if (!E::xb_GetRecord(R(), FRecImage.data())) std::fill(FRecImage.begin(), FRecImage.end(), ' ');
}

void TXbTable::ReadImage(char* buffer) {
  const char* image = FRecImage.data();
  const char decimal = XbFormatSettings().DecimalSeparator;
  for (TField* f : Fields()) {
    if (f->FieldKind != fkData || f->FieldNo() < 1) continue;
    const TFieldInfo& c = FColumns[f->FieldNo() - 1];
    if (c.BufferOffset < 0) continue;
    char* entry = buffer + c.BufferOffset;
    char* value = entry + 1;
    const char* col = image + c.ColumnOffset;
    const int32_t w = std::min(c.Width, FRecSize - c.ColumnOffset);
    if (w < 0) continue;
    if (FEncrypted && FPassword.empty()) {
      entry[0] = 1;
      if (f->DataType() == ftString) {
        std::memset(value, '*', static_cast<size_t>(f->Size()));
        value[f->Size()] = 0;
      }
      continue;
    }
    // Text columns, the most of a record, go straight from the image into the buffer.
    if (f->DataType() == ftString) {
      entry[0] = 1;
      size_t n = std::min(static_cast<size_t>(w), static_cast<size_t>(f->Size()));
      while (n > 0 && col[n - 1] == ' ') --n;
      std::memcpy(value, col, n);
      value[n] = 0;
      continue;
    }
    std::string text(col, static_cast<size_t>(w));
    switch (f->DataType()) {
      case ftSmallint:
      case ftInteger: {
        std::string t = TrimBlanks(text);
        if (t.empty()) break;
        entry[0] = 1;
        char* end = nullptr;
        long v = std::strtol(t.c_str(), &end, 10);
        if (*end) v = 0;
        if (f->DataType() == ftSmallint) {
          int16_t s = static_cast<int16_t>(v);
          std::memcpy(value, &s, 2);
        } else {
          int32_t s = static_cast<int32_t>(v);
          std::memcpy(value, &s, 4);
        }
        break;
      }
      case ftBoolean: {
        if (TrimBlanks(text).empty()) break;
        entry[0] = 1;
        int16_t v = (!text.empty() && (text[0] == 'T' || text[0] == 'Y')) ? -1 : 0;
        std::memcpy(value, &v, 2);
        break;
      }
      case ftFloat: {
        if (TrimBlanks(text).empty()) break;
        entry[0] = 1;
        for (char& ch : text) {
          if (ch == ',')
            ch = ' ';
          else if (ch == '.')
            ch = decimal;
        }
        std::string t = TrimBlanks(text);
        if (decimal != '.') std::replace(t.begin(), t.end(), decimal, '.');
        double v = CReadNumber(t).value_or(0);
        std::memcpy(value, &v, 8);
        break;
      }
      case ftDate: {
        int32_t day = 0;
        if (text.size() < 8 || text[1] == ' ' || text[1] == 0 || text[5] == 0 || text[7] == 0) {
          std::memcpy(value, &day, 4);
          break;
        }
        entry[0] = 1;
        auto num = [&](size_t from, size_t count) {
          int v = 0;
          for (size_t i = from; i < from + count; ++i)
            v = v * 10 + (std::isdigit(static_cast<unsigned char>(text[i])) ? text[i] - '0' : 0);
          return v;
        };
        if (text.compare(4, 2, "00") != 0 && text.compare(6, 2, "00") != 0)
          day = TDateField::DayNumber(num(0, 4), num(4, 2), num(6, 2));
        std::memcpy(value, &day, 4);
        break;
      }
      case ftMemo:
      case ftBlob: {
        TBlobSlot* slot = Slot(buffer, BlobIndex(f));
        delete[] slot->Content;
        slot->Content = nullptr;
        slot->Length = 0;
        slot->Modified = false;
        slot->Loaded = false;
        if (!(State() == dsInsert && Eof())) {
          std::memset(slot->Reference, ' ', 10);
          std::memcpy(slot->Reference, col, static_cast<size_t>(std::min(w, 10)));
        }
        bool blank = std::all_of(slot->Reference, slot->Reference + 10,
                                 [](char ch) { return ch == ' ' || ch == 0; });
        entry[0] = blank ? 0 : 1;
        break;
      }
      default:
        break;
    }
  }
}

void TXbTable::WriteImage(const char* buffer) {
  Select();
  if (static_cast<int32_t>(Fields().size()) != FColumnCount) FetchImage();
  char* image = FRecImage.data();
  for (TField* f : Fields()) {
    if (f->FieldKind != fkData || f->FieldNo() < 1) continue;
    const TFieldInfo& c = FColumns[f->FieldNo() - 1];
    if (c.BufferOffset < 0) continue;
    const char* entry = buffer + c.BufferOffset;
    const char* value = entry + 1;
    bool has = entry[0] != 0;
    char* col = image + c.ColumnOffset;
    const size_t w = static_cast<size_t>(c.Width);
    auto put = [&](const std::string& text, bool right) {
      std::string t = text.substr(0, w);
      std::string padded =
          right ? std::string(w - t.size(), ' ') + t : t + std::string(w - t.size(), ' ');
      std::memcpy(col, padded.data(), w);
    };
    switch (f->DataType()) {
      case ftString:
        put(has ? std::string(value) : std::string(), false);
        break;
      case ftSmallint:
      case ftInteger: {
        std::string text;
        if (has) {
          if (f->DataType() == ftSmallint) {
            int16_t v;
            std::memcpy(&v, value, 2);
            text = std::to_string(v);
          } else {
            int32_t v;
            std::memcpy(&v, value, 4);
            text = std::to_string(v);
          }
        }
        if (text.size() > w) throw EXbError("Translate error. Value out of bounds");
        put(text, true);
        break;
      }
      case ftBoolean: {
        int16_t v = 0;
        std::memcpy(&v, value, 2);
        if (w > 0) col[0] = has ? (v ? 'T' : 'F') : ' ';
        break;
      }
      case ftFloat: {
        std::string text;
        if (has) {
          double v;
          std::memcpy(&v, value, 8);
          text = CFixedText(v, c.Decimals);
          // A value wider than its column gets the column filled with asterisks, as xBase
          // tools show an overflow, rather than digits cut off.
          if (text.size() > w) text = std::string(w, '*');
        }
        put(text, true);
        break;
      }
      case ftDate: {
        std::string text(8, ' ');
        if (has) {
          int32_t day;
          std::memcpy(&day, value, 4);
          if (day > 0) {
            int y = 0, m = 0, d = 0;
            TDateField::SplitDayNumber(day, y, m, d);
            if (y < 100) {
              y += (FEnv.Epoch / 100) * 100;
              if (y < FEnv.Epoch) y += 100;
            }
            char buf[16];
            std::snprintf(buf, sizeof(buf), "%04d%02d%02d", y, m, d);
            text = buf;
          }
        }
        put(text, false);
        break;
      }
      case ftMemo:
      case ftBlob: {
        const TBlobSlot* slot =
            reinterpret_cast<const TBlobSlot*>(buffer + FBlobOffset) + BlobIndex(f);
        put(std::string(slot->Reference, 10), false);
        break;
      }
      default:
        break;
    }
  }
  if (State() == dsInsert)
    image[0] = ' ';
  else if (E::xb_Deleted(R()))
    image[0] = '*';
  E::xb_PutRecord(R(), image);
}

// --- Fetching and cursor ---

TGetResult TXbTable::FetchRecord(char* buffer, TGetMode mode) {
  for (;;) {
    Select();
    int32_t before = (FPendingFirst || FPendingLast) ? 0 : E::xb_RecNo(R());
    TGetResult result = grOK;
    switch (mode) {
      case gmCurrent:
        if (E::xb_Bof(R()) && E::xb_Eof(R())) {
          result = grEOF;
        } else if (E::xb_Eof(R()) && EOFAction == eaMoveLast) {
          E::xb_GoBottom(R());
          if (E::xb_Eof(R())) result = grEOF;
        }
        break;
      case gmNext:
        if (FPendingFirst)
          E::xb_GoTop(R());
        else
          E::xb_Skip(R(), 1);
        if (E::xb_Eof(R()) || E::xb_RecNo(R()) == before) {
          E::xb_GoBottom(R());
          result = grEOF;
        }
        break;
      case gmPrior:
        if (FPendingLast)
          E::xb_GoBottom(R());
        else
          E::xb_Skip(R(), -1);
        if (E::xb_Bof(R()) || E::xb_RecNo(R()) == before) {
          E::xb_GoTop(R());
          result = grBOF;
        }
        break;
    }
    FCachedRecNo = E::xb_RecNo(R());
    FCachedPos = -1;
    ClearRecordBuffer(buffer);
    if (result == grOK) {
      FetchImage();
      ReadImage(buffer);
      SetBookmarkData(buffer, FCachedRecNo);
      SetBookmarkFlag(buffer, bfCurrent);
      if (HasCalcFields()) CalculateFields(buffer);
    }
    bool rejected = false;
    if (OnFilterRecord && Filtered) {
      TDataSetState saved = SetTempState(dsFilter);
      FFilterBuffer = buffer;
      bool accept = true;
      try {
        OnFilterRecord(*this, accept);
      } catch (...) {
        // The handler's failure is its own; the record is judged by the flag as it was left.
      }
      RestoreState(saved);
      Select();
      if (!accept) {
        rejected = true;
        if (mode == gmCurrent) result = grEOF;
        if (FPendingFirst) result = grBOF;
        if (FPendingLast) result = grEOF;
      }
    }
    bool again = rejected && result == grOK;
    FPendingFirst = false;
    FPendingLast = false;
    if (!again) return result;
  }
}

void TXbTable::CursorToFirst() {
  if (FRoute.AccessMethod == amLocal && FArea > 0 && Copy(E::xb_Alias(R(), FArea)).empty())
    EngineOpen();
  Select();
  E::xb_GoTop(R());
  FPendingFirst = true;
  FPendingLast = false;
  FCachedRecNo = 0;
}

void TXbTable::CursorToLast() {
  Select();
  E::xb_GoBottom(R());
  FPendingLast = true;
  FPendingFirst = false;
}

void TXbTable::CursorToBuffer(char* buffer) {
  Select();
  int32_t recNo = GetBookmarkData(buffer);
  E::xb_Go(R(), recNo);
  FCachedRecNo = recNo;
  FCachedPos = FIndexName.empty() ? recNo : -1;
}

void TXbTable::CursorToBookmark(int32_t bookmark) {
  try {
    SetRecNo(bookmark);
  } catch (const std::exception&) {
    throw EXbError("Invalid bookmark");
  }
}

void TXbTable::Resync(unsigned mode) {
  if (FArea < 1 || FSpeedMode || !Active() || !FCursorOpen) return;
  Select();
  int32_t recNo = RecNo();
  E::xb_Go(R(), recNo);
  FCachedRecNo = recNo;
  CursorPosChanged();
  TDataSet::Resync(mode);
}

void TXbTable::ComponentResync() {
  Resync(0);
}

void TXbTable::BeginMove() {
  if (FSpeedMode) return;
  CheckBrowseMode();
  if (!ControlsDisabled()) DoBeforeScroll();
}

void TXbTable::EndMove() {
  if (FSpeedMode) return;
  DoAfterScroll();
}

// --- Hooks around editing ---

void TXbTable::DoBeforeEdit() {
  if (BeforeEdit) BeforeEdit(*this);
  if (FArea <= 0) return;
  Select();
  int32_t recNo = FSpeedMode ? E::xb_RecNo(R()) : GetBookmarkData(ActiveBuffer());
  FCachedRecNo = recNo;
  if (!E::xb_Rlock(R(), recNo))
    throw EXbError("Record Lock Failure. May be locked by another user or task.");
  if (FRoute.AccessMethod == amLocal && Copy(E::xb_Alias(R(), FArea)).empty()) return;
  if (recNo != -1) {
    E::xb_Go(R(), recNo);
    CursorPosChanged();
    FetchImage();
    ReadImage(ActiveBuffer());
  }
}

void TXbTable::DoBeforeInsert() {
  if (BeforeInsert) BeforeInsert(*this);
  if (FCursorOpen && !IsEmpty())
    FInsertFrom = GetBookmarkData(ActiveBuffer());
  else
    FInsertFrom = 0;
}

void TXbTable::DoOnNewRecord() {
  CopyMasterValues();
  if (OnNewRecord) OnNewRecord(*this);
}

// A new detail record starts with the master's link values, so that it belongs to the master
// record it was added under. Master field i goes to the field that the detail's key fields
// name at place i (the pairing the master key is built from), else to the field of its own name.
void TXbTable::CopyMasterValues() {
  if (!FMasterSource || !FMasterLink->Active() || !FMasterLink->HasFields()) return;
  TDataSet* master = FMasterSource->DataSet();
  if (!master) return;
  std::vector<std::string> keyFields;
  if (!FIndexName.empty() && FArea > 0) {
    Select();
    keyFields = KeyFieldsOf(Copy(E::xb_IndexKey(R())));
  }
  std::vector<std::string> names = SplitNames(FMasterFields);
  for (size_t i = 0; i < names.size(); ++i) {
    TField* from = master->FieldByName(names[i]);
    TField* to = i < keyFields.size() ? FindField(keyFields[i]) : nullptr;
    if (!to) to = FindField(names[i]);
    if (!to || to->FieldKind != fkData) continue;
    if (from->IsNull()) {
      to->Clear();
      continue;
    }
    switch (from->DataType()) {
      case ftSmallint:
      case ftInteger:
      case ftDate:
        to->SetAsInteger(from->AsInteger());
        break;
      case ftFloat:
        to->SetAsFloat(from->AsFloat());
        break;
      case ftBoolean:
        to->SetAsBoolean(from->AsBoolean());
        break;
      default:
        to->SetAsString(from->AsString());
        break;
    }
  }
}

void TXbTable::DoAfterInsert() {
  SetBookmarkFlag(ActiveBuffer(), bfEOF);
  SetBookmarkData(ActiveBuffer(), -1);
  if (AfterInsert) AfterInsert(*this);
}

void TXbTable::CancelRecord() {}

void TXbTable::DoAfterCancel() {
  if (FArea > 0) {
    Select();
    if (FInsertFrom > 0) {
      MarkCurrent(FInsertFrom, bfCurrent);
      FInsertFrom = 0;
      ComponentResync();
    }
  }
  if (AfterCancel) AfterCancel(*this);
  if (FArea > 0) {
    Select();
    E::xb_Unlock(R(), 0);
  }
}

void TXbTable::DoAfterScroll() {
  if (FArea > 0) UpdateCursorPos();
  if (AfterScroll) AfterScroll(*this);
}

// --- Posting, adding, deleting ---

void TXbTable::PostRecord() {
  if (FArea < 1) return;
  Select();
  if (State() == dsInsert && !FBlankAppended) {
    FCountStale = true;
    E::xb_AppendBlank(R());
    FCachedRecNo = E::xb_RecNo(R());
    FSeqCount = E::xb_RecCount(R());
  }
  WriteImage(ActiveBuffer());
  for (size_t i = 0; i < FBlobFields.size(); ++i) {
    TBlobSlot* slot = Slot(ActiveBuffer(), static_cast<int32_t>(i));
    if (!slot->Modified) continue;
    TField* f = FBlobFields[i];
    if (f->DataType() == ftMemo) {
      E::xb_Replace(R(), f->FieldName.c_str(), XB_REPLACE_MEMO, slot->Content ? slot->Content : "");
    } else {
      int32_t written = E::xb_PutBlob(R(), f->FieldName.c_str(), slot->Content ? slot->Content : "",
                                      slot->Length);
      if (written != slot->Length) throw EXbError("Blob Write Error");
    }
  }
  E::xb_Commit(R());
  E::xb_Unlock(R(), 0);
  CursorPosChanged();
  if (!FSpeedMode) {
    SetBookmarkFlag(ActiveBuffer(), E::xb_Eof(R()) ? bfEOF : bfCurrent);
    int32_t recNo = E::xb_RecNo(R());
    SetBookmarkData(ActiveBuffer(), recNo);
    FCachedRecNo = recNo;
  }
  FInsertFrom = 0;
  FBlankAppended = false;
}

void TXbTable::AddRecord(char* buffer, bool append) {
  (void)append;  // whether asked to append or to insert, the record goes to the end
  if (FReadOnly) throw EXbError(kReadOnlyTable);
  if (FArea < 1) return;
  Select();
  E::xb_AppendBlank(R());
  FCachedRecNo = E::xb_RecNo(R());
  FSeqCount = E::xb_RecCount(R());
  WriteImage(buffer);
  E::xb_Commit(R());
  CursorPosChanged();
  SetBookmarkFlag(ActiveBuffer(), E::xb_Eof(R()) ? bfEOF : bfCurrent);
  FCachedRecNo = E::xb_RecNo(R());
  SetBookmarkData(ActiveBuffer(), FCachedRecNo);
}

void TXbTable::DeleteCurrent() {
  if (FReadOnly) throw EXbError(kReadOnlyTable);
  bool empty;
  if (FSpeedMode) {
    // In speed mode the buffers know nothing: the engine's count and position decide.
    if (FArea < 1) return;
    Select();
    empty = E::xb_RecCount(R()) == 0 || E::xb_RecNo(R()) > E::xb_RecCount(R());
  } else {
    empty = IsEmpty();
  }
  if (empty) throw EXbError(kEmptyTable);
  if (FArea < 1) return;
  Select();
  if (!FSpeedMode) UpdateCursorPos();
  Select();
  std::string condition = Upper(Copy(E::xb_IndexCondition(R())));
  bool hidden = condition.find("DELETED()") != std::string::npos ||
                E::SysProp(R(), XB_PROP_DELETED_HIDDEN, 0) != 0;
  Select();
  if (hidden) {
    int32_t r = E::xb_RecNo(R());
    E::xb_Skip(R(), 1);
    int32_t next = E::xb_Eof(R()) ? 0 : E::xb_RecNo(R());
    E::xb_Go(R(), r);
    E::xb_Delete(R());
    if (next == 0)
      E::xb_GoBottom(R());
    else
      E::xb_Go(R(), next);
  } else {
    E::xb_Delete(R());
  }
  CursorPosChanged();
  if (!FSpeedMode) {
    SetBookmarkFlag(ActiveBuffer(), E::xb_Eof(R()) ? bfEOF : bfCurrent);
    SetBookmarkData(ActiveBuffer(), E::xb_RecNo(R()));
  }
  FCountStale = true;
  ComponentResync();
}

void TXbTable::Delete() {
  CheckBrowseMode();
  if (BeforeDelete) BeforeDelete(*this);
  DoBeforeScroll();
  DeleteCurrent();
  if (AfterDelete) AfterDelete(*this);
  DoAfterScroll();
}

void TXbTable::RefreshTable() {
  Select();
  std::string filter = Copy(E::xb_DBFilter(R()));
  if (!filter.empty()) {
    int32_t r = E::xb_RecNo(R());
    if (E::xb_QueryTest(R(), filter.c_str()) > 0) {
      RawQuery(filter);
      E::xb_Go(R(), r);
      CursorPosChanged();
    }
  } else {
    ComponentResync();
  }
}

// --- Field values ---

const char* TXbTable::FieldBuffer() const {
  switch (State()) {
    case dsCalcFields:
      return FCalcBuffer;
    case dsFilter:
      return FFilterBuffer;
    default:
      return ActiveBuffer();
  }
}

bool TXbTable::ReadFieldValue(const TField* field, void* destination) {
  if (!FCursorOpen) return false;
  const char* buffer = FieldBuffer();
  if (!buffer) return false;
  int32_t offset;
  if (field->FieldKind == fkData) {
    if (field->FieldNo() < 1 || field->FieldNo() > static_cast<int32_t>(FColumns.size()))
      return false;
    offset = FColumns[field->FieldNo() - 1].BufferOffset;
    if (offset < 0) return false;
  } else {
    offset = FCalcOffset + field->Offset();
  }
  if (!buffer[offset]) return false;
  if (destination)
    std::memcpy(destination, buffer + offset + 1, static_cast<size_t>(field->DataSize()));
  return true;
}

void TXbTable::WriteFieldValue(TField* field, const void* value) {
  if (!Active()) return;
  int32_t offset;
  if (field->FieldKind == fkData) {
    if (State() != dsEdit && State() != dsInsert && State() != dsSetKey)
      throw EXbError("Data set must be in Edit or Insert mode to update");
    if (field->OnValidate) field->OnValidate(*field);
    if (field->FieldNo() < 1) return;
    offset = FColumns[field->FieldNo() - 1].BufferOffset;
    if (offset < 0) return;
  } else {
    offset = FCalcOffset + field->Offset();
  }
  char* buffer = State() == dsCalcFields ? FCalcBuffer : ActiveBuffer();
  if (value) {
    buffer[offset] = 1;
    std::memcpy(buffer + offset + 1, value, static_cast<size_t>(field->DataSize()));
  } else {
    buffer[offset] = 0;
    std::memset(buffer + offset + 1, 0, static_cast<size_t>(field->DataSize()));
  }
  if (State() != dsCalcFields && State() != dsFilter && State() != dsNewValue)
    DataEvent(deFieldChange, reinterpret_cast<intptr_t>(field));
}

std::unique_ptr<TMemoryStream> TXbTable::CreateBlobStream(TField* field, TBlobStreamMode mode) {
  return std::make_unique<TXbBlobStream>(*this, field, mode);
}

TVariant TXbTable::FieldValue(TField* field) const {
  if (!field || field->IsNull()) return {};
  switch (field->DataType()) {
    case ftSmallint:
    case ftInteger:
    case ftDate:
      return field->AsInteger();
    case ftBoolean:
      return field->AsBoolean();
    case ftFloat:
      return field->AsFloat();
    default:
      return field->AsString();
  }
}

// --- Record numbers and counts ---

int32_t TXbTable::RecNo() const {
  if (FArea < 1) return 0;
  if (FSpeedMode) {
    Select();
    return E::xb_RecNo(R());
  }
  const char* buffer = State() == dsCalcFields ? FCalcBuffer : ActiveBuffer();
  return buffer ? GetBookmarkData(buffer) : 0;
}

void TXbTable::SetRecNo(int32_t value) {
  if (FArea < 1) return;
  if (FSpeedMode) {
    Select();
    E::xb_Go(R(), value);
    FCachedRecNo = value;
    CursorPosChanged();
    return;
  }
  BeginMove();
  MarkCurrent(value, bfCurrent);
  ComponentResync();
  EndMove();
}

void TXbTable::RefreshCounts() {
  if (FArea < 1) return;
  Select();
  FRawCount = E::xb_RecCount(R());
  switch (SequencedCount) {
    case scAllCount:
      FSeqCount = E::xb_Count(R());
      break;
    case scFilterOnlyCount:
      FSeqCount = E::xb_QueryRecCount(R());
      break;
    default:
      FSeqCount = FRawCount;
      break;
  }
  FCountStale = false;
}

int32_t TXbTable::RecordCount() {
  if (FArea < 1) return 0;
  if (FCountStale || FSeqCount == -1) RefreshCounts();
  return FSeqCount;
}

int32_t TXbTable::SequenceNumber() {
  if (FArea < 1 || !FCursorOpen) return 0;
  Select();
  UpdateCursorPos();
  if (FOrderNo == 0 || FTableType == ttXBNTX) return FCachedRecNo;
  if (FCountStale || FSeqCount == -1) RefreshCounts();
  if (FCachedPos == -1) {
    Select();
    FCachedPos = static_cast<int32_t>(std::trunc(E::xb_OrderPosGet(R()) * FSeqCount));
  }
  return FCachedPos;
}

void TXbTable::SetSequenceNumber(int32_t n) {
  if (FArea < 1) return;
  CheckBrowseMode();
  Select();
  E::xb_Go(R(), n);
  if (FSeqCount > 0) E::xb_OrderPosSet(R(), static_cast<double>(n) / FSeqCount);
  CursorPosChanged();
  MarkCurrent(E::xb_RecNo(R()), bfCurrent);
  ComponentResync();
}

int32_t TXbTable::BookmarkOrder(const int32_t* a, const int32_t* b) {
  if (!a || !b) return 2;
  auto byNumber = [](int32_t x, int32_t y) { return x < y ? -1 : x == y ? 0 : 1; };
  if (FIndexName.empty()) return byNumber(*a, *b);
  Select();
  int32_t saved = E::xb_RecNo(R());
  auto keyText = [&](int32_t recNo, int32_t& type, bool first, int32_t& physical) {
    E::xb_Go(R(), recNo);
    physical = E::xb_RecNo(R());
    std::string key = Copy(E::xb_IndexKey(R()));
    if (first) type = E::xb_EvalTest(R(), key.c_str());
    if (type == XB_EXPR_NUMERIC) return CGeneralText(E::xb_EvalNumeric(R(), key.c_str()));
    if (type == XB_EXPR_LOGICAL)
      return std::to_string(E::xb_EvalLogical(R(), key.c_str()) ? -1 : 0);
    return Copy(E::xb_EvalString(R(), key.c_str()));
  };
  int32_t type = 0, ra = 0, rb = 0;
  std::string va = keyText(*a, type, true, ra);
  std::string vb = keyText(*b, type, false, rb);
  int32_t result;
  if (va != vb) {
    bool descending = E::SysProp(R(), XB_PROP_DESCENDING, 0) != 0;
    Select();
    std::string expression = "\"" + va + "\" < \"" + vb + "\"";
    bool less = E::xb_EvalLogical(R(), expression.c_str()) != 0;
    result = less != descending ? -1 : 1;
  } else {
    result = byNumber(ra, rb);
  }
  E::xb_Go(R(), saved);
  CursorPosChanged();
  return result;
}

// --- Checks ---

void TXbTable::CheckClosed() const {
  if (FArea < 1) throw EXbError(kClosedTable);
}
void TXbTable::CheckReadOnly() const {
  if (FReadOnly) throw EXbError(kReadOnlyTable);
}
void TXbTable::CheckExclusive() const {
  if (!FExclusive)
    throw EXbError("Table must be opened in Exclusive mode to perform this operation");
}
void TXbTable::CheckOrder() const {
  if (FIndexName.empty()) throw EXbError(kNeedsOrder);
}

// --- Commands ---

int16_t TXbTable::IndexTag(const std::string& file, const std::string& tag,
                           const std::string& expression, int16_t option, bool descend,
                           const std::string& condition) {
  CheckClosed();
  if (tag.empty()) throw EXbError("Missing Parameter to IndexTag Method: Index Tag Name");
  if (expression.empty())
    throw EXbError("Missing Parameter to Index or IndexTag Method: Index Expression");
  Select();
  if (E::xb_EvalTest(R(), expression.c_str()) == 0)
    throw EXbError("Invalid index expression [" + expression + "]");
  std::string trimmed = TrimControl(tag);
  int16_t result = static_cast<int16_t>(
      E::xb_IndexTag(R(), file.empty() ? static_cast<const char*>(nullptr) : file.c_str(),
                     trimmed.c_str(), expression.c_str(), option, Flag(descend),
                     condition.empty() ? static_cast<const char*>(nullptr) : condition.c_str()));
  FOrderNo = result;
  FIndexName = tag;
  FIndexDefs.Updated = false;
  RefreshIndexDefs();
  FCountStale = true;
  CursorPosChanged();
  if (!condition.empty())
    GoTop();
  else
    ComponentResync();
  return result;
}

int16_t TXbTable::TagArea(const std::string& tag) {
  if (FArea < 1) return 0;
  Select();
  return static_cast<int16_t>(E::xb_TagArea(R(), tag.c_str()));
}

int16_t TXbTable::SetOrder(int16_t order) {
  CheckClosed();
  if (Live()) CheckBrowseMode();
  Select();
  int16_t result = static_cast<int16_t>(E::xb_SetOrder(R(), order));
  std::string name =
      Copy(FTableType == ttXBNTX ? E::xb_IndexName(R(), order) : E::xb_TagName(R(), order));
  FOrderNo = order;
  FIndexName = name;
  FCountStale = true;
  CursorPosChanged();
  if (Live()) SetRecNo(RecNo());
  return result;
}

void TXbTable::GoTop() {
  if (FSpeedMode) {
    if (FArea < 1) return;
    Select();
    E::xb_GoTop(R());
    FCachedRecNo = 1;
    CursorPosChanged();
    return;
  }
  if (FArea < 1) return;
  First();
}

void TXbTable::Skip(int32_t n) {
  if (FArea < 1) return;
  if (FSpeedMode) {
    Select();
    E::xb_Skip(R(), n);
    CursorPosChanged();
  } else {
    MoveBy(n);
  }
  if (n > 0) FPendingFirst = false;
  if (n < 0) FPendingLast = false;
}

void TXbTable::Next() {
  if (FSpeedMode)
    Skip(1);
  else
    TDataSet::Next();
}

void TXbTable::Prior() {
  if (FSpeedMode)
    Skip(-1);
  else
    TDataSet::Prior();
}

void TXbTable::Zap() {
  CheckReadOnly();
  CheckExclusive();
  if (FArea < 1) return;
  Select();
  E::xb_Zap(R());
  FCountStale = true;
  CursorPosChanged();
  ComponentResync();
}

void TXbTable::Pack() {
  CheckReadOnly();
  CheckExclusive();
  CheckClosed();
  Select();
  E::xb_Pack(R());
  FCountStale = true;
  CursorPosChanged();
  ComponentResync();
}

void TXbTable::AppendBlank() {
  if (FSpeedMode) {
    CheckReadOnly();
    if (FArea < 1) return;
    Select();
    E::xb_AppendBlank(R());
    FCachedRecNo = E::xb_RecNo(R());
    FSeqCount = E::xb_RecCount(R());
    FBlankAppended = true;
    FCountStale = true;
    CursorPosChanged();
    return;
  }
  Append();
  FCountStale = true;
}

bool TXbTable::AppendFrom(const std::string& file, int16_t sourceType,
                          const std::string& condition) {
  CheckReadOnly();
  if (FArea < 1) return false;
  BeginMove();
  Select();
  int32_t result = E::xb_AppendFrom(R(), file.c_str(), sourceType, condition.c_str());
  E::xb_Commit(R());
  FCachedRecNo = E::xb_RecNo(R());
  FSeqCount = E::xb_RecCount(R());
  FCountStale = true;
  CursorPosChanged();
  ComponentResync();
  EndMove();
  return result != 0;
}

bool TXbTable::Deleted() {
  if (FArea < 1) return false;
  Select();
  E::xb_Go(R(), RecNo());
  CursorPosChanged();
  if (!FSpeedMode && State() != dsCalcFields) UpdateCursorPos();
  Select();
  return E::xb_Deleted(R()) != 0;
}

void TXbTable::Recall() {
  CheckReadOnly();
  if (IsEmpty()) throw EXbError(kEmptyTable);
  CheckClosed();
  Select();
  E::xb_Recall(R());
  ComponentResync();
}

bool TXbTable::Seek(const std::string& key) {
  CheckClosed();
  CheckOrder();
  BeginMove();
  Select();
  bool found = E::xb_Seek(R(), key.c_str()) != 0;
  FCachedRecNo = E::xb_RecNo(R());
  if (found) {
    MarkCurrent(FCachedRecNo, bfCurrent);
  } else {
    E::xb_GoBottom(R());
    FPendingLast = true;
    MarkCurrent(FCachedRecNo, bfEOF);
  }
  CursorPosChanged();
  ComponentResync();
  EndMove();
  return found;
}

std::string TXbTable::GetString(const std::string& fieldName) {
  if (FArea < 1) return {};
  if (FSpeedMode) {
    Select();
    return Copy(E::xb_GetString(R(), fieldName.c_str()));
  }
  TField* f = FieldByName(fieldName);
  std::string text = f->AsString();
  if (f->DataType() == ftString && static_cast<int32_t>(text.size()) < f->Size())
    text.append(static_cast<size_t>(f->Size()) - text.size(), ' ');
  return text;
}

bool TXbTable::Eof() {
  if (FArea < 1) return TDataSet::Eof();
  Select();
  return E::xb_Eof(R()) != 0 || TDataSet::Eof();
}

bool TXbTable::Bof() {
  if (FArea < 1) return TDataSet::Bof();
  if (FSpeedMode) {
    Select();
    return E::xb_Bof(R()) != 0 || TDataSet::Bof();
  }
  return TDataSet::Bof();
}

int32_t TXbTable::RecCount() {
  if (FArea < 1) return 0;
  RefreshCounts();
  return FRawCount;
}

int32_t TXbTable::Count() {
  if (FArea < 1) return 0;
  Select();
  return E::xb_Count(R());
}

int32_t TXbTable::QueryRecCount() {
  if (FArea < 1) return 0;
  Select();
  return E::xb_QueryRecCount(R());
}

std::string TXbTable::DBFilter() {
  if (FArea < 1) return {};
  Select();
  return Copy(E::xb_DBFilter(R()));
}

int16_t TXbTable::IndexOrd() {
  CheckClosed();
  Select();
  FOrderNo = E::xb_IndexOrd(R());
  return static_cast<int16_t>(FOrderNo);
}

std::string TXbTable::IndexKey() {
  if (FArea < 1) return {};
  CheckOrder();
  Select();
  return Copy(E::xb_IndexKey(R()));
}

bool TXbTable::IsEncrypted(int32_t n) {
  CheckClosed();
  Select();
  return E::xb_IsEncrypted(R(), n) != 0;
}

int32_t TXbTable::FieldWidth(const std::string& columnName) {
  if (FArea < 1) return 0;
  Select();
  return E::xb_FieldWidth(R(), columnName.c_str());
}

// --- Index order ---

std::string TXbTable::CompletedIndexFile(const std::string& file, bool forExtraIndexes) const {
  std::string path = Native(file);
  if (DirPart(path).empty()) path = FTableDir + path;
  if (!HasExtension(path)) {
    if (!forExtraIndexes)
      path += FTableType == ttXBNTX ? ".NTX" : ".IDX";
    else if (FTableType == ttXBNTX)
      path += ".NTX";
    else if (FTableType == ttXBFOX)
      path += ".IDX";
    else if (FTableType == ttXBNSX || FTableType == ttXBNSX_DBT)
      path += ".NSX";
  }
  return path;
}

int32_t TXbTable::FindIndexFileLine(const std::string& name) const {
  for (size_t i = 0; i < FExtraIndexes.Count(); ++i)
    if (strcasecmp(FExtraIndexes[i].c_str(), name.c_str()) == 0) return static_cast<int32_t>(i + 1);
  return 0;
}

void TXbTable::SetIndexName(const std::string& value) {
  if (value == FIndexName) return;
  if (FTableType == ttXBNTX &&
      Upper(StemBeforeFirstDot(value)) == Upper(StemBeforeFirstDot(FIndexName)))
    return;
  FIndexName = value;
  if (FArea < 1) return;
  Select();
  if (Live()) {
    CheckBrowseMode();
    Select();
  }
  int32_t n = 0;
  if (value.empty()) {
    n = 0;
  } else if (FTableType != ttXBNTX && Upper(Extension(value)) != ".IDX") {
    n = E::xb_TagArea(R(), value.c_str());
  } else {
    n = FindIndexFileLine(value);
    if (n == 0) {
      std::string file = CompletedIndexFile(value, false);
      if (E::FileExists(R(), FDatabaseName, file)) {
        n = E::xb_IndexOpen(R(), file.c_str());
        FIndexDefs.Updated = false;
        RefreshIndexDefs();
        Select();
      }
    }
  }
  if (Live() && !value.empty() && n == 0) throw EXbError("Invalid IndexName value : " + value);
  E::xb_SetOrder(R(), n);
  FOrderNo = n;
  FCountStale = true;
  CursorPosChanged();
  if (Live()) {
    UpdateCursorPos();
    if (FMasterLink->Active() && FMasterLink->HasFields()) MasterChanged();
    ComponentResync();
  }
}

void TXbTable::RefreshIndexDefs() {
  if (FArea < 1 || FIndexDefs.Updated) return;
  Select();
  E::xb_SetStringType(R(), 1);
  int32_t k = E::SysProp(R(), XB_PROP_ORDER_COUNT, 0);
  FIndexDefs.Items.clear();
  Select();
  if (k > 0) {
    int32_t saved = E::xb_IndexOrd(R());
    for (int32_t i = 1; i <= k; ++i) {
      std::string file;
      if (FTableType == ttXBNTX) {
        file = Copy(E::xb_IndexName(R(), i));
        if (file.empty()) continue;
      }
      E::xb_SetOrder(R(), i);
      CursorPosChanged();
      std::string key = Upper(Copy(E::xb_IndexKey(R())));
      std::string name = FTableType == ttXBNTX ? file : Copy(E::xb_TagName(R(), i));
      TIndexDef def;
      if (FTableType == ttXBNTX) def.Options |= ixNonMaintained;
      int32_t type = E::xb_IndexType(R());
      if (type == 2 || type == 4) def.Options |= ixUnique;
      if (key.find("UPPER(") != std::string::npos) def.Options |= ixCaseInsensitive;
      if (E::SysProp(R(), XB_PROP_DESCENDING, 0) != 0) def.Options |= ixDescending;
      Select();
      if (key.find_first_of("+(-") != std::string::npos) def.Options |= ixExpression;
      if (name.empty() || key.empty()) throw EXbError("Invalid Index File or Tag");
      def.Name = name;
      if (def.Options & ixExpression)
        def.Expression = key;
      else
        def.Fields = Copy(E::xb_IndexKeyField(R()));
      def.Source = FTableType == ttXBNTX ? file : FilePart(Copy(E::xb_IndexName(R(), i)));
      FIndexDefs.Items.push_back(def);
    }
    E::xb_SetOrder(R(), saved);
  }
  FIndexDefs.Updated = true;
}

void TXbTable::SetExtraIndexes(const std::vector<std::string>& lines) {
  SetIndexName("");
  FExtraIndexes.Assign(lines);
  if (FArea >= 1) {
    OpenExtraIndexes();
    FIndexDefs.Updated = false;
    RefreshIndexDefs();
  }
}

void TXbTable::OpenExtraIndexes() {
  if (FExtraIndexes.Count() == 0) return;
  if (FArea >= 1) {
    Select();
    int32_t saved = E::xb_IndexOrd(R());
    E::xb_CloseIndexes(R());
    if (FTableType != ttXBNTX) {
      std::string own = Native(FTableName);
      if (DirPart(own).empty()) own = FTableDir + own;
      own = DirPart(own) + StemBeforeFirstDot(own) + IndexExt();
      if (E::FileExists(R(), FDatabaseName, own)) E::xb_IndexOpen(R(), own.c_str());
    }
    E::xb_SetOrder(R(), 0);
    for (const std::string& line : FExtraIndexes.Lines()) {
      if (TrimBlanks(line).empty()) continue;
      std::string file = FTableType == ttXBNONE && HasExtension(line)
                             ? Native(line)
                             : CompletedIndexFile(line, true);
      if (!E::FileExists(R(), FDatabaseName, file))
        throw EXbError("Invalid IndexName value : " + line);
      int32_t n = E::xb_IndexOpen(R(), file.c_str());
      if (saved == 0) {
        saved = n;
        FIndexName = file;
      }
    }
    E::xb_SetOrder(R(), saved);
    FOrderNo = saved;
  }
  FIndexDefs.Updated = false;
  RefreshIndexDefs();
  FCountStale = true;
  CursorPosChanged();
  if (Live())
    ComponentResync();
  else if (FCursorOpen)
    UpdateCursorPos();
}

// --- Scopes and filters ---

bool TXbTable::ApplyScope(const char* low, const char* high) {
  if (FArea < 1) throw EXbError(kClosedTable);
  std::string lowText = Copy(low), highText = Copy(high);
  if (Live()) CheckBrowseMode();
  Select();
  int32_t r = RecNo();
  Select();
  bool result =
      E::xb_SetScope(R(), low ? lowText.c_str() : nullptr, high ? highText.c_str() : nullptr) != 0;
  FScopeBegin = lowText;
  FScopeEnd = highText;
  if (!E::xb_Eof(R())) {
    E::xb_Go(R(), r);
    E::xb_Skip(R(), 1);
    if (E::xb_Eof(R()))
      E::xb_GoBottom(R());
    else
      E::xb_Skip(R(), -1);
  }
  CursorPosChanged();
  MarkCurrent(E::xb_RecNo(R()), E::xb_Eof(R()) ? bfEOF : bfCurrent);
  FCountStale = true;
  ComponentResync();
  Select();
  FScoped = !Copy(E::xb_GetScope(R(), 0)).empty();
  return result;
}

void TXbTable::SetScopeBegin(const std::string& value) {
  FScopeBegin = value;
  if (FScoped) {
    std::string low = FScopeBegin, high = FScopeEnd;
    ApplyScope(low.c_str(), high.c_str());
  }
}

void TXbTable::SetScopeEnd(const std::string& value) {
  FScopeEnd = value;
  if (FScoped) {
    std::string low = FScopeBegin, high = FScopeEnd;
    ApplyScope(low.c_str(), high.c_str());
  }
}

void TXbTable::SetScoped(bool value) {
  if (value == FScoped) return;
  if (value) {
    std::string low = FScopeBegin, high = FScopeEnd;
    FScoped = ApplyScope(low.c_str(), high.c_str());
  } else {
    std::string low = FScopeBegin, high = FScopeEnd;
    ApplyScope(nullptr, nullptr);
    FScopeBegin = low;
    FScopeEnd = high;
    FScoped = false;
  }
}

int32_t TXbTable::RawQuery(const std::string& condition) {
  int32_t result = E::xb_Query(R(), condition.c_str());
  FSeqCount =
      E::xb_QueryTest(R(), condition.c_str()) > 0 ? E::xb_QueryRecCount(R()) : E::xb_RecCount(R());
  CursorPosChanged();
  return result;
}

int32_t TXbTable::Query(const std::string& condition) {
  if (FArea < 1) return 0;
  Select();
  if (FSpeedMode) return RawQuery(condition);
  if (!condition.empty() && E::xb_EvalTest(R(), condition.c_str()) != XB_EXPR_LOGICAL)
    throw EXbError("Invalid Query Expression\r\r" + condition);
  BeginMove();
  Select();
  int32_t result = RawQuery(condition);
  MarkCurrent(E::xb_RecNo(R()), E::xb_Eof(R()) ? bfEOF : bfCurrent);
  FCountStale = true;
  ComponentResync();
  EndMove();
  return result;
}

void TXbTable::SetFilter(const std::string& value) {
  FFilterText = value;
  if (FArea >= 1) Query(FFilterOn ? value : std::string());
}

void TXbTable::SetFiltered(bool value) {
  Filtered = value;
  FFilterOn = value;
  if (FArea >= 1) Query(value ? FFilterText : std::string());
}

// --- Locate and Lookup ---

bool TXbTable::LocateKeySearch(TField* field, const TVariant& value, unsigned options, int32_t o0) {
  std::string key;
  switch (field->DataType()) {
    case ftString:
      key = value.AsString();
      if (Upper(Copy(E::xb_IndexKey(R()))).find("UPPER(") != std::string::npos) key = Upper(key);
      break;
    case ftSmallint:
    case ftInteger:
      key = std::to_string(value.AsInteger());
      break;
    case ftFloat:
      key = CGeneralText(value.AsDouble());
      break;
    case ftBoolean:
      key = value.AsBool() ? ".T." : ".F.";
      break;
    case ftDate:
      key = Yyyymmdd(DateOf(value));
      break;
    default:
      break;
  }
  bool partial = (options & loPartialKey) != 0;
  bool exact = E::SysProp(R(), XB_PROP_EXACT_GET, 0) != 0;
  E::SysProp(R(), XB_PROP_EXACT_SET, partial ? 0 : 1);
  Select();
  bool found = E::xb_Seek(R(), key.c_str()) != 0;
  if (!partial) found = E::xb_Found(R()) != 0;
  E::SysProp(R(), XB_PROP_EXACT_SET, exact ? 1 : 0);
  Select();
  E::xb_SetOrder(R(), o0);
  FCachedPos = -1;
  CursorPosChanged();
  return found;
}

bool TXbTable::Locate(const std::string& names, const std::vector<TVariant>& values,
                      unsigned options) {
  if (FArea == 0) return false;
  BeginMove();
  std::vector<TField*> fields;
  for (const std::string& n : SplitNames(names)) fields.push_back(FieldByName(Upper(n)));
  Select();
  int32_t r0 = RecNo();
  Select();
  int32_t o0 = E::xb_IndexOrd(R());
  int32_t k = E::SysProp(R(), XB_PROP_ORDER_COUNT, 0);
  Select();
  std::string n = Upper(TrimBlanks(names));
  bool ci = (options & loCaseInsensitive) != 0;
  bool searched = false, found = false;
  if (fields.size() == 1 && k > 0) {
    auto hasUpper = [&] {
      return Upper(Copy(E::xb_IndexKey(R()))).find("UPPER(") != std::string::npos;
    };
    bool keep = Copy(E::xb_IndexKeyField(R())) == n && !(ci && !hasUpper());
    if (!keep) {
      bool chosen = false;
      for (int32_t i = 1; i <= k && !chosen; ++i) {
        E::xb_SetOrder(R(), i);
        chosen = Copy(E::xb_IndexKeyField(R())) == n && (!ci || hasUpper());
      }
      if (!chosen) E::xb_SetOrder(R(), o0);
      CursorPosChanged();
    }
    if (Copy(E::xb_IndexKeyField(R())) == n) {
      if (values.empty() || values[0].IsNull()) {
        E::xb_SetOrder(R(), o0);
        CursorPosChanged();
        return false;
      }
      searched = true;
      found = LocateKeySearch(fields[0], values[0], options, o0);
    }
  }
  int32_t r = 0;
  if (!searched || !found) {
    Select();
    std::string filter = Copy(E::xb_DBFilter(R()));
    std::string cond;
    bool partial = (options & loPartialKey) != 0;
    for (size_t i = 0; i < fields.size(); ++i) {
      TField* f = fields[i];
      TVariant v = i < values.size() ? values[i] : TVariant();
      if (!cond.empty()) cond += " .and. ";
      const std::string& name = f->FieldName;
      switch (f->DataType()) {
        case ftString: {
          std::string text = v.AsString();
          if (!partial && static_cast<int32_t>(text.size()) < f->Size())
            text.append(static_cast<size_t>(f->Size()) - text.size(), ' ');
          cond += (ci ? "UPPER(" + name + ")" : name) + "=\"" + text + "\"";
          break;
        }
        case ftSmallint:
        case ftInteger:
          cond += name + "=" + std::to_string(v.AsInteger());
          break;
        case ftFloat:
          cond += name + "=" + CGeneralText(v.AsDouble());
          break;
        case ftBoolean:
          cond += name + (v.AsBool() ? "= .T." : "= .F.");
          break;
        case ftDate:
          if (fields.size() == 1 && v.AsString().size() < 8) {
            std::string whole = std::to_string(v.AsInteger());
            cond += "LEFT( DTOS(" + name + "), " + std::to_string(whole.size()) + ") = \"" + whole +
                    "\"";
          } else {
            cond += "DTOS(" + name + ") = \"" + Yyyymmdd(DateOf(v)) + "\"";
          }
          break;
        default:
          break;
      }
    }
    if (ci) cond = Upper(cond);
    if (!filter.empty()) cond = "(" + cond + ") .and. (" + filter + ")";
    Select();
    found = E::xb_Query(R(), cond.c_str()) != 0;
    r = E::xb_RecNo(R());
    E::xb_Query(R(), filter.c_str());
    if (found) E::xb_Go(R(), r);
    CursorPosChanged();
  }
  if (found) {
    Select();
    MarkCurrent(E::xb_RecNo(R()), bfCurrent);
    Resync(rmExact | rmCenter);
    EndMove();
  } else {
    Select();
    E::xb_Go(R(), r0);
    CursorPosChanged();
  }
  return found;
}

TVariant TXbTable::Lookup(const std::string& names, const std::vector<TVariant>& values,
                          const std::string& resultField) {
  if (Locate(names, values, 0)) return FieldValue(FieldByName(resultField));
  return {};
}

TVariant TXbTable::Lookup(const std::string& names, const TVariant& value,
                          const std::string& resultField) {
  if (value.IsNull()) return {};
  if (FOrderNo == 0) return Lookup(names, std::vector<TVariant>{value}, resultField);
  Select();
  std::string type = Copy(E::xb_FieldType(R(), names.c_str()));
  int32_t width = E::xb_FieldWidth(R(), names.c_str());
  std::string v = value.AsString();
  switch (type.empty() ? ' ' : type[0]) {
    case 'N':
    case 'F':
      if (static_cast<int32_t>(v.size()) < width)
        v.insert(0, static_cast<size_t>(width) - v.size(), ' ');
      break;
    case 'C':
      if (static_cast<int32_t>(v.size()) < width)
        v.append(static_cast<size_t>(width) - v.size(), ' ');
      break;
    case 'D':
      v = Yyyymmdd(DateOf(value));
      break;
    case 'L':
      v = value.AsInteger() == -1 ? "T" : "F";
      break;
    default:
      break;
  }
  Select();
  E::xb_Seek(R(), v.c_str());
  CursorPosChanged();
  if (!E::xb_Found(R())) return {};
  TDataSetState saved = SetTempState(dsCalcFields);
  try {
    Select();
    FetchImage();
    ClearRecordBuffer(FCalcBuffer);
    ReadImage(FCalcBuffer);
    SetBookmarkData(FCalcBuffer, E::xb_RecNo(R()));
    if (HasCalcFields()) {
      ClearCalcArea(FCalcBuffer);
      if (OnCalcFields) OnCalcFields(*this);
    }
  } catch (...) {
    RestoreState(saved);
    throw;
  }
  RestoreState(saved);
  Select();
  std::string rtype = Copy(E::xb_FieldType(R(), resultField.c_str()));
  const char* rf = resultField.c_str();
  switch (rtype.empty() ? ' ' : rtype[0]) {
    case 'N':
    case 'F':
      if (E::xb_FieldDecimals(R(), rf) > 0 || E::xb_FieldWidth(R(), rf) > 4)
        return E::xb_GetDouble(R(), rf);
      return E::xb_GetInteger(R(), rf);
    case 'I':
      return E::xb_GetInteger(R(), rf);
    case 'C':
      return Copy(E::xb_GetTrimString(R(), rf));
    case 'D': {
      std::string d = Copy(E::xb_GetDateString(R(), rf));
      if (d.empty() || d[0] == ' ') return 0;
      return DateOf(TVariant(d));
    }
    case 'L': {
      std::string s = Copy(E::xb_GetString(R(), rf));
      return !s.empty() && (s[0] == 'T' || s[0] == 'Y');
    }
    default:
      return {};
  }
}

// --- Master/detail ---

void TXbTable::SetMasterSource(TDataSource* source) {
  for (TDataSource* s = source; s;) {
    TDataSet* ds = s->DataSet();
    if (ds == this) throw EXbError("Circular Datasource reference not allowed");
    auto* table = dynamic_cast<TXbTable*>(ds);
    s = table ? table->FMasterSource : nullptr;
  }
  FMasterSource = source;
  FMasterKeyApplied.clear();
  FMasterLink->SetDataSource(source);
  if (FMasterLink->Active() && FMasterLink->HasFields()) MasterChanged();
}

void TXbTable::SetMasterFields(const std::string& value) {
  FMasterFields = value;
  FMasterKeyApplied.clear();
  if (FMasterLink->Active() && FMasterLink->HasFields()) MasterChanged();
}

void TXbTable::MasterChanged() {
  if (Live()) CheckBrowseMode();
  TDataSet* master = FMasterSource ? FMasterSource->DataSet() : nullptr;
  std::string key;
  if (master) {
    std::vector<std::string> keyFields;
    bool keyFieldsRead = false;
    std::vector<std::string> names = SplitNames(FMasterFields);
    for (size_t i = 0; i < names.size(); ++i) {
      TField* mf = master->FieldByName(names[i]);
      switch (mf->DataType()) {
        case ftString: {
          std::string t = mf->AsString();
          if (static_cast<int32_t>(t.size()) < mf->Size())
            t.append(static_cast<size_t>(mf->Size()) - t.size(), ' ');
          key += t;
          break;
        }
        case ftSmallint:
        case ftInteger:
        case ftFloat: {
          if (!keyFieldsRead) {
            if (FIndexName.empty() || FArea < 1) throw EXbError(kNeedsOrder);
            Select();
            keyFields = KeyFieldsOf(Copy(E::xb_IndexKey(R())));
            keyFieldsRead = true;
          }
          std::string expr =
              FArea > 0 ? Upper(Copy((Select(), E::xb_IndexKey(R())))) : std::string();
          std::string keyField = keyFields.empty() ? std::string()
                                 : keyFields.size() == 1
                                     ? keyFields[0]
                                     : (i < keyFields.size() ? keyFields[i] : std::string());
          char pad = expr.find("STR(" + keyField) != std::string::npos ? ' ' : '0';
          auto* masterTable = dynamic_cast<TXbTable*>(master);
          int32_t width = masterTable ? masterTable->FieldWidth(mf->FieldName) : 0;
          std::string t = mf->AsString();
          if (static_cast<int32_t>(t.size()) < width)
            t.insert(0, static_cast<size_t>(width) - t.size(), pad);
          key += t;
          break;
        }
        case ftBoolean:
          key += mf->AsBoolean() ? "T" : "F";
          break;
        case ftDate:
          key += Yyyymmdd(static_cast<TDateField*>(mf)->AsDate());
          break;
        default:
          key += mf->AsString();
          break;
      }
    }
  }
  if (FArea >= 1) {
    Select();
    if (key != FMasterKeyApplied || FIndexName != FMasterIndexApplied) {
      FMasterKeyApplied = key;
      FMasterIndexApplied = FIndexName;
      if (FIndexName.empty()) throw EXbError(kNeedsOrder);
      if (!E::xb_SetScope(R(), key.c_str(), key.c_str())) throw EXbError("Scope Set failed");
      CursorPosChanged();
      if (Live()) First();
    }
  }
}

void TXbTable::MasterDisabled() {
  if (FArea < 1) return;
  Select();
  E::xb_SetScope(R(), nullptr, nullptr);
  CursorPosChanged();
  ComponentResync();
}
