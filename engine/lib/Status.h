// Status and Result: how the engine's layers report expected failures.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace xb {

// The outcome of an operation that can fail for reasons outside the program (a file that is
// missing, short, corrupt, or a write the OS refused). An ok Status carries no text.
class Status {
 public:
  Status() = default;
  static Status Ok() { return Status(); }
  static Status Error(std::string message) { return Status(std::move(message)); }

  bool ok() const { return !FFailed; }
  explicit operator bool() const { return ok(); }
  const std::string& message() const { return FMessage; }

 private:
  explicit Status(std::string message) : FFailed(true), FMessage(std::move(message)) {}
  bool FFailed = false;
  std::string FMessage;
};

// A value or the Status that explains why there is none.
template <typename T>
class Result {
 public:
  Result(T value) : FValue(std::move(value)) {}  // NOLINT: implicit by design
  Result(Status status) : FValue(std::move(status)) {}  // NOLINT: must be an error status

  bool ok() const { return std::holds_alternative<T>(FValue); }
  explicit operator bool() const { return ok(); }
  T& value() { return std::get<T>(FValue); }
  const T& value() const { return std::get<T>(FValue); }
  T& operator*() { return value(); }
  T* operator->() { return &value(); }
  Status status() const { return ok() ? Status::Ok() : std::get<Status>(FValue); }

 private:
  std::variant<T, Status> FValue;
};

}  // namespace xb
