// TDataSet: the record set every table component derives from.
//
// It owns the state, a window of buffered records with an active record, the begin and end
// flags, the field objects, the before and after events and the notifications that keep
// data-aware controls in step. Everything that touches a table file is a hook the derived class
// implements; the public operations fix the order in which the hooks run.
//
// Buffer window: FBuffers holds FBufferCount buffers plus one spare after the last, used while
// fetching. FRecordCount buffers are filled; FActiveRecord is the one field objects read and
// write; FCurrentRecord is the buffer the cursor is on (-1 when unknown), so moves that stay
// on that record skip repositioning the engine.
//
// Deferred fill: a resynchronisation or an append reads the active record at once and the rest
// of the window only when something looks at the window (its indexes, its other buffers, a
// move within it). A loop of seeks or posts with a grid attached then reads one record per
// step, and the grid, which looks when it paints, still sees the full window. The fill runs
// at once when fetching calls back into the application (calculated fields, a filter event),
// so those handlers see every record at the moment it is read. A window replaced before
// anything looked at it is never read; a resynchronisation then aims at the index the
// unread window would have given the active record away from the table's ends.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "TComponent.h"

class TField;
class TDataSource;
class TDataLink;

enum TDataSetState {
  dsInactive,
  dsBrowse,
  dsEdit,
  dsInsert,
  dsSetKey,
  dsCalcFields,
  dsFilter,
  dsNewValue,
  dsOldValue,
  dsCurValue,
  dsBlockRead,
  dsInternalCalc,
  dsOpening
};

enum TDataEvent {
  deFieldChange,
  deRecordChange,
  deDataSetChange,
  deDataSetScroll,
  deLayoutChange,
  deUpdateRecord,
  deUpdateState,
  deCheckBrowseMode,
  dePropertyChange,
  deFieldListChange,
  deFocusControl
};

enum TGetMode { gmCurrent, gmNext, gmPrior };
enum TGetResult { grOK, grBOF, grEOF };
// Where a buffer's record stands: on a record, before the first, past the last.
enum TBookmarkFlag : uint8_t { bfCurrent = 0, bfBOF = 1, bfEOF = 2 };
enum TDataAction { daFail, daAbort, daRetry };
enum TResyncMode : unsigned { rmExact = 1u, rmCenter = 2u };
enum TBlobStreamMode { bmRead = 0, bmWrite = 1, bmReadWrite = 2 };

class TMemoryStream;

enum TFieldType {
  ftUnknown,
  ftString,
  ftSmallint,
  ftInteger,
  ftBoolean,
  ftFloat,
  ftDate,
  ftMemo,
  ftBlob
};

struct TFieldDef {
  std::string Name;
  TFieldType DataType = ftUnknown;
  int32_t Size = 0;
  bool Required = false;
  int32_t FieldNo = 0;  // 1-based position of the column
};

// The record set's own error.
class EDatabaseError : public std::runtime_error {
 public:
  explicit EDatabaseError(const std::string& message) : std::runtime_error(message) {}
};

// Raised to end an operation silently (an error event answered daAbort).
class EAbort : public std::runtime_error {
 public:
  EAbort() : std::runtime_error("Operation aborted") {}
};

class TDataSet : public TComponent {
 public:
  using TNotifyEvent = std::function<void(TDataSet&)>;
  using TErrorEvent = std::function<void(TDataSet&, const std::exception&, TDataAction&)>;
  using TFilterRecordEvent = std::function<void(TDataSet&, bool& accept)>;

  explicit TDataSet(TComponent* owner = nullptr);
  ~TDataSet() override;

  // Derived destructors must call this before their own members go away.
  void DestroyDataSet();

  // --- Operations ---
  void Open();
  void Close();
  void SetActive(bool value);
  bool Active() const { return FActive; }
  void First();
  void Last();
  void Next() { MoveBy(1); }
  void Prior() { MoveBy(-1); }
  int32_t MoveBy(int32_t distance);
  void Edit();
  void Insert();
  void Append();
  void Post();
  void Cancel();
  void Delete();
  void Refresh();
  void CheckBrowseMode();
  virtual void Resync(unsigned mode);
  void UpdateCursorPos();
  void CursorPosChanged() { FCurrentRecord = -1; }
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return FDisableCount != 0; }
  bool IsEmpty() const { return FRecordCount == 0; }
  // Reads the rest of the window now, if it is still to be read.
  void CompleteFill() {
    if (FFillPending) DoCompleteFill();
  }
  bool FillPending() const { return FFillPending; }
  // The write that a control's pending edit makes (update-record notification); outside the
  // write states "Dataset not in edit or insert mode".
  void UpdateRecord();

  TDataSetState State() const { return FState; }
  bool Bof() const { return FBOF; }
  bool Eof() const { return FEOF; }
  bool Modified() const { return FModified; }
  virtual int32_t RecordCount() { return FRecordCount; }

  // --- Fields ---
  const std::vector<TFieldDef>& FieldDefs() const { return FFieldDefs; }
  const std::vector<TField*>& Fields() const { return FFields; }
  TField* FindField(const std::string& name) const;    // ignoring case
  TField* FieldByName(const std::string& name) const;  // "Field '%s' not found"
  bool DefaultFields() const { return FDefaultFields; }
  // The data links that are part of this record set (its link to a master), as they registered.
  const std::vector<TDataLink*>& OwnLinks() const { return FOwnLinks; }
  bool AutoCalcFields = true;
  bool Filtered = false;

  // --- Events ---
  TNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose, BeforeInsert, AfterInsert,
      BeforeEdit, AfterEdit, BeforePost, AfterPost, BeforeCancel, AfterCancel, BeforeDelete,
      AfterDelete, BeforeScroll, AfterScroll, BeforeRefresh, AfterRefresh, OnCalcFields,
      OnNewRecord;
  TFilterRecordEvent OnFilterRecord;
  TErrorEvent OnEditError, OnPostError, OnDeleteError;

  // --- Window, for data links and controls ---
  int32_t BufferCount() const { return FBufferCount; }
  int32_t BufferedRecords() const {
    Filled();
    return FRecordCount;
  }
  int32_t ActiveRecord() const {
    Filled();
    return FActiveRecord;
  }
  // Makes another buffer of the window the active one, without touching the table (a grid
  // painting its rows). Returns the previous index.
  int32_t SetActiveRecord(int32_t index);
  char* ActiveBuffer() const { return FBuffers.empty() ? nullptr : FBuffers[FActiveRecord]; }
  char* Buffer(int32_t index) const {
    Filled();
    return FBuffers[index];
  }

  // --- For field objects ---
  virtual bool ReadFieldValue(const TField* field, void* destination) = 0;
  virtual void WriteFieldValue(TField* field, const void* value) = 0;
  void DataEvent(TDataEvent event, intptr_t info = 0);
  void AddField(TField* field);
  void RemoveField(TField* field);
  void MoveField(TField* field, int32_t index);
  int32_t CalcFieldsSize() const { return FCalcFieldsSize; }
  // A stream over a blob or memo field of the active record; writing modes store the content
  // back into the record when the stream is destroyed.
  virtual std::unique_ptr<TMemoryStream> CreateBlobStream(TField* field, TBlobStreamMode mode) = 0;

 protected:
  // --- Hooks ---
  virtual void ActivateTable() = 0;
  virtual void DeactivateTable() = 0;
  virtual void LoadFieldDefs() = 0;
  virtual char* CreateRecordBuffer() = 0;
  virtual void DestroyRecordBuffer(char* buffer) = 0;
  virtual void ClearRecordBuffer(char* buffer) = 0;
  virtual void ClearCalcArea(char* buffer) { (void)buffer; }
  virtual TGetResult FetchRecord(char* buffer, TGetMode mode) = 0;
  virtual void CursorToFirst() = 0;
  virtual void CursorToLast() = 0;
  virtual void CursorToBuffer(char* buffer) = 0;
  virtual void CursorToBookmark(int32_t bookmark) = 0;
  virtual TBookmarkFlag GetBookmarkFlag(const char* buffer) const = 0;
  virtual void SetBookmarkFlag(char* buffer, TBookmarkFlag flag) = 0;
  virtual int32_t GetBookmarkData(const char* buffer) const = 0;
  virtual void SetBookmarkData(char* buffer, int32_t bookmark) = 0;
  virtual void PostRecord() = 0;
  virtual void AddRecord(char* buffer, bool append) = 0;
  virtual void DeleteCurrent() = 0;
  virtual void CancelRecord() {}
  virtual void RefreshTable() { Resync(0); }
  virtual void DoBeforeEdit();
  virtual void DoBeforeInsert();
  virtual void DoAfterInsert();
  virtual void DoAfterCancel();
  virtual void DoAfterScroll();
  virtual void DoBeforeScroll();
  virtual void DoOnNewRecord();
  virtual bool IsCursorOpen() const = 0;
  virtual bool CanModify() const { return true; }
  virtual void ClearBuffers();

  // --- Helpers for derived classes ---
  void SetState(TDataSetState value);
  // Switches the state without notifying (calc-fields and filter steps); returns the old one.
  TDataSetState SetTempState(TDataSetState value);
  void RestoreState(TDataSetState value) { FState = value; }
  void CreateFields();  // default field objects from the definitions
  void DestroyDefaultFields();
  void BindFields(bool binding);
  void CalculateFields(char* buffer);
  void CheckActive() const;
  std::vector<TFieldDef>& MutableFieldDefs() { return FFieldDefs; }
  bool HasCalcFields() const { return FCalcFieldsSize > 0; }
  char* FCalcBuffer = nullptr;

 private:
  friend class TDataSource;
  friend class TDataLink;

  // The window as the accessors show it: complete.
  void Filled() const {
    if (FFillPending) const_cast<TDataSet*>(this)->DoCompleteFill();
  }
  void DoCompleteFill();
  // Reads or defers the rest of the window around the active record in buffer 0: with
  // priorOnly (an append) the records before it, else as a resynchronisation aiming at target.
  void FillWindow(int32_t target, bool priorOnly);
  void DropFill() { FFillPending = false; }
  bool CanDeferFill() const;
  void OpenCursor();
  void CloseCursor();
  void UpdateBufferCount();
  void SetBufferCount(int32_t value);
  void SetCursorToBuffer(int32_t index);
  bool GetNextRecord();
  bool GetPriorRecord();
  int32_t GetNextRecords();
  int32_t GetPriorRecords();
  void BeginInsertAppend();
  void EndInsertAppend();
  void CheckCanModify();
  void CheckRequiredFields();
  void AddOwnLink(TDataLink* link) { FOwnLinks.push_back(link); }
  void RemoveOwnLink(TDataLink* link);
  void AddDataSource(TDataSource* source);
  void RemoveDataSource(TDataSource* source);
  template <typename Step>
  void Retry(const TErrorEvent& handler, Step step);

  TDataSetState FState = dsInactive;
  bool FActive = false;
  bool FModified = false;
  std::vector<char*> FBuffers;
  int32_t FBufferCount = 0;
  int32_t FRecordCount = 0;
  int32_t FActiveRecord = 0;
  int32_t FCurrentRecord = -1;
  bool FBOF = true;
  bool FEOF = true;
  int32_t FDisableCount = 0;
  TDataSetState FDisableState = dsInactive;
  TDataEvent FDeferredEvent = deDataSetChange;
  std::vector<TFieldDef> FFieldDefs;
  std::vector<TField*> FFields;
  std::vector<std::unique_ptr<TField>> FOwnedFields;
  bool FDefaultFields = false;
  int32_t FCalcFieldsSize = 0;
  std::vector<TDataSource*> FDataSources;
  std::vector<TDataLink*> FOwnLinks;
  bool FDestroyed = false;
  bool FFillPending = false;
  bool FFillPriorOnly = false;
  int32_t FFillTarget = 0;
};
