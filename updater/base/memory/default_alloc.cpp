#include "base/memory/default_alloc.h"

#include <cstdlib>
#if defined(_WIN32)
#include <malloc.h>
#endif

#include "base/system/log.h"

namespace {
constexpr size_t kAlignment = 16;

#if defined(_WIN32)
void* CrtAllocate(size_t size) { return _aligned_malloc(size, kAlignment); }
void* CrtReallocate(void* block, size_t size) { return _aligned_realloc(block, size, kAlignment); }
void CrtFree(void* block) { _aligned_free(block); }
#else
// glibc's malloc already aligns to 16 bytes on the 64-bit targets the native build serves.
static_assert(alignof(max_align_t) >= kAlignment, "malloc alignment");
void* CrtAllocate(size_t size) { return std::malloc(size); }
void* CrtReallocate(void* block, size_t size) { return std::realloc(block, size); }
void CrtFree(void* block) { std::free(block); }
#endif
}  // namespace

void* DefaultAlloc::Allocate(uint32_t size) {
  void* block = CrtAllocate(size ? size : 1);
  if (!block) {
    RaiseFatal(L"Out of memory while trying to allocate %u bytes at %p", size, __builtin_return_address(0));
  }
  return block;
}

void* DefaultAlloc::Reallocate(void* block, uint32_t size) {
  if (!block) return Allocate(size);
  if (size == 0) {
    CrtFree(block);
    return nullptr;
  }
  void* moved = CrtReallocate(block, size);
  if (!moved) {
    RaiseFatal(L"Out of memory while trying to reallocate %u bytes at %p", size, __builtin_return_address(0));
  }
  return moved;
}

void DefaultAlloc::Free(void* block) {
  if (block) CrtFree(block);
}
