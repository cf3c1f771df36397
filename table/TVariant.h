// TVariant: a field value passed to Locate and Lookup, or returned by Lookup; null by default.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

class TVariant {
 public:
  TVariant() = default;
  TVariant(bool v) : FValue(v) {}                      // NOLINT: implicit by design
  TVariant(int32_t v) : FValue(v) {}                   // NOLINT
  TVariant(double v) : FValue(v) {}                    // NOLINT
  TVariant(std::string v) : FValue(std::move(v)) {}    // NOLINT
  TVariant(const char* v) : FValue(std::string(v)) {}  // NOLINT

  bool IsNull() const { return std::holds_alternative<std::monostate>(FValue); }
  bool IsString() const { return std::holds_alternative<std::string>(FValue); }
  bool IsBool() const { return std::holds_alternative<bool>(FValue); }
  bool IsInteger() const { return std::holds_alternative<int32_t>(FValue); }
  bool IsDouble() const { return std::holds_alternative<double>(FValue); }

  // The value as text (numbers in C notation with up to 15 significant digits, Booleans as
  // "True"/"False", null as "").
  std::string AsString() const;
  double AsDouble() const;
  int64_t AsInteger() const;
  bool AsBool() const;

  bool operator==(const TVariant& other) const { return FValue == other.FValue; }

 private:
  std::variant<std::monostate, bool, int32_t, double, std::string> FValue;
};
