// The table component against the bare engine, in the same run, on the same files:
//   scan   First, then Next over every record, reading three fields of each, with a data link
//          that wants 20 buffers attached (as a grid would);
//   seek   100,000 Seeks of keys spread over the table;
//   post   AppendBlank + three field assignments + Post, 100,000 times, on a table with a tag.
// Each step is timed through TXbTable and then through the C entries (bound the same way, at
// run time); the ratio is what the record set costs on top of the engine.
//
//   bench_table_bench [records [steps]]   (default: 1000000, scan,seek,post)
//
// Goals: scan and seek no more than 3 times the bare engine, post no more than 2 times.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include <unistd.h>

#include "TDataLink.h"
#include "TDataSource.h"
#include "TField.h"
#include "TXbEngine.h"
#include "TXbTable.h"

namespace {

const char* const kSpec = "ITEM,C,8,0;TEXT,C,30,0;QTY,N,10,2";

double Seconds(const std::function<void()>& body) {
  auto start = std::chrono::steady_clock::now();
  body();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string Key(long i) {
  char text[32];
  std::snprintf(text, sizeof(text), "K%07ld", i);
  return text;
}

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "bench: %s: %s\n", what.c_str(), XbEntries().xb_ErrorText());
  std::exit(1);
}

// Fills a new table with n records through a delimited file (the engine's fastest way in).
void MakeTable(const std::string& path, const std::string& dir, long n) {
  TXbEntryTable& e = XbEntries();
  if (!e.xb_CreateTable(path.c_str(), kSpec)) Die("create " + path);
  std::string csv = dir + "/rows.csv";
  FILE* f = std::fopen(csv.c_str(), "w");
  for (long i = 0; i < n; ++i) {
    // Keys in an order other than the records', so that a tag has work to do.
    long k = (i * 7919) % n;
    std::fprintf(f, "\"%s\",\"text of record %ld\",%ld.25\n", Key(k).c_str(), i, i % 1000);
  }
  std::fclose(f);
  int32_t area =
      e.xb_UseEx(path.c_str(), "BENCH", XB_OPEN_EXCLUSIVE, XB_DRIVER_CDX, XB_COMMIT_NORMAL);
  if (area < 1) Die("open " + path);
  if (!e.xb_AppendFrom(csv.c_str(), XB_SOURCE_DELIMITED, "")) Die("append from");
  e.xb_Close();
  std::filesystem::remove(csv);
}

struct TGridLink : TDataLink {};

// The table opened with a data link that wants 20 buffers, as a grid would attach it.
struct GridTable {
  explicit GridTable(const std::string& path) {
    table.SetTableName(path);
    table.SetExclusive(true);
    source.SetDataSet(&table);
    grid.SetBufferCount(20);
    grid.SetDataSource(&source);
    table.Open();
  }
  TXbTable table;
  TDataSource source;
  TGridLink grid;
};

void Report(const char* step, long count, double table, double engine, double goal) {
  double ratio = engine > 0 ? table / engine : 0;
  std::printf("%-6s %9ld  table %8.3f s  engine %8.3f s  ratio %5.2f  (goal <= %.0f) %s\n", step,
              count, table, engine, ratio, goal, ratio <= goal ? "ok" : "OVER");
}

}  // namespace

int main(int argc, char** argv) {
  long n = argc > 1 ? std::atol(argv[1]) : 1000000;
  std::string steps = argc > 2 ? argv[2] : "scan,seek,post";
  auto wanted = [&](const char* step) { return steps.find(step) != std::string::npos; };
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // figures appear as each step ends
  EnsureEngine();
  if (!EngineReady()) {
    std::fprintf(stderr, "bench: %s\n", XbEngine().LoadFailure().c_str());
    return 1;
  }
  TXbEntryTable& e = XbEntries();
  std::string dir =
      std::filesystem::temp_directory_path() / ("xbtablebench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::string path = dir + "/SCAN.DBF";
  if (wanted("scan") || wanted("seek")) MakeTable(path, dir, n);
  std::printf("records %ld, engine %s\n", n, e.xb_Version());

  // --- scan ---
  double sink = 0;
  double tableScan = 0, engineScan = 0;
  long seen = 0;
  if (wanted("scan")) {
    GridTable g(path);
    TXbTable& t = g.table;
    TField* item = t.FieldByName("ITEM");
    TField* text = t.FieldByName("TEXT");
    TField* qty = t.FieldByName("QTY");
    tableScan = Seconds([&] {
      for (t.First(); !t.TDataSet::Eof(); t.Next()) {
        sink += item->AsString().size() + text->AsString().size() + qty->AsFloat();
        ++seen;
      }
    });
    if (seen != n) std::fprintf(stderr, "bench: the table scan saw %ld records\n", seen);
  }
  if (wanted("scan")) {
    int32_t area =
        e.xb_UseEx(path.c_str(), "BENCH", XB_OPEN_EXCLUSIVE, XB_DRIVER_CDX, XB_COMMIT_NORMAL);
    engineScan = Seconds([&] {
      for (e.xb_GoTop(); !e.xb_Eof(); e.xb_Skip(1)) {
        sink += std::string(e.xb_GetTrimString("ITEM")).size() +
                std::string(e.xb_GetTrimString("TEXT")).size() + e.xb_GetDouble("QTY");
      }
    });
    (void)area;
    e.xb_Close();
    Report("scan", n, tableScan, engineScan, 3);
  }

  // --- seek ---
  const long seeks = 100000;
  if (wanted("seek")) {
    GridTable g(path);
    TXbTable& t = g.table;
    if (t.IndexTag("", "ITEM", "ITEM", 0, false, "") == 0) {
      std::printf("seek   the engine makes no tags yet: not measured\n");
    } else {
      long found = 0;
      double tableSeek = Seconds([&] {
        for (long i = 0; i < seeks; ++i) found += t.Seek(Key((i * 104729) % n)) ? 1 : 0;
      });
      // The same seeks with a grid that paints after each one: it reads every row it shows.
      TField* item = t.FieldByName("ITEM");
      double tablePainted = Seconds([&] {
        for (long i = 0; i < seeks; ++i) {
          t.Seek(Key((i * 104729) % n));
          for (int32_t row = 0; row < g.grid.RecordCount(); ++row) {
            int32_t old = t.SetActiveRecord(g.grid.FirstRecord() + row);
            sink += item->AsString().size();
            t.SetActiveRecord(old);
          }
        }
      });
      t.Close();
      int32_t area =
          e.xb_UseEx(path.c_str(), "BENCH", XB_OPEN_EXCLUSIVE, XB_DRIVER_CDX, XB_COMMIT_NORMAL);
      (void)area;
      e.xb_SetOrder(e.xb_TagArea("ITEM"));
      long engineFound = 0;
      std::string record(static_cast<size_t>(e.xb_RecSize()) + 1, '\0');
      double engineSeek = Seconds([&] {
        for (long i = 0; i < seeks; ++i) {
          engineFound += e.xb_Seek(Key((i * 104729) % n).c_str()) ? 1 : 0;
          e.xb_GetRecord(record.data());  // a seek is for reading the record found
        }
      });
      // The same seeks with the reads a 20-row window needs around the record found, as the
      // record set refills its buffers after every move.
      double engineWindow = Seconds([&] {
        for (long i = 0; i < seeks; ++i) {
          e.xb_Seek(Key((i * 104729) % n).c_str());
          e.xb_GetRecord(record.data());
          for (int k = 0; k < 19 && !e.xb_Bof(); ++k) {
            e.xb_Skip(-1);
            e.xb_GetRecord(record.data());
          }
        }
      });
      std::printf(
          "seek   with a grid painting 20 rows after each: table %.3f s, engine with the "
          "window's reads %.3f s (ratio %.2f)\n",
          tablePainted, engineWindow, tablePainted / engineWindow);
      e.xb_Close();
      if (found != engineFound)
        std::fprintf(stderr, "bench: seeks found %ld and %ld\n", found, engineFound);
      Report("seek", seeks, tableSeek, engineSeek, 3);
    }
  }

  // --- post ---
  const long posts = 100000;
  std::string postTable = dir + "/POST.DBF", postEngine = dir + "/POSTE.DBF";
  bool tagged = true;
  double tablePost = 0, enginePost = 0;
  if (wanted("post")) {
    if (!e.xb_CreateTable(postTable.c_str(), kSpec)) Die("create post table");
    GridTable g(postTable);
    TXbTable& t = g.table;
    tagged = t.IndexTag("", "ITEM", "ITEM", 0, false, "") != 0;
    TField* item = t.FieldByName("ITEM");
    TField* text = t.FieldByName("TEXT");
    TField* qty = t.FieldByName("QTY");
    tablePost = Seconds([&] {
      for (long i = 0; i < posts; ++i) {
        t.AppendBlank();
        item->SetAsString(Key((i * 7919) % posts));
        text->SetAsString("posted record");
        qty->SetAsFloat(i % 1000 + 0.5);
        t.Post();
      }
    });
  }
  if (wanted("post")) {
    if (!e.xb_CreateTable(postEngine.c_str(), kSpec)) Die("create post table");
    e.xb_UseEx(postEngine.c_str(), "POSTE", XB_OPEN_EXCLUSIVE, XB_DRIVER_CDX, XB_COMMIT_NORMAL);
    if (tagged) e.xb_IndexTag(nullptr, "ITEM", "ITEM", 0, 0, nullptr);
    enginePost = Seconds([&] {
      char number[32];
      for (long i = 0; i < posts; ++i) {
        e.xb_AppendBlank();
        e.xb_Replace("ITEM", 0, Key((i * 7919) % posts).c_str());
        e.xb_Replace("TEXT", 0, "posted record");
        std::snprintf(number, sizeof(number), "%10.2f", i % 1000 + 0.5);
        e.xb_Replace("QTY", 0, number);
        e.xb_Commit();
      }
    });
    e.xb_Close();
    Report(tagged ? "post" : "post*", posts, tablePost, enginePost, 2);
    if (!tagged) std::printf("       * without a tag: the engine makes no tags yet\n");
  }
  if (sink == 42) std::printf(" ");
  std::filesystem::remove_all(dir);
  return 0;
}
