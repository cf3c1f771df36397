// EXbError: the error the table component and the binding raise, carrying the component's
// fixed English message verbatim.
#pragma once

#include <stdexcept>
#include <string>

class EXbError : public std::runtime_error {
 public:
  explicit EXbError(const std::string& message) : std::runtime_error(message) {}
};
