#include "fs/RunBufferedFile.h"

#include <algorithm>
#include <cstring>

namespace xb {

RunBufferedFile::RunBufferedFile(std::unique_ptr<File> file, size_t capacity)
    : FFile(std::move(file)), FRun(capacity) {}

Status RunBufferedFile::Drain() {
  if (FUsed == 0) return Status::Ok();
  size_t used = FUsed;
  FUsed = 0;
  return FFile->WriteAt(FStart, FRun.data(), used);
}

Status RunBufferedFile::WriteAt(uint64_t offset, const void* buffer, size_t length) {
  bool joins = FUsed > 0 && offset >= FStart && offset <= FStart + FUsed &&
               offset - FStart + length <= FRun.size();
  if (!joins) {
    Status s = Drain();
    if (!s) return s;
    if (length > FRun.size()) return FFile->WriteAt(offset, buffer, length);
    FStart = offset;
  }
  size_t at = static_cast<size_t>(offset - FStart);
  std::memcpy(FRun.data() + at, buffer, length);
  FUsed = std::max(FUsed, at + length);
  return Status::Ok();
}

Result<size_t> RunBufferedFile::ReadAt(uint64_t offset, void* buffer, size_t length) {
  Status s = Drain();
  if (!s) return s;
  return FFile->ReadAt(offset, buffer, length);
}

Status RunBufferedFile::Sync() {
  Status s = Drain();
  if (!s) return s;
  return FFile->Sync();
}

Status RunBufferedFile::Truncate(uint64_t length) {
  Status s = Drain();
  if (!s) return s;
  return FFile->Truncate(length);
}

Result<uint64_t> RunBufferedFile::Size() {
  Status s = Drain();
  if (!s) return s;
  return FFile->Size();
}

Status RunBufferedFile::Lock(bool exclusive) {
  return FFile->Lock(exclusive);
}

}  // namespace xb
