// The file-system seam: every byte the engine reads or writes goes through these interfaces,
// so tests can fail the Nth write or sync, or stop as if the process had died.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Status.h"

namespace xb {

// An open file. Offsets are absolute; there is no file position.
class File {
 public:
  virtual ~File() = default;
  // Reads up to `length` bytes at `offset` into `buffer`; the count read is less than `length`
  // only at the end of the file.
  virtual Result<size_t> ReadAt(uint64_t offset, void* buffer, size_t length) = 0;
  // Writes all `length` bytes at `offset`, growing the file when needed.
  virtual Status WriteAt(uint64_t offset, const void* buffer, size_t length) = 0;
  virtual Status Sync() = 0;
  virtual Status Truncate(uint64_t length) = 0;
  virtual Result<uint64_t> Size() = 0;
  // Takes an OS lock on the whole file, held until the file is closed: exclusive or shared.
  // Fails at once (no waiting) when another open file description holds a conflicting lock,
  // in this process or another.
  virtual Status Lock(bool exclusive) = 0;
};

enum class OpenMode {
  kRead,       // existing file, read only
  kReadWrite,  // existing file, read and write
  kCreate,     // create or truncate, read and write
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual Result<std::unique_ptr<File>> Open(const std::string& path, OpenMode mode) = 0;
  // Replaces `to` by `from` atomically (POSIX rename).
  virtual Status Rename(const std::string& from, const std::string& to) = 0;
  virtual Status Remove(const std::string& path) = 0;
  virtual bool Exists(const std::string& path) = 0;
  // The names in a directory (no "." or ".."); used to find files without regard to case.
  virtual Result<std::vector<std::string>> List(const std::string& directory) = 0;
  // Makes a rename or create in `directory` durable.
  virtual Status SyncDirectory(const std::string& directory) = 0;
};

// The process-wide file system the engine uses: the real one unless a test installed another.
FileSystem& CurrentFileSystem();
// Installs `fs` (not owned; nullptr puts the real one back). For tests.
void SetFileSystem(FileSystem* fs);
// The real POSIX file system.
FileSystem& PosixFileSystem();

}  // namespace xb
