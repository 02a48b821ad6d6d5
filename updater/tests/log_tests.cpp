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

// The log with every well-formed "HH:MM:SS: " line prefix replaced by "T: ".
std::string WithoutStamps(const std::string& log) {
  static const std::regex stamp("(^|\n|\xEF\xBB\xBF)[0-2][0-9]:[0-5][0-9]:[0-6][0-9]: ");
  return std::regex_replace(log, stamp, "$1T: ");
}

struct ChildLog {
  uint32_t exitCode;
  bool exists;
  std::string text;  // stamps replaced by "T"
};

ChildLog RunForLog(const char* scenario) {
  TempFolder folder;
  ChildLog result{};
  result.exitCode = RunChild(scenario, folder);
  std::string raw = ReadFileBytes(folder.File(L"XT.log"), &result.exists);
  result.text = WithoutStamps(raw);
  return result;
}
}  // namespace

CHILD_SCENARIO(log_entries) {
  StartLibraryOnce(L"DebugAlloc");
  WriteWarning(L"dropped: the log is not open yet");
  WriteLog(L"a\nb");
  WriteLog(L"%s=%d", L"x", 5);
  WriteWarning(L"w %S", "z");
  WriteLog(nullptr);
  WriteLog(L"caf\x00e9 \x4e2d");
  String(L"abc").Mid(1, 1);
  StopLibrary();
  return 0;
}

TEST(Log, LinesWarningsAndUtf8) {
  ChildLog log = RunForLog("log_entries");
  EXPECT_EQ(log.exitCode, 0u);
  EXPECT_EQ(log.text, kBom +
                          "T: a\nT: b\r\n"
                          "T: x=5\r\n"
                          "Warning -- w z\r\n"
                          "T: caf\xC3\xA9 \xE4\xB8\xAD\r\n"
                          "Warning -- Bad call to String::Mid.  iStart or iEnd is bigger than the current length "
                          "(string: abc).\r\n");
}

CHILD_SCENARIO(warning_only) {
  StartLibraryOnce(L"DebugAlloc");
  WriteWarning(L"nobody reads this");
  StopLibrary();
  return 0;
}

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
  return 0;
}

TEST(Log, CreatedOnlyByLinesAndOnlyOncePerProcess) {
  ChildLog warned = RunForLog("warning_only");
  EXPECT_EQ(warned.exitCode, 0u);
  EXPECT_FALSE(warned.exists);

  TempFolder folder;
  EXPECT_EQ(RunChild("no_log_after_stop", folder), 0u);
  bool exists = true;
  ReadFileBytes(folder.File(L"XT.log"), &exists);
  EXPECT_FALSE(exists);
  EXPECT_EQ(WithoutStamps(ReadFileBytes(folder.File(L"first.log"))), kBom + "T: one\r\n");
}

CHILD_SCENARIO(fatal_error) {
  StartLibraryOnce(L"DebugAlloc");
  WriteLog(L"before");
  FatalError(L"boom %d", 7);
  WriteLog(L"after");
  return 0;
}

CHILD_SCENARIO(fatal_error_before_start) {
  FatalError(L"early %s", L"call");  // not started: logs and returns
  return 7;
}

CHILD_SCENARIO(raise_fatal) {
  StartLibraryOnce(L"FastAlloc");
  WriteLog(L"before");
  RaiseFatal(L"gone %S", "now");
}

TEST(Log, FatalPaths) {
  ChildLog fatal = RunForLog("fatal_error");
  EXPECT_EQ(fatal.exitCode, kFatalExitCode);
  EXPECT_EQ(fatal.text, kBom + "T: before\r\n\r\nError: boom 7\r\n");

  ChildLog early = RunForLog("fatal_error_before_start");
  EXPECT_EQ(early.exitCode, 7u);
  EXPECT_EQ(early.text, kBom + "\r\nError: early call\r\n");

  ChildLog raised = RunForLog("raise_fatal");
  EXPECT_EQ(raised.exitCode, kFatalExceptionCode);
  EXPECT_EQ(raised.text, kBom + "T: before\r\n\r\nError: gone now\r\n");
}
