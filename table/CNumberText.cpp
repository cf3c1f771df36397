#include "CNumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>

std::string CGeneralText(double value, int digits) {
  char text[64];
  auto [end, error] = std::to_chars(text, text + sizeof(text), value, std::chars_format::general,
                                    std::clamp(digits, 1, 17));
  (void)error;  // 64 characters hold any double at 17 digits
  return std::string(text, end);
}

std::string CFixedText(double value, int decimals) {
  char text[400];
  auto [end, error] = std::to_chars(text, text + sizeof(text), value, std::chars_format::fixed,
                                    std::clamp(decimals, 0, 60));
  (void)error;  // 400 characters hold any double with 60 decimals
  return std::string(text, end);
}

namespace {

const char* SkipPlus(const char* from, const char* to) {
  return from != to && *from == '+' ? from + 1 : from;
}

}  // namespace

std::optional<double> CReadNumber(std::string_view text) {
  const char* to = text.data() + text.size();
  const char* from = SkipPlus(text.data(), to);
  double v = 0;
  auto [end, error] = std::from_chars(from, to, v);
  if (from == to || end != to || error != std::errc() || !std::isfinite(v)) return std::nullopt;
  return v;
}

double CLeadingNumber(std::string_view text) {
  const char* from = text.data();
  const char* to = from + text.size();
  while (from != to && (*from == ' ' || *from == '\t' || *from == '\n' || *from == '\r')) ++from;
  from = SkipPlus(from, to);
  double v = 0;
  std::from_chars(from, to, v);
  return v;
}
