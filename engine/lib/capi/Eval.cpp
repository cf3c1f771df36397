// Expressions, queries and the delimited append.
#include <charconv>
#include <cmath>
#include <optional>

#include "AppendFrom.h"
#include "capi/Capi.h"

using namespace xb;
using namespace xb::capi;

namespace {

// Parses `text` on the current area; nullptr with the reason as the last error.
std::unique_ptr<Expression> ParseOn(WorkArea& a, const char* text) {
  if (!text) {
    SetLastError("no expression given");
    return nullptr;
  }
  auto parsed = a.Parse(text);
  if (!parsed) {
    SetLastError(parsed.status().message());
    return nullptr;
  }
  return std::move(*parsed);
}

// Evaluates `text` on the current area's current record; nothing when there is no area, the
// text does not parse or the record cannot be read (the reason is then the last error).
std::optional<Value> EvaluateOn(const char* text) {
  WorkArea* a = Current();
  if (!a) return std::nullopt;
  auto e = ParseOn(*a, text);
  if (!e || !Check(a->ReadCurrent())) return std::nullopt;
  return a->Evaluate(*e);
}

std::string NumberText(double v) {
  if (!std::isfinite(v)) return "0";
  char buf[64];
  auto [end, error] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
  (void)error;  // 64 characters hold any double at 15 digits
  return std::string(buf, end);
}

}  // namespace

extern "C" {

XB_API int32_t xb_EvalTest(const char* expression) {
  return Guard<int32_t>(XB_EXPR_INVALID, [&]() -> int32_t {
    WorkArea* a = Current();
    if (!a) return XB_EXPR_INVALID;
    auto e = ParseOn(*a, expression);
    if (!e) return XB_EXPR_INVALID;
    switch (e->Type()) {
      case ValueType::kCharacter:
        return XB_EXPR_CHARACTER;
      case ValueType::kNumeric:
        return XB_EXPR_NUMERIC;
      case ValueType::kLogical:
        return XB_EXPR_LOGICAL;
      case ValueType::kDate:
        return XB_EXPR_DATE;
    }
    return XB_EXPR_INVALID;
  });
}

XB_API const char* xb_EvalString(const char* expression) {
  return Guard<const char*>("", [&]() -> const char* {
    std::optional<Value> v = EvaluateOn(expression);
    if (!v) return "";
    switch (v->type) {
      case ValueType::kNumeric:
        return ReturnText(NumberText(v->number));
      case ValueType::kLogical:
        return ReturnText(v->logical ? "T" : "F");
      default:
        return ReturnText(std::move(v->text));
    }
  });
}

XB_API double xb_EvalNumeric(const char* expression) {
  return Guard<double>(0.0, [&]() -> double {
    std::optional<Value> v = EvaluateOn(expression);
    return v && v->type == ValueType::kNumeric && std::isfinite(v->number) ? v->number : 0.0;
  });
}

XB_API int32_t xb_EvalLogical(const char* expression) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    std::optional<Value> v = EvaluateOn(expression);
    return Bool(v && v->type == ValueType::kLogical && v->logical);
  });
}

XB_API int32_t xb_Query(const char* condition) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    WorkArea* a = Current();
    if (!a) return 0;
    auto found = a->SetQuery(condition ? condition : "");
    if (!found) return Check(found.status()), 0;
    return Bool(*found);
  });
}

XB_API int32_t xb_QueryTest(const char* condition) {
  // 1: the condition is a valid logical expression, so xb_QueryRecCount can count it.
  return Guard<int32_t>(0, [&]() -> int32_t {
    WorkArea* a = Current();
    if (!a) return 0;
    auto e = ParseOn(*a, condition);
    if (!e) return 0;
    if (e->Type() != ValueType::kLogical) return SetLastError("condition is not logical"), 0;
    return 1;
  });
}

XB_API int32_t xb_QueryRecCount(void) {
  return Guard<int32_t>(0, []() -> int32_t {
    WorkArea* a = Current();
    if (!a) return 0;
    auto n = a->QueryCount();
    if (!n) return Check(n.status()), 0;
    return int32_t(*n);
  });
}

XB_API const char* xb_DBFilter(void) {
  return Guard<const char*>("", []() -> const char* {
    WorkArea* a = Current();
    return a ? ReturnText(a->QueryText()) : "";
  });
}

XB_API int32_t xb_AppendFrom(const char* file, int32_t sourceType, const char* condition) {
  return Guard<int32_t>(0, [&]() -> int32_t {
    WorkArea* a = Current();
    if (!a) return 0;
    if (!file || !*file) return SetLastError("no source file given"), 0;
    if (sourceType != XB_SOURCE_DELIMITED)
      return SetLastError("unsupported source type: " + std::to_string(sourceType)), 0;
    std::unique_ptr<Expression> cond;
    if (condition && std::string_view(condition).find_first_not_of(' ') != std::string_view::npos) {
      cond = ParseOn(*a, condition);
      if (!cond) return 0;
      if (cond->Type() != ValueType::kLogical) return SetLastError("condition is not logical"), 0;
    }
    auto n = AppendDelimited(*a, file, cond.get());
    if (!n) return Check(n.status()), 0;
    return kTrue;
  });
}

}  // extern "C"
