// FastAlloc and DebugAlloc: size-class allocators built on virtual memory.
#pragma once

#include "base/memory/alloc.h"
#include "base/system/critical_section.h"

// Requests of 1 to 32768 bytes (0 counts as 1) come from 64 KiB pages split
// into blocks of one of 11 power-of-two classes (32 to 32768 bytes); larger
// requests get a region of their own, rounded up to the system page size.
// Allocation and freeing take constant time; a page goes back to the system
// when its last block is freed; resizing within a class keeps the block.
//
// The page tables are process-wide and shared by every instance, so only one
// FastAlloc (or DebugAlloc) may exist at a time. Allocate and Free are locked;
// exhaustion is fatal (RaiseFatal). Destruction gives everything back and logs
// "Memory Leaks Were Detected." once if any region was still held.
class FastAlloc : public Alloc {
public:
  FastAlloc();
  ~FastAlloc() override;
  FastAlloc(const FastAlloc&) = delete;
  FastAlloc& operator=(const FastAlloc&) = delete;

  void* Allocate(uint32_t size) override;
  // Not locked itself: it calls the (virtual) Allocate and Free. Returns the same
  // block when `size` stays in the block's class (from the class's smallest
  // request to its block size), or rounds to the same large region size.
  void* Reallocate(void* block, uint32_t size) override;
  // Freeing a pointer that this allocator did not give out is fatal.
  void Free(void* block) override;
  void ReleaseAll() override;

  // Number of regions (pages and large blocks) held from the system. Call while
  // no other thread allocates.
  static uint32_t RegionsHeld();

protected:
  // Allocate, reporting `caller` as the requester if memory runs out.
  void* AllocateFor(uint32_t size, void* caller);

private:
  CriticalSection m_lock;
};

// FastAlloc behind a second lock of its own, taken first; a 0-byte request
// returns none.
class DebugAlloc : public FastAlloc {
public:
  void* Allocate(uint32_t size) override;
  void* Reallocate(void* block, uint32_t size) override;
  void Free(void* block) override;

private:
  CriticalSection m_debugLock;
};
