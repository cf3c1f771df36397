// Memory for the decoded nodes of one index file. Blocks are carved from 2 MiB chunks that ask
// the system for huge pages (all but the first, so that a small index costs only the pages it
// uses), so that the nodes a seek goes through share few address translations and a large
// tag's first reads do not fault page by page; a freed block is kept by its size for the next
// node. Requests larger than kLargest, aligned beyond 64 bytes or beyond
// kMaxChunks of chunks go to the heap.
//
// The resource must outlive every container and node allocated from it. Under AddressSanitizer
// the blocks not handed out are poisoned, so that a use after free is still reported.
#pragma once

#include <cstddef>
#include <memory_resource>
#include <vector>

namespace xb {

class NodeMemory final : public std::pmr::memory_resource {
 public:
  static constexpr size_t kChunkBytes = size_t{2} << 20;
  static constexpr size_t kLargest = 4096;
  static constexpr size_t kMaxChunks = 64;

  NodeMemory() = default;
  NodeMemory(const NodeMemory&) = delete;
  NodeMemory& operator=(const NodeMemory&) = delete;
  ~NodeMemory() override;

  size_t Chunks() const { return FChunks.size(); }

 private:
  void* do_allocate(size_t bytes, size_t alignment) override;
  void do_deallocate(void* p, size_t bytes, size_t alignment) override;
  bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
    return this == &other;
  }

  // The size class of a request and the bytes its blocks take: sizes in steps of 16 bytes, or
  // of 64 for requests aligned to more than 16; -1 for requests the heap serves.
  static int ClassOf(size_t bytes, size_t alignment, size_t& blockBytes);
  bool InChunk(const void* p) const;

  std::vector<std::vector<void*>> FFree;  // free blocks by class
  std::vector<char*> FChunks;
  char* FNext = nullptr;
  char* FEnd = nullptr;
};

}  // namespace xb
