// A File that gathers writes of consecutive bytes and hands them on as one write: a bulk
// writer that puts out a file page by page then costs one system call per run of pages
// instead of one per page. Only a write that continues the gathered run (or lands inside
// it) joins it; any other write, a read, Sync, Truncate and Size first pass the run on, so
// the file never gets bytes that were not written and reads see every write.
//
// What is gathered when the object is destroyed is lost: call Drain (or Sync) to finish.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "fs/FileSystem.h"

namespace xb {

class RunBufferedFile final : public File {
 public:
  // `capacity`: the longest run gathered; the memory used.
  explicit RunBufferedFile(std::unique_ptr<File> file, size_t capacity = 64 * 1024);

  Result<size_t> ReadAt(uint64_t offset, void* buffer, size_t length) override;
  Status WriteAt(uint64_t offset, const void* buffer, size_t length) override;
  Status Sync() override;
  Status Truncate(uint64_t length) override;
  Result<uint64_t> Size() override;
  Status Lock(bool exclusive) override;

  // Writes the gathered run to the file.
  Status Drain();

 private:
  std::unique_ptr<File> FFile;
  std::vector<uint8_t> FRun;
  uint64_t FStart = 0;  // file offset of FRun[0]
  size_t FUsed = 0;     // bytes gathered
};

}  // namespace xb
