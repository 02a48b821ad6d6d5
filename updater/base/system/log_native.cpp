// The log for the native (sanitizer and fuzz) build: there is no log file, so
// entries are dropped, and a fatal end prints its format and aborts, which the
// sanitizers and the fuzzer report as a crash.
#include <cstdio>
#include <cstdlib>

#include "base/system/log.h"

void WriteLog(const wchar_t*, ...) {}
void WriteWarning(const wchar_t*, ...) {}
void FatalError(const wchar_t*, ...) {}
void CloseLog() {}

void RaiseFatal(const wchar_t* format, ...) {
  std::fputs("fatal: ", stderr);
  for (const wchar_t* p = format; p && *p; ++p) std::fputc(*p < 0x80 ? static_cast<char>(*p) : '?', stderr);
  std::fputc('\n', stderr);
  std::abort();
}
