// Helpers of the table tests: tables made and filled through the C entries of the real engine
// (bound at run time like the component binds it), and a recorder of access-layer calls.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "TDataLink.h"
#include "TDataSource.h"
#include "TXbAccess.h"
#include "TestSupport.h"

namespace xbtest {

// Makes sure the engine is bound; fails the test when it cannot be.
void RequireEngine();

// Creates `path` with xb_CreateTable ("NAME,TYPE,WIDTH,DECIMALS;...") and appends one record
// per row, each value stored as the column's raw text (xb_Replace), in column order.
void MakeTable(const std::string& path, const std::string& fields,
               const std::vector<std::vector<std::string>>& rows = {});

// The raw text of column `field` of record `recno`, read straight from the engine.
std::string RawField(const std::string& path, int32_t recno, const std::string& field);
int32_t RawRecCount(const std::string& path);
bool RawDeleted(const std::string& path, int32_t recno);

// Records every access-layer call while it lives, as "xb_Name(args)".
class TCallLog : public TXbAccessObserver {
 public:
  TCallLog();
  ~TCallLog() override;
  void Called(const char* name, const std::string& args) override;
  std::vector<std::string> Calls;
  std::vector<std::string> Names() const;
  bool Contains(const std::string& name) const;
  void Clear() { Calls.clear(); }

 private:
  TXbAccessObserver* FPrevious;
};

// A data link that records what it receives, as a grid or an edit field would.
class TRecordingLink : public TDataLink {
 public:
  std::vector<std::string> Events;
  int Checks = 0;  // check-browse-mode notifications, which every move sends

 protected:
  void ActiveChanged() override { Events.push_back(Active() ? "active" : "inactive"); }
  void EditingChanged() override { Events.push_back(Editing() ? "editing" : "not editing"); }
  void DataSetChanged() override { Events.push_back("changed"); }
  void DataSetScrolled(int32_t distance) override {
    Events.push_back("scrolled " + std::to_string(distance));
  }
  void LayoutChanged() override { Events.push_back("layout"); }
  void RecordChanged(TField* field) override { Events.push_back(field ? "field" : "record"); }
  void UpdateData() override { Events.push_back("update"); }
  void CheckBrowseMode() override { ++Checks; }
};

// The message of the error `step` raises, or "(no error)".
inline std::string ErrorOf(const std::function<void()>& step) {
  try {
    step();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no error)";
}

}  // namespace xbtest
