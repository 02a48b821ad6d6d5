#include "app/process_control.h"

#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include "base/system/scoped_handle.h"
#include "base/text/wide_text.h"

namespace {
// How long the end of a process is waited for: a process that is told to end
// may hold its files a moment longer.
constexpr DWORD kEndWaitMs = 5000;
}  // namespace

bool TerminateProcessByName(const wchar_t* exeName) {
  PROCESSENTRY32W entry{};
  // No process has a longer name than an entry holds.
  if (!exeName || WLength(exeName) >= ARRAYSIZE(entry.szExeFile)) return false;
  wchar_t wanted[ARRAYSIZE(entry.szExeFile)];
  CharLowerW(WCopy(wanted, exeName));
  ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.IsValid()) return false;
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
    if (WCompare(CharLowerW(entry.szExeFile), wanted) != 0) continue;
    ScopedHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
    if (process.IsValid() && TerminateProcess(process.Get(), 0)) WaitForSingleObject(process.Get(), kEndWaitMs);
    return true;
  }
  return false;
}

void LaunchClient(const wchar_t* clientPath) {
  ShellExecuteW(nullptr, L"open", clientPath, L"-withoutupdater", L"", SW_SHOW);
}
