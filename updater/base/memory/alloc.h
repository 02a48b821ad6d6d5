// The process-wide current allocator and the one allocation path of the library.
#pragma once

#include <cstddef>
#include <cstdint>

// Interface of every allocator. Sizes are 32-bit byte counts. No operation
// reports exhaustion to its caller: an allocator that cannot satisfy a request
// ends the process through RaiseFatal.
class Alloc {
public:
  virtual ~Alloc();
  // Returns a block of at least `size` bytes. A 0-byte request gives a 1-byte
  // block, except that DebugAlloc returns none for it.
  virtual void* Allocate(uint32_t size) = 0;
  // Resizes `block` (none: allocates; size 0: frees and returns none). Keeps the
  // contents up to the smaller of the old capacity and `size`; may move.
  virtual void* Reallocate(void* block, uint32_t size) = 0;
  // Gives `block` back; none is ignored. The block must come from this allocator.
  virtual void Free(void* block) = 0;
  // Gives everything back to the system at once, without a leak report.
  virtual void ReleaseAll() = 0;
};

// The installed allocator, or none while the library is stopped.
Alloc* CurrentAlloc();
// Makes `alloc` current and returns the previous one (not destroyed). Not
// locked: only library start and stop call it, while no other thread allocates.
Alloc* SetCurrentAlloc(Alloc* alloc);

// The library's allocation path: everything goes through the current allocator.
// Sizes are 64-bit so that callers' products cannot wrap. Never returns none
// for a non-zero size; a request of 4 GiB or more, or one made
// while no allocator is installed is fatal (RaiseFatal).
void* MemAlloc(uint64_t size);
// As MemAlloc, with the block zero-filled.
void* MemAllocZeroed(uint64_t size);
// Resizes a block from MemAlloc (none: allocates; size 0: frees, returns none).
void* MemRealloc(void* block, uint64_t size);
// Frees a block from MemAlloc or MemRealloc; none is ignored.
void MemFree(void* block);

// Deleter of std::unique_ptr for a block from MemAlloc.
struct MemFreeDeleter {
  void operator()(void* block) const { MemFree(block); }
};

// Standard-library allocator over MemAlloc, for the standard containers that
// hold the updater's records.
template <typename T>
struct LibraryAllocator {
  using value_type = T;

  LibraryAllocator() = default;
  template <typename U>
  LibraryAllocator(const LibraryAllocator<U>&) noexcept {}  // NOLINT: rebinding is implicit

  T* allocate(size_t count) { return static_cast<T*>(MemAlloc(uint64_t{sizeof(T)} * count)); }
  void deallocate(T* block, size_t) noexcept { MemFree(block); }

  template <typename U>
  bool operator==(const LibraryAllocator<U>&) const noexcept { return true; }
  template <typename U>
  bool operator!=(const LibraryAllocator<U>&) const noexcept { return false; }
};

// Base of library objects: they are created zero-filled through the current
// allocator and freed through it when deleted (through a virtual destructor of
// the derived class where they are deleted by base pointer).
struct LibraryObject {
  static void* operator new(size_t size) { return MemAllocZeroed(size); }
  static void operator delete(void* block) { MemFree(block); }
};
