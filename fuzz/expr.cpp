// Parses arbitrary text as an expression against a fixed table and evaluates what parses on a
// fixed record, under both settings of exact matching. Any crash, hang or sanitizer report is
// a fault: the engine takes expressions from index files and from users.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "../tests/engine/ExprFixture.h"
#include "expr/Expression.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const xbtest::ExprTestSchema schema;
  static xbtest::ExprTestContext context;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto parsed = xb::Expression::Parse(text, schema);
  if (!parsed.ok()) return 0;
  const xb::Expression& expression = **parsed;
  xb::Value value;
  for (bool exact : {false, true}) {
    context.exact = exact;
    expression.Evaluate(context, value);
    if (value.type != expression.Type()) __builtin_trap();
    if (expression.FixedLength() >= 0 &&
        value.text.size() != static_cast<size_t>(expression.FixedLength()))
      __builtin_trap();
  }
  return 0;
}
