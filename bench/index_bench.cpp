// Index benchmarks over the C entries: creating a tag on UPPER(ITEM), appending through a live
// tag, seeks of keys that are there and of keys that are not, a full scan in tag order, and a
// pack that rebuilds the tag; with the index file's size per key. Usage: index_bench [N...]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "xbengine.h"

namespace {

const char* const kTableSpec = "ITEM,C,20,0;DESCRIPT,C,50,0;NUMBER,N,10,2;GST,N,14,4;AMOUNT,N,16,4";
constexpr long kSeeks = 100000;

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "bench: %s: %s\n", what.c_str(), xb_ErrorText());
  std::exit(1);
}

double PeakRssMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  return 0;
}

struct Row {
  long n;
  std::string step;
  double seconds;
  long operations;
  double peakMiB;
};
std::vector<Row> gRows;

void Measure(long n, const std::string& step, long operations, const std::function<void()>& body) {
  std::ofstream("/proc/self/clear_refs") << "5";
  auto start = std::chrono::steady_clock::now();
  body();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  gRows.push_back({n, step, seconds, operations, PeakRssMiB()});
  std::fprintf(stderr, "  %-40s %9.3f s\n", step.c_str(), seconds);
}

void Open(const std::string& path) {
  if (xb_UseEx(path.c_str(), "BENCH", XB_OPEN_EXCLUSIVE, XB_DRIVER_CDX, XB_COMMIT_NORMAL) <= 0)
    Die("cannot open " + path);
}

// Items in random order, so that the tag is not built from sorted input: "item" and a
// scrambled number, in lower case so that UPPER() has work to do.
std::string Item(long i) {
  unsigned long x = static_cast<unsigned long>(i) * 2654435761ul % 4294967291ul;
  char text[32];
  std::snprintf(text, sizeof text, "item%010lu", x);
  return text;
}

void Append(long n) {
  std::vector<char> record(static_cast<size_t>(xb_RecSize()), ' ');
  int item = xb_FieldOffset("ITEM") - 1;
  std::memcpy(record.data() + xb_FieldOffset("DESCRIPT") - 1, "Some description", 16);
  for (long i = 1; i <= n; ++i) {
    std::string text = Item(i);
    std::memcpy(record.data() + item, text.data(), text.size());
    if (!xb_AppendBlank() || !xb_PutRecord(record.data())) Die("append");
  }
  if (!xb_Commit()) Die("commit");
}

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}

void Run(const std::string& dir, long n) {
  std::fprintf(stderr, "n = %ld\n", n);
  std::string table = dir + "/ITEMS" + std::to_string(n) + ".DBF";
  if (!xb_CreateTable(table.c_str(), kTableSpec)) Die("cannot create " + table);
  Open(table);
  Append(n);
  Measure(n, "create tag ITEM on UPPER(ITEM)", n, [&] {
    if (xb_IndexTag(nullptr, "ITEM", "UPPER(ITEM)", 0, 0, nullptr) <= 0) Die("index tag");
  });
  std::string cdx = dir + "/ITEMS" + std::to_string(n) + ".CDX";
  double perKey = double(std::filesystem::file_size(cdx)) / double(n);
  std::fprintf(stderr, "  index file: %.2f bytes per key\n", perKey);
  gRows.push_back({n, "index file bytes per key: " + std::to_string(perKey).substr(0, 5), 0, 0, 0});

  std::mt19937 rng(1);
  std::vector<std::string> present, missing;
  for (long i = 0; i < kSeeks; ++i) {
    present.push_back(Upper(Item(1 + long(rng() % uint32_t(n)))));
    missing.push_back(present.back() + "X");
  }
  long found = 0;
  Measure(n, "100000 seeks of existing keys", kSeeks, [&] {
    for (const std::string& key : present) found += xb_Seek(key.c_str()) != 0;
  });
  if (found != kSeeks) Die("a seek of an existing key missed");
  Measure(n, "100000 seeks of missing keys", kSeeks, [&] {
    for (const std::string& key : missing) found += xb_Seek(key.c_str()) != 0;
  });
  if (found != kSeeks) Die("a seek of a missing key hit");
  long seen = 0;
  Measure(n, "full scan in tag order", n, [&] {
    for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) ++seen;
  });
  if (seen != n) Die("the scan saw " + std::to_string(seen) + " records");
  Measure(n, "delete every 10th record", n / 10, [&] {
    for (long r = 10; r <= n; r += 10)
      if (!xb_Go(int32_t(r)) || !xb_Delete()) Die("delete");
    if (!xb_Commit()) Die("commit");
  });
  Measure(n, "pack with the tag rebuilt", n, [&] {
    if (!xb_Pack()) Die("pack");
  });
  xb_Close();

  std::string live = dir + "/LIVE" + std::to_string(n) + ".DBF";
  if (!xb_CreateTable(live.c_str(), kTableSpec)) Die("cannot create " + live);
  Open(live);
  if (xb_IndexTag(nullptr, "ITEM", "UPPER(ITEM)", 0, 0, nullptr) <= 0) Die("index tag");
  Measure(n, "append through the tag (one commit)", n, [&] { Append(n); });
  xb_Close();
  std::string liveCdx = dir + "/LIVE" + std::to_string(n) + ".CDX";
  perKey = double(std::filesystem::file_size(liveCdx)) / double(n);
  std::fprintf(stderr, "  index file after appends: %.2f bytes per key\n", perKey);
  gRows.push_back({n, "  after appends: " + std::to_string(perKey).substr(0, 5), 0, 0, 0});
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<long> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atol(argv[i]));
  if (sizes.empty()) sizes = {100000, 1000000};
  std::string pattern = (std::filesystem::temp_directory_path() / "xbindex-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) return 1;
  for (long n : sizes) Run(pattern, n);
  std::filesystem::remove_all(pattern);
  std::printf("%-10s %-40s %10s %12s %10s\n", "records", "index step", "seconds", "us/operation",
              "peak MiB");
  for (const Row& r : gRows)
    std::printf("%-10ld %-40s %10.3f %12.3f %10.1f\n", r.n, r.step.c_str(), r.seconds,
                r.operations ? r.seconds * 1e6 / double(r.operations) : 0.0, r.peakMiB);
  return 0;
}
