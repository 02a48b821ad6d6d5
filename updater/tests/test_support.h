// Helpers shared by the updater's tests.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "base/memory/default_alloc.h"

// UTF-8 form of wide text for readable comparisons; "<none>" for none.
std::string Utf8(const wchar_t* text);

// DefaultAlloc that records the size of every live block, so that tests can
// check exact buffer sizes and leaks.
class SizeTrackingAlloc : public DefaultAlloc {
public:
  void* Allocate(uint32_t size) override;
  void* Reallocate(void* block, uint32_t size) override;
  void Free(void* block) override;

  // Requested size of a live block; 0 when the block is not live.
  uint32_t SizeOf(const void* block) const;
  size_t LiveBlocks() const { return m_sizes.size(); }

private:
  std::map<const void*, uint32_t> m_sizes;
};

// Makes an allocator current for the scope and restores the previous one.
class ScopedCurrentAlloc {
public:
  explicit ScopedCurrentAlloc(Alloc* alloc);
  ~ScopedCurrentAlloc();
  ScopedCurrentAlloc(const ScopedCurrentAlloc&) = delete;
  ScopedCurrentAlloc& operator=(const ScopedCurrentAlloc&) = delete;

private:
  Alloc* m_previous;
};
