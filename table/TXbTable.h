// TXbTable: a record set over one work area of the xBase engine.
//
// While open the table owns one engine work area (FArea). The engine has one current work
// area for the whole process, so every operation that touches the engine selects FArea first
// (xb_Select) and only then calls the entries it needs. All calls go through the access layer
// (TXbAccess), which routes them to the engine library or, with amServer, to XbConnection.
//
// Record buffer layout (all buffers alike, computed at open):
//   offset                 size                 content
//   per data field         1 + data size        null flag (0 = no value), then the raw value
//   FCalcOffset            CalcFieldsSize()     calculated fields, each flag + value
//   FBlobOffset            sizeof(TBlobSlot)*n  one slot per blob or memo field
//   FBookmarkOffset        4                    physical record number (int32)
//   FBookmarkOffset + 4    1                    TBookmarkFlag
//
// Errors are EXbError with the component's fixed messages; the record set's own checks raise
// EDatabaseError. Every check runs before the first engine call that changes data.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "EXbError.h"
#include "TDataSet.h"
#include "TVariant.h"
#include "TXbAccess.h"
#include "TXbEnv.h"

class TDataSource;
class TXbDatabase;
class TMasterLink;

enum TXbTableType { ttXBNONE, ttXBNTX, ttXBFOX, ttXBNSX, ttXBNSX_DBT };
enum TXbCommitLevel { clFull, clNormal, clNone };
enum TEOFAction { eaEOF, eaMoveLast };
enum TSequencedCount { scAllCount, scFilterOnlyCount, scRawCount };

enum TIndexOption : unsigned {
  ixPrimary = 1u,
  ixUnique = 2u,
  ixDescending = 4u,
  ixCaseInsensitive = 8u,
  ixExpression = 16u,
  ixNonMaintained = 32u
};

struct TIndexDef {
  std::string Name;
  std::string Fields;
  std::string Expression;
  unsigned Options = 0;  // TIndexOption bits
  std::string Source;
};

struct TIndexDefs {
  std::vector<TIndexDef> Items;
  bool Updated = false;
  size_t Count() const { return Items.size(); }
  const TIndexDef& operator[](size_t i) const { return Items[i]; }
};

// A list of lines that reports every change.
class TStringList {
 public:
  const std::vector<std::string>& Lines() const { return FLines; }
  size_t Count() const { return FLines.size(); }
  const std::string& operator[](size_t i) const { return FLines[i]; }
  void Add(const std::string& line);
  void Set(size_t i, const std::string& line);
  void Clear();
  void Assign(const std::vector<std::string>& lines);
  std::function<void()> OnChange;

 private:
  void Changed() {
    if (OnChange) OnChange();
  }
  std::vector<std::string> FLines;
};

enum TLocateOption : unsigned { loCaseInsensitive = 1u, loPartialKey = 2u };

// One engine column (see Field definitions).
struct TFieldInfo {
  int32_t ColumnOffset = 0;   // 0-based offset in the record image
  int32_t BufferOffset = -1;  // where the value sits in a record buffer; -1: no field object
  int32_t Width = 0;
  int32_t Decimals = 0;
};

// A blob or memo field's slot in a record buffer.
struct TBlobSlot {
  int32_t Length;
  char* Content;  // owned, NUL-terminated; null while not loaded
  char Reference[10];
  bool Modified;
  bool Loaded;
};

class TXbTable : public TDataSet, public TXbRefreshable, public TXbConnectionUser {
 public:
  explicit TXbTable(TComponent* owner = nullptr);
  ~TXbTable() override;
  void Loaded() override;

  // --- Properties ---
  const std::string& DatabaseName() const { return FDatabaseName; }
  void SetDatabaseName(const std::string& value);
  const std::string& TableName() const { return FTableName; }
  void SetTableName(const std::string& value);
  TXbTableType TableType() const { return FTableType; }
  void SetTableType(TXbTableType value);
  TAccessMethod AccessMethod() const { return FRoute.AccessMethod; }
  void SetAccessMethod(TAccessMethod value);
  TXbConnection* XbConnection() const { return FRoute.Connection; }
  void SetXbConnection(TXbConnection* value);
  bool Exclusive() const { return FExclusive; }
  void SetExclusive(bool value);
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool value);
  TXbCommitLevel CommitLevel() const { return FCommitLevel; }
  void SetCommitLevel(TXbCommitLevel value);
  bool OEMTranslate() const { return FOEMTranslate; }
  void SetOEMTranslate(bool value);
  bool TurboRead() const { return FTurboRead; }
  void SetTurboRead(bool value);
  const std::string& Password() const { return FPassword; }
  void SetPassword(const std::string& value);
  bool SpeedMode() const { return FSpeedMode; }
  void SetSpeedMode(bool value);
  TEOFAction EOFAction = eaMoveLast;
  TSequencedCount SequencedCount = scRawCount;
  bool Sequenced() const { return FTableType == ttXBNTX ? false : FSequenced; }
  void SetSequenced(bool value);
  int32_t FetchCount() const { return FFetchCount; }
  void SetFetchCount(int32_t value);
  int32_t RecNo() const;
  void SetRecNo(int32_t value);
  std::string Version();
  static const char* ComponentVersion() { return "TXbTable 1.0 (" __DATE__ ")"; }

  // Index order and search
  const std::string& IndexName() const { return FIndexName; }
  void SetIndexName(const std::string& value);
  TIndexDefs& IndexDefs() { return FIndexDefs; }
  void RefreshIndexDefs();
  TStringList& ExtraIndexes() { return FExtraIndexes; }
  void SetExtraIndexes(const std::vector<std::string>& lines);
  void OpenExtraIndexes();
  const std::string& ScopeBegin() const { return FScopeBegin; }
  void SetScopeBegin(const std::string& value);
  const std::string& ScopeEnd() const { return FScopeEnd; }
  void SetScopeEnd(const std::string& value);
  bool Scoped() const { return FScoped; }
  void SetScoped(bool value);
  // low, high: nullptr and nullptr remove the scope.
  bool ApplyScope(const char* low, const char* high);
  const std::string& Filter() const { return FFilterText; }
  void SetFilter(const std::string& value);
  // The record set's Filtered flag and the engine filter in force follow each other.
  void SetFiltered(bool value);
  int32_t Query(const std::string& condition);
  bool Locate(const std::string& names, const std::vector<TVariant>& values, unsigned options);
  bool Locate(const std::string& names, const TVariant& value, unsigned options) {
    return Locate(names, std::vector<TVariant>{value}, options);
  }
  TVariant Lookup(const std::string& names, const TVariant& value, const std::string& resultField);
  TVariant Lookup(const std::string& names, const std::vector<TVariant>& values,
                  const std::string& resultField);
  TDataSource* MasterSource() const { return FMasterSource; }
  void SetMasterSource(TDataSource* source);
  const std::string& MasterFields() const { return FMasterFields; }
  void SetMasterFields(const std::string& value);

  // --- Commands on the work area ---
  int16_t IndexTag(const std::string& file, const std::string& tag, const std::string& expression,
                   int16_t option, bool descend, const std::string& condition);
  int16_t TagArea(const std::string& tag);
  int16_t SetOrder(int16_t order);
  void GoTop();
  void Skip(int32_t n);
  void Next();
  void Prior();
  void Zap();
  void Pack();
  void AppendBlank();
  bool AppendFrom(const std::string& file, int16_t sourceType, const std::string& condition);
  bool Deleted();
  void Delete();
  void Recall();
  bool Seek(const std::string& key);
  std::string GetString(const std::string& fieldName);
  bool Eof();
  bool Bof();
  int32_t RecCount();
  int32_t Count();
  int32_t QueryRecCount();
  std::string DBFilter();
  int16_t IndexOrd();
  std::string IndexKey();
  bool IsEncrypted(int32_t n);
  int32_t FieldWidth(const std::string& columnName);
  std::string IndexExt() const;
  std::string FullTableName();
  bool TableExists();

  // --- Record set ---
  int32_t RecordCount() override;
  int32_t SequenceNumber();
  void SetSequenceNumber(int32_t n);
  // -1, 0, 1 by the controlling order (record numbers without one); 2 when either is absent.
  int32_t BookmarkOrder(const int32_t* a, const int32_t* b);
  void Resync(unsigned mode) override;
  bool ReadFieldValue(const TField* field, void* destination) override;
  void WriteFieldValue(TField* field, const void* value) override;
  std::unique_ptr<TMemoryStream> CreateBlobStream(TField* field, TBlobStreamMode mode) override;

  // The state a test can observe.
  int16_t Area() const { return FArea; }
  int32_t OrderNo() const { return FOrderNo; }
  bool CursorOpen() const { return FCursorOpen; }
  const std::string& TableDir() const { return FTableDir; }
  const std::vector<TFieldInfo>& Columns() const { return FColumns; }
  // The alias the next open would give the work area (engine made ready first).
  std::string DeriveAlias();

  // TXbRefreshable
  bool RefreshableActive() const override { return Active(); }
  void RefreshFromEngine() override { Refresh(); }

  // TXbConnectionUser: the connection goes; the table is closed and XbConnection cleared.
  void ConnectionRemoved(TXbConnection* connection, bool answering) override;

 protected:
  void ActivateTable() override;
  void DeactivateTable() override;
  void LoadFieldDefs() override;
  char* CreateRecordBuffer() override;
  void DestroyRecordBuffer(char* buffer) override;
  void ClearRecordBuffer(char* buffer) override;
  void ClearCalcArea(char* buffer) override;
  TGetResult FetchRecord(char* buffer, TGetMode mode) override;
  void CursorToFirst() override;
  void CursorToLast() override;
  void CursorToBuffer(char* buffer) override;
  void CursorToBookmark(int32_t bookmark) override;
  TBookmarkFlag GetBookmarkFlag(const char* buffer) const override;
  void SetBookmarkFlag(char* buffer, TBookmarkFlag flag) override;
  int32_t GetBookmarkData(const char* buffer) const override;
  void SetBookmarkData(char* buffer, int32_t bookmark) override;
  void PostRecord() override;
  void AddRecord(char* buffer, bool append) override;
  void DeleteCurrent() override;
  void CancelRecord() override;
  void RefreshTable() override;
  void DoBeforeEdit() override;
  void DoBeforeInsert() override;
  void DoAfterInsert() override;
  void DoAfterCancel() override;
  void DoAfterScroll() override;
  void DoOnNewRecord() override;
  bool IsCursorOpen() const override { return FCursorOpen; }
  bool CanModify() const override { return !FReadOnly; }
  void ClearBuffers() override;
  void Notification(TComponent* component) override;

 private:
  friend class TMasterLink;
  friend class TXbBlobStream;

  struct TEnvSettings {
    int32_t Epoch = 1980;
    int32_t ErrorLevel = 1;
    bool Century = true;
    bool Exact = false;
    bool SoftSeek = false;
    uint8_t DateFormat = 0;
    int32_t MemoBlockSize = 0;
    bool Deleted = false;
    bool Applies = false;
  };

  const TXbRoute* R() const { return &FRoute; }
  void Select() const { TXbAccess::xb_Select(R(), FArea); }
  void EngineOpen();  // opening steps 3 to 16
  void ResolveTableDir();
  void FindEnvironment();
  void ResetFieldDefs();
  void ComputeLayout();
  // The engine's current record into FRecImage; blanks when the engine cannot read it.
  void FetchImage();
  void ReadImage(char* buffer);
  void WriteImage(const char* buffer);
  void RefreshCounts();
  void BeginMove();
  void EndMove();
  void ComponentResync();
  void MarkCurrent(int32_t recNo, TBookmarkFlag flag);
  TBlobSlot* Slot(char* buffer, int32_t blobIndex) const;
  int32_t BlobIndex(const TField* field) const;
  const char* FieldBuffer() const;
  char* WritableFieldBuffer();
  void CheckClosed() const;
  void CheckReadOnly() const;
  void CheckExclusive() const;
  void CheckOrder() const;
  int32_t RawQuery(const std::string& condition);
  bool Live() const { return Active() && FCursorOpen; }
  TVariant FieldValue(TField* field) const;
  int32_t FindIndexFileLine(const std::string& name) const;
  void MasterChanged();
  void CopyMasterValues();
  void MasterDisabled();
  std::string CompletedIndexFile(const std::string& file, bool forExtraIndexes) const;
  bool LocateKeySearch(TField* field, const TVariant& value, unsigned options, int32_t o0);

  // Properties
  std::string FDatabaseName;
  std::string FTableName;
  TXbTableType FTableType = ttXBFOX;
  TXbRoute FRoute;
  bool FExclusive = false;
  bool FReadOnly = false;
  TXbCommitLevel FCommitLevel = clNormal;
  bool FOEMTranslate = false;
  bool FTurboRead = false;
  std::string FPassword;
  bool FSpeedMode = false;
  bool FSequenced = true;
  int32_t FFetchCount = 50;
  std::string FIndexName;
  TIndexDefs FIndexDefs;
  TStringList FExtraIndexes;
  std::string FScopeBegin, FScopeEnd;
  bool FScoped = false;
  std::string FFilterText;
  bool FFilterOn = false;
  TDataSource* FMasterSource = nullptr;
  std::string FMasterFields;
  std::unique_ptr<TMasterLink> FMasterLink;
  std::string FMasterKeyApplied, FMasterIndexApplied;

  // Work area
  int16_t FArea = 0;
  std::string FTableDir;
  std::vector<char> FRecImage;
  int32_t FRecSize = 0;
  int32_t FColumnCount = 0;
  std::vector<TFieldInfo> FColumns;
  bool FCursorOpen = false;
  bool FOpening = false;
  bool FEncrypted = false;
  int32_t FOrderNo = 0;
  int32_t FCachedRecNo = 0;
  int32_t FCachedPos = -1;  // -1: not computed
  int32_t FRawCount = -1;
  int32_t FSeqCount = -1;
  bool FCountStale = true;
  TEnvSettings FEnv;
  TXbDatabase* FDatabase = nullptr;
  uint64_t FDatabaseSerial = 0;

  // Record buffers
  int32_t FCalcOffset = 0;
  int32_t FBlobOffset = 0;
  int32_t FBookmarkOffset = 0;
  int32_t FBufferSize = 0;
  std::vector<TField*> FBlobFields;
  bool FPendingFirst = false;
  bool FPendingLast = false;
  bool FBlankAppended = false;
  int32_t FInsertFrom = 0;
  char* FFilterBuffer = nullptr;
};
