// TLedgerReport: how the ledger tells its user about a failure. The window implements it with
// the platform's beep and modal message boxes; the batch tool with stderr.
#pragma once

#include <string>

class TLedgerReport {
 public:
  virtual ~TLedgerReport() = default;
  // The platform's information beep (sound type 64).
  virtual void Beep() = 0;
  // A modal message with the application's title as caption, no icon and one OK button.
  virtual void Show(const std::string& text) = 0;
  // A modal message with the information icon, caption "Information" and one OK button.
  virtual void ShowInformation(const std::string& text) = 0;
  // The standard error report: the error icon and `text`, which already carries the full stop
  // the report adds (see TLedger::StandardErrorText).
  virtual void ShowError(const std::string& text) = 0;
};
