#include "EngineSettings.h"

namespace xb {

EngineSettings& Settings() {
  static EngineSettings settings;
  return settings;
}

}  // namespace xb
