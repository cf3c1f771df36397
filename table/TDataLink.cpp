#include "TDataLink.h"

#include <algorithm>

#include "TDataSource.h"

namespace {

// Whether `source` leads to `target`: its record set is the target, or one of the links that
// record set is part of is connected to a source that leads there.
bool LeadsTo(TDataSource* source, const TDataSet* target, std::vector<const TDataSet*>& seen) {
  TDataSet* ds = source ? source->DataSet() : nullptr;
  if (!ds) return false;
  if (ds == target) return true;
  if (std::find(seen.begin(), seen.end(), ds) != seen.end()) return false;
  seen.push_back(ds);
  for (TDataLink* link : ds->OwnLinks())
    if (LeadsTo(link->DataSource(), target, seen)) return true;
  return false;
}

}  // namespace

TDataLink::~TDataLink() {
  SetDataSource(nullptr);
  if (FOwnerDataSet) FOwnerDataSet->RemoveOwnLink(this);
}

void TDataLink::SetOwnerDataSet(TDataSet* owner) {
  if (FOwnerDataSet) FOwnerDataSet->RemoveOwnLink(this);
  FOwnerDataSet = owner;
  if (owner) owner->AddOwnLink(this);
}

void TDataLink::SetDataSource(TDataSource* source) {
  if (source == FDataSource) return;
  if (FOwnerDataSet && source) {
    std::vector<const TDataSet*> seen;
    if (LeadsTo(source, FOwnerDataSet, seen))
      throw EDatabaseError("Circular datalinks are not allowed");
  }
  if (FDataSource) FDataSource->RemoveDataLink(this);
  FDataSource = source;
  if (FDataSource) FDataSource->AddDataLink(this);
  UpdateState();
}

TDataSet* TDataLink::DataSet() const {
  return FDataSource ? FDataSource->DataSet() : nullptr;
}

void TDataLink::SetReadOnly(bool value) {
  FReadOnly = value;
  UpdateState();
}

void TDataLink::SetBufferCount(int32_t value) {
  value = std::max(1, value);
  if (value == FBufferCount) return;
  FBufferCount = value;
  if (TDataSet* ds = DataSet()) ds->UpdateBufferCount();
}

void TDataLink::UpdateState() {
  SetActive(FDataSource && FDataSource->State() != dsInactive);
  TDataSetState state = FDataSource ? FDataSource->State() : dsInactive;
  SetEditing((state == dsEdit || state == dsInsert || state == dsSetKey) && !FReadOnly);
}

void TDataLink::SetActive(bool value) {
  if (value == FActive) return;
  FActive = value;
  FRangeStale = false;
  if (value)
    UpdateRange();
  else
    FFirstRecord = 0;
  ActiveChanged();
}

void TDataLink::SetEditing(bool value) {
  if (value == FEditing) return;
  FEditing = value;
  EditingChanged();
}

// Brings the active record inside the link's window, moving the window as little as possible.
void TDataLink::UpdateRange() {
  TDataSet* ds = DataSet();
  if (!ds) return;
  int32_t first = FFirstRecord;
  int32_t last = first + FBufferCount - 1;
  int32_t active = ds->ActiveRecord();
  if (active > last)
    first += active - last;
  else if (active < first)
    first = active;
  FFirstRecord = std::max(0, first);
}

void TDataLink::Settled() const {
  if (!FRangeStale) return;
  if (TDataSet* ds = DataSet()) ds->CompleteFill();
  const_cast<TDataLink*>(this)->SettleRange();
}

void TDataLink::SettleRange() {
  if (!FRangeStale) return;
  FRangeStale = false;
  FFirstRecord += FollowActive(FFirstRecord);
}

int32_t TDataLink::FollowActive(int32_t first) {
  int32_t last = first + FBufferCount - 1;
  int32_t active = DataSet()->ActiveRecord();
  if (active > last) return active - last;
  if (active < first) return active - first;
  return 0;
}

int32_t TDataLink::ActiveRecord() const {
  Settled();
  TDataSet* ds = DataSet();
  return ds ? ds->ActiveRecord() - FFirstRecord : 0;
}

void TDataLink::SetActiveRecord(int32_t value) {
  Settled();
  if (TDataSet* ds = DataSet()) ds->SetActiveRecord(value + FFirstRecord);
}

int32_t TDataLink::RecordCount() const {
  Settled();
  TDataSet* ds = DataSet();
  if (!ds || !FActive) return 0;
  return std::clamp(ds->BufferedRecords() - FFirstRecord, 0, FBufferCount);
}

bool TDataLink::Bof() const {
  return DataSet() ? DataSet()->Bof() : true;
}
bool TDataLink::Eof() const {
  return DataSet() ? DataSet()->Eof() : true;
}

int32_t TDataLink::MoveBy(int32_t distance) {
  TDataSet* ds = DataSet();
  return ds ? ds->MoveBy(distance) : 0;
}

bool TDataLink::Edit() {
  if (!FReadOnly && FDataSource && FDataSource->AutoEdit && DataSet()) DataSet()->Edit();
  return FEditing;
}

void TDataLink::UpdateRecord() {
  FUpdating = true;
  try {
    UpdateData();
  } catch (...) {
    FUpdating = false;
    throw;
  }
  FUpdating = false;
}

void TDataLink::DataEvent(TDataEvent event, intptr_t info) {
  if (event == deUpdateState) {
    UpdateState();
    return;
  }
  if (!FActive) return;
  switch (event) {
    case deFieldChange:
    case deRecordChange:
      if (!FUpdating)
        RecordChanged(event == deFieldChange ? reinterpret_cast<TField*>(info) : nullptr);
      break;
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange: {
      int32_t correction = 0;
      if (FDataSource->State() != dsSetKey) {
        if (event != deDataSetScroll && DataSet()->FillPending()) {
          FRangeStale = true;  // settled once the window is read
        } else {
          SettleRange();
          int32_t first =
              FFirstRecord + (event == deDataSetScroll ? static_cast<int32_t>(info) : 0);
          correction = FollowActive(first);
          FFirstRecord = first + correction;
        }
      }
      if (event == deDataSetChange)
        DataSetChanged();
      else if (event == deDataSetScroll)
        DataSetScrolled(correction);
      else
        LayoutChanged();
      break;
    }
    case deUpdateRecord:
      UpdateRecord();
      break;
    case deCheckBrowseMode:
      CheckBrowseMode();
      break;
    case deFocusControl:
      FocusControl(reinterpret_cast<TField*>(info));
      break;
    default:
      break;
  }
}
