// The delimited reader alone, on a generated file of the incoming table's shape (ten cells,
// text cells quoted): the part of xb_AppendFrom that is reading, apart from storing.
//
//   bench_delimited_inside [LINES]   (default: 1000000; goal: well under 0.3 s)
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "delim/DelimitedReader.h"
#include "fs/FileSystem.h"

int main(int argc, char** argv) {
  long lines = argc > 1 ? std::atol(argv[1]) : 1000000;
  std::string path =
      (std::filesystem::temp_directory_path() / ("xbbench-delim-" + std::to_string(getpid())))
          .string();
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return 1;
  for (long i = 0; i < lines; ++i)
    std::fprintf(out,
                 "\"I%07ld\",\"Item %ld, described \"\"at length\"\"\",%ld,%ld.25,%ld.50,%ld,0.00,"
                 "%ld.10,%ld.30,%ld.40\r\n",
                 i, i, i % 50, i % 7, i, i % 9, i, i % 11, i);
  std::fclose(out);
  auto file = xb::PosixFileSystem().Open(path, xb::OpenMode::kRead);
  if (!file.ok()) return 1;
  uint64_t bytes = *(*file)->Size();

  struct timespec cpuStart, cpuEnd;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuStart);
  auto start = std::chrono::steady_clock::now();
  size_t cells = 0, cellBytes = 0;
  xb::Status status = xb::ReadDelimited(**file, [&](const std::vector<std::string_view>& line) {
    cells += line.size();
    for (std::string_view c : line) cellBytes += c.size();
    return xb::Status::Ok();
  });
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuEnd);
  double cpu = static_cast<double>(cpuEnd.tv_sec - cpuStart.tv_sec) +
               static_cast<double>(cpuEnd.tv_nsec - cpuStart.tv_nsec) / 1e9;
  std::filesystem::remove(path);
  if (!status.ok() || cells != static_cast<size_t>(lines) * 10) {
    std::fprintf(stderr, "bench: read %zu cells: %s\n", cells, status.message().c_str());
    return 1;
  }
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  std::printf("%-10s %-36s %10s %10s %14s %10s\n", "lines", "step", "seconds", "cpu s", "MB/s",
              "peak MiB");
  std::printf("%-10ld %-36s %10.3f %10.3f %14.0f %10.1f\n", lines,
              "delimited reader (10 cells a line)", seconds, cpu, bytes / seconds / 1e6,
              usage.ru_maxrss / 1024.0);
  return 0;
}
