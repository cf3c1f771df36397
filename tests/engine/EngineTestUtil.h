// Helpers of the engine tests: a clean engine per test and a text view of a table.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Engine.h"
#include "EngineSettings.h"
#include "TestSupport.h"
#include "fs/FileSystem.h"
#include "xbengine.h"

namespace xbtest {

// Closes every open work area.
inline void CloseAllAreas() {
  for (int i = 1; i <= 256; ++i) {
    if (xb::Engine::Instance().Area(i)) {
      xb_Select(i);
      xb_Close();
    }
  }
}

// Closes every work area and puts the engine's settings and file system back, before and
// after each test.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  static void Reset() {
    xb::SetFileSystem(nullptr);
    CloseAllAreas();
    xb::Settings() = xb::EngineSettings();
  }
  TempDir FDir;
};

// One line per record in record order, as the fixtures' dumps have them:
// recno TAB flag TAB values joined by '|'. Numbers with the field's decimals, dates YYYYMMDD or
// blanks, logicals T/F, memos with CR and LF written \r and \n.
inline std::vector<std::string> DumpNatural() {
  std::vector<std::string> lines;
  int n = xb_RecCount();
  int fields = xb_FieldCount();
  std::vector<std::string> names, types;
  for (int i = 1; i <= fields; ++i) {
    names.push_back(xb_FieldName(i));
    types.push_back(xb_FieldType(names.back().c_str()));
  }
  for (int k = 1; k <= n; ++k) {
    EXPECT_NE(xb_Go(k), 0) << "record " << k;
    std::string line = std::to_string(k) + "\t" + (xb_Deleted() ? "*" : "-") + "\t";
    for (int i = 0; i < fields; ++i) {
      const char* name = names[size_t(i)].c_str();
      if (i > 0) line += "|";
      char t = types[size_t(i)][0];
      if (t == 'N' || t == 'F') {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.*f", xb_FieldDecimals(name), xb_GetDouble(name));
        line += buf;
      } else if (t == 'D') {
        line += xb_GetDateString(name);
      } else if (t == 'L') {
        line += xb_GetInteger(name) ? "T" : "F";
      } else if (t == 'M') {
        char* memo = xb_GetMemo(name, 0);
        for (const char* p = memo; p && *p; ++p) {
          if (*p == '\r')
            line += "\\r";
          else if (*p == '\n')
            line += "\\n";
          else
            line += *p;
        }
        xb_MemDealloc(memo);
      } else {
        line += xb_GetString(name);
      }
    }
    lines.push_back(line);
  }
  return lines;
}

}  // namespace xbtest
