#include "base/system/log.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <new>

#include "base/memory/library.h"
#include "base/text/wide_string.h"
#include "base/text/wide_text.h"
#include "base/system/xfile.h"

namespace {
// Zero-initialised process state (no start-up code needed). The log file is
// made in zero-filled storage when first needed and never destroyed, so that
// no destructor is registered at start-up (which does not run where the
// program is only loaded as a library); CloseLog closes it. g_logOpened is set
// by the first attempt and never cleared, so the log is created at most once
// per process.
alignas(XFile) unsigned char g_logStorage[sizeof(XFile)];
bool g_logMade;
bool g_logOpened;

XFile& LogFile() {
  if (!g_logMade) {
    new (g_logStorage) XFile{};
    g_logMade = true;
  }
  return *std::launder(reinterpret_cast<XFile*>(g_logStorage));
}

constexpr wchar_t kLogName[] = L"XT.log";
constexpr int kErrorEntryChars = 1024;

void OpenLog() {
  if (LogFile().IsOpen() || g_logOpened) return;
  g_logOpened = true;
  if (LogFile().Create(kLogName, true)) {
    static const unsigned char kBom[] = {0xEF, 0xBB, 0xBF};
    LogFile().Write(kBom, sizeof kBom);
  }
}

String TimeStampPrefix() {
  char stamp[80] = "";
  time_t now = time(nullptr);
  if (const tm* local = localtime(&now)) strftime(stamp, sizeof stamp, "%X", local);
  wchar_t wide[80] = L"";
  MultiByteToWideChar(CP_ACP, 0, stamp, -1, wide, 80);
  String prefix(wide);
  prefix += L": ";
  return prefix;
}

// Error entries are built on the stack and written through the fixed-buffer
// writer, so that an allocator that has run out of memory can still report it.
void WriteErrorEntry(const wchar_t* format, va_list args) {
  wchar_t line[kErrorEntryChars] = L"\r\nError: ";
  uint32_t head = WLength(line);
  if (format) {
    // _vsnwprintf neither terminates nor reports a length when it has to cut.
    _vsnwprintf(line + head, kErrorEntryChars - head - 1, format, args);
    line[kErrorEntryChars - 1] = 0;
  }
  OpenLog();
  LogFile().WriteLineEnd(line);
  LogFile().WriteLineEnd(L"\r\n");
}

void FatalEntry(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  WriteErrorEntry(format, args);
  va_end(args);
}

// True once the log has been created and closed again (or could not be
// created): nothing can be written any more, so the entry is not even built.
bool LogIsGone() { return g_logOpened && !LogFile().IsOpen(); }
}  // namespace

void WriteLog(const wchar_t* format, ...) {
  if (!format || LogIsGone()) return;
  String prefix = TimeStampPrefix();
  String line = prefix;
  va_list args;
  va_start(args, format);
  line += String::FormatV(format, args);
  va_end(args);
  line.ReplaceAll(L"\n", String(L"\n") + prefix);
  OpenLog();
  LogFile().WriteAsUTF8(line);
  LogFile().WriteAsUTF8(L"\r\n");
}

void WriteWarning(const wchar_t* format, ...) {
  if (!format || !LogFile().IsOpen()) return;
  String line(L"Warning -- ");
  va_list args;
  va_start(args, format);
  line += String::FormatV(format, args);
  va_end(args);
  LogFile().WriteAsUTF8(line);
  LogFile().WriteAsUTF8(L"\r\n");
}

void FatalError(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  WriteErrorEntry(format, args);
  va_end(args);
  if (!IsLibraryStarted()) return;
  SetLibraryStarted(false);
  CloseLog();
  SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, 0);
  TerminateProcess(GetCurrentProcess(), kFatalExitCode);
}

void RaiseFatal(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  WriteErrorEntry(format, args);
  va_end(args);
  RaiseException(kFatalExceptionCode, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  // Not reached: nothing may continue a non-continuable exception.
  TerminateProcess(GetCurrentProcess(), kFatalExceptionCode);
  __builtin_unreachable();
}

namespace {
LONG WINAPI EndOnException(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD* record = exception->ExceptionRecord;
  if (record->ExceptionCode != kFatalExceptionCode) {
    FatalEntry(L"unhandled exception 0x%08X at 0x%p", static_cast<unsigned>(record->ExceptionCode),
               record->ExceptionAddress);
  }
  TerminateProcess(GetCurrentProcess(), record->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}
}  // namespace

void EndProcessOnUnhandledException() { SetUnhandledExceptionFilter(EndOnException); }

void CloseLog() { LogFile().Close(); }
