#include "tests/test_support.h"

std::string Utf8(const wchar_t* text) {
  if (!text) return "<none>";
  std::string out;
  for (const wchar_t* p = text; *p; ++p) {
    uint32_t code = static_cast<uint16_t>(*p);
    if (code >= 0xD800 && code <= 0xDBFF && static_cast<uint16_t>(p[1]) >= 0xDC00 && static_cast<uint16_t>(p[1]) <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<uint16_t>(p[1]) - 0xDC00);
      ++p;
    }
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
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
