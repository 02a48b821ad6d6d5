#include "base/system/xfile.h"

#include <windows.h>

#include "base/memory/alloc.h"
#include "base/system/log.h"
#include "base/text/wide_text.h"

namespace {
constexpr int kLineEndBufferBytes = 4095;
}

bool XFile::Create(const wchar_t* path, bool readWrite) {
  byteCount = 0;
  DWORD access = readWrite ? (GENERIC_READ | GENERIC_WRITE) : GENERIC_WRITE;
  handle = CreateFileW(path, access, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return handle != INVALID_HANDLE_VALUE;
}

bool XFile::Append(const wchar_t* path) {
  byteCount = 0;
  handle = CreateFileW(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  LARGE_INTEGER end{};
  if (handle == INVALID_HANDLE_VALUE || !SetFilePointerEx(handle, LARGE_INTEGER{}, &end, FILE_END)) {
    Close();
    return false;
  }
  byteCount = static_cast<uint64_t>(end.QuadPart);
  return true;
}

uint32_t XFile::Write(const void* buffer, uint32_t count) {
  if (!handle) return 0xFFFFFFFF;
  byteCount += count;
  DWORD done = 0;
  if (!WriteFile(handle, buffer, count, &done, nullptr)) return 0;
  if (done > 0) written = true;
  return done;
}

bool XFile::WriteAsUTF8(const wchar_t* text, uint32_t length) {
  if (!text || !handle) return false;
  if (length == 0) length = WLength(text);
  if (length == 0) return true;
  int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  char* utf8 = size > 0 ? static_cast<char*>(MemAlloc(static_cast<uint64_t>(size) + 1)) : nullptr;
  if (utf8) size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8, size, nullptr, nullptr);
  if (size <= 0) {
    DWORD error = GetLastError();
    MemFree(utf8);
    WriteLog(L"XFile::WriteAsUTF8: wchar_to_utf8 failed: %d", static_cast<int>(error));
    return false;
  }
  bool complete = Write(utf8, static_cast<uint32_t>(size)) == static_cast<uint32_t>(size);
  MemFree(utf8);
  return complete;
}

uint32_t XFile::WriteLineEnd(const wchar_t* text) {
  if (!handle || !text) return 0;
  // At most 3 bytes per UTF-16 unit, so this many units always fit the buffer.
  uint32_t length = WLength(text);
  if (length > kLineEndBufferBytes / 3) length = kLineEndBufferBytes / 3;
  if (length == 0) return 0;
  char utf8[kLineEndBufferBytes];
  int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8, sizeof utf8, nullptr, nullptr);
  return size > 0 ? Write(utf8, static_cast<uint32_t>(size)) : 0;
}

void XFile::Close() {
  if (IsOpen()) CloseHandle(handle);
  if (handle) handle = INVALID_HANDLE_VALUE;
}

bool XFile::IsOpen() const { return handle && handle != INVALID_HANDLE_VALUE; }
