#include "TDataSet.h"

#include <strings.h>
#include <algorithm>
#include <cstring>

#include "TDataLink.h"
#include "TDataSource.h"
#include "TField.h"

TDataSet::TDataSet(TComponent* owner) : TComponent(owner) {}

TDataSet::~TDataSet() {
  DestroyDataSet();
}

void TDataSet::DestroyDataSet() {
  if (FDestroyed) return;
  FDestroyed = true;
  BeginDestroy();
  if (FActive) Close();
  while (!FDataSources.empty()) FDataSources.back()->SetDataSet(nullptr);
  // Persistent field objects outlive no record set: they are told it is gone.
  for (TField* f : std::vector<TField*>(FFields)) f->SetDataSet(nullptr);
  FOwnedFields.clear();
}

// --- State and notifications ---

void TDataSet::SetState(TDataSetState value) {
  if (FState == value) return;
  FState = value;
  FModified = false;
  DataEvent(deUpdateState);
}

TDataSetState TDataSet::SetTempState(TDataSetState value) {
  TDataSetState old = FState;
  FState = value;
  return old;
}

void TDataSet::DataEvent(TDataEvent event, intptr_t info) {
  switch (event) {
    case deFieldChange: {
      auto* field = reinterpret_cast<TField*>(info);
      if (field && field->FieldKind == fkData) FModified = true;
      if (HasCalcFields() && FState != dsSetKey && AutoCalcFields && ActiveBuffer())
        CalculateFields(ActiveBuffer());
      break;
    }
    default:
      break;
  }
  if (FDisableCount == 0 && FState != dsBlockRead) {
    for (TDataSource* source : std::vector<TDataSource*>(FDataSources))
      source->DataEvent(event, info);
  } else if ((event == deUpdateState && FState == dsInactive) || event == deLayoutChange) {
    FDeferredEvent = deLayoutChange;
  }
}

void TDataSet::DisableControls() {
  if (FDisableCount == 0) {
    FDisableState = FState;
    FDeferredEvent = deDataSetChange;
  }
  ++FDisableCount;
}

void TDataSet::EnableControls() {
  if (FDisableCount == 0) return;
  if (--FDisableCount == 0) {
    if (FDisableState != FState) DataEvent(deUpdateState);
    if (FDisableState != dsInactive && FState != dsInactive) DataEvent(FDeferredEvent);
  }
}

// --- Data sources, links and the window size ---

void TDataSet::RemoveOwnLink(TDataLink* link) {
  FOwnLinks.erase(std::remove(FOwnLinks.begin(), FOwnLinks.end(), link), FOwnLinks.end());
}

void TDataSet::AddDataSource(TDataSource* source) {
  FDataSources.push_back(source);
  UpdateBufferCount();
}

void TDataSet::RemoveDataSource(TDataSource* source) {
  FDataSources.erase(std::remove(FDataSources.begin(), FDataSources.end(), source),
                     FDataSources.end());
  UpdateBufferCount();
}

void TDataSet::UpdateBufferCount() {
  if (!IsCursorOpen() || !FActive) return;
  int32_t wanted = 1;
  for (TDataSource* source : FDataSources)
    for (TDataLink* link : source->FDataLinks) wanted = std::max(wanted, link->FBufferCount);
  SetBufferCount(wanted);
}

void TDataSet::SetBufferCount(int32_t value) {
  if (value == FBufferCount) return;
  Filled();
  if (value > FBufferCount) {
    // The spare stays last: new buffers go in before it.
    while (FBufferCount < value) {
      char* b = CreateRecordBuffer();
      FBuffers.insert(FBuffers.begin() + FBufferCount, b);
      ++FBufferCount;
    }
    if (FBuffers.size() < static_cast<size_t>(FBufferCount + 1))
      FBuffers.push_back(CreateRecordBuffer());
    if (!FActive || FRecordCount == 0) return;
    GetNextRecords();
    int32_t added = GetPriorRecords();
    FActiveRecord += added;
    for (TDataSource* source : FDataSources)
      for (TDataLink* link : source->FDataLinks) link->FFirstRecord += added;
    return;
  }
  // Shrinking keeps the records from the first one any active link shows (or the active one).
  int32_t offset = FActiveRecord;
  for (TDataSource* source : FDataSources)
    for (TDataLink* link : source->FDataLinks)
      if (link->Active()) offset = std::min(offset, link->FFirstRecord);
  offset = std::max({offset, FActiveRecord - value + 1, 0});
  if (offset > 0) {
    std::rotate(FBuffers.begin(), FBuffers.begin() + offset, FBuffers.begin() + FBufferCount);
    FActiveRecord -= offset;
    FRecordCount = std::max(0, FRecordCount - offset);
    if (FCurrentRecord >= 0) FCurrentRecord -= offset;
    for (TDataSource* source : FDataSources)
      for (TDataLink* link : source->FDataLinks)
        link->FFirstRecord = std::max(0, link->FFirstRecord - offset);
  }
  // The old spare is kept as the spare; the buffers past the new count go.
  char* spare = FBuffers[FBufferCount];
  for (int32_t i = value; i < FBufferCount; ++i) DestroyRecordBuffer(FBuffers[i]);
  FBuffers.resize(value);
  FBuffers.push_back(spare);
  FBufferCount = value;
  FRecordCount = std::min(FRecordCount, value);
  if (FCurrentRecord >= FRecordCount) FCurrentRecord = -1;
  FActiveRecord = std::min(FActiveRecord, std::max(0, FRecordCount - 1));
}

int32_t TDataSet::SetActiveRecord(int32_t index) {
  Filled();
  int32_t old = FActiveRecord;
  if (index >= 0 && index < std::max(1, FRecordCount)) FActiveRecord = index;
  return old;
}

// --- Fetching ---

void TDataSet::SetCursorToBuffer(int32_t index) {
  char* buffer = FBuffers[index];
  switch (GetBookmarkFlag(buffer)) {
    case bfBOF:
      CursorToFirst();
      break;
    case bfEOF:
      CursorToLast();
      break;
    default:
      CursorToBuffer(buffer);
      break;
  }
  FCurrentRecord = index;
}

void TDataSet::UpdateCursorPos() {
  if (FRecordCount > 0 && FCurrentRecord != FActiveRecord) SetCursorToBuffer(FActiveRecord);
}

bool TDataSet::GetNextRecord() {
  if (FRecordCount > 0 && FCurrentRecord != FRecordCount - 1) SetCursorToBuffer(FRecordCount - 1);
  char* buffer = FBuffers[FRecordCount];
  if (FetchRecord(buffer, gmNext) != grOK) {
    FCurrentRecord = -1;
    return false;
  }
  if (FRecordCount == FBufferCount)
    std::rotate(FBuffers.begin(), FBuffers.begin() + 1, FBuffers.begin() + FBufferCount + 1);
  else
    ++FRecordCount;
  FCurrentRecord = FRecordCount - 1;
  return true;
}

bool TDataSet::GetPriorRecord() {
  if (FRecordCount > 0 && FCurrentRecord != 0) SetCursorToBuffer(0);
  char* buffer = FBuffers[FRecordCount];
  if (FetchRecord(buffer, gmPrior) != grOK) {
    FCurrentRecord = -1;
    return false;
  }
  std::rotate(FBuffers.begin(), FBuffers.begin() + FRecordCount,
              FBuffers.begin() + FRecordCount + 1);
  if (FRecordCount < FBufferCount) ++FRecordCount;
  FCurrentRecord = 0;
  return true;
}

int32_t TDataSet::GetNextRecords() {
  int32_t n = 0;
  while (FRecordCount < FBufferCount && GetNextRecord()) ++n;
  return n;
}

int32_t TDataSet::GetPriorRecords() {
  int32_t n = 0;
  while (FRecordCount < FBufferCount && GetPriorRecord()) ++n;
  return n;
}

void TDataSet::ClearBuffers() {
  DropFill();
  FRecordCount = 0;
  FActiveRecord = 0;
  FCurrentRecord = -1;
  FBOF = true;
  FEOF = true;
}

// --- Open and close ---

void TDataSet::SetActive(bool value) {
  if (value)
    Open();
  else
    Close();
}

void TDataSet::Open() {
  if (FActive) return;
  if (BeforeOpen) BeforeOpen(*this);
  try {
    OpenCursor();
  } catch (...) {
    FState = dsInactive;
    CloseCursor();
    throw;
  }
  SetState(dsBrowse);
  if (AfterOpen) AfterOpen(*this);
}

void TDataSet::OpenCursor() {
  FDefaultFields = FFields.empty();
  FActive = true;
  ActivateTable();
  FBufferCount = 0;
  FBuffers.clear();
  FBuffers.push_back(CreateRecordBuffer());  // the spare
  FCalcBuffer = CreateRecordBuffer();
  int32_t wanted = 1;
  for (TDataSource* source : FDataSources)
    for (TDataLink* link : source->FDataLinks) wanted = std::max(wanted, link->FBufferCount);
  SetBufferCount(wanted);
  ClearBuffers();
  CursorToFirst();
  GetNextRecords();
  FBOF = true;
  FEOF = FRecordCount == 0;
}

void TDataSet::Close() {
  if (!FActive) return;
  if (!Destroying() && BeforeClose) BeforeClose(*this);
  SetState(dsInactive);
  CloseCursor();
  if (!Destroying() && AfterClose) AfterClose(*this);
}

void TDataSet::CloseCursor() {
  bool opened = FActive;
  FActive = false;
  ClearBuffers();
  for (char* b : FBuffers) DestroyRecordBuffer(b);
  FBuffers.clear();
  if (FCalcBuffer) DestroyRecordBuffer(FCalcBuffer);
  FCalcBuffer = nullptr;
  FBufferCount = 0;
  if (opened) DeactivateTable();
  if (FDefaultFields) DestroyDefaultFields();
  FDefaultFields = false;
}

// --- Fields ---

void TDataSet::AddField(TField* field) {
  if (std::find(FFields.begin(), FFields.end(), field) == FFields.end()) FFields.push_back(field);
}

void TDataSet::RemoveField(TField* field) {
  FFields.erase(std::remove(FFields.begin(), FFields.end(), field), FFields.end());
}

void TDataSet::MoveField(TField* field, int32_t index) {
  auto it = std::find(FFields.begin(), FFields.end(), field);
  if (it == FFields.end()) return;
  FFields.erase(it);
  index = std::clamp<int32_t>(index, 0, static_cast<int32_t>(FFields.size()));
  FFields.insert(FFields.begin() + index, field);
  DataEvent(deLayoutChange);
}

TField* TDataSet::FindField(const std::string& name) const {
  for (TField* f : FFields)
    if (strcasecmp(f->FieldName.c_str(), name.c_str()) == 0) return f;
  return nullptr;
}

TField* TDataSet::FieldByName(const std::string& name) const {
  TField* f = FindField(name);
  if (!f) throw EDatabaseError("Field '" + name + "' not found");
  return f;
}

void TDataSet::CreateFields() {
  for (const TFieldDef& def : FFieldDefs) {
    std::unique_ptr<TField> field = CreateFieldOfType(def.DataType, def.Size);
    if (!field) continue;
    field->FieldName = def.Name;
    field->Required = def.Required;
    field->SetFieldNo(def.FieldNo);
    field->SetDataSet(this);
    FOwnedFields.push_back(std::move(field));
  }
}

void TDataSet::DestroyDefaultFields() {
  for (auto& f : FOwnedFields) f->SetDataSet(nullptr);
  FOwnedFields.clear();
}

void TDataSet::BindFields(bool binding) {
  FCalcFieldsSize = 0;
  for (TField* f : FFields) {
    if (binding && f->FieldKind == fkData) {
      f->SetFieldNo(0);
      for (const TFieldDef& def : FFieldDefs)
        if (strcasecmp(def.Name.c_str(), f->FieldName.c_str()) == 0) f->SetFieldNo(def.FieldNo);
    }
    if (binding && f->FieldKind == fkCalculated) {
      f->SetOffset(FCalcFieldsSize);
      FCalcFieldsSize += f->DataSize() + 1;
    }
  }
}

void TDataSet::CalculateFields(char* buffer) {
  if (!HasCalcFields()) return;
  TDataSetState saved = SetTempState(dsCalcFields);
  char* savedCalc = FCalcBuffer;
  FCalcBuffer = buffer;
  try {
    ClearCalcArea(buffer);
    if (OnCalcFields) OnCalcFields(*this);
  } catch (...) {
    FCalcBuffer = savedCalc;
    RestoreState(saved);
    throw;
  }
  FCalcBuffer = savedCalc;
  RestoreState(saved);
}

// --- Moving ---

void TDataSet::CheckActive() const {
  if (!FActive) throw EDatabaseError("Cannot perform this operation on a closed dataset");
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(deCheckBrowseMode);
  switch (FState) {
    case dsEdit:
    case dsInsert:
      UpdateRecord();
      if (FModified)
        Post();
      else
        Cancel();
      break;
    case dsSetKey:
      Post();
      break;
    default:
      break;
  }
}

void TDataSet::First() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  try {
    CursorToFirst();
    GetNextRecords();
  } catch (...) {
    FBOF = true;
    FEOF = FRecordCount == 0;
    DataEvent(deDataSetChange);
    throw;
  }
  FBOF = true;
  FEOF = FRecordCount == 0;
  DataEvent(deDataSetChange);
  DoAfterScroll();
}

void TDataSet::Last() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  CursorToLast();
  GetPriorRecords();
  FActiveRecord = std::max(0, FRecordCount - 1);
  FEOF = true;
  FBOF = FRecordCount == 0;
  DataEvent(deDataSetChange);
  DoAfterScroll();
}

int32_t TDataSet::MoveBy(int32_t distance) {
  CheckBrowseMode();
  DoBeforeScroll();
  if ((distance > 0 && FEOF) || (distance < 0 && FBOF)) return 0;
  Filled();
  FBOF = false;
  FEOF = false;
  int32_t oldCount = FRecordCount;
  int32_t scrolled = 0;
  int32_t moved = 0;
  if (distance > 0) {
    while (moved < distance) {
      if (FActiveRecord < FRecordCount - 1) {
        ++FActiveRecord;
      } else {
        int32_t before = FRecordCount;
        if (!GetNextRecord()) {
          FEOF = true;
          break;
        }
        if (FRecordCount == before) --scrolled;
        FActiveRecord = FRecordCount - 1;
      }
      ++moved;
    }
  } else {
    while (moved < -distance) {
      if (FActiveRecord > 0) {
        --FActiveRecord;
      } else {
        int32_t before = FRecordCount;
        if (!GetPriorRecord()) {
          FBOF = true;
          break;
        }
        if (FRecordCount == before) ++scrolled;
        FActiveRecord = 0;
      }
      ++moved;
    }
  }
  if (FRecordCount != oldCount)
    DataEvent(deDataSetChange);
  else
    DataEvent(deDataSetScroll, scrolled);
  DoAfterScroll();
  return distance > 0 ? moved : -moved;
}

bool TDataSet::CanDeferFill() const {
  return FBufferCount > 1 && !HasCalcFields() && !(OnFilterRecord && Filtered);
}

void TDataSet::FillWindow(int32_t target, bool priorOnly) {
  FFillTarget = target;
  FFillPriorOnly = priorOnly;
  FFillPending = true;
  if (!CanDeferFill()) DoCompleteFill();
}

void TDataSet::DoCompleteFill() {
  FFillPending = false;
  if (!FActive || FRecordCount == 0) return;
  // Whatever ran since the active record was read may have moved the cursor.
  FCurrentRecord = -1;
  if (FFillPriorOnly) {
    FActiveRecord += GetPriorRecords();
  } else {
    while (FActiveRecord < FFillTarget && GetPriorRecord()) ++FActiveRecord;
    GetNextRecords();
    FActiveRecord += GetPriorRecords();
  }
  for (TDataSource* source : FDataSources)
    for (TDataLink* link : source->FDataLinks) link->SettleRange();
}

void TDataSet::Resync(unsigned mode) {
  // An unread window still tells where the active record was meant to stand.
  int32_t old = FFillPending ? (FFillPriorOnly ? FBufferCount - 1 : FFillTarget) : FActiveRecord;
  DropFill();
  char* spare = FBuffers[FBufferCount];
  if (mode & rmExact) {
    CursorPosChanged();
    if (FetchRecord(spare, gmCurrent) != grOK) throw EDatabaseError("Record not found");
  } else if (FetchRecord(spare, gmCurrent) != grOK && FetchRecord(spare, gmNext) != grOK &&
             FetchRecord(spare, gmPrior) != grOK) {
    ClearBuffers();
    DataEvent(deDataSetChange);
    return;
  }
  int32_t target = (mode & rmCenter) ? (FBufferCount - 1) / 2 : old;
  std::rotate(FBuffers.begin(), FBuffers.begin() + FBufferCount, FBuffers.end());
  FRecordCount = 1;
  FCurrentRecord = 0;
  FActiveRecord = 0;
  FBOF = false;
  FEOF = false;
  FillWindow(target, false);
  DataEvent(deDataSetChange);
}

void TDataSet::Refresh() {
  CheckBrowseMode();
  if (BeforeRefresh) BeforeRefresh(*this);
  UpdateCursorPos();
  RefreshTable();
  if (AfterRefresh) AfterRefresh(*this);
}

// --- Editing ---

template <typename Step>
void TDataSet::Retry(const TErrorEvent& handler, Step step) {
  for (;;) {
    try {
      step();
      return;
    } catch (const EAbort&) {
      throw;
    } catch (const std::exception& e) {
      TDataAction action = daFail;
      if (handler) handler(*this, e, action);
      if (action == daFail) throw;
      if (action == daAbort) throw EAbort();
    }
  }
}

void TDataSet::CheckCanModify() {
  if (!CanModify()) throw EDatabaseError("Cannot modify a read-only dataset");
}

void TDataSet::Edit() {
  if (FState == dsEdit || FState == dsInsert) return;
  if (FRecordCount == 0) {
    Insert();
    return;
  }
  CheckBrowseMode();
  CheckCanModify();
  Retry(OnEditError, [&] { DoBeforeEdit(); });
  CalculateFields(ActiveBuffer());
  SetState(dsEdit);
  DataEvent(deRecordChange);
  if (AfterEdit) AfterEdit(*this);
}

void TDataSet::BeginInsertAppend() {
  CheckBrowseMode();
  CheckCanModify();
  DoBeforeInsert();
  DoBeforeScroll();
}

void TDataSet::EndInsertAppend() {
  SetState(dsInsert);
  try {
    DoOnNewRecord();
  } catch (...) {
    UpdateCursorPos();
    CancelRecord();
    SetState(dsBrowse);
    Resync(0);
    throw;
  }
  FModified = false;
  DataEvent(deDataSetChange);
  DoAfterInsert();
  DoAfterScroll();
}

void TDataSet::Insert() {
  BeginInsertAppend();
  Filled();
  bool empty = FRecordCount == 0;
  int32_t at = empty ? 0 : FActiveRecord;
  std::rotate(FBuffers.begin() + at, FBuffers.begin() + FRecordCount,
              FBuffers.begin() + FRecordCount + 1);
  char* fresh = FBuffers[at];
  ClearRecordBuffer(fresh);
  if (empty) {
    SetBookmarkFlag(fresh, bfBOF);
  } else {
    SetBookmarkData(fresh, GetBookmarkData(FBuffers[at + 1]));
    SetBookmarkFlag(fresh, bfCurrent);
  }
  if (FRecordCount < FBufferCount) ++FRecordCount;
  if (FCurrentRecord >= at) {
    ++FCurrentRecord;
    if (FCurrentRecord >= FRecordCount) FCurrentRecord = -1;
  }
  FActiveRecord = at;
  FBOF = false;
  FEOF = false;
  EndInsertAppend();
}

void TDataSet::Append() {
  BeginInsertAppend();
  ClearBuffers();
  char* fresh = FBuffers[0];
  ClearRecordBuffer(fresh);
  SetBookmarkFlag(fresh, bfEOF);
  FRecordCount = 1;
  FBOF = false;
  FActiveRecord = 0;
  FillWindow(0, true);
  FEOF = false;
  EndInsertAppend();
}

void TDataSet::UpdateRecord() {
  if (FState != dsEdit && FState != dsInsert && FState != dsSetKey)
    throw EDatabaseError("Dataset not in edit or insert mode");
  DataEvent(deUpdateRecord);
}

void TDataSet::CheckRequiredFields() {
  for (TField* f : FFields)
    if (f->Required && !f->ReadOnly && f->FieldKind == fkData && f->IsNull())
      throw EDatabaseError("Field '" + f->DisplayName() + "' must have a value");
}

void TDataSet::Post() {
  UpdateRecord();
  if (FState != dsEdit && FState != dsInsert) return;
  DataEvent(deCheckBrowseMode);
  CheckRequiredFields();
  if (BeforePost) BeforePost(*this);
  Retry(OnPostError, [&] {
    UpdateCursorPos();
    PostRecord();
  });
  SetState(dsBrowse);
  Resync(0);
  if (AfterPost) AfterPost(*this);
}

void TDataSet::Cancel() {
  if (FState != dsEdit && FState != dsInsert) return;
  DataEvent(deCheckBrowseMode);
  if (BeforeCancel) BeforeCancel(*this);
  bool wasInsert = FState == dsInsert;
  if (wasInsert) DoBeforeScroll();
  UpdateCursorPos();
  CancelRecord();
  SetState(dsBrowse);
  Resync(0);
  DoAfterCancel();
  if (wasInsert) DoAfterScroll();
}

void TDataSet::Delete() {
  CheckActive();
  if (FState == dsInsert || FState == dsSetKey) {
    Cancel();
    return;
  }
  if (FRecordCount == 0) throw EDatabaseError("Cannot perform this operation on an empty dataset");
  DataEvent(deCheckBrowseMode);
  if (BeforeDelete) BeforeDelete(*this);
  DoBeforeScroll();
  Retry(OnDeleteError, [&] {
    UpdateCursorPos();
    DeleteCurrent();
  });
  SetState(dsBrowse);
  Resync(0);
  if (AfterDelete) AfterDelete(*this);
  DoAfterScroll();
}

// --- Default hooks: each fires its event ---

void TDataSet::DoBeforeEdit() {
  if (BeforeEdit) BeforeEdit(*this);
}
void TDataSet::DoBeforeInsert() {
  if (BeforeInsert) BeforeInsert(*this);
}
void TDataSet::DoAfterInsert() {
  if (AfterInsert) AfterInsert(*this);
}
void TDataSet::DoAfterCancel() {
  if (AfterCancel) AfterCancel(*this);
}
void TDataSet::DoAfterScroll() {
  if (AfterScroll) AfterScroll(*this);
}
void TDataSet::DoBeforeScroll() {
  if (BeforeScroll) BeforeScroll(*this);
}
void TDataSet::DoOnNewRecord() {
  if (OnNewRecord) OnNewRecord(*this);
}
