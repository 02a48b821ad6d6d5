// Allocators over the C run-time's aligned heap.
#pragma once

#include "base/memory/alloc.h"

// 16-byte-aligned blocks from the C run-time heap, which has its own lock.
// Exhaustion is fatal like in every other allocator. Destruction does nothing.
class DefaultAlloc : public Alloc {
public:
  void* Allocate(uint32_t size) override;
  void* Reallocate(void* block, uint32_t size) override;
  void Free(void* block) override;
  void ReleaseAll() override {}
};

// Chosen by its own name; behaves exactly like DefaultAlloc.
class SeriousMemoryDebuggingAlloc : public DefaultAlloc {};
