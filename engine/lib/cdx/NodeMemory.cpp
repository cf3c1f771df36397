#include "cdx/NodeMemory.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define XB_NODE_MEMORY_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define XB_NODE_MEMORY_ASAN 1
#endif
#endif
#ifdef XB_NODE_MEMORY_ASAN
#include <sanitizer/asan_interface.h>
#define XB_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define XB_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define XB_POISON(p, n) ((void)(p), (void)(n))
#define XB_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace xb {
namespace {

constexpr size_t kSmallClasses = NodeMemory::kLargest / 16;  // classes 1..256: 16-byte steps
constexpr size_t kChunk = NodeMemory::kChunkBytes;

// A chunk on a boundary of its size, mapped apart from the heap so that it goes back to the
// system when freed; with `huge`, it asks for huge pages.
void* MapChunk(bool huge) {
#ifdef __linux__
  void* raw =
      ::mmap(nullptr, 2 * kChunk, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  auto begin = reinterpret_cast<uintptr_t>(raw);
  uintptr_t start = (begin + kChunk - 1) / kChunk * kChunk;
  if (start > begin) (void)::munmap(raw, start - begin);
  if (begin + 2 * kChunk > start + kChunk)
    (void)::munmap(reinterpret_cast<void*>(start + kChunk), begin + 2 * kChunk - (start + kChunk));
#ifdef MADV_HUGEPAGE
  if (huge) (void)::madvise(reinterpret_cast<void*>(start), kChunk, MADV_HUGEPAGE);
#else
  (void)huge;
#endif
  return reinterpret_cast<void*>(start);
#else
  (void)huge;
  return std::aligned_alloc(kChunk, kChunk);
#endif
}

void UnmapChunk(void* chunk) {
#ifdef __linux__
  (void)::munmap(chunk, kChunk);
#else
  std::free(chunk);
#endif
}

}  // namespace

NodeMemory::~NodeMemory() {
  for (char* chunk : FChunks) {
    XB_UNPOISON(chunk, kChunkBytes);
    UnmapChunk(chunk);
  }
}

int NodeMemory::ClassOf(size_t bytes, size_t alignment, size_t& blockBytes) {
  if (bytes == 0 || bytes > kLargest || alignment > 64) return -1;
  if (alignment <= 16) {
    blockBytes = (bytes + 15) / 16 * 16;
    return static_cast<int>(blockBytes / 16);
  }
  blockBytes = (bytes + 63) / 64 * 64;
  return static_cast<int>(kSmallClasses + blockBytes / 64);
}

bool NodeMemory::InChunk(const void* p) const {
  auto at = reinterpret_cast<uintptr_t>(p);
  for (const char* chunk : FChunks) {
    auto base = reinterpret_cast<uintptr_t>(chunk);
    if (at >= base && at < base + kChunkBytes) return true;
  }
  return false;
}

void* NodeMemory::do_allocate(size_t bytes, size_t alignment) {
  size_t blockBytes = 0;
  int c = ClassOf(bytes, alignment, blockBytes);
  if (c < 0) return ::operator new(bytes, std::align_val_t(alignment));
  if (FFree.size() <= static_cast<size_t>(c)) FFree.resize(static_cast<size_t>(c) + 1);
  std::vector<void*>& free = FFree[static_cast<size_t>(c)];
  if (!free.empty()) {
    void* p = free.back();
    free.pop_back();
    XB_UNPOISON(p, bytes);
    return p;
  }
  size_t step = alignment <= 16 ? 16 : 64;
  auto next = (reinterpret_cast<uintptr_t>(FNext) + step - 1) / step * step;
  if (!FNext || next + blockBytes > reinterpret_cast<uintptr_t>(FEnd)) {
    if (FChunks.size() >= kMaxChunks) return ::operator new(bytes, std::align_val_t(alignment));
    // The first chunk keeps normal pages: a small index then costs only the pages it uses.
    void* chunk = MapChunk(!FChunks.empty());
    if (!chunk) throw std::bad_alloc();
    XB_POISON(chunk, kChunkBytes);
    FChunks.push_back(static_cast<char*>(chunk));
    FNext = static_cast<char*>(chunk);
    FEnd = FNext + kChunkBytes;
    next = reinterpret_cast<uintptr_t>(FNext);
  }
  auto* p = reinterpret_cast<char*>(next);
  FNext = p + blockBytes;
  XB_UNPOISON(p, bytes);
  return p;
}

void NodeMemory::do_deallocate(void* p, size_t bytes, size_t alignment) {
  size_t blockBytes = 0;
  int c = ClassOf(bytes, alignment, blockBytes);
  if (c < 0 || !InChunk(p)) {
    ::operator delete(p, std::align_val_t(alignment));
    return;
  }
  XB_POISON(p, blockBytes);
  FFree[static_cast<size_t>(c)].push_back(p);
}

}  // namespace xb
