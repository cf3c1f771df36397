#include "Expression.h"

#include <algorithm>
#include <vector>

#include "ExprParser.h"

namespace xb {

namespace {

class ParsedExpression final : public Expression {
 public:
  ParsedExpression(ExprNodePtr root, std::string keyField)
      : FRoot(std::move(root)), FKeyField(std::move(keyField)) {}

  ValueType Type() const override { return FRoot->Type(); }
  int FixedLength() const override { return FRoot->FixedLength(); }
  Value Evaluate(const ExprContext& context) const override {
    Value value;
    FRoot->Eval(context, value);
    return value;
  }
  void Evaluate(const ExprContext& context, Value& out) const override {
    FRoot->Eval(context, out);
  }
  std::string KeyField() const override { return FKeyField; }
  std::vector<RecordSlice> RecordSlices() const override {
    std::vector<RecordSlice> slices;
    if (!FRoot->CollectSlices(slices)) slices.clear();
    return slices;
  }

 private:
  ExprNodePtr FRoot;
  std::string FKeyField;
};

}  // namespace

Result<std::unique_ptr<Expression>> Expression::Parse(std::string_view text,
                                                      const ExprSchema& schema) {
  Result<ExprNodePtr> root = ParseExpression(text, schema);
  if (!root.ok()) return root.status();
  std::vector<int> fields;
  (*root)->CollectFields(fields);
  std::sort(fields.begin(), fields.end());
  fields.erase(std::unique(fields.begin(), fields.end()), fields.end());
  std::string keyField;
  if (fields.size() == 1) {
    keyField = schema.Field(fields[0]).name;
    for (char& c : keyField)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return std::unique_ptr<Expression>(
      std::make_unique<ParsedExpression>(std::move(*root), std::move(keyField)));
}

}  // namespace xb
