// TDataLink: a control's connection to a data source. It keeps the control's own window into
// the record set's buffers (FirstRecord .. FirstRecord + BufferCount - 1) and turns the record
// set's notifications into the reactions a control overrides.
#pragma once

#include <cstdint>

#include "TDataSet.h"

class TDataSource;
class TField;

class TDataLink {
 public:
  TDataLink() = default;
  virtual ~TDataLink();
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;

  TDataSource* DataSource() const { return FDataSource; }
  // "Circular datalinks are not allowed" when the link belongs to a record set (OwnerDataSet)
  // that the source leads back to, directly or through the links of other record sets.
  void SetDataSource(TDataSource* source);
  // The record set this link is part of (a detail's link to its master), or none.
  TDataSet* OwnerDataSet() const { return FOwnerDataSet; }
  TDataSet* DataSet() const;
  bool Active() const { return FActive; }
  bool Editing() const { return FEditing; }
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool value);
  int32_t BufferCount() const { return FBufferCount; }
  void SetBufferCount(int32_t value);
  int32_t FirstRecord() const {
    Settled();
    return FFirstRecord;
  }
  // The active record inside the link's window (the record set's active index - FirstRecord).
  int32_t ActiveRecord() const;
  void SetActiveRecord(int32_t value);
  // Filled buffers inside the link's window.
  int32_t RecordCount() const;
  bool Bof() const;
  bool Eof() const;
  int32_t MoveBy(int32_t distance);
  // Puts the record set in edit state when the link and its source allow it; true when editing.
  bool Edit();
  // Writes the control's pending edit (the control's UpdateData, with Updating set).
  void UpdateRecord();
  bool Updating() const { return FUpdating; }

  // A notification from the data source.
  void DataEvent(TDataEvent event, intptr_t info);

 protected:
  // A link that belongs to a record set says so once, before it is connected.
  void SetOwnerDataSet(TDataSet* owner);
  virtual void ActiveChanged() {}
  virtual void EditingChanged() {}
  virtual void DataSetChanged() { RecordChanged(nullptr); }
  virtual void DataSetScrolled(int32_t distance) {
    (void)distance;
    DataSetChanged();
  }
  virtual void LayoutChanged() { DataSetChanged(); }
  virtual void RecordChanged(TField* field) { (void)field; }
  virtual void UpdateData() {}
  virtual void CheckBrowseMode() {}
  virtual void FocusControl(TField* field) { (void)field; }

 private:
  friend class TDataSet;
  friend class TDataSource;
  void UpdateState();
  void SetActive(bool value);
  void SetEditing(bool value);
  void UpdateRange();
  // The window's move that a change announced while the record set's window was still unread
  // (FRangeStale) is made when the window is read or the link's window is asked for.
  void Settled() const;
  void SettleRange();
  // Moves the link's window, from `first`, just enough to hold the active record; returns by
  // how much it moved.
  int32_t FollowActive(int32_t first);

  TDataSource* FDataSource = nullptr;
  bool FActive = false;
  bool FEditing = false;
  bool FReadOnly = false;
  bool FUpdating = false;
  int32_t FBufferCount = 1;
  int32_t FFirstRecord = 0;
  bool FRangeStale = false;
  TDataSet* FOwnerDataSet = nullptr;
};
