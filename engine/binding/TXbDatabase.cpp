#include "TXbDatabase.h"

#include <algorithm>
#include <vector>

namespace {

std::vector<const TXbDatabase*>& Live() {
  static std::vector<const TXbDatabase*> live;
  return live;
}

uint64_t GNextSerial = 1;

}  // namespace

TXbDatabase::TXbDatabase(TComponent* owner) : TComponent(owner), FSerial(GNextSerial++) {
  Live().push_back(this);
}

TXbDatabase::~TXbDatabase() {
  auto& live = Live();
  live.erase(std::remove(live.begin(), live.end(), this), live.end());
}

bool TXbDatabase::Exists(const TXbDatabase* database, uint64_t serial) {
  const auto& live = Live();
  return std::find(live.begin(), live.end(), database) != live.end() &&
         database->Serial() == serial;
}
