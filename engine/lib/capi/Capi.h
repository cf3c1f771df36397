// What every xb_* entry shares: the guard that keeps exceptions and bad arguments from
// crossing the C boundary, the current area, field lookup and returned text.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "Engine.h"
#include "xbengine.h"

namespace xb::capi {

inline constexpr int32_t kTrue = -1;
inline int32_t Bool(bool b) {
  return b ? kTrue : 0;
}

// Runs `body`; any exception becomes the neutral result, with its text as the last error.
template <typename R, typename F>
R Guard(R neutral, F&& body) noexcept {
  try {
    return body();
  } catch (const std::exception& e) {
    try {
      SetLastError(std::string("internal error: ") + e.what());
    } catch (...) {
    }
  } catch (...) {
    try {
      SetLastError("internal error");
    } catch (...) {
    }
  }
  return neutral;
}

// The current work area, or nullptr with the reason as the last error.
inline WorkArea* Current() {
  WorkArea* area = Engine::Instance().Current();
  if (!area) SetLastError("no open work area is selected");
  return area;
}

// Records a failed Status as the last error; true when `s` is ok.
inline bool Check(const Status& s) {
  if (!s) SetLastError(s.message());
  return s.ok();
}

// The index of field `name` in `area`, or -1 with the reason as the last error.
inline int FieldIndex(WorkArea& area, const char* name) {
  if (!name) {
    SetLastError("no field name given");
    return -1;
  }
  int i = area.FindField(name);
  if (i < 0) SetLastError(std::string("no such field: ") + name);
  return i;
}

// Keeps `text` in this thread's return buffer until the next text result.
inline const char* ReturnText(std::string text) {
  thread_local std::string buffer;
  buffer = std::move(text);
  return buffer.c_str();
}

}  // namespace xb::capi
