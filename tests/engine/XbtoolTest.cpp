// xbtool run as a program on tables in a temporary directory: what each command prints, and
// that every failure is a message in words and a non-zero exit code.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "xbengine.h"

namespace {

struct Outcome {
  int Code;
  std::string Out;
  std::string Err;
};

std::string ShellQuoted(const std::string& arg) {
  std::string out = "'";
  for (char c : arg) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

Outcome RunTool(const xbtest::TempDir& dir, const std::vector<std::string>& args) {
  std::string command = ShellQuoted(std::string(XB_BIN_DIR) + "/xbtool");
  for (const std::string& a : args) command += " " + ShellQuoted(a);
  command += " >" + ShellQuoted(dir.File("out")) + " 2>" + ShellQuoted(dir.File("err"));
  int status = std::system(command.c_str());
  Outcome o;
  o.Code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  o.Out = xbtest::ReadText(dir.File("out"));
  o.Err = xbtest::ReadText(dir.File("err"));
  return o;
}

class Xbtool : public ::testing::Test {
 protected:
  // Runs a command that must succeed silently on stderr; returns what it printed.
  std::string Ok(const std::vector<std::string>& args) {
    Outcome o = RunTool(FDir, args);
    EXPECT_EQ(o.Code, 0) << args[0] << ": " << o.Err;
    EXPECT_EQ(o.Err, "") << args[0];
    return o.Out;
  }
  std::string Table(const std::string& spec) {
    std::string path = FDir.File("T.DBF");
    Ok({"create", path, spec});
    return path;
  }
  std::string Csv(const std::string& text) {
    std::string path = FDir.File("in.csv");
    xbtest::WriteText(path, text);
    return path;
  }
  xbtest::TempDir FDir;
};

TEST_F(Xbtool, StructListsEveryField) {
  std::string t = Table("CODE,C,8,0;QTY,N,10,2;WHEN,D,8,0;FLAG,L,1,0;NOTE,M,10,0");
  EXPECT_EQ(Ok({"struct", t}), "CODE C 8 0\nQTY N 10 2\nWHEN D 8 0\nFLAG L 1 0\nNOTE M 10 0\n");
}

TEST_F(Xbtool, DumpQuotesEveryValueAndShowsDeletedRecords) {
  std::string t = Table("CODE,C,16,0;QTY,N,10,2;WHEN,D,8,0;FLAG,L,1,0;NOTE,M,10,0");
  Ok({"append", t,
      Csv("\"A1\",-1.5,20240229,T\r\n\"Say \"\"hi\"\", now\",12345.67,17520914,F\r\n"
          "\"  lead\",0,20000101,T\r\n")});
  Ok({"replace", t, "2", "NOTE", "line1\r\nline2 \"q\""});
  Ok({"delete", t, "2"});
  EXPECT_EQ(Ok({"dump", t}),
            "\"RECNO\",\"DELETED\",\"CODE\",\"QTY\",\"WHEN\",\"FLAG\",\"NOTE\"\r\n"
            "\"1\",\"\",\"A1\",\"     -1.50\",\"20240229\",\"T\",\"\"\r\n"
            "\"2\",\"*\",\"Say \"\"hi\"\", now\",\"  12345.67\",\"17520914\",\"F\","
            "\"line1\r\nline2 \"\"q\"\"\"\r\n"
            "\"3\",\"\",\"  lead\",\"      0.00\",\"20000101\",\"T\",\"\"\r\n");
}

TEST_F(Xbtool, DumpOfAnEmptyTableIsTheHeaderLine) {
  std::string t = Table("CODE,C,8,0");
  EXPECT_EQ(Ok({"dump", t}), "\"RECNO\",\"DELETED\",\"CODE\"\r\n");
}

TEST_F(Xbtool, EvalPrintsOneValuePerRecordByType) {
  std::string t = Table("CODE,C,8,0;QTY,N,10,2;FLAG,L,1,0");
  Ok({"append", t, Csv("\"ab\",1.5,T\r\n\"CD\",-20,F\r\n")});
  struct Case {
    const char* expression;
    const char* output;
  } cases[] = {
      {"UPPER(CODE)", "AB      \nCD      \n"},
      {"TRIM(CODE) + \"!\"", "ab!\nCD!\n"},
      {"QTY * 2", "3\n-40\n"},
      {"QTY > 0 .AND. FLAG", "T\nF\n"},
      {"RECNO()", "1\n2\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Ok({"eval", t, c.expression}), c.output) << c.expression;
}

TEST_F(Xbtool, PackRemovesDeletedRecordsAndZapRemovesAll) {
  std::string t = Table("CODE,C,4,0");
  Ok({"append", t, Csv("a\r\nb\r\nc\r\nd\r\n")});
  Ok({"delete", t, "1", "3"});
  Ok({"pack", t});
  EXPECT_EQ(Ok({"dump", t}),
            "\"RECNO\",\"DELETED\",\"CODE\"\r\n\"1\",\"\",\"b\"\r\n\"2\",\"\",\"d\"\r\n");
  Ok({"zap", t});
  EXPECT_EQ(Ok({"dump", t}), "\"RECNO\",\"DELETED\",\"CODE\"\r\n");
}

TEST_F(Xbtool, FailuresAreWordsOnStderrAndANonZeroExit) {
  std::string t = Table("CODE,C,4,0;QTY,N,6,2");
  Ok({"append", t, Csv("a,1\r\n")});
  struct Case {
    std::vector<std::string> args;
    int code;
    const char* errorStart;
  } cases[] = {
      {{}, 2, "usage: xbtool"},
      {{"frobnicate", t}, 2, "xbtool: unknown command \"frobnicate\""},
      {{"dump"}, 2, "usage: xbtool dump T"},
      {{"eval", t}, 2, "usage: xbtool eval T EXPR"},
      {{"dump", FDir.File("MISSING.DBF")}, 1, "xbtool: cannot open "},
      {{"create", t, "CODE,C,4,0"}, 1, "xbtool: cannot create "},
      {{"create", FDir.File("B.DBF"), "CODE,X,4,0"}, 1, "xbtool: cannot create "},
      {{"append", t, FDir.File("missing.csv")}, 1, "xbtool: cannot append "},
      {{"eval", t, "QTY +"}, 1, "xbtool: invalid expression \"QTY +\""},
      {{"delete", t, "2"}, 1, "xbtool: no record 2 in "},
      {{"delete", t, "x"}, 1, "xbtool: not a record number: \"x\""},
      {{"replace", t, "1", "NOPE", "v"}, 1, "xbtool: no field NOPE in "},
  };
  for (const Case& c : cases) {
    Outcome o = RunTool(FDir, c.args);
    std::string label = c.args.empty() ? "(no arguments)" : c.args[0];
    EXPECT_EQ(o.Code, c.code) << label;
    EXPECT_EQ(o.Err.rfind(c.errorStart, 0), 0u) << label << ": " << o.Err;
    EXPECT_EQ(o.Err.back(), '\n') << label;
  }
  // None of the failures changed the table.
  EXPECT_EQ(Ok({"dump", t}),
            "\"RECNO\",\"DELETED\",\"CODE\",\"QTY\"\r\n\"1\",\"\",\"a\",\"  1.00\"\r\n");
}

// The exclusive commands hold the table's OS lock; a table another program has open exclusive
// is refused, not written beside it.
TEST_F(Xbtool, ExclusiveCommandsAreRefusedWhileAnotherProgramHoldsTheTable) {
  std::string t = Table("CODE,C,4,0");
  Ok({"append", t, Csv("a\r\nb\r\n")});
  ASSERT_TRUE(Ok({"delete", t, "1"}).empty());
  int area = xb_UseEx(t.c_str(), "HELD", XB_OPEN_EXCLUSIVE, XB_DRIVER_CDX, XB_COMMIT_NORMAL);
  ASSERT_GT(area, 0) << xb_ErrorText();
  for (const char* command : {"pack", "zap"}) {
    Outcome o = RunTool(FDir, {command, t});
    EXPECT_EQ(o.Code, 1) << command;
    EXPECT_EQ(o.Err.rfind("xbtool: cannot open " + t, 0), 0u) << o.Err;
  }
  xb_Select(area);
  xb_Close();
  EXPECT_EQ(Ok({"dump", t}),
            "\"RECNO\",\"DELETED\",\"CODE\"\r\n\"1\",\"*\",\"a\"\r\n\"2\",\"\",\"b\"\r\n");
}

}  // namespace
