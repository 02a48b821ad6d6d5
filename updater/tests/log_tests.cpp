#include <windows.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "base/memory/library.h"
#include "base/system/log.h"
#include "base/text/wide_string.h"
#include "tests/child_process.h"

namespace {
const std::string kBom = "\xEF\xBB\xBF";

// A scenario's exit code and its "XT.log" with every "HH:MM:SS: " prefix read as "T: ".
struct ChildLog {
  uint32_t exitCode;
  bool exists;
  std::string text;
};

ChildLog RunForLog(const char* scenario, const wchar_t* logName = L"XT.log") {
  static const std::regex stamp("(^|\n|\xEF\xBB\xBF)[0-2][0-9]:[0-5][0-9]:[0-6][0-9]: ");
  TempFolder folder;
  ChildLog result{};
  result.exitCode = RunChild(scenario, folder);
  result.text = std::regex_replace(ReadFileBytes(folder.File(logName), &result.exists), stamp, "$1T: ");
  return result;
}
}  // namespace

CHILD_SCENARIO(log_entries) {
  StartLibraryOnce(L"DebugAlloc");
  WriteWarning(L"dropped: warnings do not open the log");
  WriteLog(L"a\nb");
  WriteLog(L"%s=%d", L"x", 5);
  WriteWarning(L"w %S", "z");
  WriteLog(nullptr);
  WriteLog(L"caf\x00e9 \x4e2d");
  String(L"abc").Mid(1, 1);
  StopLibrary();
  return 0;
}

// The log is opened once per process: nothing is written after the first stop, even by a second start.
CHILD_SCENARIO(no_log_after_stop) {
  StartLibraryOnce(L"DebugAlloc");
  WriteLog(L"one");
  StopLibrary();
  MoveFileW(L"XT.log", L"first.log");
  WriteLog(L"two");  // no allocator any more: must be harmless
  WriteWarning(L"two");
  StartLibraryOnce(L"FastAlloc");
  WriteLog(L"three");
  StopLibrary();
  return 7;
}

TEST(Log, LinesWarningsUtf8AndOnlyOneLogPerProcess) {
  ChildLog log = RunForLog("log_entries");
  EXPECT_EQ(log.exitCode, 0u);
  EXPECT_EQ(log.text, kBom +
                          "T: a\nT: b\r\n"
                          "T: x=5\r\n"
                          "Warning -- w z\r\n"
                          "T: caf\xC3\xA9 \xE4\xB8\xAD\r\n"
                          "Warning -- Bad call to String::Mid.  iStart or iEnd is bigger than the current length "
                          "(string: abc).\r\n");
  EXPECT_FALSE(RunForLog("no_log_after_stop").exists);
  EXPECT_EQ(RunForLog("no_log_after_stop", L"first.log").text, kBom + "T: one\r\n");
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

// A fatal error or an unhandled exception ends the process with one error line, instead of waiting for a debugger.
TEST(Log, FatalPathsAndCrashes) {
  ChildLog fatal = RunForLog("fatal_error");
  EXPECT_EQ(fatal.exitCode, kFatalExitCode);
  EXPECT_EQ(fatal.text, kBom + "T: before\r\n\r\nError: boom 7\r\n");
  ChildLog raised = RunForLog("raise_fatal");
  EXPECT_EQ(raised.exitCode, kFatalExceptionCode);
  EXPECT_EQ(raised.text, kBom + "T: before\r\n\r\nError: gone now\r\n");
  ChildLog crash = RunForLog("crash_after_asking_for_the_end");
  EXPECT_EQ(crash.exitCode, static_cast<uint32_t>(EXCEPTION_ACCESS_VIOLATION));
  const std::string line = "Error: unhandled exception 0xC0000005 at 0x";
  EXPECT_NE(crash.text.find(line), std::string::npos) << crash.text;
  EXPECT_EQ(crash.text.find("Error:", crash.text.find(line) + 1), std::string::npos) << crash.text;
}
