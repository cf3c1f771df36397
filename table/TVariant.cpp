#include "TVariant.h"

#include <cmath>

#include "CNumberText.h"

std::string TVariant::AsString() const {
  if (auto* s = std::get_if<std::string>(&FValue)) return *s;
  if (auto* b = std::get_if<bool>(&FValue)) return *b ? "True" : "False";
  if (auto* i = std::get_if<int32_t>(&FValue)) return std::to_string(*i);
  if (auto* d = std::get_if<double>(&FValue)) {
    return CGeneralText(*d);
  }
  return {};
}

double TVariant::AsDouble() const {
  if (auto* d = std::get_if<double>(&FValue)) return *d;
  if (auto* i = std::get_if<int32_t>(&FValue)) return *i;
  if (auto* b = std::get_if<bool>(&FValue)) return *b ? -1 : 0;
  if (auto* s = std::get_if<std::string>(&FValue)) return CLeadingNumber(*s);
  return 0;
}

int64_t TVariant::AsInteger() const {
  if (auto* i = std::get_if<int32_t>(&FValue)) return *i;
  return static_cast<int64_t>(std::llround(AsDouble()));
}

bool TVariant::AsBool() const {
  if (auto* b = std::get_if<bool>(&FValue)) return *b;
  if (auto* s = std::get_if<std::string>(&FValue))
    return !s->empty() &&
           (s->front() == 'T' || s->front() == 't' || s->front() == 'Y' || s->front() == 'y');
  return AsDouble() != 0;
}
