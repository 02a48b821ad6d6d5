#include "base/memory/alloc.h"

#include <cstring>

#include "base/system/log.h"

namespace {
// Zero-initialised: the library may run in a process that never ran this
// module's start-up code.
Alloc* g_current;

uint32_t CheckedSize(uint64_t size, const wchar_t* what) {
  if (size > UINT32_MAX) {
    RaiseFatal(L"Out of memory while trying to %s %I64u bytes at %p", what, size,
               __builtin_return_address(0));
  }
  return static_cast<uint32_t>(size);
}

Alloc* Current() {
  if (!g_current) RaiseFatal(L"Memory requested while the library is stopped");
  return g_current;
}
}  // namespace

Alloc::~Alloc() = default;

Alloc* CurrentAlloc() { return g_current; }

Alloc* SetCurrentAlloc(Alloc* alloc) {
  Alloc* previous = g_current;
  g_current = alloc;
  return previous;
}

void* MemAlloc(uint64_t size) { return Current()->Allocate(CheckedSize(size, L"allocate")); }

void* MemAllocZeroed(uint64_t size) {
  void* block = MemAlloc(size);
  if (block) std::memset(block, 0, static_cast<size_t>(size));
  return block;
}

void* MemRealloc(void* block, uint64_t size) {
  return Current()->Reallocate(block, CheckedSize(size, L"reallocate"));
}

void MemFree(void* block) {
  if (block) Current()->Free(block);
}
