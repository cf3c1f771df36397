// TXbEnv: the engine-wide settings. A setter pushes its value to the engine at once (when
// ApplyTo holds atLocal) and to the server connection (atServer); a table copies the settings
// of the first TXbEnv the component search finds when it opens. With ApplyTo empty a setter
// does nothing at all.
#pragma once

#include <cstdint>

#include "TComponent.h"
#include "TXbConnection.h"

enum TXbApplyType : unsigned { atLocal = 1u, atServer = 2u };
using TXbApplyTo = unsigned;  // a set of TXbApplyType bits

enum TXbDateFrmt {
  dfAmerican,
  dfAnsi,
  dfBritish,
  dfFrench,
  dfGerman,
  dfItalian,
  dfSpanish,
  dfWinDefault
};

// Implemented by record sets that re-read their records when an engine-wide setting that
// changes what they show (deleted records, the date display) changes.
class TXbRefreshable {
 public:
  virtual ~TXbRefreshable() = default;
  virtual bool RefreshableActive() const = 0;
  virtual void RefreshFromEngine() = 0;
};

class TXbEnv : public TComponent {
 public:
  using TComponent::TComponent;
  void Loaded() override;

  TXbApplyTo ApplyTo = atLocal;
  TXbConnection* XbConnection = nullptr;
  bool AutoRefresh = true;

  bool Century() const { return FCentury; }
  void SetCentury(bool value);
  TXbDateFrmt DateFormat() const { return FDateFormat; }
  void SetDateFormat(TXbDateFrmt value);
  bool Deleted() const { return FDeleted; }
  void SetDeleted(bool value);
  int32_t Epoch() const { return FEpoch; }
  void SetEpoch(int32_t value);
  bool Exact() const { return FExact; }
  void SetExact(bool value);
  int32_t ErrorFunc() const { return -1; }
  bool CountNeedsRefresh() const { return false; }
  int32_t LockTimeOut() const { return FLockTimeOut; }
  void SetLockTimeOut(int32_t value);
  uint16_t MemoBlockSize() const { return FMemoBlockSize; }
  void SetMemoBlockSize(uint16_t value);
  bool OptimisticBuffer() const { return (ApplyTo & atLocal) ? FOptimisticBuffer : false; }
  void SetOptimisticBuffer(bool value);
  bool SoftSeek() const { return FSoftSeek; }
  void SetSoftSeek(bool value);
  int32_t ErrorLevel() const { return 0; }

  // The engine code of a date format: 99 for dfWinDefault, else the ordinal.
  static int32_t DateFormatCode(TXbDateFrmt format) {
    return format == dfWinDefault ? 99 : static_cast<int32_t>(format);
  }

  // Every active table the component search finds re-reads its records (only with
  // AutoRefresh).
  void RefreshTables();

 private:
  bool Local() const { return (ApplyTo & atLocal) != 0; }
  bool Server() const {
    return (ApplyTo & atServer) != 0 && XbConnection && XbConnection->Connected();
  }

  bool FCentury = true;
  TXbDateFrmt FDateFormat = dfWinDefault;
  bool FDeleted = false;
  int32_t FEpoch = 1980;
  bool FExact = false;
  int32_t FLockTimeOut = 1;
  uint16_t FMemoBlockSize = 64;
  bool FOptimisticBuffer = false;
  bool FSoftSeek = false;
};
