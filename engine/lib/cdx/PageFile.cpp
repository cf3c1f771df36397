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
  // The runs the write touches: the bytes they hold are brought up to date, and a run that
  // ended short of the write (it was read when the file was shorter) is forgotten. After a
  // failed write the file's bytes are unknown, so the runs are forgotten too.
  uint64_t end = uint64_t{offset} + length;
  for (uint64_t number = offset / kRunBytes; !FRuns.empty() && number * kRunBytes < end; ++number) {
    Run& run = FRuns[number % kRunSlots];
    if (run.number != number) continue;
    uint64_t start = number * kRunBytes;
    uint64_t from = std::max<uint64_t>(start, offset);
    uint64_t to = std::min<uint64_t>(start + kRunBytes, end);
    if (!s || to > start + run.length) {
      run.number = Run::kNoRun;
      continue;
    }
    std::memcpy(run.bytes.get() + (from - start), buffer + (from - offset), to - from);
  }
  return s;
}

Result<const uint8_t*> PageFile::RunPage(uint32_t offset) {
  if (!Holds(offset, kPageSize))
    return Status::Error("index page " + std::to_string(offset) + " lies outside the file");
  if (FRuns.empty()) FRuns.resize(kRunSlots);
  uint32_t number = offset / kRunBytes;
  uint64_t start = uint64_t{number} * kRunBytes;
  Run& run = FRuns[number % kRunSlots];
  if (run.number != number || offset + kPageSize > start + run.length) {
    run.number = Run::kNoRun;
    if (!run.bytes) run.bytes = std::make_unique_for_overwrite<uint8_t[]>(kRunBytes);
    size_t length = static_cast<size_t>(std::min<uint64_t>(kRunBytes, FSize - start));
    Result<size_t> got = FFile->ReadAt(start, run.bytes.get(), length);
    if (!got) return got.status();
    if (offset + kPageSize > start + *got)
      return Status::Error("index file is shorter than its pages");
    run.number = number;
    run.length = static_cast<uint32_t>(*got / kPageSize * kPageSize);
  }
  return run.bytes.get() + (offset - start);
}

Status PageFile::WriteNode(Entry& entry) {
  uint8_t page[kPageSize];
  if (!entry.node->Encode(page))
    return Status::Error("index node at " + std::to_string(entry.offset) +
                         " does not fit its page");
  Status s = Write(entry.offset, page, kPageSize);
  if (s) entry.node->dirty = false;
  return s;
}

const PageFile::Cell* PageFile::Find(uint32_t offset) const {
  if (FTable.empty()) return nullptr;
  for (size_t i = Home(offset);; i = (i + 1) & FMask) {
    const Cell& cell = FTable[i];
    if (!cell.node) return nullptr;
    if (cell.offset == offset) return &cell;
  }
}

void PageFile::IndexPut(uint32_t offset, uint32_t slot, Node* node) {
  if ((FLive + 1) * 2 > FTable.size()) {
    // Grow (only up to twice the slots in use, which the cache size bounds).
    std::vector<Cell> old;
    old.swap(FTable);
    FTable.assign(std::max<size_t>(1024, old.size() * 2), Cell{0, 0, nullptr});
    FMask = FTable.size() - 1;
    for (const Cell& cell : old) {
      if (!cell.node) continue;
      size_t i = Home(cell.offset);
      while (FTable[i].node) i = (i + 1) & FMask;
      FTable[i] = cell;
    }
  }
  size_t i = Home(offset);
  while (FTable[i].node) i = (i + 1) & FMask;
  FTable[i] = Cell{offset, slot, node};
}

void PageFile::IndexErase(uint32_t offset) {
  size_t i = Home(offset);
  while (!FTable[i].node || FTable[i].offset != offset) i = (i + 1) & FMask;
  // Backward shift: move later cells of the run up so that no probe stops at the hole early.
  for (size_t j = (i + 1) & FMask; FTable[j].node; j = (j + 1) & FMask) {
    size_t home = Home(FTable[j].offset);
    if (((j - home) & FMask) >= ((j - i) & FMask)) {
      FTable[i] = FTable[j];
      i = j;
    }
  }
  FTable[i] = Cell{0, 0, nullptr};
}

Status PageFile::Evict() {
  // A clock over the slots: a node used since the hand last passed gets another round; nodes
  // someone still holds stay (the cache may then run over its size by the few nodes an
  // operation holds at once). Nodes change size in place: each is recounted as the hand
  // passes.
  size_t budget = 2 * FEntries.size() + 1;
  while ((FLive > FCapacity || FBytes > kCacheBytes) && budget-- > 0) {
    if (FHand >= FEntries.size()) FHand = 0;
    Entry& entry = FEntries[FHand];
    if (!entry.node) {
      ++FHand;
      continue;
    }
    size_t bytes = entry.node->MemoryBytes();
    FBytes = FBytes - entry.bytes + bytes;
    entry.bytes = bytes;
    if (entry.node.use_count() > 1) {
      ++FHand;
      continue;
    }
    if (entry.node->referenced) {
      entry.node->referenced = false;
      ++FHand;
      continue;
    }
    if (entry.node->dirty) {
      Status s = WriteNode(entry);
      if (!s) return s;
    }
    Drop(static_cast<uint32_t>(FHand++));
  }
  return Status::Ok();
}

void PageFile::Insert(uint32_t offset, std::shared_ptr<Node> node) {
  uint32_t slot;
  if (!FFreeSlots.empty()) {
    slot = FFreeSlots.back();
    FFreeSlots.pop_back();
  } else {
    slot = static_cast<uint32_t>(FEntries.size());
    FEntries.emplace_back();
  }
  Entry& entry = FEntries[slot];
  entry.offset = offset;
  entry.bytes = node->MemoryBytes();
  node->referenced = true;
  entry.node = std::move(node);
  FBytes += entry.bytes;
  IndexPut(offset, slot, entry.node.get());
  ++FLive;
}

void PageFile::Drop(uint32_t slot) {
  Entry& entry = FEntries[slot];
  ++FEpoch;
  IndexErase(entry.offset);
  FBytes -= entry.bytes;
  entry.node.reset();
  entry.bytes = 0;
  FFreeSlots.push_back(slot);
  --FLive;
}

Result<std::shared_ptr<Node>> PageFile::Load(uint32_t offset, int keyLength, int fill) {
  if (const Cell* cell = Find(offset)) {
    if (cell->node->KeyLength() != keyLength)
      return Status::Error("index page " + std::to_string(offset) + " belongs to two tags");
    cell->node->referenced = true;
    return FEntries[cell->slot].node;
  }
  if (offset < 2 * kPageSize)
    return Status::Error("index page " + std::to_string(offset) + " points into the header");
  Result<const uint8_t*> page = RunPage(offset);
  if (!page) return page.status();
  Result<Node> node = Node::Decode(*page, keyLength, fill, &FScratch, &FMemory);
  if (!node) return Status::Error(node.status().message() + " at " + std::to_string(offset));
  auto shared =
      std::allocate_shared<Node>(std::pmr::polymorphic_allocator<Node>(&FMemory), std::move(*node));
  Insert(offset, shared);
  Status s = Evict();
  if (!s) return s;
  return shared;
}

Result<Node*> PageFile::Peek(uint32_t offset, int keyLength, int fill) {
  if (const Cell* cell = Find(offset)) {
    if (cell->node->KeyLength() != keyLength)
      return Status::Error("index page " + std::to_string(offset) + " belongs to two tags");
    cell->node->referenced = true;
    return cell->node;
  }
  Result<std::shared_ptr<Node>> node = Load(offset, keyLength, fill);
  if (!node) return node.status();
  return node->get();
}

std::shared_ptr<Node> PageFile::Adopt(uint32_t offset, Node node) {
  auto shared =
      std::allocate_shared<Node>(std::pmr::polymorphic_allocator<Node>(&FMemory), std::move(node));
  shared->dirty = true;
  if (const Cell* cell = Find(offset)) Drop(cell->slot);
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
  if (const Cell* cell = Find(offset)) Drop(cell->slot);
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
  std::vector<uint32_t> dirty;
  for (size_t i = 0; i < FEntries.size(); ++i)
    if (FEntries[i].node && FEntries[i].node->dirty) dirty.push_back(static_cast<uint32_t>(i));
  std::sort(dirty.begin(), dirty.end(),
            [&](uint32_t a, uint32_t b) { return FEntries[a].offset < FEntries[b].offset; });
  for (uint32_t i : dirty) {
    Status s = WriteNode(FEntries[i]);
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
  ++FEpoch;
  FRuns.clear();
  FEntries.clear();
  FFreeSlots.clear();
  FTable.clear();
  FMask = 0;
  FLive = FBytes = FHand = 0;
}

}  // namespace xb
