// Index tags and orders. Order 0 is record order; orders from 1 are the tags of the work
// area's index files.
#include "capi/Capi.h"

using namespace xb;
using namespace xb::capi;

namespace {

template <typename R, typename F>
R OnArea(R neutral, F&& body) {
  return Guard<R>(neutral, [&]() -> R {
    WorkArea* a = Current();
    return a ? body(*a) : neutral;
  });
}

// The controlling order, or nullptr with the reason as the last error.
Order* Controlling(WorkArea& a) {
  Order* o = a.OrderAt(a.CurrentOrder());
  if (!o) SetLastError("no controlling index order");
  return o;
}

}  // namespace

extern "C" {

XB_API int32_t xb_IndexTag(const char* file, const char* tag, const char* expression,
                           int32_t option, int32_t descending, const char* condition) {
  return OnArea<int32_t>(0, [&](WorkArea& a) -> int32_t {
    if (!tag || !*tag || !expression || !*expression)
      return SetLastError("xb_IndexTag needs a tag name and a key expression"), 0;
    TagDefinition def;
    def.name = tag;
    for (char& c : def.name)
      if (c >= 'a' && c <= 'z') c = char(c - 32);
    def.keyExpression = expression;
    def.condition = condition ? condition : "";
    def.descending = descending != 0;
    def.unique = (option & 1) != 0;
    auto order = a.IndexTag(file ? file : "", def);
    if (!order) return Check(order.status()), 0;
    return *order;
  });
}

XB_API int32_t xb_TagArea(const char* tag) {
  return OnArea<int32_t>(0, [&](WorkArea& a) { return tag ? a.FindTag(tag) : 0; });
}

XB_API int32_t xb_SetOrder(int32_t order) {
  return OnArea<int32_t>(0, [&](WorkArea& a) { return Bool(Check(a.SetOrder(order))); });
}

XB_API int32_t xb_IndexOrd(void) {
  return OnArea<int32_t>(0, [](WorkArea& a) { return a.CurrentOrder(); });
}

XB_API const char* xb_TagName(int32_t order) {
  return OnArea<const char*>("", [&](WorkArea& a) -> const char* {
    Order* o = a.OrderAt(order);
    return o ? ReturnText(o->Name()) : "";
  });
}

XB_API const char* xb_IndexName(int32_t order) {
  return OnArea<const char*>("", [&](WorkArea& a) -> const char* {
    IndexSet* bag = a.BagOfOrder(order);
    return bag ? ReturnText(bag->Path()) : "";
  });
}

XB_API const char* xb_IndexKey(void) {
  return OnArea<const char*>("", [](WorkArea& a) -> const char* {
    Order* o = Controlling(a);
    return o ? ReturnText(o->KeyExpression()) : "";
  });
}

XB_API const char* xb_IndexKeyField(void) {
  return OnArea<const char*>("", [](WorkArea& a) -> const char* {
    Order* o = Controlling(a);
    return o ? ReturnText(o->KeyField()) : "";
  });
}

XB_API int32_t xb_IndexType(void) {
  // 2 for a unique order, 1 for any other, 0 without a controlling order.
  return OnArea<int32_t>(0, [](WorkArea& a) -> int32_t {
    Order* o = Controlling(a);
    return o ? (o->Unique() ? 2 : 1) : 0;
  });
}

XB_API const char* xb_IndexCondition(void) {
  return OnArea<const char*>("", [](WorkArea& a) -> const char* {
    Order* o = Controlling(a);
    return o ? ReturnText(o->Condition()) : "";
  });
}

XB_API int32_t xb_IndexOpen(const char* file) {
  return OnArea<int32_t>(0, [&](WorkArea& a) -> int32_t {
    if (!file || !*file) return SetLastError("no index file given"), 0;
    auto order = a.OpenIndex(file);
    if (!order) return Check(order.status()), 0;
    return *order;
  });
}

XB_API int32_t xb_CloseIndexes(void) {
  return OnArea<int32_t>(0, [](WorkArea& a) { return Bool(Check(a.CloseIndexes())); });
}

XB_API int32_t xb_Reindex(void) {
  return OnArea<int32_t>(0, [](WorkArea& a) { return Bool(Check(a.Reindex())); });
}

XB_API int32_t xb_Seek(const char* key) {
  return OnArea<int32_t>(0, [&](WorkArea& a) -> int32_t {
    auto found = a.Seek(key ? key : "");
    if (!found) return Check(found.status()), 0;
    return Bool(*found);
  });
}

XB_API int32_t xb_Found(void) {
  return OnArea<int32_t>(0, [](WorkArea& a) { return Bool(a.Found()); });
}

XB_API int32_t xb_SetScope(const char* low, const char* high) {
  return OnArea<int32_t>(0, [&](WorkArea& a) {
    std::optional<std::string> lo, hi;
    if (low) lo = low;
    if (high) hi = high;
    return Bool(Check(a.SetScope(lo, hi)));
  });
}

XB_API const char* xb_GetScope(int32_t which) {
  return OnArea<const char*>("", [&](WorkArea& a) -> const char* {
    const auto& v = which == 0 ? a.ScopeLow() : a.ScopeHigh();
    return v ? ReturnText(*v) : "";
  });
}

XB_API double xb_OrderPosGet(void) {
  return OnArea<double>(0.0, [](WorkArea& a) {
    auto p = a.Position();
    if (!p) return Check(p.status()), 0.0;
    return *p;
  });
}

XB_API int32_t xb_OrderPosSet(double position) {
  return OnArea<int32_t>(0, [&](WorkArea& a) { return Bool(Check(a.GoPosition(position))); });
}

}  // extern "C"
