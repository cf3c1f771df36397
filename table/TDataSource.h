// TDataSource: connects data links (one per control) to one record set and passes the record
// set's notifications on to them.
#pragma once

#include <functional>
#include <vector>

#include "TComponent.h"
#include "TDataSet.h"

class TField;
class TDataLink;

class TDataSource : public TComponent {
 public:
  explicit TDataSource(TComponent* owner = nullptr);
  ~TDataSource() override;

  TDataSet* DataSet() const { return FDataSet; }
  void SetDataSet(TDataSet* dataSet);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value);
  bool AutoEdit = true;
  // The record set's state while enabled and connected, inactive otherwise.
  TDataSetState State() const { return FState; }
  const std::vector<TDataLink*>& DataLinks() const { return FDataLinks; }

  std::function<void(TDataSource&)> OnStateChange;
  std::function<void(TDataSource&, TField*)> OnDataChange;
  std::function<void(TDataSource&)> OnUpdateData;

  // A record set's notification (see TDataSet::DataEvent).
  void DataEvent(TDataEvent event, intptr_t info);

 private:
  friend class TDataSet;
  friend class TDataLink;
  void AddDataLink(TDataLink* link);
  void RemoveDataLink(TDataLink* link);
  void UpdateState();

  TDataSet* FDataSet = nullptr;
  bool FEnabled = true;
  TDataSetState FState = dsInactive;
  std::vector<TDataLink*> FDataLinks;
};
