#include "cdx/PageFile.h"

#include <algorithm>
#include <cstring>

#include "cdx/Bytes.h"

namespace xb {

PageFile::PageFile(std::unique_ptr<File> file, uint64_t size, size_t cacheNodes)
    : FFile(std::move(file)), FSize(size), FCapacity(std::max<size_t>(cacheNodes, 8)) {}

bool PageFile::Holds(uint64_t offset, uint64_t length) const {
  return offset % kPageSize == 0 && length <= FSize && offset <= FSize - length;
}

Status PageFile::Read(uint32_t offset, uint8_t* buffer, size_t length) {
  if (!Holds(offset, length))
    return Status::Error("index page " + std::to_string(offset) + " lies outside the file");
  Result<size_t> got = FFile->ReadAt(offset, buffer, length);
  if (!got) return got.status();
  if (*got != length) return Status::Error("index file is shorter than its pages");
  return Status::Ok();
}

Status PageFile::Write(uint32_t offset, const uint8_t* buffer, size_t length) {
  Status s = FFile->WriteAt(offset, buffer, length);
  if (s && offset + length > FSize) FSize = offset + length;
  return s;
}

Status PageFile::WriteNode(const Entry& entry) {
  uint8_t page[kPageSize];
  if (!entry.node->Encode(page))
    return Status::Error("index node at " + std::to_string(entry.offset) +
                         " does not fit its page");
  Status s = Write(entry.offset, page, kPageSize);
  if (s) entry.node->dirty = false;
  return s;
}

Status PageFile::Evict() {
  // Oldest first; nodes someone still holds stay (the cache may then run over its size by
  // the few nodes an operation holds at once).
  auto it = FLru.end();
  while ((FLru.size() > FCapacity || FBytes > kCacheBytes) && it != FLru.begin()) {
    --it;
    if (it->node.use_count() > 1) continue;
    if (it->node->dirty) {
      Status s = WriteNode(*it);
      if (!s) return s;
    }
    auto gone = it++;
    Drop(gone);
  }
  return Status::Ok();
}

void PageFile::Insert(uint32_t offset, std::shared_ptr<Node> node) {
  size_t bytes = node->MemoryBytes();
  FLru.push_front(Entry{offset, std::move(node), bytes});
  FBytes += bytes;
  FIndex[offset] = FLru.begin();
}

void PageFile::Drop(std::list<Entry>::iterator it) {
  FBytes -= it->bytes;
  FIndex.erase(it->offset);
  FLru.erase(it);
}

Result<std::shared_ptr<Node>> PageFile::Load(uint32_t offset, int keyLength, int fill) {
  auto found = FIndex.find(offset);
  if (found != FIndex.end()) {
    Entry& entry = *found->second;
    if (found->second != FLru.begin()) FLru.splice(FLru.begin(), FLru, found->second);
    if (entry.node->KeyLength() != keyLength)
      return Status::Error("index page " + std::to_string(offset) + " belongs to two tags");
    // Nodes grow and shrink in place: recount this one.
    size_t bytes = entry.node->MemoryBytes();
    FBytes = FBytes - entry.bytes + bytes;
    entry.bytes = bytes;
    return entry.node;
  }
  if (offset < 2 * kPageSize)
    return Status::Error("index page " + std::to_string(offset) + " points into the header");
  uint8_t page[kPageSize];
  Status s = Read(offset, page, kPageSize);
  if (!s) return s;
  Result<Node> node = Node::Decode(page, keyLength, fill);
  if (!node) return Status::Error(node.status().message() + " at " + std::to_string(offset));
  auto shared = std::make_shared<Node>(std::move(*node));
  Insert(offset, shared);
  s = Evict();
  if (!s) return s;
  return shared;
}

std::shared_ptr<Node> PageFile::Adopt(uint32_t offset, Node node) {
  auto shared = std::make_shared<Node>(std::move(node));
  shared->dirty = true;
  auto found = FIndex.find(offset);
  if (found != FIndex.end()) Drop(found->second);
  Insert(offset, shared);
  return shared;
}

Result<uint32_t> PageFile::Allocate(uint32_t pages) {
  if (pages == 1 && FFreeHead != 0 && FOwnFree.count(FFreeHead)) {
    uint32_t page = FFreeHead;
    uint8_t next[4];
    Status s = Read(page, next, 4);
    if (!s) return s;
    FOwnFree.erase(page);
    FFreeHead = GetLe32(next);
    return page;
  }
  uint64_t end = (FSize + kPageSize - 1) / kPageSize * kPageSize;
  if (end + uint64_t{pages} * kPageSize > 0xFFFFFE00u)
    return Status::Error("index file would grow beyond 4 GiB");
  // The pages count as part of the file from now on; their bytes arrive when the node or
  // header placed there is written.
  FSize = end + uint64_t{pages} * kPageSize;
  return static_cast<uint32_t>(end);
}

Status PageFile::Release(uint32_t offset) {
  auto found = FIndex.find(offset);
  if (found != FIndex.end()) Drop(found->second);
  uint8_t page[kPageSize] = {};
  uint32_t head = FFreeHead == 0xFFFFFFFF ? 0 : FFreeHead;
  PutLe32(page, head);
  Status s = Write(offset, page, kPageSize);
  if (!s) return s;
  FFreeHead = offset;
  FOwnFree.insert(offset);
  return Status::Ok();
}

Status PageFile::Flush(bool sync) {
  std::vector<std::list<Entry>::iterator> dirty;
  for (auto it = FLru.begin(); it != FLru.end(); ++it)
    if (it->node->dirty) dirty.push_back(it);
  std::sort(dirty.begin(), dirty.end(),
            [](const auto& a, const auto& b) { return a->offset < b->offset; });
  for (auto& it : dirty) {
    Status s = WriteNode(*it);
    if (!s) return s;
  }
  if (FFreeHead != FWrittenFreeHead) {
    uint8_t bytes[4];
    PutLe32(bytes, FFreeHead);
    Status s = Write(4, bytes, 4);
    if (!s) return s;
    FWrittenFreeHead = FFreeHead;
  }
  if (sync) return FFile->Sync();
  return Status::Ok();
}

void PageFile::Discard() {
  FLru.clear();
  FIndex.clear();
  FBytes = 0;
}

}  // namespace xb
