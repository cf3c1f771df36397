// Every changing file-system call of a small append, replace, memo write, pack, zap and
// delimited append is made to fail once, and in a second walk to stop the "process" there.
// Afterwards the table opens with the real file system and is as it was before or as it is
// after the operation (or at a commit in between), and no record whose commit returned is
// lost.
#include <algorithm>
#include <cstring>
#include <functional>

#include "EngineTestUtil.h"
#include "fs/FaultFileSystem.h"

namespace xbtest {
namespace {

using Mode = xb::FaultFileSystem::Mode;

struct Operation {
  const char* name;
  // Runs on the open table; returns one flag per commit point reached (true: it returned ok).
  std::function<std::vector<bool>(const TempDir&)> run;
};

bool Ok(int32_t r) {
  return r != 0;
}
// True when every result is non-zero; every call has run, whatever the earlier ones gave.
bool AllOk(std::initializer_list<int32_t> results) {
  bool ok = true;
  for (int32_t r : results) ok = ok && r != 0;
  return ok;
}

std::vector<Operation> Operations() {
  return {
      {"append",
       [](const TempDir&) {
         bool first = AllOk({xb_AppendBlank(), xb_Replace("ITEM", 0, "NEW1"), xb_Commit()});
         bool second = AllOk({xb_AppendBlank(), xb_Replace("ITEM", 0, "NEW2"), xb_Commit()});
         return std::vector<bool>{first, second};
       }},
      {"replace",
       [](const TempDir&) {
         std::vector<char> image(static_cast<size_t>(xb_RecSize()));
         bool ok = Ok(xb_Go(2)) && Ok(xb_GetRecord(image.data()));
         std::memcpy(image.data() + 1, "CHANGED ", 8);
         ok = AllOk({xb_PutRecord(image.data()), xb_Commit()}) && ok;
         return std::vector<bool>{ok};
       }},
      {"memo",
       [](const TempDir&) {
         bool ok = Ok(xb_Go(1)) && Ok(xb_Replace("NOTE", XB_REPLACE_MEMO, "a new memo text"));
         ok = Ok(xb_Commit()) && ok;
         return std::vector<bool>{ok};
       }},
      {"pack", [](const TempDir&) { return std::vector<bool>{Ok(xb_Pack())}; }},
      {"zap", [](const TempDir&) { return std::vector<bool>{Ok(xb_Zap())}; }},
      {"appendfrom",
       [](const TempDir& dir) {
         return std::vector<bool>{
             Ok(xb_AppendFrom(dir.File("in.csv").c_str(), XB_SOURCE_DELIMITED, ""))};
       }},
  };
}

class CrashWalk : public EngineTest {
 protected:
  // A committed table of three records (the second deleted, the first with a memo).
  void MakeTable(const TempDir& dir) {
    ASSERT_NE(xb_CreateTable(dir.File("T.DBF").c_str(), "ITEM,C,8,0;QTY,N,6,1;NOTE,M,10,0"), 0);
    Open(dir);
    for (const char* item : {"ONE", "TWO", "THREE"}) {
      ASSERT_NE(xb_AppendBlank(), 0);
      ASSERT_NE(xb_Replace("ITEM", 0, item), 0);
      ASSERT_NE(xb_Replace("QTY", 0, "1.5"), 0);
    }
    xb_Go(1);
    ASSERT_NE(xb_Replace("NOTE", XB_REPLACE_MEMO, "the first memo"), 0);
    xb_Go(2);
    ASSERT_NE(xb_Delete(), 0);
    ASSERT_NE(xb_Close(), 0);
    WriteText(dir.File("in.csv"), "\"CSV1\",2.5\r\n\"CSV2\",3\r\nCSV3,x\r\n");
  }
  void Open(const TempDir& dir) {
    ASSERT_GT(xb_UseEx(dir.File("T.DBF").c_str(), nullptr, XB_OPEN_EXCLUSIVE, XB_DRIVER_CDX,
                       XB_COMMIT_FULL),
              0)
        << xb_ErrorText();
  }
  std::vector<std::string> State(const TempDir& dir) {
    Open(dir);
    auto dump = DumpNatural();
    dump.insert(dump.begin(), "count " + std::to_string(xb_RecCount()));
    EXPECT_NE(xb_Close(), 0);
    return dump;
  }
};

TEST_F(CrashWalk, EveryPointLeavesTheTableBeforeOrAfter) {
  for (const Operation& op : Operations()) {
    SCOPED_TRACE(op.name);
    // The states the table may be found in: before, after each commit point.
    std::vector<std::vector<std::string>> states;
    {
      TempDir dir;
      MakeTable(dir);
      states.push_back(State(dir));
      Open(dir);
      // Each commit point of the operation, reached without faults.
      auto flags = op.run(dir);
      for (bool f : flags) ASSERT_TRUE(f) << xb_ErrorText();
      ASSERT_NE(xb_Close(), 0);
      states.push_back(State(dir));
    }
    if (std::string(op.name) == "append") {
      // The state after the first commit only.
      TempDir dir;
      MakeTable(dir);
      Open(dir);
      xb_AppendBlank();
      xb_Replace("ITEM", 0, "NEW1");
      xb_Close();
      states.insert(states.begin() + 1, State(dir));
    }
    ASSERT_NE(states.front(), states.back());

    for (Mode mode : {Mode::kFail, Mode::kCrash}) {
      SCOPED_TRACE(mode == Mode::kFail ? "fail" : "crash");
      int points = 0;
      for (uint64_t n = 1;; ++n) {
        SCOPED_TRACE("call " + std::to_string(n));
        TempDir dir;
        MakeTable(dir);
        xb::FaultFileSystem faults(xb::PosixFileSystem());
        xb::SetFileSystem(&faults);
        Open(dir);
        faults.Arm(n, mode);
        std::vector<bool> flags = op.run(dir);
        CloseAllAreas();
        xb::SetFileSystem(nullptr);
        bool triggered = faults.Triggered();
        std::vector<std::string> found = State(dir);
        auto at = std::find(states.begin(), states.end(), found);
        ASSERT_NE(at, states.end()) << "a state between before and after";
        // A commit that returned ok is never undone.
        size_t reached = size_t(at - states.begin());
        for (size_t i = 0; i < flags.size(); ++i) {
          if (flags[i]) {
            EXPECT_GE(reached, states.size() - flags.size() + i) << "commit " << i;
          }
        }
        if (!triggered) {
          EXPECT_EQ(found, states.back());
          break;
        }
        ++points;
        ASSERT_LT(n, 200u) << "the walk does not end";
      }
      EXPECT_GT(points, 0);
    }
  }
}

}  // namespace
}  // namespace xbtest
