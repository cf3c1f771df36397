// Engine: the process-wide registry of work areas and the current one, and the last error of
// each thread. The entries reach every work area through it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "WorkArea.h"

namespace xb {

class Engine {
 public:
  static Engine& Instance();

  // Opens a table into the lowest free area number (from 1) and makes it current. The alias
  // (default: the file's base name in capitals) must not be in use by another area.
  Result<int> Use(const std::string& path, const std::string& alias, AccessMode mode,
                  CommitLevel level);
  // The current area when one is open, else nullptr. Called by every entry: kept cheap.
  WorkArea* Current() { return FCurrentArea; }
  WorkArea* Area(int number);
  int CurrentNumber() const { return FCurrent; }
  // Makes `number` current; returns the area current before. Selecting an area that is not
  // open leaves no area current, so later entries give their neutral results.
  int Select(int number);
  // The area whose alias is `alias` (without regard to case), 0 when none.
  int FindAlias(const std::string& alias) const;
  // Closes the current area (commits first).
  Status CloseCurrent();

 private:
  std::vector<std::unique_ptr<WorkArea>> FAreas;  // index = area number - 1
  int FCurrent = 0;
  WorkArea* FCurrentArea = nullptr;
};

namespace detail {
extern Engine gEngine;
}
inline Engine& Engine::Instance() {
  return detail::gEngine;
}

void SetLastError(std::string text);
const std::string& LastError();

}  // namespace xb
