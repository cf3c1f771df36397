// An exclusive open holds an OS lock: a second open, in this process or another, is refused
// while the first keeps working; shared opens share.
#include <sys/wait.h>
#include <unistd.h>

#include "EngineTestUtil.h"

namespace xbtest {
namespace {

class Locks : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    FPath = FDir.File("L.DBF");
    ASSERT_NE(xb_CreateTable(FPath.c_str(), "CODE,C,4,0;NOTE,M,10,0"), 0);
  }
  int Use(int mode, const char* alias) {
    return xb_UseEx(FPath.c_str(), alias, mode, XB_DRIVER_CDX, XB_COMMIT_NORMAL);
  }
  // The result of an open of the table in a child process: true when it was granted.
  bool ChildOpens(int mode) {
    pid_t pid = ::fork();
    if (pid == 0) {
      int area = xb_UseEx(FPath.c_str(), "CHILD", mode, XB_DRIVER_CDX, XB_COMMIT_NORMAL);
      ::_exit(area > 0 ? 0 : 3);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    return WEXITSTATUS(status) == 0;
  }
  std::string FPath;
};

TEST_F(Locks, ExclusiveOpenRefusesEveryOtherOpen) {
  int first = Use(XB_OPEN_EXCLUSIVE, "FIRST");
  ASSERT_GT(first, 0);
  for (int mode : {XB_OPEN_EXCLUSIVE, XB_OPEN_SHARED, XB_OPEN_READONLY}) {
    SCOPED_TRACE(mode);
    EXPECT_EQ(Use(mode, "SECOND"), 0);
    EXPECT_FALSE(ChildOpens(mode));
  }
  // The first open keeps working, through a pack too (the lock moves to the new file).
  xb_Select(first);
  ASSERT_NE(xb_AppendBlank(), 0);
  ASSERT_NE(xb_Replace("NOTE", XB_REPLACE_MEMO, "memo"), 0);
  ASSERT_NE(xb_Commit(), 0);
  ASSERT_NE(xb_Pack(), 0);
  EXPECT_EQ(Use(XB_OPEN_SHARED, "SECOND"), 0);
  EXPECT_FALSE(ChildOpens(XB_OPEN_SHARED));
  xb_Select(first);
  EXPECT_EQ(xb_RecCount(), 1);
  ASSERT_NE(xb_Close(), 0);
  // Once it is closed, others get in.
  EXPECT_TRUE(ChildOpens(XB_OPEN_EXCLUSIVE));
  EXPECT_GT(Use(XB_OPEN_EXCLUSIVE, "SECOND"), 0);
}

TEST_F(Locks, SharedOpensShareAndKeepExclusiveOut) {
  ASSERT_GT(Use(XB_OPEN_SHARED, "ONE"), 0);
  ASSERT_GT(Use(XB_OPEN_READONLY, "TWO"), 0);
  EXPECT_TRUE(ChildOpens(XB_OPEN_SHARED));
  EXPECT_FALSE(ChildOpens(XB_OPEN_EXCLUSIVE));
  EXPECT_EQ(Use(XB_OPEN_EXCLUSIVE, "THREE"), 0);
  // A read-only area refuses writes; the shared one writes.
  xb_Select(2);
  EXPECT_EQ(xb_AppendBlank(), 0);
  EXPECT_EQ(xb_Zap(), 0);
  xb_Select(1);
  EXPECT_NE(xb_AppendBlank(), 0);
  EXPECT_NE(xb_Commit(), 0);
}

}  // namespace
}  // namespace xbtest
