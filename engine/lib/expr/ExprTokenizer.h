// Splits the text of an expression into tokens. Words (field, alias and function names, and
// AND/OR/NOT written without dots) all come out as kName: only the parser knows which is meant.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace xb {

enum class TokenKind {
  kEnd,
  kName,
  kString,
  kNumber,
  kDate,
  kTrue,
  kFalse,
  kLeftParen,
  kRightParen,
  kComma,
  kArrow,  // ->
  kPlus,
  kMinus,
  kStar,
  kSlash,
  kEqual,       // =
  kExactEqual,  // ==
  kNotEqual,    // <> # !=
  kLess,
  kLessEqual,
  kGreater,
  kGreaterEqual,
  kContains,  // $
  kAnd,       // .AND.
  kOr,        // .OR.
  kNot,       // .NOT. !
  kInvalid,   // text that makes no token; `text` says why
};

struct Token {
  TokenKind kind = TokenKind::kEnd;
  size_t position = 0;  // of the first character in the expression text
  std::string text;     // kName as written; kString without delimiters; kDate "YYYYMMDD" or blanks
  double number = 0.0;  // kNumber
};

// The tokens of `text`, ending with one kEnd token, or with a kInvalid token at the first
// character that starts none.
std::vector<Token> Tokenize(std::string_view text);

}  // namespace xb
