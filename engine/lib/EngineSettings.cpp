#include "EngineSettings.h"

namespace xb::detail {

EngineSettings gSettings;

}  // namespace xb::detail
