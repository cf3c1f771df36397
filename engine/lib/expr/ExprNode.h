// The nodes of a parsed expression. The parser checks every type before it builds a node, so
// a node may rely on the types of its operands. Nodes keep scratch values for their operands
// (mutable), so that evaluating the same tree again reuses their buffers: a tree must not be
// evaluated from two threads at once.
#pragma once

#include <memory>
#include <vector>

#include "Expression.h"

namespace xb {

// The longest text SPACE(), PADL() and the like make, so that no input can ask for gigabytes.
inline constexpr int kMaxTextLength = 65535;

class ExprNode;
using ExprNodePtr = std::unique_ptr<ExprNode>;

class ExprNode {
 public:
  ExprNode(ValueType type, int fixedLength, std::vector<ExprNodePtr> args);
  virtual ~ExprNode() = default;
  ExprNode(const ExprNode&) = delete;
  ExprNode& operator=(const ExprNode&) = delete;

  ValueType Type() const { return FType; }
  // See Expression::FixedLength; -1 for every node that is not of character type.
  int FixedLength() const { return FFixedLength; }
  // 1 for a leaf, else one more than the deepest operand.
  int Depth() const { return FDepth; }

  // Writes the node's value into `out` (type included), reusing its text buffer.
  virtual void Eval(const ExprContext& context, Value& out) const = 0;
  // Adds the indexes of the fields the node reads, operands included.
  virtual void CollectFields(std::vector<int>& fields) const;
  // True, with the value, for a number fixed at parse time (a literal, maybe negated).
  virtual bool ConstantNumber(double& value) const;
  // True when the value is made of record bytes only, adding them (see
  // Expression::RecordSlices); false, with `slices` in any state, otherwise.
  virtual bool CollectSlices(std::vector<RecordSlice>& slices) const;

 protected:
  const ExprNode& Arg(size_t index) const { return *FArgs[index]; }
  size_t ArgCount() const { return FArgs.size(); }

 private:
  ValueType FType;
  int FFixedLength;
  int FDepth = 1;
  std::vector<ExprNodePtr> FArgs;
};

ExprNodePtr MakeLiteral(Value value);
// A field of `schema`, read by its type: C (and unknown types) as stored, N and F as numbers,
// D as a date, L as a logical, M through ExprContext::Memo.
ExprNodePtr MakeField(int index, const FieldInfo& field);

enum class UnaryOp { kNegate, kNot };
ExprNodePtr MakeUnary(UnaryOp op, ExprNodePtr operand);

enum class ArithmeticOp {
  kAdd,               // N + N
  kSubtract,          // N - N
  kMultiply,          // N * N
  kDivide,            // N / N, 0 for a zero divisor
  kConcat,            // C + C
  kConcatBlanksLast,  // C - C: the left's trailing blanks go to the end of the result
  kDatePlusDays,      // D + N
  kDaysPlusDate,      // N + D
  kDateMinusDays,     // D - N
  kDaysBetween,       // D - D
};
ExprNodePtr MakeArithmetic(ArithmeticOp op, ExprNodePtr left, ExprNodePtr right);

enum class CompareOp {
  kEqual,  // with exact off, as many characters as the right side has
  kExactEqual,
  kNotEqual,
  kLess,
  kLessEqual,
  kGreater,
  kGreaterEqual,
  kContains,  // $: left is part of right
};
// Both operands of the same type (kContains: character).
ExprNodePtr MakeCompare(CompareOp op, ExprNodePtr left, ExprNodePtr right);

ExprNodePtr MakeLogical(bool isAnd, ExprNodePtr left, ExprNodePtr right);

enum class Function {
  kUpper,
  kLower,
  kTrim,
  kLTrim,
  kAllTrim,
  kLeft,
  kRight,
  kSubstr,
  kStr,
  kVal,
  kDtos,
  kCtod,
  kDtoc,
  kDate,
  kIif,
  kDeleted,
  kRecNo,
  kRecCount,
  kEmpty,
  kLen,
  kSpace,
  kPadL,
  kPadR,
  kPadC,
};
ExprNodePtr MakeCall(Function function, ValueType type, int fixedLength,
                     std::vector<ExprNodePtr> args);

// A number used as a count of characters (LEFT, SUBSTR, SPACE ...): truncated toward zero and
// clamped to +-1e9, so that any double is safe to use.
long long ToCount(double value);

// The text comparison of the relational operators: <0, 0, >0 as `left` sorts before, with or
// after `right` by unsigned bytes. With `exact` off, `left` is first cut to the length of
// `right` and a shorter text sorts first; with it on, the shorter is padded with blanks.
int CompareText(std::string_view left, std::string_view right, bool exact);

}  // namespace xb
