#include "TableTestSupport.h"

#include "TXbEngine.h"

namespace xbtest {

void RequireEngine() {
  EnsureEngine();
  ASSERT_TRUE(EngineReady()) << XbEngine().LoadFailure();
}

namespace {

// Opens `path` in a work area of its own and selects it; closed again on destruction.
struct RawArea {
  explicit RawArea(const std::string& path) {
    TXbEntryTable& e = XbEntries();
    e.xb_ErrorLevel(0);
    area = e.xb_UseEx(path.c_str(), "RAWTEST", XB_OPEN_SHARED, XB_DRIVER_CDX, XB_COMMIT_NORMAL);
    EXPECT_GT(area, 0) << path << ": " << e.xb_ErrorText();
  }
  ~RawArea() {
    if (area > 0) {
      XbEntries().xb_Select(area);
      XbEntries().xb_Close();
    }
  }
  int32_t area = 0;
};

}  // namespace

void MakeTable(const std::string& path, const std::string& fields,
               const std::vector<std::vector<std::string>>& rows) {
  RequireEngine();
  TXbEntryTable& e = XbEntries();
  ASSERT_NE(e.xb_CreateTable(path.c_str(), fields.c_str()), 0) << e.xb_ErrorText();
  if (rows.empty()) return;
  RawArea raw(path);
  int32_t count = e.xb_FieldCount();
  for (const auto& row : rows) {
    ASSERT_NE(e.xb_AppendBlank(), 0) << e.xb_ErrorText();
    for (size_t i = 0; i < row.size() && static_cast<int32_t>(i) < count; ++i) {
      std::string name = e.xb_FieldName(static_cast<int32_t>(i) + 1);
      bool memo = std::string(e.xb_FieldType(name.c_str())) == "M";
      ASSERT_NE(e.xb_Replace(name.c_str(), memo ? XB_REPLACE_MEMO : 0, row[i].c_str()), 0)
          << e.xb_ErrorText();
    }
  }
  e.xb_Commit();
}

std::string RawField(const std::string& path, int32_t recno, const std::string& field) {
  RawArea raw(path);
  XbEntries().xb_Go(recno);
  return XbEntries().xb_GetString(field.c_str());
}

int32_t RawRecCount(const std::string& path) {
  RawArea raw(path);
  return XbEntries().xb_RecCount();
}

bool RawDeleted(const std::string& path, int32_t recno) {
  RawArea raw(path);
  XbEntries().xb_Go(recno);
  return XbEntries().xb_Deleted() != 0;
}

TCallLog::TCallLog() : FPrevious(SetXbAccessObserver(this)) {}
TCallLog::~TCallLog() {
  SetXbAccessObserver(FPrevious);
}

void TCallLog::Called(const char* name, const std::string& args) {
  Calls.push_back(std::string(name) + "(" + args + ")");
}

std::vector<std::string> TCallLog::Names() const {
  std::vector<std::string> names;
  for (const auto& c : Calls) names.push_back(c.substr(0, c.find('(')));
  return names;
}

bool TCallLog::Contains(const std::string& name) const {
  for (const auto& n : Names())
    if (n == name) return true;
  return false;
}

}  // namespace xbtest
