// The engine-wide settings: one set for the whole process, changed only by the xb_Set* entries
// and xb_SysProp. The defaults are the ones the table layer relies on.
#pragma once

#include <cstdint>
#include <string>

namespace xb {

struct EngineSettings {
  bool deletedHidden = false;  // deleted records stay visible
  bool exact = false;          // "=" and seeks compare as much as the search text has
  bool softSeek = false;       // a missed seek goes to the end
  bool century = true;
  bool optimisticBuffer = false;
  bool translate = false;  // kept and reported; bytes are never converted
  bool turboRead = false;  // kept and reported; reads are always buffered
  int epoch = 1980;
  int dateFormat = 99;
  int memoBlockSize = 64;
  int lockTimeout = 1;
  int stringType = 1;
  int errorLevel = 1;
  std::string password;
};

namespace detail {
extern EngineSettings gSettings;
}
inline EngineSettings& Settings() {
  return detail::gSettings;
}

}  // namespace xb
