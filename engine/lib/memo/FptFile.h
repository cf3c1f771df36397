// The FPT memo file of a 0xF5 table.
//
// Header (first 512 bytes), integers big-endian:
//   off  size  meaning
//   0    4     next free block
//   4    2     unused (zero)
//   6    2     block size in bytes (0 or 1: 1-byte blocks)
//   8    504   unused (zero when we write; other writers keep private data here)
// A memo starts at file offset block * block size:
//   0    4     block type: 1 text, 0 picture
//   4    4     data length in bytes
//   8    len   the data, running on through the following blocks; then slack up to the end of
//              its last block (not reliably zero)
// A new or rewritten memo is always appended at the next free block, then next-free is raised,
// and only then does the table record point at it: a crash leaves the old memo reachable and at
// worst some unreachable blocks. Blocks are never reused.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "Status.h"
#include "fs/FileSystem.h"

namespace xb {

class FptFile {
 public:
  static Result<std::unique_ptr<FptFile>> Open(const std::string& path, bool readOnly);
  // Writes a new, empty memo file; fails when `path` exists.
  static Status Create(const std::string& path, uint32_t blockSize);

  // The data of the memo at `block`. Fails for a block before the first data block, or one
  // whose header or data run past the end of the file.
  Result<std::string> Read(uint32_t block);
  // The length of the memo at `block`, with the same checks as Read.
  Result<uint32_t> Length(uint32_t block);
  // Appends a memo of `type` (1 text) and returns its block number.
  Result<uint32_t> Append(std::string_view data, uint32_t type = 1);
  Status Sync() { return FFile->Sync(); }
  File& RawFile() { return *FFile; }

 private:
  FptFile(std::unique_ptr<File> file, uint32_t blockSize, uint32_t nextFree, uint64_t size)
      : FFile(std::move(file)), FBlockSize(blockSize), FNextFree(nextFree), FSize(size) {}
  Result<uint32_t> HeaderAt(uint32_t block, uint64_t* dataOffset);

  std::unique_ptr<File> FFile;
  uint32_t FBlockSize;
  uint32_t FNextFree;
  uint64_t FSize;
};

}  // namespace xb
