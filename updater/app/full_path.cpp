#include "app/full_path.h"

#include <windows.h>

#include "base/memory/alloc.h"

String FullPathOf(const String& path) {
  const DWORD needed = GetFullPathNameW(Text(path), 0, nullptr, nullptr);
  if (needed == 0) return String();
  auto* buffer = static_cast<wchar_t*>(MemAlloc(uint64_t{needed} * sizeof(wchar_t)));
  const DWORD got = GetFullPathNameW(Text(path), needed, buffer, nullptr);
  String full = got > 0 && got < needed ? String(buffer, got) : String();
  MemFree(buffer);
  return full;
}
