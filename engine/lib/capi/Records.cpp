// Structure, positioning and record values.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "capi/Capi.h"
#include "dbf/FieldText.h"

using namespace xb;
using namespace xb::capi;

namespace {

// Runs `body` on the current area's field `name`; neutral when there is no area or field, or
// when the current record cannot be read.
template <typename R, typename F>
R OnField(R neutral, const char* name, F&& body) {
  return Guard<R>(neutral, [&]() -> R {
    WorkArea* a = Current();
    if (!a) return neutral;
    int i = FieldIndex(*a, name);
    if (i < 0 || !Check(a->ReadCurrent())) return neutral;
    return body(*a, a->Fields()[size_t(i)], i);
  });
}

std::string_view FieldBytes(WorkArea& a, const FieldInfo& f) {
  return a.Record().substr(size_t(f.offset), size_t(f.width));
}

template <typename F>
int32_t Move(F&& body) {
  return Guard<int32_t>(0, [&] {
    WorkArea* a = Current();
    return a ? Bool(Check(body(*a))) : 0;
  });
}

}  // namespace

extern "C" {

XB_API int32_t xb_FieldCount(void) {
  return Guard<int32_t>(0, [] {
    WorkArea* a = Current();
    return a ? int32_t(a->Fields().size()) : 0;
  });
}

XB_API const char* xb_FieldName(int32_t index) {
  return Guard<const char*>("", [&]() -> const char* {
    WorkArea* a = Current();
    if (!a) return "";
    if (index < 1 || size_t(index) > a->Fields().size()) {
      SetLastError("no field number " + std::to_string(index));
      return "";
    }
    return ReturnText(a->Fields()[size_t(index) - 1].name);
  });
}

XB_API const char* xb_FieldType(const char* field) {
  return OnField<const char*>("", field, [](WorkArea&, const FieldInfo& f, int) {
    return ReturnText(std::string(1, f.type));
  });
}
XB_API int32_t xb_FieldWidth(const char* field) {
  return OnField<int32_t>(0, field, [](WorkArea&, const FieldInfo& f, int) { return f.width; });
}
XB_API int32_t xb_FieldDecimals(const char* field) {
  return OnField<int32_t>(0, field, [](WorkArea&, const FieldInfo& f, int) { return f.decimals; });
}
XB_API int32_t xb_FieldOffset(const char* field) {
  // 1-based position in the record image, whose first byte is the deletion flag.
  return OnField<int32_t>(0, field,
                          [](WorkArea&, const FieldInfo& f, int) { return f.offset + 1; });
}
XB_API int32_t xb_RecSize(void) {
  return Guard<int32_t>(0, [] {
    WorkArea* a = Current();
    return a ? int32_t(a->Table().RecordLength()) : 0;
  });
}

XB_API int32_t xb_GoTop(void) {
  return Move([](WorkArea& a) { return a.GoTop(); });
}
XB_API int32_t xb_GoBottom(void) {
  return Move([](WorkArea& a) { return a.GoBottom(); });
}
XB_API int32_t xb_Skip(int32_t count) {
  return Move([&](WorkArea& a) { return a.Skip(count); });
}
XB_API int32_t xb_Go(int32_t recno) {
  return Move([&](WorkArea& a) {
    return recno < 1 ? (a.Go(0), Status::Error("no such record: " + std::to_string(recno)))
                     : a.Go(uint32_t(recno));
  });
}
XB_API int32_t xb_RecNo(void) {
  return Guard<int32_t>(0, [] {
    WorkArea* a = Current();
    return a ? int32_t(a->RecNo()) : 0;
  });
}
XB_API int32_t xb_RecCount(void) {
  return Guard<int32_t>(0, [] {
    WorkArea* a = Current();
    return a ? int32_t(a->Table().Count()) : 0;
  });
}
XB_API int32_t xb_Count(void) {
  return Guard<int32_t>(0, []() -> int32_t {
    WorkArea* a = Current();
    if (!a) return 0;
    auto n = a->CountVisible();
    if (!n) return Check(n.status()), 0;
    return int32_t(*n);
  });
}
XB_API int32_t xb_Eof(void) {
  return Guard<int32_t>(0, [] {
    WorkArea* a = Current();
    return a ? Bool(a->Eof()) : 0;
  });
}
XB_API int32_t xb_Bof(void) {
  return Guard<int32_t>(0, [] {
    WorkArea* a = Current();
    return a ? Bool(a->Bof()) : 0;
  });
}

XB_API int32_t xb_GetRecord(char* buffer) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    WorkArea* a = Current();
    if (!a) return 0;
    if (!buffer) return SetLastError("no buffer given"), 0;
    if (!Check(a->ReadCurrent())) return 0;
    std::memcpy(buffer, a->Record().data(), a->Record().size());
    return int32_t(a->Record().size());
  });
}

XB_API int32_t xb_PutRecord(const char* buffer) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    WorkArea* a = Current();
    if (!a) return 0;
    if (!buffer) return SetLastError("no buffer given"), 0;
    return Bool(Check(a->PutRecord(std::string_view(buffer, a->Record().size()))));
  });
}

XB_API const char* xb_GetString(const char* field) {
  return OnField<const char*>("", field, [](WorkArea& a, const FieldInfo& f, int) {
    return ReturnText(std::string(FieldBytes(a, f)));
  });
}

XB_API const char* xb_GetTrimString(const char* field) {
  return OnField<const char*>("", field, [](WorkArea& a, const FieldInfo& f, int) {
    std::string_view t = FieldBytes(a, f);
    while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
    if (f.type == 'N' || f.type == 'F')
      while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
    return ReturnText(std::string(t));
  });
}

XB_API int32_t xb_GetInteger(const char* field) {
  return OnField<int32_t>(0, field, [](WorkArea& a, const FieldInfo& f, int) -> int32_t {
    if (f.type == 'L') return Bool(ParseLogical(FieldBytes(a, f)));
    double v = std::trunc(FieldNumber(f, a.Record()));
    if (v > 2147483647.0) return INT32_MAX;
    if (v < -2147483648.0) return INT32_MIN;
    return int32_t(v);
  });
}

XB_API double xb_GetDouble(const char* field) {
  return OnField<double>(
      0.0, field, [](WorkArea& a, const FieldInfo& f, int) { return FieldNumber(f, a.Record()); });
}

XB_API const char* xb_GetDateString(const char* field) {
  return OnField<const char*>("", field, [](WorkArea& a, const FieldInfo& f, int) {
    if (f.type != 'D') return ReturnText(std::string(FieldBytes(a, f)));
    return ReturnText(NormalizeDate(FieldBytes(a, f)));
  });
}

XB_API int32_t xb_Replace(const char* field, int32_t type, const char* value) {
  return OnField<int32_t>(0, field, [&](WorkArea& a, const FieldInfo& f, int i) -> int32_t {
    std::string_view text = value ? std::string_view(value) : std::string_view();
    if (type == XB_REPLACE_MEMO) {
      if (f.type != 'M') return SetLastError("field " + f.name + " is not a memo field"), 0;
      return Bool(Check(a.PutMemo(i, text)));
    }
    return Bool(Check(a.ReplaceField(i, text)));
  });
}

XB_API int32_t xb_AppendBlank(void) {
  return Move([](WorkArea& a) { return a.AppendBlank(); });
}
XB_API int32_t xb_Delete(void) {
  return Move([](WorkArea& a) { return a.SetDeletedMark(true); });
}
XB_API int32_t xb_Recall(void) {
  return Move([](WorkArea& a) { return a.SetDeletedMark(false); });
}
XB_API int32_t xb_Deleted(void) {
  return Guard<int32_t>(0, [] {
    WorkArea* a = Current();
    return a && !a->Eof() && Check(a->ReadCurrent()) ? Bool(a->Record()[0] == '*') : 0;
  });
}
XB_API int32_t xb_Pack(void) {
  return Move([](WorkArea& a) { return a.Pack(); });
}
XB_API int32_t xb_Zap(void) {
  return Move([](WorkArea& a) { return a.Zap(); });
}

// Record locks: a table is either opened exclusively (every record is ours) or shared with
// readers only, so a record lock is always granted.
XB_API int32_t xb_Rlock(int32_t) {
  return Guard<int32_t>(0, [] { return Current() ? kTrue : 0; });
}
XB_API int32_t xb_Unlock(int32_t) {
  return Guard<int32_t>(0, [] { return Current() ? kTrue : 0; });
}

// Memo and blob.
XB_API char* xb_GetMemo(const char* field, int32_t) {
  return OnField<char*>(nullptr, field, [](WorkArea& a, const FieldInfo&, int i) -> char* {
    auto text = a.Memo(i);
    if (!text) return Check(text.status()), nullptr;
    if (text->empty()) return nullptr;
    char* copy = static_cast<char*>(std::malloc(text->size() + 1));
    if (!copy) return SetLastError("out of memory"), nullptr;
    std::memcpy(copy, text->data(), text->size());
    copy[text->size()] = '\0';
    return copy;
  });
}

XB_API int32_t xb_GetBlobLength(const char* field) {
  return OnField<int32_t>(0, field, [](WorkArea& a, const FieldInfo&, int i) -> int32_t {
    auto text = a.Memo(i);
    if (!text) return Check(text.status()), 0;
    return int32_t(text->size());
  });
}

XB_API int32_t xb_GetBlob(const char* field, char* buffer) {
  return OnField<int32_t>(0, field, [&](WorkArea& a, const FieldInfo&, int i) -> int32_t {
    if (!buffer) return SetLastError("no buffer given"), 0;
    auto text = a.Memo(i);
    if (!text) return Check(text.status()), 0;
    std::memcpy(buffer, text->data(), text->size());
    return int32_t(text->size());
  });
}

XB_API int32_t xb_PutBlob(const char* field, const char* data, int32_t length) {
  return OnField<int32_t>(0, field, [&](WorkArea& a, const FieldInfo&, int i) -> int32_t {
    if (length < 0 || (!data && length > 0)) return SetLastError("invalid blob"), 0;
    if (!Check(a.PutMemo(i, std::string_view(data ? data : "", size_t(length))))) return 0;
    return length;
  });
}

XB_API int32_t xb_MemDealloc(void* memory) {
  std::free(memory);
  return kTrue;
}

}  // extern "C"
