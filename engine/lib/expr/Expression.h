// Expressions of the engine: key expressions, FOR conditions, queries and the xb_Eval* entries.
// An expression is parsed once against a table's fields into a tree and then evaluated per
// record.
//
// The language, in short (names of fields and functions are case-blind):
//   operands   FIELD, ALIAS->FIELD (the table's own alias), 'text' "text" [text], 12 3.5 .5 1E-5,
//              .T. .F. (.Y. .N.), dates {^2024-03-05} or {03/05/2024} ({} is the empty date)
//   operators  by rising precedence: .OR. (OR); .AND. (AND); .NOT. NOT !;
//              = == <> # != < <= > >= $; + -; * /; unary - +
//   functions  UPPER LOWER TRIM RTRIM LTRIM ALLTRIM LEFT RIGHT SUBSTR STR VAL DTOS CTOD DTOC
//              DATE IIF DELETED RECNO RECCOUNT EMPTY LEN SPACE PADL PADR PADC, also by their
//              first four or more letters when that names one function
// Text compares as unsigned bytes. With exact off, "=" and the orderings cut the left side to
// the right side's length first (so an empty right side matches anything, and "AB" = "AB "
// does not hold); with it on, the shorter side is padded with blanks. "==" holds only for the
// same bytes at the same length. "$" holds when the left text is part of the right (never for
// an empty left). C - C moves the left's trailing blanks to the end; D + N, D - N and D - D
// count days. Nesting and tree depth are limited (ExprParser.h) so that no text can exhaust
// the stack.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Status.h"

namespace xb {

enum class ValueType : char {
  kCharacter = 'C',
  kNumeric = 'N',
  kDate = 'D',
  kLogical = 'L',
};

struct Value {
  ValueType type = ValueType::kCharacter;
  std::string text;      // kCharacter: the bytes; kDate: "YYYYMMDD", or 8 blanks for an empty date
  double number = 0.0;   // kNumeric
  bool logical = false;  // kLogical
};

// One field of a table as an expression sees it.
struct FieldInfo {
  std::string name;  // upper case, as stored
  char type = 'C';   // C N F D L M (others are read as text)
  int width = 0;
  int decimals = 0;
  int offset = 0;  // from the start of the record image, where byte 0 is the deletion flag
};

// A run of bytes of the record image that a character expression copies into its value.
struct RecordSlice {
  int offset = 0;  // from the start of the record image, where byte 0 is the deletion flag
  int width = 0;
  bool upper = false;  // with a-z turned into A-Z, as UPPER() does
};

// The fields an expression may name, resolved when it is parsed.
class ExprSchema {
 public:
  virtual ~ExprSchema() = default;
  // Index of the field of that name (without regard to case), or -1.
  virtual int FindField(std::string_view name) const = 0;
  virtual const FieldInfo& Field(int index) const = 0;
  // The work area's alias, so that "ALIAS->FIELD" naming this table resolves (case-blind).
  virtual std::string_view Alias() const = 0;
};

// What an expression reads while it runs: the current record and the engine's settings.
class ExprContext {
 public:
  virtual ~ExprContext() = default;
  virtual std::string_view Record() const = 0;  // the whole record image, deletion flag first
  virtual uint32_t RecNo() const = 0;
  virtual uint32_t RecCount() const = 0;
  // Text of a memo field of the current record (empty when none).
  virtual std::string Memo(int field) const = 0;
  // Engine-wide settings that change results.
  virtual bool Exact() const = 0;  // SET EXACT: off makes "=" compare as much as the right side has
  virtual int Epoch() const = 0;   // two-digit-year window for CTOD
  virtual int DateFormat() const = 0;     // xb_SetDateFormat code, for CTOD/DTOC (99 = system)
  virtual bool Century() const = 0;       // DTOC with four-digit years
  virtual std::string Today() const = 0;  // DATE(): "YYYYMMDD"
};

class Expression {
 public:
  virtual ~Expression() = default;
  // Parses `text` against `schema`. Fails with a message in words for a syntax error, an
  // unknown field or function, or operands of the wrong types.
  static Result<std::unique_ptr<Expression>> Parse(std::string_view text, const ExprSchema& schema);

  // The type every evaluation yields.
  virtual ValueType Type() const = 0;
  // For a character expression, the length of its result when it is fixed (field widths,
  // SUBSTR with constant lengths, STR ...), used as the key length of an index; -1 when not.
  virtual int FixedLength() const = 0;
  // Evaluates on the current record of `context`. Never fails: a value that cannot be formed
  // (a bad date text, division by zero) gives the type's empty value.
  // An expression keeps scratch buffers between evaluations: do not evaluate one expression
  // from two threads at once (distinct expressions are independent).
  virtual Value Evaluate(const ExprContext& context) const = 0;
  // The same into `out`, reusing its text buffer: once `out` has held a value that long, an
  // evaluation allocates nothing (memo fields and DATE() excepted). For per-record loops.
  virtual void Evaluate(const ExprContext& context, Value& out) const = 0;
  // The name of the single field the expression is built on, in upper case ("ITEM_OUT" for
  // "UPPER(ITEM_OUT)"), or empty when it names none or several.
  virtual std::string KeyField() const = 0;
  // When the value is nothing but bytes of the record (character fields, UPPER() of them,
  // joined with +), the slices that make it up, in order; empty otherwise. Index builds copy
  // these from each record in place of evaluating the expression. A record image shorter
  // than a slice must still go through Evaluate, which reads the missing bytes as blanks.
  virtual std::vector<RecordSlice> RecordSlices() const = 0;
};

}  // namespace xb
