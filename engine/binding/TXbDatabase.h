// TXbDatabase: gives a directory a name that tables may use as their DatabaseName.
//
// A table remembers the database component it found; Exists tells it whether that component
// is still the same live one (each gets its own serial number), so that a table never reaches
// a database that has gone and looks again instead.
#pragma once

#include <cstdint>
#include <string>

#include "TComponent.h"

class TXbDatabase : public TComponent {
 public:
  explicit TXbDatabase(TComponent* owner = nullptr);
  ~TXbDatabase() override;
  std::string DataPath;
  std::string DataPathAlias;

  uint64_t Serial() const { return FSerial; }
  static bool Exists(const TXbDatabase* database, uint64_t serial);

 private:
  uint64_t FSerial;
};
