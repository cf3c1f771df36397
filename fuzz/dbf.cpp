// libFuzzer target for the DBF and FPT readers: the input is a table file, optionally followed
// by "\nFPT\n" and its memo file. The table is opened from memory, walked both ways, and every
// field of every record is read. Run long by hand:
//   build/ci/bin/fuzz_dbf -max_total_time=600 fuzz/corpus/dbf
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <string_view>

#include "WorkArea.h"
#include "dbf/FieldText.h"
#include "fs/FileSystem.h"

namespace {

class MemoryFile final : public xb::File {
 public:
  explicit MemoryFile(std::string& bytes) : FBytes(bytes) {}
  xb::Result<size_t> ReadAt(uint64_t offset, void* buffer, size_t length) override {
    if (offset >= FBytes.size()) return size_t{0};
    size_t n = std::min<uint64_t>(length, FBytes.size() - offset);
    std::memcpy(buffer, FBytes.data() + offset, n);
    return n;
  }
  xb::Status WriteAt(uint64_t, const void*, size_t) override {
    return xb::Status::Error("read only");
  }
  xb::Status Sync() override { return xb::Status::Ok(); }
  xb::Status Truncate(uint64_t) override { return xb::Status::Error("read only"); }
  xb::Result<uint64_t> Size() override { return uint64_t(FBytes.size()); }
  xb::Status Lock(bool) override { return xb::Status::Ok(); }

 private:
  std::string& FBytes;
};

class MemoryFileSystem final : public xb::FileSystem {
 public:
  std::map<std::string, std::string> files;
  xb::Result<std::unique_ptr<xb::File>> Open(const std::string& path, xb::OpenMode mode) override {
    auto it = files.find(path);
    if (it == files.end() || mode == xb::OpenMode::kCreate) return xb::Status::Error("no file");
    return std::unique_ptr<xb::File>(new MemoryFile(it->second));
  }
  xb::Status Rename(const std::string&, const std::string&) override {
    return xb::Status::Error("read only");
  }
  xb::Status Remove(const std::string&) override { return xb::Status::Error("read only"); }
  bool Exists(const std::string& path) override { return files.count(path) != 0; }
  xb::Result<std::vector<std::string>> List(const std::string&) override {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : files) names.push_back(name.substr(name.find('/') + 1));
    return names;
  }
  xb::Status SyncDirectory(const std::string&) override { return xb::Status::Ok(); }
};

void ReadFields(xb::WorkArea& area) {
  const auto& fields = area.Fields();
  for (size_t i = 0; i < fields.size(); ++i) {
    const xb::FieldInfo& f = fields[i];
    std::string_view bytes = area.Record().substr(size_t(f.offset), size_t(f.width));
    (void)xb::FieldNumber(f, area.Record());
    (void)xb::NormalizeDate(bytes);
    (void)xb::ParseLogical(bytes);
    if (f.type == 'M') (void)area.Memo(int(i));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static MemoryFileSystem fs;
  xb::SetFileSystem(&fs);
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t split = input.find("\nFPT\n");
  fs.files.clear();
  fs.files["mem/T.DBF"] = std::string(input.substr(0, split));
  if (split != std::string_view::npos) fs.files["mem/T.FPT"] = std::string(input.substr(split + 5));

  auto area =
      xb::WorkArea::Open("mem/T.DBF", "", xb::AccessMode::kReadOnly, xb::CommitLevel::kNormal);
  if (area) {
    xb::WorkArea& a = **area;
    uint32_t walked = 0;
    for (xb::Status s = a.GoTop(); s && !a.Eof() && walked <= a.RecordCount(); s = a.Skip(1)) {
      ReadFields(a);
      ++walked;
    }
    (void)a.GoBottom();
    for (int i = 0; i < 4 && !a.Bof() && !a.Eof(); ++i) {
      ReadFields(a);
      (void)a.Skip(-1);
    }
    (void)a.Go(a.RecordCount() / 2 + 1);
    (void)a.CountVisible();
    (void)a.Close();
  }
  xb::SetFileSystem(nullptr);
  return 0;
}
