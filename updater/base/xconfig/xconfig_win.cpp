// XConfig::Open: the file reading, through the platform (Windows build).
#include <windows.h>

#include "base/memory/alloc.h"
#include "base/system/scoped_handle.h"
#include "base/xconfig/xconfig.h"

bool XConfig::Open(const wchar_t* path) {
  if (m_root) {
    if (IsOpenAs(path)) return true;
    Close();
  }
  // No sharing while it is read; a missing file is created and reads as empty.
  ScopedHandle file(CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) return false;
  LARGE_INTEGER size;
  // The text buffer holds the file and a terminator in one 32-bit allocation.
  if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart >= UINT32_MAX) return false;
  DWORD bytes = static_cast<DWORD>(size.QuadPart);
  char* text = static_cast<char*>(MemAllocZeroed(uint64_t{bytes} + 1));
  DWORD got = 0;
  bool read = bytes == 0 || (ReadFile(file.Get(), text, bytes, &got, nullptr) && got == bytes);
  bool opened = read && OpenText(text, path);
  MemFree(text);
  return opened;
}
