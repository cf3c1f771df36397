// Whole-engine benchmark over the C interface: makes its own tables and delimited files in a
// temporary directory and prints, per step, the wall-clock seconds, the CPU seconds of the
// process (user and system; on a machine shared with other work the steadier figure) and the
// peak resident memory.
//
//   bench_engine_bench [N...]      (default: 100000 1000000)
//
// The goals per 1,000,000 records on the 2-core build machine: append < 0.5 s, append-from
// < 0.8 s, pack < 0.5 s, full scan < 0.05 s; memory bounded by a few records and the
// file-system cache, never by the table's size.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "xbengine.h"

namespace {

const char* const kTableSpec = "ITEM,C,20,0;DESCRIPT,C,50,0;NUMBER,N,10,2;GST,N,14,4;AMOUNT,N,16,4";
// The incoming table of the ledger application: what a delimited export is appended to.
const char* const kIncomingSpec =
    "ITEM,C,8,0;DESCRIPT,C,50,0;I_NUMBER,N,10,2;I_GST,N,12,4;I_AMOUNT,N,14,4;"
    "C_NUMBER,N,10,2;C_GST,N,12,4;C_AMOUNT,N,14,4;T_GST,N,12,4;T_AMOUNT,N,14,4";

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "bench: %s: %s\n", what.c_str(), xb_ErrorText());
  std::exit(1);
}

// Peak resident memory since the last ResetPeakRss, in MiB (Linux: VmHWM, reset through
// clear_refs; where that is refused the figure is the process's peak so far).
void ResetPeakRss() {
  std::ofstream("/proc/self/clear_refs") << "5";
}
double PeakRssMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

struct Row {
  long N;
  std::string Step;
  double Seconds;
  double CpuSeconds;
  double PeakMiB;
};
std::vector<Row> gRows;

double CpuSeconds() {
  struct timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

void Measure(long n, const std::string& step, const std::function<void()>& body) {
  ResetPeakRss();
  double cpuStart = CpuSeconds();
  auto start = std::chrono::steady_clock::now();
  body();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  double cpu = CpuSeconds() - cpuStart;
  gRows.push_back({n, step, seconds, cpu, PeakRssMiB()});
  std::fprintf(stderr, "  %-34s %9.3f s  (cpu %.3f s)\n", step.c_str(), seconds, cpu);
}

int Open(const std::string& path, int commitLevel) {
  int area = xb_UseEx(path.c_str(), "BENCH", XB_OPEN_EXCLUSIVE, XB_DRIVER_CDX, commitLevel);
  if (area <= 0) Die("cannot open " + path);
  return area;
}

// Record images for the append benchmarks. Formatting five fields with printf for every record
// would cost about as much as the engine's work, so a pool of distinct images is made once and
// each appended record only gets its own number written into ITEM.
class RecordMaker {
 public:
  RecordMaker() {
    for (long i = 0; i < kPool; ++i) {
      std::vector<char> record(static_cast<size_t>(xb_RecSize()), ' ');
      char text[64];
      std::snprintf(text, sizeof text, "Description of item %ld", i);
      Put(record, "DESCRIPT", text, false);
      std::snprintf(text, sizeof text, "%.2f", static_cast<double>(i % 1000) / 4);
      Put(record, "NUMBER", text, true);
      std::snprintf(text, sizeof text, "%.4f", static_cast<double>(i % 9973) / 11);
      Put(record, "GST", text, true);
      std::snprintf(text, sizeof text, "%.4f", static_cast<double>(i) / 3 - 1000);
      Put(record, "AMOUNT", text, true);
      Put(record, "ITEM", "ITEM", false);
      FPool.push_back(std::move(record));
    }
    FItemOffset = static_cast<size_t>(xb_FieldOffset("ITEM") - 1);
  }

  // The image of record `i` (from 1), valid until the next call.
  const char* Make(long i) {
    std::vector<char>& record = FPool[static_cast<size_t>(i % kPool)];
    char* digits = record.data() + FItemOffset + 4;
    for (int d = 9; d >= 0; --d, i /= 10) digits[d] = static_cast<char>('0' + i % 10);
    return record.data();
  }

 private:
  static constexpr long kPool = 1000;

  // Writes `text` right-aligned (numbers) or left-aligned (text) into the record image.
  static void Put(std::vector<char>& record, const char* field, const std::string& text,
                  bool right) {
    int offset = xb_FieldOffset(field) - 1;  // 1-based position in the raw record
    int width = xb_FieldWidth(field);
    if (offset < 0 || width <= 0 || offset + width > static_cast<int>(record.size()))
      Die(std::string("no field ") + field);
    size_t n = std::min(text.size(), static_cast<size_t>(width));
    size_t at = right ? static_cast<size_t>(width) - n : 0;
    std::memcpy(record.data() + offset + at, text.data(), n);
  }

  std::vector<std::vector<char>> FPool;
  size_t FItemOffset = 0;
};

void Append(long n, bool commitEach) {
  RecordMaker maker;
  for (long i = 1; i <= n; ++i) {
    const char* record = maker.Make(i);
    if (!xb_AppendBlank()) Die("append blank");
    if (!xb_PutRecord(record)) Die("put record");
    if (commitEach && !xb_Commit()) Die("commit");
  }
  if (!xb_Commit()) Die("commit");
}

void WriteIncomingFile(const std::string& path, long n) {
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) Die("cannot write " + path);
  for (long i = 1; i <= n; ++i)
    std::fprintf(out,
                 "\"I%07ld\",\"Item %ld, described at some length\",%ld,%.4f,%.4f,%ld,%.4f,%.4f,"
                 "%.4f,%.4f\r\n",
                 i % 10000000, i, i % 50, (i % 97) / 10.0, (i % 9973) / 3.0, i % 7, 0.0,
                 (i % 101) * 1.5, (i % 97) / 10.0, (i % 9973) / 3.0 + (i % 101) * 1.5);
  std::fclose(out);
}

void Run(const std::string& dir, long n) {
  std::fprintf(stderr, "n = %ld\n", n);
  std::string table = dir + "/BENCH" + std::to_string(n) + ".DBF";
  if (!xb_CreateTable(table.c_str(), kTableSpec)) Die("cannot create " + table);
  Open(table, XB_COMMIT_NORMAL);
  Measure(n, "append (one commit)", [&] { Append(n, false); });
  if (xb_RecCount() != n) Die("record count after append");

  long checksum = 0;
  Measure(n, "full scan in record order", [&] {
    std::vector<char> record(static_cast<size_t>(xb_RecSize()));
    for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) {
      if (!xb_GetRecord(record.data())) Die("get record");
      checksum += record[1];
    }
  });
  if (checksum != n * 'I') Die("scan saw " + std::to_string(checksum / 'I') + " records");

  Measure(n, "delete every 10th record", [&] {
    for (long r = 10; r <= n; r += 10) {
      if (!xb_Go(static_cast<int32_t>(r)) || !xb_Delete()) Die("delete");
    }
    if (!xb_Commit()) Die("commit");
  });
  Measure(n, "pack", [&] {
    if (!xb_Pack()) Die("pack");
  });
  if (xb_RecCount() != n - n / 10) Die("record count after pack");
  xb_Close();

  // The place for the index benchmarks (build a tag, appends through a live tag, seeks).

  if (n <= 100000) {
    std::string each = dir + "/EACH" + std::to_string(n) + ".DBF";
    if (!xb_CreateTable(each.c_str(), kTableSpec)) Die("cannot create " + each);
    Open(each, XB_COMMIT_NORMAL);
    Measure(n, "append (commit after every record)", [&] { Append(n, true); });
    xb_Close();
  }

  std::string csv = dir + "/incoming" + std::to_string(n) + ".csv";
  WriteIncomingFile(csv, n);
  std::string incoming = dir + "/A_DATIN" + std::to_string(n) + ".DBF";
  if (!xb_CreateTable(incoming.c_str(), kIncomingSpec)) Die("cannot create " + incoming);
  Open(incoming, XB_COMMIT_NORMAL);
  Measure(n, "append-from (delimited file)", [&] {
    if (!xb_AppendFrom(csv.c_str(), XB_SOURCE_DELIMITED, "")) Die("append from");
    if (!xb_Commit()) Die("commit");
  });
  if (xb_RecCount() != n) Die("record count after append-from");
  xb_Close();
  std::filesystem::remove(csv);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<long> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atol(argv[i]));
  if (sizes.empty()) sizes = {100000, 1000000};

  std::string pattern = (std::filesystem::temp_directory_path() / "xbbench-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) {
    std::perror("mkdtemp");
    return 1;
  }
  for (long n : sizes) Run(pattern, n);
  std::filesystem::remove_all(pattern);

  std::printf("%-10s %-36s %10s %10s %14s %10s\n", "records", "step", "seconds", "cpu s",
              "records/s", "peak MiB");
  for (const Row& r : gRows)
    std::printf("%-10ld %-36s %10.3f %10.3f %14.0f %10.1f\n", r.N, r.Step.c_str(), r.Seconds,
                r.CpuSeconds, r.Seconds > 0 ? r.N / r.Seconds : 0.0, r.PeakMiB);
  return 0;
}
