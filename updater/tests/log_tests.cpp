// The log and the library's ends: each scenario runs in a process of its own and leaves its "XT.log".
#include <windows.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "base/memory/fast_alloc.h"
#include "base/memory/library.h"
#include "base/memory/list.h"
#include "base/system/log.h"
#include "base/text/wide_string.h"
#include "tests/child_process.h"

struct Probe;

// Lines and warnings (warnings only into an open log), the leak report at the stop, and nothing after it: the log
// is opened once per process, even by a second start.
CHILD_SCENARIO(log_lifetime) {
  StartLibraryOnce(L"FastAlloc");
  WriteWarning(L"dropped: warnings do not open the log");
  WriteLog(L"a\nb");
  WriteLog(L"%s=%d", L"x", 5);
  WriteWarning(L"w %S", "z");
  WriteLog(nullptr);
  WriteLog(L"caf\x00e9 \x4e2d");
  String(L"abc").Mid(1, 1);
  new String(L"leaked on purpose");
  MemAlloc(100);
  MemAlloc(300000);
  StopLibrary();
  const bool released = FastAlloc::RegionsHeld() == 0 && !IsLibraryStarted() && !CurrentAlloc();
  WriteLog(L"two");  // no allocator any more: must be harmless
  WriteWarning(L"two");
  StartLibraryOnce(L"FastAlloc");
  WriteLog(L"three");
  StopLibrary();
  return released ? 7 : 1;
}

CHILD_SCENARIO(fatal_error) {
  StartLibraryOnce(L"DebugAlloc");
  WriteLog(L"before");
  FatalError(L"boom %d", 7);
  WriteLog(L"after");
  return 0;
}

CHILD_SCENARIO(raise_fatal) {
  StartLibraryOnce(L"FastAlloc");
  WriteLog(L"before");
  RaiseFatal(L"gone %S", "now");
}

static DWORD WINAPI Crash(LPVOID) {
  RaiseException(EXCEPTION_ACCESS_VIOLATION, 0, 0, nullptr);
  return 0;
}

// From a thread of its own, as the update worker's crashes come.
CHILD_SCENARIO(crash_after_asking_for_the_end) {
  EndProcessOnUnhandledException();
  HANDLE thread = CreateThread(nullptr, 0, Crash, nullptr, 0, nullptr);
  WaitForSingleObject(thread, 10000);
  return 0;
}

CHILD_SCENARIO(free_foreign_pointer) {
  StartLibraryOnce(L"FastAlloc");
  int local = 0;
  MemFree(&local);
  return 0;
}

CHILD_SCENARIO(out_of_memory) {
  StartLibraryOnce(L"FastAlloc");
  CurrentAlloc()->Allocate(0xFFFFFFFF);  // its page-rounded size exceeds 32 bits
  return 0;
}

CHILD_SCENARIO(list_bad_index) {
  StartLibraryOnce(L"DebugAlloc");
  List<Probe*> probes;
  probes.Add(nullptr);
  WriteLog(L"before");
  probes[1] = nullptr;
  return 0;
}

// Lines in UTF-8 after a byte-order mark; a fatal error or an unhandled exception ends the process with one error
// line instead of waiting for a debugger.
TEST(Log, EachScenarioEndsWithItsExitCodeAndItsLog) {
  const std::string bom = "\xEF\xBB\xBF";
  const struct {
    const char* scenario;
    uint32_t exitCode;
    std::string log;  // every "HH:MM:SS: " stamp read as "T: ", every address as "P"
  } kCases[] = {
      {"log_lifetime", 7,
       bom + "T: a\nT: b\r\nT: x=5\r\nWarning -- w z\r\nT: caf\xC3\xA9 \xE4\xB8\xAD\r\n"
             "Warning -- Bad call to String::Mid.  iStart or iEnd is bigger than the current length "
             "(string: abc).\r\nT: Memory Leaks Were Detected.\r\nT: \r\n"},
      {"fatal_error", kFatalExitCode, bom + "T: before\r\n\r\nError: boom 7\r\n"},
      {"raise_fatal", kFatalExceptionCode, bom + "T: before\r\n\r\nError: gone now\r\n"},
      {"crash_after_asking_for_the_end", EXCEPTION_ACCESS_VIOLATION,
       bom + "\r\nError: unhandled exception 0xC0000005 at 0xP\r\n"},
      {"free_foreign_pointer", kFatalExceptionCode,
       bom + "\r\nError: FastAlloc: P was not given out by this allocator\r\n"},
      {"out_of_memory", kFatalExceptionCode,
       bom + "\r\nError: Out of memory while trying to allocate 4294967295 bytes at P\r\n"},
      {"list_bad_index", kFatalExceptionCode,
       bom + "T: before\r\n\r\nError: Out of range!  List<Probe*>::operator[](1)\r\n"},
  };
  static const std::regex stamp("(^|\n|\xEF\xBB\xBF)[0-2][0-9]:[0-5][0-9]:[0-6][0-9]: ");
  static const std::regex address("[0-9A-F]{16}");
  for (const auto& c : kCases) {
    TempFolder folder;
    EXPECT_EQ(RunChild(c.scenario, folder), c.exitCode) << c.scenario;
    const std::string log = std::regex_replace(ReadFileBytes(folder.File(L"XT.log")), stamp, "$1T: ");
    EXPECT_EQ(std::regex_replace(log, address, "P"), c.log) << c.scenario;
  }
}
