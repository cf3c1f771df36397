// Placeholder entry so the library links while the engine is being written.
#include "xbengine.h"

extern "C" XB_API const char* xb_Version(void) {
  return "xbengine 0.1";
}
