// Work areas and engine-wide settings.
#include "EngineSettings.h"
#include "capi/Capi.h"

using namespace xb;
using namespace xb::capi;

namespace {

int32_t SetBoolSetting(bool& setting, int32_t on) {
  bool previous = setting;
  setting = on != 0;
  return Bool(previous);
}

int32_t SetIntSetting(int& setting, int32_t value) {
  int previous = setting;
  setting = value;
  return previous;
}

}  // namespace

extern "C" {

XB_API int32_t xb_UseEx(const char* path, const char* alias, int32_t openMode, int32_t driver,
                        int32_t commitLevel) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    if (!path || !*path) {
      SetLastError("no table file given");
      return 0;
    }
    if (driver != XB_DRIVER_CDX) {
      SetLastError("unsupported driver code: " + std::to_string(driver));
      return 0;
    }
    AccessMode mode;
    switch (openMode) {
      case XB_OPEN_SHARED:
        mode = AccessMode::kShared;
        break;
      case XB_OPEN_READONLY:
        mode = AccessMode::kReadOnly;
        break;
      case XB_OPEN_EXCLUSIVE:
        mode = AccessMode::kExclusive;
        break;
      default:
        SetLastError("invalid open mode: " + std::to_string(openMode));
        return 0;
    }
    CommitLevel level;
    switch (commitLevel) {
      case XB_COMMIT_NONE:
        level = CommitLevel::kNone;
        break;
      case XB_COMMIT_NORMAL:
        level = CommitLevel::kNormal;
        break;
      case XB_COMMIT_FULL:
        level = CommitLevel::kFull;
        break;
      default:
        SetLastError("invalid commit level: " + std::to_string(commitLevel));
        return 0;
    }
    auto area = Engine::Instance().Use(path, alias ? alias : "", mode, level);
    if (!area) {
      SetLastError("unable to open " + std::string(path) + ": " + area.status().message());
      return 0;
    }
    if (WorkArea* a = Engine::Instance().Current(); a && !a->Table().RepairNote().empty())
      SetLastError("opened with a repair: " + a->Table().RepairNote());
    return *area;
  });
}

XB_API int32_t xb_Select(int32_t area) {
  return Guard<int32_t>(0, [&] { return Engine::Instance().Select(area); });
}

XB_API int32_t xb_WorkArea(const char* alias) {
  return Guard<int32_t>(0, [&] { return alias ? Engine::Instance().FindAlias(alias) : 0; });
}

XB_API const char* xb_Alias(int32_t area) {
  return Guard<const char*>("", [&]() -> const char* {
    WorkArea* a = Engine::Instance().Area(area == 0 ? Engine::Instance().CurrentNumber() : area);
    return a ? ReturnText(a->AliasName()) : "";
  });
}

XB_API int32_t xb_Close(void) {
  return Guard<int32_t>(0, [] {
    if (!Current()) return 0;
    return Bool(Check(Engine::Instance().CloseCurrent()));
  });
}

XB_API int32_t xb_Commit(void) {
  return Guard<int32_t>(0, [] {
    WorkArea* a = Current();
    return a ? Bool(Check(a->Commit())) : 0;
  });
}

XB_API int32_t xb_ErrorLevel(int32_t level) {
  return Guard<int32_t>(0, [&] { return SetIntSetting(Settings().errorLevel, level); });
}

XB_API int32_t xb_SysProp(int32_t code, int32_t value) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    EngineSettings& s = Settings();
    switch (code) {
      case XB_PROP_DELETED_HIDDEN:
        return s.deletedHidden ? 1 : 0;
      case XB_PROP_EXACT_GET:
        return s.exact ? 1 : 0;
      case XB_PROP_EXACT_SET:
        s.exact = value != 0;
        return s.exact ? 1 : 0;
      case XB_PROP_OPTBUF_GET:
        return s.optimisticBuffer ? 1 : 0;
      case XB_PROP_OPTBUF_SET:
        s.optimisticBuffer = value != 0;
        return s.optimisticBuffer ? 1 : 0;
      case XB_PROP_ORDER_COUNT: {
        WorkArea* a = Current();
        return a ? a->OrderCount() : 0;
      }
      case XB_PROP_DESCENDING: {
        WorkArea* a = Current();
        Order* o = a ? a->OrderAt(a->CurrentOrder()) : nullptr;
        return o && o->Descending() ? 1 : 0;
      }
      default:
        SetLastError("unknown property code: " + std::to_string(code));
        return 0;
    }
  });
}

XB_API int32_t xb_SetStringType(int32_t type) {
  return Guard<int32_t>(0, [&] { return SetIntSetting(Settings().stringType, type); });
}
XB_API int32_t xb_SetTranslate(int32_t on) {
  return Guard<int32_t>(0, [&] { return SetBoolSetting(Settings().translate, on); });
}
XB_API int32_t xb_SetTurboRead(int32_t on) {
  return Guard<int32_t>(0, [&] { return SetBoolSetting(Settings().turboRead, on); });
}
XB_API int32_t xb_SetPassword(const char* password) {
  return Guard<int32_t>(0, [&] {
    Settings().password = password ? password : "";
    return kTrue;
  });
}
XB_API int32_t xb_IsEncrypted(int32_t) {
  // Encrypted tables are not supported: no table we open is encrypted.
  return 0;
}
XB_API int32_t xb_SetExact(int32_t on) {
  return Guard<int32_t>(0, [&] { return SetBoolSetting(Settings().exact, on); });
}
XB_API int32_t xb_SetSoftSeek(int32_t on) {
  return Guard<int32_t>(0, [&] { return SetBoolSetting(Settings().softSeek, on); });
}
XB_API int32_t xb_SetDeleted(int32_t hide) {
  return Guard<int32_t>(0, [&] { return SetBoolSetting(Settings().deletedHidden, hide); });
}
XB_API int32_t xb_SetEpoch(int32_t year) {
  return Guard<int32_t>(0, [&] { return SetIntSetting(Settings().epoch, year); });
}
XB_API int32_t xb_SetCentury(int32_t on) {
  return Guard<int32_t>(0, [&] { return SetBoolSetting(Settings().century, on); });
}
XB_API int32_t xb_SetDateFormat(int32_t code) {
  return Guard<int32_t>(0, [&] { return SetIntSetting(Settings().dateFormat, code); });
}
XB_API int32_t xb_SetMemoBlockSize(int32_t size) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    if (size < 1 || size > 0xFFFF) {
      SetLastError("invalid memo block size: " + std::to_string(size));
      return 0;
    }
    return SetIntSetting(Settings().memoBlockSize, size);
  });
}
XB_API int32_t xb_SetLockTimeout(int32_t seconds) {
  return Guard<int32_t>(0, [&] { return SetIntSetting(Settings().lockTimeout, seconds); });
}

XB_API const char* xb_ErrorText(void) {
  return Guard<const char*>("", [] {
    thread_local std::string copy;
    copy = LastError();
    return copy.c_str();
  });
}

XB_API int32_t xb_CreateTable(const char* path, const char* fields) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    if (!path || !*path || !fields) {
      SetLastError("xb_CreateTable needs a path and fields");
      return 0;
    }
    std::vector<FieldInfo> defs;
    std::string all = fields;
    size_t at = 0;
    while (at <= all.size()) {
      size_t end = all.find(';', at);
      if (end == std::string::npos) end = all.size();
      std::string one = all.substr(at, end - at);
      at = end + 1;
      if (one.find_first_not_of(' ') == std::string::npos) continue;
      std::vector<std::string> parts;
      size_t p = 0;
      while (true) {
        size_t q = one.find(',', p);
        std::string part = one.substr(p, q == std::string::npos ? std::string::npos : q - p);
        size_t b = part.find_first_not_of(' '), e = part.find_last_not_of(' ');
        parts.push_back(b == std::string::npos ? "" : part.substr(b, e - b + 1));
        if (q == std::string::npos) break;
        p = q + 1;
      }
      auto number = [](const std::string& t, int* out) {
        if (t.empty()) {
          *out = 0;
          return true;
        }
        if (t.size() > 5 || t.find_first_not_of("0123456789") != std::string::npos) return false;
        *out = std::stoi(t);
        return true;
      };
      FieldInfo f;
      if (parts.size() < 2 || parts.size() > 4 || parts[1].size() != 1 ||
          !number(parts.size() > 2 ? parts[2] : "", &f.width) ||
          !number(parts.size() > 3 ? parts[3] : "", &f.decimals)) {
        SetLastError("invalid field definition: \"" + one + "\"");
        return 0;
      }
      f.name = parts[0];
      f.type = parts[1][0];
      defs.push_back(std::move(f));
    }
    return Bool(Check(DbfTable::Create(path, std::move(defs), uint32_t(Settings().memoBlockSize))));
  });
}

}  // extern "C"
