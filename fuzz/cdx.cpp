// Fuzz target for the compound-index reader: any bytes must open to a clean Status or to tags
// that can be checked and walked to an end. A file that passes the check must also take
// inserts and removals and still pass it.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cdx/CdxFile.h"
#include "fs/FileSystem.h"

namespace {

class MemoryFile final : public xb::File {
 public:
  MemoryFile(const uint8_t* data, size_t size) : FData(data, data + size) {}
  xb::Result<size_t> ReadAt(uint64_t offset, void* buffer, size_t length) override {
    if (offset >= FData.size()) return size_t{0};
    size_t n = std::min<uint64_t>(length, FData.size() - offset);
    std::memcpy(buffer, FData.data() + offset, n);
    return n;
  }
  xb::Status WriteAt(uint64_t offset, const void* buffer, size_t length) override {
    if (offset + length > (64u << 20)) return xb::Status::Error("too large");
    if (offset + length > FData.size()) FData.resize(offset + length);
    std::memcpy(FData.data() + offset, buffer, length);
    return xb::Status::Ok();
  }
  xb::Status Sync() override { return xb::Status::Ok(); }
  xb::Status Truncate(uint64_t length) override {
    FData.resize(length);
    return xb::Status::Ok();
  }
  xb::Result<uint64_t> Size() override { return uint64_t{FData.size()}; }
  xb::Status Lock(bool) override { return xb::Status::Ok(); }

 private:
  std::vector<uint8_t> FData;
};

const xb::KeyKind kKinds[] = {xb::KeyKind::kCharacter, xb::KeyKind::kNumeric,
                              xb::KeyKind::kLogical};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto cdx = xb::CdxFile::Open(std::make_unique<MemoryFile>(data, size), 16);
  if (!cdx.ok()) return 0;
  bool sound = (*cdx)->Check().ok();
  for (size_t t = 0; t < (*cdx)->Tags().size(); ++t) {
    xb::TagTree& tree = (*cdx)->Tree(t, kKinds[t % 3]);
    // Unchecked trees may link in circles; the walks are bounded, the reads are not allowed
    // to go wrong.
    xb::TagPosition pos;
    size_t steps = 0;
    for (auto on = tree.First(pos); on.ok() && *on && steps < 5000; on = tree.Next(pos)) ++steps;
    for (auto on = tree.Last(pos); on.ok() && *on && steps < 10000; on = tree.Prev(pos)) ++steps;
    (void)tree.SetPosition(0.5, pos);
    (void)tree.Position(pos);
    (void)tree.Seek(std::string(1, 'M'), 0, false, pos);
    if (!sound) continue;
    auto count = tree.Check();
    if (!count.ok()) continue;  // sound as character keys, not as this kind
    // Changes to a sound tree keep it sound.
    std::string key(tree.KeyLength(), 'K');
    for (uint32_t r = 1; r <= 40; ++r) {
      key[0] = static_cast<char>('A' + r % 7);
      if (!tree.Insert(key, r).ok()) return 0;
    }
    // An entry the file already held is not inserted twice, so the inserts add at most 40.
    auto mid = tree.Check();
    if (!mid.ok() || *mid < *count || *mid > *count + 40) std::abort();
    for (uint32_t r = 1; r <= 40; r += 2) {
      key[0] = static_cast<char>('A' + r % 7);
      auto removed = tree.Remove(key, r);
      if (!removed.ok()) return 0;
      if (!*removed) std::abort();
    }
    // Every removal that found its entry took exactly one away.
    auto after = tree.Check();
    if (!after.ok() || *after != *mid - 20) std::abort();
  }
  return 0;
}
