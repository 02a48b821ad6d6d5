// A crash of a program that asked for it ends with one line in the log,
// instead of waiting for a debugger.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "base/system/log.h"
#include "tests/child_process.h"

namespace {
DWORD WINAPI Crash(LPVOID) {
  RaiseException(EXCEPTION_ACCESS_VIOLATION, 0, 0, nullptr);
  return 0;
}
}  // namespace

CHILD_SCENARIO(crash_after_asking_for_the_end) {
  EndProcessOnUnhandledException();
  // From a thread of its own, as the update worker's crashes come.
  HANDLE thread = CreateThread(nullptr, 0, Crash, nullptr, 0, nullptr);
  WaitForSingleObject(thread, 10000);
  return 0;
}

TEST(CrashLog, UnhandledExceptionWritesOneLineAndEndsTheProcess) {
  TempFolder folder;
  EXPECT_EQ(RunChild("crash_after_asking_for_the_end", folder), static_cast<uint32_t>(EXCEPTION_ACCESS_VIOLATION));
  const std::string log = ReadFileBytes(folder.File(L"XT.log"));
  const std::string line = "Error: unhandled exception 0xC0000005 at 0x";
  EXPECT_NE(log.find(line), std::string::npos) << log;
  EXPECT_EQ(log.find("Error:", log.find(line) + 1), std::string::npos) << log;
}
