// The work area's expressions: parsing against its fields, evaluation on the current record,
// and the query that limits moves.
#include "EngineSettings.h"
#include "WorkArea.h"

namespace xb {

Result<std::unique_ptr<Expression>> WorkArea::Parse(std::string_view text) const {
  return Expression::Parse(text, *this);
}

Value WorkArea::Evaluate(const Expression& expression) const {
  auto context = ContextFor(FRecNo, Record());
  return expression.Evaluate(*context);
}

Result<bool> WorkArea::SetQuery(std::string_view condition) {
  size_t b = condition.find_first_not_of(' ');
  if (b == std::string_view::npos) {
    FQuery.reset();
    FQueryText.clear();
    return true;
  }
  auto parsed = Parse(condition);
  if (!parsed) return parsed.status();
  if ((*parsed)->Type() != ValueType::kLogical)
    return Status::Error("a query condition must be logical: " + std::string(condition));
  FQuery = std::move(*parsed);
  FQueryText = std::string(condition);
  if (Status s = GoTop(); !s) return s;
  return !FEof;
}

}  // namespace xb
