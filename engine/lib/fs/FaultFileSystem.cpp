#include "fs/FaultFileSystem.h"

namespace xb {
namespace {

class FaultFile final : public File {
 public:
  FaultFile(FaultFileSystem& fs, std::unique_ptr<File> base, std::string path)
      : FFs(fs), FBase(std::move(base)), FPath(std::move(path)) {}

  Result<size_t> ReadAt(uint64_t offset, void* buffer, size_t length) override {
    return FBase->ReadAt(offset, buffer, length);
  }
  Status WriteAt(uint64_t offset, const void* buffer, size_t length) override {
    if (Status s = FFs.Step("write", FPath); !s) return s;
    return FBase->WriteAt(offset, buffer, length);
  }
  Status Sync() override {
    if (Status s = FFs.Step("sync", FPath); !s) return s;
    return FBase->Sync();
  }
  Status Truncate(uint64_t length) override {
    if (Status s = FFs.Step("truncate", FPath); !s) return s;
    return FBase->Truncate(length);
  }
  Result<uint64_t> Size() override { return FBase->Size(); }
  Status Lock(bool exclusive) override { return FBase->Lock(exclusive); }

 private:
  FaultFileSystem& FFs;
  std::unique_ptr<File> FBase;
  std::string FPath;
};

}  // namespace

void FaultFileSystem::Arm(uint64_t n, Mode mode) {
  FCount = 0;
  FArmedAt = n;
  FMode = mode;
  FTriggered = false;
}

Status FaultFileSystem::Step(const char* what, const std::string& path) {
  ++FCount;
  bool fail = false;
  if (FArmedAt != 0) {
    if (FCount == FArmedAt) {
      FTriggered = true;
      fail = true;
    } else if (FMode == Mode::kCrash && FCount > FArmedAt) {
      fail = true;
    }
  }
  if (fail) return Status::Error(std::string("injected failure: ") + what + " " + path);
  return Status::Ok();
}

Result<std::unique_ptr<File>> FaultFileSystem::Open(const std::string& path, OpenMode mode) {
  if (mode == OpenMode::kCreate) {
    if (Status s = Step("create", path); !s) return s;
  }
  auto base = FBase.Open(path, mode);
  if (!base) return base.status();
  return std::unique_ptr<File>(new FaultFile(*this, std::move(*base), path));
}

Status FaultFileSystem::Rename(const std::string& from, const std::string& to) {
  if (Status s = Step("rename", from); !s) return s;
  return FBase.Rename(from, to);
}

Status FaultFileSystem::Remove(const std::string& path) {
  if (Status s = Step("remove", path); !s) return s;
  return FBase.Remove(path);
}

Status FaultFileSystem::SyncDirectory(const std::string& directory) {
  if (Status s = Step("sync directory", directory); !s) return s;
  return FBase.SyncDirectory(directory);
}

}  // namespace xb
