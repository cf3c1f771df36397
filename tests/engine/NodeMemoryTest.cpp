// The node cache's memory: blocks of every size and alignment a node asks for are distinct and
// aligned, freed blocks serve the next request of their size, requests it does not serve go to
// the heap, and under AddressSanitizer a freed block may not be touched.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "cdx/Node.h"
#include "cdx/NodeMemory.h"

#if defined(__SANITIZE_ADDRESS__)
#define NODE_MEMORY_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define NODE_MEMORY_TEST_ASAN 1
#endif
#endif

namespace {

struct Block {
  size_t bytes, alignment;
  uint8_t fill;
};

TEST(NodeMemory, BlocksAreDistinctAlignedAndReused) {
  xb::NodeMemory memory;
  std::mt19937 rng(5);
  const size_t alignments[] = {1, 8, 16, 64, 128};
  std::map<uint8_t*, Block> live;
  auto check = [&](uint8_t* p, const Block& b) {
    for (size_t i = 0; i < b.bytes; ++i)
      if (p[i] != b.fill) return false;
    return true;
  };
  for (int round = 0; round < 20000; ++round) {
    if (live.empty() || rng() % 3 != 0) {
      Block b{1 + rng() % (rng() % 8 == 0 ? 9000 : 1200), alignments[rng() % 5],
              static_cast<uint8_t>(rng())};
      auto* p = static_cast<uint8_t*>(memory.allocate(b.bytes, b.alignment));
      ASSERT_EQ(reinterpret_cast<uintptr_t>(p) % b.alignment, 0u) << b.bytes << "/" << b.alignment;
      auto after = live.upper_bound(p);
      if (after != live.end()) {
        ASSERT_LE(p + b.bytes, after->first) << "overlaps the next";
      }
      if (after != live.begin()) {
        auto before = std::prev(after);
        ASSERT_LE(before->first + before->second.bytes, p) << "overlaps the one before";
      }
      std::memset(p, b.fill, b.bytes);
      live[p] = b;
    } else {
      auto it = std::next(live.begin(), static_cast<long>(rng() % live.size()));
      ASSERT_TRUE(check(it->first, it->second)) << "a block changed while it was handed out";
      memory.deallocate(it->first, it->second.bytes, it->second.alignment);
      live.erase(it);
    }
  }
  for (auto& [p, b] : live) {
    EXPECT_TRUE(check(p, b));
    memory.deallocate(p, b.bytes, b.alignment);
  }
  // A freed block is the next one handed out for its size.
  void* a = memory.allocate(400, 8);
  memory.deallocate(a, 400, 8);
  EXPECT_EQ(memory.allocate(390, 8), a);
  EXPECT_GT(memory.Chunks(), 0u);
  EXPECT_LE(memory.Chunks(), xb::NodeMemory::kMaxChunks);
}

// Past its chunk limit it hands out heap blocks, and takes them back as such.
TEST(NodeMemory, BeyondItsChunksTheHeapServes) {
  xb::NodeMemory memory;
  std::vector<void*> blocks;
  size_t per = xb::NodeMemory::kChunkBytes / 4096;
  for (size_t i = 0; i < (xb::NodeMemory::kMaxChunks + 2) * per; ++i)
    blocks.push_back(memory.allocate(4096, 16));
  EXPECT_EQ(memory.Chunks(), xb::NodeMemory::kMaxChunks);
  for (void* p : blocks) memory.deallocate(p, 4096, 16);
}

// Nodes whose arrays come from it read and change as nodes on the heap do.
TEST(NodeMemory, NodesLiveInIt) {
  xb::NodeMemory memory;
  {
    auto node = std::allocate_shared<xb::Node>(std::pmr::polymorphic_allocator<xb::Node>(&memory),
                                               true, 10, 0x20, &memory);
    for (uint32_t i = 0; i < 40; ++i) {
      char key[11];
      std::snprintf(key, sizeof key, "KEY%07u", i * 7);
      node->Insert(node->Count(), std::string_view(key, 10), i + 1);
    }
    uint8_t page[512];
    ASSERT_TRUE(node->Encode(page));
    auto back = xb::Node::Decode(page, 10, 0x20, nullptr, &memory);
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(back->LowerBound("KEY0000070", 0), 10u);
    EXPECT_EQ(back->Key(39), "KEY0000273");
    back->Erase(0);
    EXPECT_EQ(back->LowerBound("KEY0000070", 0), 9u);
  }
  EXPECT_GT(memory.Chunks(), 0u);
}

#ifdef NODE_MEMORY_TEST_ASAN
TEST(NodeMemoryDeathTest, AFreedBlockMayNotBeTouched) {
  EXPECT_DEATH(
      {
        xb::NodeMemory memory;
        auto* p = static_cast<volatile char*>(memory.allocate(100, 8));
        p[0] = 1;
        memory.deallocate(const_cast<char*>(p), 100, 8);
        p[0] = 2;
      },
      "use-after-poison");
}
#endif

}  // namespace
