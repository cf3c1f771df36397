#include "ExprTokenizer.h"

#include <charconv>

#include "DateText.h"

namespace xb {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsNameStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsNameChar(char c) {
  return IsNameStart(c) || IsDigit(c);
}
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Whether `text` at `at` begins with `word` (upper case), ignoring case.
bool StartsWithWord(std::string_view text, size_t at, std::string_view word) {
  if (text.size() - at < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i)
    if (Upper(text[at + i]) != word[i]) return false;
  return true;
}

// The contents of a date literal: "^yyyy-mm-dd" (any separators) or "mm/dd/yyyy"; with no digits
// at all, the empty date. A two-digit year of the second form falls in 1980 to 2079, the
// engine's starting window, since a literal is read before any setting is known.
bool ReadDateLiteral(std::string_view body, std::string& out) {
  bool anyDigit = false;
  for (char c : body) anyDigit = anyDigit || IsDigit(c);
  if (!anyDigit) {
    out.assign(kEmptyDate);
    return true;
  }
  size_t start = 0;
  while (start < body.size() && IsSpace(body[start])) ++start;
  if (start < body.size() && body[start] == '^')
    ParseDate(body.substr(start + 1), 1, 0, out);
  else
    ParseDate(body, 0, 1980, out);
  return out != kEmptyDate;
}

struct DotWord {
  std::string_view word;
  TokenKind kind;
};
constexpr DotWord kDotWords[] = {{".AND.", TokenKind::kAnd}, {".OR.", TokenKind::kOr},
                                 {".NOT.", TokenKind::kNot}, {".T.", TokenKind::kTrue},
                                 {".F.", TokenKind::kFalse}, {".Y.", TokenKind::kTrue},
                                 {".N.", TokenKind::kFalse}};

bool StartsDotWord(std::string_view text, size_t at) {
  for (const DotWord& entry : kDotWords)
    if (StartsWithWord(text, at, entry.word)) return true;
  return false;
}

}  // namespace

std::vector<Token> Tokenize(std::string_view text) {
  std::vector<Token> tokens;
  size_t i = 0;
  auto add = [&](TokenKind kind, size_t at) {
    Token token;
    token.kind = kind;
    token.position = at;
    tokens.push_back(std::move(token));
  };
  auto fail = [&](size_t at, std::string why) {
    Token token;
    token.kind = TokenKind::kInvalid;
    token.position = at;
    token.text = std::move(why);
    tokens.push_back(std::move(token));
  };
  while (true) {
    while (i < text.size() && IsSpace(text[i])) ++i;
    if (i >= text.size()) break;
    const size_t at = i;
    const char c = text[i];
    if (IsNameStart(c)) {
      while (i < text.size() && IsNameChar(text[i])) ++i;
      Token token;
      token.kind = TokenKind::kName;
      token.position = at;
      token.text.assign(text.substr(at, i - at));
      tokens.push_back(std::move(token));
      continue;
    }
    if (IsDigit(c) || (c == '.' && i + 1 < text.size() && IsDigit(text[i + 1]))) {
      while (i < text.size() && IsDigit(text[i])) ++i;
      // "1.AND." is the number 1 and an operator, not "1." and garbage.
      if (i < text.size() && text[i] == '.' && !StartsDotWord(text, i)) {
        ++i;
        while (i < text.size() && IsDigit(text[i])) ++i;
      }
      // An exponent, as general number formats write very large and very small values.
      if (i + 1 < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        if (j < text.size() && IsDigit(text[j])) {
          while (j < text.size() && IsDigit(text[j])) ++j;
          i = j;
        }
      }
      Token token;
      token.kind = TokenKind::kNumber;
      token.position = at;
      auto result = std::from_chars(text.data() + at, text.data() + i, token.number);
      if (result.ec != std::errc()) {
        fail(at, "number out of range");
        return tokens;
      }
      tokens.push_back(std::move(token));
      continue;
    }
    if (c == '.') {
      bool matched = false;
      for (const auto& entry : kDotWords) {
        if (StartsWithWord(text, i, entry.word)) {
          add(entry.kind, at);
          i += entry.word.size();
          matched = true;
          break;
        }
      }
      if (!matched) {
        fail(at, "");
        return tokens;
      }
      continue;
    }
    if (c == '"' || c == '\'' || c == '[') {
      const char close = c == '[' ? ']' : c;
      size_t end = text.find(close, i + 1);
      if (end == std::string_view::npos) {
        fail(at, "unterminated string");
        return tokens;
      }
      Token token;
      token.kind = TokenKind::kString;
      token.position = at;
      token.text.assign(text.substr(i + 1, end - i - 1));
      tokens.push_back(std::move(token));
      i = end + 1;
      continue;
    }
    if (c == '{') {
      size_t end = text.find('}', i + 1);
      if (end == std::string_view::npos) {
        fail(at, "unterminated date");
        return tokens;
      }
      Token token;
      token.kind = TokenKind::kDate;
      token.position = at;
      if (!ReadDateLiteral(text.substr(i + 1, end - i - 1), token.text)) {
        fail(at, "invalid date");
        return tokens;
      }
      tokens.push_back(std::move(token));
      i = end + 1;
      continue;
    }
    auto next = [&](size_t k) { return i + k < text.size() ? text[i + k] : '\0'; };
    TokenKind kind;
    size_t length = 1;
    switch (c) {
      case '(':
        kind = TokenKind::kLeftParen;
        break;
      case ')':
        kind = TokenKind::kRightParen;
        break;
      case ',':
        kind = TokenKind::kComma;
        break;
      case '+':
        kind = TokenKind::kPlus;
        break;
      case '-':
        kind = next(1) == '>' ? TokenKind::kArrow : TokenKind::kMinus;
        length = next(1) == '>' ? 2 : 1;
        break;
      case '*':
        kind = TokenKind::kStar;
        break;
      case '/':
        kind = TokenKind::kSlash;
        break;
      case '$':
        kind = TokenKind::kContains;
        break;
      case '#':
        kind = TokenKind::kNotEqual;
        break;
      case '=':
        kind = next(1) == '=' ? TokenKind::kExactEqual : TokenKind::kEqual;
        length = next(1) == '=' ? 2 : 1;
        break;
      case '!':
        kind = next(1) == '=' ? TokenKind::kNotEqual : TokenKind::kNot;
        length = next(1) == '=' ? 2 : 1;
        break;
      case '<':
        if (next(1) == '>')
          kind = TokenKind::kNotEqual, length = 2;
        else if (next(1) == '=')
          kind = TokenKind::kLessEqual, length = 2;
        else
          kind = TokenKind::kLess;
        break;
      case '>':
        if (next(1) == '=')
          kind = TokenKind::kGreaterEqual, length = 2;
        else
          kind = TokenKind::kGreater;
        break;
      default:
        fail(at, "");
        return tokens;
    }
    add(kind, at);
    i += length;
  }
  add(TokenKind::kEnd, text.size());
  return tokens;
}

}  // namespace xb
