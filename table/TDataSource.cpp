#include "TDataSource.h"

#include <algorithm>

#include "TDataLink.h"

TDataSource::TDataSource(TComponent* owner) : TComponent(owner) {}

TDataSource::~TDataSource() {
  while (!FDataLinks.empty()) FDataLinks.back()->SetDataSource(nullptr);
  SetDataSet(nullptr);
}

void TDataSource::SetDataSet(TDataSet* dataSet) {
  if (dataSet == FDataSet) return;
  if (FDataSet) FDataSet->RemoveDataSource(this);
  FDataSet = dataSet;
  if (FDataSet) FDataSet->AddDataSource(this);
  UpdateState();
}

void TDataSource::SetEnabled(bool value) {
  FEnabled = value;
  UpdateState();
}

void TDataSource::UpdateState() {
  TDataSetState state = (FEnabled && FDataSet) ? FDataSet->State() : dsInactive;
  bool changed = state != FState;
  FState = state;
  if (changed && OnStateChange) OnStateChange(*this);
  for (TDataLink* link : std::vector<TDataLink*>(FDataLinks)) link->UpdateState();
}

void TDataSource::AddDataLink(TDataLink* link) {
  FDataLinks.push_back(link);
  if (FDataSet) FDataSet->UpdateBufferCount();
}

void TDataSource::RemoveDataLink(TDataLink* link) {
  FDataLinks.erase(std::remove(FDataLinks.begin(), FDataLinks.end(), link), FDataLinks.end());
  if (FDataSet) FDataSet->UpdateBufferCount();
}

void TDataSource::DataEvent(TDataEvent event, intptr_t info) {
  if (event == deUpdateState) {
    UpdateState();
    return;
  }
  if (FState == dsInactive) return;
  for (TDataLink* link : std::vector<TDataLink*>(FDataLinks)) link->DataEvent(event, info);
  switch (event) {
    case deFieldChange:
      if (OnDataChange) OnDataChange(*this, reinterpret_cast<TField*>(info));
      break;
    case deRecordChange:
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange:
      if (OnDataChange) OnDataChange(*this, nullptr);
      break;
    case deUpdateRecord:
      if (OnUpdateData) OnUpdateData(*this);
      break;
    default:
      break;
  }
}
