#include "tests/test_support.h"

#include "base/text/wide_text.h"
#include "base/xconfig/xconfig_writer.h"

std::string Utf8(const wchar_t* text) {
  if (!text) return "<none>";
  Utf8Text bytes;
  return AppendUtf8(text, WLength(text), &bytes) ? std::string(bytes.c_str()) : "<not UTF-16>";
}

void* SizeTrackingAlloc::Allocate(uint32_t size) {
  void* block = DefaultAlloc::Allocate(size);
  m_sizes[block] = size;
  return block;
}

void* SizeTrackingAlloc::Reallocate(void* block, uint32_t size) {
  if (!block) return Allocate(size);
  m_sizes.erase(block);
  void* moved = DefaultAlloc::Reallocate(block, size);
  if (moved) m_sizes[moved] = size;
  return moved;
}

void SizeTrackingAlloc::Free(void* block) {
  m_sizes.erase(block);
  DefaultAlloc::Free(block);
}

uint32_t SizeTrackingAlloc::SizeOf(const void* block) const {
  auto found = m_sizes.find(block);
  return found == m_sizes.end() ? 0 : found->second;
}

ScopedCurrentAlloc::ScopedCurrentAlloc(Alloc* alloc) : m_previous(SetCurrentAlloc(alloc)) {}
ScopedCurrentAlloc::~ScopedCurrentAlloc() { SetCurrentAlloc(m_previous); }
