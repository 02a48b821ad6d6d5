// UTF-8 decoding through the platform (Windows build).
#include <windows.h>

#include "base/memory/alloc.h"
#include "base/text/wide_text.h"

wchar_t* Utf8ToWide(const char* utf8, uint32_t* length) {
  if (length) *length = 0;
  if (!utf8) return nullptr;
  int count = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);  // terminator included
  if (count <= 0) count = 1;
  wchar_t* wide = static_cast<wchar_t*>(MemAlloc(static_cast<uint64_t>(count) * sizeof(wchar_t)));
  int written = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, count);
  uint32_t characters = written > 0 ? static_cast<uint32_t>(written - 1) : 0;
  wide[characters] = 0;
  if (length) *length = characters;
  return wide;
}
