// The run-time binding, the access layer's routing, the component search and the engine-wide
// settings of TXbEnv.
#include <gtest/gtest.h>

#include <memory>

#include "TField.h"
#include "TXbAccess.h"
#include "TXbDatabase.h"
#include "TXbEngine.h"
#include "TXbEnv.h"
#include "TXbFormatSettings.h"
#include "TXbSearchObject.h"
#include "TXbTable.h"
#include "TableTestSupport.h"

using xbtest::TCallLog;

TEST(Binding, MissingLibraryOrEntryMakesLoadFailSilently) {
  TXbEntryTable scratch;
  TXbEngine missing("libxbengine-missing.so", &scratch);
  EXPECT_FALSE(missing.Load());
  EXPECT_FALSE(missing.Loaded());
  // A real library without the engine's entries: the first entry cannot be resolved.
  TXbEngine wrong("libm.so.6", &scratch);
  EXPECT_FALSE(wrong.Load());
  EXPECT_EQ(wrong.Handle(), nullptr);
  EXPECT_NE(wrong.LoadFailure().find("xb_UseEx"), std::string::npos) << wrong.LoadFailure();
  EXPECT_EQ(scratch.xb_UseEx, nullptr) << "nothing of a failed load reaches the table";
  EXPECT_FALSE(wrong.Load()) << "a failed load is tried again, and fails again";
}

TEST(Binding, LoadsTheLibraryNextToTheProgramAndResolvesEveryEntry) {
  TXbEntryTable own;
  TXbEngine engine("libxbengine.so", &own);
  ASSERT_TRUE(engine.Load()) << engine.LoadFailure();
  EXPECT_TRUE(engine.Load());
#define XB_CHECK_SLOT(ret, name, params, neutral) EXPECT_NE(own.name, nullptr) << #name;
  XB_ENTRIES(XB_CHECK_SLOT)
#undef XB_CHECK_SLOT
  EXPECT_STRNE(own.xb_Version(), "");
  engine.Unload();
  EXPECT_EQ(own.xb_Version, nullptr);
  EnsureEngine();
  EXPECT_TRUE(EngineReady());
  EnsureEngine();  // a second call does nothing
  EXPECT_NE(XbEntries().xb_UseEx, nullptr);
}

namespace {

// Stands in for a remote server, which cannot run here; answers every request neutrally and
// counts them.
class TFakeConnection : public TXbConnection {
 public:
  ~TFakeConnection() override { ReleaseUsers(); }
  bool Connected() const override { return FConnected; }
  bool FileExists(const std::string&, const std::string&) override { return true; }
  void SetDatabaseName(const std::string& name) override { DatabaseName = name; }
  void RegisterTable(void*) override { ++Registered; }
  void UnregisterTable(void*) override { --Registered; }
// The requests ignore their arguments by design.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define XB_FAKE_REQUEST(ret, name, params, neutral) \
  ret name params override {                        \
    ++Requests;                                     \
    return neutral;                                 \
  }
  XB_ENTRIES(XB_FAKE_REQUEST)
#undef XB_FAKE_REQUEST
#pragma GCC diagnostic pop
  bool FConnected = false;
  int Requests = 0;
  int Registered = 0;
  std::string DatabaseName;
};

}  // namespace

TEST(Binding, ServerTablesGoToTheirConnection) {
  xbtest::RequireEngine();
  TXbRoute noConnection{amServer, nullptr};
  EXPECT_THROW(TXbAccess::xb_RecCount(&noConnection), EXbError);
  TFakeConnection connection;
  TXbRoute server{amServer, &connection};
  EXPECT_EQ(TXbAccess::xb_Select(&server, 3), 0);
  EXPECT_EQ(connection.Requests, 1);

  TXbTable t;
  t.SetTableName("LEDGER");
  t.SetXbConnection(&connection);
  t.SetAccessMethod(amServer);
  EXPECT_EQ(connection.Registered, 1);
  try {
    t.Open();
    FAIL();
  } catch (const EXbError& e) {
    EXPECT_STREQ(e.what(), "Not connected");
  }
  t.SetDatabaseName("remote");
  EXPECT_EQ(connection.DatabaseName, "remote");
}

TEST(Binding, ATableIsClosedAndLetsGoWhenItsConnectionGoes) {
  xbtest::RequireEngine();
  xbtest::TempDir dir;
  std::string path = dir.File("LEDGER.DBF");
  xbtest::MakeTable(path, "V,C,5,0", {{"a"}});
  TXbTable t;
  t.SetTableName(path);
  t.SetExclusive(true);
  TFakeConnection kept;
  {
    TFakeConnection gone;
    t.SetXbConnection(&gone);
    EXPECT_EQ(gone.Registered, 1);
    t.Open();
    ASSERT_TRUE(t.Active());
  }
  EXPECT_FALSE(t.Active());
  EXPECT_EQ(t.Area(), 0);
  EXPECT_EQ(t.XbConnection(), nullptr);
  t.Open();  // the work area was closed in the engine: the exclusive table opens again
  EXPECT_EQ(t.FieldByName("V")->AsString(), "a");
  {
    TFakeConnection replaced;
    t.SetXbConnection(&replaced);
    t.SetXbConnection(&kept);
    EXPECT_EQ(replaced.Registered, 0);
  }
  EXPECT_TRUE(t.Active()) << "a connection the table no longer uses closes nothing";
  EXPECT_EQ(t.XbConnection(), &kept);
}

TEST(Binding, ObserverSeesEachCallWithItsArguments) {
  xbtest::RequireEngine();
  TCallLog log;
  TXbAccess::xb_WorkArea(nullptr, "NOSUCH");
  TXbAccess::xb_SetScope(nullptr, nullptr, nullptr);
  TXbAccess::xb_PutRecord(nullptr, "no terminating NUL needed");
  EXPECT_EQ(log.Calls, (std::vector<std::string>{"xb_WorkArea(\"NOSUCH\")",
                                                 "xb_SetScope(NULL, NULL)", "xb_PutRecord(data)"}));
}

TEST(ComponentSearch, VisitsDataModulesThenFormsAndTheirFrames) {
  TForm form;
  TXbDatabase onForm(&form);
  onForm.Name = "onForm";
  TFrame frame(&form);
  TXbDatabase inFrame(&frame);
  inFrame.Name = "inFrame";
  TXbDatabase afterFrame(&form);
  afterFrame.Name = "afterFrame";
  TDataModule module;
  TXbDatabase inModule(&module);
  inModule.Name = "inModule";
  TXbEnv notADatabase(&module);
  std::vector<std::string> found;
  TXbSearchObject search;
  for (TXbDatabase* d = search.FindFirst<TXbDatabase>(); d; d = search.FindNext<TXbDatabase>())
    found.push_back(d->Name);
  EXPECT_EQ(found, (std::vector<std::string>{"inModule", "onForm", "inFrame", "afterFrame"}));
  EXPECT_EQ(search.FindFirst<TXbEnv>(), &notADatabase);
  EXPECT_EQ(search.FindNext<TXbEnv>(), nullptr);
}

TEST(ComponentSearch, DatabaseAliasesNameTableDirectories) {
  xbtest::RequireEngine();
  xbtest::TempDir dir;
  xbtest::MakeTable(dir.File("LEDGER.DBF"), "V,C,3,0", {{"a"}});
  TForm form;
  auto db = std::make_unique<TXbDatabase>(&form);
  db->DataPath = dir.path();
  db->DataPathAlias = "Books";
  TXbTable t(&form);
  t.SetDatabaseName("BOOKS");
  t.SetTableName("LEDGER");
  t.Open();
  EXPECT_EQ(t.TableDir(), dir.path() + "/");
  EXPECT_EQ(t.RecCount(), 1);
  t.Close();
  // The database the table found goes; another takes its alias: the next open finds that one.
  xbtest::TempDir moved;
  xbtest::MakeTable(moved.File("LEDGER.DBF"), "V,C,3,0", {{"a"}, {"b"}});
  db.reset();
  TXbDatabase other(&form);
  other.DataPath = moved.path();
  other.DataPathAlias = "books";
  t.Open();
  EXPECT_EQ(t.TableDir(), moved.path() + "/");
  EXPECT_EQ(t.RecCount(), 2);
}

namespace {

class Environment : public ::testing::Test {
 protected:
  void SetUp() override {
    xbtest::RequireEngine();
    FSaved = XbFormatSettings();
  }
  void TearDown() override {
    // Engine-wide settings outlive the component: put the engine's defaults back.
    XbEntries().xb_SetExact(0);
    XbEntries().xb_SetSoftSeek(0);
    XbEntries().xb_SetDeleted(0);
    XbFormatSettings() = FSaved;
  }
  TForm Form;

 private:
  TXbFormatSettings FSaved;
};

}  // namespace

TEST_F(Environment, EpochIsClamped) {
  TXbEnv env(&Form);
  struct Case {
    int32_t set, read;
  } cases[] = {{0, 1900}, {50, 100}, {3500, 2999}, {2999, 2999}, {100, 100}, {1980, 1980}};
  for (const Case& c : cases) {
    TCallLog log;
    env.SetEpoch(c.set);
    EXPECT_EQ(env.Epoch(), c.read) << c.set;
    EXPECT_EQ(log.Calls, (std::vector<std::string>{"xb_SetEpoch(" + std::to_string(c.read) + ")"}));
  }
}

TEST_F(Environment, DateFormatSetsTheEngineCodeAndTheDateDisplay) {
  TXbEnv env(&Form);
  struct Case {
    TXbDateFrmt format;
    bool century;
    int32_t code;
    std::string shortFormat;
    char separator;
  } cases[] = {
      {dfGerman, true, 4, "dd.mm.yyyy", '.'},
      {dfGerman, false, 4, "dd.mm.yy", '.'},
      {dfSpanish, false, 6, "dd-mm-yy", '-'},
      {dfAmerican, true, 0, "mm/dd/yyyy", '/'},
      {dfAnsi, false, 1, "yy.mm.dd", '.'},
      {dfWinDefault, true, 99, SystemFormatSettings().ShortDateFormat, '/'},
  };
  for (const Case& c : cases) {
    env.SetCentury(c.century);
    TCallLog log;
    env.SetDateFormat(c.format);
    ASSERT_FALSE(log.Calls.empty());
    EXPECT_EQ(log.Calls[0], "xb_SetDateFormat(" + std::to_string(c.code) + ")");
    EXPECT_EQ(XbFormatSettings().ShortDateFormat, c.shortFormat) << c.code;
    EXPECT_EQ(XbFormatSettings().DateSeparator, c.separator) << c.code;
  }
}

TEST_F(Environment, CenturyWidensAndNarrowsTheYear) {
  TXbEnv env(&Form);
  struct Case {
    std::string before;
    bool century;
    std::string after;
  } cases[] = {{"dd/mm/yyyy", false, "dd/mm/yy"},
               {"dd/mm/yy", true, "dd/mm/yyyy"},
               {"yyyy-mm-dd", true, "yyyy-mm-dd"}};
  for (const Case& c : cases) {
    XbFormatSettings().ShortDateFormat = c.before;
    env.SetCentury(c.century);
    EXPECT_EQ(XbFormatSettings().ShortDateFormat, c.after) << c.before;
  }
}

TEST_F(Environment, SettersFollowApplyToAndSkipUnchangedValues) {
  TXbEnv env(&Form);
  {
    env.ApplyTo = 0;
    TCallLog log;
    env.SetExact(true);
    env.SetDeleted(true);
    EXPECT_FALSE(env.Exact());
    EXPECT_FALSE(env.Deleted());
    EXPECT_TRUE(log.Calls.empty());
    env.ApplyTo = atLocal;
  }
  {
    TCallLog log;
    env.SetSoftSeek(false);  // its present value
    EXPECT_TRUE(log.Calls.empty());
    env.SetSoftSeek(true);
    EXPECT_EQ(log.Calls, (std::vector<std::string>{"xb_SetSoftSeek(-1)"}));
  }
  xbtest::TempDir dir;
  xbtest::MakeTable(dir.File("T.DBF"), "V,C,3,0", {{"a"}});
  TXbTable table(&Form);
  table.SetTableName(dir.File("T.DBF"));
  table.Open();
  {
    TCallLog log;
    env.SetDeleted(false);  // unchanged, but the engine is told and open tables re-read
    EXPECT_EQ(log.Calls.front(), "xb_SetDeleted(0)");
    EXPECT_TRUE(log.Contains("xb_DBFilter")) << "the open table refreshed";
  }
  env.ApplyTo = atServer;
  EXPECT_FALSE(env.OptimisticBuffer());
  env.ApplyTo = atLocal;
  env.SetOptimisticBuffer(true);
  EXPECT_EQ(env.OptimisticBuffer(), XbEntries().xb_SysProp(XB_PROP_OPTBUF_GET, 0) != 0);
}

TEST_F(Environment, ATableTakesTheSettingsOfTheEnvironmentAtOpen) {
  xbtest::TempDir dir;
  xbtest::MakeTable(dir.File("T.DBF"), "V,C,3,0", {{"a"}});
  TXbEnv env(&Form);
  TXbTable table(&Form);
  table.SetTableName(dir.File("T.DBF"));
  TCallLog log;
  table.Open();
  std::vector<std::string> setters;
  for (const auto& n : log.Names())
    if (n.rfind("xb_Set", 0) == 0 && n != "xb_SetTurboRead" && n != "xb_SetTranslate" &&
        n != "xb_SetStringType" && n != "xb_SetOrder")
      setters.push_back(n);
  EXPECT_EQ(setters, (std::vector<std::string>{"xb_SetEpoch", "xb_SetDeleted", "xb_SetCentury",
                                               "xb_SetMemoBlockSize", "xb_SetDateFormat",
                                               "xb_SetSoftSeek", "xb_SetExact"}));
  EXPECT_TRUE(log.Contains("xb_ErrorLevel"));
  auto names = log.Names();
  auto use = std::find(names.begin(), names.end(), "xb_UseEx");
  EXPECT_EQ(log.Calls[use - names.begin() + 1], "xb_ErrorLevel(0)") << "the environment's level";
  table.Close();
  env.ApplyTo = atServer;  // does not apply to a local table: nothing is sent
  log.Clear();
  table.Open();
  EXPECT_FALSE(log.Contains("xb_SetExact"));
}
