#include "base/memory/fast_alloc.h"

#include <windows.h>

#include <cstring>

#include "base/memory/library.h"
#include "base/system/log.h"

namespace {
constexpr uint32_t kPageBytes = 65536;  // also the system's allocation granularity
constexpr uint32_t kLargestSmall = 32768;
constexpr int kClassCount = 11;
constexpr unsigned kTableEntries = 256;

struct PageDesc;

// Written into the first block of a stretch of consecutive free blocks of one
// page. The runs of one page stand next to each other in their class's list.
struct FreeRun {
  FreeRun* prev;
  FreeRun* next;
  PageDesc* page;
  uint32_t count;
};

struct SizeClass {
  FreeRun* head;  // the run the next block comes from; never has a predecessor
  uint32_t minSize;
  uint32_t blockSize;
  uint32_t blocksPerPage;
};

// One per 64 KiB slot of the address space; describes the region (a page of
// small blocks or a large block) that begins in that slot.
struct PageDesc {
  uint32_t inUse;
  uint32_t size;         // 65536 for a page, the rounded request for a large block
  SizeClass* sizeClass;  // none for a large block
  FreeRun* firstRun;     // this page's runs in the class list: first ...
  FreeRun* lastRun;      // ... and last; none while the page is full
  char* base;            // none while the slot is unused
};

static_assert(sizeof(FreeRun) <= 32, "a free run must fit the smallest block");

using Leaf = PageDesc[kTableEntries];  // bits 16 to 23 of an address

// The directory: on 32-bit the classic 256 x 256 table; on 64-bit a further
// level for bits 32 to 47 (the user address space) in front of it.
#if UINTPTR_MAX > 0xFFFFFFFFu
constexpr unsigned kRootBits = 16;
using Mid = Leaf* [kTableEntries];  // bits 24 to 31
Mid* g_root[1u << kRootBits];
#else
Leaf* g_root[kTableEntries];  // bits 24 to 31
#endif

// Process-wide state, zero-initialised (no start-up code needed); filled by
// the FastAlloc constructor.
SizeClass g_classes[kClassCount];
SizeClass* g_classOf[kLargestSmall + 1];  // indexed by request size
uint32_t g_systemPageSize;

void* TakeFromSystem(size_t bytes) { return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE); }
void GiveToSystem(void* region) { VirtualFree(region, 0, MEM_RELEASE); }

Leaf** LeafSlot(uintptr_t address, bool create) {
#if UINTPTR_MAX > 0xFFFFFFFFu
  uintptr_t top = address >> 32;
  if (top >= (uintptr_t{1} << kRootBits)) return nullptr;
  Mid*& mid = g_root[top];
  if (!mid) {
    if (!create) return nullptr;
    mid = static_cast<Mid*>(TakeFromSystem(sizeof(Mid)));
    if (!mid) return nullptr;
  }
  return &(*mid)[(address >> 24) & 0xFF];
#else
  (void)create;
  return &g_root[(address >> 24) & 0xFF];
#endif
}

// The descriptor of the 64 KiB slot holding `address`; with `create`, builds
// the tables on the way. None when a table is missing or cannot be built.
PageDesc* Descriptor(uintptr_t address, bool create) {
  Leaf** slot = LeafSlot(address, create);
  if (!slot) return nullptr;
  if (!*slot) {
    if (!create) return nullptr;
    *slot = static_cast<Leaf*>(TakeFromSystem(sizeof(Leaf)));  // zero-filled
    if (!*slot) return nullptr;
  }
  return &(**slot)[(address >> 16) & 0xFF];
}

// Calls visit(desc) for every descriptor that holds a region; with
// `releaseTables`, gives every table back afterwards.
template <typename Visit>
void ForEachRegion(Visit visit, bool releaseTables) {
  auto walkLeaf = [&](Leaf*& leaf) {
    if (!leaf) return;
    for (PageDesc& desc : *leaf) {
      if (desc.base) visit(desc);
    }
    if (releaseTables) {
      GiveToSystem(leaf);
      leaf = nullptr;
    }
  };
#if UINTPTR_MAX > 0xFFFFFFFFu
  for (Mid*& mid : g_root) {
    if (!mid) continue;
    for (Leaf*& leaf : *mid) walkLeaf(leaf);
    if (releaseTables) {
      GiveToSystem(mid);
      mid = nullptr;
    }
  }
#else
  for (Leaf*& leaf : g_root) walkLeaf(leaf);
#endif
}

// Gives every region and table back; `report` logs the leak line once if any
// region was still held. The class lists start empty again.
void ReleaseEverything(bool report) {
  bool reported = !report;
  ForEachRegion(
      [&](PageDesc& desc) {
        if (!reported) {
          WriteLog(L"Memory Leaks Were Detected.\r\n");
          reported = true;
        }
        GiveToSystem(desc.base);
        desc = PageDesc{};
      },
      true);
  for (SizeClass& sizeClass : g_classes) sizeClass.head = nullptr;
}

[[noreturn]] void OutOfMemory(uint64_t size, void* caller) {
  RaiseFatal(L"Out of memory while trying to allocate %I64u bytes at %p", size, caller);
}

// Takes a region of `size` bytes and its descriptor; fatal when either fails.
PageDesc* TakeRegion(uint64_t size, uint64_t requested, void* caller) {
  if (size > UINT32_MAX) OutOfMemory(requested, caller);
  char* base = static_cast<char*>(TakeFromSystem(static_cast<size_t>(size)));
  if (!base) OutOfMemory(requested, caller);
  PageDesc* desc = Descriptor(reinterpret_cast<uintptr_t>(base), true);
  if (!desc) {
    GiveToSystem(base);
    OutOfMemory(requested, caller);
  }
  desc->size = static_cast<uint32_t>(size);
  desc->base = base;
  return desc;
}

uint64_t RoundToSystemPages(uint32_t size) {
  uint64_t pages = (uint64_t{size} + g_systemPageSize - 1) / g_systemPageSize;
  return pages * g_systemPageSize;
}

// The descriptor of a block that this allocator gave out; fatal otherwise.
PageDesc* OwnDescriptor(const void* block) {
  uintptr_t address = reinterpret_cast<uintptr_t>(block);
  PageDesc* desc = Descriptor(address, false);
  bool own = desc && desc->base &&
             (desc->sizeClass ? ((address - reinterpret_cast<uintptr_t>(desc->base)) & (desc->sizeClass->blockSize - 1)) == 0
                              : block == desc->base);
  if (!own) RaiseFatal(L"FastAlloc: %p was not given out by this allocator", block);
  return desc;
}

void Unlink(FreeRun* run) {
  if (run->prev) run->prev->next = run->next;
  if (run->next) run->next->prev = run->prev;
}

void* AllocateSmall(uint32_t size, void* caller) {
  SizeClass* sizeClass = g_classOf[size];
  if (!sizeClass->head) {
    PageDesc* page = TakeRegion(kPageBytes, size, caller);
    FreeRun* run = reinterpret_cast<FreeRun*>(page->base);
    *run = FreeRun{nullptr, nullptr, page, sizeClass->blocksPerPage};
    page->inUse = 0;
    page->sizeClass = sizeClass;
    page->firstRun = page->lastRun = run;
    sizeClass->head = run;
  }

  FreeRun* run = sizeClass->head;
  PageDesc* page = run->page;
  if (++page->inUse == sizeClass->blocksPerPage) {
    page->firstRun = page->lastRun = nullptr;
  } else if (run->count == 1) {
    page->firstRun = run->next;
  }

  if (run->count > 1) {
    // The run loses its first block: its record moves one block forward.
    FreeRun* moved = reinterpret_cast<FreeRun*>(reinterpret_cast<char*>(run) + sizeClass->blockSize);
    *moved = *run;
    --moved->count;
    if (moved->prev) moved->prev->next = moved;
    if (moved->next) moved->next->prev = moved;
    if (page->firstRun == run) page->firstRun = moved;
    if (page->lastRun == run) page->lastRun = moved;
    sizeClass->head = moved;
  } else {
    Unlink(run);
    sizeClass->head = run->next;
  }
  return run;
}

void FreeSmall(PageDesc* page, void* block) {
  SizeClass* sizeClass = page->sizeClass;
  FreeRun* first = page->firstRun;
  FreeRun* run = static_cast<FreeRun*>(block);
  run->page = page;
  run->count = 1;
  if (!first) {
    // The page was full: its only run goes to the front of the class list.
    run->prev = nullptr;
    run->next = sizeClass->head;
    if (sizeClass->head) sizeClass->head->prev = run;
    sizeClass->head = page->firstRun = page->lastRun = run;
    return;
  }
  run->prev = first->prev;
  run->next = first;
  if (first->prev) first->prev->next = run;
  first->prev = run;
  page->firstRun = run;
  if (sizeClass->head == first) {
    sizeClass->head = run;
  } else if (reinterpret_cast<uintptr_t>(page->base) < reinterpret_cast<uintptr_t>(sizeClass->head->page->base)) {
    // Lower pages are served first, so that higher ones empty and go back to
    // the system. Moving the page's whole group of runs to the front keeps the
    // head at the front of the list (making a run in the middle the head would
    // strand the runs before it, which later writes through stale links).
    FreeRun* last = page->lastRun;
    run->prev->next = last->next;
    if (last->next) last->next->prev = run->prev;
    run->prev = nullptr;
    last->next = sizeClass->head;
    sizeClass->head->prev = last;
    sizeClass->head = run;
  }
}

// Before the last block of a page goes, the page's runs leave the class list.
void UnlinkPageRuns(PageDesc* page) {
  if (!page->firstRun) return;
  FreeRun* before = page->firstRun->prev;
  FreeRun* after = page->lastRun->next;
  if (before) before->next = after;
  if (after) after->prev = before;
  SizeClass* sizeClass = page->sizeClass;
  if (sizeClass->head && sizeClass->head->page == page) sizeClass->head = after;
}
}  // namespace

FastAlloc::FastAlloc() {
  g_systemPageSize = SystemPageSize();
  uint32_t smallest = 1;
  for (int i = 0; i < kClassCount; ++i) {
    uint32_t blockSize = 32u << i;
    g_classes[i] = SizeClass{nullptr, smallest, blockSize, kPageBytes / blockSize};
    for (uint32_t size = smallest; size <= blockSize; ++size) g_classOf[size] = &g_classes[i];
    smallest = blockSize + 1;
  }
}

FastAlloc::~FastAlloc() { ReleaseEverything(true); }

void FastAlloc::ReleaseAll() {
  CriticalSectionLock lock(m_lock);
  ReleaseEverything(false);
}

void* FastAlloc::Allocate(uint32_t size) { return AllocateFor(size, __builtin_return_address(0)); }

void* FastAlloc::AllocateFor(uint32_t size, void* caller) {
  CriticalSectionLock lock(m_lock);
  if (size == 0) size = 1;
  if (size <= kLargestSmall) return AllocateSmall(size, caller);
  PageDesc* desc = TakeRegion(RoundToSystemPages(size), size, caller);
  desc->inUse = 1;
  desc->sizeClass = nullptr;
  desc->firstRun = desc->lastRun = nullptr;
  return desc->base;
}

void FastAlloc::Free(void* block) {
  if (!block) return;
  CriticalSectionLock lock(m_lock);
  PageDesc* page = OwnDescriptor(block);
  if (page->sizeClass && page->inUse == 1) UnlinkPageRuns(page);
  if (--page->inUse == 0) {
    GiveToSystem(page->base);
    *page = PageDesc{};
    return;
  }
  FreeSmall(page, block);
}

void* FastAlloc::Reallocate(void* block, uint32_t size) {
  if (!block) return Allocate(size);
  if (size == 0) {
    Free(block);
    return nullptr;
  }
  // A held block's descriptor fields other than the counters never change, so
  // reading them needs no lock.
  PageDesc* page = OwnDescriptor(block);
  uint32_t capacity = page->size;
  if (const SizeClass* sizeClass = page->sizeClass) {
    if (size >= sizeClass->minSize && size <= sizeClass->blockSize) return block;
    capacity = sizeClass->blockSize;
  } else if (RoundToSystemPages(size) == page->size) {
    return block;
  }
  void* moved = Allocate(size);
  if (!moved) {
    RaiseFatal(L"Out of memory while trying to reallocate %u bytes at %p", size, __builtin_return_address(0));
  }
  std::memcpy(moved, block, size < capacity ? size : capacity);
  Free(block);
  return moved;
}

uint32_t FastAlloc::RegionsHeld() {
  uint32_t count = 0;
  ForEachRegion([&](PageDesc&) { ++count; }, false);
  return count;
}

void* DebugAlloc::Allocate(uint32_t size) {
  if (size == 0) return nullptr;
  CriticalSectionLock lock(m_debugLock);
  return AllocateFor(size, __builtin_return_address(0));
}

void* DebugAlloc::Reallocate(void* block, uint32_t size) {
  CriticalSectionLock lock(m_debugLock);
  return FastAlloc::Reallocate(block, size);
}

void DebugAlloc::Free(void* block) {
  if (!block) return;
  CriticalSectionLock lock(m_debugLock);
  FastAlloc::Free(block);
}
