// The pages of one index file: raw reads and writes, page allocation and the free list, and a
// write-back cache of decoded nodes whose size is fixed whatever the size of the file: at most
// `cacheNodes` nodes and kCacheBytes of decoded node memory (enough for every node of a 10 MB
// index with 20-byte keys, so that seeks in such a tag read no page twice).
//
// Read-ahead: a node that is not cached is read with the pages around it, an aligned run of
// kRunBytes, and the run is kept in one of kRunSlots slots (the slot is the run's number
// modulo the count, so every run of a file of up to 16 MiB has its own). The other nodes of
// the run then decode without a read of their own. Writes through this object reach the
// runs they touch.
//
// Free list: the directory header (file offset 0) holds the first free page at offset 4, LE;
// each free page holds the next one in its first 4 bytes, LE, the rest zero; 0 ends the list
// (FFFFFFFF is read as empty too). Pages on the list when the file was opened are never taken
// back, because nothing proves another writer left them unused; pages this object freed are
// reused, newest first, and new pages otherwise go at the end of the file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "Status.h"
#include "cdx/Node.h"
#include "cdx/NodeMemory.h"
#include "fs/FileSystem.h"

namespace xb {

class PageFile {
 public:
  static constexpr uint32_t kPageSize = 512;
  static constexpr size_t kDefaultCacheNodes = 65536;
  static constexpr size_t kCacheBytes = size_t{48} << 20;
  static constexpr uint32_t kRunBytes = 8192;
  static constexpr size_t kRunSlots = 2048;

  // Takes `file`; `size` is its current length.
  PageFile(std::unique_ptr<File> file, uint64_t size, size_t cacheNodes = kDefaultCacheNodes);

  uint64_t Size() const { return FSize; }
  // Whether [offset, offset + length) lies on page boundaries inside the file.
  bool Holds(uint64_t offset, uint64_t length) const;

  Status Read(uint32_t offset, uint8_t* buffer, size_t length);
  Status Write(uint32_t offset, const uint8_t* buffer, size_t length);

  // The node at `offset`, from the cache or decoded from the file. The pointer stays valid
  // while held; a held node is never evicted. Callers set `dirty` after changing it.
  Result<std::shared_ptr<Node>> Load(uint32_t offset, int keyLength, int fill);
  // The node at `offset` for a look that ends before the next Load or Peek: no hold is taken
  // and the node may be evicted by the next call that reads a page.
  Result<Node*> Peek(uint32_t offset, int keyLength, int fill);
  // Puts a new node for a freshly allocated page into the cache, dirty.
  std::shared_ptr<Node> Adopt(uint32_t offset, Node node);

  // A page for a new node or header (`pages` consecutive pages; only single pages are
  // taken from the free list).
  Result<uint32_t> Allocate(uint32_t pages = 1);
  // Puts a page on the free list; it is dropped from the cache.
  Status Release(uint32_t offset);
  uint32_t FreeHead() const { return FFreeHead; }
  // The free-list head as read from the directory header.
  void SetFreeHead(uint32_t head) { FFreeHead = FWrittenFreeHead = head; }

  // Writes every dirty node and, when it changed, the free-list head; with `sync`, then syncs.
  Status Flush(bool sync);
  // Forgets every cached node without writing it (after a failure, before reopening).
  void Discard();

  size_t CachedNodes() const { return FLive; }
  // Counts the nodes dropped from the cache: a node pointer taken from it stays valid while
  // this has not changed.
  uint64_t Epoch() const { return FEpoch; }

 private:
  // A cache slot; `node` empty when the slot is free.
  struct Entry {
    uint32_t offset = 0;
    size_t bytes = 0;  // what the node took when last counted
    std::shared_ptr<Node> node;
  };
  // A cell of the lookup table; `node` null when empty.
  struct Cell {
    uint32_t offset;
    uint32_t slot;
    Node* node;
  };
  // A run of the file as read; `number` is its offset / kRunBytes, kNoRun when empty.
  struct Run {
    static constexpr uint32_t kNoRun = 0xFFFFFFFF;
    uint32_t number = kNoRun;
    uint32_t length = 0;
    std::unique_ptr<uint8_t[]> bytes;
  };
  // The page at `offset` from its run, reading the run when it is not held.
  Result<const uint8_t*> RunPage(uint32_t offset);
  Status WriteNode(Entry& entry);
  Status Evict();
  void Insert(uint32_t offset, std::shared_ptr<Node> node);
  void Drop(uint32_t slot);
  // The cell of `offset`, or nullptr.
  const Cell* Find(uint32_t offset) const;
  void IndexPut(uint32_t offset, uint32_t slot, Node* node);
  void IndexErase(uint32_t offset);
  size_t Home(uint32_t offset) const { return ((offset >> 9) * 0x9E3779B1u) & FMask; }

  std::unique_ptr<File> FFile;
  // The cached nodes' memory (before the slots, which it must outlive).
  NodeMemory FMemory;
  uint64_t FSize;
  size_t FCapacity;
  // Slots, and an open-addressing table (linear probing) from page offset to slot and node:
  // a lookup touches one cache line before the node itself, where a node-based map and a
  // recency list chased several pointers per tree level. Eviction is a clock over the slots,
  // with the nodes' `referenced` marks.
  std::vector<Entry> FEntries;
  std::vector<uint32_t> FFreeSlots;
  std::vector<Cell> FTable;
  size_t FMask = 0;
  size_t FLive = 0;   // slots in use
  size_t FBytes = 0;  // the sum of their bytes
  size_t FHand = 0;
  uint64_t FEpoch = 1;
  uint32_t FFreeHead = 0;
  uint32_t FWrittenFreeHead = 0;
  std::unordered_set<uint32_t> FOwnFree;  // pages this object put on the list
  std::vector<Run> FRuns;                 // kRunSlots once the first run is read
  std::string FScratch;                   // for Node::Decode
};

}  // namespace xb
