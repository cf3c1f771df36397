// Fuzz target for the delimited reader: any bytes must read to an end (or a clean Status) with
// cells that stay inside what was given. The first byte picks the block size, so line ends and
// quotes fall across block boundaries too.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "delim/DelimitedReader.h"
#include "fs/FileSystem.h"

namespace {

class MemoryFile final : public xb::File {
 public:
  MemoryFile(const uint8_t* data, size_t size) : FData(data), FSize(size) {}
  xb::Result<size_t> ReadAt(uint64_t offset, void* buffer, size_t length) override {
    if (offset >= FSize) return size_t{0};
    size_t n = std::min<uint64_t>(length, FSize - offset);
    std::memcpy(buffer, FData + offset, n);
    return n;
  }
  xb::Status WriteAt(uint64_t, const void*, size_t) override {
    return xb::Status::Error("read only");
  }
  xb::Status Sync() override { return xb::Status::Ok(); }
  xb::Status Truncate(uint64_t) override { return xb::Status::Error("read only"); }
  xb::Result<uint64_t> Size() override { return uint64_t{FSize}; }
  xb::Status Lock(bool) override { return xb::Status::Ok(); }

 private:
  const uint8_t* FData;
  size_t FSize;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  xb::DelimitedReader::Options options;
  options.BlockBytes = 4 + data[0] % 61;
  options.MaxLineBytes = 4096;
  MemoryFile file(data + 1, size - 1);
  xb::DelimitedReader reader(file, options);
  size_t lineEnds = 0;
  for (size_t i = 1; i < size; ++i) lineEnds += data[i] == '\n' || data[i] == '\r';
  for (;;) {
    auto more = reader.Next();
    if (!more.ok() || !*more) break;
    const auto& cells = reader.Cells();
    if (cells.empty()) std::abort();
    size_t bytes = 0;
    for (std::string_view cell : cells) bytes += cell.size();
    if (bytes > size) std::abort();
    if (reader.LineNumber() > lineEnds + 1) std::abort();
  }
  return 0;
}
