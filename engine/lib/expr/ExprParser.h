// Builds the node tree of an expression from its text, checking names and types on the way.
#pragma once

#include <string_view>

#include "ExprNode.h"

namespace xb {

// Nesting (parentheses, calls, unary operators) and tree depth above this are refused, so that
// neither parsing nor evaluation can exhaust the stack.
inline constexpr int kMaxExprDepth = 200;

// The root of the tree for `text`, or an error in words: "syntax error at ...", "unknown field
// X", "unknown function X", "unknown alias X", "type mismatch in X", "wrong number of arguments
// to X", "expression nested too deeply", "empty expression".
Result<ExprNodePtr> ParseExpression(std::string_view text, const ExprSchema& schema);

}  // namespace xb
