// xbtool's index commands run as a program: what index, tags, seek and reindex print and do.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

struct Outcome {
  int code;
  std::string out;
};

Outcome RunTool(const xbtest::TempDir& dir, const std::string& args) {
  std::string command = "'" + std::string(XB_BIN_DIR) + "/xbtool' " + args + " >'" +
                        dir.File("out") + "' 2>'" + dir.File("err") + "'";
  int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, xbtest::ReadText(dir.File("out"))};
}

TEST(CdxTool, IndexTagsSeekAndReindex) {
  xbtest::TempDir dir;
  xbtest::CopyFixture("peer-xbase/X_TYPES.DBF", dir.path());
  xbtest::CopyFixture("peer-xbase/X_TYPES.FPT", dir.path());
  std::string t = "'" + dir.File("X_TYPES.DBF") + "'";
  // Without an index file the table has no tags.
  EXPECT_EQ(RunTool(dir, "tags " + t).out, "");
  ASSERT_EQ(RunTool(dir, "index " + t + " CODE 'UPPER(CODE)' --for 'QTY > 0' --descending").code,
            0);
  ASSERT_EQ(RunTool(dir, "index " + t + " QTY QTY --unique").code, 0);
  ASSERT_EQ(RunTool(dir, "index " + t + " WHEN WHEN").code, 0);
  Outcome tags = RunTool(dir, "tags " + t);
  EXPECT_EQ(tags.code, 0);
  EXPECT_EQ(tags.out,
            "TAG CODE KEY UPPER(CODE) FOR QTY > 0 DESCENDING\n"
            "10\tJ10\n8\tH8\n5\tE5\n3\tC3\n"
            "TAG QTY KEY QTY FOR  UNIQUE\n"
            "6\t-9999.99\n1\t-1.5\n4\t-0.01\n2\t0\n8\t0.5\n10\t2\n3\t1234.56\n5\t99999.99\n"
            "TAG WHEN KEY WHEN FOR \n"
            "2\t0\n7\t0\n10\t2361222\n5\t2415021\n8\t2440588\n3\t2451544\n4\t2451545\n"
            "1\t2460370\n9\t2460370\n6\t2465443\n");
  struct Seek {
    const char* args;
    const char* out;
  } seeks[] = {
      {"CODE E", "found 5\n"},
      {"CODE B", "not found 11\n"},
      {"CODE D --soft", "not found 3\n"},  // descending: the next smaller passing key
      {"QTY 0.5", "found 8\n"},
      {"QTY 1 --soft", "not found 10\n"},
      {"WHEN 20240229", "found 1\n"},
      {"CODE J --exact", "not found 11\n"},
      {"CODE J1", "found 10\n"},
  };
  for (const Seek& s : seeks)
    EXPECT_EQ(RunTool(dir, "seek " + t + " " + s.args).out, s.out) << s.args;
  ASSERT_EQ(RunTool(dir, "replace " + t + " 5 QTY -3").code, 0);
  ASSERT_EQ(RunTool(dir, "reindex " + t).code, 0);
  EXPECT_EQ(RunTool(dir, "seek " + t + " CODE E").out, "not found 11\n");
  EXPECT_NE(RunTool(dir, "seek " + t + " NOSUCH A").code, 0);
  EXPECT_NE(RunTool(dir, "index " + t + " BAD 'NOFIELD+1'").code, 0);
}

}  // namespace
