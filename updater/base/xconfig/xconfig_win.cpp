// XConfig::Open: the file reading, through the platform (Windows build).
#include <windows.h>

#include "base/memory/alloc.h"
#include "base/system/scoped_handle.h"
#include "base/xconfig/xconfig.h"

bool XConfig::Open(const wchar_t* path) {
  if (m_root && IsOpenAs(path)) return true;
  return Open(path, nullptr);
}

bool XConfig::Open(const wchar_t* path, XElementSink* sink) {
  Close();
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
  if (!read) {
    MemFree(text);
    return false;
  }
  // The bytes go before the parse: a large manifest's tree need not share
  // the memory with both its encodings.
  wchar_t* wide = Decode(text);
  MemFree(text);
  return OpenWide(wide, path, sink);
}
