// Every changing file-system call of an append through live tags and of a tag creation is made
// to fail once, and in a second walk to stop the "process" there. Afterwards the table opens
// with the real file system, every tag agrees with the table (the open rebuilds one that does
// not), and no committed record is lost.
#include <algorithm>
#include <functional>

#include "EngineTestUtil.h"
#include "fs/FaultFileSystem.h"

namespace xbtest {
namespace {

using Mode = xb::FaultFileSystem::Mode;

bool AllOk(std::initializer_list<int32_t> results) {
  bool ok = true;
  for (int32_t r : results) ok = ok && r != 0;
  return ok;
}

// The record numbers of every order, in order.
std::vector<std::vector<int>> Orders() {
  std::vector<std::vector<int>> orders;
  for (int i = 1; i <= xb_SysProp(XB_PROP_ORDER_COUNT, 0); ++i) {
    xb_SetOrder(i);
    std::vector<int> recnos;
    for (xb_GoTop(); !xb_Eof() && recnos.size() < 1000; xb_Skip(1)) recnos.push_back(xb_RecNo());
    orders.push_back(recnos);
  }
  return orders;
}

class CdxCrashWalk : public EngineTest {
 protected:
  void MakeTable(const TempDir& dir) {
    ASSERT_NE(xb_CreateTable(dir.File("T.DBF").c_str(), "ITEM,C,8,0;QTY,N,6,1"), 0);
    ASSERT_GT(Open(dir), 0) << xb_ErrorText();
    ASSERT_GT(xb_IndexTag(nullptr, "ITEM", "UPPER(ITEM)", 0, 0, nullptr), 0) << xb_ErrorText();
    ASSERT_GT(xb_IndexTag(nullptr, "QTYD", "QTY", 0, -1, "QTY > 1"), 0) << xb_ErrorText();
    // Enough rows for a tag of several leaves, so that appends split and move separators.
    for (int i = 0; i < 300; ++i) {
      ASSERT_NE(xb_AppendBlank(), 0);
      ASSERT_NE(xb_Replace("ITEM", 0, ("it" + std::to_string(i * 7919 % 1000)).c_str()), 0);
      ASSERT_NE(xb_Replace("QTY", 0, std::to_string(i % 5).c_str()), 0);
    }
    ASSERT_NE(xb_Close(), 0);
  }
  int32_t Open(const TempDir& dir) {
    return xb_UseEx(dir.File("T.DBF").c_str(), nullptr, XB_OPEN_EXCLUSIVE, XB_DRIVER_CDX,
                    XB_COMMIT_FULL);
  }
};

TEST_F(CdxCrashWalk, TagsAgreeWithTheTableAfterEveryPoint) {
  struct Operation {
    const char* name;
    std::function<std::vector<bool>()> run;  // one flag per commit: whether it returned ok
  } operations[] = {
      {"append",
       [] {
         bool first = AllOk({xb_AppendBlank(), xb_Replace("ITEM", 0, "aa"),
                             xb_Replace("QTY", 0, "7"), xb_Commit()});
         bool second = AllOk({xb_AppendBlank(), xb_Replace("ITEM", 0, "zz"), xb_Commit()});
         return std::vector<bool>{first, second};
       }},
      {"replace and delete",
       [] {
         return std::vector<bool>{
             AllOk({xb_Go(5), xb_Replace("ITEM", 0, "moved"), xb_Go(9), xb_Delete(), xb_Commit()})};
       }},
      {"index tag (new)",
       [] { return std::vector<bool>{xb_IndexTag(nullptr, "QTY", "QTY", 0, 0, nullptr) > 0}; }},
      {"index tag (replacing)",
       [] { return std::vector<bool>{xb_IndexTag(nullptr, "ITEM", "ITEM", 0, -1, nullptr) > 0}; }},
  };
  for (const Operation& op : operations) {
    SCOPED_TRACE(op.name);
    for (Mode mode : {Mode::kFail, Mode::kCrash}) {
      SCOPED_TRACE(mode == Mode::kFail ? "fail" : "crash");
      int points = 0;
      for (uint64_t n = 1;; ++n) {
        SCOPED_TRACE("call " + std::to_string(n));
        TempDir dir;
        MakeTable(dir);
        xb::FaultFileSystem faults(xb::PosixFileSystem());
        xb::SetFileSystem(&faults);
        ASSERT_GT(Open(dir), 0);
        faults.Arm(n, mode);
        std::vector<bool> flags = op.run();
        CloseAllAreas();
        xb::SetFileSystem(nullptr);
        bool triggered = faults.Triggered();

        ASSERT_GT(Open(dir), 0) << "the table opens: " << xb_ErrorText();
        int records = xb_RecCount();
        int committed = 300;
        for (bool f : flags) committed += f && std::string(op.name) == "append" ? 1 : 0;
        EXPECT_GE(records, committed) << "a committed record was lost";
        auto orders = Orders();
        EXPECT_GE(orders.size(), 2u);
        ASSERT_NE(xb_Reindex(), 0) << xb_ErrorText();
        auto rebuilt = Orders();
        for (size_t t = 0; t < orders.size() && t < rebuilt.size(); ++t) {
          auto [a, b] = std::mismatch(orders[t].begin(), orders[t].end(), rebuilt[t].begin(),
                                      rebuilt[t].end());
          EXPECT_TRUE(a == orders[t].end() && b == rebuilt[t].end())
              << "tag " << t + 1 << " disagrees with the table from entry "
              << (a - orders[t].begin()) << " (" << orders[t].size() << " entries, rebuilt "
              << rebuilt[t].size() << ")";
        }
        ASSERT_NE(xb_Close(), 0);
        if (!triggered) break;
        ++points;
        ASSERT_LT(n, 400u) << "the walk does not end";
      }
      EXPECT_GT(points, 0);
    }
  }
}

}  // namespace
}  // namespace xbtest
