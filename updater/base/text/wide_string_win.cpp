// String formatting through the C run-time's wide printf (Windows build only).
#include <cstdio>

#include "base/memory/alloc.h"
#include "base/text/wide_string.h"

String String::Format(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  String result = FormatV(format, args);
  va_end(args);
  return result;
}

String String::FormatV(const wchar_t* format, va_list args) {
  if (!format) return String();
  va_list measure;
  va_copy(measure, args);
  int count = _vscwprintf(format, measure);
  va_end(measure);
  if (count <= 0) return String();
  uint32_t length = static_cast<uint32_t>(count);
  wchar_t* buffer = static_cast<wchar_t*>(MemAlloc((uint64_t{length} + 1) * sizeof(wchar_t)));
  int written = _vsnwprintf(buffer, length + 1, format, args);
  return Adopt(buffer, written > 0 ? static_cast<uint32_t>(written) : 0);
}
