#include "TXbEnv.h"

#include "TXbAccess.h"
#include "TXbFormatSettings.h"
#include "TXbSearchObject.h"

namespace {

int32_t Flag(bool value) {
  return value ? -1 : 0;
}

void ReplaceFirst(std::string& text, const std::string& from, const std::string& to) {
  size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
}

}  // namespace

void TXbEnv::Loaded() {
  TComponent::Loaded();
  if (ApplyTo == atLocal) EnsureEngine();
}

void TXbEnv::SetLockTimeOut(int32_t value) {
  if (!ApplyTo || value == FLockTimeOut) return;
  if (Server()) XbConnection->xb_SetLockTimeout(value);
  if (Local()) {
    EnsureEngine();
    TXbAccess::xb_SetLockTimeout(nullptr, value);
  }
  FLockTimeOut = value;
}

void TXbEnv::SetMemoBlockSize(uint16_t value) {
  if (!ApplyTo || value == FMemoBlockSize) return;
  if (Server()) XbConnection->xb_SetMemoBlockSize(value);
  if (Local()) {
    EnsureEngine();
    TXbAccess::xb_SetMemoBlockSize(nullptr, static_cast<int32_t>(value));
  }
  FMemoBlockSize = value;
}

void TXbEnv::SetSoftSeek(bool value) {
  if (!ApplyTo || value == FSoftSeek) return;
  FSoftSeek = value;
  if (Server()) XbConnection->xb_SetSoftSeek(Flag(value));
  if (Local()) {
    EnsureEngine();
    TXbAccess::xb_SetSoftSeek(nullptr, Flag(value));
  }
}

void TXbEnv::SetExact(bool value) {
  if (!ApplyTo || value == FExact) return;
  FExact = value;
  if (Server()) XbConnection->xb_SetExact(Flag(value));
  if (Local()) {
    EnsureEngine();
    TXbAccess::xb_SetExact(nullptr, Flag(value));
  }
}

void TXbEnv::SetDeleted(bool value) {
  if (!ApplyTo) return;
  FDeleted = value;
  if (Server()) XbConnection->xb_SetDeleted(Flag(value));
  if (Local()) {
    EnsureEngine();
    TXbAccess::xb_SetDeleted(nullptr, Flag(value));
  }
  RefreshTables();
}

void TXbEnv::SetEpoch(int32_t value) {
  if (!ApplyTo) return;
  if (value == 0) value = 1900;
  if (value < 100) value = 100;
  if (value > 2999) value = 2999;
  FEpoch = value;
  if (Server()) XbConnection->xb_SetEpoch(value);
  if (Local()) {
    EnsureEngine();
    TXbAccess::xb_SetEpoch(nullptr, value);
  }
}

void TXbEnv::SetCentury(bool value) {
  if (!ApplyTo) return;
  if (Server()) XbConnection->xb_SetCentury(Flag(value));
  if (Local()) {
    EnsureEngine();
    TXbAccess::xb_SetCentury(nullptr, Flag(value));
  }
  FCentury = value;
  std::string& format = XbFormatSettings().ShortDateFormat;
  if (value) {
    if (format.find("yy") != std::string::npos && format.find("yyyy") == std::string::npos)
      ReplaceFirst(format, "yy", "yyyy");
  } else if (format.find("yyyy") != std::string::npos) {
    ReplaceFirst(format, "yyyy", "yy");
  }
  RefreshTables();
}

void TXbEnv::SetDateFormat(TXbDateFrmt value) {
  if (!ApplyTo) return;
  if (Server()) XbConnection->xb_SetDateFormat(DateFormatCode(value));
  if (Local()) {
    EnsureEngine();
    TXbAccess::xb_SetDateFormat(nullptr, DateFormatCode(value));
  }
  FDateFormat = value;
  TXbFormatSettings& display = XbFormatSettings();
  switch (value) {
    case dfAmerican:
      display.DateSeparator = '/', display.ShortDateFormat = "mm/dd/yy";
      break;
    case dfAnsi:
      display.DateSeparator = '.', display.ShortDateFormat = "yy.mm.dd";
      break;
    case dfBritish:
    case dfFrench:
      display.DateSeparator = '/', display.ShortDateFormat = "dd/mm/yy";
      break;
    case dfGerman:
      display.DateSeparator = '.', display.ShortDateFormat = "dd.mm.yy";
      break;
    case dfItalian:
    case dfSpanish:
      display.DateSeparator = '-', display.ShortDateFormat = "dd-mm-yy";
      break;
    case dfWinDefault: {
      TXbFormatSettings system = SystemFormatSettings();
      display.DateSeparator = system.DateSeparator ? system.DateSeparator : '/';
      display.ShortDateFormat = system.ShortDateFormat.empty() ? "m/d/yy" : system.ShortDateFormat;
      break;
    }
  }
  if (FCentury)
    SetCentury(true);
  else
    RefreshTables();
}

void TXbEnv::SetOptimisticBuffer(bool value) {
  if (!Local()) return;
  EnsureEngine();
  TXbAccess::xb_SysProp(nullptr, XB_PROP_OPTBUF_SET, Flag(value));
  FOptimisticBuffer = TXbAccess::xb_SysProp(nullptr, XB_PROP_OPTBUF_GET, 0) != 0;
}

void TXbEnv::RefreshTables() {
  if (!AutoRefresh) return;
  TXbSearchObject search;
  auto isTable = [](TComponent* c) { return dynamic_cast<TXbRefreshable*>(c) != nullptr; };
  for (TComponent* c = search.FindFirstComponent(isTable); c;
       c = search.FindNextComponent(isTable)) {
    auto* table = dynamic_cast<TXbRefreshable*>(c);
    if (table->RefreshableActive()) table->RefreshFromEngine();
  }
}
