#include "ExprNode.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "DateText.h"
#include "NumberText.h"

namespace xb {

namespace {

// Largest day count added to a date: more than the whole calendar, small enough to stay exact.
constexpr double kMaxDayShift = 1e7;

double Finite(double value) {
  return std::isfinite(value) ? value : 0.0;
}

bool IsTextBlank(char c) {
  return c == ' ';
}

void SetLogical(Value& out, bool value) {
  out.type = ValueType::kLogical;
  out.logical = value;
}

void SetNumber(Value& out, double value) {
  out.type = ValueType::kNumeric;
  out.number = Finite(value);
}

void Assign(Value& out, const Value& from) {
  out.type = from.type;
  out.text.assign(from.text);
  out.number = from.number;
  out.logical = from.logical;
}

// ---------------------------------------------------------------------------------------------

class LiteralNode final : public ExprNode {
 public:
  explicit LiteralNode(Value value)
      : ExprNode(value.type,
                 value.type == ValueType::kCharacter ? static_cast<int>(value.text.size()) : -1,
                 {}),
        FValue(std::move(value)) {}
  void Eval(const ExprContext&, Value& out) const override { Assign(out, FValue); }
  bool ConstantNumber(double& value) const override {
    if (FValue.type != ValueType::kNumeric) return false;
    value = FValue.number;
    return true;
  }

 private:
  Value FValue;
};

// ---------------------------------------------------------------------------------------------

enum class FieldKind { kText, kNumber, kDate, kLogical, kMemo };

FieldKind KindOf(char type) {
  switch (type) {
    case 'N':
    case 'F':
      return FieldKind::kNumber;
    case 'D':
      return FieldKind::kDate;
    case 'L':
      return FieldKind::kLogical;
    case 'M':
      return FieldKind::kMemo;
    default:
      return FieldKind::kText;
  }
}

ValueType TypeOf(FieldKind kind) {
  switch (kind) {
    case FieldKind::kNumber:
      return ValueType::kNumeric;
    case FieldKind::kDate:
      return ValueType::kDate;
    case FieldKind::kLogical:
      return ValueType::kLogical;
    default:
      return ValueType::kCharacter;
  }
}

class FieldNode final : public ExprNode {
 public:
  FieldNode(int index, const FieldInfo& field)
      : ExprNode(TypeOf(KindOf(field.type)),
                 KindOf(field.type) == FieldKind::kText ? std::max(field.width, 0) : -1, {}),
        FIndex(index),
        FKind(KindOf(field.type)),
        FOffset(static_cast<size_t>(std::max(field.offset, 0))),
        FWidth(static_cast<size_t>(std::max(field.width, 0))) {}

  void Eval(const ExprContext& context, Value& out) const override {
    out.type = Type();
    if (FKind == FieldKind::kMemo) {
      out.text = context.Memo(FIndex);
      return;
    }
    // A record shorter than the field (a damaged image) reads as blanks, never out of bounds.
    const std::string_view record = context.Record();
    const std::string_view raw =
        FOffset < record.size() ? record.substr(FOffset, FWidth) : std::string_view();
    switch (FKind) {
      case FieldKind::kText:
        out.text.assign(raw);
        if (raw.size() < FWidth) out.text.append(FWidth - raw.size(), ' ');
        break;
      case FieldKind::kNumber:
        out.number = ParseStoredNumber(raw);
        break;
      case FieldKind::kDate:
        if (raw.size() == 8 && DayNumberOf(raw) != kNoDay)
          out.text.assign(raw);
        else
          out.text.assign(kEmptyDate);
        break;
      case FieldKind::kLogical:
        out.logical = !raw.empty() && std::strchr("TtYy", raw[0]) != nullptr && raw[0] != '\0';
        break;
      case FieldKind::kMemo:
        break;
    }
  }

  void CollectFields(std::vector<int>& fields) const override { fields.push_back(FIndex); }
  bool CollectSlices(std::vector<RecordSlice>& slices) const override {
    if (FKind != FieldKind::kText) return false;
    slices.push_back(RecordSlice{static_cast<int>(FOffset), static_cast<int>(FWidth), false});
    return true;
  }

 private:
  int FIndex;
  FieldKind FKind;
  size_t FOffset;
  size_t FWidth;
};

// ---------------------------------------------------------------------------------------------

std::vector<ExprNodePtr> Args(ExprNodePtr a) {
  std::vector<ExprNodePtr> args;
  args.push_back(std::move(a));
  return args;
}

std::vector<ExprNodePtr> Args(ExprNodePtr a, ExprNodePtr b) {
  std::vector<ExprNodePtr> args;
  args.push_back(std::move(a));
  args.push_back(std::move(b));
  return args;
}

class UnaryNode final : public ExprNode {
 public:
  UnaryNode(UnaryOp op, ValueType type, ExprNodePtr operand)
      : ExprNode(type, -1, Args(std::move(operand))), FOp(op) {}
  void Eval(const ExprContext& context, Value& out) const override {
    Arg(0).Eval(context, out);
    if (FOp == UnaryOp::kNegate)
      out.number = -out.number;
    else
      out.logical = !out.logical;
  }
  bool ConstantNumber(double& value) const override {
    if (FOp != UnaryOp::kNegate || !Arg(0).ConstantNumber(value)) return false;
    value = -value;
    return true;
  }

 private:
  UnaryOp FOp;
};

// ---------------------------------------------------------------------------------------------

ValueType ArithmeticType(ArithmeticOp op) {
  switch (op) {
    case ArithmeticOp::kConcat:
    case ArithmeticOp::kConcatBlanksLast:
      return ValueType::kCharacter;
    case ArithmeticOp::kDatePlusDays:
    case ArithmeticOp::kDaysPlusDate:
    case ArithmeticOp::kDateMinusDays:
      return ValueType::kDate;
    default:
      return ValueType::kNumeric;
  }
}

int SumOfLengths(const ExprNode& left, const ExprNode& right, ArithmeticOp op) {
  if (ArithmeticType(op) != ValueType::kCharacter) return -1;
  if (left.FixedLength() < 0 || right.FixedLength() < 0) return -1;
  return left.FixedLength() + right.FixedLength();
}

void ShiftDate(Value& date, double days) {
  int64_t day = DayNumberOf(date.text);
  if (day == kNoDay) return;  // the empty date stays empty
  if (!(std::fabs(days) <= kMaxDayShift)) {
    date.text.assign(kEmptyDate);
    return;
  }
  DateOfDayNumber(day + static_cast<int64_t>(days), date.text);
}

class ArithmeticNode final : public ExprNode {
 public:
  ArithmeticNode(ArithmeticOp op, int fixedLength, ExprNodePtr left, ExprNodePtr right)
      : ExprNode(ArithmeticType(op), fixedLength, Args(std::move(left), std::move(right))),
        FOp(op) {}

  void Eval(const ExprContext& context, Value& out) const override {
    if (FOp == ArithmeticOp::kDaysPlusDate) {
      Arg(1).Eval(context, out);
      Arg(0).Eval(context, FRight);
      ShiftDate(out, FRight.number);
      return;
    }
    Arg(0).Eval(context, out);
    Arg(1).Eval(context, FRight);
    switch (FOp) {
      case ArithmeticOp::kAdd:
        SetNumber(out, out.number + FRight.number);
        break;
      case ArithmeticOp::kSubtract:
        SetNumber(out, out.number - FRight.number);
        break;
      case ArithmeticOp::kMultiply:
        SetNumber(out, out.number * FRight.number);
        break;
      case ArithmeticOp::kDivide:
        SetNumber(out, FRight.number == 0.0 ? 0.0 : out.number / FRight.number);
        break;
      case ArithmeticOp::kConcat:
        out.text.append(FRight.text);
        break;
      case ArithmeticOp::kConcatBlanksLast: {
        size_t kept = out.text.size();
        while (kept > 0 && IsTextBlank(out.text[kept - 1])) --kept;
        const size_t blanks = out.text.size() - kept;
        out.text.resize(kept);
        out.text.append(FRight.text);
        out.text.append(blanks, ' ');
        break;
      }
      case ArithmeticOp::kDatePlusDays:
        ShiftDate(out, FRight.number);
        break;
      case ArithmeticOp::kDateMinusDays:
        ShiftDate(out, -FRight.number);
        break;
      case ArithmeticOp::kDaysBetween: {
        const int64_t a = DayNumberOf(out.text);
        const int64_t b = DayNumberOf(FRight.text);
        SetNumber(out, a == kNoDay || b == kNoDay ? 0.0 : static_cast<double>(a - b));
        break;
      }
      case ArithmeticOp::kDaysPlusDate:
        break;
    }
  }
  bool CollectSlices(std::vector<RecordSlice>& slices) const override {
    return FOp == ArithmeticOp::kConcat && Arg(0).CollectSlices(slices) &&
           Arg(1).CollectSlices(slices);
  }

 private:
  ArithmeticOp FOp;
  mutable Value FRight;
};

// ---------------------------------------------------------------------------------------------

class CompareNode final : public ExprNode {
 public:
  CompareNode(CompareOp op, ExprNodePtr left, ExprNodePtr right)
      : ExprNode(ValueType::kLogical, -1, Args(std::move(left), std::move(right))), FOp(op) {}

  void Eval(const ExprContext& context, Value& out) const override {
    Arg(0).Eval(context, FLeft);
    Arg(1).Eval(context, FRight);
    SetLogical(out, Holds(context));
  }

 private:
  bool Holds(const ExprContext& context) const {
    int order = 0;
    switch (FLeft.type) {
      case ValueType::kCharacter:
        if (FOp == CompareOp::kExactEqual) return FLeft.text == FRight.text;
        if (FOp == CompareOp::kContains)
          return !FLeft.text.empty() && FRight.text.find(FLeft.text) != std::string::npos;
        order = CompareText(FLeft.text, FRight.text, context.Exact());
        break;
      case ValueType::kDate:
        order = FLeft.text.compare(FRight.text);
        break;
      case ValueType::kNumeric:
        order = FLeft.number < FRight.number ? -1 : FLeft.number > FRight.number ? 1 : 0;
        break;
      case ValueType::kLogical:
        order = int(FLeft.logical) - int(FRight.logical);
        break;
    }
    switch (FOp) {
      case CompareOp::kEqual:
      case CompareOp::kExactEqual:
        return order == 0;
      case CompareOp::kNotEqual:
        return order != 0;
      case CompareOp::kLess:
        return order < 0;
      case CompareOp::kLessEqual:
        return order <= 0;
      case CompareOp::kGreater:
        return order > 0;
      case CompareOp::kGreaterEqual:
        return order >= 0;
      case CompareOp::kContains:
        return false;
    }
    return false;
  }

  CompareOp FOp;
  mutable Value FLeft;
  mutable Value FRight;
};

class LogicalNode final : public ExprNode {
 public:
  LogicalNode(bool isAnd, ExprNodePtr left, ExprNodePtr right)
      : ExprNode(ValueType::kLogical, -1, Args(std::move(left), std::move(right))), FIsAnd(isAnd) {}
  void Eval(const ExprContext& context, Value& out) const override {
    Arg(0).Eval(context, out);
    if (out.logical != FIsAnd) return;  // decided by the left side
    Arg(1).Eval(context, out);
  }

 private:
  bool FIsAnd;
};

// ---------------------------------------------------------------------------------------------

class CallNode final : public ExprNode {
 public:
  CallNode(Function function, ValueType type, int fixedLength, std::vector<ExprNodePtr> args)
      : ExprNode(type, fixedLength, std::move(args)), FFunction(function), FScratch(ArgCount()) {}

  void Eval(const ExprContext& context, Value& out) const override {
    switch (FFunction) {
      case Function::kUpper:
      case Function::kLower: {
        Arg(0).Eval(context, out);
        const char from = FFunction == Function::kUpper ? 'a' : 'A';
        const char to = FFunction == Function::kUpper ? 'A' : 'a';
        for (char& c : out.text)
          if (static_cast<unsigned char>(c - from) < 26) c = static_cast<char>(c - from + to);
        break;
      }
      case Function::kTrim:
      case Function::kLTrim:
      case Function::kAllTrim: {
        Arg(0).Eval(context, out);
        std::string& text = out.text;
        if (FFunction != Function::kLTrim) {
          size_t kept = text.size();
          while (kept > 0 && IsTextBlank(text[kept - 1])) --kept;
          text.resize(kept);
        }
        if (FFunction != Function::kTrim) {
          size_t lead = 0;
          while (lead < text.size() && IsTextBlank(text[lead])) ++lead;
          text.erase(0, lead);
        }
        break;
      }
      case Function::kLeft:
      case Function::kRight: {
        Arg(0).Eval(context, out);
        const long long count = std::max(0LL, ToCount(Number(context, 1)));
        if (static_cast<unsigned long long>(count) < out.text.size()) {
          if (FFunction == Function::kLeft)
            out.text.resize(static_cast<size_t>(count));
          else
            out.text.erase(0, out.text.size() - static_cast<size_t>(count));
        }
        break;
      }
      case Function::kSubstr: {
        Arg(0).Eval(context, out);
        const long long start = ToCount(Number(context, 1));
        if (start < 1 || static_cast<unsigned long long>(start) > out.text.size()) {
          out.text.clear();
          break;
        }
        out.text.erase(0, static_cast<size_t>(start - 1));
        if (ArgCount() > 2) {
          const long long count = std::max(0LL, ToCount(Number(context, 2)));
          if (static_cast<unsigned long long>(count) < out.text.size())
            out.text.resize(static_cast<size_t>(count));
        }
        break;
      }
      case Function::kStr: {
        const double value = Number(context, 0);
        const long long length = ArgCount() > 1 ? ToCount(Number(context, 1)) : 10;
        const long long decimals = ArgCount() > 2 ? ToCount(Number(context, 2)) : 0;
        out.type = ValueType::kCharacter;
        FormatStr(value, static_cast<int>(std::min<long long>(length, kMaxStrLength)),
                  static_cast<int>(std::clamp<long long>(decimals, 0, kMaxStrLength)), out.text);
        break;
      }
      case Function::kVal: {
        Arg(0).Eval(context, FScratch[0]);
        SetNumber(out, ParseLeadingNumber(FScratch[0].text));
        break;
      }
      case Function::kDtos:
        Arg(0).Eval(context, out);
        out.type = ValueType::kCharacter;
        break;
      case Function::kCtod:
        Arg(0).Eval(context, FScratch[0]);
        out.type = ValueType::kDate;
        ParseDate(FScratch[0].text, context.DateFormat(), context.Epoch(), out.text);
        break;
      case Function::kDtoc:
        Arg(0).Eval(context, FScratch[0]);
        out.type = ValueType::kCharacter;
        FormatDate(FScratch[0].text, context.DateFormat(), context.Century(), out.text);
        break;
      case Function::kDate: {
        out.type = ValueType::kDate;
        out.text = context.Today();
        if (DayNumberOf(out.text) == kNoDay) out.text.assign(kEmptyDate);
        break;
      }
      case Function::kIif:
        Arg(0).Eval(context, FScratch[0]);
        Arg(FScratch[0].logical ? 1 : 2).Eval(context, out);
        break;
      case Function::kDeleted: {
        const std::string_view record = context.Record();
        SetLogical(out, !record.empty() && record[0] == '*');
        break;
      }
      case Function::kRecNo:
        SetNumber(out, context.RecNo());
        break;
      case Function::kRecCount:
        SetNumber(out, context.RecCount());
        break;
      case Function::kEmpty: {
        const Value& value = FScratch[0];
        Arg(0).Eval(context, FScratch[0]);
        bool empty = false;
        switch (value.type) {
          case ValueType::kCharacter:
            empty = value.text.find_first_not_of(" \t\r\n") == std::string::npos;
            break;
          case ValueType::kDate:
            empty = DayNumberOf(value.text) == kNoDay;
            break;
          case ValueType::kNumeric:
            empty = value.number == 0.0;
            break;
          case ValueType::kLogical:
            empty = !value.logical;
            break;
        }
        SetLogical(out, empty);
        break;
      }
      case Function::kLen:
        Arg(0).Eval(context, FScratch[0]);
        SetNumber(out, static_cast<double>(FScratch[0].text.size()));
        break;
      case Function::kSpace:
        out.type = ValueType::kCharacter;
        out.text.assign(TextLength(Number(context, 0)), ' ');
        break;
      case Function::kPadL:
      case Function::kPadR:
      case Function::kPadC: {
        Arg(0).Eval(context, out);
        const size_t length = TextLength(Number(context, 1));
        char fill = ' ';
        if (ArgCount() > 2) {
          Arg(2).Eval(context, FScratch[2]);
          if (!FScratch[2].text.empty()) fill = FScratch[2].text[0];
        }
        if (out.text.size() >= length) {
          out.text.resize(length);
          break;
        }
        const size_t missing = length - out.text.size();
        const size_t before = FFunction == Function::kPadL   ? missing
                              : FFunction == Function::kPadC ? missing / 2
                                                             : 0;
        out.text.insert(0, before, fill);
        out.text.append(missing - before, fill);
        break;
      }
    }
  }
  bool CollectSlices(std::vector<RecordSlice>& slices) const override {
    if (FFunction != Function::kUpper) return false;
    const size_t first = slices.size();
    if (!Arg(0).CollectSlices(slices)) return false;
    for (size_t i = first; i < slices.size(); ++i) slices[i].upper = true;
    return true;
  }

 private:
  static constexpr long long kMaxStrLength = 255;

  double Number(const ExprContext& context, size_t index) const {
    Arg(index).Eval(context, FScratch[index]);
    return FScratch[index].number;
  }
  static size_t TextLength(double count) {
    return static_cast<size_t>(std::clamp<long long>(ToCount(count), 0, kMaxTextLength));
  }

  Function FFunction;
  mutable std::vector<Value> FScratch;  // scratch values of the operands not evaluated into `out`
};

}  // namespace

ExprNode::ExprNode(ValueType type, int fixedLength, std::vector<ExprNodePtr> args)
    : FType(type),
      FFixedLength(type == ValueType::kCharacter ? fixedLength : -1),
      FArgs(std::move(args)) {
  for (const ExprNodePtr& arg : FArgs) FDepth = std::max(FDepth, arg->Depth() + 1);
}

void ExprNode::CollectFields(std::vector<int>& fields) const {
  for (const ExprNodePtr& arg : FArgs) arg->CollectFields(fields);
}

bool ExprNode::ConstantNumber(double&) const {
  return false;
}

bool ExprNode::CollectSlices(std::vector<RecordSlice>&) const {
  return false;
}

ExprNodePtr MakeLiteral(Value value) {
  return std::make_unique<LiteralNode>(std::move(value));
}

ExprNodePtr MakeField(int index, const FieldInfo& field) {
  return std::make_unique<FieldNode>(index, field);
}

ExprNodePtr MakeUnary(UnaryOp op, ExprNodePtr operand) {
  const ValueType type = operand->Type();  // read before the operand moves
  return std::make_unique<UnaryNode>(op, type, std::move(operand));
}

ExprNodePtr MakeArithmetic(ArithmeticOp op, ExprNodePtr left, ExprNodePtr right) {
  const int fixedLength = SumOfLengths(*left, *right, op);  // before the operands move
  return std::make_unique<ArithmeticNode>(op, fixedLength, std::move(left), std::move(right));
}

ExprNodePtr MakeCompare(CompareOp op, ExprNodePtr left, ExprNodePtr right) {
  return std::make_unique<CompareNode>(op, std::move(left), std::move(right));
}

ExprNodePtr MakeLogical(bool isAnd, ExprNodePtr left, ExprNodePtr right) {
  return std::make_unique<LogicalNode>(isAnd, std::move(left), std::move(right));
}

ExprNodePtr MakeCall(Function function, ValueType type, int fixedLength,
                     std::vector<ExprNodePtr> args) {
  return std::make_unique<CallNode>(function, type, fixedLength, std::move(args));
}

long long ToCount(double value) {
  if (std::isnan(value)) return 0;
  if (value > 1e9) return 1000000000;
  if (value < -1e9) return -1000000000;
  return static_cast<long long>(value);
}

int CompareText(std::string_view left, std::string_view right, bool exact) {
  if (!exact) {
    if (left.size() > right.size()) left = left.substr(0, right.size());
    return left.compare(right);  // char_traits<char>::compare orders as unsigned bytes
  }
  const size_t common = std::min(left.size(), right.size());
  int order = common == 0 ? 0 : std::memcmp(left.data(), right.data(), common);
  if (order != 0) return order;
  std::string_view rest = left.size() > common ? left.substr(common) : right.substr(common);
  for (char c : rest) {
    if (c != ' ') {
      const int diff = static_cast<unsigned char>(c) < static_cast<unsigned char>(' ') ? -1 : 1;
      return left.size() > common ? diff : -diff;
    }
  }
  return 0;
}

}  // namespace xb
