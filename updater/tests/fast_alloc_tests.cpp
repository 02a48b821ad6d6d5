#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <map>
#include <random>
#include <typeinfo>
#include <vector>

#include "base/memory/default_alloc.h"
#include "base/memory/fast_alloc.h"
#include "base/memory/library.h"

// The tests' own allocators own the process-wide page tables: the test process runs on DefaultAlloc.
namespace {
using ::testing::AnyOf;
using ::testing::ElementsAre;

bool IsFreed(const void* address) {
  MEMORY_BASIC_INFORMATION info{};
  VirtualQuery(address, &info, sizeof info);
  return info.State == MEM_FREE;
}

uintptr_t PageOf(const void* block) { return reinterpret_cast<uintptr_t>(block) & ~uintptr_t{0xFFFF}; }

unsigned char Byte(unsigned seed, size_t i) { return static_cast<unsigned char>(seed * 31 + i * 7); }

void Fill(void* block, size_t size, unsigned seed) {
  for (size_t i = 0; i < size; ++i) static_cast<unsigned char*>(block)[i] = Byte(seed, i);
}

bool Holds(const void* block, size_t size, unsigned seed) {
  for (size_t i = 0; i < size; ++i) {
    if (static_cast<const unsigned char*>(block)[i] != Byte(seed, i)) return false;
  }
  return true;
}
}  // namespace

// Each size class from 32 bytes to 32 KiB keeps a block that fits and moves it across classes; above, regions.
TEST(FastAlloc, ReallocateStaysWithinItsClassAndMovesAcrossClasses) {
  FastAlloc alloc;
  uint32_t smallest = 1;
  for (uint32_t blockSize = 32; blockSize <= 32768; blockSize *= 2) {
    void* block = alloc.Allocate(blockSize);
    Fill(block, blockSize, blockSize);  // the whole block is usable
    EXPECT_EQ(alloc.Reallocate(block, smallest), block) << blockSize;
    EXPECT_EQ(alloc.Reallocate(block, blockSize), block) << blockSize;
    void* up = alloc.Reallocate(block, blockSize + 1);
    ASSERT_NE(up, block) << blockSize;
    EXPECT_TRUE(Holds(up, blockSize, blockSize)) << blockSize;
    void* back = alloc.Reallocate(up, blockSize);  // below the upper class
    ASSERT_NE(back, up) << blockSize;
    EXPECT_TRUE(Holds(back, blockSize, blockSize)) << blockSize;
    alloc.Free(back);
    smallest = blockSize + 1;
  }
  const uint32_t page = SystemPageSize();
  const uint32_t rounded = (32769 + page - 1) / page * page;
  void* large = alloc.Allocate(32769);
  Fill(large, 32769, 2);
  EXPECT_EQ(alloc.Reallocate(large, rounded - 800), large);
  void* moved = alloc.Reallocate(large, rounded + 3136);
  EXPECT_TRUE(IsFreed(large));
  void* small = alloc.Reallocate(moved, 100);
  EXPECT_TRUE(IsFreed(moved));
  EXPECT_TRUE(Holds(small, 100, 2));
  alloc.Free(small);
  EXPECT_EQ(FastAlloc::RegionsHeld(), 0u);
}

// A 64 KiB page holds 2048 blocks of 32 bytes; the next takes a page; pages go back once empty.
TEST(FastAlloc, PagesAreTakenWhenFullAndGivenBackWhenEmpty) {
  FastAlloc alloc;
  std::vector<void*> blocks;
  for (int i = 0; i < 2049; ++i) blocks.push_back(alloc.Allocate(32));
  EXPECT_EQ(FastAlloc::RegionsHeld(), 2u);
  alloc.Free(blocks.back());
  blocks.pop_back();
  EXPECT_EQ(FastAlloc::RegionsHeld(), 1u);
  // Freed in an order that splits the page into many runs before it empties.
  for (size_t i = 0; i < blocks.size(); i += 2) alloc.Free(blocks[i]);
  for (size_t i = 1; i < blocks.size(); i += 2) alloc.Free(blocks[i]);
  EXPECT_EQ(FastAlloc::RegionsHeld(), 0u);
  EXPECT_TRUE(IsFreed(blocks.front()));
}

TEST(FastAlloc, FreedBlocksOfSeveralPagesAreAllReused) {
  // Four 16 KiB blocks per page; three full pages.
  FastAlloc alloc;
  std::map<uintptr_t, std::vector<void*>> pages;
  for (int i = 0; i < 12; ++i) {
    void* block = alloc.Allocate(16384);
    pages[PageOf(block)].push_back(block);
  }
  ASSERT_EQ(pages.size(), 3u);
  auto low = pages.begin()->second, high = std::next(pages.begin())->second;
  alloc.Free(low[0]);
  alloc.Free(high[0]);
  alloc.Free(low[1]);  // a lower page than the head's gains a run
  // The lower page is served first and the higher page's hole is not lost behind it: no new page.
  std::vector<void*> refilled = {alloc.Allocate(16384), alloc.Allocate(16384), alloc.Allocate(16384)};
  EXPECT_THAT(refilled, ElementsAre(AnyOf(low[0], low[1]), AnyOf(low[0], low[1]), high[0]));
  EXPECT_EQ(FastAlloc::RegionsHeld(), 3u);
  for (auto& page : pages) {
    for (void* block : page.second) alloc.Free(block);
  }
  EXPECT_EQ(FastAlloc::RegionsHeld(), 0u);
}

namespace {
// Random allocate / reallocate / free with every block's contents checked.
bool StressThread(Alloc* alloc, unsigned seed) {
  std::mt19937 random(seed);
  bool ok = true;
  struct Block {
    void* data;
    uint32_t size;
    unsigned pattern;
  };
  std::vector<Block> blocks;
  auto randomSize = [&]() -> uint32_t {
    unsigned kind = random() % 10;  // mostly small, some large up to 100 KB
    return kind < 7 ? random() % 513 : kind < 9 ? 513 + random() % 32256 : 32769 + random() % 69632;
  };
  for (unsigned step = 0; step < 20000; ++step) {
    unsigned op = random() % 4;
    if (op <= 1 || blocks.empty()) {
      uint32_t size = randomSize();
      blocks.push_back(Block{alloc->Allocate(size), size, step});
      if (!blocks.back().data) blocks.back().size = 0;  // DebugAlloc's 0-byte request
      Fill(blocks.back().data, blocks.back().size, step);
      continue;
    }
    size_t index = random() % blocks.size();
    Block& block = blocks[index];
    if (!Holds(block.data, block.size, block.pattern)) ok = false;
    if (op == 2) {
      uint32_t size = randomSize();
      void* moved = alloc->Reallocate(block.data, size);
      if (!Holds(moved, moved ? std::min(size, block.size) : 0, block.pattern)) ok = false;
      block = Block{moved, moved ? size : 0, step};
      Fill(moved, block.size, step);
    } else {
      alloc->Free(block.data);
      blocks[index] = blocks.back();
      blocks.pop_back();
    }
  }
  for (Block& block : blocks) {
    if (!Holds(block.data, block.size, block.pattern)) ok = false;
    alloc->Free(block.data);
  }
  return ok;
}

template <typename Allocator>
void RunStressOnTwoThreads() {
  Allocator alloc;
  auto first = std::async(std::launch::async, StressThread, &alloc, 1u);
  auto second = std::async(std::launch::async, StressThread, &alloc, 2u);
  EXPECT_TRUE(first.get() && second.get());
  EXPECT_EQ(FastAlloc::RegionsHeld(), 0u);  // every page went back
}
}  // namespace

TEST(FastAlloc, RandomizedStressOnTwoThreads) { RunStressOnTwoThreads<FastAlloc>(); }
TEST(DebugAlloc, RandomizedStressOnTwoThreads) { RunStressOnTwoThreads<DebugAlloc>(); }

TEST(Library, AllocatorChosenByNameIgnoringCaseAndStartedOnce) {
  for (auto c : {std::make_pair(L"debugALLOC", &typeid(DebugAlloc)),
                 std::make_pair(L"DefaultAlloc", &typeid(DefaultAlloc)),
                 std::make_pair(L"SERIOUSMEMORYDEBUGGINGALLOC", &typeid(SeriousMemoryDebuggingAlloc)),
                 std::make_pair(L"DebugAlloc2", &typeid(FastAlloc)), std::make_pair(L"", &typeid(FastAlloc))}) {
    Alloc* alloc = CreateAllocByName(*c.first ? c.first : nullptr);
    EXPECT_EQ(typeid(*alloc), *c.second) << (*c.first ? "named" : "none");
    delete alloc;
  }
  // The test program started the library on DefaultAlloc; a second start keeps it.
  Alloc* before = CurrentAlloc();
  EXPECT_FALSE(StartLibraryOnce(L"FastAlloc"));
  EXPECT_EQ(CurrentAlloc(), before);
}
