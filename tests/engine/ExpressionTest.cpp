// Expressions: every operator and function on a small record, exact matching on and off, the
// settings that change dates, fixed lengths and key fields for indexes, and the errors.
#include <gtest/gtest.h>

#include <string>

#include "ExprFixture.h"
#include "expr/Expression.h"

namespace {

using xbtest::ExprTestContext;
using xbtest::ExprTestSchema;
using xbtest::Render;

struct EvalCase {
  const char* text;
  const char* expected;  // as Render writes it
};

// Parses and evaluates `text`, checking what every successful evaluation must satisfy: the
// value has the declared type, and a fixed length is the length the value really has.
std::string Eval(const std::string& text, const ExprTestContext& context) {
  ExprTestSchema schema;
  auto parsed = xb::Expression::Parse(text, schema);
  if (!parsed.ok()) return "error: " + parsed.status().message();
  const xb::Expression& expression = **parsed;
  xb::Value value = expression.Evaluate(context);
  EXPECT_EQ(value.type, expression.Type()) << text;
  if (expression.FixedLength() >= 0) {
    EXPECT_EQ(value.text.size(), static_cast<size_t>(expression.FixedLength())) << text;
  }
  // The reusing overload gives the same, also into a value that held something else.
  xb::Value reused;
  reused.text = "leftover text from before";
  reused.number = 99;
  reused.logical = true;
  expression.Evaluate(context, reused);
  EXPECT_EQ(Render(reused), Render(value)) << text;
  return Render(value);
}

void ExpectAll(const std::vector<EvalCase>& cases, const ExprTestContext& context) {
  for (const EvalCase& c : cases) EXPECT_EQ(Eval(c.text, context), c.expected) << c.text;
}

TEST(Expression, FieldsReadByTheirTypes) {
  ExpectAll({{"ITEM", "C:ab-12     "},
             {"item", "C:ab-12     "},
             {"Items->Item", "C:ab-12     "},
             {"ITEMS -> DESCR", "C:Widget Blue    "},
             {"QTY", "N:12.5"},
             {"BLANKN", "N:0"},
             {"RATE", "N:-0.125"},
             {"DUE", "D:20240305"},
             {"NODATE", "D:        "},
             {"PAID", "L:.T."},
             {"NOTES", "C:memo text"},
             {"RAW", "C:x1y2"}},
            ExprTestContext());
}

TEST(Expression, StoredFieldTextVariants) {
  struct Case {
    const char* field;
    const char* stored;
    const char* expected;
  };
  const Case cases[] = {
      {"QTY", "-3", "N:-3"},
      {"QTY", "  1234.5", "N:1234.5"},
      {"QTY", "********", "N:0"},
      {"QTY", "   +7.25", "N:7.25"},
      {"QTY", "1.5E2", "N:150"},
      {"QTY", " 12 abc ", "N:12"},
      {"RATE", "0.1", "N:0.1"},
      {"RATE", "1234567890", "N:1234567890"},
      {"DUE", "20240230", "D:        "},  // no such day
      {"DUE", "2024-3-5", "D:        "},
      {"DUE", "00000000", "D:        "},
      {"PAID", "t", "L:.T."},
      {"PAID", "Y", "L:.T."},
      {"PAID", "y", "L:.T."},
      {"PAID", "F", "L:.F."},
      {"PAID", "N", "L:.F."},
      {"PAID", "?", "L:.F."},
      {"PAID", " ", "L:.F."},
  };
  ExprTestSchema schema;
  for (const Case& c : cases) {
    ExprTestContext context;
    context.Put(schema, c.field, c.stored);
    EXPECT_EQ(Eval(c.field, context), c.expected) << c.field << " = '" << c.stored << "'";
  }
}

TEST(Expression, ShortRecordReadsAsBlanks) {
  ExprTestContext context;
  context.SetRecord(" ab");  // cut inside ITEM, everything after it missing
  ExpectAll({{"ITEM", "C:ab        "}, {"QTY", "N:0"}, {"DUE", "D:        "}, {"PAID", "L:.F."}},
            context);
  context.SetRecord("");
  ExpectAll({{"ITEM", "C:          "}, {"DELETED()", "L:.F."}}, context);
}

TEST(Expression, Literals) {
  ExpectAll({{"'single'", "C:single"},
             {"\"double\"", "C:double"},
             {"[square]", "C:square"},
             {"[it's \"quoted\"]", "C:it's \"quoted\""},
             {"''", "C:"},
             {"42", "N:42"},
             {"3.25", "N:3.25"},
             {".5", "N:0.5"},
             {"7.", "N:7"},
             {"1E-5", "N:1e-05"},
             {"1.5e3", "N:1500"},
             {"2E+20", "N:2e+20"},
             {"1.AND..T.", "error: type mismatch in .AND."},  // 1, then the operator
             {"1=1.AND.2=2", "L:.T."},
             {".T.", "L:.T."},
             {".f.", "L:.F."},
             {".y.", "L:.T."},
             {".N.", "L:.F."},
             {"{^2024-03-05}", "D:20240305"},
             {"{^2024/3/5}", "D:20240305"},
             {"{03/05/2024}", "D:20240305"},
             {"{3/5/85}", "D:19850305"},
             {"{}", "D:        "},
             {"{ / / }", "D:        "}},
            ExprTestContext());
}

TEST(Expression, Arithmetic) {
  ExpectAll({{"1+2*3", "N:7"},
             {"(1+2)*3", "N:9"},
             {"10-4-3", "N:3"},
             {"12/2/3", "N:2"},
             {"7/2", "N:3.5"},
             {"1/0", "N:0"},
             {"QTY*2", "N:25"},
             {"-QTY", "N:-12.5"},
             {"- -2", "N:2"},
             {"+3", "N:3"},
             {"2*-3", "N:-6"},
             {"'ab'+\"cd\"+[ef]", "C:abcdef"},
             {"ITEM+'|'", "C:ab-12     |"},
             {"'ab  ' - 'cd'", "C:abcd  "},
             {"ITEM - DESCR", "C:ab-12Widget Blue         "},
             {"'  ' - 'x'", "C:x  "},
             {"'' - ''", "C:"}},
            ExprTestContext());
}

TEST(Expression, DateArithmetic) {
  ExpectAll({{"DUE + 30", "D:20240404"},
             {"30 + DUE", "D:20240404"},
             {"DUE - 5", "D:20240229"},
             {"DUE - {^2024-01-01}", "N:64"},
             {"{^2024-01-01} - DUE", "N:-64"},
             {"{^2024-12-31} + 1", "D:20250101"},
             {"{^2023-03-01} - 1", "D:20230228"},
             {"{^2000-03-01} - 1", "D:20000229"},
             {"{^1900-03-01} - 1", "D:19000228"},
             {"DUE + 1.9", "D:20240306"},
             {"NODATE + 1", "D:        "},
             {"NODATE - DUE", "N:0"},
             {"{^9999-12-31} + 1", "D:        "},
             {"DUE + 1000000000", "D:        "}},
            ExprTestContext());
}

TEST(Expression, TextComparisonWithExactOff) {
  ExpectAll({{"'ABC' = 'AB'", "L:.T."},
             {"'AB' = 'ABC'", "L:.F."},
             {"'AB' = 'AB '", "L:.F."},
             {"'AB ' = 'AB'", "L:.T."},
             {"'ABC' = ''", "L:.T."},
             {"'' = 'A'", "L:.F."},
             {"'abc' = 'ABC'", "L:.F."},
             {"ITEM = 'ab'", "L:.T."},
             {"ITEM = 'ab-12     '", "L:.T."},
             {"ITEM = 'ab-12      x'", "L:.F."},
             {"UPPER(ITEM) = 'AB-12'", "L:.T."},
             {"'ABC' <> 'AB'", "L:.F."},
             {"'ABC' # 'ABD'", "L:.T."},
             {"'ABC' != 'AB'", "L:.F."},
             {"'ABC' < 'ABD'", "L:.T."},
             {"'ABC' > 'AB'", "L:.F."},
             {"'ABC' >= 'AB'", "L:.T."},
             {"'AB' < 'ABC'", "L:.T."},
             {"'AB' <= 'AB'", "L:.T."},
             {"'a' > 'B'", "L:.T."},
             {"'\xC3\xA9' > 'z'", "L:.T."},  // bytes compare unsigned: 0xC3 after 'z'
             {"'ABC' == 'ABC'", "L:.T."},
             {"'ABC' == 'AB'", "L:.F."},
             {"'AB' == 'AB '", "L:.F."},
             {"'' == ''", "L:.T."},
             {"'B' $ 'ABC'", "L:.T."},
             {"'BC' $ 'ABC'", "L:.T."},
             {"'D' $ 'ABC'", "L:.F."},
             {"'ABCD' $ 'ABC'", "L:.F."},
             {"'' $ 'ABC'", "L:.F."}},
            ExprTestContext());
}

TEST(Expression, TextComparisonWithExactOn) {
  ExprTestContext context;
  context.exact = true;
  ExpectAll({{"'ABC' = 'AB'", "L:.F."},
             {"'AB' = 'ABC'", "L:.F."},
             {"'AB' = 'AB '", "L:.T."},
             {"'AB ' = 'AB'", "L:.T."},
             {"'ABC' = ''", "L:.F."},
             {"'  ' = ''", "L:.T."},
             {"ITEM = 'ab-12'", "L:.T."},
             {"ITEM = 'ab'", "L:.F."},
             {"'ABC' <> 'AB'", "L:.T."},
             {"'AB' < 'AB '", "L:.F."},
             {"'AB' < 'ABC'", "L:.T."},
             {"'AB\x01' < 'AB'", "L:.T."},  // the shorter is padded with blanks, and 0x01 < blank
             {"'AB' > 'AB\x01'", "L:.T."},
             {"'ABC' > 'AB'", "L:.T."},
             {"'AB' == 'AB '", "L:.F."},
             {"'ABC' == 'ABC'", "L:.T."}},
            context);
}

TEST(Expression, OtherComparisons) {
  ExpectAll({{"QTY = 12.5", "L:.T."},
             {"QTY == 12.5", "L:.T."},
             {"QTY < 13", "L:.T."},
             {"QTY >= 12.5", "L:.T."},
             {"QTY > 12.5", "L:.F."},
             {"QTY <> 12.5", "L:.F."},
             {"RATE < BLANKN", "L:.T."},
             {"DUE > {^2024-01-01}", "L:.T."},
             {"DUE = {03/05/2024}", "L:.T."},
             {"NODATE < DUE", "L:.T."},
             {"NODATE = {}", "L:.T."},
             {"PAID = .T.", "L:.T."},
             {"PAID= .F.", "L:.F."},
             {"PAID <> .F.", "L:.T."},
             {".F. < .T.", "L:.T."}},
            ExprTestContext());
}

TEST(Expression, LogicalOperatorsAndPrecedence) {
  ExpectAll({{".T. .AND. .F.", "L:.F."},
             {".T. .and. .T.", "L:.T."},
             {".F. .OR. .T.", "L:.T."},
             {".F. .or. .F.", "L:.F."},
             {".NOT. .F.", "L:.T."},
             {"!.T.", "L:.F."},
             {"! ! .T.", "L:.T."},
             {"NOT .T.", "L:.F."},
             {".T. AND .F.", "L:.F."},
             {".F. or .T.", "L:.T."},
             {".T. .OR. .T. .AND. .F.", "L:.T."},  // .AND. binds tighter
             {"(.T. .OR. .T.) .AND. .F.", "L:.F."},
             {".NOT. .T. .OR. .T.", "L:.T."},  // .NOT. binds tighter than .OR.
             {".NOT. 1 = 2", "L:.T."},         // ... and looser than =
             {"1 = 1 .AND. 2 = 2", "L:.T."},
             {"QTY > 10 .AND. UPPER(ITEM) = 'AB' .AND. !PAID", "L:.F."}},
            ExprTestContext());
}

TEST(Expression, TextFunctions) {
  ExpectAll({{"UPPER('aBc-z\xC3\xA9')", "C:ABC-Z\xC3\xA9"},  // ASCII letters only
             {"LOWER('AbC-Z@[')", "C:abc-z@["},
             {"UPPER(ITEM)", "C:AB-12     "},
             {"TRIM('  a b  ')", "C:  a b"},
             {"RTRIM('a  ')", "C:a"},
             {"LTRIM('  a b  ')", "C:a b  "},
             {"ALLTRIM('  a b  ')", "C:a b"},
             {"ALLTRIM('   ')", "C:"},
             {"LEFT('abcdef', 3)", "C:abc"},
             {"LEFT('abc', 10)", "C:abc"},
             {"LEFT('abc', -1)", "C:"},
             {"LEFT('abc', 2.9)", "C:ab"},
             {"RIGHT('abcdef', 2)", "C:ef"},
             {"RIGHT('abc', 5)", "C:abc"},
             {"RIGHT('abc', 0)", "C:"},
             {"SUBSTR('abcdef', 2, 3)", "C:bcd"},
             {"SUBSTR('abcdef', 4)", "C:def"},
             {"SUBSTR('abc', 2, 10)", "C:bc"},
             {"SUBSTR('abc', 3, 1)", "C:c"},
             {"SUBSTR('abc', 4)", "C:"},
             {"SUBSTR('abc', 0, 2)", "C:"},
             {"SUBSTR('abc', 2, -1)", "C:"},
             {"SUBS('abcdef', 2, 2)", "C:bc"},  // four-letter abbreviation
             {"substr(item, 1, 2)", "C:ab"},
             {"LEN(ITEM)", "N:10"},
             {"LEN(TRIM(ITEM))", "N:5"},
             {"LEN('')", "N:0"},
             {"LEN(NOTES)", "N:9"},
             {"SPACE(3)", "C:   "},
             {"SPACE(-1)", "C:"},
             {"PADL('ab', 4)", "C:  ab"},
             {"PADR('ab', 4, '*')", "C:ab**"},
             {"PADC('ab', 5, '-')", "C:-ab--"},
             {"PADR('abcdef', 3)", "C:abc"},
             {"PADL('ab', 3, '')", "C: ab"}},
            ExprTestContext());
}

TEST(Expression, StrAndVal) {
  ExpectAll({{"STR(12)", "C:        12"},
             {"STR(12.5)", "C:        13"},  // half away from zero
             {"STR(-12.5)", "C:       -13"},
             {"STR(2.5, 3)", "C:  3"},
             {"STR(0.5, 1)", "C:1"},
             {"STR(-0.4, 3)", "C:  0"},
             {"STR(3.14159, 8, 2)", "C:    3.14"},
             {"STR(1.005, 6, 2)", "C:  1.01"},
             {"STR(0.125, 5, 2)", "C: 0.13"},
             {"STR(-0.125, 6, 2)", "C: -0.13"},
             {"STR(99.96, 5, 1)", "C:100.0"},
             {"STR(QTY, 8, 2)", "C:   12.50"},
             {"STR(RATE, 10, 3)", "C:    -0.125"},
             {"STR(123.456, 5, 2)", "C:123.5"},  // fewer decimals before giving up
             {"STR(123.456, 3, 2)", "C:123"},
             {"STR(123456, 5)", "C:*****"},
             {"STR(-1000, 4)", "C:****"},
             {"STR(100000000000000000000, 25)", "C:    100000000000000000000"},
             {"STR(12, 0)", "C:"},
             {"STR(7, 3, 5)", "C:7.0"},
             {"VAL('  12.5abc')", "N:12.5"},
             {"VAL('abc')", "N:0"},
             {"VAL('-3')", "N:-3"},
             {"VAL('+4')", "N:4"},
             {"VAL('1e3')", "N:1000"},
             {"VAL('.5')", "N:0.5"},
             {"VAL('1e999')", "N:0"},
             {"VAL('')", "N:0"},
             {"VAL(STR(QTY, 8, 2))", "N:12.5"}},
            ExprTestContext());
}

TEST(Expression, DateFunctions) {
  ExpectAll({{"DTOS(DUE)", "C:20240305"},
             {"DTOS(NODATE)", "C:        "},
             {"DTOC(DUE)", "C:03/05/2024"},
             {"DTOC(NODATE)", "C:  /  /    "},
             {"CTOD('03/05/2024')", "D:20240305"},
             {"CTOD('3/5/24')", "D:20240305"},
             {"CTOD('3/5/85')", "D:19850305"},
             {"CTOD('02/29/2023')", "D:        "},
             {"CTOD('13/01/2024')", "D:        "},
             {"CTOD('03/05')", "D:        "},
             {"CTOD('')", "D:        "},
             {"CTOD(DTOC(DUE)) = DUE", "L:.T."},
             {"DATE()", "D:20261210"},
             {"DATE() - DUE", "N:1010"}},
            ExprTestContext());
}

TEST(Expression, DateTextFollowsFormatCenturyAndEpoch) {
  struct Case {
    int format;
    bool century;
    const char* dtoc;  // DTOC of 2024-03-05
    const char* ctod;  // text CTOD must read as 2024-03-05
  };
  const Case cases[] = {
      {0, true, "03/05/2024", "03/05/2024"},  {0, false, "03/05/24", "3/5/24"},
      {1, true, "2024.03.05", "2024.03.05"},  {1, false, "24.03.05", "24.3.5"},
      {2, true, "05/03/2024", "05/03/2024"},  {3, false, "05/03/24", "5/3/24"},
      {4, true, "05.03.2024", "05.03.2024"},  {4, false, "05.03.24", "05.03.24"},
      {5, true, "05-03-2024", "05-03-2024"},  {6, false, "05-03-24", "5-3-24"},
      {99, true, "03/05/2024", "03/05/2024"},
  };
  for (const Case& c : cases) {
    ExprTestContext context;
    context.dateFormat = c.format;
    context.century = c.century;
    SCOPED_TRACE("format " + std::to_string(c.format));
    EXPECT_EQ(Eval("DTOC(DUE)", context), std::string("C:") + c.dtoc);
    EXPECT_EQ(Eval(std::string("CTOD('") + c.ctod + "')", context), "D:20240305");
  }

  struct EpochCase {
    int epoch;
    const char* text;
    const char* expected;
  };
  const EpochCase epochs[] = {
      {1980, "01/01/45", "D:20450101"},   {1980, "01/01/80", "D:19800101"},
      {1980, "01/01/79", "D:20790101"},   {1900, "01/01/45", "D:19450101"},
      {1950, "01/01/49", "D:20490101"},   {1950, "01/01/50", "D:19500101"},
      {1980, "01/01/0045", "D:00450101"},  // four digits are taken as written
  };
  for (const EpochCase& c : epochs) {
    ExprTestContext context;
    context.epoch = c.epoch;
    EXPECT_EQ(Eval(std::string("CTOD('") + c.text + "')", context), c.expected)
        << c.text << " epoch " << c.epoch;
  }
}

TEST(Expression, RecordFunctionsAndIif) {
  ExprTestContext context;
  ExpectAll({{"DELETED()", "L:.F."},
             {"DELE()", "L:.F."},
             {"RECNO()", "N:7"},
             {"RECCOUNT()", "N:42"},
             {"RECC()", "N:42"},
             {"IIF(PAID, 'yes', 'no')", "C:yes"},
             {"IIF(.F., 1, 2)", "N:2"},
             {"IIF(QTY > 100, DUE, NODATE)", "D:        "},
             {"EMPTY('  ')", "L:.T."},
             {"EMPTY(' \t\r\n')", "L:.T."},
             {"EMPTY(ITEM)", "L:.F."},
             {"EMPTY(BLANKN)", "L:.T."},
             {"EMPTY(QTY)", "L:.F."},
             {"EMPTY(NODATE)", "L:.T."},
             {"EMPTY(DUE)", "L:.F."},
             {"EMPTY(.F.)", "L:.T."},
             {"EMPTY(PAID)", "L:.F."}},
            context);
  context.SetDeleted(true);
  ExpectAll({{"DELETED()", "L:.T."}, {".NOT. DELETED()", "L:.F."}}, context);
}

TEST(Expression, ConditionsTheTableLayerBuilds) {
  // Query and locate conditions as the record set writes them.
  ExpectAll({{"UPPER(ITEM)=\"AB-12     \"", "L:.T."},
             {"UPPER(ITEM)=\"AB\"", "L:.T."},
             {"ITEM=\"ab-12     \" .and. QTY=12.5", "L:.T."},
             {"(ITEM=\"ab\") .and. (PAID= .T.)", "L:.T."},
             {"LEFT( DTOS(DUE), 4) = \"2024\"", "L:.T."},
             {"LEFT( DTOS(DUE), 6) = \"202403\"", "L:.T."},
             {"DTOS(DUE) = \"20240305\"", "L:.T."},
             {"RATE=-0.125 .and. QTY=12.5", "L:.T."},
             {"RATE=-1.25E-1", "L:.T."},
             {"\"AB-12     \" < \"AB-13     \"", "L:.T."}},
            ExprTestContext());
}

TEST(Expression, FixedLengthForKeys) {
  struct Case {
    const char* text;
    int length;
  };
  const Case cases[] = {
      {"ITEM", 10},
      {"UPPER(ITEM)", 10},
      {"LOWER(DESCR)", 15},
      {"ITEM+DESCR", 25},
      {"ITEM-DESCR", 25},
      {"UPPER(ITEM)+STR(QTY,8,2)", 18},
      {"DTOS(DUE)+ITEM", 18},
      {"SUBSTR(ITEM,2,3)", 3},
      {"SUBSTR(ITEM,9,5)", 2},
      {"SUBSTR(ITEM,3)", 8},
      {"SUBSTR(ITEM,11)", 0},
      {"LEFT(ITEM,4)", 4},
      {"LEFT(ITEM,40)", 10},
      {"LEFT(ITEM,-2)", 0},
      {"RIGHT(ITEM,3)", 3},
      {"STR(QTY)", 10},
      {"STR(QTY,6)", 6},
      {"STR(QTY,6,2)", 6},
      {"DTOS(DUE)", 8},
      {"'abc'", 3},
      {"PADR(ITEM,12)", 12},
      {"PADL(TRIM(ITEM),12)", 12},
      {"SPACE(4)", 4},
      {"IIF(PAID,ITEM,ITEM)", 10},
      {"RAW", 4},
      // Not fixed:
      {"TRIM(ITEM)", -1},
      {"NOTES", -1},
      {"SUBSTR(ITEM,QTY,2)", -1},
      {"LEFT(TRIM(ITEM),3)", -1},
      {"STR(QTY,QTY)", -1},
      {"IIF(PAID,ITEM,DESCR)", -1},
      {"DTOC(DUE)", -1},
      {"ITEM+TRIM(DESCR)", -1},
      {"QTY", -1},
      {"DUE", -1},
      {"ITEM = 'a'", -1},
  };
  ExprTestSchema schema;
  for (const Case& c : cases) {
    auto parsed = xb::Expression::Parse(c.text, schema);
    ASSERT_TRUE(parsed.ok()) << c.text << ": " << parsed.status().message();
    EXPECT_EQ((*parsed)->FixedLength(), c.length) << c.text;
    Eval(c.text, ExprTestContext());  // the length matches the value (checked inside)
  }
}

TEST(Expression, KeyFieldAndType) {
  struct Case {
    const char* text;
    const char* keyField;
    xb::ValueType type;
  };
  using T = xb::ValueType;
  const Case cases[] = {
      {"UPPER(ITEM)", "ITEM", T::kCharacter},
      {"item", "ITEM", T::kCharacter},
      {"items->descr", "DESCR", T::kCharacter},
      {"UPPER(ITEM)+ITEM", "ITEM", T::kCharacter},
      {"DTOS(DUE)", "DUE", T::kCharacter},
      {"QTY", "QTY", T::kNumeric},
      {"DUE", "DUE", T::kDate},
      {"PAID", "PAID", T::kLogical},
      {"ITEM+DESCR", "", T::kCharacter},
      {"'abc'", "", T::kCharacter},
      {"RECNO()", "", T::kNumeric},
      {"QTY > 1 .AND. ITEM = 'a'", "", T::kLogical},
  };
  ExprTestSchema schema;
  for (const Case& c : cases) {
    auto parsed = xb::Expression::Parse(c.text, schema);
    ASSERT_TRUE(parsed.ok()) << c.text << ": " << parsed.status().message();
    EXPECT_EQ((*parsed)->KeyField(), c.keyField) << c.text;
    EXPECT_EQ((*parsed)->Type(), c.type) << c.text;
  }
}

TEST(Expression, ErrorsInWords) {
  const EvalCase cases[] = {
      {"", "empty expression"},
      {"   ", "empty expression"},
      {"1 +", "syntax error at end of expression"},
      {"(1", "syntax error at end of expression"},
      {"1)", "syntax error at \")\""},
      {"1,2", "syntax error at \",2\""},
      {"ITEM ITEM", "syntax error at \"ITEM\""},
      {"ITEM @ 'a'", "syntax error at \"@ 'a'\""},
      {"UPPER(ITEM", "syntax error at end of expression"},
      {"UPPER(ITEM,)", "syntax error at \")\""},
      {". AND. .T.", "syntax error at \". AND. .T.\""},
      {"ITEMS->", "syntax error at end of expression"},
      {"ITEMS->'x'", "syntax error at \"'x'\""},
      {"= 1", "syntax error at \"= 1\""},
      {"'abc", "unterminated string at \"'abc\""},
      {"[abc", "unterminated string at \"[abc\""},
      {"{^2024-01-01", "unterminated date at \"{^2024-01-01\""},
      {"{^2024-13-01}", "invalid date at \"{^2024-13-01}\""},
      {"NOSUCH", "unknown field NOSUCH"},
      {"ITEMS->NOSUCH", "unknown field NOSUCH"},
      {"OTHER->ITEM", "unknown alias OTHER"},
      {"FOO(1)", "unknown function FOO"},
      {"UPP(ITEM)", "unknown function UPP"},  // abbreviations need four letters
      {"RECN(ITEM)", "wrong number of arguments to RECNO"},
      {"UPPER()", "wrong number of arguments to UPPER"},
      {"LEFT('a')", "wrong number of arguments to LEFT"},
      {"SUBSTR('a',1,2,3)", "wrong number of arguments to SUBSTR"},
      {"DATE(1)", "wrong number of arguments to DATE"},
      {"ITEM + 1", "type mismatch in +"},
      {"DUE + DUE", "type mismatch in +"},
      {"1 - DUE", "type mismatch in -"},
      {"ITEM * 2", "type mismatch in *"},
      {"DUE / 2", "type mismatch in /"},
      {"-ITEM", "type mismatch in unary -"},
      {"QTY = 'a'", "type mismatch in ="},
      {"DUE == 'a'", "type mismatch in =="},
      {"PAID < 1", "type mismatch in <"},
      {"1 $ 2", "type mismatch in $"},
      {"1 .AND. .T.", "type mismatch in .AND."},
      {".T. .OR. 'a'", "type mismatch in .OR."},
      {".NOT. 1", "type mismatch in .NOT."},
      {"UPPER(QTY)", "type mismatch in UPPER"},
      {"LEFT(ITEM, 'a')", "type mismatch in LEFT"},
      {"STR('a')", "type mismatch in STR"},
      {"DTOS(ITEM)", "type mismatch in DTOS"},
      {"CTOD(DUE)", "type mismatch in CTOD"},
      {"IIF(1, 2, 3)", "type mismatch in IIF"},
      {"IIF(.T., 1, 'a')", "type mismatch in IIF"},
      {"PADR(ITEM, 3, 4)", "type mismatch in PADR"},
  };
  ExprTestSchema schema;
  for (const EvalCase& c : cases) {
    auto parsed = xb::Expression::Parse(c.text, schema);
    ASSERT_FALSE(parsed.ok()) << c.text;
    EXPECT_EQ(parsed.status().message(), c.expected) << c.text;
  }
}

TEST(Expression, NamesThatLookLikeWords) {
  // AND, OR and NOT are operators only where an operator can stand; a field may bear the name.
  class WordSchema : public ExprTestSchema {
   public:
    int FindField(std::string_view name) const override {
      if (name == "NOT" || name == "not") return 0;  // read as ITEM
      return ExprTestSchema::FindField(name);
    }
  };
  WordSchema schema;
  auto asField = xb::Expression::Parse("NOT = 'ab'", schema);
  ASSERT_TRUE(asField.ok()) << asField.status().message();
  EXPECT_EQ(Render((*asField)->Evaluate(ExprTestContext())), "L:.T.");
  auto asOperator = xb::Expression::Parse("NOT NOT = 'x'", schema);
  ASSERT_TRUE(asOperator.ok()) << asOperator.status().message();
  EXPECT_EQ(Render((*asOperator)->Evaluate(ExprTestContext())), "L:.T.");
}

TEST(Expression, NestingIsLimited) {
  auto parens = [](int depth) {
    return std::string(static_cast<size_t>(depth), '(') + "1" +
           std::string(static_cast<size_t>(depth), ')');
  };
  auto calls = [](int depth) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += "UPPER(";
    return text + "'a'" + std::string(static_cast<size_t>(depth), ')');
  };
  auto chain = [](int terms) {
    std::string text = "1";
    for (int i = 1; i < terms; ++i) text += "+1";
    return text;
  };
  const std::string tooDeep = "error: expression nested too deeply";
  ExprTestContext context;
  EXPECT_EQ(Eval(parens(150), context), "N:1");
  EXPECT_EQ(Eval(calls(150), context), "C:A");
  EXPECT_EQ(Eval(chain(150), context), "N:150");
  EXPECT_EQ(Eval(std::string(150, '-') + "1", context), "N:1");
  EXPECT_EQ(Eval(parens(300), context), tooDeep);
  EXPECT_EQ(Eval(calls(300), context), tooDeep);
  EXPECT_EQ(Eval(chain(300), context), tooDeep);
  EXPECT_EQ(Eval(std::string(300, '-') + "1", context), tooDeep);
  EXPECT_EQ(Eval(std::string(300, '!') + ".T.", context), tooDeep);
  EXPECT_EQ(Eval(std::string(100000, '('), context), tooDeep);
}

TEST(Expression, EveryPrefixParsesOrFailsCleanly) {
  // Cut anywhere, a valid expression must give an error or a value, never a crash.
  const char* texts[] = {
      "UPPER(ITEMS->ITEM) + STR(QTY, 8, 2) + DTOS(DUE + 1)",
      "IIF(.NOT. DELETED() .AND. 'ab' $ ITEM, LEFT(DESCR, 3), SPACE(3)) == [abc]",
      "CTOD(\"03/05/24\") - {^2024-01-01} >= VAL('1.5e1') .OR. EMPTY(NODATE)",
  };
  ExprTestContext context;
  for (const char* full : texts) {
    const std::string text = full;
    EXPECT_EQ(Eval(text, context).rfind("error", 0), std::string::npos) << text;
    for (size_t cut = 0; cut < text.size(); ++cut) Eval(text.substr(0, cut), context);
  }
}

}  // namespace
