#include "ExprParser.h"

#include <algorithm>
#include <string>

#include "ExprTokenizer.h"

namespace xb {

namespace {

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string UpperText(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = Upper(c);
  return result;
}

bool SameWord(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

struct FunctionSpec {
  std::string_view name;
  Function function;
  int minArgs;
  int maxArgs;
};

constexpr FunctionSpec kFunctions[] = {
    {"UPPER", Function::kUpper, 1, 1},       {"LOWER", Function::kLower, 1, 1},
    {"TRIM", Function::kTrim, 1, 1},         {"RTRIM", Function::kTrim, 1, 1},
    {"LTRIM", Function::kLTrim, 1, 1},       {"ALLTRIM", Function::kAllTrim, 1, 1},
    {"LEFT", Function::kLeft, 2, 2},         {"RIGHT", Function::kRight, 2, 2},
    {"SUBSTR", Function::kSubstr, 2, 3},     {"STR", Function::kStr, 1, 3},
    {"VAL", Function::kVal, 1, 1},           {"DTOS", Function::kDtos, 1, 1},
    {"CTOD", Function::kCtod, 1, 1},         {"DTOC", Function::kDtoc, 1, 1},
    {"DATE", Function::kDate, 0, 0},         {"IIF", Function::kIif, 3, 3},
    {"DELETED", Function::kDeleted, 0, 0},   {"RECNO", Function::kRecNo, 0, 0},
    {"RECCOUNT", Function::kRecCount, 0, 0}, {"EMPTY", Function::kEmpty, 1, 1},
    {"LEN", Function::kLen, 1, 1},           {"SPACE", Function::kSpace, 1, 1},
    {"PADL", Function::kPadL, 2, 3},         {"PADR", Function::kPadR, 2, 3},
    {"PADC", Function::kPadC, 2, 3},
};

// A function by its name or, as xBase tools allow, by the first four or more letters of it
// when they name one function only ("SUBS", "DELE", "RECC").
const FunctionSpec* FindFunction(std::string_view name) {
  const std::string upper = UpperText(name);
  for (const FunctionSpec& spec : kFunctions)
    if (spec.name == upper) return &spec;
  if (upper.size() < 4) return nullptr;
  const FunctionSpec* found = nullptr;
  for (const FunctionSpec& spec : kFunctions) {
    if (spec.name.substr(0, upper.size()) == upper) {
      if (found != nullptr && found->function != spec.function) return nullptr;
      found = &spec;
    }
  }
  return found;
}

class Parser {
 public:
  Parser(std::string_view text, const ExprSchema& schema)
      : FText(text), FSchema(schema), FTokens(Tokenize(text)) {}

  Result<ExprNodePtr> Run() {
    if (FTokens.back().kind == TokenKind::kInvalid) {
      FailAtToken(FTokens.back());
      return Status::Error(FError);
    }
    if (Current().kind == TokenKind::kEnd) return Status::Error("empty expression");
    ExprNodePtr root = ParseOr();
    if (root && Current().kind != TokenKind::kEnd) FailAtToken(Current());
    if (!FError.empty()) return Status::Error(FError);
    return root;
  }

 private:
  // Counts one level of nesting while it lives.
  class Nesting {
   public:
    explicit Nesting(Parser& parser) : FParser(parser) {
      if (++FParser.FNesting > kMaxExprDepth) FParser.Fail("expression nested too deeply");
    }
    ~Nesting() { --FParser.FNesting; }
    bool TooDeep() const { return FParser.FNesting > kMaxExprDepth; }

   private:
    Parser& FParser;
  };

  const Token& Current() const { return FTokens[FPos]; }
  const Token& Peek() const { return FTokens[std::min(FPos + 1, FTokens.size() - 1)]; }
  void Advance() {
    if (FPos + 1 < FTokens.size()) ++FPos;
  }

  void Fail(std::string message) {
    if (FError.empty()) FError = std::move(message);
  }
  void FailAtToken(const Token& token) {
    if (token.kind == TokenKind::kEnd) {
      Fail("syntax error at end of expression");
      return;
    }
    std::string near(FText.substr(token.position, 20));
    std::string why = token.kind == TokenKind::kInvalid && !token.text.empty()
                          ? token.text
                          : std::string("syntax error");
    Fail(why + " at \"" + near + "\"");
  }
  ExprNodePtr Mismatch(std::string_view what) {
    Fail("type mismatch in " + std::string(what));
    return nullptr;
  }
  // Refuses trees deeper than the limit (long chains like A+B+C+... grow without nesting).
  ExprNodePtr Checked(ExprNodePtr node) {
    if (node && node->Depth() > kMaxExprDepth) {
      Fail("expression nested too deeply");
      return nullptr;
    }
    return node;
  }

  bool IsWord(const Token& token, std::string_view word) const {
    return token.kind == TokenKind::kName && SameWord(token.text, word);
  }
  static bool StartsOperand(TokenKind kind) {
    switch (kind) {
      case TokenKind::kName:
      case TokenKind::kString:
      case TokenKind::kNumber:
      case TokenKind::kDate:
      case TokenKind::kTrue:
      case TokenKind::kFalse:
      case TokenKind::kLeftParen:
      case TokenKind::kNot:
      case TokenKind::kPlus:
      case TokenKind::kMinus:
        return true;
      default:
        return false;
    }
  }

  ExprNodePtr ParseOr() {
    Nesting nesting(*this);
    if (nesting.TooDeep()) return nullptr;
    ExprNodePtr left = ParseAnd();
    while (left && (Current().kind == TokenKind::kOr || IsWord(Current(), "OR"))) {
      Advance();
      ExprNodePtr right = ParseAnd();
      if (!right) return nullptr;
      if (left->Type() != ValueType::kLogical || right->Type() != ValueType::kLogical)
        return Mismatch(".OR.");
      left = Checked(MakeLogical(false, std::move(left), std::move(right)));
    }
    return left;
  }

  ExprNodePtr ParseAnd() {
    ExprNodePtr left = ParseNot();
    while (left && (Current().kind == TokenKind::kAnd || IsWord(Current(), "AND"))) {
      Advance();
      ExprNodePtr right = ParseNot();
      if (!right) return nullptr;
      if (left->Type() != ValueType::kLogical || right->Type() != ValueType::kLogical)
        return Mismatch(".AND.");
      left = Checked(MakeLogical(true, std::move(left), std::move(right)));
    }
    return left;
  }

  ExprNodePtr ParseNot() {
    // NOT as a word only where an operand follows, so a field named NOT still reads.
    if (Current().kind == TokenKind::kNot ||
        (IsWord(Current(), "NOT") && StartsOperand(Peek().kind))) {
      Nesting nesting(*this);
      if (nesting.TooDeep()) return nullptr;
      Advance();
      ExprNodePtr operand = ParseNot();
      if (!operand) return nullptr;
      if (operand->Type() != ValueType::kLogical) return Mismatch(".NOT.");
      return Checked(MakeUnary(UnaryOp::kNot, std::move(operand)));
    }
    return ParseRelation();
  }

  ExprNodePtr ParseRelation() {
    static constexpr struct {
      TokenKind kind;
      CompareOp op;
      std::string_view spelling;
    } kRelations[] = {
        {TokenKind::kEqual, CompareOp::kEqual, "="},
        {TokenKind::kExactEqual, CompareOp::kExactEqual, "=="},
        {TokenKind::kNotEqual, CompareOp::kNotEqual, "<>"},
        {TokenKind::kLess, CompareOp::kLess, "<"},
        {TokenKind::kLessEqual, CompareOp::kLessEqual, "<="},
        {TokenKind::kGreater, CompareOp::kGreater, ">"},
        {TokenKind::kGreaterEqual, CompareOp::kGreaterEqual, ">="},
        {TokenKind::kContains, CompareOp::kContains, "$"},
    };
    ExprNodePtr left = ParseSum();
    while (left) {
      const auto* relation = std::find_if(std::begin(kRelations), std::end(kRelations),
                                          [&](const auto& r) { return r.kind == Current().kind; });
      if (relation == std::end(kRelations)) break;
      Advance();
      ExprNodePtr right = ParseSum();
      if (!right) return nullptr;
      if (left->Type() != right->Type() ||
          (relation->op == CompareOp::kContains && left->Type() != ValueType::kCharacter))
        return Mismatch(relation->spelling);
      left = Checked(MakeCompare(relation->op, std::move(left), std::move(right)));
    }
    return left;
  }

  ExprNodePtr ParseSum() {
    ExprNodePtr left = ParseProduct();
    while (left && (Current().kind == TokenKind::kPlus || Current().kind == TokenKind::kMinus)) {
      const bool plus = Current().kind == TokenKind::kPlus;
      Advance();
      ExprNodePtr right = ParseProduct();
      if (!right) return nullptr;
      const ValueType a = left->Type();
      const ValueType b = right->Type();
      constexpr ValueType C = ValueType::kCharacter, N = ValueType::kNumeric, D = ValueType::kDate;
      ArithmeticOp op;
      if (a == N && b == N)
        op = plus ? ArithmeticOp::kAdd : ArithmeticOp::kSubtract;
      else if (a == C && b == C)
        op = plus ? ArithmeticOp::kConcat : ArithmeticOp::kConcatBlanksLast;
      else if (a == D && b == N)
        op = plus ? ArithmeticOp::kDatePlusDays : ArithmeticOp::kDateMinusDays;
      else if (plus && a == N && b == D)
        op = ArithmeticOp::kDaysPlusDate;
      else if (!plus && a == D && b == D)
        op = ArithmeticOp::kDaysBetween;
      else
        return Mismatch(plus ? "+" : "-");
      left = Checked(MakeArithmetic(op, std::move(left), std::move(right)));
    }
    return left;
  }

  ExprNodePtr ParseProduct() {
    ExprNodePtr left = ParseUnary();
    while (left && (Current().kind == TokenKind::kStar || Current().kind == TokenKind::kSlash)) {
      const bool times = Current().kind == TokenKind::kStar;
      Advance();
      ExprNodePtr right = ParseUnary();
      if (!right) return nullptr;
      if (left->Type() != ValueType::kNumeric || right->Type() != ValueType::kNumeric)
        return Mismatch(times ? "*" : "/");
      left = Checked(MakeArithmetic(times ? ArithmeticOp::kMultiply : ArithmeticOp::kDivide,
                                    std::move(left), std::move(right)));
    }
    return left;
  }

  ExprNodePtr ParseUnary() {
    if (Current().kind == TokenKind::kMinus || Current().kind == TokenKind::kPlus) {
      const bool minus = Current().kind == TokenKind::kMinus;
      Nesting nesting(*this);
      if (nesting.TooDeep()) return nullptr;
      Advance();
      ExprNodePtr operand = ParseUnary();
      if (!operand) return nullptr;
      if (operand->Type() != ValueType::kNumeric) return Mismatch(minus ? "unary -" : "unary +");
      if (!minus) return operand;
      return Checked(MakeUnary(UnaryOp::kNegate, std::move(operand)));
    }
    return ParsePrimary();
  }

  ExprNodePtr ParsePrimary() {
    const Token& token = Current();
    Value value;
    switch (token.kind) {
      case TokenKind::kNumber:
        value.type = ValueType::kNumeric;
        value.number = token.number;
        Advance();
        return MakeLiteral(std::move(value));
      case TokenKind::kString:
        value.type = ValueType::kCharacter;
        value.text = token.text;
        Advance();
        return MakeLiteral(std::move(value));
      case TokenKind::kDate:
        value.type = ValueType::kDate;
        value.text = token.text;
        Advance();
        return MakeLiteral(std::move(value));
      case TokenKind::kTrue:
      case TokenKind::kFalse:
        value.type = ValueType::kLogical;
        value.logical = token.kind == TokenKind::kTrue;
        Advance();
        return MakeLiteral(std::move(value));
      case TokenKind::kLeftParen: {
        Advance();
        ExprNodePtr inner = ParseOr();
        if (!inner) return nullptr;
        if (Current().kind != TokenKind::kRightParen) {
          FailAtToken(Current());
          return nullptr;
        }
        Advance();
        return inner;
      }
      case TokenKind::kName:
        if (Peek().kind == TokenKind::kLeftParen) return ParseCall();
        return ParseField();
      default:
        FailAtToken(token);
        return nullptr;
    }
  }

  ExprNodePtr ParseField() {
    std::string name = Current().text;
    Advance();
    if (Current().kind == TokenKind::kArrow) {
      if (!SameWord(name, FSchema.Alias())) {
        Fail("unknown alias " + name);
        return nullptr;
      }
      Advance();
      if (Current().kind != TokenKind::kName) {
        FailAtToken(Current());
        return nullptr;
      }
      name = Current().text;
      Advance();
    }
    const int index = FSchema.FindField(name);
    if (index < 0) {
      Fail("unknown field " + name);
      return nullptr;
    }
    return MakeField(index, FSchema.Field(index));
  }

  ExprNodePtr ParseCall() {
    const std::string name = Current().text;
    const FunctionSpec* spec = FindFunction(name);
    if (spec == nullptr) {
      Fail("unknown function " + name);
      return nullptr;
    }
    Advance();  // the name
    Advance();  // "("
    std::vector<ExprNodePtr> args;
    if (Current().kind != TokenKind::kRightParen) {
      while (true) {
        ExprNodePtr arg = ParseOr();
        if (!arg) return nullptr;
        args.push_back(std::move(arg));
        if (Current().kind != TokenKind::kComma) break;
        Advance();
      }
    }
    if (Current().kind != TokenKind::kRightParen) {
      FailAtToken(Current());
      return nullptr;
    }
    Advance();
    const int count = static_cast<int>(args.size());
    if (count < spec->minArgs || count > spec->maxArgs) {
      Fail("wrong number of arguments to " + std::string(spec->name));
      return nullptr;
    }
    return Checked(BuildCall(*spec, std::move(args)));
  }

  // Checks the operand types of a call and works out the type and fixed length of its result.
  ExprNodePtr BuildCall(const FunctionSpec& spec, std::vector<ExprNodePtr> args) {
    constexpr ValueType C = ValueType::kCharacter, N = ValueType::kNumeric, D = ValueType::kDate,
                        L = ValueType::kLogical;
    auto typed = [&](std::initializer_list<ValueType> types) {
      size_t i = 0;
      for (ValueType type : types) {
        if (i < args.size() && args[i]->Type() != type) return false;
        ++i;
      }
      return true;
    };
    auto constant = [&](size_t i, double& value) {
      return i < args.size() && args[i]->ConstantNumber(value);
    };
    const int length0 = args.empty() ? -1 : args[0]->FixedLength();
    ValueType type = C;
    int fixed = -1;
    bool ok = true;
    switch (spec.function) {
      case Function::kUpper:
      case Function::kLower:
        ok = typed({C});
        fixed = length0;
        break;
      case Function::kTrim:
      case Function::kLTrim:
      case Function::kAllTrim:
        ok = typed({C});
        break;
      case Function::kLeft:
      case Function::kRight: {
        ok = typed({C, N});
        double count;
        if (length0 >= 0 && constant(1, count))
          fixed = static_cast<int>(std::clamp<long long>(ToCount(count), 0, length0));
        break;
      }
      case Function::kSubstr: {
        ok = typed({C, N, N});
        double start, count = 1e9;
        if (length0 >= 0 && constant(1, start) && (args.size() < 3 || constant(2, count))) {
          const long long from = ToCount(start);
          if (from < 1 || from > length0)
            fixed = 0;
          else
            fixed = static_cast<int>(std::clamp<long long>(ToCount(count), 0, length0 - from + 1));
        }
        break;
      }
      case Function::kStr: {
        ok = typed({N, N, N});
        double length = 10;
        if (args.size() < 2 || constant(1, length))
          fixed = static_cast<int>(std::clamp<long long>(ToCount(length), 0, 255));
        break;
      }
      case Function::kVal:
        ok = typed({C});
        type = N;
        break;
      case Function::kDtos:
        ok = typed({D});
        fixed = 8;
        break;
      case Function::kCtod:
        ok = typed({C});
        type = D;
        break;
      case Function::kDtoc:
        ok = typed({D});
        break;
      case Function::kDate:
        type = D;
        break;
      case Function::kIif:
        ok = typed({L}) && args[1]->Type() == args[2]->Type();
        type = args[1]->Type();
        if (args[1]->FixedLength() == args[2]->FixedLength()) fixed = args[1]->FixedLength();
        break;
      case Function::kDeleted:
        type = L;
        break;
      case Function::kRecNo:
      case Function::kRecCount:
        type = N;
        break;
      case Function::kEmpty:
        type = L;
        break;
      case Function::kLen:
        ok = typed({C});
        type = N;
        break;
      case Function::kSpace: {
        ok = typed({N});
        double count;
        if (constant(0, count))
          fixed = static_cast<int>(std::clamp<long long>(ToCount(count), 0, kMaxTextLength));
        break;
      }
      case Function::kPadL:
      case Function::kPadR:
      case Function::kPadC: {
        ok = typed({C, N, C});
        double count;
        if (constant(1, count))
          fixed = static_cast<int>(std::clamp<long long>(ToCount(count), 0, kMaxTextLength));
        break;
      }
    }
    if (!ok) return Mismatch(spec.name);
    return MakeCall(spec.function, type, fixed, std::move(args));
  }

  std::string_view FText;
  const ExprSchema& FSchema;
  std::vector<Token> FTokens;
  size_t FPos = 0;
  int FNesting = 0;
  std::string FError;
};

}  // namespace

Result<ExprNodePtr> ParseExpression(std::string_view text, const ExprSchema& schema) {
  return Parser(text, schema).Run();
}

}  // namespace xb
