// A file system for tests that fails on purpose. It wraps another file system and counts every
// call that changes a file (write, sync, truncate, rename, remove, create, directory sync).
// Armed at call N it either fails that one call (kFail: the caller sees an error and goes on)
// or "crashes" there (kCrash: that call and every later changing call fail without effect, as
// if the process had died at that point; the test then reopens with the real file system and
// looks at what reached the files). Reads are never failed or counted.
#pragma once

#include <cstdint>

#include "fs/FileSystem.h"

namespace xb {

class FaultFileSystem final : public FileSystem {
 public:
  enum class Mode { kFail, kCrash };

  explicit FaultFileSystem(FileSystem& base) : FBase(base) {}

  // Arms the fault at the `n`th changing call from now (1 = the next one); 0 disarms.
  // Resets the count.
  void Arm(uint64_t n, Mode mode);
  // Changing calls seen since the last Arm (or since construction), failed ones included.
  uint64_t Count() const { return FCount; }
  // Whether the armed call has been reached.
  bool Triggered() const { return FTriggered; }

  Result<std::unique_ptr<File>> Open(const std::string& path, OpenMode mode) override;
  Status Rename(const std::string& from, const std::string& to) override;
  Status Remove(const std::string& path) override;
  bool Exists(const std::string& path) override { return FBase.Exists(path); }
  Result<std::vector<std::string>> List(const std::string& directory) override {
    return FBase.List(directory);
  }
  Status SyncDirectory(const std::string& directory) override;

  // For the wrapped files: counts one changing call; an error when it is to fail.
  Status Step(const char* what, const std::string& path);

 private:
  FileSystem& FBase;
  uint64_t FCount = 0;
  uint64_t FArmedAt = 0;
  Mode FMode = Mode::kFail;
  bool FTriggered = false;
};

}  // namespace xb
