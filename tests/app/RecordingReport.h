// A ledger report that records what it is asked to do, for the ledger tests.
#pragma once

#include <string>
#include <vector>

#include "TLedger.h"

class TRecordingReport : public TLedgerReport {
 public:
  std::vector<std::string> Events;
  void Beep() override { Events.push_back("beep"); }
  void Show(const std::string& text) override { Events.push_back("show " + text); }
  void ShowInformation(const std::string& text) override { Events.push_back("info " + text); }
  void ShowError(const std::string& text) override { Events.push_back("error " + text); }
};
