#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

#include "pageloader/parse_arena.h"

namespace trovex::browser {
namespace {

TEST(ParseArena, BlocksAreAlignedWritableAndApart) {
  ParseArena arena;
  const std::size_t sizes[] = {0, 1, 7, 8, 9, 255, 256, 257, 4096, 100000, 1};
  std::map<std::uintptr_t, std::size_t> blocks;  // start -> size
  for (std::size_t size : sizes) {
    auto* p = static_cast<unsigned char*>(arena.Allocate(size));
    ASSERT_NE(p, nullptr) << size;
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % ParseArena::kAlign, 0u) << size;
    std::memset(p, 0xA5, size);
    blocks[reinterpret_cast<std::uintptr_t>(p)] = size;
  }
  ASSERT_EQ(blocks.size(), std::size(sizes));
  for (auto it = blocks.begin(); std::next(it) != blocks.end(); ++it)
    EXPECT_LE(it->first + it->second, std::next(it)->first) << "blocks overlap";
  arena.Deallocate(nullptr);  // as free() takes it
}

// The parser frees as much as it keeps: every token's buffers, every outgrown copy of a growing
// one. What it frees must be used again, or a long page would hold many times its tree.
TEST(ParseArena, WhatIsFreedIsUsedAgain) {
  struct Case {
    const char* label;
    std::size_t first, last;  // a buffer grown by doubling from `first` to `last` bytes
    int times;                // ... over and over, freed each time
  } cases[] = {
      {"small token buffers", 16, 64, 200000},
      {"buffers outgrowing the small blocks", 16, 4096, 20000},
      {"large buffers", 1024, 1u << 18, 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ParseArena arena;
    std::vector<void*> kept;  // what the tree keeps between the buffers: 8 bytes each
    std::size_t reservedAfterFirst = 0;
    for (int i = 0; i < c.times; ++i) {
      void* buffer = arena.Allocate(c.first);
      for (std::size_t size = c.first * 2; size <= c.last; size *= 2) {
        void* grown = arena.Allocate(size);
        std::memcpy(grown, buffer, size / 2);
        arena.Deallocate(buffer);
        buffer = grown;
      }
      arena.Deallocate(buffer);
      kept.push_back(arena.Allocate(8));
      if (i == 0) reservedAfterFirst = arena.ReservedBytes();
    }
    // The kept blocks (16 bytes each with their size word) and one round's buffers.
    EXPECT_LE(arena.ReservedBytes(), reservedAfterFirst + kept.size() * 16 + (64u << 10))
        << arena.ReservedBytes();
  }
}

TEST(ParseArena, LargeBlocksGoBackAtOnce) {
  ParseArena arena;
  void* small = arena.Allocate(100);
  const std::size_t base = arena.ReservedBytes();
  std::vector<void*> large;
  for (std::size_t size : {300u, 5000u, 1u << 20}) large.push_back(arena.Allocate(size));
  EXPECT_GE(arena.ReservedBytes(), base + 300 + 5000 + (1u << 20));
  // In another order than they came, as the parser frees them.
  arena.Deallocate(large[1]);
  arena.Deallocate(large[0]);
  arena.Deallocate(large[2]);
  EXPECT_EQ(arena.ReservedBytes(), base);
  arena.Deallocate(small);
}

}  // namespace
}  // namespace trovex::browser
